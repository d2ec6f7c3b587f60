// The chisel base: refusal without a morph, the per-mesh iteration with
// symmetry, axis locks and the morph update, post-smoothing, normals and the
// octree refresh (see KSN_Chisel.h).
#include "KSN_Chisel.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

#include "KSN_AffectedLists.h"
#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Parameter.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QOROctree.h"

float _PostSmoothStrength = 0.0f;

namespace {

const TKSN_ToolProjectHooks& Hooks() { return KSN_GetToolProjectHooks(); }

void AxisLocks(float* factor)
{
    bool x = false, y = false, z = false;
    if (Hooks().GetAxisLocks) Hooks().GetAxisLocks(x, y, z);
    factor[0] = x ? 0.0f : 1.0f;
    factor[1] = y ? 0.0f : 1.0f;
    factor[2] = z ? 0.0f : 1.0f;
}

// The plain average of the corners of all polygons around v (a corner shared
// by two of them counts twice); false when v has no polygon corner.
bool NeighbourAverage(TKSN_MeshRoot* mesh, int v, float* out)
{
    out[0] = out[1] = out[2] = 0.0f;
    int n = 0;
    const int* row = mesh->vertexPolygons[v];
    for (int k = 1; k <= row[0]; ++k)
        for (int c = 0; c < mesh->vGetPolyN(row[k]); ++c) {
            const int q = mesh->vGetPolyV(row[k], c);
            if (q < 0 || q >= mesh->GetVCount()) continue;
            for (int i = 0; i < 3; ++i) out[i] += mesh->resolvedVertices[3 * size_t(q) + i];
            ++n;
        }
    if (n == 0) return false;
    for (int i = 0; i < 3; ++i) out[i] /= float(n);
    return true;
}

} // namespace

// [SECTION] Construction and answers

TKSN_Chisel::TKSN_Chisel() { Flags |= KSN_TOOL_SYMMETRIC | KSN_TOOL_HONOURS_AXIS_LOCKS; }

bool TKSN_Chisel::IsModellingTab() { return App && App->GetToolTypeTab() == KSN_TOOL_TAB_MODELLING; }

float TKSN_Chisel::PressureScale() const
{
    return App && App->tabletPressureVariesStrength ? PressureFactor : 1.0f;
}

float TKSN_Chisel::GetTotalStrength() { return GetStrength() * PressureScale(); }
float TKSN_Chisel::GetTotalStrengthPure() { return GetStrength() * PressureScale(); }
float TKSN_Chisel::GetTotalStrengthB() { return GetStrength() * PressureScale(); }

int TKSN_Chisel::GetEffectiveCullingMethod()
{
    const int m = Hooks().GetUserCullingMethod ? Hooks().GetUserCullingMethod() : 0;
    return m == 3 || m == 4 ? 2 : m;
}

void TKSN_Chisel::CalculateDirection(TKSN_MeshRoot*, TKSN_Viewport*)
{
    std::fill_n(ChiselCentre, 3, 0.0f);
    std::fill_n(ChiselDirection, 3, 0.0f);
}

void TKSN_Chisel::DeformVertex(TKSN_MeshRoot*, TKSN_Viewport*, int, float*, float, float* out, float*, float*, float)
{
    out[0] = out[1] = out[2] = 0.0f;
}

void TKSN_Chisel::UpdateParameters()
{
    TKSN_Brush_V4::UpdateParameters();
    if (DoShowPostSmoothParameter()) AddPercentParameter("Post Smooth", "Post Smooth", &_PostSmoothStrength, 0.0f, 1.0f);
}

void TKSN_Chisel::OnFinishedStrokeForMesh(TKSN_MeshRoot* mesh)
{
    TKSN_Brush_V4::OnFinishedStrokeForMesh(mesh);
    if (Hooks().SetDeformingFlag) Hooks().SetDeformingFlag(false);
}

// [SECTION] Press and motion

