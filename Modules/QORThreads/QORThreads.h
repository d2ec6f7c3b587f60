// Threading layer: the per-processor worker pool, one-thread background jobs and
// a mutex that knows its owner.
//
// TThreadCruncher (one global instance, ThreadCruncher) splits array work into
// contiguous chunks of at least 32 elements and runs them at the same time; the
// thread that uses the pool always works on chunk 0 itself, so slot 0 has no
// thread of its own. Exactly one user at a time holds the pool, through a
// TThreadCruncher_Releaser; calling the pool from one of its own slot threads
// would deadlock, so it ends the program instead.
//
// Invariants of the pool:
//  - slot threads are started once; between jobs each spins for a short while
//    (a dab or a pass hands out its next job within microseconds) and then
//    sleeps on its start counter, so an idle pool costs no processor time;
//  - a job handed to slot s runs once, and WaitForCompletion returns only after
//    every handed-out job has returned (chunk records live on the caller's stack);
//  - an exception thrown by a job is kept and raised again on the calling thread
//    after all jobs have finished; it never crosses a thread entry.
//
// TKSN_Workhorse is the base of background jobs that run on a thread of their
// own (polygon culler, symmetry calculator, mouse sampling). The job polls
// WasCancelled(); the main thread polls FinishWorkIfNecessary(), which calls
// the completion hook OnWorkCompletion() once per job that was not cancelled.
//
// TQORMutexWithOwner lets code that already holds the mutex call code that locks
// it again: the inner Lock() answers false and its Unlock() must be skipped.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>

constexpr int QOR_THREADCRUNCHER_MAX_SLOTS = 32;
// Arrays shorter than this run inline, and no chunk is ever shorter.
constexpr int QOR_THREADCRUNCHER_MIN_CHUNK = 32;

using TQORThreadFunc = void* (*)(void*);
// A block job of ProcessBlocks: elements first <= i < end of the whole range.
using TQORBlockFunc = void (*)(size_t first, size_t end, void* user);

// What ProcessArray hands each job (as the untyped argument). Pointers are
// already advanced to the chunk's first element; indices are element indices
// of the whole array, End exclusive.
struct TThreadCruncher_ArrayChunk {
    const void* Source = nullptr;
    void* Destination = nullptr;
    int Count = 0;
    int First = 0;
    int End = 0;
    void* User = nullptr;
    int FillInt = 0;
    float FillFloat = 0.0f;
};

class TThreadCruncher;

// Holds the pool for one scope; the destructor gives it back (also when an
// exception passes).
class TThreadCruncher_Releaser {
public:
    TThreadCruncher_Releaser() = default;
    ~TThreadCruncher_Releaser();
    TThreadCruncher_Releaser(const TThreadCruncher_Releaser&) = delete;
    TThreadCruncher_Releaser& operator=(const TThreadCruncher_Releaser&) = delete;

    // Takes exclusive use of pool (waits while another thread holds it).
    void Lock(TThreadCruncher* pool);
    TThreadCruncher* GetPool() const { return pool_; }

private:
    friend class TThreadCruncher;
    TThreadCruncher* pool_ = nullptr;
};

class TThreadCruncher {
public:
    // Sized by the OS layer's processor count (1..32).
    TThreadCruncher();
    // Sized explicitly (clamped to 1..32); the global pool uses the processor count.
    explicit TThreadCruncher(int slotCount);
    // Stops and joins the slot threads. The global pool is never destroyed.
    ~TThreadCruncher();
    TThreadCruncher(const TThreadCruncher&) = delete;
    TThreadCruncher& operator=(const TThreadCruncher&) = delete;

    void StartUsing(TThreadCruncher_Releaser& releaser);
    // Takes the pool only when nobody holds it; false means "do the work yourself".
    bool TryStartUsing(TThreadCruncher_Releaser& releaser);
    bool IsBusy() const { return busy_.load(std::memory_order_acquire); }

    int GetSlotCount() const { return slotCount_; }
    int GetSlotsInUse() const { return slotsInUse_; }

