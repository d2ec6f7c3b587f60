// TGui_Button and TGui_CheckBox: construction, builders, the live boolean
// variable, mouse and click handling and the pop-up menu. Drawing is
// GuiButton_Draw.cpp.
#include "GuiButton.h"

#include "GuiMaster.h"
#include "GuiMenu.h"
#include "GuiTheme.h"
#include "QOREvents.h"
#include "QORGL.h"

#include <algorithm>
#include <cassert>

// [SECTION] Builders

TGui_Button* TGui_Node::AddButton(const char* caption, int x, int y, const char* hint)
{
    auto* b = new TGui_Button(this);
    if (caption) b->SetName(caption, false);
    if (hint) b->SetHint("%s", hint);
    b->SetPosition(x, y);
    b->UpdateSize();
    return b;
}

TGui_Button* TGui_Node::AddMenuButton(TGui_Menu* menu, const char* caption, int x, int y, const char* hint)
{
    TGui_Button* b = AddButton(caption, x, y, hint);
    b->SetPopupMenu(menu);
    b->BorderWidth = 1;
    b->DrawSurface = false;
    b->BevelOnMouseOverOnly = true;
    b->UpdateSize();
    return b;
}

TGui_CheckBox* TGui_Node::AddCheckBox(const char* caption, int x, int y, const char* hint)
{
    auto* c = new TGui_CheckBox(this);
    if (caption) c->SetName(caption, false);
    if (hint) c->SetHint("%s", hint);
    c->SetPosition(x, y);
    c->UpdateSize();
    return c;
}

// [SECTION] Button

TGui_Button::TGui_Button(TGui_Node* parent) : TGui_Node(parent)
{
    SetName("Button", false);
    Width = 100;
    Height = 20;
    Rounded = true;
    GradientSpansMaster = false;
    NoFocus = false;
    AutoSize = true;
    std::copy(QORglutWigits_DefaultButtonColor, QORglutWigits_DefaultButtonColor + 3, BackgroundColor);
}

void TGui_Button::SetPopupMenu(TGui_Menu* menu) { PopupMenuID = menu ? menu->GetID() : 0; }

TGui_Menu* TGui_Button::GetPopupMenu()
{
    if (!PopupMenuID) return nullptr;
    auto* m = dynamic_cast<TGui_Menu*>(__GetThingyFromID(PopupMenuID));
    if (!m) PopupMenuID = 0;
    return m;
}

void TGui_Button::ReadBoolVariable()
{
    TQOREvent* e = BoolVariableEvent;
    if (!e || !e->callback) return;
    e->SetDispatcher(this);
    e->operationMode = 0;
    e->intParameters[0] = Pressed ? 1 : 0;
    e->callback(e);
    Pressed = e->intParameters[0] != 0;
}

void TGui_Button::UpdateSize()
{
    if (ButtonMode == 1) ReadBoolVariable();
    if (!AutoSize) return;
    if (TQORglutTexture* g = GetGraphic()) {
        Width = g->GetWidth();
        Height = g->GetHeight();
        return;
    }
    Width = 2 * (BorderWidth + MarginX) + NameWidth;
    Height = 2 * (BorderWidth + MarginY) + TextHeight;
}

void TGui_Button::OnMouse(int button, int state, int x, int y)
{
    TGui_Node::OnMouse(button, state, x, y);
    if (state == 0) {
        if (ButtonMode == 0 && button == 0) Pressed = true;
        if (GetPopupMenu() && button == PopupMouseButton && !PopupOnHover) DoPopupMenu();
    } else if (state == 1) {
        if (ButtonMode == 0 && button == 0) Pressed = false;
    }
}

bool TGui_Button::OnClick(int x, int y)
{
    if (ButtonMode == 1) {
        Pressed = !Pressed;
        if (TQOREvent* e = BoolVariableEvent; e && e->callback) {
            e->SetDispatcher(this);
            e->operationMode = 1;
            e->intParameters[0] = Pressed ? 1 : 0;
            e->callback(e);
        }
    }
    TGui_Node::OnClick(x, y);
    OnChange();
    return true;
}

