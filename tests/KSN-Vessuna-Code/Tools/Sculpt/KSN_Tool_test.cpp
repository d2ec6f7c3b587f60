// The tool base: mouse travel to angles, the depth guide's boxes, stroke
// bookkeeping with the Shift axis lock and the wheel lock, pressure-scaled
// values, the direction switches and the culling method a brush maps.
#include "KSN_ProjectEditTestSupport.h"

#include "KSN_Parameter.h"
#include "KSN_Tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "QORTablet.h"

namespace {

using namespace ksn_edit_test;

struct TAltGuard {
    explicit TAltGuard(bool on) { OS.SetAltHeld(on); }
    ~TAltGuard() { OS.SetAltHeld(false); }
};

TEST(ToolAngles, PixelDistanceGrowsThroughZones)
{
    struct Case {
        bool alt;
        float pixels, degrees;
    } cases[] = {
        {false, 5, 0.5f},   {false, -10, -1.0f}, {false, 10, 1.0f},   {false, 11, 1.5f},  {false, 108, 50.0f},
        {false, 158, 100.0f}, {false, 159, 100.0f}, {false, 163, 105.0f}, {false, 200, 140.0f},
        {false, 4.5f, 0.5f}, {false, -4.5f, -0.5f}, {false, 0, 0.0f},
        {true, 100, 1.0f},  {true, 50, 0.5f},    {true, 290, 20.0f},  {true, 300, 22.0f}, {true, -300, -22.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.alt ? "alt " : "") << c.pixels << " px");
        TAltGuard alt(c.alt);
        EXPECT_NEAR(GetAngleFromPixelDistanceInDegrees(c.pixels), c.degrees, 1e-4f);
    }
}

TEST(ToolAngles, ConcentricBoxesWrapIntoTheUnitRange)
{
    const float expected[5] = {1.8f, 0.2f, 0.6f, 1.0f, 1.4f};
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(GetConcentricBoxHalfSide(0.9f, k), expected[k], 1e-5f) << k;
    EXPECT_NEAR(GetConcentricBoxHalfSide(-0.3f, 0), 1.4f, 1e-5f) << "negative travel wraps too";
    EXPECT_NEAR(GetConcentricBoxHalfSide(0.0f, 4), 1.6f, 1e-5f);
}

class TPlainTool : public TKSN_Tool {
public:
    bool sensitive = false;
    bool directions = false;
    bool CanUseSensitiveMouse() override { return sensitive; }
    bool IsDirectionEverUsed() override { return directions; }
    bool DirectionIsEnabled() override { return directions; }
};

int WheelLocks = 0, WheelUnlocks = 0;

class ToolStrokeTest : public ProjectEditFixture {
protected:
    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        WheelLocks = WheelUnlocks = 0;
        TKSN_ToolWindowHooks hooks;
        hooks.LockMouseWheel = [] { ++WheelLocks; };
        hooks.UnlockMouseWheel = [] { ++WheelUnlocks; };
        KSN_SetToolWindowHooks(hooks);
    }
    void TearDown() override
    {
        KSN_SetToolWindowHooks({});
        OS.SetShiftHeld(false);
        OS.SetAltHeld(false);
        ProjectEditFixture::TearDown();
    }
    TPlainTool Tool;
};

