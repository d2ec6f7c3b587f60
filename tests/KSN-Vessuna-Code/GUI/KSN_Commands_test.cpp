// The command layer: the pump and the dispatcher's routing and redraw table,
// the live interface variables, the commands on the current tool, the
// interface refreshes, the panel bases and the rename window.
#include "KSN_CommandTestSupport.h"

#include "GuiButton.h"
#include "GuiEditField.h"
#include "GuiGauge.h"
#include "KSN_CR2ExportWindow.h"
#include "KSN_Gui_Panel.h"
#include "KSN_Object.h"
#include "KSN_Morph.h"
#include "KSN_Parameter.h"
#include "KSN_RenameWindow.h"
#include "KSN_ToolList.h"
#include "KSN_Union.h"
#include "KSN_Viewport.h"

#include <cstring>
#include <set>

namespace {

std::vector<int> g_Ran;
bool RecordingCB(TQOREvent* e)
{
    g_Ran.push_back(e->GetCommand());
    return true;
}

// [SECTION] Pump and dispatcher

using CommandPump = CommandFixture;

TEST_F(CommandPump, OnePassRunsWhatWasQueuedAndLeavesPushedCommandsForTheNext)
{
    g_Ran.clear();
    KestruneEvents_CommandListener = [](TQOREvent* e) {
        g_Ran.push_back(e->GetCommand());
        if (e->GetCommand() == 165) QOREvents_PushEvent(new TQOREvent(RecordingCB, 0, 3));
    };
    const auto anyStale = [] {
        bool stale = false;
        for (TKSN_Viewport* v : App->viewports) stale |= v && v->shown && v->GetRenderedSceneStatus() == 2;
        return stale;
    };
    const auto clearStale = [] {
        for (TKSN_Viewport* v : App->viewports)
            if (v) v->ClearRenderedSceneStatus();
    };
    // A flagged id with a callback of its own never passes the redraw table.
    clearStale();
    QOREvents_PushEvent(new TQOREvent(RecordingCB, 0, 7));
    KestruneEvents_ProcessEvents();
    EXPECT_FALSE(anyStale());
    g_Ran.clear();
    RedisplaysBefore = KestruneEvents_RedisplayCount;

    QOREvents_PushEvent(165);
    QOREvents_PushEvent(new TQOREvent(RecordingCB, 0, 7));   // a flagged id with its own callback
    KestruneEvents_ProcessEvents();
    EXPECT_EQ(g_Ran, (std::vector<int>{165, 7}));
    EXPECT_EQ(EventsProcessedThisTime, 2);
    EXPECT_TRUE(anyStale());
    // Only the dispatcher's 165 marked the viewports stale (once) and posted.
    EXPECT_EQ(RedisplaysPosted(), 2);   // 165's flag, then the pass
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 3);
    KestruneEvents_ProcessEvents();
    EXPECT_EQ(g_Ran, (std::vector<int>{165, 7, 3}));

    const int before = KestruneEvents_RedisplayCount;
    KestruneEvents_ProcessEvents();
    EXPECT_EQ(EventsProcessedThisTime, 0);
    EXPECT_EQ(KestruneEvents_RedisplayCount, before) << "an empty pump posts no redisplay";
}

TEST_F(CommandPump, ExactlyTheFiftySevenRedrawIdsAreFlagged)
{
    Run(0);
    const std::set<int> expected = {7,   147, 148, 150, 151, 157, 158, 162, 165, 166, 167, 181, 194, 215, 234,
                                    301, 302, 303, 322, 323, 324, 325, 326, 327, 328, 329, 330, 331, 332, 333,
                                    334, 335, 336, 337, 338, 342, 343, 344, 368, 369, 370, 371, 372, 373, 374,
                                    375, 376, 384, 386, 387, 459, 460, 461, 463, 468, 470, 471};
    ASSERT_EQ(expected.size(), 57u);
    for (int id = 0; id <= 490; ++id)
        EXPECT_EQ((Kestrune_EventProperties[id] & 1) != 0, expected.count(id) == 1) << "id " << id;
}

TEST_F(CommandPump, UnclaimedIdsAreHandledWithoutEffectAndNothingRunsWithoutAMainWindow)
{
    for (int id : {0, 491, 165, 167}) {
        const int before = KestruneEvents_RedisplayCount;
        EXPECT_TRUE(Run(id)) << id;
        EXPECT_EQ(KestruneEvents_RedisplayCount - before, (id == 165 || id == 167) ? 1 : 0) << id;
    }
    for (int id : {-10000, -9995, -9988}) EXPECT_FALSE(Run(id)) << id;

    TKSN_MainWindow* window = MainWindow;
    MainWindow = nullptr;
    for (int id : {0, 8, 57, 165, 369, 432, 491}) EXPECT_FALSE(Run(id, 0)) << id;
    MainWindow = window;
}

