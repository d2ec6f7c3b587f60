// The main window in the real window (Xvfb with Mesa): frames drawn through
// the GLUT-like layer's display dispatch and read back, menus opened with
// their Alt keys and clicked, the strip beside the viewports, messages raised
// while a frame is drawn, the start file on the first frame, the CR2 wizard's
// pictures, and files dropped onto the window.
#include "KSN_MainWindowGLTestSupport.h"

#include "GuiButton.h"
#include "GuiWindow.h"
#include "KSN_Gui_LayerWindow.h"
#include "KSN_CR2ExportWindow.h"
#include "KSN_Gui_ModeBar.h"
#include "KSN_Gui_Swatches.h"
#include "KSN_Tool.h"
#include "KSN_ToolList.h"
#include "KSN_WX.h"
#include "QORLanguage.h"
#include "QORMemory.h"

#include "KsnTestReadBack.h"

#include <GL/gl.h>
#include <wx/init.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

class MainWindowDrawn : public MainWindowGLFixture {
protected:
    void SetUp() override
    {
        MainWindowGLFixture::SetUp();
        ASSERT_GE(WindowW, 800);
        ASSERT_GE(WindowH, 544);
        g_RanCommands.clear();
    }
    void TearDown() override
    {
        OS.ArgumentCount = 0;
        OS.Arguments = nullptr;
        MainWindowFixture::TearDown();
    }
    static TPixel Bytes(const float* c)
    {
        return {int(c[0] * 255 + 0.5f), int(c[1] * 255 + 0.5f), int(c[2] * 255 + 0.5f)};
    }
    // The share of the node's inner pixels that are near colour, and how many are clearly darker (text).
    void Survey(TGui_Node* n, TPixel colour, double& share, int& darker)
    {
        int near = 0, total = 0;
        darker = 0;
        for (int y = n->AbsY + 3; y < n->AbsY + n->Height - 3; ++y)
            for (int x = n->AbsX + 3; x < n->AbsX + n->Width - 3; ++x) {
                TPixel p = At(x, y);
                ++total;
                near += Near(p, colour, 6);
                darker += p[0] + p[1] + p[2] < colour[0] + colour[1] + colour[2] - 150;
            }
        share = total ? double(near) / total : 0.0;
    }
    std::string TempFile(const std::string& name, const std::string& content = "x")
    {
        std::filesystem::path p = Store.Folder / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    static void AddType(TQORNewStaticList<char*>* list, const char* ext)
    {
        auto* text = static_cast<char*>(QORalloc(std::strlen(ext) + 1));
        std::memcpy(text, ext, std::strlen(ext) + 1);
        list->Add(text);
    }
    // A drop at window pixel (x, y): the layer counts y up from the bottom edge.
    void Drop(const std::string& path, int x, int y)
    {
        Layout();
        QORglut_DispatchDropFile(path.c_str(), x, WindowH - y);
    }
};

// Raises a panel message while the frame draws it.
struct TChattyNode : TGui_Node {
    explicit TChattyNode(TGui_Node* parent) : TGui_Node(parent)
    {
        SetSize(4, 4);
        ShowName = false;
    }
    void Draw() override
    {
        OS.PrintMessage("%s", "Baking 100% done");
        SawPanelLines = MainWindow->MessagePanel->GetChildCount();
    }
    int SawPanelLines = -1;
};

} // namespace

