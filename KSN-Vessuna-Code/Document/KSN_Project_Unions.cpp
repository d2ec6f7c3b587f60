// Morphs, selections and their unions across objects.
//
// A union binds the like-named morphs (selections) of several objects under
// one row of the manager. The unions name their members by thingy ID, so the
// operations here re-check membership on every run: a member that died or
// was renamed away leaves its union, and every morph or selection without a
// union founds one in the folder that mirrors its own.
//
// Index:
//   [SECTION] Gathering
//   [SECTION] Morph unions
//   [SECTION] Morph deletion
//   [SECTION] Sizes
//   [SECTION] Applying stored selections
//   [SECTION] Selection unions
//   [SECTION] Selection deletion and duplication
#include "KSN_Project.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"

namespace {

// Interface commands the managers react to.
constexpr int CommandShowManagerPanel = 10;
constexpr int CommandMorphsChanged = 439;
constexpr int CommandSelectionsChanged = 440;

std::vector<TKSN_Mesh*> MeshesOf(TKSN_Project& project)
{
    std::vector<TKSN_Mesh*> meshes;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(project.GetObjectList());
    for (TKSN_Object* object : *objects)
        if (object && object->Mesh) meshes.push_back(object->Mesh.get());
    return meshes;
}

TKSN_Mesh* OwnerMesh(unsigned ownerID)
{
    return ownerID ? dynamic_cast<TKSN_Mesh*>(__GetThingyFromID(ownerID)) : nullptr;
}

// Drops the members that died or whose name no longer matches the union's
// (any case), keeping the order of the rest.
template <class TUnion>
void DropStrayMembers(TUnion* unionItem)
{
    unionItem->ValidateItems();
    TQORNewStaticList<unsigned int> kept(1);
    for (unsigned id : unionItem->ItemIDs) {
        auto* member = TUnion::GetMember(id);
        if (member && QORstrcmpi(member->GetName(), unionItem->GetName()) == 0) kept.Add(id);
    }
    unionItem->ItemIDs.Clear();
    for (unsigned id : kept) unionItem->ItemIDs.Add(id);
}

template <class TUnion>
bool HasMember(TUnion* unionItem, unsigned id)
{
    for (unsigned member : unionItem->ItemIDs)
        if (member == id) return true;
    return false;
}

template <class TUnion>
std::vector<TUnion*> UnionsOf(TKSN_TreeGroup* root)
{
    std::vector<TUnion*> unions;
    if (!root) return unions;
    auto list = root->GetPreOrderList(false, true, false);
    for (TKSN_Thingy* item : *list)
        if (auto* u = dynamic_cast<TUnion*>(item)) unions.push_back(u);
    return unions;
}

template <class T>
TQORNewStaticList<T*>* ToList(const std::map<uint32_t, T*>& byID)
{
    auto* list = new TQORNewStaticList<T*>(16);
    for (const auto& [id, item] : byID) list->Add(item);
    return list;
}

// Takes every item out of a mesh's tree (they stay alive) and drops its folders.
void StripTree(TKSN_TreeGroup* tree)
{
    TKSN_TreeGroup::ClearAllItemsInTree(tree);
    tree->Empty();   // the items are out already, so only the folders go
}

// The folder of a mesh's tree mirroring the one the item's union sits in; the
// root when the item has no union.
template <class TTreeGroup, class TUnion>
TKSN_TreeGroup* MirroredFolder(TTreeGroup* tree, TKSN_TreeGroup* unionRoot, const char* name)
{
    auto* found = dynamic_cast<TUnion*>(FindThingyFromName(unionRoot, name));
    TKSN_TreeGroup* folder = found ? GetGroupFromPath<TTreeGroup>(tree, found->GetGroupPath(), true) : nullptr;
    return folder ? folder : tree;
}

} // namespace

// ============================================================================
// [SECTION] Gathering
// ============================================================================

TQORNewStaticList<TKSN_Morph*>* TKSN_Project::GetDuplicateMorphs(TKSN_Morph* morph)
{
    auto* list = new TQORNewStaticList<TKSN_Morph*>(4);
    if (!morph) return list;
    for (TKSN_Mesh* mesh : MeshesOf(*this)) {
        std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
        for (TKSN_Morph* other : *morphs)
            if (other != morph && QORstrcmpi(other->GetName(), morph->GetName()) == 0) list->Add(other);
    }
    return list;
}

