// Idle work: the project's deferred housekeeping.
//
// The main window's idle processing calls OnIdle and, after trimming the undo
// and redo lists, OnIdleOrPassive; passive mouse motion calls OnIdleOrPassive
// too. The steps of OnIdleOrPassive run in a fixed order: the culling update
// comes before the refreshes it may ask for, and the viewport redisplays are
// queued only after every step that may raise a viewport's rendered-scene
// status. Saving, undo and redo first call FinishAllVertexAdjustments. Main
// thread only.
#include "KSN_Project.h"

#include <ctime>
#include <memory>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Tool.h"
#include "KSN_Union.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORPolyMesh.h"
#include "QORString.h"
#include "QORglut.h"

TQORTimer TKSN_Project::MotionTimer;
bool (*TKSN_Project::InterApplicationPollHook)() = nullptr;

namespace {

constexpr int CommandRedisplay = 146;
constexpr int CommandAllViewportsChanged = 299;

// Seconds without painting before the painting work memory is released.
constexpr double PaintingMemoryIdleSeconds = 20.0;
// Seconds after the last interactive motion, or after a flashed frame,
// before the views are refreshed.
constexpr double MotionSettleSeconds = 0.5;
constexpr double FlashSeconds = 0.5;

// The poll of the outside applications' exchange files, when one is registered.
void PollInterApplicationExchange()
{
    if (TKSN_Project::InterApplicationPollHook) TKSN_Project::InterApplicationPollHook();
}

std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> MeshesOf(TKSN_Project* project)
{
    return std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>>(project->GetMeshList());
}

void ReleasePaintingMemory()
{
    OS.DebugMessage("Freeing temporary painting memory");
    if (!App) return;
    KSN_ResizeDepthBuffer(App->paintDepthBuffer, 0, 0);
    TKSN_DepthBuffer* second = App->viewDepthBuffer;
    if (second && second->width != 0 && second->height != 0) KSN_ResizeDepthBuffer(second, 0, 0);
}

} // namespace

void TKSN_Project::OnIdle()
{
    PolygonAllocator_Maintenance();
    auto meshes = MeshesOf(this);
    for (TKSN_Mesh* mesh : *meshes) mesh->CleanAllSupplementaryStructures();
    if (App && !App->IsCurrentToolAPaintBrush() && IsPainting()) PaintingFlag = false;
}

int TKSN_Project::OnIdleOrPassive()
{
    // 1. A progress display left open by an interrupted operation.
    if (OS.IsInProgress()) OS.NotInProgress();

    // 2.
    UpdateEffectiveCullingMethod();

    // 3. A selection edit has ended.
    if (SelectingFlag) {
        SelectingFlag = false;
        OnFullSurfaceChanged();
        QORglutPostRedisplay_Internal();
    }

    // 4.
    QORSetRandomSeed(int32_t(std::time(nullptr)));

    // 5.
    PollInterApplicationExchange();

    // 6. The painting depth buffers are large; give them back after a pause.
    if (App && !App->IsCurrentToolAPaintBrush() &&
        TimerSinceLastPaintOperationCompleted.Read() > PaintingMemoryIdleSeconds) {
        ReleasePaintingMemory();
        TimerSinceLastPaintOperationCompleted.Stop();
        TimerSinceLastPaintOperationCompleted.SetTime(0.0);
    }

    // 7. The navigation or transform tools have stopped moving.
    if (InteractiveMotion && MotionTimer.Read() > MotionSettleSeconds) {
        InteractiveMotion = false;
        QOREvents_PushEvent(CommandAllViewportsChanged);
        QORglutPostRedisplay_Internal();
    }

    // 8.
    if (App) App->ClearCustomProgressMessage();

    // 9. Highlights hidden inside collapsed groups would act unseen.
    UnMultiSelectAnyItemInCollapsedGroup(Objects);
    UnMultiSelectAnyItemInCollapsedGroup(SelectionUnions);
    UnMultiSelectAnyItemInCollapsedGroup(MorphUnions);
    {
        auto meshes = MeshesOf(this);
        for (TKSN_Mesh* mesh : *meshes) {
            UnMultiSelectAnyItemInCollapsedGroup(mesh->MorphTree);
            UnMultiSelectAnyItemInCollapsedGroup(mesh->SelectionTree);
            UnMultiSelectAnyItemInCollapsedGroup(mesh->Materials);
            UnMultiSelectAnyItemInCollapsedGroup(mesh->Groups2);
        }
    }

    // 10.
    if (App)
        for (TKSN_Viewport* viewport : App->viewports)
            if (viewport && viewport->shown && viewport->GetRenderedSceneStatus() != 0)
                QOREvents_PushEvent(CommandRedisplay);

    // 11. The flashed selection or layer colours have been seen long enough.
    if (ViewportsChangedTimer.IsTiming() && ViewportsChangedTimer.Read() > FlashSeconds) {
        ViewportsChangedTimer.Stop();
        OnAllViewportsChanged();
    }

    // 12.
    if (TKSN_Mesh* mesh = GetPolyMesh()) {
        mesh->PopHiddenGroupsToTheEnd(mesh->MorphTree);
        mesh->PopHiddenGroupsToTheEnd(mesh->SelectionTree);
        mesh->CleanVertexScriptsIfNecessary();
        TKSN_Tool* tool = App ? App->currentTool : nullptr;
        TKSN_Viewport* viewport = GetCurrentViewport();
        if (tool && viewport) tool->OnIdle(mesh, viewport);
    }

    // 13.
    return QOREvents_GetEventCount();
}

void TKSN_Project::FinishAllVertexAdjustments()
{
    auto meshes = MeshesOf(this);
    for (TKSN_Mesh* mesh : *meshes) mesh->FinishAllScriptedAdjustments();
}

bool TKSN_Project::CheckForLowRAM(float seconds, bool /*flag*/)
{
    // The poll only paces itself: the free memory it would ask for decides
    // nothing, so the platform is not asked at all.
    if (!LowRAMTimer.IsTiming() || LowRAMTimer.Read() >= double(seconds)) LowRAMTimer.Start();
    return false;
}
