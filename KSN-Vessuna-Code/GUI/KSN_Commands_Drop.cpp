// Drops on the Manager tab's trees (commands 2-6): a dragged row's payload
// ("Object2 <id>", "MorphUnion <id>", ...) moves the dragged entry, with
// every highlighted entry of the same tree, into the folder of the row it
// was dropped on, next to that row's entry.
#include "KSN_Commands_Drop.h"

#include "GuiNode.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_MorphSelectionTree.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Selection.h"
#include "KSN_Union.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"
#include "QORMemory.h"
#include "QORTree.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

template <class T>
T* Resolve(uint32_t id)
{
    return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr;
}

std::vector<std::string> Words(const char* text)
{
    std::vector<std::string> out;
    std::string word;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') {
            if (!word.empty()) out.push_back(word);
            word.clear();
        } else {
            word += *p;
        }
    }
    if (!word.empty()) out.push_back(word);
    return out;
}

uint32_t ParseID(const std::string& word) { return uint32_t(std::strtoul(word.c_str(), nullptr, 10)); }

bool Inside(const TKSN_TreeGroup* group, const TKSN_TreeGroup* folder)
{
    for (const TKSN_TreeGroup* g = group; g; g = g->GetParent())
        if (g == folder) return true;
    return false;
}

// The entry shown on a row number, and the folder that is or holds it.
TKSN_Thingy* EntryOfRow(TKSN_TreeGroup* group, int row, TKSN_TreeGroup** folder)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (g->displayListNumber == row) {
            *folder = g;
            return g;
        }
        if (g->items)
            for (TKSN_Thingy* item : *g->items)
                if (item && item->displayListNumber == row) {
                    *folder = g;
                    return item;
                }
        if (TKSN_Thingy* found = EntryOfRow(g->GetChild(), row, folder)) return found;
    }
    return nullptr;
}

// The row-number form of a drop (the old payloads "Morph", "Selection", "Object").
bool DropRow(TKSN_TreeGroup* tree, int dragged, int target, int refresh)
{
    if (!tree) return false;
    if (ProcessDragDropThingyNode(tree, dragged, target) && refresh) QOREvents_PushEvent(refresh);
    return true;
}

bool DropByID(int command, TQOREvent* event, const std::vector<std::string>& words)
{
    TKSN_TopTreeGroup* tree = nullptr;
    size_t itemWord = 1;
    bool keepFirst = true;
    TKSN_Thingy* target = nullptr;
    const uint32_t targetID = event->idParameters[1];
    if (command == 2 || command == 5) {
        if (words.size() < 3) return false;
        auto* mesh = Resolve<TKSN_Mesh>(ParseID(words[1]));
        if (!mesh) return false;
        itemWord = 2;
        if (command == 2) {
            tree = mesh->MorphTree;
            target = Resolve<TKSN_Morph>(targetID);
        } else {
            tree = mesh->SelectionTree;
            target = Resolve<TKSN_Selection>(targetID);
            keepFirst = false;
        }
    } else if (command == 3) {
        tree = Project->MorphUnions;
        target = Resolve<TKSN_MorphUnion>(targetID);
    } else if (command == 4) {
        tree = Project->SelectionUnions;
        target = Resolve<TKSN_SelectionUnion>(targetID);
    } else {
        tree = Project->Objects;
        target = Resolve<TKSN_Object>(targetID);
        keepFirst = false;
    }
    auto* group = Resolve<TKSN_TreeGroup>(event->idParameters[0]);
    if (!tree || !group) return false;
    auto* dragged = Resolve<TKSN_Thingy>(ParseID(words[itemWord]));
    ProcessDragDropWithMultiSelect(tree, dragged, target, group, event, Resolve<TGui_Node>(event->dispatcherID),
                                   keepFirst);
    if (command == 6) QOREvents_PushEvent(441);
    return true;
}

} // namespace

bool ProcessDragDropThingyNode(TKSN_TreeGroup* tree, int dragged, int target)
{
    if (!tree || target == dragged || target == -1) return false;
    TKSN_TreeGroup* draggedGroup = nullptr;
    TKSN_TreeGroup* targetGroup = nullptr;
    TKSN_Thingy* draggedThingy = EntryOfRow(tree, dragged, &draggedGroup);
    TKSN_Thingy* targetThingy = EntryOfRow(tree, target, &targetGroup);
    if (!draggedThingy || draggedThingy == static_cast<TKSN_Thingy*>(tree) || draggedThingy == targetThingy)
        return false;
    if (draggedThingy->IsReadOnly()) {
        OS.WarningMessage(Lang.GetText(1040), draggedThingy->GetName());
        return false;
    }
    if (targetGroup && static_cast<TKSN_Thingy*>(targetGroup) == draggedThingy) return false;
    if (!targetGroup) {
        if (!draggedGroup) return true;
        draggedGroup->Unlink();
        tree->LinkChild(draggedGroup);
        return true;
    }
    if (!draggedGroup) return true;
    if (static_cast<TKSN_Thingy*>(draggedGroup) == draggedThingy) {
        if (Inside(targetGroup, draggedGroup)) {
            OS.WarningMessage("%s", "Cannot move this group into a child group");
            return false;
        }
        draggedGroup->Unlink();
        targetGroup->LinkChild(draggedGroup);
        return true;
    }
    draggedGroup->items->Remove(draggedThingy);
    if (!targetGroup->items) targetGroup->items = std::make_unique<TKSN_ThingyList>();
    int at = static_cast<TKSN_Thingy*>(targetGroup) == targetThingy ? 0 : targetGroup->items->Find(targetThingy);
    at = std::max(0, std::min(at, targetGroup->items->Count()));
    targetGroup->items->Insert(at, draggedThingy);
    return true;
}

