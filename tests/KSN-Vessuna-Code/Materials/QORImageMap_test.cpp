// Image maps: sizing, copying and resampling, the pixel operations, paging to
// the virtual-memory store, the texture wrapper's buffer, image file import
// and export, thumbnails, and (against a real GLX context under Xvfb) the
// preview texture and the GL texture read back from OpenGL.
#include "QORImageMap.h"

#include "OS.h"
#include "QORGL.h"
#include "QORImage.h"
#include "QORMemory.h"
#include "QORVirtualMemory.h"
#include "KsnTestGL.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"

#include <gtest/gtest.h>

#include <wx/image.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The toolkit's base answers the temporary folder and decodes images.
[[maybe_unused]] const auto* const RegisteredWx = KsnRegisterWxBase();

// Records every box; never blocks.
struct TRecordingDialogs : TBoxRecorder {
    TRecordingDialogs() : TBoxRecorder(TOSBoxAnswer::Ok) {}
};

std::vector<std::string> DebugLines;
void RecordDebug(char* text) { DebugLines.push_back(text); }

using TBytes = std::vector<unsigned char>;

TBytes PixelsOf(TQORImageMap& map)
{
    const unsigned char* p = map.GetPixels();
    return p ? TBytes(p, p + map.GetPixelBytes()) : TBytes();
}

// A map of the given size and depth holding exactly these bytes.
std::unique_ptr<TQORImageMap> MakeMap(int width, int height, int depth, const TBytes& bytes)
{
    auto map = std::make_unique<TQORImageMap>();
    map->SetDimensions(width, height, char(depth));
    if (!bytes.empty()) std::memcpy(map->GetPixels(), bytes.data(), map->GetPixelBytes());
    return map;
}

// A reproducible pattern that differs from pixel to pixel and channel to channel.
TBytes Pattern(size_t n, unsigned seed = 7)
{
    TBytes out(n);
    for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>((i * 37 + seed * 11 + (i >> 5)) & 0xFF);
    return out;
}

// Every test gets a scripted dialog provider, a debug hook and a private
// temporary folder with a started virtual-memory store.
class ImageMapTest : public ::testing::Test {
protected:
    TRecordingDialogs Dialogs;
    TTempStoreFolder Store;
    const fs::path& Folder = Store.Folder;

    void SetUp() override
    {
        OS.SetDialogProvider(&Dialogs);
        DebugLines.clear();
        OS.AssignOnDebugMessage(RecordDebug);
        ASSERT_TRUE(Store.Open("ksn_imagemap_"));
    }
    void TearDown() override
    {
        Store.Close();
        OS.AssignOnDebugMessage(nullptr);
        OS.SetDialogProvider(nullptr);
    }
    std::string PathIn(const char* name) const { return (Folder / name).string(); }
};

// [Sizing, copying, resampling] -------------------------------------------------

TEST_F(ImageMapTest, SetDimensionsKeepsPixelsOnlyWhenNothingChanges)
{
    auto map = MakeMap(8, 4, 3, Pattern(8 * 4 * 3));
    map->PushPixelsToVirtualMemory();
    map->SetDimensions(8, 4, 3);
    EXPECT_TRUE(map->ArePixelsInVirtualMemory()) << "same size and depth leaves a paged-out copy alone";
    EXPECT_EQ(PixelsOf(*map), Pattern(8 * 4 * 3));

    struct TCase { int w, h, depth; };
    for (TCase c : {TCase{8, 4, 4}, TCase{9, 4, 3}, TCase{8, 5, 3}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.depth);
        auto m = MakeMap(8, 4, 3, Pattern(8 * 4 * 3));
        m->PushPixelsToVirtualMemory();
        m->SetDimensions(c.w, c.h, char(c.depth));
        EXPECT_FALSE(m->ArePixelsInVirtualMemory());
        EXPECT_TRUE(m->AreHelpersInvalid());
        ASSERT_NE(m->GetPixels(), nullptr);
        EXPECT_EQ(m->GetPixelBytes(), size_t(c.w) * size_t(c.h) * size_t(c.depth));
    }
}

