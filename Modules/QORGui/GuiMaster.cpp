// TGui_Master: construction, the layout passes, idle ticks, hints, focus,
// windows and the master list. Drawing is GuiMaster_Draw.cpp, input
// GuiMaster_Input.cpp, the blank application GuiBlankApp.cpp.
#include "GuiMaster.h"

#include "GuiFont.h"
#include "GuiHint.h"
#include "GuiWidgets.h"
#include "QOREvents.h"
#include "QORMemory.h"
#include "QORglut.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

TQORNewStaticList<TGui_Master*>* MasterList = nullptr;

// [SECTION] Construction

TGui_Master::TGui_Master(TGui_Node* parent) : TGui_Node(parent)
{
    Clock.Start();
    if (!MasterList) MasterList = new TQORNewStaticList<TGui_Master*>(1);
    MasterList->Add(this);
    static const char hint[] = "Press ESC to hide this hint";
    HintText = static_cast<char*>(QORalloc(sizeof hint));
    std::memcpy(HintText, hint, sizeof hint);
    NoFocus = true;
    SkipDraw = false;
    ShowName = false;
    SetName("Master", false);

    HintNode = new TGui_HintNode(this);
    HintNode->DimWithWindows = false;
    HintNode->ShowName = false;
    HintNode->KeepOnTop = true;
    HintNode->Hide();
    HintNode->BackgroundColor[0] = 1.0f;
    HintNode->BackgroundColor[1] = 1.0f;
    HintNode->BackgroundColor[2] = 0.7f;
    HintNode->MarginX = HintNode->MarginY = 2;
    HintNode->AutoSize = true;
    HintNode->StackChildren = true;
    HintNode->MouseTransparent = true;
}

TGui_Master::~TGui_Master()
{
    // The list may be gone already (Gui_CleanMasterList at exit).
    if (MasterList)
        while (MasterList->Remove(this)) {
        }
    QORfree(HintText);
    HintText = nullptr;
}

// [SECTION] Layout passes

void TGui_Master::LayoutTree()
{
    UpdateSizeAll(this, 0);
    for (TGui_Node* n = this; n; n = n->Next) {
        n->UpdateSize_SecondPass();
        if (n->CanDrawChildren()) UpdateSize_SecondPass_All(n->FirstChild, 1);
        UpdateSize_SecondPass_All(n->FirstControl, 1);
    }
    for (TGui_Node* n = this; n; n = n->Next) {
        n->AbsX = n->X;
        n->AbsY = n->Y;
        UpdatePositionAll(n->FirstChild, 1, n->X + n->ScrollX, n->Y + n->ScrollY);
        UpdatePositionAll(n->FirstControl, 1, n->AbsX, n->AbsY);
    }
    for (TGui_Node* n = this; n; n = n->Next) {
        n->OnUpdateContents();
        UpdateContents(n->FirstControl);
        UpdateContents(n->FirstChild);
    }
    MarkOccludedNodes();
}

void TGui_Master::UpdateSizeAll(TGui_Node* first, int depth)
{
    if (!first) return;
    TGui_Node* parent = first->Parent;
    bool controls = first->IsControl;
    // Housekeeping: deletions and raising, each node of the list visited once.
    TGui_Node* last = first;
    while (last->Next) last = last->Next;
    for (TGui_Node *n = first, *next = nullptr; n; n = next) {
        next = n == last ? nullptr : n->Next;
        if (n->DeletePending) {
            n->Unlink();
            n->Empty();
            delete n;
        } else if (n->KeepOnTop && n->Shown && n->Parent) {
            auto* w = dynamic_cast<TGui_Window*>(n);
            if (!(w && HasModalWindow() && !IsModalWindow(w))) n->Pop();
        }
    }
    // The head may have changed; a parentless first node (the master) stays the head.
    TGui_Node* head = parent ? (controls ? parent->FirstControl : parent->FirstChild) : first;
    if (!parent && first->DeletePending) return;
    for (TGui_Node* n = head; n; n = n->Next) {
        if (n->CanDrawChildren()) {
            UpdateSizeAll(n->FirstChild, depth + 1);
            UpdateSizeAll(n->FirstControl, depth + 1);
        }
        n->Occluded = false;
        n->UpdateSize();
        if (auto* w = dynamic_cast<TGui_Window*>(n)) {
            int W = Width, H = Height;
            int x = w->X, y = w->Y, width = w->Width, height = w->Height;
            if (w->ClampSizeToMaster) {
                int titleHeight = w->TitleBar && w->TitleBar->Shown ? w->TitleBar->Height : 0;
                width = std::max(0, std::min(width, W - 20));
                height = std::max(0, std::min(height, H - 20 - titleHeight));
            }
            x = std::min(x, W - 20);
            y = std::min(y, H - 20);
            if (width + x <= 19) x = 20 - width;
            if (height + y <= 19) y = 20 - height;
            if (x != w->X || y != w->Y || width != w->Width || height != w->Height) {
                w->X = x;
                w->Y = y;
                w->Width = width;
                w->Height = height;
                w->UpdateSize();
            }
        }
    }
}

void TGui_Master::UpdateSize_SecondPass_All(TGui_Node* first, int depth)
{
    for (TGui_Node* n = first; n; n = n->Next) {
        n->UpdateSize_SecondPass();
        if (n->CanDrawChildren()) UpdateSize_SecondPass_All(n->FirstChild, depth + 1);
        UpdateSize_SecondPass_All(n->FirstControl, depth + 1);
    }
}

