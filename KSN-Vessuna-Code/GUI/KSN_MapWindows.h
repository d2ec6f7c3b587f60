// The Maps tab's entries and the new-map window.
//
// TKSN_MapNode is one square thumbnail of the Maps tab. It keeps only the
// map's ID and looks the map up each time it draws, so an entry whose map
// was deleted draws as an empty bevelled square until the tab is rebuilt.
// TKSN_NewMapWindow creates a map of a chosen name and size (mode 0) or
// resizes a map (mode 1); its OK button queues command 471 or 459.
#pragma once

#include "GuiNode.h"
#include "KSN_Gui_Panel.h"

#include <cstdint>

class TGui_EditText;
class TGui_TextAndGauge;
class TQORMaterialMapSource;

class TKSN_MapNode : public TGui_Node {
public:
    explicit TKSN_MapNode(TGui_Node* parent, uint32_t mapID = 0);
    ~TKSN_MapNode() override = default;

    void Draw() override;
    // The toolkit's click, then the Maps tab is rebuilt (command 435).
    bool OnClick(int x, int y) override;
    bool OnRightClick(int x, int y) override;

    uint32_t MapID = 0;   // the map source shown, by object ID
};

class TKSN_NewMapWindow : public TKSN_SubWindow {
public:
    enum { ModeCreate = 0, ModeResize = 1 };

    explicit TKSN_NewMapWindow(TGui_Node* parent);
    ~TKSN_NewMapWindow() override = default;

    // Opens the window in the current mode. Resize mode without a map to
    // resize warns and leaves the window closed.
    void Execute();
    void OnUpdateContents() override {}
    // The gauges' values rounded to whole pixels.
    int GetMapWidth();
    int GetMapHeight();

    TQORMaterialMapSource* MapToResize = nullptr;
    int32_t Mode = ModeCreate;
    TGui_EditText* NameField = nullptr;
    TGui_TextAndGauge* WidthControl = nullptr;
    TGui_TextAndGauge* HeightControl = nullptr;
    TGui_Node* ButtonBar = nullptr;
};

TKSN_NewMapWindow* KSN_GetNewMapWindow();
