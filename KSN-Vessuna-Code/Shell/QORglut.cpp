// The GLUT-like callback layer. Index:
//   [SECTION] Slots and setters
//   [SECTION] State and key tables
//   [SECTION] Window and display
//   [SECTION] Input state
//   [SECTION] Cursors
//   [SECTION] Dispatch
#include "QORglut.h"

#include "KSN_WX.h"
#include "OS.h"

#include <wx/display.h>
#include <wx/log.h>
#include <wx/thread.h>
#include <wx/utils.h>

#include <X11/Xlib.h>

// [SECTION] Slots and setters

TQORglutDisplayCB fOnDisplay = nullptr;
TQORglutReshapeCB fOnReshape = nullptr;
TQORglutMouseCB fOnMouse = nullptr;
TQORglutPositionCB fOnMotion = nullptr;
TQORglutPositionCB fOnPassive = nullptr;
TQORglutIdleCB fOnIdle = nullptr;
TQORglutKeyboardCB fKeyboardFunc = nullptr;
TQORglutKeyboardCB fKeyboardUpFunc = nullptr;
TQORglutSpecialCB fSpecialFunc = nullptr;
TQORglutWheelCB fOnMouseWheel = nullptr;
TQORglutPositionCB fOnDoubleClick = nullptr;
TQORglutDragDropCB fOnDragDrop = nullptr;
TQORglutQueryCB fOnMinimize = nullptr;
TQORglutQueryCB fOnMaximize = nullptr;
TQORglutVisibilityCB fOnVisibility = nullptr;
TQORglutQueryCB fOnExitQuery = nullptr;
TQORglutQueryCB fOnRestore = nullptr;
TQORglutPositionCB fOnDrag = nullptr;

void QORglutDisplayFunc(TQORglutDisplayCB cb) { fOnDisplay = cb; }
void QORglutReshapeFunc(TQORglutReshapeCB cb) { fOnReshape = cb; }
void QORglutMouseFunc(TQORglutMouseCB cb) { fOnMouse = cb; }
void QORglutMotionFunc(TQORglutPositionCB cb) { fOnMotion = cb; }
void QORglutPassiveFunc(TQORglutPositionCB cb) { fOnPassive = cb; }
void QORglutIdleFunc(TQORglutIdleCB cb) { fOnIdle = cb; }
void QORglutKeyboardFunc(TQORglutKeyboardCB cb) { fKeyboardFunc = cb; }
void QORglutSpecialFunc(TQORglutSpecialCB cb) { fSpecialFunc = cb; }
void QORglutMouseWheelFunc(TQORglutWheelCB cb) { fOnMouseWheel = cb; }
void QORglutDoubleClickFunc(TQORglutPositionCB cb) { fOnDoubleClick = cb; }
void QORglutDragDropFunc(TQORglutDragDropCB cb) { fOnDragDrop = cb; }
void QORglutMinimizeFunc(TQORglutQueryCB cb) { fOnMinimize = cb; }
void QORglutMaximizeFunc(TQORglutQueryCB cb) { fOnMaximize = cb; }
void QORglutVisibilityFunc(TQORglutVisibilityCB cb) { fOnVisibility = cb; }
void QORglutExitFunc(TQORglutQueryCB cb) { fOnExitQuery = cb; }
void QORglutRestoreFunc(TQORglutQueryCB cb) { fOnRestore = cb; }
void QORglutDragFunc(TQORglutPositionCB cb) { fOnDrag = cb; }
void QORglutWindowStatusFunc(TQORglutWindowStatusCB) {}
TQORglutIdleCB GetIdleFunc() { return fOnIdle; }

void QORglut_ClearAllCallbacks()
{
    fOnExitQuery = nullptr;
    fOnMaximize = nullptr;
    fOnMinimize = nullptr;
    fOnRestore = nullptr;
    fOnMouseWheel = nullptr;
    fKeyboardFunc = nullptr;
    fKeyboardUpFunc = nullptr;
    fSpecialFunc = nullptr;
    fOnDrag = nullptr;
    fOnDisplay = nullptr;
    fOnReshape = nullptr;
    fOnMouse = nullptr;
    fOnMotion = nullptr;
    fOnPassive = nullptr;
    fOnIdle = nullptr;
    fOnDragDrop = nullptr;
    fOnDoubleClick = nullptr;
    fOnVisibility = nullptr;
}

