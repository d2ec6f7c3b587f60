// Quicksort over an index range of caller data through two callbacks.
//
// The first element of each range is the pivot; elements that compare equal
// to it end up after it, and equal elements do not keep their order. Callers
// rely on the exact resulting order (it is what the partition steps give), so
// this stays this quicksort rather than std::sort.
#pragma once

// Sorts elements first..last (both inclusive). compare(data, i, j) < 0 when
// element i belongs before element j; swap(data, i, j) must accept i == j.
void QORQuickSort(void* data, int first, int last, int (*compare)(void* data, int i, int j),
                  void (*swap)(void* data, int i, int j));
