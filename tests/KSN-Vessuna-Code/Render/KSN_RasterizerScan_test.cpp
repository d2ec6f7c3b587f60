// The rasteriser scan with its small-box narrowing against the scan over the
// whole box: on many random triangles (small, grid cells, slivers,
// degenerate, off-screen, huge, non-finite) both must hand the kernel the
// same pixels in the same order with the same weights, and leave the same
// depth buffer, bit for bit.
#include "KSN_RasterizeTriangle.h"
#include "KSN_Rasterizers_Internal.h"
#include "QORLookupTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

struct TDrawn {
    long long n;
    float w[3];
    double m[3];
};

template <bool MapWeights, bool Common = false> struct TRecordingKernel {
    static constexpr bool NeedsMapWeights = MapWeights;
    static constexpr bool CommonCaseLoop = Common;
    bool ValueWeights = false;
    std::vector<TDrawn>* Out = nullptr;
    bool NeedsValueWeights() const { return ValueWeights; }
    void operator()(long long n, const TScanWeights& w) const
    {
        TDrawn d{};
        d.n = n;
        std::memcpy(d.w, w.w, sizeof d.w);
        if constexpr (MapWeights) std::memcpy(d.m, w.m, sizeof d.m);
        Out->push_back(d);
    }
};

bool SameBits(const std::vector<TDrawn>& a, const std::vector<TDrawn>& b)
{
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k)
        if (a[k].n != b[k].n || std::memcmp(a[k].w, b[k].w, sizeof a[k].w) != 0 ||
            std::memcmp(a[k].m, b[k].m, sizeof a[k].m) != 0)
            return false;
    return true;
}

class TRandom {
public:
    explicit TRandom(uint32_t seed) : State(seed) {}
    float Unit()
    {
        State = State * 1664525u + 1013904223u;
        return float(State >> 8) / float(1u << 24);
    }
    float In(float lo, float hi) { return lo + (hi - lo) * Unit(); }
    int Pick(int count) { return std::min(count - 1, int(Unit() * float(count))); }

private:
    uint32_t State;
};

constexpr int Width = 37, RowLength = 40, Height = 29;

// One triangle of the family `kind`, x and y in target pixels, z depth.
void MakeTriangle(TRandom& r, int kind, float p[3][3])
{
    const float inf = std::numeric_limits<float>::infinity();
    const float cx = r.In(-6.0f, float(Width) + 6.0f), cy = r.In(-6.0f, float(Height) + 6.0f);
    for (int k = 0; k < 3; ++k) p[k][2] = r.In(-0.2f, 1.2f);
    switch (kind) {
    case 0:   // small, within a few pixels
        for (int k = 0; k < 3; ++k) {
            p[k][0] = cx + r.In(-4.0f, 4.0f);
            p[k][1] = cy + r.In(-4.0f, 4.0f);
        }
        break;
    case 1: {   // a cell of a dense grid, corners on a coarse lattice so edges pass through pixel centres
        const float x = std::floor(cx * 2.0f) * 0.5f, y = std::floor(cy * 2.0f) * 0.5f;
        const float w = 0.5f * float(1 + r.Pick(6)), h = 0.5f * float(1 + r.Pick(6));
        const float q[4][2] = {{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}};
        const int a = r.Pick(4);
        for (int k = 0; k < 3; ++k) {
            p[k][0] = q[(a + k) % 4][0];
            p[k][1] = q[(a + k) % 4][1];
        }
        break;
    }
    case 2:   // sliver: the third corner next to the first edge
        p[0][0] = cx, p[0][1] = cy;
        p[1][0] = cx + r.In(-7.0f, 7.0f), p[1][1] = cy + r.In(-20.0f, 20.0f);
        {
            const float t = r.In(0.0f, 1.0f), e = r.In(-1e-3f, 1e-3f);
            p[2][0] = p[0][0] + t * (p[1][0] - p[0][0]) + e;
            p[2][1] = p[0][1] + t * (p[1][1] - p[0][1]) - e;
        }
        break;
    case 3:   // degenerate: collinear or coincident corners
        p[0][0] = cx, p[0][1] = cy;
        p[1][0] = cx + float(r.Pick(5)), p[1][1] = cy + float(r.Pick(5));
        p[2][0] = cx + 2.0f * (p[1][0] - cx), p[2][1] = cy + 2.0f * (p[1][1] - cy);
        break;
    case 4:   // huge, or far off-screen
        for (int k = 0; k < 3; ++k) {
            p[k][0] = r.In(-1e6f, 1e6f);
            p[k][1] = r.In(-1e6f, 1e6f);
        }
        if (r.Pick(2)) p[r.Pick(3)][0] = cx;
        break;
    case 5:   // tall and thin: few columns, many rows
        for (int k = 0; k < 3; ++k) {
            p[k][0] = cx + r.In(-3.0f, 3.0f);
            p[k][1] = r.In(-10.0f, float(Height) + 10.0f);
        }
        break;
    default: {   // non-finite or extreme corners
        const float odd[] = {inf, -inf, std::numeric_limits<float>::quiet_NaN(), 3e38f, -3e38f, 1e-38f};
        for (int k = 0; k < 3; ++k) {
            p[k][0] = cx + r.In(-3.0f, 3.0f);
            p[k][1] = cy + r.In(-3.0f, 3.0f);
        }
        p[r.Pick(3)][r.Pick(2)] = odd[r.Pick(6)];
        break;
    }
    }
    if (r.Pick(4) == 0)   // flat depth: no value weights needed for it
        p[1][2] = p[2][2] = p[0][2];
}

