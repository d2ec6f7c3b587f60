// The layer window's operations 0-15 on a layer group and its definitions
// (the "Image Maps" rows, their buttons, boxes, gauges and the group menu).
// Their events carry Temp_KestruneEvents_CommandCB as callback, the
// definition as owner, the operation as command and the group's ID in integer
// slot 0; they never pass the central dispatcher.
//
// Deleting and merging cannot be undone: both empty the undo and redo lists
// before they change anything.
#include "KSN_Gui_LayerWindow.h"

#include "GuiEditField.h"
#include "GuiMenu.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_SculptLayer.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QORMaterialMapSource.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

TKSN_Thingy* NewLayerThingy = nullptr;

// Held by ID: the menu goes with the main window that owns it.
uint32_t GroupMenuID = 0;

TKSN_LayerDefinition* DefinitionOf(TQOREvent* event)
{
    return dynamic_cast<TKSN_LayerDefinition*>(__GetThingyFromID(event->GetOwnerID()));
}
TKSN_LayerGroup* GroupOf(uint32_t id) { return dynamic_cast<TKSN_LayerGroup*>(__GetThingyFromID(id)); }
TKSN_LayerGroup* GroupOf(TKSN_LayerDefinition* d) { return d ? GroupOf(d->GetOwnerGroupID()) : nullptr; }
TKSN_LayerGroup* EventGroup(TQOREvent* event) { return GroupOf(uint32_t(event->intParameters[0])); }

bool ShiftHeld()
{
    TKSN_MainWindow* w = GetMainWindow();
    return w && w->IsShiftHeld();
}
bool AltHeld()
{
    TKSN_MainWindow* w = GetMainWindow();
    return w && w->IsAltHeld();
}

std::vector<TKSN_LayerDefinition*> Highlighted(TKSN_LayerGroup* group)
{
    std::vector<TKSN_LayerDefinition*> out;
    if (group)
        for (TKSN_LayerDefinition* d : group->GetAllLayers())
            if (d->multiSelected) out.push_back(d);
    return out;
}

std::vector<TQORMaterialMapSource*> Maps()
{
    std::vector<TQORMaterialMapSource*> out;
    if (!Project) return out;
    std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> list(Project->GetMapList());
    if (list)
        for (TQORMaterialMapSource* map : *list)
            if (map) out.push_back(map);
    return out;
}

void Finish()
{
    Project->OnMapLayerChanged();
    Project->OnAllViewportsChanged();
    QOREvents_PushEvent(436);
}

void Resolve(TKSN_LayerDefinition* d)
{
    if (dynamic_cast<TKSN_SculptLayer*>(d))
        Project->ResolveAllSculptLayers();
    else
        d->ResolveInvalidData();
}

// Runs an operation at once on the definition, without queueing.
void RunNow(TKSN_LayerDefinition* d, int operation, TKSN_LayerGroup* group)
{
    std::unique_ptr<TQOREvent> event(NEW_GENERIC_LAYER_EVENT(d, operation, group));
    QORProcessEventNow(event.get());
}

void SelectAlone(TKSN_LayerGroup* group, TKSN_LayerDefinition* d)
{
    Project->ClearManagerSelections(nullptr);
    if (TKSN_LayerGroup* root = group->GetRootLayerGroup()) root->SelectItem(d->GetID(), false, false);
}

// The tree group whose item list holds d, or null.
TKSN_TreeGroup* Holder(TKSN_TreeGroup* group, TKSN_Thingy* d)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        if (g->items && g->items->Find(d) >= 0) return g;
        if (TKSN_TreeGroup* found = Holder(g->GetChild(), d)) return found;
    }
    return nullptr;
}

// Removes d from its group and from every map that holds data for it, then deletes it.
void DeleteDefinition(TKSN_LayerGroup* group, TKSN_LayerDefinition* d)
{
    for (TQORMaterialMapSource* map : Maps()) map->DeleteLayerData(d->GetID());
    if (TKSN_TreeGroup* holder = Holder(group->GetRootLayerGroup(), d)) holder->items->Remove(d);
    delete d;
}

void FillRGB(TQORImageMap& image, const float* rgb)
{
    unsigned char* pixels = image.GetPixels();
    if (!pixels) return;
    const int64_t count = int64_t(image.GetWidth()) * image.GetHeight();
    const unsigned char colour[3] = {static_cast<unsigned char>(std::clamp(rgb[0], 0.0f, 1.0f) * 255.0f + 0.5f),
                                     static_cast<unsigned char>(std::clamp(rgb[1], 0.0f, 1.0f) * 255.0f + 0.5f),
                                     static_cast<unsigned char>(std::clamp(rgb[2], 0.0f, 1.0f) * 255.0f + 0.5f)};
    for (int64_t i = 0; i < count; ++i) std::memcpy(pixels + 3 * i, colour, 3);
    image.OnWholeMapChanged();
}

