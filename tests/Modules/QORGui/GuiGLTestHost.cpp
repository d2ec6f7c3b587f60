// The host of the toolkit's GL test program: wxWidgets started on the
// shell's real window (Xvfb with Mesa) before the tests and ended after them,
// and the start-up driver that opens the window.
#include "KSN_WX.h"
#include "OS.h"
#include "QORglut.h"

#include "KsnTestWxHost.h"

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
        KsnStartWxOnTestDisplay("QORGui_GL_tests");
    }
    void TearDown() override
    {
        KsnEndWxOnTestDisplay();
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
