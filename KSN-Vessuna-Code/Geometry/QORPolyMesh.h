// TQORPolyMesh: the indexed polygon mesh, with its polygon records
// (TQORPolygon), their pooled corner arrays, its materials, polygon groups,
// file groups, map bindings and weld map.
//
// A polygon is a small fixed record; its corners ({vertex, texture vertex}
// pairs) live in a corner array of exactly Count corners. Arrays of 1..999
// corners come from PolyPointAllocator, one pool per corner count carving
// fixed slots out of large blocks (a million quads take a hundred blocks, not
// a million allocations); larger arrays (up to 32767 corners, the most the
// 16-bit count holds) come from the general heap. A record remembers which
// kind of array it holds (PointsCapacity), so shortening Count in place never
// returns an array to the wrong place.
//
// Invariants:
// - Every polygon with Count > 0 has a corner array of at least Count corners;
//   no reader ever meets a null array behind a positive count.
// - Every vertex record's WeldMaster is a vertex index of the mesh; the weld
//   map is in force only while Welded is set and IgnoreWelding is clear.
// - Derived data (lookup tables, edges, visible lists, octree, group vertex
//   maps) is disposable: EndEditGeometry and AfterRawBuild rebuild it.
//
// Threads: sizing, filling, editing, rebuilding, the pools and destruction are
// main-thread work; worker threads (normal passes) only read.
#pragma once

#include "KSN_MeshRoot.h"
#include "QORNewStaticList.h"
#include "QORThingy.h"
#include "QORTree.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// ============================================================================
// [SECTION] Polygon records and corner pools
// ============================================================================

struct TQORPolygonPoint {
    int32_t V = -1;    // vertex index (also the normal index)
    int32_t VT = -1;   // texture-vertex index, −1 for none
};

constexpr int QOR_POLYPOINT_POOLS = 1000;          // pools for corner counts 0..999
constexpr int QOR_POLYGON_MAX_CORNERS = 32767;     // the most a 16-bit Count holds

class TQORPolygon {
public:
    TQORPolygon() = default;
    // Does not return the corner array: owners call DestroyPoints first.
    ~TQORPolygon() = default;

    // Initial values; does not return an existing array (fresh records only).
    void Init();
    // Material, Group, Select and LayerFlags only.
    void CopyExceptPoints(const TQORPolygon* src);
    // The record and its own copy of the corners.
    void Copy(const TQORPolygon* src);
    // A fresh array of count corners, every corner {−1, −1}; the old corners
    // are not kept. A count above 32767 is refused with a warning: the polygon
    // is left without corners and false comes back.
    bool SetCount(unsigned count);
    // Returns the corner array; Count keeps its value. Twice does nothing.
    void DestroyPoints();
    // Bytes in the compact polygon blob that carries layer masks.
    int GetTotalBinarySize(bool withLayerFlags) const;

    int16_t Material = -1;     // index into the mesh's material list; −1 none
    int16_t Group = -1;        // index into the mesh's polygon-group list; −1 none
    int16_t Count = 0;         // corners
    TQORPolygonPoint* Points = nullptr;
    float Select = 0.0f;       // resolved selection weight, 0..1
    uint32_t LayerFlags = 0;   // bit k: member of polygon layer k + 1
    // Corner count the array was taken for (its pool, or above 999 the heap);
    // 0 without an array. Kept apart from Count so that code which drops
    // corners in place still returns the array where it came from.
    int16_t PointsCapacity = 0;
};

// One block of a pool: Capacity slots of ItemSize bytes, FreeSlots a stack of
// free slot numbers (a new block hands out 0, 1, 2 ...).
class TQORQuickMemoryList {
public:
    TQORQuickMemoryList(int capacity, int itemSize);
    ~TQORQuickMemoryList();
    TQORQuickMemoryList(const TQORQuickMemoryList&) = delete;
    TQORQuickMemoryList& operator=(const TQORQuickMemoryList&) = delete;

    int32_t Capacity = 0;
    int32_t ItemSize = 0;           // bytes
    uint8_t* Memory = nullptr;
    int32_t* FreeSlots = nullptr;
    int32_t FreeCount = 0;
};

