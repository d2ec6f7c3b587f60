// Layer blend kernels that work in hue, lightness and saturation, and the
// conversion between RGB and HLS they share.
//
// Each kernel converts the resolved pixel (and the layer pixel where it takes
// its hue, lightness or saturation) to HLS, forms a new triple, converts it
// back and mixes the result in by the pixel alpha. RGBToHLS is integer only;
// HLSToRGB is the classic two-value (m1, m2) hue-sector conversion in 32-bit
// floating point, the only floating point of the compositing.
//
// [SECTION] Colour conversion
// [SECTION] HLS operations
// [SECTION] Kernels
#include "KSN_LayerBlend_Internal.h"

#include <cstdint>

// [SECTION] Colour conversion

namespace {

// The integer conversion with its divisions left to the caller: div(n, d) for n >= 0 and sdiv(n, d) for signed n,
// both truncating toward zero, so the plain and the fast forms give the same bytes.
template <class Div, class SignedDiv>
inline void RGBToHLSWith(unsigned char* hls, const unsigned char* rgb, Div div, SignedDiv sdiv)
{
    const int r = rgb[0], g = rgb[1], b = rgb[2];
    const int mx = std::max({r, g, b});
    const int mn = std::min({r, g, b});
    const int l = (mx + mn) >> 1;
    hls[1] = static_cast<unsigned char>(l);
    if (mx == mn) {
        hls[0] = 0;
        hls[2] = 0;
        return;
    }

    const int delta = mx - mn;
    hls[2] = static_cast<unsigned char>(div(delta * 255, l < 128 ? mx + mn : 510 - mx - mn));

    // Six sectors of 255 steps each, so the circle has 1530 steps before /6.
    // Where two channels share the maximum the later test decides.
    int h = 0;
    if (r == mx)
        h = sdiv((g - b) * 255, delta);
    if (g == mx)
        h = sdiv((b - r) * 255, delta) + 510;
    if (b == mx)
        h = sdiv((r - g) * 255, delta) + 1020;
    // A slightly negative hue (red toward magenta) wraps to the top of the circle.
    hls[0] = static_cast<unsigned char>(h / 6);
}

} // namespace

void RGBToHLS(unsigned char* hls, const unsigned char* rgb)
{
    const auto divide = [](int n, int d) { return n / d; };
    RGBToHLSWith(hls, rgb, divide, divide);
}

namespace {

// ceil(2^32 / d): n * R[d] >> 32 is n / d exactly for 0 <= n < 2^16 and
// 1 <= d <= 510 (the error n * (R[d] * d - 2^32) stays below 2^32), so the
// kernels divide by multiplying.
struct THlsReciprocals {
    uint64_t R[511] = {};
    constexpr THlsReciprocals()
    {
        for (uint64_t d = 1; d < 511; ++d) R[d] = ((uint64_t(1) << 32) + d - 1) / d;
    }
};
constexpr THlsReciprocals HlsReciprocals;

inline int HlsQuotient(int n, int d)
{
    return int((uint64_t(n) * HlsReciprocals.R[d]) >> 32);
}

// n / d truncated toward zero for |n| < 2^16.
inline int HlsSignedQuotient(int n, int d)
{
    return n < 0 ? -HlsQuotient(-n, d) : HlsQuotient(n, d);
}

// RGBToHLS with the divisions as reciprocal multiplies; the same bytes.
inline void RGBToHLSFast(unsigned char* hls, const unsigned char* rgb)
{
    RGBToHLSWith(
        hls, rgb, [](int n, int d) { return HlsQuotient(n, d); }, [](int n, int d) { return HlsSignedQuotient(n, d); });
}

// Channel value 0..1 at hue angle g (degrees, 0..360) between the two values.
float HueSectorValue(float m1, float m2, float g)
{
    if (g < 60.0f)
        return m1 + ((m2 - m1) * g) / 60.0f;
    if (g < 180.0f)
        return m2;
    if (g < 240.0f)
        return m1 + ((m2 - m1) * (240.0f - g)) / 60.0f;
    return m1;
}

float WrapAngle(float g)
{
    if (g > 360.0f)
        return g - 360.0f;
    if (g < 0.0f)
        return g + 360.0f;
    return g;
}

// 0..1 to a byte, halves rounded up.
unsigned char UnitToByte(float v)
{
    const float scaled = v * 255.0f;
    const int n = int(scaled);
    return KSN_ClampByte(scaled - float(n) >= 0.5f ? n + 1 : n);
}

} // namespace

