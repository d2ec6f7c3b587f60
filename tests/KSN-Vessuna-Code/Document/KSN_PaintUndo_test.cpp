// Paint-stroke undo through sparse blocks, and the whole-map records.
#include "KSN_UndoTestSupport.h"

#include <string>
#include <vector>

namespace ksn_undo_test {
namespace {

class PaintUndoTest : public UndoFixture {
protected:
    static std::vector<unsigned char> Bytes(const unsigned char* data, size_t count)
    {
        return data ? std::vector<unsigned char>(data, data + count) : std::vector<unsigned char>();
    }
    static std::vector<unsigned char> Colour(TQORMaterialMapSource* map)
    {
        return Bytes(map->GetPixels(), size_t(map->GetWidth()) * size_t(map->GetHeight()) * 3);
    }
    static std::vector<unsigned char> Alpha(TQORMaterialMapSource* map)
    {
        return Bytes(map->GetAlphaMaskPixels(), map->GetAlphaMask().GetPixelBytes());
    }
    // Paints the rectangle: colour bytes and, with a mask, alpha bytes.
    static void Paint(TQORMaterialMapSource* map, int x0, int y0, int width, int height, unsigned char value)
    {
        unsigned char* pixels = map->GetPixels();
        unsigned char* alpha = map->GetAlphaMaskPixels();
        for (int y = y0; y < y0 + height; ++y)
            for (int x = x0; x < x0 + width; ++x) {
                const size_t at = size_t(y) * size_t(map->GetWidth()) + size_t(x);
                for (int c = 0; c < 3; ++c) pixels[3 * at + size_t(c)] = (unsigned char)(value + c);
                if (alpha) alpha[at] = (unsigned char)(value / 2);
            }
    }
    // A stroke of two overlapping blocks, recorded as the brushes do.
    static void Stroke(TQORMaterialMapSource* map)
    {
        Project->BeforePaint("Paint");
        TKSN_Undo_Node_Paint_Map* record = Project->GetCurrentPaintUndoNode()->GetMapNode(map, true);
        record->AddBlockFromMap(map, 10, 10, 20, 20);
        record->AddBlockFromMap(map, 20, 20, 30, 30);
        Paint(map, 10, 10, 20, 20, 200);
        Paint(map, 20, 20, 30, 30, 40);
        Project->AfterPaint();
    }
};

TEST_F(PaintUndoTest, UndoAndRedoSwapColourAndAlphaOfOverlappingBlocks)
{
    TQORMaterialMapSource* map = MakeMap("Skin.png", 64, 64, true);
    for (size_t i = 0; i < map->GetAlphaMask().GetPixelBytes(); ++i)
        map->GetAlphaMaskPixels()[i] = (unsigned char)(i % 251);
    const std::vector<unsigned char> colourBefore = Colour(map), alphaBefore = Alpha(map);
    Stroke(map);
    const std::vector<unsigned char> colourAfter = Colour(map), alphaAfter = Alpha(map);
    ASSERT_NE(colourAfter, colourBefore);
    ASSERT_NE(alphaAfter, alphaBefore);
    // The idle pass parks every block's images; the swap fetches them back.
    Project->OptimizeUndoNodes(10.0f);
    EXPECT_TRUE(Project->UndoList->Optimized);
    EXPECT_EQ(Project->GetCurrentPaintUndoNode()->GetApproximateSize(), uint64_t(20 * 20 + 30 * 30) * 4u);

    NextFrame();
    Project->Undo();
    EXPECT_EQ(Colour(map), colourBefore);
    EXPECT_EQ(Alpha(map), alphaBefore);
    EXPECT_EQ(CountMessages("print Undoing... Paint"), 1);
    NextFrame();
    Project->Redo();
    EXPECT_EQ(Colour(map), colourAfter);
    EXPECT_EQ(Alpha(map), alphaAfter);
    NextFrame();
    Project->Undo();
    EXPECT_EQ(Colour(map), colourBefore);
}

TEST_F(PaintUndoTest, StrokeWithoutMaskLeavesALaterMaskAlone)
{
    TQORMaterialMapSource* map = MakeMap("Skin.png", 64, 64, false);
    const std::vector<unsigned char> colourBefore = Colour(map);
    Stroke(map);
    map->GetAlphaMask().SetDimensions(64, 64, 1);
    map->GetAlphaMask().ClearToValue(77);
    const std::vector<unsigned char> alphaLater = Alpha(map);
    NextFrame();
    Project->Undo();
    EXPECT_EQ(Colour(map), colourBefore);
    EXPECT_EQ(Alpha(map), alphaLater);
}

TEST_F(PaintUndoTest, BlocksOutsideASmallerPictureAreNeverWritten)
{
    TQORMaterialMapSource* map = MakeMap("Skin.png", 64, 64, true);
    const std::vector<unsigned char> colourBefore = Colour(map);
    Stroke(map);
    // A new 32 x 32 picture, without undo: the blocks reach past it.
    ASSERT_TRUE(Project->ReplaceMap(map, WritePng("Small.png", 32, 32, false).c_str()));
    ASSERT_EQ(map->GetWidth(), 32);
    std::vector<unsigned char> expected = Colour(map);
    // Only the part of the second block (then the first, which wins) inside 32 x 32 comes back.
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool first = x >= 10 && x < 30 && y >= 10 && y < 30;
            const bool second = x >= 20 && y >= 20;
            if (!first && !second) continue;
            for (int c = 0; c < 3; ++c)
                expected[size_t((y * 32 + x) * 3 + c)] = colourBefore[size_t((y * 64 + x) * 3 + c)];
        }
    NextFrame();
    Project->Undo();
    EXPECT_EQ(Colour(map), expected);
    // Redo holds what was replaced: the clipped rectangles only.
    auto* paint = dynamic_cast<TKSN_Undo_Node_Paint*>(Project->RedoList->Payload);
    ASSERT_NE(paint, nullptr);
    ASSERT_EQ(paint->Maps.Count(), 1);
    ASSERT_EQ(paint->Maps[0]->Blocks.Count(), 2);
    EXPECT_EQ(paint->Maps[0]->Blocks[0]->Color.GetWidth(), 20);
    EXPECT_EQ(paint->Maps[0]->Blocks[1]->Color.GetWidth(), 12);
    NextFrame();
    Project->Redo();
    EXPECT_EQ(map->GetWidth(), 32);
}

TEST_F(PaintUndoTest, NewestPaintPayloadAndMapRecords)
{
    MakeObject("Head");
    TQORMaterialMapSource* map = MakeMap("Skin.png", 16, 16, false);
    EXPECT_EQ(Project->GetCurrentPaintUndoNode(), nullptr);
    Project->BeforePaint("Paint");
    TKSN_Undo_Node_Paint* paint = Project->GetCurrentPaintUndoNode();
    ASSERT_NE(paint, nullptr);
    EXPECT_EQ(paint->GetMapNode(map, false), nullptr);
    EXPECT_EQ(paint->Maps.Count(), 0);
    TKSN_Undo_Node_Paint_Map* record = paint->GetMapNode(map, true);
    EXPECT_EQ(paint->GetMapNode(map, false), record);
    EXPECT_EQ(record->MapSourceID, map->GetID());
    NextFrame();
    Project->BeforeSelect("Select");
    // An older paint step does not count.
    EXPECT_EQ(Project->GetCurrentPaintUndoNode(), nullptr);
}

TEST_F(PaintUndoTest, MapEditKeepsOrEmptiesRedoAsAsked)
{
    TQORMaterialMapSource* map = MakeMap("Skin.png", 16, 16, false);
    MakeObject("Head");
    Project->BeforeSelect("Select");
    NextFrame();
    Project->Undo();
    ASSERT_NE(Project->RedoList, nullptr);
    Project->SetupUndoForMapEdit(map, true);
    EXPECT_NE(Project->RedoList, nullptr);
    Project->SetupUndoForMapEdit(map, false);
    EXPECT_EQ(Project->RedoList, nullptr);
    EXPECT_EQ(CountNodes(Project->UndoList), 2);

    // Parked copies survive the idle pass and come back on undo.
    map->ClearToValue(1);
    Project->OptimizeUndoNodes(10.0f);
    auto* copy = dynamic_cast<TQORMaterialMapSource*>(Project->UndoList->GetLast()->Payload);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->ArePixelsInVirtualMemory());
    NextFrame();
    Project->Undo();
    EXPECT_EQ(map->GetPixels()[0], 100);
    EXPECT_EQ(CountMessages("print Undoing map edit"), 1);
}

