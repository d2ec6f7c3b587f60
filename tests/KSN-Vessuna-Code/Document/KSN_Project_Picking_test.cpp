// Picking, the click check, the vertex-culling front end over the real
// culler thread, the octree filters and the affected-objects stencil. The
// viewports get an orthographic identity view: world x and y are the
// normalised viewport coordinates and depth is z.
#include "KSN_DepthBuffer.h"
#include "KSN_PolygonCuller.h"
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_RenderSetup.h"
#include "KSN_SubDMesh.h"
#include "KSN_SubDMesh_Bake.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QOROctree.h"
#include "QORString.h"
#include "../Scene/KSN_SubDTestSupport.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

using namespace ksn_edit_test;

std::vector<std::string> Panel;

void SetIdentityView(TKSN_Viewport* viewport)
{
    for (float* m : {viewport->CombinedMatrix, viewport->ProjectionMatrix, viewport->ModelViewMatrix}) {
        std::fill(m, m + 16, 0.0f);
        for (int i = 0; i < 4; ++i) m[5 * i] = 1.0f;
    }
    viewport->ViewVector[0] = viewport->ViewVector[1] = 0.0f;
    viewport->ViewVector[2] = -1.0f;
    viewport->Aspect = 1.0f;
}

// An nx x ny grid of quads spanning x0..x1, y0..y1 at depth z.
std::unique_ptr<TKSN_Mesh> Grid(int nx, int ny, float x0, float x1, float y0, float y1, float z)
{
    std::vector<std::array<float, 3>> points;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i) points.push_back({x0 + (x1 - x0) * i / nx, y0 + (y1 - y0) * j / ny, z});
    std::vector<SubDTest::TPoly> quads;
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) {
            const int a = j * (nx + 1) + i;
            quads.push_back({{a, a + 1, a + nx + 2, a + nx + 1}, {}});
        }
    return SubDTest::MakeMesh(points, {}, quads);
}

class PickingFixture : public ProjectEditFixture {
protected:
    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        for (TKSN_Viewport* viewport : App->viewports) SetIdentityView(viewport);
        Panel.clear();
        OS.AssignOnPrintMessage([](char* text) { Panel.push_back(text); });
    }
    void TearDown() override
    {
        if (Project) Project->CancelVertexCulling();
        OS.AssignOnPrintMessage(nullptr);
        ProjectEditFixture::TearDown();
    }
    TKSN_Viewport* View() { return App->viewports[0]; }
    // A square of half-size h centred at (dx, dy), depth z; counter-clockwise
    // on screen (front-facing) unless flipped.
    static std::unique_ptr<TKSN_Mesh> Square(float h, float z, float dx = 0.0f, float dy = 0.0f, bool flipped = false,
                                             bool uvs = true)
    {
        std::vector<std::array<float, 3>> p = {{dx - h, dy - h, z}, {dx + h, dy - h, z}, {dx + h, dy + h, z},
                                               {dx - h, dy + h, z}};
        if (flipped) std::swap(p[1], p[3]);
        std::vector<std::array<float, 2>> t;
        if (uvs) t = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        return SubDTest::MakeMesh(p, t, {{{0, 1, 2, 3}, {}}});
    }
    struct Hit {
        bool Found;
        TKSN_MeshRoot* Mesh;
        int Polygon;
        float Point[3];
    };
    Hit Pick(float x, float y, bool ownMesh = true, bool owner = true)
    {
        Hit h{false, reinterpret_cast<TKSN_MeshRoot*>(1), 99, {9, 9, 9}};
        h.Found = Project->GetClosestPolygonAndMesh(View(), h.Mesh, h.Polygon, x, y, ownMesh, owner, h.Point);
        return h;
    }
};

