#include "KestruneEvents.h"

#include "KSN_Application.h"
#include "KSN_CR2ExportWindow.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORglut.h"

namespace {

// The end of start-up: from here on the message hooks pass texts on.
void EndOfStartup()
{
    if (!App) return;
    App->splashTimer.Start();
    if (MainWindow && MainWindow->SplashWindow) {
        MainWindow->SplashWindow->Show();
        MainWindow->SplashWindow->Centre();
    }
    // TODO(stub): the environment object ("Environment.OBJ" with
    // "EnvironmentMap_Grey.BMP") is not loaded because there are no meshes yet.
    App->running = true;
    OS.PrintMessage("%s", Lang.GetText(1695));
    OS.PrintMessage("%s", Lang.GetText(565));
}

} // namespace

// The menus' refresh commands: each menu is emptied and refilled as it opens.
bool RefreshMenu(int command)
{
    TKSN_MainWindow* w = MainWindow;
    if (!w) return false;
    switch (command) {
    case 8: w->SetupEditMenu(); return true;
    case 422: w->UpdateMorphMenu(); return true;
    case 423: w->UpdateSelectionMenu(true, false); return true;
    case 424: w->UpdateObjectsMenu(); return true;
    case 425: w->UpdateGroupMenu(); return true;
    case 426: w->UpdateMaterialMenu(); return true;
    case 427: w->UpdateMapsMenu(); return true;
    case 428: w->UpdateLayersMenu(); return true;
    case 429: w->SetupViewportMenu(); return true;
    case 432:
        w->UpdateMainMenu();
        w->UpdateToolMenus();
        return true;
    case 433: w->UpdateToolMenus(); return true;
    default: return false;
    }
}

void (*KestruneEvents_CommandListener)(TQOREvent* event) = nullptr;

bool KestruneEvents_CommandCB(TQOREvent* event)
{
    if (!event) return false;
    if (KestruneEvents_CommandListener) KestruneEvents_CommandListener(event);
    const int command = event->GetCommand();
    if (RefreshMenu(command)) return true;
    if (KSN_CR2ExportChoice(command)) return true;
    switch (command) {
    case 121: EndOfStartup(); return true;
    // The window is too small: it is resized to at least the minimum.
    case 140: QORglutReshapeWindow(event->GetX(), event->GetY()); return true;
    case 141:
        if (MainWindow) MainWindow->LayoutForSize(event->GetX(), event->GetY());
        return true;
    case 146: QORglutPostRedisplay_Internal(); return true;
    // A double click on the splash closes it for good.
    case 446:
        if (App) App->splashTimer.Stop();
        if (MainWindow && MainWindow->SplashWindow) MainWindow->SplashWindow->Hide();
        return true;
    // TODO(stub): opens App->startFileName once projects can be read.
    case 369: return true;
    default: return false;
    }
}
