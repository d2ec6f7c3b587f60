// OpenGL helpers against a real context: a GLX window on the test display
// (Xvfb with Mesa), drawn into and read back.
#include "QORGL.h"

#include "OS.h"
#include "QORMemory.h"

#include <gtest/gtest.h>

#include "KsnTestGL.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int WindowSize = 128;

// The test display's window, made current for the whole test program;
// drawing and reading use the back buffer, which no other window can obscure.
class TGLWindow : public TTestGLWindow {
public:
    bool Open()
    {
        if (!TTestGLWindow::Open(WindowSize, WindowSize)) return false;
        glDrawBuffer(GL_BACK);
        glReadBuffer(GL_BACK);
        return true;
    }
};

TGLWindow* Window_ = nullptr;

class GLEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Window_ = new TGLWindow;
        ASSERT_TRUE(Window_->Open()) << "no GLX display: run under xvfb-run";
    }
    void TearDown() override
    {
        delete Window_;
        Window_ = nullptr;
    }
};
const auto* const Registered = ::testing::AddGlobalTestEnvironment(new GLEnvironment);

using TRGB = std::array<unsigned char, 3>;

// Window pixels, bottom-up, packed RGB.
std::vector<unsigned char> ReadRGB(int x, int y, int width, int height)
{
    std::vector<unsigned char> out(size_t(width) * size_t(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, width, height, GL_RGB, GL_UNSIGNED_BYTE, out.data());
    return out;
}
TRGB PixelAt(int x, int y)
{
    std::vector<unsigned char> p = ReadRGB(x, y, 1, 1);
    return {p[0], p[1], p[2]};
}

// Pixel-exact 2D drawing over the whole window.
void WindowPixelSpace()
{
    QORglResetState();
    glViewport(0, 0, WindowSize, WindowSize);
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, WindowSize, 0, WindowSize, -1, 1);
    glMatrixMode(GL_MODELVIEW);
}

void ClearTo(float r, float g, float b)
{
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

void Quad(int x0, int y0, int x1, int y1)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2i(x0, y0);
    glTexCoord2f(1, 0); glVertex2i(x1, y0);
    glTexCoord2f(1, 1); glVertex2i(x1, y1);
    glTexCoord2f(0, 1); glVertex2i(x0, y1);
    glEnd();
}

int WindowHeightForTests() { return WindowSize; }

// Records the texts the warning hook receives.
std::vector<std::string> Warnings;
void RecordWarning(char* text) { Warnings.emplace_back(text); }

using TTiles = TQORNewStaticList<TQOR_SubDiv_Rect_To_Power_Of_2_Node*>;
void DeleteTiles(TTiles& tiles)
{
    for (auto* t : tiles) delete t;
    tiles.Clear();
}

} // namespace

// [Display lists] -------------------------------------------------------------

TEST(GLDisplayList, InvalidateAllMakesEveryListStale)
{
    WindowPixelSpace();
    TKSN_glDisplayList red, green;
    EXPECT_FALSE(red.CallList()); // nothing compiled yet
    red.BeginCompile();
    glColor3ub(255, 0, 0);
    Quad(0, 0, 10, 10);
    red.EndCompile();
    green.BeginCompile();
    glColor3ub(0, 255, 0);
    Quad(20, 0, 30, 10);
    green.EndCompile();

    ClearTo(0, 0, 0);
    EXPECT_EQ(PixelAt(5, 5), (TRGB{0, 0, 0})) << "compiling must not draw";
    EXPECT_TRUE(red.CallList());
    EXPECT_TRUE(green.IsValid());
    EXPECT_EQ(PixelAt(5, 5), (TRGB{255, 0, 0}));

    TKSN_glDisplayList::InvalidateAll();
    ClearTo(0, 0, 0);
    EXPECT_FALSE(red.CallList());
    EXPECT_FALSE(green.IsValid());
    EXPECT_FALSE(red.CallList()); // deleted, not merely stale
    EXPECT_EQ(PixelAt(5, 5), (TRGB{0, 0, 0}));

    red.BeginCompile();
    glColor3ub(0, 0, 255);
    Quad(0, 0, 10, 10);
    red.EndCompile();
    EXPECT_TRUE(red.CallList());
    EXPECT_EQ(PixelAt(5, 5), (TRGB{0, 0, 255}));
    red.Invalidate();
    EXPECT_FALSE(red.IsValid());
}

