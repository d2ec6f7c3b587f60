// Input dispatch driven through the real GLUT-like layer: the dispatch
// functions reach the blank application's callbacks and the master. Time is
// the master's stopped clock, set by each step.
#include "GuiFont.h"
#include "GuiHint.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "QOREvents.h"
#include "QORglut.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// Records what the master delivers, in order.
struct TRecorder : TGui_Node {
    explicit TRecorder(TGui_Node* parent, int x = 0, int y = 0, int w = 50, int h = 30) : TGui_Node(parent)
    {
        SetPosition(x, y);
        SetSize(w, h);
        ShowName = false;
    }
    std::vector<std::string> Log;
    bool WantsDoubleClicks = true;
    bool OnClick(int x, int y) override
    {
        Log.push_back("click");
        return TGui_Node::OnClick(x, y);
    }
    bool OnRightClick(int, int) override
    {
        Log.push_back("right");
        return false;
    }
    bool OnDoubleClick(int, int) override
    {
        Log.push_back("double");
        return false;
    }
    void OnMouse(int button, int state, int, int) override
    {
        Log.push_back("mouse " + std::to_string(button) + " " + std::to_string(state));
    }
    bool OnMotion(int, int) override
    {
        Log.push_back("motion");
        return true;
    }
    bool OnKeyPress(unsigned char key) override
    {
        Log.push_back(std::string("key ") + char(key));
        return false;
    }
    bool DoDoubleClick() override { return WantsDoubleClicks; }
    std::string Joined() const
    {
        std::string s;
        for (const std::string& e : Log) s += (s.empty() ? "" : ", ") + e;
        return s;
    }
};

class GuiInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        QORglut_SetModifiers(false, false, false, false);
        App = std::make_unique<TGui_BlankApp>(QORglutGetWindow(), nullptr);
        QORglut_DispatchReshape(800, 600);
        App->Clock.Stop();
        At(10.0);
    }
    void TearDown() override
    {
        App.reset();
        QORglut_ClearAllCallbacks();
        QORglut_SetModifiers(false, false, false, false);
        QOREvents_Clean();
    }
    void At(double t) { App->Clock.SetTime(t); }
    void Layout() { App->LayoutTree(); }
    void Press(int x, int y, int button = 0)
    {
        Layout();
        QORglut_DispatchMouseDown(button, false, x, y);
    }
    void Release(int x, int y) { QORglut_DispatchMouseUp(x, y); }
    void Click(int x, int y, int button = 0)
    {
        Press(x, y, button);
        Release(x, y);
    }
    void Drag(int x, int y)
    {
        DrawCalledAfterOnMotion = true;   // one motion per painted frame
        QORglut_DispatchMouseMove(x, y, true);
    }
    void Hover(int x, int y)
    {
        Layout();
        QORglut_DispatchMouseMove(x, y, false);
    }
    // A key as the toolkit host delivers it: key-down, then the character.
    void Key(int code, int mask = 0)
    {
        Layout();
        QORglut_DispatchKeyDown(code, mask);
        QORglut_DispatchChar(code, mask);
    }
    static int CountEvents(int command)
    {
        int n = 0;
        for (int i = 0; i < QOREvents_GetEventCount(); ++i)
            if (QOREvents_PeekEvent(i)->GetCommand() == command) ++n;
        return n;
    }
    TGui_Menu* OpenMenu(TGui_Node* opener, int x, int y)
    {
        TGui_Menu* menu = App->AddMenu();
        menu->AddTextItem("One", new TQOREvent(501), nullptr);
        menu->AddTextItem("Two", new TQOREvent(502), nullptr);
        Layout();
        menu->Popup(opener, x, y);
        Layout();
        return menu;
    }

    std::unique_ptr<TGui_BlankApp> App;
};

// [SECTION] Clicks

