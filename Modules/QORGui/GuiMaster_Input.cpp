// TGui_Master input dispatch: hit testing and mouse-over, presses, releases,
// clicks and double clicks, motion, moving and drag-and-drop, the wheel, keys
// and hot keys, with the modal block and open menus restricting where input
// goes.
//
// Every tracked node (pressed, hovered, focused, dragged, the active window)
// is resolved by ID at each use, so a node deleted between two events simply
// gets nothing.
//
// Index: [SECTION] Helpers  [SECTION] Hit test and mouse-over
//        [SECTION] Buttons and clicks  [SECTION] Motion  [SECTION] Keys
//        [SECTION] Hot keys
#include "GuiHint.h"
#include "GuiMaster.h"
#include "GuiWidgets.h"
#include "QORString.h"

#include <cmath>
#include <cstdlib>

int32_t MouseDragOffsetX = 0, MouseDragOffsetY = 0;

// [SECTION] Helpers

namespace {

// Pop-up menus reachable from a menu's items may refer back to it; no hot-key
// search goes deeper than this.
constexpr int MaxHotKeyDepth = 64;

void StoreModifiers(TGui_Master& m, int modifiers)
{
    m.Modifiers = modifiers;
    m.ShiftHeld = (modifiers & 1) != 0;
    m.CtrlHeld = (modifiers & 2) != 0;
    m.AltHeld = (modifiers & 4) != 0;
}

template <class T> T* Resolve(uint32_t id) { return id ? dynamic_cast<T*>(__GetThingyFromID(id)) : nullptr; }

bool IsAtOrBelow(TGui_Node* n, const TGui_Node* top)
{
    for (; n; n = n->Parent)
        if (n == top) return true;
    return false;
}

bool IsOpenMenu(TGui_Node* n) { return dynamic_cast<TGui_Menu*>(n) && n->IsVisible(false); }

// The active window when it is modal and shown (mouse and top-level hot keys stop at it).
TGui_Window* ModalActiveWindow(TGui_Master& m)
{
    auto* w = Resolve<TGui_Window>(m.ActiveWindowID);
    return w && w->IsModal && w->Shown ? w : nullptr;
}

void HideFloatingHint(TGui_Master& m)
{
    if ((m.HintMode == 1 || m.HintMode == 2) && m.HintNode && m.HintNode->Floating) m.HintNode->Hide();
}

// Hides the shown top-level menus that do not hold o and were not opened by it.
void CloseMenusAround(TGui_Master& m, TGui_Node* o)
{
    for (TGui_Node* c = m.FirstChild; c; c = c->Next) {
        auto* menu = dynamic_cast<TGui_Menu*>(c);
        if (menu && menu->Shown && !IsAtOrBelow(o, menu) && menu->GetOpener() != o) menu->Hide();
    }
}

// The menu bar while it is still one of the master's children.
TGui_MenuBar* LiveMenuBar(TGui_Master& m)
{
    for (TGui_Node* c = m.FirstChild; c; c = c->Next)
        if (c == m.MenuBar) return m.MenuBar;
    return nullptr;
}

bool ShownForHotKey(TGui_Node* n)
{
    if (!n->Shown) return false;
    if (n->IsControl || !n->ClipToParent) return true;
    for (TGui_Node* a = n->Parent; a; a = a->Parent)
        if (!a->Shown) return false;
    return true;
}

bool HotKeyMatches(TGui_Master& m, TGui_Node* n, unsigned char key)
{
    if (!n->HotKey || !ShownForHotKey(n) || !n->IsEnabled()) return false;
    char k = key == 8 ? char(127) : char(key);
    if (QOR_tolower(k) != QOR_tolower(n->HotKey)) return false;
    if (n->HotKeyAnyModifiers) return true;
    int mask = n->HotKeyIgnoreShift ? ~1 : ~0;
    return (m.Modifiers & mask) == (n->HotKeyModifiers & mask);
}

int HotKeySearch(TGui_Master& m, unsigned char key, TGui_Node* first, bool recurse, int depth)
{
    if (depth > MaxHotKeyDepth) return 0;
    for (TGui_Node* n = first; n; n = n->Next) {
        auto* button = dynamic_cast<TGui_Button*>(n);
        if (HotKeyMatches(m, n, key)) {
            TGui_Menu* menu = button ? button->GetPopupMenu() : nullptr;
            if (menu) {
                TGui_Menu* parentMenu = menu->GetParentMenu();
                if (parentMenu && !parentMenu->Shown) return 0;
                button->DoPopupMenu();
            } else {
                n->OnClick(-1, -1);
            }
            n->FlashDrawn = false;
            n->FlashStartTime = float(m.Clock.Read());
            return 1;
        }
        if (!recurse || !n->IsEnabled()) continue;
        if (TGui_Menu* menu = button ? button->GetPopupMenu() : nullptr)
            if (HotKeySearch(m, key, menu->FirstChild, true, depth + 1)) return 1;
        if (HotKeySearch(m, key, n->FirstChild, true, depth + 1)) return 1;
    }
    return 0;
}

bool SpecialMatches(TGui_Master& m, TGui_Node* n, int key)
{
    return key != 0 && n->SpecialHotKey == key && n->HotKeyModifiers == m.Modifiers;
}

} // namespace

