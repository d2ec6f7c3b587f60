// Every compositing kernel against its scalar reference: random pixels, odd
// widths, rectangles that start and end in the middle of a sixteen-pixel
// vector, each strength path, with and without a mask. Every byte of the
// resolved image and its alpha must match, inside the rectangle and out.
#include "KSN_LayerBlend.h"
#include "KSN_MapLayer.h"
#include "QORLookupTables.h"
#include "QORMaterialMapSource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

struct TKernelPair {
    const char* Name;
    TKSN_MixMapLayersFunction Kernel;
    TKSN_MixMapLayersFunction Reference;
};

#define KSN_PAIR(Name) {#Name, MixMapLayers_##Name, MixMapLayers_##Name##_Scalar}
const TKernelPair Pairs[] = {
    KSN_PAIR(Normal),     KSN_PAIR(Lighten),        KSN_PAIR(Darken),     KSN_PAIR(Multiply),
    KSN_PAIR(Overlay),    KSN_PAIR(HardLight),      KSN_PAIR(SoftLight),  KSN_PAIR(Dodge),
    KSN_PAIR(Burn),       KSN_PAIR(Exclusion),      KSN_PAIR(Difference), KSN_PAIR(Hue),
    KSN_PAIR(HueUp),      KSN_PAIR(HueDown),        KSN_PAIR(Lightness),  KSN_PAIR(Saturation),
    KSN_PAIR(SaturationUp), KSN_PAIR(SaturationDown), KSN_PAIR(RgbUp),    KSN_PAIR(RgbDown),
    KSN_PAIR(Color),      KSN_PAIR(ContrastUp),     KSN_PAIR(ContrastDown),
};
#undef KSN_PAIR

std::vector<unsigned char> RandomBytes(size_t count, uint32_t& state)
{
    std::vector<unsigned char> bytes(count);
    for (unsigned char& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = (unsigned char)(state >> 24);
    }
    // The ends of the byte range, where clamps and wraps would show.
    for (size_t i = 0; i < count; i += 37) bytes[i] = (i / 37) % 2 ? 255 : 0;
    return bytes;
}

// Kernels on their plain x86-64 rows for one scope (they take their AVX2 rows
// again afterwards, where the processor has them).
struct TPlainRowsScope {
    explicit TPlainRowsScope(bool plain) { KSN_LayerBlendAllowAvx2(!plain); }
    ~TPlainRowsScope() { KSN_LayerBlendAllowAvx2(true); }
    TPlainRowsScope(const TPlainRowsScope&) = delete;
    TPlainRowsScope& operator=(const TPlainRowsScope&) = delete;
};

struct TRect {
    int X0, Y0, X1, Y1;
};

// The tables the kernels read; every test runs on its own under ctest.
class LayerBlendDifferential : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CreateDivideBy255Table();
        Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
        // The layer resolution leaves the table at cut-off 0 (all 255).
        Create_Saturation_Up_Table(0.0f);
    }
};

