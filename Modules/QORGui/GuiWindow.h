// TGui_Window: a movable panel inside the canvas with a title bar above it
// (dialogs, tool windows, the splash screen); TGui_TitleBar: the bar that
// shows the window's name, moves the window when dragged and carries the
// close button (TGui_CloseButton).
//
// Invariants:
// - A shown window is last among its siblings (on top) and is the master's
//   active window; a modal one is also on the master's modal stack, at most
//   once. Hiding removes every entry of the window and hands the active
//   window to the new top of the stack.
// - Deleting a window takes it off every master's stack and active window.
// - The title bar rests at (0, 1 - its height); when the master moves it with
//   the mouse, the window's UpdateSize turns that into a window move and puts
//   the bar back, keeping at least 10 pixels of the window reachable.
#pragma once

#include "GuiButton.h"

class TGui_TitleBar;

class TGui_Window : public TGui_Node {
public:
    explicit TGui_Window(TGui_Node* parent = nullptr);
    ~TGui_Window() override;

    void Show() override;
    void Hide() override;
    void ShowModal();
    // Lays out, focuses the first focusable node, centres and shows modally;
    // returns at once.
    void Execute();
    void Centre();
    void SetSize(int width, int height);
    void MakeNonResizeable();
    void UpdateSize() override;

    bool IsModal = false;
    int32_t MinWidth = 100, MinHeight = 50;
    bool ClampSizeToMaster = true;
    bool KeepInsideParent = true;
    bool ClosedByCloseButton = false;
    bool DimOtherWindows = true;
    TGui_TitleBar* TitleBar = nullptr;   // a control of the window
    TGui_Node* ResizeHandle = nullptr;
};

class TGui_CloseButton : public TGui_Button {
public:
    explicit TGui_CloseButton(TGui_Node* parent = nullptr);
    bool OnClick(int x, int y) override;
};

class TGui_TitleBar : public TGui_Node {
public:
    explicit TGui_TitleBar(TGui_Node* parent = nullptr);
    void OnMouse(int button, int state, int x, int y) override;
    void UpdateSize_SecondPass() override;
    void Hide() override;
    void Draw() override;

    TGui_CloseButton* CloseButton = nullptr;   // a child
};

// The node itself when it is a window, else its nearest window ancestor; null when none.
TGui_Window* GetParentWindow(TGui_Node* node);
