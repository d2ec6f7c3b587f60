// The octree node of a mesh root and the walker that lists its nodes and vertices.
//
// A node's cell (CubeMin..CubeMax) is one octant of its parent's cell, split at
// the parent's centre; Subdivide builds the regular cells only and files no
// items. After the mesh root's build each node owns one contiguous slice of the
// root's visible-vertex list (VertexBegin <= k < VertexEnd) and of its
// visible-polygon list (PolygonBegin <= k < PolygonEnd), −1 when unset, and its
// content box is fitted to the resolved positions of its polygons.
//
// Invariants:
// - A node has either all eight children (bit 0x2 set) or none; pruning by the
//   mesh root may later delete children and clear the bit, so every walk skips
//   empty child slots.
// - Children are visited 0 to 7 everywhere (the child order below).
// - A node owns its display list, its temporary item lists and its subtree.
//
// Child order (c = centre of the cell; "low" is min..c, "high" c..max):
//   child  0    1    2    3    4    5    6    7
//   x      low  high high low  low  high high low
//   y      low  low  high high low  low  high high
//   z      low  low  low  low  high high high high
//
// Threads: building, pruning and destroying a tree run on the main thread after
// the viewport-dependent background work was cancelled. The walker only reads
// the tree, the visible-vertex list and the matrix, so the polygon culler's
// thread may walk while nothing changes the tree.
#pragma once

#include "KSN_QuickRenderData.h"
#include "QORGL.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TKSN_MeshRoot;
class TKSN_Viewport;

// Node flags (Flags). 0x2 belongs to the node; the others to the mesh root and the renderer.
enum : uint32_t {
    QOROctree_HasChildren = 0x2,
    QOROctree_Selected = 0x10000,          // an item of the node carries a selection weight above 1e-30
    QOROctree_DisplayChanged = 0x40000,    // set by selection and painting code
    QOROctree_DisplayChanged2 = 0x80000,   // second changed mark, cleared together with the first
    QOROctree_DisplacementValid = 0x100000 // displacement offsets of the node's vertices are current
};

// Appends to a temporary item list of a build. A full list of n items grows by
// n clamped to 2..10000, so that a leaf holding a large part of a big mesh does
// not grow in tiny steps nor reserve far more than it needs.
void QOROctree_AppendTempItem(std::vector<int32_t>& list, int32_t item);

template <class T>
class TQOROctreeNode {
public:
    using TOnDestroy = void (*)(TQOROctreeNode<T>* node);

    TQOROctreeNode() = default;
    virtual ~TQOROctreeNode();
    TQOROctreeNode(const TQOROctreeNode&) = delete;
    TQOROctreeNode& operator=(const TQOROctreeNode&) = delete;

    // Builds the regular subtree down to maxDepth (a node at or below maxDepth
    // becomes a leaf), depth-first in child order. Any existing children are
    // replaced.
    void Subdivide(int maxDepth);

    bool HasChildren() const { return (Flags & QOROctree_HasChildren) != 0; }
    // Deletes the children with their subtrees and clears bit 0x2.
    void MakeLeaf();

    std::unique_ptr<TKSN_glDisplayList> DisplayList; // compiled drawing of the node's polygons
    bool BoundsDone = false;                         // boxes already hold a value during a bottom-up fit
    std::vector<T> TempVertices;                     // items filed here during a build; emptied after it
    std::vector<T> TempPolygons;
    TOnDestroy OnDestroy = nullptr;                  // inherited by children made by Subdivide
    int32_t Depth = 0;                               // 0 at the root
    int32_t RendererIndex = -1;                      // kept per node by the mesh root and the renderer
    uint32_t Flags = 0;
    TQOROctreeNode<T>* Parent = nullptr;
    std::array<std::unique_ptr<TQOROctreeNode<T>>, 8> Children;
    TKSN_MeshRoot* Owner = nullptr;
    float ContentMin[3] = {0, 0, 0}, ContentMax[3] = {0, 0, 0}; // around the geometry (resolved positions)
    float CubeMin[3] = {0, 0, 0}, CubeMax[3] = {0, 0, 0};       // the cell
    float NormalMin[3] = {0, 0, 0}, NormalMax[3] = {0, 0, 0};   // around the polygons' normals
    uint32_t RendererStamp = 0;                      // kept per node by the mesh root and the renderer
    int32_t PolygonBegin = -1, PolygonEnd = -1;      // slice of the visible-polygon list
    int32_t VertexBegin = -1, VertexEnd = -1;        // slice of the visible-vertex list

    int32_t GetVertexCount() const { return VertexEnd - VertexBegin; }
    int32_t GetPolygonCount() const { return PolygonEnd - PolygonBegin; }
};

extern template class TQOROctreeNode<int>;

// Clears BoundsDone on the node and every node below it; null does nothing.
void ClearOctreeFlags(TQOROctreeNode<int>* node);

