// Counts read from a file are checked against the bytes the file can still
// hold before anything is allocated for them.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace KSN_Bytes {

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
