// Image files through wxImage and the two resamplers.
#include "QORImage.h"

#include "KsnTempFolder.h"
#include "OS.h"
#include "QORMemory.h"

#include <gtest/gtest.h>

#include <fstream>
#include <wx/image.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Answers every box with OK and keeps what it was shown.
struct TRecordingDialogs : TOSDialogProvider {
    struct Box {
        TOSBoxKind kind;
        std::string title, text;
    };
    std::vector<Box> boxes;
    TOSBoxAnswer ShowBox(TOSBoxKind kind, const char* title, const char* text, bool) override
    {
        boxes.push_back({kind, title, text});
        return TOSBoxAnswer::Ok;
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&dialogs);
        ASSERT_TRUE(temp.IsOpen());
        folder = temp.Folder;
    }
    void TearDown() override { OS.SetDialogProvider(nullptr); }
    std::string PathOf(const std::string& name) const { return (folder / name).string(); }

    TRecordingDialogs dialogs;
    TTempFolder temp{"qorimage_"};   // a folder of its own, whatever else runs on the machine
    fs::path folder;
};

// Distinct bytes per pixel, row and channel, so that flips and swaps show.
std::vector<unsigned char> Pattern(int width, int height, int depth, int seed = 0)
{
    std::vector<unsigned char> pixels(size_t(width) * size_t(height) * size_t(depth));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (unsigned char)((i * 37 + size_t(seed) * 11 + i / 7) & 0xFF);
    return pixels;
}

// Loads with the usual arguments; the buffer is copied out and freed.
struct TLoaded {
    bool ok = false;
    int width = -7, height = -9;
    float aspect = -1.0f;
    std::vector<unsigned char> pixels;
};
TLoaded Load(const std::string& path, bool rgbOnly, bool powerOfTwo)
{
    TLoaded r;
    unsigned char* pixels = nullptr;
    r.ok = GetMapFromFile(path.c_str(), &pixels, &r.width, &r.height, false, &r.aspect, true, rgbOnly, powerOfTwo);
    if (r.ok) {
        r.pixels.assign(pixels, pixels + size_t(r.width) * size_t(r.height) * (rgbOnly ? 3 : 4));
        QORfree(pixels, 0);
    }
    return r;
}

} // namespace

