// The background polygon culler on real meshes and the project's viewports:
// grid sizes, occlusion, the culling methods, symmetry, cancellation and the
// set-up signal. Runs wait through the workhorse and the set-up signal.
#include "KSN_PolygonCuller.h"
#include "KSN_ProjectEditTestSupport.h"
#include "QOROctree.h"
#include "../Scene/KSN_SubDTestSupport.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

using namespace ksn_edit_test;

constexpr uint32_t kToolAllowsSymmetry = 0x10;

class CullerFixture : public ProjectEditFixture {
protected:
    TKSN_ViewportOctreeServices SavedServices;
    std::unique_ptr<TKSN_PolygonCuller> Culler;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        // Clip space = world space: every viewport looks down +z with the identity matrix.
        SavedServices = KSN_GetViewportOctreeServices();
        KSN_SetViewportOctreeServices({});
        for (TKSN_Viewport* viewport : App->viewports) {
            std::fill(viewport->CombinedMatrix, viewport->CombinedMatrix + 16, 0.0f);
            for (int i = 0; i < 4; ++i) viewport->CombinedMatrix[5 * i] = 1.0f;
            viewport->ViewVector[0] = viewport->ViewVector[1] = 0.0f;
            viewport->ViewVector[2] = -1.0f;   // the viewer sits at -z, looking towards +z
        }
        Culler = std::make_unique<TKSN_PolygonCuller>();
    }
    void TearDown() override
    {
        Culler.reset();
        KSN_SetViewportOctreeServices(SavedServices);
        ProjectEditFixture::TearDown();
    }
    // A square of half-size h at depth z (clip space), facing the viewer.
    static std::unique_ptr<TKSN_Mesh> Square(float h, float z, float dx = 0.0f)
    {
        return SubDTest::MakeMesh({{dx - h, -h, z}, {dx - h, h, z}, {dx + h, h, z}, {dx + h, -h, z}}, {},
                                  {{{0, 1, 2, 3}, {}}});
    }
    void Run(int method)
    {
        Project->EffectiveCullingMethod = method;
        Culler->Start();
        Culler->WaitForInitialSetup();
        Culler->WaitForCompletion();
    }
    static std::vector<float> Values(TKSN_Mesh* mesh)
    {
        return std::vector<float>(mesh->VertexCulledValues, mesh->VertexCulledValues + mesh->GetVCount());
    }
};

TEST_F(CullerFixture, GridSideGrowsWithTheSquareRootOfThePolygonCount)
{
    struct Case {
        int polygons, side;
    };
    const Case cases[] = {{0, 10}, {30, 20}, {250000, 2000}, {300000, 2000}};
    TKSN_Object* object = MakeObject("Counts", 3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.polygons);
        object->Mesh->Create(3, 0, 3, c.polygons);
        TKSN_PolygonCuller culler;
        culler.PreparePolygonsForCulling();
        EXPECT_EQ(culler.GetGridSize(), c.side);
        EXPECT_EQ(culler.CellLists.size(), size_t(c.side) * size_t(c.side));
    }
}

TEST_F(CullerFixture, PerVertexRunHidesWhatLiesBehindAnotherPolygon)
{
    TKSN_Mesh* front = AddMesh("Front", Square(0.5f, 0.0f));
    // Behind the front square: its corner (0.5, 0.0) sits exactly on the front's
    // edge, another corner well inside, one outside to the right.
    TKSN_Mesh* back = AddMesh("Back", SubDTest::MakeMesh({{0.5f, 0.0f, 0.5f}, {0.0f, 0.2f, 0.5f}, {0.9f, 0.2f, 0.5f}},
                                                         {}, {{{0, 1, 2}, {}}}));
    // A triangle lying in the front square's plane.
    TKSN_Mesh* level = AddMesh("Level", SubDTest::MakeMesh({{0.1f, 0.1f, 0.0f}, {0.2f, 0.1f, 0.0f}, {0.1f, 0.2f, 0.0f}},
                                                           {}, {{{0, 1, 2}, {}}}));
    Run(3);
    EXPECT_EQ(Values(front), (std::vector<float>{1, 1, 1, 1})) << "never hidden by its own polygon";
    EXPECT_EQ(Values(back), (std::vector<float>{0, 0, 1}));
    EXPECT_EQ(Values(level), (std::vector<float>{1, 1, 1})) << "level with the plane is not behind it";
    EXPECT_TRUE(Culler->IsReady());
    Culler->FinishWorkIfNecessary();
    EXPECT_EQ(Culler->GetGridSize(), 0) << "the grid is released with the run";
}

