// Buttons, check boxes, menus and windows without GL: live variables, pop-up
// placement, menu placement, sub-menus, scrolling and arrow keys, the modal
// stack, centring, title-bar moves and the close button. Input goes through
// the master's entry points with the master's clock stopped.
#include "GuiFont.h"
#include "GuiHint.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORMemory.h"
#include "QORglut.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

class GuiWidgetsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        Master = std::make_unique<TGui_Master>();
        Master->Reshape(800, 600);
        Master->Clock.Stop();
        Master->Clock.SetTime(10.0);
    }
    void TearDown() override
    {
        Master.reset();
        QOREvents_Clean();
    }
    void Layout() { Master->LayoutTree(); }
    void Click(int x, int y, int button = 0)
    {
        Layout();
        Master->ProcessMouseButton(button, 0, x, y, 0);
        Master->ProcessMouseButton(button, 1, x, y, 0);
    }
    void ClickNode(TGui_Node* n)
    {
        Layout();
        Click(n->AbsX + n->Width / 2, n->AbsY + n->Height / 2);
    }
    // Enter notices need a node the mouse came from: start on the bare canvas.
    void HoverFromCanvas(int x, int y)
    {
        Layout();
        Master->ProcessPassiveMouseMotion(799, 599);
        Master->ProcessPassiveMouseMotion(x, y);
    }
    static int CountEvents(int command)
    {
        int n = 0;
        for (int i = 0; i < QOREvents_GetEventCount(); ++i)
            if (QOREvents_PeekEvent(i)->GetCommand() == command) ++n;
        return n;
    }

    std::unique_ptr<TGui_Master> Master;
};

// A live boolean variable as the application binds it.
int Variable = 0;
int Writes = 0;
bool BoolVariable(TQOREvent* e)
{
    if (e->operationMode == 0) {
        e->intParameters[0] = Variable;
    } else {
        Variable = e->intParameters[0];
        ++Writes;
    }
    return true;
}

// [SECTION] Buttons

TEST_F(GuiWidgetsTest, ACheckBoxReadsAnyNonZeroVariableAsCheckedAndWritesItsClick)
{
    TGui_CheckBox* box = Master->AddCheckBox("Wire", 10, 10, nullptr);
    box->BoolVariableEvent = new TQOREvent(BoolVariable, 0, 0);
    box->ClickEvent = new TQOREvent(700);
    Variable = 5;
    Writes = 0;
    Layout();
    EXPECT_TRUE(box->Pressed);
    ClickNode(box);
    EXPECT_FALSE(box->Pressed);
    EXPECT_EQ(Variable, 0);
    EXPECT_EQ(Writes, 1);
    ASSERT_EQ(CountEvents(700), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->intParameters[0], 0) << "the queued click carries the new state";
    Variable = 0;
    Layout();
    EXPECT_FALSE(box->Pressed);
}

TEST_F(GuiWidgetsTest, ButtonModesDecideWhatAClickDoesToTheState)
{
    struct TCase {
        int Mode;
        bool Before, After;
    };
    for (TCase c : {TCase{0, false, false}, TCase{1, false, true}, TCase{1, true, false}, TCase{2, true, true},
                    TCase{2, false, false}}) {
        SCOPED_TRACE(std::to_string(c.Mode) + " " + std::to_string(c.Before));
        TGui_Button* b = Master->AddButton("B", 10, 10, nullptr);
        b->ButtonMode = c.Mode;
        b->Pressed = c.Before;
        b->ClickEvent = new TQOREvent(701);
        ClickNode(b);
        EXPECT_EQ(b->Pressed, c.After);
        EXPECT_EQ(CountEvents(701), 1) << "every mode queues its click";
        QOREvents_Clean();
        b->DeletePending = true;
        Layout();
    }
}

TEST_F(GuiWidgetsTest, APushButtonIsPressedOnlyWhileTheLeftButtonIsDown)
{
    TGui_Button* b = Master->AddButton("B", 10, 10, nullptr);
    Layout();
    Master->ProcessMouseButton(0, 0, 15, 15, 0);
    EXPECT_TRUE(b->Pressed);
    Master->ProcessMouseButton(0, 1, 300, 300, 0);
    EXPECT_FALSE(b->Pressed);
}

