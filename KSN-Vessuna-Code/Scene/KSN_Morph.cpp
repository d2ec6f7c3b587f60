// Morph targets: construction, access, paging, editing and key frames.
// The "morph" text block lives in KSN_Morph_Io.cpp.
//
// Index: [SECTION] Construction · Fetch-back and paging · Access to deltas ·
//        Editing · Key frames
#include "KSN_Morph.h"

#include "OS.h"
#include "QOREvents.h"
#include "QORMemory.h"
#include "QORThreads.h"
#include "QORVirtualMemory.h"

#include <algorithm>
#include <cstring>


namespace {

constexpr int32_t CommandRefreshInterface = 439;

// Bytes of count triples (12 per vertex) and of count records (16 each).
size_t TripleBytes(int64_t count) { return count > 0 ? size_t(count) * 3 * sizeof(float) : 0; }
size_t RecordBytes(int64_t count) { return count > 0 ? size_t(count) * sizeof(TKSN_MorphDelta) : 0; }

} // namespace

// [SECTION] Construction

TKSN_Morph::TKSN_Morph(int vertexCount, unsigned owner)
    : ownerID(owner), vcount(std::max(vertexCount, 0))
{
    RegisterForLookup();
    if (vcount > 0) {
        vertices = static_cast<float*>(QORalloc(TripleBytes(vcount)));
        if (!vertices)
            QORFatalError("vertices == NULL in TKSN_Morph::Clear()");
        memset_Multithread(vertices, 0, TripleBytes(vcount));
    }
}

TKSN_Morph::~TKSN_Morph()
{
    FreeArrays();
    // The head owns its key frames; walk the chain instead of recursing so a
    // long animation cannot exhaust the stack.
    TKSN_Morph* frame = nextKeyFrame;
    nextKeyFrame = nullptr;
    while (frame) {
        TKSN_Morph* next = frame->nextKeyFrame;
        frame->nextKeyFrame = nullptr;
        delete frame;
        frame = next;
    }
}

uint64_t TKSN_Morph::GetApproximateSize()
{
    return Compressed ? RecordBytes(DeltaCount) : TripleBytes(vcount);
}

void TKSN_Morph::OnChanged()
{
    changed = true;
    weldingUpToDate = false;
}

void TKSN_Morph::FreeArrays()
{
    QORVirtualMemory_Delete(sparseBlockID);
    QORVirtualMemory_Delete(denseBlockID);
    sparseBlockID = 0;
    denseBlockID = 0;
    QORfree(deltas);
    QORfree(vertices);
    deltas = nullptr;
    vertices = nullptr;
}

void TKSN_Morph::ReplaceWithZeros(int count)
{
    QORfree(vertices);
    vertices = nullptr;
    if (count > 0) {
        vertices = static_cast<float*>(QORalloc(TripleBytes(count)));
        memset_Multithread(vertices, 0, TripleBytes(count));
    }
}

// [SECTION] Fetch-back and paging

void HANDLE_MORPH_NOT_IN_USE_WHEN_IT_SHOULD_BE(TKSN_Morph* morph, const char* label)
{
    if (morph)
        morph->FetchBack(label);
}

void TKSN_Morph::FetchBack(const char* label)
{
    if (sparseBlockID == 0 && denseBlockID == 0)
        return;
    unsigned long size = 0;
    if (sparseBlockID != 0) {
        void* block = nullptr;
        QORVirtualMemory_Pop(&block, &size, &sparseBlockID);
        deltas = static_cast<TKSN_MorphDelta*>(block);
    }
    if (denseBlockID != 0) {
        void* block = nullptr;
        QORVirtualMemory_Pop(&block, &size, &denseBlockID);
        vertices = static_cast<float*>(block);
    }
    if (sparseBlockID != 0 || denseBlockID != 0)
        QORThrowException("Error retreiving morph data in %s", label ? label : "");
}

void TKSN_Morph::IsInUse(const char* /*label*/)
{
    FetchBack("TKSN_Morph::IsInUse()");
}

void TKSN_Morph::NotInUse(const char* label)
{
    if (!keepInMemory)
        StoreInVirtualMemory(label);
}

