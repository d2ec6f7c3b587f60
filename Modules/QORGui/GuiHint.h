// TGui_HintNode: the pale floating box that shows the hint of the node under
// the mouse, wrapped into lines of marked-up text, optionally with a picture,
// and ended by a reminder line. Each master owns one as its child.
//
// Invariants: the hint is rebuilt completely by every PrintHint; its lines are
// owned TGui_Text children of TextColumn; no line is wider than three
// quarters of the master (less the picture), except a single word that is
// wider on its own; words and lines are cut at 4,999 bytes.
#pragma once

#include "GuiNode.h"

class TGui_HintNode : public TGui_Node {
public:
    explicit TGui_HintNode(TGui_Node* parent = nullptr);
    // Shows text as the hint of node (may be null: bottom-right corner), or
    // hides the hint when text is empty.
    void PrintHint(TGui_Node* node, const char* text);
    void UpdateSize_SecondPass() override;
    void Draw() override;

    static constexpr int MaxWordBytes = 4999;

    bool Floating = true;
    TGui_Node* PictureNode = nullptr;
    TGui_Node* TextColumn = nullptr;
};
