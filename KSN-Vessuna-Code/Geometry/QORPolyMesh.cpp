// TQORPolyMesh: construction, sizing, whole-array copies, the rebuild
// sequences after a raw build and after a geometry edit, and destruction.
//
// Index
//   [SECTION] Construction and destruction
//   [SECTION] Sizing
//   [SECTION] Whole-array copies
//   [SECTION] Rebuild sequences
#include "QORPolyMesh.h"

#include "KSN_ParallelBlocks.h"
#include "OS.h"
#include "QORMatrix.h"
#include "QORThreads.h"

#include <algorithm>
#include <atomic>
#include <cstring>

// ---------------------------------------------------------------------------
// [SECTION] Construction and destruction
// ---------------------------------------------------------------------------

TQORPolyMesh::TQORPolyMesh()
{
    for (float* m : {TotalMatrix, RotationMatrix, LinearMatrix, InverseTotalMatrix, InverseRotationMatrix,
                     InverseLinearMatrix})
        QORMatrix_Identity4x4(m);
    MaterialMaps = new TQORMaterialMapList();
    Groups2 = new TQORGroup2List();
    Materials = new TQORMaterialList();
    Groups = new TQORGroupList();
    symmetryAxis = 0;
    symmetryOffset = 0.0f;
    symmetryPrecision = 6.0f;
}

TQORPolyMesh::~TQORPolyMesh()
{
    if (Polygons)
        for (int i = 0; i < polygonCount; ++i) Polygons[i].DestroyPoints();
    QORfree(Polygons);
    Polygons = nullptr;
    for (float*& uvw : ViewportUVWs) {
        QORfree(uvw);
        uvw = nullptr;
    }
    QORfree(VertexInfo);
    VertexInfo = nullptr;
    QORfree(PolygonFlags);
    PolygonFlags = nullptr;
    for (int i = 0; i < MaterialMaps->Count(); ++i) KSN_DeleteMaterialMap((*MaterialMaps)[i]);
    MaterialMaps->Clear();
    delete MaterialMaps;
    MaterialMaps = nullptr;
    DestroySupplementaryDataStructures();
    delete Groups2;   // a tree group deletes its items
    Groups2 = nullptr;
    for (int i = 0; i < Groups->Count(); ++i) delete (*Groups)[i];
    Groups->Clear();
    delete Groups;
    Groups = nullptr;
    delete Materials;
    Materials = nullptr;
    // Releases the blocks this mesh's polygons have just emptied.
    OptimizePolygonMemory();
}

// ---------------------------------------------------------------------------
// [SECTION] Sizing
// ---------------------------------------------------------------------------

void TQORPolyMesh::SetVertexCount(int count)
{
    if (count < 0) count = 0;
    const int old = vertexCount;
    TKSN_MeshRoot::SetVertexCount(count);
    for (float*& uvw : ViewportUVWs) {
        QORfree(uvw);
        uvw = nullptr;
    }
    KSN_ResizeArray(VertexInfo, old, count);
    for (int i = old; i < count; ++i) {
        baseVertices[3 * i + 0] = baseVertices[3 * i + 1] = baseVertices[3 * i + 2] = 0.0f;
        // Callers fill these; zeroes keep an unfilled vertex from carrying garbage.
        resolvedVertices[3 * i + 0] = resolvedVertices[3 * i + 1] = resolvedVertices[3 * i + 2] = 0.0f;
        vertexNormals[3 * i + 0] = vertexNormals[3 * i + 1] = vertexNormals[3 * i + 2] = 0.0f;
        VertexInfo[i] = TQORVertexInfo{0.0f, 0u, i};
    }
    // A kept vertex welded to a dropped one would name a vertex that no longer exists.
    const int kept = old < count ? old : count;
    for (int i = 0; i < kept; ++i)
        if (VertexInfo[i].WeldMaster < 0 || VertexInfo[i].WeldMaster >= count) VertexInfo[i].WeldMaster = i;
}

void TQORPolyMesh::SetTVertexCount(int count)
{
    if (count < 0) count = 0;
    const int old = tVertexCount;
    TKSN_MeshRoot::SetTVertexCount(count);
    for (int i = old; i < count; ++i) tVertices[2 * i] = tVertices[2 * i + 1] = 0.0f;
}

void TQORPolyMesh::SetPolygonCount(int count)
{
    if (count < 0) count = 0;
    const int old = polygonCount;
    TKSN_MeshRoot::SetPolygonCount(count);
    for (int i = count; i < old; ++i) Polygons[i].DestroyPoints();
    KSN_ResizeArray(Polygons, old, count);
    KSN_ResizeArray(PolygonFlags, old, count);
    for (int i = old; i < count; ++i) {
        Polygons[i].Init();
        PolygonFlags[i] = 0;
    }
    SetMaxOctreeDepth(GetIdealOctreeDepth());
}

void TQORPolyMesh::Create(int vertexCount_, int tvertexCount, int normalCount, int polygonCount_)
{
    TQORPolyMesh::SetVertexCount(vertexCount_);
    TQORPolyMesh::SetPolygonCount(polygonCount_);
    TQORPolyMesh::SetTVertexCount(tvertexCount);
    vertexNormalCount = normalCount;
    QORfree(SeparateNormals);
    SeparateNormals = nullptr;
    SeparateNormalCount = 0;
    if (normalCount != vertexCount) {
        OS.ErrorMessage("GetVNCount() != GetVCount() in TQORPolyMesh::Create()");
        if (normalCount > 0) {
            SeparateNormals = static_cast<float*>(QORalloc(uint64_t(normalCount) * 12));
            std::memset(SeparateNormals, 0, size_t(normalCount) * 12);
            SeparateNormalCount = normalCount;
        }
    }
}

