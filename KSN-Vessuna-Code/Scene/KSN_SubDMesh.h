// TKSN_SubDMesh: one subdivision level of an editable mesh, and the
// algorithms that make the levels and bake displacement and bump into them.
//
// A level is a mesh root whose polygons all have four corners (a triangle
// repeats its third corner); every polygon remembers the polygon of the owner
// mesh it descends from (Owner), at every level the base polygon. Hidden and
// locked state, layer flags and materials are the owner polygon's. Level 0 is
// the fan of the owner's polygons (CreateFromMesh); each higher level comes
// from the level under it (Subdivide, DynamicSubdivide): a face point per
// polygon, shared edge points, then one averaging pass (SmoothVertices).
// Positions are plain averages: there is no crease or boundary rule.
//
// Invariants:
// - Vertex indices carry over from level to level: the first
//   ParentVertexCount vertices of a level are the parent's, in order, and the
//   parent records ("VertexParentLookup", 4 int32 per vertex) name for every
//   vertex the parent-level vertices whose plain average it is; a record ends
//   at the first entry equal to the vertex itself ({i,i,i,i} carried over).
// - Once all levels are built (CreateSubDsForMesh) the top level owns the
//   per-vertex arrays (positions, normals, original normals, InterpolatedBase);
//   every lower level borrows them (arraysBorrowed) and, its vertices being a
//   prefix of the top level's, shows the top level's positions. Each level
//   keeps its own polygons, texture vertices, polygon normals, visible lists,
//   vertex-to-polygon table and octree. A borrowed array is never freed by
//   the borrower, so every shared array is freed exactly once, by the top.
// - Levels hang on the owner mesh as custom pointer properties "SUBD_LEVEL_%d"
//   and are deleted together by TKSN_Mesh::DestroyAllSubDs.
//
// Main thread only (built inside a progress bracket, baked during validation).
//
// Index of the sources:
//   KSN_SubDMesh.cpp            the level: construction, fan, normals, visible lists
//   KSN_SubDMesh_Subdivide.cpp  Subdivide, DynamicSubdivide, SmoothVertices,
//                               Interpolate_VArray_From_Base
//   KSN_SubDMesh_Octree.cpp     the octree of a freshly built level
//   Document/KSN_SubDMesh_Bake.cpp  building all levels through the project
//                               (CreateSubDsForMesh) and the displacement and
//                               bump bake of the top level
#pragma once

#include "KSN_MeshRoot.h"

#include <cstdint>

class TKSN_Mesh;
struct TKSN_SubDRecords;

struct TKSN_SubDPolygon {
    int32_t Corner0, Corner1, Corner2, Corner3;   // Corner3 == Corner2 for a triangle
    int32_t Owner;                                // polygon of the owner TKSN_Mesh
};

class TKSN_SubDMesh : public TKSN_MeshRoot {
public:
    TKSN_SubDMesh();
    ~TKSN_SubDMesh() override;
    TKSN_SubDMesh(const TKSN_SubDMesh&) = delete;
    TKSN_SubDMesh& operator=(const TKSN_SubDMesh&) = delete;

    // ---- overrides of the mesh-root interface --------------------------------
    TQORMaterialMapSource* GetCurrentChannelMapFromPolygon(TKSN_Viewport* viewport, int polygon) override;
    TQORMaterialMapSource* GetColorMapFromPolygon(TKSN_Viewport* viewport, int polygon) override;
    uint32_t GetPolyLayerFlags(int polygon) override;
    bool TestPolyLayerFlag(int polygon, uint32_t mask) override;
    // The owner mesh's current sculpt-layer data (3 floats per vertex of the
    // highest level), or null.
    float* GetCurrentDeltas() override;
    void RecalculatePolyNormal(int polygon) override;
    void RecalculateVertexNormal(int) override {}
    void RecalculateNormals(bool visibleOnly) override;
    // The owner mesh's vertex normals carried up to this level and
    // normalised: the directions along which displacements are applied.
    void SetOriginalVertexNormals() override;
    int vGetPolyV(int polygon, int corner) override { return (&Polygons[polygon].Corner0)[corner]; }
    int vGetPolyVT(int polygon, int corner) override
    {
        return PolygonUVs ? PolygonUVs[4 * polygon + corner] : -1;
    }
    int vGetPolyVN(int polygon, int corner) override { return (&Polygons[polygon].Corner0)[corner]; }
    int vGetPolyM(int polygon) override;
    int vGetPolyN(int polygon) override { return Polygons[polygon].Corner2 == Polygons[polygon].Corner3 ? 3 : 4; }
    bool IsPolyHidden(int polygon) override;
    bool IsPolyLocked(int polygon) override;
    bool IsPolyLockedOrHidden(int polygon) override;
    void SetCustomPFlagToTrue(int polygon) override { CustomPFlags[polygon] = 1; }
    void SetCustomPFlagToFalse(int polygon) override { CustomPFlags[polygon] = 0; }
    bool GetCustomPFlag(int polygon) override { return CustomPFlags[polygon] != 0; }
    // Visible lists without the polygons whose owner polygon is hidden (all:
    // everything); vertices in order of first use.
    void BuildVisiblePolygons(bool all) override;
    int GetOwnerIP(int polygon) override { return Polygons[polygon].Owner; }
    const int32_t* GetQuadCornerTable(int& stride) override
    {
        static_assert(sizeof(TKSN_SubDPolygon) == 5 * sizeof(int32_t), "corner table stride");
        stride = 5;
        return Polygons ? &Polygons[0].Corner0 : nullptr;
    }
    // Resolved = base, visible lists, normals, vertex-to-polygon table, octree.
    void AfterRawBuild() override;
    void SetPolygonCount(int count) override;

