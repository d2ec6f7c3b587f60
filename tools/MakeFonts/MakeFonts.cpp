// Makes the two interface bitmap fonts from outline fonts with FreeType and
// writes them as C++ data (the atlas, the glyph table and the atlas size).
//
//   MakeFonts <sans.ttf> <serif.ttf> <out.cpp>
//
// Each font is a 128 x 128 luminance-alpha atlas holding character codes
// 0..127. A few glyph rectangles are fixed (the toolkit's layout rules and
// other code rely on them); every other glyph is packed into free room of
// the glyph rows. Glyphs are rendered monochrome, so every texel is either
// fully transparent or fully opaque, and each glyph is squeezed sideways to
// its cell width (a glyph's width is also its advance).
//
// Build-time tool: a missing font or a glyph that does not fit stops the
// build with a message saying which.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int AtlasSize = 128;

struct TRect {
    int x = 0, y = 0, w = 0, h = 0;
};

struct TFontSpec {
    const char* prefix;        // names of the generated globals
    const char* widthName;
    const char* heightName;
    const char* charsName;
    const char* dataName;
    int boxHeight;             // glyph box height, pixels
    int pixelSize;             // FreeType em size, pixels
    double xScale;             // sideways squeeze of the whole face
    int minWidth, maxWidth;    // printable glyph widths
    int placeholderWidth;      // codes 1..31
    bool placeholdersFixed;    // along the top row at 2, 6, 10 ...
    std::map<int, TRect> fixed;
};

struct TFontOut {
    std::vector<TRect> chars = std::vector<TRect>(128);
    std::vector<unsigned char> data = std::vector<unsigned char>(AtlasSize * AtlasSize * 2, 0);
};

bool Overlaps(const TRect& a, const TRect& b)
{
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

void SetTexel(TFontOut& out, int x, int y)
{
    if (x < 0 || y < 0 || x >= AtlasSize || y >= AtlasSize) return;
    unsigned char* p = &out.data[size_t(y * AtlasSize + x) * 2];
    p[0] = 255;
    p[1] = 255;
}

// Renders one character monochrome into its rectangle, squeezed sideways to
// the rectangle's width; ink outside the rectangle is dropped.
void RenderGlyph(FT_Face face, const TFontSpec& spec, int code, const TRect& r, int baseline, TFontOut& out)
{
    FT_UInt index = FT_Get_Char_Index(face, FT_ULong(code));
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING)) return;
    double advance = face->glyph->advance.x / 64.0 * spec.xScale;
    double squeeze = spec.xScale;
    if (advance > r.w && advance > 0) squeeze *= r.w / advance;
    FT_Matrix m{FT_Fixed(squeeze * 65536.0), 0, 0, 0x10000};
    FT_Set_Transform(face, &m, nullptr);
    if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) ||
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO)) {
        FT_Set_Transform(face, nullptr, nullptr);
        return;
    }
    FT_Set_Transform(face, nullptr, nullptr);
    const FT_Bitmap& bm = face->glyph->bitmap;
    double drawnAdvance = face->glyph->advance.x / 64.0;
    // Centre the ink in the cell when the cell is wider than the advance.
    int left = face->glyph->bitmap_left + std::max(0, int(std::lround((r.w - drawnAdvance) / 2)));
    if (left + int(bm.width) > r.w) left = std::max(0, r.w - int(bm.width));
    int top = baseline - face->glyph->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row)
        for (unsigned col = 0; col < bm.width; ++col) {
            const unsigned char* line = bm.buffer + long(row) * bm.pitch;
            if (!(line[col >> 3] & (0x80 >> (col & 7)))) continue;
            int gx = left + int(col), gy = top + int(row);
            if (gx < 0 || gx >= r.w || gy < 0 || gy >= r.h) continue;
            SetTexel(out, r.x + gx, r.y + gy);
        }
}

void DrawPlaceholder(const TRect& r, TFontOut& out)
{
    for (int x = r.x; x < r.x + r.w; ++x) {
        SetTexel(out, x, r.y + 2);
        SetTexel(out, x, r.y + r.h - 3);
    }
    for (int y = r.y + 2; y < r.y + r.h - 2; ++y) {
        SetTexel(out, r.x, y);
        SetTexel(out, r.x + r.w - 1, y);
    }
}

