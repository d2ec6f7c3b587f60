// Modes, tool changes and display settings of the project.
//
// The mode is never stored: it is read off the class of the application's
// current tool each time it is asked, so it cannot drift from the tool. The
// application owns the tools and the current tool; the project decides what
// happens around a change (activation, overlay, symmetry maps, culling and
// the interface refreshes it queues) and keeps the display settings that the
// tools and viewports consult.
//
// Index:
//   [SECTION] Tool lists of the modes
//   [SECTION] Mode and edit flags
//   [SECTION] Culling, mirroring and symmetry
//   [SECTION] Special display modes, flashing and tool focus
//   [SECTION] Navigation, paint mode and the OpenGL meter
//   [SECTION] Mode changes
//   [SECTION] Tool changes
#include "KSN_Project.h"

#include <GL/gl.h>

#include <memory>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORglut.h"

bool TempDisableToolSymmetryCheck = false;
float OpenGLMeterValue = 1.0f;
int OpenGLMeterMapCount = 0;

namespace {

// Command ids of the dispatcher that the tool and mode changes queue.
constexpr int CommandRedisplay = 146;
constexpr int CommandViewportRange = 313;
constexpr int CommandShowToolPanel = 11;
constexpr int CommandRefreshModeButtons = 430;
constexpr int CommandRefreshToolPanel = 431;
constexpr int CommandRefreshInterface = 432;

// Tool flags the project consults.
constexpr uint32_t ToolFlagAllowsMirroring = 0x4;
constexpr uint32_t ToolFlagAllowsSymmetry = 0x10;

// Bits of the application's shown-warnings mask.
constexpr uint32_t WarningBit1 = 0x1;
constexpr uint32_t WarningBit10 = 0x10;
constexpr uint32_t WarningBit40 = 0x40;

TKSN_Tool* CurrentTool() { return App ? App->currentTool : nullptr; }

// A tool list remembers the index of its last used tool (-1 for none) in the
// thingy base's slot that is free for derived classes; the tool list itself
// declares no field of its own.
int32_t& RememberedIndex(TKSN_ToolList* list) { return list->reservedValue; }

// The painting tools whose change switches the viewports' painting display.
bool IsPaintingTool(TKSN_Tool* tool)
{
    if (!tool) return false;
    return (App && App->IsToolAPaintBrush(tool)) || dynamic_cast<TKSN_TileSetupTool*>(tool) != nullptr;
}

void ShowSystemCursorFor(TKSN_Tool* tool)
{
    if (tool && tool->DrawsOwnMouseCursor()) return;
    // Without the window layer there is no cursor to set.
    if (QORglutInitialized) QORglutShowCursor();
}

std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> MeshesOf(TKSN_Project* project)
{
    return std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>>(project->GetMeshList());
}

} // namespace

// ============================================================================
// [SECTION] Tool lists of the modes
// ============================================================================

namespace {

// The application's tool list that mode 0..7 draws its tool from; null else.
TKSN_ToolList* ToolListOfMode(int mode)
{
    if (!App) return nullptr;
    switch (mode) {
    case 0: return App->selectionTools;
    case 1: return App->deformationTools;
    case 2: return App->additionalUtilities;
    case 3: return App->paintTools;
    case 4: return App->modelingTools;
    case 5: return App->sculptTools;
    case 6: return App->navigationTools;
    case 7: return App->transformationTools;
    default: return nullptr;
    }
}

} // namespace

// ============================================================================
// [SECTION] Mode and edit flags
// ============================================================================

int TKSN_Project::GetMode()
{
    TKSN_Tool* tool = CurrentTool();
    if (!tool) return 8;
    // The first family that matches decides; a tool may belong to several.
    if (dynamic_cast<TKSN_SelectionBrush*>(tool)) return 0;
    if (dynamic_cast<TKSN_Deformer*>(tool) || dynamic_cast<TKSN_Chisel*>(tool)) return 1;
    if (App->additionalUtilities && App->additionalUtilities->Find(tool) >= 0) return 2;
    if (App->IsCurrentToolAPaintBrush()) return 3;
    if (dynamic_cast<TKSN_Modeler*>(tool)) return 4;
    if (dynamic_cast<TKSN_SculptBrush*>(tool)) return 5;
    if (dynamic_cast<TKSN_Navigator*>(tool)) return 6;
    if (dynamic_cast<TKSN_Transform*>(tool)) return 7;
    return 8;
}

bool TKSN_Project::IsPainting()
{
    if (GetMode() != 3) {
        PaintingFlag = false;
        return false;
    }
    return PaintingFlag;
}

bool TKSN_Project::IsDeforming()
{
    if (GetMode() != 1) {
        DeformingFlag = false;
        return false;
    }
    return DeformingFlag;
}

// The frame is drawn from state that the document keeps up to date itself.
void TKSN_Project::BeforeScreenDraw() {}

// ============================================================================
// [SECTION] Culling, mirroring and symmetry
// ============================================================================

