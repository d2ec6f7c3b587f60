// The main window without a canvas: resizing, the press-release pairing,
// motion, the wheel lock, the message panel with worker threads, progress in
// the title, menus opened by their keys and clicked, the splash window, loads
// and the exit question, the CR2 wizard's layout. Input goes through the
// GLUT-like layer's dispatch functions only.
#include "KSN_MainWindowTestSupport.h"

#include "KSN_Gui_BrushBrowser.h"

#include "GuiText.h"
#include "GuiWidgets.h"
#include "KSN_CR2ExportWindow.h"
#include "KSN_Object.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "KSN_MaxExchange.h"
#include "QORLanguage.h"
#include "QORString.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

namespace {

// Records what the toolkit delivers to it.
struct TProbe : TGui_Node {
    TProbe(TGui_Node* parent, int x, int y) : TGui_Node(parent)
    {
        SetPosition(x, y);
        SetSize(60, 40);
        ShowName = false;
    }
    std::vector<std::string> Log;
    void OnMouse(int button, int state, int, int) override
    {
        Log.push_back("mouse " + std::to_string(button) + " " + std::to_string(state));
    }
    bool OnMotion(int x, int y) override
    {
        Log.push_back("motion " + std::to_string(x) + "," + std::to_string(y));
        return true;
    }
    bool OnMouseWheel(int step, int, int) override
    {
        Log.push_back("wheel " + std::to_string(step));
        return true;
    }
};

using MainWindowInput = MainWindowFixture;
// The message panel starts empty: the start-up commands that Init queues
// (the side views, which warn on their locked viewports) have run.
class MainWindowMessages : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        Idle();
        W().MessagePanel->Empty();
    }
};
using MainWindowMenus = MainWindowFixture;
using MainWindowFrame = MainWindowFixture;

} // namespace

// [SECTION] Resizing

TEST_F(MainWindowFrame, ReshapeBelowTheMinimumQueuesAResizeAndALargerOneLaysOutAtOnce)
{
    struct TCase {
        int W, H;
        bool Queued;
        int X, Y;   // the resize queued (140) or run (141)
    } const cases[] = {
        {799, 600, true, 800, 600}, {1000, 500, true, 1000, 544}, {800, 543, true, 800, 544},
        {0, 600, false, 0, 0},      {640, 0, false, 0, 0},         {1024, 768, false, 1024, 768},
        {800, 544, false, 800, 544},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.W) + " x " + std::to_string(c.H));
        QOREvents_Clean();
        g_RanCommands.clear();
        QORglut_DispatchReshape(c.W, c.H);
        if (c.Queued) {
            ASSERT_EQ(QOREvents_GetEventCount(), 1);
            EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 140);
            EXPECT_EQ(QOREvents_PeekEvent(0)->GetX(), c.X);
            EXPECT_EQ(QOREvents_PeekEvent(0)->GetY(), c.Y);
            EXPECT_EQ(Count(141), 0);
        } else if (c.W == 0 || c.H == 0) {
            EXPECT_EQ(QOREvents_GetEventCount(), 0);
            EXPECT_TRUE(g_RanCommands.empty());
        } else {
            ASSERT_EQ(Count(141), 1);
            EXPECT_EQ(g_RanCommands[0].X, c.X);
            EXPECT_EQ(g_RanCommands[0].Y, c.Y);
            EXPECT_EQ(W().Width, c.X) << "the layout followed the new size";
            EXPECT_EQ(CountQueued(140), 0);
        }
    }
}

// [SECTION] Mouse

TEST_F(MainWindowInput, OnlyAPairedPressAndReleaseReachTheToolkitWithTheButtonThatWentDown)
{
    auto* probe = new TProbe(&W(), 300, 300);
    Press(310, 310, 0);
    Press(310, 310, 2);   // right while left is held
    Release(310, 310);    // the layer names it right, the button of the latest press
    Release(310, 310);    // an extra release
    EXPECT_EQ(probe->Log, (std::vector<std::string>{"mouse 0 0", "mouse 0 1"}));

    probe->Log.clear();
    QORglut_SetModifiers(true, false, false, false);
    Press(310, 310, 0, true);
    Release(310, 310);
    QORglut_SetModifiers(false, false, false, false);
    EXPECT_EQ(probe->Log, (std::vector<std::string>{"mouse 2 0", "mouse 2 1"})) << "Ctrl makes the left button right";
}

TEST_F(MainWindowInput, AMotionToTheSamePixelIsDroppedAndOneAfterASkipRequestToo)
{
    auto* probe = new TProbe(&W(), 300, 300);
    Press(310, 310);
    Drag(320, 315);
    Drag(320, 315);
    W().SkipNextMotion = true;
    Drag(330, 315);
    Drag(331, 315);
    Release(331, 315);
    std::vector<std::string> motions;
    for (const std::string& e : probe->Log)
        if (e.rfind("motion", 0) == 0) motions.push_back(e);
    EXPECT_EQ(motions.size(), 2u) << ::testing::PrintToString(probe->Log);
}

