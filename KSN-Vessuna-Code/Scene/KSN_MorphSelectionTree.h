// The folders of a mesh's morph tree and selection tree.
//
// Both trees are ordinary tree groups (written, traversed, selected and
// deleted by the generic tree code); these classes add only the reading of
// their own item kind. While a tree is read back, a "morph" (or "selection")
// entry becomes a new morph (or selection) appended to the group being read,
// and a nested "group" entry a new sub-folder of the same class, so that
// sub-folders read the same kind of item to any depth. Items and folders
// appear in the order of the file; entries of the other kind are skipped with
// their nested block.
//
// Invariants: a group owns the items of its item list and its child groups;
// every folder of a tree is of the tree's class. New items start with owner
// ID 0 until the project stamps them with their mesh's ID after the load.
#pragma once

#include "QORTree.h"

#include <cstdio>

class TKSN_MorphTreeGroup : public TKSN_TopTreeGroup {
public:
    TKSN_MorphTreeGroup() = default;

    // A new TKSN_MorphTreeGroup named by value, appended as last child, reads its block.
    bool LoadSubGroup(FILE* file, char* key, char* value) override;
    // "Hidden" and "group" as any tree group; "morph" (any case) reads a new morph.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};

class TKSN_SelectionTreeGroup : public TKSN_TopTreeGroup {
public:
    TKSN_SelectionTreeGroup() = default;

    // A new TKSN_SelectionTreeGroup named by value, appended as last child, reads its block.
    bool LoadSubGroup(FILE* file, char* key, char* value) override;
    // "Hidden" and "group" as any tree group; "selection" (any case) reads a new selection.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};
