// The main window's frame cycle. Index:
//   [SECTION] Globals, guard and pump
//   [SECTION] Construction
//   [SECTION] Frames
//   [SECTION] Idle, resizing, visibility
//   [SECTION] Exit
//   [SECTION] Document: new, load, mode, current viewport
//   [SECTION] Splash window
#include "KSN_MainWindow_Internal.h"

#include "GuiButton.h"
#include "GuiMenu.h"
#include "GuiTheme.h"
#include "GuiWindow.h"
#include "KSN_Application.h"
#include "KSN_BrushLibrary.h"
#include "KSN_CR2ExportWindow.h"
#include "KSN_Gui_BrushBrowser.h"
#include "KSN_Gui_LayerWindow.h"
#include "KSN_Gui_Swatches.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_ViewportOptionsWindow.h"
#include "KSN_Object.h"
#include "KSN_OptionsWindows.h"
#include "KSN_Project.h"
#include "KSN_Viewport.h"
#include "KSN_Commands_System.h"
#include "KestruneEvents.h"
#include "OS.h"
#include "OverlayWorkhorse.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORLanguage.h"
#include "QORLookupTables.h"
#include "QORPolyMesh.h"
#include "QORString.h"
#include "QORVirtualMemory.h"
#include "QORglut.h"

#include <GL/gl.h>

#include <algorithm>
#include <memory>

// [SECTION] Globals, guard and pump

TKSN_MainWindow* MainWindow = nullptr;
bool InsideEvent = false;
bool MouseWheelLocked = false;
TGui_Node* DummyViewportPaddingNode = nullptr;
TQORTimer TimerSinceLastDisplay;
TGui_Node* DebugWindow = nullptr;
TGui_Node* DebugWindowListBox = nullptr;
bool DoFlashOnRepeatMessage = true;

TKSN_MainWindow* GetMainWindow() { return MainWindow; }

void KSN_MainWindowMissing(const char* file, int line)
{
    if (MainWindow) return;
    OS.ErrorMessage("MainWindow = NULL at %s,%d", file, line);
    OS.Exit(1);
}

TKSN_CallbackScope::TKSN_CallbackScope()
{
    if (!QORglut_IsReadyToGo() || InsideEvent || OS.IsInDialog()) return;
    entered = true;
    InsideEvent = true;
}

TKSN_CallbackScope::~TKSN_CallbackScope()
{
    if (entered) InsideEvent = false;
}

bool KSN_AppRunning() { return App && App->running; }

void KSN_PumpStep()
{
    if (QOREvents_GetEventCount() > 0) QORglutPostRedisplay_Internal();
    KestruneEvents_ProcessEvents();
}

void KSN_ContinueSaveReminder()
{
    if (App && !App->saveReminderTimer.IsTiming()) App->saveReminderTimer.Continue();
}

void KSN_RestartInputTimer()
{
    if (App) App->inputTimer.Start();
}

namespace {

// "-transport" as the first argument (any case) keeps the start file closed;
// with no argument the start file opens.
bool ShouldOpenStartFile()
{
    if (!App || !App->loadDefaultProject) return false;
    if (OS.ArgumentCount > 1 && OS.Arguments && OS.Arguments[1] && QORstrcmpi(OS.Arguments[1], "-transport") == 0)
        return false;
    return true;
}

// Text 186 carries only its first line in the table; the warning that
// follows it belongs to the question.
std::string ExitQuestion()
{
    std::string question = Lang.GetText(186);
    if (question.find('\n') == std::string::npos) question += "\n\n(all unsaved changes will be lost)";
    return question;
}

} // namespace

// [SECTION] Construction

TKSN_MainWindow::TKSN_MainWindow(int window, void* nativeHandle) : TGui_BlankApp(window, nativeHandle)
{
    SetName("Main Window", false);
    std::copy(QORglutWigits_DefaultBackgroundColor, QORglutWigits_DefaultBackgroundColor + 3, BackgroundColor);
    Init();
    if (Width > 0 && Height > 0) UpdateSize();
    Kestrune_SetMessageTarget(this);
}

TKSN_MainWindow::~TKSN_MainWindow()
{
    if (Kestrune_GetMessageTarget() == this) Kestrune_SetMessageTarget(nullptr);
    {
        std::scoped_lock lock(MessageMutex);
        PendingMessageList.Clear();
    }
    Empty();
    DummyViewportPaddingNode = nullptr;
    LineUnderTabNode = nullptr;
}

