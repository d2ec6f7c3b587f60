// One stroke-engine iteration over a fixed footprint of about 2,000 vertices
// (45 x 45) on flat grids of 10k, 100k and 1M vertices, for the culling
// methods 0 (none), 1 (back-face) and 2 (smart). The derived tool does no
// work, so the figure is the engine's own: the octree scan or the flood fill,
// the weighing and the display-list invalidation. The octree of each grid is
// deep enough for a leaf to hold about 2,000 vertices or fewer; the goal is a
// 1M figure within 3x of the 10k one.
#include "KSN_AffectedLists.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_StrokeEngine.h"
#include "KSN_Viewport.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

class TBenchTool : public TKSN_Brush_V4 {
public:
    float Size = 0.1f;
    float GetSize() override { return Size; }
    float GetHardness() override { return 0.0f; }
};

struct TScene {
    std::unique_ptr<TKSN_Object> Object;
    TKSN_Viewport View;
    int Side = 0;   // vertices per grid edge
    float Step = 0.0f;
};

TScene* Scene = nullptr;
int Culling = 0;
std::vector<unsigned char> Shape(64 * 64, 255);

void MakeScene(TScene& s, int side)
{
    s.Side = side;
    s.Step = 2.0f / float(side - 1);
    s.Object = std::make_unique<TKSN_Object>();
    auto* mesh = new TKSN_Mesh(s.Object.get());
    s.Object->Mesh.reset(mesh);
    const int n = side - 1;
    mesh->Create(side * side, 0, side * side, n * n);
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            float* p = mesh->baseVertices + 3 * (size_t(j) * side + i);
            p[0] = -1.0f + s.Step * float(i);
            p[1] = -1.0f + s.Step * float(j);
            p[2] = 0.0f;
            mesh->VertexInfo[j * side + i].Flags = 0;
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            TQORPolygon& q = mesh->Polygons[size_t(j) * n + i];
            q.SetCount(4);
            const int a = j * side + i;
            const int corners[4] = {a, a + 1, a + side + 1, a + side};
            for (int k = 0; k < 4; ++k) q.Points[k] = {corners[k], -1};
            mesh->PolygonFlags[size_t(j) * n + i] = 0;
        }
    int depth = 2;
    while (double(side) * side / std::pow(4.0, depth) > 2000.0) ++depth;
    mesh->SetMaxOctreeDepth(depth);
    mesh->AfterRawBuild();
    mesh->CopyBaseVerticesToResolvedVertices();
    mesh->RecalculateNormals(false);
    mesh->BuildVertexPolygons();
    s.View.Resize(0, 0, 800, 800);
    const float min[3] = {-1, -1, -1}, max[3] = {1, 1, 1};
    s.View.SetupMatrix(min, max);
}

void InstallHooks()
{
    TKSN_ToolProjectHooks hooks;
    hooks.GetUserCullingMethod = []() { return Culling; };
    hooks.GetCullingMethod = []() { return Culling; };
    hooks.GetCurrentViewport = []() { return &Scene->View; };
    hooks.GetObjects = [](std::vector<TKSN_Object*>& out) { out.assign(1, Scene->Object.get()); };
    hooks.GetBrushShapeBitmaps = [](int& w, int& h, const unsigned char*& shape, const unsigned char*& simple) {
        w = h = 64;
        shape = simple = Shape.data();
    };
    // The grid is regular: the quad under a point follows from its coordinates.
    hooks.GetClosestPolygonAndMesh = [](TKSN_Viewport* view, TKSN_MeshRoot*& mesh, int& polygon, float x, float y,
                                        float* hit) {
        float w[3];
        const float screen[3] = {x, y, 0.0f};
        KSN_TransformPoint(view->InverseCombinedMatrix, screen, w);
        const int n = Scene->Side - 1;
        const int i = int((w[0] + 1.0f) / Scene->Step), j = int((w[1] + 1.0f) / Scene->Step);
        if (i < 0 || j < 0 || i >= n || j >= n) return false;
        mesh = Scene->Object->Mesh.get();
        polygon = j * n + i;
        const float origin[3] = {w[0], w[1], 0.0f};
        if (hit) KSN_TransformPoint(view->CombinedMatrix, origin, hit);
        return true;
    };
    KSN_SetToolProjectHooks(hooks);
}

void BM_StrokeIteration(benchmark::State& state)
{
    static const int sides[3] = {100, 317, 1000};
    TScene scene;
    MakeScene(scene, sides[state.range(0)]);
    Scene = &scene;
    Culling = int(state.range(1));
    InstallHooks();
    TBenchTool tool;
    // 22.5 steps each side of the centre: a 45 x 45 footprint.
    tool.Size = 22.5f * scene.Step * scene.View.CombinedMatrix[0];
    tool.OnMouse(nullptr, &scene.View, 0, 0, 0.013f, 0.017f);
    for (auto _ : state) tool.PerformIteration();
    state.counters["vertices"] = double(scene.Side) * scene.Side;
    state.counters["listed"] = double(gAffectedVertexCount);
    tool.OnMouse(nullptr, &scene.View, 0, 1, 0.013f, 0.017f);
    KSN_SetToolProjectHooks({});
    Scene = nullptr;
}

} // namespace

BENCHMARK(BM_StrokeIteration)
    ->ArgsProduct({{0, 1, 2}, {0, 1, 2}})
    ->ArgNames({"grid", "culling"})
    ->Unit(benchmark::kMillisecond);
