// TGui_Master: the root of one widget tree, standing for the whole GL canvas
// of one window; TGui_BlankApp: a master bound to the GLUT-like window layer.
//
// The master runs the layout passes (LayoutTree: sizes children first, second
// size pass parents first, absolute positions, contents, occlusion marking)
// separately from drawing (DrawTree), so headless code can lay out a tree
// without GL. Redisplay is one whole frame: GL reset, LayoutTree, DrawTree,
// swap or flush.
//
// Invariants:
// - Tracked nodes (focus, mouse-over, pressed, dragged, the active window and
//   the modal stack) are held by object ID and resolved at every use; an ID
//   that no longer resolves is absent, so nodes never report their end.
// - Every time is a reading of the master's Clock (seconds), which tests stop
//   and set instead of sleeping.
// - MasterList holds every live master in order of construction; it is
//   created on first use and deleted by Gui_CleanMasterList, after which
//   masters neither find nor touch it.
#pragma once

#include "GuiNode.h"
#include "QORNewStaticList.h"
#include "QORTimer.h"

class TGui_HintNode;
class TGui_MenuBar;

class TGui_Master : public TGui_Node {
public:
    explicit TGui_Master(TGui_Node* parent = nullptr);
    ~TGui_Master() override;

    // [SECTION] Frames and layout
    void Redisplay(bool swap);
    // The layout passes of one frame, without GL (frame steps 3 to 7).
    void LayoutTree();
    // The drawing of one frame (frame steps 8 and 9); GL.
    void DrawTree();
    void UpdateSizeAll(TGui_Node* first, int depth);
    void UpdateSize_SecondPass_All(TGui_Node* first, int depth);
    void UpdatePositionAll(TGui_Node* first, int depth, int originX, int originY);
    void UpdateContents(TGui_Node* first);
    void MarkOccludedNodes();
    void RecursivelyDraw(TGui_Node* first, bool inControls);
    void Draw() override;

    // [SECTION] Virtual operations of the master
    virtual void Reshape(int width, int height);
    __attribute__((format(printf, 3, 4))) virtual void PrintHintParam(TGui_Node* node, const char* format, ...);
    virtual void PrintHint(TGui_Node* node, const char* text);
    virtual void ProcessIdle();
    void ProcessIdleRecurse(TGui_Node* first);

    // [SECTION] Focus, windows, menus
    TGui_Node* SetActiveNode(TGui_Node* node);
    TGui_Window* SetActiveWindow(TGui_Window* window);
    void SelectParentWindow(TGui_Node* node);
    // The first focusable node below container (possibly none), made the active node.
    TGui_Node* ActivateFirstFocusableNode(TGui_Node* container);
    TGui_MenuBar* AddMenuBar();
    // The modal window at stack place i (0 the top), or null when its ID no longer resolves.
    TGui_Window* GetModalWindow(int i);
    bool IsModalWindow(TGui_Window* window);
    // Whether any entry of the modal stack still resolves to a window.
    bool HasModalWindow();
    TGui_Node* GetActiveNode();

    bool IsAltHeld() override { return AltHeld; }
    bool IsCtrlHeld() override { return CtrlHeld; }
    bool IsShiftHeld() override { return ShiftHeld; }

