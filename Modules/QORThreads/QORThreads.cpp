// Worker pool, background jobs and the owner-aware mutex (see QORThreads.h).
//
// Index:
//   [Pool]          construction, slot threads, handing out and collecting jobs
//   [Array split]   GetThreadCountForArrayCalculations, ProcessArray
//   [Fill and copy] memset/memcpy over the global pool, start-up self-test
//   [Workhorse]     TKSN_Workhorse
//   [Owner mutex]   TQORMutexWithOwner
#include "QORThreads.h"

#include "OS.h"
#include "QORMemory.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

TThreadCruncher* ThreadCruncher = nullptr;

namespace {

const char* const kCalledFromWithin = "Absolutely cannot call the thread cruncher from within the thread cruncher!";

// The split rule without the OS layer, so that a pool of any size splits by its own slots.
void SplitArray(int count, int minimum, int processors, int* threads, int* perThread)
{
    if (minimum < 1) QORThrowException("MinimumTheshold cannot be less than 1");
    int n = std::max(1, processors);
    int per = count / n;
    if (per < minimum) {
        n = 1;
        per = count;
    }
    *threads = n;
    *perThread = per;
}

// How long a waiter spins before it sleeps. A slot thread that has just
// finished a job keeps looking for the next one this long: the passes of one
// sculpt dab or one normal update follow each other within microseconds,
// while a wake-up from sleep costs tens of them. The caller collecting its
// slots spins a little longer, as it usually finds them finishing together.
constexpr auto kSlotSpin = std::chrono::microseconds(60);
constexpr auto kCallerSpin = std::chrono::microseconds(200);
constexpr auto kPauseSpin = std::chrono::microseconds(4);
// A phase's blocks wait this long for the previous phase's last ones.
constexpr auto kPhaseSpin = std::chrono::microseconds(30);

// One round of a spin wait: a pause instruction where there is one.
inline void QORThreads_CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

// Returns the counter's value once it differs from old: spins up to spin
// (pausing for the first microseconds, then yielding the processor so that
// a busy machine's other threads are not held up), then sleeps until notified.
template <class T>
T WaitForChange(const std::atomic<T>& counter, T old, std::chrono::microseconds spin)
{
    T now = counter.load(std::memory_order_acquire);
    if (now != old) return now;
    const auto start = std::chrono::steady_clock::now();
    bool yielding = false;
    for (int i = 1;; ++i) {
        if (yielding)
            std::this_thread::yield();
        else
            QORThreads_CpuRelax();
        now = counter.load(std::memory_order_acquire);
        if (now != old) return now;
        // The clock is read every 32 pauses (about a microsecond), and after every yield.
        if (!yielding && (i & 31) != 0) continue;
        const auto spent = std::chrono::steady_clock::now() - start;
        if (spent >= spin) break;
        yielding = spent >= kPauseSpin;
    }
    for (;;) {
        counter.wait(old, std::memory_order_acquire);
        now = counter.load(std::memory_order_acquire);
        if (now != old) return now;
    }
}

} // namespace

// =====================================================================
// [Pool]
// =====================================================================

TThreadCruncher::TThreadCruncher() : TThreadCruncher(OS.GetNumberOfCPUs()) {}

TThreadCruncher::TThreadCruncher(int slotCount)
{
    slotCount_ = std::clamp(slotCount, 1, QOR_THREADCRUNCHER_MAX_SLOTS);
    for (int s = 0; s < slotCount_; ++s) {
        slots_[s].running.store(true);
        if (s == 0) continue;   // slot 0's work runs on the pool's user
        slots_[s].thread = std::thread(&TThreadCruncher::SlotThreadMain, this, s);
        slots_[s].threadId.store(slots_[s].thread.get_id());
    }
}

TThreadCruncher::~TThreadCruncher()
{
    for (int s = 1; s < slotCount_; ++s) {
        slots_[s].running.store(false);
        slots_[s].pending = false;
        slots_[s].started.fetch_add(1, std::memory_order_release);
        slots_[s].started.notify_one();
    }
    for (int s = 1; s < slotCount_; ++s)
        if (slots_[s].thread.joinable()) slots_[s].thread.join();
}

