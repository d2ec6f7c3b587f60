// The deformer base: press, motion bookkeeping, release, Rigidness, the
// centre of the change, the press-time normal cache and the hint line.
#include "KSN_Deformer.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <string>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Object.h"
#include "KSN_Parameter.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMatrix.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORThreads.h"

namespace {

TKSN_DeformerProjectHooks Hooks;

constexpr uint32_t kOpenMask = QORPoly_Hidden | QORPoly_Locked;
constexpr const char* kInitNormalsKey = "DEFORMER_InitNormals";
constexpr int kModellingTab = 4;

float* ExpandedDeltas(TKSN_Morph* morph)
{
    morph->IsInUse("TKSN_Deformer");
    return morph->GetPointerToExpandedArray();
}

// v through the 4x4 matrix as a point, no divide.
void ApplyAsPoint(const float* m, const float* v, float* out)
{
    const float x = v[0], y = v[1], z = v[2];
    out[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
    out[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
    out[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
}

void ApplyAsVector(const float* m, const float* v, float* out)
{
    const float x = v[0], y = v[1], z = v[2];
    out[0] = m[0] * x + m[4] * y + m[8] * z;
    out[1] = m[1] * x + m[5] * y + m[9] * z;
    out[2] = m[2] * x + m[6] * y + m[10] * z;
}

// Half away from zero at k decimals.
float RoundToDigits(float v, int k)
{
    const double scale = std::pow(10.0, k);
    return float(std::round(double(v) * scale) / scale);
}

void* SubtractTMorphSelectedOnly_ThreadFunc(void* data)
{
    auto* chunk = static_cast<TThreadCruncher_ArrayChunk*>(data);
    auto* mesh = static_cast<TKSN_Mesh*>(chunk->User);
    const auto* list = static_cast<const int32_t*>(chunk->Source);
    const float* deltas = mesh->TempMorph->GetPointerToExpandedArray();
    float* resolved = mesh->resolvedVertices;
    for (int i = 0; i < chunk->Count; ++i) {
        const int v = list[i];
        for (int k = 0; k < 3; ++k) resolved[3 * v + k] -= deltas[3 * v + k];
    }
    return nullptr;
}

} // namespace

void KSN_SetDeformerProjectHooks(const TKSN_DeformerProjectHooks& hooks) { Hooks = hooks; }
const TKSN_DeformerProjectHooks& KSN_GetDeformerProjectHooks() { return Hooks; }

std::vector<TKSN_Mesh*> KSN_GetAffectableMeshes()
{
    std::vector<TKSN_Mesh*> meshes;
    if (Hooks.GetAffectableMeshes) Hooks.GetAffectableMeshes(meshes);
    return meshes;
}

void TKSN_Project_SyncCurrrentMorphs()
{
    if (Hooks.SyncCurrentMorphs) Hooks.SyncCurrentMorphs();
}

// [SECTION] View helpers

void KSN_ViewToObject(TKSN_Viewport* viewport, const float* in, float* out)
{
    if (!viewport) {
        std::memmove(out, in, 3 * sizeof(float));
        return;
    }
    ApplyAsVector(viewport->TransposedRotationMatrix, in, out);
}

void KSN_ObjectToView(TKSN_Viewport* viewport, const float* in, float* out)
{
    if (!viewport) {
        std::memmove(out, in, 3 * sizeof(float));
        return;
    }
    ApplyAsVector(viewport->RotationMatrix, in, out);
}

void KSN_ViewingDirection(TKSN_Viewport* viewport, float* out)
{
    const float z[3] = {0.0f, 0.0f, 1.0f};
    KSN_ViewToObject(viewport, z, out);
}

// [SECTION] Base

TKSN_Deformer::TKSN_Deformer()
{
    ContinuousDrag = true;
    Flags &= ~uint32_t(KSN_TOOL_POLYGON_INFO | KSN_TOOL_MIRRORED_INPUT | 0x2000 | 0x4000 |
                       KSN_TOOL_NO_SYMMETRIC_TEMP_MORPH);
    Flags |= KSN_TOOL_SYMMETRIC | 0x10000 | KSN_TOOL_HONOURS_AXIS_LOCKS;
    IconName = "Deformer";
    QORMatrix_Identity4x4(PressModelView);
    QORMatrix_Identity4x4(PressProjection);
    QORMatrix_Identity4x4(PressObjectToScreen);
    QORMatrix_Identity4x4(PressInverseModelView);
    QORMatrix_Identity4x4(PressInverseProjection);
    QORMatrix_Identity4x4(PressScreenToObject);
}

float TKSN_Deformer::GetSize() { return SelectionBrushSize; }
void TKSN_Deformer::SetSize(float v) { SelectionBrushSize = v; }
float* TKSN_Deformer::GetSizePtr() { return &SelectionBrushSize; }

bool TKSN_Deformer::DoSnapToClosestVertex() { return CanSnapToClosestVertex() && App && App->snapToClosestVertex; }

bool TKSN_Deformer::GetOriginAndOrientation(float* origin, float* orientation)
{
    origin[0] = origin[1] = origin[2] = 0.0f;
    orientation[0] = orientation[1] = 0.0f;
    orientation[2] = -1.0f;
    return false;
}

void TKSN_Deformer::GetLocks(bool* locks)
{
    locks[0] = locks[1] = locks[2] = false;
    if ((Flags & KSN_TOOL_HONOURS_AXIS_LOCKS) && Hooks.GetAxisLocks) Hooks.GetAxisLocks(locks[0], locks[1], locks[2]);
}

float TKSN_Deformer::EffectiveWeight(float w) const
{
    const float top = w > MaxSelectionWeight - 0.01f ? MaxSelectionWeight : 0.0f;
    const float step = w > 0.01f ? 1.0f : 0.0f;
    return RigidLow * top + RigidMid * w + RigidHigh * step;
}

void TKSN_Deformer::SetupRigidness()
{
    MaxSelectionWeight = 0.0f;
    for (TKSN_Mesh* mesh : KSN_GetAffectableMeshes()) MaxSelectionWeight = std::max(MaxSelectionWeight, mesh->MaxSelectionWeight);
    const float r = GetRigidness();
    if (r < 0.5f) {
        RigidLow = 1.0f - 2.0f * r;
        RigidMid = 2.0f * r;
        RigidHigh = 0.0f;
    } else {
        const float s = r - 0.5f;
        RigidLow = 0.0f;
        RigidMid = 1.0f - 2.0f * s;
        RigidHigh = 2.0f * s;
    }
}

bool TKSN_Deformer::OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy)
{
    const int tab = App ? App->GetToolTypeTab() : 0;
    if (state != 0) {
        if (!TKSN_Tool::OnMouse(mesh, viewport, button, state, fx, fy)) return false;
        if (state == 1 && Hooks.SetDeformingFlag) Hooks.SetDeformingFlag(false);
        const int frame = KSN_MeshApp_GetCurrentAnimationFrame();
        for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
            TKSN_Morph* current = m->GetCurrentMorph();
            TKSN_Morph* temp = m->TempMorph;
            if (!current || !temp) continue;
            const float* deltas = ExpandedDeltas(temp);
            const bool plain = !UseTransfromsToAdjustMorphDeltas() || m->LinearMatrixIsIdentity;
            const bool base = current == m->BaseVerticesMorph;
            const int count = m->GetVCount();
            float* target = nullptr;
            TKSN_Morph* targetMorph = nullptr;
            if (base) {
                target = m->baseVertices;
            } else {
                targetMorph = current;
                if (frame > 0) {
                    const bool hadChain = current->GetNextKeyFrame() != nullptr;
                    targetMorph = current->GetCurrentFrameForDeforming(frame, true);
                    if (!targetMorph) targetMorph = current;
                    if (!hadChain && targetMorph != current) {
                        QOREvents_PushEvent(439);
                        OS.PrintMessage(Lang.GetText(1123), frame);
                    }
                }
                if (plain) {
                    targetMorph->Add(temp);
                    targetMorph->OnChanged();
                } else {
                    target = ExpandedDeltas(targetMorph);
                }
            }
            if (target) {
                for (int v = 0; v < count; ++v) {
                    const float* d = deltas + 3 * v;
                    if (d[0] == 0.0f && d[1] == 0.0f && d[2] == 0.0f) continue;
                    float adjusted[3] = {d[0], d[1], d[2]};
                    if (!plain) ApplyAsPoint(m->InverseLinearMatrix, d, adjusted);
                    for (int k = 0; k < 3; ++k) target[3 * v + k] += adjusted[k];
                }
                if (targetMorph) targetMorph->OnChanged();
            }
            temp->Clear();
            if (state != 1) continue;
            if (CachesNormals) CleanAllCalchedData();
            m->RecalculateNormals(true);
            if (base) m->CalculateBounds();
            m->OctreeBoundsChanged();
            if (base && Hooks.OnSymmetrySettingsChanged) Hooks.OnSymmetrySettingsChanged(m);
            if (Hooks.OnAllViewportsChanged) Hooks.OnAllViewportsChanged();
        }
        return true;
    }

    // Press.
    DeformActive = false;
    if (tab != kModellingTab) TKSN_Project_SyncCurrrentMorphs();
    std::vector<TKSN_Mesh*> meshes = KSN_GetAffectableMeshes();
    // Only the octree leaves around the selection lose their display lists in
    // the full program; the whole mesh's lists are dropped here.
    for (TKSN_Mesh* m : meshes) m->InvalidateAllOctreeNodeDisplayLists();
    if (CachesNormals) CacheNormals();
    if (viewport) {
        std::memcpy(PressModelView, viewport->ModelViewMatrix, sizeof PressModelView);
        std::memcpy(PressProjection, viewport->ProjectionMatrix, sizeof PressProjection);
        std::memcpy(PressObjectToScreen, viewport->CombinedMatrix, sizeof PressObjectToScreen);
        std::memcpy(PressInverseModelView, viewport->InverseModelViewMatrix, sizeof PressInverseModelView);
        std::memcpy(PressInverseProjection, viewport->InverseProjectionMatrix, sizeof PressInverseProjection);
        std::memcpy(PressScreenToObject, viewport->InverseCombinedMatrix, sizeof PressScreenToObject);
    }
    float unionStrength = 1.0f;
    const bool hasUnion = Hooks.GetCurrentMorphUnionStrength && Hooks.GetCurrentMorphUnionStrength(unionStrength);
    if (tab != kModellingTab && !hasUnion) {
        if (App) App->WarningNoCurrentMorph(true);
        return false;
    }
    int selected = 0;
    for (TKSN_Mesh* m : meshes) selected += m->GetSelectedVertexCount();
    if (selected == 0) {
        OS.WarningMessageNoRepeat("%s", Lang.GetText(1538));
        return false;
    }
    if (tab != kModellingTab) {
        if (unionStrength < 0.1f) {
            OS.WarningMessageNoRepeat("%s", Lang.GetText(1080));
            return false;
        }
        if (unionStrength < 0.99f) OS.WarningMessageNoRepeat("%s", Lang.GetText(1079));
    }
    if (!TKSN_Tool::OnMouse(mesh, viewport, button, state, fx, fy)) return false;
    if (Hooks.SetDeformingFlag) Hooks.SetDeformingFlag(true);
    PressX = fx;
    PressY = fy;
    if (DoSnapToClosestVertex()) {
        // The drag starts from the corner, so a move lands the vertex exactly where the mouse goes.
        float screen[3];
        if (KSN_SnapToClosestCorner(viewport, fx, fy, screen) != 1) return false;
        PressX = screen[0];
        PressY = screen[1];
    }

    bool locks[3];
    GetLocks(locks);
    for (TKSN_Mesh* m : meshes) {
        TKSN_Morph* current = m->GetCurrentMorph();
        if (!current || !m->TempMorph) continue;
        if (current == m->BaseVerticesMorph && App) App->WarningDeformingBaseVertices();
        if (GetStrength() < 1e-30f) OS.WarningMessage(Lang.GetText(1081), GetName());
        m->TempMorph->Strength = current->Strength;
        if (locks[0] && locks[1] && locks[2]) OS.WarningMessageNoRepeat("%s", Lang.GetText(796));
        m->TempMorph->Clear();
    }
    if (Hooks.BeforeDeform) Hooks.BeforeDeform(GetName());
    SetupRigidness();
    DeformActive = true;
    float screen[3];
    if (GetSelectionOriginFromMouse())
        GetXYZCentreBasedOnMouseClickAndSelection(mesh, viewport, PressX, PressY, Centre, screen);
    else
        GetXYZCentreBasedOnSelection(mesh, viewport, Centre, screen);
    return true;
}

bool TKSN_Deformer::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Tool::OnMotion(mesh, viewport, fx, fy) || !DeformActive) return false;
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        if (!m->TempMorph) continue;
        ExpandedDeltas(m->TempMorph);
        const int count = m->GetSelectedVertexCount();
        if (count <= 0) continue;
        if (!ThreadCruncher || ThreadCruncher->IsPoolThread()) {
            // No pool yet (or called from inside it): one chunk here.
            TThreadCruncher_ArrayChunk chunk;
            chunk.Source = m->SelectedVertices;
            chunk.Count = chunk.End = count;
            chunk.User = m;
            SubtractTMorphSelectedOnly_ThreadFunc(&chunk);
            continue;
        }
        TThreadCruncher_Releaser releaser;
        if (count >= 32) ThreadCruncher->StartUsing(releaser);
        ThreadCruncher->ProcessArray(nullptr, m->SelectedVertices, sizeof(int32_t), count,
                                     SubtractTMorphSelectedOnly_ThreadFunc, m, 0, 0.0f);
    }
    return true;
}

