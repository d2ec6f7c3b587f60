// Edit fields: text and numbers, live variables, layout and horizontal
// scrolling, hit-testing, keys, the mouse and the focus. Drawing is
// GuiEditField_Draw.cpp.
//
// Index: [SECTION] Construction  [SECTION] Text and numbers
//        [SECTION] Layout  [SECTION] Keys  [SECTION] Mouse and focus
//        [SECTION] Gauge edit field  [SECTION] Edit text
#include "GuiEditField.h"

#include "GuiFont.h"
#include "GuiGauge.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORMemory.h"
#include "QORString.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int KeyBackspace = 8, KeyTab = 9, KeyEnter = 13, KeyEscape = 27, KeyDelete = 127;
constexpr int KeyEnd = 312, KeyHome = 313, KeyLeft = 314, KeyRight = 316;

char* CopyToBlock(const char* text)
{
    size_t n = std::strlen(text);
    auto* block = static_cast<char*>(QORalloc(n + 1));
    std::memcpy(block, text, n + 1);
    return block;
}

bool IsSign(char c) { return c == '-' || c == '+'; }

// Float parsing as the field reads numbers: separators and a K or M suffix;
// an empty or sign-only text reads 0.
bool ParseFloatText(const char* text, float& value)
{
    float v = 0.0f;
    if (!StringToFloatWithCommas(v, text)) return false;
    value = v;
    return true;
}

} // namespace

bool Gui_ParseIntText(const char* text, int32_t& value)
{
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text ? text : "", &end, 10);
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    value = int32_t(v);
    return true;
}

// [SECTION] Construction

TGui_EditField::TGui_EditField(TGui_Node* parent) : TGui_Node(parent)
{
    SetName("Edit Field", false);
    Width = 100;
    Height = 20;
    BorderWidth = 1;
    AutoSize = true;
    NoFocus = false;
    TextAlignment = 1;
    std::copy(QORglutWigits_DefaultLightBackgroundColor, QORglutWigits_DefaultLightBackgroundColor + 3,
              BackgroundColor);
    std::copy(QORglutWigits_DefaultTextColorOnLightBackground, QORglutWigits_DefaultTextColorOnLightBackground + 3,
              TextColor);
}

TGui_EditField::~TGui_EditField()
{
    if (Text) QORfree(Text);
    Text = nullptr;
}

// [SECTION] Text and numbers

const char* TGui_EditField::GetText() const { return Text ? Text : QORglutWigits_DummyString; }

int TGui_EditField::TextLength() const { return int(std::strlen(GetText())); }

void TGui_EditField::SetText(const char* text, bool)
{
    char* old = Text;
    Text = text ? CopyToBlock(text) : nullptr;
    if (old) QORfree(old);
    Cursor = std::clamp(Cursor, 0, TextLength());
}

void TGui_EditField::UpdateText(bool)
{
    if (ValueType == 1) {
        char buffer[256];
        FloatToStringWithCommas(buffer, FloatValue, Decimals);
        SetText(buffer);
        Cursor = TextLength();
    } else if (ValueType == 2) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%d", IntValue);
        SetText(buffer);
    }
}

void TGui_EditField::SetFloatValue(float value, const char* text, bool notify)
{
    if (text && !*text) {
        SetText("");
        Cursor = 0;
        return;
    }
    if (std::isnan(value)) return;
    FloatValue = value;
    if (MinEnabled && FloatValue < FloatMin) FloatValue = FloatMin;
    if (MaxEnabled && FloatValue > FloatMax) FloatValue = FloatMax;
    if (notify && FloatVariableEvent && FloatVariableEvent->callback) {
        FloatVariableEvent->SetDispatcher(this);
        FloatVariableEvent->operationMode = 1;
        FloatVariableEvent->floatParameters[0] = FloatValue;
        FloatVariableEvent->callback(FloatVariableEvent);
    }
    if (std::fabs(FloatValue - value) > 1e-30f || !text)
        UpdateText();
    else
        SetText(text);
}

void TGui_EditField::SetIntValue(int value, const char* text, bool notify)
{
    if (text && !*text) {
        SetText("");
        Cursor = 0;
        return;
    }
    IntValue = value;
    if (MinEnabled && IntValue < IntMin) IntValue = IntMin;
    if (MaxEnabled && IntValue > IntMax) IntValue = IntMax;
    if (notify && IntVariableEvent && IntVariableEvent->callback) {
        IntVariableEvent->SetDispatcher(this);
        IntVariableEvent->operationMode = 1;
        IntVariableEvent->intParameters[0] = IntValue;
        IntVariableEvent->callback(IntVariableEvent);
    }
    if (IntValue != value || !text)
        UpdateText();
    else
        SetText(text);
}