TEST_F(ImageMapTest, CopyTakesBytesAndNotifiesOnlyWhenTheShapeChanges)
{
    auto source = MakeMap(64, 64, 3, Pattern(64 * 64 * 3, 1));
    auto target = MakeMap(64, 64, 3, Pattern(64 * 64 * 3, 2));
    target->Copy(source.get());
    EXPECT_EQ(PixelsOf(*target), PixelsOf(*source));

    auto rgba = MakeMap(32, 32, 4, Pattern(32 * 32 * 4, 3));
    target->Copy(rgba.get());
    EXPECT_EQ(target->GetWidth(), 32);
    EXPECT_EQ(target->GetBytesPerPixel(), 4);
    EXPECT_TRUE(target->AreHelpersInvalid());
    EXPECT_EQ(PixelsOf(*target), PixelsOf(*rgba));

    // A map may be handed its own bytes to copy.
    const TBytes all = PixelsOf(*rgba);
    target->CreateWithPixelData(target->GetPixels(), 16, 16, 4, false);
    EXPECT_EQ(PixelsOf(*target), TBytes(all.begin(), all.begin() + 16 * 16 * 4));
}

TEST_F(ImageMapTest, ResizeResamplesOrReleasesAndKeepsTheDepth)
{
    // 2 x 2 RGB, nearest to 4 x 4: every source pixel becomes a 2 x 2 block.
    const TBytes small = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    auto map = MakeMap(2, 2, 3, small);
    map->Resize(4, 4, QORImageMap_Resize_Nearest);
    ASSERT_EQ(map->GetWidth(), 4);
    const TBytes big = PixelsOf(*map);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(big[size_t((y * 4 + x) * 3 + c)], small[size_t(((y / 2) * 2 + x / 2) * 3 + c)]);

    const unsigned char* kept = map->GetPixels();
    map->Resize(4, 4, QORImageMap_Resize_Bilinear);
    EXPECT_EQ(map->GetPixels(), kept) << "same size: nothing happens, whatever the type";

    map->Resize(0, 0, QORImageMap_Resize_Bilinear);
    EXPECT_EQ(map->GetWidth(), 0);
    EXPECT_EQ(map->GetBytesPerPixel(), 3);
    EXPECT_EQ(map->GetPixels(), nullptr);
}

TEST_F(ImageMapTest, ResizeFromNeedsEqualDepthsAndClosestPicksExactSourcePixels)
{
    auto grey = MakeMap(4, 4, 1, Pattern(16));
    auto rgb = MakeMap(2, 2, 3, TBytes(12, 9));
    rgb->ResizeFrom(grey.get(), true);
    EXPECT_EQ(PixelsOf(*rgb), TBytes(12, 9));

    auto source = MakeMap(4, 4, 4, Pattern(64));
    auto target = MakeMap(2, 2, 4, {});
    target->ResizeFrom(source.get(), true);
    const TBytes s = PixelsOf(*source), t = PixelsOf(*target);
    const int picks[4][2] = {{0, 0}, {2, 0}, {0, 2}, {2, 2}};
    for (int i = 0; i < 4; ++i)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(t[size_t(i * 4 + c)], s[size_t((picks[i][1] * 4 + picks[i][0]) * 4 + c)]) << "pixel " << i;

    unsigned char dst[8] = {};
    unsigned char src[32] = {};
    EXPECT_FALSE(ResizeImageClosest(dst, 2, 2, src, 4, 4, 2));
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0], "The color depth 2 is not supported by ResizeImageClosest()");
}

// [Pixel operations] ------------------------------------------------------------

TEST_F(ImageMapTest, ClearToColorWritesOnePixelOfTheMapsDepth)
{
    unsigned char bytes[4] = {10, 20, 30, 40};
    float floats[3] = {1.5f, -0.2f, 0.5f};
    float notANumber[3] = {std::numeric_limits<float>::quiet_NaN(), 1.0f, 0.0f};
    struct TCase {
        int depth;
        bool useFloats;
        float* colour;
        TBytes pixel;
    };
    const TCase cases[] = {
        {1, false, nullptr, {10}},
        {3, false, nullptr, {10, 20, 30}},
        {4, false, nullptr, {10, 20, 30, 40}},
        {3, true, floats, {255, 0, 127}},
        {4, true, floats, {255, 0, 127, 255}},   // opaque: the float colour has no alpha
        {3, true, notANumber, {0, 255, 0}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << (c.useFloats ? " floats" : " bytes"));
        auto map = MakeMap(5, 3, c.depth, {});
        if (c.useFloats)
            map->ClearToColor(c.colour);
        else
            map->ClearToColor(bytes);
        EXPECT_TRUE(map->AreHelpersInvalid());
        const TBytes all = PixelsOf(*map);
        for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], c.pixel[i % c.pixel.size()]) << "byte " << i;
    }
}