void TKSN_Deformer::AfterUse()
{
    TKSN_Tool::AfterUse();
    if (Hooks.AfterDrag) Hooks.AfterDrag();
}

void TKSN_Deformer::DeformSelectedVertices(TKSN_Mesh* mesh, TKSN_Viewport* viewport, const float* a,
                                           const float* b, const float* c, bool useWeldMap, bool symmetryPlaneRule)
{
    TKSN_Morph* temp = mesh->TempMorph;
    if (!temp) return;
    float* deltas = ExpandedDeltas(temp);
    const bool symmetry = Hooks.DoUseSymmetry && Hooks.DoUseSymmetry(mesh);
    bool locks[3];
    GetLocks(locks);
    const int count = mesh->GetSelectedVertexCount();
    const int axis = std::clamp(int(mesh->symmetryAxis), 0, 2);
    for (int i = 0; i < count; ++i) {
        const int v = mesh->SelectedVertices[i];
        const int source = (useWeldMap && mesh->Welded) ? mesh->GetEffectiveVertex(v) : v;
        const float w = EffectiveWeight(mesh->GetResolvedVSelect(source));
        float* out = deltas + 3 * v;
        const uint32_t flags = mesh->VertexInfo[v].Flags;
        if (!(flags & kOpenMask)) DeformVertex(mesh, viewport, v, a, w, b, c, out, -1);
        if (symmetry && symmetryPlaneRule && (flags & QORVertex_SymmetryPlane)) out[axis] = 0.0f;
        for (int k = 0; k < 3; ++k)
            if (locks[k]) out[k] = 0.0f;
    }
}

