// The project's spatial queries: the pick of the polygon under a point, the
// click check that explains in the message panel why an edit may not show,
// the vertex-culling front end over the background polygon culler, the two
// octree filters and the affected-objects stencil.
//
// Threads: main thread, except that the culled values are shared with the
// culler's worker. A reader first waits for the culler's grid and then holds
// its vertex mutex for its whole evaluation, so every value is computed once,
// by one of the two threads, and a stored value is final.
#include "KSN_Project.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

#include "KSN_Application.h"
#include "KSN_DepthBuffer.h"
#include "KSN_GeometryTests.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_PolygonCuller.h"
#include "KSN_Project_Internal.h"
#include "KSN_RenderSetup.h"
#include "KSN_SubDMesh.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORMaterial.h"
#include "QORMatrix.h"
#include "QOROctree.h"
#include "QORString.h"
#include "QORTimer.h"

namespace {

constexpr int kTextNoUVMapping = 1190;
constexpr int kTextSymmetryPassiveSide = 1192;
constexpr int kTextSelectionLimitsPaint = 1247;
constexpr int kTextChannelHasNoMap = 1257;
constexpr int kCommandFlashMessagePanel = 412;
constexpr uint32_t kNodeChanged = 0x40000;

// (x, y, depth) of p through a row-by-row matrix, the fourth row unused
// (the views are orthographic).
void MapPoint(const float* m, const float* p, float* out)
{
    out[0] = m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12];
    out[1] = m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13];
    out[2] = m[2] * p[0] + m[6] * p[1] + m[10] * p[2] + m[14];
}

// The matrix the culler works with for the project's current viewport.
const float* CurrentCullingMatrix(TKSN_Project& project)
{
    const int index = project.GetCurrentViewportIndex();
    if (index >= 0 && index < 4 && ViewportMatrices[index]) return ViewportMatrices[index];
    TKSN_Viewport* viewport = project.GetCurrentViewport();
    return viewport ? viewport->CombinedMatrix : nullptr;
}

bool HasLeafContent(const TQOROctreeNode<int>* node)
{
    return node->GetPolygonCount() > 0 || node->GetVertexCount() > 0;
}

} // namespace

// ============================================================================
// [SECTION] Picking
// ============================================================================

bool TKSN_Project::GetClosestPolygonAndMesh(TKSN_Viewport* viewport, TKSN_MeshRoot*& outMesh, int& outPolygon,
                                            float x, float y, bool ownMesh, bool owner, float* point)
{
    TQORTimer timer;
    timer.Start();
    outMesh = nullptr;
    outPolygon = -1;
    if (!viewport) return false;
    viewport->calcViewVolumePlanes();

    const float pickMin[2] = {x - 0.001f, y - 0.001f * viewport->Aspect};
    const float pickMax[2] = {x + 0.001f, y + 0.001f * viewport->Aspect};
    const float* m = viewport->CombinedMatrix;
    float bestDepth = 10000.0f;

    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
    for (TKSN_Object* object : *objects) {
        if (!object || !object->Mesh) continue;
        TKSN_MeshRoot* mesh = object->Mesh.get();
        if (!ownMesh)
            if (TKSN_SubDMesh* subD = object->Mesh->GetSubD_For_Editing()) mesh = subD;
        if (!mesh->resolvedVertices) continue;
        if (!mesh->IsOctreeValid()) mesh->BuildOctree();

        std::vector<TQOROctreeNode<int>*> leaves;
        float rectMin[3] = {pickMin[0], pickMin[1], -1e30f}, rectMax[3] = {pickMax[0], pickMax[1], 1e30f};
        GetListOfNonCulledOctreeNodes_Recurse(leaves, mesh->octreeRoot.get(), viewport, true, rectMin, rectMax);
        for (TQOROctreeNode<int>* leaf : leaves) {
            for (int k = leaf->PolygonBegin; k >= 0 && k < leaf->PolygonEnd; ++k) {
                if (!mesh->visiblePolygons || k >= mesh->visiblePolygonCount) break;
                const int polygon = mesh->visiblePolygons[k];
                const int corners = mesh->vGetPolyN(polygon);
                if (corners < 3) continue;
                for (int c = 2; c < corners; ++c) {
                    const int v[3] = {mesh->vGetPolyV(polygon, 0), mesh->vGetPolyV(polygon, c - 1),
                                      mesh->vGetPolyV(polygon, c)};
                    float s[3][3];
                    for (int i = 0; i < 3; ++i) MapPoint(m, mesh->resolvedVertices + 3 * v[i], s[i]);
                    // Front-facing and not degenerate.
                    if ((s[1][0] - s[0][0]) * (s[2][1] - s[0][1]) - (s[1][1] - s[0][1]) * (s[2][0] - s[0][0]) < 1e-30f)
                        continue;
                    float triMin[2], triMax[2];
                    for (int a = 0; a < 2; ++a) {
                        triMin[a] = std::min({s[0][a], s[1][a], s[2][a]});
                        triMax[a] = std::max({s[0][a], s[1][a], s[2][a]});
                    }
                    if (!Kestrune_BoxCollision(triMin, triMax, pickMin, pickMax)) continue;

                    const float a = s[0][0] - s[2][0], b = s[1][0] - s[2][0];
                    const float cc = s[0][1] - s[2][1], d = s[1][1] - s[2][1];
                    const float det = a * d - b * cc;
                    const float inv = std::fabs(det) > 1e-30f ? 1.0f / det : det;
                    float w0 = (b * (s[2][1] - y) - d * (s[2][0] - x)) * inv;
                    float w1 = (a * (s[2][1] - y) - cc * (s[2][0] - x)) * -inv;
                    const float w2raw = 1.0f - w0 - w1;
                    auto inRange = [](float w) { return w >= -0.01f && w <= 1.01f; };
                    if (!inRange(w0) || !inRange(w1) || !inRange(w2raw)) continue;
                    w0 = std::clamp(w0, 0.0f, 1.0f);
                    w1 = std::clamp(w1, 0.0f, 1.0f);
                    const float w2 = 1.0f - w0 - w1;
                    const float depth = w0 * s[0][2] + w1 * s[1][2] + w2 * s[2][2];
                    if (!(depth < bestDepth)) continue;
                    bestDepth = depth;
                    outMesh = mesh;
                    outPolygon = polygon;
                    if (point) {
                        point[0] = w0 * s[0][0] + w1 * s[1][0] + w2 * s[2][0];
                        point[1] = w0 * s[0][1] + w1 * s[1][1] + w2 * s[2][1];
                        point[2] = depth;
                    }
                }
            }
        }
    }
    timer.Stop();
    OS.DebugMessage("Time to find closest polygon is %.4f", timer.Read());
    if (!outMesh) return false;
    if (owner) {
        outPolygon = outMesh->GetOwnerIP(outPolygon);
        if (TKSN_Mesh* base = outMesh->GetOwnerMesh()) outMesh = base;
    }
    return true;
}

