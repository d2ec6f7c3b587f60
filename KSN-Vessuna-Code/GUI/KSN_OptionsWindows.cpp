#include "KSN_OptionsWindows.h"

#include "GuiButton.h"
#include "GuiGauge.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"

#include <cmath>
#include <cstdio>

namespace {

TQOREvent* WindowEvent(TQOREventFunction callback, TGui_Node* window)
{
    auto* event = new TQOREvent(callback, 0, -1);
    event->SetOwner(window);
    return event;
}

TGui_TextAndGauge* AddGaugeRow(TGui_Node* parent, const char* label, const char* hint, int x, int y, int width,
                               int captionWidth, float low, float high)
{
    auto* row = new TGui_TextAndGauge(parent);
    row->SetPosition(x, y);
    row->Width = width;
    row->CaptionWidth = captionWidth;
    row->Caption->SetName(label, true);
    if (hint) row->SetHint("%s", hint);
    row->Gauge->Minimum = low;
    row->Gauge->Maximum = high;
    row->Gauge->Decimals = 0;
    return row;
}

TGui_Button* AddFixedButton(TGui_Node* parent, const char* caption, int x, int y, TQOREvent* click)
{
    TGui_Button* button = parent->AddButton(caption, x, y, nullptr);
    button->ClickEvent = click;
    button->UpdateSize();
    button->AutoSize = false;
    button->SetSize(100, button->Height);
    return button;
}

// Halves up: the gauges hold no negative values.
int RoundUndoLimit(float value) { return value >= 0.0f ? int(std::floor(value + 0.5f)) : int(value); }

// A gauge moved from where the window put it; a value the gauge had to clamp
// is not a choice of the user's.
bool Moved(float now, float shown) { return std::fabs(now - shown) > 1e-4f; }

} // namespace

// [SECTION] General options

TKSN_OptionsWindow::TKSN_OptionsWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    MakeNonResizeable();
    SetSize(240, 170);
    const int L = MarginX, T = MarginY;
    UndoLimitGauge = AddGaugeRow(this, Lang.GetText(240), Lang.GetText(241), L, T, 225, 150, 0.0f, 256.0f);
    BrightnessGauge = AddGaugeRow(this, Lang.GetText(365), Lang.GetText(366), L, T + 26, 225, 150, 0.0f, 100.0f);
    BrightnessGauge->Gauge->SetValue(100.0f * QORglutWigits_InterfaceBrightness, false);
    LoadDefaultProjectBox = AddCheckBox(Lang.GetText(769), L, T + 52, Lang.GetText(770));
    LoadDefaultProjectBox->ButtonMode = 1;
    LoadDefaultProjectBox->AutoSize = false;
    LoadDefaultProjectBox->SetSize(225, LoadDefaultProjectBox->Height);
    TGui_Separator* separator = AddSeparator(nullptr, L, T + 78);
    const int H = separator->Height;
    OkButton = AddFixedButton(this, Lang.GetText(180), L + 4, T + 82 + H, WindowEvent(OkClickedCB, this));
    CancelButton = AddFixedButton(this, Lang.GetText(181), L + 124, T + 82 + H, WindowEvent(CancelClickedCB, this));
    Hide();
    SetName(Lang.GetText(9), false);
    SetHint("%s", Lang.GetText(10));
}

int TKSN_OptionsWindow::GetUndoLimit() { return RoundUndoLimit(UndoLimitGauge->Gauge->GetValue()); }

void TKSN_OptionsWindow::Execute()
{
    if (!App) return;
    UndoLimitGauge->Gauge->SetValue(float(App->undoLimit), false);
    ShownUndoLimit = UndoLimitGauge->Gauge->GetValue();
    LoadDefaultProjectBox->Pressed = App->loadDefaultProject;
    // The brightness gauge follows the live variable while the window is
    // open; a hidden window reads nothing at the layout passes.
    TGui_Gauge* brightness = BrightnessGauge->Gauge;
    if (!brightness->FloatVariableEvent)
        brightness->FloatVariableEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 65);
    brightness->SetValue(100.0f * QORglutWigits_InterfaceBrightness, false);
    TGui_Window::Execute();
}

void TKSN_OptionsWindow::Hide()
{
    TKSN_SubWindow::Hide();
    if (BrightnessGauge && BrightnessGauge->Gauge->FloatVariableEvent) {
        delete BrightnessGauge->Gauge->FloatVariableEvent;
        BrightnessGauge->Gauge->FloatVariableEvent = nullptr;
    }
}

void TKSN_OptionsWindow::OnUpdateContents()
{
    char caption[64];
    std::snprintf(caption, sizeof caption, "%d MB", GetUndoLimit());
    UndoLimitGauge->Gauge->SetName(caption, false);
    Height = OkButton->Y + OkButton->Height + MarginY + 4;
}

bool TKSN_OptionsWindow::OkClickedCB(TQOREvent* event)
{
    auto* window = event ? dynamic_cast<TKSN_OptionsWindow*>(__GetThingyFromID(event->GetOwnerID())) : nullptr;
    if (!window) return false;
    if (App) {
        // An untouched gauge keeps a stored limit that lies beyond its range.
        if (Moved(window->UndoLimitGauge->Gauge->GetValue(), window->ShownUndoLimit))
            App->undoLimit = window->GetUndoLimit();
        App->loadDefaultProject = window->LoadDefaultProjectBox->Pressed;
    }
    if (Project) {
        Project->OnAllViewportsChanged();
        Project->OnBackgroundChanged();
    }
    window->Hide();
    return true;
}

bool TKSN_OptionsWindow::CancelClickedCB(TQOREvent* event)
{
    auto* window = event ? dynamic_cast<TKSN_OptionsWindow*>(__GetThingyFromID(event->GetOwnerID())) : nullptr;
    if (!window) return false;
    window->Hide();
    return true;
}

