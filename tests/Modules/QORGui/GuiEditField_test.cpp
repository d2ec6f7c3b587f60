// Edit fields without GL: key filtering per value type, limits and integer
// overflow, the editing and clipboard keys, Shift selection, the one change
// event of a commit, live variables, horizontal scrolling and hit-testing.
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "KsnTestSupport.h"
#include "OS.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

int Beeps = 0;
void CountBeep() { ++Beeps; }

int Changes = 0;
bool CountChange(TQOREvent*)
{
    ++Changes;
    return true;
}

std::vector<float> FloatWrites;
float FloatVariable = 0.0f;
bool FloatVariableCB(TQOREvent* e)
{
    if (e->operationMode == 1) {
        FloatVariable = e->floatParameters[0];
        FloatWrites.push_back(FloatVariable);
    } else {
        e->floatParameters[0] = FloatVariable;
    }
    return true;
}

constexpr int End = 312, Home = 313, Left = 314, Right = 316;

class GuiEditFieldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        OS.SetDialogProvider(&Provider);
        OS.AssignOnBeep(&CountBeep);
        Beeps = Changes = 0;
        FloatWrites.clear();
        FloatVariable = 0.0f;
        Master.SetSize(400, 300);
        Field = new TGui_EditField(&Master);
        Field->ChangeEvent = new TQOREvent(&CountChange, 0, 1);
    }
    void TearDown() override
    {
        OS.AssignOnBeep(nullptr);
        OS.SetDialogProvider(nullptr);
        QOREvents_Clean();
    }
    void Type(const std::string& keys)
    {
        for (char c : keys) EXPECT_TRUE(Field->OnKeyPress(static_cast<unsigned char>(c))) << c;
    }
    bool Ctrl(char letter)
    {
        Master.Modifiers = 2;
        bool used = Field->OnKeyPress(static_cast<unsigned char>(letter));
        Master.Modifiers = 0;
        return used;
    }
    bool ShiftSpecial(int key)
    {
        Master.Modifiers = 1;
        bool used = Field->OnSpecialKeyPress(key);
        Master.Modifiers = 0;
        return used;
    }

    TScriptedProvider Provider;
    TGui_Master Master;
    TGui_EditField* Field = nullptr;
};

TEST_F(GuiEditFieldTest, FloatKeysAreFilteredAndTheNumberFollowsTheText)
{
    struct TCase {
        const char* Keys;
        const char* Text;
        float Value;
        int Beeps;
    };
    const TCase cases[] = {
        {"-", "-", 0.0f, 0},          // a sign alone reads 0
        {"1.5.", "1.5", 1.5f, 0},     // the second point is refused silently
        {"2k", "2k", 2000.0f, 0},     // suffixes multiply, the text stays as typed
        {"3M", "3M", 3e6f, 0},
        {"1,250", "1,250", 1250.0f, 0},
        {"4-", "4", 4.0f, 0},         // a sign only at the start
        {"-+", "-", 0.0f, 0},         // and only one
        {"7a", "7", 7.0f, 1},         // anything else beeps
        {"k", "", 0.0f, 0},           // a text that does not parse is dropped
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Keys);
        Field->SetText(nullptr);
        Field->FloatValue = 0;
        Field->Cursor = 0;
        Field->ValueType = 1;
        Beeps = 0;
        Type(c.Keys);
        EXPECT_STREQ(Field->GetText(), c.Text);
        EXPECT_FLOAT_EQ(Field->FloatValue, c.Value);
        EXPECT_EQ(Beeps, c.Beeps);
        EXPECT_EQ(Field->Cursor, int(std::string(c.Text).size()));
    }
    EXPECT_EQ(Changes, 0) << "typing writes the variable but commits nothing";
}

