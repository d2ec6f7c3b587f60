// Software rasterisers against small hand-computed cases on a 64 x 64 RGBA
// target with a float depth buffer, and line clipping.
#include "KSN_RasterizeTriangle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "OS.h"

namespace {

constexpr int N = 64;

struct TTarget {
    std::vector<uint8_t> Pixels = std::vector<uint8_t>(N * N * 4, 0);
    std::vector<float> Depth = std::vector<float>(N * N, 0.0f);
    std::vector<uint8_t> Unlit = std::vector<uint8_t>(N * N * 3, 0);
    std::vector<uint8_t> Shade = std::vector<uint8_t>(N * N, 0);
    uint8_t* At(int x, int y) { return &Pixels[size_t(y * N + x) * 4]; }
    float DepthAt(int x, int y) const { return Depth[size_t(y * N + x)]; }
    void Fill(uint8_t r, uint8_t g, uint8_t b)
    {
        for (size_t i = 0; i < Pixels.size(); i += 4) {
            Pixels[i] = r;
            Pixels[i + 1] = g;
            Pixels[i + 2] = b;
        }
    }
};

const float White[4] = {1, 1, 1, 1};
const float NoUV[2] = {0, 0};

void DrawPlain(TTarget& t, const float* p0, const float* p1, const float* p2, const float* c, bool extend = false,
               bool withDepth = true)
{
    KSN_RasterizeTriangle_NoMap_NoAlpha(p0, p1, p2, NoUV, NoUV, NoUV, c, c, c, N, N, N, t.Pixels.data(),
                                        t.Pixels.data(), 4, withDepth ? t.Depth.data() : nullptr, nullptr, 0, 0, 0,
                                        nullptr, nullptr, nullptr, nullptr, 0, 0, extend);
}

void Dispatch(TTarget& t, const float* p0, const float* p1, const float* p2, const float* c, uint8_t* colorMap,
              uint8_t* alphaMap)
{
    KSN_RasterizeTriangle(p0, p1, p2, NoUV, NoUV, NoUV, c, c, c, N, N, N, t.Pixels.data(), 4, t.Depth.data(),
                          colorMap, colorMap ? 2 : 0, colorMap ? 2 : 0, 3, NoUV, NoUV, NoUV, alphaMap,
                          alphaMap ? 2 : 0, alphaMap ? 2 : 0, false, true);
}

std::string ThrownText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::logic_error& e) {
        return e.what();
    }
    return "";
}

int Warnings = 0;
void CountWarning(char*) { ++Warnings; }

