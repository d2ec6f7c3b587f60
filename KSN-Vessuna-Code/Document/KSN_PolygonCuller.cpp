// The background polygon culler; see KSN_PolygonCuller.h.
//
// Index:
//   [SECTION] Life and start
//   [SECTION] The grid
//   [SECTION] Occlusion test
//   [SECTION] Per-vertex passes and worker entries
#include "KSN_PolygonCuller.h"

#include "KSN_Application.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project.h"
#include "KSN_Viewport.h"
#include "QOROctree.h"
#include "QORThingy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace {

// Scope guard: raises the set-up signal however the grid build ends.
template <class F>
struct TOnExit {
    F Fn;
    ~TOnExit() { Fn(); }
};
template <class F>
TOnExit(F) -> TOnExit<F>;

// Octree nodes of a mesh that may show polygons in the viewport, down to
// maxDepth; a node at that depth (or a leaf) is taken whole.
void CollectVisibleNodes(TKSN_Mesh* mesh, TKSN_Viewport* viewport, TQOROctreeNode<int>* node, int maxDepth,
                         bool doubleSided, std::vector<TQOROctreeNode<int>*>& out)
{
    if (!node || mesh->CullOctreeNode(viewport, node, true, !doubleSided, false, nullptr, nullptr, false)) return;
    if (node->HasChildren() && node->Depth < maxDepth) {
        for (auto& child : node->Children)
            CollectVisibleNodes(mesh, viewport, child.get(), maxDepth, doubleSided, out);
        return;
    }
    out.push_back(node);
}

} // namespace

// ============================================================================
// [SECTION] Life and start
// ============================================================================

TKSN_PolygonCuller::TKSN_PolygonCuller() = default;

TKSN_PolygonCuller::~TKSN_PolygonCuller()
{
    CancelThread(true);
    SignalSetup();
}

void TKSN_PolygonCuller::SignalSetup()
{
    {
        std::scoped_lock lock(SignalMutex);
        SetupSignalled = true;
    }
    SignalCondition.notify_all();
}

bool TKSN_PolygonCuller::WaitForInitialSetup()
{
    {
        std::unique_lock lock(SignalMutex);
        SignalCondition.wait(lock, [this] { return SetupSignalled; });
    }
    // The worker holds the set-up mutex for the whole build; taking it
    // orders this thread's reads after the build's writes.
    std::scoped_lock setup(SetupMutex);
    return !WasCancelled() && !CellLists.empty();
}

void TKSN_PolygonCuller::CollectMeshes()
{
    Meshes.clear();
    if (!Project) return;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> objects(Project->GetObjectList());
    for (TKSN_Object* object : *objects)
        if (object && object->Mesh) Meshes.push_back({object->Mesh.get(), object->Mesh->GetID(), object->RenderDoubleSided});
}

void TKSN_PolygonCuller::Start()
{
    BeforeStart();
    if (!Project) return;
    const int method = Project->GetCullingMethod();
    if (method == 2) {
        Ready = true;
        return;
    }
    Viewport = Project->GetCurrentViewport();
    if (!Viewport) return;
    ValidationStamp = Viewport->GetValidationCounter();
    Matrix = Viewport->index >= 0 && Viewport->index < 4 ? ViewportMatrices[Viewport->index] : nullptr;
    if (!Matrix) Matrix = Viewport->CombinedMatrix;
    Ready = false;
    CollectMeshes();
    // The worker walks the trees but may not build them.
    for (const TMeshEntry& entry : Meshes)
        if (!entry.Mesh->IsOctreeValid()) entry.Mesh->BuildOctree();

    auto fill = [this](float value) {
        for (const TMeshEntry& entry : Meshes)
            if (float* values = entry.Mesh->VertexCulledValues)
                std::fill(values, values + entry.Mesh->GetVCount(), value);
    };
    switch (method) {
    case 0:
        fill(0.0f);
        Ready = true;
        break;
    case 1:
        fill(-1.0f);
        LaunchThread(ThreadFuncForBackface);
        break;
    case 3:
    case 4: {
        PreparePolygonsForCulling();
        {
            std::scoped_lock lock(SignalMutex);
            SetupSignalled = false;
        }
        LaunchThread(ThreadFuncForPerVertex);
        break;
    }
    default:
        break;
    }
}

