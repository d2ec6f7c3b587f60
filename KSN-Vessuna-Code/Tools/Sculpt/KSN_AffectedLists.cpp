// The affected-vertex and affected-polygon lists (see KSN_AffectedLists.h).
#include "KSN_AffectedLists.h"

#include <algorithm>
#include <cstring>

#include "KSN_Mesh.h"
#include "KSN_MeshRoot.h"
#include "KSN_SubDMesh.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORThreads.h"

TKSN_AffectedVertex* gAffectedVertices = nullptr;
int32_t gAffectedVertexCount = 0;
int32_t gAffectedVertexCapacity = 0;
int32_t* gAffectedPolygons = nullptr;
int32_t gAffectedPolygonCount = 0;
int32_t gAffectedPolygonCapacity = 0;

std::mutex ThreadCruncherSharedMutex;

namespace {

// Grows one list to need entries; capacity never shrinks here.
template <class T>
void GrowList(T*& array, int32_t& capacity, int32_t need)
{
    if (need < 0) need = 0;
    if (capacity < need) {
        QORfree(array);
        capacity = need;
        array = static_cast<T*>(QORalloc(uint64_t(capacity) * sizeof(T)));
    } else if (!array) {
        capacity = need;
        // A block even for no entries, so that "prepared" always means "has an array".
        array = static_cast<T*>(QORalloc(std::max<uint64_t>(uint64_t(capacity) * sizeof(T), 1)));
    }
}

void PrepareFor(int32_t vertexNeed, int32_t polygonNeed)
{
    GrowList(gAffectedVertices, gAffectedVertexCapacity, vertexNeed);
    GrowList(gAffectedPolygons, gAffectedPolygonCapacity, polygonNeed);
    gAffectedVertexCount = 0;
    gAffectedPolygonCount = 0;
}

// Where a batch of each entry kind lands.
void AppendUnderLock(const TKSN_AffectedVertex* items, int n)
{
    std::memcpy(gAffectedVertices + gAffectedVertexCount, items, size_t(n) * sizeof(TKSN_AffectedVertex));
    gAffectedVertexCount += n;
}

void AppendUnderLock(const int32_t* items, int n)
{
    std::memcpy(gAffectedPolygons + gAffectedPolygonCount, items, size_t(n) * sizeof(int32_t));
    gAffectedPolygonCount += n;
}

} // namespace

void PrepareAffectedList(TKSN_MeshRoot* mesh)
{
    PrepareFor(mesh ? mesh->GetVCount() : 0, mesh ? mesh->GetPCount() : 0);
}

void PrepareAffectedList(TKSN_Mesh* mesh, bool includeSubDLevels)
{
    int32_t vertexNeed = mesh ? mesh->GetVCount() : 0;
    int32_t polygonNeed = mesh ? mesh->GetPCount() : 0;
    if (mesh && includeSubDLevels && mesh->GetAcutalMaxSubDLevel() >= 0) {
        for (int level = 0; level <= mesh->GetAcutalMaxSubDLevel(); ++level) {
            TKSN_MeshRoot* root = mesh->GetSubD(level);
            if (!root) continue;
            vertexNeed = std::max(vertexNeed, int32_t(root->GetVCount()));
            polygonNeed = std::max(polygonNeed, int32_t(root->GetPCount()));
        }
    }
    PrepareFor(vertexNeed, polygonNeed);
}

void CleanAffectedLists()
{
    QORfree(gAffectedVertices);
    QORfree(gAffectedPolygons);
    gAffectedVertices = nullptr;
    gAffectedPolygons = nullptr;
    gAffectedVertexCount = gAffectedVertexCapacity = 0;
    gAffectedPolygonCount = gAffectedPolygonCapacity = 0;
}

template <class Entry>
TKSN_AffectedBatch<Entry>::TKSN_AffectedBatch() : BatchSize(1500 + QORrandom(500))
{
    Items.reserve(size_t(BatchSize));
}

template <class Entry>
void TKSN_AffectedBatch<Entry>::Flush()
{
    if (Items.empty()) return;
    {
        std::scoped_lock lock(ThreadCruncherSharedMutex);
        AppendUnderLock(Items.data(), int(Items.size()));
    }
    Items.clear();
}

template class TKSN_AffectedBatch<TKSN_AffectedVertex>;
template class TKSN_AffectedBatch<int32_t>;

std::vector<TKSN_AffectedRange> GetAffectedListRanges(int count)
{
    std::vector<TKSN_AffectedRange> ranges;
    if (count <= 0) return ranges;
    int threads = 1, perThread = count;
    GetThreadCountForArrayCalculations(count, 100, &threads, &perThread);
    if (threads < 1 || perThread < 1) {
        threads = 1;
        perThread = count;
    }
    for (int i = 0; i < threads; ++i) {
        TKSN_AffectedRange r;
        r.First = i * perThread;
        r.End = (i == threads - 1) ? count : (i + 1) * perThread;
        ranges.push_back(r);
    }
    return ranges;
}
