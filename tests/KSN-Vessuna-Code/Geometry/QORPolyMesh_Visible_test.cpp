// Polygon mesh visible lists, layer masks and texture-coordinate utilities.
#include "GeometryTestSupport.h"
#include "QORPolyMesh_Visible.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

using GeometryTest::MakeMesh;

std::vector<int> VisiblePolygons(const TQORPolyMesh& mesh)
{
    return std::vector<int>(mesh.visiblePolygons, mesh.visiblePolygons + mesh.visiblePolygonCount);
}

std::vector<int> VisibleVertices(const TQORPolyMesh& mesh)
{
    return std::vector<int>(mesh.visibleVertices, mesh.visibleVertices + mesh.visibleVertexCount);
}

// Four triangles over vertices 0..5 (vertex 6 unused): 0 (0,1,2), 1 (1,2,3),
// 2 (3,4,5), 3 (0,4,5), with layer masks 0x1, 0x2, 0x4, 0x8.
std::unique_ptr<TQORPolyMesh> MakeStrip()
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}, {5, 5, 5}},
                         {{0, 1, 2}, {1, 2, 3}, {3, 4, 5}, {0, 4, 5}});
    for (int p = 0; p < 4; ++p) mesh->Polygons[p].LayerFlags = 1u << p;
    mesh->BuildVertexPolygons();
    return mesh;
}

void AddMaterials(TQORPolyMesh& mesh, int count)
{
    for (int i = 0; i < count; ++i) {
        auto* m = new TQORMaterial();
        m->SetName("m%d", i);
        mesh.Materials->AddItem(m);
    }
}

