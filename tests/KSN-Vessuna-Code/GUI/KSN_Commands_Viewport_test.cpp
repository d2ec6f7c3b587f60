// The viewport commands through the dispatcher: the mouse wheel, standard
// views and the locked response, layouts and maximising, viewing modes,
// framing, the look-at commands, display modes and the pan scrollers.
#include "KSN_ViewportTestSupport.h"

#include "GuiGauge.h"
#include "QORString.h"

namespace {

class ViewportCommands : public ViewportFixture {
protected:
    static bool Send(int command, uint32_t owner, int int0 = 0, int index = -1, const char* str0 = nullptr)
    {
        TQOREvent e(KestruneEvents_CommandCB, owner, command);
        e.intParameters[0] = int0;
        e.SetIndex(index);
        if (str0) e.AssignStringParameter(str0, 0);
        return QORProcessEventNow(&e);
    }
    static TQOREvent* LastQueued()
    {
        const int n = QOREvents_GetEventCount();
        return n ? QOREvents_PeekEvent(n - 1) : nullptr;
    }
};

TEST_F(ViewportCommands, TheWheelZoomsAboutThePointerOrStepsOneToolValue)
{
    TKSN_ViewportPanel* p = Panel(0);
    TKSN_Viewport* v = View(0);
    App->SetAllMouseWheelDudesToFalse();
    App->mouseWheelModes[0] = true;
    App->mouseWheelSensitivity = 0.5f;
    TKSN_Tool* savedZoomTool = App->zoomViewTool;
    App->zoomViewTool = Tool;   // zooming needs the zoom navigation tool
    struct TCase {
        int Wheel;
        float Factor;
    };
    for (const TCase& c : {TCase{1, 1.0f / 1.525f}, TCase{-1, 1.525f}, TCase{0, 1.0f}}) {
        SCOPED_TRACE(c.Wheel);
        v->SetZoomForLoadingOnly(2.0f);
        const float centre[3] = {0, 0, 0};
        v->SetLookAtForLoadingOnly(centre);
        TQOREvent e(KestruneEvents_CommandCB, p->GetID(), 280);
        e.intParameters[0] = c.Wheel;
        e.SetX(p->Width);   // the right edge: u = 1
        e.SetY(p->Height / 2);
        ASSERT_TRUE(QORProcessEventNow(&e));
        EXPECT_NEAR(v->GetZoom(), 2.0f * c.Factor, 1e-5f);
        float lookAt[3];
        v->GetLookAt(lookAt);
        // The point under the pointer stays: the look-at moves towards it when zooming in.
        if (c.Wheel > 0) {
            EXPECT_GT(std::fabs(lookAt[0]) + std::fabs(lookAt[1]) + std::fabs(lookAt[2]), 0.0f);
        }
        if (c.Wheel == 0) {
            EXPECT_EQ(lookAt[0], 0.0f);
        }
    }
    // Strength and size both chosen: only the strength step is queued.
    App->mouseWheelModes[0] = false;
    App->mouseWheelModes[1] = App->mouseWheelModes[2] = true;
    QOREvents_Clean();
    ASSERT_TRUE(Send(280, p->GetID(), 3));
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(LastQueued()->GetCommand(), 105);
    EXPECT_EQ(LastQueued()->intParameters[0], 1);
    ASSERT_TRUE(Send(280, p->GetID(), -2));
    EXPECT_EQ(LastQueued()->GetCommand(), 106);
    QOREvents_Clean();
    ASSERT_TRUE(Send(280, p->GetID(), 0));
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
    App->SetAllMouseWheelDudesToFalse();
    App->zoomViewTool = savedZoomTool;
}

TEST_F(ViewportCommands, AStandardViewOnALockedViewportIsRefusedWithAWarning)
{
    TKSN_ViewportPanel* p = Panel(1);
    View(1)->Lock();
    QOREvents_Clean();
    g_Printed.clear();
    EXPECT_FALSE(Send(270, p->GetID()));
    ASSERT_EQ(CountQueued(279), 1);
    EXPECT_EQ(LastQueued()->GetOwnerID(), View(1)->GetID()) << "owned by the viewport";
    EXPECT_EQ(LastPrinted(), QORFormat(Lang.GetText(1461), View(1)->GetName()));
    View(1)->Unlock();

    QOREvents_Clean();
    View(1)->SetToTop(false);
    EXPECT_TRUE(Send(270, p->GetID()));
    ASSERT_EQ(CountQueued(279), 1);
    EXPECT_EQ(LastQueued()->GetOwnerID(), p->GetID()) << "owned by the panel";
    p->OnUpdateContents();
    EXPECT_STREQ(p->OrientationOptions->Box->GetName(), "Front");
    // 279 flashes the orientation box of the viewport's panel.
    KestruneEvents_ProcessEvents();
    EXPECT_TRUE(Run(279, 1, 0, 0.0f, View(1)->GetID()));
    EXPECT_FALSE(Send(259, p->GetID()));
    EXPECT_FALSE(Send(314, p->GetID()));
    EXPECT_TRUE(Send(296, p->GetID()));
}

TEST_F(ViewportCommands, LayoutFiveTurnsTheAuxiliaryViewsIntoAutomaticViews)
{
    W().MaximizedViewportPanel = Panel(1);
    TQOREvent e(KestruneEvents_CommandCB, 0, 301);
    e.SetIndex(5);
    ASSERT_TRUE(QORProcessEventNow(&e));
    EXPECT_EQ(App->viewportLayout, 5);
    EXPECT_EQ(W().MaximizedViewportPanel, nullptr);
    EXPECT_FALSE(View(0)->GetAutoView());
    const char* expected[4] = {nullptr, "Top (Auto)", "Left (Auto)", "Back (Auto)"};
    for (int i = 1; i < 4; ++i) {
        EXPECT_TRUE(View(i)->GetAutoView());
        EXPECT_EQ(KSN_OrientationCaption(View(i)), expected[i]);
    }
}

TEST_F(ViewportCommands, MaximiseTwiceRestores)
{
    App->viewportLayout = 4;
    Layout();
    ASSERT_TRUE(Send(302, Panel(3)->GetID()));
    EXPECT_EQ(W().MaximizedViewportPanel, Panel(3));
    EXPECT_EQ(Project->GetCurrentViewportIndex(), 3);
    Layout();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Panel(i)->Shown, i == 3);
    ASSERT_TRUE(Send(302, Panel(3)->GetID()));
    EXPECT_EQ(W().MaximizedViewportPanel, nullptr);
    Layout();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(Panel(i)->Shown);
}

