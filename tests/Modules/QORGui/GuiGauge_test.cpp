// Gauges, sliders and scroll bars without GL: positions and snapping, the
// response curve, orientation and degenerate sizes, the change bracket of an
// interactive change, the drop-down button and strip, live variables, the
// shown value, the scroll bar's thumb, arrows and pages, and the gauge's own
// edit field.
#include "GuiTestEvents.h"
#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "QOREvents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int ChangeStart = 101, Change = 102, ChangeEnd = 103;

float FloatVariable = 0.0f;
int IntVariable = 0;
bool FloatVariableCB(TQOREvent* e)
{
    if (e->operationMode == 1)
        FloatVariable = e->floatParameters[0];
    else
        e->floatParameters[0] = FloatVariable;
    return true;
}
bool IntVariableCB(TQOREvent* e)
{
    if (e->operationMode == 1)
        IntVariable = e->intParameters[0];
    else
        e->intParameters[0] = IntVariable;
    return true;
}

class GuiGaugeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        Master.SetSize(400, 300);
        Gauge = new TGui_Gauge(&Master);
        Gauge->SetPosition(10, 10);
        Gauge->ChangeStartEvent = new TQOREvent(ChangeStart);
        Gauge->ChangeEvent = new TQOREvent(Change);
        Gauge->ChangeEndEvent = new TQOREvent(ChangeEnd);
    }
    void TearDown() override { QOREvents_Clean(); }

    TGui_Master Master;
    TGui_Gauge* Gauge = nullptr;
};

TEST_F(GuiGaugeTest, SnappingRoundsToTenthsOrWholesAndStaysWithinTheLimits)
{
    struct TCase {
        float Min, Max, Percent;
        bool Snap;
        float Expected;
    };
    const TCase cases[] = {
        {0, 1, 0.37f, true, 0.4f},    {0, 100, 0.37f, true, 37.0f}, {-1, 1, 0.37f, true, -0.3f},
        {0, 2.5f, 1.0f, true, 2.5f},  // 3 after rounding, clamped back to the maximum
        {0, 1, 0.37f, false, 0.37f},  {0, 1, 1.5f, false, 1.0f},    {0, 1, -0.5f, false, 0.0f},
        {0, 10, 0.25f, true, 3.0f},   // 2.5 rounds half away from zero
        {-1, 0, 0.25f, true, -0.8f},  // -7.5 tenths likewise
        {-10, 0, 0.75f, true, -2.5f}, // values of 1 or less keep their tenths
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Min) + ".." + std::to_string(c.Max) + " at " + std::to_string(c.Percent));
        Gauge->Minimum = c.Min;
        Gauge->Maximum = c.Max;
        Gauge->SetPercent(c.Percent, c.Snap);
        EXPECT_NEAR(Gauge->Value, c.Expected, 1e-6);
    }
    Gauge->MaxEnabled = false;
    Gauge->Minimum = 0;
    Gauge->Maximum = 1;
    Gauge->SetPercent(1.5f, false);
    EXPECT_FLOAT_EQ(Gauge->Value, 1.5f) << "a disabled limit does not clamp";
}

TEST_F(GuiGaugeTest, TheQuadraticCurveSquaresThePressAndTheBarShowsTheRoot)
{
    Gauge->ResponseCurve = 1;
    Gauge->OnMouse(0, 0, 50, 8);
    EXPECT_FLOAT_EQ(Gauge->Value, 0.25f);
    EXPECT_FLOAT_EQ(Gauge->GetDisplayedPosition(), 0.5f);
}

