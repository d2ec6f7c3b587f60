#include "KSN_TestHooks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <GL/gl.h>
#include <wx/wx.h>

#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Union.h"
#include "KSN_WX.h"
#include "KestruneEvents.h"
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
    // The script's file answers in order; none left: cancelled.
    bool SelectFile(const TOSFileDialogRequest& request, std::string& chosen) override
    {
        chosen = FileAnswers.empty() ? std::string() : FileAnswers.front();
        if (!FileAnswers.empty()) FileAnswers.pop_front();
        std::printf("KSN_TEST_FILE_DIALOG: %s -> %s\n", request.Save ? "save" : "open", chosen.c_str());
        std::fflush(stdout);
        return !chosen.empty();
    }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string& text) override
    {
        text.clear();
        return false;
    }
    // Nothing is started or opened from a test run; the request is written out.
    bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) override
    {
        std::printf("KSN_TEST_LAUNCH: %s", program.c_str());
        for (const std::string& a : arguments) std::printf(" [%s]", a.c_str());
        std::printf("\n");
        std::fflush(stdout);
        return true;
    }
    bool OpenWebPage(const std::string& url) override
    {
        std::printf("KSN_TEST_WEB_PAGE: %s\n", url.c_str());
        std::fflush(stdout);
        return true;
    }

    std::deque<std::string> FileAnswers;

private:
    bool AlwaysYes;
};

TQORglutDisplayCB ProbedDisplay = nullptr;
bool ProbeDone = false;
TKSN_TestDialogProvider* ActiveProvider = nullptr;

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

// [SECTION] The script

std::deque<std::string> Script;

// The program has settled: start-up ran, the splash is gone and nothing waits
// in the queue (the start file, when there is one, is open).
bool Settled()
{
    if (!App || !App->running || !MainWindow || App->drawFrameCounter < 3) return false;
    if (App->splashTimer.IsTiming()) return false;
    if (MainWindow->SplashWindow && MainWindow->SplashWindow->Shown) return false;
    return QOREvents_GetEventCount() == 0;
}

