// TQORPolyMesh: the visible-polygon and visible-vertex lists with the two
// layer masks, and the texture-coordinate utilities (repair after a raw
// build, normalising into the unit square, per-viewport arrays).
//
// A visible polygon is one whose hidden bit is clear, whatever its locked bit
// or layers say; a visible vertex is one that at least one visible polygon
// uses. The vertices' hidden bits are derived data, rewritten by every
// BuildVisiblePolygons(false). The visible-polygon list is grouped by
// material (none first, then 0, 1, ...), stable within a material, unless a
// visible polygon names a material the mesh does not have.
//
// Main thread only; the octree and the background culler read the lists, so
// whoever discards them cancels the viewport-dependent work first.
//
// Index
//   [SECTION] Visible lists
//   [SECTION] Texture-coordinate utilities
//   [SECTION] Per-viewport texture coordinates
#include "QORPolyMesh.h"
#include "QORPolyMesh_Visible.h"

#include "KSN_ParallelBlocks.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <vector>

// ---------------------------------------------------------------------------
// [SECTION] Visible lists
// ---------------------------------------------------------------------------

namespace {

int32_t* AllocateIndexList(int count)
{
    return static_cast<int32_t*>(QORalloc(uint64_t(count) * sizeof(int32_t)));
}

// Stable grouping of the visible polygons by material −1 .. materialCount − 1
// (a counting sort: the same order as one pass per material, in one pass).
// Left in index order when a polygon names a material outside that range.
void GroupByMaterial(TQORPolyMesh& mesh)
{
    const int n = mesh.visiblePolygonCount;
    if (n <= 0) return;
    const int materials = mesh.Materials ? mesh.Materials->GetItemCount() : 0;
    std::vector<int> start(size_t(materials) + 2, 0);   // bucket j + 1 holds material j
    for (int i = 0; i < n; ++i) {
        const int m = mesh.Polygons[mesh.visiblePolygons[i]].Material;
        if (m < -1 || m >= materials) return;
        ++start[size_t(m + 2)];
    }
    for (size_t j = 1; j < start.size(); ++j) start[j] += start[j - 1];
    std::vector<int32_t> grouped(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int p = mesh.visiblePolygons[i];
        grouped[size_t(start[size_t(mesh.Polygons[p].Material + 1)]++)] = p;
    }
    std::copy(grouped.begin(), grouped.end(), mesh.visiblePolygons);
}

// What one block of vertices and polygons shows.
struct TVisibleBlock {
    int Vertices = 0;
    int Polygons = 0;
    uint32_t UsedLayers = 0;
    uint32_t VisibleLayers = 0;
    int LowMaterial = INT32_MAX;   // over the shown polygons
    int HighMaterial = INT32_MIN;
};

constexpr size_t kVisibleBlock = 16384;

// job(b, first, end) for every block b of kVisibleBlock items of 0..count, on
// the pool when it is free; each block writes only its own items and sums.
template <class Job>
void RunFixedBlocks(size_t count, Job& job)
{
    const size_t blocks = (count + kVisibleBlock - 1) / kVisibleBlock;
    auto run = [&](size_t firstBlock, size_t endBlock) {
        for (size_t b = firstBlock; b < endBlock; ++b)
            job(b, b * kVisibleBlock, std::min(count, (b + 1) * kVisibleBlock));
    };
    KSN_RunInBlocks(blocks, 1, run);
}

}  // namespace