TQORNewStaticList<TKSN_Morph*>* TKSN_Project::GetAllMorphs(bool onlyHighlighted, bool withDuplicates)
{
    std::map<uint32_t, TKSN_Morph*> byID;
    for (TKSN_Mesh* mesh : MeshesOf(*this)) {
        std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
        for (TKSN_Morph* morph : *morphs) {
            if (onlyHighlighted && !morph->multiSelected) continue;
            byID[morph->GetID()] = morph;
            if (!withDuplicates) continue;
            std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> twins(GetDuplicateMorphs(morph));
            for (TKSN_Morph* twin : *twins) byID[twin->GetID()] = twin;
        }
    }
    return ToList(byID);
}

TQORNewStaticList<TKSN_Selection*>* TKSN_Project::GetDuplicateSelections(TKSN_Selection* selection)
{
    auto* list = new TQORNewStaticList<TKSN_Selection*>(4);
    if (!selection) return list;
    for (TKSN_Mesh* mesh : MeshesOf(*this)) {
        std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(mesh->GetSelectionList());
        for (TKSN_Selection* other : *selections)
            if (other != selection && QORstrcmpi(other->GetName(), selection->GetName()) == 0) list->Add(other);
    }
    return list;
}

TQORNewStaticList<TKSN_Selection*>* TKSN_Project::GetAllSelections(bool onlyHighlighted, bool withDuplicates)
{
    std::map<uint32_t, TKSN_Selection*> byID;
    for (TKSN_Mesh* mesh : MeshesOf(*this)) {
        std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(mesh->GetSelectionList());
        for (TKSN_Selection* selection : *selections) {
            if (onlyHighlighted && !selection->multiSelected) continue;
            byID[selection->GetID()] = selection;
            if (!withDuplicates) continue;
            std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> twins(GetDuplicateSelections(selection));
            for (TKSN_Selection* twin : *twins) byID[twin->GetID()] = twin;
        }
    }
    return ToList(byID);
}

// ============================================================================
// [SECTION] Morph unions
// ============================================================================

void TKSN_Project::CreateUnionsFromMissingMorphs()
{
    // Matched by exact bytes on purpose: a morph spelled 'SMILE' founds its own
    // union although it stays a member of 'Smile' (membership ignores case).
    std::map<std::string, TKSN_MorphUnion*> index;
    for (TKSN_MorphUnion* u : UnionsOf<TKSN_MorphUnion>(MorphUnions)) {
        DropStrayMembers(u);
        index[u->GetName()] = u;
    }

    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(GetAllMorphs(false, true));
    for (TKSN_Morph* morph : *morphs) {
        TKSN_Mesh* mesh = OwnerMesh(morph->GetOwnerID());
        if (!mesh || morph->IsKeptInMemory()) continue;
        auto found = index.find(morph->GetName());
        if (found != index.end()) {
            found->second->ValidateItems();
            if (!HasMember(found->second, morph->GetID())) found->second->ItemIDs.Add(morph->GetID());
            continue;
        }
        auto* u = new TKSN_MorphUnion();
        u->ItemIDs.Add(morph->GetID());
        u->TKSN_Thingy::SetName("%s", morph->GetName());
        if (u->IsBaseVertices()) u->saveable = false;
        index[u->GetName()] = u;
        TKSN_MorphUnionGroup* folder = GetGroupFromPath<TKSN_MorphUnionGroup>(MorphUnions, morph->GetGroupPath(), true);
        (folder ? folder : MorphUnions)->AddItem(u);
        u->CopyParametersFromMorph(morph);
    }
}

void TKSN_Project::CleanupMeshMorphGroupings()
{
    SetGroupPaths(MorphUnions);
    for (TKSN_Mesh* mesh : MeshesOf(*this)) {
        if (!mesh->MorphTree) continue;
        std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> list(mesh->GetMorphList());
        SetGroupPaths(mesh->MorphTree);
        std::vector<TKSN_Morph*> morphs(list->begin(), list->end());
        TKSN_MorphTreeGroup* tree = mesh->MorphTree;
        StripTree(tree);
        auto* hidden = new TKSN_MorphTreeGroup();
        hidden->SetName("Hidden Morphs");
        hidden->hidden = true;
        tree->LinkChild(hidden);
        for (TKSN_Morph* morph : morphs) {
            TKSN_TreeGroup* target = nullptr;
            if (morph == mesh->BaseVerticesMorph) target = tree;
            else if (morph->IsKeptInMemory()) target = hidden;
            else target = MirroredFolder<TKSN_MorphTreeGroup, TKSN_MorphUnion>(tree, MorphUnions, morph->GetName());
            target->items->Add(morph);
        }
        SetGroupPaths(tree);
    }
}

