// Gauge, slider, drop-down button and strip drawing.
#include "GuiGauge.h"
#include "GuiTheme.h"

#include <GL/gl.h>

#include <algorithm>

namespace {
void BlendBar(const TGui_Gauge& g, float q, float* out)
{
    for (int i = 0; i < 3; ++i) out[i] = q * g.BarColorMax[i] + (1 - q) * g.BarColorMin[i];
}
} // namespace

void TGui_Gauge::Draw()
{
    DrawBeveledSurface(0, 0, Width, Height, true, BackgroundColor, nullptr);
    const float orange[3] = {1.0f, 0.7607843f, 0.1215686f};
    SetColor(orange);
    const int b = BorderWidth;
    float q = GetDisplayedPosition();
    if (Orientation == 0 && q > 1e-30f) {
        float right[3];
        BlendBar(*this, q, right);
        DrawHorizontalGradient(*this, b, b, int(float(Width - 2 * b) * q), Height - b, BarColorMin, right);
    } else if (Orientation == 1) {
        int l = int(q * float(Height - 2 * b));
        if (l > 0) {
            glBegin(GL_QUADS);
            glVertex2i(b, Height - b - l);
            glVertex2i(Width - b, Height - b - l);
            glVertex2i(Width - b, Height - b);
            glVertex2i(b, Height - b);
            glEnd();
        }
    }
    DrawName();
}

void TGui_Slider::Draw()
{
    DrawBeveledSurface(0, 0, Width, Height, true, BackgroundColor, nullptr);
    const float* ca = QORglutWigits_DefaultBackgroundColorB;
    const float* cb = QORglutWigits_DefaultBackgroundColorC;
    const int a = ArrowSize;
    DrawRoundedBeveledSurface(ThumbX, ThumbY, ThumbWidth, ThumbHeight, true, DraggingThumb, true, Vertical() ? 1 : 0,
                              false, ca, cb);
    int endX = Vertical() ? 0 : Width - a, endY = Vertical() ? Height - a : 0;
    DrawRoundedBeveledSurface(0, 0, a, a, true, StartArrowPressed, true, 1, false, ca, cb);
    DrawRoundedBeveledSurface(endX, endY, a, a, true, EndArrowPressed, true, 1, false, ca, cb);
    if (Vertical()) {
        DrawUpDownTriangle(0, 0, a, a, true, BorderWidth);
        DrawUpDownTriangle(endX, endY, a, a, false, BorderWidth);
    } else {
        DrawLeftRightTriangle(0, 0, a, a, true, BorderWidth);
        DrawLeftRightTriangle(endX, endY, a, a, false, BorderWidth);
    }
}

void TGui_GaugeHideEditButton::Draw()
{
    TGui_Button::Draw();
    DrawUpDownTriangle(0, 0, Width, Height, false, 2 * BorderWidth);
}

void TGui_GaugeDropDown::Draw()
{
    TGui_Gauge* g = GetGauge();
    float q = g ? std::clamp(g->GetDisplayedPosition(), 0.0f, 1.0f) : 0.0f;
    int split = int(float(Width) * q);
    if (g && split > 0) {
        float right[3];
        BlendBar(*g, q, right);
        DrawHorizontalGradient(*this, 0, 0, split, Height, g->BarColorMin, right);
    }
    if (split < Width) {
        SetColor(BackgroundColorB);
        glBegin(GL_QUADS);
        glVertex2i(split, 0);
        glVertex2i(Width, 0);
        glVertex2i(Width, Height);
        glVertex2i(split, Height);
        glEnd();
    }
    DrawBevel(0, 0, Width, Height, false, BorderWidth);
}
