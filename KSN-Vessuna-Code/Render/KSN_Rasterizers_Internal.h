// The one triangle scan of every software rasteriser of this folder, and the
// byte helpers its kernels share. Nothing outside Render includes it.
//
// The scan owns the pixel order, the inside test, the extended-edge band and
// the depth test; a kernel only says what a drawn pixel becomes:
//     static constexpr bool NeedsMapWeights;   // fills TScanWeights::m
//     bool NeedsValueWeights() const;          // fills TScanWeights::w (per triangle)
//     void operator()(long long n, const TScanWeights& w) const;   // n = y × RowLength + x
// Coordinates are the vertex x and y minus 0.5, so integer indices name pixel
// centres; barycentric coordinates are evaluated once per row and advanced by
// constant steps.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include <emmintrin.h>

#include "KSN_RasterizeTriangle.h"
#include "QORLookupTables.h"

struct TScanTriangle {
    const float* p[3];           // x, y, z each
    int Width = 0, RowLength = 0, Height = 0;
    float* Depth = nullptr;      // null: no depth test
    bool ExtendEdges = false;
    int ClipRowFirst = 0, ClipRowEnd = INT32_MAX;   // rows written: first <= y < end
};

struct TScanWeights {
    double m[3];   // map weights, clamped to -0.3..1.3
    float w[3];    // value weights, clamped to 0..1
};

// Colour value 0..1 -> byte, truncating, clamped so that values above 1 do not wrap.
inline int KSN_ColorByte(float v)
{
    if (!(v > 0.0f)) return 0;
    float s = v * 255.0f;
    return s >= 255.0f ? 255 : int(s);
}

// KSN_ColorByte of c[0], c[1] and c[2] in the low three bytes (c[3] is
// read, not used), in four lanes: v × 255 clamped to 0..255 then truncated
// gives the same byte for every v, NaN (kept out by the max) and -0 included.
inline uint32_t KSN_ColorBytes3(const float* c)
{
    const __m128 s = _mm_mul_ps(_mm_loadu_ps(c), _mm_set1_ps(255.0f));
    // max(s, 0) is 0 where s is NaN: maxps answers its second operand then.
    const __m128i k = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(s, _mm_setzero_ps()), _mm_set1_ps(255.0f)));
    const __m128i k16 = _mm_packs_epi32(k, k);
    return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(k16, k16))) & 0xffffffu;
}

// p / 255 truncated toward zero for p in -65025..65025 (a byte product).
inline int KSN_Div255(int p)
{
    if (DivideBy255Table) return DivideBy255Table[QORDivideBy255TableOffset + p];
    return p / 255;
}

// KSN_Div255 for a product of two bytes (0..65025) by multiply and shift,
// without the table's load: the same quotient for every such p (a test
// compares all of them with the table).
inline int KSN_Div255Byte(int p) { return int((unsigned(p) * 32897u) >> 23); }

// The fast texel paths of the textured rasterisers are on; tests switch
// them off to compare with the clamped reference path. Nothing else writes it.
inline bool KSN_RasterizerFastTexels = true;

// The textured rasterisers run copies of their scans and kernels compiled
// for AVX2 where the processor has it: GCC gives the same operations their
// three-operand forms (and no fused multiply-add), so the same bits come
// out. Set once at start-up; tests switch it off to compare the SSE2 copies.
// Nothing else writes it.
inline bool KSN_RasterizerAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

// The plain member's two copies; KSN_RasterizeTriangle_NoMap_NoAlpha is bound
// to the AVX2 one at load time where the processor has AVX2. Tests compare them.
void KSN_RasterizeTriangle_NoMap_NoAlpha_Sse2(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS);
void KSN_RasterizeTriangle_NoMap_NoAlpha_Avx2(KSN_RASTERIZE_TRIANGLE_MEMBER_PARAMS);

// Signed variant for byte differences times a byte.
inline int KSN_Div255Signed(int p) { return p / 255; }

