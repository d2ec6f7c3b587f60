// The master without GL: layout passes, occlusion, deletion between frames,
// idle ticks on a set clock, focus, windows kept reachable, and the blank
// application's callbacks through the master list.
#include "GuiFont.h"
#include "GuiHint.h"
#include "GuiMaster.h"
#include "GuiWidgets.h"
#include "QOREvents.h"
#include "QORglut.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class GuiMasterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
    }
    void TearDown() override { QOREvents_Clean(); }
};

struct TCountingNode : TGui_Node {
    using TGui_Node::TGui_Node;
    int Idles = 0, Activations = 0, Deactivations = 0;
    void OnIdle() override { ++Idles; }
    void OnActivate() override { ++Activations; }
    void OnDeactivate() override { ++Deactivations; }
};

TEST_F(GuiMasterTest, PositionsAddParentsAndScrollingButControlsDoNotScroll)
{
    TGui_Master master;
    master.SetSize(400, 300);
    TGui_Node* panel = master.AddNode(nullptr, 200, 100);
    panel->SetPosition(10, 20);
    TGui_Node* inner = panel->AddNode(nullptr, 20, 300);
    inner->SetPosition(3, 4);
    TGui_ScrollBar* bar = panel->CreateVerticalScrollBar();
    bar->Value = 50;
    master.LayoutTree();
    EXPECT_EQ(panel->AbsX, 10);
    EXPECT_EQ(inner->AbsX, 13);
    EXPECT_EQ(inner->AbsY, 24 - 50);
    EXPECT_EQ(bar->AbsY, 20) << "controls do not scroll";
    EXPECT_EQ(bar->AbsX, 10 + 200 - bar->Width);
}

TEST_F(GuiMasterTest, ALaterSiblingThatCoversANodeOccludesIt)
{
    struct TCase {
        int X, Y, W, H;
        bool Shown, Occluded;
    };
    const TCase cases[] = {
        {10, 10, 100, 50, true, true},    // equal edges count as covered
        {9, 10, 101, 50, true, true},     // larger on the left
        {11, 10, 100, 50, true, false},   // one pixel short on the left
        {10, 10, 99, 50, true, false},    // one pixel short on the right
        {10, 10, 100, 49, true, false},   // one pixel short at the bottom
        {10, 10, 100, 50, false, false},  // a hidden sibling covers nothing
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.X) + " " + std::to_string(c.W) + " " + std::to_string(c.H));
        TGui_Master master;
        master.SetSize(400, 300);
        TGui_Node* under = master.AddNode(nullptr, 100, 50);
        under->SetPosition(10, 10);
        TGui_Node* over = master.AddNode(nullptr, c.W, c.H);
        over->SetPosition(c.X, c.Y);
        over->Shown = c.Shown;
        master.LayoutTree();
        EXPECT_EQ(under->Occluded, c.Occluded);
        EXPECT_FALSE(over->Occluded);
        // The mark is cleared by the next size pass.
        over->Hide();
        master.LayoutTree();
        EXPECT_FALSE(under->Occluded);
    }
}

TEST_F(GuiMasterTest, DeletePendingNodesGoWithTheirSubtreeAtTheNextFrame)
{
    TGui_Master master;
    master.SetSize(400, 300);
    TGui_Node* keep = master.AddNode(nullptr, 10, 10);
    TGui_Node* doomed = master.AddNode(nullptr, 10, 10);
    TGui_Node* child = doomed->AddNode(nullptr, 5, 5);
    TGui_Node* last = master.AddNode(nullptr, 10, 10);
    uint32_t doomedID = doomed->GetID(), childID = child->GetID();
    doomed->DeletePending = true;
    master.SetActiveNode(child);
    master.LayoutTree();
    EXPECT_EQ(__GetThingyFromID(doomedID), nullptr);
    EXPECT_EQ(__GetThingyFromID(childID), nullptr);
    EXPECT_EQ(keep->Next, last);
    EXPECT_EQ(master.GetActiveNode(), nullptr) << "the focus held by ID resolves to nothing";

    // The head of a list may go too.
    TGui_Node* head = master.FirstChild;
    head->DeletePending = true;
    master.LayoutTree();
    EXPECT_NE(master.FirstChild, head);
}

