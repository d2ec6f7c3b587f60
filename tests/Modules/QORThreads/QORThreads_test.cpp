#include "QORThreads.h"

#include "OS.h"
#include "QORMemory.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Every modal box of the OS layer answers at once, so nothing blocks a test.
struct AnsweringProvider : TBoxRecorder {
    AnsweringProvider() : TBoxRecorder(TOSBoxAnswer::Ok) {}
};
AnsweringProvider Answers;

class QORThreadsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        OS.SetDialogProvider(&Answers);
    }
    void TearDown() override { OS.SetDialogProvider(nullptr); }
};

struct SeenChunk {
    int First, End, Count;
    std::ptrdiff_t SourceOffset, DestinationOffset;
    bool OnCaller;
    void* User;
    int FillInt;
    float FillFloat;
};

struct ChunkLog {
    std::mutex Mutex;
    std::vector<SeenChunk> Chunks;
    const char* Source = nullptr;
    char* Destination = nullptr;
    std::thread::id Caller;
};

void* RecordChunk(void* p)
{
    auto* c = static_cast<TThreadCruncher_ArrayChunk*>(p);
    auto* log = static_cast<ChunkLog*>(c->User);
    std::scoped_lock lock(log->Mutex);
    log->Chunks.push_back({c->First, c->End, c->Count, static_cast<const char*>(c->Source) - log->Source,
                           static_cast<char*>(c->Destination) - log->Destination,
                           std::this_thread::get_id() == log->Caller, c->User, c->FillInt, c->FillFloat});
    return nullptr;
}

// Runs ProcessArray over `count` 8-byte elements on a pool of `slots` and returns the chunks by first index.
std::vector<SeenChunk> Split(TThreadCruncher& pool, int count)
{
    std::vector<double> src(size_t(count) + 1), dst(size_t(count) + 1);
    ChunkLog log;
    log.Source = reinterpret_cast<const char*>(src.data());
    log.Destination = reinterpret_cast<char*>(dst.data());
    log.Caller = std::this_thread::get_id();
    {
        TThreadCruncher_Releaser releaser;
        if (count >= QOR_THREADCRUNCHER_MIN_CHUNK) releaser.Lock(&pool);   // small arrays never need the pool
        pool.ProcessArray(dst.data(), src.data(), int(sizeof(double)), count, RecordChunk, &log, 7, 2.5f);
    }
    std::sort(log.Chunks.begin(), log.Chunks.end(),
              [](const SeenChunk& a, const SeenChunk& b) { return a.First < b.First; });
    return log.Chunks;
}

TEST_F(QORThreadsTest, ProcessArraySplitsIntoContiguousChunksWithTheRemainderLast)
{
    struct Case {
        int Slots, Count;
        std::vector<std::pair<int, int>> Ranges;
    };
    const Case cases[] = {
        {4, 0, {}},
        {4, 31, {{0, 31}}},
        {4, 127, {{0, 127}}},   // 127 / 4 = 31 is below the minimum chunk
        {4, 130, {{0, 32}, {32, 64}, {64, 96}, {96, 130}}},
        {4, 1000, {{0, 250}, {250, 500}, {500, 750}, {750, 1000}}},
        {4, 1001, {{0, 250}, {250, 500}, {500, 750}, {750, 1001}}},
        {1, 5000, {{0, 5000}}},
        {3, 100, {{0, 33}, {33, 66}, {66, 100}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.Slots << " slots, " << c.Count << " elements");
        TThreadCruncher pool(c.Slots);
        std::vector<SeenChunk> chunks = Split(pool, c.Count);
        ASSERT_EQ(chunks.size(), c.Ranges.size());
        for (size_t j = 0; j < chunks.size(); ++j) {
            EXPECT_EQ(chunks[j].First, c.Ranges[j].first);
            EXPECT_EQ(chunks[j].End, c.Ranges[j].second);
            EXPECT_EQ(chunks[j].Count, c.Ranges[j].second - c.Ranges[j].first);
            EXPECT_EQ(chunks[j].SourceOffset, std::ptrdiff_t(chunks[j].First) * 8);
            EXPECT_EQ(chunks[j].DestinationOffset, std::ptrdiff_t(chunks[j].First) * 8);
            EXPECT_EQ(chunks[j].FillInt, 7);
            EXPECT_EQ(chunks[j].FillFloat, 2.5f);
            // The caller always works on the first chunk itself; the others run on slot threads.
            EXPECT_EQ(chunks[j].OnCaller, j == 0);
        }
    }
}

TEST_F(QORThreadsTest, SmallArraysRunInlineWithoutTakingThePool)
{
    TThreadCruncher pool(4);
    // Another thread holds the pool: a 31-element job must still run at once, on this thread.
    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        TThreadCruncher_Releaser releaser;
        releaser.Lock(&pool);
        held = true;
        while (!release) std::this_thread::yield();
    });
    while (!held) std::this_thread::yield();
    std::vector<SeenChunk> chunks = Split(pool, 31);
    release = true;
    holder.join();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_TRUE(chunks[0].OnCaller);
    EXPECT_EQ(chunks[0].First, 0);
    EXPECT_EQ(chunks[0].End, 31);
}

