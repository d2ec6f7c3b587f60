// The Maps tab: one 90 x 90 thumbnail per paintable map of the project, in
// a wrapping grid. Highlights live in the project's map tree and survive
// rebuilds; thumbnails live until the next Update.
#pragma once

class TQOREvent;

// A click on a thumbnail: highlights the map (ID slot 1) in the map tree;
// false when it is gone.
bool ClickMapCB(TQOREvent* event);
// A right click: highlights an unhighlighted map first (a highlighted one
// keeps the multi-selection; the empty area changes nothing), then opens the
// maps menu at the mouse. False without a dispatching node.
bool RightClickMapCB(TQOREvent* event);
