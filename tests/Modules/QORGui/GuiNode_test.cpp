// The node without GL: tree links, layout, hit testing, enabling, hints,
// events and the colour pipeline.
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiNode.h"
#include "GuiTheme.h"
#include "GuiWidgets.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class GuiNodeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QORglutWigits_InterfaceBrightness = 1.0f;
        QOREvents_Clean();
    }
    void TearDown() override
    {
        QOREvents_Clean();
        QORglutWigits_InterfaceBrightness = 1.0f;
    }
};

std::vector<TGui_Node*> Children(TGui_Node* n)
{
    std::vector<TGui_Node*> out;
    for (TGui_Node* c = n->FirstChild; c; c = c->Next) out.push_back(c);
    return out;
}

TEST_F(GuiNodeTest, TreeLinksKeepTheirOrderThroughUnlinkPopAndPush)
{
    TGui_Node root;
    auto* a = new TGui_Node(&root);
    auto* b = new TGui_Node(&root);
    auto* c = new TGui_Node(&root);
    EXPECT_EQ(Children(&root), (std::vector<TGui_Node*>{a, b, c}));
    a->Pop();
    EXPECT_EQ(Children(&root), (std::vector<TGui_Node*>{b, c, a}));
    a->Push();
    EXPECT_EQ(Children(&root), (std::vector<TGui_Node*>{a, b, c}));
    EXPECT_EQ(a->Prev, nullptr);
    a->Unlink();   // the head hands over to its next
    EXPECT_EQ(root.FirstChild, b);
    EXPECT_EQ(b->Prev, nullptr);
    EXPECT_EQ(a->Parent, nullptr);
    b->LinkNext(a);
    EXPECT_EQ(Children(&root), (std::vector<TGui_Node*>{b, a, c}));
    EXPECT_TRUE(TGui_Node::IsNodeInTree(root.FirstChild, c, false));
    EXPECT_FALSE(TGui_Node::IsNodeInTree(root.FirstChild, c, true));

    TGui_ScrollBar* bar = root.CreateVerticalScrollBar();
    EXPECT_EQ(root.FirstControl, bar);
    EXPECT_TRUE(bar->IsControl);
    root.Empty();   // controls stay
    EXPECT_EQ(root.FirstChild, nullptr);
    EXPECT_EQ(root.FirstControl, bar);
}

TEST_F(GuiNodeTest, StackedLayoutPlacesShownChildrenAndSkipsHiddenOnes)
{
    TGui_Node panel;
    panel.StackChildren = true;
    panel.AutoSize = true;
    panel.ShowName = false;
    auto* first = panel.AddNode(nullptr, 30, 20);
    auto* hidden = panel.AddNode(nullptr, 30, 50);
    auto* third = panel.AddNode(nullptr, 40, 10);
    hidden->Hide();
    panel.UpdateSize();
    EXPECT_EQ(first->X, 5);
    EXPECT_EQ(first->Y, 9);
    EXPECT_EQ(hidden->Y, third->Y) << "a hidden child takes no room";
    EXPECT_EQ(third->Y, 9 + 20 + 4);
    EXPECT_EQ(panel.Width, 5 + 40 + 10);
    EXPECT_EQ(panel.Height, third->Y + 10 + 10);

    TGui_Node empty;
    empty.AutoSize = true;
    empty.UpdateSize();
    EXPECT_EQ(empty.Width, 10);
    EXPECT_EQ(empty.Height, 13);
}

TEST_F(GuiNodeTest, ScrollRangesGiveThumbFractionsAndClampTheValue)
{
    struct TCase {
        int Range;
        float Maximum, Fraction;
    };
    for (TCase c : {TCase{0, 0, 1.0f}, TCase{40, 40, 0.9f}, TCase{1000, 1000, 0.1f}}) {
        SCOPED_TRACE(c.Range);
        TGui_Node panel;
        panel.SetSize(200, 100);
        panel.AddNode(nullptr, 50, 100 + c.Range);
        TGui_ScrollBar* bar = panel.CreateVerticalScrollBar();
        bar->Value = 5000;
        panel.ChildOriginY = 3;
        panel.UpdateSize();
        EXPECT_FLOAT_EQ(bar->Maximum, c.Maximum);
        EXPECT_FLOAT_EQ(bar->ThumbFraction, c.Fraction);
        EXPECT_FLOAT_EQ(bar->Value, c.Maximum);
        EXPECT_EQ(panel.ScrollY, 3 - int(c.Maximum));
        EXPECT_EQ(bar->X, 200 - bar->Width);
        EXPECT_EQ(bar->Height, 100);
        EXPECT_FLOAT_EQ(bar->ArrowStep, 25);
    }
}