TEST_F(MainWindowInput, QueuedWindowInputEventsAbsorbMotionAndHoldBackButtons)
{
    auto* probe = new TProbe(&W(), 300, 300);
    Press(310, 310);
    // A queued mouse-motion window event takes the new position instead
    // (and is run by the pump that ends the callback).
    g_RanCommands.clear();
    QOREvents_PushEvent(new TQOREvent(-9997));
    Drag(325, 318);
    ASSERT_EQ(Count(-9997), 1);
    EXPECT_EQ(g_RanCommands[0].X, 325);
    EXPECT_EQ(g_RanCommands[0].Y, 318);
    // A queued release holds back the next release.
    auto* release = new TQOREvent(-9999);
    release->SetMouseState(1);
    QOREvents_PushEvent(release);
    Release(325, 318);
    for (const std::string& e : probe->Log) {
        EXPECT_EQ(e.rfind("motion", 0), std::string::npos) << e;
        EXPECT_NE(e, "mouse 0 1");
    }
}

TEST_F(MainWindowInput, TheWheelIsIgnoredWhileLockedAndAClickOnAnotherPanelFreesAStuckLock)
{
    auto* probe = new TProbe(&W(), 300, 300);
    Hover(310, 310);
    TKSN_MainWindow::LockMouseWheel();
    QORglut_DispatchMouseWheel(120, 310, 310);
    EXPECT_TRUE(probe->Log.empty());
    Click(310, 310);   // not the current viewport's panel
    EXPECT_FALSE(MouseWheelLocked);
    probe->Log.clear();
    Hover(311, 310);
    QORglut_DispatchMouseWheel(-120, 311, 310);
    EXPECT_EQ(probe->Log, std::vector<std::string>{"wheel -1"});
}

TEST_F(MainWindowInput, AClickOutsideAnOpenLibraryWindowClosesItAndOneInsideKeepsIt)
{
    TGui_Node* library = W().BrushShapeLibraryWindow;
    library->SetPosition(400, 200);
    library->SetSize(200, 150);
    library->Show();
    Layout();
    Click(library->AbsX + 50, library->AbsY + 50);
    EXPECT_TRUE(library->Shown);
    Click(library->AbsX, library->AbsY + 50);   // the left edge counts as outside
    EXPECT_FALSE(library->Shown);
}

TEST_F(MainWindowInput, EscapeHidesTheOpenSubWindowsInOneGo)
{
    std::vector<TGui_Node*> windows = {W().BrushShapeLibraryWindow, W().ImportWindow, W().OptionsWindow,
                                       W().CR2ExportWindow, W().RenameWindow};
    for (TGui_Node* w : windows) w->Show();
    Key(27);
    for (TGui_Node* w : windows) EXPECT_FALSE(w->Shown) << w->GetName();
    EXPECT_EQ(Count(295), 1);
}

TEST_F(MainWindowInput, NothingPassesWhileAModalDialogIsOpenOrAnotherCallbackRuns)
{
    auto* probe = new TProbe(&W(), 300, 300);
    InsideEvent = true;
    Click(310, 310);
    InsideEvent = false;
    newIsInDialog = true;
    Click(310, 310);
    newIsInDialog = false;
    EXPECT_TRUE(probe->Log.empty());
    Click(310, 310);
    EXPECT_EQ(probe->Log.size(), 2u);
}

// [SECTION] Messages

TEST_F(MainWindowMessages, AMessageThatDiffersOnlyInItsLastWordReplacesTheNewestLine)
{
    struct TCase {
        const char *First, *Second;
        std::vector<std::string> Lines;
        bool Flash;
    } const cases[] = {
        {"Loading 10%", "Loading 20%", {"[b]>[/b] Loading 20%"}, true},
        {"Ready", "READY", {"[b]>[/b] READY"}, true},
        {"Open A", "Close A", {"[b]>[/b] Close A ", "[b]>[/b] Open A "}, false},
        {"Saved 100% of it", "Saved 100% of them", {"[b]>[/b] Saved 100% of them"}, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.First);
        W().MessagePanel->Empty();
        OS.PrintMessage("%s", c.First);
        W().MessagePanel->FlashDrawn = true;
        OS.PrintMessage("%s", c.Second);
        EXPECT_EQ(PanelLines(W().MessagePanel), c.Lines);
        EXPECT_EQ(!W().MessagePanel->FlashDrawn, c.Flash);
    }
}