TEST_F(GuiMasterTest, KeepOnTopNodesAreDrawnLastUnlessAModalWindowHoldsThemDown)
{
    TGui_Master master;
    master.SetSize(400, 300);
    auto* floating = new TGui_Window(&master);
    floating->KeepOnTop = true;
    master.AddNode(nullptr, 10, 10);
    master.LayoutTree();
    TGui_Node* last = master.FirstChild;
    while (last->Next) last = last->Next;
    EXPECT_TRUE(last == floating || last == master.HintNode);

    auto* modal = new TGui_Window(&master);
    modal->IsModal = true;
    master.ModalWindows.Insert(0, modal->GetID());
    TGui_Node* before = floating->Next;
    master.LayoutTree();
    EXPECT_EQ(floating->Next, before) << "held down by the modal window";
    EXPECT_EQ(master.GetModalWindow(0), modal);
    modal->Unlink();
    delete modal;
    EXPECT_EQ(master.GetModalWindow(0), nullptr) << "a stale stack entry resolves to nothing";
    master.LayoutTree();   // and is skipped by layout: the window returns to the top
    EXPECT_TRUE(floating->Next == nullptr || floating->Next == master.HintNode);
}

TEST_F(GuiMasterTest, WindowsStayReachableAndTinyCanvasesMakeNoNegativeSizes)
{
    struct TCase {
        int CanvasW, CanvasH, X, Y, W, H;
        bool Clamp;
        int ExpX, ExpY, ExpW, ExpH;
    };
    const TCase cases[] = {
        {800, 600, -95, 10, 100, 50, true, -80, 10, 100, 50},     // only 5 pixels inside: back to 20
        {800, 600, 790, 595, 100, 50, true, 780, 580, 100, 50},    // past the right and bottom edges
        {800, 600, 0, 0, 900, 50, false, 0, 0, 900, 50},           // keeps its width without the clamp flag
        {800, 600, 0, 0, 900, 700, true, 0, 0, 780, 560},          // the 20-pixel title bar counts too
        // A canvas under 20 pixels: the clamp gives 0 x 0 at (20, 20), then the
        // window's own pass grows it back to its least size inside the canvas.
        {10, 10, 0, 0, 100, 50, true, 10, 10, 100, 50},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.CanvasW) + " " + std::to_string(c.X));
        TGui_Master master;
        master.SetSize(c.CanvasW, c.CanvasH);
        auto* w = new TGui_Window(&master);
        w->SetPosition(c.X, c.Y);
        w->SetSize(c.W, c.H);
        w->ClampSizeToMaster = c.Clamp;
        master.LayoutTree();
        EXPECT_EQ(w->X, c.ExpX);
        EXPECT_EQ(w->Y, c.ExpY);
        EXPECT_EQ(w->Width, c.ExpW);
        EXPECT_EQ(w->Height, c.ExpH);
        EXPECT_GE(w->Width, 0);
        EXPECT_GE(w->Height, 0);
    }
}

TEST_F(GuiMasterTest, IdleTicksAtMostEveryTwentyMilliseconds)
{
    TGui_Master master;
    auto* node = new TCountingNode(&master);
    auto* deeper = new TCountingNode(node);
    master.Clock.Stop();
    struct TStep {
        double Time;
        int Ticks;
    };
    for (TStep s : {TStep{1.0, 1}, TStep{1.01, 1}, TStep{1.02, 1}, TStep{1.05, 2}, TStep{0.5, 2}}) {
        SCOPED_TRACE(s.Time);
        master.Clock.SetTime(s.Time);
        master.ProcessIdle();
        EXPECT_EQ(node->Idles, s.Ticks);
        EXPECT_EQ(deeper->Idles, s.Ticks);
    }
}

TEST_F(GuiMasterTest, FlashesLastTheirDurationOnTheMastersClock)
{
    TGui_Master master;
    master.Clock.Stop();
    master.Clock.SetTime(10.0);
    TGui_Node* node = master.AddNode(nullptr, 10, 10);
    node->Flash(false);
    EXPECT_FALSE(node->FlashDrawn);
    EXPECT_FLOAT_EQ(node->FlashStartTime, 10.0f);
    TGui_Node loose;
    loose.Flash(true);
    EXPECT_TRUE(loose.FlashDrawn) << "outside a master nothing happens";
    // After the end the idle tick clears the deadline (and posts the frame that removes it).
    master.FlashDeadline = 10.25f;
    master.Clock.SetTime(10.3);
    master.ProcessIdle();
    EXPECT_FLOAT_EQ(master.FlashDeadline, 0.0f);
}

