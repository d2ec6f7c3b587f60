// TGui_Window, TGui_TitleBar and TGui_CloseButton: showing, modal showing,
// hiding, running a dialog, centring, sizing and title-bar moves. Drawing is
// GuiWindow_Draw.cpp.
#include "GuiWindow.h"

#include "GuiMaster.h"
#include "GuiTheme.h"
#include "QORGL.h"

#include <algorithm>

namespace {
// Takes every entry of the window off the master's modal stack; hands the
// active window on when it was this one.
void ForgetWindow(TGui_Master& m, uint32_t id)
{
    while (m.ModalWindows.Remove(id)) {
    }
    if (m.ActiveWindowID == id) {
        m.ActiveWindowID = 0;
        for (int i = 0; i < m.ModalWindows.Count(); ++i)
            if (TGui_Window* w = m.GetModalWindow(i)) {
                m.ActiveWindowID = w->GetID();
                break;
            }
    }
}
} // namespace

TGui_Window* GetParentWindow(TGui_Node* node) { return node ? node->GetParentWindow() : nullptr; }

// [SECTION] Window

TGui_Window::TGui_Window(TGui_Node* parent) : TGui_Node(parent)
{
    DropShadow = true;
    Movable = false;
    ShowName = false;
    TitleBar = new TGui_TitleBar(nullptr);
    TitleBar->Width = Width;
    TitleBar->SetPosition(0, 1 - TitleBar->Height);   // at rest: a title bar elsewhere was dragged
    LinkControl(TitleBar);
    TGui_Master* master = GetMaster();
    if (master && master->CloseButtonGraphic)
        TitleBar->CloseButton->GraphicID = master->CloseButtonGraphic->GetID();
}

TGui_Window::~TGui_Window()
{
    // A deleted window is already unlinked from its tree, so every master is
    // asked; a master being destroyed has left the list and is not touched.
    uint32_t id = GetID();
    if (MasterList)
        for (int i = 0; i < MasterList->Count(); ++i) ForgetWindow(*(*MasterList)[i], id);
}

void TGui_Window::Show()
{
    Shown = true;
    if (Parent) Pop();
    IsModal = false;
    if (auto* m = dynamic_cast<TGui_Master*>(GetRoot())) m->ActiveWindowID = GetID();
}

void TGui_Window::ShowModal()
{
    if (auto* m = dynamic_cast<TGui_Master*>(GetRoot())) {
        // Once on the stack at most: a second ShowModal only brings it to the top.
        while (m->ModalWindows.Remove(GetID())) {
        }
        m->ModalWindows.Insert(0, GetID());
    }
    if (Parent) Pop();
    Show();
    IsModal = true;
}

void TGui_Window::Hide()
{
    if (auto* m = dynamic_cast<TGui_Master*>(GetRoot())) ForgetWindow(*m, GetID());
    Shown = false;
    IsModal = false;
}

void TGui_Window::Centre()
{
    auto* m = dynamic_cast<TGui_Master*>(GetRoot());
    if (!m) return;
    int W = m->Width, H = m->Height;
    X = std::max(0, (W - Width) / 2);
    if (TitleBar) {
        int T = TitleBar->Height;
        Y = std::max(T, (H - Height - T) / 2);
    } else {
        Y = std::max(0, (H - Height) / 2);
    }
}

void TGui_Window::Execute()
{
    UpdateSize();
    auto* m = dynamic_cast<TGui_Master*>(GetRoot());
    if (m) m->ActivateFirstFocusableNode(this);
    Centre();
    if (Parent) Pop();
    ShowModal();
}

void TGui_Window::SetSize(int width, int height)
{
    Width = width;
    Height = height;
    if (ResizeHandle) {
        ResizeHandle->SetPosition(Width - ResizeHandle->Width, Height - ResizeHandle->Height);
        if (TitleBar) TitleBar->Width = Width;
    }
}

void TGui_Window::MakeNonResizeable()
{
    if (!ResizeHandle) return;
    ResizeHandle->DeletePending = true;
    ResizeHandle = nullptr;
}

void TGui_Window::UpdateSize()
{
    TGui_Node::UpdateSize();
    if (AutoSize) {
        if (TitleBar) {
            int close = TitleBar->CloseButton ? TitleBar->CloseButton->Width : 0;
            Width = std::max(Width, GetStringWidth(TitleBar->GetName()) + 2 * (MarginX + BorderWidth) + close);
        } else {
            Width = std::max(Width, 2 * (MarginX + BorderWidth));
        }
    }
    Width = std::max(MinWidth, Width);
    Height = std::max(MinHeight, Height);
    if (TitleBar) {
        int u = 1 - TitleBar->Height;
        if (TitleBar->X != 0 || TitleBar->Y != u) {
            X += TitleBar->X;
            Y = std::max(-u, Y + TitleBar->Y - u);
            if (Parent) Y = std::min(Parent->Height, Y);
            X = std::max(10 - Width, X);
            if (Parent) X = std::min(Parent->Width - 10, X);
        }
        TitleBar->SetPosition(0, u);
    }
    if (ResizeHandle) ResizeHandle->SetPosition(Width - ResizeHandle->Width, Height - ResizeHandle->Height);
    if (KeepInsideParent && Parent) {
        X = std::min(Parent->Width, X);
        Y = std::min(Parent->Height, Y);
    }
}

// [SECTION] Title bar

TGui_TitleBar::TGui_TitleBar(TGui_Node* parent) : TGui_Node(parent)
{
    TextAlignment = 1;
    ClipToParent = false;
    Height = 20;
    Movable = true;
    TextEmboss = false;
    BackgroundColor[0] = BackgroundColor[1] = BackgroundColor[2] = 0.4f;
    std::copy(QORglutWigits_DefaultTextColorOnLightBackground, QORglutWigits_DefaultTextColorOnLightBackground + 3,
              TextColor);
    CloseButton = new TGui_CloseButton(this);
    CloseButton->SetName("X", true);
    if (auto* m = dynamic_cast<TGui_Master*>(GetRoot()); m && m != static_cast<TGui_Node*>(this))
        if (ResolveTexture(m->BackgroundGraphicID)) BackgroundGraphicID = m->BackgroundGraphicID;
}

void TGui_TitleBar::UpdateSize_SecondPass()
{
    if (!Parent) return;
    Width = Parent->Width;
    if (CloseButton)
        CloseButton->SetPosition(Width - CloseButton->Width - MarginX - 1, (Height - CloseButton->Height) / 2);
    SetName(Parent->GetName(), true);
}

void TGui_TitleBar::OnMouse(int button, int state, int x, int y)
{
    TGui_Node::OnMouse(button, state, x, y);
    if (Parent && Parent->Parent) Parent->Pop();
}

void TGui_TitleBar::Hide()
{
    if (Parent) Parent->Hide();
}

// [SECTION] Close button

TGui_CloseButton::TGui_CloseButton(TGui_Node* parent) : TGui_Button(parent) {}

bool TGui_CloseButton::OnClick(int x, int y)
{
    TGui_Node::OnClick(x, y);
    TGui_Node* bar = Parent;
    if (auto* w = bar ? dynamic_cast<TGui_Window*>(bar->Parent) : nullptr) {
        w->ClosedByCloseButton = true;
        w->Hide();
    } else if (bar) {
        bar->Hide();
    }
    return true;
}