// Lane constants that the per-pixel code reads from memory. GCC 12 builds
// a broadcast constant from its scalar with a load and a shuffle at each
// use (or keeps it in a register the loops need); these tables, which it
// cannot take for constants, are read by the instruction that uses them.
// Nothing writes them.
struct alignas(16) TLanesF { float v[4]; };
struct alignas(16) TLanesD { double v[2]; };
inline TLanesF KSN_LanesHalfF{{0.5f, 0.5f, 0.5f, 0.5f}};
inline TLanesF KSN_LanesOneF{{1.0f, 1.0f, 1.0f, 1.0f}};
inline TLanesF KSN_Lanes255F{{255.0f, 255.0f, 255.0f, 255.0f}};
inline TLanesD KSN_LanesOneD{{1.0, 1.0}};
inline TLanesD KSN_LanesInsideLoD{{-0.0001, -0.0001}};
inline TLanesD KSN_LanesInsideHiD{{1.0001, 1.0001}};
inline __m128 KSN_Lanes(const TLanesF& c) { return _mm_load_ps(c.v); }
inline __m128d KSN_Lanes(const TLanesD& c) { return _mm_load_pd(c.v); }

// One value in the low lane for the scalar SSE operations, whose other
// lanes do not count: a constant loads alone, other values broadcast, as
// clearing the other lanes would cost a trip through an integer register.
inline __m128d KSN_LowLane(double v)
{
    return __builtin_constant_p(v) ? _mm_set_sd(v) : _mm_set1_pd(v);
}
inline __m128 KSN_LowLane(float v)
{
    return __builtin_constant_p(v) ? _mm_set_ss(v) : _mm_set1_ps(v);
}

// std::clamp(v, lo, hi) exactly, NaN and the sign of zero included, in the
// form of the SSE min and max instructions (a < b ? a : b), without branches.
// Only the low lane counts.
__attribute__((always_inline)) inline double KSN_ClampMinMax(double v, double lo, double hi)
{
    const __m128d upper = _mm_min_sd(KSN_LowLane(hi), KSN_LowLane(v));   // hi < v ? hi : v
    return _mm_cvtsd_f64(_mm_max_sd(KSN_LowLane(lo), upper));            // lo > upper ? lo : upper
}
__attribute__((always_inline)) inline float KSN_ClampMinMax(float v, float lo, float hi)
{
    const __m128 upper = _mm_min_ss(KSN_LowLane(hi), KSN_LowLane(v));
    return _mm_cvtss_f32(_mm_max_ss(KSN_LowLane(lo), upper));
}

// Interpolated or constant per-vertex values (colours, lights): constant when
// no component of vertex 1 or 2 differs from vertex 0 by 1e-30 or more.
template <int N> struct TVertexValues {
    const float* v[3];
    bool Interpolate = false;
    void Setup(const float* a, const float* b, const float* c)
    {
        v[0] = a;
        v[1] = b;
        v[2] = c;
        if constexpr (N == 4) {
            // The same float differences and comparisons, four lanes at once.
            const __m128 va = _mm_loadu_ps(a), noSign = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
            const __m128 db = _mm_and_ps(_mm_sub_ps(_mm_loadu_ps(b), va), noSign);
            const __m128 dc = _mm_and_ps(_mm_sub_ps(_mm_loadu_ps(c), va), noSign);
            const __m128 limit = _mm_set1_ps(1e-30f);
            Interpolate = _mm_movemask_ps(_mm_or_ps(_mm_cmpge_ps(db, limit), _mm_cmpge_ps(dc, limit))) != 0;
        } else {
            Interpolate = false;
            for (int k = 0; k < N; ++k)
                if (std::fabs(b[k] - a[k]) >= 1e-30f || std::fabs(c[k] - a[k]) >= 1e-30f) Interpolate = true;
        }
    }
    float Get(const TScanWeights& w, int k) const
    {
        return Interpolate ? w.w[0] * v[0][k] + w.w[1] * v[1][k] + w.w[2] * v[2][k] : v[0][k];
    }
};

inline double KSN_SegmentDistance2(double px, double py, double ax, double ay, double bx, double by, double invLen2)
{
    double dx = bx - ax, dy = by - ay;
    double t = ((px - ax) * dx + (py - ay) * dy) * invLen2;
    if (t < 0.0) t = 0.0;
    if (t > 1.0) t = 1.0;
    double qx = ax + t * dx - px, qy = ay + t * dy - py;
    return qx * qx + qy * qy;
}

// Bounding-box coordinate: truncation toward zero, kept within int range.
inline int KSN_TruncCoord(double v)
{
    if (!(v > -1e9)) return -1000000000;
    if (v > 1e9) return 1000000000;
    return int(v);
}

// The columns of one row where each barycentric coordinate b_k(i) =
// base_k + step_k · i may lie within the inside tolerance. The reciprocal
// steps are formed once per triangle; a flat coordinate has none.
struct TInsideSpan {
    // The steps are set by Setup only: most triangles are too small to
    // narrow their rows, and they pay for no span they do not use.
    double Step[3];
    double InvStep[3];
    bool Flat[3] = {false, false, false};

