// TKSN_ViewportOptionsWindow: the small dialog with the options of one
// viewport panel: its orientation and display-mode drop-downs (the title
// bar's menus), the background grid switch and the buttons of the background
// and wireframe colour dialogs. The drop-downs and colour buttons act at once
// through their own commands; OK only applies the grid switch and closes.
//
// The window is made once by the main window and kept; Execute rebuilds its
// widgets for a panel. The panel is remembered by pointer but only used while
// it still shows a viewport. Main thread only.
#pragma once

#include "KSN_Gui_Panel.h"

#include <cstdint>

class TGui_CheckBox;
class TKSN_ViewportPanel;
class TQOREvent;

class TKSN_ViewportOptionsWindow : public TKSN_SubWindow {
public:
    explicit TKSN_ViewportOptionsWindow(TGui_Node* parent);
    ~TKSN_ViewportOptionsWindow() override = default;

    // Fills the window for the panel and shows it; a panel without a viewport
    // is remembered but the window stays as it was.
    void Execute(TKSN_ViewportPanel* panel);
    // Refills the display-mode drop-down for the remembered panel.
    void UpdateMenus();
    // The OK button's callback: 1 when the window was found, else 0.
    static int OkClickedCB(TQOREvent* event);

    TKSN_ViewportPanel* Panel = nullptr;
    uint32_t DisplayOptionsID = 0;
    TGui_CheckBox* BackgroundGridBox = nullptr;
};

// Button text on a filled colour: black on light fills (RGB length at least
// 0.86), else light grey.
void KSN_ButtonTextColorForFill(const float* fill, float* text);
