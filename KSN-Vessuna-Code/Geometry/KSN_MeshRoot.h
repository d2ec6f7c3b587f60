// TKSN_MeshRoot: the geometric base of every editable surface.
//
// The root owns the per-vertex, per-texture-vertex and per-polygon arrays, the
// visible-item lists, the vertex-to-polygon table, the symmetry partner maps,
// three one-byte change-flag channels with a generation stamp, the
// displacement helpers and the octree. It knows nothing about how polygons are
// stored: every question about a polygon goes through the virtual accessors
// (vGetPolyV and friends), which the indexed polygon mesh answers.
//
// Invariants:
// - Every array pointer is null or holds exactly its count of entries
//   (vertexCount, tVertexCount, polygonCount); arrays grow and shrink keeping
//   their first entries (KSN_ResizeArray), new entries are uninitialised.
// - Resizing vertices or polygons releases all three change-flag channels
//   (stamps 0, byte arrays gone), so the next StartUsingCFlags sizes them anew.
// - The visible lists count as valid only while visibleListsValid is set and
//   neither count exceeds the mesh's own; every reader goes through
//   GetVisibleVertexCount / GetVisiblePolygonCount first.
// - Everything that discards the octree or the visible lists stops the
//   viewport-dependent background work first (KSN_CancelViewportDependentWork),
//   because those jobs read both.
// - With arraysBorrowed set (sub-division levels that share one set) the
//   position, normal, texture-vertex, original-normal and partner arrays
//   belong to another root and are never freed here.
//
// Threads: resizing, building the lists and the tables, and discarding the
// octree happen on the main thread; worker jobs flag change-flag channels in
// parallel with plain byte stores. Nothing here is locked.
#pragma once

#include "KSN_Thingy.h"
#include "QORLookupTable.h"
#include "QORMemory.h"
#include "QOROctree.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

class TKSN_Mesh;
class TKSN_Object;
class TKSN_Viewport;
class TQORMaterial;
class TQORMaterialMap;
class TQORMaterialMapSource;
class TQORPolyMesh;

// Resizes an array block keeping its first min(oldCount, newCount) entries;
// new entries are not initialised, a new count of 0 frees the block. Entries
// are moved bytewise, so T must be trivially copyable.
template <class T>
void KSN_ResizeArray(T*& array, int64_t oldCount, int64_t newCount)
{
    static_assert(std::is_trivially_copyable_v<T>, "KSN_ResizeArray moves entries bytewise");
    if (oldCount < 0) oldCount = 0;
    if (newCount <= 0) {
        QORfree(array);
        array = nullptr;
        return;
    }
    if (array && oldCount == newCount) return;
    T* fresh = static_cast<T*>(QORalloc(uint64_t(newCount) * sizeof(T)));
    if (array) {
        int64_t keep = oldCount < newCount ? oldCount : newCount;
        if (keep > 0) std::memcpy(fresh, array, size_t(keep) * sizeof(T));
        QORfree(array);
    }
    array = fresh;
}

// Stopping the background jobs that read the octree and the visible lists
// (the touch-up renderer and the project's vertex culling) belongs to the
// application shell, which sits above geometry; it registers its stopper here
// at start-up. Until one is registered there is nothing to stop.
using TKSN_CancelWorkhorsesFunc = void (*)();
void KSN_SetCancelViewportDependentWorkhorsesHook(TKSN_CancelWorkhorsesFunc hook);
// Calls the registered stopper and returns once the jobs have stopped.
void KSN_CancelViewportDependentWork();

// Change-flag channels: 0 the sculpting brush's per-stroke bookkeeping, 1 the
// general channel (normals after deformation, displacement validation,
// picking, chisels, back-face culling), 2 the touch-up overlay worker.
enum eCFlag_Channel : int {
    eCFlag_Channel_Brush = 0,
    eCFlag_Channel_General = 1,
    eCFlag_Channel_Overlay = 2,
};
constexpr int KSN_CFLAG_CHANNELS = 3;

class TKSN_MeshRoot : public virtual TKSN_Thingy {
public:
    TKSN_MeshRoot();
    ~TKSN_MeshRoot() override;

    // ---- virtual operations, in slot order -------------------------------

