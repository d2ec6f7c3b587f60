// The GLUT-like callback layer: the program's whole view of its one window.
//
// The program draws everything itself with OpenGL. What it needs of the window
// toolkit is a set of global callback slots that the GUI root and then the main
// window fill, plus a few window, cursor, screen and modifier functions. The
// toolkit host (KSN_WX.h) turns every toolkit event into one slot call through
// the QORglut_Dispatch* functions below; those carry the routing rules (button
// of a release, motion throttling, which keys go where, the Alt+F4 veto) and
// take plain values, so the rules work, and are tested, without a window.
//
// Invariants:
// - There is at most one window: FramePtr, with the canvas it owns.
// - A null slot is skipped; a setter stores the pointer and nothing else.
// - Between two paints at most one motion callback (button held) runs.
// - Everything runs on the main thread, except QORglutGetMousePos_WindowCoords,
//   which the mouse-sampling worker calls; the two offsets it reads are atomic.
#pragma once

#include <atomic>
#include <cstdint>

class TKSN_WX_Frame;

// [SECTION] Callback types and slots

typedef void (*TQORglutDisplayCB)();
typedef void (*TQORglutReshapeCB)(int width, int height);
typedef void (*TQORglutMouseCB)(int button, int state, int x, int y);
typedef void (*TQORglutPositionCB)(int x, int y);
typedef void (*TQORglutIdleCB)();
typedef void (*TQORglutKeyboardCB)(unsigned char key, int x, int y);
typedef void (*TQORglutSpecialCB)(int key, int x, int y);
typedef void (*TQORglutWheelCB)(int direction);
typedef void (*TQORglutDragDropCB)(const char* path, int x, int y);
typedef int (*TQORglutQueryCB)();
typedef void (*TQORglutVisibilityCB)(int visible);
typedef void (*TQORglutWindowStatusCB)(int state);

extern TQORglutDisplayCB fOnDisplay;
extern TQORglutReshapeCB fOnReshape;
extern TQORglutMouseCB fOnMouse;           // button 0 left, 2 right; state 0 press, 1 release
extern TQORglutPositionCB fOnMotion;       // a button held; at most once per painted frame
extern TQORglutPositionCB fOnPassive;      // no button held; every move
extern TQORglutIdleCB fOnIdle;
extern TQORglutKeyboardCB fKeyboardFunc;   // x and y are always 0
extern TQORglutKeyboardCB fKeyboardUpFunc; // has no setter: key releases reach nothing
extern TQORglutSpecialCB fSpecialFunc;     // only the 21 special-key codes; x and y are always 0
extern TQORglutWheelCB fOnMouseWheel;      // -1, 0 or +1
extern TQORglutPositionCB fOnDoubleClick;
extern TQORglutDragDropCB fOnDragDrop;     // first dropped path, UTF-8
extern TQORglutQueryCB fOnMinimize;        // result not used
extern TQORglutQueryCB fOnMaximize;        // result not used
extern TQORglutVisibilityCB fOnVisibility; // 0 iconised, 1 restored
extern TQORglutQueryCB fOnExitQuery;       // non-zero lets the close go ahead
extern TQORglutQueryCB fOnRestore;         // kept; no event calls it
extern TQORglutPositionCB fOnDrag;         // kept; no event calls it

void QORglutDisplayFunc(TQORglutDisplayCB cb);
void QORglutReshapeFunc(TQORglutReshapeCB cb);
void QORglutMouseFunc(TQORglutMouseCB cb);
void QORglutMotionFunc(TQORglutPositionCB cb);
void QORglutPassiveFunc(TQORglutPositionCB cb);
void QORglutIdleFunc(TQORglutIdleCB cb);
void QORglutKeyboardFunc(TQORglutKeyboardCB cb);
void QORglutSpecialFunc(TQORglutSpecialCB cb);
void QORglutMouseWheelFunc(TQORglutWheelCB cb);
void QORglutDoubleClickFunc(TQORglutPositionCB cb);
void QORglutDragDropFunc(TQORglutDragDropCB cb);
void QORglutMinimizeFunc(TQORglutQueryCB cb);
void QORglutMaximizeFunc(TQORglutQueryCB cb);
void QORglutVisibilityFunc(TQORglutVisibilityCB cb);
void QORglutExitFunc(TQORglutQueryCB cb);
void QORglutRestoreFunc(TQORglutQueryCB cb);
void QORglutDragFunc(TQORglutPositionCB cb);
// Does nothing: the window status is never reported.
void QORglutWindowStatusFunc(TQORglutWindowStatusCB cb);
TQORglutIdleCB GetIdleFunc();
// Empties every slot (a close that the exit query allowed).
void QORglut_ClearAllCallbacks();

// [SECTION] State

extern TKSN_WX_Frame* FramePtr;            // the one frame; null before QORglutCreateWindow
extern bool QORglutInitialized;            // most handlers do nothing while false
extern bool QORglutReadyToGo;              // set at the end of start-up
extern int32_t QORglutModifiers;           // 1 Shift, 2 Control or Command, 4 Alt
extern int32_t QORglutwx_LastMouseX, QORglutwx_LastMouseY;   // canvas pixels, origin top-left
extern std::atomic<int32_t> MouseScreenOffsetX, MouseScreenOffsetY;   // screen minus canvas position
extern int32_t ButtonOnMouseDown;          // button of the latest press: 0 left, 2 right; -1 none yet
extern bool DrawCalledAfterOnMotion;       // set by every paint, cleared by every drag move
extern bool AltF4JustPressed;              // the next close request is refused once
// The canvas's attribute list: RGBA, double buffering, 16-bit depth buffer, end.
extern int wx_gl_args[5];