TEST_F(LayerBlendDifferential, EveryKernelMatchesItsScalarReferenceByteForByte)
{
    constexpr int W = 83, H = 7;   // odd width: rows start at every offset of a vector
    // Strength bytes 0, 1, 127 and 254 on the accumulating path, 254 on the
    // full-strength path (strength >= 0.9999 but below 1), and 255.
    const float strengths[] = {0.0f, 1.5f / 255, 127.5f / 255, 254.5f / 255, 0.99995f, 1.0f};
    const TRect rects[] = {
        {0, 0, W, H},       // whole rows: five vectors and a ragged end
        {5, 1, 38, 6},      // starts and ends mid-vector, two whole vectors
        {17, 2, 33, 3},     // exactly one vector, unaligned
        {40, 3, 41, 5},     // one pixel wide
        {1, 0, 16, H},      // shorter than a vector
        {66, 4, 83, 7},     // ends on the image's last byte
    };
    uint32_t seed = 12345u;
    for (bool plainRows : {false, true}) {
    const TPlainRowsScope rows(plainRows);
    SCOPED_TRACE(plainRows ? "plain x86-64 rows" : "AVX2 rows where present");
    for (const TKernelPair& pair : Pairs) {
        for (float strength : strengths) {
            for (bool masked : {false, true}) {
                for (const TRect& r : rects) {
                    SCOPED_TRACE(::testing::Message() << pair.Name << ", strength " << strength
                                                      << (masked ? ", masked" : ", no mask") << ", rectangle " << r.X0
                                                      << "," << r.Y0 << " - " << r.X1 << "," << r.Y1);
                    const std::vector<unsigned char> resolved = RandomBytes(size_t(W) * H * 3, seed);
                    const std::vector<unsigned char> alpha = RandomBytes(size_t(W) * H, seed);
                    std::vector<unsigned char> layerPixels = RandomBytes(size_t(W) * H * 3, seed);
                    std::vector<unsigned char> mask = RandomBytes(size_t(W) * H, seed);
                    TKSN_MapLayer layer;
                    layer.SetStrength(strength);

                    std::vector<unsigned char> fastRGB = resolved, fastAlpha = alpha;
                    std::vector<unsigned char> refRGB = resolved, refAlpha = alpha;
                    unsigned char* m = masked ? mask.data() : nullptr;
                    pair.Kernel(&layer, fastRGB.data(), fastAlpha.data(), layerPixels.data(), m, r.X0, r.Y0, r.X1, r.Y1,
                                W, H);
                    pair.Reference(&layer, refRGB.data(), refAlpha.data(), layerPixels.data(), m, r.X0, r.Y0, r.X1,
                                   r.Y1, W, H);
                    for (size_t i = 0; i < fastRGB.size(); ++i)
                        ASSERT_EQ(int(fastRGB[i]), int(refRGB[i])) << "colour byte " << i << " (pixel " << i / 3 << ")";
                    for (size_t i = 0; i < fastAlpha.size(); ++i)
                        ASSERT_EQ(int(fastAlpha[i]), int(refAlpha[i])) << "alpha of pixel " << i;
                }
            }
        }
    }
    }
}

// Every resolved value against every layer value, one channel each, at the
// alphas where the truncation toward zero matters most.
TEST_F(LayerBlendDifferential, EveryByteCombinationOfTheVectorKernels)
{    constexpr int W = 256;   // row d, pixel s: every channel of the pixel holds d under s
    std::vector<unsigned char> resolved(size_t(W) * 256 * 3), layerPixels(resolved.size()), alpha(size_t(W) * 256);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s)
            for (int c = 0; c < 3; ++c) {
                const size_t i = (size_t(d) * W + size_t(s)) * 3 + size_t(c);
                resolved[i] = (unsigned char)d;
                layerPixels[i] = (unsigned char)(s + 85 * c);   // the other channels see other pairs
            }
    for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = (unsigned char)(i * 7);
    std::vector<unsigned char> mask(alpha.size());
    for (size_t i = 0; i < mask.size(); ++i) mask[i] = (unsigned char)(i * 13 + 1);
    for (bool plainRows : {false, true})
    for (const TKernelPair& pair : Pairs) {
        const TPlainRowsScope rows(plainRows);
        for (float strength : {1.0f, 128.5f / 255}) {
            SCOPED_TRACE(::testing::Message() << pair.Name << ", strength " << strength
                                              << (plainRows ? ", plain x86-64 rows" : ""));
            TKSN_MapLayer layer;
            layer.SetStrength(strength);
            std::vector<unsigned char> fastRGB = resolved, fastAlpha = alpha, refRGB = resolved, refAlpha = alpha;
            pair.Kernel(&layer, fastRGB.data(), fastAlpha.data(), layerPixels.data(), mask.data(), 0, 0, W, 256, W, 256);
            pair.Reference(&layer, refRGB.data(), refAlpha.data(), layerPixels.data(), mask.data(), 0, 0, W, 256, W, 256);
            ASSERT_EQ(fastRGB, refRGB);
            ASSERT_EQ(fastAlpha, refAlpha);
        }
    }
}

