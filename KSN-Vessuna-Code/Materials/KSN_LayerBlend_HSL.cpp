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

void RGBToHLS(unsigned char* hls, const unsigned char* rgb)
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
    hls[2] = static_cast<unsigned char>(l < 128 ? delta * 255 / (mx + mn) : delta * 255 / (510 - mx - mn));

    // Six sectors of 255 steps each, so the circle has 1530 steps before /6.
    // Where two channels share the maximum the later test decides.
    int h = 0;
    if (r == mx)
        h = (g - b) * 255 / delta;
    if (g == mx)
        h = (b - r) * 255 / delta + 510;
    if (b == mx)
        h = (r - g) * 255 / delta + 1020;
    // A slightly negative hue (red toward magenta) wraps to the top of the circle.
    hls[0] = static_cast<unsigned char>(h / 6);
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
    hls[2] = static_cast<unsigned char>(HlsQuotient(delta * 255, l < 128 ? mx + mn : 510 - mx - mn));
    int h = 0;
    if (r == mx)
        h = HlsSignedQuotient((g - b) * 255, delta);
    if (g == mx)
        h = HlsSignedQuotient((b - r) * 255, delta) + 510;
    if (b == mx)
        h = HlsSignedQuotient((r - g) * 255, delta) + 1020;
    hls[0] = static_cast<unsigned char>(h / 6);
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

KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_Hue, HueOp<false>, HueOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_HueUp, HueUpOp<false>, HueUpOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_HueDown, HueDownOp<false>, HueDownOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_Lightness, LightnessOp<false>, LightnessOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_Saturation, SaturationOp<false>, SaturationOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_SaturationUp, SaturationUpOp<false>, SaturationUpOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_SaturationDown, SaturationDownOp<false>, SaturationDownOp<true>)
KSN_DEFINE_MIX_MAP_LAYERS_FAST(MixMapLayers_Color, ColorOp<false>, ColorOp<true>)
