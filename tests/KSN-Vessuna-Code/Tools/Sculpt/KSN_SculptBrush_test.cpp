// The sculpt kinds' layer update on small fixtures, and the dab through the
// project: its layer checks and a stroke on a subdivided grid.
#include "KSN_SculptBrush.h"
#include "KSN_Mesh.h"

#include "../../Scene/KSN_SubDTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

class SculptDabTest : public ::testing::Test {
protected:
    static constexpr int N = 7, Side = N + 1;
    std::unique_ptr<TKSN_Mesh> Mesh = SubDTest::MakeFlatGrid(N);
    std::vector<float> D = std::vector<float>(size_t(Side * Side * 3), 0.0f);
    std::vector<TKSN_AffectedVertex> List;

    static int V(int x, int y) { return y * Side + x; }
    float* R(int v) { return Mesh->resolvedVertices + 3 * v; }
    void ListInterior(float weight = 1.0f)
    {
        List.clear();
        for (int y = 1; y < N; ++y)
            for (int x = 1; x < N; ++x) List.push_back({V(x, y), weight});
    }
    void Dab(const TKSN_SculptDab& dab) { KSN_ApplySculptDab(Mesh.get(), D.data(), List.data(), int(List.size()), dab); }
    static TKSN_SculptDab Make(eKSN_SculptKind kind, float amplitude, int blend = 1)
    {
        TKSN_SculptDab dab;
        dab.Kind = kind;
        dab.Amplitude = amplitude;
        dab.Normal[2] = 1.0f;
        dab.PostSmooth = 0.0f;
        dab.BlendType = blend;
        return dab;
    }
};

