// The main window as Init builds it, the tool tab's option panels, the
// dispatcher's general commands and the system and window-input commands.
#include "KSN_CommandTestSupport.h"

#include "GuiButton.h"
#include "GuiGauge.h"
#include "GuiPanel.h"
#include "GuiText.h"
#include "KSN_Commands_General.h"
#include "KSN_Commands_System.h"
#include "KSN_Gui_OptionPanels.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_ToolKinds.h"
#include "QORMaterial.h"
#include "QORMemory.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

template <class T = TGui_Node>
T* FindNamed(TGui_Node* root, const std::string& name)
{
    for (TGui_Node* c = root->FirstChild; c; c = c->Next) {
        if (auto* t = dynamic_cast<T*>(c); t && name == c->GetName()) return t;
        if (T* found = FindNamed<T>(c, name)) return found;
    }
    return nullptr;
}

// The commands waiting in the queue, in order, with their owners.
std::vector<std::pair<int, uint32_t>> Queued()
{
    std::vector<std::pair<int, uint32_t>> out;
    for (int i = 0; i < QOREvents_GetEventCount(); ++i)
        out.emplace_back(QOREvents_PeekEvent(i)->GetCommand(), QOREvents_PeekEvent(i)->GetOwnerID());
    return out;
}

// A cube of 6 quads around centre with a side of 2 * half, normals outward.
TKSN_Mesh* AddCube(const char* name, float cx, float half = 1.0f)
{
    TKSN_Object* object = Project->CreateNewObject();
    object->SetName("%s", name);
    auto* mesh = new TKSN_Mesh(object);
    object->Mesh.reset(mesh);
    mesh->Create(8, 8, 8, 6);
    for (int v = 0; v < 8; ++v) {
        mesh->baseVertices[3 * v] = cx + ((v & 1) ? half : -half);
        mesh->baseVertices[3 * v + 1] = (v & 2) ? half : -half;
        mesh->baseVertices[3 * v + 2] = (v & 4) ? half : -half;
        mesh->tVertices[2 * v] = (v & 1) ? 1.0f : 0.0f;
        mesh->tVertices[2 * v + 1] = (v & 2) ? 1.0f : 0.0f;
    }
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (int p = 0; p < 6; ++p) {
        TQORPolygon& quad = mesh->Polygons[p];
        quad.SetCount(4);
        for (int k = 0; k < 4; ++k) quad.Points[k].V = quad.Points[k].VT = faces[p][k];
        quad.Material = 0;
    }
    mesh->Materials->AddItem(KSN_NewMaterial("Skin"));
    mesh->AfterRawBuild();
    mesh->ResolveMorphs(false);
    return mesh;
}

} // namespace

class MainWindowAssembly : public CommandFixture {
protected:
    void SetUp() override
    {
        CommandFixture::SetUp();
        Provider.RecordLaunches = true;
    }
    // A fresh main window with what its construction queued left in the queue.
    void Rebuild()
    {
        delete MainWindow;
        MainWindow = nullptr;
        QOREvents_Clean();
        MainWindow = new TKSN_MainWindow(QORglutGetWindow(), nullptr);
    }
};

// [SECTION] Construction

