// The textured flat-shaded rasterisers of the renderer's software node views.
// They share the common scan and differ only in what a drawn pixel becomes;
// every per-triangle decision (white colours, shading, alpha map) picks a
// kernel before the scan, and the processor picks its copy (SSE2 or AVX2).
#include "KSN_RasterizeTriangle.h"

#include <cmath>
#include <cstring>

#include "KSN_Rasterizers_Internal.h"
#include "QORMemory.h"

namespace {

// Inside: a clamped map whose samples read the map without clamps wherever
// they lie inside it, which the clamps would leave alone.
enum class TMapKind { Clamped, Inside, Nearest, Tiled, None };

TScanTriangle ScanOf(const TKSN_RasterizeTriangle& r)
{
    TScanTriangle t;
    for (int k = 0; k < 3; ++k) t.p[k] = r.Vertex[k];
    t.Width = r.Width;
    t.RowLength = r.RowLength;
    t.Height = r.Height;
    t.Depth = r.DepthBuffer;
    t.ExtendEdges = r.ExtendEdges;
    t.ClipRowFirst = r.ClipRowFirst;
    t.ClipRowEnd = r.ClipRowEnd;
    return t;
}

bool ColorsAreWhite(const TKSN_RasterizeTriangle& r)
{
    // Exactly white colours (the record's default) need no distances.
    const __m128 one = _mm_set1_ps(1.0f);
    const int equal = _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(r.Color[0]), one)) &
                      _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(r.Color[1]), one)) &
                      _mm_movemask_ps(_mm_cmpeq_ps(_mm_loadu_ps(r.Color[2]), one));
    if ((equal & 7) == 7) return true;
    for (const float* c : r.Color) {
        double d = 0.0;
        for (int k = 0; k < 3; ++k) d += (double(c[k]) - 1.0) * (double(c[k]) - 1.0);
        if (d > 0.001 * 0.001) return false;   // Euclidean distance above 0.001
    }
    return true;
}

int ShadeByte(float light)
{
    // light > 255 ? 255 : (light < 0 ? 0 : int(light)), NaN kept for the conversion.
    return int(KSN_ClampMinMax(light * 255.0f, 0.0f, 255.0f));
}

