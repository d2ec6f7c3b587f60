#include "KSN_MainWindow_Callbacks.h"

#include <cstring>
#include <string>

#include "GuiMaster.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Project.h"
#include "OS.h"
#include "OverlayWorkhorse.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORLookupTables.h"
#include "QORString.h"
#include "QORVirtualMemory.h"
#include "QORglut.h"

#include <GL/gl.h>

namespace {

bool CallbackRunning = false;   // a main-window callback is on the stack
bool FirstFrame = true;

bool GuardPasses() { return QORglut_IsReadyToGo() && !newIsInDialog && !CallbackRunning; }

struct TCallbackScope {
    TCallbackScope() { CallbackRunning = true; }
    ~TCallbackScope() { CallbackRunning = false; }
    TCallbackScope(const TCallbackScope&) = delete;
    TCallbackScope& operator=(const TCallbackScope&) = delete;
};

// "-transport" as the first argument keeps the start file closed.
bool ShouldOpenStartFile()
{
    if (!App || !App->loadDefaultProject) return false;
    if (OS.ArgumentCount > 1 && OS.Arguments && OS.Arguments[1] && QORstrcmpi(OS.Arguments[1], "-transport") == 0)
        return false;
    return true;
}

// Text 186 carries only its first line in the table; the warning that
// follows it belongs to the question.
std::string ExitQuestion()
{
    std::string question = Lang.GetText(186);
    if (question.find('\n') == std::string::npos) question += "\n\n(all unsaved changes will be lost)";
    return question;
}

} // namespace

void KSN_MainWindow_RegisterCallbacks()
{
    QORglutDisplayFunc(KSN_MainWindow_DisplayCB);
    QORglutReshapeFunc(KSN_MainWindow_ReshapeCB);
    QORglutMinimizeFunc(KSN_MainWindow_MinimizeCB);
    QORglutExitFunc(KSN_MainWindow_ExitCB);
}

void KSN_MainWindow_DisplayCB()
{
    if (!GuardPasses()) return;
    TCallbackScope scope;
    if (App) {
        ++App->frameCounter;
        ++App->drawFrameCounter;
    }
    if (FirstFrame) {
        FirstFrame = false;
        if (ShouldOpenStartFile()) QOREvents_PushEvent(369);
    }
    TKSN_MainWindow::DisplayCB();
}

void KSN_MainWindow_ReshapeCB(int width, int height)
{
    if (!GuardPasses()) return;
    TCallbackScope scope;
    // Also tells the GL driver that the canvas changed size.
    glViewport(0, 0, width, height);
}

int KSN_MainWindow_MinimizeCB() { return App ? int(App->allowMinimize) : 1; }

int KSN_MainWindow_ExitCB()
{
    if (!GuardPasses()) return 0;
    TCallbackScope scope;
    return KSN_MainWindow_ExitRequested();
}

int KSN_MainWindow_ExitRequested()
{
    if (!OS.MessageYesNo("%s", ExitQuestion().c_str())) return 0;

    CleanupOverlayWorkhorse();
    if (App) App->SaveSettings();
    QOREvents_Clean();
    // TODO(stub): the navigation undo stacks (NavCleanStacks) do not exist yet.
    delete Project;
    Project = nullptr;
    delete MainWindow;
    MainWindow = nullptr;
    Gui_CleanMasterList();
    delete App;   // writes the settings once more
    App = nullptr;
    CleanMathLookupTables();
    QORVirtualMemory_Cleanup();   // closes and removes the temporary files
    QORglut_Textures_Cleanup();
    Lang.Empty();
    OS.CleanArguments();
    QORglut_Ext_Clean();
    // TODO(stub): the polygon point pools (OptimizePolygonMemory) do not exist yet.
    OS.Exit(0);
}
