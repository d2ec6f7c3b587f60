// Layer blend kernels that work channel by channel, and the contrast curves.
// The hue, lightness, saturation and colour kernels are in
// KSN_LayerBlend_HSL.cpp.
//
// [SECTION] Contrast curves
// [SECTION] Channel operations
// [SECTION] Kernels
#include "KSN_LayerBlend_Internal.h"

#include <cmath>

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
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return KSN_Div255(s * d); });
    }
};

struct OverlayOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) {
            const int k = d < 128 ? d : 255 - d;
            return int(KSN_ClampByte(d + ((k * (s - 127)) >> 7)));
        });
    }
};

struct HardLightOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return int(KSN_ClampByte(d + 2 * s - 254)); });
    }
};

struct SoftLightOp : TLayerBlendOp {
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
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return d + KSN_Div255((255 - 2 * d) * s); });
    }
};

struct DifferenceOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return d > s ? d - s : s - d; });
    }
};

struct RgbUpOp : TLayerBlendOp {
    void Apply(TLayerBlendTexel& t) const
    {
        MixEachChannel(t, [](int d, int s) { return std::min(255, d + s); });
    }
};

struct RgbDownOp : TLayerBlendOp {
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

KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Normal, NormalOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Lighten, LightenOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Darken, DarkenOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Multiply, MultiplyOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Overlay, OverlayOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_HardLight, HardLightOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_SoftLight, SoftLightOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Dodge, DodgeOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Burn, BurnOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Exclusion, ExclusionOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_Difference, DifferenceOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_RgbUp, RgbUpOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_RgbDown, RgbDownOp)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_ContrastUp, ContrastOp<1>)
KSN_DEFINE_MIX_MAP_LAYERS(MixMapLayers_ContrastDown, ContrastOp<-1>)
