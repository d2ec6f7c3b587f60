// The layer window: construction, the rows of both panels, the clicks on
// polygon-layer rows and the layer menus (see KSN_Gui_LayerWindow.h).
#include "KSN_Gui_LayerWindow.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "GuiGauge.h"
#include "GuiMenu.h"
#include "GuiPanel.h"
#include "GuiText.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Layer.h"
#include "KSN_MapLayer.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"
#include "QORGL.h"

#include <string>

TGui_CollapsiblePanel* DisplayLayersPanel = nullptr;
TGui_CollapsiblePanel* ImageMapLayersPanel = nullptr;
uint32_t CurrentLayerGroupID = 0;

namespace {

constexpr float HighlightColor[3] = {1.0f, 1.0f, 0.0f};   // the multi-selected item colour
constexpr int RowWidth = 230, RowHeight = 22;

TGui_Menu* OperationsMenuOf(TKSN_LayerWindow* window) { return window ? window->OperationsMenu : nullptr; }

TQOREvent* LayerEvent(TQOREventFunction callback, TKSN_Thingy* owner, int index, int command = -1)
{
    auto* event = new TQOREvent(callback, 0, command);
    event->SetOwner(owner);
    event->SetIndex(index);
    return event;
}

// The node's own surface colour (both ends of its gradient).
void Paint(TGui_Node* node, const float* rgb)
{
    for (int c = 0; c < 3; ++c) node->BackgroundColor[c] = node->BackgroundColorB[c] = rgb[c];
}

void SetHighlight(TGui_Node* node) { Paint(node, HighlightColor); }

TGui_Button* AddStateButton(TGui_Node* row, bool locked, bool hidden)
{
    auto* state = new TGui_Button(row);
    state->AutoSize = false;
    state->SetSize(20, 20);
    state->SetPosition(4, 0);
    state->SetHint("%s", Lang.GetText(698));
    state->SetGraphic(QORglut_Textures_GetTextureFromList(locked ? "Lock_icon" : hidden ? "noVis" : "Vis"));
    state->SetName(locked ? "L" : " ", false);
    return state;
}

TGui_Node* AddRow(TGui_Node* panel, bool highlighted, bool current)
{
    auto* row = new TGui_Button(panel);
    row->AutoSize = false;
    row->SetName("", false);
    row->SetSize(RowWidth - 2 * panel->MarginX, RowHeight);
    row->SetHint("%s", panel->GetHint());
    if (highlighted) SetHighlight(row);
    if (current) {
        TGui_Node* marker = row->AddNode("", 4, RowHeight);
        marker->ShowName = false;
        marker->SetPosition(0, 0);
        static constexpr float Red[3] = {1.0f, 0.0f, 0.0f};
        Paint(marker, Red);
    }
    return row;
}

// Every enabled user layer; the walk relies on their packing at 1..n.
void SelectLayerRange(int from, int to)
{
    if (from > to) std::swap(from, to);
    for (int n = 1; n <= 29; ++n) {
        TKSN_Layer* layer = Project->PolygonLayers[n];
        if (layer->IsEnabled()) layer->multiSelected = n >= from && n <= to;
    }
}

int IndexOfLayer(TKSN_Thingy* thingy)
{
    for (int n = 0; n < 32; ++n)
        if (Project->PolygonLayers[n] == thingy) return n;
    return -1;
}

} // namespace

// [SECTION] Window

TKSN_LayerWindow::TKSN_LayerWindow(TGui_Node* parent) : TGui_Window(parent)
{
    SetName(Lang.GetText(524), true);
    SetHint("%s", Lang.GetText(525));
    if (TitleBar) {
        TitleBar->SetHint("%s", Lang.GetText(525));
        if (TitleBar->CloseButton) TitleBar->CloseButton->Hide();
    }
    CreateVerticalScrollBar();
    MarginX = MarginY = 0;
    OperationsMenu = new TGui_Menu(GetMaster() ? static_cast<TGui_Node*>(GetMaster()) : parent);
    if (parent) Y = parent->Height * 3 / 4;
    RightClickEvent = new TQOREvent(RightClickLayerWindowCB, 0, -1);
    RightClickEvent->SetOwner(this);
}

TKSN_LayerWindow::~TKSN_LayerWindow()
{
    // The panels are children of this window and go with it.
    DisplayLayersPanel = nullptr;
    ImageMapLayersPanel = nullptr;
}