namespace {

inline void HLSToRGBInline(unsigned char* rgb, const unsigned char* hls)
{
    const int H = hls[0], L = hls[1], S = hls[2];
    if (L == 255 || L == 0 || S == 0) {
        const unsigned char grey = static_cast<unsigned char>(L);
        rgb[0] = rgb[1] = rgb[2] = grey;
        return;
    }

    const float l = float(L) / 255.0f;
    const float s = float(S) / 255.0f;
    const float m2 = l > 0.5f ? l + s - l * s : (s + 1.0f) * l;
    const float m1 = (l + l) - m2;
    const float hue = (float(H) / 255.0f) * 360.0f;

    rgb[0] = UnitToByte(HueSectorValue(m1, m2, WrapAngle(hue + 120.0f)));
    rgb[1] = UnitToByte(HueSectorValue(m1, m2, WrapAngle(hue)));
    rgb[2] = UnitToByte(HueSectorValue(m1, m2, WrapAngle(hue - 120.0f)));
}

} // namespace

void HLSToRGB(unsigned char* rgb, const unsigned char* hls)
{
    HLSToRGBInline(rgb, hls);
}

namespace {

// [SECTION] HLS operations

enum { Hh, Ll, Ss };

// The pixel moves toward the colour of the triple hls by the pixel alpha.
inline void MixTowardHLS(TLayerBlendTexel& t, const unsigned char* hls)
{
    unsigned char c[3];
    HLSToRGBInline(c, hls);
    for (int k = 0; k < 3; ++k)
        t.Pixel[k] = KSN_MixByte(t.Pixel[k], c[k], t.Alpha);
}

// Every HLS operation converts twice per pixel, so it skips pixels with a = 0.
struct THlsOp : TLayerBlendOp {
    static constexpr bool SkipsTransparentPixels = true;
};

// Shared frame: the resolved pixel's HLS (and the layer's, when an operation
// reads it), the operation's new triple, the mix.
// Fast converts by reciprocals (the kernels), otherwise by division (the
// scalar references).
template <bool ReadsLayerHLS, bool Fast, class NewTriple>
inline void ApplyInHLS(TLayerBlendTexel& t, NewTriple newTriple)
{
    unsigned char d[3];
    unsigned char s[3] = {0, 0, 0};
    const auto toHLS = [](unsigned char* hls, const unsigned char* rgb) {
        if constexpr (Fast)
            RGBToHLSFast(hls, rgb);
        else
            RGBToHLS(hls, rgb);
    };
    toHLS(d, t.Pixel);
    if constexpr (ReadsLayerHLS)
        toHLS(s, t.Layer);
    unsigned char out[3] = {d[Hh], d[Ll], d[Ss]};
    newTriple(out, d, s);
    MixTowardHLS(t, out);
}

int LayerSum(const TLayerBlendTexel& t)
{
    return int(t.Layer[0]) + int(t.Layer[1]) + int(t.Layer[2]);
}

using Byte = unsigned char;

template <bool Fast>
struct HueOp : THlsOp {
    void Apply(TLayerBlendTexel& t) const
    {
        ApplyInHLS<true, Fast>(t, [](Byte* out, const Byte*, const Byte* s) { out[Hh] = s[Hh]; });
    }
};

// [SECTION] Eight pixels at a time
//
// The Hue kernel in 32-bit lanes, one pixel a lane: RGBToHLS and HLSToRGB
// step for step, every branch a select. The integer quotients of RGBToHLS
// come from float division: each is at most 255 in size, so the float
// quotient's rounding (under 2^-16) never crosses an integer that the exact
// quotient has not reached. HLSToRGB does the scalar float operations in the
// same order (no contraction into fused multiply-adds: the targets have none)
// but for two cheaper steps that round every (H, L, S) to the same bytes (the
// edge times 1/60, the rounding by adding a half; a test runs all 2^24), so
// every byte is the scalar kernel's.

using TLanes32 = int __attribute__((vector_size(32)));
using TFloats32 = float __attribute__((vector_size(32)));

struct TRgbLanes {
    TLanes32 R, G, B;
};

inline __attribute__((always_inline)) TLanes32 Splat32(int v)
{
    return TLanes32{v, v, v, v, v, v, v, v};
}

inline __attribute__((always_inline)) TFloats32 SplatF(float v)
{
    return TFloats32{v, v, v, v, v, v, v, v};
}

// mask lanes are all ones or all zeros (a comparison's result).
inline __attribute__((always_inline)) TLanes32 Select32(TLanes32 mask, TLanes32 yes, TLanes32 no)
{
    return mask ? yes : no;
}

inline __attribute__((always_inline)) TFloats32 SelectF(TLanes32 mask, TFloats32 yes, TFloats32 no)
{
    return mask ? yes : no;
}

inline __attribute__((always_inline)) TLanes32 Max32(TLanes32 a, TLanes32 b) { return Select32(a > b, a, b); }
inline __attribute__((always_inline)) TLanes32 Min32(TLanes32 a, TLanes32 b) { return Select32(a < b, a, b); }

// n / d truncated toward zero where the quotient is at most 255 in size; d != 0.
inline __attribute__((always_inline)) TLanes32 SmallQuotient(TLanes32 n, TLanes32 d)
{
    return __builtin_convertvector(__builtin_convertvector(n, TFloats32) / __builtin_convertvector(d, TFloats32),
                                   TLanes32);
}

// v / 255 for 0 <= v <= 65025, exact.
inline __attribute__((always_inline)) TLanes32 Div255Lanes(TLanes32 v)
{
    return (v + 1 + (v >> 8)) >> 8;
}

using TShorts8 = unsigned short __attribute__((vector_size(16)));

// The first eight bytes of v as lanes. Through 16-bit lanes, so that every
// step is a plain widening of a 16-byte vector.
inline __attribute__((always_inline)) TLanes32 BytesToLanes(TBlendBytes v)
{
    const TBlendLanes wide = __builtin_convertvector(v, TBlendLanes);
    return __builtin_convertvector(__builtin_shufflevector(wide, wide, 0, 1, 2, 3, 4, 5, 6, 7), TLanes32);
}

// Lanes of a (0..255) then of b as sixteen bytes.
inline __attribute__((always_inline)) TBlendBytes LanesToBytes(TLanes32 a, TLanes32 b)
{
    const TShorts8 a16 = __builtin_convertvector(a, TShorts8), b16 = __builtin_convertvector(b, TShorts8);
    const TBlendLanes both =
        __builtin_shufflevector(a16, b16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    return __builtin_convertvector(both, TBlendBytes);
}

// The 24 bytes of eight pixels as two overlapping 16-byte loads (bytes 0..15
// and 8..23), so nothing past the eighth pixel is read; one byte shuffle per
// channel picks its eight bytes.
inline __attribute__((always_inline)) TRgbLanes LoadRgb8(const unsigned char* p)
{
    TBlendBytes lo, hi;
    std::memcpy(&lo, p, 16);
    std::memcpy(&hi, p + 8, 16);
    constexpr TBlendBytes pickR = {0, 3, 6, 9, 12, 15, 26, 29, 0, 0, 0, 0, 0, 0, 0, 0};
    constexpr TBlendBytes pickG = {1, 4, 7, 10, 13, 24, 27, 30, 0, 0, 0, 0, 0, 0, 0, 0};
    constexpr TBlendBytes pickB = {2, 5, 8, 11, 14, 25, 28, 31, 0, 0, 0, 0, 0, 0, 0, 0};
    return {BytesToLanes(__builtin_shuffle(lo, hi, pickR)), BytesToLanes(__builtin_shuffle(lo, hi, pickG)),
            BytesToLanes(__builtin_shuffle(lo, hi, pickB))};
}

inline __attribute__((always_inline)) void StoreRgb8(unsigned char* p, const TRgbLanes& c)
{
    const TBlendBytes rg = LanesToBytes(c.R, c.G), bb = LanesToBytes(c.B, c.B);
    // Byte 3j + c of the pixels: lane j of r (0..7), of g (8..15) or of b (16..23).
    constexpr TBlendBytes first = {0, 8, 16, 1, 9, 17, 2, 10, 18, 3, 11, 19, 4, 12, 20, 5};
    constexpr TBlendBytes rest = {13, 21, 6, 14, 22, 7, 15, 23, 0, 0, 0, 0, 0, 0, 0, 0};
    const TBlendBytes out0 = __builtin_shuffle(rg, bb, first), out1 = __builtin_shuffle(rg, bb, rest);
    std::memcpy(p, &out0, 16);
    std::memcpy(p + 16, &out1, 8);
}

// h / 6 truncated toward zero for |h| <= 1530: |h| * 10923 / 65536 is off by
// less than 0.008, never enough to reach the next multiple of 1/6.
inline __attribute__((always_inline)) TLanes32 DivideBy6(TLanes32 h)
{
    const TLanes32 q = (Select32(h < 0, -h, h) * 10923) >> 16;
    return Select32(h < 0, -q, q);
}

// RGBToHLS lane by lane: (H, L, S); H only when WithHue and S only when
// WithSaturation (else 0), since the Hue blend reads the hue of one pixel and
// the lightness and saturation of the other.
template <bool WithHue, bool WithSaturation>
inline __attribute__((always_inline)) TRgbLanes RGBToHLSLanes(const TRgbLanes& c)
{
    const TLanes32 mx = Max32(Max32(c.R, c.G), c.B), mn = Min32(Min32(c.R, c.G), c.B);
    const TLanes32 l = (mx + mn) >> 1;
    const TLanes32 delta = mx - mn;
    const TLanes32 grey = delta == 0;
    const TLanes32 one = Splat32(1), zero = Splat32(0);
    TLanes32 s = zero, hue = zero;
    if constexpr (WithSaturation) {
        const TLanes32 sDenominator = Select32(grey, one, Select32(l < 128, mx + mn, 510 - mx - mn));
        s = Select32(grey, zero, SmallQuotient(delta * 255, sDenominator));
    }
    if constexpr (WithHue) {
        // Where two channels share the maximum the later test decides; the
        // numerator and sector are picked first, so one division serves all three.
        TLanes32 numerator = zero, sector = zero;
        numerator = Select32(c.R == mx, (c.G - c.B) * 255, numerator);
        numerator = Select32(c.G == mx, (c.B - c.R) * 255, numerator);
        sector = Select32(c.G == mx, Splat32(510), sector);
        numerator = Select32(c.B == mx, (c.R - c.G) * 255, numerator);
        sector = Select32(c.B == mx, Splat32(1020), sector);
        const TLanes32 h = SmallQuotient(numerator, Select32(grey, one, delta)) + sector;
        hue = Select32(grey, zero, DivideBy6(h) & 255);   // a negative hue wraps to the top
    }
    return {hue, l, s};
}

// Wrap: the one way WrapAngle can move g. The hue angle itself lies within
// 0..360 (H / 255 is at most 1), so hue + 120 can only pass 360, hue - 120
// only 0, and hue neither (Wrap 1, -1, 0).
template <int Wrap>
inline __attribute__((always_inline)) TLanes32 SectorByte(TFloats32 m1, TFloats32 m2, TFloats32 g)
{
    if constexpr (Wrap > 0)
        g = SelectF(g > SplatF(360.0f), g - 360.0f, g);
    if constexpr (Wrap < 0)
        g = SelectF(g < SplatF(0.0f), g + 360.0f, g);
    // Rising (g) and falling (240 - g) edges are the same expression in t.
    const TLanes32 risingEdge = g < SplatF(60.0f);
    const TFloats32 t = SelectF(risingEdge, g, SplatF(240.0f) - g);
    // Times the float nearest 1/60 instead of the division by 60: the product
    // may differ from the quotient in its last bit, but over every (H, L, S)
    // the byte it rounds to is the same (HlsToRgbRowMatchesTheConversion
    // checks all 2^24 triples).
    const TFloats32 edge = m1 + ((m2 - m1) * t) * (1.0f / 60.0f);
    const TFloats32 v = SelectF(risingEdge, edge,
                                SelectF(g < SplatF(180.0f), m2, SelectF(g < SplatF(240.0f), edge, m1)));
    // UnitToByte rounds half up by looking at the fraction; adding the half
    // first could round the sum up in its last bit, but no triple puts v that
    // close to a half step, and v never leaves 0..1 by enough to need the
    // clamp (the row test checks all 2^24 triples).
    return __builtin_convertvector(v * 255.0f + 0.5f, TLanes32);
}

// HLSToRGB lane by lane.
inline __attribute__((always_inline)) TRgbLanes HLSToRGBLanes(const TRgbLanes& hls)
{
    const TLanes32 H = hls.R, L = hls.G, S = hls.B;
    const TLanes32 grey = (L == 255) | (L == 0) | (S == 0);
    const TFloats32 l = __builtin_convertvector(L, TFloats32) / 255.0f;
    const TFloats32 s = __builtin_convertvector(S, TFloats32) / 255.0f;
    const TFloats32 m2 = SelectF(l > SplatF(0.5f), l + s - l * s, (s + 1.0f) * l);
    const TFloats32 m1 = (l + l) - m2;
    const TFloats32 hue = (__builtin_convertvector(H, TFloats32) / 255.0f) * 360.0f;
    return {Select32(grey, L, SectorByte<1>(m1, m2, hue + 120.0f)), Select32(grey, L, SectorByte<0>(m1, m2, hue)),
            Select32(grey, L, SectorByte<-1>(m1, m2, hue - 120.0f))};
}

} // namespace

__attribute__((target_clones("avx2", "default"))) void HLSToRGBRow(unsigned char* rgb, const unsigned char* hls,
                                                                  size_t count)
{
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        TRgbLanes in;
        for (int j = 0; j < 8; ++j) {
            in.R[j] = hls[3 * (i + size_t(j))];
            in.G[j] = hls[3 * (i + size_t(j)) + 1];
            in.B[j] = hls[3 * (i + size_t(j)) + 2];
        }
        const TRgbLanes out = HLSToRGBLanes(in);
        for (int j = 0; j < 8; ++j) {
            rgb[3 * (i + size_t(j))] = static_cast<unsigned char>(out.R[j]);
            rgb[3 * (i + size_t(j)) + 1] = static_cast<unsigned char>(out.G[j]);
            rgb[3 * (i + size_t(j)) + 2] = static_cast<unsigned char>(out.B[j]);
        }
    }
    for (; i < count; ++i) HLSToRGBInline(rgb + 3 * i, hls + 3 * i);
}

