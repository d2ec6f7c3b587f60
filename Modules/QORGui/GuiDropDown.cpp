// Drop-down boxes: the caption, the box and the arrow, the entries' menu
// under the master, filling and emptying it, opening it and the layout.
// Drawing is GuiDropDown_Draw.cpp.
#include "GuiDropDown.h"

#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "QOREvents.h"

#include <algorithm>

TGui_DropDownBox::TGui_DropDownBox(TGui_Node* parent) : TGui_Node(parent)
{
    ShowName = false;
    BorderWidth = 0;
    Caption = AddText("Text", 0, 0, nullptr);
    Caption->AutoSize = false;
    Box = AddButton("", 0, 0, "");
    Box->TextAlignment = 1;
    Box->AutoSize = false;
    Box->Height = 16;
    std::copy(QORglutWigits_DefaultLightBackgroundColor, QORglutWigits_DefaultLightBackgroundColor + 3,
              Box->BackgroundColor);
    Height = 16;
    Width = 2 * BoxWidth;
    if (TGui_Master* m = GetMaster()) {
        MenuID = (new TGui_Menu(m))->GetID();
        Box->PopupMenuID = MenuID;   // a left press on the box opens it below the box
    }
    Arrow = new TGui_DropDownBoxButton(this);
    Arrow->SetSize(Height, Height);
}

TGui_DropDownBox::~TGui_DropDownBox()
{
    if (TGui_Menu* menu = GetMenu()) menu->DeletePending = true;
}

TGui_Menu* TGui_DropDownBox::GetMenu()
{
    auto* menu = MenuID ? dynamic_cast<TGui_Menu*>(__GetThingyFromID(MenuID)) : nullptr;
    if (!menu) MenuID = 0;
    return menu;
}

TGui_MenuText* TGui_DropDownBox::AddItem(const char* text, TQOREvent* event, const char* hint)
{
    TGui_Menu* menu = GetMenu();
    if (!menu) {
        delete event;
        return nullptr;
    }
    TGui_MenuText* item = menu->AddTextItem(text ? text : "", nullptr, "");
    item->CaptionTarget = Box;
    item->ClickEvent = event;
    if (hint) item->SetHint("%s", hint);
    return item;
}

void TGui_DropDownBox::EmptyMenu()
{
    if (TGui_Menu* menu = GetMenu()) menu->Empty();
}

void TGui_DropDownBox::UpdateSize()
{
    TGui_Node::UpdateSize();
    Caption->SetPosition(0, 0);
    Arrow->SetSize(Box->Height, Box->Height);
    Box->Height = Height;
    Box->SetPosition(std::max(0, Width - BoxWidth - Arrow->Width), 0);
    Box->Width = BoxWidth;
    Caption->Width = Width - BoxWidth - Arrow->Width;
    Arrow->SetPosition(Width - Arrow->Width, Box->Y);
    Caption->SetName(GetName(), true);
    if (TGui_Menu* menu = GetMenu()) {
        menu->MinMenuWidth = float(Box->Width);
        for (TGui_Node* item = menu->FirstChild; item; item = item->Next) item->CaptionTarget = Box;
    }
}

TGui_DropDownBoxButton::TGui_DropDownBoxButton(TGui_Node* parent) : TGui_Button(parent) { SetName("", false); }

bool TGui_DropDownBoxButton::OnClick(int, int)
{
    auto* box = dynamic_cast<TGui_DropDownBox*>(Parent);
    if (!box) return false;
    if (TGui_Menu* menu = box->Box->GetPopupMenu())   // clears a stale ID
        menu->MinMenuWidth = float(box->Box->Width);
    box->Box->DoPopupMenu();
    return true;
}
