// The subdivision level itself: construction, level 0, normals and visible
// lists; see KSN_SubDMesh.h.
#include "KSN_SubDMesh.h"

#include "KSN_Mesh.h"
#include "KSN_ParallelBlocks.h"
#include "QORMemory.h"
#include "QORThreads.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kParentLookupKey = "VertexParentLookup";
constexpr uint32_t kSelectedListBit = 0x4000;   // the mesh's selected-list mark on a polygon's flag word

void Normalise3(float* v)
{
    const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (len > 1e-30f) {
        v[0] /= len;
        v[1] /= len;
        v[2] /= len;
    }
}

// Normalise3 over count triples in place, four at a time: the same
// products, sums, square root, comparison and divisions lane by lane
// (packed square root and division round exactly as the scalar ones), so
// every triple gets the bits Normalise3 gives it.
void NormaliseTriples(float* v, size_t count)
{
    using TFloat4 = float __attribute__((vector_size(16)));
    using TInt4 = int __attribute__((vector_size(16)));
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        float* q = v + 3 * i;
        const TFloat4 x = {q[0], q[3], q[6], q[9]};
        const TFloat4 y = {q[1], q[4], q[7], q[10]};
        const TFloat4 z = {q[2], q[5], q[8], q[11]};
        const TFloat4 sum = x * x + y * y + z * z;
        const TFloat4 len = __builtin_ia32_sqrtps(sum);
        const TInt4 keep = len > TFloat4{1e-30f, 1e-30f, 1e-30f, 1e-30f};
        // A lane that is not divided divides by one instead, which leaves it as it is.
        const TFloat4 one = {1.0f, 1.0f, 1.0f, 1.0f};
        const TFloat4 d = TFloat4((TInt4(len) & keep) | (TInt4(one) & ~keep));
        const TFloat4 nx = x / d, ny = y / d, nz = z / d;
        for (int k = 0; k < 4; ++k) {
            q[3 * k] = nx[k];
            q[3 * k + 1] = ny[k];
            q[3 * k + 2] = nz[k];
        }
    }
    for (; i < count; ++i) Normalise3(v + 3 * i);
}

// Copies n bytes, spread over the worker threads for large blocks.
void CopyBytes(void* dst, const void* src, int64_t n)
{
    if (n <= 0) return;
    if (n <= INT32_MAX)
        memcpy_Multithread(dst, src, int(n));
    else
        std::memcpy(dst, src, size_t(n));
}

TKSN_SubDMeshHooks Hooks;

} // namespace

void KSN_SetSubDMeshHooks(const TKSN_SubDMeshHooks& hooks) { Hooks = hooks; }
const TKSN_SubDMeshHooks& KSN_GetSubDMeshHooks() { return Hooks; }

TKSN_SubDMesh::TKSN_SubDMesh() { ++LiveCount; }

TKSN_SubDMesh::~TKSN_SubDMesh()
{
    --LiveCount;
    QORfree(Polygons);
    QORfree(PolygonUVs);
    QORfree(CustomPFlags);
    QORfree(GetCustomPointerProperty(kParentLookupKey));
    SetCustomPointerProperty(kParentLookupKey, nullptr);
    if (!arraysBorrowed) {
        QORfree(InterpolatedBase);
    } else {
        // The root leaves every listed array to the owner of the shared set,
        // but a level's texture vertices are its own.
        QORfree(tVertices);
        tVertices = nullptr;
    }
    InterpolatedBase = nullptr;
}

int32_t* TKSN_SubDMesh::GetVertexParentLookup() const
{
    return static_cast<int32_t*>(GetCustomPointerProperty(kParentLookupKey));
}

// ============================================================================
// [SECTION] Answers through the owner polygon
// ============================================================================

TQORMaterialMapSource* TKSN_SubDMesh::GetCurrentChannelMapFromPolygon(TKSN_Viewport* viewport, int polygon)
{
    return ownerMesh ? ownerMesh->GetCurrentChannelMapFromPolygon(viewport, GetOwnerIP(polygon)) : nullptr;
}

TQORMaterialMapSource* TKSN_SubDMesh::GetColorMapFromPolygon(TKSN_Viewport* viewport, int polygon)
{
    return ownerMesh ? ownerMesh->GetColorMapFromPolygon(viewport, GetOwnerIP(polygon)) : nullptr;
}

uint32_t TKSN_SubDMesh::GetPolyLayerFlags(int polygon)
{
    return ownerMesh ? ownerMesh->GetPolyLayerFlags(GetOwnerIP(polygon)) : 0;
}

bool TKSN_SubDMesh::TestPolyLayerFlag(int polygon, uint32_t mask)
{
    return ownerMesh && ownerMesh->TestPolyLayerFlag(GetOwnerIP(polygon), mask);
}

