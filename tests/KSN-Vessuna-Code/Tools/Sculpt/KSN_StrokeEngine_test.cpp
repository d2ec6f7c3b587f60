// The stroke engine: the culling table, the octree scan with back-face
// culling, smart culling over overlapping grids, sticky selection, the
// softening of weights, the selection as a mask and the symmetry filter per
// mesh.
#include "KSN_StrokeTestSupport.h"

namespace {

using namespace ksn_stroke_test;

class TSmartOnly : public TProbe {
public:
    bool CanUsePerVertexCulling() override { return false; }
};
class TBackfaceOnly : public TProbe {
public:
    bool CanUseSmartCulling() override { return false; }
    bool CanUsePerVertexCulling() override { return false; }
};

using StrokeEngineTest = StrokeFixture;

TEST_F(StrokeEngineTest, EachToolMapsTheUsersCullingMethodToOneItSupports)
{
    TKSN_Tool* smartOnly = Make<TSmartOnly>();
    TKSN_Tool* backfaceOnly = Make<TBackfaceOnly>();
    TKSN_Tool* chisel = Make<TKSN_BulgeChisel>();
    TKSN_Tool* full = Make<TProbe>();
    struct Case {
        TKSN_Tool* tool;
        int user, effective;
    } cases[] = {
        {smartOnly, 3, 2}, {smartOnly, 4, 2}, {smartOnly, 1, 1}, {backfaceOnly, 2, 1}, {backfaceOnly, 3, 1},
        {chisel, 3, 2},    {chisel, 4, 2},    {chisel, 1, 1},    {chisel, 0, 0},       {full, 4, 4},
        {full, 2, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tool->GetName() << " user " << c.user);
        SetCulling(c.user);
        EXPECT_EQ(c.tool->GetEffectiveCullingMethod(), c.effective);
    }
}

TEST_F(StrokeEngineTest, TheFirstStrokeOfARunHasNoDepthFade)
{
    TKSN_Object* grid = MakeGrid("Grid", 10, -1, -1, 2, 0);
    SetCulling(2);
    auto* probe = Make<TProbe>();
    Press(probe, 0, 0);
    EXPECT_EQ(SmartCulling_DepthLength, 0.0f) << "no frame of an earlier iteration";
    Release(probe, 0, 0);
    ASSERT_FALSE(probe->LastFor(grid->Mesh.get()).empty());
    Press(probe, 0, 0);
    // The brush radius 0.125 of the screen is 0.25 in the world (zoom 2).
    EXPECT_NEAR(SmartCulling_DepthLength, 0.25f, 1e-4f);
    Release(probe, 0, 0);
}

TEST_F(StrokeEngineTest, BackfaceCullingListsTheFacingVerticesInsideTheShapeOnce)
{
    // Vertices every 0.1 over -1..1; the brush covers |x|, |y| < 0.25 in the world.
    TKSN_Object* facing = MakeGrid("Facing", 20, -1, -1, 2, 0);
    TKSN_Object* away = MakeGrid("Away", 20, -1, -1, 2, 0.5f, false);
    SetCulling(1);
    auto* probe = Make<TProbe>();
    Click(probe, 0, 0);

    EXPECT_TRUE(probe->LastFor(away->Mesh.get()).empty());
    std::vector<int> listed;
    for (const auto& seen : probe->Seen)
        if (seen.Mesh == facing->Mesh.get())
            for (const TKSN_AffectedVertex& e : seen.List) {
                listed.push_back(e.Vertex);
                EXPECT_NEAR(e.Weight, 200.0f / 255.0f, 1e-6f) << "weight = the shape's amplitude";
            }
    std::vector<int> expected;
    TKSN_Mesh* mesh = facing->Mesh.get();
    for (int v = 0; v < mesh->GetVCount(); ++v)
        if (std::fabs(mesh->resolvedVertices[3 * v]) < 0.25f && std::fabs(mesh->resolvedVertices[3 * v + 1]) < 0.25f)
            expected.push_back(v);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected) << "exactly the 25 vertices inside, none twice";
    EXPECT_EQ(expected.size(), 25u);
    EXPECT_TRUE(mesh->GetCustomBooleanProperty(KSN_BRUSH_V4_TOUCHED));
    EXPECT_FALSE(away->Mesh->GetCustomBooleanProperty(KSN_BRUSH_V4_TOUCHED));
}

