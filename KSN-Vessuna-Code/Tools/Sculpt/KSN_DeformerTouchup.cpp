// The touch-up deformer and the shared smoothing routine.
#include "KSN_DeformerTouchup.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Morph.h"
#include "KSN_Parameter.h"
#include "KSN_Selection.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"

namespace {

constexpr uint32_t kOpenMask = QORPoly_Hidden | QORPoly_Locked;

// The locked axes when the application's current tool honours them.
void CurrentToolLocks(bool* locks)
{
    locks[0] = locks[1] = locks[2] = false;
    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    const auto& hooks = KSN_GetDeformerProjectHooks();
    if (tool && (tool->Flags & KSN_TOOL_HONOURS_AXIS_LOCKS) && hooks.GetAxisLocks)
        hooks.GetAxisLocks(locks[0], locks[1], locks[2]);
}

float Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The passes of an amount: floor(amount) + 1, the last at the fraction.
std::vector<float> PassWeights(float amount)
{
    const int n = std::max(0, int(std::floor(amount)));
    std::vector<float> passes(size_t(n), 1.0f);
    passes.push_back(amount - float(n));
    return passes;
}

// The shared pass loop; weightOf gives the amount for a vertex in a pass
// (<= 0: skipped), after(v, delta) post-processes each written delta.
template <class WeightOf, class After>
void SmoothPasses(TKSN_Mesh* mesh, TKSN_Morph* morph, TKSN_Selection* selection, float amount, bool alongNormal,
                  bool preventShrinking, bool distanceWeighting, WeightOf weightOf, After after)
{
    const int count = mesh->GetVCount();
    if (count <= 0 || !morph) return;
    float* deltas = morph->GetPointerToExpandedArray();
    if (!deltas) return;
    std::vector<float> a(mesh->resolvedVertices, mesh->resolvedVertices + 3 * count);
    std::vector<float> b = a;
    float* source = a.data();
    float* target = b.data();
    for (float pass : PassWeights(amount)) {
        if (distanceWeighting) mesh->CalculateMaxEdgeLength();
        auto smoothOne = [&](int v, float w) {
            Smooth_Vertex(mesh, v, w, source, target, alongNormal, preventShrinking, distanceWeighting);
            float* d = deltas + 3 * v;
            for (int k = 0; k < 3; ++k) d[k] = target[3 * v + k] - mesh->resolvedVertices[3 * v + k];
            after(v, d);
        };
        if (selection) {
            int v = 0;
            float g = 0.0f;
            for (bool more = selection->GetFirstValue(&v, &g); more; more = selection->GetNextValue(&v, &g)) {
                if (v < 0 || v >= count || (mesh->VertexInfo[v].Flags & kOpenMask) || g <= 1e-30f) continue;
                smoothOne(v, weightOf(v, std::clamp(pass * g, 0.0f, 1.0f), true));
            }
        } else {
            for (int v = 0; v < count; ++v) {
                if (mesh->VertexInfo[v].Flags & kOpenMask) continue;
                const float h = weightOf(v, pass, false);
                if (h <= 0.0f || (h < 1.0f && h <= 1e-30f)) continue;
                smoothOne(v, std::min(h, 1.0f));
            }
        }
        // The next pass smooths this pass's result.
        std::memcpy(source, target, size_t(count) * 3 * sizeof(float));
        std::swap(source, target);
    }
}

} // namespace