int TKSN_SubDMesh::vGetPolyM(int polygon)
{
    return ownerMesh ? int(ownerMesh->Polygons[GetOwnerIP(polygon)].Material) : -1;
}

bool TKSN_SubDMesh::IsPolyHidden(int polygon) { return ownerMesh && ownerMesh->IsPolyHidden(GetOwnerIP(polygon)); }
bool TKSN_SubDMesh::IsPolyLocked(int polygon) { return ownerMesh && ownerMesh->IsPolyLocked(GetOwnerIP(polygon)); }
bool TKSN_SubDMesh::IsPolyLockedOrHidden(int polygon)
{
    return ownerMesh && ownerMesh->IsPolyLockedOrHidden(GetOwnerIP(polygon));
}

float* TKSN_SubDMesh::GetCurrentDeltas()
{
    return ownerMesh && Hooks.GetCurrentLayerDeltas ? Hooks.GetCurrentLayerDeltas(ownerMesh) : nullptr;
}

// ============================================================================
// [SECTION] Sizes and level 0
// ============================================================================

void TKSN_SubDMesh::SetPolygonCount(int count)
{
    if (count < 0) count = 0;
    const int old = polygonCount;
    TKSN_MeshRoot::SetPolygonCount(count);
    KSN_ResizeArray(Polygons, old, count);
    if (tVertexCount > 0) KSN_ResizeArray(PolygonUVs, int64_t(old) * 4, int64_t(count) * 4);
    QORfree(CustomPFlags);
    CustomPFlags = count > 0 ? static_cast<uint8_t*>(QORalloc(uint64_t(count))) : nullptr;
    if (CustomPFlags) std::memset(CustomPFlags, 0, size_t(count));
    SetMaxOctreeDepth(GetIdealOctreeDepth());
}

void TKSN_SubDMesh::CopyOwnerExtent(TKSN_Mesh* mesh)
{
    SetOwnerMesh(mesh);
    if (!mesh) return;
    boundsDiagonal = mesh->boundsDiagonal;
    for (int c = 0; c < 3; ++c) {
        boundsMin[c] = mesh->boundsMin[c];
        boundsMax[c] = mesh->boundsMax[c];
    }
    InvalidateAllInOSpace();
    for (int c = 0; c < 3; ++c) {
        resolvedBoundsMin[c] = mesh->resolvedBoundsMin[c];
        resolvedBoundsMax[c] = mesh->resolvedBoundsMax[c];
        transformedBoundsMin[c] = mesh->transformedBoundsMin[c];
        transformedBoundsMax[c] = mesh->transformedBoundsMax[c];
    }
}

void TKSN_SubDMesh::CreateFromMesh(TKSN_Mesh* mesh)
{
    assert(mesh && "CreateFromMesh needs the owner mesh");
    CopyOwnerExtent(mesh);
    if (!mesh->SelectedListsValid) mesh->BuildSelectedVerticesAndPolygons2(true, false);
    bool anySelected = false;
    for (int p = 0; p < mesh->polygonCount && !anySelected; ++p)
        anySelected = (mesh->PolygonFlags[p] & kSelectedListBit) != 0;
    auto used = [&](int p) { return !anySelected || (mesh->PolygonFlags[p] & kSelectedListBit) != 0; };

    SetVertexCount(mesh->vertexCount);
    if (mesh->vertexCount > 0) mesh->GetResolvedVertexArray(baseVertices, mesh->vertexCount);
    if (mesh->tVertexCount > 0) {
        SetTVertexCount(mesh->tVertexCount);
        mesh->GetTVertexArray(tVertices, mesh->tVertexCount);
    } else {
        SetTVertexCount(1);
        tVertices[0] = tVertices[1] = 0.0f;
    }

    int total = 0;
    for (int p = 0; p < mesh->polygonCount; ++p) {
        const int n = mesh->Polygons[p].Count;
        if (used(p) && n > 2) total += (n - 3) / 2 + 1;
    }
    SetPolygonCount(total);

    int out = 0;
    for (int p = 0; p < mesh->polygonCount; ++p) {
        const TQORPolygon& poly = mesh->Polygons[p];
        const int n = poly.Count;
        if (!used(p) || n <= 2) continue;
        auto vertex = [&](int k) { return mesh->GetEffectiveVertex(poly.Points[k].V); };
        auto uv = [&](int k) { return poly.Points[k].VT < 0 ? 0 : poly.Points[k].VT; };
        for (int k = 0; k <= (n - 3) / 2; ++k) {
            // The last piece of an odd fan is the triangle {P0, Pn-2, Pn-1, Pn-1}.
            const int c[4] = {0, 2 * k + 1, 2 * k + 2, std::min(2 * k + 3, n - 1)};
            int32_t* corners = &Polygons[out].Corner0;
            for (int i = 0; i < 4; ++i) {
                corners[i] = vertex(c[i]);
                if (PolygonUVs) PolygonUVs[4 * out + i] = uv(c[i]);
            }
            Polygons[out].Owner = p;
            ++out;
        }
    }
    AfterRawBuild();
}