TEST_F(MainWindowMessages, TheFortyFirstLineGoesAtTheNextIdlePass)
{
    for (int i = 0; i < 41; ++i) OS.PrintMessage("Step%d", i);
    EXPECT_EQ(W().MessagePanel->GetChildCount(), 41);
    Idle();
    ASSERT_EQ(W().MessagePanel->GetChildCount(), 40);
    EXPECT_EQ(std::string(W().MessagePanel->FirstChild->GetName()), "[b]>[/b] Step40 ");
    TGui_Node* last = W().MessagePanel->FirstChild;
    while (last->Next) last = last->Next;
    EXPECT_EQ(std::string(last->GetName()), "[b]>[/b] Step1 ") << "the oldest line went";
}

TEST_F(MainWindowMessages, ALongMessageWrapsToThePanelWidthKeepingEveryWordInOrder)
{
    std::string text;
    for (int i = 0; i < 60; ++i) text += "word" + std::to_string(i) + " ";
    text += "\nafter-break";
    OS.PrintMessage("%s", text.c_str());
    std::vector<std::string> lines = PanelLines(W().MessagePanel);
    ASSERT_GT(lines.size(), 2u);
    const int available = W().MessagePanel->Width - 2 * W().MessagePanel->MarginX - 10 -
                          (W().MessagePanel->VerticalScrollBar ? W().MessagePanel->VerticalScrollBar->Width : 0);
    std::string joined;
    for (const std::string& l : lines) {
        EXPECT_LE(TGui_Node::GetStringWidth(l.c_str()), available + TGui_Node::GetStringWidth(" ")) << l;
        joined += l;
    }
    EXPECT_EQ(lines.front().rfind("[b]>[/b] word0 ", 0), 0u);
    EXPECT_EQ(lines.back(), "after-break ") << "a line break starts a new line";
    std::string expected = "[b]>[/b] ";
    for (int i = 0; i < 60; ++i) expected += "word" + std::to_string(i) + " ";
    EXPECT_EQ(joined, expected + "after-break ");
}

TEST_F(MainWindowMessages, ACommandLineIsBlueAndPushesItsCommandWhenClicked)
{
    OS.PrintMessageWithEvent(777, "%s", "Click here to see more");
    OS.WarningMessage("%s", "Careful now");
    auto* warning = W().MessagePanel->FirstChild;
    auto* line = warning->Next;
    EXPECT_EQ(std::vector<float>(warning->TextColor, warning->TextColor + 3), (std::vector<float>{1, 0, 0}));
    EXPECT_EQ(std::vector<float>(line->TextColor, line->TextColor + 3), (std::vector<float>{0, 0, 1}));
    Layout();
    ClickNode(line);
    EXPECT_EQ(Count(777), 1);
}

TEST_F(MainWindowMessages, AHintReplacesThePreviousHintAndAPercentInItShowsLiterally)
{
    W().PrintHintParam(nullptr, "%s and %d", "first hint", 1);
    W().PrintHintParam(nullptr, "%s", "100%d sure");
    EXPECT_EQ(PanelLines(W().HintPanel), std::vector<std::string>{"100%d sure "});
    std::string longHint;
    for (int i = 0; i < 1500; ++i) {
        longHint += 'w';
        longHint += std::to_string(10000 + i);
        longHint += ' ';
    }
    const std::string expected = longHint;
    W().PrintHintParam(nullptr, "%s!", longHint.c_str());
    std::string all;
    for (const std::string& l : PanelLines(W().HintPanel)) all += l;
    EXPECT_EQ(all, expected + "! ") << "a hint longer than 5000 characters is not cut";
}

TEST_F(MainWindowMessages, MessagesFromFourWorkersAllAppearInPerThreadOrderShownByTheMainThreadOnly)
{
    constexpr int Workers = 4, PerWorker = 250;
    std::vector<std::string> shown;   // main thread only
    static std::vector<std::string>* Shown = nullptr;
    Shown = &shown;
    static std::atomic<int> ShownOffMainThread{0};
    ShownOffMainThread = 0;
    // Records each text that reaches the panel (the main thread's replays),
    // then passes it on to the panel's hook.
    OS.AssignOnPrintMessage([](char* text) {
        if (OS.IsMainThread()) {
            if (!OS.IsDrawingInProgress()) Shown->push_back(text);
        }
        Kestrune_OnPrintMessage(text);
    });
    TGui_Node* panel = W().MessagePanel;
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int w = 0; w < Workers; ++w)
        threads.emplace_back([w, &done] {
            for (int i = 0; i < PerWorker; ++i) OS.PrintMessage("w%d-%d done", w, i);
            ++done;
        });
    int passes = 0;
    while (done < Workers || !W().PendingMessages().IsEmpty()) {
        Idle();
        ++passes;
        std::this_thread::yield();
        if (passes > 1000000) break;
    }
    for (auto& t : threads) t.join();
    Idle();

    ASSERT_EQ(shown.size(), size_t(Workers * PerWorker));
    std::map<int, int> next;
    for (const std::string& s : shown) {
        int w = -1, i = -1;
        ASSERT_EQ(std::sscanf(s.c_str(), "w%d-%d", &w, &i), 2) << s;
        EXPECT_EQ(i, next[w]) << "worker " << w << " out of order";
        next[w] = i + 1;
    }
    EXPECT_EQ(panel->GetChildCount(), 40);
    EXPECT_EQ(std::string(panel->FirstChild->GetName()), "[b]>[/b] " + shown.back() + " ");
    Shown = nullptr;
}

