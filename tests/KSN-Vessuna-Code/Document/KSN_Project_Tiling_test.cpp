// Brush tiling on a real GL context (Xvfb with Mesa): the tiling transform
// and its aspect correction, the styles' coordinates with the mirrored side,
// when tiling is in use, the undo record of a tiling change, and the tile
// image that the renderer's brush-tile view draws.
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_RendererHooks.h"
#include "KSN_ToolKinds.h"
#include "KSN_Undo.h"
#include "KsnTestGL.h"
#include "QORGL.h"
#include "QORMemory.h"
#include "../Scene/KSN_SubDTestSupport.h"

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <cstring>

namespace {

using namespace ksn_edit_test;

constexpr float kPi = 3.14159265358979f;
constexpr int kWindowSide = 64;
int WindowHeight() { return kWindowSide; }

class TTilingBrush : public TKSN_PaintBrush {
public:
    bool Tiles = false;
    bool Image = false;
    bool UseBrushTiling() override { return Tiles; }
    bool UseBrushImage() override { return Image; }
};

class TilingTest : public ProjectEditFixture {
protected:
    TTestGLWindow Window;
    TKSN_RendererProjectHooks SavedRenderer;
    TKSN_ViewportProjectHooks SavedViewport;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        ASSERT_TRUE(Window.Open(kWindowSide, kWindowSide)) << "no GLX display: run under xvfb-run";
        QORglut_AssignGetWindowHeight(WindowHeight);
        View()->Resize(0, 0, 200, 100);
        SavedRenderer = KSN_GetRendererProjectHooks();
        SavedViewport = KSN_GetViewportProjectHooks();
    }
    void TearDown() override
    {
        KSN_SetRendererProjectHooks(SavedRenderer);
        KSN_SetViewportProjectHooks(SavedViewport);
        QORglut_AssignGetWindowHeight(nullptr);
        App->currentTool = nullptr;
        ProjectEditFixture::TearDown();
    }
    TKSN_Viewport* View() { return App->viewports[0]; }

    // A w x h brush image of one colour, made from pixel data.
    void MakeBrush(int w, int h, std::array<unsigned char, 4> colour = {255, 0, 0, 255})
    {
        auto* pixels = static_cast<unsigned char*>(QORalloc(size_t(w) * size_t(h) * 4, false));
        for (size_t i = 0; i < size_t(w) * size_t(h); ++i) std::memcpy(pixels + 4 * i, colour.data(), 4);
        ASSERT_TRUE(Project->CreateBrushFromData(pixels, w, h, 4, &Project->BrushImage));
    }
    std::array<float, 3> UV(const std::array<float, 3>& p, const float* reference = nullptr)
    {
        std::array<float, 3> uv = {0, 0, 0};
        Project->GetTiledUVMapForVertex(View(), uv.data(), p.data(), reference, 0);
        return uv;
    }
};

TEST_F(TilingTest, AZeroTileWidthPutsEveryPointAtTheMiddleOfTheTile)
{
    Project->BrushTilingStyle = 1;
    Project->TileRepeat = 3.0f;
    Project->SetTileWidth(0.0f);
    EXPECT_EQ(Project->InvTileWidth, 0.0f);
    Project->SetTileHeight(2.0f);
    EXPECT_EQ(Project->InvTileHeight, 0.5f);
    Project->BeforeConsiderTiling(View());
    for (const std::array<float, 3>& p : {std::array<float, 3>{0, 0, 0}, {5, -2, 1}, {-1e6f, 3, 0}}) {
        const std::array<float, 3> uv = UV(p);
        EXPECT_FLOAT_EQ(uv[0], 1.5f);
        EXPECT_FLOAT_EQ(uv[1], (p[1] * 0.5f + 0.5f) * 3.0f);
        EXPECT_EQ(uv[2], 0.0f);
    }
    Project->SetTileWidth(1e-31f);
    EXPECT_EQ(Project->InvTileWidth, 0.0f);
    Project->SetTileWidth(-4.0f);
    EXPECT_EQ(Project->InvTileWidth, -0.25f);
}

