// OpenGL renders on a real context (Xvfb with Mesa), checked by reading the
// frame buffer back: the views' colours and silhouettes, the overlays, the
// display lists per node, the software background grabbed from the screen,
// the brush-tile view without a brush, the marquee and the quick render's
// transparent quads.
#include <gtest/gtest.h>

#include "KSN_QuickRender.h"
#include "KSN_RendererScene.h"
#include "KSN_RendererUtils.h"
#include "KsnTestGL.h"
#include "OS.h"
#include "QORGL.h"

#include <GL/gl.h>

#include <array>
#include <cstring>
#include <string>

using namespace RenderTest;

namespace {

constexpr int Size = 64;
int WindowHeightForTests() { return Size; }

std::vector<std::string> g_Debug;

class RendererGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Window.Open(Size, Size)) << "no GLX display: run under xvfb-run";
        QORglut_AssignGetWindowHeight(WindowHeightForTests);
        InstallSceneHooks();
        g_Debug.clear();
        OS.AssignOnDebugMessage([](char* text) { g_Debug.push_back(text); });
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
        glViewport(0, 0, Size, Size);
        glClearColor(0.2f, 0.1f, 0.3f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void TearDown() override
    {
        Objects.clear();
        RemoveSceneHooks();
        OS.AssignOnDebugMessage(nullptr);
        QORglut_AssignGetWindowHeight(nullptr);
    }

    TKSN_Object* Add(std::unique_ptr<TKSN_Object> object)
    {
        Objects.push_back(std::move(object));
        g_Objects.push_back(Objects.back().get());
        return Objects.back().get();
    }

    void Prepare(int viewMode, int renderingType = KSN_RENDERING_OPENGL)
    {
        TKSN_Viewport viewport;
        viewport.Resize(0, 0, Size, Size);
        Setup.InitializeDefaults(&viewport);
        Setup.RenderingType = renderingType;
        Setup.ViewMode = viewMode;
        Setup.UseLighting = false;
    }

    void Render()
    {
        Renderer.RenderImage(&Setup);
        Renderer.WaitForCompletion();
        glFinish();
    }

    std::array<uint8_t, 3> Read(int x, int y)
    {
        std::array<uint8_t, 3> p{};
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p.data());
        return p;
    }

    // Window pixel of an object-space point (GL counts rows from the bottom,
    // as the software pixels do).
    void ToWindow(const float* p, float* out)
    {
        const float* M = Setup.Viewport.CombinedMatrix;
        out[0] = (M[0] * p[0] + M[4] * p[1] + M[8] * p[2] + M[12] + 1.0f) * 0.5f * Size;
        out[1] = (M[1] * p[0] + M[5] * p[1] + M[9] * p[2] + M[13] + 1.0f) * 0.5f * Size;
    }

    TTestGLWindow Window;
    TKSN_RenderSetup Setup;
    TKSN_Renderer4 Renderer;
    std::vector<std::unique_ptr<TKSN_Object>> Objects;
};

std::unique_ptr<TKSN_Object> MakeCube(float h)
{
    const std::vector<float> v = {-h, -h, -h, h, -h, -h, h, h, -h, -h, h, -h, -h, -h, h, h, -h, h, h, h, h, -h, h, h};
    return MakeObject(v, {}, {{{0, 3, 2, 1}}, {{4, 5, 6, 7}}, {{0, 1, 5, 4}}, {{2, 3, 7, 6}}, {{1, 2, 6, 5}}, {{0, 4, 7, 3}}});
}

const std::array<uint8_t, 3> Clear = {51, 25, 76};

bool Near(const std::array<uint8_t, 3>& a, const std::array<uint8_t, 3>& b, int tolerance = 2)
{
    for (int c = 0; c < 3; ++c)
        if (std::abs(int(a[c]) - int(b[c])) > tolerance) return false;
    return true;
}