TEST_F(GuiMasterTest, FocusMovesOnlyWhenTheNodeChanges)
{
    TGui_Master master;
    auto* a = new TCountingNode(&master);
    auto* b = new TCountingNode(&master);
    master.SetActiveNode(a);
    EXPECT_EQ(a->Activations, 1);
    master.SetActiveNode(a);
    EXPECT_EQ(a->Activations, 1);
    EXPECT_EQ(a->Deactivations, 0);
    b->MakeActiveNode();
    EXPECT_EQ(a->Deactivations, 1);
    EXPECT_EQ(b->Activations, 1);
    EXPECT_EQ(master.ActiveNodeID, b->GetID());
    master.SetActiveNode(nullptr);
    EXPECT_EQ(b->Deactivations, 1);
    EXPECT_EQ(master.ActiveNodeID, 0u);

    // The first focusable node of a container gets the focus.
    auto* box = new TGui_Window(&master);
    TGui_Node* group = box->AddNode(nullptr, 10, 10);
    TGui_Node* field = group->AddNode(nullptr, 10, 10);
    field->NoFocus = false;
    EXPECT_EQ(master.ActivateFirstFocusableNode(box), field);
    master.SelectParentWindow(field);
    EXPECT_EQ(master.ActiveWindowID, box->GetID());
    TGui_Node* lastChild = master.FirstChild;
    while (lastChild->Next) lastChild = lastChild->Next;
    EXPECT_EQ(lastChild, box);
}

TEST_F(GuiMasterTest, TheBlankApplicationsCallbacksGoToTheFirstMasterOfTheWindow)
{
    auto first = std::make_unique<TGui_BlankApp>(QORglutGetWindow(), nullptr);
    auto second = std::make_unique<TGui_BlankApp>(QORglutGetWindow(), nullptr);
    EXPECT_EQ(fOnMouse, &TGui_BlankApp::MouseCB);
    EXPECT_EQ(fOnDisplay, &TGui_BlankApp::DisplayCB);
    EXPECT_EQ(QORglutWigits_GetMasterFromWindowID(QORglutGetWindow()), first.get());
    EXPECT_EQ(QORglutWigits_GetMasterFromWindowID(12345), nullptr);

    TGui_BlankApp::MouseCB(2, 0, 30, 40);
    EXPECT_EQ(first->LastButton, 2);
    EXPECT_EQ(first->PressX, 30);
    EXPECT_EQ(second->LastButton, -1);

    TGui_BlankApp::ReshapeCB(640, 480);
    EXPECT_EQ(first->Width, 640);
    EXPECT_EQ(first->Height, 480);
    TGui_BlankApp::ReshapeCB(0, 480);   // a minimised window
    TGui_BlankApp::ReshapeCB(640, 0);
    EXPECT_EQ(first->Width, 640);
    EXPECT_EQ(first->Height, 480);
    EXPECT_EQ(TGui_BlankApp::MaximizeCB(), 1);

    first.reset();
    TGui_BlankApp::MotionCB(7, 8);
    EXPECT_EQ(second->MouseX, 7) << "with the first gone, the second gets the callbacks";

    Gui_CleanMasterList();
    EXPECT_EQ(QORglutWigits_GetMasterFromWindowID(QORglutGetWindow()), nullptr);
    TGui_BlankApp::MouseCB(0, 0, 1, 1);
    TGui_BlankApp::KeyboardCB('a', 0, 0);
    TGui_BlankApp::SpecialCB(QORGLUT_KEY_LEFT, 0, 0);
    TGui_BlankApp::ReshapeCB(10, 10);
    TGui_BlankApp::DisplayCB();
    EXPECT_EQ(TGui_BlankApp::ExitCB(), 0);
    EXPECT_EQ(second->LastButton, -1);
    EXPECT_EQ(second->Width, 0) << "the reshapes went to the first master only, and this one was dropped";
    second.reset();   // a master destroyed after the list is gone leaves it alone
    EXPECT_EQ(MasterList, nullptr);

    TGui_Master later;
    ASSERT_NE(MasterList, nullptr) << "a master constructed afterwards makes a new list";
    EXPECT_EQ(MasterList->Count(), 1);
    QORglutDisplayFunc(nullptr);
    QORglutMouseFunc(nullptr);
}

TEST_F(GuiMasterTest, TheMasterOwnsAHiddenHintNodeAndItsReminder)
{
    TGui_Master master;
    EXPECT_STREQ(master.HintText, "Press ESC to hide this hint");
    ASSERT_NE(master.HintNode, nullptr);
    EXPECT_EQ(master.HintNode->Parent, &master);
    EXPECT_FALSE(master.HintNode->Shown);
    EXPECT_TRUE(master.HintNode->MouseTransparent);
    EXPECT_STREQ(master.GetName(), "Master");
    EXPECT_EQ(master.AddMenuBar(), master.AddMenuBar());
}

} // namespace
