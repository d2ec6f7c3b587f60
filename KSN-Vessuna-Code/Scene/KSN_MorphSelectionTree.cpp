// Reading the morph and selection trees of a mesh block.
#include "KSN_MorphSelectionTree.h"

#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Selection.h"
#include "QORString.h"

namespace {

// Sub-folders are linked, and items added, before they read: the tree owns
// them even when a damaged block makes the reading throw.
template <class TGroup>
bool LoadSubGroupOf(TKSN_TreeGroup& parent, FILE* file, const char* value)
{
    auto* group = new TGroup;
    group->SetName("%s", value);
    parent.LinkChild(group);
    group->LoadFromStream_Text(file);
    return true;
}

// The mesh whose tree the group belongs to (its root's owner), or null.
TKSN_Mesh* OwnerMesh(TKSN_TreeGroup& group)
{
    TKSN_TreeGroup* root = &group;
    while (root->GetParent())
        root = root->GetParent();
    return dynamic_cast<TKSN_Mesh*>(root->owner);
}

// Items read into a mesh's tree are checked against the mesh's counts, so a
// damaged count never allocates more than the mesh's own data backs.
void ExpectCounts(TKSN_Morph* morph, TKSN_Mesh* mesh)
{
    morph->SetExpectedVCount(mesh->vertexCount, mesh->MeshBlockRefused);
}

void ExpectCounts(TKSN_Selection* selection, TKSN_Mesh* mesh)
{
    selection->SetExpectedCounts(mesh->vertexCount, mesh->polygonCount, mesh->MeshBlockRefused);
}

template <class TItem>
void LoadItemInto(TKSN_TreeGroup& group, FILE* file)
{
    auto* item = new TItem(0, 0);
    group.AddItem(item);
    if (TKSN_Mesh* mesh = OwnerMesh(group))
        ExpectCounts(item, mesh);
    item->LoadFromStream_Text(file);
}

} // namespace

bool TKSN_MorphTreeGroup::LoadSubGroup(FILE* file, char* /*key*/, char* value)
{
    return LoadSubGroupOf<TKSN_MorphTreeGroup>(*this, file, value);
}

bool TKSN_MorphTreeGroup::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (TKSN_TreeGroup::LoadFromStream_Text_ConsiderCommand(file, key, value))
        return true;
    if (QORstrcmpi(key, "morph") == 0)
        LoadItemInto<TKSN_Morph>(*this, file);
    return true;
}

bool TKSN_SelectionTreeGroup::LoadSubGroup(FILE* file, char* /*key*/, char* value)
{
    return LoadSubGroupOf<TKSN_SelectionTreeGroup>(*this, file, value);
}

bool TKSN_SelectionTreeGroup::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (TKSN_TreeGroup::LoadFromStream_Text_ConsiderCommand(file, key, value))
        return true;
    if (QORstrcmpi(key, "selection") == 0)
        LoadItemInto<TKSN_Selection>(*this, file);
    return true;
}