void TThreadCruncher::SlotThreadMain(int s)
{
    Slot& slot = slots_[s];
    // The constructor stores the id after the thread exists; record it here too so
    // that the check in CheckCaller holds from the job's very first instruction.
    slot.threadId.store(std::this_thread::get_id());
    uint32_t seen = 0;
    for (;;) {
        seen = WaitForChange(slot.started, seen, kSlotSpin);
        if (!slot.running.load()) return;
        if (slot.pending && slot.function) {
            try {
                slot.function(slot.data);
            } catch (...) {
                slot.failure = std::current_exception();
            }
            slot.function = nullptr;
        }
        slot.finished.store(seen, std::memory_order_release);
        slot.finished.notify_one();
    }
}

bool TThreadCruncher::IsPoolThread() const
{
    const std::thread::id self = std::this_thread::get_id();
    for (const Slot& slot : slots_)
        if (slot.threadId.load() == self) return true;
    return false;
}

void TThreadCruncher::CheckCaller() const
{
    if (!IsPoolThread()) return;
    OS.ErrorMessage("%s", kCalledFromWithin);
    // The caller is a slot thread, where no box is ever shown: without this
    // line the program would end without a word of why.
    std::fprintf(stderr, "%s\n", kCalledFromWithin);
    OS.Exit(1);
}

void TThreadCruncher::StartUsing(TThreadCruncher_Releaser& releaser)
{
    assert(!releaser.pool_ && "StartUsing needs an empty releaser");
    CheckCaller();
    useMutex_.lock();
    releaser.pool_ = this;
    busy_.store(true, std::memory_order_release);
}

bool TThreadCruncher::TryStartUsing(TThreadCruncher_Releaser& releaser)
{
    assert(!releaser.pool_ && "TryStartUsing needs an empty releaser");
    // The holder itself sees busy set (try_lock on a mutex one owns is undefined);
    // a slot thread always finds the pool held by the job's owner.
    if (busy_.load(std::memory_order_acquire) || IsPoolThread() || !useMutex_.try_lock()) return false;
    releaser.pool_ = this;
    busy_.store(true, std::memory_order_release);
    return true;
}

void TThreadCruncher::ReleaseUse()
{
    busy_.store(false, std::memory_order_release);
    useMutex_.unlock();
}

void TThreadCruncher_Releaser::Lock(TThreadCruncher* pool)
{
    assert(pool && "TThreadCruncher_Releaser::Lock needs a pool");
    pool->StartUsing(*this);
}

TThreadCruncher_Releaser::~TThreadCruncher_Releaser()
{
    if (pool_) pool_->ReleaseUse();
}

void TThreadCruncher::Initialize(int& n)
{
    // A slot thread calling in would wait for itself below: it is stopped first.
    CheckCaller();
    CollectLateSlots();
    slotsInUse_ = std::min(slotCount_, std::max(1, n));
    for (Slot& slot : slots_) {
        slot.pending = false;
        slot.function = nullptr;
    }
}

void TThreadCruncher::PushFunction(int s, TQORThreadFunc fn, void* data)
{
    assert(s >= 0 && s < slotsInUse_ && "PushFunction slot must be below the slots prepared by Initialize");
    Slot& slot = slots_[s];
    assert(!slot.pending && "PushFunction: the slot's previous job was not collected (WaitForCompletion)");
    slot.function = fn;
    slot.data = data;
    if (s == 0) return;   // runs in WaitForCompletion
    slot.pending = true;
    slot.started.fetch_add(1, std::memory_order_release);
    slot.started.notify_one();
}

void TThreadCruncher::WaitForCompletion()
{
    std::exception_ptr failure;
    Slot& first = slots_[0];
    if (first.function) {
        // The other slots read chunk records on our stack: never leave before they are done.
        try {
            first.function(first.data);
        } catch (...) {
            failure = std::current_exception();
        }
        first.function = nullptr;
    }
    for (int s = 1; s < slotsInUse_; ++s) {
        Slot& slot = slots_[s];
        if (!slot.pending) continue;
        const uint32_t target = slot.started.load(std::memory_order_relaxed);
        for (uint32_t at = slot.finished.load(std::memory_order_acquire); at != target;)
            at = WaitForChange(slot.finished, at, kCallerSpin);
        slot.pending = false;
        if (slot.failure && !failure) failure = slot.failure;
        slot.failure = nullptr;
    }
    if (failure) std::rethrow_exception(failure);
}

void ThreadCruncher_Initialize()
{
    if (!ThreadCruncher) ThreadCruncher = new TThreadCruncher();
}

bool Pthread_LoadLibrary()
{
    return true;
}