TEST(Rasterizers, CoverageDepthTiesAndBands)
{
    const float a[3] = {0, 0, 0.5f}, b[3] = {10, 0, 0.5f}, c[3] = {0, 10, 0.5f};
    {
        TTarget t;
        DrawPlain(t, a, b, c, White);
        struct Pixel {
            int x, y;
            bool drawn;
        } cases[] = {{0, 0, true}, {9, 0, true}, {9, 1, false}, {0, 9, true}, {5, 4, true}, {5, 5, false}, {10, 0, false}};
        for (const Pixel& p : cases) {
            SCOPED_TRACE(::testing::Message() << p.x << "," << p.y);
            EXPECT_EQ(t.At(p.x, p.y)[0], p.drawn ? 255 : 0);
            EXPECT_EQ(t.DepthAt(p.x, p.y), p.drawn ? 0.5f : 0.0f);
            EXPECT_EQ(t.At(p.x, p.y)[3], 0) << "the fourth byte is never written";
        }
    }
    {
        TTarget t;   // reversed through the dispatcher: facing away
        Dispatch(t, a, c, b, White, nullptr, nullptr);
        EXPECT_EQ(t.At(0, 0)[0], 0);
        Dispatch(t, a, b, c, White, nullptr, nullptr);
        EXPECT_EQ(t.At(0, 0)[0], 255);
    }
    {
        TTarget t;   // a tie goes to the later triangle
        const float red[4] = {1, 0, 0, 1}, blue[4] = {0, 0, 1, 1};
        DrawPlain(t, a, b, c, red);
        DrawPlain(t, a, b, c, blue);
        EXPECT_EQ(t.At(2, 2)[0], 0);
        EXPECT_EQ(t.At(2, 2)[2], 255);
        const float far0[3] = {0, 0, 0.25f}, far1[3] = {10, 0, 0.25f}, far2[3] = {0, 10, 0.25f};
        DrawPlain(t, far0, far1, far2, red);   // behind: dropped
        EXPECT_EQ(t.At(2, 2)[2], 255);
    }
    {
        TTarget t;   // depth beyond 1 is stored as 1, below 0 as 0
        const float n0[3] = {0, 0, 1.5f}, n1[3] = {10, 0, 1.5f}, n2[3] = {0, 10, 1.5f};
        DrawPlain(t, n0, n1, n2, White);
        EXPECT_EQ(t.DepthAt(1, 1), 1.0f);
        TTarget u;
        const float m0[3] = {0, 0, -0.2f}, m1[3] = {10, 0, -0.2f}, m2[3] = {0, 10, -0.2f};
        DrawPlain(u, m0, m1, m2, White);
        EXPECT_EQ(u.DepthAt(1, 1), 0.0f);
        EXPECT_EQ(u.At(1, 1)[0], 255);
    }
    {
        TTarget t;   // the extended band: 1.5 px out stores 78, 2.5 px out nothing
        const float e0[3] = {20, 10, 0.5f}, e1[3] = {40, 10, 0.5f}, e2[3] = {20, 40, 0.5f};
        DrawPlain(t, e0, e1, e2, White, true);
        EXPECT_EQ(t.DepthAt(18, 20), 78.0f);
        EXPECT_EQ(t.At(18, 20)[0], 255);
        EXPECT_EQ(t.DepthAt(17, 20), 0.0f);
        EXPECT_EQ(t.At(17, 20)[0], 0);
        EXPECT_EQ(t.DepthAt(19, 20), 204.0f);   // 0.5 px out: 255 / 1.25
    }
}

// The scan skips the columns before a row's inside span; every covered pixel
// must still be exactly the ones whose centre passes the inside test.
TEST(Rasterizers, CoverageMatchesTheInsideTestOnRandomTriangles)
{
    uint32_t state = 7u;
    auto next = [&](float range) {
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1u << 24) * range - 8.0f;
    };
    for (int n = 0; n < 300; ++n) {
        float p[3][3];
        for (auto& v : p) {
            v[0] = next(80.0f);
            v[1] = next(80.0f);
            v[2] = 0.5f;
        }
        TTarget t;
        DrawPlain(t, p[0], p[1], p[2], White, false, false);
        double x[3], y[3];
        for (int k = 0; k < 3; ++k) {
            x[k] = double(p[k][0]) - 0.5;
            y[k] = double(p[k][1]) - 0.5;
        }
        double D = (x[0] - x[2]) * (y[1] - y[2]) - (x[1] - x[2]) * (y[0] - y[2]);
        int mismatches = 0;
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < N; ++i) {
                double b0 = ((x[1] - x[2]) * (y[2] - j) + (y[1] - y[2]) * (i - x[2])) / D;
                double b1 = ((x[0] - x[2]) * (y[2] - j) + (y[0] - y[2]) * (i - x[2])) / -D;
                double b2 = 1.0 - b0 - b1;
                // Pixels within 1e-9 of the tolerance may go either way.
                auto in = [](double b, double m) { return b >= -0.0001 + m && b <= 1.0001 - m; };
                bool surely = in(b0, 1e-9) && in(b1, 1e-9) && in(b2, 1e-9);
                bool maybe = in(b0, -1e-9) && in(b1, -1e-9) && in(b2, -1e-9);
                bool drawn = t.At(i, j)[0] == 255;
                if (std::fabs(D) <= 1e-30) maybe = surely = false;
                if (drawn ? !maybe : surely) ++mismatches;
            }
        ASSERT_EQ(mismatches, 0) << "triangle " << n;
    }
}

