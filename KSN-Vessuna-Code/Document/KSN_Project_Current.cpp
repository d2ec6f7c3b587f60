// The current object, the object holding the current selection, the current
// morph union and the current viewport, and the visitors that make current
// again what a project file marked current.
//
// Index:
//   [SECTION] Current object
//   [SECTION] Current morph union
//   [SECTION] Current viewport
//   [SECTION] Visitors after a load
//
// Objects and unions are remembered by ID, never by pointer: a getter that
// meets an ID that no longer names the expected class resets it to 0.
#include "KSN_Project.h"

#include <memory>

#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project_Internal.h"
#include "KSN_Tool.h"
#include "KSN_Union.h"
#include "QOREvents.h"

namespace {

TKSN_Tool* CurrentTool() { return KSN_ProjectApp_CurrentTool(); }

template <class T>
T* Resolve(uint32_t id)
{
    return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr;
}

// Command 299: all viewports changed (the project's OnAllViewportsChanged,
// every viewport panel refreshed, a redisplay).
constexpr int32_t KSN_COMMAND_ALL_VIEWPORTS_CHANGED = 299;

} // namespace

// [SECTION] Current object

TKSN_Object* TKSN_Project::GetCurrentObject()
{
    if (CurrentObjectID == 0) return nullptr;
    auto* object = Resolve<TKSN_Object>(CurrentObjectID);
    if (!object) CurrentObjectID = 0;
    return object;
}

TKSN_Mesh* TKSN_Project::GetPolyMesh()
{
    TKSN_Object* object = GetCurrentObject();
    return object ? object->Mesh.get() : nullptr;
}

TKSN_Object* TKSN_Project::GetObjectContainingCurrentSelection()
{
    if (auto* object = Resolve<TKSN_Object>(ObjectContainingCurrentSelectionID)) return object;
    ObjectContainingCurrentSelectionID = 0;
    return GetCurrentObject();
}

void TKSN_Project::SetCurrentObject(TKSN_Object* object)
{
    TKSN_Object* old = GetCurrentObject();
    TKSN_Mesh* oldMesh = old ? old->Mesh.get() : nullptr;

    // The mesh left behind while painting gets its painting data ready again.
    if (GetMode() == 3 && object != old && oldMesh) oldMesh->PrepareForPainting();

    if (old) {
        old->current = false;
        if (TKSN_Tool* tool = CurrentTool()) tool->OnDeactivate(oldMesh);
    }
    if (!object) {
        CurrentObjectID = 0;
        return;
    }

    CurrentObjectID = object->GetID();
    object->current = true;
    if (TKSN_Tool* tool = CurrentTool()) tool->OnActivate(object->Mesh.get());

    if (auto* camera = dynamic_cast<TKSN_Camera*>(object)) CurrentCamera = camera;

    if (object != old) {
        OnShapeChanged(true, true);
        if (object->Mesh) SetActiveSymmetryMapForMesh(object->Mesh.get());
    }
}

void TKSN_Project::ForgetCurrentItem(TKSN_Thingy* thingy)
{
    if (!thingy) return;
    const uint32_t id = thingy->GetID();
    if (id == 0) return;
    if (id == CurrentObjectID) {
        if (dynamic_cast<TKSN_Object*>(thingy)) SetCurrentObject(nullptr);
        CurrentObjectID = 0;
    }
    if (id == ObjectContainingCurrentSelectionID) ObjectContainingCurrentSelectionID = 0;
    if (id == CurrentMorphUnionID) CurrentMorphUnionID = 0;
    if (CurrentCamera && static_cast<TKSN_Thingy*>(CurrentCamera) == thingy) CurrentCamera = nullptr;
}

// [SECTION] Current morph union

uint32_t TKSN_Project::GetCurrentMorphUnionID()
{
    if (!Resolve<TKSN_MorphUnion>(CurrentMorphUnionID)) CurrentMorphUnionID = 0;
    return CurrentMorphUnionID;
}

