#include "KSN_Gui_Panel.h"

#include "QOREvents.h"
#include "QORGL.h"

TKSN_SubWindow::TKSN_SubWindow(TGui_Node* parent) : TGui_Window(parent) { Y = 50; }

TKSN_ToolWindow::TKSN_ToolWindow(TGui_Node* parent) : TGui_Node(parent)
{
    StackChildren = true;
    AutoSize = false;
    SetSize(230, 500);
    DropShadow = false;
    SetName("", true);
}

void TKSN_ToolWindow::PostUpdate() { QOREvents_PushEvent(431); }

void TKSN_SplashScreenWindow::UpdateSize()
{
    TGui_Window::UpdateSize();
    if (!Parent) return;
    const int maxX = Parent->Width - Width;
    const int maxY = Parent->Height - Height;
    if (X >= 0 && X < maxX && Y >= 0 && Y < maxY) return;
    // Each axis is clamped on its own; a window larger than its parent keeps
    // its right (bottom) edge on the parent's and hangs out to the left (top).
    const int x = X > maxX ? maxX : (X < 0 ? 0 : X);
    const int y = Y > maxY ? maxY : (Y < 0 ? 0 : Y);
    SetPosition(x, y);
}

void TKSN_SplashScreenWindow::Hide()
{
    TGui_Window::Hide();
    if (TQORglutTexture* graphic = GetGraphic()) graphic->Unbind();
}

void SetupSelectionPanel(TGui_Node*) {}