TEST_F(CommandPump, TheMenuRefreshesAndTheSplashStillRouteThroughTheDispatcher)
{
    W().SplashWindow->Show();
    QOREvents_PushEvent(446);
    KestruneEvents_ProcessEvents();
    EXPECT_FALSE(W().SplashWindow->Shown);
    EXPECT_EQ(Count(446), 1);
    for (int id : {8, 422, 423, 424, 425, 426, 427, 428, 429, 432, 433}) EXPECT_TRUE(Run(id)) << id;
}

// [SECTION] Live interface variables

using LiveVariables = CommandFixture;

TEST_F(LiveVariables, SettersStoreAndGettersReportWithoutSideEffects)
{
    // A percent travels multiplied by 100.
    EXPECT_TRUE(Run(57, 1, 0, 37.0f));
    EXPECT_FLOAT_EQ(Project->FadeFalloff, 0.37f);
    EXPECT_FLOAT_EQ(GetFloat(57), 37.0f);

    // The deformation locks never leave all three axes on.
    struct TLockCase {
        std::vector<int> Order;
        bool X, Y, Z;
    };
    for (const TLockCase& c : {TLockCase{{49, 50, 51}, false, true, true}, TLockCase{{51, 49, 50}, true, true, false}}) {
        Project->DeformLockX = Project->DeformLockY = Project->DeformLockZ = false;
        for (int id : c.Order) Run(id, 1, 1);
        EXPECT_EQ(Project->DeformLockX, c.X);
        EXPECT_EQ(Project->DeformLockY, c.Y);
        EXPECT_EQ(Project->DeformLockZ, c.Z);
    }

    // The mouse wheel follows at most one thing.
    for (int id = 86; id <= 90; ++id) {
        Run(id, 1, 1);
        int on = 0;
        for (bool flag : App->mouseWheelModes) on += flag;
        EXPECT_EQ(on, 1);
        EXPECT_TRUE(App->mouseWheelModes[id - 86]);
    }
    Run(90, 1, 0);
    for (bool flag : App->mouseWheelModes) EXPECT_FALSE(flag);

    // Painting on the selection only cannot be switched off.
    for (int mode : {0, 1}) {
        Project->PaintOnSelectionOnly = false;
        Run(39, mode, 0);
        EXPECT_TRUE(Project->PaintOnSelectionOnly);
    }

    // 75 and 76 are radio buttons.
    Run(76, 1, 0);
    EXPECT_EQ(Project->AffectMode, 1);
    EXPECT_EQ(GetInt(75), 0);
    EXPECT_EQ(GetInt(76), 1);
    Run(75, 1, 0);
    EXPECT_EQ(Project->AffectMode, 0);
    EXPECT_EQ(GetInt(75), 1);

    // Toggling the selection type twice restores it without an undo step.
    const eSelectionType type = App->selectionType;
    Run(94);
    EXPECT_NE(App->selectionType, type);
    Run(94);
    EXPECT_EQ(App->selectionType, type);
    EXPECT_EQ(Project->UndoList, nullptr);
}

TEST_F(LiveVariables, AGetQueuesAndPrintsNothing)
{
    QOREvents_Clean();
    g_Printed.clear();
    const std::vector<int> liveIds = {23, 29, 30, 31, 32, 37, 38, 40, 45, 46, 47, 48, 49, 50, 51, 55, 56, 57, 58,
                                      59, 60, 61, 62, 63, 64, 65, 71, 72, 73, 74, 75, 76, 78, 79, 80, 81, 82, 83,
                                      84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 95, 96, 102};
    for (int id : liveIds) EXPECT_TRUE(Run(id, 0)) << id;
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
    EXPECT_TRUE(g_Printed.empty()) << g_Printed.front();
    for (int id : {15, 28, 77, 116}) EXPECT_FALSE(Run(id)) << id;
}

