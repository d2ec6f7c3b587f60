// The renderer without a display: its utilities, the software renders of the
// driver and the software node views, the brush-tile rasterisers and the quick
// render's frame-wide state. Software renders preset the background image, so
// no OpenGL call is made.
#include "KSN_MapLayer.h"
#include "KSN_QuickRender.h"
#include "KSN_RasterizeTriangle.h"
#include "KSN_RendererScene.h"
#include "KSN_RendererUtils.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"
#include "GuiTheme.h"
#include "OS.h"
#include "QOROctree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <filesystem>
#include <string>

using namespace RenderTest;

namespace {

constexpr int Size = 64;

// The application object takes its folders from the toolkit's base, which is
// initialised once for the whole run.
[[maybe_unused]] const auto* const Registered = KsnRegisterWxBase({"KSN_Render_tests"});

class RendererSoftware : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallSceneHooks();
        OS.SetDialogProvider(&Boxes);
        ASSERT_TRUE(Store.Open("ksn_render_"));
        // The application's data folder goes into this test's own folder.
        const char* home = std::getenv("HOME");
        SavedHome = home ? home : "";
        std::filesystem::create_directories(Store.Folder / "home");
        ::setenv("HOME", (Store.Folder / "home").c_str(), 1);
        App = new TKSN_Application("Kestrune");
        Boxes.Boxes.clear();   // the first start's driver notice
        Completed = 0;
    }
    void TearDown() override
    {
        Renderer.reset();
        Objects.clear();
        RemoveSceneHooks();
        delete App;
        App = nullptr;
        ::setenv("HOME", SavedHome.c_str(), 1);
        OS.SetDialogProvider(nullptr);
        Store.Close();
    }

    TKSN_Object* Add(std::unique_ptr<TKSN_Object> object)
    {
        Objects.push_back(std::move(object));
        g_Objects.push_back(Objects.back().get());
        return Objects.back().get();
    }

    // A software set-up of w × h pixels over a grey background.
    void Prepare(int viewMode, int w = Size, int h = Size)
    {
        TKSN_Viewport viewport;
        viewport.Resize(0, 0, w, h);
        Setup.InitializeDefaults(&viewport);
        Setup.RenderingType = KSN_RENDERING_SOFTWARE;
        Setup.ViewMode = viewMode;
        Setup.ThreadCount = 1;
        Setup.UseLighting = false;
        Setup.BackgroundImage.SetDimensions(w, h, 3);
        if (w > 0 && h > 0) Setup.BackgroundImage.ClearToValue(40);
        Setup.BackgroundGridValid = true;
        Setup.OnRenderComplete = [](intptr_t data) { ++*reinterpret_cast<int*>(data); };
        Setup.OnRenderCompleteData = intptr_t(&Completed);
    }

    void Render()
    {
        Renderer = std::make_unique<TKSN_Renderer4>();
        Renderer->RenderImage(&Setup);
        Renderer->WaitForCompletion();
    }

    const uint8_t* Pixel(int x, int y) { return Setup.RenderedImage.GetPixels() + (y * Size + x) * 4; }

    TQORMaterialMapSource* BindColorMap(TKSN_Object* object, int w, int h, const std::vector<uint8_t>& rgb)
    {
        Sources.push_back(std::make_unique<TQORMaterialMapSource>());
        TQORMaterialMapSource* source = Sources.back().get();
        std::vector<uint8_t> copy = rgb;
        source->InitializeWithPixelData(w, h, copy.data());
        auto* binding = new TQORMaterialMap();
        binding->SetMapSource(source->GetID());
        object->Mesh->MaterialMaps->Add(binding);
        object->Mesh->GetMaterial(0)->GetChannelFromName("Color")->SetMapID(int(binding->GetID()));
        return source;
    }

    TBoxRecorder Boxes;
    TTempStoreFolder Store;
    std::string SavedHome;
    TKSN_RenderSetup Setup;
    std::unique_ptr<TKSN_Renderer4> Renderer;
    std::vector<std::unique_ptr<TKSN_Object>> Objects;
    std::vector<std::unique_ptr<TQORMaterialMapSource>> Sources;
    int Completed = 0;
};

// [SECTION] Utilities

