#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <thread>

#include "OS_TestSupport.h"
#include "QORMemory.h"

namespace {

// A platform allocator that refuses `FailSize` requests while failures remain.
std::atomic<size_t> FailSize{0};
std::atomic<int> FailuresLeft{0};
std::atomic<int> FailSizeCalls{0};

void* FlakyAllocator(size_t size)
{
    if (size == FailSize) {
        ++FailSizeCalls;
        if (FailuresLeft > 0) {
            --FailuresLeft;
            return nullptr;
        }
    }
    return std::malloc(size);
}

class QOROSMemoryTest : public OSFixture {
protected:
    void FailNext(size_t size, int failures)
    {
        FailSize = size;
        FailuresLeft = failures;
        FailSizeCalls = 0;
        QORSetPlatformAllocator(FlakyAllocator);
    }
    void TearDown() override
    {
        QORSetPlatformAllocator(nullptr);
        FailSize = 0;
        FailuresLeft = 0;
        OSFixture::TearDown();
    }
};

std::string PromptFor(int mb)
{
    return "The system is out of memory (" + std::to_string(mb) +
           " MB requested).\n\nThis is most likely caused by having too little system RAM. Please check the current "
           "memory usage on your system.\n\nWould you like to retry? Click 'No' to exit the program immediately.";
}

} // namespace

TEST_F(QOROSMemoryTest, ZeroSizeGivesNullButObjectsGetDistinctBlocks)
{
    EXPECT_EQ(QORalloc(0, false), nullptr);
    EXPECT_EQ(QORalloc(0, true), nullptr);
    void* a = ::operator new(0);
    void* b = ::operator new(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    ::operator delete(a);
    ::operator delete(b);
    QORfree(nullptr, 12);
    EXPECT_EQ(Provider.Calls, 0);
}

TEST_F(QOROSMemoryTest, BlocksAreAlignedAndWritable)
{
    for (uint64_t size : {1u, 3u, 8u, 1000u, 1u << 20}) {
        SCOPED_TRACE(size);
        auto* p = static_cast<unsigned char*>(QORalloc(size, false));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
        std::memset(p, 0xAB, size);
        QORfree(p, size);
    }
}

TEST_F(QOROSMemoryTest, ReallocCopiesTheSmallerSize)
{
    struct Case { uint32_t Old, New; };
    for (Case c : {Case{100, 40}, Case{40, 100}, Case{64, 64}}) {
        SCOPED_TRACE(std::to_string(c.Old) + " -> " + std::to_string(c.New));
        auto* old = static_cast<unsigned char*>(QORalloc(c.Old, false));
        for (uint32_t i = 0; i < c.Old; ++i) old[i] = static_cast<unsigned char>(i * 7 + 1);
        auto* fresh = static_cast<unsigned char*>(QORrealloc(old, c.Old, c.New, false));
        ASSERT_NE(fresh, nullptr);
        for (uint32_t i = 0; i < std::min(c.Old, c.New); ++i) ASSERT_EQ(fresh[i], static_cast<unsigned char>(i * 7 + 1));
        QORfree(fresh, c.New);
    }
    EXPECT_EQ(QORrealloc(QORalloc(32, false), 32, 0, false), nullptr);
    // Growing from nothing is a plain allocation.
    void* fromNull = QORrealloc(nullptr, 0, 16, false);
    EXPECT_NE(fromNull, nullptr);
    QORfree(fromNull, 16);
}

TEST_F(QOROSMemoryTest, MayFailReturnsNullSilentlyAndKeepsTheOldBlock)
{
    auto* old = static_cast<char*>(QORalloc(10, false));
    std::memcpy(old, "keep this", 10);
    FailNext(4000, 1);
    EXPECT_EQ(QORrealloc(old, 10, 4000, true), nullptr);
    EXPECT_STREQ(old, "keep this");
    FailNext(4000, 1);
    EXPECT_EQ(QORalloc(4000, true), nullptr);
    FailNext(4000, 1);
    EXPECT_EQ(::operator new(4000, std::nothrow), nullptr);
    EXPECT_EQ(Provider.Calls, 0);
    QORfree(old, 10);
}

TEST_F(QOROSMemoryTest, OutOfMemoryRetriesOnceThenAsksWithWholeMegabytes)
{
    struct Case { size_t Size; int Mb; };
    for (Case c : {Case{1572864, 1}, Case{500000, 0}}) {
        SCOPED_TRACE(c.Size);
        Provider.Boxes.clear();
        Provider.Answers = {TOSBoxAnswer::Yes};
        // First try and the silent retry fail, then the prompt; Yes retries and succeeds.
        FailNext(c.Size, 2);
        void* p = QORalloc(c.Size, false);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(FailSizeCalls, 3);
        ASSERT_EQ(Provider.Boxes.size(), 1u);
        EXPECT_EQ(Provider.Boxes[0].Kind, TOSBoxKind::YesNo);
        EXPECT_EQ(Provider.Boxes[0].Title, "Confirm...");
        EXPECT_FALSE(Provider.Boxes[0].DefaultYes);
        EXPECT_EQ(Provider.Boxes[0].Text, PromptFor(c.Mb));
        QORfree(p, c.Size);
    }
}

TEST_F(QOROSMemoryTest, OutOfMemoryAnsweredNoEndsWithFailureStatus)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Provider.Answers = {TOSBoxAnswer::No};
            FailNext(777777, 100);
            QORalloc(777777, false);
        },
        ::testing::ExitedWithCode(1), "");
    // Off the main thread nobody can be asked: the answer is No.
    EXPECT_EXIT(
        {
            Provider.Answers = {TOSBoxAnswer::Yes};
            FailNext(777777, 100);
            std::thread([] { QORalloc(777777, false); }).join();
        },
        ::testing::ExitedWithCode(1), "");
}