bool TKSN_Chisel::OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy)
{
    if (button == 0) {
        if (state == 0) {
            std::fill_n(ChiselCentre, 3, 0.0f);
            std::fill_n(ChiselDirection, 3, 0.0f);
            StrokeMeshes.clear();
        }
        const bool hasUnion = Hooks().GetCurrentMorphUnionID && Hooks().GetCurrentMorphUnionID() != 0;
        if (!IsModellingTab() && !hasUnion) {
            if (App) App->WarningNoCurrentMorph(true);
            return false;
        }
    }
    return TKSN_Brush_V4::OnMouse(mesh, viewport, button, state, fx, fy);
}

bool TKSN_Chisel::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    const bool hasUnion = Hooks().GetCurrentMorphUnionID && Hooks().GetCurrentMorphUnionID() != 0;
    if (!IsModellingTab() && !hasUnion) return false;
    return TKSN_Brush_V4::OnMotion(mesh, viewport, fx, fy);
}

// [SECTION] One mesh in one iteration

void TKSN_Chisel::PerformIterationOnMesh(TKSN_MeshRoot* mesh)
{
    // 1. The owner; the engine hands over owner meshes only (a subdivision
    // level's pick is mapped to its owner), so the arrays below are its own.
    TKSN_Mesh* owner = mesh ? mesh->GetOwnerMesh() : nullptr;
    if (!owner || static_cast<TKSN_MeshRoot*>(owner) != mesh) return;
    const int axis = std::clamp(owner->symmetryAxis, 0, 2);
    IterationViewport = Hooks().GetCurrentViewport ? Hooks().GetCurrentViewport() : nullptr;
    const bool modelling = IsModellingTab();

    // 2. The current morph and one undo node, the first time the stroke touches the mesh.
    if (std::find(StrokeMeshes.begin(), StrokeMeshes.end(), owner) == StrokeMeshes.end()) {
        StrokeMeshes.push_back(owner);
        if (Hooks().CreateCurrentMorphForMeshIfNecessary) Hooks().CreateCurrentMorphForMeshIfNecessary(owner);
        if (Hooks().SetupCurrentUndo) Hooks().SetupCurrentUndo(owner->GetOwnerObject(), 1002, 1, GetName(), false);
    }

    // 3.
    if (gAffectedVertexCount == 0) {
        OS.DebugMessage("No vertices were affected");
        return;
    }
    if (!IterationViewport) return;

    // 4. Strengths.
    const float totalStrength = GetTotalStrength();
    TotalStrengthB = GetTotalStrengthB();

    // 5. Where the deltas go.
    const int count = owner->GetVCount();
    TKSN_Morph* morph = nullptr;
    float* morphDeltas = nullptr;
    float morphFactor = 1.0f;
    if (!modelling) {
        morph = owner->GetCurrentMorph();
        if (!morph) return;
        if (owner->ResolveAllMorphs && std::fabs(morph->Strength) < 0.1f) {
            OS.WarningMessageNoRepeat("%s", Lang.GetText(1080));
            return;
        }
        if (morph->GetVCount() < count) return;   // a stale morph: never write past its end
        morphDeltas = morph->GetVertex(0);
        morphFactor = morph->Strength;
    }

    // 6.
    if (PreCalculateNormals()) RecalculateAffectedNormals(owner, owner->resolvedVertices, owner->polygonNormals,
                                                         owner->vertexNormals, true);

    // 7. The per-vertex scratch: the mesh's "Temp Morph" when it has one of the right size.
    IterationDeltas = nullptr;
    if (owner->TempMorph && owner->TempMorph->GetVCount() >= count) IterationDeltas = owner->TempMorph->GetVertex(0);
    if (!IterationDeltas) {
        if (ScratchDeltas.size() < size_t(3 * count)) ScratchDeltas.resize(size_t(3 * count));
        IterationDeltas = ScratchDeltas.data();
    }
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        assert(v >= 0 && v < count && "the affected list indexes the mesh in hand");
        std::fill_n(IterationDeltas + 3 * size_t(v), 3, 0.0f);
    }

    // 8.
    KSN_EnsureVertexPolygons(owner);
    CalculateDirection(owner, IterationViewport);
    DeformVertices(owner, totalStrength, morphDeltas);

    // 9. Symmetry: mirror partners get the displacement with the axis component negated.
    if (UseSymmetry) {
        const int32_t* first = owner->activeVertexPartnerA;
        const int32_t* second = owner->activeVertexPartnerB;
        const int before = gAffectedVertexCount;
        for (int i = 0; i < before; ++i) {
            const int v = gAffectedVertices[i].Vertex;
            const float w = gAffectedVertices[i].Weight;
            const int m = second ? second[v] : v;
            const int r = first ? first[v] : v;
            float* d = IterationDeltas + 3 * size_t(v);
            if (m == r) {
                d[axis] = 0.0f;
            } else if (m != v && m >= 0 && m < count) {
                if (gAffectedVertexCount >= gAffectedVertexCapacity) break;
                float* md = IterationDeltas + 3 * size_t(m);
                std::copy_n(d, 3, md);
                md[axis] = -md[axis];
                AddAffectedVertex(m, w);
            }
        }
    }

    // 10, 11. Axis locks, then the deltas go into the morph (or the base) and the resolved vertices.
    float lock[3];
    AxisLocks(lock);
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        assert(v >= 0 && v < count);
        float* d = IterationDeltas + 3 * size_t(v);
        for (int k = 0; k < 3; ++k) d[k] *= lock[k];
        float* resolved = owner->resolvedVertices + 3 * size_t(v);
        if (modelling) {
            float* base = owner->baseVertices + 3 * size_t(v);
            for (int k = 0; k < 3; ++k) {
                base[k] += d[k];
                resolved[k] += d[k];
            }
        } else {
            float* md = morphDeltas + 3 * size_t(v);
            for (int k = 0; k < 3; ++k) {
                md[k] += d[k];
                resolved[k] += morphFactor * d[k];
            }
        }
    }
    if (morph) owner->OnMorphChanged(morph);
}

