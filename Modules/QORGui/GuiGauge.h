// TGui_Gauge edits one number between a minimum and a maximum: as a coloured
// bar the mouse drags, or as its own edit field with a small drop-down button
// that opens a gradient strip (TGui_GaugeDropDown) under the gauge. It writes
// the number to live variables, reads them back at every layout pass, and
// brackets every interactive change with ChangeStartEvent ... ChangeEndEvent
// (the node's ChangeEvent in between), which tool parameters use to group
// undo steps. TGui_Slider is a gauge drawn as a track with a thumb and two
// arrow boxes; TGui_ScrollBar is the slider nodes scroll with;
// TGui_TextAndGauge is a caption beside a gauge.
//
// Invariants:
// - Value stays inside the enabled limits after SetValue and SetPercent; a
//   NaN never reaches it.
// - The strip is a top-level node of the master, held by ID (DropDownID) and
//   marked DeletePending with the gauge; a gauge made before its tree had a
//   master has none.
// - Positions are fractions 0..1 of the range; with the quadratic response
//   curve the value follows the square of the position.
// - Nothing here divides by a size below one pixel: such presses map to 0.
#pragma once

#include "GuiEditField.h"
#include "GuiWidgets.h"

class TGui_GaugeHideEditButton;
class TGui_GaugeDropDown;

class TGui_Gauge : public TGui_Node {
public:
    explicit TGui_Gauge(TGui_Node* parent = nullptr);
    ~TGui_Gauge() override;

    // Clamps Value to the enabled limits, stores and returns it.
    float GetValue();
    // Stores value within the enabled limits (a NaN changes nothing); with
    // notify, writes the live variables and raises the change event.
    void SetValue(float value, bool notify);
    // Sets the value at a position 0..1 of the range (squared with the
    // quadratic curve); snap rounds to whole numbers above 1 and to tenths
    // below. Always writes the variables and raises the change event.
    void SetPercent(float percent, bool snap);
    // The shown position of Value, 0..1 (square root with the quadratic curve).
    float GetDisplayedPosition() const;
    // The position a press at node pixel (x, y) stands for, or -1 when the
    // orientation maps nothing.
    float PositionFromPoint(int x, int y) const;
    TGui_GaugeDropDown* GetDropDown();
    // Queue one copy of ChangeStartEvent / ChangeEndEvent from the gauge.
    void RaiseChangeStart();
    void RaiseChangeEnd();

    void OnUpdateContents() override;
    bool OnRightClick(int x, int y) override;
    bool OnMotion(int x, int y) override;
    void OnMouse(int button, int state, int x, int y) override;
    bool OnSpecialKeyPress(int key) override;
    void UpdateSize() override;
    void Draw() override;

    float Value = 0.0f;
    TGui_GaugeEditField* EditField = nullptr;
    TGui_GaugeHideEditButton* DropDownButton = nullptr;
    uint32_t DropDownID = 0;
    int32_t Orientation = 0;     // 0 horizontal, 1 vertical; others map no mouse and draw no bar
    int32_t ResponseCurve = 0;   // 0 linear, 1 quadratic
    int32_t EditFieldInset = 0;  // pixels of the height the edit field leaves uncovered
    bool MinEnabled = true, MaxEnabled = true;
    float Minimum = 0.0f, Maximum = 1.0f;
    bool ShowValueAsName = false;
    int32_t Decimals = 2;
    float BarColorMin[3];
    float BarColorMax[3];
    TQOREvent* ChangeStartEvent = nullptr;   // owned template
    TQOREvent* ChangeEndEvent = nullptr;     // owned template

protected:
    void WriteVariables();
};

class TGui_Slider : public TGui_Gauge {
public:
    explicit TGui_Slider(TGui_Node* parent = nullptr);

    void OnUpdateContents() override;
    bool OnMotion(int x, int y) override;
    void OnMouse(int button, int state, int x, int y) override;
    bool OnSpecialKeyPress(int) override { return false; }
    void Draw() override;

    bool DraggingThumb = false;
    bool EndArrowPressed = false, StartArrowPressed = false;
    int32_t ThumbX = 0, ThumbY = 0;
    int32_t GrabOffset = 0;   // thumb centre minus the press, along the axis
    int32_t TrackLengthX = 0, TrackLengthY = 0;
    int32_t ThumbWidth = 0, ThumbHeight = 0;
    int32_t ArrowSize = 16;        // pixels: side of the arrow boxes and the bar's thickness
    float ThumbFraction = 0.1f;    // thumb length as a part of the track
    float ArrowStep = 0.01f;       // value change of an arrow click
    float PageStep = 0.05f;        // value change of a click beside the thumb

private:
    void UpdateThumb();
    bool Vertical() const { return Orientation == 1; }
};

class TGui_ScrollBar : public TGui_Slider {
public:
    explicit TGui_ScrollBar(TGui_Node* parent = nullptr) : TGui_Slider(parent) {}
};

// The small square button at a gauge's right end that opens its strip; a drag
// from it onto the strip picks the value.
class TGui_GaugeHideEditButton : public TGui_Button {
public:
    explicit TGui_GaugeHideEditButton(TGui_Node* parent = nullptr);
    bool OnMotion(int x, int y) override;
    void OnMouse(int button, int state, int x, int y) override;
    void Draw() override;

    bool Held = false;      // the left button went down here and is still held
    bool Dragged = false;   // the drag reached the strip or the edit field
    int32_t PressX = 0;
};

class TGui_GaugeDropDown : public TGui_Node {
public:
    TGui_GaugeDropDown(TGui_Node* parent, TGui_Gauge* gauge);
    TGui_Gauge* GetGauge();

    void OnUpdateContents() override;
    bool OnMotion(int x, int y) override;
    void OnMouse(int button, int state, int x, int y) override;
    void Draw() override;

    uint32_t GaugeID = 0;

private:
    bool ChangeOpen = false;   // a press here began a change that its release ends
};

class TGui_TextAndGauge : public TGui_Node {
public:
    explicit TGui_TextAndGauge(TGui_Node* parent = nullptr);
    void OnUpdateContents() override {}
    void UpdateSize() override;

    TGui_Gauge* Gauge = nullptr;
    TGui_Text* Caption = nullptr;
    int32_t CaptionWidth = 50;   // pixels
};

// Half away from zero, as every widget rounds.
float Gui_RoundHalfAway(float value);
