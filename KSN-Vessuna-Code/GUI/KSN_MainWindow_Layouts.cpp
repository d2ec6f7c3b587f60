// The main window's sizing pass and the six viewport layouts.
//
// UpdateSize runs at every layout pass of the toolkit: it keeps the message
// window inside the canvas (marking the viewports stale when it moved) and
// lays the four viewport panels out in the application's configuration, or
// the maximised panel alone. Positions are pixels, x right and y down from
// the main window's top-left corner; divisions are integer divisions.
#include "KSN_Gui_MainWindow.h"

#include "GuiMenu.h"
#include "GuiWindow.h"
#include "KSN_Application.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Project.h"
#include "KSN_ViewportPanel.h"
#include "KSN_Viewport.h"

#include <algorithm>

// Pixels the layout leaves unused at the right of the viewport area.
int LeftOverRightSpace = 0;
// The message window's top edge at the last layout; -1 before the first.
int LastMessageWindow_y = -1;

namespace {

int Down8(int x) { return x - (x % 8 + 8) % 8; }

int MenuBarHeight(TKSN_MainWindow& w) { return w.MenuBar ? w.MenuBar->Height : 0; }

} // namespace

bool KSN_ViewportLayout(int config, int width, int height, TKSN_ViewportRect rects[4], bool shown[4], int& leftOver)
{
    for (int i = 0; i < 4; ++i) {
        rects[i] = {};
        shown[i] = false;
    }
    const int half = Down8(width / 2), h2 = height / 2;
    switch (config) {
    case 0:
        shown[0] = true;
        rects[0] = {0, 0, Down8(width), height};
        leftOver = width - Down8(width);
        return true;
    case 1:
        shown[0] = shown[1] = true;
        rects[1] = {0, 0, half, height};
        rects[0] = {half, 0, half, height};
        leftOver = width - 2 * half;
        return true;
    case 2:
        shown[0] = shown[1] = true;
        rects[1] = {0, 0, Down8(width), h2};
        rects[0] = {0, h2, Down8(width), h2};
        leftOver = width - Down8(width);
        return true;
    case 3:
        shown[0] = shown[1] = shown[2] = true;
        rects[1] = {0, 0, half, h2};
        rects[2] = {half, 0, half, h2};
        rects[0] = {0, h2, 2 * half, h2};
        leftOver = width - 2 * half;
        return true;
    case 4:
        for (int i = 0; i < 4; ++i) shown[i] = true;
        rects[3] = {0, 0, half, h2};
        rects[2] = {half, 0, half, h2};
        rects[1] = {0, h2, half, h2};
        rects[0] = {half, h2, half, h2};
        leftOver = width - 2 * half;
        return true;
    case 5: {
        for (int i = 0; i < 4; ++i) shown[i] = true;
        const int side = Down8(std::max(width / 4, height / 3)), t = height / 3;
        rects[0] = {side, 0, Down8(width - side), height};
        rects[1] = {0, 0, side, t};
        rects[2] = {0, t, side, t};
        rects[3] = {0, 2 * t, side, height - 2 * t};
        leftOver = width - side - Down8(width - side);
        return true;
    }
    default: return false;
    }
}

void TKSN_MainWindow::UpdateViewports()
{
    const int menu = MenuBarHeight(*this);
    const int left = ModeButtonBar && ModeButtonBar->Shown ? ModeButtonBar->Width : 0;
    const int top = menu;
    const int width = (SidePanel && SidePanel->Shown ? SidePanel->X : Width) - left;
    int height = Height - menu;
    if (MessageWindow && MessagePanel && MessageWindow->Shown) {
        const int title = MessageWindow->TitleBar ? MessageWindow->TitleBar->Height : 0;
        height = MessageWindow->Y + 1 - title - menu;
    }

    auto place = [&](TKSN_ViewportPanel* panel, const TKSN_ViewportRect& r) {
        TKSN_Viewport* viewport = panel ? panel->GetViewport() : nullptr;
        if (!viewport) return;
        panel->SetPosition(left + r.X, top + r.Y);
        panel->SetSize(r.Width, r.Height);
        panel->BorderWidth = 1;
        viewport->Resize(left + r.X, top + r.Y, r.Width, r.Height);
    };

    TKSN_ViewportRect rects[4];
    bool shown[4];
    int leftOver = LeftOverRightSpace;
    if (App && KSN_ViewportLayout(App->viewportLayout, width, height, rects, shown, leftOver)) {
        LeftOverRightSpace = leftOver;
        for (int i = 0; i < 4; ++i) {
            if (!ViewportPanels[i]) continue;
            if (!shown[i]) {
                ViewportPanels[i]->Hide();
                continue;
            }
            ViewportPanels[i]->Show();
            place(ViewportPanels[i], rects[i]);
        }
    }
    if (MaximizedViewportPanel) {
        for (TKSN_ViewportPanel* p : ViewportPanels)
            if (p && p != MaximizedViewportPanel) p->Hide();
        MaximizedViewportPanel->Show();
        LeftOverRightSpace = width - Down8(width);
        place(MaximizedViewportPanel, {0, 0, Down8(width), height});
    }
    if (DummyViewportPaddingNode) {
        DummyViewportPaddingNode->SetPosition(left + width - LeftOverRightSpace, top);
        DummyViewportPaddingNode->SetSize(LeftOverRightSpace, std::max(height, 0));
        DummyViewportPaddingNode->BorderWidth = 0;
    }
    for (TKSN_ViewportPanel* p : ViewportPanels) {
        if (!p) continue;
        if (p->Shown) {
            p->UpdateVisibilityForTitleBarItems();
            if (p->RearViewPanel) {
                p->RearViewPanel->SetPosition(p->Width - 64, p->Height - 64);
                p->RearViewPanel->SetSize(64, 64);
            }
        }
        if (TKSN_Viewport* viewport = p->GetViewport()) viewport->shown = p->Shown;
    }
}

void TKSN_MainWindow::UpdateSize()
{
    const int W = Width, H = Height;
    if (MessageWindow && MessagePanel && MessageWindow->Shown) {
        const int edge = std::max(std::min(MessageWindow->Y, H - 50), 100);
        MessageWindow->Y = edge;
        if (edge != LastMessageWindow_y && Project) {
            Project->OnAllViewportsChanged();
            for (TKSN_ViewportPanel* p : ViewportPanels)
                if (p && p->Shown) p->OnUpdateContents();
        }
        LastMessageWindow_y = edge;
        const bool modeBar = ModeButtonBar && ModeButtonBar->Shown;
        const int side = SidePanel && SidePanel->Shown ? SidePanel->Width : 0;
        MessageWindow->X = modeBar ? ModeButtonBar->X + ModeButtonBar->Width : 0;
        MessageWindow->Width = W - side - (modeBar ? ModeButtonBar->Width : 0);
        MessageWindow->Height = H - edge;
        MessagePanel->SetPosition(0, 0);
        MessagePanel->SetSize(MessageWindow->Width / 2, MessageWindow->Height);
        if (HintPanel) {
            HintPanel->SetPosition(MessagePanel->Width, 0);
            HintPanel->SetSize(MessageWindow->Width / 2, MessageWindow->Height);
        }
    }
    UpdateViewports();
}
