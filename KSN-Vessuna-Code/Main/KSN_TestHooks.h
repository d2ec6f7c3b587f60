// Test hooks of the executable, switched on only by environment variables,
// so that a test can run the real program under a virtual screen without
// ever blocking on a box:
//
//   KSN_TEST_DIALOGS=auto   every modal box is answered with its default
//                           button (Yes/No questions: their default; others: OK);
//   KSN_TEST_DIALOGS=yes    every box is answered Yes / OK.
//       Either way the box's text is written to standard output as
//       "KSN_TEST_DIALOG: <text>" (standard error is sent to /dev/null during start-up).
//   KSN_TEST_PROBE_PIXEL=1  after the third frame the main window drew, the
//       colour at the canvas centre is written as "KSN_TEST_PIXEL r g b"; then
//       a command is queued whose run writes "KSN_TEST_PUMPED" and asks the
//       window to close, which goes through the main window's exit path.
//   KSN_TEST_SCRIPT="step;step;..."  once the program has settled (start-up
//       done, splash gone, queue empty), one step per frame: "c:N" queues
//       command N; "k:text" types the text as window-input key events ("\r"
//       for Enter); "f:path" answers the next file dialog (empty: cancel);
//       "report" writes "KSN_TEST_OBJECTS [name]{polygons}...",
//       "KSN_TEST_MORPH_UNIONS [name]...", "KSN_TEST_MANAGER [row]..." (the
//       named nodes of the Manager tab's tree), a "KSN_TEST_MESSAGE <line>" per
//       line of the message panel, "KSN_TEST_VIEWPORT0 r g b r g b"
//       (the first viewport panel's centre and a point near its lower left
//       corner) and "KSN_TEST_REPORTED"; "quit" asks the window to close.
//       Every file dialog is written as "KSN_TEST_FILE_DIALOG: save|open -> <answer>".
//       Programs started and web pages opened are written out, not run
//       ("KSN_TEST_LAUNCH: ...", "KSN_TEST_WEB_PAGE: ...").
#pragma once

// Before start-up: installs the dialog provider that KSN_TEST_DIALOGS asks for.
void KSN_InstallTestDialogs();
// At the end of start-up: arms the pixel probe when KSN_TEST_PROBE_PIXEL is set.
void KSN_InstallTestProbe();
