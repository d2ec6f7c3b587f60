// Brush shapes and brush images on a real GL context (Xvfb with Mesa): the
// simplified outline of a shape, unreadable files, transparent pixels, flips,
// the checker, and the textures read back (shape, colourised image, preview tip).
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_ToolKinds.h"
#include "KsnTestGL.h"
#include "QORImage.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORString.h"

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <functional>

namespace {

using namespace ksn_edit_test;

std::vector<std::string>* WarningSink = nullptr;

class BrushImagesTest : public ProjectEditFixture {
protected:
    TTestGLWindow Window;
    std::vector<std::string> Warnings;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        ASSERT_TRUE(Window.Open()) << "no GLX display: run under xvfb-run";
        WarningSink = &Warnings;
        OS.AssignOnWarningMessage([](char* text) { WarningSink->push_back(text); });
        App->viewports[0]->Resize(0, 0, 200, 100);
    }
    void TearDown() override
    {
        OS.AssignOnWarningMessage(nullptr);
        WarningSink = nullptr;
        ProjectEditFixture::TearDown();
    }

    // An RGBA file of w x h; colour(x, y) with row 0 at the bottom.
    std::string WriteImage(const char* name, int w, int h, const std::function<std::array<int, 4>(int, int)>& colour)
    {
        std::vector<unsigned char> rgba(size_t(w) * size_t(h) * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::array<int, 4> c = colour(x, y);
                for (int k = 0; k < 4; ++k) rgba[(size_t(y) * size_t(w) + size_t(x)) * 4 + size_t(k)] = uint8_t(c[size_t(k)]);
            }
        const std::string path = (Root / name).string();
        EXPECT_TRUE(SaveMapToFile(path.c_str(), rgba.data(), w, h, true));
        return path;
    }
    std::string Grey(const char* name, int w, int h, int value)
    {
        return WriteImage(name, w, h, [value](int, int) { return std::array<int, 4>{value, value, value, 255}; });
    }
    // The texture's level-0 size and RGBA bytes.
    static std::vector<unsigned char> ReadTexture(uint32_t name, int& w, int& h)
    {
        glBindTexture(GL_TEXTURE_2D, name);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        std::vector<unsigned char> pixels(size_t(std::max(w, 0)) * size_t(std::max(h, 0)) * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        if (!pixels.empty()) glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        return pixels;
    }
};

TEST_F(BrushImagesTest, BlackShapeGivesACentralPatchAndWhiteCoversTheImage)
{
    ASSERT_TRUE(Project->LoadBrushShapeFromFile(Grey("black.png", 32, 32, 0).c_str()));
    TQORImageMap& simplified = Project->SimplifiedBrushShapeImage;
    ASSERT_EQ(simplified.GetWidth(), 32);
    ASSERT_EQ(simplified.GetBytesPerPixel(), 1);
    const unsigned char* s = simplified.GetPixels();
    int covered = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (!s[y * 32 + x]) continue;
            ++covered;
            EXPECT_EQ(s[y * 32 + x], 255);
            EXPECT_LE(std::hypot(x - 16.0, y - 16.0), 4.0) << x << "," << y << " lies outside the patch";
        }
    EXPECT_GT(covered, 4);
    EXPECT_EQ(s[16 * 32 + 16], 255) << "the centre";

    ASSERT_TRUE(Project->LoadBrushShapeFromFile(Grey("white.png", 32, 24, 255).c_str()));
    for (int i = 0; i < 32 * 24; ++i) ASSERT_EQ(Project->SimplifiedBrushShapeImage.GetPixels()[i], 255) << i;
    EXPECT_EQ(Project->BrushShapeImage.GetPixels()[5], 255);
}

TEST_F(BrushImagesTest, ARingShapeIsFilledAndItsTextureReadsBack)
{
    // A ring of grey (30, 60, 90): the outline fills its hole, the grey is the mean.
    const std::string ring = WriteImage("ring.png", 300, 300, [](int x, int y) {
        const double r = std::hypot(x - 150.0, y - 150.0);
        return r > 80 && r < 120 ? std::array<int, 4>{30, 60, 90, 255} : std::array<int, 4>{0, 0, 0, 255};
    });
    Project->BrushShapeValid = true;
    Warnings.clear();
    ASSERT_TRUE(Project->LoadBrushShapeFromFile(ring.c_str()));
    EXPECT_FALSE(Project->BrushShapeValid);
    EXPECT_TRUE(Warnings.empty());
    EXPECT_EQ(Project->BrushShapeImage.GetPixels()[150 * 300 + 250], 60);
    EXPECT_EQ(Project->BrushShapeImage.GetPixels()[150 * 300 + 150], 0);
    EXPECT_EQ(Project->SimplifiedBrushShapeImage.GetPixels()[150 * 300 + 150], 255) << "the hole is filled";
    EXPECT_EQ(Project->SimplifiedBrushShapeImage.GetPixels()[150 * 300 + 290], 0) << "outside the ring";

    int w = 0, h = 0;
    ASSERT_NE(Project->BrushShapeImage.GetGLTexure(), 0u);
    const std::vector<unsigned char> texture = ReadTexture(Project->BrushShapeImage.GetGLTexure(), w, h);
    EXPECT_EQ(w, 256);
    EXPECT_EQ(h, 256);
    EXPECT_EQ(texture[(128 * 256 + 128) * 4], 0) << "the hole";
    EXPECT_NEAR(texture[(128 * 256 + 213) * 4], 60, 2) << "the ring";
}