TEST_F(MainWindowAssembly, InitQueuesTheSideViewsModeZeroAndTheToolTabAndMaximisesPanelZero)
{
    Rebuild();
    TKSN_MainWindow& w = W();
    const auto queued = Queued();
    // The three side views, each owned by its panel, then mode 0, with the
    // tool-tab refresh queued by the tool window in between.
    const std::vector<std::pair<int, uint32_t>> views = {
        {272, w.ViewportPanels[1]->GetID()}, {274, w.ViewportPanels[3]->GetID()}, {270, w.ViewportPanels[2]->GetID()}};
    ASSERT_GE(queued.size(), 5u);
    std::vector<std::pair<int, uint32_t>> first;
    for (const auto& q : queued)
        if (q.first >= 270 && q.first <= 274) first.push_back(q);
    EXPECT_EQ(first, views);
    int at431 = -1, at151 = -1;
    for (size_t i = 0; i < queued.size(); ++i) {
        if (queued[i].first == 431 && at431 < 0) at431 = int(i);
        if (queued[i].first == 151) at151 = int(i);
    }
    ASSERT_GE(at431, 3);
    ASSERT_GT(at151, at431);
    EXPECT_EQ(QOREvents_PeekEvent(at151)->intParameters[0], 0);

    EXPECT_EQ(w.MaximizedViewportPanel, w.ViewportPanels[0]);
    EXPECT_EQ(App->viewportLayout, 5);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(std::string(w.ViewportPanels[i]->GetName()), "Viewport " + std::to_string(i));
        // Each has its hidden 64 x 64 rear view, which passes nothing to a tool.
        TKSN_ViewportPanel* rear = w.ViewportPanels[i]->RearViewPanel;
        ASSERT_NE(rear, nullptr);
        EXPECT_EQ(rear->Parent, w.ViewportPanels[i]);
        EXPECT_TRUE(rear->IsRearView);
        EXPECT_FALSE(rear->Shown);
        EXPECT_EQ(std::string(rear->GetName()), "RearView");
        EXPECT_EQ(rear->Width, 64);
        EXPECT_EQ(rear->Height, 64);
    }

    // The tab buttons carry command 9 with their tab number.
    TGui_Button* tabs[3] = {w.ToolTabButton, w.ManagerTabButton, w.MapsTabButton};
    for (int t = 0; t < 3; ++t) {
        ASSERT_TRUE(tabs[t] && tabs[t]->ClickEvent);
        EXPECT_EQ(tabs[t]->Parent, w.TabBar);
        EXPECT_EQ(tabs[t]->ClickEvent->GetCommand(), 9);
        EXPECT_EQ(tabs[t]->ClickEvent->intParameters[0], t);
        EXPECT_EQ(tabs[t]->Height, w.TabBar->Height + 4);
    }
    EXPECT_EQ(std::string(w.ManagerTabButton->GetName()), std::string("     ") + Lang.GetText(883));
    EXPECT_EQ(w.ManagerTabButton->X, w.ToolTabButton->X + w.ToolTabButton->Width);
    EXPECT_FALSE(w.OverlayNode->Shown);
    EXPECT_FALSE(w.LockIcon->Shown);
    EXPECT_EQ(w.CurrentTab, 0);

    // One pump: mode 0 (its first selection tool) and the tool tab ran.
    App->AddToolToList(new TKSN_Picker, App->selectionTools);
    App->currentTool = nullptr;
    g_RanCommands.clear();
    KestruneEvents_ProcessEvents();
    EXPECT_EQ(Count(272) + Count(274) + Count(270), 3);
    EXPECT_EQ(Count(151), 1);
    EXPECT_GE(Count(431), 1) << "the tool tab was built";
    EXPECT_EQ(Project->GetMode(), 0);
}

TEST_F(MainWindowAssembly, PanelZeroHasItsSettingsButtonOnlyWhenTheGraphicExists)
{
    const bool present = QORglut_Textures_GetTextureFromList("ViewportSettings") != nullptr;
    if (present) {
        ASSERT_TRUE(W().ViewportSettingsButton);
        EXPECT_EQ(W().ViewportSettingsButton->Parent, W().ViewportPanels[0]);
        EXPECT_EQ(W().ViewportSettingsButton->ClickEvent->GetCommand(), 449);
        EXPECT_FALSE(W().ViewportSettingsButton->Shown);
    }
    // Without the graphics, no button and nothing else missing.
    QORglut_Textures_Cleanup();
    QORglut_Textures_Init();
    Rebuild();
    EXPECT_EQ(W().ViewportSettingsButton, nullptr);
    for (TGui_Node* c = W().ViewportPanels[0]->FirstChild; c; c = c->Next) {
        auto* b = dynamic_cast<TGui_Button*>(c);
        EXPECT_FALSE(b && b->ClickEvent && b->ClickEvent->GetCommand() == 449);
    }
    for (TKSN_ViewportPanel* p : W().ViewportPanels) EXPECT_NE(p, nullptr);
    EXPECT_NE(W().MessagePanel, nullptr);
}

// [SECTION] Option panels

class OptionPanels : public MainWindowAssembly {
protected:
    void SetUp() override
    {
        MainWindowAssembly::SetUp();
        Tool = std::make_unique<TKSN_ColorBrush>();
        Tool->Flags |= 0x2 | KSN_TOOL_SYMMETRIC | KSN_TOOL_MIRRORED_INPUT;
        App->currentTool = Tool.get();
        Parent = W().AddNode("", 230, 600);
        std::fill(std::begin(KSN_OptionPanelCollapsed), std::end(KSN_OptionPanelCollapsed), false);
    }
    void TearDown() override
    {
        App->currentTool = nullptr;
        MainWindowAssembly::TearDown();
        std::fill(std::begin(KSN_OptionPanelCollapsed), std::end(KSN_OptionPanelCollapsed), false);
    }
    TGui_Node* Build()
    {
        Parent->Empty();
        KSN_AppendOptionPanels(Parent, App->IsCurrentToolAPaintBrush());
        return Parent;
    }
    TGui_CollapsiblePanel* Panel(int title) { return FindNamed<TGui_CollapsiblePanel>(Parent, Lang.GetText(title)); }

    std::unique_ptr<TKSN_Tool> Tool;
    TGui_Node* Parent = nullptr;
};

