// Symmetry pairing: set-up and completion on the main thread, binning and
// matching on the job's thread.
#include "KSN_SymmetryCalculator.h"

#include "KSN_Mesh.h"
#include "KSN_MeshRoot.h"
#include "QORMemory.h"
#include "QORPolyMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

TQORNewStaticList<TKSN_CentreFirst_Point*> CentreFirst_PointList(1);

namespace {

// The offset list is shared by every calculator; a run holds this while it
// builds and reads it, so two meshes paired at once cannot tear it.
std::mutex CentreFirstMutex;

// Frees the last run's offsets when the program ends.
struct TCentreFirstCleanup {
    ~TCentreFirstCleanup()
    {
        for (TKSN_CentreFirst_Point* point : CentreFirst_PointList) delete point;
        CentreFirst_PointList.Clear();
    }
} CentreFirstCleanup;

template <class T>
T* AllocZeroed(int64_t count)
{
    if (count <= 0) return nullptr;
    auto* block = static_cast<T*>(QORalloc(uint64_t(count) * sizeof(T)));
    std::memset(block, 0, size_t(count) * sizeof(T));
    return block;
}

template <class T>
void Release(T*& block)
{
    QORfree(block);
    block = nullptr;
}

// Truncates toward zero within 0 … last; a value that is not a number counts as 0.
int ClampCell(double t, int last)
{
    if (t > double(last)) return last;
    if (!(t >= 0.0)) return 0;
    return int(t);
}

bool IsOpenEdgeVertex(TQORPolyMesh* poly, int vertex)
{
    return poly && poly->VertexInfo && (poly->VertexInfo[vertex].Flags & QORVertex_OpenEdge) != 0;
}

}  // namespace

int TQORStaticList_CompareDistanceFromCentrePoints(TKSN_CentreFirst_Point* a, TKSN_CentreFirst_Point* b)
{
    return (a->dx * a->dx + a->dy * a->dy) - (b->dx * b->dx + b->dy * b->dy);
}

void CentreFirst_Init(int halfCross, int halfAxis)
{
    for (TKSN_CentreFirst_Point* point : CentreFirst_PointList) delete point;
    CentreFirst_PointList.Clear();
    for (int dy = -halfAxis; dy <= halfAxis; ++dy)
        for (int dx = -halfCross; dx <= halfCross; ++dx) CentreFirst_PointList.Add(new TKSN_CentreFirst_Point{dx, dy});
    CentreFirst_PointList.QuickSort(0, CentreFirst_PointList.Count() - 1,
                                    TQORStaticList_CompareDistanceFromCentrePoints);
}

void GetAverageBasePositionForAllAttachedPolygons(float* out, TKSN_MeshRoot* mesh, int vertex)
{
    double sum[3] = {0, 0, 0};
    int corners = 0;
    if (mesh->vertexPolygons.GetRowCount() > vertex) {
        const int* row = mesh->vertexPolygons[vertex];
        for (int k = 1; k <= row[0]; ++k) {
            const int polygon = row[k];
            const int n = mesh->vGetPolyN(polygon);
            for (int c = 0; c < n; ++c) {
                const int v = mesh->vGetPolyV(polygon, c);
                if (v < 0 || v >= mesh->vertexCount) continue;
                for (int i = 0; i < 3; ++i) sum[i] += mesh->baseVertices[3 * v + i];
                ++corners;
            }
        }
    }
    if (corners == 0) {
        for (int i = 0; i < 3; ++i) out[i] = mesh->baseVertices[3 * vertex + i];
        return;
    }
    for (int i = 0; i < 3; ++i) out[i] = float(sum[i] / corners);
}

