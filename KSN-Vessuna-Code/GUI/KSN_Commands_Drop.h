// Drops on the Manager tab's trees (commands 2-6 of the dispatcher).
//
// A drag payload is one line: a keyword, a blank and a decimal object ID
// ("Object2 17", "MorphUnion 40", "SelectionUnion 9"), or the mesh's ID and
// the item's ID ("Morph2 5 61", "Selection2 5 70"). The drop event carries
// the receiving row's folder in ID slot 0, its entry in ID slot 1, the row's
// widget as dispatcher and the drop point in y. Keywords compare without
// regard to case; a payload with fewer words than its form is refused, one
// with an unknown keyword moves nothing.
#pragma once

class TQOREvent;
class TKSN_Thingy;
class TKSN_TreeGroup;
class TKSN_TopTreeGroup;
class TGui_Node;

// Commands 2-6: false when the drop is refused.
bool KSN_ManagerTreeDrop(TQOREvent* event);

// Moves the entry shown on row `dragged` to row `target` (rows counted by the
// entries' displayListNumber). A folder goes in as the target folder's last
// child (never into itself or below itself: "Cannot move this group into a
// child group"); an item goes in before the target item. False when refused.
bool ProcessDragDropThingyNode(TKSN_TreeGroup* tree, int dragged, int target);

// Moves dragged and every highlighted entry of tree into targetGroup next to
// target (after it when the drop point lies in the lower half of dropNode),
// keeping their tree order; entries inside a moving folder move with it.
// keepFirst: nothing lands before the first top-level entry. Queues 441.
void ProcessDragDropWithMultiSelect(TKSN_TopTreeGroup* tree, TKSN_Thingy* dragged, TKSN_Thingy* target,
                                    TKSN_TreeGroup* targetGroup, TQOREvent* event, TGui_Node* dropNode,
                                    bool keepFirst);