    // [SECTION] Octree (invalidation and validation by object-space box)
    // Every root operation of the Octree sections lives in KSN_MeshRoot_Octree.cpp.
    virtual void InvalidateCubeInOSpace(float* min, float* max);
    virtual void InvalidateAllInOSpace();
    virtual void ValidateAllInOSpace(bool flag);
    virtual void InvalidateAllOctreeNodeDisplayLists();
    // [END SECTION] Octree

    virtual TQORMaterialMapSource* GetCurrentChannelMapFromPolygon(TKSN_Viewport* viewport, int polygon);
    virtual TQORMaterialMapSource* GetColorMapFromPolygon(TKSN_Viewport* viewport, int polygon);
    // Lean mode drops the four symmetry partner maps (sub-division levels).
    virtual void SetLeanAndMean(bool lean);
    virtual bool IsLeanAndMean() { return leanAndMean; }
    virtual bool KeepVertexPolygonsInMemory() { return !IsLeanAndMean(); }
    // maxDisplacementReach: the largest distance a displacement map can move a vertex.
    virtual void UpdateDisplacementMapHelpers();
    virtual uint32_t GetPolyLayerFlags(int /*polygon*/) { return 0; }
    virtual bool TestPolyLayerFlag(int /*polygon*/, uint32_t /*mask*/) { return false; }
    // The owner mesh's material list; 0 / null without an owner mesh or out of range.
    virtual int GetMaterialCount();
    virtual TQORMaterial* GetMaterial(int index);
    virtual float* GetCurrentDeltas() { return nullptr; }

    // [SECTION] Normals (root defaults; the polygon mesh overrides)
    virtual void RecalculatePolyNormal(int /*polygon*/) {}
    virtual void RecalculateVertexNormal(int /*vertex*/) {}
    virtual void RecalculateNormals(bool /*visibleOnly*/) {}
    // [END SECTION] Normals

    // Keeps a copy of the vertex normals in originalVertexNormals.
    virtual void SetOriginalVertexNormals();
    virtual TKSN_Mesh* GetOwnerMesh() { return ownerMesh; }
    // Polygon accessors; the root has no polygons of its own and answers −1 / false.
    virtual int vGetPolyV(int /*polygon*/, int /*corner*/) { return -1; }
    virtual int vGetPolyVT(int /*polygon*/, int /*corner*/) { return -1; }
    virtual int vGetPolyVN(int /*polygon*/, int /*corner*/) { return -1; }
    virtual int vGetPolyM(int /*polygon*/) { return -1; }
    virtual int vGetPolyN(int /*polygon*/) { return -1; }
    virtual bool IsPolyHidden(int /*polygon*/) { return false; }
    virtual bool IsPolyLocked(int /*polygon*/) { return false; }
    virtual bool IsPolyLockedOrHidden(int /*polygon*/) { return false; }
    virtual void SetCustomPFlagToTrue(int /*polygon*/) {}
    virtual void SetCustomPFlagToFalse(int /*polygon*/) {}
    virtual bool GetCustomPFlag(int /*polygon*/) { return false; }

    // [SECTION] Visible lists
    // Root default (KSN_MeshRoot.cpp): only marks the lists valid.
    virtual void BuildVisiblePolygons(bool all);
    // [END SECTION] Visible lists

    // The polygon of the owner mesh a polygon stems from.
    virtual int GetOwnerIP(int polygon) { return polygon; }
    virtual int GetSelectedVertexCount() { return 0; }
    virtual TKSN_Object* GetOwnerObject() { return nullptr; }
    virtual float GetResolvedPSelect(int /*polygon*/) { return 0.0f; }
    // A root without selections counts every vertex as fully selected.
    virtual float GetResolvedVSelect(int /*vertex*/) { return 1.0f; }
    virtual bool DoRenderDoubleSided();

    // [SECTION] Octree (build and optimisation)
    virtual void OctreeBoundsChanged() {}
    virtual void BuildOctree();
    virtual void OptimizeOctree();
    virtual void OptimizeOctree_LinkNodesToItems();
    // [END SECTION] Octree

    // Same as InvalidateVisibleLookups.
    virtual void AfterRawBuild();
    virtual void SetVertexCount(int count);
    virtual void SetTVertexCount(int count);
    virtual void SetPolygonCount(int count);
    // The corners of every polygon as one flat table, stride ints per polygon,
    // four corners each (a triangle repeats its third corner), when the mesh
    // stores them so; null otherwise. The bulk passes of the octree read
    // corners from it instead of asking vGetPolyN / vGetPolyV per corner.
    virtual const int32_t* GetQuadCornerTable(int& stride)
    {
        stride = 0;
        return nullptr;
    }