// ============================================================================
// [SECTION] Morph deletion
// ============================================================================

bool TKSN_Project::DeleteSelectedMorphs()
{
    TKSN_Object* object = GetObjectContainingCurrentSelection();
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (mesh && mesh->MorphTree) {
        TKSN_MorphTreeGroup* tree = mesh->MorphTree;
        if (tree->multiSelected) {
            OS.WarningMessage("%s", Lang.GetText(305));
            return false;
        }
        const int count = tree->GetSelectedCount(true, true);
        if (count == 0) return false;
        if (count == 1) {
            auto* item = dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(tree->GetSelectedItemID()));
            if (item && !item->deletable) {
                OS.WarningMessage(Lang.GetText(947), item->GetName());
                return false;
            }
            if (item && !OS.MessageYesNo("Are you sure that you would like delete the item '%s'", item->GetName()))
                return false;
        } else if (!OS.MessageYesNo("Are you sure you want to delete the %d selected items?", count)) {
            return false;
        }
        tree->DeleteSelectedItems();
        OnShapeChanged(object, true, true);
        QOREvents_PushEvent(CommandShowManagerPanel);
    }
    QOREvents_PushEvent(CommandMorphsChanged);
    return true;
}

namespace {

// A highlighted folder takes everything inside it along.
void HighlightInsideHighlightedFolders(TKSN_TreeGroup* root)
{
    auto groups = root->GetPreOrderList(true, false, true);
    for (TKSN_Thingy* entry : *groups) {
        auto* group = dynamic_cast<TKSN_TreeGroup*>(entry);
        if (!group) continue;
        for (TKSN_Thingy* item : *group->items) item->multiSelected = true;
        if (group->GetChild()) SetMultiSelectAllChildrenAndItems(group->GetChild(), true);
    }
}

bool AskDeleteHighlighted(int count)
{
    if (count == 1) return OS.MessageYesNo("%s", Lang.GetText(304));
    return OS.MessageYesNo(Lang.GetText(1062), count);
}

} // namespace

bool TKSN_Project::DeleteSelectedMorphUnions()
{
    const int count = MorphUnions->GetSelectedCount(true, true);
    if (count == 0 || !AskDeleteHighlighted(count)) return false;
    HighlightInsideHighlightedFolders(MorphUnions);

    std::map<uint32_t, TKSN_Object*> touched;
    auto unions = MorphUnions->GetPreOrderList(false, true, true);
    for (TKSN_Thingy* entry : *unions) {
        auto* u = dynamic_cast<TKSN_MorphUnion*>(entry);
        if (!u) continue;
        u->ValidateItems();
        std::vector<unsigned> members(u->ItemIDs.begin(), u->ItemIDs.end());
        for (unsigned id : members) {
            TKSN_Morph* morph = TKSN_MorphUnion::GetMember(id);
            TKSN_Mesh* mesh = morph ? OwnerMesh(morph->GetOwnerID()) : nullptr;
            if (!mesh) continue;
            if (morph == mesh->BaseVerticesMorph) {
                OS.WarningMessageNoRepeat(Lang.GetText(947), morph->GetName());
                continue;
            }
            if (TKSN_Object* owner = mesh->OwnerObject) touched[owner->GetID()] = owner;
            DeleteThingy(mesh->MorphTree, morph);
        }
    }
    for (const auto& [id, object] : touched) OnShapeChanged(object, true, true);
    MorphUnions->DeleteSelectedItems();
    QOREvents_PushEvent(CommandMorphsChanged);
    return true;
}

// ============================================================================
// [SECTION] Sizes
// ============================================================================

