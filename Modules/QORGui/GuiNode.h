// TGui_Node: the base of every widget of the program's own OpenGL-drawn
// toolkit, and of the main window's panels.
//
// Nodes form one retained tree per window; the root is a TGui_Master, which
// runs the layout passes (sizes, positions, contents), draws the tree and
// routes input. A node has an ordered child list and an ordered control list
// (title bars, scroll bars, close buttons): controls are laid out, drawn and
// hit-tested like children, but never scrolled and skipped by the child-list
// operations. List order is drawing order: later siblings lie on top.
//
// Invariants:
// - A node is in at most one list; Prev of a list head is null; Parent is null
//   exactly for a root. A node owns its children, controls and event templates.
// - Nodes are never deleted while the tree is walked: set DeletePending and the
//   master's next size pass unlinks and deletes the node with its subtree.
// - Whatever outlives one call (textures, nodes tracked by the master) is held
//   by object ID and resolved at each use; an ID that no longer resolves is
//   absent.
// - Layout (UpdateSize, UpdateSize_SecondPass) never touches GL; all GL calls
//   live in the *_Draw.cpp files. Text widths come from the font tables.
// - Coordinates are integer pixels, origin top-left, y down; X, Y relative to
//   the parent, AbsX, AbsY to the window.
// - Subclasses change behaviour only by overriding the virtual operations.
#pragma once

#include "QORThingy.h"

#include <cstdint>

class TQOREvent;
class TQORglutTexture;
class TGui_Master;
class TGui_ScrollBar;
class TGui_Window;

class TGui_Node : public virtual TQORThingy {
public:
    explicit TGui_Node(TGui_Node* parent = nullptr);
    ~TGui_Node() override;

    // [SECTION] Building
    TGui_Node* AddNode(const char* name, int width, int height);
    class TGui_Text* AddText(const char* text, int x, int y, const char* hint);
    class TGui_Separator* AddSeparator(const char* caption, int x, int y);
    class TGui_Button* AddButton(const char* caption, int x, int y, const char* hint);
    class TGui_Button* AddMenuButton(class TGui_Menu* menu, const char* caption, int x, int y, const char* hint);
    class TGui_CheckBox* AddCheckBox(const char* caption, int x, int y, const char* hint);
    class TGui_Menu* AddMenu();
    TGui_ScrollBar* CreateVerticalScrollBar();
    TGui_ScrollBar* CreateHorizontalScrollBar();
    // A gauge child whose Maximum is the second number (the first is not stored).
    class TGui_Gauge* AddGauge(const char* name, const char* hint, float first, float maximum);
    // A caption and edit field child; valueType 0 text, 1 float, 2 integer.
    class TGui_EditText* AddEditText(const char* name, int valueType);

    // [SECTION] Tree
    void LinkChild(TGui_Node* child);
    void LinkChildFirst(TGui_Node* child);
    void LinkNext(TGui_Node* node);
    void LinkControl(TGui_Node* control);
    void Unlink();
    void Pop();
    void Push();
    void Empty();
    static bool IsNodeInTree(TGui_Node* list, TGui_Node* target, bool firstOnly);
    TGui_Node* GetRoot();
    TGui_Master* GetMaster();
    void MakeActiveNode();
    int GetChildCount() const;

    // [SECTION] Geometry and visibility
    void SetPosition(int x, int y)
    {
        X = x;
        Y = y;
    }
    void SetSize(int w, int h)
    {
        Width = w;
        Height = h;
    }
    void SetAbsolutePosition(int ax, int ay);
    // Virtual: windows keep the active window and the modal stack, menu
    // items and title bars hide what hangs on them.
    virtual void Show() { Shown = true; }
    virtual void Hide() { Shown = false; }
    bool IsVisible(bool ignoreScroll);
    static void GetBounds(TGui_Node* list, int& minX, int& minY, int& maxX, int& maxY, int ox, int oy);
    static void GetBoundsRecursively(TGui_Node* list, int& minX, int& minY, int& maxX, int& maxY, int ox, int oy);
    static void GetNodeFromPoint(TGui_Node* list, int x, int y, TGui_Node** out);
    // The nearest TGui_Window at or above the node, or null.
    TGui_Window* GetParentWindow();

    // [SECTION] Names, hints, graphics
    // Stores the text literally (never a format) and measures NameWidth.
    void SetName(const char* text, bool relayout);
    __attribute__((format(printf, 2, 3))) void SetName(const char* format, ...) override;
    __attribute__((format(printf, 2, 3))) void SetHint(const char* format, ...) override;
    const char* GetHint() const override;
    void SetGraphic(TQORglutTexture* t);
    void SetAltGraphic(TQORglutTexture* t);
    TQORglutTexture* GetGraphic();
    // The texture an ID names, or null; clears the ID when it is stale.
    static TQORglutTexture* ResolveTexture(uint32_t& id);
    static int GetStringWidth(const char* text);

