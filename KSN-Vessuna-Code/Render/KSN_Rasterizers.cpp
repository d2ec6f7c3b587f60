// The depth-buffered triangle rasterisers: one dispatcher and four members,
// each the common scan with its own kernel.
#include "KSN_RasterizeTriangle.h"

#include <cstring>

#include "KSN_Rasterizers_Internal.h"
#include "OS.h"
#include "QORMemory.h"

namespace {

TScanTriangle MakeScan(const float* p0, const float* p1, const float* p2, int width, int rowLength, int height,
                       float* depth, bool extendEdges)
{
    TScanTriangle t;
    t.p[0] = p0;
    t.p[1] = p1;
    t.p[2] = p2;
    t.Width = width;
    t.RowLength = rowLength;
    t.Height = height;
    t.Depth = depth;
    t.ExtendEdges = extendEdges;
    return t;
}

// Avx2 only makes the two copies' kernels distinct types, so that each copy
// has a scan of its own that GCC inlines whole.
template <bool Avx2> struct NoMapNoAlphaKernel {
    static constexpr bool NeedsMapWeights = false;
    bool NeedsValueWeights() const { return Colors.Interpolate; }
    uint8_t* Dest;
    int BytesPerPixel;
    int Channels;
    TVertexValues<4> Colors;
    uint8_t Constant[3] = {0, 0, 0};   // the bytes of a colour that does not vary
    void operator()(long long n, const TScanWeights& w) const
    {
        uint8_t* d = Dest + n * BytesPerPixel;
        if (!Colors.Interpolate && Channels == 3) {
            d[0] = Constant[0];
            d[1] = Constant[1];
            d[2] = Constant[2];
        } else if (!Colors.Interpolate)
            for (int c = 0; c < Channels; ++c) d[c] = Constant[c];
        else
            for (int c = 0; c < Channels; ++c) d[c] = uint8_t(KSN_ColorByte(Colors.Get(w, c)));
    }
};

// A colour that does not vary into a target of three bytes or more: no
// per-pixel choice.
template <bool Avx2> struct ConstantRgbKernel {
    static constexpr bool NeedsMapWeights = false;
    static constexpr bool CommonCaseLoop = true;   // small enough to have the scan's loop twice
    bool NeedsValueWeights() const { return false; }
    uint8_t* Dest;
    int BytesPerPixel;
    uint8_t Constant[3];
    void operator()(long long n, const TScanWeights&) const { std::memcpy(Dest + n * BytesPerPixel, Constant, 3); }
};

struct MapNoAlphaKernel {
    static constexpr bool NeedsMapWeights = true;
    bool NeedsValueWeights() const { return Colors.Interpolate; }
    uint8_t* Dest;
    int BytesPerPixel;
    int Channels;
    TVertexValues<4> Colors;
    const float* t[3];
    const uint8_t* Map;
    int MapWidth, MapHeight;
    void operator()(long long n, const TScanWeights& w) const
    {
        float u = float(w.m[0] * t[0][0] + w.m[1] * t[1][0] + w.m[2] * t[2][0]);
        float v = float(w.m[0] * t[0][1] + w.m[1] * t[1][1] + w.m[2] * t[2][1]);
        TSampleAxis su = KSN_WrapAxis(u * float(MapWidth) - 0.5f, MapWidth);
        TSampleAxis sv = KSN_WrapAxis(v * float(MapHeight) - 0.5f, MapHeight);
        uint8_t* d = Dest + n * BytesPerPixel;
        for (int c = 0; c < Channels; ++c) {
            int texel = KSN_Bilinear(Map, MapWidth, 3, su, sv, c);
            float value = float(texel) * Colors.Get(w, c);
            d[c] = uint8_t(value >= 255.0f ? 255 : (value > 0.0f ? int(value) : 0));
        }
    }
};

struct NoMapAlphaKernel {
    static constexpr bool NeedsMapWeights = true;
    bool NeedsValueWeights() const { return Colors.Interpolate; }
    uint8_t* Dest;
    const uint8_t* Source;
    int BytesPerPixel;
    int Channels;
    TVertexValues<4> Colors;
    const float* s[3];
    const uint8_t* Alpha;
    int AlphaWidth, AlphaHeight;
    void operator()(long long n, const TScanWeights& w) const
    {
        float p = float(w.m[0] * s[0][0] + w.m[1] * s[1][0] + w.m[2] * s[2][0]) - 0.5f;
        float q = float(w.m[0] * s[0][1] + w.m[1] * s[1][1] + w.m[2] * s[2][1]) - 0.5f;
        int m = 0;
        if (p >= 0.0f && p <= float(AlphaWidth - 1) && q >= 0.0f && q <= float(AlphaHeight - 1))
            m = KSN_Bilinear(Alpha, AlphaWidth, 1, KSN_ClampAxis(p, AlphaWidth), KSN_ClampAxis(q, AlphaHeight), 0);
        float a = Colors.Get(w, 3);
        a = a < 0.0f ? 0.0f : (a > 1.0f ? 1.0f : a);
        int k = int(a * float(m));
        uint8_t* d = Dest + n * BytesPerPixel;
        const uint8_t* src = Source + n * BytesPerPixel;
        for (int c = 0; c < Channels; ++c) {
            int f = KSN_ColorByte(Colors.Get(w, c));
            d[c] = uint8_t(k == 255 ? f : src[c] + KSN_Div255Signed((f - src[c]) * k));
        }
    }
};

struct DepthOnlyKernel {
    static constexpr bool NeedsMapWeights = false;
    bool NeedsValueWeights() const { return false; }
    void operator()(long long, const TScanWeights&) const {}
};

void RequireDepth(const float* depth)
{
    if (!depth) QORThrowException("DepthBuffer == NULL and USE_DEPTH_BUFFER");
}

} // namespace

