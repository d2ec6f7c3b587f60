// The OS layer object, its messages and hooks, modal boxes, colour picker,
// progress throttle, key state and the way out of the process.
//
// Index: [Object] [Modal boxes] [Panel messages] [Progress] [Window, keys, timing]
#include <cstdarg>
#include <cstdlib>
#include <mutex>

#include <wx/app.h>
#include <wx/thread.h>
#include <wx/toplevel.h>
#include <wx/utils.h>

#include "OS.h"
#include "OS_Internal.h"
#include "QORString.h"

using TOSInternal::CutToBuffer;
using TOSInternal::RunModal;

TOS OS;
bool newIsInDialog = false;

namespace {

std::string FormatCut(size_t bufferSize, const char* format, va_list args)
{
    std::string text = QORVFormat(format, args);
    CutToBuffer(text, bufferSize);
    return text;
}

#define TOS_FORMAT(bufferSize, text)                    \
    va_list args;                                       \
    va_start(args, format);                             \
    std::string text = FormatCut(bufferSize, format, args); \
    va_end(args)

TOSBoxAnswer ShowBox(TOSBoxKind kind, const char* title, const std::string& text, bool defaultYes)
{
    return RunModal(TOSBoxAnswer::Closed,
                    [&] { return OS.GetDialogProvider()->ShowBox(kind, title, text.c_str(), defaultYes); });
}

bool AskYesNo(bool defaultYes, const std::string& text)
{
    return ShowBox(TOSBoxKind::YesNo, "Confirm...", text, defaultYes) == TOSBoxAnswer::Yes;
}

} // namespace

// [SECTION] Object

TOS::TOS() : MainThreadId(std::this_thread::get_id())
{
    NumberOfCPUs = ClampNumberOfCPUs(wxThread::GetCPUCount());
}

TOS::~TOS() { CleanArguments(); }

int32_t TOS::ClampNumberOfCPUs(int reported)
{
    if (reported <= 0) return 1;
    return reported > 32 ? 32 : reported;
}

void TOS::Exit(int status)
{
    CleanArguments();
    // No clean-up of the rest of the program may run on a fatal path (other
    // threads may still be working), so static destructors are skipped.
    std::fflush(nullptr);
    std::_Exit(status);
}

bool TOS::IsMainThread() const
{
    // Before construction the id is empty: no check can be made yet.
    return MainThreadId == std::thread::id() || MainThreadId == std::this_thread::get_id();
}

TOSDialogProvider* TOS::GetDialogProvider()
{
    return DialogProvider ? DialogProvider : &TOSInternal::WxDialogProvider();
}

bool TOS::IsInDialog() const { return newIsInDialog; }

// [SECTION] Modal boxes

void TOS::Message(const char* format, ...)
{
    if (!IsMainThread()) return;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    ShowBox(TOSBoxKind::Message, "Message...", text, true);
}

void TOS::ErrorMessage(const char* format, ...)
{
    if (!IsMainThread()) return;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    ShowBox(TOSBoxKind::Error, "Error...", text, true);
}

bool TOS::MessageYesNoB(bool defaultYes, const char* format, ...)
{
    if (!IsMainThread()) return false;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    return AskYesNo(defaultYes, text);
}

bool TOS::MessageYesNo(const char* format, ...)
{
    if (!IsMainThread()) return false;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    return AskYesNo(false, text);
}

int32_t TOS::MessageYesNoCancel(const char* format, ...)
{
    if (!IsMainThread()) return 2;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    switch (ShowBox(TOSBoxKind::YesNoCancel, "Confirm...", text, true)) {
    case TOSBoxAnswer::Yes: return 0;
    case TOSBoxAnswer::No: return 1;
    default: return 2;
    }
}

bool TOS::MessageOkCancel(const char* format, ...)
{
    if (!IsMainThread()) return false;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    return ShowBox(TOSBoxKind::OkCancel, "Confirm...", text, true) == TOSBoxAnswer::Ok;
}

bool TOS::ExecuteColorDialog(float* out, const float* in)
{
    return RunModal(false, [&] {
        unsigned char rgb[3];
        for (int c = 0; c < 3; ++c) {
            float v = 255.0f * in[c];
            rgb[c] = v > 255.0f ? 255 : v < 0.0f ? 0 : static_cast<unsigned char>(v);
        }
        if (!GetDialogProvider()->PickColour(rgb)) return false;
        for (int c = 0; c < 3; ++c) out[c] = float(rgb[c]) / 255.0f;
        return true;
    });
}