void TGui_EditField::SelectAllText()
{
    SelectionStart = 0;
    SelectionEnd = TextLength();
    Cursor = SelectionEnd;
}

int TGui_EditField::GlyphWidth(unsigned char c)
{
    if (c >= 128) return Font_Chars[0][2];
    if (c == '\t') return int(4.0f * (float(Font_Chars[' '][2]) * FontScale));
    return Font_Chars[c][2];
}

int TGui_EditField::CharWidth(int i) const
{
    const char* t = GetText();
    if (i < 0 || size_t(i) >= std::strlen(t)) return Font_Chars[0][2];
    return GlyphWidth(static_cast<unsigned char>(t[i]));
}

int TGui_EditField::GetPosFromX(int x)
{
    const char* t = GetText();
    int len = TextLength(), m = MarginX + BorderWidth;
    auto width = [&](int i) { return i >= 0 && i < len ? GlyphWidth(static_cast<unsigned char>(t[i])) : Font_Chars[0][2]; };
    if (x > m) {
        // The pixels scrolled out of view on the left.
        int h = 0;
        for (int i = 0; i < std::min(FirstVisible, len); ++i) h += width(i);
        int sum = 0;
        for (int i = 0; i < len; ++i) {
            int next = sum + width(i);
            if (m + sum <= x + h && x + h < m + next) return i;
            sum = next;
        }
        return len;
    }
    int s = 0;
    for (int index = FirstVisible; index >= 0; --index) {
        s -= width(index);
        if (s < x) return std::min(index, len);
    }
    return 0;
}

bool TGui_EditField::IsActive()
{
    TGui_Master* m = GetMaster();
    return m && m->ActiveNodeID == GetID();
}

int TGui_EditField::Modifiers()
{
    TGui_Master* m = GetMaster();
    return m ? m->Modifiers : 0;
}

// [SECTION] Layout

void TGui_EditField::ReadVariables()
{
    if (FloatVariableEvent) {
        float v = FloatValue;
        if (FloatVariableEvent->callback) {
            FloatVariableEvent->SetDispatcher(this);
            FloatVariableEvent->operationMode = 0;
            FloatVariableEvent->floatParameters[0] = FloatValue;
            FloatVariableEvent->callback(FloatVariableEvent);
            v = FloatVariableEvent->floatParameters[0];
        }
        if (!std::isnan(v) && std::fabs(v - FloatValue) > 1e-30f) {
            FloatValue = v;
            UpdateText();
        }
    }
    if (IntVariableEvent) {
        int v = IntValue;
        if (IntVariableEvent->callback) {
            IntVariableEvent->SetDispatcher(this);
            IntVariableEvent->operationMode = 0;
            IntVariableEvent->intParameters[0] = IntValue;
            IntVariableEvent->callback(IntVariableEvent);
            v = IntVariableEvent->intParameters[0];
        }
        if (v != IntValue) {
            IntValue = v;
            UpdateText();
        }
    }
}

void TGui_EditField::ScrollToCaret()
{
    const char* t = GetText();
    int len = TextLength();
    auto width = [&](int i) { return GlyphWidth(static_cast<unsigned char>(t[i])); };
    int target = Cursor;
    if (HasSelection()) target = Cursor == SelectionStart ? SelectionEnd - 1 : SelectionStart;
    target = std::clamp(target, 0, len);
    int w = Width - 2 * BorderWidth - 2 * MarginX;
    if (FirstVisible >= 0 && FirstVisible < target) {
        int h = 0;
        for (int i = FirstVisible; i < target && h < w; ++i) h += width(i);
        if (h > 0 && h < w) return;
    }
    // Walk back from the target until the characters no longer fit.
    int first = 0, sum = 0;
    for (int i = target - 1; i >= 0; --i) {
        sum += width(i);
        if (sum > w) {
            first = i + 1;
            break;
        }
    }
    FirstVisible = std::min(first, len);
}

void TGui_EditField::UpdateSize()
{
    ReadVariables();
    if (AutoSize) {
        Width = std::max(GetStringWidth(GetText()), MinTextWidth) + 4 * (MarginX + BorderWidth);
        Height = 2 * (MarginY + BorderWidth) + TextHeight;
    }
    ScrollToCaret();
}

// [SECTION] Keys

