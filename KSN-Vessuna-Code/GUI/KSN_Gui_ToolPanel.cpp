// The tool-parameter panel: the current tool's parameter records turned into
// widgets, each bound to its record by object ID only, so a widget of a
// record that was rebuilt meanwhile finds nothing and does nothing; and the
// tool-type tab buttons above it.
#include "KSN_Gui_ToolPanel.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "GuiGauge.h"
#include "GuiMenu.h"
#include "GuiText.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Gui_OptionPanels.h"
#include "KSN_Parameter.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "KestruneEvents.h"
#include "QORGL.h"
#include "QORLanguage.h"

#include <algorithm>
#include <string>

namespace {

TQOREvent* OwnedEvent(TQOREventFunction callback, TQORThingy* owner, int command)
{
    auto* e = new TQOREvent(callback, 0, command);
    e->SetOwner(owner);
    return e;
}

// The value event of a gauge or check box: 68 float, 69 integer, 70 switch.
TQOREvent* ValueEvent(TKSN_Parameter* p, int command)
{
    TQOREvent* e = OwnedEvent(KestruneEvents_CommandCB, p, command);
    if (p->InvalidateOverlayOnChange) e->intParameters[1] = 1;
    return e;
}

void SetButtonEvents(TGui_Button* b, TKSN_Parameter* p)
{
    auto callback = reinterpret_cast<TQOREventFunction>(p->Data);
    const uint32_t toolID = p->Tool ? (p->Tool->RegisterForLookup(), p->Tool->GetID()) : 0;
    b->ClickEvent = OwnedEvent(callback, p, p->Command);
    b->ClickEvent->idParameters[0] = toolID;
    if (p->RightClickCommand != -1) {
        b->RightClickEvent = OwnedEvent(callback, p, p->RightClickCommand);
        b->RightClickEvent->idParameters[0] = toolID;
    }
}

bool Disabled(TKSN_Tool* tool, TKSN_Parameter* p) { return tool && tool->ConsiderDisablingParameter(p); }

void AddFloat(TGui_Node* panel, TKSN_Tool* tool, TKSN_Parameter* p)
{
    auto* w = new TGui_TextAndGauge(panel);
    w->Width = 210;
    w->CaptionWidth = 120;
    w->Caption->SetName(p->GetName(), true);
    w->SetHint("%s", p->GetHint());
    TGui_Gauge* g = w->Gauge;
    g->ShowValueAsName = true;
    g->Decimals = 4;
    g->Minimum = p->GetFloatMinDisplay();
    g->Maximum = p->GetFloatMaxDisplay();
    g->MinEnabled = p->ClampToMin;
    g->MaxEnabled = p->ClampToMax;
    g->ResponseCurve = p->QuadraticSlider ? 1 : 0;
    if (p->Data) g->SetValue(*static_cast<float*>(p->Data) * (p->Percent ? 100.0f : 1.0f), false);
    g->FloatVariableEvent = ValueEvent(p, 68);
    if (p->LiveTilingPreview) {
        g->ChangeStartEvent = new TQOREvent(263);
        g->ChangeEvent = new TQOREvent(264);
        g->ChangeEndEvent = new TQOREvent(265);
    }
    w->SetEnabled(p->Enabled && !Disabled(tool, p));
}

TGui_TextAndGauge* AddInt(TGui_Node* parent, TKSN_Parameter* p, int width, int captionWidth)
{
    auto* w = new TGui_TextAndGauge(parent);
    w->Width = width;
    w->CaptionWidth = captionWidth;
    w->Caption->SetName(p->GetName(), true);
    w->SetHint("%s", p->GetHint());
    TGui_Gauge* g = w->Gauge;
    g->ShowValueAsName = true;
    g->Decimals = 0;
    g->Minimum = float(p->IntMin);
    g->Maximum = float(p->IntMax);
    if (p->Data) g->SetValue(float(*static_cast<int*>(p->Data)), false);
    g->IntVariableEvent = ValueEvent(p, 69);
    return w;
}

TGui_CheckBox* AddSwitch(TGui_Node* parent, TKSN_Parameter* p, int x, int y)
{
    TGui_CheckBox* c = parent->AddCheckBox(p->GetName(), x, y, p->GetHint());
    c->Pressed = p->Data && *static_cast<bool*>(p->Data);
    c->BoolVariableEvent = ValueEvent(p, 70);
    return c;
}

void AddButtonRow(TGui_Node* panel, TKSN_Parameter* head)
{
    TGui_Node* row = panel->AddNode("", 230, 20);
    row->ShowName = false;
    row->DrawSurface = false;
    row->BorderWidth = 0;
    row->MarginX = row->MarginY = 0;
    row->SetEnabled(head->Enabled);
    const bool named = head->GetName()[0] != 0;
    if (named) row->AddText(head->GetName(), 0, 2, head->GetHint());
    const int x0 = named ? 75 : 0, span = named ? 135 : 210;
    int w = span;
    if (head->First && head->Second) w = head->Third ? span / 3 : span / 2;
    TKSN_Parameter* members[3] = {head->First, head->Second, head->Third};
    for (int i = 0; i < 3; ++i) {
        TKSN_Parameter* m = members[i];
        TGui_Button* b = row->AddButton(m ? m->GetName() : "", x0 + i * w, 0, m ? m->GetHint() : nullptr);
        b->AutoSize = false;
        b->SetSize(w, 20);
        if (!m) {
            b->Hide();
            continue;
        }
        SetButtonEvents(b, m);
        if (!m->Enabled) b->Disable();
    }
}

void AddSwitchRow(TGui_Node* panel, TKSN_Tool* tool, TKSN_Parameter* head)
{
    const int panelWidth = panel->Width;
    TGui_Node* row = panel->AddNode("", panelWidth - 10, 16);
    row->ShowName = false;
    row->DrawSurface = false;
    row->BorderWidth = 0;
    row->MarginX = row->MarginY = 0;
    row->SetEnabled(head->Enabled && !Disabled(tool, head));
    const bool named = head->GetName()[0] != 0;
    if (named) row->AddText(head->GetName(), 0, 0, head->GetHint());
    const int x0 = named ? 70 : 0, span = named ? panelWidth - 80 : panelWidth - 10;
    const bool half = head->Third && !head->Third->Data ? (head->Second && head->Second->Data)
                                                         : (!head->Third && head->Second && head->Second->Data);
    const int w = half ? span / 2 : span / 3;
    TKSN_Parameter* members[3] = {head->First, head->Second, head->Third};
    for (int i = 0; i < 3; ++i) {
        TKSN_Parameter* m = members[i];
        if (!m || !m->Data) {
            TGui_CheckBox* hidden = row->AddCheckBox("", x0 + i * w, 0, nullptr);
            hidden->Hide();
            continue;
        }
        TGui_CheckBox* c = AddSwitch(row, m, x0 + i * w, 0);
        c->AutoSize = false;
        c->SetSize(w, 16);
        c->SetEnabled(m->Enabled && !Disabled(tool, m));
    }
}

void AddIntPair(TGui_Node* panel, TKSN_Parameter* head)
{
    const int w = panel->Width - 10;
    TGui_Node* row = panel->AddNode("", w, 16);
    row->ShowName = false;
    row->DrawSurface = false;
    row->BorderWidth = 0;
    row->MarginX = row->MarginY = 0;
    TKSN_Parameter* members[2] = {head->First, head->Second};
    for (int i = 0; i < 2; ++i) {
        TKSN_Parameter* m = members[i];
        if (!m) continue;
        TGui_TextAndGauge* g = AddInt(row, m, w / 2 - 8, 50);
        g->SetPosition(i ? w / 2 : 0, 0);
        if (!m->Data) g->Hide();
    }
}

// One question of the list protocol; false when the callback does not answer.
bool AskList(TQOREventFunction callback, TKSN_Parameter* p, int command, int index, TQOREvent& answer)
{
    answer.command = command;
    answer.SetIndex(index);
    answer.intParameters[0] = 0;
    answer.AssignStringParameter(nullptr, 0);
    answer.SetOwner(p);
    return callback && callback(&answer);
}

void AddList(TGui_Node* panel, TKSN_Parameter* p)
{
    auto callback = reinterpret_cast<TQOREventFunction>(p->Data);
    TQOREvent answer(callback, 0, 0);
    if (!AskList(callback, p, 4, -1, answer)) return;
    const int count = answer.intParameters[0];
    if (count < 1) return;
    auto* box = new TGui_DropDownBox(panel);
    box->SetSize(210, 16);
    box->SetName(p->GetName(), false);
    const int caption = KSN_ListCaptionWidth(TGui_Node::GetStringWidth(p->GetName()));
    box->BoxWidth = 210 - caption - 16;
    box->Caption->Width = caption;
    box->Caption->SetHint("%s", p->GetHint());
    box->SetEnabled(p->Enabled);
    int current = -1;
    if (AskList(callback, p, 2, -1, answer)) current = answer.intParameters[0];
    for (int i = 0; i < count; ++i) {
        std::string name;
        bool disabled = false;
        const bool named = AskList(callback, p, 0, i, answer);
        if (named) {
            name = answer.GetStringParameter(0) ? answer.GetStringParameter(0) : "";
            disabled = answer.intParameters[0] == 1;
        }
        std::string hint;
        bool hinted = AskList(callback, p, 1, i, answer) && answer.GetStringParameter(0);
        if (hinted) hint = answer.GetStringParameter(0);
        if (!named) continue;
        TQOREvent* choose = OwnedEvent(callback, p, 3);
        choose->SetIndex(i);
        TGui_MenuText* item = box->AddItem(name.c_str(), choose, hinted ? hint.c_str() : nullptr);
        if (item && disabled) item->Disable();
        if (i == current) {
            box->Box->SetName(name.c_str(), true);
            if (hinted) box->Box->SetHint("%s", hint.c_str());
        }
    }
}

struct TToolListChoice {
    TKSN_ToolList* List;
    TQOREventFunction Callback;
};

} // namespace

