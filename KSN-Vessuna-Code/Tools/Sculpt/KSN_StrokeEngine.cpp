// The stroke engine: press, motion and release, one iteration, the octree
// scan of the plain culling methods and the per-mesh hooks (see
// KSN_StrokeEngine.h). Smart culling and the weighing of a vertex live in
// KSN_SmartCulling.cpp.
#include "KSN_StrokeEngine.h"

#include <cmath>
#include <cstring>

#include "KSN_AffectedLists.h"
#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Parameter.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QORLanguage.h"
#include "QORMatrix.h"
#include "QOROctree.h"

// [SECTION] Stroke state

TKSN_MeshRoot* SmartCulling_Mesh = nullptr;
int32_t SmartCulling_ip = -1;
float SmartCulling_StartingPoint[3] = {0, 0, 0};
float SmartCulling_AverageNormal[3] = {0, 0, 0};
int32_t SmartCulling_IterationCount = 0;
bool SmartCulling_MultBySelectionValues = false;
float SmartCulling_BrushSize = 0.0f;
float SmartCulling_Hardness = 0.0f;
float SmartCulling_VertexMult = 1.0f;
float SmartCulling_DepthLength = 0.0f, SmartCulling_DepthLengthInv = 0.0f;
bool SmartCulling_DepthFade = true, SmartCulling_AutoAlignBrush = true, SmartCulling_Backface = true;
int32_t SmartCull_BitmapWidth = 0, SmartCull_BitmapHeight = 0;
const unsigned char* SmartCull_BitmapData = nullptr;
const unsigned char* SmartCull_BitmapDataSimple = nullptr;
unsigned char SmartCull_Bitmap_ucHardness = 0;
float SmartCull_Strength = 0.0f;
int32_t ChiseledVertexCount = 0;
float WorldToBrushMatrix[16], BrushToWorldMatrix[16];
float WorldToBrushRotationMatrix[16], BrushToWorldRotationMatrix[16];
float BrushAlignmentRelativeRotationMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
float WorldToBrushZDir[3] = {0, 0, 1};
TQORAverageTime AverageTimerForSmartCulling;
TKSN_StrokeSettings SmartCulling_Settings;

// [SECTION] Shared helpers

void KSN_TransformPoint(const float* m, const float* p, float* out)
{
    float w = m[3] * p[0] + m[7] * p[1] + m[11] * p[2] + m[15];
    if (std::fabs(w) < 1e-30f) w = 1.0f;
    float r[3];
    for (int i = 0; i < 3; ++i) r[i] = (m[i] * p[0] + m[4 + i] * p[1] + m[8 + i] * p[2] + m[12 + i]) / w;
    std::memcpy(out, r, sizeof(r));
}

int KSN_SnapToClosestCorner(TKSN_Viewport* viewport, float x, float y, float* screen)
{
    const TKSN_ToolProjectHooks& hooks = KSN_GetToolProjectHooks();
    if (!viewport || !hooks.GetClosestPolygonAndMesh) return 0;
    TKSN_MeshRoot* picked = nullptr;
    int polygon = -1;
    if (!hooks.GetClosestPolygonAndMesh(viewport, picked, polygon, x, y, nullptr)) return 0;
    TKSN_Mesh* owner = picked ? picked->GetOwnerMesh() : nullptr;
    if (!owner) return -1;
    // A subdivided level answers with its own polygon; the corners are the base mesh's.
    if (picked != owner) polygon = picked->GetOwnerIP(polygon);
    float best = 1e30f;
    for (int c = 0; polygon >= 0 && polygon < owner->GetPCount() && c < owner->vGetPolyN(polygon); ++c) {
        const int v = owner->vGetPolyV(polygon, c);
        if (v < 0 || v >= owner->GetVCount()) continue;
        float s[3];
        KSN_TransformPoint(viewport->CombinedMatrix, owner->resolvedVertices + 3 * size_t(v), s);
        const float d = (s[0] - x) * (s[0] - x) + (s[1] - y) * (s[1] - y);
        if (d < best) {
            best = d;
            std::memcpy(screen, s, sizeof s);
        }
    }
    return 1;
}

