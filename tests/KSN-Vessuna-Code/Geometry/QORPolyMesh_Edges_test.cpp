// Polygon mesh topology: texture-vertex and neighbour tables, edges with
// their texture sides and polygons, open edges and texture seams.
#include "GeometryTestSupport.h"

#include <array>
#include <utility>
#include <vector>

namespace {

using GeometryTest::MakeMesh;

// Triangles (0, 1, 2) and (1, 3, 2) sharing edge (1, 2); texture vertex i at
// vertex i, plus two more texture vertices (4, 5) elsewhere for seams.
std::unique_ptr<TQORPolyMesh> MakeTrianglePair()
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}},
                         {{0, 0}, {1, 0}, {0, 1}, {1, 1}});
    return mesh;
}

// Adds texture vertices 4 = (0.5, 0.2) and 5 = (0.2, 0.5).
void AddSeamTextureVertices(TQORPolyMesh& mesh)
{
    mesh.SetTVertexCount(6);
    const float uv[4] = {0.5f, 0.2f, 0.2f, 0.5f};
    for (int i = 0; i < 4; ++i) mesh.tVertices[8 + i] = uv[i];
}

void BuildTopology(TQORPolyMesh& mesh)
{
    mesh.BuildVertexPolygons();
    mesh.BuildTVertexPolygons();
    mesh.CalculateOpenEdges();
    mesh.BuildPolygonEdges();
}

const TQORPolygonEdge* FindEdge(const TQORPolyMesh& mesh, int v1, int v2)
{
    for (const TQORPolygonEdge& e : mesh.Edges)
        if (e.V1 == v1 && e.V2 == v2) return &e;
    return nullptr;
}

std::vector<std::pair<int, int>> EdgePairs(const TQORPolyMesh& mesh)
{
    std::vector<std::pair<int, int>> pairs;
    for (const TQORPolygonEdge& e : mesh.Edges) pairs.emplace_back(e.V1, e.V2);
    return pairs;
}

std::vector<int> Row(const TQORLookupTable& table, int row)
{
    const int* r = table[row];
    return std::vector<int>(r + 1, r + 1 + r[0]);
}

std::unique_ptr<TQORPolyMesh> MakeCube()
{
    return MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
                    {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}});
}

