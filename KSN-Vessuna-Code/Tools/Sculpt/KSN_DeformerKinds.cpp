// The move, scale, rotate and bulge deformers: motion steps and vertex rules.
#include "KSN_DeformerKinds.h"

#include <algorithm>
#include <cmath>

#include "KSN_Mesh.h"
#include "KSN_Viewport.h"
#include "QORLanguage.h"
#include "QORMatrix.h"

namespace {

// The zoom factor over the default zoom factor (1 when the default is tiny).
float ZoomRatio(TKSN_Viewport* viewport)
{
    if (!viewport) return 1.0f;
    const float def = viewport->GetDefaultZoomFactor();
    return def > 1e-30f ? viewport->GetZoomFactor() / def : 1.0f;
}

// P with component k negated when the vertex's base position is negative on k.
bool MirrorCondition(TKSN_Mesh* mesh, int vertex, int k)
{
    return k >= 0 && k <= 2 && mesh->baseVertices && mesh->baseVertices[3 * vertex + k] < 0.0f;
}

} // namespace

// [SECTION] Move in plane

TKSN_MoveInPlane::TKSN_MoveInPlane()
{
    SetName("%s", Lang.GetText(73));
    IconName = "MoveInPlane";
    Flags |= KSN_TOOL_MOTION_OUTSIDE;
}

bool TKSN_MoveInPlane::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Deformer::OnMotion(mesh, viewport, fx, fy)) return false;
    const float s = GetStrength();
    float view[2];
    GetTwoDimStrength(mesh, viewport, view, PressX, PressY, fx, fy);
    float m[3] = {AdjustValueForSensitvity(view[0]) * s, AdjustValueForSensitvity(view[1]) * s, 0.0f};
    if (GetDirDepth()) {
        m[2] = m[1];
        m[0] = m[1] = 0.0f;
    } else {
        if (!GetDirHoriz()) m[0] = 0.0f;
        if (!GetDirVert()) m[1] = 0.0f;
    }
    float d[3];
    KSN_ViewToObject(viewport, m, d);
    float direction[3];
    KSN_ViewingDirection(viewport, direction);
    const float zero[3] = {0.0f, 0.0f, 0.0f};
    DeformStepOnAffectableMeshes(viewport, d, zero, direction, false, [&](TKSN_Mesh* m2) {
        // The rounding shows in the hint only: d was taken before it.
        PrintStrengthHintAndSnapPrecision(m2, Lang.GetText(656), s * ZoomRatio(viewport), m, 3, 2, 4);
    });
    return true;
}

void TKSN_MoveInPlane::OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    TKSN_Tool::OnDraw(mesh, viewport, fx, fy);
    if (MouseState != 0) return;
    if (GetDirDepth())
        DrawDepthMotionViaConcentricBoxes(mesh, viewport, fx, fy);
    else
        DrawHorizVertMotion(mesh, viewport, fx, fy);
}

void TKSN_MoveInPlane::DeformVertex(TKSN_Mesh*, TKSN_Viewport*, int, const float* a, float weight, const float*,
                                    const float*, float* out, int)
{
    for (int k = 0; k < 3; ++k) out[k] = a[k] * weight;
}

// [SECTION] Scale

TKSN_Scale::TKSN_Scale()
{
    SetName("%s", Lang.GetText(81));
    IconName = "Scale3D";
    Flags &= ~uint32_t(0x80000);
    DirHoriz = DirVert = DirDepth = true;
}

void TKSN_Scale::UpdateParameters()
{
    TKSN_Deformer::UpdateParameters();
    AddAutoDepthCalParameter();
}

