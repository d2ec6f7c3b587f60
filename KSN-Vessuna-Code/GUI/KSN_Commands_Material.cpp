// Material commands (349-357) and polygon group commands (358-364).
//
// Materials and polygon groups live per object: each mesh keeps an ordered
// list of them and every polygon names its material and its group by position
// in that list. Both handlers share one scheme (create from the selected
// polygons, assign, delete with remapping, rename); the few differences are
// the traits below. Material copy and paste exist only for materials.
//
// Index:
//   [SECTION] Shared helpers
//   [SECTION] The two kinds
//   [SECTION] The shared steps
//   [SECTION] Handlers
#include "KestruneEvents.h"

#include "KSN_Application.h"
#include "KSN_Commands_Selection_Internal.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Gui_MaterialEditor.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORString.h"
#include "QORTree.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// [SECTION] Shared helpers

// A polygon counts as selected above this weight (the float 0.299, not 0.3).
constexpr float kSelectedWeight = 0.299f;

using TObjectList = std::unique_ptr<TQORNewStaticList<TKSN_Object*>>;

TObjectList Objects() { return TObjectList(Project->GetObjectList()); }

TKSN_Mesh* MeshOf(TKSN_Object* object) { return object ? object->Mesh.get() : nullptr; }

// Objects the creation commands change: a mesh, allowed, not locked as a
// whole, and at least one selected vertex.
std::vector<TKSN_Object*> AffectedObjects()
{
    return ksn_selection_cmd::ObjectsWhere(ksn_selection_cmd::HasSelection);
}

// The smallest resolved weight among the polygon's corners; -1 without corners.
float SmallestCornerWeight(TKSN_Mesh* mesh, int polygon)
{
    const int n = mesh->vGetPolyN(polygon);
    if (n <= 0) return -1.0f;
    float smallest = 2.0f;
    for (int c = 0; c < n; ++c) {
        const int v = mesh->vGetPolyV(polygon, c);
        const float w = (v >= 0 && v < mesh->GetVCount()) ? mesh->GetResolvedVSelect(v) : 0.0f;
        smallest = std::min(smallest, w);
    }
    return smallest;
}

// [SECTION] The two kinds

struct MaterialKind {
    using Item = TQORMaterial;
    static constexpr int Base = 349;
    static constexpr int NewTitle = 220, NoSelection = 170, NotOne = 162, NoneHighlighted = 1060;
    static constexpr int AssignText = 1367, DeleteLabel = 299, Deleted = 296, DefaultMade = 150;
    static constexpr const char* NewName = "New Material";
    static TKSN_TopTreeGroup* Tree(TKSN_Mesh* m) { return m->Materials; }
    static int16_t& Index(TQORPolygon& p) { return p.Material; }
    static Item* Make(const char* name) { return KSN_NewMaterial(name); }
    static void UndoStates(TKSN_Object* o, const char* label) { Project->SetupUndoForMaterialStates(o, label); }
    static void UndoAssignments(TKSN_Object* o, const char* label) { Project->SetupUndoForMaterialAssignments(o, label); }
    static void UniqueName(const char* wanted, char* out) { GetUniqueMaterialNameInSelectedObject(wanted, out); }
    static constexpr TKSN_NameCheck NewCheck = IsMaterialNameUniqueInSelectedObject;
    static constexpr TKSN_NameCheck RenameCheck = IsMaterialNameUniqueInObjectsWithHighlightedMaterials;
    static void AfterRemap(TKSN_Mesh*) {}
};