TEST(Rasterizers, NothingOutsideDegenerateOrCollapsed)
{
    TTarget t;
    const float d0[3] = {0, 0, 0.5f}, d1[3] = {10, 10, 0.5f}, d2[3] = {20, 20, 0.5f};
    DrawPlain(t, d0, d1, d2, White);   // no area: not its bounding box
    const float o0[3] = {-20, 0, 0.5f}, o1[3] = {-1.6f, 0, 0.5f}, o2[3] = {-20, 10, 0.5f};
    DrawPlain(t, o0, o1, o2, White);   // maxX = -1
    const float h0[3] = {0, 64.5f, 0.5f}, h1[3] = {10, 64.5f, 0.5f}, h2[3] = {0, 70, 0.5f};
    DrawPlain(t, h0, h1, h2, White);   // minY = Height
    for (uint8_t v : t.Pixels) ASSERT_EQ(v, 0);
    for (float z : t.Depth) ASSERT_EQ(z, 0.0f);

    const float a[3] = {0, 0, 0.5f}, b[3] = {10, 0, 0.5f}, c[3] = {0, 10, 0.5f};
    KSN_RasterizeTriangle_NoMap_NoAlpha(a, b, c, NoUV, NoUV, NoUV, White, White, White, 0, 0, 0, nullptr, nullptr,
                                        4, nullptr, nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, 0, 0,
                                        false);   // a 0 x 0 target is never touched
}

TEST(Rasterizers, VertexColoursAndDepthAreInterpolated)
{
    // Pixel (0, 0) has barycentric coordinates (0.9, 0.05, 0.05).
    const float a[3] = {0, 0, 0.9f}, b[3] = {10, 0, 0.1f}, c[3] = {0, 10, 0.1f};
    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1}, blue[4] = {0, 0, 1, 1};
    TTarget t;
    KSN_RasterizeTriangle_NoMap_NoAlpha(a, b, c, NoUV, NoUV, NoUV, red, green, blue, N, N, N, t.Pixels.data(),
                                        t.Pixels.data(), 4, t.Depth.data(), nullptr, 0, 0, 0, nullptr, nullptr,
                                        nullptr, nullptr, 0, 0, false);
    EXPECT_EQ(t.At(0, 0)[0], 229);   // trunc(0.9 x 255)
    EXPECT_EQ(t.At(0, 0)[1], 12);    // trunc(0.05 x 255)
    EXPECT_EQ(t.At(0, 0)[2], 12);
    EXPECT_NEAR(t.DepthAt(0, 0), 0.9f * 0.9f + 0.1f * 0.1f, 1e-6f);
}

TEST(Rasterizers, ColourBytesAreClampedAndAlphaBlends)
{
    const float a[3] = {0, 0, 0.5f}, b[3] = {10, 0, 0.5f}, c[3] = {0, 10, 0.5f};
    TTarget t;
    const float bright[4] = {1.5f, -0.5f, 0.5f, 1};
    DrawPlain(t, a, b, c, bright, false, false);
    EXPECT_EQ(t.At(1, 1)[0], 255);
    EXPECT_EQ(t.At(1, 1)[1], 0);
    EXPECT_EQ(t.At(1, 1)[2], 127);

    TTarget s;
    s.Fill(100, 100, 100);
    uint8_t alpha[4] = {255, 255, 255, 255};
    const float half[4] = {1, 1, 1, 0.5f};
    const float st[2] = {1, 1};   // alpha-map texels: the centre of the 2 x 2 map
    KSN_RasterizeTriangle_NoMap_Alpha(a, b, c, NoUV, NoUV, NoUV, half, half, half, N, N, N, s.Pixels.data(),
                                      s.Pixels.data(), 4, s.Depth.data(), nullptr, 0, 0, 0, st, st, st, alpha, 2, 2,
                                      false);
    EXPECT_EQ(s.At(1, 1)[0], 100 + (255 - 100) * 127 / 255);   // coverage 127
}

