// Push/pop throughput of the virtual-memory store: blocks the writer has not
// reached yet (queue only), and blocks written and read back through the
// temporary file (hard pause: the push writes before it returns).
#include "QORVirtualMemory.h"

#include "QORMemory.h"

#include <benchmark/benchmark.h>
#include <wx/init.h>

#include <cstring>
#include <memory>

namespace {

// The toolkit's base answers the temporary folder.
void InitializeToolkit()
{
    static auto init = std::make_unique<wxInitializer>();
}

void* MakeBlock(size_t size)
{
    void* p = QORalloc(size, false);
    std::memset(p, 0x37, size);
    return p;
}

void PushPop(benchmark::State& state, bool throughFile)
{
    InitializeToolkit();
    QORVirtualMemory_Initialize();
    const unsigned long size = (unsigned long)state.range(0);
    void* data = MakeBlock(size);
    {
        std::unique_ptr<TQORVirtualMemory_AutoPauseResume> pause;
        if (throughFile) pause = std::make_unique<TQORVirtualMemory_AutoPauseResume>(true);
        for (auto _ : state) {
            unsigned id = 0;
            QORVirtualMemory_Push(&data, size, &id, size);
            unsigned long got = 0;
            QORVirtualMemory_Pop(&data, &got, &id);
            benchmark::DoNotOptimize(data);
        }
    }
    QORfree(data, size);
    QORVirtualMemory_Cleanup();
    state.SetBytesProcessed(state.iterations() * int64_t(size));
}

void BM_PushPop_Queued(benchmark::State& state) { PushPop(state, false); }
void BM_PushPop_ThroughFile(benchmark::State& state) { PushPop(state, true); }

// Many blocks out at once: the writer drains the queue while the caller keeps pushing.
void BM_PushMany_PopAll(benchmark::State& state)
{
    InitializeToolkit();
    QORVirtualMemory_Initialize();
    constexpr int kBlocks = 64;
    const unsigned long size = (unsigned long)state.range(0);
    unsigned ids[kBlocks];
    for (auto _ : state) {
        for (unsigned& id : ids) {
            void* data = MakeBlock(size);
            QORVirtualMemory_Push(&data, size, &id, size);
        }
        for (unsigned& id : ids) {
            void* data = nullptr;
            unsigned long got = 0;
            QORVirtualMemory_Pop(&data, &got, &id);
            QORfree(data, got);
        }
    }
    QORVirtualMemory_Cleanup();
    state.SetBytesProcessed(state.iterations() * int64_t(size) * kBlocks);
}

} // namespace

BENCHMARK(BM_PushPop_Queued)->Arg(64 << 10)->Arg(4 << 20)->UseRealTime();
BENCHMARK(BM_PushPop_ThroughFile)->Arg(64 << 10)->Arg(4 << 20)->UseRealTime();
BENCHMARK(BM_PushMany_PopAll)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->UseRealTime();