bool TKSN_PolygonCuller::OnWorkCompletion()
{
    const bool result = TKSN_Workhorse::OnWorkCompletion();
    if (!CellLists.empty() || !CellCounts.empty()) {
        CellLists.clear();
        CellLists.shrink_to_fit();
        CellCounts.clear();
        CellCounts.shrink_to_fit();
        GridSize = 0;
    }
    Entries.clear();
    Entries.shrink_to_fit();
    Ready = true;
    return result;
}

// ============================================================================
// [SECTION] The grid
// ============================================================================

void TKSN_PolygonCuller::PreparePolygonsForCulling()
{
    if (!Project || !Project->GetCurrentViewport()) return;
    if (Meshes.empty()) CollectMeshes();
    int64_t polygons = 0;
    for (const TMeshEntry& entry : Meshes) {
        if (float* values = entry.Mesh->VertexCulledValues)
            std::fill(values, values + entry.Mesh->GetVCount(), -1.0f);
        polygons += entry.Mesh->GetPCount();
    }
    int64_t n = 4 * int64_t(std::floor(std::sqrt(double(polygons))));
    if (n > 2000) n = 2000;
    if (n <= 9) n = 10;
    InitializeGrid(int(n));
}

void TKSN_PolygonCuller::InitializeGrid(int n)
{
    n = std::max(n, 1);
    if (n != GridSize || CellLists.size() != size_t(n) * size_t(n)) {
        CellLists.assign(size_t(n) * size_t(n), nullptr);
        CellCounts.assign(size_t(n) * size_t(n), 0);
        GridSize = n;
    }
    Entries.clear();
    std::fill(CellLists.begin(), CellLists.end(), nullptr);
    std::fill(CellCounts.begin(), CellCounts.end(), 0);
    for (int c = 0; c < 3; ++c) {
        GridMin[c] = 2.0f;
        GridMax[c] = -2.0f;
    }
}

void TKSN_PolygonCuller::ClipPoint(const float* in, float* out) const
{
    const float* m = Matrix;
    const float x = in[0], y = in[1], z = in[2];
    const float w = m[3] * x + m[7] * y + m[11] * z + m[15];
    const float s = std::fabs(w) > 1e-30f ? 1.0f / w : 1.0f;
    out[0] = (m[0] * x + m[4] * y + m[8] * z + m[12]) * s;
    out[1] = (m[1] * x + m[5] * y + m[9] * z + m[13]) * s;
    out[2] = (m[2] * x + m[6] * y + m[10] * z + m[14]) * s;
}

template <class Visit>
bool TKSN_PolygonCuller::ForEachGridPolygon(Visit&& visit)
{
    const uint32_t mask = Viewport->layerMask1;
    std::vector<TQOROctreeNode<int>*> nodes;
    for (const TMeshEntry& entry : Meshes) {
        if (WasCancelled()) return false;
        TKSN_Mesh* mesh = entry.Mesh;
        if (!mesh->IsOctreeValid() || !mesh->resolvedVertices) continue;
        nodes.clear();
        CollectVisibleNodes(mesh, Viewport, mesh->octreeRoot.get(), mesh->GetMaxOctreeDepth() / 2, entry.DoubleSided,
                            nodes);
        for (TQOROctreeNode<int>* node : nodes) {
            for (int k = node->PolygonBegin; k >= 0 && k < node->PolygonEnd; ++k) {
                const int polygon = mesh->visiblePolygons[k];
                const int corners = mesh->vGetPolyN(polygon);
                if (corners < 1) continue;
                if (!entry.DoubleSided && (mesh->PolygonFlags[polygon] & mask) != 0) continue;
                float box[6] = {1e30f, 1e30f, 1e30f, -1e30f, -1e30f, -1e30f};   // min xyz, max xyz
                for (int c = 0; c < corners; ++c) {
                    float p[3];
                    ClipPoint(mesh->resolvedVertices + 3 * mesh->vGetPolyV(polygon, c), p);
                    for (int i = 0; i < 3; ++i) {
                        box[i] = std::min(box[i], p[i]);
                        box[3 + i] = std::max(box[3 + i], p[i]);
                    }
                }
                if (box[3] < -1.01f || box[0] > 1.01f || box[4] < -1.01f || box[1] > 1.01f) continue;
                visit(entry, polygon, box);
            }
        }
    }
    return true;
}

