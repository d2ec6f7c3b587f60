// Trees of document objects: node links, folder groups with their items, the
// traversals, the manager multi-selection and the group blocks of the text form.
//
// [SECTION] Tree node links
// [SECTION] Tree group: items and lookups
// [SECTION] Tree group: text and legacy forms
// [SECTION] Top group: multi-selection
#include "QORTree.h"

#include "OS.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTextBlock.h"
#include "QORThingy_Internal.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

using namespace QORThingyInternal;

// [SECTION] Tree node links

TQORTreeNode::~TQORTreeNode()
{
    TQORTreeNode::Empty();
}

void TQORTreeNode::LinkNext(TQORTreeNode* node)
{
    assert(node && node != this && "LinkNext needs another node");
    node->parent = parent;
    node->prev = this;
    node->next = next;
    if (next)
        next->prev = node;
    else if (parent && parent->lastChild == this)
        parent->lastChild = node;
    next = node;
}

void TQORTreeNode::LinkPrev(TQORTreeNode* node)
{
    assert(node && node != this && "LinkPrev needs another node");
    assert(parent && "LinkPrev needs a node that has a parent");
    node->parent = parent;
    node->next = this;
    node->prev = prev;
    if (prev)
        prev->next = node;
    else
        parent->child = node;
    prev = node;
}

void TQORTreeNode::LinkChild(TQORTreeNode* node)
{
    assert(node && node != this && "LinkChild needs another node");
    assert(!node->parent && !node->next && !node->prev && "LinkChild needs an unlinked node: Unlink() it first");
    node->parent = this;
    if (!child) {
        child = node;
        lastChild = node;
        return;
    }
    lastChild->next = node;
    node->prev = lastChild;
    lastChild = node;
}

void TQORTreeNode::Unlink()
{
    if (prev)
        prev->next = next;
    else if (parent && parent->child == this)
        parent->child = next;
    if (next)
        next->prev = prev;
    else if (parent && parent->lastChild == this)
        parent->lastChild = prev;
    next = nullptr;
    prev = nullptr;
    parent = nullptr;
}

void TQORTreeNode::Pop()
{
    if (!parent || !next)
        return;
    TQORTreeNode* p = parent;
    Unlink();
    p->LinkChild(this);
}

void TQORTreeNode::Empty()
{
    TQORTreeNode* node = child;
    child = nullptr;
    lastChild = nullptr;
    while (node) {
        TQORTreeNode* following = node->next;
        delete node;
        node = following;
    }
}

bool TQORTreeNode::Find(const TQORTreeNode* start, const TQORTreeNode* target)
{
    for (const TQORTreeNode* node = start; node; node = node->next) {
        if (node == target)
            return true;
        if (Find(node->child, target))
            return true;
    }
    return false;
}

// [SECTION] Tree group: items and lookups

TKSN_TreeGroup::TKSN_TreeGroup()
    : items(std::make_unique<TKSN_ThingyList>(1))
{
    SetName("%s", Lang.GetText(1325));
}

TKSN_TreeGroup::~TKSN_TreeGroup()
{
    for (TKSN_Thingy* item : *items)
        delete item;
    items->Clear();
}

void TKSN_TreeGroup::AddItem(TKSN_Thingy* item)
{
    assert(item && "AddItem needs an item");
    items->Add(item);
}

void TKSN_TreeGroup::Empty()
{
    TQORTreeNode::Empty();
    for (TKSN_Thingy* item : *items)
        delete item;
    items->Clear();
}

void TKSN_TreeGroup::ClearAllItemsInTree(TKSN_TreeGroup* group)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        g->items->Clear();
        ClearAllItemsInTree(g->GetChild());
    }
}

bool TKSN_TreeGroup::Traverse(TKSN_TreeGroup* group, int depth, TKSN_TreeGroupTraverseFunc callback,
                              void* userData, bool postOrder)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (postOrder) {
            if (!Traverse(g->GetChild(), depth + 1, callback, userData, postOrder))
                return false;
            if (!callback(g, depth, userData))
                return false;
        } else {
            if (!callback(g, depth, userData))
                return false;
            if (!Traverse(g->GetChild(), depth + 1, callback, userData, postOrder))
                return false;
        }
    }
    return true;
}