TGui_CollapsiblePanel* CreateLayerPanel(const char* caption, TGui_Node* parent)
{
    auto* panel = new TGui_CollapsiblePanel(parent);
    panel->SetName(caption, true);
    panel->SetSize(parent ? parent->Width : RowWidth, 20);
    panel->AddTitleBar();
    if (panel->TitleBar) panel->TitleBar->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 436);
    panel->Collapse();
    return panel;
}

namespace {

void RefillPanel(TGui_CollapsiblePanel* panel, TKSN_LayerWindow* window, bool maps)
{
    panel->Width = window->Width;
    panel->Empty();
    if (maps)
        UpdateGenericLayers(panel, Project ? static_cast<TKSN_LayerGroup*>(Project->MapLayers) : nullptr);
    else
        UpdateDisplayLayers(panel);
    if (!panel->IsCollapsed()) {
        panel->UpdateSize();
        int bottom = 0;
        for (TGui_Node* c = panel->FirstChild; c; c = c->Next) bottom = std::max(bottom, c->Y + c->Height);
        panel->SetSize(window->Width, bottom + 20);
    }
}

} // namespace

void TKSN_LayerWindow::Update()
{
    if (!DisplayLayersPanel) DisplayLayersPanel = CreateLayerPanel("Display Groups", this);
    if (!ImageMapLayersPanel) ImageMapLayersPanel = CreateLayerPanel("Image Maps", this);
    RefillPanel(DisplayLayersPanel, this, false);
    RefillPanel(ImageMapLayersPanel, this, true);
}

// [SECTION] Polygon-layer rows

void UpdateDisplayLayers(TGui_Node* panel)
{
    if (!panel || !Project) return;
    panel->MarginX = panel->MarginY = 0;
    TKSN_Layer* current = Project->GetCurrentLayer();
    current->multiSelected = true;
    int y = 0;
    for (int n = 0; n <= 29; ++n) {
        TKSN_Layer* layer = Project->PolygonLayers[n];
        if (!layer || !layer->IsEnabled()) continue;
        TGui_Node* row = AddRow(panel, layer->multiSelected, layer == current);
        row->SetPosition(0, y);
        y += RowHeight;
        row->ClickEvent = LayerEvent(LeftClickLayerCB, layer, n);
        row->RightClickEvent = LayerEvent(RightClickLayerCB, layer, n);

        TGui_Button* state = AddStateButton(row, layer->Locked, layer->IsHidden());
        state->ClickEvent = LayerEvent(LeftClickLayerStateButtonCB, layer, n);

        auto* name = new TGui_Text(row);
        name->SetName(layer->GetName(), true);
        name->SetSize(158, name->Height);
        name->SetPosition(24, 4);
        name->SetHint("%s", Lang.GetText(699));
        name->ClickEvent = LayerEvent(LeftClickLayerCB, layer, n);
        name->RightClickEvent = LayerEvent(RightClickLayerCB, layer, n);
        if (layer->multiSelected) SetHighlight(name);

        auto* colour = new TGui_Button(row);
        colour->AutoSize = false;
        colour->SetName("", false);
        colour->SetSize(20, 20);
        colour->SetPosition(182, 0);
        colour->SetHint("%s", Lang.GetText(700));
        Paint(colour, layer->Color);
        colour->ClickEvent = LayerEvent(KestruneEvents_CommandCB, nullptr, n, 344);
    }
}

// [SECTION] Map-layer rows

