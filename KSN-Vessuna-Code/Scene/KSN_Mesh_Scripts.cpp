// TKSN_Mesh: the adjustment scripts that topology edits leave behind.
//
// An edit records how it renumbered vertices (or polygons) as a script and
// attaches it; each script takes the next number of its kind. Morphs and
// selections remember the number of the last script they replayed and catch
// up lazily on their next use (the use bracket in KSN_Mesh.cpp), so paged-out
// data is not touched by the edit itself. Vertex scripts are dropped when
// every morph and selection has caught up (or forced to catch up); polygon
// scripts stay with the mesh, because selections created later may still
// start below the counter.

#include "KSN_Mesh.h"

#include <memory>

TKSN_VertexAdjustmentScript* TKSN_Mesh::CreateVertexScript(const char* name)
{
    return new TKSN_VertexAdjustmentScript(name, eVertexAdjustmentScript_Vertex, vertexCount);
}

TKSN_VertexAdjustmentScript* TKSN_Mesh::CreatePolygonScript(const char* name)
{
    return new TKSN_VertexAdjustmentScript(name, eVertexAdjustmentScript_Polygon, polygonCount);
}

void TKSN_Mesh::AddVertexAdjustmentScript(TKSN_VertexAdjustmentScript* script)
{
    if (!script)
        return;
    script->ScriptNumber = ++VertexScriptCount;
    script->CountAfter = vertexCount;
    VertexScripts->Add(script);
}

void TKSN_Mesh::AddPolygonAdjustmentScript(TKSN_VertexAdjustmentScript* script)
{
    if (!script)
        return;
    script->ScriptNumber = ++PolygonScriptCount;
    script->CountAfter = polygonCount;
    PolygonScripts->Add(script);
}

void TKSN_Mesh::DeleteScripts(TKSN_VertexAdjustmentScriptList* list)
{
    if (!list)
        return;
    for (int i = 0; i < list->Count(); ++i)
        delete (*list)[i];
    list->Clear();
}

void TKSN_Mesh::FinishAllScriptedAdjustments()
{
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(GetMorphList());
    for (int i = 0; i < morphs->Count(); ++i) {
        TKSN_Morph* morph = (*morphs)[i];
        if (morph->IsKeptInMemory())
            continue;
        BeginUsingMorph(morph);
        // Inside a geometry edit the bracket replays nothing; catch up here,
        // on every key frame too, each from the number it has reached.
        for (TKSN_Morph* frame = morph; frame; frame = frame->GetNextKeyFrame()) {
            if (frame->GetScriptStamp() < VertexScriptCount)
                ReplayVertexScriptsOnMorph(frame, frame->GetScriptStamp());
            frame->SetScriptStamp(VertexScriptCount);
        }
        EndUsingMorph(morph);
    }

    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(GetSelectionList());
    for (int i = 0; i < selections->Count(); ++i) {
        TKSN_Selection* selection = (*selections)[i];
        BeginUsingSelection(selection);
        if (selection->GetSelectionType() == eSelectionType_Vertex) {
            ReplayScriptsOnSelection(selection, VertexScripts);
            selection->SetScriptStamp(VertexScriptCount);
        } else if (selection->GetSelectionType() == eSelectionType_Polygon) {
            ReplayScriptsOnSelection(selection, PolygonScripts);
            selection->SetScriptStamp(PolygonScriptCount);
        }
        selection->NotInUse("EndUsingSelection");
    }

    DeleteScripts(VertexScripts);
}

namespace {

// Whether some script of the list is newer than stamp.
bool HasScriptAfter(TKSN_VertexAdjustmentScriptList* list, uint32_t stamp)
{
    for (int i = 0; i < list->Count(); ++i)
        if ((*list)[i]->ScriptNumber > stamp)
            return true;
    return false;
}

} // namespace

int TKSN_Mesh::GetUnadjustedMorphCount()
{
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(GetMorphList());
    int count = 0;
    for (int i = 0; i < morphs->Count(); ++i) {
        TKSN_Morph* morph = (*morphs)[i];
        if (!morph->IsKeptInMemory() && morph->GetScriptStamp() < VertexScriptCount &&
            HasScriptAfter(VertexScripts, morph->GetScriptStamp()))
            ++count;
    }
    return count;
}

int TKSN_Mesh::GetUnadjustedSelectionCount()
{
    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> selections(GetSelectionList());
    int count = 0;
    // Every selection is held against the vertex scripts, whatever its type:
    // the vertex scripts may only go once nothing could still want them.
    for (int i = 0; i < selections->Count(); ++i) {
        TKSN_Selection* selection = (*selections)[i];
        if (selection->GetScriptStamp() < VertexScriptCount && HasScriptAfter(VertexScripts, selection->GetScriptStamp()))
            ++count;
    }
    return count;
}

bool TKSN_Mesh::CleanVertexScriptsIfNecessary()
{
    if (VertexScripts->IsEmpty())
        return false;
    if (GetUnadjustedMorphCount() != 0 || GetUnadjustedSelectionCount() != 0)
        return false;
    DeleteScripts(VertexScripts);
    return true;
}
