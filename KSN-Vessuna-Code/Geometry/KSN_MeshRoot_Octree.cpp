// The mesh root's octree: build, pruning, item slices, content-box fitting,
// display invalidation by object-space box and displacement validation.
//
// After a build the visible-vertex and visible-polygon lists are permuted into
// leaf order, so every node owns one contiguous slice of each. Polygons belong
// to the first leaf, depth-first in child order, that holds one of their
// vertices. Every index read from the mesh (list entries, corners, table rows)
// is checked against the current counts before use, so a list that went stale
// cannot send the build or the walkers outside an array.
//
// [Index]
//   [Build]          BuildOctree, filing vertices and polygons, leaf list
//   [Optimisation]   item slices, pruning, polygon-to-leaf links
//   [Bounds]         content and normal boxes
//   [Invalidation]   display data by box
//   [Validation]     displacement offsets from displacement maps
#include "KSN_MeshRoot.h"
#include "KSN_OctreeLeafBoxes.h"

#include "QOROctree_Internal.h"

#include "KSN_ParallelBlocks.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>

int32_t TotalValidatedNodes = 0;
int32_t TotalValidatedVertices = 0;

namespace {

bool InRange(int index, int count) { return index >= 0 && index < count; }

// The polygons of a vertex's row of the vertex-to-polygon table, or an empty
// row when the table does not match the vertices.
struct TRow {
    const int* items = nullptr;
    int count = 0;
};
TRow VertexPolygonRow(const TKSN_MeshRoot& root, int vertex)
{
    if (!InRange(vertex, root.vertexPolygons.GetRowCount())) return {};
    const int* row = root.vertexPolygons[vertex];
    if (!row) return {};
    return {row + 1, std::max(row[0], 0)};
}

// The corners of one polygon, from the mesh's flat corner table when it has
// one, else through the virtual accessors; either way the same corners in the
// same order.
class TCornerReader {
public:
    explicit TCornerReader(TKSN_MeshRoot& root) : Root(root), Table(root.GetQuadCornerTable(Stride)) {}
    template <class Visit>
    void ForEach(int polygon, Visit&& visit) const
    {
        if (Table) {
            const int32_t* c = Table + size_t(polygon) * size_t(Stride);
            const int n = c[2] == c[3] ? 3 : 4;
            for (int k = 0; k < n; ++k) visit(int(c[k]));
            return;
        }
        const int n = Root.vGetPolyN(polygon);
        for (int k = 0; k < n; ++k) visit(Root.vGetPolyV(polygon, k));
    }

private:
    TKSN_MeshRoot& Root;
    int Stride = 0;
    const int32_t* Table = nullptr;
};

// The walks over a leaf's vertices meet their rows in no particular order of
// memory: the row of a vertex a few places ahead is asked for early.
constexpr int kRowLookAhead = 8;
void PrefetchRow(const TKSN_MeshRoot& root, int vertex)
{
    if (InRange(vertex, root.vertexPolygons.GetRowCount())) __builtin_prefetch(root.vertexPolygons[vertex]);
}

}  // namespace

void KSN_CollectOctreeLeaves(TQOROctreeNode<int>* node, std::vector<TQOROctreeNode<int>*>& leaves)
{
    if (!node) return;
    if (!node->HasChildren()) {
        leaves.push_back(node);
        return;
    }
    for (auto& child : node->Children) KSN_CollectOctreeLeaves(child.get(), leaves);
}

void KSN_MergeLeafBoundsUpward(const std::vector<TQOROctreeNode<int>*>& leaves, const std::vector<uint8_t>& fitted,
                               const TQOROctreeNode<int>* keptLeaf)
{
    for (size_t l = 0; l < leaves.size(); ++l) {
        if (!fitted[l]) continue;
        const TQOROctreeNode<int>* leaf = leaves[l];
        const bool keep = leaf == keptLeaf;
        for (TQOROctreeNode<int>* a = leaf->Parent; a; a = a->Parent) {
            const bool merge = a->BoundsDone || keep;
            for (int i = 0; i < 3; ++i) {
                a->ContentMin[i] = merge ? std::min(a->ContentMin[i], leaf->ContentMin[i]) : leaf->ContentMin[i];
                a->ContentMax[i] = merge ? std::max(a->ContentMax[i], leaf->ContentMax[i]) : leaf->ContentMax[i];
                a->NormalMin[i] = merge ? std::min(a->NormalMin[i], leaf->NormalMin[i]) : leaf->NormalMin[i];
                a->NormalMax[i] = merge ? std::max(a->NormalMax[i], leaf->NormalMax[i]) : leaf->NormalMax[i];
            }
            a->BoundsDone = true;
        }
    }
}

// [Build] ---------------------------------------------------------------------