TEST_F(MainWindowDrawn, EachMenuOpensWithItsAltKeyShowsOnTheCanvasAndItsItemsRaiseTheirCommands)
{
    struct TCase {
        char Key;
        TGui_Menu* TKSN_MainWindow::*Menu;
        int Item;      // among the real items
        int Command;   // -1: the item is disabled
    } const cases[] = {
        {'F', &TKSN_MainWindow::FileMenu, 0, 373},
        {'E', &TKSN_MainWindow::EditMenu, 0, -1},   // Undo with an empty list
        {'E', &TKSN_MainWindow::EditMenu, 11, 239},  // Hide Selected Surface
        {'V', &TKSN_MainWindow::ViewportsMenu, 5, 449},   // Render
        {'H', &TKSN_MainWindow::HelpMenu, 4, 445},
    };
    const TPixel light = Bytes(QORglutWigits_DefaultLightBackgroundColor);
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string("Alt+") + c.Key);
        TGui_Menu* menu = W().*c.Menu;
        Frame();
        Key(c.Key, QORGLUT_MASK_ALT);
        ASSERT_TRUE(menu->Shown);
        Frame();
        double share = 0;
        int darker = 0;
        Survey(menu, light, share, darker);
        EXPECT_GT(share, 0.5) << "the menu's light surface is on the canvas";
        EXPECT_GT(darker, 20) << "with its captions";

        TGui_MenuText* item = RealItems(menu)[size_t(c.Item)];
        EXPECT_EQ(item->IsEnabled(), c.Command != -1) << item->GetName();
        g_RanCommands.clear();
        Layout();
        ClickNode(item);
        // (Command 146, a redisplay, may come from the project's passive work.)
        if (c.Command == -1) {
            for (int command : Commands()) EXPECT_EQ(command, 146);
            Key(27);
        } else {
            EXPECT_EQ(Count(c.Command), 1);
            // What the command itself queues to refresh the views and the
            // interface (299, 410-457) may follow it, and a new project's first
            // frame raises the start file (369).
            for (int command : Commands())
                EXPECT_TRUE(command == c.Command || command == 146 || command == 299 || command == 369 ||
                            (command >= 410 && command <= 457))
                    << command;
        }
        EXPECT_FALSE(menu->Shown);
        Frame();
        Survey(menu, light, share, darker);
        EXPECT_LT(share, 0.5) << "the closed menu is gone from the canvas";
    }
}

TEST_F(MainWindowDrawn, TheWindowFillsTheStripBetweenTheViewportsAndTheColumn)
{
    // Four panels, then a configuration outside 0..5 leaves them where that
    // layout put them: the right-hand ones narrowed by 40 pixels open a strip
    // between them and the side column.
    W().MaximizedViewportPanel = nullptr;
    App->viewportLayout = 4;
    Layout();
    App->viewportLayout = -1;
    int panelsRight = 0;
    for (TKSN_ViewportPanel* p : W().ViewportPanels) panelsRight = std::max(panelsRight, p->X + p->Width);
    for (TKSN_ViewportPanel* p : W().ViewportPanels)
        if (p->X + p->Width == panelsRight) p->Width -= 40;
    panelsRight -= 40;
    ASSERT_GE(W().SidePanel->X, panelsRight + 40);
    W().BackgroundColor[0] = 0.9f;
    W().BackgroundColor[1] = 0.1f;
    W().BackgroundColor[2] = 0.5f;
    Frame();
    const TPixel strip = Bytes(W().BackgroundColor);
    const int y = W().ToolBar->Y + W().ToolBar->Height + 60;
    EXPECT_TRUE(Near(At(panelsRight + 20, y), strip));
    EXPECT_FALSE(Near(At(panelsRight - 20, y), strip)) << "the viewport panel";
}

TEST_F(MainWindowDrawn, TheLineUnderTheCurrentTabJoinsItToItsPage)
{
    const float first[3] = {0.1f, 0.8f, 0.2f}, second[3] = {0.8f, 0.1f, 0.6f};
    std::copy(first, first + 3, W().TabBar->BackgroundColor);
    std::copy(second, second + 3, W().TabBar->BackgroundColorB);
    TGui_Button* buttons[] = {W().ToolTabButton, W().ManagerTabButton, W().MapsTabButton};
    for (int tab = 0; tab < 3; ++tab) {
        SCOPED_TRACE(tab);
        W().CurrentTab = tab;
        Frame();
        ASSERT_NE(LineUnderTabNode, nullptr);
        // The top row of the side panel: the line's colour under the current
        // tab only; the page shows under the others.
        const int y = W().SidePanel->AbsY;
        for (int i = 0; i < 3; ++i) {
            const TPixel p = At(buttons[i]->AbsX + buttons[i]->Width / 2, y);
            EXPECT_EQ(Near(p, Bytes(first), 6), i == tab) << i << ": " << p[0] << "," << p[1] << "," << p[2];
        }
    }
}