TEST_F(StrokeEngineTest, SmartCullingListsThePickedGridAndSticksToIt)
{
    // Two disconnected grids; the front one (z 0.5) covers x -1..0, the back one x -0.6..1.
    TKSN_Object* front = MakeGrid("Front", 10, -1, -1, 1, 0.5f);
    TKSN_Object* back = MakeGrid("Back", 16, -0.6f, -1, 1.6f, 0);
    SetCulling(2);
    auto* probe = Make<TProbe>();
    Press(probe, Screen(-0.3f), Screen(-0.5f));
    EXPECT_FALSE(probe->LastFor(front->Mesh.get()).empty());
    for (const auto& seen : probe->Seen) EXPECT_EQ(seen.Mesh, front->Mesh.get()) << "only the picked grid";

    // Onto the back grid only: the stroke keeps filling the front grid from its last polygon.
    Move(probe, Screen(0.1f), Screen(-0.5f));
    EXPECT_EQ(SmartCulling_Mesh, front->Mesh.get());
    for (const auto& seen : probe->Seen) EXPECT_NE(seen.Mesh, back->Mesh.get());
    Release(probe, Screen(0.1f), Screen(-0.5f));
    EXPECT_FALSE(back->Mesh->GetCustomBooleanProperty(KSN_BRUSH_V4_TOUCHED));
}

TEST_F(StrokeEngineTest, ShiftWithStickySelectionKeepsThePreviousList)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0);
    SetCulling(2);
    auto* probe = Make<TProbe>();
    probe->Sticky = true;
    Press(probe, 0, 0);
    const auto first = probe->LastFor(grid->Mesh.get());
    ASSERT_FALSE(first.empty());
    ShiftDown = true;
    Move(probe, Screen(0.5f), 0);
    EXPECT_EQ(probe->LastFor(grid->Mesh.get()), first);
    ShiftDown = false;
    Move(probe, Screen(0.5f), 0);
    EXPECT_NE(probe->LastFor(grid->Mesh.get()), first) << "without Shift the list follows the brush";
    Release(probe, Screen(0.5f), 0);
}

TEST_F(StrokeEngineTest, APolygonEdgeOnToTheBrushStillCarriesTheFill)
{
    // A step: a facing strip at z 0 (x -0.2..0), a wall at x 0 whose normal is
    // at right angles to the view, and a facing strip at z -0.1 (x 0..0.2).
    TKSN_Object* object = Project->CreateNewObject();
    auto* mesh = new TKSN_Mesh(object);
    object->Mesh.reset(mesh);
    const float p[8][3] = {{-0.2f, -0.1f, 0}, {0, -0.1f, 0}, {0, 0.1f, 0}, {-0.2f, 0.1f, 0},
                           {0, -0.1f, -0.1f}, {0.2f, -0.1f, -0.1f}, {0.2f, 0.1f, -0.1f}, {0, 0.1f, -0.1f}};
    const int quads[3][4] = {{0, 1, 2, 3}, {1, 4, 7, 2}, {4, 5, 6, 7}};
    mesh->Create(8, 8, 8, 3);
    mesh->SetBaseVertexArray(&p[0][0], 8);
    for (int q = 0; q < 3; ++q) {
        mesh->Polygons[q].SetCount(4);
        for (int k = 0; k < 4; ++k) mesh->Polygons[q].Points[k] = {quads[q][k], quads[q][k]};
        mesh->PolygonFlags[q] = 0;
    }
    for (int v = 0; v < 8; ++v) mesh->VertexInfo[v].Flags = 0;
    Finish(object);
    ASSERT_NEAR(mesh->polygonNormals[3 * 1 + 2], 0.0f, 1e-6f) << "the wall is edge-on";

    SetCulling(2);
    auto* probe = Make<TProbe>();
    probe->Size = 0.2f;   // 0.4 in the world: the whole step
    Click(probe, Screen(-0.1f), 0);
    EXPECT_EQ(probe->LastFor(mesh).size(), 8u) << "the far strip is reached over the wall";
}

