// The colour swatches' layout and commands, and the animation controls.
#include "KSN_MainWindowTestSupport.h"

#include "GuiDropDown.h"
#include "GuiGauge.h"
#include "KSN_Gui_Swatches.h"

namespace {
using Swatches = MainWindowFixture;
}

TEST_F(Swatches, TheSwatchButtonsRaiseTheirCommandsAndFollowTheApplicationColours)
{
    auto* s = dynamic_cast<TKSN_ColorSelectionNode*>(W().ColorSwatch);
    ASSERT_NE(s, nullptr);
    struct TCase {
        TGui_Button* B;
        int X, Y, Size, Command;
    } const cases[] = {
        {s->Primary, 0, 0, 18, 485}, {s->Secondary, 12, 12, 18, 486}, {s->Swap, 20, 0, 12, 487}, {s->Reset, 0, 20, 12, 488}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Command);
        EXPECT_EQ(c.B->X, c.X);
        EXPECT_EQ(c.B->Y, c.Y);
        EXPECT_EQ(c.B->Width, c.Size);
        EXPECT_EQ(c.B->ClickEvent->GetCommand(), c.Command);
        EXPECT_EQ(c.B->ClickEvent->callback, &KestruneEvents_CommandCB);
    }
    // The secondary lies beneath the primary.
    EXPECT_EQ(s->FirstChild, s->Secondary);
    EXPECT_NE(s->Swap->GetGraphic(), nullptr);
    EXPECT_NE(s->Reset->GetGraphic(), nullptr);

    App->paintColor[0] = 0.25f;
    App->secondaryPaintColor[2] = 0.5f;
    Layout();
    EXPECT_FLOAT_EQ(s->Primary->BackgroundColor[0], 0.25f);
    EXPECT_FLOAT_EQ(s->Secondary->BackgroundColor[2], 0.5f);
}

TEST_F(Swatches, TheAnimationChoiceAllFramesRaises119With3)
{
    KSN_DeformFramesMode = 2;
    auto* a = new TKSN_AnimationControlsNode(&W());
    EXPECT_STREQ(a->AffectFrames->Box->GetName(), "Current and past");
    EXPECT_FLOAT_EQ(a->Frame->Gauge->Maximum, 30.0f);
    EXPECT_EQ(a->Frame->Gauge->FloatVariableEvent->GetCommand(), 102);
    auto items = RealItems(a->AffectFrames->GetMenu());
    ASSERT_EQ(items.size(), 4u);
    EXPECT_STREQ(items[1]->GetName(), "All frames");
    EXPECT_EQ(items[1]->ClickEvent->GetCommand(), 119);
    EXPECT_EQ(items[1]->ClickEvent->intParameters[0], 3);
    for (TGui_Button* b : a->Transport) {
        EXPECT_EQ(b->ClickEvent, nullptr);
        EXPECT_EQ(b->Width, 16);
    }
    KSN_DeformFramesMode = 0;
}
