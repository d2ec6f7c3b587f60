#include "KSN_Mesh.h"
#include "KSN_Mesh_UVEdges.h"

#include "OS.h"
#include "QOREvents.h"
#include "QORThingy.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[maybe_unused]] const auto* const RegisteredUVEdgesWx = KsnRegisterWxBase();

using Vec3 = std::array<float, 3>;
using UV = std::array<float, 2>;
using Corner = std::pair<int, int>;   // vertex, texture vertex (−1 none)

int32_t TabForTest = 3;
int32_t TestGetTab() { return TabForTest; }

// Meshes are built in code and given the derived data the build reads:
// the vertex-to-polygon table, open-edge and seam flags, and normals.
class UVEdgesTest : public ::testing::Test {
protected:
    TTempStoreFolder Store;
    std::unique_ptr<TKSN_Mesh> Mesh;

    void SetUp() override
    {
        TabForTest = 3;
        TKSN_MeshApplicationHooks hooks;
        hooks.GetToolTypeTab = TestGetTab;
        KSN_SetMeshApplicationHooks(hooks);
        OS.AssignOnDebugMessage([](char*) {});
        QOREvents_AssignOnPushEvent([](TQOREvent*) { return true; });
        ASSERT_TRUE(Store.Open("ksn_uvedges_"));
    }

    void TearDown() override
    {
        Mesh.reset();
        Store.Close();
        QOREvents_Clean();
        QOREvents_AssignOnPushEvent(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        KSN_SetMeshApplicationHooks({});
    }

    void Build(const std::vector<Vec3>& vertices, const std::vector<std::vector<Corner>>& polygons,
               const std::vector<UV>& uvs, bool openEdgeFlags = true)
    {
        Mesh = std::make_unique<TKSN_Mesh>(nullptr);
        Mesh->Create(int(vertices.size()), int(uvs.size()), int(vertices.size()), int(polygons.size()));
        for (size_t v = 0; v < vertices.size(); ++v)
            for (int i = 0; i < 3; ++i) Mesh->baseVertices[3 * v + size_t(i)] = vertices[v][size_t(i)];
        for (size_t t = 0; t < uvs.size(); ++t)
            for (int i = 0; i < 2; ++i) Mesh->tVertices[2 * t + size_t(i)] = uvs[t][size_t(i)];
        Mesh->CopyBaseVerticesToResolvedVertices();
        for (size_t p = 0; p < polygons.size(); ++p) {
            Mesh->Polygons[p].SetCount(unsigned(polygons[p].size()));
            for (size_t k = 0; k < polygons[p].size(); ++k) {
                Mesh->Polygons[p].Points[k].V = polygons[p][k].first;
                Mesh->Polygons[p].Points[k].VT = polygons[p][k].second;
            }
            Mesh->PolygonFlags[p] = 0;
        }
        for (int v = 0; v < Mesh->vertexCount; ++v) Mesh->VertexInfo[v].Flags = 0;
        Mesh->BuildVertexPolygons();
        if (openEdgeFlags) Mesh->CalculateOpenEdges();
        Mesh->RecalculateNormals(false);
    }

    // A unit cube of six outward quads. seamed: each face its own UV island
    // (texture vertices 4f..4f+3); otherwise one texture vertex per vertex.
    void BuildCube(bool seamed)
    {
        const std::vector<Vec3> v = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                     {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
        const int faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 4, 7, 3}, {1, 2, 6, 5}};
        std::vector<std::vector<Corner>> polygons;
        std::vector<UV> uvs;
        const float cu[4] = {0, 1, 1, 0}, cv[4] = {0, 0, 1, 1};
        for (int f = 0; f < 6; ++f) {
            std::vector<Corner> poly;
            for (int k = 0; k < 4; ++k) {
                if (seamed) {
                    poly.push_back({faces[f][k], 4 * f + k});
                    uvs.push_back({0.05f + 0.33f * float(f % 3) + 0.25f * cu[k], 0.05f + 0.5f * float(f / 3) + 0.25f * cv[k]});
                } else {
                    poly.push_back({faces[f][k], faces[f][k]});
                }
            }
            polygons.push_back(poly);
        }
        if (!seamed) {
            for (const Vec3& p : v) uvs.push_back({p[0] * 0.5f + p[2] * 0.25f, p[1] * 0.5f});
        }
        Build(v, polygons, uvs);
    }