void TKSN_Chisel::DeformVertices(TKSN_MeshRoot* mesh, float totalStrength, float* morphDeltas)
{
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        const float w = gAffectedVertices[i].Weight;
        if (!mesh->CFlag_TestVertex(eCFlag_Channel_Brush, v)) mesh->CFlag_FlagVertex(eCFlag_Channel_Brush, v);
        float out[3] = {0, 0, 0};
        DeformVertex(mesh, IterationViewport, v, ChiselDirection, totalStrength * w, out,
                     mesh->resolvedVertices + 3 * size_t(v), morphDeltas ? morphDeltas + 3 * size_t(v) : nullptr, w);
        float* d = IterationDeltas + 3 * size_t(v);
        for (int k = 0; k < 3; ++k) d[k] += out[k];
        ++ChiseledVertexCount;
    }
}

void TKSN_Chisel::CalculateAveragePostionAndNormal(TKSN_MeshRoot* mesh)
{
    float centre[3] = {0, 0, 0}, normal[3] = {0, 0, 0}, sum = 0.0f;
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        const float w = gAffectedVertices[i].Weight;
        for (int k = 0; k < 3; ++k) {
            centre[k] += w * mesh->resolvedVertices[3 * size_t(v) + k];
            if (mesh->vertexNormals) normal[k] += w * mesh->vertexNormals[3 * size_t(v) + k];
        }
        sum += w;
    }
    if (sum > 1e-30f)
        for (float& c : centre) c /= sum;
    const float length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    if (length > 1e-30f)
        for (float& n : normal) n /= length;
    std::copy_n(centre, 3, ChiselCentre);
    std::copy_n(normal, 3, ChiselDirection);
}

// [SECTION] After the work

void TKSN_Chisel::PostSmoothMesh(TKSN_MeshRoot* mesh, float* deltas)
{
    const float a = GetTotalStrengthPure(), b = GetPostSmoothStrength();
    if (a * b < 1e-30f) return;
    float lock[3];
    AxisLocks(lock);
    KSN_EnsureVertexPolygons(mesh);
    // Targets first, so that no vertex sees a neighbour already moved.
    std::vector<float> targets(3 * size_t(mesh->GetVCount()));
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        float* t = targets.data() + 3 * size_t(v);
        if (!NeighbourAverage(mesh, v, t)) std::copy_n(mesh->resolvedVertices + 3 * size_t(v), 3, t);
    }
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        const float f = std::min(10.0f * gAffectedVertices[i].Weight, 1.0f) * b * a;
        float* p = mesh->resolvedVertices + 3 * size_t(v);
        const float* t = targets.data() + 3 * size_t(v);
        for (int k = 0; k < 3; ++k) {
            const float d = (t[k] - p[k]) * f * lock[k];
            deltas[3 * size_t(v) + k] += d;
            p[k] += d;
        }
    }
}

