// Paint-stroke undo through sparse blocks, and the whole-map records.
//
// A stroke keeps, per map it touched, the rectangles it covered as they were
// before (the blocks). Undoing swaps them with the map's present pixels; the
// swapped-out pixels become the redo step. Each block's images are parked in
// the virtual-memory store as soon as they are filled and fetched back only
// while they are copied.
#include "KSN_Project.h"

#include "KSN_Undo.h"
#include "QORMaterialMapSource.h"

#include <algorithm>
#include <cstring>

// [SECTION] Payload

TKSN_Undo_Node_Paint_Map::~TKSN_Undo_Node_Paint_Map()
{
    for (TKSN_Undo_Node_Paint_SparceBlock* block : Blocks) delete block;
}

namespace {

// The part of a rectangle that lies inside a width x height map: first
// column and row, columns and rows; empty when nothing does.
struct TClip {
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool Empty() const { return Width <= 0 || Height <= 0; }
};

TClip ClipToMap(int x, int y, int width, int height, int mapWidth, int mapHeight)
{
    TClip clip;
    clip.X = std::max(x, 0);
    clip.Y = std::max(y, 0);
    clip.Width = std::min(x + width, mapWidth) - clip.X;
    clip.Height = std::min(y + height, mapHeight) - clip.Y;
    return clip;
}

// Copies the rectangle's rows from the map into a block image of the
// rectangle's size (bytes per pixel of both).
void ReadRows(unsigned char* image, const unsigned char* map, int mapWidth, int x, int y, int width, int height,
              int bytes)
{
    const size_t rowBytes = size_t(width) * size_t(bytes);
    for (int r = 0; r < height; ++r)
        std::memcpy(image + size_t(r) * rowBytes, map + (size_t(y + r) * size_t(mapWidth) + size_t(x)) * size_t(bytes),
                    rowBytes);
}

// Writes the rows of a block image (blockWidth wide) back into the map, only
// the part that lies inside the map.
void WriteRows(unsigned char* map, int mapWidth, int mapHeight, const unsigned char* image, int x, int y,
               int blockWidth, int blockHeight, int bytes)
{
    const TClip clip = ClipToMap(x, y, blockWidth, blockHeight, mapWidth, mapHeight);
    if (clip.Empty()) return;
    for (int r = 0; r < clip.Height; ++r) {
        const int row = clip.Y + r;
        const unsigned char* from =
            image + (size_t(row - y) * size_t(blockWidth) + size_t(clip.X - x)) * size_t(bytes);
        std::memcpy(map + (size_t(row) * size_t(mapWidth) + size_t(clip.X)) * size_t(bytes), from,
                    size_t(clip.Width) * size_t(bytes));
    }
}

// A new block holding the map's present pixels of the rectangle, which
// lies inside the map; both images parked.
TKSN_Undo_Node_Paint_SparceBlock* MakeBlock(TQORMaterialMapSource* map, unsigned char* pixels, unsigned char* alpha,
                                            int x, int y, int width, int height)
{
    auto* block = new TKSN_Undo_Node_Paint_SparceBlock;
    block->X = x;
    block->Y = y;
    block->Color.SetDimensions(width, height, 3);
    ReadRows(block->Color.GetPixels(), pixels, map->GetWidth(), x, y, width, height, 3);
    if (alpha) {
        block->Alpha.SetDimensions(width, height, 1);
        ReadRows(block->Alpha.GetPixels(), alpha, map->GetWidth(), x, y, width, height, 1);
    }
    block->Color.PushPixelsToVirtualMemory();
    block->Alpha.PushPixelsToVirtualMemory();
    return block;
}

} // namespace

TKSN_Undo_Node_Paint_SparceBlock* TKSN_Undo_Node_Paint_Map::AddBlockFromMap(TQORMaterialMapSource* map, int x, int y,
                                                                            int width, int height)
{
    if (!map) return nullptr;
    unsigned char* pixels = map->GetPixels();
    if (!pixels) return nullptr;
    const TClip clip = ClipToMap(x, y, width, height, map->GetWidth(), map->GetHeight());
    if (clip.Empty()) return nullptr;
    TKSN_Undo_Node_Paint_SparceBlock* block =
        MakeBlock(map, pixels, map->GetAlphaMaskPixels(), clip.X, clip.Y, clip.Width, clip.Height);
    Blocks.Add(block);
    return block;
}

TKSN_Undo_Node_Paint::~TKSN_Undo_Node_Paint()
{
    for (TKSN_Undo_Node_Paint_Map* record : Maps) delete record;
}

uint64_t TKSN_Undo_Node_Paint::GetApproximateSize()
{
    uint64_t total = 0;
    for (TKSN_Undo_Node_Paint_Map* record : Maps)
        for (TKSN_Undo_Node_Paint_SparceBlock* block : record->Blocks) {
            for (TQORImageMap* image : {&block->Color, &block->Alpha})
                total += uint64_t(image->GetWidth()) * uint64_t(image->GetHeight()) *
                         uint64_t(image->GetBytesPerPixel());
        }
    ApproximateSize = uint32_t(std::min<uint64_t>(total, UINT32_MAX));
    return total;
}