// [SECTION] State and key tables

TKSN_WX_Frame* FramePtr = nullptr;
bool QORglutInitialized = false;
bool QORglutReadyToGo = false;
int32_t QORglutModifiers = 0;
int32_t QORglutwx_LastMouseX = 0, QORglutwx_LastMouseY = 0;
std::atomic<int32_t> MouseScreenOffsetX{0}, MouseScreenOffsetY{0};
int32_t ButtonOnMouseDown = -1;
bool DrawCalledAfterOnMotion = false;
bool AltF4JustPressed = false;
int wx_gl_args[5] = {WX_GL_RGBA, WX_GL_DOUBLEBUFFER, WX_GL_DEPTH_SIZE, 16, 0};

// The codes passed on are fixed; the toolkit must still number its keys this way.
static_assert(WX_GL_RGBA == 1 && WX_GL_DOUBLEBUFFER == 4 && WX_GL_DEPTH_SIZE == 11);
static_assert(int(WXK_END) == QORGLUT_KEY_END && int(WXK_HOME) == QORGLUT_KEY_HOME &&
              int(WXK_LEFT) == QORGLUT_KEY_LEFT && int(WXK_UP) == QORGLUT_KEY_UP &&
              int(WXK_RIGHT) == QORGLUT_KEY_RIGHT && int(WXK_DOWN) == QORGLUT_KEY_DOWN &&
              int(WXK_INSERT) == QORGLUT_KEY_INSERT && int(WXK_F1) == QORGLUT_KEY_F1 &&
              int(WXK_F4) == QORGLUT_KEY_F4 && int(WXK_F12) == QORGLUT_KEY_F12 &&
              int(WXK_PAGEUP) == QORGLUT_KEY_PAGEUP && int(WXK_PAGEDOWN) == QORGLUT_KEY_PAGEDOWN);
static_assert(WXK_SHIFT == 306 && WXK_ALT == 307 && WXK_CONTROL == 308 && WXK_MENU == 309);

bool QORglut_IsSpecialKey(int key)
{
    return (key >= QORGLUT_KEY_END && key <= QORGLUT_KEY_DOWN) || key == QORGLUT_KEY_INSERT ||
           (key >= QORGLUT_KEY_F1 && key <= QORGLUT_KEY_F12) || key == QORGLUT_KEY_PAGEUP ||
           key == QORGLUT_KEY_PAGEDOWN;
}

bool QORglut_IsModifierKey(int key) { return key >= WXK_SHIFT && key <= WXK_MENU; }

namespace {

TestGLCanvas* Canvas() { return FramePtr ? FramePtr->GetCanvas() : nullptr; }

void RecordPosition(int x, int y)
{
    QORglutwx_LastMouseX = x;
    QORglutwx_LastMouseY = y;
}

} // namespace

// [SECTION] Window and display

void QORglutInit()
{
    wxLog::EnableLogging(false);
    QORglutInitialized = true;
}

int QORglutCreateWindow(const char*, int x, int y, int width, int height, void** nativeHandle)
{
    if (FramePtr) {
        QORglut_MessageBox("Only one window is supported at this time");
        return 0;
    }
    TKSN_WX_Frame* frame = TKSN_WX_Frame::Create(nullptr, false);
    frame->SetSize(width, height);
    frame->SetExtraStyle(frame->GetExtraStyle() | wxWS_EX_PROCESS_IDLE);
    frame->SetMinSize(wxSize(800, 544));
    frame->Move(x, y);
    if (nativeHandle) *nativeHandle = frame->GetHandle();
    FramePtr = frame;
    return 0;
}

void QORglutSetWindow(int) {}
int QORglutGetWindow() { return 0; }
// A no-op by design: the modifier bits are polled by QORglutSetModifiersFromGetKeys
// on every mouse event, so the GLUT-style callbacks have nothing left to set.
void QORglutSetModifiers() {}
bool QORglut_IsDoubleBuffered() { return true; }

void QORglutShowWindow()
{
    if (FramePtr) FramePtr->Show(true);
}

void QORglutHideWindow()
{
    if (FramePtr) FramePtr->Show(false);
}

void QORglutSetWindowTitle(const char* title)
{
    if (FramePtr && title) FramePtr->SetTitle(wxString::FromAscii(title));
}