TKSN_MorphUnion* TKSN_Project::GetCurrentMorphUnion()
{
    return Resolve<TKSN_MorphUnion>(CurrentMorphUnionID);
}

void TKSN_Project::SetCurrentMorphUnion(TKSN_MorphUnion* morphUnion)
{
    std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(GetMorphUnionList());
    for (TKSN_MorphUnion* u : *unions)
        u->current = false;
    if (!morphUnion) {
        CurrentMorphUnionID = 0;
        return;
    }
    CurrentMorphUnionID = morphUnion->GetID();
    morphUnion->current = true;
}

// [SECTION] Current viewport

TKSN_Viewport* TKSN_Project::GetCurrentViewport()
{
    return KSN_ProjectApp_Viewport(CurrentViewportIndex);
}

void TKSN_Project::SetCurrentViewport(TKSN_Viewport* viewport)
{
    int index = KSN_ProjectApp_ViewportIndex(viewport);
    if (index < 0) index = 0;
    if (index != CurrentViewportIndex) SetCurrentViewportIndex(index);
}

void TKSN_Project::SetCurrentViewportIndex(int index)
{
    OnBackgroundChanged();

    auto viewportAt = KSN_ProjectApp_Viewport;
    TKSN_Viewport* oldViewport = viewportAt(CurrentViewportIndex);
    TKSN_Viewport* newViewport = nullptr;

    if (index >= 0 && index <= 3) {
        newViewport = viewportAt(index);
        CurrentViewportIndex = index;
        // Each viewport shows its own UV set.
        std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(GetMeshList());
        for (TKSN_Mesh* mesh : *meshes)
            mesh->SetActiveUVWs(index);
        OnFinishedNavigating(false);
        QOREvents_PushEvent(KSN_COMMAND_ALL_VIEWPORTS_CHANGED);
    }

    if (TKSN_Tool* tool = CurrentTool()) tool->OnViewportChanged(oldViewport, newViewport);
    if (oldViewport != newViewport) OnMapTopologyChanged();
}

// [SECTION] Visitors after a load

bool TKSN_Project::SetCurrentObject_OnVisit(TKSN_TreeGroup* group, int, void* project)
{
    auto* self = static_cast<TKSN_Project*>(project);
    if (!group || !self) return true;
    for (TKSN_Thingy* item : *group->items) {
        auto* object = dynamic_cast<TKSN_Object*>(item);
        if (object && object->current) {
            self->SetCurrentObject(object);
            return false;
        }
    }
    return true;
}

bool TKSN_Project::SetCurrentMorphAndSelection_OnVisit(TKSN_TreeGroup* group, int, void* project)
{
    if (!group || !project) return true;
    for (TKSN_Thingy* item : *group->items) {
        auto* object = dynamic_cast<TKSN_Object*>(item);
        if (!object || !object->Mesh) continue;
        TKSN_Mesh* mesh = object->Mesh.get();
        TKSN_TreeGroup::Traverse(mesh->MorphTree, 0, SetCurrentMorph_OnVisit, mesh, false);
        TKSN_TreeGroup::Traverse(mesh->SelectionTree, 0, SetCurrentSelection_OnVisit, mesh, false);
    }
    return true;
}

bool TKSN_Project::SetCurrentMorph_OnVisit(TKSN_TreeGroup* group, int, void* mesh)
{
    auto* target = static_cast<TKSN_Mesh*>(mesh);
    if (!group || !target) return true;
    for (TKSN_Thingy* item : *group->items)
        if (auto* morph = dynamic_cast<TKSN_Morph*>(item); morph && morph->current) target->SetCurrentMorph(morph);
    return true;
}

bool TKSN_Project::SetCurrentSelection_OnVisit(TKSN_TreeGroup* group, int, void* mesh)
{
    auto* target = static_cast<TKSN_Mesh*>(mesh);
    if (!group || !target) return true;
    for (TKSN_Thingy* item : *group->items)
        if (auto* selection = dynamic_cast<TKSN_Selection*>(item); selection && selection->current)
            target->SetCurrentSelection(selection, true);
    return true;
}
