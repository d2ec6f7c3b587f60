#include "QORWad.h"

#include "OS.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

// Only the last component of an entry name may name the extracted file, so a
// crafted container cannot write outside the caller's folder.
std::string_view LeafOfEntryName(std::string_view name)
{
    const size_t separator = name.find_last_of("/\\");
    if (separator != std::string_view::npos) name.remove_prefix(separator + 1);
    if (name == "." || name == "..") return {};
    return name;
}

bool ReadLength(FILE* f, uint32_t& length)
{
    unsigned char bytes[4];
    if (std::fread(bytes, 1, 4, f) != 4) return false;
    length = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    return true;
}

// Copies length bytes from the container to out; false on a short read or a
// failed write.
bool CopyData(FILE* from, FILE* out, uint32_t length)
{
    std::vector<unsigned char> buffer(64 * 1024);
    uint64_t remaining = length;
    while (remaining > 0) {
        const size_t chunk = size_t(std::min<uint64_t>(remaining, buffer.size()));
        if (std::fread(buffer.data(), 1, chunk, from) != chunk) return false;
        if (std::fwrite(buffer.data(), 1, chunk, out) != chunk) return false;
        remaining -= chunk;
    }
    return true;
}

void RemovePartialFile(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

} // namespace

bool TQORWadFile::Open(const char* path)
{
    Close();
    if (!path) return false;
    stream.reset(std::fopen(path, "rb"));
    return stream != nullptr;
}

void TQORWadFile::Close()
{
    stream.reset();
    damaged = false;
    nextNumber.clear();
}

bool TQORWadFile::PopFile(const char* prefix, char* name, char* path, size_t pathSize)
{
    if (name) name[0] = '\0';
    if (path && pathSize > 0) path[0] = '\0';
    if (!prefix || !name || !path || pathSize == 0) return false;

    FILE* in = stream.get();
    if (!in || damaged || std::feof(in) || std::ferror(in)) return false;

    // 1. The name field. A short read is the normal end of the container
    //    (or a container cut inside a name).
    char field[NameSize];
    const size_t got = std::fread(field, 1, NameSize, in);
    if (got != NameSize) {
        damaged = got != 0;
        return false;
    }
    const void* terminator = std::memchr(field, '\0', NameSize);
    if (!terminator) {
        damaged = true;
        return false;
    }
    const std::string entryName(field, size_t(static_cast<const char*>(terminator) - field));
    const std::string_view leaf = LeafOfEntryName(entryName);

    uint32_t length = 0;
    if (!ReadLength(in, length)) {
        damaged = true;
        return false;
    }

    // 2. A new file: the first free number, created exclusively so that a
    //    file appearing between the test and the creation is never replaced.
    //    The numbers below the last one handed out for this name are taken.
    std::string target;
    FILE* out = nullptr;
    long long& next = nextNumber[std::string(prefix) + '\0' + std::string(leaf)];
    for (long long n = next; n <= INT32_MAX; ++n) {
        target = std::string(prefix) + std::to_string(n) + std::string(leaf);
        if (target.size() >= pathSize) break;   // would not fit the caller's buffer
        if (OS.FileExists(target.c_str())) continue;
        out = std::fopen(target.c_str(), "wbx");
        if (out) {
            next = n + 1;
            break;
        }
        if (errno != EEXIST) break;
    }
    if (!out) {
        damaged = true;
        return false;
    }

    // 3. The data; a short container or a full disk removes the partial file.
    bool complete = CopyData(in, out, length);
    if (std::fclose(out) != 0) complete = false;
    if (!complete) {
        RemovePartialFile(target);
        damaged = true;
        return false;
    }

    std::memcpy(name, entryName.c_str(), entryName.size() + 1);
    std::memcpy(path, target.c_str(), target.size() + 1);
    return true;
}
