#include "QORLookupTable.h"

#include "OS.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Answers every box at once and remembers the texts, so that the error box of
// QORThrowException neither blocks nor goes unseen.
struct TRecordingDialogs : TBoxRecorder {
    TRecordingDialogs() : TBoxRecorder(TOSBoxAnswer::Ok) {}
};

class QORLookupTableTest : public ::testing::Test {
protected:
    void SetUp() override { OS.SetDialogProvider(&dialogs); }
    void TearDown() override { OS.SetDialogProvider(nullptr); }

    // Builds rows from a list of (row, value) pairs with the two-pass protocol.
    static void Build(TQORLookupTable& table, int rows, const std::vector<std::pair<int, int>>& items)
    {
        table.PrepareFirstPass(rows);
        for (const auto& item : items) table.CountItem(item.first);
        table.PrepareSecondPass();
        for (const auto& item : items) table.AddItem(item.first, item.second);
    }

    static std::vector<int> Row(const TQORLookupTable& table, int row)
    {
        const int* r = table[row];
        return std::vector<int>(r + 1, r + 1 + r[0]);
    }

    TRecordingDialogs dialogs;
};

TEST_F(QORLookupTableTest, RowsHoldTheirEntriesInOrderWithoutGaps)
{
    TQORLookupTable table;
    Build(table, 3, {{0, 10}, {2, 30}, {0, 11}});
    EXPECT_EQ(table.GetRowCount(), 3);
    EXPECT_EQ(table.GetStorageLength(), 6);
    EXPECT_EQ(Row(table, 0), (std::vector<int>{10, 11}));
    EXPECT_EQ(table[1][0], 0);
    EXPECT_EQ(Row(table, 2), (std::vector<int>{30}));
    // One contiguous block: each row starts right after the previous one.
    EXPECT_EQ(table[1], table[0] + 3);
    EXPECT_EQ(table[2], table[1] + 1);

    table.Finalize();
    EXPECT_TRUE(table.IsFinalized());
    EXPECT_EQ(table.GetHistogramCapacity(), 0);
    EXPECT_EQ(Row(table, 0), (std::vector<int>{10, 11}));
}

TEST_F(QORLookupTableTest, OverflowingARowRaisesAndStoresNothing)
{
    TQORLookupTable table;
    Build(table, 3, {{0, 1}, {0, 2}, {2, 5}});
    try {
        table.AddItem(2, 7);
        FAIL() << "expected the overflow error";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "(Table[i][0] > Histogram[i]) 2, 1, i = 2 of 3, value = 7");
    }
    ASSERT_EQ(dialogs.Boxes.size(), 1u);
    EXPECT_EQ(dialogs.Boxes[0], "(Table[i][0] > Histogram[i]) 2, 1, i = 2 of 3, value = 7");
    EXPECT_EQ(Row(table, 2), (std::vector<int>{5}));
    EXPECT_EQ(table[1][0], 0) << "the next row is untouched";

    // A row counted empty overflows at once, also after Finalize.
    table.Finalize();
    EXPECT_THROW(table.AddItem(1, 9), std::logic_error);
    EXPECT_EQ(table[1][0], 0);
    EXPECT_EQ(Row(table, 2), (std::vector<int>{5}));
}

TEST_F(QORLookupTableTest, RebuildingReusesOrReplacesBuffers)
{
    TQORLookupTable table;
    Build(table, 2, {{0, 1}, {1, 2}});
    const int* firstStorage = table[0];

    // Same shape: same storage, counts reset by the second pass.
    Build(table, 2, {{1, 4}, {0, 3}});
    EXPECT_EQ(table[0], firstStorage);
    EXPECT_EQ(Row(table, 0), (std::vector<int>{3}));
    EXPECT_EQ(Row(table, 1), (std::vector<int>{4}));

    // Another row count: the histogram follows the new length.
    table.PrepareFirstPass(5);
    EXPECT_EQ(table.GetHistogramCapacity(), 5);
    table.CountItem(4);
    table.PrepareSecondPass();
    table.AddItem(4, 8);
    EXPECT_EQ(table.GetStorageLength(), 6);
    EXPECT_EQ(Row(table, 4), (std::vector<int>{8}));

    table.Clean();
    EXPECT_EQ(table.GetRowCount(), 0);
    EXPECT_EQ(table.GetStorageLength(), 0);
    EXPECT_EQ(table.GetHistogramCapacity(), 0);
    // A cleaned table builds again from scratch.
    Build(table, 1, {});
    EXPECT_EQ(table.GetStorageLength(), 1);
    EXPECT_EQ(table[0][0], 0);
}

} // namespace
