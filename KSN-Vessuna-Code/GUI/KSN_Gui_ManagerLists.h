// The manager panels' list widgets: an indented, collapsible list of one-line
// rows with dotted tree guides. A panel holds no document data; its builder
// empties it with Update and adds rows in display order. The collapsed state
// lives in the document objects, so it survives every rebuild.
//
// Invariants:
// - Rows live until the next Update; nothing may keep a pointer to a row, a
//   guide or a collapse button across a rebuild (objects are found again by
//   the IDs in the row events).
// - Rows are 16 pixels high; an indentation step is 12 pixels.
#pragma once

#include "GuiButton.h"
#include "GuiNode.h"

#include <cstdint>

class TGui_Text;
class TKSN_Thingy;
class TKSN_TreeGroup;
class TKSN_ManagerListItem;

class TKSN_ManagerNode : public TGui_Node {
public:
    // Raises "Master == NULL in TKSN_ManagerNode::TKSN_ManagerNode()" when
    // the tree has no master.
    explicit TKSN_ManagerNode(TGui_Node* parent);
    // Deletes every row; the alternate shading restarts.
    virtual void Update();
    void UpdateSize() override;
    TKSN_ManagerListItem* CreateNewListItem(bool drawGuides, const char* text, int level, bool hasCollapseButton,
                                            bool collapsed, bool (*callback)(TQOREvent*), unsigned ownerID);

    TGui_Node* List = nullptr;   // the row container (owned child)
    int32_t RowCount = 0;        // rows since the last Update
};

class TKSN_ManagerListItemCollapseButton;

class TKSN_ManagerListItem : public TGui_Node {
public:
    explicit TKSN_ManagerListItem(TGui_Node* parent);
    void CreateCollapseButton(bool collapsed);

    TKSN_Thingy* Item = nullptr;
    TKSN_TreeGroup* Group = nullptr;
    TGui_Text* TextNode = nullptr;
    int32_t Level = 0;
    TKSN_ManagerListItemCollapseButton* CollapseButton = nullptr;
};

class TKSN_ManagerListItemCollapseButton : public TGui_Button {
public:
    explicit TKSN_ManagerListItemCollapseButton(TGui_Node* parent);
    void Draw() override;

    bool Collapsed = false;
    int32_t Style = 0;   // 0 triangle, 1 "+" / "-"
};

class TGui_TreeGuideNode : public TGui_Node {
public:
    explicit TGui_TreeGuideNode(TGui_Node* parent);
    void OnUpdateContents() override;
    void Draw() override;
    // Whether the vertical line runs the full height (else it ends in an
    // elbow at y = 6): always for a plain guide; for a branch guide when the
    // next row is at least as deep as this guide's row.
    bool RunsFullHeight() const;
    // The y where the vertical line ends.
    int LineEndY() const { return RunsFullHeight() ? Height : 6; }

    bool Branch = false;
};

// The click callback of collapse buttons: flips the collapsed flag of the
// object the owner ID names and queues 441; "Thingy == NULL" and false when
// there is none.
bool ToggleCollapsedThingyCB(TQOREvent* event);