TEST_F(ViewportCommands, ViewingModesKeepTheModeBeforeModeFour)
{
    TKSN_ViewportPanel* p = Panel(0);
    // In paint mode every mode below 3 becomes 3.
    UseTool(KSN_TOOL_MOUSE_INPUT);
    auto* brush = new TKSN_PaintBrush();
    App->currentTool = brush;
    ASSERT_EQ(Project->GetMode(), 3);
    TQOREvent e(KestruneEvents_CommandCB, p->GetID(), 303);
    e.SetIndex(1);
    ASSERT_TRUE(QORProcessEventNow(&e));
    EXPECT_EQ(e.GetIndex(), 3);
    EXPECT_EQ(p->ViewMode, 3);
    App->currentTool = nullptr;
    delete brush;

    ASSERT_TRUE(Send(303, p->GetID(), 0, 4));
    EXPECT_EQ(p->ViewMode, 4);
    EXPECT_EQ(p->PreviousViewMode, 3);
    QOREvents_Clean();
    ASSERT_TRUE(Send(295, 0));
    KestruneEvents_ProcessEvents();
    EXPECT_EQ(p->ViewMode, 3);
    EXPECT_FALSE(Send(303, View(0)->GetID(), 0, 2)) << "the owner must be a panel";
}

TEST_F(ViewportCommands, FramingChoosesSelectionObjectOrAll)
{
    TKSN_Mesh* a = AddCurrentMesh("A", Square(0.5f));
    g_Printed.clear();
    g_Printed.clear();
    ASSERT_TRUE(Send(284, Panel(0)->GetID()));
    EXPECT_EQ(g_Printed.at(0), Lang.GetText(1187)) << "one object: the object";
    AddCurrentMesh("B", Square(0.5f, 3.0f));
    g_Printed.clear();
    ASSERT_TRUE(Send(284, Panel(0)->GetID()));
    EXPECT_EQ(g_Printed.at(0), Lang.GetText(1188)) << "several: all";
    // The frame scope of deformations (command 119) is another setting than the frame mode.
    ASSERT_TRUE(Run(119, 1, 1));
    EXPECT_EQ(Project->FrameMode, 0);
    Project->FrameMode = 1;
    g_Printed.clear();
    ASSERT_TRUE(Send(284, Panel(0)->GetID()));
    EXPECT_EQ(g_Printed.at(0), Lang.GetText(1187)) << "frame mode 1: the current object";
    Project->FrameMode = 0;
    a->VertexInfo[0].Select = 1.0f;
    a->SelectedListsValid = false;
    ASSERT_GT(a->GetSelectedVertexCount(), 0);
    g_Printed.clear();
    ASSERT_TRUE(Send(284, Panel(0)->GetID()));
    EXPECT_EQ(g_Printed.at(0), Lang.GetText(1186)) << "a selection: the selection";
    W().ShiftHeld = true;
    g_Printed.clear();
    ASSERT_TRUE(Send(284, Panel(0)->GetID()));
    EXPECT_EQ(g_Printed.at(0), Lang.GetText(1188)) << "Shift ignores the selection";
    W().ShiftHeld = false;
    // 285 prints nothing with int0 = 1 and leaves unshown viewports alone.
    a->VertexInfo[0].Select = 0.0f;
    a->SelectedListsValid = false;
    App->viewportLayout = 0;
    Layout();
    g_Printed.clear();
    const float far[3] = {50, 50, 50};
    View(3)->SetLookAtForLoadingOnly(far);
    ASSERT_TRUE(Send(285, 0, 1));
    EXPECT_TRUE(g_Printed.empty());
    EXPECT_EQ(View(3)->LookAt[0], 50.0f) << "not shown: not framed";
}