TEST_F(OptionPanels, APaintBrushGetsAllFivePanelsAndTheirIDsAreRecorded)
{
    Build();
    for (int title : {1545, 504, 530, 807, 1144}) EXPECT_NE(Panel(title), nullptr) << Lang.GetText(title);
    EXPECT_EQ(W().CullingPanelID, Panel(1545)->GetID());
    EXPECT_EQ(W().PaintPanelID, Panel(504)->GetID());
    EXPECT_EQ(W().SymmetryPanelID, Panel(530)->GetID());
    // Each title bar flips its remembered state through the dispatcher.
    const std::pair<int, int> titleCommands[] = {{1545, 130}, {504, 132}, {530, 136}, {807, 131}, {1144, 133}};
    for (auto [title, command] : titleCommands) EXPECT_EQ(Panel(title)->Toggle->ClickEvent->GetCommand(), command);

    // Not a paint brush: no "Paint" panel, and its ID is cleared.
    auto navigator = std::make_unique<TKSN_MoveView>();
    App->currentTool = navigator.get();
    Build();
    EXPECT_EQ(Panel(504), nullptr);
    EXPECT_EQ(W().PaintPanelID, 0u);
    App->currentTool = Tool.get();
}

TEST_F(OptionPanels, SmartCullingOptionsFollowTheCullingMethodAfterARebuild)
{
    Project->SetCullingMethod(2);
    Project->UpdateEffectiveCullingMethod();
    ASSERT_EQ(Project->GetCullingMethod(), 2);
    Build();
    EXPECT_NE(FindNamed(Parent, "Smart Culling Options"), nullptr);
    auto* smart = FindNamed<TGui_CheckBox>(Parent, Lang.GetText(1668));
    ASSERT_NE(smart, nullptr);
    EXPECT_TRUE(smart->Pressed);
    EXPECT_EQ(smart->ChangeEvent->GetCommand(), 99);

    EXPECT_TRUE(Run(97));   // "None"
    Build();
    EXPECT_EQ(FindNamed(Parent, "Smart Culling Options"), nullptr);
    auto* none = FindNamed<TGui_CheckBox>(Parent, Lang.GetText(847));
    ASSERT_NE(none, nullptr);
    EXPECT_TRUE(none->Pressed);
    EXPECT_FALSE(FindNamed<TGui_CheckBox>(Parent, Lang.GetText(1668))->Pressed);
}

TEST_F(OptionPanels, FalloffAndCutoffAreShownButDisabledWhileAngleFadeIsOff)
{
    for (bool fade : {false, true}) {
        SCOPED_TRACE(fade);
        Project->DoAngleFade = fade;
        Build();
        for (int label : {855, 1674}) {
            TGui_TextAndGauge* gauge = nullptr;
            for (TGui_Node* n = Panel(1545); n && !gauge;) {
                // The gauges are found by their caption.
                std::function<TGui_TextAndGauge*(TGui_Node*)> find = [&](TGui_Node* at) -> TGui_TextAndGauge* {
                    for (TGui_Node* c = at->FirstChild; c; c = c->Next) {
                        auto* g = dynamic_cast<TGui_TextAndGauge*>(c);
                        if (g && std::string(g->Caption->GetName()) == Lang.GetText(label)) return g;
                        if (auto* deeper = find(c)) return deeper;
                    }
                    return nullptr;
                };
                gauge = find(n);
                break;
            }
            ASSERT_NE(gauge, nullptr) << Lang.GetText(label);
            EXPECT_TRUE(gauge->Shown);
            EXPECT_EQ(gauge->IsEnabled(), fade);
            EXPECT_EQ(gauge->Gauge->FloatVariableEvent->GetCommand(), label == 855 ? 57 : 58);
        }
    }
}

TEST_F(OptionPanels, ThePaintingTabHasFourSymmetryBoxesOtherTabsTwo)
{
    const std::pair<int, int> cases[] = {{3, 4}, {1, 2}, {4, 2}};
    for (auto [tab, boxes] : cases) {
        SCOPED_TRACE(tab);
        App->SetToolTypeTab(tab);
        App->currentTool = Tool.get();
        Build();
        int found = 0;
        for (int label : {598, 538, 438, 425}) found += FindNamed<TGui_CheckBox>(Panel(530), Lang.GetText(label)) != nullptr;
        EXPECT_EQ(found, boxes);
    }
    // Symmetry off: the boxes after "Use Symmetry" are disabled.
    App->SetToolTypeTab(3);
    App->currentTool = Tool.get();
    Project->UseSymmetry = false;
    Build();
    EXPECT_TRUE(FindNamed<TGui_CheckBox>(Panel(530), Lang.GetText(598))->IsEnabled());
    EXPECT_FALSE(FindNamed<TGui_CheckBox>(Panel(530), Lang.GetText(538))->IsEnabled());
}