TEST_F(GuiEditFieldTest, FloatLimitsClampThroughTheSetterButTypedTextOutsideStaysAsTyped)
{
    Field->ValueType = 1;
    Field->FloatMax = 10.0f;
    Field->FloatVariableEvent = new TQOREvent(&FloatVariableCB, 0, 2);
    Type("2");
    EXPECT_EQ(FloatWrites, std::vector<float>{2.0f});
    Type("5");   // 25 lies outside: the text shows it, the number stays
    EXPECT_STREQ(Field->GetText(), "25");
    EXPECT_FLOAT_EQ(Field->FloatValue, 2.0f);
    EXPECT_EQ(FloatWrites.size(), 1u);

    Field->SetFloatValue(25.0f, "25", true);   // clamped: the text is rewritten
    EXPECT_FLOAT_EQ(Field->FloatValue, 10.0f);
    EXPECT_STREQ(Field->GetText(), "10");
    EXPECT_FLOAT_EQ(FloatVariable, 10.0f);

    Field->SetFloatValue(std::nanf(""), "nan", true);
    EXPECT_FLOAT_EQ(Field->FloatValue, 10.0f) << "a NaN never becomes the value";

    Field->SetFloatValue(3.0f, "", true);   // an empty text only empties the field
    EXPECT_STREQ(Field->GetText(), "");
    EXPECT_FLOAT_EQ(Field->FloatValue, 10.0f);
}

TEST_F(GuiEditFieldTest, IntegerKeysOverflowAndLimits)
{
    Field->ValueType = 2;
    Type("a");
    EXPECT_EQ(Beeps, 1) << "letters beep";
    Type("-5+");
    EXPECT_EQ(Beeps, 1) << "a sign after the first character is refused silently";
    EXPECT_STREQ(Field->GetText(), "-5");
    EXPECT_EQ(Field->IntValue, -5);

    Field->SetText("");
    Field->IntValue = 0;
    Type(std::string(11, '9'));
    EXPECT_EQ(Field->IntValue, 999999999) << "the last value in range stays";
    EXPECT_EQ(std::string(Field->GetText()), std::string(11, '9'));
    // Enter shows the stored number again instead of a wrapped one.
    Field->OnKeyPress(13);
    EXPECT_STREQ(Field->GetText(), "999999999");
    EXPECT_EQ(Field->IntValue, 999999999);

    Field->SetText("");
    Field->IntMax = 100;
    Type("150");
    EXPECT_EQ(Field->IntValue, 15);
    EXPECT_STREQ(Field->GetText(), "150");
}

TEST_F(GuiEditFieldTest, IntegerTextParsingReportsOverflowAtTheInt32Edges)
{
    struct TCase {
        const char* Text;
        bool Ok;
        int32_t Value;
    };
    const TCase cases[] = {
        {"2147483647", true, 2147483647}, {"2147483648", false, 0}, {"-2147483648", true, INT32_MIN},
        {"-2147483649", false, 0},        {"99999999999999999999", false, 0}, {"", true, 0},
        {"-", true, 0},                   {" 12x", true, 12},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Text);
        int32_t v = 0;
        EXPECT_EQ(Gui_ParseIntText(c.Text, v), c.Ok);
        if (c.Ok) {
            EXPECT_EQ(v, c.Value);
        }
    }
}

TEST_F(GuiEditFieldTest, BackspaceAndDeleteAtTheEndsBeepAndOnlyDeleteASelection)
{
    Field->SetText("abc");
    Field->Cursor = 0;
    Field->OnKeyPress(8);
    Field->Cursor = 3;
    Field->OnKeyPress(127);
    EXPECT_EQ(Beeps, 2);
    EXPECT_STREQ(Field->GetText(), "abc");

    Field->OnKeyPress(8);
    EXPECT_STREQ(Field->GetText(), "ab");
    EXPECT_EQ(Field->Cursor, 2);
    Field->Cursor = 0;
    Field->OnKeyPress(127);
    EXPECT_STREQ(Field->GetText(), "b");

    Field->SetText("hello");
    Field->SelectionStart = 1;
    Field->SelectionEnd = 4;
    Field->Cursor = 4;
    Field->OnKeyPress(127);
    EXPECT_STREQ(Field->GetText(), "ho");
    EXPECT_EQ(Field->Cursor, 1);
    EXPECT_EQ(Field->SelectionStart, -1);
    EXPECT_EQ(Beeps, 2);
}

