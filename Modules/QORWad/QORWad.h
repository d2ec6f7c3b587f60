// TQORWadFile: sequential reader of WAD containers, which pack many small
// files (the GUI graphics) one after another.
//
// Container layout, repeated up to the end of the file; no header, no index:
//   256 bytes  entry name, ASCII, ended by a zero byte inside the 256 bytes
//     4 bytes  data length, unsigned 32-bit little-endian
//   length     the entry's data
//
// PopFile extracts the next entry into a new file of its own in a caller's
// folder; the caller loads it and deletes it. The reader never writes
// containers.
//
// Safety of extraction: the file is always created inside the given folder -
// only the last component of an entry name is used, and "." or ".." count as
// empty - and never replaces an existing file. An entry that cannot be
// extracted completely leaves no file behind, and the reader then refuses
// further entries, because its position inside the container is no longer an
// entry boundary.
#pragma once

#include "OS.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <unordered_map>

class TQORWadFile {
public:
    // Length of the name field, and so the least size of PopFile's name buffer.
    static constexpr size_t NameSize = 256;
    // Size of the path buffer that the three-argument PopFile writes into:
    // the OS layer's path buffer.
    static constexpr size_t PathBufferSize = TOS_PATH_BUFFER;

    TQORWadFile() = default;
    ~TQORWadFile() = default;

    TQORWadFile(const TQORWadFile&) = delete;
    TQORWadFile& operator=(const TQORWadFile&) = delete;

    // Opens the container for binary reading (closing one already open);
    // false when it cannot be opened.
    bool Open(const char* path);
    void Close();
    bool IsOpen() const { return stream != nullptr; }

    // Extracts the next entry into the folder prefix (ending with its
    // separator). name (NameSize bytes) receives the entry name as stored,
    // path the extracted file's full path; both are empty unless the result
    // is true. The file is prefix + n + entry name for the smallest n from 0
    // whose file does not exist yet, so entries of one name land in distinct
    // files. False at the normal end of the container, for a damaged or
    // truncated entry, when the file cannot be created or written, and when
    // the full path would not fit in pathSize bytes.
    bool PopFile(const char* prefix, char* name, char* path, size_t pathSize);
    // The same with a path buffer of PathBufferSize bytes.
    bool PopFile(const char* prefix, char* name, char* path) { return PopFile(prefix, name, path, PathBufferSize); }

private:
    struct TFileCloser {
        void operator()(FILE* f) const { std::fclose(f); }
    };

    std::unique_ptr<FILE, TFileCloser> stream;
    bool damaged = false;   // an entry was left half read; nothing after it is trusted
    // Per prefix and entry name, the number after the last one handed out,
    // so that many entries of one name take linear time, not quadratic.
    std::unordered_map<std::string, long long> nextNumber;
};
