// The block-handing pool (ProcessBlocks, ProcessBlocksOnFreeSlots) and fill and copy past 2 GiB.
#include "QORThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct TBlockLog {
    std::vector<std::atomic<int>>* Seen = nullptr;
    std::atomic<int> Calls{0};
    size_t BlockSize = 0;
    size_t Count = 0;
    std::atomic<bool> Misaligned{false};
};

void CountBlock(size_t first, size_t end, void* p)
{
    auto* log = static_cast<TBlockLog*>(p);
    log->Calls.fetch_add(1);
    // Every block but the last is whole and starts on a multiple of the size.
    if (first % log->BlockSize != 0 || (end != log->Count && end - first != log->BlockSize)) log->Misaligned = true;
    for (size_t i = first; i < end; ++i) (*log->Seen)[i].fetch_add(1);
}

TEST(QORThreadsBlocks, EveryElementRunsOnceInWholeBlocks)
{
    struct Case {
        int Slots;
        size_t Count, Block;
        int Calls;   // how many times the function runs
    };
    const Case cases[] = {
        {4, 0, 16, 0},    {4, 1, 16, 1},    {4, 16, 16, 1},     {4, 17, 16, 2},
        {8, 1000, 7, 143}, {3, 4096, 64, 64}, {1, 5000, 10, 1},  // one slot runs inline, whole
        {32, 100, 1, 100},
    };
    // Every slot, and only the slots free at the call (capped or not).
    for (int kind = 0; kind < 3; ++kind)
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "kind " << kind << ", " << c.Slots << " slots, " << c.Count
                                              << " elements in blocks of " << c.Block);
            TThreadCruncher pool(c.Slots);
            std::vector<std::atomic<int>> seen(c.Count);
            TBlockLog log;
            log.Seen = &seen;
            log.BlockSize = c.Slots == 1 ? c.Count : c.Block;
            log.Count = c.Count;
            {
                TThreadCruncher_Releaser releaser;
                releaser.Lock(&pool);
                if (kind == 0)
                    pool.ProcessBlocks(c.Count, c.Block, CountBlock, &log);
                else
                    pool.ProcessBlocksOnFreeSlots(c.Count, c.Block, CountBlock, &log, kind == 1 ? 0 : 2);
            }
            EXPECT_EQ(log.Calls.load(), c.Calls);
            EXPECT_FALSE(log.Misaligned.load());
            for (size_t i = 0; i < c.Count; ++i) ASSERT_EQ(seen[i].load(), 1) << i;
        }
}

void ThrowAtBlockThree(size_t first, size_t, void*)
{
    if (first == 3) throw std::runtime_error("block three");
}

// Free-slot runs follow each other and other kinds of job with slots that
// may still be on their way into an ended run; each run sees every element
// once, and a throwing block is raised on the caller without losing the pool.
TEST(QORThreadsBlocks, FreeSlotRunsInterleaveWithOtherJobsAndRaiseTheirExceptions)
{
    TThreadCruncher pool(8);
    TThreadCruncher_Releaser releaser;
    releaser.Lock(&pool);
    const auto runAndCheck = [&pool](bool freeSlots, size_t count, size_t block, int round) {
        std::vector<std::atomic<int>> seen(count);
        TBlockLog log;
        log.Seen = &seen;
        log.BlockSize = block;
        log.Count = count;
        if (freeSlots)
            pool.ProcessBlocksOnFreeSlots(count, block, CountBlock, &log);
        else
            pool.ProcessBlocks(count, block, CountBlock, &log);
        for (size_t i = 0; i < count; ++i) ASSERT_EQ(seen[i].load(), 1) << "round " << round << ", element " << i;
    };
    for (int round = 0; round < 400; ++round) {
        const size_t count = 1 + size_t(round * 37 % 900);
        const size_t block = 1 + size_t(round % 13);
        runAndCheck(true, count, block, round);
        if (round % 3 == 0) runAndCheck(false, count, block, round);
    }
    EXPECT_THROW(pool.ProcessBlocksOnFreeSlots(64, 1, ThrowAtBlockThree, nullptr), std::runtime_error);
    runAndCheck(true, 500, 10, 400);
}

TEST(QORThreadsBlocks, AThrowingBlockIsRaisedOnTheCallerAndThePoolStaysUsable)
{
    TThreadCruncher pool(4);
    {
        TThreadCruncher_Releaser releaser;
        releaser.Lock(&pool);
        EXPECT_THROW(pool.ProcessBlocks(1000, 1, ThrowAtBlockThree, nullptr), std::runtime_error);
    }
    std::vector<std::atomic<int>> seen(500);
    TBlockLog log;
    log.Seen = &seen;
    log.BlockSize = 10;
    log.Count = 500;
    TThreadCruncher_Releaser releaser;
    releaser.Lock(&pool);
    pool.ProcessBlocks(500, 10, CountBlock, &log);
    EXPECT_EQ(log.Calls.load(), 50);
}

// Bytes of memory the system can still hand out without swapping; 0 when unknown.
uint64_t AvailableMemory()
{
    std::ifstream info("/proc/meminfo");
    std::string key;
    uint64_t kib = 0;
    std::string unit;
    while (info >> key >> kib >> unit)
        if (key == "MemAvailable:") return kib * 1024;
    return 0;
}

// A map past 2^31 bytes (a 27,000 x 27,000 RGB map is 2.19 GB): the length
// must not wrap to a negative int and copy or fill nothing, or a few bytes.
// Phase p doubles every value phase p - 1 wrote, reading a neighbour far
// off in the array, so a block started before the whole previous phase has
// returned reads an old value and shows.
struct TPhaseData {
    std::vector<int64_t>* Values[4] = {};
    size_t Count = 0;
    std::atomic<int> Calls{0};
};

