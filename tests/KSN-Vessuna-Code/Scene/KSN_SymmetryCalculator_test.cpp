// Symmetry pairing of vertices and polygons, and the morph operations built
// on it (making a morph symmetric, swapping its sides).
#include "KSN_Mesh.h"
#include "KSN_SymmetryCalculator.h"

#include "OS.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace SymmetryCalculatorTest {

using Dialogs = TBoxRecorder;

using Vec3 = std::array<float, 3>;

std::unique_ptr<TKSN_Mesh> MakeMesh(const std::vector<Vec3>& vertices, const std::vector<std::vector<int>>& polygons)
{
    auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
    mesh->Create(int(vertices.size()), 0, int(vertices.size()), int(polygons.size()));
    for (size_t v = 0; v < vertices.size(); ++v)
        for (int i = 0; i < 3; ++i) mesh->baseVertices[3 * v + size_t(i)] = vertices[v][size_t(i)];
    mesh->CopyBaseVerticesToResolvedVertices();
    for (size_t p = 0; p < polygons.size(); ++p) {
        TQORPolygon& poly = mesh->Polygons[p];
        poly.SetCount(unsigned(polygons[p].size()));
        for (size_t k = 0; k < polygons[p].size(); ++k) poly.Points[k].V = polygons[p][k];
    }
    mesh->BuildVertexPolygons();
    mesh->CalculateOpenEdges();
    return mesh;
}

// Two unit cubes side by side, x from −1 to 1, their shared face left out:
// a closed box with a ring of four vertices on x = 0. Vertex index
// = 4 · column + 2 · y + z, column 0, 1, 2 for x = −1, 0, 1.
int BoxVertex(int column, int y, int z) { return 4 * column + 2 * y + z; }

std::vector<Vec3> BoxVertices(float shift)
{
    std::vector<Vec3> vertices;
    for (int column = 0; column < 3; ++column)
        for (int y = 0; y < 2; ++y)
            for (int z = 0; z < 2; ++z) vertices.push_back({float(column - 1) + shift, float(y), float(z)});
    return vertices;
}

std::vector<std::vector<int>> BoxPolygons()
{
    auto V = BoxVertex;
    std::vector<std::vector<int>> polygons = {
        {V(0, 0, 0), V(0, 0, 1), V(0, 1, 1), V(0, 1, 0)},   // x = −1
        {V(2, 0, 0), V(2, 1, 0), V(2, 1, 1), V(2, 0, 1)},   // x = +1
    };
    for (int half = 0; half < 2; ++half) {
        const int a = half, b = half + 1;
        polygons.push_back({V(a, 0, 0), V(b, 0, 0), V(b, 0, 1), V(a, 0, 1)});   // bottom
        polygons.push_back({V(a, 1, 0), V(a, 1, 1), V(b, 1, 1), V(b, 1, 0)});   // top
        polygons.push_back({V(a, 0, 0), V(a, 1, 0), V(b, 1, 0), V(b, 0, 0)});   // back
        polygons.push_back({V(a, 0, 1), V(b, 0, 1), V(b, 1, 1), V(a, 1, 1)});   // front
    }
    return polygons;
}

int MirrorOf(int v)
{
    const int column = v / 4;
    return 4 * (2 - column) + v % 4;
}

float Centroid(TKSN_Mesh& mesh, int p)
{
    float x = 0;
    for (int k = 0; k < mesh.Polygons[p].Count; ++k) x += mesh.baseVertices[3 * mesh.Polygons[p].Points[k].V];
    return x / float(mesh.Polygons[p].Count);
}

// The polygon whose vertices are the mirror images of p's.
int MirrorPolygon(TKSN_Mesh& mesh, int p)
{
    std::set<int> wanted;
    for (int k = 0; k < mesh.Polygons[p].Count; ++k) wanted.insert(MirrorOf(mesh.Polygons[p].Points[k].V));
    for (int q = 0; q < mesh.polygonCount; ++q) {
        std::set<int> have;
        for (int k = 0; k < mesh.Polygons[q].Count; ++k) have.insert(mesh.Polygons[q].Points[k].V);
        if (have == wanted) return q;
    }
    return -1;
}

class SymmetryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&Boxes);
        QORVirtualMemory_Initialize();
    }
    void TearDown() override
    {
        QORVirtualMemory_Cleanup();
        OS.SetDialogProvider(nullptr);
    }
    Dialogs Boxes;
};