// [SECTION] Render options

namespace {

struct TFlagRow {
    int y;
    int label;          // text number, or 0 for the literal
    const char* literal;
    int hint;           // 0 none
    bool TKSN_Project::*setting;
};

const TFlagRow FlagRows[TKSN_RenderOptionsWindow::FlagCount] = {
    {74, 780, nullptr, 781, &TKSN_Project::RenderMixColors},
    {96, 782, nullptr, 783, &TKSN_Project::RenderDoubleSided},
    {123, 0, "Use color maps", 0, &TKSN_Project::RenderColorMaps},
    {145, 0, "Use bump maps", 0, &TKSN_Project::RenderBumpMaps},
    {167, 0, "Use transparency maps", 0, &TKSN_Project::RenderTransparencyMaps},
    {189, 0, "Use displacement maps", 0, &TKSN_Project::RenderDisplacementMaps},
    {211, 0, "Use specular/glossy maps", 0, &TKSN_Project::RenderSpecularMaps},
    {233, 0, "Use ambient maps", 0, &TKSN_Project::RenderAmbientMaps},
};

// The three gauges' settings, in the order of the window's Shown values.
float* GaugeSetting(TKSN_Project& p, int i)
{
    switch (i) {
    case 0: return &p.RenderQualityB;
    case 1: return &p.GlobalDisplacementStrengthB;
    default: return &p.GlobalBumpStrength;
    }
}

} // namespace

TKSN_RenderOptionsWindow::TKSN_RenderOptionsWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    MakeNonResizeable();
    SetSize(290, 340);
    const int L = MarginX;
    QualityGauge = AddGaugeRow(this, Lang.GetText(774), Lang.GetText(775), L, 8, 275, 200, 0.0f, 100.0f);
    DisplacementGauge = AddGaugeRow(this, Lang.GetText(776), Lang.GetText(777), L, 30, 275, 200, -1000.0f, 1000.0f);
    BumpGauge = AddGaugeRow(this, Lang.GetText(778), Lang.GetText(779), L, 52, 275, 200, -1000.0f, 1000.0f);
    for (TGui_TextAndGauge* g : {QualityGauge, DisplacementGauge, BumpGauge}) g->Gauge->ShowValueAsName = true;
    for (int i = 0; i < FlagCount; ++i) {
        const TFlagRow& row = FlagRows[i];
        Flags[i] = AddCheckBox(row.label ? Lang.GetText(row.label) : row.literal, 0, 0, nullptr);
        Flags[i]->ButtonMode = 1;
        if (row.hint) Flags[i]->SetHint("%s", Lang.GetText(row.hint));
        Flags[i]->SetPosition(L, row.y);
    }
    OkButton = AddFixedButton(this, "OK", 35, 265, WindowEvent(OkClickedCB, this));
    CancelButton = AddFixedButton(this, Lang.GetText(181), 155, 265, WindowEvent(CancelClickedCB, this));
    SetSize(290, OkButton->Height + 275);
    SetName("Render Options", false);
    Hide();
}

void TKSN_RenderOptionsWindow::Execute(TKSN_ViewportPanel* panel)
{
    Panel = panel;
    if (!Project) return;
    TGui_TextAndGauge* gauges[3] = {QualityGauge, DisplacementGauge, BumpGauge};
    for (int i = 0; i < 3; ++i) {
        gauges[i]->Gauge->SetValue(100.0f * *GaugeSetting(*Project, i), false);
        OpenedValues[i] = gauges[i]->Gauge->GetValue();
    }
    for (int i = 0; i < FlagCount; ++i) Flags[i]->Pressed = Project->*FlagRows[i].setting;
    TGui_Window::Execute();
}

bool TKSN_RenderOptionsWindow::OkClickedCB(TQOREvent* event)
{
    auto* window = event ? dynamic_cast<TKSN_RenderOptionsWindow*>(__GetThingyFromID(event->GetOwnerID())) : nullptr;
    if (!window || !Project) return true;
    TGui_TextAndGauge* gauges[3] = {window->QualityGauge, window->DisplacementGauge, window->BumpGauge};
    for (int i = 0; i < 3; ++i) {
        const float value = gauges[i]->Gauge->GetValue();
        // A strength the gauge had to clamp (say 12 shown as 1000) stays
        // as stored unless the user moved the gauge.
        if (Moved(value, window->OpenedValues[i])) *GaugeSetting(*Project, i) = value * 0.01f;
    }
    for (int i = 0; i < FlagCount; ++i) Project->*FlagRows[i].setting = window->Flags[i]->Pressed;
    if (Project->GetSpecialDisplayMode() != 3)
        OS.WarningMessage("%s", "Press the [b]R[/b] hotkey to toggle the [b]Quick Render[/b] mode.");
    Project->OnAllViewportsChanged();
    window->Hide();
    return true;
}

bool TKSN_RenderOptionsWindow::CancelClickedCB(TQOREvent* event)
{
    auto* window = event ? dynamic_cast<TKSN_RenderOptionsWindow*>(__GetThingyFromID(event->GetOwnerID())) : nullptr;
    if (window) window->Hide();
    return true;
}

TKSN_OptionsWindow* KSN_GetOptionsWindow()
{
    return MainWindow ? dynamic_cast<TKSN_OptionsWindow*>(MainWindow->OptionsWindow) : nullptr;
}

TKSN_RenderOptionsWindow* KSN_GetRenderOptionsWindow()
{
    return MainWindow ? dynamic_cast<TKSN_RenderOptionsWindow*>(MainWindow->RenderOptionsWindow) : nullptr;
}
