// TGui_Node: construction, tree links, layout, names and hints, enabling,
// event templates and the colour pipeline. Drawing is GuiNode_Draw.cpp.
//
// Index: [SECTION] Construction  [SECTION] Tree  [SECTION] Geometry
//        [SECTION] Names and hints  [SECTION] Enabling  [SECTION] Events
//        [SECTION] Colours  [SECTION] Layout
#include "GuiNode.h"

#include "GuiFont.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "GuiWidgets.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORMemory.h"
#include "QORglut.h"

#include <algorithm>
#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {
void CopyColour(float* dst, const float* src) { std::copy(src, src + 3, dst); }
} // namespace

// [SECTION] Construction

TGui_Node::TGui_Node(TGui_Node* parent)
{
    RegisterForLookup();
    CopyColour(TextColor, QORglutWigits_DefaultTextColor);
    CopyColour(DisabledTextColor, QORglutWigits_DefaultDisabledTextColor);
    CopyColour(BackgroundColor, QORglutWigits_DefaultBackgroundColor);
    CopyColour(BackgroundColorB, QORglutWigits_DefaultBackgroundColorB);
    NameWidth = 2 * MarginX;
    UpdateSize();
    if (parent) parent->LinkChild(this);
}

TGui_Node::~TGui_Node()
{
    for (TQOREvent** e : {&FloatVariableEvent, &BoolVariableEvent, &IntVariableEvent, &ChangeEvent, &ClickEvent,
                          &DrawEvent, &RightClickEvent, &DoubleClickEvent, &MouseEvent, &MotionEvent, &PassiveEvent,
                          &ReshapeEvent, &DragDropEvent, &KeyEvent, &MouseWheelEvent}) {
        delete *e;
        *e = nullptr;
    }
    for (TGui_Node* c = FirstControl; c;) {
        TGui_Node* next = c->Next;
        c->Empty();
        delete c;
        c = next;
    }
    FirstControl = nullptr;
    VerticalScrollBar = HorizontalScrollBar = nullptr;
    Empty();
    // A node deleted directly leaves no dangling link in its parent's list.
    Unlink();
}

TGui_Node* TGui_Node::AddNode(const char* name, int width, int height)
{
    auto* n = new TGui_Node(this);
    if (name) n->SetName(name, true);
    n->Width = width;
    n->Height = height;
    return n;
}

TGui_Text* TGui_Node::AddText(const char* text, int x, int y, const char* hint)
{
    auto* t = new TGui_Text(this);
    t->SetPosition(x, y);
    t->SetName(text ? text : "", true);
    if (hint) t->SetHint("%s", hint);
    return t;
}

TGui_Separator* TGui_Node::AddSeparator(const char* caption, int x, int y)
{
    auto* s = new TGui_Separator(this);
    if (caption) s->SetName(caption, false);
    s->SetPosition(x, y);
    return s;
}

TGui_ScrollBar* TGui_Node::CreateVerticalScrollBar()
{
    if (!VerticalScrollBar) {
        VerticalScrollBar = new TGui_ScrollBar(nullptr);
        VerticalScrollBar->Orientation = 1;
        VerticalScrollBar->Width = VerticalScrollBar->ArrowSize;
        LinkControl(VerticalScrollBar);
    }
    return VerticalScrollBar;
}

TGui_ScrollBar* TGui_Node::CreateHorizontalScrollBar()
{
    if (!HorizontalScrollBar) {
        HorizontalScrollBar = new TGui_ScrollBar(nullptr);
        HorizontalScrollBar->Orientation = 0;
        HorizontalScrollBar->Height = 16;
        LinkControl(HorizontalScrollBar);
    }
    return HorizontalScrollBar;
}

// [SECTION] Tree

namespace {

// n (in no list) put at the end of the list that starts at first.
void AppendToList(TGui_Node*& first, TGui_Node* n)
{
    if (!first) {
        first = n;
        return;
    }
    TGui_Node* last = first;
    while (last->Next) last = last->Next;
    last->Next = n;
    n->Prev = last;
}

} // namespace