bool TKSN_Scale::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Deformer::OnMotion(mesh, viewport, fx, fy)) return false;
    float s = AdjustValueForSensitvity(GetStrength() * GetOneDimStrength(mesh, viewport, PressX, PressY, fx, fy, false)) +
              1.0f;
    if (s <= 0.0f) s = 0.0f;
    float factors[3] = {GetDirHoriz() ? s : 1.0f, GetDirVert() ? s : 1.0f, GetDirDepth() ? s : 1.0f};
    float direction[3];
    KSN_ViewingDirection(viewport, direction);
    DeformStepOnAffectableMeshes(viewport, factors, Centre, direction, true, [&](TKSN_Mesh* m) {
        PrintStrengthHintAndSnapPrecision(m, "Scale", GetStrength(), factors, 3, 2, 4);
    });
    return true;
}

void TKSN_Scale::OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    TKSN_Tool::OnDraw(mesh, viewport, fx, fy);
    if (MouseState == 0) DrawDepthMotionViaConcentricBoxes(mesh, viewport, fx, fy);
}

void TKSN_Scale::DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int vertex, const float* a, float weight,
                              const float* b, const float*, float* out, int mirrorAxis)
{
    const float* p = mesh->resolvedVertices + 3 * vertex;
    float q[3] = {p[0], p[1], p[2]};
    const bool mirror = MirrorCondition(mesh, vertex, mirrorAxis);
    if (mirror) q[mirrorAxis] = -q[mirrorAxis];
    for (int k = 0; k < 3; ++k) q[k] -= b[k];
    float v[3];
    KSN_ObjectToView(viewport, q, v);
    for (int k = 0; k < 3; ++k) v[k] *= a[k];
    KSN_ViewToObject(viewport, v, q);
    for (int k = 0; k < 3; ++k) q[k] += b[k];
    if (mirror) q[mirrorAxis] = -q[mirrorAxis];
    for (int k = 0; k < 3; ++k) out[k] = (q[k] - p[k]) * weight;
}

// [SECTION] Rotate

TKSN_Rotate::TKSN_Rotate()
{
    SetName("%s", Lang.GetText(104));
    IconName = "Rotate";
    DirDepth = true;
}

const char* TKSN_Rotate::GetDepthName() { return Lang.GetText(148); }
const char* TKSN_Rotate::GetDepthHint() { return Lang.GetText(149); }

void TKSN_Rotate::UpdateParameters()
{
    TKSN_Deformer::UpdateParameters();
    AddAutoDepthCalParameter();
}

bool TKSN_Rotate::OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy)
{
    const bool accepted = TKSN_Deformer::OnMouse(mesh, viewport, button, state, fx, fy);
    if (accepted && state == 0) std::copy(Centre, Centre + 3, PressCentre);
    return accepted;
}

bool TKSN_Rotate::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Deformer::OnMotion(mesh, viewport, fx, fy)) return false;
    float ax = 0.0f, ay = 0.0f;
    GetTwoDimRotationFromViewportMotion(viewport, fx - PressX, fy - PressY, ax, ay, nullptr);
    float A = float(double(ax) * 180.0 / M_PI);
    float B = float(double(ay) * 180.0 / M_PI);
    const float screenX[3] = {1.0f, 0.0f, 0.0f}, screenY[3] = {0.0f, 1.0f, 0.0f};
    float X[3], Y[3], direction[3];
    KSN_ViewToObject(viewport, screenX, X);
    KSN_ViewToObject(viewport, screenY, Y);
    KSN_ViewingDirection(viewport, direction);
    float tilt = 0.0f;
    if (!GetDirDepth()) {
        SoftRotationLookup.CalculateAllMatrices(-B, PressCentre, X);
        SoftRotationLookupB.CalculateAllMatrices(A, PressCentre, Y);
    } else {
        SoftRotationLookupB.CalculateAllMatrices(-A, PressCentre, direction);
        SoftRotationLookup.CalculateAllMatrices(0.0f, PressCentre, Y);
        tilt = A;
        A = B = 0.0f;
    }
    const float a[3] = {B, A, 0.0f};
    DeformStepOnAffectableMeshes(viewport, a, PressCentre, direction, true, [&](TKSN_Mesh* m) {
        PrintHint(m, "%s = {%.2f, %.2f,%.2f}", Lang.GetText(671), double(A), double(B), double(tilt));
    });
    return true;
}

