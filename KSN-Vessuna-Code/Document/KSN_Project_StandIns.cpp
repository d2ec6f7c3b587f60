// TODO(stub): the least stand-ins for the parts of the project that later
// subsystems build: the project file, the importer, cameras, the undo lists,
// culling, symmetry, bounds, viewport drawing, the paint overlay, brush
// images and tiling and selection unions. Each
// function here answers as a project without that subsystem does; its owner
// replaces it with the real code in its own source and deletes it here.
#include "KSN_Project.h"

#include "KSN_Project_Internal.h"

// TODO(stub): the object importer.
bool TKSN_Project::ImportObject(const char*) { return false; }

// TODO(stub): the project file reader; the base takes no key either.
bool TKSN_Project::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    return TKSN_Thingy::LoadFromStream_Text_ConsiderCommand(file, key, value);
}

// TODO(stub): the project file writer; nothing is written yet.
bool TKSN_Project::SaveToStream_Text(FILE*, bool) { return false; }

// TODO(stub): cameras come with the viewport subsystem; until then none is made.
TKSN_Camera* TKSN_Project::CreateCamera() { return nullptr; }

// TODO(stub): the settings of a new project; the option fields start at their
// defaults already, so only what the constructor does not set is reset here.
void TKSN_Project::UseDefaultSettings()
{
    TileWidth = TileHeight = InvTileWidth = InvTileHeight = TileScaleX = TileScaleY = 1.0f;
    SpecialDisplayMode = 0;
}

// TODO(stub): brush shapes; nothing is loaded yet.
bool TKSN_Project::LoadBrushShapeFromFile(const char*) { return false; }

// TODO(stub): the project has no background polygon culler yet, so there is
// nothing to cancel or wait for.
void TKSN_Project::CancelVertexCulling()
{
    KSN_ProjectApp_InvalidateVertexCulling();
}

// TODO(stub): picking and culling.
void TKSN_Project::InvalidateAffectedObjectsStencil() { AffectedObjectsStencilValid = false; }

// TODO(stub): symmetry across objects.
void TKSN_Project::SetActiveSymmetryMapForMesh(TKSN_Mesh*) {}

// TODO(stub): selection bounds and view targets.
void TKSN_Project::DoAutoCalculateDepthLookAt() {}

void TKSN_Project::GetDisplayBoundingBox(TKSN_Viewport*, float* min, float* max)
{
    for (int c = 0; c < 3; ++c) {
        if (min) min[c] = -1.0f;
        if (max) max[c] = 1.0f;
    }
}

// TODO(stub): drawing viewports.
void TKSN_Project::ProcessAutoViewports() {}

// TODO(stub): brush tiling.
void TKSN_Project::BeforeConsiderTiling(TKSN_Viewport*) {}

// TODO(stub): the paint overlay and brush footprint.
void TKSN_Project::InvalidateOverlay() { BrushShapeValid = false; }
void TKSN_Project::SetupOverlayAndBrushShape(TKSN_Viewport*, float, float) {}

// TODO(stub): selections and selection unions across objects.
bool TKSN_Project::ApplySelectedSelectionUnions() { return false; }
bool TKSN_Project::ApplySelectedSelections() { return false; }
