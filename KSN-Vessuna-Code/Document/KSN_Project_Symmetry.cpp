// Symmetry across objects: which meshes use their mirror maps, the reactions
// to changed symmetry settings, and the check for meshes that are not
// symmetrical enough to be edited symmetrically.
//
// A mesh's pairing of mirror vertices is computed by its symmetry calculator;
// the project only decides whether the mesh's active maps are switched on.
// They are on exactly while there is a current tool that can work
// symmetrically, the object's "SymmetryEnabled" is set and "UseSymmetry" is
// on; "FlipSymmetry" chooses which side is edited.
#include "KSN_Project.h"

#include <cmath>
#include <memory>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Tool.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORGL.h"
#include "QORLanguage.h"

namespace {

// Bit of a tool's flag word: the tool can work symmetrically.
constexpr uint32_t ToolFlagAllowsSymmetry = 0x10;

} // namespace

void TKSN_Project::SetActiveSymmetryMapForMesh(TKSN_Mesh* mesh)
{
    TempDisableToolSymmetryCheck = false;
    if (!mesh) return;
    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    TKSN_Object* owner = mesh->OwnerObject;
    const bool on = tool && owner && owner->SymmetryEnabled && (tool->Flags & ToolFlagAllowsSymmetry) &&
                    UseSymmetry;
    if (on) {
        mesh->BeforeConsideringSymmetry();
        mesh->SetActiveSymmetryMap(FlipSymmetry, false);
    } else {
        mesh->SetActiveSymmetryMap(FlipSymmetry, true);
    }
    TempDisableToolSymmetryCheck = false;
}

void TKSN_Project::ForceActiveSymmetryMapForMesh(TKSN_Mesh* mesh)
{
    if (!mesh) return;
    mesh->BeforeConsideringSymmetry();
    mesh->SetActiveSymmetryMap(FlipSymmetry, false);
}

void TKSN_Project::OnSymmetrySettingsChanged(TKSN_Mesh* mesh, bool recalculate)
{
    if (!mesh) return;
    if (recalculate) mesh->SymmetryStarted = false;
    InvalidateAffectedObjectsStencil();
    mesh->SelectedListsValid = false;
    SetActiveSymmetryMapForMesh(mesh);
}

void TKSN_Project::OnSymmetrySettingsChanged(bool recalculate)
{
    InvalidateAffectedObjectsStencil();
    if (App)
        for (TKSN_Viewport* viewport : App->viewports)
            if (viewport) viewport->SetRenderedSceneStatus(2);
    TKSN_glDisplayList::InvalidateAll();
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
    for (TKSN_Object* object : *objects)
        if (object && object->Mesh) OnSymmetrySettingsChanged(object->Mesh.get(), recalculate);
}

void TKSN_Project::CheckAllObjectsSymmetry()
{
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
    for (TKSN_Object* object : *objects) {
        TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
        if (!mesh || mesh->GetVCount() <= 0 || !mesh->baseVertices) continue;
        const int vertices = mesh->GetVCount();

        float low[2] = {mesh->baseVertices[0], mesh->baseVertices[1]};
        float high[2] = {low[0], low[1]};
        for (int v = 1; v < vertices; ++v)
            for (int c = 0; c < 2; ++c) {
                low[c] = std::fmin(low[c], mesh->baseVertices[3 * v + c]);
                high[c] = std::fmax(high[c], mesh->baseVertices[3 * v + c]);
            }
        const float tolerance = 1e-6f * std::hypot(high[0] - low[0], high[1] - low[1]);

        mesh->BeforeConsideringSymmetry();
        SetActiveSymmetryMapForMesh(mesh);

        // Only vertices some polygon uses take part in editing.
        std::vector<bool> used(size_t(vertices), false);
        for (int p = 0; p < mesh->GetPCount(); ++p) {
            const TQORPolygon& polygon = mesh->Polygons[p];
            for (int k = 0; polygon.Points && k < polygon.Count; ++k)
                if (polygon.Points[k].V >= 0 && polygon.Points[k].V < vertices) used[size_t(polygon.Points[k].V)] = true;
        }

        const int32_t* partners = mesh->activeVertexPartnerA;
        int count = 0;
        for (int k = 0; k < vertices; ++k) {
            if (!used[size_t(k)]) continue;
            int s = partners ? partners[k] : k;
            if (s < 0 || s >= vertices) s = k;   // no mirror found: measured against itself
            float folded[3];
            mesh->GetSymmetricBaseVertex_NewStyle(k, folded);
            const float dx = mesh->baseVertices[3 * s] - folded[0];
            const float dy = mesh->baseVertices[3 * s + 1] - folded[1];
            if (std::hypot(dx, dy) > tolerance) ++count;
        }
        if (count > 0) OS.WarningMessage(Lang.GetText(432), object->GetName(), count, vertices);
    }
}
