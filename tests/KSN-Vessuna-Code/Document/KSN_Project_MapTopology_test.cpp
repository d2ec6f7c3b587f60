// Map bindings of meshes, channel file names, and the overdraw masks that a
// change of map topology rebuilds (with the rasteriser and the two-ring blur).
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Overdraw.h"
#include "KSN_Project.h"
#include "KSN_Project_AppSupport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "KsnTestSupport.h"

namespace fs = std::filesystem;

namespace {

// [Rasteriser and blur] ---------------------------------------------------------

TEST(Overdraw, BlurGrowsTwoRingsAroundCoveredTexels)
{
    std::vector<unsigned char> zero(6 * 5, 0);
    BlurOverdrawMap(zero.data(), 6, 5);
    EXPECT_EQ(zero, std::vector<unsigned char>(30, 0));

    const int w = 9, h = 9;
    std::vector<unsigned char> mask(w * h, 0);
    mask[4 * w + 4] = 255;
    BlurOverdrawMap(mask.data(), w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int ring = std::max(std::abs(x - 4), std::abs(y - 4));
            const int expected = ring == 0 ? 255 : ring == 1 ? 127 : ring == 2 ? 63 : 0;
            EXPECT_EQ(mask[y * w + x], expected) << x << "," << y;
        }

    // At the image edge the neighbourhood is clipped.
    std::vector<unsigned char> corner(4 * 4, 0);
    corner[0] = 255;
    BlurOverdrawMap(corner.data(), 4, 4);
    EXPECT_EQ(corner[1], 127);
    EXPECT_EQ(corner[4 + 1], 127);
    EXPECT_EQ(corner[2], 63);
    EXPECT_EQ(corner[3], 0);
}

TEST(Overdraw, TriangleCoversTheTexelsWhoseCentresItHolds)
{
    const int w = 8, h = 8;
    struct Case {
        const char* Why;
        float A[2], B[2], C[2];
        int Step;
        std::vector<std::pair<int, int>> In, Out;
    };
    const Case cases[] = {
        {"lower-left half of the square", {0, 0}, {8, 0}, {0, 8}, 1, {{0, 0}, {6, 0}, {0, 6}, {3, 3}}, {{7, 7}, {4, 4}}},
        {"a centre on the edge counts", {0, 0}, {8, 0}, {0, 8}, 1, {{3, 4}}, {}},
        {"only pixel centres count", {2.6f, 2.6f}, {3.4f, 2.6f}, {2.6f, 3.4f}, 1, {}, {{2, 2}, {3, 3}}},
        {"wholly outside", {-9, -9}, {-1, -9}, {-9, -1}, 1, {}, {{0, 0}}},
        {"clipped at the image", {-8, -8}, {16, -8}, {-8, 16}, 1, {{0, 0}, {7, 0}}, {}},
        {"every third byte", {0, 0}, {8, 0}, {0, 8}, 3, {{0, 0}, {3, 3}}, {{7, 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        std::vector<unsigned char> mask(size_t(w * h * c.Step), 0);
        RasterizeTriangle_OverdrawBuffer(c.A, c.B, c.C, w, h, mask.data(), c.Step);
        for (auto [x, y] : c.In) EXPECT_EQ(mask[size_t((y * w + x) * c.Step)], 255) << x << "," << y;
        for (auto [x, y] : c.Out) EXPECT_EQ(mask[size_t((y * w + x) * c.Step)], 0) << x << "," << y;
        for (size_t i = 0; i < mask.size(); ++i)
            if (i % size_t(c.Step) != 0) { EXPECT_EQ(mask[i], 0) << "byte " << i; }
    }

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float bad[2] = {nan, 1.0f}, b[2] = {8, 0}, c[2] = {0, 8};
    std::vector<unsigned char> mask(w * h, 0);
    RasterizeTriangle_OverdrawBuffer(bad, b, c, w, h, mask.data(), 1);
    EXPECT_EQ(mask, std::vector<unsigned char>(w * h, 0)) << "damaged coordinates draw nothing";
}

// [Project fixture] -------------------------------------------------------------

// Closes every box: the application object greets a first run with one.
struct TClosingDialogs : TOSDialogProvider {
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char*, bool) override { return TOSBoxAnswer::Closed; }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

class MapTopologyFixture : public ::testing::Test {
protected:
    fs::path Root;
    TTestMainFolder Main;
    TClosingDialogs Dialogs;
    int SavedTextureSize = 0;
    TKSN_Mesh* Mesh = nullptr;
    TQORMaterial* Skin = nullptr;

    void SetUp() override
    {
        Main.Open("ksn_maptopo_");
        Root = Main.Root;
        OS.SetDialogProvider(&Dialogs);
        QOREvents_Clean();
        SavedTextureSize = QORDefaultTextureSize;
        QORDefaultTextureSize = 32;
        KSN_TestApp_Create();
        Project = new TKSN_Project();
    }

    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        KSN_TestApp_Delete();
        QORDefaultTextureSize = SavedTextureSize;
        QOREvents_Clean();
        OS.SetDialogProvider(nullptr);
        Main.Close();
    }

    // An object whose mesh has one polygon per corner list, all of material
    // "Skin"; corner k of a polygon uses vertex and texture vertex of the
    // given index (-1: no texture vertex).
    void MakeMesh(const std::vector<std::pair<float, float>>& uvs, const std::vector<std::vector<int>>& polygons)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->Mesh.reset(new TKSN_Mesh(object));
        Mesh = object->Mesh.get();
        const int n = int(uvs.size());
        Mesh->Create(n, n, n, int(polygons.size()));
        for (int i = 0; i < n; ++i) {
            Mesh->tVertices[2 * i] = uvs[size_t(i)].first;
            Mesh->tVertices[2 * i + 1] = uvs[size_t(i)].second;
            for (int c = 0; c < 3; ++c) Mesh->baseVertices[3 * i + c] = 0.0f;
        }
        for (size_t p = 0; p < polygons.size(); ++p) {
            TQORPolygon& polygon = Mesh->Polygons[p];
            polygon.SetCount(unsigned(polygons[p].size()));
            for (size_t k = 0; k < polygons[p].size(); ++k) {
                const int index = polygons[p][k];
                polygon.Points[k].V = index < 0 ? int(k) : index;
                polygon.Points[k].VT = index;
            }
            polygon.Material = 0;
        }
        Skin = KSN_NewMaterial("Skin");
        Mesh->Materials->AddItem(Skin);
    }

    // The map bound to the colour channel, its binding marked for painting.
    TQORMaterialMapSource* BindColourMap()
    {
        TQORMaterialMapSource* map = Project->CreateMapSource();
        Project->AssignMapToMaterialChannel(Mesh, map, Skin, "color");
        TQORMaterialMap* binding = Project->GetMapFromSource(Mesh, map, false);
        binding->RelevantToPainting = true;
        return map;
    }

    static int CoveredCount(TQORMaterialMapSource* map)
    {
        TQORImageMap& mask = map->GetOverdrawMap();
        int covered = 0;
        for (size_t i = 0; i < size_t(mask.GetWidth() * mask.GetHeight()); ++i) covered += mask.GetPixels()[i] == 255;
        return covered;
    }
};

TEST_F(MapTopologyFixture, BindingsAreFoundOrMadeOnce)
{
    MakeMesh({{0, 0}, {1, 0}, {0, 1}}, {{0, 1, 2}});
    TQORMaterialMapSource* map = Project->CreateMapSource();
    EXPECT_EQ(Project->GetMapFromSource(Mesh, map, false), nullptr);
    EXPECT_EQ(Mesh->MaterialMaps->Count(), 0);
    TQORMaterialMap* binding = Project->GetMapFromSource(Mesh, map, true);
    ASSERT_NE(binding, nullptr);
    EXPECT_EQ(binding->GetMapSource(), map);
    EXPECT_EQ(Project->GetMapFromSource(Mesh, map, true), binding);
    EXPECT_EQ(Mesh->MaterialMaps->Count(), 1);
    EXPECT_EQ(Project->GetMapFromSource(Mesh, nullptr, true), nullptr);

    TQORMaterialMap* fresh = Project->CreateNewMap(Mesh, nullptr);
    ASSERT_NE(fresh->GetMapSource(), nullptr);
    EXPECT_STREQ(fresh->GetMapSource()->GetName(), "New Map.PNG");
    EXPECT_EQ(fresh->GetMapSource()->GetPixels()[5], 255);
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    EXPECT_EQ(maps->Count(), 2);
    EXPECT_EQ(Project->CreateNewMap(nullptr, map), nullptr);

    Project->AssignMapToMaterialChannel(Mesh, map, Skin, "BUMP");
    EXPECT_EQ(Skin->GetChannelFromName("Bump")->GetMapID(), binding->GetID());
    EXPECT_THROW(Project->AssignMapToMaterialChannel(Mesh, map, Skin, "Sheen"), std::logic_error);
    Project->AssignMapToMaterialChannel(Mesh, nullptr, Skin, "Sheen");   // null: nothing

    EXPECT_EQ(Project->GetActiveChannelFromMaterial(KSN_TestApp_Viewport(0), Skin), Skin->GetChannelFromName("Color"));
    EXPECT_EQ(Project->GetActiveChannelFromMaterial(KSN_TestApp_Viewport(0), nullptr), nullptr);
}

TEST_F(MapTopologyFixture, ChannelFileNamesFollowTheirMapsNames)
{
    MakeMesh({{0, 0}, {1, 0}, {0, 1}}, {{0, 1, 2}});
    TQORMaterialMapSource* body = Project->CreateMapSource();
    body->SetName("Body.png");
    body->SetMapFileName("/maps/old.png");
    Project->AssignMapToMaterialChannel(Mesh, body, Skin, "Color");
    Skin->GetChannelFromName("Bump")->SetMapFileName("/other/bump.png");
    Project->UpdateAllChannelMapFileNames();
    EXPECT_STREQ(body->GetMapFileName(), "/maps/Body.png");
    EXPECT_STREQ(Skin->GetChannelFromName("Color")->GetMapFileName(), "/maps/Body.png");
    EXPECT_STREQ(Skin->GetChannelFromName("Bump")->GetMapFileName(), "/other/bump.png");
}

TEST_F(MapTopologyFixture, OneTriangleGivesACoveredAreaAndTwoRings)
{
    MakeMesh({{0.25f, 0.25f}, {0.75f, 0.25f}, {0.25f, 0.75f}}, {{0, 1, 2}});
    TQORMaterialMapSource* map = BindColourMap();
    TQORMaterialMapSource* unused = Project->CreateMapSource();
    Project->OnMapTopologyChanged();

    TQORImageMap& mask = map->GetOverdrawMap();
    ASSERT_EQ(mask.GetWidth(), 32);
    ASSERT_EQ(mask.GetHeight(), 32);
    ASSERT_EQ(mask.GetBytesPerPixel(), 1);
    EXPECT_TRUE(map->GetCustomBooleanProperty("OVERDRAW_MAP_RENDERED"));
    const unsigned char* m = mask.GetPixels();
    auto at = [&](int x, int y) { return x < 0 || y < 0 || x >= 32 || y >= 32 ? 0 : int(m[y * 32 + x]); };
    int counts[256] = {};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const float cx = float(x) + 0.5f, cy = float(y) + 0.5f;
            // The triangle (8, 8), (24, 8), (8, 24) in pixels; clear margins only.
            const bool inside = cx > 8.1f && cy > 8.1f && cx + cy < 31.9f;
            const bool outside = cx < 7.9f || cy < 7.9f || cx + cy > 32.1f;
            if (inside) { EXPECT_EQ(at(x, y), 255) << x << "," << y; }
            if (outside) { EXPECT_NE(at(x, y), 255) << x << "," << y; }
            bool near255 = false, near127 = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    near255 = near255 || at(x + dx, y + dy) == 255;
                    near127 = near127 || at(x + dx, y + dy) == 127;
                }
            const int v = at(x, y);
            if (v != 255) { EXPECT_EQ(v, near255 ? 127 : near127 ? 63 : 0) << x << "," << y; }
            ++counts[v];
        }
    EXPECT_GT(counts[255], 100);
    EXPECT_GT(counts[127], 30);
    EXPECT_GT(counts[63], 30);
    EXPECT_GT(counts[0], 300);
    EXPECT_EQ(counts[255] + counts[127] + counts[63] + counts[0], 32 * 32);

