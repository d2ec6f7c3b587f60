// Collapsible panel drawing: the title band, the title bar's gradient and the
// toggle's triangle.
#include "GuiPanel.h"
#include "GuiTheme.h"

#include <GL/gl.h>

void TGui_CollapsiblePanel::Draw()
{
    TGui_Node::Draw();
    // The band is as high as the folded panel, whatever TitleHeight is.
    const int b = BorderWidth;
    DrawHorizontalGradient(*this, b, b, Width - b, CollapsedHeight - b, QORglutWigits_TitleBarColorA,
                       QORglutWigits_TitleBarColorB);
}

void TGui_CollapsiblePanelTitleBar::Draw()
{
    DrawHorizontalGradient(*this, 0, 0, Width, Height, QORglutWigits_TitleBarColorA, QORglutWigits_TitleBarColorB);
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