void UpdateGenericLayers(TGui_Node* panel, TKSN_LayerGroup* group)
{
    if (!panel) return;
    panel->MarginX = panel->MarginY = 0;
    delete panel->RightClickEvent;
    panel->RightClickEvent = NEW_GENERIC_LAYER_EVENT(nullptr, 5, group);
    if (!group) return;
    auto* current = dynamic_cast<TKSN_LayerDefinition*>(__GetThingyFromID(group->GetCurrentLayerID()));
    const std::vector<TKSN_LayerDefinition*> all = group->GetAllLayers();
    if (!current && !all.empty()) {
        current = all.front();
        group->SetCurrentLayer(current);
    }
    if (all.empty()) {
        panel->AddText(Lang.GetText(1640), 4, 24, Lang.GetText(1641));
        panel->SetHint("%s", Lang.GetText(1641));
        return;
    }
    int y = 0;
    for (TKSN_LayerDefinition* definition : all) {
        TGui_Node* row = AddRow(panel, definition->multiSelected, definition == current);
        row->SetPosition(0, y);
        y += RowHeight;
        row->ClickEvent = NEW_GENERIC_LAYER_EVENT(definition, 0, group);
        row->RightClickEvent = NEW_GENERIC_LAYER_EVENT(definition, 5, group);
        row->DragDropEvent = NEW_GENERIC_LAYER_EVENT(definition, 11, group);
        row->Draggable = true;
        std::snprintf(row->DragDropString, sizeof row->DragDropString, "GenericLayer %u", definition->GetID());

        TGui_Button* state = AddStateButton(row, definition->IsLocked(), definition->IsHidden());
        state->ClickEvent = NEW_GENERIC_LAYER_EVENT(definition, 3, group);

        auto* name = new TGui_Text(row);
        name->SetName(definition->GetName(), true);
        name->SetSize(100, name->Height);
        name->SetPosition(24, 4);
        name->SetHint("%s", Lang.GetText(699));
        name->ClickEvent = NEW_GENERIC_LAYER_EVENT(definition, 0, group);
        name->RightClickEvent = NEW_GENERIC_LAYER_EVENT(definition, 5, group);
        if (definition->multiSelected) SetHighlight(name);

        if (definition->GetBlendTypeCount() > 0) {
            auto* blend = new TGui_DropDownBox(row);
            blend->SetSize(50, 16);
            blend->SetPosition(124, 0);
            char text[64] = {};
            for (int b = 0; b < definition->GetBlendTypeCount(); ++b) {
                definition->GetBlendTypeName(b, text);
                TQOREvent* choose = NEW_GENERIC_LAYER_EVENT(definition, 2, group);
                choose->SetIndex(b);
                blend->AddItem(text, choose, nullptr);
            }
            definition->GetCurrentBlendTypeNameShort(text);
            if (blend->Caption) blend->Caption->SetName(text, true);
        }

        auto* strength = new TGui_Gauge(row);
        strength->Minimum = 100.0f * definition->GetMinStrength();
        strength->Maximum = 100.0f * definition->GetMaxStrength();
        strength->SetSize(45, strength->Height);
        strength->SetPosition(174, 0);
        strength->SetHint("%s", Lang.GetText(408));
        strength->FloatVariableEvent = NEW_GENERIC_LAYER_EVENT(definition, 4, group);
    }
}

// [SECTION] Clicks on polygon-layer rows

bool OnClickingLayer(TQOREvent* event, bool makeCurrent)
{
    if (!event || !Project) return false;
    auto* clicked = dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(event->GetOwnerID()));
    if (!clicked) return false;
    const int index = IndexOfLayer(clicked);
    TKSN_Layer* all = Project->PolygonLayers[0];
    TKSN_MainWindow* w = GetMainWindow();
    const bool alt = w ? w->IsAltHeld() : false;
    const bool shift = w ? w->IsShiftHeld() : false;

    if (index == 0) {
        for (int n = 1; n <= 29; ++n) Project->PolygonLayers[n]->multiSelected = false;
        all->multiSelected = OS.IsAltHeld() ? !all->multiSelected : true;
        Project->ChangeLayer(event->GetIndex(), false);
        QOREvents_PushEvent(436);
        return true;
    }

    all->multiSelected = false;
    const int current = Project->CurrentLayerIndex;
    if (current == 0 || index < 0) {
        SelectLayerRange(index, index);
    } else if (shift) {
        SelectLayerRange(current, index);
    } else if (alt) {
        clicked->multiSelected = !clicked->multiSelected;
    } else {
        SelectLayerRange(index, index);
    }

    int highlighted = 0;
    for (int n = 1; n <= 29; ++n)
        if (Project->PolygonLayers[n]->IsEnabled() && Project->PolygonLayers[n]->multiSelected) ++highlighted;
    if (makeCurrent && index >= 0 && highlighted <= 1 && clicked->multiSelected) Project->ChangeLayer(index, false);

    Project->GetCurrentLayer()->multiSelected = true;
    QOREvents_PushEvent(436);
    return true;
}

bool LeftClickLayerCB(TQOREvent* event) { return OnClickingLayer(event, true); }

namespace {

void PopUpLayersMenu(TQOREvent* event)
{
    TKSN_MainWindow* w = GetMainWindow();
    auto* node = dynamic_cast<TGui_Node*>(__GetThingyFromID(event->dispatcherID));
    if (!w || !node) return;
    w->UpdateLayersMenu();
    if (w->LayersMenu) w->LayersMenu->Popup(node, node->AbsX + event->GetX(), node->AbsY + event->GetY());
}

} // namespace