TEST_F(ImageMapTest, InvertAndClearToValueTouchEveryByte)
{
    auto map = MakeMap(3, 2, 4, {});
    map->ClearToValue(255);
    map->InvertColors();
    EXPECT_EQ(PixelsOf(*map), TBytes(24, 0)) << "alpha inverted too";
}

TEST_F(ImageMapTest, BlurAlphaMapDividesByNineAlsoAtTheEdges)
{
    const int w = 5, h = 4;
    TBytes bytes(size_t(w * h * 4));
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = (i % 4 == 3) ? 255 : static_cast<unsigned char>(i);
    auto map = MakeMap(w, h, 4, bytes);
    map->BlurAlphaMap(1);
    const TBytes out = PixelsOf(*map);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool edgeX = x == 0 || x == w - 1, edgeY = y == 0 || y == h - 1;
            const int expected = edgeX && edgeY ? 113 : (edgeX || edgeY ? 170 : 255);
            const size_t at = size_t((y * w + x) * 4);
            EXPECT_EQ(out[at + 3], expected) << x << "," << y;
            for (int c = 0; c < 3; ++c) EXPECT_EQ(out[at + size_t(c)], bytes[at + size_t(c)]);
        }
    }

    // Only 4-byte maps are blurred or bled; no passes change nothing.
    auto rgb = MakeMap(3, 3, 3, Pattern(27));
    rgb->BlurAlphaMap(2);
    rgb->BleedColorsInNullAlphaZone(2);
    EXPECT_EQ(PixelsOf(*rgb), Pattern(27));
    auto again = MakeMap(w, h, 4, bytes);
    again->BlurAlphaMap(0);
    EXPECT_EQ(PixelsOf(*again), bytes);
}

