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

#include "KSN_SelectionBlocks.h"
#include "QORMemory.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

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

constexpr float kStrongWeight = ksn_selection_blocks::kCornerStrongWeight;
constexpr float kListedVertexWeight = 1e-4f;
constexpr float kListedPolygonWeight = ksn_selection_blocks::kCornerSelectedWeight;

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

// Every index i below count for which flagged(i) holds, ascending and at most
// listed of them; null when listed is 0.
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

// True when no two non-empty stretches of 0..n overlap, so jobs that each
// write the items of their own stretches never write the same item.
bool StretchesDisjoint(std::vector<std::pair<int, int>> stretches)
{
    std::sort(stretches.begin(), stretches.end());
    for (size_t i = 1; i < stretches.size(); ++i)
        if (stretches[i].first < stretches[i - 1].second) return false;
    return true;
}

// What one stretch found: its listed counts, its largest weight and whether
// its leaf holds selection by its vertices and by its polygons.
struct TRangeResult {
    int Vertices = 0;
    int Polygons = 0;
    float MaxWeight = 0.0f;
    bool VertexMarksLeaf = false;
    bool PolygonMarksLeaf = false;
};

// Marks every leaf holding a visible vertex or a visible polygon whose weight
// is above 1e-30 and unmarks the others, from the visible lists as they stand
// (they are not rebuilt here). The vertices are looked at first: their
// records are small and were just written, and in vertex type a polygon
// carries weight only when all its usable corners do, so a leaf with
// selection nearly always shows it at one of its first vertices, where its
// polygons could make the walk read many records before one answers. With
// weighted (one byte per polygon: weight above 1e-30), the polygons are
// answered from it instead of their records.
void MarkSelectedLeaves(TKSN_Mesh& mesh, const uint8_t* weighted)
{
    const int polygons = mesh.polygonCount, vertices = mesh.vertexCount;
    const int visiblePolygons = mesh.visiblePolygonCount, visibleVertices = mesh.visibleVertexCount;
    const int32_t* shownPolygons = mesh.visiblePolygons;
    const int32_t* shownVertices = mesh.visibleVertices;
    const TQORPolygon* records = mesh.Polygons;
    const TQORVertexInfo* info = mesh.VertexInfo;
    for (TQOROctreeNode<int>* leaf : mesh.leafList) {
        bool found = false;
        const int vEnd = std::min(leaf->VertexEnd, visibleVertices);
        for (int i = std::max(leaf->VertexBegin, 0); i < vEnd && !found; ++i) {
            const int v = shownVertices[i];
            found = v >= 0 && v < vertices && info[v].Select > 1e-30f;
        }
        const int pEnd = std::min(leaf->PolygonEnd, visiblePolygons);
        for (int i = std::max(leaf->PolygonBegin, 0); i < pEnd && !found; ++i) {
            const int p = shownPolygons[i];
            found = p >= 0 && p < polygons && (weighted ? weighted[p] != 0 : records[p].Select > 1e-30f);
        }
        leaf->Flags &= ~uint32_t(QOROctree_Selected);
        if (found) leaf->Flags |= QOROctree_Selected;
    }
}

}  // namespace

// ============================================================================
// [SECTION] Rebuild
// ============================================================================

