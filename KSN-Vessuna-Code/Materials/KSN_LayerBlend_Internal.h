// The one pixel scan behind every layer blend kernel. A blend type supplies
// only an operation: what a resolved pixel becomes under the layer pixel at a
// given pixel alpha. The scan owns the rectangle, the strength byte, the mask
// path and the resolved alpha. Used only by the KSN_LayerBlend*.cpp files.
//
// An operation is a struct deriving from TLayerBlendOp with
//     void Apply(TLayerBlendTexel& t) const;
// and may override the traits below.
#pragma once

#include "KSN_LayerBlend.h"
#include "KSN_MapLayer.h"
#include "QORLookupTables.h"

#include <cassert>
#include <cstdint>
#include <cstring>
#include <immintrin.h>

// One pixel as an operation sees it. Alpha is never 0 here.
struct TLayerBlendTexel {
    unsigned char* Pixel;        // the resolved R, G, B, written in place
    const unsigned char* Layer;  // the layer's R, G, B
    int Alpha;                   // pixel alpha a, 1..255
    int Strength;                // the call's strength byte P, 0..255
};

struct TLayerBlendOp {
    // At a = 255 the pixel simply becomes the layer's (the mix gives the same),
    // so a full-strength layer without a mask is copied row by row.
    static constexpr bool OpaqueIsCopy = false;
    // Worth a test per pixel to skip a = 0. For the cheap operations a = 0
    // already gives the pixel back unchanged, and the loop stays free of
    // branches on the mask.
    static constexpr bool SkipsTransparentPixels = false;
    // Reads Saturation_Up_Table / Adjust_Saturation_Before_Lightness_To_Target_Table.
    static constexpr bool ReadsSaturationTables = false;
    // Has a vector form, static TBlendLanes Lanes(d, s) (see the vector rows).
    static constexpr bool HasLanes = false;
    // Brings its own vector rows instead (an operation that is not channel by
    // channel): template <ELayerBlendPath Path> static void Rows(same
    // arguments as LayerBlendVectorRows), with the scalar pixel at its ragged ends.
    static constexpr bool OwnRows = false;
};

// Each channel moves toward result(d, t) by the pixel alpha.
template <class Result>
inline void MixEachChannel(TLayerBlendTexel& t, Result result)
{
    for (int c = 0; c < 3; ++c)
        t.Pixel[c] = KSN_MixByte(t.Pixel[c], result(int(t.Pixel[c]), int(t.Layer[c])), t.Alpha);
}

// Grey level of the layer pixel: (R + G + B) / 3.
inline int LayerAverage(const TLayerBlendTexel& t)
{
    return (int(t.Layer[0]) + int(t.Layer[1]) + int(t.Layer[2])) / 3;
}

// Strength 0..1 to the byte P; anything out of range (or not a number) is
// held inside 0..255.
inline int LayerBlendStrengthByte(float strength)
{
    const float p = strength * 255.0f;
    if (p > 255.0f)
        return 255;
    if (p >= 0.0f)
        return int(p);
    return 0;
}

enum class ELayerBlendPath {
    FullStrength,   // no mask, strength >= 0.9999: a = P, coverage becomes 255
    Unmasked,       // no mask, weaker: a = P, coverage accumulates
    Masked,         // a = m * P / 255, coverage accumulates
};

// One pixel of the scan: alpha, operation, coverage. The scalar rows run it
// for every pixel; the vector rows for the ragged ends of a row.
template <class Op, ELayerBlendPath Path>
inline __attribute__((always_inline)) void LayerBlendPixel(const Op& op, unsigned char* __restrict__ resolved,
                                                           unsigned char* __restrict__ resolvedAlpha,
                                                           const unsigned char* __restrict__ layerPixels,
                                                           const unsigned char* __restrict__ layerMask, size_t i, int P)
{
    int a = P;
    if constexpr (Path == ELayerBlendPath::Masked)
        a = KSN_Div255(int(layerMask[i]) * P);
    if constexpr (Op::SkipsTransparentPixels) {
        if (a == 0)
            return;
    }

    TLayerBlendTexel t{resolved + 3 * i, layerPixels + 3 * i, a, P};
    op.Apply(t);

    if constexpr (Path == ELayerBlendPath::FullStrength)
        resolvedAlpha[i] = 255;
    else
        resolvedAlpha[i] = KSN_AddCoverage(resolvedAlpha[i], a);
}