void TKSN_Deformer::DeformAllVertices(TKSN_Mesh* mesh, TKSN_Viewport* viewport, const float* a, const float* b,
                                      const float* c)
{
    TKSN_Morph* temp = mesh->TempMorph;
    if (!temp) return;
    float* deltas = ExpandedDeltas(temp);
    bool locks[3];
    GetLocks(locks);
    for (int v = 0; v < mesh->GetVCount(); ++v) {
        float* out = deltas + 3 * v;
        DeformVertex(mesh, viewport, v, a, 1.0f, b, c, out, -1);
        for (int k = 0; k < 3; ++k)
            if (locks[k]) out[k] = 0.0f;
    }
}

void TKSN_Deformer::DeformStepOnAffectableMeshes(TKSN_Viewport* viewport, const float* a, const float* b,
                                                 const float* c, bool resolveBeforeHint,
                                                 const std::function<void(TKSN_Mesh*)>& hint)
{
    bool hinted = false;
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        if (!m->TempMorph) continue;
        m->TempMorph->Clear();
        if (resolveBeforeHint) ResolveTempMorphs(m);
        if (!hinted) {
            hint(m);
            hinted = true;
        }
        DeformSelectedVertices(m, viewport, a, b, c, false, true);
        ResolveTempMorphs(m);
        m->AfterDeformStep();
    }
}

