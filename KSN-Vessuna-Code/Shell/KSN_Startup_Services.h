// The few shell operations that live beside the start-up code: the rule that
// sizes and places the one window, the launcher refresh, the dialog hooks
// that stop idle work while a modal dialog is open, the cancelling of the
// background work that reads the viewports, and the last-word splitter of
// the message panel.
//
// The shell sits below the tools and the document, so the two cancellers of
// viewport-dependent work (the touch-up renderer, the project's vertex
// culling) are registered here by start-up rather than called by name.
//
// Everything here runs on the main thread.
#pragma once

#include <cstdint>

#include "QORglut.h"

// [SECTION] Window size and screen check

// The least screen the program runs on, in pixels.
constexpr int32_t KSN_MIN_SCREEN_WIDTH = 800;
constexpr int32_t KSN_MIN_SCREEN_HEIGHT = 600;

// Size and position of the main window, in screen pixels.
struct TKSN_MainWindowPlacement {
    int32_t x = 0, y = 0;
    int32_t width = 0, height = 0;
};

// Width 8/10 of the screen width, height 8/10 of the screen height but never
// more than the width (integer arithmetic, truncated toward zero); centred,
// and never at a negative position.
TKSN_MainWindowPlacement KSN_GetMainWindowPlacement(int32_t screenWidth, int32_t screenHeight);
bool KSN_IsScreenLargeEnough(int32_t screenWidth, int32_t screenHeight);

// The window size start-up computes before the window exists (700 x 512 at load).
extern int32_t TKSN_MainWindow_DefaultWidth;
extern int32_t TKSN_MainWindow_DefaultHeight;

// [SECTION] Launcher refresh

// Starts a program with an argument text (the OS layer's argument-vector launcher).
typedef bool (*TKSN_LaunchFunction)(const char* path, const char* arguments);

// When the staged launcher "<main>Versions/Current/Kestrune-Launcher.app/..."
// exists and is newer than the installed one beside the main folder (a missing
// installed copy counts as time 0), waits one second and starts the staged
// copy with "-REPLACE_LAUNCHER -MAIN_PATH=<main>" without waiting for it.
// `mainPath` ends with the separator. Nothing happens without a staged copy.
// True when a start was attempted; the outcome of the start is not checked.
bool KSN_RefreshLauncher(const char* mainPath, char separator, TKSN_LaunchFunction launch);

// [SECTION] Dialog hooks

// The idle callback that was registered when the latest modal dialog opened.
extern TQORglutIdleCB Kestrune_OldIdle;
// Stops idle work while a modal dialog is open.
void Kestrune_OnDialogOpen();
// Registers the stored idle callback again and posts a redisplay; nothing
// when none was stored. The stored callback is kept.
void Kestrune_OnDialogClose();

// [SECTION] Viewport-dependent background work

typedef void (*TKSN_CancelWorkCB)();
// Start-up registers the touch-up renderer's canceller and the project's
// vertex-culling canceller (which checks that a project exists itself).
void KSN_AssignViewportDependentCancellers(TKSN_CancelWorkCB touchupRenderer, TKSN_CancelWorkCB vertexCulling);
// Cancels the touch-up renderer, then the project's vertex culling, and
// returns when they have stopped. Called before anything changes what those
// workers read (octrees, visible lists, objects, maps).
void CancelAllViewportDependentWorkhorses();

// [SECTION] Text

// Splits `text`, trimmed of white space at both ends, at its last space:
// `dst` receives what comes before that space (further spaces kept), `word`
// what follows it. Without a space `dst` receives the whole trimmed text and
// `word` is empty. Both are caller buffers of at least strlen(text) + 1 bytes.
void SeparateLastWordFromString(const char* text, char* dst, char* word);
