// Materials: raw compositing of one 4096 x 4096 map layer (RGB plus mask) into
// a resolved image, the work of the layer resolution per visible layer; and
// the whole resolution of a layered map on the worker pool.
#include "KsnBenchNoise.h"
#include "KSN_LayerBlend.h"
#include "KSN_MapLayer.h"
#include "QORLookupTables.h"
#include "QORMaterialMapSource.h"
#include "QORThreads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

// [SECTION] Layer blend kernels

constexpr int MapSide = 4096;

std::vector<unsigned char> NoiseBytes(size_t count, uint32_t seed) { return KsnNoiseBytes(count, seed); }

struct TBlendImages {
    std::vector<unsigned char> Resolved = NoiseBytes(size_t(MapSide) * MapSide * 3, 1u);
    std::vector<unsigned char> ResolvedAlpha = NoiseBytes(size_t(MapSide) * MapSide, 2u);
    std::vector<unsigned char> Layer = NoiseBytes(size_t(MapSide) * MapSide * 3, 3u);
    std::vector<unsigned char> Mask = NoiseBytes(size_t(MapSide) * MapSide, 4u);
};

TBlendImages& Images()
{
    static TBlendImages images = [] {
        CreateDivideBy255Table();
        Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
        Create_Saturation_Up_Table(0.0f);
        return TBlendImages{};
    }();
    return images;
}

// state.range(0): 1 blends through the layer's mask, 0 without one at full strength.
void BlendWholeLayer(benchmark::State& state, TKSN_MixMapLayersFunction kernel)
{
    TBlendImages& im = Images();
    TKSN_MapLayer layer;
    unsigned char* mask = state.range(0) ? im.Mask.data() : nullptr;
    for (auto _ : state) {
        kernel(&layer, im.Resolved.data(), im.ResolvedAlpha.data(), im.Layer.data(), mask, 0, 0, MapSide, MapSide,
               MapSide, MapSide);
        benchmark::DoNotOptimize(im.Resolved.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * MapSide * MapSide);
}

void BM_MixMapLayers_Normal_4096(benchmark::State& state) { BlendWholeLayer(state, MixMapLayers_Normal); }
void BM_MixMapLayers_Multiply_4096(benchmark::State& state) { BlendWholeLayer(state, MixMapLayers_Multiply); }
void BM_MixMapLayers_Hue_4096(benchmark::State& state) { BlendWholeLayer(state, MixMapLayers_Hue); }
BENCHMARK(BM_MixMapLayers_Normal_4096)->ArgName("masked")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixMapLayers_Multiply_4096)->ArgName("masked")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MixMapLayers_Hue_4096)->ArgName("masked")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

// [SECTION] Layer resolution
//
// A whole ResolveLayers of a 4096 x 4096 map with four visible masked layers,
// all of one blend type, on a pool of 1 or of every processor, next to a
// plain memcpy of the bytes the composite writes (RGB and alpha).
namespace {

struct TResolveFixture {
    TKSN_MapLayerGroup Group;
    TKSN_MapLayer* Layers[4] = {};
    std::unique_ptr<TQORMaterialMapSource> Map = std::make_unique<TQORMaterialMapSource>();

    TResolveFixture()
    {
        Images();   // the lookup tables
        float white[3] = {1, 1, 1};
        Map->Initialize(MapSide, MapSide, white);
        Map->SetLayerTopGroup(&Group);
        for (int i = 0; i < 4; ++i) {
            Layers[i] = static_cast<TKSN_MapLayer*>(Group.CreateNewLayer());
            TQORMaterialMapSource* layerMap = Map->GetMapLayer(Layers[i], true);
            const std::vector<unsigned char> rgb = NoiseBytes(layerMap->GetPixelBytes(), 10u + uint32_t(i));
            const std::vector<unsigned char> mask = NoiseBytes(layerMap->GetAlphaMask().GetPixelBytes(), 20u + uint32_t(i));
            std::memcpy(layerMap->GetPixels(), rgb.data(), rgb.size());
            std::memcpy(layerMap->GetAlphaMaskPixels(), mask.data(), mask.size());
        }
    }
};

TResolveFixture& ResolveFixture()
{
    static TResolveFixture fixture;
    return fixture;
}

int AllProcessors()
{
    return std::clamp(int(std::thread::hardware_concurrency()), 1, QOR_THREADCRUNCHER_MAX_SLOTS);
}

// state.range(0): blend type of the four layers; state.range(1): pool slots (0 = every processor).
void BM_ResolveLayers_4096(benchmark::State& state)
{
    TResolveFixture& f = ResolveFixture();
    for (TKSN_MapLayer* layer : f.Layers) layer->SetCurrentBlendType(int(state.range(0)));
    TThreadCruncher pool(state.range(1) > 0 ? int(state.range(1)) : AllProcessors());
    TThreadCruncher* saved = ThreadCruncher;
    ThreadCruncher = &pool;
    for (auto _ : state) {
        f.Map->InvalidateResolvedMap();
        f.Map->ResolveLayers(false);
        benchmark::ClobberMemory();
    }
    ThreadCruncher = saved;
    state.counters["slots"] = pool.GetSlotCount();
    state.SetBytesProcessed(int64_t(state.iterations()) * MapSide * MapSide * 4);
}
BENCHMARK(BM_ResolveLayers_4096)
    ->ArgNames({"blend", "slots"})
    ->ArgsProduct({{0, 3, 11}, {1, 0}})   // Normal, Multiply, Hue
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Memcpy_ResolvedBytes_4096(benchmark::State& state)
{
    const size_t bytes = size_t(MapSide) * MapSide * 4;
    std::vector<unsigned char> from = NoiseBytes(bytes, 5u), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_Memcpy_ResolvedBytes_4096)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
