// Morph commands (207-224): morph unions and folders are created, renamed,
// deleted and given strength limits; morph shapes are swapped left and
// right, duplicated, spawned from the current shape, baked into the base
// vertices and cleared.
//
// A morph union binds the same-named morph of every object; the project's
// morph-union tree holds the unions, each mesh's morph tree its own morphs.
// Every refusal happens before the document changes.
//
// Index:
//   [SECTION] Helpers
//   [SECTION] Trees and names (208-214, 216, 221, 222)
//   [SECTION] Shapes (215, 217-219, 223)
//   [SECTION] Handler
#include "KestruneEvents.h"

#include "GuiEditField.h"
#include "GuiGauge.h"
#include "KSN_Application.h"
#include "KSN_Commands_Selection_Internal.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORTree.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

// [SECTION] Helpers

using TObjectList = std::unique_ptr<TQORNewStaticList<TKSN_Object*>>;

template <class T>
T* Resolve(uint32_t id)
{
    return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr;
}

TKSN_Mesh* MeshOf(TKSN_Object* object) { return object ? object->Mesh.get() : nullptr; }

// The placeholders the rename window names while a morph (first) or a morph
// folder (second) is being created; kept for the whole run.
TKSN_Thingy* NewSelectionThingy(int which)
{
    static TKSN_Thingy* placeholders[2] = {nullptr, nullptr};
    if (!placeholders[which]) placeholders[which] = new TKSN_Thingy;
    return placeholders[which];
}

void Rename(TKSN_Thingy* thingy, const char* oldName, int ok, TKSN_NameCheck check, const char* title)
{
    if (MainWindow && MainWindow->RenameWindow)
        MainWindow->RenameWindow->Execute(thingy, oldName, ok, -1, check, title, nullptr);
}

void ExpandWithAncestors(TKSN_TreeGroup* group)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetParent()) g->collapsed = false;
}

void PushManager()
{
    QOREvents_PushEvent(10);
    QOREvents_PushEvent(439);
}

bool IsSpecial(TKSN_Morph* morph)
{
    auto* mesh = Resolve<TKSN_Mesh>(morph->GetOwnerID());
    return mesh && (morph == mesh->BaseVerticesMorph || morph == mesh->TempMorph);
}

void AddMember(TKSN_MorphUnion* u, TKSN_Morph* morph)
{
    u->ValidateItems();
    if (u->ItemIDs.Find(morph->GetID()) < 0) u->ItemIDs.Add(morph->GetID());
}

std::string CopyName(const char* name)
{
    std::vector<char> out(10000, '\0');
    GetCopyOfName(out.data(), name, GetUniqueMorphName);
    return out.data();
}

std::string UniqueMorphName(const char* wanted)
{
    std::vector<char> out(10000, '\0');
    GetUniqueMorphName(wanted, out.data());
    return out.data();
}

// Objects the swap and the clear act on.
std::vector<TKSN_Object*> AffectedObjects()
{
    return ksn_selection_cmd::ObjectsWhere(ksn_selection_cmd::HasSelection);
}

// [SECTION] Trees and names (208-214, 216, 221, 222)

bool AskForMorph(bool folder)
{
    if (Project->GetObjectCountForActionAgainstTarget(true) == 0) return false;
    TKSN_Thingy* placeholder = NewSelectionThingy(folder ? 1 : 0);
    if (folder) {
        placeholder->SetName("%s", Lang.GetText(1325));
        Rename(placeholder, "", 212, nullptr, Lang.GetText(308));
    } else {
        placeholder->SetName("%s", UniqueMorphName("New Morph").c_str());
        Rename(placeholder, "", 210, IsMorphNameUnique, Lang.GetText(306));
    }
    return true;
}

