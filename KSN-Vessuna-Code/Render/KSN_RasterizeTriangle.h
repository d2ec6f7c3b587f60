// Software triangle rasterisers and line clipping.
//
// TKSN_RasterizeTriangle is the set-up record of the record-driven
// rasterisers: the target image with its companion buffers, the maps to sample
// and the three vertices of the triangle being drawn. It owns nothing; every
// pointer refers to a caller's buffer (row-major, RowLength pixels apart),
// valid while the rasteriser runs. Each drawing thread uses its own record.
//
// All rasterisers share one scan (KSN_Rasterizers_Internal.h): pixel (i, j)
// has its centre at (i + 0.5, j + 0.5); depth is a float, 0 at the far end
// and larger nearer, and a pixel passes when its depth plus 1e-8 is not below
// the stored one, so later triangles win ties. Colours are floats 0..1 that
// become bytes by truncating value × 255, clamped to 0..255. A degenerate
// triangle (twice its area within ±1e-30) draws nothing.
#pragma once

#include <cstdint>

class TKSN_RasterizeTriangle {
public:
    TKSN_RasterizeTriangle() { InitAll(); }

    // Every field zero, null or false, then the per-vertex values back to 1.0.
    void InitAll();
    // PolygonIndex = polygon, TriangleIndex = 0, per-vertex values back to 1.0.
    void InitPoly(int polygon);
    // TriangleIndex = triangle, per-vertex values back to 1.0.
    void InitTriangle(int triangle);
    void AssignVertices3(const float* p0, const float* p1, const float* p2);
    void AssignColors4(const float* c0, const float* c1, const float* c2);
    void AssignUVs2(const float* t0, const float* t1, const float* t2);

    int32_t Width;
    int32_t RowLength;
    int32_t Height;
    uint8_t* DestPixels;
    uint8_t* SourcePixels;
    uint8_t* UnlitPixels;      // 3 bytes a pixel, optional
    uint8_t* ShadePixels;      // 1 byte a pixel, optional
    int32_t BytesPerPixel;
    float* DepthBuffer;
    int32_t PolygonIndex;
    int32_t TriangleIndex;
    uint8_t* ColorMap;         // 3-byte texels
    int32_t ColorMapWidth;
    int32_t ColorMapHeight;
    int32_t ColorMapBytesPerPixel;
    uint8_t* AlphaMap;         // 1-byte texels
    int32_t AlphaMapWidth;
    int32_t AlphaMapHeight;
    bool ExtendEdges;
    // Only rows ClipRowFirst <= y < ClipRowEnd are written (all after InitAll):
    // a node thread of the renderer owns one band of rows.
    int32_t ClipRowFirst;
    int32_t ClipRowEnd;
    float Vertex[3][3];        // x, y in target pixels; z depth 0..1, larger nearer
    float UV[3][2];
    float Color[3][4];         // R, G, B, A, 0..1
    float Light[3];            // 1.0 unshaded

private:
    void ResetVertices();
};

// [SECTION] Line clipping

// The part of segment a -> b whose coordinate `axis` lies at or above limit
// (keepGreater) or at or below it: true with t0 <= t1 along a + t (b - a);
// false when nothing survives (also for a segment without length in x and y).
bool GetClipLineSegmentParameters(int axis, float* a, float* b, float& t0, float& t1, float limit, bool keepGreater);
// As above, and on true moves the rejected end onto the limit (all three
// coordinates interpolated); on false a and b are left alone.
bool GetClippedLineSegement(int axis, float* a, float* b, float limit, bool keepGreater);
// Clips p -> q (x, y in pixels) to the inside of a width × height viewport without its outer one-pixel frame and
// clamps both ends into it; false when nothing of the segment is left.
bool ClipLineInsideViewportFrame(float* p, float* q, int width, int height);

// [SECTION] Depth-buffered rasterisers
//
// The members raise "DepthBuffer == NULL and USE_DEPTH_BUFFER" or
// "ColorMap == NULL and USE_COLOR_MAP" (std::logic_error) before touching a
// pixel when a buffer they need is missing.

#define KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS                                                                     \
    const float *p0, const float *p1, const float *p2, const float *t0, const float *t1, const float *t2,        \
        const float *c0, const float *c1, const float *c2, int Width, int RowLength, int Height,                 \
        uint8_t *DestPixels, uint8_t *SourcePixels, int BytesPerPixel, float *DepthBuffer, uint8_t *ColorMap,    \
        int ColorMapWidth, int ColorMapHeight, int ColorMapBytesPerPixel, const float *s0, const float *s1,      \
        const float *s2, uint8_t *AlphaMap, int AlphaMapWidth, int AlphaMapHeight, bool ExtendEdges

// Picks the member by the maps given; rejects triangles facing away (without
// an alpha map); with both maps it warns and draws nothing.
void KSN_RasterizeTriangle(const float* p0, const float* p1, const float* p2, const float* t0, const float* t1,
                           const float* t2, const float* c0, const float* c1, const float* c2, int Width,
                           int RowLength, int Height, uint8_t* DestPixels, int BytesPerPixel, float* DepthBuffer,
                           uint8_t* ColorMap, int ColorMapWidth, int ColorMapHeight, int ColorMapBytesPerPixel,
                           const float* s0, const float* s1, const float* s2, uint8_t* AlphaMap, int AlphaMapWidth,
                           int AlphaMapHeight, bool ExtendEdges, bool DrawColor);
void KSN_RasterizeTriangle_Map_NoAlpha(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS);
void KSN_RasterizeTriangle_NoMap_Alpha(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS);
void KSN_RasterizeTriangle_DepthOnly(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS);
void KSN_RasterizeTriangle_NoMap_NoAlpha(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS);

// [SECTION] Textured flat-shaded rasterisers of the renderer
//
// Write the RGBA target (4 bytes a pixel at least), the depth and, when both
// are given, the unlit colour and shade. Same exceptions as above.
void KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(TKSN_RasterizeTriangle* r);
void KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map_NoFilter(TKSN_RasterizeTriangle* r);
void KSN_Renderer4_RasterizeTriangle_Flat_Texture_Iconic(TKSN_RasterizeTriangle* r);
void KSN_Renderer4_RasterizeTriangle_Flat_Texture_NoMap(TKSN_RasterizeTriangle* r);

// [SECTION] Brush-tile rasterisers
//
// The brush image tiles (coordinates outside 0..1 repeat it, without blending
// across the wrap); the plain one writes brush colour and alpha, the
// grid-baking one blends transparent texels over a checkerboard of 4 × 4
// brush texels. Same exceptions as above.
void KSN_RenderBrushTileTexture_Triangle_Software(TKSN_RasterizeTriangle* t);
void KSN_RenderBrushTileTexture_Triangle_Software_BakeInGrid(TKSN_RasterizeTriangle* t);