namespace {

// KSN_MixByte lane by lane.
inline __attribute__((always_inline)) TLanes32 MixLanes(TLanes32 d, TLanes32 r, TLanes32 a)
{
    const TLanes32 v = (r - d) * a;
    const TLanes32 q = Div255Lanes(Select32(v < 0, -v, v));
    return Select32(v < 0, d - q, d + q);
}

// [SECTION] Sixteen pixels at a time in AVX2 registers
//
// The Hue kernel where the processor has AVX2: RGBToHLS in 16-bit lanes (its
// two quotients in float as above, eight lanes at a time), HLSToRGBLanes on
// each half of eight, and the mix and coverage in 16-bit lanes with the
// pixel alpha already lined up with its pixel.

struct TRgbShuffles {
    // Load[c][v]: picks channel c of sixteen pixels out of the v-th 16 bytes
    // of their 48; Store[v][c]: places channel c into the v-th 16 bytes.
    alignas(16) signed char Load[3][3][16] = {};
    alignas(16) signed char Store[3][3][16] = {};
    constexpr TRgbShuffles()
    {
        for (int c = 0; c < 3; ++c)
            for (int v = 0; v < 3; ++v)
                for (int j = 0; j < 16; ++j) {
                    const int from = 3 * j + c;
                    Load[c][v][j] = static_cast<signed char>(from / 16 == v ? from % 16 : -128);
                    const int to = 16 * v + j;
                    Store[v][c][j] = static_cast<signed char>(to % 3 == c ? to / 3 : -128);
                }
    }
};
constexpr TRgbShuffles RgbShuffles;

#pragma GCC push_options
#pragma GCC target("avx2")

struct TAvx2Rgb {
    __m256i R, G, B;
};

inline __attribute__((always_inline)) __m128i Avx2Shuffles(const signed char* m)
{
    return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
}

inline __attribute__((always_inline)) TAvx2Rgb Avx2LoadRgb16(const unsigned char* p)
{
    const __m128i v[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)),
                          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))};
    __m256i c[3];
    for (int k = 0; k < 3; ++k) {
        const __m128i bytes = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v[0], Avx2Shuffles(RgbShuffles.Load[k][0])),
                                                        _mm_shuffle_epi8(v[1], Avx2Shuffles(RgbShuffles.Load[k][1]))),
                                           _mm_shuffle_epi8(v[2], Avx2Shuffles(RgbShuffles.Load[k][2])));
        c[k] = _mm256_cvtepu8_epi16(bytes);
    }
    return {c[0], c[1], c[2]};
}

