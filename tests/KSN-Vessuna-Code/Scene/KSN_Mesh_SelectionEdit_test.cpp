// Selection editing of the working weights, the selected lists and the
// selection symmetry of the editable mesh, on small planes built in code.
#include "KSN_MeshEdit_Fixture.h"
#include "KSN_MeshArtifacts.h"
#include "QORMemory.h"
#include "QORThreads.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

using namespace meshedit_test;

namespace {

// The 4 × 4 plane: 16 vertices, 9 quads; vertex 5 is the interior vertex at
// (1, 1), quad 4 the centre quad.
constexpr int kColumns = 4;

std::vector<float> OnlyOnes(int count, const std::set<int>& ones)
{
    std::vector<float> w(size_t(count), 0.0f);
    for (int i : ones) w[size_t(i)] = 1.0f;
    return w;
}

std::vector<int> ListOf(const int32_t* list, int count)
{
    return list ? std::vector<int>(list, list + count) : std::vector<int>{};
}

}  // namespace

using SelectionEditTest = MeshEditTest;

// ---------------------------------------------------------------------------
// Soften
// ---------------------------------------------------------------------------

TEST_F(SelectionEditTest, SoftenAveragesTheNeighbourhoodByMode)
{
    struct Case {
        const char* name;
        int mode;
        bool normalise;
        std::vector<std::pair<int, float>> vertices;   // vertex, expected weight
        std::vector<std::pair<int, float>> polygons;
    };
    // One selected vertex 5 and one selected quad 4. Vertex 5 sees itself once
    // in each of its 4 quads among 16 counted corners (1/4); vertex 6 shares
    // two quads with it (2/16), vertex 10 one (1/16). Quad 4 sees itself once
    // per corner among 16 polygons (1/4); quad 0 meets it only at vertex 5,
    // among 9 polygons counted around its corners.
    const std::vector<Case> cases = {
        {"average", 0, false, {{5, 0.25f}, {0, 0.25f}, {1, 0.25f}, {6, 0.125f}, {10, 0.0625f}, {3, 0.0f}}, {{4, 0.25f}, {0, 1.0f / 9.0f}}},
        {"average, normalised", 0, true, {{5, 1.0f}, {6, 0.5f}, {10, 0.25f}, {15, 0.0f}}, {{4, 1.0f}, {0, 4.0f / 9.0f}}},
        {"only raises", 1, false, {{5, 1.0f}, {6, 0.125f}, {10, 0.0625f}}, {{4, 1.0f}, {0, 1.0f / 9.0f}}},
        {"only lowers", 2, false, {{5, 0.25f}, {6, 0.0f}, {0, 0.0f}}, {{4, 0.25f}, {0, 0.0f}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto mesh = MakePlane(kColumns, 4);
        SetVertexWeights(*mesh, OnlyOnes(16, {5}));
        SetPolygonWeights(*mesh, OnlyOnes(9, {4}));
        mesh->SoftenSelection(c.normalise, c.mode);
        for (auto [v, w] : c.vertices) EXPECT_NEAR(mesh->VertexInfo[v].Select, w, 1e-6f) << "vertex " << v;
        for (auto [p, w] : c.polygons) EXPECT_NEAR(mesh->Polygons[p].Select, w, 1e-6f) << "polygon " << p;
    }
}

TEST_F(SelectionEditTest, SoftenClearsHiddenAndLockedVerticesAndSkipsThemAsNeighbours)
{
    auto mesh = MakePlane(kColumns, 4);
    SetVertexWeights(*mesh, OnlyOnes(16, {5, 15}));
    mesh->VertexInfo[15].Flags |= QORPoly_Hidden;
    mesh->VertexInfo[6].Flags |= QORPoly_Locked;
    mesh->VertexInfo[6].Select = 1.0f;
    mesh->SoftenSelection(false, 0);
    EXPECT_EQ(mesh->VertexInfo[15].Select, 0.0f);
    EXPECT_EQ(mesh->VertexInfo[6].Select, 0.0f);
    // Vertex 10 no longer counts the locked 6 nor the hidden 15: 1 of 13.
    EXPECT_NEAR(mesh->VertexInfo[10].Select, 1.0f / 13.0f, 1e-6f);
}

TEST_F(SelectionEditTest, SoftenOnAStoredSelectionWorksInPlaceAndKeepsTheLargestWeight)
{
    auto mesh = MakePlane(kColumns, 4);
    TKSN_Selection selection(16, mesh->GetID());
    selection.SetVSelect(5, 1.0f);
    selection.SetVSelect(12, 0.4f);
    std::vector<float> before;
    for (int v = 0; v < 16; ++v) before.push_back(selection.GetVSelect(v));

    mesh->SoftenSelection(&selection, true, 1);
    float largest = 0.0f;
    for (int v = 0; v < 16; ++v) {
        EXPECT_GE(selection.GetVSelect(v), before[size_t(v)]) << "mode 1 never lowers, vertex " << v;
        largest = std::max(largest, selection.GetVSelect(v));
    }
    EXPECT_NEAR(largest, 1.0f, 1e-6f);
    // In place: vertex 1 sees the 0.25 just written at vertex 0 (its earlier neighbour).
    EXPECT_NEAR(selection.GetVSelect(0), 0.25f, 1e-6f);
    EXPECT_NEAR(selection.GetVSelect(1), (0.25f + 1.0f + 1.0f) / 8.0f, 1e-6f);

    // A polygon selection has no per-vertex values to soften.
    TKSN_Selection polygons(9, mesh->GetID());
    polygons.SetSelectionType(eSelectionType_Polygon);
    polygons.SetVSelect(4, 1.0f);
    mesh->SoftenSelection(&polygons, true, 0);
    EXPECT_EQ(polygons.GetVSelect(4), 1.0f);
    EXPECT_EQ(polygons.GetVSelect(0), 0.0f);
}

// ---------------------------------------------------------------------------
// Grow and shrink
// ---------------------------------------------------------------------------

TEST_F(SelectionEditTest, GrowAndShrinkFollowTheirRules)
{
    struct Case {
        const char* name;
        int type;
        bool grow;
        std::set<int> seed;
        std::set<int> expected;
        int lockedVertex = -1;
        int repeat = 1;
    };
    std::set<int> allVertices, allQuads;
    for (int i = 0; i < 16; ++i) allVertices.insert(i);
    for (int i = 0; i < 9; ++i) allQuads.insert(i);
    const std::vector<Case> cases = {
        {"vertex grow reaches the quads' far corners", 0, true, {5}, {0, 1, 2, 4, 5, 6, 8, 9, 10}},
        {"a locked vertex keeps its weight", 0, true, {5}, {0, 1, 2, 4, 5, 8, 9, 10}, 6},
        {"vertex shrink leaves the open border", 0, false, allVertices, {5, 6, 9, 10}},
        {"a second shrink empties the plane", 0, false, allVertices, {}, -1, 2},
        {"polygon grow through shared vertices", 1, true, {0}, {0, 1, 3, 4}},
        {"polygon shrink keeps the quad off the border", 1, false, allQuads, {4}},
        {"other selection types change nothing", 2, true, {5}, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SelectionType = c.type;
        auto mesh = MakePlane(kColumns, 4);
        if (c.type == 1)
            SetPolygonWeights(*mesh, OnlyOnes(9, c.seed));
        else
            SetVertexWeights(*mesh, OnlyOnes(16, c.seed));
        if (c.lockedVertex >= 0) mesh->VertexInfo[c.lockedVertex].Flags |= QORPoly_Locked;
        for (int r = 0; r < c.repeat; ++r) c.grow ? mesh->GrowSelection() : mesh->ShrinkSelection();
        if (c.type == 1)
            EXPECT_EQ(PolygonWeights(*mesh), OnlyOnes(9, c.expected));
        else
            EXPECT_EQ(VertexWeights(*mesh), OnlyOnes(16, c.expected));
    }
}

// ---------------------------------------------------------------------------
// Conversions, single weights and selection by group or material
// ---------------------------------------------------------------------------

TEST_F(SelectionEditTest, ConversionsKeepASingleQuadAndSkipHiddenPolygons)
{
    auto mesh = MakePlane(kColumns, 4);
    SetPolygonWeights(*mesh, OnlyOnes(9, {4}));
    mesh->ConvertSelectedPolygonsToVertices();
    EXPECT_EQ(VertexWeights(*mesh), OnlyOnes(16, {5, 6, 9, 10}));
    mesh->ConvertSelectedVerticesToPolygons();
    EXPECT_EQ(PolygonWeights(*mesh), OnlyOnes(9, {4}));

    // A hidden polygon gives nothing to its vertices and takes nothing from them.
    SetPolygonWeights(*mesh, OnlyOnes(9, {0}));
    mesh->PolygonFlags[0] |= QORPoly_Hidden;
    mesh->ConvertSelectedPolygonsToVertices();
    EXPECT_EQ(VertexWeights(*mesh), OnlyOnes(16, {}));
    SetVertexWeights(*mesh, OnlyOnes(16, {0, 1, 4, 5}));
    mesh->ConvertSelectedVerticesToPolygons();
    EXPECT_EQ(PolygonWeights(*mesh), OnlyOnes(9, {}));
}

// The vertex-to-polygon conversion, bit for bit against the walk of each
// polygon's usable corners in order: plain quads (which take a shorter path)
// next to quads with a locked, a hidden or a missing corner, one naming a
// vertex twice, a triangle and a hidden and a locked polygon; the weights hold
// ±0 side by side in both orders, NaN in the first and in a later corner, and
// values outside 0..1.
TEST_F(SelectionEditTest, VertexToPolygonConversionEqualsTheCornerWalkBitForBit)
{
    constexpr uint32_t kSkipped = QORPoly_Hidden | QORPoly_Locked;
    auto mesh = MakePlane(7, 6);   // 42 vertices, 30 quads; quad i of row 0 has corners i, i+1, i+8, i+7
    const float odd[] = {0.0f, -0.0f, std::nanf(""), 1.0f, 0.3f, 1.5f, -0.25f, 1e-31f, 0.7f};
    for (int v = 0; v < mesh->vertexCount; ++v) mesh->VertexInfo[v].Select = odd[size_t(v * 5 + v / 7) % 9];
    // Quad 0 meets +0 then −0, quad 1 −0 then +0; quad 2 has NaN second, quad 3 first.
    const float row0[] = {0.0f, -0.0f, 0.0f, std::nanf(""), 0.5f};
    for (int v = 0; v < 5; ++v) mesh->VertexInfo[v].Select = row0[v];
    for (int v = 7; v < 12; ++v) mesh->VertexInfo[v].Select = 0.5f;
    mesh->VertexInfo[30].Flags |= QORPoly_Locked;
    mesh->VertexInfo[33].Flags |= QORPoly_Hidden;
    mesh->Polygons[13].Points[2].V = -1;
    mesh->Polygons[14].Points[1].V = mesh->vertexCount;
    mesh->Polygons[20].Points[3].V = mesh->Polygons[20].Points[0].V;
    mesh->Polygons[21].Count = 3;
    mesh->PolygonFlags[16] |= QORPoly_Hidden;
    mesh->PolygonFlags[17] |= QORPoly_Locked;
    for (int p = 0; p < mesh->polygonCount; ++p) mesh->Polygons[p].Select = 0.9f;

    std::vector<float> expected;
    for (int p = 0; p < mesh->polygonCount; ++p) {
        const TQORPolygon& q = mesh->Polygons[p];
        bool any = false;
        float smallest = 0.0f;
        for (int k = 0; k < q.Count && (mesh->PolygonFlags[p] & kSkipped) == 0; ++k) {
            const int v = q.Points[k].V;
            if (v < 0 || v >= mesh->vertexCount || (mesh->VertexInfo[v].Flags & kSkipped) != 0) continue;
            smallest = any ? std::min(smallest, mesh->VertexInfo[v].Select) : mesh->VertexInfo[v].Select;
            any = true;
        }
        expected.push_back(any ? std::clamp(smallest, 0.0f, 1.0f) : 0.0f);
    }
    mesh->ConvertSelectedVerticesToPolygons();
    const std::vector<float> got = PolygonWeights(*mesh);
    for (int p = 0; p < mesh->polygonCount; ++p) {
        uint32_t a, b;
        std::memcpy(&a, &got[size_t(p)], 4);
        std::memcpy(&b, &expected[size_t(p)], 4);
        EXPECT_EQ(a, b) << "polygon " << p;
    }
}

TEST_F(SelectionEditTest, SelectByGroupOrMaterialSetsTheVerticesOfVisiblePolygons)
{
    for (bool byMaterial : {false, true}) {
        SCOPED_TRACE(byMaterial ? "material" : "group");
        auto mesh = MakePlane(kColumns, 4);
        for (int p = 0; p < 3; ++p) (byMaterial ? mesh->Polygons[p].Material : mesh->Polygons[p].Group) = 1;
        mesh->PolygonFlags[2] |= QORPoly_Hidden;
        byMaterial ? mesh->SelectMaterial(1, 2.0f) : mesh->SelectGroup(1, 2.0f);
        EXPECT_EQ(VertexWeights(*mesh), OnlyOnes(16, {0, 1, 2, 4, 5, 6}));
        EXPECT_EQ(PolygonWeights(*mesh), OnlyOnes(9, {}));
    }
}

TEST_F(SelectionEditTest, AWeldedDuplicateFollowsItsMaster)
{
    auto mesh = MakePlane(kColumns, 4);
    mesh->Welded = true;
    mesh->VertexInfo[3].WeldMaster = 0;
    mesh->SetVSelect(3, 1.0f);
    EXPECT_EQ(mesh->VertexInfo[3].Select, 0.0f);
    mesh->SetVSelect(0, 7.0f);
    EXPECT_EQ(mesh->VertexInfo[0].Select, 1.0f);
    mesh->SetVSelect(3, 0.2f);
    EXPECT_EQ(mesh->VertexInfo[3].Select, 1.0f);
    mesh->IgnoreWelding = true;
    mesh->SetVSelect(3, 0.2f);
    EXPECT_FLOAT_EQ(mesh->VertexInfo[3].Select, 0.2f);
}

TEST_F(SelectionEditTest, WeldedSelectionUpdateNeverEndsTheProgram)
{
    auto mesh = MakePlane(kColumns, 4);
    mesh->Welded = true;
    mesh->VertexInfo[3].WeldMaster = 0;

    TKSN_Selection vertices(16, mesh->GetID());
    vertices.SetVSelect(0, 0.8f);
    mesh->UpdateWeldedSelection(&vertices);
    EXPECT_FLOAT_EQ(vertices.GetVSelect(3), 0.8f);

    // A polygon selection and a vertex selection of another size are left alone.
    TKSN_Selection polygons(9, mesh->GetID());
    polygons.SetSelectionType(eSelectionType_Polygon);
    polygons.SetVSelect(0, 0.5f);
    mesh->UpdateWeldedSelection(&polygons);
    EXPECT_FLOAT_EQ(polygons.GetVSelect(3), 0.0f);
    TKSN_Selection shorter(5, mesh->GetID());
    shorter.SetVSelect(0, 0.5f);
    mesh->UpdateWeldedSelection(&shorter);
    EXPECT_EQ(shorter.GetVCount(), 5);
    EXPECT_FLOAT_EQ(shorter.GetVSelect(3), 0.0f);
}

TEST_F(SelectionEditTest, StoreCurrentSelectionValuesTakesTheSetOfTheSelectionType)
{
    auto mesh = MakePlane(kColumns, 4);
    SetVertexWeights(*mesh, OnlyOnes(16, {2}));
    SetPolygonWeights(*mesh, OnlyOnes(9, {7}));
    TKSN_Selection selection(3, mesh->GetID());
    for (int type : {0, 1}) {
        SelectionType = type;
        mesh->StoreCurrentSelectionValues(&selection, false);
        EXPECT_EQ(selection.GetSelectionType(), type);
        EXPECT_EQ(selection.GetVCount(), type == 0 ? 16 : 9);
        EXPECT_EQ(selection.GetVSelect(type == 0 ? 2 : 7), 1.0f);
        EXPECT_EQ(selection.GetVSelect(type == 0 ? 7 : 2), 0.0f);
    }
}

TEST_F(SelectionEditTest, EdgeLengthsAroundTheSelectedVertices)
{
    auto mesh = MakePlane(kColumns, 4);
    mesh->CalculateMaxEdgeLength();
    EXPECT_EQ(mesh->MaxEdgeLength, 0.0f);
    EXPECT_EQ(mesh->MinEdgeLength, 0.0f);

    mesh->VertexInfo[0].Select = 1.0f;
    mesh->OnSelectionChanged();
    mesh->CalculateMaxEdgeLength();
    // The corner quad's diagonal counts too.
    EXPECT_NEAR(mesh->MaxEdgeLength, std::sqrt(2.0f), 1e-6f);
    EXPECT_NEAR(mesh->MinEdgeLength, 1.0f, 1e-6f);
}

TEST_F(SelectionEditTest, ClearSelectionClearsWeightsThatTheListsDoNotShow)
{
    auto mesh = MakePlane(kColumns, 4);
    mesh->VertexInfo[0].Select = 0.00005f;   // below the listing threshold
    mesh->BuildSelectedVerticesAndPolygons2(true, false);
    ASSERT_EQ(mesh->SelectedVertexCount, 0);
    mesh->ClearSelection();
    mesh->BuildSelectedVerticesAndPolygons2(true, false);
    EXPECT_EQ(mesh->VertexInfo[0].Select, 0.0f);
    EXPECT_EQ(mesh->SelectedPolygonCount, 0);
}

// ---------------------------------------------------------------------------
// Selected lists
// ---------------------------------------------------------------------------

TEST_F(SelectionEditTest, SelectedListsFollowTheThresholds)
{
    for (bool withOctree : {false, true}) {
        SCOPED_TRACE(withOctree ? "with octree" : "without octree");
        auto mesh = MakePlane(kColumns, 4);
        if (withOctree) mesh->BuildOctree();
        mesh->VertexInfo[0].Select = 0.00005f;
        mesh->VertexInfo[1].Select = 0.0002f;
        mesh->VertexInfo[2].Select = 0.06f;
        mesh->BuildSelectedVerticesAndPolygons2(true, false);

        EXPECT_TRUE(mesh->SelectedListsValid);
        EXPECT_EQ(ListOf(mesh->SelectedVertices, mesh->SelectedVertexCount), (std::vector<int>{1, 2}));
        EXPECT_EQ(mesh->VertexInfo[0].Flags & 0x1202u, 0u);
        EXPECT_EQ(mesh->VertexInfo[1].Flags & 0x1202u, 0x202u);
        EXPECT_EQ(mesh->VertexInfo[2].Flags & 0x1202u, 0x1202u);
        EXPECT_FLOAT_EQ(mesh->MaxSelectionWeight, 0.06f);
        // Vertex type: a polygon with any weighted corner is selected; strongly with 0.06.
        EXPECT_EQ(ListOf(mesh->SelectedPolygons, mesh->SelectedPolygonCount), (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(mesh->PolygonFlags[0] & 0x2C002u, 0xC002u);
        EXPECT_EQ(mesh->PolygonFlags[1] & 0x2C002u, 0x2C002u);
        EXPECT_EQ(mesh->PolygonFlags[3] & 0x2C002u, 0u);
        if (withOctree) {
            ASSERT_FALSE(mesh->leafList.empty());
            bool found = false;
            for (TQOROctreeNode<int>* leaf : mesh->leafList)
                for (int k = leaf->VertexBegin; k < leaf->VertexEnd; ++k)
                    if (mesh->visibleVertices[k] == 2) {
                        found = true;
                        EXPECT_NE(leaf->Flags & QOROctree_Selected, 0u);
                    }
            EXPECT_TRUE(found);
        }

        // A valid list is returned as it stands, even after the weights moved on.
        mesh->VertexInfo[9].Select = 1.0f;
        EXPECT_EQ(mesh->GetSelectedVertexCount(), 2);
        mesh->OnSelectionChanged();
        EXPECT_EQ(mesh->GetSelectedVertexCount(), 3);

        // Nothing selected: empty lists and no leaf marked.
        SetVertexWeights(*mesh, OnlyOnes(16, {}));
        mesh->BuildSelectedVerticesAndPolygons2(true, false);
        EXPECT_EQ(mesh->SelectedVertexCount, 0);
        EXPECT_EQ(mesh->SelectedVertices, nullptr);
        EXPECT_EQ(mesh->SelectedPolygonCount, 0);
        for (TQOROctreeNode<int>* leaf : mesh->leafList) EXPECT_EQ(leaf->Flags & QOROctree_Selected, 0u);
    }
}

TEST_F(SelectionEditTest, PolygonTypeListsConvertPolygonsToVertices)
{
    SelectionType = 1;
    auto mesh = MakePlane(kColumns, 4);
    mesh->Polygons[0].Select = 1e-20f;
    mesh->Polygons[8].Select = 0.5f;
    mesh->BuildSelectedVerticesAndPolygons2(true, false);
    EXPECT_EQ(ListOf(mesh->SelectedPolygons, mesh->SelectedPolygonCount), (std::vector<int>{0, 8}));
    EXPECT_EQ(mesh->PolygonFlags[0] & 0x2C002u, 0x2u);
    EXPECT_EQ(mesh->PolygonFlags[8] & 0x2C002u, 0x2C002u);
    // Quad 8's corners took its weight; quad 0's are below the vertex threshold.
    EXPECT_EQ(ListOf(mesh->SelectedVertices, mesh->SelectedVertexCount), (std::vector<int>{10, 11, 14, 15}));
}

// ---------------------------------------------------------------------------
// Selection symmetry, on a 5 × 3 plane symmetric across x = 0: columns
// x = −2 … 2, column 2 on the plane.
// ---------------------------------------------------------------------------

namespace {

std::set<int> Column(int x) { return {x, 5 + x, 10 + x}; }

std::set<int> Union(std::set<int> a, const std::set<int>& b)
{
    a.insert(b.begin(), b.end());
    return a;
}

}  // namespace

TEST_F(SelectionEditTest, ListsAreBuiltThroughTheActiveSymmetryMap)
{
    auto mesh = MakePlane(5, 3);
    mesh->RestartSymmetryCalculations(0);
    struct Case {
        const char* name;
        std::set<int> selected;
        bool symmetryOn;
        std::set<int> listed;
    };
    const std::vector<Case> cases = {
        {"the negative side lists both halves", Union(Column(0), Column(1)), true,
         Union(Union(Column(0), Column(1)), Union(Column(3), Column(4)))},
        {"the receiving side alone lists nothing", Column(4), true, {}},
        {"without symmetry each vertex answers for itself", Column(4), false, Column(4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mesh->SetActiveSymmetryMap(false, !c.symmetryOn);
        SetVertexWeights(*mesh, OnlyOnes(15, c.selected));
        mesh->BuildSelectedVerticesAndPolygons2(true, false);
        std::vector<int> expected(c.listed.begin(), c.listed.end());
        EXPECT_EQ(ListOf(mesh->SelectedVertices, mesh->SelectedVertexCount), expected);
    }
}

// Asking whether anything is selected on stale lists answers what a rebuild
// would count, in every selection type, and in vertex type leaves the lists
// stale and both weight sets as they were.
TEST_F(SelectionEditTest, HasSelectedVerticesAnswersLikeTheRebuiltCount)
{
    struct Case {
        const char* name;
        std::vector<float> vertexWeights;
        int flaggedVertex;   // gets flagBits, -1 none
        uint32_t flagBits;
        bool symmetryOn;
        std::vector<float> polygonWeights;
    };
    std::vector<float> oneAt4(15, 0.0f), tiny(15, 0.0f), listedTiny(15, 0.0f), negative(15, 0.0f);
    oneAt4[4] = 1.0f;
    tiny[7] = 5e-5f;
    listedTiny[7] = 2e-4f;
    negative[7] = -0.5f;
    std::vector<float> rightColumn = OnlyOnes(15, Column(4)), leftColumn = OnlyOnes(15, Column(0));
    std::vector<float> noPolygons(8, 0.0f), onePolygon(8, 0.0f);
    onePolygon[3] = 0.5f;
    const std::vector<Case> cases = {
        {"nothing", std::vector<float>(15, 0.0f), -1, 0, false, noPolygons},
        {"one vertex", oneAt4, -1, 0, false, onePolygon},
        {"under the listed weight", tiny, -1, 0, false, noPolygons},
        {"just over the listed weight", listedTiny, -1, 0, false, noPolygons},
        {"a negative weight", negative, -1, 0, false, noPolygons},
        {"only a locked vertex", oneAt4, 4, QORPoly_Locked, false, noPolygons},
        {"only a hidden vertex", oneAt4, 4, QORPoly_Hidden, false, noPolygons},
        {"the receiving side alone", rightColumn, -1, 0, true, noPolygons},
        {"the giving side", leftColumn, -1, 0, true, noPolygons},
        {"the receiving side without symmetry", rightColumn, -1, 0, false, noPolygons},
    };
    for (int type : {0, 1, 2}) {
        SelectionType = type;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", type " + std::to_string(type));
            bool answers[2] = {false, false};
            for (int rebuilt : {0, 1}) {
                auto mesh = MakePlane(5, 3);
                mesh->RestartSymmetryCalculations(0);
                mesh->SetActiveSymmetryMap(false, !c.symmetryOn);
                SetVertexWeights(*mesh, c.vertexWeights);
                SetPolygonWeights(*mesh, c.polygonWeights);
                if (c.flaggedVertex >= 0) mesh->VertexInfo[c.flaggedVertex].Flags |= c.flagBits;
                mesh->SelectedListsValid = false;
                if (rebuilt) {
                    answers[1] = mesh->GetSelectedVertexCount() != 0;
                    continue;
                }
                answers[0] = mesh->HasSelectedVertices();
                if (type != 1) {
                    EXPECT_FALSE(mesh->SelectedListsValid);
                    EXPECT_EQ(VertexWeights(*mesh), c.vertexWeights);
                    EXPECT_EQ(PolygonWeights(*mesh), c.polygonWeights);
                }
            }
            EXPECT_EQ(answers[0], answers[1]);
        }
    }
}

TEST_F(SelectionEditTest, MakeSelectionSymmetricCopiesAcrossThePlaneInEitherDirection)
{
    auto mesh = MakePlane(5, 3);
    const std::set<int> plane = Column(2);
    for (bool direction : {false, true}) {
        SCOPED_TRACE(direction ? "towards the negative side" : "towards the positive side");
        std::vector<float> w = OnlyOnes(15, Column(0));
        for (int v : plane) w[size_t(v)] = 0.5f;
        SetVertexWeights(*mesh, w);
        mesh->MakeSelectionSymmetric(direction);
        std::vector<float> expected = OnlyOnes(15, direction ? std::set<int>{} : Union(Column(0), Column(4)));
        for (int v : plane) expected[size_t(v)] = 0.5f;
        EXPECT_EQ(VertexWeights(*mesh), expected);
        EXPECT_TRUE(mesh->SelectedListsValid);
    }

    // Polygons: quads 0 and 4 (x −2…−1) mirror onto quads 3 and 7.
    SelectionType = 1;
    SetPolygonWeights(*mesh, OnlyOnes(8, {0, 4}));
    mesh->MakeSelectionSymmetric(false);
    EXPECT_EQ(PolygonWeights(*mesh), OnlyOnes(8, {0, 3, 4, 7}));
}

TEST_F(SelectionEditTest, SwapSelectionSymmetryTwiceRestoresTheWeights)
{
    auto mesh = MakePlane(5, 3);
    std::vector<float> w(15);
    for (int v = 0; v < 15; ++v) w[size_t(v)] = float(v) / 20.0f;
    SetVertexWeights(*mesh, w);
    mesh->SwapSelectionSymmetry();
    EXPECT_FLOAT_EQ(mesh->VertexInfo[0].Select, w[4]);
    EXPECT_FLOAT_EQ(mesh->VertexInfo[4].Select, w[0]);
    EXPECT_FLOAT_EQ(mesh->VertexInfo[2].Select, w[2]);   // on the plane
    mesh->SwapSelectionSymmetry();
    EXPECT_EQ(VertexWeights(*mesh), w);
}

// ---------------------------------------------------------------------------
// Artifact measure
// ---------------------------------------------------------------------------

TEST_F(SelectionEditTest, ArtifactValuesMeasureCreasesAgainstTheUnmorphedShape)
{
    auto mesh = MakePlane(kColumns, 4);
    mesh->RecalculateNormals(true);
    float* vertexNormals = nullptr;
    float* polygonNormals = nullptr;

    // Unmorphed: nothing creased.
    GetDataForSelectArtifacts(mesh.get(), &vertexNormals, &polygonNormals);
    for (int v = 0; v < 16; ++v) EXPECT_EQ(GetArtifactValue(mesh.get(), v, vertexNormals, polygonNormals), 0.0f);

    // A rigid move of the whole plane creases nothing either.
    for (int i = 0; i < 16; ++i) mesh->resolvedVertices[3 * i + 2] += 0.5f;
    mesh->RecalculateNormals(true);
    GetDataForSelectArtifacts(mesh.get(), &vertexNormals, &polygonNormals);
    for (int v = 0; v < 16; ++v) EXPECT_NEAR(GetArtifactValue(mesh.get(), v, vertexNormals, polygonNormals), 0.0f, 1e-6f);

    // A spike at the interior vertex 5 creases its neighbourhood; the far corner 15 stays flat.
    mesh->resolvedVertices[3 * 5 + 2] += 3.0f;
    mesh->RecalculateNormals(true);
    const std::vector<float> resolved(mesh->resolvedVertices, mesh->resolvedVertices + 48);
    const std::vector<float> normals(mesh->vertexNormals, mesh->vertexNormals + 48);
    GetDataForSelectArtifacts(mesh.get(), &vertexNormals, &polygonNormals);
    EXPECT_EQ(std::vector<float>(mesh->resolvedVertices, mesh->resolvedVertices + 48), resolved)
        << "the mesh ends as it began";
    EXPECT_EQ(std::vector<float>(mesh->vertexNormals, mesh->vertexNormals + 48), normals);
    EXPECT_GT(GetArtifactValue(mesh.get(), 6, vertexNormals, polygonNormals), 0.3f);
    EXPECT_LE(GetArtifactValue(mesh.get(), 6, vertexNormals, polygonNormals), 1.0f);
    EXPECT_NEAR(GetArtifactValue(mesh.get(), 15, vertexNormals, polygonNormals), 0.0f, 1e-6f);
    EXPECT_EQ(GetArtifactValue(mesh.get(), 16, vertexNormals, polygonNormals), 0.0f) << "out of range";
    QORfree(vertexNormals);
    QORfree(polygonNormals);
}

// ---------------------------------------------------------------------------
// A mesh large enough that the refresh is split over the worker pool gives
// what the plain rules give, and the same as with the pool held elsewhere
// (which makes the refresh run in order on the calling thread).
// ---------------------------------------------------------------------------

namespace {

struct TListsState {
    std::vector<float> VertexWeights, PolygonWeights;
    std::vector<uint32_t> VertexFlags, PolygonFlags, LeafFlags;
    std::vector<int> Vertices, Polygons;
    float MaxWeight = 0.0f;
    bool operator==(const TListsState&) const = default;
};

TListsState ListsState(TKSN_Mesh& mesh)
{
    TListsState s;
    for (int v = 0; v < mesh.vertexCount; ++v) {
        s.VertexWeights.push_back(mesh.VertexInfo[v].Select);
        s.VertexFlags.push_back(mesh.VertexInfo[v].Flags);
    }
    for (int p = 0; p < mesh.polygonCount; ++p) {
        s.PolygonWeights.push_back(mesh.Polygons[p].Select);
        s.PolygonFlags.push_back(mesh.PolygonFlags[p]);
    }
    for (TQOROctreeNode<int>* leaf : mesh.leafList) s.LeafFlags.push_back(leaf->Flags & QOROctree_Selected);
    s.Vertices = ListOf(mesh.SelectedVertices, mesh.SelectedVertexCount);
    s.Polygons = ListOf(mesh.SelectedPolygons, mesh.SelectedPolygonCount);
    s.MaxWeight = mesh.MaxSelectionWeight;
    return s;
}

// Seeded weights with zeros, tiny weights under each threshold and a few
// locked vertices and polygons.
void SeedLargePlane(TKSN_Mesh& mesh)
{
    uint32_t state = 777u;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const float tiny[] = {0.0f, 5e-5f, 2e-4f, 0.04f, 0.06f, 1e-31f, 1e-20f};
    for (int v = 0; v < mesh.vertexCount; ++v) {
        const uint32_t r = next();
        mesh.VertexInfo[v].Select = r % 3 == 0 ? tiny[r % 7] : float(r % 1000) / 1000.0f * float(r % 5 != 0);
        if (r % 97 == 0) mesh.VertexInfo[v].Flags |= QORPoly_Locked;
    }
    for (int p = 0; p < mesh.polygonCount; ++p) {
        const uint32_t r = next();
        mesh.Polygons[p].Select = r % 4 == 0 ? tiny[r % 7] : float(r % 1000) / 1000.0f * float(r % 3 != 0);
        if (r % 89 == 0) mesh.PolygonFlags[p] |= QORPoly_Locked;
    }
}

}  // namespace

TEST_F(SelectionEditTest, ListsOfALargeMeshFollowThePlainRulesOnThePoolAndOffIt)
{
    constexpr int kSide = 200;   // 40,000 vertices, 39,601 quads
    for (int type : {0, 1}) {
        SCOPED_TRACE(type == 0 ? "vertex type" : "polygon type");
        SelectionType = type;
        TListsState states[2];
        for (bool poolHeld : {false, true}) {
            auto mesh = MakePlane(kSide, kSide);
            mesh->BuildOctree();
            SeedLargePlane(*mesh);
            ASSERT_GT(mesh->leafList.size(), 1u);
            if (!ThreadCruncher) ThreadCruncher_Initialize();
            TThreadCruncher_Releaser releaser;
            if (poolHeld) ThreadCruncher->StartUsing(releaser);
            mesh->BuildSelectedVerticesAndPolygons2(true, false);
            states[poolHeld ? 1 : 0] = ListsState(*mesh);
        }
        const TListsState& s = states[0];
        EXPECT_TRUE(s == states[1]);

        // The plain rules, item by item.
        auto mesh = MakePlane(kSide, kSide);
        SeedLargePlane(*mesh);
        if (type == 0) mesh->ConvertSelectedVerticesToPolygons();
        else mesh->ConvertSelectedPolygonsToVertices();
        auto locked = [](uint32_t flags) { return (flags & QORPoly_Locked) != 0; };
        std::vector<int> vertices, polygons;
        float largest = 0.0f;
        int wrong = 0;
        for (int v = 0; v < mesh->vertexCount; ++v) {
            const float w = mesh->VertexInfo[v].Select;
            wrong += s.VertexWeights[size_t(v)] != w;
            const bool usable = !locked(mesh->VertexInfo[v].Flags);
            if (usable) largest = std::max(largest, w);
            const uint32_t expected = usable ? (std::fabs(w) > 1e-4f ? 0x202u : 0u) | (std::fabs(w) > 0.0499f ? 0x1000u : 0u) : 0u;
            if (expected & 0x2u) vertices.push_back(v);
            wrong += (s.VertexFlags[size_t(v)] & 0x1202u) != expected;
        }
        for (int p = 0; p < mesh->polygonCount; ++p) {
            const TQORPolygon& q = mesh->Polygons[p];
            wrong += s.PolygonWeights[size_t(p)] != q.Select;
            uint32_t expected = 0;
            if (type == 1) {
                if (q.Select > 0.0499f) expected |= 0x2C000u;
                if (q.Select > 1e-30f) expected |= 0x2u;
            } else {
                for (int k = 0; k < q.Count; ++k) {
                    const float a = std::fabs(mesh->VertexInfo[q.Points[k].V].Select);
                    if (a > 0.0499f) expected |= 0x20000u;
                    if (a >= 1e-30f) expected |= 0xC002u;
                }
            }
            if (expected & 0x2u) polygons.push_back(p);
            wrong += (s.PolygonFlags[size_t(p)] & 0x2C002u) != expected;
        }
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(s.Vertices, vertices);
        EXPECT_EQ(s.Polygons, polygons);
        EXPECT_EQ(s.MaxWeight, largest);
        EXPECT_NE(std::count(s.LeafFlags.begin(), s.LeafFlags.end(), 0u), std::ptrdiff_t(s.LeafFlags.size()));
    }
}

// The full-selection update marks exactly the leaves the octree's own rule
// marks, whichever items of a leaf carry the weight: only vertices, only
// polygons, both, or none at all.
TEST_F(SelectionEditTest, FullSelectionUpdateMarksTheLeavesTheOctreeRuleMarks)
{
    // kStraddling: one polygon whose corners in its own leaf are locked and
    // without weight while its corners in other leaves are weighted, so that
    // only the polygon tells its leaf that it holds weight.
    enum Where { kNowhere, kVerticesOnly, kPolygonsOnly, kStraddling, kSeeded };
    const struct {
        const char* name;
        int type;
        Where where;
    } cases[] = {{"seeded, vertex type", 0, kSeeded},
                 {"seeded, polygon type", 1, kSeeded},
                 {"one vertex, vertex type", 0, kVerticesOnly},
                 {"one polygon, polygon type", 1, kPolygonsOnly},
                 {"nothing, vertex type", 0, kNowhere},
                 {"seeded, type 2 (no conversion)", 2, kSeeded},
                 {"one vertex, type 2", 2, kVerticesOnly},
                 {"one polygon, type 2", 2, kPolygonsOnly},
                 {"a polygon weighted only through other leaves' corners, vertex type", 0, kStraddling}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SelectionType = c.type;
        auto mesh = MakePlane(200, 200);
        mesh->BuildOctree();
        ASSERT_GT(mesh->leafList.size(), 1u);
        if (c.where == kSeeded) {
            SeedLargePlane(*mesh);
            // A band without any weight, so that some leaves stay unmarked.
            for (int v = 0; v < mesh->vertexCount / 2; ++v) mesh->VertexInfo[v].Select = 0.0f;
            for (int p = 0; p < mesh->polygonCount / 2; ++p) mesh->Polygons[p].Select = 0.0f;
        } else {
            for (int v = 0; v < mesh->vertexCount; ++v) mesh->VertexInfo[v].Select = 0.0f;
            for (int p = 0; p < mesh->polygonCount; ++p) mesh->Polygons[p].Select = 0.0f;
            if (c.where == kVerticesOnly) mesh->VertexInfo[mesh->vertexCount - 1].Select = 0.5f;
            if (c.where == kPolygonsOnly) mesh->Polygons[mesh->polygonCount - 1].Select = 0.5f;
        }
        if (c.where == kStraddling) {
            const int shownVertices = mesh->GetVisibleVertexCount(), shownPolygons = mesh->GetVisiblePolygonCount();
            std::vector<int> leafOf(size_t(mesh->vertexCount), -1);
            for (size_t l = 0; l < mesh->leafList.size(); ++l)
                for (int i = std::max(mesh->leafList[l]->VertexBegin, 0);
                     i < std::min(mesh->leafList[l]->VertexEnd, shownVertices); ++i)
                    leafOf[size_t(mesh->visibleVertices[i])] = int(l);
            int straddling = -1, straddlingLeaf = -1;
            for (size_t l = 0; l < mesh->leafList.size() && straddling < 0; ++l)
                for (int i = std::max(mesh->leafList[l]->PolygonBegin, 0);
                     i < std::min(mesh->leafList[l]->PolygonEnd, shownPolygons) && straddling < 0; ++i) {
                    const TQORPolygon& q = mesh->Polygons[mesh->visiblePolygons[i]];
                    bool away = false;
                    for (int k = 0; k < q.Count; ++k) away |= leafOf[size_t(q.Points[k].V)] != int(l);
                    if (away) {
                        straddling = mesh->visiblePolygons[i];
                        straddlingLeaf = int(l);
                    }
                }
            ASSERT_GE(straddling, 0) << "no polygon reaches into another leaf";
            const TQORPolygon& q = mesh->Polygons[straddling];
            for (int k = 0; k < q.Count; ++k) {
                TQORVertexInfo& corner = mesh->VertexInfo[q.Points[k].V];
                if (leafOf[size_t(q.Points[k].V)] == straddlingLeaf)
                    corner.Flags |= QORPoly_Locked;
                else
                    corner.Select = 0.5f;
            }
        }
        // Stale marks both ways, which the update must not keep.
        for (size_t l = 0; l < mesh->leafList.size(); ++l)
            mesh->leafList[l]->Flags |= l % 2 ? QOROctree_Selected : 0u;
        mesh->AfterFullSelection();
        std::vector<uint32_t> got;
        for (TQOROctreeNode<int>* leaf : mesh->leafList) got.push_back(leaf->Flags & QOROctree_Selected);
        mesh->UpdateOctreeSelectedFlags();
        std::vector<uint32_t> expected;
        for (TQOROctreeNode<int>* leaf : mesh->leafList) expected.push_back(leaf->Flags & QOROctree_Selected);
        EXPECT_TRUE(got == expected);
        const auto marked = std::count(expected.begin(), expected.end(), QOROctree_Selected);
        if (c.where == kNowhere) {
            EXPECT_EQ(marked, 0);
        } else {
            EXPECT_GT(marked, 0);
        }
        if (c.where == kSeeded) {
            EXPECT_LT(marked, std::ptrdiff_t(expected.size()));
        }
    }
}

TEST_F(SelectionEditTest, GrowAndShrinkOfALargeMeshGiveTheSameOnThePoolAndOffIt)
{
    for (int type : {0, 1}) {
        SCOPED_TRACE(type == 0 ? "vertex type" : "polygon type");
        SelectionType = type;
        std::vector<float> weights[2][2];
        for (bool poolHeld : {false, true}) {
            auto mesh = MakePlane(200, 200);
            mesh->BuildOctree();
            SeedLargePlane(*mesh);
            if (!ThreadCruncher) ThreadCruncher_Initialize();
            TThreadCruncher_Releaser releaser;
            if (poolHeld) ThreadCruncher->StartUsing(releaser);
            mesh->GrowSelection();
            weights[poolHeld][0] = type == 0 ? VertexWeights(*mesh) : PolygonWeights(*mesh);
            mesh->ShrinkSelection();
            weights[poolHeld][1] = type == 0 ? VertexWeights(*mesh) : PolygonWeights(*mesh);
        }
        EXPECT_TRUE(weights[0][0] == weights[1][0]);
        EXPECT_TRUE(weights[0][1] == weights[1][1]);
        // Growing changed something, and shrinking moved it again.
        EXPECT_FALSE(weights[0][0] == weights[0][1]);
    }
}

// Grow and shrink of a large seeded plane, bit for bit against the walk of
// every neighbour of every neighbour in order; with a −0 or a NaN weight among
// them as well, where grouping the folds differently would change the bits;
// and with a band of hidden polygons, so that the visible lists leave items out.
TEST_F(SelectionEditTest, GrowAndShrinkOfALargeMeshEqualThePlainWalkBitForBit)
{
    auto bits = [](const std::vector<float>& w) {
        std::vector<uint32_t> b(w.size());
        std::memcpy(b.data(), w.data(), w.size() * sizeof(float));
        return b;
    };
    struct Odd {
        const char* name;
        float value;
        bool hideBand = false;
    };
    const Odd odds[] = {{"plain weights", 0.25f},
                        {"a negative zero", -0.0f},
                        {"a NaN", std::nanf("")},
                        {"hidden polygons", 0.25f, true}};
    for (int type : {0, 1}) {
        SelectionType = type;
        for (const Odd& odd : odds)
            for (bool grow : {true, false}) {
                SCOPED_TRACE(std::string(odd.name) + (type == 0 ? ", vertex type" : ", polygon type") +
                             (grow ? ", grow" : ", shrink"));
                auto mesh = MakePlane(120, 90);
                if (odd.hideBand) {
                    // Whole rows, so that the vertices between them are hidden too.
                    for (int p = 2000; p < 2600; ++p) mesh->PolygonFlags[p] |= QORPoly_Hidden;
                    mesh->BuildVisiblePolygons(false);
                    ASSERT_LT(mesh->GetVisiblePolygonCount(), mesh->polygonCount);
                    ASSERT_LT(mesh->GetVisibleVertexCount(), mesh->vertexCount);
                }
                mesh->BuildOctree();
                SeedLargePlane(*mesh);
                // Exact zeros of both signs next to each other.
                for (int i = 0; i < 40; ++i) {
                    mesh->VertexInfo[300 + 2 * i].Select = odd.value;
                    mesh->Polygons[300 + 2 * i].Select = odd.value;
                    mesh->VertexInfo[301 + 2 * i].Select = 0.0f;
                    mesh->Polygons[301 + 2 * i].Select = 0.0f;
                }
                mesh->CalculateOpenEdges();
                if (mesh->vertexPolygons.GetRowCount() != mesh->vertexCount) mesh->BuildVertexPolygons();
                auto pick = [grow](float a, float b) { return grow ? std::max(a, b) : std::min(a, b); };
                auto vertexSkipped = [&](int v) { return (mesh->VertexInfo[v].Flags & (QORPoly_Hidden | QORPoly_Locked)) != 0; };
                auto polygonSkipped = [&](int p) { return (mesh->PolygonFlags[p] & (QORPoly_Hidden | QORPoly_Locked)) != 0; };
                auto polygonsOf = [&](int v) {
                    const int* row = mesh->vertexPolygons.GetRow(v);
                    return std::vector<int>(row + 1, row + 1 + row[0]);
                };
                std::vector<float> expected = type == 0 ? VertexWeights(*mesh) : PolygonWeights(*mesh);
                if (type == 0) {
                    for (int v = 0; v < mesh->vertexCount; ++v) {
                        if (vertexSkipped(v)) continue;
                        const bool border = !grow && (mesh->VertexInfo[v].Flags & QORVertex_OpenEdge) != 0;
                        float value = border ? 0.0f : mesh->VertexInfo[v].Select;
                        for (int p : polygonsOf(v))
                            for (int k = 0; k < mesh->Polygons[p].Count; ++k) {
                                const int u = mesh->Polygons[p].Points[k].V;
                                if (!vertexSkipped(u)) value = pick(value, mesh->VertexInfo[u].Select);
                            }
                        expected[size_t(v)] = std::clamp(value, 0.0f, 1.0f);
                    }
                } else {
                    for (int p = 0; p < mesh->polygonCount; ++p) {
                        if (polygonSkipped(p)) continue;
                        const TQORPolygon& q = mesh->Polygons[p];
                        bool border = false;
                        for (int k = 0; k < q.Count && !grow; ++k)
                            border |= (mesh->VertexInfo[q.Points[k].V].Flags & QORVertex_OpenEdge) != 0;
                        float value = border ? 0.0f : q.Select;
                        for (int k = 0; k < q.Count; ++k)
                            for (int r : polygonsOf(q.Points[k].V))
                                if (!polygonSkipped(r)) value = pick(value, mesh->Polygons[r].Select);
                        expected[size_t(p)] = std::clamp(value, 0.0f, 1.0f);
                    }
                }
                if (grow)
                    mesh->GrowSelection();
                else
                    mesh->ShrinkSelection();
                const std::vector<float> got = type == 0 ? VertexWeights(*mesh) : PolygonWeights(*mesh);
                EXPECT_TRUE(bits(got) == bits(expected));
            }
    }
}