void TGui_Node::LinkChild(TGui_Node* n)
{
    if (!n) return;
    n->Unlink();
    n->IsControl = false;
    n->Parent = this;
    AppendToList(FirstChild, n);
}

void TGui_Node::LinkChildFirst(TGui_Node* n)
{
    if (!n) return;
    n->Unlink();
    n->IsControl = false;
    n->Parent = this;
    n->Next = FirstChild;
    if (FirstChild) FirstChild->Prev = n;
    FirstChild = n;
}

void TGui_Node::LinkNext(TGui_Node* n)
{
    if (!n || n == this) return;
    n->Unlink();
    n->IsControl = IsControl;
    n->Parent = Parent;
    n->Prev = this;
    n->Next = Next;
    if (Next) Next->Prev = n;
    Next = n;
}

void TGui_Node::LinkControl(TGui_Node* n)
{
    assert(n && !n->Parent && !n->Prev && !n->Next && "LinkControl needs a node that is in no list");
    n->IsControl = true;
    n->Parent = this;
    AppendToList(FirstControl, n);
}

void TGui_Node::Unlink()
{
    if (Parent) {
        TGui_Node*& head = IsControl ? Parent->FirstControl : Parent->FirstChild;
        if (head == this) head = Next;
    }
    if (Prev) Prev->Next = Next;
    if (Next) Next->Prev = Prev;
    Parent = Next = Prev = nullptr;
}

void TGui_Node::Pop()
{
    if (!Parent || !Next) return;
    TGui_Node* parent = Parent;
    bool control = IsControl;
    Unlink();
    if (control)
        parent->LinkControl(this);
    else
        parent->LinkChild(this);
}

void TGui_Node::Push()
{
    if (!Parent) return;
    TGui_Node* parent = Parent;
    if (!IsControl) {
        parent->LinkChildFirst(this);
        return;
    }
    if (parent->FirstControl == this) return;
    Unlink();
    IsControl = true;
    Parent = parent;
    Next = parent->FirstControl;
    if (Next) Next->Prev = this;
    parent->FirstControl = this;
}

void TGui_Node::Empty()
{
    for (TGui_Node* c = FirstChild; c;) {
        TGui_Node* next = c->Next;
        c->Empty();
        delete c;
        c = next;
    }
    FirstChild = nullptr;
}

bool TGui_Node::IsNodeInTree(TGui_Node* list, TGui_Node* target, bool firstOnly)
{
    for (TGui_Node* n = list; n; n = n->Next) {
        if (n == target) return true;
        if (IsNodeInTree(n->FirstChild, target, false) || IsNodeInTree(n->FirstControl, target, false)) return true;
        if (firstOnly) break;
    }
    return false;
}

TGui_Node* TGui_Node::GetRoot()
{
    TGui_Node* n = this;
    while (n->Parent) n = n->Parent;
    return n;
}

TGui_Master* TGui_Node::GetMaster() { return dynamic_cast<TGui_Master*>(GetRoot()); }

void TGui_Node::MakeActiveNode()
{
    if (TGui_Master* m = GetMaster()) m->SetActiveNode(this);
}

int TGui_Node::GetChildCount() const
{
    int n = 0;
    for (TGui_Node* c = FirstChild; c; c = c->Next) ++n;
    return n;
}

// [SECTION] Geometry

void TGui_Node::SetAbsolutePosition(int ax, int ay)
{
    if (Parent)
        SetPosition(ax - Parent->AbsX, ay - Parent->AbsY);
    else
        SetPosition(ax, ay);
}

bool TGui_Node::IsVisible(bool ignoreScroll)
{
    if (!Shown) return false;
    if (IsControl || !ClipToParent || !Parent) return true;
    if (!ignoreScroll) {
        int y = Y + Parent->ScrollY;
        if (y + Height < 0 || y > Parent->Height) return false;
    }
    for (TGui_Node* a = Parent; a; a = a->Parent)
        if (!a->Shown) return false;
    return true;
}

