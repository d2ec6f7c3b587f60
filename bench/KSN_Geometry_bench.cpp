// Mesh geometry benchmarks on a flat grid of quads (fixed layout, no randomness).
#include "KsnBenchGrid.h"
#include "QORPolyMesh.h"
#include "QORThreads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <thread>

namespace {

std::unique_ptr<TQORPolyMesh> MakeQuadGrid(int side) { return KsnMakeQuadGrid(side); }

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