void TKSN_MeshRoot::BuildOctree()
{
    if (vertexPolygons.GetRowCount() != vertexCount) BuildVertexPolygons();
    BeginOctreeBuild();
    AddPolygonsToOctree(octreeRoot.get());
    EndOctreeBuild();
    RecalculateOctreePolyBoundsRecurse(octreeRoot.get(), nullptr, nullptr);
}

void TKSN_MeshRoot::BeginOctreeBuild()
{
    auto root = StartOctreeRoot();

    // The cell is made from the base positions of the visible vertices only.
    const int visibleVertexTotal = GetVisibleVertexCount();
    bool any = false;
    float cellMin[3] = {0, 0, 0}, cellMax[3] = {0, 0, 0};
    for (int i = 0; i < visibleVertexTotal; ++i) {
        const int v = visibleVertices[i];
        if (!InRange(v, vertexCount)) continue;
        const float* p = baseVertices + 3 * size_t(v);
        for (int a = 0; a < 3; ++a) {
            cellMin[a] = any ? std::min(cellMin[a], p[a]) : p[a];
            cellMax[a] = any ? std::max(cellMax[a], p[a]) : p[a];
        }
        any = true;
    }

    for (int i = 0; i < visiblePolygonCount; ++i)
        if (InRange(visiblePolygons[i], polygonCount)) SetCustomPFlagToFalse(visiblePolygons[i]);

    PlantOctreeRoot(std::move(root), cellMin, cellMax);
}

std::unique_ptr<TQOROctreeNode<int>> TKSN_MeshRoot::StartOctreeRoot()
{
    KSN_CancelViewportDependentWork();
    QORfree(polygonLeafIndex);
    polygonLeafIndex = nullptr;
    leafList.clear();

    auto root = std::make_unique<TQOROctreeNode<int>>();
    root->Owner = this;
    std::copy_n(boundsMin, 3, root->ContentMin);
    std::copy_n(boundsMax, 3, root->ContentMax);
    return root;
}

void TKSN_MeshRoot::PlantOctreeRoot(std::unique_ptr<TQOROctreeNode<int>> root, const float* cellMin,
                                    const float* cellMax)
{
    std::copy_n(cellMin, 3, root->CubeMin);
    std::copy_n(cellMax, 3, root->CubeMax);
    octreeRoot = std::move(root);
    octreeRoot->Subdivide(maxOctreeDepth);
    AddVerticesToOctree(octreeRoot.get());
}

void TKSN_MeshRoot::EndOctreeBuild()
{
    // Entries of polygons that no leaf holds are never read; −1 keeps them harmless.
    if (polygonCount > 0) {
        polygonLeafIndex = static_cast<int32_t*>(QORalloc(uint64_t(polygonCount) * sizeof(int32_t)));
        std::fill_n(polygonLeafIndex, polygonCount, -1);
    }
    GenerateBottomLevelOctreeNodeList(octreeRoot.get());
    OptimizeOctree();
    ClearOctreeFlags(octreeRoot.get());
}

namespace {

// The tree as flat arrays for the descent of every vertex: the inner nodes
// (those with children) in one small array, the leaves in another; a child
// reference is an inner index, or ~leaf index for a leaf. For an inner node
// whose eight cells each take on every axis exactly the low cell's (child 0)
// or the high cell's (child 6) interval, the child a point goes to is looked
// up from which of the two intervals hold it on each axis, instead of testing
// eight boxes. The tests are the same comparisons on the same values, so the
// cell chosen is the same.
using TFloat4 = float __attribute__((vector_size(16)));
using TInt4 = int __attribute__((vector_size(16)));

// The lanes (x, y, z) where !(p > top) and !(p < bottom), as bits 0..2: the
// box test's comparisons, made four at a time (a NaN compares false, so it
// counts as inside, as in the box test).
inline unsigned LanesInside(TFloat4 p, TFloat4 bottom, TFloat4 top)
{
    const TInt4 inside = ~(p > top) & ~(p < bottom);
    return unsigned(__builtin_ia32_movmskps(TFloat4(inside))) & 7u;
}

struct TInnerNode {
    // The interval ends with the box test's tolerance applied, per axis (the
    // fourth lane unused): a point is in the low interval when
    // !(p > LowTop) and !(p < LowBottom), in the high one likewise.
    TFloat4 LowBottom = {}, LowTop = {}, HighBottom = {}, HighTop = {};
    int32_t Child[8] = {};   // read only for children that exist
    bool Regular = false;
    uint8_t Picks = 0;       // which table of TFlatTree::PickTables
};

struct TFlatTree {
    std::vector<TInnerNode> Inner;
    std::vector<TQOROctreeNode<int>*> InnerNodes;   // beside Inner: only the slow path reads them
    std::vector<TQOROctreeNode<int>*> Leaves;
    // For a regular node, by which intervals hold the point (bits 0..2 the
    // low ones on x, y, z, bits 3..5 the high ones): the first child whose
    // cell holds it, or -1. One table per pattern of which child takes which
    // interval; every node the octree's Subdivide makes has the same.
    std::vector<std::array<int8_t, 64>> PickTables;
    std::vector<std::array<uint8_t, 8>> Patterns;