    void Setup(double step0, double step1)
    {
        Step[0] = step0;
        Step[1] = step1;
        Step[2] = -step0 - step1;
        for (int k = 0; k < 3; ++k) {
            Flat[k] = std::fabs(Step[k]) < 1e-12;
            InvStep[k] = Flat[k] ? 0.0 : 1.0 / Step[k];
        }
    }

    // Narrows first..last to that span with one column to spare on either
    // side; false when no column of the row can be inside.
    bool Narrow(double base0, double base1, int& first, int& last) const
    {
        const double bases[3] = {base0, base1, 1.0 - base0 - base1};
        double lo = double(first), hi = double(last);
        for (int k = 0; k < 3; ++k) {
            const double b = bases[k];
            if (Flat[k]) {
                if (b < -0.001 || b > 1.001) return false;
                continue;
            }
            double a = (-0.0001 - b) * InvStep[k], c = (1.0001 - b) * InvStep[k];
            if (a > c) std::swap(a, c);
            lo = std::max(lo, a);
            hi = std::min(hi, c);
        }
        if (lo > hi + 2.0) return false;
        // lo > first + 1 >= 1 here, so truncation is the floor; the ceiling
        // of hi is its truncation, plus one for a positive fraction.
        if (lo > double(first) + 1.0) first = std::min(last, int(lo) - 1);
        if (hi < double(last) - 1.0) {
            int c = int(hi);
            if (double(c) < hi) ++c;
            last = std::max(first, c + 1);
        }
        return first <= last;
    }
};

// The columns or rows of a box that can hold an inside pixel of a triangle
// spanning lo..hi on that axis. A pixel passes the inside test only where
// each barycentric coordinate, as computed, is at least -0.0001; the true
// coordinates then are at least -delta, with delta the tolerance plus the
// computation's error, and the pixel centre, their weighted sum of the
// corners, lies at most 2 delta (hi - lo) outside lo..hi. The error stays
// below 1e-7 while twice the area is at least 1e-3 square pixels, the
// extents at most 64 pixels and the coordinates within 1e6; elsewhere
// (slivers, huge triangles) nothing is narrowed.
struct TInsideBounds {
    // lo and hi hold the box's corners, x in the low lane, y in the high one.
    static bool SafeFor(double D, __m128d lo, __m128d hi)
    {
        const __m128d ok = _mm_and_pd(_mm_cmple_pd(_mm_sub_pd(hi, lo), _mm_set1_pd(64.0)),
                                      _mm_and_pd(_mm_cmpge_pd(lo, _mm_set1_pd(-1e6)), _mm_cmple_pd(hi, _mm_set1_pd(1e6))));
        return std::fabs(D) >= 1e-3 && _mm_movemask_pd(ok) == 3;
    }
    // Narrows the columns and the rows; may leave first > last.
    __attribute__((always_inline)) static void Narrow(__m128d lo, __m128d hi, int& colFirst, int& colLast,
                                                      int& rowFirst, int& rowLast)
    {
        const __m128d margin = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(4e-4), _mm_sub_pd(hi, lo)),
                                          _mm_set1_pd(1e-6));   // delta below 2e-4
        const __m128d a = _mm_sub_pd(lo, margin), b = _mm_add_pd(hi, margin);   // within +-2e6
        __m128i up = _mm_cvttpd_epi32(a), down = _mm_cvttpd_epi32(b);   // truncated: ceil of a, floor of b below
        // Each 64-bit compare mask to the 32-bit lanes of the integers.
        auto lanes = [](__m128d mask) { return _mm_shuffle_epi32(_mm_castpd_si128(mask), _MM_SHUFFLE(2, 0, 2, 0)); };
        up = _mm_sub_epi32(up, lanes(_mm_cmplt_pd(_mm_cvtepi32_pd(up), a)));
        down = _mm_add_epi32(down, lanes(_mm_cmpgt_pd(_mm_cvtepi32_pd(down), b)));
        colFirst = std::max(colFirst, _mm_cvtsi128_si32(up));
        colLast = std::min(colLast, _mm_cvtsi128_si32(down));
        rowFirst = std::max(rowFirst, _mm_cvtsi128_si32(_mm_srli_si128(up, 4)));
        rowLast = std::min(rowLast, _mm_cvtsi128_si32(_mm_srli_si128(down, 4)));
    }
};