// Address range of a block; A orders before B when A's last byte lies below
// B's start, so looking up {address, 0} finds the block containing it.
struct TQORQuickMemoryList_Key {
    const uint8_t* Start = nullptr;
    uint64_t Length = 0;
    bool operator<(const TQORQuickMemoryList_Key& other) const
    {
        const uint8_t* last = Length ? Start + (Length - 1) : Start;
        return last < other.Start;
    }
};

class TQORQuickMemoryAllocator {
public:
    TQORQuickMemoryAllocator(int blockCapacity, int itemSize);
    ~TQORQuickMemoryAllocator();
    TQORQuickMemoryAllocator(const TQORQuickMemoryAllocator&) = delete;
    TQORQuickMemoryAllocator& operator=(const TQORQuickMemoryAllocator&) = delete;

    // A slot; never null (block memory comes from QORalloc, which does not fail).
    void* Take();
    // False, and nothing done, for an address in no block or a bad slot.
    bool Give(void* item);
    // Frees the blocks with no slot in use; Current = the block with most free slots.
    void Optimize();
    int GetBlockCount() const { return int(Blocks.size()); }

    int32_t BlockCapacity = 0;
    int32_t ItemSize = 0;
    TQORQuickMemoryList* Current = nullptr;
    std::map<TQORQuickMemoryList_Key, TQORQuickMemoryList*> Blocks;   // owned

private:
    void ChooseCurrent();
};

// One pool per corner count 0..999, made before the entry point runs and
// never destroyed.
extern TQORQuickMemoryAllocator* PolyPointAllocator[QOR_POLYPOINT_POOLS];

// Frees every block without a slot in use, in all pools.
void OptimizePolygonMemory();
// The project's idle pass calls it; there is nothing to do.
void PolygonAllocator_Maintenance();

// ============================================================================
// [SECTION] Materials, groups and lists
// ============================================================================

// Materials and map bindings are classes of the materials library
// (QORMaterial.h), which sits above this one; the mesh owns them all the same.
// What the mesh itself does with them goes through this declared interface,
// defined in the materials library: the one link cycle between the two
// libraries is kept to these functions.
class TQORMaterial;
class TQORMaterialMap;
// The item as a material; null for null or any other class.
TQORMaterial* KSN_MaterialFromThingy(TKSN_Thingy* item);
// The material's second name; "" for null.
const char* KSN_GetMaterialSecondName(const TQORMaterial* material);
// Deletes a binding the mesh owns; null does nothing.
void KSN_DeleteMaterialMap(TQORMaterialMap* binding);

// A polygon group with its vertex map (rebuilt by ResolveGroupVertexMaps).
class TQORGroup2 : public virtual TKSN_Thingy {
public:
    TQORGroup2();
    ~TQORGroup2() override;
    // count entries of Vertices 0, Weights 1.0, Shared 0; 0 leaves no arrays.
    void CreateVertexMap(int count);

    int32_t VertexCount = 0;
    bool Flag = true;                 // not used by the mesh
    int32_t* Vertices = nullptr;      // ascending vertex indices
    float* Weights = nullptr;
    uint8_t* Shared = nullptr;        // 1: the vertex is in a group earlier in the list
    void* Pointer = nullptr;          // not used by the mesh
    int32_t Index = -1;               // position in Groups2, set when added
};

// The record of one OBJ file read into the mesh; five (first, last) pairs.
class TQORGroup : public virtual TQORThingy {
public:
    TQORGroup();
    int32_t Ranges[10] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};

template <class T>
class TKSN_Group_List_Wrapper : public TKSN_TopTreeGroup {
public:
    // The item at a top-level position, or null when out of range.
    TKSN_Thingy* GetItem(int index)
    {
        if (!items || index < 0 || index >= items->Count()) return nullptr;
        return (*items)[index];
    }
    // The same as T, or null (out of range or another class). Needs T complete.
    T* GetItemAs(int index) { return dynamic_cast<T*>(GetItem(index)); }
    int GetItemCount() const { return items ? items->Count() : 0; }
};