void TKSN_Deformer::ResolveTempMorphs(TKSN_Mesh* mesh)
{
    TKSN_Morph* temp = mesh->TempMorph;
    if (!temp) return;
    if (mesh->symmetryState != 0 && !(Flags & KSN_TOOL_NO_SYMMETRIC_TEMP_MORPH)) {
        const bool viaTransform = UseTransfromsToAdjustMorphDeltas() && !mesh->LinearMatrixIsIdentity;
        mesh->MakeMorphSymmetric(temp, mesh->symmetryState == 1, false,
                                 viaTransform ? mesh->InverseLinearMatrix : nullptr,
                                 viaTransform ? mesh->LinearMatrix : nullptr);
    }
    ExpandedDeltas(temp);
    bool first = true;
    int v = 0;
    float* d = nullptr;
    for (bool more = temp->GetFirstDelta(&v, &d); more; more = temp->GetNextDelta(&v, &d)) {
        if (v < 0 || v >= mesh->GetVCount()) continue;
        const uint32_t flags = mesh->VertexInfo[v].Flags;
        if (flags & QORPoly_Hidden) continue;
        float* p = mesh->resolvedVertices + 3 * v;
        if (!(flags & QORPoly_Locked))
            for (int k = 0; k < 3; ++k) p[k] += d[k];
        for (int k = 0; k < 3; ++k) {
            if (first) {
                mesh->resolvedBoundsMin[k] = mesh->resolvedBoundsMax[k] = p[k];
            } else {
                mesh->resolvedBoundsMin[k] = std::min(mesh->resolvedBoundsMin[k], p[k]);
                mesh->resolvedBoundsMax[k] = std::max(mesh->resolvedBoundsMax[k], p[k]);
            }
        }
        first = false;
    }
}