TEST_F(TilingTest, ViewportProjectionCorrectsForTheImageAndViewportAspect)
{
    struct Case {
        int Width, Height, ViewWidth, ViewHeight;
        float ScaleX, ScaleY;
    };
    const Case cases[] = {
        {200, 100, 200, 100, 1.0f, 2.0f * 0.5f},
        {200, 100, 100, 300, 1.0f, 2.0f * 3.0f},
        {100, 200, 200, 100, 2.0f, 0.5f},
        {64, 64, 200, 100, 1.0f, 0.5f},
    };
    Project->BrushTilingStyle = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Width);
        MakeBrush(c.Width, c.Height);
        View()->Resize(0, 0, c.ViewWidth, c.ViewHeight);
        Project->BeforeConsiderTiling(View());
        EXPECT_FLOAT_EQ(Project->TileScaleX, c.ScaleX);
        EXPECT_FLOAT_EQ(Project->TileScaleY, c.ScaleY);
    }
    Project->BrushTilingStyle = 1;
    Project->BeforeConsiderTiling(View());
    EXPECT_EQ(Project->TileScaleX, 1.0f);
    EXPECT_EQ(Project->TileScaleY, 1.0f) << "only the viewport projection is corrected";

    // Style 0 maps the viewport's -1..1 to 0..1, scaled about the centre.
    Project->BrushTilingStyle = 0;
    MakeBrush(64, 64);
    View()->Resize(0, 0, 100, 100);
    Project->BeforeConsiderTiling(View());
    float* m = View()->CombinedMatrix;
    std::fill(m, m + 16, 0.0f);
    m[0] = 0.5f;    // x' = 0.5 x
    m[5] = 0.25f;   // y' = 0.25 y
    m[10] = m[15] = 1.0f;
    Project->TileRepeat = 2.0f;
    std::array<float, 3> uv = {0, 0, 0.5f};
    const std::array<float, 3> p = {1, 2, 0};
    Project->GetTiledUVMapForVertex(View(), uv.data(), p.data(), nullptr, 0);
    EXPECT_FLOAT_EQ(uv[0], (0.5f * 2.0f + 1.0f) / 2.0f);
    EXPECT_FLOAT_EQ(uv[1], (0.5f * 2.0f + 1.0f) / 2.0f);
    EXPECT_FLOAT_EQ(uv[2], 0.75f) << "the incoming depth mapped to 0..1";
}