void Smooth_Vertex(TKSN_Mesh* mesh, int v, float amount, const float* src, float* target, bool alongNormal,
                   bool preventShrinking, bool distanceWeighting)
{
    const bool plain = !distanceWeighting && !preventShrinking;
    const bool welded = mesh->Welded && !mesh->IgnoreWelding;
    double sum[3] = {0, 0, 0}, weights = 0.0, distances = 0.0;
    int distanceCount = 0, normalCount = 0;
    float normalSum[3] = {0, 0, 0};
    if (v < 0 || v >= mesh->GetVCount() || mesh->vertexPolygons.GetRowCount() <= v) return;
    const int* row = mesh->vertexPolygons[v];
    for (int r = 1; r <= row[0]; ++r) {
        const TQORPolygon& poly = mesh->Polygons[row[r]];
        bool selfSeen = false;
        for (int k = 0; k < poly.Count; ++k) {
            int u = poly.Points[k].V;
            if (u < 0 || u >= mesh->GetVCount()) continue;
            if (welded) u = mesh->GetEffectiveVertex(u);
            float w = 1.0f;
            if (plain) {
                if (u == v) {
                    if (selfSeen) continue;
                    selfSeen = true;
                }
            } else {
                if (u == v) continue;
                if (distanceWeighting) {
                    const float* pv = mesh->baseVertices + 3 * v;
                    const float* pu = mesh->baseVertices + 3 * u;
                    const float d[3] = {pu[0] - pv[0], pu[1] - pv[1], pu[2] - pv[2]};
                    const float distance = std::sqrt(Dot(d, d));
                    w = std::sqrt(distance);
                    distances += distance;
                    ++distanceCount;
                }
                if (preventShrinking && mesh->vertexNormals) {
                    for (int i = 0; i < 3; ++i) normalSum[i] += mesh->vertexNormals[3 * u + i];
                    ++normalCount;
                }
            }
            for (int i = 0; i < 3; ++i) sum[i] += double(w) * src[3 * u + i];
            weights += w;
        }
    }
    if (std::fabs(weights) <= 1e-30) return;
    float A[3] = {float(sum[0] / weights), float(sum[1] / weights), float(sum[2] / weights)};
    if (normalCount > 0)
        for (float& n : normalSum) n /= float(normalCount);
    if (distanceWeighting && distanceCount > 0) {
        // A mean distance beyond the longest edge must not push the vertex
        // away from its neighbours: the factor stays within 0..1.
        const float longest = mesh->MaxEdgeLength;
        const float factor =
            longest > 0.0f ? std::clamp(1.0f - float(distances / distanceCount) / longest, 0.0f, 1.0f) : 1.0f;
        amount *= factor;
    }
    const float* P = src + 3 * v;
    float* out = target + 3 * v;
    if (alongNormal) {
        const float* n = mesh->vertexNormals ? mesh->vertexNormals + 3 * v : nullptr;
        for (int i = 0; i < 3; ++i) out[i] = P[i];
        if (!n) return;
        const float d[3] = {A[0] - P[0], A[1] - P[1], A[2] - P[2]};
        const float t = Dot(d, n);
        if (!(preventShrinking && t <= 0.0f))
            for (int i = 0; i < 3; ++i) out[i] += n[i] * (amount * t);
        return;
    }
    if (preventShrinking && normalCount > 0) {
        const float* R = mesh->resolvedVertices + 3 * v;
        const float d[3] = {R[0] - A[0], R[1] - A[1], R[2] - A[2]};
        const float t = Dot(d, normalSum);
        if (t > 0.0f)
            for (int i = 0; i < 3; ++i) A[i] += normalSum[i] * t;
    }
    bool locks[3];
    CurrentToolLocks(locks);
    for (int i = 0; i < 3; ++i) {
        if (locks[i]) A[i] = P[i];
        out[i] = amount * A[i] + (1.0f - amount) * P[i];
    }
}

void TKSN_Smooth::SmoothAllVertices(TKSN_Mesh* mesh, TKSN_Morph* morph, TKSN_Selection* selection, float amount,
                                    bool alongNormal, float preventShrinking, bool distanceWeighting)
{
    SmoothPasses(
        mesh, morph, selection, amount, alongNormal, preventShrinking != 0.0f, distanceWeighting,
        [mesh](int v, float t, bool fromSelection) { return fromSelection ? t : mesh->GetResolvedVSelect(v) * t; },
        [](int, float*) {});
}

// [SECTION] Touch-up deformer

TKSN_TouchupDeformer::TKSN_TouchupDeformer()
{
    SetName("%s", Lang.GetText(132));
    IconName = "Touchup_Deformer";
    Flags |= 0x4000;
}

void TKSN_TouchupDeformer::SmoothAllVerticesNonStatic(TKSN_Mesh* mesh, TKSN_Morph* morph, TKSN_Selection* selection,
                                                      float amount, bool alongNormal, float preventShrinking,
                                                      bool distanceWeighting, bool useWeldMap)
{
    const auto& hooks = KSN_GetDeformerProjectHooks();
    const bool symmetry = hooks.DoUseSymmetry && hooks.DoUseSymmetry(mesh);
    bool locks[3];
    GetLocks(locks);
    const int axis = std::clamp(int(mesh->symmetryAxis), 0, 2);
    SmoothPasses(
        mesh, morph, selection, amount, alongNormal, preventShrinking != 0.0f, distanceWeighting,
        [&](int v, float t, bool fromSelection) {
            if (fromSelection) return EffectiveWeight(t);
            const int source = (useWeldMap && mesh->Welded) ? mesh->GetEffectiveVertex(v) : v;
            return mesh->GetResolvedVSelect(source) * t;
        },
        [&](int v, float* d) {
            if (symmetry && (mesh->VertexInfo[v].Flags & QORVertex_SymmetryPlane)) d[axis] = 0.0f;
            for (int k = 0; k < 3; ++k)
                if (locks[k]) d[k] = 0.0f;
        });
}

