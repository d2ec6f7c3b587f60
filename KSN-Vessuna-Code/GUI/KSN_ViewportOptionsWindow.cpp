#include "KSN_ViewportOptionsWindow.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "KSN_Application.h"
#include "KSN_Project.h"
#include "KSN_ViewportPanel.h"
#include "KSN_Viewport.h"
#include "KestruneEvents.h"
#include "QOREvents.h"
#include "QORLanguage.h"

#include <algorithm>
#include <cmath>

namespace {

void ShapeDropDown(TGui_DropDownBox* box, int name, int hint)
{
    box->SetSize(210, 16);
    box->BoxWidth = 110;
    box->ShowName = true;
    box->SetName(Lang.GetText(name), false);
    box->SetHint("%s", Lang.GetText(hint));
    if (box->Box) {
        box->Box->SetSize(110, 16);
        box->Box->SetHint("%s", Lang.GetText(hint));
    }
}

TGui_Button* ColourButton(TGui_Node* window, const char* text, const char* hint, int command, const float* fill)
{
    TGui_Button* b = window->AddButton(text, 0, 0, hint);
    b->SetSize(210, b->Height);
    b->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, command);
    std::copy(fill, fill + 3, b->BackgroundColor);
    KSN_ButtonTextColorForFill(fill, b->TextColor);
    return b;
}

} // namespace

void KSN_ButtonTextColorForFill(const float* fill, float* text)
{
    const double length = std::sqrt(double(fill[0]) * fill[0] + double(fill[1]) * fill[1] + double(fill[2]) * fill[2]);
    const float value = length >= 0.86 ? 0.0f : 0.8f;
    text[0] = text[1] = text[2] = value;
}

TKSN_ViewportOptionsWindow::TKSN_ViewportOptionsWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    MakeNonResizeable();
    StackChildren = true;
    AutoSize = true;
    DisplayOptionsID = 0;
    SetName(Lang.GetText(558), false);
    SetHint("%s", Lang.GetText(559));
    Hide();
}

void TKSN_ViewportOptionsWindow::Execute(TKSN_ViewportPanel* panel)
{
    if (!panel) return;
    Panel = panel;
    if (!Project || !panel->GetViewport()) return;
    Empty();
    BackgroundGridBox = nullptr;

    ShapeDropDown(CreateOrientationOptions(this, panel), 876, 1344);
    TGui_DropDownBox* display = CreateDisplayOptions(this, panel);
    ShapeDropDown(display, 138, 139);
    DisplayOptionsID = display->GetID();
    // Left open: a switch for simple lighting on the surface that nothing reads yet.
    AddCheckBox(Lang.GetText(1216), 0, 0, Lang.GetText(1217));
    BackgroundGridBox = AddCheckBox(Lang.GetText(228), 0, 0, Lang.GetText(229));
    BackgroundGridBox->Pressed = Project->ShowCheckeredBackground;
    ColourButton(this, Lang.GetText(1218), Lang.GetText(1219), 157, App ? App->textureGridColor1 : Project->WireframeColor);
    ColourButton(this, "Wireframe Color", "", 162, Project->WireframeColor);
    TGui_Button* ok = AddButton(Lang.GetText(180), 0, 0, nullptr);
    ok->SetSize(100, ok->Height);
    ok->HotKey = 13;
    ok->ClickEvent = new TQOREvent([](TQOREvent* e) { return OkClickedCB(e) != 0; }, GetID(), -1);
    TGui_Window::Execute();
}

void TKSN_ViewportOptionsWindow::UpdateMenus()
{
    if (!Panel || !Project || !Panel->GetViewport() || !DisplayOptionsID) return;
    auto* box = dynamic_cast<TGui_DropDownBox*>(__GetThingyFromID(DisplayOptionsID));
    if (!box || !box->GetMenu()) return;
    AddDisplayModeOptionsToMenu(box->GetMenu(), Panel->GetViewport(), Panel, box);
}

int TKSN_ViewportOptionsWindow::OkClickedCB(TQOREvent* event)
{
    auto* w = dynamic_cast<TKSN_ViewportOptionsWindow*>(event ? __GetThingyFromID(event->GetOwnerID()) : nullptr);
    if (!w) return 0;
    if (Project && w->Panel && w->Panel->GetViewport()) {
        if (w->BackgroundGridBox) Project->ShowCheckeredBackground = w->BackgroundGridBox->Pressed;
        w->Panel->OnViewOrGeometryChanged();
        Project->OnAllViewportsChanged();
    }
    w->Hide();
    return 1;
}