bool TGui_EditField::StoreEditedText(const std::string& text, bool paste)
{
    if (ValueType == 1) {
        float v = 0.0f;
        bool parsed = ParseFloatText(text.c_str(), v);
        if (!parsed && !paste) return false;
        if (paste || (v > FloatMin - 1e-30f && v < FloatMax + 1e-30f))
            SetFloatValue(v, text.c_str(), true);
        else
            SetText(text.c_str());
    } else if (ValueType == 2) {
        // Overflow counts as out of range: the text stays, the number does not move.
        int32_t v = 0;
        if (Gui_ParseIntText(text.c_str(), v) && v >= IntMin && v <= IntMax)
            SetIntValue(v, text.c_str(), true);
        else
            SetText(text.c_str());
    } else {
        SetText(text.c_str());
    }
    return true;
}

bool TGui_EditField::CommitEnter()
{
    if (ValueType == 2) {
        // A text out of range (or overflowing) shows the stored number again.
        int32_t v = IntValue;
        Gui_ParseIntText(GetText(), v);
        SetIntValue(v, nullptr, true);
    }
    if (HideOnDeactivate) {
        OnDeactivate();
        Hide();
        return true;
    }
    bool raised = false;
    TGui_Master* m = GetMaster();
    if (m && m->ActiveNodeID == GetID()) {
        // Losing the focus after an edit already commits; Enter must not commit twice.
        bool wasEdited = Edited;
        m->SetActiveNode(nullptr);
        raised = wasEdited && !Edited;
    }
    if (!raised) OnChange();
    Edited = false;
    return true;
}

bool TGui_EditField::OnKeyPress(unsigned char key)
{
    if (OS.IsAltHeld() || TGui_Node::IsAltHeld()) return false;
    if (key == KeyTab || key == KeyEscape) return false;
    Edited = true;
    if (KeyEvent) {
        auto* e = new TQOREvent(KeyEvent);
        e->intParameters[0] = key;
        e->SetDispatcher(this);
        QOREvents_PushEvent(e);
    }
    if (key == KeyEnter) return CommitEnter();

    const std::string text = GetText();
    const int len = int(text.size());
    int start = std::min(SelectionStart, len - 1), end = std::min(SelectionEnd - 1, len - 1);
    if (start < 0) start = -1;
    if (end < 0) end = -1;
    bool selection = start != -1 && end != -1 && start <= end;
    if (!selection) start = end = std::clamp(Cursor, 0, len);

    bool ctrl = Modifiers() == 2;
    char upper = QOR_toupper(char(key));
    if (ctrl && upper == 'V') {
        std::vector<char> clip(10000, 0);
        if (!OS.GetClipboardText(clip.data(), int(clip.size()))) return false;
        std::string pasted(clip.data());
        std::string joined = text.substr(0, size_t(start)) + pasted + text.substr(size_t(selection ? end + 1 : start));
        if (joined.size() > size_t(MaxPasteLength)) joined.resize(size_t(MaxPasteLength));
        Cursor = std::min(start + int(pasted.size()), int(joined.size()));
        ClearSelection();
        StoreEditedText(joined, true);
        Cursor = std::clamp(Cursor, 0, TextLength());
        UpdateText();
        OnChange();
        Edited = false;
        return true;
    }
    if (ctrl && (upper == 'X' || upper == 'C')) {
        if (!selection || start > len || end > len) return false;
        if (!OS.SetClipboardText(text.substr(size_t(start), size_t(end - start + 1)).c_str())) return false;
        if (upper == 'C') return true;
        key = 0;
    }

    // Edit a copy; the field changes only when the edit is stored.
    std::string edited = text;
    int cursor = std::clamp(Cursor, 0, len);
    if (selection) {
        edited.erase(size_t(start), size_t(end - start + 1));
        cursor = start;
    } else if (key == KeyBackspace) {
        if (cursor <= 0) {
            OS.Beep();
            return true;
        }
        edited.erase(size_t(cursor - 1), 1);
        --cursor;
    } else if (key == KeyDelete) {
        if (cursor >= len) {
            OS.Beep();
            return true;
        }
        edited.erase(size_t(cursor), 1);
    }
    if (key != KeyBackspace && key != KeyDelete && key != 0) {
        bool digit = key >= '0' && key <= '9';
        if (ValueType == 1) {
            bool accepted = digit || key == '.' || key == ',' || IsSign(char(key)) || upper == 'K' || upper == 'M';
            if (!accepted) {
                OS.Beep();
                return true;
            }
            if (IsSign(char(key)) && (cursor != 0 || (!edited.empty() && IsSign(edited[0])))) return true;
            if (key == '.' && edited.find('.') != std::string::npos) return true;
        } else if (ValueType == 2) {
            if (IsSign(char(key))) {
                if (!edited.empty()) return true;
            } else if (!digit) {
                OS.Beep();
                return true;
            }
        }
        edited.insert(size_t(cursor), 1, char(key));
        ++cursor;
    }
    if (!StoreEditedText(edited, false)) return true;
    Cursor = std::clamp(cursor, 0, TextLength());
    ClearSelection();
    UpdateSize();
    return true;
}