// [State and pixels] ----------------------------------------------------------

TEST(GLState, ResetStateTurnsEverythingOff)
{
    const GLenum caps[] = {GL_TEXTURE_2D, GL_BLEND, GL_DEPTH_TEST, GL_LIGHTING, GL_CULL_FACE, GL_FOG, GL_ALPHA_TEST};
    for (GLenum cap : caps) glEnable(cap);
    glMatrixMode(GL_PROJECTION);
    glTranslatef(3, 4, 5);
    glMatrixMode(GL_TEXTURE);
    glScalef(2, 2, 2);
    glColor3f(0.2f, 0.3f, 0.4f);
    glPixelTransferf(GL_RED_SCALE, 0.5f);

    QORglResetState();
    for (GLenum cap : caps) EXPECT_FALSE(glIsEnabled(cap)) << cap;
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    for (GLenum matrix : {GL_PROJECTION_MATRIX, GL_TEXTURE_MATRIX, GL_MODELVIEW_MATRIX}) {
        float m[16];
        glGetFloatv(matrix, m);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f) << matrix << " " << i;
    }
    float colour[4], scale = 0;
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0] + colour[1] + colour[2] + colour[3], 4.0f);
    glGetFloatv(GL_RED_SCALE, &scale);
    EXPECT_EQ(scale, 1.0f);
}

TEST(GLPixels, DrawPixelsKeepsPackedRowsWhateverThePath)
{
    WindowPixelSpace();
    Warnings.clear();
    OS.AssignOnWarningMessage(RecordWarning);
    // Widths: 100 (direct), 96 at an aligned address (aligned path), 5 (RGB
    // rows of 15 bytes, direct), 8 RGBA (aligned).
    struct Case {
        int width;
        GLenum format;
    };
    for (const Case c : {Case{100, GL_RGB}, Case{96, GL_RGB}, Case{5, GL_RGB}, Case{8, GL_RGBA}}) {
        SCOPED_TRACE(c.width);
        const int height = 3, depth = c.format == GL_RGB ? 3 : 4;
        // QORalloc blocks are 8-byte aligned.
        auto* pixels = static_cast<unsigned char*>(QORalloc(size_t(c.width * height * depth)));
        for (int i = 0; i < c.width * height; ++i) {
            pixels[i * depth] = (unsigned char)(i % 251);
            pixels[i * depth + 1] = (unsigned char)(i / 251 * 40 + 1);
            pixels[i * depth + 2] = 77;
            if (depth == 4) pixels[i * depth + 3] = 255;
        }
        ClearTo(0, 0, 0);
        QORglRasterPos2i_For_DrawPixels(4, 6);
        QORglDrawPixels(c.width, height, int(c.format), GL_UNSIGNED_BYTE, pixels, false);
        std::vector<unsigned char> back = ReadRGB(4, 6, c.width, height);
        for (int i = 0; i < c.width * height; ++i)
            for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(back[size_t(i * 3 + ch)], pixels[i * depth + ch]) << i;
        EXPECT_EQ(PixelAt(3, 6), (TRGB{0, 0, 0})); // nothing left of the raster position
        QORfree(pixels);
    }
    EXPECT_TRUE(Warnings.empty());

    // Only the aligned path (width a multiple of 8 at an 8-byte aligned
    // address) refuses formats other than RGB and RGBA; the direct path draws
    // them. Grey pixels tell the two paths apart.
    struct PathCase {
        int width;
        size_t offset;   // bytes past an 8-byte aligned block
        bool aligned;
    };
    for (const PathCase c : {PathCase{16, 0, true}, PathCase{96, 0, true}, PathCase{16, 4, false},
                             PathCase{16, 1, false}, PathCase{100, 0, false}, PathCase{12, 0, false}}) {
        SCOPED_TRACE(std::to_string(c.width) + " at +" + std::to_string(c.offset));
        Warnings.clear();
        auto* block = static_cast<unsigned char*>(QORalloc(size_t(c.width) * 2 + 8));
        unsigned char* grey = block + c.offset;
        std::memset(grey, 200, size_t(c.width) * 2);
        ClearTo(0, 0, 0);
        QORglRasterPos2i_For_DrawPixels(0, 0);
        QORglDrawPixels(c.width, 2, GL_LUMINANCE, GL_UNSIGNED_BYTE, grey, false);
        if (c.aligned) {
            EXPECT_EQ(PixelAt(0, 0), (TRGB{0, 0, 0}));
            ASSERT_EQ(Warnings.size(), 1u);
            EXPECT_EQ(Warnings[0], "Only RGB and RGBA are supported by QORglDrawPixels");
        } else {
            EXPECT_EQ(PixelAt(0, 0), (TRGB{200, 200, 200}));
            EXPECT_EQ(PixelAt(c.width - 1, 1), (TRGB{200, 200, 200}));
            EXPECT_TRUE(Warnings.empty());
        }
        QORfree(block);
    }
    OS.AssignOnWarningMessage(nullptr);

    // A raster position left of the viewport still draws the part inside it.
    const unsigned char two[] = {10, 20, 30, 40, 50, 60};
    ClearTo(0, 0, 0);
    QORglRasterPos2i_For_DrawPixels(-1, 0);
    QORglDrawPixels(2, 1, GL_RGB, GL_UNSIGNED_BYTE, const_cast<unsigned char*>(two), false);
    EXPECT_EQ(PixelAt(0, 0), (TRGB{40, 50, 60}));
}

