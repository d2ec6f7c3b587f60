// The layer commands 315-348 on the project's 32 polygon layers: creating,
// renaming, deleting and assigning layers (315-330), and their states,
// display flags, colours and menus (331-348).
//
// Layer 0 is "All Polygons", 1..29 the user layers (the enabled ones always
// packed at 1..n), 30 the "Hidden Layer", 31 the "Locked Layer"; layer n owns
// bit (n - 1) mod 32 of a polygon's layer mask.
//
// Index:
//   [SECTION] Shared notions
//   [SECTION] Creating, deleting and assigning   315-330
//   [SECTION] States, flags and menus            331-348
//   [SECTION] Handler
#include "KSN_Commands_Selection.h"
#include "KSN_Commands_Selection_Internal.h"

#include "GuiButton.h"
#include "GuiEditField.h"
#include "GuiMenu.h"
#include "KSN_Gui_LayerWindow.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Tool.h"
#include "KSN_Viewport.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"
#include "QORMaterial.h"

#include <cmath>
#include <string>
#include <vector>

using namespace ksn_selection_cmd;

namespace {

// [SECTION] Shared notions

constexpr int LastUserLayer = 29;
// The polygon-flag mark that the rebuild of a mesh's selected lists sets on
// the polygons it counts as selected (weight above 0.0499, in vertex
// selection through a corner).
constexpr uint32_t PolygonSelectedMark = 0x20000;

TKSN_Layer* Layer(int n) { return (n >= 0 && n < 32) ? Project->PolygonLayers[n] : nullptr; }
uint32_t Bit(int n) { return 1u << ((n + 31) % 32); }
bool Enabled(int n) { return Layer(n) && Layer(n)->IsEnabled(); }
bool HighlightedLayer(int n) { return Enabled(n) && Layer(n)->multiSelected; }
int CurrentIndex()
{
    TKSN_Layer* current = Project->GetCurrentLayer();
    for (int n = 0; n < 32; ++n)
        if (Layer(n) == current) return n;
    return 0;
}

// The bit of base plus, for a user layer, the bits of the enabled highlighted
// user layers; count receives how many of those there are.
uint32_t HighlightedMask(int base, int* count)
{
    uint32_t mask = Bit(base);
    int n = 0;
    if (base >= 1 && base <= LastUserLayer)
        for (int k = 1; k <= LastUserLayer; ++k)
            if (HighlightedLayer(k)) {
                mask |= Bit(k);
                ++n;
            }
    if (count) *count = n;
    return mask;
}

TKSN_LayerWindow* LayerWindow()
{
    TKSN_MainWindow* w = GetMainWindow();
    return w ? w->LayerWindow : nullptr;
}
void RefreshLayerWindow()
{
    if (TKSN_LayerWindow* window = LayerWindow()) window->Update();
}

void AfterLayerAssignment()
{
    Project->SetFlashLayerColors();
    Project->UpdateLockedLayers();
    Project->UpdateVisibleLayers();
    Project->OnShapeChanged(true, true);
}

bool ValidTarget(TQOREvent* event)
{
    const int index = event->GetIndex();
    if (index < 0 || index > 31) return false;
    return !Layer(index)->IsBuiltIn || event->intParameters[0] == 1;
}

// [SECTION] Creating, deleting and assigning

// 316
bool CreateLayer()
{
    TKSN_MainWindow* w = GetMainWindow();
    const char* typed = w && w->RenameWindow ? w->RenameWindow->NameField->EditField->GetText() : nullptr;
    const std::string name = typed ? typed : KSN_NewLayerThingy()->GetName();
    int slot = 0;
    for (int n = 1; n <= LastUserLayer && !slot; ++n)
        if (!Enabled(n)) slot = n;
    if (!slot) {
        OS.WarningMessageNoRepeat(Lang.GetText(1336), 30);
        return false;
    }
    for (TKSN_Object* object : ObjectsWhere(HasMesh)) Project->SetupUndoForLayerAssignments(object, Lang.GetText(1332));
    Project->SetupUndoForLayerStates(nullptr);
    TKSN_Layer* layer = Layer(slot);
    layer->SetEnabled(true);
    for (int n = 0; n <= LastUserLayer; ++n) Layer(n)->multiSelected = false;
    Project->ChangeLayer(slot, false);
    layer->SetName("%s", name.c_str());
    layer->Locked = false;
    layer->DisplayFlags &= ~TKSN_Layer::Hidden;
    Project->GetNewLayerColor(layer->Color);
    OS.PrintMessage(Lang.GetText(1337), layer->GetName());
    Project->AddCurrentSelectionToLayer(layer, true, false, nullptr);
    QOREvents_PushEvent(436);
    return true;
}

// 317
bool RenameFirstHighlighted()
{
    TKSN_MainWindow* w = GetMainWindow();
    for (int n = 1; n <= LastUserLayer; ++n)
        if (HighlightedLayer(n)) {
            if (w && w->RenameWindow)
                w->RenameWindow->Execute(Layer(n), Layer(n)->GetName(), 436, -1, nullptr, nullptr, nullptr);
            break;
        }
    return true;
}

// 318
bool StartCreatingLayer()
{
    char name[KSN_NAME_BUFFER] = {};
    GetUniqueLayerName("New Layer", name);
    TKSN_Thingy* placeholder = KSN_NewLayerThingy();
    placeholder->SetName("%s", name);
    TKSN_MainWindow* w = GetMainWindow();
    if (w && w->RenameWindow)
        w->RenameWindow->Execute(placeholder, "", 316, -1, IsLayerNameUnique, Lang.GetText(1332), nullptr);
    return true;
}

// 319 (materials), 320 (polygon groups)
bool LayersToEntries(bool groups)
{
    std::vector<int> collected;
    int highlighted = 0;
    for (int n = 1; n <= LastUserLayer && Enabled(n); ++n) {
        collected.push_back(n);
        highlighted += Layer(n)->multiSelected ? 1 : 0;
    }
    if (!highlighted) {
        OS.WarningMessageNoRepeat("%s", "Please highlight at least one layer in the layer manager");
        return false;
    }
    for (int n : collected) {
        const uint32_t bit = Bit(n);
        for (TKSN_Object* object : ObjectsWhere(HasMesh)) {
            TKSN_Mesh* mesh = object->Mesh.get();
            bool any = false;
            for (int p = 0; p < mesh->GetPCount() && !any; ++p) any = mesh->TestPolyLayerFlag(p, bit);
            if (any) {
                int entry = -1;
                if (groups) {
                    if (!mesh->Groups2) mesh->Groups2 = new TQORGroup2List();
                    for (int i = 0; i < mesh->Groups2->GetItemCount() && entry < 0; ++i)
                        if (TKSN_Thingy* item = mesh->Groups2->GetItem(i))
                            if (QORstrcmpi(item->GetName(), Layer(n)->GetName()) == 0) entry = i;
                    if (entry < 0) {
                        auto* group = new TQORGroup2();
                        group->SetName("%s", Layer(n)->GetName());
                        entry = mesh->Groups2->GetItemCount();
                        group->Index = entry;
                        mesh->Groups2->AddItem(group);
                    }
                } else {
                    if (!mesh->Materials) mesh->Materials = new TQORMaterialList();
                    for (int i = 0; i < mesh->Materials->GetItemCount() && entry < 0; ++i)
                        if (TKSN_Thingy* item = mesh->Materials->GetItem(i))
                            if (QORstrcmpi(item->GetName(), Layer(n)->GetName()) == 0) entry = i;
                    if (entry < 0) {
                        auto* material = new TQORMaterial();
                        material->SetName("%s", Layer(n)->GetName());
                        entry = mesh->Materials->GetItemCount();
                        mesh->Materials->AddItem(material);
                    }
                }
                for (int p = 0; p < mesh->GetPCount(); ++p)
                    if (mesh->TestPolyLayerFlag(p, bit)) {
                        if (groups)
                            mesh->Polygons[p].Group = int16_t(entry);
                        else
                            mesh->Polygons[p].Material = int16_t(entry);
                    }
            }
            if (groups) mesh->ResolveGroupVertexMaps();
        }
    }
    QOREvents_PushEvent(299);
    QOREvents_PushEvent(432);
    return true;
}

// Moves every layer above k down one slot and every polygon's bits with it.
void DeleteLayerSlot(int k)
{
    for (int i = k; i < LastUserLayer; ++i) {
        Layer(i)->Copy(Layer(i + 1));
        Layer(i)->SetEnabled(Layer(i + 1)->IsEnabled());
        Layer(i)->multiSelected = Layer(i + 1)->multiSelected;
    }
    Layer(LastUserLayer)->SetEnabled(false);
    Layer(LastUserLayer)->multiSelected = false;
    const uint32_t keep = (1u << (k - 1)) - 1;         // bits below k - 1
    const uint32_t userBits = (1u << LastUserLayer) - 1;   // bits 0..28
    for (TKSN_Object* object : ObjectsWhere(HasMesh)) {
        TKSN_Mesh* mesh = object->Mesh.get();
        for (int p = 0; p < mesh->GetPCount(); ++p) {
            const uint32_t flags = mesh->Polygons[p].LayerFlags;
            const uint32_t above = (flags & userBits & ~keep) >> 1 & ~keep;
            mesh->Polygons[p].LayerFlags = (flags & ~userBits) | (flags & keep) | (above & userBits);
        }
    }
}

// 321
bool DeleteLayers()
{
    const int current = CurrentIndex();
    if (current == 0 || current >= 30) {
        OS.WarningMessage("%s", Lang.GetText(1338));
        return false;
    }
    for (TKSN_Object* object : ObjectsWhere(HasMesh)) Project->SetupUndoForLayerAssignments(object, Lang.GetText(1334));
    Project->SetupUndoForLayerStates(nullptr);
    DeleteLayerSlot(current);
    for (;;) {
        int next = 0;
        for (int n = 1; n <= LastUserLayer && !next; ++n)
            if (HighlightedLayer(n)) next = n;
        if (!next) break;
        DeleteLayerSlot(next);
    }
    Project->ChangeLayer(0, false);
    return true;
}

// 322, 323
bool MakeCurrent(TQOREvent* event, bool layerBrush)
{
    const bool changed = Project->ChangeLayer(event->GetIndex(), false) != 0;
    if (!layerBrush) {
        if (changed) RefreshLayerWindow();
        return true;
    }
    if (App && App->layerBrushTool && App->currentTool != App->layerBrushTool) {
        TKSN_Mesh* mesh = Project->GetPolyMesh();
        if (App->currentTool) App->currentTool->OnDeactivate(mesh);
        App->previousTool = App->currentTool;
        App->currentTool = App->layerBrushTool;
        App->currentTool->OnActivate(mesh);
    }
    RefreshLayerWindow();
    if (TKSN_MainWindow* w = GetMainWindow()) w->UpdateTool();
    return true;
}

// 324
bool AddSelection(TQOREvent* event)
{
    if (!ValidTarget(event)) {
        OS.PrintMessage("%s", Lang.GetText(1086));
        return false;
    }
    const char* label = event->GetStringParameter(0);
    Project->AddCurrentSelectionToLayer(Layer(event->GetIndex()), true, true, label ? label : "");
    return true;
}

// 325
bool ClearLayer(TQOREvent* event)
{
    if (!ValidTarget(event)) {
        OS.Message("%s", Lang.GetText(1086));
        return false;
    }
    TKSN_Layer* layer = Layer(event->GetIndex());
    const char* given = event->GetStringParameter(0);
    const std::string label = given && given[0] ? std::string(given)
                                                : QORFormat("Removing all polygons from the layer %s", layer->GetName());
    const uint32_t bit = Bit(event->GetIndex());
    for (TKSN_Object* object : ObjectsWhere(HasMesh)) {
        Project->SetupUndoForLayerAssignments(object, label.c_str());
        TKSN_Mesh* mesh = object->Mesh.get();
        for (int p = 0; p < mesh->GetPCount(); ++p) mesh->Polygons[p].LayerFlags &= ~bit;
    }
    AfterLayerAssignment();
    return true;
}

// 326
bool RemoveSelection(TQOREvent* event)
{
    if (!ValidTarget(event)) {
        OS.PrintMessage("%s", Lang.GetText(1086));
        return false;
    }
    const int index = event->GetIndex();
    int highlighted = 0;
    uint32_t mask = Bit(CurrentIndex());
    if (index >= 1 && index <= LastUserLayer)
        for (int k = 1; k <= LastUserLayer; ++k)
            if (HighlightedLayer(k)) {
                mask |= Bit(k);
                ++highlighted;
            }
    int total = 0, changed = 0;
    for (TKSN_Object* object : ObjectsWhere(HasSelection)) {
        TKSN_Mesh* mesh = object->Mesh.get();
        Project->SetupUndoForLayerAssignments(object, nullptr);
        total += mesh->GetSelectedVertexCount();
        mesh->SelectedListsValid = false;
        mesh->BuildSelectedVerticesAndPolygons2(true, false);
        for (int i = 0; i < mesh->SelectedPolygonCount; ++i) {
            const int p = mesh->SelectedPolygons[i];
            if (!(mesh->PolygonFlags[p] & PolygonSelectedMark) || !(mesh->Polygons[p].LayerFlags & mask)) continue;
            mesh->Polygons[p].LayerFlags &= ~mask;
            ++changed;
        }
    }
    if (!changed)
        OS.WarningMessageNoRepeat("%s", Lang.GetText(total > 0 && OS.IsShiftHeld() ? 1185 : 1184));
    else if (highlighted < 2)
        OS.PrintMessage(Lang.GetText(1345), Layer(index)->GetName());
    else
        OS.PrintMessage(Lang.GetText(1346), highlighted);
    AfterLayerAssignment();
    return true;
}

// 327 (add), 328 (remove)
bool WholeObjects(bool add)
{
    const int current = CurrentIndex();
    if (current == 0) return false;
    int highlighted = 0;
    uint32_t mask = HighlightedMask(current, &highlighted);
    if (!add) mask &= ~Bit(current);
    int objects = 0;
    const uint32_t currentObject = Project->GetCurrentObject() ? Project->GetCurrentObject()->GetID() : 0;
    for (TKSN_Object* object : ObjectsWhere(HasMesh)) {
        if (object->GetID() != currentObject && !object->multiSelected) continue;
        ++objects;
        Project->SetupUndoForLayerAssignments(object, nullptr);
        TKSN_Mesh* mesh = object->Mesh.get();
        for (int p = 0; p < mesh->GetPCount(); ++p) {
            if (add)
                mesh->Polygons[p].LayerFlags |= mask;
            else
                mesh->Polygons[p].LayerFlags &= ~mask;
        }
        if (!add) mesh->SelectedListsValid = false;
    }
    OS.PrintMessageNoRepeat(Lang.GetText(add ? 1348 : 1349), objects, highlighted);
    AfterLayerAssignment();
    return true;
}

// 329 (select), 330 (unselect)
bool SelectLayers(bool select)
{
    if (select) Project->BeforeSelect(Lang.GetText(711));
    const int current = CurrentIndex();
    if (current == 0) {
        QOREvents_PushEvent(select ? 236 : 237);
        return true;
    }
    if (!select) Project->BeforeSelect(Lang.GetText(711));
    int highlighted = 0;
    const uint32_t mask = HighlightedMask(current, &highlighted);
    const float value = select ? 1.0f : 0.0f;
    const int type = SelectionType();
    for (TKSN_Object* object : ObjectsWhere(Affectable)) {
        TKSN_Mesh* mesh = object->Mesh.get();
        for (int p = 0; p < mesh->GetPCount(); ++p) {
            if (!PolygonEditable(mesh, p) || !(mesh->Polygons[p].LayerFlags & mask)) continue;
            if (type == 0) {
                const TQORPolygon& polygon = mesh->Polygons[p];
                for (int c = 0; c < polygon.Count; ++c)
                    mesh->SetVSelect(mesh->GetEffectiveVertex(polygon.Points[c].V), value);
            } else if (type == 1) {
                mesh->Polygons[p].Select = value;
            }
        }
    }
    OS.PrintMessageNoRepeat(Lang.GetText(select ? 1350 : 1351), highlighted);
    Project->AfterFullSelection(false);
    Project->SetFlashLayerColors();
    return true;
}

// [SECTION] States, flags and menus

void ToggleFlags(TKSN_Layer* layer, uint32_t bits)
{
    if (layer->DisplayFlags & bits)
        layer->DisplayFlags &= ~bits;
    else
        layer->DisplayFlags |= bits;
}

// 338
bool ToggleDisplayFlags(TQOREvent* event)
{
    const uint32_t bits = uint32_t(event->intParameters[0]);
    auto* owner = dynamic_cast<TKSN_Layer*>(__GetThingyFromID(event->GetOwnerID()));
    if (owner && event->intParameters[1] != 0) {
        ToggleFlags(owner, bits);
    } else {
        for (int n = 1; n <= LastUserLayer; ++n)
            if (HighlightedLayer(n)) ToggleFlags(Layer(n), bits);
    }
    Project->UpdateVisibleLayers();
    RefreshLayerWindow();
    return true;
}

// 339-341
bool ToggleViewportFlag(TQOREvent* event, uint32_t bit, int nameText)
{
    auto* viewport = dynamic_cast<TKSN_Viewport*>(__GetThingyFromID(event->GetOwnerID()));
    if (!viewport) viewport = Project->GetCurrentViewport();
    if (!viewport) return true;
    TKSN_Layer& display = viewport->layer;
    display.DisplayFlags ^= bit;
    OS.PrintMessageNoRepeat("%s - %s", Lang.GetText(nameText), Lang.GetText((display.DisplayFlags & bit) ? 1463 : 1464));
    Project->OnFullSurfaceChanged();
    if (bit == TKSN_Layer::UseLighting)
        Project->OnSingleViewportChanged(viewport);
    else
        Project->OnAllViewportsChanged();
    return true;
}

enum class TLayerState { Visible, Locked, Hidden };

TLayerState StateOf(TKSN_Layer* layer)
{
    if (layer->Locked) return TLayerState::Locked;
    if (layer->IsHidden()) return TLayerState::Hidden;
    return TLayerState::Visible;
}

void TakeState(TKSN_Layer* layer, TLayerState state)
{
    layer->Locked = state == TLayerState::Locked;
    layer->DisplayFlags &= ~TKSN_Layer::Hidden;
    if (state == TLayerState::Hidden) layer->DisplayFlags |= TKSN_Layer::Hidden;
}

// 342
bool CycleState()
{
    TKSN_Layer* current = Project->GetCurrentLayer();
    if (!current) return false;
    Project->SetupUndoForLayerStates(Lang.GetText(1322));
    const TLayerState old = StateOf(current);
    const TLayerState next = old == TLayerState::Locked   ? TLayerState::Hidden
                             : old == TLayerState::Hidden ? TLayerState::Visible
                                                          : TLayerState::Locked;
    TakeState(current, next);
    const int currentIndex = CurrentIndex();
    for (int n = 1; n <= LastUserLayer; ++n) {
        if (n == currentIndex) continue;
        if (currentIndex == 0 || Layer(n)->multiSelected) TakeState(Layer(n), next);
    }
    Project->UpdateLockedLayers();
    Project->UpdateVisibleLayers();
    Project->OnShapeChanged(true, true);
    if (next != TLayerState::Hidden) Project->SetFlashLayerColors();
    RefreshLayerWindow();
    return true;
}

// 343
bool ToggleHidden(TQOREvent* event)
{
    if (!Project->GetPolyMesh()) return false;
    Project->ChangeLayer(event->GetIndex(), false);
    TKSN_Layer* layer = Project->GetCurrentLayer();
    if (!layer) return false;
    layer->DisplayFlags ^= TKSN_Layer::Hidden;
    Project->UpdateVisibleLayers();
    Project->OnShapeChanged(true, true);
    RefreshLayerWindow();
    Project->SetFlashLayerColors();
    return true;
}

// 344
bool PickColour(TQOREvent* event)
{
    if (!Project->GetPolyMesh()) return false;
    Project->ChangeLayer(event->GetIndex(), false);
    TKSN_Layer* layer = Project->GetCurrentLayer();
    if (!layer) return false;
    float picked[3] = {layer->Color[0], layer->Color[1], layer->Color[2]};
    if (OS.ExecuteColorDialog(picked, layer->Color)) {
        Project->SetupUndoForLayerStates(Lang.GetText(658));
        for (int c = 0; c < 3; ++c) layer->Color[c] = picked[c];
        RefreshLayerWindow();
        const float length = std::sqrt(picked[0] * picked[0] + picked[1] * picked[1] + picked[2] * picked[2]);
        if (length < 0.6f) OS.WarningMessage("%s", Lang.GetText(1330));
    }
    Project->SetFlashLayerColors();
    Project->OnFullSurfaceChanged();
    return true;
}

// 345
bool RenameFromField(TQOREvent* event)
{
    if (!Project->GetPolyMesh()) return false;
    auto* field = dynamic_cast<TGui_EditField*>(__GetThingyFromID(event->GetOwnerID()));
    if (!field) return true;
    Project->ChangeLayer(event->GetIndex(), false);
    TKSN_Layer* layer = Project->GetCurrentLayer();
    if (!layer) return false;
    const char* text = field->GetText();
    layer->SetName("%s", text ? text : "");
    return true;
}

void PopUpFromDispatcher(TQOREvent* event)
{
    if (auto* button = dynamic_cast<TGui_Button*>(__GetThingyFromID(event->dispatcherID))) {
        button->PopupMouseButton = -1;
        button->DoPopupMenu();
    }
}

// 346
bool PopUpDisplayMenu(TQOREvent* event)
{
    auto* menu = dynamic_cast<TGui_Menu*>(__GetThingyFromID(uint32_t(event->intParameters[0])));
    if (!menu) {
        OS.ErrorMessage("%s", "LayerDisplayMenu = NULL in eSetupLayerDisplayMenu");
        return true;
    }
    if (event->GetIndex() != -1) Project->ChangeLayer(event->GetIndex(), false);
    if (auto* layer = dynamic_cast<TKSN_Layer*>(__GetThingyFromID(uint32_t(event->intParameters[1]))))
        SetupDisplayMenu(menu, layer, true, false);
    PopUpFromDispatcher(event);
    return true;
}

// 347
bool PopUpOperationsMenu(TQOREvent* event)
{
    Project->ChangeLayer(event->GetIndex(), false);
    if (TKSN_LayerWindow* window = LayerWindow()) window->SetupOperationsMenu();
    PopUpFromDispatcher(event);
    return true;
}

} // namespace

