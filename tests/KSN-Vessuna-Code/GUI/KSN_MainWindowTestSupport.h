// The main window under test: an application object with a private HOME and
// virtual-memory folder, an empty project, the GUI graphics from the source
// tree, the message hooks, and the main window itself with its callbacks
// registered in the GLUT-like layer. Input goes in only through the layer's
// dispatch functions (what the window toolkit's handlers call); commands that
// the pump runs are recorded, then handed to the central command handler.
#pragma once

#include "KsnTestSupport.h"

#include "GuiMenu.h"
#include "GuiTheme.h"
#include "GuiFont.h"
#include "KSN_Application.h"
#include "KSN_GuiGraphics.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_MessageHooks.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORglut.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

struct TRanCommand {
    int Command, Index, Int0, X, Y;
};

inline std::vector<TRanCommand> g_RanCommands;

inline void KSN_RecordCommand(TQOREvent* e)
{
    // Layouts read the live interface variables their controls show (the
    // Viewports menu's check items, the animation controls' frame gauge);
    // those reads are not commands that anything raised.
    if (e->GetCommand() >= 15 && e->GetCommand() <= 116 && e->operationMode == 0) return;
    g_RanCommands.push_back({e->GetCommand(), e->GetIndex(), e->intParameters[0], e->GetX(), e->GetY()});
}

class MainWindowFixture : public ::testing::Test {
protected:
    TScriptedProvider Provider;
    TTempStoreFolder Store;
    std::filesystem::path Home;
    std::string SavedHome;
    int Beeps = 0;
    static inline MainWindowFixture* Current = nullptr;

    void SetUp() override
    {
        Current = this;
        ASSERT_TRUE(Store.Open("ksn_gui_"));
        Home = Store.Folder / "home";
        std::filesystem::create_directories(Home);
        const char* home = std::getenv("HOME");
        SavedHome = home ? home : "";
        ::setenv("HOME", Home.c_str(), 1);
        OS.MainPath = std::string(KSN_SOURCE_DIR) + "/";
        OS.SetDialogProvider(&Provider);
        OS.LastMouseX = OS.LastMouseY = -1;
        QORglutWigits_SetThemeToBlue();
        QORglutWigits_SetFontToArial();
        QOREvents_Clean();
        QORglut_SetModifiers(false, false, false, false);
        g_RanCommands.clear();

        new TKSN_Application("Kestrune");
        std::snprintf(App->applicationName, sizeof App->applicationName, "%s", "Kestrune-Vessuna");
        QORglut_Textures_Init();
        Kestrune_LoadTextures();
        Project = new TKSN_Project();
        QORglutInitialized = true;
        QORglutReadyToGo = true;
        MainWindow = new TKSN_MainWindow(QORglutGetWindow(), nullptr);
        MainWindow->SetupSplashScreen();
        Kestrune_InstallMessageHooks();
        QOREvents_SetMainFunction(KestruneEvents_CommandCB);
        KestruneEvents_CommandListener = KSN_RecordCommand;
        OS.AssignOnDoProgress(TKSN_MainWindow::DoProgress);
        KSN_MainWindow_Beep = [] { ++Current->Beeps; };
        App->running = true;
        MainWindow->Clock.Stop();
        MainWindow->Clock.SetTime(100.0);
        QORglut_DispatchReshape(1024, 768);
        Layout();
        g_RanCommands.clear();
        QOREvents_Clean();
    }

    void TearDown() override
    {
        delete MainWindow;
        MainWindow = nullptr;
        delete Project;
        Project = nullptr;
        delete App;
        App = nullptr;
        QORglut_Textures_Cleanup();
        QORglut_ClearAllCallbacks();
        QOREvents_Clean();
        QOREvents_SetMainFunction(nullptr);
        KestruneEvents_CommandListener = nullptr;
        OS.AssignOnDoProgress(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintHint(nullptr);
        OS.AssignOnWarningMessageNoRepeatFailed(nullptr);
        OS.AssignOnPrintMessageNoRepeatFailed(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        OS.AssignOnPrintMessageWithEvent(nullptr);
        OS.AssignOnClearMessages(nullptr);
        QORglutReadyToGo = false;
        InsideEvent = false;
        MouseWheelLocked = false;
        QORglut_SetModifiers(false, false, false, false);
        OS.SetDialogProvider(nullptr);
        ::setenv("HOME", SavedHome.c_str(), 1);
        Store.Close();
        Current = nullptr;
    }

    TKSN_MainWindow& W() { return *MainWindow; }
    void Layout() { MainWindow->LayoutTree(); }

    // [SECTION] Input through the layer
    void Press(int x, int y, int button = 0, bool control = false)
    {
        Layout();
        QORglut_DispatchMouseDown(button, control, x, y);
    }
    void Release(int x, int y) { QORglut_DispatchMouseUp(x, y); }
    void Click(int x, int y)
    {
        Press(x, y);
        Release(x, y);
    }
    void ClickNode(TGui_Node* n) { Click(n->AbsX + n->Width / 2, n->AbsY + n->Height / 2); }
    void Hover(int x, int y)
    {
        Layout();
        QORglut_DispatchMouseMove(x, y, false);
    }
    void HoverNode(TGui_Node* n) { Hover(n->AbsX + n->Width / 2, n->AbsY + n->Height / 2); }
    void Drag(int x, int y)
    {
        DrawCalledAfterOnMotion = true;   // one motion per painted frame
        QORglut_DispatchMouseMove(x, y, true);
    }
    // A key as the toolkit host delivers it: key-down, then the character.
    void Key(int code, int mask = 0)
    {
        Layout();
        QORglut_DispatchKeyDown(code, mask);
        QORglut_DispatchChar(code, mask);
        QORglut_SetModifiers(false, false, false, false);
    }
    // An idle pass once the input has rested for more than 0.2 seconds.
    void Idle()
    {
        App->inputTimer.Stop();
        App->inputTimer.SetTime(1.0);
        MainWindow->LastIdleTime = 0.0f;
        QORglut_DispatchIdle();
    }

    // [SECTION] Reading back
    static std::vector<int> Commands()
    {
        std::vector<int> out;
        for (const TRanCommand& c : g_RanCommands) out.push_back(c.Command);
        return out;
    }
    static int Count(int command)
    {
        int n = 0;
        for (const TRanCommand& c : g_RanCommands) n += c.Command == command;
        return n;
    }
    static int CountQueued(int command)
    {
        int n = 0;
        for (int i = 0; i < QOREvents_GetEventCount(); ++i) n += QOREvents_PeekEvent(i)->GetCommand() == command;
        return n;
    }
    std::vector<std::string> PanelLines(TGui_Node* panel)
    {
        std::vector<std::string> out;
        for (TGui_Node* c = panel->FirstChild; c; c = c->Next) out.push_back(c->GetName());
        return out;
    }
    // The menu's items, separators included, in order.
    static std::vector<TGui_MenuText*> Items(TGui_Menu* menu)
    {
        std::vector<TGui_MenuText*> out;
        for (TGui_Node* c = menu->FirstChild; c; c = c->Next)
            if (auto* item = dynamic_cast<TGui_MenuText*>(c)) out.push_back(item);
        return out;
    }
    static std::vector<TGui_MenuText*> RealItems(TGui_Menu* menu)
    {
        std::vector<TGui_MenuText*> out;
        for (TGui_MenuText* item : Items(menu))
            if (!item->IsSeparator()) out.push_back(item);
        return out;
    }
};
