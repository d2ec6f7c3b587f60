// Layer blend kernels: one table of {resolved pixel, layer pixel, strength,
// mask -> result} per kernel family, the scan's rectangle and mask indexing
// tested once, and the HLS conversion, contrast curves and byte arithmetic.
#include "KSN_LayerBlend.h"
#include "KSN_MapLayer.h"
#include "QORLookupTables.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

using RGB = std::array<int, 3>;
constexpr int NoMask = -1;

class LayerBlend : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CreateDivideBy255Table();
        Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
        // The layer resolution leaves the table at cut-off 0 (all 255).
        Create_Saturation_Up_Table(0.0f);
    }
};

struct TBlendResult {
    RGB Colour;
    int Alpha;
};

// One resolved pixel (colour d, alpha A) under one layer pixel t.
TBlendResult BlendOnePixel(TKSN_MixMapLayersFunction kernel, float strength, int mask, RGB d, int A, RGB t)
{
    TKSN_MapLayer layer;
    layer.SetStrength(strength);
    unsigned char resolved[3] = {(unsigned char)d[0], (unsigned char)d[1], (unsigned char)d[2]};
    unsigned char alpha = (unsigned char)A;
    unsigned char layerPixel[3] = {(unsigned char)t[0], (unsigned char)t[1], (unsigned char)t[2]};
    unsigned char maskByte = (unsigned char)mask;
    kernel(&layer, resolved, &alpha, layerPixel, mask == NoMask ? nullptr : &maskByte, 0, 0, 1, 1, 1, 1);
    return {{resolved[0], resolved[1], resolved[2]}, alpha};
}

RGB ToRGB(RGB hls)
{
    const unsigned char in[3] = {(unsigned char)hls[0], (unsigned char)hls[1], (unsigned char)hls[2]};
    unsigned char out[3];
    HLSToRGB(out, in);
    return {out[0], out[1], out[2]};
}

RGB ToHLS(RGB rgb)
{
    const unsigned char in[3] = {(unsigned char)rgb[0], (unsigned char)rgb[1], (unsigned char)rgb[2]};
    unsigned char out[3];
    RGBToHLS(out, in);
    return {out[0], out[1], out[2]};
}

struct TKernelCase {
    const char* what;
    TKSN_MixMapLayersFunction kernel;
    float strength;
    int mask;
    RGB d;
    int A;
    RGB t;
    RGB expected;
    int expectedAlpha;
};