TEST_F(GuiGaugeTest, PressesMapByOrientationAndDegenerateSizesMapToZero)
{
    struct TCase {
        int Orientation, W, H, X, Y;
        float Min, Max, Expected;
    };
    const TCase cases[] = {
        {0, 100, 16, 0, 8, 0, 1, 0.0f},    {0, 100, 16, 100, 8, 0, 1, 1.0f},
        {1, 16, 100, 8, 0, 0, 1, 1.0f},    // the top edge is 100 %
        {1, 16, 100, 8, 100, 0, 1, 0.0f},  // the bottom edge 0 %
        {1, 16, 100, 8, 75, 0, 1, 0.25f},
        {0, 0, 16, 5, 8, 0, 1, 0.0f},      // no width: nothing divides by it
        {1, 16, 0, 8, 5, 0, 1, 0.0f},      // no height
        {0, 100, 16, 70, 8, 3, 3, 3.0f},   // an empty range maps to the minimum
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Orientation) + " " + std::to_string(c.W) + "x" + std::to_string(c.H));
        Gauge->Orientation = c.Orientation;
        Gauge->SetSize(c.W, c.H);
        Gauge->Minimum = c.Min;
        Gauge->Maximum = c.Max;
        Gauge->Value = 0.5f;
        Gauge->OnMouse(0, 0, c.X, c.Y);
        EXPECT_FALSE(std::isnan(Gauge->Value));
        EXPECT_NEAR(Gauge->Value, c.Expected, 1e-6);
        Gauge->OnMouse(0, 1, c.X, c.Y);
    }
    Gauge->Minimum = Gauge->Maximum = 3;
    EXPECT_FLOAT_EQ(Gauge->GetDisplayedPosition(), 0.0f) << "no bar for an empty range";
}

TEST_F(GuiGaugeTest, ArrowKeysStepTheShownPositionWithinTheEnds)
{
    struct TCase {
        float Start;
        int Key;
        float Expected;
    };
    for (TCase c : {TCase{0.98f, 316, 1.0f}, TCase{0.02f, 314, 0.0f}, TCase{0.5f, 316, 0.55f}}) {
        SCOPED_TRACE(c.Start);
        Gauge->Value = c.Start;
        EXPECT_TRUE(Gauge->OnSpecialKeyPress(c.Key));
        EXPECT_NEAR(Gauge->Value, c.Expected, 1e-6);
    }
    EXPECT_FALSE(Gauge->OnSpecialKeyPress(315));
    TGui_Slider slider(nullptr);
    EXPECT_FALSE(slider.OnSpecialKeyPress(316)) << "sliders leave the arrows alone";
}

TEST_F(GuiGaugeTest, ThePressDragAndReleaseBracketTheChanges)
{
    Master.LastButton = 0;
    Gauge->OnMouse(0, 0, 20, 8);
    Gauge->OnMotion(40, 8);
    Gauge->OnMotion(60, 8);
    Gauge->OnMouse(0, 1, 60, 8);
    std::vector<int> got = DrainCommands();
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got.front(), ChangeStart) << "the press's own value change lies inside the bracket";
    EXPECT_EQ(got.back(), ChangeEnd);
    EXPECT_EQ(std::count(got.begin(), got.end(), ChangeStart), 1);
    EXPECT_EQ(std::count(got.begin(), got.end(), ChangeEnd), 1);
    EXPECT_GE(std::count(got.begin(), got.end(), Change), 3) << "changes while dragging";
    EXPECT_FLOAT_EQ(Gauge->Value, 0.6f);

    Master.LastButton = 2;   // dragging with another button moves nothing
    Gauge->OnMotion(10, 8);
    EXPECT_FLOAT_EQ(Gauge->Value, 0.6f);
}

TEST_F(GuiGaugeTest, TheDropDownButtonOpensTheStripAndItsDragSendsOneChangeStart)
{
    TGui_GaugeDropDown* strip = Gauge->GetDropDown();
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->Parent, &Master);
    EXPECT_FALSE(strip->Shown);
    Master.LayoutTree();
    TGui_GaugeHideEditButton* button = Gauge->DropDownButton;
    EXPECT_EQ(button->X, Gauge->Width - Gauge->Height);
    EXPECT_EQ(button->Width, Gauge->Height);

    button->OnMouse(0, 0, 3, 3);
    EXPECT_TRUE(strip->Shown);
    Master.LayoutTree();
    EXPECT_EQ(strip->X, Gauge->AbsX);
    EXPECT_EQ(strip->Y, Gauge->AbsY + Gauge->Height);
    EXPECT_EQ(strip->Width, Gauge->Width);

    button->OnMotion(-20, 3);   // still over the gauge: no change yet
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
    Master.MouseOverNodeID = strip->GetID();
    for (int x : {-40, -60, -200}) button->OnMotion(x, 20);
    std::vector<int> got = DrainCommands();
    EXPECT_EQ(std::count(got.begin(), got.end(), ChangeStart), 1);
    EXPECT_EQ(got.front(), ChangeStart);
    EXPECT_FLOAT_EQ(Gauge->Value, 0.0f) << "dragged past the left end";
    button->OnMotion(-40, 20);
    float expected = std::round(float(button->AbsX - 40 - Gauge->AbsX) / float(Gauge->Width) * 10.0f) / 10.0f;
    EXPECT_FLOAT_EQ(Gauge->Value, expected) << "the strip snaps";
    DrainCommands();

    button->OnMouse(0, 1, -40, 20);
    EXPECT_FALSE(strip->Shown);
    EXPECT_EQ(DrainCommands(), std::vector<int>{ChangeEnd});

    // A press and release without a drag toggles the strip only.
    button->OnMouse(0, 0, 3, 3);
    button->OnMouse(0, 1, 3, 3);
    EXPECT_TRUE(strip->Shown);
    EXPECT_TRUE(DrainCommands().empty());
    button->OnMouse(0, 0, 3, 3);
    EXPECT_FALSE(strip->Shown);
}