TEST_F(LiveVariables, AMorphUnionGaugeSnapsToTheWholeStrengthForUnionAndMembers)
{
    TKSN_Morph a(0, 0), b(0, 0);
    TKSN_MorphUnion u;
    u.ItemIDs.Add(a.GetID());
    u.ItemIDs.Add(b.GetID());
    u.ItemIDs.Add(0xFFFFFFF0u);   // a member that is gone
    TGui_Gauge* gauge = W().AddGauge("g", nullptr, 0.0f, 100.0f);
    gauge->Minimum = 0.0f;
    gauge->Maximum = 100.0f;
    gauge->Width = 45;
    TQOREvent e(KestruneEvents_CommandCB, 0, 66);
    e.operationMode = 1;
    e.intParameters[0] = int32_t(u.GetID());
    e.floatParameters[0] = 99.7f;
    e.SetDispatcher(gauge);
    QOREvents_Clean();
    EXPECT_TRUE(QORProcessEventNow(&e));
    EXPECT_FLOAT_EQ(u.Strength, 1.0f);
    EXPECT_FLOAT_EQ(a.Strength, 1.0f);
    EXPECT_FLOAT_EQ(b.Strength, 1.0f);
    EXPECT_EQ(u.ItemIDs.Count(), 2);
    EXPECT_STREQ(gauge->GetName(), "100");
    EXPECT_EQ(CountQueued(7), 1);

    // Without a gauge the value still reaches the union and its members.
    e.dispatcherID = 0;
    e.floatParameters[0] = 40.0f;
    QORProcessEventNow(&e);
    EXPECT_FLOAT_EQ(u.Strength, 0.4f);
    EXPECT_FLOAT_EQ(a.Strength, 0.4f);
}

// [SECTION] Current-tool commands

class TTestTool : public TKSN_Tool {
public:
    TTestTool()
    {
        SetName("%s", "Test Tool");
        SizeParameter = AddFloatParameter("Size", nullptr, GetSizePtr(), 0.0f, 1.0f);
        StrengthParameter = AddFloatParameter("Strength", nullptr, GetStrengthPtr(), 0.0f, 0.8f);
        PercentParameter = AddFloatParameter("Percent", nullptr, &Percent, 0.0f, 1.0f);
        PercentParameter->Percent = true;
        IntParameter = AddIntParameter("Count", nullptr, &Count, -10, 10);
    }
    void OnParameterChange(TKSN_Parameter* parameter) override
    {
        if (parameter == IntParameter) SeenCount.push_back(Count);
    }
    TKSN_Parameter *SizeParameter, *StrengthParameter, *PercentParameter, *IntParameter;
    float Percent = 0.0f;
    int Count = 0;
    std::vector<int> SeenCount;
};

class ToolCommands : public CommandFixture {
protected:
    void SetUp() override
    {
        CommandFixture::SetUp();
        List.Add(&Tool);
        Tool.ToolList = &List;
        App->currentTool = &Tool;
    }
    TTestTool Tool;
    TKSN_ToolList List;
};

TEST_F(ToolCommands, StepsGrowTheSizeByItsOwnCurveAndStopAtTheLimits)
{
    const float savedSize = Tool.GetSize(), savedStrength = Tool.GetStrength();
    Tool.SetSize(0.2f);
    Run(103);
    EXPECT_NEAR(Tool.GetSize(), 0.2202f, 1e-5f);
    EXPECT_TRUE(LastPrinted().ends_with("- 22")) << LastPrinted();

    Tool.SetSize(0.98f);
    TQOREvent wheel(KestruneEvents_CommandCB, 0, 103);
    wheel.intParameters[0] = 1;   // a wheel step is larger than 0.02 here
    App->mouseWheelSensitivity = 0.0f;
    QORProcessEventNow(&wheel);
    EXPECT_FLOAT_EQ(Tool.GetSize(), 1.0f);
    EXPECT_TRUE(LastPrinted().ends_with("100")) << LastPrinted();

    Tool.SetStrength(0.8f);
    Run(105);
    EXPECT_FLOAT_EQ(Tool.GetStrength(), 0.8f);
    EXPECT_TRUE(LastPrinted().ends_with("80")) << LastPrinted();
    Tool.SetSize(savedSize);
    Tool.SetStrength(savedStrength);
}

