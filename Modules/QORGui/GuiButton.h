// TGui_Button: the clickable node of the toolkit (push button, toggle or
// indicator), drawn as a picture or as a bevelled surface with its caption;
// TGui_CheckBox: a toggle drawn as a small sunken box with a check mark and
// the caption to its right.
//
// Invariants:
// - A push button is Pressed only between a left press and a left release
//   that reach it; a toggle changes only by a click or by reading its live
//   variable during layout; an indicator changes only when its owner sets it.
// - The pop-up menu is not owned: it lives in the master's tree and is held
//   by ID, so a deleted menu simply detaches (the stale ID is cleared where
//   it is met).
#pragma once

#include "GuiNode.h"

class TGui_Menu;

class TGui_Button : public TGui_Node {
public:
    explicit TGui_Button(TGui_Node* parent = nullptr);

    void SetPopupMenu(TGui_Menu* menu);
    // The attached menu, or null (a stale ID is cleared).
    TGui_Menu* GetPopupMenu();
    // Opens the attached menu beside the button by PopupPlacement.
    void DoPopupMenu();

    bool OnClick(int x, int y) override;
    void OnEnter(int x, int y) override;
    void OnExit(int x, int y, TGui_Node* entered) override;
    void OnMouse(int button, int state, int x, int y) override;
    void UpdateSize() override;
    void Draw() override;
    void DrawName() override;

    uint32_t PopupMenuID = 0;
    int32_t ButtonMode = 0;        // 0 push button, 1 toggle, 2 indicator
    bool Pressed = false;          // pressed (push) or checked (toggle, indicator)
    int32_t PopupMouseButton = 0;  // 0 left, 1 middle, 2 right
    int32_t PopupPlacement = 0;    // 0 below, 1 right centred, 2 left, 3 right bottoms, 4 right tops, 5 above, 6 above left
    bool PopupOnHover = false;

protected:
    // Reads the live boolean variable into Pressed (mode 0 call).
    void ReadBoolVariable();
    // The caption's top-left corner by TextAlignment (before the pressed offset).
    void CaptionOrigin(int textWidth, int& x, int& y) const;
};

class TGui_CheckBox : public TGui_Button {
public:
    explicit TGui_CheckBox(TGui_Node* parent = nullptr);

    bool OnClick(int x, int y) override;
    void UpdateSize() override;
    void Draw() override;
    void DrawName() override;
    // The box's top-left corner inside the node (pixels).
    int BoxX() const { return MarginX; }
    int BoxY() const;

    int32_t BoxWidth = 12, BoxHeight = 12;   // pixels
};