TEST_F(QORThreadsTest, InitializeClampsTheSlotsInUse)
{
    TThreadCruncher pool(8);
    TThreadCruncher_Releaser releaser;
    releaser.Lock(&pool);
    EXPECT_TRUE(pool.IsBusy());
    const std::pair<int, int> cases[] = {{40, 8}, {0, 1}, {-3, 1}, {5, 5}};
    for (auto [asked, used] : cases) {
        SCOPED_TRACE(asked);
        int n = asked;
        pool.Initialize(n);
        EXPECT_EQ(pool.GetSlotsInUse(), used);
        EXPECT_EQ(n, asked);
    }
}

struct SlotJob {
    std::atomic<int> Runs{0};
    std::thread::id RanOn;
    bool Throw = false;
};

void* RunSlotJob(void* p)
{
    auto* job = static_cast<SlotJob*>(p);
    std::this_thread::sleep_for(std::chrono::milliseconds(job->Throw ? 0 : 5));
    job->RanOn = std::this_thread::get_id();
    job->Runs++;
    if (job->Throw) throw std::runtime_error("job failed");
    return nullptr;
}

TEST_F(QORThreadsTest, PushedJobsEachRunOnceAndAreCollectedBeforeWaitReturns)
{
    TThreadCruncher pool(4);
    TThreadCruncher_Releaser releaser;
    releaser.Lock(&pool);
    for (int round = 0; round < 3; ++round) {   // slot threads park and come back for the next job
        SCOPED_TRACE(round);
        SlotJob jobs[4];
        int n = 4;
        pool.Initialize(n);
        for (int s = 0; s < 4; ++s) pool.PushFunction(s, RunSlotJob, &jobs[s]);
        pool.WaitForCompletion();
        for (int s = 0; s < 4; ++s) {
            EXPECT_EQ(jobs[s].Runs.load(), 1);
            EXPECT_EQ(jobs[s].RanOn == std::this_thread::get_id(), s == 0);
        }
    }
}

TEST_F(QORThreadsTest, AJobsExceptionReachesTheCallerAfterEveryJobHasFinished)
{
    TThreadCruncher pool(4);
    TThreadCruncher_Releaser releaser;
    releaser.Lock(&pool);
    for (int thrower : {0, 2}) {
        SCOPED_TRACE(thrower);
        SlotJob jobs[4];
        jobs[thrower].Throw = true;
        int n = 4;
        pool.Initialize(n);
        for (int s = 0; s < 4; ++s) pool.PushFunction(s, RunSlotJob, &jobs[s]);
        EXPECT_THROW(pool.WaitForCompletion(), std::runtime_error);
        for (int s = 0; s < 4; ++s) EXPECT_EQ(jobs[s].Runs.load(), 1);
    }
}

TEST_F(QORThreadsTest, FillAndCopyCoverExactlyTheirRange)
{
    ThreadCruncher_Initialize();
    TThreadCruncher* first = ThreadCruncher;
    ThreadCruncher_Initialize();
    EXPECT_EQ(ThreadCruncher, first);

    for (int len : {0, 1, 31, 32, 1000, 1048579}) {
        SCOPED_TRACE(len);
        std::vector<unsigned char> buf(size_t(len) + 16, 0xEE), src(size_t(len) + 16);
        for (size_t i = 0; i < src.size(); ++i) src[i] = (unsigned char)(i * 131 + 7);
        memset_Multithread(buf.data() + 8, 0x5A, len);
        for (size_t i = 0; i < buf.size(); ++i)
            ASSERT_EQ(buf[i], (i >= 8 && i < size_t(len) + 8) ? 0x5A : 0xEE) << i;

        memcpy_Multithread(buf.data() + 8, src.data(), len);
        for (size_t i = 0; i < buf.size(); ++i)
            ASSERT_EQ(buf[i], (i >= 8 && i < size_t(len) + 8) ? src[i - 8] : 0xEE) << i;

        std::vector<float> floats(size_t(len) + 2, -1.0f);
        memset_float_Multithread(floats.data() + 1, 3.25f, len);
        for (size_t i = 0; i < floats.size(); ++i)
            ASSERT_EQ(floats[i], (i >= 1 && i <= size_t(len)) ? 3.25f : -1.0f) << i;
    }
}