TEST_F(GuiWidgetsTest, PopupPlacementsKeepMenusOnTheCanvas)
{
    struct TCase {
        int Placement, BX, BY;
        int ExpX, ExpY;
    };
    // Button 40 x 20; menu 100 x 60 (after its own layout); canvas 800 x 600.
    const TCase cases[] = {
        {0, 100, 100, 100, 120},
        {1, 100, 100, 140, 80},
        {1, 700, 100, 600, 80},    // no room on the right, room on the left
        {1, 100, 300, 140, 280},
        {4, 701, 100, 601, 100},   // bx - mw > 0: flips
        {3, 100, 10, 140, 0},      // would start above the top edge
        {3, 100, 200, 140, 160},
        {5, 100, 100, 100, 40},
        {5, 100, 30, 100, 50},     // no room above: below
        {2, 300, 100, 200, 100},
        {2, 50, 100, 90, 100},     // no room on the left: right
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Placement) + " " + std::to_string(c.BX) + "," + std::to_string(c.BY));
        TGui_Menu* menu = Master->AddMenu();
        menu->MinMenuHeight = 60;
        menu->AddTextItem("Item", nullptr, nullptr);
        TGui_Button* b = Master->AddButton("B", c.BX, c.BY, nullptr);
        b->AutoSize = false;
        b->SetSize(40, 20);
        b->SetPopupMenu(menu);
        b->PopupPlacement = c.Placement;
        Layout();
        ASSERT_EQ(menu->Width, 100);
        ASSERT_EQ(menu->Height, 60);
        b->DoPopupMenu();
        EXPECT_TRUE(menu->Shown);
        EXPECT_EQ(menu->X, c.ExpX);
        EXPECT_EQ(menu->Y, c.ExpY);
        menu->DeletePending = b->DeletePending = true;
        Layout();
    }
}

TEST_F(GuiWidgetsTest, PlacementOneStaysRightWhenTheLeftHasNoRoomEither)
{
    // A menu wider than the space on both sides: bx - mw <= 0 keeps it right
    // (the menu's own placement then pulls it back inside the canvas).
    TGui_Menu* menu = Master->AddMenu();
    menu->MinMenuWidth = 700;
    menu->AddTextItem("Item", nullptr, nullptr);
    TGui_Button* b = Master->AddButton("B", 700, 100, nullptr);
    b->SetPopupMenu(menu);
    b->PopupPlacement = 1;
    Layout();
    b->DoPopupMenu();
    EXPECT_EQ(menu->X, 800 - 10 - 700) << "not flipped to 700 - 700 = 0";
}

TEST_F(GuiWidgetsTest, ACheckBoxCentresItsBoxButNeverAboveTheTop)
{
    struct TCase {
        int Height, BoxY;
    };
    for (TCase c : {TCase{8, 0}, TCase{10, 0}, TCase{11, 0}, TCase{12, 0}, TCase{16, 2}, TCase{17, 2}}) {
        SCOPED_TRACE(c.Height);
        TGui_CheckBox box(nullptr);
        box.AutoSize = false;
        box.Height = c.Height;
        EXPECT_EQ(box.BoxY(), c.BoxY);
    }
}

TEST_F(GuiWidgetsTest, AButtonWithAGraphicSizesToItAndForgetsAStaleOne)
{
    auto* pixels = static_cast<unsigned char*>(QORalloc(24 * 18 * 3));
    auto* texture = new TQORglutTexture(pixels, 24, 18, false);
    TGui_Button* b = Master->AddButton("Caption", 0, 0, nullptr);
    b->SetGraphic(texture);
    Layout();
    EXPECT_EQ(b->Width, 24);
    EXPECT_EQ(b->Height, 18);
    delete texture;
    Layout();
    EXPECT_EQ(b->GraphicID, 0u);
    EXPECT_EQ(b->Width, 2 * (b->BorderWidth + b->MarginX) + b->NameWidth);
}