TEST_F(RendererSoftware, BackgroundPatternAlternatesTheTwoGridColoursAtFullBrightness)
{
    const float c1[3] = {1.0f, 0.5f, 0.0f}, c2[3] = {0.0f, 0.25f, 1.0f};
    std::memcpy(App->textureGridColor1, c1, sizeof c1);
    std::memcpy(App->textureGridColor2, c2, sizeof c2);
    const float saved = QORglutWigits_InterfaceBrightness;
    QORglutWigits_InterfaceBrightness = 1.0f;
    InvalidateBackgroundPattern();
    SetupBackgroundPatternIfNecessary();
    const uint8_t C1[3] = {255, 127, 0}, C2[3] = {0, 63, 255};
    const struct {
        int x, y;
        const uint8_t* expected;
    } cases[] = {{0, 0, C2}, {1, 1, C2}, {1, 0, C1}, {0, 1, C1}, {7, 7, C2}, {7, 6, C1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(0, std::memcmp(BackgroundPattern + (c.y * 8 + c.x) * 3, c.expected, 3));
    }
    // Built once: a colour change shows only after an invalidation.
    App->textureGridColor2[0] = 1.0f;
    SetupBackgroundPatternIfNecessary();
    EXPECT_EQ(BackgroundPattern[0], 0);
    TKSN_RenderSetup::InvalidateBackgroundPattern();
    EXPECT_FALSE(BackgroundPatternInitialized);
    SetupBackgroundPatternIfNecessary();
    EXPECT_EQ(BackgroundPattern[0], 255);
    QORglutWigits_InterfaceBrightness = saved;
    InvalidateBackgroundPattern();
}

TEST(RendererUtilities, DirectionTestPassesNodesThatMayFaceTheViewer)
{
    float view[3] = {0, 0, 1};
    const struct {
        const char* name;
        float min[3], max[3];
        bool expected;
    } cases[] = {
        {"facing", {0, 0, 1}, {0, 0, 1}, true},
        {"reversed view", {0, 0, -1}, {0, 0, -1}, false},
        {"perpendicular", {1, 0, 0}, {1, 0, 0}, true},
        {"origin box", {0, 0, 0}, {0, 0, 0}, true},
        {"away, slightly spread", {-0.1f, -0.1f, -1}, {0.1f, 0.1f, -0.9f}, false},
        {"spread across the silhouette", {-1, 0, -1}, {1, 0, 0.2f}, true},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TestOctreeNodeAgaistDirectionVector(c.min, c.max, nullptr, nullptr, 0, view, nullptr), c.expected);
    }
    // The viewports register it with the octree's services.
    KSN_RegisterViewportOctreeServices();
    TKSN_Viewport viewport;
    float away[3] = {0, 0, -1}, towards[3] = {0, 0, 1};
    ASSERT_NE(KSN_GetViewportOctreeServices().NormalsMayFaceViewer, nullptr);
    EXPECT_FALSE(KSN_GetViewportOctreeServices().NormalsMayFaceViewer(&viewport, away, away));
    EXPECT_TRUE(KSN_GetViewportOctreeServices().NormalsMayFaceViewer(&viewport, towards, towards));
}

TEST(RendererUtilities, ScanlineMutexesKeepTheirTableForTheSameHeight)
{
    TKSN_ScanlineMutexes table;
    EXPECT_EQ(table.RowCount, 0);
    table.SetHeight(16);
    std::mutex* first = table.RowMutexes;
    ASSERT_NE(first, nullptr);
    table.SetHeight(16);
    EXPECT_EQ(table.RowMutexes, first);
    table.Row(15).lock();
    table.Row(15).unlock();
    table.SetHeight(4);
    EXPECT_EQ(table.RowCount, 4);
    table.SetHeight(0);
    EXPECT_EQ(table.RowMutexes, nullptr);
    InitPaintScanlineMutexes(3);
    EXPECT_EQ(PaintScanlineMutexes.RowCount, 3);
    InitPaintScanlineMutexes(0);
}

TEST_F(RendererSoftware, PolygonLayerPrefersLockedThenCurrentThenHighest)
{
    static TKSN_Layer layers[32];
    static int current = 0;
    for (int i = 0; i < 32; ++i) {
        layers[i].Locked = false;
        layers[i].Index = i;
    }
    TKSN_RendererProjectHooks hooks = KSN_GetRendererProjectHooks();
    hooks.GetPolygonLayer = [](int i) { return &layers[i]; };
    hooks.GetCurrentPolygonLayerIndex = [] { return current; };
    KSN_SetRendererProjectHooks(hooks);
    TKSN_Object* object = Add(MakeSquare(0, 0, 0.5f));
    TKSN_Mesh* mesh = object->Mesh.get();
    const struct {
        const char* name;
        uint32_t flags;
        int locked, currentLayer, expected;
    } cases[] = {
        {"no layer", 0, 0, 0, 0},
        {"highest", (1u << 2) | (1u << 6), 0, 0, 7},
        {"current holds it", (1u << 2) | (1u << 6), 0, 3, 3},
        {"current does not", (1u << 2), 0, 5, 3},
        {"locked beats current", (1u << 2) | (1u << 6), 3, 7, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mesh->Polygons[0].LayerFlags = c.flags;
        for (auto& l : layers) l.Locked = false;
        if (c.locked) layers[c.locked].Locked = true;
        current = c.currentLayer;
        EXPECT_EQ(ChoosePolygonLayer(mesh, 0), &layers[c.expected]);
    }
}

// [SECTION] Depth-tested line and vertex overlay

TEST(RendererLine, VerticalLineDrawsRowsUpToButNotIncludingItsEnd)
{
    std::vector<uint8_t> pixels(Size * Size * 4, 0);
    std::vector<float> depth(Size * Size, 0.0f);
    const float a[3] = {20.5f, 10.0f, 0.5f}, b[3] = {20.5f, 20.0f, 0.5f}, color[3] = {1, 0, 0};
    Rasterize_Line_R4(a, b, color, Size, Size, Size, pixels.data(), 4, depth.data());
    for (int y = 0; y < Size; ++y) {
        SCOPED_TRACE(y);
        EXPECT_EQ(pixels[(y * Size + 20) * 4], (y >= 10 && y < 20) ? 255 : 0);
        EXPECT_EQ(pixels[(y * Size + 20) * 4 + 3], (y >= 10 && y < 20) ? 255 : 0);
    }
    // A line in the outer frame, and one behind the stored depth, draw nothing.
    std::vector<uint8_t> before = pixels;
    const float f0[3] = {0.5f, 0, 0.5f}, f1[3] = {0.5f, 63, 0.5f};
    Rasterize_Line_R4(f0, f1, color, Size, Size, Size, pixels.data(), 4, depth.data());
    std::fill(depth.begin(), depth.end(), 0.9f);
    const float h0[3] = {5, 30, 0.5f}, h1[3] = {50, 30, 0.5f};
    Rasterize_Line_R4(h0, h1, color, Size, Size, Size, pixels.data(), 4, depth.data());
    EXPECT_EQ(pixels, before);
}

// [SECTION] Software renders

TEST_F(RendererSoftware, EmptyProjectRendersTheBackgroundAndCompletesOnce)
{
    for (int mode : {KSN_VIEWMODE_CURRENT_MAP_CHANNEL, KSN_VIEWMODE_DEFAULT}) {
        SCOPED_TRACE(mode);
        Completed = 0;
        Prepare(mode);
        Setup.SplitRenderedImage = true;
        if (mode == KSN_VIEWMODE_DEFAULT) Add(MakeSquare(0, 0, 0.5f));   // no software view: nothing drawn
        Render();
        EXPECT_FALSE(Setup.Rendering);
        EXPECT_FALSE(Renderer->IsRendering());
        EXPECT_EQ(Completed, 1);
        for (int i = 0; i < Size * Size; ++i) {
            const uint8_t* p = Setup.RenderedImage.GetPixels() + i * 4;
            ASSERT_EQ(p[0], 40);
            ASSERT_EQ(p[3], 0);
        }
        ASSERT_EQ(Setup.RenderedColorImage.GetWidth(), Size);
        EXPECT_EQ(Setup.RenderedColorImage.GetPixels()[0], 40);
        Renderer->WaitForCompletion();   // joined already: nothing more happens
        EXPECT_EQ(Completed, 1);
        for (const auto& box : Boxes.Boxes) ADD_FAILURE() << box;
    }
}

TEST_F(RendererSoftware, CancelOnAnIdleRendererAndAZeroSizedRenderDoNothing)
{
    TKSN_Renderer4 idle;
    idle.CancelRender();
    idle.WaitForCompletion();
    EXPECT_FALSE(idle.IsRendering());
    Add(MakeSquare(0, 0, 0.5f));
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL, 0, 0);
    Render();
    EXPECT_EQ(Setup.RenderedImage.GetWidth(), 0);
    EXPECT_EQ(Setup.RenderedImage.GetPixels(), nullptr);
    EXPECT_FALSE(Setup.Rendering);
    EXPECT_EQ(Completed, 1);
}