// =====================================================================
// [Array split]
// =====================================================================

void GetThreadCountForArrayCalculations(int count, int minimum, int* threads, int* perThread)
{
    SplitArray(count, minimum, OS.GetNumberOfCPUs(), threads, perThread);
}

void TThreadCruncher::ProcessArray(void* dst, const void* src, int elemSize, int count, TQORThreadFunc fn,
                                   void* user, int fillInt, float fillFloat)
{
    if (count < 1) return;
    if (count < QOR_THREADCRUNCHER_MIN_CHUNK) {
        TThreadCruncher_ArrayChunk whole{src, dst, count, 0, count, user, fillInt, fillFloat};
        fn(&whole);
        return;
    }
    assert(busy_.load() && "ProcessArray on 32 or more elements needs the pool held (StartUsing)");

    int threads = 1, perThread = count;
    SplitArray(count, QOR_THREADCRUNCHER_MIN_CHUNK, slotCount_, &threads, &perThread);
    Initialize(threads);

    TThreadCruncher_ArrayChunk chunks[QOR_THREADCRUNCHER_MAX_SLOTS];
    for (int j = 0; j < slotsInUse_; ++j) {
        TThreadCruncher_ArrayChunk& c = chunks[j];
        c.First = perThread * j;
        c.End = (j == slotsInUse_ - 1) ? count : perThread * (j + 1);
        c.Count = c.End - c.First;
        // Byte offsets in ptrdiff_t: count x elemSize may pass 2^31 for large float arrays.
        const std::ptrdiff_t offset = std::ptrdiff_t(c.First) * elemSize;
        c.Source = src ? static_cast<const char*>(src) + offset : nullptr;
        c.Destination = dst ? static_cast<char*>(dst) + offset : nullptr;
        c.User = user;
        c.FillInt = fillInt;
        c.FillFloat = fillFloat;
        PushFunction(j, fn, &c);
    }
    WaitForCompletion();
}

namespace {

// What every slot of one ProcessBlocks call shares; lives on the caller's stack.
struct TBlockRun {
    std::atomic<size_t> Next{0};       // the next block to hand out
    std::atomic<bool> Failed{false};   // a block threw: hand out no more
    size_t Count = 0;
    size_t BlockSize = 1;
    size_t Blocks = 0;
    TQORBlockFunc Function = nullptr;
    void* User = nullptr;
};

// What one slot starts with: block Slot is its own, so every slot in use gets
// work even when the others are quick; after it the slot takes from the counter.
struct TBlockSlot {
    TBlockRun* Run = nullptr;
    size_t FirstBlock = 0;
};

void RunBlock(TBlockRun& run, size_t b)
{
    const size_t first = b * run.BlockSize;
    const size_t end = std::min(run.Count, first + run.BlockSize);
    try {
        run.Function(first, end, run.User);
    } catch (...) {
        run.Failed.store(true);
        throw;
    }
}

void* RunBlocks(void* p)
{
    auto* slot = static_cast<TBlockSlot*>(p);
    TBlockRun& run = *slot->Run;
    RunBlock(run, slot->FirstBlock);
    for (;;) {
        if (run.Failed.load(std::memory_order_relaxed)) return nullptr;
        const size_t b = run.Next.fetch_add(1, std::memory_order_relaxed);
        if (b >= run.Blocks) return nullptr;
        RunBlock(run, b);
    }
}

} // namespace

void TThreadCruncher::ProcessBlocks(size_t count, size_t blockSize, TQORBlockFunc fn, void* user)
{
    if (count == 0) return;
    blockSize = std::max<size_t>(1, blockSize);
    if (count <= blockSize || slotCount_ == 1) {
        fn(0, count, user);
        return;
    }
    assert(busy_.load() && "ProcessBlocks over more than one block needs the pool held (StartUsing)");

    TBlockRun run;
    run.Count = count;
    run.BlockSize = blockSize;
    run.Blocks = (count - 1) / blockSize + 1;
    run.Function = fn;
    run.User = user;
    int n = int(std::min<size_t>(run.Blocks, size_t(slotCount_)));
    Initialize(n);
    run.Next.store(size_t(slotsInUse_));
    TBlockSlot slots[QOR_THREADCRUNCHER_MAX_SLOTS];
    for (int j = 0; j < slotsInUse_; ++j) {
        slots[j] = {&run, size_t(j)};
        PushFunction(j, RunBlocks, &slots[j]);
    }
    WaitForCompletion();
}