void TQORPolyMesh::BuildVisiblePolygons(bool all)
{
    TKSN_MeshRoot::BuildVisiblePolygons(all);
    VisibleLayerMask = 0;
    UsedLayerMask = 0;
    QORfree(visiblePolygons);
    visiblePolygons = nullptr;
    visiblePolygonCount = 0;
    QORfree(visibleVertices);
    visibleVertices = nullptr;
    visibleVertexCount = 0;

    if (all) {
        for (int v = 0; v < vertexCount; ++v) VertexInfo[v].Flags &= ~uint32_t(QORPoly_Hidden);
        if (polygonCount > 0) {
            visiblePolygons = AllocateIndexList(polygonCount);
            for (int p = 0; p < polygonCount; ++p) {
                visiblePolygons[p] = p;
                UsedLayerMask |= GetPolyLayerFlags(p);
            }
            VisibleLayerMask = UsedLayerMask;
            visiblePolygonCount = polygonCount;
        }
        if (vertexCount > 0) {
            visibleVertices = AllocateIndexList(vertexCount);
            for (int v = 0; v < vertexCount; ++v) visibleVertices[v] = v;
            visibleVertexCount = vertexCount;
        }
        GroupByMaterial(*this);
        return;
    }

    // The hidden bits come from the vertex-to-polygon table; a table of another
    // vertex count (emptied, or left from before a resize) would hide vertices
    // that visible polygons use, or name polygons that no longer exist.
    if (vertexPolygons.GetRowCount() != vertexCount) BuildVertexPolygons();

    // Two passes over fixed blocks of vertices and polygons: the hidden bits
    // and what each block shows, then the lists filled from the blocks'
    // running totals, in index order as one walk would fill them.
    const size_t items = size_t(std::max({vertexCount, polygonCount, 0}));
    const size_t blocks = (items + kVisibleBlock - 1) / kVisibleBlock;
    std::vector<TVisibleBlock> block(blocks);
    auto look = [&](size_t b, size_t first, size_t end) {
        TVisibleBlock& sums = block[b];
        for (size_t v = std::min(first, size_t(vertexCount)), last = std::min(end, size_t(vertexCount)); v < last;
             ++v) {
            const int* row = vertexPolygons[int(v)];
            bool hidden = true;
            for (int i = 1; i <= row[0] && hidden; ++i)
                if (row[i] < polygonCount) hidden = (PolygonFlags[row[i]] & QORPoly_Hidden) != 0;
            uint32_t& flags = VertexInfo[v].Flags;
            if (hidden) {
                flags |= QORPoly_Hidden;
            } else {
                flags &= ~uint32_t(QORPoly_Hidden);
                ++sums.Vertices;
            }
        }
        for (size_t p = std::min(first, size_t(polygonCount)), last = std::min(end, size_t(polygonCount)); p < last;
             ++p) {
            const uint32_t layers = GetPolyLayerFlags(int(p));
            sums.UsedLayers |= layers;
            if (PolygonFlags[p] & QORPoly_Hidden) continue;
            ++sums.Polygons;
            sums.VisibleLayers |= layers;
            const int m = Polygons[p].Material;
            sums.LowMaterial = std::min(sums.LowMaterial, m);
            sums.HighMaterial = std::max(sums.HighMaterial, m);
        }
    };
    RunFixedBlocks(items, look);

    int shown = 0, shownVertices = 0, lowMaterial = INT32_MAX, highMaterial = INT32_MIN;
    uint32_t usedLayers = 0;
    for (TVisibleBlock& sums : block) {
        usedLayers |= sums.UsedLayers;
        VisibleLayerMask |= sums.VisibleLayers;
        lowMaterial = std::min(lowMaterial, sums.LowMaterial);
        highMaterial = std::max(highMaterial, sums.HighMaterial);
        const int p = sums.Polygons, v = sums.Vertices;
        sums.Polygons = shown;   // from here on: the block's first place in each list
        sums.Vertices = shownVertices;
        shown += p;
        shownVertices += v;
    }
    // The layers in use are gathered only over a mesh that shows something.
    if (shown > 0) {
        UsedLayerMask = usedLayers;
        visiblePolygons = AllocateIndexList(shown);
    }
    if (shownVertices > 0) visibleVertices = AllocateIndexList(shownVertices);
    visiblePolygonCount = shown;
    visibleVertexCount = shownVertices;
    auto list = [&](size_t b, size_t first, size_t end) {
        int32_t* polygonsOut = visiblePolygons + block[b].Polygons;
        int32_t* verticesOut = visibleVertices + block[b].Vertices;
        for (size_t p = std::min(first, size_t(polygonCount)), last = std::min(end, size_t(polygonCount)); p < last;
             ++p)
            if (!(PolygonFlags[p] & QORPoly_Hidden)) *polygonsOut++ = int32_t(p);
        for (size_t v = std::min(first, size_t(vertexCount)), last = std::min(end, size_t(vertexCount)); v < last;
             ++v)
            if (!(VertexInfo[v].Flags & QORPoly_Hidden)) *verticesOut++ = int32_t(v);
    };
    RunFixedBlocks(items, list);

    // Polygons of one material are grouped already.
    if (lowMaterial != highMaterial) GroupByMaterial(*this);
}

// ---------------------------------------------------------------------------
// [SECTION] Texture-coordinate utilities
// ---------------------------------------------------------------------------