void TKSN_Project::EnforceMorphAndSelectionSizes(TKSN_Mesh* mesh)
{
    if (!mesh) return;
    const int vertices = mesh->GetVCount();
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
    for (TKSN_Morph* morph : *morphs) {
        if (morph->GetVCount() == vertices) continue;
        mesh->BeginUsingMorph(morph);
        morph->SetVCount(vertices);
        mesh->EndUsingMorph(morph);
    }
    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(mesh->GetSelectionList());
    for (TKSN_Selection* selection : *selections) {
        int wanted = -1;
        if (selection->GetSelectionType() == eSelectionType_Vertex) wanted = vertices;
        else if (selection->GetSelectionType() == eSelectionType_Polygon) wanted = mesh->GetPCount();
        if (wanted < 0 || selection->GetVCount() == wanted) continue;
        mesh->BeginUsingSelection(selection);
        selection->SetVCount(wanted);
        mesh->EndUsingSelection(selection);
    }
}

void TKSN_Project::EnforceMorphAndSelectionSizes()
{
    for (TKSN_Mesh* mesh : MeshesOf(*this)) EnforceMorphAndSelectionSizes(mesh);
}

// ============================================================================
// [SECTION] Applying stored selections
// ============================================================================

void TKSN_Project::ApplyPresetSelection(TKSN_Mesh* mesh, TKSN_Selection* selection, bool add)
{
    if (!mesh || !selection) return;
    mesh->BeginUsingSelection(selection);
    selection->Expand();
    if (App) App->SetSelectionType(selection->GetSelectionType());

    const bool vertexType = selection->GetSelectionType() == eSelectionType_Vertex;
    const bool polygonType = selection->GetSelectionType() == eSelectionType_Polygon;
    if (vertexType || polygonType) {
        const int wanted = vertexType ? mesh->GetVCount() : mesh->GetPCount();
        if (selection->GetVCount() != wanted) selection->SetVCount(wanted);
        if (selection->GetVCount() != wanted) {
            OS.DebugMessage(vertexType ? "Selection->vcount != nv %d, %d" : "Selection->vcount != np %d, %d",
                            selection->GetVCount(), wanted);
        } else {
            const float* stored = selection->GetPointerToExpandedArray();
            for (int i = 0; stored && i < wanted; ++i) {
                const uint32_t flags = vertexType ? mesh->VertexInfo[i].Flags : mesh->PolygonFlags[i];
                if (flags & (QORPoly_Hidden | QORPoly_Locked)) continue;
                float& weight = vertexType ? mesh->VertexInfo[i].Select : mesh->Polygons[i].Select;
                const float value = add ? weight + stored[i] : stored[i];
                weight = std::clamp(value, 0.0f, 1.0f);
            }
        }
    }
    mesh->EndUsingSelection(selection);
}

bool TKSN_Project::ApplySelectedSelections()
{
    TKSN_Object* object = GetObjectContainingCurrentSelection();
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!mesh || !mesh->SelectionTree) return false;

    auto highlighted = mesh->SelectionTree->GetPreOrderList(false, true, true);
    if (highlighted->IsEmpty()) {
        QOREvents_PushEvent(CommandShowManagerPanel);
        return false;
    }
    auto* single = highlighted->Count() == 1 ? dynamic_cast<TKSN_Selection*>((*highlighted)[0]) : nullptr;
    std::string message = single ? QORFormat(Lang.GetText(813), single->GetName()) : Lang.GetText(939);
    OS.PrintMessageNoRepeat("%s", message.c_str());
    BeforeSelect(message.c_str());

    bool applied = false;
    for (TKSN_Thingy* entry : *highlighted)
        if (auto* selection = dynamic_cast<TKSN_Selection*>(entry)) {
            ApplyPresetSelection(mesh, selection, true);
            applied = true;
        }
    OnAllViewportsChanged();
    AfterFullSelection(false);
    return applied;
}

bool TKSN_Project::ApplySelectedSelectionUnions()
{
    if (GetObjectCountForActionAgainstTarget(true) == 0) return true;
    auto highlighted = SelectionUnions->GetPreOrderList(false, true, true);
    SyncMeshIDs();
    if (highlighted->IsEmpty()) return false;
    for (TKSN_Thingy* entry : *highlighted) {
        auto* u = dynamic_cast<TKSN_SelectionUnion*>(entry);
        if (!u) continue;
        u->ValidateItems();
        for (unsigned id : u->ItemIDs) {
            TKSN_Selection* selection = TKSN_SelectionUnion::GetMember(id);
            TKSN_Mesh* mesh = selection ? OwnerMesh(selection->GetOwnerID()) : nullptr;
            if (mesh) ApplyPresetSelection(mesh, selection, true);
        }
    }
    AfterFullSelection(false);
    return true;
}

