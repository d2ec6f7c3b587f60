#include "KSN_Gui_OptionPanels.h"

#include "GuiButton.h"
#include "GuiGauge.h"
#include "GuiPanel.h"
#include "GuiText.h"
#include "KSN_Application.h"
#include "KSN_Deformer.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "KSN_ToolKinds.h"
#include "KestruneEvents.h"
#include "QOREvents.h"
#include "QORLanguage.h"

#include <algorithm>

bool KSN_OptionPanelCollapsed[7] = {};

namespace {

constexpr int kRow = 16;

TKSN_Tool* CurrentTool() { return App ? App->currentTool : nullptr; }

bool HasFlag(TKSN_Tool* tool, uint32_t flag) { return tool && (tool->Flags & flag) != 0; }

TQOREvent* Command(int command) { return new TQOREvent(KestruneEvents_CommandCB, 0, command); }

int InnerWidth(TGui_Node* parent)
{
    int w = parent->Width - 2 * parent->MarginX;
    if (parent->VerticalScrollBar) w -= parent->VerticalScrollBar->Width;
    return std::max(w, 40);
}

struct TPanelBuild {
    TGui_CollapsiblePanel* Panel = nullptr;
    TGui_Node* Content = nullptr;
    int Left = 0;        // the content's left margin
    int Width = 0;       // the content's width
    int Half() const { return Left + Width / 2; }
};

TPanelBuild MakePanel(TGui_Node* parent, int title, int hint, int command, int topMargin, int height)
{
    TPanelBuild b;
    b.Panel = new TGui_CollapsiblePanel(parent);
    b.Panel->SetName(Lang.GetText(title), false);
    b.Panel->SetHint("%s", Lang.GetText(hint));
    b.Panel->AddTitleBar();
    b.Panel->Toggle->ClickEvent = Command(command);
    b.Panel->Width = InnerWidth(parent);
    b.Panel->MarginY = topMargin;
    b.Panel->Height = height;
    b.Panel->OpenHeight = height;
    b.Content = b.Panel->AddNode("", b.Panel->Width - 2 * parent->MarginX, 20);
    b.Content->ShowName = false;
    b.Content->DrawSurface = false;
    b.Content->BorderWidth = 0;
    b.Left = b.Content->MarginX;
    b.Width = b.Content->Width - 2 * b.Content->MarginX;
    return b;
}

int LowestBottom(TGui_Node* node)
{
    int bottom = 0;
    for (TGui_Node* c = node->FirstChild; c; c = c->Next)
        if (c->Shown) bottom = std::max(bottom, c->Y + c->Height);
    return bottom;
}

void Finish(TPanelBuild& b, bool collapsed)
{
    b.Content->Height = LowestBottom(b.Content) + 6;
    b.Panel->Height = b.Panel->OpenHeight = b.Content->Height + b.Panel->TitleHeight + 2 * b.Panel->MarginY;
    if (collapsed) b.Panel->Collapse();
}

TGui_CheckBox* Box(TGui_Node* parent, int label, int hint, int x, int y)
{
    return parent->AddCheckBox(Lang.GetText(label), x, y, Lang.GetText(hint));
}

TGui_CheckBox* Live(TGui_Node* parent, int label, int hint, int x, int y, int id)
{
    TGui_CheckBox* c = Box(parent, label, hint, x, y);
    c->BoolVariableEvent = Command(id);
    return c;
}

TGui_TextAndGauge* Gauge(TGui_Node* parent, int label, int hint, int width, int captionWidth, int id)
{
    auto* g = new TGui_TextAndGauge(parent);
    g->Width = width;
    g->CaptionWidth = captionWidth;
    g->Caption->SetName(Lang.GetText(label), true);
    g->SetHint("%s", Lang.GetText(hint));
    g->Gauge->Minimum = 0.0f;
    g->Gauge->Maximum = 100.0f;
    g->Gauge->Decimals = 0;
    g->Gauge->ShowValueAsName = true;
    g->Gauge->FloatVariableEvent = Command(id);
    return g;
}

void MainWindowPanelID(uint32_t TKSN_MainWindow::*field, TGui_Node* panel)
{
    if (MainWindow) MainWindow->*field = panel->GetID();
}

bool IsSelectionBrush(TKSN_Tool* tool)
{
    return dynamic_cast<TKSN_SelectionBrush*>(tool) || dynamic_cast<TKSN_BasicSelectionBrush_v4*>(tool) ||
           dynamic_cast<TKSN_TouchupSelectionBrush_v4*>(tool) || dynamic_cast<TKSN_EraserSelectionBrush_v4*>(tool);
}

// The symmetric selection and symmetric morph actions of the "Mirror and
// Symmetry" buttons (command 0: right to left, 1: left to right).
// TODO(stub): the selection brushes' and deformers' symmetric operations;
// until their tools exist the buttons report that nothing was done.
bool SymmetricSelectionCB(TQOREvent*) { return false; }
bool SymmetricMorphCB(TQOREvent*) { return false; }

} // namespace