void TKSN_Mesh::BuildSelectedVerticesAndPolygons2(bool withPolygons, bool /*flag*/)
{
    const int type = KSN_MeshApp_GetSelectionType();
    constexpr uint32_t kPolygonListFlags = kPolygonListed | kPolygonDrawn | kPolygonDrawn2 | kPolygonStrong;
    // The weight a vertex answers with: its own, or through the active map.
    const int32_t* map = activeVertexPartnerA;
    // In vertex type the conversion walks every polygon's corners anyway, so
    // it also clears the polygons' list flags and notes what their corners
    // carry for the polygon pass below.
    std::unique_ptr<uint8_t[]> cornerMarks;
    if (type == eSelectionType_Vertex) {
        cornerMarks.reset(new uint8_t[size_t(std::max(polygonCount, 0)) + 1]);
        ksn_selection_blocks::ConvertVerticesToPolygons(*this, cornerMarks.get(), map, kPolygonListFlags);
    } else if (type == eSelectionType_Polygon) {
        ConvertSelectedPolygonsToVertices();
    }

    // Both lists are released, so both counts go to 0: a count must never
    // promise entries of a list that is gone.
    SelectedVertexCount = 0;
    SelectedPolygonCount = 0;
    QORfree(SelectedVertices);
    QORfree(SelectedPolygons);
    SelectedVertices = nullptr;
    SelectedPolygons = nullptr;

    TQORVertexInfo* info = VertexInfo;
    uint32_t* polygonFlags = PolygonFlags;
    ksn_selection_blocks::ForBlocks(size_t(std::max(vertexCount, 0)), [info](size_t, size_t first, size_t end) {
        for (size_t v = first; v < end; ++v) info[v].Flags &= ~(kVertexListed | kVertexDisplayCopy | kVertexStrong);
    });
    if (!cornerMarks)
        ksn_selection_blocks::ForBlocks(size_t(std::max(polygonCount, 0)), [polygonFlags](size_t, size_t first, size_t end) {
            for (size_t p = first; p < end; ++p) polygonFlags[p] &= ~kPolygonListFlags;
        });
    MaxSelectionWeight = 0.0f;

    const int vertices = vertexCount;
    const int polygons = polygonCount;
    auto source = [map, vertices](int v) {
        if (!map) return v;
        const int s = map[v];
        return (s >= 0 && s < vertices) ? s : v;
    };
    const bool welded = Welded && !IgnoreWelding;
    const TQORPolygon* polygonRecords = nullptr;

    // Asking for the visible counts may rebuild the visible lists, so they are
    // read only afterwards.
    const std::vector<TLeafRange> ranges = CollectRanges(*this);
    info = VertexInfo;
    polygonFlags = PolygonFlags;
    polygonRecords = Polygons;
    const int32_t* shownVertices = visibleVertices;
    const int32_t* shownPolygons = visiblePolygons;
    std::vector<TRangeResult> results(ranges.size());
    // One byte per item beside the listed flag, so that filling the lists
    // scans a small array instead of the vertex records and polygon flags.
    std::vector<uint8_t> vertexListed(size_t(std::max(vertices, 0)), 0);
    std::vector<uint8_t> polygonListed(withPolygons ? size_t(std::max(polygons, 0)) : 0, 0);

    // One stretch: its vertices, then its polygons. Both write only the flags
    // of their own items and read only weights, so stretches that share no
    // item can run at the same time; the leaf marks are set afterwards, in
    // stretch order.
    auto visit = [&](size_t r) {
        const TLeafRange& range = ranges[r];
        TRangeResult& result = results[r];
        for (int k = range.VertexBegin; k < range.VertexEnd; ++k) {
            const int v = shownVertices[k];
            if (v < 0 || v >= vertices || (info[v].Flags & kHiddenOrLocked) != 0) continue;
            const float w = info[source(v)].Select;
            if (std::fabs(w) > kStrongWeight) info[v].Flags |= kVertexStrong;
            if (std::fabs(w) > kListedVertexWeight) {
                result.VertexMarksLeaf = true;
                info[v].Flags |= kVertexListed | kVertexDisplayCopy;
                vertexListed[size_t(v)] = 1;
                ++result.Vertices;
            }
            result.MaxWeight = std::max(result.MaxWeight, w);
        }
        // Hidden polygons are not in the visible list; locked ones count like any other.
        if (!withPolygons) return;
        for (int k = range.PolygonBegin; k < range.PolygonEnd; ++k) {
            const int p = shownPolygons[k];
            if (p < 0 || p >= polygons) continue;
            const TQORPolygon& polygon = polygonRecords[p];
            if (type == eSelectionType_Polygon) {
                const float w = polygon.Select;
                if (w > kStrongWeight) {
                    polygonFlags[p] |= kPolygonDrawn | kPolygonDrawn2 | kPolygonStrong;
                    result.PolygonMarksLeaf = true;
                }
                // A tiny weight is listed but does not mark its leaf.
                if (w > kListedPolygonWeight) {
                    polygonFlags[p] |= kPolygonListed;
                    polygonListed[size_t(p)] = 1;
                    ++result.Polygons;
                }
                continue;
            }
            // Vertex type: selected as soon as one corner carries weight.
            uint8_t mark = 0;
            if (cornerMarks) {
                mark = cornerMarks[size_t(p)];
            } else {
                const int corners = polygon.Points ? polygon.Count : 0;
                mark = corners <= 0 ? ksn_selection_blocks::kCornerSelected : 0;
                for (int c = 0; c < corners; ++c) {
                    const int corner = polygon.Points[c].V;
                    const int u = (welded && corner >= 0 && corner < vertices) ? info[corner].WeldMaster : corner;
                    if (u < 0 || u >= vertices) continue;
                    const float a = std::fabs(info[source(u)].Select);
                    if (a > kStrongWeight) mark |= ksn_selection_blocks::kCornerStrong;
                    if (a >= kListedPolygonWeight) mark |= ksn_selection_blocks::kCornerSelected;
                }
            }
            if (mark & ksn_selection_blocks::kCornerStrong) polygonFlags[p] |= kPolygonStrong;
            const bool selected = (mark & ksn_selection_blocks::kCornerSelected) != 0;
            if (selected) {
                polygonFlags[p] |= kPolygonDrawn2 | kPolygonListed | kPolygonDrawn;
                polygonListed[size_t(p)] = 1;
                result.PolygonMarksLeaf = true;
                ++result.Polygons;
            }
        }
    };

    size_t items = 0;
    std::vector<std::pair<int, int>> vertexStretches, polygonStretches;
    vertexStretches.reserve(ranges.size());
    polygonStretches.reserve(ranges.size());
    for (const TLeafRange& range : ranges) {
        if (range.VertexEnd > range.VertexBegin) {
            vertexStretches.emplace_back(range.VertexBegin, range.VertexEnd);
            items += size_t(range.VertexEnd - range.VertexBegin);
        }
        if (withPolygons && range.PolygonEnd > range.PolygonBegin) {
            polygonStretches.emplace_back(range.PolygonBegin, range.PolygonEnd);
            items += size_t(range.PolygonEnd - range.PolygonBegin);
        }
    }
    // About a hundred blocks of stretches spread the leaves evenly enough.
    const bool parallel = items >= ksn_selection_blocks::kParallelMinimum && StretchesDisjoint(vertexStretches) &&
                          StretchesDisjoint(polygonStretches);
    const size_t perBlock = std::max<size_t>(1, ranges.size() / 128);
    ksn_selection_blocks::ForBlocksOf(ranges.size(), perBlock, parallel, [&](size_t, size_t first, size_t end) {
        for (size_t r = first; r < end; ++r) visit(r);
    });

    for (size_t r = 0; r < ranges.size(); ++r) {
        const TLeafRange& range = ranges[r];
        if (range.Leaf) {
            range.Leaf->Flags &= ~uint32_t(QOROctree_Selected);
            if (results[r].VertexMarksLeaf) range.Leaf->Flags |= QOROctree_Selected;
        }
        SelectedVertexCount += results[r].Vertices;
        MaxSelectionWeight = std::max(MaxSelectionWeight, results[r].MaxWeight);
    }
    for (size_t r = 0; r < ranges.size(); ++r) {
        if (ranges[r].Leaf && results[r].PolygonMarksLeaf) ranges[r].Leaf->Flags |= QOROctree_Selected;
        SelectedPolygonCount += results[r].Polygons;
    }

    SelectedVertices = ListFlagged(vertexCount, SelectedVertexCount,
                                   [&vertexListed](int v) { return vertexListed[size_t(v)] != 0; });
    if (withPolygons)
        SelectedPolygons = ListFlagged(polygonCount, SelectedPolygonCount,
                                       [&polygonListed](int p) { return polygonListed[size_t(p)] != 0; });
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

bool TKSN_Mesh::HasSelectedVertices()
{
    // In polygon type the vertex weights themselves come out of the rebuild's
    // conversion, so only the rebuild can answer.
    if (SelectedListsValid || KSN_MeshApp_GetSelectionType() == eSelectionType_Polygon)
        return GetSelectedVertexCount() != 0;
    // The rebuild's own stretches and vertex rule; any one vertex it would
    // list is enough.
    const std::vector<TLeafRange> ranges = CollectRanges(*this);
    const int vertices = vertexCount;
    const int32_t* map = activeVertexPartnerA;
    const TQORVertexInfo* info = VertexInfo;
    for (const TLeafRange& range : ranges)
        for (int k = range.VertexBegin; k < range.VertexEnd; ++k) {
            const int v = visibleVertices[k];
            if (v < 0 || v >= vertices || (info[v].Flags & kHiddenOrLocked) != 0) continue;
            int s = v;
            if (map && map[v] >= 0 && map[v] < vertices) s = map[v];
            if (std::fabs(info[s].Select) > kListedVertexWeight) return true;
        }
    return false;
}

void TKSN_Mesh::AfterFullSelection()
{
    InvalidateAllOctreeNodeDisplayLists();
    SelectedListsValid = false;
    const int type = KSN_MeshApp_GetSelectionType();
    // The polygons' list flags are cleared in the same pass: the lists they
    // stand for are stale now.
    constexpr uint32_t kPolygonListFlags = kPolygonListed | kPolygonDrawn | kPolygonDrawn2 | kPolygonStrong;
    // Only leaves ask which polygons carry weight. The bytes are kept from
    // call to call: fresh memory would cost a page fault every 4 KB.
    thread_local std::vector<uint8_t> weightedBytes;
    uint8_t* weighted = nullptr;
    // A command's word on uniform vertex weights holds for this update only.
    const bool uniform = UniformVertexWeightKnown;
    const float uniformWeight = UniformVertexWeight;
    UniformVertexWeightKnown = false;
    if (type == eSelectionType_Vertex) {
        if (!leafList.empty()) {
            const size_t polygons = size_t(std::max(polygonCount, 0)) + 1;
            if (weightedBytes.size() < polygons) weightedBytes.resize(polygons);
            weighted = weightedBytes.data();
        }
        ksn_selection_blocks::ConvertVerticesToPolygons(*this, nullptr, nullptr, kPolygonListFlags, weighted,
                                                        uniform ? &uniformWeight : nullptr);
    } else if (type == eSelectionType_Polygon) {
        ConvertSelectedPolygonsToVertices();
    }
    MarkSelectedLeaves(*this, weighted);
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
