// Drop-down boxes: the caption, the box and the arrow, the entries' menu
// under the master, filling and emptying it, opening it and the layout.
// Drawing is GuiDropDown_Draw.cpp.
#include "GuiDropDown.h"

#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "QOREvents.h"

#include <algorithm>

namespace {

// TODO(stub): stands for the pop-up menu of menus and hot keys (its
// MinMenuWidth, AddTextItem with TGui_MenuText entries, and the button's
// PopupMenuID and DoPopupMenu that open it below the box). Until menus land,
// the entries are plain caption nodes stacked in this menu, which keeps at
// least the box's width and is opened by the arrow.
class TGui_DropDownList : public TGui_Menu {
public:
    explicit TGui_DropDownList(TGui_Node* parent) : TGui_Menu(parent)
    {
        StackChildren = true;
        AutoSize = true;
        KeepOnTop = true;
        Hide();
    }
    void UpdateSize() override
    {
        TGui_Menu::UpdateSize();
        Width = std::max(Width, MinMenuWidth);
    }
    int32_t MinMenuWidth = 0;   // pixels
};

TGui_DropDownList* AsList(TGui_Menu* menu) { return dynamic_cast<TGui_DropDownList*>(menu); }

} // namespace

TGui_DropDownBox::TGui_DropDownBox(TGui_Node* parent) : TGui_Node(parent)
{
    ShowName = false;
    BorderWidth = 0;
    Caption = AddText("Text", 0, 0, nullptr);
    Caption->AutoSize = false;
    // TODO(stub): stands for TGui_Node::AddButton of the buttons.
    Box = new TGui_Button(this);
    Box->SetName("", false);
    Box->TextAlignment = 1;
    Box->AutoSize = false;
    Box->Height = 16;
    std::copy(QORglutWigits_DefaultLightBackgroundColor, QORglutWigits_DefaultLightBackgroundColor + 3,
              Box->BackgroundColor);
    Height = 16;
    Width = 2 * BoxWidth;
    if (TGui_Master* m = GetMaster()) MenuID = (new TGui_DropDownList(m))->GetID();
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

TGui_Node* TGui_DropDownBox::AddItem(const char* text, TQOREvent* event, const char* hint)
{
    TGui_Menu* menu = GetMenu();
    if (!menu) {
        delete event;
        return nullptr;
    }
    auto* item = new TGui_Node(menu);
    item->SetName(text ? text : "", false);
    item->TextAlignment = 1;
    item->DrawSurface = false;
    item->BorderWidth = 0;
    item->Height = item->TextHeight + item->TextTopOffset;
    item->Width = item->NameWidth;
    item->CaptionTarget = Box;
    item->ClickEvent = event;
    if (hint) item->SetHint("%s", hint);
    return item;
}

void TGui_DropDownBox::EmptyMenu()
{
    if (TGui_Menu* menu = GetMenu()) menu->Empty();
}

void TGui_DropDownBox::OpenList()
{
    TGui_Menu* menu = GetMenu();
    if (!menu) return;
    if (TGui_DropDownList* list = AsList(menu)) list->MinMenuWidth = Box->Width;
    menu->SetPosition(Box->AbsX, Box->AbsY + Box->Height);
    menu->UpdateSize();
    menu->Show();
    menu->Pop();
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
        if (TGui_DropDownList* list = AsList(menu)) list->MinMenuWidth = Box->Width;
        for (TGui_Node* item = menu->FirstChild; item; item = item->Next) item->CaptionTarget = Box;
    }
}

TGui_DropDownBoxButton::TGui_DropDownBoxButton(TGui_Node* parent) : TGui_Button(parent) { SetName("", false); }

bool TGui_DropDownBoxButton::OnClick(int, int)
{
    auto* box = dynamic_cast<TGui_DropDownBox*>(Parent);
    if (!box) return false;
    box->OpenList();
    return true;
}