void TQORPolyMesh::FixUVMapping()
{
    // Vertices, texture vertices and polygons are repaired in one pass over
    // the largest of the three ranges; each item is its own business, so the
    // blocks run side by side.
    const int missingTextureVertex = tVertexCount > 0 ? 0 : -1;
    auto repair = [&](size_t first, size_t end) {
        for (size_t i = 3 * std::min(first, size_t(vertexCount)), last = 3 * std::min(end, size_t(vertexCount));
             i < last; ++i)
            if (!std::isfinite(baseVertices[i])) baseVertices[i] = 0.0f;
        for (size_t i = 2 * std::min(first, size_t(tVertexCount)), last = 2 * std::min(end, size_t(tVertexCount));
             i < last; ++i)
            if (!std::isfinite(tVertices[i])) tVertices[i] = 0.0f;
        for (size_t p = std::min(first, size_t(polygonCount)), last = std::min(end, size_t(polygonCount)); p < last;
             ++p) {
            TQORPolygon& poly = Polygons[p];
            if (!poly.Points || poly.Count <= 0) continue;
            // Corners naming no vertex are dropped in place; the array keeps its
            // pool slot (PointsCapacity), only Count shrinks.
            // Sound corners are left unwritten, so a sound mesh is only read.
            int kept = 0;
            for (int k = 0; k < poly.Count; ++k) {
                TQORPolygonPoint corner = poly.Points[k];
                if (corner.V < 0 || corner.V >= vertexCount) continue;
                if (corner.VT < 0 || corner.VT >= tVertexCount) corner.VT = missingTextureVertex;
                if (kept != k || corner.VT != poly.Points[k].VT) poly.Points[kept] = corner;
                ++kept;
            }
            if (kept != poly.Count) poly.Count = int16_t(kept);
        }
    };
    const int items = std::max({vertexCount, tVertexCount, polygonCount, 0});
    KSN_RunInBlocks(size_t(items), 16384, repair);
}

void TQORPolyMesh::NormalizeUVs(const float* margin, bool markedOnly)
{
    if (tVertexCount <= 0) return;
    const float marginU = margin ? margin[0] : 0.0f;
    const float marginV = margin ? margin[1] : 0.0f;

    std::vector<char> chosen(static_cast<size_t>(tVertexCount), markedOnly ? 0 : 1);
    if (markedOnly) {
        // A texture vertex shared by marked and unmarked polygons follows the
        // last polygon, in index order, that uses it.
        for (int p = 0; p < polygonCount; ++p) {
            const TQORPolygon& poly = Polygons[p];
            if (!poly.Points) continue;
            const char marked = (PolygonFlags[p] & QORPoly_Custom) ? 1 : 0;
            for (int k = 0; k < poly.Count; ++k) {
                const int vt = poly.Points[k].VT;
                if (vt >= 0 && vt < tVertexCount) chosen[size_t(vt)] = marked;
            }
        }
    }

    bool any = false;
    float umin = 0, vmin = 0, umax = 0, vmax = 0;
    for (int i = 0; i < tVertexCount; ++i) {
        if (!chosen[size_t(i)]) continue;
        const float u = tVertices[2 * i], v = tVertices[2 * i + 1];
        if (!any) {
            umin = umax = u;
            vmin = vmax = v;
            any = true;
            continue;
        }
        umin = std::min(umin, u);
        umax = std::max(umax, u);
        vmin = std::min(vmin, v);
        vmax = std::max(vmax, v);
    }
    if (!any) return;

    const float ou = umin - marginU, ov = vmin - marginV;
    float eu = (umax + marginU) - ou, ev = (vmax + marginV) - ov;
    if (eu < 1e-30f) eu = 1.0f;
    if (ev < 1e-30f) ev = 1.0f;
    for (int i = 0; i < tVertexCount; ++i) {
        if (!chosen[size_t(i)]) continue;
        tVertices[2 * i] = (tVertices[2 * i] - ou) / eu;
        tVertices[2 * i + 1] = (tVertices[2 * i + 1] - ov) / ev;
    }
}

// ---------------------------------------------------------------------------
// [SECTION] Per-viewport texture coordinates
// ---------------------------------------------------------------------------

namespace {
std::atomic<TKSN_ViewportShownFunc> ViewportShownQuery{nullptr};
}  // namespace

void KSN_SetViewportShownQuery(TKSN_ViewportShownFunc query)
{
    ViewportShownQuery.store(query);
}

bool KSN_IsViewportShown(int viewport)
{
    TKSN_ViewportShownFunc query = ViewportShownQuery.load();
    return query ? query(viewport) : false;
}

void TQORPolyMesh::SetActiveUVWs(int viewport)
{
    if (viewport < 0 || viewport >= KSN_VIEWPORT_COUNT) return;
    if (!ViewportUVWs[viewport] && vertexCount > 0)
        ViewportUVWs[viewport] = static_cast<float*>(QORalloc(uint64_t(vertexCount) * 3 * sizeof(float)));
    // The arrays of viewports still on screen stay, so switching back costs nothing.
    for (int j = 0; j < KSN_VIEWPORT_COUNT; ++j) {
        if (j == viewport || !ViewportUVWs[j] || KSN_IsViewportShown(j)) continue;
        QORfree(ViewportUVWs[j]);
        ViewportUVWs[j] = nullptr;
    }
}
