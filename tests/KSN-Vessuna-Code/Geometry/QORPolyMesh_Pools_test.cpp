// Polygon records and the corner pools.
#include "GeometryTestSupport.h"

#include <vector>

namespace {

using GeometryTest::MessageCapture;

constexpr int TriangleBytes = 3 * int(sizeof(TQORPolygonPoint));

// Every test starts from pools without blocks: no polygon outlives its test.
class PoolsTest : public ::testing::Test {
protected:
    void SetUp() override { OptimizePolygonMemory(); }
    void TearDown() override
    {
        for (TQORPolygon& p : Polygons) p.DestroyPoints();
        OptimizePolygonMemory();
    }
    std::vector<TQORPolygon> Polygons;
};

TEST_F(PoolsTest, ArraysComeOutInSlotOrderAndAReturnedSlotIsReusedFirst)
{
    TQORQuickMemoryAllocator* pool = PolyPointAllocator[3];
    ASSERT_EQ(pool->GetBlockCount(), 0);
    Polygons.resize(5);
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(Polygons[size_t(i)].SetCount(3));
    ASSERT_EQ(pool->GetBlockCount(), 1);
    const uint8_t* memory = pool->Current->Memory;
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reinterpret_cast<const uint8_t*>(Polygons[size_t(i)].Points), memory + i * TriangleBytes) << i;

    Polygons[1].DestroyPoints();
    EXPECT_EQ(Polygons[1].Points, nullptr);
    Polygons[4].SetCount(3);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(Polygons[4].Points), memory + 1 * TriangleBytes);
    EXPECT_EQ(pool->Current->FreeCount, pool->Current->Capacity - 4);
}

TEST_F(PoolsTest, TenThousandAndOneTrianglesTakeTwoBlocksAndEmptyBlocksAreTrimmed)
{
    TQORQuickMemoryAllocator* pool = PolyPointAllocator[3];
    Polygons.resize(10001);
    for (TQORPolygon& p : Polygons) p.SetCount(3);
    ASSERT_EQ(pool->GetBlockCount(), 2);
    const TQORQuickMemoryList* second = pool->Current;
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(Polygons.back().Points), second->Memory);

    for (size_t i = 0; i < 10000; ++i) Polygons[i].DestroyPoints();
    EXPECT_EQ(pool->GetBlockCount(), 2);   // returning never frees a block by itself
    OptimizePolygonMemory();
    ASSERT_EQ(pool->GetBlockCount(), 1);
    EXPECT_EQ(pool->Current, second);
    EXPECT_EQ(pool->Blocks.begin()->second, second);

    // Partly used blocks stay; the freed slots are handed out again from the kept block.
    OptimizePolygonMemory();
    EXPECT_EQ(pool->GetBlockCount(), 1);
    Polygons[0].SetCount(3);
    EXPECT_EQ(pool->GetBlockCount(), 1);
}

TEST_F(PoolsTest, RecordOperations)
{
    Polygons.resize(3);
    TQORPolygon& a = Polygons[0];
    TQORPolygon& b = Polygons[1];
    EXPECT_EQ(a.GetTotalBinarySize(true), 10);

    a.SetCount(4);
    EXPECT_EQ(a.GetTotalBinarySize(true), 42);
    for (int k = 0; k < 4; ++k) a.Points[k] = TQORPolygonPoint{k, 10 + k};
    a.Material = 2;
    a.Group = 1;
    a.Select = 0.5f;
    a.LayerFlags = 0x5;

    // A copy owns its corners: returning the source's array leaves them intact.
    b.Copy(&a);
    EXPECT_NE(b.Points, a.Points);
    a.DestroyPoints();
    ASSERT_EQ(b.Count, 4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(b.Points[k].V, k);
        EXPECT_EQ(b.Points[k].VT, 10 + k);
    }
    EXPECT_EQ(b.Material, 2);
    EXPECT_EQ(b.Group, 1);
    EXPECT_EQ(b.LayerFlags, 0x5u);

    // The same count again gives fresh corners.
    b.SetCount(4);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(b.Points[k].V, -1);
        EXPECT_EQ(b.Points[k].VT, -1);
    }
    b.SetCount(0);
    EXPECT_EQ(b.Points, nullptr);
    EXPECT_EQ(b.Count, 0);
    b.DestroyPoints();
    b.DestroyPoints();
    EXPECT_EQ(b.Points, nullptr);
}

TEST_F(PoolsTest, LargeFacesUseTheHeapAndOversizedFacesAreRefused)
{
    MessageCapture messages;
    Polygons.resize(2);
    TQORPolygon& big = Polygons[0];
    ASSERT_TRUE(big.SetCount(1500));
    ASSERT_NE(big.Points, nullptr);
    EXPECT_EQ(big.Count, 1500);
    EXPECT_EQ(big.Points[1499].V, -1);
    big.Points[1499].V = 7;   // the array really holds 1500 corners
    big.SetCount(1000);
    ASSERT_NE(big.Points, nullptr);
    big.DestroyPoints();
    EXPECT_EQ(big.Points, nullptr);

    TQORPolygon& huge = Polygons[1];
    EXPECT_FALSE(huge.SetCount(40000));
    EXPECT_EQ(huge.Points, nullptr);
    EXPECT_EQ(huge.Count, 0);
    ASSERT_EQ(MessageCapture::Panel.size(), 1u);
    EXPECT_NE(MessageCapture::Panel[0].find("40000"), std::string::npos);
}

TEST_F(PoolsTest, AnArrayShortenedInPlaceGoesBackToItsOwnPool)
{
    TQORQuickMemoryAllocator* quads = PolyPointAllocator[4];
    Polygons.resize(1);
    Polygons[0].SetCount(4);
    Polygons[0].Count = 3;   // a corner dropped in place, as the UV repair does
    Polygons[0].DestroyPoints();
    EXPECT_EQ(Polygons[0].Points, nullptr);
    ASSERT_EQ(quads->GetBlockCount(), 1);
    EXPECT_EQ(quads->Current->FreeCount, quads->Current->Capacity);
    OptimizePolygonMemory();
    EXPECT_EQ(quads->GetBlockCount(), 0);
}

TEST(PolygonPoolKey, LookupByAddressFindsTheContainingBlock)
{
    uint8_t memory[64];
    TQORQuickMemoryList_Key block{memory + 16, 16};
    const struct {
        int offset;
        bool inside;
    } cases[] = {{15, false}, {16, true}, {31, true}, {32, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        TQORQuickMemoryList_Key probe{memory + c.offset, 0};
        const bool equivalent = !(probe < block) && !(block < probe);
        EXPECT_EQ(equivalent, c.inside);
    }
}

}  // namespace