// The pairing of the box, whichever way it was reached.
void ExpectBoxPairing(TKSN_Mesh& mesh)
{
    const int32_t* A = mesh.vertexPartners[0];
    const int32_t* B = mesh.vertexPartners[1];
    ASSERT_NE(A, nullptr);
    ASSERT_NE(B, nullptr);
    for (int v = 0; v < mesh.vertexCount; ++v) {
        SCOPED_TRACE("vertex " + std::to_string(v));
        const int column = v / 4;
        const bool onPlane = (mesh.VertexInfo[v].Flags & QORVertex_SymmetryPlane) != 0;
        if (column == 1) {
            EXPECT_EQ(A[v], v);
            EXPECT_EQ(B[v], v);
            EXPECT_TRUE(onPlane);
        } else if (column == 2) {   // positive side: map A names the mirror, which names it back in map B
            EXPECT_EQ(A[v], MirrorOf(v));
            EXPECT_EQ(B[v], v);
            EXPECT_EQ(B[MirrorOf(v)], v);
            EXPECT_FALSE(onPlane);
        } else {
            EXPECT_EQ(A[v], v);
            EXPECT_EQ(B[v], MirrorOf(v));
            EXPECT_FALSE(onPlane);
        }
    }
    for (int p = 0; p < mesh.polygonCount; ++p) {
        SCOPED_TRACE("polygon " + std::to_string(p));
        const float x = Centroid(mesh, p) - mesh.symmetryOffset;
        const int mirror = MirrorPolygon(mesh, p);
        ASSERT_GE(mirror, 0);
        EXPECT_EQ(mesh.polygonPartners[0][p], x > 0 ? mirror : p);
        EXPECT_EQ(mesh.polygonPartners[1][p], x < 0 ? mirror : p);
    }
}

TEST_F(SymmetryFixture, ClosedBoxPairsMirrorsAndKeepsTheCentreLineOnItself)
{
    struct Case {
        const char* name;
        float shift;
        float offset;
    };
    // With the offset at the box's own centre the pairing equals that of the
    // unshifted box.
    for (const Case& c : {Case{"plane at 0", 0.0f, 0.0f}, Case{"plane at 0.5", 0.5f, 0.5f}}) {
        SCOPED_TRACE(c.name);
        auto mesh = MakeMesh(BoxVertices(c.shift), BoxPolygons());
        mesh->symmetryOffset = c.offset;
        mesh->RestartSymmetryCalculations(0);
        EXPECT_TRUE(mesh->SymmetryStarted);
        ExpectBoxPairing(*mesh);
    }
}

TEST_F(SymmetryFixture, UnusedVerticesFlatObjectsAndUnmatchedPolygonsKeepThemselves)
{
    {
        SCOPED_TRACE("a vertex of no polygon, and a polygon without a mirror");
        std::vector<Vec3> vertices = BoxVertices(0.0f);
        vertices.push_back({0.7f, 3.0f, 3.0f});   // 12: belongs to nothing
        vertices.push_back({0.5f, 0.0f, 0.0f});   // 13, 14: a lone triangle on the positive side
        vertices.push_back({0.5f, 0.5f, 0.0f});
        std::vector<std::vector<int>> polygons = BoxPolygons();
        polygons.push_back({13, 14, BoxVertex(2, 0, 0)});
        auto mesh = MakeMesh(vertices, polygons);
        mesh->RestartSymmetryCalculations(0);
        EXPECT_EQ(mesh->vertexPartners[0][12], 12);
        EXPECT_EQ(mesh->vertexPartners[1][12], 12);
        const int lone = int(polygons.size()) - 1;
        EXPECT_EQ(mesh->polygonPartners[0][lone], lone);
        EXPECT_EQ(mesh->polygonPartners[1][lone], lone);
    }
    {
        SCOPED_TRACE("an object flat along the axis leaves the maps as they were");
        auto mesh = MakeMesh({{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}}, {{0, 1, 2, 3}});
        for (int v = 0; v < 4; ++v) mesh->vertexPartners[0][v] = mesh->vertexPartners[1][v] = -7;
        mesh->RestartSymmetryCalculations(0);
        for (int v = 0; v < 4; ++v) {
            EXPECT_EQ(mesh->vertexPartners[0][v], -7);
            EXPECT_EQ(mesh->vertexPartners[1][v], -7);
        }
    }
}