void TKSN_Morph::StoreInVirtualMemory(const char* label)
{
    OS.DebugMessage("Storing the morph %s in VM at location %s", GetName(), label ? label : "");
    if (deltas && sparseBlockID == 0) {
        void* block = deltas;
        QORVirtualMemory_Push(&block, RecordBytes(DeltaCount), &sparseBlockID);
        deltas = static_cast<TKSN_MorphDelta*>(block);
    }
    if (vertices && denseBlockID == 0) {
        void* block = vertices;
        QORVirtualMemory_Push(&block, TripleBytes(vcount), &denseBlockID);
        vertices = static_cast<float*>(block);
    }
}

// [SECTION] Access to deltas

float* TKSN_Morph::GetVertex(int index)
{
    FetchBack("TKSN_Morph::GetVertex(int i)");
    if (Compressed)
        Expand();
    if (!vertices) {
        Expand();
        if (!vertices)
            QORThrowException("vertices == NULL in *TKSN_Morph::GetVertex(int i)");
    }
    return vertices + 3 * int64_t(index);
}

float* TKSN_Morph::GetPointerToExpandedArray()
{
    if (vcount <= 0)
        return nullptr;
    if (IsPagedOut())
        QORThrowException("TKSN_Morph::GetPointerToExpandedArray()");
    if (Compressed)
        Expand();
    return vertices;
}

TKSN_MorphDelta* TKSN_Morph::GetDelta(int index)
{
    FetchBack("TKSN_Morph::GetDelta(int i)");
    if (!deltas || index < 0 || index >= DeltaCount)
        return nullptr;
    return deltas + index;
}

bool TKSN_Morph::GetFirstDelta(int* vertex, float** delta)
{
    FetchBack("TKSN_Morph::GetFirstDelta()");
    if (vcount <= 0)
        return false;
    iterationCursor = 0;
    if (deltas && DeltaCount > 0) {
        *vertex = deltas[0].Index;
        *delta = deltas[0].Delta;
        return true;
    }
    if (vertices) {
        *vertex = 0;
        *delta = vertices;
        return true;
    }
    return false;
}

bool TKSN_Morph::GetNextDelta(int* vertex, float** delta)
{
    if (vcount <= 0)
        return false;
    ++iterationCursor;
    if (deltas && DeltaCount > 0) {
        if (iterationCursor >= DeltaCount)
            return false;
        *vertex = deltas[iterationCursor].Index;
        *delta = deltas[iterationCursor].Delta;
        return true;
    }
    if (vertices) {
        if (iterationCursor >= vcount)
            return false;
        *vertex = iterationCursor;
        *delta = vertices + 3 * int64_t(iterationCursor);
        return true;
    }
    return false;
}

bool TKSN_Morph::RecordInRange(int vertex, int& skipped) const
{
    if (vertex >= 0 && vertex < vcount)
        return true;
    ++skipped;
    return false;
}

void TKSN_Morph::WarnSkippedRecords(int skipped) const
{
    if (skipped > 0)
        OS.WarningMessage("The morph %s holds %d delta(s) for vertices outside 0 ... %d; they were skipped.",
                          GetName(), skipped, vcount - 1);
}

// [SECTION] Editing

void TKSN_Morph::Expand()
{
    FetchBack("TKSN_Morph::Expand()");
    if (!Compressed)
        return;
    if (!deltas && DeltaCount > 0)
        QORFatalError("Deltas == NULL in TKSN_Morph::Expand()");
    ReplaceWithZeros(vcount);
    // Records in list order: a later record for the same vertex wins.
    int skipped = 0;
    for (int r = 0; r < DeltaCount; ++r) {
        const TKSN_MorphDelta& record = deltas[r];
        if (!RecordInRange(record.Index, skipped))
            continue;
        std::memcpy(vertices + 3 * int64_t(record.Index), record.Delta, sizeof record.Delta);
    }
    WarnSkippedRecords(skipped);
    QORfree(deltas);
    deltas = nullptr;
    DeltaCount = 0;
    Compressed = false;
}

void TKSN_Morph::Compress()
{
    FetchBack("TKSN_Morph::Compress()");
    if (!Compressed)
        DeltaCount = 0;
}

void TKSN_Morph::Clear()
{
    const bool wasCompressed = Compressed;
    Expand();
    if (vcount == 0)
        return;
    if (!vertices)
        QORFatalError("vertices == NULL in TKSN_Morph::Clear()");
    memset_Multithread(vertices, 0, TripleBytes(vcount));
    if (wasCompressed)
        Compress();
}