bool CreateUnion()
{
    TKSN_MorphUnionGroup* tree = Project->MorphUnions;
    const uint32_t anchor = tree->GetSelectedItemID();
    TKSN_TreeGroup* parent = anchor ? FindGroupWhichContainsID(tree, anchor) : nullptr;
    if (!parent) parent = tree;
    auto* u = new TKSN_MorphUnion;
    // The rename window has given the placeholder the typed name.
    u->SetName("%s", NewSelectionThingy(0)->GetName());
    u->RegisterForLookup();
    parent->AddItem(u);
    OS.PrintMessage(Lang.GetText(1329), u->GetName());
    Project->SetCurrentMorphUnion(u);
    Project->ClearManagerSelections(nullptr);
    tree->SelectItem(u->GetID(), false, false);
    PushManager();
    return true;
}

bool CreateMeshFolder()
{
    TKSN_Mesh* mesh = MeshOf(Project->GetObjectContainingCurrentSelection());
    if (!mesh || !mesh->MorphTree) return true;
    TKSN_TopTreeGroup* tree = mesh->MorphTree;
    auto* parent = Resolve<TKSN_TreeGroup>(tree->GetSelectedItemID());
    if (!parent) parent = tree;
    auto* folder = new TKSN_MorphUnionGroup;
    folder->SetName("%s", Lang.GetText(1325));
    folder->RegisterForLookup();
    parent->LinkChild(folder);
    tree->SelectItem(folder->GetID(), false, false);
    auto* name = new TQOREvent(nullptr, 0, 139);
    name->SetOwner(folder);
    name->intParameters[0] = 439;
    name->intParameters[1] = 14;
    name->AssignStringParameter(Lang.GetText(308), 0);
    QOREvents_PushEvent(name);
    ExpandWithAncestors(folder);
    mesh->PopHiddenGroupsToTheEnd(tree);
    PushManager();
    return true;
}

bool CreateUnionFolder()
{
    TKSN_MorphUnionGroup* tree = Project->MorphUnions;
    auto* parent = Resolve<TKSN_TreeGroup>(tree->GetSelectedItemID());
    if (!parent) parent = tree;
    auto* folder = new TKSN_MorphUnionGroup;
    folder->SetName("%s", NewSelectionThingy(1)->GetName());
    folder->RegisterForLookup();
    parent->LinkChild(folder);
    tree->SelectItem(folder->GetID(), false, false);
    ExpandWithAncestors(folder);
    PushManager();
    return true;
}

bool RenameMorph()
{
    if (const uint32_t anchor = Project->MorphUnions->GetSelectedItemID()) {
        if (auto* u = Resolve<TKSN_MorphUnion>(anchor)) {
            if (u->IsBaseVertices()) {
                OS.WarningMessageNoRepeat(Lang.GetText(946), u->GetName());
                return false;
            }
            Rename(u, u->GetName(), 439, IsMorphNameUnique, nullptr);
            return true;
        }
        if (auto* folder = Resolve<TKSN_MorphUnionGroup>(anchor)) {
            Rename(folder, folder->GetName(), 439, nullptr, nullptr);
            return true;
        }
    }
    TKSN_Mesh* mesh = MeshOf(Project->GetObjectContainingCurrentSelection());
    if (!mesh || !mesh->MorphTree) return true;
    auto* item = Resolve<TKSN_Thingy>(mesh->MorphTree->GetSelectedItemID());
    if (!item) return true;
    if (item == static_cast<TKSN_Thingy*>(mesh->MorphTree)) {
        OS.WarningMessage("%s", Lang.GetText(562));
        return false;
    }
    Rename(item, item->GetName(), 439, IsMorphNameUniqueToObjectContainingCurrentSelection, nullptr);
    return true;
}

bool DeleteMorphs()
{
    if (!Project->DeleteSelectedMorphUnions()) Project->DeleteSelectedMorphs();
    return true;
}

