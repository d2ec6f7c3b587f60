#include "QORLookupTable.h"

#include "QORMemory.h"

#include <algorithm>
#include <cassert>

namespace {

// Resizes only when the length changes, and then to exactly that length, so
// that a table rebuilt at the same size keeps its buffers and one rebuilt at
// another size does not keep a larger block than it needs.
template <class T, class A>
void ResizeExactly(std::vector<T, A>& buffer, size_t length)
{
    if (buffer.size() == length) return;
    std::vector<T, A>(length).swap(buffer);
}

} // namespace

void TQORLookupTable::PrepareFirstPass(int rows)
{
    assert(rows >= 0 && "PrepareFirstPass needs a row count of 0 or more");
    if (rows < 0) rows = 0;
    rowCount = rows;
    finalized = false;
    laidOut = false;
    ResizeExactly(histogram, size_t(rows));
    std::fill(histogram.begin(), histogram.end(), 0);
}

void TQORLookupTable::CountItemOutOfRange()
{
    assert(false && "CountItem row out of range; call PrepareFirstPass first");
}

void TQORLookupTable::PrepareSecondPass()
{
    assert(int(histogram.size()) == rowCount && "PrepareSecondPass needs the counts of PrepareFirstPass");
    if (int(histogram.size()) != rowCount) return;

    size_t length = 0;
    for (int count : histogram) length += size_t(count) + 1;
    storageLength = int(length);

    ResizeExactly(rowPointers, size_t(rowCount));
    ResizeExactly(storage, length);

    int* place = storage.data();
    for (int row = 0; row < rowCount; ++row) {
        rowPointers[size_t(row)] = place;
        place[0] = 0;
        place += histogram[size_t(row)] + 1;
    }
    laidOut = true;
}

void TQORLookupTable::PrepareRows(int rows, int entries)
{
    assert(rows >= 0 && entries >= 0 && "PrepareRows needs counts of 0 or more");
    if (rows < 0) rows = 0;
    if (entries < 0) entries = 0;
    rowCount = rows;
    finalized = false;
    std::vector<int>().swap(histogram);
    storageLength = rows + entries;
    ResizeExactly(rowPointers, size_t(rows));
    ResizeExactly(storage, size_t(storageLength));
    laidOut = true;
}

int TQORLookupTable::RowCapacity(int row) const
{
    const int* start = rowPointers[size_t(row)];
    const int* end = row + 1 < rowCount ? rowPointers[size_t(row) + 1] : storage.data() + storageLength;
    return int(end - start) - 1;
}

void TQORLookupTable::AddItem(int row, int value)
{
    assert(laidOut && row >= 0 && row < rowCount && "AddItem row out of range; call PrepareSecondPass first");
    if (!laidOut || row < 0 || row >= rowCount) return;

    int* entries = rowPointers[size_t(row)];
    const int capacity = RowCapacity(row);
    const int newCount = entries[0] + 1;
    if (newCount > capacity)
        QORThrowException("(Table[i][0] > Histogram[i]) %d, %d, i = %d of %d, value = %d", newCount, capacity, row,
                          rowCount, value);
    entries[newCount] = value;
    entries[0] = newCount;
}

void TQORLookupTable::Finalize()
{
    std::vector<int>().swap(histogram);
    finalized = true;
}

void TQORLookupTable::Clean()
{
    std::vector<int>().swap(histogram);
    decltype(storage)().swap(storage);
    decltype(rowPointers)().swap(rowPointers);
    rowCount = 0;
    storageLength = 0;
    finalized = false;
    laidOut = false;
}