TEST_F(ToolCommands, ParameterValuesTravelScaledAndIntsRoundBeforeTheToolHears)
{
    Run(68, 1, 0, 37.0f, Tool.PercentParameter->GetID());
    EXPECT_FLOAT_EQ(Tool.Percent, 0.37f);
    EXPECT_TRUE(LastPrinted().ends_with("37")) << LastPrinted();
    EXPECT_FLOAT_EQ(GetFloat(68, Tool.PercentParameter->GetID()), 37.0f);

    struct TCase {
        float In;
        int Stored;
    };
    for (const TCase& c : {TCase{2.5f, 3}, TCase{-2.5f, -2}, TCase{0.49f, 0}, TCase{-0.9f, 0}}) {
        Tool.SeenCount.clear();
        Run(69, 1, 0, c.In, Tool.IntParameter->GetID());
        EXPECT_EQ(Tool.Count, c.Stored) << c.In;
        EXPECT_EQ(Tool.SeenCount, std::vector<int>{c.Stored}) << "the tool hears the new value";
    }
    EXPECT_TRUE(Run(68, 1, 0, 5.0f, 0xFFFFFFF0u)) << "no parameter: nothing, but handled";
}

TEST_F(ToolCommands, TheToolWalkOnAOneToolListTriesOnce)
{
    EXPECT_TRUE(Run(114));
    EXPECT_TRUE(Run(113));
    EXPECT_EQ(App->currentTool, &Tool);
}

// [SECTION] Interface refreshes and panel bases

using InterfaceUpdates = CommandFixture;

TEST_F(InterfaceUpdates, RefusalsWarningsAndTheOnceOnlyModelerNotice)
{
    for (int id : {410, 411, 457}) EXPECT_FALSE(Run(id)) << id;
    g_Printed.clear();
    EXPECT_FALSE(Run(443));
    EXPECT_FALSE(g_Printed.empty());

    g_Printed.clear();
    Run(419);
    Run(419);
    int notices = 0;
    for (const std::string& text : g_Printed) notices += text == Lang.GetText(283);
    EXPECT_LE(notices, 1);
    EXPECT_EQ(App->GetToolTypeTab(), 4);
}

TEST_F(InterfaceUpdates, TheManagerRefreshesListTheProjectAndTheOwnerDecidesThePanelWindows)
{
    // The project tree follows the document only through its refreshes.
    auto rows = [this] {
        std::string names;
        std::vector<TGui_Node*> stack{W().ObjectManagerNode};
        while (!stack.empty()) {
            TGui_Node* n = stack.back();
            stack.pop_back();
            names += std::string("[") + n->GetName() + "]";
            for (TGui_Node* c = n->FirstChild; c; c = c->Next) stack.push_back(c);
        }
        return names;
    };
    // A new name shows only after a rebuild.
    TKSN_Object* object = Project->CreateNewObject();
    for (int id : {432, 434, 439, 440, 441}) {
        const std::string name = "Statue " + std::to_string(id);
        object->SetName("%s", name.c_str());
        EXPECT_TRUE(Run(id)) << id;
        EXPECT_NE(rows().find("[" + name + "]"), std::string::npos) << id;
    }
    object->SetName("%s", "Statue 435");
    EXPECT_TRUE(Run(435));
    EXPECT_EQ(rows().find("[Statue 435]"), std::string::npos) << "435 refreshes the Maps tab only";

    // The viewport options open only for a viewport panel that owns the command.
    EXPECT_FALSE(Run(452, 1, 0, 0.0f, W().GetID()));
    EXPECT_TRUE(Run(452, 1, 0, 0.0f, W().ViewportPanels[1]->GetID()));
    EXPECT_TRUE(W().ViewportOptionsWindow->Shown);
    W().ViewportOptionsWindow->Hide();
    EXPECT_TRUE(Run(448));
    EXPECT_TRUE(W().CR2ExportWindow->Shown);
    W().CR2ExportWindow->Hide();
}

TEST_F(InterfaceUpdates, ASplashWiderThanItsParentKeepsItsRightEdgeOnTheParents)
{
    TGui_Node parent(nullptr);
    parent.SetSize(300, 200);
    auto* splash = new TKSN_SplashScreenWindow(&parent);
    struct TCase {
        int X, Y, W, H, WantX, WantY;
    };
    for (const TCase& c : {TCase{10, 10, 400, 100, -100, 10}, TCase{-5, 20, 100, 100, 0, 20},
                           TCase{250, 150, 100, 100, 200, 100}, TCase{10, 10, 100, 100, 10, 10}}) {
        splash->SetPosition(c.X, c.Y);
        splash->SetSize(c.W, c.H);
        splash->UpdateSize();
        EXPECT_EQ(splash->X, c.WantX);
        EXPECT_EQ(splash->Y, c.WantY);
    }
    auto* sub = new TKSN_SubWindow(&parent);
    EXPECT_EQ(sub->Y, 50);
    auto* tools = new TKSN_ToolWindow(&parent);
    EXPECT_EQ(tools->Width, 230);
    EXPECT_EQ(tools->Height, 500);
    QOREvents_Clean();
    tools->PostUpdate();
    tools->PostUpdate();
    EXPECT_EQ(CountQueued(431), 2);
}

