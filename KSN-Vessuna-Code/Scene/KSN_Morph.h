// TKSN_Morph: one morph target, a named set of per-vertex displacements
// ("deltas") over the base vertex positions of one mesh.
//
// The deltas live in one of two forms:
//  - expanded (dense): vcount triples (dx, dy, dz), 12 bytes per vertex, the
//    form every edit and the mesh's resolution work on;
//  - compressed (sparse): DeltaCount records of 16 bytes (int32 vertex index,
//    dx, dy, dz), which only come from files and the figure importer. The
//    first operation that needs the dense form expands it; nothing compresses
//    a morph at run time.
// A morph the mesh is not using waits in the virtual-memory store; every
// access fetches it back first (slower, never wrong).
//
// Invariants:
//  - In memory, an expanded morph has vcount triples (none for vcount 0) and
//    no record list; a compressed one has DeltaCount records and no triples.
//  - A paged-out array has a non-zero block ID and a null pointer; either
//    array can be out on its own.
//  - Deltas are only written inside 0 … vcount − 1: records of a damaged
//    file that point elsewhere are skipped with a warning, and a compressed
//    block whose data does not match its count loads as an empty morph.
//  - The key-frame chain behind a head morph runs in strictly increasing
//    time; the head owns the chain and deletes it with itself.
//  - The keep-in-memory lock (the mesh's special morphs) keeps NotInUse from
//    paging the morph out.
//
// Main thread only. The delta iteration keeps its cursor in the morph, so one
// iteration over a morph runs at a time.
#pragma once

#include "KSN_Thingy.h"

#include <cstdint>
#include <cstdio>

// One record of the compressed form, 16 bytes as stored in files (little-endian).
struct TKSN_MorphDelta {
    int32_t Index;
    float Delta[3];
};
static_assert(sizeof(TKSN_MorphDelta) == 16, "the file form stores 16-byte records");

class TKSN_Morph : public virtual TKSN_Thingy {
public:
    // Vertex count and the ID of the owning mesh; vcount zeroed triples.
    // A negative count is taken as 0.
    TKSN_Morph(int vertexCount, unsigned ownerID);
    // Deletes both virtual-memory blocks, both arrays and the key frames behind it.
    ~TKSN_Morph() override;

    bool IsReadOnly() const override { return false; }
    // Bytes of the form held: 16 per record when compressed, else 12 per vertex.
    uint64_t GetApproximateSize() override;
    // The "morph" block; with flag clear only its body lines. A paged-out morph
    // is fetched for the writing and sent back afterwards (unless locked).
    bool SaveToStream_Text(FILE* file, bool flag) override;
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
    // The generic block reader, then the check that needs the whole block: a
    // compressed block that never delivered its records loads as an empty morph.
    bool LoadFromStream_Text(FILE* file) override;

    int GetVCount() const { return vcount; }
    bool IsCompressed() const { return Compressed; }
    int GetDeltaCount() const { return DeltaCount; }

    // Marks the document modified and the welded duplicates out of date.
    void OnChanged();
    void OnUpdateWelded() { weldingUpToDate = true; }
    bool UpdateWeldingRequired() const { return !weldingUpToDate; }

    // [SECTION] Access to deltas
    // Address of the vertex's triple, expanding first. The index is the caller's
    // to check. Throws when the dense array cannot be produced (an empty morph).
    float* GetVertex(int index);
    // The dense array, expanding first; null for vcount ≤ 0. Throws when an
    // array is paged out: callers bring the morph into use first.
    float* GetPointerToExpandedArray();
    // Record i of the compressed form; null without a list or outside it.
    TKSN_MorphDelta* GetDelta(int index);
    // Iteration: the records of a compressed morph (without expanding it), else
    // every vertex of the dense array. False when there is nothing (more).
    bool GetFirstDelta(int* vertex, float** delta);
    bool GetNextDelta(int* vertex, float** delta);

    // [SECTION] Paging (the mesh's use bracket)
    // The labels name the caller; they only reach the debug line.
    void IsInUse(const char* label);
    void NotInUse(const char* label);
    void StoreInVirtualMemory(const char* label);

