// Edit brackets and change notifications.
//
// Every tool and command that changes the document brackets the change: a
// Before call decides which objects the edit may touch, prepares symmetry for
// them and opens the undo step; an After or On...Changed call tells the
// meshes, the viewports and the display lists what must be rebuilt. Objects
// the affect mode excludes are skipped silently. Main thread only.
//
// Index:
//   [SECTION] Affectable objects
//   [SECTION] Before an edit
//   [SECTION] After an edit
//   [SECTION] Shape, surface and viewport notifications
//   [SECTION] The current morph union's morph in a mesh
#include "KSN_Project.h"

#include <functional>
#include <memory>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Union.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORString.h"

int TotalSelectedVertexCountForPaintingPurposes = 0;
bool WarningAboutNotPaintingOnCurrentChannelWasGiven = false;

namespace {

// Undo kinds opened by the brackets.
constexpr int UndoMainStep = 1000;
constexpr int UndoSelection = 1001;
constexpr int UndoDeformation = 1002;
constexpr int UndoPaint = 1003;
constexpr int UndoTransform = 1004;

// Bits of the application's shown-warnings mask that the brackets re-arm.
constexpr uint32_t WarningSelection = 0x2;
constexpr uint32_t WarningDeformation = 0x4;

// TODO(stub): stands for the touch-up pipeline's question whether a paint
// brush is acting as a selection brush; it always answers no.
bool UsingPaintBrushAsSelectionBrush() { return false; }

// TODO(stub): stands for copying the object's offset triple into its mesh;
// the scene object carries no such triple yet, so there is nothing to copy.
void CopyObjectOffsetToMesh(TKSN_Object* /*object*/, TKSN_Mesh* /*mesh*/) {}

// Calls visit for every object of the project's object list, in list order.
void ForEachObject(TKSN_Project* project, const std::function<void(TKSN_Object*)>& visit)
{
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(project->GetObjectList());
    if (!objects) return;
    for (TKSN_Object* object : *objects)
        if (object) visit(object);
}

// The project's mesh whose ID is id (meshes are found through their objects,
// not through the ID registry); null when none.
TKSN_Mesh* FindMesh(TKSN_Project* project, uint32_t id)
{
    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(project->GetMeshList());
    for (TKSN_Mesh* mesh : *meshes)
        if (mesh && mesh->GetID() == id) return mesh;
    return nullptr;
}

void RaiseAllViewports(int status)
{
    if (!App) return;
    for (TKSN_Viewport* viewport : App->viewports)
        if (viewport) viewport->SetRenderedSceneStatus(status);
}

} // namespace

// ============================================================================
// [SECTION] Affectable objects
// ============================================================================

bool TKSN_Project::CanAffectObject(TKSN_Object* object)
{
    if (!object || object->IsReadOnly()) return false;
    if (AffectMode == 0) return true;
    if (AffectMode == 1) return object->GetID() == CurrentObjectID;
    return false;
}

// ============================================================================
// [SECTION] Before an edit
// ============================================================================

void TKSN_Project::SetupMainUndoMessage(const char* message)
{
    SetupCurrentUndo(nullptr, UndoMainStep, 0, message, false);
}

void TKSN_Project::BeforeTransform()
{
    InteractiveMotion = false;
    ForEachObject(this, [this](TKSN_Object* object) {
        if (object->Mesh && CanAffectObject(object)) SetupCurrentUndo(object, UndoTransform, -1, nullptr, false);
    });
}

void TKSN_Project::BeforeSelect(const char* message)
{
    InteractiveMotion = false;
    ForEachObject(this, [this, message](TKSN_Object* object) {
        if (!object->Mesh || !CanAffectObject(object)) return;
        if (DoUseSymmetry(object->Mesh.get())) object->Mesh->BeforeConsideringSymmetry();
        SetupCurrentUndo(object, UndoSelection, 0, message, false);
    });
    if (App) App->stateFlags &= ~WarningSelection;
}