TEST_F(MainWindowDrawn, TheToolBarTheSideColumnAndTheMessageWindowDoNotOverlapTheViewports)
{
    // Each of these nodes filled with its own flat colour: a pixel well
    // inside each shows that colour, so no other part of the layout covers it.
    W().MaximizedViewportPanel = nullptr;
    App->viewportLayout = 4;
    // Probe points inside each node, clear of its children (the bars'
    // buttons start at their left, the mode bar's at its top and bottom).
    struct TPart {
        TGui_Node* Node;
        float Colour[3];
        int X, Y;   // from the right and the top; negative Y: from the bottom
    } parts[] = {{W().ToolBar, {0.9f, 0.2f, 0.2f}, 3, 11},
                 {W().TabBar, {0.2f, 0.9f, 0.2f}, 3, 12},
                 {W().ModeButtonBar, {0.2f, 0.9f, 0.9f}, 3, 400}};
    for (TPart& p : parts) {
        std::copy(p.Colour, p.Colour + 3, p.Node->BackgroundColor);
        std::copy(p.Colour, p.Colour + 3, p.Node->BackgroundColorB);
        p.Node->Gradient = false;
    }
    Frame();
    for (const TPart& p : parts) {
        SCOPED_TRACE(p.Node->GetName());
        const int x = p.Node->AbsX + p.Node->Width - p.X;
        const int y = p.Y >= 0 ? p.Node->AbsY + p.Y : p.Node->AbsY + p.Node->Height + p.Y;
        EXPECT_TRUE(Near(At(x, y), Bytes(p.Colour), 6)) << At(x, y)[0] << "," << At(x, y)[1] << "," << At(x, y)[2];
    }
    // The viewports meet the tool bar below it and the message window above it.
    int top = W().Height, bottom = 0;
    for (TKSN_ViewportPanel* p : W().ViewportPanels) {
        top = std::min(top, p->AbsY);
        bottom = std::max(bottom, p->AbsY + p->Height);
    }
    EXPECT_EQ(top, W().ToolBar->AbsY + W().ToolBar->Height);
    EXPECT_LE(bottom, W().MessageWindow->AbsY);
    EXPECT_LE(W().LayerWindow->AbsY + W().LayerWindow->Height, W().Height);
}

TEST_F(MainWindowDrawn, AMessageRaisedWhileAFrameIsDrawnAppearsAfterItUnchanged)
{
    auto* chatty = new TChattyNode(&W());
    chatty->SetPosition(500, 300);
    const int before = W().MessagePanel->GetChildCount();
    Frame();
    EXPECT_EQ(chatty->SawPanelLines, before) << "the panel did not change during the frame";
    ASSERT_NE(W().MessagePanel->FirstChild, nullptr);
    EXPECT_STREQ(W().MessagePanel->FirstChild->GetName(), "[b]>[/b] Baking 100% done ");
}

TEST_F(MainWindowDrawn, TheFirstFrameOpensTheStartFileUnlessTheFirstArgumentIsTransport)
{
    static char program[] = "Kestrune", transport[] = "-TRANSPORT";
    static char* withTransport[] = {program, transport, nullptr};
    static char* plain[] = {program, nullptr};
    struct TCase {
        char** Arguments;
        int Count;
        int Expected;
    } const cases[] = {{withTransport, 2, 0}, {plain, 1, 1}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Count);
        OS.Arguments = c.Arguments;
        OS.ArgumentCount = c.Count;
        W().FramesDrawn = 0;
        g_RanCommands.clear();
        QOREvents_Clean();
        for (int i = 0; i < 3; ++i) {
            Frame();
            KestruneEvents_ProcessEvents();
        }
        // Counted by first raisings: the command defers itself with a count.
        int raised = 0;
        for (const TRanCommand& ran : g_RanCommands) raised += ran.Command == 369 && ran.Int0 == 0;
        for (int i = 0; i < QOREvents_GetEventCount(); ++i)
            raised += QOREvents_PeekEvent(i)->GetCommand() == 369 && QOREvents_PeekEvent(i)->intParameters[0] == 0;
        EXPECT_EQ(raised, c.Expected);
    }
}

TEST_F(MainWindowDrawn, TheWizardShowsItsThreePicturesAndEachRaisesItsChoice)
{
    TKSN_CR2ExportWindow* wizard = W().CR2ExportWindow;
    // Each picture has a backdrop of its own tint: blue, green, purple-red.
    const int dominant[3] = {2, 1, 0};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        wizard->Execute();
        Frame();
        TGui_Button* picture = wizard->Pictures[i];
        const TPixel corner = At(picture->AbsX + 4, picture->AbsY + 4);
        for (int channel = 0; channel < 3; ++channel) {
            if (channel == dominant[i]) continue;
            EXPECT_GT(corner[size_t(dominant[i])], corner[size_t(channel)])
                << corner[0] << " " << corner[1] << " " << corner[2];
        }
        g_RanCommands.clear();
        ClickNode(picture);
        EXPECT_EQ(Count(143 + i), 1);
        EXPECT_FALSE(wizard->Shown);
        EXPECT_EQ(Project->CR2SetupFullBodyMorphs, i != 0);
        EXPECT_EQ(Project->CR2AutoRig, i == 2);
    }
}

