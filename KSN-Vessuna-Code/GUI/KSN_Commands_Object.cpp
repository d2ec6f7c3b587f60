// Object commands (191-206): object folders, renaming, stepping the current
// object, deleting objects with the maps that only they use, merging, the
// settings rows of an object in the Manager tab (served as live booleans),
// and rebuilding an object's subdivision for the quick renderer.
#include "KestruneEvents.h"

#include "KSN_Gui_MainWindow.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Startup_Services.h"
#include "KSN_SubDMesh_Bake.h"
#include "KSN_ToolKinds.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"
#include "QORTree.h"

#include <memory>

namespace {

using TObjectList = std::unique_ptr<TQORNewStaticList<TKSN_Object*>>;

TKSN_Object* OwnerObject(TQOREvent* event)
{
    const uint32_t id = event->GetOwnerID();
    return id ? dynamic_cast<TKSN_Object*>(__GetThingyFromID(id)) : nullptr;
}

void ExpandWithAncestors(TKSN_TreeGroup* group)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetParent()) g->collapsed = false;
}

bool CreateFolder()
{
    TKSN_TopTreeGroup* tree = Project->Objects;
    const uint32_t anchor = tree->GetSelectedItemID();
    auto* parent = anchor ? dynamic_cast<TKSN_TreeGroup*>(__GetThingyFromID(anchor)) : nullptr;
    if (!parent) parent = tree;
    auto* folder = new TKSN_TreeGroup();
    folder->SetName("%s", Lang.GetText(1325));
    folder->RegisterForLookup();
    parent->LinkChild(folder);
    auto* name = new TQOREvent(nullptr, 0, 139);
    name->SetOwner(folder);
    name->intParameters[0] = 441;
    name->intParameters[1] = 14;
    name->AssignStringParameter(Lang.GetText(321), 0);
    QOREvents_PushEvent(name);
    ExpandWithAncestors(folder);
    QOREvents_PushEvent(10);
    QOREvents_PushEvent(441);
    return true;
}

bool Rename()
{
    TKSN_TopTreeGroup* tree = Project->Objects;
    const uint32_t anchor = tree->GetSelectedItemID();
    TKSN_Thingy* item = anchor ? dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(anchor)) : nullptr;
    if (!item) item = Project->GetCurrentObject();
    if (!item) return true;
    if (item == tree) {
        OS.WarningMessage("%s", Lang.GetText(562));
        return false;
    }
    if (MainWindow && MainWindow->RenameWindow)
        MainWindow->RenameWindow->Execute(item, item->GetName(), 441, -1, nullptr, nullptr, nullptr);
    return true;
}

// Stepping never leaves the folder of the current object.
bool Step()
{
    TKSN_Object* current = Project->GetCurrentObject();
    TKSN_TreeGroup* folder = current ? FindGroupWhichContainsID(Project->Objects, current->GetID()) : nullptr;
    if (static_cast<TKSN_Thingy*>(folder) == static_cast<TKSN_Thingy*>(current)) folder = nullptr;
    if (!folder || !folder->items || folder->items->IsEmpty()) {
        QOREvents_PushEvent(432);
        return true;
    }
    const auto& list = *folder->items;
    int i = -1;
    for (int k = 0; k < list.Count(); ++k)
        if (list[k] == static_cast<TKSN_Thingy*>(current)) i = k;
    i += (MainWindow && MainWindow->IsShiftHeld()) ? -1 : 1;
    if (i >= list.Count()) i = 0;
    if (i < 0) i = list.Count() - 1;
    auto* next = dynamic_cast<TKSN_Object*>(list[i]);
    if (next && next != current) {
        OS.PrintMessage(Lang.GetText(1108), next->GetName());
        Project->SetCurrentObject(next);
    }
    QOREvents_PushEvent(432);
    return true;
}

void ForEachBoundSource(TKSN_Mesh* mesh, bool highlight)
{
    if (!mesh->MaterialMaps) return;
    for (TQORMaterialMap* binding : *mesh->MaterialMaps)
        if (TQORMaterialMapSource* source = binding ? binding->GetMapSource() : nullptr) source->multiSelected = highlight;
}

bool Delete()
{
    TKSN_TopTreeGroup* tree = Project->Objects;
    if (tree->multiSelected) {
        OS.WarningMessage("%s", Lang.GetText(305));
        return false;
    }
    const int n = tree->GetSelectedCount(true, true);
    if (n == 0) {
        OS.WarningMessage("%s", Lang.GetText(1061));
        QOREvents_PushEvent(10);
        return false;
    }
    const bool yes = n == 1 ? OS.MessageYesNo("%s", Lang.GetText(304)) : OS.MessageYesNo(Lang.GetText(1062), n);
    if (!yes) return false;

    // Only the maps that no surviving object binds are offered for deletion; a
    // map merely highlighted in the Maps tab is not one of them.
    if (Project->Maps) Project->Maps->ClearSelectedItems();
    TObjectList objects(Project->GetObjectList());
    for (TKSN_Object* object : *objects) {
        TKSN_Mesh* mesh = object->Mesh.get();
        if (!mesh || !object->multiSelected || object->IsReadOnly()) continue;
        mesh->CleanMapBindings();
        ForEachBoundSource(mesh, true);
    }
    for (TKSN_Object* object : *objects) {
        TKSN_Mesh* mesh = object->Mesh.get();
        if (mesh && (!object->multiSelected || object->IsReadOnly())) ForEachBoundSource(mesh, false);
    }
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
    int doomed = 0;
    for (TQORMaterialMapSource* source : *maps) doomed += source && source->multiSelected ? 1 : 0;
    if (doomed > 0 && OS.MessageYesNo(Lang.GetText(1289), doomed)) {
        CancelAllViewportDependentWorkhorses();
        Project->Maps->DeleteSelectedItems();
        Project->CleanMapBindings();
    }
    if (Project->Maps) Project->Maps->ClearSelectedItems();
    CancelAllViewportDependentWorkhorses();
    tree->DeleteSelectedItems();
    if (!Project->GetCurrentObject())
        if (auto* first = dynamic_cast<TKSN_Object*>(GetFirstThingy(tree))) Project->SetCurrentObject(first);
    Project->OnMapTopologyChanged();
    Project->OnAllViewportsChanged();
    QOREvents_PushEvent(432);
    return true;
}

