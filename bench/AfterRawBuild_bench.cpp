// AfterRawBuild on a grid of 1000 x 1000 quads (a million polygons, with a
// texture vertex per vertex) against OpenSubdiv's topology construction of
// the same quads (Far::TopologyRefinerFactory<TopologyDescriptor>::Create:
// edges, face-edge, edge-face and vertex-face relations). Both start in fresh
// memory every iteration: a new mesh, a new refiner.
#include "KsnBenchGrid.h"
#include "KsnBenchRatio.h"
#include "QORPolyMesh.h"
#include "QORThreads.h"

#include <memory>
#include <vector>

#if KSN_HAVE_OPENSUBDIV
#include <opensubdiv/far/topologyDescriptor.h>
#include <opensubdiv/far/topologyRefinerFactory.h>
#endif

namespace {

constexpr int GridSide = 1000;

void QuadCorners(int x, int y, int* corners) { KsnQuadCorners(GridSide, x, y, corners); }

// Filled the way a loader fills a mesh: arrays first, AfterRawBuild left to the caller.
std::unique_ptr<TQORPolyMesh> MakeQuadGrid() { return KsnMakeQuadGrid(GridSide); }

// state.range(0): pool slots (the program's pool has one per processor).
void BM_AfterRawBuild(benchmark::State& state)
{
    TThreadCruncher pool(int(state.range(0)));
    TThreadCruncher* saved = ThreadCruncher;
    ThreadCruncher = &pool;
    for (auto _ : state) {
        state.PauseTiming();
        auto mesh = MakeQuadGrid();
        state.ResumeTiming();
        mesh->AfterRawBuild();
        benchmark::DoNotOptimize(mesh->EdgeCount);
        state.PauseTiming();
        mesh.reset();
        state.ResumeTiming();
    }
    ThreadCruncher = saved;
}
BENCHMARK(BM_AfterRawBuild)->ArgName("threads")->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->Iterations(3);

#if KSN_HAVE_OPENSUBDIV
void BM_OpenSubdiv_TopologyRefiner(benchmark::State& state)
{
    using namespace OpenSubdiv;
    std::vector<int> counts(size_t(GridSide) * GridSide, 4), indices(size_t(GridSide) * GridSide * 4);
    for (int y = 0; y < GridSide; ++y)
        for (int x = 0; x < GridSide; ++x) QuadCorners(x, y, &indices[(size_t(y) * GridSide + size_t(x)) * 4]);
    Far::TopologyDescriptor descriptor;
    descriptor.numVertices = (GridSide + 1) * (GridSide + 1);
    descriptor.numFaces = GridSide * GridSide;
    descriptor.numVertsPerFace = counts.data();
    descriptor.vertIndicesPerFace = indices.data();
    Sdc::Options sdc;
    sdc.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_ONLY);
    using TFactory = Far::TopologyRefinerFactory<Far::TopologyDescriptor>;
    for (auto _ : state) {
        Far::TopologyRefiner* refiner = TFactory::Create(descriptor, TFactory::Options(Sdc::SCHEME_CATMARK, sdc));
        benchmark::DoNotOptimize(refiner);
        state.PauseTiming();
        delete refiner;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenSubdiv_TopologyRefiner)->Unit(benchmark::kMillisecond)->Iterations(3);
#endif

} // namespace

int main(int argc, char** argv)
{
    return KsnBenchMainWithRatios(argc, argv, {{"BM_AfterRawBuild", "BM_OpenSubdiv_TopologyRefiner/iterations:3"}});
}
