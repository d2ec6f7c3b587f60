// Unions: one project-level name for the same-named morphs (or selections)
// of several objects, and the folders that hold them.
//
// A union holds its members only as thingy IDs and looks them up on every
// use, so deleting a morph or selection never leaves a dangling pointer: its
// ID lingers until the next validation drops it. Members are never written
// to the file; after a load the project joins every morph and selection to
// the union of its name again.
//
// A morph union also carries one strength setting that it hands to its
// member morphs; a selection union carries only its name and members.
//
// The project keeps its unions in two trees of union groups (top tree
// groups), written as its "morphs" and "selections" blocks. GetGroupFromPath
// finds (and on request creates) the folder of such a tree, or of a mesh's
// morph or selection tree, that a group path names.
//
// Invariants:
// - ItemIDs may hold 0 and stale IDs until the next ValidateItems; after it,
//   every entry names a live object of the member class, in the old order.
// - A union never owns its members (they belong to their meshes' trees); a
//   union group owns its unions and child groups.
//
// Main thread only; nothing here locks.
#pragma once

#include "KSN_Morph.h"
#include "KSN_MorphSelectionTree.h"
#include "KSN_Selection.h"
#include "KSN_Thingy.h"
#include "QORNewStaticList.h"
#include "QORString.h"
#include "QORThingy.h"
#include "QORTree.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// [SECTION] Unions

template <class T>
class TKSN_Union : public virtual TKSN_Thingy {
public:
    TKSN_Union() : ItemIDs(1) {}
    ~TKSN_Union() override = default;

    // True as soon as one live member is read-only (never looks at the union's own flag).
    bool IsReadOnly() const override
    {
        for (unsigned id : ItemIDs)
            if (auto* member = LiveThingy(id); member && member->IsReadOnly())
                return true;
        return false;
    }

    // Sets the flag of every live member; the union's own flag stays as it is.
    void SetReadOnly(bool value) override
    {
        for (unsigned id : ItemIDs)
            if (auto* member = LiveThingy(id))
                member->SetReadOnly(value);
    }

    // Renames the union and every live member to the same cleaned name
    // (':' '\' '/' '%' become '_'). Uniqueness is the rename command's concern.
    __attribute__((format(printf, 2, 3))) void SetName(const char* format, ...) override
    {
        if (!format)
            return;
        va_list args;
        va_start(args, format);
        const std::string text = QORVFormat(format, args);
        va_end(args);
        TKSN_Thingy::SetName("%s", text.c_str());
        ValidateItems();
        for (unsigned id : ItemIDs)
            if (T* member = GetMember(id))
                member->SetName("%s", GetName());
    }

    // Drops the entries that are 0 or no longer name a live T, keeping the
    // order of the survivors.
    void ValidateItems()
    {
        if (ItemIDs.IsEmpty())
            return;
        TQORNewStaticList<unsigned int> survivors(1);
        for (unsigned id : ItemIDs)
            if (GetMember(id))
                survivors.Add(id);
        if (survivors.Count() == ItemIDs.Count())
            return;
        ItemIDs.Clear();
        for (unsigned id : survivors)
            ItemIDs.Add(id);
    }

    // The live member of class T that id names, or null.
    static T* GetMember(unsigned id) { return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr; }

    // Member thingy IDs in the order they joined; see the invariants above.
    TQORNewStaticList<unsigned int> ItemIDs;

private:
    static TKSN_Thingy* LiveThingy(unsigned id)
    {
        return id ? dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(id)) : nullptr;
    }
};

class TKSN_MorphUnion : public TKSN_Union<TKSN_Morph> {
public:
    TKSN_MorphUnion() = default;
    ~TKSN_MorphUnion() override = default;

    bool IsReadOnly() const override { return false; }
    // The "morph" block: basics, the strength setting, "Current"; never members.
    bool SaveToStream_Text(FILE* file, bool withHeader) override;
    // "Strength", "MinStrength", "MaxStrength" (floats) and "Current".
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    void CopyParametersToMorph(TKSN_Morph* morph);
    void CopyParametersFromMorph(TKSN_Morph* morph);
    // Validates, then hands the strength setting to every member.
    void CopyParametersToAllItems();
    // Validates, then whether a member is its mesh's base-vertices morph.
    bool IsBaseVertices();

    float Strength = 1.0f;
    float MinStrength = 0.0f;
    float MaxStrength = 1.0f;
};

class TKSN_SelectionUnion : public TKSN_Union<TKSN_Selection> {
public:
    TKSN_SelectionUnion() = default;
    ~TKSN_SelectionUnion() override = default;

    bool IsReadOnly() const override { return false; }
    // The "selection" block: basics only; never members.
    bool SaveToStream_Text(FILE* file, bool withHeader) override;
    // Takes no key of its own.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    // Validates, then the type of the first member (0 vertex, 1 polygon); 0 when empty.
    int GetSelectionType();
};

// [SECTION] Union groups

// The folder class of union trees (and of the layer trees); adds nothing to
// the top tree group but its place in the class tree.
template <class T>
class TKSN_UnionGroup : public TKSN_TopTreeGroup {
public:
    TKSN_UnionGroup() = default;
    ~TKSN_UnionGroup() override = default;
};

class TKSN_MorphUnionGroup : public TKSN_UnionGroup<TKSN_MorphUnion> {
public:
    TKSN_MorphUnionGroup() = default;

    // A new TKSN_MorphUnionGroup named by value, appended as last child, reads its block.
    bool LoadSubGroup(FILE* file, char* key, char* value) override;
    // "Hidden" and "group" as any tree group; "morph" (any case) reads a new union.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};

class TKSN_SelectionUnionGroup : public TKSN_UnionGroup<TKSN_SelectionUnion> {
public:
    TKSN_SelectionUnionGroup() = default;

    // A new TKSN_SelectionUnionGroup named by value, appended as last child, reads its block.
    bool LoadSubGroup(FILE* file, char* key, char* value) override;
    // "Hidden" and "group" as any tree group; "selection" (any case) reads a new union.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};

// [SECTION] Group paths

// The folder of root's tree that a group path names. A group path is the
// chain of folder names from the root down, each followed by ':'; its first
// name stands for the root and is not compared (the search for the first ':'
// starts at the second character, so a path that begins with ':' treats the
// name after that colon as the root's). Later names are matched without
// regard to case against the children of the folder reached so far; empty
// names are skipped. A name that matches no child gives null, or, with create
// set, a new folder of TGroup's class linked as that folder's last child.
// A null or empty path, or one without a ':' after its first character, gives root.
template <class TGroup>
TGroup* GetGroupFromPath(TGroup* root, const char* path, bool create)
{
    if (!root || !path || !*path)
        return root;
    const std::string_view text(path);
    size_t at = text.find(':', 1);
    if (at == std::string_view::npos)
        return root;

    TGroup* current = root;
    while (at < text.size()) {
        const size_t begin = at + 1;
        size_t end = text.find(':', begin);
        if (end == std::string_view::npos)
            end = text.size();
        at = end;
        if (end == begin)
            continue;
        const std::string segment(text.substr(begin, end - begin));

        TGroup* found = nullptr;
        for (TKSN_TreeGroup* child = current->GetChild(); child; child = child->GetNext()) {
            if (QORstrcmpi(child->GetName(), segment.c_str()) != 0)
                continue;
            found = dynamic_cast<TGroup*>(child);
            if (found)
                break;
        }
        if (!found) {
            if (!create)
                return nullptr;
            found = new TGroup;
            found->SetName("%s", segment.c_str());
            current->LinkChild(found);
        }
        current = found;
    }
    return current;
}