namespace {

void AppendPreOrder(TKSN_ThingyList& list, TKSN_TreeGroup* group, bool includeGroups, bool includeItems,
                    bool onlyMultiSelected)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (includeGroups && (!onlyMultiSelected || g->multiSelected))
            list.Add(g);
        if (includeItems)
            for (TKSN_Thingy* item : *g->items)
                if (!onlyMultiSelected || item->multiSelected)
                    list.Add(item);
        AppendPreOrder(list, g->GetChild(), includeGroups, includeItems, onlyMultiSelected);
    }
}

} // namespace

std::unique_ptr<TKSN_ThingyList> TKSN_TreeGroup::GetPreOrderList(bool includeGroups, bool includeItems,
                                                                 bool onlyMultiSelected)
{
    auto list = std::make_unique<TKSN_ThingyList>(1);
    AppendPreOrder(*list, this, includeGroups, includeItems, onlyMultiSelected);
    return list;
}

TKSN_Thingy* TKSN_TreeGroup::FindItemOrGroupFromID(TKSN_TreeGroup* group, uint32_t ID)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (g->GetID() == ID)
            return g;
        for (TKSN_Thingy* item : *g->items)
            if (item->GetID() == ID)
                return item;
        if (TKSN_Thingy* found = FindItemOrGroupFromID(g->GetChild(), ID))
            return found;
    }
    return nullptr;
}

TKSN_Thingy* TKSN_TreeGroup::FindThingyAndGroupFromID(TKSN_TreeGroup* group, uint32_t ID, int& position,
                                                      TKSN_TreeGroup*& foundGroup, int& foundPosition)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        ++position;
        if (g->GetID() == ID) {
            foundGroup = g;
            foundPosition = position;
            return g;
        }
        if (TKSN_Thingy* found = FindThingyAndGroupFromID(g->GetChild(), ID, position, foundGroup, foundPosition))
            return found;
        for (TKSN_Thingy* item : *g->items) {
            ++position;
            if (item->GetID() == ID) {
                foundGroup = g;
                foundPosition = position;
                return item;
            }
        }
    }
    return nullptr;
}

// [SECTION] Tree group: text and legacy forms

bool TKSN_TreeGroup::SaveToStream(FILE* /*file*/)
{
    QORThrowException("TKSN_TreeGroup::SaveToStream not supported");
}

bool TKSN_TreeGroup::SaveToStream_Text(FILE* file, bool /*flag*/)
{
    // Siblings in a loop and only children by recursion: a file may hold
    // thousands of sibling folders, while the nesting depth is capped on reading.
    for (TKSN_TreeGroup* group = this; group; group = group->GetNext()) {
        if (group->hidden)
            continue;
        const bool top = group->parent == nullptr;
        TStartTextFileBlock block(top ? group->typeKeyword.c_str() : "group", top ? "" : group->GetName(), file, true);
        if (!top)
            group->SaveBasicStuff_Text(file);
        WriteKeyLine(file, "Hidden", 0);
        std::fputc('\n', file);   // bare separator line, never indented
        for (TKSN_Thingy* item : *group->items)
            if (item->saveable)
                item->SaveToStream_Text(file, true);
        if (TKSN_TreeGroup* firstChild = group->GetChild())
            firstChild->SaveToStream_Text(file, true);
    }
    return true;
}

bool TKSN_TreeGroup::LoadSubGroup(FILE* file, char* /*key*/, char* value)
{
    auto* group = new TKSN_TreeGroup;
    group->SetName("%s", value);
    // Linked before it reads, so the tree owns it even if reading throws.
    LinkChild(group);
    group->LoadFromStream_Text(file);
    return true;
}

bool TKSN_TreeGroup::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (std::strcmp(key, "Hidden") == 0) {
        hidden = std::strtol(value, nullptr, 10) != 0;
        return true;
    }
    if (QORstrcmpi(key, "group") == 0) {
        LoadSubGroup(file, key, value);
        return true;
    }
    return false;
}

bool TKSN_TreeGroup::LoadFromStream(FILE* file)
{
    if (!TKSN_Thingy::LoadFromStream(file))
        return false;
    uint8_t collapsedByte = 0;
    uint8_t hiddenByte = 0;
    int32_t values[2] = {};
    if (std::fread(&collapsedByte, 1, 1, file) != 1)
        return false;
    collapsed = collapsedByte != 0;
    if (std::fread(&hiddenByte, 1, 1, file) != 1)
        return false;
    hidden = hiddenByte != 0;
    if (std::fread(values, sizeof values[0], 2, file) != 2)
        return false;
    legacyValue1 = values[0];
    legacyValue2 = values[1];
    return true;
}

