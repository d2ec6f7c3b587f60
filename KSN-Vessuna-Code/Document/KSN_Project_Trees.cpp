// Tree-group helpers: searching, labelling, sorting and walking the
// document's trees, the managers' highlight (multi-selection), and deciding
// and reporting which objects an action on several objects applies to.
//
// Index:
//   [SECTION] Searches
//   [SECTION] Highlight and expansion
//   [SECTION] Group paths
//   [SECTION] Sorting
//   [SECTION] List visitors
//   [SECTION] Targets of an action
//
// Every walk covers the given group and its following siblings, each depth
// first in pre-order (a group's own items before its child groups), as
// TKSN_TreeGroup::Traverse does. The item lists are vectors walked by index
// once, so a walk can never come round to the same index twice.
#include "KSN_Project.h"

#include <cassert>
#include <memory>
#include <string>

#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project_Internal.h"
#include "KSN_SculptLayer.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"

namespace {

bool NameEquals(const TQORThingy* thingy, const char* name)
{
    return QORstrcmpi(thingy->GetName(), name) == 0;
}

// The first item of the group's own list with that name, up to an empty slot.
TKSN_Thingy* FindItemInGroup(TKSN_TreeGroup* group, const char* name)
{
    for (TKSN_Thingy* item : *group->items) {
        if (!item) break;
        if (NameEquals(item, name)) return item;
    }
    return nullptr;
}

using TObjectList = std::unique_ptr<TQORNewStaticList<TKSN_Object*>>;

} // namespace

// [SECTION] Searches

TKSN_TreeGroup* FindGroupFromName(TKSN_TreeGroup* group, const char* name)
{
    if (!name) return nullptr;
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (NameEquals(g, name)) return g;
        if (TKSN_TreeGroup* found = FindGroupFromName(g->GetChild(), name)) return found;
    }
    return nullptr;
}

TKSN_Thingy* FindThingyFromName(TKSN_TreeGroup* group, const char* name)
{
    return FindThingyFromNameIgnoreSiblings(group, name, false);
}

TKSN_Thingy* FindThingyFromNameIgnoreSiblings(TKSN_TreeGroup* group, const char* name, bool ignoreSiblings)
{
    if (!name) return nullptr;
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (TKSN_Thingy* found = FindItemInGroup(g, name)) return found;
        if (TKSN_Thingy* found = FindThingyFromNameIgnoreSiblings(g->GetChild(), name, false)) return found;
        if (ignoreSiblings) break;
    }
    return nullptr;
}

TKSN_TreeGroup* FindGroupWhichContainsID(TKSN_TreeGroup* group, uint32_t id)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (g->GetID() == id) return g;
        for (TKSN_Thingy* item : *g->items) {
            if (!item) break;
            if (item->GetID() == id) return g;
        }
        if (TKSN_TreeGroup* found = FindGroupWhichContainsID(g->GetChild(), id)) return found;
    }
    return nullptr;
}

TKSN_Thingy* GetFirstThingy(TKSN_TreeGroup* group)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (g->hidden) continue;   // with everything below it
        if (g->items->Count() > 0 && (*g->items)[0]) return (*g->items)[0];
        if (TKSN_Thingy* found = GetFirstThingy(g->GetChild())) return found;
    }
    return nullptr;
}

// [SECTION] Highlight and expansion

void SetMultiSelectAllChildrenAndItems(TKSN_TreeGroup* group, bool value)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        g->multiSelected = value;
        for (TKSN_Thingy* item : *g->items)
            if (item) item->multiSelected = value;
        SetMultiSelectAllChildrenAndItems(g->GetChild(), value);
    }
}

void UnMultiSelectAnyItemInCollapsedGroup(TKSN_TreeGroup* group)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (g->collapsed) {
            for (TKSN_Thingy* item : *g->items)
                if (item) item->multiSelected = false;
            UnMultiSelectAnyItemInCollapsedGroupB(g->GetChild());
        } else {
            UnMultiSelectAnyItemInCollapsedGroup(g->GetChild());
        }
    }
}

void UnMultiSelectAnyItemInCollapsedGroupB(TKSN_TreeGroup* group)
{
    SetMultiSelectAllChildrenAndItems(group, false);
}

namespace {

// The group that is thingy or holds it, in the walk; null when absent.
TKSN_TreeGroup* FindHolder(TKSN_TreeGroup* group, const TKSN_Thingy* thingy)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (static_cast<const TKSN_Thingy*>(g) == thingy) return g;
        if (g->items->Find(const_cast<TKSN_Thingy*>(thingy)) >= 0) return g;
        if (TKSN_TreeGroup* found = FindHolder(g->GetChild(), thingy)) return found;
    }
    return nullptr;
}

} // namespace

