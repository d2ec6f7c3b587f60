// Polygon layers: the "layer" block, visibility and world bounds, locking,
// adding the selection to layers, the current layer and new-layer colours.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "KSN_PolygonLayer.h"
#include "KSN_ProjectEditTestSupport.h"
#include "QORLanguage.h"
#include "QORString.h"

namespace {

using namespace ksn_edit_test;

// ---------------------------------------------------------------------------
// The "layer" block
// ---------------------------------------------------------------------------

struct TTempFile {
    FILE* f = std::tmpfile();
    ~TTempFile()
    {
        if (f) std::fclose(f);
    }
    std::string Text()
    {
        std::fflush(f);
        std::rewind(f);
        std::string s;
        for (int c; (c = std::fgetc(f)) != EOF;) s += char(c);
        return s;
    }
    void Write(const char* text)
    {
        std::fputs(text, f);
        std::rewind(f);
    }
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

TEST(PolygonLayerBlock, WritesColourFlagsAndLockInOrderAndReadsThemBack)
{
    TKSN_Layer layer(3);
    layer.SetName("%s", "Arms");
    layer.DisplayFlags = TKSN_Layer::Stippled | TKSN_Layer::Filter | TKSN_Layer::Hidden | TKSN_Layer::WireFrameOverlay;
    layer.Locked = true;
    layer.Color[0] = 0.125f;
    layer.Color[1] = 0.25f;
    layer.Color[2] = 1.0f;

    TTempFile file;
    ASSERT_TRUE(layer.SaveToStream_Text(file.f, true));
    const std::vector<std::string> lines = Lines(file.Text());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "layer\tArms");
    EXPECT_EQ(lines[1], "{");
    EXPECT_EQ(lines.back(), "}");
    std::vector<std::string> tail;
    bool afterBasics = false;
    for (const std::string& line : lines) {
        afterBasics = afterBasics || line.rfind("\tColor\t", 0) == 0;
        if (afterBasics && line != "}") tail.push_back(line);
    }
    const std::vector<std::string> expected = {
        "\tColor\t0.12500000 0.25000000 1.00000000",
        "\tUseViewportDefault\t0", "\tTextured\t0", "\tStippled\t1", "\tWireFrame\t0",
        "\tWireFrameOverlay\t1", "\tVertexOverlay\t0", "\tHidden\t1", "\tSmooth\t0", "\tFilter\t1",
        "\tUseLighting\t0", "\tLocked\t1",
    };
    EXPECT_EQ(tail, expected);

    TKSN_Layer copy;
    std::rewind(file.f);
    copy.LoadFromStream_Text(file.f);
    EXPECT_STREQ(copy.GetName(), "Arms");
    EXPECT_EQ(copy.DisplayFlags, layer.DisplayFlags);
    EXPECT_TRUE(copy.Locked);
    for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(copy.Color[c], layer.Color[c]);