// Whether the scan may skip the rows and columns of a small box that cannot
// hold an inside pixel. Both draw the same pixels with the same values, bit
// for bit; tests pin the plain loop over the whole box to compare.
enum class TScanPath { Any, WholeBox };

// Whether b0, b1 (the lanes of b) and b2 = 1 - b0 - b1 all lie within
// lo..hi (broadcast), false for a NaN. Each lane takes b_k and b2 by their
// smaller and their larger, which is b2 when either is NaN (and b2 is NaN
// whenever b0 or b1 is): two comparisons instead of four.
__attribute__((always_inline)) inline bool KSN_InsideBarycentric(__m128d b, double b2, __m128d lo, __m128d hi)
{
    const __m128d all2 = _mm_set1_pd(b2);
    const __m128d within = _mm_and_pd(_mm_cmple_pd(lo, _mm_min_pd(b, all2)), _mm_cmple_pd(_mm_max_pd(b, all2), hi));
    return _mm_movemask_pd(within) == 3;
}

// Inlined into each rasteriser so that the kernel's fields stay in registers.
// A point's x and y, or a pixel's b0 and b1, share the two lanes of one
// register; each lane takes the double operations of the scalar formulas in
// their order, so the lanes hold the same bits.
template <class Kernel>
__attribute__((always_inline)) inline void KSN_ScanTriangle(const TScanTriangle& t, const Kernel& kernel,
                                                            TScanPath path = TScanPath::Any)
{
    if (t.Width <= 0 || t.Height <= 0) return;
    auto corner = [&](int k) {   // x - 0.5, y - 0.5
        const __m128 xy = _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(t.p[k])));
        return _mm_sub_pd(_mm_cvtps_pd(xy), _mm_set1_pd(0.5));
    };
    const __m128d p0 = corner(0), p1 = corner(1), p2 = corner(2);
    auto high = [](__m128d v) { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); };
    const double x0 = _mm_cvtsd_f64(p0), y0 = high(p0);
    const double x1 = _mm_cvtsd_f64(p1), y1 = high(p1);
    const double x2 = _mm_cvtsd_f64(p2), y2 = high(p2);
    const int band = t.ExtendEdges ? 2 : 0;
    // With a NaN corner the box may differ from a scalar min, but D below
    // is NaN then and nothing is drawn either way.
    const __m128d lo = _mm_min_pd(p0, _mm_min_pd(p1, p2)), hi = _mm_max_pd(p0, _mm_max_pd(p1, p2));
    // Truncation toward zero, kept within int range (NaN to the low end).
    auto truncCoords = [](__m128d v) {
        const __m128d limit = _mm_set1_pd(1e9);
        return _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(v, _mm_sub_pd(_mm_setzero_pd(), limit)), limit));
    };
    const __m128i loBox = truncCoords(lo), hiBox = truncCoords(hi);
    int minX = _mm_cvtsi128_si32(loBox) - band;
    int maxX = _mm_cvtsi128_si32(hiBox) + 1 + band;
    int minY = _mm_cvtsi128_si32(_mm_srli_si128(loBox, 4)) - band;
    int maxY = _mm_cvtsi128_si32(_mm_srli_si128(hiBox, 4)) + 1 + band;
    if (maxX < 0 || minX >= t.Width || maxY < 0 || minY >= t.Height) return;

    // d02 = p0 - p2, d12 = p1 - p2; the row formulas' factors in lanes:
    // A = (x1 - x2, x0 - x2), B = (y1 - y2, y0 - y2).
    const __m128d d02 = _mm_sub_pd(p0, p2), d12 = _mm_sub_pd(p1, p2);
    const __m128d A = _mm_unpacklo_pd(d12, d02), B = _mm_unpackhi_pd(d12, d02);
    const __m128d cross = _mm_mul_pd(A, _mm_shuffle_pd(B, B, 1));   // (x1-x2)(y0-y2), (x0-x2)(y1-y2)
    const double D = high(cross) - _mm_cvtsd_f64(cross);
    // A degenerate triangle has no inside; drawing its box would be wrong.
    if (!(std::fabs(D) > 1e-30)) return;
    const double invD = 1.0 / D, invNegD = -invD;   // 1 / (-D), exactly
    const __m128d inv = _mm_setr_pd(invD, invNegD);

    const float z0 = t.p[0][2], z1 = t.p[1][2], z2 = t.p[2][2];
    const bool depthVaries = std::fabs(z1 - z0) >= 1e-30f || std::fabs(z2 - z0) >= 1e-30f;

    // The band clip only narrows the rows: every pixel gets the values it
    // would get without it, so banded drawing matches drawing in one piece.
    const int rowFirst = std::max({minY, 0, t.ClipRowFirst});
    const int rowLast = std::min({maxY, t.Height - 1, t.ClipRowEnd - 1});
    const int colFirst = std::max(minX, 0), colLast = std::min(maxX, t.Width - 1);
    const __m128d step = _mm_mul_pd(B, inv);   // (y1 - y2) / D, (y0 - y2) / (-D)
    const double step0 = _mm_cvtsd_f64(step), step1 = high(step);
    // Value weights only where depth or the kernel's values vary.
    const bool valueWeights = (t.Depth && depthVaries) || kernel.NeedsValueWeights();

    // One pixel with barycentric coordinates b = (b0, b1) and b2: inside, or
    // d2 square pixels from the nearest edge in the band.
    auto drawPixel = [&](long long n, __m128d b, double b2, bool inside, double d2) {
        TScanWeights w;
        if (valueWeights) {
            const __m128 w01 = _mm_cvtpd_ps(_mm_max_pd(_mm_setzero_pd(), _mm_min_pd(KSN_Lanes(KSN_LanesOneD), b)));
            w.w[0] = _mm_cvtss_f32(w01);
            w.w[1] = _mm_cvtss_f32(_mm_shuffle_ps(w01, w01, 1));
            w.w[2] = 1.0f - w.w[0] - w.w[1];
        } else {
            w.w[0] = 1.0f;   // not read: nothing varies
            w.w[1] = w.w[2] = 0.0f;
        }
        if constexpr (Kernel::NeedsMapWeights) {
            // Inside, both lie within -0.0001..1.0001, where the clamp keeps
            // them, and m2 is b2's own expression.
            if (inside) {
                w.m[0] = _mm_cvtsd_f64(b);
                w.m[1] = high(b);
                w.m[2] = b2;
            } else {
                w.m[0] = KSN_ClampMinMax(_mm_cvtsd_f64(b), -0.3, 1.3);
                w.m[1] = KSN_ClampMinMax(high(b), -0.3, 1.3);
                w.m[2] = 1.0 - w.m[0] - w.m[1];
            }
        }
        if (t.Depth) {
            float& stored = t.Depth[n];
            if (inside) {
                float z = depthVaries ? w.w[0] * z0 + w.w[1] * z1 + w.w[2] * z2 : z0;
                // store: z within 0..1; test: 1 above 1, 1e-8 below 0, else z + 1e-8
                // (which stays at most 1 for z at most 1), NaN kept.
                float store = KSN_ClampMinMax(z, 0.0f, 1.0f);
                float test = KSN_ClampMinMax(z + 1e-8f, 1e-8f, 1.0f);
                if (stored > test) return;
                stored = store;
            } else {
                float v = float(int(255.0 / (1.0 + d2)));
                if (stored > v) return;
                stored = v;
            }
        }
        kernel(n, w);
    };

    auto invLen2 = [](double ax, double ay, double bx, double by) {
        double l = (bx - ax) * (bx - ax) + (by - ay) * (by - ay);
        return l <= 1e-30 ? 1e20 : 1.0 / l;
    };
    // Only the band needs the edge lengths.
    double inv01 = 0.0, inv02 = 0.0, inv12 = 0.0;
    if (t.ExtendEdges) {
        inv01 = invLen2(x0, y0, x1, y1);
        inv02 = invLen2(x0, y0, x2, y2);
        inv12 = invLen2(x1, y1, x2, y2);
    }
    // Narrowing the rows pays only for wide boxes; without the band only
    // inside pixels are drawn, so skipping the columns before the inside
    // span changes nothing.
    const bool narrowRows = !t.ExtendEdges && colLast - colFirst >= 8;
    TInsideSpan span;
    if (narrowRows) span.Setup(step0, step1);
    // Small boxes test only the rows and columns that can hold an inside
    // pixel; the columns before those still take their additions, so every
    // tested column keeps its bits.
    int rowTestFirst = rowFirst, rowTestLast = rowLast, colTestFirst = colFirst, colTestLast = colLast;
    if (path == TScanPath::Any && !t.ExtendEdges && !narrowRows && TInsideBounds::SafeFor(D, lo, hi))
        TInsideBounds::Narrow(lo, hi, colTestFirst, colTestLast, rowTestFirst, rowTestLast);

    const __m128d insideLo = KSN_Lanes(KSN_LanesInsideLoD), insideHi = KSN_Lanes(KSN_LanesInsideHiD);
    // b0 = ((x1 - x2)(y2 - j) + (y1 - y2)(i0 - x2)) / D, b1 likewise over -D,
    // at the column before first; then stepped up to the first tested
    // column, whose additions every tested column's bits depend on.
    auto rowStart = [&](int j, int& first) __attribute__((always_inline)) {
        const double i0 = double(first - 1);
        __m128d b = _mm_mul_pd(
            _mm_add_pd(_mm_mul_pd(A, _mm_set1_pd(y2 - j)), _mm_mul_pd(B, _mm_set1_pd(i0 - x2))), inv);
        for (; first < colTestFirst; ++first) b = _mm_add_pd(b, step);
        return b;
    };
    // The usual case (depth that varies, no band, no narrowed rows) has a
    // loop of its own for kernels that ask for it (`static constexpr bool
    // CommonCaseLoop = true`; worth it for small ones): the loop below with
    // its flags as constants, so a drawn pixel is always inside and always
    // takes its weights and depth. The same operations in the same order.
    if constexpr (requires { requires Kernel::CommonCaseLoop; }) {
        if (!t.ExtendEdges && !narrowRows && t.Depth && depthVaries) {
            for (int j = rowTestFirst; j <= rowTestLast; ++j) {
                int first = colFirst;
                __m128d b = rowStart(j, first);
                bool metInside = false;
                const long long rowBase = (long long)j * t.RowLength;
                for (int i = first; i <= colTestLast; ++i) {
                    b = _mm_add_pd(b, step);
                    const double b2 = 1.0 - _mm_cvtsd_f64(b) - high(b);
                    if (!KSN_InsideBarycentric(b, b2, insideLo, insideHi)) {
                        if (metInside) break;
                        continue;
                    }
                    metInside = true;
                    const long long n = rowBase + i;
                    TScanWeights w;
                    const __m128 w01 =
                        _mm_cvtpd_ps(_mm_max_pd(_mm_setzero_pd(), _mm_min_pd(KSN_Lanes(KSN_LanesOneD), b)));
                    w.w[0] = _mm_cvtss_f32(w01);
                    w.w[1] = _mm_cvtss_f32(_mm_shuffle_ps(w01, w01, 1));
                    w.w[2] = 1.0f - w.w[0] - w.w[1];
                    if constexpr (Kernel::NeedsMapWeights) {
                        w.m[0] = _mm_cvtsd_f64(b);
                        w.m[1] = high(b);
                        w.m[2] = b2;
                    }
                    float& stored = t.Depth[n];
                    const float z = w.w[0] * z0 + w.w[1] * z1 + w.w[2] * z2;
                    const float store = KSN_ClampMinMax(z, 0.0f, 1.0f);
                    const float test = KSN_ClampMinMax(z + 1e-8f, 1e-8f, 1.0f);
                    if (stored > test) continue;
                    stored = store;
                    kernel(n, w);
                }
            }
            return;
        }
    }
    for (int j = rowTestFirst; j <= rowTestLast; ++j) {
        int first = colFirst, last = colTestLast;
        if (narrowRows) {
            // Coordinates at column 0 of this row.
            const double base0 = ((x1 - x2) * (y2 - j) + (y1 - y2) * (-x2)) * invD;
            const double base1 = ((x0 - x2) * (y2 - j) + (y0 - y2) * (-x2)) * invNegD;
            if (!span.Narrow(base0, base1, first, last)) continue;
        }
        __m128d b = rowStart(j, first);
        bool metInside = false;
        const long long rowBase = (long long)j * t.RowLength;
        for (int i = first; i <= last; ++i) {
            b = _mm_add_pd(b, step);
            const double b2 = 1.0 - _mm_cvtsd_f64(b) - high(b);
            const bool inside = KSN_InsideBarycentric(b, b2, insideLo, insideHi);
            double d2 = 0.0;
            if (!inside) {
                bool inBand = false;
                if (t.ExtendEdges) {
                    d2 = std::min({KSN_SegmentDistance2(i, j, x0, y0, x1, y1, inv01),
                                   KSN_SegmentDistance2(i, j, x0, y0, x2, y2, inv02),
                                   KSN_SegmentDistance2(i, j, x1, y1, x2, y2, inv12)});
                    inBand = d2 <= 4.0;
                }
                if (!inBand) {
                    if (metInside) break;
                    continue;
                }
            } else {
                metInside = true;
            }
            drawPixel(rowBase + i, b, b2, inside, d2);
        }
    }
}