TEST_F(PickingFixture, PickFindsTheFrontFacingPolygonUnderThePoint)
{
    TKSN_Mesh* front = AddMesh("Front", Square(0.2f, 0.0f));
    AddMesh("Back", Square(0.2f, 0.0f, 0.6f, 0.0f, true));
    AddMesh("Flat", SubDTest::MakeMesh({{-0.6f, 0.5f, 0}, {-0.4f, 0.5f, 0}, {-0.5f, 0.5f, 0}}, {}, {{{0, 1, 2}, {}}}));
    AddMesh("TwoCorners", SubDTest::MakeMesh({{-0.6f, -0.5f, 0}, {-0.4f, -0.5f, 0}}, {}, {{{0, 1}, {}}}));

    Hit centre = Pick(0.0f, 0.0f);
    EXPECT_TRUE(centre.Found);
    EXPECT_EQ(centre.Mesh, front);
    EXPECT_EQ(centre.Polygon, 0);
    EXPECT_NEAR(centre.Point[0], 0.0f, 1e-6f);
    EXPECT_NEAR(centre.Point[1], 0.0f, 1e-6f);

    Hit diagonal = Pick(0.1f, 0.1f);   // on the edge shared by the quad's two triangles
    EXPECT_TRUE(diagonal.Found);
    EXPECT_EQ(diagonal.Polygon, 0);

    struct Miss {
        const char* Name;
        float X, Y;
    };
    for (const Miss& miss : {Miss{"empty space", -0.8f, 0.8f}, Miss{"back face", 0.6f, 0.0f},
                             Miss{"zero-area triangle", -0.5f, 0.5f}, Miss{"two corners", -0.5f, -0.5f}}) {
        SCOPED_TRACE(miss.Name);
        Hit h = Pick(miss.X, miss.Y);
        EXPECT_FALSE(h.Found);
        EXPECT_EQ(h.Mesh, nullptr);
        EXPECT_EQ(h.Polygon, -1);
    }
}

TEST_F(PickingFixture, TheNearerObjectWinsAndAtEqualDepthTheFirst)
{
    TKSN_Mesh* far = AddMesh("Far", Square(0.3f, 0.5f));
    TKSN_Mesh* near = AddMesh("Near", Square(0.3f, 0.2f));
    TKSN_Mesh* level = AddMesh("Level", Square(0.3f, 0.2f));
    Hit h = Pick(0.05f, 0.05f);
    ASSERT_TRUE(h.Found);
    EXPECT_EQ(h.Mesh, near) << "nearer than " << far->GetOwnerObject()->GetName() << ", met before "
                            << level->GetOwnerObject()->GetName();
    EXPECT_NEAR(h.Point[2], 0.2f, 1e-6f);
}

TEST_F(PickingFixture, APointJustOutsideATriangleHitsWithinTheTolerance)
{
    // Small enough that the pick box still touches it where the tolerance ends.
    TKSN_Mesh* tri = AddMesh("Tri", SubDTest::MakeMesh({{0, 0, 0}, {0.05f, 0, 0}, {0, 0.05f, 0}}, {}, {{{0, 1, 2}, {}}}));
    // Weight of corner 1 is -0.006 (inside the -0.01 tolerance): clamped to 0,
    // so corner 2 keeps 1 - 0.606 = 0.394.
    Hit h = Pick(-0.0003f, 0.02f);
    ASSERT_TRUE(h.Found);
    EXPECT_EQ(h.Mesh, tri);
    EXPECT_NEAR(h.Point[0], 0.0f, 1e-6f) << "the out point uses the clamped weights";
    EXPECT_NEAR(h.Point[1], 0.394f * 0.05f, 1e-5f);
    EXPECT_FALSE(Pick(-0.0009f, 0.02f).Found) << "weight -0.018 is beyond the tolerance";
}

TEST_F(PickingFixture, OnASubdividedMeshTheOwnerFlagReportsTheBaseMeshAndPolygon)
{
    auto base = SubDTest::MakeMesh({{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0},
                                    {0.9f, -0.5f, 0}, {0.9f, 0.5f, 0}},
                                   {{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}, {1, 0}, {1, 1}},
                                   {{{0, 1, 2, 3}, {}}, {{1, 4, 5, 2}, {}}});
    base->SubDDynamic = false;
    base->TargetMaxSubDPolygonCount = 32;
    TKSN_Mesh* mesh = AddMesh("Skin", std::move(base));
    CreateSubDsForMesh(mesh, mesh->GetTargetMaxSubDLevel());
    TKSN_SubDMesh* top = mesh->GetSubD_For_Editing();
    ASSERT_NE(top, nullptr);
    ASSERT_GT(top->GetPCount(), 2);

    Hit owned = Pick(0.75f, 0.2f, false, true);
    ASSERT_TRUE(owned.Found);
    EXPECT_EQ(owned.Mesh, mesh);
    EXPECT_EQ(owned.Polygon, 1);

    Hit raw = Pick(0.75f, 0.2f, false, false);
    ASSERT_TRUE(raw.Found);
    EXPECT_EQ(raw.Mesh, top);
    EXPECT_EQ(top->GetOwnerIP(raw.Polygon), 1);
}