int GetBestSymmetricPolygon(TKSN_MeshRoot* mesh, int polygon, bool second)
{
    const int n = mesh->vGetPolyN(polygon);
    const int32_t* forward = mesh->vertexPartners[second ? 1 : 0];
    const int32_t* back = mesh->vertexPartners[second ? 0 : 1];
    if (n <= 0 || !forward || !back || mesh->vertexPolygons.GetRowCount() != mesh->vertexCount) return polygon;
    const int vcount = mesh->vertexCount;
    for (int c = 0; c < n; ++c) {
        const int v = mesh->vGetPolyV(polygon, c);
        if (v < 0 || v >= vcount) continue;
        const int m = forward[v];
        if (m == v || m < 0 || m >= vcount) continue;
        const int* row = mesh->vertexPolygons[m];
        for (int k = 1; k <= row[0]; ++k) {
            const int q = row[k];
            if (q == polygon) continue;
            const int nq = mesh->vGetPolyN(q);
            if (nq != n) continue;
            int pairs = 0;
            for (int a = 0; a < n; ++a) {
                const int pv = mesh->vGetPolyV(polygon, a);
                for (int b = 0; b < nq; ++b) {
                    const int qv = mesh->vGetPolyV(q, b);
                    if (qv >= 0 && qv < vcount && pv == back[qv]) ++pairs;
                }
            }
            if (pairs == n && pairs == nq) return q;
        }
    }
    return polygon;
}

// ---------------------------------------------------------------------------
// [SECTION] Calculator
// ---------------------------------------------------------------------------

TKSN_SymmetryCalculator::~TKSN_SymmetryCalculator()
{
    // The job reads our arrays: it must be gone before they are freed.
    CancelThread(true);
    Clean();
}

void TKSN_SymmetryCalculator::Clean()
{
    Release(cellCounts);
    Release(cellLists);
    Release(cellStorage);
    Release(partnerA);
    Release(partnerB);
    Release(sideMarks);
    Release(onPlane);
    basePositions = nullptr;
    vertexCount = 0;
}

void TKSN_SymmetryCalculator::Start(TKSN_MeshRoot* target, int newAxis, float precision)
{
    Setup(target, newAxis, precision);
    LaunchThread(&TKSN_SymmetryCalculator::ThreadFunc);
}

bool TKSN_SymmetryCalculator::HasPolygons(int vertex) const
{
    return mesh->vertexPolygons.GetRowCount() > vertex && mesh->vertexPolygons[vertex][0] > 0;
}

void TKSN_SymmetryCalculator::Setup(TKSN_MeshRoot* target, int newAxis, float precision)
{
    BeforeStart();
    Clean();

    mesh = target;
    done = false;
    // An axis outside x, y, z would index past the bounds; take x.
    axis = (newAxis >= 0 && newAxis <= 2) ? newAxis : 0;
    if (!mesh) {
        done = true;
        return;
    }
    mesh->symmetryAxis = axis;
    tolerance = float(std::pow(10.0, -double(precision)));
    planeOffset = mesh->symmetryOffset;

    vertexCount = mesh->vertexCount;
    basePositions = mesh->baseVertices;
    onPlane = AllocZeroed<uint8_t>(vertexCount);
    partnerA = AllocZeroed<int32_t>(vertexCount);
    partnerB = AllocZeroed<int32_t>(vertexCount);
    // Membership in a polygon is read from the vertex-to-polygon table; a mesh
    // that has not built it yet gets it now, on the main thread.
    if (mesh->vertexPolygons.GetRowCount() != vertexCount) mesh->BuildVertexPolygons();

    for (int i = 0; i < 3; ++i) {
        boundsMin[i] = 1e30f;
        boundsMax[i] = -1e30f;
    }
    for (int v = 0; v < vertexCount; ++v) {
        partnerA[v] = v;
        partnerB[v] = v;
        if (!HasPolygons(v)) continue;
        for (int i = 0; i < 3; ++i) {
            boundsMin[i] = std::min(boundsMin[i], basePositions[3 * v + i]);
            boundsMax[i] = std::max(boundsMax[i], basePositions[3 * v + i]);
        }
    }
    boundsMin[axis] -= planeOffset;
    boundsMax[axis] -= planeOffset;
    double d2 = 0.0;
    for (int i = 0; i < 3; ++i) d2 += double(boundsMax[i] - boundsMin[i]) * double(boundsMax[i] - boundsMin[i]);
    diagonal = float(std::sqrt(d2));
    if (diagonal > 1e-30f) tolerance *= diagonal;

    if (std::fabs(boundsMax[axis] - boundsMin[axis]) < 1e-30f) {
        // Flat along the axis: nothing to pair.
        done = true;
        return;
    }

    axisCells = std::max(vertexCount, 4);
    crossCells = 4;
    crossAxis = -1;
    float widest = -1.0f;
    for (int c = 0; c < 3; ++c) {
        if (c == axis) continue;
        const float extent = boundsMax[c] - boundsMin[c];
        if (extent > widest) {
            widest = extent;
            crossAxis = c;
        }
    }
    if (crossAxis < 0) crossAxis = (axis + 1) % 3;

    const int64_t cells = int64_t(axisCells) * crossCells;
    cellLists = AllocZeroed<int32_t*>(cells);
    cellCounts = AllocZeroed<int32_t>(cells);
    sideMarks = AllocZeroed<uint8_t>(vertexCount);
}