// [SECTION] Map sampling

// One axis of a bilinear sample: the texel, its neighbour and the fraction.
struct TSampleAxis {
    int i0 = 0, i1 = 0;
    float f = 0.0f;
};

// p in texels (already shifted by half a texel): clamped to the edge texels.
inline TSampleAxis KSN_ClampAxis(float p, int size)
{
    TSampleAxis a;
    if (!(p >= 0.0f)) return a;   // negative (or NaN): the first texel, no blend
    if (p > float(size - 1)) p = float(size - 1);
    a.i0 = int(p);
    if (a.i0 > size - 1) a.i0 = size - 1;
    a.f = p - float(a.i0);
    a.i1 = std::min(a.i0 + 1, size - 1);
    return a;
}

// KSN_ClampAxis for p known to lie within 0 <= p < size - 1: no clamps.
inline TSampleAxis KSN_InsideAxis(float p)
{
    TSampleAxis a;
    a.i0 = int(p);
    a.f = p - float(a.i0);
    a.i1 = a.i0 + 1;
    return a;
}

// p in texels: wrapped into the map so that the map tiles; the last texel's
// neighbour is itself.
inline TSampleAxis KSN_WrapAxis(float p, int size)
{
    TSampleAxis a;
    if (!std::isfinite(p)) p = 0.0f;
    const float s = float(size);
    if (p < 0.0f) p = s - ((-p) - std::trunc(-p / s) * s);
    if (p > s - 1.0f) p = p - std::trunc(p / s) * s;
    if (p > s - 1.0f || p < 0.0f) {
        a.i0 = a.i1 = size - 1;
        return a;
    }
    a.i0 = std::min(int(p), size - 1);
    a.f = p - float(a.i0);
    a.i1 = std::min(a.i0 + 1, size - 1);
    return a;
}

