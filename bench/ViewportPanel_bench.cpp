// The viewport panel's hover read-out: OnPassive over a 1000 x 1000 quad grid
// filling the view
// (one million polygons), against the bare polygon pick at the same points in
// the same run. The read-out shares the warning update's pick, so it should
// cost little more than one pick ("x" in the ratio table below the results).
#include "KsnBenchRatio.h"

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_ViewportPanel.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORMaterial.h"

#include <benchmark/benchmark.h>
#include <wx/init.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr int Side = 1000;        // quads per side
constexpr int PanelSize = 800;    // pixels

struct TScene {
    TKSN_ViewportPanel* Panel = nullptr;
    TKSN_Viewport* View = nullptr;
    std::vector<std::pair<int, int>> Points;   // panel pixels over the grid

    TScene()
    {
        const std::filesystem::path home = std::filesystem::temp_directory_path() / "ksn_viewport_bench_home";
        std::filesystem::create_directories(home);
        ::setenv("HOME", home.c_str(), 1);
        // The application asks the window toolkit's base for its standard folders.
        static char program[] = "ViewportPanel_bench";
        static char* argv[] = {program, nullptr};
        static int argc = 1;
        static wxInitializer wx(argc, argv);
        // The program's data files (brush shapes, GUI images) from the source tree.
        OS.MainPath = (std::filesystem::path(__FILE__).parent_path().parent_path() / "").string();
        new TKSN_Application("Kestrune");
        Project = new TKSN_Project();

        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", "Grid");
        auto mesh = std::make_unique<TKSN_Mesh>(object);
        const int row = Side + 1;
        mesh->Create(row * row, row * row, row * row, Side * Side);
        for (int y = 0; y < row; ++y)
            for (int x = 0; x < row; ++x) {
                const int v = y * row + x;
                mesh->baseVertices[3 * v + 0] = -0.99f + 1.98f * float(x) / Side;
                mesh->baseVertices[3 * v + 1] = -0.99f + 1.98f * float(y) / Side;
                mesh->baseVertices[3 * v + 2] = 0.0f;
                mesh->tVertices[2 * v + 0] = float(x) / Side;
                mesh->tVertices[2 * v + 1] = float(y) / Side;
            }
        mesh->CopyBaseVerticesToResolvedVertices();
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x) {
                const int p = y * Side + x, a = y * row + x;
                const int corners[4] = {a, a + 1, a + row + 1, a + row};
                mesh->Polygons[p].SetCount(4);
                for (int k = 0; k < 4; ++k) mesh->Polygons[p].Points[k] = {corners[k], corners[k]};
                mesh->Polygons[p].Material = 0;
                mesh->PolygonFlags[p] = 0;
            }
        TQORMaterial* material = KSN_NewMaterial("Material");
        material->CacheChannels();
        mesh->Materials->AddItem(material);
        mesh->CalculateBounds();
        mesh->BuildVertexPolygons();
        mesh->RecalculateNormals(false);
        object->Mesh = std::move(mesh);
        Project->CurrentObjectID = object->GetID();

        // An identity view: world x and y are the viewport units, depth is z.
        View = App->viewports[0];
        View->Resize(0, 0, PanelSize, PanelSize);
        for (float* m : {View->CombinedMatrix, View->InverseCombinedMatrix, View->ProjectionMatrix,
                         View->ModelViewMatrix}) {
            std::fill(m, m + 16, 0.0f);
            for (int i = 0; i < 4; ++i) m[5 * i] = 1.0f;
        }
        View->ViewVector[0] = View->ViewVector[1] = 0.0f;
        View->ViewVector[2] = -1.0f;
        View->Aspect = 1.0f;

        Panel = new TKSN_ViewportPanel(nullptr);
        Panel->AssignViewport(View->GetID());
        Panel->SetSize(PanelSize, PanelSize);
        uint32_t state = 12345u;   // fixed seed: the same points every run
        for (int i = 0; i < 256; ++i) {
            state = state * 1664525u + 1013904223u;
            const int x = 10 + int((state >> 8) % (PanelSize - 20));
            state = state * 1664525u + 1013904223u;
            const int y = 10 + int((state >> 8) % (PanelSize - 20));
            Points.push_back({x, y});
        }
        // The first pick builds the octree; neither benchmark pays for it.
        TKSN_MeshRoot* root = nullptr;
        int polygon = 0;
        Project->GetClosestPolygonAndMesh(View, root, polygon, 0.0f, 0.0f, true, false);
    }
};

TScene& Scene()
{
    static TScene scene;
    return scene;
}

void BM_Pick(benchmark::State& state)
{
    TScene& s = Scene();
    size_t i = 0;
    for (auto _ : state) {
        const auto [x, y] = s.Points[i++ % s.Points.size()];
        float fx = 0, fy = 0;
        s.Panel->PixelToUnits(x, y, fx, fy);
        TKSN_MeshRoot* root = nullptr;
        int polygon = 0;
        benchmark::DoNotOptimize(Project->GetClosestPolygonAndMesh(s.View, root, polygon, fx, fy, true, false));
    }
}
BENCHMARK(BM_Pick)->Unit(benchmark::kMicrosecond);

void BM_OnPassive(benchmark::State& state)
{
    TScene& s = Scene();
    size_t i = 0, hits = 0;
    for (auto _ : state) {
        const auto [x, y] = s.Points[i++ % s.Points.size()];
        s.Panel->OnPassive(x, y);
        benchmark::DoNotOptimize(OnPassive_Closest_ip);
        hits += OnPassive_Closest_Mesh_ID != 0;
    }
    state.counters["hit"] = double(hits) / double(state.iterations());
}
BENCHMARK(BM_OnPassive)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    return KsnBenchMainWithRatios(argc, argv, {{"BM_OnPassive", "BM_Pick"}});
}
