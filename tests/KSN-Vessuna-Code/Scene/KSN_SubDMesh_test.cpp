// Subdivision levels: the fan of level 0, uniform and texel-driven
// subdivision, smoothing, visible lists, normals and carrying base-mesh
// triples up the levels.
#include "KSN_SubDMesh.h"
#include "KSN_SubDTestSupport.h"

#include "KsnTestSupport.h"
#include "OS.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using SubDTest::MakeMesh;
using SubDTest::MakeQuad;

class SubDFixture : public ::testing::Test {
protected:
    TTempStoreFolder Store;
    void SetUp() override
    {
        OS.AssignOnDebugMessage([](char*) {});
        QOREvents_AssignOnPushEvent([](TQOREvent*) { return true; });
        ASSERT_TRUE(Store.Open("ksn_subd_"));
    }
    void TearDown() override
    {
        Store.Close();
        QOREvents_Clean();
        QOREvents_AssignOnPushEvent(nullptr);
        OS.AssignOnDebugMessage(nullptr);
    }

    // Levels 0..n of mesh kept on it, as the project keeps them.
    static std::vector<TKSN_SubDMesh*> BuildLevels(TKSN_Mesh& mesh, int n)
    {
        std::vector<TKSN_SubDMesh*> levels;
        auto* level0 = new TKSN_SubDMesh();
        level0->CreateFromMesh(&mesh);
        levels.push_back(level0);
        for (int i = 1; i <= n; ++i) {
            auto* next = new TKSN_SubDMesh();
            next->Subdivide(levels.back());
            levels.push_back(next);
        }
        for (int i = 0; i <= n; ++i)
            mesh.SetCustomPointerProperty(("SUBD_LEVEL_" + std::to_string(i)).c_str(), levels[size_t(i)]);
        mesh.ActualMaxSubDLevel = n;
        return levels;
    }

    static std::array<int, 4> Record(TKSN_SubDMesh& level, int vertex)
    {
        const int32_t* r = level.GetVertexParentLookup() + 4 * vertex;
        return {r[0], r[1], r[2], r[3]};
    }
    static std::array<int, 4> Corners(TKSN_SubDMesh& level, int polygon)
    {
        const TKSN_SubDPolygon& p = level.Polygons[polygon];
        return {p.Corner0, p.Corner1, p.Corner2, p.Corner3};
    }
};

TEST_F(SubDFixture, LevelZeroFansPolygonsAroundTheirFirstPoint)
{
    // A pentagon, a triangle, a hexagon and a two-point polygon.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}, {3, 3, 0}},
                         {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5f, 0.5f}, {1, 1}},
                         {{{0, 1, 2, 3, 4}, {}}, {{1, 2, 5}, {1, -1, 5}}, {{0, 1, 2, 3, 4, 5}, {}}, {{0, 1}, {}}});
    TKSN_SubDMesh level;
    level.CreateFromMesh(mesh.get());
    ASSERT_EQ(level.GetPCount(), 2 + 1 + 2);
    EXPECT_EQ(Corners(level, 0), (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(Corners(level, 1), (std::array<int, 4>{0, 3, 4, 4}));
    EXPECT_EQ(Corners(level, 2), (std::array<int, 4>{1, 2, 5, 5}));
    EXPECT_EQ(Corners(level, 3), (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(Corners(level, 4), (std::array<int, 4>{0, 3, 4, 5}));
    EXPECT_EQ(level.vGetPolyN(0), 4);
    EXPECT_EQ(level.vGetPolyN(1), 3);
    EXPECT_EQ(level.vGetPolyVN(1, 2), level.vGetPolyV(1, 2));
    EXPECT_EQ(level.GetOwnerIP(1), 0);
    EXPECT_EQ(level.GetOwnerIP(2), 1);
    EXPECT_EQ(level.GetOwnerIP(4), 2);
    EXPECT_EQ(level.vGetPolyVT(2, 1), 0) << "a negative texture vertex becomes 0";
    EXPECT_EQ(level.GetVCount(), 6);
    EXPECT_EQ(level.Level, 0);
    EXPECT_EQ(level.GetVertexParentLookup(), nullptr);
}

TEST_F(SubDFixture, LevelZeroOfAnUnmappedMeshHasOneTextureVertex)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {}, {{{0, 1, 2}, {}}});
    TKSN_SubDMesh level;
    level.CreateFromMesh(mesh.get());
    ASSERT_EQ(level.GetTVCount(), 1);
    EXPECT_EQ(level.tVertices[0], 0.0f);
    EXPECT_EQ(level.tVertices[1], 0.0f);
    EXPECT_EQ(level.vGetPolyVT(0, 0), 0);
}

TEST_F(SubDFixture, HiddenOwnerPolygonsLeaveTheVisibleLists)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}},
                         {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1, 0}, {1, 1}}, {{{0, 1, 2, 3}, {}}, {{1, 4, 5, 2}, {}}});
    mesh->PolygonFlags[1] |= QORPoly_Hidden;
    TKSN_SubDMesh level;
    level.CreateFromMesh(mesh.get());
    EXPECT_EQ(level.GetVisiblePolygonCount(), 1);
    ASSERT_EQ(level.GetVisibleVertexCount(), 4);
    EXPECT_EQ(std::vector<int>(level.visibleVertices, level.visibleVertices + 4), (std::vector<int>{0, 1, 2, 3}));
    level.BuildVisiblePolygons(true);
    EXPECT_EQ(level.GetVisiblePolygonCount(), 2);
    EXPECT_EQ(level.GetVisibleVertexCount(), 6);
}