void TKSN_Project::CheckObjectAtClickedPoint(TKSN_Viewport* viewport, float x, float y, bool checkMaps,
                                             bool checkSelection, bool checkSymmetry)
{
    TKSN_MeshRoot* hit = nullptr;
    int polygon = -1;
    if (!GetClosestPolygonAndMesh(viewport, hit, polygon, x, y, false, true)) return;
    auto* mesh = dynamic_cast<TKSN_Mesh*>(hit);
    if (!mesh || polygon < 0 || polygon >= mesh->GetPCount()) return;
    TKSN_Object* object = mesh->GetOwnerObject();
    if (!object) return;

    int selectedVertices = 0;
    {
        std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(GetObjectList());
        for (TKSN_Object* o : *objects)
            if (o && o->Mesh && CanAffectObject(o) && !o->GetCustomBooleanProperty("COMPLETELY_LOCKED"))
                selectedVertices += o->Mesh->GetSelectedVertexCount();
    }

    bool touchesPassiveSide = false;
    if (const int32_t* partner = mesh->activeVertexPartnerA) {
        for (int c = 0; c < mesh->vGetPolyN(polygon); ++c) {
            const int v = mesh->vGetPolyV(polygon, c);   // through the weld map when welded
            if (v >= 0 && v < mesh->GetVCount() && partner[v] != v) touchesPassiveSide = true;
        }
    }

    TQORMaterial* material = nullptr;
    TQORMaterialChannel* channel = nullptr;
    const int materialIndex = mesh->vGetPolyM(polygon);
    if (mesh->Materials) material = mesh->Materials->GetItemAs(materialIndex);
    if (material && viewport) channel = material->GetChannelFromName(viewport->materialChannelName);

    std::string message;
    if (checkMaps && mesh->GetTVCount() == 0)
        message = QORFormat(Lang.GetText(kTextNoUVMapping), object->GetName());
    else if (checkMaps && channel && channel->GetMapID() == 0)
        message = QORFormat(Lang.GetText(kTextChannelHasNoMap), object->GetName(), channel->GetName(),
                            material->GetName());
    else if (checkSymmetry && touchesPassiveSide && object->SymmetryEnabled)
        message = Lang.GetText(kTextSymmetryPassiveSide);
    else if (checkSelection && selectedVertices > 0)
        message = Lang.GetText(kTextSelectionLimitsPaint);
    else
        return;
    OS.PrintMessageNoRepeat("%s", message.c_str());
    QOREvents_PushEvent(kCommandFlashMessagePanel);
}