    // An L-shaped open sheet: cells (0,0), (1,0), (0,1) of a 2 x 2 grid in
    // z = 0, mapped by position (u = x / 2, v = y / 2). Vertex y * 3 + x.
    void BuildL()
    {
        std::vector<Vec3> v;
        std::vector<UV> uvs;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                v.push_back({float(x), float(y), 0});
                uvs.push_back({float(x) / 2, float(y) / 2});
            }
        auto cell = [](int x, int y) {
            const int a = y * 3 + x;
            return std::vector<Corner>{{a, a}, {a + 1, a + 1}, {a + 4, a + 4}, {a + 3, a + 3}};
        };
        Build(v, {cell(0, 0), cell(1, 0), cell(0, 1)}, uvs);
    }

    std::array<float, 2> UVAt(int vt) const { return {Mesh->tVertices[2 * vt], Mesh->tVertices[2 * vt + 1]}; }
    Vec3 PosAt(int v) const
    {
        return {Mesh->resolvedVertices[3 * v], Mesh->resolvedVertices[3 * v + 1], Mesh->resolvedVertices[3 * v + 2]};
    }

    std::array<float, 2> UVCentre(int polygon) const
    {
        std::array<float, 2> c{0, 0};
        const TQORPolygon& p = Mesh->Polygons[polygon];
        for (int k = 0; k < p.Count; ++k) {
            c[0] += UVAt(p.Points[k].VT)[0] / float(p.Count);
            c[1] += UVAt(p.Points[k].VT)[1] / float(p.Count);
        }
        return c;
    }
    Vec3 Centre(int polygon) const
    {
        Vec3 c{0, 0, 0};
        const TQORPolygon& p = Mesh->Polygons[polygon];
        for (int k = 0; k < p.Count; ++k)
            for (int i = 0; i < 3; ++i) c[size_t(i)] += PosAt(p.Points[k].V)[size_t(i)] / float(p.Count);
        return c;
    }

    // Unit normals pointing out of the owning polygon across the edge, the
    // 3D one perpendicular to the edge within the polygon's plane.
    void ExpectNormalsPointOut(const TKSN_UVEdge2& e)
    {
        const auto a = UVAt(e.TVertex[0]), b = UVAt(e.TVertex[1]), uc = UVCentre(e.Polygon);
        EXPECT_NEAR(std::hypot(e.UVNormal[0], e.UVNormal[1]), 1.0f, 1e-5f);
        EXPECT_NEAR(e.UVNormal[0] * (b[0] - a[0]) + e.UVNormal[1] * (b[1] - a[1]), 0.0f, 1e-5f);
        EXPECT_GT(e.UVNormal[0] * ((a[0] + b[0]) / 2 - uc[0]) + e.UVNormal[1] * ((a[1] + b[1]) / 2 - uc[1]), 0.0f);
        EXPECT_NEAR(e.UVLength, std::hypot(b[0] - a[0], b[1] - a[1]), 1e-5f);

        const Vec3 A = PosAt(e.Vertex[0]), B = PosAt(e.Vertex[1]), c = Centre(e.Polygon);
        const float* n = &Mesh->polygonNormals[3 * e.Polygon];
        float dotEdge = 0, dotNormal = 0, dotOut = 0, len = 0;
        for (int i = 0; i < 3; ++i) {
            dotEdge += e.EdgeNormal[i] * (B[size_t(i)] - A[size_t(i)]);
            dotNormal += e.EdgeNormal[i] * n[i];
            dotOut += e.EdgeNormal[i] * ((A[size_t(i)] + B[size_t(i)]) / 2 - c[size_t(i)]);
            len += e.EdgeNormal[i] * e.EdgeNormal[i];
        }
        EXPECT_NEAR(std::sqrt(len), 1.0f, 1e-5f);
        EXPECT_NEAR(dotEdge, 0.0f, 1e-5f);
        EXPECT_NEAR(dotNormal, 0.0f, 1e-5f);
        EXPECT_GT(dotOut, 0.0f);
    }

    // At the corner on vertex index `end` of e: the unit vector from the
    // island's corner away from the polygon's UV centre (a square corner).
    std::array<float, 2> DiagonalOut(const TKSN_UVEdge2& e, int end) const
    {
        const auto p = UVAt(e.TVertex[end]);
        const auto c = UVCentre(e.Polygon);
        const float dx = p[0] - c[0], dy = p[1] - c[1], len = std::hypot(dx, dy);
        return {dx / len, dy / len};
    }
};

