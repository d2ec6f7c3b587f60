#include "KSN_Mesh.h"
#include "KSN_Mesh_Paint.h"

#include "OS.h"
#include "QOREvents.h"
#include "QORImage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORTree.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

[[maybe_unused]] const auto* const RegisteredPaintWx = KsnRegisterWxBase();

// What the test project answers through the painting hooks.
struct TTestProject {
    bool ImportMaps = true;
    std::vector<TQORMaterialMapSource*> Maps;        // the project's map list
    std::vector<std::unique_ptr<TQORMaterialMapSource>> Owned;
    std::vector<std::string> Imported;               // paths ImportMap was asked for
    std::vector<TQORMaterialMapSource*> Resent;      // OnWholeMapChanged calls
    std::vector<std::string> Warnings;
};
TTestProject* Project = nullptr;

class PaintTest : public ::testing::Test {
protected:
    TTempStoreFolder Store;
    const fs::path& Folder = Store.Folder;
    std::unique_ptr<TKSN_Mesh> Mesh;
    TTestProject TestProject;
    std::vector<std::unique_ptr<TQORMaterialMapSource>> Sources;
    int OldTextureSize = 0;

    void SetUp() override
    {
        Project = &TestProject;
        OS.AssignOnDebugMessage([](char*) {});
        OS.AssignOnWarningMessage([](char* text) { Project->Warnings.push_back(text); });
        QOREvents_AssignOnPushEvent([](TQOREvent*) { return true; });
        ASSERT_TRUE(Store.Open("ksn_paint_"));
        OldTextureSize = QORDefaultTextureSize;

        TKSN_MeshPaintingHooks hooks;
        hooks.GetImportMapsOption = [] { return Project->ImportMaps; };
        hooks.ImportMap = [](const char* path) -> TQORMaterialMapSource* {
            Project->Imported.push_back(path);
            auto* source = new TQORMaterialMapSource();
            Project->Owned.emplace_back(source);
            return source;
        };
        hooks.OnWholeMapChanged = [](TQORMaterialMapSource* source) { Project->Resent.push_back(source); };
        hooks.GetActiveChannelFromMaterial = [](TKSN_Viewport*, TQORMaterial* material) {
            return material->GetChannelFromName("Bump");
        };
        KSN_SetMeshPaintingHooks(hooks);
        QORMaterialMapSource_ProjectHooks.GetMapList = [](std::vector<TQORMaterialMapSource*>& maps) {
            maps.insert(maps.end(), Project->Maps.begin(), Project->Maps.end());
        };
    }

    void TearDown() override
    {
        Mesh.reset();
        Sources.clear();
        TestProject.Owned.clear();
        QORDefaultTextureSize = OldTextureSize;
        QORMaterialMapSource_ProjectHooks.GetMapList = nullptr;
        KSN_SetMeshPaintingHooks({});
        Store.Close();
        QOREvents_Clean();
        QOREvents_AssignOnPushEvent(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        Project = nullptr;
    }

    // An n x n grid of unit quads in z = 0, mapped by position (u = x / n),
    // one texture vertex per vertex; cell (x, y) is polygon y * n + x,
    // vertex (x, y) is y * (n + 1) + x. Every cell has material 0.
    void BuildGrid(int n, int materials = 2)
    {
        const int side = n + 1;
        Mesh = std::make_unique<TKSN_Mesh>(nullptr);
        Mesh->Create(side * side, side * side, side * side, n * n);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const int v = y * side + x;
                Mesh->baseVertices[3 * v] = float(x);
                Mesh->baseVertices[3 * v + 1] = float(y);
                Mesh->baseVertices[3 * v + 2] = 0.0f;
                Mesh->tVertices[2 * v] = float(x) / float(n);
                Mesh->tVertices[2 * v + 1] = float(y) / float(n);
                Mesh->VertexInfo[v].Flags = 0;
            }
        Mesh->CopyBaseVerticesToResolvedVertices();
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const int p = y * n + x;
                const int a = y * side + x;
                const int corners[4] = {a, a + 1, a + side + 1, a + side};
                Mesh->Polygons[p].SetCount(4);
                for (int k = 0; k < 4; ++k) Mesh->Polygons[p].Points[k] = {corners[k], corners[k]};
                Mesh->Polygons[p].Material = 0;
                Mesh->PolygonFlags[p] = 0;
            }
        for (int m = 0; m < materials; ++m) {
            TQORMaterial* material = KSN_NewMaterial(("Material" + std::to_string(m)).c_str());
            material->CacheChannels();
            Mesh->Materials->AddItem(material);
        }
        Refresh();
    }

    void Refresh()
    {
        Mesh->BuildVertexPolygons();
        Mesh->CalculateOpenEdges();
        Mesh->RecalculateNormals(false);
    }

    TQORMaterial* Material(int index) { return Mesh->Materials->GetItemAs(index); }

    TQORMaterialMapSource* NewSource(const char* name, int size = 0)
    {
        Sources.push_back(std::make_unique<TQORMaterialMapSource>());
        TQORMaterialMapSource* source = Sources.back().get();
        source->SetName("%s", name);
        if (size > 0) {
            float grey[3] = {0.5f, 0.5f, 0.5f};
            source->Initialize(size, size, grey);
        }
        return source;
    }

    TQORMaterialMap* Bind(TQORMaterialMapSource* source)
    {
        auto* binding = new TQORMaterialMap();
        if (source) binding->SetMapSource(source->GetID());
        Mesh->MaterialMaps->Add(binding);
        return binding;
    }

    std::set<int> PolygonsWith(uint32_t bit) const
    {
        std::set<int> result;
        for (int p = 0; p < Mesh->polygonCount; ++p)
            if (Mesh->PolygonFlags[p] & bit) result.insert(p);
        return result;
    }
};

