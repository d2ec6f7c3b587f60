// Gauges, sliders and scroll bars: values and positions, live variables,
// layout, the mouse and the arrow keys; the drop-down button and strip; the
// caption-and-gauge widget. Drawing is GuiGauge_Draw.cpp.
//
// Index: [SECTION] Gauge  [SECTION] Slider  [SECTION] Drop-down button
//        [SECTION] Drop-down strip  [SECTION] Text and gauge
#include "GuiGauge.h"

#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "QOREvents.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr int KeyLeft = 314, KeyRight = 316;

void CopyColour(float* dst, const float* src) { std::copy(src, src + 3, dst); }

TGui_Node* ResolveNode(uint32_t id) { return id ? dynamic_cast<TGui_Node*>(__GetThingyFromID(id)) : nullptr; }

bool IsInside(TGui_Node* container, TGui_Node* node)
{
    return node == container || TGui_Node::IsNodeInTree(container->FirstChild, node, false) ||
           TGui_Node::IsNodeInTree(container->FirstControl, node, false);
}

void QueueFrom(TGui_Node* dispatcher, TQOREvent* templ)
{
    if (!templ) return;
    auto* e = new TQOREvent(templ);
    e->SetDispatcher(dispatcher);
    QOREvents_PushEvent(e);
}
} // namespace

float Gui_RoundHalfAway(float value) { return std::round(value); }

// [SECTION] Gauge

TGui_Gauge::TGui_Gauge(TGui_Node* parent) : TGui_Node(parent)
{
    Width = 100;
    Height = 16;
    CopyColour(BackgroundColor, QORglutWigits_DefaultLightBackgroundColor);
    CopyColour(TextColor, QORglutWigits_DefaultTextColorOnLightBackground);
    CopyColour(BarColorMin, QORglutWigits_GaugeColorMin);
    CopyColour(BarColorMax, QORglutWigits_GaugeColorMax);
    NoFocus = false;
    ClickOnReleaseAnywhere = true;
    SetName("", false);
    EditField = new TGui_GaugeEditField(this);
    EditField->HintFromParent = true;
    if (TGui_Master* m = GetMaster()) {
        auto* strip = new TGui_GaugeDropDown(m, this);
        strip->KeepOnTop = true;
        strip->HintFromParent = true;
        strip->Hide();
        DropDownID = strip->GetID();
    }
    DropDownButton = new TGui_GaugeHideEditButton(this);
    DropDownButton->SetName("", false);
    DropDownButton->HintFromParent = true;
}

TGui_Gauge::~TGui_Gauge()
{
    if (TGui_GaugeDropDown* strip = GetDropDown()) strip->DeletePending = true;
    delete ChangeStartEvent;
    delete ChangeEndEvent;
    ChangeStartEvent = ChangeEndEvent = nullptr;
}

TGui_GaugeDropDown* TGui_Gauge::GetDropDown()
{
    auto* strip = dynamic_cast<TGui_GaugeDropDown*>(ResolveNode(DropDownID));
    if (!strip) DropDownID = 0;
    return strip;
}

float TGui_Gauge::GetValue()
{
    if (MinEnabled && Value < Minimum) Value = Minimum;
    if (MaxEnabled && Value > Maximum) Value = Maximum;
    return Value;
}

void TGui_Gauge::WriteVariables()
{
    if (FloatVariableEvent && FloatVariableEvent->callback) {
        FloatVariableEvent->SetDispatcher(this);
        FloatVariableEvent->operationMode = 1;
        FloatVariableEvent->floatParameters[0] = Value;
        FloatVariableEvent->callback(FloatVariableEvent);
    }
    if (IntVariableEvent && IntVariableEvent->callback) {
        IntVariableEvent->SetDispatcher(this);
        IntVariableEvent->operationMode = 1;
        IntVariableEvent->intParameters[0] = int32_t(Gui_RoundHalfAway(Value));
        IntVariableEvent->callback(IntVariableEvent);
    }
}

void TGui_Gauge::SetValue(float value, bool notify)
{
    if (std::isnan(value)) return;
    Value = value;
    GetValue();
    if (!notify) return;
    WriteVariables();
    OnChange();
}

