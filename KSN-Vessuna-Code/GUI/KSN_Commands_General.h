// The dispatcher's own commands (ids 1-14 and 117-181): tab switching,
// start-up, window resizing, the symmetry switches, background colours,
// undo and redo, returning to earlier tools, welding and the rest.
#pragma once

class TQOREvent;

bool Kestrune_Events_GeneralCB(TQOREvent* event);

// The viewports' two background colours (application settings); the
// defaults are the toolkit's two background colours.
extern float KSN_BackgroundColor1[3];
extern float KSN_BackgroundColor2[3];

// The paint timing test's totals (command 155); never reset.
extern int PaintTimeTest_TotalMS;
extern int PaintTimeTest_TotalCount;