// Common: the narrowed scan runs the loop compiled for the usual case where
// it applies; the whole-box scan always runs the general one.
template <bool MapWeights, bool Common = false> void CompareOnRandomTriangles(uint32_t seed)
{
    TRandom r(seed);
    std::vector<float> depthAny(size_t(RowLength) * Height), depthPlain(depthAny.size());
    for (float& z : depthAny) z = r.In(-0.1f, 1.1f);
    depthPlain = depthAny;
    int drawnTotal = 0;
    for (int n = 0; n < 20000; ++n) {
        float p[3][3];
        const int kind = r.Pick(7);
        MakeTriangle(r, kind, p);
        TScanTriangle t;
        for (int k = 0; k < 3; ++k) t.p[k] = p[k];
        t.Width = Width;
        t.RowLength = RowLength;
        t.Height = Height;
        t.ExtendEdges = r.Pick(8) == 0;
        if (r.Pick(4) == 0) {   // a renderer thread's band of rows
            t.ClipRowFirst = r.Pick(Height);
            t.ClipRowEnd = t.ClipRowFirst + r.Pick(Height);
        }
        const bool withDepth = r.Pick(5) != 0;
        std::vector<TDrawn> any, plain;
        TRecordingKernel<MapWeights, Common> narrowed;
        narrowed.ValueWeights = r.Pick(2) == 0;
        narrowed.Out = &any;
        t.Depth = withDepth ? depthAny.data() : nullptr;
        KSN_ScanTriangle(t, narrowed, TScanPath::Any);
        TRecordingKernel<MapWeights> k;
        k.ValueWeights = narrowed.ValueWeights;
        k.Out = &plain;
        t.Depth = withDepth ? depthPlain.data() : nullptr;
        KSN_ScanTriangle(t, k, TScanPath::WholeBox);
        drawnTotal += int(plain.size());
        ASSERT_TRUE(SameBits(any, plain))
            << "triangle " << n << " kind " << kind << ": (" << p[0][0] << ", " << p[0][1] << ") (" << p[1][0]
            << ", " << p[1][1] << ") (" << p[2][0] << ", " << p[2][1] << "), " << any.size() << " vs "
            << plain.size() << " pixels";
        ASSERT_EQ(std::memcmp(depthAny.data(), depthPlain.data(), depthAny.size() * sizeof(float)), 0)
            << "triangle " << n << " kind " << kind;
    }
    EXPECT_GT(drawnTotal, 20000) << "the families must draw pixels to compare";
}

TEST(RasterizerScan, NarrowedScanMatchesTheWholeBoxBitForBit)
{
    CompareOnRandomTriangles<false>(11u);
    CompareOnRandomTriangles<true>(29u);
    CompareOnRandomTriangles<false, true>(37u);
}