void TKSN_MainWindow::RegisterCallbacks()
{
    QORglutDisplayFunc(DisplayCB);
    QORglutReshapeFunc(ReshapeCB);
    QORglutIdleFunc(IdleCB);
    QORglutVisibilityFunc(VisibilityCB);
    QORglutMinimizeFunc(MinimizeCB);
    QORglutWindowStatusFunc(WindowStatusCB);
    QORglutExitFunc(ExitCB);
    QORglutMouseFunc(MouseCB);
    QORglutMotionFunc(MotionCB);
    QORglutPassiveFunc(PassiveCB);
    QORglutDoubleClickFunc(DoubleClickCB);
    QORglutMouseWheelFunc(MouseWheelCB);
    QORglutDragFunc(DragCB);
    QORglutKeyboardFunc(KeyboardCB);
    QORglutSpecialFunc(SpecialCB);
    QORglutDragDropFunc(DragDropCB);
}

namespace {

TGui_Node* PlainNode(TGui_Node* parent, int width, int height)
{
    TGui_Node* n = parent->AddNode("", width, height);
    n->ShowName = false;
    return n;
}

// A prepared event of the dispatcher whose owner is the given widget.
void QueueFor(TGui_Node* owner, int command)
{
    auto* e = new TQOREvent(KestruneEvents_CommandCB, 0, command);
    e->SetOwner(owner);
    QOREvents_PushEvent(e);
}

TGui_Button* TabButton(TGui_Node* bar, int x, int label, int hint, const char* graphic, int tab)
{
    TGui_Button* b = bar->AddButton(QORFormat("     %s", Lang.GetText(label)).c_str(), x, 0, Lang.GetText(hint));
    TGui_Node* icon = b->AddNode("", 20, 20);
    icon->ShowName = false;
    icon->DrawSurface = false;
    icon->BorderWidth = 0;
    icon->MouseTransparent = true;
    icon->SetPosition(1, 2);
    if (graphic) icon->SetGraphic(QORglut_Textures_GetTextureFromList(graphic));
    b->UpdateSize();
    b->AutoSize = false;
    b->Height = bar->Height + 4;
    b->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 9);
    b->ClickEvent->intParameters[0] = tab;
    return b;
}

} // namespace