TEST_F(OptionPanels, AFlaggedPanelIsRebuiltCollapsedAndItsTitleBarFlipsTheFlag)
{
    Build();
    EXPECT_FALSE(Panel(504)->IsCollapsed());
    EXPECT_TRUE(Run(132));   // the "Paint" title bar
    EXPECT_TRUE(KSN_OptionPanelCollapsed[2]);
    Build();
    EXPECT_TRUE(Panel(504)->IsCollapsed());
    EXPECT_FALSE(Panel(1545)->IsCollapsed());
    EXPECT_TRUE(Run(132));
    Build();
    EXPECT_FALSE(Panel(504)->IsCollapsed());
}

TEST_F(OptionPanels, TabletAndMouseWheelBuildNothingWithoutATool)
{
    App->currentTool = nullptr;
    Parent->Empty();
    SetupTabletPanel(Parent);
    EXPECT_EQ(SetupMouseWheelPanel(Parent), nullptr);
    EXPECT_EQ(Parent->FirstChild, nullptr);
}

// [SECTION] General commands

TEST_F(MainWindowAssembly, CommandsTenToTwelveFlashOnlyWhenTheTabChanges)
{
    W().CurrentTab = 1;
    EXPECT_TRUE(Run(9, 1, 2));
    EXPECT_EQ(W().CurrentTab, 2);
    EXPECT_TRUE(Run(10, 1, 7));   // an integer other than 1 or 2 only switches
    EXPECT_EQ(W().CurrentTab, 1);
    EXPECT_EQ(CountQueued(441), 1);
    EXPECT_TRUE(Run(12));
    EXPECT_EQ(W().CurrentTab, 2);
    EXPECT_TRUE(Run(11));
    EXPECT_EQ(W().CurrentTab, 0);
}

TEST_F(MainWindowAssembly, CopyingGroupsTakesTheNearestSourcePolygonFacingTheSameWay)
{
    EXPECT_FALSE(Run(123));
    ASSERT_FALSE(Provider.Boxes.empty());
    EXPECT_EQ(Provider.Boxes.back().Text, "Cannot find the destination object");

    TKSN_Mesh* target = AddCube("Target", 0.0f);
    EXPECT_FALSE(Run(123));
    EXPECT_EQ(Provider.Boxes.back().Text, "Cannot find the source object");
    EXPECT_FALSE(Run(124));
    EXPECT_EQ(Provider.Boxes.back().Text, "Cannot find the source object");

    // The source: a slightly larger cube with two groups, "Left" on the -x
    // face and "Rest" everywhere else.
    TKSN_Mesh* source = AddCube("Source", 0.0f, 1.2f);
    source->Groups2->Empty();
    for (const char* name : {"Left", "Rest"}) {
        auto* g = new TQORGroup2;
        g->SetName("%s", name);
        g->Index = source->Groups2->GetItemCount();
        source->Groups2->AddItem(g);
    }
    for (int p = 0; p < 6; ++p) source->Polygons[p].Group = p == 4 ? 0 : 1;
    QOREvents_Clean();
    EXPECT_TRUE(Run(123));
    ASSERT_EQ(target->Groups2->GetItemCount(), 2);
    EXPECT_STREQ(target->Groups2->GetItemAs(0)->GetName(), "Left");
    for (int p = 0; p < 6; ++p) EXPECT_EQ(target->Polygons[p].Group, p == 4 ? 0 : 1) << p;
    EXPECT_EQ(CountQueued(431), 1);
}

TEST_F(MainWindowAssembly, AFolderAmongTheFirstTwoEntriesCountsAsMissing)
{
    AddCube("Target", 0.0f);
    auto* folder = new TKSN_ObjectTreeGroup();
    folder->SetName("Folder");
    Project->Objects->LinkChild(folder);
    AddCube("Source", 3.0f);
    EXPECT_FALSE(Run(123));
    ASSERT_FALSE(Provider.Boxes.empty());
    EXPECT_EQ(Provider.Boxes.back().Text, "Cannot find the destination object");
}

TEST_F(MainWindowAssembly, WeldingReportsItsCountAndNothingEligibleStillSucceeds)
{
    EXPECT_TRUE(Run(179));
    EXPECT_EQ(LastPrinted(), Lang.GetText(1540));
    TKSN_Mesh* mesh = AddCube("Cube", 0.0f);
    EXPECT_TRUE(Run(179));   // nothing selected
    EXPECT_EQ(LastPrinted(), Lang.GetText(1540));
    for (int v = 0; v < mesh->GetVCount(); ++v) mesh->VertexInfo[v].Select = 1.0f;
    mesh->SelectedVertexCount = mesh->GetVCount();
    if (mesh->GetSelectedVertexCount() <= 0) GTEST_SKIP() << "the mesh counts its selection elsewhere";
    EXPECT_TRUE(Run(179));
    EXPECT_EQ(LastPrinted(), "Welded the vertices in (1) object(s)");
}