// ============================================================================
// [SECTION] Vertex culling
// ============================================================================

void TKSN_Project::StartVertexCulling()
{
    if (!PolygonCuller) return;
    OS.DebugMessage("Starting vertex culling");
    if (App) App->vertexCullingValid = true;
    PolygonCuller->Start();
}

void TKSN_Project::StartVertexCullingIfNecessary(bool wait)
{
    const int method = GetCullingMethod();
    if (method == 0 || method == 2) return;
    if (App && !App->vertexCullingValid && PolygonCuller) StartVertexCulling();
    if (wait && PolygonCuller) PolygonCuller->WaitForInitialSetup();
}

void TKSN_Project::WaitForVertexCullingToBecomeReady()
{
    const int method = GetCullingMethod();
    if (method == 0 || method == 2 || !PolygonCuller) return;
    if (App && App->vertexCullingValid)
        PolygonCuller->WaitForInitialSetup();
    else
        StartVertexCullingIfNecessary(true);
}

void TKSN_Project::CancelVertexCulling()
{
    KSN_ProjectApp_InvalidateVertexCulling();
    if (PolygonCuller) PolygonCuller->CancelThread(true);
}

float TKSN_Project::GetVertexCulledValue(TKSN_Mesh* mesh, int vertex)
{
    const int method = GetCullingMethod();
    if (method == 0 || method == 2) return 1.0f;
    if (!mesh || vertex < 0 || vertex >= mesh->GetVCount()) return 0.0f;
    if (const int32_t* partner = mesh->activeVertexPartnerA) {
        const int mapped = partner[vertex];
        if (mapped >= 0 && mapped < mesh->GetVCount()) vertex = mapped;
    }
    if (!PolygonCuller) return 1.0f;
    PolygonCuller->WaitForInitialSetup();
    std::scoped_lock lock(PolygonCuller->VertexMutex);

    float* values = mesh->VertexCulledValues;
    if (!values) return 1.0f;
    const float* matrix = CurrentCullingMatrix(*this);
    const bool hasTable = mesh->vertexPolygons.GetRowCount() == mesh->GetVCount();

    auto computePoint = [&](int v) -> float {
        if (values[v] < -0.9f) {
            float p[3] = {0, 0, 0};
            if (matrix && mesh->resolvedVertices) MapPoint(matrix, mesh->resolvedVertices + 3 * v, p);
            values[v] = PolygonCuller->IsPointObscured(mesh, v, p, false) ? 0.0f : 1.0f;
        }
        return values[v];
    };

    switch (method) {
    case 1: {
        if (values[vertex] < -0.9f) {
            float value = 0.0f;
            TKSN_Viewport* viewport = GetCurrentViewport();
            if (hasTable && viewport && mesh->polygonNormals) {
                const int* row = mesh->vertexPolygons.GetRow(vertex);
                const float* view = viewport->ViewVector;
                for (int j = 1; row && j <= row[0]; ++j) {
                    const float* n = mesh->polygonNormals + 3 * row[j];
                    if (n[0] * view[0] + n[1] * view[1] + n[2] * view[2] > 0.0f) value = 1.0f;
                }
            }
            values[vertex] = value;
        }
        return values[vertex];
    }
    case 3:
        return computePoint(vertex);
    case 4: {
        const int* row = hasTable ? mesh->vertexPolygons.GetRow(vertex) : nullptr;
        if (!row || row[0] == 0) return values[vertex];
        for (int j = 1; j <= row[0]; ++j) {
            const int polygon = row[j];
            for (int c = 0; c < mesh->vGetPolyN(polygon); ++c) {
                const int corner = mesh->vGetPolyV(polygon, c);
                if (corner < 0 || corner >= mesh->GetVCount()) continue;
                if (computePoint(corner) < 1e-30f) return 0.0f;
            }
        }
        return computePoint(vertex);
    }
    default:
        return 0.0f;
    }
}

bool TKSN_Project::IsVertexCulled(TKSN_Mesh* mesh, TKSN_Viewport*, int vertex)
{
    const int method = GetCullingMethod();
    if (method == 0 || method == 2) return false;
    return IsVertexObscured(mesh, vertex);
}

// ============================================================================
// [SECTION] Octree filters
// ============================================================================

