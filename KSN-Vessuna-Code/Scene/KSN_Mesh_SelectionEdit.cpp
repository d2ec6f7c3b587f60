// TKSN_Mesh: editing the working selection as a whole.
//
// The working selection is one weight per vertex record and one per polygon
// record of the polygon mesh. Every operation here keeps them within 0..1 and
// skips hidden or locked items as its rule says. Grow, shrink and the working
// soften read a snapshot of the old weights and write afterwards, so the
// result does not depend on the visiting order; the stored-selection soften
// works in place, so a vertex softened earlier is seen by its later
// neighbours.
//
// Neighbourhoods come from the vertex-to-polygon table; a polygon corner
// counts as its effective vertex (its weld master while the weld map is in
// force). None of these operations rebuilds the selected lists; callers follow
// with AfterFullSelection or BuildSelectedVerticesAndPolygons2.
//
// [SECTION] Helpers
// [SECTION] Single weights and clearing
// [SECTION] Soften
// [SECTION] Grow and shrink
// [SECTION] Conversions and selection by group or material
// [SECTION] Stored selections and edge lengths

#include "KSN_Mesh.h"
#include "KSN_SelectionBlocks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

constexpr uint32_t kHiddenOrLocked = QORPoly_Hidden | QORPoly_Locked;

float Clamp01(float w) { return std::clamp(w, 0.0f, 1.0f); }

// Writes value only when its bits differ: a record whose value stays is only
// read, so its memory need not be written back.
template <class T>
void StoreIfChanged(T& target, T value)
{
    if (std::memcmp(&target, &value, sizeof(T)) != 0) target = value;
}

}  // namespace

// ============================================================================
// [SECTION] Helpers
// ============================================================================

namespace {

// The neighbourhood questions every operation asks, with the table built once.
class TSelectionTopology {
public:
    explicit TSelectionTopology(TKSN_Mesh& mesh) : Mesh(mesh)
    {
        if (Mesh.vertexPolygons.GetRowCount() != Mesh.vertexCount)
            Mesh.BuildVertexPolygons();
    }

    bool VertexSkipped(int v) const { return (Mesh.VertexInfo[v].Flags & kHiddenOrLocked) != 0; }
    bool PolygonSkipped(int p) const { return (Mesh.PolygonFlags[p] & kHiddenOrLocked) != 0; }
    bool ValidVertex(int v) const { return v >= 0 && v < Mesh.vertexCount; }

    // The polygons of vertex v: Count() entries from Begin().
    int PolygonCountOf(int v) const
    {
        const int* row = Mesh.vertexPolygons.GetRow(v);
        return row ? row[0] : 0;
    }
    int PolygonOf(int v, int k) const { return Mesh.vertexPolygons.GetRow(v)[1 + k]; }

    int CornerCount(int p) const { return Mesh.Polygons[p].Points ? Mesh.Polygons[p].Count : 0; }
    int CornerVertex(int p, int k) const { return Mesh.GetEffectiveVertex(Mesh.Polygons[p].Points[k].V); }

    // The mean weight around vertex v (weights(u) gives u's weight): every
    // effective vertex of every polygon of v, v itself once per polygon,
    // hidden or locked vertices skipped; 0 when nothing counted. This is the
    // selection tools' vertex softening rule.
    template <class TWeight>
    float VertexAverage(int v, TWeight weights) const
    {
        double sum = 0.0;
        int count = 0;
        const int polygons = PolygonCountOf(v);
        for (int i = 0; i < polygons; ++i) {
            const int p = PolygonOf(v, i);
            bool selfCounted = false;
            const int corners = CornerCount(p);
            for (int k = 0; k < corners; ++k) {
                const int u = CornerVertex(p, k);
                if (!ValidVertex(u)) continue;
                if (u == v) {
                    if (selfCounted) continue;
                    selfCounted = true;
                }
                if (VertexSkipped(u)) continue;
                sum += weights(u);
                ++count;
            }
        }
        return count > 0 ? float(sum / count) : 0.0f;
    }