void QORglutReshapeWindow(int width, int height)
{
    if (FramePtr) FramePtr->SetClientSize(width, height);
}

int QORglutGetWindowWidth() { return FramePtr ? FramePtr->GetClientSize().GetWidth() : 0; }
int QORglutGetWindowHeight() { return FramePtr ? FramePtr->GetClientSize().GetHeight() : 0; }

int QORglutGetScreenWidth()
{
    int width = 0, height = 0;
    wxDisplaySize(&width, &height);
    return width;
}

int QORglutGetScreenHeight()
{
    int width = 0, height = 0;
    wxDisplaySize(&width, &height);
    return height;
}

void QORglutPostRedisplay_Internal()
{
    if (!QORglutInitialized) return;
    if (TestGLCanvas* canvas = Canvas()) canvas->Refresh(false);
}

void QORglutSwapBuffers()
{
    if (TestGLCanvas* canvas = Canvas()) canvas->SwapBuffers();
}

void QORglutExecute() { QORglutReadyToGo = true; }
bool QORglut_IsReadyToGo() { return QORglutReadyToGo; }

void QORglut_MessageBox(const char* text) { OS.Message("%s", text ? text : ""); }

// [SECTION] Input state

int QORglutGetModifiers() { return QORglutModifiers; }

void QORglut_SetModifiers(bool control, bool alt, bool shift, bool command)
{
    QORglutModifiers = (shift ? 1 : 0) | (control || command ? 2 : 0) | (alt ? 4 : 0);
    OS.SetAltHeld(alt);
    OS.SetCtrlHeld(control || command);
    OS.SetShiftHeld(shift);
}

void QORglutSetModifiersFromGetKeys()
{
    if (!QORglutInitialized) return;
    QORglut_SetModifiers(wxGetKeyState(WXK_CONTROL), wxGetKeyState(WXK_ALT), wxGetKeyState(WXK_SHIFT),
                         wxGetKeyState(WXK_RAW_CONTROL));
}

namespace {

// The toolkit may only be asked on the main thread. A worker asks the X
// server through a connection of its own; where there is none, it gets the
// position of the last mouse event.
struct TWorkerDisplay {
    Display* display = nullptr;
    bool tried = false;
    ~TWorkerDisplay()
    {
        if (display) XCloseDisplay(display);
    }
};

wxPoint PointerOnScreen()
{
    if (wxThread::IsMain()) return wxGetMousePosition();
    thread_local TWorkerDisplay worker;
    if (!worker.tried) {
        worker.tried = true;
        worker.display = XOpenDisplay(nullptr);
    }
    if (worker.display) {
        Window root, child;
        int rootX, rootY, winX, winY;
        unsigned int mask;
        if (XQueryPointer(worker.display, DefaultRootWindow(worker.display), &root, &child, &rootX, &rootY, &winX,
                          &winY, &mask))
            return wxPoint(rootX, rootY);
    }
    return wxPoint(QORglutwx_LastMouseX + MouseScreenOffsetX.load(std::memory_order_relaxed),
                   QORglutwx_LastMouseY + MouseScreenOffsetY.load(std::memory_order_relaxed));
}

} // namespace

void QORglutGetMousePos_WindowCoords(int& x, int& y)
{
    wxPoint screen = PointerOnScreen();
    x = screen.x - MouseScreenOffsetX.load(std::memory_order_relaxed);
    y = screen.y - MouseScreenOffsetY.load(std::memory_order_relaxed);
}

bool QORglut_HandleSpecialKeys(int key, int modifiers)
{
    if (!fSpecialFunc) return true;
    if (!QORglut_IsSpecialKey(key)) return false;
    if (key == QORGLUT_KEY_F4 && (modifiers & QORGLUT_MASK_ALT) && !(modifiers & QORGLUT_MASK_CONTROL))
        AltF4JustPressed = true;
    fSpecialFunc(key, 0, 0);
    return true;
}

// [SECTION] Cursors

void QORglutShowCursor() { wxSetCursor(wxCursor(wxCURSOR_ARROW)); }
void QORglutWaitCursor() { wxSetCursor(wxCursor(wxCURSOR_WAIT)); }
void QORglutHideCursor() { wxSetCursor(wxCursor(wxCURSOR_BLANK)); }

