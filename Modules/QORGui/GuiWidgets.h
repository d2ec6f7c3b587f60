// The widgets whose behaviour comes later (windows, menus, buttons, edit
// fields, gauges, sliders and scroll bars), declared with the fields that the
// node, the master and the list box already read. Their builders, drawing and
// input handling extend these classes; the fields keep their defaults until
// then.
#pragma once

#include "GuiNode.h"

class TGui_Window : public TGui_Node {
public:
    explicit TGui_Window(TGui_Node* parent = nullptr) : TGui_Node(parent) {}
    bool IsModal = false;
    int32_t MinWidth = 100, MinHeight = 50;
    bool ClampSizeToMaster = true;
    bool KeepInsideParent = true;
    bool ClosedByCloseButton = false;
    bool DimOtherWindows = true;
    TGui_Node* TitleBar = nullptr;   // a control of the window; none until windows are built
    TGui_Node* ResizeHandle = nullptr;
};

class TGui_Menu : public TGui_Node {
public:
    explicit TGui_Menu(TGui_Node* parent = nullptr) : TGui_Node(parent) {}
};

class TGui_MenuBar : public TGui_Node {
public:
    explicit TGui_MenuBar(TGui_Node* parent = nullptr) : TGui_Node(parent) {}
};

class TGui_Button : public TGui_Node {
public:
    explicit TGui_Button(TGui_Node* parent = nullptr) : TGui_Node(parent) {}
};

// Edit fields, gauges, sliders, scroll bars, drop-down boxes and collapsible
// panels live in their own headers; they build on the classes above.
#include "GuiEditField.h"
#include "GuiGauge.h"
#include "GuiDropDown.h"
#include "GuiPanel.h"