void ReadPixel(int x, int y, int out[3])
{
    unsigned char pixel[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(x, QORglutGetWindowHeight() - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    for (int i = 0; i < 3; ++i) out[i] = pixel[i];
}

void Report()
{
    std::printf("KSN_TEST_OBJECTS");
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project ? Project->GetObjectList() : nullptr);
    for (int i = 0; objects && i < objects->Count(); ++i) {
        TKSN_Object* o = (*objects)[i];
        std::printf(" [%s]", o ? o->GetName() : "");
        if (o && o->Mesh) std::printf("{%d}", o->Mesh->GetPCount());
    }
    std::printf("\nKSN_TEST_MORPH_UNIONS");
    std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(Project ? Project->GetMorphUnionList() : nullptr);
    for (int i = 0; unions && i < unions->Count(); ++i) std::printf(" [%s]", (*unions)[i] ? (*unions)[i]->GetName() : "");
    std::printf("\n");
    // The Manager tab's rows: every named node of the project tree.
    std::printf("KSN_TEST_MANAGER");
    if (MainWindow && MainWindow->ObjectManagerNode) {
        std::vector<TGui_Node*> stack{MainWindow->ObjectManagerNode};
        while (!stack.empty()) {
            TGui_Node* n = stack.back();
            stack.pop_back();
            if (n != MainWindow->ObjectManagerNode && n->GetName()[0]) std::printf(" [%s]", n->GetName());
            std::vector<TGui_Node*> children;
            for (TGui_Node* c = n->FirstChild; c; c = c->Next) children.push_back(c);
            stack.insert(stack.end(), children.rbegin(), children.rend());
        }
    }
    std::printf("\n");
    if (MainWindow && MainWindow->MessagePanel)
        for (TGui_Node* line = MainWindow->MessagePanel->FirstChild; line; line = line->Next)
            std::printf("KSN_TEST_MESSAGE %s\n", line->GetName());
    // The first viewport panel: its centre, where the scene's origin is
    // drawn, and a point near its upper left corner under the title bar,
    // which shows background.
    if (MainWindow && MainWindow->ViewportPanels[0]) {
        TKSN_ViewportPanel* p = MainWindow->ViewportPanels[0];
        int centre[3], corner[3];
        glFinish();
        ReadPixel(p->AbsX + p->Width / 2, p->AbsY + p->Height / 2, centre);
        ReadPixel(p->AbsX + 10, p->AbsY + 40, corner);
        std::printf("KSN_TEST_VIEWPORT0 %d %d %d %d %d %d\n", centre[0], centre[1], centre[2], corner[0], corner[1],
                    corner[2]);
    }
    std::printf("KSN_TEST_REPORTED\n");
    std::fflush(stdout);
}

void TypeText(const std::string& text)
{
    for (char c : text) {
        auto* e = new TQOREvent(KestruneEvents_CommandCB, MainWindow->GetID(), -9994);
        e->intParameters[0] = static_cast<unsigned char>(c);
        QOREvents_PushEvent(e);
    }
}

// One step per settled frame: "c:N" queues command N, "k:text" types the
// text (window-input key events; "\r" is Enter), "f:path" answers the next
// file dialog, "report" writes the report, "quit" asks the window to close.
void RunScriptStep()
{
    if (Script.empty()) return;
    std::string step = Script.front();
    Script.pop_front();
    std::printf("KSN_TEST_STEP %s\n", step.c_str());
    std::fflush(stdout);
    if (step == "report") {
        Report();
    } else if (step == "quit") {
        wxTheApp->CallAfter([] {
            if (FramePtr) FramePtr->Close();
        });
    } else if (step.rfind("c:", 0) == 0) {
        QOREvents_PushEvent(new TQOREvent(KestruneEvents_CommandCB, 0, std::atoi(step.c_str() + 2)));
    } else if (step.rfind("k:", 0) == 0) {
        std::string text;
        for (size_t i = 2; i < step.size(); ++i) {
            if (step[i] == '\\' && i + 1 < step.size() && step[i + 1] == 'r') {
                text += '\r';
                ++i;
            } else {
                text += step[i];
            }
        }
        TypeText(text);
    } else if (step.rfind("f:", 0) == 0) {
        if (ActiveProvider) ActiveProvider->FileAnswers.push_back(step.substr(2));
    }
}

void ScriptDisplayCB()
{
    if (ProbedDisplay) ProbedDisplay();
    if (Script.empty()) return;
    if (Settled()) RunScriptStep();
    // Keep frames coming until the script is done.
    QORglutPostRedisplay_Internal();
}

} // namespace

void KSN_InstallTestDialogs()
{
    const char* mode = std::getenv("KSN_TEST_DIALOGS");
    if (!mode) return;
    static TKSN_TestDialogProvider automatic(false), alwaysYes(true);
    if (std::strcmp(mode, "auto") == 0) ActiveProvider = &automatic;
    if (std::strcmp(mode, "yes") == 0) ActiveProvider = &alwaysYes;
    if (ActiveProvider) OS.SetDialogProvider(ActiveProvider);
}

void KSN_InstallTestProbe()
{
    if (const char* script = std::getenv("KSN_TEST_SCRIPT")) {
        std::stringstream steps(script);
        for (std::string step; std::getline(steps, step, ';');)
            if (!step.empty()) Script.push_back(step);
        ProbedDisplay = fOnDisplay;
        QORglutDisplayFunc(ScriptDisplayCB);
        QORglutPostRedisplay_Internal();
        return;
    }
    if (!std::getenv("KSN_TEST_PROBE_PIXEL")) return;
    ProbedDisplay = fOnDisplay;
    QORglutDisplayFunc(ProbeDisplayCB);
}