// The per-pixel helpers' branch-free forms against the plain expressions
// they replace, bit for bit, over the values where they could differ.
TEST(RasterizerScan, BranchFreeFormsMatchThePlainExpressions)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const float values[] = {nan,   -inf,  -1.0f,  -1e-9f, -0.0f,      0.0f, 1e-9f, 0.5f, 0.99999994f,
                            1.0f,  1.0000001f, 1.5f, inf,  -0.3f, 1.3f, -0.30000001f, 1.3000001f};
    auto same = [](auto a, auto b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (float z : values) {
        SCOPED_TRACE(::testing::Message() << "z = " << z);
        const float store = z < 0.0f ? 0.0f : (z > 1.0f ? 1.0f : z);
        const float test = z > 1.0f ? 1.0f : (z < 0.0f ? 1e-8f : z + 1e-8f);
        EXPECT_TRUE(same(KSN_ClampMinMax(z, 0.0f, 1.0f), store));
        EXPECT_TRUE(same(KSN_ClampMinMax(z + 1e-8f, 1e-8f, 1.0f), test));
        const double b = double(z);
        EXPECT_TRUE(same(KSN_ClampMinMax(b, 0.0, 1.0), std::clamp(b, 0.0, 1.0)));
        EXPECT_TRUE(same(KSN_ClampMinMax(b, -0.3, 1.3), std::clamp(b, -0.3, 1.3)));
    }
    // A colour's three bytes in lanes against the scalar byte, each value in
    // each channel (the fourth read, never used).
    const float colours[] = {nan, -inf, -1.0f, -0.0f, 0.0f, 1e-30f, 1.0f / 255.0f, 0.0039215684f, 0.5f,
                             254.5f / 255.0f, 0.99999994f, 1.0f, 1.0000001f, 2.0f, 1e30f, inf};
    for (int k = 0; k < 3; ++k)
        for (float v : colours) {
            float c[4] = {0.25f, 0.5f, 0.75f, nan};
            c[k] = v;
            const uint32_t bytes = KSN_ColorBytes3(c);
            for (int m = 0; m < 3; ++m)
                EXPECT_EQ(int((bytes >> (8 * m)) & 0xffu), KSN_ColorByte(c[m])) << "channel " << k << " value " << v;
            EXPECT_EQ(bytes >> 24, 0u);
        }
    // The inside test against the six plain comparisons, b2 as the scan
    // forms it, with the bounds, their neighbours, zeros and non-finite values.
    const double coords[] = {double(nan), -double(inf), -1.0, -0.0001000001, -0.0001, -0.0000999999, -0.0, 0.0,
                             0.3, 0.5, 1.0, 1.0000999999, 1.0001, 1.0001000001, 2.0, double(inf)};
    const __m128d lo = _mm_set1_pd(-0.0001), hi = _mm_set1_pd(1.0001);
    for (double b0 : coords)
        for (double b1 : coords) {
            const double b2 = 1.0 - b0 - b1;
            const bool plain = b0 >= -0.0001 && b0 <= 1.0001 && b1 >= -0.0001 && b1 <= 1.0001 && b2 >= -0.0001 &&
                               b2 <= 1.0001;
            EXPECT_EQ(KSN_InsideBarycentric(_mm_setr_pd(b0, b1), b2, lo, hi), plain) << b0 << ", " << b1;
        }
    // Constant or interpolated: the four-lane test against the plain loop,
    // each component of b or c off by a difference at, below or above 1e-30.
    const float offsets[] = {0.0f, -0.0f, 1e-30f, 0.99e-30f, -1e-30f, 1e-3f, nan, inf};
    for (int k = 0; k < 4; ++k)
        for (float o : offsets)
            for (int which = 0; which < 2; ++which) {
                float a[4] = {0.25f, 0.5f, 0.75f, 1.0f}, b[4], c[4];
                std::memcpy(b, a, sizeof a);
                std::memcpy(c, a, sizeof a);
                a[k] = 0.0f;
                b[k] = c[k] = 0.0f;
                (which ? c : b)[k] = o;
                bool plain = false;
                for (int m = 0; m < 4; ++m)
                    if (std::fabs(b[m] - a[m]) >= 1e-30f || std::fabs(c[m] - a[m]) >= 1e-30f) plain = true;
                TVertexValues<4> values4;
                values4.Setup(a, b, c);
                EXPECT_EQ(values4.Interpolate, plain) << "component " << k << " offset " << o;
            }
}

