// TKSN_MainWindow: the root of the whole OpenGL-drawn interface, one blank
// application of the GUI toolkit that fills the single canvas and owns every
// panel, window and menu of the program.
//
// The window toolkit's event loop calls the static window callbacks below
// (registered with the GLUT-like layer in place of the toolkit's own); there
// is no loop of the program's own and everything here runs on the main
// thread. Sources:
//   KSN_MainWindow.cpp           construction, the callback guard, frames, idle, resizing, exit,
//                                new and loaded projects, modes, the splash window
//   KSN_MainWindow_Input.cpp     mouse, wheel, keys and dropped files
//   KSN_MainWindow_Messages.cpp  the message and hint panels, progress in the title
//   KSN_MainWindow_Menus.cpp     the menu bar, its menus and the dynamic menus
//   KSN_MainWindow_Layouts.cpp   the sizing pass and the six viewport layouts
//
// Invariants:
// - Every callback except the wheel and drag callbacks returns at once unless
//   the layer is ready, no other callback runs (InsideEvent) and no modal
//   dialog is open; InsideEvent is cleared on every way out.
// - Only the main thread touches widgets: texts raised by other threads, or
//   while a frame is drawn, wait in the pending list (KSN_MessageHooks.h) and
//   are shown after the frame or at the next idle pass.
// - Menus are rebuilt whole each time they open, never patched.
#pragma once

#include "GuiMaster.h"
#include "KSN_MessageHooks.h"
#include "KSN_RenameWindow.h"
#include "QOREvents.h"
#include "QORNewStaticList.h"

#include <string>

class TGui_Menu;
class TGui_Button;
class TGui_Window;
class TKSN_Tool;
class TKSN_Viewport;
class TKSN_ViewportPanel;
class TKSN_ImportWindow;
class TKSN_SplashScreenWindow;
class TKSN_MapsNode;
class TKSN_ObjectManagerNode;
class TKSN_CR2ExportWindow;
class TKSN_Layer;
class TKSN_LayerWindow;
class TKSN_BrushTextureManagerNode;
class TQORglutTexture;

class TKSN_MainWindow : public TGui_BlankApp, public TKSN_MessageTarget {
public:
    // Builds the widget tree (Init) and the menus, registers the window
    // callbacks and itself as the message hooks' target.
    TKSN_MainWindow(int window, void* nativeHandle);
    ~TKSN_MainWindow() override;
    TKSN_MainWindow(const TKSN_MainWindow&) = delete;
    TKSN_MainWindow& operator=(const TKSN_MainWindow&) = delete;

    // [SECTION] Construction and layout
    // Builds every member in a fixed order, assigns the viewports, queues the
    // first commands (the three side views, mode 0, the tool tab) and
    // registers the window callbacks; called once, from the constructor.
    void Init();
    // Lays the viewport panels out in the configuration (KSN_MainWindow_Layouts.cpp).
    void UpdateViewports();
    // The side panel's width for CurrentTab (shows or hides its horizontal scroll bar).
    int SidePanelWidthForTab();
    void RegisterCallbacks();

    // [SECTION] Window callbacks (frame cycle)
    static void DisplayCB();
    static void ReshapeCB(int width, int height);
    static void IdleCB();
    static void VisibilityCB(int visible);
    static int MinimizeCB();
    static void WindowStatusCB(int state);
    static int ExitCB();
    // 0 when the user declines; ends the process otherwise.
    static int ExitRequested();

    // [SECTION] Document
    void NewProject();
    // False when the file cannot be loaded: the old project, its mode and
    // the viewport layout stay.
    bool LoadProject(const char* path);
    void AfterLoadOrNewProject();
    void SetMode(int mode);
    void OnCurrentViewportChanged();
    TKSN_ViewportPanel* GetCurrentViewportPanel();
    TKSN_ViewportPanel* GetViewportPanelFromViewport(TKSN_Viewport* viewport);
    static bool UserInputWaitingFuncForRealTimeDisplay();
    static bool SetCurrentMorphCB(TQOREvent* event);

    // [SECTION] Overrides of the toolkit
    void OnUpdateContents() override {}
    // The whole layout of the window: tool bar, side column, tabs, message
    // window, viewports and mode bar (KSN_MainWindow_Layouts.cpp).
    void UpdateSize() override;
    void UpdateSize_SecondPass() override {}
    // Keeps the layer window's height when the canvas grows or shrinks.
    void Reshape(int width, int height) override;
    void Draw() override;
    void ProcessIdle() override;
    void OnMouse(int button, int state, int x, int y) override;
    bool OnMotion(int x, int y) override;
    __attribute__((format(printf, 3, 4))) void PrintHintParam(TGui_Node* node, const char* format, ...) override;
    void PrintHint(TGui_Node* node, const char* text) override;

