#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "OS_TestSupport.h"

namespace {

struct THookLog {
    std::vector<std::string> Print, Warning, PrintRepeat, WarningRepeat, Hint, Debug, WithEvent;
    std::vector<int> Commands;
    int Progress = 0, Opened = 0, Closed = 0;
};
THookLog Log;

void OnPrint(char* t) { Log.Print.push_back(t); }
void OnWarning(char* t) { Log.Warning.push_back(t); }
void OnPrintRepeat(char* t) { Log.PrintRepeat.push_back(t); }
void OnWarningRepeat(char* t) { Log.WarningRepeat.push_back(t); }
void OnHint(char* t) { Log.Hint.push_back(t); }
void OnDebug(char* t) { Log.Debug.push_back(t); }
void OnWithEvent(int command, char* t)
{
    Log.Commands.push_back(command);
    Log.WithEvent.push_back(t);
}
void OnProgress() { ++Log.Progress; }
void OnOpen() { ++Log.Opened; }
void OnClose() { ++Log.Closed; }

class QOROSMessagesTest : public OSFixture {
protected:
    void SetUp() override
    {
        OSFixture::SetUp();
        Log = THookLog();
    }
    void AssignAllHooks()
    {
        OS.AssignOnPrintMessage(OnPrint);
        OS.AssignOnWarningMessage(OnWarning);
        OS.AssignOnPrintMessageNoRepeatFailed(OnPrintRepeat);
        OS.AssignOnWarningMessageNoRepeatFailed(OnWarningRepeat);
        OS.AssignOnPrintHint(OnHint);
        OS.AssignOnDebugMessage(OnDebug);
        OS.AssignOnPrintMessageWithEvent(OnWithEvent);
        OS.AssignOnDoProgress(OnProgress);
        OS.fOnDialogOpen = OnOpen;
        OS.fOnDialogClose = OnClose;
    }
};

} // namespace

TEST(QOROSObject, ProcessorCountIsClampedToOneThroughThirtyTwo)
{
    struct Case { int Reported, Expected; };
    for (Case c : {Case{0, 1}, Case{-1, 1}, Case{4, 4}, Case{32, 32}, Case{48, 32}}) {
        SCOPED_TRACE(c.Reported);
        EXPECT_EQ(TOS::ClampNumberOfCPUs(c.Reported), c.Expected);
    }
    EXPECT_GE(OS.GetNumberOfCPUs(), 1);
    EXPECT_LE(OS.GetNumberOfCPUs(), 32);
}

TEST(QOROSObject, ExitEndsWithTheGivenStatus)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(OS.Exit(0), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(OS.Exit(1), ::testing::ExitedWithCode(1), "");
}

TEST_F(QOROSMessagesTest, NoRepeatRuleSharesTheLastTextBetweenMessagesAndWarnings)
{
    AssignAllHooks();
    OS.PrintMessage("Saved %s", "Head.obj");
    OS.PrintMessageNoRepeat("SAVED head.OBJ");      // a repeat, whatever the letter case
    OS.WarningMessageNoRepeat("saved head.obj");    // a message repeats for warnings too
    EXPECT_EQ(Log.Print, std::vector<std::string>{"Saved Head.obj"});
    EXPECT_EQ(Log.PrintRepeat, std::vector<std::string>{"SAVED head.OBJ"});
    EXPECT_EQ(Log.WarningRepeat, std::vector<std::string>{"saved head.obj"});
    EXPECT_TRUE(Log.Warning.empty());
    EXPECT_EQ(OS.LastMessageText, "Saved Head.obj");

    OS.WarningMessageNoRepeat("Low memory");
    OS.PrintMessageNoRepeat("Saved Head.obj");      // no longer the last text: shown again
    EXPECT_EQ(Log.Warning, std::vector<std::string>{"Low memory"});
    EXPECT_EQ(Log.Print.back(), "Saved Head.obj");

    // Hints, debug lines and messages with a command never become the last text.
    OS.PrintHint("hint");
    OS.DebugMessage("debug");
    OS.PrintMessageWithEvent(1234, "click %d", 5);
    EXPECT_EQ(OS.LastMessageText, "Saved Head.obj");
    EXPECT_EQ(Log.Commands, std::vector<int>{1234});
    EXPECT_EQ(Log.WithEvent, std::vector<std::string>{"click 5"});

    // A repeat without a "failed" hook does nothing at all.
    OS.AssignOnPrintMessageNoRepeatFailed(nullptr);
    OS.PrintMessageNoRepeat("saved head.obj");
    EXPECT_EQ(Log.Print.size(), 2u);
}

TEST_F(QOROSMessagesTest, WithoutItsHookAMessageIsDroppedAndLeavesTheLastText)
{
    OS.PrintMessage("first");
    OS.WarningMessage("first");
    EXPECT_TRUE(OS.LastMessageText.empty());
    OS.AssignOnPrintMessage(OnPrint);
    OS.PrintMessageNoRepeat("first");
    EXPECT_EQ(Log.Print, std::vector<std::string>{"first"});
}

