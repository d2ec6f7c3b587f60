#include "KSN_Gui_MainWindow.h"

#include "GuiText.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORglut.h"

#include <GL/gl.h>

TKSN_MainWindow* MainWindow = nullptr;
TGui_Node* DebugWindow = nullptr;
TGui_Node* DebugWindowListBox = nullptr;
bool DoFlashOnRepeatMessage = true;

TKSN_MainWindow::TKSN_MainWindow(int, void*) : messagePanel(std::make_unique<TGui_Node>())
{
    messagePanel->StackChildren = true;
    messagePanel->ShowName = false;
    QORglutDisplayFunc(DisplayCB);
    Kestrune_SetMessageTarget(this);
}

TKSN_MainWindow::~TKSN_MainWindow()
{
    if (Kestrune_GetMessageTarget() == this) Kestrune_SetMessageTarget(nullptr);
}

void TKSN_MainWindow::DisplayCB()
{
    Kestrune_BeginDrawingFrame();
    glClearColor(0.3f, 0.3f, 0.3f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    QORglutSwapBuffers();
    Kestrune_EndDrawingFrame();
}

void TKSN_MainWindow::DoPrintMessage(TGui_Node* panel, const char* text, bool marked, bool clearFirst, bool red,
                                     int command)
{
    if (!panel) return;
    if (clearFirst) panel->Empty();
    std::string line = marked ? "[b]>[/b] " : "";
    line += text ? text : "";
    TGui_Text* t = panel->AddText(line.c_str(), 0, 0, nullptr);
    if (red) {
        t->TextColor[0] = 1.0f;
        t->TextColor[1] = t->TextColor[2] = 0.0f;
    }
    // A clickable line raises its command when clicked.
    if (command >= 0) t->ClickEvent = new TQOREvent(command);
}

void TKSN_MainWindow::PrintHint(TGui_Node*, const char* text) { lastHint = text ? text : ""; }

void TKSN_MainWindow::PrintToPanel(const char* text, bool red, int32_t command)
{
    DoPrintMessage(messagePanel.get(), text, true, false, red, command);
}

void TKSN_MainWindow::PrintDebugLine(const char* text)
{
    bool flash = DoFlashOnRepeatMessage;
    DoFlashOnRepeatMessage = false;
    if (DebugWindow && DebugWindowListBox) DoPrintMessage(DebugWindowListBox, text, true, false, false, -1);
    DoFlashOnRepeatMessage = flash;
}
