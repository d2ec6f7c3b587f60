// TGui_Button and TGui_CheckBox drawing: the picture or bevelled surface, the
// caption, and the check box's sunken box with its check mark.
#include "GuiButton.h"

#include "GuiFont.h"
#include "GuiTheme.h"
#include "QORGL.h"
#include "QORglut.h"

#include <GL/gl.h>

// [SECTION] Button

void TGui_Button::Draw()
{
    TQORglutTexture* graphic = GetGraphic();
    TQORglutTexture* alt = ResolveTexture(AltGraphicID);
    TQORglutTexture* background = ResolveTexture(BackgroundGraphicID);
    bool bevel = BorderWidth >= 1 && !(BevelOnMouseOverOnly && !MouseOver && !Pressed);
    if (graphic) {
        glShadeModel(GL_FLAT);
        TQORglutTexture* picture = (ButtonMode == 1 || ButtonMode == 2) && Pressed && alt ? alt : graphic;
        if (picture->HasAlpha() && DrawSurface) {
            SetColor(BackgroundColor);
            DrawRectangle(0, 0, Width, Height, false, nullptr);
        }
        picture->Set();
        glColor4f(1, 1, 1, 1);
        if (picture->HasAlpha()) {
            glEnable(GL_BLEND);
            glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        }
        DrawRectangle(0, 0, Width, Height, false, picture);
        picture->Remove();
        glDisable(GL_BLEND);
        if (bevel) DrawBevel(0, 0, Width, Height, Pressed, BorderWidth);
        return;
    }
    if (DrawSurface) {
        if (background && background->HasAlpha()) {
            SetColor(BackgroundColor);
            DrawRectangle(0, 0, Width, Height, false, nullptr);
        }
        DrawBeveledSurface(0, 0, Width, Height, Pressed, BackgroundColor, background);
    } else if (bevel) {
        DrawBevel(0, 0, Width, Height, Pressed, BorderWidth);
    }
    DrawName();
}

void TGui_Button::CaptionOrigin(int w, int& x, int& y) const
{
    y = (Height - TextHeight) / 2;
    switch (TextAlignment) {
    case 1: x = BorderWidth + MarginX; break;
    case 2: x = Width - w - BorderWidth - MarginX; break;
    case 3:
    case 4:
        x = BorderWidth + MarginX + (TextAlignment == 4 ? 10 : 0);
        y = BorderWidth + MarginY;
        break;
    default: x = (Width - w) / 2; break;
    }
}

void TGui_Button::DrawName()
{
    if (!ShowName) return;
    const char* text = GetName();
    int x, y;
    CaptionOrigin(GetStringWidth(text), x, y);
    if (Pressed) {
        x += 1;
        y -= 1;
    }
    int windowHeight = QORglutGetWindowHeight();
    auto copyAt = [&](int cx, int cy) {
        if (cy + AbsY > windowHeight) return;
        QOR_glFontDrawText(text, float(cx), float(cy - TextTopOffset), 0.0f);
    };
    if (TextEmboss) {
        SetColor(0.7f, 0.7f, 0.7f);
        copyAt(x + 1, y + 1);
    }
    SetColor(IsEnabled() ? TextColor : DisabledTextColor);
    copyAt(x, y);
}

// [SECTION] Check box

void TGui_CheckBox::Draw()
{
    int x = BoxX(), y = BoxY();
    DrawRoundedBeveledSurface(x, y, BoxWidth, BoxHeight, true, true, true, GradientDirection, false, BackgroundColor,
                              BackgroundColorB);
    if (Pressed) {
        bool enabled = IsEnabled();
        TQORglutTexture* picture = enabled ? GetGraphic() : ResolveTexture(AltGraphicID);
        if (picture) {
            picture->Set();
            glColor4f(1, 1, 1, 1);
            if (picture->HasAlpha()) {
                glEnable(GL_BLEND);
                glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
            }
            DrawRectangle(x, y, picture->GetWidth(), picture->GetHeight(), false, picture);
            picture->Remove();
            glDisable(GL_BLEND);
        } else {
            SetColor(enabled ? QORglutWigits_DefaultTextColor : DisabledTextColor);
            float mx = float(x + BorderWidth + BoxWidth / 3) + 0.5f, my = float(y + BoxHeight - BorderWidth - 1) + 0.5f;
            glLineWidth(2);
            glBegin(GL_LINES);
            glVertex2f(float(x + BoxWidth - BorderWidth) + 0.5f, float(y + BorderWidth) + 0.5f);
            glVertex2f(mx, my);
            glVertex2f(float(x + BorderWidth) + 0.5f, float(y + BoxHeight / 2) + 0.5f);
            glVertex2f(mx, my);
            glEnd();
            glLineWidth(1);
        }
    }
    DrawName();
}

void TGui_CheckBox::DrawName()
{
    if (!ShowName) return;
    const char* text = GetName();
    int x = 2 * MarginX + BoxWidth, y = (Height - TextHeight) / 2;
    int windowHeight = QORglutGetWindowHeight();
    auto copyAt = [&](int cx, int cy) {
        if (cy + AbsY > windowHeight) return;
        QOR_glFontDrawText(text, float(cx), float(cy - TextTopOffset), 0.0f);
    };
    if (TextEmboss) {
        SetColor(0.0f, 0.0f, 0.0f);
        copyAt(x + 1, y + 1);
    }
    SetColor(IsEnabled() ? TextColor : DisabledTextColor);
    copyAt(x, y);
}
