// The "selection" text block of project files and selection sets.
//
// Body lines, in the order the reader relies on: the basics, "SelectionType",
// "vcount", "DeltaCount", "Compressed", then the Base64 block "data" holding
// either DeltaCount pairs (int32 index, float weight, 8 bytes each) or vcount
// floats, little-endian as in memory.
#include "KSN_Selection.h"

#include "QORMemory.h"
#include "QORString.h"
#include "QORTextBlock.h"
#include "QORThreads.h"
#include "QORVirtualMemory.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

void WriteIntLine(FILE* file, const char* key, int value)
{
    for (int i = 0; i < TextFileIndent; ++i)
        std::fputc('\t', file);
    std::fprintf(file, "%s\t%d\n", key, value);
}

int ParseInt(const char* value) { return int(std::strtol(value, nullptr, 10)); }

struct Base64Release {
    void operator()(void* block) const { QORBase64_Dispose(block); }
};

} // namespace

bool TKSN_Selection::SaveToStream_Text(FILE* file, bool flag)
{
    TStartTextFileBlock block("selection", GetName(), file, flag);
    const bool wasOut = IsPagedOut();
    FetchBack("TKSN_Selection::SaveToStream_Text");
    SaveBasicStuff_Text(file);
    WriteIntLine(file, "SelectionType", int(SelectionType));
    WriteIntLine(file, "vcount", vcount);
    WriteIntLine(file, "DeltaCount", DeltaCount);
    WriteIntLine(file, "Compressed", Compressed ? 1 : 0);
    if (Compressed)
        SaveBinaryDataToTextFile(file, pairs, pairs ? int(DeltaCount * sizeof(TKSN_SelectionDelta)) : 0, "data");
    else
        SaveBinaryDataToTextFile(file, weights, weights ? int(vcount * sizeof(float)) : 0, "data");
    if (wasOut && !keepInMemory)
        PushToVirtualMemory();
    return true;
}

void TKSN_Selection::ReadDataBlock(FILE* file)
{
    int length = 0;
    std::unique_ptr<void, Base64Release> bytes(LoadBinaryDataArrayFromTextFile(file, &length));
    // Lines before "data" may have left arrays out; the new ones replace them.
    FetchBack("TKSN_Selection::LoadFromStream_Text_ConsiderCommand");
    if (Compressed) {
        if (DeltaCount >= 0 && int64_t(length) == int64_t(DeltaCount) * int64_t(sizeof(TKSN_SelectionDelta))) {
            FreePairs();
            if (length > 0) {
                pairs = static_cast<TKSN_SelectionDelta*>(QORalloc(uint64_t(length)));
                std::memcpy(pairs, bytes.get(), size_t(length));
            }
            DropPairsOutOfRange();
        } else {
            // Keeping the count without its pairs would end the program on
            // the first access.
            ResetDamagedCompressedForm();
        }
    } else if (int64_t(length) == int64_t(vcount) * int64_t(sizeof(float))) {
        QORfree(weights);
        weights = nullptr;
        if (length > 0) {
            weights = static_cast<float*>(QORalloc(uint64_t(length)));
            memcpy_Multithread(weights, bytes.get(), length);
        }
    }
    bytes.reset();
    if (!keepInMemory)
        PushToVirtualMemory();
}

bool TKSN_Selection::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (QORstrcmpi(key, "vcount") == 0) {
        if (Compressed && !pairs && sparseBlockID == 0) {
            // "Compressed" came first (an edited file): expanding now would
            // meet a count without pairs; the pairs may still follow.
            QORVirtualMemory_Delete(denseBlockID);
            denseBlockID = 0;
            ReplaceWeights(ParseInt(value));
        } else {
            SetSize(ParseInt(value));
        }
        return true;
    }
    if (QORstrcmpi(key, "SelectionType") == 0) {
        SelectionType = eSelectionType(ParseInt(value));
        return true;
    }
    if (std::strcmp(key, "DeltaCount") == 0) {
        DeltaCount = ParseInt(value);
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

bool TKSN_Selection::LoadFromStream_Text(FILE* file)
{
    const bool result = TKSN_Thingy::LoadFromStream_Text(file);
    // A compressed block that never delivered its pairs (no "data" line).
    if (Compressed && !pairs && sparseBlockID == 0 && DeltaCount != 0) {
        ResetDamagedCompressedForm();
        if (!keepInMemory)
            PushToVirtualMemory();
    } else if (!Compressed && DeltaCount != 0)
        DeltaCount = 0;
    return result;
}