TEST(PolyMeshEdges, SharedEdgeWithoutSeam)
{
    auto mesh = MakeTrianglePair();
    BuildTopology(*mesh);

    const std::vector<std::pair<int, int>> expected = {{0, 1}, {0, 2}, {1, 2}, {1, 3}, {2, 3}};
    EXPECT_EQ(EdgePairs(*mesh), expected);
    EXPECT_EQ(mesh->EdgeCount, 5);
    const TQORPolygonEdge* e = FindEdge(*mesh, 1, 2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ((std::array<int, 4>{e->PolygonSlots[0], e->PolygonSlots[1], e->PolygonSlots[2], e->PolygonSlots[3]}),
              (std::array<int, 4>{0, 1, -1, -1}));
    EXPECT_EQ(e->SideA[0], 1);
    EXPECT_EQ(e->SideA[1], 2);
    EXPECT_EQ(e->SideB[0], 1);
    EXPECT_EQ(e->SideB[1], 2);
    EXPECT_FALSE(e->Mark);

    // The edge-polygon table: one row per edge, its polygons.
    EXPECT_EQ(Row(mesh->EdgePolygons, 2), (std::vector<int>{0, 1}));
    EXPECT_EQ(Row(mesh->EdgePolygons, 3), (std::vector<int>{1}));

    // Every vertex of the open pair lies on an open edge; none on a seam.
    for (int v = 0; v < 4; ++v) {
        SCOPED_TRACE(v);
        const uint32_t flags = mesh->VertexInfo[v].Flags;
        EXPECT_EQ(flags & (QORVertex_OpenEdge | QORVertex_TextureSeam), uint32_t(QORVertex_OpenEdge));
    }
    // The texture-vertex table lists each texture vertex's polygons.
    EXPECT_EQ(Row(mesh->TVertexPolygons, 1), (std::vector<int>{0, 1}));
    EXPECT_EQ(Row(mesh->TVertexPolygons, 3), (std::vector<int>{1}));
}

TEST(PolyMeshEdges, SeamKeepsBothSidesAndMarksItsVertices)
{
    auto mesh = MakeTrianglePair();
    AddSeamTextureVertices(*mesh);
    mesh->Polygons[1].Points[0].VT = 4;   // vertex 1
    mesh->Polygons[1].Points[2].VT = 5;   // vertex 2
    BuildTopology(*mesh);

    const TQORPolygonEdge* e = FindEdge(*mesh, 1, 2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->SideA[0], 1);
    EXPECT_EQ(e->SideA[1], 2);
    EXPECT_EQ(e->SideB[0], 4);
    EXPECT_EQ(e->SideB[1], 5);
    EXPECT_EQ(mesh->EdgeCount, 5);

    struct Ask {
        int first, ownFirst, ownSecond, wantFirst, wantSecond;
    };
    const Ask asks[] = {
        {1, 1, 2, 4, 5},   // polygon 0 from V1 gets polygon 1's
        {1, 4, 5, 1, 2},   // polygon 1 gets polygon 0's
        {2, 2, 1, 5, 4},   // asked from the V2 end
        {2, 5, 4, 2, 1},
    };
    for (const Ask& a : asks) {
        SCOPED_TRACE(a.first * 100 + a.ownFirst * 10 + a.ownSecond);
        int vtFirst = -9, vtSecond = -9;
        e->GetOppositeVTs(vtFirst, vtSecond, a.first, 0, a.ownFirst, a.ownSecond);
        EXPECT_EQ(vtFirst, a.wantFirst);
        EXPECT_EQ(vtSecond, a.wantSecond);
    }

    const uint32_t seam[4] = {0, QORVertex_TextureSeam, QORVertex_TextureSeam, 0};
    for (int v = 0; v < 4; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(mesh->VertexInfo[v].Flags & QORVertex_TextureSeam, seam[v]);
    }
}

TEST(PolyMeshEdges, EitherAxisOfEitherEndMakesASeam)
{
    // Polygon 1 gets its own texture vertices 4 (at vertex 1) and 5 (at
    // vertex 2); texture vertices 1 = (1, 0) and 2 = (0, 1) are polygon 0's.
    struct Case {
        const char* name;
        float uv4[2], uv5[2];
        bool seam;
    };
    const Case cases[] = {
        {"same coordinates, other indices", {1, 0}, {0, 1}, false},
        {"only V differs at the first end", {1, 0.25f}, {0, 1}, true},
        {"only U differs at the first end", {0.75f, 0}, {0, 1}, true},
        {"only V differs at the second end", {1, 0}, {0, 0.5f}, true},
        {"only U differs at the second end", {1, 0}, {0.5f, 1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto mesh = MakeTrianglePair();
        mesh->SetTVertexCount(6);
        mesh->tVertices[8] = c.uv4[0];
        mesh->tVertices[9] = c.uv4[1];
        mesh->tVertices[10] = c.uv5[0];
        mesh->tVertices[11] = c.uv5[1];
        mesh->Polygons[1].Points[0].VT = 4;   // vertex 1
        mesh->Polygons[1].Points[2].VT = 5;   // vertex 2
        BuildTopology(*mesh);
        const TQORPolygonEdge* e = FindEdge(*mesh, 1, 2);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->SideA[0], 1);
        EXPECT_EQ(e->SideA[1], 2);
        EXPECT_EQ(e->SideB[0], c.seam ? 4 : 1);
        EXPECT_EQ(e->SideB[1], c.seam ? 5 : 2);
    }
}

TEST(PolyMeshEdges, APolygonPassingAnEdgeTwiceTakesOneSlot)
{
    // Polygon 0 (0, 1, 2, 1) runs along edges (0, 1) and (1, 2) there and back;
    // polygon 1 shares edge (1, 2).
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2, 1}, {1, 3, 2}});
    BuildTopology(*mesh);
    EXPECT_EQ(EdgePairs(*mesh), (std::vector<std::pair<int, int>>{{0, 1}, {1, 2}, {1, 3}, {2, 3}}));
    auto slots = [](const TQORPolygonEdge* e) {
        return std::array<int, 4>{e->PolygonSlots[0], e->PolygonSlots[1], e->PolygonSlots[2], e->PolygonSlots[3]};
    };
    const TQORPolygonEdge* back = FindEdge(*mesh, 0, 1);
    const TQORPolygonEdge* shared = FindEdge(*mesh, 1, 2);
    ASSERT_NE(back, nullptr);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(slots(back), (std::array<int, 4>{0, -1, -1, -1}));
    EXPECT_EQ(slots(shared), (std::array<int, 4>{0, 1, -1, -1}));
    // The edge-polygon table, unlike the slots, lists polygon 0 once per corner at vertex 1.
    EXPECT_EQ(Row(mesh->EdgePolygons, int(shared - mesh->Edges.data())), (std::vector<int>{0, 0, 1}));
}

