// The manager panels' list widgets (see KSN_Gui_ManagerLists.h).
#include "KSN_Gui_ManagerLists.h"

#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMemory.h"
#include "QORGL.h"

#include <algorithm>

// [SECTION] Panel

TKSN_ManagerNode::TKSN_ManagerNode(TGui_Node* parent) : TGui_Node(parent)
{
    SetName("", false);
    SetSize(230, 300);
    if (!GetMaster()) QORThrowException("Master == NULL in TKSN_ManagerNode::TKSN_ManagerNode()");
    List = AddNode("", Width, Height);
    List->ShowName = false;
    List->StackChildren = true;
    List->MarginX = List->MarginY = 1;
    List->BorderWidth = 0;
    List->SetPosition(0, 0);
}

void TKSN_ManagerNode::Update()
{
    List->Empty();
    RowCount = 0;
}

void TKSN_ManagerNode::UpdateSize()
{
    TGui_Node::UpdateSize();
    List->Width = Width - List->X - MarginX;
    List->UpdateSize();
    int bottom = 0;
    for (TGui_Node* row = List->FirstChild; row; row = row->Next) bottom = std::max(bottom, row->Y + row->Height);
    List->Height = bottom;
}

TKSN_ManagerListItem* TKSN_ManagerNode::CreateNewListItem(bool drawGuides, const char* text, int level,
                                                          bool hasCollapseButton, bool collapsed,
                                                          bool (*callback)(TQOREvent*), unsigned ownerID)
{
    const int x0 = 12 * level;
    auto* row = new TKSN_ManagerListItem(List);
    row->SetHint("%s", List->GetHint());
    row->Level = level;
    row->DrawSurface = false;
    if (RowCount % 2 == 1)
        for (int i = 0; i < 3; ++i) {
            row->BackgroundColor[i] *= 0.9f;
            row->BackgroundColorB[i] *= 0.9f;
        }
    if (hasCollapseButton) {
        row->CreateCollapseButton(collapsed);
        row->CollapseButton->ClickOnPress = row->ClickOnPress;
        row->CollapseButton->SetPosition(x0, 0);
        row->CollapseButton->ClickEvent = new TQOREvent(callback, ownerID, -1);
    }
    row->TextNode = new TGui_Text(row);
    row->TextNode->SetName(text ? text : "", true);
    row->TextNode->SetPosition(x0 + (row->CollapseButton ? row->CollapseButton->Width : 0), 0);
    row->TextNode->PassMouseToParent = true;
    if (drawGuides) {
        auto* branch = new TGui_TreeGuideNode(row);
        branch->Branch = true;
        branch->X = x0 - 12;
        for (int j = level - 2; j >= 0; --j) (new TGui_TreeGuideNode(row))->X = 12 * j;
        if (row->CollapseButton && !collapsed) {
            auto* down = new TGui_TreeGuideNode(row);
            down->X = x0;
            down->Unlink();
            row->LinkChildFirst(down);
        }
    }
    row->Width = List->Width;
    ++RowCount;
    return row;
}

// [SECTION] Row

TKSN_ManagerListItem::TKSN_ManagerListItem(TGui_Node* parent) : TGui_Node(parent)
{
    Height = 16;
    BorderWidth = 0;
    ShowName = false;
    std::copy(QORglutWigits_DefaultLightBackgroundColor, QORglutWigits_DefaultLightBackgroundColor + 3,
              BackgroundColor);
    std::copy(QORglutWigits_DefaultLightBackgroundColor, QORglutWigits_DefaultLightBackgroundColor + 3,
              BackgroundColorB);
}

void TKSN_ManagerListItem::CreateCollapseButton(bool collapsed)
{
    CollapseButton = new TKSN_ManagerListItemCollapseButton(this);
    CollapseButton->SetHint("%s", Lang.GetText(893));
    CollapseButton->Collapsed = collapsed;
}

TKSN_ManagerListItemCollapseButton::TKSN_ManagerListItemCollapseButton(TGui_Node* parent) : TGui_Button(parent)
{
    SetSize(12, 12);
    AutoSize = false;
    SetName("", false);
}

// [SECTION] Guides

TGui_TreeGuideNode::TGui_TreeGuideNode(TGui_Node* parent) : TGui_Node(parent)
{
    Width = 12;
    Height = parent ? parent->Height : 12;
    BorderWidth = 0;
    DrawSurface = false;
    ShowName = false;
    HintFromParent = true;
}

void TGui_TreeGuideNode::OnUpdateContents()
{
    if (Parent) Height = Parent->Height;
}

bool TGui_TreeGuideNode::RunsFullHeight() const
{
    if (!Branch) return true;
    auto* row = dynamic_cast<TKSN_ManagerListItem*>(Parent);
    auto* below = row ? dynamic_cast<TKSN_ManagerListItem*>(row->Next) : nullptr;
    return below && below->Level >= row->Level;
}

bool ToggleCollapsedThingyCB(TQOREvent* event)
{
    TQORThingy* thingy = event && event->GetOwnerID() ? __GetThingyFromID(event->GetOwnerID()) : nullptr;
    if (!thingy) {
        OS.ErrorMessage("%s", "Thingy == NULL");
        return false;
    }
    thingy->collapsed = !thingy->collapsed;
    QOREvents_PushEvent(441);
    return true;
}

// [SECTION] Drawing

void TGui_TreeGuideNode::Draw()
{
    SetColor(TextColor);
    glEnable(GL_LINE_STIPPLE);
    glLineStipple(1, 0x5555);
    glBegin(GL_LINES);
    glVertex2f(6.5f, 0.0f);
    glVertex2f(6.5f, float(LineEndY()));
    if (Branch) {
        glVertex2f(6.5f, 6.5f);
        glVertex2f(float(Width), 6.5f);
    }
    glEnd();
    glDisable(GL_LINE_STIPPLE);
}

void TKSN_ManagerListItemCollapseButton::Draw()
{
    if (GetGraphic()) {
        Pressed = Collapsed;
        TGui_Button::Draw();
        return;
    }
    TGui_Button::Draw();
    const int b = BorderWidth;
    if (Style == 0) {
        if (Collapsed)
            DrawLeftRightTriangle(b, b, Width - 2 * b, Height - 2 * b, true, 0);
        else
            DrawUpDownTriangle(b, b, Width - 2 * b, Height - 2 * b, true, 0);
    } else if (Style == 1) {
        DrawTextColored(Collapsed ? "[b]+[/b]" : "[b]-[/b]", IsEnabled() ? TextColor : DisabledTextColor);
    }
}