TEST_F(RendererSoftware, MapViewCoversExactlyTheQuadWithOpaquePixels)
{
    TKSN_Object* object = Add(MakeSquare(0.1f, -0.05f, 0.45f));
    BindColorMap(object, 2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Render();
    ASSERT_EQ(Completed, 1);
    float lo[2], hi[2];
    const float* v = object->Mesh->resolvedVertices;
    ToPixel(Setup, v, lo);
    ToPixel(Setup, v + 6, hi);
    int covered = 0;
    for (int y = 0; y < Size; ++y)
        for (int x = 0; x < Size; ++x) {
            const float cx = x + 0.5f, cy = y + 0.5f;
            const float margin = 0.01f;
            const bool inside = cx > lo[0] + margin && cx < hi[0] - margin && cy > lo[1] + margin && cy < hi[1] - margin;
            const bool outside = cx < lo[0] - margin || cx > hi[0] + margin || cy < lo[1] - margin || cy > hi[1] + margin;
            if (inside) {
                ++covered;
                ASSERT_EQ(Pixel(x, y)[3], 255) << x << "," << y;
            } else if (outside) {
                ASSERT_EQ(Pixel(x, y)[3], 0) << x << "," << y;
                ASSERT_EQ(Pixel(x, y)[0], 40);
            }
        }
    EXPECT_GT(covered, 400);
    // The map shows: the lower left texel is red, the upper right white.
    const uint8_t* corner = Pixel(int(lo[0]) + 2, int(lo[1]) + 2);
    EXPECT_GT(corner[0], 200);
    EXPECT_LT(corner[1], 60);
    const uint8_t* far = Pixel(int(hi[0]) - 2, int(hi[1]) - 2);
    EXPECT_GT(far[1], 200);
}

TEST_F(RendererSoftware, ImagesDoNotDependOnTheThreadCount)
{
    // Two grids of 12 × 12 quads, one tilted through the other, so that many
    // nodes of both overlap on screen at different depths.
    for (int g = 0; g < 2; ++g) {
        std::vector<float> xyz, uv;
        std::vector<TPoly> polys;
        const int n = 12;
        for (int y = 0; y <= n; ++y)
            for (int x = 0; x <= n; ++x) {
                const float fx = -0.9f + 1.8f * x / n, fy = -0.9f + 1.8f * y / n;
                xyz.insert(xyz.end(), {fx, fy, g == 0 ? 0.0f : 0.6f * fx});
                uv.insert(uv.end(), {float(x) / n, float(y) / n});
            }
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const int a = y * (n + 1) + x;
                polys.push_back({{a, a + 1, a + n + 2, a + n + 1}});
            }
        TKSN_Object* object = Add(MakeObject(xyz, uv, polys));
        object->Mesh->SetMaxOctreeDepth(3);
        std::vector<uint8_t> map(16 * 16 * 3);
        for (size_t i = 0; i < map.size(); ++i) map[i] = uint8_t((i * 37 + g * 101) & 0xff);
        BindColorMap(object, 16, 16, map);
    }
    std::vector<uint8_t> reference;
    std::vector<float> referenceDepth;
    for (int threads : {1, 0, 2, 7, 100}) {
        SCOPED_TRACE(threads);
        Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
        Setup.UseLighting = true;
        Setup.DrawWireframe = true;
        Setup.DrawVertexOverlay = true;
        Setup.ThreadCount = threads;
        Render();
        ASSERT_EQ(Completed, 1);
        ASSERT_GT(Setup.NodeList.size(), 4u) << "the scene should spread over many nodes";
        Completed = 0;
        const uint8_t* p = Setup.RenderedImage.GetPixels();
        std::vector<uint8_t> image(p, p + Size * Size * 4);
        const float* d = Setup.DepthBuffer.GetDataFloat();
        std::vector<float> depth(d, d + Size * Size);
        if (reference.empty()) {
            reference = image;
            referenceDepth = depth;
            continue;
        }
        EXPECT_EQ(image, reference);
        EXPECT_EQ(depth, referenceDepth);
    }
}