// [SECTION] Menus

TEST_F(GuiWidgetsTest, AnUnderlinedLetterBecomesAHotKeyWithAnyModifiers)
{
    TGui_Menu* menu = Master->AddMenu();
    TGui_MenuText* item = menu->AddTextItem("[u]F[/u]ile", new TQOREvent(710), nullptr);
    EXPECT_EQ(item->HotKey, 'f');
    EXPECT_TRUE(item->HotKeyAnyModifiers);
    for (int mods : {0, 1, 2, 3}) {
        SCOPED_TRACE(mods);
        menu->Popup(nullptr, 10, 10);
        Layout();
        Master->ProcessKey(mods & 1 ? 'F' : 'f', 0, 0, mods);
        EXPECT_EQ(CountEvents(710), 1);
        EXPECT_FALSE(menu->Shown) << "the item's click closes the menu";
        QOREvents_Clean();
    }
}

TEST_F(GuiWidgetsTest, ASeparatorIsNeitherHighlightedNorClickable)
{
    TGui_Menu* menu = Master->AddMenu();
    TGui_MenuText* first = menu->AddTextItem("First", new TQOREvent(711), nullptr);
    TGui_MenuText* line = menu->AddTextItem("-", new TQOREvent(712), nullptr);
    menu->Popup(nullptr, 100, 100);
    Layout();
    HoverFromCanvas(first->AbsX + 3, first->AbsY + 3);
    EXPECT_TRUE(first->Selected);
    Master->ProcessPassiveMouseMotion(line->AbsX + 3, line->AbsY + 3);
    EXPECT_FALSE(line->Selected);
    EXPECT_FALSE(first->Selected);
    ClickNode(line);
    EXPECT_EQ(CountEvents(712), 0);
    EXPECT_TRUE(menu->Shown);
    ClickNode(first);
    EXPECT_EQ(CountEvents(711), 1) << "items act on the press";
    EXPECT_FALSE(menu->Shown);
}

TEST_F(GuiWidgetsTest, PopupKeepsMenusTenPixelsOffTheRightAndBottomEdges)
{
    struct TCase {
        int CanvasH, X, Y, MinW, MinH;
        int ExpX, ExpY;
    };
    const TCase cases[] = {
        {600, 800 - 50, 100, 120, 20, 800 - 130, 100},
        {200, 100, 200 - 20, 100, 300, 100, 0},   // taller than the canvas
        {600, 100, 100, 100, 20, 100, 100},
        {600, 669, 100, 120, 20, 669, 100},       // 669 + 120 < 790
        {600, 671, 100, 120, 20, 670, 100},       // 671 + 120 = 791 is not below 790
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y));
        Master->Reshape(800, c.CanvasH);
        TGui_Menu* menu = Master->AddMenu();
        menu->MinMenuWidth = float(c.MinW);
        menu->MinMenuHeight = float(c.MinH);
        menu->AddTextItem("Item", nullptr, nullptr);
        menu->Popup(nullptr, c.X, c.Y);
        EXPECT_EQ(menu->X, c.ExpX);
        EXPECT_EQ(menu->Y, c.ExpY);
        menu->DeletePending = true;
        Layout();
    }
}

TEST_F(GuiWidgetsTest, ASubMenuKeepsItsParentOpenAndAnUnrelatedMenuClosesBoth)
{
    TGui_Menu* parent = Master->AddMenu();
    TGui_MenuText* item = parent->AddTextItem("More", nullptr, nullptr);
    TGui_Menu* sub = Master->AddMenu();
    sub->AddTextItem("Deeper", nullptr, nullptr);
    sub->ParentMenuID = parent->GetID();
    item->SetPopupMenu(sub);
    item->PopupOnHover = true;
    item->PopupPlacement = 4;
    TGui_Menu* other = Master->AddMenu();
    other->AddTextItem("Other", nullptr, nullptr);

    parent->Popup(nullptr, 100, 100);
    Layout();
    HoverFromCanvas(item->AbsX + 3, item->AbsY + 3);
    EXPECT_TRUE(sub->Shown);
    EXPECT_TRUE(parent->Shown);
    EXPECT_EQ(sub->X, item->AbsX + item->Width);
    other->Popup(nullptr, 400, 400);
    EXPECT_FALSE(sub->Shown);
    EXPECT_FALSE(parent->Shown);
    EXPECT_TRUE(other->Shown);
}