    EXPECT_FALSE(unused->GetCustomBooleanProperty("OVERDRAW_MAP_RENDERED"));
    TQORImageMap& all = unused->GetOverdrawMap();
    ASSERT_EQ(all.GetWidth() * all.GetHeight(), 32 * 32);
    for (int i = 0; i < 32 * 32; ++i) ASSERT_EQ(all.GetPixels()[i], 255) << i;
}

TEST_F(MapTopologyFixture, PolygonsAreFannedAndCornersWithoutUVsLeftOut)
{
    // 0..3: the corners of the square (0.25..0.75)²; 4: far away.
    const std::vector<std::pair<float, float>> uvs = {
        {0.25f, 0.25f}, {0.75f, 0.25f}, {0.75f, 0.75f}, {0.25f, 0.75f}, {0.9f, 0.9f}};
    struct Case {
        const char* Why;
        std::vector<std::vector<int>> Polygons;
        int Covered;   // texels at 255
    };
    const Case cases[] = {
        {"a quad is two triangles", {{0, 1, 2, 3}}, 16 * 16},
        {"a triangle", {{0, 1, 3}}, 136},
        {"a quad without the third UV is the triangle of the others", {{0, 1, -1, 3}}, 136},
        {"two corners add nothing", {{0, 1}}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        delete Project;
        Project = new TKSN_Project();
        MakeMesh(uvs, c.Polygons);
        TQORMaterialMapSource* map = BindColourMap();
        Project->OnMapTopologyChanged();
        EXPECT_EQ(CoveredCount(map), c.Covered);
        EXPECT_EQ(map->GetCustomBooleanProperty("OVERDRAW_MAP_RENDERED"), true);
    }
}

} // namespace
