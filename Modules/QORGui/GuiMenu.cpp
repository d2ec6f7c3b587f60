// Menus, menu items, the menu bar and hot-key nodes: construction, popping
// up, layout, hover scrolling and keyboard selection. Drawing is
// GuiMenu_Draw.cpp; how keys reach them is GuiMaster_Input.cpp.
//
// Index: [SECTION] Menu  [SECTION] Item  [SECTION] Menu bar  [SECTION] Hot-key node
#include "GuiMenu.h"

#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "GuiWidgets.h"
#include "GuiWindow.h"
#include "QORGL.h"
#include "QOREvents.h"
#include "QORString.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

namespace {
int SpaceWidth() { return QORGui_MeasureText(" "); }
} // namespace

TGui_Menu* TGui_Node::AddMenu() { return new TGui_Menu(this); }

// [SECTION] Menu

TGui_Menu::TGui_Menu(TGui_Node* parent) : TGui_Node(parent)
{
    ModalExempt = true;
    DimWithWindows = false;
    KeepOnTop = true;
    NoFocus = true;
    DropShadow = true;
    ShowName = false;
    SetName("Menu", false);
    UpdateSize();
    AcceptsClicks = true;
    Shown = false;
    ClipToParent = true;
    std::copy(QORglutWigits_DefaultLightBackgroundColor, QORglutWigits_DefaultLightBackgroundColor + 3,
              BackgroundColor);
}

TGui_Menu::~TGui_Menu()
{
    delete RefreshEvent;
    RefreshEvent = nullptr;
}

TGui_MenuText* TGui_Menu::AddTextItem(const char* text, TQOREvent* event, const char* hint)
{
    auto* item = new TGui_MenuText(this);
    item->SetName(text ? text : "", true);
    item->ClickEvent = event;
    if (hint) item->SetHint("%s", hint);
    if (char key = GetHotkeyFromUnderlinedLetterInText(text ? text : "")) {
        item->HotKey = key;
        item->HotKeyAnyModifiers = true;
    }
    if (item->IsSeparator()) {
        item->AcceptsClicks = false;
        item->NoFocus = true;   // arrow keys pass over separators
    }
    return item;
}

TGui_Node* TGui_Menu::GetOpener()
{
    if (!OpenerID) return nullptr;
    auto* n = dynamic_cast<TGui_Node*>(__GetThingyFromID(OpenerID));
    if (!n) {
        OpenerID = 0;
        Opener = nullptr;
    }
    return n;
}

TGui_Menu* TGui_Menu::GetParentMenu()
{
    if (!ParentMenuID) return nullptr;
    return dynamic_cast<TGui_Menu*>(__GetThingyFromID(ParentMenuID));
}

void TGui_Menu::OnPopup() { QueueCopy(RefreshEvent, 0, 0); }

void TGui_Menu::Popup(TGui_Node* opener, int x, int y)
{
    OnPopup();
    Shown = true;
    Opener = opener;
    OpenerID = opener ? opener->GetID() : 0;
    for (TGui_Node* c = FirstChild; c; c = c->Next)
        if (auto* item = dynamic_cast<TGui_MenuText*>(c)) item->Selected = false;
    UpdateSize();
    auto* master = dynamic_cast<TGui_Master*>(GetRoot());
    if (master) {
        // A sub-menu keeps its chain of parent menus open; a cycle of
        // parent IDs must not hang the walk.
        std::vector<TGui_Menu*> chain;
        for (TGui_Menu* p = GetParentMenu(); p && std::find(chain.begin(), chain.end(), p) == chain.end();
             p = p->GetParentMenu())
            chain.push_back(p);
        for (TGui_Node* c = master->FirstChild; c; c = c->Next) {
            auto* m = dynamic_cast<TGui_Menu*>(c);
            if (m && m != this && std::find(chain.begin(), chain.end(), m) == chain.end()) m->Hide();
        }
        master->ActivateFirstFocusableNode(this);
        int W = master->Width, H = master->Height;
        X = x + Width < W - 10 ? x : std::max(0, W - 10 - Width);
        Y = y + Height < H - 10 ? y : std::max(0, H - 10 - Height);
    } else {
        X = x;
        Y = y;
    }
    if (Parent) Pop();
}

