// TKSN_ViewportPanel: the widget that shows one of the application's four
// viewports inside the main window, and the only road from the pointer to the
// current tool.
//
// The panel converts panel pixels to viewport units (fx = 2x/w - 1 across,
// fy = 2(1 - y/h) - 1 upwards), holds back a left press in a viewport that is
// not the current one (it only makes the viewport current, through command
// 300), brackets every stroke with the tool's BeforeUse and AfterUse, repeats
// each press, motion and release at the mirrored points when the project
// mirrors in X and/or Y, and while no button is held writes the hover
// read-out (viewport, object, polygon, vertex, UV, layers) into the hint line.
//
// Sources:
//   KSN_ViewportPanel.cpp           construction, pointer input, hover read-out, polygon warnings
//   KSN_ViewportPanel_TitleBar.cpp  title bar, orientation and display-mode menus
//   KSN_ViewportPanel_Draw.cpp      guides, corner markers, labels (the only GL calls)
//
// Invariants:
// - The panel never owns its viewport: it refers to it by object ID and looks
//   it up at every use, so a panel outlives projects and a gone viewport
//   makes every handler return at once.
// - Hover read-out buffers are fixed; every append is bounded and cuts what
//   does not fit (never inside a UTF-8 character).
// - Main thread only.
#pragma once

#include "KSN_Gui_Panel.h"

#include <cstdint>
#include <string>
#include <vector>

class TGui_Button;
class TGui_DropDownBox;
class TGui_Menu;
class TKSN_Layer;
class TKSN_Mesh;
class TKSN_MeshRoot;
class TKSN_Viewport;
class TQOREvent;

class TKSN_ViewportPanel : public TKSN_Panel {
public:
    explicit TKSN_ViewportPanel(TGui_Node* parent);
    // A panel showing the application's viewport of that index (0..3).
    TKSN_ViewportPanel(TGui_Node* parent, int index);
    ~TKSN_ViewportPanel() override;

    void AssignViewport(uint32_t id);
    // The viewport shown, or null (no project, no ID, gone, another class).
    TKSN_Viewport* GetViewport() const;

    // [SECTION] Input (viewport units: -1..1 across and up)
    void OnUpdateContents() override;
    bool OnDoubleClick(int x, int y) override;
    bool OnMotion(int x, int y) override;
    void OnPassive(int x, int y) override;
    void OnEnter(int x, int y) override;
    void OnExit(int x, int y, TGui_Node* next) override;
    void OnMouse(int button, int state, int x, int y) override;
    void OnReshape() override;
    void Draw() override;

    void Invalidate();
    void OnViewOrGeometryChanged();
    // Pixel to viewport units for this panel's size.
    void PixelToUnits(int x, int y, float& fx, float& fy) const;

    // [SECTION] Title bar (KSN_ViewportPanel_TitleBar.cpp)
    void CreateButtons(bool withOrientation);
    void UpdateVisibilityForTitleBarItems();

    // [SECTION] Drawing and warnings
    void DrawGuides();
    void DrawAxisGuides();
    void DrawCurrentViewportMarkers();
    void UpdatePolyInfoNode(int x, int y);

    // [SECTION] Fields
    uint32_t ViewportID = 0;
    int32_t ViewportIndex = -1;   // the shown viewport's slot 0..3, -1 none (kept by AssignViewport)
    bool IgnoreNextLeftRelease = false;
    bool IsRearView = false;
    TKSN_ViewportPanel* RearViewPanel = nullptr;   // a child node when set
    TGui_Node* TitleBar = nullptr;
    TGui_DropDownBox* OrientationOptions = nullptr;
    TGui_DropDownBox* DisplayOptions = nullptr;
    TGui_Button* SettingsButton = nullptr;
    // Viewing mode 0..4 and the one before mode 4 (commands 303 and 295).
    int32_t ViewMode = 2;
    int32_t PreviousViewMode = 2;
    int32_t ViewChangedCount = 0;   // calls of OnViewOrGeometryChanged with a viewport

private:
    bool StippleSet = false;
    // The tool calls of one press, release or motion, mirrored when due.
    void CallTool(class TKSN_Tool* tool, TKSN_Mesh* mesh, TKSN_Viewport* viewport, bool motion, int button,
                  int state, float fx, float fy);
};

// Set while a tool receives a mirrored call (declared with the tool base).
extern int OnPassive_Closest_ip;
extern uint32_t OnPassive_Closest_Mesh_ID;
extern char PolygonHoverOverWarningHint[256];
extern bool WeakSelectionInHoveredOverPolygon;

// The hover read-out's number rule: decimals by magnitude, at most maxDecimals.
// Writes into out (size bytes, always terminated) and returns out.
char* KSN_FormatReadoutNumber(char* out, int size, float value, int maxDecimals);

// The panel's overlay control that draws the current viewport's brackets
// over its title bar (made by the constructor).
TGui_Node* KSN_NewViewportMarkers(TKSN_ViewportPanel* panel);

// The mirror of (fx, fy) for the panel's viewport, by the project's settings.
void KSN_GetMirrorPoint(TKSN_Viewport* viewport, float fx, float fy, float& mx, float& my);

// The corner of polygon nearest (fx, fy) on screen; vertex and tvertex -1 when none.
void GetClosestVertexAndTVertexToMouseInViewport(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int polygon, float fx,
                                                 float fy, int& vertex, int& tvertex, float* position, float* uv);

bool DoDisplaySymmetricSideWarning(TKSN_Mesh* mesh, int polygon);

// [SECTION] Menus of the title bar, the Viewports menu and the options window
TGui_DropDownBox* CreateOrientationOptions(TGui_Node* parent, TKSN_ViewportPanel* panel);
TGui_DropDownBox* CreateDisplayOptions(TGui_Node* parent, TKSN_ViewportPanel* panel);
void UpdateOrientationOptionDDB(TGui_DropDownBox* box, TKSN_ViewportPanel* panel);
void AddDisplayModeOptionsToMenu(TGui_Menu* menu, TKSN_Viewport* viewport, TKSN_ViewportPanel* panel,
                                 TGui_DropDownBox* box);
void UpdateDisplayModeMenu(TKSN_ViewportPanel* panel, TGui_DropDownBox* box);
// The channels the display-mode menu offers (a default material's, but "Glossy").
const std::vector<std::string>& KSN_DisplayableChannelNames();
// The orientation caption of the viewport ("Front", "User", "Left (Auto)", "Copy Main (Auto)").
std::string KSN_OrientationCaption(TKSN_Viewport* viewport);

// [SECTION] Viewport layouts (KSN_MainWindow_Layouts.cpp)
struct TKSN_ViewportRect {
    int X = 0, Y = 0, Width = 0, Height = 0;
};
// The rectangles of configuration 0..5 in an area of width x height; shown[i]
// says whether panel i is in the layout. False for another configuration.
bool KSN_ViewportLayout(int config, int width, int height, TKSN_ViewportRect rects[4], bool shown[4],
                        int& leftOver);
