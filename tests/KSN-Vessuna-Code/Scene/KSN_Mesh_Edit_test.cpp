// The edit-geometry bracket and the topology clean-up of the editable mesh:
// morphs and selections follow a topology edit, clean-up moves whole items.
#include "KSN_MeshEdit_Fixture.h"

#include "QORLanguage.h"
#include "QORMaterial.h"

#include <stdexcept>

using namespace meshedit_test;

namespace {

using Corners = std::vector<int>;

Corners CornersOf(const TQORPolygon& polygon)
{
    Corners c;
    for (int k = 0; k < polygon.Count; ++k) c.push_back(polygon.Points[k].V);
    return c;
}

void SetCorners(TQORPolygon& polygon, const Corners& vertices)
{
    polygon.SetCount(unsigned(vertices.size()));
    for (size_t k = 0; k < vertices.size(); ++k) polygon.Points[k] = {vertices[k], -1};
}

int CancelCalls = 0;
int SnapshotCalls = 0;
int SnapshotCounts[3] = {0, 0, 0};

}  // namespace

using MeshEditBracketTest = MeshEditTest;

// ---------------------------------------------------------------------------
// Polygons
// ---------------------------------------------------------------------------

TEST(DeleteDuplicatePointsInPolygon, RepeatedCornersGoAndFoldedQuadsAreMarkedForRemoval)
{
    struct Case {
        Corners in;
        Corners out;   // empty: Count 0
    };
    const std::vector<Case> cases = {
        {{0, 1, 2, 0}, {0, 1, 2}},         // last repeats first
        {{0, 0, 1, 2}, {0, 1, 2}},         // neighbours repeat
        {{0, 1, 0, 2}, {}},                // folded quad
        {{0, 1, 2, 1}, {}},                // folded quad
        {{0, 1, 0, 2, 3}, {0, 1, 2, 3}},   // no fold rule beyond quads
        {{0, 0, 1}, {}},                   // two unique corners left
        {{0, 1, 2}, {0, 1, 2}},
        {{4, 5}, {4, 5}},                  // too small to look at
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.in));
        TQORPolygon polygon;
        SetCorners(polygon, c.in);
        DeleteDuplicatePointsInPolygon(&polygon);
        EXPECT_EQ(polygon.Count == 0 ? Corners{} : CornersOf(polygon), c.out);
        polygon.DestroyPoints();
    }
}

TEST_F(MeshEditBracketTest, CleanPolygonsDropsDegeneratePolygonsWithTheirFlagsAndRecordsTheRenumbering)
{
    auto mesh = MakePlane(4, 4);
    SetCorners(mesh->Polygons[1], {1, 1, 2});   // a triangle with two equal corners
    mesh->PolygonFlags[5] |= QORPoly_Hidden;
    mesh->Polygons[5].Select = 0.5f;

    // Selected-only cleaning leaves an unselected degenerate polygon alone.
    mesh->CleanPolygonsAfterEdit(true, true, true);
    EXPECT_EQ(mesh->polygonCount, 9);
    EXPECT_EQ(mesh->PolygonScriptCount, 0u);

    auto* stored = new TKSN_Selection(9, mesh->GetID());
    stored->SetSelectionType(eSelectionType_Polygon);
    for (int p = 0; p < 9; ++p) stored->SetVSelect(p, float(p) / 10.0f);
    mesh->SelectionTree->AddItem(stored);

    mesh->CleanPolygonsAfterEdit(false, true, true);
    ASSERT_EQ(mesh->polygonCount, 8);
    EXPECT_EQ(mesh->PolygonScriptCount, 1u);
    // Old polygon 5 is now 4 and is still the hidden one, with its weight.
    EXPECT_NE(mesh->PolygonFlags[4] & QORPoly_Hidden, 0u);
    EXPECT_EQ(mesh->PolygonFlags[5] & QORPoly_Hidden, 0u);
    EXPECT_EQ(mesh->Polygons[4].Select, 0.5f);
    EXPECT_EQ(CornersOf(mesh->Polygons[1]), (Corners{2, 3, 7, 6}));

    // The stored selection follows on its next use: every later polygon one down.
    mesh->BeginUsingSelection(stored);
    ASSERT_EQ(stored->GetVCount(), 8);
    for (int p = 0; p < 8; ++p) EXPECT_FLOAT_EQ(stored->GetVSelect(p), float(p < 1 ? p : p + 1) / 10.0f);
    mesh->EndUsingSelection(stored);
}