void SetupCullingPanel(TGui_Node* parent)
{
    TKSN_Tool* tool = CurrentTool();
    if (!parent || !tool) return;
    TPanelBuild b = MakePanel(parent, 1545, 1546, 130, 0, 100);
    MainWindowPanelID(&TKSN_MainWindow::CullingPanelID, b.Panel);
    TGui_Node* c = b.Content;
    const int left = b.Left, third = (b.Width - 64) / 3;
    int y = c->MarginY;

    c->AddText(Lang.GetText(1306), left, y, Lang.GetText(1301));
    Live(c, 1302, 1303, left + 60, y, 95);
    Live(c, 1304, 1305, left + (b.Width - 64) / 2 + 60, y, 96);
    y += kRow;

    auto* deformer = dynamic_cast<TKSN_Deformer*>(tool);
    auto* chisel = dynamic_cast<TKSN_Chisel*>(tool);
    if (deformer || chisel) {
        c->AddSeparator(Lang.GetText(1547), left, y);
        y += kRow;
        if (HasFlag(tool, KSN_TOOL_HONOURS_AXIS_LOCKS)) {
            c->AddText(Lang.GetText(797), left, y, Lang.GetText(791));
            const int labels[3] = {790, 792, 794};
            for (int a = 0; a < 3; ++a) Live(c, labels[a], 791, left + 60 + a * third, y, 49 + a);
            y += kRow;
        }
        const bool snap = deformer ? deformer->CanSnapToClosestVertex() : chisel->CanSnapToClosestVertex();
        Live(c, 1549, 1550, left, y, 48)->SetEnabled(snap);
        y += kRow;
    }
    if (dynamic_cast<TKSN_Navigator*>(tool)) {
        c->AddSeparator(Lang.GetText(1551), left, y);
        y += kRow;
        // TODO(stub): the navigators' own test whether they can centre on
        // the picked point; every navigator offers it until they exist.
        Live(c, 1552, 1553, left, y, 47);
        y += kRow;
    }
    if (tool->ActingAsABrush()) {
        c->AddSeparator(Lang.GetText(1554), left, y);
        y += kRow;
        if (IsSelectionBrush(tool)) {
            Live(c, 163, 164, left, y, 64)->SetEnabled(HasFlag(tool, 0x8));
            y += kRow;
        }
        if (dynamic_cast<TKSN_PaintBrush*>(tool)) {
            Live(c, 756, 757, left, y, 40);
            y += kRow;
        }
        const bool fade = HasFlag(tool, 0x2);
        const bool fading = fade && Project && Project->DoAngleFade;
        Live(c, 272, 273, left, y, 56)->SetEnabled(fade);
        TGui_TextAndGauge* falloff = Gauge(c, 855, 856, 100, 50, 57);
        falloff->SetPosition(b.Half(), y);
        falloff->SetEnabled(fading);
        y += kRow;
        TGui_TextAndGauge* cutoff = Gauge(c, 1674, 1675, 100, 50, 58);
        cutoff->SetPosition(b.Half(), y);
        cutoff->SetEnabled(fading);
        y += kRow;

        // The culling boxes are plain commands: the method is read once here
        // and the rebuild after a change shows the new checks.
        TGui_Separator* culling = c->AddSeparator(Lang.GetText(461), left, y);
        culling->SetHint("%s", Lang.GetText(462));
        y += kRow;
        const int method = Project ? Project->GetCullingMethod() : 0;
        struct TCullBox {
            int label, hint, command, method, row;
            bool right;
            bool enabled;
        } const boxes[] = {
            {1668, 1669, 99, 2, 0, false, tool->CanUseSmartCulling()},
            {847, 848, 97, 0, 1, false, tool->CanUseNoCulling()},
            {849, 850, 98, 1, 2, false, tool->CanUseBackfaceCulling()},
            {851, 852, 100, 3, 0, true, tool->CanUsePerVertexCulling()},
            {1590, 1591, 101, 4, 1, true, tool->CanUsePerVertexCulling()},
        };
        for (const TCullBox& box : boxes) {
            TGui_CheckBox* check = Box(c, box.label, box.hint, box.right ? b.Half() : left, y + box.row * kRow);
            check->ChangeEvent = Command(box.command);
            check->Pressed = method == box.method;
            check->SetEnabled(box.enabled);
        }
        y += 3 * kRow;
        if (method == 2) {
            c->AddSeparator("Smart Culling Options", left, y);
            y += kRow;
            TGui_CheckBox* align = c->AddCheckBox("Auto Align Brush", left, y, "Auto Align Brush");
            align->BoolVariableEvent = Command(61);
            align->SetEnabled(tool->CanUseSmartCulling() && !dynamic_cast<TKSN_PaintBrush*>(tool));
            TGui_CheckBox* back = c->AddCheckBox("Backface", b.Half(), y, "Backface");
            back->BoolVariableEvent = Command(63);
            back->SetEnabled(tool->CanUseSmartCulling());
        }
    }
    Finish(b, KSN_OptionPanelCollapsed[0]);
}

