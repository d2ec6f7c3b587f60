#include "GuiFont.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "QORMemory.h"
#include "QORglut.h"

#include <GL/gl.h>

#include <algorithm>

namespace {
void HorizontalLine(float y, float x0, float x1)
{
    glBegin(GL_LINES);
    glVertex2f(x0, y + 0.5f);
    glVertex2f(x1 + 1.0f, y + 0.5f);
    glEnd();
}
} // namespace

void TGui_Separator::Draw()
{
    int W = Width, H = Height;
    glShadeModel(GL_FLAT);
    if (Vertical) {
        SetColor(QORglutWigits_DefaultBevelLightColor);
        glBegin(GL_LINES);
        glVertex2f(float(W / 2) + 0.5f, 0);
        glVertex2f(float(W / 2) + 0.5f, float(H));
        glEnd();
        SetColor(QORglutWigits_DefaultBevelDarkColor);
        glBegin(GL_LINES);
        glVertex2f(float(W / 2 - 1) + 0.5f, 0);
        glVertex2f(float(W / 2 - 1) + 0.5f, float(H));
        glEnd();
        return;
    }
    auto twoLines = [&](int x0, int x1) {
        if (x1 < x0) return;
        SetColor(QORglutWigits_DefaultBevelLightColor);
        HorizontalLine(float(H / 2), float(x0), float(x1));
        SetColor(QORglutWigits_DefaultBevelDarkColor);
        HorizontalLine(float(H / 2 - 1), float(x0), float(x1));
    };
    const char* caption = GetName();
    if (!*caption) {
        twoLines(0, W - 1);
        return;
    }
    int t = GetStringWidth(caption), m = MarginX;
    twoLines(0, std::max(0, 20 - m) - 1);
    if (TextTopOffset / 2 + AbsY <= QORglutGetWindowHeight()) {
        SetColor(TextColor);
        QOR_glFontDrawText(caption, 20.0f, float(TextTopOffset / 2 - TextTopOffset), 0.0f);
    }
    twoLines(std::min(W, t + m + 20), W - 1);
}

void TGui_ListItem::Draw()
{
    TGui_ListBox* box = dynamic_cast<TGui_ListBox*>(Parent);
    if (!box) QORThrowException("Listbox is NULL in TGui_ListItem::Draw()");
    if (!Selected) {
        TGui_Node::Draw();
        return;
    }
    SetColor(box->SelectionColor);
    DrawRectangle(0, 0, Width, Height, false, nullptr);
    const float white[3] = {1, 1, 1};
    DrawNameColored(white);
}