TEST_F(QOROSMessagesTest, LongTextsAreCutAtTheirBufferExceptHints)
{
    AssignAllHooks();
    struct Case {
        const char* Name;
        std::function<void(const std::string&)> Send;
        std::vector<std::string>* Got;
        size_t Length, Expected;
    };
    Case cases[] = {
        {"print", [](const std::string& s) { OS.PrintMessage("%s", s.c_str()); }, &Log.Print, 5000, 999},
        {"warning", [](const std::string& s) { OS.WarningMessage("%s", s.c_str()); }, &Log.Warning, 5000, 999},
        {"debug", [](const std::string& s) { OS.DebugMessage("%s", s.c_str()); }, &Log.Debug, 5000, 999},
        {"event", [](const std::string& s) { OS.PrintMessageWithEvent(7, "%s", s.c_str()); }, &Log.WithEvent, 20000,
         9999},
        {"hint 5000", [](const std::string& s) { OS.PrintHint("%s", s.c_str()); }, &Log.Hint, 5000, 5000},
        {"hint 20000", [](const std::string& s) { OS.PrintHint("%s", s.c_str()); }, &Log.Hint, 20000, 20000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        c.Got->clear();
        c.Send(std::string(c.Length, 'm'));
        ASSERT_EQ(c.Got->size(), 1u);
        EXPECT_EQ(c.Got->back(), std::string(c.Expected, 'm'));
    }
    EXPECT_EQ(OS.LastMessageText.size(), 999u);

    // A cut never leaves half a UTF-8 character behind.
    OS.PrintMessage("%s\xc3\xa9tail", std::string(998, 'a').c_str());
    EXPECT_EQ(Log.Print.back(), std::string(998, 'a'));
}

TEST_F(QOROSMessagesTest, ModalBoxesAskTheProviderInsideTheDialogHooks)
{
    AssignAllHooks();
    struct Case {
        const char* Name;
        std::function<int()> Run;
        TOSBoxAnswer Answer;
        TOSBoxKind Kind;
        const char* Title;
        bool DefaultYes;
        int Expected;
    };
    Case cases[] = {
        {"message", [] { OS.Message("hello %d", 1); return 0; }, TOSBoxAnswer::Ok, TOSBoxKind::Message, "Message...",
         true, 0},
        {"error", [] { OS.ErrorMessage("hello %d", 1); return 0; }, TOSBoxAnswer::Ok, TOSBoxKind::Error, "Error...",
         true, 0},
        {"yes/no yes", [] { return int(OS.MessageYesNo("hello %d", 1)); }, TOSBoxAnswer::Yes, TOSBoxKind::YesNo,
         "Confirm...", false, 1},
        {"yes/no closed", [] { return int(OS.MessageYesNo("hello %d", 1)); }, TOSBoxAnswer::Closed, TOSBoxKind::YesNo,
         "Confirm...", false, 0},
        {"yes/no default yes", [] { return int(OS.MessageYesNoB(true, "hello %d", 1)); }, TOSBoxAnswer::No,
         TOSBoxKind::YesNo, "Confirm...", true, 0},
        {"yes/no/cancel yes", [] { return OS.MessageYesNoCancel("hello %d", 1); }, TOSBoxAnswer::Yes,
         TOSBoxKind::YesNoCancel, "Confirm...", true, 0},
        {"yes/no/cancel no", [] { return OS.MessageYesNoCancel("hello %d", 1); }, TOSBoxAnswer::No,
         TOSBoxKind::YesNoCancel, "Confirm...", true, 1},
        {"yes/no/cancel closed", [] { return OS.MessageYesNoCancel("hello %d", 1); }, TOSBoxAnswer::Closed,
         TOSBoxKind::YesNoCancel, "Confirm...", true, 2},
        {"ok/cancel ok", [] { return int(OS.MessageOkCancel("hello %d", 1)); }, TOSBoxAnswer::Ok,
         TOSBoxKind::OkCancel, "Confirm...", true, 1},
        {"ok/cancel cancel", [] { return int(OS.MessageOkCancel("hello %d", 1)); }, TOSBoxAnswer::Cancel,
         TOSBoxKind::OkCancel, "Confirm...", true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Provider.Boxes.clear();
        Provider.Answers = {c.Answer};
        Log.Opened = Log.Closed = 0;
        EXPECT_EQ(c.Run(), c.Expected);
        ASSERT_EQ(Provider.Boxes.size(), 1u);
        EXPECT_EQ(Provider.Boxes[0].Kind, c.Kind);
        EXPECT_EQ(Provider.Boxes[0].Title, c.Title);
        EXPECT_EQ(Provider.Boxes[0].Text, "hello 1");
        if (c.Kind == TOSBoxKind::YesNo) {
            EXPECT_EQ(Provider.Boxes[0].DefaultYes, c.DefaultYes);
        }
        EXPECT_TRUE(Provider.Boxes[0].InDialog);
        EXPECT_EQ(Log.Opened, 1);
        EXPECT_EQ(Log.Closed, 1);
        EXPECT_FALSE(OS.IsInDialog());
    }
    // The formatted text is shown as it is: a "%" in it is not read again.
    OS.MessageYesNo("%s", "100% sure? %d");
    EXPECT_EQ(Provider.Boxes.back().Text, "100% sure? %d");
    // Box texts are cut at 999 bytes like panel texts.
    OS.Message("%s", std::string(3000, 'q').c_str());
    EXPECT_EQ(Provider.Boxes.back().Text.size(), 999u);
}

TEST_F(QOROSMessagesTest, OffTheMainThreadBoxesDeclineWithoutHooks)
{
    AssignAllHooks();
    Provider.Answers = {TOSBoxAnswer::Yes, TOSBoxAnswer::Yes, TOSBoxAnswer::Yes, TOSBoxAnswer::Ok};
    Provider.Choices = {"/tmp/x.obj"};
    bool yesNo = true, yesNoB = true, okCancel = true, colour = true, open = true, mainThread = true;
    int yesNoCancel = -1;
    float out[3] = {9, 9, 9};
    const float in[3] = {0.5f, 0.5f, 0.5f};
    char path[TOS_PATH_BUFFER] = "untouched";
    char folder[TOS_PATH_BUFFER] = "/f/";
    std::thread([&] {
        mainThread = OS.IsMainThread();
        OS.Message("m");
        OS.ErrorMessage("e");
        yesNo = OS.MessageYesNo("q");
        yesNoB = OS.MessageYesNoB(true, "q");
        yesNoCancel = OS.MessageYesNoCancel("q");
        okCancel = OS.MessageOkCancel("q");
        colour = OS.ExecuteColorDialog(out, in);
        open = OS.ExecuteOpenFileDialog(path, folder, "", "obj", "", true);
    }).join();
    EXPECT_FALSE(mainThread);
    EXPECT_FALSE(yesNo);
    EXPECT_FALSE(yesNoB);
    EXPECT_EQ(yesNoCancel, 2);
    EXPECT_FALSE(okCancel);
    EXPECT_FALSE(colour);
    EXPECT_FALSE(open);
    EXPECT_EQ(out[0], 9.0f);
    EXPECT_STREQ(path, "untouched");
    EXPECT_STREQ(folder, "/f/");
    EXPECT_EQ(Provider.Calls, 0);
    EXPECT_EQ(Log.Opened, 0);
    EXPECT_EQ(Log.Closed, 0);
    EXPECT_TRUE(OS.IsMainThread());
}

TEST_F(QOROSMessagesTest, DialogCloseHookRunsWhenTheProviderThrows)
{
    struct TThrowing : TScriptedProvider {
        TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char*, bool) override { throw std::runtime_error("x"); }
    } throwing;
    OS.SetDialogProvider(&throwing);
    OS.fOnDialogOpen = OnOpen;
    OS.fOnDialogClose = OnClose;
    EXPECT_THROW(OS.MessageYesNo("q"), std::runtime_error);
    EXPECT_EQ(Log.Opened, 1);
    EXPECT_EQ(Log.Closed, 1);
    EXPECT_FALSE(OS.IsInDialog());
}

TEST_F(QOROSMessagesTest, ColourDialogMapsToBytesAndBack)
{
    const float in[3] = {1.2f, -0.1f, 0.5f};
    float out[3] = {-1, -1, -1};
    EXPECT_TRUE(OS.ExecuteColorDialog(out, in));
    ASSERT_EQ(Provider.Colours.size(), 1u);
    EXPECT_EQ(Provider.Colours[0], (std::array<unsigned char, 3>{255, 0, 127}));
    EXPECT_FLOAT_EQ(out[0], 1.0f);
    EXPECT_FLOAT_EQ(out[1], 0.0f);
    EXPECT_FLOAT_EQ(out[2], 127.0f / 255.0f);

    Provider.ConfirmColour = false;
    float kept[3] = {0.25f, 0.5f, 0.75f};
    EXPECT_FALSE(OS.ExecuteColorDialog(kept, in));
    EXPECT_EQ(kept[0], 0.25f);
    EXPECT_EQ(kept[2], 0.75f);
}

TEST_F(QOROSMessagesTest, ProgressHookIsThrottledToHalfASecond)
{
    OS.AssignOnDoProgress(OnProgress);
    OS.DoProgress();                       // not active: nothing
    OS.InProgress();
    EXPECT_TRUE(OS.IsInProgress());
    OS.ProgressTimer.SetTime(0.3);
    OS.DoProgress();
    EXPECT_EQ(Log.Progress, 0);
    OS.ProgressTimer.SetTime(0.5);
    OS.DoProgress();
    EXPECT_EQ(Log.Progress, 1);
    OS.DoProgress();                       // the timer restarted with the call
    EXPECT_EQ(Log.Progress, 1);
    OS.ProgressTimer.SetTime(2.0);
    OS.DoProgress();
    EXPECT_EQ(Log.Progress, 2);

    OS.NotInProgress();
    OS.NotInProgress();                    // only the first one notifies
    EXPECT_EQ(Log.Progress, 3);
    EXPECT_FALSE(OS.IsInProgress());
    OS.ProgressTimer.SetTime(5.0);
    OS.DoProgress();
    EXPECT_EQ(Log.Progress, 3);
}
