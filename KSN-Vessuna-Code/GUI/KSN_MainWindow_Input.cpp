// The main window's input routing: mouse buttons with their press-release
// pairing, motion, passive motion, double clicks, the wheel with its lock,
// character and special keys, and dropped files. Input enters only through
// the window callbacks that the GLUT-like layer calls.
#include "KSN_MainWindow_Internal.h"

#include "KSN_Gui_BrushBrowser.h"

#include "GuiButton.h"
#include "GuiWindow.h"
#include "KSN_Application.h"
#include "KSN_CR2ExportWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORString.h"
#include "QORglut.h"

#include <wx/defs.h>

#include <exception>
#include <memory>
#include <string>

// The special-key codes of the GLUT-like layer are the window toolkit's own.
static_assert(QORGLUT_KEY_END == WXK_END && QORGLUT_KEY_HOME == WXK_HOME && QORGLUT_KEY_LEFT == WXK_LEFT &&
              QORGLUT_KEY_UP == WXK_UP && QORGLUT_KEY_RIGHT == WXK_RIGHT && QORGLUT_KEY_DOWN == WXK_DOWN &&
              QORGLUT_KEY_INSERT == WXK_INSERT && QORGLUT_KEY_F1 == WXK_F1 && QORGLUT_KEY_F4 == WXK_F4 &&
              QORGLUT_KEY_F12 == WXK_F12 && QORGLUT_KEY_PAGEUP == WXK_PAGEUP &&
              QORGLUT_KEY_PAGEDOWN == WXK_PAGEDOWN,
              "the special-key codes must equal the window toolkit's key codes");

void (*KSN_MainWindow_Beep)() = [] { OS.Beep(); };

namespace {

constexpr int MouseButtonWindowEvent = -9999;
constexpr int MouseMotionWindowEvent = -9997;

// Strict containment: the left and top edges and left + width, top + height are outside.
bool StrictlyInside(TGui_Node* n, int x, int y)
{
    return n->AbsX < x && x < n->AbsX + n->Width && n->AbsY < y && y < n->AbsY + n->Height;
}

void HidePopupsOutside(TKSN_MainWindow& w, int x, int y)
{
    for (TGui_Node* popup : {static_cast<TGui_Node*>(w.BrushShapeLibraryWindow),
                             static_cast<TGui_Node*>(w.BrushImageLibraryWindow)})
        if (popup && popup->Shown && !StrictlyInside(popup, x, y)) popup->Hide();
}

TQOREvent* FindQueuedWindowEvent(int command)
{
    for (int i = 0; i < QOREvents_GetEventCount(); ++i)
        if (TQOREvent* e = QOREvents_PeekEvent(i); e && e->GetCommand() == command) return e;
    return nullptr;
}

bool IsViewportPanel(TGui_Node* n) { return dynamic_cast<TKSN_ViewportPanel*>(n) != nullptr; }

// The cursor while the mouse moves: hidden only when the current tool draws
// its own and the mouse is over a viewport panel.
void UpdateCursor(TKSN_MainWindow& w)
{
    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    if (!tool || w.GetDragDropNode()) {
        QORglutShowCursor();
        return;
    }
    try {
        if (tool->DrawsOwnMouseCursor() && IsViewportPanel(w.GetMouseOverNode()))
            QORglutHideCursor();
        else
            QORglutShowCursor();
    } catch (const std::exception&) {
        OS.WarningMessage("%s", Lang.GetText(1066));
        QORglutShowCursor();
    }
}

// After a press or a double click: a press held by anything but a viewport
// panel takes the focus from the tool, and any press but one on the current
// viewport's panel frees a wheel lock left over from an interrupted stroke.
void AfterPress(TKSN_MainWindow& w)
{
    TGui_Node* down = w.GetOnMouseDownNode();
    if (!down) return;
    if (!IsViewportPanel(down) && Project) Project->ClearToolFocus();
    if (!Project || down != w.GetCurrentViewportPanel()) MouseWheelLocked = false;
}

// Whether ext (no dot) is in a list of extensions, any case; entries may be
// written with a leading "." or "*.".
bool ExtensionInList(const std::string& ext, TQORNewStaticList<char*>* list)
{
    if (!list || ext.empty()) return false;
    for (char* entry : *list) {
        if (!entry) continue;
        const char* e = entry;
        if (e[0] == '*') ++e;
        if (e[0] == '.') ++e;
        if (QORstrcmpi(e, ext.c_str()) == 0) return true;
    }
    return false;
}

template <class T> bool IsUnder(TGui_Node* node, T* container)
{
    for (TGui_Node* n = node; n; n = n->Parent)
        if (n == container) return true;
    return false;
}

// Drops on the mode bar's brush buttons and on the maps panel. True when the drop was taken.
bool DropOnPanels(TKSN_MainWindow& w, TGui_Node* node, const char* path)
{
    if (w.BrushImageButton && IsUnder(node, w.BrushImageButton)) {
        KSN_LoadBrushTexture(path);
        return true;
    }
    if (w.BrushShapeButton && IsUnder(node, w.BrushShapeButton)) {
        if (Project) Project->LoadBrushShapeFromFile(path);
        return true;
    }
    if (!w.MapsNode || !IsUnder(node, w.MapsNode) || !Project) return false;
    TKSN_MapNode* mapNode = nullptr;
    for (TGui_Node* n = node; n && !mapNode; n = n->Parent) mapNode = dynamic_cast<TKSN_MapNode*>(n);
    if (mapNode) {
        auto* source = mapNode->MapID ? dynamic_cast<TQORMaterialMapSource*>(__GetThingyFromID(mapNode->MapID))
                                      : nullptr;
        if (source) {
            Project->SetupUndoForMapEdit(source, false);
            Project->ReplaceMap(source, path);
            Project->OnAllViewportsChanged();
        } else {
            OS.Message("%s", "Map is NULL");
        }
    } else {
        Project->ImportMap(path);
    }
    QOREvents_PushEvent(434);
    QOREvents_PushEvent(435);
    return true;
}

} // namespace