TEST(Rasterizers, MapSamplingWrapsThroughTheMember)
{
    uint8_t map[4 * 3] = {10, 0, 0, 20, 0, 0, 30, 0, 0, 40, 0, 0};   // 4 x 1
    auto sample = [&](float u) {
        TTarget t;
        const float a[3] = {0, 0, 0.5f}, b[3] = {10, 0, 0.5f}, c[3] = {0, 10, 0.5f};
        const float uv[2] = {u, 0.5f};
        KSN_RasterizeTriangle_Map_NoAlpha(a, b, c, uv, uv, uv, White, White, White, N, N, N, t.Pixels.data(),
                                          t.Pixels.data(), 4, t.Depth.data(), map, 4, 1, 3, nullptr, nullptr,
                                          nullptr, nullptr, 0, 0, false);
        return int(t.At(1, 1)[0]);
    };
    EXPECT_EQ(sample(1.25f), sample(0.25f));
    EXPECT_EQ(sample(0.25f), 15);
    EXPECT_EQ(sample(0.5f), 25);
}

TEST(Rasterizers, DispatcherWithBothMapsWarnsOnce)
{
    Warnings = 0;
    OS.AssignOnWarningMessage(CountWarning);
    TTarget t;
    uint8_t colorMap[12] = {}, alphaMap[4] = {255, 255, 255, 255};
    const float a[3] = {0, 0, 0.5f}, b[3] = {10, 0, 0.5f}, c[3] = {0, 10, 0.5f};
    Dispatch(t, a, b, c, White, colorMap, alphaMap);
    OS.AssignOnWarningMessage(nullptr);
    EXPECT_EQ(Warnings, 1);
    for (uint8_t v : t.Pixels) ASSERT_EQ(v, 0);
}

TEST(Rasterizers, MissingBuffersRaise)
{
    TTarget t;
    const float a[3] = {0, 0, 0.5f}, b[3] = {10, 0, 0.5f}, c[3] = {0, 10, 0.5f};
    uint8_t map[3] = {1, 2, 3};
    EXPECT_EQ(ThrownText([&] {
                  KSN_RasterizeTriangle_Map_NoAlpha(a, b, c, NoUV, NoUV, NoUV, White, White, White, N, N, N,
                                                    t.Pixels.data(), t.Pixels.data(), 4, nullptr, map, 1, 1, 3,
                                                    nullptr, nullptr, nullptr, nullptr, 0, 0, false);
              }),
              "DepthBuffer == NULL and USE_DEPTH_BUFFER");
    EXPECT_EQ(ThrownText([&] {
                  KSN_RasterizeTriangle_Map_NoAlpha(a, b, c, NoUV, NoUV, NoUV, White, White, White, N, N, N,
                                                    t.Pixels.data(), t.Pixels.data(), 4, t.Depth.data(), nullptr, 1,
                                                    1, 3, nullptr, nullptr, nullptr, nullptr, 0, 0, false);
              }),
              "ColorMap == NULL and USE_COLOR_MAP");
    TKSN_RasterizeTriangle r;
    r.Width = r.RowLength = r.Height = N;
    r.DestPixels = t.Pixels.data();
    r.BytesPerPixel = 4;
    EXPECT_EQ(ThrownText([&] { KSN_Renderer4_RasterizeTriangle_Flat_Texture_NoMap(&r); }),
              "DepthBuffer == NULL and USE_DEPTH_BUFFER");
    r.DepthBuffer = t.Depth.data();
    EXPECT_EQ(ThrownText([&] { KSN_Renderer4_RasterizeTriangle_Flat_Texture_Iconic(&r); }),
              "ColorMap == NULL and USE_COLOR_MAP");
    for (uint8_t v : t.Pixels) ASSERT_EQ(v, 0);
}

// [SECTION] The renderer's textured rasterisers

struct TRecordCase {
    TTarget Target;
    TKSN_RasterizeTriangle R;
    TRecordCase(uint8_t* map, int w, int h)
    {
        R.Width = R.RowLength = R.Height = N;
        R.DestPixels = R.SourcePixels = Target.Pixels.data();
        R.BytesPerPixel = 4;
        R.DepthBuffer = Target.Depth.data();
        R.ColorMap = map;
        R.ColorMapWidth = w;
        R.ColorMapHeight = h;
        R.ColorMapBytesPerPixel = 3;
        const float a[3] = {0, 0, 0.5f}, b[3] = {10, 0, 0.5f}, c[3] = {0, 10, 0.5f};
        R.AssignVertices3(a, b, c);
    }
    void SetUV(float u, float v)
    {
        const float uv[2] = {u, v};
        R.AssignUVs2(uv, uv, uv);
    }
    uint8_t* Pixel() { return Target.At(1, 1); }
};