    // The reference of node: its inner index, or ~leaf index.
    int32_t Add(TQOROctreeNode<int>* node)
    {
        if (!node->HasChildren()) {
            Leaves.push_back(node);
            return ~int32_t(Leaves.size() - 1);
        }
        const int32_t index = int32_t(Inner.size());
        Inner.emplace_back();
        InnerNodes.push_back(node);
        MarkRegular(index);
        for (int k = 0; k < 8; ++k)
            if (TQOROctreeNode<int>* child = node->Children[size_t(k)].get()) {
                const int32_t c = Add(child);
                Inner[size_t(index)].Child[k] = c;
            }
        return index;
    }

    void MarkRegular(int32_t index)
    {
        const TQOROctreeNode<int>* node = InnerNodes[size_t(index)];
        const TQOROctreeNode<int>* low = node->Children[0].get();
        const TQOROctreeNode<int>* high = node->Children[6].get();
        if (!low || !high) return;
        std::array<uint8_t, 8> side{};
        for (int k = 0; k < 8; ++k) {
            const TQOROctreeNode<int>* child = node->Children[size_t(k)].get();
            if (!child) return;
            for (int a = 0; a < 3; ++a) {
                auto same = [&](const TQOROctreeNode<int>* other) {
                    return std::memcmp(&child->CubeMin[a], &other->CubeMin[a], sizeof(float)) == 0 &&
                           std::memcmp(&child->CubeMax[a], &other->CubeMax[a], sizeof(float)) == 0;
                };
                if (same(low)) continue;
                if (!same(high)) return;
                side[size_t(k)] |= uint8_t(1u << a);
            }
        }
        size_t pattern = 0;
        while (pattern < Patterns.size() && Patterns[pattern] != side) ++pattern;
        if (pattern == Patterns.size()) {
            if (pattern >= 255) return;
            Patterns.push_back(side);
            std::array<int8_t, 64> pick{};
            for (unsigned mask = 0; mask < 64; ++mask) {
                const unsigned lowHolds = mask & 7u, highHolds = mask >> 3;
                pick[mask] = -1;
                for (int k = 0; k < 8; ++k)
                    if (((highHolds & side[size_t(k)]) | (lowHolds & ~unsigned(side[size_t(k)]) & 7u)) == 7u) {
                        pick[mask] = int8_t(k);
                        break;
                    }
            }
            PickTables.push_back(pick);
        }
        TInnerNode& f = Inner[size_t(index)];
        for (int a = 0; a < 3; ++a) {
            f.LowBottom[a] = low->CubeMin[a] - 1e-30f;
            f.LowTop[a] = low->CubeMax[a] + 1e-30f;
            f.HighBottom[a] = high->CubeMin[a] - 1e-30f;
            f.HighTop[a] = high->CubeMax[a] + 1e-30f;
        }
        f.Picks = uint8_t(pattern);
        f.Regular = true;
    }
};

}  // namespace