    // [SECTION] Input callbacks (KSN_MainWindow_Input.cpp)
    static void MouseCB(int button, int state, int x, int y);
    static void MotionCB(int x, int y);
    static void PassiveCB(int x, int y);
    static void DoubleClickCB(int x, int y);
    static void MouseWheelCB(int step);
    static void DragCB(int dx, int dy);
    static void KeyboardCB(unsigned char key, int x, int y);
    static void SpecialCB(int key, int x, int y);
    static void DragDropCB(const char* path, int x, int y);
    void ProcessMouseOverMouseDownViewports();
    void OnDoubleClick2(int x, int y);
    static void LockMouseWheel();
    static void UnlockMouseWheel();

    // [SECTION] Messages, hints, progress (KSN_MainWindow_Messages.cpp)
    void DoPrintMessage(TGui_Node* panel, const char* text, bool asMessage, bool clearFirst, bool red, int command);
    static void DoProgress();
    void DrawProgressCB();
    // Keeps the 40 newest lines of the message panel.
    void TrimMessagePanel();

    // TKSN_MessageTarget
    bool HasMessagePanel() const override { return MessagePanel != nullptr; }
    void PrintToPanel(const char* text, bool red, int32_t command) override;
    void PrintHintToPanel(const char* text) override { PrintHint(MessagePanel, text); }
    void FlashPanel(bool style) override;
    void EmptyPanel() override;
    void PrintDebugLine(const char* text) override;
    TKSN_PendingMessageList& PendingMessages() override { return PendingMessageList; }

    // [SECTION] Menus (KSN_MainWindow_Menus.cpp)
    void CreateMenus();
    void UpdateMainMenu();
    void SetupEditMenu();
    void SetupViewportMenu();
    void UpdateObjectsMenu();
    void UpdateSelectionMenu(bool withOperations, bool unused);
    void UpdateMorphMenu();
    void UpdateMapsMenu();
    void UpdateLayersMenu();
    void UpdateMaterialMenu();
    void UpdateGroupMenu();
    void UpdateToolListMenu(TGui_Menu* menu, TQORNewStaticList<TKSN_Tool*>* list, const char* title,
                            TQOREventFunction callback);
    void UpdateToolMenus();
    static bool SelectMoreToolsCB(TQOREvent* event);

    // [SECTION] Tool panel and mode bar (KSN_Gui_ToolPanel.cpp, KSN_Gui_ModeBar.cpp)
    // Empties the panel and fills it with the current tool's parameters.
    void AddToolParametersToNode(TGui_Node* panel, bool withOptionPanels);
    // Rebuilds the tool window and the tool-type tab buttons.
    void UpdateTool();
    // Rebuilds the mode-button bar from the application's tool lists.
    void UpdateModeButtons();
    // Tool choice by list index (the event's command); the owner must be the main window.
    static bool SelectBrushCB(TQOREvent* event);
    static bool SelectTransformCB(TQOREvent* event);
    static bool SelectPaintBrushCB(TQOREvent* event);
    static bool SelectSculptCB(TQOREvent* event);
    static bool SelectNavigationToolsCB(TQOREvent* event);
    static bool SelectModelerCB(TQOREvent* event);
    static bool SelectTransformToolsCB(TQOREvent* event);

    // [SECTION] Hot keys (KSN_Gui_HotKeys.cpp): created once, after the menus
    // and the mode buttons; earlier keys shadow later ones.
    void CreateHotKeys();
    void CreateFileHotKeys();
    void CreateNavHotKeys();
    void CreateToolHotKeys();
    void CreateEditHotKeys();
    void CreateSelectionHotKeys();

    // [SECTION] Splash
    void SetupSplashScreen();

    // [SECTION] Fields
    TKSN_ViewportPanel* ViewportPanels[4] = {};
    TKSN_ViewportPanel* MaximizedViewportPanel = nullptr;
    TGui_Node* SidePanel = nullptr;
    TGui_Node* ModeButtonBar = nullptr;
    TGui_Button* BrushShapeButton = nullptr;
    TGui_Button* BrushImageButton = nullptr;
    TGui_Node* ColorSwatch = nullptr;     // the mode bar's colour swatch
    TGui_Button* LogoButton = nullptr;    // the mode bar's logo (updates) button
    TGui_Button* ToolTabButton = nullptr; // shows the current tool's icon
    TGui_Window* MessageWindow = nullptr;
    TGui_Node* MessagePanel = nullptr;
    TGui_Node* HintPanel = nullptr;
    TGui_Node* LockIcon = nullptr;
    TKSN_BrushTextureManagerNode* BrushShapeLibraryWindow = nullptr;   // the brush-shape library pop-up
    TKSN_BrushTextureManagerNode* BrushImageLibraryWindow = nullptr;   // the brush-image library pop-up
    TKSN_ImportWindow* ImportWindow = nullptr;
    TGui_Window* ExportWindow = nullptr;
    TGui_Window* ViewportOptionsWindow = nullptr;
    TGui_Window* RenderOptionsWindow = nullptr;
    TKSN_RenameWindow* RenameWindow = nullptr;
    TKSN_ProgressWindow* ProgressWindow = nullptr;
    TKSN_LayerWindow* LayerWindow = nullptr;   // the "Layers" manager
    TKSN_ToolWindow* ToolWindow = nullptr;   // the tool-parameter panel
    // The side panel's current tab (0 tool, 1 manager, ...).
    int32_t CurrentTab = 0;
    // The tool tab's culling and symmetry panels (by ID; 0 before built),
    // which commands 414 and 415 flash.
    uint32_t CullingPanelID = 0;
    uint32_t SymmetryPanelID = 0;
    uint32_t PaintPanelID = 0;
    TGui_Window* NewMapWindow = nullptr;
    TGui_Window* OptionsWindow = nullptr;
    TKSN_CR2ExportWindow* CR2ExportWindow = nullptr;
    TKSN_MapsNode* MapsNode = nullptr;
    TKSN_ObjectManagerNode* ObjectManagerNode = nullptr;
    TKSN_SplashScreenWindow* SplashWindow = nullptr;
    TQORglutTexture* SplashTexture = nullptr;
    TQORglutTexture* CloseWindowButtonTexture = nullptr;