void SetupPaintPanel(TGui_Node* parent)
{
    if (!parent || !App) return;
    TPanelBuild b = MakePanel(parent, 504, 505, 132, 0, 85);
    if (MainWindow) MainWindow->PaintPanelID = b.Panel->GetID();
    const int column = b.Width / 3, top = b.Content->MarginY + 5;
    struct TChannel {
        const char* name;
        int id, column, row;
    } const channels[] = {
        {"Current", 78, 0, 0},      {"Color", 79, 0, 1},        {"Bump", 80, 0, 2},    {"Transparency", 81, 1, 0},
        {"Displacement", 82, 1, 1}, {"Ambient", 84, 1, 2}, {"Specular", 83, 2, 0},
    };
    for (const TChannel& ch : channels) {
        TGui_CheckBox* box = b.Content->AddCheckBox(App->GetTruncatedDisplayNameForChannel(ch.name),
                                                    b.Left + ch.column * column, top + ch.row * kRow, "");
        box->BoolVariableEvent = Command(ch.id);
        if (ch.id == 78 && Project) box->Pressed = Project->PaintCurrentChannel;
    }
    Finish(b, KSN_OptionPanelCollapsed[2]);
}

void SetupSymmetricOptions(TGui_Node* parent)
{
    TKSN_Tool* tool = CurrentTool();
    if (!parent || !tool || !App) return;
    TPanelBuild b = MakePanel(parent, 530, 531, 136, 1, 100);
    MainWindowPanelID(&TKSN_MainWindow::SymmetryPanelID, b.Panel);
    TGui_Node* c = b.Content;
    const int left = b.Left;
    int y = c->MarginY;

    c->AddSeparator(Lang.GetText(758), left, y);
    y += kRow;
    const bool mirror = HasFlag(tool, KSN_TOOL_MIRRORED_INPUT);
    Live(c, 235, 236, left, y, 59)->SetEnabled(mirror);
    Live(c, 237, 238, b.Half(), y, 60)->SetEnabled(mirror);
    y += kRow + 5;

    c->AddSeparator(Lang.GetText(446), left, y);
    y += kRow;
    const bool symmetric = HasFlag(tool, KSN_TOOL_SYMMETRIC);
    const bool on = Project && Project->UseSymmetry;
    Live(c, 598, 599, left, y, 125)->SetEnabled(symmetric);
    y += kRow;
    Live(c, 538, 539, left, y, 128)->SetEnabled(symmetric && on);
    y += kRow;
    if (App->GetToolTypeTab() == 3) {
        Live(c, 438, 439, left, y, 126)->SetEnabled(symmetric && on);
        y += kRow;
        Live(c, 425, 426, left, y, 127)->SetEnabled(symmetric && on);
        y += kRow;
    }

    const int mode = Project ? Project->GetMode() : -1;
    if (mode == 0 || mode == 1) {
        const bool modelling = App->GetToolTypeTab() == 4 && mode == 1;
        const TQOREventFunction action = mode == 0 ? SymmetricSelectionCB : SymmetricMorphCB;
        const int hints[3] = {mode == 0 ? 541 : 1167, mode == 0 ? 543 : 1168, mode == 0 ? 943 : 657};
        const int halfWidth = b.Width / 2 - 8;
        TGui_Button* buttons[3];
        buttons[0] = c->AddButton(Lang.GetText(540), left, y, Lang.GetText(hints[0]));
        buttons[1] = c->AddButton(Lang.GetText(542), b.Half(), y, Lang.GetText(hints[1]));
        buttons[2] = c->AddButton(Lang.GetText(815), left, y + 18, Lang.GetText(hints[2]));
        for (int i = 0; i < 3; ++i) {
            buttons[i]->AutoSize = false;
            buttons[i]->SetSize(i < 2 ? halfWidth : b.Width - 8, 16);
            buttons[i]->ClickEvent =
                i < 2 ? new TQOREvent(action, 0, i) : Command(mode == 0 ? 234 : 215);
            buttons[i]->SetEnabled(symmetric && !modelling);
            if (modelling) TKSN_Application_AddDisabledInModelerHint(buttons[i]);
        }
    }
    Finish(b, Project ? Project->SymmetryPanelCollapsed : false);
}