void TKSN_MeshRoot::AddVerticesToOctree(TQOROctreeNode<int>* node)
{
    if (!node) return;
    TFlatTree tree;
    const int32_t root = tree.Add(node);
    // The descent of each vertex reads only the tree, so the cells are found
    // in parallel; filing them stays in list order. A descent that finds no
    // child to enter stays at an inner node (its reference kept as inner).
    const int count = visibleVertexCount;
    constexpr int32_t kNone = INT32_MIN;
    std::vector<int32_t> cellOf(size_t(std::max(count, 0)), kNone);
    // One step down from inner node at: the child reference, or at itself
    // when the node has no child at all (the point is filed there).
    auto step = [&](int32_t at, const float* p) -> int32_t {
        const TInnerNode& f = tree.Inner[size_t(at)];
        int chosen = -1;
        if (f.Regular) {
            // Both comparisons always made and the child looked up, so that
            // no branch depends on the point.
            const TFloat4 q = {p[0], p[1], p[2], 0.0f};
            const unsigned mask = LanesInside(q, f.LowBottom, f.LowTop) | LanesInside(q, f.HighBottom, f.HighTop) << 3;
            chosen = tree.PickTables[f.Picks][mask];
            if (chosen >= 0) return f.Child[chosen];
        }
        const TQOROctreeNode<int>* node = tree.InnerNodes[size_t(at)];
        if (!f.Regular)
            for (int k = 0; k < 8; ++k) {
                const TQOROctreeNode<int>* child = node->Children[size_t(k)].get();
                if (child && QOROctreeBoxes::BoxPointCollision3(p, child->CubeMin, child->CubeMax)) {
                    chosen = k;
                    break;
                }
            }
        if (chosen < 0) {
            // Outside every cell (rounding at the root's faces): the nearest centre, lower index on ties.
            float best = 0;
            for (int k = 0; k < 8; ++k) {
                const TQOROctreeNode<int>* child = node->Children[size_t(k)].get();
                if (!child) continue;
                float d = 0;
                for (int a = 0; a < 3; ++a) {
                    const float c = (child->CubeMin[a] + child->CubeMax[a]) * 0.5f;
                    d += (p[a] - c) * (p[a] - c);
                }
                if (chosen < 0 || d < best) {
                    chosen = k;
                    best = d;
                }
            }
        }
        return chosen < 0 ? at : f.Child[chosen];
    };
    // Eight vertices go down side by side, so that their chains of
    // comparisons and look-ups overlap instead of waiting on each other.
    auto descend = [&](size_t first, size_t end) {
        constexpr int kLanes = 8;
        for (size_t i0 = first; i0 < end; i0 += kLanes) {
            const int lanes = int(std::min<size_t>(kLanes, end - i0));
            const float* p[kLanes];
            int32_t at[kLanes];
            bool going[kLanes];
            for (int j = 0; j < lanes; ++j) {
                const int v = visibleVertices[i0 + size_t(j)];
                going[j] = InRange(v, vertexCount);
                p[j] = going[j] ? baseVertices + 3 * size_t(v) : nullptr;
                at[j] = going[j] ? root : kNone;
                going[j] = going[j] && root >= 0;
            }
            for (bool any = true; any;) {
                any = false;
                for (int j = 0; j < lanes; ++j) {
                    if (!going[j]) continue;
                    const int32_t next = step(at[j], p[j]);
                    going[j] = next >= 0 && next != at[j];
                    at[j] = next;
                    any = any || going[j];
                }
            }
            for (int j = 0; j < lanes; ++j) cellOf[i0 + size_t(j)] = at[j];
        }
    };
    KSN_RunInBlocks(cellOf.size(), 16384, descend);
    // Filed leaf by leaf through one array sorted by leaf (stable, so each
    // leaf's vertices keep list order), then appended to each leaf's list
    // in one go: no walk from list to list for every vertex.
    std::vector<int32_t> start(tree.Leaves.size() + 1, 0);
    for (const int32_t at : cellOf)
        if (at != kNone && at < 0) ++start[size_t(~at) + 1];
    for (size_t l = 0; l < tree.Leaves.size(); ++l) start[l + 1] += start[l];
    std::vector<int32_t> sorted(size_t(start.back()));
    {
        std::vector<int32_t> cursor(start.begin(), start.end() - 1);
        for (int i = 0; i < count; ++i) {
            const int32_t at = cellOf[size_t(i)];
            if (at == kNone) continue;
            if (at >= 0)
                tree.InnerNodes[size_t(at)]->TempVertices.push_back(visibleVertices[i]);   // stayed at an inner node
            else
                sorted[size_t(cursor[size_t(~at)]++)] = visibleVertices[i];
        }
    }
    for (size_t l = 0; l < tree.Leaves.size(); ++l)
        if (start[l + 1] > start[l])
            tree.Leaves[l]->TempVertices.insert(tree.Leaves[l]->TempVertices.end(), sorted.begin() + start[l],
                                                sorted.begin() + start[l + 1]);
}