// [SECTION] Vector rows
//
// Sixteen pixels at a time: their 48 colour bytes as three vectors of sixteen
// 16-bit lanes, each lane a channel of the resolved and of the layer image,
// with the pixel alpha repeated over the three channels of its pixel. Every
// step is the scalar arithmetic lane by lane (the exact /255 by multiply and
// shift), so the bytes are the scalar kernel's. An operation with a vector
// form supplies
//     static TBlendLanes Lanes(TBlendLanes d, TBlendLanes s);
// giving result(d, s) per lane, and sets HasLanes.

// The lane helpers and the operations' Lanes are inlined into the kernels, so
// the ABI for passing 32-byte vectors (which differs with and without AVX)
// never applies to them; only the blend sources include this header.
#pragma GCC diagnostic ignored "-Wpsabi"

using TBlendBytes = unsigned char __attribute__((vector_size(16)));
using TBlendLanes = unsigned short __attribute__((vector_size(32)));
using TBlendSignedLanes = short __attribute__((vector_size(32)));

inline __attribute__((always_inline)) TBlendLanes BlendSplat(int v)
{
    const unsigned short u = static_cast<unsigned short>(v);
    return TBlendLanes{u, u, u, u, u, u, u, u, u, u, u, u, u, u, u, u};
}

inline __attribute__((always_inline)) TBlendLanes BlendLoad(const unsigned char* p)
{
    TBlendBytes b;
    std::memcpy(&b, p, sizeof b);
    return __builtin_convertvector(b, TBlendLanes);
}

inline __attribute__((always_inline)) void BlendStore(unsigned char* p, TBlendLanes v)
{
    const TBlendBytes b = __builtin_convertvector(v, TBlendBytes);
    std::memcpy(p, &b, sizeof b);
}

// v / 255 for 0 <= v <= 65025 (a product of two bytes), exact.
inline __attribute__((always_inline)) TBlendLanes BlendDiv255(TBlendLanes v)
{
    return (v + 1 + (v >> 8)) >> 8;
}

inline __attribute__((always_inline)) TBlendLanes BlendSelect(TBlendLanes mask, TBlendLanes yes, TBlendLanes no)
{
    return (yes & mask) | (no & ~mask);
}

inline __attribute__((always_inline)) TBlendLanes BlendMin(TBlendLanes a, TBlendLanes b)
{
    return BlendSelect(TBlendLanes(a < b), a, b);
}

inline __attribute__((always_inline)) TBlendLanes BlendMax(TBlendLanes a, TBlendLanes b)
{
    return BlendSelect(TBlendLanes(a > b), a, b);
}

// Signed lanes held inside 0..255.
inline __attribute__((always_inline)) TBlendLanes BlendClampByte(TBlendSignedLanes v)
{
    const TBlendSignedLanes zero = TBlendSignedLanes(BlendSplat(0)), top = TBlendSignedLanes(BlendSplat(255));
    v = v < zero ? zero : v;
    v = v > top ? top : v;
    return TBlendLanes(v);
}

// KSN_MixByte lane by lane: d + (r - d) * a / 255 truncated toward zero, as
// the magnitude's quotient added or taken away.
inline __attribute__((always_inline)) TBlendLanes BlendMix(TBlendLanes d, TBlendLanes r, TBlendLanes a)
{
    const TBlendLanes up = TBlendLanes(r >= d);
    const TBlendLanes q = BlendDiv255((BlendMax(r, d) - BlendMin(r, d)) * a);
    return BlendSelect(up, d + q, d - q);
}

