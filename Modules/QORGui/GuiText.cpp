#include "GuiText.h"

#include "GuiTheme.h"
#include "GuiWidgets.h"
#include "QOREvents.h"
#include "QORMemory.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

// [SECTION] Text

TGui_Text::TGui_Text(TGui_Node* parent) : TGui_Node(parent)
{
    DrawSurface = false;
    NoFocus = true;
    BorderWidth = 0;
    AutoSize = true;
    PassMouseToParent = false;
    Height = TextHeight + TextTopOffset;
    TextAlignment = 1;
}

void TGui_Text::UpdateSize()
{
    if (!AutoSize) return;
    Width = std::max(0, NameWidth);
    Height = TextHeight + TextTopOffset;
}

// [SECTION] Separator

TGui_Separator::TGui_Separator(TGui_Node* parent) : TGui_Node(parent)
{
    DrawSurface = false;
    NoFocus = true;
    AutoSize = true;
    Width = 100;
    Height = TextHeight;
}

void TGui_Separator::UpdateSize_SecondPass()
{
    if (!AutoSize) return;
    if (Vertical) {
        Width = TextHeight;
        if (Parent) {
            Y = Parent->MarginY + Parent->BorderWidth;
            Height = std::max(0, Parent->Height - 2 * Y);
        }
    } else {
        Height = TextHeight + TextTopOffset;
        if (Parent) {
            X = Parent->MarginX + Parent->BorderWidth;
            Width = std::max(0, Parent->Width - 2 * X);
        }
    }
}

// [SECTION] List box

TGui_ListBox::TGui_ListBox(TGui_Node* parent) : TGui_Node(parent)
{
    std::copy(QORglutWigits_DefaultLightBackgroundColor, QORglutWigits_DefaultLightBackgroundColor + 3,
              BackgroundColor);
    std::copy(QORglutWigits_DefaultTextColorOnLightBackground, QORglutWigits_DefaultTextColorOnLightBackground + 3,
              TextColor);
    StackChildren = true;
    Sunken = true;
    BorderWidth = 1;
    MarginY = 0;
    AcceptsClicks = true;
    CreateVerticalScrollBar();
}

TGui_ListItem* TGui_ListBox::AddItem(const char* text, int indent)
{
    auto* item = new TGui_ListItem(this);
    item->SetName(text ? text : "", true);
    item->SetHint("%s", text ? text : "");
    item->Draggable = ItemsDraggable;
    if (ItemsAcceptDrops && DragDropEvent) item->DragDropEvent = new TQOREvent(DragDropEvent);
    item->Indent = indent;
    return item;
}

void TGui_ListBox::SetIndex(int i)
{
    SelectedIndex = (i >= 0 && i < GetChildCount()) ? i : -1;
    int k = 0;
    for (TGui_Node* c = FirstChild; c; c = c->Next)
        if (auto* item = dynamic_cast<TGui_ListItem*>(c)) {
            item->Index = k++;
            item->Selected = item->Index == SelectedIndex;
        }
}

void TGui_ListBox::UpdateSize()
{
    TGui_Node::UpdateSize();
    int k = 0;
    for (TGui_Node* c = FirstChild; c; c = c->Next, ++k) {
        auto* item = dynamic_cast<TGui_ListItem*>(c);
        if (!item) continue;
        item->Index = k;
        auto copyInto = [item](TQOREvent* from, TQOREvent*& to) {
            if (!from) return;
            if (!to) to = new TQOREvent(from);
            else to->Copy(from);
            to->SetDispatcher(item);
        };
        copyInto(ClickEvent, item->ClickEvent);
        copyInto(DoubleClickEvent, item->DoubleClickEvent);
        copyInto(RightClickEvent, item->RightClickEvent);
        copyInto(MouseEvent, item->MouseEvent);
        item->X = MarginX + BorderWidth + item->Indent * 16;
    }
    if (VerticalScrollBar) VerticalScrollBar->PageStep = float(Height);
    if (HorizontalScrollBar) HorizontalScrollBar->PageStep = float(Width);
}

// [SECTION] List item

TGui_ListItem::TGui_ListItem(TGui_Node* parent) : TGui_Node(parent)
{
    DrawSurface = false;
    std::copy(QORglutWigits_DefaultTextColorOnLightBackground, QORglutWigits_DefaultTextColorOnLightBackground + 3,
              TextColor);
    BorderWidth = 0;
    MarginX = 0;
    MarginY = 0;
    NameWidth = 0;
    TextAlignment = 1;
    NoFocus = false;
    AutoSize = true;
    PassMouseToParent = false;
    AcceptsClicks = true;
}

TGui_ListBox* TGui_ListItem::ListBox() const { return dynamic_cast<TGui_ListBox*>(Parent); }

void TGui_ListItem::SelectThisItem()
{
    TGui_ListBox* box = ListBox();
    if (!box) QORThrowException("Listbox is NULL in TGui_ListItem::SelectThisItem()");
    for (TGui_Node* c = box->FirstChild; c; c = c->Next)
        if (auto* item = dynamic_cast<TGui_ListItem*>(c)) item->Selected = false;
    box->SelectedIndex = Index;
    Selected = true;
}

bool TGui_ListItem::OnClick(int x, int y)
{
    if (!ListBox()) QORThrowException("Listbox is NULL in TGui_ListItem::OnClick()");
    SelectThisItem();
    if (ClickEvent) ClickEvent->SetIndex(Index);
    TGui_Node::OnClick(x, y);
    return true;
}

bool TGui_ListItem::OnRightClick(int x, int y)
{
    TGui_ListBox* box = ListBox();
    if (!box) QORThrowException("Listbox is NULL in TGui_ListItem::OnClick()");
    if (box->RightClickSelects) SelectThisItem();
    if (RightClickEvent) RightClickEvent->SetIndex(Index);
    TGui_Node::OnRightClick(x, y);
    return true;
}

bool TGui_ListItem::OnDoubleClick(int x, int y)
{
    if (!ListBox()) QORThrowException("Listbox is NULL in TGui_ListItem::SelectThisItem()");
    SelectThisItem();
    if (DoubleClickEvent) DoubleClickEvent->SetIndex(Index);
    TGui_Node::OnDoubleClick(x, y);
    return false;
}

void TGui_ListItem::OnMouse(int button, int state, int x, int y) { TGui_Node::OnMouse(button, state, x, y); }

bool TGui_ListItem::DragDropGetSendString(char* buffer, int size)
{
    TGui_ListBox* box = ListBox();
    if (!buffer || size <= 0 || !box) return false;
    std::string text = std::string(box->DragDropString) + " " + std::to_string(Index);
    if (text.size() > 255) text.resize(255);
    size_t n = std::min(text.size(), size_t(size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = 0;
    return n > 0;
}

void TGui_ListItem::DragDropReceive(const char* text, int, int)
{
    if (!ListBox() || !DragDropEvent || !DragDropEvent->callback) return;
    DragDropEvent->SetDispatcher(this);
    DragDropEvent->AssignStringParameter(text, 0);
    DragDropEvent->SetIndex(Index);
    DragDropEvent->callback(DragDropEvent);
}

void TGui_ListItem::UpdateSize()
{
    if (!AutoSize) return;
    if (Parent)
        Width = std::max(0, Parent->Width - 2 * (Parent->BorderWidth + Parent->MarginX));
    else
        Width = std::max(0, NameWidth);
    Height = TextHeight + TextTopOffset + 4;
}
