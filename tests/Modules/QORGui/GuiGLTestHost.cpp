// The host of the toolkit's GL test program: wxWidgets started on the
// shell's real window (Xvfb with Mesa) before the tests and ended after them,
// and the start-up driver that opens the window.
#include "KSN_WX.h"
#include "OS.h"
#include "QORglut.h"

#include "KsnTestDisplay.h"

#include <gtest/gtest.h>

#include <wx/init.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

struct TSilentProvider : TOSDialogProvider {
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char*, bool) override { return TOSBoxAnswer::No; }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
} SilentProvider;

class TGuiHostEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        OS.SetDialogProvider(&SilentProvider);
        static char arg0[] = "QORGui_GL_tests";
        static char* argv[] = {arg0, nullptr};
        static int argc = 1;
        wxApp::SetInitializerFunction(wxCreateApp);
        ASSERT_TRUE(KsnConnectToTheTestDisplay([] { return wxEntryStart(argc, argv); })) << "no display: run under xvfb-run";
        ASSERT_TRUE(wxTheApp->CallOnInit());
        // GL draws reach the canvas only once the window is on the screen.
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
    void TearDown() override
    {
        if (wxTheApp) {   // else the toolkit never started
            if (FramePtr) FramePtr->Destroy();
            wxTheApp->Yield(true);
            wxTheApp->OnExit();
            wxEntryCleanup();
        }
        OS.SetDialogProvider(nullptr);
    }
};

[[maybe_unused]] const auto* const RegisteredHost = ::testing::AddGlobalTestEnvironment(new TGuiHostEnvironment);

} // namespace

// The start-up driver as the application object calls it: one window, shown.
void QORglut_InitializeApplication()
{
    QORglutInit();
    QORglutCreateWindow("ignored", 0, 0, 900, 640, nullptr);
    QORglutShowWindow();
    QORglutExecute();
}
