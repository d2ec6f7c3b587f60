// Polygon records and their corner pools.
//
// Each pool carves fixed slots out of large blocks and keeps a stack of free
// slot numbers per block; a returned array is found in its block through an
// address-ordered map. Arrays above 999 corners come from the general heap.
#include "QORPolyMesh.h"

#include "OS.h"

#include <cstring>

// ---------------------------------------------------------------------------
// [SECTION] Pools
// ---------------------------------------------------------------------------

TQORQuickMemoryAllocator* PolyPointAllocator[QOR_POLYPOINT_POOLS];

namespace {

// Triangles and quads, nearly every polygon of a model, share big blocks;
// odd counts get small ones so that a few of them cost little.
int BlockCapacityForCorners(int corners)
{
    if (corners <= 2) return 10;
    if (corners <= 4) return 10000;
    if (corners <= 8) return 1000;
    return 10;
}

struct TPolyPointAllocatorSetup {
    TPolyPointAllocatorSetup()
    {
        for (int n = 0; n < QOR_POLYPOINT_POOLS; ++n)
            PolyPointAllocator[n] =
                new TQORQuickMemoryAllocator(BlockCapacityForCorners(n), n * int(sizeof(TQORPolygonPoint)));
    }
};
// The pools live until the process ends: records may be discarded from other
// static destructors, so the pools themselves are never destroyed.
const TPolyPointAllocatorSetup PolyPointAllocatorSetup;

}  // namespace

TQORQuickMemoryList::TQORQuickMemoryList(int capacity, int itemSize) : Capacity(capacity), ItemSize(itemSize)
{
    Memory = static_cast<uint8_t*>(QORalloc(uint64_t(capacity) * uint64_t(itemSize)));
    FreeSlots = static_cast<int32_t*>(QORalloc(uint64_t(capacity) * sizeof(int32_t)));
    // Bottom to top Capacity − 1 … 0, so slots go out in the order 0, 1, 2 …
    for (int i = 0; i < capacity; ++i) FreeSlots[i] = capacity - 1 - i;
    FreeCount = capacity;
}

TQORQuickMemoryList::~TQORQuickMemoryList()
{
    QORfree(Memory);
    QORfree(FreeSlots);
}

TQORQuickMemoryAllocator::TQORQuickMemoryAllocator(int blockCapacity, int itemSize)
    : BlockCapacity(blockCapacity), ItemSize(itemSize)
{
}

TQORQuickMemoryAllocator::~TQORQuickMemoryAllocator()
{
    for (auto& entry : Blocks) delete entry.second;
}

void TQORQuickMemoryAllocator::ChooseCurrent()
{
    // Most free slots wins; the lowest address keeps a tie.
    Current = nullptr;
    for (auto& entry : Blocks)
        if (!Current || entry.second->FreeCount > Current->FreeCount) Current = entry.second;
}

void* TQORQuickMemoryAllocator::Take()
{
    if (!Current || Current->FreeCount == 0) {
        auto* block = new TQORQuickMemoryList(BlockCapacity, ItemSize);
        Blocks.emplace(TQORQuickMemoryList_Key{block->Memory, uint64_t(ItemSize) * uint64_t(BlockCapacity)}, block);
        Current = block;
    }
    const int slot = Current->FreeSlots[--Current->FreeCount];
    void* item = Current->Memory + size_t(slot) * size_t(ItemSize);
    if (Current->FreeCount == 0) ChooseCurrent();
    return item;
}

bool TQORQuickMemoryAllocator::Give(void* item)
{
    if (!item || ItemSize <= 0) return false;
    auto it = Blocks.find(TQORQuickMemoryList_Key{static_cast<const uint8_t*>(item), 0});
    if (it == Blocks.end()) return false;
    TQORQuickMemoryList* block = it->second;
    const int64_t offset = static_cast<const uint8_t*>(item) - block->Memory;
    const int64_t slot = offset / block->ItemSize;
    // A full stack means every slot is already free: a second return of one
    // array must not push past the stack's end.
    if (slot < 0 || slot >= block->Capacity || block->FreeCount >= block->Capacity) return false;
    block->FreeSlots[block->FreeCount++] = int32_t(slot);
    return true;
}

void TQORQuickMemoryAllocator::Optimize()
{
    for (auto it = Blocks.begin(); it != Blocks.end();) {
        if (it->second->FreeCount == it->second->Capacity) {
            delete it->second;
            it = Blocks.erase(it);
        } else {
            ++it;
        }
    }
    ChooseCurrent();
}

void OptimizePolygonMemory()
{
    for (int n = 0; n < QOR_POLYPOINT_POOLS; ++n) PolyPointAllocator[n]->Optimize();
}

void PolygonAllocator_Maintenance()
{
}

// ---------------------------------------------------------------------------
// [SECTION] Polygon records
// ---------------------------------------------------------------------------

void TQORPolygon::Init()
{
    Material = -1;
    Group = -1;
    Count = 0;
    Points = nullptr;
    Select = 0.0f;
    LayerFlags = 0;
    PointsCapacity = 0;
}

void TQORPolygon::CopyExceptPoints(const TQORPolygon* src)
{
    Material = src->Material;
    Group = src->Group;
    Select = src->Select;
    LayerFlags = src->LayerFlags;
}

void TQORPolygon::Copy(const TQORPolygon* src)
{
    if (src == this) return;
    CopyExceptPoints(src);
    const int n = src->Count > 0 ? src->Count : 0;
    SetCount(unsigned(n));
    if (n > 0 && src->Points && Points) std::memcpy(Points, src->Points, size_t(n) * sizeof(TQORPolygonPoint));
}

void TQORPolygon::DestroyPoints()
{
    if (!Points) return;
    // Records that never learnt where their array came from go by their count.
    const int from = PointsCapacity > 0 ? PointsCapacity : Count;
    if (from > QOR_POLYPOINT_POOLS - 1) {
        QORfree(Points);
    } else if (from <= 0 || !PolyPointAllocator[from]->Give(Points)) {
        return;   // not one of ours: leave it where it is
    }
    Points = nullptr;
    PointsCapacity = 0;
    // A count without corners behind it would send readers to a null array.
    Count = 0;
}

bool TQORPolygon::SetCount(unsigned count)
{
    DestroyPoints();
    if (count > unsigned(QOR_POLYGON_MAX_CORNERS)) {
        Points = nullptr;
        PointsCapacity = 0;
        Count = 0;
        OS.WarningMessage("A polygon with %u corners was left out: a polygon can have at most %d corners.", count,
                          QOR_POLYGON_MAX_CORNERS);
        return false;
    }
    Count = int16_t(count);
    Points = nullptr;
    PointsCapacity = 0;
    if (count == 0) return true;
    if (count < unsigned(QOR_POLYPOINT_POOLS))
        Points = static_cast<TQORPolygonPoint*>(PolyPointAllocator[count]->Take());
    else
        Points = static_cast<TQORPolygonPoint*>(QORalloc(uint64_t(count) * sizeof(TQORPolygonPoint)));
    PointsCapacity = int16_t(count);
    for (unsigned k = 0; k < count; ++k) Points[k] = TQORPolygonPoint{};
    return true;
}

int TQORPolygon::GetTotalBinarySize(bool /*withLayerFlags*/) const
{
    return 10 + 8 * (Count > 0 ? Count : 0);
}