TEST_F(CullerFixture, UntrustedAndTrustedTestsOutsideTheView)
{
    AddMesh("Front", Square(0.5f, 0.0f));
    Project->EffectiveCullingMethod = 3;
    Culler->Start();
    ASSERT_TRUE(Culler->WaitForInitialSetup());
    std::scoped_lock lock(Culler->VertexMutex);
    const float outside[3] = {1.2f, 0.0f, 0.5f};
    EXPECT_TRUE(Culler->IsPointObscured(nullptr, -1, outside, false));
    EXPECT_FALSE(Culler->IsPointObscured(nullptr, -1, outside, true)) << "outside the grid, trusted";
    const float behind[3] = {0.0f, 0.0f, 0.5f}, before[3] = {0.0f, 0.0f, -0.5f};
    EXPECT_TRUE(Culler->IsPointObscured(nullptr, -1, behind, false));
    EXPECT_FALSE(Culler->IsPointObscured(nullptr, -1, before, false));
}

TEST_F(CullerFixture, MethodsZeroTwoAndBackFace)
{
    TKSN_Mesh* facing = AddMesh("Facing", Square(0.5f, 0.0f));
    // Wound the other way: its normal points away from the viewer.
    TKSN_Mesh* away = AddMesh("Away", SubDTest::MakeMesh({{-0.5f, -0.5f, 0.3f}, {0.5f, -0.5f, 0.3f}, {0.5f, 0.5f, 0.3f}},
                                                         {}, {{{0, 1, 2}, {}}}));
    std::fill(facing->VertexCulledValues, facing->VertexCulledValues + 4, 0.7f);
    Run(2);
    EXPECT_EQ(Values(facing), (std::vector<float>(4, 0.7f))) << "method 2 leaves the values";
    EXPECT_TRUE(Culler->IsReady());
    Run(0);
    EXPECT_EQ(Values(facing), (std::vector<float>(4, 0.0f)));
    EXPECT_EQ(Values(away), (std::vector<float>(3, 0.0f)));
    EXPECT_TRUE(Culler->IsReady());
    Run(1);
    EXPECT_EQ(Values(facing), (std::vector<float>(4, 1.0f)));
    EXPECT_EQ(Values(away), (std::vector<float>(3, 0.0f)));
    Culler->FinishWorkIfNecessary();
}

TEST_F(CullerFixture, WithSymmetryMirrorPartnersGetEqualValues)
{
    // Left column visible, right column behind a blocker: with symmetry only
    // the left vertices are computed and their partners copy them.
    TKSN_Mesh* mesh = AddMesh("Sym", SubDTest::MakeMesh({{-0.4f, -0.2f, 0.5f}, {-0.4f, 0.2f, 0.5f}, {0.4f, 0.2f, 0.5f},
                                                         {0.4f, -0.2f, 0.5f}},
                                                        {}, {{{0, 1, 2, 3}, {}}}));
    AddMesh("Blocker", Square(0.3f, 0.0f, 0.4f));
    mesh->GetOwnerObject()->SymmetryEnabled = true;
    static int32_t partnerA[4] = {0, 1, 1, 0};   // the right vertices are images of the left ones
    static int32_t partnerB[4] = {3, 2, 2, 3};   // the left ones' mirror partners
    mesh->activeVertexPartnerA = partnerA;
    mesh->activeVertexPartnerB = partnerB;
    auto* tool = MakeTool<TKSN_Tool>("Mirror", nullptr, kToolAllowsSymmetry);
    App->currentTool = tool;
    Project->UseSymmetry = true;

    Run(3);
    EXPECT_EQ(Values(mesh), (std::vector<float>{1, 1, 1, 1}));

    Project->UseSymmetry = false;
    Run(3);
    EXPECT_EQ(Values(mesh), (std::vector<float>{1, 1, 0, 0})) << "computed one by one, the right side is hidden";
    mesh->activeVertexPartnerA = mesh->activeVertexPartnerB = nullptr;
}