TEST_F(BrushImagesTest, AnUnreadableShapeWarnsAndKeepsTheOldShape)
{
    ASSERT_TRUE(Project->LoadBrushShapeFromFile(Grey("grey.png", 8, 8, 99).c_str()));
    const std::string broken = (Root / "broken.png").string();
    std::ofstream(broken) << "not an image";
    Warnings.clear();
    EXPECT_FALSE(Project->LoadBrushShapeFromFile(broken.c_str()));
    EXPECT_EQ(Warnings, std::vector<std::string>{QORFormat(Lang.GetText(1016), broken.c_str())});
    EXPECT_EQ(Project->BrushShapeImage.GetWidth(), 8);
    EXPECT_EQ(Project->BrushShapeImage.GetPixels()[0], 99);
    EXPECT_FALSE(Project->LoadBrushShapeFromFile((Root / "missing.png").string().c_str()));
    EXPECT_EQ(Project->BrushShapeImage.GetPixels()[0], 99);
}

TEST_F(BrushImagesTest, LoadingABrushImageBlackensTransparentPixelsAndFillsTheChecker)
{
    const std::string path = WriteImage("brush.png", 64, 32, [](int x, int) {
        return x < 8 ? std::array<int, 4>{200, 150, 100, 0} : std::array<int, 4>{200, 150, 100, 255};
    });
    EXPECT_EQ(Project->GetCurrentTextureBrushImage(), nullptr);
    ASSERT_TRUE(Project->LoadBrushFromFile(path.c_str()));
    EXPECT_EQ(CurrentBrushFileName, path);
    EXPECT_FLOAT_EQ(Project->BrushImageAspect, 2.0f);
    TKSN_TextureBrushImage* image = Project->GetCurrentTextureBrushImage();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->GetBytesPerPixel(), 4);
    const unsigned char* p = image->GetPixels();
    EXPECT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), (std::array<int, 4>{0, 0, 0, 0}));
    EXPECT_EQ((std::array<int, 4>{p[32], p[33], p[34], p[35]}), (std::array<int, 4>{200, 150, 100, 255}));
    EXPECT_EQ(Project->GetCurrentColorizeTextureBrushImageAlpha()->GetPixels()[0], 0);
    EXPECT_EQ(Project->GetCurrentColorizeTextureBrushImageRGB()->GetPixels()[3 * 8], 200);

    // The checker: 16-pixel squares, black first.
    TQORImageMap& checker = Project->RenderedTileBrushImage;
    ASSERT_EQ(checker.GetWidth(), 64);
    ASSERT_EQ(checker.GetHeight(), 32);
    const unsigned char* c = checker.GetPixels();
    const auto at = [&](int x, int y) { return c[(y * 64 + x) * 4]; };
    EXPECT_EQ(at(0, 0), 0);
    EXPECT_EQ(at(15, 15), 0);
    EXPECT_EQ(at(16, 0), 255);
    EXPECT_EQ(at(0, 16), 255);
    EXPECT_EQ(at(16, 16), 0);
    EXPECT_EQ(at(47, 31), 255);
    EXPECT_EQ(at(63, 31), 0);
    EXPECT_EQ(c[3], 255);

    // A file that cannot be read: no brush image, and the command form says so.
    const std::string broken = (Root / "broken.png").string();
    std::ofstream(broken) << "not an image";
    Warnings.clear();
    EXPECT_FALSE(Project->LoadBrushTexture(broken.c_str()));
    EXPECT_EQ(Project->GetCurrentTextureBrushImage(), nullptr);
    EXPECT_TRUE(CurrentBrushFileName.empty());
    EXPECT_EQ(Warnings, std::vector<std::string>{QORFormat(Lang.GetText(1021), broken.c_str())});
    Warnings.clear();
    EXPECT_FALSE(Project->LoadBrushTexture((Root / "missing.png").string().c_str()));
    EXPECT_TRUE(Warnings.empty()) << "a missing file is not reported";
}

