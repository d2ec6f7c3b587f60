// TKSN_Mesh: services of the selection tree (the hidden group, the flat list
// of selections with their group paths), the stored-selection conversions and
// the welded copy of a vertex selection.

#include "KSN_Mesh.h"

#include "QORMemory.h"

#include <memory>

void TKSN_Mesh::SetupSpecialSelections()
{
    if (!SelectionTree)
        return;
    auto* hidden = new TKSN_TreeGroup();
    hidden->SetName("Hidden Selections");
    hidden->hidden = true;
    SelectionTree->LinkNext(hidden);
}

TQORNewStaticList<TKSN_Selection*>* TKSN_Mesh::GetSelectionList()
{
    auto* list = new TQORNewStaticList<TKSN_Selection*>(1);
    GetMorphList_CurrentPath.clear();
    GetSelectionList_Recurse(SelectionTree, 0, list);
    return list;
}

void TKSN_Mesh::ConvertSelectedPolygonsToVertices(TKSN_Selection* selection)
{
    KSN_ConvertSelectedPolygonsToVertices(this, selection);
}

void TKSN_Mesh::ConvertSelectedVerticesToPolygons(TKSN_Selection* selection)
{
    KSN_ConvertSelectedVerticesToPolygons(this, selection);
}

void TKSN_Mesh::UpdateWeldedSelection(TKSN_Selection* selection)
{
    // Only a vertex selection has a value per vertex to copy; a polygon
    // selection has nothing to follow the weld map.
    if (!Welded || !selection || selection->GetVCount() == 0 ||
        selection->GetSelectionType() != eSelectionType_Vertex)
        return;
    // A selection still waiting for a topology edit's scripts catches up
    // first; one that still does not fit the mesh is left alone rather than
    // ending the program.
    if (selection->GetVCount() != GetVCount() && !EditingGeometry)
        BeginUsingSelection(selection);
    if (selection->GetVCount() != GetVCount())
        return;
    const bool wasCompressed = selection->IsCompressed();
    if (wasCompressed)
        selection->Expand();
    if (float* weights = selection->GetPointerToExpandedArray()) {
        for (int v = 0; v < vertexCount; ++v) {
            const int master = VertexInfo[v].WeldMaster;
            if (master != v && master >= 0 && master < vertexCount)
                weights[v] = weights[master];
        }
    }
    if (wasCompressed)
        selection->Compress();
}