// Avx2 only makes the two copies' kernels distinct types, so that each copy
// has a scan of its own that GCC inlines whole.
template <TMapKind Kind, bool White, bool WithAlpha, bool Avx2> struct TexturedKernel {
    static constexpr bool NeedsMapWeights = Kind != TMapKind::None;
    const TKSN_RasterizeTriangle* R;
    TVertexValues<4> Colors;
    TVertexValues<1> Lights;
    bool Shading;
    bool WritePlanes;
    // Run sets every field; no initialisers, so that a triangle pays for no
    // zeroing of the kernel before that.
    int ConstantShade;   // the shade while the light does not vary
    __m128d CornerUV[3];   // the corners' u, v as doubles
    __m128 MapSize;        // W, H, 0, 0 as floats
    __m128 MapLast;        // W - 1, H - 1, 0, 0 as floats
    int MapWidth, MapHeight;
    // The record's buffers, copied so that the pixel stores (bytes, which
    // may alias anything) do not make the kernel read the record again.
    uint8_t* Dest;
    long long BytesPerPixel;
    const uint8_t* Map;
    unsigned MapRowBytes;   // 3 × the map's width

    bool NeedsValueWeights() const
    {
        return Lights.Interpolate || (Kind != TMapKind::Nearest && !White && Colors.Interpolate) ||
               (Kind == TMapKind::None && Colors.Interpolate);
    }

    // The texel times the interpolated colour, cut to a byte; a white colour keeps the texel.
    void Tint(const TScanWeights& w, const int T[3], int K[3]) const
    {
        for (int c = 0; c < 3; ++c) {
            if constexpr (White) {
                K[c] = T[c];
            } else {
                float value = float(T[c]) * Colors.Get(w, c);
                K[c] = value >= 255.0f ? 255 : (value > 0.0f ? int(value) : 0);
            }
        }
    }

    // Coverage from the alpha map; outside it the pixel is not covered.
    int SampleAlpha(float p, float q) const
    {
        const TKSN_RasterizeTriangle& r = *R;
        if (p >= 0.0f && p <= float(r.AlphaMapWidth - 1) && q >= 0.0f && q <= float(r.AlphaMapHeight - 1))
            return KSN_Bilinear(r.AlphaMap, r.AlphaMapWidth, 1, KSN_ClampAxis(p, r.AlphaMapWidth),
                                KSN_ClampAxis(q, r.AlphaMapHeight), 0);
        return 0;
    }

    // A sample inside the map, tinted, shaded and packed in SSE2 lanes: the
    // same operations per channel as the clamped path below, so the same bytes.
    __attribute__((always_inline)) void InsidePixel(long long n, const TScanWeights& w) const
    {
        // ShadeByte in the low lane, without a trip through an integer register.
        __m128i shade = _mm_cvtsi32_si128(ConstantShade);
        if (Lights.Interpolate) {
            const __m128 light = _mm_set1_ps(Lights.Get(w, 0) * 255.0f);
            shade = _mm_cvttps_epi32(_mm_max_ps(_mm_setzero_ps(), _mm_min_ps(KSN_Lanes(KSN_Lanes255F), light)));
        }
        // u, v and then p, q in two lanes, from the corners' coordinates.
        const __m128d uv = _mm_add_pd(_mm_add_pd(_mm_mul_pd(_mm_set1_pd(w.m[0]), CornerUV[0]),
                                                 _mm_mul_pd(_mm_set1_pd(w.m[1]), CornerUV[1])),
                                      _mm_mul_pd(_mm_set1_pd(w.m[2]), CornerUV[2]));
        const __m128 pq = _mm_sub_ps(_mm_mul_ps(_mm_cvtpd_ps(uv), MapSize), KSN_Lanes(KSN_LanesHalfF));
        // Within 0 <= p < W - 1 and 0 <= q < H - 1 (NaN fails) KSN_InsideAxis
        // equals KSN_ClampAxis; elsewhere the clamped sample.
        __m128i T;
        const __m128 within = _mm_and_ps(_mm_cmpge_ps(pq, _mm_setzero_ps()), _mm_cmplt_ps(pq, MapLast));
        if ((_mm_movemask_ps(within) & 3) == 3) [[likely]] {
            const __m128i whole = _mm_cvttps_epi32(pq);
            const __m128 f = _mm_sub_ps(pq, _mm_cvtepi32_ps(whole));
            if constexpr (Avx2)
                T = KSN_Bilinear3InsideWide(Map, MapRowBytes, whole, f);
            else
                T = KSN_Bilinear3Inside(Map, MapRowBytes, whole, f);
        } else {
            int t[3];
            KSN_Bilinear3(Map, MapWidth, KSN_ClampAxis(_mm_cvtss_f32(pq), MapWidth),
                          KSN_ClampAxis(_mm_cvtss_f32(_mm_shuffle_ps(pq, pq, 1)), MapHeight), t);
            T = _mm_setr_epi32(t[0], t[1], t[2], 0);
        }
        __m128i K = T;
        if constexpr (!White) {
            // float(T) × colour, cut to 0..255 (NaN to 0) and truncated.
            __m128 colour = _mm_loadu_ps(Colors.v[0]);
            if (Colors.Interpolate)
                colour = _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(w.w[0]), colour),
                                               _mm_mul_ps(_mm_set1_ps(w.w[1]), _mm_loadu_ps(Colors.v[1]))),
                                    _mm_mul_ps(_mm_set1_ps(w.w[2]), _mm_loadu_ps(Colors.v[2])));
            const __m128 value = _mm_mul_ps(_mm_cvtepi32_ps(T), colour);
            K = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(value, _mm_setzero_ps()), KSN_Lanes(KSN_Lanes255F)));
        }
        int A = 255;
        if constexpr (WithAlpha) A = SampleAlpha(_mm_cvtss_f32(pq), _mm_cvtss_f32(_mm_shuffle_ps(pq, pq, 1)));
        if (WritePlanes) {
            const uint32_t unlit = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(T, T), T)));
            std::memcpy(R->UnlitPixels + n * 3, &unlit, 2);
            R->UnlitPixels[n * 3 + 2] = uint8_t(unlit >> 16);
            R->ShadePixels[n] = uint8_t(_mm_cvtsi128_si32(shade));
        }
        __m128i k16 = _mm_packs_epi32(K, K);   // 0..255 in 16-bit lanes
        if (Shading) {
            // K × s below 65536, then KSN_Div255Byte: (p × 32897) >> 23 as
            // the high half of the 16-bit product shifted by 7. A shade that
            // is not a byte (a NaN light) is 0 modulo 65536, as it is there.
            const __m128i product = _mm_mullo_epi16(k16, _mm_shufflelo_epi16(shade, 0));
            k16 = _mm_srli_epi16(_mm_mulhi_epu16(product, _mm_set1_epi16(short(32897))), 7);
        }
        const uint32_t rgb = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(k16, k16)));
        const uint32_t out = (rgb & 0xffffffu) | uint32_t(A) << 24;
        std::memcpy(Dest + n * BytesPerPixel, &out, 4);
    }

    void operator()(long long n, const TScanWeights& w) const
    {
        if constexpr (Kind == TMapKind::Inside) {
            InsidePixel(n, w);
            return;
        }
        const TKSN_RasterizeTriangle& r = *R;
        int s = Lights.Interpolate ? ShadeByte(Lights.Get(w, 0)) : ConstantShade;
        int K[3], T[3];
        int A = 255;
        uint8_t* d = r.DestPixels + n * r.BytesPerPixel;
        if constexpr (Kind == TMapKind::None) {
            for (int c = 0; c < 3; ++c) {
                T[c] = KSN_ColorByte(Colors.Get(w, c));
                K[c] = std::min(255, T[c] + d[c]);
            }
        } else if constexpr (Kind == TMapKind::Inside) {
            return;   // InsidePixel above
        } else {
            float u = float(w.m[0] * r.UV[0][0] + w.m[1] * r.UV[1][0] + w.m[2] * r.UV[2][0]);
            float v = float(w.m[0] * r.UV[0][1] + w.m[1] * r.UV[1][1] + w.m[2] * r.UV[2][1]);
            const int W = r.ColorMapWidth, H = r.ColorMapHeight;
            if constexpr (Kind == TMapKind::Nearest) {
                float p = u * float(W), q = v * float(H);
                int col = p >= float(W - 1) ? W - 1 : (p > 0.0f ? int(p) : 0);
                int row = q >= float(H - 1) ? H - 1 : (q > 0.0f ? int(q) : 0);
                const uint8_t* texel = r.ColorMap + ((long long)row * W + col) * 3;
                for (int c = 0; c < 3; ++c) K[c] = T[c] = texel[c];
                if constexpr (WithAlpha) {
                    if (p >= 0.0f && p <= float(r.AlphaMapWidth - 1) && q >= 0.0f && q <= float(r.AlphaMapHeight - 1))
                        A = r.AlphaMap[(long long)int(q) * r.AlphaMapWidth + int(p)];
                    else
                        A = 0;
                }
            } else {
                float p = u * float(W) - 0.5f, q = v * float(H) - 0.5f;
                TSampleAxis su, sv;
                if constexpr (Kind == TMapKind::Tiled) {
                    su = KSN_WrapAxis(p, W);
                    sv = KSN_WrapAxis(q, H);
                } else {
                    su = KSN_ClampAxis(p, W);
                    sv = KSN_ClampAxis(q, H);
                }
                KSN_Bilinear3(r.ColorMap, W, su, sv, T);
                Tint(w, T, K);
                if constexpr (WithAlpha) A = SampleAlpha(p, q);
            }
        }
        if (WritePlanes) {
            uint8_t* unlit = r.UnlitPixels + n * 3;
            for (int c = 0; c < 3; ++c) unlit[c] = uint8_t(T[c]);
            r.ShadePixels[n] = uint8_t(s);
        }
        // All three bytes before the first store: a byte store could alias the table pointer.
        uint8_t out[4] = {uint8_t(K[0]), uint8_t(K[1]), uint8_t(K[2]), uint8_t(A)};
        // The product wraps as unsigned: a shade that is not a byte (a NaN
        // light) must not overflow a signed multiply.
        if (Shading)
            for (int c = 0; c < 3; ++c) out[c] = uint8_t(KSN_Div255Byte(int(unsigned(K[c]) * unsigned(s))));
        std::memcpy(d, out, 4);
    }
};

