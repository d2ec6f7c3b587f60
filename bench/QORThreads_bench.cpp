// Multithreaded fill and copy over the worker pool against the plain library
// calls on the same 64 MB buffers (pages touched before timing).
#include "QORThreads.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kBytes = 64 << 20;

struct Buffers {
    std::vector<unsigned char> Source = std::vector<unsigned char>(kBytes, 1);
    std::vector<unsigned char> Destination = std::vector<unsigned char>(kBytes, 2);
};

Buffers& Shared()
{
    static Buffers buffers;
    ThreadCruncher_Initialize();
    return buffers;
}

void BM_memset_Multithread(benchmark::State& state)
{
    Buffers& b = Shared();
    for (auto _ : state) {
        memset_Multithread(b.Destination.data(), 0x5A, kBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kBytes));
    state.counters["slots"] = ThreadCruncher->GetSlotCount();
}

void BM_memset(benchmark::State& state)
{
    Buffers& b = Shared();
    for (auto _ : state) {
        std::memset(b.Destination.data(), 0x5A, kBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kBytes));
}

void BM_memcpy_Multithread(benchmark::State& state)
{
    Buffers& b = Shared();
    for (auto _ : state) {
        memcpy_Multithread(b.Destination.data(), b.Source.data(), kBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kBytes));
    state.counters["slots"] = ThreadCruncher->GetSlotCount();
}

void BM_memcpy(benchmark::State& state)
{
    Buffers& b = Shared();
    for (auto _ : state) {
        std::memcpy(b.Destination.data(), b.Source.data(), kBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(kBytes));
}

// Cost of handing out and collecting one job on every slot.
void* NoWork(void*) { return nullptr; }

void BM_ProcessArray_Overhead(benchmark::State& state)
{
    Shared();
    std::vector<int> values(4096);
    for (auto _ : state) {
        TThreadCruncher_Releaser releaser;
        releaser.Lock(ThreadCruncher);
        ThreadCruncher->ProcessArray(values.data(), nullptr, 4, int(values.size()), NoWork, nullptr, 0, 0.0f);
    }
}

} // namespace

BENCHMARK(BM_memset_Multithread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_memset)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_memcpy_Multithread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_memcpy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProcessArray_Overhead)->Unit(benchmark::kMicrosecond)->UseRealTime();
