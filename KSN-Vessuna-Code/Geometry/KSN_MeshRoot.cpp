// TKSN_MeshRoot: arrays, counts, change flags, visible-list validity,
// symmetry map selection and the vertex-to-polygon table. The octree
// operations of the root are in KSN_MeshRoot_Octree.cpp.
#include "KSN_MeshRoot.h"

#include "KSN_ParallelBlocks.h"
#include "QORPolyMesh.h"
#include "QORThreads.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace {

std::atomic<TKSN_CancelWorkhorsesFunc> CancelHook{nullptr};

template <class T>
void FreeArray(T*& array)
{
    QORfree(array);
    array = nullptr;
}

}  // namespace

void KSN_SetCancelViewportDependentWorkhorsesHook(TKSN_CancelWorkhorsesFunc hook)
{
    CancelHook.store(hook);
}

void KSN_CancelViewportDependentWork()
{
    if (TKSN_CancelWorkhorsesFunc hook = CancelHook.load()) hook();
}

// ---------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------

TKSN_MeshRoot::TKSN_MeshRoot() = default;

TKSN_MeshRoot::~TKSN_MeshRoot()
{
    // Background jobs read the octree and the visible lists until they are told to stop.
    KSN_CancelViewportDependentWork();
    octreeRoot.reset();
    FreeArray(polygonLeafIndex);
    leafList.clear();
    if (!arraysBorrowed) {
        FreeArray(baseVertices);
        FreeArray(resolvedVertices);
        FreeArray(vertexNormals);
        FreeArray(tVertices);
        FreeArray(originalVertexNormals);
        for (int i = 0; i < 2; ++i) {
            FreeArray(vertexPartners[i]);
            FreeArray(polygonPartners[i]);
        }
    }
    FreeArray(polygonNormals);
    FreeArray(visibleVertices);
    FreeArray(visiblePolygons);
    ReleaseCFlags();
    FreeArray(displacementDeltas);
}

// ---------------------------------------------------------------------------
// Resizing
// ---------------------------------------------------------------------------

void TKSN_MeshRoot::SetVertexCount(int count)
{
    if (count < 0) count = 0;
    const int old = vertexCount;
    FreeArray(displacementDeltas);
    FreeArray(originalVertexNormals);
    KSN_ResizeArray(baseVertices, int64_t(old) * 3, int64_t(count) * 3);
    KSN_ResizeArray(resolvedVertices, int64_t(old) * 3, int64_t(count) * 3);
    KSN_ResizeArray(vertexNormals, int64_t(old) * 3, int64_t(count) * 3);
    activeVertexPartnerA = nullptr;
    activeVertexPartnerB = nullptr;
    for (int i = 0; i < 2; ++i) {
        if (leanAndMean)
            FreeArray(vertexPartners[i]);
        else
            KSN_ResizeArray(vertexPartners[i], old, count);
    }
    ReleaseCFlags();
    vertexCount = count;
}

void TKSN_MeshRoot::SetPolygonCount(int count)
{
    if (count < 0) count = 0;
    const int old = polygonCount;
    KSN_ResizeArray(polygonNormals, int64_t(old) * 3, int64_t(count) * 3);
    // A visible-only normal pass skips hidden polygons, yet the vertex pass
    // sums every polygon around a vertex: new ones must read as zero, not as
    // whatever the allocator left there.
    if (count > old) std::memset(polygonNormals + int64_t(old) * 3, 0, size_t(count - old) * 12);
    for (int i = 0; i < 2; ++i) {
        if (leanAndMean)
            FreeArray(polygonPartners[i]);
        else
            KSN_ResizeArray(polygonPartners[i], old, count);
    }
    activePolygonPartnerA = nullptr;
    activePolygonPartnerB = nullptr;
    polygonCount = count;
    ReleaseCFlags();
}

void TKSN_MeshRoot::SetTVertexCount(int count)
{
    if (count < 0) count = 0;
    KSN_ResizeArray(tVertices, int64_t(tVertexCount) * 2, int64_t(count) * 2);
    tVertexCount = count;
}

