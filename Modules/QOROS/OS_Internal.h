// Helpers shared by the OS layer's sources; no other folder includes this.
#pragma once

#include <string>

#include "OS.h"

class wxApp;

namespace TOSInternal {

// Cuts `text` so that it fits a buffer of `bufferSize` bytes with its
// terminating zero. A cut never splits a UTF-8 sequence: the partial
// character is dropped whole.
inline void CutToBuffer(std::string& text, size_t bufferSize)
{
    if (bufferSize == 0) { text.clear(); return; }
    size_t n = bufferSize - 1;
    if (text.size() <= n) return;
    auto isContinuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    size_t cut = n;
    if (isContinuation(text[cut])) {
        size_t lead = cut;
        while (lead > 0 && isContinuation(text[lead])) --lead;
        // Only a real multi-byte lead makes this a UTF-8 sequence; other
        // 8-bit text is cut where it stands.
        if (static_cast<unsigned char>(text[lead]) >= 0xC0 && cut - lead < 4) cut = lead;
    }
    text.resize(cut);
}

// Copies `text` into a caller buffer of `size` bytes, cut safely.
inline void CopyToBuffer(char* buffer, size_t size, std::string text)
{
    if (!buffer || size == 0) return;
    CutToBuffer(text, size);
    text.copy(buffer, text.size());
    buffer[text.size()] = 0;
}

// Appends "/" unless the text is empty or already ends with one.
inline void AddTrailingSlash(std::string& path)
{
    if (!path.empty() && path.back() != '/') path += '/';
}

// The modal bracket: main-thread check, dialog hooks around `work`, and the
// in-dialog flag. Off the main thread `declined` comes back at once and no
// hook is called. The close hook runs even when `work` throws.
template <class Result, class Work>
Result RunModal(Result declined, Work&& work)
{
    if (!OS.IsMainThread()) return declined;
    struct CloseGuard {
        TOSDialogCB close;
        ~CloseGuard()
        {
            if (close) close();
            newIsInDialog = false;
        }
    } guard{OS.fOnDialogClose};
    newIsInDialog = true;
    if (OS.fOnDialogOpen) OS.fOnDialogOpen();
    return work();
}

// The wxWidgets provider, used while no other is set.
TOSDialogProvider& WxDialogProvider();

// The running GUI application, or null (before start-up, or when only the
// toolkit's base was initialised, as in tools and tests).
wxApp* GuiApp();

} // namespace TOSInternal
