// TGui_Node drawing: the node transform, surfaces, bevels, triangles,
// shadows, highlights, flashes, outlines and the name. Every colour a node
// draws with goes through SetColor (the colour pipeline) unless it is said to
// be raw. One-pixel lines and points sit at pixel centres (+0.5); filled areas
// use integer corners.
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiNode.h"
#include "GuiTheme.h"
#include "QORGL.h"
#include "QORMemory.h"
#include "QORglut.h"

#include <GL/gl.h>

#include <algorithm>

void DrawHorizLineWidthQuads(float x0, float x1, float y, int width)
{
    glBegin(GL_QUADS);
    glVertex2f(x0, y);
    glVertex2f(x1, y);
    glVertex2f(x1, y + float(width));
    glVertex2f(x0, y + float(width));
    glEnd();
}

void DrawHorizontalGradient(TGui_Node& node, int x0, int y0, int x1, int y1, const float* a, const float* b)
{
    glShadeModel(GL_SMOOTH);
    glBegin(GL_QUADS);
    node.SetColor(a);
    glVertex2i(x0, y0);
    node.SetColor(b);
    glVertex2i(x1, y0);
    glVertex2i(x1, y1);
    node.SetColor(a);
    glVertex2i(x0, y1);
    glEnd();
    glShadeModel(GL_FLAT);
}

void DrawVertLineWidthQuads(float x, float y0, float y1, int width)
{
    glBegin(GL_QUADS);
    glVertex2f(x, y0);
    glVertex2f(x + float(width), y0);
    glVertex2f(x + float(width), y1);
    glVertex2f(x, y1);
    glEnd();
}

// [SECTION] Colours

void TGui_Node::SetColor(const float* rgb, bool highlight)
{
    float c[3];
    GetDisplayColor(c, rgb, highlight);
    glColor4f(c[0], c[1], c[2], 1.0f);
}

void TGui_Node::SetColor(float r, float g, float b, bool highlight)
{
    const float rgb[3] = {r, g, b};
    SetColor(rgb, highlight);
}

void TGui_Node::SetColorRGBA(const float* rgba, bool highlight)
{
    float c[3];
    GetDisplayColor(c, rgba, highlight);
    glColor4f(c[0], c[1], c[2], rgba[3]);
}

void TGui_Node::SetColorRGBA(float r, float g, float b, float a, bool highlight)
{
    const float rgba[4] = {r, g, b, a};
    SetColorRGBA(rgba, highlight);
}

// [SECTION] Transforms

bool TGui_Node::ClipsAllTheWay()
{
    for (TGui_Node* n = this; n; n = n->Parent)
        if (!n->ClipToParent) return false;
    return true;
}

void TGui_Node::SetupToDraw(bool clip)
{
    int ww = QORglutGetWindowWidth(), wh = QORglutGetWindowHeight();
    int x0 = 0, y0 = 0, x1 = ww, y1 = wh;
    float tx = float(AbsX), ty = float(AbsY);
    if (clip) {
        GetClipRect(x0, y0, x1, y1);
        tx = float(AbsX - x0);
        ty = float(AbsY - y1);
        glViewport(x0, wh - y1, x1 - x0, y1 - y0);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, x1 - x0, 0, y1 - y0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(PIXEL_OFFSET_X, PIXEL_OFFSET_Y, 0);
        glScalef(1, -1, 1);
        glTranslatef(tx, ty, 0);
        return;
    }
    glViewport(0, 0, ww, wh);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, ww, 0, wh, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(PIXEL_OFFSET_X, PIXEL_OFFSET_Y, 0);
    glScalef(1, -1, 1);
    glTranslatef(0, float(-wh), 0);
    glTranslatef(tx, ty, 0);
}

void TGui_Node::SetupToDrawAt(int x, int y)
{
    int ww = QORglutGetWindowWidth(), wh = QORglutGetWindowHeight();
    glViewport(0, 0, ww, wh);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, ww, 0, wh, -1000, 1000);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(PIXEL_OFFSET_X, PIXEL_OFFSET_Y, 0);
    glScalef(1, -1, 1);
    glTranslatef(0, float(-wh), 0);
    glTranslatef(float(x), float(y), 0);
}

// [SECTION] Surfaces and borders

void TGui_Node::Draw()
{
    if (TQORglutTexture* g = GetGraphic()) {
        glShadeModel(GL_FLAT);
        if (g->HasAlpha() && DrawSurface) {
            SetColor(BackgroundColor);
            DrawRectangle(0, 0, Width, Height, false, nullptr);
        }
        g->Set();
        SetColor(1, 1, 1, true);
        if (g->HasAlpha()) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        DrawRectangle(0, 0, Width, Height, false, g);
        g->Remove();
        glDisable(GL_BLEND);
        DrawBevel(0, 0, Width, Height, false, BorderWidth);
        DrawName();
        return;
    }
    TQORglutTexture* background = ResolveTexture(BackgroundGraphicID);
    if (DrawSurface)
        DrawBeveledSurface(0, 0, Width, Height, false, BackgroundColor, background);
    else
        DrawBevel(0, 0, Width, Height, false, BorderWidth);
    DrawName();
}

