// The view-navigation history: undo and redo of view changes (orientation,
// look-at point, zoom, automatic view) per viewport, and the copy and paste
// of views between viewports (the navigator's commands 536257-536262).
//
// Entries refer to their viewport by object ID; an entry whose viewport is
// gone is skipped. Each stack keeps its newest 100 entries. Main thread only.
#pragma once

#include <cstdint>

class TKSN_Viewport;
class TQOREvent;

// One view of one viewport.
struct TKSN_NavNode {
    uint32_t ViewportID = 0;
    float Rotation[16] = {};
    float DefaultRotation[16] = {};
    float LookAt[3] = {};
    float Zoom = 1.0f;
    bool AutoView = false;
    int32_t CopyViewportIndex = -1;
};

// Pushes the viewport's current view onto the undo stack (and empties the
// redo stack); nothing for null.
void NavSetupUndo(TKSN_Viewport* viewport);
// Empties the undo and redo stacks.
void NavCleanStacks();
// The newest undo or redo entry, or null.
TKSN_NavNode* NavPeekUndoNode();
TKSN_NavNode* NavPeekRedoNode();
// 536257 copy all four views, 536258 paste them, 536259 copy the current
// viewport's view, 536260 paste it into the current viewport, 536261 undo,
// 536262 redo. False when there was nothing to do.
bool KSN_NavigatorCommandsCB(TQOREvent* event);