void TKSN_MainWindow::Init()
{
    // 1. The lock icon that the viewport panels' polygon read-out shows.
    LockIcon = PlainNode(this, 16, 16);
    if (TQORglutTexture* lock = QORglut_Textures_GetTextureFromList("Lock_icon")) {
        LockIcon->SetGraphic(lock);
        LockIcon->SetSize(lock->GetWidth(), lock->GetHeight());
    }
    LockIcon->Hide();

    // 2-4. State, the context menu, the tool bar; the window itself darker.
    CurrentTab = 0;
    InputEventCount = LastKeyInputCount = 0;
    CullingPanelID = PaintPanelID = SymmetryPanelID = 0;
    PopupMenu = new TGui_Menu(this);
    PopupMenu->Hide();
    ToolBar = PlainNode(this, 100, 20);
    for (float& c : BackgroundColor) c *= 0.5f;

    // 5. The four viewport panels, each with its title-bar buttons and a
    // hidden rear-view panel.
    for (int i = 0; i < 4; ++i) {
        auto* panel = new TKSN_ViewportPanel(this, i);
        ViewportPanels[i] = panel;
        panel->SetName(QORFormat("Viewport %d", i).c_str(), false);
        // The title bar first: making it empties the panel.
        panel->CreateButtons(true);
        if (i == 0) {
            if (TQORglutTexture* settings = QORglut_Textures_GetTextureFromList("ViewportSettings")) {
                ViewportSettingsButton = panel->AddButton("", 0, 0, nullptr);
                ViewportSettingsButton->SetGraphic(settings);
                ViewportSettingsButton->AutoSize = false;
                ViewportSettingsButton->SetSize(settings->GetWidth(), settings->GetHeight());
                ViewportSettingsButton->ClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 449);
                ViewportSettingsButton->Hide();
                panel->SettingsButton = ViewportSettingsButton;
            }
        }
        // The rear view: a small hidden panel of its own that never passes input to a tool.
        auto* rear = new TKSN_ViewportPanel(panel);
        rear->SetName("RearView", false);
        rear->SetSize(64, 64);
        rear->IsRearView = true;
        for (TGui_Node* c = rear->FirstChild; c; c = c->Next) c->Hide();
        rear->Hide();
        panel->RearViewPanel = rear;
    }

    // 6. The padding of the viewport area; panel 0 maximised under layout 5.
    DummyViewportPaddingNode = AddNode("", 1, 1);
    DummyViewportPaddingNode->ShowName = false;
    DummyViewportPaddingNode->DrawSurface = false;
    DummyViewportPaddingNode->BorderWidth = 0;
    if (Project) Project->SetCurrentViewportIndex(0);
    MaximizedViewportPanel = ViewportPanels[0];
    if (App) App->viewportLayout = 5;

    // 7. The three side views, run at the first pump; panel 0 keeps its view.
    QueueFor(ViewportPanels[1], 272);
    QueueFor(ViewportPanels[3], 274);
    QueueFor(ViewportPanels[2], 270);
    KSN_WorkingTimer.Start();

    // 8-9. The window callbacks, then the menus.
    RegisterCallbacks();
    CreateMenus();

    // 10. The side panel's tab bar.
    TabBar = PlainNode(this, 230, 24);
    TabBar->MarginX = TabBar->MarginY = 0;
    int x = 0;
    ToolTabButton = TabButton(TabBar, x, 892, 891, nullptr, 0);
    x += ToolTabButton->Width;
    ManagerTabButton = TabButton(TabBar, x, 883, 884, "Manager", 1);
    x += ManagerTabButton->Width;
    MapsTabButton = TabButton(TabBar, x, 894, 895, "TextureMaps", 2);

    // 11-12. The tool menus; the progress, options and new-map windows.
    UpdateToolMenus();
    ProgressWindow = new TKSN_ProgressWindow(this);
    OptionsWindow = new TKSN_OptionsWindow(this);
    NewMapWindow = new TKSN_NewMapWindow(this);

    // 13. The side panel with the tool window.
    SidePanel = PlainNode(this, 230, 400);
    SidePanel->CreateVerticalScrollBar();
    SidePanel->CreateHorizontalScrollBar();
    ToolWindow = new TKSN_ToolWindow(SidePanel);
    ToolWindow->SetName("Tool Window", false);
    ToolWindow->ShowName = false;
    ToolWindow->Width = 230;

    // 14. The layer, rename and render-options windows; the message window.
    LayerWindow = new TKSN_LayerWindow(this);
    RenameWindow = new TKSN_RenameWindow(this);
    RenderOptionsWindow = new TKSN_RenderOptionsWindow(this);
    MessageWindow = new TGui_Window(this);
    // The literal overload: the title is the text itself, not a format.
    MessageWindow->SetName(Lang.GetText(869), true);
    MessageWindow->ShowName = false;
    MessageWindow->SetHint("%s", Lang.GetText(870));
    if (MessageWindow->TitleBar) {
        MessageWindow->TitleBar->SetHint("%s", Lang.GetText(870));
        if (MessageWindow->TitleBar->CloseButton) MessageWindow->TitleBar->CloseButton->Hide();
    }
    MessageWindow->MakeNonResizeable();
    MessagePanel = PlainNode(MessageWindow, 300, 100);
    MessagePanel->StackChildren = true;
    MessagePanel->CreateVerticalScrollBar();
    HintPanel = PlainNode(MessageWindow, 300, 60);
    HintPanel->StackChildren = true;
    for (TGui_Node* panel : {MessagePanel, HintPanel}) {
        std::copy(QORglutWigits_DefaultLightBackgroundColor, QORglutWigits_DefaultLightBackgroundColor + 3,
                  panel->BackgroundColor);
        std::copy(QORglutWigits_DefaultTextColorOnLightBackground,
                  QORglutWigits_DefaultTextColorOnLightBackground + 3, panel->TextColor);
    }
    MessagePanel->SetHint("%s", Lang.GetText(68));
    HintPanel->SetHint("%s", Lang.GetText(176));
    LayerWindow->SetPosition(LayerWindow->X, Height - 130);
    MessageWindow->SetPosition(MessageWindow->X, Height - 130);
    ToolWindow->PostUpdate();

    // 15. The export, import, CR2 and viewport-options windows, the Manager
    // tab, the two brush-library pop-ups, the Maps tab and the animation controls.
    ExportWindow = new TKSN_ExportWindow(this);
    ImportWindow = new TKSN_ImportWindow(this);
    CR2ExportWindow = new TKSN_CR2ExportWindow(this);
    ViewportOptionsWindow = new TKSN_ViewportOptionsWindow(this);
    ObjectManagerNode = new TKSN_ObjectManagerNode(SidePanel);
    ObjectManagerNode->ShowName = false;
    // Wider than the side panel: the Manager tab scrolls sideways.
    ObjectManagerNode->Width = 460;
    ObjectManagerNode->SetHint("%s", Lang.GetText(884));
    // The two library pop-ups, filled once from the application's brush trees.
    BrushImageLibraryWindow = new TKSN_BrushTextureManagerNode(this);
    BrushImageLibraryWindow->SetName("Brush Images", false);
    BrushImageLibraryWindow->SetSize(300, 350);
    BrushImageLibraryWindow->LibraryID = App && App->brushImageLibrary ? App->brushImageLibrary->GetID() : 0;
    BrushImageLibraryWindow->PickCommand = 484;
    BrushImageLibraryWindow->LoadCommand = 366;
    BrushImageLibraryWindow->Update();
    BrushImageLibraryWindow->Hide();
    BrushShapeLibraryWindow = new TKSN_BrushTextureManagerNode(this);
    BrushShapeLibraryWindow->SetName("", false);
    BrushShapeLibraryWindow->ShowName = false;
    BrushShapeLibraryWindow->SetSize(300, 200);
    BrushShapeLibraryWindow->LibraryID = App && App->brushShapeLibrary ? App->brushShapeLibrary->GetID() : 0;
    BrushShapeLibraryWindow->PickCommand = 483;
    BrushShapeLibraryWindow->LoadCommand = 367;
    BrushShapeLibraryWindow->Shapes = true;
    BrushShapeLibraryWindow->Update();
    BrushShapeLibraryWindow->Hide();
    MapsNode = new TKSN_MapsNode(SidePanel);
    MapsNode->ShowName = false;
    MapsNode->Width = 230;
    AnimationControlsNode = new TKSN_AnimationControlsNode(SidePanel);
    AnimationControlsNode->Hide();

    // 16. Mode 0 once the pump runs.
    auto* mode = new TQOREvent(KestruneEvents_CommandCB, 0, 151);
    mode->intParameters[0] = 0;
    QOREvents_PushEvent(mode);

    // 17. Title and hints.
    if (App) QORglutSetWindowTitle(App->applicationName);
    HintMode = App && App->showHints ? 1 : 0;

    // 18-20. The mode buttons, the overlay, the hot keys.
    ModeButtonBar = PlainNode(this, 48, 40);
    ModeButtonBar->SetPosition(0, 0);
    UpdateModeButtons();
    if (App) App->inputTimer.Start();
    OverlayNode = PlainNode(this, 100, 20);
    OverlayNode->BackgroundColor[0] = OverlayNode->BackgroundColor[1] = OverlayNode->BackgroundColor[2] = 1.0f;
    OverlayNode->Hide();
    CreateHotKeys();
}