TEST_F(GuiInputTest, QuickClicksBecomeDoubleClicksOnlyWithinTimeAndDistance)
{
    struct TStep {
        double Time;
        int PressDx, ReleaseDx;   // pixels from (20, 20)
    };
    struct TCase {
        const char* Name;
        std::vector<TStep> Steps;
        const char* Expected;
    };
    const TCase cases[] = {
        {"two quick clicks", {{10.0, 0, 0}, {10.1, 0, 0}}, "click, double"},
        {"a 5-pixel move in the second", {{10.0, 0, 0}, {10.1, 0, 5}}, "click, click"},
        {"a 4-pixel move still counts", {{10.0, 0, 0}, {10.1, 0, 4}}, "click, double"},
        {"a third quick click", {{10.0, 0, 0}, {10.1, 0, 0}, {10.15, 0, 0}}, "click, double, double"},
        {"too slow", {{10.0, 0, 0}, {10.25, 0, 0}}, "click, click"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto* node = new TRecorder(App.get(), 10, 10);
        for (const TStep& s : c.Steps) {
            At(s.Time);
            Press(20 + s.PressDx, 20);
            Release(20 + s.ReleaseDx, 20);
        }
        std::string got;
        for (const std::string& e : node->Log)
            if (e.rfind("mouse", 0) != 0) got += (got.empty() ? "" : ", ") + e;
        EXPECT_EQ(got, c.Expected);
        node->DeletePending = true;
        Layout();
    }
}

TEST_F(GuiInputTest, AReleaseOutsideGivesBothMouseCallsButNoClickUnlessAnywhere)
{
    for (bool anywhere : {false, true}) {
        SCOPED_TRACE(anywhere);
        auto* node = new TRecorder(App.get(), 10, 10);
        node->ClickOnReleaseAnywhere = anywhere;
        Press(20, 20);
        Release(200, 200);
        EXPECT_EQ(node->Joined(), anywhere ? "mouse 0 0, mouse 0 1, click" : "mouse 0 0, mouse 0 1");
        node->DeletePending = true;
        Layout();
    }
}

TEST_F(GuiInputTest, ARightPressWhileTheLeftIsHeldChangesNothing)
{
    auto* left = new TRecorder(App.get(), 10, 10);
    auto* right = new TRecorder(App.get(), 100, 10);
    Press(20, 20, 0);
    Press(110, 20, 2);
    EXPECT_TRUE(right->Log.empty());
    EXPECT_EQ(App->GetOnMouseDownNode(), left);
    // The window layer reports the latest press's button (2) with the release;
    // the press under way is the left one.
    Release(20, 20);
    EXPECT_EQ(left->Joined(), "mouse 0 0, mouse 0 1, click");
    EXPECT_TRUE(right->Log.empty());
}

TEST_F(GuiInputTest, ALostReleaseIsMadeUpAtTheNextPassiveMotion)
{
    auto* node = new TRecorder(App.get(), 10, 10);
    Press(20, 20);
    Hover(21, 21);
    EXPECT_EQ(node->Joined(), "mouse 0 0, mouse 0 1, click");
    EXPECT_EQ(App->GetOnMouseDownNode(), nullptr);
}

TEST_F(GuiInputTest, ADragAndDropStartsBeyondTenPixelsForTheLeftButtonOnADraggableNode)
{
    struct TCase {
        int Distance, Button;
        bool Draggable, Starts;
    };
    const TCase cases[] = {
        {10, 0, true, false}, {11, 0, true, true}, {11, 2, true, false}, {11, 0, false, false}, {30, 0, true, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Distance) + " " + std::to_string(c.Button) + " " + std::to_string(c.Draggable));
        auto* node = new TRecorder(App.get(), 10, 10, 40, 40);
        node->Draggable = c.Draggable;
        Press(20, 20, c.Button);
        Drag(20 + c.Distance, 20);
        EXPECT_EQ(App->IsDragDropping(), c.Starts);
        if (c.Starts) {
            EXPECT_EQ(App->DragGrabX, 20);
            EXPECT_EQ(App->DragGrabY, 20);
        }
        Release(20 + c.Distance, 20);
        EXPECT_FALSE(App->IsDragDropping());
        node->DeletePending = true;
        Layout();
    }
}

TEST_F(GuiInputTest, ADroppedListRowArrivesAsTheListsStringAndItsIndex)
{
    auto* list = new TGui_ListBox(App.get());
    list->SetPosition(10, 10);
    list->SetSize(200, 200);
    std::snprintf(list->DragDropString, sizeof list->DragDropString, "%s", "Maps");
    list->ItemsDraggable = true;
    for (const char* name : {"a", "b", "c", "d"}) list->AddItem(name, 0);
    auto* target = new TRecorder(App.get(), 400, 10, 100, 100);
    target->DragDropEvent = new TQOREvent(777);
    Layout();
    TGui_Node* row = list->FirstChild;
    for (int i = 0; i < 3; ++i) row = row->Next;
    int x = row->AbsX + 5, y = row->AbsY + 2;
    Press(x, y);
    Drag(x + 50, y);
    Drag(450, 50);
    Release(450, 50);
    ASSERT_EQ(CountEvents(777), 1);
    for (int i = 0; i < QOREvents_GetEventCount(); ++i) {
        if (QOREvents_PeekEvent(i)->GetCommand() == 777) {
            EXPECT_STREQ(QOREvents_PeekEvent(i)->GetStringParameter(0), "Maps 3");
        }
    }
}