TEST_F(SubDFixture, SelectedPolygonsAloneMakeLevelZeroButKeepEveryVertex)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}},
                         {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1, 0}, {1, 1}}, {{{0, 1, 2, 3}, {}}, {{1, 4, 5, 2}, {}}});
    mesh->SelectedListsValid = true;   // the lists are given by hand below
    mesh->PolygonFlags[1] |= 0x4000;
    TKSN_SubDMesh level;
    level.CreateFromMesh(mesh.get());
    ASSERT_EQ(level.GetPCount(), 1);
    EXPECT_EQ(level.GetOwnerIP(0), 1);
    EXPECT_EQ(level.GetVCount(), 6);
    EXPECT_EQ(level.GetVisibleVertexCount(), 4);
}

TEST_F(SubDFixture, OneQuadGivesNineVerticesAndFourQuadsWithParentRecords)
{
    auto mesh = MakeQuad();
    auto levels = BuildLevels(*mesh, 1);
    TKSN_SubDMesh& l1 = *levels[1];
    ASSERT_EQ(l1.GetVCount(), 9);
    ASSERT_EQ(l1.GetPCount(), 4);
    EXPECT_EQ(l1.Level, 1);
    EXPECT_EQ(l1.FacePointCount, 1);
    for (int p = 0; p < 4; ++p) {
        EXPECT_EQ(l1.vGetPolyN(p), 4);
        EXPECT_EQ(l1.vGetPolyV(p, 0), p) << "child k belongs to corner k";
        EXPECT_EQ(l1.vGetPolyV(p, 2), 4) << "the face point is numbered first";
    }
    EXPECT_EQ(Record(l1, 2), (std::array<int, 4>{2, 2, 2, 2}));
    EXPECT_EQ(Record(l1, 4), (std::array<int, 4>{0, 1, 2, 3}));
    EXPECT_EQ(Record(l1, 5), (std::array<int, 4>{3, 0, 5, 5})) << "the closing edge's point comes next";
    EXPECT_EQ(Record(l1, 6), (std::array<int, 4>{0, 1, 6, 6}));
    EXPECT_EQ(Corners(l1, 0), (std::array<int, 4>{0, 6, 4, 5}));
    // Texture vertices follow the same scheme.
    EXPECT_EQ(l1.GetTVCount(), 9);
    EXPECT_FLOAT_EQ(l1.tVertices[2 * l1.vGetPolyVT(0, 2)], 0.5f);
}

TEST_F(SubDFixture, OneTriangleGivesSevenVerticesAndThreeQuads)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 0}, {1, 0}, {0, 1}}, {{{0, 1, 2}, {}}});
    auto levels = BuildLevels(*mesh, 1);
    TKSN_SubDMesh& l1 = *levels[1];
    EXPECT_EQ(l1.GetVCount(), 7);
    ASSERT_EQ(l1.GetPCount(), 3);
    for (int p = 0; p < 3; ++p) EXPECT_EQ(l1.vGetPolyN(p), 4);
    EXPECT_EQ(Record(l1, 3), (std::array<int, 4>{0, 1, 2, 3}));
}