inline __attribute__((always_inline)) void Avx2StoreRgb16(unsigned char* p, const TAvx2Rgb& c)
{
    const __m128i bytes[3] = {Avx2Narrow(c.R), Avx2Narrow(c.G), Avx2Narrow(c.B)};
    for (int v = 0; v < 3; ++v) {
        const __m128i out =
            _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(bytes[0], Avx2Shuffles(RgbShuffles.Store[v][0])),
                                      _mm_shuffle_epi8(bytes[1], Avx2Shuffles(RgbShuffles.Store[v][1]))),
                         _mm_shuffle_epi8(bytes[2], Avx2Shuffles(RgbShuffles.Store[v][2])));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16 * v), out);
    }
}

// Sixteen 16-bit lanes as two halves of eight 32-bit lanes, and back (0..65535).
inline __attribute__((always_inline)) TLanes32 Avx2Half(__m256i v, int half)
{
    return TLanes32(_mm256_cvtepu16_epi32(half ? _mm256_extracti128_si256(v, 1) : _mm256_castsi256_si128(v)));
}

inline __attribute__((always_inline)) __m256i Avx2Join(TLanes32 lo, TLanes32 hi)
{
    return _mm256_permute4x64_epi64(_mm256_packus_epi32(__m256i(lo), __m256i(hi)), 0xd8);
}

