// The affected-vertex and affected-polygon lists: process-wide scratch lists
// shared by every tool that works on the vertices under a brush.
//
// A tool step prepares the lists for the mesh root it is about to work on
// (sizing and emptying them), fills them on the main thread or from workers
// of the pool, consumes them and leaves them as they are. Memory is given
// back only by CleanAffectedLists (the application's temporary-memory clean).
//
// Invariants every user keeps:
// - Indices refer to the mesh root the lists were last prepared for (after
//   the two-argument preparation: to any level of that mesh).
// - A filler adds each vertex and polygon at most once per fill, so the
//   capacity is never exceeded; appends carry no bounds check. Fillers that
//   could meet an element twice mark it in change-flag channel 1 of the root.
// - Entries past the count hold stale data of earlier fills.
//
// Threads: only one tool operation uses the lists at a time, and it joins its
// workers before going on. Preparing or cleaning while workers run is not
// allowed. Workers append through a private batch (TKSN_AffectedVertexBatch,
// TKSN_AffectedPolygonBatch) flushed under ThreadCruncherSharedMutex, the one
// lock that also guards the workers' other shared sums of the same step.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

class TKSN_MeshRoot;
class TKSN_Mesh;

// 8 bytes: vertex index, then weight (brush factor 0..1 or selection value).
struct TKSN_AffectedVertex {
    int32_t Vertex;
    float Weight;
};
static_assert(sizeof(TKSN_AffectedVertex) == 8, "affected-vertex entries are 8 bytes");

extern TKSN_AffectedVertex* gAffectedVertices;   // QORalloc'd; entries in fill order
extern int32_t gAffectedVertexCount;
extern int32_t gAffectedVertexCapacity;
extern int32_t* gAffectedPolygons;               // QORalloc'd; polygon indices in fill order
extern int32_t gAffectedPolygonCount;
extern int32_t gAffectedPolygonCapacity;

// The worker pool's shared mutex: batch appends and other shared sums of one step.
extern std::mutex ThreadCruncherSharedMutex;

// Sizes both lists for the root's vertex and polygon counts (they only grow)
// and empties them.
void PrepareAffectedList(TKSN_MeshRoot* mesh);
// As above for the mesh; with includeSubDLevels every existing level up to
// the actual maximum raises the needs to its own counts.
void PrepareAffectedList(TKSN_Mesh* mesh, bool includeSubDLevels);
// Frees both arrays; counts and capacities become 0.
void CleanAffectedLists();

// Main-thread appends.
inline void AddAffectedVertex(int32_t vertex, float weight)
{
    gAffectedVertices[gAffectedVertexCount] = {vertex, weight};
    ++gAffectedVertexCount;
}
inline void AddAffectedPolygon(int32_t polygon)
{
    gAffectedPolygons[gAffectedPolygonCount] = polygon;
    ++gAffectedPolygonCount;
}

// A worker's private batch of entries. It flushes to the end of the global
// list under ThreadCruncherSharedMutex when it holds its batch size (1500 to
// 1999, drawn once per batch so that workers rarely queue at the same
// moment), and flushes the rest when Flush is called or it is destroyed.
// The order of entries between batches is undefined.
template <class Entry>
class TKSN_AffectedBatch {
public:
    TKSN_AffectedBatch();
    ~TKSN_AffectedBatch() { Flush(); }
    TKSN_AffectedBatch(const TKSN_AffectedBatch&) = delete;
    TKSN_AffectedBatch& operator=(const TKSN_AffectedBatch&) = delete;

    void Add(const Entry& entry)
    {
        Items.push_back(entry);
        if (int(Items.size()) >= BatchSize) Flush();
    }
    void Flush();
    int GetBatchSize() const { return BatchSize; }

private:
    std::vector<Entry> Items;
    int BatchSize;
};
using TKSN_AffectedVertexBatch = TKSN_AffectedBatch<TKSN_AffectedVertex>;
using TKSN_AffectedPolygonBatch = TKSN_AffectedBatch<int32_t>;

// A contiguous range [First, End) of a list for one worker.
struct TKSN_AffectedRange {
    int First = 0;
    int End = 0;
};
// Cuts count entries into ranges, one per processor, or one range when a
// range would hold fewer than 100 entries; the last range ends at count.
std::vector<TKSN_AffectedRange> GetAffectedListRanges(int count);