TEST_F(GuiGaugeTest, TheStripSetsTheValueBracketsItsChangeAndClosesOnAPressElsewhere)
{
    TGui_GaugeDropDown* strip = Gauge->GetDropDown();
    strip->Show();
    Master.LayoutTree();
    strip->OnMouse(0, 0, 37, 5);
    Master.LastButton = 0;
    strip->OnMotion(81, 5);
    strip->OnMouse(0, 1, 81, 5);
    EXPECT_FLOAT_EQ(Gauge->Value, 0.8f);
    std::vector<int> got = DrainCommands();
    EXPECT_EQ(got.front(), ChangeStart);
    EXPECT_EQ(std::count(got.begin(), got.end(), ChangeStart), 1);
    EXPECT_EQ(got.back(), ChangeEnd) << "the strip's change is closed by its release";

    Master.MouseDownNodeID = Gauge->EditField->GetID();
    Master.LayoutTree();
    EXPECT_TRUE(strip->Shown) << "a press inside the gauge keeps it";
    TGui_Node* other = Master.AddNode("other", 10, 10);
    Master.MouseDownNodeID = other->GetID();
    Master.LayoutTree();
    EXPECT_FALSE(strip->Shown);

    strip->Show();
    Gauge->Hide();
    Master.LayoutTree();
    EXPECT_FALSE(strip->Shown) << "hidden with its gauge";

    uint32_t stripID = strip->GetID();
    Gauge->DeletePending = true;
    Master.LayoutTree();
    Master.LayoutTree();
    EXPECT_EQ(__GetThingyFromID(stripID), nullptr) << "the strip goes with its gauge";
}

TEST_F(GuiGaugeTest, AGaugeBuiltBeforeItsMasterHasNoStrip)
{
    TGui_Node loose;
    auto* gauge = new TGui_Gauge(&loose);
    EXPECT_EQ(gauge->DropDownID, 0u);
    EXPECT_EQ(gauge->GetDropDown(), nullptr);
    gauge->DropDownButton->OnMouse(0, 0, 2, 2);
    gauge->DropDownButton->OnMotion(-30, 2);
    gauge->DropDownButton->OnMouse(0, 1, -30, 2);
    EXPECT_FLOAT_EQ(gauge->Value, 0.0f);
}

TEST_F(GuiGaugeTest, LiveVariablesAreWrittenOnChangesAndReadBackAtLayout)
{
    Gauge->Maximum = 10;
    Gauge->FloatVariableEvent = new TQOREvent(&FloatVariableCB, 0, 1);
    Gauge->SetValue(4.5f, true);
    EXPECT_FLOAT_EQ(FloatVariable, 4.5f);
    FloatVariable = 7.25f;
    Master.LayoutTree();
    EXPECT_FLOAT_EQ(Gauge->Value, 7.25f);
    EXPECT_FLOAT_EQ(Gauge->EditField->FloatValue, 7.25f);
    FloatVariable = std::nanf("");
    Master.LayoutTree();
    EXPECT_FLOAT_EQ(Gauge->Value, 7.25f) << "a NaN from the variable is ignored";
    Gauge->SetValue(std::nanf(""), true);
    EXPECT_FLOAT_EQ(Gauge->Value, 7.25f);

    // The integer variable wins, and carries the value rounded half away from zero.
    Gauge->IntVariableEvent = new TQOREvent(&IntVariableCB, 0, 1);
    Gauge->SetValue(2.5f, true);
    EXPECT_EQ(IntVariable, 3);
    IntVariable = 6;
    Master.LayoutTree();
    EXPECT_FLOAT_EQ(Gauge->Value, 6.0f);

    // While the user types into the field, the variable does not overwrite it.
    Master.SetActiveNode(Gauge->EditField);
    IntVariable = 9;
    Master.LayoutTree();
    EXPECT_FLOAT_EQ(Gauge->Value, 6.0f);
}