void TKSN_Project::BeforeDeform(const char* message, bool /*flag*/, bool currentObjectOnly)
{
    InteractiveMotion = false;
    TKSN_MorphUnion* morphUnion = GetCurrentMorphUnion();

    // Symmetry is prepared for every mesh: a symmetric deformation of one
    // object reads its partner vertices even when others are excluded.
    ForEachObject(this, [this](TKSN_Object* object) {
        if (object->Mesh && DoUseSymmetry(object->Mesh.get())) object->Mesh->BeforeConsideringSymmetry();
    });

    if (morphUnion) {
        morphUnion->CopyParametersToAllItems();
        morphUnion->ValidateItems();
        for (unsigned id : morphUnion->ItemIDs) {
            auto* morph = dynamic_cast<TKSN_Morph*>(__GetThingyFromID(id));
            if (!morph) continue;
            if (TKSN_Mesh* owner = FindMesh(this, morph->GetOwnerID())) owner->SetCurrentMorph(morph);
        }
    }

    TKSN_Mesh* currentMesh = currentObjectOnly ? GetPolyMesh() : nullptr;
    ForEachObject(this, [&](TKSN_Object* object) {
        TKSN_Mesh* mesh = object->Mesh.get();
        if (!mesh || !CanAffectObject(object)) return;
        if (currentObjectOnly && mesh != currentMesh) return;
        if (mesh->GetSelectedVertexCount() <= 0) return;
        CreateCurrentMorphForMeshIfNecessary(mesh);
        SetupCurrentUndo(object, UndoDeformation, 1, message, false);
    });

    if (App) App->stateFlags &= ~WarningDeformation;
}

void TKSN_Project::BeforePaint(const char* message)
{
    InteractiveMotion = false;
    OS.DebugMessage("TKSN_Project::BeforePaint()");

    if (!UsingPaintBrushAsSelectionBrush() && (SpecialDisplayMode == 1 || SpecialDisplayMode == 2))
        SetSpecialDisplayMode(0);

    BeforeConsiderTiling(GetCurrentViewport());

    int total = 0;
    ForEachObject(this, [&](TKSN_Object* object) {
        if (object->Mesh && CanAffectObject(object)) total += object->Mesh->GetSelectedVertexCount();
    });
    TotalSelectedVertexCountForPaintingPurposes = total;

    ForEachObject(this, [&](TKSN_Object* object) {
        TKSN_Mesh* mesh = object->Mesh.get();
        if (!mesh || !CanAffectObject(object)) return;
        // With a selection somewhere, only meshes holding part of it are painted.
        if (total > 0 && mesh->GetSelectedVertexCount() <= 0) return;
        if (object->GetCustomBooleanProperty("COMPLETELY_LOCKED")) return;
        if (DoUseSymmetry(mesh)) mesh->BeforeConsideringSymmetry();
    });

    SetupCurrentUndo(nullptr, UndoPaint, 3, message, false);

    TKSN_Viewport* viewport = GetCurrentViewport();
    if (!PaintCurrentChannel && viewport && !WarningAboutNotPaintingOnCurrentChannelWasGiven) {
        const struct {
            bool enabled;
            const char* name;
        } channels[] = {{PaintColor, "Color"},           {PaintBump, "Bump"},
                        {PaintTransparency, "Transparency"}, {PaintDisplacement, "Displacement"},
                        {PaintAmbient, "Ambient"},       {PaintSpecular, "Specular"}};
        const char* shown = viewport->materialChannelName;
        bool painted = false;
        for (const auto& channel : channels)
            if (channel.enabled && QORstrcmpi(shown, channel.name) == 0) painted = true;
        if (!painted) {
            WarningAboutNotPaintingOnCurrentChannelWasGiven = true;
            OS.WarningMessageNoRepeat(Lang.GetText(1156), App ? App->GetDisplayNameForChannel(shown) : shown);
        }
    }

    PaintingFlag = true;
}

// ============================================================================
// [SECTION] After an edit
// ============================================================================

void TKSN_Project::AfterPaint()
{
    PaintingFlag = false;
    OS.DebugMessage("TKSN_Project::AfterPaint()");
    TimerSinceLastPaintOperationCompleted.Start();
}

void TKSN_Project::AfterSelect()
{
    ForEachObject(this, [this](TKSN_Object* object) {
        if (object->Mesh && CanAffectObject(object)) object->Mesh->OnSelectionChanged();
    });
    ProcessAutoViewports();
    InvalidateAffectedObjectsStencil();
}

void TKSN_Project::AfterFullSelection(bool allObjects)
{
    ForEachObject(this, [&](TKSN_Object* object) {
        if (object->Mesh && (allObjects || CanAffectObject(object))) object->Mesh->AfterFullSelection();
    });
    InvalidateAffectedObjectsStencil();
    RaiseAllViewports(2);
    TKSN_glDisplayList::InvalidateAll();
    FlashSelection = (SpecialDisplayMode != 1);
}

