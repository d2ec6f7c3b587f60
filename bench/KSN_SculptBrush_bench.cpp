// Sculpt dabs on a sphere of about 1,000,000 vertices, each listing about
// 1 % of them: whole dabs (vertex search, layer update, normals, octree
// bounds) with one slot and with every slot of the pool, the same steps
// timed one by one, and a floor pass over the same listed vertices (read the
// position and the normal, write position + w x normal) that no dab can beat.
#include "KSN_Mesh.h"
#include "KSN_SculptBrush.h"
#include "KsnBenchRatio.h"
#include "KsnTestSphere.h"
#include "KSN_Layer.h"
#include "QORThreads.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRings = 1000, kSegments = 1000;   // about 1,000,000 vertices

struct TScene {
    std::unique_ptr<TKSN_Mesh> Mesh;
    std::vector<float> Deltas;
    TKSN_LayerDefinition Layer;
    std::vector<float> Positions, VertexNormals, PolygonNormals;   // the undisturbed sphere

    // Back to the undisturbed sphere (not timed), so every run dabs the same surface.
    void Reset()
    {
        TKSN_Mesh& m = *Mesh;
        std::copy(Positions.begin(), Positions.end(), m.resolvedVertices);
        std::copy(VertexNormals.begin(), VertexNormals.end(), m.vertexNormals);
        std::copy(PolygonNormals.begin(), PolygonNormals.end(), m.polygonNormals);
        std::fill(Deltas.begin(), Deltas.end(), 0.0f);
    }
};

TScene& Scene()
{
    static TScene* scene = [] {
        auto* s = new TScene;
        const int vertices = kRings * kSegments;
        const int polygons = (kRings - 1) * kSegments;
        s->Mesh = std::make_unique<TKSN_Mesh>(nullptr);
        TKSN_Mesh& m = *s->Mesh;
        KsnFillSphere(m, kRings, kSegments);
        KsnFinishSphere(m);
        s->Deltas.assign(size_t(vertices) * 3, 0.0f);
        s->Positions.assign(m.resolvedVertices, m.resolvedVertices + 3 * size_t(vertices));
        s->VertexNormals.assign(m.vertexNormals, m.vertexNormals + 3 * size_t(vertices));
        s->PolygonNormals.assign(m.polygonNormals, m.polygonNormals + 3 * size_t(polygons));
        s->Layer.SetName("Bench");

        TKSN_ToolProjectHooks hooks;
        hooks.GetMeshes = [](std::vector<TKSN_Mesh*>& out) { out = {Scene().Mesh.get()}; };
        hooks.GetCurrentSculptLayer = []() -> TKSN_LayerDefinition* { return &Scene().Layer; };
        hooks.GetSculptLayerDeltas = [](TKSN_Mesh*, int, bool) { return Scene().Deltas.data(); };
        hooks.GetUserCullingMethod = []() { return 1; };   // back faces off
        KSN_SetToolProjectHooks(hooks);
        return s;
    }();
    return *scene;
}

// Brush size that lists about 1 % of the vertices (the front of the sphere
// under an orthographic view along z).
constexpr float kSize = 0.21f;

struct TSlots {
    explicit TSlots(bool all)
    {
        ThreadCruncher_Initialize();
        saved = ThreadCruncher;
        if (!all) ThreadCruncher = nullptr;
    }
    ~TSlots() { ThreadCruncher = saved; }
    TThreadCruncher* saved;
};

void DabPoint(int i, float& x, float& y)
{
    x = -0.5f + 0.01f * float(i % 100);
    y = 0.2f * std::sin(0.05f * float(i));
}

void BM_SculptDabs(benchmark::State& state)
{
    TScene& scene = Scene();
    TSlots slots(state.range(0) != 0);
    SelectionBrushSize = kSize;
    SelectionBrushStrength = 1.0f;
    TKSN_SculptBrush brush;
    brush.PostSmooth = 0.0f;
    int listed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene.Reset();
        state.ResumeTiming();
        for (int i = 0; i < 100; ++i) {
            float x, y;
            DabPoint(i, x, y);
            brush.PerformSculptIteration(scene.Mesh.get(), nullptr, x, y);
            listed += gAffectedVertexCount;
        }
    }
    state.counters["dabs/s"] = benchmark::Counter(double(state.iterations()) * 100.0, benchmark::Counter::kIsRate);
    state.counters["listed/dab"] = double(listed) / (double(state.iterations()) * 100.0);
}
// Wall time: the pool's slots work while the main thread waits.
BENCHMARK(BM_SculptDabs)->Arg(0)->Arg(1)->ArgName("allSlots")->UseRealTime()->Unit(benchmark::kMillisecond);

