// The main window's sizing pass and the six viewport layouts.
//
// UpdateSize runs at every layout pass of the toolkit (after the children
// have sized themselves) and whenever a command changes a size: the tool bar
// over the viewports, the side column (tab bar, side panel, layer window),
// the tab pages, the message window kept inside the canvas (marking the
// viewports stale when it moved), the four viewport panels in the
// application's configuration or the maximised panel alone, and the mode
// bar down the left edge. Positions are pixels, x right and y down from the
// main window's top-left corner; divisions are integer divisions.
#include "KSN_Gui_MainWindow.h"

#include "GuiButton.h"
#include "GuiMenu.h"
#include "GuiGauge.h"
#include "GuiWindow.h"
#include "KSN_Application.h"
#include "KSN_Gui_LayerWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Project.h"
#include "KSN_ViewportPanel.h"
#include "KSN_Viewport.h"

#include <algorithm>

int LeftOverRightSpace = 0;
int LastMessageWindow_y = -1;
TGui_Node* LineUnderTabNode = nullptr;

namespace {

int Down8(int x) { return x - (x % 8 + 8) % 8; }

int MenuBarHeight(TKSN_MainWindow& w) { return w.MenuBar ? w.MenuBar->Height : 0; }

bool IsShown(const TGui_Node* n) { return n && n->Shown; }

int TitleBarHeight(const TGui_Window* w) { return w && w->TitleBar && w->TitleBar->Shown ? w->TitleBar->Height : 0; }

// A tab button in the tab bar's colours: flat in the first colour for the
// current tab, the bar's gradient for the others.
void ColourTabButton(TGui_Button* button, const TGui_Node* bar, bool current)
{
    std::copy(bar->BackgroundColor, bar->BackgroundColor + 3, button->BackgroundColor);
    const float* second = current ? bar->BackgroundColor : bar->BackgroundColorB;
    std::copy(second, second + 3, button->BackgroundColorB);
}

// The page fills the side panel and is at least 20 pixels taller than its
// lowest child, so the panel's scroll bar can bring every child into view.
void SizeTabPage(TGui_Node* page, int panelHeight)
{
    page->BorderWidth = 0;
    page->SetPosition(0, 0);
    int bottom = 0;
    for (TGui_Node* c = page->FirstChild; c; c = c->Next)
        if (c->Shown) bottom = std::max(bottom, c->Y + c->Height);
    page->Height = std::max(panelHeight, bottom + 20);
}

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
    const int left = IsShown(ModeButtonBar) ? ModeButtonBar->Width : 0;
    const int toolBar = IsShown(ToolBar) ? ToolBar->Height : 0;
    const int top = menu + toolBar;
    const int width = (IsShown(SidePanel) ? SidePanel->X : Width) - left;
    int height = Height - menu;
    if (MessageWindow && MessagePanel && MessageWindow->Shown)
        height = MessageWindow->Y + 1 - TitleBarHeight(MessageWindow) - menu;
    height -= toolBar;

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

int TKSN_MainWindow::SidePanelWidthForTab()
{
    const int scrollBar = SidePanel->VerticalScrollBar ? SidePanel->VerticalScrollBar->Width : 0;
    int width = 230;
    bool horizontal = false;
    switch (CurrentTab) {
    case 0:
        if (ToolWindow) width = ToolWindow->Width + scrollBar;
        break;
    case 1:
        // The project tree is wider than the panel: it scrolls sideways.
        if (ToolWindow) width = ToolWindow->Width + scrollBar;
        horizontal = true;
        break;
    case 2:
        if (MapsNode) width = MapsNode->Width + scrollBar;
        break;
    default: break;
    }
    if (TGui_ScrollBar* h = SidePanel->HorizontalScrollBar) {
        if (horizontal)
            h->Show();
        else
            h->Hide();
    }
    return width;
}

void TKSN_MainWindow::UpdateSize()
{
    const int W = Width, H = Height;
    const int menu = MenuBarHeight(*this);

    // 1. The side panel's width follows the page of the current tab.
    if (SidePanel) SidePanel->Width = SidePanelWidthForTab();
    const int sideWidth = SidePanel ? SidePanel->Width : 0;
    const int shownSideWidth = IsShown(SidePanel) ? sideWidth : 0;

    // 2-3. The tool bar across the top of the viewport area, the tab bar
    // at the top of the side column.
    if (ToolBar) {
        ToolBar->Height = 22;
        ToolBar->X = ModeButtonBar ? ModeButtonBar->Width : 0;
        ToolBar->Width = std::max(0, W - ToolBar->X - shownSideWidth);
        ToolBar->Y = menu;
    }
    if (TabBar) {
        TabBar->Width = sideWidth;
        TabBar->X = W - TabBar->Width;
        TabBar->Y = menu;
    }

    // 4. The side panel below the tab bar; with a layer window it ends
    // where the layer window's title bar begins, and the layer window takes
    // the rest of the column.
    if (SidePanel) {
        SidePanel->X = W - SidePanel->Width;
        SidePanel->Y = menu + (TabBar ? TabBar->Height : 0);
        SidePanel->Height = std::max(0, H - SidePanel->Y);
        if (LayerWindow) {
            const int title = TitleBarHeight(LayerWindow);
            // A title bar dragged above the side panel's top (or a canvas
            // that shrank under it) is put back inside the column, so the
            // side panel never gets a negative height.
            LayerWindow->Y = std::max(LayerWindow->Y, SidePanel->Y + title - 1);
            LayerWindow->Y = std::min(LayerWindow->Y, std::max(SidePanel->Y + title - 1, H - 20));
            SidePanel->Height = std::max(0, LayerWindow->Y - title - SidePanel->Y + 1);
            LayerWindow->Width = SidePanel->Width;
            LayerWindow->X = SidePanel->X;
            LayerWindow->Height = std::max(0, H - LayerWindow->Y);
        }
    }

    // 5-6. Only the current tab's page is shown; its button is drawn flat so
    // that it merges with the page.
    if (AnimationControlsNode) AnimationControlsNode->Hide();
    if (MapsNode) MapsNode->Hide();
    TGui_Button* currentButton = nullptr;
    TGui_Node* currentPage = nullptr;
    const std::pair<TGui_Button*, TGui_Node*> tabs[] = {
        {ToolTabButton, ToolWindow}, {ManagerTabButton, ObjectManagerNode}, {MapsTabButton, MapsNode}};
    for (int i = 0; i < 3; ++i) {
        auto [button, page] = tabs[i];
        if (!page) continue;
        const bool current = i == CurrentTab;
        if (current) {
            page->Show();
            currentButton = button;
            currentPage = page;
        } else {
            page->Hide();
        }
        if (button && TabBar) ColourTabButton(button, TabBar, current);
    }

    // 7. The line that joins the current tab button to its page.
    if (SidePanel && !LineUnderTabNode) {
        LineUnderTabNode = SidePanel->AddNode("", 100, 2);
        LineUnderTabNode->ShowName = false;
        LineUnderTabNode->BorderWidth = 0;
        LineUnderTabNode->Gradient = false;
        LineUnderTabNode->MouseTransparent = true;
    }
    if (LineUnderTabNode && currentButton) {
        LineUnderTabNode->X = currentButton->X + 1;
        LineUnderTabNode->Width = currentButton->Width - 2;
        if (TabBar) {
            std::copy(TabBar->BackgroundColor, TabBar->BackgroundColor + 3, LineUnderTabNode->BackgroundColor);
            std::copy(TabBar->BackgroundColor, TabBar->BackgroundColor + 3, LineUnderTabNode->BackgroundColorB);
        }
    }

    // 8. The current page fills the side panel.
    if (currentPage && SidePanel) SizeTabPage(currentPage, SidePanel->Height);

    // 9. The Edit menu is usable again once the window is laid out.
    if (EditMenuButton) EditMenuButton->Enable();
    if (ModeButtonBar) ModeButtonBar->Show();

    // 10. The message window, kept between 100 pixels from the top and 50
    // from the bottom.
    if (MessageWindow && MessagePanel && MessageWindow->Shown) {
        const int edge = std::max(std::min(MessageWindow->Y, H - 50), 100);
        MessageWindow->Y = edge;
        if (edge != LastMessageWindow_y && Project) {
            Project->OnAllViewportsChanged();
            for (TKSN_ViewportPanel* p : ViewportPanels)
                if (p && p->Shown) p->OnUpdateContents();
        }
        LastMessageWindow_y = edge;
        const bool modeBar = IsShown(ModeButtonBar);
        MessageWindow->X = modeBar ? ModeButtonBar->X + ModeButtonBar->Width : 0;
        MessageWindow->Width = W - shownSideWidth - (modeBar ? ModeButtonBar->Width : 0);
        MessageWindow->Height = H - edge;
        MessagePanel->SetPosition(0, 0);
        MessagePanel->SetSize(MessageWindow->Width / 2, MessageWindow->Height);
        if (HintPanel) {
            HintPanel->SetPosition(MessagePanel->Width, 0);
            HintPanel->SetSize(MessageWindow->Width / 2, MessageWindow->Height);
        }
    }

    // 11. The viewport panels.
    UpdateViewports();

    // 12. The mode bar down the left edge; the logo and the brush controls
    // stand at its foot, the lowest first, 2 pixels apart.
    if (ModeButtonBar) {
        ModeButtonBar->SetPosition(0, menu);
        ModeButtonBar->SetSize(48, std::max(0, H - menu));
        int bottom = ModeButtonBar->Height - 2;
        const std::pair<TGui_Node*, bool> foot[] = {{LogoButton, false},
                                                    {ColorSwatch, true},
                                                    {BrushImageButton, true},
                                                    {BrushShapeButton, true}};
        for (auto [node, atEight] : foot) {
            if (!node) continue;
            node->Y = bottom - node->Height;
            if (atEight) node->X = 8;
            bottom = node->Y - 2;
        }
    }
}

void TKSN_MainWindow::Reshape(int width, int height)
{
    // The layer window keeps its height: its top edge moves with the bottom.
    // Made before the canvas had a size, it starts 130 pixels above the bottom.
    if (LayerWindow) LayerWindow->Y = Height > 0 ? LayerWindow->Y + height - Height : height - 130;
    TGui_BlankApp::Reshape(width, height);
}