// The textured kernels skip the edge clamps for a sample within
// 0 <= p < size - 1, so there the unclamped axis must equal the clamped one
// bit for bit; the values next to either end matter most.
TEST(RasterizerScan, UnclampedAxisEqualsTheClampedOneWithinTheMap)
{
    TRandom r(43u);
    for (int size : {2, 3, 64, 1024, 4096, 1 << 24}) {
        const float last = float(size - 1);
        std::vector<float> samples = {0.0f, std::nextafter(0.0f, 1.0f), 0.5f, std::nextafter(last, 0.0f),
                                      std::nextafter(last - 1.0f, 0.0f), last - 1.0f};
        for (int n = 0; n < 2000; ++n) samples.push_back(r.In(0.0f, last));
        for (float p : samples) {
            if (!(p >= 0.0f && p < last)) continue;
            const TSampleAxis fast = KSN_InsideAxis(p), clamped = KSN_ClampAxis(p, size);
            ASSERT_EQ(fast.i0, clamped.i0) << "size " << size << ", p " << p;
            ASSERT_EQ(fast.i1, clamped.i1) << "size " << size << ", p " << p;
            ASSERT_EQ(std::memcmp(&fast.f, &clamped.f, sizeof fast.f), 0) << "size " << size << ", p " << p;
        }
    }
}

// The six-byte bilinear blend and, on a processor with AVX2, the blend of
// the AVX2 copies (a widening load per texel) against the per-channel one,
// over random positions and fractions, the map's last row and column
// included (the reads must stay within the map: AddressSanitizer sees the
// exact buffer in the first).
TEST(RasterizerScan, AdjacentBilinearMatchesThePerChannelBlend)
{
    const bool avx2 = __builtin_cpu_supports("avx2") != 0;
    TRandom r(5u);
    for (int size : {2, 3, 17}) {
        std::vector<uint8_t> map(size_t(size) * size * 3);
        for (uint8_t& b : map) b = uint8_t(r.Unit() * 256.0f);
        for (int n = 0; n < 4000; ++n) {
            const float p = n < 4 ? float(size - 1) - (n & 1 ? 1e-6f : 0.5f) : r.In(0.0f, float(size - 1) - 1e-6f);
            const float q = n < 4 ? float(size - 1) - (n & 2 ? 1e-6f : 0.5f) : r.In(0.0f, float(size - 1) - 1e-6f);
            const TSampleAxis u = KSN_InsideAxis(p), v = KSN_InsideAxis(q);
            int fast[3], plain[3];
            KSN_Bilinear3Adjacent(map.data(), size, u, v, fast);
            KSN_Bilinear3(map.data(), size, u, v, plain);
            for (int c = 0; c < 3; ++c) ASSERT_EQ(fast[c], plain[c]) << "size " << size << " p " << p << " q " << q;
            if (!avx2) continue;
            const __m128i wide = KSN_Bilinear3InsideWide(map.data(), unsigned(size) * 3u, _mm_setr_epi32(u.i0, v.i0, 0, 0),
                                                         _mm_setr_ps(u.f, v.f, 0.0f, 0.0f));
            alignas(16) int lanes[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(lanes), wide);
            for (int c = 0; c < 3; ++c) ASSERT_EQ(lanes[c], plain[c]) << "wide, size " << size << " p " << p << " q " << q;
        }
    }
}

TEST(RasterizerScan, ByteQuotientsAndShadesMatchTheirPlainForms)
{
    CreateDivideBy255Table();
    for (int p = 0; p <= 255 * 255; ++p) {
        ASSERT_EQ(KSN_Div255Byte(p), p / 255) << p;
        ASSERT_EQ(KSN_Div255Byte(p), KSN_Div255(p)) << p;
    }
    const float lights[] = {-1.0f, -0.0f, 0.0f, 0.001f, 0.5f, 0.99999994f, 1.0f, 1.0000001f, 2.0f, 1e30f};
    for (float l : lights) {
        const float x = l * 255.0f;
        EXPECT_EQ(int(KSN_ClampMinMax(x, 0.0f, 255.0f)), x > 255.0f ? 255 : (x < 0.0f ? 0 : int(x))) << l;
    }
}