TEST_F(MainWindowDrawn, DroppedFilesGoWhereTheyLandAndOnlyAnUnhandledDropBeeps)
{
    AddType(App->importFileTypes, "OBJ");
    AddType(App->importImageTypes, "png");
    TKSN_ViewportPanel* viewport = W().ViewportPanels[0];
    const int vx = viewport->AbsX + 30, vy = viewport->AbsY + 30;
    Layout();

    Drop(TempFile("head.obj"), vx, vy);
    EXPECT_TRUE(W().ImportWindow->Shown);
    EXPECT_EQ(W().ImportWindow->FileName, (Store.Folder / "head.obj").string());
    W().ImportWindow->Hide();

    const int objects = Project->GetObjectCount();
    Drop(TempFile("skin.PNG"), vx, vy);
    EXPECT_EQ(Project->GetObjectCount(), objects + 1) << "a picture object";

    // A project file asks first; No keeps the project.
    TKSN_Project* project = Project;
    Provider.Boxes.clear();
    Provider.Answers = {TOSBoxAnswer::No};
    Drop(TempFile("other.Kestrune"), vx, vy);
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text, Lang.GetText(381));
    EXPECT_EQ(Project, project);

    // Handled drops end silently; the maps panel then refreshes its lists.
    g_RanCommands.clear();
    W().CurrentTab = 2;   // the Maps tab's page is shown only on its tab
    Layout();
    Drop(TempFile("bump.png"), W().MapsNode->AbsX + 20, W().MapsNode->AbsY + 20);
    // The picture drop queued an interface refresh, which that drop's pump
    // step ran: the mode bar is new and gets its place at the next layout.
    Layout();
    Drop(TempFile("shape.png"), W().BrushShapeButton->AbsX + 5, W().BrushShapeButton->AbsY + 5);
    EXPECT_EQ(Beeps, 0);
    EXPECT_EQ(Count(434) + CountQueued(434), 1);

    // A file nothing takes beeps; a file that is not there does nothing.
    Drop(TempFile("notes.xyz"), vx, vy);
    EXPECT_EQ(Beeps, 1);
    Drop((Store.Folder / "missing.obj").string(), vx, vy);
    EXPECT_EQ(Beeps, 1);
    EXPECT_FALSE(W().ImportWindow->Shown);
}

TEST_F(MainWindowDrawn, TheSwatchesShowTheApplicationColoursAtTheNextFrame)
{
    auto* swatch = dynamic_cast<TKSN_ColorSelectionNode*>(W().ColorSwatch);
    ASSERT_NE(swatch, nullptr);
    const float red[3] = {0.8f, 0.1f, 0.1f}, blue[3] = {0.1f, 0.2f, 0.9f};
    std::copy(red, red + 3, App->paintColor);
    std::copy(blue, blue + 3, App->secondaryPaintColor);
    Frame();
    // Inside the primary swatch, above the overlap.
    const int px = swatch->AbsX + 6, py = swatch->AbsY + 6;
    EXPECT_TRUE(Near(At(px, py), Bytes(red), 12)) << At(px, py)[0] << "," << At(px, py)[1] << "," << At(px, py)[2];

    // What the reset command stores: black over white, shown at the next frame.
    // (The secondary swatch's colour is checked in the layout tests.)
    const float black[3] = {0, 0, 0}, white[3] = {1, 1, 1};
    std::copy(black, black + 3, App->paintColor);
    std::copy(white, white + 3, App->secondaryPaintColor);
    Frame();
    EXPECT_TRUE(Near(At(px, py), TPixel{0, 0, 0}, 12));
}

TEST_F(MainWindowDrawn, ExactlyTheCurrentToolsButtonIsDrawnPressed)
{
    TQORglutTexture* icon = QORglut_Textures_GetTextureFromList("Paint");
    ASSERT_NE(icon, nullptr);
    struct TTool : TKSN_Tool {};
    auto* a = new TTool;
    auto* b = new TTool;
    a->Icon = b->Icon = icon;
    App->selectionTools->Add(a);
    App->selectionTools->Add(b);
    W().UpdateModeButtons();
    App->currentTool = b;
    Frame();
    int pressed = 0;
    for (TGui_Node* c = W().ModeButtonBar->FirstChild; c; c = c->Next)
        if (auto* t = dynamic_cast<TKSN_ToolButton*>(c)) {
            pressed += t->Pressed;
            EXPECT_EQ(t->Pressed, t->ToolID == b->GetID());
        }
    EXPECT_EQ(pressed, 1);
    App->currentTool = nullptr;
}
