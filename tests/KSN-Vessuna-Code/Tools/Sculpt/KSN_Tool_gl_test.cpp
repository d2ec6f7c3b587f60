// Tool drawing against a real context (Xvfb with Mesa): the cursor image's
// hot spot lands on the mouse pixel, an RGBA cursor is blended, and the brush
// outline is drawn around the mouse pixel, scaled by pressure while the
// button is down.
#include <gtest/gtest.h>

#include "KSN_Brush.h"
#include "KSN_Tool.h"
#include "KSN_Viewport.h"
#include "QORGL.h"
#include "QORMemory.h"

// After gtest: the X11 headers define macros (None, Bool) that clash with it.
#include "KsnTestGL.h"

#include <GL/gl.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

constexpr int Size = 64;

class ToolGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Window.Open(Size, Size)) << "no GLX display: run under xvfb-run";
        glViewport(0, 0, Size, Size);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        Viewport.Resize(0, 0, Size, Size);
    }
    void TearDown() override { KSN_SetToolProjectHooks({}); }

    static void Clear(float r, float g, float b)
    {
        glClearColor(r, g, b, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    static std::array<int, 3> Pixel(int x, int y)
    {
        unsigned char p[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        return {p[0], p[1], p[2]};
    }
    // Normalised coordinate of the centre of pixel column or row i.
    static float Centre(int i) { return (float(i) + 0.5f) / (Size / 2.0f) - 1.0f; }
    // Normalised coordinate of the lower or left edge of pixel i: where the
    // window's integer mouse positions land (pixel rows counted from the bottom).
    static float Edge(int i) { return float(i) / (Size / 2.0f) - 1.0f; }
    // Whether a white pixel lies within one pixel of (x, y).
    static bool WhiteNear(int x, int y)
    {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (Pixel(x + dx, y + dy) == std::array<int, 3>{255, 255, 255}) return true;
        return false;
    }

    TTestGLWindow Window;
    TKSN_Viewport Viewport;
};

class TCursorTool : public TKSN_Tool {};

// A 4 x 3 image, rows bottom-up, every pixel green except the hot spot (column 1 of the top row).
TQORglutTexture* MakeCursor(bool alpha)
{
    const int w = 4, h = 3, depth = alpha ? 4 : 3;
    auto* pixels = static_cast<unsigned char*>(QORalloc(uint64_t(w * h * depth)));
    for (int i = 0; i < w * h; ++i) {
        unsigned char* p = pixels + i * depth;
        p[0] = 0;
        p[1] = 255;
        p[2] = 0;
        if (alpha) p[3] = 255;
    }
    unsigned char* hot = pixels + ((h - 1) * w + 1) * depth;
    hot[0] = 255;
    hot[1] = 0;
    hot[2] = 0;
    if (alpha) hot[3] = 128;
    return new TQORglutTexture(pixels, w, h, alpha);
}

TEST_F(ToolGL, TheCursorsHotSpotLandsOnTheMousePixel)
{
    TCursorTool tool;
    std::unique_ptr<TQORglutTexture> image(MakeCursor(false));
    tool.CursorImage = image.get();
    tool.HotSpotX = 1;
    tool.HotSpotY = 0;
    tool.MovedSinceDraw = true;
    Clear(0, 0, 1);
    tool.OnDraw(nullptr, &Viewport, Edge(40), Edge(20));
    EXPECT_FALSE(tool.MovedSinceDraw);
    EXPECT_EQ(Pixel(40, 20), (std::array<int, 3>{255, 0, 0}));
    EXPECT_EQ(Pixel(39, 20), (std::array<int, 3>{0, 255, 0}));
    EXPECT_EQ(Pixel(40, 18), (std::array<int, 3>{0, 255, 0})) << "the image reaches down from the hot spot";
    EXPECT_EQ(Pixel(40, 21), (std::array<int, 3>{0, 0, 255})) << "nothing above the top row";
    EXPECT_TRUE(tool.DrawsOwnMouseCursor());

    std::unique_ptr<TQORglutTexture> rgba(MakeCursor(true));
    tool.CursorImage = rgba.get();
    Clear(0, 0, 1);
    tool.OnDraw(nullptr, &Viewport, Edge(40), Edge(20));
    const std::array<int, 3> blended = Pixel(40, 20);
    EXPECT_NEAR(blended[0], 128, 2) << "half the red of the cursor";
    EXPECT_NEAR(blended[2], 127, 2) << "half the blue of the background";
    EXPECT_FALSE(glIsEnabled(GL_BLEND)) << "blending is switched off again";

    tool.CursorImage = nullptr;
    Clear(0, 0, 1);
    tool.OnDraw(nullptr, &Viewport, Edge(40), Edge(20));
    EXPECT_EQ(Pixel(40, 20), (std::array<int, 3>{0, 0, 255})) << "no image: nothing drawn";
}

const int32_t Outline[] = {10, 0, 0, -8};

class THalfPressureTool : public TKSN_Tool {
public:
    float GetEffectiveSize() override { return GetSize() * 0.5f; }
};

TEST_F(ToolGL, TheBrushOutlineSurroundsTheMousePixel)
{
    TKSN_ToolProjectHooks hooks;
    hooks.GetBrushOutline = [](int& count) -> const int32_t* {
        count = 2;
        return Outline;
    };
    KSN_SetToolProjectHooks(hooks);
    THalfPressureTool tool;
    tool.MouseState = 1;
    Clear(0, 0, 0);
    tool.DrawBrushShape(&Viewport, Centre(30), Centre(34), nullptr);
    EXPECT_TRUE(WhiteNear(40, 34));
    EXPECT_TRUE(WhiteNear(30, 26));
    EXPECT_FALSE(WhiteNear(35, 34)) << "full size while the button is up";
    EXPECT_FALSE(WhiteNear(30, 34));

    tool.MouseState = 0;
    Clear(0, 0, 0);
    tool.DrawBrushShape(&Viewport, Centre(30), Centre(34), nullptr);
    EXPECT_TRUE(WhiteNear(35, 34)) << "half size at half pressure";
    EXPECT_TRUE(WhiteNear(30, 30));
    EXPECT_FALSE(WhiteNear(40, 34));

    // A matrix turns the outline: 90 degrees about z sends (10, 0) to (0, 10).
    const float turn[16] = {0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    tool.MouseState = 1;
    Clear(0, 0, 0);
    float m[16];
    std::memcpy(m, turn, sizeof m);
    tool.DrawBrushShape(&Viewport, Centre(30), Centre(34), m);
    EXPECT_TRUE(WhiteNear(30, 44) || WhiteNear(30, 24)) << "turned a quarter";
    EXPECT_FALSE(WhiteNear(40, 34));
}

// Any pixel of the row (y) or column (x) span that is not black.
bool LitAlongRow(int y, int x0, int x1)
{
    for (int x = x0; x <= x1; ++x) {
        unsigned char p[4] = {};
        glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
        if (p[0] || p[1] || p[2]) return true;
    }
    return false;
}
bool LitAlongColumn(int x, int y0, int y1)
{
    for (int y = y0; y <= y1; ++y)
        if (LitAlongRow(y, x, x)) return true;
    return false;
}

TEST_F(ToolGL, MotionGuidesFollowTheDirectionSwitches)
{
    TCursorTool tool;
    tool.OnMouse(nullptr, nullptr, 2, 0, Edge(16), Edge(32));
    Clear(0, 0, 0);
    tool.DrawInitialCrossHairs(nullptr, &Viewport);
    EXPECT_TRUE(LitAlongRow(32, 20, 25) || LitAlongRow(31, 20, 25)) << "an arm to the right";
    EXPECT_FALSE(LitAlongRow(32, 28, 40) || LitAlongRow(31, 28, 40)) << "arms reach 10 pixels";
    EXPECT_FALSE(glIsEnabled(GL_BLEND));

    tool.DirHoriz = true;
    tool.DirVert = false;
    Clear(0, 0, 0);
    tool.DrawHorizVertMotion(nullptr, &Viewport, Edge(48), Edge(56));
    EXPECT_TRUE(LitAlongRow(32, 30, 46) || LitAlongRow(31, 30, 46)) << "the horizontal travel";
    EXPECT_FALSE(LitAlongColumn(16, 45, 60) || LitAlongColumn(15, 45, 60)) << "no vertical line";
    EXPECT_FALSE(glIsEnabled(GL_LINE_STIPPLE));

    tool.DirVert = true;
    Clear(0, 0, 0);
    tool.DrawHorizVertMotion(nullptr, &Viewport, Edge(48), Edge(56));
    EXPECT_TRUE(LitAlongColumn(16, 45, 54) || LitAlongColumn(15, 45, 54)) << "the vertical travel";

    // Travel 0.25 up: squares of half side 0.5, 0.9, 1.3 (off screen) ... around the press point.
    Clear(0, 0, 0);
    tool.DrawDepthMotionViaConcentricBoxes(nullptr, &Viewport, Edge(16), Edge(32) + 0.25f);
    EXPECT_TRUE(LitAlongColumn(32, 30, 34) || LitAlongColumn(31, 30, 34)) << "the right side of the 0.5 square";
    EXPECT_FALSE(LitAlongColumn(26, 30, 34)) << "between the squares and the cross";
}

class TPathBrush : public TKSN_Brush {};

TEST_F(ToolGL, RoundAndRectangularGuides)
{
    TPathBrush brush;
    Clear(0.5f, 0.5f, 0.5f);
    const std::array<int, 3> grey = Pixel(32, 32);
    brush.DrawRoundGuide(nullptr, &Viewport, 0.0f, 0.0f, 0.5f, 0.25f);
    EXPECT_TRUE(WhiteNear(48, 32)) << "white on the ellipse";
    EXPECT_TRUE(WhiteNear(32, 40));
    EXPECT_EQ(Pixel(32, 32), grey) << "the inside stays";
    bool blackOutside = false;
    for (int x = 48; x <= 51; ++x) blackOutside |= Pixel(x, 32) == std::array<int, 3>{0, 0, 0};
    EXPECT_TRUE(blackOutside) << "a black ring a pixel outside";

    Clear(0.5f, 0.5f, 0.5f);
    brush.DrawRectangularGuide(nullptr, &Viewport, 0.0f, 0.0f, 0.5f, 0.25f);
    EXPECT_TRUE(WhiteNear(48, 36));
    EXPECT_TRUE(WhiteNear(40, 40));
    EXPECT_EQ(Pixel(32, 32), grey);
}

TEST_F(ToolGL, ThePathJoinsThePointsAndItsOutlineShowsTheThickness)
{
    TPathBrush brush;
    Clear(0, 0, 0);
    brush.DrawPath(&Viewport, 0.5f, 0.0f, 0.2f, false, true, 0);
    EXPECT_FALSE(WhiteNear(24, 32)) << "no points: nothing drawn";

    brush.Points->Add(new TKSN_Brush_Point(-0.5f, 0.0f));
    brush.Points->Add(new TKSN_Brush_Point(0.0f, 0.0f));
    struct Case {
        float thickness;
        bool outline;
    } cases[] = {{0.2f, true}, {0.0001f, false}, {0.0f, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.thickness);
        Clear(0, 0, 0);
        brush.DrawPath(&Viewport, 0.5f, 0.0f, c.thickness, false, false, 0);
        EXPECT_TRUE(WhiteNear(24, 32)) << "between the points";
        EXPECT_TRUE(WhiteNear(40, 32)) << "from the last point to the mouse";
        EXPECT_EQ(WhiteNear(24, 35), c.outline) << "the outline 0.1 above the path";
        EXPECT_FALSE(WhiteNear(24, 40));
    }
}

} // namespace
