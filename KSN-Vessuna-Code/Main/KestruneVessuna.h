// Start-up of the program: the fixed order in which every module, global
// object and window comes into being, and the self-tests that run before any
// document exists. There is no main loop of the program's own: once start-up
// returns, the window toolkit's loop runs, and the main window's exit
// callback ends the process (status 0 on a confirmed quit). Every fatal path
// of start-up ends the process with status 1 after a message box.
//
// All of it runs on the main thread.
#pragma once

// The start-up driver (declared for the toolkit host in QORglut.h).
void QORglut_InitializeApplication();
// Module start-up; `name` is the application's start name "Kestrune".
void Kestrune_InitializeModules(char* name);
// Window, document and interface start-up.
void Kestrune_Vessuna_InitializeInterface();

// Ten random-size blocks must come back aligned to 8 bytes; a message names
// any that is not. Never ends the program.
void PerformTechnicalTests();
// TestMultithreadedFunctions, the worker pool's own self-test, is in QORThreads.h.
// Both do nothing: the interface texts are built in.
void UnsignedCharRollAroundTest();
void LoadLanguageData();

// The display callback until the main window registers its own: black.
void DummyDisplayCB();