TEST_F(GuiEditFieldTest, PasteReplacesTheSelectionCommitsOnceAndIsCutAtItsLimit)
{
    Field->SetText("abc");
    Field->SelectionStart = 1;
    Field->SelectionEnd = 2;
    Provider.Clipboard = "XY";
    EXPECT_TRUE(Ctrl('v'));
    EXPECT_STREQ(Field->GetText(), "aXYc");
    EXPECT_EQ(Field->Cursor, 3);
    EXPECT_EQ(Field->SelectionStart, -1);
    EXPECT_EQ(Changes, 1);
    EXPECT_FALSE(Field->Edited);

    Provider.Clipboard = std::string(9999, 'x');
    Field->Cursor = 0;
    EXPECT_TRUE(Ctrl('V'));
    EXPECT_EQ(std::string(Field->GetText()).size(), size_t(TGui_EditField::MaxPasteLength));

    Provider.ClipboardOpens = false;
    Field->SetText("keep");
    EXPECT_FALSE(Ctrl('v')) << "a clipboard failure leaves the key to the hot keys";
    EXPECT_STREQ(Field->GetText(), "keep");
}

TEST_F(GuiEditFieldTest, AnOutOfRangeIntegerPasteShowsTheOldValueAgain)
{
    Field->ValueType = 2;
    Field->SetIntValue(5, nullptr, false);
    for (const char* pasted : {"99999999999", "-99999999999"}) {
        SCOPED_TRACE(pasted);
        Field->SelectAllText();
        Provider.Clipboard = pasted;
        EXPECT_TRUE(Ctrl('v'));
        EXPECT_EQ(Field->IntValue, 5);
        EXPECT_STREQ(Field->GetText(), "5");
    }
    Field->IntMax = 50;
    Field->SelectAllText();
    Provider.Clipboard = "60";
    Ctrl('v');
    EXPECT_STREQ(Field->GetText(), "5");
    Field->SelectAllText();
    Provider.Clipboard = "42";
    Ctrl('v');
    EXPECT_EQ(Field->IntValue, 42);
}

TEST_F(GuiEditFieldTest, CopyAndCutNeedASelection)
{
    Field->SetText("abcd");
    Field->Cursor = 2;
    EXPECT_FALSE(Ctrl('c')) << "so a hot key on Ctrl+C still runs";
    EXPECT_FALSE(Ctrl('x'));
    Field->SelectionStart = 1;
    Field->SelectionEnd = 3;
    EXPECT_TRUE(Ctrl('C'));
    EXPECT_EQ(Provider.Clipboard, "bc");
    EXPECT_STREQ(Field->GetText(), "abcd");
    EXPECT_TRUE(Ctrl('x'));
    EXPECT_STREQ(Field->GetText(), "ad");
    EXPECT_EQ(Field->Cursor, 1);
    // Without Ctrl the letters are characters.
    Type("c");
    EXPECT_STREQ(Field->GetText(), "acd");
}

