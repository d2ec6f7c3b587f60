// Bilinear and nearest-neighbour resampling of a 4096 x 4096 RGBA map.
#include "QORImage.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int SourceSide = 4096;

const std::vector<unsigned char>& SourceMap()
{
    static const std::vector<unsigned char> pixels = [] {
        std::vector<unsigned char> p(size_t(SourceSide) * SourceSide * 4);
        uint32_t state = 12345u; // fixed seed: the same map every run
        for (unsigned char& byte : p) {
            state = state * 1664525u + 1013904223u;
            byte = (unsigned char)(state >> 24);
        }
        return p;
    }();
    return pixels;
}

void BM_ResizeImage_RGBA4096(benchmark::State& state)
{
    const int side = int(state.range(0));
    const std::vector<unsigned char>& src = SourceMap();
    std::vector<unsigned char> dst(size_t(side) * size_t(side) * 4);
    for (auto _ : state) {
        ResizeImage(dst.data(), side, side, src.data(), SourceSide, SourceSide, 4);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * side * side);
}
BENCHMARK(BM_ResizeImage_RGBA4096)->Arg(2048)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_PixelResizeImage_RGBA4096(benchmark::State& state)
{
    const int side = int(state.range(0));
    const std::vector<unsigned char>& src = SourceMap();
    std::vector<unsigned char> dst(size_t(side) * size_t(side) * 4);
    for (auto _ : state) {
        PixelResizeImage(dst.data(), side, side, src.data(), SourceSide, SourceSide, 4);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * side * side);
}
BENCHMARK(BM_PixelResizeImage_RGBA4096)->Arg(2048)->Unit(benchmark::kMillisecond);

} // namespace