TEST(RendererRasterizers, ShadingPlanesAndWhiteTest)
{
    uint8_t map[2 * 2 * 3];
    for (uint8_t& m : map) m = 200;
    TRecordCase lit(map, 2, 2);
    lit.SetUV(0.5f, 0.5f);
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&lit.R);
    EXPECT_EQ(lit.Pixel()[0], 200);   // unit light: the texel exactly
    EXPECT_EQ(lit.Pixel()[3], 255);

    TRecordCase half(map, 2, 2);
    half.SetUV(0.5f, 0.5f);
    half.R.Light[0] = half.R.Light[1] = half.R.Light[2] = 0.5f;
    half.R.UnlitPixels = half.Target.Unlit.data();
    half.R.ShadePixels = half.Target.Shade.data();
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&half.R);
    EXPECT_EQ(half.Pixel()[0], 99);
    EXPECT_EQ(half.Target.Shade[N + 1], 127);
    EXPECT_EQ(half.Target.Unlit[(N + 1) * 3], 200);

    TRecordCase onlyShade(map, 2, 2);   // one plane alone: neither is written
    onlyShade.SetUV(0.5f, 0.5f);
    onlyShade.R.ShadePixels = onlyShade.Target.Shade.data();
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&onlyShade.R);
    EXPECT_EQ(onlyShade.Target.Shade[N + 1], 0);

    TRecordCase nearlyWhite(map, 2, 2);
    nearlyWhite.SetUV(0.5f, 0.5f);
    for (auto& c : nearlyWhite.R.Color) c[2] = 0.9995f;
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&nearlyWhite.R);
    EXPECT_EQ(nearlyWhite.Pixel()[2], 200);
    TRecordCase tinted(map, 2, 2);
    tinted.SetUV(0.5f, 0.5f);
    for (auto& c : tinted.R.Color) c[2] = 0.5f;
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&tinted.R);
    EXPECT_EQ(tinted.Pixel()[2], 100);
}

TEST(RendererRasterizers, ClampNearestAndTiles)
{
    uint8_t strip[4 * 3] = {10, 0, 0, 20, 0, 0, 30, 0, 0, 40, 0, 0};
    auto run = [&](void (*f)(TKSN_RasterizeTriangle*), float u) {
        TRecordCase c(strip, 4, 1);
        c.SetUV(u, 0.5f);
        f(&c.R);
        return int(c.Pixel()[0]);
    };
    EXPECT_EQ(run(KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map, 1.5f), 40);
    EXPECT_EQ(run(KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map, -0.5f), 10);
    EXPECT_EQ(run(KSN_Renderer4_RasterizeTriangle_Flat_Texture_Iconic, 1.5f), 25);
    EXPECT_EQ(run(KSN_Renderer4_RasterizeTriangle_Flat_Texture_Iconic, 0.5f), 25);

    uint8_t wide[64 * 3] = {};
    for (int i = 0; i < 64; ++i) wide[i * 3] = uint8_t(i);
    TRecordCase nearest(wide, 64, 1);
    nearest.SetUV(1.0f, 0.5f);
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map_NoFilter(&nearest.R);
    EXPECT_EQ(nearest.Pixel()[0], 63);

    // An alpha map at the map's size: beyond the last texel centre alpha is 0,
    // while the colour is the clamped edge texel.
    uint8_t alpha[4] = {255, 255, 255, 255};
    TRecordCase edge(strip, 4, 1);
    edge.R.AlphaMap = alpha;
    edge.R.AlphaMapWidth = 4;
    edge.R.AlphaMapHeight = 1;
    edge.SetUV(0.95f, 0.5f);
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&edge.R);
    EXPECT_EQ(edge.Pixel()[0], 40);
    EXPECT_EQ(edge.Pixel()[3], 0);
    TRecordCase inside(strip, 4, 1);
    inside.R.AlphaMap = alpha;
    inside.R.AlphaMapWidth = 4;
    inside.R.AlphaMapHeight = 1;
    inside.SetUV(0.5f, 0.5f);
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_Map(&inside.R);
    EXPECT_EQ(inside.Pixel()[3], 255);
}