    // ---- non-virtual operations -------------------------------------------

    // Takes the editable mesh as its most-derived type, so that the material
    // lookups reach its polygon-mesh lists although the root cannot see the
    // editable mesh's class (it derives from TQORPolyMesh).
    template <class TMesh>
    void SetOwnerMesh(TMesh* mesh)
    {
        ownerMesh = mesh;
        ownerPolyMesh = mesh;
    }

    int GetVCount() const { return vertexCount; }
    int GetTVCount() const { return tVertexCount; }
    int GetPCount() const { return polygonCount; }
    int GetVNCount() const { return vertexNormalCount; }

    // Rebuild the visible lists through BuildVisiblePolygons(false) when they are stale.
    int GetVisibleVertexCount();
    int GetVisiblePolygonCount();
    bool AreVisibleListsValid() const
    {
        return visibleListsValid && polygonCount >= visiblePolygonCount && vertexCount >= visibleVertexCount;
    }

    int GetIdealOctreeDepth() const { return 4; }
    int GetMaxOctreeDepth() const { return maxOctreeDepth; }
    // A changed depth discards the octree as InvalidateOctree does.
    void SetMaxOctreeDepth(int depth);
    bool IsOctreeValid() const { return octreeRoot != nullptr; }
    // Stops the background jobs, deletes the octree, frees polygonLeafIndex and
    // empties leafList; the visible lists stay valid.
    void InvalidateOctree();
    // InvalidateOctree, and the visible lists become stale.
    void InvalidateVisibleLookups();

    // Change-flag channels: an item is flagged while its byte equals the
    // channel's stamp; StartUsingCFlags bumps the stamp (1..255), which
    // unflags everything at once. Flag and test do no bounds checks and need a
    // StartUsingCFlags since the last resize.
    void StartUsingCFlags(eCFlag_Channel channel);
    void CFlag_FlagVertex(eCFlag_Channel channel, int vertex)
    {
        cflagVertices[channel][vertex] = uint8_t(cflagStamps[channel]);
    }
    bool CFlag_TestVertex(eCFlag_Channel channel, int vertex) const
    {
        return cflagVertices[channel][vertex] == uint8_t(cflagStamps[channel]);
    }
    void CFlag_FlagPolygon(eCFlag_Channel channel, int polygon)
    {
        cflagPolygons[channel][polygon] = uint8_t(cflagStamps[channel]);
    }
    bool CFlag_TestPolygon(eCFlag_Channel channel, int polygon) const
    {
        return cflagPolygons[channel][polygon] == uint8_t(cflagStamps[channel]);
    }

    // off: symmetry off, no active maps. Otherwise flipped uses map 1 as A.
    void SetActiveSymmetryMap(bool flipped, bool off);

    // One row per vertex: the polygons using it, once per corner naming it, in
    // polygon order. Corners whose vertex is out of range are left out.
    void BuildVertexPolygons();

    // [SECTION] Octree (non-virtual steps, queries and display data)
    void AddVerticesToOctree(TQOROctreeNode<int>* node);
    void AddPolygonsToOctree(TQOROctreeNode<int>* node);
    void GenerateBottomLevelOctreeNodeList(TQOROctreeNode<int>* node);
    std::vector<TQOROctreeNode<int>*> GetBottomLevelOctreeNodeList() const { return leafList; }
    void RecalculateOctreePolyBounds();
    void RecalculateOctreePolyBoundsRecurse(TQOROctreeNode<int>* node, float* regionMin, float* regionMax);
    void InvalidateOctreeNodeDisplay(TQOROctreeNode<int>* node, bool recurse);
    // [END SECTION] Octree

    // ---- data ----------------------------------------------------------------