    // A viewport embeds only the body lines, at its own depth.
    TTempFile body;
    layer.SaveToStream_Text(body.f, false);
    const std::string bodyText = body.Text();
    EXPECT_EQ(bodyText.find('{'), std::string::npos);
    EXPECT_EQ(bodyText.rfind("Name\tArms\n", 0), 0u);
}

TEST(PolygonLayerBlock, ReadsLooseValuesAsTheIntegerAndFloatParsersDo)
{
    TKSN_Layer layer;
    layer.Locked = true;
    TTempFile file;
    file.Write("layer\tx\n{\n"
               "\tname\tRead Back\n"
               "\tColor\t0.25 junk 0.75\n"
               "\tHidden\t2\n"
               "\tLocked\tabc\n"
               "\tTextured\t0\n"
               "\tWireFrame\t-7\n"
               "\tSmooth\t000\n"
               "\tFilter\t99999999999999999999\n"
               "\tunknown\t1\n"
               "\t{\n\tHidden\t0\n\t}\n"
               "}\n");
    layer.LoadFromStream_Text(file.f);

    EXPECT_STREQ(layer.GetName(), "Read Back");
    EXPECT_FLOAT_EQ(layer.Color[0], 0.25f);
    EXPECT_FLOAT_EQ(layer.Color[1], 0.7f) << "components after one that does not parse keep their values";
    EXPECT_FLOAT_EQ(layer.Color[2], 0.8f);
    EXPECT_TRUE(layer.DisplayFlags & TKSN_Layer::Hidden) << "\"Hidden\\t2\" is non-zero";
    EXPECT_FALSE(layer.Locked) << "a non-numeric value reads as 0";
    EXPECT_FALSE(layer.DisplayFlags & TKSN_Layer::Textured);
    EXPECT_TRUE(layer.DisplayFlags & TKSN_Layer::WireFrame);
    EXPECT_FALSE(layer.DisplayFlags & TKSN_Layer::Smooth);
    EXPECT_TRUE(layer.DisplayFlags & TKSN_Layer::Filter) << "an overlong number still reads as non-zero";

    char key[] = "Unknown", value[] = "1";
    EXPECT_FALSE(layer.LoadFromStream_Text_ConsiderCommand(nullptr, key, value));
    char lowerKey[] = "hidden";
    EXPECT_FALSE(layer.LoadFromStream_Text_ConsiderCommand(nullptr, lowerKey, value)) << "keys compare with case";
}

TEST(PolygonLayerRecord, InitAndCopyKeepWhatTheyMust)
{
    TKSN_Layer source(5), target(9);
    source.SetName("%s", "Head");
    source.DisplayFlags = TKSN_Layer::WireFrame;
    source.Locked = true;
    source.Color[1] = 0.1f;
    source.Disable();
    target.IsBuiltIn = true;
    target.IsMainViewportSettings = true;

    target.Copy(&source);
    EXPECT_STREQ(target.GetName(), "Head");
    EXPECT_FALSE(target.IsEnabled());
    EXPECT_EQ(target.DisplayFlags, TKSN_Layer::WireFrame);
    EXPECT_TRUE(target.Locked);
    EXPECT_FLOAT_EQ(target.Color[1], 0.1f);
    EXPECT_EQ(target.Index, 9);
    EXPECT_TRUE(target.IsBuiltIn);
    EXPECT_TRUE(target.IsMainViewportSettings);

    target.Init();
    EXPECT_EQ(target.Index, 0);
    EXPECT_EQ(target.DisplayFlags, 0x443u);
    EXPECT_FALSE(target.Locked || target.IsBuiltIn || target.IsMainViewportSettings);
    EXPECT_STREQ(target.GetName(), "Head") << "the name stays";
    EXPECT_FALSE(target.IsEnabled()) << "the enabled state stays";
}

// ---------------------------------------------------------------------------
// The project's layers
// ---------------------------------------------------------------------------

std::vector<std::string> Panel;   // message-panel texts, warnings prefixed "!"

constexpr int QuadCount = 4;

class PolygonLayersTest : public ProjectEditFixture {
protected:
    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        Panel.clear();
        OS.AssignOnPrintMessage([](char* text) { Panel.push_back(text); });
        OS.AssignOnPrintMessageNoRepeatFailed([](char* text) { Panel.push_back(text); });
        OS.AssignOnWarningMessage([](char* text) { Panel.push_back(std::string("!") + text); });
        OS.AssignOnWarningMessageNoRepeatFailed([](char* text) { Panel.push_back(std::string("!") + text); });
    }

    void TearDown() override
    {
        OS.AssignOnPrintMessage(nullptr);
        OS.AssignOnPrintMessageNoRepeatFailed(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnWarningMessageNoRepeatFailed(nullptr);
        ProjectEditFixture::TearDown();
    }

    // Four unit quads side by side along x, each with its own four vertices:
    // quad q spans x = q .. q + 1, y = 0 .. 1, z = 0.
    TKSN_Object* MakeStrip(const char* name)
    {
        TKSN_Object* object = MakeObject(name, 4 * QuadCount);
        TKSN_Mesh* mesh = object->Mesh.get();
        mesh->SetPolygonCount(QuadCount);
        const float corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int q = 0; q < QuadCount; ++q) {
            mesh->Polygons[q].SetCount(4);
            for (int c = 0; c < 4; ++c) {
                const int v = 4 * q + c;
                mesh->Polygons[q].Points[c].V = v;
                float* p = mesh->baseVertices + 3 * v;
                p[0] = float(q) + corners[c][0];
                p[1] = corners[c][1];
                p[2] = 0.0f;
            }
        }
        mesh->CopyBaseVerticesToResolvedVertices();
        mesh->AfterRawBuild();
        return object;
    }

    static TKSN_Layer* Layer(int n) { return Project->PolygonLayers[n]; }
    static uint32_t Bit(int n) { return uint32_t(1) << (n - 1); }

    static void SetQuadVertexWeights(TKSN_Mesh* mesh, int q, float w)
    {
        for (int c = 0; c < 4; ++c) mesh->VertexInfo[4 * q + c].Select = w;
        mesh->SelectedListsValid = false;
    }

