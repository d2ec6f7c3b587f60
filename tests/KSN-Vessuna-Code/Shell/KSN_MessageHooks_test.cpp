// The message hooks: texts reach the panel at once, or after the frame when
// one is being drawn, in the order raised, also when workers raise them.
#include "KSN_MessageHooks.h"

#include "KSN_ShellTestSupport.h"

#include <algorithm>
#include <thread>

namespace {

// The main window's side, recorded.
class TPanel : public TKSN_MessageTarget {
public:
    bool HasMessagePanel() const override { return panelExists; }
    void PrintToPanel(const char* text, bool red, int32_t command) override
    {
        lines.push_back(std::string(red ? "red " : "") + (command != -1 ? std::to_string(command) + " " : "") + text);
        EXPECT_FALSE(OS.IsDrawingInProgress()) << "the panel changed in the middle of a frame";
    }
    void PrintHintToPanel(const char* text) override { lines.push_back(std::string("hint ") + text); }
    void FlashPanel(bool style) override { flashes.push_back(style); }
    void EmptyPanel() override { lines.clear(); }
    void PrintDebugLine(const char* text) override { debugLines.push_back(text); }
    TKSN_PendingMessageList& PendingMessages() override { return pending; }

    bool panelExists = true;
    std::vector<std::string> lines, debugLines;
    std::vector<bool> flashes;
    TKSN_PendingMessageList pending;
};

class MessageHooks : public ShellFixture {
protected:
    TPanel Panel;