TEST_F(ViewportCommands, CentringTheLookAtNeedsAnObjectWithAMesh)
{
    TKSN_Viewport* v = View(0);
    const float start[3] = {0.3f, 0.4f, 0.5f};
    v->SetLookAtForLoadingOnly(start);
    for (int command : {289, 290, 291}) {
        ASSERT_TRUE(Send(command, Panel(0)->GetID()));
        EXPECT_EQ(v->LookAt[0], 0.3f);
        EXPECT_EQ(v->LookAt[1], 0.4f);
        EXPECT_EQ(v->LookAt[2], 0.5f);
    }
    AddCurrentMesh("A", Square(1.0f, 2.0f, -4.0f));
    ASSERT_TRUE(Send(289, Panel(0)->GetID()));
    ASSERT_TRUE(Send(290, Panel(0)->GetID()));
    EXPECT_FLOAT_EQ(v->LookAt[0], 2.0f);
    EXPECT_FLOAT_EQ(v->LookAt[1], -4.0f);
    ASSERT_TRUE(Send(294, Panel(0)->GetID()));
    EXPECT_EQ(v->LookAt[2], 0.0f);
}

TEST_F(ViewportCommands, ChannelMapsMatchAnyCaseButNeverGlossy)
{
    TKSN_ViewportPanel* p = Panel(0);
    TKSN_Viewport* v = View(0);
    v->DisplayMode = 1;
    ASSERT_TRUE(Send(307, p->GetID(), 0, -1, "color"));
    EXPECT_EQ(v->DisplayMode, 3);
    EXPECT_STREQ(v->materialChannelName, "Color");
    v->DisplayMode = 2;
    ASSERT_TRUE(Send(307, p->GetID(), 0, -1, "Glossy"));
    EXPECT_EQ(v->DisplayMode, 2);
    ASSERT_TRUE(Send(307, p->GetID(), 0, -1, "Nonsense"));
    EXPECT_EQ(v->DisplayMode, 2);
    g_Printed.clear();
    ASSERT_TRUE(Send(308, p->GetID(), 3));
    EXPECT_EQ(v->DisplayMode, 3);
    EXPECT_TRUE(g_Printed.empty()) << "mode 3 through 308 prints nothing";
    EXPECT_STREQ(v->materialChannelName, "Color");
}