TEST_F(PickingFixture, TheClickCheckExplainsOneThingAndFlashesThePanel)
{
    TKSN_Mesh* noUV = AddMesh("Bare", Square(0.2f, 0.0f, -0.5f, 0.0f, false, false));
    TKSN_Mesh* painted = AddMesh("Painted", Square(0.2f, 0.0f, 0.5f, 0.0f));
    TQORMaterial* material = painted->Materials->GetItemAs(0);
    ASSERT_NE(material, nullptr);
    std::snprintf(View()->materialChannelName, sizeof(View()->materialChannelName), "%s", "bump");
    TQORMaterialChannel* bump = material->GetChannelFromName("Bump");
    ASSERT_NE(bump, nullptr);
    ASSERT_EQ(bump->GetMapID(), 0u);

    auto check = [&](float x, bool maps, bool selection, bool symmetry) {
        Panel.clear();
        Log.clear();
        OS.LastMessageText.clear();
        Project->CheckObjectAtClickedPoint(View(), x, 0.0f, maps, selection, symmetry);
        return Panel;
    };
    const std::string noUVText = QORFormat(Lang.GetText(1190), "Bare");
    // The UV note stops the check even with a selection and the passive side.
    noUV->VertexInfo[0].Select = 1.0f;
    static int32_t passive[4] = {0, 0, 3, 3};
    noUV->activeVertexPartnerA = passive;
    EXPECT_EQ(check(-0.5f, true, true, true), std::vector<std::string>{noUVText});
    EXPECT_EQ(Log, std::vector<std::string>{"push 412"});
    noUV->activeVertexPartnerA = nullptr;
    noUV->VertexInfo[0].Select = 0.0f;
    noUV->OnSelectionChanged();

    EXPECT_EQ(check(0.5f, true, true, true),
              std::vector<std::string>{QORFormat(Lang.GetText(1257), "Painted", bump->GetName(), material->GetName())});
    EXPECT_EQ(Log, std::vector<std::string>{"push 412"});

    static int32_t partner[4] = {0, 1, 1, 0};   // corners 2 and 3 take their values from 1 and 0
    painted->activeVertexPartnerA = partner;
    EXPECT_EQ(check(0.5f, false, true, true), std::vector<std::string>{std::string(Lang.GetText(1192))});
    painted->GetOwnerObject()->SymmetryEnabled = false;
    EXPECT_TRUE(check(0.5f, false, true, true).empty()) << "symmetry off on the object";
    EXPECT_TRUE(Log.empty());
    painted->activeVertexPartnerA = nullptr;

    painted->VertexInfo[2].Select = 1.0f;
    painted->OnSelectionChanged();
    EXPECT_EQ(check(0.5f, false, true, false), std::vector<std::string>{std::string(Lang.GetText(1247))});
    EXPECT_EQ(Log, std::vector<std::string>{"push 412"});
    EXPECT_TRUE(check(0.5f, false, false, false).empty());
    EXPECT_TRUE(check(0.0f, true, true, true).empty()) << "a click on nothing says nothing";
}

// ---- vertex culling ---------------------------------------------------------

TEST_F(PickingFixture, MethodsZeroAndTwoNeedNoCuller)
{
    TKSN_Mesh* mesh = AddMesh("Front", Square(0.2f, 0.0f));
    std::fill(mesh->VertexCulledValues, mesh->VertexCulledValues + 4, 0.0f);
    for (int method : {0, 2}) {
        SCOPED_TRACE(method);
        Project->EffectiveCullingMethod = method;
        Project->StartVertexCullingIfNecessary(true);
        Project->WaitForVertexCullingToBecomeReady();
        EXPECT_FALSE(App->vertexCullingValid) << "no culler started";
        EXPECT_EQ(Project->GetVertexCulledValue(mesh, 0), 1.0f);
        EXPECT_FALSE(Project->IsVertexCulled(mesh, View(), 0));
    }
}