TEST(GLPixels, RasterPositionPutsTheImageWhereAsked)
{
    // A 4 x 3 image of distinct pixels, placed at window positions inside,
    // across and beyond every border of the viewport; the part inside the
    // window must land exactly at x, y and nothing else may change.
    WindowPixelSpace();
    constexpr int W = 4, H = 3;
    unsigned char image[W * H * 3];
    for (int i = 0; i < W * H; ++i) {
        image[i * 3] = (unsigned char)(10 + i);
        image[i * 3 + 1] = (unsigned char)(100 + i);
        image[i * 3 + 2] = 250;
    }
    const int positions[][2] = {{4, 6}, {0, 0}, {-1, 0}, {0, -2}, {-3, -1}, {WindowSize - 2, WindowSize - 1},
                                {WindowSize + 5, 3}};
    for (const auto& at : positions) {
        SCOPED_TRACE(std::to_string(at[0]) + "," + std::to_string(at[1]));
        ClearTo(0, 0, 0);
        QORglRasterPos2i_For_DrawPixels(at[0], at[1]);
        QORglDrawPixels(W, H, GL_RGB, GL_UNSIGNED_BYTE, image, false);
        std::vector<unsigned char> back = ReadRGB(0, 0, WindowSize, WindowSize);
        for (int y = 0; y < WindowSize; ++y)
            for (int x = 0; x < WindowSize; ++x) {
                const int ix = x - at[0], iy = y - at[1];
                const bool inside = ix >= 0 && ix < W && iy >= 0 && iy < H;
                const unsigned char* want = inside ? &image[(iy * W + ix) * 3] : nullptr;
                const size_t i = size_t(y * WindowSize + x) * 3;
                for (int ch = 0; ch < 3; ++ch)
                    ASSERT_EQ(back[i + size_t(ch)], want ? want[ch] : 0) << x << "," << y;
            }
    }
}

