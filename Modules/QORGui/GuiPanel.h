// TGui_CollapsiblePanel: a container with a title band at its top that folds
// down to a 20-pixel strip and opens again. Its title text, its toggle
// button and an optional gradient title bar are controls, not children, so
// the panel's own layout arranges only the content below the title band.
//
// Invariants:
// - While Collapsed the panel is 20 pixels high, lays out nothing, hides its
//   scroll bars and draws only its surface, title band, title and toggle.
// - OpenHeight is captured at each fold, so a panel resized while open folds
//   and reopens to its new size; folding a folded panel changes nothing.
// - The content starts TitleHeight pixels down.
#pragma once

#include "GuiWidgets.h"

class TGui_Text;
class TGui_CollapsiblePanelTitleBar;
class TGui_CollapsiblePanelToggleButton;

class TGui_CollapsiblePanel : public TGui_Node {
public:
    explicit TGui_CollapsiblePanel(TGui_Node* parent = nullptr);

    bool IsCollapsed() const { return Collapsed; }
    // Folds the panel; only the toggle opens it again.
    void Collapse();
    // Adds the gradient band behind the title, once.
    void AddTitleBar();
    // Sets the name and passes it on to the title.
    using TGui_Node::SetName;
    void SetName(const char* name, bool relayout);

    bool CanCallOnDraw() override { return DrawEvent != nullptr && !Collapsed; }
    bool CanDrawChildren() override { return !Collapsed; }
    void UpdateSize() override;
    void UpdateSize_SecondPass() override;
    void Draw() override;

    bool Collapsed = false;
    TGui_Text* Title = nullptr;
    TGui_CollapsiblePanelTitleBar* TitleBar = nullptr;
    int32_t OpenHeight = 100;   // pixels
    int32_t TitleHeight = 16;   // pixels
    TGui_CollapsiblePanelToggleButton* Toggle = nullptr;

    static constexpr int CollapsedHeight = 20;   // pixels

private:
    friend class TGui_CollapsiblePanelToggleButton;
    void Expand();
};

class TGui_CollapsiblePanelToggleButton : public TGui_Button {
public:
    explicit TGui_CollapsiblePanelToggleButton(TGui_Node* parent = nullptr);
    bool OnClick(int x, int y) override;
    void Draw() override;

    int32_t Placement = 1;   // 1 at the panel's right end, 2 at its left end; others stay put
};

class TGui_CollapsiblePanelTitleBar : public TGui_Node {
public:
    explicit TGui_CollapsiblePanelTitleBar(TGui_Node* parent = nullptr) : TGui_Node(parent) {}
    void Draw() override;
};
