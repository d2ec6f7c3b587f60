// Layer blend functions: the 23 compositing kernels of the map layers, the
// integer HLS conversion that the hue, lightness, saturation and colour
// kernels use, the contrast curves, and the byte arithmetic they all share.
//
// Images are 3 bytes a pixel (R, G, B) with a 1-byte alpha or mask image of the
// same width beside them; pixel (x, y) starts at byte 3 * (y * width + x). A
// kernel mixes the layer's pixels x0 <= x < x1, y0 <= y < y1 into the resolved
// image and resolved alpha in place. It takes no lock and writes only inside
// its rectangle, so the worker pool may run kernels on disjoint blocks of one
// map at the same time.
//
// Invariants every kernel keeps:
//   - the strength byte P (0..255) and the choice between the full-strength
//     path (no mask, strength >= 0.9999: pixel alpha a = P, resolved alpha
//     becomes 255) and the masked path (a = m * P / 255, resolved alpha
//     A + a * (255 - A) / 255) are made once per call;
//   - a pixel with a = 0 is left untouched, colour and alpha;
//   - every result stays between the resolved and the kernel's colour, so no
//     value ever wraps.
// Only the HLS kernels use floating point, and only inside HLSToRGB (and the
// vector Hue rows for quotients that float division gives exactly).
//
// Nine channel kernels and Hue work on 16 or 8 pixels at a time: in AVX2
// registers where the processor has them (checked per call), else on plain
// x86-64 vectors; each keeps a scalar reference (the _Scalar kernels below)
// that both forms match byte for byte.
//
// The kernels read Saturation_Up_Table and
// Adjust_Saturation_Before_Lightness_To_Target_Table (built at start-up) and
// ContrastTable (built before main runs); none of them changes while kernels
// run.
#pragma once

#include <algorithm>
#include <cstddef>

class TKSN_MapLayer;

// [SECTION] Byte arithmetic shared by the blends, the post-mix and the touch-up operations

// v / 255 truncated toward zero, for v in -65025..65025 (a product of two
// bytes, or a byte difference times a byte). Same value as DivideBy255Table
// read as a signed quotient; store it in a byte to get the table's wrapped form.
constexpr int KSN_Div255(int v)
{
    return v / 255;
}

// d moved toward r by the fraction a / 255 (all bytes): d + (r - d) * a / 255.
// The result lies between d and r; a = 255 gives r, a = 0 gives d.
constexpr unsigned char KSN_MixByte(int d, int r, int a)
{
    return static_cast<unsigned char>(d + KSN_Div255((r - d) * a));
}

// Alpha a (0..255) laid over an existing coverage A: A + a * (255 - A) / 255.
constexpr unsigned char KSN_AddCoverage(int A, int a)
{
    return static_cast<unsigned char>(A + KSN_Div255(a * (255 - A)));
}

// Undoes premultiplication by an alpha: c * 255 / a, held at 255 so that a
// colour byte above its alpha (rounding of many mixed layers) stays bright
// instead of wrapping to dark; 0 where nothing covers the pixel (a = 0).
constexpr unsigned char KSN_UnpremultiplyByte(int c, int a)
{
    return a == 0 ? 0 : static_cast<unsigned char>(std::min(255, c * 255 / a));
}

constexpr unsigned char KSN_ClampByte(int v)
{
    return static_cast<unsigned char>(std::clamp(v, 0, 255));
}

// [SECTION] Colour conversion

// One pixel (R, G, B) to (H, L, S), each 0..255. The hue circle has 256 steps:
// 0 red, about 85 green, about 170 blue. Integer arithmetic only.
void RGBToHLS(unsigned char* hls, const unsigned char* rgb);
// The inverse: (H, L, S) to (R, G, B), in 32-bit floating point, rounded half up.
void HLSToRGB(unsigned char* rgb, const unsigned char* hls);
// HLSToRGB over `count` triples, eight at a time in the vector form the Hue
// kernel uses; the same bytes.
void HLSToRGBRow(unsigned char* rgb, const unsigned char* hls, size_t count);

// 256 contrast curves of 256 entries, row-major: ContrastTable[row * 256 + v].
// Row 127 is (nearly) the identity, higher rows raise contrast up to a factor
// of 32 at row 255, lower rows flatten it toward grey. Filled before main
// runs; never changes afterwards.
inline constexpr int ContrastTableSize = 256 * 256;
extern unsigned char ContrastTable[ContrastTableSize];

// [SECTION] Kernels

// The vector kernels take their AVX2 rows where the processor has AVX2 (the
// default); false keeps them on their plain x86-64 rows, which a test checks
// the same way. Only between compositing runs, never while kernels run.
void KSN_LayerBlendAllowAvx2(bool allow);

// The compositing kernel contract (see the file comment). `height` is not
// used; the layer image and mask are only read; layerMask may be null, which
// counts as 255 everywhere.
#define KSN_MIX_MAP_LAYERS_PARAMS                                                                 \
    TKSN_MapLayer* layer, unsigned char* resolved, unsigned char* resolvedAlpha,                  \
        unsigned char* layerPixels, unsigned char* layerMask, int x0, int y0, int x1, int y1, int width, \
        int height
#define KSN_MIX_MAP_LAYERS_ARGS layer, resolved, resolvedAlpha, layerPixels, layerMask, x0, y0, x1, y1, width, height

void MixMapLayers_Normal(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Lighten(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Darken(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Multiply(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Overlay(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_HardLight(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_SoftLight(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Dodge(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Burn(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Exclusion(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Difference(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Hue(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_HueUp(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_HueDown(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Lightness(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Saturation(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_SaturationUp(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_SaturationDown(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_RgbUp(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_RgbDown(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Color(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_ContrastUp(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_ContrastDown(KSN_MIX_MAP_LAYERS_PARAMS);

// The scalar reference of each kernel: the same scan one pixel at a time, the
// plain arithmetic the kernels above must match byte for byte (a test compares
// them). Not for compositing.
void MixMapLayers_Normal_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Lighten_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Darken_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Multiply_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Overlay_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_HardLight_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_SoftLight_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Dodge_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Burn_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Exclusion_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Difference_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Hue_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_HueUp_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_HueDown_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Lightness_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Saturation_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_SaturationUp_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_SaturationDown_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_RgbUp_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_RgbDown_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_Color_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_ContrastUp_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
void MixMapLayers_ContrastDown_Scalar(KSN_MIX_MAP_LAYERS_PARAMS);