TEST_F(StrokeEngineTest, ExtraSoftStrokesKeepFullWeightsInsideAndLowerTheEdge)
{
    SetBrushImage(255);
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0);
    TKSN_Mesh* mesh = grid->Mesh.get();
    Project->ExtraSoftBrushStrokes = true;
    SetCulling(2);
    auto* probe = Make<TProbe>();
    Click(probe, 0, 0);
    const auto weights = probe->LastFor(mesh);
    ASSERT_EQ(weights.size(), 25u);
    EXPECT_FLOAT_EQ(weights.at(VertexAt(mesh, 0, 0)), 1.0f) << "every neighbour listed at 1";
    EXPECT_LT(weights.at(VertexAt(mesh, 0.2f, 0)), 1.0f) << "the edge has unlisted neighbours";
    EXPECT_LT(weights.at(VertexAt(mesh, 0.2f, 0.2f)), weights.at(VertexAt(mesh, 0.2f, 0)));
}

TEST_F(StrokeEngineTest, TheSelectionMasksTheListAndHiddenOrLockedVerticesNeverCount)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0);
    TKSN_Mesh* mesh = grid->Mesh.get();
    for (int v = 0; v < mesh->GetVCount(); ++v)
        if (mesh->resolvedVertices[3 * v] < -0.05f) mesh->VertexInfo[v].Select = 0.5f;
    const int hidden = VertexAt(mesh, -0.1f, 0), locked = VertexAt(mesh, 0.1f, 0.1f);
    mesh->VertexInfo[hidden].Flags |= QORPoly_Hidden;
    mesh->VertexInfo[locked].Flags |= QORPoly_Locked;
    mesh->AfterFullSelection();
    for (int culling : {1, 2}) {
        SCOPED_TRACE(culling);
        SetCulling(culling);
        auto* probe = Make<TProbe>();
        Click(probe, 0, 0);
        const auto weights = probe->LastFor(mesh);
        EXPECT_EQ(weights.size(), 9u) << "x -0.2 and -0.1, five rows, less the hidden vertex";
        for (const auto& [v, w] : weights) {
            EXPECT_LT(mesh->resolvedVertices[3 * v], -0.05f);
            EXPECT_NEAR(w, 0.5f * 200.0f / 255.0f, 1e-6f) << "weight times the selection value";
        }
        EXPECT_EQ(weights.count(hidden) + weights.count(locked), 0u);
    }
}

TEST_F(StrokeEngineTest, EachMeshIsFilteredByItsOwnSymmetrySetting)
{
    // Two identical grids mirrored about x = 0; only the first uses symmetry,
    // whose first map sends the right half (x > 0) to the left.
    TKSN_Object* symmetric = MakeGrid("Symmetric", 20, -1, -1, 2, 0);
    TKSN_Object* plain = MakeGrid("Plain", 20, -1, -1, 2, 0);
    for (TKSN_Object* object : {symmetric, plain}) {
        TKSN_Mesh* mesh = object->Mesh.get();
        const int n = mesh->GetVCount();
        for (int map = 0; map < 2; ++map)
            ASSERT_NE(mesh->vertexPartners[map], nullptr) << "the mesh keeps one partner map per direction";
        for (int v = 0; v < n; ++v) {
            const float* p = mesh->resolvedVertices + 3 * v;
            const int mirror = VertexAt(mesh, -p[0], p[1]);
            mesh->vertexPartners[0][v] = p[0] > 0.05f ? mirror : v;
            mesh->vertexPartners[1][v] = mirror;
        }
        mesh->SetActiveSymmetryMap(false, false);
    }
    symmetric->SymmetryEnabled = true;
    plain->SymmetryEnabled = false;
    Project->UseSymmetry = true;
    SetCulling(0);
    auto* probe = Make<TProbe>();
    Click(probe, 0, 0);
    EXPECT_EQ(probe->LastFor(symmetric->Mesh.get()).size(), 15u) << "the right column is its partners' to fill";
    EXPECT_EQ(probe->LastFor(plain->Mesh.get()).size(), 25u);
}

} // namespace