struct GroupKind {
    using Item = TQORGroup2;
    static constexpr int Base = 358;
    static constexpr int NewTitle = 1359, NoSelection = 171, NotOne = 172, NoneHighlighted = 1365;
    static constexpr int AssignText = 1369, DeleteLabel = 298, Deleted = 297, DefaultMade = 1366;
    static const char* NewNameText() { return Lang.GetText(1407); }
    static TKSN_TopTreeGroup* Tree(TKSN_Mesh* m) { return m->Groups2; }
    static int16_t& Index(TQORPolygon& p) { return p.Group; }
    static Item* Make(const char* name)
    {
        auto* group = new TQORGroup2;
        group->SetName("%s", name);
        return group;
    }
    static void UndoStates(TKSN_Object* o, const char* label) { Project->SetupUndoForGroupStates(o, label); }
    static void UndoAssignments(TKSN_Object* o, const char* label) { Project->SetupUndoForGroupAssignments(o, label); }
    static void UniqueName(const char* wanted, char* out) { GetUniqueGroupNameInSelectedObject(wanted, out); }
    static constexpr TKSN_NameCheck NewCheck = IsGroupNameUniqueInSelectedObject;
    static constexpr TKSN_NameCheck RenameCheck = IsGroupNameUniqueInObjectsWithHighlightedGroups;
    static void AfterRemap(TKSN_Mesh* mesh) { mesh->ResolveGroupVertexMaps(); }
};

// The leading run of entries of the kind's class in the mesh's list (walks
// stop at the first entry of another class).
template <class K>
std::vector<typename K::Item*> ItemsOf(TKSN_Mesh* mesh)
{
    std::vector<typename K::Item*> out;
    TKSN_TopTreeGroup* tree = mesh ? K::Tree(mesh) : nullptr;
    if (!tree || !tree->items) return out;
    for (TKSN_Thingy* entry : *tree->items) {
        auto* item = dynamic_cast<typename K::Item*>(entry);
        if (!item) break;
        out.push_back(item);
    }
    return out;
}

// Renumbers a polygon group's own position after its list changed.
void Reindex(TKSN_Mesh* mesh, GroupKind)
{
    int i = 0;
    for (TQORGroup2* g : ItemsOf<GroupKind>(mesh)) g->Index = i++;
}
void Reindex(TKSN_Mesh*, MaterialKind) {}

// The placeholder the rename window names while a new item is being created;
// one per kind, kept for the whole run.
template <class K>
TKSN_Thingy* NewMaterialThingy()
{
    static TKSN_Thingy* placeholder = nullptr;
    if (!placeholder) placeholder = new TKSN_Thingy;
    return placeholder;
}

// [SECTION] The shared steps

template <class K>
bool AskForNewItem()
{
    if (AffectedObjects().empty()) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(K::NoSelection));
        return false;
    }
    TKSN_Thingy* placeholder = NewMaterialThingy<K>();
    char name[10000] = {};
    if constexpr (std::is_same_v<K, MaterialKind>)
        K::UniqueName(K::NewName, name);
    else
        K::UniqueName(K::NewNameText(), name);
    placeholder->SetName("%s", name);
    if (MainWindow && MainWindow->RenameWindow)
        MainWindow->RenameWindow->Execute(placeholder, "", K::Base + 2, -1, K::NewCheck, Lang.GetText(K::NewTitle),
                                          nullptr);
    return true;
}

template <class K>
bool CreateItem()
{
    // The rename window has given the placeholder the typed name.
    const std::string name = NewMaterialThingy<K>()->GetName();
    Project->ClearManagerSelections(nullptr);
    for (TKSN_Object* object : AffectedObjects()) {
        TKSN_Mesh* mesh = MeshOf(object);
        TKSN_TopTreeGroup* tree = K::Tree(mesh);
        if (!tree) continue;
        K::UndoStates(object, Lang.GetText(K::NewTitle));
        K::UndoAssignments(object, nullptr);
        object->collapsed = false;
        tree->collapsed = false;
        typename K::Item* item = K::Make(name.c_str());
        item->multiSelected = true;
        item->RegisterForLookup();
        tree->AddItem(item);
        const int m = tree->items->Count() - 1;
        for (int p = 0; p < mesh->GetPCount(); ++p)
            if (SmallestCornerWeight(mesh, p) > kSelectedWeight) K::Index(mesh->Polygons[p]) = int16_t(m);
        Reindex(mesh, K{});
        if constexpr (std::is_same_v<K, MaterialKind>) {
            auto* open = new TQOREvent(OnExpandMaterial, 0, 0);
            object->RegisterForLookup();
            open->idParameters[0] = object->GetID();
            open->idParameters[1] = item->GetID();
            open->intParameters[0] = 1;
            QOREvents_PushEvent(open);
            for (TQORMaterial* material : ItemsOf<K>(mesh)) {
                material->ResetCachedPointers();
                material->CacheChannels();
            }
        } else {
            K::AfterRemap(mesh);
        }
    }
    if constexpr (std::is_same_v<K, MaterialKind>) QOREvents_PushEvent(299);
    QOREvents_PushEvent(10);
    QOREvents_PushEvent(441);
    return true;
}

