// The command layer under test: the main window fixture (application with a
// private HOME, an empty project, the main window, the scripted dialog
// provider) with the real dispatcher installed, every printed and warned text
// recorded, and helpers to run one command the way widgets and the pump do.
#pragma once

#include "KSN_MainWindowTestSupport.h"

#include "KSN_Tool.h"
#include "QORLanguage.h"

#include <string>
#include <vector>

inline std::vector<std::string> g_Printed;

class CommandFixture : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        KestruneEvents_Install();
        g_Printed.clear();
        const TOSMessageCB record = [](char* text) { g_Printed.emplace_back(text); };
        for (auto assign : {&TOS::AssignOnPrintMessage, &TOS::AssignOnWarningMessage,
                            &TOS::AssignOnPrintMessageNoRepeatFailed, &TOS::AssignOnWarningMessageNoRepeatFailed,
                            &TOS::AssignOnDebugMessage})
            (OS.*assign)(record);
        RedisplaysBefore = KestruneEvents_RedisplayCount;
    }
    void TearDown() override
    {
        if (App) App->currentTool = nullptr;
        QOREvents_SetRedisplayFunction(nullptr);
        MainWindowFixture::TearDown();
    }

    // A command run at once through the dispatcher, as a widget calls its event.
    static bool Run(int command, int mode = 1, int int0 = 0, float float0 = 0.0f, uint32_t owner = 0)
    {
        TQOREvent e(KestruneEvents_CommandCB, owner, command);
        e.operationMode = mode;
        e.intParameters[0] = int0;
        e.floatParameters[0] = float0;
        return QORProcessEventNow(&e);
    }
    static int GetInt(int command, uint32_t owner = 0, int seed = 0)
    {
        TQOREvent e(KestruneEvents_CommandCB, owner, command);
        e.intParameters[0] = seed;
        QORProcessEventNow(&e);
        return e.intParameters[0];
    }
    static float GetFloat(int command, uint32_t owner = 0)
    {
        TQOREvent e(KestruneEvents_CommandCB, owner, command);
        QORProcessEventNow(&e);
        return e.floatParameters[0];
    }
    static std::string LastPrinted() { return g_Printed.empty() ? std::string() : g_Printed.back(); }
    int RedisplaysPosted() const { return KestruneEvents_RedisplayCount - RedisplaysBefore; }

    int RedisplaysBefore = 0;
};