    // The mean weight of the polygons around polygon p (p itself included,
    // once per shared vertex), hidden or locked polygons skipped; 0 when none.
    float PolygonAverage(int p) const
    {
        double sum = 0.0;
        int count = 0;
        const int corners = CornerCount(p);
        for (int k = 0; k < corners; ++k) {
            const int u = CornerVertex(p, k);
            if (!ValidVertex(u)) continue;
            const int polygons = PolygonCountOf(u);
            for (int i = 0; i < polygons; ++i) {
                const int q = PolygonOf(u, i);
                if (PolygonSkipped(q)) continue;
                sum += Mesh.Polygons[q].Select;
                ++count;
            }
        }
        return count > 0 ? float(sum / count) : 0.0f;
    }

    TKSN_Mesh& Mesh;
};

// Mode 1 only raises, mode 2 only lowers, any other mode takes the value.
float ApplySoftenMode(float own, float softened, int mode)
{
    if (mode == 1) return std::max(own, softened);
    if (mode == 2) return std::min(own, softened);
    return softened;
}

}  // namespace

// ============================================================================
// [SECTION] Single weights and clearing
// ============================================================================

void TKSN_Mesh::SetVSelect(int vertex, float weight)
{
    if (vertex < 0 || vertex >= vertexCount) return;
    TQORVertexInfo& info = VertexInfo[vertex];
    if (!Welded || IgnoreWelding || info.WeldMaster == vertex) {
        info.Select = Clamp01(weight);
        return;
    }
    // A welded duplicate follows its master whatever it is given.
    const int master = info.WeldMaster;
    info.Select = (master >= 0 && master < vertexCount) ? Clamp01(VertexInfo[master].Select) : 0.0f;
}

void TKSN_Mesh::ClearSelection()
{
    InvalidateAllOctreeNodeDisplayLists();
    // Both sets are cleared whatever the selected lists say: lists still
    // marked valid may be stale, and a weight they do not list (below their
    // threshold) would otherwise survive the clear and come back as a
    // selected polygon at the next conversion.
    for (int v = 0; v < vertexCount; ++v) VertexInfo[v].Select = 0.0f;
    for (int p = 0; p < polygonCount; ++p) Polygons[p].Select = 0.0f;
}

// ============================================================================
// [SECTION] Soften
// ============================================================================

void TKSN_Mesh::SoftenSelection(bool normalise, int mode)
{
    TSelectionTopology topology(*this);
    std::vector<float> vertexValues(size_t(std::max(vertexCount, 0)), 0.0f);
    std::vector<float> polygonValues(size_t(std::max(polygonCount, 0)), 0.0f);

    // Vertices: every new value from the old weights, then written at once.
    float largestBefore = 0.0f, largestAfter = 0.0f;
    auto vertexWeight = [this](int u) { return VertexInfo[u].Select; };
    for (int v = 0; v < vertexCount; ++v) {
        if (topology.VertexSkipped(v)) continue;
        const float own = VertexInfo[v].Select;
        largestBefore = std::max(largestBefore, own);
        vertexValues[v] = ApplySoftenMode(own, topology.VertexAverage(v, vertexWeight), mode);
        largestAfter = std::max(largestAfter, vertexValues[v]);
    }
    float scale = (normalise && largestAfter > 1e-30f) ? largestBefore / largestAfter : 1.0f;
    for (int v = 0; v < vertexCount; ++v) VertexInfo[v].Select = Clamp01(scale * vertexValues[v]);

    // Polygons, with a scale of their own.
    largestBefore = largestAfter = 0.0f;
    for (int p = 0; p < polygonCount; ++p) {
        if (topology.PolygonSkipped(p)) continue;
        const float own = Polygons[p].Select;
        largestBefore = std::max(largestBefore, own);
        // Strength 1: the result is the average itself.
        polygonValues[p] = ApplySoftenMode(own, topology.PolygonAverage(p), mode);
        largestAfter = std::max(largestAfter, polygonValues[p]);
    }
    scale = (normalise && largestAfter > 1e-30f) ? largestBefore / largestAfter : 1.0f;
    for (int p = 0; p < polygonCount; ++p) Polygons[p].Select = Clamp01(scale * polygonValues[p]);

    CleanPolygonNeighbors();
}