void TThreadCruncher::CollectLateSlots()
{
    for (int s = 1; s < slotCount_; ++s) {
        Slot& slot = slots_[s];
        const uint32_t target = slot.started.load(std::memory_order_relaxed);
        for (uint32_t at = slot.finished.load(std::memory_order_acquire); at != target;)
            at = WaitForChange(slot.finished, at, kCallerSpin);
    }
}

void* TThreadCruncher::FreeSlotMain(void* p)
{
    const auto* ticket = static_cast<const FreeSlotTicket*>(p);
    ticket->Pool->JoinFreeSlotRun(ticket->Generation);
    return nullptr;
}

void TThreadCruncher::JoinFreeSlotRun(uint32_t generation)
{
    FreeSlotRun& run = freeRun_;
    // Counted in before the first look at the counter: a block taken below
    // keeps the caller waiting until it has returned.
    run.Active.fetch_add(1);
    uint64_t at = run.Next.load();
    for (;;) {
        if (uint32_t(at >> 32) != generation) break;   // a later run: this one is over
        const uint64_t blocks = (at >> 16) & 0xFFFF, block = at & 0xFFFF;
        if (block >= blocks) break;
        if (!run.Next.compare_exchange_weak(at, at + 1)) continue;
        // The block is ours, so the run's caller is still waiting: its
        // fields hold this run's values.
        const size_t first = size_t(block) * run.BlockSize;
        const size_t end = std::min(run.Count, first + run.BlockSize);
        try {
            run.Function(first, end, run.User);
        } catch (...) {
            {
                std::scoped_lock lock(run.FailureMutex);
                if (!run.Failure) run.Failure = std::current_exception();
            }
            // No more blocks are handed out.
            uint64_t now = run.Next.load();
            while (uint32_t(now >> 32) == generation &&
                   !run.Next.compare_exchange_weak(now, (now & ~uint64_t(0xFFFF)) | blocks)) {
            }
        }
        at = run.Next.load();
    }
    if (run.Active.fetch_sub(1) == 1) run.Active.notify_all();
}

void TThreadCruncher::ProcessBlocksOnFreeSlots(size_t count, size_t blockSize, TQORBlockFunc fn, void* user,
                                               int maxSlots)
{
    if (count == 0) return;
    blockSize = std::max<size_t>(1, blockSize);
    const size_t blocks = (count - 1) / blockSize + 1;
    if (blocks == 1 || slotCount_ == 1) {
        fn(0, count, user);
        return;
    }
    // The packed counter holds up to 65,535 blocks.
    if (blocks > 0xFFFF) {
        ProcessBlocks(count, blockSize, fn, user);
        return;
    }
    assert(busy_.load() && "ProcessBlocksOnFreeSlots over more than one block needs the pool held (StartUsing)");
    CheckCaller();
    FreeSlotRun& run = freeRun_;
    const uint32_t generation = ++run.Generation;
    run.Count = count;
    run.BlockSize = blockSize;
    run.Function = fn;
    run.User = user;
    run.Failure = nullptr;
    run.Next.store((uint64_t(generation) << 32) | (uint64_t(blocks) << 16));
    const int cap = maxSlots > 0 ? std::min(maxSlots, slotCount_) : slotCount_;
    const int helpers = int(std::min<size_t>(size_t(cap), blocks)) - 1;
    for (int s = 1, started = 0; s < slotCount_ && started < helpers; ++s) {
        Slot& slot = slots_[s];
        // Still on an earlier run's job (it has not had a processor since): left out.
        if (slot.finished.load(std::memory_order_acquire) != slot.started.load(std::memory_order_relaxed)) continue;
        tickets_[s] = {this, generation};
        slot.function = FreeSlotMain;
        slot.data = &tickets_[s];
        slot.pending = true;
        slot.started.fetch_add(1, std::memory_order_release);
        slot.started.notify_one();
        ++started;
    }
    JoinFreeSlotRun(generation);
    // Every block has been taken; wait for those still running elsewhere.
    for (int inside = run.Active.load(); inside != 0;) inside = WaitForChange(run.Active, inside, kCallerSpin);
    if (run.Failure) {
        std::exception_ptr failure = std::move(run.Failure);
        run.Failure = nullptr;
        std::rethrow_exception(failure);
    }
}

