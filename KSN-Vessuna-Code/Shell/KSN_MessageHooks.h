// The message hooks: where the OS layer's panel texts (messages, warnings,
// messages that carry a command, hints, debug lines) leave for the main
// window's message panel.
//
// Only the main thread touches widgets, and never in the middle of a frame: a
// text that arrives while a frame is being drawn, or from any other thread,
// is queued and shown by the main thread after the next frame or at the next
// idle pass (Kestrune_FlushPendingMessages). MessageMutex serialises the hook
// bodies and every touch of the pending list.
//
// The shell sits below the main window, so the main window reaches the hooks
// through the declared interface TKSN_MessageTarget, which it registers once
// its message panel exists. Texts raised before the application object is
// `running` (set at the end of start-up) are dropped.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "QORNewStaticList.h"

// Serialises the eight hooks and the pending list; never destroyed. A
// std::mutex needs no initialisation step at start-up.
extern std::mutex MessageMutex;

// One queued panel text.
struct TKSN_PendingMessage {
    // Flash, Debug and Clear only come from other threads: a panel flash
    // (command 1 for the warning style), a debug line, emptying the panel.
    enum : int32_t { Message = 0, Warning = 1, MessageWithCommand = 2, Hint = 3, Flash = 4, Debug = 5, Clear = 6 };
    std::string text;
    int32_t command = 0;   // the command of a message with a command, else 0
    int32_t kind = Message;
};

typedef TQORNewStaticList<TKSN_PendingMessage> TKSN_PendingMessageList;

// What the hooks need of the main window (declared here, implemented by it).
class TKSN_MessageTarget {
public:
    virtual ~TKSN_MessageTarget() = default;
    // False while the message panel does not exist: texts are dropped.
    virtual bool HasMessagePanel() const = 0;
    // Adds marked, word-wrapped lines to the panel; `red` for warnings; a
    // `command` other than -1 makes them clickable.
    virtual void PrintToPanel(const char* text, bool red, int32_t command) = 0;
    virtual void PrintHintToPanel(const char* text) = 0;
    // Starts a flash of the panel in one of its two styles.
    virtual void FlashPanel(bool style) = 0;
    virtual void EmptyPanel() = 0;
    // Shows a debug line in the debug window, when it is open, without the
    // repeat flash.
    virtual void PrintDebugLine(const char* text) = 0;
    // The main window's pending list; touched only under MessageMutex.
    virtual TKSN_PendingMessageList& PendingMessages() = 0;
};

// Null when the main window goes away. Takes MessageMutex.
void Kestrune_SetMessageTarget(TKSN_MessageTarget* target);
TKSN_MessageTarget* Kestrune_GetMessageTarget();

// The hooks, for the OS layer's slots of the same names.
void Kestrune_OnPrintMessage(char* text);
void Kestrune_OnWarningMessage(char* text);
void Kestrune_OnWarningMessageNoRepeatFailed(char* text);
void Kestrune_OnPrintMessageNoRepeatFailed(char* text);
void Kestrune_OnPrintHint(char* text);
void Kestrune_OnPrintMessageWithEvent(int command, char* text);
void Kestrune_OnDebugMessage(char* text);
void Kestrune_OnClearMessages();
// Installs the eight hooks above into OS (the progress hook is the main window's).
void Kestrune_InstallMessageHooks();

// The main window's display callback brackets its frame with these (instead
// of TOS::BeginDrawing and TOS::EndDrawing). The drawing flag changes under
// MessageMutex, so no hook is halfway through a panel update when a frame
// starts; the end flushes the texts queued during the frame.
void Kestrune_BeginDrawingFrame();
void Kestrune_EndDrawingFrame();

// After a frame or in an idle pass, on the main thread (elsewhere it does
// nothing): passes every queued text, in the order raised, through the OS
// layer again by kind, and empties the list. The list
// is taken under MessageMutex and replayed outside it, so that workers may
// keep queueing meanwhile.
void Kestrune_FlushPendingMessages();

// The on-throw handler that start-up hands to AssignOnThrowException: shows
// the text, then lets the user skip the error (offering to save the project
// when the program is running) or end the program (status 1).
void Kestrune_OnThrowException(const char* text);
