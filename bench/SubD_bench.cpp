// One level of subdivision of a closed mesh of about 100,000 quads (a cube of
// 129 x 129 quads per face): TKSN_SubDMesh::Subdivide, which also builds the
// level's visible lists, normals, vertex-to-polygon table and octree and
// smooths it, next to OpenSubdiv's uniform refinement of the same quads
// (topology from the descriptor, one level, positions interpolated). The
// ratio of the two times is printed at the end.
#include "KSN_SubDMesh.h"
#include "QORThreads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#ifdef KSN_HAVE_OPENSUBDIV
#include <opensubdiv/far/primvarRefiner.h>
#include <opensubdiv/far/topologyDescriptor.h>
#endif

namespace {

constexpr int kSide = 129;   // quads per cube edge

struct TCube {
    std::vector<float> Positions;   // 3 per vertex
    std::vector<int> Quads;         // 4 vertex indices per quad, outward winding
    std::vector<int> QuadUVs;       // 4 texture-vertex indices per quad
    std::vector<float> UVs;         // 2 per texture vertex, one grid per face
};

const TCube& Cube()
{
    static const TCube cube = [] {
        TCube c;
        const int n = kSide, row = n + 1;
        std::vector<int> lattice(size_t(row) * row * row, -1);
        auto vertex = [&](int x, int y, int z) {
            int& slot = lattice[(size_t(x) * row + size_t(y)) * row + size_t(z)];
            if (slot < 0) {
                slot = int(c.Positions.size() / 3);
                c.Positions.insert(c.Positions.end(), {float(x) / n - 0.5f, float(y) / n - 0.5f, float(z) / n - 0.5f});
            }
            return slot;
        };
        for (int d = 0; d < 3; ++d)
            for (int s : {0, n}) {
                const int u = (d + 1) % 3, v = (d + 2) % 3;
                const int firstUV = int(c.UVs.size() / 2);
                for (int b = 0; b <= n; ++b)
                    for (int a = 0; a <= n; ++a) c.UVs.insert(c.UVs.end(), {float(a) / n, float(b) / n});
                auto at = [&](int a, int b) {
                    int p[3];
                    p[d] = s;
                    p[u] = a;
                    p[v] = b;
                    return vertex(p[0], p[1], p[2]);
                };
                for (int b = 0; b < n; ++b)
                    for (int a = 0; a < n; ++a) {
                        int q[4][2] = {{a, b}, {a + 1, b}, {a + 1, b + 1}, {a, b + 1}};
                        if (s == 0) std::swap(q[1], q[3]);
                        for (auto& corner : q) {
                            c.Quads.push_back(at(corner[0], corner[1]));
                            c.QuadUVs.push_back(firstUV + corner[1] * row + corner[0]);
                        }
                    }
            }
        return c;
    }();
    return cube;
}

// Level 0 of the cube, built directly (no editable mesh needed for the subdivider).
std::unique_ptr<TKSN_SubDMesh> LevelZero()
{
    const TCube& c = Cube();
    auto level = std::make_unique<TKSN_SubDMesh>();
    const int vertices = int(c.Positions.size() / 3), quads = int(c.Quads.size() / 4);
    level->SetVertexCount(vertices);
    level->SetTVertexCount(int(c.UVs.size() / 2));
    level->SetPolygonCount(quads);
    std::copy(c.Positions.begin(), c.Positions.end(), level->baseVertices);
    std::copy(c.UVs.begin(), c.UVs.end(), level->tVertices);
    for (int q = 0; q < quads; ++q) {
        level->Polygons[q] = {c.Quads[4 * size_t(q)], c.Quads[4 * size_t(q) + 1], c.Quads[4 * size_t(q) + 2],
                              c.Quads[4 * size_t(q) + 3], q};
        for (int k = 0; k < 4; ++k) level->PolygonUVs[4 * q + k] = c.QuadUVs[4 * size_t(q) + size_t(k)];
    }
    level->AfterRawBuild();
    level->SetLeanAndMean(true);
    return level;
}

double KsnSeconds = 0.0, KsnOneThreadSeconds = 0.0, OsdSeconds = 0.0;

void BM_KsnSubdivideOneLevel(benchmark::State& state)
{
    ThreadCruncher_Initialize();
    // state.range(0) == 1: the whole level on one thread (a pool of one slot),
    // which a loaded machine disturbs least and compares like for like with
    // the one-thread reference.
    const bool oneThread = state.range(0) == 1;
    TThreadCruncher one(1);
    TThreadCruncher* saved = ThreadCruncher;
    if (oneThread) ThreadCruncher = &one;
    auto parent = LevelZero();
    int64_t made = 0;
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        TKSN_SubDMesh level;
        level.SetLeanAndMean(true);
        level.Subdivide(parent.get());
        made = level.GetPCount();
        benchmark::DoNotOptimize(level.baseVertices);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    (oneThread ? KsnOneThreadSeconds : KsnSeconds) = total / double(state.iterations());
    state.counters["quads"] = double(parent->GetPCount());
    state.counters["children"] = double(made);
    parent.reset();
    ThreadCruncher = saved;
}
BENCHMARK(BM_KsnSubdivideOneLevel)->ArgName("one_thread")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef KSN_HAVE_OPENSUBDIV
struct TOsdVertex {
    float P[3];
    void Clear() { P[0] = P[1] = P[2] = 0.0f; }
    void AddWithWeight(const TOsdVertex& src, float weight)
    {
        for (int i = 0; i < 3; ++i) P[i] += weight * src.P[i];
    }
};

void BM_OpenSubdivRefineOneLevel(benchmark::State& state)
{
    using namespace OpenSubdiv;
    const TCube& c = Cube();
    const int vertices = int(c.Positions.size() / 3), quads = int(c.Quads.size() / 4);
    std::vector<int> perFace(size_t(quads), 4);
    int64_t made = 0;
    double total = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        Far::TopologyDescriptor desc;
        desc.numVertices = vertices;
        desc.numFaces = quads;
        desc.numVertsPerFace = perFace.data();
        desc.vertIndicesPerFace = c.Quads.data();
        Sdc::Options options;
        options.SetVtxBoundaryInterpolation(Sdc::Options::VTX_BOUNDARY_EDGE_ONLY);
        using Factory = Far::TopologyRefinerFactory<Far::TopologyDescriptor>;
        Far::TopologyRefiner* refiner = Factory::Create(desc, Factory::Options(Sdc::SCHEME_CATMARK, options));
        refiner->RefineUniform(Far::TopologyRefiner::UniformOptions(1));
        std::vector<TOsdVertex> points(size_t(refiner->GetNumVerticesTotal()));
        for (int v = 0; v < vertices; ++v)
            for (int i = 0; i < 3; ++i) points[size_t(v)].P[i] = c.Positions[3 * size_t(v) + size_t(i)];
        TOsdVertex* src = points.data();
        TOsdVertex* dst = points.data() + vertices;
        Far::PrimvarRefiner(*refiner).Interpolate(1, src, dst);
        made = refiner->GetLevel(1).GetNumFaces();
        benchmark::DoNotOptimize(points.data());
        delete refiner;
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    OsdSeconds = total / double(state.iterations());
    state.counters["children"] = double(made);
}
BENCHMARK(BM_OpenSubdivRefineOneLevel)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (KsnSeconds > 0.0 && OsdSeconds > 0.0)
        std::printf("Subdivide / OpenSubdiv (mean of the last run): %.3f ms / %.3f ms = %.2fx\n", KsnSeconds * 1e3,
                    OsdSeconds * 1e3, KsnSeconds / OsdSeconds);
    if (KsnOneThreadSeconds > 0.0 && OsdSeconds > 0.0)
        std::printf("Subdivide on one thread / OpenSubdiv: %.3f ms / %.3f ms = %.2fx\n", KsnOneThreadSeconds * 1e3,
                    OsdSeconds * 1e3, KsnOneThreadSeconds / OsdSeconds);
    benchmark::Shutdown();
    return 0;
}