int KSN_ListCaptionWidth(int nameWidth) { return nameWidth <= 49 ? 60 : nameWidth + 10; }

void TKSN_MainWindow::AddToolParametersToNode(TGui_Node* panel, bool withOptionPanels)
{
    if (!panel) return;
    panel->Empty();
    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    if (!tool) return;
    if (tool->RebuildParametersWithPanel) {
        tool->ClearParameters();
        tool->UpdateAllParameters();
    }
    panel->SetHint("%s", tool->GetHint());

    // The selection box lists the first application list holding the tool.
    const TToolListChoice lists[] = {
        {App->sculptTools, SelectSculptCB},         {App->paintTools, SelectPaintBrushCB},
        {App->deformationTools, SelectTransformCB}, {App->selectionTools, SelectBrushCB},
        {App->navigationTools, SelectNavigationToolsCB}, {App->transformationTools, SelectTransformToolsCB},
        {App->additionalUtilities, SelectMoreToolsCB},   {App->modelingTools, SelectModelerCB},
    };
    const TToolListChoice* found = nullptr;
    for (const TToolListChoice& c : lists)
        if (c.List && c.List->Find(tool) >= 0) {
            found = &c;
            break;
        }
    auto* box = new TGui_DropDownBox(panel);
    box->SetSize(210, 16);
    box->SetName("Tool", false);
    box->BoxWidth = 210 - box->Arrow->Width;
    const char* hint = Lang.GetText(889);
    box->SetHint("%s", hint);
    box->Box->SetHint("%s", hint);
    box->Arrow->SetHint("%s", hint);
    if (!found) {
        box->Hide();
    } else {
        UpdateToolListMenu(box->GetMenu(), found->List, nullptr, found->Callback);
        int32_t& index = found->List->reservedValue;
        TKSN_Tool* shown = nullptr;
        if (index >= 0 && index < found->List->Count()) shown = (*found->List)[index];
        if (!shown) {
            index = -1;
            for (int i = 0; i < found->List->Count() && !shown; ++i) shown = (*found->List)[i];
        }
        if (shown) box->Box->SetName(shown->GetName(), true);
        panel->AddSeparator("", 0, 0);
    }

    TQORNewStaticList<TKSN_Parameter*>* params = tool->Parameters.get();
    for (int i = 0; params && i < params->Count(); ++i) {
        TKSN_Parameter* p = (*params)[i];
        if (!p) continue;
        switch (p->Type) {
        case KSN_PARAM_FLOAT: AddFloat(panel, tool, p); break;
        case KSN_PARAM_INT: AddInt(panel, p, 210, 100); break;
        case KSN_PARAM_BOOL: {
            TGui_CheckBox* c = AddSwitch(panel, p, 0, 0);
            if (!p->Enabled) c->Disable();
            break;
        }
        case KSN_PARAM_BUTTON: {
            TGui_Button* b = panel->AddButton(p->GetName(), 0, 0, p->GetHint());
            b->AutoSize = false;
            b->Width = 210;
            SetButtonEvents(b, p);
            break;
        }
        case KSN_PARAM_BUTTON_TRIPLET: AddButtonRow(panel, p); break;
        case KSN_PARAM_BOOL_TRIPLET: AddSwitchRow(panel, tool, p); break;
        case KSN_PARAM_INT_PAIR: AddIntPair(panel, p); break;
        case KSN_PARAM_LABEL: panel->AddText(p->GetName(), 0, 0, p->GetHint()); break;
        case KSN_PARAM_LIST: AddList(panel, p); break;
        case KSN_PARAM_SEPARATOR: panel->AddSeparator(p->GetName(), 0, 0); break;
        default: break;   // codes no tool creates
        }
    }
    if (withOptionPanels) KSN_AppendOptionPanels(panel, App->IsCurrentToolAPaintBrush());
}

