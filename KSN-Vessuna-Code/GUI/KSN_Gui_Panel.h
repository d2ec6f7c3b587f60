// The program's own bases between the GUI toolkit and its widgets: the
// viewport panels' base, every dialog window's base, the Tool tab's
// container and the start-up splash window. They give the program's widgets
// their own types in the widget tree and fix a few shared settings.
#pragma once

#include "GuiNode.h"
#include "GuiWindow.h"

// The base of the viewport panels.
class TKSN_Panel : public TGui_Node {
public:
    explicit TKSN_Panel(TGui_Node* parent) : TGui_Node(parent) {}
    ~TKSN_Panel() override = default;
};

// The base of every dialog window: opens 50 pixels below its parent's top.
class TKSN_SubWindow : public TGui_Window {
public:
    explicit TKSN_SubWindow(TGui_Node* parent);
    ~TKSN_SubWindow() override = default;
};

// The container of the side panel's Tool tab: stacks its visible children,
// keeps its own 230 x 500 size.
class TKSN_ToolWindow : public TGui_Node {
public:
    explicit TKSN_ToolWindow(TGui_Node* parent);
    ~TKSN_ToolWindow() override = default;
    // Queues command 431: the tab is rebuilt at the next pump pass, not now.
    void PostUpdate();
};

// The start-up splash: kept inside its parent at every layout pass; hiding
// it gives its image's video memory back.
class TKSN_SplashScreenWindow : public TGui_Window {
public:
    explicit TKSN_SplashScreenWindow(TGui_Node* parent) : TGui_Window(parent) {}
    ~TKSN_SplashScreenWindow() override = default;
    void UpdateSize() override;
    void Hide() override;
};

// The tool tab has no selection panel: this builder adds nothing.
void SetupSelectionPanel(TGui_Node* parent);
