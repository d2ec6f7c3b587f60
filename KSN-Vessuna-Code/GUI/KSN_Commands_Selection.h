// The selection commands (225-258) and the layer commands (315-348), routed
// here by the central dispatcher. Kestrune_Events_SelectionCB and
// Kestrune_Events_LayerCB are declared in KestruneEvents.h.
// Sources:
//   KSN_Commands_Selection.cpp         the handler, presets and folders, hiding and locking
//   KSN_Commands_SelectionWeights.cpp  the weight operations (236, 238, 243-247, 252-257)
//   KSN_Commands_Layer.cpp             the polygon-layer commands
#pragma once

// The weight commands of the selection range; false for any other id.
bool KSN_SelectionWeightCommand(int id);