TEST_F(QOROSMemoryTest, ThrowExceptionShowsAndThrowsTheCutText)
{
    std::string longText(5000, 'x');
    struct Case { std::string In, Out; };
    for (const Case& c : {Case{"bad 42 %", "bad 42 %"}, Case{longText, std::string(999, 'x')}}) {
        Provider.Boxes.clear();
        try {
            QORThrowException("%s", c.In.c_str());
            FAIL() << "QORThrowException returned";
        } catch (const std::logic_error& e) {
            EXPECT_EQ(std::string(e.what()), c.Out);
        }
        ASSERT_EQ(Provider.Boxes.size(), 1u);
        EXPECT_EQ(Provider.Boxes[0].Kind, TOSBoxKind::Error);
        EXPECT_EQ(Provider.Boxes[0].Title, "Error...");
        EXPECT_EQ(Provider.Boxes[0].Text, c.Out);
    }
    // On a worker thread nothing is shown, but the exception still comes.
    Provider.Boxes.clear();
    bool thrown = false;
    std::thread([&] {
        try {
            QORThrowException("worker %d", 3);
        } catch (const std::logic_error&) {
            thrown = true;
        }
    }).join();
    EXPECT_TRUE(thrown);
    EXPECT_TRUE(Provider.Boxes.empty());
}

TEST_F(QOROSMemoryTest, FatalErrorEndsWithFailureStatusAndShowsNothing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            OS.SetDialogProvider(nullptr);   // the default provider would print a box to stderr
            QORFatalError("Deltas == NULL in %s", "TKSN_Morph::Expand()");
        },
        ::testing::ExitedWithCode(1), "^$");
}

TEST_F(QOROSMemoryTest, DebugSwitchStaysOffWithoutAFile)
{
    QORDebug_CreateDebugFile("/nonexistent/Debug.txt");
    QORDebug_TurnOn();
    EXPECT_FALSE(bQORDebug_IsOn);
    EXPECT_EQ(QORDebug_OutFile, nullptr);
}

TEST_F(QOROSMemoryTest, ConcurrentAllocationsStayIntact)
{
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, &bad] {
            for (int i = 0; i < 2000; ++i) {
                auto* p = static_cast<unsigned char*>(QORalloc(64 + i % 50, false));
                std::memset(p, t, 64);
                auto* q = new int[3]{t, i, t};
                if (p[63] != t || q[0] != t || q[2] != t) ++bad;
                delete[] q;
                QORfree(p, 0);
            }
        });
    for (auto& th : threads) th.join();
    EXPECT_EQ(bad, 0);
}
