// The main window's manager panels (the Maps tab and the project tree) and
// the brush-image and picture-object loading the drops and menus use; the
// other panels and windows have headers of their own, included here.
#pragma once

#include "GuiNode.h"
#include "GuiWindow.h"
#include "KSN_Gui_ManagerLists.h"
#include "KSN_Gui_Panel.h"
#include "KSN_ImportExportWindows.h"
#include "KSN_MapWindows.h"
#include "KSN_NavigationHistory.h"
#include "KSN_ViewportPanel.h"
#include "QOREvents.h"

#include <cstdint>
#include <string>

class TGui_Menu;
class TKSN_Viewport;

// The Maps tab (KSN_Gui_MapsTab.cpp): one thumbnail per map of the project.
class TKSN_MapsNode : public TGui_Node {
public:
    explicit TKSN_MapsNode(TGui_Node* parent);
    // Rebuilds the thumbnails from the project's map tree.
    void Update();
};

// The project tree of the Manager tab (KSN_Gui_ProjectTree.cpp).
class TKSN_ObjectManagerNode : public TKSN_ManagerNode {
public:
    explicit TKSN_ObjectManagerNode(TGui_Node* parent);
    void UpdateSize_SecondPass() override;
    // Rebuilds every row from the project (KSN_Gui_ProjectTree_Update.cpp).
    void Update() override;
    void UpdateObjectsRecurse(class TKSN_TreeGroup* group, int depth, class TKSN_Object* object, const char* label);
    void UpdateSelectionUnionsRecursively(TKSN_TreeGroup* group, int depth);
    void UpdateMorphUnionsRecursively(TKSN_TreeGroup* group, int depth);
    void UpdateObjectMaterials(TKSN_Object* object, int depth, const char* label);
    void UpdateObjectGroups(TKSN_Object* object, int depth, const char* label);

private:
    void AddObjectRow(TKSN_TreeGroup* group, class TKSN_Thingy* item, int depth);
    void AddObjectSettings(TKSN_Object* object, int depth);
    void AddMorphUnionRow(TKSN_TreeGroup* group, class TKSN_MorphUnion* morphUnion, int depth);
    int AddListFolderRow(class TKSN_TopTreeGroup* tree, const char* label, int depth, int hint);
    class TKSN_ManagerListItem* AddUnionFolderRow(TKSN_TreeGroup* group, int depth, TQOREventFunction select,
                                                  TQOREventFunction rightClick, int dropCommand, const char* payload);
};

// The polygon count a subdivision of mesh is estimated to reach: its own
// count, multiplied by 4 while four times it stays within Max Polys.
int64_t EstimatedSubDPolygons(class TKSN_Mesh* mesh);

// Drops and the brush commands load through the project. A brush image
// that cannot be read is reported by the project and answers false; a
// picture object needs a viewport to be placed in.
bool KSN_LoadBrushTexture(const char* path);
bool KSN_CreatePictureObject(TKSN_Viewport* viewport, const char* path, int x, int y);
