// TKSN_Mesh: the selected vertex and polygon lists that every tool reads, and
// the two symmetry edits of the working selection.
//
// A rebuild first makes both weight sets agree (converting in the direction
// of the application's selection type), then walks the octree leaves so that
// each leaf learns in the same pass whether it holds selection (the renderer
// skips leaves without it), and finally fills the lists by a plain ascending
// scan, so their order never depends on the octree. While a symmetry map is
// active each vertex answers with the weight of the vertex the map gives for
// it, so a selection made on one side acts on both.
//
// Thresholds: a vertex is listed above 1e-4 and drawn strongly above 0.0499;
// a polygon is listed above 1e-30 (polygon type) or when any of its vertices
// is at or above 1e-30 (vertex type).
//
// [SECTION] Rebuild
// [SECTION] Readers and full-selection update
// [SECTION] Selection symmetry

#include "KSN_Mesh.h"

#include "QORMemory.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint32_t kHiddenOrLocked = QORPoly_Hidden | QORPoly_Locked;

// Vertex flag bits.
constexpr uint32_t kVertexListed = 0x2;
constexpr uint32_t kVertexDisplayCopy = 0x200;
constexpr uint32_t kVertexStrong = 0x1000;
// Polygon flag bits.
constexpr uint32_t kPolygonListed = 0x2;
constexpr uint32_t kPolygonDrawn = 0x4000;
constexpr uint32_t kPolygonDrawn2 = 0x8000;
constexpr uint32_t kPolygonStrong = 0x20000;

constexpr float kStrongWeight = 0.0499f;
constexpr float kListedVertexWeight = 1e-4f;
constexpr float kListedPolygonWeight = 1e-30f;

float Clamp01(float w) { return std::clamp(w, 0.0f, 1.0f); }

// One stretch of the visible lists and the leaf that holds it (none when the
// mesh has no octree: then the whole lists form one stretch).
struct TLeafRange {
    TQOROctreeNode<int>* Leaf = nullptr;
    int VertexBegin = 0, VertexEnd = 0;
    int PolygonBegin = 0, PolygonEnd = 0;
};

std::vector<TLeafRange> CollectRanges(TKSN_Mesh& mesh)
{
    const int visibleVertices = mesh.GetVisibleVertexCount();
    const int visiblePolygons = mesh.GetVisiblePolygonCount();
    std::vector<TLeafRange> ranges;
    if (mesh.leafList.empty()) {
        // Without leaves there is nothing to mark, but the selection is no
        // less there: every tool still has to see it.
        ranges.push_back({nullptr, 0, visibleVertices, 0, visiblePolygons});
        return ranges;
    }
    ranges.reserve(mesh.leafList.size());
    for (TQOROctreeNode<int>* leaf : mesh.leafList) {
        TLeafRange range;
        range.Leaf = leaf;
        range.VertexBegin = std::max(leaf->VertexBegin, 0);
        range.VertexEnd = std::min(leaf->VertexEnd, visibleVertices);
        range.PolygonBegin = std::max(leaf->PolygonBegin, 0);
        range.PolygonEnd = std::min(leaf->PolygonEnd, visiblePolygons);
        ranges.push_back(range);
    }
    return ranges;
}

// Every index i below count for which flagged(i) holds, ascending; null when none.
template <class TFlagged>
int32_t* ListFlagged(int count, int listed, TFlagged flagged)
{
    if (listed <= 0) return nullptr;
    auto* list = static_cast<int32_t*>(QORalloc(uint64_t(listed) * sizeof(int32_t)));
    int n = 0;
    for (int i = 0; i < count && n < listed; ++i)
        if (flagged(i)) list[n++] = i;
    return list;
}

}  // namespace

// ============================================================================
// [SECTION] Rebuild
// ============================================================================