TEST_F(RendererSoftware, FlatShadedUnselectedQuadIsLitAtHalfShadeOnBothTriangles)
{
    // Quad 0 unselected, quad 1 selected, so that the mesh has a selection.
    TKSN_Object* object = Add(MakeObject({-0.8f, -0.4f, 0, -0.1f, -0.4f, 0, -0.1f, 0.4f, 0, -0.8f, 0.4f, 0,
                                          0.1f, -0.4f, 0, 0.8f, -0.4f, 0, 0.8f, 0.4f, 0, 0.1f, 0.4f, 0},
                                         {}, {{{0, 1, 2, 3}}, {{4, 5, 6, 7}}}));
    TKSN_Mesh* mesh = object->Mesh.get();
    for (int v = 4; v < 8; ++v) mesh->VertexInfo[v].Select = 1.0f;
    mesh->Polygons[1].Select = 1.0f;
    App->selectionType = eSelectionType_Polygon;
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Setup.UseLighting = true;
    Setup.FlatShading = true;
    Render();
    ASSERT_GE(mesh->GetSelectedVertexCount(), 1);
    float lo[2], hi[2];
    ToPixel(Setup, mesh->resolvedVertices, lo);
    ToPixel(Setup, mesh->resolvedVertices + 6, hi);
    // Below and above the diagonal: one pixel in each triangle of the fan.
    const uint8_t* a = Pixel(int(hi[0]) - 2, int(lo[1]) + 2);
    const uint8_t* b = Pixel(int(lo[0]) + 2, int(hi[1]) - 2);
    EXPECT_EQ(a[0], 127);
    EXPECT_EQ(b[0], 127);
    float slo[2];
    ToPixel(Setup, mesh->resolvedVertices + 12, slo);
    EXPECT_GE(Pixel(int(slo[0]) + 3, int(slo[1]) + 3)[0], 250) << "the selected quad is lit at full shade";
}

TEST_F(RendererSoftware, PentagonDrawsThreeTrianglesAndTwoCornersNothing)
{
    // A convex pentagon: its fan (0 1 2) (0 2 3) (0 3 4) covers all of it.
    std::vector<float> xyz;
    for (int k = 0; k < 5; ++k) {
        const float a = 1.5707963f + 6.2831853f * k / 5;
        xyz.insert(xyz.end(), {0.8f * std::cos(a), 0.8f * std::sin(a), 0.0f});
    }
    xyz.insert(xyz.end(), {0.9f, 0.9f, 0, 0.95f, 0.9f, 0});
    TKSN_Object* object = Add(MakeObject(xyz, {}, {{{0, 1, 2, 3, 4}}, {{5, 6}}}));
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Render();
    float c[5][2];
    for (int k = 0; k < 5; ++k) ToPixel(Setup, object->Mesh->resolvedVertices + 3 * k, c[k]);
    // Sample the centroid of each fan triangle.
    for (int t = 0; t < 3; ++t) {
        SCOPED_TRACE(t);
        const float x = (c[0][0] + c[t + 1][0] + c[t + 2][0]) / 3, y = (c[0][1] + c[t + 1][1] + c[t + 2][1]) / 3;
        EXPECT_EQ(Pixel(int(x), int(y))[3], 255);
    }
    float e[2];
    ToPixel(Setup, object->Mesh->resolvedVertices + 15, e);
    EXPECT_EQ(Pixel(int(e[0]), int(e[1]))[3], 0);
}