void TKSN_PolygonCuller::PushPolygonsToGrid()
{
    if (!Viewport || !Matrix || CellLists.empty()) return;
    const int n = GridSize;

    // Bounds pass.
    if (!ForEachGridPolygon([this](const TMeshEntry&, int, const float* box) {
            for (int i = 0; i < 3; ++i) {
                GridMin[i] = std::min(GridMin[i], box[i]);
                GridMax[i] = std::max(GridMax[i], box[3 + i]);
            }
        }))
        return;
    for (int i = 0; i < 3; ++i) {
        const float widen = 0.001f * (GridMax[i] - GridMin[i]);
        GridMin[i] -= widen;
        GridMax[i] += widen;
    }
    const float spanX = GridMax[0] - GridMin[0], spanY = GridMax[1] - GridMin[1];
    if (!(spanX > 0.0f) || !(spanY > 0.0f)) return;   // nothing took part
    auto cellRange = [&](const float* box, int& x0, int& y0, int& x1, int& y1) {
        x0 = std::clamp(int(std::floor((box[0] - GridMin[0]) / spanX * float(n))), 0, n - 1);
        y0 = std::clamp(int(std::floor((box[1] - GridMin[1]) / spanY * float(n))), 0, n - 1);
        x1 = std::clamp(int(std::ceil((box[3] - GridMin[0]) / spanX * float(n))), 0, n - 1);
        y1 = std::clamp(int(std::ceil((box[4] - GridMin[1]) / spanY * float(n))), 0, n - 1);
    };

    // Counting pass; a changed view makes the grid worthless, so the run ends.
    if (OnCountingPass) OnCountingPass(this);
    int64_t total = 0;
    if (!ForEachGridPolygon([&](const TMeshEntry&, int, const float* box) {
            if (Viewport->GetValidationCounter() != ValidationStamp || Project->GetCurrentViewport() != Viewport) {
                CancelThread(false);
                return;
            }
            int x0, y0, x1, y1;
            cellRange(box, x0, y0, x1, y1);
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) CellCounts[size_t(y) * size_t(n) + size_t(x)] += 2;
            total += 2 * int64_t(x1 - x0 + 1) * int64_t(y1 - y0 + 1);
        }))
        return;
    if (WasCancelled()) return;

    // One block for every cell's entries, handed out cell after cell.
    Entries.assign(size_t(total), 0);
    int64_t at = 0;
    for (size_t cell = 0; cell < CellLists.size(); ++cell) {
        CellLists[cell] = CellCounts[cell] > 0 ? Entries.data() + at : nullptr;
        at += CellCounts[cell];
        CellCounts[cell] = 0;
    }

    // Filling pass: the same polygons in the same order.
    ForEachGridPolygon([&](const TMeshEntry& entry, int polygon, const float* box) {
        int x0, y0, x1, y1;
        cellRange(box, x0, y0, x1, y1);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const size_t cell = size_t(y) * size_t(n) + size_t(x);
                if (!CellLists[cell]) continue;
                CellLists[cell][CellCounts[cell]] = int32_t(entry.ID);
                CellLists[cell][CellCounts[cell] + 1] = polygon;
                CellCounts[cell] += 2;
            }
    });
}