void RecalculateAffectedNormals(TKSN_MeshRoot* mesh, float*, float*, float*, bool)
{
    if (!mesh->polygonNormals || !mesh->vertexNormals) return;
    KSN_EnsureVertexPolygons(mesh);
    mesh->StartUsingCFlags(eCFlag_Channel_General);
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int* row = mesh->vertexPolygons[gAffectedVertices[i].Vertex];
        for (int k = 1; k <= row[0]; ++k)
            if (!mesh->CFlag_TestPolygon(eCFlag_Channel_General, row[k])) {
                mesh->CFlag_FlagPolygon(eCFlag_Channel_General, row[k]);
                mesh->RecalculatePolyNormal(row[k]);
            }
    }
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        float n[3] = {0, 0, 0};
        const int* row = mesh->vertexPolygons[v];
        for (int k = 1; k <= row[0]; ++k)
            for (int c = 0; c < 3; ++c) n[c] += mesh->polygonNormals[3 * size_t(row[k]) + c];
        const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length > 1e-30f)
            for (float& x : n) x /= length;
        std::copy_n(n, 3, mesh->vertexNormals + 3 * size_t(v));
    }
}

void TKSN_Chisel::UpdateMeshAfterIteration(TKSN_MeshRoot* mesh)
{
    if (!mesh || gAffectedVertexCount == 0) return;
    float* deltas = mesh->GetCurrentDeltas();
    if (!deltas) return;
    PostSmoothMesh(mesh, deltas);
    RecalculateAffectedNormals(mesh, mesh->resolvedVertices, mesh->polygonNormals, mesh->vertexNormals, true);

    // The octree's bounds grow around the moved vertices and their polygons' normals.
    if (!mesh->IsOctreeValid()) mesh->BuildOctree();
    if (!mesh->IsOctreeValid() || !mesh->polygonLeafIndex) return;
    ClearOctreeFlags(mesh->octreeRoot.get());
    mesh->StartUsingCFlags(eCFlag_Channel_General);
    const int leaves = int(mesh->leafList.size());
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        const float* p = mesh->resolvedVertices + 3 * size_t(v);
        const int* row = mesh->vertexPolygons[v];
        for (int k = 1; k <= row[0]; ++k) {
            const int polygon = row[k];
            if (mesh->IsPolyHidden(polygon) || mesh->CFlag_TestPolygon(eCFlag_Channel_General, polygon)) continue;
            mesh->CFlag_FlagPolygon(eCFlag_Channel_General, polygon);
            const int leaf = mesh->polygonLeafIndex[polygon];
            if (leaf < 0 || leaf >= leaves) continue;
            const float* n = mesh->polygonNormals + 3 * size_t(polygon);
            // A node met before still grows when this vertex or normal lies
            // outside it; the climb stops at the first node that needs nothing.
            for (TQOROctreeNode<int>* node = mesh->leafList[size_t(leaf)]; node; node = node->Parent) {
                bool grew = false;
                for (int c = 0; c < 3; ++c) {
                    grew |= p[c] < node->ContentMin[c] || p[c] > node->ContentMax[c] || n[c] < node->NormalMin[c] ||
                            n[c] > node->NormalMax[c];
                    node->ContentMin[c] = std::min(node->ContentMin[c], p[c]);
                    node->ContentMax[c] = std::max(node->ContentMax[c], p[c]);
                    node->NormalMin[c] = std::min(node->NormalMin[c], n[c]);
                    node->NormalMax[c] = std::max(node->NormalMax[c], n[c]);
                }
                if (node->BoundsDone && !grew) break;
                node->BoundsDone = true;
                mesh->InvalidateOctreeNodeDisplay(node, false);
            }
        }
    }
}