TEST_F(SymmetryFixture, AMeshWithoutExtentAcrossTheAxisStillPairs)
{
    // Every vertex on the x axis: both cross extents are zero.
    auto mesh = MakeMesh({{-2, 0, 0}, {-1, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {{0, 1}, {2, 3}});
    mesh->RestartSymmetryCalculations(0);
    EXPECT_EQ(mesh->vertexPartners[0][3], 0);
    EXPECT_EQ(mesh->vertexPartners[0][2], 1);
    EXPECT_EQ(mesh->vertexPartners[1][0], 3);
    EXPECT_EQ(mesh->vertexPartners[1][1], 2);
    EXPECT_EQ(mesh->polygonPartners[0][1], 0);
    EXPECT_EQ(mesh->polygonPartners[1][0], 1);
}

TEST_F(SymmetryFixture, PrecisionIsClampedToThreeToTenPlaces)
{
    struct Case {
        float precision;
        double places;
    };
    for (const Case& c : {Case{12, 10}, Case{1, 3}, Case{6, 6}}) {
        SCOPED_TRACE(c.precision);
        auto mesh = MakeMesh(BoxVertices(0.0f), BoxPolygons());
        mesh->symmetryPrecision = c.precision;
        mesh->RestartSymmetryCalculations(0);
        const double diagonal = std::sqrt(4.0 + 1.0 + 1.0);
        EXPECT_NEAR(mesh->SymmetryCalculator->GetTolerance(), std::pow(10.0, -c.places) * diagonal,
                    1e-3 * std::pow(10.0, -c.places));
    }
}

TEST_F(SymmetryFixture, ASecondStartOrACancelKeepsNothingOfTheFirstRun)
{
    // A large grid keeps the first run busy long enough to be overtaken.
    std::vector<Vec3> vertices;
    std::vector<std::vector<int>> polygons;
    const int n = 300;
    for (int i = 0; i <= n; ++i)
        for (int j = 0; j <= n; ++j) vertices.push_back({float(i) / n - 0.5f, float(j) / n, float((i * 7 + j) % 5)});
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            polygons.push_back({i * (n + 1) + j, (i + 1) * (n + 1) + j, (i + 1) * (n + 1) + j + 1, i * (n + 1) + j + 1});
    auto big = MakeMesh(vertices, polygons);
    for (int v = 0; v < big->vertexCount; ++v) big->vertexPartners[0][v] = big->vertexPartners[1][v] = -7;
    auto box = MakeMesh(BoxVertices(0.0f), BoxPolygons());

    TKSN_SymmetryCalculator calculator;
    calculator.Start(big.get(), 0, 6);
    calculator.Start(box.get(), 0, 6);
    calculator.FinishWorkIfNecessary();
    ExpectBoxPairing(*box);
    for (int v = 0; v < big->vertexCount; v += 97) EXPECT_EQ(big->vertexPartners[0][v], -7);

    calculator.Start(big.get(), 0, 6);
    calculator.CancelThread(true);
    calculator.FinishWorkIfNecessary();
    for (int v = 0; v < big->vertexCount; v += 97) {
        EXPECT_EQ(big->vertexPartners[0][v], -7);
        EXPECT_EQ(big->vertexPartners[1][v], -7);
    }
}

TEST(SymmetryOffsets, CentreFirstListStartsAtTheCentreAndGrowsOutward)
{
    CentreFirst_Init(2, 2);
    ASSERT_EQ(CentreFirst_PointList.Count(), 25);
    EXPECT_EQ(CentreFirst_PointList[0]->dx, 0);
    EXPECT_EQ(CentreFirst_PointList[0]->dy, 0);
    for (int i = 1; i < CentreFirst_PointList.Count(); ++i)
        EXPECT_LE(TQORStaticList_CompareDistanceFromCentrePoints(CentreFirst_PointList[i - 1], CentreFirst_PointList[i]),
                  0);
}

// ---------------------------------------------------------------------------
// Morph symmetry on the box
// ---------------------------------------------------------------------------

class MorphSymmetryFixture : public SymmetryFixture {
protected:
    void SetUp() override
    {
        SymmetryFixture::SetUp();
        mesh = MakeMesh(BoxVertices(0.0f), BoxPolygons());
        morph = mesh->CreateMorph(mesh->MorphTree);
        morph->SetName("Test");
        // Negative side: distinct deltas; positive side: others; centre: an x push.
        for (int v = 0; v < 12; ++v) {
            float* d = morph->GetVertex(v);
            const int column = v / 4;
            d[0] = column == 0 ? -0.1f * float(v + 1) : column == 2 ? 0.05f * float(v) : 0.3f;
            d[1] = 0.01f * float(v);
            d[2] = column == 2 ? 0.5f : 0.2f;
        }
    }
    std::array<float, 3> Delta(int v) { return {morph->GetVertex(v)[0], morph->GetVertex(v)[1], morph->GetVertex(v)[2]}; }

    std::unique_ptr<TKSN_Mesh> mesh;
    TKSN_Morph* morph = nullptr;
};

TEST_F(MorphSymmetryFixture, MakeSymmetricMirrorsTheGivingSideAndPinsTheCentreLine)
{
    std::vector<std::array<float, 3>> before;
    for (int v = 0; v < 12; ++v) before.push_back(Delta(v));
    // (The visible-list rebuild derives the hidden bit from the polygons, so
    // the lock stands for both.)
    const int hidden = BoxVertex(2, 1, 1);
    mesh->VertexInfo[hidden].Flags |= QORPoly_Locked;

    mesh->MakeMorphSymmetric(morph, false, false, nullptr, nullptr);
    for (int v = 0; v < 12; ++v) {
        SCOPED_TRACE(v);
        const int column = v / 4;
        const auto d = Delta(v);
        if (column == 1) {
            EXPECT_EQ(d[0], 0.0f);
            EXPECT_EQ(d[1], before[size_t(v)][1]);
        } else if (column == 2 && v != hidden) {
            const auto& source = before[size_t(MirrorOf(v))];
            EXPECT_FLOAT_EQ(d[0], -source[0]);
            EXPECT_FLOAT_EQ(d[1], source[1]);
            EXPECT_FLOAT_EQ(d[2], source[2]);
        } else {
            EXPECT_EQ(d, before[size_t(v)]);   // the giving side, and the hidden vertex
        }
    }
}

TEST_F(MorphSymmetryFixture, MakeSymmetricBlendsBySelectionAndAppliesTheMatrices)
{
    const int target = BoxVertex(2, 0, 0);
    const int source = MirrorOf(target);
    const auto old = Delta(target);
    const auto from = Delta(source);
    struct Case {
        float weight;
        float share;
    };
    for (const Case& c : {Case{0.25f, 0.25f}, Case{1.7f, 1.0f}}) {
        SCOPED_TRACE(c.weight);
        for (int i = 0; i < 3; ++i) morph->GetVertex(target)[i] = old[size_t(i)];
        mesh->VertexInfo[source].Select = c.weight;
        mesh->MakeMorphSymmetric(morph, false, true, nullptr, nullptr);
        const auto d = Delta(target);
        EXPECT_FLOAT_EQ(d[0], c.share * -from[0] + (1 - c.share) * old[0]);
        EXPECT_FLOAT_EQ(d[2], c.share * from[2] + (1 - c.share) * old[2]);
    }

    // A translation before mirroring moves the source, one after moves the result.
    float pre[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 1};
    float post[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 2, 1};
    mesh->MakeMorphSymmetric(morph, false, false, post, pre);
    const auto d = Delta(target);
    EXPECT_FLOAT_EQ(d[0], -(from[0] + 1.0f));
    EXPECT_FLOAT_EQ(d[2], from[2] + 2.0f);
}

TEST_F(MorphSymmetryFixture, BaseVerticesMorphMakesTheBaseShapeSymmetric)
{
    const int target = BoxVertex(2, 1, 0);
    const int centre = BoxVertex(1, 1, 0);
    mesh->baseVertices[3 * MirrorOf(target)] = -1.25f;
    mesh->baseVertices[3 * centre] = 0.001f;
    mesh->MakeMorphSymmetric(mesh->BaseVerticesMorph, false, false, nullptr, nullptr);
    EXPECT_FLOAT_EQ(mesh->baseVertices[3 * target], 1.25f);
    EXPECT_FLOAT_EQ(mesh->baseVertices[3 * centre], 0.001f);
}

TEST_F(MorphSymmetryFixture, SwapExchangesMirroredDeltasOfFullySelectedPairs)
{
    std::vector<std::array<float, 3>> before;
    for (int v = 0; v < 12; ++v) {
        before.push_back(Delta(v));
        mesh->VertexInfo[v].Select = 1.0f;
        mesh->VertexInfo[v].Flags |= 0x2;
    }
    const int locked = BoxVertex(0, 1, 1);
    mesh->VertexInfo[locked].Flags |= QORPoly_Locked;

    mesh->SwapMorphSymmetry(morph);
    for (int v = 0; v < 12; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(mesh->VertexInfo[v].Flags & 0x2u, 0u);
        const auto d = Delta(v);
        const int column = v / 4;
        if (column == 1) {
            EXPECT_EQ(d[0], -before[size_t(v)][0]);   // base x = 0: within 1e-4 of the plane
            EXPECT_EQ(d[2], before[size_t(v)][2]);
        } else if (v == locked || MirrorOf(v) == locked) {
            EXPECT_EQ(d, before[size_t(v)]);
        } else {
            const auto& other = before[size_t(MirrorOf(v))];
            EXPECT_FLOAT_EQ(d[0], -other[0]);
            EXPECT_FLOAT_EQ(d[1], other[1]);
            EXPECT_FLOAT_EQ(d[2], other[2]);
        }
    }
}

}  // namespace SymmetryCalculatorTest