TEST_F(GuiWidgetsTest, AMenuTallerThanTheCanvasScrollsWhileHoveredNearAnEdge)
{
    Master->Reshape(800, 200);
    TGui_Menu* menu = Master->AddMenu();
    for (int i = 0; i < 20; ++i) menu->AddTextItem(("Item " + std::to_string(i)).c_str(), nullptr, nullptr);
    menu->Popup(nullptr, 100, 50);
    Layout();
    EXPECT_EQ(menu->Y, 0);
    EXPECT_EQ(menu->Height, 200);
    int range = menu->ContentHeight - menu->Height;
    ASSERT_GT(range, 10);
    Master->ProcessPassiveMouseMotion(menu->AbsX + 5, 195);
    double t = 10.0;
    for (int tick = 1; tick <= 3; ++tick) {
        Master->Clock.SetTime(t += 0.05);
        Master->ProcessIdle();
        EXPECT_EQ(menu->ScrollY, -10 * tick);
    }
    for (int tick = 0; tick < 100; ++tick) {
        Master->Clock.SetTime(t += 0.05);
        Master->ProcessIdle();
    }
    EXPECT_EQ(menu->ScrollY, -range) << "stops with the last item visible";
    Layout();
    Master->ProcessPassiveMouseMotion(menu->AbsX + 5, 3);
    Master->Clock.SetTime(t += 0.05);
    Master->ProcessIdle();
    EXPECT_EQ(menu->ScrollY, -range + 10);
}

TEST_F(GuiWidgetsTest, ArrowKeysMoveTheFocusThroughItemsAndStopAtTheEnds)
{
    TGui_Menu* menu = Master->AddMenu();
    TGui_MenuText* a = menu->AddTextItem("A", nullptr, nullptr);
    menu->AddTextItem("-", nullptr, nullptr);
    TGui_MenuText* b = menu->AddTextItem("B", nullptr, nullptr);
    TGui_MenuText* c = menu->AddTextItem("C", nullptr, nullptr);
    a->Shortcut->SetName("Ctrl+A", true);
    menu->Popup(nullptr, 10, 10);
    Layout();
    EXPECT_EQ(Master->GetActiveNode(), a);
    Master->ProcessSpecialKey(QORGLUT_KEY_UP, 0, 0, 0);
    EXPECT_EQ(Master->GetActiveNode(), a) << "up on the first item";
    Master->ProcessSpecialKey(QORGLUT_KEY_DOWN, 0, 0, 0);
    EXPECT_EQ(Master->GetActiveNode(), b) << "over the separator";
    Master->ProcessSpecialKey(QORGLUT_KEY_DOWN, 0, 0, 0);
    EXPECT_EQ(Master->GetActiveNode(), c);
    Master->ProcessSpecialKey(QORGLUT_KEY_DOWN, 0, 0, 0);
    EXPECT_EQ(Master->GetActiveNode(), c) << "down on the last item";
    Master->ProcessSpecialKey(QORGLUT_KEY_UP, 0, 0, 0);
    Master->ProcessSpecialKey(QORGLUT_KEY_UP, 0, 0, 0);
    EXPECT_EQ(Master->GetActiveNode(), a) << "over the separator and the shortcut text";
}