void TKSN_MeshRoot::AddPolygonsToOctree(TQOROctreeNode<int>* node)
{
    if (!node) return;
    // A polygon goes to the first leaf, in walk order, whose filed vertices
    // list it; within a leaf polygons keep the order of that walk (vertex by
    // vertex, row by row). Whether a polygon may be taken at all (in range,
    // flag clear, not hidden) does not change during the pass, so its first
    // visit decides. The visits are ranked by their place in the walk, the
    // lowest rank of each polygon found in parallel, then each leaf keeps the
    // visits that hold their polygon's lowest rank.
    std::vector<TQOROctreeNode<int>*> leaves;
    KSN_CollectOctreeLeaves(node, leaves);
    if (polygonCount <= 0) return;   // no row names a polygon in range
    std::vector<uint8_t> takeable(size_t(polygonCount), 0);
    auto ask = [&](size_t first, size_t end) {
        for (size_t p = first; p < end; ++p) takeable[p] = !GetCustomPFlag(int(p)) && !IsPolyHidden(int(p));
    };
    KSN_RunInBlocks(takeable.size(), 16384, ask);
    if (!KSN_PoolCanShare()) {
        // On one thread the plain walk is cheaper: the first visit takes the
        // polygon. The mesh is asked once per polygon beforehand instead of
        // at every visit (nothing it answers changes during the walk).
        for (TQOROctreeNode<int>* leaf : leaves)
            for (size_t j = 0; j < leaf->TempVertices.size(); ++j) {
                if (j + kRowLookAhead < leaf->TempVertices.size())
                    PrefetchRow(*this, leaf->TempVertices[j + kRowLookAhead]);
                const TRow row = VertexPolygonRow(*this, leaf->TempVertices[j]);
                for (int k = 0; k < row.count; ++k) {
                    const int p = row.items[k];
                    if (!InRange(p, polygonCount) || !takeable[size_t(p)]) continue;
                    takeable[size_t(p)] = 0;
                    SetCustomPFlagToTrue(p);
                    leaf->TempPolygons.push_back(p);
                }
            }
        return;
    }
    std::vector<size_t> firstPlace(leaves.size() + 1, 0);
    for (size_t l = 0; l < leaves.size(); ++l) firstPlace[l + 1] = firstPlace[l] + leaves[l]->TempVertices.size();
    // Places fit 31 bits: they count visible vertices.

    constexpr uint64_t kNone = ~uint64_t(0);
    std::vector<uint64_t> lowest(size_t(polygonCount), kNone);
    auto forEachVisit = [&](size_t l, auto&& visit) {
        const std::vector<int32_t>& vertices = leaves[l]->TempVertices;
        for (size_t j = 0; j < vertices.size(); ++j) {
            if (j + kRowLookAhead < vertices.size()) PrefetchRow(*this, vertices[j + kRowLookAhead]);
            const TRow row = VertexPolygonRow(*this, vertices[j]);
            const uint64_t place = uint64_t(firstPlace[l] + j) << 32;
            for (int k = 0; k < row.count; ++k) {
                const int p = row.items[k];
                if (InRange(p, polygonCount) && takeable[size_t(p)]) visit(p, place | uint32_t(k));
            }
        }
    };
    auto rank = [&](size_t first, size_t end) {
        for (size_t l = first; l < end; ++l)
            forEachVisit(l, [&](int p, uint64_t key) {
                std::atomic_ref<uint64_t> slot(lowest[size_t(p)]);
                uint64_t seen = slot.load(std::memory_order_relaxed);
                while (key < seen && !slot.compare_exchange_weak(seen, key, std::memory_order_relaxed)) {
                }
            });
    };
    KSN_RunInBlocks(leaves.size(), 16, rank);
    // Each polygon is taken by one leaf at most, so the flags set here are
    // distinct items; nothing in this pass reads them.
    auto take = [&](size_t first, size_t end) {
        for (size_t l = first; l < end; ++l)
            forEachVisit(l, [&](int p, uint64_t key) {
                if (lowest[size_t(p)] != key) return;
                leaves[l]->TempPolygons.push_back(p);
                SetCustomPFlagToTrue(p);
            });
    };
    KSN_RunInBlocks(leaves.size(), 16, take);
}

void TKSN_MeshRoot::GenerateBottomLevelOctreeNodeList(TQOROctreeNode<int>* node)
{
    if (!node) return;
    if (node->Depth == 0) leafList.clear();
    if (!node->HasChildren()) {
        leafList.push_back(node);
        return;
    }
    for (auto& child : node->Children) GenerateBottomLevelOctreeNodeList(child.get());
}

// [Optimisation] --------------------------------------------------------------

void OptimizeOctreeForDynamicDepth(TQOROctreeNode<int>* node, int minimumVertices)
{
    if (!node) return;
    if (node->GetVertexCount() < minimumVertices) {
        node->MakeLeaf();
        return;
    }
    for (auto& child : node->Children) OptimizeOctreeForDynamicDepth(child.get(), minimumVertices);
}

void DestroyOctreeTempLists(TQOROctreeNode<int>* node)
{
    if (!node) return;
    node->TempVertices = {};
    node->TempPolygons = {};
    for (auto& child : node->Children) DestroyOctreeTempLists(child.get());
}