TEST_F(SubDFixture, UVSeamEdgeGetsOneEdgePointAndTwoTextureEdgePoints)
{
    // Two quads sharing the edge 1-2; across it the texture vertices differ.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}},
                         {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}, {1, 0}, {1, 1}, {0, 1}},
                         {{{0, 1, 2, 3}, {0, 1, 2, 3}}, {{1, 4, 5, 2}, {4, 5, 6, 7}}});
    auto levels = BuildLevels(*mesh, 1);
    TKSN_SubDMesh& l1 = *levels[1];
    // 6 corners, 2 face points, 7 distinct edges.
    EXPECT_EQ(l1.GetVCount(), 6 + 2 + 7);
    // 8 texture corners, 2 face points, 8 texture edges (the seam counts twice).
    EXPECT_EQ(l1.GetTVCount(), 8 + 2 + 8);
    int seamPoints = 0;
    for (int v = 6; v < l1.GetVCount(); ++v) {
        const auto r = Record(l1, v);
        seamPoints += (r[0] == 1 && r[1] == 2) || (r[0] == 2 && r[1] == 1);
    }
    EXPECT_EQ(seamPoints, 1);
}

TEST_F(SubDFixture, SmoothingMovesALoneQuadsCornerToItsChildsCentroid)
{
    // Vertex 4 belongs to no polygon and keeps its place.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {5, 5, 5}},
                         {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}, {{{0, 1, 2, 3}, {}}});
    auto levels = BuildLevels(*mesh, 1);
    TKSN_SubDMesh& l1 = *levels[1];
    EXPECT_FLOAT_EQ(l1.baseVertices[0], 0.25f);
    EXPECT_FLOAT_EQ(l1.baseVertices[1], 0.25f);
    EXPECT_FLOAT_EQ(l1.baseVertices[3 * 4], 5.0f);
    EXPECT_FLOAT_EQ(l1.baseVertices[3 * 4 + 2], 5.0f);
    // The drawn positions stay unsmoothed until the bake.
    EXPECT_FLOAT_EQ(l1.resolvedVertices[0], 0.0f);
    // The face point is the centre of all four children.
    const int f = l1.vGetPolyV(0, 2);
    EXPECT_FLOAT_EQ(l1.baseVertices[3 * f], 0.5f);
    EXPECT_FLOAT_EQ(l1.baseVertices[3 * f + 1], 0.5f);
}

TEST_F(SubDFixture, NormalsOfAFlatLevelPointAlongZ)
{
    auto mesh = MakeQuad();
    auto levels = BuildLevels(*mesh, 1);
    TKSN_SubDMesh& l1 = *levels[1];
    for (int v = 0; v < l1.GetVCount(); ++v) EXPECT_NEAR(l1.vertexNormals[3 * v + 2], 1.0f, 1e-6f);
    l1.RecalculatePolyNormal(0);
    EXPECT_NEAR(l1.polygonNormals[2], 1.0f, 2e-3f);   // fast inverse square root: 0.2 % at most
    std::vector<float> positions(l1.resolvedVertices, l1.resolvedVertices + 3 * l1.GetVCount());
    for (size_t i = 0; i < positions.size(); i += 3) std::swap(positions[i + 1], positions[i + 2]);   // into x-z
    std::vector<float> vn(positions.size()), pn(3 * size_t(l1.GetPCount()));
    l1.RecalculateNormalsExternal(positions.data(), vn.data(), pn.data());
    EXPECT_NEAR(std::fabs(vn[1]), 1.0f, 1e-6f);
    EXPECT_NEAR(l1.vertexNormals[2], 1.0f, 1e-6f) << "the level's own normals stay";
}

TEST_F(SubDFixture, InterpolateCarriesBaseTriplesUpThroughTheParentRecords)
{
    auto mesh = MakeQuad();
    auto levels = BuildLevels(*mesh, 2);
    const float source[12] = {0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 8};
    std::vector<float> dest(3 * size_t(levels[2]->GetVCount()), -7.0f);

    Interpolate_VArray_From_Base(mesh.get(), 5, source, dest.data(), 3, 0);   // no such level
    EXPECT_EQ(dest[0], -7.0f);
    Interpolate_VArray_From_Base(mesh.get(), 0, source, dest.data(), 3, 0);
    EXPECT_EQ(std::vector<float>(dest.begin(), dest.begin() + 12), std::vector<float>(source, source + 12));
    EXPECT_EQ(dest[12], -7.0f);

    Interpolate_VArray_From_Base(mesh.get(), 2, source, dest.data(), 3, 0);
    EXPECT_FLOAT_EQ(dest[3 * 4 + 0], 2.0f);   // face point of level 1
    EXPECT_FLOAT_EQ(dest[3 * 4 + 2], 2.0f);
    EXPECT_FLOAT_EQ(dest[3 * 5 + 2], 4.0f);   // edge 3-0
    // A level-2 edge point between corner 0 and the level-1 edge point 6 (2, 0, 0).
    const int32_t* records = levels[2]->GetVertexParentLookup();
    for (int v = 9; v < levels[2]->GetVCount(); ++v) {
        const int32_t* r = records + 4 * v;
        if (r[0] == 0 && r[1] == 6 && r[2] == v) {
            EXPECT_FLOAT_EQ(dest[3 * v], 1.0f);
        }
    }
}

