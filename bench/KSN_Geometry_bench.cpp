// Mesh geometry benchmarks on a flat grid of quads (fixed layout, no randomness).
#include "QORPolyMesh.h"
#include "QORThreads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <thread>

namespace {

// A side × side grid of quads in the xy-plane with one texture vertex per
// vertex, filled the way a loader fills a mesh (arrays first, AfterRawBuild
// is left to the caller).
std::unique_ptr<TQORPolyMesh> MakeQuadGrid(int side)
{
    auto mesh = std::make_unique<TQORPolyMesh>();
    const int row = side + 1;
    mesh->Create(row * row, row * row, row * row, side * side);
    for (int y = 0; y < row; ++y)
        for (int x = 0; x < row; ++x) {
            int v = y * row + x;
            mesh->baseVertices[3 * v + 0] = float(x);
            mesh->baseVertices[3 * v + 1] = float(y);
            mesh->baseVertices[3 * v + 2] = 0.0f;
            mesh->tVertices[2 * v + 0] = float(x) / float(side);
            mesh->tVertices[2 * v + 1] = float(y) / float(side);
        }
    mesh->CopyBaseVerticesToResolvedVertices();
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            TQORPolygon& p = mesh->Polygons[y * side + x];
            p.SetCount(4);
            const int corners[4] = {y * row + x, y * row + x + 1, (y + 1) * row + x + 1, (y + 1) * row + x};
            for (int k = 0; k < 4; ++k) {
                p.Points[k].V = corners[k];
                p.Points[k].VT = corners[k];
            }
        }
    return mesh;
}

// AfterRawBuild on a million quads: tables, open edges, normals, bounds, edges.
void BM_AfterRawBuild_MillionQuads(benchmark::State& state)
{
    ThreadCruncher_Initialize();
    for (auto _ : state) {
        state.PauseTiming();
        auto mesh = MakeQuadGrid(1000);
        state.ResumeTiming();
        mesh->AfterRawBuild();
        benchmark::DoNotOptimize(mesh->EdgeCount);
        state.PauseTiming();
        mesh.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AfterRawBuild_MillionQuads)->Unit(benchmark::kMillisecond)->Iterations(3);

// BuildOctree on a million quads at the polygon mesh's depth (4): filing,
// slicing the visible lists, pruning and fitting the boxes.
void BM_BuildOctree_MillionQuads(benchmark::State& state)
{
    ThreadCruncher_Initialize();
    auto mesh = MakeQuadGrid(1000);
    mesh->AfterRawBuild();
    for (auto _ : state) {
        mesh->BuildOctree();
        benchmark::DoNotOptimize(mesh->leafList.size());
    }
}
BENCHMARK(BM_BuildOctree_MillionQuads)->Unit(benchmark::kMillisecond)->Iterations(5);

// The whole-mesh normal pass (polygons, then vertices) on a million quads,
// on a pool of 1 slot and of one slot per processor; the results are the
// same bytes either way, only the time differs.
void BM_RecalculateNormals_MillionQuads(benchmark::State& state)
{
    auto mesh = MakeQuadGrid(1000);
    mesh->BuildVertexPolygons();
    TThreadCruncher pool(int(state.range(0)));
    TThreadCruncher* saved = ThreadCruncher;
    ThreadCruncher = &pool;
    for (auto _ : state) {
        mesh->RecalculateNormals(false);
        benchmark::DoNotOptimize(mesh->vertexNormals[2]);
    }
    ThreadCruncher = saved;
    state.SetItemsProcessed(state.iterations() * int64_t(mesh->polygonCount + mesh->vertexCount));
}
BENCHMARK(BM_RecalculateNormals_MillionQuads)
    ->Arg(1)
    ->Arg(int(std::max(1u, std::thread::hardware_concurrency())))
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