void TKSN_MeshRoot::OptimizeOctree()
{
    if (vertexCount == 0) return;
    GetVisibleVertexCount();
    if (!octreeRoot) {
        BuildOctree();   // its build ends by optimising
        return;
    }
    // The slices are made from the build's temporary lists, which are gone
    // once a tree was optimised; a second pass would empty every slice and
    // the visible lists with them.
    if (octreeRoot->VertexBegin != -1) return;
    const int n = visiblePolygonCount;
    const int m = visibleVertexCount;

    std::vector<int32_t> polygonOrder, vertexOrder;
    polygonOrder.reserve(size_t(n));
    vertexOrder.reserve(size_t(m));
    const std::vector<TQOROctreeNode<int>*> leaves = leafList;
    for (TQOROctreeNode<int>* leaf : leaves) {
        leaf->PolygonBegin = int32_t(polygonOrder.size());
        leaf->VertexBegin = int32_t(vertexOrder.size());
        for (int32_t p : leaf->TempPolygons)
            if (int(polygonOrder.size()) < n) polygonOrder.push_back(p);
        for (int32_t v : leaf->TempVertices)
            if (int(vertexOrder.size()) < m) vertexOrder.push_back(v);
        leaf->PolygonEnd = int32_t(polygonOrder.size());
        leaf->VertexEnd = int32_t(vertexOrder.size());
        for (TQOROctreeNode<int>* a = leaf->Parent; a; a = a->Parent) {
            a->PolygonBegin = a->PolygonBegin == -1 ? leaf->PolygonBegin : std::min(a->PolygonBegin, leaf->PolygonBegin);
            a->PolygonEnd = a->PolygonEnd == -1 ? leaf->PolygonEnd : std::max(a->PolygonEnd, leaf->PolygonEnd);
            a->VertexBegin = a->VertexBegin == -1 ? leaf->VertexBegin : std::min(a->VertexBegin, leaf->VertexBegin);
            a->VertexEnd = a->VertexEnd == -1 ? leaf->VertexEnd : std::max(a->VertexEnd, leaf->VertexEnd);
        }
    }

    // Visible polygons that no leaf took (hidden ones listed by a full
    // visible pass, polygons without corners) stay in the list behind the
    // leaves' slices, so the list keeps naming each of them once; entries
    // that name no polygon of the mesh are dropped.
    for (int i = 0; i < n && int(polygonOrder.size()) < n; ++i) {
        const int p = visiblePolygons[i];
        if (InRange(p, polygonCount) && !GetCustomPFlag(p)) polygonOrder.push_back(p);
    }
    std::copy(polygonOrder.begin(), polygonOrder.end(), visiblePolygons);
    std::copy(vertexOrder.begin(), vertexOrder.end(), visibleVertices);
    visiblePolygonCount = int32_t(polygonOrder.size());
    visibleVertexCount = int32_t(vertexOrder.size());

    DestroyOctreeTempLists(octreeRoot.get());

    if (octreeRoot->GetVertexCount() > 9) {
        for (auto& child : octreeRoot->Children) OptimizeOctreeForDynamicDepth(child.get(), 10);
    } else {
        octreeRoot->MakeLeaf();
    }
    GenerateBottomLevelOctreeNodeList(octreeRoot.get());
    OptimizeOctree_LinkNodesToItems();
}

void TKSN_MeshRoot::OptimizeOctree_LinkNodesToItems()
{
    if (!polygonLeafIndex) return;
    for (size_t k = 0; k < leafList.size(); ++k) {
        const TQOROctreeNode<int>* leaf = leafList[k];
        const int begin = std::max(leaf->PolygonBegin, 0);
        const int end = std::min(leaf->PolygonEnd, visiblePolygonCount);
        for (int i = begin; i < end; ++i) {
            const int p = visiblePolygons[i];
            if (InRange(p, polygonCount)) polygonLeafIndex[p] = int32_t(k);
        }
    }
}

// [Bounds] --------------------------------------------------------------------

void TKSN_MeshRoot::RecalculateOctreePolyBounds()
{
    // The culler and the touch-up renderer read the boxes being refitted.
    KSN_CancelViewportDependentWork();
    if (!octreeRoot) BuildOctree();
    ClearOctreeFlags(octreeRoot.get());
    if (!octreeRoot) BuildOctree();
    RecalculateOctreePolyBoundsRecurse(octreeRoot.get(), nullptr, nullptr);
}