    // [SECTION] Editing
    void Expand();
    // Compression is never rebuilt at run time: an expanded morph only gets
    // DeltaCount 0, so it writes its dense form.
    void Compress();
    // Zero deltas (the morph comes out expanded).
    void Clear();
    // Adds the other morph's deltas; a different vertex count changes nothing.
    void Add(TKSN_Morph* other);
    // The source's count and deltas; name, strength, limits and key frames stay.
    void Copy(TKSN_Morph* source);
    // Resizes keeping the deltas of the surviving vertices; new ones are 0.
    void SetVCount(int count);
    // The importer's sparse form: count records (zeroed), filled through GetDelta.
    void InitializeCompressed(int count);
    // Keeps the first count records (negative counts as 0); a count at or
    // above DeltaCount changes nothing.
    void TruncateDeltaCount(int count);
    // The vertex count of the mesh the next block is read into (-1: none).
    // A block whose "vcount" differs is damaged: it loads as an empty morph
    // of this count, with a warning unless quiet (the mesh already refused).
    void SetExpectedVCount(int count, bool quiet)
    {
        expectedVCount = count;
        quietAboutCount = quiet;
    }

    // [SECTION] Key frames
    // The frame of the chain at that time. A missing one is null unless create
    // is set: then a frame copied from the one before it is linked in, reported
    // in the message panel and followed by an interface refresh. Times before
    // the head's are never inserted (null).
    TKSN_Morph* GetCurrentFrameForDeforming(int time, bool create);
    TKSN_Morph* GetNextKeyFrame() const { return nextKeyFrame; }
    int GetKeyFrameTime() const { return keyFrameTime; }

    // [SECTION] Bookkeeping of the owning mesh
    unsigned GetOwnerID() const { return ownerID; }
    void SetOwnerID(unsigned id) { ownerID = id; }
    // Number of the last vertex adjustment script replayed on this morph.
    uint32_t GetScriptStamp() const { return scriptStamp; }
    void SetScriptStamp(uint32_t stamp) { scriptStamp = stamp; }
    bool IsKeptInMemory() const { return keepInMemory; }
    void SetKeepInMemory(bool value) { keepInMemory = value; }
    // The object ID of the morph last copied into this one; -1 for none.
    int32_t GetCopiedFromID() const { return reservedValue; }
    bool IsPagedOut() const { return sparseBlockID != 0 || denseBlockID != 0; }

    // Blend weight, and the limits offered for it (a morph union copies all three in).
    float Strength = 1.0f;
    float MinStrength = 0.0f;
    float MaxStrength = 1.0f;

private:
    friend void HANDLE_MORPH_NOT_IN_USE_WHEN_IT_SHOULD_BE(TKSN_Morph* morph, const char* label);

    void FetchBack(const char* label);
    void FreeArrays();                   // both arrays and both stored blocks
    void ReplaceWithZeros(int count);    // fresh zeroed dense array of count triples
    // Damaged file: the morph becomes expanded zeros; the warning names it.
    void LoadEmptyBecauseDamaged(bool warn);
    void ReadDataBlock(FILE* file);
    // The vertex index of a record is inside the morph; otherwise counts it.
    bool RecordInRange(int vertex, int& skipped) const;
    void WarnSkippedRecords(int skipped) const;

    TKSN_MorphDelta* deltas = nullptr;   // QORalloc, DeltaCount records
    float* vertices = nullptr;           // QORalloc, vcount triples
    uint32_t sparseBlockID = 0;
    uint32_t denseBlockID = 0;
    bool weldingUpToDate = false;
    uint32_t ownerID = 0;
    TKSN_Morph* nextKeyFrame = nullptr;  // owned
    int32_t keyFrameTime = 0;
    uint32_t scriptStamp = 0;
    bool Compressed = false;
    int32_t vcount = 0;
    int32_t DeltaCount = 0;
    int32_t iterationCursor = 0;
    bool keepInMemory = false;
    int32_t expectedVCount = -1;
    bool quietAboutCount = false;
    bool countDisagreed = false;         // set by the reader, acted on at the block's end
    bool countExceedsFile = false;       // "vcount" larger than the file being read could back
};

// The fetch-back step at the start of every access: when an array is paged
// out, both come back; throws (QORThrowException) "Error retreiving morph data
// in %s" with the label when one stays out.
void HANDLE_MORPH_NOT_IN_USE_WHEN_IT_SHOULD_BE(TKSN_Morph* morph, const char* label);