void TKSN_Project::ClearSelection(bool withUndo, bool /*flag*/)
{
    if (withUndo) BeforeSelect(Lang.GetText(19));
    // Every mesh is cleared, also those the affect mode excludes: "clear all"
    // means the whole project.
    ForEachObject(this, [](TKSN_Object* object) {
        if (object->Mesh) object->Mesh->ClearSelection();
    });
    AfterFullSelection(false);
}

bool TKSN_Project::ApplySelections()
{
    if (ApplySelectedSelectionUnions()) return true;
    return ApplySelectedSelections();
}

// ============================================================================
// [SECTION] Shape, surface and viewport notifications
// ============================================================================

void TKSN_Project::OnShapeChanged(TKSN_Object* object, bool updateView, bool resolveVertices)
{
    if (!object || !object->Mesh) return;
    TKSN_Mesh* mesh = object->Mesh.get();
    CopyObjectOffsetToMesh(object, mesh);
    if (resolveVertices) object->ResolveVertices(true);

    // A quick render shows a shape that no longer exists; drop back to the normal view.
    if (!SelectingFlag && !FlashSelection && SpecialDisplayMode == 3) {
        OnAllViewportsChanged();
        SpecialDisplayMode = 0;
    }

    mesh->InvalidateAllInOSpace();
    mesh->InvalidateSubDBaseVertices();
    mesh->RecalculateNormals(true);
    mesh->OctreeBoundsChanged();

    if (updateView) OnAllViewportsChanged();
}

void TKSN_Project::OnShapeChanged(bool updateView, bool resolveVertices)
{
    ForEachObject(this, [&](TKSN_Object* object) {
        if (object->Mesh && CanAffectObject(object)) OnShapeChanged(object, updateView, resolveVertices);
    });
}

void TKSN_Project::OnFullSurfaceChanged()
{
    RaiseAllViewports(2);
    TKSN_glDisplayList::InvalidateAll();
}

void TKSN_Project::OnPartialSurfaceChanged()
{
    RaiseAllViewports(1);
    ForEachObject(this, [](TKSN_Object* object) {
        if (object->Mesh) CopyNodeChangedFlagsUpward(object->Mesh.get());
    });
}

void TKSN_Project::OnSingleViewportChanged(TKSN_Viewport* viewport)
{
    if (!viewport) return;
    viewport->SetRenderedSceneStatus(2);
    viewport->InvalidateGrabTexture();
    viewport->ClearRenderedPixels();
    TiledPixelsValid = false;
    float min[3] = {}, max[3] = {};
    GetDisplayBoundingBox(viewport, min, max);
    viewport->SetupMatrix(min, max);
    viewport->calcViewVolumePlanes();
    if (viewport == GetCurrentViewport()) {
        TiledPixelsValid = false;
        InvalidateAffectedObjectsStencil();
    }
}

void TKSN_Project::OnAllViewportsChanged()
{
    if (!App) return;
    for (TKSN_Viewport* viewport : App->viewports)
        if (viewport && viewport->shown) OnSingleViewportChanged(viewport);
}

void TKSN_Project::OnBackgroundChanged()
{
    if (!App) return;
    for (TKSN_Viewport* viewport : App->viewports)
        if (viewport && viewport->renderSetup) viewport->renderSetup->InvalidateBackgroundGrid();
    TKSN_RenderSetup::InvalidateBackgroundPattern();
}

// ============================================================================
// [SECTION] The current morph union's morph in a mesh
// ============================================================================

void TKSN_Project::CreateCurrentMorphForMeshIfNecessary(TKSN_Mesh* mesh)
{
    TKSN_MorphUnion* morphUnion = GetCurrentMorphUnion();
    if (!morphUnion || !mesh) return;

    morphUnion->ValidateItems();
    for (unsigned id : morphUnion->ItemIDs) {
        auto* morph = dynamic_cast<TKSN_Morph*>(__GetThingyFromID(id));
        if (morph && morph->GetOwnerID() == mesh->GetID()) {
            morphUnion->CopyParametersToAllItems();
            return;
        }
    }

    TKSN_Morph* morph = mesh->CreateMorph(mesh->MorphTree);
    morph->SetName("%s", morphUnion->GetName());
    morphUnion->ValidateItems();
    if (morphUnion->ItemIDs.Find(morph->GetID()) < 0) morphUnion->ItemIDs.Add(morph->GetID());
    morphUnion->CopyParametersToMorph(morph);
    mesh->SetCurrentMorph(morph);
    morphUnion->CopyParametersToAllItems();
}
