// Box tests as the octree sources of this folder call them: thin names over
// the shared tests of KSN_GeometryTests.h.
#pragma once

#include "KSN_GeometryTests.h"

namespace QOROctreeBoxes {

inline bool BoxCollision3(const float* aMin, const float* aMax, const float* bMin, const float* bMax)
{
    return Kestrune_BoxCollision3(aMin, aMax, bMin, bMax);
}

inline bool BoxPointCollision3(const float* p, const float* min, const float* max)
{
    return Kestrune_BoxPointCollision3(p, min, max);
}

inline bool BoxCollision(const float* aMin, const float* aMax, const float* bMin, const float* bMax, float dx = 0,
                         float dy = 0)
{
    return Kestrune_BoxCollision(aMin, aMax, bMin, bMax, dx, dy);
}

} // namespace QOROctreeBoxes
