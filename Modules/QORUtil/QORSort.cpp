// First-element-pivot quicksort through callbacks (see QORSort.h).
//
// The smaller side of each partition is sorted by recursion and the larger
// one by the loop, so the stack depth stays logarithmic even for reversed
// input. The two sides never touch each other's elements, so the order in
// which they are sorted does not change the result.
#include "QORSort.h"

void QORQuickSort(void* data, int first, int last, int (*compare)(void* data, int i, int j),
                  void (*swap)(void* data, int i, int j))
{
    while (first < last) {
        int d = first;
        for (int i = first + 1; i <= last; ++i)
            if (compare(data, i, first) < 0) swap(data, i, ++d);
        swap(data, first, d);

        if (d - first < last - d) {
            QORQuickSort(data, first, d - 1, compare, swap);
            first = d + 1;
        } else {
            QORQuickSort(data, d + 1, last, compare, swap);
            last = d - 1;
        }
    }
}