template <class Op, ELayerBlendPath Path>
inline __attribute__((always_inline)) void LayerBlendVectorRows(const Op& op, unsigned char* __restrict__ resolved,
                                                                unsigned char* __restrict__ resolvedAlpha,
                                                                const unsigned char* __restrict__ layerPixels,
                                                                const unsigned char* __restrict__ layerMask, int x0,
                                                                int y0, int x1, int y1, int width, int P)
{
    // Which of the sixteen pixel alphas each colour byte of the three vectors takes.
    constexpr TBlendBytes Spread[3] = {
        {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5},
        {5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10},
        {10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15},
    };
    const TBlendLanes strength = BlendSplat(P);
    for (int y = y0; y < y1; ++y) {
        const size_t row = size_t(y) * size_t(width);
        int x = x0;
        for (; x + 16 <= x1; x += 16) {
            const size_t i = row + size_t(x);
            TBlendLanes a = strength;
            if constexpr (Path == ELayerBlendPath::Masked)
                a = BlendDiv255(BlendLoad(layerMask + i) * strength);
            const TBlendBytes a8 = __builtin_convertvector(a, TBlendBytes);
            for (int k = 0; k < 3; ++k) {
                unsigned char* D = resolved + 3 * i + 16 * size_t(k);
                const TBlendLanes d = BlendLoad(D);
                const TBlendLanes s = BlendLoad(layerPixels + 3 * i + 16 * size_t(k));
                const TBlendLanes ak = __builtin_convertvector(__builtin_shuffle(a8, Spread[k]), TBlendLanes);
                BlendStore(D, BlendMix(d, Op::Lanes(d, s), ak));
            }
            if constexpr (Path == ELayerBlendPath::FullStrength) {
                std::memset(resolvedAlpha + i, 255, 16);
            } else {
                const TBlendLanes A = BlendLoad(resolvedAlpha + i);
                BlendStore(resolvedAlpha + i, A + BlendDiv255(a * (BlendSplat(255) - A)));
            }
        }
        for (; x < x1; ++x)
            LayerBlendPixel<Op, Path>(op, resolved, resolvedAlpha, layerPixels, layerMask, row + size_t(x), P);
    }
}

// [SECTION] AVX2 rows
//
// The same sixteen pixels a step, in AVX2 registers where the processor has
// them (chosen per call, LayerBlendUsesAvx2Rows). The mix takes one form that
// needs no unsigned compare: d + (r - d) * a / 255 truncated toward zero is
// (d * (255 - a) + r * a + (r < d ? 254 : 0)) / 255 rounded down, a sum below
// 2^16, and the quotient by 255 of any 16-bit value is its high product with
// 0x8081 shifted by 7 (0x8081 * 255 = 2^23 + 127, so the error stays below
// 1/255). The operations' Lanes run inside these rows compiled for AVX2.

// False where the processor lacks AVX2 or a test turned the rows off.
bool LayerBlendUsesAvx2Rows();

#pragma GCC push_options
#pragma GCC target("avx2")

inline __attribute__((always_inline)) __m256i Avx2Div255(__m256i v)
{
    return _mm256_srli_epi16(_mm256_mulhi_epu16(v, _mm256_set1_epi16(short(0x8081))), 7);
}

// Sixteen bytes as sixteen 16-bit lanes, and back.
inline __attribute__((always_inline)) __m256i Avx2Load(const unsigned char* p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

inline __attribute__((always_inline)) __m128i Avx2Narrow(__m256i v)
{
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

inline __attribute__((always_inline)) void Avx2Store(unsigned char* p, __m256i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), Avx2Narrow(v));
}

// KSN_MixByte lane by lane for d, r, a in 0..255.
inline __attribute__((always_inline)) __m256i Avx2Mix(__m256i d, __m256i r, __m256i a)
{
    const __m256i kept = _mm256_mullo_epi16(d, _mm256_sub_epi16(_mm256_set1_epi16(255), a));
    const __m256i sum = _mm256_add_epi16(kept, _mm256_mullo_epi16(r, a));
    const __m256i down = _mm256_and_si256(_mm256_cmpgt_epi16(d, r), _mm256_set1_epi16(254));
    return Avx2Div255(_mm256_add_epi16(sum, down));
}

// Asks for the layer bytes two rows below p (the rows the next band of a
// compositing run reads) while this band works in cache. Only a hint: an
// address past the image is never read.
inline __attribute__((always_inline)) void Avx2PrefetchNextBand(const unsigned char* p, size_t rowBytes)
{
    _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p) + 2 * rowBytes), _MM_HINT_T0);
}

