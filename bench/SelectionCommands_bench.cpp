// Selection commands on one object with a 1,000 x 1,000 quad grid (about a
// million vertices), each against a plain loop doing the same arithmetic on a
// float array in the same program: Select All, Invert, Harden, Grow and
// Normalize (whose reference is two loops). The commands run through the
// selection handler with the undo limit at 0, so what is measured is the
// weight work and the selection refresh, not the undo copy.
#include "KSN_Application.h"
#include "KSN_Commands_Selection.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "KsnBenchRatio.h"
#include "OS.h"
#include "QOREvents.h"

#include <benchmark/benchmark.h>
#include <wx/init.h>

#include <algorithm>
#include <vector>

namespace {

constexpr int kSide = 1000;
constexpr int kRow = kSide + 1;

TKSN_Object* Grid()
{
    static TKSN_Object* object = [] {
        // The application's standard folders come from the toolkit's base.
        static wxInitializer toolkit;
        OS.MainPath = std::string(KSN_SOURCE_DIR) + "/";
        new TKSN_Application("Kestrune");
        App->undoLimit = 0;
        Project = new TKSN_Project();
        TKSN_Object* o = Project->CreateNewObject();
        auto* mesh = new TKSN_Mesh(o);
        mesh->Create(kRow * kRow, 0, kRow * kRow, kSide * kSide);
        for (int y = 0; y < kRow; ++y)
            for (int x = 0; x < kRow; ++x) {
                float* p = mesh->baseVertices + 3 * (y * kRow + x);
                p[0] = float(x);
                p[1] = float(y);
                p[2] = 0.0f;
            }
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                TQORPolygon& q = mesh->Polygons[y * kSide + x];
                q.SetCount(4);
                q.Points[0].V = y * kRow + x;
                q.Points[1].V = y * kRow + x + 1;
                q.Points[2].V = (y + 1) * kRow + x + 1;
                q.Points[3].V = (y + 1) * kRow + x;
            }
        mesh->CopyBaseVerticesToResolvedVertices();
        mesh->AfterRawBuild();
        o->Mesh.reset(mesh);
        Project->SetCurrentObject(o);
        return o;
    }();
    return object;
}

// A seeded pattern of weights in 0..1, with about a third above 0.299.
void Seed(TKSN_Mesh* mesh)
{
    uint32_t state = 12345u;
    for (int v = 0; v < mesh->GetVCount(); ++v) {
        state = state * 1664525u + 1013904223u;
        mesh->VertexInfo[v].Select = float(state >> 8) / float(1u << 24) * 0.5f;
    }
    mesh->SelectedListsValid = false;
}

void RunCommand(benchmark::State& state, int command)
{
    TKSN_Mesh* mesh = Grid()->Mesh.get();
    for (auto _ : state) {
        state.PauseTiming();
        Seed(mesh);
        state.ResumeTiming();
        TQOREvent event(KestruneEvents_CommandCB, 0, command);
        benchmark::DoNotOptimize(Kestrune_Events_SelectionCB(&event));
    }
}

struct TArrays {
    std::vector<float> Weights;
    std::vector<uint32_t> Flags;
    TArrays() : Weights(size_t(kRow) * kRow), Flags(size_t(kRow) * kRow, 0) {}
    void Seed()
    {
        uint32_t state = 12345u;
        for (float& w : Weights) {
            state = state * 1664525u + 1013904223u;
            w = float(state >> 8) / float(1u << 24) * 0.5f;
        }
    }
};

template <class F>
void RunLoop(benchmark::State& state, F&& loop)
{
    static TArrays arrays;
    for (auto _ : state) {
        state.PauseTiming();
        arrays.Seed();
        state.ResumeTiming();
        loop(arrays);
        benchmark::DoNotOptimize(arrays.Weights.data());
    }
}

void BM_Command_SelectAll(benchmark::State& s) { RunCommand(s, 236); }
void BM_Command_Invert(benchmark::State& s) { RunCommand(s, 238); }
void BM_Command_Harden(benchmark::State& s) { RunCommand(s, 244); }
void BM_Command_Grow(benchmark::State& s) { RunCommand(s, 246); }
void BM_Command_Normalize(benchmark::State& s) { RunCommand(s, 245); }

void BM_Loop_SelectAll(benchmark::State& s)
{
    RunLoop(s, [](TArrays& a) {
        for (size_t i = 0; i < a.Weights.size(); ++i)
            if ((a.Flags[i] & 5) == 0) a.Weights[i] = 1.0f;
    });
}
void BM_Loop_Invert(benchmark::State& s)
{
    RunLoop(s, [](TArrays& a) {
        for (size_t i = 0; i < a.Weights.size(); ++i)
            if ((a.Flags[i] & 5) == 0) a.Weights[i] = std::clamp(1.0f - a.Weights[i], 0.0f, 1.0f);
    });
}
void BM_Loop_Harden(benchmark::State& s)
{
    RunLoop(s, [](TArrays& a) {
        for (size_t i = 0; i < a.Weights.size(); ++i)
            if ((a.Flags[i] & 5) == 0) a.Weights[i] = a.Weights[i] >= 0.299f ? 1.0f : 0.0f;
    });
}
void BM_Loop_Grow(benchmark::State& s)
{
    static std::vector<float> out(size_t(kRow) * kRow);
    RunLoop(s, [](TArrays& a) {
        for (int y = 0; y < kRow; ++y)
            for (int x = 0; x < kRow; ++x) {
                const size_t i = size_t(y) * kRow + x;
                float m = a.Weights[i];
                if (x > 0) m = std::max(m, a.Weights[i - 1]);
                if (x + 1 < kRow) m = std::max(m, a.Weights[i + 1]);
                if (y > 0) m = std::max(m, a.Weights[i - kRow]);
                if (y + 1 < kRow) m = std::max(m, a.Weights[i + kRow]);
                out[i] = m;
            }
        a.Weights.swap(out);
    });
}
void BM_Loop_Normalize(benchmark::State& s)
{
    RunLoop(s, [](TArrays& a) {
        float largest = 0.0f;
        for (size_t i = 0; i < a.Weights.size(); ++i)
            if ((a.Flags[i] & 5) == 0) largest = std::max(largest, a.Weights[i]);
        for (size_t i = 0; i < a.Weights.size(); ++i)
            if ((a.Flags[i] & 5) == 0) a.Weights[i] = std::clamp(a.Weights[i] / largest, 0.0f, 1.0f);
    });
}

BENCHMARK(BM_Command_SelectAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Loop_SelectAll)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Command_Invert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Loop_Invert)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Command_Harden)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Loop_Harden)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Command_Grow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Loop_Grow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Command_Normalize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Loop_Normalize)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return KsnBenchMainWithRatios(argc, argv,
                                  {{"BM_Command_SelectAll", "BM_Loop_SelectAll"},
                                   {"BM_Command_Invert", "BM_Loop_Invert"},
                                   {"BM_Command_Harden", "BM_Loop_Harden"},
                                   {"BM_Command_Grow", "BM_Loop_Grow"},
                                   {"BM_Command_Normalize", "BM_Loop_Normalize"}});
}
