#include "QOREvents.h"

#include "OS.h"
#include "QORThingy.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Answers every box at once, so the range errors never block.
struct TSilentDialogs : TBoxRecorder {
    TSilentDialogs() : TBoxRecorder(TOSBoxAnswer::Ok) {}
};

// Commands of the events that ran, in order.
std::vector<int> Ran;

bool RecordCB(TQOREvent* event)
{
    Ran.push_back(event->GetCommand());
    return true;
}

// Handles command 1 by pushing command 99 onto the queue it is being run from.
bool PushWhileRunningCB(TQOREvent* event)
{
    Ran.push_back(event->GetCommand());
    if (event->GetCommand() == 1) {
        QOREvents_PushEvent(new TQOREvent(RecordCB, 0, 99));
        EXPECT_EQ(QOREvents_GetEventCount(), 1);   // only B waits; 99 is held back
    }
    return true;
}

bool ThrowingCB(TQOREvent*) { throw std::runtime_error("handler failed"); }

std::vector<int> Pushed;
bool RecordPushCB(TQOREvent* event)
{
    Pushed.push_back(event->GetCommand());
    return false;
}

class QOREventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&Dialogs);
        QOREvents_Clean();
        QOREvents_SetMainFunction(RecordCB);
        QOREvents_AssignOnPushEvent(nullptr);
        Ran.clear();
        Pushed.clear();
    }
    void TearDown() override
    {
        QOREvents_Clean();
        QOREvents_SetMainFunction(nullptr);
        QOREvents_AssignOnPushEvent(nullptr);
        OS.SetDialogProvider(nullptr);
    }
    TSilentDialogs Dialogs;
};

// [Queue and pump]

TEST_F(QOREventsTest, PumpRunsEventsInPushOrderAndDeletesThem)
{
    QOREvents_AssignOnPushEvent(RecordPushCB);
    QOREvents_PushEvent(new TQOREvent(RecordCB, 0, 1));   // own callback
    QOREvents_PushEvent(2);                               // main function
    EXPECT_EQ(QOREvents_GetEventCount(), 2);
    EXPECT_EQ(Pushed, (std::vector<int>{1, 2}));          // the hook's answer changed nothing

    KestruneEvents_ProcessEvents();
    EXPECT_EQ(Ran, (std::vector<int>{1, 2}));
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
    EXPECT_EQ(QOREvents_PopEvent(), nullptr);
    EXPECT_FALSE(OS.IsInProgress());
}

TEST_F(QOREventsTest, EventPushedDuringThePumpWaitsForTheNextPump)
{
    QOREvents_PushEvent(new TQOREvent(PushWhileRunningCB, 0, 1));
    QOREvents_PushEvent(new TQOREvent(PushWhileRunningCB, 0, 2));

    KestruneEvents_ProcessEvents();
    EXPECT_EQ(Ran, (std::vector<int>{1, 2}));
    ASSERT_EQ(QOREvents_GetEventCount(), 1);
    EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), 99);

    KestruneEvents_ProcessEvents();
    EXPECT_EQ(Ran, (std::vector<int>{1, 2, 99}));
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
}