TEST_F(GuiGaugeTest, TheShownValueIsRoundedHalfAwayFromZero)
{
    struct TCase {
        int Decimals;
        float Value;
        const char* Name;
    };
    const TCase cases[] = {{4, 0.5f, "0.5000"}, {0, 2.6f, "3"}, {0, 0.5f, "1"}, {0, -2.5f, "-3"}, {2, 1.0f, "1.00"}};
    Gauge->ShowValueAsName = true;
    Gauge->Minimum = -10;
    Gauge->Maximum = 10;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Gauge->Decimals = c.Decimals;
        Gauge->Value = c.Value;
        Master.LayoutTree();
        EXPECT_STREQ(Gauge->GetName(), c.Name);
    }
}

TEST_F(GuiGaugeTest, TheGaugesFieldCommitsTheTypedValueAndEndsTheChange)
{
    Gauge->Maximum = 10;
    TGui_GaugeEditField* field = Gauge->EditField;
    EXPECT_EQ(field->Parent, Gauge);
    EXPECT_EQ(field->ValueType, 1);
    Master.SetActiveNode(field);
    field->SetText("");
    for (char c : std::string("12")) field->OnKeyPress(static_cast<unsigned char>(c));
    EXPECT_FLOAT_EQ(field->FloatValue, 12.0f) << "the field's own limits are wide";
    Master.SetActiveNode(nullptr);
    EXPECT_FLOAT_EQ(Gauge->Value, 10.0f) << "the gauge clamps to its range";
    std::vector<int> got = DrainCommands();
    EXPECT_EQ(std::count(got.begin(), got.end(), ChangeEnd), 1);
}

TEST_F(GuiGaugeTest, ATextAndGaugePlacesItsGaugeAfterTheCaption)
{
    auto* w = new TGui_TextAndGauge(&Master);
    w->Width = 200;
    Master.LayoutTree();
    EXPECT_EQ(w->Gauge->X, w->CaptionWidth);
    EXPECT_EQ(w->Gauge->Width, 150);
    EXPECT_EQ(w->Height, w->Gauge->Height);
    TGui_Gauge* g = Master.AddGauge("Strength", "How strong", 0, 5);
    EXPECT_FLOAT_EQ(g->Maximum, 5);
    EXPECT_STREQ(g->GetName(), "Strength");
}

// [SECTION] Scroll bars and sliders

class GuiScrollBarTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        Master.SetSize(400, 300);
        Panel = Master.AddNode(nullptr, 100, 100);
        Content = Panel->AddNode(nullptr, 50, 100);
        Bar = Panel->CreateVerticalScrollBar();
    }
    void TearDown() override { QOREvents_Clean(); }

    TGui_Master Master;
    TGui_Node* Panel = nullptr;
    TGui_Node* Content = nullptr;
    TGui_ScrollBar* Bar = nullptr;
};

TEST_F(GuiScrollBarTest, TheThumbFractionFollowsTheScrollRange)
{
    struct TCase {
        int ContentHeight;
        float Fraction;
    };
    // Range = content bottom - panel height.
    for (TCase c : {TCase{140, 0.9f}, TCase{1100, 0.1f}, TCase{100, 1.0f}, TCase{200, 0.5f}}) {
        SCOPED_TRACE(c.ContentHeight);
        Content->Height = c.ContentHeight;
        Master.LayoutTree();
        EXPECT_FLOAT_EQ(Bar->ThumbFraction, c.Fraction);
        EXPECT_EQ(Bar->Width, Bar->ArrowSize);
        EXPECT_EQ(Bar->ThumbHeight, int(float(100 - 2 * Bar->ArrowSize) * c.Fraction));
    }
}