TEST_F(LayerBlend, ChannelKernelsFollowTheirFormulas)
{
    const float nan = std::nanf("");
    const TKernelCase cases[] = {
        // Strength byte, alpha paths and coverage.
        {"normal half strength, mask 255, over transparent black", MixMapLayers_Normal, 0.5f, 255, {0, 0, 0}, 0,
         {200, 100, 51}, {99, 49, 25}, 127},
        {"normal half strength without mask: same", MixMapLayers_Normal, 0.5f, NoMask, {0, 0, 0}, 0,
         {200, 100, 51}, {99, 49, 25}, 127},
        {"normal full strength replaces colour, opaque", MixMapLayers_Normal, 1.0f, NoMask, {10, 20, 30}, 5,
         {200, 100, 51}, {200, 100, 51}, 255},
        {"strength 0.99995 takes full path with P 254", MixMapLayers_Normal, 0.99995f, NoMask, {0, 0, 0}, 0,
         {255, 255, 255}, {254, 254, 254}, 255},
        {"mask 128 at full strength adds coverage", MixMapLayers_Normal, 1.0f, 128, {0, 0, 0}, 100,
         {255, 255, 255}, {128, 128, 128}, 177},
        {"mask 0 leaves the pixel alone", MixMapLayers_Normal, 1.0f, 0, {1, 2, 3}, 4, {255, 255, 255}, {1, 2, 3}, 4},
        {"strength 0 leaves the pixel alone", MixMapLayers_Normal, 0.0f, NoMask, {1, 2, 3}, 4, {255, 255, 255},
         {1, 2, 3}, 4},
        {"strength not a number leaves the pixel alone", MixMapLayers_Normal, nan, NoMask, {1, 2, 3}, 4,
         {255, 255, 255}, {1, 2, 3}, 4},

        {"lighten adds the layer grey", MixMapLayers_Lighten, 1.0f, NoMask, {10, 200, 250}, 255, {30, 60, 90},
         {70, 255, 255}, 255},
        {"lighten scales the grey by the alpha", MixMapLayers_Lighten, 1.0f, 128, {10, 200, 250}, 255,
         {30, 60, 90}, {40, 230, 255}, 255},
        {"darken subtracts the layer grey", MixMapLayers_Darken, 1.0f, NoMask, {10, 200, 250}, 255, {30, 60, 90},
         {0, 140, 190}, 255},
        {"multiply", MixMapLayers_Multiply, 1.0f, NoMask, {200, 255, 0}, 255, {128, 7, 255}, {100, 7, 0}, 255},
        {"multiply as lowest masked layer over black gives black", MixMapLayers_Multiply, 1.0f, 255, {0, 0, 0}, 0,
         {128, 7, 255}, {0, 0, 0}, 255},
        // 55 * -127 >> 7 floors to -55, where a division would give -54.
        {"overlay shifts arithmetically", MixMapLayers_Overlay, 1.0f, NoMask, {100, 200, 0}, 255, {255, 0, 127},
         {200, 145, 0}, 255},
        // The switch point: k = 127, 127, 126 for d = 127, 128, 129; only t = 191
        // tells k = d from k = 255 - d at d = 128.
        {"overlay around the switch, t 191", MixMapLayers_Overlay, 1.0f, NoMask, {127, 128, 129}, 255,
         {191, 191, 191}, {190, 191, 192}, 255},
        {"overlay around the switch, t 255", MixMapLayers_Overlay, 1.0f, NoMask, {127, 128, 129}, 255,
         {255, 255, 255}, {254, 255, 255}, 255},
        {"overlay around the switch, t 0", MixMapLayers_Overlay, 1.0f, NoMask, {127, 128, 129}, 255, {0, 0, 0},
         {0, 1, 3}, 255},
        {"hard light clamps both ways", MixMapLayers_HardLight, 1.0f, NoMask, {100, 100, 250}, 255, {200, 10, 200},
         {246, 0, 255}, 255},
        {"soft light shifts arithmetically", MixMapLayers_SoftLight, 1.0f, NoMask, {100, 100, 250}, 255,
         {0, 255, 255}, {36, 164, 255}, 255},
        {"dodge", MixMapLayers_Dodge, 1.0f, NoMask, {0, 100, 50}, 255, {255, 155, 155}, {255, 255, 127}, 255},
        {"burn", MixMapLayers_Burn, 1.0f, NoMask, {200, 255, 0}, 255, {0, 10, 200}, {0, 255, 0}, 255},
        {"burn inside range", MixMapLayers_Burn, 1.0f, NoMask, {200, 200, 200}, 255, {100, 255, 100},
         {115, 200, 115}, 255},
        {"exclusion at alpha 127", MixMapLayers_Exclusion, 0.5f, NoMask, {200, 200, 200}, 255, {255, 255, 255},
         {128, 128, 128}, 255},
        {"exclusion at full alpha", MixMapLayers_Exclusion, 1.0f, NoMask, {0, 255, 100}, 255, {255, 255, 0},
         {255, 0, 100}, 255},
        {"difference", MixMapLayers_Difference, 1.0f, NoMask, {10, 200, 0}, 255, {50, 50, 0}, {40, 150, 0}, 255},
        {"rgb up", MixMapLayers_RgbUp, 1.0f, NoMask, {200, 10, 0}, 255, {100, 20, 0}, {255, 30, 0}, 255},
        {"rgb down", MixMapLayers_RgbDown, 1.0f, NoMask, {50, 30, 0}, 255, {100, 20, 0}, {0, 10, 0}, 255},
        // A white layer at full strength picks the steepest and flattest curves.
        {"contrast up, white layer: row 254", MixMapLayers_ContrastUp, 1.0f, NoMask, {0, 127, 128}, 255,
         {255, 255, 255}, {0, 112, 142}, 255},
        {"contrast down, white layer: row 0", MixMapLayers_ContrastDown, 1.0f, NoMask, {0, 127, 255}, 255,
         {255, 255, 255}, {123, 127, 131}, 255},
    };
    for (const TKernelCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TBlendResult r = BlendOnePixel(c.kernel, c.strength, c.mask, c.d, c.A, c.t);
        EXPECT_EQ(r.Colour, c.expected);
        EXPECT_EQ(r.Alpha, c.expectedAlpha);
    }
}

