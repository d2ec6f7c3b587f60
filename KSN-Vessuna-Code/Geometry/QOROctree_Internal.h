// Box tests shared by the octree sources of this folder.
//
// TODO(stub): these stand for Kestrune_BoxCollision3, Kestrune_BoxPointCollision3
// and Kestrune_BoxCollision of the viewport subsystem (Render), which sits above
// geometry; once that exists the octree code calls them instead. They live in
// a namespace of their own so that the real ones cannot clash with them.
#pragma once

namespace QOROctreeBoxes {

// Whether two 3D boxes overlap; touching counts.
inline bool BoxCollision3(const float* aMin, const float* aMax, const float* bMin, const float* bMax)
{
    for (int i = 0; i < 3; ++i)
        if (aMax[i] < bMin[i] || bMax[i] < aMin[i]) return false;
    return true;
}

// Whether the point lies in the box, each face moved out by 1e-30.
inline bool BoxPointCollision3(const float* p, const float* min, const float* max)
{
    for (int i = 0; i < 3; ++i)
        if (p[i] < min[i] - 1e-30f || p[i] > max[i] + 1e-30f) return false;
    return true;
}

// Whether two boxes overlap in x and y (touching counts), the first grown by
// dx and dy on each side; z is not looked at.
inline bool BoxCollision(const float* aMin, const float* aMax, const float* bMin, const float* bMax, float dx = 0,
                         float dy = 0)
{
    if (aMax[0] + dx < bMin[0] || bMax[0] < aMin[0] - dx) return false;
    if (aMax[1] + dy < bMin[1] || bMax[1] < aMin[1] - dy) return false;
    return true;
}

} // namespace QOROctreeBoxes