TEST_F(SubDFixture, DynamicSubdivideSplitsEdgesThatSpanATexel)
{
    struct Case {
        float span;
        bool made;
    };
    // At R = 256: trunc(0.005 x 256) = 1 splits, trunc(0.003 x 256) = 0 does not.
    for (const Case c : {Case{0.005f, true}, Case{0.003f, false}}) {
        SCOPED_TRACE(c.span);
        auto mesh = MakeQuad(c.span);
        auto map = SubDTest::BindMap(*mesh, SubDTest::Material(*mesh, 0)->ColorChannel, 256, 200);
        auto levels = BuildLevels(*mesh, 0);
        TKSN_SubDMesh l1;
        EXPECT_EQ(l1.DynamicSubdivide(levels[0], 1000), c.made);
        EXPECT_EQ(l1.GetPCount(), c.made ? 4 : 0);
        EXPECT_EQ(l1.GetVCount(), c.made ? 9 : 0);
    }
}

TEST_F(SubDFixture, DynamicSubdivideRefusesWithoutMapsOrOverBudget)
{
    auto mesh = MakeQuad(0.5f);
    auto levels = BuildLevels(*mesh, 0);
    TKSN_SubDMesh unmapped;
    EXPECT_FALSE(unmapped.DynamicSubdivide(levels[0], 1000));

    auto map = SubDTest::BindMap(*mesh, SubDTest::Material(*mesh, 0)->DisplacementChannel, 64, 128);
    TKSN_SubDMesh tight;
    EXPECT_FALSE(tight.DynamicSubdivide(levels[0], 3));   // the plan is 4 polygons
    EXPECT_EQ(tight.GetPCount(), 0);
    TKSN_SubDMesh enough;
    EXPECT_TRUE(enough.DynamicSubdivide(levels[0], 4));
    EXPECT_EQ(enough.GetPCount(), 4);
}

TEST_F(SubDFixture, DynamicSubdivideSplitsOnlyTheLongSideAndKeepsNeighboursCrackFree)
{
    // Two quads side by side; only the left one is mapped wide in u, so only
    // the sides touching its vertices split, on both polygons.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2, 1, 0}},
                         {{0, 0}, {0.5f, 0}, {0.5f, 0.001f}, {0, 0.001f}, {0.5f, 0}, {0.5f, 0.001f}},
                         {{{0, 1, 2, 3}, {0, 1, 2, 3}}, {{1, 4, 5, 2}, {1, 4, 5, 2}}});
    auto map = SubDTest::BindMap(*mesh, SubDTest::Material(*mesh, 0)->ColorChannel, 16, 0);
    auto levels = BuildLevels(*mesh, 0);
    TKSN_SubDMesh l1;
    ASSERT_TRUE(l1.DynamicSubdivide(levels[0], 1000));
    // Left quad: sides 0-1 and 2-3 split (8 -> needs at 0, 1, 2, 3 from u span 0.5 x 16).
    // Every split side is shared by the owner polygons' rings: no T-junction.
    for (int p = 0; p < l1.GetPCount(); ++p)
        for (int k = 0; k < l1.vGetPolyN(p); ++k) EXPECT_LT(l1.vGetPolyV(p, k), l1.GetVCount());
    int edgePointsOn12 = 0;
    const int32_t* records = l1.GetVertexParentLookup();
    for (int v = 6; v < l1.GetVCount(); ++v) {
        const int32_t* r = records + 4 * v;
        edgePointsOn12 += (r[0] == 1 && r[1] == 2 && r[2] == v) || (r[0] == 2 && r[1] == 1 && r[2] == v);
    }
    EXPECT_EQ(edgePointsOn12, 1);
}

} // namespace