// ---------------------------------------------------------------------------
// Change-flag channels
// ---------------------------------------------------------------------------

void TKSN_MeshRoot::ReleaseCFlags()
{
    for (int c = 0; c < KSN_CFLAG_CHANNELS; ++c) {
        FreeArray(cflagVertices[c]);
        FreeArray(cflagPolygons[c]);
        cflagStamps[c] = 0;
    }
}

void TKSN_MeshRoot::StartUsingCFlags(eCFlag_Channel channel)
{
    const int c = int(channel);
    if (!cflagPolygons[c] && polygonCount > 0) {
        cflagPolygons[c] = static_cast<uint8_t*>(QORalloc(uint64_t(polygonCount)));
        memset_Multithread(cflagPolygons[c], 0, polygonCount);
    }
    if (!cflagVertices[c] && vertexCount > 0) {
        cflagVertices[c] = static_cast<uint8_t*>(QORalloc(uint64_t(vertexCount)));
        memset_Multithread(cflagVertices[c], 0, vertexCount);
    }
    // One byte per item: after 255 uses the bytes must really be cleared once.
    if (++cflagStamps[c] >= 256) {
        if (cflagPolygons[c]) memset_Multithread(cflagPolygons[c], 0, polygonCount);
        if (cflagVertices[c]) memset_Multithread(cflagVertices[c], 0, vertexCount);
        cflagStamps[c] = 1;
    }
}

// ---------------------------------------------------------------------------
// Visible lists and octree validity
// ---------------------------------------------------------------------------

void TKSN_MeshRoot::BuildVisiblePolygons(bool /*all*/)
{
    visibleListsValid = true;
}

int TKSN_MeshRoot::GetVisibleVertexCount()
{
    if (!AreVisibleListsValid()) BuildVisiblePolygons(false);
    return visibleVertexCount;
}

int TKSN_MeshRoot::GetVisiblePolygonCount()
{
    if (!AreVisibleListsValid()) BuildVisiblePolygons(false);
    return visiblePolygonCount;
}

void TKSN_MeshRoot::SetMaxOctreeDepth(int depth)
{
    if (depth == maxOctreeDepth) return;
    maxOctreeDepth = depth;
    InvalidateOctree();
}

void TKSN_MeshRoot::InvalidateOctree()
{
    KSN_CancelViewportDependentWork();
    octreeRoot.reset();
    FreeArray(polygonLeafIndex);
    leafList.clear();
}

void TKSN_MeshRoot::InvalidateVisibleLookups()
{
    InvalidateOctree();
    visibleListsValid = false;
}

void TKSN_MeshRoot::AfterRawBuild()
{
    InvalidateVisibleLookups();
}

// ---------------------------------------------------------------------------
// Symmetry, lean mode, normals copy
// ---------------------------------------------------------------------------

void TKSN_MeshRoot::SetActiveSymmetryMap(bool flipped, bool off)
{
    if (off) {
        symmetryState = 0;
        activeVertexPartnerA = activeVertexPartnerB = nullptr;
        activePolygonPartnerA = activePolygonPartnerB = nullptr;
        return;
    }
    const int a = flipped ? 1 : 0;
    symmetryState = flipped ? 1 : 2;
    activeVertexPartnerA = vertexPartners[a];
    activeVertexPartnerB = vertexPartners[1 - a];
    activePolygonPartnerA = polygonPartners[a];
    activePolygonPartnerB = polygonPartners[1 - a];
}

void TKSN_MeshRoot::SetLeanAndMean(bool lean)
{
    leanAndMean = lean;
    if (!lean) return;
    for (int i = 0; i < 2; ++i) {
        FreeArray(vertexPartners[i]);
        FreeArray(polygonPartners[i]);
    }
    activeVertexPartnerA = activeVertexPartnerB = nullptr;
    activePolygonPartnerA = activePolygonPartnerB = nullptr;
}

void TKSN_MeshRoot::SetOriginalVertexNormals()
{
    FreeArray(originalVertexNormals);
    if (vertexCount <= 0 || !vertexNormals) return;
    originalVertexNormals = static_cast<float*>(QORalloc(uint64_t(vertexCount) * 12));
    memcpy_Multithread(originalVertexNormals, vertexNormals, vertexCount * 12);
}