TEST_F(LayerBlend, ContrastWithBlackLayerUsesTheIdentityRow)
{
    // Row 127 is the identity except where rounding made an entry one lower:
    // at full alpha those values drop by one, below full alpha nothing moves.
    const unsigned char* identity = ContrastTable + 127 * 256;
    int lowered = 0;
    for (int v = 0; v < 256; ++v) {
        SCOPED_TRACE(v);
        ASSERT_TRUE(identity[v] == v || identity[v] == v - 1);
        lowered += identity[v] != v;
        EXPECT_EQ(BlendOnePixel(MixMapLayers_ContrastUp, 1.0f, NoMask, {v, v, v}, 255, {0, 0, 0}).Colour,
                  (RGB{identity[v], identity[v], identity[v]}));
        EXPECT_EQ(BlendOnePixel(MixMapLayers_ContrastDown, 1.0f, 200, {v, v, v}, 255, {0, 0, 0}).Colour,
                  (RGB{v, v, v}));
    }
    EXPECT_GT(lowered, 0);
}

struct THlsCase {
    const char* what;
    TKSN_MixMapLayersFunction kernel;
    float strength;
    RGB d;
    RGB t;
    RGB expectedHls;   // the triple the result is the colour of (full alpha)
};

TEST_F(LayerBlend, HlsKernelsFormTheirTriple)
{
    const RGB red = {255, 0, 0};        // (0, 127, 255)
    const RGB pinkish = {150, 100, 100}; // (0, 125, 51)
    const RGB white = {255, 255, 255};
    const THlsCase cases[] = {
        {"hue takes the layer's hue", MixMapLayers_Hue, 1.0f, red, {0, 0, 255}, {170, 127, 255}},
        {"hue up by a white layer turns a third of the circle", MixMapLayers_HueUp, 1.0f, red, white, {85, 127, 255}},
        {"hue down by a white layer", MixMapLayers_HueDown, 1.0f, red, white, {171, 127, 255}},
        {"lightness takes the layer's and damps saturation", MixMapLayers_Lightness, 1.0f, red, {64, 64, 64},
         {0, 64, 253}},
        {"saturation takes the layer's", MixMapLayers_Saturation, 1.0f, red, {128, 128, 128}, {0, 127, 0}},
        {"saturation up adds the layer grey", MixMapLayers_SaturationUp, 1.0f, pinkish, {30, 30, 30}, {0, 125, 81}},
        {"saturation up stops at 255", MixMapLayers_SaturationUp, 1.0f, pinkish, white, {0, 125, 255}},
        {"saturation down subtracts the layer grey", MixMapLayers_SaturationDown, 1.0f, pinkish, {30, 30, 30},
         {0, 125, 21}},
        {"saturation down stops at 0", MixMapLayers_SaturationDown, 1.0f, pinkish, white, {0, 125, 0}},
        {"color: a greyer layer lowers saturation to its own", MixMapLayers_Color, 1.0f, red, pinkish, {0, 127, 51}},
        {"color takes hue, keeps lightness", MixMapLayers_Color, 1.0f, red, {0, 0, 255}, {170, 127, 255}},
    };
    for (const THlsCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TBlendResult r = BlendOnePixel(c.kernel, c.strength, NoMask, c.d, 255, c.t);
        EXPECT_EQ(r.Colour, ToRGB(c.expectedHls));
        EXPECT_EQ(r.Alpha, 255);
    }

    // The hue shifts: Hue Down ignores the strength byte, Hue Up scales by it.
    // At strength 0.99995 (P = 254) the pixel alpha is 254 for both.
    auto mixed = [](RGB from, RGB to) {
        RGB out;
        for (int c = 0; c < 3; ++c)
            out[c] = KSN_MixByte(from[c], to[c], 254);
        return out;
    };
    EXPECT_EQ(BlendOnePixel(MixMapLayers_HueDown, 0.99995f, NoMask, red, 255, white).Colour,
              mixed(red, ToRGB({171, 127, 255})));
    EXPECT_EQ(BlendOnePixel(MixMapLayers_HueUp, 0.99995f, NoMask, red, 255, white).Colour,
              mixed(red, ToRGB({84, 127, 255})));
}