void TKSN_MeshRoot::RecalculateOctreePolyBoundsRecurse(TQOROctreeNode<int>* node, float* regionMin, float* regionMax)
{
    if (!node) return;
    const bool region = regionMin && regionMax;
    if (region && !QOROctreeBoxes::BoxCollision3(node->CubeMin, node->CubeMax, regionMin, regionMax)) return;
    // Only the node itself is tested against the region: below it every leaf is refitted.
    std::vector<TQOROctreeNode<int>*> leaves;
    KSN_CollectOctreeLeaves(node, leaves);

    // Each leaf's own boxes depend on nothing but the mesh, so they are
    // fitted in parallel; a polygon met again through another vertex of the
    // same leaf is skipped, which leaves min and max as they were. Leaves
    // without vertices are left out of the merge below.
    std::vector<uint8_t> fitted(leaves.size(), 0);
    std::vector<int32_t> lastLeaf(size_t(std::max(polygonCount, 0)), -1);
    const TCornerReader corners(*this);
    auto fit = [&](size_t first, size_t last) {
        for (size_t l = first; l < last; ++l) {
            TQOROctreeNode<int>* leaf = leaves[l];
            const int begin = std::max(leaf->VertexBegin, 0);
            const int end = std::min(leaf->VertexEnd, visibleVertexCount);
            if (end <= begin) continue;
            fitted[l] = 1;
            TKSN_LeafBoxes boxes;
            for (int i = begin; i < end; ++i) {
                if (i + kRowLookAhead < end) PrefetchRow(*this, visibleVertices[i + kRowLookAhead]);
                const TRow row = VertexPolygonRow(*this, visibleVertices[i]);
                for (int k = 0; k < row.count; ++k) {
                    const int p = row.items[k];
                    if (!InRange(p, polygonCount)) continue;
                    // Another leaf on another thread may claim the entry meanwhile: the polygon is then merely fitted twice.
                    std::atomic_ref<int32_t> mark(lastLeaf[size_t(p)]);
                    if (mark.load(std::memory_order_relaxed) == int32_t(l)) continue;
                    mark.store(int32_t(l), std::memory_order_relaxed);
                    boxes.AddPolygon(
                        [&](auto&& take) {
                            corners.ForEach(p, [&](int v) {
                                if (InRange(v, vertexCount) && resolvedVertices) take(resolvedVertices + 3 * size_t(v));
                            });
                        },
                        polygonNormals ? polygonNormals + 3 * size_t(p) : nullptr);
                }
            }
            boxes.WriteTo(*leaf, boundsDiagonal);
        }
    };
    KSN_RunInBlocks(leaves.size(), 64, fit);

    // A regional refit of a lone leaf merges into boxes kept from before,
    // which only grow.
    KSN_MergeLeafBoundsUpward(leaves, fitted, region ? node : nullptr);
}

// [Invalidation] --------------------------------------------------------------

namespace {
void InvalidateNodeDisplay(TQOROctreeNode<int>* node)
{
    if (node->DisplayList) node->DisplayList->Invalidate();
    node->Flags &= ~uint32_t(QOROctree_DisplacementValid);
}
}  // namespace

void InvalidateCubeInOSpace_Octree_Recurse(TQOROctreeNode<int>* node, const float* min, const float* max)
{
    if (!node || !QOROctreeBoxes::BoxCollision3(node->CubeMin, node->CubeMax, min, max)) return;
    InvalidateNodeDisplay(node);
    for (auto& child : node->Children) InvalidateCubeInOSpace_Octree_Recurse(child.get(), min, max);
}

void TKSN_MeshRoot::InvalidateCubeInOSpace(float* min, float* max)
{
    for (int a = 0; a < 3; ++a) {
        invalidMin[a] = std::min(invalidMin[a], min[a]);
        invalidMax[a] = std::max(invalidMax[a], max[a]);
    }
    if (octreeRoot) InvalidateCubeInOSpace_Octree_Recurse(octreeRoot.get(), min, max);
}

void TKSN_MeshRoot::InvalidateAllInOSpace()
{
    const float big = 1e6f * boundsDiagonal;
    std::fill_n(invalidMin, 3, -big);
    std::fill_n(invalidMax, 3, big);
    if (octreeRoot) InvalidateCubeInOSpace_Octree_Recurse(octreeRoot.get(), invalidMin, invalidMax);
}

void TKSN_MeshRoot::InvalidateOctreeNodeDisplay(TQOROctreeNode<int>* node, bool recurse)
{
    if (!node) return;
    InvalidateNodeDisplay(node);
    if (!recurse) return;
    for (auto& child : node->Children) InvalidateOctreeNodeDisplay(child.get(), true);
}

void TKSN_MeshRoot::InvalidateAllOctreeNodeDisplayLists()
{
    InvalidateOctreeNodeDisplay(octreeRoot.get(), true);
}

// [Validation] ----------------------------------------------------------------