TEST_F(MainWindowAssembly, TheOpenGLReportIsOneLineOfNineTabSeparatedFields)
{
    std::string documents;
    ASSERT_TRUE(TOS::GetDocumentsPath(documents));
    fs::create_directories(documents);
    const fs::path report = fs::path(documents) / "Kestrune_OpenGL_Report.txt";
    fs::remove(report);
    EXPECT_TRUE(Run(142));
    std::ifstream in(report);
    std::string line, more;
    ASSERT_TRUE(std::getline(in, line)) << report;
    EXPECT_FALSE(std::getline(in, more));
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 8) << line;
}

TEST_F(MainWindowAssembly, UndoAndRedoCommandsStepTheProjectAndRedisplay)
{
    AddCube("Cube", 0.0f);
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    Project->SetCurrentObject((*objects)[0]);
    Project->BeforeSelect("Select");
    ++App->frameCounter;
    ASSERT_NE(Project->UndoList, nullptr);
    ASSERT_EQ(Project->RedoList, nullptr);
    const int before = RedisplaysPosted();
    EXPECT_TRUE(Run(148));
    EXPECT_NE(Project->RedoList, nullptr) << "the step moved to the redo list";
    ++App->frameCounter;
    EXPECT_TRUE(Run(149));
    EXPECT_EQ(Project->RedoList, nullptr) << "and back";
    EXPECT_NE(Project->UndoList, nullptr);
    EXPECT_GE(RedisplaysPosted() - before, 2);
}

TEST_F(MainWindowAssembly, SymmetrySwitchPrintsItsStateAndRebuildsTheToolTab)
{
    Project->UseSymmetry = false;
    TQOREvent set(KestruneEvents_CommandCB, 0, 125);
    set.operationMode = 1;
    set.intParameters[0] = 1;
    EXPECT_TRUE(QORProcessEventNow(&set));
    EXPECT_TRUE(Project->UseSymmetry);
    EXPECT_EQ(LastPrinted(), Lang.GetText(399));
    EXPECT_EQ(CountQueued(431), 1);
    EXPECT_EQ(GetInt(125), 1);
}

// [SECTION] System and window input

TEST_F(MainWindowAssembly, WebPagesAndTheLauncherGoThroughTheProvider)
{
    EXPECT_FALSE(Run(182));
    EXPECT_FALSE(Run(190));
    EXPECT_TRUE(Run(184));
    ASSERT_EQ(Provider.Pages.size(), 1u);
    EXPECT_EQ(Provider.Pages[0], Lang.GetText(251));

    // The launcher in the main folder gets exactly "-FROM_MAIN_APP".
    const fs::path main = Store.Folder / "main";
    fs::create_directories(main);
    const std::string saved = OS.MainPath;
    OS.MainPath = main.string() + "/";
    const fs::path launcher = main / "Kestrune-Launcher.app";
    std::ofstream(launcher) << "#!/bin/sh\n";
    fs::permissions(launcher, fs::perms::owner_all);
    EXPECT_TRUE(Run(185));
    ASSERT_EQ(Provider.Programs.size(), 1u);
    EXPECT_EQ(Provider.Programs[0].first, launcher.string());
    EXPECT_EQ(Provider.Programs[0].second, std::vector<std::string>{"-FROM_MAIN_APP"});

    // Missing: the OS layer's error, and the program runs on.
    fs::remove(launcher);
    Provider.Boxes.clear();
    EXPECT_TRUE(Run(185));
    EXPECT_EQ(Provider.Programs.size(), 1u);
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Kind, TOSBoxKind::Error);
    OS.MainPath = saved;
}

TEST_F(MainWindowAssembly, QueuedResizesKeepTheMinimumSize)
{
    struct {
        int x, y, command, qx, qy;
    } const cases[] = {{799, 600, 140, 800, 600}, {1024, 543, 140, 1024, 544}, {1024, 768, 141, 1024, 768}};
    for (const auto& c : cases) {
        QOREvents_Clean();
        TQOREvent e(KestruneEvents_CommandCB, W().GetID(), -9992);
        e.SetX(c.x);
        e.SetY(c.y);
        EXPECT_TRUE(QORProcessEventNow(&e));
        ASSERT_EQ(QOREvents_GetEventCount(), 1);
        EXPECT_EQ(QOREvents_PeekEvent(0)->GetCommand(), c.command);
        EXPECT_EQ(QOREvents_PeekEvent(0)->GetX(), c.qx);
        EXPECT_EQ(QOREvents_PeekEvent(0)->GetY(), c.qy);
    }
    // Not owned by the main window: nothing.
    QOREvents_Clean();
    TQOREvent stray(KestruneEvents_CommandCB, 0, -9992);
    stray.SetX(10);
    stray.SetY(10);
    EXPECT_FALSE(QORProcessEventNow(&stray));
    EXPECT_EQ(QOREvents_GetEventCount(), 0);
}