void* TKSN_SymmetryCalculator::ThreadFunc(void* calculator)
{
    auto* self = static_cast<TKSN_SymmetryCalculator*>(static_cast<TKSN_Workhorse*>(calculator));
    if (!self->done) {
        self->PolulateBins();
        self->CalculateAllPoints();
    } else {
        // Nothing to store: an empty vertex count makes the completion a no-op.
        self->Clean();
    }
    self->FinishThread();
    return nullptr;
}

int TKSN_SymmetryCalculator::AxisCell(float x) const
{
    const double extent = double(boundsMax[axis]) - double(boundsMin[axis]);
    const double t = (double(x) - planeOffset - boundsMin[axis]) * double(axisCells - 1) / extent;
    return ClampCell(t, axisCells - 1);
}

int TKSN_SymmetryCalculator::CrossCell(float y) const
{
    double extent = double(boundsMax[crossAxis]) - double(boundsMin[crossAxis]);
    // A mesh flat across the axis would divide by zero; every vertex then
    // shares one cross cell anyway.
    if (extent <= 1e-30) extent = 1.0;
    const double u = (double(y) - boundsMin[crossAxis]) * double(crossCells - 1) / extent;
    return ClampCell(u, crossCells - 1);
}

int TKSN_SymmetryCalculator::CellOf(const float* position) const
{
    // The stride is the number of cross cells, so neighbouring axis rows share
    // entries; that only adds candidates, every one of which is scored.
    return AxisCell(position[axis]) + crossCells * CrossCell(position[crossAxis]);
}

void TKSN_SymmetryCalculator::PolulateBins()
{
    if (done || !cellCounts) return;
    const int64_t cells = int64_t(axisCells) * crossCells;
    for (int v = 0; v < vertexCount; ++v) ++cellCounts[CellOf(basePositions + 3 * v)];
    cellStorage = AllocZeroed<int32_t>(cells + vertexCount);
    int32_t* slice = cellStorage;
    for (int64_t k = 0; k < cells; ++k) {
        cellLists[k] = slice;
        slice += cellCounts[k] + 1;
    }
    for (int v = 0; v < vertexCount; ++v) {
        int32_t* list = cellLists[CellOf(basePositions + 3 * v)];
        list[1 + list[0]] = v;
        ++list[0];
    }
}