// The special-key codes passed to fSpecialFunc (the toolkit's own numbering).
constexpr int QORGLUT_KEY_END = 312, QORGLUT_KEY_HOME = 313, QORGLUT_KEY_LEFT = 314, QORGLUT_KEY_UP = 315,
              QORGLUT_KEY_RIGHT = 316, QORGLUT_KEY_DOWN = 317, QORGLUT_KEY_INSERT = 322, QORGLUT_KEY_F1 = 340,
              QORGLUT_KEY_F4 = 343, QORGLUT_KEY_F12 = 351, QORGLUT_KEY_PAGEUP = 366, QORGLUT_KEY_PAGEDOWN = 367;
// The modifier mask of key events: 1 Alt, 2 Control, 4 Shift, 8 Meta (Command).
constexpr int QORGLUT_MASK_ALT = 1, QORGLUT_MASK_CONTROL = 2, QORGLUT_MASK_SHIFT = 4, QORGLUT_MASK_META = 8;
bool QORglut_IsSpecialKey(int key);
// Shift, Alt, Control and Menu themselves (codes 306 to 309): never passed on.
bool QORglut_IsModifierKey(int key);

// [SECTION] Window and display

// Switches the toolkit's log messages off for the rest of the run and sets QORglutInitialized.
void QORglutInit();
// Makes the frame and its canvas (title "Kestrune"; `title` is not used), sizes
// it to width x height, lets it receive idle events, sets the least size
// 800 x 544 and moves it to (x, y). Stores the frame's native handle through
// `nativeHandle` (may be null) and returns the window number 0. A second call
// shows "Only one window is supported at this time" and returns 0, leaving
// the first window as it is.
int QORglutCreateWindow(const char* title, int x, int y, int width, int height, void** nativeHandle);
void QORglutSetWindow(int window);
int QORglutGetWindow();
void QORglutSetModifiers();
bool QORglut_IsDoubleBuffered();
void QORglutShowWindow();
void QORglutHideWindow();
void QORglutSetWindowTitle(const char* title);
void QORglutReshapeWindow(int width, int height);
// Client size of the frame in pixels; 0 without a frame.
int QORglutGetWindowWidth();
int QORglutGetWindowHeight();
int QORglutGetScreenWidth();
int QORglutGetScreenHeight();
// Asks the canvas for a repaint without erasing; nothing before QORglutInit or without a frame.
void QORglutPostRedisplay_Internal();
void QORglutSwapBuffers();
void QORglutExecute();
bool QORglut_IsReadyToGo();
// A modal box through the OS layer (so a test's dialog provider answers it).
void QORglut_MessageBox(const char* text);

// The start-up driver. Defined by the executable's start-up code; the
// application object's OnInit calls it.
void QORglut_InitializeApplication();

// [SECTION] Input state

int QORglutGetModifiers();
// Polls Control, Alt, Shift and Command and hands them to the OS layer; nothing before QORglutInit.
void QORglutSetModifiersFromGetKeys();
// Sets QORglutModifiers and the OS layer's held flags from key states.
void QORglut_SetModifiers(bool control, bool alt, bool shift, bool command);
// The pointer's position in canvas pixels, also between events. Any thread:
// off the main thread the X server is asked through the thread's own
// connection, since the toolkit may only be used on the main thread.
void QORglutGetMousePos_WindowCoords(int& x, int& y);
// `modifiers` is the key-event mask above. True when the key was taken (or no
// special callback is registered); Alt+F4 without Control arms AltF4JustPressed.
bool QORglut_HandleSpecialKeys(int key, int modifiers);

// [SECTION] Cursors
void QORglutShowCursor();
void QORglutWaitCursor();
void QORglutHideCursor();

// [SECTION] Dispatch: the toolkit host's handlers after their common guard
// (a frame exists and is not iconised), with the event's plain values.

// A left press reports button 2 when Control is held (Control-click is the right button).
void QORglut_DispatchMouseDown(int button, bool controlHeld, int x, int y);
// A release reports the button of the latest press.
void QORglut_DispatchMouseUp(int x, int y);
void QORglut_DispatchMouseMove(int x, int y, bool buttonHeld);
void QORglut_DispatchMouseWheel(int rotation, int x, int y);
void QORglut_DispatchDoubleClick(int x, int y);
// Key-down and character paths; `mask` is the key-event modifier mask.
void QORglut_DispatchKeyDown(int keyCode, int mask);
void QORglut_DispatchChar(int keyCode, int mask);
// The paint after the command pump, with the GL context current.
void QORglut_DispatchDisplay();
void QORglut_DispatchReshape(int width, int height);
void QORglut_DispatchIdle();
void QORglut_DispatchIconize(bool iconized);
void QORglut_DispatchMaximize();
void QORglut_DispatchDropFile(const char* path, int x, int y);

enum class TQORglutCloseAnswer { Ignore, Veto, Allow };
// Ignore without an exit-query callback; Veto once after Alt+F4, or when the
// callback answers 0; Allow empties every slot.
TQORglutCloseAnswer QORglut_DispatchClose();