TEST_F(RendererSoftware, VertexOverlayLeavesTheOuterPixelFrameAlone)
{
    // Vertices on column 0 and row 63 lie within a pixel of the border;
    // those on column 40 and row 20 inside.
    TKSN_Object* object = Add(MakeSquare(0, 0, 0.5f));
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Render();   // gives the set-up's matrix
    const float* M = Setup.Viewport.CombinedMatrix;
    auto worldX = [&](float px) { return ((px / Size) * 2.0f - 1.0f - M[12]) / M[0]; };
    auto worldY = [&](float py) { return ((py / Size) * 2.0f - 1.0f - M[13]) / M[5]; };
    float* v = object->Mesh->resolvedVertices;
    const float x0 = worldX(0.5f), x1 = worldX(40.5f), y0 = worldY(20.5f), y1 = worldY(63.5f);
    const float corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
    for (int k = 0; k < 4; ++k) {
        v[3 * k] = corners[k][0];
        v[3 * k + 1] = corners[k][1];
    }
    object->Mesh->InvalidateOctree();
    const float wire[3] = {0, 1, 0};
    static float s_wire[3];
    std::memcpy(s_wire, wire, sizeof wire);
    TKSN_RendererProjectHooks hooks = KSN_GetRendererProjectHooks();
    hooks.GetWireframeColor = [](float* rgb) { std::memcpy(rgb, s_wire, sizeof s_wire); };
    KSN_SetRendererProjectHooks(hooks);
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Setup.DrawVertexOverlay = true;
    Render();
    auto green = [&](int x, int y) { return Pixel(x, y)[1] == 255 && Pixel(x, y)[0] == 0; };
    EXPECT_TRUE(green(40, 20)) << "a vertex inside gets its 3 × 3 block";
    EXPECT_TRUE(green(41, 21));
    EXPECT_FALSE(green(0, 20)) << "a vertex on column 0 is not drawn";
    EXPECT_FALSE(green(1, 20));
    EXPECT_FALSE(green(40, 63)) << "a vertex on row 63 is not drawn";
    EXPECT_FALSE(green(40, 62));
}

TEST_F(RendererSoftware, ErrorOnTheRenderThreadEndsTheRenderAndIsReportedOnJoin)
{
    TKSN_Object* object = Add(MakeSquare(0, 0, 0.5f));
    g_Objects.push_back(object);   // the walk meets it twice
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Renderer = std::make_unique<TKSN_Renderer4>();
    Renderer->RenderImage(&Setup);
    EXPECT_TRUE(Boxes.Boxes.empty()) << "nothing is shown from the render thread";
    Renderer->WaitForCompletion();
    EXPECT_FALSE(Setup.Rendering);
    EXPECT_EQ(Completed, 0);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_NE(Boxes.Boxes[0].find("Infinite list traversal detected TKSN_ObjectPtr,Object,PARSE_OBJECT_LIST"),
              std::string::npos);
    Renderer->WaitForCompletion();
    Renderer->CancelRender();
    EXPECT_EQ(Boxes.Boxes.size(), 1u);

    // The renderer goes on: the next render works.
    g_Objects.pop_back();
    Renderer->RenderImage(&Setup);
    Renderer->WaitForCompletion();
    EXPECT_EQ(Completed, 1);
}

TEST_F(RendererSoftware, MeshRootReadsTheMaterialsDisplacementChannelAndTheObjectsSidedness)
{
    TKSN_Object* object = Add(MakeSquare(0, 0, 0.5f));
    TKSN_Mesh* mesh = object->Mesh.get();
    EXPECT_FALSE(mesh->DoRenderDoubleSided());
    object->RenderDoubleSided = true;
    EXPECT_TRUE(mesh->DoRenderDoubleSided());

    mesh->UpdateDisplacementMapHelpers();
    EXPECT_EQ(mesh->maxDisplacementReach, 0.0f) << "no bound displacement map";
    // A 1 × 1 displacement map of byte 255 at strength 0.5, offset 0.25.
    Sources.push_back(std::make_unique<TQORMaterialMapSource>());
    uint8_t white[3] = {255, 255, 255};
    Sources.back()->InitializeWithPixelData(1, 1, white);
    auto* binding = new TQORMaterialMap();
    binding->SetMapSource(Sources.back()->GetID());
    mesh->MaterialMaps->Add(binding);
    TQORMaterialChannel* channel = mesh->GetMaterial(0)->GetChannelFromName("Displacement");
    channel->SetMapID(int(binding->GetID()));
    channel->Strength = 0.5f;
    channel->Offset = 0.25f;
    mesh->UpdateDisplacementMapHelpers();
    EXPECT_FLOAT_EQ(mesh->maxDisplacementReach, mesh->boundsDiagonal * 0.5f);

    mesh->ValidateAllInOSpace(false);
    const float expected = (1.0f - 0.25f) * mesh->boundsDiagonal * 0.5f;
    for (int v = 0; v < 4; ++v) {
        SCOPED_TRACE(v);
        const float* n = mesh->vertexNormals + 3 * v;
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(mesh->displacementDeltas[3 * v + a], expected * n[a], 1e-5f);
    }
}

TEST_F(RendererSoftware, CurrentMapLayerIsResolvedBeforeTheRenderThreadStarts)
{
    static TKSN_MapLayerGroup* group = nullptr;
    TKSN_MapLayerGroup layers;
    group = &layers;
    auto* first = new TKSN_MapLayer();
    layers.AddItem(first);
    QORMaterialMapSource_ProjectHooks.GetMapLayerGroup = [] { return group; };
    Add(MakeSquare(0, 0, 0.5f));
    Prepare(KSN_VIEWMODE_CURRENT_MAP_LAYER);
    Renderer = std::make_unique<TKSN_Renderer4>();
    Renderer->RenderImage(&Setup);
    EXPECT_EQ(layers.GetCurrentLayerID(), first->GetID()) << "made current on the calling thread";
    EXPECT_EQ(Renderer->CurrentMapLayer, first);
    Renderer->WaitForCompletion();
    EXPECT_EQ(Completed, 1);
    QORMaterialMapSource_ProjectHooks.GetMapLayerGroup = nullptr;
}

