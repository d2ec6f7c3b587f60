// Layer blend kernels that work channel by channel, and the contrast curves.
// The hue, lightness, saturation and colour kernels are in
// KSN_LayerBlend_HSL.cpp.
//
// [SECTION] AVX2 switch
// [SECTION] Contrast curves
// [SECTION] Channel operations
// [SECTION] Kernels
#include "KSN_LayerBlend_Internal.h"

#include <atomic>
#include <cmath>

// [SECTION] AVX2 switch

namespace {

std::atomic<bool> Avx2Allowed{true};

bool ProcessorHasAvx2()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

} // namespace

void KSN_LayerBlendAllowAvx2(bool allow)
{
    Avx2Allowed.store(allow, std::memory_order_relaxed);
}

bool LayerBlendUsesAvx2Rows()
{
    return Avx2Allowed.load(std::memory_order_relaxed) && ProcessorHasAvx2();
}

// [SECTION] Contrast curves

unsigned char ContrastTable[ContrastTableSize];

namespace {

// Row i scales the distance from mid-grey by e = 32^(f * |f|), f = (i - 127) / 128:
// a factor of 32 at row 255, about 1/30 at row 0. Kept in 32-bit floating point
// step by step so the curves (and the touch-up contrast that reads them) are
// the same on every machine.
bool FillContrastTable()
{
    for (int i = 0; i < 256; ++i) {
        const float f = float(i - 127) * 0.0078125f;
        const float sign = f >= 0.0f ? 1.0f : -1.0f;
        const float exponent = f * f * sign;
        const float e = float(std::pow(32.0, double(exponent)));
        for (int v = 0; v < 256; ++v) {
            const float centred = float(v) / 255.0f - 0.5f;
            const float scaled = centred * e;
            const float o = scaled + 0.5f;
            ContrastTable[i * 256 + v] = o > 1.0f ? 255 : static_cast<unsigned char>(std::max(0.0f, o) * 255.0f);
        }
    }
    return true;
}

// Filled during static initialisation, before main and before any thread can
// read it; the table never changes afterwards.
[[maybe_unused]] const bool ContrastTableFilled = FillContrastTable();

// [SECTION] Channel operations

struct NormalOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes, TBlendLanes s) { return s; }
    static constexpr bool OpaqueIsCopy = true;
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int, int s) { return s; });
    }
};

// Brightens by the layer's grey level times the pixel alpha, without a mix.
struct LightenOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        const int k = KSN_Div255(t.Alpha * LayerAverage(t));
        for (int c = 0; c < 3; ++c)
            t.Pixel[c] = static_cast<unsigned char>(std::min(255, t.Pixel[c] + k));
    }
};

struct DarkenOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        const int k = KSN_Div255(t.Alpha * LayerAverage(t));
        for (int c = 0; c < 3; ++c)
            t.Pixel[c] = static_cast<unsigned char>(std::max(0, t.Pixel[c] - k));
    }
};

struct MultiplyOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes d, TBlendLanes s) { return BlendDiv255(s * d); }
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return KSN_Div255(s * d); });
    }
};

struct OverlayOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes d, TBlendLanes s)
    {
        const TBlendLanes k = BlendMin(d, BlendSplat(255) - d);   // d below 128, else 255 - d
        const TBlendSignedLanes sd = TBlendSignedLanes(d), ss = TBlendSignedLanes(s);
        return BlendClampByte(sd + ((TBlendSignedLanes(k) * (ss - 127)) >> 7));
    }
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) {
            const int k = d < 128 ? d : 255 - d;
            return int(KSN_ClampByte(d + ((k * (s - 127)) >> 7)));
        });
    }
};

struct HardLightOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes d, TBlendLanes s)
    {
        return BlendClampByte(TBlendSignedLanes(d) + 2 * TBlendSignedLanes(s) - 254);
    }
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return int(KSN_ClampByte(d + 2 * s - 254)); });
    }
};

struct SoftLightOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes d, TBlendLanes s)
    {
        return BlendClampByte(TBlendSignedLanes(d) + ((TBlendSignedLanes(s) - 127) >> 1));
    }
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return int(KSN_ClampByte(d + ((s - 127) >> 1))); });
    }
};

struct DodgeOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return s == 255 ? 255 : std::min(255, d * 255 / (255 - s)); });
    }
};

struct BurnOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) {
            if (s == 0)
                return 0;
            const int u = (255 - d) * 255 / s;
            return u >= 256 ? 0 : 255 - u;
        });
    }
};

struct ExclusionOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    // d + (255 - 2d) * s / 255, the signed quotient as magnitude and sign.
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes d, TBlendLanes s)
    {
        const TBlendLanes up = TBlendLanes(d < BlendSplat(128));
        const TBlendLanes q = BlendDiv255(BlendSelect(up, BlendSplat(255) - 2 * d, 2 * d - 255) * s);
        return BlendSelect(up, d + q, d - q);
    }
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return d + KSN_Div255((255 - 2 * d) * s); });
    }
};

struct DifferenceOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes d, TBlendLanes s) { return BlendMax(d, s) - BlendMin(d, s); }
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return d > s ? d - s : s - d; });
    }
};

struct RgbUpOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes d, TBlendLanes s) { return BlendMin(BlendSplat(255), d + s); }
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return std::min(255, d + s); });
    }
};

struct RgbDownOp : TLayerBlendOp {
    static constexpr bool HasLanes = true;
    static inline __attribute__((always_inline)) TBlendLanes Lanes(TBlendLanes d, TBlendLanes s) { return BlendMax(d, s) - s; }
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return std::max(0, d - s); });
    }
};

// The curve comes from the layer's grey level scaled by the strength byte, not
// by the pixel alpha; the pixel alpha then mixes as usual.
template <int Direction>
struct ContrastOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        const int row = 127 + Direction * (KSN_Div255(LayerAverage(t) * t.Strength) >> 1);
        const unsigned char* curve = ContrastTable + row * 256;
        MixEachChannel(t, [curve](int d, int) { return int(curve[d]); });
    }
};

} // namespace

// [SECTION] Kernels

KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_Normal, NormalOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Lighten, LightenOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Darken, DarkenOp)
KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_Multiply, MultiplyOp)
KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_Overlay, OverlayOp)
KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_HardLight, HardLightOp)
KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_SoftLight, SoftLightOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Dodge, DodgeOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Burn, BurnOp)
KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_Exclusion, ExclusionOp)
KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_Difference, DifferenceOp)
KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_RgbUp, RgbUpOp)
KSN_DEFINE_MIX_MAP_LAYERS_VECTOR(MixMapLayers_RgbDown, RgbDownOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_ContrastUp, ContrastOp<1>)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_ContrastDown, ContrastOp<-1>)
