// What the project's map management asks of the application object and the
// viewports. The application header and the mesh header each declare their
// own selection-type enum, so the map code reaches the application through
// these few functions (KSN_Project_Maps_App.cpp) instead of its header.
#pragma once

#include <string>

class TKSN_Viewport;

// Frees the application's large temporary buffers; nothing without one.
void KSN_MapsApp_CleanTemporaryMemory();
// The save-dialog filter of every exportable image type, the one at
// CurrentIndexForMultiFileDialog first.
std::string KSN_MapsApp_ExportImageFilter();
// The folder the map save dialogs open in ("" without an application).
std::string KSN_MapsApp_ExportPath();
// Sets CurrentIndexForMultiFileDialog, the type the next filter lists first.
void KSN_MapsApp_SetDialogTypeIndex(int index);
// Every viewport's rendered scene must be rendered again.
void KSN_MapsApp_InvalidateRenderedScenes();
// The material channel the viewport shows ("Color" by default); null for none.
const char* KSN_MapsApp_ViewportChannelName(TKSN_Viewport* viewport);