// The post-mix (un-darkening and checkerboard) against its scalar reference,
// for display and for export, over every alpha and colour byte.
TEST_F(LayerBlendDifferential, PostMixMatchesItsScalarReference)
{
    constexpr int W = 259, H = 260;   // odd width; rows y / 4 of both parities
    uint32_t seed = 777u;
    std::vector<unsigned char> rgb = RandomBytes(size_t(W) * H * 3, seed);
    std::vector<unsigned char> alpha(size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) alpha[size_t(y) * W + size_t(x)] = (unsigned char)(y);   // row y: alpha y
    for (size_t i = 0; i < rgb.size(); i += 3) rgb[i] = (unsigned char)(i / 3 % 256);    // every colour byte per alpha
    // Rows 250..259 wholly covered or wholly clear, in runs longer than a vector.
    for (int y = 250; y < H; ++y)
        for (int x = 0; x < W; ++x) alpha[size_t(y) * W + size_t(x)] = (x / 40 + y) % 2 ? 255 : 0;
    const TRect rects[] = {{0, 0, W, H}, {3, 5, 250, 200}, {7, 1, 24, 9}, {100, 10, 101, 30}};
    unsigned char a[3] = {200, 17, 255}, b[3] = {0, 128, 99};
    for (bool plainRows : {false, true})
    for (bool forExport : {false, true})
        for (const TRect& r : rects) {
            const TPlainRowsScope rows(plainRows);
            SCOPED_TRACE(::testing::Message() << (forExport ? "export" : "display") << ", rectangle " << r.X0 << ","
                                              << r.Y0 << " - " << r.X1 << "," << r.Y1
                                              << (plainRows ? ", plain x86-64 rows" : ""));
            ResolvingLayersForExport = forExport;
            std::vector<unsigned char> fast = rgb, reference = rgb;
            MixMapLayers_PostMixGridGrid(fast.data(), alpha.data(), r.X0, r.Y0, r.X1, r.Y1, W, H, a, b);
            MixMapLayers_PostMixGridGrid_Scalar(reference.data(), alpha.data(), r.X0, r.Y0, r.X1, r.Y1, W, H, a, b);
            ResolvingLayersForExport = false;
            for (size_t i = 0; i < fast.size(); ++i) ASSERT_EQ(int(fast[i]), int(reference[i])) << "byte " << i;
        }
}

} // namespace