// A random record for the textured rasterisers on a W x H target: map
// coordinates inside the map or across its edges, white or coloured, lit or
// not, with and without an alpha map, the band; mostly small triangles.
struct TTexturedCase {
    static constexpr int W = 40, H = 30;
    std::vector<uint8_t> Map = std::vector<uint8_t>(61 * 61 * 3), Alpha = std::vector<uint8_t>(7 * 5);
    TTexturedCase(TRandom& r)
    {
        for (uint8_t& b : Map) b = uint8_t(r.Unit() * 256.0f);
        for (uint8_t& b : Alpha) b = uint8_t(r.Unit() * 256.0f);
    }
    // Fills t; true when the unlit planes are to be written too.
    bool Make(TRandom& r, TKSN_RasterizeTriangle& t)
    {
        const int sizes[] = {1, 2, 3, 16, 61};
        const int size = sizes[r.Pick(5)];
        t.Width = t.RowLength = W;
        t.Height = H;
        t.BytesPerPixel = 4;
        t.ColorMap = Map.data();
        t.ColorMapWidth = size;
        t.ColorMapHeight = sizes[r.Pick(5)];
        t.ColorMapBytesPerPixel = 3;
        t.ExtendEdges = r.Pick(6) == 0;
        if (r.Pick(3) == 0) {
            t.AlphaMap = Alpha.data();
            t.AlphaMapWidth = 7;
            t.AlphaMapHeight = 5;
        }
        const float centre = r.In(0.0f, 1.0f), spread = r.Pick(2) ? r.In(0.0f, 0.05f) : r.In(0.0f, 0.6f);
        for (int k = 0; k < 3; ++k) {
            float p[3];
            p[0] = r.In(-3.0f, float(W) + 3.0f);
            p[1] = r.In(-3.0f, float(H) + 3.0f);
            p[2] = r.In(0.0f, 1.0f);
            if (k > 0 && r.Pick(2)) {   // mostly small triangles
                p[0] = t.Vertex[0][0] + r.In(-4.0f, 4.0f);
                p[1] = t.Vertex[0][1] + r.In(-4.0f, 4.0f);
            }
            for (int c = 0; c < 3; ++c) t.Vertex[k][c] = p[c];
            t.UV[k][0] = centre + r.In(-spread, spread);
            t.UV[k][1] = centre + r.In(-spread, spread);
            t.Light[k] = r.Pick(3) == 0 ? 1.0f : r.In(-0.2f, 1.2f);
            for (int c = 0; c < 4; ++c) t.Color[k][c] = r.Pick(2) ? 1.0f : r.In(0.0f, 1.2f);
        }
        return r.Pick(2) == 0;
    }
};

struct TTexturedImages {
    static constexpr int W = TTexturedCase::W, H = TTexturedCase::H;
    std::vector<uint8_t> Pixels = std::vector<uint8_t>(W * H * 4, 0), Unlit = std::vector<uint8_t>(W * H * 3, 0),
                         Shade = std::vector<uint8_t>(W * H, 0);
    std::vector<float> Depth = std::vector<float>(W * H, 0.0f);
    void Target(TKSN_RasterizeTriangle& t, bool planes)
    {
        t.DestPixels = t.SourcePixels = Pixels.data();
        t.DepthBuffer = Depth.data();
        t.UnlitPixels = planes ? Unlit.data() : nullptr;
        t.ShadePixels = planes ? Shade.data() : nullptr;
    }
};

::testing::AssertionResult SameImages(const TTexturedImages& a, const TTexturedImages& b)
{
    if (a.Pixels != b.Pixels) return ::testing::AssertionFailure() << "pixels differ";
    if (a.Unlit != b.Unlit) return ::testing::AssertionFailure() << "unlit planes differ";
    if (a.Shade != b.Shade) return ::testing::AssertionFailure() << "shade planes differ";
    if (std::memcmp(a.Depth.data(), b.Depth.data(), a.Depth.size() * sizeof(float)) != 0)
        return ::testing::AssertionFailure() << "depths differ";
    return ::testing::AssertionSuccess();
}