TGui_Node* TGui_Master::GetMouseOverNode() { return Resolve<TGui_Node>(MouseOverNodeID); }
TGui_Node* TGui_Master::GetOnMouseDownNode() { return Resolve<TGui_Node>(MouseDownNodeID); }
TGui_Node* TGui_Master::GetDragDropNode() { return Resolve<TGui_Node>(DragDropNodeID); }

bool TGui_Master::CanConsiderMouseMovement()
{
    if (!SkipNextMotion) return true;
    SkipNextMotion = false;
    return false;
}

// [SECTION] Hit test and mouse-over

void TGui_Master::GetNodeFromCoordsRecurse(TGui_Node* first, int x, int y, TGui_Node** found)
{
    for (TGui_Node* n = first; n; n = n->Next) {
        if (!n->IsVisible(false) || n->MouseTransparent) continue;
        bool inside = n->X <= x && x < n->X + n->Width && n->Y <= y && y < n->Y + n->Height;
        if (inside) *found = n;
        if (inside || !n->ClipToParent)
            GetNodeFromCoordsRecurse(n->FirstChild, x - n->X - n->ScrollX, y - n->Y - n->ScrollY, found);
        // A control may lie outside its owner (a window's title bar lies above it).
        GetNodeFromCoordsRecurse(n->FirstControl, x - n->X, y - n->Y, found);
    }
}

TGui_Node* TGui_Master::ProcessMouseOver(int x, int y, bool notify)
{
    TGui_Node* previous = GetMouseOverNode();
    for (TGui_Node* a = previous; a; a = a->Parent)
        if (!a->IsVisible(false)) {
            previous = nullptr;
            MouseOverNodeID = 0;
            break;
        }
    TGui_Node* node = nullptr;
    GetNodeFromCoordsRecurse(this, x, y, &node);
    while (node && node->PassMouseToParent && node->Parent) node = node->Parent;

    if (TGui_Window* modal = node ? ModalActiveWindow(*this) : nullptr) {
        bool exempt = false;
        for (TGui_Node* a = node; a && !exempt; a = a->Parent) exempt = a->ModalExempt;
        if (!exempt && node->GetParentWindow() != modal) {
            MouseOverNodeID = 0;
            return nullptr;
        }
    }
    bool changed = node != previous;
    if (changed && notify && previous && previous->IsEnabled()) previous->OnExit(x, y, node);
    if (!node) {
        MouseOverNodeID = 0;
        return nullptr;
    }
    if (changed) {
        MouseOverNodeID = node->GetID();
        if (notify && previous && node->IsEnabled()) node->OnEnter(x, y);
    }
    MouseOverX = x - node->AbsX;
    MouseOverY = y - node->AbsY;
    if (notify && changed && HintMode == 1) {
        const char* hint = node->GetHint();
        PrintHint(node, hint && *hint ? hint : "");
    }
    return node;
}

