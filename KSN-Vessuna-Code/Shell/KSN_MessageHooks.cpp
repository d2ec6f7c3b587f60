#include "KSN_MessageHooks.h"

#include "KSN_Application.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORString.h"

#include <utility>

std::mutex MessageMutex;

namespace {

TKSN_MessageTarget* Target = nullptr;   // guarded by MessageMutex

bool Running() { return App && App->running; }

// Called with MessageMutex held.
TKSN_MessageTarget* Panel() { return Target && Target->HasMessagePanel() ? Target : nullptr; }

// Called with MessageMutex held. Only the main thread touches widgets, and
// never while a frame is drawn: a text from another thread, or raised during
// a frame, waits in the pending list for the main thread (after the frame or
// at the next idle pass).
bool MustQueue() { return OS.IsDrawingInProgress() || !OS.IsMainThread(); }

bool QueueWhileDrawing(TKSN_MessageTarget& target, const char* text, int32_t command, int32_t kind)
{
    if (!MustQueue()) return false;
    target.PendingMessages().Add(TKSN_PendingMessage{text ? text : "", command, kind});
    return true;
}

// A flash raised off the main thread waits like a text; on it, it happens now.
void FlashOrQueue(TKSN_MessageTarget& target, bool style)
{
    if (OS.IsMainThread())
        target.FlashPanel(style);
    else
        target.PendingMessages().Add(TKSN_PendingMessage{"", style ? 1 : 0, TKSN_PendingMessage::Flash});
}

} // namespace

void Kestrune_SetMessageTarget(TKSN_MessageTarget* target)
{
    std::scoped_lock lock(MessageMutex);
    Target = target;
}

TKSN_MessageTarget* Kestrune_GetMessageTarget()
{
    std::scoped_lock lock(MessageMutex);
    return Target;
}

void Kestrune_OnPrintMessage(char* text)
{
    if (!Running()) return;
    std::scoped_lock lock(MessageMutex);
    TKSN_MessageTarget* panel = Panel();
    if (!panel || QueueWhileDrawing(*panel, text, 0, TKSN_PendingMessage::Message)) return;
    panel->PrintToPanel(text, false, -1);
}

void Kestrune_OnWarningMessage(char* text)
{
    if (!Running()) return;
    std::scoped_lock lock(MessageMutex);
    TKSN_MessageTarget* panel = Panel();
    if (!panel) return;
    // Off the main thread the warning flashes when it is shown.
    if (OS.IsMainThread()) panel->FlashPanel(false);
    if (QueueWhileDrawing(*panel, text, 0, TKSN_PendingMessage::Warning)) return;
    panel->PrintToPanel(text, true, -1);
}

void Kestrune_OnPrintMessageWithEvent(int command, char* text)
{
    if (!Running()) return;
    std::scoped_lock lock(MessageMutex);
    TKSN_MessageTarget* panel = Panel();
    if (!panel || QueueWhileDrawing(*panel, text, command, TKSN_PendingMessage::MessageWithCommand)) return;
    panel->PrintToPanel(text, true, command);
}

void Kestrune_OnPrintHint(char* text)
{
    if (!Running()) return;
    std::scoped_lock lock(MessageMutex);
    TKSN_MessageTarget* panel = Panel();
    if (!panel || QueueWhileDrawing(*panel, text, 0, TKSN_PendingMessage::Hint)) return;
    panel->PrintHintToPanel(text);
}

void Kestrune_OnPrintMessageNoRepeatFailed(char*)
{
    if (!Running()) return;
    std::scoped_lock lock(MessageMutex);
    if (TKSN_MessageTarget* panel = Panel()) FlashOrQueue(*panel, false);
}

void Kestrune_OnWarningMessageNoRepeatFailed(char*)
{
    if (!Running()) return;
    std::scoped_lock lock(MessageMutex);
    if (TKSN_MessageTarget* panel = Panel()) FlashOrQueue(*panel, true);
}

