// The "General Options" and "Render Options" dialogs. Each copies its
// settings into its widgets when it opens and, on OK, writes back only what
// the user changed: a value the widgets could not show as it stands (an
// undo limit above the gauge's range, a strength beyond it) survives an OK
// that did not touch it. Cancel stores nothing.
#pragma once

#include "KSN_Gui_Panel.h"

class TGui_Button;
class TGui_CheckBox;
class TGui_TextAndGauge;
class TKSN_ViewportPanel;
class TQOREvent;

class TKSN_OptionsWindow : public TKSN_SubWindow {
public:
    explicit TKSN_OptionsWindow(TGui_Node* parent);
    ~TKSN_OptionsWindow() override = default;

    void Execute();
    void Hide() override;
    // Shows the undo gauge as "%d MB" and fits the height to the buttons.
    void OnUpdateContents() override;
    // 1 when the window was found, else 0.
    static bool OkClickedCB(TQOREvent* event);
    static bool CancelClickedCB(TQOREvent* event);
    // The undo gauge's value rounded to whole megabytes.
    int GetUndoLimit();

    TGui_TextAndGauge* UndoLimitGauge = nullptr;
    TGui_TextAndGauge* BrightnessGauge = nullptr;
    TGui_CheckBox* LoadDefaultProjectBox = nullptr;
    TGui_Button* OkButton = nullptr;
    TGui_Button* CancelButton = nullptr;

private:
    float ShownUndoLimit = 0.0f;   // the gauge's value when the window opened
};

class TKSN_RenderOptionsWindow : public TKSN_SubWindow {
public:
    enum { FlagCount = 8 };

    explicit TKSN_RenderOptionsWindow(TGui_Node* parent);
    ~TKSN_RenderOptionsWindow() override = default;

    void Execute(TKSN_ViewportPanel* panel);
    static bool OkClickedCB(TQOREvent* event);
    static bool CancelClickedCB(TQOREvent* event);

    TGui_TextAndGauge* QualityGauge = nullptr;
    TGui_TextAndGauge* DisplacementGauge = nullptr;
    TGui_TextAndGauge* BumpGauge = nullptr;
    TGui_CheckBox* Flags[FlagCount] = {};
    TGui_Button* OkButton = nullptr;
    TGui_Button* CancelButton = nullptr;
    TKSN_ViewportPanel* Panel = nullptr;   // not owned; the settings apply to every viewport

private:
    float OpenedValues[3] = {};   // the gauges' values when the window opened
};

TKSN_OptionsWindow* KSN_GetOptionsWindow();
TKSN_RenderOptionsWindow* KSN_GetRenderOptionsWindow();