TEST(PolyMeshVisible, HiddenPolygonsAndTheirOnlyVerticesDropOut)
{
    struct Case {
        const char* name;
        std::vector<int> hidden;
        std::vector<int> polygons, vertices;
        uint32_t visibleMask, usedMask;
    };
    const std::vector<Case> cases = {
        {"nothing hidden", {}, {0, 1, 2, 3}, {0, 1, 2, 3, 4, 5}, 0xF, 0xF},
        // Vertex 3 is shared by hidden polygon 1 and visible polygon 2.
        {"one hidden", {1}, {0, 2, 3}, {0, 1, 2, 3, 4, 5}, 0xD, 0xF},
        {"two hidden", {0, 1}, {2, 3}, {0, 3, 4, 5}, 0xC, 0xF},
        {"all hidden", {0, 1, 2, 3}, {}, {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto mesh = MakeStrip();
        // A stale hidden bit on a vertex is overwritten.
        mesh->VertexInfo[0].Flags = QORPoly_Hidden;
        for (int p : c.hidden) mesh->PolygonFlags[p] = QORPoly_Hidden;
        EXPECT_EQ(mesh->GetVisiblePolygonCount(), int(c.polygons.size()));
        EXPECT_EQ(VisiblePolygons(*mesh), c.polygons);
        EXPECT_EQ(VisibleVertices(*mesh), c.vertices);
        EXPECT_EQ(mesh->VisibleLayerMask, c.visibleMask);
        EXPECT_EQ(mesh->UsedLayerMask, c.usedMask);
        EXPECT_TRUE(mesh->VertexInfo[6].Flags & QORPoly_Hidden);   // used by no polygon
        for (int v : c.vertices) EXPECT_FALSE(mesh->VertexInfo[v].Flags & QORPoly_Hidden);
    }
}

TEST(PolyMeshVisible, AllMakesEverythingVisible)
{
    auto mesh = MakeStrip();
    mesh->PolygonFlags[1] = QORPoly_Hidden;
    mesh->VertexInfo[6].Flags = QORPoly_Hidden | QORPoly_Locked;
    mesh->BuildVisiblePolygons(true);
    EXPECT_EQ(VisiblePolygons(*mesh), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(VisibleVertices(*mesh), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(mesh->VertexInfo[6].Flags, uint32_t(QORPoly_Locked));
    EXPECT_EQ(mesh->VisibleLayerMask, 0xFu);
    EXPECT_EQ(mesh->UsedLayerMask, 0xFu);
    EXPECT_TRUE(mesh->AreVisibleListsValid());
}

TEST(PolyMeshVisible, VisiblePolygonsAreGroupedByMaterial)
{
    struct Case {
        const char* name;
        std::vector<int> materials;
        std::vector<int> hidden;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        {"none first, stable within a material", {1, -1, 0, 1}, {}, {1, 2, 0, 3}},
        {"hidden polygons are left out", {1, -1, 0, 1}, {2}, {1, 0, 3}},
        {"unknown material keeps index order", {1, 5, 0, 1}, {}, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto mesh = MakeStrip();
        AddMaterials(*mesh, 2);
        for (size_t p = 0; p < c.materials.size(); ++p) mesh->Polygons[p].Material = int16_t(c.materials[p]);
        for (int p : c.hidden) mesh->PolygonFlags[p] = QORPoly_Hidden;
        mesh->BuildVisiblePolygons(false);
        EXPECT_EQ(VisiblePolygons(*mesh), c.expected);
    }
}

TEST(PolyMeshVisible, ListsFollowAStaleVertexTableAndAPolygonWithoutCorners)
{
    auto mesh = MakeStrip();
    mesh->Polygons[1].SetCount(0);   // visible, but places no vertex
    mesh->vertexPolygons.Clean();    // as after a resize: no rows for the vertices
    EXPECT_EQ(mesh->GetVisibleVertexCount(), 6);
    EXPECT_EQ(VisiblePolygons(*mesh), (std::vector<int>{0, 1, 2, 3}));
    for (int p : VisiblePolygons(*mesh)) {
        EXPECT_GE(p, 0);
        EXPECT_LT(p, mesh->polygonCount);
    }
}

TEST(PolyMeshTextureCoordinates, FixUVMappingRepairsIndicesAndNumbers)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}},
                         {{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    mesh->baseVertices[4] = nan;
    mesh->baseVertices[11] = -inf;
    mesh->tVertices[3] = inf;
    mesh->Polygons[0].Points[1].V = 10;   // names no vertex of the 4
    mesh->Polygons[0].Points[2].VT = 7;
    mesh->Polygons[1].Points[0].VT = -1;
    TQORPolygonPoint* array = mesh->Polygons[0].Points;

    mesh->FixUVMapping();
    EXPECT_EQ(mesh->baseVertices[4], 0.0f);
    EXPECT_EQ(mesh->baseVertices[11], 0.0f);
    EXPECT_EQ(mesh->tVertices[3], 0.0f);
    const TQORPolygon& p = mesh->Polygons[0];
    ASSERT_EQ(p.Count, 2);
    EXPECT_EQ(p.Points, array);   // the array keeps its pool slot
    EXPECT_EQ(p.Points[0].V, 0);
    EXPECT_EQ(p.Points[0].VT, 0);
    EXPECT_EQ(p.Points[1].V, 2);
    EXPECT_EQ(p.Points[1].VT, 0);   // 7 was out of range
    EXPECT_EQ(mesh->Polygons[1].Points[0].VT, 0);

    // Without texture vertices a missing one stays missing.
    auto bare = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    bare->Polygons[0].Points[0].VT = 4;
    bare->FixUVMapping();
    EXPECT_EQ(bare->Polygons[0].Points[0].VT, -1);
    EXPECT_EQ(bare->Polygons[0].Points[1].VT, -1);
}

TEST(PolyMeshTextureCoordinates, NormalizeUVsFillsTheUnitSquareWithTheMargin)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {{0.2f, 0.5f}, {0.6f, 0.7f}, {0.4f, 0.6f}});
    const float margin[2] = {0.01f, 0.01f};
    mesh->NormalizeUVs(margin, false);
    EXPECT_NEAR(mesh->tVertices[0], 0.01f / 0.42f, 1e-6f);   // ≈ 0.0238
    EXPECT_NEAR(mesh->tVertices[2], 0.41f / 0.42f, 1e-6f);   // ≈ 0.9762
    EXPECT_NEAR(mesh->tVertices[1], 0.01f / 0.22f, 1e-6f);   // ≈ 0.0455
    EXPECT_NEAR(mesh->tVertices[3], 0.21f / 0.22f, 1e-6f);
    EXPECT_NEAR(mesh->tVertices[4], 0.5f, 1e-6f);

    // One shared u: the extent is twice the margin, or 1 without a margin.
    struct Case {
        float margin;
        float expectedU;
    };
    for (const Case& c : {Case{0.01f, 0.5f}, Case{0.0f, 0.0f}}) {
        SCOPED_TRACE(c.margin);
        auto flat =
            MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {{0.3f, 0.1f}, {0.3f, 0.9f}, {0.3f, 0.5f}});
        const float m[2] = {c.margin, c.margin};
        flat->NormalizeUVs(m, false);
        for (int t = 0; t < 3; ++t) EXPECT_NEAR(flat->tVertices[2 * t], c.expectedU, 1e-5f);
    }
}

TEST(PolyMeshTextureCoordinates, NormalizeUVsMarkedOnly)
{
    // Polygon 0 uses texture vertices 0, 1, 2; polygon 1 uses 2, 3, 4.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 2, 0}}, {{0, 1, 2}, {2, 3, 4}},
                         {{0.1f, 0.1f}, {0.3f, 0.1f}, {0.1f, 0.3f}, {0.5f, 0.5f}, {0.9f, 0.9f}});
    const std::vector<float> before(mesh->tVertices, mesh->tVertices + 10);
    const float zero[2] = {0.0f, 0.0f};
    mesh->NormalizeUVs(zero, true);   // nothing marked
    EXPECT_EQ(std::vector<float>(mesh->tVertices, mesh->tVertices + 10), before);

    // Polygon 0 marked: texture vertex 2 follows polygon 1 (the last user), so
    // only 0 and 1 are chosen; they span u 0.1..0.3 and share v 0.1.
    mesh->PolygonFlags[0] = QORPoly_Custom;
    mesh->NormalizeUVs(zero, true);
    EXPECT_FLOAT_EQ(mesh->tVertices[0], 0.0f);
    EXPECT_FLOAT_EQ(mesh->tVertices[2], 1.0f);
    EXPECT_FLOAT_EQ(mesh->tVertices[1], 0.0f);
    for (int i = 4; i < 10; ++i) EXPECT_EQ(mesh->tVertices[i], before[size_t(i)]);
}