void TGui_Button::OnEnter(int x, int y)
{
    TGui_Node::OnEnter(x, y);
    if (PopupOnHover && GetPopupMenu()) {
        DoPopupMenu();
        PostRedisplay();
    }
}

void TGui_Button::OnExit(int x, int y, TGui_Node* entered)
{
    TGui_Node::OnExit(x, y, entered);
    if (!PopupOnHover) return;
    TGui_Menu* menu = GetPopupMenu();
    if (!menu) return;
    for (TGui_Node* n = entered; n; n = n->Parent)
        if (n == menu) return;
    menu->Hide();
    PostRedisplay();
}

void TGui_Button::DoPopupMenu()
{
    TGui_Menu* menu = GetPopupMenu();
    if (!menu) return;
    auto* master = dynamic_cast<TGui_Master*>(GetRoot());
    if (CloseMenusOnClick() && master)
        for (TGui_Node* c = master->FirstChild; c; c = c->Next)
            if (dynamic_cast<TGui_Menu*>(c) && c->Shown && c->IsVisible(false)) c->Hide();

    int bx = AbsX, by = AbsY, bw = Width, bh = Height;
    int placement = PopupPlacement >= 0 && PopupPlacement <= 6 ? PopupPlacement : 0;
    if (placement != 0) menu->UpdateSize();
    int mw = menu->Width, mh = menu->Height;
    int W = master ? master->Width : 0;
    int x = bx, y = by + bh;
    auto flipLeft = [&] {
        if (master && x + mw > W && bx - mw > 0) x = bx - mw;
    };
    switch (placement) {
    case 1:
        x = bx + bw;
        y = by + (bh - mh) / 2;
        flipLeft();
        break;
    case 2:
        x = bx - mw;
        y = by;
        if (master && x < 0 && bx + bw + mw < W) x = bx + bw;
        break;
    case 3:
        x = bx + bw;
        y = by + bh - mh;
        flipLeft();
        y = std::max(0, y);
        break;
    case 4:
        x = bx + bw;
        y = by;
        flipLeft();
        break;
    case 5:
    case 6:
        // Placement 6 opens one button width to the left; it turns right
        // when the menu would leave the canvas on the left.
        x = placement == 5 ? bx : bx - bw;
        if (placement == 6 && master && x - mw < 0 && bx + mw > 0) x = bx + mw;
        y = by - mh;
        if (y < 0) y = by + bh;
        break;
    default: break;
    }
    if (placement >= 4 && master && master->HintMode == 1) HintOffsetX = mw;
    menu->Popup(this, x, y);
}

// [SECTION] Check box

TGui_CheckBox::TGui_CheckBox(TGui_Node* parent) : TGui_Button(parent)
{
    SetName("CheckBox", false);
    ButtonMode = 1;
    BorderWidth = 1;
    Rounded = false;
    GradientSpansMaster = true;
    TQORglutTexture* mark = QORglut_Textures_GetTextureFromList("CheckMark");
    TQORglutTexture* disabled = QORglut_Textures_GetTextureFromList("CheckMarkDisabled");
    GraphicID = mark ? mark->GetID() : 0;
    AltGraphicID = disabled ? disabled->GetID() : 0;
}

int TGui_CheckBox::BoxY() const
{
    int d = Height - BoxHeight;
    return d < -1 ? 0 : d / 2;
}

void TGui_CheckBox::UpdateSize()
{
    ReadBoolVariable();
    if (!AutoSize) return;
    Width = BoxWidth + NameWidth + 2 * BorderWidth + 2 * MarginX;
    Height = std::max(BoxHeight, TextHeight + TextTopOffset + 2);
}

bool TGui_CheckBox::OnClick(int x, int y)
{
    if (ClickEvent) ClickEvent->intParameters[0] = Pressed ? 0 : 1;
    return TGui_Button::OnClick(x, y);
}
