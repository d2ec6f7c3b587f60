// The octree node's subdivision and destruction, and the octree walker.
//
// [Index]
//   [Temporary lists]   growth of the per-leaf item lists of a build
//   [Node]              Subdivide, destruction, ClearOctreeFlags
//   [Walker]            node generation and the vertex walk
#include "QOROctree.h"

#include "KSN_MeshRoot.h"
#include "QORMatrix.h"
#include "QOROctree_Internal.h"

#include <algorithm>

// [Temporary lists] -----------------------------------------------------------

void QOROctree_AppendTempItem(std::vector<int32_t>& list, int32_t item)
{
    if (list.size() == list.capacity()) {
        const size_t n = list.size();
        list.reserve(n + std::clamp<size_t>(n, 2, 10000));
    }
    list.push_back(item);
}

// [Node] ----------------------------------------------------------------------

template <class T>
TQOROctreeNode<T>::~TQOROctreeNode()
{
    // The callback sees the node before its children go, so observers meet
    // every node parent first.
    DisplayList.reset();
    if (OnDestroy) OnDestroy(this);
    for (auto& child : Children) child.reset();
    TempPolygons = {};
    TempVertices = {};
}

template <class T>
void TQOROctreeNode<T>::MakeLeaf()
{
    for (auto& child : Children) child.reset();
    Flags &= ~uint32_t(QOROctree_HasChildren);
}

template <class T>
void TQOROctreeNode<T>::Subdivide(int maxDepth)
{
    if (Depth >= maxDepth) {
        MakeLeaf();
        return;
    }
    float centre[3];
    for (int i = 0; i < 3; ++i) centre[i] = (CubeMin[i] + CubeMax[i]) * 0.5f;

    // Octant k: x high for 1, 2, 5, 6; y high for 2, 3, 6, 7; z high for 4..7.
    static constexpr bool highX[8] = {false, true, true, false, false, true, true, false};
    static constexpr bool highY[8] = {false, false, true, true, false, false, true, true};
    for (int k = 0; k < 8; ++k) {
        auto child = std::make_unique<TQOROctreeNode<T>>();
        const bool high[3] = {highX[k], highY[k], k >= 4};
        for (int i = 0; i < 3; ++i) {
            child->CubeMin[i] = high[i] ? centre[i] : CubeMin[i];
            child->CubeMax[i] = high[i] ? CubeMax[i] : centre[i];
        }
        child->Depth = Depth + 1;
        child->Parent = this;
        child->Owner = Owner;
        child->OnDestroy = OnDestroy;
        Children[size_t(k)] = std::move(child);
        Flags |= QOROctree_HasChildren;
    }
    for (auto& child : Children) {
        std::copy_n(child->CubeMin, 3, child->ContentMin);
        std::copy_n(child->CubeMax, 3, child->ContentMax);
        child->Subdivide(maxDepth);
    }
}

template class TQOROctreeNode<int>;

void ClearOctreeFlags(TQOROctreeNode<int>* node)
{
    if (!node) return;
    node->BoundsDone = false;
    for (auto& child : node->Children) ClearOctreeFlags(child.get());
}

// [Walker] --------------------------------------------------------------------

namespace {
TKSN_ViewportOctreeServices ViewportServices;
}

void KSN_SetViewportOctreeServices(const TKSN_ViewportOctreeServices& services) { ViewportServices = services; }
const TKSN_ViewportOctreeServices& KSN_GetViewportOctreeServices() { return ViewportServices; }

TKSN_OctreeParserInfo::TKSN_OctreeParserInfo() { Init(nullptr, nullptr); }

void TKSN_OctreeParserInfo::Init(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport)
{
    NodeList.clear();
    Cursor = ListBegin = ListEnd = 0;
    Index = Count = 0;
    CurrentNode = nullptr;
    Mode = 0;
    Mesh = mesh;
    Viewport = viewport;
    QORMatrix_Identity4x4(Matrix);
    if (viewport && ViewportServices.CombinedMatrix) {
        if (const float* m = ViewportServices.CombinedMatrix(viewport)) std::copy_n(m, 16, Matrix);
    }
    RangeSet = RangeTest = RangeSecond = false;
    std::fill_n(RangeMin, 3, 1e30f);
    Threshold = 0;
}