// n / d rounded down for 0 <= n <= 65025, 1 <= d, where the quotient is at
// most 255 (SmallQuotient on each half).
inline __attribute__((always_inline)) __m256i Avx2SmallQuotient(__m256i n, __m256i d)
{
    return Avx2Join(SmallQuotient(Avx2Half(n, 0), Avx2Half(d, 0)), SmallQuotient(Avx2Half(n, 1), Avx2Half(d, 1)));
}

// Lightness and saturation of RGBToHLS.
inline __attribute__((always_inline)) void Avx2LightnessSaturation(const TAvx2Rgb& c, __m256i& l, __m256i& s)
{
    const __m256i mx = _mm256_max_epu16(_mm256_max_epu16(c.R, c.G), c.B);
    const __m256i mn = _mm256_min_epu16(_mm256_min_epu16(c.R, c.G), c.B);
    const __m256i sum = _mm256_add_epi16(mx, mn);
    const __m256i delta = _mm256_sub_epi16(mx, mn);
    l = _mm256_srli_epi16(sum, 1);
    // A grey pixel has delta 0, so its numerator and quotient are 0 over any
    // denominator; 1 keeps the division defined.
    const __m256i lower = _mm256_cmpgt_epi16(_mm256_set1_epi16(128), l);
    __m256i den = _mm256_blendv_epi8(_mm256_sub_epi16(_mm256_set1_epi16(510), sum), sum, lower);
    den = _mm256_max_epi16(den, _mm256_set1_epi16(1));
    s = Avx2SmallQuotient(_mm256_mullo_epi16(delta, _mm256_set1_epi16(255)), den);
}