bool TGui_EditField::OnSpecialKeyPress(int key)
{
    int len = TextLength();
    bool shift = Modifiers() == 1;
    switch (key) {
    case KeyEnd: Cursor = len; return true;
    case KeyHome: Cursor = 0; return true;
    case KeyLeft:
        if (!shift) {
            Cursor = std::max(0, Cursor - 1);
        } else if (!HasSelection()) {
            if (Cursor > 0) {
                SelectionStart = Cursor - 1;
                SelectionEnd = Cursor;
            }
        } else if (SelectionStart > 0 && SelectionStart < Cursor) {
            --SelectionStart;
            SelectionEnd = Cursor;
        } else if (SelectionEnd > Cursor) {
            if (--SelectionEnd <= Cursor) ClearSelection();
        }
        return true;
    case KeyRight:
        if (!shift) {
            Cursor = std::min(len, Cursor + 1);
        } else if (!HasSelection()) {
            if (Cursor < len) {
                SelectionStart = Cursor;
                SelectionEnd = Cursor + 1;
            }
        } else if (SelectionEnd > Cursor) {
            if (SelectionEnd < len) ++SelectionEnd;
            SelectionStart = Cursor;
        } else if (SelectionStart < Cursor) {
            if (++SelectionStart >= Cursor) ClearSelection();
        }
        return true;
    default: return false;
    }
}

// [SECTION] Mouse and focus

void TGui_EditField::OnMouse(int button, int state, int x, int y)
{
    TGui_Node::OnMouse(button, state, x, y);
    if (button != 0 || state != 0) return;
    if (TGui_Master* m = GetMaster(); m && m->ActiveNodeID != GetID()) m->SetActiveNode(this);
    ClearSelection();
    Cursor = GetPosFromX(x);
}

bool TGui_EditField::OnMotion(int x, int y)
{
    TGui_Node::OnMotion(x, y);
    int p = GetPosFromX(x);
    if (p == Cursor) {
        ClearSelection();
    } else {
        SelectionStart = std::min(p, Cursor);
        SelectionEnd = std::max(p, Cursor);
    }
    return true;
}

bool TGui_EditField::OnDoubleClick(int x, int y)
{
    TGui_Node::OnDoubleClick(x, y);
    SelectionStart = 0;
    SelectionEnd = TextLength();
    Cursor = 0;
    return true;
}

bool TGui_EditField::OnClick(int x, int y)
{
    TGui_Node::OnClick(x, y);
    return true;
}

void TGui_EditField::OnActivate()
{
    if (GetMaster()) Flash(false);
}

void TGui_EditField::OnDeactivate()
{
    if (HideOnDeactivate) Hide();
    if (Edited) {
        OnChange();
        Edited = false;
    }
}

// [SECTION] Gauge edit field

TGui_GaugeEditField::TGui_GaugeEditField(TGui_Gauge* gauge) : TGui_EditField(gauge), Gauge(gauge)
{
    ValueType = 1;
    FloatMin = -1e30f;
    FloatMax = 1e30f;
    HideOnDeactivate = false;
}

void TGui_GaugeEditField::OnDeactivate()
{
    if (Gauge && Edited) {
        Gauge->SetValue(FloatValue, true);
        Gauge->OnChange();
        Gauge->RaiseChangeEnd();
    }
    TGui_EditField::OnDeactivate();
}

// [SECTION] Edit text

TGui_EditText::TGui_EditText(TGui_Node* parent) : TGui_Node(parent)
{
    Width = 100;
    Caption = new TGui_Text(this);
    Caption->AutoSize = false;
    Caption->Width = CaptionWidth;
    Caption->DrawSurface = false;
    Caption->BorderWidth = 0;
    EditField = new TGui_EditField(this);
    EditField->AutoSize = false;
    ShowName = false;
    DrawSurface = false;
    BorderWidth = 0;
    AutoSize = true;
}

void TGui_EditText::UpdateSize()
{
    Caption->SetName(GetName(), true);
    Caption->SetPosition(0, MarginY);
    Caption->Width = CaptionWidth;
    EditField->SetPosition(2 * MarginX + Caption->Width, 0);
    EditField->Width = std::max(5, Width - EditField->X - 1);
    Height = EditField->Height;
}

TGui_EditText* TGui_Node::AddEditText(const char* name, int valueType)
{
    auto* t = new TGui_EditText(this);
    t->SetName(name ? name : "", true);
    t->EditField->ValueType = valueType;
    t->EditField->UpdateText();
    t->UpdateSize();
    return t;
}