// [SECTION] Frames

void TKSN_MainWindow::DisplayCB()
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered()) return;
    TKSN_MainWindow& w = *MainWindow;
    // The viewports are drawn first, underneath every panel and window.
    for (int i = 3; i >= 0; --i)
        if (w.ViewportPanels[i]) w.LinkChildFirst(w.ViewportPanels[i]);
    if (DummyViewportPaddingNode) w.LinkChildFirst(DummyViewportPaddingNode);

    if (App) {
        ++App->frameCounter;
        ++App->drawFrameCounter;
    }
    QORglResetState();
    if (!KSN_AppRunning()) return;

    if (w.FramesDrawn++ == 0 && ShouldOpenStartFile()) QOREvents_PushEvent(369);
    Kestrune_BeginDrawingFrame();
    if (Project) Project->BeforeScreenDraw();
    if (KSN_AppRunning()) w.Redisplay(true);
    // TODO(stub): the project's after-draw step (TKSN_Project::AfterScreenDraw) does not exist yet.
    // Ends the drawing bracket and shows what was queued meanwhile.
    Kestrune_EndDrawingFrame();
    TimerSinceLastDisplay.Start();
}

void TKSN_MainWindow::Draw()
{
    // Fills the strip that the viewport layout leaves between the viewports
    // and the side column.
    int right = 0, bottom = 0;
    for (TKSN_ViewportPanel* p : ViewportPanels) {
        if (!p) continue;
        right = std::max(right, p->X + p->Width);
        bottom = std::max(bottom, p->Y + p->Height);
    }
    const int left = SidePanel ? SidePanel->X : 0;
    const int top = MenuBar ? MenuBar->Height : 0;
    TGui_Master::Draw();
    if (!SidePanel || left <= right) return;
    float c[3];
    GetDisplayColor(c, BackgroundColor, false);
    SetupToDraw(false);
    glColor3fv(c);
    glBegin(GL_QUADS);
    glVertex2i(right, top);
    glVertex2i(left, top);
    glVertex2i(left, bottom);
    glVertex2i(right, bottom);
    glEnd();
}

