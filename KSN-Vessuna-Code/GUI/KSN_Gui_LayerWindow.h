// TKSN_LayerWindow: the "Layers" manager. Two collapsible panels: "Display
// Groups", one row per enabled polygon layer 0..29, and "Image Maps", one row
// per definition of the project's map-layer group.
//
// The rows are rebuilt from the document on every Update, so they hold no
// state of their own; highlighting lives in each layer's multiSelected flag.
// The polygon-layer rows raise the click callbacks below and the commands 342
// (state) and 344 (colour); the map-layer rows raise operation events for
// Temp_KestruneEvents_CommandCB, which never pass the central dispatcher.
// Sources:
//   KSN_Gui_LayerWindow.cpp      the window, its rows, clicks and menus
//   KSN_Gui_LayerWindow_Ops.cpp  the operations 0-15 on layer groups
//
// Main thread only.
#pragma once

#include "GuiWindow.h"

#include <cstdint>

class TGui_Menu;
class TGui_CollapsiblePanel;
class TKSN_LayerDefinition;
class TKSN_LayerGroup;
class TQOREvent;
class TQORThingy;

class TKSN_LayerWindow : public TGui_Window {
public:
    explicit TKSN_LayerWindow(TGui_Node* parent);
    ~TKSN_LayerWindow() override;

    // Creates the two panels once and refills both.
    void Update();
    // Rebuilds the operations menu for the current polygon layer.
    void SetupOperationsMenu();

    TGui_Menu* OperationsMenu = nullptr;   // a top-level node of the master
};

// The two panels of the (one) layer window; created by its first Update.
extern TGui_CollapsiblePanel* DisplayLayersPanel;
extern TGui_CollapsiblePanel* ImageMapLayersPanel;
// The layer group the rename window works on for a map layer (0: none).
extern uint32_t CurrentLayerGroupID;

TGui_CollapsiblePanel* CreateLayerPanel(const char* caption, TGui_Node* parent);
void UpdateDisplayLayers(TGui_Node* panel);
void UpdateGenericLayers(TGui_Node* panel, TKSN_LayerGroup* group);
void UpdateGenericMenu(TKSN_LayerGroup* group, TGui_Menu* menu);
void UpdateMapLayersMenu(TKSN_LayerGroup* group, TGui_Menu* menu);
bool IsGenericLayerNameUnique(const char* name, TQORThingy* thingy, char* message);

bool LeftClickLayerCB(TQOREvent* event);
bool RightClickLayerCB(TQOREvent* event);
bool LeftClickLayerStateButtonCB(TQOREvent* event);
bool RightClickLayerWindowCB(TQOREvent* event);
bool OnClickingLayer(TQOREvent* event, bool makeCurrent);

// The map-layer operations (0-15) and their event builder; the widget that
// receives the event owns it.
TQOREvent* NEW_GENERIC_LAYER_EVENT(TKSN_LayerDefinition* definition, int operation, TKSN_LayerGroup* group);
bool Temp_KestruneEvents_CommandCB(TQOREvent* event);
// The layer-group context menu (a top-level menu of the main window's master).
TGui_Menu* KSN_LayerGroupMenu();
// The placeholder that carries a new layer's name through the rename window.
class TKSN_Thingy* KSN_NewLayerThingy();
