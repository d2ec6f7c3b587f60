// The main window's sizing pass without drawing: the side column for each
// tab (tab bar, side panel, layer window, tab pages and their buttons, the
// line under the current tab), the tool bar and the mode bar, and the
// viewport area with and without the tool bar and the side panel.
#include "KSN_ViewportTestSupport.h"

#include "GuiButton.h"
#include "GuiGauge.h"
#include "GuiMenu.h"
#include "GuiWindow.h"
#include "KSN_Gui_LayerWindow.h"
#include "QORLanguage.h"

#include <algorithm>
#include <array>

namespace {

using TColour = std::array<float, 3>;

TColour First(const TGui_Node* n) { return {n->BackgroundColor[0], n->BackgroundColor[1], n->BackgroundColor[2]}; }
TColour Second(const TGui_Node* n) { return {n->BackgroundColorB[0], n->BackgroundColorB[1], n->BackgroundColorB[2]}; }

int TitleHeight(const TGui_Window* w) { return w->TitleBar && w->TitleBar->Shown ? w->TitleBar->Height : 0; }

class MainWindowLayout : public ViewportFixture {
protected:
    void SetUp() override
    {
        ViewportFixture::SetUp();
        // Two colours no theme uses, so a button's colours say where they came from.
        const TColour a{0.1f, 0.2f, 0.3f}, b{0.7f, 0.6f, 0.5f};
        std::copy(a.begin(), a.end(), W().TabBar->BackgroundColor);
        std::copy(b.begin(), b.end(), W().TabBar->BackgroundColorB);
    }
    void Resize(int width, int height)
    {
        QORglut_DispatchReshape(width, height);
        QOREvents_Clean();
        Layout();
    }
    int Menu() { return W().MenuBar ? W().MenuBar->Height : 0; }
    int ScrollBarWidth() { return W().SidePanel->VerticalScrollBar->Width; }
};

} // namespace