// The field shows percent; the morphs keep fractions.
bool SetLimit(TQOREvent* event, bool minimum)
{
    auto* field = Resolve<TGui_EditField>(event->dispatcherID);
    auto* gauge = Resolve<TGui_Gauge>(event->idParameters[0]);
    auto* morph = Resolve<TKSN_Morph>(event->GetOwnerID());
    auto* u = morph ? nullptr : Resolve<TKSN_MorphUnion>(event->GetOwnerID());
    if (!field || (!morph && !u)) return true;
    const float v = float(double(field->GetFloatValue()) * 0.01);
    auto setBound = [&](float percent) {
        if (!gauge) return;
        if (minimum)
            gauge->Minimum = percent;
        else
            gauge->Maximum = percent;
    };
    if (morph) {
        float& kept = minimum ? morph->MinStrength : morph->MaxStrength;
        kept = minimum ? std::min(v, morph->MaxStrength) : std::max(v, morph->MinStrength);
        if (std::fabs(kept - v) > 1e-30f) field->SetFloatValue(kept * 100.0f, nullptr, false);
        setBound(kept * 100.0f);
    } else {
        u->ValidateItems();
        auto apply = [&](float& lo, float& hi) {
            if (minimum) {
                lo = v;
                hi = std::max(hi, v);
            } else {
                hi = v;
                lo = std::min(lo, v);
            }
        };
        for (unsigned id : u->ItemIDs)
            if (auto* m = Resolve<TKSN_Morph>(id)) apply(m->MinStrength, m->MaxStrength);
        apply(u->MinStrength, u->MaxStrength);
        field->SetFloatValue(v * 100.0f, nullptr, false);
        setBound(v * 100.0f);
    }
    QOREvents_PushEvent(439);
    return true;
}

// [SECTION] Shapes (215, 217-219, 223)

bool Swap()
{
    if (!Project->GetCurrentMorphUnion()) {
        OS.WarningMessage("%s", Lang.GetText(1019));
        return false;
    }
    const std::vector<TKSN_Object*> objects = AffectedObjects();
    for (TKSN_Object* object : objects) {
        TKSN_Morph* current = object->Mesh->GetCurrentMorph();
        if (!current) {
            if (App) App->WarningNoCurrentMorph(true);
            return false;
        }
        if (current == object->Mesh->BaseVerticesMorph) {
            OS.WarningMessageNoRepeat("%s", Lang.GetText(955));
            return false;
        }
    }
    Project->BeforeDeform(Lang.GetText(151), true, false);
    int count = 0;
    for (TKSN_Object* object : objects) {
        TKSN_Morph* current = object->Mesh->GetCurrentMorph();
        if (!current) {
            if (App) App->WarningNoCurrentMorph(true);
            continue;
        }
        OS.PrintMessageNoRepeat("%s", Lang.GetText(151));
        object->Mesh->SwapMorphSymmetry(current);
        Project->OnShapeChanged(object, true, true);
        ++count;
    }
    if (count == 0) OS.WarningMessage("%s", Lang.GetText(1290));
    return true;
}

void CopyDeltas(TKSN_Mesh* mesh, TKSN_Morph* source, TKSN_Morph* copy)
{
    mesh->BeginUsingMorph(source);
    mesh->BeginUsingMorph(copy);
    copy->Copy(source);
    mesh->EndUsingMorph(source);
    mesh->EndUsingMorph(copy);
}

bool DuplicateUnions(int n)
{
    TKSN_MorphUnionGroup* tree = Project->MorphUnions;
    std::vector<uint32_t> made;
    std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(Project->GetMorphUnionList());
    bool copied = false;
    for (TKSN_MorphUnion* source : *unions) {
        if (!source->multiSelected) continue;
        const std::string name = CopyName(source->GetName());
        auto* u = new TKSN_MorphUnion;
        u->SetName("%s", name.c_str());
        u->RegisterForLookup();
        tree->AddItem(u);
        u->Strength = 0.0f;
        made.push_back(u->GetID());
        source->ValidateItems();
        bool copiedHere = false;
        for (unsigned id : source->ItemIDs) {
            auto* morph = Resolve<TKSN_Morph>(id);
            auto* mesh = morph ? Resolve<TKSN_Mesh>(morph->GetOwnerID()) : nullptr;
            if (!mesh) continue;
            TKSN_Morph* copy = mesh->CreateMorph(mesh->MorphTree);
            AddMember(u, copy);
            copy->Strength = 0.0f;
            CopyDeltas(mesh, morph, copy);
            copy->SetName("%s", name.c_str());
            copiedHere = copied = true;
        }
        if (n == 1 && copiedHere) OS.PrintMessage(Lang.GetText(1057), source->GetName());
    }
    if (n > 1 && copied) OS.PrintMessage(Lang.GetText(1058), n);
    Project->ClearManagerSelections(nullptr);
    for (uint32_t id : made) tree->SelectItem(id, false, true);
    PushManager();
    return true;
}