// ---------------------------------------------------------------------------
// Vertices
// ---------------------------------------------------------------------------

namespace {

// Ten vertices on the x axis, vertex 3 used by no triangle.
std::unique_ptr<TKSN_Mesh> MakeStrip()
{
    auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
    mesh->Create(10, 0, 10, 4);
    std::vector<float> base;
    for (int v = 0; v < 10; ++v) base.insert(base.end(), {float(v), float(v % 2), 0.0f});
    EXPECT_TRUE(mesh->SetBaseVertexArray(base.data(), 10));
    const Corners triangles[4] = {{0, 1, 2}, {2, 4, 5}, {5, 6, 7}, {7, 8, 9}};
    for (int p = 0; p < 4; ++p) SetCorners(mesh->Polygons[p], triangles[p]);
    mesh->AfterRawBuild();
    return mesh;
}

}  // namespace

TEST_F(MeshEditBracketTest, DeleteUnusedVerticesMovesWholeVerticesAndMorphsFollow)
{
    auto mesh = MakeStrip();
    TKSN_Morph* morph = mesh->CreateMorph(mesh->MorphTree);
    for (int v = 0; v < 10; ++v) morph->GetVertex(v)[0] = float(v);
    mesh->VertexInfo[7].Flags |= QORPoly_Hidden;
    mesh->VertexInfo[9].Select = 0.9f;

    mesh->DeleteUnusedVertices(true, false);
    ASSERT_EQ(mesh->vertexCount, 9);
    ASSERT_EQ(mesh->VertexScripts->Count(), 1);
    const std::vector<int32_t> expectedStream = {1, 2, 3, 4, 1, 2, 4, 5, 1, 2, 5, 6, 1, 2, 6, 7, 1, 2, 7, 8, 1, 2, 8, 9};
    EXPECT_EQ((*mesh->VertexScripts)[0]->Stream, expectedStream);

    // Records and positions moved together: the hidden vertex is old 7 at 6.
    EXPECT_NE(mesh->VertexInfo[6].Flags & QORPoly_Hidden, 0u);
    EXPECT_EQ(mesh->VertexInfo[7].Flags & QORPoly_Hidden, 0u);
    EXPECT_FLOAT_EQ(mesh->VertexInfo[8].Select, 0.9f);
    EXPECT_FLOAT_EQ(mesh->baseVertices[3 * 6], 7.0f);
    EXPECT_EQ(CornersOf(mesh->Polygons[3]), (Corners{6, 7, 8}));
    EXPECT_EQ(CornersOf(mesh->Polygons[1]), (Corners{2, 3, 4}));

    mesh->BeginUsingMorph(morph);
    ASSERT_EQ(morph->GetVCount(), 9);
    EXPECT_FLOAT_EQ(morph->GetVertex(8)[0], 9.0f);
    EXPECT_FLOAT_EQ(morph->GetVertex(2)[0], 2.0f);
    mesh->EndUsingMorph(morph);
}

TEST_F(MeshEditBracketTest, DeleteUnusedVerticesOnAWeldedMeshRepointsDuplicatesToTheirMasters)
{
    auto mesh = MakeStrip();
    // Vertex 9 is a duplicate of 8: the last triangle really ends at 8.
    mesh->Welded = true;
    mesh->VertexInfo[9].WeldMaster = 8;
    mesh->BuildVertexPolygons();
    mesh->DeleteUnusedVertices(false, false);
    ASSERT_EQ(mesh->vertexCount, 8);
    EXPECT_EQ(CornersOf(mesh->Polygons[3]), (Corners{6, 7, 7}));
    for (int v = 0; v < mesh->vertexCount; ++v) EXPECT_EQ(mesh->VertexInfo[v].WeldMaster, v);
    EXPECT_TRUE(mesh->VertexScripts->IsEmpty());
}

TEST_F(MeshEditBracketTest, OnlySelectedUnusedVerticesGoWhenAsked)
{
    auto mesh = MakeStrip();
    mesh->DeleteUnusedVertices(false, true);
    EXPECT_EQ(mesh->vertexCount, 10);
    mesh->VertexInfo[3].Flags |= 0x2;
    mesh->DeleteUnusedVertices(false, true);
    EXPECT_EQ(mesh->vertexCount, 9);
}