TEST_F(GuiInputTest, WithAModalWindowUpAClickOutsidePressesNothingButClosesMenus)
{
    auto* outside = new TRecorder(App.get(), 10, 500, 50, 30);
    auto* dialog = new TGui_Window(App.get());
    dialog->SetSize(200, 100);
    auto* inside = new TRecorder(dialog, 10, 10);
    dialog->Execute();
    TGui_Menu* menu = OpenMenu(nullptr, 600, 400);
    ASSERT_TRUE(menu->Shown);
    Press(20, 510);
    EXPECT_EQ(App->MouseOverNodeID, 0u);
    EXPECT_EQ(App->GetOnMouseDownNode(), nullptr);
    Release(20, 510);
    EXPECT_TRUE(outside->Log.empty());
    EXPECT_FALSE(menu->Shown);
    Layout();
    Click(inside->AbsX + 5, inside->AbsY + 5);
    EXPECT_EQ(inside->Joined(), "mouse 0 0, mouse 0 1, click") << "the modal window itself still works";
}

TEST_F(GuiInputTest, EnterAndExitFollowThePassiveMouse)
{
    auto* a = new TRecorder(App.get(), 10, 10);
    auto* b = new TRecorder(App.get(), 100, 10);
    a->HighlightOnMouseOver = b->HighlightOnMouseOver = true;
    Hover(5, 5);   // the canvas itself
    Hover(20, 20);
    EXPECT_TRUE(a->MouseOver);
    Hover(110, 20);
    EXPECT_FALSE(a->MouseOver);
    EXPECT_TRUE(b->MouseOver);
    EXPECT_EQ(App->GetMouseOverNode(), b);
    EXPECT_EQ(App->MouseOverX, 10);
}

// [SECTION] Nodes deleted between events

TEST_F(GuiInputTest, InputForANodeThatIsGoneIsIgnored)
{
    enum class TGone { Pressed, Hovered, Focused, Dragged };
    for (TGone gone : {TGone::Pressed, TGone::Hovered, TGone::Focused, TGone::Dragged}) {
        SCOPED_TRACE(int(gone));
        auto* node = new TRecorder(App.get(), 10, 10, 40, 40);
        node->Draggable = true;
        node->NoFocus = false;
        auto* target = new TRecorder(App.get(), 300, 10, 40, 40);
        target->DragDropEvent = new TQOREvent(778);
        switch (gone) {
        case TGone::Pressed: Press(20, 20); break;
        case TGone::Hovered: Hover(20, 20); break;
        case TGone::Focused: App->SetActiveNode(node); break;
        case TGone::Dragged:
            Press(20, 20);
            Drag(60, 20);
            ASSERT_TRUE(App->IsDragDropping());
            break;
        }
        node->DeletePending = true;
        Layout();
        EXPECT_EQ(App->GetOnMouseDownNode(), nullptr);
        EXPECT_EQ(App->GetMouseOverNode() == nullptr || App->GetMouseOverNode() == App.get(), true);
        Drag(310, 20);
        Hover(311, 21);
        Key('a');
        QORglut_DispatchChar(QORGLUT_KEY_DOWN, 0);
        Release(310, 20);
        App->ProcessMouseWheel(1);
        App->ProcessDoubleClick(310, 20, 0);
        EXPECT_EQ(CountEvents(778), 0) << "nothing dropped from a node that is gone";
        EXPECT_FALSE(App->IsDragDropping());
        target->DeletePending = true;
        Layout();
    }
}

// [SECTION] Keys and hot keys

TEST_F(GuiInputTest, EscapeHidesAFloatingHintFirstThenClosesMenus)
{
    auto* opener = App->AddButton("Open", 10, 10, nullptr);
    TGui_Menu* menu = OpenMenu(opener, 10, 40);
    App->PrintHint(opener, "A hint");
    ASSERT_TRUE(App->HintNode->Shown);
    Key(27);
    EXPECT_FALSE(App->HintNode->Shown);
    EXPECT_TRUE(menu->Shown);
    Key(27);
    EXPECT_FALSE(menu->Shown);
}

TEST_F(GuiInputTest, AFocusedEditFieldBlocksEveryHotKey)
{
    TGui_MenuBar* bar = App->AddMenuBar();
    TGui_Menu* fileMenu = App->AddMenu();
    fileMenu->AddTextItem("Open", new TQOREvent(601), nullptr);
    TGui_Button* title = bar->AddMenuButton(fileMenu, "[u]F[/u]ile", 0, 0, nullptr);
    title->HotKey = 'f';
    title->HotKeyAnyModifiers = true;
    new TGui_HotKeyNode(App.get(), 'g', 0, new TQOREvent(602), 0, false);
    auto* field = new TGui_EditField(App.get());
    field->NoFocus = false;
    App->SetActiveNode(field);
    Key('f');
    Key('g');
    EXPECT_FALSE(fileMenu->Shown);
    EXPECT_EQ(CountEvents(602), 0);
    App->SetActiveNode(nullptr);
    Key('g');
    EXPECT_EQ(CountEvents(602), 1);
    Key('f');
    EXPECT_TRUE(fileMenu->Shown) << "the title's hot key opens its menu";
}