    // Prepares min(slot count, max(1, n)) slots for the next job; n is not written.
    void Initialize(int& n);
    // Slot 0 runs on the calling thread in WaitForCompletion; every other slot starts at once.
    void PushFunction(int slot, TQORThreadFunc fn, void* data);
    // Runs slot 0's job here, then waits for every other handed-out job.
    // Raises again the first exception a job threw, after all have finished.
    void WaitForCompletion();

    // Runs fn(&chunk) over count elements of elemSize bytes split into contiguous
    // chunks, one per slot in use. Fewer than 32 elements run inline without the
    // pool; otherwise the caller must hold the pool.
    void ProcessArray(void* dst, const void* src, int elemSize, int count, TQORThreadFunc fn,
                      void* user, int fillInt, float fillFloat);

    // Runs fn over count elements in blocks of blockSize (the last one shorter).
    // Slot j of the slots in use starts with block j; every further block is
    // handed out from an atomic counter, so a slot that finishes early takes
    // the next block instead of idling. Which slot
    // runs a block is not fixed: fn must write only its own block's results.
    // A range of one block runs inline without the pool; otherwise the caller
    // must hold the pool. An exception a block throws stops the handing out and
    // is raised here after every running block has returned.
    void ProcessBlocks(size_t count, size_t blockSize, TQORBlockFunc fn, void* user);

    // As ProcessBlocks, for short runs on a machine that may be busy: the
    // blocks go only to the slots that are free at the call (up to maxSlots,
    // 0: every slot) and to the caller, and the call returns once every block
    // has returned, without waiting for a slot that has not begun by then (a
    // slot thread of a busy machine may get a processor only milliseconds
    // after it was started). Such a slot later finds the run over and
    // returns at once; it is left out of the next runs of this kind until
    // then, and waited for before any other kind of job is handed to it.
    void ProcessBlocksOnFreeSlots(size_t count, size_t blockSize, TQORBlockFunc fn, void* user, int maxSlots = 0);

    // Runs phases one after the other in one hand-out: the blocks of every
    // phase come from one counter in order, and a block of phase p starts
    // only when every block of phase p - 1 has returned (its slot spins
    // briefly, then sleeps until then), so each phase sees the whole of the previous
    // one's results without the slots being collected and started again in
    // between. Work below one block per phase runs inline on the calling
    // thread, phase by phase; otherwise the caller must hold the pool. An
    // exception stops the handing out; blocks not yet started are skipped and
    // it is raised here after every running block has returned.
    struct Phase {
        size_t Count = 0;
        size_t BlockSize = 1;
        TQORBlockFunc Function = nullptr;
        void* User = nullptr;
    };
    void ProcessPhases(const Phase* phases, int phaseCount);

    // True when the calling thread is one of this pool's slot threads.
    bool IsPoolThread() const;

private:
    struct Slot {
        bool pending = false;
        std::atomic<bool> running{false};
        void* data = nullptr;
        TQORThreadFunc function = nullptr;
        std::thread thread;
        std::atomic<std::thread::id> threadId{};
        // The user raises Started to start the slot; the slot raises Finished
        // to Started when its job returned. Each waiter spins briefly, then
        // sleeps on the counter (std::atomic wait and notify).
        alignas(64) std::atomic<uint32_t> started{0};
        alignas(64) std::atomic<uint32_t> finished{0};
        std::exception_ptr failure;
    };

    // The current ProcessBlocksOnFreeSlots run, kept here rather than on the
    // caller's stack so that a slot that begins after the run has ended only
    // reads memory that still exists. Next packs the run's generation (high
    // 32 bits), its block count (16 bits) and the next block (low 16 bits),
    // so that one compare-and-swap both checks the run and takes a block.
    struct FreeSlotRun {
        std::atomic<uint64_t> Next{0};
        std::atomic<int> Active{0};   // threads inside the run, the caller included
        uint32_t Generation = 0;
        size_t Count = 0;
        size_t BlockSize = 1;
        TQORBlockFunc Function = nullptr;
        void* User = nullptr;
        std::mutex FailureMutex;
        std::exception_ptr Failure;
    };
    struct FreeSlotTicket {
        TThreadCruncher* Pool = nullptr;
        uint32_t Generation = 0;
    };
    static void* FreeSlotMain(void* ticket);
    // Takes and runs blocks of run generation until none is left.
    void JoinFreeSlotRun(uint32_t generation);
    // Waits for every slot to have returned from its last job.
    void CollectLateSlots();

