// Collapsible panel drawing: the title band, the title bar's gradient and the
// toggle's triangle.
#include "GuiPanel.h"
#include "GuiTheme.h"

#include <GL/gl.h>

namespace {
void HorizontalGradient(TGui_Node& node, int x0, int y0, int x1, int y1, const float* a, const float* b)
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
} // namespace

void TGui_CollapsiblePanel::Draw()
{
    TGui_Node::Draw();
    // The band is as high as the folded panel, whatever TitleHeight is.
    const int b = BorderWidth;
    HorizontalGradient(*this, b, b, Width - b, CollapsedHeight - b, QORglutWigits_TitleBarColorA,
                       QORglutWigits_TitleBarColorB);
}

void TGui_CollapsiblePanelTitleBar::Draw()
{
    HorizontalGradient(*this, 0, 0, Width, Height, QORglutWigits_TitleBarColorA, QORglutWigits_TitleBarColorB);
    DrawBevel(0, 0, Width, Height, false, BorderWidth);
}

void TGui_CollapsiblePanelToggleButton::Draw()
{
    TGui_Node::Draw();
    auto* panel = dynamic_cast<TGui_CollapsiblePanel*>(Parent);
    const int b = BorderWidth;
    SetColor(TextColor);
    glBegin(GL_TRIANGLES);
    if (panel && panel->IsCollapsed()) {
        glVertex2i(b, b);
        glVertex2i(Width - b, Height / 2);
        glVertex2i(b, Height - b);
    } else {
        glVertex2i(b, b);
        glVertex2i(Width - b, b);
        glVertex2i(Width / 2, Height - b);
    }
    glEnd();
}
