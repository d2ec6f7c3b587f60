// The widgets driven through the master's input dispatch, as the window
// layer drives them: a click and keys into an edit field, a drag over a
// gauge, a drop-down choice, and the panel's toggle.
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "KsnTestSupport.h"
#include "OS.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<int> DrainCommands()
{
    std::vector<int> out;
    while (TQOREvent* e = QOREvents_PopEvent()) {
        out.push_back(e->GetCommand());
        delete e;
    }
    return out;
}

class GuiWidgetInputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        OS.SetDialogProvider(&Provider);
        Master.SetSize(600, 400);
        Master.Clock.Stop();
        Master.Clock.SetTime(5.0);
    }
    void TearDown() override
    {
        OS.SetDialogProvider(nullptr);
        QOREvents_Clean();
    }
    void Click(int x, int y, int button = 0)
    {
        Master.LayoutTree();
        Master.ProcessMouseButton(button, 0, x, y, 0);
        Master.ProcessMouseButton(button, 1, x, y, 0);
    }

    TScriptedProvider Provider;
    TGui_Master Master;
};

TEST_F(GuiWidgetInputTest, AClickFocusesAFieldAndTypedKeysReachIt)
{
    TGui_EditText* t = Master.AddEditText("Count", 2);
    t->SetPosition(20, 20);
    t->Width = 200;
    TGui_EditField* f = t->EditField;
    f->ChangeEvent = new TQOREvent(77);
    Master.LayoutTree();
    Click(f->AbsX + f->Width - 5, f->AbsY + 5);
    EXPECT_EQ(Master.ActiveNodeID, f->GetID());
    EXPECT_EQ(f->Cursor, 1) << "after the one character";
    for (int k : {int('4'), int('x'), 13}) Master.ProcessKey(static_cast<unsigned char>(k), 0, 0, 0);
    EXPECT_STREQ(f->GetText(), "4") << "Enter rewrites an integer text from its value";
    EXPECT_EQ(f->IntValue, 4);
    EXPECT_EQ(Master.ActiveNodeID, 0u) << "Enter gives the focus back";
    EXPECT_EQ(DrainCommands(), std::vector<int>{77}) << "one commit";

    Click(f->AbsX + 8, f->AbsY + 5);
    Master.ProcessSpecialKey(316, 0, 0, 1);   // Shift+Right selects
    EXPECT_EQ(f->SelectionEnd - f->SelectionStart, 1);
    Master.ProcessKey('C', 0, 0, 2);   // the window layer sends Ctrl+letter as the letter's key code
    EXPECT_FALSE(Provider.Clipboard.empty());
}

TEST_F(GuiWidgetInputTest, ADragOverAGaugeIsBracketedByItsStartAndEnd)
{
    TGui_Gauge* g = Master.AddGauge("", nullptr, 0, 10);
    g->SetPosition(50, 100);
    g->EditField->Hide();
    g->DropDownButton->Hide();
    g->ChangeStartEvent = new TQOREvent(1);
    g->ChangeEvent = new TQOREvent(2);
    g->ChangeEndEvent = new TQOREvent(3);
    Master.LayoutTree();
    Master.ProcessMouseButton(0, 0, 60, 108, 0);
    Master.ProcessMouseMotion(100, 108);
    Master.ProcessMouseMotion(250, 108);   // past the end: clamped
    Master.ProcessMouseButton(0, 1, 250, 108, 0);
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
    auto* box = new TGui_DropDownBox(&Master);
    box->SetPosition(100, 50);
    box->Width = 200;
    box->BoxWidth = 120;
    box->AddItem("Smooth", new TQOREvent(11), nullptr);
    TGui_MenuText* flat = box->AddItem("Flat", new TQOREvent(12), nullptr);
    Master.LayoutTree();
    TGui_Menu* menu = box->GetMenu();
    Click(box->Box->AbsX + 5, box->Box->AbsY + 5);
    EXPECT_TRUE(menu->Shown) << "a press on the box opens the list";
    Master.LayoutTree();
    EXPECT_GE(menu->Width, box->Box->Width);
    Master.LayoutTree();
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
    auto* panel = new TGui_CollapsiblePanel(&Master);
    panel->SetPosition(300, 100);
    panel->SetSize(200, 150);
    Master.LayoutTree();
    TGui_CollapsiblePanelToggleButton* toggle = panel->Toggle;
    Click(toggle->AbsX + 5, toggle->AbsY + 5);
    EXPECT_TRUE(panel->IsCollapsed());
    EXPECT_EQ(panel->Height, 20);
    Click(toggle->AbsX + 5, toggle->AbsY + 5);
    EXPECT_FALSE(panel->IsCollapsed());
    EXPECT_EQ(panel->Height, 150);
}

} // namespace
