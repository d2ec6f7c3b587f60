// Idle work: the order of the steps of OnIdleOrPassive, the release of the
// painting memory after a pause, the end of a selection edit, and the
// answers of OnIdle and CheckForLowRAM.
#include "KSN_ProjectEditTestSupport.h"

#include "KSN_Union.h"
#include "QORLanguage.h"
#include "QORTimer.h"

namespace {

using namespace ksn_edit_test;
using IdleTest = ProjectEditFixture;

// Makes a stopwatch read `seconds` and keep running.
void StartedAgo(TQORTimer& timer, double seconds)
{
    timer.Start();
    timer.StartTime -= seconds;
}

TEST_F(IdleTest, StepsRunInTheirOrder)
{
    OS.AssignOnDoProgress([] { Log.push_back("progress"); });
    OS.InProgress();
    Log.clear();

    TKSN_Object* object = MakeObject("Head");
    Project->SetCurrentObject(object);
    auto* tool = MakeTool<TKSN_SculptBrush>("Sculpt", App->sculptTools, 0, 3);
    App->currentTool = tool;
    App->SetCustomProgressMessage("Busy");
    auto* hidden = new TKSN_MorphUnion;   // owned by the union tree
    Project->MorphUnions->AddItem(hidden);
    Project->MorphUnions->collapsed = true;
    hidden->multiSelected = true;
    ClearViewportStatuses();
    for (int i = 2; i < 4; ++i) App->viewports[i]->shown = false;
    Project->SelectingFlag = true;
    Project->InteractiveMotion = true;
    StartedAgo(TKSN_Project::MotionTimer, 1.0);
    StartedAgo(Project->ViewportsChangedTimer, 1.0);
    QOREvents_Clean();
    Log.clear();

    const int queued = Project->OnIdleOrPassive();

    const std::vector<std::string> expected = {
        "progress",        // 1. the open progress ends
        "culling Sculpt",  // 2. the effective culling method is taken from the tool ...
        "push 431",        //    ... and has changed
        "push 299",        // 7. the motion has settled
        "push 146",        // 10. one redisplay per shown viewport that is not valid:
        "push 146",        //     the selection edit of step 3 raised them all
        "tool idle Sculpt" // 12.
    };
    EXPECT_EQ(Log, expected);
    EXPECT_EQ(queued, QOREvents_GetEventCount());
    EXPECT_EQ(queued, 4);
    EXPECT_FALSE(OS.IsInProgress());
    EXPECT_EQ(Project->GetCullingMethod(), 3);
    EXPECT_FALSE(Project->SelectingFlag);
    EXPECT_FALSE(Project->InteractiveMotion);
    EXPECT_FALSE(Project->ViewportsChangedTimer.IsTiming());
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 2, 2, 2}));
    EXPECT_STREQ(App->GetCustomProgressMessage(), Lang.GetText(227));
    EXPECT_FALSE(hidden->multiSelected) << "highlights in collapsed groups are cleared";
    OS.AssignOnDoProgress(nullptr);
}

TEST_F(IdleTest, WithNothingPendingOnlyTheInvalidViewportsAreRedisplayed)
{
    ClearViewportStatuses();
    App->viewports[1]->SetRenderedSceneStatus(1);
    Project->InteractiveMotion = true;
    TKSN_Project::MotionTimer.Start();   // moved just now
    EXPECT_EQ(Project->OnIdleOrPassive(), 1);
    EXPECT_EQ(Log, (std::vector<std::string>{"push 146"}));
    EXPECT_TRUE(Project->InteractiveMotion) << "still moving";
}

TEST_F(IdleTest, PaintingMemoryIsReleasedOnceAfterAPause)
{
    TKSN_DepthBuffer* first = App->paintDepthBuffer;
    TKSN_DepthBuffer* second = App->viewDepthBuffer;
    auto fill = [&] {
        KSN_ResizeDepthBuffer(first, 16, 8);
        KSN_ResizeDepthBuffer(second, 16, 8);
    };

    fill();
    App->currentTool = MakeTool<TKSN_PaintBrush>("Paint", App->paintTools);
    StartedAgo(TimerSinceLastPaintOperationCompleted, 21.0);
    Project->OnIdleOrPassive();
    EXPECT_EQ(first->width, 16) << "a paint brush is current";

    App->currentTool = MakeTool<TKSN_SculptBrush>("Sculpt", App->sculptTools);
    Project->OnIdleOrPassive();
    EXPECT_EQ(first->width, 0);
    EXPECT_EQ(first->height, 0);
    EXPECT_EQ(second->width, 0);
    EXPECT_FALSE(TimerSinceLastPaintOperationCompleted.IsTiming());
    EXPECT_EQ(TimerSinceLastPaintOperationCompleted.Read(), 0.0);

    fill();
    Project->OnIdleOrPassive();
    EXPECT_EQ(first->width, 16) << "no release until the next stroke ends";

    StartedAgo(TimerSinceLastPaintOperationCompleted, 5.0);
    Project->OnIdleOrPassive();
    EXPECT_EQ(first->width, 16) << "not paused long enough";
}

TEST_F(IdleTest, OnIdleEndsPaintingOutsideThePaintMode)
{
    App->currentTool = MakeTool<TKSN_PaintBrush>("Paint", App->paintTools);
    Project->PaintingFlag = true;
    Project->OnIdle();
    EXPECT_TRUE(Project->PaintingFlag) << "a paint brush is painting";
    App->currentTool = MakeTool<TKSN_Chisel>("Chisel", App->deformationTools);
    Project->OnIdle();
    EXPECT_FALSE(Project->PaintingFlag);
}

TEST_F(IdleTest, LowMemoryIsNeverReported)
{
    LowRAMTimer.Stop();
    LowRAMTimer.SetTime(0.0);
    EXPECT_FALSE(Project->CheckForLowRAM(60.0f, false));
    EXPECT_TRUE(LowRAMTimer.IsTiming());
    StartedAgo(LowRAMTimer, 61.0);
    EXPECT_FALSE(Project->CheckForLowRAM(60.0f, false));
    EXPECT_LT(LowRAMTimer.Read(), 60.0) << "restarted after the interval";
}

} // namespace
