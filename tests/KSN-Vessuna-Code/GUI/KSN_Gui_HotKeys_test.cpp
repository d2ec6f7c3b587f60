// The hot-key table through the window's key callbacks (as the toolkit host
// delivers keys, with modifiers), and the tile presets that two of its key
// groups store and apply.
#include "KSN_MainWindowTestSupport.h"

#include "KSN_Gui_HotKeys.h"
#include "KSN_Gui_TilePresets.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "KSN_Undo.h"
#include "QORLanguage.h"

#include <algorithm>

namespace {

struct TPushed {
    int Command;
    TQOREventFunction Callback;
    int Int0;
    std::string String0;
    float F0, F1;
};
std::vector<TPushed> g_Pushed;

bool RecordPush(TQOREvent* e)
{
    // Every character key first restarts the save reminder (295).
    if (e->GetCommand() == 295 && !e->callback) return false;
    g_Pushed.push_back({e->GetCommand(), e->callback, e->intParameters[0],
                        e->GetStringParameter(0) ? e->GetStringParameter(0) : "", e->floatParameters[0],
                        e->floatParameters[1]});
    return false;
}

constexpr int C = QORGLUT_MASK_CONTROL, S = QORGLUT_MASK_SHIFT, A = QORGLUT_MASK_ALT;

class HotKeys : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        g_Pushed.clear();
        QOREvents_AssignOnPushEvent(RecordPush);
        for (TKSN_TilePreset& p : TilePresets) {
            p.Set = false;
            p.BrushFileName.clear();
        }
        CurrentBrushFileName.clear();
        KSN_TilePresetLoadBrush = nullptr;
    }
    void TearDown() override
    {
        QOREvents_AssignOnPushEvent(nullptr);
        App->currentTool = nullptr;
        KSN_TilePresetLoadBrush = nullptr;
        MainWindowFixture::TearDown();
    }
    // The first event a key pushed, or null.
    const TPushed* Press(int code, int mask)
    {
        g_Pushed.clear();
        Key(code, mask);
        return g_Pushed.empty() ? nullptr : &g_Pushed.front();
    }
    // Builds the table again (after tools were added to the lists).
    void RecreateHotKeys()
    {
        for (TGui_Node* c = W().FirstChild; c; c = c->Next)
            if (dynamic_cast<TGui_HotKeyNode*>(c)) c->DeletePending = true;
        Layout();
        W().CreateHotKeys();
    }
    static std::unique_ptr<TQOREvent> Preset(int command, int n)
    {
        auto e = std::make_unique<TQOREvent>(Kestrune_SpecialHotkeys, 0, command);
        e->intParameters[0] = n;
        return e;
    }
    bool MessageShown(const std::string& text)
    {
        for (const std::string& line : PanelLines(W().MessagePanel))
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
};

struct TNavTool : TKSN_Tool {};

} // namespace

TEST_F(HotKeys, OneTableThroughTheWindow)
{
    struct TCase {
        const char* Name;
        int Code, Mask;
        int Command;
        TQOREventFunction Callback;
        int Int0;
    } const cases[] = {
        {"Ctrl+S saves, not soften", 'S', C, 377, KestruneEvents_CommandCB, 0},
        {"Ctrl+Shift+S", 'S', C | S, 378, KestruneEvents_CommandCB, 0},
        {"S softens", 's', 0, 243, KestruneEvents_CommandCB, 0},
        {"Shift+S softens too", 'S', S, 243, KestruneEvents_CommandCB, 0},
        {"Ctrl+O", 'O', C, 368, KestruneEvents_CommandCB, 0},
        {"Shift+Alt+D", 'D', S | A, 1, KSN_SubdivideModeler_CommandCB, 0},
        {"Ctrl+Alt+D", 'D', C | A, 3, KSN_SubdivideModeler_CommandCB, 0},
        {"Ctrl+Shift+Alt+D", 'D', C | S | A, 4, KSN_SubdivideModeler_CommandCB, 0},
        {"Ctrl+D", 'D', C, 35, KestruneEvents_CommandCB, 0},
        {"Ctrl+Shift+Alt+3 stores", '3', C | S | A, 2, Kestrune_SpecialHotkeys, 3},
        {"Ctrl+Shift+3 applies", '3', C | S, 3, Kestrune_SpecialHotkeys, 3},
        {"Ctrl+Z", 'Z', C, 148, KestruneEvents_CommandCB, 0},
        {"character 26", 26, C, 148, KestruneEvents_CommandCB, 0},
        {"Ctrl+Shift+Z", 'Z', C | S, 149, KestruneEvents_CommandCB, 0},
        {"Ctrl+Alt+Z", 'Z', C | A, 536261, KSN_NavigatorCommandsCB, 0},
        {"comma", ',', 0, 104, KestruneEvents_CommandCB, 0},
        {"Shift+comma as delivered", '<', S, 106, KestruneEvents_CommandCB, 0},
        {"period", '.', 0, 103, KestruneEvents_CommandCB, 0},
        {"Alt+P", 'P', A, 417, KestruneEvents_CommandCB, 0},
        {"Alt+M", 'M', A, 418, KestruneEvents_CommandCB, 0},
        {"Alt+D", 'D', A, 419, KestruneEvents_CommandCB, 0},
        {"F9", 348, 0, 284, KestruneEvents_CommandCB, 0},
        {"Shift+F9", 348, S, 284, KestruneEvents_CommandCB, 0},
        {"F10", 349, 0, 285, KestruneEvents_CommandCB, 0},
        {"Alt+F1", 340, A, 308, KestruneEvents_CommandCB, 1},
        {"Down", 317, 0, 270, KestruneEvents_CommandCB, 0},
        {"Shift+Up", 315, S, 275, KestruneEvents_CommandCB, 0},
        {"Ctrl+A", 'A', C, 236, KestruneEvents_CommandCB, 0},
        {"I", 'i', 0, 238, KestruneEvents_CommandCB, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TPushed* p = Press(c.Code, c.Mask);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->Command, c.Command);
        EXPECT_EQ(p->Callback, c.Callback);
        EXPECT_EQ(p->Int0, c.Int0);
    }
    const TPushed* p = Press(342, A);   // Alt+F3 shows the colour channel
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->String0, "Color");
    p = Press(316, C);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Command, 266);
    EXPECT_FLOAT_EQ(p->F0, 0.25f);
    EXPECT_FLOAT_EQ(p->F1, 0.0f);
    // Alt+Down is left free.
    EXPECT_EQ(Press(317, A), nullptr);
}