TEST_F(GuiScrollBarTest, ArrowAndPageClicksMoveByTheirStepsAndClampAtTheEnds)
{
    Content->Height = 1100;   // range 1000
    Bar->PageStep = 300;
    Master.LayoutTree();
    ASSERT_FLOAT_EQ(Bar->Maximum, 1000);
    ASSERT_FLOAT_EQ(Bar->ArrowStep, 25);
    auto click = [&](int y) {
        Bar->OnMouse(0, 0, 5, y);
        Bar->OnMouse(0, 1, 5, y);
        Master.LayoutTree();
    };
    click(5);   // start arrow at the top
    EXPECT_FLOAT_EQ(Bar->Value, 0) << "clamped at the start";
    click(95);  // end arrow
    EXPECT_FLOAT_EQ(Bar->Value, 25);
    EXPECT_EQ(Panel->ScrollY, -25);
    click(Bar->ThumbY + Bar->ThumbHeight + 1);   // the track after the thumb
    EXPECT_FLOAT_EQ(Bar->Value, 325);
    click(Bar->ThumbY - 1);   // before it
    EXPECT_FLOAT_EQ(Bar->Value, 25);
    const int lastTrackPixel = 100 - Bar->ArrowSize - 1;
    for (int i = 0; i < 5; ++i) click(lastTrackPixel);
    EXPECT_FLOAT_EQ(Bar->Value, 1000) << "clamped at the end";
    EXPECT_FALSE(Bar->StartArrowPressed || Bar->EndArrowPressed || Bar->DraggingThumb);
}

TEST_F(GuiScrollBarTest, DraggingTheThumbFollowsTheMouseAlongTheTrack)
{
    Content->Height = 1100;
    Master.LayoutTree();
    int grab = Bar->ThumbY + Bar->ThumbHeight / 2;
    Bar->OnMouse(0, 0, 5, grab);
    EXPECT_TRUE(Bar->DraggingThumb);
    EXPECT_FLOAT_EQ(Bar->Value, 0);
    Bar->OnMotion(5, grab + Bar->TrackLengthY / 2);
    EXPECT_NEAR(Bar->Value, 500, 1);
    Bar->OnMotion(5, grab + 1000);
    EXPECT_FLOAT_EQ(Bar->Value, 1000);
    Bar->OnMouse(0, 1, 5, 0);
    EXPECT_FALSE(Bar->DraggingThumb);
    Bar->OnMotion(5, grab);
    EXPECT_FLOAT_EQ(Bar->Value, 1000) << "no drag after the release";

    // A horizontal slider: thickness forced to the arrow size.
    TGui_Slider* slider = new TGui_Slider(&Master);
    slider->SetSize(200, 40);
    Master.LayoutTree();
    EXPECT_EQ(slider->Height, slider->ArrowSize);
    EXPECT_FALSE(slider->EditField->Shown);
    EXPECT_FALSE(slider->DropDownButton->Shown);
    EXPECT_EQ(slider->ThumbWidth, int(float(200 - 32) * 0.1f));
    EXPECT_EQ(slider->TrackLengthX, 200 - slider->ThumbWidth - 32);
}

TEST_F(GuiScrollBarTest, AListBoxScrollsByItsScrollBar)
{
    auto* list = new TGui_ListBox(&Master);
    list->SetPosition(200, 10);
    list->SetSize(120, 60);
    for (int i = 0; i < 30; ++i) list->AddItem(("Row " + std::to_string(i)).c_str(), 0);
    Master.LayoutTree();
    TGui_ScrollBar* bar = list->VerticalScrollBar;
    ASSERT_NE(bar, nullptr);
    TGui_Node* first = list->FirstChild;
    const int top = first->AbsY;
    bar->OnMouse(0, 0, 5, bar->Height - 2);   // the end arrow
    bar->OnMouse(0, 1, 5, bar->Height - 2);
    Master.LayoutTree();
    EXPECT_FLOAT_EQ(bar->Value, bar->ArrowStep);
    EXPECT_EQ(first->AbsY, top - int(bar->ArrowStep));
    bar->OnMouse(0, 0, 5, bar->ThumbY + bar->ThumbHeight + 1);   // a page is the list's height
    Master.LayoutTree();
    EXPECT_FLOAT_EQ(bar->Value, bar->ArrowStep + 60);
}

} // namespace
