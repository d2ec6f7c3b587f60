// Render: one million triangles tiling a 1920 x 1080 RGBA target with a float
// depth buffer, untextured and textured from a 1024 x 1024 map, next to the
// floor of clearing the same two buffers with memset. Each triangle bench
// reports triangles per second and "x_memset", its time per frame over the
// memset's.
#include "KSN_RasterizeTriangle.h"
#include "QORLookupTables.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int Width = 1920, Height = 1080;
constexpr int Columns = 1000, Rows = 500;   // 500,000 cells, two triangles each
constexpr int MapSide = 1024;

struct TFrame {
    std::vector<uint8_t> Pixels = std::vector<uint8_t>(size_t(Width) * Height * 4, 0);
    std::vector<float> Depth = std::vector<float>(size_t(Width) * Height, 0.0f);
    std::vector<float> Grid;      // (Columns + 1) x (Rows + 1) corners: x, y, z
    std::vector<uint8_t> Map = std::vector<uint8_t>(size_t(MapSide) * MapSide * 3);

    TFrame()
    {
        uint32_t state = 12345u;   // fixed seed: the same depths every run
        auto next = [&] {
            state = state * 1664525u + 1013904223u;
            return float(state >> 8) / float(1u << 24);
        };
        Grid.resize(size_t(Columns + 1) * (Rows + 1) * 3);
        for (int j = 0; j <= Rows; ++j)
            for (int i = 0; i <= Columns; ++i) {
                float* p = &Grid[(size_t(j) * (Columns + 1) + i) * 3];
                p[0] = float(i) * Width / Columns;
                p[1] = float(j) * Height / Rows;
                p[2] = 0.1f + 0.8f * next();
            }
        for (uint8_t& b : Map) b = uint8_t(next() * 255.0f);
        CreateDivideBy255Table();
    }
    const float* Corner(int i, int j) const { return &Grid[(size_t(j) * (Columns + 1) + i) * 3]; }
};

TFrame& Frame()
{
    static TFrame frame;
    return frame;
}

double MemsetSeconds()
{
    static double seconds = [] {
        TFrame& f = Frame();
        double best = 1e30;
        for (int k = 0; k < 20; ++k) {
            auto start = std::chrono::steady_clock::now();
            std::memset(f.Pixels.data(), 0, f.Pixels.size());
            std::memset(f.Depth.data(), 0, f.Depth.size() * sizeof(float));
            benchmark::ClobberMemory();
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        return best;
    }();
    return seconds;
}

template <class Draw> void RunFrames(benchmark::State& state, Draw draw)
{
    TFrame& f = Frame();
    double floor = MemsetSeconds();
    double total = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (int j = 0; j < Rows; ++j)
            for (int i = 0; i < Columns; ++i) {
                const float *a = f.Corner(i, j), *b = f.Corner(i + 1, j), *c = f.Corner(i + 1, j + 1),
                            *d = f.Corner(i, j + 1);
                draw(a, b, c);
                draw(a, c, d);
            }
        benchmark::ClobberMemory();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * Columns * Rows * 2);
    state.counters["x_memset"] = (total / double(state.iterations())) / floor;
}

void BM_MemsetFloor(benchmark::State& state)
{
    TFrame& f = Frame();
    for (auto _ : state) {
        std::memset(f.Pixels.data(), 0, f.Pixels.size());
        std::memset(f.Depth.data(), 0, f.Depth.size() * sizeof(float));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemsetFloor)->Unit(benchmark::kMillisecond);

void BM_NoMap_NoAlpha(benchmark::State& state)
{
    TFrame& f = Frame();
    const float colour[4] = {0.8f, 0.6f, 0.4f, 1.0f};
    const float uv[2] = {0, 0};
    RunFrames(state, [&](const float* a, const float* b, const float* c) {
        KSN_RasterizeTriangle_NoMap_NoAlpha(a, b, c, uv, uv, uv, colour, colour, colour, Width, Width, Height,
                                            f.Pixels.data(), f.Pixels.data(), 4, f.Depth.data(), nullptr, 0, 0, 0,
                                            nullptr, nullptr, nullptr, nullptr, 0, 0, false);
    });
}
BENCHMARK(BM_NoMap_NoAlpha)->Unit(benchmark::kMillisecond);

void BM_Flat_Texture_Map(benchmark::State& state)
{
    TFrame& f = Frame();
    TKSN_RasterizeTriangle r;
    r.Width = r.RowLength = Width;
    r.Height = Height;
    r.DestPixels = r.SourcePixels = f.Pixels.data();
    r.BytesPerPixel = 4;
    r.DepthBuffer = f.Depth.data();
    r.ColorMap = f.Map.data();
    r.ColorMapWidth = r.ColorMapHeight = MapSide;
    r.ColorMapBytesPerPixel = 3;
    r.Light[0] = 0.9f;
    r.Light[1] = 0.7f;
    r.Light[2] = 0.8f;
    RunFrames(state, [&](const float* a, const float* b, const float* c) {
        r.AssignVertices3(a, b, c);
        for (int k = 0; k < 3; ++k) {
            r.UV[k][0] = r.Vertex[k][0] / Width;
            r.UV[k][1] = r.Vertex[k][1] / Height;
        }
        KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&r);
    });
}
BENCHMARK(BM_Flat_Texture_Map)->Unit(benchmark::kMillisecond);

} // namespace