class TQORMaterialListGroup : public TKSN_Group_List_Wrapper<TQORMaterial> {};
class TQORMaterialList : public TQORMaterialListGroup {};
class TQORGroup2ListGroup : public TKSN_Group_List_Wrapper<TQORGroup2> {};
class TQORGroup2List : public TQORGroup2ListGroup {};

// Plain growable lists with an ID; they never delete their items.
class TQORGroupList : public TQORNewStaticList<TQORGroup*>, public virtual TQORThingy {
public:
    TQORGroupList() : TQORNewStaticList<TQORGroup*>(1) { RegisterForLookup(); }
};
class TQORMaterialMapList : public TQORNewStaticList<TQORMaterialMap*>, public virtual TQORThingy {
public:
    TQORMaterialMapList() : TQORNewStaticList<TQORMaterialMap*>(1) { RegisterForLookup(); }
};

// ============================================================================
// [SECTION] Polygon mesh
// ============================================================================

// Flag bits of PolygonFlags and of the vertex records' Flags.
enum : uint32_t {
    QORPoly_Hidden = 0x1,
    QORPoly_Custom = 0x2,             // scratch mark; never survives between operations
    QORPoly_Locked = 0x4,
    QORPoly_Changed = 0x8,            // polygons
    QORVertex_OpenEdge = 0x80,        // vertices
    QORVertex_SymmetryPlane = 0x800,  // vertices
    QORVertex_TextureSeam = 0x4000,   // vertices
};

struct TQORVertexInfo {
    float Select = 0.0f;      // resolved selection weight
    uint32_t Flags = 0;
    int32_t WeldMaster = 0;   // the vertex itself when not welded
};

// [SECTION] Edges (record)
struct TQORPolygonEdge {
    bool Mark = false;
    int32_t V1 = -1;               // smaller vertex index
    int32_t V2 = -1;               // larger vertex index
    int32_t SideA[2] = {-1, -1};   // texture vertices at V1, V2 of the first polygon
    int32_t SideB[2] = {-1, -1};   // the other side of a seam; equal to SideA otherwise
    int32_t PolygonSlots[4] = {-1, -1, -1, -1};
    // The texture vertices across the edge from a polygon that has ownVtFirst
    // at first and ownVtSecond at the other end; second is not used.
    void GetOppositeVTs(int& vtFirst, int& vtSecond, int first, int second, int ownVtFirst, int ownVtSecond) const;
};
// [END SECTION] Edges (record)

class TQORPolyMesh : public TKSN_MeshRoot {
public:
    TQORPolyMesh();
    ~TQORPolyMesh() override;

    // ---- overrides of the mesh root ----------------------------------------
    uint32_t GetPolyLayerFlags(int poly) override { return Polygons[poly].LayerFlags; }
    bool TestPolyLayerFlag(int poly, uint32_t mask) override { return (Polygons[poly].LayerFlags & mask) != 0; }

    // [SECTION] Normals
    void RecalculatePolyNormal(int polygon) override;
    void RecalculateVertexNormal(int vertex) override;
    void RecalculateNormals(bool visibleOnly) override;
    // [END SECTION] Normals

    int vGetPolyV(int poly, int corner) override
    {
        int v = Polygons[poly].Points[corner].V;
        // A corner naming no vertex (mid-edit) is handed back as it is, for the
        // caller to skip, never looked up in the weld map.
        return (Welded && !IgnoreWelding && v >= 0 && v < vertexCount) ? VertexInfo[v].WeldMaster : v;
    }
    int vGetPolyVT(int poly, int corner) override { return Polygons[poly].Points[corner].VT; }
    int vGetPolyVN(int poly, int corner) override { return Polygons[poly].Points[corner].V; }
    int vGetPolyM(int poly) override { return Polygons[poly].Material; }
    int vGetPolyN(int poly) override { return Polygons[poly].Count; }
    bool IsPolyHidden(int poly) override { return (PolygonFlags[poly] & QORPoly_Hidden) != 0; }
    bool IsPolyLocked(int poly) override { return (PolygonFlags[poly] & QORPoly_Locked) != 0; }
    bool IsPolyLockedOrHidden(int poly) override { return (PolygonFlags[poly] & (QORPoly_Hidden | QORPoly_Locked)) != 0; }
    void SetCustomPFlagToTrue(int poly) override { PolygonFlags[poly] |= QORPoly_Custom; }
    void SetCustomPFlagToFalse(int poly) override { PolygonFlags[poly] &= ~uint32_t(QORPoly_Custom); }
    bool GetCustomPFlag(int poly) override { return (PolygonFlags[poly] & QORPoly_Custom) != 0; }

