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

// Moves one texture vertex toward the average of its neighbouring texture
// vertices in copy (those across an edge of a polygon around it with the same
// seam flag): new = weight x average + (1 - weight) x old. A service of the
// modelling tools, used by the texture-coordinate smoothing command.
class TKSN_Mesh;
void Smooth_TVertex(TKSN_Mesh* mesh, int textureVertex, float weight, float* copy, bool* seam);

// The frame scope of deformations (command 119): 0 the current frame only,
// 1 current and future, 2 current and past, 3 all frames.
extern int KSN_DeformationFrameScope;

// The paint timing test's totals (command 155); never reset.
extern int PaintTimeTest_TotalMS;
extern int PaintTimeTest_TotalCount;