TEST_F(BrushImagesTest, PixelDataBecomesAnRGBABrushAndTheGivenImageKeepsACopy)
{
    // An RGB buffer, as a grabber of opaque pixels hands over: the brush is RGBA, opaque.
    auto* rgb = static_cast<unsigned char*>(QORalloc(4 * 2 * 3, false));
    for (int i = 0; i < 8 * 3; ++i) rgb[i] = static_cast<unsigned char>(i * 10);
    TKSN_TextureBrushImage grabbed;
    grabbed.fileName = "old.png";
    ASSERT_TRUE(Project->CreateBrushFromData(rgb, 4, 2, 3, &grabbed));
    TKSN_TextureBrushImage* image = Project->GetCurrentTextureBrushImage();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->GetBytesPerPixel(), 4);
    EXPECT_FLOAT_EQ(Project->BrushImageAspect, 2.0f);
    const unsigned char* p = image->GetPixels();
    for (int i = 0; i < 8; ++i) {
        for (int c = 0; c < 3; ++c) ASSERT_EQ(p[4 * i + c], (3 * i + c) * 10) << i;
        ASSERT_EQ(p[4 * i + 3], 255) << i;
    }
    ASSERT_EQ(grabbed.GetWidth(), 4);
    EXPECT_EQ(std::vector<unsigned char>(grabbed.GetPixels(), grabbed.GetPixels() + 32),
              std::vector<unsigned char>(p, p + 32));
    EXPECT_NE(grabbed.GetPixels(), p) << "a copy, not the project's buffer";
    EXPECT_FLOAT_EQ(grabbed.aspect, 2.0f);
    EXPECT_TRUE(grabbed.fileName.empty());
    EXPECT_EQ(Project->RenderedTileBrushImage.GetWidth(), 4) << "the checker follows the new image";
    EXPECT_FALSE(Project->TiledPixelsValid);
}

TEST_F(BrushImagesTest, BothFlipsTurnTheColourisedImageAndItsTextureIsMadeAt1024)
{
    const int w = 1100, h = 3;
    const auto colour = [](int x, int y) { return std::array<int, 4>{x % 256, (x / 256) * 40, y * 70, 255}; };
    ASSERT_TRUE(Project->LoadBrushFromFile(WriteImage("wide.png", w, h, colour).c_str()));
    Project->FlipBrushTextureX = Project->FlipBrushTextureY = true;
    Project->CreateColorizedBrushImage();
    const unsigned char* p = Project->GetCurrentColorizeTextureBrushImage()->GetPixels();
    const unsigned char* rgb = Project->GetCurrentColorizeTextureBrushImageRGB()->GetPixels();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; x += 37) {
            const std::array<int, 4> turned = colour(w - 1 - x, h - 1 - y);
            for (int k = 0; k < 3; ++k) {
                ASSERT_EQ(p[(y * w + x) * 4 + k], turned[size_t(k)]) << x << "," << y;
                ASSERT_EQ(rgb[(y * w + x) * 3 + k], turned[size_t(k)]) << x << "," << y;
            }
        }
    int tw = 0, th = 0;
    ReadTexture(Project->ColorizedBrushImage.GetGLTexure(), tw, th);
    EXPECT_EQ(tw, 1024);
    EXPECT_EQ(th, 4);

    // Mixing with the primary colour scales each channel.
    Project->FlipBrushTextureX = Project->FlipBrushTextureY = false;
    Project->MixColorAndTexture = true;
    App->paintColor[0] = 0.5f;
    App->paintColor[1] = 0.0f;
    App->paintColor[2] = 1.0f;
    Project->CreateColorizedBrushImage();
    p = Project->ColorizedBrushImage.GetPixels();
    EXPECT_EQ(p[(1 * w + 201) * 4 + 0], 100);
    EXPECT_EQ(p[(1 * w + 201) * 4 + 1], 0);
    EXPECT_EQ(p[(1 * w + 201) * 4 + 2], 70);
}

TEST_F(BrushImagesTest, PreviewTipIsAPowerOfTwoUpTo512AndReadsBackAsComputed)
{
    ASSERT_TRUE(Project->LoadBrushShapeFromFile(Grey("white.png", 32, 32, 255).c_str()));
    struct Case {
        int Width, Height, TipWidth, TipHeight;
    };
    for (const Case& c : {Case{100, 50, 64, 32}, Case{2000, 2, 512, 2}, Case{2, 3, 2, 2}}) {
        SCOPED_TRACE(c.Width);
        ASSERT_TRUE(Project->LoadBrushFromFile(WriteImage("tip.png", c.Width, c.Height, [](int, int) {
            return std::array<int, 4>{10, 20, 30, 255};
        }).c_str()));
        Project->SetupOverlayAndBrushShape(App->viewports[0], 0.2f, 0.0f);
        ASSERT_NE(Project->PreviewBrushTipTexture, 0u);
        int w = 0, h = 0;
        const std::vector<unsigned char> tip = ReadTexture(Project->PreviewBrushTipTexture, w, h);
        ASSERT_EQ(w, c.TipWidth);
        ASSERT_EQ(h, c.TipHeight);
        // The stamp of a white shape is full except its first row and column
        // (sampled half a pixel before the shape): there the tip is clear.
        for (int r = 0; r < h; ++r)
            for (int col = 0; col < w; ++col) {
                const unsigned char* t = tip.data() + (size_t(r) * size_t(w) + size_t(col)) * 4;
                ASSERT_EQ((std::array<int, 3>{t[0], t[1], t[2]}), (std::array<int, 3>{10, 20, 30})) << col << "," << r;
                ASSERT_EQ(t[3], col == 0 || r == 0 ? 0 : 127) << col << "," << r;
            }
    }
}

} // namespace