TEST_F(PaintUndoTest, AStoreFailureEndsTheUndoWithTheRestOfTheStepInPlace)
{
    TKSN_Object* object = MakeObject("Head");
    Project->SetupCurrentUndo(object, KSN_UNDO_SELECTION, 0, "Select", false);
    TKSN_Undo_Node* layers = Project->SetupCurrentUndo(object, KSN_UNDO_LAYER_ASSIGNMENTS, 0, "Layers", false);
    auto* values = dynamic_cast<TKSN_LayerUndoNode*>(layers->Payload);
    ASSERT_NE(values, nullptr);
    values->PushDataToVirtualMemory();
    ASSERT_NE(values->VirtualMemoryHandle, 0u);
    // The block goes missing from the store: fetching it back throws. The
    // deleted block's ID cannot stand for the lost block: the store hands it
    // to the next push that reuses the freed slot, and the undo's own inverse
    // record is such a push whenever the writer wrote the block first. So the
    // record is left with an ID the store never issued.
    QORVirtualMemory_Delete(values->VirtualMemoryHandle);
    constexpr unsigned int kLostHandle = 0x7FFFFFFF;
    values->VirtualMemoryHandle = kLostHandle;

    NextFrame();
    Project->Undo();
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back(),
              "warning Cannot find the virtual memory item with ID = " + std::to_string(kLostHandle));
    ASSERT_EQ(CountNodes(Project->UndoList), 1);
    EXPECT_EQ(Project->UndoList->Kind, KSN_UNDO_SELECTION);
    EXPECT_EQ(Project->UndoList->Prev, nullptr);
    EXPECT_EQ(Project->UndoList->Next, nullptr);
    // The rest of the step is undone by the next call; the store works on.
    Project->Undo();
    EXPECT_EQ(Project->UndoList, nullptr);
    Project->BeforeSelect("Again");
    Project->OptimizeUndoNodes(10.0f);
    Project->OptimizeUndoNodes(10.0f);
    NextFrame();
    Project->Undo();
    EXPECT_EQ(Project->UndoList, nullptr);
}

} // namespace
} // namespace ksn_undo_test