TEST_F(GuiNodeTest, NoLayoutStepMakesASizeNegative)
{
    TGui_Node tiny;
    tiny.SetSize(3, 2);
    TGui_ScrollBar* v = tiny.CreateVerticalScrollBar();
    TGui_ScrollBar* h = tiny.CreateHorizontalScrollBar();
    tiny.UpdateSize();
    EXPECT_GE(v->Height, 0);
    EXPECT_GE(h->Width, 0);
    EXPECT_GE(v->X, 0);
    EXPECT_GE(h->Y, 0);
}

TEST_F(GuiNodeTest, HitTestMissesLeftAndTopEdgesAndFindsTheTopmostNode)
{
    TGui_Node root;
    auto* under = root.AddNode(nullptr, 50, 50);
    auto* over = root.AddNode(nullptr, 20, 20);
    under->AbsX = under->AbsY = 10;
    over->AbsX = over->AbsY = 30;
    struct TCase {
        int X, Y;
        TGui_Node* Expected;
    };
    for (TCase c : {TCase{10, 20, nullptr}, TCase{20, 10, nullptr}, TCase{11, 11, under}, TCase{35, 35, over},
                    TCase{30, 35, under}, TCase{59, 59, under}, TCase{60, 30, nullptr}}) {
        SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y));
        TGui_Node* found = nullptr;
        TGui_Node::GetNodeFromPoint(root.FirstChild, c.X, c.Y, &found);
        EXPECT_EQ(found, c.Expected);
    }
    over->Hide();
    TGui_Node* found = nullptr;
    TGui_Node::GetNodeFromPoint(root.FirstChild, 35, 35, &found);
    EXPECT_EQ(found, under);
}

TEST_F(GuiNodeTest, EnablingAPanelEnablesEveryWidgetInIt)
{
    TGui_Node panel;
    auto* group = panel.AddNode(nullptr, 10, 10);
    auto* deep = group->AddNode(nullptr, 10, 10);
    deep->Disable();
    EXPECT_FALSE(deep->IsEnabled());
    panel.Disable();
    EXPECT_FALSE(group->IsEnabled());
    panel.Enable();
    EXPECT_TRUE(group->IsEnabled());
    EXPECT_TRUE(deep->IsEnabled());
    group->TQORThingy::Disable();
    EXPECT_FALSE(deep->IsEnabled()) << "a disabled ancestor disables the node";
}

TEST_F(GuiNodeTest, HintsAreStoredWithABoldTitleAndCut)
{
    TGui_Node parent;
    auto* child = parent.AddNode(nullptr, 10, 10);
    struct TCase {
        const char* Source;
        const char* Stored;
    };
    const TCase cases[] = {
        {"One line", "One line"},
        {"Title\n\nBody", "[b]Title[/b]\nBody"},
        {"Title\nBody\n\nMore", "[b]Title[/b]\nBody\n\nMore"},
        {"[b]Bold[/b]\nBody", "[b]Bold[/b]\nBody"},
        {"Title\n", "[b]Title[/b]\n"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Source);
        parent.SetHint("%s", c.Source);
        EXPECT_STREQ(parent.GetHint(), c.Stored);
    }
    parent.SetHint("%s", "");
    EXPECT_STREQ(parent.GetHint(), "");

    std::string huge(20000, 'h');
    parent.SetHint("%s", huge.c_str());
    EXPECT_EQ(std::string(parent.GetHint()), huge.substr(0, 9999));

    parent.SetHint("%s", "parent's");
    child->HintFromParent = true;
    child->SetHint("%s", "own");
    EXPECT_STREQ(child->GetHint(), "parent's");
    child->HintFromParent = false;
    EXPECT_STREQ(child->GetHint(), "") << "the hint set while it followed its parent was ignored";
}