void TGui_Node::DrawBeveledSurface(int x, int y, int w, int h, bool pressed, const float* rgb,
                                   TQORglutTexture* texture)
{
    bool bevel = BorderWidth >= 1 && (!BevelOnMouseOverOnly || MouseOver || pressed);
    if (texture) {
        texture->Set();
        SetColor(1, 1, 1);
    } else if (rgb) {
        SetColor(rgb);
    }
    if (Rounded) {
        DrawRoundedBeveledSurface(x, y, w, h, bevel, pressed, Gradient, GradientDirection, GradientSpansMaster,
                                  BackgroundColor, BackgroundColorB);
        if (texture) texture->Remove();
        return;
    }
    DrawRectangle(x, y, w, h, SurfaceTextureMode == 1, texture);
    if (texture) texture->Remove();
    if (bevel) DrawBevel(x, y, w, h, pressed, BorderWidth);
}

void TGui_Node::DrawRectangle(int x, int y, int w, int h, bool windowTexture, TQORglutTexture* texture, bool)
{
    float s0 = 0, t0 = 0, s1 = 1, t1 = 1;
    if (windowTexture) {
        s0 = float(x + AbsX) / 255.0f;
        s1 = float(x + AbsX + w - 1) / 255.0f;
        t0 = float(y + AbsY) / 255.0f;
        t1 = float(y + AbsY + h - 1) / 255.0f;
    } else if (texture) {
        GLint tw = 0, th = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &tw);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &th);
        if (tw > 0 && th > 0) {
            s1 = float(w) / float(tw);
            t1 = float(h) / float(th);
        }
    }
    if (texture) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    }
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glShadeModel(GL_SMOOTH);
    glBegin(GL_QUADS);
    glTexCoord2f(s0, t0);
    glVertex2i(x, y);
    glTexCoord2f(s1, t0);
    glVertex2i(x + w, y);
    glTexCoord2f(s1, t1);
    glVertex2i(x + w, y + h);
    glTexCoord2f(s0, t1);
    glVertex2i(x, y + h);
    glEnd();
    glColor4f(1, 1, 1, 1);
    glDisable(GL_COLOR_MATERIAL);
}

void TGui_Node::DrawBevel(int x, int y, int w, int h, bool pressed, int width)
{
    if (width < 1) return;
    glShadeModel(GL_FLAT);
    bool swap = pressed || Sunken;
    const float* topLeft = swap ? QORglutWigits_DefaultBevelDarkColor : QORglutWigits_DefaultBevelLightColor;
    const float* bottomRight = swap ? QORglutWigits_DefaultBevelLightColor : QORglutWigits_DefaultBevelDarkColor;
    SetColor(topLeft);
    DrawVertLineWidthQuads(float(x), float(y), float(y + h), width);
    DrawHorizLineWidthQuads(float(x), float(x + w), float(y), width);
    SetColor(bottomRight);
    DrawVertLineWidthQuads(float(x + w - width), float(y), float(y + h), width);
    DrawHorizLineWidthQuads(float(x), float(x + w - width), float(y + h - width), width);
}

void TGui_Node::DrawRoundedBeveledSurface(int x, int y, int w, int h, bool bevel, bool pressed, bool gradient,
                                          int direction, bool spansMaster, const float* colourA,
                                          const float* colourB)
{
    float top[3], bottom[3];
    TGui_Master* m = spansMaster ? GetMaster() : nullptr;
    if (m && m->Height > 0) {
        float tTop = float(AbsY) / float(m->Height);
        float tBottom = float(AbsY + Height - 1) / float(m->Height);
        for (int i = 0; i < 3; ++i) {
            top[i] = colourB[i] * tTop + colourA[i] * (1 - tTop);
            bottom[i] = colourB[i] * tBottom + colourA[i] * (1 - tBottom);
        }
    } else {
        std::copy(colourA, colourA + 3, top);
        std::copy(colourB, colourB + 3, bottom);
    }
    if (pressed) std::swap(top, bottom);
    if (gradient) {
        glShadeModel(GL_SMOOTH);
        if (direction == 0 || direction == 1) {
            glBegin(GL_QUADS);
            SetColor(top);
            glVertex2i(x + 1, y + 1);
            if (direction == 0) {
                glVertex2i(x + w - 1, y + 1);
                SetColor(bottom);
                glVertex2i(x + w - 1, y + h - 1);
                glVertex2i(x + 1, y + h - 1);
            } else {
                SetColor(bottom);
                glVertex2i(x + w - 1, y + 1);
                glVertex2i(x + w - 1, y + h - 1);
                SetColor(top);
                glVertex2i(x + 1, y + h - 1);
            }
            glEnd();
        }
    } else {
        SetColor(BackgroundColor);
        glBegin(GL_QUADS);
        glVertex2i(x + 1, y + 1);
        glVertex2i(x + w - 1, y + 1);
        glVertex2i(x + w - 1, y + h - 1);
        glVertex2i(x + 1, y + h - 1);
        glEnd();
    }
    glShadeModel(GL_FLAT);
    if (bevel) DrawRoundedBevel(x, y, w, h, pressed);
}