namespace {

template <bool Avx2>
__attribute__((always_inline)) inline void NoMapNoAlphaBody(const float* p0, const float* p1, const float* p2,
                                                            const float* c0, const float* c1, const float* c2,
                                                            int Width, int RowLength, int Height,
                                                            uint8_t* DestPixels, int BytesPerPixel,
                                                            float* DepthBuffer, bool ExtendEdges)
{
    NoMapNoAlphaKernel<Avx2> k{DestPixels, BytesPerPixel, std::min(BytesPerPixel, 3), {}};
    k.Colors.Setup(c0, c1, c2);
    const uint32_t bytes = KSN_ColorBytes3(c0);
    std::memcpy(k.Constant, &bytes, 3);
    const TScanTriangle scan = MakeScan(p0, p1, p2, Width, RowLength, Height, DepthBuffer, ExtendEdges);
    if (!k.Colors.Interpolate && k.Channels == 3) {
        ConstantRgbKernel<Avx2> rgb{DestPixels, BytesPerPixel, {}};
        std::memcpy(rgb.Constant, &bytes, 3);
        KSN_ScanTriangle(scan, rgb);
        return;
    }
    KSN_ScanTriangle(scan, k);
}

} // namespace

// The two copies of the plain member. The member itself is bound to one of
// them when the program is loaded (an indirect function), so a call goes
// straight into the copy with its arguments where the caller put them.
void KSN_RasterizeTriangle_NoMap_NoAlpha_Sse2(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS)
{
    (void)t0, (void)t1, (void)t2, (void)SourcePixels, (void)ColorMap, (void)ColorMapWidth, (void)ColorMapHeight,
        (void)ColorMapBytesPerPixel, (void)s0, (void)s1, (void)s2, (void)AlphaMap, (void)AlphaMapWidth,
        (void)AlphaMapHeight;
    NoMapNoAlphaBody<false>(p0, p1, p2, c0, c1, c2, Width, RowLength, Height, DestPixels, BytesPerPixel, DepthBuffer,
                            ExtendEdges);
}

__attribute__((target("avx2"))) void KSN_RasterizeTriangle_NoMap_NoAlpha_Avx2(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS)
{
    (void)t0, (void)t1, (void)t2, (void)SourcePixels, (void)ColorMap, (void)ColorMapWidth, (void)ColorMapHeight,
        (void)ColorMapBytesPerPixel, (void)s0, (void)s1, (void)s2, (void)AlphaMap, (void)AlphaMapWidth,
        (void)AlphaMapHeight;
    NoMapNoAlphaBody<true>(p0, p1, p2, c0, c1, c2, Width, RowLength, Height, DestPixels, BytesPerPixel, DepthBuffer,
                           ExtendEdges);
}

// Runs while the program is loaded, before any constructor: it asks the
// processor itself rather than KSN_RasterizerAvx2, and is left out of the
// sanitizers' checks, whose run-time is not yet set up then.
extern "C" {
__attribute__((no_sanitize("address", "undefined")))
static decltype(&KSN_RasterizeTriangle_NoMap_NoAlpha_Sse2) KSN_ResolveNoMapNoAlpha()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? KSN_RasterizeTriangle_NoMap_NoAlpha_Avx2
                                          : KSN_RasterizeTriangle_NoMap_NoAlpha_Sse2;
}
}

void KSN_RasterizeTriangle_NoMap_NoAlpha(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS)
    __attribute__((ifunc("KSN_ResolveNoMapNoAlpha")));

void KSN_RasterizeTriangle_Map_NoAlpha(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS)
{
    (void)SourcePixels, (void)ColorMapBytesPerPixel, (void)s0, (void)s1, (void)s2, (void)AlphaMap,
        (void)AlphaMapWidth, (void)AlphaMapHeight;
    RequireDepth(DepthBuffer);
    if (!ColorMap) QORThrowException("ColorMap == NULL and USE_COLOR_MAP");
    if (ColorMapWidth <= 0 || ColorMapHeight <= 0) return;
    MapNoAlphaKernel k{DestPixels, BytesPerPixel, std::min(BytesPerPixel, 3), {}, {t0, t1, t2}, ColorMap,
                       ColorMapWidth, ColorMapHeight};
    k.Colors.Setup(c0, c1, c2);
    KSN_ScanTriangle(MakeScan(p0, p1, p2, Width, RowLength, Height, DepthBuffer, ExtendEdges), k);
}

