// Summaries of what is selected or shown: the selection's box, its weighted
// position and normal, the depth of the look-at point, the box the
// viewports' projections are fitted to and the world dimensions. Main thread;
// nothing changes but the outputs, the world fields, the current viewport's
// look-at point and the meshes' active symmetry maps.
#include "KSN_Project.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Viewport.h"

namespace {

constexpr uint32_t kHiddenOrLocked = QORPoly_Hidden | QORPoly_Locked;
constexpr float kSelectedMinimum = 0.0499f;

void Transform(const float* m, const float* p, float* out)
{
    out[0] = m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
    out[1] = m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
    out[2] = m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14];
}

// Widens min..max by p; the first point sets both.
void Widen(float* min, float* max, const float* p, bool& first)
{
    for (int c = 0; c < 3; ++c) {
        if (first || p[c] < min[c]) min[c] = p[c];
        if (first || p[c] > max[c]) max[c] = p[c];
    }
    first = false;
}

} // namespace

// Calls visit with the mesh of every object that has a selection the tools
// may act on: affectable, not completely locked, at least one selected vertex.
// With symmetric (and the project's symmetry on) the mesh's symmetry maps are
// made active first.
static void ForEachQualifyingMesh(TKSN_Project& project, bool symmetric, const std::function<void(TKSN_Mesh*)>& visit)
{
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(project.GetObjectList());
    for (TKSN_Object* object : *objects) {
        if (!object || !object->Mesh || !project.CanAffectObject(object)) continue;
        if (object->GetCustomBooleanProperty("COMPLETELY_LOCKED")) continue;
        TKSN_Mesh* mesh = object->Mesh.get();
        if (mesh->GetSelectedVertexCount() <= 0) continue;
        if (symmetric) project.SetActiveSymmetryMapForMesh(mesh);
        visit(mesh);
    }
}

// The vertex whose selection decides for k: its active partner in the
// symmetric variant, else k itself.
static int DecidingVertex(TKSN_Mesh* mesh, int k, bool symmetric)
{
    if (!symmetric || !mesh->activeVertexPartnerA) return k;
    const int s = mesh->activeVertexPartnerA[k];
    return (s >= 0 && s < mesh->GetVCount()) ? s : k;
}

bool TKSN_Project::CalculateSelectedMinMax(float* min, float* max, bool symmetric, const float* matrix)
{
    for (int c = 0; c < 3; ++c) {
        min[c] = WorldMax[c];
        max[c] = WorldMin[c];
    }
    symmetric = symmetric && UseSymmetry;
    bool first = true;
    ForEachQualifyingMesh(*this, symmetric, [&](TKSN_Mesh* mesh) {
        if (!mesh->resolvedVertices || !mesh->VertexInfo) return;
        for (int k = 0; k < mesh->GetVCount(); ++k) {
            const int s = DecidingVertex(mesh, k, symmetric);
            if (mesh->VertexInfo[s].Flags & kHiddenOrLocked) continue;
            if (!(mesh->GetResolvedVSelect(s) > kSelectedMinimum)) continue;
            float p[3] = {mesh->resolvedVertices[3 * k], mesh->resolvedVertices[3 * k + 1],
                          mesh->resolvedVertices[3 * k + 2]};
            if (matrix) {
                const float q[3] = {p[0], p[1], p[2]};
                Transform(matrix, q, p);
            }
            Widen(min, max, p, first);
        }
    });
    return !first;
}

bool TKSN_Project::CalculateSelectedNormalAndPosition(float* normal, float* position, bool symmetric)
{
    normal[0] = 0.0f;
    normal[1] = 0.0f;
    normal[2] = 1.0f;
    position[0] = position[1] = position[2] = 0.0f;
    symmetric = symmetric && UseSymmetry;
    const int type = App ? int(App->selectionType) : 0;
    double W = 0.0, P[3] = {0, 0, 0}, N[3] = {0, 0, 0};
    ForEachQualifyingMesh(*this, symmetric, [&](TKSN_Mesh* mesh) {
        if (type != 0 && type != 1) return;
        if (!mesh->resolvedVertices || !mesh->VertexInfo) return;
        for (int k = 0; k < mesh->GetVCount(); ++k) {
            if (mesh->VertexInfo[k].Flags & kHiddenOrLocked) continue;
            const double w = mesh->GetResolvedVSelect(DecidingVertex(mesh, k, symmetric));
            if (!(w > 1e-30)) continue;
            W += w;
            for (int c = 0; c < 3; ++c) {
                P[c] += w * mesh->resolvedVertices[3 * k + c];
                if (type == 0 && mesh->vertexNormals) N[c] += w * mesh->vertexNormals[3 * k + c];
            }
        }
        if (type != 1 || !mesh->polygonNormals || !mesh->PolygonFlags) return;
        for (int q = 0; q < mesh->GetPCount(); ++q) {
            if (mesh->PolygonFlags[q] & kHiddenOrLocked) continue;
            int s = q;
            if (symmetric && mesh->activePolygonPartnerA) {
                const int partner = mesh->activePolygonPartnerA[q];
                if (partner >= 0 && partner < mesh->GetPCount()) s = partner;
            }
            const double w = mesh->GetResolvedPSelect(s);
            if (!(w > 1e-30)) continue;
            for (int c = 0; c < 3; ++c) N[c] += w * mesh->polygonNormals[3 * q + c];
        }
    });
    if (!(W > 0.0)) return false;
    for (int c = 0; c < 3; ++c) position[c] = float(P[c] / W);
    const double length = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
    for (int c = 0; c < 3; ++c) normal[c] = float(length > 1e-30 ? N[c] / length : N[c]);
    return true;
}

