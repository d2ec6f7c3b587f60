#include "KSN_RasterizeTriangle.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

void TKSN_RasterizeTriangle::ResetVertices()
{
    for (int k = 0; k < 3; ++k) {
        for (float& v : Vertex[k]) v = 1.0f;
        for (float& v : UV[k]) v = 1.0f;
        for (float& v : Color[k]) v = 1.0f;
        Light[k] = 1.0f;
    }
}

void TKSN_RasterizeTriangle::InitAll()
{
    Width = RowLength = Height = 0;
    DestPixels = SourcePixels = UnlitPixels = ShadePixels = nullptr;
    BytesPerPixel = 0;
    DepthBuffer = nullptr;
    PolygonIndex = TriangleIndex = 0;
    ColorMap = nullptr;
    ColorMapWidth = ColorMapHeight = ColorMapBytesPerPixel = 0;
    AlphaMap = nullptr;
    AlphaMapWidth = AlphaMapHeight = 0;
    ExtendEdges = false;
    ClipRowFirst = 0;
    ClipRowEnd = INT32_MAX;
    ResetVertices();
}

void TKSN_RasterizeTriangle::InitPoly(int polygon)
{
    PolygonIndex = polygon;
    TriangleIndex = 0;
    ResetVertices();
}

void TKSN_RasterizeTriangle::InitTriangle(int triangle)
{
    TriangleIndex = triangle;
    ResetVertices();
}

void TKSN_RasterizeTriangle::AssignVertices3(const float* p0, const float* p1, const float* p2)
{
    std::memcpy(Vertex[0], p0, sizeof Vertex[0]);
    std::memcpy(Vertex[1], p1, sizeof Vertex[1]);
    std::memcpy(Vertex[2], p2, sizeof Vertex[2]);
}

void TKSN_RasterizeTriangle::AssignColors4(const float* c0, const float* c1, const float* c2)
{
    std::memcpy(Color[0], c0, sizeof Color[0]);
    std::memcpy(Color[1], c1, sizeof Color[1]);
    std::memcpy(Color[2], c2, sizeof Color[2]);
}

void TKSN_RasterizeTriangle::AssignUVs2(const float* t0, const float* t1, const float* t2)
{
    std::memcpy(UV[0], t0, sizeof UV[0]);
    std::memcpy(UV[1], t1, sizeof UV[1]);
    std::memcpy(UV[2], t2, sizeof UV[2]);
}

bool GetClipLineSegmentParameters(int axis, float* a, float* b, float& t0, float& t1, float limit, bool keepGreater)
{
    t0 = 0.0f;
    t1 = 1.0f;
    float dx = a[0] - b[0], dy = a[1] - b[1];
    if (std::sqrt(dx * dx + dy * dy) < 1e-30f) return false;
    float A = a[axis], B = b[axis];
    auto rejected = [&](float v) { return keepGreater ? v < limit : v > limit; };
    if (rejected(A) && rejected(B)) return false;
    float D = B - A;
    if (std::fabs(D) < 1e-30f) return !rejected(A);
    float e = (limit - A) / D;
    if (e < 0.0f || e > 1.0f) {
        if (rejected(A) || rejected(B)) return false;
        e = e < 0.0f ? 0.0f : 1.0f;
    }
    if (rejected(A)) t0 = e;
    if (rejected(B)) t1 = e;
    return true;
}

bool GetClippedLineSegement(int axis, float* a, float* b, float limit, bool keepGreater)
{
    float t0 = 0.0f, t1 = 1.0f;
    if (!GetClipLineSegmentParameters(axis, a, b, t0, t1, limit, keepGreater)) return false;
    bool aRejected = keepGreater ? a[axis] < limit : a[axis] > limit;
    bool bRejected = keepGreater ? b[axis] < limit : b[axis] > limit;
    float a0[3] = {a[0], a[1], a[2]}, b0[3] = {b[0], b[1], b[2]};
    if (aRejected)
        for (int k = 0; k < 3; ++k) a[k] = a0[k] + t0 * (b0[k] - a0[k]);
    else if (bRejected)
        for (int k = 0; k < 3; ++k) b[k] = a0[k] + t1 * (b0[k] - a0[k]);
    return true;
}

bool ClipLineInsideViewportFrame(float* p, float* q, int width, int height)
{
    if (!GetClippedLineSegement(0, p, q, 1.0f, true)) return false;
    if (!GetClippedLineSegement(0, p, q, float(width - 2), false)) return false;
    if (!GetClippedLineSegement(1, p, q, 1.0f, true)) return false;
    if (!GetClippedLineSegement(1, p, q, float(height - 2), false)) return false;
    for (float* v : {p, q}) {
        v[0] = std::fmin(std::fmax(v[0], 1.0f), float(width - 2));
        v[1] = std::fmin(std::fmax(v[1], 1.0f), float(height - 2));
    }
    return true;
}
