// Helpers shared by the image-map sources of this folder; no other folder includes it.
#pragma once

#include "QORThreads.h"

#include <climits>
#include <cstddef>
#include <cstring>

inline void ImageMap_FillBytes(unsigned char* p, int value, size_t n)
{
    memset_Multithread(p, value, n);
}

inline void ImageMap_CopyBytes(unsigned char* dst, const unsigned char* src, size_t n)
{
    if (dst == src) return;
    memcpy_Multithread(dst, src, n);
}

// v / 255 truncated toward zero, v in -65025..65025: the rule of the shared
// divide-by-255 table, computed so that the maps need no start-up tables.
inline int ImageMap_DivideBy255(int v) { return v / 255; }