TEST_F(MainWindowLayout, TheSideColumnFollowsTheCurrentTabAtEverySize)
{
    struct TTab {
        int Tab;
        TGui_Button* Button;
        TGui_Node* Page;
        bool Sideways;   // the horizontal scroll bar shows
    };
    TKSN_MainWindow& w = W();
    const TTab tabs[] = {{0, w.ToolTabButton, w.ToolWindow, false},
                         {1, w.ManagerTabButton, w.ObjectManagerNode, true},
                         {2, w.MapsTabButton, w.MapsNode, false},
                         {7, nullptr, nullptr, false}};
    const std::pair<int, int> sizes[] = {{1024, 768}, {1280, 1024}, {800, 544}};
    for (auto [width, height] : sizes) {
        Resize(width, height);
        for (const TTab& t : tabs) {
            SCOPED_TRACE(testing::Message() << width << "x" << height << " tab " << t.Tab);
            w.CurrentTab = t.Tab;
            w.AnimationControlsNode->Show();
            w.EditMenuButton->Disable();
            Layout();

            // The side panel's width by tab: the page's width (the tool window's
            // for the Manager tab, whose tree is wider) and the scroll bar.
            ASSERT_EQ(w.ToolWindow->Width, 230);
            ASSERT_EQ(w.MapsNode->Width, 230);
            const int side = t.Tab == 7 ? 230 : 230 + ScrollBarWidth();
            EXPECT_EQ(w.SidePanel->Width, side);
            ASSERT_NE(w.SidePanel->HorizontalScrollBar, nullptr);
            EXPECT_EQ(w.SidePanel->HorizontalScrollBar->Shown, t.Sideways);

            // The tool bar between the mode bar and the side column, the tab
            // bar at the top of the column, the side panel below it down to
            // the layer window's title bar, the layer window to the bottom.
            EXPECT_EQ(w.ToolBar->X, 48);
            EXPECT_EQ(w.ToolBar->Y, Menu());
            EXPECT_EQ(w.ToolBar->Width, width - 48 - side);
            EXPECT_EQ(w.ToolBar->Height, 22);
            EXPECT_EQ(w.TabBar->X, width - side);
            EXPECT_EQ(w.TabBar->Y, Menu());
            EXPECT_EQ(w.TabBar->Width, side);
            EXPECT_EQ(w.SidePanel->X, width - side);
            EXPECT_EQ(w.SidePanel->Y, Menu() + w.TabBar->Height);
            TKSN_LayerWindow* layers = w.LayerWindow;
            EXPECT_TRUE(layers->Shown);
            EXPECT_EQ(layers->Y, height - 130) << "the layer window keeps its height through resizes";
            EXPECT_EQ(w.SidePanel->Y + w.SidePanel->Height - 1, layers->Y - TitleHeight(layers));
            EXPECT_EQ(layers->X, w.SidePanel->X);
            EXPECT_EQ(layers->Width, side);
            EXPECT_EQ(layers->Height, 130);

            // One page shown, its button flat in the bar's first colour.
            EXPECT_FALSE(w.AnimationControlsNode->Shown);
            for (const TTab& other : tabs) {
                if (!other.Page) continue;
                const bool current = other.Tab == t.Tab;
                EXPECT_EQ(other.Page->Shown, current) << other.Tab;
                EXPECT_EQ(First(other.Button), First(w.TabBar)) << other.Tab;
                EXPECT_EQ(Second(other.Button), current ? First(w.TabBar) : Second(w.TabBar)) << other.Tab;
            }
            ASSERT_NE(LineUnderTabNode, nullptr);
            EXPECT_EQ(LineUnderTabNode->Parent, w.SidePanel);
            EXPECT_EQ(LineUnderTabNode->Height, 2);
            EXPECT_EQ(LineUnderTabNode->BorderWidth, 0);
            if (t.Button) {
                EXPECT_EQ(LineUnderTabNode->X, t.Button->X + 1);
                EXPECT_EQ(LineUnderTabNode->Width, t.Button->Width - 2);
                EXPECT_EQ(t.Page->X, 0);
                EXPECT_EQ(t.Page->Y, 0);
                EXPECT_EQ(t.Page->BorderWidth, 0);
                EXPECT_GE(t.Page->Height, w.SidePanel->Height);
            }

            // The message window between the mode bar and the side column.
            EXPECT_EQ(w.MessageWindow->X, 48);
            EXPECT_EQ(w.MessageWindow->Width, width - side - 48);
            EXPECT_EQ(w.MessageWindow->Height, height - w.MessageWindow->Y);
            EXPECT_TRUE(w.EditMenuButton->IsEnabled());
        }
    }
}

TEST_F(MainWindowLayout, TheCurrentPageReachesTwentyPixelsPastItsLowestChild)
{
    TKSN_MainWindow& w = W();
    w.CurrentTab = 2;
    w.MapsNode->Empty();
    Layout();
    EXPECT_EQ(w.MapsNode->Height, w.SidePanel->Height) << "no children: the panel's height";
    TGui_Node* low = w.MapsNode->AddNode("", 50, 30);
    low->SetPosition(0, w.SidePanel->Height + 400);
    w.MapsNode->AddNode("", 50, 30)->SetPosition(0, 10);
    Layout();
    EXPECT_EQ(w.MapsNode->Height, w.SidePanel->Height + 400 + 30 + 20);
    EXPECT_GT(w.SidePanel->VerticalScrollBar->Maximum, 0.0f) << "the panel scrolls to the low child";
}

TEST_F(MainWindowLayout, TheModeBarStacksItsFootFromTheBottomTwoPixelsApart)
{
    TKSN_MainWindow& w = W();
    Resize(1024, 768);
    TGui_Node* bar = w.ModeButtonBar;
    EXPECT_TRUE(bar->Shown);
    EXPECT_EQ(bar->X, 0);
    EXPECT_EQ(bar->Y, Menu());
    EXPECT_EQ(bar->Width, 48);
    EXPECT_EQ(bar->Height, 768 - Menu());
    ASSERT_NE(w.LogoButton, nullptr);
    const int logoX = w.LogoButton->X;
    TGui_Node* foot[] = {w.LogoButton, w.ColorSwatch, w.BrushImageButton, w.BrushShapeButton};
    int bottom = bar->Height - 2;
    for (TGui_Node* n : foot) {
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->Y + n->Height, bottom) << n->GetName();
        EXPECT_EQ(n->X, n == w.LogoButton ? logoX : 8);
        bottom = n->Y - 2;
    }
    // Rebuilt, the bar gets the same foot again at the next layout.
    w.UpdateModeButtons();
    Layout();
    EXPECT_EQ(w.LogoButton->Y + w.LogoButton->Height, bar->Height - 2);
    EXPECT_EQ(w.BrushShapeButton->X, 8);
}