TEST_F(HotKeys, TheTenthDeformationToolAnswersCtrlColonAndSeparatorsTakeNoKey)
{
    std::vector<TKSN_Tool*> tools;
    for (int i = 0; i < 11; ++i) {
        if (i == 2) App->deformationTools->Add(nullptr);
        auto* t = new TNavTool;
        t->SetName("Deformer %d", i);
        App->deformationTools->Add(t);
        tools.push_back(t);
    }
    RecreateHotKeys();
    struct TCase {
        int Code, ListIndex;
    } const cases[] = {{'1', 0}, {'2', 1}, {'3', 3}, {'9', 9}, {':', 10}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Code);
        g_Pushed.clear();
        Key(c.Code, C);
        // The callback ran: the tool at that list index is current.
        EXPECT_EQ(App->currentTool, (*App->deformationTools)[c.ListIndex]);
    }
    App->currentTool = nullptr;
    Key(';', C);   // the eleventh tool gets no key
    EXPECT_EQ(App->currentTool, nullptr);
}

TEST_F(HotKeys, DigitKeysChangeNothingOutsideTheSelectionList)
{
    auto* t = new TNavTool;
    App->selectionTools->Add(t);
    App->selectionTools->Add(nullptr);
    Key('1', 0);
    EXPECT_EQ(App->currentTool, t);
    for (int code : {'2', '3', '6'}) {
        Key(code, 0);
        EXPECT_EQ(App->currentTool, t);
        EXPECT_EQ(App->selectionTools->reservedValue, 0);
    }
}

TEST_F(HotKeys, F1TwiceGoesBackToTheToolBefore)
{
    App->navigationTools->Add(new TNavTool);
    Key(340, 0);
    EXPECT_EQ(App->currentTool, (*App->navigationTools)[0]);
    g_Pushed.clear();
    Key(340, 0);
    EXPECT_TRUE(std::any_of(g_Pushed.begin(), g_Pushed.end(), [](const TPushed& p) { return p.Command == 154; }));
}

// [SECTION] Tile presets