TEST_F(QORThreadsTest, FillDoesTheWorkItselfWhenThePoolIsHeld)
{
    ThreadCruncher_Initialize();
    std::vector<unsigned char> buf(100000, 0);
    {
        // Held by this very thread: the fill must not wait for (or deadlock on) itself.
        TThreadCruncher_Releaser releaser;
        releaser.Lock(ThreadCruncher);
        memset_Multithread(buf.data(), 1, int(buf.size()));
    }
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 1), long(buf.size()));

    // Held by another thread that only lets go after the fill returned.
    std::atomic<bool> held{false}, filled{false};
    std::thread holder([&] {
        TThreadCruncher_Releaser releaser;
        releaser.Lock(ThreadCruncher);
        held = true;
        while (!filled) std::this_thread::yield();
    });
    while (!held) std::this_thread::yield();
    memset_Multithread(buf.data(), 2, int(buf.size()));
    filled = true;
    holder.join();
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 2), long(buf.size()));
}

void* FillFromInsideAJob(void* p)
{
    auto* c = static_cast<TThreadCruncher_ArrayChunk*>(p);
    // Pool jobs may use the fill functions: the pool is busy, so they run inline.
    memset_Multithread(static_cast<unsigned char*>(c->Destination), 9, c->Count);
    return nullptr;
}

TEST_F(QORThreadsTest, JobsMayCallTheFillFunctions)
{
    ThreadCruncher_Initialize();
    std::vector<unsigned char> buf(4096, 0);
    TThreadCruncher_Releaser releaser;
    releaser.Lock(ThreadCruncher);
    ThreadCruncher->ProcessArray(buf.data(), nullptr, 1, int(buf.size()), FillFromInsideAJob, nullptr, 0, 0.0f);
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 9), long(buf.size()));
}

TEST_F(QORThreadsTest, StartUpSelfTestPasses)
{
    // In start-up's order.
    ThreadCruncher_Initialize();
    Pthread_LoadLibrary();
    TestMultithreadedFunctions();   // ends the process on a wrong value
    SUCCEED();
}

TThreadCruncher* DeathPool = nullptr;

void* StartUsingFromAJob(void*)
{
    TThreadCruncher_Releaser inner;
    inner.Lock(DeathPool);
    return nullptr;
}

void* ProcessArrayFromAJob(void*)
{
    std::vector<int> values(1000);
    DeathPool->ProcessArray(values.data(), nullptr, 4, 1000, RecordChunk, nullptr, 0, 0.0f);
    return nullptr;
}

void CallPoolFromItsOwnThread(TQORThreadFunc job)
{
    TThreadCruncher pool(2);
    DeathPool = &pool;
    TThreadCruncher_Releaser releaser;
    releaser.Lock(&pool);
    int n = 2;
    pool.Initialize(n);
    pool.PushFunction(1, job, nullptr);
    pool.WaitForCompletion();
}

TEST_F(QORThreadsTest, CallingThePoolFromOneOfItsThreadsEndsTheProgram)
{
    // Said on stderr: the check runs on a slot thread, where boxes are never shown.
    const char* message = "Absolutely cannot call the thread cruncher from within the thread cruncher!";
    EXPECT_EXIT(CallPoolFromItsOwnThread(StartUsingFromAJob), ::testing::ExitedWithCode(1), message);
    EXPECT_EXIT(CallPoolFromItsOwnThread(ProcessArrayFromAJob), ::testing::ExitedWithCode(1), message);
}

TEST_F(QORThreadsTest, SplitRuleRejectsAMinimumBelowOne)
{
    int threads = 0, per = 0;
    GetThreadCountForArrayCalculations(1000, 1, &threads, &per);
    EXPECT_EQ(threads, OS.GetNumberOfCPUs());
    EXPECT_EQ(per, 1000 / OS.GetNumberOfCPUs());
    EXPECT_THROW(GetThreadCountForArrayCalculations(1000, 0, &threads, &per), std::logic_error);
}

// [Workhorse]

struct CountingJob : TKSN_Workhorse {
    std::atomic<int> Completions{0};
    std::atomic<bool> Ended{false};
    std::atomic<bool> RunUntilCancelled{false};
    std::atomic<bool> ThrowInJob{false};
    int Result = 0;
    bool OnWorkCompletion() override
    {
        bool ok = TKSN_Workhorse::OnWorkCompletion();
        if (ok) Completions++;
        return ok;
    }
    ~CountingJob() override { CancelThread(true); }
    static void* ThreadFunc(void* p)
    {
        auto* job = static_cast<CountingJob*>(p);
        if (job->ThrowInJob) throw std::runtime_error("job failed");
        while (job->RunUntilCancelled && !job->WasCancelled()) std::this_thread::yield();
        if (!job->WasCancelled()) job->Result = 42;
        job->Ended = true;
        job->FinishThread();
        return nullptr;
    }
};