bool TKSN_Brush_V4::DoSnapToClosestVertex() { return CanSnapToClosestVertex() && App && App->snapToClosestVertex; }

void KSN_EnsureVertexPolygons(TKSN_MeshRoot* mesh)
{
    if (mesh->vertexPolygons.GetRowCount() != mesh->GetVCount()) mesh->BuildVertexPolygons();
}

namespace {

const TKSN_ToolProjectHooks& Hooks() { return KSN_GetToolProjectHooks(); }

std::vector<TKSN_Object*> ProjectObjects()
{
    std::vector<TKSN_Object*> objects;
    if (Hooks().GetObjects) Hooks().GetObjects(objects);
    return objects;
}

bool CanAffect(TKSN_Object* object) { return !Hooks().CanAffectObject || Hooks().CanAffectObject(object); }

TKSN_Viewport* CurrentViewport() { return Hooks().GetCurrentViewport ? Hooks().GetCurrentViewport() : nullptr; }

// Whether any polygon around v faces the brush (dot product with zDir above 0).
bool FacesBrush(TKSN_MeshRoot* mesh, int v)
{
    const int* row = mesh->vertexPolygons[v];
    for (int k = 1; k <= row[0]; ++k) {
        const float* n = mesh->polygonNormals + 3 * size_t(row[k]);
        if (n[0] * WorldToBrushZDir[0] + n[1] * WorldToBrushZDir[1] + n[2] * WorldToBrushZDir[2] > 0.0f) return true;
    }
    return false;
}

} // namespace

// [SECTION] Construction and answers

TKSN_Brush_V4::TKSN_Brush_V4()
{
    Flags |= KSN_TOOL_POLYGON_INFO | KSN_TOOL_MIRRORED_INPUT | KSN_TOOL_SYMMETRIC;
}

int TKSN_Brush_V4::GetEffectiveCullingMethod()
{
    const int m = Hooks().GetUserCullingMethod ? Hooks().GetUserCullingMethod() : 0;
    if (m == 3 || m == 4) {
        if (CanUsePerVertexCulling()) return m;
        if (CanUseSmartCulling()) return 2;
        return CanUseBackfaceCulling() ? 1 : 0;
    }
    if (m == 2) {
        if (CanUseSmartCulling()) return 2;
        if (CanUsePerVertexCulling()) return 3;
        return CanUseBackfaceCulling() ? 1 : 0;
    }
    return m;
}

bool TKSN_Brush_V4::RequiredCullingCalculations()
{
    const int c = GetEffectiveCullingMethod();
    return c == 3 || c == 4;
}

bool TKSN_Brush_V4::DoAutoAlign()
{
    return SmartCulling_AutoAlignBrush && Hooks().GetCullingMethod && Hooks().GetCullingMethod() == 2;
}

void TKSN_Brush_V4::UpdateParameters()
{
    TKSN_Tool::UpdateParameters();
    const bool brush = !DoActOnWholeSelection();
    if (brush) {
        TKSN_Parameter* size = AddPercentParameter(Lang.GetText(110), Lang.GetText(111), GetSizePtr(), 0.01f, 1.0f);
        size->QuadraticSlider = true;
        size->InvalidateOverlayOnChange = true;
    }
    AddPercentParameter(Lang.GetText(112), Lang.GetText(113), GetStrengthPtr(), 0.001f, 1.0f);
    if (brush) AddPercentParameter(Lang.GetText(134), Lang.GetText(135), GetHardnessPtr(), 0.0f, 1.0f);
}

// [SECTION] Press, motion, release

