// Importing objects and morphs from OBJ files, building sub-division levels,
// and exporting objects. Index:
//   [SECTION] Hooks
//   [SECTION] Importing objects
//   [SECTION] Import options
//   [SECTION] Importing morphs
//   [SECTION] Sub-division levels
//   [SECTION] Exporting objects
#include "KSN_Project.h"

#include "KSN_PolygonLayer.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Project_Import.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMatrix.h"
#include "QORString.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kNoCurrentObjectText = 259;    // "Please choose (or import) an object before proceeding."
constexpr int kAllPolygonsLockedText = 761;
constexpr int kAllPolygonsHiddenText = 762;

TKSN_ProjectFileHooks FileHooks;

std::string FileNamePart(const char* path, bool removeExtension)
{
    std::vector<char> name(std::strlen(path) + 1, '\0');
    GetShortNameFromFileName(name.data(), path, removeExtension);
    return name.data();
}

} // namespace

// ============================================================================
// [SECTION] Hooks
// ============================================================================

void KSN_SetProjectFileHooks(const TKSN_ProjectFileHooks& hooks) { FileHooks = hooks; }
const TKSN_ProjectFileHooks& KSN_GetProjectFileHooks() { return FileHooks; }

// ============================================================================
// [SECTION] Importing objects
// ============================================================================

bool TKSN_Project::ImportObject(const char* path)
{
    auto object = std::make_unique<TKSN_Object>();
    if (!LoadObject(path, object.get(), !UseInternalNameforGroups)) return false;
    TKSN_Object* added = object.release();
    Objects->AddItem(added);
    const float origin[3] = {0.0f, 0.0f, 0.0f};
    added->SetInitialPos(origin);
    SetCurrentObject(added);
    SetupMeshAfterImport(false);
    SetupAfterLoad();
    return true;
}

bool TKSN_Project::LoadObject(const char* path, TKSN_Object* object, bool ignoreInternalNames)
{
    if (!path || !object) return false;
    object->Mesh.reset(new TKSN_Mesh(object));
    TKSN_Mesh* mesh = object->Mesh.get();
    if (!FileHooks.LoadObjData || !FileHooks.LoadObjData(path, mesh, !ignoreInternalNames)) return false;
    object->FileName = path;
    KSN_ProjectImportApp_AddSearchPathFromFileName(path);
    mesh->AfterRawBuild();
    mesh->RecalculateNormals(false);
    object->SetName("%s", FileNamePart(path, false).c_str());
    return true;
}

// ============================================================================
// [SECTION] Import options
// ============================================================================

namespace {

void FlipNormals(TQORPolyMesh* mesh)
{
    for (int p = 0; p < mesh->polygonCount; ++p) {
        TQORPolygon& polygon = mesh->Polygons[p];
        // Corner 0 stays; the others run backwards: (a, b, c, d) becomes (a, d, c, b).
        if (polygon.Points && polygon.Count > 2)
            for (int lo = 1, hi = polygon.Count - 1; lo < hi; ++lo, --hi) std::swap(polygon.Points[lo], polygon.Points[hi]);
    }
}

} // namespace

void TKSN_Project::SetupMeshAfterImport(bool keepGeometry)
{
    TKSN_Object* object = GetCurrentObject();
    if (!object) {
        CurrentObjectID = 0;
        return;
    }
    TKSN_Mesh* mesh = object->Mesh.get();
    if (!mesh) return;

    mesh->SetActiveUVWs(CurrentViewportIndex);
    if (TKSN_Layer* all = PolygonLayers[0]) {
        if (all->IsHidden())
            OS.WarningMessage("%s", Lang.GetText(kAllPolygonsHiddenText));
        else if (all->Locked)
            OS.WarningMessage("%s", Lang.GetText(kAllPolygonsLockedText));
    }

    if (!keepGeometry) {
        for (int t = 0; t < mesh->tVertexCount; ++t) {
            if (FlipUVsHorizontallyOnImport) mesh->tVertices[2 * t] = 1.0f - mesh->tVertices[2 * t];
            if (FlipUVsVerticallyOnImport) mesh->tVertices[2 * t + 1] = 1.0f - mesh->tVertices[2 * t + 1];
        }
        if (FlipNormalsOnImport) FlipNormals(mesh);
    }

    mesh->ImportMapsAfterImportObject();

    // The bounds as the file left them: the weld moves nothing.
    float lo[3], hi[3];
    Points_Bounds(mesh->baseVertices, mesh->vertexCount, lo, hi);

    if (WeldOnImport && FileHooks.QuickWeld3) FileHooks.QuickWeld3(mesh, std::pow(10.0f, -WeldThreshold));

    if (!keepGeometry) {
        if (CenterOnImport) {
            const float centre[3] = {(lo[0] + hi[0]) * 0.5f, (lo[1] + hi[1]) * 0.5f, (lo[2] + hi[2]) * 0.5f};
            for (int i = 0; i < mesh->vertexCount; ++i)
                for (int c = 0; c < 3; ++c) mesh->baseVertices[3 * i + c] -= centre[c];
        }
        if (ScaleOnImport)
            for (int i = 0; i < 3 * mesh->vertexCount; ++i) mesh->baseVertices[i] *= ScaleFactor;
    }

    object->ResolveVertices(true);
    mesh->RecalculateNormals(false);
    // Symmetry is worked out again for the new shape.
    mesh->SymmetryStarted = false;
    InvalidateAffectedObjectsStencil();
    SetActiveSymmetryMapForMesh(mesh);
}