bool TKSN_Project::UncollapseAllParentGroups(TKSN_TreeGroup* group, TKSN_Thingy* thingy)
{
    if (!thingy) return true;
    TKSN_TreeGroup* found = FindHolder(group, thingy);
    if (!found) return true;
    for (TKSN_TreeGroup* g = found; g; g = g->GetParent())
        g->collapsed = false;
    return false;
}

void TKSN_Project::ClearManagerSelections(TKSN_Thingy* keep)
{
    const uint32_t keepID = keep ? keep->GetID() : 0;
    auto clear = [keepID](TKSN_TopTreeGroup* tree) {
        if (tree && (keepID == 0 || tree->GetID() != keepID)) tree->ClearSelectedItems();
    };
    clear(SelectionUnions);
    clear(MorphUnions);
    clear(Objects);
    clear(Maps);
    clear(MapLayers);
    clear(SculptLayers);

    TObjectList objects(GetObjectList());
    for (TKSN_Object* object : *objects) {
        TKSN_Mesh* mesh = object->Mesh.get();
        if (!mesh) continue;
        clear(mesh->MorphTree);
        clear(mesh->SelectionTree);
        clear(mesh->Materials);
        clear(mesh->Groups2);
    }
}

// [SECTION] Group paths

void SetGroupPaths(TKSN_TreeGroup* group)
{
    std::string path;
    SetGroupPaths_Recurse(group, 0, path);
}

void SetGroupPaths_Recurse(TKSN_TreeGroup* group, int depth, std::string& path)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        const size_t before = path.size();
        path += g->GetName();
        path += ':';
        g->SetGroupPath(path.c_str());
        for (TKSN_Thingy* item : *g->items)
            if (item) item->SetGroupPath(path.c_str());
        SetGroupPaths_Recurse(g->GetChild(), depth + 1, path);
        path.resize(before);
    }
}

// [SECTION] Sorting

namespace {

bool NameGreater(const TQORThingy* a, const TQORThingy* b)
{
    return QORstrcmpi(a->GetName(), b->GetName()) > 0;
}

// Passes until none moves: a later sibling that sorts before the cursor is
// moved in front of it; equal names never move, so the order is stable.
void SortChildGroups(TKSN_TreeGroup* group)
{
    bool moved = true;
    while (moved) {
        moved = false;
        TKSN_TreeGroup* cursor = group->GetChild();
        while (cursor && cursor->GetNext()) {
            TKSN_TreeGroup* next = cursor->GetNext();
            if (NameGreater(cursor, next)) {
                next->Unlink();
                cursor->LinkPrev(next);
                moved = true;
            } else {
                cursor = next;
            }
        }
    }
}

void SortItems(TKSN_TreeGroup* group)
{
    TKSN_ThingyList& items = *group->items;
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (int i = 1; i < items.Count(); ++i) {
            if (!items[i - 1] || !items[i]) break;
            if (NameGreater(items[i - 1], items[i])) {
                std::swap(items[i - 1], items[i]);
                swapped = true;
            }
        }
    }
}

} // namespace

void SortTreeGroupsByNames(TKSN_TreeGroup* group, bool sortGroups, bool sortItems)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (sortGroups) SortChildGroups(g);
        if (sortItems) SortItems(g);
        SortTreeGroupsByNames(g->GetChild(), sortGroups, sortItems);
    }
}

// [SECTION] List visitors

namespace {

template <class T>
bool AppendItemsOfClass(TKSN_TreeGroup* group, void* list)
{
    auto* out = static_cast<TQORNewStaticList<T*>*>(list);
    if (!group || !out) return true;
    for (TKSN_Thingy* item : *group->items)
        if (auto* typed = dynamic_cast<T*>(item)) out->Add(typed);
    return true;
}

} // namespace

bool GetObjectListFromObjects_OnVisit(TKSN_TreeGroup* group, int, void* list)
{
    return AppendItemsOfClass<TKSN_Object>(group, list);
}

bool GetObjectCountFromObjects_OnVisit(TKSN_TreeGroup* group, int, void* counter)
{
    auto* count = static_cast<int*>(counter);
    if (!group || !count) return true;
    for (TKSN_Thingy* item : *group->items)
        if (dynamic_cast<TKSN_Object*>(item)) ++*count;
    return true;
}