bool Merge(TQOREvent* event)
{
    const uint32_t id = event->idParameters[0];
    auto* tool = id ? dynamic_cast<TKSN_MergeObjects*>(__GetThingyFromID(id)) : nullptr;
    // TODO(stub): the merge tool does not show its five option flags yet
    // (Auto-Rename Groups, Auto-Rename Materials, One Group Per Object, One
    // Material Per Object and the hidden fifth); until it does they are off.
    if (tool) Project->MergeAllObjects(false, false, false, false, false);
    return true;
}

bool LiveSet(TQOREvent* event) { return event->operationMode == 1; }

// A boolean kept in a custom property of the object (the mesh has no field of its own).
bool ServeProperty(TQOREvent* event, TKSN_Object* object, const char* key)
{
    bool value = object->GetCustomBooleanProperty(key);
    ProcessLiveBoolEvent(event, &value, 0);
    object->SetCustomBooleanProperty(key, value);
    return true;
}

bool InitializeObject(TKSN_Object* object)
{
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!mesh) return false;
    char polys[QOR_FLOAT_WITH_COMMAS_MAX] = {};
    FloatToStringWithCommas(polys, float(mesh->TargetMaxSubDPolygonCount), 0);
    const int answer = OS.MessageYesNoCancel(Lang.GetText(1609), object->GetName(), polys);
    // The subdivision may exhaust memory, so a save the user asked for must
    // have happened before anything is built.
    if (answer == 0 && !QORProcessEventNow(KestruneEvents_CommandCB, 0, 378)) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1611));
        return false;
    }
    if (answer != 0 && answer != 1) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1611));
        return false;
    }
    mesh->DestroyAllSubDs();
    CreateSubDsForMesh(mesh, mesh->GetTargetMaxSubDLevel());
    QOREvents_PushEvent(299);
    QOREvents_PushEvent(441);
    OS.PrintMessageNoRepeat("%s", Lang.GetText(1610));
    return true;
}

} // namespace

bool Kestrune_Events_ObjectCB(TQOREvent* event)
{
    if (!event || !Project || !Project->Objects) return false;
    const int command = event->GetCommand();
    TKSN_Object* object = (command >= 197 && command <= 205) ? OwnerObject(event) : nullptr;
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    switch (command) {
    case 192: return CreateFolder();
    case 193: return Rename();
    case 194: return Step();
    case 195: return Delete();
    case 196: return Merge(event);
    case 197: {
        if (!object) return false;
        bool always = true;
        ProcessLiveBoolEvent(event, &always, 0);
        return true;
    }
    case 198:
        if (!object) return false;
        ProcessLiveBoolEvent(event, &object->RenderDoubleSided, 0);
        if (LiveSet(event)) Project->OnAllViewportsChanged();
        return true;
    case 199:
        if (!mesh) return false;
        ProcessLiveBoolEvent(event, &object->SymmetryEnabled, 0);
        if (LiveSet(event)) {
            Project->OnSymmetrySettingsChanged(false);
            Project->OnSymmetrySettingsChanged(mesh, true);
            QOREvents_PushEvent(299);
            QOREvents_PushEvent(431);
            QOREvents_PushEvent(441);
        }
        return true;
    case 200:
        if (!mesh) return false;
        ProcessLiveBoolEvent(event, &mesh->SubDsEnabled, 0);
        if (LiveSet(event)) {
            if (!mesh->SubDsEnabled) mesh->DestroyAllSubDs();
            QOREvents_PushEvent(299);
            QOREvents_PushEvent(431);
            QOREvents_PushEvent(441);
        }
        return true;
    case 201:
        if (!mesh) return false;
        ProcessLiveBoolEvent(event, &mesh->SubDDynamic, 0);
        if (LiveSet(event)) OS.WarningMessageNoRepeat("%s", "Please re-initialize the object for this change to take effect");
        return true;
    case 202:
        if (!mesh) return false;
        ProcessLiveBoolEvent(event, &mesh->SubDsSmoothed, 0);
        if (LiveSet(event)) {
            mesh->InvalidateAllInOSpace();
            QOREvents_PushEvent(299);
        }
        return true;
    case 203: return InitializeObject(object);
    case 204: {
        if (!object) return false;
        bool always = true;
        ProcessLiveBoolEvent(event, &always, 0);
        if (LiveSet(event)) {
            object->SetCustomBooleanProperty("UPDATE_AFFECTED_STENCIL", true);
            Project->InvalidateAffectedObjectsStencil();
        }
        return true;
    }
    case 205:
        if (!mesh) return false;
        // TODO(stub): stands for the mesh's reference-object flag, which the
        // mesh does not keep yet; the object's custom property holds it.
        ServeProperty(event, object, "REFERENCE_OBJECT");
        if (LiveSet(event)) Project->OnAllViewportsChanged();
        return true;
    default: return false;
    }
}