    // [SECTION] Enabling
    void Enable() override;
    void Disable() override;
    static void SetEnableRecursive(TGui_Node* list, bool enabled);

    // [SECTION] Events
    bool OnChange();
    void Flash(bool style);

    // [SECTION] Virtual operations (base behaviour)
    virtual bool CloseMenusOnClick() { return true; }
    bool IsEnabled() const override;
    void SetEnabled(bool enabled) override;
    virtual bool IsAltHeld();
    virtual bool IsCtrlHeld();
    virtual bool IsShiftHeld();
    virtual void OnUpdateContents() {}
    virtual bool OnClick(int x, int y);
    virtual bool OnRightClick(int x, int y);
    virtual void OnIdle() {}
    virtual bool OnDoubleClick(int x, int y);
    virtual bool OnMotion(int x, int y);
    virtual void OnPassive(int x, int y);
    virtual void OnEnter(int x, int y);
    virtual void OnExit(int x, int y, TGui_Node* next);
    virtual void OnMouse(int button, int state, int x, int y);
    virtual bool OnMouseWheel(int step, int x, int y);
    virtual void OnDraw();
    virtual bool OnKeyPress(unsigned char) { return false; }
    virtual bool OnSpecialKeyPress(int) { return false; }
    virtual void OnDeactivate();
    virtual void OnActivate() {}
    virtual void OnReshape();
    virtual void GetDisplayColor(float* out, const float* in, bool highlight);
    virtual void SetColor(const float* rgb, bool highlight = false);
    virtual void SetColor(float r, float g, float b, bool highlight = false);
    virtual void SetColorRGBA(const float* rgba, bool highlight = false);
    virtual void SetColorRGBA(float r, float g, float b, float a, bool highlight = false);
    virtual void DragDropReceive(const char* text, int x, int y);
    virtual bool DragDropGetSendString(char* buffer, int size);
    virtual void OnDragged() {}
    virtual bool DoDoubleClick();
    virtual void PostRedisplay();
    virtual void PostQuickRedisplay() { PostRedisplay(); }

    // Layout (no GL).
    virtual void UpdateSize();
    virtual void UpdateSize_SecondPass() {}
    virtual bool CanDrawChildren() { return true; }
    virtual bool CanCallOnDraw() { return DrawEvent != nullptr; }

    // Drawing (GuiNode_Draw.cpp).
    virtual void Draw();
    virtual void DrawShadow();
    virtual void DrawName();
    virtual void DrawNameColored(const float* rgb);
    virtual void DrawTextColored(const char* text, const float* rgb);
    virtual void DrawChildrenInForeground();
    virtual void DrawForeground();
    void SetupToDraw(bool clip);
    void SetupToDrawAt(int x, int y);
    void DrawBeveledSurface(int x, int y, int w, int h, bool pressed, const float* rgb, TQORglutTexture* texture);
    void DrawRectangle(int x, int y, int w, int h, bool windowTexture, TQORglutTexture* texture, bool unused = false);
    void DrawBevel(int x, int y, int w, int h, bool pressed, int width);
    void DrawRoundedBeveledSurface(int x, int y, int w, int h, bool bevel, bool pressed, bool gradient, int direction,
                                   bool spansMaster, const float* colourA, const float* colourB);
    void DrawRoundedBevel(int x, int y, int w, int h, bool pressed);
    void DrawLeftRightTriangle(int x, int y, int w, int h, bool b, int inset);
    void DrawUpDownTriangle(int x, int y, int w, int h, bool b, int inset);
    void DrawHighlight();
    void DrawFlash();
    void DrawStippledOutline();
    void DrawActualText(int x, int y, const char* text, bool unused = false);
    // Whether the node and every ancestor clip to their parents.
    bool ClipsAllTheWay();
    // The node's window rectangle cut by its clipping ancestors (SetupToDraw's
    // rule); false when nothing of it remains, so the node draws nothing.
    bool GetClipRect(int& x0, int& y0, int& x1, int& y1);