TEST_F(ImageMapTest, BleedGrowsColourOnePixelPerPassAndKeepsAlpha)
{
    const TBytes start = {255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0};
    struct TCase {
        const char* name;
        std::vector<int> calls;   // passes of each call
        TBytes expected;
    };
    const TCase cases[] = {
        {"one pass", {1}, {255, 0, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0}},
        {"two passes", {2}, {255, 0, 0, 255, 255, 0, 0, 0, 255, 0, 0, 0}},
        // The alpha is restored after each call, so the middle pixel no longer counts.
        {"two calls of one pass", {1, 1}, {255, 0, 0, 255, 255, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto map = MakeMap(3, 1, 4, start);
        for (int passes : c.calls) map->BleedColorsInNullAlphaZone(passes);
        EXPECT_EQ(PixelsOf(*map), c.expected);
    }

    // A partly transparent pixel moves towards its neighbours' average; an opaque one stays.
    auto map = MakeMap(2, 1, 4, {200, 100, 0, 255, 0, 0, 200, 51});
    map->BleedColorsInNullAlphaZone(1);
    // Average of both: (100, 50, 100, 153); the right pixel keeps 51/255 of its own.
    EXPECT_EQ(PixelsOf(*map), (TBytes{200, 100, 0, 255, 80, 40, 120, 51}));
}

// [Paging and the texture wrapper] ----------------------------------------------

TEST_F(ImageMapTest, PushThenPopGivesTheSameBytes)
{
    const TBytes bytes = Pattern(37 * 23 * 4, 5);
    auto map = MakeMap(37, 23, 4, bytes);
    map->PushPixelsToVirtualMemory();
    EXPECT_TRUE(map->ArePixelsInVirtualMemory());
    EXPECT_EQ(PixelsOf(*map), bytes);
    EXPECT_FALSE(map->ArePixelsInVirtualMemory());
    ASSERT_GE(DebugLines.size(), 3u);
    EXPECT_EQ(DebugLines[0], "Pushing pixels to virtual memory");
    EXPECT_EQ(DebugLines[1], "Popping pixels");
    EXPECT_EQ(DebugLines[2].rfind("Time to pop pixels = ", 0), 0u);

    TQORImageMap empty;
    empty.PushPixelsToVirtualMemory();
    EXPECT_FALSE(empty.ArePixelsInVirtualMemory());

    // Operations on a paged-out map fetch it back first.
    map->PushPixelsToVirtualMemory();
    map->InvertColors();
    EXPECT_EQ(PixelsOf(*map)[0], 255 - bytes[0]);
}

TEST_F(ImageMapTest, TextureWrapperFollowsEveryReplacedBuffer)
{
    auto map = MakeMap(4, 4, 4, Pattern(64));
    TQORglutTexture* wrapper = map->GetTextureWrapping();
    ASSERT_NE(wrapper, nullptr);
    EXPECT_EQ(map->GetTextureWrapping(), wrapper) << "made once";
    EXPECT_EQ(wrapper->GetPixels(), map->GetPixels());
    EXPECT_TRUE(wrapper->HasAlpha());

    map->PushPixelsToVirtualMemory();
    EXPECT_EQ(wrapper->GetPixels(), nullptr) << "no pointer into a buffer the store owns";
    EXPECT_EQ(wrapper->GetPixels(), map->GetPixelsNoThreadLock());

    map->SetDimensions(8, 2, 3);
    EXPECT_EQ(wrapper->GetPixels(), map->GetPixels());
    EXPECT_EQ(wrapper->GetWidth(), 8);
    EXPECT_FALSE(wrapper->HasAlpha());

    map->Resize(3, 3, QORImageMap_Resize_Bilinear);
    EXPECT_EQ(wrapper->GetPixels(), map->GetPixels());

    // A grey map is drawn from an RGB copy: the wrapper reads three bytes a pixel.
    auto grey = MakeMap(2, 1, 1, {7, 200});
    TQORglutTexture* greyWrapper = grey->GetTextureWrapping();
    ASSERT_NE(greyWrapper->GetPixels(), nullptr);
    EXPECT_EQ(TBytes(greyWrapper->GetPixels(), greyWrapper->GetPixels() + 6), (TBytes{7, 7, 7, 200, 200, 200}));
}

// [Image files] ------------------------------------------------------------------

// Writes a picture given top row first, as files store it.
void WritePicture(const std::string& path, int w, int h, const TBytes& rgbTopDown, const TBytes& alpha = {})
{
    wxImage image(w, h, false);
    std::memcpy(image.GetData(), rgbTopDown.data(), rgbTopDown.size());
    if (!alpha.empty()) {
        image.InitAlpha();
        std::memcpy(image.GetAlpha(), alpha.data(), alpha.size());
    }
    QORImage_RegisterHandlers();
    ASSERT_TRUE(image.SaveFile(wxString(path.c_str(), wxConvLibc)));
}

TEST_F(ImageMapTest, ImportTurnsRowsOverAndExportWritesTheSamePicture)
{
    const std::string red_over_blue = PathIn("rb.png");
    WritePicture(red_over_blue, 3, 2, {255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255});
    TQORImageMap map;
    ASSERT_TRUE(map.ImportFile(red_over_blue.c_str()));
    EXPECT_EQ(map.GetWidth(), 3);
    EXPECT_EQ(map.GetHeight(), 2);
    EXPECT_EQ(map.GetBytesPerPixel(), 3);
    EXPECT_EQ(PixelsOf(map), (TBytes{0, 0, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 0, 0}))
        << "row 0 is the bottom (blue) row";

    const std::string exported = PathIn("again.png");
    ASSERT_TRUE(map.ExportFile(exported.c_str()));
    TQORImageMap back;
    ASSERT_TRUE(back.ImportFile(exported.c_str()));
    EXPECT_EQ(PixelsOf(back), PixelsOf(map));

    // The alpha of a file is not read.
    const std::string withAlpha = PathIn("alpha.png");
    WritePicture(withAlpha, 2, 1, {1, 2, 3, 4, 5, 6}, {0, 128});
    ASSERT_TRUE(back.ImportFile(withAlpha.c_str()));
    EXPECT_EQ(back.GetBytesPerPixel(), 3);
    EXPECT_EQ(PixelsOf(back), (TBytes{1, 2, 3, 4, 5, 6}));
}

TEST_F(ImageMapTest, GreyscaleImportAveragesAndExportsKeepTheirChannels)
{
    const std::string path = PathIn("grey.png");
    WritePicture(path, 2, 1, {200, 100, 1, 30, 60, 91});
    TQORImageMap grey;
    ASSERT_TRUE(grey.ImportFileAsGreyscale(path.c_str()));
    EXPECT_EQ(grey.GetBytesPerPixel(), 1);
    EXPECT_EQ(PixelsOf(grey), (TBytes{100, 60}));

    struct TCase {
        int depth;
        TBytes pixels;      // one row
        TBytes rgb;         // what the file shows
        bool hasAlpha;
    };
    const TCase cases[] = {
        {1, {100, 60}, {100, 100, 100, 60, 60, 60}, false},
        {4, {1, 2, 3, 40, 4, 5, 6, 250}, {1, 2, 3, 4, 5, 6}, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth);
        auto map = MakeMap(2, 1, c.depth, c.pixels);
        const std::string out = PathIn("export.png");
        ASSERT_TRUE(map->ExportFile(out.c_str()));
        wxImage image;
        ASSERT_TRUE(image.LoadFile(wxString(out.c_str(), wxConvLibc)));
        EXPECT_EQ(TBytes(image.GetData(), image.GetData() + 6), c.rgb);
        ASSERT_EQ(image.HasAlpha(), c.hasAlpha);
        if (c.hasAlpha) {
            EXPECT_EQ(TBytes(image.GetAlpha(), image.GetAlpha() + 2), (TBytes{40, 250}));
        }
    }
}

TEST_F(ImageMapTest, UnreadableFileLeavesTheMapUnchangedAndSaysWhy)
{
    // A picture cut off after its first bytes: its format is known, its data is not there.
    const std::string whole = PathIn("whole.png"), truncated = PathIn("truncated.png");
    WritePicture(whole, 16, 16, Pattern(16 * 16 * 3));
    fs::copy_file(whole, truncated);
    fs::resize_file(truncated, 48);
    const std::string text = PathIn("notes.png");
    std::ofstream(text, std::ios::binary) << "plain words, not a picture";
    struct TCase {
        std::string path;
        const char* reason;
    };
    const TCase cases[] = {
        {PathIn("missing.png"), "does not exist"},
        {truncated, "damaged"},
        {text, "not an image format"},
        {Folder.string(), "not a file"},
    };
    for (const TCase& c : cases) {
        for (bool asGrey : {false, true}) {
            SCOPED_TRACE(c.path + (asGrey ? " (grey)" : ""));
            Dialogs.Boxes.clear();
            auto map = MakeMap(3, 2, 4, Pattern(24));
            const bool ok = asGrey ? map->ImportFileAsGreyscale(c.path.c_str()) : map->ImportFile(c.path.c_str());
            EXPECT_FALSE(ok);
            EXPECT_EQ(map->GetWidth(), 3);
            EXPECT_EQ(map->GetBytesPerPixel(), 4);
            EXPECT_EQ(PixelsOf(*map), Pattern(24));
            ASSERT_EQ(Dialogs.Boxes.size(), 1u);
            EXPECT_NE(Dialogs.Boxes[0].find(c.path), std::string::npos) << Dialogs.Boxes[0];
            EXPECT_NE(Dialogs.Boxes[0].find(c.reason), std::string::npos) << Dialogs.Boxes[0];
        }
    }

    auto map = MakeMap(2, 2, 3, Pattern(12));
    EXPECT_FALSE(map->ExportFile(PathIn("no_such_folder/out.png").c_str()));
}

// [Thumbnails] -------------------------------------------------------------------

TEST_F(ImageMapTest, ThumbnailsAreCachedBySizeAndGreyShowsAsInk)
{
    auto grey = MakeMap(3, 1, 1, {0, 255, 64});
    EXPECT_EQ(grey->GetThumbnail(32, 32, false), nullptr);
    TQORImageMap* first = grey->GetThumbnail(32, 32, true);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(grey->GetThumbnail(32, 32, true), first);
    grey->DeleteThumbnails();
    EXPECT_EQ(grey->GetThumbnail(32, 32, false), nullptr);

    TQORImageMap* same = grey->GetThumbnail(3, 1, true);
    EXPECT_EQ(same->GetBytesPerPixel(), 3);
    EXPECT_EQ(PixelsOf(*same), (TBytes{255, 255, 255, 0, 0, 0, 128, 128, 128}));

    auto rgba = MakeMap(2, 2, 4, Pattern(16));
    TQORImageMap* copy = rgba->CreateThumbnail(2, 2);
    EXPECT_EQ(copy->GetBytesPerPixel(), 4);
    EXPECT_EQ(PixelsOf(*copy), Pattern(16));
}

// [OpenGL] -----------------------------------------------------------------------

// The GL cases share one window with its context.
class ImageMapGLTest : public TWithTestGLWindow<ImageMapTest> {
protected:
    void TearDown() override
    {
        QORImageMap_AssignBackgroundGridColors(nullptr);
        ImageMapTest::TearDown();
    }
};

struct TTextureImage {
    int Width = 0, Height = 0;
    TBytes Pixels;
};

// The level-0 image of a texture as OpenGL holds it.
TTextureImage ReadTexture(GLuint name, GLenum format)
{
    TTextureImage out;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &out.Width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &out.Height);
    const size_t depth = format == GL_RGBA ? 4 : 3;
    out.Pixels.resize(size_t(out.Width) * size_t(out.Height) * depth);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, out.Pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return out;
}

TEST_F(ImageMapGLTest, GLTextureHoldsTheResampledMap)
{
    const int w = 600, h = 300;
    auto map = MakeMap(w, h, 3, Pattern(size_t(w) * h * 3, 9));
    map->MakeGLTexture(1024, 1024);
    ASSERT_NE(map->GetGLTexure(), 0u);
    const TTextureImage texture = ReadTexture(map->GetGLTexure(), GL_RGB);
    EXPECT_EQ(texture.Width, 1024);
    EXPECT_EQ(texture.Height, 512);
    TBytes expected(size_t(1024) * 512 * 3);
    ASSERT_TRUE(ResizeImage(expected.data(), 1024, 512, map->GetPixels(), w, h, 3));
    EXPECT_TRUE(texture.Pixels == expected) << "texture differs from the map resampled";

    // Made again: the old texture is let go, the new one is smaller.
    const GLuint old = map->GetGLTexure();
    map->MakeGLTexture(256, 256);
    EXPECT_FALSE(old != map->GetGLTexure() && glIsTexture(old)) << "the previous texture leaked";
    const TTextureImage small = ReadTexture(map->GetGLTexure(), GL_RGB);
    EXPECT_EQ(small.Width, 256);
    EXPECT_EQ(small.Height, 256);
    map->FreeGLTexture();
    EXPECT_EQ(map->GetGLTexure(), 0u);

    // Grey is uploaded as RGB, RGBA keeps its alpha, 2 bytes get nothing.
    auto grey = MakeMap(2, 2, 1, {10, 20, 30, 40});
    grey->MakeGLTexture(16, 16);
    EXPECT_EQ(ReadTexture(grey->GetGLTexure(), GL_RGB).Pixels, (TBytes{10, 10, 10, 20, 20, 20, 30, 30, 30, 40, 40, 40}));
    auto rgba = MakeMap(2, 1, 4, {1, 2, 3, 4, 5, 6, 7, 8});
    rgba->MakeGLTexture(16, 16);
    EXPECT_EQ(ReadTexture(rgba->GetGLTexure(), GL_RGBA).Pixels, (TBytes{1, 2, 3, 4, 5, 6, 7, 8}));
    auto two = MakeMap(4, 4, 2, Pattern(32));
    two->MakeGLTexture(16, 16);
    EXPECT_EQ(two->GetGLTexure(), 0u);
}

TEST_F(ImageMapGLTest, PreviewTextureSizesAndContents)
{
    struct TCase { int w, h, tw, th; };
    for (TCase c : {TCase{300, 1000, 256, 1024}, TCase{100, 40, 128, 64}, TCase{5000, 5000, 1024, 1024}}) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        auto map = MakeMap(c.w, c.h, 1, {});
        map->MakeThumbnail(nullptr, nullptr);
        EXPECT_EQ(map->GetPreviewTextureWidth(), c.tw);
        EXPECT_EQ(map->GetPreviewTextureHeight(), c.th);
        EXPECT_FALSE(map->AreHelpersInvalid());
        const TTextureImage texture = ReadTexture(map->GetPreviewTexture(), GL_RGB);
        EXPECT_EQ(texture.Width, c.tw);
        EXPECT_EQ(texture.Height, c.th);
        EXPECT_EQ(texture.Pixels, TBytes(texture.Pixels.size(), 255)) << "a grey map has a white preview";
    }

    // RGB: nearest samples; RGBA: over the grid colours, 4 x 4 map-pixel cells.
    auto rgb = MakeMap(2, 2, 3, Pattern(12));
    rgb->MakeThumbnail(nullptr, nullptr);
    EXPECT_EQ(ReadTexture(rgb->GetPreviewTexture(), GL_RGB).Pixels, Pattern(12));

    QORImageMap_AssignBackgroundGridColors([](unsigned char* first, unsigned char* second) {
        first[0] = first[1] = first[2] = 200;
        second[0] = second[1] = second[2] = 100;
    });
    TBytes bytes(8 * 1 * 4, 0);
    for (int x = 0; x < 8; ++x) {
        bytes[size_t(x * 4 + 0)] = 255;
        bytes[size_t(x * 4 + 3)] = x == 0 ? 255 : (x == 4 ? 128 : 0);
    }
    auto rgba = MakeMap(8, 1, 4, bytes);
    rgba->MakeThumbnail(nullptr, nullptr);
    const TTextureImage preview = ReadTexture(rgba->GetPreviewTexture(), GL_RGB);
    ASSERT_EQ(preview.Width, 8);
    // x 0..3 is an even cell (second colour, 100); x 4..7 odd (first, 200).
    EXPECT_EQ(TBytes(preview.Pixels.begin(), preview.Pixels.begin() + 3), (TBytes{255, 0, 0}));
    EXPECT_EQ(TBytes(preview.Pixels.begin() + 3, preview.Pixels.begin() + 6), (TBytes{100, 100, 100}));
    EXPECT_EQ(TBytes(preview.Pixels.begin() + 12, preview.Pixels.begin() + 15),
              (TBytes{200 + (55 * 128) / 255, 200 - (200 * 128) / 255, 200 - (200 * 128) / 255}));
    EXPECT_EQ(TBytes(preview.Pixels.begin() + 15, preview.Pixels.begin() + 18), (TBytes{200, 200, 200}));
}