    static std::vector<int> VisibleQuads(TKSN_Mesh* mesh)
    {
        std::vector<int> quads;
        for (int q = 0; q < mesh->GetPCount(); ++q)
            if (!(mesh->PolygonFlags[q] & QORPoly_Hidden)) quads.push_back(q);
        return quads;
    }
};

TEST_F(PolygonLayersTest, HiddenAndShownLayersDecideVisibilityAndBounds)
{
    TKSN_Mesh* mesh = MakeStrip("Strip")->Mesh.get();
    // Quad 0 in layer 3, quad 1 in layer 3 and the "Hidden Layer", quad 2 in
    // layer 5, quad 3 in layer 7, which is hidden but not in use.
    mesh->Polygons[0].LayerFlags = Bit(3);
    mesh->Polygons[1].LayerFlags = Bit(3) | Bit(30);
    mesh->Polygons[2].LayerFlags = Bit(5);
    mesh->Polygons[3].LayerFlags = Bit(7);
    Layer(3)->Enable();
    Layer(5)->Enable();
    Layer(7)->DisplayFlags |= TKSN_Layer::Hidden;

    struct Case {
        bool allHidden, layer3Hidden, layer5Hidden;
        std::vector<int> visible;
    };
    const Case cases[] = {
        {true, false, true, {0, 1}},      // a shown layer reveals its polygons, also those in the hidden layer
        {false, false, false, {0, 2, 3}}, // the "Hidden Layer" hides; a layer not in use does nothing
        {false, false, true, {0, 3}},
        {true, true, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.allHidden << c.layer3Hidden << c.layer5Hidden);
        auto setHidden = [](int n, bool hidden) {
            if (hidden)
                Layer(n)->DisplayFlags |= TKSN_Layer::Hidden;
            else
                Layer(n)->DisplayFlags &= ~TKSN_Layer::Hidden;
        };
        setHidden(0, c.allHidden);
        setHidden(3, c.layer3Hidden);
        setHidden(5, c.layer5Hidden);
        Project->UpdateVisibleLayers();
        EXPECT_EQ(VisibleQuads(mesh), c.visible);
        EXPECT_EQ(mesh->GetVisiblePolygonCount(), int(c.visible.size()));
    }

    // With nothing visible the bounds fall back to a fixed box (its z minimum is +1).
    EXPECT_EQ(std::vector<float>(Project->WorldMin, Project->WorldMin + 3), (std::vector<float>{-1, -1, 1}));
    EXPECT_EQ(std::vector<float>(Project->WorldMax, Project->WorldMax + 3), (std::vector<float>{1, 1, 1}));
    EXPECT_EQ(std::vector<float>(Project->WorldCentre, Project->WorldCentre + 3), (std::vector<float>{0, 0, 1}));
    EXPECT_FLOAT_EQ(Project->WorldSize, std::sqrt(2.0f));

    // Quads 0 and 1 visible: the box of their vertices, radius half its diagonal.
    Layer(0)->DisplayFlags |= TKSN_Layer::Hidden;
    Layer(3)->DisplayFlags &= ~TKSN_Layer::Hidden;
    ClearViewportStatuses();
    Project->UpdateVisibleLayers();
    EXPECT_EQ(std::vector<float>(Project->WorldMin, Project->WorldMin + 3), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(std::vector<float>(Project->WorldMax, Project->WorldMax + 3), (std::vector<float>{2, 1, 0}));
    EXPECT_EQ(std::vector<float>(Project->WorldCentre, Project->WorldCentre + 3), (std::vector<float>{1, 0.5f, 0}));
    EXPECT_FLOAT_EQ(Project->WorldSize, 0.5f * std::sqrt(5.0f));
    for (TKSN_Viewport* viewport : App->viewports)
        EXPECT_EQ(viewport->GetRenderedSceneStatus(), viewport->shown ? 2 : 0);
}

TEST_F(PolygonLayersTest, EmptyProjectAndSinglePointGiveTheFallbackBounds)
{
    Project->UpdateVisibleLayers();
    EXPECT_EQ(std::vector<float>(Project->WorldMin, Project->WorldMin + 3), (std::vector<float>{-1, -1, 1}));
    EXPECT_FLOAT_EQ(Project->WorldSize, 1.4142135f);

    TKSN_Mesh* mesh = MakeStrip("Point")->Mesh.get();
    for (int v = 0; v < mesh->GetVCount(); ++v)
        for (int c = 0; c < 3; ++c) mesh->resolvedVertices[3 * v + c] = 5.0f;
    Project->UpdateVisibleLayers();
    EXPECT_EQ(std::vector<float>(Project->WorldCentre, Project->WorldCentre + 3), (std::vector<float>{0, 0, 1}));
}

TEST_F(PolygonLayersTest, LockedLayersLockPolygonsAndVertices)
{
    TKSN_Object* object = MakeStrip("Strip");
    TKSN_Mesh* mesh = object->Mesh.get();
    mesh->Polygons[0].LayerFlags = Bit(3);
    mesh->Polygons[2].LayerFlags = Bit(5);
    Layer(3)->Enable();
    Layer(5)->Enable();
    for (int q = 0; q < QuadCount; ++q) SetQuadVertexWeights(mesh, q, 1.0f);
    auto quadLocked = [&](int q) { return (mesh->PolygonFlags[q] & QORPoly_Locked) != 0; };
    auto vertexLocked = [&](int v) { return (mesh->VertexInfo[v].Flags & QORPoly_Locked) != 0; };

    // A locked layer locks its polygons and their vertices and drops their weights.
    Layer(5)->Locked = true;
    Project->UpdateLockedLayers();
    for (int q = 0; q < QuadCount; ++q) {
        SCOPED_TRACE(q);
        EXPECT_EQ(quadLocked(q), q == 2);
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(vertexLocked(4 * q + c), q == 2);
            EXPECT_EQ(mesh->VertexInfo[4 * q + c].Select, q == 2 ? 0.0f : 1.0f);
        }
    }
    EXPECT_FALSE(object->GetCustomBooleanProperty("COMPLETELY_LOCKED"));

    // "All Polygons" locked: an unlocked layer frees its polygons, never the vertices.
    Layer(0)->Locked = true;
    Layer(5)->Locked = false;
    Project->UpdateLockedLayers();
    EXPECT_FALSE(quadLocked(0));
    EXPECT_FALSE(quadLocked(2));
    EXPECT_TRUE(quadLocked(1));
    for (int v = 0; v < mesh->GetVCount(); ++v) EXPECT_TRUE(vertexLocked(v)) << v;
    EXPECT_FALSE(object->GetCustomBooleanProperty("COMPLETELY_LOCKED"));

    // Every polygon locked marks the object; unlocking clears the mark again.
    Layer(3)->Locked = Layer(5)->Locked = true;
    Project->UpdateLockedLayers();
    EXPECT_TRUE(object->GetCustomBooleanProperty("COMPLETELY_LOCKED"));
    Layer(0)->Locked = false;
    Layer(3)->Locked = Layer(5)->Locked = false;
    Project->UpdateLockedLayers();
    EXPECT_FALSE(object->GetCustomBooleanProperty("COMPLETELY_LOCKED"));
    for (int v = 0; v < mesh->GetVCount(); ++v) EXPECT_FALSE(vertexLocked(v)) << v;
}