bool TKSN_Brush_V4::OnMouse(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int button, int state, float fx, float fy)
{
    if (!TKSN_Tool::OnMouse(mesh, viewport, button, state, fx, fy)) return false;
    if (button != 0) return true;
    if (state == 1) {
        OnFinishedStroke();
        return true;
    }
    if (state != 0) return true;

    // 1. Touched marks and whether weights follow the selection.
    SmartCulling_MultBySelectionValues = false;
    const std::vector<TKSN_Object*> objects = ProjectObjects();
    for (TKSN_Object* object : objects) {
        TKSN_Mesh* m = object->Mesh.get();
        if (!m) continue;
        m->SetCustomBooleanProperty(KSN_BRUSH_V4_TOUCHED, false);
        if (CanActOnSelectionOnly() && m->GetSelectedVertexCount() > 0) SmartCulling_MultBySelectionValues = true;
    }

    // 2. Snap the press to the nearest corner of the polygon under it.
    if (DoSnapToClosestVertex()) {
        float screen[3] = {PressX, PressY, 0.0f};
        if (KSN_SnapToClosestCorner(viewport, fx, fy, screen) < 0) return false;
        PressX = screen[0];
        PressY = screen[1];
    }

    // 3. A fresh smart-culling state.
    SmartCulling_Mesh = nullptr;
    SmartCulling_ip = -1;
    SmartCulling_IterationCount = 0;
    for (TKSN_Object* object : objects)
        if (object->Mesh) object->Mesh->StartUsingCFlags(eCFlag_Channel_Brush);

    // 4. The depth length of the stroke, from the frame of the previous iteration.
    SmartCulling_DepthLength = SmartCulling_DepthLengthInv = 0.0f;
    if (DepthFadeOn) {
        const float* r = BrushToWorldMatrix;
        const float s = SmartCulling_BrushSize;
        SmartCulling_DepthLength = std::sqrt(s * r[0] * s * r[0] + s * r[1] * s * r[1] + s * r[2] * s * r[2]);
        if (SmartCulling_DepthLength > 1e-30f) SmartCulling_DepthLengthInv = 1.0f / SmartCulling_DepthLength;
    }

    // 5. The first iteration.
    BeforeFirstIteration();
    PreviousX = MouseX = fx;
    PreviousY = MouseY = fy;
    PerformIteration();
    return true;
}

bool TKSN_Brush_V4::OnMotion(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    if (!TKSN_Tool::OnMotion(mesh, viewport, fx, fy)) return false;
    MouseX = fx;
    MouseY = fy;
    PerformIteration();
    PreviousX = fx;
    PreviousY = fy;
    return true;
}

void TKSN_Brush_V4::OnFinishedStroke()
{
    const int c = GetEffectiveCullingMethod();
    if (c == 2) {
        DoSmartCulling();
        if (SmartCulling_Mesh) {
            TKSN_Mesh* owner = SmartCulling_Mesh->GetOwnerMesh();
            if (owner && owner->GetCustomBooleanProperty(KSN_BRUSH_V4_TOUCHED)) OnFinishedStrokeForMesh(owner);
        }
    } else {
        for (TKSN_Object* object : ProjectObjects()) {
            TKSN_Mesh* m = object->Mesh.get();
            if (m && m->GetCustomBooleanProperty(KSN_BRUSH_V4_TOUCHED)) OnFinishedStrokeForMesh(m);
        }
    }
    if (Hooks().OnFullSurfaceChanged) Hooks().OnFullSurfaceChanged();
}

// [SECTION] One iteration

void TKSN_Brush_V4::SetupBrushFrame(TKSN_Viewport* viewport)
{
    QORMatrix_Identity4x4(BrushAlignmentRelativeRotationMatrix);
    std::memcpy(WorldToBrushMatrix, viewport->CombinedMatrix, sizeof(WorldToBrushMatrix));
    std::memcpy(BrushToWorldMatrix, viewport->InverseCombinedMatrix, sizeof(BrushToWorldMatrix));
    std::memcpy(WorldToBrushRotationMatrix, viewport->RotationMatrix, sizeof(WorldToBrushRotationMatrix));
    QORMatrix_Transpose4x4(BrushToWorldRotationMatrix, viewport->RotationMatrix);
    QORMatrix_Translate4x4(WorldToBrushMatrix, -MouseX, -MouseY, 0.0f);
    std::memcpy(WorldToBrushZDir, viewport->ViewVector, sizeof(WorldToBrushZDir));
}

void TKSN_Brush_V4::UpdateUseSymmetry(TKSN_MeshRoot* mesh)
{
    TKSN_Mesh* owner = mesh ? mesh->GetOwnerMesh() : nullptr;
    UseSymmetry = owner && Hooks().DoUseSymmetry && Hooks().DoUseSymmetry(owner);
    if (UseSymmetry) owner->BeforeConsideringSymmetry();
}