// ============================================================================
// [SECTION] Selection unions
// ============================================================================

void TKSN_Project::CreateUnionsFromMissingSelections()
{
    std::map<std::string, TKSN_SelectionUnion*> index;
    for (TKSN_SelectionUnion* u : UnionsOf<TKSN_SelectionUnion>(SelectionUnions)) {
        DropStrayMembers(u);
        index[u->GetName()] = u;
    }

    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(GetAllSelections(false, true));
    for (TKSN_Selection* selection : *selections) {
        if (!OwnerMesh(selection->GetOwnerID()) || selection->IsEditTimeSelection()) continue;
        auto found = index.find(selection->GetName());
        if (found != index.end()) {
            found->second->ValidateItems();
            if (!HasMember(found->second, selection->GetID())) found->second->ItemIDs.Add(selection->GetID());
            continue;
        }
        auto* u = new TKSN_SelectionUnion();
        u->ItemIDs.Add(selection->GetID());
        u->TKSN_Thingy::SetName("%s", selection->GetName());
        index[u->GetName()] = u;
        TKSN_SelectionUnionGroup* folder =
            GetGroupFromPath<TKSN_SelectionUnionGroup>(SelectionUnions, selection->GetGroupPath(), true);
        (folder ? folder : SelectionUnions)->AddItem(u);
    }
}

void TKSN_Project::CleanupMeshSelectionGroupings()
{
    SetGroupPaths(SelectionUnions);
    for (TKSN_Mesh* mesh : MeshesOf(*this)) {
        if (!mesh->SelectionTree) continue;
        std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> list(mesh->GetSelectionList());
        SetGroupPaths(mesh->SelectionTree);
        std::vector<TKSN_Selection*> selections(list->begin(), list->end());
        TKSN_SelectionTreeGroup* tree = mesh->SelectionTree;
        StripTree(tree);
        for (TKSN_Selection* selection : selections)
            MirroredFolder<TKSN_SelectionTreeGroup, TKSN_SelectionUnion>(tree, SelectionUnions, selection->GetName())
                ->items->Add(selection);
        SetGroupPaths(tree);
    }
}

// ============================================================================
// [SECTION] Selection deletion and duplication
// ============================================================================

bool TKSN_Project::DeleteSelectedSelections()
{
    TKSN_Object* object = GetObjectContainingCurrentSelection();
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (mesh && mesh->SelectionTree) {
        TKSN_SelectionTreeGroup* tree = mesh->SelectionTree;
        if (tree->multiSelected) {
            OS.WarningMessage("%s", Lang.GetText(305));
            return false;
        }
        const int count = tree->GetSelectedCount(true, true);
        if (count == 0) return false;
        const bool yes = count == 1 ? OS.MessageYesNo("%s", Lang.GetText(304))
                                    : OS.MessageYesNo("Are you sure you want to delete the %d selections?", count);
        if (!yes) return false;
        tree->DeleteSelectedItems();
    }
    AfterFullSelection(false);
    QOREvents_PushEvent(CommandShowManagerPanel);
    QOREvents_PushEvent(CommandSelectionsChanged);
    return true;
}

bool TKSN_Project::DeleteSelectedSelectionUnions()
{
    const int count = SelectionUnions->GetSelectedCount(true, true);
    if (count == 0 || !AskDeleteHighlighted(count)) return false;
    HighlightInsideHighlightedFolders(SelectionUnions);

    auto unions = SelectionUnions->GetPreOrderList(false, true, true);
    for (TKSN_Thingy* entry : *unions) {
        auto* u = dynamic_cast<TKSN_SelectionUnion*>(entry);
        if (!u) continue;
        u->ValidateItems();
        std::vector<unsigned> members(u->ItemIDs.begin(), u->ItemIDs.end());
        for (unsigned id : members) {
            TKSN_Selection* selection = TKSN_SelectionUnion::GetMember(id);
            TKSN_Mesh* mesh = selection ? OwnerMesh(selection->GetOwnerID()) : nullptr;
            if (mesh) DeleteThingy(mesh->SelectionTree, selection);
        }
    }
    SelectionUnions->DeleteSelectedItems();
    AfterFullSelection(false);
    QOREvents_PushEvent(CommandSelectionsChanged);
    return true;
}