void TKSN_OctreeParserInfo::SetupUVRangeTest(bool rangeTest, bool second, const float* min, const float* max)
{
    for (int i = 0; i < 3; ++i) {
        RangeMin[i] = RangeSet ? std::max(RangeMin[i], min[i]) : min[i];
        RangeMax[i] = RangeSet ? std::min(RangeMax[i], max[i]) : max[i];
    }
    RangeSet = true;
    if (rangeTest) RangeTest = true;
    if (second) RangeSecond = true;
}

void TKSN_OctreeParserInfo::GenerateOctreeNodeList_Recurse(TQOROctreeNode<int>* node)
{
    if (!node) return;
    if (RangeTest) {
        float min[3], max[3];
        AdjustMinMaxWithMatrix(min, max, Matrix, true, node->ContentMin, node->ContentMax);
        if (!QOROctreeBoxes::BoxCollision(min, max, RangeMin, RangeMax)) return;
    }
    const int32_t p = node->GetPolygonCount();
    const int32_t v = node->GetVertexCount();
    const int32_t t = Threshold;
    const bool inner = node->HasChildren();

    bool descend = false, add = false;
    if (t == 0) {
        descend = inner;
        switch (Mode) {
        case 0: add = !inner && (p > 0 || v > 0); break;
        case 1: add = !inner && v > 0; break;
        case 2: add = !inner && p > 0; break;
        default: break;
        }
    } else {
        switch (Mode) {
        case 0:
            descend = p > t && v > t && inner;
            add = p <= t || v <= t || (!inner && (p > 0 || v > 0));
            break;
        case 1:
            descend = v > t && inner;
            add = v <= t || (!inner && v > 0);
            break;
        case 2:
            descend = p > t && inner;
            add = p <= t || (!inner && p > 0);
            break;
        default: return;
        }
    }
    if (descend) {
        for (auto& child : node->Children) GenerateOctreeNodeList_Recurse(child.get());
    } else if (add) {
        NodeList.push_back(node);
    }
}

bool TKSN_OctreeParserInfo::StartAtCursor(int& vertex)
{
    Index = Count = 0;
    const int32_t visibleCount = Mesh ? Mesh->visibleVertexCount : 0;
    for (; Cursor < ListEnd; ++Cursor) {
        TQOROctreeNode<int>* node = NodeList[Cursor];
        // A slice that reaches past the visible list (it changed under the
        // tree) yields only its entries that still exist.
        const int32_t begin = std::max(node->VertexBegin, 0);
        const int32_t end = std::min(node->VertexEnd, visibleCount);
        if (end <= begin) continue;
        CurrentNode = node;
        Count = end - node->VertexBegin;
        Index = begin - node->VertexBegin;
        vertex = Mesh->visibleVertices[begin];
        return true;
    }
    CurrentNode = nullptr;
    return false;
}

bool TKSN_OctreeParserInfo::GetFirstVertex(int& vertex)
{
    CurrentNode = nullptr;
    if (!Mesh) return false;
    // The culler builds a missing tree on the main thread before its own
    // thread walks, so only main-thread callers ever build here.
    if (!Mesh->IsOctreeValid()) Mesh->BuildOctree();
    GenerateOctreeNodeList_Recurse(Mesh->octreeRoot.get());
    ListBegin = 0;
    ListEnd = NodeList.size();
    Cursor = ListBegin;
    return StartAtCursor(vertex);
}

bool TKSN_OctreeParserInfo::GetNextVertex(int& vertex)
{
    if (!Mesh) return false;
    if (!CurrentNode) {
        Cursor = ListBegin;
        return StartAtCursor(vertex);
    }
    ++Index;
    if (Index < Count) {
        const int32_t k = CurrentNode->VertexBegin + Index;
        vertex = Mesh->visibleVertices[k];
        return true;
    }
    ++Cursor;
    return StartAtCursor(vertex);
}
