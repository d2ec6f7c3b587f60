// Point-to-segment distance, free-hand point-in-polygon and the packing
// bins; see KSN_GeometryTests.h (the box tests are inline there).
#include "KSN_GeometryTests.h"

#include <cmath>
#include <utility>

float KSN_PointLineSegmentDistance_Last_t = 0.0f;

// ============================================================================
// [SECTION] Point to segment
// ============================================================================

namespace {
float Length3(const float* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
} // namespace

float KSN_PointLineSegmentDistance(const float* p, const float* a, const float* b, float* closest)
{
    const float d[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
    const float pa[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
    const float pb[3] = {p[0] - b[0], p[1] - b[1], p[2] - b[2]};
    const float dLen = Length3(d);
    const float paLen = Length3(pa);
    const float pbLen = Length3(pb);
    if (dLen < 1e-30f) {
        KSN_PointLineSegmentDistance_Last_t = 0.0f;
        return paLen;
    }
    if (paLen < 1e-30f) {
        KSN_PointLineSegmentDistance_Last_t = 0.0f;
        return 0.0f;
    }
    if (pbLen < 1e-30f) {
        KSN_PointLineSegmentDistance_Last_t = 1.0f;
        return 0.0f;
    }
    // The projection onto the whole direction: a parameter measured along one
    // axis alone would call a point beside the segment "past its end" and
    // split edges at the wrong place.
    const float dd = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
    const float t = (pa[0] * d[0] + pa[1] * d[1] + pa[2] * d[2]) / dd;
    KSN_PointLineSegmentDistance_Last_t = t;
    if (t > 0.0f && t < 1.0f) {
        const float c[3] = {pa[1] * d[2] - pa[2] * d[1], pa[2] * d[0] - pa[0] * d[2], pa[0] * d[1] - pa[1] * d[0]};
        if (closest)
            for (int i = 0; i < 3; ++i) closest[i] = a[i] + t * d[i];
        return Length3(c) / dLen;
    }
    if (paLen < pbLen) {
        if (closest)
            for (int i = 0; i < 3; ++i) closest[i] = a[i];
        return paLen;
    }
    if (closest)
        for (int i = 0; i < 3; ++i) closest[i] = b[i];
    return pbLen;
}

// ============================================================================
// [SECTION] Free-hand path
// ============================================================================

bool KSN_Freehand_PointInsidePolygon(const TKSN_FreehandPoint* points, int count, const float* p, float& minDist)
{
    if (count <= 0 || !points) return false;
    double winding = 0.0;
    for (int i = 0; i < count; ++i) {
        const TKSN_FreehandPoint& p0 = points[i];
        const TKSN_FreehandPoint& p1 = points[(i + 1) % count];
        const float ex = p1.x - p0.x, ey = p1.y - p0.y;
        const float ox = p[0] - p0.x, oy = p[1] - p0.y;
        const float e2 = ex * ex + ey * ey;
        float o = ox * ex + oy * ey;
        float dist;
        if (o <= 0.0f) {
            dist = ox * ox + oy * oy;
        } else if (o >= e2) {
            const float qx = p1.x - p[0], qy = p1.y - p[1];
            dist = qx * qx + qy * qy;
        } else {
            o = e2 > 1e-30f ? o / e2 : 0.0f;
            const float qx = p0.x + o * ex - p[0], qy = p0.y + o * ey - p[1];
            dist = qx * qx + qy * qy;
        }
        if (dist < minDist) minDist = dist;

        double angle = std::atan2(double(p1.y) - p[1], double(p1.x) - p[0]) -
                       std::atan2(double(p0.y) - p[1], double(p0.x) - p[0]);
        while (angle > 3.141592653589793) angle -= 6.283185307;
        while (angle < -3.141592653589793) angle += 6.283185307;
        winding += angle;
    }
    return winding >= 3.141592653589793 || winding <= -3.141592653589793;
}

// ============================================================================
// [SECTION] Packing bins
// ============================================================================

void TBin::Init()
{
    for (int i = 0; i < 3; ++i) {
        TMin[i] = 1e30f;
        TMax[i] = -1e30f;
        SMin[i] = 1e30f;
        SMax[i] = -1e30f;
    }
    Ints[0] = 0;
    Ints[1] = -1;
    Ints[2] = 0;
    Ints[3] = 0;
    Index = -1;
    Area = 0.0f;
    Weight = 0.0f;
    for (uint32_t& f : Further) f = 0;
    ScaleU = ScaleV = ScaleW = 1.0f;
    Count = 0;
}

int CompareBins(void* bins, int i, int j)
{
    const TBin* b = static_cast<const TBin*>(bins);
    const float diff = b[i].ScaleU - b[j].ScaleU;
    if (std::fabs(diff) < 1e-6f) return 0;
    return diff > 0.0f ? -1 : 1;
}

void SwapBins(void* bins, int i, int j)
{
    TBin& a = static_cast<TBin*>(bins)[i];
    TBin& b = static_cast<TBin*>(bins)[j];
    for (int k = 0; k < 3; ++k) {
        std::swap(a.TMin[k], b.TMin[k]);
        std::swap(a.TMax[k], b.TMax[k]);
    }
    std::swap(a.ScaleU, b.ScaleU);
    std::swap(a.ScaleV, b.ScaleV);
    std::swap(a.ScaleW, b.ScaleW);
    std::swap(a.Area, b.Area);
    std::swap(a.Weight, b.Weight);
    std::swap(a.Index, b.Index);
    std::swap(a.Count, b.Count);
}
