// Title bars (and, through the same quads, the menu bar): the fire theme's
// yellow-to-red strip or the theme's two-colour gradient, a raised bevel and
// the name.
#include "GuiMenu.h"
#include "GuiTheme.h"
#include "GuiWindow.h"
#include "GuiWindow_Internal.h"
#include "QORGL.h"

#include <GL/gl.h>

void Gui_DrawTitleStrip(TGui_Node& node, int e)
{
    glShadeModel(GL_SMOOTH);
    float w = float(node.Width), h = float(node.Height), fe = float(e);
    if (QORglut_FireTheme) {
        node.SetColor(QORglutWigits_DefaultBackgroundColor);
        glBegin(GL_QUADS);
        glVertex2f(0, 0);
        glVertex2f(w, 0);
        glVertex2f(w, h);
        glVertex2f(0, h);
        glEnd();
        glBegin(GL_QUADS);
        node.SetColor(1, 1, 0);
        glVertex2f(0, 0);
        node.SetColor(1, 0, 0);
        glVertex2f(fe, 0);
        glVertex2f(fe, h);
        node.SetColor(1, 1, 0);
        glVertex2f(0, h);
        glEnd();
        glBegin(GL_QUADS);
        node.SetColor(1, 0, 0);
        glVertex2f(fe, 0);
        node.SetColor(QORglutWigits_DefaultBackgroundColor);
        glVertex2f(fe + 50, 0);
        glVertex2f(fe + 20, h);
        node.SetColor(1, 0, 0);
        glVertex2f(fe, h);
        glEnd();
    } else {
        glBegin(GL_QUADS);
        node.SetColor(QORglutWigits_TitleBarColorA);
        glVertex2f(0, 0);
        node.SetColor(QORglutWigits_TitleBarColorB);
        glVertex2f(w, 0);
        glVertex2f(w, h);
        node.SetColor(QORglutWigits_TitleBarColorA);
        glVertex2f(0, h);
        glEnd();
    }
    glShadeModel(GL_FLAT);
    node.DrawBevel(0, 0, node.Width, node.Height, false, node.BorderWidth);
    node.DrawName();
}

void TGui_TitleBar::Draw() { Gui_DrawTitleStrip(*this, GetName()[0] ? GetStringWidth(GetName()) : 0); }
