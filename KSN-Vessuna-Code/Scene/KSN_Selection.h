// TKSN_Selection: one named set of selection weights of a mesh.
//
// A vertex selection holds one weight per vertex, a polygon selection one per
// polygon; 0 means unselected and 1 fully selected. The weights live in one of
// two forms:
//  - expanded: a weight array of vcount floats, the form every edit works on;
//  - compressed: DeltaCount (index, weight) pairs, which only come from files
//    and are turned into the expanded form by the first access that needs it.
// While the mesh does not use a selection, its arrays wait in the
// virtual-memory store; every access fetches them back first.
//
// Invariants:
//  - An expanded selection in memory has a weight array of vcount floats
//    (none for vcount 0). A compressed one has DeltaCount pairs; a zeroed
//    weight array may sit beside them after a load until the first expansion.
//  - A paged-out array has a non-zero block ID and a null pointer.
//  - Every pair's index lies in 0 … vcount − 1: a load drops the pairs of a
//    damaged file that do not, with a warning, and a compressed block whose
//    data does not match its count loads as an empty selection.
//  - The keep-in-memory lock keeps NotInUse from paging the selection out.
//
// Main thread only. The value iteration keeps its cursor in the selection, so
// one iteration runs at a time.
#pragma once

#include "KSN_SelectionType.h"
#include "KSN_Thingy.h"

#include <cstdint>
#include <cstdio>

class TQORPolyMesh;


// One entry of the compressed form, 8 bytes as stored in files (little-endian).
struct TKSN_SelectionDelta {
    int32_t Index;
    float Value;
};
static_assert(sizeof(TKSN_SelectionDelta) == 8, "the file form stores 8-byte pairs");

class TKSN_Selection : public virtual TKSN_Thingy {
public:
    // Item count and the ID of the owning mesh; the weights start at 0.
    // A negative count is taken as 0.
    TKSN_Selection(int count, unsigned ownerID);
    ~TKSN_Selection() override;

    bool IsReadOnly() const override { return false; }
    // Bytes of the form held: 8 per pair when compressed, else 4 per item.
    uint64_t GetApproximateSize() override;
    // The legacy binary chunk is never used for selections.
    bool SaveToStream(FILE* file) override;
    bool LoadFromStream(FILE* file) override;
    // The "selection" block; with flag clear only its body lines.
    bool SaveToStream_Text(FILE* file, bool flag) override;
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
    // The generic block reader, then the damaged-file checks that need the
    // whole block (a compressed block that never delivered its pairs).
    bool LoadFromStream_Text(FILE* file) override;

    int GetVCount() const { return vcount; }
    bool IsCompressed() const { return Compressed; }
    int GetDeltaCount() const { return DeltaCount; }
    eSelectionType GetSelectionType() const { return SelectionType; }
    // Stores the type only; the weights are not converted.
    void SetSelectionType(eSelectionType type) { SelectionType = type; }

    // Weight of one item; 0 for an empty selection or an index outside it.
    float GetVSelect(int index);
    // Stores the weight as given (no clamping); an index outside is ignored.
    void SetVSelect(int index, float weight);
    // The expanded weight array (vcount floats), or null for an empty selection.
    float* GetPointerToExpandedArray();

    // Iteration: every item of an expanded selection (zeros included), only
    // the pairs of a compressed one. False when there is nothing (more).
    bool GetFirstValue(int* index, float* weight);
    bool GetNextValue(int* index, float* weight);
    // Writes the weight at the iteration cursor in the form being iterated;
    // false when there is nothing at the cursor.
    bool SetCurrentValue(float weight);

    void Expand();
    // Selections are never compressed at run time: nothing happens.
    void Compress() {}
    // Discards the weights: count items, all 0.
    void SetSize(int count);
    // Resizes keeping the weights of the surviving items; new items are 0.
    // A paged-out selection is paged out again afterwards.
    void SetVCount(int count);
    // Copies the source's weights (the source's count at most; items past it
    // keep their weights). Type, name and count stay. Throws
    // (QORThrowException) for a null source.
    void Copy(TKSN_Selection* source);