    // The current tool's quick controls: the paint / morph / model tab buttons.
    TGui_Node* ToolBar = nullptr;
    TGui_Node* TabBar = nullptr;           // the side panel's three tab buttons
    TGui_Button* ManagerTabButton = nullptr;
    TGui_Button* MapsTabButton = nullptr;
    TGui_Menu* PopupMenu = nullptr;        // the context menu of the mouse callbacks
    TGui_Node* AnimationControlsNode = nullptr;
    TGui_Node* OverlayNode = nullptr;      // brought to the front whenever shown
    TGui_Button* ViewportSettingsButton = nullptr;   // panel 0's, when its graphic exists
    // Handled input events, and their count at the last key press.
    int32_t InputEventCount = 0;
    int32_t LastKeyInputCount = 0;

    TGui_Menu* ObjectsMenu = nullptr;
    TGui_Menu* MaterialsMenu = nullptr;
    TGui_Menu* GroupsMenu = nullptr;
    TGui_Menu* SelectMenu = nullptr;
    TGui_Menu* MorphsMenu = nullptr;
    TGui_Menu* MapsMenu = nullptr;
    TGui_Menu* LayersMenu = nullptr;
    TGui_Menu* LayerWindowMenu = nullptr;
    TGui_Menu* LayerOperationsMenu = nullptr;
    TGui_Menu* FileMenu = nullptr;
    TGui_Menu* EditMenu = nullptr;
    TGui_Button* EditMenuButton = nullptr;   // the Edit menu's button on the menu bar
    TGui_Menu* AdditionalUtilitiesMenu = nullptr;
    TGui_Menu* ViewportsMenu = nullptr;
    TGui_Menu* DisplayModeMenu = nullptr;
    TGui_Menu* ShadingOptionsMenu = nullptr;
    TGui_Menu* ConfigurationMenu = nullptr;
    TGui_Menu* FramingMenu = nullptr;
    TGui_Menu* GeneralMenu = nullptr;
    TGui_Menu* HelpMenu = nullptr;

    TKSN_PendingMessageList PendingMessageList;
    int32_t ProgressCounter = 0;    // 0..5 dots
    std::string LastMessage;        // the last window title set
    bool FirstReshapeDone = false;
    int32_t FramesDrawn = 0;        // frames that reached the drawing step
    bool ButtonDown = false;        // press-release pairing
    int32_t ButtonThatWentDown = -1;
};

// Fills a shading-options menu for a display layer; a null menu shows an
// error message and does nothing more.
void SetupDisplayMenu(TGui_Menu* menu, TKSN_Layer* layer, bool clear, bool forViewport);

extern TKSN_MainWindow* MainWindow;
TKSN_MainWindow* GetMainWindow();
// True while a main-window callback runs.
extern bool InsideEvent;
// Set by tools while a stroke is under way: the wheel does nothing.
extern bool MouseWheelLocked;
extern TGui_Node* DummyViewportPaddingNode;
// The strip that joins the current tab button to its page; made by the first layout.
extern TGui_Node* LineUnderTabNode;
// Pixels the viewport layout leaves unused at the right of the viewport area.
extern int LeftOverRightSpace;
// The message window's top edge at the last layout; -1 before the first.
extern int LastMessageWindow_y;
extern TQORTimer TimerSinceLastDisplay;
// The debug window and its list box: null unless the debug window is open.
extern TGui_Node* DebugWindow;
extern TGui_Node* DebugWindowListBox;
// When true, a replaced repeated message flashes the panel.
extern bool DoFlashOnRepeatMessage;
// The system beep of an unhandled drop (tests listen to it here).
extern void (*KSN_MainWindow_Beep)();