TEST_F(ToolStrokeTest, ShiftLocksTheStrokeToTheAxisOfItsFirstMotions)
{
    struct Case {
        const char* why;
        uint32_t flags;
        float dx, dy;
        bool lockX, lockY;
    } cases[] = {
        {"mostly horizontal: keeps the press y", KSN_TOOL_SHIFT_AXIS_LOCK, 0.02f, 0.01f, false, true},
        {"equal travel counts as vertical", KSN_TOOL_SHIFT_AXIS_LOCK, 0.25f, -0.25f, true, false},
        {"mostly vertical", KSN_TOOL_SHIFT_AXIS_LOCK, 0.01f, 0.03f, true, false},
        {"without the capability bit no lock", 0, 0.02f, 0.01f, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        Tool.Flags = KSN_TOOL_DEFAULT_FLAGS & ~KSN_TOOL_SHIFT_AXIS_LOCK;
        Tool.Flags |= c.flags;
        OS.SetShiftHeld(true);
        Tool.OnMouse(nullptr, nullptr, 0, 0, 0.0f, 0.0f);
        Tool.OnMotion(nullptr, nullptr, c.dx, c.dy);
        EXPECT_EQ(Tool.LockX, c.lockX);
        EXPECT_EQ(Tool.LockY, c.lockY);
        EXPECT_TRUE(Tool.FirstMotion);
        Tool.OnMotion(nullptr, nullptr, c.dx, c.dy);
        EXPECT_FALSE(Tool.FirstMotion);
        // The third motion goes the other way and changes nothing.
        Tool.OnMotion(nullptr, nullptr, 3 * c.dy, 3 * c.dx);
        EXPECT_EQ(Tool.LockX, c.lockX);
        EXPECT_EQ(Tool.LockY, c.lockY);
        EXPECT_EQ(Tool.MotionCount, 3);
        Tool.OnMouse(nullptr, nullptr, 0, 1, 0, 0);
        EXPECT_FALSE(Tool.LockX || Tool.LockY) << "a release clears the lock";
    }
}

TEST_F(ToolStrokeTest, PressBookkeepingAndTheWheelLock)
{
    OS.SetAltHeld(true);
    OS.SetCtrlHeld(true);
    Tool.sensitive = true;
    App->stateFlags = 0;
    ASSERT_TRUE(Tool.OnMouse(nullptr, nullptr, 0, 0, 0.25f, -0.5f));
    OS.SetCtrlHeld(false);
    EXPECT_EQ(WheelLocks, 1);
    EXPECT_TRUE(Tool.AltAtPress && Tool.CtrlAtPress && !Tool.ShiftAtPress);
    EXPECT_TRUE(Tool.FineMode);
    EXPECT_FLOAT_EQ(Tool.AdjustValueForSensitvity(2.0f), 0.2f);
    EXPECT_EQ(Tool.PressX, 0.25f);
    EXPECT_EQ(Tool.PressY, -0.5f);
    EXPECT_EQ(App->stateFlags & KSN_APP_TOOL_USED, KSN_APP_TOOL_USED);
    Tool.OnMotion(nullptr, nullptr, 0.25f + 0.3f, -0.5f + 0.4f);
    Tool.OnMotion(nullptr, nullptr, 0.25f, -0.5f);
    EXPECT_NEAR(MaxMouseDisplacement, 0.5f, 1e-6f) << "the largest travel of the stroke";

    struct Case {
        int button, state, locks, unlocks;
    } cases[] = {{2, 1, 1, 0}, {1, 1, 1, 0}, {0, 1, 1, 1}, {2, 0, 1, 1}, {0, 0, 2, 1}};
    for (const Case& c : cases) {
        Tool.OnMouse(nullptr, nullptr, c.button, c.state, 0, 0);
        EXPECT_EQ(WheelLocks, c.locks) << "button " << c.button << " state " << c.state;
        EXPECT_EQ(WheelUnlocks, c.unlocks) << "button " << c.button << " state " << c.state;
    }
    EXPECT_EQ(MaxMouseDisplacement, 0.0f) << "a press starts a new stroke";

    OS.SetAltHeld(false);
    Tool.sensitive = false;
    Tool.OnMouse(nullptr, nullptr, 0, 0, 0, 0);
    EXPECT_FALSE(Tool.FineMode);
    EXPECT_FLOAT_EQ(Tool.AdjustValueForSensitvity(2.0f), 2.0f);
}

TEST_F(ToolStrokeTest, PressureScalesTheEffectiveValuesOnlyWhereTheSettingSaysSo)
{
    Tool.PressureFactor = 0.0f;
    App->tabletPressureVariesPseudoSize = true;
    App->tabletPressureVariesStrength = false;
    App->tabletPressureVariesHardness = true;
    App->tabletPressureVariesDensity = false;
    EXPECT_FLOAT_EQ(Tool.GetEffectiveSize(), 0.01f) << "never below 0.01";
    EXPECT_FLOAT_EQ(Tool.GetEffectiveStrength(), Tool.GetStrength());
    EXPECT_FLOAT_EQ(Tool.GetEffectiveHardness(), 0.0f);
    EXPECT_FLOAT_EQ(Tool.GetHardnessDensity(), Tool.GetDensity());
    Tool.PressureFactor = 0.5f;
    EXPECT_FLOAT_EQ(Tool.GetEffectiveSize(), std::max(0.01f, ToolSize * 0.5f));

    // Without a tablet in use at the press the factor is 1.0 whatever the pen says.
    QORTabletPressure_OSX_Cocoa = 0.25f;
    Tool.OnMouse(nullptr, nullptr, 0, 0, 0, 0);
    const float withTablet = Tool.PressureFactor;
    EXPECT_LT(withTablet, 1.0f);
    Tool.TabletInUse = false;
    Tool.OnMotion(nullptr, nullptr, 0.1f, 0.1f);
    EXPECT_FLOAT_EQ(Tool.PressureFactor, 1.0f);
    QORTabletPressure_OSX_Cocoa = 1.0f;
}

TEST_F(ToolStrokeTest, TheLastDirectionSwitchTurnsBackOnAndThePanelIsRebuilt)
{
    Tool.directions = true;
    Tool.UpdateAllParameters();
    ASSERT_EQ(Tool.Parameters->Count(), 1);
    EXPECT_EQ(Tool.HeaderParameterCount, 1);
    TKSN_Parameter* triplet = (*Tool.Parameters)[0];
    ASSERT_EQ(triplet->Type, KSN_PARAM_BOOL_TRIPLET);
    EXPECT_EQ(triplet->Third->Data, Tool.GetDirDepthPtr());
    EXPECT_TRUE(triplet->Third->Enabled) << "depth enabled by default";

    Log.clear();
    Tool.DirVert = false;
    Tool.OnParameterChange(triplet->Second);
    EXPECT_FALSE(Tool.DirVert) << "horizontal still on";
    EXPECT_EQ(CountOf("push 431"), 1);
    Tool.DirHoriz = false;
    Tool.OnParameterChange(triplet->First);
    EXPECT_TRUE(Tool.DirHoriz) << "the last switch comes back";
    EXPECT_EQ(CountOf("push 431"), 2) << "exactly one more rebuild";
    Tool.OnDirChange(&Tool.HotSpotX);
    EXPECT_EQ(CountOf("push 431"), 2) << "not a switch: nothing";

    // Depth on and exclusive: the other two show disabled.
    EXPECT_FALSE(Tool.ConsiderDisablingParameter(triplet->First));
    Tool.DirDepth = true;
    EXPECT_TRUE(Tool.ConsiderDisablingParameter(triplet->First));
    EXPECT_TRUE(Tool.ConsiderDisablingParameter(triplet->Second));
    EXPECT_FALSE(Tool.ConsiderDisablingParameter(triplet->Third));
    EXPECT_FALSE(Tool.ConsiderDisablingParameter(triplet));
}

TEST_F(ToolStrokeTest, PointsAreConstrainedByTheDirectionSwitches)
{
    Tool.directions = true;
    Tool.OnMouse(nullptr, nullptr, 0, 0, 0.1f, 0.2f);
    struct Case {
        bool h, v, d;
        float x, y;
    } cases[] = {
        {true, true, false, 0.5f, 0.6f},
        {false, true, false, 0.1f, 0.6f},
        {true, false, false, 0.5f, 0.2f},
        {true, true, true, 0.5f, 0.2f},   // depth driven horizontally
    };
    for (const Case& c : cases) {
        Tool.DirHoriz = c.h;
        Tool.DirVert = c.v;
        Tool.DirDepth = c.d;
        float x = 0.5f, y = 0.6f;
        Tool.PreProcess_fx_fy(x, y);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
        EXPECT_EQ(Tool.MouseX, c.x);
        EXPECT_EQ(Tool.MouseY, c.y);
    }
}

TEST_F(ToolStrokeTest, HintsAreCutAndShowPercentSignsLiterally)
{
    static std::string shown;
    OS.AssignOnPrintHint([](char* text) { shown = text; });
    Tool.PrintHint(nullptr, "%s 100%%", "Brush %d");
    EXPECT_EQ(shown, "Brush %d 100%") << "a '%' in an argument shows as it is";
    std::string longName(2000, 'x');
    longName[998] = '\xC3';   // a two-byte character across the cut
    longName[999] = '\xA9';
    Tool.PrintHint(nullptr, "%s", longName.c_str());
    EXPECT_EQ(shown.size(), 998u) << "cut before the character, not inside it";
    OS.AssignOnPrintHint(nullptr);
}

TEST_F(ToolStrokeTest, UseLocksNavigationAndDrawingFollowsThePressedViewport)
{
    Tool.BeforeUse();
    EXPECT_TRUE(Tool.InUse);
    for (TKSN_Viewport* v : App->viewports) EXPECT_TRUE(v->IsNavLocked());
    Tool.AfterUse();
    EXPECT_FALSE(Tool.InUse);
    for (TKSN_Viewport* v : App->viewports) EXPECT_FALSE(v->IsNavLocked());
    Tool.Flags &= ~KSN_TOOL_NAVIGATION_LOCK;
    Tool.BeforeUse();
    EXPECT_FALSE(App->viewports[0]->IsNavLocked()) << "without the bit the views stay free";
    Tool.AfterUse();

    Project->SetCurrentViewport(App->viewports[0]);
    struct Case {
        int down, over, asked;
        bool draws;
    } cases[] = {
        {-1, 0, 0, true},  {-1, 1, 1, false}, {-1, 0, 1, false}, {2, 0, 2, true}, {2, 0, 0, false}, {-1, -1, 0, false},
    };
    for (const Case& c : cases) {
        App->mouseDownViewport = c.down;
        App->mouseOverViewport = c.over;
        EXPECT_EQ(Tool.DoCallOnDraw(App->viewports[c.asked]), c.draws)
            << "down " << c.down << " over " << c.over << " asked " << c.asked;
    }
    App->mouseDownViewport = App->mouseOverViewport = -1;
}

TEST_F(ToolStrokeTest, ViewportMotionTurnsIntoRotations)
{
    TKSN_Viewport* viewport = App->viewports[0];
    viewport->Resize(0, 0, 200, 100);
    float angle = 0, m[16];
    // 200 x 1.08 / 2 = 108 pixels: 50 degrees.
    Tool.GetTiltRotationFromViewportMotion(viewport, 1.08f, angle, m);
    EXPECT_NEAR(angle, 50.0f / 180.0f * float(M_PI), 1e-5f);
    const float c = std::cos(angle), s = std::sin(angle);
    const float expected[16] = {c, -s, 0, 0, s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], expected[i], 1e-6f) << i;

    float ax = 0, ay = 0;
    Tool.GetTwoDimRotationFromViewportMotion(viewport, 0.1f, 0.0f, ax, ay, m);
    EXPECT_NEAR(ax, 1.0f / 180.0f * float(M_PI), 1e-6f) << "10 pixels: 1 degree";
    EXPECT_EQ(ay, 0.0f);
    EXPECT_NEAR(m[0], std::cos(ax), 1e-6f);
    EXPECT_NEAR(m[8], std::sin(ax), 1e-6f) << "about the vertical axis";
    Tool.GetTwoDimRotationFromViewportMotion(viewport, 0.0f, 0.2f, ax, ay, nullptr);
    EXPECT_NEAR(ay, 1.0f / 180.0f * float(M_PI), 1e-6f) << "height 100 x 0.2 / 2 = 10 pixels";

    float two[2];
    GetTwoDimStrength(nullptr, viewport, two, 0.0f, 0.0f, 0.5f, 0.5f);
    EXPECT_NEAR(two[1] / two[0], 0.5f, 1e-6f) << "y scaled by the aspect value";
    EXPECT_FLOAT_EQ(GetOneDimStrength(nullptr, viewport, 0, 0.25f, 9, 0.75f, false), 0.5f);
}

