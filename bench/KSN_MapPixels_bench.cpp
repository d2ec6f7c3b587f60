// The map commands' pixel work (normalise, invert, grey, fold alpha) on a
// 2048 x 2048 RGB map, each against a memcpy of the same pixel bytes in the
// same run; the table at the end gives each job's time over the copy's.
#include "KSN_MapPixelOps.h"
#include "KsnBenchRatio.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr size_t Side = 2048;
constexpr size_t Pixels = Side * Side;

std::vector<unsigned char> Noise(size_t bytes, uint32_t seed)
{
    std::vector<unsigned char> out(bytes);
    uint32_t state = seed;   // fixed seed: the same map every run
    for (unsigned char& b : out) {
        state = state * 1664525u + 1013904223u;
        b = (unsigned char)(state >> 24);
    }
    return out;
}

const std::vector<unsigned char>& SourceRGB()
{
    static const std::vector<unsigned char> rgb = [] {
        std::vector<unsigned char> p = Noise(3 * Pixels, 12345u);
        // Levels 20..220, so that normalising has something to stretch.
        for (unsigned char& b : p) b = (unsigned char)(20 + b * 200 / 255);
        return p;
    }();
    return rgb;
}

const std::vector<unsigned char>& Mask()
{
    static const std::vector<unsigned char> mask = Noise(Pixels, 777u);
    return mask;
}

void Finish(benchmark::State& state)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(3 * Pixels));
}

void BM_MapPixels_Memcpy(benchmark::State& state)
{
    const std::vector<unsigned char>& src = SourceRGB();
    std::vector<unsigned char> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    Finish(state);
}
BENCHMARK(BM_MapPixels_Memcpy)->Unit(benchmark::kMillisecond);

// Each job works in place on its own copy; repeated passes do the same work.
template <class F> void Run(benchmark::State& state, F job)
{
    std::vector<unsigned char> rgb = SourceRGB();
    for (auto _ : state) {
        job(rgb.data());
        benchmark::DoNotOptimize(rgb.data());
        benchmark::ClobberMemory();
    }
    Finish(state);
}

void BM_MapPixels_Normalise(benchmark::State& state)
{
    Run(state, [](unsigned char* rgb) { KSN_NormaliseMapPixels(rgb, nullptr, Pixels); });
}
BENCHMARK(BM_MapPixels_Normalise)->Unit(benchmark::kMillisecond);

void BM_MapPixels_Invert(benchmark::State& state)
{
    Run(state, [](unsigned char* rgb) { KSN_InvertMapPixels(rgb, Pixels); });
}
BENCHMARK(BM_MapPixels_Invert)->Unit(benchmark::kMillisecond);

void BM_MapPixels_Grey(benchmark::State& state)
{
    Run(state, [](unsigned char* rgb) { KSN_GreyMapPixels(rgb, Pixels); });
}
BENCHMARK(BM_MapPixels_Grey)->Unit(benchmark::kMillisecond);

void BM_MapPixels_FoldAlpha(benchmark::State& state)
{
    const int base[3] = {255, 128, 0};
    const unsigned char* mask = Mask().data();
    Run(state, [&](unsigned char* rgb) { KSN_FoldAlphaMapPixels(rgb, mask, Pixels, base); });
}
BENCHMARK(BM_MapPixels_FoldAlpha)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return KsnBenchMainWithRatios(argc, argv, {{"BM_MapPixels_", "BM_MapPixels_Memcpy"}});
}
