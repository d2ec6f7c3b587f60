// Small geometric tests shared by many subsystems: overlap of axis-aligned
// boxes, the distance from a point to a line segment, the free-hand
// point-in-polygon test and the packing-bin record with its sort callbacks.
//
// The box tests count touching boxes as overlapping, and a comparison with a
// NaN never rejects, so a box with an undefined corner is never culled away.
// Boxes are given as separate minimum and maximum corners (3 floats each for
// the 3D tests, the first 2 for the 2D ones).
//
// KSN_PointLineSegmentDistance leaves the segment parameter of its last call
// in a global: main thread only, read it right after the call.
#pragma once

#include <cstdint>

// Inline: the octree build tests every vertex against the cells on its way
// down. Written as "reject when greater", so a NaN, which compares false,
// never rejects.
inline bool Kestrune_BoxCollision3(const float* aMin, const float* aMax, const float* bMin, const float* bMax)
{
    for (int i = 0; i < 3; ++i)
        if (aMin[i] > bMax[i] || bMin[i] > aMax[i]) return false;
    return true;
}

// Whether p lies in the box, each face moved out by 1e-30.
inline bool Kestrune_BoxPointCollision3(const float* p, const float* min, const float* max)
{
    for (int i = 0; i < 3; ++i)
        if (p[i] > max[i] + 1e-30f || p[i] < min[i] - 1e-30f) return false;
    return true;
}

// The first box grown by dx horizontally and dy vertically on each side; x and y only.
inline bool Kestrune_BoxCollision(const float* aMin, const float* aMax, const float* bMin, const float* bMax, float dx,
                                  float dy)
{
    if (aMin[0] - dx > bMax[0] || bMin[0] > aMax[0] + dx) return false;
    if (aMin[1] - dy > bMax[1] || bMin[1] > aMax[1] + dy) return false;
    return true;
}

inline bool Kestrune_BoxCollision(const float* aMin, const float* aMax, const float* bMin, const float* bMax)
{
    return Kestrune_BoxCollision(aMin, aMax, bMin, bMax, 0.0f, 0.0f);
}

// The segment parameter of the last KSN_PointLineSegmentDistance call:
// (p − a)·d / |d|², unclamped (below 0 before a, above 1 past b). Callers
// clamp it to 0..1 when they use it as a split position.
extern float KSN_PointLineSegmentDistance_Last_t;

// Distance from p to the segment a–b (3 floats each). closest, when given,
// receives the nearest point of the segment (left untouched when p sits on an
// end point or the segment has no length).
float KSN_PointLineSegmentDistance(const float* p, const float* a, const float* b, float* closest);

// One point of a free-hand path, in normalised view coordinates (−1..1).
struct TKSN_FreehandPoint {
    float x = 0.0f;
    float y = 0.0f;
};

// Whether the 2D point p lies inside the closed path (winding angle at least
// π). Lowers minDist to the smallest squared distance from p to the path; the
// caller initialises it.
bool KSN_Freehand_PointInsidePolygon(const TKSN_FreehandPoint* points, int count, const float* p, float& minDist);

// One packing bin (a polygon group) of the automatic UV layout and the
// single-skin merge. A plain record: the users fill it after Init.
struct TBin {
    void* Pointer;
    float TMin[3];          // texture-space box
    float TMax[3];
    float SMin[3];          // space box
    float SMax[3];
    int32_t Ints[4];
    int32_t Index;          // initial position in the array
    float Area;             // surface of the space box
    float Weight;
    uint32_t Further[6];
    float ScaleU, ScaleV, ScaleW;   // ScaleU is the sort key
    uint32_t Reserved[3];
    int32_t Count;

    void Init();
};

// QORQuickSort callbacks over an array of TBin: falling ScaleU (values within
// 1e-6 compare equal). SwapBins exchanges the texture box, the scales, the
// area, the weight, the index and the count; the other fields stay put.
int CompareBins(void* bins, int i, int j);
void SwapBins(void* bins, int i, int j);
