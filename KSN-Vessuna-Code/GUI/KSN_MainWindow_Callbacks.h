// TODO(stub): the main window's window callbacks and its exit path, kept
// beside the main window stand-in (KSN_Gui_MainWindow.h) until the main
// window subsystem exists; they then become its members (ExitCB,
// ExitRequested, MinimizeCB, DisplayCB).
//
// Every callback returns at once unless the GLUT-like layer is ready, no
// modal dialog is open and no other main-window callback is running.
#pragma once

// Registers the display, reshape, minimise and exit-query callbacks with the
// GLUT-like layer. Start-up calls it right after making MainWindow.
void KSN_MainWindow_RegisterCallbacks();

// Frame counters, the first frame's request to open the start file
// (command 369, when "LoadDefaultProject" is on and the first argument is
// not "-transport"), then the main window's frame.
void KSN_MainWindow_DisplayCB();
// The whole canvas becomes the GL viewport.
void KSN_MainWindow_ReshapeCB(int width, int height);
// The application object's allow-minimise flag (true without one).
int KSN_MainWindow_MinimizeCB();
// 0 while the guard fails; else what KSN_MainWindow_ExitRequested answers.
int KSN_MainWindow_ExitCB();
// Asks the user to confirm (No is the default) and answers 0 on No. On Yes
// tears the program down in order and ends the process with status 0.
int KSN_MainWindow_ExitRequested();
