// The main window's fixed keyboard shortcuts: invisible hot-key nodes under
// the main window, each holding a key, a modifier mask and the event that a
// match pushes. Earlier nodes shadow later ones with the same key, so the
// order of creation is part of the table.
#pragma once

class TQOREvent;

// TODO(stub): the command callbacks of the extrude and subdivide modelling
// tools (command 1 extrude / subdivide the selection, 3 the current object,
// 4 every object that can be changed) until the modelling tools exist.
bool KSN_ExtrudeModeler_CommandCB(TQOREvent* event);
bool KSN_SubdivideModeler_CommandCB(TQOREvent* event);