namespace {

// The HLS kernels on every pairing of resolved and layer colours built from
// the bytes where RGBToHLS changes course: greys, two channels sharing the
// maximum, lightness either side of 127/128, hues either side of red (which
// wrap), black and white; masks 0, 255 and partial.
TEST_F(LayerBlendDifferential, HlsKernelsMatchOnEveryPairOfTurningColours)
{
    const unsigned char values[] = {0, 1, 2, 63, 64, 127, 128, 129, 191, 254, 255};
    std::vector<unsigned char> colours;
    for (unsigned char r : values)
        for (unsigned char g : values)
            for (unsigned char b : values) colours.insert(colours.end(), {r, g, b});
    const int count = int(colours.size() / 3);
    const int W = count + 5, H = count;   // rows end on a ragged tail
    std::vector<unsigned char> resolved(size_t(W) * H * 3), layerPixels(resolved.size());
    std::vector<unsigned char> alpha(size_t(W) * H), mask(alpha.size());
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const size_t p = size_t(y) * W + size_t(x);
            for (int c = 0; c < 3; ++c) {
                resolved[3 * p + size_t(c)] = colours[3 * size_t(y) + size_t(c)];
                layerPixels[3 * p + size_t(c)] = colours[3 * size_t(x % count) + size_t(c)];
            }
            alpha[p] = (unsigned char)(p * 29);
            mask[p] = p % 3 == 0 ? 0 : p % 3 == 1 ? 255 : (unsigned char)(p * 7);
        }
    const TKernelPair hlsPairs[] = {
        {"Hue", MixMapLayers_Hue, MixMapLayers_Hue_Scalar},
        {"Lightness", MixMapLayers_Lightness, MixMapLayers_Lightness_Scalar},
        {"Saturation", MixMapLayers_Saturation, MixMapLayers_Saturation_Scalar},
        {"Color", MixMapLayers_Color, MixMapLayers_Color_Scalar},
    };
    for (bool plainRows : {false, true})
        for (const TKernelPair& pair : hlsPairs)
            for (float strength : {0.99995f, 200.5f / 255})
                for (bool masked : {false, true}) {
                    const TPlainRowsScope rows(plainRows);
                    SCOPED_TRACE(::testing::Message() << pair.Name << ", strength " << strength
                                                      << (masked ? ", masked" : ", no mask")
                                                      << (plainRows ? ", plain x86-64 rows" : ""));
                    TKSN_MapLayer layer;
                    layer.SetStrength(strength);
                    std::vector<unsigned char> fastRGB = resolved, fastAlpha = alpha, refRGB = resolved,
                                               refAlpha = alpha;
                    unsigned char* m = masked ? mask.data() : nullptr;
                    pair.Kernel(&layer, fastRGB.data(), fastAlpha.data(), layerPixels.data(), m, 0, 0, W, H, W, H);
                    pair.Reference(&layer, refRGB.data(), refAlpha.data(), layerPixels.data(), m, 0, 0, W, H, W, H);
                    for (size_t i = 0; i < fastRGB.size(); ++i)
                        ASSERT_EQ(int(fastRGB[i]), int(refRGB[i]))
                            << "colour byte " << i << " (resolved colour " << i / 3 / size_t(W) << ", layer colour "
                            << i / 3 % size_t(W) % size_t(count) << ")";
                    ASSERT_EQ(fastAlpha, refAlpha);
                }
}

// Masks as painting leaves them: long runs of 0 and of 255 with soft edges
// between, so whole vectors are clear or covered and others mixed; every
// kernel, both rows, rectangles that cut the runs anywhere.
TEST_F(LayerBlendDifferential, EveryKernelMatchesOnMasksWithClearAndCoveredRuns)
{
    constexpr int W = 101, H = 9;
    uint32_t seed = 4242u;
    std::vector<unsigned char> mask(size_t(W) * H);
    for (size_t i = 0; i < mask.size(); ++i) {
        const size_t phase = i % 53;   // 0..20 clear, 21..23 soft, 24..49 covered, 50..52 soft
        mask[i] = phase < 21 ? 0 : phase < 24 ? (unsigned char)(phase * 9) : phase < 50 ? 255 : (unsigned char)(phase * 3);
    }
    const TRect rects[] = {{0, 0, W, H}, {3, 1, 90, 8}, {21, 2, 37, 4}};
    for (bool plainRows : {false, true}) {
        const TPlainRowsScope rows(plainRows);
        for (const TKernelPair& pair : Pairs)
            for (float strength : {1.0f, 100.5f / 255})
                for (const TRect& r : rects) {
                    SCOPED_TRACE(::testing::Message() << pair.Name << ", strength " << strength << ", rectangle "
                                                      << r.X0 << "," << r.Y0 << " - " << r.X1 << "," << r.Y1
                                                      << (plainRows ? ", plain x86-64 rows" : ""));
                    const std::vector<unsigned char> resolved = RandomBytes(size_t(W) * H * 3, seed);
                    const std::vector<unsigned char> alpha = RandomBytes(size_t(W) * H, seed);
                    const std::vector<unsigned char> layerPixels = RandomBytes(size_t(W) * H * 3, seed);
                    TKSN_MapLayer layer;
                    layer.SetStrength(strength);
                    std::vector<unsigned char> fastRGB = resolved, fastAlpha = alpha, refRGB = resolved,
                                               refAlpha = alpha;
                    pair.Kernel(&layer, fastRGB.data(), fastAlpha.data(), const_cast<unsigned char*>(layerPixels.data()),
                                mask.data(), r.X0, r.Y0, r.X1, r.Y1, W, H);
                    pair.Reference(&layer, refRGB.data(), refAlpha.data(),
                                   const_cast<unsigned char*>(layerPixels.data()), mask.data(), r.X0, r.Y0, r.X1, r.Y1,
                                   W, H);
                    ASSERT_EQ(fastRGB, refRGB);
                    ASSERT_EQ(fastAlpha, refAlpha);
                }
    }
}