TEST_F(ImageMapGLTest, PreviewIsRebuiltOnlyAfterAChangeIncludingASameSizeImport)
{
    const std::string first = PathIn("first.png"), second = PathIn("second.png");
    WritePicture(first, 2, 1, {10, 20, 30, 40, 50, 60});
    WritePicture(second, 2, 1, {90, 80, 70, 60, 50, 40});
    TQORImageMap map;
    ASSERT_TRUE(map.ImportFile(first.c_str()));
    map.MakeThumbnail(nullptr, nullptr);
    ASSERT_FALSE(map.AreHelpersInvalid());

    // A change that does not notify is not shown.
    map.InvertColors();
    map.MakeThumbnail(nullptr, nullptr);
    EXPECT_EQ(ReadTexture(map.GetPreviewTexture(), GL_RGB).Pixels, (TBytes{10, 20, 30, 40, 50, 60}));

    ASSERT_TRUE(map.ImportFile(second.c_str()));
    EXPECT_TRUE(map.AreHelpersInvalid()) << "same-size import must mark the preview stale";
    map.MakeThumbnail(nullptr, nullptr);
    EXPECT_EQ(ReadTexture(map.GetPreviewTexture(), GL_RGB).Pixels, (TBytes{90, 80, 70, 60, 50, 40}));

    // The wrapper draws the new bytes after a same-size import, too.
    TQORglutTexture* wrapper = map.GetTextureWrapping();
    wrapper->Set();
    wrapper->Remove();
    ASSERT_NE(wrapper->GetGLTexture(), 0u);
    ASSERT_TRUE(map.ImportFile(first.c_str()));
    EXPECT_EQ(wrapper->GetGLTexture(), 0u) << "the upload of the old bytes is let go";
    wrapper->Set();
    wrapper->Remove();
    EXPECT_EQ(ReadTexture(wrapper->GetGLTexture(), GL_RGB).Pixels, (TBytes{10, 20, 30, 40, 50, 60}));
}

} // namespace
