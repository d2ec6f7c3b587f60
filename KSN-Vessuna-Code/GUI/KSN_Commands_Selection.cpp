// The selection commands 225-258: the handler, the simple commands, the
// selection presets and folders, and hiding and locking by selection. The
// weight operations are in KSN_Commands_SelectionWeights.cpp.
//
// Index:
//   [SECTION] Presets and folders   228-233, 250
//   [SECTION] Hiding and locking    239-242
//   [SECTION] Handler               the dispatch of every id
#include "KSN_Commands_Selection.h"
#include "KSN_Commands_Selection_Internal.h"

#include "KSN_Gui_MainWindow.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Selection.h"
#include "KSN_Union.h"
#include "KestruneEvents.h"
#include "GuiEditField.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"

#include <string>

using namespace ksn_selection_cmd;

namespace {

// The placeholders that carry a proposed name into the rename window: one for
// the preset dialog, one for the preset-folder dialog. Made on first use and
// kept for the run.
TKSN_Thingy* NewSelectionThingy[2] = {nullptr, nullptr};

TKSN_Thingy* Placeholder(int which)
{
    if (!NewSelectionThingy[which]) NewSelectionThingy[which] = new TKSN_Thingy();
    return NewSelectionThingy[which];
}

// The text of the rename window's edit field when OK was pressed.
std::string RenameFieldText()
{
    TKSN_MainWindow* w = GetMainWindow();
    if (!w || !w->RenameWindow || !w->RenameWindow->NameField || !w->RenameWindow->NameField->EditField) return {};
    const char* text = w->RenameWindow->NameField->EditField->GetText();
    return text ? text : "";
}

TKSN_RenameWindow* RenameWindow()
{
    TKSN_MainWindow* w = GetMainWindow();
    return w ? w->RenameWindow : nullptr;
}

void OpenFolders(TKSN_TreeGroup* group)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetParent()) g->collapsed = false;
}

// [SECTION] Presets and folders

// One selection of a preset: a copy of the mesh's resolved weights, added to
// the highlighted folder of the mesh's own selection tree and to the union.
void CaptureSelection(TKSN_Object* object, TKSN_SelectionUnion* preset, const char* name)
{
    TKSN_Mesh* mesh = object->Mesh.get();
    TKSN_TreeGroup* folder = mesh->SelectionTree;
    if (auto* highlighted = dynamic_cast<TKSN_TreeGroup*>(
            TKSN_TreeGroup::FindItemOrGroupFromID(mesh->SelectionTree, mesh->SelectionTree->GetSelectedItemID())))
        folder = highlighted;
    auto* selection = new TKSN_Selection(mesh->GetVCount(), mesh->GetID());
    selection->SetScriptStamp(mesh->VertexScriptCount);
    folder->AddItem(selection);
    const int type = SelectionType();
    selection->SetSelectionType(type == 1 ? eSelectionType_Polygon : eSelectionType_Vertex);
    mesh->BeginUsingSelection(selection);
    if (type == 0) {
        selection->SetVCount(mesh->GetVCount());
        for (int i = 0; i < mesh->GetVCount(); ++i) selection->SetVSelect(i, mesh->GetResolvedVSelect(i));
    } else if (type == 1) {
        selection->SetVCount(mesh->GetPCount());
        for (int i = 0; i < mesh->GetPCount(); ++i) selection->SetVSelect(i, mesh->GetResolvedPSelect(i));
    }
    mesh->EndUsingSelection(selection);
    selection->SetName("%s", name);
    preset->ValidateItems();
    const unsigned id = selection->GetID();
    bool present = false;
    for (unsigned held : preset->ItemIDs) present = present || held == id;
    if (!present) preset->ItemIDs.Add(id);
}

void CaptureEverySelection(TKSN_SelectionUnion* preset, const char* name)
{
    for (TKSN_Object* object : ObjectsWhere(HasSelection)) CaptureSelection(object, preset, name);
}

