// Sculpted-prim images: the export's pixels and file, the fill of empty
// pixels, and the import as the inverse of the export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "KSN_InterchangeTestSupport.h"
#include "KSN_Morph.h"
#include "KSN_SculptedPrim.h"
#include "QORImageMap.h"
#include "QORLanguage.h"

namespace {

using namespace ksn_interchange_test;

class SculptedPrimTest : public ProjectFileFixture {
protected:
    bool Run(int command)
    {
        TQOREvent event(command);
        return KSN_SecondLifeEvents(&event);
    }
    // Answers Yes to the experimental warning and picks the file.
    bool Export(const std::string& path)
    {
        Dialogs.Answers = {TOSBoxAnswer::Yes};
        Dialogs.Choices = {path};
        return Run(0);
    }
    bool Import(const std::string& path)
    {
        Dialogs.Choices = {path};
        return Run(1);
    }
    static std::vector<unsigned char> Rgb(TQORImageMap& image, int x, int y)
    {
        const unsigned char* p = image.GetPixels() + 3 * (size_t(y) * size_t(image.GetWidth()) + size_t(x));
        return {p[0], p[1], p[2]};
    }
    TKSN_Object* MakeCurrentGrid(int cols, int rows)
    {
        TKSN_Object* object = MakeGridObject(Project, "Ball.obj", cols, rows);
        Project->SetCurrentObject(object);
        return object;
    }
};

TEST_F(SculptedPrimTest, GridOf32By32VerticesFillsEveryPixelInTwoByTwoBlocks)
{
    MakeCurrentGrid(31, 31);
    const std::string path = PathOf("Ball-Sculpt.png").string();
    ASSERT_TRUE(Export(path));
    ASSERT_EQ(Dialogs.FileRequests.size(), 1u);
    EXPECT_EQ(Dialogs.FileRequests[0].DefaultName, "Ball-Sculpt.PNG");

    TQORImageMap image;
    ASSERT_TRUE(image.ImportFile(path.c_str()));
    ASSERT_EQ(image.GetWidth(), 64);
    ASSERT_EQ(image.GetHeight(), 64);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            // Vertex (x, y) at (x / 31, y / 31, 0) lands on pixel trunc(0.5 + 31 u) = x.
            const std::vector<unsigned char> expected = {
                static_cast<unsigned char>(std::trunc(255.0f * (float(x) / 31.0f))),
                static_cast<unsigned char>(std::trunc(255.0f * (float(y) / 31.0f))), 0};
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    ASSERT_EQ(Rgb(image, 2 * x + dx, 2 * y + dy), expected) << x << "," << y;
        }
    // The vertex on the box's minimum corner filled its pixel with (0, 0, 0);
    // the fill would have given it its neighbours' average.
    EXPECT_TRUE(Warnings.size() == 1 && Warnings[0].find("appears not to be a 32x32 primitive") != std::string::npos);
}

TEST_F(SculptedPrimTest, ThousandPolygonsWarnAndStillExport)
{
    MakeCurrentGrid(40, 25);
    ASSERT_TRUE(Export(PathOf("wide.png").string()));
    EXPECT_TRUE(Contains(Warnings, "The object 'Ball.obj' appears not to be a 32x32 primitive, so the exported map may "
                                   "not be as expected. Use at your own risk."));
    EXPECT_TRUE(fs::exists(PathOf("wide.png")));
}