TEST_F(RendererSoftware, ErrorOnANodeThreadCancelsTheRenderAndIsReportedOnce)
{
    // A mesh without texture vertices in the paint tab asks for the screen
    // pattern from every node thread; that image cannot be read.
    TKSN_RendererProjectHooks hooks = KSN_GetRendererProjectHooks();
    hooks.GetGuiImageRGB = [](const char*, uint8_t**, int*, int*) -> bool {
        throw std::runtime_error("Cannot read the interface picture \"NoUVMap\".");
    };
    KSN_SetRendererProjectHooks(hooks);
    Add(MakeObject({-0.5f, -0.5f, 0, 0.5f, -0.5f, 0, 0.5f, 0.5f, 0, -0.5f, 0.5f, 0}, {}, {{{0, 1, 2, 3}}}));
    Prepare(KSN_VIEWMODE_CURRENT_MAP_CHANNEL);
    Setup.PaintTabActive = true;
    Setup.ThreadCount = 4;
    Renderer = std::make_unique<TKSN_Renderer4>();
    Renderer->RenderImage(&Setup);
    Renderer->WaitForCompletion();
    EXPECT_FALSE(Setup.Rendering);
    EXPECT_EQ(Completed, 0);
    ASSERT_EQ(Boxes.Boxes.size(), 1u);
    EXPECT_NE(Boxes.Boxes[0].find("NoUVMap"), std::string::npos);
}

// [SECTION] Brush tile

class BrushTile : public RendererSoftware {
protected:
    // A triangle covering the whole target with one brush coordinate everywhere.
    void DrawConstantUV(float u, float v, bool bake, const uint8_t* alpha = nullptr)
    {
        Target.assign(8 * 8 * 4, 0);
        Depth.assign(8 * 8, 0.0f);
        TKSN_RasterizeTriangle r;
        r.Width = r.RowLength = r.Height = 8;
        r.DestPixels = Target.data();
        r.BytesPerPixel = 4;
        r.DepthBuffer = Depth.data();
        r.ColorMap = Brush.data();
        r.ColorMapWidth = 64;
        r.ColorMapHeight = 1;
        r.ColorMapBytesPerPixel = 3;
        r.AlphaMap = const_cast<uint8_t*>(alpha);
        r.AlphaMapWidth = 64;
        r.AlphaMapHeight = 1;
        const float p0[3] = {-1, -1, 0.5f}, p1[3] = {30, -1, 0.5f}, p2[3] = {-1, 30, 0.5f};
        r.AssignVertices3(p0, p1, p2);
        const float t[2] = {u, v};
        r.AssignUVs2(t, t, t);
        if (bake)
            KSN_RenderBrushTileTexture_Triangle_Software_BakeInGrid(&r);
        else
            KSN_RenderBrushTileTexture_Triangle_Software(&r);
    }
    void SetUp() override
    {
        RendererSoftware::SetUp();
        Brush.resize(64 * 3);
        for (int x = 0; x < 64; ++x) {
            Brush[x * 3] = uint8_t(x * 4);
            Brush[x * 3 + 1] = uint8_t(255 - x);
            Brush[x * 3 + 2] = 7;
        }
    }
    std::vector<uint8_t> Brush, Target;
    std::vector<float> Depth;
};

TEST_F(BrushTile, CoordinatesWrapWithoutBlendingAcrossTheSeam)
{
    const struct {
        float u;
        int expectedRed;
    } cases[] = {
        {-0.25f, (47 * 4 + 48 * 4) / 2},   // x = 47.5: the mean of columns 47 and 48
        {1.0f, 63 * 4},                    // x = 63.5: column 63 alone
        {0.5f, (31 * 4 + 32 * 4) / 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.u);
        DrawConstantUV(c.u, 0.5f, false);
        EXPECT_EQ(Target[(3 * 8 + 3) * 4], c.expectedRed);
        EXPECT_EQ(Target[(3 * 8 + 3) * 4 + 3], 255);
    }
}

TEST_F(BrushTile, GridBakingShowsTheCheckerboardUnderTransparentTexels)
{
    App->textureGridColor1[0] = 1.0f;
    App->textureGridColor2[2] = 1.0f;
    uint8_t grid1[3], grid2[3];
    App->GetBackgroundGridColorsForTextures(grid1, grid2);
    std::vector<uint8_t> clear(64, 0), opaque(64, 255);
    // u = 0.3 → texel 19 (cell 4), v = 0.5 → row 0 (cell 0): cell sum even, the second colour.
    DrawConstantUV(0.3f, 0.5f, true, clear.data());
    EXPECT_EQ(0, std::memcmp(&Target[(3 * 8 + 3) * 4], grid2, 3));
    EXPECT_EQ(Target[(3 * 8 + 3) * 4 + 3], 0);
    DrawConstantUV(0.3f, 0.5f, false, clear.data());
    const float f = (0.3f * 64.0f - 0.5f) - 18.0f;
    EXPECT_EQ(Target[(3 * 8 + 3) * 4], int(72.0f * (1.0f - f) + 76.0f * f));
    EXPECT_EQ(Target[(3 * 8 + 3) * 4 + 3], 0);
    DrawConstantUV(0.3f, 0.5f, true, opaque.data());
    EXPECT_EQ(Target[(3 * 8 + 3) * 4 + 1], 255 - 19 + 0);
    EXPECT_EQ(Target[(3 * 8 + 3) * 4 + 3], 255);
}

