#include "KSN_MapWindows.h"

#include "GuiButton.h"
#include "GuiEditField.h"
#include "GuiGauge.h"
#include "GuiMaster.h"
#include "GuiText.h"
#include "GuiTheme.h"
#include "KSN_Application.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORglut.h"

#include <cmath>
#include <vector>

// [SECTION] Map entry

TKSN_MapNode::TKSN_MapNode(TGui_Node* parent, uint32_t mapID) : TGui_Node(parent), MapID(mapID) {}

namespace {

// A quad with texture coordinates 0..1 over the whole thumbnail texture.
void Quad(int x, int y, int w, int h)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2i(x, y);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2i(x + w, y);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2i(x + w, y + h);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2i(x, y + h);
    glEnd();
}

const float MultiSelectedItemColor[3] = {1.0f, 1.0f, 0.0f};

} // namespace

void TKSN_MapNode::Draw()
{
    const int w = Width, h = Height;
    SetColor(BackgroundColor);
    auto* map = MapID ? dynamic_cast<TQORMaterialMapSource*>(__GetThingyFromID(MapID)) : nullptr;
    if (map) {
        SetColor(map->GetDefaultColor());
        Quad(0, 0, w, h);
        if (!map->GetPreviewTexture()) {
            float grid1[3] = {}, grid2[3] = {};
            map->MakeThumbnail(grid1, grid2);
        }
        if (const uint32_t texture = map->GetPreviewTexture()) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        }
    }
    SetColor(1.0f, 1.0f, 1.0f);
    Quad(2, 2, w - 4, h - 4);
    glDisable(GL_TEXTURE_2D);
    DrawBevel(0, 0, w, h, false, BorderWidth);
    if (map && map->multiSelected) {
        SetColor(MultiSelectedItemColor);
        glLineWidth(4.0f);
        glBegin(GL_LINE_LOOP);
        glVertex2i(1, 0);
        glVertex2i(w - 1, 0);
        glVertex2i(w - 1, h - 2);
        glVertex2i(1, h - 2);
        glEnd();
        glLineWidth(1.0f);
    }
}

bool TKSN_MapNode::OnClick(int x, int y)
{
    const bool result = TGui_Node::OnClick(x, y);
    QOREvents_PushEvent(435);
    return result;
}

bool TKSN_MapNode::OnRightClick(int x, int y)
{
    const bool result = TGui_Node::OnRightClick(x, y);
    QOREvents_PushEvent(435);
    return result;
}

// [SECTION] New-map window

namespace {

TGui_TextAndGauge* SizeControl(TGui_Node* parent, const char* label, int y)
{
    auto* control = new TGui_TextAndGauge(parent);
    control->Width = 200;
    control->CaptionWidth = 90;
    control->Caption->SetName(label, true);
    control->Gauge->Decimals = 0;
    control->Gauge->ShowValueAsName = true;
    control->Gauge->Minimum = 2.0f;
    control->Gauge->Maximum = 20000.0f;
    control->SetPosition(parent->MarginX, y);
    return control;
}

int GaugeWholeValue(TGui_TextAndGauge* control)
{
    return control ? int(std::lround(control->Gauge->GetValue())) : 0;
}

} // namespace

TKSN_NewMapWindow::TKSN_NewMapWindow(TGui_Node* parent) : TKSN_SubWindow(parent)
{
    MakeNonResizeable();
    const int x = MarginX, y = MarginY;
    NameField = AddEditText("Name", 0);
    NameField->CaptionWidth = 60;
    NameField->SetSize(200, NameField->Height);
    NameField->SetPosition(x, y);
    WidthControl = SizeControl(this, "Width", y + 26);
    HeightControl = SizeControl(this, "Height", y + 52);
    ButtonBar = AddNode("", 200, 24);
    ButtonBar->MarginX = ButtonBar->MarginY = 0;
    ButtonBar->ShowName = false;
    ButtonBar->DrawSurface = false;
    ButtonBar->BorderWidth = 0;
    ButtonBar->SetPosition(x, y + 80);
    SetSize(220, 140);
    SetName(Lang.GetText(688), false);
    Hide();
}

int TKSN_NewMapWindow::GetMapWidth() { return GaugeWholeValue(WidthControl); }
int TKSN_NewMapWindow::GetMapHeight() { return GaugeWholeValue(HeightControl); }

void TKSN_NewMapWindow::Execute()
{
    ButtonBar->Empty();
    for (TGui_TextAndGauge* control : {WidthControl, HeightControl}) {
        control->Gauge->Minimum = 2.0f;
        control->Gauge->Maximum = 20000.0f;
    }
    TGui_Button* ok = nullptr;
    if (Mode == ModeCreate) {
        NameField->Show();
        char name[TOS_PATH_BUFFER];
        GetUniqueMapName(Lang.GetText(1065), name);
        NameField->EditField->SetText(name);
        SetName(Lang.GetText(688), false);
        WidthControl->Gauge->SetValue(float(QORDefaultTextureSize), false);
        HeightControl->Gauge->SetValue(float(QORDefaultTextureSize), false);
        ok = ButtonBar->AddButton(Lang.GetText(1064), 0, 0, nullptr);
        auto* event = new TQOREvent(KestruneEvents_CommandCB, 0, 471);
        event->SetOwner(NameField);
        ok->ClickEvent = event;
    } else {
        SetName(Lang.GetText(1063), false);
        NameField->Hide();
        auto* map = MapToResize;
        if (!map) {
            OS.WarningMessageNoRepeat("%s", Lang.GetText(1541));
            return;
        }
        WidthControl->Gauge->SetValue(float(map->GetWidth()), false);
        HeightControl->Gauge->SetValue(float(map->GetHeight()), false);
        ok = ButtonBar->AddButton(Lang.GetText(1064), 0, 0, nullptr);
        auto* event = new TQOREvent(KestruneEvents_CommandCB, 0, 459);
        event->SetOwner(map);
        ok->ClickEvent = event;
    }
    ok->AutoSize = false;
    ok->SetSize(200, ok->Height);
    TGui_Window::Execute();
    if (Mode == ModeCreate) {
        if (TGui_Master* master = GetMaster()) master->SetActiveNode(NameField->EditField);
        NameField->EditField->SelectAllText();
    }
}

TKSN_NewMapWindow* KSN_GetNewMapWindow()
{
    return MainWindow ? dynamic_cast<TKSN_NewMapWindow*>(MainWindow->NewMapWindow) : nullptr;
}