namespace {

// What every slot of one ProcessPhases call shares; lives on the caller's stack.
struct TPhaseRun {
    const TThreadCruncher::Phase* Phases = nullptr;
    int PhaseCount = 0;
    size_t FirstBlock[8] = {};   // of each phase in the global numbering; one more entry marks the end
    std::atomic<size_t> Next{0};
    std::atomic<bool> Failed{false};
    // Blocks returned per phase, each on its own line.
    struct alignas(64) TDone {
        std::atomic<size_t> Blocks{0};
    } Done[7];
};
constexpr int kMaxPhases = 7;
static_assert(sizeof(TPhaseRun::FirstBlock) / sizeof(size_t) == kMaxPhases + 1, "one start a phase and the end");

void RunPhaseBlock(TPhaseRun& run, size_t b)
{
    int p = 0;
    while (p + 1 < run.PhaseCount && b >= run.FirstBlock[p + 1]) ++p;
    if (p > 0) {
        // The previous phase's last blocks are running on other slots: a
        // short spin, then sleep (a slot of a busy machine that lost its
        // processor mid-block needs it back, not a crowd of spinners).
        const size_t need = run.FirstBlock[p] - run.FirstBlock[p - 1];
        std::atomic<size_t>& done = run.Done[p - 1].Blocks;
        for (size_t at = done.load(std::memory_order_acquire); at < need;)
            at = size_t(WaitForChange(done, at, kPhaseSpin));
    }
    // Counted as returned also when skipped or when it throws, so that no
    // later block waits for ever; the phase's last block wakes the sleepers.
    struct TCount {
        std::atomic<size_t>& Blocks;
        size_t Last;
        ~TCount()
        {
            if (Blocks.fetch_add(1, std::memory_order_release) + 1 == Last) Blocks.notify_all();
        }
    } count{run.Done[p].Blocks, run.FirstBlock[p + 1] - run.FirstBlock[p]};
    if (run.Failed.load(std::memory_order_relaxed)) return;
    const TThreadCruncher::Phase& phase = run.Phases[p];
    const size_t first = (b - run.FirstBlock[p]) * phase.BlockSize;
    const size_t end = std::min(phase.Count, first + phase.BlockSize);
    try {
        phase.Function(first, end, phase.User);
    } catch (...) {
        run.Failed.store(true);
        throw;
    }
}

struct TPhaseSlot {
    TPhaseRun* Run = nullptr;
    size_t FirstBlock = 0;
};

void* RunPhaseBlocks(void* p)
{
    auto* slot = static_cast<TPhaseSlot*>(p);
    TPhaseRun& run = *slot->Run;
    const size_t blocks = run.FirstBlock[run.PhaseCount];
    RunPhaseBlock(run, slot->FirstBlock);
    for (;;) {
        if (run.Failed.load(std::memory_order_relaxed)) return nullptr;
        const size_t b = run.Next.fetch_add(1, std::memory_order_relaxed);
        if (b >= blocks) return nullptr;
        RunPhaseBlock(run, b);
    }
}

} // namespace

void TThreadCruncher::ProcessPhases(const Phase* phases, int phaseCount)
{
    assert(phaseCount >= 0 && phaseCount <= kMaxPhases && "ProcessPhases takes up to 7 phases");
    TPhaseRun run;
    run.Phases = phases;
    run.PhaseCount = phaseCount;
    size_t blocks = 0;
    bool inline_ = slotCount_ == 1;
    for (int p = 0; p < phaseCount; ++p) {
        assert(phases[p].Function && "ProcessPhases needs a function for every phase");
        const size_t size = std::max<size_t>(1, phases[p].BlockSize);
        run.FirstBlock[p] = blocks;
        blocks += phases[p].Count == 0 ? 0 : (phases[p].Count - 1) / size + 1;
    }
    run.FirstBlock[phaseCount] = blocks;
    if (blocks <= size_t(phaseCount)) inline_ = true;
    if (inline_) {
        for (int p = 0; p < phaseCount; ++p)
            if (phases[p].Count > 0) phases[p].Function(0, phases[p].Count, phases[p].User);
        return;
    }
    assert(busy_.load() && "ProcessPhases over more than one block a phase needs the pool held (StartUsing)");
    // Every phase is cut by its own block size.
    Phase cut[kMaxPhases];
    for (int p = 0; p < phaseCount; ++p) {
        cut[p] = phases[p];
        cut[p].BlockSize = std::max<size_t>(1, cut[p].BlockSize);
    }
    run.Phases = cut;
    int n = int(std::min<size_t>(blocks, size_t(slotCount_)));
    Initialize(n);
    run.Next.store(size_t(slotsInUse_));
    TPhaseSlot slots[QOR_THREADCRUNCHER_MAX_SLOTS];
    for (int j = 0; j < slotsInUse_; ++j) {
        slots[j] = {&run, size_t(j)};
        PushFunction(j, RunPhaseBlocks, &slots[j]);
    }
    WaitForCompletion();
}