TEST_F(BrushTile, SoftwareViewDrawsNothingWithoutABrushAndOpaqueWithAMismatchedAlpha)
{
    static TQORImageMap rgb, alpha;
    rgb.SetDimensions(4, 4, 3);
    rgb.ClearToValue(200);
    alpha.SetDimensions(2, 2, 1);
    alpha.ClearToValue(0);
    Add(MakeSquare(0, 0, 0.5f));
    Prepare(KSN_VIEWMODE_BRUSH_TILE);
    Render();
    EXPECT_EQ(Pixel(32, 32)[0], 40) << "no brush: nothing drawn";
    TKSN_RendererProjectHooks hooks = KSN_GetRendererProjectHooks();
    hooks.GetCurrentColorizeTextureBrushImageRGB = [] { return &rgb; };
    hooks.GetCurrentColorizeTextureBrushImageAlpha = [] { return &alpha; };
    KSN_SetRendererProjectHooks(hooks);
    Prepare(KSN_VIEWMODE_BRUSH_TILE);
    Render();
    EXPECT_EQ(Pixel(32, 32)[0], 200);
    EXPECT_EQ(Pixel(32, 32)[3], 255) << "an alpha image of another size is not read";
}

// [SECTION] Quick render

TEST(QuickRender, SpecularTableRowsAndSplitThreshold)
{
    Create_ucSpecularTable();
    const uint8_t* row20 = ucSpecularTable + 20 * 256;
    for (int c = 0; c <= 246; ++c) ASSERT_EQ(row20[c], 0) << c;
    const int tail[9] = {1, 2, 5, 10, 19, 37, 70, 134, 255};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(row20[247 + k], tail[k]) << 247 + k;
    for (int c = 0; c < 256; ++c) ASSERT_EQ(ucSpecularTable[255 * 256 + c], c);
    for (int c = 0; c < 256; ++c) ASSERT_EQ(ucSpecularTable[c], 0);

    const float n450 = 4.0f / 450.0f, n100 = 4.0f / 100.0f;
    EXPECT_NEAR(KSN_QuickRenderSplitThreshold(800, 600, 0.5f), n450 * n450, 1e-9f);
    EXPECT_NEAR(KSN_QuickRenderSplitThreshold(99, 99, 1.0f), n100 * n100, 1e-9f);
    EXPECT_NEAR(KSN_QuickRenderSplitThreshold(2000, 10, 1.0f), (4.0f / 1024) * (4.0f / 1024), 1e-9f);
}

class QuickRenderQuads : public ::testing::Test {
protected:
    void SetUp() override
    {
        QuickRender_Clean();
        QuickRender_Init();
        Data.Init();
        QuickRender_UseLighting = false;
        // Transparent quads go to fragments, so counting them counts the final quads.
        Data.TextureSlots[KSN_QR_SLOT_TRANSPARENCY]->StrengthByte = 255;
        Data.SplitThreshold = 1e-6f;
        Data.InvZoomSquared = 1.0f;
        Data.MinEdgeSquared = 0.0f;
        Data.TextureSlots[KSN_QR_SLOT_COLOR]->Pixels = Map;
        Data.TextureSlots[KSN_QR_SLOT_COLOR]->Width = 1;
        Data.TextureSlots[KSN_QR_SLOT_COLOR]->Height = 1;
        Data.TextureSlots[KSN_QR_SLOT_COLOR]->TexelStepU = 1e-9f;   // every edge is coarser than it
        Data.TextureSlots[KSN_QR_SLOT_COLOR]->TexelStepV = 1e-9f;
    }
    void TearDown() override { QuickRender_Clean(); }

    int Fragments() const
    {
        int n = 0;
        for (int b = TransparentQuads_MinIndexUsed; b <= TransparentQuads_MaxIndexUsed; ++b)
            for (TKSN_QuadFragment* f = TransparentQuads[b]; f; f = f->Next) ++n;
        return n;
    }