void TGui_Gauge::SetPercent(float p, bool snap)
{
    if (std::isnan(p)) return;
    if (MinEnabled) p = std::max(p, 0.0f);
    if (MaxEnabled) p = std::min(p, 1.0f);
    if (ResponseCurve == 1) p = p * p;
    float v = Minimum + (Maximum - Minimum) * p;
    if (snap) v = v > 1.0f ? Gui_RoundHalfAway(v) : Gui_RoundHalfAway(v * 10.0f) / 10.0f;
    // Snapping must not carry the value past a limit (2.5 at 100 % stays 2.5).
    if (!std::isnan(v)) {
        Value = v;
        GetValue();
    }
    WriteVariables();
    OnChange();
}

float TGui_Gauge::GetDisplayedPosition() const
{
    float range = Maximum - Minimum;
    float p = range > 1e-30f ? (Value - Minimum) / range : 0.0f;
    return ResponseCurve == 1 ? std::sqrt(std::max(p, 0.0f)) : p;
}

float TGui_Gauge::PositionFromPoint(int x, int y) const
{
    if (Orientation == 0) return Width < 1 ? 0.0f : float(x) / float(Width);
    if (Orientation == 1) return Height < 1 ? 0.0f : 1.0f - float(y) / float(Height);
    return -1.0f;
}

void TGui_Gauge::RaiseChangeStart() { QueueFrom(this, ChangeStartEvent); }
void TGui_Gauge::RaiseChangeEnd() { QueueFrom(this, ChangeEndEvent); }

void TGui_Gauge::OnUpdateContents()
{
    if (DropDownButton->Shown) {
        DropDownButton->SetSize(Height, Height);
        DropDownButton->SetPosition(Width - Height, 0);
    }
    EditField->MinEnabled = MinEnabled;
    EditField->MaxEnabled = MaxEnabled;
}

void TGui_Gauge::UpdateSize()
{
    if (TGui_GaugeDropDown* strip = GetDropDown()) {
        if (!IsVisible(true)) strip->Hide();
        if (strip->Shown) {
            strip->SetPosition(AbsX, AbsY + Height);
            strip->Width = Width;
        }
    }
    if (DropDownButton->Shown) {
        DropDownButton->SetSize(Height, Height);
        DropDownButton->SetPosition(Width - Height, 0);
    }
    EditField->Decimals = Decimals;
    // Only the gauge talks to the variables.
    delete EditField->FloatVariableEvent;
    EditField->FloatVariableEvent = nullptr;

    TGui_Master* m = GetMaster();
    bool typing = (EditField->Shown && EditField->HideOnDeactivate) || (m && m->ActiveNodeID == EditField->GetID());
    if (!typing) {
        float v = Value;
        if (IntVariableEvent) {
            int32_t rounded = int32_t(Gui_RoundHalfAway(Value));
            v = float(rounded);
            if (IntVariableEvent->callback) {
                IntVariableEvent->SetDispatcher(this);
                IntVariableEvent->operationMode = 0;
                IntVariableEvent->intParameters[0] = rounded;
                IntVariableEvent->callback(IntVariableEvent);
                v = float(IntVariableEvent->intParameters[0]);
            }
        } else if (FloatVariableEvent && FloatVariableEvent->callback) {
            FloatVariableEvent->SetDispatcher(this);
            FloatVariableEvent->operationMode = 0;
            FloatVariableEvent->floatParameters[0] = Value;
            FloatVariableEvent->callback(FloatVariableEvent);
            v = FloatVariableEvent->floatParameters[0];
        }
        if (!std::isnan(v)) Value = v;
        EditField->SetFloatValue(Value, nullptr, false);
    }
    if (ShowValueAsName) {
        int decimals = std::clamp(int(Decimals), 0, 20);
        double scale = std::pow(10.0, decimals);
        char text[400];
        std::snprintf(text, sizeof text, "%.*f", decimals, std::round(double(Value) * scale) / scale);
        SetName(text, false);
    }
    TGui_Node::UpdateSize();
    EditField->Width = Width;
    EditField->Height = Height - EditFieldInset;
}

void TGui_Gauge::OnMouse(int button, int state, int x, int y)
{
    TGui_Node::OnMouse(button, state, x, y);
    if (button != 0) return;
    // The bracket encloses every change of the interaction, the press's own included.
    if (state == 0) {
        RaiseChangeStart();
        float p = PositionFromPoint(x, y);
        if (p >= 0.0f) SetPercent(p, false);
        OnChange();
    } else if (state == 1) {
        EditField->Show();
        DropDownButton->Show();
        OnChange();
        RaiseChangeEnd();
    }
}