template <class Op, ELayerBlendPath Path>
__attribute__((noinline)) void LayerBlendAvx2Rows(const Op& op, unsigned char* __restrict__ resolved,
                                                  unsigned char* __restrict__ resolvedAlpha,
                                                  const unsigned char* __restrict__ layerPixels,
                                                  const unsigned char* __restrict__ layerMask, int x0, int y0, int x1,
                                                  int y1, int width, int P)
{
    // Which of the sixteen pixel alphas each colour byte of the three vectors takes.
    const __m128i spread[3] = {
        _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5),
        _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10),
        _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15),
    };
    const __m256i strength = _mm256_set1_epi16(short(P));
    const __m256i full = _mm256_set1_epi16(255);
    // Without a mask at full strength every pixel takes the result as it is.
    const bool opaque = Path == ELayerBlendPath::FullStrength && P == 255;
    for (int y = y0; y < y1; ++y) {
        const size_t row = size_t(y) * size_t(width);
        int x = x0;
        for (; x + 16 <= x1; x += 16) {
            const size_t i = row + size_t(x);
            Avx2PrefetchNextBand(layerPixels + 3 * i, 3 * size_t(width));
            if constexpr (Path == ELayerBlendPath::Masked)
                Avx2PrefetchNextBand(layerMask + i, size_t(width));
            __m256i a = strength;
            __m256i ak[3] = {strength, strength, strength};
            if constexpr (Path == ELayerBlendPath::Masked) {
                // Painted layers are mostly unmasked space: sixteen pixels at
                // a = 0 keep their colour and coverage, whatever the operation.
                const __m128i m8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(layerMask + i));
                if (_mm_testz_si128(m8, m8))
                    continue;
                // A fully covered group under a layer at full strength takes
                // the operation's result as it is (the mix at a = 255 gives
                // it back) and full coverage; for Normal that is a copy.
                if (P == 255 && _mm_testc_si128(m8, _mm_set1_epi8(-1))) {
                    if constexpr (Op::OpaqueIsCopy) {
                        std::memcpy(resolved + 3 * i, layerPixels + 3 * i, 48);
                    } else {
                        for (int k = 0; k < 3; ++k) {
                            unsigned char* D = resolved + 3 * i + 16 * size_t(k);
                            const __m256i s = Avx2Load(layerPixels + 3 * i + 16 * size_t(k));
                            Avx2Store(D, __m256i(Op::Lanes(TBlendLanes(Avx2Load(D)), TBlendLanes(s))));
                        }
                    }
                    std::memset(resolvedAlpha + i, 255, 16);
                    continue;
                }
                a = Avx2Div255(_mm256_mullo_epi16(_mm256_cvtepu8_epi16(m8), strength));
                const __m128i a8 = Avx2Narrow(a);
                for (int k = 0; k < 3; ++k) ak[k] = _mm256_cvtepu8_epi16(_mm_shuffle_epi8(a8, spread[k]));
            }
            for (int k = 0; k < 3; ++k) {
                unsigned char* D = resolved + 3 * i + 16 * size_t(k);
                const __m256i d = Avx2Load(D);
                const __m256i s = Avx2Load(layerPixels + 3 * i + 16 * size_t(k));
                const __m256i r = __m256i(Op::Lanes(TBlendLanes(d), TBlendLanes(s)));
                Avx2Store(D, opaque ? r : Avx2Mix(d, r, ak[k]));
            }
            if constexpr (Path == ELayerBlendPath::FullStrength) {
                std::memset(resolvedAlpha + i, 255, 16);
            } else {
                const __m256i A = Avx2Load(resolvedAlpha + i);
                Avx2Store(resolvedAlpha + i,
                          _mm256_add_epi16(A, Avx2Div255(_mm256_mullo_epi16(a, _mm256_sub_epi16(full, A)))));
            }
        }
        for (; x < x1; ++x)
            LayerBlendPixel<Op, Path>(op, resolved, resolvedAlpha, layerPixels, layerMask, row + size_t(x), P);
    }
}

#pragma GCC pop_options

// [SECTION] The scan

template <class Op, ELayerBlendPath Path, bool Vector>
inline __attribute__((always_inline)) void LayerBlendScanRows(const Op& op, unsigned char* __restrict__ resolved,
                                                              unsigned char* __restrict__ resolvedAlpha,
                                                              const unsigned char* __restrict__ layerPixels,
                                                              const unsigned char* __restrict__ layerMask, int x0,
                                                              int y0, int x1, int y1, int width, int P)
{
    if constexpr (Vector && Op::OwnRows) {
        Op::template Rows<Path>(op, resolved, resolvedAlpha, layerPixels, layerMask, x0, y0, x1, y1, width, P);
    } else if constexpr (Vector) {
        if (LayerBlendUsesAvx2Rows()) {
            LayerBlendAvx2Rows<Op, Path>(op, resolved, resolvedAlpha, layerPixels, layerMask, x0, y0, x1, y1, width, P);
            return;
        }
        LayerBlendVectorRows<Op, Path>(op, resolved, resolvedAlpha, layerPixels, layerMask, x0, y0, x1, y1, width, P);
    } else {
        for (int y = y0; y < y1; ++y) {
            const size_t row = size_t(y) * size_t(width);
            for (int x = x0; x < x1; ++x)
                LayerBlendPixel<Op, Path>(op, resolved, resolvedAlpha, layerPixels, layerMask, row + size_t(x), P);
        }
    }
}