// [SECTION] Which edges are built

TEST_F(UVEdgesTest, CubeWithOneIslandPerFaceGivesTwoSeamRecordsPerEdge)
{
    BuildCube(true);
    BuildUVEdges2(Mesh.get());

    ASSERT_EQ(Mesh->UVEdgeCount, 24);
    std::set<std::pair<int, int>> vertexPairs;
    for (int i = 0; i < Mesh->UVEdgeCount; ++i) {
        SCOPED_TRACE(i);
        const TKSN_UVEdge2& e = Mesh->UVEdges[i];
        EXPECT_EQ(e.Index, i);
        EXPECT_LT(e.Vertex[0], e.Vertex[1]);
        EXPECT_EQ(e.Seam, 1);
        ASSERT_GE(e.PartnerEdge, 0);
        const TKSN_UVEdge2& partner = Mesh->UVEdges[e.PartnerEdge];
        EXPECT_EQ(partner.PartnerEdge, i);
        EXPECT_EQ(partner.Polygon, e.PartnerPolygon);
        EXPECT_EQ(partner.PartnerPolygon, e.Polygon);
        EXPECT_EQ(partner.Vertex[0], e.Vertex[0]);
        EXPECT_EQ(partner.Vertex[1], e.Vertex[1]);
        EXPECT_EQ(e.PartnerLink, nullptr);
        if (i > 0) {
            const TKSN_UVEdge2& prev = Mesh->UVEdges[i - 1];
            EXPECT_TRUE(std::make_tuple(prev.Vertex[0], prev.Vertex[1], prev.Polygon) <
                        std::make_tuple(e.Vertex[0], e.Vertex[1], e.Polygon));
        }
        vertexPairs.insert({e.Vertex[0], e.Vertex[1]});
        ExpectNormalsPointOut(e);
        EXPECT_NEAR(e.Length, 1.0f, 1e-5f);

        // Every corner of a square island is convex; the UV tangent is the
        // island's diagonal out of the corner, shared with the neighbour.
        for (int end = 0; end < 2; ++end) {
            SCOPED_TRACE(end);
            ASSERT_GE(e.CornerNeighbour[end], 0);
            const TKSN_UVEdge2& n = Mesh->UVEdges[e.CornerNeighbour[end]];
            EXPECT_EQ(n.Polygon, e.Polygon);
            EXPECT_EQ(e.CornerConvex[end], 1);
            const auto d = DiagonalOut(e, end);
            EXPECT_NEAR(e.CornerUVTangent[end][0], d[0], 1e-5f);
            EXPECT_NEAR(e.CornerUVTangent[end][1], d[1], 1e-5f);
            float expected[3], len = 0;
            for (int c = 0; c < 3; ++c) {
                expected[c] = e.EdgeNormal[c] + n.EdgeNormal[c];
                len += expected[c] * expected[c];
            }
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(e.CornerTangent[end][c], expected[c] / std::sqrt(len), 1e-5f);
        }
    }
    EXPECT_EQ(vertexPairs.size(), 12u);

    for (int p = 0; p < 6; ++p) {
        SCOPED_TRACE(p);
        EXPECT_NE(Mesh->PolygonFlags[p] & KSN_POLY_UV_SEAM, 0u);
        const int* row = Mesh->PolygonUVEdges[p];
        ASSERT_EQ(row[0], 4);
        for (int i = 1; i <= 4; ++i) {
            EXPECT_EQ(Mesh->UVEdges[row[i]].Polygon, p);
            if (i > 1) {
                EXPECT_LT(row[i - 1], row[i]);
            }
        }
    }
}