// The steps of one dab one by one, in microseconds per dab.
void BM_SculptDabSteps(benchmark::State& state)
{
    TScene& scene = Scene();
    TSlots slots(state.range(0) != 0);
    SelectionBrushSize = kSize;
    TKSN_SculptBrush brush;
    brush.PostSmooth = 0.0f;
    TKSN_Mesh* mesh = scene.Mesh.get();
    const bool fused = state.range(1) != 0;
    // fused:2 times the steps of the one hand-out a stroke's dab takes.
    const bool oneHandOut = state.range(1) == 2;
    TKSN_SculptBrush::TDabStepTimes steps;
    if (oneHandOut) brush.StepTimes = &steps;
    double t[4] = {0, 0, 0, 0};
    double tested = 0, leaves = 0;
    long dabs = 0;
    using clock = std::chrono::steady_clock;
    auto us = [](clock::time_point a, clock::time_point b) {
        return std::chrono::duration<double, std::micro>(b - a).count();
    };
    for (auto _ : state) {
        state.PauseTiming();
        scene.Reset();
        state.ResumeTiming();
        for (int i = 0; i < 100; ++i, ++dabs) {
            float x, y;
            DabPoint(i, x, y);
            if (oneHandOut) {
                TKSN_SculptDab dab;
                dab.Amplitude = 0.005f * mesh->boundsDiagonal;
                PrepareAffectedList(mesh);
                brush.SearchAndApplyDab(mesh, nullptr, x, y, scene.Deltas.data(), dab);
                for (TQOROctreeNode<int>* leaf : brush.NodeList) tested += leaf->GetVertexCount();
                leaves += double(brush.NodeList.size());
                continue;
            }
            const auto t0 = clock::now();
            PrepareAffectedList(mesh);
            brush.GenerateAffectedLists(mesh, nullptr, x, y);
            t[0] += us(t0, clock::now());
            for (TQOROctreeNode<int>* leaf : brush.NodeList) tested += leaf->GetVertexCount();
            leaves += double(brush.NodeList.size());
            const auto t1 = clock::now();
            TKSN_SculptDab dab;
            dab.Amplitude = 0.005f * mesh->boundsDiagonal;
            std::copy(brush.NormalSum, brush.NormalSum + 3, dab.Normal);
            if (fused) {
                // Layer, normals and bounds in the dab's one hand-out: one time for the three.
                brush.ApplyDabWithNormalsAndBounds(mesh, scene.Deltas.data(), dab);
                t[1] += us(t1, clock::now());
                continue;
            }
            KSN_ApplySculptDab(mesh, scene.Deltas.data(), gAffectedVertices, gAffectedVertexCount, dab);
            const auto t2 = clock::now();
            KSN_RecalculateNormalsAfterSculpt(mesh, gAffectedVertices, gAffectedVertexCount, gAffectedPolygons,
                                              gAffectedPolygonCount);
            const auto t3 = clock::now();
            brush.UpdateOctreeNodeBounds(mesh);
            const auto t4 = clock::now();
            t[1] += us(t1, t2);
            t[2] += us(t2, t3);
            t[3] += us(t3, t4);
        }
    }
    const double n = double(std::max(dabs, 1L));
    if (oneHandOut) {
        // Only dabs run on the pool are timed (one slot runs none there).
        const double m = double(std::max(steps.Dabs, 1L));
        state.counters["setup_us"] = steps.SetUp / m;
        state.counters["search_us"] = steps.Phase[0] / m;
        state.counters["layer_us"] = steps.Phase[1] / m;
        state.counters["polygons_us"] = steps.Phase[2] / m;
        state.counters["normals_us"] = steps.Phase[3] / m;
        state.counters["after_us"] = steps.Merge / m;
        // Per thread and dab: arrival after the hand-out, then each phase's
        // time at jobs (w) and the wait for the previous phase (q).
        const double joins = double(std::max(steps.ThreadJoins, 1L));
        state.counters["t_arrive_us"] = steps.ThreadArrive / joins;
        for (int p = 0; p < 4; ++p) {
            state.counters["t_w" + std::to_string(p) + "_us"] = steps.ThreadWork[p] / joins;
            if (p > 0) state.counters["t_q" + std::to_string(p) + "_us"] = steps.ThreadWait[p] / joins;
        }
        state.counters["tested"] = tested / n;
        state.counters["leaves"] = leaves / n;
        return;
    }
    state.counters["search_us"] = t[0] / n;
    // With fused:1 the layer column holds the layer, normals and bounds together.
    state.counters["layer_us"] = t[1] / n;
    if (!fused) {
        state.counters["normals_us"] = t[2] / n;
        state.counters["bounds_us"] = t[3] / n;
    }
    // Vertices in the leaves the search looked into, and those leaves.
    state.counters["tested"] = tested / n;
    state.counters["leaves"] = leaves / n;
}
BENCHMARK(BM_SculptDabSteps)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"allSlots", "fused"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The floor: the same listed vertices, read position and normal, write
// position + w x normal, per dab.
void BM_FloorPass(benchmark::State& state)
{
    TScene& scene = Scene();
    TSlots slots(true);
    SelectionBrushSize = kSize;
    TKSN_SculptBrush brush;
    TKSN_Mesh* mesh = scene.Mesh.get();
    scene.Reset();
    std::vector<std::vector<TKSN_AffectedVertex>> lists(100);
    double listed = 0;
    for (int i = 0; i < 100; ++i) {
        float x, y;
        DabPoint(i, x, y);
        PrepareAffectedList(mesh);
        brush.GenerateAffectedLists(mesh, nullptr, x, y);
        lists[size_t(i)].assign(gAffectedVertices, gAffectedVertices + gAffectedVertexCount);
        listed += gAffectedVertexCount;
    }
    float* R = mesh->resolvedVertices;
    const float* N = mesh->vertexNormals;
    for (auto _ : state) {
        for (const auto& list : lists)
            for (const TKSN_AffectedVertex& e : list)
                for (int i = 0; i < 3; ++i) R[3 * e.Vertex + i] += e.Weight * 1e-7f * N[3 * e.Vertex + i];
        benchmark::ClobberMemory();
    }
    state.counters["dabs/s"] = benchmark::Counter(double(state.iterations()) * 100.0, benchmark::Counter::kIsRate);
    state.counters["listed/dab"] = listed / 100.0;
}
BENCHMARK(BM_FloorPass)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

// Every run of 100 dabs against the floor pass over the same 100 lists.
int main(int argc, char** argv)
{
    return KsnBenchMainWithRatios(argc, argv, {{"BM_SculptDabs", "BM_FloorPass/real_time"}});
}