TEST_F(PolygonLayersTest, AddSelectionToLayerTakesPolygonsAboveTheThreshold)
{
    TKSN_Object* strip = MakeStrip("Strip");
    TKSN_Mesh* mesh = strip->Mesh.get();
    // In vertex selection a polygon is as selected as its least selected corner.
    const float weights[QuadCount] = {0.299f, 0.3f, 1.0f, 0.0f};
    for (int q = 0; q < QuadCount; ++q) SetQuadVertexWeights(mesh, q, weights[q]);

    // A completely locked object with a selection is left alone.
    TKSN_Mesh* lockedMesh = MakeStrip("Locked")->Mesh.get();
    for (int q = 0; q < QuadCount; ++q) SetQuadVertexWeights(lockedMesh, q, 1.0f);
    lockedMesh->OwnerObject->SetCustomBooleanProperty("COMPLETELY_LOCKED", true);

    Project->AddSelectionToLayer(5, false, nullptr, true);
    for (int q = 0; q < QuadCount; ++q)
        EXPECT_EQ(mesh->Polygons[q].LayerFlags, (q == 1 || q == 2) ? Bit(5) : 0u) << q;
    for (int q = 0; q < QuadCount; ++q) EXPECT_EQ(lockedMesh->Polygons[q].LayerFlags, 0u) << q;
    ASSERT_EQ(Panel.size(), 1u);
    EXPECT_EQ(Panel[0], QORFormat(Lang.GetText(1183), "Layer 5"));
    EXPECT_EQ(Panel[0], "Added the current selection to layer \"Layer 5\"");
}

