// The live-variable ids that act on the current tool and its parameters:
// direction switches, parameter values, the step hot keys and wheel steps,
// the walk through the current tool's list and the colour dialog. Every id
// here returns true, also when there is nothing to act on.
#include "KestruneEvents.h"

#include "KSN_Application.h"
#include "KSN_Parameter.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"

#include <cmath>

namespace {

enum TDirection { Horizontal, Vertical, Depth };

bool* DirectionPtr(TKSN_Tool* tool, TDirection d)
{
    return d == Horizontal ? tool->GetDirHorizPtr() : d == Vertical ? tool->GetDirVertPtr() : tool->GetDirDepthPtr();
}

void SetDirection(TKSN_Tool* tool, TDirection d, bool on)
{
    if (d == Horizontal) tool->SetDirHoriz(on);
    if (d == Vertical) tool->SetDirVert(on);
    if (d == Depth) tool->SetDirDepth(on);
}

void OnlyDirection(TKSN_Tool* tool, TDirection d)
{
    tool->SetDirHoriz(d == Horizontal);
    tool->SetDirVert(d == Vertical);
    tool->SetDirDepth(d == Depth);
}

void ToggleDirection(TDirection d)
{
    TKSN_Tool* tool = App->currentTool;
    if (!tool || !tool->DirectionIsEnabled()) return;
    if (d == Depth && !tool->DepthIsEnabled()) return;
    if (d != Depth && tool->DepthIsEnabled() && tool->DepthIsExclusive() && tool->GetDirDepth())
        tool->SetDirDepth(false);
    else if (tool->AllDirectionsExclusive())
        OnlyDirection(tool, d);
    else
        SetDirection(tool, d, !*DirectionPtr(tool, d));
    bool* changed = DirectionPtr(tool, d);
    tool->OnDirChange(changed);
    const char* name = d == Horizontal ? Lang.GetText(91) : d == Vertical ? Lang.GetText(97) : tool->GetDepthName();
    OS.PrintMessageNoRepeat("%s - %s", name ? name : "", Lang.GetText(*changed ? 1463 : 1464));
    QOREvents_PushEvent(431);
}

void DirectionSwitch(TQOREvent* e, TDirection d)
{
    TKSN_Tool* tool = App->currentTool;
    if (!tool) return;
    if (e->operationMode == 0) {
        e->intParameters[0] = *DirectionPtr(tool, d) ? 1 : 0;
        return;
    }
    if (e->operationMode != 1) return;
    SetDirection(tool, d, e->intParameters[0] != 0);
    if (tool->AllDirectionsExclusive())
        OnlyDirection(tool, d);
    else if (!tool->GetDirHoriz() && !tool->GetDirVert() && !tool->GetDirDepth())
        SetDirection(tool, d, true);
    QOREvents_PushEvent(431);
}

float Clamp01(float v) { return v > 1.0f ? 1.0f : (v < 0.0f ? 0.0f : v); }

void StepMessage(TKSN_Tool* tool, TKSN_Parameter* parameter, float value)
{
    OS.PrintMessageNoRepeat("%s - %s - %.0f", tool->GetName(), parameter->GetName(), double(100.0f * value));
}

void Step(TQOREvent* e)
{
    TKSN_Tool* tool = App->currentTool;
    if (!tool) return;
    const int id = e->GetCommand();
    const bool up = id % 2 == 1;
    const bool wheel = e->intParameters[0] == 1;
    const float w = App->mouseWheelSensitivity;
    const float step = wheel ? w * 0.01f + (1.0f - w) * 0.25f : 0.05f;
    switch (id) {
    case 103:
    case 104: {
        TKSN_Parameter* parameter = tool->UsesSizeParameter() ? tool->GetSizeParameter() : nullptr;
        if (!parameter) return;
        const float s = tool->GetSize();
        float p = s >= 0.25f ? s : 4.0f * s * s;
        if (wheel) p = p * std::sqrt(w) + (1.0f - std::sqrt(w));
        const float sizeStep = p * 0.1f + (1.0f - p) * 0.005f;
        const float size = Clamp01(up ? s + sizeStep : s - sizeStep);
        tool->SetSize(size);
        Project->InvalidateOverlay();
        StepMessage(tool, parameter, size);
        return;
    }
    case 105:
    case 106: {
        TKSN_Parameter* parameter = tool->UsesStrengthParameter() ? tool->GetStrengthParameter() : nullptr;
        if (!parameter) return;
        float strength = tool->GetStrength() + (up ? step : -step);
        if (strength > parameter->GetFloatMax())
            strength = parameter->GetFloatMax();
        else if (strength < parameter->GetFloatMin())
            strength = parameter->GetFloatMin();
        StepMessage(tool, parameter, strength);
        tool->SetStrength(strength);
        Project->InvalidateOverlay();
        return;
    }
    case 107:
    case 108: {
        TKSN_Parameter* parameter = tool->GetDensityParameter();
        if (!parameter) return;
        const float v = Clamp01(tool->GetDensity() + (up ? step : -step));
        tool->SetDensity(v);
        StepMessage(tool, parameter, v);
        return;
    }
    case 109:
    case 110: {
        TKSN_Parameter* parameter = tool->UsesHardnessParameter() ? tool->GetHardnessParameter() : nullptr;
        if (!parameter) return;
        const float v = Clamp01(tool->GetHardness() + (up ? step : -step));
        tool->SetHardness(v);
        StepMessage(tool, parameter, v);
        return;
    }
    case 111:
    case 112: {
        TKSN_Parameter* parameter = tool->GetSpacingParameter();
        if (!parameter) return;
        const float v = Clamp01(tool->GetStepPercent() + (up ? step : -step));
        tool->SetStepPercent(v);
        StepMessage(tool, parameter, v);
        return;
    }
    default: return;
    }
}

// The refresh requests the tool-parameter tab copies into the event.
void RefreshRequests(TQOREvent* e, bool overlayFirst)
{
    if (overlayFirst && e->intParameters[1] == 1) Project->InvalidateOverlay();
    if (e->intParameters[2] == 1) QOREvents_PushEvent(7);
    if (e->intParameters[2] == 2) Project->OnAllViewportsChanged();
    if (!overlayFirst && e->intParameters[1] == 1) Project->InvalidateOverlay();
}

void ParameterValue(TQOREvent* e)
{
    auto* parameter = dynamic_cast<TKSN_Parameter*>(__GetThingyFromID(e->GetOwnerID()));
    if (!parameter || !parameter->GetData()) return;
    TKSN_Tool* tool = parameter->Tool;
    const char* toolName = tool ? tool->GetName() : "";
    const bool get = e->operationMode == 0, set = e->operationMode == 1;
    switch (e->GetCommand()) {
    case 68: {
        auto* value = static_cast<float*>(parameter->GetData());
        if (get) e->floatParameters[0] = parameter->Percent ? *value * 100.0f : *value;
        if (!set) return;
        *value = parameter->Percent ? e->floatParameters[0] * 0.01f : e->floatParameters[0];
        if (tool) tool->OnParameterChange(parameter);
        if (parameter->Percent)
            OS.PrintMessageNoRepeat("%s - %s - %.0f", toolName, parameter->GetName(), double(100.0f * *value));
        else
            OS.PrintMessageNoRepeat("%s - %s - %.2f", toolName, parameter->GetName(), double(*value));
        RefreshRequests(e, false);
        return;
    }
    case 69: {
        auto* value = static_cast<int32_t*>(parameter->GetData());
        if (get) e->floatParameters[0] = float(*value);
        if (!set) return;
        // The tool is told after the value is stored, so it reacts to the new one.
        *value = KSN_RoundForInterface(e->floatParameters[0]);
        if (tool) tool->OnParameterChange(parameter);
        OS.PrintMessageNoRepeat("%s - %s - %d", toolName, parameter->GetName(), *value);
        RefreshRequests(e, true);
        return;
    }
    case 70: {
        auto* value = static_cast<bool*>(parameter->GetData());
        if (get) e->intParameters[0] = *value ? 1 : 0;
        if (!set) return;
        *value = e->intParameters[0] != 0;
        if (parameter->RebuildPanelOnChange) QOREvents_PushEvent(431);
        if (tool) tool->OnParameterChange(parameter);
        RefreshRequests(e, false);
        OS.PrintMessageNoRepeat("%s - %s - %s", toolName, parameter->GetName(), Lang.GetText(*value ? 1463 : 1464));
        return;
    }
    default: return;
    }
}

void WalkTools(bool forward)
{
    TKSN_Tool* tool = App->currentTool;
    TKSN_ToolList* list = tool ? tool->ToolList : nullptr;
    if (!list || list->Count() == 0) return;
    const int count = list->Count();
    int current = 0;
    for (int i = 0; i < count; ++i)
        if ((*list)[i] == tool) current = i;
    for (int tried = 1; tried <= count; ++tried) {
        const int position = ((current + (forward ? tried : -tried)) % count + count) % count;
        if (Project->ChangeTool(Project->GetPolyMesh(), list, position)) return;
    }
}

void ColourParameter(TQOREvent* e)
{
    auto* parameter = dynamic_cast<TKSN_Parameter*>(__GetThingyFromID(e->GetOwnerID()));
    if (!parameter || !parameter->GetData()) return;
    auto* colour = static_cast<float*>(parameter->GetData());
    float chosen[3];
    if (!OS.ExecuteColorDialog(chosen, colour)) return;
    for (int i = 0; i < 3; ++i) colour[i] = chosen[i];
    QOREvents_PushEvent(431);
}

} // namespace

bool Kestrune_Events_ToolCommandCB(TQOREvent* e, bool* handled)
{
    *handled = true;
    switch (e->GetCommand()) {
    case 33: ToggleDirection(Horizontal); return true;
    case 34: ToggleDirection(Vertical); return true;
    case 35: ToggleDirection(Depth); return true;
    case 52: DirectionSwitch(e, Horizontal); return true;
    case 53: DirectionSwitch(e, Vertical); return true;
    case 54: DirectionSwitch(e, Depth); return true;
    case 68:
    case 69:
    case 70: ParameterValue(e); return true;
    case 113: WalkTools(false); return true;
    case 114: WalkTools(true); return true;
    case 115: ColourParameter(e); return true;
    default:
        if (e->GetCommand() >= 103 && e->GetCommand() <= 112) {
            Step(e);
            return true;
        }
        *handled = false;
        return false;
    }
}
