// TKSN_Parameter: one control of a tool's parameter panel.
//
// A record names the control kind by a type code, carries its caption (the
// thingy's name) and tooltip (the hint), and is bound to the tool's data: the
// float, int or bool the control edits in place, or the callback of a button
// or a list. The tool fills its `Parameters` list in UpdateAllParameters; the
// main window turns the list into widgets; command handlers find a record
// again by its ID, write the edited value and call the tool's
// OnParameterChange.
//
// Only the head of a pair or triplet is in the tool's list; its members hang
// from First, Second and Third and are owned (deleted) by the head. The bound
// data is never owned.
//
// List parameters (code 11) serve a protocol through their callback: the
// event's owner is the parameter's ID, its command asks for an item's name
// (0) or hint (1), the current item (2), a choice (3) or the count (4); see
// KSN_ParameterListCommand.
#pragma once

#include <string>

#include "KSN_Thingy.h"
#include "QOREvents.h"

class TKSN_Tool;

// Type codes of TKSN_Parameter::Type.
enum : int {
    KSN_PARAM_FLOAT = 1,
    KSN_PARAM_INT = 2,
    KSN_PARAM_BOOL = 3,
    KSN_PARAM_BUTTON = 5,
    KSN_PARAM_BUTTON_TRIPLET = 7,
    KSN_PARAM_BOOL_TRIPLET = 8,
    KSN_PARAM_INT_PAIR = 9,
    KSN_PARAM_LABEL = 10,
    KSN_PARAM_LIST = 11,
    KSN_PARAM_SEPARATOR = 13,
};

// Commands of the list protocol (the event's command).
enum KSN_ParameterListCommand : int {
    KSN_LIST_ITEM_NAME = 0,   // index: item; answers string slot 0 (integer slot 0 = 1: disabled)
    KSN_LIST_ITEM_HINT = 1,   // index: item; answers string slot 0
    KSN_LIST_CURRENT = 2,     // answers the index (false: none current)
    KSN_LIST_CHOOSE = 3,      // index: chosen item
    KSN_LIST_COUNT = 4,       // answers integer slot 0
};

using TKSN_ParameterCallback = bool (*)(TQOREvent* event);

class TKSN_Parameter : public virtual TKSN_Thingy {
public:
    // A null name leaves the name empty.
    TKSN_Parameter(TKSN_Tool* tool, const char* name, int type, void* data, int command);
    // Deletes the members of a pair or triplet; leaves the bound data alone.
    ~TKSN_Parameter() override;
    TKSN_Parameter(const TKSN_Parameter&) = delete;
    TKSN_Parameter& operator=(const TKSN_Parameter&) = delete;

    void SetFloatMinMax(float min, float max)
    {
        FloatMin = min;
        FloatMax = max;
    }
    void SetIntMinMax(int min, int max)
    {
        IntMin = min;
        IntMax = max;
    }
    float GetFloatMin() const { return FloatMin; }
    float GetFloatMax() const { return FloatMax; }
    int GetIntMin() const { return IntMin; }
    int GetIntMax() const { return IntMax; }
    // The range as shown: times 100 for a percentage.
    float GetFloatMinDisplay() const { return Percent ? FloatMin * 100.0f : FloatMin; }
    float GetFloatMaxDisplay() const { return Percent ? FloatMax * 100.0f : FloatMax; }
    int GetType() const { return Type; }
    void* GetData() const { return Data; }

    int Type = 0;
    void* Data = nullptr;
    float FloatMin = 0.0f, FloatMax = 0.0f;
    int IntMin = 0, IntMax = 0;
    TKSN_Parameter* First = nullptr;    // owned
    TKSN_Parameter* Second = nullptr;   // owned
    TKSN_Parameter* Third = nullptr;    // owned
    bool RebuildPanelOnChange = false;
    bool Enabled = true;
    bool QuadraticSlider = false;
    TKSN_Tool* Tool = nullptr;
    bool Percent = false;
    int Command = -1;
    int RightClickCommand = -1;
    bool InvalidateOverlayOnChange = false;
    bool ClampToMin = true, ClampToMax = true;
    bool LiveTilingPreview = false;
};

// The message the panel shows after a value change: "<tool> - <parameter> -
// <value>" (a percentage as value x 100, a switch as text 1463 "ON" or 1464
// "OFF"). Names are taken literally ('%' stays '%'); the text is cut at 999
// bytes, never inside a UTF-8 character.
std::string KSN_ParameterChangeMessage(const TKSN_Parameter* parameter);
// Cuts text to at most 999 bytes, never inside a UTF-8 character.
void KSN_CutToolText(std::string& text);

// What the panel's value controls lead to (commands 68 float, 69 int, 70
// switch): the value goes into the bound data (a percentage is divided by
// 100 and clamped to the range as ClampToMin/ClampToMax say, an int is
// rounded half away from zero, a switch is on for non-zero); a switch that
// rebuilds the panel raises command 431 first; then the tool's
// OnParameterChange, the change message in the message panel, and the paint
// overlay is invalidated when the record asks. False, changing nothing, for
// a record without a bound value of those kinds.
bool KSN_SetParameterValue(TKSN_Parameter* parameter, double value);

// The first step of every list callback: the parameter the event's owner ID
// names and its tool as T. Null (and *parameter null) when the owner is not a
// parameter or its tool is not a T; the callback then answers false.
template <class T>
T* KSN_GetListParameterTool(TQOREvent* event, TKSN_Parameter** parameter = nullptr)
{
    if (parameter) *parameter = nullptr;
    if (!event) return nullptr;
    auto* found = dynamic_cast<TKSN_Parameter*>(__GetThingyFromID(event->GetOwnerID()));
    T* tool = found ? dynamic_cast<T*>(found->Tool) : nullptr;
    if (tool && parameter) *parameter = found;
    return tool;
}