TEST_F(RendererGL, SimpleGreyCubeFillsItsSilhouetteOnly)
{
    TKSN_Object* cube = Add(MakeCube(0.4f));
    Prepare(KSN_VIEWMODE_DEFAULT);
    Render();
    float lo[2], hi[2];
    ToWindow(cube->Mesh->resolvedVertices + 3 * 4, lo);   // (-h, -h, h)
    ToWindow(cube->Mesh->resolvedVertices + 3 * 6, hi);   // (h, h, h)
    int inside = 0;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const float cx = x + 0.5f, cy = y + 0.5f;
            if (cx > lo[0] + 1 && cx < hi[0] - 1 && cy > lo[1] + 1 && cy < hi[1] - 1) {
                ++inside;
                ASSERT_TRUE(Near(Read(x, y), {178, 178, 204})) << x << "," << y;
            } else if (cx < lo[0] - 1 || cx > hi[0] + 1 || cy < lo[1] - 1 || cy > hi[1] + 1) {
                ASSERT_TRUE(Near(Read(x, y), Clear, 1)) << x << "," << y;
            }
        }
    EXPECT_GT(inside, 200);
    EXPECT_FALSE(Setup.Rendering);
    Renderer.CancelRender();   // an OpenGL render has no thread: nothing happens
    Renderer.WaitForCompletion();
    EXPECT_FALSE(Renderer.IsRendering());
}

TEST_F(RendererGL, HotSelectionShowsBlankFirstAndSecondSelectionColours)
{
    const float weights[3] = {0.0f, 0.5f, 1.0f};
    std::vector<TKSN_Object*> quads;
    for (int i = 0; i < 3; ++i) {
        TKSN_Object* q = Add(MakeSquare(-0.6f + 0.6f * i, 0, 0.25f));
        for (int v = 0; v < 4; ++v) q->Mesh->VertexInfo[v].Select = weights[i];
        quads.push_back(q);
    }
    Prepare(KSN_VIEWMODE_HOT_SELECTION);
    Render();
    const std::array<uint8_t, 3> expected[3] = {{102, 102, 191}, {255, 0, 0}, {255, 255, 0}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        float c[2];
        const float centre[3] = {-0.6f + 0.6f * i, 0, 0};
        ToWindow(centre, c);
        EXPECT_TRUE(Near(Read(int(c[0]), int(c[1])), expected[i])) << int(Read(int(c[0]), int(c[1]))[0]) << " " << int(Read(int(c[0]), int(c[1]))[1]) << " " << int(Read(int(c[0]), int(c[1]))[2]);
    }
}

