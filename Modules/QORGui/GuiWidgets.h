// The widgets whose behaviour comes later (windows, menus, buttons, edit
// fields, gauges, sliders and scroll bars), declared with the fields that the
// node, the master and the list box already read. Their builders, drawing and
// input handling extend these classes; the fields keep their defaults until
// then.
#pragma once

#include "GuiNode.h"

class TGui_Gauge : public TGui_Node {
public:
    explicit TGui_Gauge(TGui_Node* parent = nullptr) : TGui_Node(parent) {}
    float Value = 0.0f;
    int32_t Orientation = 0;   // 0 horizontal, 1 vertical
    bool MinEnabled = true, MaxEnabled = true;
    float Minimum = 0.0f, Maximum = 1.0f;
};

class TGui_Slider : public TGui_Gauge {
public:
    explicit TGui_Slider(TGui_Node* parent = nullptr) : TGui_Gauge(parent) {}
    int32_t ArrowSize = 16;        // pixels: side of the arrow boxes and the bar's thickness
    float ThumbFraction = 0.1f;    // thumb length as a part of the track
    float ArrowStep = 0.01f;       // value change of an arrow click
    float PageStep = 0.05f;        // value change of a click beside the thumb
};

class TGui_ScrollBar : public TGui_Slider {
public:
    explicit TGui_ScrollBar(TGui_Node* parent = nullptr) : TGui_Slider(parent) {}
};

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

class TGui_EditField : public TGui_Node {
public:
    explicit TGui_EditField(TGui_Node* parent = nullptr) : TGui_Node(parent) {}
};