// ---------------------------------------------------------------------------
// Texture vertices
// ---------------------------------------------------------------------------

TEST_F(MeshEditBracketTest, UnusedTextureVerticesAreRemovedByBothVariants)
{
    for (bool endEditVariant : {true, false}) {
        SCOPED_TRACE(endEditVariant ? "DeleteUnusedTVertices" : "DeleteUnusedTextureVertices");
        auto mesh = MakePlane(3, 2);   // 6 texture vertices, corner k of each quad its grid point
        // Texture vertex 0 loses its only corner; quad 1 gets a corner pointing nowhere.
        mesh->Polygons[0].Points[0].VT = 1;
        mesh->Polygons[1].Points[3].VT = 42;
        endEditVariant ? mesh->DeleteUnusedTVertices() : mesh->DeleteUnusedTextureVertices();
        ASSERT_EQ(mesh->tVertexCount, 5);
        EXPECT_FLOAT_EQ(mesh->tVertices[0], 1.0f);   // old 1 moved to 0
        EXPECT_EQ(mesh->Polygons[0].Points[0].VT, 0);
        EXPECT_EQ(mesh->Polygons[0].Points[2].VT, 3);   // old 4
        if (endEditVariant)
            EXPECT_EQ(mesh->Polygons[1].Count, 0);
        else
            EXPECT_EQ(mesh->Polygons[1].Points[3].VT, -1);
    }
}

TEST_F(MeshEditBracketTest, MakeTextureVerticesFreeGivesEveryCornerItsOwn)
{
    auto mesh = MakePlane(3, 2);   // two quads sharing texture vertices 1 and 4
    mesh->Polygons[1].Points[2].VT = -1;
    mesh->MakeTextureVerticesFree();
    ASSERT_EQ(mesh->tVertexCount, 8);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(mesh->Polygons[k / 4].Points[k % 4].VT, k);
    EXPECT_FLOAT_EQ(mesh->tVertices[2 * 1], 1.0f);   // corner 1 kept old texture vertex 1 at (1, 0)
    EXPECT_FLOAT_EQ(mesh->tVertices[2 * 4], 1.0f);   // quad 1 corner 0 is old 1 too
    EXPECT_FLOAT_EQ(mesh->tVertices[2 * 6], 0.0f);   // a corner without one gets (0, 0)
    EXPECT_FLOAT_EQ(mesh->tVertices[2 * 6 + 1], 0.0f);

    // A bad index is reported and leaves the mesh as it was.
    auto bad = MakePlane(3, 2);
    bad->Polygons[0].Points[1].VT = 99;
    EXPECT_THROW(bad->MakeTextureVerticesFree(), std::logic_error);
    EXPECT_EQ(bad->tVertexCount, 6);
    EXPECT_EQ(bad->Polygons[1].Points[0].VT, 1);
    ASSERT_FALSE(Boxes.Boxes.empty());
    EXPECT_EQ(Boxes.Boxes.back(), "ivt is out of range in MakeTextureVerticesFree() (99 of 6)");
}

TEST_F(MeshEditBracketTest, AfterRawBuildGivesAMeshADefaultGroupAndMaterial)
{
    auto mesh = MakePlane(3, 2);
    ASSERT_EQ(mesh->Groups2->GetItemCount(), 1);
    ASSERT_EQ(mesh->Materials->GetItemCount(), 1);
    EXPECT_STREQ(mesh->Groups2->GetItem(0)->GetName(), Lang.GetText(1122));
    EXPECT_STREQ(mesh->Materials->GetItem(0)->GetName(), Lang.GetText(1122));
    for (int p = 0; p < mesh->polygonCount; ++p) {
        EXPECT_EQ(mesh->Polygons[p].Group, 0);
        EXPECT_EQ(mesh->Polygons[p].Material, 0);
    }
    // A second build adds nothing.
    mesh->AfterRawBuild();
    EXPECT_EQ(mesh->Groups2->GetItemCount(), 1);
    EXPECT_EQ(mesh->Materials->GetItemCount(), 1);
}

// ---------------------------------------------------------------------------
// The bracket
// ---------------------------------------------------------------------------

