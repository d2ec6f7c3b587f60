// Tool parameter records and the builders of TKSN_Tool (see KSN_Parameter.h).
#include "KSN_Parameter.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "KSN_Tool.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORString.h"

namespace {

constexpr size_t MaxToolTextBytes = 999;

// Sets the hint when given; a hint is stored literally.
void SetHintOf(TKSN_Parameter* parameter, const char* hint)
{
    if (hint) parameter->SetHint("%s", hint);
}

} // namespace

TKSN_Parameter::TKSN_Parameter(TKSN_Tool* tool, const char* name, int type, void* data, int command)
    : Type(type), Data(data), Tool(tool), Command(command)
{
    // Controls send the record's ID; handlers and list callbacks look it up.
    RegisterForLookup();
    if (name) SetName("%s", name);
}

TKSN_Parameter::~TKSN_Parameter()
{
    delete First;
    delete Second;
    delete Third;
}

void KSN_CutToolText(std::string& text)
{
    if (text.size() <= MaxToolTextBytes) return;
    size_t cut = MaxToolTextBytes;
    // Step back over UTF-8 continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
}

std::string KSN_ParameterChangeMessage(const TKSN_Parameter* parameter)
{
    if (!parameter) return {};
    const char* toolName = parameter->Tool ? parameter->Tool->GetName() : "";
    const char* name = parameter->GetName();
    std::string text;
    switch (parameter->Type) {
    case KSN_PARAM_FLOAT: {
        const float value = parameter->Data ? *static_cast<const float*>(parameter->Data) : 0.0f;
        text = parameter->Percent ? QORFormat("%s - %s - %.0f", toolName, name, double(value) * 100.0)
                                  : QORFormat("%s - %s - %.2f", toolName, name, double(value));
        break;
    }
    case KSN_PARAM_INT:
    case KSN_PARAM_INT_PAIR:
        text = QORFormat("%s - %s - %d", toolName, name, parameter->Data ? *static_cast<const int*>(parameter->Data) : 0);
        break;
    case KSN_PARAM_BOOL:
    case KSN_PARAM_BOOL_TRIPLET: {
        const bool on = parameter->Data && *static_cast<const bool*>(parameter->Data);
        text = QORFormat("%s - %s - %s", toolName, name, Lang.GetText(on ? 1463 : 1464));
        break;
    }
    default: text = QORFormat("%s - %s", toolName, name); break;
    }
    KSN_CutToolText(text);
    return text;
}

bool KSN_SetParameterValue(TKSN_Parameter* parameter, double value)
{
    if (!parameter || !parameter->Data || !std::isfinite(value)) return false;
    switch (parameter->Type) {
    case KSN_PARAM_FLOAT: {
        float v = float(parameter->Percent ? value / 100.0 : value);
        if (parameter->ClampToMin && v < parameter->FloatMin) v = parameter->FloatMin;
        if (parameter->ClampToMax && v > parameter->FloatMax) v = parameter->FloatMax;
        *static_cast<float*>(parameter->Data) = v;
        break;
    }
    case KSN_PARAM_INT:
    case KSN_PARAM_INT_PAIR:
        // Clamped to the int range first: a typed 1e20 must not overflow.
        *static_cast<int*>(parameter->Data) = int(std::clamp(std::round(value), double(INT_MIN), double(INT_MAX)));
        break;
    case KSN_PARAM_BOOL:
    case KSN_PARAM_BOOL_TRIPLET:
        *static_cast<bool*>(parameter->Data) = value != 0.0;
        if (parameter->RebuildPanelOnChange) QOREvents_PushEvent(431);
        break;
    default: return false;
    }
    if (parameter->Tool) parameter->Tool->OnParameterChange(parameter);
    OS.PrintMessage("%s", KSN_ParameterChangeMessage(parameter).c_str());
    if (parameter->InvalidateOverlayOnChange)
        if (const auto invalidate = KSN_GetToolProjectHooks().InvalidateOverlay) invalidate();
    return true;
}

// ============================================================================
// [SECTION] Builders of TKSN_Tool
// ============================================================================

TKSN_Parameter* TKSN_Tool::AddFloatParameter(const char* name, const char* hint, float* data, float min, float max)
{
    auto* p = new TKSN_Parameter(this, name, KSN_PARAM_FLOAT, data, -1);
    SetHintOf(p, hint);
    p->SetFloatMinMax(min, max);
    Parameters->Add(p);
    return p;
}

TKSN_Parameter* TKSN_Tool::AddPercentParameter(const char* name, const char* hint, float* data, float min, float max)
{
    TKSN_Parameter* p = AddFloatParameter(name, hint, data, min, max);
    p->Percent = true;
    return p;
}

TKSN_Parameter* TKSN_Tool::AddIntParameter(const char* name, const char* hint, int* data, int min, int max)
{
    auto* p = new TKSN_Parameter(this, name, KSN_PARAM_INT, data, -1);
    SetHintOf(p, hint);
    p->SetIntMinMax(min, max);
    Parameters->Add(p);
    return p;
}

