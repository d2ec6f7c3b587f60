// The brush's restriction to the surface connected to the point under the
// cursor. A project switch turns it on (nothing in the interface does by
// default). At a press the nearest visible vertex under the brush seeds a
// flood that flags (0x20) every polygon reachable over vertices that are on
// screen and not culled; a vertex counts as part of the surface when it is a
// corner of a flagged polygon.
#include "KSN_Brush.h"

#include <cmath>
#include <vector>

#include "KSN_Mesh.h"
#include "KSN_Viewport.h"

int LocalPointsSkipped = 0;

namespace {

constexpr uint32_t FloodedPolygon = 0x20;

bool SurfaceOnly()
{
    const auto on = KSN_GetToolProjectHooks().IsConnectedSurfaceOnly;
    return on && on();
}

bool IsCulled(TKSN_Brush* brush, TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex)
{
    if (brush->GetEffectiveCullingMethod() == 0) return false;
    const auto culled = KSN_GetToolProjectHooks().IsVertexCulled;
    return culled && culled(mesh, viewport, vertex);
}

// Screen x, y (normalised) and depth of a vertex through the viewport's combined matrix.
bool ToScreen(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex, float* out)
{
    const float* p = mesh->resolvedVertices ? mesh->resolvedVertices + 3 * vertex
                                            : (mesh->baseVertices ? mesh->baseVertices + 3 * vertex : nullptr);
    if (!p) return false;
    const float* m = viewport->CombinedMatrix;
    float w = m[3] * p[0] + m[7] * p[1] + m[11] * p[2] + m[15];
    if (std::fabs(w) < 1e-30f) w = 1.0f;
    for (int r = 0; r < 3; ++r) out[r] = (m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r]) / w;
    return true;
}

bool IsHiddenOrLocked(TKSN_Mesh* mesh, int vertex)
{
    return mesh->VertexInfo && (mesh->VertexInfo[vertex].Flags & (QORPoly_Hidden | QORPoly_Locked)) != 0;
}

// The smallest depth of the usable vertices within the brush of the point; -1 when none.
int NearestVertexUnderBrush(TKSN_Brush* brush, TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy,
                            float& depth)
{
    int nearest = -1;
    depth = 1e30f;
    const int visible = mesh->GetVisibleVertexCount();
    const float size = brush->GetSize();
    for (int i = 0; i < visible; ++i) {
        const int v = mesh->visibleVertices[i];
        if (IsHiddenOrLocked(mesh, v) || IsCulled(brush, mesh, viewport, v)) continue;
        float s[3];
        if (!ToScreen(mesh, viewport, v, s)) continue;
        const float dx = s[0] - fx, dy = (s[1] - fy) * viewport->Aspect;
        if (dx * dx + dy * dy > size * size || s[2] >= depth) continue;
        depth = s[2];
        nearest = v;
    }
    return nearest;
}

void EnsureVertexPolygons(TKSN_Mesh* mesh)
{
    if (mesh->vertexPolygons.GetRowCount() != mesh->GetVCount()) mesh->BuildVertexPolygons();
}

} // namespace

void TKSN_Brush::EnableVerticesForPainting(TKSN_Brush* brush, TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex,
                                           float, float, int)
{
    if (!brush || !mesh || !viewport || !mesh->PolygonFlags) return;
    EnsureVertexPolygons(mesh);
    // An explicit stack: a large surface must not exhaust the call stack.
    std::vector<int> pending{vertex};
    while (!pending.empty()) {
        const int v = pending.back();
        pending.pop_back();
        float s[3];
        if (IsCulled(brush, mesh, viewport, v) || !ToScreen(mesh, viewport, v, s)) continue;
        if (s[0] < -1.0f || s[0] > 1.0f || s[1] < -1.0f || s[1] > 1.0f) continue;
        const int* row = mesh->vertexPolygons[v];
        for (int k = 1; k <= row[0]; ++k) {
            const int polygon = row[k];
            if (mesh->PolygonFlags[polygon] & FloodedPolygon) continue;
            mesh->PolygonFlags[polygon] |= FloodedPolygon;
            const TQORPolygon& p = mesh->Polygons[polygon];
            for (int c = 0; c < p.Count; ++c) {
                const int corner = mesh->GetEffectiveVertex(p.Points[c].V);
                if (corner != v && corner >= 0 && corner < mesh->GetVCount()) pending.push_back(corner);
            }
        }
    }
}

void TKSN_Brush::ProcessLocalPoints_OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!SurfaceOnly() || !mesh || !viewport) return;
    NearestDepth = 1e30f;
    if (mesh->PolygonFlags)
        for (int p = 0; p < mesh->GetPCount(); ++p) mesh->PolygonFlags[p] &= ~FloodedPolygon;
    float depth = 1e30f;
    const int seed = NearestVertexUnderBrush(this, mesh, viewport, fx, fy, depth);
    if (seed < 0) return;
    NearestDepth = depth;
    EnableVerticesForPainting(this, mesh, viewport, seed, fx, fy, 0);
}

void TKSN_Brush::ProcessLocalPoints_OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!SurfaceOnly() || !mesh || !viewport) return;
    float depth = 1e30f;
    NearestVertexUnderBrush(this, mesh, viewport, fx, fy, depth);
    NearestDepth = depth;
}

bool TKSN_Brush::IsPointCulled(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex)
{
    if (!SurfaceOnly()) {
        const auto culled = KSN_GetToolProjectHooks().IsVertexCulled;
        return culled && culled(mesh, viewport, vertex);
    }
    if (!mesh || !mesh->PolygonFlags || vertex < 0 || vertex >= mesh->GetVCount()) return true;
    EnsureVertexPolygons(mesh);
    const int* row = mesh->vertexPolygons[vertex];
    for (int k = 1; k <= row[0]; ++k)
        if (mesh->PolygonFlags[row[k]] & FloodedPolygon) return false;
    ++LocalPointsSkipped;
    return true;
}