// [SECTION] Rename window

class RenameWindowTest : public CommandFixture {
protected:
    TKSN_RenameWindow& R() { return *W().RenameWindow; }
    void Type(const char* text) { R().NameField->EditField->SetText(text); }
    void Ok()
    {
        TQOREvent e(TKSN_RenameWindow::OkClickedCB, R().GetID(), -1);
        QORProcessEventNow(&e);
    }
    static bool RefuseAll(const char*, TQORThingy*, char*) { return false; }
};

TEST_F(RenameWindowTest, NamesAreCheckedCleanedAndFollowedByTheirCommand)
{
    TKSN_Thingy thing;
    thing.SetName("%s", "Head");
    QOREvents_Clean();

    // The old name in other letters is accepted whatever the check says.
    R().Execute(&thing, "Head", 436, -1, RefuseAll, nullptr, nullptr);
    EXPECT_TRUE(R().Shown);
    EXPECT_STREQ(R().NameField->EditField->GetText(), "Head");
    Type("head");
    Ok();
    EXPECT_STREQ(thing.GetName(), "head");
    EXPECT_FALSE(R().Shown);
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 436);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetOwnerID(), thing.GetID());

    // A taken name is reported and the window stays open.
    QOREvents_Clean();
    R().Execute(&thing, "head", 436, -1, RefuseAll, nullptr, nullptr);
    Type("Neck");
    Ok();
    ASSERT_FALSE(Provider.Boxes.empty());
    EXPECT_NE(Provider.Boxes.back().Text.find("\"Neck\""), std::string::npos) << Provider.Boxes.back().Text;
    EXPECT_TRUE(R().Shown);
    EXPECT_STREQ(thing.GetName(), "head");
    EXPECT_EQ(QOREvents_GetEventCount(), 0);

    // Blank names are refused; unsafe characters become underscores.
    const size_t boxes = Provider.Boxes.size();
    R().Execute(&thing, "", -1, -1, nullptr, nullptr, nullptr);
    for (const char* blank : {"", "   "}) {
        Type(blank);
        Ok();
        EXPECT_TRUE(R().Shown);
    }
    EXPECT_EQ(Provider.Boxes.size(), boxes + 2);
    EXPECT_EQ(Provider.Boxes.back().Text, "Please enter a name.");
    Type("a:b/c%d");
    Ok();
    EXPECT_STREQ(thing.GetName(), "a_b_c_d");
    EXPECT_EQ(QOREvents_GetEventCount(), 0) << "OK command -1 queues nothing";
}

TEST_F(RenameWindowTest, AGoneThingyAndEnterTwiceAreHarmless)
{
    QOREvents_Clean();
    R().Execute(nullptr, "x", 436, -1, nullptr, nullptr, nullptr);
    EXPECT_FALSE(R().Shown);

    auto* thing = new TKSN_Thingy();
    thing->SetName("%s", "Arm");
    R().Execute(thing, "Arm", 436, -1, nullptr, nullptr, nullptr);
    delete thing;
    Ok();
    EXPECT_FALSE(R().Shown);
    EXPECT_EQ(QOREvents_GetEventCount(), 0);

    TKSN_Thingy leg;
    leg.SetName("%s", "Leg");
    R().Execute(&leg, "Leg", 436, -1, nullptr, nullptr, nullptr);
    Type("Foot");
    TQOREvent enter(TKSN_RenameWindow::OnKeyPressedCB, R().GetID(), -1);
    enter.intParameters[0] = 13;
    QORProcessEventNow(&enter);
    Ok();   // the OK button's Enter hot key for the same key press
    EXPECT_STREQ(leg.GetName(), "Foot");
    EXPECT_EQ(CountQueued(436), 1);

    // Cancel keeps the name.
    QOREvents_Clean();
    R().Execute(&leg, "Foot", 436, 437, nullptr, nullptr, nullptr);
    Type("Toe");
    TQOREvent cancel(TKSN_RenameWindow::CancelClickedCB, R().GetID(), -1);
    QORProcessEventNow(&cancel);
    EXPECT_STREQ(leg.GetName(), "Foot");
    EXPECT_EQ(CountQueued(437), 1);
    EXPECT_EQ(CountQueued(436), 0);
}

} // namespace