TEST_F(GuiInputTest, AnOpenMenuSwallowsAKeyThatMatchesNoItem)
{
    new TGui_HotKeyNode(App.get(), 'q', 0, new TQOREvent(603), 0, false);
    TGui_Menu* menu = OpenMenu(nullptr, 100, 100);
    Key('q');
    EXPECT_EQ(CountEvents(603), 0);
    menu->Hide();
    Key('q');
    EXPECT_EQ(CountEvents(603), 1);
}

TEST_F(GuiInputTest, HotKeysMatchByLetterCaseBackspaceAndModifiers)
{
    struct TCase {
        const char* Name;
        unsigned char HotKey;
        int HotModifiers;
        bool IgnoreShift;
        int Code, Mask;   // the key as the toolkit host sends it
        bool Fires;
    };
    const TCase cases[] = {
        {"lower-case binding, capital typed", 'k', 0, false, 'K', 0, true},
        {"capital binding, lower-case typed", 'K', 0, false, 'k', 0, true},
        {"Backspace matches Delete", 127, 0, false, 8, 0, true},
        {"Delete matches Delete", 127, 0, false, 127, 0, true},
        {"another key", 'k', 0, false, 'j', 0, false},
        {"Ctrl+K on a Ctrl binding", 'k', 2, false, 'K', QORGLUT_MASK_CONTROL, true},
        {"Ctrl+Shift+K on a Ctrl binding", 'k', 2, false, 'K', QORGLUT_MASK_CONTROL | QORGLUT_MASK_SHIFT, false},
        {"Ctrl+Shift+K ignoring Shift", 'k', 2, true, 'K', QORGLUT_MASK_CONTROL | QORGLUT_MASK_SHIFT, true},
        {"plain K on a Ctrl binding", 'k', 2, false, 'k', 0, false},
        {"Alt+K on a Ctrl binding", 'k', 2, false, 'k', QORGLUT_MASK_ALT, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto* node = new TGui_HotKeyNode(App.get(), c.HotKey, 0, new TQOREvent(604), c.HotModifiers, c.IgnoreShift);
        Key(c.Code, c.Mask);
        EXPECT_EQ(CountEvents(604), c.Fires ? 1 : 0);
        QOREvents_Clean();
        node->DeletePending = true;
        Layout();
    }
}

TEST_F(GuiInputTest, SpecialHotKeysFireOnHiddenAndDisabledNodes)
{
    struct TCase {
        bool Shown, Enabled;
    };
    for (TCase c : {TCase{true, true}, TCase{false, true}, TCase{true, false}, TCase{false, false}}) {
        SCOPED_TRACE(std::to_string(c.Shown) + std::to_string(c.Enabled));
        auto* node = new TGui_HotKeyNode(App.get(), 0, QORGLUT_KEY_F1, new TQOREvent(605), 0, false);
        node->Shown = c.Shown;
        node->SetEnabled(c.Enabled);
        Key(QORGLUT_KEY_F1);
        EXPECT_EQ(CountEvents(605), 1);
        QOREvents_Clean();
        node->DeletePending = true;
        Layout();
    }
    // Plain hot keys do need a shown, enabled node.
    auto* plain = new TGui_HotKeyNode(App.get(), 'p', 0, new TQOREvent(606), 0, false);
    plain->SetEnabled(false);
    Key('p');
    EXPECT_EQ(CountEvents(606), 0);
}

TEST_F(GuiInputTest, TheFocusedNodeGetsKeysFirstAndAModalWindowBlocksTopLevelHotKeys)
{
    new TGui_HotKeyNode(App.get(), 'h', 0, new TQOREvent(607), 0, false);
    auto* dialog = new TGui_Window(App.get());
    auto* field = new TRecorder(dialog, 10, 10);
    field->NoFocus = false;
    dialog->Execute();
    EXPECT_EQ(App->GetActiveNode(), field);
    Key('h');
    EXPECT_EQ(field->Joined(), "key h");
    EXPECT_EQ(CountEvents(607), 0);
    dialog->Hide();
    Key('h');
    EXPECT_EQ(CountEvents(607), 1);
}

} // namespace