namespace {

// What a modelling tool does inside the bracket: vertex 16 added as a copy of
// vertex 15 one unit further along x, a triangle 11-16-15 added as polygon 9,
// both renumberings recorded.
void AddVertexAndPolygon(TKSN_Mesh& mesh, bool recordScripts)
{
    const int v = mesh.vertexCount;
    mesh.SetVertexCount(v + 1);
    for (int a = 0; a < 3; ++a) mesh.baseVertices[3 * v + a] = mesh.baseVertices[3 * 15 + a];
    mesh.baseVertices[3 * v] += 1.0f;
    const int p = mesh.polygonCount;
    mesh.SetPolygonCount(p + 1);
    mesh.Polygons[p].SetCount(3);
    const int corners[3] = {11, v, 15};
    for (int k = 0; k < 3; ++k) mesh.Polygons[p].Points[k] = {corners[k], corners[k] == v ? 15 : corners[k]};
    if (!recordScripts) return;

    TKSN_VertexAdjustmentScript* vertices = mesh.CreateVertexScript("AddVertex");
    vertices->AddOpCode(1, 2);
    vertices->Stream.insert(vertices->Stream.end(), {v, 15});
    mesh.AddVertexAdjustmentScript(vertices);
    TKSN_VertexAdjustmentScript* polygons = mesh.CreatePolygonScript("AddPolygon");
    polygons->AddOpCode(1, 2);
    polygons->Stream.insert(polygons->Stream.end(), {p, 8});
    mesh.AddPolygonAdjustmentScript(polygons);
}

}  // namespace

TEST_F(MeshEditBracketTest, AddingAVertexAndAPolygonKeepsMorphsAndSelectionsInStep)
{
    for (int type : {0, 1}) {
        SCOPED_TRACE(type == 0 ? "vertex selection mode" : "polygon selection mode");
        SelectionType = type;
        CancelCalls = SnapshotCalls = 0;
        TKSN_MeshEditHooks hooks;
        hooks.CancelVertexCulling = [] { ++CancelCalls; };
        hooks.SnapshotForUndo = [](TKSN_Undo_Node_Model*, TKSN_Mesh*, int v, int t, int p, float) {
            ++SnapshotCalls;
            SnapshotCounts[0] = v;
            SnapshotCounts[1] = t;
            SnapshotCounts[2] = p;
        };
        KSN_SetMeshEditHooks(hooks);

        auto mesh = MakePlane(4, 4);
        TKSN_Morph* morph = mesh->CreateMorph(mesh->MorphTree);
        for (int v = 0; v < 16; ++v) morph->GetVertex(v)[1] = float(v) / 16.0f;
        auto* vertexSet = new TKSN_Selection(16, mesh->GetID());
        for (int v = 0; v < 16; ++v) vertexSet->SetVSelect(v, float(v) / 100.0f);
        mesh->SelectionTree->AddItem(vertexSet);
        auto* polygonSet = new TKSN_Selection(9, mesh->GetID());
        polygonSet->SetSelectionType(eSelectionType_Polygon);
        for (int p = 0; p < 9; ++p) polygonSet->SetVSelect(p, float(p) / 10.0f);
        mesh->SelectionTree->AddItem(polygonSet);
        // The user's working selection: vertex 15, or quad 8.
        if (type == 0)
            mesh->VertexInfo[15].Select = 1.0f;
        else
            mesh->Polygons[8].Select = 1.0f;
        vertexSet->NotInUse("test");
        polygonSet->NotInUse("test");

        int undoNode = 0;
        CancelCalls = 0;   // the raw build of the plane cancelled once already
        mesh->BeginEditGeometry(reinterpret_cast<TKSN_Undo_Node_Model*>(&undoNode));
        EXPECT_TRUE(mesh->EditingGeometry);
        EXPECT_EQ(SnapshotCalls, 1);
        EXPECT_EQ(SnapshotCounts[0], 16);
        EXPECT_EQ(SnapshotCounts[1], 16);
        EXPECT_EQ(SnapshotCounts[2], 9);
        AddVertexAndPolygon(*mesh, true);
        mesh->EndEditGeometry(true);

        EXPECT_FALSE(mesh->EditingGeometry);
        EXPECT_EQ(mesh->EditVertexSelection, nullptr);
        EXPECT_EQ(mesh->EditPolygonSelection, nullptr);
        EXPECT_EQ(CancelCalls, 1);
        EXPECT_TRUE(Warnings.empty());
        ASSERT_EQ(mesh->vertexCount, 17);
        ASSERT_EQ(mesh->polygonCount, 10);

        // The user's selection reached the new items through the edit's scripts.
        if (type == 0) {
            EXPECT_EQ(mesh->VertexInfo[16].Select, 1.0f);
            EXPECT_EQ(mesh->VertexInfo[15].Select, 1.0f);
        } else {
            EXPECT_EQ(mesh->Polygons[9].Select, 1.0f);
            EXPECT_EQ(mesh->Polygons[8].Select, 1.0f);
        }
        // The vertices were resolved again with the morph replayed and resized.
        EXPECT_EQ(morph->GetVCount(), 17);
        EXPECT_FLOAT_EQ(morph->GetVertex(16)[1], 15.0f / 16.0f);
        EXPECT_FLOAT_EQ(mesh->resolvedVertices[3 * 16 + 1], mesh->baseVertices[3 * 16 + 1] + 15.0f / 16.0f);
        // Stored selections follow on their next use.
        mesh->BeginUsingSelection(vertexSet);
        ASSERT_EQ(vertexSet->GetVCount(), 17);
        EXPECT_FLOAT_EQ(vertexSet->GetVSelect(16), 0.15f);
        EXPECT_FLOAT_EQ(vertexSet->GetVSelect(3), 0.03f);
        mesh->EndUsingSelection(vertexSet);
        mesh->BeginUsingSelection(polygonSet);
        ASSERT_EQ(polygonSet->GetVCount(), 10);
        EXPECT_FLOAT_EQ(polygonSet->GetVSelect(9), 0.8f);
        mesh->EndUsingSelection(polygonSet);
    }
}