void TKSN_Project::SetCullingMethod(int method)
{
    if (App) App->InvalidateVertexCulling();
    CullingMethod = EffectiveCullingMethod = method;
    if (TKSN_Tool* tool = CurrentTool()) {
        EffectiveCullingMethod = tool->GetEffectiveCullingMethod();
        if (EffectiveCullingMethod != method) {
            CancelVertexCulling();
            QOREvents_PushEvent(CommandRefreshToolPanel);
        }
    }
    InvalidateAffectedObjectsStencil();
}

void TKSN_Project::UpdateEffectiveCullingMethod()
{
    TKSN_Tool* tool = CurrentTool();
    if (!tool) return;
    const int method = tool->GetEffectiveCullingMethod();
    if (method == EffectiveCullingMethod) return;
    EffectiveCullingMethod = method;
    CancelVertexCulling();
    InvalidateAffectedObjectsStencil();
    QOREvents_PushEvent(CommandRefreshToolPanel);
}

bool TKSN_Project::CanMirrorX()
{
    TKSN_Tool* tool = CurrentTool();
    return tool && (tool->Flags & ToolFlagAllowsMirroring) && MirrorX;
}

bool TKSN_Project::CanMirrorY()
{
    TKSN_Tool* tool = CurrentTool();
    return tool && (tool->Flags & ToolFlagAllowsMirroring) && MirrorY;
}

bool TKSN_Project::DoUseSymmetry(TKSN_MeshRoot* mesh)
{
    TKSN_Tool* tool = CurrentTool();
    if (!tool) return false;
    if (mesh) {
        TKSN_Object* owner = mesh->GetOwnerObject();
        if (!owner || !owner->SymmetryEnabled) return false;
    }
    if (TempDisableToolSymmetryCheck || (tool->Flags & ToolFlagAllowsSymmetry)) return UseSymmetry;
    return false;
}

// ============================================================================
// [SECTION] Special display modes, flashing and tool focus
// ============================================================================

int TKSN_Project::GetSpecialDisplayMode() const
{
    // A selection under way or being flashed is always shown highlighted.
    return (SelectingFlag || FlashSelection) ? 1 : SpecialDisplayMode;
}

void TKSN_Project::SetSpecialDisplayMode(int mode)
{
    if (mode != SpecialDisplayMode) OnAllViewportsChanged();
    SpecialDisplayMode = mode;
}

void TKSN_Project::ToggleSpecialDisplayMode(int mode)
{
    SpecialDisplayMode = (mode == SpecialDisplayMode) ? 0 : mode;
    if (App)
        for (TKSN_Viewport* viewport : App->viewports)
            if (viewport) viewport->SetRenderedSceneStatus(2);
    TKSN_glDisplayList::InvalidateAll();
    OnAllViewportsChanged();
}

void TKSN_Project::SetFlashSelection() { FlashSelection = (SpecialDisplayMode != 1); }

void TKSN_Project::ClearFlashSelection()
{
    if (FlashSelection) QOREvents_PushEvent(CommandRedisplay);
    FlashSelection = false;
}

void TKSN_Project::GiveToolFocus() { ToolHasFocus = true; }

bool TKSN_Project::DoesToolHaveFocus() { return CurrentTool() ? ToolHasFocus : false; }

void TKSN_Project::ClearToolFocus()
{
    ToolHasFocus = false;
    if (TKSN_Tool* tool = CurrentTool()) tool->OnClearFocus();
}

// ============================================================================
// [SECTION] Navigation, paint mode and the OpenGL meter
// ============================================================================

void TKSN_Project::OnBeforeNavigating(bool autoDepth)
{
    if (autoDepth) DoAutoCalculateDepthLookAt();
}

void TKSN_Project::OnFinishedNavigating(bool autoDepth)
{
    CancelVertexCulling();
    if (TKSN_Viewport* viewport = GetCurrentViewport()) {
        float min[3] = {}, max[3] = {};
        GetDisplayBoundingBox(viewport, min, max);
        viewport->SetupMatrix(min, max);
        if (autoDepth) DoAutoCalculateDepthLookAt();
        InvalidateAffectedObjectsStencil();
    }
    ProcessAutoViewports();
}

// The flag is accepted for callers' sake and has no effect by design: entering
// paint mode only refreshes the maps and the tool panel.
void TKSN_Project::SetPaintMode(bool /*flag*/)
{
    OptimizeMaps();
    QOREvents_PushEvent(CommandRefreshToolPanel);
}

float TKSN_Project::GetOpenGLMeterValue()
{
    GetCurrentObject();   // the walk repairs a stale current object ID on the way
    int count = 0;
    int resident = 0;
    auto meshes = MeshesOf(this);
    for (TKSN_Mesh* mesh : *meshes) {
        if (!mesh->MaterialMaps) continue;
        for (TQORMaterialMap* binding : *mesh->MaterialMaps) {
            TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr;
            if (!source || source->GetGLTexure() == 0) continue;
            const GLuint name = source->GetGLTexure();
            GLboolean isResident = GL_FALSE;
            ++count;
            if (glAreTexturesResident(1, &name, &isResident) == GL_TRUE || isResident == GL_TRUE) ++resident;
        }
    }
    OpenGLMeterMapCount = count;
    OpenGLMeterValue = count > 0 ? float(resident) / float(count) : 1.0f;
    return OpenGLMeterValue;
}