TEST_F(ViewportCommands, PanScrollersReadBackWhatTheySet)
{
    TKSN_Viewport* v = View(1);
    KSN_SetIdentityView(v);
    Project->WorldCentre[0] = 0.25f;
    Project->WorldCentre[1] = -0.5f;
    Project->WorldCentre[2] = 0.0f;
    Project->SceneRadius = 100.0f;
    const float start[3] = {1.0f, 2.0f, 3.0f};
    v->SetLookAtForLoadingOnly(start);
    TGui_Gauge* gauge = W().AddGauge("pan", "", 0.0f, 10.0f);
    for (int command : {310, 311}) {
        SCOPED_TRACE(command);
        TQOREvent get(KestruneEvents_CommandCB, 0, command);
        get.idParameters[0] = v->GetID();
        get.dispatcherID = gauge->GetID();
        get.operationMode = 0;
        ASSERT_TRUE(QORProcessEventNow(&get));
        EXPECT_FLOAT_EQ(get.floatParameters[0], command == 310 ? 1.0f - 0.25f : -(2.0f + 0.5f));
        TQOREvent set(KestruneEvents_CommandCB, 0, command);
        set.idParameters[0] = v->GetID();
        set.dispatcherID = gauge->GetID();
        set.operationMode = 1;
        set.floatParameters[0] = get.floatParameters[0];
        ASSERT_TRUE(QORProcessEventNow(&set));
        EXPECT_FLOAT_EQ(v->LookAt[0], 1.0f);
        EXPECT_FLOAT_EQ(v->LookAt[1], 2.0f);
        EXPECT_FLOAT_EQ(v->LookAt[2], 3.0f);
    }
    TQOREvent stray(KestruneEvents_CommandCB, 0, 310);
    stray.idParameters[0] = v->GetID();
    EXPECT_FALSE(QORProcessEventNow(&stray)) << "no scroller";
    gauge->Unlink();
    delete gauge;
}

TEST_F(ViewportCommands, RealTimeDrawingIsABracket)
{
    Project->InteractiveMotion = false;
    ASSERT_TRUE(Send(261, 0));
    EXPECT_FALSE(Project->InteractiveMotion);
    ASSERT_TRUE(Send(260, 0));
    EXPECT_TRUE(Project->InteractiveMotion);
    ASSERT_TRUE(Send(265, 0));
    EXPECT_TRUE(Project->InteractiveMotion) << "265 only ends the tiling view's bracket";
    ASSERT_TRUE(Send(262, 0));
    EXPECT_FALSE(Project->InteractiveMotion);
}

TEST_F(ViewportCommands, RefreshingEverythingMarksEveryViewport)
{
    AddCurrentMesh("A", Square(0.5f));
    for (TKSN_Viewport* v : App->viewports) v->ClearRenderedSceneStatus();
    g_Printed.clear();
    ASSERT_TRUE(Send(283, 0));
    EXPECT_EQ(g_Printed.front(), Lang.GetText(1597));
    for (TKSN_Viewport* v : App->viewports) {
        if (v->shown) {
            EXPECT_EQ(v->GetRenderedSceneStatus(), 2);
        }
    }
    // 299 refreshes every panel as well.
    const int before = Panel(0)->ViewChangedCount;
    ASSERT_TRUE(Send(299, 0));
    EXPECT_EQ(Panel(0)->ViewChangedCount, before + 1);
}

TEST_F(ViewportCommands, ViewChangesCanBeUndoneRedoneCopiedAndPasted)
{
    TKSN_Viewport* v = View(1);
    TKSN_ViewportPanel* p = Panel(1);
    auto nav = [](int command) {
        TQOREvent e(KSN_NavigatorCommandsCB, 0, command);
        return KSN_NavigatorCommandsCB(&e);
    };
    NavCleanStacks();
    EXPECT_FALSE(nav(536261)) << "nothing to undo";
    v->SetToTop(false);
    const std::string top = KSN_OrientationCaption(v);
    ASSERT_TRUE(Send(270, p->GetID()));
    ASSERT_NE(NavPeekUndoNode(), nullptr);
    EXPECT_EQ(KSN_OrientationCaption(v), "Front");
    ASSERT_TRUE(nav(536261));
    EXPECT_EQ(KSN_OrientationCaption(v), top);
    EXPECT_EQ(NavPeekUndoNode(), nullptr);
    ASSERT_NE(NavPeekRedoNode(), nullptr);
    ASSERT_TRUE(nav(536262));
    EXPECT_EQ(KSN_OrientationCaption(v), "Front");

    // The current viewport's view pasted into another viewport, undoable there.
    Project->SetCurrentViewportIndex(2);
    View(2)->SetToLeft(false);
    ASSERT_TRUE(nav(536259));
    Project->SetCurrentViewportIndex(1);
    ASSERT_TRUE(nav(536260));
    EXPECT_EQ(KSN_OrientationCaption(v), "Left");
    ASSERT_TRUE(nav(536261));
    EXPECT_EQ(KSN_OrientationCaption(v), "Front");
    // A new step empties the redo stack.
    NavSetupUndo(v);
    EXPECT_EQ(NavPeekRedoNode(), nullptr);
    NavCleanStacks();
    EXPECT_EQ(NavPeekUndoNode(), nullptr);
}

} // namespace