template <TMapKind Kind, bool White, bool WithAlpha, bool Avx2>
__attribute__((always_inline)) inline void RunBody(const TKSN_RasterizeTriangle& r, bool shading)
{
    TexturedKernel<Kind, White, WithAlpha, Avx2> k;
    k.R = &r;
    k.Shading = shading;
    k.WritePlanes = r.UnlitPixels && r.ShadePixels;
    if constexpr (!White) k.Colors.Setup(r.Color[0], r.Color[1], r.Color[2]);   // white colours are not read
    k.Lights.Setup(&r.Light[0], &r.Light[1], &r.Light[2]);
    k.ConstantShade = ShadeByte(r.Light[0]);
    for (int c = 0; c < 3; ++c)
        k.CornerUV[c] = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(r.UV[c]))));
    k.MapSize = _mm_setr_ps(float(r.ColorMapWidth), float(r.ColorMapHeight), 0.0f, 0.0f);
    k.Dest = r.DestPixels;
    k.BytesPerPixel = r.BytesPerPixel;
    k.MapLast = _mm_setr_ps(float(r.ColorMapWidth - 1), float(r.ColorMapHeight - 1), 0.0f, 0.0f);
    k.MapWidth = r.ColorMapWidth;
    k.MapHeight = r.ColorMapHeight;
    k.Map = r.ColorMap;
    k.MapRowBytes = unsigned(r.ColorMapWidth) * 3u;
    KSN_ScanTriangle(ScanOf(r), k);
}