TEST_F(PolygonLayersTest, AddSelectionToLayerRefusesBuiltInAndBadLayers)
{
    TKSN_Mesh* mesh = MakeStrip("Strip")->Mesh.get();
    for (int q = 0; q < QuadCount; ++q) SetQuadVertexWeights(mesh, q, 1.0f);
    struct Case {
        int layer;
        bool force;
    };
    // Layer 0 owns no bit, so it is refused even when forced.
    const Case refused[] = {{0, false}, {0, true}, {30, false}, {31, false}, {-1, true}, {32, true}};
    for (const Case& c : refused) {
        SCOPED_TRACE(::testing::Message() << c.layer << " " << c.force);
        Panel.clear();
        Project->AddSelectionToLayer(c.layer, c.force, nullptr, true);
        for (int q = 0; q < QuadCount; ++q) EXPECT_EQ(mesh->Polygons[q].LayerFlags, 0u);
        ASSERT_EQ(Panel.size(), 1u);
        EXPECT_EQ(Panel[0], "Please choose a current layer before proceeding");
        Panel.clear();
        Project->AddSelectionToLayer(c.layer, c.force, nullptr, false);
        EXPECT_TRUE(Panel.empty());
    }
}

TEST_F(PolygonLayersTest, HideSelectionMovesPolygonsIntoTheHiddenLayer)
{
    TKSN_Mesh* mesh = MakeStrip("Strip")->Mesh.get();
    for (int q = 0; q < QuadCount; ++q) SetQuadVertexWeights(mesh, q, 0.299f);
    // Nothing above the threshold: a warning, or silence with a caller's text.
    Project->AddSelectionToLayer(30, true, nullptr, true);
    EXPECT_EQ(Panel, std::vector<std::string>{"!No polygons have been selected."});
    Panel.clear();
    Project->AddSelectionToLayer(30, true, "Hiding the selected surface", true);
    EXPECT_TRUE(Panel.empty());
    for (int q = 0; q < QuadCount; ++q) EXPECT_EQ(mesh->Polygons[q].LayerFlags, 0u);

    SetQuadVertexWeights(mesh, 2, 1.0f);
    Project->AddSelectionToLayer(30, true, "Hiding the selected surface", true);
    EXPECT_TRUE(Panel.empty());
    EXPECT_EQ(mesh->Polygons[2].LayerFlags, Bit(30));
    EXPECT_EQ(VisibleQuads(mesh), (std::vector<int>{0, 1, 3}));

    // A layer name longer than a 256-byte text buffer reaches the texts whole.
    const std::string longName(600, 'n');
    Layer(6)->SetName("%s", longName.c_str());
    SetQuadVertexWeights(mesh, 0, 1.0f);
    Project->AddSelectionToLayer(6, false, nullptr, true);
    EXPECT_EQ(Panel, std::vector<std::string>{"Added the current selection to layer \"" + longName + "\""});
}

TEST_F(PolygonLayersTest, AddCurrentSelectionUsesTheSelectedMarkAndHighlightedLayers)
{
    TKSN_Mesh* mesh = MakeStrip("Strip")->Mesh.get();
    const float weights[QuadCount] = {0.05f, 0.0499f, 1.0f, 0.0f};
    for (int q = 0; q < QuadCount; ++q) SetQuadVertexWeights(mesh, q, weights[q]);
    Layer(4)->Enable();
    Layer(6)->Enable();

    // One layer: only that layer's bit, the single-layer message.
    Project->AddCurrentSelectionToLayer(Layer(4), true, true, nullptr);
    EXPECT_EQ(mesh->Polygons[0].LayerFlags, Bit(4));
    EXPECT_EQ(mesh->Polygons[1].LayerFlags, 0u) << "0.0499 is not above the selected mark's threshold";
    EXPECT_EQ(mesh->Polygons[2].LayerFlags, Bit(4));
    EXPECT_EQ(mesh->Polygons[3].LayerFlags, 0u);
    EXPECT_EQ(Panel, std::vector<std::string>{"Added the current selection to layer \"Layer 4\""});
    EXPECT_TRUE(Project->DoFlashLayerColors());

    // Two highlighted user layers both receive the selection.
    Panel.clear();
    for (int q = 0; q < QuadCount; ++q) mesh->Polygons[q].LayerFlags = 0;
    Layer(4)->multiSelected = Layer(6)->multiSelected = true;
    Project->AddCurrentSelectionToLayer(Layer(4), false, true, nullptr);
    EXPECT_EQ(mesh->Polygons[0].LayerFlags, Bit(4) | Bit(6));
    EXPECT_EQ(mesh->Polygons[2].LayerFlags, Bit(4) | Bit(6));
    EXPECT_EQ(Panel, std::vector<std::string>{QORFormat(Lang.GetText(1343), 2)});

    // Layer 0 owns no bit: nothing changes, in particular bit 31 stays clear.
    Panel.clear();
    for (int q = 0; q < QuadCount; ++q) mesh->Polygons[q].LayerFlags = 0;
    EXPECT_EQ(Project->AddCurrentSelectionToLayer(Layer(0), true, true, nullptr), 0);
    for (int q = 0; q < QuadCount; ++q) EXPECT_EQ(mesh->Polygons[q].LayerFlags, 0u);
}