TEST_F(HotKeys, APresetRoundTripRestoresTheTilingSetUp)
{
    TKSN_Project& p = *Project;
    p.SetPaintMappingStyle(2);
    for (int i = 0; i < 16; ++i) p.TileRotationMatrix[i] = float(i);
    p.TileCentre[0] = 1.0f;
    p.TileCentre[1] = 2.0f;
    p.TileCentre[2] = 3.0f;
    p.TileWidth = 4.0f;
    p.TileHeight = 0.5f;
    p.TileRepeat = 3.0f;
    p.AutoAlignTilingWithViewport = true;
    Provider.Answers = {TOSBoxAnswer::Yes};
    ASSERT_TRUE(Kestrune_SpecialHotkeys(Preset(2, 0).get()));
    EXPECT_TRUE(MessageShown("Set Tile Preset 0"));

    p.SetPaintMappingStyle(0);
    std::fill(p.TileRotationMatrix, p.TileRotationMatrix + 16, 0.0f);
    std::fill(p.TileCentre, p.TileCentre + 3, 0.0f);
    p.TileWidth = p.TileHeight = p.TileRepeat = 1.0f;
    p.AutoAlignTilingWithViewport = false;

    ASSERT_TRUE(Kestrune_SpecialHotkeys(Preset(3, 0).get()));
    EXPECT_TRUE(MessageShown("Get Tile Preset 0"));
    EXPECT_EQ(p.GetPaintMappingStyle(), 2);
    EXPECT_FLOAT_EQ(p.TileRotationMatrix[15], 15.0f);
    EXPECT_FLOAT_EQ(p.TileCentre[2], 3.0f);
    EXPECT_FLOAT_EQ(p.TileWidth, 4.0f);
    EXPECT_FLOAT_EQ(p.InvTileHeight, 2.0f);
    EXPECT_FLOAT_EQ(p.TileRepeat, 3.0f);
    EXPECT_TRUE(p.AutoAlignTilingWithViewport);
    ASSERT_NE(p.UndoList, nullptr);
    EXPECT_STREQ(p.UndoList->GetLast()->Message, Lang.GetText(1480));
}

TEST_F(HotKeys, PresetNumbersAboveNineAndDeclinedStoresChangeNothing)
{
    const size_t boxes = Provider.Boxes.size();
    for (int n : {10, -1}) {
        for (int command : {2, 3}) {
            EXPECT_FALSE(Kestrune_SpecialHotkeys(Preset(command, n).get()));
            if (n == 10) {
                EXPECT_TRUE(MessageShown("Invalid preset number (10)"));
            }
        }
    }
    EXPECT_EQ(Provider.Boxes.size(), boxes);

    Project->TileRepeat = 7.0f;
    Provider.Answers = {TOSBoxAnswer::No};
    EXPECT_FALSE(Kestrune_SpecialHotkeys(Preset(2, 4).get()));
    ASSERT_EQ(Provider.Boxes.size(), boxes + 1);
    EXPECT_NE(Provider.Boxes.back().Text.find("preset 4?"), std::string::npos);
    EXPECT_FALSE(Provider.Boxes.back().DefaultYes);
    EXPECT_FALSE(TilePresets[4].Set);
}

TEST_F(HotKeys, AnUnsetPresetRecordsAnUndoStepAndChangesNothing)
{
    Project->TileRepeat = 7.0f;
    Project->SetPaintMappingStyle(3);
    ASSERT_TRUE(Kestrune_SpecialHotkeys(Preset(3, 5).get()));
    EXPECT_FLOAT_EQ(Project->TileRepeat, 7.0f);
    EXPECT_EQ(Project->GetPaintMappingStyle(), 3);
    ASSERT_NE(Project->UndoList, nullptr);
    EXPECT_TRUE(std::any_of(g_Pushed.begin(), g_Pushed.end(), [](const TPushed& p) { return p.Command == 299; }));
}

namespace {
std::vector<std::string> g_Loads;
bool g_LoadAnswer = true;
bool RecordLoad(const char* path)
{
    g_Loads.push_back(path);
    return g_LoadAnswer;
}
} // namespace

TEST_F(HotKeys, TheBrushIsReloadedOnlyForAnotherNameAndAFailedLoadWarns)
{
    g_Loads.clear();
    KSN_TilePresetLoadBrush = RecordLoad;
    std::vector<std::string> warnings;
    static std::vector<std::string>* sink;
    sink = &warnings;
    OS.AssignOnWarningMessage([](char* text) { sink->push_back(text); });

    CurrentBrushFileName = "/brushes/Stone.png";
    Provider.Answers = {TOSBoxAnswer::Yes};
    ASSERT_TRUE(Kestrune_SpecialHotkeys(Preset(2, 1).get()));
    CurrentBrushFileName = "/BRUSHES/stone.PNG";
    ASSERT_TRUE(Kestrune_SpecialHotkeys(Preset(3, 1).get()));
    EXPECT_TRUE(g_Loads.empty());

    CurrentBrushFileName = "/brushes/Other.png";
    g_LoadAnswer = false;
    Project->TileRepeat = 9.0f;
    ASSERT_TRUE(Kestrune_SpecialHotkeys(Preset(3, 1).get()));
    ASSERT_EQ(g_Loads.size(), 1u);
    EXPECT_EQ(g_Loads[0], "/brushes/Stone.png");
    EXPECT_FLOAT_EQ(Project->TileRepeat, 1.0f);   // the rest is applied
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("/brushes/Stone.png"), std::string::npos);
    g_LoadAnswer = true;
}
