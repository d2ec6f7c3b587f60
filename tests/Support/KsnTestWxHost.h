// wxWidgets started on the shell's real window (Xvfb with Mesa) for a GL test
// program's whole run, and ended after it. The program supplies the start-up
// driver (QORglut_InitializeApplication) that opens the window.
//
//     void SetUp() override { KsnStartWxOnTestDisplay("KSN_GUI_GL_tests"); }
//     void TearDown() override { KsnEndWxOnTestDisplay(); }
#pragma once

#include "KSN_WX.h"
#include "KsnTestDisplay.h"

#include <gtest/gtest.h>

#include <wx/init.h>

#include <chrono>
#include <string>
#include <thread>

// Starts the toolkit with the program's name as its only argument and waits
// until the window is on the screen: GL draws reach the canvas only then.
inline void KsnStartWxOnTestDisplay(const char* programName)
{
    // The toolkit keeps pointers into the argument list for the whole run.
    static std::string name;
    static char* argv[] = {nullptr, nullptr};
    static int argc = 1;
    name = programName;
    argv[0] = name.data();
    wxApp::SetInitializerFunction(wxCreateApp);
    ASSERT_TRUE(KsnConnectToTheTestDisplay([] { return wxEntryStart(argc, argv); })) << "no display: run under xvfb-run";
    ASSERT_TRUE(wxTheApp->CallOnInit());
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end &&
           !(FramePtr && FramePtr->GetCanvas() && FramePtr->GetCanvas()->IsShownOnScreen())) {
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (int i = 0; i < 20; ++i) {
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

inline void KsnEndWxOnTestDisplay()
{
    if (!wxTheApp) return;   // the toolkit never started
    if (FramePtr) FramePtr->Destroy();
    wxTheApp->Yield(true);
    wxTheApp->OnExit();
    wxEntryCleanup();
}