// [SECTION] Panel messages

namespace {
// Texts are raised from worker threads too; the last one is shared.
std::mutex LastMessageMutex;
} // namespace

// Remembers text as the last one shown; with onlyIfNew, only when it differs
// (ignoring case) from the last one, and answers whether it did.
static bool RememberLastMessage(std::string& last, const std::string& text, bool onlyIfNew)
{
    std::scoped_lock lock(LastMessageMutex);
    if (onlyIfNew && QORstrcmpi(text.c_str(), last.c_str()) == 0) return false;
    last = text;
    return true;
}

void TOS::PrintMessage(const char* format, ...)
{
    TOSMessageCB hook = fOnPrintMessage;
    if (!hook) return;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    hook(text.data());
    RememberLastMessage(LastMessageText, text, false);
}

void TOS::WarningMessage(const char* format, ...)
{
    TOSMessageCB hook = fOnWarningMessage;
    if (!hook) return;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    hook(text.data());
    RememberLastMessage(LastMessageText, text, false);
}

// A text equal to the last one shown (ignoring case) only reaches the
// "failed" hook, which flashes the panel instead of adding the line again.
void TOS::PrintMessageNoRepeat(const char* format, ...)
{
    TOSMessageCB hook = fOnPrintMessage;
    if (!hook) return;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    if (RememberLastMessage(LastMessageText, text, true)) {
        hook(text.data());
    } else if (fOnPrintMessageNoRepeatFailed) {
        fOnPrintMessageNoRepeatFailed(text.data());
    }
}

void TOS::WarningMessageNoRepeat(const char* format, ...)
{
    TOSMessageCB hook = fOnWarningMessage;
    if (!hook) return;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    if (RememberLastMessage(LastMessageText, text, true)) {
        hook(text.data());
    } else if (fOnWarningMessageNoRepeatFailed) {
        fOnWarningMessageNoRepeatFailed(text.data());
    }
}

void TOS::PrintMessageWithEvent(int32_t command, const char* format, ...)
{
    TOSMessageWithEventCB hook = fOnPrintMessageWithEvent;
    if (!hook) return;
    TOS_FORMAT(TOS_LONG_MESSAGE_BUFFER, text);
    hook(command, text.data());
}

void TOS::PrintHint(const char* format, ...)
{
    TOSMessageCB hook = fOnPrintHint;
    if (!hook) return;
    // Hints are handed on whole, however long.
    va_list args;
    va_start(args, format);
    std::string text = QORVFormat(format, args);
    va_end(args);
    hook(text.data());
}

void TOS::DebugMessage(const char* format, ...)
{
    TOSMessageCB hook = fOnDebugMessage;
    if (!hook) return;
    TOS_FORMAT(TOS_MESSAGE_BUFFER, text);
    hook(text.data());
}

// [SECTION] Progress

void TOS::InProgress()
{
    ProgressActive = true;
    ProgressTimer.Start();
}

void TOS::DoProgress()
{
    if (!fOnDoProgress || !ProgressActive) return;
    if (float(ProgressTimer.Read()) < 0.5f) return;
    ProgressTimer.Start();
    fOnDoProgress();
}

void TOS::NotInProgress()
{
    if (!ProgressActive) return;
    ProgressActive = false;
    if (fOnDoProgress) fOnDoProgress();
}

// [SECTION] Window, keys, timing

void TOS::RestoreWindowIfMinimized()
{
    wxApp* app = TOSInternal::GuiApp();
    if (!app) return;
    auto* frame = dynamic_cast<wxTopLevelWindow*>(app->GetTopWindow());
    if (frame && frame->IsIconized()) frame->Iconize(false);
}

void TOS::Pause(int32_t milliseconds)
{
    if (milliseconds > 0) wxMilliSleep(static_cast<unsigned long>(milliseconds));
}

void TOS::Beep()
{
    if (fOnBeep)
        fOnBeep();
    else
        wxBell();
}

bool IsShiftHeldRightNow() { return wxGetKeyState(WXK_SHIFT); }
bool IsCtrlHeldRightNow() { return wxGetKeyState(WXK_CONTROL); }
bool IsAltHeldRightNow() { return wxGetKeyState(WXK_ALT); }
bool IsEscHeldRightNow() { return wxGetKeyState(WXK_ESCAPE); }
