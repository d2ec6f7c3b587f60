// The "morph" text block of morph targets (project file and morph sets).
//
//     morph<TAB><name>
//     {
//         Name / ReadOnly / Collapsed / ID / Current     (the thingy basics)
//         vcount<TAB>%d
//         DeltaCount<TAB>%d
//         Strength / MinStrength / MaxStrength<TAB>%.8f
//         Compressed<TAB>0|1
//         data                                            (Base64 block)
//     }
//
// "data" holds the 16-byte records when compressed, else the 12-byte triples.
// The reader depends on the writer's order: the counts and "Compressed" come
// before "data". Key frames are not written.
#include "KSN_Morph.h"

#include "OS.h"
#include "QORMemory.h"
#include "QORString.h"
#include "QORTextBlock.h"
#include "QORThreads.h"
#include "QORVirtualMemory.h"

#include "KSN_Bytes_Internal.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void WriteIndent(FILE* file)
{
    for (int i = 0; i < TextFileIndent; ++i)
        std::fputc('\t', file);
}

void WriteIntLine(FILE* file, const char* key, int value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%d\n", key, value);
}

// The program keeps LC_NUMERIC at "C", so "%.8f" always writes a point.
void WriteFloatLine(FILE* file, const char* key, float value)
{
    WriteIndent(file);
    std::fprintf(file, "%s\t%.8f\n", key, double(value));
}

int ParseInt(const char* value)
{
    const long long parsed = std::strtoll(value, nullptr, 10);
    if (parsed > INT_MAX) return INT_MAX;
    if (parsed < INT_MIN) return INT_MIN;
    return int(parsed);
}

float ParseFloat(const char* value)
{
    return float(std::strtod(value, nullptr));
}

struct Base64Release {
    void operator()(void* block) const { QORBase64_Dispose(block); }
};

} // namespace

bool TKSN_Morph::SaveToStream_Text(FILE* file, bool flag)
{
    TStartTextFileBlock block("morph", GetName(), file, flag);
    const bool wasOut = IsPagedOut();
    FetchBack("TKSN_Morph::SaveToStream_Text");
    SaveBasicStuff_Text(file);
    Compress();

    WriteIntLine(file, "vcount", vcount);
    WriteIntLine(file, "DeltaCount", DeltaCount);
    WriteFloatLine(file, "Strength", Strength);
    WriteFloatLine(file, "MinStrength", MinStrength);
    WriteFloatLine(file, "MaxStrength", MaxStrength);
    WriteIntLine(file, "Compressed", Compressed ? 1 : 0);
    if (Compressed)
        SaveBinaryDataToTextFile(file, deltas, deltas ? int(DeltaCount * int64_t(sizeof(TKSN_MorphDelta))) : 0, "data");
    else
        SaveBinaryDataToTextFile(file, vertices, vertices ? int(vcount * int64_t(3 * sizeof(float))) : 0, "data");

    if (wasOut && !keepInMemory)
        StoreInVirtualMemory("TKSN_Morph::SaveToStream_Text");
    return true;
}

bool TKSN_Morph::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (QORstrcmpi(key, "vcount") == 0) {
        // A negative count from a damaged file means an empty morph. Nothing
        // is allocated for the count here: a count in the billions must meet
        // its data (or the mesh's count) first.
        int count = std::max(ParseInt(value), 0);
        if (expectedVCount >= 0 && count != expectedVCount) {
            countDisagreed = true;
            count = expectedVCount;
        }
        QORVirtualMemory_Delete(denseBlockID);
        denseBlockID = 0;
        QORfree(vertices);
        vertices = nullptr;
        vcount = count;
        countExceedsFile = !KSN_Bytes::FileCouldHold(file, uint64_t(count) * 3 * sizeof(float));
        return true;
    }
    if (std::strcmp(key, "DeltaCount") == 0) {
        DeltaCount = ParseInt(value);
        return true;
    }
    if (std::strcmp(key, "Strength") == 0) {
        Strength = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "MinStrength") == 0) {
        MinStrength = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "MaxStrength") == 0) {
        MaxStrength = ParseFloat(value);
        return true;
    }
    if (std::strcmp(key, "Compressed") == 0) {
        Compressed = ParseInt(value) != 0;
        return true;
    }
    if (QORstrcmpi(key, "data") == 0) {
        ReadDataBlock(file);
        return true;
    }
    return false;
}

void TKSN_Morph::ReadDataBlock(FILE* file)
{
    int byteCount = 0;
    std::unique_ptr<void, Base64Release> bytes;
    try {
        bytes.reset(LoadBinaryDataArrayFromTextFile(file, &byteCount));
    } catch (...) {
        // The reader reports the damage; the morph must still be usable by
        // whoever keeps it (a compressed one would otherwise end the program
        // on its first expansion, an expanded one has no triples yet).
        LoadEmptyBecauseDamaged(false);
        throw;
    }
    const int64_t length = byteCount;

    if (Compressed) {
        if (DeltaCount >= 0 && length == DeltaCount * int64_t(sizeof(TKSN_MorphDelta))) {
            FreeArrays();
            if (length > 0) {
                deltas = static_cast<TKSN_MorphDelta*>(QORalloc(uint64_t(length)));
                std::memcpy(deltas, bytes.get(), size_t(length));
            }
        } else {
            // Left as it was, the morph would end the program on its first
            // expansion (records promised, none held).
            LoadEmptyBecauseDamaged(true);
        }
    } else if (!countDisagreed && length == vcount * int64_t(3 * sizeof(float))) {
        FreeArrays();
        if (length > 0) {
            vertices = static_cast<float*>(QORalloc(uint64_t(length)));
            memcpy_Multithread(vertices, bytes.get(), size_t(length));
        }
    }
    bytes.reset();

    if (!keepInMemory)
        StoreInVirtualMemory("LoadFromStream_Text_ConsiderCommand");
}

bool TKSN_Morph::LoadFromStream_Text(FILE* file)
{
    countDisagreed = false;
    countExceedsFile = false;
    const bool result = TKSN_Thingy::LoadFromStream_Text(file);
    if (countDisagreed) {
        // The records or triples were made for another mesh.
        LoadEmptyBecauseDamaged(!quietAboutCount);
    } else if (Compressed && !deltas && sparseBlockID == 0 && DeltaCount != 0) {
        // A compressed block without its "data" (or with a negative count)
        // promises records it never delivered.
        LoadEmptyBecauseDamaged(true);
    } else if (!Compressed && !vertices && denseBlockID == 0 && vcount > 0) {
        // No data, or data of the wrong length: the deltas are zero, unless
        // the count is one no file this size could be about.
        if (countExceedsFile)
            LoadEmptyBecauseDamaged(true);
        else
            ReplaceWithZeros(vcount);
        if (!keepInMemory)
            StoreInVirtualMemory("TKSN_Morph::LoadFromStream_Text");
    }
    countDisagreed = false;
    countExceedsFile = false;
    return result;
}

void TKSN_Morph::LoadEmptyBecauseDamaged(bool warn)
{
    if (warn)
        OS.WarningMessage("The morph %s has damaged delta data in the file; it was loaded without deltas.",
                          GetName());
    FreeArrays();
    // Zeros for a count that no data in the file backs could be gigabytes.
    if (countExceedsFile)
        vcount = 0;
    ReplaceWithZeros(vcount);
    DeltaCount = 0;
    Compressed = false;
}