void TKSN_Brush_V4::ScanMesh(TKSN_Mesh* mesh, TKSN_Viewport* viewport, int culling, const float* min,
                             const float* max)
{
    PrepareAffectedList(mesh);
    // The filter below reads this mesh's own symmetry setting.
    UpdateUseSymmetry(mesh);
    if (culling == 1) KSN_EnsureVertexPolygons(mesh);
    const int32_t* mirror = UseSymmetry ? mesh->activeVertexPartnerA : nullptr;
    const auto culled = Hooks().IsVertexCulled;
    TKSN_OctreeParserInfo parser;
    parser.Init(mesh, viewport);
    parser.Mode = 1;
    parser.SetupUVRangeTest(true, true, min, max);
    int v = 0;
    for (bool ok = parser.GetFirstVertex(v); ok; ok = parser.GetNextVertex(v)) {
        if (v < 0 || v >= mesh->GetVCount()) continue;
        if (mirror && mirror[v] != v) continue;
        if (culling == 1 && !FacesBrush(mesh, v)) continue;
        if ((culling == 3 || culling == 4) && culled && culled(mesh, viewport, v)) continue;
        SmartBackface_ConsiderVertex(mesh, viewport, this, 0.0f, 0.0f, v);
    }
}

void TKSN_Brush_V4::PerformIteration()
{
    TQORTimer watch;
    watch.Start();
    if (Hooks().SetDeformingFlag) Hooks().SetDeformingFlag(true);

    // 2. The brush-shape images and the values of the iteration.
    SmartCull_BitmapWidth = SmartCull_BitmapHeight = 0;
    SmartCull_BitmapData = SmartCull_BitmapDataSimple = nullptr;
    if (Hooks().GetBrushShapeBitmaps)
        Hooks().GetBrushShapeBitmaps(SmartCull_BitmapWidth, SmartCull_BitmapHeight, SmartCull_BitmapData,
                                     SmartCull_BitmapDataSimple);
    SmartCull_Bitmap_ucHardness = (unsigned char)(std::pow(SmartCulling_Hardness, 6.0f) * 255.0f);
    SmartCull_Strength = GetStrength();
    ChiseledVertexCount = 0;
    DepthFadeOn = false;
    SmartCulling_Settings = TKSN_StrokeSettings();
    if (Hooks().GetStrokeSettings) Hooks().GetStrokeSettings(SmartCulling_Settings);

    if (DoActOnWholeSelection()) {
        // 3. Every selected vertex of every object the tool may change.
        for (TKSN_Object* object : ProjectObjects()) {
            TKSN_Mesh* m = object->Mesh.get();
            if (!m || !CanAffect(object) || object->GetCustomBooleanProperty("COMPLETELY_LOCKED")) continue;
            if (m->GetSelectedVertexCount() <= 0) continue;
            PrepareMeshForIterationIteration(m);
            PerformIterationOnMesh(m);
            UpdateMeshAfterIteration(m);
        }
    } else if (TKSN_Viewport* viewport = CurrentViewport()) {
        // 4. The brush rectangle around the current point.
        SmartCulling_Hardness = GetEffectiveHardness();
        SmartCulling_BrushSize = GetEffectiveSize();
        SmartCulling_VertexMult = 1.0f;
        const float s = SmartCulling_BrushSize, a = viewport->Aspect > 1e-30f ? viewport->Aspect : 1.0f;
        const float min[3] = {MouseX - s, MouseY - s / a, 0.0f};
        const float max[3] = {MouseX + s, MouseY + s / a, 0.0f};
        const int c = GetEffectiveCullingMethod();
        if (c == 2 && SmartCulling_DepthFade) DepthFadeOn = true;

        // 5. The brush frame.
        SetupBrushFrame(viewport);

        // 6. Culling.
        if (RequiredCullingCalculations() && Hooks().WaitForVertexCullingToBecomeReady)
            Hooks().WaitForVertexCullingToBecomeReady();
        if (c == 0 || c == 1 || c == 3 || c == 4) {
            for (TKSN_Object* object : ProjectObjects()) {
                TKSN_Mesh* m = object->Mesh.get();
                if (!m || !CanAffect(object)) continue;
                ScanMesh(m, viewport, c, min, max);
                PrepareMeshForIterationIteration(m);
                PerformIterationOnMesh(m);
                UpdateMeshAfterIteration(m);
            }
        } else if (c == 2) {
            if (DoSmartCulling() && SmartCulling_Mesh) {
                if (SmartCulling_Settings.ExtraSoftBrushStrokes) SoftenAffectedWeights(SmartCulling_Mesh);
                PrepareMeshForIterationIteration(SmartCulling_Mesh);
                PerformIterationOnMesh(SmartCulling_Mesh);
                UpdateMeshAfterIteration(SmartCulling_Mesh);
            }
        }
    }

    // 7.
    ++SmartCulling_IterationCount;
    watch.Stop();
    const double seconds = watch.Read();
    OS.DebugMessage("AAA- Time for chisel iteration is %.3f", seconds);
    OS.DebugMessage("deformed %d vertices at %.2f, %.2f, starting at ip=%d", ChiseledVertexCount, double(MouseX),
                    double(MouseY), SmartCulling_ip);
}