bool KSN_DropFileOnPanels(TKSN_MainWindow& w, TGui_Node* node, const char* path) { return DropOnPanels(w, node, path); }

// [SECTION] Mouse buttons

void TKSN_MainWindow::MouseCB(int button, int state, int x, int y)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered() || !KSN_AppRunning()) return;
    OS.LastMouseX = x;
    OS.LastMouseY = y;
    QORglutSetModifiers();
    if (QORglutGetModifiers() & 2) button = 2;
    MainWindow->OnMouse(button, state, x, y);
    AfterPress(*MainWindow);
    KSN_PumpStep();
}

void TKSN_MainWindow::OnMouse(int button, int state, int x, int y)
{
    if (state == 0) HidePopupsOutside(*this, x, y);
    if (state == 0) {
        if (ButtonDown) return;   // a second button while one is held
        ButtonDown = true;
        ButtonThatWentDown = button;
    } else {
        if (!ButtonDown) return;   // a release without its press
        button = ButtonThatWentDown;
        ButtonDown = false;
    }
    if (TQOREvent* queued = FindQueuedWindowEvent(MouseButtonWindowEvent)) {
        if (state == 0 && queued->GetMouseState() <= 1) return;
        if (state == 1 && queued->GetMouseState() == 1) return;
    }
    KSN_ContinueSaveReminder();
    if (Project) Project->CheckForLowRAM(10, true);
    ProcessMouseButton(button, state, x, y, QORglutGetModifiers());
    KSN_RestartInputTimer();
}

// [SECTION] Motion

void TKSN_MainWindow::MotionCB(int x, int y)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered() || !KSN_AppRunning()) return;
    UpdateCursor(*MainWindow);
    MainWindow->OnMotion(x, y);
    KSN_PumpStep();
}

bool TKSN_MainWindow::OnMotion(int x, int y)
{
    if (!CanConsiderMouseMovement()) return false;
    if (x == OS.LastMouseX && y == OS.LastMouseY) return false;
    OS.LastMouseX = x;
    OS.LastMouseY = y;
    if (TQOREvent* queued = FindQueuedWindowEvent(MouseMotionWindowEvent)) {
        queued->SetX(x);
        queued->SetY(y);
        return true;
    }
    KSN_ContinueSaveReminder();
    ProcessMouseMotion(x, y);
    ProcessMouseOverMouseDownViewports();
    KSN_RestartInputTimer();
    KSN_PumpStep();
    return true;
}

void TKSN_MainWindow::PassiveCB(int x, int y)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered() || !KSN_AppRunning()) return;
    TKSN_MainWindow& w = *MainWindow;
    if (w.GetOnMouseDownNode()) return;
    OS.LastMouseX = x;
    OS.LastMouseY = y;
    if (Project) Project->OnIdleOrPassive();
    App->idleOrPassiveDone = true;
    if (!IsViewportPanel(w.GetMouseOverNode()) && w.LockIcon) w.LockIcon->Hide();
    w.SkipNextMotion = false;
    TGui_BlankApp::PassiveCB(x, y);
    w.ProcessMouseOverMouseDownViewports();
    UpdateCursor(w);
}

void TKSN_MainWindow::ProcessMouseOverMouseDownViewports()
{
    if (!App) return;
    auto* over = dynamic_cast<TKSN_ViewportPanel*>(GetMouseOverNode());
    App->mouseOverViewport = over ? over->ViewportIndex : -1;
    auto* down = dynamic_cast<TKSN_ViewportPanel*>(GetOnMouseDownNode());
    App->mouseDownViewport = down ? down->ViewportIndex : -1;
}

// [SECTION] Double click, wheel, drag

