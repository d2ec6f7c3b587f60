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

#include <algorithm>
#include <atomic>
#include <cmath>
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
    for (int v = 0; v < vertexCount; ++v) {
        const int* row = vertexPolygons[v];
        bool hidden = true;
        for (int i = 1; i <= row[0] && hidden; ++i)
            if (row[i] < polygonCount) hidden = (PolygonFlags[row[i]] & QORPoly_Hidden) != 0;
        if (hidden)
            VertexInfo[v].Flags |= QORPoly_Hidden;
        else
            VertexInfo[v].Flags &= ~uint32_t(QORPoly_Hidden);
    }

    int shown = 0;
    for (int p = 0; p < polygonCount; ++p)
        if (!(PolygonFlags[p] & QORPoly_Hidden)) ++shown;
    if (shown > 0) {
        visiblePolygons = AllocateIndexList(shown);
        for (int p = 0; p < polygonCount; ++p) {
            const uint32_t layers = GetPolyLayerFlags(p);
            UsedLayerMask |= layers;
            if (PolygonFlags[p] & QORPoly_Hidden) continue;
            visiblePolygons[visiblePolygonCount++] = p;
            VisibleLayerMask |= layers;
        }
    }

    int shownVertices = 0;
    for (int v = 0; v < vertexCount; ++v)
        if (!(VertexInfo[v].Flags & QORPoly_Hidden)) ++shownVertices;
    if (shownVertices > 0) {
        visibleVertices = AllocateIndexList(shownVertices);
        for (int v = 0; v < vertexCount; ++v)
            if (!(VertexInfo[v].Flags & QORPoly_Hidden)) visibleVertices[visibleVertexCount++] = v;
    }

    GroupByMaterial(*this);
}

// ---------------------------------------------------------------------------
// [SECTION] Texture-coordinate utilities
// ---------------------------------------------------------------------------

void TQORPolyMesh::FixUVMapping()
{
    for (int i = 0; i < 3 * vertexCount; ++i)
        if (!std::isfinite(baseVertices[i])) baseVertices[i] = 0.0f;
    for (int i = 0; i < 2 * tVertexCount; ++i)
        if (!std::isfinite(tVertices[i])) tVertices[i] = 0.0f;

    const int missingTextureVertex = tVertexCount > 0 ? 0 : -1;
    for (int p = 0; p < polygonCount; ++p) {
        TQORPolygon& poly = Polygons[p];
        if (!poly.Points || poly.Count <= 0) continue;
        // Corners naming no vertex are dropped in place; the array keeps its
        // pool slot (PointsCapacity), only Count shrinks.
        int kept = 0;
        for (int k = 0; k < poly.Count; ++k) {
            TQORPolygonPoint corner = poly.Points[k];
            if (corner.V < 0 || corner.V >= vertexCount) continue;
            if (corner.VT < 0 || corner.VT >= tVertexCount) corner.VT = missingTextureVertex;
            poly.Points[kept++] = corner;
        }
        poly.Count = int16_t(kept);
    }
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