// [SECTION] Centre of the change

void TKSN_Deformer::GetXYZCentreBasedOnSelection(TKSN_Mesh*, TKSN_Viewport*, float* centre, float*)
{
    for (int k = 0; k < 3; ++k)
        SelectionBoxMin[k] = SelectionBoxMax[k] = ViewBoxMin[k] = ViewBoxMax[k] = SelectionNormal[k] = 0.0f;
    double sumW = 0.0, sumP[3] = {0.0, 0.0, 0.0};
    bool first = true;
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        const int count = m->GetSelectedVertexCount();
        for (int i = 0; i < count; ++i) {
            const int v = m->SelectedVertices[i];
            if (m->VertexInfo[v].Flags & kOpenMask) continue;
            if (m->Welded && m->GetEffectiveVertex(v) != v) continue;
            const float w = m->GetResolvedVSelect(v);
            const float* p = m->resolvedVertices + 3 * v;
            const float* n = m->vertexNormals ? m->vertexNormals + 3 * v : nullptr;
            sumW += w;
            for (int k = 0; k < 3; ++k) {
                sumP[k] += double(w) * p[k];
                if (n) SelectionNormal[k] += w * n[k];
            }
            if (w > 0.0499f) {
                float s[3];
                KSN_TransformPoint(PressObjectToScreen, p, s);
                for (int k = 0; k < 3; ++k) {
                    SelectionBoxMin[k] = first ? p[k] : std::min(SelectionBoxMin[k], p[k]);
                    SelectionBoxMax[k] = first ? p[k] : std::max(SelectionBoxMax[k], p[k]);
                    ViewBoxMin[k] = first ? s[k] : std::min(ViewBoxMin[k], s[k]);
                    ViewBoxMax[k] = first ? s[k] : std::max(ViewBoxMax[k], s[k]);
                }
                first = false;
            }
        }
    }
    float centroid[3] = {0.0f, 0.0f, 0.0f};
    if (sumW > 1e-30)
        for (int k = 0; k < 3; ++k) centroid[k] = float(sumP[k] / sumW);
    const float length = Vector_Modulus(SelectionNormal, 3);
    if (length > 1e-30f) Vector_Scale(SelectionNormal, 3, 1.0f / length);
    KSN_TransformPoint(PressInverseProjection, ViewBoxMin, ViewBoxMin);
    KSN_TransformPoint(PressInverseProjection, ViewBoxMax, ViewBoxMax);
    float screen[3];
    KSN_TransformPoint(PressObjectToScreen, centroid, screen);
    KSN_TransformPoint(PressScreenToObject, screen, centre);
}

