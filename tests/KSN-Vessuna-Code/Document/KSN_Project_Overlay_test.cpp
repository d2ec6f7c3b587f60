// The paint overlay and brush footprint of the current viewport, the
// overlay's growth and mirroring, and the two triangle scans of painting
// (overdraw masks and the simplified brush outline).
#include "KSN_Overdraw.h"
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_ToolKinds.h"
#include "QORImage.h"
#include "QORMemory.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>

namespace {

using namespace ksn_edit_test;

// [Triangle scans] ----------------------------------------------------------------

TEST(PaintTriangleScans, AZeroAreaTriangleMarksNothingInEitherScan)
{
    const int w = 8, h = 8;
    struct Case {
        const char* Why;
        float A[2], B[2], C[2];
    };
    const Case cases[] = {
        {"three corners on a diagonal", {0, 0}, {4, 4}, {8, 8}},
        {"two corners equal", {1, 1}, {1, 1}, {6, 2}},
        {"all corners equal", {3.5f, 3.5f}, {3.5f, 3.5f}, {3.5f, 3.5f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        std::vector<unsigned char> overdraw(w * h, 0), simplified(w * h, 0);
        RasterizeTriangle_OverdrawBuffer(c.A, c.B, c.C, w, h, overdraw.data(), 1);
        RasterizeTriangle_For_Simplified_Brush(simplified.data(), c.A, c.B, c.C, w, w, h);
        EXPECT_EQ(overdraw, std::vector<unsigned char>(w * h, 0));
        EXPECT_EQ(simplified, std::vector<unsigned char>(w * h, 0));
    }
}

TEST(PaintTriangleScans, SimplifiedFillIsWidenedByTwoAndStopsAtTheImageEnd)
{
    const int w = 6, h = 3;
    // One pixel centre inside: (1, 1) gives bytes 1..3 of row 1.
    std::vector<unsigned char> image(w * h + 4, 0);
    const float a[2] = {1.2f, 1.2f}, b[2] = {1.9f, 1.2f}, c[2] = {1.2f, 1.9f};
    RasterizeTriangle_For_Simplified_Brush(image.data(), a, b, c, w, w, h);
    for (int x = 0; x < w; ++x) EXPECT_EQ(image[size_t(w + x)], x >= 1 && x <= 3 ? 255 : 0) << x;

    // The last pixel of the image: nothing is written past its end.
    std::fill(image.begin(), image.end(), 0);
    const float d[2] = {5.2f, 2.2f}, e[2] = {5.9f, 2.2f}, f[2] = {5.2f, 2.9f};
    RasterizeTriangle_For_Simplified_Brush(image.data(), d, e, f, w, w, h);
    EXPECT_EQ(image[size_t(w * h - 1)], 255);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(image[size_t(w * h + k)], 0) << "guard byte " << k;
}

// [Footprint] ---------------------------------------------------------------------

class OverlayTest : public ProjectEditFixture {
protected:
    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        View()->Resize(0, 0, 200, 100);
    }
    TKSN_Viewport* View() { return App->viewports[0]; }

    // A grey shape file of w x h whose pixel (x, y) (row 0 at the bottom) is grey(x, y).
    std::string WriteShape(const char* name, int w, int h, const std::function<int(int, int)>& grey)
    {
        std::vector<unsigned char> rgb(size_t(w * h * 3));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) rgb[size_t((y * w + x) * 3 + c)] = static_cast<unsigned char>(grey(x, y));
        const std::string path = (Root / name).string();
        EXPECT_TRUE(SaveMapToFile(path.c_str(), rgb.data(), w, h, false));
        return path;
    }
    std::vector<unsigned char> Pixels(TQORImageMap& image)
    {
        const unsigned char* p = image.GetPixels();
        return std::vector<unsigned char>(p, p + size_t(image.GetWidth() * image.GetHeight()));
    }
    std::vector<std::array<int, 2>> Outline()
    {
        std::vector<std::array<int, 2>> points;
        for (int i = 0; i < Project->BrushOutlinePointCount; ++i)
            points.push_back({Project->BrushOutlinePoints[2 * i], Project->BrushOutlinePoints[2 * i + 1]});
        return points;
    }
};

const std::vector<std::array<int, 2>> kCross = {{0, 0},  {2, 0},  {-2, 0}, {0, 2},  {0, -2}, {4, 0}, {-4, 0},
                                                {0, 4},  {0, -4}, {6, 0},  {-6, 0}, {0, 6},  {0, -6}};

TEST_F(OverlayTest, AOnePixelWideBrushGivesOneFullPixelAndTheCrossWithIt)
{
    ASSERT_TRUE(Project->LoadBrushShapeFromFile(WriteShape("ramp.png", 32, 32, [](int x, int) { return x * 8; }).c_str()));
    Project->SetupOverlayAndBrushShape(View(), 0.004f, 0.0f);
    EXPECT_EQ(Project->PaintOverlay.GetWidth(), 200);
    EXPECT_EQ(Project->PaintOverlay.GetHeight(), 100);
    ASSERT_EQ(Project->BrushStamp.GetWidth(), 1);
    for (TQORImageMap* stamp : {&Project->BrushStamp, &Project->SimplifiedBrushStamp, &Project->HardBrushStamp})
        EXPECT_EQ(stamp->GetPixels()[0], 255);
    std::vector<std::array<int, 2>> expected = kCross;
    expected.push_back({0, -(Project->BrushStamp.GetHeight() / 2)});
    EXPECT_EQ(Outline(), expected);
    EXPECT_TRUE(Project->BrushShapeValid);
}

TEST_F(OverlayTest, AShapeOfValueOneHasNoEdgeAndTheOutlineIsTheCrossOnly)
{
    ASSERT_TRUE(Project->LoadBrushShapeFromFile(WriteShape("one.png", 16, 16, [](int, int) { return 1; }).c_str()));
    Project->SetupOverlayAndBrushShape(View(), 0.1f, 1.0f);
    EXPECT_EQ(Project->BrushStamp.GetWidth(), 20);
    EXPECT_EQ(Project->BrushStamp.GetHeight(), 20) << "as tall as wide in pixels for a square shape";
    EXPECT_EQ(Outline(), kCross);
}

TEST_F(OverlayTest, FootprintResamplesTheShapeAndHardnessSaturatesIt)
{
    // A disc on black: edges all round, zero corners.
    const std::string disc = WriteShape("disc.png", 32, 16, [](int x, int y) {
        const int dx = x - 16, dy = 2 * (y - 8);
        return dx * dx + dy * dy < 100 ? 40 + x : 0;
    });
    ASSERT_TRUE(Project->LoadBrushShapeFromFile(disc.c_str()));
    struct Case {
        float Hardness;
        int Factor;   // 0: every non-zero pixel becomes 255
    };
    for (const Case& c : {Case{0.0f, 1}, Case{0.5f, 4}, Case{1.0f, 0}}) {
        SCOPED_TRACE(c.Hardness);
        Project->SetupOverlayAndBrushShape(View(), 0.2f, c.Hardness);
        ASSERT_EQ(Project->BrushStamp.GetWidth(), 40);
        ASSERT_EQ(Project->BrushStamp.GetHeight(), 20) << "halved by the shape's aspect";
        const std::vector<unsigned char> stamp = Pixels(Project->BrushStamp), hard = Pixels(Project->HardBrushStamp);
        int nonZero = 0;
        for (size_t i = 0; i < stamp.size(); ++i) {
            nonZero += stamp[i] != 0;
            const int expected = c.Factor == 0 ? (stamp[i] ? 255 : 0) : std::min(255, stamp[i] * c.Factor);
            ASSERT_EQ(hard[i], expected) << i;
        }
        EXPECT_GT(nonZero, 100);
        EXPECT_EQ(stamp[0], 0);
        EXPECT_GT(stamp[10 * 40 + 20], 40) << "the disc's middle";
        EXPECT_GT(Project->BrushOutlinePointCount, 13 + 10);
        EXPECT_EQ(Pixels(Project->PaintOverlay), std::vector<unsigned char>(200 * 100, 0));
    }
}

TEST_F(OverlayTest, ValidityFollowsBrushAndViewportSize)
{
    EXPECT_FALSE(Project->IsBrushShapeValid(0.1f, 0.5f)) << "nothing built yet";
    Project->SetupOverlayAndBrushShape(View(), 0.1f, 0.5f);
    EXPECT_TRUE(Project->IsBrushShapeValid(0.1f, 0.5f));
    EXPECT_TRUE(Project->IsBrushShapeValid(0.1005f, 0.5f));
    EXPECT_FALSE(Project->IsBrushShapeValid(0.102f, 0.5f));
    EXPECT_FALSE(Project->IsBrushShapeValid(0.1f, 0.502f));

    View()->Resize(0, 0, 300, 100);
    EXPECT_FALSE(Project->IsBrushShapeValid(0.1f, 0.5f)) << "the viewport was resized";
    EXPECT_FALSE(Project->BrushShapeValid);
    Project->SetupOverlayAndBrushShape(View(), 0.1f, 0.5f);
    EXPECT_TRUE(Project->IsBrushShapeValid(0.1f, 0.5f));
    Project->InvalidateOverlay();
    EXPECT_FALSE(Project->IsBrushShapeValid(0.1f, 0.5f));
}

TEST_F(OverlayTest, AnAbsurdBrushSizeGivesABoundedFootprint)
{
    struct Case {
        const char* Why;
        float Size;
        int Width, Height;
    };
    const Case cases[] = {
        {"far beyond the viewport", 1e6f, 800, 800},
        {"negative", -3.0f, 1, 1},
        {"not a number", std::nanf(""), 1, 1},
        {"infinite", INFINITY, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        Project->SetupOverlayAndBrushShape(View(), c.Size, 0.5f);
        EXPECT_EQ(Project->BrushStamp.GetWidth(), c.Width);
        EXPECT_EQ(Project->BrushStamp.GetHeight(), c.Height);
        EXPECT_GE(Project->BrushOutlinePointCount, 13);
    }
}

// [Growing and mirroring] -------------------------------------------------------

TEST_F(OverlayTest, MirroringFoldsByTheMaximumAndTwiceEqualsOnce)
{
    View()->Resize(0, 0, 7, 5);   // odd sides: the middle column and row stay
    Project->SetupOverlayAndBrushShape(View(), 0.5f, 0.0f);
    TQORImageMap& overlay = Project->PaintOverlay;
    unsigned char* p = overlay.GetPixels();
    for (int i = 0; i < 35; ++i) p[i] = static_cast<unsigned char>((i * 37) % 251);
    const std::vector<unsigned char> original = Pixels(overlay);
    auto* tool = MakeTool<TKSN_PaintBrush>("Mirror", nullptr, 0x4);
    Project->MirrorX = Project->MirrorY = true;

    App->currentTool = nullptr;
    Project->MirrorOverlay();
    EXPECT_EQ(Pixels(overlay), original) << "no tool, no mirroring";

    App->currentTool = tool;
    Project->MirrorOverlay();
    const std::vector<unsigned char> once = Pixels(overlay);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const int orbit = std::max({original[size_t(y * 7 + x)], original[size_t(y * 7 + 6 - x)],
                                        original[size_t((4 - y) * 7 + x)], original[size_t((4 - y) * 7 + 6 - x)]});
            EXPECT_EQ(once[size_t(y * 7 + x)], orbit) << x << "," << y;
        }
    Project->MirrorOverlay();
    EXPECT_EQ(Pixels(overlay), once);

    // Mirroring across the vertical line only.
    std::copy(original.begin(), original.end(), p);
    Project->MirrorY = false;
    Project->MirrorOverlay();
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(p[y * 7 + 3], original[size_t(y * 7 + 3)]) << "middle column";
        EXPECT_EQ(p[y * 7], std::max(original[size_t(y * 7)], original[size_t(y * 7 + 6)]));
    }
    App->currentTool = nullptr;
}

TEST_F(OverlayTest, GrowingTakesTheMaximumOverASquareClippedToTheImage)
{
    View()->Resize(0, 0, 6, 5);
    Project->SetupOverlayAndBrushShape(View(), 0.5f, 0.0f);
    unsigned char* p = Project->PaintOverlay.GetPixels();
    p[2 * 6 + 2] = 200;
    p[0] = 90;
    const std::vector<unsigned char> original = Pixels(Project->PaintOverlay);
    Project->GrowOverlayAlphaMap(0);
    EXPECT_EQ(Pixels(Project->PaintOverlay), original);
    Project->GrowOverlayAlphaMap(1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            int expected = 0;
            if (x <= 1 && y <= 1) expected = 90;
            if (std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1) expected = 200;
            EXPECT_EQ(p[y * 6 + x], expected) << x << "," << y;
        }
}

} // namespace
