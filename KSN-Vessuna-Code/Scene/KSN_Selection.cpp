// Selections: storage forms, paging, resizing, copying and the conversions
// between vertex and polygon selections. The "selection" text block is in
// KSN_Selection_Io.cpp.
//
// [SECTION] Construction and paging
// [SECTION] Access and iteration
// [SECTION] Forms and sizes
// [SECTION] Conversions
#include "KSN_Selection.h"

#include "KSN_Mesh.h"

#include "OS.h"
#include "QORMemory.h"
#include "QORPolyMesh.h"
#include "QORThreads.h"
#include "QORVirtualMemory.h"


#include <algorithm>
#include <cstring>
#include <vector>

namespace {

float* AllocateZeroedWeights(int count)
{
    if (count <= 0)
        return nullptr;
    auto* array = static_cast<float*>(QORalloc(uint64_t(count) * sizeof(float)));
    memset_Multithread(array, 0, uint64_t(count) * sizeof(float));
    return array;
}

// Brings one paged-out block back into its pointer.
template <class T>
void PopBlock(T*& pointer, uint32_t& id)
{
    if (id == 0)
        return;
    void* block = nullptr;
    unsigned long size = 0;
    unsigned int vmID = id;
    QORVirtualMemory_Pop(&block, &size, &vmID);
    id = vmID;
    pointer = static_cast<T*>(block);
}

template <class T>
void PushBlock(T*& pointer, uint32_t& id, uint64_t bytes)
{
    if (!pointer || id != 0 || bytes == 0)
        return;
    void* block = pointer;
    unsigned int vmID = 0;
    QORVirtualMemory_Push(&block, static_cast<unsigned long>(bytes), &vmID);
    pointer = static_cast<T*>(block);
    id = vmID;
}

} // namespace

// [SECTION] Construction and paging

TKSN_Selection::TKSN_Selection(int count, unsigned owner)
    : ownerID(owner), vcount(std::max(count, 0))
{
    RegisterForLookup();
    SetName("New Selection");
    weights = AllocateZeroedWeights(vcount);
}

TKSN_Selection::~TKSN_Selection()
{
    QORVirtualMemory_Delete(sparseBlockID);
    QORVirtualMemory_Delete(denseBlockID);
    QORfree(pairs);
    QORfree(weights);
}

uint64_t TKSN_Selection::GetApproximateSize()
{
    return Compressed ? uint64_t(std::max(DeltaCount, 0)) * sizeof(TKSN_SelectionDelta)
                      : uint64_t(vcount) * sizeof(float);
}

bool TKSN_Selection::SaveToStream(FILE* /*file*/) { return true; }
bool TKSN_Selection::LoadFromStream(FILE* /*file*/) { return true; }

void TKSN_Selection::FetchBack(const char* label)
{
    if (!IsPagedOut())
        return;
    PopBlock(pairs, sparseBlockID);
    PopBlock(weights, denseBlockID);
    if (IsPagedOut())
        QORThrowException("Error retreiving selection data in %s", label);
}

void TKSN_Selection::PushToVirtualMemory()
{
    PushBlock(pairs, sparseBlockID, uint64_t(std::max(DeltaCount, 0)) * sizeof(TKSN_SelectionDelta));
    PushBlock(weights, denseBlockID, uint64_t(vcount) * sizeof(float));
}

void TKSN_Selection::IsInUse(const char* /*label*/)
{
    PopBlock(pairs, sparseBlockID);
    PopBlock(weights, denseBlockID);
}

void TKSN_Selection::NotInUse(const char* /*label*/)
{
    if (!keepInMemory)
        PushToVirtualMemory();
}

// [SECTION] Access and iteration

float TKSN_Selection::GetVSelect(int index)
{
    if (vcount < 1)
        return 0.0f;
    FetchBack("TKSN_Selection::GetVSelect()");
    Expand();
    if (index < 0 || index >= vcount || !weights)
        return 0.0f;
    return weights[index];
}

void TKSN_Selection::SetVSelect(int index, float weight)
{
    FetchBack("SetVSelect()");
    Expand();
    if (index < 0 || index >= vcount || !weights)
        return;
    weights[index] = weight;
}

