// The "selection" text block of project files and selection sets.
//
// Body lines, in the order the reader relies on: the basics, "SelectionType",
// "vcount", "DeltaCount", "Compressed", then the Base64 block "data" holding
// either DeltaCount pairs (int32 index, float weight, 8 bytes each) or vcount
// floats, little-endian as in memory.
#include "KSN_Selection.h"

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
#include <string>

namespace {

void WriteIntLine(FILE* file, const char* key, int value)
{
    for (int i = 0; i < TextFileIndent; ++i)
        std::fputc('\t', file);
    std::fprintf(file, "%s\t%d\n", key, value);
}

int ParseInt(const char* value)
{
    const long long parsed = std::strtoll(value, nullptr, 10);
    return int(std::clamp<long long>(parsed, INT_MIN, INT_MAX));
}

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
        SaveBinaryDataToTextFile(file, pairs, pairs ? int(size_t(DeltaCount) * sizeof(TKSN_SelectionDelta)) : 0, "data");
    else
        SaveBinaryDataToTextFile(file, weights, weights ? int(size_t(vcount) * sizeof(float)) : 0, "data");
    if (wasOut && !keepInMemory)
        PushToVirtualMemory();
    return true;
}

void TKSN_Selection::ReadDataBlock(FILE* file)
{
    int length = 0;
    std::unique_ptr<void, Base64Release> bytes;
    try {
        bytes.reset(LoadBinaryDataArrayFromTextFile(file, &length));
    } catch (...) {
        // The reader reports the damage; whoever keeps the selection still
        // finds one weight per item.
        FetchBack("TKSN_Selection::ReadDataBlock");
        if (!Compressed && !weights)
            ReplaceWeights(vcount);
        throw;
    }
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
    } else if (!countDisagreed && int64_t(length) == int64_t(vcount) * int64_t(sizeof(float))) {
        QORfree(weights);
        weights = nullptr;
        if (length > 0) {
            weights = static_cast<float*>(QORalloc(uint64_t(length)));
            memcpy_Multithread(weights, bytes.get(), size_t(length));
        }
    }
    bytes.reset();
    if (!keepInMemory)
        PushToVirtualMemory();
}

bool TKSN_Selection::LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value)
{
    if (QORstrcmpi(key, "vcount") == 0) {
        int count = std::max(ParseInt(value), 0);
        const int expected = SelectionType == eSelectionType_Polygon ? expectedPolygonCount : expectedVertexCount;
        if (expected >= 0 && count != expected) {
            countDisagreed = true;
            count = expected;
        }
        countExceedsFile = !KSN_Bytes::FileCouldHold(file, uint64_t(count) * sizeof(float));
        if (Compressed && (pairs || sparseBlockID != 0)) {
            // The pairs came before their count (an edited file); they are
            // expanded at once, so the count must be one the file can back.
            SetSize(countExceedsFile ? 0 : count);
        } else {
            // Nothing is allocated for the count yet: a count in the billions
            // must meet its data first. The pairs may still follow.
            QORVirtualMemory_Delete(denseBlockID);
            denseBlockID = 0;
            QORfree(weights);
            weights = nullptr;
            vcount = count;
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
    countDisagreed = false;
    countExceedsFile = false;
    const bool result = TKSN_Thingy::LoadFromStream_Text(file);
    if (countDisagreed) {
        // Weights made for another mesh select nothing here.
        if (!quietAboutCount)
            OS.WarningMessage("The selection \"%s\" holds damaged data; it was loaded with nothing selected.",
                              GetName());
        DropStoredWeights();
        ReplaceWeights(vcount);
        if (!keepInMemory)
            PushToVirtualMemory();
    } else if (Compressed && !pairs && sparseBlockID == 0 && DeltaCount != 0) {
        // A compressed block that never delivered its pairs (no "data" line).
        ResetDamagedCompressedForm();
        if (!keepInMemory)
            PushToVirtualMemory();
    } else if (!Compressed && DeltaCount != 0)
        DeltaCount = 0;
    if (!Compressed && !weights && denseBlockID == 0 && vcount > 0) {
        // No data, or data of the wrong length: nothing is selected, unless
        // the count is one no file this size could be about.
        if (countExceedsFile) {
            OS.WarningMessage("The selection \"%s\" holds damaged data; it was loaded with nothing selected.",
                              GetName());
            vcount = 0;
        }
        ReplaceWeights(vcount);
        if (!keepInMemory)
            PushToVirtualMemory();
    }
    countDisagreed = false;
    countExceedsFile = false;
    return result;
}
