// The GLUT-like layer's routing rules, without a window: the toolkit host's
// handlers hand plain event values to the dispatch functions tested here.
#include "QORglut.h"

#include "OS.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every slot call as one line of text, in order.
std::vector<std::string> Calls;

void Record(const std::string& line) { Calls.push_back(line); }
std::string Text(const char* name, std::initializer_list<int> values)
{
    std::string s = name;
    for (int v : values) {
        s += ' ';
        s += std::to_string(v);
    }
    return s;
}

void OnDisplay() { Record("display"); }
void OnMouse(int b, int s, int x, int y) { Record(Text("mouse", {b, s, x, y})); }
void OnMotion(int x, int y) { Record(Text("motion", {x, y})); }
void OnPassive(int x, int y) { Record(Text("passive", {x, y})); }
void OnKeyboard(unsigned char k, int x, int y) { Record(Text("key", {k, x, y})); }
void OnSpecial(int k, int x, int y) { Record(Text("special", {k, x, y})); }
void OnWheel(int d) { Record(Text("wheel", {d})); }
void OnDoubleClick(int x, int y) { Record(Text("double", {x, y})); }
void OnDrop(const char* path, int x, int y) { Record(std::string("drop ") + path + Text("", {x, y})); }
int OnMinimize() { Record("minimize"); return 1; }
int OnMaximize() { Record("maximize"); return 1; }
void OnVisibility(int v) { Record(Text("visibility", {v})); }
int ExitAnswer = 0;
int OnExitQuery() { Record("exit?"); return ExitAnswer; }
void OnIdle() { Record("idle"); }

class QORglutRouting : public ::testing::Test {
protected:
    void SetUp() override
    {
        Calls.clear();
        QORglut_ClearAllCallbacks();
        QORglutInitialized = true;
        QORglutModifiers = 0;
        ButtonOnMouseDown = -1;
        DrawCalledAfterOnMotion = false;
        AltF4JustPressed = false;
        ExitAnswer = 0;
        QORglutDisplayFunc(OnDisplay);
        QORglutMouseFunc(OnMouse);
        QORglutMotionFunc(OnMotion);
        QORglutPassiveFunc(OnPassive);
        QORglutKeyboardFunc(OnKeyboard);
        QORglutSpecialFunc(OnSpecial);
        QORglutMouseWheelFunc(OnWheel);
        QORglutDoubleClickFunc(OnDoubleClick);
        QORglutDragDropFunc(OnDrop);
        QORglutMinimizeFunc(OnMinimize);
        QORglutMaximizeFunc(OnMaximize);
        QORglutVisibilityFunc(OnVisibility);
        QORglutExitFunc(OnExitQuery);
        QORglutIdleFunc(OnIdle);
    }
    void TearDown() override
    {
        QORglut_ClearAllCallbacks();
        OS.SetAltHeld(false);
        OS.SetCtrlHeld(false);
        OS.SetShiftHeld(false);
    }
};