// [SECTION] Idle, resizing, visibility

void TKSN_MainWindow::IdleCB()
{
    KSN_REQUIRE_MAIN_WINDOW();
    if (App && App->inputTimer.IsTiming() && App->inputTimer.Read() < double(0.2f)) return;
    TKSN_CallbackScope scope;
    if (!scope.Entered()) return;
    KSN_PumpStep();
    if (!KSN_AppRunning()) return;
    TKSN_MainWindow& w = *MainWindow;
    if (!w.GetOnMouseDownNode() && App->saveReminderInterval > 1e-5f &&
        App->saveReminderTimer.Read() > double(App->saveReminderInterval)) {
        App->saveReminderTimer.Start();
        QOREvents_PushEvent(402);
    }
    w.ProcessIdle();
}

void TKSN_MainWindow::ProcessIdle()
{
    const bool held = GetOnMouseDownNode() != nullptr;
    if (Project && !held) {
        Project->OnIdleOrPassive();
        if (App) App->idleOrPassiveDone = true;
    }
    if (Project) Project->OnIdle();
    QORVirtualMemory_Checkup();
    if (Project && !held) {
        Project->OptimizeUndoNodes(0.0165f);
        Project->OptimizeRedoNodes(0.0165f);
    }
    // Texts that worker threads raised since the last frame.
    Kestrune_FlushPendingMessages();
    TrimMessagePanel();
    if (App && App->splashTimer.IsTiming() && App->splashTimer.Read() > 1.0) {
        if (SplashWindow) SplashWindow->Hide();
        App->splashTimer.Stop();
        QOREvents_PushEvent(146);
    }
    TGui_Master::ProcessIdle();
}

void TKSN_MainWindow::ReshapeCB(int width, int height)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered()) return;
    if (width == 0 || height == 0) return;
    TKSN_MainWindow& w = *MainWindow;
    if (!w.FirstReshapeDone) {
        QORglutPostRedisplay_Internal();
        w.FirstReshapeDone = true;
    }
    if (width < 800 || height < 544) {
        auto* e = new TQOREvent(140);
        e->SetX(std::max(width, 800));
        e->SetY(std::max(height, 544));
        QOREvents_PushEvent(e);
        return;
    }
    TQOREvent resize(141);
    resize.SetX(width);
    resize.SetY(height);
    QORProcessEventNow(&resize);
    KSN_RestartInputTimer();
    KSN_PumpStep();
}

void TKSN_MainWindow::VisibilityCB(int visible)
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered() || !KSN_AppRunning()) return;
    TGui_BlankApp::VisibilityCB(visible);
    // The save reminder counts only time in which the window can be seen.
    if (visible == 0)
        App->saveReminderTimer.Stop();
    else
        KSN_ContinueSaveReminder();
    if (visible == 1) KSN_PumpStep();
}

int TKSN_MainWindow::MinimizeCB() { return App ? int(App->allowMinimize) : 1; }

void TKSN_MainWindow::WindowStatusCB(int) {}

// [SECTION] Exit

int TKSN_MainWindow::ExitCB()
{
    KSN_REQUIRE_MAIN_WINDOW();
    TKSN_CallbackScope scope;
    if (!scope.Entered()) return 0;
    return ExitRequested();
}

int TKSN_MainWindow::ExitRequested()
{
    if (!OS.MessageYesNo("%s", ExitQuestion().c_str())) return 0;

    CleanupOverlayWorkhorse();
    if (App) App->SaveSettings();
    QOREvents_Clean();
    NavCleanStacks();
    delete Project;
    Project = nullptr;
    MainWindow->Empty();
    delete MainWindow;
    MainWindow = nullptr;
    Gui_CleanMasterList();
    delete App;
    App = nullptr;
    CleanMathLookupTables();
    QORVirtualMemory_Cleanup();
    QORglut_Textures_Cleanup();
    Lang.Empty();
    OS.CleanArguments();
    QORglut_Ext_Clean();
    OptimizePolygonMemory();
    OS.Exit(0);
}

