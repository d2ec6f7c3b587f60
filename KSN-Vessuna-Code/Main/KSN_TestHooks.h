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
#pragma once

// Before start-up: installs the dialog provider that KSN_TEST_DIALOGS asks for.
void KSN_InstallTestDialogs();
// At the end of start-up: arms the pixel probe when KSN_TEST_PROBE_PIXEL is set.
void KSN_InstallTestProbe();