bool GetMeshListFromObjects_OnVisit(TKSN_TreeGroup* group, int, void* list)
{
    auto* out = static_cast<TQORNewStaticList<TKSN_Mesh*>*>(list);
    if (!group || !out) return true;
    for (TKSN_Thingy* item : *group->items)
        if (auto* object = dynamic_cast<TKSN_Object*>(item); object && object->Mesh) out->Add(object->Mesh.get());
    return true;
}

bool GetMapListFromObjects_OnVisit(TKSN_TreeGroup* group, int, void* list)
{
    return AppendItemsOfClass<TQORMaterialMapSource>(group, list);
}

bool GetMorphUnionList_OnVisit(TKSN_TreeGroup* group, int, void* list)
{
    return AppendItemsOfClass<TKSN_MorphUnion>(group, list);
}

bool GetSelectionUnionList_OnVisit(TKSN_TreeGroup* group, int, void* list)
{
    return AppendItemsOfClass<TKSN_SelectionUnion>(group, list);
}

bool DeleteThingy_OnVisit(TKSN_TreeGroup* group, int, void* thingy)
{
    auto* target = static_cast<TKSN_Thingy*>(thingy);
    if (!group || !target) return true;
    const int index = group->items->Find(target);
    if (index < 0) return true;
    group->items->Delete(index);
    // The project must not keep naming what is about to go.
    if (Project) Project->ForgetCurrentItem(target);
    delete target;
    return false;
}

bool ClearThingy_OnVisit(TKSN_TreeGroup* group, int, void* thingy)
{
    auto* target = static_cast<TKSN_Thingy*>(thingy);
    if (!group || !target) return true;
    while (group->items->Remove(target)) {
    }
    return true;
}

// [SECTION] Targets of an action

bool TKSN_Project::CheckForAllCurrentOrMultiSelectedObjects(bool& useMultiSelection, bool& currentOnly,
                                                           const char* question, bool demandHighlighted,
                                                           const char* warning)
{
    useMultiSelection = false;
    currentOnly = false;
    TObjectList objects(GetObjectList());
    if (objects->IsEmpty()) return false;

    int targetable = 0;
    int highlighted = 0;
    for (TKSN_Object* object : *objects) {
        if (!object->Mesh || !CanAffectObject(object)) continue;
        ++targetable;
        if (object->multiSelected) ++highlighted;
    }

    if (targetable == 0) return false;
    if (targetable == 1) {
        currentOnly = true;
        return true;
    }
    if (highlighted == 0) {
        if (demandHighlighted) {
            if (warning) OS.WarningMessageNoRepeat("%s", warning);
            return false;
        }
        assert(question && "CheckForAllCurrentOrMultiSelectedObjects needs a question for several objects");
        const std::string text = QORFormat(question ? question : "%d", targetable);
        if (!OS.MessageYesNo("%s", text.c_str())) currentOnly = true;
        return true;
    }
    useMultiSelection = true;
    return true;
}

void TKSN_Project::PrintDescriptionForActionAgainstTarget(const char* action, bool onlyHighlighted, bool onlyCurrent,
                                                          bool onlyWithSelectedVertices)
{
    if (!action) action = "";
    TObjectList objects(GetObjectList());
    int count = 0;
    TKSN_Object* first = nullptr;
    for (TKSN_Object* object : *objects) {
        if (!object->Mesh || !CanAffectObject(object)) continue;
        if (onlyHighlighted && !object->multiSelected) continue;
        if (onlyCurrent && object->GetID() != CurrentObjectID) continue;
        if (onlyWithSelectedVertices && object->Mesh->GetSelectedVertexCount() == 0) continue;
        if (!first) first = object;
        ++count;
    }

    std::string text;
    if (AffectMode != 0 || count < 2) {
        if (!first)
            text = Lang.GetText(1224);
        else
            text = QORFormat(Lang.GetText(1223), action, first->GetName());
    } else {
        text = QORFormat(Lang.GetText(1222), action, count);
    }
    OS.PrintMessage("%s", text.c_str());
}

int TKSN_Project::GetObjectCountForActionAgainstTarget(bool warn)
{
    if (AffectMode == 1) {
        if (GetCurrentObject()) return 1;
        if (warn) KSN_ProjectApp_WarningNoCurrentObject(true);
        return 0;
    }

    int count = 0;
    if (AffectMode == 0) {
        TObjectList objects(GetObjectList());
        for (TKSN_Object* object : *objects)
            if (object->Mesh) ++count;
    }
    if (count > 0) return count;
    if (warn) OS.WarningMessageNoRepeat("%s", Lang.GetText(1180));
    return 0;
}
