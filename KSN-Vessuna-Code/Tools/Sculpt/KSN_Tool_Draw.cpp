// The tool base's drawing: the cursor image, the motion guides and the brush
// outline. The guides are drawn in normalised viewport coordinates; the
// caller has set identity matrices.
#include "KSN_Tool.h"

#include <GL/gl.h>

#include <cmath>

#include "KSN_Viewport.h"
#include "QORGL.h"
#include "QORMatrix.h"

namespace {

float WidthOf(TKSN_Viewport* viewport) { return viewport ? float(std::max(1, int(viewport->WindowWidth))) : 1.0f; }
float HeightOf(TKSN_Viewport* viewport) { return viewport ? float(std::max(1, int(viewport->WindowHeight))) : 1.0f; }

// The two stippled passes of the guides: black under white, half transparent.
struct TGuidePass {
    GLushort pattern;
    float grey;
    float pointSize;
};
constexpr TGuidePass GuidePasses[2] = {{0xAAAA, 0.0f, 6.0f}, {0x5555, 1.0f, 4.0f}};

void BeginGuides()
{
    glEnable(GL_LINE_STIPPLE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glLineWidth(1.0f);
}

void EndGuides()
{
    glDisable(GL_LINE_STIPPLE);
    glDisable(GL_BLEND);
    glPointSize(1.0f);
    glLineWidth(1.0f);
}

} // namespace

float GetConcentricBoxHalfSide(float d, int k)
{
    float v = d + float(k) / 5.0f;
    if (v < 0.0f || v > 1.0f) v -= std::floor(v);
    return 2.0f * v;
}

void TKSN_Tool::DrawInitialCrossHairs(TKSN_Mesh*, TKSN_Viewport* viewport)
{
    const float armX = 20.0f / WidthOf(viewport), armY = 20.0f / HeightOf(viewport);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float widths[2] = {3.0f, 1.0f}, greys[2] = {0.0f, 1.0f};
    for (int pass = 0; pass < 2; ++pass) {
        glLineWidth(widths[pass]);
        glColor4f(greys[pass], greys[pass], greys[pass], 0.5f);
        glBegin(GL_LINES);
        glVertex2f(PressX - armX, PressY);
        glVertex2f(PressX + armX, PressY);
        glVertex2f(PressX, PressY - armY);
        glVertex2f(PressX, PressY + armY);
        glEnd();
    }
    glLineWidth(1.0f);
    glDisable(GL_BLEND);
}

namespace {

void DrawMotionLines(TKSN_Tool* tool, float fx, float fy, bool horizontal, bool vertical)
{
    const float x = tool->PressX + tool->AdjustValueForSensitvity(fx - tool->PressX);
    const float y = tool->PressY + tool->AdjustValueForSensitvity(fy - tool->PressY);
    BeginGuides();
    for (const TGuidePass& pass : GuidePasses) {
        glLineStipple(1, pass.pattern);
        glColor4f(pass.grey, pass.grey, pass.grey, 0.5f);
        glPointSize(pass.pointSize);
        glBegin(GL_LINES);
        if (horizontal) {
            glVertex2f(tool->PressX, tool->PressY);
            glVertex2f(x, tool->PressY);
        }
        if (vertical) {
            glVertex2f(tool->PressX, tool->PressY);
            glVertex2f(tool->PressX, y);
        }
        glEnd();
        glBegin(GL_POINTS);
        if (horizontal) glVertex2f(x, tool->PressY);
        if (vertical) glVertex2f(tool->PressX, y);
        glEnd();
    }
    EndGuides();
}

} // namespace

void TKSN_Tool::DrawHorizVertMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    DrawInitialCrossHairs(mesh, viewport);
    DrawMotionLines(this, fx, fy, GetDirHoriz(), GetDirVert());
}

void TKSN_Tool::DrawDepthMotionHorizontally(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    DrawInitialCrossHairs(mesh, viewport);
    DrawMotionLines(this, fx, fy, true, false);
}