void KSN_RasterizeTriangle_NoMap_Alpha(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS)
{
    (void)t0, (void)t1, (void)t2, (void)ColorMap, (void)ColorMapWidth, (void)ColorMapHeight,
        (void)ColorMapBytesPerPixel;
    RequireDepth(DepthBuffer);
    NoMapAlphaKernel k{DestPixels, SourcePixels ? SourcePixels : DestPixels, BytesPerPixel,
                       std::min(BytesPerPixel, 3), {}, {s0, s1, s2}, AlphaMap, AlphaMapWidth, AlphaMapHeight};
    k.Colors.Setup(c0, c1, c2);
    // Without an alpha map nothing is covered: every pixel keeps its source.
    static const uint8_t None = 0;
    if (!AlphaMap || AlphaMapWidth <= 0 || AlphaMapHeight <= 0) {
        k.Alpha = &None;
        k.AlphaWidth = k.AlphaHeight = 0;
    }
    KSN_ScanTriangle(MakeScan(p0, p1, p2, Width, RowLength, Height, DepthBuffer, ExtendEdges), k);
}

void KSN_RasterizeTriangle_DepthOnly(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS)
{
    (void)t0, (void)t1, (void)t2, (void)c0, (void)c1, (void)c2, (void)DestPixels, (void)SourcePixels,
        (void)BytesPerPixel, (void)ColorMap, (void)ColorMapWidth, (void)ColorMapHeight, (void)ColorMapBytesPerPixel,
        (void)s0, (void)s1, (void)s2, (void)AlphaMap, (void)AlphaMapWidth, (void)AlphaMapHeight;
    RequireDepth(DepthBuffer);
    KSN_ScanTriangle(MakeScan(p0, p1, p2, Width, RowLength, Height, DepthBuffer, ExtendEdges), DepthOnlyKernel{});
}

void KSN_RasterizeTriangle(const float* p0, const float* p1, const float* p2, const float* t0, const float* t1,
                           const float* t2, const float* c0, const float* c1, const float* c2, int Width,
                           int RowLength, int Height, uint8_t* DestPixels, int BytesPerPixel, float* DepthBuffer,
                           uint8_t* ColorMap, int ColorMapWidth, int ColorMapHeight, int ColorMapBytesPerPixel,
                           const float* s0, const float* s1, const float* s2, uint8_t* AlphaMap, int AlphaMapWidth,
                           int AlphaMapHeight, bool ExtendEdges, bool DrawColor)
{
    if (!AlphaMap) {
        float D = (p1[0] - p0[0]) * (p2[1] - p0[1]) - (p1[1] - p0[1]) * (p2[0] - p0[0]);
        if (D < 1e-30f) return;   // facing away or degenerate
    }
    if (!DrawColor) {
        KSN_RasterizeTriangle_DepthOnly(p0, p1, p2, t0, t1, t2, c0, c1, c2, Width, RowLength, Height, DestPixels,
                                        DestPixels, BytesPerPixel, DepthBuffer, ColorMap, ColorMapWidth,
                                        ColorMapHeight, ColorMapBytesPerPixel, s0, s1, s2, AlphaMap, AlphaMapWidth,
                                        AlphaMapHeight, ExtendEdges);
        return;
    }
    if (ColorMap && AlphaMap) {
        OS.WarningMessage("KSN_RasterizeTriangle... General_Case is not currently supported");
        return;
    }
    if (AlphaMap)
        KSN_RasterizeTriangle_NoMap_Alpha(p0, p1, p2, t0, t1, t2, c0, c1, c2, Width, RowLength, Height, DestPixels,
                                          DestPixels, BytesPerPixel, DepthBuffer, nullptr, 0, 0, 0, s0, s1, s2,
                                          AlphaMap, AlphaMapWidth, AlphaMapHeight, ExtendEdges);
    else if (ColorMap)
        KSN_RasterizeTriangle_Map_NoAlpha(p0, p1, p2, t0, t1, t2, c0, c1, c2, Width, RowLength, Height, DestPixels,
                                          DestPixels, BytesPerPixel, DepthBuffer, ColorMap, ColorMapWidth,
                                          ColorMapHeight, ColorMapBytesPerPixel, nullptr, nullptr, nullptr, nullptr,
                                          0, 0, ExtendEdges);
    else
        KSN_RasterizeTriangle_NoMap_NoAlpha(p0, p1, p2, t0, t1, t2, c0, c1, c2, Width, RowLength, Height, DestPixels,
                                            DestPixels, BytesPerPixel, DepthBuffer, nullptr, 0, 0, 0, nullptr,
                                            nullptr, nullptr, nullptr, 0, 0, ExtendEdges);
}
