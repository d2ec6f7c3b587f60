// Leaving the program, web pages and the launcher (ids 182-190), and window
// input delivered as queued commands (ids -10000 to -9988).
#include "GuiNode.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Internal.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Project.h"
#include "KSN_Commands_System.h"

#include "KSN_MainWindow_Internal.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORString.h"

#include <algorithm>
#include <string>
#include <vector>

TQORTimer KSN_WorkingTimer;

namespace {

bool OpenPage(int text, int announce)
{
    const char* url = Lang.GetText(text);
    if (announce) OS.PrintMessage(Lang.GetText(announce), url);
    OS.LaunchURL(url);
    return true;
}

void ContinueWorkingTimer()
{
    if (!KSN_WorkingTimer.IsTiming()) KSN_WorkingTimer.Continue();
}

bool InputBookkeeping(TKSN_MainWindow& w)
{
    if (App) App->inputTimer.Start();
    ++w.InputEventCount;
    return true;
}

void PushSize(int command, int x, int y)
{
    auto* e = new TQOREvent(KestruneEvents_CommandCB, 0, command);
    e->SetX(x);
    e->SetY(y);
    QOREvents_PushEvent(e);
}

bool InList(const std::string& ext, TQORNewStaticList<char*>* list, const char* listName)
{
    if (!list || ext.empty()) return false;
    std::vector<const char*> seen;
    for (char* entry : *list) {
        for (const char* s : seen)
            if (s == entry) QORThrowException("Infinite list traversal detected %s,%s,%s", "char *", "tExt", listName);
        seen.push_back(entry);
        if (!entry) continue;
        const char* e = entry;
        if (e[0] == '*') ++e;
        if (e[0] == '.') ++e;
        if (QORstrcmpi(e, ext.c_str()) == 0) return true;
    }
    return false;
}

template <class T> bool Inside(TGui_Node* node, T* container)
{
    if (!container) return false;
    for (TGui_Node* n = node; n; n = n->Parent)
        if (n == container) return true;
    return false;
}

bool DroppedFile(TKSN_MainWindow& w, TQOREvent* e)
{
    const char* path = e->GetStringParameter(0);
    if (!path || !*path || !TOS::FileExists(path)) return true;
    TGui_Node* node = nullptr;
    TGui_Node::GetNodeFromPoint(&w, e->GetX(), e->GetY(), &node);
    if (!node) return true;
    const std::string ext = GetExtensionFromFileName(path);
    if (QORstrcmpi(ext.c_str(), "Kestrune") == 0) {
        if (OS.MessageYesNo("%s", Lang.GetText(381))) w.LoadProject(path);
        return true;
    }
    if (auto* panel = dynamic_cast<TKSN_ViewportPanel*>(node)) {
        if (InList(ext, App ? App->importFileTypes : nullptr, "App->ExportObjectFileTypes")) {
            if (w.ImportWindow) w.ImportWindow->Execute(path);
            return true;
        }
        if (InList(ext, App ? App->importImageTypes : nullptr, "App->ImportImageFileTypes")) {
            KSN_CreatePictureObject(panel->GetViewport(), path, e->GetX() - panel->AbsX, e->GetY() - panel->AbsY);
            return true;
        }
    } else {
        // The mode bar's brush buttons and the maps panel take it as the window's own drops do.
        KSN_DropFileOnPanels(w, node, path);
    }
    if (Inside(node, w.ObjectManagerNode) && node->DragDropEvent &&
        InList(ext, App ? App->importImageTypes : nullptr, "App->ImportImageFileTypes")) {
        auto* copy = new TQOREvent(node->DragDropEvent);
        copy->AssignStringParameter(path, 0);
        QOREvents_PushEvent(copy);
        return true;
    }
    KSN_MainWindow_Beep();
    return true;
}

} // namespace

std::string KSN_LauncherPath() { return QORFormat("%sKestrune-Launcher.app", OS.MainPath.c_str()); }

bool Kestrune_Events_SystemCB(TQOREvent* e)
{
    if (!e) return false;
    switch (e->GetCommand()) {
    case 182:
    case 190: return false;
    case 183: TKSN_MainWindow::ExitRequested(); return true;
    case 184: return OpenPage(251, 169);
    case 185:
        // The launcher is found where start-up looks for it; the path has no
        // length limit, and a missing launcher is the OS layer's error only.
        OS.LaunchApp(KSN_LauncherPath().c_str(), "-FROM_MAIN_APP");
        return true;
    case 186: return OpenPage(556, 0);
    case 187: return OpenPage(1111, 0);
    case 188: return OpenPage(498, 1110);
    default: return true;
    }
}

bool Kestrune_Events_SystemWindowCB(TQOREvent* e)
{
    if (!e || !MainWindow || e->GetOwnerID() != MainWindow->GetID()) return false;
    TKSN_MainWindow& w = *MainWindow;
    const int modifiers = e->intParameters[1];
    switch (e->GetCommand()) {
    case -9999:
        ContinueWorkingTimer();
        if (Project) Project->CheckForLowRAM(10, true);
        w.ProcessMouseButton(e->GetMouseButton(), e->GetMouseState(), e->GetX(), e->GetY(), modifiers);
        return InputBookkeeping(w);
    case -9998:
        w.ProcessDoubleClick(e->GetX(), e->GetY(), modifiers);
        return InputBookkeeping(w);
    case -9997:
        ContinueWorkingTimer();
        w.ProcessMouseMotion(e->GetX(), e->GetY());
        w.ProcessMouseOverMouseDownViewports();
        return InputBookkeeping(w);
    case -9996: w.ProcessMouseWheel(e->GetX()); return true;
    case -9994:
        ContinueWorkingTimer();
        QOREvents_PushEvent(new TQOREvent(KestruneEvents_CommandCB, 0, 295));
        w.ProcessKey(static_cast<unsigned char>(e->intParameters[0] & 0xFF), e->GetX(), e->GetY(), modifiers);
        InputBookkeeping(w);
        w.LastKeyInputCount = w.InputEventCount;
        return true;
    case -9993:
        ContinueWorkingTimer();
        w.ProcessSpecialKey(e->intParameters[0], e->GetX(), e->GetY(), modifiers);
        return InputBookkeeping(w);
    case -9992: {
        const int x = e->GetX(), y = e->GetY();
        if (x == 0 || y == 0) return true;
        if (x >= 800 && y >= 544)
            PushSize(141, x, y);
        else
            PushSize(140, std::max(x, 800), std::max(y, 544));
        return true;
    }
    case -9991: return DroppedFile(w, e);
    case -9990: {
        static const char* const names[4] = {"QORGLUT_HIDDEN", "QORGLUT_FULLY_RETAINED", "QORGLUT_PARTIALLY_RETAINED",
                                             "QORGLUT_FULLY_COVERED"};
        const int state = e->intParameters[0];
        if (state >= 0 && state < 4) OS.PrintMessage("%s", names[state]);
        return true;
    }
    case -9989: return true;
    default: return false;   // -10000, -9995, -9988
    }
}