// [SECTION] Document: new, load, mode, current viewport

void TKSN_MainWindow::NewProject()
{
    if (Project) {
        int meshes = 0;
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
        if (objects)
            for (TKSN_Object* o : *objects)
                if (o && o->Mesh) ++meshes;
        std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
        const int mapCount = maps ? maps->Count() : 0;
        if ((meshes != 0 || mapCount != 0) &&
            !OS.MessageYesNo("%s\n\n%s", Lang.GetText(388), "The current project will be discarded."))
            return;
    }
    OS.PrintMessageNoRepeat("%s", Lang.GetText(1118));
    delete Project;
    Project = new TKSN_Project();
    SetMode(Project->GetMode());
    if (App) App->ResetViewports();
    AfterLoadOrNewProject();
    QOREvents_PushEvent(299);
}

bool TKSN_MainWindow::LoadProject(const char* path)
{
    const int mode = Project ? Project->GetMode() : 0;
    // A failed load puts back the old project and every piece of application
    // state the reader touched, the viewport-layout index included.
    int current = -1;
    if (!KSN_LoadProjectInPlace(path, &current)) return false;
    // TODO(stub): the project keeps no user-input-waiting function yet
    // (UserInputWaitingFuncForRealTimeDisplay is handed to it once it does).
    if (mode != 0) {
        SetMode(0);
        SetMode(mode);
    }
    AfterLoadOrNewProject();
    if (current >= 0) Project->SetCurrentViewportIndex(current);
    return true;
}

void TKSN_MainWindow::AfterLoadOrNewProject()
{
    NavCleanStacks();
    if (Project) Project->OnAllViewportsChanged();
    for (TKSN_ViewportPanel* p : ViewportPanels)
        if (p) p->OnViewOrGeometryChanged();
    if (Project && Project->GetObjectCount() == 0 && App) {
        // TODO(stub): the project's view scale (set to 1.0 here) does not exist yet.
        for (TKSN_Viewport* v : App->viewports)
            if (v) v->SetZoomForLoadingOnly(1.0f);
    }
    OptimizePolygonMemory();
    QOREvents_PushEvent(432);
}

void TKSN_MainWindow::SetMode(int mode)
{
    if (!Project) return;
    Project->SetMode(mode, false);
    UpdateModeButtons();
    SetupEditMenu();
}

void TKSN_MainWindow::OnCurrentViewportChanged()
{
    if (Project) {
        if (TKSN_Viewport* v = Project->GetCurrentViewport()) Project->OnSingleViewportChanged(v);
        Project->InvalidateAffectedObjectsStencil();
    }
    SetActiveWindow(nullptr);
}

TKSN_ViewportPanel* TKSN_MainWindow::GetCurrentViewportPanel()
{
    if (!Project) return nullptr;
    return GetViewportPanelFromViewport(Project->GetCurrentViewport());
}

TKSN_ViewportPanel* TKSN_MainWindow::GetViewportPanelFromViewport(TKSN_Viewport* viewport)
{
    if (!viewport) return nullptr;
    for (TKSN_ViewportPanel* p : ViewportPanels)
        if (p && p->GetViewport() == viewport) return p;
    return nullptr;
}

bool TKSN_MainWindow::UserInputWaitingFuncForRealTimeDisplay()
{
    return MainWindow && MainWindow->GetOnMouseDownNode() && OS.UserMouseMotionWaiting();
}

bool TKSN_MainWindow::SetCurrentMorphCB(TQOREvent*) { return false; }

// [SECTION] Splash window

void TKSN_MainWindow::SetupSplashScreen()
{
    SplashTexture = QORglut_Textures_GetTextureFromList("SplashScreen-Vessuna");
    if (SplashTexture) SplashTexture->SetFilter(GL_LINEAR);
    SplashWindow = new TKSN_SplashScreenWindow(this);
    SplashWindow->SetGraphic(SplashTexture);
    SplashWindow->DoubleClickEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 446);
    SplashWindow->NoFocus = false;
    SplashWindow->Hide();
    std::string caption = QORFormat("%s, version %d.%d.%d.%d", App ? App->applicationName : "", 4, 2, 8, 0);
    SplashWindow->SetName(caption.c_str(), false);
    if (SplashTexture) SplashWindow->SetSize(SplashTexture->GetWidth(), SplashTexture->GetHeight());
}
