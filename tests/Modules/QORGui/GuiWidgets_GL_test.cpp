// Widgets drawn for real on the shell's window and read back: an edit field's
// text, caret and selection, clipping of long text, of a field narrower than
// its margins and of an empty one, a gauge's bar, and a folded panel.
#include "GuiGLTestSupport.h"
#include "GuiWidgets.h"

#include <string>

namespace {

class GuiWidgetsDrawTest : public TGuiFrameTest {
protected:
    TGui_EditField* AddField(int x, int y, int w, const char* text)
    {
        auto* f = new TGui_EditField(App.get());
        f->AutoSize = false;
        f->SetPosition(x, y);
        f->SetSize(w, 20);
        f->SetText(text);
        return f;
    }
    // Gives the node the focus and lets its focus flash pass on the stopped clock.
    void Focus(TGui_Node* node)
    {
        App->Clock.Stop();
        App->Clock.SetTime(10.0);
        App->SetActiveNode(node);
        Frame();
        App->Clock.SetTime(11.0);
    }
    // Pixels of column x, rows y0 .. y1 - 1, that are black.
    int BlackInColumn(int x, int y0, int y1) const { return CountNear(x, y0, x + 1, y1, TPixel{0, 0, 0}); }
};

TEST_F(GuiWidgetsDrawTest, AFocusedFieldShowsItsTextAndACaretAtTheCaretsX)
{
    App->HideFocusOutline = true;
    TGui_EditField* f = AddField(100, 100, 120, "HH");
    f->Cursor = 1;
    const TPixel surface = Bytes(f->BackgroundColor);
    const int caretX = 100 + f->MarginX + f->CharWidth(0);
    Frame();
    EXPECT_TRUE(Near(At(100 + 60, 110), surface));
    EXPECT_GT(CountNot(100 + f->MarginX, 102, caretX, 118, surface), 10) << "the first character is drawn";
    const int before = BlackInColumn(caretX, 101, 119);

    Focus(f);
    Frame();
    EXPECT_GE(BlackInColumn(caretX, 101, 119), 17) << "a caret line from top to bottom";
    EXPECT_LT(before, 17);
    EXPECT_LT(BlackInColumn(caretX + 3, 101, 119), 17);
    EXPECT_GT(CountNot(caretX + 1, 102, caretX + f->CharWidth(1), 118, surface), 10) << "the second character";
}

TEST_F(GuiWidgetsDrawTest, ASelectedCharacterSitsOnTheSelectionColourOnlyWhileFocused)
{
    App->HideFocusOutline = true;
    TGui_EditField* f = AddField(100, 150, 120, "MM");
    f->SelectionStart = 0;
    f->SelectionEnd = 1;
    const TPixel selection{0, 0, int(0.7f * 255 + 0.5f)};
    const int x0 = 100 + f->MarginX, x1 = x0 + f->CharWidth(0);
    Frame();
    EXPECT_EQ(CountNear(100, 150, 220, 170, selection), 0);
    Focus(f);
    Frame();
    EXPECT_GT(CountNear(x0, 150, x1, 170, selection), 20);
    EXPECT_EQ(CountNear(x1, 150, 220, 170, selection), 0) << "only the selected character";
    EXPECT_GT(CountNear(x0, 150, x1, 170, TPixel{255, 255, 255}), 5) << "drawn in white";
}

TEST_F(GuiWidgetsDrawTest, LongTextAndATooNarrowFieldStayInsideTheirFields)
{
    App->HideFocusOutline = true;
    TGui_EditField* longField = AddField(100, 100, 80, std::string(10000, 'W').c_str());
    longField->Cursor = 10000;
    TGui_EditField* narrow = AddField(300, 100, 6, "WWWW");
    narrow->Cursor = 4;
    TGui_EditField* empty = AddField(320, 100, 8, "");
    empty->SelectionStart = 0;
    empty->SelectionEnd = 1;   // a stale selection over nothing draws nothing
    Focus(longField);
    Frame();
    EXPECT_GT(longField->FirstVisible, 9980);
    for (int y = 80; y < 140; ++y)
        for (int x = 80; x < 340; ++x) {
            bool inLong = x >= 100 && x < 180 && y >= 100 && y < 120;
            bool inNarrow = x >= 300 && x < 306 && y >= 100 && y < 120;
            bool inEmpty = x >= 320 && x < 328 && y >= 100 && y < 120;
            if (!inLong && !inNarrow && !inEmpty) {
                ASSERT_TRUE(Near(At(x, y), TPixel{0, 0, 0})) << x << "," << y;
            }
        }
    EXPECT_GT(CountNot(105, 103, 175, 117, Bytes(longField->BackgroundColor)), 20) << "the end of the text shows";
}

TEST_F(GuiWidgetsDrawTest, AGaugeAtHalfFillsOnlyItsLeftHalf)
{
    auto* g = new TGui_Gauge(App.get());
    g->SetPosition(100, 200);
    g->SetSize(100, 16);
    g->EditField->Hide();
    g->DropDownButton->Hide();
    g->Value = 0.5f;
    auto isBar = [&](int x, int y) {
        TPixel p = At(x, y);
        return p[0] > 200 && p[2] < 80;
    };
    Frame();
    int left = 0, right = 0;
    for (int y = 201; y < 215; ++y)
        for (int x = 100; x < 200; ++x) (x < 150 ? left : right) += isBar(x, y) ? 1 : 0;
    EXPECT_GT(left, 40 * 12);
    EXPECT_EQ(right, 0);

    g->Minimum = g->Maximum = 0.5f;   // an empty range draws no bar
    Frame();
    int any = 0;
    for (int y = 201; y < 215; ++y)
        for (int x = 100; x < 200; ++x) any += isBar(x, y) ? 1 : 0;
    EXPECT_EQ(any, 0);
}

TEST_F(GuiWidgetsDrawTest, AFoldedPanelIsTwentyPixelsHighAndDrawsNothingBelow)
{
    auto* panel = new TGui_CollapsiblePanel(App.get());
    panel->SetPosition(300, 100);
    panel->SetSize(150, 120);
    panel->SetName("Panel", true);
    TGui_Node* content = panel->AddNode(nullptr, 100, 60);
    content->SetPosition(10, 10);
    content->ShowName = false;
    content->BackgroundColor[0] = 0.0f;
    content->BackgroundColor[1] = 1.0f;
    content->BackgroundColor[2] = 0.0f;
    Frame();
    EXPECT_GT(CountNear(300, 100, 450, 220, Bytes(content->BackgroundColor)), 1000) << "open: the content shows";

    panel->Collapse();
    Frame();
    EXPECT_EQ(panel->Height, 20);
    EXPECT_EQ(CountNot(290, 120, 460, 240, TPixel{0, 0, 0}), 0);
    EXPECT_GT(CountNot(300, 100, 450, 120, TPixel{0, 0, 0}), 150 * 20 / 2) << "the folded strip is drawn";
    // The band's left end is the first title-bar colour.
    EXPECT_TRUE(Near(At(302, 110), Bytes(QORglutWigits_TitleBarColorA))) << At(302, 110)[0];
}

} // namespace
