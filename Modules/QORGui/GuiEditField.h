// TGui_EditField: the single-line text entry of the toolkit, with a caret, a
// selection, the clipboard keys and, in float or integer mode, a number that
// is filtered while typed, parsed after every edit, clamped to its limits and
// written at once to a live variable. TGui_GaugeEditField is the field a
// gauge lays over itself for typing its value; TGui_EditText is a caption
// followed by an edit field.
//
// Invariants:
// - Text is null or a QORalloc block holding a terminated string; GetText
//   never returns null. Text is replaced, never grown, on every change.
// - 0 <= Cursor <= text length after every operation; the caret stands before
//   the character of that index.
// - The selection is SelectionStart .. SelectionEnd - 1; -1 in either end
//   means none.
// - The number never changes to a value outside the enabled limits; text
//   that parses outside them (integer overflow included) stays as typed and
//   the number keeps its last value.
// - The change event is raised once per commit: Enter, losing the focus after
//   an edit, or a paste. Typing alone writes the live variable, not the change.
#pragma once

#include "GuiNode.h"

#include <cstdint>
#include <string>

class TGui_Gauge;
class TGui_Text;

class TGui_EditField : public TGui_Node {
public:
    explicit TGui_EditField(TGui_Node* parent = nullptr);
    ~TGui_EditField() override;

    // [SECTION] Text and numbers
    const char* GetText() const;
    // Replaces Text by a copy (null leaves none) and keeps Cursor inside it.
    void SetText(const char* text, bool unused = false);
    float GetFloatValue() const { return FloatValue; }
    // Stores value clamped to the enabled limits (a NaN is ignored), writes the
    // live variable when notify, and shows text, or the number when it was
    // clamped or text is null. A non-null empty text only empties the field.
    void SetFloatValue(float value, const char* text, bool notify);
    void SetIntValue(int value, const char* text, bool notify);
    // Regenerates Text from the number (float and integer mode).
    void UpdateText(bool unused = false);
    void SelectAllText();
    // The character index under a node-relative x.
    int GetPosFromX(int x);
    // Pixel width of the character at index i (glyph 0 past the end), and of
    // one character code (codes of 128 and above as glyph 0, a tab as four spaces).
    int CharWidth(int i) const;
    static int GlyphWidth(unsigned char c);

    // [SECTION] Node operations
    bool OnClick(int x, int y) override;
    bool OnDoubleClick(int x, int y) override;
    bool OnMotion(int x, int y) override;
    void OnMouse(int button, int state, int x, int y) override;
    bool OnKeyPress(unsigned char key) override;
    bool OnSpecialKeyPress(int key) override;
    void OnDeactivate() override;
    void OnActivate() override;
    void UpdateSize() override;
    void Draw() override;

    // Longest text a paste produces, in characters.
    static constexpr int MaxPasteLength = 9999;

    // [SECTION] Fields
    char* Text = nullptr;
    int32_t FirstVisible = 0;
    float FloatValue = 0.0f;
    int32_t IntValue = 0;
    int32_t Decimals = 4;
    int32_t ValueType = 0;   // 0 text, 1 float, 2 integer
    bool MinEnabled = true, MaxEnabled = true;
    int32_t IntMin = INT32_MIN, IntMax = INT32_MAX;
    float FloatMin = -1e30f, FloatMax = 1e30f;
    int32_t Cursor = 0;
    int32_t MinTextWidth = 50;   // pixels
    int32_t SelectionStart = -1, SelectionEnd = -1;
    bool Edited = false;

private:
    int TextLength() const;
    bool HasSelection() const { return SelectionStart >= 0 && SelectionEnd >= 0; }
    void ClearSelection() { SelectionStart = SelectionEnd = -1; }
    bool IsActive();
    int Modifiers();
    void ReadVariables();
    void ScrollToCaret();
    // Stores an edited or pasted text through the number rules; false when a
    // float text does not parse (nothing changed).
    bool StoreEditedText(const std::string& text, bool paste);
    bool CommitEnter();
};

class TGui_GaugeEditField : public TGui_EditField {
public:
    explicit TGui_GaugeEditField(TGui_Gauge* gauge);
    void OnDeactivate() override;

    TGui_Gauge* Gauge = nullptr;   // not owned: the field's parent
};

class TGui_EditText : public TGui_Node {
public:
    explicit TGui_EditText(TGui_Node* parent = nullptr);
    void UpdateSize() override;

    int32_t CaptionWidth = 60;   // pixels
    TGui_Text* Caption = nullptr;
    TGui_EditField* EditField = nullptr;
};

// Parses integer text as atoi reads it (leading blanks, a sign, digits; no
// digits reads 0), but reports overflow of int32 instead of wrapping: false
// and value untouched.
bool Gui_ParseIntText(const char* text, int32_t& value);