TEST(PolyMeshEdges, CornerWithoutTextureVertexIsASeamSide)
{
    // Either side of edge (1, 2) may lack a texture vertex at vertex 1; the
    // comparison treats the missing one as another side and never reads it.
    struct Case {
        const char* name;
        int polygon, corner;
        int sideA0, sideB0;
    };
    const Case cases[] = {
        {"second side without", 1, 0, 1, -1},
        {"first side without", 0, 1, -1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto mesh = MakeTrianglePair();
        mesh->Polygons[size_t(c.polygon)].Points[c.corner].VT = -1;
        BuildTopology(*mesh);
        const TQORPolygonEdge* e = FindEdge(*mesh, 1, 2);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->SideA[0], c.sideA0);
        EXPECT_EQ(e->SideB[0], c.sideB0);
        EXPECT_EQ(e->SideA[1], 2);
        EXPECT_EQ(e->SideB[1], 2);
    }

    // The vertex test passes over a leading −1 and counts a later one as another side.
    auto later = MakeTrianglePair();
    later->Polygons[1].Points[0].VT = -1;
    BuildTopology(*later);
    EXPECT_TRUE(later->VertexInfo[1].Flags & QORVertex_TextureSeam);
    auto leading = MakeTrianglePair();
    leading->Polygons[0].Points[1].VT = -1;
    BuildTopology(*leading);
    EXPECT_FALSE(leading->VertexInfo[1].Flags & QORVertex_TextureSeam);
}

TEST(PolyMeshEdges, ClosedCubeHasNoOpenEdge)
{
    auto mesh = MakeCube();
    mesh->SetVertexCount(9);   // vertex 8: used by no polygon
    mesh->VertexInfo[8].Flags = QORVertex_OpenEdge | QORVertex_TextureSeam;
    BuildTopology(*mesh);
    for (int v = 0; v < 9; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(mesh->VertexInfo[v].Flags & (QORVertex_OpenEdge | QORVertex_TextureSeam), 0u);
    }
    ASSERT_EQ(mesh->EdgeCount, 12);
    for (int e = 0; e < 12; ++e) {
        SCOPED_TRACE(e);
        const TQORPolygonEdge& edge = mesh->Edges[size_t(e)];
        EXPECT_LT(edge.V1, edge.V2);
        if (e > 0) {
            EXPECT_LE(mesh->Edges[size_t(e - 1)].V1, edge.V1);
        }
        EXPECT_NE(edge.PolygonSlots[1], -1);
        EXPECT_EQ(edge.PolygonSlots[2], -1);
        EXPECT_EQ(mesh->EdgePolygons[e][0], 2);
    }

    // Opening one face opens exactly its four corners.
    mesh->Polygons[1].SetCount(0);
    BuildTopology(*mesh);
    for (int v = 0; v < 8; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ((mesh->VertexInfo[v].Flags & QORVertex_OpenEdge) != 0, v >= 4);
    }
}