// [SECTION] Progress

TEST_F(MainWindowFrame, ProgressShowsTheTitleTheMessageAndUpToFiveDotsThenTheTitleAlone)
{
    App->SetCustomProgressMessage("Saving 100% of it");
    W().ProgressCounter = 0;
    OS.InProgress();
    std::vector<std::string> titles;
    for (int i = 0; i < 7; ++i) {
        TKSN_MainWindow::DoProgress();
        titles.push_back(W().LastMessage);
    }
    const std::string base = "Kestrune-Vessuna-Saving 100% of it";
    EXPECT_EQ(titles, (std::vector<std::string>{base + ".", base + "..", base + "...", base + "....",
                                                base + ".....", base, base + "."}));
    OS.NotInProgress();
    EXPECT_EQ(W().LastMessage, "Kestrune-Vessuna");
}

// [SECTION] Menus

TEST_F(MainWindowMenus, TheFileMenuOpensWithAltFAndEachItemRaisesItsCommand)
{
    const std::vector<int> expected = {373, 368, 377, 378, 2, 404, 405, 453, 183};
    std::vector<TGui_MenuText*> items = RealItems(W().FileMenu);
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        // A command may rebuild the menu (its refresh), so the items are
        // looked up again on every round.
        items = RealItems(W().FileMenu);
        ASSERT_EQ(items.size(), expected.size());
        SCOPED_TRACE(items[i]->GetName());
        EXPECT_TRUE(items[i]->IsEnabled());
        if (expected[i] == 2) {
            // The inter-application command runs its own callback.
            EXPECT_EQ(items[i]->ClickEvent->callback, static_cast<TQOREventFunction>(KSN_InterApp_CommandCB));
            EXPECT_EQ(items[i]->ClickEvent->GetCommand(), 2);
            continue;
        }
        Key('F', QORGLUT_MASK_ALT);
        ASSERT_TRUE(W().FileMenu->Shown);
        items = RealItems(W().FileMenu);
        Layout();
        g_RanCommands.clear();
        ClickNode(items[i]);
        // The item's command runs first; what it queues (a new project's
        // refreshes) follows.
        ASSERT_FALSE(Commands().empty());
        EXPECT_EQ(Commands().front(), expected[i]);
        // Export without an object warns and asks for the Manager tab (10).
        for (int c : Commands()) EXPECT_TRUE(c == expected[i] || c >= 299 || (expected[i] == 405 && c == 10)) << c;
        EXPECT_FALSE(W().FileMenu->Shown);
        // A dialog the item opened is closed before the next round.
        if (W().OptionsWindow->Shown) W().OptionsWindow->Hide();
    }
}

TEST_F(MainWindowMenus, UndoIsDisabledWithAnEmptyListAndEnabledAfterOneEdit)
{
    Key('E', QORGLUT_MASK_ALT);
    ASSERT_TRUE(W().EditMenu->Shown);
    EXPECT_EQ(Count(8), 1) << "the Edit menu rebuilds as it opens";
    std::vector<TGui_MenuText*> items = RealItems(W().EditMenu);
    EXPECT_FALSE(items[0]->IsEnabled());
    EXPECT_FALSE(items[1]->IsEnabled());
    EXPECT_FALSE(items[2]->IsEnabled()) << "no navigation history";
    Key(27);
    Project->SetupUndoForLayerStates("Layer change");
    ASSERT_NE(Project->UndoList, nullptr);
    Key('E', QORGLUT_MASK_ALT);
    items = RealItems(W().EditMenu);
    EXPECT_TRUE(items[0]->IsEnabled());
    EXPECT_FALSE(items[1]->IsEnabled());
    // The seven manager menus open from it and keep it open.
    for (TGui_Menu* sub : {W().ObjectsMenu, W().SelectMenu, W().MorphsMenu, W().MapsMenu, W().LayersMenu,
                           W().MaterialsMenu, W().GroupsMenu})
        EXPECT_EQ(sub->ParentMenuID, W().EditMenu->GetID());
}