void TKSN_Mesh::BuildSelectedVerticesAndPolygons2(bool withPolygons, bool /*flag*/)
{
    const int type = KSN_MeshApp_GetSelectionType();
    if (type == eSelectionType_Vertex)
        ConvertSelectedVerticesToPolygons();
    else if (type == eSelectionType_Polygon)
        ConvertSelectedPolygonsToVertices();

    // Both lists are released, so both counts go to 0: a count must never
    // promise entries of a list that is gone.
    SelectedVertexCount = 0;
    SelectedPolygonCount = 0;
    QORfree(SelectedVertices);
    QORfree(SelectedPolygons);
    SelectedVertices = nullptr;
    SelectedPolygons = nullptr;

    for (int v = 0; v < vertexCount; ++v)
        VertexInfo[v].Flags &= ~(kVertexListed | kVertexDisplayCopy | kVertexStrong);
    for (int p = 0; p < polygonCount; ++p)
        PolygonFlags[p] &= ~(kPolygonListed | kPolygonDrawn | kPolygonDrawn2 | kPolygonStrong);
    MaxSelectionWeight = 0.0f;

    // The weight a vertex answers with: its own, or through the active map.
    const int32_t* map = activeVertexPartnerA;
    auto source = [this, map](int v) {
        if (!map) return v;
        const int s = map[v];
        return (s >= 0 && s < vertexCount) ? s : v;
    };

    const std::vector<TLeafRange> ranges = CollectRanges(*this);

    // Vertex pass.
    for (const TLeafRange& range : ranges) {
        if (range.Leaf) range.Leaf->Flags &= ~uint32_t(QOROctree_Selected);
        for (int k = range.VertexBegin; k < range.VertexEnd; ++k) {
            const int v = visibleVertices[k];
            if (v < 0 || v >= vertexCount || (VertexInfo[v].Flags & kHiddenOrLocked) != 0) continue;
            const float w = VertexInfo[source(v)].Select;
            if (std::fabs(w) > kStrongWeight) VertexInfo[v].Flags |= kVertexStrong;
            if (std::fabs(w) > kListedVertexWeight) {
                if (range.Leaf) range.Leaf->Flags |= QOROctree_Selected;
                VertexInfo[v].Flags |= kVertexListed | kVertexDisplayCopy;
                ++SelectedVertexCount;
            }
            MaxSelectionWeight = std::max(MaxSelectionWeight, w);
        }
    }

    // Polygon pass. Hidden polygons are not in the visible list; locked ones
    // count like any other.
    if (withPolygons) {
        for (const TLeafRange& range : ranges) {
            for (int k = range.PolygonBegin; k < range.PolygonEnd; ++k) {
                const int p = visiblePolygons[k];
                if (p < 0 || p >= polygonCount) continue;
                const TQORPolygon& polygon = Polygons[p];
                bool selected = false;
                if (type == eSelectionType_Polygon) {
                    const float w = polygon.Select;
                    if (w > kStrongWeight) {
                        PolygonFlags[p] |= kPolygonDrawn | kPolygonDrawn2 | kPolygonStrong;
                        if (range.Leaf) range.Leaf->Flags |= QOROctree_Selected;
                    }
                    // A tiny weight is listed but does not mark its leaf.
                    if (w > kListedPolygonWeight) {
                        PolygonFlags[p] |= kPolygonListed;
                        ++SelectedPolygonCount;
                    }
                    continue;
                }
                // Vertex type: selected as soon as one corner carries weight.
                const int corners = polygon.Points ? polygon.Count : 0;
                selected = corners <= 0;
                for (int c = 0; c < corners; ++c) {
                    const int u = GetEffectiveVertex(polygon.Points[c].V);
                    if (u < 0 || u >= vertexCount) continue;
                    const float a = std::fabs(VertexInfo[source(u)].Select);
                    if (a > kStrongWeight) PolygonFlags[p] |= kPolygonStrong;
                    if (a >= kListedPolygonWeight) selected = true;
                }
                if (selected) {
                    PolygonFlags[p] |= kPolygonDrawn2 | kPolygonListed | kPolygonDrawn;
                    if (range.Leaf) range.Leaf->Flags |= QOROctree_Selected;
                    ++SelectedPolygonCount;
                }
            }
        }
    }

    SelectedVertices = ListFlagged(vertexCount, SelectedVertexCount,
                                   [this](int v) { return (VertexInfo[v].Flags & kVertexListed) != 0; });
    if (withPolygons)
        SelectedPolygons = ListFlagged(polygonCount, SelectedPolygonCount,
                                       [this](int p) { return (PolygonFlags[p] & kPolygonListed) != 0; });
    SelectedListsValid = true;
}