    // [SECTION] Visible lists
    void BuildVisiblePolygons(bool all) override;
    // [END SECTION] Visible lists

    float GetResolvedPSelect(int poly) override { return Polygons[poly].Select; }
    float GetResolvedVSelect(int vertex) override { return VertexInfo[vertex].Select; }

    // [SECTION] Octree
    // Keeps the tree and refits its boxes to the current geometry (builds one when missing).
    void OctreeBoundsChanged() override;
    void BuildOctree() override;
    // True when the node is culled for the viewport: out of view (testView),
    // facing away (testDirection) or, projected, off the rectangle rectMin..
    // rectMax grown by 0.01 (testRectangle, normalised screen). toObjectSpace:
    // the node's boxes are taken back through the mesh transform and widened
    // across the symmetry plane first, so a node whose mirror image is in view
    // is kept. The editable mesh inherits these per-leaf queries.
    bool CullOctreeNode(TKSN_Viewport* viewport, TQOROctreeNode<int>* node, bool testView, bool testDirection,
                        bool testRectangle, float* rectMin, float* rectMax, bool toObjectSpace);
    // Clears the leaves' changed marks (0x40000, 0x80000) and, when polygons
    // were marked changed, every polygon's changed bit.
    void ClearChangedPolygonFlags();
    // Sets 0x10000 on the leaves holding a polygon or vertex weighted above 1e-30.
    void UpdateOctreeSelectedFlags();
    bool PolygonsMarkedChanged = false;   // some polygon carries QORPoly_Changed
    // [END SECTION] Octree

    void AfterRawBuild() override;
    void SetVertexCount(int count) override;
    void SetTVertexCount(int count) override;
    void SetPolygonCount(int count) override;

    // ---- operations the polygon mesh introduces (virtual, in slot order) ---

    // [SECTION] Normals
    virtual void RecalculatePolyNormals(bool visibleOnly);
    virtual void RecalculateVertexNormals(bool visibleOnly);
    // [END SECTION] Normals

    // Welding. UpdateWeldedVertices copies each master's base position onto
    // its duplicates, then UpdateWeldedFlags copies the flag words.
    virtual void UpdateWeldedVertices();
    virtual void UpdateWeldedFlags();
    // Every vertex its own master again; tables rebuilt.
    virtual void Unweld();
    // Corners re-pointed to their masters; Welded cleared, duplicates kept.
    virtual void MakeWeldingpermanent();
    // Sizes the mesh in one call with this class's own resizers.
    virtual void Create(int vertexCount, int tvertexCount, int normalCount, int polygonCount);
    virtual void CleanPolygons() {}
    virtual void BeginEditGeometry() {}
    // Rebuilds the derived data after a topology edit.
    virtual void EndEditGeometry();

    // ---- non-virtual -----------------------------------------------------

    // Whole-array copies; false and nothing copied unless count equals the mesh's own count.
    bool GetBaseVertexArray(float* out, int count);
    bool SetBaseVertexArray(const float* in, int count);
    bool GetResolvedVertexArray(float* out, int count);
    bool SetResolvedVertexArray(const float* in, int count);
    bool GetTVertexArray(float* out, int count);
    bool SetTVertexArray(const float* in, int count);
    void CopyBaseVerticesToResolvedVertices();
    void ClearResolvedVertices();

    // Frees SeparateNormals, the visible lists and the edges, and discards the octree.
    void DestroySupplementaryDataStructures();
    // Empties the polygon-neighbour and texture-vertex tables (idle pass).
    void CleanAllSupplementaryStructures();

    // Materials and groups.
    TQORMaterial* FindMaterial(const char* name);                          // exact case
    int FindMaterialIndex(const char* name, const char* secondName = nullptr);   // any case; −1 none
    void MakeGroupNamesUnique();
    void ResolveGroupVertexMaps();

