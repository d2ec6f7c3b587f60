// Four small widgets on TGui_Node: TGui_Text (a caption line),
// TGui_Separator (an engraved line, optionally captioned), TGui_ListBox (a
// sunken, scrollable column of selectable rows) and TGui_ListItem (one row).
//
// Invariants: a list item is a child of a TGui_ListBox (its handlers throw
// otherwise, its drag-and-drop quietly does nothing); the list box numbers its
// items in child order at every layout and copies its click, double-click,
// right-click and mouse templates into them; at most one item is Selected, the
// one at SelectedIndex (-1 none).
#pragma once

#include "GuiNode.h"

class TGui_Text : public TGui_Node {
public:
    explicit TGui_Text(TGui_Node* parent = nullptr);
    void UpdateSize() override;
};

class TGui_Separator : public TGui_Node {
public:
    explicit TGui_Separator(TGui_Node* parent = nullptr);
    void UpdateSize_SecondPass() override;
    void Draw() override;

    bool Vertical = false;
};

class TGui_ListItem;

class TGui_ListBox : public TGui_Node {
public:
    explicit TGui_ListBox(TGui_Node* parent = nullptr);
    // Adds a row; its hint is the text itself, taken literally.
    TGui_ListItem* AddItem(const char* text, int indent);
    // Selects row i, or nothing when i is outside 0..count-1.
    void SetIndex(int i);
    void UpdateSize() override;

    bool RightClickSelects = false;
    float SelectionColor[3] = {0.0f, 0.0f, 0.4f};
    int32_t SelectedIndex = -1;
    bool ItemsDraggable = false;
    bool ItemsAcceptDrops = false;
};

class TGui_ListItem : public TGui_Node {
public:
    explicit TGui_ListItem(TGui_Node* parent = nullptr);
    bool OnClick(int x, int y) override;
    bool OnRightClick(int x, int y) override;
    bool OnDoubleClick(int x, int y) override;
    void OnMouse(int button, int state, int x, int y) override;
    void DragDropReceive(const char* text, int x, int y) override;
    bool DragDropGetSendString(char* buffer, int size) override;
    void UpdateSize() override;
    void Draw() override;

    int32_t Indent = 0;    // levels of 16 pixels
    int32_t Index = -1;    // place in the list box, set by its layout
    bool Selected = false;

private:
    TGui_ListBox* ListBox() const;
    void SelectThisItem();
};