TEST_F(MainWindowMenus, ViewportsIsEmptyWithoutACurrentViewportAndConfigurationRaisesTheLayouts)
{
    const int current = Project->GetCurrentViewportIndex();
    TKSN_Viewport* kept = App->viewports[current];
    App->viewports[current] = nullptr;
    Key('V', QORGLUT_MASK_ALT);
    EXPECT_TRUE(W().ViewportsMenu->Shown);
    EXPECT_EQ(W().ViewportsMenu->FirstChild, nullptr);
    Key(27);
    App->viewports[current] = kept;

    const std::vector<int> layouts = {5, 0, 1, 2, 3, 4};
    for (size_t i = 0; i < layouts.size(); ++i) {
        g_RanCommands.clear();
        Key('V', QORGLUT_MASK_ALT);
        Layout();
        TGui_MenuText* configuration = RealItems(W().ViewportsMenu)[0];
        // The mouse comes onto the item from the heading above it.
        HoverNode(W().ViewportsMenu->FirstChild);
        HoverNode(configuration);
        ASSERT_TRUE(W().ConfigurationMenu->Shown) << "the sub-menu opens on hover";
        Layout();
        TGui_MenuText* item = RealItems(W().ConfigurationMenu)[i];
        HoverNode(item);
        ClickNode(item);
        ASSERT_EQ(Count(301), 1) << i;
        EXPECT_EQ(g_RanCommands.back().Index, layouts[i]);
    }
}

TEST_F(MainWindowMenus, ShadingItemsFollowTheLayersFlagsAndLayerZeroDisablesThemAll)
{
    TGui_Menu* menu = W().AddMenu();
    SetupDisplayMenu(menu, Project->PolygonLayers[0], true, false);
    std::vector<TGui_MenuText*> items = RealItems(menu);
    ASSERT_EQ(items.size(), 6u);
    for (TGui_MenuText* item : items) EXPECT_FALSE(item->IsEnabled()) << item->GetName();

    TKSN_Layer layer(3);
    for (bool inherits : {true, false}) {
        SCOPED_TRACE(inherits);
        layer.DisplayFlags = (inherits ? TKSN_Layer::UseViewportDefault : 0) | TKSN_Layer::Smooth;
        SetupDisplayMenu(menu, &layer, true, true);
        items = RealItems(menu);
        ASSERT_EQ(items.size(), 6u);
        EXPECT_TRUE(items[0]->IsEnabled());
        EXPECT_EQ(items[0]->Pressed, inherits);
        EXPECT_EQ(items[0]->ClickEvent->intParameters[1], 1);
        for (size_t i = 1; i < items.size(); ++i) EXPECT_EQ(items[i]->IsEnabled(), !inherits);
        EXPECT_TRUE(items[1]->Pressed) << "smooth";
        EXPECT_EQ(items[1]->ClickEvent->intParameters[0], int(TKSN_Layer::Smooth));
    }

    Provider.Boxes.clear();
    const int before = menu->GetChildCount();
    SetupDisplayMenu(menu, nullptr, true, true);
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text, "Layer == NULL in LayerDisplayMenu()");
    EXPECT_EQ(menu->GetChildCount(), before) << "nothing more happens";
}

TEST_F(MainWindowMenus, TheModelTabDisablesMorphCreationAndMapsItemsFollowTheHighlight)
{
    App->SetToolTypeTab(4);
    W().UpdateMorphMenu();
    for (size_t i : {0u, 5u, 6u}) {
        TGui_MenuText* item = RealItems(W().MorphsMenu)[i];
        EXPECT_FALSE(item->IsEnabled()) << item->GetName();
        EXPECT_STREQ(item->GetHint(), Lang.GetText(101));
    }
    App->SetToolTypeTab(3);
    W().UpdateMorphMenu();
    EXPECT_TRUE(RealItems(W().MorphsMenu)[0]->IsEnabled());
    EXPECT_FALSE(RealItems(W().MorphsMenu)[2]->IsEnabled()) << "nothing highlighted: no Rename";

    W().UpdateMapsMenu();
    std::vector<TGui_MenuText*> maps = RealItems(W().MapsMenu);
    ASSERT_EQ(maps.size(), 17u);
    EXPECT_FALSE(maps.back()->IsEnabled()) << "Delete Alpha Mask";
    EXPECT_EQ(maps[6]->ClickEvent->GetCommand(), 473);
    EXPECT_EQ(maps[6]->ClickEvent->intParameters[0], 434);
    EXPECT_EQ(maps[6]->ClickEvent->idParameters[2], W().MapsMenu->GetID());
    EXPECT_FALSE(maps[2]->IsEnabled()) << "Export with no map highlighted";
    EXPECT_TRUE(maps[0]->IsEnabled());
}