void TKSN_Brush_V4::PrepareMeshForIterationIteration(TKSN_MeshRoot* mesh)
{
    TKSN_Mesh* owner = mesh ? mesh->GetOwnerMesh() : nullptr;
    if (!owner) return;
    UpdateUseSymmetry(owner);
    if (DoActOnWholeSelection()) {
        if (static_cast<TKSN_MeshRoot*>(owner) != mesh) return;   // a subdivision level is left alone
        PrepareAffectedList(owner);
        const int count = owner->GetSelectedVertexCount();
        const int32_t* mirror = UseSymmetry ? owner->activeVertexPartnerA : nullptr;
        for (int i = 0; i < count; ++i) {
            const int v = owner->SelectedVertices[i];
            if (mirror && mirror[v] != v) continue;
            AddAffectedVertex(v, owner->GetResolvedVSelect(v));
        }
    }
    if (gAffectedVertexCount > 0) owner->SetCustomBooleanProperty(KSN_BRUSH_V4_TOUCHED, true);
}

void TKSN_Brush_V4::UpdateMeshAfterIteration(TKSN_MeshRoot* mesh)
{
    if (!mesh || gAffectedVertexCount == 0) return;
    if (!mesh->IsOctreeValid()) mesh->BuildOctree();
    if (!mesh->IsOctreeValid() || !mesh->polygonLeafIndex) return;
    ClearOctreeFlags(mesh->octreeRoot.get());
    KSN_EnsureVertexPolygons(mesh);
    const int leaves = int(mesh->leafList.size());
    for (int i = 0; i < gAffectedVertexCount; ++i) {
        const int* row = mesh->vertexPolygons[gAffectedVertices[i].Vertex];
        for (int k = 1; k <= row[0]; ++k) {
            const int p = row[k];
            if (mesh->IsPolyHidden(p)) continue;
            const int leaf = mesh->polygonLeafIndex[p];
            if (leaf < 0 || leaf >= leaves) continue;
            for (TQOROctreeNode<int>* node = mesh->leafList[size_t(leaf)]; node && !node->BoundsDone;
                 node = node->Parent) {
                node->BoundsDone = true;
                mesh->InvalidateOctreeNodeDisplay(node, false);
            }
        }
    }
}

// [SECTION] Drawing

void TKSN_Brush_V4::OnDraw(TKSN_Mesh* mesh, TKSN_Viewport* viewport, float fx, float fy)
{
    TKSN_Tool::OnDraw(mesh, viewport, fx, fy);
    if (DoActOnWholeSelection()) {
        if (MouseState == 0) {
            if (GetDirDepth())
                DrawDepthMotionViaConcentricBoxes(mesh, viewport, fx, fy);
            else
                DrawHorizVertMotion(mesh, viewport, fx, fy);
        }
        return;
    }
    if (MouseState != 0) QORMatrix_Identity4x4(BrushAlignmentRelativeRotationMatrix);
    // TODO(stub): the alignment to the viewport panel's hover pick; the panel does not keep one yet.
    DrawBrushShape(viewport, fx, fy, BrushAlignmentRelativeRotationMatrix);
}
