// A fixture that leaves the OS layer as it found it.
#pragma once

#include <gtest/gtest.h>

#include "KsnTestSupport.h"

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
