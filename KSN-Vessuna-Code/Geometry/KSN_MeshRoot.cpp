// TKSN_MeshRoot: arrays, counts, change flags, visible-list validity,
// symmetry map selection and the vertex-to-polygon table. The octree
// operations of the root are in KSN_MeshRoot_Octree.cpp.
#include "KSN_MeshRoot.h"

#include "QORPolyMesh.h"
#include "QORThreads.h"

#include <atomic>

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

void TKSN_MeshRoot::BuildVertexPolygons()
{
    // Count and add go over the same corners in the same order, so no row
    // can receive more entries than were counted for it.
    vertexPolygons.PrepareFirstPass(vertexCount);
    int stride = 0;
    if (const int32_t* table = GetQuadCornerTable(stride); table && polygonCount > 0) {
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
            if (v >= 0 && v < vertexCount) vertexPolygons.AddItem(v, i);
        }
    }
    vertexPolygons.Finalize();
}