void FillAlpha(TQORMaterialMapSource* map, unsigned char value)
{
    TQORImageMap& mask = map->GetAlphaMask();
    if (mask.GetWidth() != map->GetWidth() || mask.GetHeight() != map->GetHeight())
        mask.SetDimensions(map->GetWidth(), map->GetHeight(), 1);
    if (unsigned char* pixels = mask.GetPixels())
        std::memset(pixels, value, size_t(mask.GetWidth()) * size_t(mask.GetHeight()));
}

const float* SecondaryColour()
{
    static const float white[3] = {1.0f, 1.0f, 1.0f};
    return App ? App->secondaryPaintColor : white;
}

// [SECTION] Operations

// 0, 1
void Select(TKSN_LayerDefinition* d, TKSN_LayerGroup* group, bool makeCurrent)
{
    Project->ClearManagerSelections(group);
    const bool shift = ShiftHeld(), alt = AltHeld();
    if (TKSN_LayerGroup* root = group->GetRootLayerGroup()) root->SelectItem(d->GetID(), shift, alt);
    if (makeCurrent && !shift && !alt) group->SetCurrentLayer(d);
    QOREvents_PushEvent(436);
}

// 3
void CycleState(TKSN_LayerDefinition* clicked, TQOREvent* event)
{
    const bool wasLocked = clicked->IsLocked(), wasHidden = clicked->IsHidden();
    TKSN_LayerGroup* group = GroupOf(clicked);
    if (!clicked->multiSelected) RunNow(clicked, 1, group);
    for (TKSN_LayerDefinition* d : Highlighted(EventGroup(event))) {
        if (wasLocked) {
            d->Hide();
        } else if (wasHidden) {
            d->Unhide();
            d->Unlock();
        } else {
            d->Lock();
        }
        Resolve(d);
    }
    Finish();
}

// 4
void Strength(TKSN_LayerDefinition* d, TQOREvent* event)
{
    if (event->operationMode == 0) {
        event->floatParameters[0] = d->GetStrength() * 100.0f;
        return;
    }
    if (event->operationMode != 1) return;
    d->SetStrength(event->floatParameters[0] / 100.0f);
    TKSN_LayerGroup* group = GroupOf(d);
    if (!group) return;
    if (!d->multiSelected) RunNow(d, 1, group);
    if (TKSN_LayerGroup* named = EventGroup(event))
        for (TKSN_LayerDefinition* other : Highlighted(named)) other->SetStrength(d->GetStrength());
    group->InvalidateAllLayers();
    Project->OnMapLayerChanged();
    Project->OnAllViewportsChanged();
}

// 5
void ContextMenu(TKSN_LayerDefinition* d, TQOREvent* event)
{
    TKSN_LayerGroup* group = EventGroup(event);
    auto* node = dynamic_cast<TGui_Node*>(__GetThingyFromID(event->dispatcherID));
    if (!group || !node) return;
    if (d) {
        TKSN_LayerGroup* root = group->GetRootLayerGroup();
        if (!root || !root->GetSelectedItemID() || !d->multiSelected) RunNow(d, 0, group);
    }
    TGui_Menu* menu = KSN_LayerGroupMenu();
    if (!menu) return;
    UpdateGenericMenu(group, menu);
    if (group == static_cast<TKSN_LayerGroup*>(Project->MapLayers)) UpdateMapLayersMenu(group, menu);
    menu->Popup(node, node->AbsX + event->GetX(), node->AbsY + event->GetY());
}

// 7
void OpenNewLayerDialog(TQOREvent* event)
{
    TKSN_LayerGroup* group = EventGroup(event);
    if (!group) return;
    CurrentLayerGroupID = group->GetID();
    KSN_NewLayerThingy()->SetName("%s", "New Layer");
    TKSN_MainWindow* w = GetMainWindow();
    if (w && w->RenameWindow)
        w->RenameWindow->Execute(KSN_NewLayerThingy(), "", 8, -1, IsGenericLayerNameUnique, Lang.GetText(1332),
                                 nullptr, Temp_KestruneEvents_CommandCB);
}