void TGui_Node::DrawRoundedBevel(int x, int y, int w, int h, bool pressed)
{
    const float grey[3] = {0.5f, 0.5f, 0.5f}, black[3] = {0, 0, 0};
    auto point = [](int px, int py) {
        glBegin(GL_POINTS);
        glVertex2f(float(px) + 0.5f, float(py) + 0.5f);
        glEnd();
    };
    auto line = [](float ax, float ay, float bx, float by) {
        glBegin(GL_LINES);
        glVertex2f(ax, ay);
        glVertex2f(bx, by);
        glEnd();
    };
    SetColor(pressed ? black : grey);
    point(x + w - 2, y + 1);
    line(float(x + 2), float(y) + 0.5f, float(x + w - 2), float(y) + 0.5f);
    point(x + 1, y + 1);
    line(float(x) + 0.5f, float(y + 2), float(x) + 0.5f, float(y + h - 2));
    SetColor(pressed ? grey : black);
    point(x + 1, y + h - 2);
    line(float(x + 2), float(y + h - 1) + 0.5f, float(x + w - 2), float(y + h - 1) + 0.5f);
    point(x + w - 2, y + h - 2);
    line(float(x + w - 1) + 0.5f, float(y + 2), float(x + w - 1) + 0.5f, float(y + h - 2));
}

void TGui_Node::DrawLeftRightTriangle(int x, int y, int w, int h, bool b, int inset)
{
    SetColor(IsEnabled() ? QORglutWigits_DefaultTextColor : DisabledTextColor);
    int cx = x + w / 2, cy = y + h / 2 - 1, size = h / 2 - 2 * inset, d = b ? 1 : -1, half = (size / 2) * d;
    glBegin(GL_TRIANGLES);
    glVertex2i(cx - half, cy);
    glVertex2i(cx + half, cy - d * size);
    glVertex2i(cx + half, cy + d * size);
    glEnd();
}

void TGui_Node::DrawUpDownTriangle(int x, int y, int w, int h, bool b, int inset)
{
    SetColor(IsEnabled() ? QORglutWigits_DefaultTextColor : DisabledTextColor);
    int hw = w / 2, cy = y + h / 2, d = b ? 1 : -1, g = ((hw - 2 * inset) / 2) * d;
    glBegin(GL_TRIANGLES);
    glVertex2i(x + hw, cy - g);
    glVertex2i(x + 2 * hw - 2 * inset, cy + g);
    glVertex2i(x + 2 * inset, cy + g);
    glEnd();
}

// [SECTION] Decorations

void TGui_Node::DrawShadow()
{
    if (!DropShadow) return;
    float sx = float(ShadowOffsetX), sy = float(ShadowOffsetY), W = float(Width), H = float(Height);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ZERO, GL_SRC_COLOR);
    glShadeModel(GL_SMOOTH);
    auto white = [] { glColor3f(1, 1, 1); };
    auto black = [] { glColor3f(0, 0, 0); };
    glBegin(GL_TRIANGLES);
    white(); glVertex2f(W - 1, sy);
    white(); glVertex2f(W - 1 + sx, sy);
    black(); glVertex2f(W - 1, sx + sy);
    glEnd();
    glBegin(GL_QUADS);
    black(); glVertex2f(W - 1, sy + sx);
    white(); glVertex2f(W - 1 + sx, sy);
    white(); glVertex2f(W - 1 + sx, sy + H);
    black(); glVertex2f(W - 1, H);
    black(); glVertex2f(W - 1, H);
    white(); glVertex2f(W - 1 + sx, H + sy);
    white(); glVertex2f(sx, H + sy);
    black(); glVertex2f(sx + sy, H);
    glEnd();
    glBegin(GL_TRIANGLES);
    black(); glVertex2f(sx + sy, H);
    white(); glVertex2f(sx, H + sy);
    white(); glVertex2f(sx, H);
    glEnd();
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
}

