// A dialog provider that answers from a script and records what it was
// asked, and a fixture that leaves the OS layer as it found it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <deque>
#include <string>
#include <vector>

#include "OS.h"

struct TScriptedProvider : TOSDialogProvider {
    struct TBox {
        TOSBoxKind Kind;
        std::string Title, Text;
        bool DefaultYes;
        bool InDialog;   // OS.IsInDialog() while the box was up
    };
    std::vector<TBox> Boxes;
    std::deque<TOSBoxAnswer> Answers;   // empty: the box is closed
    std::vector<std::array<unsigned char, 3>> Colours;
    bool ConfirmColour = true;
    std::vector<TOSFileDialogRequest> FileRequests;
    std::deque<std::string> Choices;    // empty string: cancelled
    bool ClipboardOpens = true;
    std::string Clipboard;
    int Calls = 0;

    TOSBoxAnswer ShowBox(TOSBoxKind kind, const char* title, const char* text, bool defaultYes) override
    {
        ++Calls;
        Boxes.push_back({kind, title, text, defaultYes, OS.IsInDialog()});
        if (Answers.empty()) return TOSBoxAnswer::Closed;
        TOSBoxAnswer a = Answers.front();
        Answers.pop_front();
        return a;
    }
    bool PickColour(unsigned char rgb[3]) override
    {
        ++Calls;
        Colours.push_back({rgb[0], rgb[1], rgb[2]});
        return ConfirmColour;
    }
    bool SelectFile(const TOSFileDialogRequest& request, std::string& chosen) override
    {
        ++Calls;
        FileRequests.push_back(request);
        if (Choices.empty()) return false;
        chosen = Choices.front();
        Choices.pop_front();
        return !chosen.empty();
    }
    bool SetClipboardText(const std::string& text) override
    {
        ++Calls;
        if (ClipboardOpens) Clipboard = text;
        return ClipboardOpens;
    }
    bool GetClipboardText(std::string& text) override
    {
        ++Calls;
        text = ClipboardOpens ? Clipboard : std::string();
        return ClipboardOpens;
    }
};

// Every test starts with no hooks, an empty last text and the scripted provider.
class OSFixture : public ::testing::Test {
protected:
    TScriptedProvider Provider;

    static void ResetOS()
    {
        OS.AssignOnDoProgress(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnWarningMessageNoRepeatFailed(nullptr);
        OS.AssignOnPrintMessageNoRepeatFailed(nullptr);
        OS.AssignOnPrintHint(nullptr);
        OS.AssignOnPrintMessageWithEvent(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        OS.AssignOnClearMessages(nullptr);
        OS.fOnDialogOpen = nullptr;
        OS.fOnDialogClose = nullptr;
        OS.LastMessageText.clear();
        OS.ProgressActive = false;
        OS.SetDialogProvider(nullptr);
    }
    void SetUp() override
    {
        ResetOS();
        OS.SetDialogProvider(&Provider);
    }
    void TearDown() override { ResetOS(); }
};
