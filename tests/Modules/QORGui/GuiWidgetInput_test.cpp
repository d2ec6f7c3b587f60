// The widgets driven through the window layer's dispatch functions and the
// master, as the host drives them: a click and keys into an edit field, a drag over a
// gauge, a drop-down choice, and the panel's toggle.
#include "GuiTestEvents.h"
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "KsnTestSupport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORglut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

int Beeps = 0;
void CountBeep() { ++Beeps; }

// A blank application bound to the window layer; input arrives through the
// layer's dispatch functions, as the host delivers it.
class GuiWidgetInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        OS.SetDialogProvider(&Provider);
        OS.AssignOnBeep(&CountBeep);
        Beeps = 0;
        QORglut_SetModifiers(false, false, false, false);
        App = std::make_unique<TGui_BlankApp>(QORglutGetWindow(), nullptr);
        QORglut_DispatchReshape(600, 400);
        App->Clock.Stop();
        App->Clock.SetTime(5.0);
    }
    void TearDown() override
    {
        App.reset();
        QORglut_ClearAllCallbacks();
        QORglut_SetModifiers(false, false, false, false);
        OS.AssignOnBeep(nullptr);
        OS.SetDialogProvider(nullptr);
        QOREvents_Clean();
    }
    void Press(int x, int y)
    {
        App->LayoutTree();
        QORglut_DispatchMouseDown(0, false, x, y);
    }
    void Release(int x, int y) { QORglut_DispatchMouseUp(x, y); }
    void Click(int x, int y)
    {
        Press(x, y);
        Release(x, y);
    }
    void Drag(int x, int y)
    {
        DrawCalledAfterOnMotion = true;   // one motion per painted frame
        QORglut_DispatchMouseMove(x, y, true);
    }
    // A key as the host delivers it: key-down, then the character.
    void Key(int code, int mask = 0)
    {
        App->LayoutTree();
        QORglut_DispatchKeyDown(code, mask);
        QORglut_DispatchChar(code, mask);
        QORglut_SetModifiers(false, false, false, false);
    }

    TScriptedProvider Provider;
    std::unique_ptr<TGui_BlankApp> App;
};

TEST_F(GuiWidgetInputTest, AClickFocusesAFieldAndTypedKeysReachIt)
{
    TGui_EditText* t = App->AddEditText("Count", 2);
    t->SetPosition(20, 20);
    t->Width = 200;
    TGui_EditField* f = t->EditField;
    f->ChangeEvent = new TQOREvent(77);
    App->LayoutTree();
    Click(f->AbsX + f->Width - 5, f->AbsY + 5);
    EXPECT_EQ(App->ActiveNodeID, f->GetID());
    EXPECT_EQ(f->Cursor, 1) << "after the one character";
    for (int k : {int('4'), int('x'), 13}) Key(k);
    EXPECT_STREQ(f->GetText(), "4") << "Enter rewrites an integer text from its value";
    EXPECT_EQ(f->IntValue, 4);
    EXPECT_EQ(Beeps, 1) << "the letter";
    EXPECT_EQ(App->ActiveNodeID, 0u) << "Enter gives the focus back";
    EXPECT_EQ(DrainCommands(), std::vector<int>{77}) << "one commit";

    Click(f->AbsX + 8, f->AbsY + 5);
    Key(QORGLUT_KEY_RIGHT, QORGLUT_MASK_SHIFT);   // Shift+Right selects
    EXPECT_EQ(f->SelectionEnd - f->SelectionStart, 1);
    Key('C', QORGLUT_MASK_CONTROL);
    EXPECT_FALSE(Provider.Clipboard.empty());
}

TEST_F(GuiWidgetInputTest, ADragOverAGaugeIsBracketedByItsStartAndEnd)
{
    TGui_Gauge* g = App->AddGauge("", nullptr, 0, 10);
    g->SetPosition(50, 100);
    g->EditField->Hide();
    g->DropDownButton->Hide();
    g->ChangeStartEvent = new TQOREvent(1);
    g->ChangeEvent = new TQOREvent(2);
    g->ChangeEndEvent = new TQOREvent(3);
    Press(60, 108);
    Drag(100, 108);
    Drag(250, 108);   // past the end: clamped
    Release(250, 108);
    EXPECT_FLOAT_EQ(g->Value, 10.0f);
    std::vector<int> got = DrainCommands();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), 1);
    EXPECT_EQ(got.back(), 3);
    EXPECT_EQ(std::count(got.begin(), got.end(), 1), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), 3), 1);
}

TEST_F(GuiWidgetInputTest, ADropDownChoiceSetsTheBoxAndQueuesTheEntrysEvent)
{
    auto* box = new TGui_DropDownBox(App.get());
    box->SetPosition(100, 50);
    box->Width = 200;
    box->BoxWidth = 120;
    box->AddItem("Smooth", new TQOREvent(11), nullptr);
    TGui_MenuText* flat = box->AddItem("Flat", new TQOREvent(12), nullptr);
    App->LayoutTree();
    TGui_Menu* menu = box->GetMenu();
    Click(box->Box->AbsX + 5, box->Box->AbsY + 5);
    EXPECT_TRUE(menu->Shown) << "a press on the box opens the list";
    App->LayoutTree();
    EXPECT_GE(menu->Width, box->Box->Width);
    App->LayoutTree();
    Click(flat->AbsX + 5, flat->AbsY + 3);
    EXPECT_FALSE(menu->Shown);
    EXPECT_STREQ(box->Box->GetName(), "Flat");
    std::vector<int> got = DrainCommands();
    EXPECT_EQ(std::count(got.begin(), got.end(), 12), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), 11), 0);

    Click(box->Arrow->AbsX + 3, box->Arrow->AbsY + 3);
    EXPECT_TRUE(menu->Shown) << "the arrow opens it too";
}

TEST_F(GuiWidgetInputTest, TheToggleFoldsAndOpensThePanel)
{
    auto* panel = new TGui_CollapsiblePanel(App.get());
    panel->SetPosition(300, 100);
    panel->SetSize(200, 150);
    App->LayoutTree();
    TGui_CollapsiblePanelToggleButton* toggle = panel->Toggle;
    Click(toggle->AbsX + 5, toggle->AbsY + 5);
    EXPECT_TRUE(panel->IsCollapsed());
    EXPECT_EQ(panel->Height, 20);
    Click(toggle->AbsX + 5, toggle->AbsY + 5);
    EXPECT_FALSE(panel->IsCollapsed());
    EXPECT_EQ(panel->Height, 150);
}

} // namespace
