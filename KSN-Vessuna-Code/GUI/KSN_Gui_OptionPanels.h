// The tool tab's option panels below the current tool's parameters:
// "Control", "Paint", "Mirror and Symmetry", "Tablet" and "Mouse Wheel".
// Each builder appends one collapsible panel to the parent; its widgets hold
// no values but are bound to live interface variables or commands, and the
// whole tab is rebuilt (command 431) whenever what they should offer changes.
#pragma once

#include <cstdint>

class TGui_Node;
class TGui_CollapsiblePanel;

// The remembered folded state of the tool tab's option panels, flipped by
// their title bars through the dispatcher's commands 130 to 136 (index:
// command - 130). The "Mirror and Symmetry" panel keeps its state in the
// project (SymmetryPanelCollapsed) instead.
extern bool KSN_OptionPanelCollapsed[7];

void SetupCullingPanel(TGui_Node* parent);
void SetupPaintPanel(TGui_Node* parent);
void SetupSymmetricOptions(TGui_Node* parent);
void SetupTabletPanel(TGui_Node* parent);
// Always null; builds nothing without a current tool.
TGui_Node* SetupMouseWheelPanel(TGui_Node* parent);

// The builders in the tab's order (the paint panel only for a paint brush);
// clears and records the main window's panel IDs.
void KSN_AppendOptionPanels(TGui_Node* parent, bool paintBrush);