TEST_F(MainWindowAssembly, VisibilityChangesAreNamedInTheMessagePanel)
{
    TQOREvent e(KestruneEvents_CommandCB, W().GetID(), -9990);
    e.intParameters[0] = 2;
    EXPECT_TRUE(QORProcessEventNow(&e));
    EXPECT_EQ(LastPrinted(), "QORGLUT_PARTIALLY_RETAINED");
}

TEST_F(MainWindowAssembly, ADroppedProjectAsksFirstAndAMissingFileChangesNothing)
{
    const fs::path file = Store.Folder / "dropped.Kestrune";
    std::ofstream(file) << "not a project";
    Layout();
    TKSN_ViewportPanel* panel = W().ViewportPanels[0];
    auto drop = [&](const std::string& path) {
        TQOREvent e(KestruneEvents_CommandCB, W().GetID(), -9991);
        e.SetX(panel->AbsX + panel->Width / 2);
        e.SetY(panel->AbsY + panel->Height / 2);
        e.AssignStringParameter(path.c_str(), 0);
        return QORProcessEventNow(&e);
    };
    TKSN_Project* before = Project;
    Provider.Boxes.clear();
    EXPECT_TRUE(drop((Store.Folder / "missing.Kestrune").string()));
    EXPECT_TRUE(Provider.Boxes.empty());
    Provider.Answers = {TOSBoxAnswer::No};
    EXPECT_TRUE(drop(file.string()));
    ASSERT_EQ(Provider.Boxes.size(), 1u);
    EXPECT_EQ(Provider.Boxes[0].Text, Lang.GetText(381));
    EXPECT_EQ(Project, before);
}

TEST_F(MainWindowAssembly, TheKeyInputCountsAndQueuesTheViewportKeyCommand)
{
    TQOREvent e(KestruneEvents_CommandCB, W().GetID(), -9994);
    e.intParameters[0] = 'x';
    const int before = W().InputEventCount;
    EXPECT_TRUE(QORProcessEventNow(&e));
    EXPECT_EQ(W().InputEventCount, before + 1);
    EXPECT_EQ(W().LastKeyInputCount, W().InputEventCount);
    EXPECT_EQ(CountQueued(295), 1);
}

TEST_F(MainWindowAssembly, AnImageRenamedAsAProjectKeepsTheOldProjectAndNamesTheFile)
{
    AddCube("Kept", 0.0f);
    const fs::path file = Store.Folder / "picture.Kestrune";
    {
        std::ofstream out(file, std::ios::binary);
        const unsigned char png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
        out.write(reinterpret_cast<const char*>(png), sizeof png);
    }
    Layout();
    TKSN_ViewportPanel* panel = W().ViewportPanels[0];
    TQOREvent e(KestruneEvents_CommandCB, W().GetID(), -9991);
    e.SetX(panel->AbsX + panel->Width / 2);
    e.SetY(panel->AbsY + panel->Height / 2);
    e.AssignStringParameter(file.c_str(), 0);
    TKSN_Project* before = Project;
    Provider.Boxes.clear();
    Provider.Answers = {TOSBoxAnswer::Yes};
    EXPECT_TRUE(QORProcessEventNow(&e));
    EXPECT_EQ(Project, before);
    EXPECT_EQ(Project->GetObjectCount(), 1);
    bool named = false;
    for (const auto& box : Provider.Boxes) named |= box.Text.find("picture.Kestrune") != std::string::npos;
    for (const std::string& line : g_Printed) named |= line.find("picture.Kestrune") != std::string::npos;
    EXPECT_TRUE(named) << "the message names the file";
}

// [SECTION] The empty project

namespace {

void CollectMenus(TGui_Node* node, std::vector<uint32_t>& out)
{
    for (TGui_Node* c = node->FirstChild; c; c = c->Next) {
        if (dynamic_cast<TGui_Menu*>(c)) out.push_back(c->GetID());
        CollectMenus(c, out);
    }
}

} // namespace