void TKSN_Tool::DrawDepthMotionViaConcentricBoxes(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float, float fy)
{
    const float d = AdjustValueForSensitvity(fy - PressY);
    BeginGuides();
    for (const TGuidePass& pass : GuidePasses) {
        glLineStipple(1, pass.pattern);
        glColor4f(pass.grey, pass.grey, pass.grey, 0.5f);
        for (int k = 0; k < 5; ++k) {
            const float h = GetConcentricBoxHalfSide(d, k);
            glBegin(GL_LINE_LOOP);
            glVertex2f(PressX - h, PressY - h);
            glVertex2f(PressX + h, PressY - h);
            glVertex2f(PressX + h, PressY + h);
            glVertex2f(PressX - h, PressY + h);
            glEnd();
        }
    }
    EndGuides();
    DrawInitialCrossHairs(mesh, viewport);
}

void TKSN_Tool::OnDraw(TKSN_Mesh*, TKSN_Viewport* viewport, float fx, float fy)
{
    MovedSinceDraw = false;
    TQORglutTexture* image = DoDrawAltGraphic() ? AltCursorImage : CursorImage;
    if (!image || !image->GetPixels()) return;
    // The hot-spot pixel (y from the top) lands on the mouse point; rows are stored bottom-up.
    glRasterPos2f(fx - 2.0f * float(HotSpotX) / WidthOf(viewport),
                  fy - 2.0f * float(image->GetHeight() - 1 - HotSpotY) / HeightOf(viewport));
    if (image->HasAlpha()) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        QORglDrawPixels(image->GetWidth(), image->GetHeight(), GL_RGBA, GL_UNSIGNED_BYTE, image->GetPixels(), false);
        glDisable(GL_BLEND);
    } else {
        QORglDrawPixels(image->GetWidth(), image->GetHeight(), GL_RGB, GL_UNSIGNED_BYTE, image->GetPixels(), false);
    }
}

void TKSN_Tool::DrawBrushShape(TKSN_Viewport* viewport, float fx, float fy, float* matrix)
{
    if (!viewport) return;
    const TKSN_ToolProjectHooks& hooks = KSN_GetToolProjectHooks();
    const float px = viewport->UtoX(fx), py = viewport->VtoY(-fy);   // pixels from the left and the bottom

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, double(WidthOf(viewport)), 0.0, double(HeightOf(viewport)), -10000.0, 10000.0);
    glTranslatef(float(int(px)), float(int(py)), 0.0f);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    if (matrix) {
        float transposed[16];
        QORMatrix_Transpose4x4(transposed, matrix);
        glMultMatrixf(transposed);
    }

    if (hooks.IsBrushShapeValid && !hooks.IsBrushShapeValid(GetSize(), GetHardness()) &&
        hooks.SetupOverlayAndBrushShape)
        hooks.SetupOverlayAndBrushShape(viewport, GetSize(), GetHardness());

    // While the button is down the outline follows the pen pressure.
    if (MouseState == 0 && GetSize() > 1e-30f) {
        const float scale = GetEffectiveSize() / GetSize();
        glScalef(scale, scale, scale);
    }

    int count = 0;
    const int32_t* points = hooks.GetBrushOutline ? hooks.GetBrushOutline(count) : nullptr;
    if (points && count > 0) {
        auto drawPoints = [&](float dx, float dy) {
            glBegin(GL_POINTS);
            for (int i = 0; i < count; ++i) glVertex2f(float(points[2 * i]) + dx, float(points[2 * i + 1]) + dy);
            glEnd();
        };
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glColor4f(0.0f, 0.0f, 0.0f, 0.025f);
        glPointSize(7.0f);
        drawPoints(1.0f, -1.0f);   // a soft shadow one pixel right and down
        glColor4f(0.0f, 0.0f, 0.0f, 0.03f);
        glPointSize(4.0f);
        drawPoints(1.0f, -1.0f);
        glDisable(GL_BLEND);
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
        glPointSize(1.0f);
        drawPoints(0.0f, 0.0f);
    }
    glDisable(GL_BLEND);
    glPointSize(1.0f);

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