// The textured rasteriser with its fast texel paths against the clamped
// reference path, through the public entry, on random records; every byte
// and depth must match.
TEST(RasterizerScan, FastTexelsMatchTheClampedPathBitForBit)
{
    CreateDivideBy255Table();
    TRandom r(77u);
    TTexturedCase cases(r);
    TTexturedImages fast, plain;
    for (int n = 0; n < 6000; ++n) {
        TKSN_RasterizeTriangle t;
        const bool planes = cases.Make(r, t);
        for (TTexturedImages* images : {&fast, &plain}) {
            images->Target(t, planes);
            KSN_RasterizerFastTexels = images == &fast;
            KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&t);
        }
        KSN_RasterizerFastTexels = true;
        ASSERT_TRUE(SameImages(fast, plain)) << "triangle " << n;
    }
}

// The AVX2 copies of the textured rasterisers against their SSE2 copies on
// the same random records, every entry and both texel paths of the filtered
// one: every byte and depth must match. (On a processor without AVX2 both
// runs take the SSE2 copies.)
TEST(RasterizerScan, Avx2CopiesMatchTheSse2CopiesBitForBit)
{
    CreateDivideBy255Table();
    const bool avx2 = KSN_RasterizerAvx2;
    TRandom r(91u);
    TTexturedCase cases(r);
    using TEntry = void (*)(TKSN_RasterizeTriangle*);
    const TEntry entries[] = {KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map,
                              KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map_NoFilter,
                              KSN_Renderer4_RasterizeTriangle_Flat_Texture_Iconic,
                              KSN_Renderer4_RasterizeTriangle_Flat_Texture_NoMap};
    for (int e = 0; e < 5; ++e) {
        const TEntry entry = entries[std::min(e, 3)];
        KSN_RasterizerFastTexels = e != 4;   // the last pass: the filtered entry's clamped path
        TTexturedImages wide, narrow;
        for (int n = 0; n < 3000; ++n) {
            TKSN_RasterizeTriangle t;
            const bool planes = cases.Make(r, t);
            for (TTexturedImages* images : {&wide, &narrow}) {
                images->Target(t, planes);
                KSN_RasterizerAvx2 = avx2 && images == &wide;
                entry(&t);
            }
            KSN_RasterizerAvx2 = avx2;
            ASSERT_TRUE(SameImages(wide, narrow)) << "entry " << e << ", triangle " << n;
        }
        EXPECT_NE(wide.Pixels, std::vector<uint8_t>(wide.Pixels.size(), 0)) << "entry " << e << " drew nothing";
    }
    KSN_RasterizerFastTexels = true;
}