// Every item of every menu, on an empty project, with every question
// answered by closing it and every file or colour dialog cancelled: each
// completes or refuses, nothing throws, nothing is added.
TEST_F(MainWindowAssembly, EveryMenuItemOnAnEmptyProjectCompletesOrRefuses)
{
    Provider.ConfirmColour = false;
    std::vector<uint32_t> menus;
    CollectMenus(&W(), menus);
    ASSERT_FALSE(menus.empty());
    int ran = 0;
    for (uint32_t menuID : menus) {
        for (int index = 0;; ++index) {
            // Menus rebuild themselves when they open and after commands:
            // look the menu and its item up again each time.
            auto* menu = dynamic_cast<TGui_Menu*>(__GetThingyFromID(menuID));
            if (!menu) break;
            menu->OnPopup();
            KestruneEvents_ProcessEvents();
            menu = dynamic_cast<TGui_Menu*>(__GetThingyFromID(menuID));
            if (!menu) break;
            std::vector<TGui_MenuText*> items = RealItems(menu);
            if (index >= int(items.size())) break;
            TGui_MenuText* item = items[size_t(index)];
            if (!item->IsEnabled() || !item->ClickEvent) continue;
            SCOPED_TRACE(std::string(item->GetName()) + " (" + std::to_string(item->ClickEvent->GetCommand()) + ")");
            TQOREvent copy(item->ClickEvent);
            copy.SetDispatcher(item);
            EXPECT_NO_THROW({
                QORProcessEventNow(&copy);
                for (int pass = 0; pass < 5 && QOREvents_GetEventCount() > 0; ++pass) KestruneEvents_ProcessEvents();
            });
            QOREvents_Clean();
            ASSERT_TRUE(MainWindow && Project);
            EXPECT_EQ(Project->GetObjectCount(), 0);
            ++ran;
        }
    }
    EXPECT_GT(ran, 20);
}

TEST_F(MainWindowAssembly, SmoothingTextureCoordinatesMovesOnlySelectedVerticesTowardTheirNeighbours)
{
    EXPECT_FALSE(Run(120)) << "no current object";
    // A 3 x 3 grid of 4 quads; its centre's texture vertex is pulled aside.
    TKSN_Object* object = Project->CreateNewObject();
    auto* mesh = new TKSN_Mesh(object);
    object->Mesh.reset(mesh);
    mesh->Create(9, 9, 9, 4);
    for (int v = 0; v < 9; ++v) {
        mesh->baseVertices[3 * v] = float(v % 3);
        mesh->baseVertices[3 * v + 1] = float(v / 3);
        mesh->tVertices[2 * v] = float(v % 3) * 0.5f;
        mesh->tVertices[2 * v + 1] = float(v / 3) * 0.5f;
    }
    mesh->tVertices[8] = 0.9f;
    mesh->tVertices[9] = 0.2f;
    for (int q = 0; q < 4; ++q) {
        const int x = q % 2, y = q / 2, base = y * 3 + x;
        const int corners[4] = {base, base + 1, base + 4, base + 3};
        TQORPolygon& quad = mesh->Polygons[q];
        quad.SetCount(4);
        for (int k = 0; k < 4; ++k) quad.Points[k].V = quad.Points[k].VT = corners[k];
    }
    mesh->AfterRawBuild();
    Project->SetCurrentObject(object);
    for (int v = 0; v < 9; ++v) mesh->VertexInfo[v].Select = v == 4 ? 1.0f : 0.0f;
    EXPECT_TRUE(Run(120));
    EXPECT_NEAR(mesh->tVertices[8], 0.5f, 1e-5f);
    EXPECT_NEAR(mesh->tVertices[9], 0.5f, 1e-5f);
    EXPECT_FLOAT_EQ(mesh->tVertices[2], 0.5f) << "an unselected vertex stays";
    EXPECT_FLOAT_EQ(mesh->tVertices[3], 0.0f);
}

TEST_F(MainWindowAssembly, TheChannelStrengthGaugeSetsTheChannelAndAMissingPieceRefuses)
{
    TKSN_Mesh* mesh = AddCube("Cube", 0.0f);
    TQORMaterial* material = mesh->Materials->GetItemAs(0);
    ASSERT_NE(material, nullptr);
    auto* gauge = new TGui_Gauge(&W());
    gauge->Minimum = 0;
    gauge->Maximum = 100;
    gauge->Value = 40.0f;
    auto edit = [&](int command, const char* channel, uint32_t dispatcher) {
        TQOREvent e(KestruneEvents_CommandCB, 0, command);
        e.idParameters[0] = material->GetID();
        e.idParameters[1] = mesh->GetID();
        e.AssignStringParameter(channel, 0);
        e.dispatcherID = dispatcher;
        return QORProcessEventNow(&e);
    };
    EXPECT_TRUE(edit(170, "Color", gauge->GetID()));
    EXPECT_FLOAT_EQ(material->GetChannelFromName("Color")->Strength, 0.4f);
    EXPECT_TRUE(edit(171, "Bump", gauge->GetID()));
    EXPECT_FLOAT_EQ(material->GetChannelFromName("Bump")->Offset, 0.4f);
    EXPECT_FALSE(edit(170, "No Such Channel", gauge->GetID()));
    EXPECT_FALSE(edit(170, "Color", 0)) << "not raised by a gauge";
    // The colour dialog: cancelled changes nothing, confirmed stores.
    Provider.ConfirmColour = false;
    EXPECT_TRUE(edit(168, "Color", 0));
    EXPECT_EQ(CountQueued(434), 0);
    Provider.ConfirmColour = true;
    EXPECT_TRUE(edit(168, "Color", 0));
    EXPECT_EQ(CountQueued(434), 1);
}