// Lists the nodes of one mesh's octree whose content boxes, projected through
// a viewport's matrix, meet a range of normalised device coordinates, and
// hands out their vertex indices one by one. Callers make one per walk:
//   TKSN_OctreeParserInfo p; p.Init(mesh, viewport); p.Mode = 1;
//   p.SetupUVRangeTest(true, true, min, max);   // min/max in −1..1
//   for (bool ok = p.GetFirstVertex(v); ok; ok = p.GetNextVertex(v)) ...
class TKSN_OctreeParserInfo {
public:
    TKSN_OctreeParserInfo();

    void Init(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport);
    // Gives the range box, or narrows it to its intersection with the new one.
    // A false flag never clears one set earlier.
    void SetupUVRangeTest(bool rangeTest, bool second, const float* min, const float* max);
    // Appends the chosen nodes of the subtree to NodeList, depth-first in child order.
    void GenerateOctreeNodeList_Recurse(TQOROctreeNode<int>* node);
    // The vertex walk: true with the next vertex (an entry of the mesh's
    // visible-vertex list), or false when none is left; a call after the end
    // starts again. GetFirstVertex builds a missing tree, which only the main
    // thread may do: the culler builds its trees before its thread walks.
    bool GetFirstVertex(int& vertex);
    bool GetNextVertex(int& vertex);

    std::vector<TQOROctreeNode<int>*> NodeList;
    size_t Cursor = 0;
    size_t ListBegin = 0, ListEnd = 0; // captured when a walk starts
    int32_t Index = 0, Count = 0;      // position in, and length of, the current node's vertex slice
    TQOROctreeNode<int>* CurrentNode = nullptr;
    bool RangeSet = false;
    bool RangeTest = false;
    bool RangeSecond = false;          // recorded, not used by the walks
    float RangeMin[3] = {1e30f, 1e30f, 1e30f};
    float RangeMax[3] = {0, 0, 0};     // only x and y take part in the test
    int32_t Threshold = 0;             // count at or below which a node is listed whole; 0 lists leaves only
    float Matrix[16] = {};             // object space to normalised device coordinates, row vectors
    int32_t Mode = 0;                  // 0 vertices and polygons, 1 vertices, 2 polygons
    TKSN_MeshRoot* Mesh = nullptr;
    TKSN_Viewport* Viewport = nullptr;

private:
    // From the cursor on, the first listed node with a vertex; false at the end.
    bool StartAtCursor(int& vertex);
};

// [SECTION] Viewport services
//
// The walker and the culling test need a few answers of a viewport, whose
// class belongs to the viewport subsystem above geometry; that subsystem
// registers them at start-up. An unset entry answers conservatively: the
// identity matrix, "may be in view", "may face the viewer".
struct TKSN_ViewportOctreeServices {
    // Model-view times projection, row vectors (object space to normalised device coordinates).
    const float* (*CombinedMatrix)(TKSN_Viewport* viewport) = nullptr;
    // Object space to normalised screen, used by the culling test's rectangle.
    const float* (*ProjectionMatrix)(TKSN_Viewport* viewport) = nullptr;
    // False only when the box, grown by margin, lies wholly outside one view-volume plane.
    bool (*CubeInView)(TKSN_Viewport* viewport, float* min, float* max, float margin) = nullptr;
    // True when polygons with normals in the box may face the viewer.
    bool (*NormalsMayFaceViewer)(TKSN_Viewport* viewport, float* normalMin, float* normalMax) = nullptr;
};
void KSN_SetViewportOctreeServices(const TKSN_ViewportOctreeServices& services);
const TKSN_ViewportOctreeServices& KSN_GetViewportOctreeServices();

// [SECTION] Displacement validation
//
// The record that carries a material's displacement map between leaves is the
// quick render's (KSN_QuickRenderData.h): its Displacement slot.

// Work of the last ValidateAllInOSpace.
extern int32_t TotalValidatedNodes;
extern int32_t TotalValidatedVertices;

// Steps of the mesh root's octree (KSN_MeshRoot_Octree.cpp).
// A node holding fewer than minimumVertices vertices becomes a leaf; others pass it on to their children.
void OptimizeOctreeForDynamicDepth(TQOROctreeNode<int>* node, int minimumVertices);
void DestroyOctreeTempLists(TQOROctreeNode<int>* node);
// Invalidates the display data of every node whose cell meets min..max (touching counts).
void InvalidateCubeInOSpace_Octree_Recurse(TQOROctreeNode<int>* node, const float* min, const float* max);
// Computes the displacement offsets of the vertices of every leaf below node
// whose offsets are not valid; data carries the current material's
// displacement map between leaves (currentMaterial: its index, −1 at first).
void ValidateDisplacementDeltas(TKSN_MeshRoot* root, TQOROctreeNode<int>* node, TKSN_QuickRenderData& data,
                                int& currentMaterial);