void Kestrune_OnDebugMessage(char* text)
{
    if (!Running()) return;
    if (!text || !QORstrstri(text, "GGG-")) return;
    std::scoped_lock lock(MessageMutex);
    if (!Target) return;
    // Debug lines never wait for the frame (the debug window is not part of
    // it), only for the main thread.
    if (!OS.IsMainThread())
        Target->PendingMessages().Add(TKSN_PendingMessage{text, 0, TKSN_PendingMessage::Debug});
    else
        Target->PrintDebugLine(text);
}

void Kestrune_OnClearMessages()
{
    if (!Running()) return;
    std::scoped_lock lock(MessageMutex);
    TKSN_MessageTarget* panel = Panel();
    if (panel && !OS.IsMainThread()) {
        panel->PendingMessages().Add(TKSN_PendingMessage{"", 0, TKSN_PendingMessage::Clear});
        return;
    }
    App->stateFlags = 0;
    if (panel) panel->EmptyPanel();
}

void Kestrune_InstallMessageHooks()
{
    OS.AssignOnPrintMessage(Kestrune_OnPrintMessage);
    OS.AssignOnWarningMessage(Kestrune_OnWarningMessage);
    OS.AssignOnWarningMessageNoRepeatFailed(Kestrune_OnWarningMessageNoRepeatFailed);
    OS.AssignOnPrintMessageNoRepeatFailed(Kestrune_OnPrintMessageNoRepeatFailed);
    OS.AssignOnPrintHint(Kestrune_OnPrintHint);
    OS.AssignOnPrintMessageWithEvent(Kestrune_OnPrintMessageWithEvent);
    OS.AssignOnDebugMessage(Kestrune_OnDebugMessage);
    OS.AssignOnClearMessages(Kestrune_OnClearMessages);
}

void Kestrune_BeginDrawingFrame()
{
    std::scoped_lock lock(MessageMutex);
    OS.BeginDrawing();
}

void Kestrune_EndDrawingFrame()
{
    {
        std::scoped_lock lock(MessageMutex);
        OS.EndDrawing();
    }
    Kestrune_FlushPendingMessages();
}

void Kestrune_FlushPendingMessages()
{
    // Only the main thread shows texts; a worker's call leaves them waiting.
    if (!OS.IsMainThread()) return;
    TKSN_PendingMessageList pending;
    {
        std::scoped_lock lock(MessageMutex);
        if (!Target) return;
        std::swap(pending, Target->PendingMessages());
    }
    for (const TKSN_PendingMessage& m : pending) {
        switch (m.kind) {
        case TKSN_PendingMessage::Message: OS.PrintMessage("%s", m.text.c_str()); break;
        case TKSN_PendingMessage::Warning: OS.WarningMessage("%s", m.text.c_str()); break;
        case TKSN_PendingMessage::MessageWithCommand:
            OS.PrintMessageWithEvent(m.command, "%s", m.text.c_str());
            break;
        case TKSN_PendingMessage::Hint: OS.PrintHint("%s", m.text.c_str()); break;
        case TKSN_PendingMessage::Flash: {
            std::scoped_lock lock(MessageMutex);
            if (TKSN_MessageTarget* panel = Panel()) panel->FlashPanel(m.command != 0);
            break;
        }
        case TKSN_PendingMessage::Debug: OS.DebugMessage("%s", m.text.c_str()); break;
        case TKSN_PendingMessage::Clear: Kestrune_OnClearMessages(); break;
        default: break;
        }
    }
}

void Kestrune_OnThrowException(const char* text)
{
    OS.ErrorMessage("%s", text ? text : "");
    if (OS.MessageOkCancel("An error has occured. In most cases, you can skip past the error by clicking OK.\n"
                           "To exit the program immediately, please press cancel")) {
        if (!Running()) return;
        if (OS.MessageYesNo("Would you like to attempt to save your project now?\n"
                            "(If you do, it is recommended that you do not save over an older file")) {
            // No callback of its own: the queue runs it through the central
            // command handler, which start-up installs as the main function.
            QOREvents_PushEvent(new TQOREvent(nullptr, 0, 379));
        }
        return;
    }
    if (OS.MessageOkCancel("Are you sure you want to exit the program immediately (without saving)?\n"
                           "(In some cases, you may be able to go back and save your work before exiting.)"))
        OS.Exit(1);
}