TEST_F(SculptDabTest, SculptMovesAlongTheNormalByTheBlendType)
{
    // Brush textures (RGBA): one texel each, or black and white side by side,
    // the grid's left half on the black texel's centre, its right half on the white's.
    const unsigned char black[4] = {0, 0, 0, 255}, white[4] = {255, 255, 255, 255};
    const unsigned char grey[4] = {128, 128, 0, 255}, clear[4] = {0, 0, 0, 0};
    const unsigned char halves[8] = {0, 0, 0, 255, 255, 255, 255, 255};
    struct Case {
        const char* why;
        float amplitude;
        int blend, dabs;
        float expected;   // z of every listed vertex, in amplitudes of 0.01
        const unsigned char* texture = nullptr;
        int textureWidth = 1;
        float expectedRight = 0.0f;   // with the two-texel texture: right of the middle
    } cases[] = {
        {"one dab", 0.01f, 1, 1, 1.0f},
        {"Alt: negative amplitude", -0.01f, 1, 1, -1.0f},
        {"type 1 adds up", 0.01f, 1, 2, 2.0f},
        {"type 0 moves toward the target once", 0.01f, 0, 2, 1.0f},
        {"a black texture texel reverses", 0.01f, 1, 1, -1.0f, black},
        {"a white texel keeps the change", 0.01f, 1, 1, 1.0f, white},
        {"mid grey nearly cancels it", 0.01f, 1, 1, (2 * 128 + 128) * 2 / 765.0f - 1.0f, grey},
        {"alpha 0 reverses like black", 0.01f, 1, 1, -1.0f, clear},
        {"type 0 reverses toward the reversed target", 0.01f, 0, 1, -1.0f, black},
        {"each vertex takes its own texel", 0.01f, 1, 1, -1.0f, halves, 2, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Mesh = SubDTest::MakeFlatGrid(N);
        std::fill(D.begin(), D.end(), 0.0f);
        ListInterior();
        TKSN_SculptDab dab = Make(eKSN_SculptKind::Sculpt, c.amplitude, c.blend);
        if (c.texture) {
            dab.Texture = c.texture;
            dab.TextureWidth = c.textureWidth;
            dab.TextureHeight = 1;
            dab.TextureCoordinates = [](int, const float* base, float* uv) {
                uv[0] = base[0] > 0.5f ? 0.75f : 0.25f;
                uv[1] = 0.5f;
            };
        }
        for (int i = 0; i < c.dabs; ++i) Dab(dab);
        for (const TKSN_AffectedVertex& e : List) {
            const bool right = c.textureWidth == 2 && Mesh->baseVertices[3 * e.Vertex] > 0.5f;
            const float expected = right ? c.expectedRight : c.expected;
            EXPECT_NEAR(R(e.Vertex)[2], 0.01f * expected, 1e-7f) << e.Vertex;
            EXPECT_NEAR(D[size_t(3 * e.Vertex + 2)], 0.01f * expected, 1e-7f) << e.Vertex;
        }
        EXPECT_EQ(R(V(0, 0))[2], 0.0f) << "unlisted vertices stay";
        EXPECT_EQ(D[2], 0.0f);
    }
}

TEST_F(SculptDabTest, LayerStrengthScalesThePositionButNotTheDelta)
{
    ListInterior(0.5f);
    TKSN_SculptDab dab = Make(eKSN_SculptKind::Sculpt, 0.02f);
    dab.LayerStrength = 0.25f;
    Dab(dab);
    const int v = V(3, 3);
    EXPECT_FLOAT_EQ(D[size_t(3 * v + 2)], 0.01f) << "c = S x w = 0.5";
    EXPECT_FLOAT_EQ(R(v)[2], 0.25f * 0.01f) << "R = base + s x D";
}

TEST_F(SculptDabTest, SmoothKeepsAFlatGridFlatAndSpreadsASpike)
{
    ListInterior();
    Dab(Make(eKSN_SculptKind::Smooth, 0.0f));
    for (int v = 0; v < Side * Side; ++v) EXPECT_EQ(R(v)[2], 0.0f) << v;

    Mesh = SubDTest::MakeFlatGrid(N);
    std::fill(D.begin(), D.end(), 0.0f);
    const float h = 0.8f;
    R(V(3, 3))[2] = h;
    Dab(Make(eKSN_SculptKind::Smooth, 0.0f));
    EXPECT_FLOAT_EQ(R(V(3, 3))[2], h / 4);
    for (int v : {V(2, 3), V(4, 3), V(3, 2), V(3, 4)}) EXPECT_FLOAT_EQ(R(v)[2], h / 8) << v;
    for (int v : {V(2, 2), V(4, 2), V(2, 4), V(4, 4)}) EXPECT_FLOAT_EQ(R(v)[2], h / 16) << v;
    EXPECT_FLOAT_EQ(D[size_t(3 * V(3, 3) + 2)], h / 4 - h) << "the layer takes the change";
}

TEST_F(SculptDabTest, EraserReturnsTowardTheBase)
{
    // Every vertex displaced through the layer: R = base + D.
    for (int v = 0; v < Side * Side; ++v) {
        D[size_t(3 * v + 0)] = 0.003f * float(v % 5);
        D[size_t(3 * v + 2)] = 0.01f + 0.001f * float(v);
        for (int i = 0; i < 3; ++i) R(v)[i] += D[size_t(3 * v + i)];
    }
    const std::vector<float> before = D;
    List = {{V(3, 3), 1.0f}, {V(4, 3), 1.0f}};
    TKSN_SculptDab dab = Make(eKSN_SculptKind::Eraser, 1.0f);
    dab.Strength = 0.5f;
    Dab(dab);
    EXPECT_FLOAT_EQ(D[size_t(3 * V(3, 3) + 2)], 0.5f * before[size_t(3 * V(3, 3) + 2)]) << "S = 0.5 halves";
    dab.Strength = 1.0f;
    Dab(dab);
    for (const TKSN_AffectedVertex& e : List)
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(R(e.Vertex)[i], Mesh->baseVertices[3 * e.Vertex + i], 1e-6f);
    for (int v = 0; v < Side * Side; ++v)
        if (v != V(3, 3) && v != V(4, 3)) {
            for (int i = 0; i < 3; ++i) EXPECT_EQ(D[size_t(3 * v + i)], before[size_t(3 * v + i)]) << v;
        }
}

TEST(SculptTexture, TheFactorSamplesBilinearlyAndWrapsAround)
{
    // Two texels in a row: black (factor -1) and white (1); between their
    // centres the channels blend, and coordinates wrap one image a unit.
    const unsigned char row[8] = {0, 0, 0, 255, 255, 255, 255, 255};
    struct Case {
        const char* why;
        float u, expected;
    } cases[] = {
        {"black texel centre", 0.25f, -1.0f},
        {"white texel centre", 0.75f, 1.0f},
        {"half way: channels 127", 0.5f, (2 * 127 + 127) * 2 / 765.0f - 1.0f},
        {"one image to the right is the same texel", 1.25f, -1.0f},
        {"negative coordinates wrap", -0.75f, -1.0f},
        {"far negative coordinates wrap", -9.25f, 1.0f},
        {"past the last centre: the last texel alone", 0.9f, 1.0f},
        {"before the first centre wraps onto the last texel", 0.1f, 1.0f},
        {"huge coordinates stay inside the image", 3.0e9f, -1.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(KSN_SculptTextureFactor(row, 2, 1, c.u, 0.5f), c.expected, 1e-6f) << c.why;
    EXPECT_EQ(KSN_SculptTextureFactor(nullptr, 0, 0, 0.3f, 0.3f), 1.0f) << "no texture keeps the change";
    // Alpha below 255 scales the intensity: white at alpha 51 gives I = 0.4.
    const unsigned char faint[4] = {255, 255, 255, 51};
    EXPECT_NEAR(KSN_SculptTextureFactor(faint, 1, 1, 0.5f, 0.5f), 0.4f - 1.0f, 1e-6f);
}

TEST(SculptNormals, FastInverseSqrtAndRecomputedNormals)
{
    for (float x : {0.25f, 1.0f, 3.0f, 1e4f}) EXPECT_NEAR(KSN_FastInverseSqrt(x) * std::sqrt(x), 1.0f, 2e-3f);

    auto mesh = SubDTest::MakeFlatGrid(2);
    // Tilt the middle vertex up: the polygons around it and its normal change.
    mesh->resolvedVertices[3 * 4 + 2] = 0.5f;
    std::vector<TKSN_AffectedVertex> vertices = {{4, 1.0f}};
    std::vector<int32_t> polygons = {0, 1, 2, 3};
    KSN_RecalculateNormalsAfterSculpt(mesh.get(), vertices.data(), 1, polygons.data(), 4);
    EXPECT_GT(std::fabs(mesh->polygonNormals[0]), 0.1f) << "a tilted polygon";
    EXPECT_NEAR(mesh->vertexNormals[3 * 4 + 2], 1.0f, 2e-3f) << "symmetric around the top";
}

// On a polygon mesh (no subdivision) the dab writes the polygon normals
// itself: they must be the mesh's own bytes for quads, triangles, larger
// polygons and a polygon naming a vertex the mesh does not have.
TEST(SculptNormals, PolygonMeshNormalsAreTheMeshsOwnBitForBit)
{
    const float points[7][3] = {{0, 0, 0.3f}, {1, 0, 0.1f}, {1, 1, -0.2f}, {0, 1, 0.05f},
                                {-1, 0.5f, 0.4f}, {-0.5f, -1, 0.2f}, {0.5f, -1.2f, -0.1f}};
    const std::vector<std::vector<int>> corners = {{0, 1, 2, 3}, {0, 3, 4}, {0, 4, 5, 6, 1}, {0, 1, 99}};
    auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
    mesh->Create(7, 0, 7, int(corners.size()));
    for (int v = 0; v < 7; ++v) {
        std::copy(points[v], points[v] + 3, mesh->baseVertices + 3 * v);
        mesh->VertexInfo[v].Flags = 0;
    }
    for (size_t q = 0; q < corners.size(); ++q) {
        mesh->Polygons[q].SetCount(unsigned(corners[q].size()));
        for (size_t c = 0; c < corners[q].size(); ++c) mesh->Polygons[q].Points[c] = {corners[q][c], -1};
        mesh->Polygons[q].Material = 0;
        mesh->PolygonFlags[q] = 0;
    }
    mesh->CopyBaseVerticesToResolvedVertices();
    mesh->BuildVertexPolygons();
    mesh->RecalculateNormals(false);
    // Vertex 0 moves; every polygon touches it.
    mesh->resolvedVertices[2] = 0.7f;
    std::vector<float> expected(3 * corners.size());
    for (int q = 0; q < int(corners.size()); ++q) {
        mesh->RecalculatePolyNormal(q);
        std::copy(mesh->polygonNormals + 3 * q, mesh->polygonNormals + 3 * q + 3, expected.begin() + 3 * q);
        std::fill(mesh->polygonNormals + 3 * q, mesh->polygonNormals + 3 * q + 3, 9.0f);
    }
    std::vector<TKSN_AffectedVertex> vertices = {{0, 1.0f}};
    std::vector<int32_t> polygons = {3, 1, 0, 2};
    KSN_RecalculateNormalsAfterSculpt(mesh.get(), vertices.data(), 1, polygons.data(), int(polygons.size()));
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(std::bit_cast<uint32_t>(mesh->polygonNormals[i]), std::bit_cast<uint32_t>(expected[i])) << i;
    EXPECT_EQ(mesh->polygonNormals[9], 0.0f) << "the polygon naming a missing vertex is degenerate";
}

} // namespace

namespace {

TEST(SculptBrushShape, AmplitudeSamplesTheShapeInsideItsBoxOnly)
{
    TKSN_SculptBrush brush;
    // One texel: its value everywhere in the box, nothing outside.
    const unsigned char one[1] = {128};
    brush.BrushShape = one;
    brush.BrushShapeWidth = brush.BrushShapeHeight = 1;
    struct Case {
        float px, py, expected;
    } cases[] = {{0.0f, 0.0f, 128 / 255.0f}, {0.09f, -0.09f, 128 / 255.0f}, {0.11f, 0.0f, 0.0f}, {0.0f, -0.2f, 0.0f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(brush.GetAmplitude(0.0f, 0.0f, c.px, c.py, 0.1f, 1.0f), c.expected) << c.px << "," << c.py;

    // A 2 x 2 shape is interpolated between its texel centres; a wide shape
    // keeps its proportions (half the height for twice the width).
    const unsigned char ramp[4] = {0, 255, 0, 255};
    brush.BrushShape = ramp;
    brush.BrushShapeWidth = brush.BrushShapeHeight = 2;
    EXPECT_NEAR(brush.GetAmplitude(0.0f, 0.0f, 0.0f, 0.0f, 0.1f, 1.0f), 0.5f, 0.01f);
    EXPECT_FLOAT_EQ(brush.GetAmplitude(0.0f, 0.0f, 0.05f, 0.0f, 0.1f, 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(brush.GetAmplitude(0.0f, 0.0f, -0.05f, 0.0f, 0.1f, 1.0f), 0.0f);
    const unsigned char wide[2] = {255, 255};
    brush.BrushShape = wide;
    brush.BrushShapeWidth = 2;
    brush.BrushShapeHeight = 1;
    EXPECT_GT(brush.GetAmplitude(0.0f, 0.0f, 0.05f, 0.0f, 0.1f, 1.0f), 0.0f);
    EXPECT_EQ(brush.GetAmplitude(0.0f, 0.0f, 0.05f, 0.06f, 0.1f, 1.0f), 0.0f) << "above the half-height box";
}

} // namespace
