// The brush colour swatches at the foot of the mode bar, and the (hidden)
// animation controls. The swatches hold no colour of their own: every layout
// pass copies the application's colours, so a colour changed anywhere shows
// at the next frame.
#pragma once

#include "GuiPanel.h"

class TGui_Button;
class TGui_DropDownBox;
class TGui_TextAndGauge;

class TKSN_ColorSelectionNode : public TGui_Node {
public:
    explicit TKSN_ColorSelectionNode(TGui_Node* parent);
    void OnUpdateContents() override;

    TGui_Button* Secondary = nullptr;   // beneath the primary where they overlap
    TGui_Button* Primary = nullptr;
    TGui_Button* Swap = nullptr;
    TGui_Button* Reset = nullptr;
};

class TKSN_AnimationControlsNode : public TGui_CollapsiblePanel {
public:
    explicit TKSN_AnimationControlsNode(TGui_Node* parent);

    TGui_TextAndGauge* Frame = nullptr;
    TGui_Button* Transport[5] = {};
    TGui_DropDownBox* AffectFrames = nullptr;
};

// TODO(stub): the project's deform-frames mode (0 current frame only, 1 and
// future, 2 and past, 3 all frames) belongs to the animation data; until it
// exists the controls read it here.
extern int KSN_DeformFramesMode;