TEST_F(UVEdgesTest, UncutClosedMappingGivesNoEdgesAndClearsTheSeamFlag)
{
    struct Case {
        const char* name;
        bool withUVs;
    };
    for (const Case& c : {Case{"shared texture vertices", true}, Case{"no texture vertices", false}}) {
        SCOPED_TRACE(c.name);
        // Left over from an earlier build: must all go.
        BuildCube(true);
        BuildUVEdges2(Mesh.get());
        ASSERT_EQ(Mesh->UVEdgeCount, 24);
        const TKSN_UVEdge2* before = Mesh->UVEdges;
        ASSERT_NE(before, nullptr);

        for (int p = 0; p < 6; ++p)
            for (int k = 0; k < 4; ++k)
                Mesh->Polygons[p].Points[k].VT = c.withUVs ? Mesh->Polygons[p].Points[k].V : -1;
        if (!c.withUVs) Mesh->SetTVertexCount(0);
        Mesh->CalculateOpenEdges();
        BuildUVEdges2(Mesh.get());

        EXPECT_EQ(Mesh->UVEdgeCount, 0);
        EXPECT_EQ(Mesh->UVEdges, nullptr);
        for (int p = 0; p < 6; ++p) {
            EXPECT_EQ(Mesh->PolygonFlags[p] & KSN_POLY_UV_SEAM, 0u);
            ASSERT_EQ(Mesh->PolygonUVEdges.GetRowCount(), 6);
            EXPECT_EQ(Mesh->PolygonUVEdges[p][0], 0);
        }
    }
}

TEST_F(UVEdgesTest, OpenSheetGivesBorderRecordsOnlyWhenOpenEdgesAreKnown)
{
    BuildL();
    // Without the open-edge flags no vertex looks like a border or a seam.
    for (int v = 0; v < Mesh->vertexCount; ++v) Mesh->VertexInfo[v].Flags = 0;
    BuildUVEdges2(Mesh.get());
    EXPECT_EQ(Mesh->UVEdgeCount, 0);

    Mesh->CalculateOpenEdges();
    BuildUVEdges2(Mesh.get());
    // The L's outline has 8 unit edges; the two inner edges are dropped.
    ASSERT_EQ(Mesh->UVEdgeCount, 8);
    for (int i = 0; i < Mesh->UVEdgeCount; ++i) {
        SCOPED_TRACE(i);
        const TKSN_UVEdge2& e = Mesh->UVEdges[i];
        EXPECT_EQ(e.PartnerPolygon, -1);
        EXPECT_EQ(e.PartnerEdge, -1);
        EXPECT_EQ(e.Seam, 0);
        ExpectNormalsPointOut(e);
        // Only the inner corner of the L (vertex 4) is concave; there the
        // tangent points into the missing cell.
        for (int end = 0; end < 2; ++end) {
            SCOPED_TRACE(end);
            ASSERT_GE(e.CornerNeighbour[end], 0);
            const bool inner = e.Vertex[end] == 4;
            EXPECT_EQ(e.CornerConvex[end], inner ? 0 : 1);
            if (inner) {
                EXPECT_NEAR(e.CornerUVTangent[end][0], std::sqrt(0.5f), 1e-5f);
                EXPECT_NEAR(e.CornerUVTangent[end][1], std::sqrt(0.5f), 1e-5f);
            }
        }
    }
}