TEST_F(GuiWidgetsTest, AHotKeyOpensASubMenuOnlyWhileItsParentMenuIsOpen)
{
    TGui_Menu* parent = Master->AddMenu();
    TGui_Menu* sub = Master->AddMenu();
    sub->AddTextItem("Deeper", nullptr, nullptr);
    sub->ParentMenuID = parent->GetID();
    TGui_MenuText* more = parent->AddTextItem("[u]M[/u]ore", nullptr, nullptr);
    more->SetPopupMenu(sub);
    // A top-level button bound to the same sub-menu, reached by the top-level search.
    TGui_Button* shortcut = Master->AddButton("Sub", 10, 10, nullptr);
    shortcut->SetPopupMenu(sub);
    shortcut->HotKey = 'm';
    Layout();
    EXPECT_EQ(Master->ProcessHotKey('m', Master->FirstChild, false), 0);
    EXPECT_FALSE(sub->Shown) << "its parent menu is closed";
    parent->Popup(nullptr, 100, 100);
    Layout();
    Master->ProcessKey('m', 0, 0, 0);
    EXPECT_TRUE(sub->Shown);
    EXPECT_TRUE(parent->Shown) << "a sub-menu keeps its parent open";
    EXPECT_EQ(more->FlashDrawn, false) << "the matched item flashes";
}

TEST_F(GuiWidgetsTest, ShiftRightClickShowsTheHintInOnDemandMode)
{
    Master->AddButton("B", 10, 10, "What the button does");
    Master->HintMode = 2;
    Layout();
    Master->ProcessMouseButton(2, 0, 15, 15, 1);
    Master->ProcessMouseButton(2, 1, 15, 15, 1);
    EXPECT_TRUE(Master->HintNode->Shown);
    Master->ProcessKey(27, 0, 0, 0);
    EXPECT_FALSE(Master->HintNode->Shown);
    Master->ProcessMouseButton(2, 0, 15, 15, 0);
    Master->ProcessMouseButton(2, 1, 15, 15, 0);
    EXPECT_FALSE(Master->HintNode->Shown) << "without Shift";
}

TEST_F(GuiWidgetsTest, AnEmptyMenuIsOnlyItsBorderAndMargins)
{
    TGui_Menu* menu = Master->AddMenu();
    menu->UpdateSize();
    EXPECT_EQ(menu->Width, 2 * (menu->MarginX + menu->BorderWidth));
    EXPECT_LT(menu->Width, int(menu->MinMenuWidth));
}

// [SECTION] Windows

TEST_F(GuiWidgetsTest, TheModalStackHandsTheActiveWindowBack)
{
    auto* a = new TGui_Window(Master.get());
    auto* b = new TGui_Window(Master.get());
    a->ShowModal();
    b->ShowModal();
    EXPECT_EQ(Master->ActiveWindowID, b->GetID());
    b->Hide();
    EXPECT_EQ(Master->ActiveWindowID, a->GetID());
    a->Hide();
    EXPECT_EQ(Master->ActiveWindowID, 0u);
    EXPECT_EQ(Master->ModalWindows.Count(), 0);

    a->ShowModal();
    a->ShowModal();
    EXPECT_EQ(Master->ModalWindows.Count(), 1) << "a window is on the stack once";
    a->Hide();
    EXPECT_EQ(Master->ModalWindows.Count(), 0);
    EXPECT_FALSE(Master->HasModalWindow());

    // Hiding a modal window that is not the active one leaves the active window.
    a->ShowModal();
    b->ShowModal();
    a->Hide();
    EXPECT_EQ(Master->ActiveWindowID, b->GetID());
    EXPECT_EQ(Master->ModalWindows.Count(), 1);

    // Deleting a shown modal window takes it off the stack and the active window.
    b->DeletePending = true;
    Layout();
    EXPECT_EQ(Master->ModalWindows.Count(), 0);
    EXPECT_EQ(Master->ActiveWindowID, 0u);
    auto* c = new TGui_Window(Master.get());
    c->ShowModal();
    delete c;
    EXPECT_EQ(Master->ModalWindows.Count(), 0);
    EXPECT_EQ(Master->ActiveWindowID, 0u);
    Layout();
}