TKSN_Parameter* TKSN_Tool::AddBoolParameter(const char* name, const char* hint, bool* data)
{
    auto* p = new TKSN_Parameter(this, name, KSN_PARAM_BOOL, data, -1);
    SetHintOf(p, hint);
    Parameters->Add(p);
    return p;
}

TKSN_Parameter* TKSN_Tool::AddButtonParameter(const char* name, const char* hint, bool (*callback)(TQOREvent*),
                                              int command)
{
    auto* p = new TKSN_Parameter(this, name, KSN_PARAM_BUTTON, reinterpret_cast<void*>(callback), command);
    SetHintOf(p, hint);
    Parameters->Add(p);
    return p;
}

TKSN_Parameter* TKSN_Tool::AddLabelParameter(const char* text, const char* hint)
{
    auto* p = new TKSN_Parameter(this, text, KSN_PARAM_LABEL, nullptr, -1);
    SetHintOf(p, hint);
    Parameters->Add(p);
    return p;
}

TKSN_Parameter* TKSN_Tool::AddParameterSeparator(const char* caption, const char* hint)
{
    auto* p = new TKSN_Parameter(this, caption, KSN_PARAM_SEPARATOR, nullptr, -1);
    SetHintOf(p, hint);
    Parameters->Add(p);
    return p;
}

TKSN_Parameter* TKSN_Tool::AddBoolParameterTriplet(const char* caption, const char* hint, const char* name1,
                                                   const char* hint1, bool* data1, const char* name2,
                                                   const char* hint2, bool* data2, const char* name3,
                                                   const char* hint3, bool* data3)
{
    auto* head = new TKSN_Parameter(this, caption, KSN_PARAM_BOOL_TRIPLET, nullptr, 0);
    SetHintOf(head, hint);
    TKSN_Parameter** slots[3] = {&head->First, &head->Second, &head->Third};
    const char* names[3] = {name1, name2, name3};
    const char* hints[3] = {hint1, hint2, hint3};
    bool* data[3] = {data1, data2, data3};
    for (int i = 0; i < 3; ++i) {
        *slots[i] = new TKSN_Parameter(this, names[i], KSN_PARAM_BOOL_TRIPLET, data[i], -1);
        SetHintOf(*slots[i], hints[i]);
    }
    Parameters->Add(head);
    return head;
}

TKSN_Parameter* TKSN_Tool::AddButtonParameterTriplet(const char* caption, const char* hint, const char* name1,
                                                     const char* hint1, bool (*callback1)(TQOREvent*), int command1,
                                                     const char* name2, const char* hint2,
                                                     bool (*callback2)(TQOREvent*), int command2, const char* name3,
                                                     const char* hint3, bool (*callback3)(TQOREvent*), int command3)
{
    auto* head = new TKSN_Parameter(this, caption, KSN_PARAM_BUTTON_TRIPLET, nullptr, 0);
    SetHintOf(head, hint);
    TKSN_Parameter** slots[3] = {&head->First, &head->Second, &head->Third};
    const char* names[3] = {name1, name2, name3};
    const char* hints[3] = {hint1, hint2, hint3};
    TKSN_ParameterCallback callbacks[3] = {callback1, callback2, callback3};
    const int commands[3] = {command1, command2, command3};
    for (int i = 0; i < 3; ++i) {
        // The first button always exists; the others only with a callback.
        if (i > 0 && !callbacks[i]) continue;
        *slots[i] = new TKSN_Parameter(this, names[i], KSN_PARAM_BUTTON_TRIPLET,
                                       reinterpret_cast<void*>(callbacks[i]), commands[i]);
        SetHintOf(*slots[i], hints[i]);
    }
    Parameters->Add(head);
    return head;
}

TKSN_Parameter* TKSN_Tool::AddIntParameterPair(const char* caption, const char* hint, const char* name1,
                                               const char* hint1, int* data1, int min1, int max1, const char* name2,
                                               const char* hint2, int* data2, int min2, int max2)
{
    auto* head = new TKSN_Parameter(this, caption, KSN_PARAM_INT_PAIR, nullptr, 0);
    SetHintOf(head, hint);
    head->First = new TKSN_Parameter(this, name1, KSN_PARAM_INT_PAIR, data1, -1);
    SetHintOf(head->First, hint1);
    head->First->SetIntMinMax(min1, max1);
    head->Second = new TKSN_Parameter(this, name2, KSN_PARAM_INT_PAIR, data2, -1);
    SetHintOf(head->Second, hint2);
    head->Second->SetIntMinMax(min2, max2);
    Parameters->Add(head);
    return head;
}

void TKSN_Tool::DeleteParameter(const void* data)
{
    for (int i = 0; i < Parameters->Count(); ++i) {
        TKSN_Parameter* p = (*Parameters)[i];
        if (p && p->Data == data) {
            Parameters->Delete(i);
            delete p;
            return;
        }
    }
}

void TKSN_Tool::ClearParameters()
{
    for (TKSN_Parameter* p : *Parameters) delete p;
    Parameters->SetCount(0);
}

TKSN_Parameter* TKSN_Tool::GetParameterFromPtr(const void* data)
{
    for (TKSN_Parameter* p : *Parameters)
        if (p && p->Data == data) return p;
    return nullptr;
}