// Each kernel with its scan in two copies, for SSE2 and for AVX2.
template <TMapKind Kind, bool White, bool WithAlpha> void RunSse2(const TKSN_RasterizeTriangle& r, bool shading)
{
    RunBody<Kind, White, WithAlpha, false>(r, shading);
}
template <TMapKind Kind, bool White, bool WithAlpha>
__attribute__((target("avx2"))) void RunAvx2(const TKSN_RasterizeTriangle& r, bool shading)
{
    RunBody<Kind, White, WithAlpha, true>(r, shading);
}
template <TMapKind Kind, bool White, bool WithAlpha> void Run(const TKSN_RasterizeTriangle& r, bool shading)
{
    if (KSN_RasterizerAvx2)
        RunAvx2<Kind, White, WithAlpha>(r, shading);
    else
        RunSse2<Kind, White, WithAlpha>(r, shading);
}

// Raises before any pixel is touched; false when there is nothing to draw into.
bool Prepare(const TKSN_RasterizeTriangle& r, bool needsMap, bool& shading)
{
    if (!r.DepthBuffer) QORThrowException("DepthBuffer == NULL and USE_DEPTH_BUFFER");
    if (needsMap && !r.ColorMap) QORThrowException("ColorMap == NULL and USE_COLOR_MAP");
    if (needsMap && (r.ColorMapWidth <= 0 || r.ColorMapHeight <= 0)) return false;
    if (!r.DestPixels || r.BytesPerPixel < 4) return false;
    // Shading when a light lies more than 1e-30 from 1 (a NaN light does not count).
    const __m128 lights = _mm_setr_ps(r.Light[0], r.Light[1], r.Light[2], 1.0f);
    const __m128 off = _mm_andnot_ps(_mm_set1_ps(-0.0f), _mm_sub_ps(lights, _mm_set1_ps(1.0f)));
    shading = _mm_movemask_ps(_mm_cmpgt_ps(off, _mm_set1_ps(1e-30f))) != 0;
    return true;
}

bool HasAlphaMap(const TKSN_RasterizeTriangle& r) { return r.AlphaMap && r.AlphaMapWidth > 0 && r.AlphaMapHeight > 0; }

// The inside-map kernel tests each sample against the map's last texel as
// a float, which is that texel exactly up to 2^24 texels a side (its
// offsets then also fit its unsigned row length).
bool FastTexelsFit(const TKSN_RasterizeTriangle& r)
{
    return r.ColorMapWidth <= (1 << 24) && r.ColorMapHeight <= (1 << 24);
}

// One instantiation per case, so that the kernels keep no per-pixel choice.
template <TMapKind Kind>
void RunFlatTextureMap(const TKSN_RasterizeTriangle& r, bool shading)
{
    const bool white = ColorsAreWhite(r), alpha = HasAlphaMap(r);
    if (white && alpha)
        Run<Kind, true, true>(r, shading);
    else if (white)
        Run<Kind, true, false>(r, shading);
    else if (alpha)
        Run<Kind, false, true>(r, shading);
    else
        Run<Kind, false, false>(r, shading);
}

} // namespace

void KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(TKSN_RasterizeTriangle* r)
{
    bool shading = false;
    if (!Prepare(*r, true, shading)) return;
    if (KSN_RasterizerFastTexels && FastTexelsFit(*r))
        RunFlatTextureMap<TMapKind::Inside>(*r, shading);
    else
        RunFlatTextureMap<TMapKind::Clamped>(*r, shading);
}

void KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map_NoFilter(TKSN_RasterizeTriangle* r)
{
    bool shading = false;
    if (!Prepare(*r, true, shading)) return;
    if (HasAlphaMap(*r))
        Run<TMapKind::Nearest, true, true>(*r, shading);
    else
        Run<TMapKind::Nearest, true, false>(*r, shading);
}

void KSN_Renderer4_RasterizeTriangle_Flat_Texture_Iconic(TKSN_RasterizeTriangle* r)
{
    bool shading = false;
    if (!Prepare(*r, true, shading)) return;
    if (ColorsAreWhite(*r))
        Run<TMapKind::Tiled, true, false>(*r, shading);
    else
        Run<TMapKind::Tiled, false, false>(*r, shading);
}

void KSN_Renderer4_RasterizeTriangle_Flat_Texture_NoMap(TKSN_RasterizeTriangle* r)
{
    bool shading = false;
    if (!Prepare(*r, false, shading)) return;
    Run<TMapKind::None, false, false>(*r, shading);
}