TEST_F(MainWindowMenus, ANullToolListEntryIsASeparatorAndTheOthersKeepTheirIndices)
{
    struct TNamedTool : TKSN_Tool {
        explicit TNamedTool(const char* name) { SetName("%s", name); }
    } a("Alpha"), b("Beta");
    TKSN_ToolList list;
    list.Add(&a);
    list.Add(nullptr);
    list.Add(&b);
    TGui_Menu* menu = W().AddMenu();
    W().UpdateToolListMenu(menu, &list, "unused", TKSN_MainWindow::SelectMoreToolsCB);
    std::vector<TGui_MenuText*> items = Items(menu);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]->ClickEvent->GetCommand(), 0);
    EXPECT_TRUE(items[1]->IsSeparator());
    EXPECT_EQ(items[2]->ClickEvent->GetCommand(), 2);
    EXPECT_STREQ(items[2]->GetName(), "Beta");
    EXPECT_EQ(items[2]->ClickEvent->GetOwnerID(), W().GetID());
}

// [SECTION] Splash, loading, exit

TEST_F(MainWindowFrame, TheSplashCarriesTheVersionAndClosesAfterASecondOfIdleOrAtOnceOnADoubleClick)
{
    EXPECT_STREQ(W().SplashWindow->GetName(), "Kestrune-Vessuna, version 4.2.8.0");
    ASSERT_NE(W().SplashTexture, nullptr);
    EXPECT_EQ(W().SplashWindow->Width, 256);

    W().SplashWindow->Show();
    App->splashTimer.Start();
    App->splashTimer.Stop();
    App->splashTimer.SetTime(0.9);
    App->splashTimer.Continue();
    Idle();
    EXPECT_TRUE(W().SplashWindow->Shown);
    App->splashTimer.Stop();
    App->splashTimer.SetTime(1.1);
    App->splashTimer.Continue();
    QOREvents_Clean();
    Idle();
    EXPECT_FALSE(W().SplashWindow->Shown);
    EXPECT_FALSE(App->splashTimer.IsTiming());
    EXPECT_GE(CountQueued(146), 1) << "a redisplay once the splash has gone";

    // A double click closes it at once and stops the timer, so no idle pass
    // closes it a second time.
    g_RanCommands.clear();
    W().SplashWindow->Show();
    App->splashTimer.Start();
    Layout();
    HoverNode(W().SplashWindow);
    QORglut_DispatchDoubleClick(W().SplashWindow->AbsX + 20, W().SplashWindow->AbsY + 20);
    EXPECT_EQ(Count(446), 1);
    EXPECT_FALSE(W().SplashWindow->Shown);
    EXPECT_FALSE(App->splashTimer.IsTiming());
    W().SplashWindow->Show();   // shown again by hand: the idle check no longer hides it
    Idle();
    EXPECT_TRUE(W().SplashWindow->Shown);
}

TEST_F(MainWindowFrame, AFailedLoadKeepsTheOldProjectItsModeAndTheLayoutIndex)
{
    TKSN_Project* before = Project;
    Project->CreateNewObject();
    W().SetMode(3);
    const int mode = Project->GetMode();
    App->viewportLayout = 2;
    const std::filesystem::path bad = Store.Folder / "bad.Kestrune";
    std::ofstream(bad) << "not a project\n";
    for (std::string path : {bad.string(), (Store.Folder / "missing.Kestrune").string()}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(W().LoadProject(path.c_str()));
        EXPECT_EQ(Project, before);
        EXPECT_EQ(Project->GetObjectCount(), 1);
        EXPECT_EQ(Project->GetMode(), mode);
        EXPECT_EQ(App->viewportLayout, 2);
    }
}

TEST_F(MainWindowFrame, NoToTheExitQuestionKeepsRunningAndYesSavesTheSettingsBeforeEnding)
{
    Provider.Boxes.clear();
    Provider.Answers = {TOSBoxAnswer::No};
    EXPECT_EQ(TKSN_MainWindow::ExitRequested(), 0);
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text.rfind(Lang.GetText(186), 0), 0u);
    EXPECT_NE(MainWindow, nullptr);
    EXPECT_TRUE(App->running);

    // The ending process is a fresh run of this test (the store's writer
    // thread cannot be forked); it saves into this run's folder, which it
    // finds in its environment.
    // (The fresh run passes here too, and keeps the folder it inherited.)
    if (!std::getenv("KSN_GUI_EXIT_FOLDER")) ::setenv("KSN_GUI_EXIT_FOLDER", (Store.Folder / "exit").c_str(), 1);
    const std::filesystem::path folder = std::getenv("KSN_GUI_EXIT_FOLDER");
    std::filesystem::create_directories(folder);
    const std::filesystem::path settings = folder / std::filesystem::path(App->GetSettingsFileName()).filename();
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::snprintf(App->userDataPath, sizeof App->userDataPath, "%s/", std::getenv("KSN_GUI_EXIT_FOLDER"));
            std::filesystem::remove_all(Home);   // the ending run leaves no folder of its own behind
            Provider.Answers = {TOSBoxAnswer::Yes};
            TKSN_MainWindow::ExitRequested();
        },
        ::testing::ExitedWithCode(0), "");
    ::unsetenv("KSN_GUI_EXIT_FOLDER");
    EXPECT_TRUE(std::filesystem::exists(settings)) << "the settings were saved on the way out";
}