// [SECTION] Top group: multi-selection

namespace {

// Calls visit(entry, position, isGroup) for every group and item in display
// order until visit returns false; returns false when it was stopped.
template <class Visit>
bool WalkDisplayOrder(TKSN_TreeGroup* group, int& position, Visit&& visit)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (!visit(static_cast<TKSN_Thingy*>(g), ++position, true))
            return false;
        if (!WalkDisplayOrder(g->GetChild(), position, visit))
            return false;
        for (TKSN_Thingy* item : *g->items)
            if (!visit(item, ++position, false))
                return false;
    }
    return true;
}

void ClearMultiSelection(TKSN_TreeGroup* top)
{
    int position = -1;
    WalkDisplayOrder(top, position, [](TKSN_Thingy* entry, int, bool) {
        entry->multiSelected = false;
        return true;
    });
}

void WarnCannotDelete(TKSN_Thingy* entry)
{
    OS.WarningMessage(Lang.GetText(947), entry->GetName());
}

// Deletes the multi-selected deletable items of one group, keeping the order
// of the others.
void DeleteSelectedItemsOf(TKSN_TreeGroup* group)
{
    TKSN_ThingyList kept(1);
    for (TKSN_Thingy* item : *group->items) {
        if (item->multiSelected && item->deletable) {
            delete item;
            continue;
        }
        if (item->multiSelected)
            WarnCannotDelete(item);
        kept.Add(item);
    }
    group->items->Clear();
    for (TKSN_Thingy* item : kept)
        group->items->Add(item);
}

void DeleteSelectedBelow(TKSN_TreeGroup* parentGroup)
{
    TKSN_TreeGroup* g = parentGroup->GetChild();
    while (g) {
        TKSN_TreeGroup* following = g->GetNext();
        if (g->multiSelected && g->deletable) {
            g->Unlink();
            delete g;   // its child groups and items go with it
        } else {
            if (g->multiSelected)
                WarnCannotDelete(g);
            DeleteSelectedItemsOf(g);
            DeleteSelectedBelow(g);
        }
        g = following;
    }
}

} // namespace

void TKSN_TopTreeGroup::SelectItem(uint32_t ID, bool shiftHeld, bool controlHeld)
{
    if (!shiftHeld && !controlHeld) {
        anchorID = 0;
        ClearMultiSelection(this);
    }
    TKSN_Thingy* entry = FindItemOrGroupFromID(this, ID);
    if (!entry)
        return;

    if ((shiftHeld || controlHeld) && anchorID != 0) {
        if (!shiftHeld) {
            entry->multiSelected = !entry->multiSelected;
            return;
        }
        TKSN_TreeGroup* holder = nullptr;
        int position = -1;
        int anchorPosition = -1;
        if (!FindThingyAndGroupFromID(this, anchorID, position, holder, anchorPosition))
            return;
        position = -1;
        int entryPosition = -1;
        if (!FindThingyAndGroupFromID(this, ID, position, holder, entryPosition))
            return;
        ClearMultiSelection(this);
        const int low = std::min(anchorPosition, entryPosition);
        const int high = std::max(anchorPosition, entryPosition);
        position = -1;
        WalkDisplayOrder(this, position, [low, high](TKSN_Thingy* e, int pos, bool) {
            if (pos >= low)
                e->multiSelected = true;
            return pos < high;
        });
        return;
    }

    anchorID = ID;
    entry->multiSelected = true;
}

uint32_t TKSN_TopTreeGroup::GetSelectedItemID()
{
    if (anchorID != 0) {
        auto* anchor = dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(anchorID));
        if (anchor && anchor->multiSelected)
            return anchorID;
    }
    anchorID = 0;
    return 0;
}

int TKSN_TopTreeGroup::GetSelectedCount(bool countItems, bool countGroups)
{
    int count = 0;
    int position = -1;
    WalkDisplayOrder(this, position, [&count, countItems, countGroups](TKSN_Thingy* entry, int, bool isGroup) {
        if (entry->multiSelected && (isGroup ? countGroups : countItems))
            ++count;
        return true;
    });
    return count;
}

void TKSN_TopTreeGroup::ClearSelectedItems()
{
    anchorID = 0;
    ClearMultiSelection(this);
}

void TKSN_TopTreeGroup::DeleteSelectedItems()
{
    DeleteSelectedItemsOf(this);
    DeleteSelectedBelow(this);
    anchorID = 0;
}