// [SECTION] Buttons and clicks

int TGui_Master::ProcessMouseButton(int button, int state, int x, int y, int modifiers)
{
    StoreModifiers(*this, modifiers);
    if (state == 0) {
        if (GetOnMouseDownNode()) return 0;   // another button is held
        MouseX = PressX = x;
        MouseY = PressY = y;
        MovingNode = false;
        HideFloatingHint(*this);
        LastButtonState = 0;
        LastButton = button;
        TGui_Node* o = ProcessMouseOver(x, y, false);
        if (!o) {
            bool any = false;
            for (TGui_Node* c = FirstChild; c; c = c->Next)
                if (IsOpenMenu(c)) {
                    c->Hide();
                    any = true;
                }
            if (any) PostRedisplay();
            MouseDownNodeID = ReleasedOverNodeID = 0;
            PostRedisplay();
            return 1;
        }
        CloseMenusAround(*this, o);
        MouseDownNodeID = o->GetID();
        ReleasedOverNodeID = 0;
        if (o->IsEnabled()) {
            TGui_Node* focus = GetActiveNode();
            if (button == 0 && focus && focus != o) SetActiveNode(o);
            MovingNode = o->Movable;
            SelectParentWindow(o);
            o->Clicked = false;
            MouseDragOffsetX = x - o->AbsX;
            MouseDragOffsetY = y - o->AbsY;
            o->OnMouse(button, 0, x - o->AbsX, y - o->AbsY);
            // A node that takes no clicks (a menu separator) is not clicked on the press either.
            if (o->ClickOnPress && o->AcceptsClicks) {
                if (button == 0)
                    o->OnClick(x, y);
                else if (button == 2)
                    o->OnRightClick(x, y);
                MouseDownNodeID = 0;
            }
        }
        PostRedisplay();
        return 1;
    }
    if (state != 1) {
        MouseX = x;
        MouseY = y;
        PostRedisplay();
        return 0;
    }

    TGui_Node* d = GetOnMouseDownNode();
    if (!d) {
        DragDropNodeID = 0;   // a drag whose node vanished ends here
        return 0;
    }
    // The window layer reports the button of its latest press, which may be
    // a press that was ignored while this one was held: the release ends
    // the press that is under way.
    button = LastButton;
    MouseX = x;
    MouseY = y;
    MovingNode = false;
    HideFloatingHint(*this);
    LastButtonState = 1;
    TGui_Node* o = ProcessMouseOver(x, y, false);
    if (o) CloseMenusAround(*this, o);

    if (button == 0) {
        TGui_Node* dragged = GetDragDropNode();
        if (dragged && o && o->DragDropEvent) {
            char buffer[256] = {};
            if (dragged->DragDropGetSendString(buffer, 255)) {
                buffer[255] = 0;
                o->DragDropReceive(buffer, x - o->AbsX, y - o->AbsY);
            }
        }
    }
    DragDropNodeID = 0;

    ReleasedOverNodeID = o ? o->GetID() : 0;
    if (d->IsEnabled()) d->OnMouse(button, 1, x - d->AbsX, y - d->AbsY);
    if (o && o != d && o->IsEnabled()) o->OnMouse(button, 1, x - o->AbsX, y - o->AbsY);

    if (!d->AcceptsClicks) {
        SetActiveNode(nullptr);
    } else if (d->IsEnabled() && (o == d || d->ClickOnReleaseAnywhere) && !d->Clicked) {
        SetActiveNode(d);
        ProcessClick(d, x, y);
    }
    if (HintMode == 2 && button == 2 && ShiftHeld && o == d) PrintHint(d, d->GetHint());
    MouseDownNodeID = ReleasedOverNodeID = 0;
    PostRedisplay();
    return 1;
}

