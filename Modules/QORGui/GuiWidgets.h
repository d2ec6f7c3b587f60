// Every widget of the toolkit in one include. Edit fields, gauges, sliders
// and scroll bars are declared here with the fields that the node, the master
// and the list box read; windows, menus and buttons come from their own
// headers.
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

// Windows, menus and buttons have their own families; edit fields, gauges,
// sliders and scroll bars are declared here.
#include "GuiButton.h"
#include "GuiMenu.h"
#include "GuiWindow.h"

class TGui_EditField : public TGui_Node {
public:
    explicit TGui_EditField(TGui_Node* parent = nullptr) : TGui_Node(parent) {}
};