TEST(GLPixels, RoundingWidthPadsWithZeroPixels)
{
    unsigned char src[] = {1, 2, 3, 4, 5, 6}; // 3 x 2 grey
    unsigned char* out = nullptr;
    int width = 0, height = 0;
    GetPixelsWithWidthRoundedUpToMultipleOf8(src, 3, 2, 1, out, width, height);
    ASSERT_EQ(width, 8);
    ASSERT_EQ(height, 2);
    const unsigned char expected[] = {1, 2, 3, 0, 0, 0, 0, 0, 4, 5, 6, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(out, expected, 16), 0);
    GetPixelsWithWidthRoundedUpToMultipleOf8(src, 8, 1, 1, out, width, height);
    EXPECT_EQ(out, src);
    QORglut_Ext_Clean();
}

// [Grabs] ---------------------------------------------------------------------

TEST(GLGrab, TilesCoverTheRectangleInOrder)
{
    TTiles tiles;
    SubdivideRectToPowerOfTwo(tiles, 0, 0, 100, 60, 2048, 2048);
    const int expected[][4] = {{0, 0, 64, 32}, {64, 0, 32, 32}, {96, 0, 32, 32},
                               {0, 32, 64, 32}, {64, 32, 32, 32}, {96, 32, 32, 32}};
    ASSERT_EQ(tiles.Count(), 6);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tiles[i]->x, expected[i][0]);
        EXPECT_EQ(tiles[i]->y, expected[i][1]);
        EXPECT_EQ(tiles[i]->width, expected[i][2]);
        EXPECT_EQ(tiles[i]->height, expected[i][3]);
        EXPECT_EQ(tiles[i]->texture, 0u);
    }
    DeleteTiles(tiles);

    // Any rectangle: power-of-two tiles within the maximum, each pixel once.
    const int rects[][3] = {{3000, 40, 1024}, {33, 31, 64}, {257, 129, 128}, {1, 1, 2048}};
    for (const auto& r : rects) {
        SCOPED_TRACE(std::to_string(r[0]) + "x" + std::to_string(r[1]));
        SubdivideRectToPowerOfTwo(tiles, 0, 0, r[0], r[1], r[2], r[2]);
        std::vector<int> cover(size_t(r[0]) * size_t(r[1]), 0);
        for (auto* t : tiles) {
            EXPECT_TRUE(t->width >= 32 && t->width <= std::max(32, r[2]) && (t->width & (t->width - 1)) == 0);
            EXPECT_TRUE(t->height >= 32 && t->height <= std::max(32, r[2]) && (t->height & (t->height - 1)) == 0);
            for (int y = t->y; y < std::min(r[1], t->y + t->height); ++y)
                for (int x = t->x; x < std::min(r[0], t->x + t->width); ++x) ++cover[size_t(y) * size_t(r[0]) + size_t(x)];
        }
        for (int c : cover) ASSERT_EQ(c, 1);
        DeleteTiles(tiles);
    }
}