TEST(PolyMeshEdges, EdgeSpecialCases)
{
    // Without texture vertices the edges are still built and the texture-vertex table stays empty.
    auto bare = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {{0, 1, 2}, {1, 3, 2}});
    BuildTopology(*bare);
    EXPECT_EQ(bare->EdgeCount, 5);
    EXPECT_EQ(bare->TVertexPolygons.GetRowCount(), 0);

    // Two equal consecutive vertices give no edge for that pair.
    auto repeated = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 1, 2}});
    BuildTopology(*repeated);
    EXPECT_EQ(EdgePairs(*repeated), (std::vector<std::pair<int, int>>{{0, 1}, {0, 2}, {1, 2}}));

    // Five polygons on one edge: the first four are recorded, the table keeps all five.
    auto fan = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}, {0, -1, 1}, {0, -1, 0}},
                        {{0, 1, 2}, {0, 1, 3}, {0, 1, 4}, {0, 1, 5}, {0, 1, 6}});
    BuildTopology(*fan);
    const TQORPolygonEdge* shared = FindEdge(*fan, 0, 1);
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ((std::array<int, 4>{shared->PolygonSlots[0], shared->PolygonSlots[1], shared->PolygonSlots[2],
                                  shared->PolygonSlots[3]}),
              (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(Row(fan->EdgePolygons, int(shared - fan->Edges.data())), (std::vector<int>{0, 1, 2, 3, 4}));

    // A topology without edges leaves no table of an earlier one behind.
    fan->SetPolygonCount(0);
    BuildTopology(*fan);
    EXPECT_EQ(fan->EdgeCount, 0);
    EXPECT_EQ(fan->EdgePolygons.GetRowCount(), 0);
}

TEST(PolyMeshEdges, WeldedDuplicatesShareEdgesAndNeighbours)
{
    // Triangle 1 names duplicates 4 and 5 of vertices 1 and 2.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {4, 3, 5}});
    mesh->VertexInfo[4].WeldMaster = 1;
    mesh->VertexInfo[5].WeldMaster = 2;
    mesh->Welded = true;
    BuildTopology(*mesh);
    mesh->BuildPolygonNeighbors();
    const TQORPolygonEdge* e = FindEdge(*mesh, 1, 2);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->PolygonSlots[1], 1);
    EXPECT_EQ(mesh->EdgeCount, 5);
    EXPECT_EQ(Row(mesh->PolygonNeighbors, 0), (std::vector<int>{1}));
    // The duplicates' rows are empty: the flags sit on the masters.
    EXPECT_EQ(mesh->VertexInfo[4].Flags & QORVertex_OpenEdge, 0u);
    EXPECT_NE(mesh->VertexInfo[1].Flags & QORVertex_OpenEdge, 0u);

    mesh->IgnoreWelding = true;
    BuildTopology(*mesh);
    mesh->BuildPolygonNeighbors();
    EXPECT_EQ(mesh->EdgeCount, 6);
    EXPECT_TRUE(Row(mesh->PolygonNeighbors, 0).empty());
}

TEST(PolyMeshEdges, NeighboursThroughOneSharedVertexAreListedOnce)
{
    // Quads 0 and 1 share vertex 2 only; quad 2 shares an edge (two vertices) with quad 1.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 1, 0}, {2, 2, 0}, {1, 2, 0}, {3, 1, 0},
                          {3, 2, 0}},
                         {{0, 1, 2, 3}, {2, 4, 5, 6}, {4, 7, 8, 5}});
    mesh->BuildVertexPolygons();
    mesh->BuildPolygonNeighbors();
    EXPECT_EQ(Row(mesh->PolygonNeighbors, 0), (std::vector<int>{1}));
    EXPECT_EQ(Row(mesh->PolygonNeighbors, 1), (std::vector<int>{0, 2}));
    EXPECT_EQ(Row(mesh->PolygonNeighbors, 2), (std::vector<int>{1}));

    mesh->CleanPolygonNeighbors();
    EXPECT_EQ(mesh->PolygonNeighbors.GetRowCount(), 0);
}

TEST(PolyMeshEdges, PointNeighbourCounting)
{
    auto mesh = MakeTrianglePair();
    mesh->BuildVertexPolygons();
    std::vector<int> counts(4, 0);
    // Vertex 1 in triangle (1, 3, 2): previous 2, next 3.
    EXPECT_TRUE(mesh->EnumeratePolyonPointNeighbors(1, 1, counts.data()));
    EXPECT_EQ(counts, (std::vector<int>{0, 0, 1, 1}));
    EXPECT_FALSE(mesh->CountPolyonPointNeighbors(1, 1, counts.data()));
    counts = {0, 2, 2, 2};
    EXPECT_TRUE(mesh->CountPolyonPointNeighbors(1, 1, counts.data()));
    // A polygon without the vertex, or without corners.
    EXPECT_FALSE(mesh->EnumeratePolyonPointNeighbors(0, 3, counts.data()));
    mesh->Polygons[0].SetCount(0);
    EXPECT_FALSE(mesh->EnumeratePolyonPointNeighbors(0, 0, counts.data()));
    EXPECT_FALSE(mesh->CountPolyonPointNeighbors(0, 0, counts.data()));
}

}  // namespace
