// Colour swatches and animation controls (see KSN_Gui_Swatches.h).
#include "KSN_Gui_Swatches.h"

#include "GuiButton.h"
#include "GuiDropDown.h"
#include "GuiGauge.h"
#include "GuiText.h"
#include "KSN_Application.h"
#include "KestruneEvents.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"

#include <algorithm>

int KSN_DeformFramesMode = 0;

namespace {

TGui_Button* SwatchButton(TGui_Node* parent, int x, int y, int size, int hint, int command)
{
    TGui_Button* b = parent->AddButton("", x, y, Lang.GetText(hint));
    b->AutoSize = false;
    b->ShowName = false;
    b->SetSize(size, size);
    b->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, command);
    return b;
}

} // namespace

TKSN_ColorSelectionNode::TKSN_ColorSelectionNode(TGui_Node* parent) : TGui_Node(parent)
{
    SetName("", false);
    ShowName = false;
    SetSize(32, 32);
    BorderWidth = 0;
    DrawSurface = false;
    Secondary = SwatchButton(this, 12, 12, 18, 362, 486);
    Primary = SwatchButton(this, 0, 0, 18, 361, 485);
    for (TGui_Button* s : {Secondary, Primary}) {
        s->FlashAsOutline = true;
        s->Gradient = false;
        s->Rounded = false;
    }
    Swap = SwatchButton(this, 20, 0, 12, 363, 487);
    Swap->SetGraphic(QORglut_Textures_GetTextureFromList("SwapColors"));
    Reset = SwatchButton(this, 0, 20, 12, 364, 488);
    Reset->SetGraphic(QORglut_Textures_GetTextureFromList("ResetBrushColors"));
    for (TGui_Button* b : {Swap, Reset}) {
        b->BevelOnMouseOverOnly = true;
        b->BorderWidth = 0;
    }
}

void TKSN_ColorSelectionNode::OnUpdateContents()
{
    TGui_Node::OnUpdateContents();
    if (!App) return;
    for (int i = 0; i < 3; ++i) {
        Primary->BackgroundColor[i] = Primary->BackgroundColorB[i] = App->paintColor[i];
        Secondary->BackgroundColor[i] = Secondary->BackgroundColorB[i] = App->secondaryPaintColor[i];
    }
}

TKSN_AnimationControlsNode::TKSN_AnimationControlsNode(TGui_Node* parent) : TGui_CollapsiblePanel(parent)
{
    SetName("Animation", false);
    TitleHeight = 16;
    Width = 230;
    const int mx = MarginX, my = MarginY;

    Frame = new TGui_TextAndGauge(this);
    Frame->SetPosition(Frame->X, my);
    Frame->Width = Width - 2 * mx;
    Frame->CaptionWidth = 50;
    Frame->Caption->SetName("Frame", true);
    Frame->SetHint("%s", "Frame");
    Frame->Gauge->Minimum = 0.0f;
    Frame->Gauge->Maximum = 30.0f;
    Frame->Gauge->Decimals = 0;
    Frame->Gauge->ShowValueAsName = true;
    Frame->Gauge->FloatVariableEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 102);

    // The transport buttons are placeholders: they raise nothing.
    const char* captions[] = {">", "||", "S", "<<", ">>"};
    const int by = my + Frame->Height + my;
    int x = mx;
    for (int i = 0; i < 5; ++i) {
        TGui_Button* b = AddButton(captions[i], x, by, nullptr);
        b->AutoSize = false;
        b->SetSize(16, 16);
        Transport[i] = b;
        x += 16 + mx;
    }

    AffectFrames = new TGui_DropDownBox(this);
    AffectFrames->SetName("When deforming, affect...", false);
    AffectFrames->SetPosition(mx, by + 2 * (my + 16));
    AffectFrames->Width = Width - 2 * mx;
    AffectFrames->BoxWidth = AffectFrames->Width - 150;
    const struct {
        const char* Text;
        int Value;
    } items[] = {{"Current frame only", 0}, {"All frames", 3}, {"Current and future", 1}, {"Current and past", 2}};
    for (const auto& item : items) {
        auto* e = new TQOREvent(KestruneEvents_CommandCB, 0, 119);
        e->intParameters[0] = item.Value;
        AffectFrames->AddItem(item.Text, e, nullptr);
        if (item.Value == KSN_DeformFramesMode) AffectFrames->Box->SetName(item.Text, true);
    }
}