TFontOut MakeFont(FT_Library lib, const char* path, const TFontSpec& spec)
{
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path, 0, &face)) throw std::runtime_error(std::string("Cannot open font \"") + path + "\"");
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(spec.pixelSize));
    int ascent = int(std::lround(face->size->metrics.ascender / 64.0));
    int descent = int(std::lround(-face->size->metrics.descender / 64.0));
    int baseline = ascent - std::max(0, ascent + descent - spec.boxHeight + 1) / 2;

    TFontOut out;
    std::vector<TRect> used;
    std::vector<bool> placed(128, false);
    for (const auto& [code, r] : spec.fixed) {
        out.chars[size_t(code)] = r;
        placed[size_t(code)] = true;
        if (r.w > 0 && r.y + r.h <= AtlasSize) used.push_back(r);
    }
    // Widths: the outline's advance, rounded and kept within the font's range.
    std::vector<int> widths(128, 0);
    for (int c = 32; c < 128; ++c) {
        FT_UInt index = FT_Get_Char_Index(face, FT_ULong(c));
        FT_Load_Glyph(face, index, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING);
        int w = int(std::lround(face->glyph->advance.x / 64.0 * spec.xScale));
        widths[size_t(c)] = std::clamp(w, spec.minWidth, spec.maxWidth);
    }
    for (int c = 1; c < 32; ++c) widths[size_t(c)] = spec.placeholderWidth;
    if (spec.placeholdersFixed)
        for (int c = 1; c < 32; ++c) {
            TRect r{2 + 4 * (c - 1), 1, spec.placeholderWidth, spec.boxHeight};
            out.chars[size_t(c)] = r;
            placed[size_t(c)] = true;
            used.push_back(r);
        }

    // Shelf packing into rows 1, 1 + (h + 1), ..., stepping over fixed rectangles.
    for (int gap : {1, 0}) {
        std::vector<TRect> trial = used;
        std::vector<TRect> chars = out.chars;
        bool ok = true;
        int rowY = 1, x = 1;
        for (int c = 1; c < 128 && ok; ++c) {
            if (placed[size_t(c)]) continue;
            TRect r{x, rowY, widths[size_t(c)], spec.boxHeight};
            for (;;) {
                if (r.x + r.w > AtlasSize) {
                    r.y += spec.boxHeight + 1;
                    r.x = 1;
                    if (r.y + r.h > AtlasSize) {
                        ok = false;
                        break;
                    }
                }
                auto hit = std::find_if(trial.begin(), trial.end(), [&](const TRect& u) { return Overlaps(r, u); });
                if (hit == trial.end()) break;
                r.x = hit->x + hit->w + gap;
            }
            if (!ok) break;
            chars[size_t(c)] = r;
            trial.push_back(r);
            x = r.x + r.w + gap;
            rowY = r.y;
        }
        if (ok) {
            out.chars = chars;
            break;
        }
        if (gap == 0) throw std::runtime_error(std::string(spec.prefix) + ": the glyphs do not fit the atlas");
    }

    for (int c = 1; c < 128; ++c) {
        const TRect& r = out.chars[size_t(c)];
        if (c < 32)
            DrawPlaceholder(r, out);
        else if (c != 32 && c != 127)
            RenderGlyph(face, spec, c, r, baseline, out);
    }
    FT_Done_Face(face);
    return out;
}

void WriteFont(FILE* f, const TFontSpec& spec, const TFontOut& font)
{
    std::fprintf(f, "\nextern const int32_t %s = %d;\nextern const int32_t %s = %d;\n", spec.widthName, AtlasSize, spec.heightName,
                 AtlasSize);
    std::fprintf(f, "int32_t %s[128][4] = {\n", spec.charsName);
    for (int c = 0; c < 128; ++c) {
        const TRect& r = font.chars[size_t(c)];
        std::fprintf(f, "    {%d, %d, %d, %d},%s", r.x, r.y, r.w, r.h, c % 4 == 3 ? "\n" : "");
    }
    std::fprintf(f, "};\nunsigned char %s[%d] = {\n", spec.dataName, AtlasSize * AtlasSize * 2);
    for (size_t i = 0; i < font.data.size(); ++i)
        std::fprintf(f, "%d,%s", font.data[i], i % 32 == 31 ? "\n" : "");
    std::fprintf(f, "};\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: MakeFonts <sans.ttf> <serif.ttf> <out.cpp>\n");
        return 2;
    }
    TFontSpec arial{"Arial9", "Arial9_Font_ImageWidth", "Arial9_Font_ImageHeight", "Arial9_Font_Chars",
                    "Arial9_Font_Data", 13, 11, 1.0, 2, 11, 3, true,
                    {{0, {1, 1, 0, 0}},
                     {32, {1, 15, 3, 13}},
                     {'0', {87, 15, 6, 13}},
                     {'A', {84, 29, 7, 13}},
                     {'M', {51, 43, 9, 13}},
                     {'W', {18, 57, 11, 13}},
                     {'i', {15, 71, 2, 13}},
                     {'m', {31, 71, 8, 13}}}};
    TFontSpec times{"TimesNewRoman_9", "TimesNewRoman_9_ImageWidth", "TimesNewRoman_9_ImageHeight",
                    "TimesNewRoman_9_Chars", "TimesNewRoman_9_Data", 15, 12, 0.8, 2, 12, 9, false,
                    {{0, {1, 1, 0, 0}},
                     {32, {71, 33, 3, 15}},
                     {'A', {43, 65, 9, 15}},
                     {127, {8, 129, 9, 15}}}};
    try {
        FT_Library lib = nullptr;
        if (FT_Init_FreeType(&lib)) throw std::runtime_error("FreeType does not start");
        TFontOut a = MakeFont(lib, argv[1], arial);
        TFontOut t = MakeFont(lib, argv[2], times);
        FT_Done_FreeType(lib);
        FILE* f = std::fopen(argv[3], "w");
        if (!f) throw std::runtime_error(std::string("Cannot write \"") + argv[3] + "\"");
        std::fprintf(f, "// Generated by tools/MakeFonts from DejaVu Sans and DejaVu Serif; do not edit.\n"
                        "#include <cstdint>\n");
        WriteFont(f, arial, a);
        WriteFont(f, times, t);
        if (std::fclose(f) != 0) throw std::runtime_error(std::string("Cannot write \"") + argv[3] + "\"");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "MakeFonts: %s\n", e.what());
        return 1;
    }
    return 0;
}