    // [SECTION] Input entry points (plain records: position, button, state,
    // modifiers 1 Shift 2 Ctrl 4 Alt, key)
    int ProcessMouseButton(int button, int state, int x, int y, int modifiers);
    int ProcessMouseMotion(int x, int y);
    int ProcessPassiveMouseMotion(int x, int y);
    int ProcessKey(unsigned char key, int x, int y, int modifiers);
    int ProcessSpecialKey(int key, int x, int y, int modifiers);
    int ProcessMouseWheel(int delta);
    int ProcessDoubleClick(int x, int y, int unused);
    // Hot-key search over the sibling list from first (1 on a match).
    int ProcessHotKey(unsigned char key, TGui_Node* first, bool recurse);
    int ProcessSpecialHotKey(int key, TGui_Node* first, bool recurse);
    // The node under (x, y) after the modal block, tracked in MouseOverNodeID;
    // with notify, enter and exit notices and the hover hint.
    TGui_Node* ProcessMouseOver(int x, int y, bool notify);
    // Hit test of a sibling list; x, y relative to the client area of the
    // list's parent. The last match wins.
    static void GetNodeFromCoordsRecurse(TGui_Node* first, int x, int y, TGui_Node** found);
    // Click or double click on a release at canvas (x, y).
    int ProcessClick(TGui_Node* node, int x, int y);
    TGui_Node* GetMouseOverNode();
    TGui_Node* GetOnMouseDownNode();
    TGui_Node* GetDragDropNode();
    bool IsDragDropping() { return GetDragDropNode() != nullptr; }
    // False once after SkipNextMotion was set (and clears it).
    bool CanConsiderMouseMovement();

    // [SECTION] Fields
    char* HintText = nullptr;   // "Press ESC to hide this hint"
    int32_t DragX = 0, DragY = 0;
    int32_t DragGrabX = 0, DragGrabY = 0;
    uint32_t DragDropNodeID = 0;
    bool AltHeld = false, CtrlHeld = false, ShiftHeld = false;
    int32_t Modifiers = 0;
    uint32_t ActiveNodeID = 0;
    uint32_t MouseDownNodeID = 0;
    uint32_t ReleasedOverNodeID = 0;
    uint32_t MouseOverNodeID = 0;
    uint32_t ActiveWindowID = 0;
    float FlashDeadline = 0.0f;   // seconds of Clock; 0 none
    TQORTimer Clock;
    bool MovingNode = false;
    bool SkipNextMotion = false;
    int32_t LastPassiveX = -1, LastPassiveY = -1;
    int32_t HintMode = 1;   // 0 none, 1 on mouse-over, 2 Shift + right click
    TQORglutTexture* CloseButtonGraphic = nullptr;
    TQORNewStaticList<uint32_t> ModalWindows{1};   // window IDs; entry 0 is the top
    bool HideFocusOutline = false;
    TGui_MenuBar* MenuBar = nullptr;
    void* UserData = nullptr;
    int32_t WindowID = -1;
    int32_t PressX = 0, PressY = 0;
    int32_t MouseX = 0, MouseY = 0;
    int32_t MouseOverX = 0, MouseOverY = 0;
    float LastIdleTime = 0.0f;
    float DoubleClickTime = 0.2f;
    TGui_HintNode* HintNode = nullptr;
    int32_t LastButtonState = -1;
    int32_t LastButton = -1;
    TQOREvent* HintEvent = nullptr;   // not owned
};

class TGui_BlankApp : public TGui_Master {
public:
    TGui_BlankApp(int windowID, void* userData);
    ~TGui_BlankApp() override = default;

    static void DisplayCB();
    static void ReshapeCB(int width, int height);
    static void MouseCB(int button, int state, int x, int y);
    static void MotionCB(int x, int y);
    static void PassiveCB(int x, int y);
    static void KeyboardCB(unsigned char key, int x, int y);
    static void SpecialCB(int key, int x, int y);
    static void VisibilityCB(int state);
    static void IdleCB();
    static int ExitCB();
    static int MaximizeCB();
    static int RestoreCB();
    static void DragCB(int x, int y);
};

// The press position relative to the pressed node (x - AbsX, y - AbsY),
// kept for moving the node with the mouse.
extern int32_t MouseDragOffsetX, MouseDragOffsetY;

// Every live master in order of construction; null before the first master
// and after Gui_CleanMasterList.
extern TQORNewStaticList<TGui_Master*>* MasterList;
TGui_Master* QORglutWigits_GetMasterFromWindowID(int windowID);
// Deletes the list (never the masters); the application calls it on exit.
void Gui_CleanMasterList();
