// Displacement-map baking on a 2 x 2 quad level: pixel values, the gutter
// fringe, the channel strength, materials sharing a map, and the
// rasteriser's refusal to run without a priority buffer.
#include "KSN_DisplacementBake.h"

#include "../../Scene/KSN_SubDTestSupport.h"
#include "KsnTestSupport.h"
#include "OS.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

// 2 x 2 quads over 0..1 in z = 0, UVs 0.25..0.75; vertex 4 is the middle.
std::unique_ptr<TKSN_Mesh> MakeLevel(int materials = 1)
{
    std::vector<std::array<float, 3>> positions;
    std::vector<std::array<float, 2>> uvs;
    for (int y = 0; y <= 2; ++y)
        for (int x = 0; x <= 2; ++x) {
            positions.push_back({x / 2.0f, y / 2.0f, 0.0f});
            uvs.push_back({0.25f + 0.25f * x, 0.25f + 0.25f * y});
        }
    std::vector<SubDTest::TPoly> polygons;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            const int v = y * 3 + x;
            polygons.push_back({{v, v + 1, v + 4, v + 3}, {}});
        }
    return SubDTest::MakeMesh(positions, uvs, polygons, materials);
}

class DisplacementBakeTest : public ::testing::Test {
protected:
    static constexpr int Size = 64;
    std::unique_ptr<TKSN_Mesh> Level = MakeLevel();
    std::unique_ptr<TQORMaterialMapSource> Map;

    void Bind(TKSN_Mesh& mesh, int material)
    {
        TQORMaterial* m = SubDTest::Material(mesh, material);
        m->CacheChannels();
        Map = SubDTest::BindMap(mesh, m->DisplacementChannel, Size, 200);
    }
    unsigned char Pixel(int x, int y) { return Map->GetPixels()[(size_t(y) * Size + x) * 3]; }
};

TEST_F(DisplacementBakeTest, PushedVertexIsWhiteTheGutterIsFilledAndFarPixelsStay)
{
    Bind(*Level, 0);
    Level->resolvedVertices[3 * 4 + 2] += 0.1f;
    EXPECT_EQ(BakeDisplacementMapsForMesh(Level.get(), Level.get()), 1);

    // The vertex sits at (31.5, 31.5) in pixel space; its four pixels are the brightest.
    unsigned char brightest = 0;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x)
            if (Pixel(x, y) != 200) brightest = std::max(brightest, Pixel(x, y));
    EXPECT_GE(Pixel(31, 31), 247);
    EXPECT_EQ(Pixel(31, 31), brightest);
    // Inside the island every value lies between no displacement and the peak.
    for (int y = 16; y < 48; ++y)
        for (int x = 16; x < 48; ++x) EXPECT_GE(Pixel(x, y), 127) << x << "," << y;
    // The fringe reaches two pixels outside the island (15.5 .. 47.5), no further.
    EXPECT_NE(Pixel(14, 30), 200);
    EXPECT_EQ(Pixel(12, 30), 200);
    EXPECT_EQ(Pixel(30, 51), 200);
    EXPECT_EQ(Pixel(0, 0), 200);
    const float diameter = Level->boundsDiagonal;
    EXPECT_NEAR(SubDTest::Material(*Level, 0)->DisplacementChannel->Strength, 0.2f / diameter, 1e-6f);
}

TEST_F(DisplacementBakeTest, NoDisplacementWritesMidGreyAndZeroStrength)
{
    Bind(*Level, 0);
    BakeDisplacementMapsForMesh(Level.get(), Level.get());
    for (int y = 16; y < 48; ++y)
        for (int x = 16; x < 48; ++x) ASSERT_EQ(Pixel(x, y), 127) << x << "," << y;
    EXPECT_EQ(SubDTest::Material(*Level, 0)->DisplacementChannel->Strength, 0.0f);
}

TEST_F(DisplacementBakeTest, MaterialsSharingAMapAroundOneWithoutAreAllBaked)
{
    // Polygons in the order map X, no map, map X, no map.
    Level = MakeLevel(2);
    for (int p = 0; p < 4; ++p) Level->Polygons[p].Material = p % 2;
    Bind(*Level, 0);
    SubDTest::Material(*Level, 1)->CacheChannels();
    SubDTest::Material(*Level, 1)->DisplacementChannel->Strength = 0.7f;
    Level->resolvedVertices[3 * 4 + 2] -= 0.05f;
    EXPECT_EQ(BakeDisplacementMapsForMesh(Level.get(), Level.get()), 1);
    EXPECT_NE(Pixel(20, 20), 200) << "polygon 0 (lower left)";
    EXPECT_NE(Pixel(20, 44), 200) << "polygon 2 (upper left), after the material without a map";
    EXPECT_EQ(Pixel(44, 20), 200) << "polygon 1 has no map; its pixels stay";
    EXPECT_EQ(SubDTest::Material(*Level, 1)->DisplacementChannel->Strength, 0.7f) << "no map, no strength";
    EXPECT_LT(Pixel(31, 31), 10) << "inward displacement is dark";
}

TEST(DisplacementRasterizer, NoPriorityBufferThrowsAndValuesClampToBytes)
{
    TBoxRecorder boxes;
    OS.SetDialogProvider(&boxes);
    const float points[3][3] = {{1, 1, 1}, {6, 1, 1}, {1, 6, 1}};
    const float colors[3][4] = {{1.5f, 1.5f, 1.5f, 1}, {-1, -1, -1, 1}, {0.5f, 0.5f, 0.5f, 1}};
    std::vector<unsigned char> pixels(8 * 8 * 3, 9);
    try {
        KSN_RasterizeDisplacementMapTriangle(points, colors, 8, 8, 8, pixels.data(), 3, nullptr, true);
        ADD_FAILURE() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "DepthBuffer == NULL and USE_DEPTH_BUFFER");
    }
    std::vector<float> depth(64, 0.0f);
    KSN_RasterizeDisplacementMapTriangle(points, colors, 8, 8, 8, pixels.data(), 3, depth.data(), false);
    EXPECT_EQ(pixels[(1 * 8 + 1) * 3], 255) << "next to the 1.5 corner: clamped";
    EXPECT_EQ(pixels[0], 9) << "outside, no fringe: untouched";
    EXPECT_EQ(pixels[(7 * 8 + 7) * 3], 9) << "outside, no fringe: untouched";
    OS.SetDialogProvider(nullptr);
}

} // namespace
