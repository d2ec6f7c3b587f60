// TODO(stub): the main window's panels and sub-windows until their own code
// exists: each has only the fields and operations that the frame cycle, the
// input routing, the menus and the CR2 wizard use of it. The sub-windows are
// plain toolkit windows; the manager panels are plain nodes that the drop
// routing recognises by type.
#pragma once

#include "GuiNode.h"
#include "GuiWindow.h"
#include "KSN_Gui_ManagerLists.h"
#include "KSN_Gui_Panel.h"
#include "KSN_NavigationHistory.h"
#include "KSN_ViewportPanel.h"

#include <cstdint>
#include <string>

class TGui_Menu;
class TKSN_Viewport;

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


// TODO(stub): the project's brush-image loading and picture objects. The
// picture object is a new empty object named after the file.
bool KSN_LoadBrushTexture(const char* path);
bool KSN_CreatePictureObject(TKSN_Viewport* viewport, const char* path, int x, int y);