void GetListOfNonCulledOctreeNodes_Recurse(std::vector<TQOROctreeNode<int>*>& list, TQOROctreeNode<int>* node,
                                           TKSN_Viewport* viewport, bool testView, const float* rectMin,
                                           const float* rectMax)
{
    if (!node || !viewport) return;
    // The content box, not the cell: a polygon is filed in one leaf but may
    // reach beyond its cell.
    if (testView && !viewport->CubeInView(node->ContentMin, node->ContentMax, 1e-30f)) return;
    if (rectMin && rectMax) {
        float min[3], max[3];
        AdjustMinMaxWithMatrix(min, max, viewport->CombinedMatrix, true, node->ContentMin, node->ContentMax);
        if (!Kestrune_BoxCollision(min, max, rectMin, rectMax)) return;
    }
    if (node->HasChildren() || !HasLeafContent(node)) {
        for (auto& child : node->Children)
            GetListOfNonCulledOctreeNodes_Recurse(list, child.get(), viewport, testView, rectMin, rectMax);
        return;
    }
    list.push_back(node);
}

void TKSN_Project::GetCulledOctreeNodeList(std::vector<TQOROctreeNode<int>*>& list, TKSN_Mesh* mesh,
                                           TKSN_Viewport* viewport, TQOROctreeNode<int>* node, int depth, int passed,
                                           bool testView, bool testDirection, bool testRectangle, float* rectMin,
                                           float* rectMax, bool toObjectSpace)
{
    if (!node || !mesh) return;
    if (mesh->CullOctreeNode(viewport, node, testView, testDirection, testRectangle, rectMin, rectMax, toObjectSpace))
        return;
    if (node->HasChildren() || !HasLeafContent(node)) {
        for (auto& child : node->Children)
            GetCulledOctreeNodeList(list, mesh, viewport, child.get(), depth + 1, passed, testView, testDirection,
                                    testRectangle, rectMin, rectMax, toObjectSpace);
        return;
    }
    list.push_back(node);
}

// ============================================================================
// [SECTION] Affected-objects stencil
// ============================================================================

void TKSN_Project::GenerateAffectedObjectsStencil()
{
    TKSN_Viewport* viewport = GetCurrentViewport();
    if (!viewport) return;
    const int width = viewport->WindowWidth, height = viewport->WindowHeight;
    TQORImageMap& stencil = AffectedObjectsStencil;
    if (stencil.GetWidth() != width || stencil.GetHeight() != height || !stencil.GetPixels() ||
        stencil.GetBytesPerPixel() != 1)
        stencil.SetDimensions(width, height, 1);
    unsigned char* pixels = stencil.GetPixels();
    if (!pixels) {
        AffectedObjectsStencilValid = false;
        return;
    }
    TKSN_DepthBuffer* depthBuffer = viewport->GetDepthBuffer();
    const float* depth = nullptr;
    if (depthBuffer && depthBuffer->width == width && depthBuffer->height == height &&
        depthBuffer->type == DEPTH_BUFFER_TYPE_FLOAT)
        depth = depthBuffer->GetDataFloat();
    const size_t count = size_t(width) * size_t(height);
    if (!depth) {
        // Without depth data everything may be painted; try again next time.
        std::fill(pixels, pixels + count, uint8_t(255));
        AffectedObjectsStencilValid = false;
        return;
    }
    for (size_t i = 0; i < count; ++i) pixels[i] = depth[i] > 1e-8f ? 255 : 0;
    AffectedObjectsStencilValid = true;
}

void TKSN_Project::GenerateAffectedObjectsStencilIfNecessary()
{
    TKSN_Viewport* viewport = GetCurrentViewport();
    if (!viewport || !AffectedObjectsStencilValid || AffectedObjectsStencil.GetWidth() != viewport->WindowWidth ||
        AffectedObjectsStencil.GetHeight() != viewport->WindowHeight)
        GenerateAffectedObjectsStencil();
}

void TKSN_Project::InvalidateAffectedObjectsStencil() { AffectedObjectsStencilValid = false; }

// ============================================================================
// [SECTION] Module functions
// ============================================================================

void CopyNodeChangedFlagsUpward(TKSN_Mesh* mesh)
{
    if (!mesh) return;
    for (TQOROctreeNode<int>* leaf : mesh->GetBottomLevelOctreeNodeList()) {
        if (!leaf || !(leaf->Flags & kNodeChanged)) continue;
        for (TQOROctreeNode<int>* node = leaf->Parent; node; node = node->Parent) node->Flags |= kNodeChanged;
    }
}

void QORMatrix_PreMultiplyMatrix4x4(float* m, const float* a)
{
    float out[16];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) sum += a[4 * i + k] * m[4 * k + j];
            out[4 * i + j] = sum;
        }
    std::copy(out, out + 16, m);
}