// 229
bool OpenPresetDialog()
{
    if (Project->GetObjectCountForActionAgainstTarget(true) == 0) return false;
    if (ObjectsWhere(HasSelection).empty()) {
        OS.WarningMessage("%s", "There is no selection to store as a preset");
        return false;
    }
    TKSN_Thingy* placeholder = Placeholder(0);
    char name[KSN_NAME_BUFFER] = {};
    GetUniqueSelectionName("New Selection", name);
    placeholder->SetName("%s", name);
    if (TKSN_RenameWindow* rename = RenameWindow())
        rename->Execute(placeholder, "", 228, -1, IsSelectionNameUnique, Lang.GetText(310), nullptr);
    return true;
}

// 228
bool StorePreset()
{
    const std::string name = RenameFieldText();
    TKSN_SelectionUnionGroup* tree = Project->SelectionUnions;
    if (!tree) return false;
    TKSN_TreeGroup* folder = FindGroupWhichContainsID(tree, tree->GetSelectedItemID());
    if (!folder) folder = tree;
    auto* preset = new TKSN_SelectionUnion();
    preset->SetName("%s", name.c_str());
    folder->AddItem(preset);
    CaptureEverySelection(preset, name.c_str());

    const std::string sentence = "Created the selection \"" + name + "\"";
    Project->PrintDescriptionForActionAgainstTarget(sentence.c_str(), false, false, true);
    Project->ClearManagerSelections(nullptr);
    tree->SelectItem(preset->GetID(), false, false);
    QOREvents_PushEvent(10);
    QOREvents_PushEvent(440);
    return true;
}

// 230
bool OpenPresetFolderDialog()
{
    if (Project->GetObjectCountForActionAgainstTarget(true) == 0) return false;
    TKSN_Thingy* placeholder = Placeholder(1);
    placeholder->SetName("%s", Lang.GetText(1325));
    if (TKSN_RenameWindow* rename = RenameWindow())
        rename->Execute(placeholder, "", 232, -1, nullptr, Lang.GetText(312), nullptr);
    return true;
}

// 232
bool CreatePresetFolder()
{
    TKSN_SelectionUnionGroup* tree = Project->SelectionUnions;
    if (!tree) return false;
    TKSN_TreeGroup* parent = tree;
    if (auto* highlighted =
            dynamic_cast<TKSN_TreeGroup*>(TKSN_TreeGroup::FindItemOrGroupFromID(tree, tree->GetSelectedItemID())))
        parent = highlighted;
    auto* folder = new TKSN_SelectionUnionGroup();
    folder->SetName("%s", RenameFieldText().c_str());
    parent->LinkChild(folder);
    tree->SelectItem(folder->GetID(), false, false);
    OpenFolders(folder);
    QOREvents_PushEvent(10);
    QOREvents_PushEvent(440);
    return true;
}

// 231
bool CreateObjectSelectionFolder()
{
    TKSN_Object* object = Project->GetObjectContainingCurrentSelection();
    if (!object || !object->Mesh) return true;
    TKSN_SelectionTreeGroup* tree = object->Mesh->SelectionTree;
    if (!tree) return true;
    TKSN_TreeGroup* parent = tree;
    if (auto* highlighted =
            dynamic_cast<TKSN_TreeGroup*>(TKSN_TreeGroup::FindItemOrGroupFromID(tree, tree->GetSelectedItemID())))
        parent = highlighted;
    auto* folder = new TKSN_SelectionTreeGroup();
    folder->SetName("%s", Lang.GetText(1325));
    parent->LinkChild(folder);
    tree->SelectItem(folder->GetID(), false, false);
    if (!folder->IsRegisteredForLookup()) folder->RegisterForLookup();

    auto* rename = new TQOREvent(KestruneEvents_CommandCB, folder->GetID(), 139);
    rename->intParameters[0] = 440;
    rename->intParameters[1] = 14;
    rename->AssignStringParameter(Lang.GetText(312), 0);
    QOREvents_PushEvent(rename);
    OpenFolders(folder);
    object->Mesh->PopHiddenGroupsToTheEnd(tree);
    QOREvents_PushEvent(10);
    QOREvents_PushEvent(440);
    return true;
}