int TGui_Master::ProcessClick(TGui_Node* node, int x, int y)
{
    if (!node || !node->AcceptsClicks || !node->IsEnabled()) return 0;
    float now = float(Clock.Read());
    if (LastButton == 0) SetActiveNode(node);
    if (node->DoDoubleClick() && now - node->LastClickTime < DoubleClickTime && std::abs(x - PressX) <= 4 &&
        std::abs(y - PressY) <= 4) {
        // The click time is kept, so a third quick click is another double click.
        if (LastButton == 0) node->OnDoubleClick(x - node->AbsX, y - node->AbsY);
        return 1;
    }
    if (node->Clicked) return 1;
    node->LastClickTime = now;
    if (LastButton == 0)
        node->OnClick(x - node->AbsX, y - node->AbsY);
    else if (LastButton == 2)
        node->OnRightClick(x - node->AbsX, y - node->AbsY);
    return 1;
}

int TGui_Master::ProcessDoubleClick(int x, int y, int)
{
    UpdateSizeAll(this, 0);
    for (TGui_Node* n = this; n; n = n->Next) {
        n->UpdateSize_SecondPass();
        if (n->CanDrawChildren()) UpdateSize_SecondPass_All(n->FirstChild, 1);
        UpdateSize_SecondPass_All(n->FirstControl, 1);
    }
    TGui_Node* n = GetMouseOverNode();
    while (n && n->PassMouseToParent && n->Parent) n = n->Parent;
    if (!n || !n->IsEnabled()) return 0;
    return n->OnDoubleClick(x, y) ? 1 : 0;
}

int TGui_Master::ProcessMouseWheel(int delta)
{
    TGui_Node* n = ProcessMouseOver(MouseX, MouseY, false);
    if (n && n->IsEnabled()) n->OnMouseWheel(delta, MouseX - n->AbsX, MouseY - n->AbsY);
    return 1;
}

// [SECTION] Motion

int TGui_Master::ProcessPassiveMouseMotion(int x, int y)
{
    if (GetOnMouseDownNode()) {
        // The window layer lost a release: make it up with the last button.
        ProcessMouseButton(LastButton, 1, x, y, Modifiers);
        return 1;
    }
    if (x == LastPassiveX && y == LastPassiveY) return 0;
    LastPassiveX = MouseX = x;
    LastPassiveY = MouseY = y;
    TGui_Node* n = ProcessMouseOver(x, y, true);
    if (!n) return 0;
    n->OnPassive(x - n->AbsX, y - n->AbsY);
    return 1;
}

int TGui_Master::ProcessMouseMotion(int x, int y)
{
    MouseX = x;
    MouseY = y;
    if (IsDragDropping()) {
        DragX = x;
        DragY = y;
    }
    double dx = x - PressX, dy = y - PressY;
    int d = int(std::sqrt(dx * dx + dy * dy));
    TGui_Node* pressed = GetOnMouseDownNode();
    if (LastButton == 0) {
        if (!IsDragDropping()) {
            if (!pressed) {
                ProcessMouseOver(x, y, false);
                return 0;
            }
            if (d > 10) {
                if (pressed->Draggable) {
                    DragDropNodeID = pressed->GetID();
                    DragGrabX = pressed->Width / 2;
                    DragGrabY = pressed->Height / 2;
                    DragX = x;
                    DragY = y;
                } else {
                    DragDropNodeID = 0;
                }
            }
        }
        if (!pressed) {
            ProcessMouseOver(x, y, false);
            return 0;
        }
        if (pressed->IsEnabled() && MovingNode) {
            int wantedX = x - MouseDragOffsetX, wantedY = y - MouseDragOffsetY;
            if (wantedX != pressed->AbsX || wantedY != pressed->AbsY) {
                pressed->SetAbsolutePosition(pressed->MovableX ? wantedX : pressed->AbsX,
                                             pressed->MovableY ? wantedY : pressed->AbsY);
                pressed->OnDragged();
                PostRedisplay();
                return 1;
            }
        }
    }
    ProcessMouseOver(x, y, false);
    if (!pressed || !pressed->IsEnabled()) return 0;
    if (!MovingNode) pressed->OnMotion(x - pressed->AbsX, y - pressed->AbsY);
    PostRedisplay();
    return 1;
}

