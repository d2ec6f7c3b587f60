// The project tree of the Manager tab and the callbacks its rows raise: they
// change the highlights (multi-selection) of the tree holding the row's
// object, make an object, morph target or morph union current, open the
// pop-up menu of the row's kind and queue the rebuilds. Rows are rebuilt
// from the document by the commands queued here, so a callback never keeps
// a row; it finds every object again by ID and does nothing when an ID no
// longer resolves to the expected class.
#pragma once

#include "KSN_Gui_ManagerLists.h"

#include <cstdint>

class TKSN_TreeGroup;

// The highlight profile of a group: element 0 the count n, then the
// multi-selection flags of the group's pre-order list (groups and items).
// QORalloc'd; the caller frees it with QORfree.
int32_t* GetHighlightProfileFromGroup(TKSN_TreeGroup* group);

// Objects
bool SelectObjectCB(TQOREvent* event);
bool RightClickObjectCB(TQOREvent* event);
bool DoubleClickObjectCB(TQOREvent* event);
// Polygon groups
bool ClickGroup2CB(TQOREvent* event);
bool RightClickGroup2CB(TQOREvent* event);
bool DoubleClickGroup2CB(TQOREvent* event);
// Materials
bool ClickMaterialCB(TQOREvent* event);
bool RightClickMaterialCB(TQOREvent* event);
bool DoubleClickMaterialCB(TQOREvent* event);
// Selections
bool OnClickingSelection(TQOREvent* event, bool left);
bool SelectSelectionCB(TQOREvent* event);
bool RightClickSelectCB(TQOREvent* event);
// Morph targets
bool ClickOnMorphCB(TQOREvent* event, bool left);
bool SelectMorphCB(TQOREvent* event);
bool RightClickMorphCB(TQOREvent* event);
// Selection unions
bool OnClickingSelectionUnion(TQOREvent* event, bool left);
bool SelectSelectionUnionCB(TQOREvent* event);
bool DoubleClickSelectionUnionCB(TQOREvent* event);
bool RightClickSelectionUnionCB(TQOREvent* event);
// Morph unions
bool OnClickingMorphUnion(TQOREvent* event, bool left);
bool SelectMorphUnionCB(TQOREvent* event);
bool RightClickMorphUnionCB(TQOREvent* event);
// Folders
bool SelectTreeGroupWithMultiSelectCB(TQOREvent* event, TKSN_TreeGroup* keep);
bool SelectObjectGroupWithMultiSelectCB(TQOREvent* event);
bool SelectSelectionGroupWithMultiSelectCB(TQOREvent* event);
bool SelectMorphGroupWithMultiSelectCB(TQOREvent* event);
bool SelectSelectionUnionGroupWithMultiSelectCB(TQOREvent* event);
bool SelectMorphUnionGroupWithMultiSelectCB(TQOREvent* event);