// 233
bool RenamePreset()
{
    TKSN_RenameWindow* rename = RenameWindow();
    TKSN_SelectionUnionGroup* tree = Project->SelectionUnions;
    TKSN_Thingy* item = tree ? TKSN_TreeGroup::FindItemOrGroupFromID(tree, tree->GetSelectedItemID()) : nullptr;
    if (auto* preset = dynamic_cast<TKSN_SelectionUnion*>(item)) {
        if (rename) rename->Execute(preset, preset->GetName(), 440, -1, IsSelectionNameUnique, nullptr, nullptr);
        return true;
    }
    if (auto* folder = dynamic_cast<TKSN_SelectionUnionGroup*>(item)) {
        if (rename) rename->Execute(folder, folder->GetName(), 440, -1, nullptr, nullptr, nullptr);
        return true;
    }
    TKSN_Object* object = Project->GetObjectContainingCurrentSelection();
    if (!object || !object->Mesh || !object->Mesh->SelectionTree) return true;
    TKSN_SelectionTreeGroup* own = object->Mesh->SelectionTree;
    TKSN_Thingy* ownItem = TKSN_TreeGroup::FindItemOrGroupFromID(own, own->GetSelectedItemID());
    if (!ownItem) return true;
    if (ownItem == own) {
        OS.WarningMessage("%s", Lang.GetText(562));
        return false;
    }
    if (rename) rename->Execute(ownItem, ownItem->GetName(), 440, -1, nullptr, nullptr, nullptr);
    return true;
}

// 250
bool ReplacePreset()
{
    TKSN_SelectionUnionGroup* tree = Project->SelectionUnions;
    auto* preset = tree ? dynamic_cast<TKSN_SelectionUnion*>(
                              TKSN_TreeGroup::FindItemOrGroupFromID(tree, tree->GetSelectedItemID()))
                        : nullptr;
    if (!preset) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(256));
        QOREvents_PushEvent(10);
        return false;
    }
    if (!OS.MessageYesNo(Lang.GetText(257), preset->GetName())) return false;

    const std::string name = preset->GetName();
    preset->ValidateItems();
    for (unsigned id : preset->ItemIDs) {
        auto* selection = dynamic_cast<TKSN_Selection*>(__GetThingyFromID(id));
        if (!selection) continue;
        for (TKSN_Object* object : ObjectsWhere(HasMesh))
            if (object->Mesh->GetID() == selection->GetOwnerID()) {
                Project->DeleteThingy(object->Mesh->SelectionTree, selection);
                break;
            }
    }
    CaptureEverySelection(preset, name.c_str());

    const std::string sentence = "Replaced the selection \"" + name + "\"";
    Project->PrintDescriptionForActionAgainstTarget(sentence.c_str(), false, false, true);
    QOREvents_PushEvent(10);
    QOREvents_PushEvent(440);
    return true;
}

// [SECTION] Hiding and locking

constexpr uint32_t HiddenLayerBit = 1u << 29;
constexpr uint32_t LockedLayerBit = 1u << 30;

uint32_t LayerBitOf(int n) { return 1u << ((n + 31) % 32); }

// The bits of the enabled layers 0..29 whose state (hidden or locked) is on.
uint32_t StateMask(bool locked)
{
    uint32_t mask = 0;
    for (int n = 0; n <= 29; ++n) {
        TKSN_Layer* layer = Project->PolygonLayers[n];
        if (!layer || !layer->IsEnabled()) continue;
        if (locked ? layer->Locked : layer->IsHidden()) mask |= LayerBitOf(n);
    }
    return mask;
}

// 239, 241
bool HideOrLockSelected(bool lock)
{
    Project->AddSelectionToLayer(lock ? 31 : 30, true, Lang.GetText(lock ? 1004 : 1013), true);
    Project->ClearSelection(true, false);
    Project->ClearFlashSelection();
    if (lock) Project->SetFlashLayerColors();
    return true;
}

