// Trees of document objects.
//
// The document keeps its objects, morphs, selections, unions, layers,
// materials and brush images in trees of folders. TQORTreeNode is an intrusive
// first-child/next-sibling tree node; TKSN_TreeGroup is a folder: a node that
// is also a document object and owns an ordered list of items and its child
// groups. The root of each tree is a TKSN_TopTreeGroup, which adds the
// manager panels' multi-selection (plain click selects one entry, control
// toggles, shift selects the range from the anchor in display order).
//
// Invariants:
// - A node owns its children: deleting a node deletes its whole subtree (but
//   does not unlink the node itself). A group owns its items.
// - In a tree of groups every node is a TKSN_TreeGroup (the typed link
//   accessors rely on it).
// - Multi-selection state lives in each entry's multiSelected flag; the anchor
//   is an ID, so it goes stale harmlessly when its entry is deleted.
//
// Display order (multi-selection): for each group of a sibling list, the group
// itself, then its child groups recursively, then its items, then the next
// sibling. Pre-order list order (GetPreOrderList): the group, its items, then
// its child groups, then the next sibling.
//
// Trees are built, traversed and changed on the main thread only.
#pragma once

#include "KSN_Thingy.h"
#include "QORNewStaticList.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class TQORTreeNode {
public:
    TQORTreeNode() = default;
    virtual ~TQORTreeNode();

    TQORTreeNode(const TQORTreeNode&) = delete;
    TQORTreeNode& operator=(const TQORTreeNode&) = delete;

    TQORTreeNode* GetNext() const { return next; }
    TQORTreeNode* GetChild() const { return child; }
    TQORTreeNode* GetParent() const { return parent; }

    // Inserts node directly after this one among its siblings.
    void LinkNext(TQORTreeNode* node);
    // Inserts node directly before this one; this node must have a parent.
    void LinkPrev(TQORTreeNode* node);
    // Appends node as the last child; node must be unlinked.
    void LinkChild(TQORTreeNode* node);
    // Takes this node (with its subtree) out of its parent and siblings.
    void Unlink();
    // Moves this node to the last place among its siblings.
    void Pop();
    // Deletes every child subtree.
    void Empty();
    // Forgets the children without deleting or unlinking them.
    void ClearChildrenWithoutDeleting()
    {
        child = nullptr;
        lastChild = nullptr;
    }

    // Whether target is start, one of start's following siblings, or a
    // descendant of any of them.
    static bool Find(const TQORTreeNode* start, const TQORTreeNode* target);

protected:
    TQORTreeNode* next = nullptr;
    TQORTreeNode* prev = nullptr;
    TQORTreeNode* child = nullptr;
    TQORTreeNode* parent = nullptr;
    // The last of the children, so appending is not a walk along all of them.
    TQORTreeNode* lastChild = nullptr;
};

class TKSN_TreeGroup;

// Traversal callback: receives groups (it visits a group's items itself);
// returning false stops the whole traversal.
using TKSN_TreeGroupTraverseFunc = bool (*)(TKSN_TreeGroup* group, int depth, void* userData);

using TKSN_ThingyList = TQORNewStaticList<TKSN_Thingy*>;

class TKSN_TreeGroup : public TQORTreeNode, public virtual TKSN_Thingy {
public:
    TKSN_TreeGroup();
    ~TKSN_TreeGroup() override;

    // Raises "TKSN_TreeGroup::SaveToStream not supported": trees have only the text form.
    bool SaveToStream(FILE* file) override;
    // Writes this group's block (nothing when hidden) and then its following
    // siblings. The top group opens its block with typeKeyword and writes no
    // basics; every other group opens a "group" block named after itself.
    bool SaveToStream_Text(FILE* file, bool flag) override;
    // Reads one child group block: creates the group (concrete trees create
    // their own class), names it, appends it as last child and lets it read.
    virtual bool LoadSubGroup(FILE* file, char* key, char* value);
    // Handles "Hidden" and "group"; concrete trees handle their item keywords.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
    // Legacy chunk body: name, read-only, ID (discarded), collapsed, hidden and
    // the two legacy values. True only if every read was complete.
    bool LoadFromStream(FILE* file) override;

    void SetOwner(TKSN_Thingy* newOwner) { owner = newOwner; }
    TKSN_TreeGroup* GetParent() const { return static_cast<TKSN_TreeGroup*>(parent); }
    TKSN_TreeGroup* GetChild() const { return static_cast<TKSN_TreeGroup*>(child); }
    TKSN_TreeGroup* GetNext() const { return static_cast<TKSN_TreeGroup*>(next); }

    // Appends an item; the group now owns it.
    void AddItem(TKSN_Thingy* item);
    // Deletes all child groups and all items.
    void Empty();
    // Empties the item lists of group, its following siblings and all their
    // descendants without deleting the items (their owner is elsewhere).
    static void ClearAllItemsInTree(TKSN_TreeGroup* group);

    // Calls callback on group and each following sibling, with their subtrees
    // at depth + 1 before (postOrder false) or after (postOrder true) the
    // group itself. Stops at once and returns false when a callback returns
    // false; a null group returns true.
    static bool Traverse(TKSN_TreeGroup* group, int depth, TKSN_TreeGroupTraverseFunc callback,
                         void* userData, bool postOrder);

    // A new list of this group, its items, its child groups (recursively) and
    // then its following siblings, filtered as asked. The list does not own
    // its entries.
    std::unique_ptr<TKSN_ThingyList> GetPreOrderList(bool includeGroups, bool includeItems,
                                                     bool onlyMultiSelected);

    // The entry with that ID among group, its following siblings and their
    // descendants (group, its items, its child groups), or null.
    static TKSN_Thingy* FindItemOrGroupFromID(TKSN_TreeGroup* group, uint32_t ID);
    // The same search in display order. position counts entries (start it at
    // -1; the first entry is 0). On success foundGroup is the group holding
    // the entry (the entry itself when it is a group) and foundPosition its
    // display position.
    static TKSN_Thingy* FindThingyAndGroupFromID(TKSN_TreeGroup* group, uint32_t ID, int& position,
                                                 TKSN_TreeGroup*& foundGroup, int& foundPosition);

    TKSN_Thingy* owner = nullptr;     // e.g. the mesh of a morph tree; not owned
    bool hidden = false;              // a hidden group is left out of the file with all it holds
    int32_t legacyValue1 = -1;        // carried by the legacy chunk only
    int32_t legacyValue2 = -1;
    std::string typeKeyword = "Unlabeled_group";   // block keyword the root of a tree writes
    int32_t reservedGroupValue = 0;
    std::unique_ptr<TKSN_ThingyList> items;
};

class TKSN_TopTreeGroup : public TKSN_TreeGroup {
public:
    TKSN_TopTreeGroup() = default;

    // A click on the entry with that ID: see the class comment above.
    void SelectItem(uint32_t ID, bool shiftHeld, bool controlHeld);
    // The anchor's ID while it exists, is a document object and is selected;
    // otherwise the anchor is forgotten and 0 returned.
    uint32_t GetSelectedItemID();
    int GetSelectedCount(bool countItems, bool countGroups);
    void ClearSelectedItems();
    // Deletes every multi-selected deletable entry; an undeletable one stays
    // and is named in a warning.
    void DeleteSelectedItems();

    int32_t reservedTopValue = 0;
    uint32_t anchorID = 0;
};