TEST_F(RendererGL, LayerAndMaterialViewsShowTheirColours)
{
    static TKSN_Layer layers[32];
    for (int i = 0; i < 32; ++i) {
        layers[i].Color[0] = 0.0f;
        layers[i].Color[1] = float(i) / 31.0f;
        layers[i].Color[2] = 0.0f;
    }
    TKSN_RendererProjectHooks hooks = KSN_GetRendererProjectHooks();
    hooks.GetPolygonLayer = [](int i) { return &layers[i]; };
    KSN_SetRendererProjectHooks(hooks);
    TKSN_Object* square = Add(MakeSquare(0, 0, 0.4f));
    square->Mesh->Polygons[0].LayerFlags = 1u << 30;   // layer 31
    const float red[3] = {1, 0, 0};
    std::memcpy(square->Mesh->GetMaterial(0)->GetChannelFromName("Color")->Color, red, sizeof red);
    const struct {
        int mode;
        std::array<uint8_t, 3> expected;
    } cases[] = {{KSN_VIEWMODE_LAYER_COLORS, {0, 255, 0}}, {KSN_VIEWMODE_MATERIAL_COLORS, {255, 0, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Prepare(c.mode);
        Render();
        EXPECT_TRUE(Near(Read(Size / 2, Size / 2), c.expected));
    }
}

TEST_F(RendererGL, MapChannelViewTexturesTheModelAndPaintsMaplessMeshesInTheNoMapColour)
{
    TKSN_Object* square = Add(MakeSquare(0, 0, 0.45f));
    TQORMaterialMapSource source;
    uint8_t rgb[12] = {255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0};
    source.InitializeWithPixelData(2, 2, rgb);
    auto* binding = new TQORMaterialMap();
    binding->SetMapSource(source.GetID());
    square->Mesh->MaterialMaps->Add(binding);
    square->Mesh->GetMaterial(0)->GetChannelFromName("Color")->SetMapID(int(binding->GetID()));
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Render();
    const auto textured = Read(Size / 2, Size / 2);
    EXPECT_GT(textured[0], 200);
    EXPECT_LT(textured[1], 40);

    // Without texture vertices the paint tab shows the no-map colour.
    Objects.clear();
    g_Objects.clear();
    Add(MakeObject({-0.4f, -0.4f, 0, 0.4f, -0.4f, 0, 0.4f, 0.4f, 0, -0.4f, 0.4f, 0}, {}, {{{0, 1, 2, 3}}}));
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Setup.PaintTabActive = true;
    Render();
    EXPECT_TRUE(Near(Read(Size / 2, Size / 2), {190, 190, 243}));
}

TEST_F(RendererGL, WireframeOverlayLiesOnTheCubesEdges)
{
    TKSN_Object* cube = Add(MakeCube(0.4f));
    TKSN_RendererProjectHooks hooks = KSN_GetRendererProjectHooks();
    hooks.GetWireframeColor = [](float* rgb) {
        rgb[0] = 0;
        rgb[1] = 1;
        rgb[2] = 0;
    };
    KSN_SetRendererProjectHooks(hooks);
    Prepare(KSN_VIEWMODE_DEFAULT);
    Setup.DrawWireframe = true;
    Render();
    float lo[2], hi[2];
    ToWindow(cube->Mesh->resolvedVertices + 3 * 4, lo);
    ToWindow(cube->Mesh->resolvedVertices + 3 * 6, hi);
    const std::array<uint8_t, 3> green = {0, 255, 0};
    int onEdges = 0;
    for (int y = int(lo[1]) + 3; y < int(hi[1]) - 3; ++y) {
        bool found = false;
        for (int x = int(lo[0]) - 1; x <= int(lo[0]) + 1; ++x) found = found || Near(Read(x, y), green);
        onEdges += found;
    }
    EXPECT_GT(onEdges, int(hi[1] - lo[1]) - 10) << "the left edge is outlined along its length";
    EXPECT_TRUE(Near(Read(int((lo[0] + hi[0]) / 2), int((lo[1] + hi[1]) / 2)), {178, 178, 204}))
        << "the face between the edges keeps its colour";
}

TEST_F(RendererGL, DisplayListsAreReusedUntilTheViewModeChanges)
{
    Add(MakeCube(0.4f));
    Prepare(KSN_VIEWMODE_DEFAULT);
    Render();
    const size_t nodes = Setup.NodeList.size();
    ASSERT_GT(nodes, 0u);
    auto count = [](const char* prefix) {
        size_t n = 0;
        for (const auto& line : g_Debug) n += line.rfind(prefix, 0) == 0;
        return n;
    };
    EXPECT_EQ(count("BBB- Creating glDisplayList"), nodes);

    g_Debug.clear();
    Prepare(KSN_VIEWMODE_DEFAULT);
    Render();
    EXPECT_EQ(count("BBB- drawing existing glDisplayList"), nodes);
    EXPECT_EQ(count("BBB- Creating glDisplayList"), 0u);

    g_Debug.clear();
    Prepare(KSN_VIEWMODE_MATERIAL_COLORS);
    Render();
    EXPECT_EQ(count("BBB- Creating glDisplayList"), nodes);
    EXPECT_EQ(count("BBB- drawing existing glDisplayList"), 0u);
}

TEST_F(RendererGL, SoftwareRenderGrabsTheDrawnBackground)
{
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL, KSN_RENDERING_SOFTWARE);
    Setup.DrawBackgroundPattern = true;
    Setup.BackgroundGridValid = false;
    Render();
    ASSERT_TRUE(Setup.BackgroundGridValid);
    ASSERT_EQ(Setup.BackgroundImage.GetWidth(), Size);
    std::vector<uint8_t> screen(Size * Size * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, Size, Size, GL_RGB, GL_UNSIGNED_BYTE, screen.data());
    const uint8_t* grabbed = Setup.BackgroundImage.GetPixels();
    EXPECT_EQ(0, std::memcmp(grabbed, screen.data(), screen.size()));
    EXPECT_FALSE(Near(Read(Size / 2, Size / 2), Clear, 1)) << "the background quad covers the viewport";
    const uint8_t* rendered = Setup.RenderedImage.GetPixels();
    for (int i = 0; i < Size * Size; ++i) {
        ASSERT_EQ(0, std::memcmp(rendered + 4 * i, grabbed + 3 * i, 3));
        ASSERT_EQ(rendered[4 * i + 3], 0);
    }
    InvalidateBackgroundPattern();
}

TEST_F(RendererGL, BrushTileViewWithoutABrushDrawsTheModelWhite)
{
    Add(MakeSquare(0, 0, 0.4f));
    Prepare(KSN_VIEWMODE_BRUSH_TILE);
    Render();
    EXPECT_TRUE(Near(Read(Size / 2, Size / 2), {255, 255, 255}));
}

TEST_F(RendererGL, MarqueeInTheOuterFrameDrawsNothing)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, Size, 0, Size, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float a[3] = {0.2f, 5, 0}, b[3] = {0.7f, 50, 0};       // column 0
    const float c[3] = {3, 63.5f, 0}, d[3] = {60, 63.2f, 0};     // row 63
    glBegin(GL_POINTS);
    Rasterize_Line_For_SelectionOverlay_Marquee_With_GL_Points(a, b, Size, Size, 255);
    Rasterize_Line_For_SelectionOverlay_Marquee_With_GL_Points(c, d, Size, Size, 255);
    glEnd();
    glFinish();
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) ASSERT_TRUE(Near(Read(x, y), Clear, 1)) << x << "," << y;
    // Inside the frame the points alternate black and white.
    const float e[3] = {10, 20, 0}, f[3] = {30, 20, 0};
    glBegin(GL_POINTS);
    Rasterize_Line_For_SelectionOverlay_Marquee_With_GL_Points(e, f, Size, Size, 255);
    glEnd();
    glFinish();
    const auto p10 = Read(10, 20), p11 = Read(11, 20);
    EXPECT_TRUE((p10[0] == 0 && p11[0] == 255) || (p10[0] == 255 && p11[0] == 0));
}

