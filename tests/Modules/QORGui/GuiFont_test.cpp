// The generated bitmap fonts, the measuring rules and the word splitter.
#include "GuiFont.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

// Taken while the test program starts, before any test switches fonts.
const bool StartedWithTimes = Font_Chars == TimesNewRoman_9_Chars && Font_Data == TimesNewRoman_9_Data &&
                              Font_ImageWidth == 128 && Font_ImageHeight == 128;

struct TFont {
    const char* Name;
    int32_t (*Chars)[4];
    const unsigned char* Data;
    int BoxHeight, MaxWidth;
};
const TFont Fonts[] = {{"Arial", Arial9_Font_Chars, Arial9_Font_Data, 13, 11},
                       {"Times", TimesNewRoman_9_Chars, TimesNewRoman_9_Data, 15, 12}};

struct TFixedRow {
    int32_t (*Chars)[4];
    int Code;
    std::array<int, 4> Rect;
};

TEST(GuiFontData, FixedRowsSitAtTheirRectangles)
{
    std::vector<TFixedRow> rows = {
        {Arial9_Font_Chars, 0, {1, 1, 0, 0}},       {Arial9_Font_Chars, 32, {1, 15, 3, 13}},
        {Arial9_Font_Chars, '0', {87, 15, 6, 13}},  {Arial9_Font_Chars, 'A', {84, 29, 7, 13}},
        {Arial9_Font_Chars, 'M', {51, 43, 9, 13}},  {Arial9_Font_Chars, 'W', {18, 57, 11, 13}},
        {Arial9_Font_Chars, 'i', {15, 71, 2, 13}},  {Arial9_Font_Chars, 'm', {31, 71, 8, 13}},
        {TimesNewRoman_9_Chars, 0, {1, 1, 0, 0}},   {TimesNewRoman_9_Chars, 32, {71, 33, 3, 15}},
        {TimesNewRoman_9_Chars, 'A', {43, 65, 9, 15}}, {TimesNewRoman_9_Chars, 127, {8, 129, 9, 15}},
    };
    for (int c = 1; c < 32; ++c) rows.push_back({Arial9_Font_Chars, c, {2 + 4 * (c - 1), 1, 3, 13}});
    for (const TFixedRow& row : rows) {
        SCOPED_TRACE(row.Code);
        const int32_t* r = row.Chars[row.Code];
        EXPECT_EQ((std::array<int, 4>{r[0], r[1], r[2], r[3]}), row.Rect);
    }
    for (int c = 1; c < 32; ++c) EXPECT_EQ(TimesNewRoman_9_Chars[c][2], 9) << c;
}

TEST(GuiFontData, PrintableGlyphsAreDistinctOpaqueAndInsideTheAtlas)
{
    for (const TFont& font : Fonts) {
        SCOPED_TRACE(font.Name);
        for (int c = 1; c < 128; ++c) EXPECT_EQ(font.Chars[c][3], font.BoxHeight) << c;
        for (int c = 32; c < 128; ++c) {
            SCOPED_TRACE(c);
            const int32_t* r = font.Chars[c];
            EXPECT_GE(r[2], 2);
            EXPECT_LE(r[2], font.MaxWidth);
            if (font.Chars == TimesNewRoman_9_Chars && c == 127) continue;   // placed below the atlas
            ASSERT_GE(r[0], 0);
            ASSERT_GE(r[1], 0);
            ASSERT_LE(r[0] + r[2], 128);
            ASSERT_LE(r[1] + r[3], 128);
            for (int d = c + 1; d < 128; ++d) {
                const int32_t* q = font.Chars[d];
                if (font.Chars == TimesNewRoman_9_Chars && d == 127) continue;
                bool overlap = r[0] < q[0] + q[2] && q[0] < r[0] + r[2] && r[1] < q[1] + q[3] && q[1] < r[1] + r[3];
                EXPECT_FALSE(overlap) << "with " << d;
            }
            int opaque = 0;
            for (int y = r[1]; y < r[1] + r[3]; ++y)
                for (int x = r[0]; x < r[0] + r[2]; ++x) opaque += font.Data[(y * 128 + x) * 2 + 1] == 255;
            if (c != 32 && c != 127) {
                EXPECT_GT(opaque, 0);
            }
        }
        for (int i = 0; i < 128 * 128; ++i) {
            unsigned char a = font.Data[i * 2 + 1];
            ASSERT_TRUE(a == 0 || a == 255) << "texel " << i << " is translucent";
        }
    }
}

TEST(GuiFontData, TheProcessStartsWithTheTimesFontUntilArialIsChosen)
{
    EXPECT_TRUE(StartedWithTimes);
    QORglutWigits_SetFontToTimes();
    EXPECT_EQ(QORGui_MeasureText("A"), 9);
    QORglutWigits_SetFontToArial();
    EXPECT_EQ(QORGui_MeasureText("A"), 7);
    EXPECT_EQ(Font_Data, Arial9_Font_Data);
}

int W(char c) { return Arial9_Font_Chars[static_cast<unsigned char>(c)][2]; }

TEST(GuiFontMeasure, MarkupTabsAmpersandsAndHighBytes)
{
    QORglutWigits_SetFontToArial();
    struct TCase {
        std::string Text;
        int Expected;
    };
    const TCase cases[] = {
        {"", 0},
        {"\t", 12},
        {"[u]F[/u]ile", W('F') + W('i') + W('l') + W('e')},
        {"[b]ab[/b]", W('a') + W('b') + 2},
        {"[b][/b]", 0},
        {"a&b", W('a') + W('&') + W('b')},   // "&" is drawn, so it is measured
        {"[b]-_[/b]", W('-') + W('_')},       // thick strokes drawn within their own width
        {"a\x80\xff" "b", W('a') + W('b')},
        {"\x7f", W('\x7f')},
        {"[b]x", W('x') + 1},                 // an unclosed tag ends with the string
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(QORGui_MeasureText(c.Text.c_str()), c.Expected);
    }
    EXPECT_EQ(QORGui_MeasureText(nullptr), 0);
}

TEST(GuiFontWords, WordsAreFoundCountedAndCutToTheBuffer)
{
    const char* text = "Move the view\nRight drag";
    struct TCase {
        const char* Text;
        int N;
        int Result;
        const char* Word;
    };
    const TCase cases[] = {
        {text, 0, 1, "Move"}, {text, 1, 1, "the"},  {text, 3, 2, "Right"}, {text, 4, 1, "drag"},
        {text, 5, 0, "-"},    {"a b ", 2, 0, "-"},  {"a  b", 1, 1, ""},     {"", 0, 0, "-"},
        {"a\tb", 1, 1, "b"},  {"x", -3, 1, "x"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Text) + " #" + std::to_string(c.N));
        char word[32] = "-";
        EXPECT_EQ(GetWordFromString(c.Text, word, c.N, sizeof word), c.Result);
        EXPECT_STREQ(word, c.Word);
    }
    // A word longer than the buffer is cut and terminated, never overrun.
    std::string longWord(100, 'q');
    char small[8];
    std::fill(std::begin(small), std::end(small), '#');
    EXPECT_EQ(GetWordFromString(longWord.c_str(), small, 0, 5), 1);
    EXPECT_STREQ(small, "qqqq");
    EXPECT_EQ(small[5], '#');
}

} // namespace