void TKSN_Morph::Add(TKSN_Morph* other)
{
    if (!other)
        return;
    Expand();
    if (vcount == 0)
        return;
    if (vcount != other->vcount) {
        OS.DebugMessage("vcount != m->vcount in  TKSN_Morph::Add() (%d, %d)", vcount, other->vcount);
        return;
    }
    if (!vertices) {
        Expand();
        if (!vertices)
            QORThrowException("vertices == NULL in TKSN_Morph::Add()");
    }
    int vertex = 0;
    float* delta = nullptr;
    int skipped = 0;
    for (bool more = other->GetFirstDelta(&vertex, &delta); more; more = other->GetNextDelta(&vertex, &delta)) {
        if (!RecordInRange(vertex, skipped))
            continue;
        float* target = vertices + 3 * int64_t(vertex);
        target[0] += delta[0];
        target[1] += delta[1];
        target[2] += delta[2];
    }
    other->WarnSkippedRecords(skipped);
}

void TKSN_Morph::Copy(TKSN_Morph* source)
{
    // Zeroing first would wipe the very deltas a self-copy is meant to keep.
    if (!source || source == this)
        return;
    const bool wasCompressed = Compressed;
    Expand();
    if (vcount > 0) {
        if (!vertices)
            QORFatalError("vertices == NULL in TKSN_Morph::Clear()");
        memset_Multithread(vertices, 0, TripleBytes(vcount));
    }
    if (vcount != source->vcount)
        SetVCount(source->vcount);
    Add(source);
    reservedValue = int32_t(source->GetID());
    if (wasCompressed)
        Compress();
}

void TKSN_Morph::SetVCount(int count)
{
    count = std::max(count, 0);
    if (count == vcount)
        return;
    const bool wasCompressed = Compressed;
    if (Compressed)
        Expand();
    FetchBack("TKSN_Morph::GetVertex(int i)");
    if (!vertices && vcount > 0) {
        Expand();
        if (!vertices)
            QORThrowException("vertices == NULL in *TKSN_Morph::GetVertex(int i)");
    }
    float* fresh = nullptr;
    if (count > 0) {
        fresh = static_cast<float*>(QORalloc(TripleBytes(count)));
        const int keep = std::min(vcount, count);
        if (keep > 0)
            memcpy_Multithread(fresh, vertices, TripleBytes(keep));
        if (count > keep)
            memset_Multithread(fresh + 3 * int64_t(keep), 0, TripleBytes(count - keep));
    }
    QORfree(vertices);
    vertices = fresh;
    vcount = count;
    if (wasCompressed)
        Compress();
}

void TKSN_Morph::InitializeCompressed(int count)
{
    count = std::max(count, 0);
    FreeArrays();
    if (count > 0) {
        deltas = static_cast<TKSN_MorphDelta*>(QORalloc(RecordBytes(count)));
        std::memset(deltas, 0, RecordBytes(count));
    }
    DeltaCount = count;
    Compressed = true;
}

void TKSN_Morph::TruncateDeltaCount(int count)
{
    count = std::max(count, 0);
    if (count >= DeltaCount)
        return;
    FetchBack("TKSN_Morph::TruncateDeltaCount()");
    if (count == 0) {
        QORfree(deltas);
        deltas = nullptr;
    } else if (deltas) {
        // Not QORrealloc: its 32-bit sizes would cut a list of more than 4 GB.
        auto* kept = static_cast<TKSN_MorphDelta*>(QORalloc(RecordBytes(count)));
        std::memcpy(kept, deltas, RecordBytes(count));
        QORfree(deltas);
        deltas = kept;
    }
    DeltaCount = count;
}

// [SECTION] Key frames

TKSN_Morph* TKSN_Morph::GetCurrentFrameForDeforming(int time, bool create)
{
    if (time == keyFrameTime)
        return this;
    // The head stays first: an earlier frame has nowhere to go.
    if (time < keyFrameTime)
        return nullptr;
    TKSN_Morph* before = this;
    TKSN_Morph* frame = nextKeyFrame;
    while (frame && frame->keyFrameTime < time) {
        before = frame;
        frame = frame->nextKeyFrame;
    }
    if (frame && frame->keyFrameTime == time)
        return frame;
    if (!create)
        return nullptr;

    auto* made = new TKSN_Morph(vcount, ownerID);
    made->scriptStamp = scriptStamp;
    made->keyFrameTime = time;
    made->nextKeyFrame = frame;
    before->nextKeyFrame = made;
    made->Copy(before);
    OS.PrintMessage("Created a new key frame at time %d", time);
    QOREvents_PushEvent(CommandRefreshInterface);
    return made;
}
