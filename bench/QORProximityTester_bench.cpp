// Vertex welding on a mesh-sized point set, and a vertex-to-polygon table
// built with the two-pass lookup table.
#include "QORLookupTable.h"
#include "QORProximityTester.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

// A 320 x 320 grid of vertices (about 100k) in which every tenth vertex has a
// near-duplicate, as an imported mesh with split seams has.
std::vector<float> MakeWeldPoints()
{
    std::mt19937 random(42);
    std::uniform_real_distribution<float> jitter(-1e-5f, 1e-5f);
    std::vector<float> points;
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 320; ++x) {
            const float p[3] = {x * 0.01f, y * 0.01f, 0.001f * float((x * y) % 17)};
            points.insert(points.end(), p, p + 3);
            if ((x + y) % 10 == 0) {
                const float q[3] = {p[0] + jitter(random), p[1] + jitter(random), p[2]};
                points.insert(points.end(), q, q + 3);
            }
        }
    return points;
}

void BM_WeldSweep(benchmark::State& state)
{
    const std::vector<float> points = MakeWeldPoints();
    const int n = int(points.size() / 3);
    const float reference[3] = {-1.0f, -2.0f, -3.0f};
    for (auto _ : state) {
        TQORProximityTester tester(n, reference, 1e-4f, 3.0f);
        for (int i = 0; i < n; ++i) tester.SetPoint(i, &points[size_t(3 * i)]);
        tester.ProcessPoints();
        int pairs = 0;
        for (int k = 0; k < n; ++k)
            for (int j = k + 1; j < n && tester.AreRadiiIdentical(k, j); ++j)
                pairs += tester.ArePointsIdentical(k, j);
        benchmark::DoNotOptimize(pairs);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_WeldSweep)->Unit(benchmark::kMillisecond);

void BM_VertexPolygonTable(benchmark::State& state)
{
    // Quads of a 317 x 317 grid: about 100k polygons, four corners each.
    const int side = 317, vertices = (side + 1) * (side + 1);
    std::vector<int> corners;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int v = y * (side + 1) + x;
            corners.insert(corners.end(), {v, v + 1, v + side + 2, v + side + 1});
        }
    const int polygons = int(corners.size() / 4);
    TQORLookupTable table;
    for (auto _ : state) {
        table.PrepareFirstPass(vertices);
        for (int c : corners) table.CountItem(c);
        table.PrepareSecondPass();
        for (int p = 0; p < polygons; ++p)
            for (int k = 0; k < 4; ++k) table.AddItem(corners[size_t(4 * p + k)], p);
        table.Finalize();
        benchmark::DoNotOptimize(table[vertices / 2]);
    }
    state.SetItemsProcessed(state.iterations() * polygons);
}
BENCHMARK(BM_VertexPolygonTable)->Unit(benchmark::kMillisecond);

} // namespace