    // ---- building --------------------------------------------------------------
    // Level 0: the fan of the owner's polygons (only the selected ones when
    // some are selected), all of its vertices.
    void CreateFromMesh(TKSN_Mesh* mesh);
    // This (new, empty) level from the level below: every polygon split into
    // one quad per corner, then smoothed.
    void Subdivide(TKSN_SubDMesh* parent);
    // Only the edges that span at least one texel of their material's map are
    // split. False, with the level left empty, when nothing needs refining or
    // the planned polygon count exceeds allowance.
    bool DynamicSubdivide(TKSN_SubDMesh* parent, int allowance);
    // Every vertex to the average of the centroids of its polygons (from the
    // resolved positions into the base positions).
    void SmoothVertices();
    // The normals for caller-supplied positions into the caller's arrays
    // (3 floats per vertex and per polygon); the level's own stay untouched.
    void RecalculateNormalsExternal(const float* positions, float* vertexNormals, float* polygonNormals);
    // The parent records of this level, or null (level 0).
    int32_t* GetVertexParentLookup() const;

    // ---- data (in declared order) -------------------------------------------
    float* InterpolatedBase = nullptr;     // 3 per vertex, top level only (shared below)
    TKSN_SubDPolygon* Polygons = nullptr;
    int32_t* PolygonUVs = nullptr;         // 4 per polygon
    uint8_t* CustomPFlags = nullptr;       // 1 per polygon
    int32_t ParentPolygonCount = 0;
    int32_t ParentVertexCount = 0;
    int32_t ParentTVertexCount = 0;
    int32_t FacePointCount = 0;
    int32_t ChildPolygonCount = 0;
    int32_t EdgePointAllowance = 0;
    int32_t Level = 0;

    // Levels alive in the process, so that tests see a replaced level go.
    static inline int LiveCount = 0;
    // Subdivide numbers the new vertices on the worker pool only when it has
    // at least this many slots; below, the serial walk is faster.
    static inline int ParallelNumberingSlots = 16;

    // The two-triangle normal (not normalised: it carries the area) from the
    // given positions.
    void PolygonNormal(const float* positions, int polygon, float* n) const;

private:
    // Owner mesh, size value and boxes from mesh; the whole space invalid.
    void CopyOwnerExtent(TKSN_Mesh* mesh);
    // Steps shared by both subdividers (KSN_SubDMesh_Subdivide.cpp).
    void BeginFromParent(TKSN_SubDMesh* parent);
    // Sizes this level from the counts gathered so far, then copies the parent's vertices across.
    // With verticesLater only the texture vertices, polygons and records are sized.
    void SizeFromParentAndCopyVertices(TKSN_SubDMesh* parent, TKSN_SubDRecords& records, bool verticesLater = false);
    // Sizes the vertex arrays to usedVertices, copies the parent's vertices
    // across and places every new vertex from its parent record.
    void PlaceNewVertices(TKSN_SubDMesh* parent, int usedVertices, TKSN_SubDRecords& records);
    void FinishFromParent(int usedVertices, int usedTVertices, TKSN_SubDRecords& records);
    // Subdivide's numbering and filling on the worker pool, with the serial
    // walk's numbers; false, with nothing changed, when the parent's
    // vertex-to-polygon rows do not match its polygons or a row is too long.
    bool SubdivideInParallel(TKSN_SubDMesh* parent, TKSN_SubDRecords& records);
    void RecalculateNormalsInto(const float* positions, float* vertexNormals, float* polygonNormals);
    // The same results from the vertex-to-polygon table, in parallel; only
    // while the table was built from the current polygons.
    void RecalculateNormalsFromRows(const float* positions, float* vertexNormals, float* polygonNormals);
    void SmoothVerticesFromRows();
    // The mesh root's octree build (BuildOctree) for a level whose
    // vertex-to-polygon rows were just made from its polygons: the same
    // tree, lists and boxes (KSN_SubDMesh_Octree.cpp).
    void BuildLevelOctree();
    // The mesh root's BeginOctreeBuild with the cell's bounds and the flag
    // reset made on the pool: the same root cell, tree and filed vertices.
    void BeginLevelOctreeBuild();
    // AddPolygonsToOctree's filing from the lowest filed corner of each
    // polygon. work: room for 2 V + 2 P + 1 ints (both steps).
    void FileLevelPolygons(int32_t* work);
    // The mesh root's full fit of the boxes without its walk over the rows;
    // false, with nothing fitted, when the slices are not as the level's
    // build makes them (the walk is then left to the mesh root).
    bool FitLevelOctreeBoxes(int32_t* work);
};

// The level's per-vertex triples carried up from the base mesh's: dest gets
// the base mesh's vertices one for one, then each level's new vertices the
// average of their parents'. components is not consulted (always triples);
// startLevel is 0 for every caller. Nothing happens when the mesh has no such
// level.
void Interpolate_VArray_From_Base(TKSN_Mesh* mesh, int level, const float* source, float* dest, int components,
                                  int startLevel);

// What the levels and the mesh's validation ask of the document, which sits
// above the scene library. Registered by every project constructor; unset, a
// level has no sculpt-layer data and validation bakes nothing.
struct TKSN_SubDMeshHooks {
    // The owner mesh's current sculpt-layer values (3 floats per vertex of the highest level).
    float* (*GetCurrentLayerDeltas)(TKSN_Mesh* mesh) = nullptr;
    // BakeCurrentSubDWithBumpAndDisplacementMaps (Document/KSN_SubDMesh_Bake.h).
    void (*Bake)(TKSN_Mesh* mesh, bool regionOnly, bool changedOnly) = nullptr;
};
const TKSN_SubDMeshHooks& KSN_GetSubDMeshHooks();
void KSN_SetSubDMeshHooks(const TKSN_SubDMeshHooks& hooks);