void TGui_Node::GetBounds(TGui_Node* list, int& minX, int& minY, int& maxX, int& maxY, int ox, int oy)
{
    for (TGui_Node* n = list; n; n = n->Next) {
        if (!n->Shown || dynamic_cast<TGui_Separator*>(n)) continue;
        minX = std::min(minX, ox + n->X);
        minY = std::min(minY, oy + n->Y);
        maxX = std::max(maxX, ox + n->X + n->Width - 1);
        maxY = std::max(maxY, oy + n->Y + n->Height - 1);
    }
}

void TGui_Node::GetBoundsRecursively(TGui_Node* list, int& minX, int& minY, int& maxX, int& maxY, int ox, int oy)
{
    for (TGui_Node* n = list; n; n = n->Next) {
        if (!n->Shown || dynamic_cast<TGui_Separator*>(n)) continue;
        minX = std::min(minX, ox + n->X);
        minY = std::min(minY, oy + n->Y);
        maxX = std::max(maxX, ox + n->X + n->Width - 1);
        maxY = std::max(maxY, oy + n->Y + n->Height - 1);
        if (n->CanDrawChildren())
            GetBoundsRecursively(n->FirstChild, minX, minY, maxX, maxY, ox + n->X, oy + n->Y);
    }
}

void TGui_Node::GetNodeFromPoint(TGui_Node* list, int x, int y, TGui_Node** out)
{
    for (TGui_Node* n = list; n; n = n->Next) {
        if (!n->Shown) continue;
        if (n->AbsX < x && x < n->AbsX + n->Width && n->AbsY < y && y < n->AbsY + n->Height) *out = n;
        GetNodeFromPoint(n->FirstChild, x, y, out);
        GetNodeFromPoint(n->FirstControl, x, y, out);
    }
}

bool TGui_Node::GetClipRect(int& x0, int& y0, int& x1, int& y1)
{
    x0 = AbsX;
    y0 = AbsY;
    x1 = AbsX + Width;
    y1 = AbsY + Height;
    TGui_Node* a = Parent;
    for (int i = 0; i < ClipLevels && a; ++i) a = a->Parent;
    for (; a; a = a->Parent) {
        x0 = std::max(x0, a->AbsX);
        y0 = std::max(y0, a->AbsY);
        x1 = std::min(x1, a->AbsX + a->Width);
        y1 = std::min(y1, a->AbsY + a->Height);
    }
    bool any = x1 > x0 && y1 > y0;
    x1 = std::max(x1, x0);
    y1 = std::max(y1, y0);
    return any;
}

TGui_Window* TGui_Node::GetParentWindow()
{
    for (TGui_Node* n = this; n; n = n->Parent)
        if (auto* w = dynamic_cast<TGui_Window*>(n)) return w;
    return nullptr;
}

// [SECTION] Names and hints

int TGui_Node::GetStringWidth(const char* text) { return QORGui_MeasureText(text); }

void TGui_Node::SetName(const char* text, bool relayout)
{
    StoreName(text ? text : "");
    // Measure what was stored: a name cut by the thingy is drawn cut.
    NameWidth = GetStringWidth(GetName()) + 2 * MarginX;
    if (relayout) UpdateSize();
}

