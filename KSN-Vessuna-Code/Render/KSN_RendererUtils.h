// Small services the renderer shares with its neighbours: the background
// checkerboard, the crawling marquee line of the selection and shape brushes,
// the octree direction test, the per-row paint mutexes and the choice of the
// polygon layer whose colour a polygon shows.
//
// The checkerboard and the marquee run on the main thread (OpenGL); the
// direction test is pure and runs anywhere. PaintScanlineMutexes is sized by
// the touch-up brush before its paint threads start on a map and never while
// any of them holds a row.
#pragma once

#include <cstdint>
#include <mutex>

#include "QORGL.h"

class TKSN_Layer;
class TKSN_MeshRoot;

// [SECTION] Background checkerboard

// 8 × 8 RGB pixels, rows of 24 bytes: pixel (x, y) is colour 2 when x + y is
// even, colour 1 when odd, each channel scaled by 0.25 × brightness + 0.75.
extern uint8_t BackgroundPattern[8 * 8 * 3];
extern bool BackgroundPatternInitialized;
extern GLuint BackgroundPatternGLTexture;   // 0: none

void SetupBackgroundPatternIfNecessary();
// The next render builds the pattern and its texture again (the background
// colours or the brightness changed, another viewport became current, a
// project was loaded).
void InvalidateBackgroundPattern();

// [SECTION] Marquee

// a, b: x, y, z in the pixels of a width × height viewport. The caller has set
// up a pixel projection and begun GL_POINTS. Nothing is drawn in the outer
// one-pixel frame; the first point's colour is random so the dashes crawl.
void Rasterize_Line_For_SelectionOverlay_Marquee_With_GL_Points(const float* a, const float* b, int width,
                                                                 int height, unsigned char alpha);

// [SECTION] Octree direction test

// True when polygons whose normals lie in [normalMin, normalMax] may face
// along direction (towards the viewer). The box, depth and eye arguments are
// not used (callers pass none).
bool TestOctreeNodeAgaistDirectionVector(float* normalMin, float* normalMax, float* boxMin, float* boxMax, int depth,
                                         float* direction, float* eye);

// [SECTION] Per-row paint mutexes

class TKSN_ScanlineMutexes {
public:
    TKSN_ScanlineMutexes() = default;
    ~TKSN_ScanlineMutexes();
    TKSN_ScanlineMutexes(const TKSN_ScanlineMutexes&) = delete;
    TKSN_ScanlineMutexes& operator=(const TKSN_ScanlineMutexes&) = delete;

    // Makes the table hold height mutexes; the same height keeps the existing
    // ones. Must not run while a row is held.
    void SetHeight(int height);
    std::mutex& Row(int row) { return RowMutexes[row]; }

    std::mutex* RowMutexes = nullptr;   // RowCount mutexes in a QORalloc block
    int32_t RowCount = 0;
};

extern TKSN_ScanlineMutexes PaintScanlineMutexes;
void InitPaintScanlineMutexes(int height);

// [SECTION] Polygon layer of a polygon

// The project's polygon layer whose colour the polygon shows: the highest
// locked layer holding it, else the current layer when it holds it, else the
// highest layer holding it, else layer 0. Null when the project has no layers.
TKSN_Layer* ChoosePolygonLayer(TKSN_MeshRoot* mesh, int polygon);
