// Collapsible panels: folding and opening, the toggle, the title bar and the
// layout of the title and toggle. Drawing is GuiPanel_Draw.cpp.
#include "GuiPanel.h"

#include "GuiGauge.h"
#include "GuiText.h"
#include "QORLanguage.h"

#include <cstring>

TGui_CollapsiblePanel::TGui_CollapsiblePanel(TGui_Node* parent) : TGui_Node(parent)
{
    ShowName = false;
    TextAlignment = 3;
    OpenHeight = Height;
    Toggle = new TGui_CollapsiblePanelToggleButton(nullptr);
    Toggle->AutoSize = false;
    Toggle->SetSize(12, 12);
    Toggle->SetName("", false);
    Toggle->ShowName = false;
    Title = new TGui_Text(nullptr);
    ChildOriginY = ScrollY = TitleHeight;
    LinkControl(Toggle);
    LinkControl(Title);
}

void TGui_CollapsiblePanel::Collapse()
{
    if (Collapsed) return;
    OpenHeight = Height;
    Height = CollapsedHeight;
    Collapsed = true;
    if (VerticalScrollBar) VerticalScrollBar->Hide();
    if (HorizontalScrollBar) HorizontalScrollBar->Hide();
    UpdateSize();
}

void TGui_CollapsiblePanel::Expand()
{
    if (!Collapsed) return;
    if (VerticalScrollBar) VerticalScrollBar->Show();
    if (HorizontalScrollBar) HorizontalScrollBar->Show();
    Height = OpenHeight;
    Collapsed = false;
    UpdateSize();
}

void TGui_CollapsiblePanel::AddTitleBar()
{
    if (TitleBar) return;
    TitleBar = new TGui_CollapsiblePanelTitleBar(nullptr);
    LinkControl(TitleBar);
    TitleBar->Push();   // drawn first, under the toggle and the title
}

void TGui_CollapsiblePanel::SetName(const char* name, bool relayout)
{
    TGui_Node::SetName(name, relayout);
    Title->SetName(GetName(), relayout);
}

void TGui_CollapsiblePanel::UpdateSize()
{
    ChildOriginY = TitleHeight;
    if (Collapsed) return;
    TGui_Node::UpdateSize();
    // Without a scroll bar nothing else keeps the content below the title band.
    if (!VerticalScrollBar) ScrollY = ChildOriginY;
}

void TGui_CollapsiblePanel::UpdateSize_SecondPass()
{
    // A name set through the base class reaches the title here.
    if (std::strcmp(Title->GetName(), GetName()) != 0) Title->SetName(GetName(), true);
    int w = GetStringWidth(GetName());
    int x, y = (Height - TextHeight) / 2;
    switch (TextAlignment) {
    case 1: x = BorderWidth + MarginX; break;
    case 2: x = Width - w - BorderWidth - MarginX; break;
    case 3:
        x = BorderWidth + MarginX + (Toggle->Placement == 2 ? Toggle->Width : 0);
        y = BorderWidth + 2;
        break;
    case 4:
        x = BorderWidth + MarginX + 10;
        y = BorderWidth + MarginY;
        break;
    default: x = (Width - w) / 2; break;
    }
    Title->SetPosition(x, y);
    if (TitleBar) TitleBar->SetSize(Width, TitleHeight);
    if (Toggle->Placement == 1)
        Toggle->SetPosition(Width - Toggle->Width - Toggle->BorderWidth, Toggle->BorderWidth);
    else if (Toggle->Placement == 2)
        Toggle->SetPosition(Toggle->BorderWidth, Toggle->BorderWidth);
}

TGui_CollapsiblePanelToggleButton::TGui_CollapsiblePanelToggleButton(TGui_Node* parent) : TGui_Button(parent)
{
    SetHint("%s", Lang.GetText(890));
}

bool TGui_CollapsiblePanelToggleButton::OnClick(int x, int y)
{
    TGui_Button::OnClick(x, y);
    auto* panel = dynamic_cast<TGui_CollapsiblePanel*>(Parent);
    if (!panel) return false;
    if (panel->IsCollapsed())
        panel->Expand();
    else
        panel->Collapse();
    return true;
}