// 240, 242
bool UnhideOrUnlockAll(bool lock)
{
    const uint32_t stateMask = StateMask(lock);
    const uint32_t bit = lock ? LockedLayerBit : HiddenLayerBit;
    const char* label = Lang.GetText(lock ? 1005 : 1002);
    bool something = false, layerHolds = false;
    for (TKSN_Object* object : ObjectsWhere(HasMesh)) {
        TKSN_Mesh* mesh = object->Mesh.get();
        bool recorded = false;
        for (int p = 0; p < mesh->GetPCount(); ++p) {
            const uint32_t flags = mesh->GetPolyLayerFlags(p);
            if ((flags & bit) && !recorded) {
                Project->SetupUndoForLayerAssignments(object, label);
                recorded = true;
                something = true;
            }
            mesh->Polygons[p].LayerFlags = flags & ~bit;
            if (stateMask && (flags & stateMask)) something = layerHolds = true;
        }
    }
    if (!something) {
        OS.WarningMessage("%s", Lang.GetText(lock ? 1003 : 1006));
        return true;
    }
    if (layerHolds && OS.MessageYesNo("%s", Lang.GetText(lock ? 106 : 107))) {
        Project->SetupUndoForLayerStates(nullptr);
        for (int n = 0; n <= 29; ++n) {
            TKSN_Layer* layer = Project->PolygonLayers[n];
            if (!layer || !layer->IsEnabled()) continue;
            if (lock)
                layer->Locked = false;
            else
                layer->DisplayFlags &= ~TKSN_Layer::Hidden;
        }
        if (!lock) Project->SetFlashLayerColors();
    }
    OS.PrintMessage("%s", label);
    if (lock) Project->SetFlashLayerColors();
    Project->UpdateLockedLayers();
    Project->UpdateVisibleLayers();
    Project->OnShapeChanged(true, true);
    QOREvents_PushEvent(436);
    return true;
}

// [SECTION] Simple commands

// 234
bool SwapLeftAndRight()
{
    const std::vector<TKSN_Object*> objects = ObjectsWhere(HasSelection);
    if (objects.empty()) {
        OS.WarningMessage("%s", Lang.GetText(1291));
        return false;
    }
    OS.PrintMessageNoRepeat("%s", Lang.GetText(153));
    Project->BeforeSelect(Lang.GetText(153));
    for (TKSN_Object* object : objects) object->Mesh->SwapSelectionSymmetry();
    Project->SetFlashSelection();
    QOREvents_PushEvent(299);
    return true;
}

// 237
bool ClearAll(TQOREvent* event)
{
    if (event->intParameters[0] != 1) OS.PrintMessageNoRepeat("%s", Lang.GetText(577));
    Project->ClearSelection(true, false);
    Project->ClearFlashSelection();
    return true;
}

// 251
bool ApplyPresets()
{
    OS.PrintMessageNoRepeat("%s", Lang.GetText(940));
    Project->BeforeSelect(Lang.GetText(940));
    Project->ApplySelections();
    Project->SetFlashSelection();
    return true;
}

} // namespace

// [SECTION] Handler

bool Kestrune_Events_SelectionCB(TQOREvent* event)
{
    if (!event || !Project) return false;
    const int id = event->GetCommand();
    if (id < 228 || id > 257) return false;
    switch (id) {
    case 228: return StorePreset();
    case 229: return OpenPresetDialog();
    case 230: return OpenPresetFolderDialog();
    case 231: return CreateObjectSelectionFolder();
    case 232: return CreatePresetFolder();
    case 233: return RenamePreset();
    case 234: return SwapLeftAndRight();
    case 235:
        if (!Project->DeleteSelectedSelectionUnions()) Project->DeleteSelectedSelections();
        return true;
    case 237: return ClearAll(event);
    case 239: return HideOrLockSelected(false);
    case 240: return UnhideOrUnlockAll(false);
    case 241: return HideOrLockSelected(true);
    case 242: return UnhideOrUnlockAll(true);
    case 248:
        if (!Project->DuplicateSelectedSelections()) Project->DuplicateSelectedSelectionUnions();
        return true;
    case 249: return true;
    case 250: return ReplacePreset();
    case 251: return ApplyPresets();
    default: return KSN_SelectionWeightCommand(id);
    }
}