// ---------------------------------------------------------------------------
// Materials seen through the owner mesh
// ---------------------------------------------------------------------------

TQORMaterialMapSource* TKSN_MeshRoot::GetCurrentChannelMapFromPolygon(TKSN_Viewport*, int)
{
    return nullptr;
}

TQORMaterialMapSource* TKSN_MeshRoot::GetColorMapFromPolygon(TKSN_Viewport*, int)
{
    return nullptr;
}

int TKSN_MeshRoot::GetMaterialCount()
{
    if (!ownerPolyMesh || !ownerPolyMesh->Materials) return 0;
    return ownerPolyMesh->Materials->GetItemCount();
}

TQORMaterial* TKSN_MeshRoot::GetMaterial(int index)
{
    if (!ownerPolyMesh || !ownerPolyMesh->Materials) return nullptr;
    return KSN_MaterialFromThingy(ownerPolyMesh->Materials->GetItem(index));
}

void TKSN_MeshRoot::UpdateDisplacementMapHelpers()
{
    maxDisplacementReach = 0.0f;
    const int count = GetMaterialCount();
    for (int i = 0; i < count; ++i) {
        float values[5];
        bool hasBinding = false;
        TQORMaterialMapSource* source = nullptr;
        if (!KSN_GetMaterialChannelInfo(GetMaterial(i), KSN_QR_SLOT_DISPLACEMENT, values, &hasBinding, &source))
            continue;
        if (!hasBinding) continue;
        const float reach = boundsDiagonal * values[0];
        if (reach > maxDisplacementReach) maxDisplacementReach = reach;
    }
}

bool TKSN_MeshRoot::DoRenderDoubleSided()
{
    // The editable mesh answers from its object's "RenderDoubleSided"; a
    // level made from it follows it.
    if (ownerPolyMesh && static_cast<TKSN_MeshRoot*>(ownerPolyMesh) != this) return ownerPolyMesh->DoRenderDoubleSided();
    return false;
}

// ---------------------------------------------------------------------------
// Vertex-to-polygon table
// ---------------------------------------------------------------------------

namespace {

// The vertex-to-polygon table on the pool. Corners are counted and filed
// polygon block by polygon block, each row's next place taken with an atomic
// increment of its count, so a row comes out in whatever order the blocks
// ran; sorting each row then gives polygon order, which is the serial
// table's (a polygon with several corners at a vertex is named that many
// times in a row either way). forEachCorner(i, visit) calls visit(v) for the
// corners of polygon i whose vertex v is in the mesh, and is called from
// several threads at once.
template <class ForEachCorner>
void BuildVertexPolygonsOnPool(TQORLookupTable& table, int vertexCount, int polygonCount, ForEachCorner forEachCorner)
{
    constexpr size_t kVertexBlock = 16384, kPolygonBlock = 8192;
    const size_t vertices = size_t(vertexCount);
    // Passes over the pool wait for their slowest slot, so the cheap steps
    // (zeroing the counts, the blocks' totals) run here instead.
    std::vector<int32_t> counts(vertices, 0);
    auto count = [&](size_t first, size_t end) {
        for (size_t i = first; i < end; ++i)
            forEachCorner(int(i), [&](int v) {
                std::atomic_ref<int32_t>(counts[size_t(v)]).fetch_add(1, std::memory_order_relaxed);
            });
    };
    KSN_RunInBlocks(size_t(polygonCount), kPolygonBlock, count);

    // Rows are placed block by block from the blocks' running totals.
    const size_t blocks = (vertices + kVertexBlock - 1) / kVertexBlock;
    std::vector<int32_t> blockStart(blocks + 1, 0);
    for (size_t b = 0; b < blocks; ++b) {
        int32_t total = blockStart[b];
        for (size_t v = b * kVertexBlock, last = std::min(vertices, v + kVertexBlock); v < last; ++v) total += counts[v];
        blockStart[b + 1] = total;
    }
    table.PrepareRows(vertexCount, blockStart[blocks]);
    auto place = [&](size_t first, size_t end) {
        for (size_t b = first; b < end; ++b) {
            int32_t entry = blockStart[b];
            for (size_t v = b * kVertexBlock, last = std::min(vertices, v + kVertexBlock); v < last; ++v) {
                table.PlaceRow(int(v), entry);
                entry += counts[v];
            }
        }
    };
    KSN_RunInBlocks(blocks, 1, place);

    auto file = [&](size_t first, size_t end) {
        for (size_t i = first; i < end; ++i)
            forEachCorner(int(i), [&](int v) {
                int* row = table[v];
                row[1 + std::atomic_ref<int>(row[0]).fetch_add(1, std::memory_order_relaxed)] = int(i);
            });
    };
    KSN_RunInBlocks(size_t(polygonCount), kPolygonBlock, file);
    auto order = [&](size_t first, size_t end) {
        for (size_t v = first; v < end; ++v) {
            int* row = table[int(v)];
            if (!std::is_sorted(row + 1, row + 1 + row[0])) std::sort(row + 1, row + 1 + row[0]);
        }
    };
    KSN_RunInBlocks(vertices, kVertexBlock, order);
    table.Finalize();
}

}  // namespace