namespace {

// Bilinear over the first byte of each pixel; outside 0..size−1 the edge
// texel is used with fraction 0. Row-major, 3 bytes per pixel.
float SampleDisplacement(const TKSN_QuickRenderData& data, float u, float t)
{
    const TKSN_QuickRenderDataTextureData& map = *data.TextureSlots[KSN_QR_SLOT_DISPLACEMENT];
    const int w = map.Width, h = map.Height;
    auto axis = [](float x, int size, int& i0, int& i1, float& f) {
        if (x > float(size - 1)) {
            i0 = size - 1;
            f = 0;
        } else if (x < 0) {
            i0 = 0;
            f = 0;
        } else {
            i0 = int(x);
            f = x - float(i0);
        }
        i1 = std::min(i0 + 1, size - 1);
    };
    int x0, x1, y0, y1;
    float fx, fy;
    axis(float(w) * u - 0.5f, w, x0, x1, fx);
    axis(float(h) * t - 0.5f, h, y0, y1, fy);
    auto at = [&](int x, int y) { return float(map.Pixels[(size_t(y) * size_t(w) + size_t(x)) * 3]); };
    const float blend = (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
    const int byte = int(blend) & 0xff;
    return (float(byte) / 255.0f - map.Offset) * map.Scale;
}

void ValidateVertex(TKSN_MeshRoot* root, int v, const TKSN_QuickRenderData& data)
{
    root->CFlag_FlagVertex(eCFlag_Channel_General, v);
    ++TotalValidatedVertices;
    float* delta = root->displacementDeltas + 3 * size_t(v);
    std::fill_n(delta, 3, 0.0f);
    const TKSN_QuickRenderDataTextureData& map = *data.TextureSlots[KSN_QR_SLOT_DISPLACEMENT];
    if (!map.Pixels || map.Width <= 0 || map.Height <= 0 || !root->vertexNormals) return;
    const float* normal = root->vertexNormals + 3 * size_t(v);
    int samples = 0;
    const TRow row = VertexPolygonRow(*root, v);
    for (int k = 0; k < row.count; ++k) {
        const int q = row.items[k];
        if (!InRange(q, root->polygonCount)) continue;
        const int corners = root->vGetPolyN(q);
        for (int c = 0; c < corners; ++c) {
            if (root->vGetPolyV(q, c) != v) continue;
            const int vt = root->vGetPolyVT(q, c);
            if (!InRange(vt, root->tVertexCount)) continue;
            const float s = SampleDisplacement(data, root->tVertices[2 * vt], root->tVertices[2 * vt + 1]);
            for (int a = 0; a < 3; ++a) delta[a] += s * normal[a];
            ++samples;
        }
    }
    if (samples > 0)
        for (int a = 0; a < 3; ++a) delta[a] /= float(samples);
}

}  // namespace

void ValidateDisplacementDeltas(TKSN_MeshRoot* root, TQOROctreeNode<int>* node, TKSN_QuickRenderData& data,
                                int& currentMaterial)
{
    if (!root || !node) return;
    if (node->HasChildren()) {
        for (auto& child : node->Children) ValidateDisplacementDeltas(root, child.get(), data, currentMaterial);
        return;
    }
    if (node->PolygonEnd <= node->PolygonBegin || (node->Flags & QOROctree_DisplacementValid)) return;
    node->Flags |= QOROctree_DisplacementValid;
    ++TotalValidatedNodes;
    if (!root->displacementDeltas || root->cflagStamps[eCFlag_Channel_General] == 0) return;

    const int begin = std::max(node->PolygonBegin, 0);
    const int end = std::min(node->PolygonEnd, root->visiblePolygonCount);
    for (int i = begin; i < end; ++i) {
        const int p = root->visiblePolygons[i];
        if (!InRange(p, root->polygonCount)) continue;
        const int material = root->vGetPolyM(p);
        if (material != currentMaterial) {
            data.ClearMaps();
            currentMaterial = material;
            if (TQORMaterial* m = root->GetMaterial(material)) {
                TKSN_QuickRenderDataTextureData& slot = *data.TextureSlots[KSN_QR_SLOT_DISPLACEMENT];
                slot.Init();
                // A binding without a source, or a source without readable
                // pixels, leaves the slot without a map: no displacement.
                KSN_FillQuickRenderSlot(slot, m, KSN_QR_SLOT_DISPLACEMENT, 1.0f);
                slot.Scale = root->boundsDiagonal * slot.Strength;
            }
        }
        const int corners = root->vGetPolyN(p);
        for (int c = 0; c < corners; ++c) {
            const int v = root->vGetPolyV(p, c);
            if (!InRange(v, root->vertexCount) || root->CFlag_TestVertex(eCFlag_Channel_General, v)) continue;
            ValidateVertex(root, v, data);
        }
    }
}

void TKSN_MeshRoot::ValidateAllInOSpace(bool /*flag*/)
{
    const float big = 1e6f * boundsDiagonal;
    if (!displacementDeltas) {
        InvalidateAllInOSpace();
        if (vertexCount > 0) {
            displacementDeltas = static_cast<float*>(QORalloc(uint64_t(vertexCount) * 12));
            std::fill_n(displacementDeltas, size_t(vertexCount) * 3, 0.0f);
        }
    }
    StartUsingCFlags(eCFlag_Channel_General);

    TKSN_QuickRenderData data;
    data.Init();
    int currentMaterial = -1;
    TotalValidatedNodes = 0;
    TotalValidatedVertices = 0;
    if (!octreeRoot) BuildOctree();
    ValidateDisplacementDeltas(this, octreeRoot.get(), data, currentMaterial);

    std::fill_n(invalidMin, 3, big);
    std::fill_n(invalidMax, 3, -big);
}