TEST_F(LayerBlend, ScanTouchesOnlyItsRectangleAndReadsTheMaskPerPixel)
{
    constexpr int W = 5, H = 4;
    std::vector<unsigned char> resolved(W * H * 3), alpha(W * H), layerPixels(W * H * 3), mask(W * H);
    for (int i = 0; i < W * H; ++i) {
        for (int c = 0; c < 3; ++c) {
            resolved[3 * i + c] = (unsigned char)(i * 3 + c);
            layerPixels[3 * i + c] = (unsigned char)(200 + c);
        }
        alpha[i] = 10;
        mask[i] = (unsigned char)(i % 2 ? 255 : 0);
    }
    const auto before = resolved;
    const auto alphaBefore = alpha;
    TKSN_MapLayer layer;

    // Empty rectangles write nothing.
    MixMapLayers_Normal(&layer, resolved.data(), alpha.data(), layerPixels.data(), nullptr, 2, 1, 2, 3, W, H);
    MixMapLayers_Normal(&layer, resolved.data(), alpha.data(), layerPixels.data(), nullptr, 1, 3, 4, 2, W, H);
    EXPECT_EQ(resolved, before);
    EXPECT_EQ(alpha, alphaBefore);

    MixMapLayers_Normal(&layer, resolved.data(), alpha.data(), layerPixels.data(), mask.data(), 1, 1, 4, 3, W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            const int i = y * W + x;
            const bool painted = x >= 1 && x < 4 && y >= 1 && y < 3 && mask[i] == 255;
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(resolved[3 * i + c], painted ? layerPixels[3 * i + c] : before[3 * i + c]);
            EXPECT_EQ(alpha[i], painted ? 255 : 10);
        }
}

TEST_F(LayerBlend, BlendTypesChooseTheirKernels)
{
    const TKSN_MixMapLayersFunction kernels[] = {
        MixMapLayers_Normal,     MixMapLayers_Lighten,    MixMapLayers_Darken,         MixMapLayers_Multiply,
        MixMapLayers_Overlay,    MixMapLayers_HardLight,  MixMapLayers_SoftLight,      MixMapLayers_Dodge,
        MixMapLayers_Burn,       MixMapLayers_Exclusion,  MixMapLayers_Difference,     MixMapLayers_Hue,
        MixMapLayers_HueUp,      MixMapLayers_HueDown,    MixMapLayers_Lightness,      MixMapLayers_Saturation,
        MixMapLayers_SaturationUp, MixMapLayers_SaturationDown, MixMapLayers_RgbUp,    MixMapLayers_RgbDown,
        MixMapLayers_Color,      MixMapLayers_ContrastUp, MixMapLayers_ContrastDown,
    };
    TKSN_MapLayer layer;
    for (int type = 0; type < 23; ++type) {
        SCOPED_TRACE(type);
        layer.SetCurrentBlendType(type);
        EXPECT_EQ(layer.GetMixFunction(), kernels[type]);
    }
    layer.SetCurrentBlendType(23);
    EXPECT_EQ(layer.GetMixFunction(), MixMapLayers_Normal);
}

