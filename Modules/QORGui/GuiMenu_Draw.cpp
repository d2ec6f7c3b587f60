// Menu items and the menu bar drawn: separators as a line, the selected item
// on a dark blue strip with white text, check marks as two thick lines.
#include "GuiMenu.h"
#include "GuiTheme.h"
#include "QORGL.h"

#include <GL/gl.h>

#include <string>

#include "GuiWindow_Internal.h"

void TGui_MenuText::Draw()
{
    if (Parent) std::copy(Parent->BackgroundColor, Parent->BackgroundColor + 3, BackgroundColor);
    TQORglutTexture* graphic = GetGraphic();
    if (IsSeparator()) {
        glColor4f(0, 0, 0, 1);
        float y = float(Height / 2) + 0.5f;
        glBegin(GL_LINES);
        glVertex2f(0.5f, y);
        glVertex2f(float(Width) + 0.5f, y);
        glEnd();
        return;
    }
    static const float selectedBack[3] = {0.0f, 0.0f, 0.4f}, white[3] = {1.0f, 1.0f, 1.0f};
    if (Selected) {
        bool rounded = Rounded, gradient = Gradient;
        Rounded = Gradient = false;
        DrawBeveledSurface(0, 0, Width, Height, false, selectedBack, nullptr);
        Rounded = rounded;
        Gradient = gradient;
    } else if (DrawSurface) {
        DrawBeveledSurface(0, 0, Width, Height, false, BackgroundColor, graphic);
    }
    std::string text = std::string("\t") + GetName();
    DrawTextColored(text.c_str(), Selected ? white : IsEnabled() ? TextColor : DisabledTextColor);
    if (ShowCheckMark && Pressed) {
        int m = MarginX, b = BorderWidth, t = (Height - 10) / 2;
        float midY = float(t + 5) + 0.5f;
        if (Height - 10 < -1) {
            t = 0;
            midY = 5.5f;
        }
        float px = float(m + b) + 3.5f, py = float(t - b) + 9.5f;
        glColor4f(0, 0, 0, 1);
        glLineWidth(2);
        glBegin(GL_LINES);
        glVertex2f(float(m - b) + 10.5f, float(t + b) + 0.5f);
        glVertex2f(px, py);
        glVertex2f(float(m + b) + 0.5f, midY);
        glVertex2f(px, py);
        glEnd();
        glLineWidth(1);
    }
}

void TGui_MenuBar::Draw()
{
    int e = 0;
    for (TGui_Node* t = FirstChild; t; t = t->Next) e = t->X + t->Width;
    Gui_DrawTitleStrip(*this, e);
}