void TGui_Menu::UpdateSize()
{
    AutoSize = false;
    StackChildren = true;
    ContentHeight = 0;
    TGui_Node::UpdateSize();
    auto isItem = [](TGui_Node* c) { return c->Shown && !c->IsControl; };
    bool any = false;
    for (TGui_Node* c = FirstChild; c; c = c->Next) any = any || isItem(c);
    if (!any) {
        Width = 2 * MarginX + 2 * BorderWidth;
        Height = 2 * BorderWidth + 2 * MarginY;
        ContentHeight = Height;
        ScrollY = 0;
        return;
    }
    int w = 0, sum = 0, y = BorderWidth + MarginY, space = SpaceWidth();
    for (TGui_Node* c = FirstChild; c; c = c->Next) {
        c->X = BorderWidth + MarginX;
        c->Y = y;
        if (!isItem(c)) continue;
        y += c->Height + MarginY;
        sum += c->Height + MarginY;
        w = std::max(w, GetStringWidth(c->GetName()) + c->TextOffsetX + 6 * space);
    }
    Width = std::max(int(MinMenuWidth), w + 4 * MarginX + 2 * BorderWidth);
    Height = std::max(int(MinMenuHeight), 2 * BorderWidth + sum + MarginY);
    ContentHeight = Height;
    for (TGui_Node* c = FirstChild; c; c = c->Next) {
        c->Width = w;
        if (auto* item = dynamic_cast<TGui_MenuText*>(c); item && item->Shortcut)
            item->Shortcut->X = w - item->Shortcut->Width;
    }
    auto* master = dynamic_cast<TGui_Master*>(GetRoot());
    if (master && master->Height >= Height) {
        if (VerticalScrollBar && VerticalScrollBar->Shown) VerticalScrollBar->Hide();
    } else if (master) {
        Y = 0;
        Height = std::max(0, master->Height);
        if (VerticalScrollBar) {
            VerticalScrollBar->Show();
            Width += VerticalScrollBar->Width;
            // The node pass would stack the items by its own rule: keep ours.
            std::vector<std::pair<int, int>> places;
            for (TGui_Node* c = FirstChild; c; c = c->Next) places.emplace_back(c->X, c->Y);
            TGui_Node::UpdateSize();
            size_t i = 0;
            for (TGui_Node* c = FirstChild; c; c = c->Next, ++i) std::tie(c->X, c->Y) = places[i];
        }
    }
    // A canvas that grew leaves nothing to scroll.
    ScrollY = std::clamp(ScrollY, std::min(0, Height - ContentHeight), 0);
}

void TGui_Menu::OnIdle()
{
    if (!Shown) return;
    TGui_Master* master = GetMaster();
    if (!master) return;
    TGui_Node* over = master->GetMouseOverNode();
    if (!over || (over != this && over->Parent != this)) return;
    int m = master->LastPassiveY;
    if (m < AbsY + 10) {
        ScrollY = std::min(0, ScrollY + 10);
        PostRedisplay();
    } else if (m > AbsY + Height - 10) {
        ScrollY = std::max(std::min(0, Height - ContentHeight), ScrollY - 10);
        PostRedisplay();
    }
}

void TGui_Menu::OnExit(int x, int y, TGui_Node* entered) { TGui_Node::OnExit(x, y, entered); }

// [SECTION] Item

TGui_MenuText::TGui_MenuText(TGui_Node* parent) : TGui_Button(parent)
{
    GradientSpansMaster = true;
    std::copy(QORglutWigits_DefaultMenuTextColor, QORglutWigits_DefaultMenuTextColor + 3, TextColor);
    NoFocus = false;
    AutoSize = false;
    BorderWidth = 0;
    MarginX = MarginY = 1;
    Height = TextHeight + TextTopOffset + 2;
    Shortcut = new TGui_Text(this);
    Shortcut->MouseTransparent = true;
    Shortcut->SetName("", true);
    SetName("MenuText", true);
    AcceptsClicks = true;
    ClickOnPress = true;
    TextAlignment = 1;
    DrawSurface = false;
    if (parent && ResolveTexture(parent->BackgroundGraphicID)) BackgroundGraphicID = parent->BackgroundGraphicID;
}

bool TGui_MenuText::IsSeparator() const { return std::strcmp(GetName(), "-") == 0; }

void TGui_MenuText::SetName(const char* name, bool update)
{
    TGui_Node::SetName(name, false);
    if (update) UpdateSize();
    Width = NameWidth + 4 * SpaceWidth() + TextOffsetX;
}

bool TGui_MenuText::CloseMenusOnClick() { return GetPopupMenu() == nullptr; }

void TGui_MenuText::UpdateSize()
{
    if (ButtonMode == 1) ReadBoolVariable();
    if (AutoSize) {
        if (TQORglutTexture* g = GetGraphic()) {
            Width = g->GetWidth();
            Height = g->GetHeight();
        } else {
            Width = 2 * (BorderWidth + MarginX) + NameWidth;
            Height = 2 * (BorderWidth + MarginY) + TextHeight;
        }
    }
    if (!Shortcut) return;
    static const float selectedBack[3] = {0.0f, 0.0f, 0.4f}, selectedText[3] = {1.0f, 1.0f, 1.0f};
    std::copy(Selected ? selectedBack : BackgroundColor, (Selected ? selectedBack : BackgroundColor) + 3,
              Shortcut->BackgroundColor);
    std::copy(Selected ? selectedText : TextColor, (Selected ? selectedText : TextColor) + 3, Shortcut->TextColor);
    Shortcut->UpdateSize();
    Shortcut->X = Width - Shortcut->Width;
}