// ============================================================================
// [SECTION] Importing morphs
// ============================================================================

TKSN_Morph* TKSN_Project::ImportMorph(const char* path)
{
    TKSN_Object* object = GetCurrentObject();
    TKSN_Mesh* mesh = object ? object->Mesh.get() : nullptr;
    if (!mesh) {
        if (!object) CurrentObjectID = 0;
        OS.WarningMessage("%s", Lang.GetText(kNoCurrentObjectText));
        return nullptr;
    }
    if (!path) return nullptr;

    auto imported = std::make_unique<TKSN_Mesh>(nullptr);
    if (!FileHooks.LoadObjData || !FileHooks.LoadObjData(path, imported.get(), true)) {
        OS.ErrorMessage("Error importing the OBJ file %s", path);
        return nullptr;
    }
    if (imported->vertexCount != mesh->vertexCount) {
        OS.ErrorMessage("Cannot import this object as a morph target since it has a differet number of vertices as "
                        "the current object (%d, should be %d)",
                        imported->vertexCount, mesh->vertexCount);
        return nullptr;
    }

    TKSN_Morph* morph = mesh->CreateMorph(mesh->MorphTree);
    morph->Expand();
    if (float* deltas = morph->GetPointerToExpandedArray())
        for (int i = 0; i < 3 * mesh->vertexCount; ++i) deltas[i] = imported->baseVertices[i] - mesh->baseVertices[i];
    morph->SetName("%s", FileNamePart(path, true).c_str());
    OnShapeChanged(true, true);
    return morph;
}

// ============================================================================
// [SECTION] Sub-division levels
// ============================================================================

TKSN_SubDMesh* TKSN_Project::CreateSubD(TKSN_Mesh* mesh, int level, bool leanAndMean, bool dynamic)
{
    if (!mesh || level < 0) return nullptr;
    auto subD = std::make_unique<TKSN_SubDMesh>();
    if (level == 0) {
        subD->CreateFromMesh(mesh);
    } else {
        TKSN_SubDMesh* below = mesh->GetSubD(level - 1);
        if (!below) return nullptr;
        if (dynamic) {
            if (!subD->DynamicSubdivide(below, mesh->TargetMaxSubDPolygonCount)) return nullptr;
        } else {
            subD->Subdivide(below);
        }
    }
    subD->SetLeanAndMean(leanAndMean);
    // TODO(stub): the level's layer data set takes the project's sculpt-layer
    // group once sub-division meshes carry one.
    if (!subD->IsOctreeValid()) subD->BuildOctree();

    const std::string key = QORFormat("SUBD_LEVEL_%d", level);
    // The level built before under this number would otherwise be lost, still allocated.
    delete mesh->GetSubD(level);
    TKSN_SubDMesh* result = subD.release();
    mesh->SetCustomPointerProperty(key.c_str(), result);
    // The mesh deletes its levels up to this number when it goes.
    if (level > mesh->ActualMaxSubDLevel) mesh->ActualMaxSubDLevel = level;
    return result;
}

// ============================================================================
// [SECTION] Exporting objects
// ============================================================================

void TKSN_Project::ExportObject(TKSN_Object* object, const char* path)
{
    if (!object || !object->Mesh || !path) return;
    object->Mesh->UpdateWeldedVertices();
    if (FileHooks.ExportObjectFile)
        FileHooks.ExportObjectFile(object->Mesh.get(), path, ExportVerticesOnly, ExportGroups,
                                   UseInternalNameforGroups);
}

void TKSN_Project::ExportGroupsAsSeparateObjects(TKSN_Object* object, const char* path)
{
    if (!object || !object->Mesh || !path) return;
    if (FileHooks.ExportGroupsAsSeparateObjects)
        FileHooks.ExportGroupsAsSeparateObjects(object->Mesh.get(), path, ExportVerticesOnly, ExportChangedGroups);
}
