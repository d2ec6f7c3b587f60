// The project tree's row callbacks (see KSN_Gui_ProjectTree.h).
#include "KSN_Gui_ProjectTree.h"

#include "GuiMenu.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Mesh.h"
#include "KSN_MorphSelectionTree.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Selection.h"
#include "KSN_Union.h"
#include "QORMaterial.h"
#include "QOREvents.h"
#include "QORMemory.h"
#include "QORTree.h"

#include <memory>

// [SECTION] Panel

TKSN_ObjectManagerNode::TKSN_ObjectManagerNode(TGui_Node* parent) : TKSN_ManagerNode(parent) { SetName("", false); }

void TKSN_ObjectManagerNode::UpdateSize_SecondPass()
{
    TGui_Node::UpdateSize_SecondPass();
    if (!Shown || !List) return;
    // All rows as wide as the furthest-reaching widget of any row, at least 230.
    int w = 230;
    for (TGui_Node* row = List->FirstChild; row; row = row->Next)
        for (TGui_Node* c = row->FirstChild; c; c = c->Next) w = std::max(w, c->X + c->Width);
    for (TGui_Node* row = List->FirstChild; row; row = row->Next) row->Width = w;
}

// [SECTION] Helpers

int32_t* GetHighlightProfileFromGroup(TKSN_TreeGroup* group)
{
    std::unique_ptr<TKSN_ThingyList> list;
    if (group) list = group->GetPreOrderList(true, true, false);
    const int n = list ? list->Count() : 0;
    auto* profile = static_cast<int32_t*>(QORalloc(sizeof(int32_t) * size_t(n + 1)));
    profile[0] = n;
    for (int i = 0; i < n; ++i) profile[i + 1] = (*list)[i] && (*list)[i]->multiSelected ? 1 : 0;
    return profile;
}