void TKSN_Mesh::SoftenSelection(TKSN_Selection* selection, bool normalise, int mode)
{
    // Only a vertex selection has one value per vertex to soften.
    if (!selection || selection->GetSelectionType() != eSelectionType_Vertex) return;
    if (selection->IsCompressed()) selection->Expand();
    TSelectionTopology topology(*this);
    auto selectionWeight = [selection](int u) { return selection->GetVSelect(u); };

    float largestBefore = 0.0f, largestAfter = 0.0f;
    for (int v = 0; v < vertexCount; ++v) {
        if (topology.VertexSkipped(v)) continue;
        const float own = selection->GetVSelect(v);
        largestBefore = std::max(largestBefore, own);
        const float mean = topology.VertexAverage(v, selectionWeight);
        if (mode == 0)
            selection->SetVSelect(v, mean);
        else if (mode == 1 || mode == 2)
            selection->SetVSelect(v, Clamp01(ApplySoftenMode(own, mean, mode)));
        largestAfter = std::max(largestAfter, selection->GetVSelect(v));
    }
    if (normalise && largestAfter > 0.001f) {
        const float scale = largestBefore / largestAfter;
        for (int i = 0; i < selection->GetVCount(); ++i) selection->SetVSelect(i, selection->GetVSelect(i) * scale);
    }
}

// ============================================================================
// [SECTION] Grow and shrink
// ============================================================================

namespace {

// The new weight of every visible item, in two passes over the pool: first
// each item of the other kind folds pick over its neighbours' old weights
// from identity (a polygon over its corners, a vertex over its polygons),
// then each visible item folds pick over those, starting from its own weight.
// pick keeps its first operand unless the second is strictly better, so a
// fold comes out as the first best weight of its sequence, NaN skipped; folds
// of consecutive stretches from identity keep that sequence, so this equals
// the walk of every neighbour of every neighbour in order, bit for bit, −0
// and NaN included. Visible lists name each item once, so every item writes
// only its own weight.
// The fold of each item of the other kind, kept from call to call: fresh
// memory would cost a page fault every 4 KB of it.
float* FoldBuffer(size_t count)
{
    thread_local std::vector<float> buffer;
    if (buffer.size() < count) buffer.resize(count);
    return buffer.data();
}

template <class TPick>
void GrowOrShrinkByFolds(TKSN_Mesh& mesh, const TSelectionTopology& topology, TPick pick, float identity,
                         bool withBorder, int type)
{
    if (type == eSelectionType_Vertex) {
        const int visible = mesh.GetVisibleVertexCount();
        const size_t polygons = size_t(std::max(mesh.polygonCount, 0));
        float* around = FoldBuffer(polygons + 1);
        ksn_selection_blocks::ForBlocks(polygons, [&](size_t, size_t first, size_t end) {
            for (size_t p = first; p < end; ++p) {
                float value = identity;
                const int corners = topology.CornerCount(int(p));
                for (int c = 0; c < corners; ++c) {
                    const int u = topology.CornerVertex(int(p), c);
                    if (!topology.ValidVertex(u) || topology.VertexSkipped(u)) continue;
                    value = pick(value, mesh.VertexInfo[u].Select);
                }
                around[p] = value;
            }
        });
        // A visible list as long as the mesh names every vertex once, so the
        // vertices are then walked in index order instead: the same items,
        // with the vertex records and polygon rows read front to back.
        const int32_t* shown = visible == mesh.vertexCount ? nullptr : mesh.visibleVertices;
        ksn_selection_blocks::ForBlocks(size_t(std::max(visible, 0)), [&](size_t, size_t first, size_t end) {
            for (size_t k = first; k < end; ++k) {
                const int v = shown ? shown[k] : int(k);
                if (!topology.ValidVertex(v) || topology.VertexSkipped(v)) continue;
                const bool border = withBorder && (mesh.VertexInfo[v].Flags & QORVertex_OpenEdge) != 0;
                float value = border ? 0.0f : mesh.VertexInfo[v].Select;
                // The row once: the weight writes below could otherwise make
                // the compiler fetch it again for every polygon.
                if (const int* row = mesh.vertexPolygons.GetRow(v))
                    for (int i = 1; i <= row[0]; ++i) value = pick(value, around[size_t(row[i])]);
                mesh.VertexInfo[v].Select = Clamp01(value);
            }
        });
        return;
    }
    const int visible = mesh.GetVisiblePolygonCount();
    const size_t vertices = size_t(std::max(mesh.vertexCount, 0));
    float* around = FoldBuffer(vertices + 1);
    ksn_selection_blocks::ForBlocks(vertices, [&](size_t, size_t first, size_t end) {
        for (size_t u = first; u < end; ++u) {
            float value = identity;
            const int count = topology.PolygonCountOf(int(u));
            for (int i = 0; i < count; ++i) {
                const int q = topology.PolygonOf(int(u), i);
                if (topology.PolygonSkipped(q)) continue;
                value = pick(value, mesh.Polygons[q].Select);
            }
            around[u] = value;
        }
    });
    auto valid = [&mesh](int p) { return p >= 0 && p < mesh.polygonCount; };
    // As for vertices: a full visible list is walked in index order.
    const int32_t* shown = visible == mesh.polygonCount ? nullptr : mesh.visiblePolygons;
    ksn_selection_blocks::ForBlocks(size_t(std::max(visible, 0)), [&](size_t, size_t first, size_t end) {
        for (size_t k = first; k < end; ++k) {
            const int p = shown ? shown[k] : int(k);
            if (!valid(p) || topology.PolygonSkipped(p)) continue;
            const int corners = topology.CornerCount(p);
            bool border = false;
            if (withBorder)
                for (int c = 0; c < corners && !border; ++c) {
                    const int u = topology.CornerVertex(p, c);
                    border = topology.ValidVertex(u) && (mesh.VertexInfo[u].Flags & QORVertex_OpenEdge) != 0;
                }
            float value = border ? 0.0f : mesh.Polygons[p].Select;
            for (int c = 0; c < corners; ++c) {
                const int u = topology.CornerVertex(p, c);
                if (topology.ValidVertex(u)) value = pick(value, around[size_t(u)]);
            }
            mesh.Polygons[p].Select = Clamp01(value);
        }
    });
}

// One pass of grow or shrink over the visible items of the application's
// selection type. pick chooses between two weights (max grows, min shrinks;
// identity is the weight pick never takes); withBorder starts an item
// touching the open border from 0 (shrink).
template <class TPick>
void GrowOrShrink(TKSN_Mesh& mesh, TPick pick, float identity, bool withBorder)
{
    TSelectionTopology topology(mesh);
    const int type = KSN_MeshApp_GetSelectionType();
    if (type == eSelectionType_Vertex || type == eSelectionType_Polygon)
        GrowOrShrinkByFolds(mesh, topology, pick, identity, withBorder, type);
}

}  // namespace