// [SECTION] Bindings and paint-edge polygons

TEST_F(PaintTest, MapTopologyKeepsOnlyNamedBindingsWithSourcesAndListsTheirPolygons)
{
    BuildGrid(2);
    Mesh->Polygons[1].Material = 1;
    Mesh->Polygons[2].Material = -1;    // no material
    Mesh->Polygons[3].Material = 7;     // past the list
    TQORMaterialMapSource* skin = NewSource("Skin.png");
    TQORMaterialMapSource* unused = NewSource("Unused.png");
    TQORMaterialMap* named = Bind(skin);
    Bind(unused);                                   // no channel names it
    TQORMaterialMap* sourceless = Bind(nullptr);    // named, but without a source
    Material(0)->ColorChannel->SetMapID(int(named->GetID()));
    Material(1)->BumpChannel->SetMapID(int(sourceless->GetID()));
    Material(1)->SpecularChannel->SetMapID(987654);   // names nothing alive

    Mesh->OnMapTopologyChanged();

    ASSERT_EQ(Mesh->MaterialMaps->Count(), 1);
    EXPECT_EQ((*Mesh->MaterialMaps)[0], named);
    EXPECT_EQ(named->MapIndex, 0);
    EXPECT_EQ(named->PolygonList, (std::vector<int32_t>{0}));
    EXPECT_EQ(Material(1)->BumpChannel->GetMapID(), 0u);
    EXPECT_EQ(Material(1)->SpecularChannel->GetMapID(), 0u);
    EXPECT_EQ(Material(0)->ColorChannel->GetMapID(), named->GetID());

    // More polygons of the material: the list follows.
    Mesh->Polygons[3].Material = 0;
    Mesh->UpdateMapQuadTree(named, 5);
    EXPECT_EQ(named->MapIndex, 5);
    EXPECT_EQ(named->PolygonList, (std::vector<int32_t>{0, 3}));
}