int TKSN_SymmetryCalculator::CalculateAllPoints()
{
    if (done || !cellStorage) return 0;
    std::scoped_lock offsets(CentreFirstMutex);

    const double axisExtent = double(boundsMax[axis]) - double(boundsMin[axis]);
    const int span = ClampCell(double(tolerance) * double(axisCells - 1) / axisExtent, axisCells - 1);
    // Offsets across the axis beyond ±(cross cells − 1) never land in a cell;
    // a large span would only make every vertex walk past them.
    const int halfCross = std::min(std::max(2 * span, 2), crossCells - 1);
    CentreFirst_Init(halfCross, 2);
    const double exactLimit = (1e-8 * double(diagonal)) * (1e-8 * double(diagonal));

    TQORPolyMesh* poly = dynamic_cast<TQORPolyMesh*>(mesh);
    const bool editable = dynamic_cast<TKSN_Mesh*>(mesh) != nullptr;
    const int polygons = mesh->polygonCount;

    // Side marks from the polygons.
    for (int p = 0; p < polygons; ++p) {
        const int n = mesh->vGetPolyN(p);
        if (n <= 0) continue;
        float lo = 1e30f, hi = -1e30f;
        bool any = false;
        for (int c = 0; c < n; ++c) {
            const int v = mesh->vGetPolyV(p, c);
            if (v < 0 || v >= vertexCount) continue;
            lo = std::min(lo, basePositions[3 * v + axis]);
            hi = std::max(hi, basePositions[3 * v + axis]);
            any = true;
        }
        if (!any) continue;
        lo -= planeOffset;
        hi -= planeOffset;
        const float mid = 0.5f * (lo + hi);
        uint8_t side;
        if (lo > tolerance)
            side = 1;
        else if (hi < -tolerance)
            side = 2;
        else if (hi - lo >= tolerance || mid >= tolerance)
            side = mid > tolerance ? 1 : 2;
        else {
            if (n < 3) continue;
            const int v0 = mesh->vGetPolyV(p, 0), v1 = mesh->vGetPolyV(p, 1), v2 = mesh->vGetPolyV(p, 2);
            if (v0 < 0 || v0 >= vertexCount || v1 < 0 || v1 >= vertexCount || v2 < 0 || v2 >= vertexCount) continue;
            const float* a = basePositions + 3 * v0;
            const float* b = basePositions + 3 * v1;
            const float* c = basePositions + 3 * v2;
            const float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            const float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            const float cross[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                                    e1[0] * e2[1] - e1[1] * e2[0]};
            side = cross[axis] <= 0.0f ? 1 : 2;
        }
        for (int c = 0; c < n; ++c) {
            const int v = mesh->vGetPolyV(p, c);
            if (v < 0 || v >= vertexCount) continue;
            if (sideMarks[v] == 0)
                sideMarks[v] = side;
            else if (sideMarks[v] != side)
                sideMarks[v] = 12;
        }
    }

    // Partners.
    int paired = 0;
    bool cancelled = false;
    const int offsetCount = CentreFirst_PointList.Count();
    for (int i = 0; i < vertexCount; ++i) {
        if (i % 1000 == 0 && WasCancelled()) {
            cancelled = true;
            break;
        }
        if (!HasPolygons(i)) continue;
        float P[3] = {basePositions[3 * i], basePositions[3 * i + 1], basePositions[3 * i + 2]};
        P[axis] -= planeOffset;
        const bool openI = IsOpenEdgeVertex(poly, i);
        if (sideMarks[i] == 12 || (editable && std::fabs(P[axis]) < tolerance && openI)) {
            partnerA[i] = partnerB[i] = i;
            onPlane[i] = 1;
            continue;
        }
        float mirror[3] = {basePositions[3 * i], basePositions[3 * i + 1], basePositions[3 * i + 2]};
        mirror[axis] = 2.0f * planeOffset - mirror[axis];
        const int axisCell = AxisCell(mirror[axis]);
        const int crossCell = CrossCell(mirror[crossAxis]);

        float centreI[3];
        bool centreIReady = false;
        int best = -1;
        double bestScore = 1e30;
        for (int o = 0; o < offsetCount; ++o) {
            const TKSN_CentreFirst_Point* offset = CentreFirst_PointList[o];
            const int cc = crossCell + offset->dx;
            const int ac = axisCell + offset->dy;
            if (cc < 0 || cc >= crossCells || ac < 0 || ac >= axisCells) continue;
            const int32_t* list = cellLists[ac + crossCells * cc];
            for (int k = 1; k <= list[0]; ++k) {
                const int j = list[k];
                if (j == i || !HasPolygons(j) || sideMarks[j] == sideMarks[i]) continue;
                float R[3] = {basePositions[3 * j], basePositions[3 * j + 1], basePositions[3 * j + 2]};
                R[axis] = -(R[axis] - planeOffset);
                double score = 0.0;
                for (int a = 0; a < 3; ++a) score += double(P[a] - R[a]) * double(P[a] - R[a]);
                bool openTerm = false;
                if (openI || IsOpenEdgeVertex(poly, j)) {
                    if (!centreIReady) {
                        GetAverageBasePositionForAllAttachedPolygons(centreI, mesh, i);
                        centreI[axis] -= planeOffset;
                        centreIReady = true;
                    }
                    float centreJ[3];
                    GetAverageBasePositionForAllAttachedPolygons(centreJ, mesh, j);
                    centreJ[axis] = -(centreJ[axis] - planeOffset);
                    double c2 = 0.0;
                    for (int a = 0; a < 3; ++a) c2 += double(centreI[a] - centreJ[a]) * double(centreI[a] - centreJ[a]);
                    score += 0.5 * c2;
                    openTerm = true;
                }
                if (score < bestScore) {
                    bestScore = score;
                    best = j;
                    // A near-exact match ends this cell's scan.
                    if (!openTerm && score < exactLimit) break;
                }
            }
        }
        if (best >= 0) {
            if (sideMarks[i] == 1)
                partnerA[i] = best;
            else
                partnerB[i] = best;
            ++paired;
        }
    }
    if (!cancelled && !WasCancelled()) done = true;
    return paired;
}