TEST_F(OptionPanels, ADeformerWithoutAxisLocksShowsSnapRightUnderItsSeparator)
{
    for (bool locks : {true, false}) {
        SCOPED_TRACE(locks);
        auto deformer = std::make_unique<TKSN_MoveInPlane>();
        if (locks)
            deformer->Flags |= KSN_TOOL_HONOURS_AXIS_LOCKS;
        else
            deformer->Flags &= ~KSN_TOOL_HONOURS_AXIS_LOCKS;
        App->currentTool = deformer.get();
        Build();
        TGui_Node* control = Panel(1545);
        ASSERT_NE(control, nullptr);
        auto* separator = FindNamed<TGui_Separator>(control, Lang.GetText(1547));
        auto* snap = FindNamed<TGui_CheckBox>(control, Lang.GetText(1549));
        ASSERT_TRUE(separator && snap);
        EXPECT_EQ(FindNamed<TGui_Text>(control, Lang.GetText(797)) != nullptr, locks);
        EXPECT_EQ(snap->Y, separator->Y + (locks ? 32 : 16));
        EXPECT_EQ(snap->BoolVariableEvent->GetCommand(), 48);
        EXPECT_FALSE(snap->IsEnabled()) << "this deformer cannot snap";
        App->currentTool = Tool.get();
        Parent->Empty();
    }
}

TEST_F(MainWindowAssembly, StartUpShowsTheSplashPrintsTheWelcomeAndLoadsTheEnvironmentWhenItsFilesExist)
{
    const fs::path main = Store.Folder / "envmain";
    fs::create_directories(main / "Data");
    const std::string saved = OS.MainPath;
    OS.MainPath = main.string() + "/";
    auto startUp = [&] {
        App->running = false;
        g_Printed.clear();
        QOREvents_Clean();
        EXPECT_TRUE(Run(121));
        EXPECT_TRUE(App->running);
        ASSERT_GE(g_Printed.size(), 2u);
        EXPECT_NE(g_Printed[g_Printed.size() - 2].find("Running in 64 bit mode."), std::string::npos);
        EXPECT_NE(g_Printed.back().find("Welcome to Kestrune-Vessuna"), std::string::npos);
        EXPECT_TRUE(W().SplashWindow->Shown);
        EXPECT_TRUE(App->splashTimer.IsTiming());
    };
    // Only the object: no environment.
    std::ofstream(main / "Data" / "Environment.OBJ") << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n";
    startUp();
    EXPECT_EQ(App->environmentMesh, nullptr);
    EXPECT_EQ(CountQueued(432), 0);
    // With its map too: the environment mesh is read, and the interface refreshed.
    std::ofstream(main / "Data" / "EnvironmentMap_Grey.BMP") << "BM";
    startUp();
    ASSERT_NE(App->environmentMesh, nullptr);
    EXPECT_EQ(App->environmentMesh->GetPCount(), 1);
    EXPECT_TRUE(App->environmentMesh->ForceColorTextureDisplay);
    EXPECT_EQ(CountQueued(432), 1);
    OS.MainPath = saved;
}

TEST_F(MainWindowAssembly, RemovingAFolderLeavesTheTreesOwnRoot)
{
    auto* folder = new TKSN_ObjectTreeGroup();
    folder->SetName("Folder");
    Project->Objects->LinkChild(folder);
    const uint32_t id = folder->GetID();
    EXPECT_TRUE(Run(14, 1, 0, 0.0f, id));
    EXPECT_EQ(__GetThingyFromID(id), nullptr);
    EXPECT_EQ(Project->Objects->GetChild(), nullptr);
    EXPECT_TRUE(Run(14, 1, 0, 0.0f, Project->Objects->GetID()));
    EXPECT_EQ(__GetThingyFromID(Project->Objects->GetID()), Project->Objects) << "the root stays";
    EXPECT_EQ(CountQueued(441), 2);
}

TEST_F(MainWindowAssembly, ANewWindowSizeScalesTheMessageWindowButKeepsItAtLeast50High)
{
    struct {
        int before, x, y, expected;
    } const cases[] = {{200, 1024, 384, 100}, {60, 1024, 384, 50}};
    for (const auto& c : cases) {
        QORglut_DispatchReshape(1024, 768);
        W().MessageWindow->Height = c.before;
        TQOREvent e(KestruneEvents_CommandCB, 0, 141);
        e.SetX(c.x);
        e.SetY(c.y);
        EXPECT_TRUE(QORProcessEventNow(&e));
        EXPECT_EQ(W().Width, c.x);
        EXPECT_EQ(W().Height, c.y);
        EXPECT_EQ(W().MessageWindow->Height, c.expected);
        EXPECT_EQ(W().MessageWindow->Y, c.y - c.expected);
    }
}