void TGui_Master::UpdatePositionAll(TGui_Node* first, int depth, int originX, int originY)
{
    for (TGui_Node* n = first; n; n = n->Next) {
        n->AbsX = originX + n->X;
        n->AbsY = originY + n->Y;
        UpdatePositionAll(n->FirstChild, depth + 1, n->AbsX + n->ScrollX, n->AbsY + n->ScrollY);
        UpdatePositionAll(n->FirstControl, depth + 1, n->AbsX, n->AbsY);
    }
}

void TGui_Master::UpdateContents(TGui_Node* first)
{
    for (TGui_Node* n = first; n; n = n->Next) {
        n->OnUpdateContents();
        UpdateContents(n->FirstControl);
        UpdateContents(n->FirstChild);
    }
}

void TGui_Master::MarkOccludedNodes()
{
    for (TGui_Node* t = FirstChild; t; t = t->Next) {
        if (!t->IsVisible(false)) continue;
        for (TGui_Node* u = FirstChild; u && u != t; u = u->Next) {
            if (!u->Shown) continue;
            if (u->AbsX >= t->AbsX && t->AbsX + t->Width >= u->AbsX + u->Width && u->AbsY >= t->AbsY &&
                t->AbsY + t->Height >= u->AbsY + u->Height)
                u->Occluded = true;
        }
    }
}

// [SECTION] Canvas size and idle

void TGui_Master::Reshape(int width, int height)
{
    X = Y = 0;
    Width = std::max(0, width);
    Height = std::max(0, height);
    QORglut_glFont_RebindTexture();
    QORglutPostRedisplay_Internal();
}

void TGui_Master::ProcessIdle()
{
    float now = float(Clock.Read());
    if (now <= LastIdleTime || now - LastIdleTime <= 0.02f) return;
    if (FlashDeadline > 1 && float(Clock.Read()) > FlashDeadline) {
        FlashDeadline = 0;
        PostRedisplay();
    }
    LastIdleTime = now;
    for (TGui_Node* n = this; n; n = n->Next) {
        n->OnIdle();
        ProcessIdleRecurse(n->FirstChild);
    }
}

void TGui_Master::ProcessIdleRecurse(TGui_Node* first)
{
    for (TGui_Node* n = first; n; n = n->Next) {
        n->OnIdle();
        ProcessIdleRecurse(n->FirstChild);
    }
}

// [SECTION] Hints

void TGui_Master::PrintHint(TGui_Node* node, const char* text)
{
    if (HintEvent) {
        auto* e = new TQOREvent(HintEvent);
        e->AssignStringParameter(text ? text : "", 0);
        QOREvents_PushEvent(e);
        return;
    }
    if (HintNode) HintNode->PrintHint(node, text);
}

void TGui_Master::PrintHintParam(TGui_Node* node, const char* format, ...)
{
    // Longer texts are cut at the buffer, never overrun it.
    char buffer[5000];
    buffer[0] = 0;
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
    }
    PrintHint(node, buffer);
}

// [SECTION] Focus and windows

TGui_Node* TGui_Master::GetActiveNode() { return dynamic_cast<TGui_Node*>(__GetThingyFromID(ActiveNodeID)); }

TGui_Node* TGui_Master::SetActiveNode(TGui_Node* node)
{
    TGui_Node* old = GetActiveNode();
    if (old == node) return node;
    if (old) old->OnDeactivate();
    ActiveNodeID = node ? node->GetID() : 0;
    if (node) node->OnActivate();
    return node;
}

TGui_Window* TGui_Master::SetActiveWindow(TGui_Window* window)
{
    ActiveWindowID = window ? window->GetID() : 0;
    return window;
}

void TGui_Master::SelectParentWindow(TGui_Node* node)
{
    TGui_Window* w = node ? node->GetParentWindow() : nullptr;
    if (!w) return;
    ActiveWindowID = w->GetID();
    if (w->Parent) w->Pop();
}

TGui_Node* TGui_Master::ActivateFirstFocusableNode(TGui_Node* container)
{
    TGui_Node* found = nullptr;
    TGui_Node* n = container ? container->FirstChild : nullptr;
    while (n) {
        if (!n->NoFocus && n != container && n->Shown) {
            found = n;
            break;
        }
        if (n->FirstChild) {
            n = n->FirstChild;
        } else if (n->Next) {
            n = n->Next;
        } else {
            TGui_Node* p = n->Parent;
            if (!p || dynamic_cast<TGui_Window*>(p) || p == container || !p->Next) break;
            n = p->Next;
        }
    }
    return SetActiveNode(found);
}

TGui_MenuBar* TGui_Master::AddMenuBar()
{
    if (!MenuBar) MenuBar = new TGui_MenuBar(this);
    return MenuBar;
}

TGui_Window* TGui_Master::GetModalWindow(int i)
{
    if (i < 0 || i >= ModalWindows.Count()) return nullptr;
    return dynamic_cast<TGui_Window*>(__GetThingyFromID(ModalWindows[i]));
}

bool TGui_Master::HasModalWindow()
{
    for (int i = 0; i < ModalWindows.Count(); ++i)
        if (GetModalWindow(i)) return true;
    return false;
}

bool TGui_Master::IsModalWindow(TGui_Window* window)
{
    return window && ModalWindows.Find(window->GetID()) >= 0;
}

// [SECTION] Master list

TGui_Master* QORglutWigits_GetMasterFromWindowID(int windowID)
{
    if (!MasterList) return nullptr;
    for (int i = 0; i < MasterList->Count(); ++i)
        if ((*MasterList)[i]->WindowID == windowID) return (*MasterList)[i];
    return nullptr;
}

void Gui_CleanMasterList()
{
    delete MasterList;
    MasterList = nullptr;
}