namespace {

bool SameProfile(const int32_t* a, const int32_t* b)
{
    if (a[0] != b[0]) return false;
    for (int i = 1; i <= a[0]; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

bool Shift() { return MainWindow && MainWindow->IsShiftHeld(); }
bool Alt() { return MainWindow && MainWindow->IsAltHeld(); }

template <class T>
T* Resolve(uint32_t id)
{
    return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr;
}

// Selects in tree and queues 441 when the profile of `profiled` changed.
void SelectProfiled(TKSN_TopTreeGroup* tree, TKSN_TreeGroup* profiled, uint32_t id)
{
    int32_t* before = GetHighlightProfileFromGroup(profiled);
    tree->SelectItem(id, Shift(), Alt());
    int32_t* after = GetHighlightProfileFromGroup(profiled);
    if (!SameProfile(before, after)) QOREvents_PushEvent(441);
    QORfree(before);
    QORfree(after);
}

// The highlight step: the other trees are cleared, then the click goes to tree.
void Highlight(TKSN_TopTreeGroup* tree, uint32_t id, TKSN_Thingy* keep)
{
    int32_t* before = GetHighlightProfileFromGroup(tree);
    Project->ClearManagerSelections(keep);
    tree->SelectItem(id, Shift(), Alt());
    int32_t* after = GetHighlightProfileFromGroup(tree);
    if (!SameProfile(before, after)) QOREvents_PushEvent(441);
    QORfree(before);
    QORfree(after);
}

// Opens the menu at the mouse, in window coordinates.
bool PopupMenu(TQOREvent* event, TGui_Menu* menu, void (*refresh)())
{
    if (!menu) return false;
    auto* node = dynamic_cast<TGui_Node*>(__GetThingyFromID(event->dispatcherID));
    if (node) {
        refresh();
        menu->Popup(node, event->GetX() + node->AbsX, event->GetY() + node->AbsY);
    }
    return true;
}

bool LeftPress(TQOREvent* e) { return e->GetMouseButton() == 0 && e->GetMouseState() == 0; }

TKSN_Mesh* MeshOf(TKSN_Object* object) { return object ? object->Mesh.get() : nullptr; }

} // namespace

// [SECTION] Objects

bool SelectObjectCB(TQOREvent* event)
{
    if (!event || !Project || !Project->Objects) return false;
    auto* object = Resolve<TKSN_Object>(event->idParameters[0]);
    if (!object) return false;
    if (Project->GetCurrentObject() != object && !Shift() && !Alt()) Project->SetCurrentObject(object);
    Highlight(Project->Objects, object->GetID(), Project->Objects);
    return true;
}

bool DoubleClickObjectCB(TQOREvent* event)
{
    if (!SelectObjectCB(event)) return false;
    QOREvents_PushEvent(256);
    return true;
}

bool RightClickObjectCB(TQOREvent* event)
{
    if (!SelectObjectCB(event) || !MainWindow) return false;
    return PopupMenu(event, MainWindow->ObjectsMenu, [] { MainWindow->UpdateObjectsMenu(); });
}

// [SECTION] Polygon groups and materials

namespace {

// A click on a group or material row: the row's object must still have a mesh
// and the owner must still be an entry of class T; then the mesh's tree of
// that kind takes the click.
template <class T>
bool ClickMeshEntry(TQOREvent* event, TKSN_TopTreeGroup* (*treeOf)(TKSN_Mesh*))
{
    if (!event || !Project) return false;
    TKSN_Mesh* mesh = MeshOf(Resolve<TKSN_Object>(uint32_t(event->intParameters[0])));
    auto* entry = Resolve<T>(event->GetOwnerID());
    TKSN_TopTreeGroup* tree = mesh ? treeOf(mesh) : nullptr;
    if (!tree || !entry) return false;
    Highlight(tree, entry->GetID(), tree);
    return true;
}

} // namespace

bool ClickGroup2CB(TQOREvent* event)
{
    return ClickMeshEntry<TQORGroup2>(event, [](TKSN_Mesh* m) -> TKSN_TopTreeGroup* { return m->Groups2; });
}

bool DoubleClickGroup2CB(TQOREvent* event)
{
    if (!ClickGroup2CB(event)) return false;
    QOREvents_PushEvent(254);
    return true;
}

// The menu acts on the highlighted groups as they are, so no highlight changes.
bool RightClickGroup2CB(TQOREvent* event)
{
    if (!event || !MainWindow) return false;
    return PopupMenu(event, MainWindow->GroupsMenu, [] { MainWindow->UpdateGroupMenu(); });
}

bool ClickMaterialCB(TQOREvent* event)
{
    return ClickMeshEntry<TQORMaterial>(event, [](TKSN_Mesh* m) -> TKSN_TopTreeGroup* { return m->Materials; });
}

bool DoubleClickMaterialCB(TQOREvent* event)
{
    if (!ClickMaterialCB(event)) return false;
    QOREvents_PushEvent(252);
    return true;
}

bool RightClickMaterialCB(TQOREvent* event)
{
    if (!event || !MainWindow) return false;
    return PopupMenu(event, MainWindow->MaterialsMenu, [] { MainWindow->UpdateMaterialMenu(); });
}

// [SECTION] Selections

bool OnClickingSelection(TQOREvent* event, bool)
{
    if (!event || !Project) return false;
    auto* object = Resolve<TKSN_Object>(uint32_t(event->intParameters[0]));
    auto* selection = Resolve<TKSN_Selection>(event->GetOwnerID());
    if (!object || !selection) return false;
    if (TKSN_Mesh* mesh = MeshOf(object)) {
        Project->ClearManagerSelections(mesh->SelectionTree);
        Project->SetObjectContainingCurrentSelectionID(object->GetID());
        mesh->SelectionTree->SelectItem(selection->GetID(), Shift(), Alt());
    }
    QOREvents_PushEvent(440);
    Project->OnAllViewportsChanged();
    return true;
}

bool SelectSelectionCB(TQOREvent* event) { return OnClickingSelection(event, true); }

bool RightClickSelectCB(TQOREvent* event)
{
    if (!event || !Project || !MainWindow) return false;
    auto* object = Resolve<TKSN_Object>(uint32_t(event->intParameters[0]));
    auto* selection = Resolve<TKSN_Selection>(event->GetOwnerID());
    if (!object || !selection) return false;
    TKSN_Mesh* mesh = MeshOf(object);
    const bool keep = selection->multiSelected && mesh && mesh->SelectionTree->GetSelectedCount(true, true) > 0;
    if (!keep) OnClickingSelection(event, false);
    return PopupMenu(event, MainWindow->SelectMenu, [] { MainWindow->UpdateSelectionMenu(false, false); });
}

// [SECTION] Morph targets

bool ClickOnMorphCB(TQOREvent* event, bool left)
{
    if (!event || !Project) return false;
    auto* object = Resolve<TKSN_Object>(uint32_t(event->intParameters[0]));
    auto* folder = Resolve<TKSN_TreeGroup>(uint32_t(event->intParameters[2]));
    auto* morph = Resolve<TKSN_Morph>(event->GetOwnerID());
    if (!object || !folder || !morph) return false;
    TKSN_Mesh* mesh = MeshOf(object);
    if (!mesh) return true;
    Project->ClearManagerSelections(mesh->MorphTree);
    Project->SetObjectContainingCurrentSelectionID(object->GetID());
    bool selected = false;
    if (!morph->multiSelected || Shift() || Alt()) {
        mesh->MorphTree->SelectItem(morph->GetID(), Shift(), Alt());
        selected = true;
    }
    if (left && !Shift() && !Alt()) {
        mesh->SetCurrentMorph(morph);
        mesh->MorphTree->SelectItem(morph->GetID(), false, false);
        QOREvents_PushEvent(7);
        Project->OnAllViewportsChanged();
        QOREvents_PushEvent(439);
    } else if (selected) {
        QOREvents_PushEvent(439);
    }
    return true;
}

bool SelectMorphCB(TQOREvent* event) { return ClickOnMorphCB(event, true); }

bool RightClickMorphCB(TQOREvent* event)
{
    if (!event || !MainWindow) return false;
    auto* morph = Resolve<TKSN_Morph>(event->GetOwnerID());
    if (!morph) return false;
    if (!morph->multiSelected && !ClickOnMorphCB(event, false)) return false;
    return PopupMenu(event, MainWindow->MorphsMenu, [] { MainWindow->UpdateMorphMenu(); });
}

// [SECTION] Selection unions

bool OnClickingSelectionUnion(TQOREvent* event, bool left)
{
    if (!event || !Project || !Project->SelectionUnions) return false;
    if (left && !LeftPress(event)) return false;
    auto* owner = Resolve<TKSN_Thingy>(event->GetOwnerID());
    if (!owner) return false;
    Highlight(Project->SelectionUnions, owner->GetID(), Project->SelectionUnions);
    return true;
}

bool SelectSelectionUnionCB(TQOREvent* event) { return OnClickingSelectionUnion(event, true); }

bool DoubleClickSelectionUnionCB(TQOREvent* event)
{
    if (!OnClickingSelectionUnion(event, true)) return false;
    QOREvents_PushEvent(251);
    return true;
}

bool RightClickSelectionUnionCB(TQOREvent* event)
{
    if (!event || !Project || !MainWindow || !Project->SelectionUnions) return false;
    auto* u = Resolve<TKSN_SelectionUnion>(event->GetOwnerID());
    const bool keep = u && u->multiSelected && Project->SelectionUnions->GetSelectedCount(true, true) > 0;
    if (!keep && !OnClickingSelectionUnion(event, false)) return false;
    return PopupMenu(event, MainWindow->SelectMenu, [] { MainWindow->UpdateSelectionMenu(false, false); });
}

// [SECTION] Morph unions

bool OnClickingMorphUnion(TQOREvent* event, bool left)
{
    if (!event || !Project || !Project->MorphUnions) return false;
    if (left && !LeftPress(event)) return false;
    auto* owner = Resolve<TKSN_Thingy>(event->GetOwnerID());
    if (!owner) return false;
    Highlight(Project->MorphUnions, owner->GetID(), Project->MorphUnions);
    if (!left || !dynamic_cast<TKSN_MorphUnion*>(owner)) return true;

    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    for (TKSN_Object* object : *objects)
        if (TKSN_Mesh* mesh = MeshOf(object)) mesh->SetCurrentMorph(nullptr);
    auto* morphUnion = Resolve<TKSN_MorphUnion>(Project->MorphUnions->GetSelectedItemID());
    if (!morphUnion) return true;
    Project->SetCurrentMorphUnion(morphUnion);
    // Members that are gone are dropped, the rest keep their order.
    TQORNewStaticList<unsigned int> live(1);
    for (unsigned id : morphUnion->ItemIDs)
        if (Resolve<TKSN_Morph>(id)) live.Add(id);
    morphUnion->ItemIDs = live;
    for (unsigned id : morphUnion->ItemIDs) {
        auto* morph = Resolve<TKSN_Morph>(id);
        if (auto* mesh = Resolve<TKSN_Mesh>(morph->GetOwnerID())) mesh->SetCurrentMorph(morph);
    }
    return true;
}

bool SelectMorphUnionCB(TQOREvent* event) { return OnClickingMorphUnion(event, true); }

bool RightClickMorphUnionCB(TQOREvent* event)
{
    if (!event || !Project || !MainWindow || !Project->MorphUnions) return false;
    auto* u = Resolve<TKSN_MorphUnion>(event->GetOwnerID());
    const bool keep = u && u->multiSelected && Project->MorphUnions->GetSelectedCount(true, true) > 0;
    if (!keep && !OnClickingMorphUnion(event, false)) return false;
    return PopupMenu(event, MainWindow->MorphsMenu, [] { MainWindow->UpdateMorphMenu(); });
}

// [SECTION] Folders

bool SelectTreeGroupWithMultiSelectCB(TQOREvent* event, TKSN_TreeGroup* keep)
{
    if (!event || !Project) return false;
    auto* folder = Resolve<TKSN_TreeGroup>(event->idParameters[2]);
    if (!folder) return false;
    if (keep) Project->ClearManagerSelections(keep);
    TKSN_TreeGroup* root = folder;
    while (root->GetParent()) root = root->GetParent();
    auto* top = dynamic_cast<TKSN_TopTreeGroup*>(root);
    if (!top) return false;
    SelectProfiled(top, folder, folder->GetID());
    return true;
}

bool SelectObjectGroupWithMultiSelectCB(TQOREvent* event)
{
    SelectTreeGroupWithMultiSelectCB(event, Project ? Project->Objects : nullptr);
    return true;
}

bool SelectSelectionUnionGroupWithMultiSelectCB(TQOREvent* event)
{
    if (!event || !LeftPress(event)) return false;
    SelectTreeGroupWithMultiSelectCB(event, Project ? Project->SelectionUnions : nullptr);
    return true;
}

bool SelectMorphUnionGroupWithMultiSelectCB(TQOREvent* event)
{
    if (!event || !LeftPress(event)) return false;
    SelectTreeGroupWithMultiSelectCB(event, Project ? Project->MorphUnions : nullptr);
    return true;
}

namespace {

bool MeshFolderClick(TQOREvent* event, bool morphs)
{
    if (!event || !Project) return false;
    auto* object = Resolve<TKSN_Object>(event->idParameters[0]);
    if (!object) return false;
    TKSN_Mesh* mesh = MeshOf(object);
    TKSN_TreeGroup* keep = nullptr;
    if (mesh) keep = morphs ? static_cast<TKSN_TreeGroup*>(mesh->MorphTree) : mesh->SelectionTree;
    SelectTreeGroupWithMultiSelectCB(event, keep);
    Project->SetObjectContainingCurrentSelectionID(object->GetID());
    return true;
}

} // namespace

bool SelectSelectionGroupWithMultiSelectCB(TQOREvent* event) { return MeshFolderClick(event, false); }
bool SelectMorphGroupWithMultiSelectCB(TQOREvent* event) { return MeshFolderClick(event, true); }