TEST(PolyMeshTextureCoordinates, SetActiveUVWsKeepsShownViewportsOnly)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    KSN_SetViewportShownQuery([](int viewport) { return viewport == 0; });
    for (int j : {0, 1, 3}) mesh->SetActiveUVWs(j);
    EXPECT_NE(mesh->ViewportUVWs[3], nullptr);
    EXPECT_NE(mesh->ViewportUVWs[0], nullptr);
    EXPECT_EQ(mesh->ViewportUVWs[1], nullptr);   // freed when 3 became active
    mesh->ViewportUVWs[1] = static_cast<float*>(QORalloc(36));

    float* kept = mesh->ViewportUVWs[0];
    mesh->SetActiveUVWs(2);
    EXPECT_EQ(mesh->ViewportUVWs[0], kept);
    EXPECT_NE(mesh->ViewportUVWs[2], nullptr);
    EXPECT_EQ(mesh->ViewportUVWs[1], nullptr);
    EXPECT_EQ(mesh->ViewportUVWs[3], nullptr);

    // Without an answer from the shell only the active viewport keeps its array.
    KSN_SetViewportShownQuery(nullptr);
    mesh->SetActiveUVWs(2);
    EXPECT_EQ(mesh->ViewportUVWs[0], nullptr);
    EXPECT_NE(mesh->ViewportUVWs[2], nullptr);
}

}  // namespace