template <int P>
void PhaseBlock(size_t first, size_t end, void* p)
{
    auto* data = static_cast<TPhaseData*>(p);
    data->Calls.fetch_add(1);
    std::vector<int64_t>& out = *data->Values[P];
    for (size_t i = first; i < end; ++i) {
        if constexpr (P == 0) {
            out[i] = int64_t(i) + 1;
        } else {
            const std::vector<int64_t>& in = *data->Values[P - 1];
            out[i] = in[i] + in[data->Count - 1 - i];
        }
    }
}

TEST(QORThreadsBlocks, PhasesSeeTheWholeOfThePreviousPhase)
{
    struct Case {
        int Slots;
        size_t Count;
        size_t Blocks[3];
    };
    const Case cases[] = {
        {8, 10000, {64, 1000, 7}}, {8, 3, {1, 1, 1}},   {8, 1, {1, 1, 1}},     // one block a phase: inline
        {2, 500, {500, 1, 500}},   {1, 999, {10, 10, 10}}, {32, 40, {1, 40, 1}}, // more slots than first-phase blocks
        {8, 0, {4, 4, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Slots << " slots, " << c.Count << " elements");
        std::vector<int64_t> values[3] = {std::vector<int64_t>(c.Count, -1), std::vector<int64_t>(c.Count, -1),
                                          std::vector<int64_t>(c.Count, -1)};
        TPhaseData data;
        data.Count = c.Count;
        for (int p = 0; p < 3; ++p) data.Values[p] = &values[p];
        const TThreadCruncher::Phase phases[3] = {{c.Count, c.Blocks[0], PhaseBlock<0>, &data},
                                                  {c.Count, c.Blocks[1], PhaseBlock<1>, &data},
                                                  {c.Count, c.Blocks[2], PhaseBlock<2>, &data}};
        TThreadCruncher pool(c.Slots);
        for (int round = 0; round < 20; ++round) {
            TThreadCruncher_Releaser releaser;
            releaser.Lock(&pool);
            pool.ProcessPhases(phases, 3);
        }
        // Value i: (i + 1) + (n - i) = n + 1 after phase 1, 2 (n + 1) after phase 2.
        for (size_t i = 0; i < c.Count; ++i) {
            ASSERT_EQ(values[0][i], int64_t(i) + 1) << "element " << i;
            ASSERT_EQ(values[1][i], int64_t(c.Count) + 1) << "element " << i;
            ASSERT_EQ(values[2][i], 2 * (int64_t(c.Count) + 1)) << "element " << i;
        }
    }
}

void ThrowInPhaseOne(size_t first, size_t, void*)
{
    if (first == 0) throw std::runtime_error("phase one failed");
}

TEST(QORThreadsBlocks, AThrowingPhaseIsRaisedOnTheCallerAndLaterPhasesDoNotHang)
{
    TThreadCruncher pool(8);
    std::vector<std::atomic<int>> seen(4000);
    TBlockLog log;
    log.Seen = &seen;
    log.BlockSize = 10;
    log.Count = seen.size();
    const TThreadCruncher::Phase phases[3] = {{seen.size(), 10, CountBlock, &log},
                                              {100, 1, ThrowInPhaseOne, nullptr},
                                              {seen.size(), 10, CountBlock, &log}};
    {
        TThreadCruncher_Releaser releaser;
        releaser.Lock(&pool);
        EXPECT_THROW(pool.ProcessPhases(phases, 3), std::runtime_error);
    }
    // Phase 0 ran whole before phase 1 threw; the pool takes the next job.
    for (auto& s : seen) EXPECT_GE(s.load(), 1);
    {
        TThreadCruncher_Releaser releaser;
        releaser.Lock(&pool);
        pool.ProcessPhases(phases, 1);
    }
    for (auto& s : seen) EXPECT_GE(s.load(), 2);
}

TEST(QORThreadsBlocks, FillAndCopyPastTwoGibibytes)
{
    const size_t len = (size_t(1) << 31) + 4099;   // odd, so the last block is ragged
    if (AvailableMemory() < 2 * len + (size_t(1) << 30))
        GTEST_SKIP() << "needs about 5 GB of free memory";
    std::unique_ptr<unsigned char[]> src(new (std::nothrow) unsigned char[len]);
    std::unique_ptr<unsigned char[]> dst(new (std::nothrow) unsigned char[len + 1]);
    if (!src || !dst) GTEST_SKIP() << "could not allocate two buffers of 2 GiB";
    ThreadCruncher_Initialize();

    memset_Multithread(src.get(), 0x3C, len);
    dst[len] = 0xEE;   // the byte after the range stays untouched
    memset_Multithread(dst.get(), 0x00, len);
    const size_t marks[] = {0, 1, (size_t(1) << 31) - 1, size_t(1) << 31, (size_t(1) << 31) + 1, len - 1};
    for (size_t at : marks) {
        EXPECT_EQ(src[at], 0x3C) << at;
        EXPECT_EQ(dst[at], 0x00) << at;
        src[at] = (unsigned char)(at * 7 + 1);
    }
    EXPECT_EQ(dst[len], 0xEE);

    memcpy_Multithread(dst.get(), src.get(), len);
    EXPECT_EQ(std::memcmp(dst.get(), src.get(), len), 0);
    EXPECT_EQ(dst[len], 0xEE);
}

} // namespace