// [SECTION] Handler

bool Kestrune_Events_LayerCB(TQOREvent* event)
{
    if (!event || !Project) return false;
    switch (event->GetCommand()) {
    case 316: return CreateLayer();
    case 317: return RenameFirstHighlighted();
    case 318: return StartCreatingLayer();
    case 319: return LayersToEntries(false);
    case 320: return LayersToEntries(true);
    case 321: return DeleteLayers();
    case 322: return MakeCurrent(event, true);
    case 323: return MakeCurrent(event, false);
    case 324: return AddSelection(event);
    case 325: return ClearLayer(event);
    case 326: return RemoveSelection(event);
    case 327: return WholeObjects(true);
    case 328: return WholeObjects(false);
    case 329: return SelectLayers(true);
    case 330: return SelectLayers(false);
    case 337: return Project->GetPolyMesh() != nullptr;
    case 338: return ToggleDisplayFlags(event);
    case 339: return ToggleViewportFlag(event, TKSN_Layer::WireFrameOverlay, 724);
    case 340: return ToggleViewportFlag(event, TKSN_Layer::VertexOverlay, 726);
    case 341: return ToggleViewportFlag(event, TKSN_Layer::UseLighting, 1216);
    case 342: return CycleState();
    case 343: return ToggleHidden(event);
    case 344: return PickColour(event);
    case 345: return RenameFromField(event);
    case 346: return PopUpDisplayMenu(event);
    case 347: return PopUpOperationsMenu(event);
    default: return false;
    }
}
