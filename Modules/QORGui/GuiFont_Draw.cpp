// Glyph drawing with the active bitmap font: one textured quad per glyph,
// alpha-tested so that only the atlas's opaque texels reach the frame.
#include "GuiFont.h"

#include "GuiTheme.h"
#include "QORGL.h"

#include <GL/gl.h>

#include <algorithm>

void QORglut_glFont_RebindTexture()
{
    if (QORglut_Font_Texture) {
        GLuint old = QORglut_Font_Texture;
        QORglDeleteTextures(1, &old);
    }
    GLuint name = 0;
    QORglGenTextures(1, &name);
    QORglut_Font_Texture = name;
    QORglBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE_ALPHA, Font_ImageWidth, Font_ImageHeight, 0, GL_LUMINANCE_ALPHA,
                 GL_UNSIGNED_BYTE, Font_Data);
    QORglut_glFont_FontTextureBound = true;
}

namespace {

struct TGlyphQuad {
    float s0, t0, s1, t1;
    int w, h;
};

TGlyphQuad GlyphQuad(unsigned char c)
{
    const int32_t* r = Font_Chars[c];
    float iw = float(Font_ImageWidth), ih = float(Font_ImageHeight);
    TGlyphQuad q;
    q.s0 = (float(r[0]) + PIXEL_OFFSET_X) / iw;
    q.t0 = (float(r[1]) + PIXEL_OFFSET_Y) / ih;
    q.s1 = q.s0 + (PIXEL_OFFSET_X + float(r[2])) / iw;
    q.t1 = q.t0 + (PIXEL_OFFSET_Y + float(r[3])) / ih;
    q.w = int(FontScale * float(r[2]));
    q.h = int(FontScale * float(r[3]));
    return q;
}

void Quad(const TGlyphQuad& q, int px, int top, float z)
{
    glTexCoord2f(q.s0, q.t0);
    glVertex3f(float(px), float(top), z);
    glTexCoord2f(q.s0, q.t1);
    glVertex3f(float(px), float(top + q.h), z);
    glTexCoord2f(q.s1, q.t1);
    glVertex3f(float(px + q.w), float(top + q.h), z);
    glTexCoord2f(q.s1, q.t0);
    glVertex3f(float(px + q.w), float(top), z);
}

} // namespace

void QOR_glFontDrawText(const char* text, float x, float y, float z)
{
    if (!text) return;
    if (!QORglut_glFont_FontTextureBound) QORglut_glFont_RebindTexture();
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_EQUAL, 1.0f);
    QORglBindTexture(GL_TEXTURE_2D, QORglut_Font_Texture);

    int px = int(x), top = int(y + 1);
    bool inTag = false, closing = false, bold = false, underline = false;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        unsigned char c = *p;
        if (c >= 128) continue;
        if (c == '[') {
            inTag = true;
            closing = false;
            continue;
        }
        if (c == ']') {
            inTag = false;
            continue;
        }
        if (inTag) {
            if (c == 'b') bold = !closing;
            else if (c == 'u') underline = !closing;
            else if (c == '/') closing = true;
            continue;
        }
        if (c == '\t') {
            px += 4 * Font_Chars[' '][2];
            continue;
        }
        TGlyphQuad q = GlyphQuad(c);
        glBegin(GL_QUADS);
        Quad(q, px, top, z);
        glEnd();
        if (underline) {
            glDisable(GL_TEXTURE_2D);
            int m = std::max(q.w, 5);
            int u = int(float(m - q.w) * -0.5f);
            float ly = float(top + q.h - 1) + 0.5f;
            glBegin(GL_LINES);
            glVertex3f(float(px + u) + 0.5f, ly, z);
            glVertex3f(float(px + u + m + (bold ? 1 : 0)) + 0.5f, ly, z);
            glEnd();
            glEnable(GL_TEXTURE_2D);
        }
        if (!bold) {
            px += q.w;
        } else if (c == '-' || c == '_') {
            int dx = c == '-' ? 2 : 1;
            glBegin(GL_QUADS);
            Quad(q, px + dx, top, z);
            Quad(q, px + dx, top - 1, z);
            Quad(q, px, top - 1, z);
            glEnd();
            px += q.w;
        } else {
            glBegin(GL_QUADS);
            Quad(q, px + 1, top, z);
            glEnd();
            px += q.w + 1;
        }
    }
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_ALPHA_TEST);
}
