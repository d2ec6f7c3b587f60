// Bitmap-font text: the two built-in fonts, the active font, the measuring
// rules every widget uses, the word splitter of the hint wrapper and the
// glyph drawing.
//
// A font is a 128 x 128 luminance-alpha atlas (two bytes a texel, row 0 first)
// and a table of 128 glyph rectangles {x, y, w, h} in atlas pixels; w is also
// the glyph's advance. Texels are either fully transparent or fully opaque:
// drawing passes only alpha 1.0. The font data is generated at build time by
// tools/MakeFonts.
//
// Markup: "[b]" ... "[/b]" bold, "[u]" ... "[/u]" underlined; a tab is four
// space widths; bytes of 128 and above are neither drawn nor counted. Markup
// state never carries over from one call to the next.
//
// Measuring and drawing agree: "&" costs its glyph's width, and a bold glyph
// costs one pixel more than plain except bold "-" and "_", which are drawn
// as thick strokes within their own width.
#pragma once

#include <cstdint>

// [SECTION] Font data (generated)
extern const int32_t Arial9_Font_ImageWidth, Arial9_Font_ImageHeight;
extern int32_t Arial9_Font_Chars[128][4];
extern unsigned char Arial9_Font_Data[];
extern const int32_t TimesNewRoman_9_ImageWidth, TimesNewRoman_9_ImageHeight;
extern int32_t TimesNewRoman_9_Chars[128][4];
extern unsigned char TimesNewRoman_9_Data[];

// [SECTION] Active font
extern int32_t Font_ImageWidth, Font_ImageHeight;
extern int32_t (*Font_Chars)[4];
extern unsigned char* Font_Data;
extern float FontScale;                       // stays 1.0
extern uint32_t QORglut_Font_Texture;         // GL texture name, 0 none
extern bool QORglut_glFont_FontTextureBound;  // uploaded in the current context

// Makes the Arial-like font active (13-pixel glyph box); the next rebind uploads it.
void QORglutWigits_SetFontToArial();
// Makes the Times-like font active again (15-pixel box), the font a process starts with.
void QORglutWigits_SetFontToTimes();

// The text's width in pixels under the measuring rules; null measures 0.
int QORGui_MeasureText(const char* text);

// Copies word n (from 0) of text into word, which holds wordSize bytes; a
// longer word is cut and always terminated. Separators are space, tab and
// newline; consecutive separators give empty words. Returns 0 when there is
// no word n (word unchanged), 2 when the word follows a newline, else 1.
int GetWordFromString(const char* text, char* word, int n, int wordSize);

// [SECTION] Drawing (GL; the current context)

// Deletes the old font texture, uploads the active atlas (clamped, nearest,
// modulate) and marks it bound.
void QORglut_glFont_RebindTexture();
// Draws the text with its top-left glyph corner at (x, y + 1) in the current
// transform and colour.
void QOR_glFontDrawText(const char* text, float x, float y, float z);