// The un-darkening of the post-mix on every alpha (row) and colour byte
// (column, in each channel), colours above their alpha included, display and
// export, on both rows.
TEST_F(LayerBlendDifferential, PostMixMatchesOnEveryAlphaAndColour)
{
    constexpr int W = 256 + 7, H = 256;   // a ragged tail after the 256 colours
    std::vector<unsigned char> rgb(size_t(W) * H * 3), alpha(size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const size_t p = size_t(y) * W + size_t(x);
            alpha[p] = (unsigned char)y;
            for (int c = 0; c < 3; ++c) rgb[3 * p + size_t(c)] = (unsigned char)(x + 85 * c);
        }
    unsigned char a[3] = {0, 255, 31}, b[3] = {255, 0, 200};
    for (bool plainRows : {false, true})
        for (bool forExport : {false, true}) {
            const TPlainRowsScope rows(plainRows);
            SCOPED_TRACE(::testing::Message() << (forExport ? "export" : "display")
                                              << (plainRows ? ", plain x86-64 rows" : ""));
            ResolvingLayersForExport = forExport;
            std::vector<unsigned char> fast = rgb, reference = rgb;
            MixMapLayers_PostMixGridGrid(fast.data(), alpha.data(), 0, 0, W, H, W, H, a, b);
            MixMapLayers_PostMixGridGrid_Scalar(reference.data(), alpha.data(), 0, 0, W, H, W, H, a, b);
            ResolvingLayersForExport = false;
            for (size_t i = 0; i < fast.size(); ++i)
                ASSERT_EQ(int(fast[i]), int(reference[i])) << "alpha " << i / 3 / W << ", colour byte " << i;
        }
}

// The row conversion of the Hue kernel against HLSToRGB on every (H, L, S)
// triple, in rows that end on a ragged tail.
TEST(LayerBlendColourRow, HlsToRgbRowMatchesTheConversion)
{
    constexpr size_t RowTriples = 65536 + 5;
    std::vector<unsigned char> hls(RowTriples * 3), fast(hls.size()), reference(hls.size());
    for (uint32_t first = 0; first < (1u << 24); first += 65536) {
        for (size_t i = 0; i < RowTriples; ++i) {
            const uint32_t v = (first + uint32_t(i)) & 0xFFFFFFu;
            hls[3 * i] = (unsigned char)(v >> 16);
            hls[3 * i + 1] = (unsigned char)(v >> 8);
            hls[3 * i + 2] = (unsigned char)v;
        }
        HLSToRGBRow(fast.data(), hls.data(), RowTriples);
        for (size_t i = 0; i < RowTriples; ++i) HLSToRGB(reference.data() + 3 * i, hls.data() + 3 * i);
        for (size_t i = 0; i < fast.size(); ++i)
            ASSERT_EQ(int(fast[i]), int(reference[i]))
                << "H " << int(hls[i / 3 * 3]) << ", L " << int(hls[i / 3 * 3 + 1]) << ", S " << int(hls[i / 3 * 3 + 2]);
    }
}

} // namespace