// 8
void CreateDefinition()
{
    TKSN_LayerGroup* group = GroupOf(CurrentLayerGroupID);
    if (!group) return;
    TKSN_MainWindow* w = GetMainWindow();
    const char* typed = w && w->RenameWindow ? w->RenameWindow->NameField->EditField->GetText() : nullptr;
    TKSN_LayerDefinition* d = group->CreateNewLayer();
    if (!d) return;
    d->SetName("%s", typed ? typed : KSN_NewLayerThingy()->GetName());
    group->SetCurrentLayer(d);
    SelectAlone(group, d);
    Finish();
}

// 9
void RenameDefinition(TKSN_LayerDefinition* d)
{
    CurrentLayerGroupID = d->GetOwnerGroupID();
    TKSN_MainWindow* w = GetMainWindow();
    if (w && w->RenameWindow) w->RenameWindow->Execute(d, "", 436, -1, IsGenericLayerNameUnique, nullptr, nullptr);
}

// 10
void DeleteHighlighted(TKSN_LayerDefinition* owner)
{
    TKSN_LayerGroup* group = GroupOf(owner);
    if (!group) return;
    const std::vector<TKSN_LayerDefinition*> doomed = Highlighted(group);
    if (doomed.empty()) return;
    if (!OS.MessageYesNo("%s", "Are you sure that you want to delete the layer(s)? This cannot be undone.")) return;
    Project->EmptyUndoStack();
    Project->EmptyRedoStack();
    for (TKSN_LayerDefinition* d : doomed) DeleteDefinition(group, d);
    for (TQORMaterialMapSource* map : Maps()) map->InvalidateResolvedMap();
    for (TKSN_Object* object : [] {
             std::vector<TKSN_Object*> out;
             std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
             if (list)
                 for (TKSN_Object* o : *list) out.push_back(o);
             return out;
         }())
        if (object && object->Mesh && Project->CanAffectObject(object)) object->Mesh->InvalidateAllInOSpace();
    auto* maps = static_cast<TKSN_LayerGroup*>(Project->MapLayers);
    if (maps && maps->GetAllLayers().empty()) {
        for (TQORMaterialMapSource* map : Maps()) {
            map->InvalidateResolvedMap();
            FillRGB(*map, SecondaryColour());
            map->GetAlphaMask().SetDimensions(0, 0, 1);
        }
    }
    Finish();
}

// 11. The dropped definition lands directly after its target, the target's
// index taken after the removal; dropped on the one just before it, the two
// swap.
void Reorder(TKSN_LayerDefinition* target, TQOREvent* event)
{
    const char* payload = event->GetStringParameter(0);
    if (!payload) return;
    std::istringstream words(payload);
    std::string keyword;
    unsigned long id = 0;
    if (!(words >> keyword >> id) || QORstrcmpi(keyword.c_str(), "GenericLayer") != 0) return;
    auto* dropped = dynamic_cast<TKSN_LayerDefinition*>(__GetThingyFromID(uint32_t(id)));
    TKSN_LayerGroup* group = GroupOf(target);
    if (!dropped || !group || dropped == target || dropped->GetOwnerGroupID() != target->GetOwnerGroupID()) return;
    TKSN_TreeGroup* holder = Holder(group->GetRootLayerGroup(), target);
    if (!holder || holder != Holder(group->GetRootLayerGroup(), dropped)) return;
    auto& list = *holder->items;
    const int t = list.Find(target), d = list.Find(dropped);
    list.Delete(d);
    const int after = list.Find(target);
    int at = d == t + 1 ? after : after + 1;
    at = std::clamp(at, 0, list.Count());
    list.Insert(at, dropped);
    Project->ClearManagerSelections(nullptr);
    SelectAlone(group, dropped);
    group->InvalidateAllLayers();
    Resolve(dropped);
    Finish();
}

// 13
void RemoveLayerDataFromMaps()
{
    for (TKSN_LayerDefinition* d : Highlighted(static_cast<TKSN_LayerGroup*>(Project->MapLayers)))
        for (TQORMaterialMapSource* map : Maps())
            if (map->multiSelected) {
                d->RemoveLayerDataSet(map->GetID());
                map->InvalidateResolvedMap();
            }
    Finish();
}