TEST_F(PickingFixture, PerPolygonCullingHidesAVertexWithOneObscuredCornerAmongItsPolygons)
{
    // Two quads sharing vertices 1 and 2; the right quad's far corners lie behind a blocker.
    TKSN_Mesh* mesh = AddMesh("Strip", SubDTest::MakeMesh({{-0.6f, -0.2f, 0.5f}, {0.0f, -0.2f, 0.5f},
                                                           {0.0f, 0.2f, 0.5f}, {-0.6f, 0.2f, 0.5f},
                                                           {0.6f, -0.2f, 0.5f}, {0.6f, 0.2f, 0.5f}},
                                                          {}, {{{0, 1, 2, 3}, {}}, {{1, 4, 5, 2}, {}}}));
    AddMesh("Blocker", Square(0.25f, 0.0f, 0.6f, 0.0f));
    for (int method : {3, 4}) {
        SCOPED_TRACE(method);
        Project->CancelVertexCulling();
        Project->EffectiveCullingMethod = method;
        Project->WaitForVertexCullingToBecomeReady();
        EXPECT_TRUE(App->vertexCullingValid);
        const bool perPolygon = method == 4;
        EXPECT_EQ(Project->GetVertexCulledValue(mesh, 0), 1.0f);
        EXPECT_EQ(Project->GetVertexCulledValue(mesh, 1), perPolygon ? 0.0f : 1.0f);
        EXPECT_EQ(Project->GetVertexCulledValue(mesh, 4), 0.0f);
        EXPECT_EQ(Project->IsVertexCulled(mesh, View(), 1), perPolygon);
    }
    Project->CancelVertexCulling();
    EXPECT_FALSE(App->vertexCullingValid);
}

TEST_F(PickingFixture, ReadersOnEightThreadsGetTheValuesOfASingleThreadedPass)
{
    // A 40 x 40 grid of quads, its middle hidden behind a square.
    TKSN_Mesh* mesh = AddMesh("Grid", Grid(40, 40, -0.8f, 0.8f, -0.8f, 0.8f, 0.5f));
    AddMesh("Blocker", Square(0.33f, 0.0f));
    const int count = mesh->GetVCount();
    Project->EffectiveCullingMethod = 4;

    Project->WaitForVertexCullingToBecomeReady();
    Project->PolygonCuller->WaitForCompletion();
    std::vector<float> expected(count);
    for (int v = 0; v < count; ++v) expected[size_t(v)] = Project->GetVertexCulledValue(mesh, v);
    ASSERT_NE(std::count(expected.begin(), expected.end(), 0.0f), 0);
    ASSERT_NE(std::count(expected.begin(), expected.end(), 1.0f), 0);

    Project->CancelVertexCulling();
    Project->WaitForVertexCullingToBecomeReady();
    std::vector<std::vector<float>> seen(8, std::vector<float>(size_t(count)));
    {
        std::vector<std::jthread> readers;
        for (int t = 0; t < 8; ++t)
            readers.emplace_back([&, t] {
                for (int k = 0; k < count; ++k) {
                    const int v = (k * 7 + t * 131) % count;
                    seen[size_t(t)][size_t(v)] = Project->GetVertexCulledValue(mesh, v);
                }
            });
    }
    for (int t = 0; t < 8; ++t) EXPECT_EQ(seen[size_t(t)], expected) << "reader " << t;
}

// ---- octree filters and module functions -------------------------------------