TEST_F(MainWindowLayout, TheViewportAreaStartsBelowTheToolBarAndRunsToTheEdgeWithoutTheSidePanel)
{
    TKSN_MainWindow& w = W();
    Resize(1024, 768);
    App->viewportLayout = 0;
    struct TCase {
        bool ToolBar, Side;
    };
    for (const TCase& c : {TCase{true, true}, TCase{false, true}, TCase{true, false}, TCase{false, false}}) {
        SCOPED_TRACE(testing::Message() << "tool bar " << c.ToolBar << " side panel " << c.Side);
        c.ToolBar ? w.ToolBar->Show() : w.ToolBar->Hide();
        c.Side ? w.SidePanel->Show() : w.SidePanel->Hide();
        Layout();
        const int toolBar = c.ToolBar ? 22 : 0;
        const int top = Menu() + toolBar;
        const int right = c.Side ? w.SidePanel->X : 1024;
        const int bottom = w.MessageWindow->Y + 1 - TitleHeight(w.MessageWindow);
        TKSN_ViewportPanel* p = Panel(0);
        EXPECT_EQ(p->X, 48);
        EXPECT_EQ(p->Y, top);
        EXPECT_EQ(p->Width, (right - 48) / 8 * 8);
        EXPECT_EQ(p->Height, bottom - top);
        EXPECT_EQ(View(0)->WindowHeight, p->Height);
        // The padding fills the rest of the row up to the column (or the edge).
        EXPECT_EQ(DummyViewportPaddingNode->X + DummyViewportPaddingNode->Width, right);
        EXPECT_EQ(DummyViewportPaddingNode->Y, top);
        EXPECT_EQ(DummyViewportPaddingNode->Height, p->Height);
        EXPECT_EQ(w.ToolBar->Y + (c.ToolBar ? w.ToolBar->Height : 0), p->Y) << "no gap, no overlap";
    }
}

TEST_F(MainWindowLayout, ALayerWindowDraggedAboveTheColumnComesBackBelowTheTabBar)
{
    TKSN_MainWindow& w = W();
    Resize(1024, 768);
    TKSN_LayerWindow* layers = w.LayerWindow;
    layers->Y = 5;
    Layout();
    EXPECT_EQ(layers->Y - TitleHeight(layers) + 1, w.SidePanel->Y) << "its title bar starts where the panel would";
    EXPECT_EQ(w.SidePanel->Height, 0);
    EXPECT_EQ(layers->Height, 768 - layers->Y);
    // Below the bottom, it comes back to 20 pixels above it.
    layers->Y = 900;
    Layout();
    EXPECT_EQ(layers->Y, 768 - 20);
    EXPECT_EQ(layers->Height, 20);
    EXPECT_EQ(w.SidePanel->Y + w.SidePanel->Height - 1, layers->Y - TitleHeight(layers));
}

TEST_F(MainWindowLayout, TheMessageWindowIsTitledWithItsTextAndCannotBeClosed)
{
    TGui_Window* messages = W().MessageWindow;
    EXPECT_STREQ(messages->GetName(), Lang.GetText(869)) << "the text itself, not taken for a format";
    ASSERT_NE(messages->TitleBar, nullptr);
    ASSERT_NE(messages->TitleBar->CloseButton, nullptr);
    EXPECT_FALSE(messages->TitleBar->CloseButton->Shown);
    EXPECT_TRUE(messages->Shown);
}
