// The message panel, the hint panel and progress in the window title.
//
// A message becomes word-wrapped lines in a panel, newest message on top,
// its first line marked with a bold ">". A message that differs from the
// newest one only in its last word (a counter, a percentage, a name) replaces
// it instead of adding a line. Texts are never used as formats here and are
// never cut: a composed text passes on as "%s".
#include "KSN_MainWindow_Internal.h"

#include "GuiFont.h"
#include "GuiText.h"
#include "GuiWidgets.h"
#include "KSN_Application.h"
#include "KSN_Startup_Services.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORString.h"
#include "QORglut.h"

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* Marker = "[b]>[/b] ";
constexpr size_t MarkerLength = 9;
constexpr int MessagePanelLines = 40;

// The head of a text: everything before its last blank, trimmed; a text
// without a blank is all head.
std::string HeadOf(const char* text)
{
    const size_t n = std::strlen(text) + 1;
    std::vector<char> head(n), tail(n);
    SeparateLastWordFromString(text, head.data(), tail.data());
    return head.data();
}

const float Red[3] = {1.0f, 0.0f, 0.0f};
const float Blue[3] = {0.0f, 0.0f, 1.0f};

} // namespace

void TKSN_MainWindow::DoPrintMessage(TGui_Node* panel, const char* text, bool asMessage, bool clearFirst, bool red,
                                     int command)
{
    if (!panel || !text || !*text) return;
    if (clearFirst) panel->Empty();

    // Repeat replacement.
    if (asMessage && panel->FirstChild) {
        const char* first = panel->FirstChild->GetName();
        if (std::strncmp(first, Marker, MarkerLength) == 0) first += MarkerLength;
        const std::string oldHead = HeadOf(first), newHead = HeadOf(text);
        if (!oldHead.empty() && !newHead.empty() && QORstrcmpi(oldHead.c_str(), newHead.c_str()) == 0) {
            panel->FirstChild->SetName((std::string(Marker) + text).c_str(), true);
            if (DoFlashOnRepeatMessage) panel->Flash(false);
            return;
        }
    }

    // Wrapping to the panel's width.
    int available = panel->Width - 2 * panel->MarginX - 10;
    if (panel->VerticalScrollBar) available -= panel->VerticalScrollBar->Width;
    std::vector<std::string> lines;
    std::string line = asMessage ? Marker : "";
    std::vector<char> word(std::strlen(text) + 1);
    bool breakPending = false;
    for (int n = 0;; ++n) {
        const int found = GetWordFromString(text, word.data(), n, int(word.size()));
        if (found == 0) break;
        if (found == 2) breakPending = true;
        if (!word[0]) continue;   // consecutive separators
        const std::string w = word.data();
        if (GetStringWidth(line.c_str()) + GetStringWidth(w.c_str()) > available) {
            lines.push_back(line);
            line = w + " ";
        } else if (breakPending) {
            lines.push_back(line);
            line = w + " ";
        } else {
            line += w + " ";
        }
        breakPending = false;
    }
    lines.push_back(line);

    // Newest message on top, reading downwards; other texts append.
    TGui_Node* after = nullptr;
    for (const std::string& l : lines) {
        auto* t = new TGui_Text(nullptr);
        t->SetName(l.c_str(), false);
        std::copy(panel->TextColor, panel->TextColor + 3, t->TextColor);
        if (command != -1) {
            std::copy(Blue, Blue + 3, t->TextColor);
            t->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, command);
        } else if (red) {
            std::copy(Red, Red + 3, t->TextColor);
        }
        t->TextAlignment = 1;
        t->UpdateSize();
        if (!asMessage)
            panel->LinkChild(t);
        else if (!after)
            panel->LinkChildFirst(t);
        else
            after->LinkNext(t);
        after = t;
    }
}

void TKSN_MainWindow::TrimMessagePanel()
{
    if (!MessagePanel) return;
    int n = 0;
    for (TGui_Node* c = MessagePanel->FirstChild; c;) {
        TGui_Node* next = c->Next;
        if (++n > MessagePanelLines) {
            c->Unlink();
            c->Empty();
            delete c;
        }
        c = next;
    }
}

// [SECTION] Hints

void TKSN_MainWindow::PrintHint(TGui_Node*, const char* text)
{
    DoPrintMessage(HintPanel, text, false, true, false, -1);
    PostRedisplay();
}

void TKSN_MainWindow::PrintHintParam(TGui_Node* node, const char* format, ...)
{
    if (!format) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(size_t(n > 0 ? n : 0) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(size_t(n > 0 ? n : 0));
    PrintHint(node, text.c_str());
}

// [SECTION] The message hooks' side

void TKSN_MainWindow::PrintToPanel(const char* text, bool red, int32_t command)
{
    DoPrintMessage(MessagePanel, text, true, false, red, command);
}

void TKSN_MainWindow::FlashPanel(bool style)
{
    if (MessagePanel) MessagePanel->Flash(style);
}

void TKSN_MainWindow::EmptyPanel()
{
    if (MessagePanel) MessagePanel->Empty();
}

void TKSN_MainWindow::PrintDebugLine(const char* text)
{
    const bool flash = DoFlashOnRepeatMessage;
    DoFlashOnRepeatMessage = false;
    if (DebugWindow && DebugWindowListBox) DoPrintMessage(DebugWindowListBox, text, true, false, false, -1);
    DoFlashOnRepeatMessage = flash;
}

// [SECTION] Progress

void TKSN_MainWindow::DoProgress()
{
    if (!MainWindow || OS.IsDrawingInProgress()) return;
    MainWindow->ProgressCounter = (MainWindow->ProgressCounter + 1) % 6;
    MainWindow->DrawProgressCB();
}

void TKSN_MainWindow::DrawProgressCB()
{
    const char* title = App ? App->applicationName : "";
    std::string text = title;
    if (OS.IsInProgress()) {
        text = QORFormat("%s-%s", title, App ? App->GetCustomProgressMessage() : "");
        text.append(size_t(ProgressCounter), '.');
    }
    if (text == LastMessage) return;
    LastMessage = text;
    QORglutSetWindowTitle(text.c_str());
}