bool TKSN_TouchupDeformer::OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx,
                                   float fy)
{
    Flags |= KSN_TOOL_NO_SYMMETRIC_TEMP_MORPH;
    if (state == 0 && TouchupType == 2) {
        for (TKSN_Mesh* m : KSN_GetAffectableMeshes())
            if (m->GetCurrentMorph() == m->BaseVerticesMorph) {
                OS.WarningMessageNoRepeat("%s", Lang.GetText(955));
                return false;
            }
    }
    return TKSN_Deformer::OnMouse(mesh, viewport, button, state, fx, fy);
}

bool TKSN_TouchupDeformer::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    switch (TouchupType) {
    case 0: return OnMotion_Smooth(mesh, viewport, fx, fy);
    case 1: return OnMotion_Flatten(mesh, viewport, fx, fy);
    case 2: return OnMotion_Unmorph(mesh, viewport, fx, fy);
    default: return false;
    }
}

bool TKSN_TouchupDeformer::OnMotion_Smooth(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Deformer::OnMotion(mesh, viewport, fx, fy)) return false;
    const float S = TouchupStrength;
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        if (!m->TempMorph) continue;
        m->TempMorph->Clear();
        ResolveTempMorphs(m);
        m->RecalculateSelectedNormals();
        const float travel = S * GetOneDimStrength(m, viewport, PressX, PressY, fx, fy, false);
        float amount = AdjustValueForSensitvity(travel > 0.0f ? travel : 0.0f);
        PrintStrengthHintAndSnapPrecision(m, Lang.GetText(460), S, &amount, 1, 2, 4);
        SmoothAllVerticesNonStatic(m, m->TempMorph, nullptr, amount, PreventSpreading, PreventShrinking ? 1.0f : 0.0f,
                                   false, true);
        ResolveTempMorphs(m);
        m->AfterDeformStep();
    }
    return true;
}

bool TKSN_TouchupDeformer::OnMotion_Flatten(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Deformer::OnMotion(mesh, viewport, fx, fy)) return false;
    const float S = TouchupStrength;
    const std::vector<TKSN_Mesh*> meshes = KSN_GetAffectableMeshes();
    for (TKSN_Mesh* m : meshes) {
        if (!m->TempMorph) continue;
        m->TempMorph->Clear();
        ResolveTempMorphs(m);
        m->RecalculateSelectedNormals();
    }
    for (TKSN_Mesh* m : meshes) {
        if (!m->TempMorph) continue;
        m->TempMorph->Clear();
        ResolveTempMorphs(m);
        float amount =
            std::clamp(AdjustValueForSensitvity(S * GetOneDimStrength(m, viewport, PressX, PressY, fx, fy, false)),
                       0.0f, 1.0f);
        PrintStrengthHintAndSnapPrecision(m, Lang.GetText(460), S, &amount, 1, 2, 4);
        const float a[3] = {amount, 0.0f, 0.0f};
        DeformSelectedVertices(m, viewport, a, Centre, SelectionNormal, true, true);
        ResolveTempMorphs(m);
        m->AfterDeformStep();
    }
    return true;
}

bool TKSN_TouchupDeformer::OnMotion_Unmorph(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Deformer::OnMotion(mesh, viewport, fx, fy)) return false;
    const float S = TouchupStrength;
    float direction[3];
    KSN_ViewingDirection(viewport, direction);
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        if (!m->TempMorph) continue;
        m->TempMorph->Clear();
        TKSN_Morph* current = m->GetCurrentMorph();
        UnmorphFrame = current ? current->GetCurrentFrameForDeforming(KSN_MeshApp_GetCurrentAnimationFrame(), true)
                               : nullptr;
        if (!UnmorphFrame) continue;
        const float travel = S * GetOneDimStrength(m, viewport, PressX, PressY, fx, fy, false);
        float amount = AdjustValueForSensitvity(travel > 0.0f ? travel : 0.0f);
        PrintStrengthHintAndSnapPrecision(m, Lang.GetText(460), S, &amount, 1, 2, 4);
        const float a[3] = {amount, 0.0f, 0.0f};
        DeformSelectedVertices(m, viewport, a, zero, direction, true, false);
        ResolveTempMorphs(m);
        m->AfterDeformStep();
    }
    return true;
}

void TKSN_TouchupDeformer::DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport*, int vertex, const float* a, float weight,
                                        const float* b, const float* c, float* out, int mirrorAxis)
{
    switch (TouchupType) {
    case 0: DeformVertex_Smooth(); break;
    case 1: DeformVertex_Flatten(mesh, vertex, a, weight, b, c, out, mirrorAxis); break;
    case 2: DeformVertex_Unmorph(mesh, vertex, a, weight, out); break;
    default: break;
    }
}

