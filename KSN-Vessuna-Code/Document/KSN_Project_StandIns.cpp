// TODO(stub): the least stand-ins for the parts of the project that later
// subsystems build: brush shapes, the paint overlay and brush tiling. Each
// function here answers as a project without that subsystem does; its owner
// replaces it with the real code in its own source and deletes it here.
#include "KSN_Project.h"

#include "KSN_Project_Internal.h"

// TODO(stub): brush shapes; nothing is loaded yet.
bool TKSN_Project::LoadBrushShapeFromFile(const char*) { return false; }

// TODO(stub): brush tiling.
void TKSN_Project::BeforeConsiderTiling(TKSN_Viewport*) {}

// TODO(stub): the paint overlay and brush footprint.
void TKSN_Project::InvalidateOverlay() { BrushShapeValid = false; }
void TKSN_Project::SetupOverlayAndBrushShape(TKSN_Viewport*, float, float) {}