// The whole kernel: strength byte and path chosen once, then one scan.
// Vector selects the sixteen-pixel rows of an operation with lanes.
template <class Op, bool Vector = false>
inline __attribute__((always_inline)) void LayerBlendScan(const Op& op, KSN_MIX_MAP_LAYERS_PARAMS)
{
    (void)height;
    if (x1 <= x0 || y1 <= y0)
        return;
    assert(layer && resolved && resolvedAlpha && layerPixels && "a blend kernel needs a layer and its three images");
    if constexpr (Op::ReadsSaturationTables)
        assert(Saturation_Up_Table && Adjust_Saturation_Before_Lightness_To_Target_Table &&
               "build the saturation tables at start-up before compositing");

    const float strength = layer->GetStrength();
    const int P = LayerBlendStrengthByte(strength);
    if constexpr (Op::OpaqueIsCopy) {
        if (!layerMask && P == 255) {
            const size_t n = size_t(x1 - x0);
            for (int y = y0; y < y1; ++y) {
                const size_t i = size_t(y) * size_t(width) + size_t(x0);
                std::memcpy(resolved + 3 * i, layerPixels + 3 * i, 3 * n);
                std::memset(resolvedAlpha + i, 255, n);
            }
            return;
        }
    }
    if (layerMask)
        LayerBlendScanRows<Op, ELayerBlendPath::Masked, Vector>(op, resolved, resolvedAlpha, layerPixels, layerMask, x0,
                                                                y0, x1, y1, width, P);
    else if (strength >= 0.9999f)
        LayerBlendScanRows<Op, ELayerBlendPath::FullStrength, Vector>(op, resolved, resolvedAlpha, layerPixels, nullptr,
                                                                      x0, y0, x1, y1, width, P);
    else
        LayerBlendScanRows<Op, ELayerBlendPath::Unmasked, Vector>(op, resolved, resolvedAlpha, layerPixels, nullptr, x0,
                                                                  y0, x1, y1, width, P);
}

// Defines the kernel of a blend type as the scan with its operation, and its
// scalar reference (the same scan, one pixel at a time).
#define KSN_DEFINE_MIX_MAP_LAYERS(Kernel, Op)                                                          \
    void Kernel##_Scalar(KSN_MIX_MAP_LAYERS_PARAMS) { LayerBlendScan(Op{}, KSN_MIX_MAP_LAYERS_ARGS); } \
    void Kernel(KSN_MIX_MAP_LAYERS_PARAMS) { LayerBlendScan(Op{}, KSN_MIX_MAP_LAYERS_ARGS); }

// The same, where the kernel takes a faster operation with the same bytes
// (FastOp, e.g. reciprocals for divisions) than the reference (Op).
#define KSN_DEFINE_MIX_MAP_LAYERS_FAST(Kernel, Op, FastOp)                                             \
    void Kernel##_Scalar(KSN_MIX_MAP_LAYERS_PARAMS) { LayerBlendScan(Op{}, KSN_MIX_MAP_LAYERS_ARGS); } \
    void Kernel(KSN_MIX_MAP_LAYERS_PARAMS) { LayerBlendScan(FastOp{}, KSN_MIX_MAP_LAYERS_ARGS); }

// The kernel of an operation with lanes: sixteen pixels at a time, built for
// AVX2 and for plain x86-64 and picked when the program starts.
#define KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(Kernel, Op)                                                   \
    void Kernel##_Scalar(KSN_MIX_MAP_LAYERS_PARAMS) { LayerBlendScan(Op{}, KSN_MIX_MAP_LAYERS_ARGS); } \
    __attribute__((target_clones("avx2", "default"))) void Kernel(KSN_MIX_MAP_LAYERS_PARAMS)           \
    {                                                                                                  \
        LayerBlendScan<Op, true>(Op{}, KSN_MIX_MAP_LAYERS_ARGS);                                       \
    }