    // Through the owning mesh; nothing when the owner is gone or no mesh.
    void ConvertToVertexSelection();
    void ConvertToPolygonSelection();

    // Fetch every paged-out array back / page the selection out unless locked.
    // The labels only name the caller.
    void IsInUse(const char* label);
    void NotInUse(const char* label);

    unsigned GetOwnerID() const { return ownerID; }
    void SetOwnerID(unsigned id) { ownerID = id; }
    // Number of the last adjustment script replayed on it (vertex scripts for
    // a vertex selection, polygon scripts for a polygon selection).
    uint32_t GetScriptStamp() const { return scriptStamp; }
    void SetScriptStamp(uint32_t stamp) { scriptStamp = stamp; }
    // Set on the two selections that carry the mesh's selection through a
    // geometry edit; the script replay clears their weights on request.
    bool IsEditTimeSelection() const { return editTime; }
    void SetEditTimeSelection(bool value) { editTime = value; }
    bool IsKeptInMemory() const { return keepInMemory; }
    void SetKeepInMemory(bool value) { keepInMemory = value; }
    // The object ID of the selection last copied into this one; -1 for none.
    int32_t GetCopiedFromID() const { return reservedValue; }
    bool IsPagedOut() const { return sparseBlockID != 0 || denseBlockID != 0; }

    // The vertex and polygon counts of the mesh the next block is read into
    // (-1: none). A block whose "vcount" differs from the count of its type
    // is damaged: it loads with nothing selected, with a warning unless quiet
    // (the mesh already refused).
    void SetExpectedCounts(int vertices, int polygons, bool quiet)
    {
        expectedVertexCount = vertices;
        expectedPolygonCount = polygons;
        quietAboutCount = quiet;
    }

private:
    // Fetches both arrays back when either is out; throws "Error retreiving
    // selection data in %s" with the label when one stays out.
    void FetchBack(const char* label);
    void PushToVirtualMemory();
    void ReplaceWeights(int count);   // fresh zeroed array of count floats
    void FreePairs();
    // Forgets every stored weight: the pairs, both paged blocks, the compressed form.
    void DropStoredWeights();
    // Drops the pairs whose index lies outside the selection, with a warning.
    void DropPairsOutOfRange();
    // A compressed selection without usable pairs becomes an empty expanded one.
    void ResetDamagedCompressedForm();
    void ReadDataBlock(FILE* file);

    bool Compressed = false;
    int32_t iterationCursor = 0;
    uint32_t sparseBlockID = 0;
    uint32_t denseBlockID = 0;
    eSelectionType SelectionType = eSelectionType_Vertex;
    uint32_t ownerID = 0;
    uint32_t scriptStamp = 0;
    bool editTime = false;
    float* weights = nullptr;                 // QORalloc, vcount floats
    TKSN_SelectionDelta* pairs = nullptr;     // QORalloc, DeltaCount pairs
    int32_t vcount = 0;
    int32_t DeltaCount = 0;
    bool keepInMemory = false;
    int32_t expectedVertexCount = -1;
    int32_t expectedPolygonCount = -1;
    bool quietAboutCount = false;
    bool countDisagreed = false;   // set by the reader, acted on at the block's end
    bool countExceedsFile = false; // "vcount" larger than the file being read could back
};

// The mesh's conversion rules, on the polygon layout of a mesh (weld masters
// taken when the mesh is welded and welding is not ignored).
// Polygons → vertices: each vertex takes the largest weight of the polygons
// that use it (0 when none). Vertices → polygons: each polygon takes the
// smallest weight of its corners (0 without corners). A selection already of
// the target type is left alone.
void KSN_ConvertSelectedPolygonsToVertices(TQORPolyMesh* mesh, TKSN_Selection* selection);
void KSN_ConvertSelectedVerticesToPolygons(TQORPolyMesh* mesh, TKSN_Selection* selection);
