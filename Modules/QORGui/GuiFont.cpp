#include "GuiFont.h"

#include "QORString.h"

#include <algorithm>
#include <cstring>

// Constant-initialised (the atlas size of both fonts), so other files'
// static initialisers already see the Times-like font.
int32_t Font_ImageWidth = 128;
int32_t Font_ImageHeight = 128;
int32_t (*Font_Chars)[4] = TimesNewRoman_9_Chars;
unsigned char* Font_Data = TimesNewRoman_9_Data;
float FontScale = 1.0f;
uint32_t QORglut_Font_Texture = 0;
bool QORglut_glFont_FontTextureBound = false;

void QORglutWigits_SetFontToArial()
{
    Font_ImageWidth = Arial9_Font_ImageWidth;
    Font_ImageHeight = Arial9_Font_ImageHeight;
    Font_Chars = Arial9_Font_Chars;
    Font_Data = Arial9_Font_Data;
}

void QORglutWigits_SetFontToTimes()
{
    Font_ImageWidth = TimesNewRoman_9_ImageWidth;
    Font_ImageHeight = TimesNewRoman_9_ImageHeight;
    Font_Chars = TimesNewRoman_9_Chars;
    Font_Data = TimesNewRoman_9_Data;
}

int QORGui_MeasureText(const char* text)
{
    if (!text) return 0;
    int w = 0;
    bool inTag = false, closing = false, bold = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned char c = *p;
        if (c >= 128) continue;
        if (c == '[') {
            inTag = true;
            closing = false;
        } else if (c == ']') {
            inTag = false;
        } else if (inTag) {
            if (c == '/') closing = true;
            else if (c == 'b') bold = !closing;
        } else if (c == '\t') {
            w += 4 * Font_Chars[' '][2];
        } else {
            w += Font_Chars[c][2];
            // Bold "-" and "_" are thickened in place; other bold glyphs are doubled one pixel right.
            if (bold && c != '-' && c != '_') w += 1;
        }
    }
    return w;
}

int GetWordFromString(const char* text, char* word, int n, int wordSize)
{
    if (!text || !word || wordSize < 1) return 0;
    auto isSeparator = [](char c) { return c == '\n' || CharIsWhitespace(c); };
    size_t len = std::strlen(text);
    size_t pos = 0, start = 0;
    bool afterNewline = false;
    int passed = 0;
    if (n >= 1 && len > 0) {
        while (pos < len && passed < n) {
            if (isSeparator(text[pos])) {
                ++passed;
                start = pos + 1;
                afterNewline = text[pos] == '\n';
            }
            ++pos;
        }
        if (passed < n || pos >= len) {
            // The whole text was consumed: there is no word n. A word that
            // would start exactly at the end is empty, hence absent too.
            if (passed < n || start >= len) return 0;
        }
    } else if (len == 0) {
        return 0;
    }
    size_t end = start;
    while (end < len && !isSeparator(text[end])) ++end;
    size_t count = std::min(end - start, size_t(wordSize - 1));
    std::memcpy(word, text + start, count);
    word[count] = 0;
    return afterNewline ? 2 : 1;
}