TEST_F(PaintTest, PaintEdgeMarksSeamsBordersAndMaterialBoundariesOnly)
{
    struct Case {
        const char* name;
        bool seamAtCell5;          // cell (1,1) gets texture vertices of its own
        bool otherMaterialColumn;  // cells of column x = 3 get material 1
        std::set<int> innerMarked;
    };
    // 4 x 4 grid: the twelve border cells always touch the open border; the
    // inner cells are 5, 6, 9, 10.
    const Case cases[] = {
        {"plain", false, false, {}},
        {"material column", false, true, {6, 10}},
        {"seam around cell 5", true, false, {5, 6, 9, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildGrid(4);
        if (c.otherMaterialColumn)
            for (int y = 0; y < 4; ++y) Mesh->Polygons[y * 4 + 3].Material = 1;
        if (c.seamAtCell5) {
            const int first = Mesh->tVertexCount;
            Mesh->SetTVertexCount(first + 4);
            for (int k = 0; k < 4; ++k) {
                Mesh->tVertices[2 * (first + k)] = 0.9f;
                Mesh->tVertices[2 * (first + k) + 1] = 0.9f;
                Mesh->Polygons[5].Points[k].VT = first + k;
            }
            Refresh();
        }
        for (int p = 0; p < Mesh->polygonCount; ++p) Mesh->PolygonFlags[p] |= KSN_POLY_PAINT_EDGE;

        Mesh->OnMapTopologyChanged();

        EXPECT_EQ(Mesh->MaterialMaps->Count(), 0);
        std::set<int> expected = c.innerMarked;
        for (int p : {0, 1, 2, 3, 4, 7, 8, 11, 12, 13, 14, 15}) expected.insert(p);
        EXPECT_EQ(PolygonsWith(KSN_POLY_PAINT_EDGE), expected);
    }
}

// [SECTION] Texture overlap

TEST_F(PaintTest, OverlapMarksPolygonsSharingTextureSpaceOfOneBinding)
{
    struct Case {
        const char* name;
        int hidden;        // polygon hidden before the test, −1 none
        bool relevant;
        std::set<int> overlapping;
    };
    const Case cases[] = {
        {"two polygons on one region", -1, true, {0, 1}},
        {"the other one hidden", 1, true, {}},
        {"binding not being painted", -1, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Three quads: 0 and 1 mapped onto the lower-left quarter, 2 onto
        // the lower-right quarter (it only shares a UV edge with them); a
        // fourth polygon has a corner without a texture vertex.
        BuildGrid(2);
        const float quarter[4][2] = {{0, 0}, {0.5f, 0}, {0.5f, 0.5f}, {0, 0.5f}};
        Mesh->SetTVertexCount(12);
        for (int p = 0; p < 3; ++p)
            for (int k = 0; k < 4; ++k) {
                const int vt = 4 * p + k;
                Mesh->tVertices[2 * vt] = quarter[k][0] + (p == 2 ? 0.5f : 0.0f);
                Mesh->tVertices[2 * vt + 1] = quarter[k][1];
                Mesh->Polygons[p].Points[k].VT = vt;
            }
        Mesh->Polygons[3].Points[2].VT = -1;
        Refresh();
        TQORMaterialMap* binding = Bind(NewSource("Skin.png", 256));
        Material(0)->ColorChannel->SetMapID(int(binding->GetID()));
        Mesh->OnMapTopologyChanged();
        ASSERT_EQ(binding->PolygonList, (std::vector<int32_t>{0, 1, 2, 3}));
        binding->RelevantToPainting = c.relevant;
        if (c.hidden >= 0) Mesh->PolygonFlags[c.hidden] |= QORPoly_Hidden;
        for (int p = 0; p < 4; ++p) Mesh->PolygonFlags[p] &= ~KSN_POLY_PAINT_EDGE;
        Mesh->PolygonFlags[2] |= KSN_POLY_TEXTURE_OVERLAP;   // stale: must be cleared

        Mesh->TestForPaintingOverlap();

        EXPECT_EQ(PolygonsWith(KSN_POLY_TEXTURE_OVERLAP), c.overlapping);
        EXPECT_EQ(PolygonsWith(KSN_POLY_PAINT_EDGE), c.overlapping);
    }
}

// [SECTION] First pixels of the maps

TEST_F(PaintTest, InitializePaintingLoadsFoundFilesAndLeavesWhiteMapsOtherwise)
{
    QORDefaultTextureSize = 16;
    const std::string good = (Folder / "red.png").string();
    unsigned char red[8 * 4 * 3];
    for (int i = 0; i < 8 * 4; ++i) {
        red[3 * i] = 255;
        red[3 * i + 1] = red[3 * i + 2] = 0;
    }
    ASSERT_TRUE(SaveMapToFile(good.c_str(), red, 8, 4, false));
    const std::string broken = (Folder / "broken.png").string();
    std::ofstream(broken) << "not an image";
    const std::string missing = (Folder / "missing.png").string();

    struct Case {
        const char* name;
        bool loadFiles;
        bool boundOnLoad;
        std::string file;
        int width;
        unsigned char firstRed, firstGreen;
        std::string fileAfter;
        bool warned;
    };
    const Case cases[] = {
        {"files not loaded", false, false, good, 16, 255, 255, "", false},
        {"file found", true, false, good, 8, 255, 0, good, false},
        {"file missing", true, false, missing, 16, 255, 255, missing, false},
        {"file unreadable", true, false, broken, 16, 255, 255, broken, true},
        {"maps bound on load", true, true, good, 4, 127, 127, good, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildGrid(1, 1);
        TestProject.Warnings.clear();
        TQORMaterialMapSource* source = NewSource("Map", 4);
        source->SetMapFileName(c.file.c_str());
        TQORMaterialMap* binding = Bind(source);
        Material(0)->ColorChannel->SetMapID(int(binding->GetID()));
        Mesh->MapsBoundOnLoad = c.boundOnLoad;

        Mesh->InitializePainting(c.loadFiles);

        EXPECT_EQ(source->GetWidth(), c.width);
        EXPECT_EQ(source->GetHeight(), c.width == 8 ? 4 : c.width);
        ASSERT_NE(source->GetPixels(), nullptr);
        EXPECT_EQ(source->GetPixels()[0], c.firstRed);
        EXPECT_EQ(source->GetPixels()[1], c.firstGreen);
        EXPECT_EQ(std::string(source->GetMapFileName()), c.fileAfter);
        ASSERT_EQ(TestProject.Warnings.size(), c.warned ? 1u : 0u);
        if (c.warned) {
            EXPECT_EQ(TestProject.Warnings[0], "Error loading the image " + broken);
        }
        // The topology refresh at the end gave the binding its polygon.
        EXPECT_EQ(binding->PolygonList, (std::vector<int32_t>{0}));
    }
}

// [SECTION] Maps after a model import

TEST_F(PaintTest, ImportMapsBindsProjectMapsByNameAndImportsFoundFiles)
{
    BuildGrid(1, 1);
    TQORMaterialMapSource* skin = NewSource("Skin.PNG", 4);
    TestProject.Maps = {NewSource("Other.png", 4), skin};
    const std::string onDisk = (Folder / "bump.png").string();
    std::ofstream(onDisk) << "x";
    TQORMaterial* material = Material(0);
    material->ColorChannel->SetMapFileName("C:\\textures\\skin.png");   // folder of another system
    material->BumpChannel->SetMapFileName(onDisk.c_str());
    material->SpecularChannel->SetMapFileName("nowhere/gone.png");
    material->GlossyChannel->SetMapID(55);                               // no file name

    Mesh->ImportMapsAfterImportObject();

    ASSERT_EQ(Mesh->MaterialMaps->Count(), 2);
    TQORMaterialMap* first = (*Mesh->MaterialMaps)[0];
    TQORMaterialMap* second = (*Mesh->MaterialMaps)[1];
    EXPECT_EQ(first->GetMapSource(), skin);
    EXPECT_EQ(material->ColorChannel->GetMapID(), first->GetID());
    ASSERT_EQ(TestProject.Imported, (std::vector<std::string>{onDisk}));
    EXPECT_STREQ(second->GetMapSource()->GetName(), "bump.png");
    EXPECT_EQ(material->BumpChannel->GetMapID(), second->GetID());
    EXPECT_EQ(material->SpecularChannel->GetMapID(), 0u);
    EXPECT_EQ(material->GlossyChannel->GetMapID(), 0u);
    EXPECT_EQ(first->PolygonList, (std::vector<int32_t>{0}));
    EXPECT_TRUE(Mesh->UsesSourceMap(skin));
    EXPECT_FALSE(Mesh->UsesSourceMap(TestProject.Maps[0]));
    EXPECT_FALSE(Mesh->UsesSourceMap(nullptr));

    // A mesh that has bindings already keeps them as they are.
    material->SpecularChannel->SetMapFileName("Other.png");
    Mesh->ImportMapsAfterImportObject();
    EXPECT_EQ(Mesh->MaterialMaps->Count(), 2);
    EXPECT_EQ(material->SpecularChannel->GetMapID(), 0u);
}

TEST_F(PaintTest, ImportMapsOffClearsChannelFileNamesAndBindsNothing)
{
    BuildGrid(1, 2);
    TestProject.ImportMaps = false;
    TestProject.Maps = {NewSource("skin.png", 4)};
    Material(0)->ColorChannel->SetMapFileName("skin.png");
    Material(1)->BumpChannel->SetMapFileName("bump.png");

    Mesh->ImportMapsAfterImportObject();

    EXPECT_EQ(Mesh->MaterialMaps->Count(), 0);
    for (int m = 0; m < 2; ++m)
        for (TQORMaterialChannel* channel : Material(m)->ArbChannels) {
            EXPECT_STREQ(channel->GetMapFileName(), "");
            EXPECT_EQ(channel->GetMapID(), 0u);
        }
}

// [SECTION] Map of a polygon

TEST_F(PaintTest, PolygonMapFollowsTheShownChannelAndTheColourChannel)
{
    BuildGrid(2, 1);
    Mesh->Polygons[1].Material = -1;
    Mesh->Polygons[2].Material = 3;
    TQORMaterialMapSource* colour = NewSource("Colour.png", 4);
    TQORMaterialMapSource* bump = NewSource("Bump.png", 4);
    TQORMaterialMap* colourBinding = Bind(colour);
    TQORMaterialMap* bumpBinding = Bind(bump);
    Material(0)->ColorChannel->SetMapID(int(colourBinding->GetID()));
    Material(0)->BumpChannel->SetMapID(int(bumpBinding->GetID()));

    // The test project shows the "Bump" channel.
    EXPECT_EQ(Mesh->GetCurrentChannelMapFromPolygon(nullptr, 0), bump);
    EXPECT_EQ(Mesh->GetColorMapFromPolygon(nullptr, 0), colour);
    for (int p : {1, 2, -1, 99}) {
        SCOPED_TRACE(p);
        EXPECT_EQ(Mesh->GetCurrentChannelMapFromPolygon(nullptr, p), nullptr);
        EXPECT_EQ(Mesh->GetColorMapFromPolygon(nullptr, p), nullptr);
    }
    Material(0)->BumpChannel->SetMapID(0);
    EXPECT_EQ(Mesh->GetCurrentChannelMapFromPolygon(nullptr, 0), nullptr);

    Mesh->SendColorMapsToOpenGL();
    EXPECT_EQ(TestProject.Resent, (std::vector<TQORMaterialMapSource*>{colour, bump}));
}

// [SECTION] Tree lookups

TEST_F(PaintTest, TreeLookupsByDisplayListNumber)
{
    BuildGrid(1, 1);
    // G1(1) {a(2), b(3)} > G2(4, collapsed) {c(5)} > G3(6) {d(7)};  G1's sibling G4(8) {e(9)}.
    auto* g1 = new TKSN_TreeGroup();
    auto* g2 = new TKSN_TreeGroup();
    auto* g3 = new TKSN_TreeGroup();
    auto* g4 = new TKSN_TreeGroup();
    g1->LinkChild(g2);
    g2->LinkChild(g3);
    g1->LinkNext(g4);
    g1->collapsed = g3->collapsed = g4->collapsed = false;
    g2->collapsed = true;
    TKSN_Thingy* items[5];
    for (int i = 0; i < 5; ++i) items[i] = new TKSN_Thingy();
    g1->AddItem(items[0]);
    g1->AddItem(items[1]);
    g2->AddItem(items[2]);
    g3->AddItem(items[3]);
    g4->AddItem(items[4]);
    const int itemNumbers[5] = {2, 3, 5, 7, 9};
    for (int i = 0; i < 5; ++i) items[i]->displayListNumber = itemNumbers[i];
    g1->displayListNumber = 1;
    g2->displayListNumber = 4;
    g3->displayListNumber = 6;
    g4->displayListNumber = 8;

    struct Case {
        int number;
        TKSN_TreeGroup* group;
        TKSN_Thingy* thingy;
    };
    const Case cases[] = {
        {1, g1, g1},       {3, g1, items[1]}, {4, g2, g2}, {5, nullptr, nullptr},   // inside a collapsed group
        {7, g3, items[3]}, {8, g4, g4},       {9, g4, items[4]}, {42, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(Mesh->GetGroupNodeFromDisplayListIndex(g1, c.number), c.group);
        EXPECT_EQ(Mesh->GetThingyFromDisplayListIndex(g1, c.number), c.thingy);
    }
    EXPECT_EQ(GetGroupFromThingy(g1, items[2]), g2);   // collapsed or not
    EXPECT_EQ(GetGroupFromThingy(g1, items[4]), g4);
    EXPECT_EQ(GetGroupFromThingy(g1, g3), nullptr);    // a group is no item
    EXPECT_EQ(GetGroupFromThingy(g1, nullptr), nullptr);

    delete g4;
    delete g1;
}

} // namespace