float* TKSN_Selection::GetPointerToExpandedArray()
{
    if (vcount < 1)
        return nullptr;
    FetchBack("TKSN_Selection::GetPointerToExpandedArray()");
    Expand();
    return weights;
}

bool TKSN_Selection::GetFirstValue(int* index, float* weight)
{
    FetchBack("TKSN_Selection::GetFirstValue");
    if (vcount <= 0)
        return false;
    iterationCursor = 0;
    if (pairs && DeltaCount > 0) {
        *index = pairs[0].Index;
        *weight = pairs[0].Value;
        return true;
    }
    if (weights) {
        *index = 0;
        *weight = weights[0];
        return true;
    }
    return false;
}

bool TKSN_Selection::GetNextValue(int* index, float* weight)
{
    if (vcount <= 0)
        return false;
    ++iterationCursor;
    if (pairs && DeltaCount > 0) {
        if (iterationCursor >= DeltaCount)
            return false;
        *index = pairs[iterationCursor].Index;
        *weight = pairs[iterationCursor].Value;
        return true;
    }
    if (weights) {
        if (iterationCursor >= vcount)
            return false;
        *index = iterationCursor;
        *weight = weights[iterationCursor];
        return true;
    }
    return false;
}

bool TKSN_Selection::SetCurrentValue(float weight)
{
    if (iterationCursor < 0)
        return false;
    if (pairs && DeltaCount > 0) {
        if (iterationCursor >= DeltaCount)
            return false;
        pairs[iterationCursor].Value = weight;
        return true;
    }
    if (weights && iterationCursor < vcount) {
        weights[iterationCursor] = weight;
        return true;
    }
    return false;
}

// [SECTION] Forms and sizes

void TKSN_Selection::ReplaceWeights(int count)
{
    QORfree(weights);
    weights = nullptr;
    vcount = std::max(count, 0);
    weights = AllocateZeroedWeights(vcount);
}

void TKSN_Selection::FreePairs()
{
    QORfree(pairs);
    pairs = nullptr;
}

void TKSN_Selection::DropPairsOutOfRange()
{
    if (!pairs || DeltaCount <= 0)
        return;
    // Compacted in place, keeping the order, so a later pair for an index
    // still wins on expansion.
    int kept = 0;
    for (int i = 0; i < DeltaCount; ++i)
        if (pairs[i].Index >= 0 && pairs[i].Index < vcount)
            pairs[kept++] = pairs[i];
    if (kept == DeltaCount)
        return;
    OS.WarningMessage("The selection \"%s\" lists %d weights of items it does not have (it has %d items); they were left out.",
                      GetName(), DeltaCount - kept, vcount);
    DeltaCount = kept;
    if (kept == 0)
        FreePairs();
}

void TKSN_Selection::DropStoredWeights()
{
    FreePairs();
    QORVirtualMemory_Delete(sparseBlockID);
    sparseBlockID = 0;
    DeltaCount = 0;
    Compressed = false;
    QORVirtualMemory_Delete(denseBlockID);
    denseBlockID = 0;
}

void TKSN_Selection::ResetDamagedCompressedForm()
{
    OS.WarningMessage("The selection \"%s\" holds damaged data; it was loaded with nothing selected.", GetName());
    DropStoredWeights();
    // Zeros for a count that no data in the file backs could be gigabytes.
    if (countExceedsFile)
        vcount = 0;
    ReplaceWeights(vcount);
}

void TKSN_Selection::Expand()
{
    FetchBack("TKSN_Selection::Expand()");
    if (!Compressed)
        return;
    if (!pairs && DeltaCount > 0)
        QORFatalError("Deltas == NULL in TKSN_Selection::Expand()");
    DropPairsOutOfRange();
    ReplaceWeights(vcount);
    for (int i = 0; i < DeltaCount; ++i)
        weights[pairs[i].Index] = pairs[i].Value;
    FreePairs();
    DeltaCount = 0;
    Compressed = false;
}

void TKSN_Selection::SetSize(int count)
{
    Expand();
    ReplaceWeights(count);
}