void TKSN_SubDMesh::AfterRawBuild()
{
    TKSN_MeshRoot::AfterRawBuild();
    if (vertexCount > 0 && resolvedVertices != baseVertices)
        CopyBytes(resolvedVertices, baseVertices, int64_t(vertexCount) * 12);
    BuildVisiblePolygons(false);
    BuildVertexPolygons();
    // The table is fresh here, so the normals may come from its rows, in
    // parallel; on one thread the scatter over the polygons is cheaper.
    if (resolvedVertices && vertexNormals) {
        if (KSN_PoolCanShare())
            RecalculateNormalsFromRows(resolvedVertices, vertexNormals, polygonNormals);
        else
            RecalculateNormalsInto(resolvedVertices, vertexNormals, polygonNormals);
    }
    // The rows were just made from the polygons: the level's own build.
    BuildLevelOctree();
}

// ============================================================================
// [SECTION] Visible lists
// ============================================================================

void TKSN_SubDMesh::BuildVisiblePolygons(bool all)
{
    TKSN_MeshRoot::BuildVisiblePolygons(all);
    QORfree(visiblePolygons);
    QORfree(visibleVertices);
    visiblePolygons = visibleVertices = nullptr;
    visiblePolygonCount = visibleVertexCount = 0;
    if (all) {
        visiblePolygonCount = polygonCount;
        visibleVertexCount = vertexCount;
        if (polygonCount > 0) visiblePolygons = static_cast<int32_t*>(QORalloc(uint64_t(polygonCount) * 4));
        if (vertexCount > 0) visibleVertices = static_cast<int32_t*>(QORalloc(uint64_t(vertexCount) * 4));
        for (int p = 0; p < polygonCount; ++p) visiblePolygons[p] = p;
        for (int v = 0; v < vertexCount; ++v) visibleVertices[v] = v;
        return;
    }
    // The owner's hidden state is asked once per polygon; the corners are read
    // from the records directly (a triangle repeats its third corner). One
    // pass into lists sized for everything: nothing is hidden as a rule.
    if (polygonCount > 0) visiblePolygons = static_cast<int32_t*>(QORalloc(uint64_t(polygonCount) * 4));
    if (vertexCount > 0) visibleVertices = static_cast<int32_t*>(QORalloc(uint64_t(vertexCount) * 4));
    std::vector<uint8_t> seen(size_t(std::max(vertexCount, 0)), 0);
    for (int p = 0; p < polygonCount; ++p) {
        if (IsPolyHidden(p)) continue;
        visiblePolygons[visiblePolygonCount++] = p;
        for (const int32_t v : {Polygons[p].Corner0, Polygons[p].Corner1, Polygons[p].Corner2, Polygons[p].Corner3})
            if (!seen[size_t(v)]) {
                seen[size_t(v)] = 1;
                visibleVertices[visibleVertexCount++] = v;
            }
    }
    if (visiblePolygonCount == 0) {
        QORfree(visiblePolygons);
        visiblePolygons = nullptr;
    }
    if (visibleVertexCount == 0) {
        QORfree(visibleVertices);
        visibleVertices = nullptr;
    }
}

// ============================================================================
// [SECTION] Normals
// ============================================================================

void TKSN_SubDMesh::PolygonNormal(const float* positions, int polygon, float* n) const
{
    const TKSN_SubDPolygon& poly = Polygons[polygon];
    const float* p0 = positions + 3 * poly.Corner0;
    const float* p1 = positions + 3 * poly.Corner1;
    const float* p2 = positions + 3 * poly.Corner2;
    const float a[3] = {p1[0] - p0[0], p1[1] - p0[1], p1[2] - p0[2]};
    const float b[3] = {p2[0] - p0[0], p2[1] - p0[1], p2[2] - p0[2]};
    n[0] = a[1] * b[2] - a[2] * b[1];
    n[1] = a[2] * b[0] - a[0] * b[2];
    n[2] = a[0] * b[1] - a[1] * b[0];
    if (poly.Corner3 != poly.Corner2) {
        const float* p3 = positions + 3 * poly.Corner3;
        const float c[3] = {p3[0] - p0[0], p3[1] - p0[1], p3[2] - p0[2]};
        n[0] += b[1] * c[2] - b[2] * c[1];
        n[1] += b[2] * c[0] - b[0] * c[2];
        n[2] += b[0] * c[1] - b[1] * c[0];
    }
}