void TKSN_MainWindow::UpdateTool()
{
    AddToolParametersToNode(ToolWindow, true);
    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    if (!tool || !ToolBar) return;
    if (ToolTabButton) ToolTabButton->SetGraphic(tool->Icon);

    ToolBar->Empty();
    ToolBar->MarginX = ToolBar->MarginY = 0;
    struct TTab {
        int Caption, Hint;
        const char* Icon;
        int Tab, Command, Int0;
    } const tabs[] = {
        {1158, 486, "Paint", 3, 416, 3},
        {1159, 38, "Morph-Tab", 1, 416, 1},
        {1160, 118, "Modelers", 4, 419, 0},
    };
    int x = 1;
    for (const TTab& t : tabs) {
        TGui_Button* b = ToolBar->AddButton(Lang.GetText(t.Caption), x, 1, Lang.GetText(t.Hint));
        TGui_Node* icon = b->AddNode("", 20, 20);
        icon->ShowName = false;
        icon->DrawSurface = false;
        icon->BorderWidth = 0;
        icon->MouseTransparent = true;
        icon->SetPosition(1, 1);
        icon->SetGraphic(QORglut_Textures_GetTextureFromList(t.Icon));
        b->UpdateSize();
        b->AutoSize = false;
        b->Height = ToolBar->Height + 4;
        b->ClickEvent = new TQOREvent(t.Command);
        if (t.Command == 416) b->ClickEvent->intParameters[0] = t.Int0;
        if (App->GetToolTypeTab() == t.Tab) {
            std::copy(ToolBar->BackgroundColor, ToolBar->BackgroundColor + 3, b->BackgroundColor);
            std::copy(ToolBar->BackgroundColor, ToolBar->BackgroundColor + 3, b->BackgroundColorB);
        }
        x += b->Width;
    }
}