bool TGui_Gauge::OnMotion(int x, int y)
{
    TGui_Node::OnMotion(x, y);
    TGui_Master* m = GetMaster();
    if (!m || m->LastButton != 0) return false;
    float p = PositionFromPoint(x, y);
    if (p >= 0.0f) SetPercent(p, false);
    EditField->SetFloatValue(Value, nullptr, false);
    return true;
}

bool TGui_Gauge::OnRightClick(int x, int y)
{
    TGui_Node::OnRightClick(x, y);
    if (EditField->HideOnDeactivate) {
        EditField->Show();
        if (TGui_Master* m = GetMaster()) m->SetActiveNode(EditField);
    }
    return true;
}

bool TGui_Gauge::OnSpecialKeyPress(int key)
{
    float q = GetDisplayedPosition();
    if (key == KeyLeft)
        q = std::max(0.0f, q - 0.05f);
    else if (key == KeyRight)
        q = std::min(1.0f, q + 0.05f);
    else
        return false;
    SetPercent(q, false);
    return true;
}

TGui_Gauge* TGui_Node::AddGauge(const char* name, const char* hint, float, float maximum)
{
    auto* g = new TGui_Gauge(this);
    if (name) g->SetName(name, true);
    if (hint) g->SetHint("%s", hint);
    g->Maximum = maximum;
    return g;
}

// [SECTION] Slider

TGui_Slider::TGui_Slider(TGui_Node* parent) : TGui_Gauge(parent)
{
    DropDownButton->Hide();
    EditField->Hide();
}

void TGui_Slider::UpdateThumb()
{
    const int a = ArrowSize;
    float p = std::clamp(GetDisplayedPosition(), 0.0f, 1.0f);
    if (!Vertical()) {
        Height = a;
        ThumbWidth = std::max(0, int(float(Width - 2 * a) * ThumbFraction));
        ThumbHeight = Height;
        TrackLengthX = Width - ThumbWidth - 2 * a;
        ThumbX = int(p * float(TrackLengthX) + float(a));
        ThumbY = 0;
    } else {
        Width = a;
        ThumbWidth = Width;
        ThumbHeight = Maximum > Minimum + 1e-30f ? int(float(Height - 2 * a) * ThumbFraction) : Height - 2 * a;
        ThumbHeight = std::max(0, ThumbHeight);
        TrackLengthY = Height - ThumbHeight - 2 * a;
        ThumbY = int(float(TrackLengthY) * p + float(a));
        ThumbX = 0;
    }
}

void TGui_Slider::OnUpdateContents()
{
    TGui_Gauge::OnUpdateContents();
    UpdateThumb();
}

void TGui_Slider::OnMouse(int button, int state, int x, int y)
{
    TGui_Node::OnMouse(button, state, x, y);
    if (button != 0) return;
    if (state == 1) {
        DraggingThumb = StartArrowPressed = EndArrowPressed = false;
        return;
    }
    if (state != 0) return;
    UpdateThumb();
    int c = Vertical() ? y : x, length = Vertical() ? Height : Width;
    int t = Vertical() ? ThumbY : ThumbX, s = Vertical() ? ThumbHeight : ThumbWidth;
    float v = GetValue();
    if (c <= ArrowSize) {
        SetValue(v - ArrowStep, true);
        StartArrowPressed = true;
    } else if (c >= length - ArrowSize) {
        SetValue(v + ArrowStep, true);
        EndArrowPressed = true;
    } else if (c < t) {
        SetValue(v - PageStep, true);
    } else if (c >= t + s) {
        SetValue(v + PageStep, true);
    } else {
        GrabOffset = s / 2 + t - c;
        DraggingThumb = true;
    }
    UpdateThumb();
}

bool TGui_Slider::OnMotion(int x, int y)
{
    TGui_Node::OnMotion(x, y);
    if (!DraggingThumb) return false;
    UpdateThumb();
    int track = Vertical() ? TrackLengthY : TrackLengthX;
    if (track < 1) return false;
    int c = Vertical() ? y : x, s = Vertical() ? ThumbHeight : ThumbWidth;
    SetPercent(float(c + GrabOffset - ArrowSize - s / 2) / float(track), false);
    UpdateThumb();
    return true;
}

// [SECTION] Drop-down button

TGui_GaugeHideEditButton::TGui_GaugeHideEditButton(TGui_Node* parent) : TGui_Button(parent) { SetName("", false); }