TEST_F(TilingTest, AutoAlignTakesEffectOneCallLate)
{
    Project->AutoAlignTilingWithViewport = true;
    const float turned[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    View()->SetRotationMatrix(turned);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::copy(identity, identity + 16, Project->TileRotationMatrix);
    Project->BeforeConsiderTiling(View());
    EXPECT_TRUE(std::equal(identity, identity + 16, Project->TilingMatrix)) << "the first call still uses the old one";
    EXPECT_TRUE(std::equal(turned, turned + 16, Project->TileRotationMatrix));
    Project->BeforeConsiderTiling(View());
    EXPECT_TRUE(std::equal(turned, turned + 16, Project->TilingMatrix));
    Project->UseCustomBrushMapping = true;
    Project->BeforeConsiderTiling(View());
    EXPECT_FALSE(Project->UseCustomBrushMapping);
}

TEST_F(TilingTest, CylinderAndSphereWorkInTilingSpaceAroundTheCentre)
{
    Project->TileCentre[0] = 1.0f;
    Project->TileCentre[1] = 2.0f;
    Project->SetTileHeight(4.0f);
    Project->TileRepeat = 1.0f;
    const float seam = std::atan(0.1f);
    const float beside[3] = {0.9f, 2.0f, -1.0f};   // tiling space (-0.1, 0, -1)

    Project->BrushTilingStyle = 2;
    Project->BeforeConsiderTiling(View());
    std::array<float, 3> uv = UV({0, 2, 0});   // tiling space (-1, 0, 0): a quarter turn
    EXPECT_NEAR(uv[0], 0.25f, 1e-6f);
    EXPECT_NEAR(uv[1], -0.5f, 1e-6f);
    EXPECT_NEAR(UV({1.1f, 2, -1})[0], 1.0f - seam / (2 * kPi), 1e-5f);
    EXPECT_NEAR(UV({1.1f, 2, -1}, beside)[0], -seam / (2 * kPi), 1e-5f) << "kept beside the reference";

    Project->BrushTilingStyle = 3;
    Project->BeforeConsiderTiling(View());
    uv = UV({1, 5, 0});   // straight up: the upper pole
    EXPECT_NEAR(uv[0], 0.0f, 1e-6f);
    EXPECT_NEAR(uv[1], 1.0f, 1e-6f);
    EXPECT_NEAR(UV({1.1f, 2, -1}, beside)[0], -seam / (2 * kPi), 1e-5f);

    // A rotation of the tiling space: 90 degrees about y turns -x into -z.
    const float quarter[16] = {0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 0, 1};
    std::copy(quarter, quarter + 16, Project->TileRotationMatrix);
    Project->BrushTilingStyle = 2;
    Project->BeforeConsiderTiling(View());
    EXPECT_NEAR(UV({0, 2, 0})[0], 0.0f, 1e-6f);

    Project->BrushTilingStyle = 7;
    EXPECT_EQ(UV({0, 2, 0}), (std::array<float, 3>{0, 0, 0})) << "an unknown style leaves the coordinates";
    Project->UseCustomBrushMapping = true;
    std::fill(Project->CustomBrushMappingMatrix, Project->CustomBrushMappingMatrix + 16, 0.0f);
    Project->CustomBrushMappingMatrix[0] = 2.0f;
    Project->CustomBrushMappingMatrix[14] = 0.5f;
    EXPECT_EQ(UV({3, 4, 5}), (std::array<float, 3>{6, 0, 0.5f}));
}

TEST_F(TilingTest, TheMirroredSideTakesThePartnersPositions)
{
    TKSN_Mesh* mesh = AddMesh("Pair", SubDTest::MakeMesh({{-1, 0, 0}, {-2, 0, 0}, {-1, 1, 0}, {1, 0, 0}, {2, 0, 0},
                                                          {1, 1, 0}},
                                                         {}, {{{0, 1, 2}, {}}, {{3, 4, 5}, {}}}));
    int32_t partners[6] = {3, 4, 5, 0, 1, 2};
    mesh->activeVertexPartnerA = partners;
    auto* tool = MakeTool<TKSN_PaintBrush>("Symmetric", nullptr, 0x10);
    App->currentTool = tool;
    Project->UseSymmetry = true;
    Project->BrushTilingStyle = 1;
    Project->BeforeConsiderTiling(View());

    struct Case {
        const char* Why;
        bool BrushImageSymmetry;
        int FirstVertex;   // whose position the triangle's first corner takes
    };
    for (const Case& c : {Case{"mirrored", true, 3}, Case{"own side", false, 0}}) {
        SCOPED_TRACE(c.Why);
        App->brushImageSymmetry = c.BrushImageSymmetry;
        float a[3] = {}, b[3] = {}, d[3] = {};
        Project->GetTiledUVMapForTriangle_ConsiderSymmetry_etc(mesh, View(), 0, 1, 2, a, b, d, nullptr);
        const std::array<float, 3> expected = UV({mesh->resolvedVertices[3 * c.FirstVertex], 0, 0});
        EXPECT_FLOAT_EQ(a[0], expected[0]);
    }
    mesh->activeVertexPartnerA = nullptr;
    App->brushImageSymmetry = true;
}

TEST_F(TilingTest, TilingIsInUseForTheTileToolsAlwaysAndForOthersOnlyWithAnImage)
{
    TKSN_TileSetupTool setup;
    TTilingBrush brush;
    auto* chisel = MakeTool<TKSN_Chisel>("Chisel", nullptr);
    struct Case {
        const char* Why;
        TKSN_Tool* Tool;
        bool BrushTiles, TileBrushTexture, TileView, Image, Expected;
    };
    const Case cases[] = {
        {"tile set-up tool without image", &setup, false, false, false, false, true},
        {"brush-tile view without image", chisel, false, false, true, false, true},
        {"tiling brush without image", &brush, true, true, false, false, false},
        {"tiling brush with image", &brush, true, false, false, true, true},
        {"brush that does not tile", &brush, false, true, false, true, false},
        {"other tool without image", chisel, false, true, false, false, false},
        {"other tool follows the project option", chisel, false, true, false, true, true},
        {"other tool, option off", chisel, false, false, false, true, false},
        {"no tool", nullptr, false, true, false, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        App->currentTool = c.Tool;
        brush.Tiles = c.BrushTiles;
        Project->TileBrushTexture = c.TileBrushTexture;
        Project->SpecialDisplayMode = c.TileView ? 2 : 0;
        Project->BrushImageLoaded = c.Image;
        EXPECT_EQ(Project->UseBrushTiling(), c.Expected);
    }
    Project->SpecialDisplayMode = 0;
    Project->BrushImageLoaded = false;

    // The dabs take the image's aspect only while the brush stamps it untiled.
    App->currentTool = &brush;
    struct AspectCase {
        bool Image, Tiles;
        float Aspect, Expected;
    };
    for (const AspectCase& c : {AspectCase{true, false, 2.0f, 2.0f}, AspectCase{true, true, 2.0f, 1.0f},
                                AspectCase{false, false, 2.0f, 1.0f}, AspectCase{true, false, 0.001f, 0.01f}}) {
        brush.Image = c.Image;
        brush.Tiles = c.Tiles;
        Project->BrushImageAspect = c.Aspect;
        EXPECT_FLOAT_EQ(Project->GetBrushTextureAspect(), c.Expected) << c.Image << c.Tiles << c.Aspect;
    }
    App->currentTool = chisel;
    EXPECT_EQ(Project->GetBrushTextureAspect(), 1.0f);
    App->currentTool = nullptr;
}

TEST_F(TilingTest, UndoRestoresTheTilingAndRedoBringsTheChangeBack)
{
    const float before[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Project->BrushTilingStyle = 1;
    std::copy(before, before + 16, Project->TileRotationMatrix);
    Project->TileCentre[0] = 1.0f;
    Project->SetTileWidth(2.0f);
    Project->SetTileHeight(4.0f);

    Project->SetupUndoForTiling("Tile Setup", false);
    ASSERT_NE(Project->UndoList, nullptr);
    EXPECT_EQ(Project->UndoList->GetLast()->Kind, KSN_UNDO_TILING);
    Project->BrushTilingStyle = 3;
    std::fill(Project->TileRotationMatrix, Project->TileRotationMatrix + 16, 0.5f);
    Project->TileCentre[0] = 9.0f;
    Project->SetTileWidth(0.0f);
    Project->SetTileHeight(8.0f);

    Project->Undo();
    EXPECT_EQ(Project->BrushTilingStyle, 1);
    EXPECT_TRUE(std::equal(before, before + 16, Project->TileRotationMatrix));
    EXPECT_EQ(Project->TileCentre[0], 1.0f);
    EXPECT_EQ(Project->TileWidth, 2.0f);
    EXPECT_EQ(Project->InvTileWidth, 0.5f);
    EXPECT_EQ(Project->TileHeight, 4.0f);
    EXPECT_EQ(Project->InvTileHeight, 0.25f);
    ASSERT_NE(Project->RedoList, nullptr);

    Project->Redo();
    EXPECT_EQ(Project->BrushTilingStyle, 3);
    EXPECT_EQ(Project->TileRotationMatrix[0], 0.5f);
    EXPECT_EQ(Project->TileCentre[0], 9.0f);
    EXPECT_EQ(Project->InvTileWidth, 0.0f);
    EXPECT_EQ(Project->TileHeight, 8.0f);

    // A new tiling step without keepRedo empties the redo list.
    Project->Undo();
    ASSERT_NE(Project->RedoList, nullptr);
    Project->SetupUndoForTiling(nullptr, false);
    EXPECT_EQ(Project->RedoList, nullptr);
}

TEST_F(TilingTest, TheTileImageIsRenderedOnceAndThenServed)
{
    EXPECT_EQ(Project->GetRenderedTileBrushImage(), nullptr) << "no brush image";

    // A square facing the viewer, tiled from a fixed plane with a red brush.
    AddMesh("Square", SubDTest::MakeMesh({{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}},
                                         {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {{{0, 1, 2, 3}, {}}}));
    TKSN_ViewportProjectHooks viewportHooks = SavedViewport;
    viewportHooks.GetObjectList = []() {
        std::vector<TKSN_Object*> out;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> list(Project->GetObjectList());
        for (TKSN_Object* object : *list) out.push_back(object);
        return out;
    };
    KSN_SetViewportProjectHooks(viewportHooks);
    TKSN_RendererProjectHooks hooks = SavedRenderer;
    hooks.GetCurrentColorizeTextureBrushImage = []() -> TQORImageMap* {
        return Project->GetCurrentColorizeTextureBrushImage();
    };
    hooks.GetCurrentColorizeTextureBrushImageRGB = []() -> TQORImageMap* {
        return Project->GetCurrentColorizeTextureBrushImageRGB();
    };
    hooks.GetCurrentColorizeTextureBrushImageAlpha = []() -> TQORImageMap* {
        return Project->GetCurrentColorizeTextureBrushImageAlpha();
    };
    hooks.GetTiledUVMapForVertex = [](TKSN_Viewport* viewport, float* uvw, const float* p, const float* c, int v) {
        Project->GetTiledUVMapForVertex(viewport, uvw, p, c, v);
    };
    KSN_SetRendererProjectHooks(hooks);
    // The software render starts from a grab of the frame buffer behind the
    // viewport: make that a known grey.
    glViewport(0, 0, 64, 64);
    glClearColor(0.5f, 0.5f, 0.5f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    View()->Resize(0, 0, 64, 64);
    View()->SetToFront(false);
    Project->OnSingleViewportChanged(View());
    Project->BrushTilingStyle = 1;
    Project->BeforeConsiderTiling(View());

    MakeBrush(8, 8, {255, 0, 0, 255});
    const auto redCount = [](TQORImageMap* image) {
        int red = 0;
        for (int i = 0; i < image->GetWidth() * image->GetHeight(); ++i) {
            const unsigned char* p = image->GetPixels() + 4 * i;
            red += p[0] > 200 && p[1] < 50 && p[2] < 50;
        }
        return red;
    };
    TQORImageMap* first = Project->GetRenderedTileBrushImage();
    ASSERT_EQ(first, &Project->RenderedTileBrushImage);
    ASSERT_EQ(first->GetWidth(), 64);
    ASSERT_EQ(first->GetHeight(), 64);
    ASSERT_EQ(first->GetBytesPerPixel(), 4);
    EXPECT_TRUE(Project->TiledPixelsValid);
    const int red = redCount(first);
    EXPECT_GT(red, 64) << "the square shows the brush";
    EXPECT_LT(red, 64 * 64) << "the background does not";

    // Valid: the same picture is served even though the brush changed under it.
    unsigned char* rgb = Project->ColorizedBrushImageRGB.GetPixels();
    for (int i = 0; i < 64; ++i) {
        rgb[3 * i] = 0;
        rgb[3 * i + 1] = 255;
    }
    EXPECT_EQ(redCount(Project->GetRenderedTileBrushImage()), red);
    Project->InvalidateTiledPixels();
    EXPECT_EQ(redCount(Project->GetRenderedTileBrushImage()), 0) << "rendered again from the green brush";

    // A resized viewport makes the picture stale.
    View()->Resize(0, 0, 32, 48);
    Project->OnSingleViewportChanged(View());
    Project->TiledPixelsValid = true;
    TQORImageMap* resized = Project->GetRenderedTileBrushImage();
    EXPECT_EQ(resized->GetWidth(), 32);
    EXPECT_EQ(resized->GetHeight(), 48);
}

} // namespace
