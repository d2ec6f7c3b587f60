// Byte counts of the morph and selection arrays are size_t from end to end;
// the worker pool's fill and copy take int lengths, so arrays over 2 GB go to
// them in pieces instead of through a count that wraps.
#pragma once

#include "QORThreads.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace KSN_Bytes {

inline constexpr size_t PoolPiece = size_t(1) << 30;

inline void Zero(void* block, size_t bytes)
{
    auto* at = static_cast<char*>(block);
    while (bytes > 0) {
        const size_t piece = std::min(bytes, PoolPiece);
        memset_Multithread(at, 0, int(piece));
        at += piece;
        bytes -= piece;
    }
}

inline void Copy(void* destination, const void* source, size_t bytes)
{
    auto* to = static_cast<char*>(destination);
    const auto* from = static_cast<const char*>(source);
    while (bytes > 0) {
        const size_t piece = std::min(bytes, PoolPiece);
        memcpy_Multithread(to, from, int(piece));
        to += piece;
        from += piece;
        bytes -= piece;
    }
}

// Bytes the file holds after the current position; -1 when it cannot be told
// (a stream that is no regular file).
inline int64_t BytesLeftInFile(FILE* file)
{
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    const long long at = ftello(file);
    if (at < 0)
        return -1;
    return int64_t(info.st_size) - int64_t(at);
}

// Whether a count read from the file could be true of an array of that many
// bytes: the whole file must be at least as long (its Base64 text is longer
// still). Streams of unknown size pass.
inline bool FileCouldHold(FILE* file, uint64_t bytes)
{
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return true;
    return bytes <= uint64_t(info.st_size);
}

} // namespace KSN_Bytes