    // Transform and bounds.
    void GenerateTotalMatrix();
    void CalculateBounds();
    // The point folded onto the kept side of the symmetry plane (3 floats to out).
    void GetSymmetricBaseVertex_NewStyle(int vertex, float* out);
    void GetSymmetricResolvedVertex_NewStyle(int vertex, float* out);
    void GetSymmetricResolvedPolyCentre_NewStyle(int polygon, float* out);

    // The vertex of a corner as the topology sees it (weld master when welded).
    int GetEffectiveVertex(int v) const { return (Welded && !IgnoreWelding) ? VertexInfo[v].WeldMaster : v; }

    // [SECTION] Edges
    void BuildTVertexPolygons();
    void CleanPolygonNeighbors();
    void BuildPolygonNeighbors();
    // Also sets the open-edge and seam bits as CalculateOpenEdges does, in
    // the same walk, when withOpenEdges is set.
    void BuildPolygonEdges(bool withOpenEdges = false);
    void BuildEdgePolygonsTable();
    void CalculateOpenEdges();
    bool CountPolyonPointNeighbors(int polygon, int vertex, int* counts);
    bool EnumeratePolyonPointNeighbors(int polygon, int vertex, int* counts);
    // [END SECTION] Edges

    // [SECTION] Visible lists (texture-coordinate utilities)
    void FixUVMapping();
    void NormalizeUVs(const float* margin, bool markedOnly);
    void SetActiveUVWs(int viewport);
    // [END SECTION] Visible lists

    // ---- data ----------------------------------------------------------------

    TQORPolygon* Polygons = nullptr;                 // polygonCount records
    float* ViewportUVWs[4] = {nullptr, nullptr, nullptr, nullptr};   // 3 floats per vertex
    TQORLookupTable PolygonNeighbors;                // per polygon, polygons sharing a vertex
    TQORLookupTable TVertexPolygons;                 // per texture vertex, polygons using it
    TQORVertexInfo* VertexInfo = nullptr;            // vertexCount records
    uint32_t* PolygonFlags = nullptr;                // polygonCount flag words

    // [SECTION] Edges (data)
    // Bucket order (ascending V1); every edge is written in full where it is
    // built, so sizing the list does not zero it.
    std::vector<TQORPolygonEdge, TQORUninitAllocator<TQORPolygonEdge>> Edges;
    int32_t EdgeCount = 0;
    TQORLookupTable EdgePolygons;                    // per edge, its polygons
    // Per vertex v (and one past the last): the edges with V1 = v are
    // Edges[EdgeRowStart[v] .. EdgeRowStart[v + 1]), the index from a vertex
    // pair to its edge.
    std::vector<int32_t> EdgeRowStart;
    // [END SECTION] Edges (data)

    bool TotalMatrixIsIdentity = true;
    bool LinearMatrixIsIdentity = true;
    float TotalMatrix[16];
    float RotationMatrix[16];          // "Transform_RotationMatrix"
    float LinearMatrix[16];
    float InverseTotalMatrix[16];
    float InverseRotationMatrix[16];
    float InverseLinearMatrix[16];
    float Transform_Scale[3] = {1.0f, 1.0f, 1.0f};
    float Transform_Pos[3] = {0.0f, 0.0f, 0.0f};
    TQORMaterialMapList* MaterialMaps = nullptr;     // owned, with its bindings
    uint32_t VisibleLayerMask = 0;
    uint32_t UsedLayerMask = 0;
    int32_t FileVertexCount = 0;                     // "vcount", "vtcount", "pcount" of the mesh block
    int32_t FileTVertexCount = 0;
    int32_t FilePolygonCount = 0;
    bool Welded = false;
    bool IgnoreWelding = false;
    TQORGroup2List* Groups2 = nullptr;               // owned, with its groups
    std::string MaterialLibrary;
    TQORMaterialList* Materials = nullptr;           // owned, with its materials
    TQORGroupList* Groups = nullptr;                 // owned, with its file groups
    float* SeparateNormals = nullptr;                // only when Create got another normal count
    int32_t SeparateNormalCount = 0;
};