TEST(LayerBlendColour, RGBToHLSAndBack)
{
    struct {
        RGB rgb, hls;
    } const toHls[] = {
        {{255, 0, 0}, {0, 127, 255}},   {{0, 0, 255}, {170, 127, 255}}, {{128, 128, 128}, {0, 128, 0}},
        {{255, 0, 1}, {0, 127, 255}},   {{255, 0, 6}, {255, 127, 255}}, {{0, 255, 0}, {85, 127, 255}},
        {{150, 100, 100}, {0, 125, 51}}, {{255, 255, 0}, {42, 127, 255}}, {{255, 200, 200}, {0, 227, 255}},
    };
    for (const auto& c : toHls) {
        SCOPED_TRACE(::testing::PrintToString(c.rgb));
        EXPECT_EQ(ToHLS(c.rgb), c.hls);
    }

    EXPECT_EQ(ToRGB({0, 127, 255}), (RGB{254, 0, 0}));
    EXPECT_EQ(ToRGB({85, 127, 255}), (RGB{0, 254, 0}));
    EXPECT_EQ(ToRGB({170, 127, 255}), (RGB{0, 0, 254}));
    EXPECT_EQ(ToRGB({33, 200, 0}), (RGB{200, 200, 200}));
    for (int h : {0, 77, 255})
        for (int s : {0, 128, 255}) {
            EXPECT_EQ(ToRGB({h, 0, s}), (RGB{0, 0, 0}));
            EXPECT_EQ(ToRGB({h, 255, s}), (RGB{255, 255, 255}));
        }

    // Back and forth stays near every channel. A hue step is 1.4 degrees and
    // hues just short of red (truncated toward zero, then wrapped by the byte)
    // lose up to two steps, which moves a saturated channel by up to 13 levels.
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 5)
            for (int b = 0; b < 256; b += 7) {
                const RGB back = ToRGB(ToHLS({r, g, b}));
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(back[c], (RGB{r, g, b})[c], 13) << r << "," << g << "," << b;
            }
}

TEST(LayerBlendColour, ContrastTableHasItsCurves)
{
    const int values[] = {0, 64, 127, 128, 192, 255};
    const struct {
        int row;
        int entries[6];
    } rows[] = {
        {0, {123, 125, 127, 127, 129, 131}},   {63, {73, 100, 127, 127, 154, 181}},
        {127, {0, 64, 127, 128, 192, 255}},    {191, {0, 0, 126, 128, 255, 255}},
        {254, {0, 0, 112, 142, 255, 255}},
    };
    for (const auto& r : rows)
        for (int k = 0; k < 6; ++k) {
            SCOPED_TRACE(std::to_string(r.row) + "," + std::to_string(values[k]));
            EXPECT_EQ(ContrastTable[r.row * 256 + values[k]], r.entries[k]);
        }
    // Every curve rises monotonically.
    for (int row = 0; row < 256; ++row)
        for (int v = 1; v < 256; ++v)
            ASSERT_LE(ContrastTable[row * 256 + v - 1], ContrastTable[row * 256 + v]) << row << "," << v;
}

TEST_F(LayerBlend, ByteArithmetic)
{
    // The inline division gives the shared table's byte over its whole range.
    for (int v = -65025; v <= 65025; ++v)
        ASSERT_EQ(static_cast<unsigned char>(KSN_Div255(v)), DivideBy255Table[65025 + v]) << v;

    // Undoing premultiplication holds a colour above its alpha at 255 instead
    // of keeping the low byte of the quotient (510 would wrap to 254).
    EXPECT_EQ(KSN_UnpremultiplyByte(200, 100), 255);
    EXPECT_EQ(KSN_UnpremultiplyByte(255, 1), 255);
    EXPECT_EQ(KSN_UnpremultiplyByte(50, 100), 127);
    EXPECT_EQ(KSN_UnpremultiplyByte(99, 127), 198);
    EXPECT_EQ(KSN_UnpremultiplyByte(10, 0), 0);
}

} // namespace