    void SetUp() override
    {
        ShellFixture::SetUp();
        new TKSN_Application("Kestrune");
        Kestrune_InstallMessageHooks();
        Kestrune_SetMessageTarget(&Panel);
        App->running = true;
    }
    void TearDown() override
    {
        OS.EndDrawing();
        Kestrune_SetMessageTarget(nullptr);
        OS.AssignOnPrintHint(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        OS.AssignOnPrintMessageWithEvent(nullptr);
        OS.AssignOnClearMessages(nullptr);
        OS.AssignOnWarningMessageNoRepeatFailed(nullptr);
        OS.AssignOnPrintMessageNoRepeatFailed(nullptr);
        ShellFixture::TearDown();
    }
};

TEST_F(MessageHooks, TextsRaisedDuringAFrameAreShownAfterItInOrder)
{
    OS.PrintMessage("before");
    Kestrune_BeginDrawingFrame();
    OS.PrintMessage("one %d", 1);
    OS.WarningMessage("two");
    OS.PrintMessageWithEvent(77, "three");
    OS.PrintHint("four");
    OS.DebugMessage("GGG-debug goes straight on");
    EXPECT_EQ(Panel.lines, std::vector<std::string>{"before"});
    EXPECT_EQ(Panel.pending.Count(), 4);
    Kestrune_EndDrawingFrame();
    const std::vector<std::string> expected = {"before", "one 1", "red two", "red 77 three", "hint four"};
    EXPECT_EQ(Panel.lines, expected);
    EXPECT_EQ(Panel.debugLines, std::vector<std::string>{"GGG-debug goes straight on"});
    EXPECT_EQ(Panel.pending.Count(), 0);
    // The warning flashed when raised and again when shown.
    EXPECT_EQ(Panel.flashes, (std::vector<bool>{false, false}));
}

TEST_F(MessageHooks, NothingIsShownBeforeStartUpEndsOrWithoutAPanel)
{
    App->running = false;
    OS.PrintMessage("early");
    OS.WarningMessage("early warning");
    OS.DebugMessage("GGG- early");
    App->running = true;
    Panel.panelExists = false;
    OS.PrintMessage("no panel");
    OS.BeginDrawing();
    OS.PrintHint("no panel either");
    OS.EndDrawing();
    EXPECT_TRUE(Panel.lines.empty());
    EXPECT_TRUE(Panel.debugLines.empty());
    EXPECT_EQ(Panel.pending.Count(), 0);
}

TEST_F(MessageHooks, RepeatsFlashAndDebugLinesNeedTheirMarker)
{
    OS.WarningMessageNoRepeat("again");
    OS.WarningMessageNoRepeat("AGAIN");
    OS.PrintMessageNoRepeat("once");
    OS.PrintMessageNoRepeat("once");
    EXPECT_EQ(Panel.lines, (std::vector<std::string>{"red again", "once"}));
    EXPECT_EQ(Panel.flashes, (std::vector<bool>{false, true, false}));

    OS.DebugMessage("plain debug line");
    OS.DebugMessage("value ggg-7");
    EXPECT_EQ(Panel.debugLines, std::vector<std::string>{"value ggg-7"});

    App->stateFlags = 0x13;
    Kestrune_OnClearMessages();
    EXPECT_EQ(App->stateFlags, 0u);
    EXPECT_TRUE(Panel.lines.empty());
}

TEST_F(MessageHooks, WorkersRaiseTextsWhileFramesAreDrawn)
{
    constexpr int Workers = 4, PerWorker = 300;
    std::vector<std::thread> threads;
    for (int w = 0; w < Workers; ++w)
        threads.emplace_back([w] {
            for (int i = 0; i < PerWorker; ++i) OS.PrintHint("w%d %d", w, i);
        });
    // Frames begin, end and flush while the workers are raising texts; the
    // panel must never change during a frame (TPanel checks) and no text may
    // be lost or doubled.
    for (int frame = 0; frame < 50; ++frame) {
        Kestrune_BeginDrawingFrame();
        std::this_thread::yield();
        Kestrune_EndDrawingFrame();
    }
    for (auto& t : threads) t.join();
    Kestrune_EndDrawingFrame();
    std::vector<std::string> sorted = Panel.lines, expected;
    for (int w = 0; w < Workers; ++w)
        for (int i = 0; i < PerWorker; ++i) expected.push_back("hint w" + std::to_string(w) + " " + std::to_string(i));
    std::sort(sorted.begin(), sorted.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sorted, expected);
}

TEST_F(MessageHooks, TheOnThrowHandlerOffersToSkipSaveOrExit)
{
    struct Case {
        const char* name;
        bool running;
        std::vector<TOSBoxAnswer> answers;
        size_t boxes;
        bool saveQueued;
    };
    const Case cases[] = {
        // The first answer closes the error box itself.
        {"skip while starting", false, {TOSBoxAnswer::Ok, TOSBoxAnswer::Ok}, 2, false},
        {"skip and save", true, {TOSBoxAnswer::Ok, TOSBoxAnswer::Ok, TOSBoxAnswer::Yes}, 3, true},
        {"skip without saving", true, {TOSBoxAnswer::Ok, TOSBoxAnswer::Ok, TOSBoxAnswer::No}, 3, false},
        {"cancel, then go back", true, {TOSBoxAnswer::Ok, TOSBoxAnswer::Cancel, TOSBoxAnswer::Cancel}, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QOREvents_Clean();
        App->running = c.running;
        Provider.Boxes.clear();
        Provider.Answers.assign(c.answers.begin(), c.answers.end());
        Kestrune_OnThrowException("Bad thing");
        ASSERT_EQ(Provider.Boxes.size(), c.boxes);
        EXPECT_EQ(Provider.Boxes[0], "Bad thing");
        ASSERT_EQ(QOREvents_GetEventCount(), c.saveQueued ? 1 : 0);
        if (c.saveQueued) {
            EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 379);
        }
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Provider.Answers.assign({TOSBoxAnswer::Ok, TOSBoxAnswer::Cancel, TOSBoxAnswer::Ok});
    EXPECT_EXIT(Kestrune_OnThrowException("Bad thing"), ::testing::ExitedWithCode(1), "");
    // On a worker thread every box answers "declined": the handler returns.
    std::thread([] { Kestrune_OnThrowException("from a worker"); }).join();
}

} // namespace