void TKSN_Project::DoAutoCalculateDepthLookAt()
{
    TKSN_Viewport* viewport = GetCurrentViewport();
    if (!viewport) return;
    const float* m = viewport->CombinedMatrix;
    double total = 0.0, depth = 0.0;
    ForEachQualifyingMesh(*this, false, [&](TKSN_Mesh* mesh) {
        if (!mesh->resolvedVertices || !mesh->SelectedVertices) return;
        for (int i = 0; i < mesh->SelectedVertexCount; ++i) {
            int s = mesh->SelectedVertices[i];
            if (s < 0 || s >= mesh->GetVCount()) continue;
            if (mesh->activeVertexPartnerA) {
                const int partner = mesh->activeVertexPartnerA[s];
                if (partner >= 0 && partner < mesh->GetVCount()) s = partner;
            }
            const double w = mesh->GetResolvedVSelect(s);
            if (!(w > 1e-30)) continue;
            float p[3];
            Transform(m, mesh->resolvedVertices + 3 * s, p);
            // Vertices near the middle of the view count far more.
            const double centred = 1.0 / (std::sqrt(double(p[0]) * p[0] + double(p[1]) * p[1]) + 1.0);
            const double weight = w * centred * centred * centred * centred;
            total += weight;
            depth += weight * p[2];
        }
    });
    if (!(total > 1e-30)) return;
    float screen[3], lookAt[3];
    Transform(m, viewport->GetLookAt(), screen);
    screen[2] = float(depth / total);
    Transform(viewport->InverseCombinedMatrix, screen, lookAt);
    viewport->SetLookAt(lookAt, nullptr, 0.0f, false);
}

void TKSN_Project::GetDisplayBoundingBox(TKSN_Viewport*, float* min, float* max)
{
    for (int c = 0; c < 3; ++c) {
        min[c] = -1.0f;
        max[c] = 1.0f;
    }
    bool first = true;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
    for (TKSN_Object* object : *objects) {
        if (!object || !object->Mesh) continue;
        const TKSN_Mesh& mesh = *object->Mesh;
        // All eight corners: a turned object's box must still contain it.
        for (int corner = 0; corner < 8; ++corner) {
            const float p[3] = {(corner & 1) ? mesh.boundsMax[0] : mesh.boundsMin[0],
                                (corner & 2) ? mesh.boundsMax[1] : mesh.boundsMin[1],
                                (corner & 4) ? mesh.boundsMax[2] : mesh.boundsMin[2]};
            float q[3];
            Transform(object->ObjectToWorld, p, q);
            Widen(min, max, q, first);
        }
    }
}

void TKSN_Project::CalculateWorldDimensions()
{
    bool first = true;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
    for (TKSN_Object* object : *objects) {
        if (!object || !object->Mesh) continue;
        TKSN_Mesh* mesh = object->Mesh.get();
        const int count = mesh->GetVisibleVertexCount();
        if (!mesh->resolvedVertices || !mesh->visibleVertices) continue;
        for (int i = 0; i < count; ++i) {
            const int v = mesh->visibleVertices[i];
            if (v < 0 || v >= mesh->GetVCount()) continue;
            Widen(WorldMin, WorldMax, mesh->resolvedVertices + 3 * v, first);
        }
    }
    if (first) {
        for (int c = 0; c < 3; ++c) {
            WorldMin[c] = -1.0f;
            WorldMax[c] = 1.0f;
            WorldCentre[c] = 0.0f;
        }
        WorldSize = 2.0f;
        return;
    }
    const float dx = WorldMax[0] - WorldMin[0], dy = WorldMax[1] - WorldMin[1], dz = WorldMax[2] - WorldMin[2];
    if (std::sqrt(dx * dx + dy * dy + dz * dz) < 1e-30f) {
        for (int c = 0; c < 3; ++c) {
            WorldCentre[c] = (WorldMin[c] + WorldMax[c]) * 0.5f;
            WorldMin[c] = WorldCentre[c] - 1.0f;
            WorldMax[c] = WorldCentre[c] + 1.0f;
        }
    }
    WorldSize = std::max({WorldMax[0] - WorldMin[0], WorldMax[1] - WorldMin[1], WorldMax[2] - WorldMin[2]});
}