TEST_F(RendererGL, QuickRenderDrawsFullyTransparentQuadsBlendedAtTheEnd)
{
    static int special = 3;
    TKSN_RendererProjectHooks hooks = KSN_GetRendererProjectHooks();
    hooks.GetSpecialDisplayMode = [] { return special; };
    KSN_SetRendererProjectHooks(hooks);
    TKSN_Object* square = Add(MakeSquare(0, 0, 0.4f));
    TQORMaterialChannel* transparency = square->Mesh->GetMaterial(0)->GetChannelFromName("Transparency");
    ASSERT_NE(transparency, nullptr);
    // The second frame at strength 1 shows that the transparent quads are
    // collected again on every frame.
    for (float strength : {0.0f, 1.0f, 1.0f}) {
        SCOPED_TRACE(strength);
        transparency->Strength = strength;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Prepare(KSN_VIEWMODE_QUICK_RENDER);
        Render();
        const bool fragments = TransparentQuads_MinIndexUsed <= TransparentQuads_MaxIndexUsed;
        EXPECT_EQ(fragments, strength == 1.0f);
        const bool background = Near(Read(Size / 2, Size / 2), Clear, 1);
        EXPECT_EQ(background, strength == 1.0f) << "alpha 0 leaves the background showing";
    }
    QuickRender_Clean();
}

} // namespace
