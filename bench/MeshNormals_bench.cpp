// The whole-mesh normal pass (polygons, then vertices) on a grid of
// 1000 x 1000 quads, on a pool of 8 slots against a pool of 1. The bytes are
// the same either way; the ratio printed is the time of 1 slot over 8, the
// speed-up (8 would be ideal).
#include "KsnBenchGrid.h"
#include "KsnBenchRatio.h"
#include "QORPolyMesh.h"
#include "QORThreads.h"

#include <memory>

namespace {

constexpr int GridSide = 1000;

std::unique_ptr<TQORPolyMesh> MakeQuadGrid()
{
    auto mesh = KsnMakeQuadGrid(GridSide, false, true);
    mesh->BuildVertexPolygons();
    return mesh;
}

// state.range(0): pool slots, started once before the timing.
void BM_MeshNormals(benchmark::State& state)
{
    static std::unique_ptr<TQORPolyMesh> mesh = MakeQuadGrid();
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
BENCHMARK(BM_MeshNormals)->ArgName("threads")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return KsnBenchMainWithRatios(argc, argv, {{"BM_MeshNormals/threads:1", "BM_MeshNormals/threads:8/real_time"}});
}