TEST_F(GuiWidgetsTest, ExecuteCentresBelowTheTitleBar)
{
    struct TCase {
        int CanvasW, CanvasH, ExpX, ExpY;
    };
    for (TCase c : {TCase{800, 600, 250, 190}, TCase{300, 150, 0, 20}}) {
        SCOPED_TRACE(std::to_string(c.CanvasW));
        Master->Reshape(c.CanvasW, c.CanvasH);
        auto* w = new TGui_Window(Master.get());
        w->SetSize(300, 200);
        w->Execute();
        EXPECT_EQ(w->X, c.ExpX);
        EXPECT_EQ(w->Y, c.ExpY);
        EXPECT_TRUE(w->Shown);
        EXPECT_TRUE(w->IsModal);
        w->Hide();
        w->DeletePending = true;
        Layout();
    }
}

TEST_F(GuiWidgetsTest, DraggingTheTitleBarMovesTheWindowAndKeepsItReachable)
{
    auto* w = new TGui_Window(Master.get());
    w->SetSize(200, 100);
    w->SetPosition(100, 100);
    w->Show();
    Layout();
    TGui_Node* bar = w->TitleBar;
    int x = bar->AbsX + 30, y = bar->AbsY + 5;
    Master->ProcessMouseButton(0, 0, x, y, 0);
    Master->ProcessMouseMotion(x + 40, y);
    Master->ProcessMouseButton(0, 1, x + 40, y, 0);
    Layout();
    EXPECT_EQ(w->X, 140);
    EXPECT_EQ(w->Y, 100);
    EXPECT_EQ(bar->X, 0);

    // Up past the top edge: the title bar stops at the top.
    x = bar->AbsX + 30;
    y = bar->AbsY + 5;
    Master->ProcessMouseButton(0, 0, x, y, 0);
    Master->ProcessMouseMotion(x, y - 300);
    Master->ProcessMouseButton(0, 1, x, y - 300, 0);
    Layout();
    EXPECT_EQ(bar->AbsY, 0);

    // Left until 5 pixels remain: back to 20.
    x = bar->AbsX + 30;
    y = bar->AbsY + 5;
    Master->ProcessMouseButton(0, 0, x, y, 0);
    Master->ProcessMouseMotion(x - (w->X + w->Width - 5), y);
    Master->ProcessMouseButton(0, 1, x - (w->X + w->Width - 5), y, 0);
    Layout();
    EXPECT_EQ(w->X, 20 - w->Width);
}

TEST_F(GuiWidgetsTest, AWindowGrowsBackToItsLeastSize)
{
    auto* w = new TGui_Window(Master.get());
    w->SetSize(60, 20);
    Layout();
    EXPECT_EQ(w->Width, 100);
    EXPECT_EQ(w->Height, 50);
}

TEST_F(GuiWidgetsTest, TheCloseButtonHidesTheWindowAndSaysSo)
{
    auto* w = new TGui_Window(Master.get());
    w->SetSize(200, 100);
    w->Execute();
    Layout();
    ClickNode(w->TitleBar->CloseButton);
    EXPECT_FALSE(w->Shown);
    EXPECT_TRUE(w->ClosedByCloseButton);
    EXPECT_FALSE(Master->HasModalWindow());
    w->Show();
    EXPECT_TRUE(w->ClosedByCloseButton) << "showing again does not clear it";
}

TEST_F(GuiWidgetsTest, ATinyCanvasAndBackLeavesWindowsReachableAndSizesNonNegative)
{
    auto* a = new TGui_Window(Master.get());
    a->SetSize(300, 200);
    a->SetPosition(500, 400);
    a->Show();
    auto* b = new TGui_Window(Master.get());
    b->SetSize(150, 80);
    b->Execute();
    for (auto [w, h] : {std::pair{1, 1}, std::pair{0, 0}, std::pair{800, 600}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Master->Reshape(w, h);
        Layout();
        for (TGui_Window* win : {a, b}) {
            EXPECT_GE(win->Width, 0);
            EXPECT_GE(win->Height, 0);
            if (w >= 100) {
                EXPECT_LE(win->X, w - 20);
                EXPECT_LE(win->Y, h - 20);
                EXPECT_GE(win->X + win->Width, 20);
                EXPECT_GE(win->Y + win->Height, 20);
                EXPECT_LE(win->Width, w - 20);
            }
        }
    }
}

} // namespace