TEST_F(ImageTest, SaveThenLoadKeepsRowsAndBytes)
{
    struct Case {
        const char* file;
        bool withAlpha;
        bool exact; // lossless format
    };
    const Case cases[] = {
        {"a.png", true, true}, {"b.png", false, true}, {"c.bmp", false, true},
        {"d.tif", true, true}, {"e.tga", false, true}, {"f.jpg", false, false},
    };
    const int width = 7, height = 5; // odd row length: no padding may sneak in
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const int depth = c.withAlpha ? 4 : 3;
        std::vector<unsigned char> source = Pattern(width, height, depth);
        if (!c.exact) // JPEG: flat rows, so only the row order is under test
            for (int row = 0; row < height; ++row)
                for (int i = 0; i < width * depth; ++i) source[size_t(row * width * depth + i)] = (unsigned char)(40 * row);
        const std::string path = PathOf(c.file);
        ASSERT_TRUE(SaveMapToFile(path.c_str(), source.data(), width, height, c.withAlpha));

        TLoaded loaded = Load(path, !c.withAlpha, false);
        ASSERT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.width, width);
        EXPECT_EQ(loaded.height, height);
        ASSERT_EQ(loaded.pixels.size(), source.size());
        if (c.exact) {
            EXPECT_EQ(loaded.pixels, source);
        } else {
            for (size_t i = 0; i < source.size(); ++i) ASSERT_NEAR(loaded.pixels[i], source[i], 6) << i;
        }

        // Row 0 of the buffer is the bottom row of the picture in the file.
        wxImage file;
        ASSERT_TRUE(file.LoadFile(wxString::FromUTF8(path.c_str())));
        const unsigned char* bottomRow = file.GetData() + size_t(height - 1) * size_t(width) * 3;
        for (int x = 0; x < width; ++x)
            for (int ch = 0; ch < 3; ++ch) ASSERT_NEAR(bottomRow[x * 3 + ch], source[size_t(x * depth + ch)], c.exact ? 0 : 6);
    }
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ImageTest, LoadedSizesRoundAndClamp)
{
    struct Case {
        int width, height;
        bool powerOfTwo;
        int expectedWidth, expectedHeight;
        float aspect;
    };
    const Case cases[] = {
        {300, 200, true, 512, 256, 2.0f},
        {300, 200, false, 300, 200, 1.5f},
        {1, 1, false, 2, 2, 1.0f},       // below the 2-pixel minimum
        {30000, 2, false, 20000, 2, 10000.0f}, // above the 20,000-pixel maximum
        {33, 64, true, 64, 64, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        std::vector<unsigned char> source(size_t(c.width) * size_t(c.height) * 4, 200);
        const std::string path = PathOf("size.png");
        ASSERT_TRUE(SaveMapToFile(path.c_str(), source.data(), c.width, c.height, true));
        TLoaded loaded = Load(path, false, c.powerOfTwo);
        ASSERT_TRUE(loaded.ok);
        EXPECT_EQ(loaded.width, c.expectedWidth);
        EXPECT_EQ(loaded.height, c.expectedHeight);
        EXPECT_FLOAT_EQ(loaded.aspect, c.aspect);
        // A flat image stays flat through the resampling.
        for (unsigned char byte : loaded.pixels) ASSERT_EQ(byte, 200);
    }
}

TEST_F(ImageTest, ChannelsFollowRgbOnlyAndAlpha)
{
    const int width = 3, height = 2;
    std::vector<unsigned char> rgba = Pattern(width, height, 4, 3);
    const std::string withAlpha = PathOf("alpha.png");
    ASSERT_TRUE(SaveMapToFile(withAlpha.c_str(), rgba.data(), width, height, true));
    TLoaded rgb = Load(withAlpha, true, false);
    ASSERT_TRUE(rgb.ok);
    for (int i = 0; i < width * height; ++i)
        for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(rgb.pixels[size_t(i * 3 + ch)], rgba[size_t(i * 4 + ch)]);

    std::vector<unsigned char> plain = Pattern(width, height, 3, 5);
    const std::string noAlpha = PathOf("plain.bmp");
    ASSERT_TRUE(SaveMapToFile(noAlpha.c_str(), plain.data(), width, height, false));
    TLoaded widened = Load(noAlpha, false, false);
    ASSERT_TRUE(widened.ok);
    for (int i = 0; i < width * height; ++i) {
        for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(widened.pixels[size_t(i * 4 + ch)], plain[size_t(i * 3 + ch)]);
        ASSERT_EQ(widened.pixels[size_t(i * 4 + 3)], 255);
    }
}

TEST_F(ImageTest, MaskColourBecomesZeroAlpha)
{
    // A paletted picture with a transparent colour, top row first:
    //   row 0 (top):    red  none red
    //   row 1 (bottom): none blue none
    const char* xpm = "/* XPM */\n"
                      "static const char *m[] = {\n"
                      "\"3 2 3 1\",\n"
                      "\"r c #FF0000\",\n"
                      "\"b c #0000FF\",\n"
                      "\". c None\",\n"
                      "\"r.r\",\n"
                      "\".b.\"};\n";
    const std::string path = PathOf("mask.xpm");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(xpm, f);
    std::fclose(f);

    TLoaded loaded = Load(path, false, false);
    ASSERT_TRUE(loaded.ok);
    ASSERT_EQ(loaded.width, 3);
    ASSERT_EQ(loaded.height, 2);
    const unsigned char alpha[] = {0, 255, 0, 255, 0, 255}; // buffer row 0 = picture's bottom row
    for (int i = 0; i < 6; ++i) EXPECT_EQ(loaded.pixels[size_t(i * 4 + 3)], alpha[i]) << i;
    EXPECT_EQ(loaded.pixels[4 * 1 + 2], 255); // the blue pixel
    EXPECT_EQ(loaded.pixels[4 * 3 + 0], 255); // the red pixel above the left corner
}

TEST_F(ImageTest, FailedLoadLeavesOutputsAndShowsNothing)
{
    const std::string garbage = PathOf("garbage.png");
    FILE* f = std::fopen(garbage.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("this is not an image", f);
    std::fclose(f);

    for (const std::string& path : {PathOf("missing.png"), garbage}) {
        SCOPED_TRACE(path);
        unsigned char marker = 0;
        unsigned char* pixels = &marker;
        int width = 30, height = 20;
        float aspect = 0.0f;
        EXPECT_FALSE(GetMapFromFile(path.c_str(), &pixels, &width, &height, false, &aspect, false, false, true));
        EXPECT_EQ(pixels, &marker);
        EXPECT_EQ(width, 30);
        EXPECT_EQ(height, 20);
        EXPECT_FLOAT_EQ(aspect, 1.5f); // from the sizes as they stand after the call
    }
    unsigned char pixel[12] = {};
    EXPECT_FALSE(SaveMapToFile(PathOf("unknown.xyz123").c_str(), pixel, 2, 2, false));
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ImageTest, AbsurdHeadersAreUnreadableFilesNotToolkitBoxes)
{
    // Files whose headers promise what cannot be: wxImage trips its own
    // assertion on some of them; the load must simply fail.
    struct Case { const char* name; std::string bytes; };
    const Case cases[] = {
        {"huge.ppm", "P6\n99999 99999\n255\n"},
        {"empty.ppm", "P6\n0 0\n255\n"},
        {"zero.bmp", std::string("BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0", 18) + std::string(8, '\0') +
                         std::string("\x01\0\x18\0", 4) + std::string(24, '\0')},
    };
    static std::vector<std::string> logged;
    logged.clear();
    OS.AssignOnDebugMessage([](char* text) { logged.push_back(text); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = PathOf(c.name);
        {
            std::ofstream out(path, std::ios::binary);
            out.write(c.bytes.data(), std::streamsize(c.bytes.size()));
        }
        unsigned char* pixels = nullptr;
        int width = 5, height = 6;
        EXPECT_FALSE(GetMapFromFile(path.c_str(), &pixels, &width, &height, false, nullptr, false, true, false));
        EXPECT_FALSE(GetMapFromFileAtItsSize(path.c_str(), &pixels, &width, &height, true));
        EXPECT_EQ(pixels, nullptr);
        EXPECT_EQ(width, 5);
    }
    OS.AssignOnDebugMessage(nullptr);
    EXPECT_TRUE(dialogs.boxes.empty());
    ASSERT_FALSE(logged.empty()) << "the toolkit's assertion reaches the debug log";
    EXPECT_NE(logged[0].find("IsOk()"), std::string::npos) << logged[0];
}

TEST_F(ImageTest, UnsupportedDepthIsReportedAndWritesNothing)
{
    using TResize = bool (*)(unsigned char*, int, int, const unsigned char*, int, int, int);
    for (TResize resize : {TResize(ResizeImage), TResize(PixelResizeImage)}) {
        dialogs.boxes.clear();
        std::vector<unsigned char> src(8, 9), dst(8, 77);
        EXPECT_FALSE(resize(dst.data(), 2, 2, src.data(), 2, 2, 2));
        EXPECT_EQ(dst, std::vector<unsigned char>(8, 77));
        ASSERT_EQ(dialogs.boxes.size(), 1u);
        EXPECT_EQ(dialogs.boxes[0].kind, TOSBoxKind::Error);
        EXPECT_EQ(dialogs.boxes[0].text, "The color depth 2 is not supported by ResizeImage()");
    }
}

TEST(ImageResize, SameSizeReproducesSource)
{
    // 22 and 23 are sizes where j / size * size falls just below j in floats.
    const int sizes[][2] = {{22, 23}, {37, 5}, {1, 1}, {64, 64}};
    for (int depth : {1, 3, 4}) {
        for (const auto& size : sizes) {
            SCOPED_TRACE("depth " + std::to_string(depth) + ", " + std::to_string(size[0]) + "x" +
                         std::to_string(size[1]));
            std::vector<unsigned char> src = Pattern(size[0], size[1], depth, depth);
            std::vector<unsigned char> bilinear(src.size()), nearest(src.size());
            ASSERT_TRUE(ResizeImage(bilinear.data(), size[0], size[1], src.data(), size[0], size[1], depth));
            ASSERT_TRUE(PixelResizeImage(nearest.data(), size[0], size[1], src.data(), size[0], size[1], depth));
            EXPECT_EQ(bilinear, src);
            EXPECT_EQ(nearest, src);
        }
    }
}

TEST(ImageResize, SamplesFollowTheBilinearRule)
{
    // Grey 2 x 2: bottom row 0, 100; top row 200, 40.
    const unsigned char grey[] = {0, 100, 200, 40};
    struct Case {
        float u, v;
        int expected;
    };
    const Case cases[] = {
        {0.0f, 0.0f, 0},    {0.25f, 0.0f, 50},  {0.0f, 0.25f, 100}, {0.25f, 0.25f, 85}, // (50*.5 + 120*.5)
        {1.0f, 1.0f, 40},   {-3.0f, 0.0f, 0},   {5.0f, 0.0f, 100},  {0.125f, 0.0f, 25},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.u) + "," + std::to_string(c.v));
        unsigned char g = 0;
        GetColorFromMap_uchar_Greyscale(&g, grey, 2, 2, c.u, c.v);
        EXPECT_EQ(g, c.expected);
        // The RGB sampler applies the same rule to each channel.
        unsigned char rgb[12], out[3];
        for (int i = 0; i < 4; ++i) rgb[i * 3] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = grey[i];
        rgb[1] = 255; // green of the first pixel differs
        GetColorFromMap_uchar_RGB(out, rgb, 2, 2, c.u, c.v);
        EXPECT_EQ(out[0], c.expected);
        EXPECT_EQ(out[2], c.expected);
    }

    // Up-sampling one row of 0, 100 to four: positions 0, 0.5, 1, 1.5 (clamped).
    const unsigned char row[] = {0, 100};
    unsigned char up[4];
    ASSERT_TRUE(ResizeImage(up, 4, 1, row, 2, 1, 1));
    EXPECT_EQ(std::vector<unsigned char>(up, up + 4), (std::vector<unsigned char>{0, 50, 100, 100}));
}

TEST(ImageResize, NearestTakesEveryOtherColumnWhenHalving)
{
    // RGBA, 4 x 2, each pixel's bytes = its column and row.
    std::vector<unsigned char> src;
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 4; ++col) src.insert(src.end(), {(unsigned char)col, (unsigned char)row, 7, 8});
    std::vector<unsigned char> dst(2 * 2 * 4);
    ASSERT_TRUE(PixelResizeImage(dst.data(), 2, 2, src.data(), 4, 2, 4));
    EXPECT_EQ(dst, (std::vector<unsigned char>{0, 0, 7, 8, 2, 0, 7, 8, 0, 1, 7, 8, 2, 1, 7, 8}));

    // Growing repeats rows and columns; the last row is never passed.
    std::vector<unsigned char> grown(6 * 3);
    const unsigned char two[] = {1, 2, 3, 4, 5, 6}; // 2 x 1, RGB
    ASSERT_TRUE(PixelResizeImage(grown.data(), 3, 2, two, 2, 1, 3));
    EXPECT_EQ(grown, (std::vector<unsigned char>{1, 2, 3, 1, 2, 3, 4, 5, 6, 1, 2, 3, 1, 2, 3, 4, 5, 6}));
}

TEST(ImageResize, EmptySourceIsRefused)
{
    unsigned char dst[4] = {5, 5, 5, 5};
    EXPECT_FALSE(ResizeImage(dst, 2, 2, nullptr, 2, 2, 1));
    unsigned char src[1] = {0};
    EXPECT_FALSE(PixelResizeImage(dst, 2, 2, src, 0, 1, 1));
    EXPECT_EQ(dst[0], 5);
}