void TKSN_TouchupDeformer::DeformVertex_Unmorph(TKSN_Mesh* mesh, int vertex, const float* a, float weight, float* out)
{
    if (!UnmorphFrame) return;
    const float* m = UnmorphFrame->GetVertex(vertex);
    const float f = std::max(-a[0] * weight, -1.0f);
    float d[3] = {m[0] * f, m[1] * f, m[2] * f};
    if (!mesh->TotalMatrixIsIdentity) {
        const float* t = mesh->LinearMatrix;
        const float x = d[0], y = d[1], z = d[2];
        d[0] = t[0] * x + t[4] * y + t[8] * z + t[12];
        d[1] = t[1] * x + t[5] * y + t[9] * z + t[13];
        d[2] = t[2] * x + t[6] * y + t[10] * z + t[14];
    }
    for (int k = 0; k < 3; ++k) out[k] = d[k];
}

void TKSN_TouchupDeformer::DeformVertex_Flatten(TKSN_Mesh* mesh, int vertex, const float* a, float weight,
                                                const float* b, const float* c, float* out, int mirrorAxis)
{
    float P[3];
    std::memcpy(P, mesh->resolvedVertices + 3 * vertex, sizeof P);
    const bool mirror = mirrorAxis >= 0 && mirrorAxis <= 2 && mesh->baseVertices[3 * vertex + mirrorAxis] < 0.0f;
    if (mirror) P[mirrorAxis] = -P[mirrorAxis];
    const int axis = std::clamp(int(mesh->symmetryAxis), 0, 2);
    const bool weldMirror = mesh->Welded && !mesh->IgnoreWelding && mesh->GetEffectiveVertex(vertex) != vertex;
    if (weldMirror && (mesh->symmetryState == 1 || mesh->symmetryState == 2)) {
        auto apply = [](const float* m, float* p) {
            const float x = p[0], y = p[1], z = p[2];
            p[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
            p[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
            p[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
        };
        if (!mesh->TotalMatrixIsIdentity) apply(mesh->InverseTotalMatrix, P);
        const float offset = mesh->symmetryOffset;
        const float distance = std::fabs(P[axis] - offset);
        P[axis] = mesh->symmetryState == 1 ? offset + distance : offset - distance;
        if (!mesh->TotalMatrixIsIdentity) apply(mesh->TotalMatrix, P);
    }
    const float d[3] = {b[0] - P[0], b[1] - P[1], b[2] - P[2]};
    const float s = Dot(d, c) * a[0] * weight;
    for (int k = 0; k < 3; ++k) out[k] = c[k] * s;
    if (mirror) out[mirrorAxis] = -out[mirrorAxis];
    if (weldMirror) out[axis] = -out[axis];
}

void TKSN_TouchupDeformer::UpdateParameters()
{
    TKSN_Deformer::UpdateParameters();
    TKSN_Parameter* type = KSN_MakeListParameter(this, Lang.GetText(249), Lang.GetText(250), Type_ListFunc);
    Parameters->Insert(std::clamp(HeaderParameterCount, 0, Parameters->Count()), type);
    if (DoesUseAutoCalcDepth()) AddAutoDepthCalParameter();
    if (TouchupType == 0)
        AddBoolParameterTriplet("Reduce...", "", "Shrinking", Lang.GetText(663), &PreventShrinking, "Spreading",
                                Lang.GetText(370), &PreventSpreading, "", "", nullptr);
}

void TKSN_TouchupDeformer::OnParameterChange(TKSN_Parameter* parameter)
{
    if (!parameter) return;
    if (parameter->Data == &PreventSpreading && PreventSpreading) PreventShrinking = false;
    if (parameter->Data == &PreventShrinking && PreventShrinking) PreventSpreading = false;
}

bool TKSN_TouchupDeformer::Type_ListFunc(TQOREvent* event)
{
    auto* tool = KSN_GetListParameterTool<TKSN_TouchupDeformer>(event);
    if (!tool) return false;
    const int index = event->GetIndex();
    const bool modelling = App && App->GetToolTypeTab() == 4;
    switch (event->GetCommand()) {
    case KSN_LIST_ITEM_NAME: {
        static const int names[3] = {102, 673, 427};
        event->AssignStringParameter(index >= 0 && index < 3 ? Lang.GetText(names[index]) : "ERROR", 0);
        // Unmorph has no morph to take back on the modelling tab.
        event->intParameters[0] = (index == 2 && modelling) ? 1 : 0;
        return true;
    }
    case KSN_LIST_ITEM_HINT: {
        const int hint = index == 0 ? 103 : index == 1 ? 674 : index == 2 ? (modelling ? 955 : 428) : -1;
        event->AssignStringParameter(hint >= 0 ? Lang.GetText(hint) : "", 0);
        return true;
    }
    case KSN_LIST_CURRENT: event->SetIndex(tool->TouchupType); return true;
    case KSN_LIST_CHOOSE:
        tool->TouchupType = index;
        QOREvents_PushEvent(431);
        return true;
    case KSN_LIST_COUNT: event->intParameters[0] = 3; return true;
    default: return false;
    }
}
