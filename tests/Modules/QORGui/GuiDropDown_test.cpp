// Drop-down boxes without GL: no menu before a master, filling, opening at
// least as wide as the box, choosing an entry, emptying, narrow layout and the
// menu's end with the box.
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

namespace {

class GuiDropDownTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        Master.SetSize(400, 300);
    }
    void TearDown() override { QOREvents_Clean(); }

    TGui_Master Master;
};

TEST_F(GuiDropDownTest, ABoxMadeBeforeItsMasterHoldsNoEntriesAndOpensNothing)
{
    TGui_Node loose;
    auto* box = new TGui_DropDownBox(&loose);
    EXPECT_EQ(box->MenuID, 0u);
    EXPECT_EQ(box->GetMenu(), nullptr);
    EXPECT_EQ(box->AddItem("One", new TQOREvent(1), nullptr), nullptr);
    EXPECT_TRUE(box->Arrow->OnClick(2, 2));
    box->EmptyMenu();
    TGui_DropDownBoxButton stray(nullptr);
    EXPECT_FALSE(stray.OnClick(1, 1)) << "an arrow outside a drop-down box does nothing";
}

TEST_F(GuiDropDownTest, ChoosingAnEntryShowsItsNameAndQueuesItsEvent)
{
    auto* box = new TGui_DropDownBox(&Master);
    box->SetName("Mode", false);
    box->SetPosition(20, 30);
    box->Width = 200;
    box->BoxWidth = 120;
    ASSERT_NE(box->GetMenu(), nullptr);
    EXPECT_EQ(box->GetMenu()->Parent, &Master);
    TGui_Node* first = box->AddItem("A", new TQOREvent(41), "the first");
    TGui_Node* second = box->AddItem("Second", new TQOREvent(42), nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->GetHint(), "the first");
    Master.LayoutTree();
    EXPECT_STREQ(box->Caption->GetName(), "Mode");
    EXPECT_EQ(box->Box->X, 200 - 120 - 16);
    EXPECT_EQ(box->Arrow->X, 200 - 16);
    EXPECT_EQ(box->Caption->Width, 200 - 120 - 16);

    TGui_Menu* menu = box->GetMenu();
    EXPECT_FALSE(menu->Shown);
    EXPECT_TRUE(box->Arrow->OnClick(3, 3));
    Master.LayoutTree();
    EXPECT_TRUE(menu->Shown);
    EXPECT_GE(menu->Width, box->Box->Width) << "the list is at least as wide as the box";
    EXPECT_EQ(menu->Y, box->Box->AbsY + box->Box->Height);

    EXPECT_TRUE(second->OnClick(4, 4));
    EXPECT_FALSE(menu->Shown);
    EXPECT_STREQ(box->Box->GetName(), "Second");
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 42);
    EXPECT_EQ(QOREvents_PeekEvent(0)->dispatcherID, second->GetID());

    box->EmptyMenu();
    EXPECT_EQ(menu->GetChildCount(), 0);
    EXPECT_STREQ(box->Box->GetName(), "Second") << "the shown choice stays until the owner sets another";
}

TEST_F(GuiDropDownTest, ANarrowBoxStartsAtZeroAndItsMenuGoesWithIt)
{
    auto* box = new TGui_DropDownBox(&Master);
    box->Width = 40;
    Master.LayoutTree();
    EXPECT_EQ(box->Box->X, 0);
    EXPECT_LT(box->Caption->Width, 0);
    uint32_t menuID = box->MenuID;
    box->DeletePending = true;
    Master.LayoutTree();
    Master.LayoutTree();
    EXPECT_EQ(__GetThingyFromID(menuID), nullptr);
}

TEST_F(GuiDropDownTest, AMenuDeletedElsewhereLeavesAnEmptyBox)
{
    auto* box = new TGui_DropDownBox(&Master);
    box->GetMenu()->DeletePending = true;
    Master.LayoutTree();
    EXPECT_EQ(box->GetMenu(), nullptr);
    EXPECT_EQ(box->AddItem("x", new TQOREvent(1), nullptr), nullptr);
    EXPECT_TRUE(box->Arrow->OnClick(1, 1));
}

} // namespace