// [SECTION] CR2 wizard

TEST_F(MainWindowFrame, TheWizardsPicturesRaiseTheirChoicesBesideTextsAtTheMargin)
{
    TKSN_CR2ExportWindow* wizard = W().CR2ExportWindow;
    EXPECT_STREQ(wizard->GetName(), "CR2 Export Wizard");
    EXPECT_FALSE(wizard->Shown);
    ASSERT_EQ(wizard->MarginX, 4);
    const int commands[3] = {143, 144, 145}, tops[3] = {30, 158, 286};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(wizard->Pictures[i]->ClickEvent->GetCommand(), commands[i]);
        EXPECT_EQ(wizard->Pictures[i]->X, 4);
        EXPECT_EQ(wizard->Pictures[i]->Y, tops[i]);
        EXPECT_EQ(wizard->Pictures[i]->Width, 256);
        EXPECT_NE(wizard->Pictures[i]->GetGraphic(), nullptr) << "the picture is in the graphics";
    }
    std::vector<TGui_Text*> beside;
    for (TGui_Node* c = wizard->FirstChild; c; c = c->Next)
        if (auto* t = dynamic_cast<TGui_Text*>(c); t && t->X != 4) beside.push_back(t);
    ASSERT_EQ(beside.size(), 2u + 5u + 6u);
    for (TGui_Text* t : beside) EXPECT_EQ(t->X, 264);
    EXPECT_EQ(beside[0]->Y, 30);
    EXPECT_STREQ(beside[0]->GetName(), "Simple Morph(s)");
    EXPECT_EQ(beside[1]->Y, 30 + beside[0]->Height);

    // Choosing New Character sets all three options and starts the export.
    // The export list as start-up fills it in part: the choice selects the
    // "CR2" row by name, not the second row ("OBJ").
    for (const char* type : {"Maps", "OBJ", "CR2"}) {
        auto* copy = static_cast<char*>(QORalloc(std::strlen(type) + 1));
        std::memcpy(copy, type, std::strlen(type) + 1);
        App->exportFileTypes->Add(copy);
    }
    wizard->Execute();
    Layout();
    ClickNode(wizard->Pictures[2]);
    EXPECT_EQ(Count(145), 1);
    EXPECT_EQ(Count(405) + CountQueued(405), 1) << "the export is started";
    EXPECT_TRUE(Project->CR2AutoRig && Project->CR2SaveNewOBJ && Project->CR2SetupFullBodyMorphs);
    EXPECT_EQ(App->exportFileTypesIndex, 2);
    EXPECT_FALSE(wizard->Shown);
}

// [SECTION] Idle work and new projects

TEST_F(MainWindowFrame, IdleWorkWaitsForRestingInputAndTheSaveReminderCountsOnlyVisibleTimeWithoutAHeldButton)
{
    auto remindAfter = [](double seconds) {
        App->saveReminderTimer.Stop();
        App->saveReminderTimer.SetTime(seconds);
        App->saveReminderTimer.Continue();
    };
    // Right after an input nothing idle happens.
    remindAfter(301);
    App->inputTimer.Start();
    QORglut_DispatchIdle();
    EXPECT_EQ(CountQueued(402), 0);

    // A held button keeps the reminder back.
    auto* probe = new TProbe(&W(), 300, 300);
    Press(310, 310);
    ASSERT_EQ(W().GetOnMouseDownNode(), probe);
    remindAfter(301);
    Idle();
    EXPECT_EQ(CountQueued(402), 0);
    Release(310, 310);

    remindAfter(299);
    Idle();
    EXPECT_EQ(CountQueued(402), 0);
    remindAfter(301);
    Idle();
    EXPECT_EQ(CountQueued(402), 1);
    EXPECT_LT(App->saveReminderTimer.Read(), 1.0) << "the reminder starts counting again";
    // The queued reminder itself stops the timer when it runs; that is the
    // file commands' business, not the window's.
    QOREvents_Clean();

    // A minimised window stops the count; showing it again continues it.
    QORglut_DispatchIconize(true);
    EXPECT_FALSE(App->saveReminderTimer.IsTiming());
    QORglut_DispatchIconize(false);
    EXPECT_TRUE(App->saveReminderTimer.IsTiming());
}