class TLoggingTool : public TKSN_Tool {
public:
    void OnParameterChange(TKSN_Parameter* parameter) override
    {
        Log.push_back(std::string("change ") + parameter->GetName());
        TKSN_Tool::OnParameterChange(parameter);
    }
};

TEST_F(ToolStrokeTest, EditedValuesReachTheBoundDataAndTheTool)
{
    static std::vector<std::string> messages;
    messages.clear();
    OS.AssignOnPrintMessage([](char* text) { messages.push_back(text); });
    TLoggingTool tool;
    tool.SetName("%s", "Brush");
    float f = 0.5f;
    int i = 0;
    bool b = false;
    TKSN_Parameter* percent = tool.AddPercentParameter("Size", "", &f, 0.01f, 1.0f);
    TKSN_Parameter* integer = tool.AddIntParameter("Count", "", &i, 0, 10);
    TKSN_Parameter* flag = tool.AddBoolParameter("Flag", "", &b);
    flag->RebuildPanelOnChange = true;

    struct FloatCase {
        double typed;
        bool clampMax;
        float stored;
    } floats[] = {{25, true, 0.25f}, {150, true, 1.0f}, {150, false, 1.5f}, {0, true, 0.01f}};
    for (const FloatCase& c : floats) {
        percent->ClampToMax = c.clampMax;
        EXPECT_TRUE(KSN_SetParameterValue(percent, c.typed));
        EXPECT_FLOAT_EQ(f, c.stored) << c.typed;
    }
    EXPECT_EQ(messages.back(), "Brush - Size - 1") << "the percentage shown";
    struct IntCase {
        double typed;
        int stored;
    } ints[] = {{2.5, 3}, {-2.5, -3}, {2.49, 2}, {1e20, INT_MAX}, {-1e20, INT_MIN}};
    for (const IntCase& c : ints) {
        EXPECT_TRUE(KSN_SetParameterValue(integer, c.typed));
        EXPECT_EQ(i, c.stored) << c.typed;
    }
    EXPECT_FALSE(KSN_SetParameterValue(integer, std::nan(""))) << "not a number: refused";
    EXPECT_EQ(i, INT_MIN);

    Log.clear();
    EXPECT_TRUE(KSN_SetParameterValue(flag, 1.0));
    EXPECT_TRUE(b);
    ASSERT_EQ(Log.size(), 2u);
    EXPECT_EQ(Log[0], "push 431") << "the panel rebuild is raised first";
    EXPECT_EQ(Log[1], "change Flag");
    EXPECT_EQ(messages.back(), "Brush - Flag - ON");

    Project->BrushShapeValid = true;
    percent->InvalidateOverlayOnChange = true;
    KSN_SetParameterValue(percent, 50);
    EXPECT_FALSE(Project->BrushShapeValid) << "the overlay is rebuilt";
    EXPECT_FALSE(KSN_SetParameterValue(tool.AddLabelParameter("Label", ""), 1.0));
    OS.AssignOnPrintMessage(nullptr);
}

// A current tool that answers 2 reduces the user's per-vertex choice; a brush maps the user's choice.
TEST_F(ToolStrokeTest, CullingClimbsBackWhenABrushBecomesCurrent)
{
    auto* reducing = MakeTool<TKSN_Tool>("Reducing", App->sculptTools, 0, 2);
    App->currentTool = reducing;
    Project->SetCullingMethod(3);
    EXPECT_EQ(Project->GetCullingMethod(), 2);
    EXPECT_EQ(Project->GetUserCullingMethod(), 3);

    auto* brush = new TKSN_Brush;
    Tools.push_back(brush);
    App->AddToolToList(brush, App->sculptTools);
    Project->ChangeTool(nullptr, App->sculptTools, brush);
    EXPECT_EQ(Project->GetCullingMethod(), 3) << "the brush maps the user's choice, not the reduced one";
    EXPECT_EQ(brush->GetEffectiveCullingMethod(), 3);
    EXPECT_EQ(reducing->GetEffectiveCullingMethod(), 2);
}

} // namespace