// =====================================================================
// [Fill and copy]
// =====================================================================

void* memset_Multithread_ThreadFuncB(void* p)
{
    auto* c = static_cast<TThreadCruncher_ArrayChunk*>(p);
    std::memset(c->Destination, c->FillInt, size_t(c->Count));
    return nullptr;
}

void* memset_float_Multithread_ThreadFunc(void* p)
{
    auto* c = static_cast<TThreadCruncher_ArrayChunk*>(p);
    std::fill_n(static_cast<float*>(c->Destination), c->Count, c->FillFloat);
    return nullptr;
}

void* memcpy_Multithread_ThreadFuncB(void* p)
{
    auto* c = static_cast<TThreadCruncher_ArrayChunk*>(p);
    std::memcpy(c->Destination, c->Source, size_t(c->Count));
    return nullptr;
}

namespace {

// Fill and copy go in blocks of at least this many bytes: below it a thread's
// start costs more than it saves.
constexpr size_t kMinCopyBlock = size_t(256) << 10;

struct TFillCopy {
    unsigned char* Destination = nullptr;
    const unsigned char* Source = nullptr;
    int FillByte = 0;
    float FillFloat = 0.0f;
};

void FillBlock(size_t first, size_t end, void* p)
{
    auto* job = static_cast<TFillCopy*>(p);
    std::memset(job->Destination + first, job->FillByte, end - first);
}

void CopyBlock(size_t first, size_t end, void* p)
{
    auto* job = static_cast<TFillCopy*>(p);
    std::memcpy(job->Destination + first, job->Source + first, end - first);
}

void FillFloatBlock(size_t first, size_t end, void* p)
{
    auto* job = static_cast<TFillCopy*>(p);
    std::fill(reinterpret_cast<float*>(job->Destination) + first, reinterpret_cast<float*>(job->Destination) + end,
              job->FillFloat);
}

// Runs the job over the global pool in blocks (about four a slot, so an
// unlucky slot costs little), or whole on this thread when the range is small
// or the pool is missing or held by someone else (never waits for it).
void RunBlocksOrInline(size_t count, size_t elemSize, TQORBlockFunc fn, TFillCopy& job)
{
    if (count == 0) return;
    const size_t minBlock = std::max<size_t>(1, kMinCopyBlock / elemSize);
    TThreadCruncher_Releaser releaser;
    if (count > minBlock && ThreadCruncher && ThreadCruncher->GetSlotCount() > 1 &&
        ThreadCruncher->TryStartUsing(releaser)) {
        const size_t quarters = size_t(ThreadCruncher->GetSlotCount()) * 4;
        // Block lengths in whole cache lines: over a line-aligned buffer no two slots write one line.
        size_t block = std::max(minBlock, (count + quarters - 1) / quarters);
        const size_t line = std::max<size_t>(1, 64 / elemSize);
        block = (block + line - 1) / line * line;
        ThreadCruncher->ProcessBlocks(count, block, fn, &job);
        return;
    }
    fn(0, count, &job);
}

} // namespace

void memset_Multithread(void* buf, int value, size_t len)
{
    TFillCopy job;
    job.Destination = static_cast<unsigned char*>(buf);
    job.FillByte = value;
    RunBlocksOrInline(len, 1, FillBlock, job);
}

void memset_float_Multithread(float* buf, float value, size_t count)
{
    TFillCopy job;
    job.Destination = reinterpret_cast<unsigned char*>(buf);
    job.FillFloat = value;
    RunBlocksOrInline(count, sizeof(float), FillFloatBlock, job);
}

void memcpy_Multithread(void* dst, const void* src, size_t len)
{
    TFillCopy job;
    job.Destination = static_cast<unsigned char*>(dst);
    job.Source = static_cast<const unsigned char*>(src);
    RunBlocksOrInline(len, 1, CopyBlock, job);
}