// ---------------------------------------------------------------------------
// [SECTION] Whole-array copies
// ---------------------------------------------------------------------------

namespace {

bool CopyArray(float* dst, const float* src, int count, int own, int floatsPerItem)
{
    if (count != own) return false;
    if (count > 0) memcpy_Multithread(dst, src, size_t(count) * size_t(floatsPerItem) * sizeof(float));
    return true;
}

}  // namespace

bool TQORPolyMesh::GetBaseVertexArray(float* out, int count) { return CopyArray(out, baseVertices, count, vertexCount, 3); }
bool TQORPolyMesh::SetBaseVertexArray(const float* in, int count) { return CopyArray(baseVertices, in, count, vertexCount, 3); }
bool TQORPolyMesh::GetResolvedVertexArray(float* out, int count)
{
    return CopyArray(out, resolvedVertices, count, vertexCount, 3);
}
bool TQORPolyMesh::SetResolvedVertexArray(const float* in, int count)
{
    return CopyArray(resolvedVertices, in, count, vertexCount, 3);
}
bool TQORPolyMesh::GetTVertexArray(float* out, int count) { return CopyArray(out, tVertices, count, tVertexCount, 2); }
bool TQORPolyMesh::SetTVertexArray(const float* in, int count) { return CopyArray(tVertices, in, count, tVertexCount, 2); }

void TQORPolyMesh::CopyBaseVerticesToResolvedVertices()
{
    if (vertexCount > 0) memcpy_Multithread(resolvedVertices, baseVertices, vertexCount * 12);
}

void TQORPolyMesh::ClearResolvedVertices()
{
    for (int i = 0; i < 3 * vertexCount; ++i) resolvedVertices[i] = baseVertices[i];
}

// ---------------------------------------------------------------------------
// [SECTION] Rebuild sequences
// ---------------------------------------------------------------------------

void TQORPolyMesh::DestroySupplementaryDataStructures()
{
    QORfree(SeparateNormals);
    SeparateNormals = nullptr;
    SeparateNormalCount = 0;
    QORfree(visiblePolygons);
    visiblePolygons = nullptr;
    visiblePolygonCount = 0;
    QORfree(visibleVertices);
    visibleVertices = nullptr;
    visibleVertexCount = 0;
    // Freed lists are rebuilt on demand only when they count as stale.
    visibleListsValid = false;
    Edges.clear();
    Edges.shrink_to_fit();
    EdgeCount = 0;
    InvalidateOctree();
}

void TQORPolyMesh::CleanAllSupplementaryStructures()
{
    PolygonNeighbors.Clean();
    TVertexPolygons.Clean();
}

// A loader may hand over corner arrays it sized itself and weld maps read
// from a file; every index the rebuild reads is made safe first.
static void DropUnsafePolygonsAndMasters(TQORPolyMesh& mesh)
{
    // A sound mesh (the usual case) is only read, in blocks on the pool.
    std::atomic<bool> unsafe{false};
    auto look = [&](size_t first, size_t end) {
        bool found = false;
        for (size_t i = std::min(first, size_t(mesh.polygonCount)), last = std::min(end, size_t(mesh.polygonCount));
             i < last && !found; ++i) {
            const TQORPolygon& p = mesh.Polygons[i];
            found = (p.Count > 0 && !p.Points) || p.Count < 0;
        }
        for (size_t v = std::min(first, size_t(mesh.vertexCount)), last = std::min(end, size_t(mesh.vertexCount));
             v < last && !found; ++v) {
            const int m = mesh.VertexInfo[v].WeldMaster;
            found = m < 0 || m >= mesh.vertexCount;
        }
        if (found) unsafe.store(true, std::memory_order_relaxed);
    };
    KSN_RunInBlocks(size_t(std::max({mesh.polygonCount, mesh.vertexCount, 0})), 65536, look);
    if (!unsafe.load()) return;

    int droppedPolygons = 0;
    for (int i = 0; i < mesh.polygonCount; ++i) {
        TQORPolygon& p = mesh.Polygons[i];
        if (p.Count > 0 && !p.Points) {
            p.Count = 0;
            ++droppedPolygons;
        } else if (p.Count < 0) {
            p.DestroyPoints();
            p.Count = 0;
            ++droppedPolygons;
        }
    }
    int resetMasters = 0;
    for (int v = 0; v < mesh.vertexCount; ++v) {
        const int m = mesh.VertexInfo[v].WeldMaster;
        if (m < 0 || m >= mesh.vertexCount) {
            mesh.VertexInfo[v].WeldMaster = v;
            ++resetMasters;
        }
    }
    if (droppedPolygons > 0)
        OS.WarningMessage("%d polygons without corners were left out of the mesh %s.", droppedPolygons, mesh.GetName());
    if (resetMasters > 0)
        OS.WarningMessage("%d vertices of the mesh %s were welded to vertices that do not exist; they were unwelded.",
                          resetMasters, mesh.GetName());
}

void TQORPolyMesh::AfterRawBuild()
{
    TKSN_MeshRoot::AfterRawBuild();
    CleanPolygons();
    DropUnsafePolygonsAndMasters(*this);
    FixUVMapping();
    DestroySupplementaryDataStructures();
    BuildVertexPolygons();
    // The open-edge bits come from the same walk around each vertex as the edges.
    BuildPolygonEdges(true);
    RecalculateNormals(true);
    CalculateBounds();
    MakeGroupNamesUnique();
    OptimizePolygonMemory();
}

void TQORPolyMesh::EndEditGeometry()
{
    InvalidateOctree();
    BuildVertexPolygons();
    BuildTVertexPolygons();
    CalculateOpenEdges();
    BuildPolygonEdges();
    CalculateBounds();
    ResolveGroupVertexMaps();
    InvalidateVisibleLookups();
}
