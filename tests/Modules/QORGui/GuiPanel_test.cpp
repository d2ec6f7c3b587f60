// Collapsible panels without GL: folding and opening by the toggle, the
// scroll bars, the title's and toggle's places and the title bar.
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

namespace {

class GuiPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        Master.SetSize(400, 300);
        Panel = new TGui_CollapsiblePanel(&Master);
        Panel->SetPosition(10, 10);
        Panel->SetSize(150, 120);
    }
    void TearDown() override { QOREvents_Clean(); }

    TGui_Master Master;
    TGui_CollapsiblePanel* Panel = nullptr;
};

TEST_F(GuiPanelTest, FoldingTwiceKeepsTheFirstOpenHeightAndTheToggleOpensIt)
{
    EXPECT_EQ(Panel->OpenHeight, 100) << "the height at construction";
    Panel->Collapse();
    EXPECT_TRUE(Panel->IsCollapsed());
    EXPECT_EQ(Panel->Height, 20);
    EXPECT_EQ(Panel->OpenHeight, 120);
    Panel->Collapse();
    EXPECT_EQ(Panel->OpenHeight, 120);
    EXPECT_FALSE(Panel->CanDrawChildren());

    EXPECT_TRUE(Panel->Toggle->OnClick(2, 2));
    EXPECT_FALSE(Panel->IsCollapsed());
    EXPECT_EQ(Panel->Height, 120);
    Panel->Height = 80;   // resized while open: folds and reopens to the new size
    Panel->Toggle->OnClick(2, 2);
    Panel->Toggle->OnClick(2, 2);
    EXPECT_EQ(Panel->Height, 80);

    TGui_CollapsiblePanelToggleButton stray(nullptr);
    EXPECT_FALSE(stray.OnClick(1, 1));
}

TEST_F(GuiPanelTest, FoldingHidesTheScrollBarAndOpeningShowsIt)
{
    TGui_Node* content = Panel->AddNode(nullptr, 50, 400);
    TGui_ScrollBar* bar = Panel->CreateVerticalScrollBar();
    Master.LayoutTree();
    EXPECT_EQ(content->AbsY, Panel->AbsY + Panel->TitleHeight) << "the content starts below the title band";
    Panel->Collapse();
    EXPECT_FALSE(bar->Shown);
    int contentY = content->Y;
    Master.LayoutTree();
    EXPECT_EQ(content->Y, contentY) << "a folded panel lays out nothing";
    Panel->Toggle->OnClick(1, 1);
    EXPECT_TRUE(bar->Shown);
}

TEST_F(GuiPanelTest, TheTitleAndToggleFollowThePlacement)
{
    Panel->SetName("Options", true);
    EXPECT_STREQ(Panel->Title->GetName(), "Options");
    Master.LayoutTree();
    const int b = Panel->BorderWidth, m = Panel->MarginX;
    EXPECT_EQ(Panel->Title->X, b + m);
    EXPECT_EQ(Panel->Title->Y, b + 2);
    EXPECT_EQ(Panel->Toggle->X, 150 - 12 - Panel->Toggle->BorderWidth);
    EXPECT_EQ(Panel->Toggle->Y, Panel->Toggle->BorderWidth);

    Panel->Toggle->Placement = 2;
    Master.LayoutTree();
    EXPECT_EQ(Panel->Title->X, b + m + 12) << "the title starts right of the toggle";
    EXPECT_EQ(Panel->Toggle->X, Panel->Toggle->BorderWidth);

    Panel->TGui_Node::SetName("Renamed", false);   // through the base class
    Master.LayoutTree();
    EXPECT_STREQ(Panel->Title->GetName(), "Renamed");
}

TEST_F(GuiPanelTest, OnlyOneTitleBarIsAddedAndItLiesUnderTheTitle)
{
    Panel->TitleHeight = 14;
    Panel->AddTitleBar();
    TGui_CollapsiblePanelTitleBar* bar = Panel->TitleBar;
    ASSERT_NE(bar, nullptr);
    Panel->AddTitleBar();
    EXPECT_EQ(Panel->TitleBar, bar);
    int count = 0;
    for (TGui_Node* c = Panel->FirstControl; c; c = c->Next)
        if (dynamic_cast<TGui_CollapsiblePanelTitleBar*>(c)) ++count;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(Panel->FirstControl, bar) << "drawn first";
    Master.LayoutTree();
    EXPECT_EQ(bar->Width, 150);
    EXPECT_EQ(bar->Height, 14);
    EXPECT_EQ(Panel->ChildOriginY, 14);
    EXPECT_EQ(Panel->ScrollY, 14);
}

} // namespace
