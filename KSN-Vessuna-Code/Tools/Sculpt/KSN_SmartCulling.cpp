// Smart culling and vertex weighing of the stroke engine: the weight of one
// vertex, the flood fill over connected polygons that face the brush, the
// alignment of the brush frame to the picked polygon and the softening of
// weights (see KSN_StrokeEngine.h).
#include "KSN_StrokeEngine.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "KSN_AffectedLists.h"
#include "KSN_Application.h"
#include "KSN_BrushShape.h"
#include "KSN_Mesh.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORMatrix.h"

bool (*KSN_StrokeShiftHeldNow)() = IsShiftHeldRightNow;

namespace {

// The flood fill's stack: it grows to the largest mesh seen and keeps its memory for the run.
std::vector<int32_t> FloodStack;

float Dot(const float* a, const float* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void NormaliseIfLong(float* v)
{
    const float length = std::sqrt(Dot(v, v));
    if (length <= 1e-30f) return;
    for (int i = 0; i < 3; ++i) v[i] /= length;
}

// The vertex flags (hidden 0x1, locked 0x4) when the root is a polygon mesh.
uint32_t VertexFlags(TKSN_MeshRoot* mesh, int v)
{
    TKSN_Mesh* owner = mesh->GetOwnerMesh();
    if (!owner || static_cast<TKSN_MeshRoot*>(owner) != mesh || !owner->VertexInfo) return 0;
    return owner->VertexInfo[v].Flags;
}

} // namespace

// [SECTION] Weighing one vertex

bool SmartBackface_ConsiderVertex(TKSN_MeshRoot* mesh, TKSN_Viewport* viewport, void* data, float, float, int v)
{
    auto* tool = static_cast<TKSN_Brush_V4*>(data);
    if (tool->UseSymmetry && mesh->activeVertexPartnerA && mesh->activeVertexPartnerA[v] != v) return false;
    if (VertexFlags(mesh, v) & (QORPoly_Hidden | QORPoly_Locked)) return false;

    const float* p = mesh->resolvedVertices + 3 * size_t(v);
    float f = 1.0f;
    if (tool->DepthFadeOn) {
        const float d[3] = {p[0] - SmartCulling_StartingPoint[0], p[1] - SmartCulling_StartingPoint[1],
                            p[2] - SmartCulling_StartingPoint[2]};
        float t = 1.0f - std::fabs(Dot(d, viewport->ViewVector)) * SmartCulling_DepthLengthInv;
        if (t < 1e-30f) {
            f = 0.0f;
        } else {
            if (t > 1.0f) t = 1.0f;
            f = t + (1.0f - t) * SmartCulling_Hardness;
        }
    }

    float b[3];
    KSN_TransformPoint(WorldToBrushMatrix, p, b);
    float amplitude = 0.0f;
    // Inside the shape is where the simplified image is set.
    if (!SingleClick_GetAmplitude_With_Simplified_Shape(amplitude, 0.0f, 0.0f, b[0], b[1], SmartCulling_BrushSize,
                                                        viewport->Aspect, SmartCull_BitmapData,
                                                        SmartCull_BitmapDataSimple, SmartCull_BitmapWidth,
                                                        SmartCull_BitmapHeight, SmartCull_Bitmap_ucHardness))
        return false;

    if ((tool->Flags & KSN_TOOL_POLYGON_INFO) && SmartCulling_Settings.DoAngleFade && mesh->vertexNormals)
        f *= GetFadeByAngleFactor(SmartCulling_Settings.FadeCutoff, SmartCulling_Settings.FadeFalloff,
                                  viewport->ViewVector, mesh->vertexNormals + 3 * size_t(v));
    f *= SmartCulling_VertexMult;
    if (SmartCulling_MultBySelectionValues) f *= mesh->GetResolvedVSelect(v);
    if (f <= 1e-30f) return true;
    AddAffectedVertex(v, f * amplitude);
    return true;
}

// [SECTION] Flood fill

void SmartBackface_PerformIteration_B(TKSN_MeshRoot* mesh, int startPolygon, TKSN_Viewport* viewport, float fx,
                                      float fy, TKSN_ConsiderVertexFunc consider, void* data, const float* zDir)
{
    if (!mesh || startPolygon < 0 || startPolygon >= mesh->GetPCount()) return;
    TQORTimer watch;
    watch.Start();
    KSN_EnsureVertexPolygons(mesh);
    mesh->StartUsingCFlags(eCFlag_Channel_General);
    const size_t capacity = size_t(mesh->GetVCount());
    if (FloodStack.size() < capacity) FloodStack.resize(capacity);
    size_t count = 0;
    auto push = [&](int v) {
        if (count < capacity) FloodStack[count++] = v;
    };
    for (int c = 0; c < mesh->vGetPolyN(startPolygon); ++c) {
        const int v = mesh->vGetPolyV(startPolygon, c);
        if (v >= 0 && v < mesh->GetVCount()) push(v);
    }
    while (count > 0) {
        const int u = FloodStack[--count];
        const int* row = mesh->vertexPolygons[u];
        for (int k = 1; k <= row[0]; ++k) {
            const int p = row[k];
            const int corners = mesh->vGetPolyN(p);
            if (mesh->IsPolyHidden(p) || corners < 1) continue;
            // A polygon edge-on to the brush (dot 0) still carries the fill.
            if (SmartCulling_Backface && Dot(mesh->polygonNormals + 3 * size_t(p), zDir) < 0.0f) continue;
            for (int c = 0; c < corners; ++c) {
                const int w = mesh->vGetPolyV(p, c);
                if (w < 0 || w >= mesh->GetVCount() || mesh->CFlag_TestVertex(eCFlag_Channel_General, w)) continue;
                mesh->CFlag_FlagVertex(eCFlag_Channel_General, w);
                if (consider(mesh, viewport, data, fx, fy, w)) push(w);
            }
        }
    }
    watch.Stop();
    OS.DebugMessage("AAA- Time for SmartBackface_PerformIteration_B is  = %.4f", watch.Read());
}

// [SECTION] Smart culling

bool TKSN_Brush_V4::DoSmartCulling()
{
    const auto& hooks = KSN_GetToolProjectHooks();
    TKSN_Viewport* viewport = hooks.GetCurrentViewport ? hooks.GetCurrentViewport() : nullptr;
    if (!viewport) return false;
    AverageTimerForSmartCulling.Start();

    // 1. Sticky selection keeps the list of the previous iteration.
    if (CanUseStickySelection() && KSN_StrokeShiftHeldNow &&
        KSN_StrokeShiftHeldNow() && SmartCulling_Mesh) {
        OS.DebugMessage("*** STICKY SELECTION ****");
        AverageTimerForSmartCulling.Stop();
        return true;
    }

    // 2. The pick under the current point.
    TKSN_MeshRoot* picked = nullptr;
    int polygon = -1;
    float hit[3] = {0, 0, 0};
    if (hooks.GetClosestPolygonAndMesh && hooks.GetClosestPolygonAndMesh(viewport, picked, polygon, MouseX, MouseY, hit) &&
        picked) {
        // A subdivision level stands for its owner mesh: the fill, the
        // weights and the morphs all index the owner's vertices.
        TKSN_Mesh* owner = picked->GetOwnerMesh();
        if (owner && static_cast<TKSN_MeshRoot*>(owner) != picked) {
            polygon = picked->GetOwnerIP(polygon);
            picked = owner;
        }
        if (owner && polygon >= 0 && polygon < picked->GetPCount()) {
            float world[3];
            KSN_TransformPoint(viewport->InverseCombinedMatrix, hit, world);
            if (!SmartCulling_Mesh || SmartCulling_Mesh == picked) {
                SmartCulling_Mesh = picked;
                SmartCulling_ip = polygon;
                std::memcpy(SmartCulling_StartingPoint, world, sizeof(world));
            }
            SetupBrushFrame(viewport);
            if (DoAutoAlign()) AutoAlignBrushFrame(viewport);
        }
    }

    // 3. The flood fill from the last start polygon.
    if (SmartCulling_Mesh) {
        PrepareAffectedList(SmartCulling_Mesh);
        UpdateUseSymmetry(SmartCulling_Mesh);
        SmartBackface_PerformIteration_B(SmartCulling_Mesh, SmartCulling_ip, viewport, 0.0f, 0.0f,
                                         SmartBackface_ConsiderVertex, this, WorldToBrushZDir);
    }
    AverageTimerForSmartCulling.Stop();
    return true;
}

void TKSN_Brush_V4::AutoAlignBrushFrame(TKSN_Viewport* viewport)
{
    TKSN_MeshRoot* mesh = SmartCulling_Mesh;
    if (!mesh || SmartCulling_ip < 0 || SmartCulling_ip >= mesh->GetPCount() || !mesh->polygonNormals) return;
    std::memcpy(SmartCulling_AverageNormal, mesh->polygonNormals + 3 * size_t(SmartCulling_ip),
                sizeof(SmartCulling_AverageNormal));
    const float* r = viewport->RotationMatrix;
    const float* n = SmartCulling_AverageNormal;
    float v[3];
    for (int i = 0; i < 3; ++i) v[i] = r[i] * n[0] + r[4 + i] * n[1] + r[8 + i] * n[2] + r[12 + i];
    float x[3] = {v[2], 0.0f, -v[0]};
    NormaliseIfLong(x);
    float y[3] = {v[1] * x[2] - v[2] * x[1], v[2] * x[0] - v[0] * x[2], v[0] * x[1] - v[1] * x[0]};
    NormaliseIfLong(y);
    float* a = BrushAlignmentRelativeRotationMatrix;
    QORMatrix_Identity4x4(a);
    for (int row = 0; row < 3; ++row) {
        a[4 * row] = x[row];
        a[4 * row + 1] = y[row];
        a[4 * row + 2] = v[row];
        OS.DebugMessage(">> %.3f, %.3f, %.3f, %.3f <<", a[4 * row], a[4 * row + 1], a[4 * row + 2], a[4 * row + 3]);
    }
    OS.DebugMessage(">> %.3f, %.3f, %.3f, %.3f <<", a[12], a[13], a[14], a[15]);

    QORMatrix_MultiplyMatrix4x4(viewport->RotationMatrix, a, WorldToBrushRotationMatrix);
    QORMatrix_Transpose4x4(BrushToWorldRotationMatrix, WorldToBrushRotationMatrix);

    // The viewport's own chain (KSN_Viewport.cpp), with the picked point for
    // the look-at point and the aligned rotation for the view's.
    const float f = viewport->GetZoomFactor(), d = viewport->EyeDistance;
    const float* s = SmartCulling_StartingPoint;
    float m[16], t[16];
    QORMatrix_CreateTranslation4x4(m, -s[0], -s[1], -s[2]);
    KSN_MatrixProduct(WorldToBrushRotationMatrix, m, m);
    QORMatrix_CreateScale4x4(t, 1.0f / f, 1.0f / f, 1.0f / f);
    KSN_MatrixProduct(t, m, m);
    QORMatrix_CreateTranslation4x4(t, 0.0f, 0.0f, -d);
    KSN_MatrixProduct(t, m, m);
    KSN_MatrixProduct(viewport->ProjectionMatrix, m, WorldToBrushMatrix);

    std::memcpy(m, viewport->InverseProjectionMatrix, sizeof(m));
    QORMatrix_CreateTranslation4x4(t, 0.0f, 0.0f, d);
    KSN_MatrixProduct(t, m, m);
    QORMatrix_CreateScale4x4(t, f, f, f);
    KSN_MatrixProduct(t, m, m);
    KSN_MatrixProduct(BrushToWorldRotationMatrix, m, m);
    QORMatrix_CreateTranslation4x4(t, s[0], s[1], s[2]);
    KSN_MatrixProduct(t, m, BrushToWorldMatrix);

    for (int k = 0; k < 3; ++k) WorldToBrushZDir[k] = BrushToWorldRotationMatrix[8 + k] + BrushToWorldRotationMatrix[12 + k];
}

// [SECTION] Softening

void TKSN_Brush_V4::SoftenAffectedWeights(TKSN_MeshRoot* mesh)
{
    TKSN_MeshRoot* owner = mesh ? mesh->GetOwnerMesh() : nullptr;
    if (!owner) owner = mesh;
    if (!owner || gAffectedVertexCount == 0) return;
    KSN_EnsureVertexPolygons(owner);
    // Per vertex: the weight before softening and the softened one.
    std::vector<float> before(size_t(owner->GetVCount()), 0.0f);
    std::vector<float> after(static_cast<size_t>(gAffectedVertexCount), 0.0f);
    owner->StartUsingCFlags(eCFlag_Channel_General);
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const TKSN_AffectedVertex& e = gAffectedVertices[i];
        owner->CFlag_FlagVertex(eCFlag_Channel_General, e.Vertex);
        before[size_t(e.Vertex)] = e.Weight;
    }
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int v = gAffectedVertices[i].Vertex;
        float sum = 0.0f;
        int n = 0;
        const int* row = owner->vertexPolygons[v];
        for (int k = 1; k <= row[0]; ++k)
            for (int c = 0; c < owner->vGetPolyN(row[k]); ++c) {
                const int corner = owner->vGetPolyV(row[k], c);
                ++n;
                if (corner >= 0 && corner < owner->GetVCount() &&
                    owner->CFlag_TestVertex(eCFlag_Channel_General, corner))
                    sum += before[size_t(corner)];
            }
        after[size_t(i)] = n > 0 ? sum / float(n) : gAffectedVertices[i].Weight;
    }
    for (int i = 0; i < gAffectedVertexCount; ++i) gAffectedVertices[i].Weight = after[size_t(i)];
}