// [SECTION] Dispatch

void QORglut_DispatchMouseDown(int button, bool controlHeld, int x, int y)
{
    RecordPosition(x, y);
    if (button == 0 && controlHeld) button = 2;
    ButtonOnMouseDown = button;
    if (fOnMouse) fOnMouse(button, 0, x, y);
}

void QORglut_DispatchMouseUp(int x, int y)
{
    RecordPosition(x, y);
    if (fOnMouse) fOnMouse(ButtonOnMouseDown, 1, x, y);
}

void QORglut_DispatchMouseMove(int x, int y, bool buttonHeld)
{
    RecordPosition(x, y);
    if (buttonHeld) {
        // Drags faster than frames would pile up work: one per painted frame.
        if (DrawCalledAfterOnMotion && fOnMotion) fOnMotion(x, y);
        DrawCalledAfterOnMotion = false;
    } else if (fOnPassive) {
        fOnPassive(x, y);
    }
}

void QORglut_DispatchMouseWheel(int rotation, int x, int y)
{
    RecordPosition(x, y);
    if (fOnMouseWheel) fOnMouseWheel(rotation < 0 ? -1 : rotation > 0 ? 1 : 0);
}

void QORglut_DispatchDoubleClick(int x, int y)
{
    RecordPosition(x, y);
    if (fOnDoubleClick) fOnDoubleClick(x, y);
}

void QORglut_DispatchKeyDown(int keyCode, int mask)
{
    QORglut_SetModifiers(mask & QORGLUT_MASK_CONTROL, mask & QORGLUT_MASK_ALT, mask & QORGLUT_MASK_SHIFT,
                         mask & QORGLUT_MASK_META);
    if (QORglut_IsModifierKey(keyCode) || QORglut_IsSpecialKey(keyCode)) return;
    // Plain keys come through the character path; only shortcuts come here.
    if ((OS.IsCtrlHeld() || OS.IsAltHeld()) && fKeyboardFunc)
        fKeyboardFunc(static_cast<unsigned char>(keyCode & 0xFF), 0, 0);
}

void QORglut_DispatchChar(int keyCode, int mask)
{
    if (QORglut_IsSpecialKey(keyCode) && QORglut_HandleSpecialKeys(keyCode, mask)) return;
    // The key-down path took every key with Control, Alt or Command held
    // (Command counts as Control there), so none of them may come twice.
    if (mask & (QORGLUT_MASK_CONTROL | QORGLUT_MASK_ALT | QORGLUT_MASK_META)) return;
    if (fKeyboardFunc) fKeyboardFunc(static_cast<unsigned char>(keyCode & 0xFF), 0, 0);
}

void QORglut_DispatchDisplay()
{
    if (!QORglutInitialized) QORglutInit();
    DrawCalledAfterOnMotion = true;
    if (fOnDisplay) fOnDisplay();
}

void QORglut_DispatchReshape(int width, int height)
{
    if (fOnReshape) fOnReshape(width, height);
}

void QORglut_DispatchIdle()
{
    if (!QORglutInitialized) return;
    if (fOnIdle) fOnIdle();
}

void QORglut_DispatchIconize(bool iconized)
{
    if (!QORglutInitialized) return;
    if (iconized) {
        if (fOnMinimize) fOnMinimize();
        if (fOnVisibility) fOnVisibility(0);
    } else if (fOnVisibility) {
        fOnVisibility(1);
    }
}

void QORglut_DispatchMaximize()
{
    if (!QORglutInitialized) return;
    if (fOnMaximize) fOnMaximize();
}

void QORglut_DispatchDropFile(const char* path, int x, int y)
{
    RecordPosition(x, y);
    if (fOnDragDrop) fOnDragDrop(path ? path : "", x, y);
}

TQORglutCloseAnswer QORglut_DispatchClose()
{
    if (!fOnExitQuery) return TQORglutCloseAnswer::Ignore;
    if (AltF4JustPressed) {
        // The special-key callback has had F4 already; Alt+F4 never closes.
        AltF4JustPressed = false;
        return TQORglutCloseAnswer::Veto;
    }
    if (fOnExitQuery() == 0) return TQORglutCloseAnswer::Veto;
    QORglut_ClearAllCallbacks();
    return TQORglutCloseAnswer::Allow;
}