void TGui_GaugeHideEditButton::OnMouse(int button, int state, int x, int y)
{
    TGui_Button::OnMouse(button, state, x, y);
    bool wasHeld = Held;
    Held = false;
    auto* gauge = dynamic_cast<TGui_Gauge*>(Parent);
    if (!gauge) return;
    if (button != 0) {
        Dragged = false;
        return;
    }
    TGui_GaugeDropDown* strip = gauge->GetDropDown();
    if (state == 0) {
        Dragged = false;
        Held = true;
        PressX = x;
        if (strip) strip->Shown ? strip->Hide() : strip->Show();
    } else if (state == 1 && wasHeld && Dragged) {
        Dragged = false;
        if (strip) strip->Hide();
        gauge->RaiseChangeEnd();
    }
}

bool TGui_GaugeHideEditButton::OnMotion(int x, int y)
{
    TGui_Button::OnMotion(x, y);
    auto* gauge = dynamic_cast<TGui_Gauge*>(Parent);
    if (!Held || !gauge) return false;
    if (!Dragged) {
        TGui_Master* m = GetMaster();
        TGui_Node* over = m ? ResolveNode(m->MouseOverNodeID) : nullptr;
        TGui_GaugeDropDown* strip = gauge->GetDropDown();
        if (over && (over == gauge->EditField || (strip && IsInside(strip, over)))) {
            Dragged = true;
            gauge->RaiseChangeStart();
        }
    }
    if (Dragged) {
        float q = float(AbsX + x - gauge->AbsX) / float(std::max(1, gauge->Width));
        if (gauge->MinEnabled) q = std::max(q, 0.0f);
        if (gauge->MaxEnabled) q = std::min(q, 1.0f);
        gauge->SetPercent(q, true);
    }
    return true;
}

// [SECTION] Drop-down strip

TGui_GaugeDropDown::TGui_GaugeDropDown(TGui_Node* parent, TGui_Gauge* gauge) : TGui_Node(parent)
{
    GaugeID = gauge ? gauge->GetID() : 0;
    Height = 14;
    Rounded = false;
    ModalExempt = true;
}

TGui_Gauge* TGui_GaugeDropDown::GetGauge() { return dynamic_cast<TGui_Gauge*>(ResolveNode(GaugeID)); }

void TGui_GaugeDropDown::OnMouse(int button, int state, int x, int y)
{
    TGui_Node::OnMouse(button, state, x, y);
    TGui_Gauge* gauge = GetGauge();
    if (button != 0 || !gauge) return;
    if (state == 0) {
        gauge->RaiseChangeStart();
        gauge->SetPercent(gauge->Width < 1 ? 0.0f : float(x) / float(gauge->Width), true);
        ChangeOpen = true;
    } else if (state == 1 && ChangeOpen) {
        // A change begun by a press on the strip ends with its release, so
        // the undo group it opened is closed.
        ChangeOpen = false;
        gauge->RaiseChangeEnd();
    }
}

bool TGui_GaugeDropDown::OnMotion(int x, int y)
{
    TGui_Node::OnMotion(x, y);
    TGui_Master* m = GetMaster();
    TGui_Gauge* gauge = GetGauge();
    if (!m || !gauge || m->LastButton != 0) return false;
    gauge->SetPercent(gauge->Width < 1 ? 0.0f : float(x) / float(gauge->Width), true);
    return true;
}

void TGui_GaugeDropDown::OnUpdateContents()
{
    if (!Shown) return;
    TGui_Master* m = GetMaster();
    TGui_Node* down = m ? ResolveNode(m->MouseDownNodeID) : nullptr;
    if (!down) return;
    TGui_Gauge* gauge = GetGauge();
    if (!IsInside(this, down) && !(gauge && IsInside(gauge, down))) Hide();
}

// [SECTION] Text and gauge

TGui_TextAndGauge::TGui_TextAndGauge(TGui_Node* parent) : TGui_Node(parent)
{
    Caption = new TGui_Text(this);
    Caption->HintFromParent = true;
    Gauge = new TGui_Gauge(this);
    Gauge->HintFromParent = true;
    DrawSurface = false;
    BorderWidth = 0;
    ShowName = false;
    Width = 150;
    Height = Gauge->Height;
    AutoSize = false;
}

void TGui_TextAndGauge::UpdateSize()
{
    TGui_Node::UpdateSize();
    Gauge->SetPosition(CaptionWidth, Gauge->Y);
    Gauge->Width = Width - CaptionWidth;
    Height = Gauge->Height;
    Gauge->UpdateSize();
}