// The three channels of the bilinear blend of 3-byte texels, truncated.
inline void KSN_Bilinear3(const uint8_t* map, int mapWidth, const TSampleAxis& u, const TSampleAxis& v, int* out)
{
    const uint8_t* r0 = map + (long long)v.i0 * mapWidth * 3;
    const uint8_t* r1 = map + (long long)v.i1 * mapWidth * 3;
    const uint8_t *a = r0 + u.i0 * 3, *b = r0 + u.i1 * 3, *c = r1 + u.i0 * 3, *d = r1 + u.i1 * 3;
    const float fu = u.f, gu = 1.0f - u.f, fv = v.f, gv = 1.0f - v.f;
    for (int k = 0; k < 3; ++k) out[k] = int((a[k] * gu + b[k] * fu) * gv + (c[k] * gu + d[k] * fu) * fv);
}

// The upper left of a sample's four texels, from its whole column and row
// (lanes 0 and 1, not negative inside the map).
inline const uint8_t* KSN_UpperLeftTexel(const uint8_t* map, unsigned rowBytes, __m128i whole)
{
    const unsigned column = unsigned(_mm_cvtsi128_si32(whole));
    const unsigned row = unsigned(_mm_cvtsi128_si32(_mm_shuffle_epi32(whole, 1)));
    return map + (uint64_t(row) * rowBytes + column * 3ull);
}