void ProcessDragDropWithMultiSelect(TKSN_TopTreeGroup* tree, TKSN_Thingy* dragged, TKSN_Thingy* target,
                                    TKSN_TreeGroup* targetGroup, TQOREvent* event, TGui_Node* dropNode,
                                    bool keepFirst)
{
    if (!tree || !targetGroup) return;
    std::unique_ptr<TKSN_ThingyList> list = tree->GetPreOrderList(true, true, false);
    auto moving = [&](const TKSN_Thingy* t) { return t && (t->multiSelected || t == dragged); };
    // Decide first, move afterwards: moving changes the tree the list came from.
    std::vector<TKSN_Thingy*> items;
    std::vector<TKSN_TreeGroup*> folders;
    std::unordered_set<TKSN_Thingy*> seen;
    TKSN_TreeGroup* folder = tree;
    for (TKSN_Thingy* entry : *list) {
        if (!seen.insert(entry).second)
            QORThrowException("Infinite list traversal detected %s,%s,%s", "TKSN_ThingyPtr", "Item", "List");
        auto* group = dynamic_cast<TKSN_TreeGroup*>(entry);
        if (group) folder = group;
        if (!moving(entry)) continue;
        // A highlighted folder carries everything inside it along.
        bool carried = false;
        for (TKSN_TreeGroup* g = group ? group->GetParent() : folder; g && !carried; g = g->GetParent())
            carried = moving(g);
        if (carried) continue;
        if (group)
            folders.push_back(group);
        else
            items.push_back(entry);
    }
    const bool lowerHalf = event && dropNode && event->GetY() > dropNode->Height / 2;
    TKSN_Thingy* previous = nullptr;   // keeps the moved items in their tree order
    for (TKSN_Thingy* item : items) {
        if (item == target) continue;
        Project->RemoveThingyFromTree(tree, item);
        if (!targetGroup->items) targetGroup->items = std::make_unique<TKSN_ThingyList>();
        TKSN_ThingyList& into = *targetGroup->items;
        int at = 0;
        if (previous && into.Find(previous) >= 0) {
            at = into.Find(previous) + 1;
        } else {
            at = target ? into.Find(target) : -1;
            if (keepFirst && targetGroup == tree && (at == 0 || at == -1)) at = 1;
            if (lowerHalf) at += 1;
        }
        at = std::max(0, std::min(at, into.Count()));
        into.Insert(at, item);
        previous = item;
    }
    for (TKSN_TreeGroup* group : folders) {
        if (group == targetGroup || group == tree || Inside(targetGroup, group)) continue;
        group->Unlink();
        targetGroup->LinkChild(group);
    }
    QOREvents_PushEvent(441);
}

bool KSN_ManagerTreeDrop(TQOREvent* event)
{
    if (!event || !Project) return false;
    const int command = event->GetCommand();
    const std::vector<std::string> words = Words(event->GetStringParameter(0));
    if (words.size() < 2) return false;
    const char* kind = words[0].c_str();
    auto is = [&](const char* k) { return QORstrcmpi(kind, k) == 0; };
    if (is("Morph") || is("Selection") || is("Object")) {
        const int dragged = std::atoi(words[1].c_str());
        if (command == 6) {
            ProcessDragDropThingyNode(Project->Objects, dragged, event->GetIndex());
            QOREvents_PushEvent(441);
            return true;
        }
        TKSN_Mesh* mesh = Project->GetCurrentObject() ? Project->GetCurrentObject()->Mesh.get() : nullptr;
        if (command != 2 && command != 5) return true;
        if (!mesh) return false;
        if (command == 2) return DropRow(mesh->MorphTree, dragged, event->GetIndex(), 439);
        return DropRow(mesh->SelectionTree, dragged, event->GetIndex(), 440);
    }
    const bool byID = (command == 2 && is("Morph2")) || (command == 3 && is("MorphUnion")) ||
                      (command == 4 && is("SelectionUnion")) || (command == 5 && is("Selection2")) ||
                      (command == 6 && is("Object2"));
    if (byID) return DropByID(command, event, words);
    // An unknown payload moves nothing.
    if (command == 6) QOREvents_PushEvent(441);
    return true;
}