TEST_F(PickingFixture, TheOctreeFiltersKeepOnlyLeavesInViewAndOnTheRectangle)
{
    TKSN_Mesh* mesh = AddMesh("Wide", Grid(120, 20, -3.0f, 3.0f, -0.5f, 0.5f, 0.0f));
    mesh->SetMaxOctreeDepth(3);
    mesh->BuildOctree();
    std::vector<TQOROctreeNode<int>*> all, inView, onRect;
    View()->calcViewVolumePlanes();
    GetListOfNonCulledOctreeNodes_Recurse(all, mesh->octreeRoot.get(), View(), false);
    GetListOfNonCulledOctreeNodes_Recurse(inView, mesh->octreeRoot.get(), View(), true);
    const float rectMin[2] = {0.9f, 0.9f}, rectMax[2] = {0.95f, 0.95f};
    GetListOfNonCulledOctreeNodes_Recurse(onRect, mesh->octreeRoot.get(), View(), true, rectMin, rectMax);
    ASSERT_FALSE(all.empty());
    EXPECT_LT(inView.size(), all.size()) << "leaves beyond x = ±1 are out of view";
    EXPECT_LT(onRect.size(), inView.size());
    for (TQOROctreeNode<int>* leaf : all) EXPECT_FALSE(leaf->HasChildren());
    std::vector<TQOROctreeNode<int>*> none;
    GetListOfNonCulledOctreeNodes_Recurse(none, nullptr, View(), true);
    EXPECT_TRUE(none.empty());

    // Changed marks climb from the leaves to the root.
    TQOROctreeNode<int>* leaf = mesh->GetBottomLevelOctreeNodeList().back();
    ASSERT_NE(leaf->Parent, nullptr);
    for (auto* node = leaf->Parent; node; node = node->Parent) node->Flags &= ~uint32_t(QOROctree_DisplayChanged);
    leaf->Flags |= QOROctree_DisplayChanged;
    CopyNodeChangedFlagsUpward(mesh);
    for (auto* node = leaf->Parent; node; node = node->Parent) EXPECT_TRUE(node->Flags & QOROctree_DisplayChanged);
}

TEST(ProjectModuleFunctions, PreMultiplyPutsTheSecondMatrixOnTheLeft)
{
    float m[16], a[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = float(i + 1);
        a[i] = float((i * 5) % 7) - 2.0f;
    }
    float expected[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            expected[4 * i + j] = 0.0f;
            for (int k = 0; k < 4; ++k) expected[4 * i + j] += a[4 * i + k] * m[4 * k + j];
        }
    QORMatrix_PreMultiplyMatrix4x4(m, a);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], expected[i]) << i;
}

// ---- affected-objects stencil --------------------------------------------------

TEST_F(PickingFixture, TheStencilMarksWhereDepthWasDrawn)
{
    Project->SetCurrentViewportIndex(0);
    TKSN_Viewport* view = View();
    view->Resize(0, 0, 4, 2);
    TKSN_DepthBuffer* depth = view->GetDepthBuffer();
    ASSERT_NE(depth, nullptr);
    depth->ResizeWithType(0, 0, DEPTH_BUFFER_TYPE_FLOAT);

    Project->GenerateAffectedObjectsStencil();
    TQORImageMap& stencil = Project->AffectedObjectsStencil;
    ASSERT_EQ(stencil.GetWidth(), 4);
    ASSERT_EQ(stencil.GetHeight(), 2);
    EXPECT_EQ(std::vector<uint8_t>(stencil.GetPixels(), stencil.GetPixels() + 8), std::vector<uint8_t>(8, 255));
    EXPECT_FALSE(Project->AffectedObjectsStencilValid) << "made again once there is depth";

    depth->ResizeWithType(4, 2, DEPTH_BUFFER_TYPE_FLOAT);
    const float values[8] = {0, 0.5f, 1e-9f, 2e-8f, 1, 0, 0, 0.25f};
    std::copy(values, values + 8, depth->GetDataFloat());
    Project->GenerateAffectedObjectsStencilIfNecessary();
    EXPECT_EQ(std::vector<uint8_t>(stencil.GetPixels(), stencil.GetPixels() + 8),
              (std::vector<uint8_t>{0, 255, 0, 255, 255, 0, 0, 255}));
    EXPECT_TRUE(Project->AffectedObjectsStencilValid);

    std::fill(depth->GetDataFloat(), depth->GetDataFloat() + 8, 0.0f);
    Project->GenerateAffectedObjectsStencilIfNecessary();
    EXPECT_EQ(stencil.GetPixels()[1], 255) << "a valid stencil is kept";
    Project->InvalidateAffectedObjectsStencil();
    Project->GenerateAffectedObjectsStencilIfNecessary();
    EXPECT_EQ(stencil.GetPixels()[1], 0);
}

} // namespace
