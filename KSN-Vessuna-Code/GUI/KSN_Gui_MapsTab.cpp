// The Maps tab (see KSN_Gui_MapsTab.h).
#include "KSN_Gui_MapsTab.h"

#include "GuiMenu.h"
#include "GuiText.h"
#include "KSN_Gui_MainWindow.h"
#include "KSN_MainWindow_Panels.h"
#include "KSN_Project.h"
#include "KestruneEvents.h"
#include "QORLanguage.h"
#include "QORMaterialMapSource.h"
#include "QORMemory.h"
#include "QORTree.h"

#include <vector>

TKSN_MapsNode::TKSN_MapsNode(TGui_Node* parent) : TGui_Node(parent) { SetName("", false); }

void TKSN_MapsNode::Update()
{
    Empty();
    if (!RightClickEvent) RightClickEvent = new TQOREvent(RightClickMapCB, 0, 0);
    RightClickEvent->idParameters[0] = RightClickEvent->idParameters[1] = 0;
    int x = MarginX, y = MarginY;
    TKSN_TopTreeGroup* maps = Project ? Project->Maps : nullptr;
    const int count = maps && maps->items ? maps->items->Count() : 0;
    if (count == 0) {
        AddText(Lang.GetText(258), x, y, nullptr);
        return;
    }
    std::vector<bool> seen(size_t(count), false);
    for (int i = 0; i < count; ++i) {
        if (seen[size_t(i)])
            QORThrowException("Infinite list traversal detected %s,%s,%s", "TKSN_ThingyPtr", "Thingy",
                              "Project->Maps->List");
        seen[size_t(i)] = true;
        auto* map = dynamic_cast<TQORMaterialMapSource*>((*maps->items)[i]);
        if (!map) continue;
        map->RegisterForLookup();
        const uint32_t id = map->GetID();
        auto* node = new TKSN_MapNode(this);
        node->MapID = id;
        node->ShowName = false;
        node->SetPosition(x, y);
        node->SetSize(90, 90);
        node->BackgroundColor[0] = node->BackgroundColor[1] = node->BackgroundColor[2] = 1.0f;
        node->SetHint(Lang.GetText(683), map->GetName(), map->GetWidth(), map->GetHeight());
        node->ClickEvent = new TQOREvent(ClickMapCB, 0, 0);
        node->ClickEvent->idParameters[1] = id;
        node->RightClickEvent = new TQOREvent(RightClickMapCB, 0, 0);
        node->RightClickEvent->idParameters[1] = id;
        node->DragDropEvent = new TQOREvent(KestruneEvents_CommandCB, 0, 376);
        node->DragDropEvent->idParameters[0] = id;
        node->Draggable = true;
        std::snprintf(node->DragDropString, sizeof node->DragDropString, "Map %u", id);
        x += MarginX + 90;
        if (Width - 90 < x) {
            x = MarginX;
            y += MarginY + 90;
        }
    }
}

namespace {

TQORMaterialMapSource* MapOf(TQOREvent* event)
{
    const uint32_t id = event ? event->idParameters[1] : 0;
    return id ? dynamic_cast<TQORMaterialMapSource*>(__GetThingyFromID(id)) : nullptr;
}

} // namespace

bool ClickMapCB(TQOREvent* event)
{
    TQORMaterialMapSource* map = MapOf(event);
    if (!map || !Project || !Project->Maps) return false;
    const bool shift = MainWindow && MainWindow->IsShiftHeld();
    const bool alt = MainWindow && MainWindow->IsAltHeld();
    Project->Maps->SelectItem(map->GetID(), shift, alt);
    return true;
}

bool RightClickMapCB(TQOREvent* event)
{
    if (!event) return false;
    TQORMaterialMapSource* map = MapOf(event);
    const bool keep = !map || (map->multiSelected && Project && Project->Maps &&
                               Project->Maps->GetSelectedCount(true, true) > 0);
    if (!keep) ClickMapCB(event);
    auto* node = dynamic_cast<TGui_Node*>(__GetThingyFromID(event->dispatcherID));
    if (!node || !MainWindow) return false;
    MainWindow->UpdateMapsMenu();
    if (MainWindow->MapsMenu) MainWindow->MapsMenu->Popup(node, event->GetX() + node->AbsX, event->GetY() + node->AbsY);
    return true;
}