TEST_F(PolygonLayersTest, ChangeLayerAndGetCurrentLayerStayOnValidLayers)
{
    ASSERT_EQ(Project->CurrentLayerIndex, 0);
    EXPECT_EQ(Project->ChangeLayer(40, true), 0) << "out of range means layer 0, already current";
    EXPECT_TRUE(Layer(0)->multiSelected);

    Layer(3)->Enable();
    ClearViewportStatuses();
    Log.clear();
    EXPECT_EQ(Project->ChangeLayer(3, true), 1);
    EXPECT_EQ(Project->CurrentLayerIndex, 3);
    EXPECT_TRUE(Layer(3)->multiSelected);
    EXPECT_TRUE(Project->DoFlashLayerColors());
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 2, 2, 2}));
    EXPECT_EQ(CountOf("push 436"), 1);
    EXPECT_EQ(Project->ChangeLayer(3, true), 0);
    EXPECT_EQ(Project->GetCurrentLayer(), Layer(3));

    // A layer not in use may become current, but reading it falls back to layer 0.
    EXPECT_EQ(Project->ChangeLayer(9, false), 1);
    EXPECT_EQ(Project->GetCurrentLayer(), Layer(0));
    EXPECT_EQ(Project->CurrentLayerIndex, 0);

    Project->CurrentLayerIndex = 77;
    EXPECT_EQ(Project->GetCurrentLayer(), Layer(0));
    EXPECT_EQ(Project->CurrentLayerIndex, 0);

    // Even a disabled layer 0 is a safe fallback.
    Layer(0)->Disable();
    EXPECT_EQ(Project->GetCurrentLayer(), Layer(0));
    EXPECT_EQ(Project->ChangeLayer(0, true), 0);
}

TEST_F(PolygonLayersTest, NewLayerColoursAreBrightAndKeepAwayFromTakenColours)
{
    QORSetRandomSeed(1234);
    // Layer 0 (0.7, 0.7, 0.8), white and the selection colours are taken.
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        float rgb[3] = {-1, -1, -1};
        Project->GetNewLayerColor(rgb);
        for (float c : rgb) {
            EXPECT_GE(c, 0.0f);
            EXPECT_LE(c, 1.0f);
        }
        EXPECT_GT(std::sqrt(rgb[0] * rgb[0] + rgb[1] * rgb[1] + rgb[2] * rgb[2]), 0.6f);
        const float taken[][3] = {{0.7f, 0.7f, 0.8f}, {1, 1, 1}, {1, 1, 0}, {1, 0, 0}};
        for (const auto& t : taken)
            EXPECT_GT(std::hypot(rgb[0] - t[0], rgb[1] - t[1], rgb[2] - t[2]), 0.3f);
    }
}

TEST_F(PolygonLayersTest, CleanupClearsTheBitsOfUnusedUserLayers)
{
    TKSN_Mesh* mesh = MakeStrip("Strip")->Mesh.get();
    for (int q = 0; q < QuadCount; ++q) mesh->Polygons[q].LayerFlags = ~0u;
    Layer(3)->Enable();
    Layer(0)->DisplayFlags = 0;
    Project->CleanupLayerFlagsAndSuch();
    const uint32_t kept = Bit(3) | Bit(30) | Bit(31) | 0x80000000u;
    for (int q = 0; q < QuadCount; ++q) EXPECT_EQ(mesh->Polygons[q].LayerFlags, kept) << q;
    EXPECT_TRUE(Layer(0)->DisplayFlags & TKSN_Layer::UseViewportDefault);
}

} // namespace