void TKSN_MeshRoot::BuildVertexPolygons()
{
    int stride = 0;
    const int32_t* table = GetQuadCornerTable(stride);
    if (KSN_PoolCanShare() && vertexCount > 0 && polygonCount > 0) {
        if (table) {
            BuildVertexPolygonsOnPool(vertexPolygons, vertexCount, polygonCount, [&](int i, auto&& visit) {
                const int32_t* c = table + size_t(i) * size_t(stride);
                const int n = c[2] == c[3] ? 3 : 4;
                for (int k = 0; k < n; ++k)
                    if (c[k] >= 0 && c[k] < vertexCount) visit(int(c[k]));
            });
        } else {
            // The accessors only read, so the pool's threads may ask them.
            BuildVertexPolygonsOnPool(vertexPolygons, vertexCount, polygonCount, [&](int i, auto&& visit) {
                const int n = vGetPolyN(i);
                for (int k = 0; k < n; ++k) {
                    const int v = vGetPolyV(i, k);
                    if (v >= 0 && v < vertexCount) visit(v);
                }
            });
        }
        return;
    }
    // Count and add go over the same corners in the same order, so no row
    // can receive more entries than were counted for it.
    vertexPolygons.PrepareFirstPass(vertexCount);
    if (table && polygonCount > 0) {
        // The same corners read from the flat table; rows are filled in place,
        // which is what AddItem does without its overflow check, which the
        // matching count pass makes moot.
        auto forEachCorner = [&](auto&& visit) {
            for (int i = 0; i < polygonCount; ++i) {
                const int32_t* c = table + size_t(i) * size_t(stride);
                const int n = c[2] == c[3] ? 3 : 4;
                for (int k = 0; k < n; ++k)
                    if (c[k] >= 0 && c[k] < vertexCount) visit(int(c[k]), i);
            }
        };
        forEachCorner([&](int v, int) { vertexPolygons.CountItem(v); });
        vertexPolygons.PrepareSecondPass();
        forEachCorner([&](int v, int i) {
            int* row = vertexPolygons[v];
            row[++row[0]] = i;
        });
        vertexPolygons.Finalize();
        return;
    }
    for (int i = 0; i < polygonCount; ++i) {
        const int n = vGetPolyN(i);
        for (int k = 0; k < n; ++k) {
            const int v = vGetPolyV(i, k);
            if (v >= 0 && v < vertexCount) vertexPolygons.CountItem(v);
        }
    }
    vertexPolygons.PrepareSecondPass();
    for (int i = 0; i < polygonCount; ++i) {
        const int n = vGetPolyN(i);
        for (int k = 0; k < n; ++k) {
            const int v = vGetPolyV(i, k);
            if (v >= 0 && v < vertexCount) {
                int* row = vertexPolygons[v];   // in place, as for the flat table
                row[++row[0]] = i;
            }
        }
    }
    vertexPolygons.Finalize();
}