// ============================================================================
// [SECTION] Readers and full-selection update
// ============================================================================

int TKSN_Mesh::GetSelectedVertexCount()
{
    if (!SelectedListsValid) BuildSelectedVerticesAndPolygons2(true, false);
    return SelectedVertexCount;
}

void TKSN_Mesh::AfterFullSelection()
{
    InvalidateAllOctreeNodeDisplayLists();
    SelectedListsValid = false;
    const int type = KSN_MeshApp_GetSelectionType();
    if (type == eSelectionType_Vertex)
        ConvertSelectedVerticesToPolygons();
    else if (type == eSelectionType_Polygon)
        ConvertSelectedPolygonsToVertices();
    UpdateOctreeSelectedFlags();
}

// ============================================================================
// [SECTION] Selection symmetry
// ============================================================================

void TKSN_Mesh::MakeSelectionSymmetric(bool direction)
{
    // Pairs the vertices when that has not happened yet and waits for the pairing.
    BeforeConsideringSymmetry();
    const int type = KSN_MeshApp_GetSelectionType();
    if (type == eSelectionType_Vertex) {
        const int32_t* mapA = vertexPartners[direction ? 1 : 0];
        const int32_t* mapB = vertexPartners[direction ? 0 : 1];
        const int visible = GetVisibleVertexCount();
        for (int k = 0; mapA && mapB && k < visible; ++k) {
            const int i = visibleVertices[k];
            if (i < 0 || i >= vertexCount || (VertexInfo[i].Flags & kHiddenOrLocked) != 0) continue;
            const int s = mapA[i];
            // On the plane both maps agree; a vertex without partner names −1.
            if (s == i || s == mapB[i] || s < 0 || s >= vertexCount) continue;
            VertexInfo[i].Select = Clamp01(VertexInfo[s].Select);
        }
    } else if (type == eSelectionType_Polygon) {
        const int32_t* map = polygonPartners[direction ? 1 : 0];
        const int visible = GetVisiblePolygonCount();
        for (int k = 0; map && k < visible; ++k) {
            const int p = visiblePolygons[k];
            if (p < 0 || p >= polygonCount || (PolygonFlags[p] & kHiddenOrLocked) != 0) continue;
            const int q = map[p];
            if (q == p || q < 0 || q >= polygonCount) continue;
            Polygons[p].Select = Clamp01(Polygons[q].Select);
        }
    }
    BuildSelectedVerticesAndPolygons2(true, false);
}

void TKSN_Mesh::SwapSelectionSymmetry()
{
    BeforeConsideringSymmetry();
    const int visibleV = GetVisibleVertexCount();
    for (int k = 0; k < visibleV; ++k) {
        const int v = visibleVertices[k];
        if (v >= 0 && v < vertexCount) VertexInfo[v].Flags &= ~kVertexListed;
    }
    const int type = KSN_MeshApp_GetSelectionType();
    if (type == eSelectionType_Vertex) {
        // A vertex of the other side names itself in map 1, so each pair is exchanged once.
        const int32_t* map = vertexPartners[1];
        for (int k = 0; map && k < visibleV; ++k) {
            const int e = visibleVertices[k];
            if (e < 0 || e >= vertexCount) continue;
            const int f = map[e];
            if (f == e || f < 0 || f >= vertexCount || (VertexInfo[e].Flags & kHiddenOrLocked) != 0) continue;
            const float we = VertexInfo[e].Select;
            VertexInfo[e].Select = Clamp01(VertexInfo[f].Select);
            VertexInfo[f].Select = Clamp01(we);
        }
    } else if (type == eSelectionType_Polygon) {
        const int32_t* map = polygonPartners[1];
        const int visibleP = GetVisiblePolygonCount();
        for (int k = 0; map && k < visibleP; ++k) {
            const int e = visiblePolygons[k];
            if (e < 0 || e >= polygonCount) continue;
            const int f = map[e];
            if (f == e || f < 0 || f >= polygonCount || (PolygonFlags[e] & kHiddenOrLocked) != 0) continue;
            const float we = Polygons[e].Select;
            Polygons[e].Select = Clamp01(Polygons[f].Select);
            Polygons[f].Select = Clamp01(we);
        }
    }
    BuildSelectedVerticesAndPolygons2(true, false);
}