TEST_F(MeshEditBracketTest, AnEditOutOfStepWithTheSelectionStillEndsProperly)
{
    struct Case {
        const char* name;
        bool recordScripts;
        bool breakType;
        const char* warning;
    };
    const std::vector<Case> cases = {
        {"size out of step", false, false, "Selection size is out of sync in EndEditGeometry (16 of 17)"},
        {"type out of step", true, true, "Selection type is out of sync in EndEditGeometry"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Warnings.clear();
        auto mesh = MakePlane(4, 4);
        mesh->VertexInfo[15].Select = 1.0f;
        mesh->BeginEditGeometry(nullptr);
        AddVertexAndPolygon(*mesh, c.recordScripts);
        if (c.breakType) mesh->EditVertexSelection->SetSelectionType(eSelectionType_Polygon);
        mesh->EndEditGeometry(true);

        EXPECT_EQ(Warnings, std::vector<std::string>{c.warning});
        EXPECT_EQ(mesh->EditVertexSelection, nullptr);
        EXPECT_FALSE(mesh->EditingGeometry);
        EXPECT_EQ(mesh->VertexInfo[15].Select, 1.0f);
        EXPECT_EQ(mesh->VertexInfo[16].Select, 0.0f);
        // Resolved again all the same: the new vertex has its position.
        EXPECT_FLOAT_EQ(mesh->resolvedVertices[3 * 16], mesh->baseVertices[3 * 16]);
        EXPECT_FLOAT_EQ(mesh->resolvedVertices[3 * 16], 2.5f);
    }
}

TEST_F(MeshEditBracketTest, EndWithoutRestoreLeavesTheUserSelectionAndDropsDegeneratePolygons)
{
    auto mesh = MakePlane(4, 4);
    mesh->VertexInfo[15].Select = 1.0f;
    mesh->BeginEditGeometry(nullptr);
    AddVertexAndPolygon(*mesh, true);
    SetCorners(mesh->Polygons[0], {0, 1, 0, 4});   // folded by the tool
    mesh->EndEditGeometry(false);
    EXPECT_EQ(mesh->VertexInfo[16].Select, 0.0f);
    EXPECT_EQ(mesh->EditVertexSelection, nullptr);
    EXPECT_EQ(mesh->polygonCount, 9);
    EXPECT_FLOAT_EQ(mesh->resolvedVertices[3 * 16], 2.5f);
}