TEST(GLGrab, GrabAndDrawBackRestoresTheRectangleOnly)
{
    QORglut_AssignGetWindowHeight(WindowHeightForTests);
    WindowPixelSpace();
    // A distinct colour per pixel of the window.
    std::vector<unsigned char> scene(WindowSize * WindowSize * 3);
    for (int y = 0; y < WindowSize; ++y)
        for (int x = 0; x < WindowSize; ++x) {
            unsigned char* p = &scene[size_t(y * WindowSize + x) * 3];
            p[0] = (unsigned char)(x * 2);
            p[1] = (unsigned char)(y * 2);
            p[2] = (unsigned char)((x + y) & 0xFF);
        }
    QORglRasterPos2i_For_DrawPixels(0, 0);
    QORglDrawPixels(WindowSize, WindowSize, GL_RGB, GL_UNSIGNED_BYTE, scene.data(), false);

    // Rectangle 100 x 60 at x 10, 20 pixels from the top: window rows 48..107.
    TQORGrabTexture grab;
    EXPECT_EQ(grab.GetMethod(), 2);
    EXPECT_FALSE(grab.IsValid());
    grab.Draw(); // not valid: draws nothing
    grab.Get(10, 20, 100, 60);
    ASSERT_TRUE(grab.IsValid());
    ASSERT_EQ(grab.GetTiles().Count(), 6);
    std::vector<GLuint> names;
    for (auto* t : grab.GetTiles()) names.push_back(t->texture);

    QORglResetState();
    glViewport(0, 0, WindowSize, WindowSize);
    ClearTo(0, 0, 0);
    grab.Draw();
    const int bottom = WindowSize - 20 - 60;
    std::vector<unsigned char> back = ReadRGB(0, 0, WindowSize, WindowSize);
    for (int y = 0; y < WindowSize; ++y)
        for (int x = 0; x < WindowSize; ++x) {
            const bool inside = x >= 10 && x < 110 && y >= bottom && y < bottom + 60;
            const size_t i = size_t(y * WindowSize + x) * 3;
            for (int ch = 0; ch < 3; ++ch)
                ASSERT_EQ(back[i + size_t(ch)], inside ? scene[i + size_t(ch)] : 0) << x << "," << y;
        }

    // Same size: the textures are reused; another size rebuilds them.
    grab.Invalidate();
    EXPECT_FALSE(grab.IsValid());
    grab.Get(0, 0, 100, 60);
    std::vector<GLuint> again;
    for (auto* t : grab.GetTiles()) again.push_back(t->texture);
    EXPECT_EQ(again, names);
    grab.Get(0, 0, 40, 40);
    EXPECT_EQ(grab.GetTiles().Count(), 4); // 32 x 32 tiles, the outer ones cut at 40
    grab.Clean();
    EXPECT_FALSE(grab.IsValid());
    EXPECT_EQ(grab.GetTiles().Count(), 0);
}

// [Named textures] ------------------------------------------------------------

namespace {
unsigned char* NewPixels(std::initializer_list<unsigned char> bytes)
{
    auto* p = static_cast<unsigned char*>(QORalloc(bytes.size()));
    std::memcpy(p, bytes.begin(), bytes.size());
    return p;
}
} // namespace

TEST(GLTextures, LookupIgnoresCaseAndKeepsInsertionOrder)
{
    EXPECT_EQ(QORglut_Textures_GetTextureFromList("PanButton"), nullptr); // no list yet
    // Without a list the texture is dropped and its buffer freed (a leak shows
    // under the sanitizers); no list is made on the way.
    QORglut_Textures_AddToList("Orphan", NewPixels({1, 2, 3}), 1, 1, false);
    EXPECT_EQ(QORglut_Texture_List, nullptr);
    QORglut_Textures_Init();
    EXPECT_EQ(QORglut_Textures_GetTextureFromList("Orphan"), nullptr);
    ASSERT_NE(QORglut_Texture_List, nullptr);
    EXPECT_EQ(QORglut_Texture_List->Count(), 0);

    QORglut_Textures_AddToList("", NewPixels({0, 0, 0}), 1, 1, false);
    QORglut_Textures_AddToList("PanButton", NewPixels({1, 2, 3, 4}), 1, 1, true);
    QORglut_Textures_AddToList("Lock", NewPixels({1, 1, 1}), 1, 1, false);
    QORglut_Textures_AddToList("LOCK", NewPixels({2, 2, 2}), 1, 1, false);
    QORglut_Textures_AddToList("100%s%n", NewPixels({3, 3, 3}), 1, 1, false); // not a format

    TQORglutTexture* pan = QORglut_Textures_GetTextureFromList("panbutton");
    ASSERT_NE(pan, nullptr);
    EXPECT_STREQ(pan->GetName(), "PanButton");
    EXPECT_TRUE(pan->HasAlpha());
    EXPECT_EQ(pan->GetColorDepth(), 4);
    EXPECT_EQ(QORglut_Textures_GetTextureFromList("lock")->GetPixels()[0], 1); // the first of two
    EXPECT_EQ(QORglut_Textures_GetTextureFromList("Pan"), nullptr);
    EXPECT_EQ(QORglut_Textures_GetTextureFromList(""), nullptr); // an empty name never matches
    EXPECT_EQ(QORglut_Texture_List->Count(), 5);

    QORglut_Textures_Cleanup();
    EXPECT_EQ(QORglut_Texture_List, nullptr);
    EXPECT_EQ(QORglut_Textures_GetTextureFromList("PanButton"), nullptr);
}