void TGui_Node::SetName(const char* format, ...)
{
    if (!format) return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(size_t(std::max(n, 0)) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(size_t(std::max(n, 0)));
    SetName(text.c_str(), true);
}

void TGui_Node::SetHint(const char* format, ...)
{
    if (HintFromParent && Parent) return;
    if (!format) return;
    if (!*format) {
        TQORThingy::SetHint("%s", "");
        return;
    }
    // Long hints are cut at the buffer, never overrun it.
    std::vector<char> formatted(10000, 0), adjusted(10000, 0);
    va_list args;
    va_start(args, format);
    std::vsnprintf(formatted.data(), formatted.size(), format, args);
    va_end(args);
    AdjustFormatForNewHintType(formatted.data(), adjusted.data(), int(adjusted.size()));
    TQORThingy::SetHint("%s", adjusted.data());
}

const char* TGui_Node::GetHint() const
{
    if (HintFromParent && Parent) return Parent->GetHint();
    return TQORThingy::GetHint();
}

void TGui_Node::SetGraphic(TQORglutTexture* t) { GraphicID = t ? t->GetID() : 0; }
void TGui_Node::SetAltGraphic(TQORglutTexture* t) { AltGraphicID = t ? t->GetID() : 0; }

TQORglutTexture* TGui_Node::ResolveTexture(uint32_t& id)
{
    if (!id) return nullptr;
    auto* t = dynamic_cast<TQORglutTexture*>(__GetThingyFromID(id));
    if (!t) id = 0;
    return t;
}

TQORglutTexture* TGui_Node::GetGraphic() { return ResolveTexture(GraphicID); }

// [SECTION] Enabling

void TGui_Node::Enable()
{
    TQORThingy::Enable();
    for (TGui_Node* c = FirstChild; c; c = c->Next) {
        c->SetEnabled(true);
        SetEnableRecursive(c->FirstChild, true);
    }
}

void TGui_Node::Disable()
{
    TQORThingy::Disable();
    for (TGui_Node* c = FirstChild; c; c = c->Next) {
        c->SetEnabled(false);
        SetEnableRecursive(c->FirstChild, false);
    }
}

void TGui_Node::SetEnableRecursive(TGui_Node* list, bool enabled)
{
    for (TGui_Node* n = list; n; n = n->Next) {
        n->SetEnabled(enabled);
        SetEnableRecursive(n->FirstChild, enabled);
    }
}

bool TGui_Node::IsEnabled() const
{
    for (const TGui_Node* n = this; n; n = n->Parent)
        if (!n->TQORThingy::IsEnabled()) return false;
    return true;
}

void TGui_Node::SetEnabled(bool enabled)
{
    if (enabled)
        Enable();
    else
        Disable();
}

bool TGui_Node::IsAltHeld()
{
    TGui_Master* m = GetMaster();
    return m && m != this && m->IsAltHeld();
}
bool TGui_Node::IsCtrlHeld()
{
    TGui_Master* m = GetMaster();
    return m && m != this && m->IsCtrlHeld();
}
bool TGui_Node::IsShiftHeld()
{
    TGui_Master* m = GetMaster();
    return m && m != this && m->IsShiftHeld();
}

// [SECTION] Events

bool TGui_Node::QueueCopy(TQOREvent* templ, int x, int y)
{
    if (!templ) return false;
    auto* e = new TQOREvent(templ);
    e->SetX(x);
    e->SetY(y);
    e->SetXAbs(x + AbsX);
    e->SetYAbs(y + AbsY);
    e->SetDispatcher(this);
    QOREvents_PushEvent(e);
    return true;
}

bool TGui_Node::OnClick(int x, int y)
{
    Clicked = true;
    if (CloseMenusOnClick() && dynamic_cast<TGui_Menu*>(Parent) && std::strcmp(GetName(), "-") != 0) {
        if (TGui_Master* m = GetMaster())
            for (TGui_Node* c = m->FirstChild; c; c = c->Next)
                if (dynamic_cast<TGui_Menu*>(c) && c->Shown && c->IsVisible(false)) c->Hide();
    }
    if (CaptionTarget) CaptionTarget->SetName(GetName(), true);
    return QueueCopy(ClickEvent, x, y);
}

bool TGui_Node::OnRightClick(int x, int y)
{
    Clicked = true;
    QueueCopy(RightClickEvent, x, y);
    return false;
}

bool TGui_Node::OnDoubleClick(int x, int y)
{
    Clicked = true;
    QueueCopy(DoubleClickEvent, x, y);
    return false;
}

void TGui_Node::OnMouse(int button, int state, int x, int y)
{
    if (!MouseEvent) return;
    MouseEvent->SetMouseButton(uint8_t(button));
    MouseEvent->SetMouseState(uint8_t(state));
    QueueCopy(MouseEvent, x, y);
}

bool TGui_Node::OnMouseWheel(int step, int x, int y)
{
    if (MouseWheelEvent) {
        MouseWheelEvent->SetX(x);
        MouseWheelEvent->SetY(y);
        MouseWheelEvent->intParameters[0] = step;
        MouseWheelEvent->SetDispatcher(this);
        QueueCopy(MouseWheelEvent, x, y);
    }
    return true;
}

void TGui_Node::OnPassive(int x, int y)
{
    if (!PassiveEvent) return;
    PassiveEvent->SetX(x);
    PassiveEvent->SetY(y);
    PassiveEvent->SetDispatcher(this);
    if (PassiveEvent->callback) PassiveEvent->callback(PassiveEvent);
}

bool TGui_Node::OnMotion(int x, int y)
{
    if (!MotionEvent) return false;
    MotionEvent->SetX(x);
    MotionEvent->SetY(y);
    if (TGui_Master* m = GetMaster()) {
        MotionEvent->SetMouseButton(uint8_t(m->LastButton));
        MotionEvent->SetMouseState(uint8_t(m->LastButtonState));
    }
    MotionEvent->SetDispatcher(this);
    return MotionEvent->callback ? MotionEvent->callback(MotionEvent) : false;
}

void TGui_Node::OnEnter(int, int)
{
    MouseOver = true;
    if (HighlightOnMouseOver) PostRedisplay();
}

void TGui_Node::OnExit(int, int, TGui_Node*)
{
    MouseOver = false;
    if (HighlightOnMouseOver) PostRedisplay();
}

void TGui_Node::OnDraw()
{
    if (!DrawEvent) return;
    DrawEvent->SetX(AbsX);
    DrawEvent->SetY(AbsY);
    DrawEvent->SetWidth(Width);
    DrawEvent->SetHeight(Height);
    DrawEvent->SetDispatcher(this);
    if (DrawEvent->callback) DrawEvent->callback(DrawEvent);
}

void TGui_Node::OnReshape()
{
    if (!ReshapeEvent || !ReshapeEvent->callback) return;
    ReshapeEvent->SetX(AbsX);
    ReshapeEvent->SetY(AbsY);
    ReshapeEvent->SetWidth(Width);
    ReshapeEvent->SetHeight(Height);
    ReshapeEvent->SetDispatcher(this);
    ReshapeEvent->callback(ReshapeEvent);
}

void TGui_Node::OnDeactivate()
{
    if (HideOnDeactivate) Hide();
}

void TGui_Node::DragDropReceive(const char* text, int x, int y)
{
    if (!DragDropEvent) return;
    auto* e = new TQOREvent(DragDropEvent);
    e->SetX(x);
    e->SetY(y);
    e->AssignStringParameter(text, 0);
    e->SetDispatcher(this);
    QOREvents_PushEvent(e);
}

bool TGui_Node::DragDropGetSendString(char* buffer, int size)
{
    if (!buffer || size < 1) return false;
    size_t n = std::min(std::strlen(DragDropString), size_t(size - 1));
    std::memcpy(buffer, DragDropString, n);
    buffer[n] = 0;
    return n > 0;
}

bool TGui_Node::DoDoubleClick() { return DoubleClickEnabled && DoubleClickEvent; }

void TGui_Node::PostRedisplay() { QORglutPostRedisplay_Internal(); }

bool TGui_Node::OnChange()
{
    if (!ChangeEvent) return false;
    ChangeEvent->SetDispatcher(this);
    if (ChangeEvent->callback) return ChangeEvent->callback(ChangeEvent);
    auto* e = new TQOREvent(ChangeEvent);
    e->SetDispatcher(this);
    QOREvents_PushEvent(e);
    return true;
}

void TGui_Node::Flash(bool)
{
    TGui_Master* m = GetMaster();
    if (!m) return;
    FlashDrawn = false;
    FlashStartTime = float(m->Clock.Read());
}

// [SECTION] Colours

void TGui_Node::GetDisplayColor(float* out, const float* in, bool highlight)
{
    float c[3] = {in[0], in[1], in[2]};
    bool exempt = false, brightness = true, dim = true;
    for (TGui_Node* n = this; n; n = n->Parent) {
        exempt = exempt || n->ModalExempt;
        brightness = brightness && n->UseInterfaceBrightness;
        dim = dim && n->DimWithWindows;
    }
    if (exempt) {
        brightness = UseInterfaceBrightness;
    } else if (dim) {
        TGui_Master* m = GetMaster();
        TGui_Window* active =
            m ? dynamic_cast<TGui_Window*>(__GetThingyFromID(m->ActiveWindowID)) : nullptr;
        if (active && active->DimOtherWindows && active->IsModal && active->Shown && GetParentWindow() != active)
            for (float& v : c) v *= 0.7f;
    }
    if (brightness) {
        float f = 0.75f + 0.25f * QORglutWigits_InterfaceBrightness;
        if (highlight) f = f + (1.0f - f) * 0.5f;
        for (float& v : c) v = std::clamp(v * f, 0.0f, 1.0f);
    }
    std::copy(c, c + 3, out);
}

// [SECTION] Layout

void TGui_Node::UpdateSize()
{
    int padX = BorderWidth + MarginX, padY = BorderWidth + MarginY;
    if (StackChildren) {
        int row = padY + MarginY;
        if (TextAlignment == 3 && ShowName) row += MarginY + TextHeight + TextTopOffset;
        for (TGui_Node* c = FirstChild; c; c = c->Next) {
            c->X = padX;
            c->Y = row;
            if (c->Shown) row += c->Height + MarginY;
        }
    }
    int right = 0, bottom = 0;
    for (TGui_Node* c = FirstChild; c; c = c->Next) {
        if (!c->Shown) continue;
        right = std::max(right, c->X + c->Width);
        bottom = std::max(bottom, c->Y + c->Height);
    }
    int contentW = std::max(0, right + 2 * padX), contentH = std::max(0, bottom + 2 * padY);
    if (ShowName) {
        int textW = GetStringWidth(GetName());
        if (textW >= contentW) contentW = textW;
        contentH = std::max(contentH, TextHeight + TextTopOffset);
    }
    if (AutoSize) {
        Width = contentW;
        Height = contentH;
    }
    Width = std::max(Width, 0);
    Height = std::max(Height, 0);

    auto thumb = [](TGui_ScrollBar* bar, int range) {
        if (range == 0) {
            bar->Maximum = 0;
            bar->ThumbFraction = 1.0f;
        } else {
            bar->Maximum = float(range);
            bar->ThumbFraction = std::clamp(50.0f / float(range), 0.1f, 0.9f);
        }
        if (bar->MinEnabled && bar->Value < bar->Minimum) bar->Value = bar->Minimum;
        if (bar->MaxEnabled && bar->Value > bar->Maximum) bar->Value = bar->Maximum;
    };
    if (TGui_ScrollBar* v = VerticalScrollBar) {
        TGui_ScrollBar* h = HorizontalScrollBar;
        v->Height = std::max(0, Height - (h && h->Shown ? h->Height : 0));
        v->X = std::max(0, Width - v->Width);
        v->ArrowStep = float(Height / 4);
        thumb(v, std::max(0, bottom - Height + (h ? h->Height : 0)));
        ScrollY = ChildOriginY - int(v->Value);
    }
    if (TGui_ScrollBar* h = HorizontalScrollBar) {
        TGui_ScrollBar* v = VerticalScrollBar;
        h->Width = std::max(0, Width - (v ? v->Width : 0));
        h->Y = std::max(0, Height - h->Height);
        h->ArrowStep = float(Width / 4);
        thumb(h, std::max(0, right - Width));
        ScrollX = ChildOriginX - int(h->Value);
    }
}