bool TKSN_SymmetryCalculator::OnWorkCompletion()
{
    if (TKSN_Workhorse::OnWorkCompletion() && mesh) {
        CopyDataBackToMesh();
        Clean();
        return true;
    }
    return false;
}

void TKSN_SymmetryCalculator::CopyDataBackToMesh()
{
    // The mesh was edited meanwhile, or there was nothing to pair.
    if (!mesh || vertexCount != mesh->vertexCount || !partnerA || !partnerB || !onPlane) return;
    auto* editable = dynamic_cast<TKSN_Mesh*>(mesh);
    int32_t* mapA = mesh->vertexPartners[0];
    int32_t* mapB = mesh->vertexPartners[1];
    for (int i = 0; i < vertexCount; ++i) {
        const bool on = onPlane[i] != 0;
        if (mapA) mapA[i] = on ? i : partnerA[i];
        if (mapB) mapB[i] = on ? i : partnerB[i];
        if (editable && editable->VertexInfo) {
            editable->VertexInfo[i].Flags &= ~uint32_t(QORVertex_SymmetryPlane);
            if (on) editable->VertexInfo[i].Flags |= QORVertex_SymmetryPlane;
        }
    }
    const int polygons = mesh->polygonCount;
    int32_t* polyA = mesh->polygonPartners[0];
    int32_t* polyB = mesh->polygonPartners[1];
    if (!mapA || !mapB) return;
    for (int p = 0; p < polygons; ++p) {
        int a = GetBestSymmetricPolygon(mesh, p, false);
        int b = GetBestSymmetricPolygon(mesh, p, true);
        if (a < 0 || a >= polygons) a = p;
        if (b < 0 || b >= polygons) b = p;
        if (polyA) polyA[p] = a;
        if (polyB) polyB[p] = b;
    }
}