TEST_F(QORThreadsTest, WorkhorseCompletionRunsOnceOnThePollingThread)
{
    CountingJob job;
    job.LaunchThread(CountingJob::ThreadFunc);
    job.WaitForCompletion();
    EXPECT_FALSE(job.IsThreadActive());
    EXPECT_TRUE(job.IsCompletionPending());
    job.FinishWorkIfNecessary();
    job.FinishWorkIfNecessary();
    EXPECT_EQ(job.Completions.load(), 1);
    EXPECT_EQ(job.Result, 42);
    EXPECT_FALSE(job.IsCompletionPending());

    // A second launch after the first ended on its own reuses the workhorse.
    job.Result = 0;
    job.LaunchThread(CountingJob::ThreadFunc);
    job.FinishWorkIfNecessary();   // joins a job that may still run
    EXPECT_EQ(job.Completions.load(), 2);
    EXPECT_EQ(job.Result, 42);
}

TEST_F(QORThreadsTest, CancelledWorkhorseEndsWithoutCompletion)
{
    for (bool viaBeforeStart : {false, true}) {
        SCOPED_TRACE(viaBeforeStart);
        CountingJob job;
        job.RunUntilCancelled = true;
        job.LaunchThread(CountingJob::ThreadFunc);
        EXPECT_TRUE(job.IsThreadActive());
        if (viaBeforeStart)
            job.BeforeStart();
        else
            job.CancelThread(true);
        EXPECT_TRUE(job.Ended.load());   // returned only after the thread ended
        EXPECT_FALSE(job.IsThreadActive());
        EXPECT_TRUE(job.WasCancelled());
        job.FinishWorkIfNecessary();
        EXPECT_EQ(job.Completions.load(), 0);
        EXPECT_EQ(job.Result, 0);

        // Relaunch after a cancel completes normally.
        job.RunUntilCancelled = false;
        job.LaunchThread(CountingJob::ThreadFunc);
        job.FinishWorkIfNecessary();
        EXPECT_EQ(job.Completions.load(), 1);
    }
}

TEST_F(QORThreadsTest, WorkhorseReportsAJobsExceptionOnThePollingThread)
{
    CountingJob job;
    job.ThrowInJob = true;
    job.LaunchThread(CountingJob::ThreadFunc);
    EXPECT_THROW(job.FinishWorkIfNecessary(), std::runtime_error);
    EXPECT_FALSE(job.IsThreadActive());
    EXPECT_EQ(job.Completions.load(), 0);
    job.FinishWorkIfNecessary();   // reported once
}

// What the job saw, kept outside the workhorse so that it outlives it.
std::atomic<bool> DestroyedJobStarted{false}, DestroyedJobSawCancel{false}, DestroyedJobEnded{false};

void* SpinUntilCancelledThenLinger(void* p)
{
    auto* job = static_cast<TKSN_Workhorse*>(p);
    DestroyedJobStarted = true;
    while (!job->WasCancelled()) std::this_thread::yield();
    DestroyedJobSawCancel = true;
    job->FinishThread();
    // Still running after FinishThread: only a join waits for this.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    DestroyedJobEnded = true;
    return nullptr;
}

TEST_F(QORThreadsTest, DestroyingARunningWorkhorseCancelsAndJoinsIt)
{
    DestroyedJobStarted = DestroyedJobSawCancel = DestroyedJobEnded = false;
    auto job = std::make_unique<TKSN_Workhorse>();
    job->LaunchThread(SpinUntilCancelledThenLinger);
    EXPECT_TRUE(job->IsThreadActive());
    while (!DestroyedJobStarted) std::this_thread::yield();
    EXPECT_FALSE(DestroyedJobSawCancel.load());
    job.reset();
    EXPECT_TRUE(DestroyedJobSawCancel.load()) << "the destructor did not cancel the job";
    EXPECT_TRUE(DestroyedJobEnded.load()) << "the destructor returned before the thread ended";
}

// [Owner mutex]

TEST_F(QORThreadsTest, OwnerMutexNestsOnItsOwnerAndExcludesOthers)
{
    TQORMutexWithOwner m;
    ASSERT_TRUE(m.Lock());
    EXPECT_TRUE(m.IsOwnerCurrentThread());
    EXPECT_FALSE(m.Lock());   // nested: takes nothing

    std::atomic<bool> acquired{false}, ownerSeenElsewhere{true};
    std::thread other([&] {
        ownerSeenElsewhere = m.IsOwnerCurrentThread();
        bool took = m.Lock();
        acquired = true;
        if (took) m.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(acquired.load());   // still held by the first Lock
    m.Unlock();
    other.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_FALSE(ownerSeenElsewhere.load());
    EXPECT_FALSE(m.IsOwnerCurrentThread());
}

} // namespace