    void SlotThreadMain(int slot);
    void CheckCaller() const;
    void ReleaseUse();

    int slotsInUse_ = 0;
    int slotCount_ = 1;
    bool callerRunsSlot0_ = true;
    std::mutex useMutex_;
    std::atomic<bool> busy_{false};
    Slot slots_[QOR_THREADCRUNCHER_MAX_SLOTS];
    FreeSlotRun freeRun_;
    FreeSlotTicket tickets_[QOR_THREADCRUNCHER_MAX_SLOTS];

    friend class TThreadCruncher_Releaser;
};

// The one pool of the program; null until ThreadCruncher_Initialize.
extern TThreadCruncher* ThreadCruncher;
// Creates ThreadCruncher once; later calls do nothing.
void ThreadCruncher_Initialize();
// Kept for start-up's sake: threads need no library loading here.
bool Pthread_LoadLibrary();

// Splits count elements over the processors: perThread = count / processors
// (rounded down); below minimum per thread everything runs as one chunk.
// Throws (QORThrowException) when minimum < 1.
void GetThreadCountForArrayCalculations(int count, int minimum, int* threads, int* perThread);

// Fill and copy split over ThreadCruncher; they never wait for a busy pool but
// do the whole job on the calling thread instead, so pool jobs may call them.
// Lengths are size_t: maps past 2 GiB (a 30,000 x 30,000 RGB map) are copied whole.
void memset_Multithread(void* buf, int value, size_t len);
void memset_float_Multithread(float* buf, float value, size_t count);
void memcpy_Multithread(void* dst, const void* src, size_t len);
// Chunk jobs for ProcessArray (argument: TThreadCruncher_ArrayChunk*): a fill or
// copy of the chunk's Count bytes or floats.
void* memset_Multithread_ThreadFuncB(void* chunk);
void* memset_float_Multithread_ThreadFunc(void* chunk);
void* memcpy_Multithread_ThreadFuncB(void* chunk);

// Start-up self-test: fills 2,097,152 floats through the pool and checks every
// one; on a wrong value it names the index in a message and ends the program.
void TestMultithreadedFunctions();

// Base of one-thread background jobs. The job function receives the workhorse,
// polls WasCancelled() and calls FinishThread() at its end.
class TKSN_Workhorse {
public:
    TKSN_Workhorse() = default;
    // Cancels and joins a job that still runs.
    virtual ~TKSN_Workhorse();
    TKSN_Workhorse(const TKSN_Workhorse&) = delete;
    TKSN_Workhorse& operator=(const TKSN_Workhorse&) = delete;

    // Main-thread completion hook: clears completion pending; true unless cancelled.
    virtual bool OnWorkCompletion();

    void LaunchThread(TQORThreadFunc fn);
    // Cancels and joins a running job; subclasses call it before starting new work.
    void BeforeStart();
    void CancelThread(bool wait);
    bool WasCancelled();
    bool IsThreadActive();
    bool IsCompletionPending();
    void FinishThread();
    // Joins the job when it still owes its completion hook, then calls
    // OnWorkCompletion(). An exception that the job threw is raised here instead.
    void FinishWorkIfNecessary();
    void WaitForCompletion();
    void BeginCritical() { mutex_.lock(); }
    void EndCritical() { mutex_.unlock(); }

private:
    void Join();

    std::mutex mutex_;
    std::thread thread_;
    bool cancelled_ = false;
    bool active_ = false;
    bool completionPending_ = false;
    std::mutex joinMutex_;
    std::exception_ptr failure_;
};

// A mutex that remembers the thread holding it: Lock() on the owning thread
// takes nothing and answers false, and only a Lock() that answered true is
// followed by Unlock().
class TQORMutexWithOwner {
public:
    bool Lock();
    void Unlock();
    bool IsOwnerCurrentThread();

private:
    std::mutex mutex_;
    std::thread::id owner_{};
    std::mutex guard_;
};