void TKSN_Deformer::GetXYZCentreBasedOnMouseClickAndSelection(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float x,
                                                              float y, float* centre, float* screenPoint)
{
    GetXYZCentreBasedOnSelection(mesh, viewport, centre, nullptr);
    // The centroid's screen depth and the nearest and farthest selected depths.
    float screen[3];
    KSN_TransformPoint(PressObjectToScreen, centre, screen);
    const float depth = screen[2];
    float dNear = depth, dFar = depth;
    bool first = true;
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        const int count = m->GetSelectedVertexCount();
        for (int i = 0; i < count; ++i) {
            const int v = m->SelectedVertices[i];
            if (m->VertexInfo[v].Flags & kOpenMask) continue;
            if (m->GetResolvedVSelect(v) <= 0.0499f) continue;
            float s[3];
            KSN_TransformPoint(PressObjectToScreen, m->resolvedVertices + 3 * v, s);
            dNear = first ? s[2] : std::min(dNear, s[2]);
            dFar = first ? s[2] : std::max(dFar, s[2]);
            first = false;
        }
    }
    float chosen = depth;
    bool decided = false;
    const bool snap = DoSnapToClosestVertex();
    if (DoesUseAutoCalcDepth() && (snap || AutoDepthMode == 1)) {
        // The point under the mouse (its nearest corner when snapping); off
        // the surface Surface keeps the centre depth.
        float hit[3] = {x, y, depth};
        bool found = false;
        if (snap) {
            found = KSN_SnapToClosestCorner(viewport, x, y, hit) == 1;
        } else {
            const TKSN_ToolProjectHooks& tools = KSN_GetToolProjectHooks();
            TKSN_MeshRoot* picked = nullptr;
            int polygon = -1;
            found = viewport && tools.GetClosestPolygonAndMesh &&
                    tools.GetClosestPolygonAndMesh(viewport, picked, polygon, x, y, hit) && picked;
        }
        if (found) chosen = hit[2];
        decided = found || AutoDepthMode == 1;
    }
    if (DoesUseAutoCalcDepth() && !decided) {
        switch (AutoDepthMode) {
        case 2: chosen = dNear; break;
        case 3: chosen = dFar; break;
        case 4: {
            const float t = AutoDepthValue;
            if (t >= 0.5f) {
                const float u = 2.0f * (t - 0.5f);
                chosen = dNear * u + depth * (1.0f - u);
            } else {
                chosen = depth * 2.0f * t + (1.0f - 2.0f * t) * dFar;
            }
            break;
        }
        default: break;
        }
    }
    const float point[3] = {x, y, chosen};
    KSN_TransformPoint(PressScreenToObject, point, centre);
    if (screenPoint) std::memcpy(screenPoint, point, sizeof point);
}

// [SECTION] Normal cache

void TKSN_Deformer::CacheNormalsForObject(TKSN_Object* object)
{
    if (!object || !object->Mesh) return;
    TKSN_Mesh* mesh = object->Mesh.get();
    const int count = mesh->GetVCount();
    int stored = 0;
    float* array = object->GetCustomFloatArrayProperty(kInitNormalsKey, stored);
    if (!array || stored != count) {
        QORfree(array);
        array = count > 0 ? static_cast<float*>(QORalloc(uint64_t(count) * 3 * sizeof(float))) : nullptr;
        object->SetCustomFloatArrayProperty(kInitNormalsKey, array, array ? count : 0);
    }
    if (!array) return;
    if (mesh->vertexNormals)
        std::memcpy(array, mesh->vertexNormals, size_t(count) * 3 * sizeof(float));
    else
        std::memset(array, 0, size_t(count) * 3 * sizeof(float));
}

void TKSN_Deformer::CacheNormals()
{
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) CacheNormalsForObject(m->GetOwnerObject());
}

void TKSN_Deformer::SetTempInitNormalsForObject(TKSN_Object* object)
{
    InitNormals = nullptr;
    if (!object) return;
    int count = 0;
    InitNormals = object->GetCustomFloatArrayProperty(kInitNormalsKey, count);
    if (!InitNormals || !object->Mesh || count != object->Mesh->GetVCount()) {
        CacheNormalsForObject(object);
        InitNormals = object->GetCustomFloatArrayProperty(kInitNormalsKey, count);
    }
    if (!InitNormals) OS.WarningMessageNoRepeat("TempInitNormals is NULL");
}

