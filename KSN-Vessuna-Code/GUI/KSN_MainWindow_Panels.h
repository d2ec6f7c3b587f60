// TODO(stub): the main window's panels and sub-windows until their own code
// exists: each has only the fields and operations that the frame cycle, the
// input routing, the menus and the CR2 wizard use of it. The viewport panel
// shows a viewport by index and draws its own surface; the sub-windows are
// plain toolkit windows; the manager panels are plain nodes that the drop
// routing recognises by type.
#pragma once

#include "GuiNode.h"
#include "GuiWindow.h"
#include "KSN_Gui_ManagerLists.h"
#include "KSN_Gui_Panel.h"

#include <cstdint>
#include <string>

class TGui_Menu;
class TKSN_Viewport;

// TODO(stub): the viewport panel; it forwards nothing to the tools yet.
// While this stand-in is in place the main window draws its viewports for it.
#define KSN_VIEWPORT_PANEL_STANDIN 1
class TKSN_ViewportPanel : public TKSN_Panel {
public:
    TKSN_ViewportPanel(TGui_Node* parent, int index);
    // The application viewport this panel shows (0..3), or null.
    TKSN_Viewport* GetViewport() const;
    // TODO(stub): the panel's caches of the view and the geometry.
    void OnViewOrGeometryChanged() { ++ViewChangedCount; }

    int32_t ViewportIndex = 0;
    int32_t ViewChangedCount = 0;
};

// TODO(stub): the import window; Execute remembers the file and shows the window.
class TKSN_ImportWindow : public TKSN_SubWindow {
public:
    explicit TKSN_ImportWindow(TGui_Node* parent) : TKSN_SubWindow(parent) { Hide(); }
    void Execute(const char* path)
    {
        Path = path ? path : "";
        TGui_Window::Execute();
    }
    std::string Path;
};

// The Maps tab (KSN_Gui_MapsTab.cpp): one thumbnail per map of the project.
class TKSN_MapsNode : public TGui_Node {
public:
    explicit TKSN_MapsNode(TGui_Node* parent);
    // Rebuilds the thumbnails from the project's map tree.
    void Update();
};

// TODO(stub): the map thumbnail; it does not draw the map yet.
class TKSN_MapNode : public TGui_Node {
public:
    explicit TKSN_MapNode(TGui_Node* parent) : TGui_Node(parent) {}
    uint32_t MapID = 0;   // the map source shown, by object ID
};

// The project tree of the Manager tab (KSN_Gui_ProjectTree.cpp).
class TKSN_ObjectManagerNode : public TKSN_ManagerNode {
public:
    explicit TKSN_ObjectManagerNode(TGui_Node* parent);
    void UpdateSize_SecondPass() override;
    void Update() override;
};

// TODO(stub): the navigation history (undo and redo of view changes) and its
// command callback; there is no history yet, so both stacks are always empty.
void NavCleanStacks();
void* NavPeekUndoNode();
void* NavPeekRedoNode();
bool KSN_NavigatorCommandsCB(class TQOREvent* event);

// TODO(stub): the display-mode items of a viewport (its panel and drop-down
// box may be null); adds one item per render style of the viewport.
void AddDisplayModeOptionsToMenu(TGui_Menu* menu, TKSN_Viewport* viewport, TKSN_ViewportPanel* panel,
                                 void* dropDown);

// TODO(stub): the project's brush-image loading and picture objects. The
// picture object is a new empty object named after the file.
bool KSN_LoadBrushTexture(const char* path);
bool KSN_CreatePictureObject(TKSN_Viewport* viewport, const char* path, int x, int y);