void TKSN_Rotate::OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    TKSN_Tool::OnDraw(mesh, viewport, fx, fy);
    if (MouseState != 0) return;
    if (GetDirDepth())
        DrawDepthMotionHorizontally(mesh, viewport, fx, fy);
    else
        DrawHorizVertMotion(mesh, viewport, fx, fy);
}

void TKSN_Rotate::DeformVertex(TKSN_Mesh* mesh, TKSN_Viewport*, int vertex, const float*, float weight,
                               const float*, const float*, float* out, int mirrorAxis)
{
    const float w = std::clamp(weight, 0.0f, 1.0f);
    const float* p = mesh->resolvedVertices + 3 * vertex;
    float q[3] = {p[0], p[1], p[2]};
    const bool mirror = MirrorCondition(mesh, vertex, mirrorAxis);
    if (mirror) q[mirrorAxis] = -q[mirrorAxis];
    float first[16], second[16], r[16];
    SoftRotationLookup.GetRotationMatrixB(first, w);
    SoftRotationLookupB.GetRotationMatrixB(second, w);
    QORMatrix_MultiplyMatrix4x4(first, second, r);
    float t[3] = {r[0] * q[0] + r[4] * q[1] + r[8] * q[2] + r[12], r[1] * q[0] + r[5] * q[1] + r[9] * q[2] + r[13],
                  r[2] * q[0] + r[6] * q[1] + r[10] * q[2] + r[14]};
    if (mirror) t[mirrorAxis] = -t[mirrorAxis];
    for (int k = 0; k < 3; ++k) out[k] = t[k] - p[k];
}

// [SECTION] Bulge

TKSN_Bulge::TKSN_Bulge()
{
    SetName("%s", Lang.GetText(71));
    IconName = "Bulge";
    CachesNormals = true;
}

bool TKSN_Bulge::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Deformer::OnMotion(mesh, viewport, fx, fy)) return false;
    float amount = AdjustValueForSensitvity(GetStrength() * GetOneDimStrength(mesh, viewport, PressX, PressY, fx, fy, true));
    int digits = 2;
    if (viewport) {
        // One pixel's width in object space picks the precision.
        const float width = float(std::max(1, int(viewport->WindowWidth)));
        const float px[3] = {2.0f / width, 0.0f, 0.0f}, origin[3] = {0.0f, 0.0f, 0.0f};
        float a[3], o[3];
        KSN_TransformPoint(PressScreenToObject, px, a);
        KSN_TransformPoint(PressScreenToObject, origin, o);
        const float d[3] = {a[0] - o[0], a[1] - o[1], a[2] - o[2]};
        const float length = Vector_Modulus(d, 3);
        if (length > 1e-30f) digits = std::max(0, 1 - int(std::trunc(std::log10(length))));
    }
    bool hinted = false;
    for (TKSN_Mesh* m : KSN_GetAffectableMeshes()) {
        if (!m->TempMorph) continue;
        m->TempMorph->Clear();
        ResolveTempMorphs(m);
        SetTempInitNormalsForObject(m->GetOwnerObject());
        m->RecalculateSelectedNormals();
        if (!hinted) {
            PrintStrengthHintAndSnapPrecision(m, Lang.GetText(460), 1.0f, &amount, 1, digits, 2);
            hinted = true;
        }
        const float a[3] = {amount, 0.0f, 0.0f};
        if (InitNormals) DeformSelectedVertices(m, viewport, a, nullptr, nullptr, false, true);
        ResolveTempMorphs(m);
        m->AfterDeformStep();
    }
    return true;
}

void TKSN_Bulge::DeformVertex(TKSN_Mesh*, TKSN_Viewport*, int vertex, const float* a, float weight, const float*,
                              const float*, float* out, int)
{
    if (!InitNormals) return;
    for (int k = 0; k < 3; ++k) out[k] = InitNormals[3 * vertex + k] * (a[0] * weight);
}
