// Text lines, separators, list boxes and list items without GL.
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "KsnTestSupport.h"
#include "OS.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

class GuiTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
    }
    void TearDown() override { QOREvents_Clean(); }
};

TEST_F(GuiTextTest, TextLinesAutoSizeToTheirName)
{
    TGui_Node panel;
    TGui_Text* empty = panel.AddText("", 3, 4, nullptr);
    empty->UpdateSize();
    EXPECT_EQ(empty->Width, 8);
    EXPECT_EQ(empty->Height, 13);
    EXPECT_EQ(empty->X, 3);
    TGui_Text* file = panel.AddText("[u]F[/u]ile", 0, 0, "Opens files");
    EXPECT_EQ(file->Width, QORGui_MeasureText("File") + 8);
    EXPECT_STREQ(file->GetHint(), "Opens files");
}

TEST_F(GuiTextTest, SeparatorsSpanTheirParentsInnerSize)
{
    TGui_Node panel;
    panel.SetSize(200, 80);
    TGui_Separator* across = panel.AddSeparator("Caption", 0, 30);
    TGui_Separator* down = panel.AddSeparator(nullptr, 50, 0);
    down->Vertical = true;
    across->UpdateSize_SecondPass();
    down->UpdateSize_SecondPass();
    EXPECT_EQ(across->X, 5);
    EXPECT_EQ(across->Width, 190);
    EXPECT_EQ(across->Height, 13);
    EXPECT_EQ(down->Y, 5);
    EXPECT_EQ(down->Height, 70);
    EXPECT_EQ(down->Width, 9);
    // Separators take no part in the node bounds.
    int minX = 1000, minY = 1000, maxX = -1, maxY = -1;
    TGui_Node::GetBounds(panel.FirstChild, minX, minY, maxX, maxY, 0, 0);
    EXPECT_EQ(maxX, -1);
}

TEST_F(GuiTextTest, SetIndexSelectsExactlyOneItemOrNone)
{
    TGui_ListBox list;
    for (const char* name : {"a", "b", "c"}) list.AddItem(name, 0);
    struct TCase {
        int Index, Selected;
    };
    for (TCase c : {TCase{1, 1}, TCase{-5, -1}, TCase{3, -1}, TCase{0, 0}, TCase{2, 2}, TCase{-1, -1}}) {
        SCOPED_TRACE(c.Index);
        list.SetIndex(c.Index);
        EXPECT_EQ(list.SelectedIndex, c.Selected);
        int k = 0;
        for (TGui_Node* n = list.FirstChild; n; n = n->Next, ++k)
            EXPECT_EQ(static_cast<TGui_ListItem*>(n)->Selected, k == c.Selected);
    }
}

TEST_F(GuiTextTest, ListLayoutIndentsNumbersAndCopiesTheListsEvents)
{
    TGui_ListBox list;
    list.SetSize(150, 200);
    list.ClickEvent = new TQOREvent(nullptr, 0, 41);
    TGui_ListItem* plain = list.AddItem("plain", 0);
    TGui_ListItem* nested = list.AddItem("nested", 2);
    for (int pass = 0; pass < 2; ++pass) {
        plain->UpdateSize();
        nested->UpdateSize();
        list.UpdateSize();
    }
    EXPECT_EQ(nested->X - plain->X, 32);
    EXPECT_EQ(nested->Width, plain->Width);
    EXPECT_EQ(plain->Width, 150 - 2 * (1 + 4));
    EXPECT_EQ(plain->Height, 17);
    EXPECT_EQ(plain->Y, 1);
    EXPECT_EQ(nested->Y, 1 + 17);
    EXPECT_EQ(nested->Index, 1);
    ASSERT_NE(nested->ClickEvent, nullptr);
    EXPECT_EQ(nested->ClickEvent->GetCommand(), 41);
    EXPECT_FLOAT_EQ(list.VerticalScrollBar->PageStep, 200);

    EXPECT_TRUE(nested->OnClick(2, 3));
    EXPECT_EQ(list.SelectedIndex, 1);
    EXPECT_TRUE(nested->Selected);
    std::unique_ptr<TQOREvent> e(QOREvents_PopEvent());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->GetIndex(), 1);
    EXPECT_EQ(e->dispatcherID, nested->GetID());
}

TEST_F(GuiTextTest, RightClicksSelectOnlyWhenTheListSaysSo)
{
    TGui_ListBox list;
    TGui_ListItem* first = list.AddItem("first", 0);
    TGui_ListItem* second = list.AddItem("second", 0);
    list.UpdateSize();
    list.SetIndex(0);
    second->RightClickEvent = new TQOREvent(nullptr, 0, 9);
    EXPECT_TRUE(second->OnRightClick(0, 0));
    EXPECT_EQ(list.SelectedIndex, 0);
    EXPECT_TRUE(first->Selected);
    std::unique_ptr<TQOREvent> e(QOREvents_PopEvent());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->GetIndex(), 1);
    list.RightClickSelects = true;
    second->OnRightClick(0, 0);
    EXPECT_EQ(list.SelectedIndex, 1);
    EXPECT_FALSE(first->Selected);
}

TEST_F(GuiTextTest, DraggedRowsSendTheListWordAndTheirNumber)
{
    TGui_ListBox list;
    std::snprintf(list.DragDropString, sizeof list.DragDropString, "%s", "Maps");
    for (int i = 0; i < 4; ++i) list.AddItem("row", 0);
    list.UpdateSize();
    auto* row3 = static_cast<TGui_ListItem*>(list.FirstChild->Next->Next->Next);
    char buffer[64];
    EXPECT_TRUE(row3->DragDropGetSendString(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Maps 3");
    EXPECT_TRUE(row3->DragDropGetSendString(buffer, 4));
    EXPECT_STREQ(buffer, "Map");
    EXPECT_FALSE(row3->DragDropGetSendString(buffer, 0));

    // The longest list word still yields a terminated, cut text.
    std::string word(262, 'w');
    std::snprintf(list.DragDropString, sizeof list.DragDropString, "%s", word.c_str());
    char big[400];
    EXPECT_TRUE(row3->DragDropGetSendString(big, sizeof big));
    EXPECT_EQ(std::string(big).size(), 255u);
}

TEST_F(GuiTextTest, AnItemOutsideAListBoxRefusesClicksAndIgnoresDrops)
{
    TBoxRecorder boxes;
    OS.SetDialogProvider(&boxes);
    TGui_Node panel;
    auto* stray = new TGui_ListItem(&panel);
    EXPECT_THROW(stray->OnClick(0, 0), std::logic_error);
    EXPECT_THROW(stray->OnDoubleClick(0, 0), std::logic_error);
    char buffer[8];
    EXPECT_FALSE(stray->DragDropGetSendString(buffer, sizeof buffer));
    stray->DragDropReceive("x", 0, 0);
    ASSERT_FALSE(boxes.Boxes.empty());
    EXPECT_EQ(boxes.Boxes[0], "Listbox is NULL in TGui_ListItem::OnClick()");
    OS.SetDialogProvider(nullptr);
}

TEST_F(GuiTextTest, AHugeItemNameIsCutNotOverrun)
{
    TGui_ListBox list;
    std::string huge(20000, 'n');
    TGui_ListItem* item = list.AddItem(huge.c_str(), 0);
    EXPECT_LT(std::string(item->GetName()).size(), huge.size());
    EXPECT_EQ(std::string(item->GetHint()).size(), 9999u);
    EXPECT_EQ(item->NameWidth, QORGui_MeasureText(item->GetName()));
}

} // namespace