// The plain member's AVX2 copy against its SSE2 copy on random triangles
// (small, grid cells, large, off-screen), constant and varying colours,
// three- and four-byte targets, with and without the band: every byte and
// depth must match. (On a processor without AVX2 only the SSE2 copy runs.)
TEST(RasterizerScan, PlainMemberCopiesMatchBitForBit)
{
    constexpr int W = 40, H = 30;
    TRandom r(53u);
    for (int bytesPerPixel : {3, 4}) {
        std::vector<uint8_t> pixels[2];
        std::vector<float> depth[2];
        for (int c = 0; c < 2; ++c) {
            pixels[c].assign(size_t(W) * H * bytesPerPixel, 0);
            depth[c].assign(size_t(W) * H, 0.0f);
        }
        for (int n = 0; n < 4000; ++n) {
            float p[3][3], colour[3][4];
            for (int k = 0; k < 3; ++k) {
                p[k][0] = r.In(-6.0f, float(W) + 6.0f);
                p[k][1] = r.In(-6.0f, float(H) + 6.0f);
                p[k][2] = r.Pick(4) == 0 ? 0.5f : r.In(-0.1f, 1.1f);
                if (k > 0 && r.Pick(3) != 0) {   // mostly small triangles
                    p[k][0] = p[0][0] + r.In(-3.0f, 3.0f);
                    p[k][1] = p[0][1] + r.In(-3.0f, 3.0f);
                }
                for (int c = 0; c < 4; ++c) colour[k][c] = r.In(-0.2f, 1.2f);
                if (k > 0 && r.Pick(2)) std::memcpy(colour[k], colour[0], sizeof colour[k]);
            }
            const bool band = r.Pick(5) == 0;
            const float uv[2] = {0.0f, 0.0f};
            for (int c = 0; c < 2; ++c) {
                if (c == 0 && !__builtin_cpu_supports("avx2")) continue;
                const auto member = c == 0 ? KSN_RasterizeTriangle_NoMap_NoAlpha_Avx2 : KSN_RasterizeTriangle_NoMap_NoAlpha_Sse2;
                member(p[0], p[1], p[2], uv, uv, uv, colour[0], colour[1], colour[2], W, W, H, pixels[c].data(),
                       pixels[c].data(), bytesPerPixel, depth[c].data(), nullptr, 0, 0, 0, nullptr, nullptr, nullptr,
                       nullptr, 0, 0, band);
            }
            if (!__builtin_cpu_supports("avx2")) continue;
            ASSERT_EQ(pixels[0], pixels[1]) << bytesPerPixel << " bytes, triangle " << n;
            ASSERT_EQ(std::memcmp(depth[0].data(), depth[1].data(), depth[0].size() * sizeof(float)), 0)
                << bytesPerPixel << " bytes, triangle " << n;
        }
        EXPECT_NE(pixels[1], std::vector<uint8_t>(pixels[1].size(), 0)) << bytesPerPixel << " bytes: nothing drawn";
    }
}

// Lights that are not numbers: a NaN light shades to a zero byte on both
// texel paths, and leaves shading off only when it is the sole light not at 1.
TEST(RasterizerScan, FastTexelsMatchTheClampedPathForNaNLights)
{
    CreateDivideBy255Table();
    constexpr int W = 16, H = 16, MapSide = 8;
    std::vector<uint8_t> map(MapSide * MapSide * 3);
    for (size_t k = 0; k < map.size(); ++k) map[k] = uint8_t(37 * k + 11);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float lightSets[][3] = {{0.5f, nan, 0.8f}, {nan, nan, nan}, {1.0f, 1.0f, nan}, {nan, 0.3f, 0.3f}};
    for (const auto& lights : lightSets) {
        std::vector<uint8_t> pixels[2], unlit[2], shade[2];
        for (int fast = 0; fast < 2; ++fast) {
            pixels[fast].assign(W * H * 4, 7);
            unlit[fast].assign(W * H * 3, 7);
            shade[fast].assign(W * H, 7);
            std::vector<float> depth(W * H, 0.0f);
            TKSN_RasterizeTriangle t;
            t.Width = t.RowLength = W;
            t.Height = H;
            t.BytesPerPixel = 4;
            t.DestPixels = t.SourcePixels = pixels[fast].data();
            t.UnlitPixels = unlit[fast].data();
            t.ShadePixels = shade[fast].data();
            t.DepthBuffer = depth.data();
            t.ColorMap = map.data();
            t.ColorMapWidth = t.ColorMapHeight = MapSide;
            t.ColorMapBytesPerPixel = 3;
            const float corners[3][3] = {{1.0f, 1.0f, 0.5f}, {15.0f, 2.0f, 0.5f}, {3.0f, 14.0f, 0.5f}};
            const float uvs[3][2] = {{0.2f, 0.2f}, {0.8f, 0.25f}, {0.3f, 0.8f}};
            t.AssignVertices3(corners[0], corners[1], corners[2]);
            t.AssignUVs2(uvs[0], uvs[1], uvs[2]);
            for (int k = 0; k < 3; ++k) t.Light[k] = lights[k];
            KSN_RasterizerFastTexels = fast == 1;
            KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&t);
        }
        KSN_RasterizerFastTexels = true;
        EXPECT_EQ(pixels[0], pixels[1]) << lights[0] << " " << lights[1] << " " << lights[2];
        EXPECT_EQ(unlit[0], unlit[1]);
        EXPECT_EQ(shade[0], shade[1]);
        EXPECT_NE(pixels[0], std::vector<uint8_t>(W * H * 4, 7));   // the triangle was drawn
    }
}

} // namespace
