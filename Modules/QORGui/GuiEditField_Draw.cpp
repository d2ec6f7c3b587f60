// Edit field drawing: the sunken surface, the visible characters one at a
// time (so the selection and the caret line up with the widths that layout
// and hit-testing use), the selection and the caret.
#include "GuiEditField.h"
#include "GuiFont.h"
#include "GuiMaster.h"
#include "QORMemory.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

void TGui_EditField::Draw()
{
    if (!Parent) QORThrowException("Parent is NULL in TGui_EditField::Draw()");
    DrawBeveledSurface(0, 0, Width, Height, true, BackgroundColor, nullptr);

    const char* text = GetText();
    const int len = int(std::strlen(text));
    const bool enabled = IsEnabled(), active = IsActive();
    const int y = (Height - TextHeight - TextTopOffset) / 2;
    const float grey[3] = {0.5f, 0.5f, 0.5f}, white[3] = {1, 1, 1}, selection[3] = {0, 0, 0.7f};
    int x = MarginX;
    // Characters past the right edge are clipped anyway; stop there so a very
    // long text costs only what is visible.
    for (int i = std::max(0, FirstVisible); i < len && x < Width; ++i) {
        int w = GlyphWidth(static_cast<unsigned char>(text[i]));
        bool selected = enabled && active && i >= SelectionStart && i < SelectionEnd;
        if (selected) {
            SetColor(selection);
            int glyphH = int(float(Font_Chars[static_cast<unsigned char>(text[i]) & 127][3]) * FontScale);
            glBegin(GL_QUADS);
            glVertex2i(x, y - 1);
            glVertex2i(x + w, y - 1);
            glVertex2i(x + w, y + glyphH);
            glVertex2i(x, y + glyphH);
            glEnd();
        }
        SetColor(selected ? white : enabled ? TextColor : grey);
        const char one[2] = {text[i], 0};
        QOR_glFontDrawText(one, float(x), float(y), 0.0f);
        x += w;
    }

    if (active && !HasSelection()) {
        int cx = MarginX;
        for (int i = std::max(0, FirstVisible); i < std::min(Cursor, len) && cx < Width; ++i)
            cx += GlyphWidth(static_cast<unsigned char>(text[i]));
        glColor3f(0, 0, 0);
        glBegin(GL_LINES);
        glVertex2f(float(cx) + 0.5f, 0.5f);
        glVertex2f(float(cx) + 0.5f, float(Height) + 0.5f);
        glEnd();
    }
}