// Blends the four texels (a b above, c d below, each channel in its lane) by
// the fractions f (lane 0 across, lane 1 down) and truncates.
inline __m128i KSN_Bilinear3Blend(__m128 fa, __m128 fb, __m128 fc, __m128 fd, __m128 f)
{
    const __m128 g = _mm_sub_ps(KSN_Lanes(KSN_LanesOneF), f);
    const __m128 gu = _mm_shuffle_ps(g, g, 0), fu = _mm_shuffle_ps(f, f, 0);
    const __m128 gv = _mm_shuffle_ps(g, g, 0x55), fv = _mm_shuffle_ps(f, f, 0x55);
    const __m128 upper = _mm_add_ps(_mm_mul_ps(fa, gu), _mm_mul_ps(fb, fu));
    const __m128 lower = _mm_add_ps(_mm_mul_ps(fc, gu), _mm_mul_ps(fd, fu));
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(upper, gv), _mm_mul_ps(lower, fv)));
}

// KSN_Bilinear3 for samples inside the map (KSN_InsideAxis on both axes:
// neighbours one texel right and one row down), all in SSE2 lanes: `whole`
// holds the texel column and row (i0 of u and v) in its low two int lanes,
// `f` the fractions in its low two float lanes, rowBytes is 3 × the map's
// width. Each pair of neighbouring texels comes from one eight-byte load
// that stays within the map: the upper row's has a row below it to read
// into, the lower row's starts two bytes early (that row may be the map's
// last). The same float operations per channel in the same order, so the
// same values come out: lanes 0..2 hold the channels, lane 3 a value 0..255
// of no meaning.
inline __m128i KSN_Bilinear3Inside(const uint8_t* map, unsigned rowBytes, __m128i whole, __m128 f)
{
    const uint8_t* a = KSN_UpperLeftTexel(map, rowBytes, whole);
    const __m128i zero = _mm_setzero_si128();
    // 16-bit lanes a0 a1 a2 b0 b1 b2 x x, and c0 c1 c2 d0 d1 d2 0 0.
    const __m128i top = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)), zero);
    const __m128i bottom = _mm_unpacklo_epi8(
        _mm_srli_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + rowBytes - 2)), 16), zero);
    const __m128 fa = _mm_cvtepi32_ps(_mm_unpacklo_epi16(top, zero));
    const __m128 fb = _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_srli_si128(top, 6), zero));
    const __m128 fc = _mm_cvtepi32_ps(_mm_unpacklo_epi16(bottom, zero));
    const __m128 fd = _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_srli_si128(bottom, 6), zero));
    return KSN_Bilinear3Blend(fa, fb, fc, fd, f);
}