TEST_F(UVEdgesTest, RightAngleOuterCornerHasTheDiagonalTangentAndIsConvex)
{
    Build({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
          {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
    BuildUVEdges2(Mesh.get());
    ASSERT_EQ(Mesh->UVEdgeCount, 4);
    // Key order: (0,1), (0,3), (1,2), (2,3).
    const TKSN_UVEdge2& bottom = Mesh->UVEdges[0];
    const TKSN_UVEdge2& left = Mesh->UVEdges[1];
    ASSERT_EQ(bottom.Vertex[1], 1);
    ASSERT_EQ(left.Vertex[1], 3);
    EXPECT_NEAR(bottom.UVNormal[1], -1.0f, 1e-6f);
    EXPECT_NEAR(left.UVNormal[0], -1.0f, 1e-6f);
    EXPECT_NEAR(bottom.EdgeNormal[1], -1.0f, 1e-6f);
    for (const TKSN_UVEdge2* e : {&bottom, &left}) {
        EXPECT_EQ(e->CornerNeighbour[0], e == &bottom ? 1 : 0);
        EXPECT_NEAR(e->CornerUVTangent[0][0], -std::sqrt(0.5f), 1e-6f);
        EXPECT_NEAR(e->CornerUVTangent[0][1], -std::sqrt(0.5f), 1e-6f);
        EXPECT_NEAR(e->CornerTangent[0][0], -std::sqrt(0.5f), 1e-6f);
        EXPECT_NEAR(e->CornerTangent[0][1], -std::sqrt(0.5f), 1e-6f);
        EXPECT_EQ(e->CornerConvex[0], 1);
    }
    EXPECT_TRUE(IsPointConcave(Mesh.get(), &Mesh->UVEdges[0], &Mesh->UVEdges[1], 0, 1) == false);
}

TEST_F(UVEdgesTest, CornersWithoutTextureVerticesAreSafe)
{
    // Two quads side by side; the right one is unmapped, the left one has
    // one corner without a texture vertex and one naming none the mesh has.
    Build({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}},
          {{{0, 0}, {1, -1}, {4, 2}, {3, 77}}, {{1, -1}, {2, -1}, {5, -1}, {4, -1}}}, {{0, 0}, {0.5f, 0}, {0.5f, 1}});
    BuildUVEdges2(Mesh.get());
    ASSERT_GT(Mesh->UVEdgeCount, 0);
    bool sawSeam = false;
    for (int i = 0; i < Mesh->UVEdgeCount; ++i) {
        const TKSN_UVEdge2& e = Mesh->UVEdges[i];
        for (float f : {e.UVNormal[0], e.UVNormal[1], e.UVLength, e.Length, e.CornerUVTangent[0][0],
                        e.CornerUVTangent[1][1], e.CornerTangent[0][2], e.EdgeNormal[0]})
            EXPECT_TRUE(std::isfinite(f));
        if (e.Vertex[0] == 1 && e.Vertex[1] == 4) {
            // The shared edge: (−1, 2) against (−1, −1) is a seam.
            EXPECT_EQ(e.Seam, 1);
            sawSeam = true;
        }
    }
    EXPECT_TRUE(sawSeam);
    // Painting preparation runs over the same records.
    Mesh->PrepareForPainting();
    EXPECT_GT(Mesh->UVEdgeCount, 0);
}

TEST_F(UVEdgesTest, WeldedDuplicatesJoinTheirMastersEdges)
{
    // Two quads whose shared edge is split into duplicates 6, 7 welded to 1, 4.
    Build({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {1, 0, 0}, {1, 1, 0}},
          {{{0, 0}, {1, 1}, {4, 4}, {3, 3}}, {{6, 1}, {2, 2}, {5, 5}, {7, 4}}},
          {{0, 0}, {0.5f, 0}, {1, 0}, {0, 1}, {0.5f, 1}, {1, 1}});
    Mesh->VertexInfo[6].WeldMaster = 1;
    Mesh->VertexInfo[7].WeldMaster = 4;
    Mesh->Welded = true;
    Mesh->BuildVertexPolygons();
    Mesh->CalculateOpenEdges();
    BuildUVEdges2(Mesh.get());
    // The outline only: the welded middle edge is mapped alike on both sides.
    EXPECT_EQ(Mesh->UVEdgeCount, 6);
    for (int i = 0; i < Mesh->UVEdgeCount; ++i) {
        EXPECT_FALSE(Mesh->UVEdges[i].Vertex[0] == 1 && Mesh->UVEdges[i].Vertex[1] == 4);
        EXPECT_LT(Mesh->UVEdges[i].Vertex[1], 6);
    }

    Mesh->IgnoreWelding = true;
    Mesh->BuildVertexPolygons();
    Mesh->CalculateOpenEdges();
    BuildUVEdges2(Mesh.get());
    EXPECT_EQ(Mesh->UVEdgeCount, 8);
}

// [SECTION] Refreshing after the positions moved

TEST_F(UVEdgesTest, PrepareForPaintingRefreshesLengthsAndTangentsFromCurrentPositions)
{
    BuildCube(true);
    for (int i = 0; i < 3 * Mesh->vertexCount; ++i) Mesh->resolvedVertices[i] = Mesh->resolvedVertices[i] * 3.0f + 1.0f;
    Mesh->RecalculateNormals(false);
    Mesh->PrepareForPainting();
    ASSERT_EQ(Mesh->UVEdgeCount, 24);
    for (int i = 0; i < Mesh->UVEdgeCount; ++i) {
        SCOPED_TRACE(i);
        const TKSN_UVEdge2& e = Mesh->UVEdges[i];
        EXPECT_NEAR(e.Length, 3.0f, 1e-5f);
        EXPECT_NEAR(e.UVLength, 0.25f, 1e-5f);
        ExpectNormalsPointOut(e);
    }
}

// [SECTION] Normals after deformation

TEST_F(UVEdgesTest, AfterDeformStepWithStaleMorphIdClearsItAndRecomputesNothing)
{
    BuildCube(true);
    auto* gone = new TKSN_Thingy();
    gone->RegisterForLookup();
    const uint32_t goneID = gone->GetID();
    delete gone;
    TKSN_Thingy notAMorph;
    notAMorph.RegisterForLookup();

    for (uint32_t id : {goneID, notAMorph.GetID()}) {
        SCOPED_TRACE(id);
        Mesh->CurrentMorphID = id;
        for (int i = 0; i < 3 * Mesh->polygonCount; ++i) Mesh->polygonNormals[i] = 7.0f;
        Mesh->AfterDeformStep();
        EXPECT_EQ(Mesh->CurrentMorphID, 0u);
        for (int i = 0; i < 3 * Mesh->polygonCount; ++i) EXPECT_EQ(Mesh->polygonNormals[i], 7.0f);
    }
}

TEST_F(UVEdgesTest, RecalculateSelectedNormalsTouchesOnlyTheSelectedNeighbourhood)
{
    // A strip of three quads in z = 0; the selected vertex 0 belongs to the
    // first quad only.
    Build({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 1, 0}, {3, 1, 0}},
          {{{0, 0}, {1, 1}, {5, 5}, {4, 4}}, {{1, 1}, {2, 2}, {6, 6}, {5, 5}}, {{2, 2}, {3, 3}, {7, 7}, {6, 6}}},
          {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}});
    for (int i = 0; i < 3 * Mesh->polygonCount; ++i) Mesh->polygonNormals[i] = 0.0f;
    for (int i = 0; i < 3 * Mesh->vertexCount; ++i) Mesh->vertexNormals[i] = 0.0f;
    Mesh->SelectedVertices = static_cast<int32_t*>(QORalloc(sizeof(int32_t)));
    Mesh->SelectedVertices[0] = 0;
    Mesh->SelectedVertexCount = 1;
    Mesh->SelectedListsValid = true;
    ASSERT_EQ(Mesh->GetSelectedVertexCount(), 1);

    Mesh->RecalculateSelectedNormals();
    EXPECT_NEAR(Mesh->polygonNormals[2], 1.0f, 0.01f);    // quad 0 faces +z (normals are stored approximately unit)
    EXPECT_EQ(Mesh->polygonNormals[5], 0.0f);            // quad 1 untouched
    EXPECT_NEAR(Mesh->vertexNormals[2], 1.0f, 1e-6f);     // vertex 0, normalised exactly
    EXPECT_EQ(Mesh->vertexNormals[3 * 1 + 2], 0.0f);     // vertex 1 not selected
}

} // namespace