template <class K>
int CountHighlighted()
{
    int n = 0;
    TObjectList list = Objects();
    for (TKSN_Object* object : *list)
        for (auto* item : ItemsOf<K>(MeshOf(object))) n += item->multiSelected ? 1 : 0;
    return n;
}

template <class K>
bool AssignToHighlighted()
{
    if (CountHighlighted<K>() != 1) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(K::NotOne));
        QOREvents_PushEvent(10);
        return false;
    }
    bool assigned = false;
    TObjectList list = Objects();
    for (TKSN_Object* object : *list) {
        TKSN_Mesh* mesh = MeshOf(object);
        if (!mesh) continue;
        const auto items = ItemsOf<K>(mesh);
        auto it = std::find_if(items.begin(), items.end(), [](auto* i) { return i->multiSelected; });
        if (it != items.end()) {
            const int index = int(it - items.begin());
            K::UndoAssignments(object, Lang.GetText(K::AssignText));
            for (int p = 0; p < mesh->GetPCount(); ++p)
                if (mesh->GetResolvedPSelect(p) > kSelectedWeight) {
                    K::Index(mesh->Polygons[p]) = int16_t(index);
                    assigned = true;
                }
        }
        // Every mesh's group vertex maps follow, highlighted group or not.
        K::AfterRemap(mesh);
    }
    if (assigned)
        OS.PrintMessageNoRepeat("%s", Lang.GetText(K::AssignText));
    else
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1539));
    QOREvents_PushEvent(299);
    return true;
}

template <class K>
bool DeleteHighlighted()
{
    int total = 0;
    TObjectList list = Objects();
    for (TKSN_Object* object : *list) {
        int n = 0;
        for (auto* item : ItemsOf<K>(MeshOf(object))) n += item->multiSelected ? 1 : 0;
        if (n == 0) continue;
        K::UndoStates(object, Lang.GetText(K::DeleteLabel));
        K::UndoAssignments(object, nullptr);
        total += n;
    }
    if (total == 0) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(K::NoneHighlighted));
        QOREvents_PushEvent(10);
        return false;
    }
    OS.PrintMessage(Lang.GetText(K::Deleted), total);
    for (TKSN_Object* object : *list) {
        TKSN_Mesh* mesh = MeshOf(object);
        TKSN_TopTreeGroup* tree = mesh ? K::Tree(mesh) : nullptr;
        if (!tree || !tree->items) continue;
        // Only the leading run of the kind takes part; anything after it stays.
        const auto items = ItemsOf<K>(mesh);
        bool any = false;
        for (auto* item : items) any = any || item->multiSelected;
        if (!any) continue;
        std::vector<int16_t> remap(items.size(), 0);
        std::vector<TKSN_Thingy*> kept, removed;
        for (size_t i = 0; i < items.size(); ++i) {
            if (items[i]->multiSelected) {
                removed.push_back(items[i]);
            } else {
                remap[i] = int16_t(kept.size());
                kept.push_back(items[i]);
            }
        }
        std::vector<TKSN_Thingy*> rest;
        for (int i = int(items.size()); i < tree->items->Count(); ++i) rest.push_back((*tree->items)[i]);
        tree->items->Clear();
        for (TKSN_Thingy* t : kept) tree->items->Add(t);
        if (kept.empty()) {
            typename K::Item* made = K::Make(Lang.GetText(1122));
            made->RegisterForLookup();
            tree->items->Add(made);
            OS.WarningMessageNoRepeat("%s", Lang.GetText(K::DefaultMade));
        }
        for (TKSN_Thingy* t : rest) tree->items->Add(t);
        // The state undo node holds its own copies, so the removed entries can go.
        for (TKSN_Thingy* t : removed) delete t;
        // Only indices of the old list are remapped: -1 and stale indices stay.
        for (int p = 0; p < mesh->GetPCount(); ++p) {
            int16_t& index = K::Index(mesh->Polygons[p]);
            if (index >= 0 && size_t(index) < remap.size()) index = remap[size_t(index)];
        }
        Reindex(mesh, K{});
        K::AfterRemap(mesh);
    }
    QOREvents_PushEvent(299);
    QOREvents_PushEvent(441);
    return true;
}

