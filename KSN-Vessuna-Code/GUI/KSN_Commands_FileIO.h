// The model, set, map-file and brush-file commands of the file range
// (366, 367, 370-372, 374-376, 381-383, 385-399, 401, 404, 405), which the
// file command handler hands on. Each returns the command's result in
// `result` and answers whether the id was one of them.
#pragma once

#include <string>
#include <vector>

class TQOREvent;
class TQORMaterialMapSource;

bool KSN_ModelFileCommand(TQOREvent* event, bool& result);
bool KSN_SetFileCommand(TQOREvent* event, bool& result);
bool KSN_MapFileCommand(TQOREvent* event, bool& result);

// The file name of a MOR pose file's twin, which hides the morph channel
// again: "Smile.pz2" gives "Smile_REM.pz2", "ArmMor.PZ2" gives "ArmREM.PZ2".
std::string KSN_MakeREMTwinName(const char* path);

// The layer-set library folder ("<main folder>Layer Sets/") and its index.
std::string KSN_GetLayerSetLibraryFolder();
std::string KSN_GetLayerSetLibraryIndex();

// 366 (brush image, `shape` false) and 367 (brush shape): asks for an image
// file and loads it; false when the dialog is cancelled.
bool KSN_LoadBrushFileCommand(bool shape);

// Places a library pop-up opened at (x, y) inside a main window W x H: the
// pop-up (w x h) keeps its right edge inside and its bottom edge 10 pixels
// above the window's.
void KSN_ClampPopupPosition(int& x, int& y, int W, int H, int w, int h);

// The maps highlighted in the project's maps tree, in pre-order.
std::vector<TQORMaterialMapSource*> KSN_HighlightedTreeMaps();
