// Depth buffers: typed access, sizes in bytes, reuse, retyping and the
// sizes that must not wrap.
#include "KSN_DepthBuffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>

#include "QORMemory.h"

namespace {

std::string ThrownText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "";
}

TEST(DepthBuffer, TypedGettersGuardTheElementType)
{
    TKSN_DepthBuffer b;
    EXPECT_EQ(b.GetData(), nullptr);
    EXPECT_EQ(ThrownText([&] { b.GetDataUC(); }), "Wrong type in TKSN_DepthBuffer::GetDataUC()");
    b.SetType(DEPTH_BUFFER_TYPE_UC);
    EXPECT_EQ(ThrownText([&] { b.GetData(); }), "Wrong type in TKSN_DepthBuffer::GetData()");
    EXPECT_EQ(ThrownText([&] { b.GetDataFloat(); }), "Wrong type in TKSN_DepthBuffer::GetDataFloat()");
}

TEST(DepthBuffer, SizesReuseAndRetyping)
{
    TKSN_DepthBuffer b;
    b.Resize(640, 480);
    EXPECT_EQ(b.GetAllocatedBytes(), 1228800u);
    float* data = b.GetData();
    ASSERT_NE(data, nullptr);
    data[5] = 0.25f;
    b.Resize(640, 480);
    EXPECT_EQ(b.GetData(), data);
    EXPECT_EQ(b.GetData()[5], 0.25f);
    b.Clear();
    EXPECT_EQ(b.GetData()[5], 0.0f);

    b.SetType(DEPTH_BUFFER_TYPE_UC);
    EXPECT_EQ(b.GetAllocatedBytes(), 307200u);
    unsigned char* bytes = b.GetDataUC();
    b.SetType(DEPTH_BUFFER_TYPE_UC);
    EXPECT_EQ(b.GetDataUC(), bytes);

    b.ResizeWithType(0, 0, DEPTH_BUFFER_TYPE_FLOAT);
    EXPECT_EQ(b.GetAllocatedBytes(), 0u);
    EXPECT_EQ(b.GetData(), nullptr);

    TKSN_DepthBuffer empty;
    empty.SetType(DEPTH_BUFFER_TYPE_UC);   // 0 x 0: only the type changes
    EXPECT_EQ(empty.GetDataUC(), nullptr);
}

TEST(DepthBuffer, UnknownTypeRaisesWhereTheSizeIsComputed)
{
    TKSN_DepthBuffer b;
    b.SetType(eDepthBufferType(2));
    EXPECT_EQ(b.type, 2);
    EXPECT_EQ(ThrownText([&] { b.Clear(); }), "Unknown depth buffer type");
    EXPECT_EQ(ThrownText([&] { b.Resize(4, 4); }), "Unknown depth buffer type");
    EXPECT_EQ(b.width, 4);

    TKSN_DepthBuffer c;
    EXPECT_EQ(ThrownText([&] { c.ResizeWithType(0, 0, eDepthBufferType(2)); }), "Unknown depth buffer type");
    EXPECT_EQ(c.type, 2);
}

// Refuses only what no test machine should hand out; everything else (the
// exception text, gtest) still gets memory.
void* RefuseHugeBlocks(size_t size) { return size > (size_t(1) << 32) ? nullptr : std::malloc(size); }

TEST(DepthBuffer, NegativeAndHugeSizesNeverWrap)
{
    TKSN_DepthBuffer b;
    b.Resize(-640, 480);
    EXPECT_EQ(b.GetAllocatedBytes(), 0u);
    EXPECT_EQ(b.GetData(), nullptr);
    b.Resize(-65536, -65536);   // the product is positive in 32 bits
    EXPECT_EQ(b.GetAllocatedBytes(), 0u);

    // 65536 x 65536 floats is 16 GiB: computed in 64 bits, refused, raised.
    QORSetPlatformAllocator(RefuseHugeBlocks);
    std::string text = ThrownText([&] { b.Resize(65536, 65536); });
    QORSetPlatformAllocator(nullptr);
    EXPECT_NE(text.find("17179869184 bytes"), std::string::npos) << text;
    EXPECT_EQ(b.GetAllocatedBytes(), 0u);
}

} // namespace