void TKSN_Deformer::CleanAllCalchedData()
{
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        TKSN_Object* object = m->GetOwnerObject();
        if (!object) continue;
        int count = 0;
        float* array = object->GetCustomFloatArrayProperty(kInitNormalsKey, count);
        QORfree(array);
        object->SetCustomFloatArrayProperty(kInitNormalsKey, nullptr, 0);
    }
    InitNormals = nullptr;
}

// [SECTION] Hints and parameters

void TKSN_Deformer::PrintHint(TKSN_Mesh*, const char* format, ...)
{
    if (!format) return;
    va_list args;
    va_start(args, format);
    const std::string text = QORVFormat(format, args);
    va_end(args);

    std::string morphName = Lang.GetText(447), objectName = Lang.GetText(448);
    int objects = 0;
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        TKSN_Morph* morph = m->GetCurrentMorph();
        const std::string name = morph ? morph->GetName() : "";
        if (objects == 0) {
            morphName = name;
            if (TKSN_Object* owner = m->GetOwnerObject()) objectName = owner->GetName();
        } else if (strcasecmp(morphName.c_str(), name.c_str()) != 0) {
            morphName = Lang.GetText(672);
        }
        ++objects;
    }
    std::string hint = objects == 1 ? QORFormat(Lang.GetText(949), morphName.c_str(), objectName.c_str())
                                    : QORFormat(Lang.GetText(1171), morphName.c_str(), objects);
    hint += "\n\n";
    hint += text;
    KSN_CutToolText(hint);
    OS.PrintHint("%s", hint.c_str());
}

void TKSN_Deformer::PrintStrengthHintAndSnapPrecision(TKSN_Mesh* mesh, const char* label, float strength,
                                                      float* values, int count, int fineDigits, int coarseDigits)
{
    const float s = std::clamp(strength, 0.0f, 1.0f);
    const int k = int(std::round(s * float(fineDigits) + (1.0f - s) * float(coarseDigits)));
    for (int i = 0; i < count; ++i) values[i] = RoundToDigits(values[i], k);
    if (count < 1 || count > 3) return;
    const int shown = std::max(0, k - 2);
    std::string text = QORFormat("%s = {", label);
    for (int i = 0; i < count; ++i) {
        if (i) text += ", ";
        text += QORFormat("%.*f", shown, double(values[i]) * 100.0);
    }
    text += "}";
    PrintHint(mesh, "%s", text.c_str());
}

void TKSN_Deformer::UpdateParameters()
{
    TKSN_Tool::UpdateParameters();
    AddPercentParameter(Lang.GetText(112), Lang.GetText(113), GetStrengthPtr(), 0.01f, 10.0f);
}

TKSN_Parameter* KSN_MakeListParameter(TKSN_Tool* tool, const char* name, const char* hint,
                                      bool (*callback)(TQOREvent*))
{
    auto* parameter = new TKSN_Parameter(tool, name, KSN_PARAM_LIST, reinterpret_cast<void*>(callback), -1);
    parameter->SetHint("%s", hint ? hint : "");
    return parameter;
}

void TKSN_Deformer::AddAutoDepthCalParameter()
{
    TKSN_Parameter* list = KSN_MakeListParameter(this, Lang.GetText(144), Lang.GetText(145), AutoDepthCalc_ListFunc);
    list->Enabled = !DoSnapToClosestVertex();
    Parameters->Add(list);
    if (AutoDepthMode == 4) AddPercentParameter(Lang.GetText(146), Lang.GetText(147), &AutoDepthValue, 0.0f, 1.0f);
}

bool TKSN_Deformer::AutoDepthCalc_ListFunc(TQOREvent* event)
{
    auto* tool = KSN_GetListParameterTool<TKSN_Deformer>(event);
    if (!tool) return false;
    static const char* const names[5] = {"Center", "Surface", "Closest", "Farthest", "Variable"};
    const int index = event->GetIndex();
    switch (event->GetCommand()) {
    case KSN_LIST_ITEM_NAME: event->AssignStringParameter(index >= 0 && index < 5 ? names[index] : "ERROR", 0); return true;
    case KSN_LIST_CURRENT: event->SetIndex(tool->AutoDepthMode); return true;
    case KSN_LIST_CHOOSE:
        tool->AutoDepthMode = index;
        QOREvents_PushEvent(431);
        return true;
    case KSN_LIST_COUNT: event->intParameters[0] = 5; return true;
    default: return false;
    }
}