    void Draw(float x0, float x1)
    {
        float p[4][3] = {{x0, -0.5f, 0}, {x1, -0.5f, 0}, {x1, 0.5f, 0}, {x0, 0.5f, 0}};
        float n[4][3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
        float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        float d[4][3] = {};
        float view[4][3];
        float* P[4] = {p[0], p[1], p[2], p[3]};
        float* N[4] = {n[0], n[1], n[2], n[3]};
        float* U[4] = {uv[0], uv[1], uv[2], uv[3]};
        float* D[4] = {d[0], d[1], d[2], d[3]};
        float* V[4] = {view[0], view[1], view[2], view[3]};
        float** pp = P;
        float** dd = D;
        float** nn = N;
        float** uu = U;
        float** ss = nullptr;
        DynamicallySubdividedQuad2(Data, pp, dd, nn, uu, ss, V, 0);
    }

    uint8_t Map[3] = {100, 150, 200};
    TKSN_QuickRenderData Data;
};

TEST_F(QuickRenderQuads, SubdivisionStopsAtTheDeepestLevelAndDropsQuadsOutOfView)
{
    EXPECT_EQ(Data.MaxLevel, 10);
    for (int level : {0, 1, 3}) {
        SCOPED_TRACE(level);
        QuickRender_Init();
        Data.MaxLevel = level;
        Draw(-0.5f, 0.5f);
        EXPECT_EQ(Fragments(), 1 << (2 * level));
    }
    QuickRender_Init();
    Data.MaxLevel = 3;
    Draw(-3.0f, -1.01f);   // wholly left of −1
    EXPECT_EQ(Fragments(), 0);
    EXPECT_GT(TransparentQuads_MinIndexUsed, TransparentQuads_MaxIndexUsed);
}

TEST_F(QuickRenderQuads, FullTransparencyWithoutAMapGivesAlphaZeroFragmentsInPooledBlocks)
{
    Data.MaxLevel = 0;
    Draw(-0.5f, 0.5f);
    ASSERT_EQ(Fragments(), 1);
    const TKSN_QuadFragment* f = TransparentQuads[TransparentQuads_MinIndexUsed];
    EXPECT_EQ(f->Color[3], 0);
    EXPECT_EQ(f->Color[0], 100) << "lighting off: the base colour";

    // The 10,001st fragment opens a second pool; the next frame reuses both.
    QuickRender_Init();
    for (int i = 0; i < KSN_QuadFragmentPoolSize; ++i) QuickRender_TakeFragment();
    EXPECT_EQ(QuadFragmentPools.Count(), 1);
    QuickRender_TakeFragment();
    EXPECT_EQ(QuadFragmentPools.Count(), 2);
    TKSN_QuadFragment* second = QuadFragmentPools[1];
    QuickRender_Init();
    for (int i = 0; i <= KSN_QuadFragmentPoolSize; ++i) QuickRender_TakeFragment();
    EXPECT_EQ(QuadFragmentPools.Count(), 2);
    EXPECT_EQ(QuadFragmentPools[1], second);
}

TEST_F(QuickRenderQuads, NewVertexOnASeamTakesTheMeanDisplacementOfBothSides)
{
    // Displacement map: the left texel at height 0, the right one at 255.
    // The quad's UVs lie over the left texel; across its edge 0 (a UV seam)
    // the neighbour's UVs lie over the right one.
    uint8_t heights[6] = {0, 0, 0, 255, 255, 255};
    TKSN_QuickRenderDataTextureData& disp = *Data.TextureSlots[KSN_QR_SLOT_DISPLACEMENT];
    disp.Pixels = heights;
    disp.Width = 2;
    disp.Height = 1;
    disp.Scale = 1.0f;
    disp.Offset = 0.0f;
    disp.TexelStepU = disp.TexelStepV = 1e-9f;
    Data.MaxLevel = 1;
    float p[4][3] = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}};
    float n[4][3] = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    float uv[4][2] = {{0, 0}, {0.2f, 0}, {0.2f, 1}, {0, 1}};
    float across[2][2] = {{0.8f, 0}, {1.0f, 0}};
    float d[4][3] = {};
    float view[4][3];
    auto midpointHeight = [&](bool withSeams) {
        QuickRender_Init();
        float* P[4] = {p[0], p[1], p[2], p[3]};
        float* N[4] = {n[0], n[1], n[2], n[3]};
        float* U[4] = {uv[0], uv[1], uv[2], uv[3]};
        float* D[4] = {d[0], d[1], d[2], d[3]};
        float* V[4] = {view[0], view[1], view[2], view[3]};
        float* S[8] = {across[0], across[1], uv[1], uv[2], uv[2], uv[3], uv[3], uv[0]};
        float** pp = P;
        float** dd = D;
        float** nn = N;
        float** uu = U;
        float** ss = withSeams ? S : nullptr;
        DynamicallySubdividedQuad2(Data, pp, dd, nn, uu, ss, V, 0);
        EXPECT_EQ(Fragments(), 4);
        // The midpoint of edge 0 lies at (0, −0.5).
        for (int b = TransparentQuads_MinIndexUsed; b <= TransparentQuads_MaxIndexUsed; ++b)
            for (TKSN_QuadFragment* f = TransparentQuads[b]; f; f = f->Next)
                for (const float* v : f->Vertices)
                    if (std::fabs(v[0]) < 1e-6f && std::fabs(v[1] + 0.5f) < 1e-6f) return v[2];
        ADD_FAILURE() << "no fragment has the midpoint of edge 0";
        return -1.0f;
    };
    EXPECT_NEAR(midpointHeight(true), 0.5f, 1e-4f);
    EXPECT_NEAR(midpointHeight(false), 0.0f, 1e-6f);
}

TEST_F(RendererSoftware, QuickRenderSkipsNodesOfASubdivisionLevel)
{
    TKSN_Object* object = Add(MakeSquare(0, 0, 0.5f));
    // A level made from the mesh: its own root whose owner mesh is the mesh.
    TKSN_MeshRoot level;
    level.SetOwnerMesh(object->Mesh.get());
    TQOROctreeNode<int> node;
    node.Owner = &level;
    node.PolygonBegin = 0;
    node.PolygonEnd = 1;
    QuickRender_Init();
    Prepare(KSN_VIEWMODE_QUICK_RENDER);
    TKSN_Renderer4 renderer;
    renderer.Setup = &Setup;
    renderer.DrawOctreeNode_QuickRender_GL(&node);   // returns before any OpenGL call
    EXPECT_GT(TransparentQuads_MinIndexUsed, TransparentQuads_MaxIndexUsed);
    level.SetOwnerMesh<TKSN_Mesh>(nullptr);
}

} // namespace
