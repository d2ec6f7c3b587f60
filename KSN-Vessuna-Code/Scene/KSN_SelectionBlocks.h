// Splitting the selection refresh of a large mesh over the worker pool.
//
// Every job here writes only the items of its own block (and its own slot of
// a per-block result array), so the outcome does not depend on how the blocks
// are scheduled. Small meshes, a busy pool and calls from inside a pool job
// run the whole range on the calling thread instead of waiting.
#pragma once

#include "QORThreads.h"

#include <cstddef>
#include <cstdint>

class TQORPolyMesh;

namespace ksn_selection_blocks {

// Below this many items the pool costs more than it saves.
constexpr size_t kParallelMinimum = 32768;
// Items per block: small enough for an even spread, large enough that the
// hand-out counter is not touched often.
constexpr size_t kBlockSize = 8192;

// The number of blocks ForBlocks splits count items into.
inline size_t BlockCount(size_t count) { return count == 0 ? 0 : (count + kBlockSize - 1) / kBlockSize; }

// Calls body(block, first, end) for every block of blockSize items of
// 0..count (the last one shorter); on the pool when parallel is set and the
// pool is free, else in block order on the calling thread. The blocks go to
// the slots free at the call and the caller: these passes last a millisecond
// or two, less than a busy machine may take to give a waiting slot thread a
// processor, so the call does not wait for a slot that has not begun.
template <class TBody>
void ForBlocksOf(size_t count, size_t blockSize, bool parallel, TBody&& body)
{
    if (count == 0) return;
    struct TJob {
        TBody& Body;
        size_t BlockSize;
    } job{body, blockSize < 1 ? 1 : blockSize};
    auto run = [](size_t first, size_t end, void* user) {
        TJob& j = *static_cast<TJob*>(user);
        for (size_t b = first / j.BlockSize; b * j.BlockSize < end; ++b) {
            const size_t from = b * j.BlockSize;
            const size_t to = from + j.BlockSize < end ? from + j.BlockSize : end;
            j.Body(b, from, to);
        }
    };
    if (parallel && count > job.BlockSize) {
        if (!ThreadCruncher) ThreadCruncher_Initialize();
        if (ThreadCruncher && ThreadCruncher->GetSlotCount() > 1 && !ThreadCruncher->IsPoolThread()) {
            TThreadCruncher_Releaser releaser;
            if (ThreadCruncher->TryStartUsing(releaser)) {
                ThreadCruncher->ProcessBlocksOnFreeSlots(count, job.BlockSize, run, &job);
                return;
            }
        }
    }
    run(0, count, &job);
}

// ForBlocksOf with blocks of kBlockSize items, on the pool from kParallelMinimum items.
template <class TBody>
void ForBlocks(size_t count, TBody&& body)
{
    ForBlocksOf(count, kBlockSize, count >= kParallelMinimum, body);
}

// Corner marks of a polygon, as the selected lists read them.
constexpr uint8_t kCornerStrong = 1;    // a corner weighs more than the strong threshold
constexpr uint8_t kCornerSelected = 2;  // a corner carries weight, or the polygon has no corners
constexpr float kCornerStrongWeight = 0.0499f;   // above it a corner is strong
constexpr float kCornerSelectedWeight = 1e-30f;  // at or above it a corner carries weight

// Gives every polygon the smallest weight of its usable corners (the vertex to
// polygon conversion). With marks, also clears clearFlags in every polygon's
// flags and fills marks[p] for every polygon, locked and hidden ones too,
// reading each corner's weight through sourceMap when given: the same walk
// serves the selected lists, so the polygons are read once.
// With weighted, also sets weighted[p] to whether polygon p's new weight is
// above 1e-30 (the octree's selected rule), so that the leaves can be marked
// from one byte per polygon instead of the polygon records.
// With uniformWeight (only without marks), the caller vouches that every
// vertex weighs *uniformWeight and none is hidden or locked: a polygon then
// takes that weight as soon as one corner names a vertex, and the vertex
// records are not read (the weld map, which would need them, ignores it).
void ConvertVerticesToPolygons(TQORPolyMesh& mesh, uint8_t* marks, const int32_t* sourceMap, uint32_t clearFlags,
                               uint8_t* weighted = nullptr, const float* uniformWeight = nullptr);

}  // namespace ksn_selection_blocks