TEST_F(GuiEditFieldTest, ShiftArrowsGrowAndShrinkTheSelectionAroundTheCaret)
{
    Field->SetText("a");
    Field->Cursor = 0;
    EXPECT_TRUE(ShiftSpecial(Right));
    EXPECT_EQ(Field->SelectionStart, 0);
    EXPECT_EQ(Field->SelectionEnd, 1);
    EXPECT_TRUE(ShiftSpecial(Right));
    EXPECT_EQ(Field->SelectionStart, 0);
    EXPECT_EQ(Field->SelectionEnd, 1) << "the end never passes the length";
    EXPECT_EQ(Field->Cursor, 0) << "the caret is the anchor";
    EXPECT_TRUE(ShiftSpecial(Left));
    EXPECT_EQ(Field->SelectionStart, -1) << "shrunk back to the caret";

    Field->SetText("abcde");
    Field->Cursor = 3;
    ShiftSpecial(Left);
    ShiftSpecial(Left);
    EXPECT_EQ(Field->SelectionStart, 1);
    EXPECT_EQ(Field->SelectionEnd, 3);
    ShiftSpecial(Right);
    EXPECT_EQ(Field->SelectionStart, 2);
    ShiftSpecial(Right);
    EXPECT_EQ(Field->SelectionStart, -1);

    EXPECT_TRUE(Field->OnSpecialKeyPress(End));
    EXPECT_EQ(Field->Cursor, 5);
    EXPECT_TRUE(Field->OnSpecialKeyPress(Right));
    EXPECT_EQ(Field->Cursor, 5);
    EXPECT_TRUE(Field->OnSpecialKeyPress(Home));
    EXPECT_TRUE(Field->OnSpecialKeyPress(Left));
    EXPECT_EQ(Field->Cursor, 0);
    EXPECT_FALSE(Field->OnSpecialKeyPress(315)) << "Up is not the field's";
}

TEST_F(GuiEditFieldTest, EnterCommitsExactlyOnceWhetherFocusedOrNot)
{
    struct TCase {
        bool Focused, Typed;
    };
    for (TCase c : {TCase{true, true}, TCase{true, false}, TCase{false, true}}) {
        SCOPED_TRACE(std::to_string(c.Focused) + std::to_string(c.Typed));
        Changes = 0;
        if (c.Focused) Master.SetActiveNode(Field);
        if (c.Typed) Type("5");
        EXPECT_TRUE(Field->OnKeyPress(13));
        EXPECT_EQ(Changes, 1);
        EXPECT_EQ(Master.ActiveNodeID, 0u);
        EXPECT_FALSE(Field->Edited);
    }
    // Losing the focus after an edit commits too, once.
    Changes = 0;
    Master.SetActiveNode(Field);
    Type("6");
    Master.SetActiveNode(nullptr);
    Master.SetActiveNode(Field);
    Master.SetActiveNode(nullptr);
    EXPECT_EQ(Changes, 1);
}

TEST_F(GuiEditFieldTest, AltTabAndEscapeAreLeftToTheMaster)
{
    Master.AltHeld = true;
    EXPECT_FALSE(Field->OnKeyPress('a'));
    Master.AltHeld = false;
    EXPECT_FALSE(Field->OnKeyPress(9));
    EXPECT_FALSE(Field->OnKeyPress(27));
    EXPECT_STREQ(Field->GetText(), "");
    EXPECT_FALSE(Field->Edited);
    // Every other key is queued as a copy of the key template.
    Field->KeyEvent = new TQOREvent(7);
    Field->OnKeyPress('q');
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->intParameters[0], 'q');
    EXPECT_EQ(QOREvents_PeekEvent(0)->dispatcherID, Field->GetID());
}

TEST_F(GuiEditFieldTest, TheVariableIsReadBackAtEveryLayout)
{
    Field->ValueType = 1;
    Field->Decimals = 2;
    Field->FloatVariableEvent = new TQOREvent(&FloatVariableCB, 0, 2);
    FloatVariable = 12.5f;
    Master.LayoutTree();
    EXPECT_FLOAT_EQ(Field->FloatValue, 12.5f);
    EXPECT_STREQ(Field->GetText(), "12.5");
    FloatVariable = std::nanf("");
    Master.LayoutTree();
    EXPECT_FLOAT_EQ(Field->FloatValue, 12.5f);
}

