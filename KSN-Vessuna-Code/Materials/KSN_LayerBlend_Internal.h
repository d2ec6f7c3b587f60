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
#include <cstring>

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

template <class Op, ELayerBlendPath Path>
void LayerBlendScanRows(const Op& op, unsigned char* __restrict__ resolved, unsigned char* __restrict__ resolvedAlpha,
                        const unsigned char* __restrict__ layerPixels, const unsigned char* __restrict__ layerMask,
                        int x0, int y0, int x1, int y1, int width, int P)
{
    for (int y = y0; y < y1; ++y) {
        const size_t row = size_t(y) * size_t(width);
        for (int x = x0; x < x1; ++x) {
            const size_t i = row + size_t(x);
            int a = P;
            if constexpr (Path == ELayerBlendPath::Masked)
                a = KSN_Div255(int(layerMask[i]) * P);
            if constexpr (Op::SkipsTransparentPixels) {
                if (a == 0)
                    continue;
            }

            TLayerBlendTexel t{resolved + 3 * i, layerPixels + 3 * i, a, P};
            op.Apply(t);

            if constexpr (Path == ELayerBlendPath::FullStrength)
                resolvedAlpha[i] = 255;
            else
                resolvedAlpha[i] = KSN_AddCoverage(resolvedAlpha[i], a);
        }
    }
}

// The whole kernel: strength byte and path chosen once, then one scan.
template <class Op>
void LayerBlendScan(const Op& op, KSN_MIX_MAP_LAYERS_PARAMS)
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
        LayerBlendScanRows<Op, ELayerBlendPath::Masked>(op, resolved, resolvedAlpha, layerPixels, layerMask, x0, y0, x1,
                                                        y1, width, P);
    else if (strength >= 0.9999f)
        LayerBlendScanRows<Op, ELayerBlendPath::FullStrength>(op, resolved, resolvedAlpha, layerPixels, nullptr, x0, y0, x1,
                                                              y1, width, P);
    else
        LayerBlendScanRows<Op, ELayerBlendPath::Unmasked>(op, resolved, resolvedAlpha, layerPixels, nullptr, x0, y0, x1,
                                                          y1, width, P);
}

// Defines the kernel of a blend type as the scan with its operation.
#define KSN_DEFINE_MIX_MAP_LAYERS(Kernel, Op) \
    void Kernel(KSN_MIX_MAP_LAYERS_PARAMS) { LayerBlendScan(Op{}, KSN_MIX_MAP_LAYERS_ARGS); }