void TKSN_Mesh::GrowSelection()
{
    GrowOrShrink(*this, [](float a, float b) { return std::max(a, b); }, -std::numeric_limits<float>::infinity(), false);
}

void TKSN_Mesh::ShrinkSelection()
{
    GrowOrShrink(*this, [](float a, float b) { return std::min(a, b); }, std::numeric_limits<float>::infinity(), true);
}

// ============================================================================
// [SECTION] Conversions and selection by group or material
// ============================================================================

namespace {

// The conversion of polygons first..end. The weld map and the corner marks
// are template switches, so the common loop (no weld, no marks) carries
// neither test and more polygons' loads fit in flight at once.
// With kUniform every vertex weighs uniform and none is hidden or locked, so
// a usable corner is any corner naming a vertex and its record is not read.
template <bool kWelded, bool kMarks, bool kUniform = false>
void ConvertPolygonBlock(TQORPolyMesh& mesh, size_t first, size_t end, uint8_t* marks, const int32_t* sourceMap,
                         uint32_t clearFlags, uint8_t* weighted, float uniform = 0.0f)
{
    static_assert(!kUniform || (!kWelded && !kMarks), "the uniform walk reads no vertex record");
    using namespace ksn_selection_blocks;
    const int vertices = mesh.vertexCount;
    const TQORVertexInfo* info = mesh.VertexInfo;
    TQORPolygon* polygons = mesh.Polygons;
    uint32_t* polygonFlags = mesh.PolygonFlags;
    for (size_t p = first; p < end; ++p) {
        TQORPolygon& polygon = polygons[p];
        const TQORPolygonPoint* points = polygon.Points;
        const int corners = points ? int(polygon.Count) : 0;
        const uint32_t flags = polygonFlags[p];
        if (clearFlags) StoreIfChanged(polygonFlags[p], flags & ~clearFlags);
        const bool usable = (flags & kHiddenOrLocked) == 0;
        // One walk of the corners serves the mark and the weight.
        uint8_t mark = corners <= 0 ? kCornerSelected : 0;
        bool any = false;
        float smallest = 0.0f;
        int k = 0;
        if constexpr (!kWelded && !kMarks && !kUniform) {
            // A quad of four usable vertices, the common case, in one step
            // with one test for all four instead of one per corner: fewer
            // instructions a polygon leave room for more polygons' loads in
            // flight. The same minimum in corner order; any other polygon
            // takes the walk below.
            if (corners == 4 && usable) {
                const uint32_t v0 = uint32_t(points[0].V), v1 = uint32_t(points[1].V);
                const uint32_t v2 = uint32_t(points[2].V), v3 = uint32_t(points[3].V);
                if (std::max(std::max(v0, v1), std::max(v2, v3)) < uint32_t(std::max(vertices, 0))) {
                    const TQORVertexInfo &a = info[v0], &b = info[v1], &c = info[v2], &d = info[v3];
                    if (((a.Flags | b.Flags | c.Flags | d.Flags) & kHiddenOrLocked) == 0) {
                        smallest = std::min(std::min(std::min(a.Select, b.Select), c.Select), d.Select);
                        any = true;
                        k = corners;
                    }
                }
            }
        }
        for (; k < corners; ++k) {
            const int v = points[k].V;
            int u = v;
            if constexpr (kWelded) u = (v >= 0 && v < vertices) ? info[v].WeldMaster : v;
            if (u < 0 || u >= vertices) continue;
            if constexpr (kUniform) {
                // Every corner answers the same, so the first valid one is enough.
                smallest = uniform;
                any = usable;
                break;
            }
            if (usable && (info[u].Flags & kHiddenOrLocked) == 0) {
                smallest = any ? std::min(smallest, info[u].Select) : info[u].Select;
                any = true;
            }
            if constexpr (kMarks) {
                if (sourceMap && sourceMap[u] >= 0 && sourceMap[u] < vertices) u = sourceMap[u];
                const float a = std::fabs(info[u].Select);
                if (a > kCornerStrongWeight) mark |= kCornerStrong;
                if (a >= kCornerSelectedWeight) mark |= kCornerSelected;
            }
        }
        if constexpr (kMarks) marks[p] = mark;
        const float value = any ? Clamp01(smallest) : 0.0f;
        StoreIfChanged(polygon.Select, value);
        if (weighted) weighted[p] = value > 1e-30f ? 1 : 0;
    }
}

}  // namespace

