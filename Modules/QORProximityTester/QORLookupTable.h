// TQORLookupTable: a jagged table of int rows built in two passes (a
// compressed sparse row layout), for relations such as the polygons around
// each vertex.
//
//   PrepareFirstPass(rows);   CountItem(row) once per entry to come
//   PrepareSecondPass();      AddItem(row, value) for the same multiset of rows
//   Finalize();               optional: drops the counts, rows stay readable
//
// Row layout: row i is one contiguous run of Histogram[i] + 1 ints in a single
// storage block; element 0 is the number of entries added so far, elements
// 1..count the entries in the order added. Rows follow each other without gaps.
// Buffers are kept and reused while the needed sizes stay the same.
//
// Builders that know every row's length themselves (and fill rows on several
// threads) skip the count pass: PrepareRows, then PlaceRow for every row.
#pragma once

#include "QORMemory.h"

#include <cstddef>
#include <vector>

class TQORLookupTable {
public:
    TQORLookupTable() = default;
    ~TQORLookupTable() = default;

    void PrepareFirstPass(int rows);
    // Inline: mesh builds count every polygon corner through it.
    void CountItem(int row)
    {
        if (row < 0 || row >= int(histogram.size())) {
            CountItemOutOfRange();
            return;
        }
        ++histogram[size_t(row)];
    }
    void PrepareSecondPass();
    // Raises "(Table[i][0] > Histogram[i]) ..." through QORThrowException when
    // the row already holds every entry counted for it; the value is not stored.
    void AddItem(int row, int value);
    void Finalize();
    void Clean();

    // Instead of the count pass and PrepareSecondPass: room for `entries`
    // entries over `rows` rows, none placed yet. Every row must then be placed
    // once with PlaceRow, each directly after the one before it: the first
    // entry of row r + 1 is the first entry of row r plus row r's length, the
    // last row ending at `entries`. Rows may be placed and filled on any
    // threads, each by one; the table is read only after all are placed.
    void PrepareRows(int rows, int entries);
    // Row `row` starts empty, its entries at firstEntry (counted over the
    // entries of the rows before it), its room up to the next row.
    void PlaceRow(int row, int firstEntry)
    {
        int* place = storage.data() + firstEntry + row;
        rowPointers[size_t(row)] = place;
        place[0] = 0;
    }

    // Row i: [0] is its entry count, [1..count] its entries. Valid after
    // PrepareSecondPass until the next PrepareFirstPass / PrepareSecondPass / Clean.
    int* operator[](int row) { return rowPointers[size_t(row)]; }
    const int* operator[](int row) const { return rowPointers[size_t(row)]; }
    int* GetRow(int row) { return rowPointers[size_t(row)]; }
    const int* GetRow(int row) const { return rowPointers[size_t(row)]; }

    int GetRowCount() const { return rowCount; }
    bool IsFinalized() const { return finalized; }
    // Sum over the rows of (count + 1), in ints.
    int GetStorageLength() const { return storageLength; }
    int GetHistogramCapacity() const { return int(histogram.size()); }

private:
    // Debug builds stop here; release builds ignore the entry.
    static void CountItemOutOfRange();
    // Room of a row in the storage, from its place in the layout, so that the
    // overflow check also holds after Finalize has dropped the counts.
    int RowCapacity(int row) const;

    std::vector<int> histogram;
    int rowCount = 0;
    bool finalized = false;
    bool laidOut = false;   // rows point into the storage of the current round
    // Laid out row by row before anything reads them, so never zeroed.
    std::vector<int, TQORUninitAllocator<int>> storage;
    int storageLength = 0;
    std::vector<int*, TQORUninitAllocator<int*>> rowPointers;
};