template <class K>
typename K::Item* FirstHighlighted()
{
    TObjectList list = Objects();
    for (TKSN_Object* object : *list)
        for (auto* item : ItemsOf<K>(MeshOf(object)))
            if (item->multiSelected) return item;
    return nullptr;
}

template <class K>
bool RenameHighlighted()
{
    typename K::Item* item = FirstHighlighted<K>();
    if (!item) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(K::NotOne));
        QOREvents_PushEvent(10);
        return true;
    }
    if (MainWindow && MainWindow->RenameWindow)
        MainWindow->RenameWindow->Execute(item, item->GetName(), 441, -1, K::RenameCheck, nullptr, nullptr);
    return true;
}

bool CopyMaterial()
{
    TQORMaterial* material = FirstHighlighted<MaterialKind>();
    if (!material) {
        OS.WarningMessage("%s", Lang.GetText(325));
        Project->collapsed = false;
        QOREvents_PushEvent(10);
        return true;
    }
    if (App && App->emptyMaterial) {
        App->emptyMaterial->Copy(material);
        App->emptyMaterial->SetName("%s", material->GetName());
    }
    OS.PrintMessageNoRepeat(Lang.GetText(323), material->GetName());
    return true;
}

bool PasteMaterial()
{
    TQORMaterial* clip = App ? App->emptyMaterial : nullptr;
    if (!clip || QORstrcmpi(clip->GetName(), "__KSN_EMPTY__") == 0) {
        OS.WarningMessage("%s", Lang.GetText(326));
        return false;
    }
    int count = 0;
    TObjectList list = Objects();
    for (TKSN_Object* object : *list)
        for (TQORMaterial* material : ItemsOf<MaterialKind>(MeshOf(object))) {
            if (!material->multiSelected) continue;
            const std::string name = material->GetName();
            material->Copy(clip);
            material->SetName("%s", name.c_str());
            ++count;
        }
    Project->OnMapTopologyChanged();
    OS.PrintMessageNoRepeat(Lang.GetText(324), count);
    QOREvents_PushEvent(434);
    QOREvents_PushEvent(299);
    return true;
}

} // namespace

// [SECTION] Handlers

bool Kestrune_Events_MaterialCB(TQOREvent* event)
{
    if (!event || !Project) return false;
    switch (event->GetCommand()) {
    case 350: return AskForNewItem<MaterialKind>();
    case 351: return CreateItem<MaterialKind>();
    case 352: return AssignToHighlighted<MaterialKind>();
    case 353: return DeleteHighlighted<MaterialKind>();
    case 354: return RenameHighlighted<MaterialKind>();
    case 355: return CopyMaterial();
    case 356: return PasteMaterial();
    default: return false;
    }
}

bool Kestrune_Events_GroupCB(TQOREvent* event)
{
    if (!event || !Project) return false;
    switch (event->GetCommand()) {
    case 359: return AskForNewItem<GroupKind>();
    case 360: return CreateItem<GroupKind>();
    case 361: return AssignToHighlighted<GroupKind>();
    case 362: return DeleteHighlighted<GroupKind>();
    case 363: return RenameHighlighted<GroupKind>();
    default: return false;
    }
}