void ksn_selection_blocks::ConvertVerticesToPolygons(TQORPolyMesh& mesh, uint8_t* marks, const int32_t* sourceMap,
                                                     uint32_t clearFlags, uint8_t* weighted,
                                                     const float* uniformWeight)
{
    // Each polygon reads only vertex weights and writes only its own weight,
    // flags and mark, so the polygons are split over the pool on a large mesh.
    const bool welded = mesh.Welded && !mesh.IgnoreWelding;
    const bool uniform = uniformWeight && !welded && !marks;
    ForBlocks(size_t(std::max(mesh.polygonCount, 0)), [&](size_t, size_t first, size_t end) {
        if (uniform)
            ConvertPolygonBlock<false, false, true>(mesh, first, end, marks, sourceMap, clearFlags, weighted,
                                                   *uniformWeight);
        else if (welded && marks)
            ConvertPolygonBlock<true, true>(mesh, first, end, marks, sourceMap, clearFlags, weighted);
        else if (welded)
            ConvertPolygonBlock<true, false>(mesh, first, end, marks, sourceMap, clearFlags, weighted);
        else if (marks)
            ConvertPolygonBlock<false, true>(mesh, first, end, marks, sourceMap, clearFlags, weighted);
        else
            ConvertPolygonBlock<false, false>(mesh, first, end, marks, sourceMap, clearFlags, weighted);
    });
}

void TKSN_Mesh::ConvertSelectedVerticesToPolygons()
{
    ksn_selection_blocks::ConvertVerticesToPolygons(*this, nullptr, nullptr, 0);
}