// ============================================================================
// [SECTION] Mode changes
// ============================================================================

// The flag has no effect by design; only the mode number steers the switch.
void TKSN_Project::SetMode(int mode, bool /*flag*/)
{
    TKSN_Mesh* mesh = GetPolyMesh();
    const int old = GetMode();
    if (old != mode && App) App->stateFlags &= ~(WarningBit10 | WarningBit1 | WarningBit40);

    if (mesh) {
        if (old == 3 && mode == 3) return;
        if (mode == 3) mesh->PrepareForPainting();
    }

    if (App && !App->currentTool && mode >= 0 && mode <= 7) {
        if (TKSN_ToolList* list = ToolListOfMode(mode)) {
            int32_t& index = RememberedIndex(list);
            if (index >= 0 && index < list->Count())
                App->currentTool = (*list)[index];
            else
                index = -1;
            if (!App->currentTool && list->Count() > 0) App->currentTool = (*list)[0];
        }
        if (mesh && (mode == 1 || mode == 2 || mode == 4 || mode == 5)) mesh->OnSelectionChanged();
        if (mode == 1) OnShapeChanged(true, true);
    }

    if (mode == 3 && mesh) mesh->AnalyzeBeforePainting(false);

    OnShapeChanged(true, true);
    QOREvents_PushEvent(CommandRefreshInterface);
}

// ============================================================================
// [SECTION] Tool changes
// ============================================================================

namespace {

// Makes tool current in place of the current tool: the old one deactivated
// and remembered, the new one activated with fresh parameters. With announce
// the panel tells the user which tool is now in use.
void SwapCurrentTool(TKSN_Mesh* mesh, TKSN_Tool* tool, bool announce)
{
    TKSN_Tool* old = App->currentTool;
    if (old) old->OnDeactivate(mesh);
    App->previousTool = old;
    if (!old)
        App->lastNonNavigationTool = nullptr;
    else if (!dynamic_cast<TKSN_Navigator*>(old))
        App->lastNonNavigationTool = old;
    App->currentTool = tool;
    App->stateFlags &= ~WarningBit10;
    if (!tool) return;
    tool->OnActivate(mesh);
    tool->ClearParameters();
    tool->UpdateAllParameters();
    if (announce) OS.PrintMessage(Lang.GetText(576), tool->GetName());
}

// What follows every tool change: the brush overlay, the meshes' symmetry
// maps (a redraw when symmetry came or went) and the culling in effect.
void AfterToolChange(TKSN_Project* project, bool usedSymmetry)
{
    TKSN_Tool* current = App->currentTool;
    TKSN_Viewport* viewport = project->GetCurrentViewport();
    if (current && dynamic_cast<TKSN_Brush*>(current) && viewport) {
        project->InvalidateOverlay();
        project->SetupOverlayAndBrushShape(viewport, current->GetSize(), current->GetHardness());
    }

    auto meshes = MeshesOf(project);
    for (TKSN_Mesh* mesh : *meshes) project->SetActiveSymmetryMapForMesh(mesh);
    if (project->DoUseSymmetry(nullptr) != usedSymmetry) project->OnAllViewportsChanged();

    project->UpdateEffectiveCullingMethod();
}

} // namespace

void TKSN_Project::ChangeTool(TKSN_Mesh* mesh, TKSN_ToolList* list, TKSN_Tool* tool)
{
    if (!App) return;
    const bool usedSymmetry = DoUseSymmetry(nullptr);
    const bool oldWasPainting = IsPaintingTool(App->currentTool);
    const bool newIsPainting = IsPaintingTool(tool);

    if (list) RememberedIndex(list) = tool ? list->Find(tool) : -1;
    ShowSystemCursorFor(tool);

    if (tool != App->currentTool) SwapCurrentTool(mesh, tool, false);

    if (oldWasPainting != newIsPainting) {
        InteractiveMotion = false;
        OnAllViewportsChanged();
    }

    AfterToolChange(this, usedSymmetry);
    for (int command : {CommandViewportRange, CommandShowToolPanel, CommandRefreshModeButtons, CommandRefreshToolPanel})
        QOREvents_PushEvent(command);
}

bool TKSN_Project::ChangeTool(TKSN_Mesh* mesh, TKSN_ToolList* list, int index)
{
    if (!App) return false;
    TKSN_Tool* tool = nullptr;
    if (list) {
        if (index < 0 || index >= list->Count()) {
            RememberedIndex(list) = -1;
            return false;
        }
        RememberedIndex(list) = index;
        tool = (*list)[index];
        if (!tool) return false;
    }
    const bool usedSymmetry = DoUseSymmetry(nullptr);

    ShowSystemCursorFor(tool);
    if (tool != App->currentTool) SwapCurrentTool(mesh, tool, true);

    AfterToolChange(this, usedSymmetry);
    for (int command : {CommandViewportRange, CommandRefreshModeButtons, CommandRefreshToolPanel})
        QOREvents_PushEvent(command);
    return true;
}