TEST_F(QOREventsTest, HeldEventsJoinTheEndOfTheQueueInPushOrder)
{
    QOREvents_PushEvent(10);
    QOREvents_BeforeProcessEvents();
    QOREvents_PushEvent(20);
    QOREvents_PushEvent(30);
    EXPECT_EQ(QOREvents_GetEventCount(), 1);
    QOREvents_AfterProcessEvents();

    ASSERT_EQ(QOREvents_GetEventCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(QOREvents_PeekEvent(i)->GetCommand(), (i + 1) * 10);
    EXPECT_EQ(QOREvents_PeekEvent(-1), nullptr);
    EXPECT_EQ(QOREvents_PeekEvent(3), nullptr);

    std::unique_ptr<TQOREvent> popped(QOREvents_PopEvent());
    EXPECT_EQ(popped->GetCommand(), 10);
    EXPECT_EQ(QOREvents_GetEventCount(), 2);
}

TEST_F(QOREventsTest, ThrowingHandlerLeavesTheQueueUsable)
{
    QOREvents_PushEvent(new TQOREvent(ThrowingCB, 0, 1));
    QOREvents_PushEvent(2);
    EXPECT_THROW(KestruneEvents_ProcessEvents(), std::runtime_error);
    EXPECT_FALSE(OS.IsInProgress());

    // The pass is over: a new push waits in the queue, not in the held list.
    QOREvents_PushEvent(3);
    EXPECT_EQ(QOREvents_GetEventCount(), 2);
    KestruneEvents_ProcessEvents();
    EXPECT_EQ(Ran, (std::vector<int>{2, 3}));
}

TEST_F(QOREventsTest, CleanDeletesWaitingAndHeldEvents)
{
    QOREvents_PushEvent(1);
    QOREvents_BeforeProcessEvents();
    QOREvents_PushEvent(2);
    QOREvents_Clean();   // under the leak checker nothing may remain
    QOREvents_AfterProcessEvents();
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
    QOREvents_PushEvent(3);
    EXPECT_EQ(QOREvents_GetEventCount(), 1);
}

// [Running at once]

TEST_F(QOREventsTest, ProcessNowPrefersTheCallbackThenTheMainFunction)
{
    struct Case { const char* name; TQOREventFunction callback; TQOREventFunction main; bool answer; int ran; };
    const Case cases[] = {
        {"callback", RecordCB, nullptr, true, 7},
        {"main function", nullptr, RecordCB, true, 7},
        {"neither", nullptr, nullptr, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QOREvents_SetMainFunction(c.main);
        for (int form = 0; form < 2; ++form) {
            Ran.clear();
            bool answer;
            if (form == 0) {
                TQOREvent event(c.callback, 5, 7);
                answer = QORProcessEventNow(&event);
            } else {
                answer = QORProcessEventNow(c.callback, 5, 7);
            }
            EXPECT_EQ(answer, c.answer);
            EXPECT_EQ(Ran, c.ran < 0 ? std::vector<int>{} : std::vector<int>{c.ran});
        }
    }
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
}

// [Event record]

TEST_F(QOREventsTest, StringSlotsOutOfRangeRaiseAndChangeNothing)
{
    TQOREvent event(1);
    event.AssignStringParameter("kept", 15);
    struct Case { int slot; std::string getText; };
    const Case cases[] = {
        {16, "i is out of range in TQOREvent::GetStringParameter(16)"},
        {-1, "i is out of range in TQOREvent::GetStringParameter(-1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        try {
            event.AssignStringParameter("lost", c.slot);
            ADD_FAILURE() << "no exception";
        } catch (const std::logic_error& e) {
            EXPECT_STREQ(e.what(), "i is out of range in TQOREvent::AddStringParameter()");
        }
        try {
            (void)event.GetStringParameter(c.slot);
            ADD_FAILURE() << "no exception";
        } catch (const std::logic_error& e) {
            EXPECT_EQ(e.what(), c.getText);
        }
    }
    EXPECT_STREQ(event.GetStringParameter(15), "kept");
    for (int i = 0; i < 15; ++i) EXPECT_EQ(event.GetStringParameter(i), nullptr);
}

TEST_F(QOREventsTest, CopyOwnsItsStringsAndSkipsTheAbsolutePosition)
{
    auto source = std::make_unique<TQOREvent>(RecordCB, 12, 345);
    std::string text = "Smile";
    source->AssignStringParameter(text.c_str(), 0);
    source->AssignStringParameter("Layer 2", 15);
    source->AssignStringParameter("replaced", 3);
    source->AssignStringParameter(nullptr, 3);
    text[0] = 'X';   // the slot holds its own copy
    source->intParameters[4] = -8;
    source->floatParameters[15] = 0.25f;
    source->idParameters[1] = 77;
    source->operationMode = 1;
    source->SetIndex(4);
    source->SetX(10);
    source->SetY(-20);
    source->SetXAbs(300);
    source->SetYAbs(400);
    source->SetMouseButton(2);
    source->SetMouseState(1);
    source->dispatcherID = 9;

    TQOREvent copy(source.get());
    // Copy into an event that already holds strings replaces them.
    TQOREvent reused(1);
    reused.AssignStringParameter("old", 0);
    reused.Copy(source.get());
    source.reset();

    for (TQOREvent* e : {&copy, &reused}) {
        EXPECT_STREQ(e->GetStringParameter(0), "Smile");
        EXPECT_STREQ(e->GetStringParameter(15), "Layer 2");
        EXPECT_EQ(e->GetStringParameter(3), nullptr);
        EXPECT_EQ(e->GetCommand(), 345);
        EXPECT_EQ(e->GetOwnerID(), 12u);
        EXPECT_EQ(e->callback, &RecordCB);
        EXPECT_EQ(e->intParameters[4], -8);
        EXPECT_EQ(e->floatParameters[15], 0.25f);
        EXPECT_EQ(e->idParameters[1], 77u);
        EXPECT_EQ(e->operationMode, 1);
        EXPECT_EQ(e->GetIndex(), 4);
        EXPECT_EQ(e->GetX(), 10);
        EXPECT_EQ(e->GetY(), -20);
        EXPECT_EQ(e->GetMouseButton(), 2);
        EXPECT_EQ(e->GetMouseState(), 1);
        EXPECT_EQ(e->dispatcherID, 9u);
    }
    EXPECT_EQ(copy.xAbs, 0);
    EXPECT_EQ(copy.yAbs, 0);
}

TEST_F(QOREventsTest, SetOwnerRegistersTheObjectForLookup)
{
    TQORThingy owner;
    TQORThingy dispatcher;
    ASSERT_FALSE(owner.IsRegisteredForLookup());
    TQOREvent event(1);
    event.SetOwner(&owner);
    event.SetDispatcher(&dispatcher);
    EXPECT_EQ(__GetThingyFromID(event.GetOwnerID()), &owner);
    EXPECT_EQ(__GetThingyFromID(event.dispatcherID), &dispatcher);
    event.SetOwner(nullptr);
    EXPECT_EQ(event.GetOwnerID(), 0u);
}

}  // namespace