bool RightClickLayerCB(TQOREvent* event)
{
    if (!event) return false;
    const bool result = OnClickingLayer(event, false);
    if (!__GetThingyFromID(event->dispatcherID)) return false;
    PopUpLayersMenu(event);
    return result;
}

bool LeftClickLayerStateButtonCB(TQOREvent* event)
{
    if (!event) return true;
    auto* layer = dynamic_cast<TKSN_Thingy*>(__GetThingyFromID(event->GetOwnerID()));
    if (layer && !layer->multiSelected) OnClickingLayer(event, true);
    QOREvents_PushEvent(342);
    return true;
}

bool RightClickLayerWindowCB(TQOREvent* event)
{
    if (event) PopUpLayersMenu(event);
    return true;
}

// [SECTION] Menus

void TKSN_LayerWindow::SetupOperationsMenu()
{
    TGui_Menu* menu = OperationsMenuOf(this);
    if (!menu || !Project) return;
    menu->Empty();
    TKSN_Layer* current = Project->GetCurrentLayer();
    if (!current) return;
    const int index = Project->CurrentLayerIndex;
    auto item = [menu](int text, int hint, int command, int layerIndex) {
        auto* event = new TQOREvent(KestruneEvents_CommandCB, 0, command);
        event->SetIndex(layerIndex);
        menu->AddTextItem(Lang.GetText(text), event, Lang.GetText(hint));
    };
    if (!current->IsBuiltIn) {
        item(703, 704, 324, index);
        item(705, 706, 326, index);
        menu->AddTextItem("-", nullptr, nullptr);
        item(707, 708, 327, -1);
        item(709, 710, 328, -1);
        menu->AddTextItem("-", nullptr, nullptr);
    }
    item(711, 712, 329, -1);
    item(713, 714, 330, -1);
}

void UpdateGenericMenu(TKSN_LayerGroup* group, TGui_Menu* menu)
{
    if (!menu) return;
    menu->Empty();
    if (!group) return;
    TKSN_LayerGroup* top = group->GetRootLayerGroup() ? group->GetRootLayerGroup() : group;
    auto* current = dynamic_cast<TKSN_LayerDefinition*>(__GetThingyFromID(top->GetCurrentLayerID()));
    if (!current) {
        current = top->GetFirstLayer();
        if (current) top->SetCurrentLayer(current);
    }
    if (current) {
        menu->AddText(QORFormat(Lang.GetText(1331), current->GetName()).c_str(), 0, 0, nullptr);
        menu->AddTextItem("-", nullptr, nullptr);
    }
    const bool anyHighlighted = top->GetSelectedCount(true, false) > 0;
    menu->AddTextItem(Lang.GetText(1332), NEW_GENERIC_LAYER_EVENT(current, 7, group), nullptr);
    TGui_MenuText* rename = menu->AddTextItem(Lang.GetText(222), NEW_GENERIC_LAYER_EVENT(current, 9, group), nullptr);
    TGui_MenuText* remove =
        menu->AddTextItem(Lang.GetText(1334), NEW_GENERIC_LAYER_EVENT(current, 10, group), Lang.GetText(1335));
    if (rename) rename->SetEnabled(anyHighlighted);
    if (remove) remove->SetEnabled(anyHighlighted);
    menu->AddTextItem("-", nullptr, nullptr);
}

void UpdateMapLayersMenu(TKSN_LayerGroup* group, TGui_Menu* menu)
{
    if (!menu || !Project) return;
    bool anyVisible = false;
    if (auto* maps = static_cast<TKSN_LayerGroup*>(Project->MapLayers))
        for (TKSN_LayerDefinition* d : maps->GetAllLayers()) anyVisible = anyVisible || !d->IsHidden();
    TGui_MenuText* merge = menu->AddTextItem(Lang.GetText(1638), NEW_GENERIC_LAYER_EVENT(nullptr, 15, group),
                                             Lang.GetText(1639));
    if (merge) merge->SetEnabled(anyVisible);
}

bool IsGenericLayerNameUnique(const char* name, TQORThingy* thingy, char* /*message*/)
{
    auto* group = dynamic_cast<TKSN_LayerGroup*>(__GetThingyFromID(CurrentLayerGroupID));
    if (!group || !name) return true;
    for (TKSN_LayerDefinition* d : group->GetAllLayers())
        if (d != thingy && d->IsEnabled() && QORstrcmpi(d->GetName(), name) == 0) return false;
    return true;
}