TEST_F(SculptedPrimTest, FartherVertexWinsAPixelAndTheLaterOneOnATie)
{
    // One quad: v0 (0,0,0), v1 (1,0,0), v2 (0,1,0), v3 (0,0,1). v0 and v1
    // share pixel (0,0); v2 and v3 share pixel (31,31) at equal keys, and v3
    // comes later in the fan (0,1,2), (0,2,3).
    TKSN_Object* object = MakeCurrentGrid(1, 1);
    TKSN_Mesh* mesh = object->Mesh.get();
    const float positions[12] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(mesh->baseVertices, positions, sizeof positions);
    const float uvs[8] = {0, 0, 0, 0, 1, 1, 1, 1};
    std::memcpy(mesh->tVertices, uvs, sizeof uvs);
    TQORPolygon& quad = mesh->Polygons[0];
    for (int k = 0; k < 4; ++k) quad.Points[k].V = quad.Points[k].VT = k;

    ASSERT_TRUE(Export(PathOf("quad.png").string()));
    TQORImageMap image;
    ASSERT_TRUE(image.ImportFile(PathOf("quad.png").c_str()));
    EXPECT_EQ(Rgb(image, 0, 0), (std::vector<unsigned char>{255, 0, 0}));
    EXPECT_EQ(Rgb(image, 63, 63), (std::vector<unsigned char>{0, 0, 255}));
}

TEST_F(SculptedPrimTest, RefusalsAndWarnings)
{
    // No: nothing happens.
    MakeCurrentGrid(2, 2);
    Dialogs.Answers = {TOSBoxAnswer::No};
    EXPECT_FALSE(Run(0));
    EXPECT_TRUE(Dialogs.FileRequests.empty());
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_FALSE(Dialogs.Boxes[0].DefaultYes);
    // A cancelled save dialog ends the export.
    Dialogs.Answers = {TOSBoxAnswer::Yes};
    EXPECT_FALSE(Run(0));
    // All points the same: warned, nothing written.
    TKSN_Object* flat = MakeCurrentGrid(1, 1);
    Project->SetCurrentObject(flat);
    std::memset(flat->Mesh->baseVertices, 0, sizeof(float) * 12);
    for (TKSN_Object* object : {flat}) object->multiSelected = true;
    EXPECT_TRUE(Export(PathOf("same.png").string()));
    EXPECT_TRUE(Contains(Warnings, "The object 'Ball.obj' has invalid geometry (all points are the same). Cannot export"));
    EXPECT_FALSE(fs::exists(PathOf("same.png")));
}

// ============================================================================
// Filling empty pixels
// ============================================================================

TEST(SculptyFill, OneFilledPixelSpreadsOverTheWholeImage)
{
    struct Case {
        int width, height, x, y;
    };
    for (const Case& c : {Case{5, 5, 2, 2}, Case{7, 3, 0, 0}, Case{1, 4, 0, 3}}) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        std::vector<unsigned char> rgb(size_t(c.width * c.height * 3), 0);
        std::vector<float> keys(size_t(c.width * c.height), 0.0f);
        const size_t at = size_t(c.y * c.width + c.x);
        rgb[3 * at] = 10;
        rgb[3 * at + 1] = 20;
        rgb[3 * at + 2] = 30;
        keys[at] = 0.5f;
        BlurEmptyRegionsInSculpty(rgb.data(), c.width, c.height, keys.data());
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(keys[i], 1.0f);
            EXPECT_EQ(rgb[3 * i], 10);
            EXPECT_EQ(rgb[3 * i + 1], 20);
            EXPECT_EQ(rgb[3 * i + 2], 30);
        }
    }
}

TEST(SculptyFill, NeighboursAverageWithIntegerDivisionAndAnEmptyImageStays)
{
    // Row of three: 10 _ 21 -> the middle gets (10 + 21) / 2 = 15.
    std::vector<unsigned char> rgb = {10, 10, 10, 0, 0, 0, 21, 21, 21};
    std::vector<float> keys = {1.0f, 0.0f, 1.0f};
    BlurEmptyRegionsInSculpty(rgb.data(), 3, 1, keys.data());
    EXPECT_EQ(rgb[3], 15);
    std::vector<unsigned char> empty(12, 0);
    std::vector<float> none(4, 0.0f);
    BlurEmptyRegionsInSculpty(empty.data(), 2, 2, none.data());
    EXPECT_EQ(none, std::vector<float>(4, 0.0f));
    EXPECT_EQ(empty, std::vector<unsigned char>(12, 0));
}