// Hue of RGBToHLS.
inline __attribute__((always_inline)) __m256i Avx2Hue(const TAvx2Rgb& c)
{
    const __m256i mx = _mm256_max_epu16(_mm256_max_epu16(c.R, c.G), c.B);
    const __m256i mn = _mm256_min_epu16(_mm256_min_epu16(c.R, c.G), c.B);
    const __m256i delta = _mm256_sub_epi16(mx, mn);
    const __m256i grey = _mm256_cmpeq_epi16(delta, _mm256_setzero_si256());
    // Where two channels share the maximum the later test decides.
    const __m256i rMax = _mm256_cmpeq_epi16(c.R, mx), gMax = _mm256_cmpeq_epi16(c.G, mx),
                  bMax = _mm256_cmpeq_epi16(c.B, mx);
    __m256i diff = _mm256_and_si256(rMax, _mm256_sub_epi16(c.G, c.B));
    diff = _mm256_blendv_epi8(diff, _mm256_sub_epi16(c.B, c.R), gMax);
    diff = _mm256_blendv_epi8(diff, _mm256_sub_epi16(c.R, c.G), bMax);
    __m256i sector = _mm256_and_si256(gMax, _mm256_set1_epi16(510));
    sector = _mm256_blendv_epi8(sector, _mm256_set1_epi16(1020), bMax);
    // The signed quotient truncated toward zero: the magnitude's, signed.
    const __m256i q = Avx2SmallQuotient(_mm256_mullo_epi16(_mm256_abs_epi16(diff), _mm256_set1_epi16(255)),
                                        _mm256_max_epi16(delta, _mm256_set1_epi16(1)));
    const __m256i h = _mm256_add_epi16(_mm256_sign_epi16(q, diff), sector);
    // h / 6 truncated toward zero, |h| <= 1530: as DivideBy6.
    const __m256i sixth = _mm256_sign_epi16(_mm256_mulhi_epu16(_mm256_abs_epi16(h), _mm256_set1_epi16(10923)), h);
    // A negative hue wraps to the top of the circle.
    return _mm256_andnot_si256(grey, _mm256_and_si256(sixth, _mm256_set1_epi16(255)));
}