TEST_F(MainWindowFrame, ANewProjectAsksOnlyWhenTheOldOneHoldsMeshesOrMaps)
{
    // (Projects are told apart by content: a new one may reuse the old address.)
    auto mapCount = [] {
        std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
        return maps ? maps->Count() : 0;
    };
    Project->CreateNewObject();   // an object without a mesh
    Provider.Boxes.clear();
    W().NewProject();
    EXPECT_TRUE(Provider.Boxes.empty());
    EXPECT_EQ(Project->GetObjectCount(), 0) << "replaced without asking";
    EXPECT_EQ(CountQueued(299), 1);

    ASSERT_NE(Project->CreateMapSource(), nullptr);
    Provider.Answers = {TOSBoxAnswer::No};
    W().NewProject();
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text.rfind(Lang.GetText(388), 0), 0u);
    EXPECT_EQ(mapCount(), 1) << "No keeps the project";
    Provider.Answers = {TOSBoxAnswer::Yes};
    W().NewProject();
    EXPECT_EQ(mapCount(), 0);
}

TEST_F(MainWindowFrame, ACallbackWithoutTheMainWindowNamesTheSourceAndEndsTheProgram)
{
    // The ending run tells what its box said on its error stream.
    struct TSayingProvider : TScriptedProvider {
        TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char* text, bool) override
        {
            std::fprintf(stderr, "BOX: %s\n", text);
            return TOSBoxAnswer::Ok;
        }
    };
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (void (*raise)() : {+[] { QORglut_DispatchReshape(900, 700); }, +[] { QORglut_DispatchMouseWheel(1, 5, 5); }}) {
        EXPECT_EXIT(
            {
                static TSayingProvider saying;
                OS.SetDialogProvider(&saying);
                MainWindow = nullptr;   // the window object is left to the ending process
                raise();
            },
            ::testing::ExitedWithCode(1), "BOX: MainWindow = NULL at .*KSN_MainWindow.*\\.cpp,[0-9]+");
    }
}

TEST_F(MainWindowMenus, TheLayersMenuFollowsTheCurrentLayerAndTheHighlightedCount)
{
    W().UpdateLayersMenu();
    TKSN_Layer* all = Project->PolygonLayers[0];
    ASSERT_NE(W().LayersMenu->FirstChild, nullptr);
    EXPECT_EQ(std::string(W().LayersMenu->FirstChild->GetName()), QORFormat(Lang.GetText(1331), all->GetName()));
    std::vector<TGui_MenuText*> items = RealItems(W().LayersMenu);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_TRUE(items[0]->IsEnabled());
    EXPECT_FALSE(items[1]->IsEnabled()) << "layer 0 cannot be renamed";
    EXPECT_FALSE(items[2]->IsEnabled());
    std::vector<TGui_MenuText*> operations = RealItems(W().LayerOperationsMenu);
    ASSERT_EQ(operations.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(operations[i]->IsEnabled(), i >= 4) << operations[i]->GetName();

    for (int n : {1, 2}) {
        Project->PolygonLayers[n]->Enable();
        Project->PolygonLayers[n]->multiSelected = true;
    }
    Project->ChangeLayer(2, false);
    Project->PolygonLayers[1]->multiSelected = true;
    Project->PolygonLayers[2]->multiSelected = true;
    all->multiSelected = false;
    W().UpdateLayersMenu();
    TKSN_Layer* current = Project->GetCurrentLayer();
    ASSERT_EQ(current, Project->PolygonLayers[2]);
    EXPECT_EQ(std::string(W().LayersMenu->FirstChild->GetName()),
              QORFormat(Lang.GetText(1347), current->GetName(), 2));
    items = RealItems(W().LayersMenu);
    EXPECT_TRUE(items[1]->IsEnabled());
    EXPECT_TRUE(items[2]->IsEnabled());
    operations = RealItems(W().LayerOperationsMenu);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(operations[i]->IsEnabled());
        EXPECT_EQ(operations[i]->ClickEvent->GetIndex(), 2) << "the current layer's index";
    }
}

TEST_F(MainWindowMenus, TheSelectMenuAsAManagerPopUpEndsAfterDuplicate)
{
    W().UpdateSelectionMenu(false, false);
    std::vector<TGui_MenuText*> popup = RealItems(W().SelectMenu);
    ASSERT_EQ(popup.size(), 7u);
    EXPECT_EQ(popup.back()->ClickEvent->GetCommand(), 248);
    EXPECT_FALSE(popup.back()->IsEnabled()) << "nothing highlighted";
    EXPECT_TRUE(popup[4]->IsEnabled()) << "Replace Selection";

    W().SelectMenu->Popup(nullptr, 100, 100);   // as from the Edit menu: the refresh adds the operations
    KestruneEvents_ProcessEvents();
    std::vector<TGui_MenuText*> full = RealItems(W().SelectMenu);
    ASSERT_EQ(full.size(), 15u);
    EXPECT_EQ(full.back()->ClickEvent->GetCommand(), 238);
}