void TGui_Node::DrawHighlight()
{
    int W = Width, H = Height, ix = W / 5, iy = H / 5;
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
    glShadeModel(GL_SMOOTH);
    const int outer[4][2] = {{0, 0}, {W, 0}, {W, H}, {0, H}};
    const int inner[4][2] = {{ix, iy}, {W - ix, iy}, {W - ix, H - iy}, {ix, H - iy}};
    glBegin(GL_QUADS);
    for (int i = 0; i < 4; ++i) {
        int j = (i + 1) % 4;
        glColor3f(0, 0, 0);
        glVertex2i(outer[i][0], outer[i][1]);
        glVertex2i(outer[j][0], outer[j][1]);
        glColor3f(0.5f, 0.5f, 0.5f);
        glVertex2i(inner[j][0], inner[j][1]);
        glVertex2i(inner[i][0], inner[i][1]);
    }
    for (const auto& v : inner) glVertex2i(v[0], v[1]);
    glEnd();
    glDisable(GL_BLEND);
    glColor4f(1, 1, 1, 1);
}

void TGui_Node::DrawFlash()
{
    FlashDrawn = true;
    glColor4f(1, 1, 0, 0.8f);
    if (FlashAsOutline) {
        glLineWidth(4);
        glBegin(GL_LINE_LOOP);
        glVertex2i(0, 0);
        glVertex2i(Width, 0);
        glVertex2i(Width, Height);
        glVertex2i(0, Height);
        glEnd();
        glLineWidth(1);
    } else {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glBegin(GL_QUADS);
        glVertex2i(0, 0);
        glVertex2i(Width, 0);
        glVertex2i(Width, Height);
        glVertex2i(0, Height);
        glEnd();
    }
    glColor4f(1, 1, 1, 1);
    glDisable(GL_BLEND);
}

void TGui_Node::DrawStippledOutline()
{
    if (!Parent) return;
    // A frame one pixel outside the node, in the parent's coordinates (the
    // master sets those up); the drag outline passes a system at the node's corner.
    SetColor(0, 0, 0);
    glEnable(GL_LINE_STIPPLE);
    glLineStipple(1, 0x5555);
    float x0 = float(X) - 0.5f, y0 = float(Y) - 0.5f, x1 = float(X + Width) + 0.5f, y1 = float(Y + Height) + 0.5f;
    glBegin(GL_LINE_LOOP);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
    glDisable(GL_LINE_STIPPLE);
}

void TGui_Node::DrawChildrenInForeground()
{
    TGui_Master* m = GetMaster();
    if (!m) return;
    bool twoBuffers = QORglut_IsDoubleBuffered();
    if (twoBuffers) glDrawBuffer(GL_FRONT);
    m->RecursivelyDraw(FirstChild, false);
    glFinish();
    if (twoBuffers) glDrawBuffer(GL_BACK);
}

void TGui_Node::DrawForeground() { QORThrowException("TGui_Node::DrawForeground() is not supported"); }

// [SECTION] Text

void TGui_Node::DrawName()
{
    if (!ShowName) return;
    DrawNameColored(IsEnabled() ? TextColor : DisabledTextColor);
}

void TGui_Node::DrawNameColored(const float* rgb) { DrawTextColored(GetName(), rgb); }

void TGui_Node::DrawTextColored(const char* text, const float* rgb)
{
    if (!ShowName) return;
    int w = GetStringWidth(text);
    int y = (Height - TextHeight) / 2, x;
    switch (TextAlignment) {
    case 1: x = BorderWidth + MarginX; break;
    case 2: x = Width - w - BorderWidth - MarginX; break;
    case 3:
        x = BorderWidth + MarginX;
        y = BorderWidth + MarginY;
        break;
    case 4:
        x = BorderWidth + MarginX + 10;
        y = BorderWidth + MarginY;
        break;
    default: x = (Width - w) / 2; break;
    }
    x += TextOffsetX;
    y += TextOffsetY;
    int windowHeight = QORglutGetWindowHeight();
    auto copyAt = [&](int cx, int cy) {
        if (cy + AbsY > windowHeight) return;   // wholly below the window
        QOR_glFontDrawText(text, float(cx), float(cy - TextTopOffset), 0.0f);
    };
    if (TextShadow) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(0, 0, 0, 0.0625f);
        for (int j = 0; j <= 4; ++j)
            for (int k = 0; k <= 4; ++k) copyAt(x + k, y + j);
        for (int j = 1; j <= 4; ++j)
            for (int k = 1; k <= 4; ++k) copyAt(x - k, y - j);
        glDisable(GL_BLEND);
    }
    if (TextEmboss) {
        SetColor(0.7f, 0.7f, 0.7f);
        copyAt(x + 1, y + 1);
    }
    SetColor(rgb);
    copyAt(x, y);
}

void TGui_Node::DrawActualText(int x, int y, const char* text, bool)
{
    if (y + AbsY > QORglutGetWindowHeight()) return;
    QOR_glFontDrawText(text, float(x), float(y - TextTopOffset), 0.0f);
}