namespace {

void CopyWeights(TKSN_Mesh* sourceMesh, TKSN_Selection* source, TKSN_Mesh* targetMesh, TKSN_Selection* target)
{
    sourceMesh->BeginUsingSelection(source);
    targetMesh->BeginUsingSelection(target);
    target->Copy(source);
    targetMesh->EndUsingSelection(target);
    sourceMesh->EndUsingSelection(source);
}

} // namespace

bool TKSN_Project::DuplicateSelectedSelections()
{
    TKSN_Object* object = GetObjectContainingCurrentSelection();
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!mesh || !mesh->SelectionTree) return false;
    TKSN_SelectionTreeGroup* tree = mesh->SelectionTree;

    auto entries = tree->GetPreOrderList(true, true, false);
    int highlighted = 0;
    for (TKSN_Thingy* entry : *entries)
        if (entry->multiSelected && dynamic_cast<TKSN_Selection*>(entry)) ++highlighted;
    if (highlighted == 0) return false;

    std::vector<TKSN_Selection*> made;
    TKSN_TreeGroup* group = tree;
    for (TKSN_Thingy* entry : *entries) {
        if (auto* g = dynamic_cast<TKSN_TreeGroup*>(entry)) {
            group = g;
            continue;
        }
        auto* source = dynamic_cast<TKSN_Selection*>(entry);
        if (!source || !source->multiSelected) continue;
        auto* copy = new TKSN_Selection(source->GetVCount(), mesh->GetID());
        copy->SetSelectionType(source->GetSelectionType());
        if (highlighted == 1) OS.PrintMessage(Lang.GetText(1011), source->GetName());
        CopyWeights(mesh, source, mesh, copy);
        std::vector<char> name(std::strlen(source->GetName()) + 16 + KSN_NAME_BUFFER);
        GetCopyOfName(name.data(), source->GetName(), nullptr);
        copy->SetName("%s", name.data());

        // Directly below its source (at the front when the source lives elsewhere).
        TKSN_ThingyList& items = *group->items;
        std::vector<TKSN_Thingy*> order(items.begin(), items.end());
        auto at = std::find(order.begin(), order.end(), static_cast<TKSN_Thingy*>(source));
        order.insert(at == order.end() ? order.begin() : at + 1, copy);
        items.Clear();
        for (TKSN_Thingy* item : order) items.Add(item);
        made.push_back(copy);
    }

    for (size_t i = 0; i < made.size(); ++i) tree->SelectItem(made[i]->GetID(), false, i > 0);
    if (made.size() > 1) OS.PrintMessage(Lang.GetText(1012), int(made.size()));
    QOREvents_PushEvent(CommandShowManagerPanel);
    QOREvents_PushEvent(CommandSelectionsChanged);
    return true;
}

bool TKSN_Project::DuplicateSelectedSelectionUnions()
{
    auto highlighted = SelectionUnions->GetPreOrderList(false, true, true);
    bool any = false;
    int duplicated = 0;
    std::string singleSource;
    for (TKSN_Thingy* entry : *highlighted) {
        auto* u = dynamic_cast<TKSN_SelectionUnion*>(entry);
        if (!u) continue;
        any = true;
        std::vector<char> name(std::strlen(u->GetName()) + 16 + KSN_NAME_BUFFER);
        GetCopyOfName(name.data(), u->GetName(), GetUniqueSelectionName);
        u->ValidateItems();
        for (unsigned id : u->ItemIDs) {
            TKSN_Selection* source = TKSN_SelectionUnion::GetMember(id);
            TKSN_Mesh* mesh = source ? OwnerMesh(source->GetOwnerID()) : nullptr;
            if (!mesh || !mesh->SelectionTree) continue;
            auto* copy = new TKSN_Selection(source->GetVCount(), mesh->GetID());
            copy->SetSelectionType(source->GetSelectionType());
            mesh->SelectionTree->AddItem(copy);
            copy->SetName("%s", name.data());
            CopyWeights(mesh, source, mesh, copy);
            if (++duplicated == 1) singleSource = source->GetName();
        }
    }
    if (duplicated == 1) OS.PrintMessage(Lang.GetText(1011), singleSource.c_str());
    QOREvents_PushEvent(CommandShowManagerPanel);
    QOREvents_PushEvent(CommandSelectionsChanged);
    return any;
}