// 14
void ClearMapLayers()
{
    const bool alt = OS.IsAltHeld();
    for (TKSN_LayerDefinition* d : Highlighted(static_cast<TKSN_LayerGroup*>(Project->MapLayers)))
        for (TQORMaterialMapSource* map : Maps()) {
            TQORMaterialMapSource* layerMap = map->GetMapLayer(d, alt);
            if (!layerMap) continue;
            Project->SetupUndoForMapEdit(layerMap, false);
            if (alt) {
                FillRGB(*layerMap, SecondaryColour());
                FillAlpha(layerMap, 255);
            } else {
                FillAlpha(layerMap, 0);
            }
            map->InvalidateResolvedMap();
        }
    Project->OnAllViewportsChanged();
}

// 15
void MergeVisible()
{
    auto* group = static_cast<TKSN_LayerGroup*>(Project->MapLayers);
    if (!group) return;
    std::vector<TKSN_LayerDefinition*> visible;
    for (TKSN_LayerDefinition* d : group->GetAllLayers())
        if (!d->IsHidden()) visible.push_back(d);
    if (visible.empty()) return;
    if (!OS.MessageYesNo("%s", "Are you sure that you want to merge the layer(s)? This cannot be undone.")) return;
    Project->EmptyUndoStack();
    Project->EmptyRedoStack();
    for (TKSN_LayerDefinition* d : visible) DeleteDefinition(group, d);
    TKSN_LayerDefinition* merged = group->CreateNewLayer();
    if (!merged) return;
    merged->SetName("%s", "Merged Layers");
    Project->ClearManagerSelections(nullptr);
    group->SetCurrentLayer(merged);
    SelectAlone(group, merged);
    for (TQORMaterialMapSource* map : Maps()) {
        TQORMaterialMapSource* layerMap = map->GetMapLayer(merged, true);
        if (!layerMap) continue;
        layerMap->TQORImageMap::Copy(map);
        layerMap->GetAlphaMask().Copy(&map->GetAlphaMask());
    }
    Finish();
}

} // namespace

TKSN_Thingy* KSN_NewLayerThingy()
{
    if (!NewLayerThingy) NewLayerThingy = new TKSN_Thingy();
    return NewLayerThingy;
}

TGui_Menu* KSN_LayerGroupMenu()
{
    TKSN_MainWindow* w = GetMainWindow();
    if (!w) return nullptr;
    auto* menu = GroupMenuID ? dynamic_cast<TGui_Menu*>(__GetThingyFromID(GroupMenuID)) : nullptr;
    if (!menu || menu->GetMaster() != w) {
        menu = new TGui_Menu(w);
        if (!menu->IsRegisteredForLookup()) menu->RegisterForLookup();
        GroupMenuID = menu->GetID();
    }
    return menu;
}

TQOREvent* NEW_GENERIC_LAYER_EVENT(TKSN_LayerDefinition* definition, int operation, TKSN_LayerGroup* group)
{
    auto* event = new TQOREvent(Temp_KestruneEvents_CommandCB, 0, operation);
    if (definition) event->SetOwner(definition);
    if (group) {
        if (!group->IsRegisteredForLookup()) group->RegisterForLookup();
        event->intParameters[0] = int32_t(group->GetID());
    }
    return event;
}

bool Temp_KestruneEvents_CommandCB(TQOREvent* event)
{
    if (!event || !Project) return true;
    const int operation = event->GetCommand();
    TKSN_LayerDefinition* d = DefinitionOf(event);
    switch (operation) {
    case 0:
    case 1:
        if (d && GroupOf(d)) Select(d, GroupOf(d), operation == 0);
        break;
    case 2:
        if (d && GroupOf(d)) {
            if (!d->multiSelected) RunNow(d, 1, GroupOf(d));
            for (TKSN_LayerDefinition* h : Highlighted(EventGroup(event))) {
                h->SetCurrentBlendType(event->GetIndex());
                h->ResolveInvalidData();
            }
            Finish();
        }
        break;
    case 3:
        if (d) CycleState(d, event);
        break;
    case 4:
        if (d) Strength(d, event);
        break;
    case 5: ContextMenu(d, event); break;
    case 6:
        if (d)
            OS.Message("Layer = %s", d->GetName());
        else
            OS.Message("%s", "Layer = NULL");
        break;
    case 7: OpenNewLayerDialog(event); break;
    case 8: CreateDefinition(); break;
    case 9:
        if (d) RenameDefinition(d);
        break;
    case 10:
        if (d) DeleteHighlighted(d);
        break;
    case 11:
        if (d) Reorder(d, event);
        break;
    case 13: RemoveLayerDataFromMaps(); break;
    case 14: ClearMapLayers(); break;
    case 15: MergeVisible(); break;
    default: break;
    }
    return true;
}