TKSN_Undo_Node_Paint_Map* TKSN_Undo_Node_Paint::GetMapNode(TQORMaterialMapSource* map, bool create)
{
    if (!map) return nullptr;
    for (TKSN_Undo_Node_Paint_Map* record : Maps)
        if (record->MapSourceID == map->GetID()) return record;
    if (!create) return nullptr;
    auto* record = new TKSN_Undo_Node_Paint_Map;
    record->MapSourceID = map->GetID();
    record->LayerDataID = map->GetCurrentLayerDataID();
    Maps.Add(record);
    return record;
}

// [SECTION] Swapping a stroke

namespace {

// The swap itself, under the map's lock so that no paint thread writes the
// map meanwhile; the notification follows once the lock is let go.
void SwapBlocks(TKSN_Undo_Node_Paint_Map* record, TQORMaterialMapSource* map, TKSN_Undo_Node_Paint_Map* counterpart)
{
    TQORImageMapLock lock(map->GetOwnerMutex());
    unsigned char* pixels = map->GetPixels();
    unsigned char* alpha = map->GetAlphaMaskPixels();
    const int mapWidth = map->GetWidth(), mapHeight = map->GetHeight();
    const int count = record->Blocks.Count();

    // Keep the present: every counterpart block is read before any block is
    // written, so all of them hold the map from before the swap.
    for (int i = count - 1; i >= 0; --i) {
        TKSN_Undo_Node_Paint_SparceBlock* block = record->Blocks[i];
        block->Color.PopPixelsFromVirtualMemory();
        block->Alpha.PopPixelsFromVirtualMemory();
        if (!pixels || !counterpart) continue;
        // A map that got a smaller picture since keeps only what still fits.
        const TClip clip =
            ClipToMap(block->X, block->Y, block->Color.GetWidth(), block->Color.GetHeight(), mapWidth, mapHeight);
        if (clip.Empty()) continue;
        counterpart->Blocks.Insert(0, MakeBlock(map, pixels, alpha, clip.X, clip.Y, clip.Width, clip.Height));
    }

    // Restore the past; the first block is written last and wins where
    // blocks overlap.
    for (int i = count - 1; i >= 0; --i) {
        TKSN_Undo_Node_Paint_SparceBlock* block = record->Blocks[i];
        const int width = block->Color.GetWidth(), height = block->Color.GetHeight();
        if (unsigned char* color = pixels ? block->Color.GetPixels() : nullptr)
            WriteRows(pixels, mapWidth, mapHeight, color, block->X, block->Y, width, height, 3);
        const bool alphaFits = block->Alpha.GetWidth() == width && block->Alpha.GetHeight() == height;
        if (unsigned char* values = alpha && alphaFits ? block->Alpha.GetPixels() : nullptr)
            WriteRows(alpha, mapWidth, mapHeight, values, block->X, block->Y, width, height, 1);
    }
}

} // namespace

void UndoRedoPaintStroke(TKSN_Undo_Node_Paint_Map* record, TQORMaterialMapSource* map,
                         TKSN_Undo_Node_Paint_Map* counterpart)
{
    if (!record || !map) return;
    SwapBlocks(record, map, counterpart);
    if (Project)
        Project->OnWholeMapChanged(map);
    else
        map->OnWholeMapChanged();
}

// [SECTION] Project records

TKSN_Undo_Node_Paint* TKSN_Project::GetCurrentPaintUndoNode()
{
    TKSN_Undo_Node* last = UndoList ? UndoList->GetLast() : nullptr;
    return last ? dynamic_cast<TKSN_Undo_Node_Paint*>(last->Payload) : nullptr;
}

namespace {

// A kind-1005 node holding a parked copy of the map and its mask; null when
// recording is off.
TKSN_Undo_Node* MakeMapEditNode(TKSN_Project* project, TQORMaterialMapSource* map)
{
    TKSN_Undo_Node* node = project->CreateUndoNode(nullptr, KSN_UNDO_MAP_EDIT, -1, 0);
    if (!node) return nullptr;
    auto* copy = new TQORMaterialMapSource;
    node->Payload = copy;
    copy->Copy(map);
    copy->PushPixelsToVirtualMemory();
    copy->GetAlphaMask().Copy(&map->GetAlphaMask());
    copy->GetAlphaMask().PushPixelsToVirtualMemory();
    return node;
}

} // namespace

void TKSN_Project::SetupUndoForMapEdit(TQORMaterialMapSource* map, bool keepRedo)
{
    if (!map) return;
    if (!keepRedo) EmptyRedoStack();
    AddUndoRedoNode(UndoList, MakeMapEditNode(this, map));
}

void TKSN_Project::SetupRedoForMapEdit(TQORMaterialMapSource* map)
{
    if (!map) return;
    AddUndoRedoNode(RedoList, MakeMapEditNode(this, map));
}

void TKSN_Project::SetupUndoForMapCreation(TQORMaterialMapSource* map, bool keepRedo)
{
    if (!map) return;
    if (!keepRedo) EmptyRedoStack();
    TKSN_Undo_Node* node = CreateUndoNode(nullptr, KSN_UNDO_MAP_CREATION, -1, 0);
    if (!node) return;
    node->MapID = map->GetID();
    AddUndoRedoNode(UndoList, node);
}
