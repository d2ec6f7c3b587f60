// Helpers shared by the main window's sources: the callback guard, the
// missing-window check and the command pump that ends a callback.
#pragma once

#include "KSN_Gui_MainWindow.h"

// Every callback that needs the main window checks it first; without one the
// program cannot go on.
#define KSN_REQUIRE_MAIN_WINDOW() KSN_MainWindowMissing(__FILE__, __LINE__)
void KSN_MainWindowMissing(const char* file, int line);

// The common guard of the window callbacks: entered only when the layer is
// ready, no other callback runs and no modal dialog is open; InsideEvent is
// set while the scope lives and cleared on every way out.
class TKSN_CallbackScope {
public:
    TKSN_CallbackScope();
    ~TKSN_CallbackScope();
    TKSN_CallbackScope(const TKSN_CallbackScope&) = delete;
    TKSN_CallbackScope& operator=(const TKSN_CallbackScope&) = delete;
    bool Entered() const { return entered; }

private:
    bool entered = false;
};

// The application exists and start-up has ended.
bool KSN_AppRunning();
// A redisplay when commands are queued, then the command pump.
void KSN_PumpStep();
// The save-reminder timer continues if it was stopped.
void KSN_ContinueSaveReminder();
// Restarts the application's input timer.
void KSN_RestartInputTimer();
// A file dropped on the mode bar's brush buttons or on the maps panel: loaded
// as the brush image or shape, or imported into (or replacing) a map. True
// when the drop was taken.
bool KSN_DropFileOnPanels(TKSN_MainWindow& w, TGui_Node* node, const char* path);