void BumpValidationCounter(TKSN_PolygonCuller* culler)
{
    std::scoped_lock lock(culler->Viewport->ValidationMutex);
    ++culler->Viewport->ValidationCounter;
}
void SwitchCurrentViewport(TKSN_PolygonCuller*) { Project->CurrentViewportIndex = 1; }

TEST_F(CullerFixture, AViewChangeWhileTheGridIsBuiltCancelsTheRun)
{
    TKSN_Mesh* mesh = AddMesh("Front", Square(0.5f, 0.0f));
    for (auto change : {BumpValidationCounter, SwitchCurrentViewport}) {
        Project->CurrentViewportIndex = 0;
        Culler->OnCountingPass = change;
        Project->EffectiveCullingMethod = 3;
        Culler->Start();
        EXPECT_FALSE(Culler->WaitForInitialSetup());
        Culler->WaitForCompletion();
        EXPECT_TRUE(Culler->WasCancelled());
        EXPECT_EQ(Values(mesh), (std::vector<float>(4, -1.0f))) << "nothing computed";
    }
    Culler->OnCountingPass = nullptr;
    Project->CurrentViewportIndex = 0;
    Run(3);
    EXPECT_FALSE(Culler->WasCancelled());
    EXPECT_EQ(Values(mesh), (std::vector<float>(4, 1.0f)));
}

TEST_F(CullerFixture, WaitingRightAfterStartAlwaysFindsACompleteGrid)
{
    AddMesh("Front", Square(0.5f, 0.0f));
    AddMesh("Back", Square(0.3f, 0.5f, 0.1f));
    Project->EffectiveCullingMethod = 4;
    size_t expected = 0;
    for (int run = 0; run < 1000; ++run) {
        Culler->Start();
        ASSERT_TRUE(Culler->WaitForInitialSetup()) << "run " << run;
        const size_t counted = size_t(std::accumulate(Culler->CellCounts.begin(), Culler->CellCounts.end(), 0));
        ASSERT_EQ(counted, Culler->Entries.size()) << "run " << run;
        ASSERT_FALSE(Culler->Entries.empty());
        for (size_t e = 0; e < Culler->Entries.size(); e += 2) ASSERT_NE(Culler->Entries[e], 0) << "run " << run;
        if (run == 0) expected = counted;
        ASSERT_EQ(counted, expected) << "run " << run;
    }
    Culler->WaitForCompletion();
}

TEST_F(CullerFixture, TheProjectOwnsItsCullerGridsAndMakesCameras)
{
    ASSERT_NE(Project->PolygonCuller, nullptr);
    EXPECT_NE(Project->Grids, nullptr);
    std::unique_ptr<TKSN_Camera> camera(Project->CreateCamera());
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(camera->FOV, 30.0f);
    EXPECT_EQ(Project->Objects->items->Count(), 0) << "the caller adds the camera";

    AddMesh("Front", Square(0.5f, 0.0f));
    Project->EffectiveCullingMethod = 3;
    Project->PolygonCuller->Start();
    // Discarding octrees cancels the culling first; the thread has stopped on return.
    Project->CancelVertexCulling();
    EXPECT_TRUE(Project->PolygonCuller->WasCancelled());
    Project->PolygonCuller->Start();   // deleted with the project while it may still run
}

} // namespace
