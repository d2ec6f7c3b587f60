#include "KSN_TestHooks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <GL/gl.h>
#include <wx/wx.h>

#include "KSN_Application.h"
#include "KSN_WX.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORglut.h"

namespace {

// Answers every box without showing it; texts go to standard output.
class TKSN_TestDialogProvider : public TOSDialogProvider {
public:
    explicit TKSN_TestDialogProvider(bool alwaysYes) : AlwaysYes(alwaysYes) {}

    TOSBoxAnswer ShowBox(TOSBoxKind kind, const char*, const char* text, bool defaultYes) override
    {
        std::printf("KSN_TEST_DIALOG: %s\n", text ? text : "");
        std::fflush(stdout);
        switch (kind) {
        case TOSBoxKind::YesNo:
        case TOSBoxKind::YesNoCancel: return AlwaysYes || defaultYes ? TOSBoxAnswer::Yes : TOSBoxAnswer::No;
        default: return TOSBoxAnswer::Ok;
        }
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string& text) override
    {
        text.clear();
        return false;
    }

private:
    bool AlwaysYes;
};

TQORglutDisplayCB ProbedDisplay = nullptr;
bool ProbeDone = false;

bool RequestCloseCB(TQOREvent*)
{
    std::printf("KSN_TEST_PUMPED\n");
    std::fflush(stdout);
    // After the pump and the paint that ran it: the close request goes
    // through the frame's close handler like a click on its close box.
    wxTheApp->CallAfter([] {
        if (FramePtr) FramePtr->Close();
    });
    return true;
}

void ProbeDisplayCB()
{
    if (ProbedDisplay) ProbedDisplay();
    // A few frames in, the canvas has its final size in the GL driver too.
    if (ProbeDone || !App || App->drawFrameCounter < 3) return;
    ProbeDone = true;
    // The software rasteriser that the tests run on keeps the frame in the
    // back buffer after the swap; its front buffer is not read back.
    glFinish();
    unsigned char pixel[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(QORglutGetWindowWidth() / 2, QORglutGetWindowHeight() / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    std::printf("KSN_TEST_PIXEL %d %d %d\n", pixel[0], pixel[1], pixel[2]);
    std::fflush(stdout);
    QOREvents_PushEvent(new TQOREvent(RequestCloseCB, 0, 0));
}

} // namespace

void KSN_InstallTestDialogs()
{
    const char* mode = std::getenv("KSN_TEST_DIALOGS");
    if (!mode) return;
    static TKSN_TestDialogProvider automatic(false), alwaysYes(true);
    if (std::strcmp(mode, "auto") == 0) OS.SetDialogProvider(&automatic);
    if (std::strcmp(mode, "yes") == 0) OS.SetDialogProvider(&alwaysYes);
}

void KSN_InstallTestProbe()
{
    if (!std::getenv("KSN_TEST_PROBE_PIXEL")) return;
    ProbedDisplay = fOnDisplay;
    QORglutDisplayFunc(ProbeDisplayCB);
}