TEST(SculptyFill, PixelOfATextureCoordinate)
{
    struct Case {
        float u;
        int size, pixel;
    };
    for (const Case& c : {Case{0.0f, 32, 0}, Case{1.0f, 32, 31}, Case{0.5f, 32, 16}, Case{16.0f / 31.0f, 32, 16},
                          Case{1.0f, 64, 63}, Case{-0.1f, 32, -2}})
        EXPECT_EQ(KSN_SculptyPixelOf(c.u, c.size), c.pixel) << c.u << " " << c.size;
}

// ============================================================================
// Import
// ============================================================================

TEST_F(SculptedPrimTest, ExportThenImportGivesEveryGridVertexBack)
{
    TKSN_Object* object = MakeCurrentGrid(31, 31);
    TKSN_Mesh* mesh = object->Mesh.get();
    TKSN_Morph* bump = AddMorph(mesh, nullptr, "Bump");
    for (int v = 0; v < mesh->GetVCount(); ++v) {
        const float x = mesh->baseVertices[3 * v], y = mesh->baseVertices[3 * v + 1];
        bump->GetVertex(v)[2] = 0.3f * std::sin(3.0f * x) * std::cos(2.0f * y);
    }
    mesh->SetCurrentMorph(bump);
    mesh->ResolveMorphs(true);
    const std::vector<float> before(mesh->resolvedVertices, mesh->resolvedVertices + 3 * mesh->GetVCount());
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (int v = 0; v < mesh->GetVCount(); ++v)
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], before[size_t(3 * v + c)]);
            hi[c] = std::max(hi[c], before[size_t(3 * v + c)]);
        }
    const float size = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});

    ASSERT_TRUE(Export(PathOf("bump.png").string()));
    ASSERT_TRUE(Import(PathOf("bump.png").string()));
    mesh->ResolveMorphs(true);
    for (int v = 0; v < mesh->GetVCount(); ++v)
        for (int c = 0; c < 3; ++c)
            ASSERT_NEAR(mesh->resolvedVertices[3 * v + c], before[size_t(3 * v + c)], size / 255.0f + 1e-5f)
                << "vertex " << v << " axis " << c;
}

TEST_F(SculptedPrimTest, ImportWithoutCurrentMorphWarnsAndChangesNothing)
{
    TKSN_Object* object = MakeCurrentGrid(31, 31);
    ASSERT_TRUE(Export(PathOf("flat.png").string()));
    TKSN_Mesh* mesh = object->Mesh.get();
    TKSN_Morph* morph = mesh->GetCurrentMorph();
    ASSERT_NE(morph, nullptr);
    mesh->SetCurrentMorph(nullptr);
    Warnings.clear();
    const std::vector<float> base(mesh->baseVertices, mesh->baseVertices + 3 * mesh->GetVCount());
    EXPECT_FALSE(Import(PathOf("flat.png").string()));
    EXPECT_TRUE(Contains(Warnings, Lang.GetText(1019)));
    EXPECT_EQ(std::vector<float>(mesh->baseVertices, mesh->baseVertices + 3 * mesh->GetVCount()), base);
    for (int v = 0; v < mesh->GetVCount(); ++v) EXPECT_EQ(morph->GetVertex(v)[2], 0.0f);
}

TEST_F(SculptedPrimTest, ImportNeedsTextureCoordinatesAndAnImage)
{
    TKSN_Object* object = MakeCurrentGrid(2, 2);
    EXPECT_FALSE(Import(PathOf("missing.png").string()));
    ASSERT_TRUE(Export(PathOf("a.png").string()));
    object->Mesh->SetTVertexCount(0);
    EXPECT_FALSE(Import(PathOf("a.png").string()));
    EXPECT_TRUE(Contains(Warnings, "The object 'Ball.obj' has no UV's, so we can't import a sculpted prim for it"));
}

} // namespace