void SetupTabletPanel(TGui_Node* parent)
{
    if (!parent || !CurrentTool()) return;
    TPanelBuild b = MakePanel(parent, 807, 808, 131, 1, 110);
    TGui_Node* c = b.Content;
    int y = c->MarginY;
    Gauge(c, 1146, 1307, 210, 100, 92)->SetPosition(b.Left, y);
    y += kRow + 2;
    Gauge(c, 1308, 1309, 210, 100, 93)->SetPosition(b.Left, y);
    y += kRow + 2;
    c->AddSeparator(Lang.GetText(1310), b.Left, y);
    y += kRow;
    Live(c, 1142, 1143, b.Left, y, 72);
    Live(c, 1140, 1141, b.Half(), y, 74);
    y += kRow;
    Live(c, 809, 810, b.Left, y, 71);
    Live(c, 1138, 1139, b.Half(), y, 73);
    if (!c->FirstChild) {
        b.Panel->Unlink();
        delete b.Panel;
        return;
    }
    Finish(b, KSN_OptionPanelCollapsed[1]);
}

TGui_Node* SetupMouseWheelPanel(TGui_Node* parent)
{
    if (!parent || !CurrentTool()) return nullptr;
    TPanelBuild b = MakePanel(parent, 1144, 1145, 133, 1, 130);
    TGui_Node* c = b.Content;
    int y = c->MarginY;
    Gauge(c, 1146, 1311, 210, 100, 91)->SetPosition(b.Left, y);
    y += kRow + 2;
    c->AddSeparator(Lang.GetText(960), b.Left, y);
    y += kRow;
    Live(c, 984, 985, b.Left, y, 86);
    y += kRow;
    c->AddSeparator(Lang.GetText(1310), b.Left, y);
    y += kRow;
    Live(c, 1149, 1150, b.Left, y, 88);
    Live(c, 1153, 1154, b.Half(), y, 90);
    y += kRow;
    Live(c, 1147, 1148, b.Left, y, 87);
    Live(c, 1151, 1152, b.Half(), y, 89);
    Finish(b, KSN_OptionPanelCollapsed[3]);
    return nullptr;
}

void KSN_AppendOptionPanels(TGui_Node* parent, bool paintBrush)
{
    if (MainWindow) MainWindow->CullingPanelID = MainWindow->PaintPanelID = MainWindow->SymmetryPanelID = 0;
    if (!parent || !CurrentTool()) return;
    SetupCullingPanel(parent);
    if (paintBrush) SetupPaintPanel(parent);
    SetupSymmetricOptions(parent);
    SetupTabletPanel(parent);
    SetupMouseWheelPanel(parent);
}
