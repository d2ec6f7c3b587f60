// Helpers shared by the image-map sources of this folder; no other folder includes it.
#pragma once

#include "QORThreads.h"

#include <climits>
#include <cstddef>
#include <cstring>

// The multithreaded fill and copy take an int length; buffers of 2 GiB and
// more go in int-sized pieces.
inline void ImageMap_FillBytes(unsigned char* p, int value, size_t n)
{
    while (n > 0) {
        const size_t piece = n > size_t(INT_MAX) ? size_t(INT_MAX) : n;
        memset_Multithread(p, value, int(piece));
        p += piece;
        n -= piece;
    }
}

inline void ImageMap_CopyBytes(unsigned char* dst, const unsigned char* src, size_t n)
{
    if (dst == src) return;
    while (n > 0) {
        const size_t piece = n > size_t(INT_MAX) ? size_t(INT_MAX) : n;
        memcpy_Multithread(dst, src, int(piece));
        dst += piece;
        src += piece;
        n -= piece;
    }
}

// v / 255 truncated toward zero, v in -65025..65025: the rule of the shared
// divide-by-255 table, computed so that the maps need no start-up tables.
inline int ImageMap_DivideBy255(int v) { return v / 255; }
