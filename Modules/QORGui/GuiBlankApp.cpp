// TGui_BlankApp: a master bound to one window of the GLUT-like layer, whose
// static callbacks find the window's master through MasterList and forward.
#include "GuiMaster.h"

#include "OS.h"
#include "QORglut.h"

namespace {
// The window's master when it is a blank application; null otherwise (none
// yet, destroyed, or the list already cleaned at exit).
TGui_BlankApp* Current()
{
    return dynamic_cast<TGui_BlankApp*>(QORglutWigits_GetMasterFromWindowID(QORglutGetWindow()));
}
} // namespace

TGui_BlankApp::TGui_BlankApp(int windowID, void* userData) : TGui_Master(nullptr)
{
    AcceptsClicks = true;
    WindowID = windowID;
    UserData = userData;
    QORglutSetWindow(windowID);
    Width = QORglutGetWindowWidth();
    Height = QORglutGetWindowHeight();
    QORglutDisplayFunc(DisplayCB);
    QORglutReshapeFunc(ReshapeCB);
    QORglutMouseFunc(MouseCB);
    QORglutMotionFunc(MotionCB);
    QORglutPassiveFunc(PassiveCB);
    QORglutIdleFunc(IdleCB);
    QORglutKeyboardFunc(KeyboardCB);
    QORglutSpecialFunc(SpecialCB);
    QORglutExitFunc(ExitCB);
    QORglutMaximizeFunc(MaximizeCB);
    QORglutRestoreFunc(RestoreCB);
    QORglutDragFunc(DragCB);
}

void TGui_BlankApp::DisplayCB()
{
    if (TGui_BlankApp* m = Current()) m->Redisplay(true);
}

void TGui_BlankApp::ReshapeCB(int width, int height)
{
    // A minimised window reports a zero size: keep the last real one.
    if (width == 0 || height == 0) return;
    if (TGui_BlankApp* m = Current()) m->Reshape(width, height);
}

void TGui_BlankApp::MouseCB(int button, int state, int x, int y)
{
    TGui_BlankApp* m = Current();
    if (!m) return;
    QORglutSetModifiers();
    m->ProcessMouseButton(button, state, x, y, QORglutGetModifiers());
}

void TGui_BlankApp::MotionCB(int x, int y)
{
    if (TGui_BlankApp* m = Current()) m->ProcessMouseMotion(x, y);
}

void TGui_BlankApp::PassiveCB(int x, int y)
{
    if (TGui_BlankApp* m = Current()) m->ProcessPassiveMouseMotion(x, y);
}

void TGui_BlankApp::KeyboardCB(unsigned char key, int x, int y)
{
    TGui_BlankApp* m = Current();
    if (!m) return;
    QORglutSetModifiers();
    m->ProcessKey(key, x, y, QORglutGetModifiers());
}

void TGui_BlankApp::SpecialCB(int key, int x, int y)
{
    TGui_BlankApp* m = Current();
    if (!m) return;
    QORglutSetModifiers();
    m->ProcessSpecialKey(key, x, y, QORglutGetModifiers());
}

void TGui_BlankApp::VisibilityCB(int) { Current(); }

void TGui_BlankApp::IdleCB() {}

int TGui_BlankApp::ExitCB()
{
    if (!Current()) return 0;
    OS.Exit(0);
    return 1;
}

int TGui_BlankApp::MaximizeCB() { return 1; }
int TGui_BlankApp::RestoreCB() { return 1; }
void TGui_BlankApp::DragCB(int, int) {}
