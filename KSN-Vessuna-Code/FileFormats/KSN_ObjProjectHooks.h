// Start-up wiring of the OBJ reader, writers and weld into the project
// document, which sits below this library and calls them through
// TKSN_ProjectFileHooks.
#pragma once

// Fills the project's file hooks; call once at start-up (tests: before the
// first import or export).
void KSN_FileFormats_RegisterHooks();