template <ELayerBlendPath Path>
__attribute__((noinline)) void HueAvx2Rows(unsigned char* __restrict__ resolved,
                                           unsigned char* __restrict__ resolvedAlpha,
                                           const unsigned char* __restrict__ layerPixels,
                                           const unsigned char* __restrict__ layerMask, int x0, int y0, int x1,
                                           int y1, int width, int P)
{
    const __m256i strength = _mm256_set1_epi16(short(P));
    for (int y = y0; y < y1; ++y) {
        const size_t row = size_t(y) * size_t(width);
        int x = x0;
        for (; x + 16 <= x1; x += 16) {
            const size_t i = row + size_t(x);
            Avx2PrefetchNextBand(layerPixels + 3 * i, 3 * size_t(width));
            if constexpr (Path == ELayerBlendPath::Masked)
                Avx2PrefetchNextBand(layerMask + i, size_t(width));
            __m256i a = strength;
            if constexpr (Path == ELayerBlendPath::Masked) {
                // Sixteen pixels at a = 0 keep their colour and coverage.
                const __m128i m8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(layerMask + i));
                if (_mm_testz_si128(m8, m8))
                    continue;
                a = Avx2Div255(_mm256_mullo_epi16(_mm256_cvtepu8_epi16(m8), strength));
            }
            const TAvx2Rgb d = Avx2LoadRgb16(resolved + 3 * i);
            __m256i l, s;
            Avx2LightnessSaturation(d, l, s);
            const __m256i h = Avx2Hue(Avx2LoadRgb16(layerPixels + 3 * i));
            const TRgbLanes lo = HLSToRGBLanes({Avx2Half(h, 0), Avx2Half(l, 0), Avx2Half(s, 0)});
            const TRgbLanes hi = HLSToRGBLanes({Avx2Half(h, 1), Avx2Half(l, 1), Avx2Half(s, 1)});
            Avx2StoreRgb16(resolved + 3 * i, {Avx2Mix(d.R, Avx2Join(lo.R, hi.R), a),
                                              Avx2Mix(d.G, Avx2Join(lo.G, hi.G), a),
                                              Avx2Mix(d.B, Avx2Join(lo.B, hi.B), a)});
            if constexpr (Path == ELayerBlendPath::FullStrength) {
                // P is 254 or 255 here, so no pixel keeps its coverage.
                std::memset(resolvedAlpha + i, 255, 16);
            } else {
                const __m256i A = Avx2Load(resolvedAlpha + i);
                Avx2Store(resolvedAlpha + i, _mm256_add_epi16(A, Avx2Div255(_mm256_mullo_epi16(
                                                                     a, _mm256_sub_epi16(_mm256_set1_epi16(255), A)))));
            }
        }
        for (; x < x1; ++x)
            LayerBlendPixel<HueOp<true>, Path>(HueOp<true>{}, resolved, resolvedAlpha, layerPixels, layerMask,
                                                row + size_t(x), P);
    }
}

#pragma GCC pop_options

struct HueLanesOp : HueOp<true> {
    static constexpr bool OwnRows = true;

    template <ELayerBlendPath Path>
    static inline __attribute__((always_inline)) void Rows(const HueLanesOp& op, unsigned char* __restrict__ resolved,
                                                           unsigned char* __restrict__ resolvedAlpha,
                                                           const unsigned char* __restrict__ layerPixels,
                                                           const unsigned char* __restrict__ layerMask, int x0, int y0,
                                                           int x1, int y1, int width, int P)
    {
        if (LayerBlendUsesAvx2Rows()) {
            HueAvx2Rows<Path>(resolved, resolvedAlpha, layerPixels, layerMask, x0, y0, x1, y1, width, P);
            return;
        }
        for (int y = y0; y < y1; ++y) {
            const size_t row = size_t(y) * size_t(width);
            int x = x0;
            for (; x + 8 <= x1; x += 8) {
                const size_t i = row + size_t(x);
                TLanes32 a = Splat32(P);
                if constexpr (Path == ELayerBlendPath::Masked) {
                    TBlendBytes m = {};
                    std::memcpy(&m, layerMask + i, 8);
                    a = Div255Lanes(BytesToLanes(m) * P);
                }
                const TRgbLanes d = LoadRgb8(resolved + 3 * i);
                const TRgbLanes dh = RGBToHLSLanes<false, true>(d);   // its lightness and saturation
                const TRgbLanes sh = RGBToHLSLanes<true, false>(LoadRgb8(layerPixels + 3 * i));   // its hue
                const TRgbLanes c = HLSToRGBLanes({sh.R, dh.G, dh.B});
                StoreRgb8(resolved + 3 * i, {MixLanes(d.R, c.R, a), MixLanes(d.G, c.G, a), MixLanes(d.B, c.B, a)});
                TBlendBytes coverage;
                if constexpr (Path == ELayerBlendPath::FullStrength) {
                    // A pixel with a = 0 keeps its coverage (P is 254 or 255 here, never 0).
                    std::memset(&coverage, 255, sizeof coverage);
                } else {
                    TBlendBytes A8 = {};
                    std::memcpy(&A8, resolvedAlpha + i, 8);
                    const TLanes32 A = BytesToLanes(A8);
                    const TLanes32 covered = A + Div255Lanes(a * (255 - A));
                    coverage = LanesToBytes(covered, covered);
                }
                std::memcpy(resolvedAlpha + i, &coverage, 8);
            }
            for (; x < x1; ++x)
                LayerBlendPixel<HueLanesOp, Path>(op, resolved, resolvedAlpha, layerPixels, layerMask,
                                                  row + size_t(x), P);
        }
    }
};