void TestMultithreadedFunctions()
{
    constexpr int kCount = 2097152;
    float* values = static_cast<float*>(QORalloc(sizeof(float) * kCount, false));
    // The ends stay outside the fill so that a chunk running past its range shows.
    memset_float_Multithread(values + 1, 69.0f, kCount - 2);
    values[0] = -1.0f;
    values[kCount - 1] = -1.0f;
    for (int i = 0; i < kCount; ++i) {
        const bool end = (i == 0 || i == kCount - 1);
        const float d = values[i] - (end ? -1.0f : 69.0f);
        if (d > 1e-30f || d < -1e-30f) {
            if (end)
                OS.Message("memset_float_Multithread failed at end point i = %d", i);
            else
                OS.Message("memset_float_Multithread failed at point i = %d", i);
            OS.Exit(1);
        }
    }
    QORfree(values, 0);
}

// =====================================================================
// [Workhorse]
// =====================================================================

TKSN_Workhorse::~TKSN_Workhorse()
{
    {
        std::scoped_lock lock(mutex_);
        if (active_) {
            cancelled_ = true;
            completionPending_ = false;
        }
    }
    // A thread that finished on its own is reaped here as well.
    Join();
}

void TKSN_Workhorse::Join()
{
    std::scoped_lock lock(joinMutex_);
    if (thread_.joinable()) thread_.join();
}

bool TKSN_Workhorse::OnWorkCompletion()
{
    std::scoped_lock lock(mutex_);
    completionPending_ = false;
    return !cancelled_;
}

void TKSN_Workhorse::LaunchThread(TQORThreadFunc fn)
{
    assert(fn && "LaunchThread needs a job function");
    // The previous job has ended (callers run BeforeStart first); reap its thread.
    Join();
    {
        std::scoped_lock lock(mutex_);
        active_ = true;
        cancelled_ = false;
        completionPending_ = true;
        failure_ = nullptr;
    }
    std::scoped_lock lock(joinMutex_);
    thread_ = std::thread([this, fn] {
        try {
            fn(this);
        } catch (...) {
            std::scoped_lock flags(mutex_);
            failure_ = std::current_exception();
            active_ = false;
        }
    });
}

void TKSN_Workhorse::BeforeStart()
{
    {
        std::scoped_lock lock(mutex_);
        if (active_) {
            cancelled_ = true;
            completionPending_ = false;
        }
    }
    Join();
}

void TKSN_Workhorse::CancelThread(bool wait)
{
    {
        std::scoped_lock lock(mutex_);
        cancelled_ = true;
        completionPending_ = false;
    }
    if (wait) Join();
}

bool TKSN_Workhorse::WasCancelled()
{
    std::scoped_lock lock(mutex_);
    return cancelled_;
}

bool TKSN_Workhorse::IsThreadActive()
{
    std::scoped_lock lock(mutex_);
    return active_;
}

bool TKSN_Workhorse::IsCompletionPending()
{
    std::scoped_lock lock(mutex_);
    return completionPending_;
}

void TKSN_Workhorse::FinishThread()
{
    std::scoped_lock lock(mutex_);
    active_ = false;
    if (cancelled_) completionPending_ = false;
}

void TKSN_Workhorse::FinishWorkIfNecessary()
{
    if (!IsCompletionPending()) return;
    Join();
    std::exception_ptr failure;
    {
        std::scoped_lock lock(mutex_);
        failure = std::exchange(failure_, nullptr);
        if (failure) completionPending_ = false;
    }
    if (failure) std::rethrow_exception(failure);
    OnWorkCompletion();
    std::scoped_lock lock(mutex_);
    completionPending_ = false;
}

void TKSN_Workhorse::WaitForCompletion()
{
    Join();
}

// =====================================================================
// [Owner mutex]
// =====================================================================

bool TQORMutexWithOwner::Lock()
{
    const std::thread::id self = std::this_thread::get_id();
    {
        std::scoped_lock lock(guard_);
        if (owner_ == self) return false;
    }
    mutex_.lock();
    std::scoped_lock lock(guard_);
    owner_ = self;
    return true;
}

void TQORMutexWithOwner::Unlock()
{
    {
        std::scoped_lock lock(guard_);
        owner_ = std::thread::id{};
    }
    mutex_.unlock();
}

bool TQORMutexWithOwner::IsOwnerCurrentThread()
{
    std::scoped_lock lock(guard_);
    return owner_ == std::this_thread::get_id();
}