TEST(RendererRasterizers, NoMapAddsSaturating)
{
    TRecordCase c(nullptr, 0, 0);
    c.Target.Fill(200, 10, 10);
    const float grey[4] = {0.5f, 0.5f, 0.5f, 1};
    c.R.AssignColors4(grey, grey, grey);
    KSN_Renderer4_RasterizeTriangle_Flat_Texture_NoMap(&c.R);
    EXPECT_EQ(c.Pixel()[0], 255);
    EXPECT_EQ(c.Pixel()[1], 137);
    EXPECT_EQ(c.Pixel()[2], 137);
    EXPECT_EQ(c.Pixel()[3], 255);
}

// [SECTION] Record and clipping

TEST(RasterizeRecord, InitKeepsBuffersAndRestoresWhite)
{
    TKSN_RasterizeTriangle r;
    EXPECT_EQ(r.DestPixels, nullptr);
    EXPECT_FALSE(r.ExtendEdges);
    EXPECT_EQ(r.Color[2][3], 1.0f);
    EXPECT_EQ(r.Light[1], 1.0f);
    uint8_t pixel[4];
    r.DestPixels = pixel;
    r.TriangleIndex = 3;
    const float red[4] = {1, 0, 0, 1};
    r.AssignColors4(red, red, red);
    r.InitPoly(7);
    EXPECT_EQ(r.DestPixels, pixel);
    EXPECT_EQ(r.PolygonIndex, 7);
    EXPECT_EQ(r.TriangleIndex, 0);
    EXPECT_EQ(r.Color[0][1], 1.0f);
}

TEST(LineClipping, Table)
{
    struct Case {
        float a[3], b[3];
        int axis;
        float limit;
        bool keepGreater;
        bool result;
        float t0, t1;
        float a2[3], b2[3];
    } cases[] = {
        {{-5, 3, 0}, {5, 3, 10}, 0, 1, true, true, 0.6f, 1, {1, 3, 6}, {5, 3, 10}},
        {{-5, 3, 0}, {-2, 3, 0}, 0, 1, true, false, 0, 1, {-5, 3, 0}, {-2, 3, 0}},
        {{0.5f, 0, 0}, {0.5f, 5, 0}, 0, 1, true, false, 0, 1, {0.5f, 0, 0}, {0.5f, 5, 0}},
        {{4, 0, 0}, {4, 5, 0}, 0, 1, true, true, 0, 1, {4, 0, 0}, {4, 5, 0}},
        {{2, 2, 0}, {2, 2, 9}, 2, 1, true, false, 0, 1, {2, 2, 0}, {2, 2, 9}},
        {{1, 0, 0}, {3, 0, 0}, 0, 1, true, true, 0, 1, {1, 0, 0}, {3, 0, 0}},
        {{0, 0, 0}, {10, 0, 0}, 0, 4, false, true, 0, 0.4f, {0, 0, 0}, {4, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.a[0] << "," << c.a[1] << " -> " << c.b[0] << "," << c.b[1]);
        float a[3] = {c.a[0], c.a[1], c.a[2]}, b[3] = {c.b[0], c.b[1], c.b[2]};
        float t0 = -1, t1 = -1;
        EXPECT_EQ(GetClipLineSegmentParameters(c.axis, a, b, t0, t1, c.limit, c.keepGreater), c.result);
        if (c.result) {
            EXPECT_FLOAT_EQ(t0, c.t0);
            EXPECT_FLOAT_EQ(t1, c.t1);
        }
        EXPECT_EQ(GetClippedLineSegement(c.axis, a, b, c.limit, c.keepGreater), c.result);
        for (int k = 0; k < 3; ++k) {
            EXPECT_FLOAT_EQ(a[k], c.a2[k]);
            EXPECT_FLOAT_EQ(b[k], c.b2[k]);
        }
    }
}

} // namespace
