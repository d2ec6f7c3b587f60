// What the project file and the swap of projects ask of the application
// object and its viewports (KSN_Project_File_App.cpp). Each call answers as an
// application without viewports does while `App` is null.
#pragma once

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

// [SECTION] Settings of the application that travel in the project file

int KSN_FileApp_GetViewportConfiguration();
void KSN_FileApp_SetViewportConfiguration(int configuration);
// The global orientation matrix, 16 floats.
float* KSN_FileApp_OrientationMatrix();
// The two background colours, 3 floats each (0..1); index 0 or 1.
float* KSN_FileApp_BackgroundColor(int index);
// Writes viewport index's "viewport" block; true without an application.
bool KSN_FileApp_SaveViewport(FILE* file, int index);
// Viewport index reads its "viewport" block.
void KSN_FileApp_LoadViewport(FILE* file, int index);

// [SECTION] Steps of loading and of the default settings

void KSN_FileApp_CleanTemporaryMemory();
// Before a load: each viewport's loaded flag, auto view and lock cleared, and
// its copy viewport index set to -1.
void KSN_FileApp_PrepareViewportsForLoad();
// After a load: "Main", "Aux 1".."Aux 3"; background grids rebuilt on next draw.
void KSN_FileApp_NameViewportsAfterLoad();
// Whether viewport index is part of the current layout.
bool KSN_FileApp_ViewportShown(int index);
// The defaults a new project gives the application: the standard viewports,
// the four project switches, the theme's background colours, each viewport's
// display mode 3 and channel "Color".
void KSN_FileApp_UseDefaultSettings();
void KSN_FileApp_SetWaitCursor(bool wait);

// [SECTION] The application state a load changes, kept to be put back

class TKSN_FileAppState {
public:
    TKSN_FileAppState();
    ~TKSN_FileAppState();
    TKSN_FileAppState(const TKSN_FileAppState&) = delete;
    TKSN_FileAppState& operator=(const TKSN_FileAppState&) = delete;
    // Puts back everything taken at construction.
    void Restore();

private:
    struct TSnapshot;
    std::unique_ptr<TSnapshot> Saved;
};

// After a successful swap: the viewports reset when the file had no
// configuration, and the viewport read with "Current" made current (the last
// of them); -1 when none was.
int KSN_FileApp_FinishSwap();