    // [SECTION] Fields
    int32_t DrawnX = -1, DrawnY = -1, DrawnWidth = -1, DrawnHeight = -1;
    uint32_t BackgroundGraphicID = 0;
    uint32_t HintGraphicID = 0;
    uint32_t GraphicID = 0;
    uint32_t AltGraphicID = 0;
    TGui_Node* CaptionTarget = nullptr;
    float FlashStartTime = 0.0f;   // seconds of the master's clock
    float FlashDuration = 0.25f;   // seconds
    bool FlashAsOutline = false;
    bool FlashDrawn = true;
    bool ModalExempt = false;
    int32_t HintOffsetX = 0, HintOffsetY = 0;
    int32_t TextOffsetX = 0, TextOffsetY = 0;
    bool ClickOnPress = false;
    bool HideOnDeactivate = false;
    bool DeletePending = false;
    bool Rounded = false;
    bool Gradient = true;
    bool GradientSpansMaster = true;
    int32_t GradientDirection = 0;   // 0 top to bottom, 1 left to right
    int32_t SurfaceTextureMode = 0;  // 1: surface texture follows window pixels
    bool TextShadow = false;
    bool TextEmboss = false;
    bool DimWithWindows = true;
    bool UseInterfaceBrightness = true;
    bool KeepOnTop = false;
    bool Occluded = false;
    bool DoubleClickEnabled = true;
    TQOREvent* FloatVariableEvent = nullptr;
    TQOREvent* BoolVariableEvent = nullptr;
    TQOREvent* IntVariableEvent = nullptr;
    TQOREvent* ChangeEvent = nullptr;
    TQOREvent* ClickEvent = nullptr;
    TQOREvent* DrawEvent = nullptr;
    TQOREvent* RightClickEvent = nullptr;
    TQOREvent* DoubleClickEvent = nullptr;
    TQOREvent* MouseEvent = nullptr;
    TQOREvent* MouseWheelEvent = nullptr;
    TQOREvent* MotionEvent = nullptr;
    TQOREvent* PassiveEvent = nullptr;
    TQOREvent* ReshapeEvent = nullptr;
    TQOREvent* DragDropEvent = nullptr;
    TQOREvent* KeyEvent = nullptr;
    bool HighlightOnMouseOver = false;
    bool HintFromParent = false;
    bool ClickOnReleaseAnywhere = false;
    float LastClickTime = 0.0f;   // seconds of the master's clock
    bool Draggable = false;
    char DragDropString[263] = {};
    TGui_ScrollBar* VerticalScrollBar = nullptr;
    TGui_ScrollBar* HorizontalScrollBar = nullptr;
    bool ClipToParent = true;
    bool DrawSurface = true;
    char HotKey = 0;
    bool HotKeyAnyModifiers = false;
    bool HotKeyIgnoreShift = false;
    int32_t HotKeyModifiers = 0;   // 1 Shift, 2 Ctrl, 4 Alt
    int32_t SpecialHotKey = 0;
    TGui_Node* FirstChild = nullptr;
    TGui_Node* Next = nullptr;
    TGui_Node* Prev = nullptr;
    TGui_Node* Parent = nullptr;
    TGui_Node* FirstControl = nullptr;
    bool NoFocus = true;
    bool Clicked = false;
    bool DropShadow = false;
    int32_t ShadowOffsetX = 8, ShadowOffsetY = 8;
    bool MouseTransparent = false;
    float TextColor[3];
    float DisabledTextColor[3];
    float BackgroundColor[3];
    float BackgroundColorB[3];
    bool MouseOver = false;
    int32_t TextAlignment = 0;   // 0 centred, 1 left, 2 right, 3 top left, 4 top left + 10
    int32_t Width = 100, Height = 100;
    int32_t X = 0, Y = 0;
    int32_t ChildOriginX = 0, ChildOriginY = 0;
    int32_t ScrollX = 0, ScrollY = 0;
    int32_t ClipLevels = 0;
    int32_t AbsX = 0, AbsY = 0;
    bool IsControl = false;
    bool Movable = false;
    bool MovableX = true, MovableY = true;
    bool AcceptsClicks = true;
    bool ShowName = true;
    bool Shown = true;
    bool SkipDraw = false;
    bool AutoSize = false;
    bool StackChildren = false;
    int32_t TextHeight = 9;
    int32_t TextTopOffset = 4;
    int32_t NameWidth = 8;
    int32_t BorderWidth = 1;
    bool BevelOnMouseOverOnly = false;
    bool Sunken = false;
    int32_t MarginX = 4, MarginY = 4;
    bool PassMouseToParent = false;

protected:
    // Queues a copy of a template with the node as dispatcher (positions set by the caller's lambda).
    bool QueueCopy(TQOREvent* templ, int x, int y);
};

// Quads of the given thickness in pixels: (x0, y)-(x1, y + width) and (x, y0)-(x + width, y1).
void DrawHorizLineWidthQuads(float x0, float x1, float y, int width);
void DrawVertLineWidthQuads(float x, float y0, float y1, int width);
// A smooth quad from colour a on its left edge to colour b on its right, in node's colours; leaves flat shading on.
void DrawHorizontalGradient(TGui_Node& node, int x0, int y0, int x1, int y1, const float* a, const float* b);

// The stored form of a hint: a multi-line hint's first line becomes bold and
// an empty second line is dropped. Writes at most destSize - 1 bytes and
// always terminates dest.
void AdjustFormatForNewHintType(const char* source, char* dest, int destSize);