// The summed width of characters [from, to) of the field's text.
int Span(TGui_EditField* f, int from, int to)
{
    int w = 0;
    for (int i = from; i < to; ++i) w += f->CharWidth(i);
    return w;
}

TEST_F(GuiEditFieldTest, ANarrowFieldKeepsTheCharacterBeforeTheCaretInView)
{
    Field->AutoSize = false;
    Field->Width = 30;
    Field->SetText("abcdefghijklmnop");
    const int inner = 30 - 2 * Field->BorderWidth - 2 * Field->MarginX;
    for (int cursor : {16, 9, 3, 1}) {
        SCOPED_TRACE(cursor);
        Field->Cursor = cursor;
        Field->UpdateSize();
        EXPECT_LT(Field->FirstVisible, cursor);
        EXPECT_LE(Span(Field, Field->FirstVisible, cursor), inner);
    }
    Field->OnSpecialKeyPress(Home);
    Field->UpdateSize();
    EXPECT_EQ(Field->FirstVisible, 0);

    // A very long text scrolls with the caret; a field narrower than its
    // margins has room for no character and shows the text from the caret.
    Field->SetText(std::string(10000, 'w').c_str());
    Field->Cursor = 10000;
    Field->UpdateSize();
    EXPECT_GT(Field->FirstVisible, 9990);
    Field->Width = 5;
    Field->UpdateSize();
    EXPECT_EQ(Field->FirstVisible, 10000);
    Field->Cursor = 0;
    Field->UpdateSize();
    EXPECT_EQ(Field->FirstVisible, 0);
}

TEST_F(GuiEditFieldTest, APressPlacesTheCaretOnTheCharacterUnderTheMouseAndADragSelects)
{
    Field->AutoSize = false;
    Field->Width = 200;
    Field->SetText("abcdef");
    Field->UpdateSize();
    const int m = Field->MarginX + Field->BorderWidth;
    Field->OnMouse(0, 0, m + 1, 5);
    EXPECT_EQ(Master.ActiveNodeID, Field->GetID());
    EXPECT_EQ(Field->Cursor, 0) << "a press on the first character puts the caret before it";
    Field->OnMouse(0, 0, m + Span(Field, 0, 2) + 1, 5);
    EXPECT_EQ(Field->Cursor, 2);
    Field->OnMotion(m + Span(Field, 0, 5) + 1, 5);
    EXPECT_EQ(Field->SelectionStart, 2);
    EXPECT_EQ(Field->SelectionEnd, 5);
    Field->OnMotion(-50, 5);
    EXPECT_EQ(Field->SelectionStart, 0);
    EXPECT_EQ(Field->SelectionEnd, 2);
    EXPECT_EQ(Field->GetPosFromX(1000), 6);
    Field->OnDoubleClick(3, 3);
    EXPECT_EQ(Field->SelectionEnd, 6);
    EXPECT_EQ(Field->Cursor, 0);
}

TEST_F(GuiEditFieldTest, DrawingAFieldWithoutAParentIsRefusedBeforeAnyDrawing)
{
    TGui_EditField loose(nullptr);
    EXPECT_THROW(loose.Draw(), std::logic_error);
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text, "Parent is NULL in TGui_EditField::Draw()");
}

TEST_F(GuiEditFieldTest, AnEditTextLaysOutItsCaptionAndField)
{
    TGui_EditText* t = Master.AddEditText("Size", 2);
    EXPECT_STREQ(t->EditField->GetText(), "0");
    t->Width = 200;
    Master.LayoutTree();
    EXPECT_STREQ(t->Caption->GetName(), "Size");
    EXPECT_EQ(t->EditField->X, 2 * t->MarginX + t->CaptionWidth);
    EXPECT_EQ(t->EditField->Width, 200 - t->EditField->X - 1);
    EXPECT_EQ(t->Height, t->EditField->Height);
    t->Width = 10;
    Master.LayoutTree();
    EXPECT_EQ(t->EditField->Width, 5);
}

} // namespace