// [SECTION] Keys

int TGui_Master::ProcessKey(unsigned char key, int x, int y, int modifiers)
{
    StoreModifiers(*this, modifiers);
    MouseX = x;
    MouseY = y;
    TGui_Node* focus = GetActiveNode();
    bool redisplay = false;
    if (key == 27) {
        redisplay = true;
        if (HintNode && HintNode->Shown) {
            if (HintNode->Floating) HintNode->Hide();
        } else {
            for (TGui_Node* c = FirstChild; c; c = c->Next)
                if (auto* menu = dynamic_cast<TGui_Menu*>(c); menu && menu->Shown && menu->GetOpener()) menu->Hide();
        }
    }
    bool consumed = focus && focus->OnKeyPress(key);
    redisplay = redisplay || consumed;
    TGui_MenuBar* bar = LiveMenuBar(*this);
    bool hit = bar && ProcessHotKey(key, bar->FirstChild, false);
    // A key that opened a menu from its title does not also fire an item of it.
    if (!consumed && !hit) {
        bool anyOpen = false;
        TGui_Node* last = FirstChild;
        while (last && last->Next) last = last->Next;
        for (TGui_Node* n = last; n && !hit; n = n->Prev) {
            if (!IsOpenMenu(n)) continue;
            anyOpen = true;
            hit = ProcessHotKey(key, n->FirstChild, true);
        }
        if (!anyOpen) {
            auto* window = Resolve<TGui_Window>(ActiveWindowID);
            if (!hit && window) hit = ProcessHotKey(key, window->FirstChild, true);
            if (!hit && (bar = LiveMenuBar(*this))) hit = ProcessHotKey(key, bar->FirstChild, true);
            if (!hit && !ModalActiveWindow(*this)) hit = ProcessHotKey(key, FirstChild, false);
        }
    }
    if (hit || redisplay) PostRedisplay();
    return 1;
}

int TGui_Master::ProcessSpecialKey(int key, int x, int y, int modifiers)
{
    StoreModifiers(*this, modifiers);
    MouseX = x;
    MouseY = y;
    TGui_Node* focus = GetActiveNode();
    if (focus && focus->IsEnabled() && focus->OnSpecialKeyPress(key)) {
        PostRedisplay();
        return 1;
    }
    bool held = GetOnMouseDownNode() != nullptr;
    if (!held && !ModalActiveWindow(*this))
        for (TGui_Node* n = FirstChild; n; n = n->Next)
            if (SpecialMatches(*this, n, key)) {
                n->OnClick(-1, -1);
                PostRedisplay();
                return 1;
            }
    if (held) {
        PostRedisplay();
        return 0;
    }
    for (TGui_Node* n = Resolve<TGui_Window>(ActiveWindowID); n; n = n->Next) {
        bool hit = false;
        if (SpecialMatches(*this, n, key)) {
            n->OnClick(-1, -1);
            hit = true;
        } else {
            hit = ProcessSpecialHotKey(key, n->FirstChild, true);
        }
        if (hit) {
            PostRedisplay();
            return 1;
        }
    }
    PostRedisplay();
    return 0;
}

// [SECTION] Hot keys

int TGui_Master::ProcessHotKey(unsigned char key, TGui_Node* first, bool recurse)
{
    if (GetOnMouseDownNode() || dynamic_cast<TGui_EditField*>(GetActiveNode())) return 0;
    return HotKeySearch(*this, key, first, recurse, 0);
}

int TGui_Master::ProcessSpecialHotKey(int key, TGui_Node* first, bool recurse)
{
    if (GetOnMouseDownNode()) return 0;
    for (TGui_Node* n = first; n; n = n->Next) {
        if (SpecialMatches(*this, n, key)) {
            n->OnClick(-1, -1);
            return 1;
        }
        if (recurse && ProcessSpecialHotKey(key, n->FirstChild, true)) return 1;
    }
    return 0;
}