// ============================================================================
// [SECTION] Occlusion test
// ============================================================================

bool TKSN_PolygonCuller::IsPointObscured(TKSN_Mesh* mesh, int vertex, const float* p, bool trusted)
{
    if (!trusted && (p[0] < -1.0f || p[0] > 1.0f || p[1] < -1.0f || p[1] > 1.0f)) return true;
    if (CellLists.empty() || !Matrix) return !trusted;
    const int n = GridSize;
    const int cx = int((p[0] - GridMin[0]) / (GridMax[0] - GridMin[0]) * float(n));
    const int cy = int((p[1] - GridMin[1]) / (GridMax[1] - GridMin[1]) * float(n));
    if (cx < 0 || cx >= n || cy < 0 || cy >= n) return !trusted;
    const size_t cell = size_t(cy) * size_t(n) + size_t(cx);
    const int32_t* list = CellLists[cell];
    if (!list) return false;
    const int self = mesh ? mesh->GetEffectiveVertex(vertex) : -1;

    uint32_t lastID = 0;
    TKSN_Mesh* other = nullptr;
    for (int e = 0; e + 1 < CellCounts[cell]; e += 2) {
        const uint32_t id = uint32_t(list[e]);
        const int polygon = list[e + 1];
        if (id == 0) continue;
        if (id != lastID) {
            lastID = id;
            other = dynamic_cast<TKSN_Mesh*>(__GetThingyFromID(id));
        }
        if (!other) continue;
        const int corners = other->vGetPolyN(polygon);
        float clip[8][3];
        std::vector<std::array<float, 3>> heap;
        float(*c)[3] = clip;
        if (corners > 8) {
            heap.resize(size_t(corners));
            c = reinterpret_cast<float(*)[3]>(heap.data());
        }
        float minX = 1e30f, minY = 1e30f, minZ = 1e30f, maxX = -1e30f, maxY = -1e30f;
        bool own = false;
        for (int k = 0; k < corners; ++k) {
            const int v = other->vGetPolyV(polygon, k);
            own |= other == mesh && v == self;
            ClipPoint(other->resolvedVertices + 3 * v, c[k]);
            minX = std::min(minX, c[k][0]);
            maxX = std::max(maxX, c[k][0]);
            minY = std::min(minY, c[k][1]);
            maxY = std::max(maxY, c[k][1]);
            minZ = std::min(minZ, c[k][2]);
        }
        if (p[0] < minX - BoxTolerance || p[0] > maxX + BoxTolerance || p[1] < minY - BoxTolerance ||
            p[1] > maxY + BoxTolerance || p[2] < minZ - BoxTolerance)
            continue;
        // A vertex is never hidden by its own polygons.
        if (own) continue;
        for (int k = 1; k + 1 < corners; ++k) {
            const float* t0 = c[0];
            const float e1[3] = {c[k][0] - t0[0], c[k][1] - t0[1], c[k][2] - t0[2]};
            const float e2[3] = {c[k + 1][0] - t0[0], c[k + 1][1] - t0[1], c[k + 1][2] - t0[2]};
            float nrm[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
            if (nrm[2] < 0.0f)
                for (float& x : nrm) x = -x;
            const float behind = nrm[0] * (p[0] - t0[0]) + nrm[1] * (p[1] - t0[1]) + nrm[2] * (p[2] - t0[2]);
            if (!(behind > PlaneTolerance)) continue;
            const float d00 = e1[0] * e1[0] + e1[1] * e1[1];
            const float d01 = e1[0] * e2[0] + e1[1] * e2[1];
            const float d11 = e2[0] * e2[0] + e2[1] * e2[1];
            const float det = d11 * d00 - d01 * d01;
            if (std::fabs(det) < 1e-30f) continue;
            const float q[2] = {p[0] - t0[0], p[1] - t0[1]};
            const float r1 = e1[0] * q[0] + e1[1] * q[1];
            const float r2 = e2[0] * q[0] + e2[1] * q[1];
            const float u = (d00 * r2 - d01 * r1) / det;
            const float v = (d11 * r1 - d01 * r2) / det;
            if (u > -1e-5f && v > -1e-5f && u + v < 1.00001f) return true;
        }
    }
    return false;
}

// ============================================================================
// [SECTION] Per-vertex passes and worker entries
// ============================================================================

template <class Compute>
void TKSN_PolygonCuller::ForEachPendingVertex(Compute&& compute)
{
    static const float kRangeMin[3] = {-1, -1, -1}, kRangeMax[3] = {1, 1, 1};
    for (const TMeshEntry& entry : Meshes) {
        if (WasCancelled()) return;
        TKSN_Mesh* mesh = entry.Mesh;
        float* values = mesh->VertexCulledValues;
        if (!values || !mesh->resolvedVertices) continue;
        SymmetryInUse = Project && Project->DoUseSymmetry(mesh);
        const int32_t* partnerA = mesh->activeVertexPartnerA;
        const int32_t* partnerB = mesh->activeVertexPartnerB;
        TKSN_OctreeParserInfo parser;
        parser.Init(mesh, Viewport);
        parser.Mode = 1;
        parser.SetupUVRangeTest(true, true, kRangeMin, kRangeMax);
        int v = 0;
        for (bool ok = parser.GetFirstVertex(v); ok; ok = parser.GetNextVertex(v)) {
            std::scoped_lock lock(VertexMutex);
            if (WasCancelled()) return;
            if (values[v] > -0.1f) continue;
            if (SymmetryInUse && partnerA && partnerA[v] != v) continue;
            values[v] = compute(mesh, v) ? 1.0f : 0.0f;
            if (SymmetryInUse && partnerB) {
                const int mirror = partnerB[v];
                if (mirror >= 0 && mirror != v && mirror < mesh->GetVCount()) values[mirror] = values[v];
            }
        }
    }
}

void TKSN_PolygonCuller::CalculateAllPoints()
{
    ForEachPendingVertex([this](TKSN_Mesh* mesh, int v) {
        float p[3];
        ClipPoint(mesh->resolvedVertices + 3 * v, p);
        return !IsPointObscured(mesh, v, p, true);
    });
}

void TKSN_PolygonCuller::CalculateAllBackfaceOnly()
{
    const float* view = Viewport->ViewVector;
    ForEachPendingVertex([view](TKSN_Mesh* mesh, int v) {
        if (!mesh->polygonNormals || mesh->vertexPolygons.GetRowCount() <= v) return false;
        const int* row = mesh->vertexPolygons.GetRow(v);
        for (int j = 1; j <= row[0]; ++j) {
            const float* n = mesh->polygonNormals + 3 * row[j];
            if (n[0] * view[0] + n[1] * view[1] + n[2] * view[2] > 0.0f) return true;
        }
        return false;
    });
}

void* TKSN_PolygonCuller::ThreadFuncForPerVertex(void* arg)
{
    auto* culler = static_cast<TKSN_PolygonCuller*>(static_cast<TKSN_Workhorse*>(arg));
    {
        TOnExit raise{[culler] { culler->SignalSetup(); }};
        std::scoped_lock lock(culler->SetupMutex);
        culler->PushPolygonsToGrid();
    }
    culler->Ready = true;
    culler->CalculateAllPoints();
    return nullptr;
}

void* TKSN_PolygonCuller::ThreadFuncForBackface(void* arg)
{
    auto* culler = static_cast<TKSN_PolygonCuller*>(static_cast<TKSN_Workhorse*>(arg));
    culler->CalculateAllBackfaceOnly();
    culler->Ready = true;
    culler->FinishThread();
    return nullptr;
}