void TKSN_SubDMesh::RecalculatePolyNormal(int polygon)
{
    float* n = polygonNormals + 3 * polygon;
    PolygonNormal(resolvedVertices, polygon, n);
    const float s = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    if (s <= 0.0f) return;
    // Fast inverse square root with one refinement step: a per-polygon
    // update during editing does not need the last bits.
    float y = std::bit_cast<float>(0x5F3759DFu - (std::bit_cast<uint32_t>(s) >> 1));
    y = y * (1.5f - 0.5f * s * y * y);
    for (int i = 0; i < 3; ++i) n[i] *= y;
}

void TKSN_SubDMesh::RecalculateNormalsInto(const float* positions, float* vNormals, float* pNormals)
{
    if (vertexCount > 0) std::memset(vNormals, 0, size_t(vertexCount) * 12);
    // Polygon normals in blocks (made, then normalised four at a time),
    // each block scattered in polygon order: the sums of the plain walk.
    constexpr int kBlock = 256;
    for (int first = 0; first < polygonCount; first += kBlock) {
        const int end = std::min(polygonCount, first + kBlock);
        for (int p = first; p < end; ++p) PolygonNormal(positions, p, pNormals + 3 * p);
        NormaliseTriples(pNormals + 3 * size_t(first), size_t(end - first));
        for (int p = first; p < end; ++p) {
            const float* n = pNormals + 3 * p;
            const int32_t* corners = &Polygons[p].Corner0;
            for (int k = 0; k < 4; ++k)
                for (int i = 0; i < 3; ++i) vNormals[3 * corners[k] + i] += n[i];
        }
    }
    NormaliseTriples(vNormals, size_t(std::max(vertexCount, 0)));
}

void TKSN_SubDMesh::RecalculateNormalsFromRows(const float* positions, float* vNormals, float* pNormals)
{
    auto polygonPass = [&](size_t first, size_t end) {
        for (size_t p = first; p < end; ++p) PolygonNormal(positions, int(p), pNormals + 3 * p);
        NormaliseTriples(pNormals + 3 * first, end - first);
    };
    KSN_RunInBlocks(size_t(std::max(polygonCount, 0)), 8192, polygonPass);
    // A vertex sums its polygons in polygon order, once per corner naming it
    // (a triangle's repeated corner twice), as the scatter over all
    // polygons does, so every sum rounds the same way.
    auto vertexPass = [&](size_t first, size_t end) {
        for (size_t v = first; v < end; ++v) {
            float sum[3] = {0.0f, 0.0f, 0.0f};
            const int* row = vertexPolygons[int(v)];
            int previous = -1;
            for (int k = 1; k <= row[0]; ++k) {
                const int p = row[k];
                if (p == previous) continue;
                previous = p;
                const int32_t* c = &Polygons[p].Corner0;
                const float* n = pNormals + 3 * size_t(p);
                for (int j = 0; j < 4; ++j)
                    if (c[j] == int32_t(v))
                        for (int i = 0; i < 3; ++i) sum[i] += n[i];
            }
            float* out = vNormals + 3 * v;
            for (int i = 0; i < 3; ++i) out[i] = sum[i];
        }
        NormaliseTriples(vNormals + 3 * first, end - first);
    };
    KSN_RunInBlocks(size_t(std::max(vertexCount, 0)), 8192, vertexPass);
}

void TKSN_SubDMesh::RecalculateNormals(bool /*visibleOnly*/)
{
    if (!resolvedVertices || !vertexNormals) return;
    RecalculateNormalsInto(resolvedVertices, vertexNormals, polygonNormals);
}

void TKSN_SubDMesh::RecalculateNormalsExternal(const float* positions, float* vNormals, float* pNormals)
{
    RecalculateNormalsInto(positions, vNormals, pNormals);
}

void TKSN_SubDMesh::SetOriginalVertexNormals()
{
    if (!arraysBorrowed) QORfree(originalVertexNormals);
    originalVertexNormals = nullptr;
    if (vertexCount <= 0 || !ownerMesh || !ownerMesh->vertexNormals) return;
    originalVertexNormals = static_cast<float*>(QORalloc(uint64_t(vertexCount) * 12));
    std::memset(originalVertexNormals, 0, size_t(vertexCount) * 12);
    Interpolate_VArray_From_Base(ownerMesh, Level, ownerMesh->vertexNormals, originalVertexNormals, 3, 0);
    for (int v = 0; v < vertexCount; ++v) Normalise3(originalVertexNormals + 3 * v);
}