bool DuplicateMorphs()
{
    TKSN_Mesh* mesh = MeshOf(Project->GetObjectContainingCurrentSelection());
    if (!mesh || !mesh->MorphTree) return false;
    std::unique_ptr<TKSN_ThingyList> list = mesh->MorphTree->GetPreOrderList(true, true, false);
    int n = 0;
    for (TKSN_Thingy* t : *list)
        if (t && t->multiSelected && dynamic_cast<TKSN_Morph*>(t)) ++n;
    if (n == 0) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1056));
        return false;
    }
    TKSN_TreeGroup* folder = mesh->MorphTree;
    std::vector<TKSN_Morph*> copies;
    for (TKSN_Thingy* t : *list) {
        if (auto* g = dynamic_cast<TKSN_TreeGroup*>(t)) {
            folder = g;
            continue;
        }
        auto* source = dynamic_cast<TKSN_Morph*>(t);
        if (!source || !source->multiSelected) continue;
        if (!source->duplicable) {
            OS.WarningMessage(Lang.GetText(948), source->GetName());
            continue;
        }
        TKSN_Morph* copy = mesh->CreateMorph(nullptr);
        if (n == 1) OS.PrintMessage(Lang.GetText(1057), source->GetName());
        CopyDeltas(mesh, source, copy);
        copy->SetName("%s", CopyName(source->GetName()).c_str());
        const int at = folder->items ? folder->items->Find(source) : -1;
        if (!folder->items) folder->items = std::make_unique<TKSN_ThingyList>();
        folder->items->Insert(at + 1, copy);
        copy->Strength = 0.0f;
        copies.push_back(copy);
    }
    if (!copies.empty()) {
        mesh->MorphTree->SelectItem(copies.front()->GetID(), false, false);
        for (size_t i = 1; i < copies.size(); ++i) mesh->MorphTree->SelectItem(copies[i]->GetID(), false, true);
    }
    if (n > 1) OS.PrintMessage(Lang.GetText(1058), n);
    PushManager();
    return true;
}

bool Duplicate()
{
    const int n = Project->MorphUnions->GetSelectedCount(true, false);
    return n > 0 ? DuplicateUnions(n) : DuplicateMorphs();
}

bool Spawn()
{
    bool onlyHighlighted = false, onlyCurrent = false;
    if (!Project->CheckForAllCurrentOrMultiSelectedObjects(onlyHighlighted, onlyCurrent, Lang.GetText(1239), true,
                                                           Lang.GetText(1244))) {
        Project->Objects->collapsed = false;
        PushManager();
        return false;
    }
    const std::string name = UniqueMorphName(Lang.GetText(338));
    auto* u = new TKSN_MorphUnion;
    u->SetName("%s", name.c_str());
    u->RegisterForLookup();
    Project->MorphUnions->AddItem(u);
    u->Strength = 0.0f;
    TObjectList list(Project->GetObjectList());
    for (TKSN_Object* object : *list) {
        TKSN_Mesh* mesh = MeshOf(object);
        if (!mesh || !Project->CanAffectObject(object)) continue;
        if (onlyCurrent && object != Project->GetCurrentObject()) continue;
        if (onlyHighlighted && !object->multiSelected) continue;
        mesh->ResolveMorphs(false);
        TKSN_Morph* morph = mesh->CreateMorph(mesh->MorphTree);
        AddMember(u, morph);
        mesh->BeginUsingMorph(morph);
        morph->Strength = 0.0f;
        morph->SetName("%s", name.c_str());
        morph->Expand();
        for (int k = 0; k < mesh->GetVCount(); ++k) {
            float* d = morph->GetVertex(k);
            for (int c = 0; c < 3; ++c) d[c] = mesh->resolvedVertices[3 * k + c] - mesh->baseVertices[3 * k + c];
        }
        mesh->EndUsingMorph(morph);
    }
    const std::string text = std::string(Lang.GetText(1238)) + " \"" + name + "\"";
    Project->PrintDescriptionForActionAgainstTarget(text.c_str(), onlyHighlighted, onlyCurrent, false);
    Project->ClearManagerSelections(nullptr);
    Project->MorphUnions->SelectItem(u->GetID(), false, false);
    PushManager();
    return true;
}

