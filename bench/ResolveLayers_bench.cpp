// ResolveLayers of a 4096 x 4096 map with four visible layers of one blend
// type, against an 8-thread copy of one 4096 x 4096 RGBA map (64 MiB) on the
// same pool, started once. Four layers move about 2.5 such copies of memory,
// so about 2.5x is the floor of the ratio.
//   masked: every layer map has its own noise mask (the composite goes over
//           the checkerboard); unmasked: the layer maps have no mask of their
//           own (the bottom one is opaque, the others get opaque masks).
#include "KsnBenchNoise.h"
#include "KSN_MapLayer.h"
#include "KsnBenchRatio.h"
#include "QORLookupTables.h"
#include "QORMaterialMapSource.h"
#include "QORThreads.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int MapSide = 4096;
constexpr int PoolThreads = 8;

std::vector<unsigned char> NoiseBytes(size_t count, uint32_t seed) { return KsnNoiseBytes(count, seed); }

// One pool of 8 slots for every benchmark, so no run pays for starting threads.
TThreadCruncher& Pool()
{
    static TThreadCruncher pool(PoolThreads);
    return pool;
}

struct TResolveFixture {
    TKSN_MapLayerGroup Group;
    TKSN_MapLayer* Layers[4] = {};
    std::unique_ptr<TQORMaterialMapSource> Map = std::make_unique<TQORMaterialMapSource>();

    explicit TResolveFixture(bool masked)
    {
        CreateDivideBy255Table();
        Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
        Create_Saturation_Up_Table(0.0f);
        float white[3] = {1, 1, 1};
        Map->Initialize(MapSide, MapSide, white);
        Map->SetLayerTopGroup(&Group);
        for (int i = 0; i < 4; ++i) {
            Layers[i] = static_cast<TKSN_MapLayer*>(Group.CreateNewLayer());
            TQORMaterialMapSource* layerMap = Map->GetMapLayer(Layers[i], true);
            const std::vector<unsigned char> rgb = NoiseBytes(layerMap->GetPixelBytes(), 10u + uint32_t(i));
            std::memcpy(layerMap->GetPixels(), rgb.data(), rgb.size());
            if (masked) {
                const std::vector<unsigned char> mask =
                    NoiseBytes(layerMap->GetAlphaMask().GetPixelBytes(), 20u + uint32_t(i));
                std::memcpy(layerMap->GetAlphaMaskPixels(), mask.data(), mask.size());
            } else {
                layerMap->GetAlphaMask().SetDimensions(0, 0, 1);   // no mask of its own
            }
        }
    }
};

TResolveFixture& Fixture(bool masked)
{
    static TResolveFixture maskedFixture(true), plainFixture(false);
    return masked ? maskedFixture : plainFixture;
}

// state.range(0): blend type (0 Normal, 3 Multiply, 11 Hue); (1): masked; (2): pool slots.
void BM_ResolveLayers(benchmark::State& state)
{
    TResolveFixture& f = Fixture(state.range(1) != 0);
    for (TKSN_MapLayer* layer : f.Layers) layer->SetCurrentBlendType(int(state.range(0)));
    TThreadCruncher one(1);
    TThreadCruncher* pool = state.range(2) == 1 ? &one : &Pool();
    TThreadCruncher* saved = ThreadCruncher;
    ThreadCruncher = pool;
    f.Map->InvalidateResolvedMap();
    f.Map->ResolveLayers(false);   // the layer masks are made once, not in the timing
    for (auto _ : state) {
        f.Map->InvalidateResolvedMap();
        f.Map->ResolveLayers(false);
        benchmark::ClobberMemory();
    }
    ThreadCruncher = saved;
    state.SetBytesProcessed(int64_t(state.iterations()) * MapSide * MapSide * 4);
}
BENCHMARK(BM_ResolveLayers)
    ->ArgNames({"blend", "masked", "threads"})
    ->ArgsProduct({{0, 3}, {1, 0}, {1, PoolThreads}})
    ->Args({11, 1, 1})
    ->Args({11, 1, PoolThreads})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The reference: one 4096 x 4096 RGBA map copied by the same 8-slot pool.
void BM_Memcpy_8Threads(benchmark::State& state)
{
    const size_t bytes = size_t(MapSide) * MapSide * 4;
    std::vector<unsigned char> from = NoiseBytes(bytes, 5u), to(bytes, 0);
    TThreadCruncher* saved = ThreadCruncher;
    ThreadCruncher = &Pool();
    for (auto _ : state) {
        memcpy_Multithread(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    ThreadCruncher = saved;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_Memcpy_8Threads)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return KsnBenchMainWithRatios(argc, argv, {{"BM_ResolveLayers", "BM_Memcpy_8Threads/real_time"}});
}