TEST_F(GuiNodeTest, NamesAreLiteralAndMeasuredWithTheirMargins)
{
    TGui_Node n;
    n.SetName("100%s [b]ok[/b]", false);
    EXPECT_STREQ(n.GetName(), "100%s [b]ok[/b]");
    EXPECT_EQ(n.NameWidth, QORGui_MeasureText("100%s [b]ok[/b]") + 8);
}

bool Record(TQOREvent*) { return true; }

TEST_F(GuiNodeTest, ClicksQueueCopiesOfTheTemplateWithPositions)
{
    TGui_Node n;
    n.AbsX = 100;
    n.AbsY = 200;
    EXPECT_FALSE(n.OnClick(1, 2)) << "nothing to queue";
    EXPECT_TRUE(n.Clicked);
    n.ClickEvent = new TQOREvent(Record, 0, 77);
    EXPECT_TRUE(n.OnClick(3, 4));
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    std::unique_ptr<TQOREvent> e(QOREvents_PopEvent());
    EXPECT_NE(e.get(), n.ClickEvent);
    EXPECT_EQ(e->GetCommand(), 77);
    EXPECT_EQ(e->x, 3);
    EXPECT_EQ(e->y, 4);
    EXPECT_EQ(e->xAbs, 103);
    EXPECT_EQ(e->yAbs, 204);
    EXPECT_EQ(e->dispatcherID, n.GetID());

    // A caption target takes the clicked node's name.
    TGui_Node target;
    n.CaptionTarget = &target;
    n.SetName("Chosen", false);
    n.OnClick(0, 0);
    EXPECT_STREQ(target.GetName(), "Chosen");
    QOREvents_Clean();
}

TEST_F(GuiNodeTest, DragStringsAreCopiedWithinTheBuffer)
{
    TGui_Node n;
    std::snprintf(n.DragDropString, sizeof n.DragDropString, "%s", "Layer 12");
    char buffer[6] = "xxxxx";
    EXPECT_FALSE(n.DragDropGetSendString(buffer, 0));
    EXPECT_STREQ(buffer, "xxxxx");
    EXPECT_TRUE(n.DragDropGetSendString(buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Layer");
}

TEST_F(GuiNodeTest, ColoursFollowBrightnessAndDarkenBehindAModalWindow)
{
    const float in[3] = {1.0f, 0.8f, 0.4f};
    float out[3];
    TGui_Node loose;
    struct TCase {
        float Brightness;
        bool Highlight;
        float Factor;
    };
    for (TCase c : {TCase{0, false, 0.75f}, TCase{0, true, 0.875f}, TCase{1, false, 1.0f}, TCase{0.5f, false, 0.875f}}) {
        QORglutWigits_InterfaceBrightness = c.Brightness;
        loose.GetDisplayColor(out, in, c.Highlight);
        for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(out[i], in[i] * c.Factor) << c.Brightness;
    }
    QORglutWigits_InterfaceBrightness = 1.0f;

    TGui_Master master;
    auto* panel = master.AddNode(nullptr, 10, 10);
    auto* menu = new TGui_Menu(&master);
    menu->ModalExempt = true;
    auto* menuItem = menu->AddNode(nullptr, 10, 10);
    auto* dialog = new TGui_Window(&master);
    auto* field = dialog->AddNode(nullptr, 10, 10);
    dialog->IsModal = true;
    master.SetActiveWindow(dialog);
    panel->GetDisplayColor(out, in, false);
    EXPECT_FLOAT_EQ(out[0], 0.7f);
    field->GetDisplayColor(out, in, false);
    EXPECT_FLOAT_EQ(out[0], 1.0f) << "the active window itself is not darkened";
    menuItem->GetDisplayColor(out, in, false);
    EXPECT_FLOAT_EQ(out[0], 1.0f) << "nodes under a modal-exempt menu are never darkened";
    panel->DimWithWindows = false;
    panel->GetDisplayColor(out, in, false);
    EXPECT_FLOAT_EQ(out[0], 1.0f);

    // A window that is gone darkens nothing.
    dialog->Unlink();
    delete dialog;
    panel->DimWithWindows = true;
    panel->GetDisplayColor(out, in, false);
    EXPECT_FLOAT_EQ(out[0], 1.0f);
}

} // namespace