TEST(GLTextures, UploadDrawAndReadBack)
{
    WindowPixelSpace();
    // RGBA 2 x 2, bottom row first: red, green (transparent) / blue, white.
    TQORglutTexture texture(NewPixels({255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255}), 2, 2,
                            true);
    ClearTo(0.5f, 0.5f, 0.5f);
    glColor3ub(255, 255, 255);
    texture.Set();
    EXPECT_TRUE(texture.IsSet());
    EXPECT_NE(texture.GetGLTexture(), 0u);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    Quad(0, 0, 64, 64);
    texture.Remove();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(PixelAt(10, 10), (TRGB{255, 0, 0}));
    EXPECT_EQ(PixelAt(50, 10), (TRGB{128, 128, 128})); // alpha 0: the background shows
    EXPECT_EQ(PixelAt(10, 50), (TRGB{0, 0, 255}));
    EXPECT_EQ(PixelAt(50, 50), (TRGB{255, 255, 255}));

    // Without alpha the green texel is drawn, and no blending is switched on.
    texture.ConvertToRGB();
    EXPECT_FALSE(texture.HasAlpha());
    EXPECT_FALSE(texture.GetBlend());
    EXPECT_EQ(texture.GetGLTexture(), 0u);
    ClearTo(0.5f, 0.5f, 0.5f);
    texture.Set();
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    Quad(0, 0, 64, 64);
    texture.Remove();
    EXPECT_EQ(PixelAt(50, 10), (TRGB{0, 255, 0}));
    EXPECT_EQ(PixelAt(10, 50), (TRGB{0, 0, 255}));
}

TEST(GLTextures, OddRgbRowsAndPaddingUploadIntact)
{
    WindowPixelSpace();
    // RGB 3 x 1 rows of 9 bytes: an unpack alignment of 4 would shear them.
    TQORglutTexture odd(NewPixels({255, 0, 0, 0, 255, 0, 0, 0, 255}), 3, 1, false);
    ClearTo(0, 0, 0);
    odd.Set();
    Quad(0, 0, 96, 8);
    odd.Remove();
    EXPECT_EQ(PixelAt(16, 4), (TRGB{255, 0, 0}));
    EXPECT_EQ(PixelAt(48, 4), (TRGB{0, 255, 0}));
    EXPECT_EQ(PixelAt(80, 4), (TRGB{0, 0, 255}));

    TQORglutTexture padded(NewPixels({9, 9, 9, 8, 8, 8, 7, 7, 7}), 3, 1, false);
    padded.SetPadToPowerOfTwo(true);
    padded.Set();
    GLint width = 0, height = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    padded.Remove();
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 1);

    // An external image is drawn but never freed or deleted here.
    std::vector<unsigned char> mine = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};
    {
        TQORglutTexture external;
        external.SetupWithExternalImage(mine.data(), 2, 2, 0, false);
        ClearTo(0, 0, 0);
        external.Set();
        Quad(0, 0, 64, 64);
        external.Remove();
        EXPECT_EQ(PixelAt(10, 10), (TRGB{10, 20, 30}));
        EXPECT_EQ(PixelAt(50, 50), (TRGB{100, 110, 120}));
    }
    EXPECT_EQ(mine[0], 10);
}