void TKSN_Mesh::ConvertSelectedPolygonsToVertices()
{
    for (int v = 0; v < vertexCount; ++v) VertexInfo[v].Select = 0.0f;
    for (int p = 0; p < polygonCount; ++p) {
        const TQORPolygon& polygon = Polygons[p];
        if ((PolygonFlags[p] & kHiddenOrLocked) != 0 || !polygon.Points) continue;
        for (int k = 0; k < polygon.Count; ++k) {
            const int u = GetEffectiveVertex(polygon.Points[k].V);
            if (u < 0 || u >= vertexCount || (VertexInfo[u].Flags & kHiddenOrLocked) != 0) continue;
            VertexInfo[u].Select = Clamp01(std::max(VertexInfo[u].Select, polygon.Select));
        }
    }
}

namespace {

// The vertices of every visible, unlocked polygon that match get the weight,
// through the weld rule of SetVSelect.
template <class TMatch>
void SelectPolygonVertices(TKSN_Mesh& mesh, TMatch matches, float weight)
{
    for (int p = 0; p < mesh.polygonCount; ++p) {
        const TQORPolygon& polygon = mesh.Polygons[p];
        if ((mesh.PolygonFlags[p] & kHiddenOrLocked) != 0 || !polygon.Points || !matches(polygon)) continue;
        for (int k = 0; k < polygon.Count; ++k) mesh.SetVSelect(mesh.GetEffectiveVertex(polygon.Points[k].V), weight);
    }
}

}  // namespace

void TKSN_Mesh::SelectGroup(int group, float weight)
{
    SelectPolygonVertices(*this, [group](const TQORPolygon& p) { return p.Group == group; }, weight);
}

void TKSN_Mesh::SelectMaterial(int material, float weight)
{
    SelectPolygonVertices(*this, [material](const TQORPolygon& p) { return p.Material == material; }, weight);
}

// ============================================================================
// [SECTION] Stored selections and edge lengths
// ============================================================================

void TKSN_Mesh::StoreCurrentSelectionValues(TKSN_Selection* selection, bool bracket)
{
    if (!selection) return;
    if (bracket) BeginUsingSelection(selection);
    const int type = KSN_MeshApp_GetSelectionType();
    selection->SetSelectionType(eSelectionType(type));
    selection->Expand();
    if (type == eSelectionType_Vertex) {
        selection->SetVCount(vertexCount);
        for (int v = 0; v < vertexCount; ++v) selection->SetVSelect(v, VertexInfo[v].Select);
    } else if (type == eSelectionType_Polygon) {
        selection->SetVCount(polygonCount);
        for (int p = 0; p < polygonCount; ++p) selection->SetVSelect(p, Polygons[p].Select);
    }
    if (bracket) selection->NotInUse("EndUsingSelection");
}

void TKSN_Mesh::CalculateMaxEdgeLength()
{
    MaxEdgeLength = 0.0f;
    MinEdgeLength = 0.0f;
    if (GetSelectedVertexCount() < 1 || !SelectedVertices || !resolvedVertices) return;
    TSelectionTopology topology(*this);
    float longest = 0.0f;
    // The shortest starts above every length, so that it can take the first one.
    float shortest = std::numeric_limits<float>::max();
    for (int i = 0; i < SelectedVertexCount; ++i) {
        const int v = SelectedVertices[i];
        if (!topology.ValidVertex(v)) continue;
        const float* a = resolvedVertices + 3 * size_t(v);
        const int polygons = topology.PolygonCountOf(v);
        for (int j = 0; j < polygons; ++j) {
            const int p = topology.PolygonOf(v, j);
            const int corners = topology.CornerCount(p);
            for (int k = 0; k < corners; ++k) {
                const int u = topology.CornerVertex(p, k);
                if (u == v || !topology.ValidVertex(u)) continue;
                const float* b = resolvedVertices + 3 * size_t(u);
                const float d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) +
                                          (a[2] - b[2]) * (a[2] - b[2]));
                longest = std::max(longest, d);
                shortest = std::min(shortest, d);
            }
        }
    }
    if (shortest == std::numeric_limits<float>::max()) return;
    MaxEdgeLength = longest;
    MinEdgeLength = shortest;
}