// Adds Strength x delta to each base vertex, then clears the deltas or sets
// the strength to 0.
void BakeOne(TKSN_Mesh* mesh, TKSN_Morph* morph, bool clear)
{
    mesh->BeginUsingMorph(morph);
    int i = 0;
    float* d = nullptr;
    for (bool more = morph->GetFirstDelta(&i, &d); more; more = morph->GetNextDelta(&i, &d)) {
        if (i < 0 || i >= mesh->GetVCount()) continue;
        for (int c = 0; c < 3; ++c) mesh->baseVertices[3 * i + c] += morph->Strength * d[c];
        if (clear) d[0] = d[1] = d[2] = 0.0f;
    }
    if (!clear) morph->Strength = 0.0f;
    morph->OnChanged();
    mesh->EndUsingMorph(morph);
}

bool BakeUnions()
{
    if (!OS.MessageYesNo("%s", Lang.GetText(950))) return false;
    const bool clear = OS.MessageYesNo("%s", Lang.GetText(1326));
    Project->SetupUndoForMorphMixerValues(nullptr, "NO_UNDO_MESSAGE");
    struct TMember {
        TKSN_MorphUnion* Union;
        TKSN_Morph* Morph;
        TKSN_Mesh* Mesh;
    };
    std::vector<TMember> members;
    std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(Project->GetMorphUnionList());
    for (TKSN_MorphUnion* u : *unions) {
        if (!u->multiSelected || u->IsBaseVertices()) continue;
        for (unsigned id : u->ItemIDs) {
            auto* morph = Resolve<TKSN_Morph>(id);
            auto* mesh = morph ? Resolve<TKSN_Mesh>(morph->GetOwnerID()) : nullptr;
            if (!mesh || IsSpecial(morph) || (mesh->OwnerObject && mesh->OwnerObject->IsReadOnly())) continue;
            members.push_back({u, morph, mesh});
        }
    }
    TObjectList objects(Project->GetObjectList());
    // One model undo node and one geometry bracket per object, whatever the
    // number of its morphs among the highlighted unions.
    auto pass = [&](auto&& visit) {
        for (TKSN_Object* o : *objects)
            if (o->Mesh) o->SetCustomBooleanProperty("BAKE_MORPHS_MESH_UNDO", false);
        for (const TMember& m : members) {
            TKSN_Object* o = m.Mesh->OwnerObject;
            const bool first = o && !o->GetCustomBooleanProperty("BAKE_MORPHS_MESH_UNDO");
            if (o) o->SetCustomBooleanProperty("BAKE_MORPHS_MESH_UNDO", true);
            visit(m, o, first);
        }
    };
    if (clear)
        pass([](const TMember& m, TKSN_Object* o, bool) { Project->SetupUndoForMorph(o, m.Morph, "NO_UNDO_MESSAGE"); });
    pass([](const TMember& m, TKSN_Object* o, bool first) {
        if (first) m.Mesh->BeginEditGeometry(Project->SetupUndoForModel(o, Lang.GetText(951), false));
    });
    bool baked = false;
    pass([&](const TMember& m, TKSN_Object*, bool) {
        BakeOne(m.Mesh, m.Morph, clear);
        baked = true;
    });
    pass([&](const TMember& m, TKSN_Object*, bool first) {
        if (!clear) m.Union->Strength = 0.0f;
        if (first) m.Mesh->EndEditGeometry(true);
    });
    if (baked) OS.PrintMessageNoRepeat("%s", Lang.GetText(clear ? 1243 : 1059));
    QOREvents_PushEvent(439);
    for (TKSN_Object* o : *objects)
        if (o->Mesh) Project->OnShapeChanged(o, true, true);
    return true;
}