// KSN_Bilinear3Inside for the AVX2 copies only: each texel read by a widening
// four-byte load of its own (vpmovzxbd, written as assembly because the
// intrinsic cannot be inlined through the scan's default-target lambdas),
// all within the map: the lower row's right texel starts a byte early (it
// may be the map's last) and drops that byte. The same values.
inline __m128i KSN_Bilinear3InsideWide(const uint8_t* map, unsigned rowBytes, __m128i whole, __m128 f)
{
    const uint8_t* a = KSN_UpperLeftTexel(map, rowBytes, whole);
    struct TFour {
        uint8_t b[4];
    };
    auto texel = [](const uint8_t* p) {
        __m128i v;
        asm("vpmovzxbd %1, %0" : "=x"(v) : "m"(*reinterpret_cast<const TFour*>(p)));
        return _mm_cvtepi32_ps(v);
    };
    const __m128 fa = texel(a), fb = texel(a + 3), fc = texel(a + rowBytes);
    const __m128 fd = _mm_castsi128_ps(_mm_srli_si128(_mm_castps_si128(texel(a + rowBytes + 2)), 4));
    return KSN_Bilinear3Blend(fa, fb, fc, fd, f);
}

// KSN_Bilinear3Inside for one sample given by its two axes (i1 = i0 + 1).
inline void KSN_Bilinear3Adjacent(const uint8_t* map, int mapWidth, const TSampleAxis& u, const TSampleAxis& v,
                                  int* out)
{
    const __m128i sum = KSN_Bilinear3Inside(map, unsigned(mapWidth) * 3u, _mm_setr_epi32(u.i0, v.i0, 0, 0),
                                            _mm_setr_ps(u.f, v.f, 0.0f, 0.0f));
    out[0] = _mm_cvtsi128_si32(sum);
    out[1] = _mm_cvtsi128_si32(_mm_srli_si128(sum, 4));
    out[2] = _mm_cvtsi128_si32(_mm_srli_si128(sum, 8));
}

// Channel c of the bilinear blend of 3-byte (stride 3) or 1-byte texels, truncated.
inline int KSN_Bilinear(const uint8_t* map, int mapWidth, int stride, const TSampleAxis& u, const TSampleAxis& v, int c)
{
    const uint8_t* r0 = map + (long long)v.i0 * mapWidth * stride;
    const uint8_t* r1 = map + (long long)v.i1 * mapWidth * stride;
    float top = r0[u.i0 * stride + c] * (1.0f - u.f) + r0[u.i1 * stride + c] * u.f;
    float bottom = r1[u.i0 * stride + c] * (1.0f - u.f) + r1[u.i1 * stride + c] * u.f;
    return int(top * (1.0f - v.f) + bottom * v.f);
}