void TKSN_MainWindow::DoubleClickCB(int x, int y)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered() || !KSN_AppRunning()) return;
    MainWindow->OnDoubleClick2(x, y);
    KSN_PumpStep();
}

void TKSN_MainWindow::OnDoubleClick2(int x, int y)
{
    OS.LastMouseX = x;
    OS.LastMouseY = y;
    HidePopupsOutside(*this, x, y);
    QORglutSetModifiers();
    ProcessDoubleClick(x, y, QORglutGetModifiers());
    KSN_RestartInputTimer();
    AfterPress(*this);
}

void TKSN_MainWindow::MouseWheelCB(int step)
{
    KSN_REQUIRE_MAIN_WINDOW();
    if (MouseWheelLocked || !KSN_AppRunning()) return;
    MainWindow->ProcessMouseWheel(step);
    KSN_PumpStep();
}

void TKSN_MainWindow::DragCB(int dx, int dy)
{
    KSN_REQUIRE_MAIN_WINDOW();
    MainWindow->DragX += dx;
    MainWindow->DragY += dy;
    KSN_PumpStep();
}

void TKSN_MainWindow::LockMouseWheel() { MouseWheelLocked = true; }
void TKSN_MainWindow::UnlockMouseWheel() { MouseWheelLocked = false; }

// [SECTION] Keys

void TKSN_MainWindow::KeyboardCB(unsigned char key, int x, int y)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered() || !KSN_AppRunning()) return;
    TKSN_MainWindow& w = *MainWindow;
    if (key == 27) {
        QORglutShowCursor();
        for (TGui_Node* window :
             {static_cast<TGui_Node*>(w.BrushShapeLibraryWindow), static_cast<TGui_Node*>(w.BrushImageLibraryWindow),
              static_cast<TGui_Node*>(w.ImportWindow), static_cast<TGui_Node*>(w.ExportWindow),
              static_cast<TGui_Node*>(w.ViewportOptionsWindow), static_cast<TGui_Node*>(w.RenderOptionsWindow),
              static_cast<TGui_Node*>(w.RenameWindow), static_cast<TGui_Node*>(w.NewMapWindow),
              static_cast<TGui_Node*>(w.OptionsWindow), static_cast<TGui_Node*>(w.CR2ExportWindow)})
            if (window && window->Shown) window->Hide();
    }
    // TODO(stub): a focused tool gets the key first (its OnKeyPress with the
    // current mesh) once the tool framework has that operation.
    KSN_ContinueSaveReminder();
    QOREvents_PushEvent(295);
    QORglutSetModifiers();
    w.ProcessKey(key, x, y, QORglutGetModifiers());
    KSN_RestartInputTimer();
    KSN_PumpStep();
}

void TKSN_MainWindow::SpecialCB(int key, int x, int y)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered() || !KSN_AppRunning()) return;
    KSN_ContinueSaveReminder();
    QORglutSetModifiers();
    MainWindow->ProcessSpecialKey(key, x, y, QORglutGetModifiers());
    KSN_RestartInputTimer();
    KSN_PumpStep();
}

// [SECTION] Dropped files

void TKSN_MainWindow::DragDropCB(const char* path, int x, int y)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered()) return;
    if (!path || !*path || !TOS::FileExists(path)) return;
    TKSN_MainWindow& w = *MainWindow;
    const int dropY = QORglutGetWindowHeight() - y;
    TGui_Node* node = nullptr;
    TGui_Node::GetNodeFromPoint(&w, x, dropY, &node);
    if (!node) return;

    const std::string ext = GetExtensionFromFileName(path);
    if (QORstrcmpi(ext.c_str(), "Kestrune") == 0) {
        if (OS.MessageYesNo("%s", Lang.GetText(381)))
            w.LoadProject(path);
        return;
    }
    if (auto* panel = dynamic_cast<TKSN_ViewportPanel*>(node)) {
        if (ExtensionInList(ext, App ? App->importFileTypes : nullptr)) {
            if (w.ImportWindow) w.ImportWindow->Execute(path);
            return;
        }
        if (ExtensionInList(ext, App ? App->importImageTypes : nullptr)) {
            KSN_CreatePictureObject(panel->GetViewport(), path, x - panel->AbsX, dropY - panel->AbsY);
            return;
        }
    } else if (DropOnPanels(w, node, path)) {
        // A drop that was taken ends quietly; only an unhandled one beeps.
        KSN_PumpStep();
        return;
    }
    if (w.ObjectManagerNode && IsUnder(node, w.ObjectManagerNode) && node->DragDropEvent &&
        ExtensionInList(ext, App ? App->importImageTypes : nullptr)) {
        auto* e = new TQOREvent(node->DragDropEvent);
        e->AssignStringParameter(path, 0);
        QOREvents_PushEvent(e);
        return;
    }
    KSN_MainWindow_Beep();
    KSN_PumpStep();
}