void TGui_MenuText::OnEnter(int x, int y)
{
    TGui_Node::OnEnter(x, y);
    if (PopupOnHover && GetPopupMenu()) {
        DoPopupMenu();
        PostRedisplay();
    }
    Selected = AcceptsClicks;
    if (Selected && Parent)
        for (TGui_Node* c = Parent->FirstChild; c; c = c->Next)
            if (auto* other = dynamic_cast<TGui_MenuText*>(c); other && other != this) other->Selected = false;
    if (Shown) PostRedisplay();
}

void TGui_MenuText::OnExit(int x, int y, TGui_Node* entered)
{
    TGui_Node::OnExit(x, y, entered);
    TGui_Menu* sub = GetPopupMenu();
    if (PopupOnHover && sub) {
        bool intoSub = false;
        for (TGui_Node* n = entered; n && !intoSub; n = n->Parent) intoSub = n == sub;
        if (!intoSub) {
            sub->Hide();
            PostRedisplay();
        }
    }
    Selected = false;
    if (Shown) PostRedisplay();
}

void TGui_MenuText::OnMouse(int button, int state, int x, int y)
{
    TGui_Node::OnMouse(button, state, x, y);
    if (state == 1 && button == 0) {
        if (ButtonMode == 0) Pressed = false;
        if (AcceptsClicks && x >= 0 && x < Width && y >= 0 && y < Height) OnClick(x, y);
    } else if (state == 0) {
        if (button == 0 && ButtonMode == 0) Pressed = true;
        if (GetPopupMenu() && button == PopupMouseButton && !PopupOnHover) DoPopupMenu();
    }
}

void TGui_MenuText::Hide()
{
    Shown = false;
    if (MouseOver) OnExit(-1, -1, nullptr);
}

bool TGui_MenuText::OnSpecialKeyPress(int key)
{
    auto* master = dynamic_cast<TGui_Master*>(GetRoot());
    if (!master) return false;
    if (key != 315 && key != 317) return false;
    TGui_Node* F = master->GetActiveNode();
    if (!F) return true;
    // The walk stays inside the focused item's own list (its menu).
    TGui_Node* container = F->Parent;
    auto accept = [F](TGui_Node* n) { return !n->NoFocus && n != F && n->Shown; };
    auto stop = [container](TGui_Node* p) { return !p || p == container || dynamic_cast<TGui_Window*>(p); };
    TGui_Node* found = nullptr;
    TGui_Node* n = F;
    for (int guard = 0; n && guard < 100000; ++guard) {
        if (accept(n)) {
            found = n;
            break;
        }
        if (key == 317) {
            if (n->FirstChild)
                n = n->FirstChild;
            else if (n->Next)
                n = n->Next;
            else if (stop(n->Parent) || !n->Parent->Next)
                break;
            else
                n = n->Parent->Next;
        } else {
            TGui_Node* last = n->FirstChild;
            while (last && last->Next) last = last->Next;
            if (last)
                n = last;
            else if (n->Prev)
                n = n->Prev;
            else if (stop(n->Parent) || !n->Parent->Prev)
                break;
            else
                n = n->Parent->Prev;
        }
    }
    if (found) master->SetActiveNode(found);
    return true;
}

// [SECTION] Menu bar

TGui_MenuBar::TGui_MenuBar(TGui_Node* parent) : TGui_Node(parent)
{
    ClipToParent = true;
    NoFocus = true;
    DropShadow = true;
    ShadowOffsetX = 0;
    BorderWidth = 1;
    Height = TextHeight + TextTopOffset + 2 * MarginY + 2;
    ShowName = false;
    std::copy(QORglutWigits_DefaultTextColorOnLightBackground, QORglutWigits_DefaultTextColorOnLightBackground + 3,
              TextColor);
}

void TGui_MenuBar::UpdateSize()
{
    if (Parent) Width = Parent->Width;
    int x = MarginX + BorderWidth, tallest = 0;
    for (TGui_Node* t = FirstChild; t; t = t->Next) {
        if (t != FirstChild) x += t->MarginX + BorderWidth;
        t->X = x;
        t->Y = BorderWidth + MarginY;
        x += t->Width;
        tallest = std::max(tallest, t->Height);
    }
    if (FirstChild) Height = Y + tallest + 2 * (BorderWidth + MarginY);
}

// [SECTION] Hot-key node

TGui_HotKeyNode::TGui_HotKeyNode(TGui_Node* parent, unsigned char key, int specialKey, TQOREvent* event, int modifiers,
                                 bool ignoreShift)
    : TGui_Node(parent)
{
    ClickEvent = event;
    HotKey = char(key);
    SpecialHotKey = specialKey;
    HotKeyModifiers = modifiers;
    if (ignoreShift) HotKeyIgnoreShift = true;
    PassMouseToParent = true;
    MouseTransparent = true;
    SetPosition(-1000, -1000);
}