    TKSN_Mesh* ownerMesh = nullptr;          // the editable mesh this root belongs to
    TQORPolyMesh* ownerPolyMesh = nullptr;   // the same object seen as a polygon mesh
    bool leanAndMean = false;
    int32_t vertexCount = 0;
    int32_t tVertexCount = 0;
    int32_t polygonCount = 0;
    int32_t vertexNormalCount = 0;           // stored by TQORPolyMesh::Create
    float maxDisplacementReach = 0.0f;
    float* tVertices = nullptr;              // {u, v} × tVertexCount
    float* baseVertices = nullptr;           // float3 × vertexCount, unmorphed
    float* resolvedVertices = nullptr;       // float3 × vertexCount, after morphs
    float* vertexNormals = nullptr;          // float3 × vertexCount
    float* polygonNormals = nullptr;         // float3 × polygonCount
    int32_t* polygonLeafIndex = nullptr;     // per visible polygon: its leaf's position in leafList
    bool arraysBorrowed = false;
    int32_t* vertexPartners[2] = {nullptr, nullptr};   // per direction; −1 no partner
    int32_t* activeVertexPartnerA = nullptr;
    int32_t* activeVertexPartnerB = nullptr;
    int32_t* polygonPartners[2] = {nullptr, nullptr};
    int32_t* activePolygonPartnerA = nullptr;
    int32_t* activePolygonPartnerB = nullptr;
    int32_t symmetryState = 0;               // 0 off, 1 on and flipped, 2 on ("SymmetryDirection")
    int32_t symmetryAxis = 0;                // 0 x, 1 y, 2 z ("SymmetryAxis")
    float symmetryOffset = 0.0f;             // plane position along the axis ("SymmetryOffset")
    float symmetryPrecision = 6.0f;          // decimal digits of the matching tolerance
    bool visibleListsValid = false;
    int32_t visibleVertexCount = 0;
    int32_t* visibleVertices = nullptr;
    int32_t visiblePolygonCount = 0;
    int32_t* visiblePolygons = nullptr;
    int32_t maxOctreeDepth = 2;
    std::unique_ptr<TQOROctreeNode<int>> octreeRoot;
    std::vector<TQOROctreeNode<int>*> leafList;   // bottom-level nodes, depth-first child order
    TQORLookupTable vertexPolygons;
    float invalidMin[3] = {1.0f, 1.0f, 1.0f};     // empty while min > max
    float invalidMax[3] = {-1.0f, -1.0f, -1.0f};
    float boundsDiagonal = 0.0f;
    float boundsMin[3] = {0, 0, 0}, boundsMax[3] = {0, 0, 0};
    float resolvedBoundsMin[3] = {0, 0, 0}, resolvedBoundsMax[3] = {0, 0, 0};
    float transformedBoundsMin[3] = {0, 0, 0}, transformedBoundsMax[3] = {0, 0, 0};
    int32_t cflagStamps[KSN_CFLAG_CHANNELS] = {0, 0, 0};   // 0: not in use since the last resize
    uint8_t* cflagVertices[KSN_CFLAG_CHANNELS] = {nullptr, nullptr, nullptr};
    uint8_t* cflagPolygons[KSN_CFLAG_CHANNELS] = {nullptr, nullptr, nullptr};
    float* originalVertexNormals = nullptr;
    float* displacementDeltas = nullptr;

protected:
    // Frees the three channels' byte arrays and zeroes their stamps.
    void ReleaseCFlags();
    // BuildOctree's steps around the filing of the polygons: a fresh root
    // over the visible vertices, subdivided, with the vertices filed; then
    // the leaf list, the optimisation and cleared flags, without the boxes'
    // fit. A mesh that files its polygons another way builds with these.
    void BeginOctreeBuild();
    void EndOctreeBuild();
    // BeginOctreeBuild's two ends, around the fold of the cell: the old tree
    // dropped and a fresh root over the content bounds; then the root given
    // its cell, planted, subdivided and filled with the visible vertices.
    std::unique_ptr<TQOROctreeNode<int>> StartOctreeRoot();
    void PlantOctreeRoot(std::unique_ptr<TQOROctreeNode<int>> root, const float* cellMin, const float* cellMax);
};

// The leaves under node in depth-first child order (node itself when it is
// one), the order in which the octree's builds and walks meet them.
void KSN_CollectOctreeLeaves(TQOROctreeNode<int>* node, std::vector<TQOROctreeNode<int>*>& leaves);
// Every ancestor of each fitted leaf (fitted[l] set), leaf by leaf in walk
// order, takes the leaf's content and normal boxes, merged with what an
// earlier leaf of the same pass gave it (its BoundsDone); the ancestors of
// keptLeaf also merge with boxes kept from before.
void KSN_MergeLeafBoundsUpward(const std::vector<TQOROctreeNode<int>*>& leaves, const std::vector<uint8_t>& fitted,
                               const TQOROctreeNode<int>* keptLeaf);