bool BakeMorphs()
{
    TKSN_Object* object = Project->GetObjectContainingCurrentSelection();
    TKSN_Mesh* mesh = MeshOf(object);
    if (!mesh || !mesh->MorphTree) return true;
    std::vector<TKSN_Morph*> toBake;
    const bool mix = mesh->ResolveAllMorphs;
    if (mix) {
        std::unique_ptr<TKSN_ThingyList> list = mesh->MorphTree->GetPreOrderList(false, true, true);
        for (TKSN_Thingy* t : *list)
            if (auto* m = dynamic_cast<TKSN_Morph*>(t)) toBake.push_back(m);
        if (toBake.empty()) {
            OS.WarningMessageNoRepeat("%s", Lang.GetText(1056));
            PushManager();
            return false;
        }
    } else {
        TKSN_Morph* current = mesh->GetCurrentMorph();
        if (current && current == mesh->BaseVerticesMorph) {
            OS.WarningMessage("%s", Lang.GetText(955));
            return false;
        }
        // Without a current morph there is nothing the question could be about.
        if (!current) {
            OS.WarningMessage("%s", Lang.GetText(1019));
            return false;
        }
        toBake.push_back(current);
    }
    if (!OS.MessageYesNo("%s", Lang.GetText(mix ? 950 : 954))) return false;
    Project->SetupUndoForMorphMixerValues(object, nullptr);
    bool asked = false, clear = false, baked = false;
    for (TKSN_Morph* morph : toBake) {
        if (IsSpecial(morph)) continue;
        if (!asked) {
            clear = OS.MessageYesNo("%s", Lang.GetText(1326));
            asked = true;
        }
        if (clear) Project->SetupUndoForMorph(object, morph, nullptr);
        mesh->BeginEditGeometry(Project->SetupUndoForModel(object, Lang.GetText(951), false));
        BakeOne(mesh, morph, clear);
        mesh->EndEditGeometry(true);
        baked = true;
    }
    QOREvents_PushEvent(7);
    QOREvents_PushEvent(439);
    if (baked) OS.PrintMessageNoRepeat("%s", Lang.GetText(clear ? 1243 : 1059));
    return true;
}

bool Bake()
{
    return Project->MorphUnions->GetSelectedCount(true, false) > 0 ? BakeUnions() : BakeMorphs();
}

bool ClearCurrent()
{
    std::vector<TKSN_Object*> objects;
    for (TKSN_Object* o : AffectedObjects())
        if (o->Mesh->GetCurrentMorph()) objects.push_back(o);
    if (objects.empty()) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1540));
        return true;
    }
    OS.PrintMessageNoRepeat("%s", Lang.GetText(1274));
    Project->BeforeDeform(Lang.GetText(1274), true, false);
    for (TKSN_Object* o : objects) o->Mesh->GetCurrentMorph()->Clear();
    Project->OnShapeChanged(true, true);
    return true;
}

} // namespace

// [SECTION] Handler

bool Kestrune_Events_MorphCB(TQOREvent* event)
{
    if (!event || !Project || !Project->MorphUnions || !Project->Objects) return false;
    switch (event->GetCommand()) {
    case 208: return AskForMorph(false);
    case 209: return AskForMorph(true);
    case 210: return CreateUnion();
    case 211: return CreateMeshFolder();
    case 212: return CreateUnionFolder();
    case 213: return true;
    case 214: return RenameMorph();
    case 215: return Swap();
    case 216: return DeleteMorphs();
    case 217: return Duplicate();
    case 218: return Spawn();
    case 219: return Bake();
    case 220: QOREvents_PushEvent(10); return true;
    case 221: return SetLimit(event, true);
    case 222: return SetLimit(event, false);
    case 223: return ClearCurrent();
    default: return false;
    }
}