void TKSN_Selection::SetVCount(int count)
{
    count = std::max(count, 0);
    if (count == vcount)
        return;
    const bool wasOut = IsPagedOut();
    FetchBack("TKSN_Selection::SetVCount()");
    Expand();
    float* resized = AllocateZeroedWeights(count);
    const int keep = std::min(vcount, count);
    if (keep > 0 && weights)
        memcpy_Multithread(resized, weights, size_t(keep) * sizeof(float));
    QORfree(weights);
    weights = resized;
    vcount = count;
    if (wasOut && !keepInMemory)
        PushToVirtualMemory();
}

void TKSN_Selection::Copy(TKSN_Selection* source)
{
    if (!source)
        QORThrowException("Selection == NULL in TKSN_Selection::Copy()");
    Expand();
    source->Expand();
    reservedValue = int32_t(source->GetID());
    // A shorter source leaves the items it does not have as they were.
    const int count = std::min(vcount, source->vcount);
    if (count > 0 && weights && source->weights)
        memcpy_Multithread(weights, source->weights, size_t(count) * sizeof(float));
}

// [SECTION] Conversions

namespace {

// The editable mesh that owns the selection, or null when it is gone.
TKSN_Mesh* FindOwnerMesh(unsigned ownerID)
{
    if (ownerID == 0)
        return nullptr;
    return dynamic_cast<TKSN_Mesh*>(__GetThingyFromID(ownerID));
}

} // namespace

void TKSN_Selection::ConvertToVertexSelection()
{
    if (TKSN_Mesh* mesh = FindOwnerMesh(ownerID))
        mesh->ConvertSelectedPolygonsToVertices(this);
}

void TKSN_Selection::ConvertToPolygonSelection()
{
    if (TKSN_Mesh* mesh = FindOwnerMesh(ownerID))
        mesh->ConvertSelectedVerticesToPolygons(this);
}

void KSN_ConvertSelectedPolygonsToVertices(TQORPolyMesh* mesh, TKSN_Selection* selection)
{
    if (!mesh || !selection || selection->GetSelectionType() == eSelectionType_Vertex)
        return;
    selection->Expand();
    const int vertexCount = mesh->GetVCount();
    const int polygonCount = mesh->GetPCount();
    const int known = selection->GetVCount();
    const float* polygonWeights = selection->GetPointerToExpandedArray();
    std::vector<float> result(size_t(std::max(vertexCount, 0)), 0.0f);
    for (int p = 0; p < polygonCount; ++p) {
        const float w = p < known ? polygonWeights[p] : 0.0f;
        const int corners = mesh->vGetPolyN(p);
        for (int c = 0; c < corners; ++c) {
            const int v = mesh->vGetPolyV(p, c);   // the weld master when welding is in force
            if (v >= 0 && v < vertexCount)
                result[size_t(v)] = std::max(result[size_t(v)], w);
        }
    }
    selection->SetSelectionType(eSelectionType_Vertex);
    selection->SetVCount(vertexCount);
    if (float* out = selection->GetPointerToExpandedArray())
        std::copy(result.begin(), result.end(), out);
}

void KSN_ConvertSelectedVerticesToPolygons(TQORPolyMesh* mesh, TKSN_Selection* selection)
{
    if (!mesh || !selection || selection->GetSelectionType() == eSelectionType_Polygon)
        return;
    selection->Expand();
    const int polygonCount = mesh->GetPCount();
    const int known = selection->GetVCount();
    const float* vertexWeights = selection->GetPointerToExpandedArray();
    std::vector<float> result(size_t(std::max(polygonCount, 0)), 0.0f);
    for (int p = 0; p < polygonCount; ++p) {
        const int corners = mesh->vGetPolyN(p);
        if (corners <= 0)
            continue;
        float lowest = 0.0f;
        for (int c = 0; c < corners; ++c) {
            const int v = mesh->vGetPolyV(p, c);
            const float w = (v >= 0 && v < known) ? vertexWeights[v] : 0.0f;
            lowest = c == 0 ? w : std::min(lowest, w);
        }
        result[size_t(p)] = lowest;
    }
    selection->SetSelectionType(eSelectionType_Polygon);
    selection->SetVCount(polygonCount);
    if (float* out = selection->GetPointerToExpandedArray())
        std::copy(result.begin(), result.end(), out);
}
