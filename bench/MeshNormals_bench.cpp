// The whole-mesh normal pass (polygons, then vertices) on a grid of
// 1000 x 1000 quads, on a pool of 8 slots against a pool of 1. The bytes are
// the same either way; the ratio printed is the time of 1 slot over 8, the
// speed-up (8 would be ideal).
#include "KsnBenchRatio.h"
#include "QORPolyMesh.h"
#include "QORThreads.h"

#include <memory>

namespace {

constexpr int GridSide = 1000;

std::unique_ptr<TQORPolyMesh> MakeQuadGrid()
{
    auto mesh = std::make_unique<TQORPolyMesh>();
    const int row = GridSide + 1;
    mesh->Create(row * row, 0, row * row, GridSide * GridSide);
    for (int y = 0; y < row; ++y)
        for (int x = 0; x < row; ++x) {
            const int v = y * row + x;
            mesh->baseVertices[3 * v + 0] = float(x);
            mesh->baseVertices[3 * v + 1] = float(y);
            mesh->baseVertices[3 * v + 2] = float((x * 7 + y * 3) % 5) * 0.1f;   // not flat
        }
    mesh->CopyBaseVerticesToResolvedVertices();
    for (int y = 0; y < GridSide; ++y)
        for (int x = 0; x < GridSide; ++x) {
            TQORPolygon& p = mesh->Polygons[y * GridSide + x];
            p.SetCount(4);
            const int corners[4] = {y * row + x, y * row + x + 1, (y + 1) * row + x + 1, (y + 1) * row + x};
            for (int k = 0; k < 4; ++k) p.Points[k].V = corners[k];
        }
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