TEST_F(QORglutRouting, ButtonsReportTheLatestPress)
{
    struct Case {
        const char* name;
        int button;
        bool control;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"left", 0, false, {"mouse 0 0 5 6", "mouse 0 1 7 8"}},
        {"control-left acts as right", 0, true, {"mouse 2 0 5 6", "mouse 2 1 7 8"}},
        {"right", 2, false, {"mouse 2 0 5 6", "mouse 2 1 7 8"}},
        {"control does not change right", 2, true, {"mouse 2 0 5 6", "mouse 2 1 7 8"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Calls.clear();
        QORglut_DispatchMouseDown(c.button, c.control, 5, 6);
        QORglut_DispatchMouseUp(7, 8);
        EXPECT_EQ(Calls, c.expected);
        EXPECT_EQ(QORglutwx_LastMouseX, 7);
        EXPECT_EQ(QORglutwx_LastMouseY, 8);
    }
    // A release after a right press and a left press reports the left one.
    Calls.clear();
    QORglut_DispatchMouseDown(2, false, 1, 1);
    QORglut_DispatchMouseDown(0, false, 2, 2);
    QORglut_DispatchMouseUp(3, 3);
    EXPECT_EQ(Calls.back(), "mouse 0 1 3 3");
}

TEST_F(QORglutRouting, DragsReachMotionOncePerPaintedFrame)
{
    // No paint yet: a drag is recorded but not delivered.
    QORglut_DispatchMouseMove(1, 1, true);
    EXPECT_TRUE(Calls.empty());
    QORglut_DispatchDisplay();
    for (int i = 0; i < 5; ++i) QORglut_DispatchMouseMove(10 + i, 20 + i, true);
    QORglut_DispatchDisplay();
    QORglut_DispatchMouseMove(30, 40, true);
    QORglut_DispatchMouseMove(31, 41, false);
    QORglut_DispatchMouseMove(32, 42, false);
    const std::vector<std::string> expected = {"display", "motion 10 20", "display", "motion 30 40",
                                               "passive 31 41", "passive 32 42"};
    EXPECT_EQ(Calls, expected);
    EXPECT_EQ(QORglutwx_LastMouseX, 32);
    EXPECT_EQ(QORglutwx_LastMouseY, 42);
}

TEST_F(QORglutRouting, WheelDirectionIsTheSignOfTheRotation)
{
    for (int rotation : {-240, -1, 0, 1, 120}) QORglut_DispatchMouseWheel(rotation, 0, 0);
    const std::vector<std::string> expected = {"wheel -1", "wheel -1", "wheel 0", "wheel 1", "wheel 1"};
    EXPECT_EQ(Calls, expected);
}

// A key press arrives as a key-down and then a character event; each key must
// reach the program exactly once, by one of the two paths.
TEST_F(QORglutRouting, EachKeyIsDeliveredOnce)
{
    struct Case {
        const char* name;
        int downCode, charCode, mask;
        std::vector<std::string> expected;
        int modifiers;
    };
    const Case cases[] = {
        {"plain S through the character path", 'S', 's', 0, {"key 115 0 0"}, 0},
        {"Control+S through the key-down path", 'S', 19, QORGLUT_MASK_CONTROL, {"key 83 0 0"}, 2},
        {"Alt+X through the key-down path", 'X', 'x', QORGLUT_MASK_ALT, {"key 88 0 0"}, 4},
        {"Command+S counts as Control", 'S', 's', QORGLUT_MASK_META, {"key 83 0 0"}, 2},
        {"Shift+A", 'A', 'A', QORGLUT_MASK_SHIFT, {"key 65 0 0"}, 1},
        {"F5 is special", QORGLUT_KEY_F1 + 4, QORGLUT_KEY_F1 + 4, 0, {"special 344 0 0"}, 0},
        {"Page Down is special", QORGLUT_KEY_PAGEDOWN, QORGLUT_KEY_PAGEDOWN, 0, {"special 367 0 0"}, 0},
        {"the Control key itself", 308, 308, QORGLUT_MASK_CONTROL, {}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Calls.clear();
        QORglut_DispatchKeyDown(c.downCode, c.mask);
        QORglut_DispatchChar(c.charCode, c.mask);
        EXPECT_EQ(Calls, c.expected);
        EXPECT_EQ(QORglutGetModifiers(), c.modifiers);
        EXPECT_EQ(OS.IsCtrlHeld(), (c.modifiers & 2) != 0);
    }
}

TEST_F(QORglutRouting, SpecialKeysOnlyTheTableReachesTheSpecialCallback)
{
    for (int key = 300; key < 400; ++key) {
        Calls.clear();
        bool taken = QORglut_HandleSpecialKeys(key, 0);
        EXPECT_EQ(taken, QORglut_IsSpecialKey(key)) << key;
        EXPECT_EQ(Calls.size(), taken ? 1u : 0u) << key;
    }
    // Without a special callback every key counts as taken and nothing runs.
    QORglutSpecialFunc(nullptr);
    Calls.clear();
    EXPECT_TRUE(QORglut_HandleSpecialKeys('a', 0));
    EXPECT_TRUE(Calls.empty());
}

TEST_F(QORglutRouting, AltF4IsRefusedOnceThenTheExitQueryDecides)
{
    QORglut_DispatchChar(QORGLUT_KEY_F4, QORGLUT_MASK_ALT);
    EXPECT_EQ(Calls, std::vector<std::string>{"special 343 0 0"});
    EXPECT_EQ(QORglut_DispatchClose(), TQORglutCloseAnswer::Veto);
    EXPECT_EQ(Calls.size(), 1u) << "the vetoed close must not ask the exit query";

    EXPECT_EQ(QORglut_DispatchClose(), TQORglutCloseAnswer::Veto);   // asked, answered 0
    EXPECT_EQ(Calls.back(), "exit?");

    QORglut_DispatchChar(QORGLUT_KEY_F4, QORGLUT_MASK_ALT | QORGLUT_MASK_CONTROL);
    EXPECT_FALSE(AltF4JustPressed) << "Control+Alt+F4 must not arm the refusal";

    ExitAnswer = 1;
    EXPECT_EQ(QORglut_DispatchClose(), TQORglutCloseAnswer::Allow);
    EXPECT_EQ(fOnDisplay, nullptr);
    EXPECT_EQ(fOnMouse, nullptr);
    EXPECT_EQ(fOnIdle, nullptr);
    EXPECT_EQ(fOnExitQuery, nullptr);
    // With no exit query registered a close neither proceeds nor is vetoed.
    EXPECT_EQ(QORglut_DispatchClose(), TQORglutCloseAnswer::Ignore);
}

TEST_F(QORglutRouting, FrameEventsWaitForInitialisation)
{
    QORglutInitialized = false;
    QORglut_DispatchIdle();
    QORglut_DispatchIconize(true);
    QORglut_DispatchMaximize();
    EXPECT_TRUE(Calls.empty());

    QORglutInitialized = true;
    QORglut_DispatchIdle();
    QORglut_DispatchIconize(true);
    QORglut_DispatchIconize(false);
    QORglut_DispatchMaximize();
    QORglut_DispatchDoubleClick(4, 5);
    QORglut_DispatchDropFile("/tmp/a b.obj", 6, 7);
    const std::vector<std::string> expected = {"idle", "minimize", "visibility 0", "visibility 1", "maximize",
                                               "double 4 5", "drop /tmp/a b.obj 6 7"};
    EXPECT_EQ(Calls, expected);
}

TEST_F(QORglutRouting, WindowFunctionsWithoutAWindowDoNothing)
{
    QORglutInitialized = false;
    QORglutModifiers = 5;
    QORglutSetModifiersFromGetKeys();
    QORglutPostRedisplay_Internal();
    EXPECT_EQ(QORglutModifiers, 5);
    ASSERT_EQ(FramePtr, nullptr);
    EXPECT_EQ(QORglutGetWindowWidth(), 0);
    EXPECT_EQ(QORglutGetWindowHeight(), 0);
    QORglutShowWindow();
    QORglutSwapBuffers();
    QORglutSetWindowTitle("x");
    QORglutReshapeWindow(10, 10);
    EXPECT_EQ(QORglutGetWindowWidth(), 0);
    // The first paint initialises the layer when start-up did not.
    QORglut_DispatchDisplay();
    EXPECT_TRUE(QORglutInitialized);
}

} // namespace
