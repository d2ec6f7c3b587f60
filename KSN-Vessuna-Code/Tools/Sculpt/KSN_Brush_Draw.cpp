// The brush base's drawing: round and rectangular guides and the stroke path
// with its stippled outline. Guides are drawn in normalised viewport
// coordinates with the caller's matrices; the path sets its own.
#include "KSN_Brush.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "KSN_Viewport.h"

namespace {

float PixelX(TKSN_Viewport* viewport) { return 2.0f / float(viewport ? std::max(1, int(viewport->WindowWidth)) : 1); }
float PixelY(TKSN_Viewport* viewport) { return 2.0f / float(viewport ? std::max(1, int(viewport->WindowHeight)) : 1); }

void Ellipse(float cx, float cy, float rx, float ry)
{
    glBegin(GL_LINE_LOOP);
    for (int degree = 0; degree < 360; ++degree) {
        const float a = float(degree) * 3.14159f / 180.0f;
        glVertex2f(cx + rx * std::cos(a), cy + ry * std::sin(a));
    }
    glEnd();
}

void Rectangle(float x0, float y0, float x1, float y1)
{
    glBegin(GL_LINE_LOOP);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

} // namespace

void TKSN_Brush::DrawRoundGuide(TKSN_Mesh*, TKSN_Viewport* viewport, float cx, float cy, float rx, float ry)
{
    glLineWidth(1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    Ellipse(cx, cy, rx, ry);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    Ellipse(cx, cy, rx + PixelX(viewport), ry + PixelY(viewport));
}

void TKSN_Brush::DrawRectangularGuide(TKSN_Mesh*, TKSN_Viewport* viewport, float cx, float cy, float hx, float hy)
{
    glLineWidth(1.0f);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    Rectangle(cx - hx, cy - hy, cx + hx, cy + hy);
    const float px = PixelX(viewport), py = PixelY(viewport);
    glColor4f(0.0f, 0.0f, 0.0f, 1.0f);
    Rectangle(cx - hx - px, cy - hy - py, cx + hx + px, cy + hy + py);
}

void TKSN_Brush::DrawPath(TKSN_Viewport* viewport, float fx, float fy, float thickness, bool closed, bool drawPoints,
                          int firstIndex)
{
    if (Points->IsEmpty()) return;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    const TQORNewStaticList<TKSN_Brush_Point*>& points = *Points;
    const int n = points.Count();
    const float lineWidths[2] = {3.0f, 1.0f}, greys[2] = {0.0f, 1.0f};
    for (int pass = 0; pass < 2; ++pass) {
        glLineWidth(lineWidths[pass]);
        glColor3f(greys[pass], greys[pass], greys[pass]);
        glBegin(GL_LINES);
        for (int i = 1; i < n; ++i) {
            if (i < firstIndex) continue;
            glVertex2f(points[i - 1]->X, points[i - 1]->Y);
            glVertex2f(points[i]->X, points[i]->Y);
        }
        glVertex2f(points[n - 1]->X, points[n - 1]->Y);
        glVertex2f(fx, fy);
        if (closed) {
            glVertex2f(points[0]->X, points[0]->Y);
            glVertex2f(fx, fy);
        }
        glEnd();
    }
    if (drawPoints) {
        for (int pass = 0; pass < 2; ++pass) {
            glPointSize(lineWidths[pass]);
            glColor3f(greys[pass], greys[pass], greys[pass]);
            glBegin(GL_POINTS);
            glVertex2f(PressX, PressY);
            for (int i = std::max(firstIndex, 0); i < n; ++i) glVertex2f(points[i]->X, points[i]->Y);
            glVertex2f(fx, fy);
            glEnd();
        }
        glPointSize(1.0f);
    }

    glLineWidth(2.0f);
    glEnable(GL_LINE_STIPPLE);
    if (thickness > 0.0001f) {
        TQORNewStaticList<TKSN_LineSegmentQuad*> quads(16);
        CreateConnectedLineWithThickness(Points.get(), &quads, closed, thickness * 0.5f,
                                         viewport ? viewport->Aspect : 1.0f);
        const GLushort patterns[2] = {0xAAAA, 0x5555};
        glLineWidth(1.0f);
        for (int pass = 0; pass < 2; ++pass) {
            glLineStipple(1, patterns[pass]);
            glColor3f(greys[pass], greys[pass], greys[pass]);
            glBegin(GL_LINES);
            for (const TKSN_LineSegmentQuad* q : quads) {
                if (q->Join) {
                    glVertex2fv(q->c0);
                    glVertex2fv(q->c1);
                    glVertex2fv(q->c1);
                    glVertex2fv(q->c2);
                } else {
                    glVertex2fv(q->c0);
                    glVertex2fv(q->c3);
                    glVertex2fv(q->c1);
                    glVertex2fv(q->c2);
                }
            }
            glEnd();
        }
        for (TKSN_LineSegmentQuad* q : quads) delete q;
    }
    glDisable(GL_LINE_STIPPLE);
    glLineWidth(1.0f);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