// The shift, at most 85 steps (a third of the circle), scales with the
// strength byte; Hue Down's does not, its strength enters only through the alpha.
template <bool Fast>
struct HueUpOp : THlsOp {
    void Apply(TLayerBlendTexel& t) const
    {
        const int shift = KSN_Div255((LayerSum(t) / 9) * t.Strength);
        ApplyInHLS<false, Fast>(t, [shift](Byte* out, const Byte* d, const Byte*) { out[Hh] = Byte(d[Hh] + shift); });
    }
};

template <bool Fast>
struct HueDownOp : THlsOp {
    void Apply(TLayerBlendTexel& t) const
    {
        const int shift = LayerSum(t) / 9;
        ApplyInHLS<false, Fast>(t, [shift](Byte* out, const Byte* d, const Byte*) { out[Hh] = Byte(d[Hh] - shift); });
    }
};

// The layer's lightness. The resolved saturation is damped where the resolved
// pixel is near black or white, whose integer hue and saturation say little.
template <bool Fast>
struct LightnessOp : THlsOp {
    static constexpr bool ReadsSaturationTables = true;
    void Apply(TLayerBlendTexel& t) const
    {
        ApplyInHLS<true, Fast>(t, [](Byte* out, const Byte* d, const Byte* s) {
            out[Ll] = s[Ll];
            out[Ss] = Byte(KSN_Div255(Adjust_Saturation_Before_Lightness_To_Target_Table[d[Ll]] * d[Ss]));
        });
    }
};

template <bool Fast>
struct SaturationOp : THlsOp {
    static constexpr bool ReadsSaturationTables = true;
    void Apply(TLayerBlendTexel& t) const
    {
        ApplyInHLS<true, Fast>(t, [](Byte* out, const Byte* d, const Byte* s) {
            out[Ss] = Byte(d[Ss] + KSN_Div255(Saturation_Up_Table[d[Ss]] * (s[Ss] - d[Ss])));
        });
    }
};

template <bool Fast>
struct SaturationUpOp : THlsOp {
    static constexpr bool ReadsSaturationTables = true;
    void Apply(TLayerBlendTexel& t) const
    {
        const int avg = LayerAverage(t);
        ApplyInHLS<false, Fast>(t, [avg](Byte* out, const Byte* d, const Byte*) {
            out[Ss] = Byte(std::min(255, d[Ss] + KSN_Div255(Saturation_Up_Table[d[Ss]] * avg)));
        });
    }
};

template <bool Fast>
struct SaturationDownOp : THlsOp {
    void Apply(TLayerBlendTexel& t) const
    {
        const int avg = LayerAverage(t);
        ApplyInHLS<false, Fast>(t, [avg](Byte* out, const Byte* d, const Byte*) {
            out[Ss] = Byte(std::max(0, d[Ss] - avg));
        });
    }
};

// The layer's hue, and its saturation weighted by how far its lightness lets a
// colour show (with the resolution's all-255 table: the layer's saturation).
template <bool Fast>
struct ColorOp : THlsOp {
    static constexpr bool ReadsSaturationTables = true;
    void Apply(TLayerBlendTexel& t) const
    {
        ApplyInHLS<true, Fast>(t, [](Byte* out, const Byte* d, const Byte* s) {
            const int e = KSN_Div255((s[Ss] - d[Ss]) * Saturation_Up_Table[s[Ll]]);
            out[Hh] = s[Hh];
            out[Ss] = Byte(std::min(255, d[Ss] + KSN_Div255(e * Saturation_Up_Table[255 - s[Ll]])));
        });
    }
};

} // namespace

// [SECTION] Kernels

void MixMapLayers_Hue_Scalar(KSN_MIX_MAP_LAYERS_PARAMS) { LayerBlendScan(HueOp<false>{}, KSN_MIX_MAP_LAYERS_ARGS); }
__attribute__((target_clones("avx2", "default"))) void MixMapLayers_Hue(KSN_MIX_MAP_LAYERS_PARAMS)
{
    LayerBlendScan<HueLanesOp, true>(HueLanesOp{}, KSN_MIX_MAP_LAYERS_ARGS);
}
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_HueUp, HueUpOp<false>, HueUpOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_HueDown, HueDownOp<false>, HueDownOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_Lightness, LightnessOp<false>, LightnessOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_Saturation, SaturationOp<false>, SaturationOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_SaturationUp, SaturationUpOp<false>, SaturationUpOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_SaturationDown, SaturationDownOp<false>, SaturationDownOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_Color, ColorOp<false>, ColorOp<true>)
