// Undo nodes and their payloads.
//
// Every change the user can take back is one or more TKSN_Undo_Node in one of
// the project's two lists (UndoList, RedoList), oldest first. A node records
// the kind of change (1000..1019), the object it concerns (by ID), the step
// it belongs to (the application's frame counter when it was made, so that
// everything recorded within one frame is undone together), the text shown
// when it is undone, and a payload holding the state from before the change.
//
// Payloads derive virtually from TKSN_Thingy and are found again by dynamic
// cast: a missing or foreign payload restores nothing. Large payload arrays
// (selections, morphs, layer values, snapshots, paint blocks) are parked in
// the virtual-memory store while the node waits and fetched back on use; the
// store's writer thread owns a pushed buffer until it is popped, so a payload
// never touches an array it has handed over (its pointer is null meanwhile).
//
// Invariants:
// - A node owns its payload and nothing else; it never unlinks itself.
// - A list owns its nodes; Prev of the head and Next of the last are null.
// - A paged-out array has a null pointer and a non-zero block ID; in memory
//   the block ID is 0.
//
// Main thread only.
//
// Sources: KSN_Undo.cpp (node and small payloads), KSN_Undo_Snapshot.cpp (the
// model snapshot), KSN_Project_Undo.cpp (recording, limit, idle pass, undo and
// redo), KSN_Project_PaintUndo.cpp (paint strokes and whole-map records).
#pragma once

#include "KSN_PolygonLayer.h"
#include "KSN_TextureBrushImage.h"
#include "KSN_Thingy.h"
#include "QORImageMap.h"
#include "QORNewStaticList.h"

#include <cstdint>

class TKSN_Mesh;
class TKSN_Tool;
class TQORMaterial;
class TQORMaterialMapSource;
class TQORPolygon;

// The kinds of change an undo node stands for.
enum : int32_t {
    KSN_UNDO_HEADER = 1000,
    KSN_UNDO_SELECTION = 1001,
    KSN_UNDO_DEFORMATION = 1002,
    KSN_UNDO_PAINT = 1003,
    KSN_UNDO_TRANSFORM = 1004,
    KSN_UNDO_MAP_EDIT = 1005,
    KSN_UNDO_MAP_CREATION = 1006,
    KSN_UNDO_MAP_ASSIGNMENTS = 1007,
    KSN_UNDO_TILING = 1008,
    KSN_UNDO_TOOL_SETTINGS = 1010,
    KSN_UNDO_MODEL = 1011,
    KSN_UNDO_MORPH_STRENGTHS = 1013,
    KSN_UNDO_LAYER_ASSIGNMENTS = 1014,
    KSN_UNDO_LAYER_STATES = 1015,
    KSN_UNDO_MATERIAL_ASSIGNMENTS = 1016,
    KSN_UNDO_MATERIAL_STATES = 1017,
    KSN_UNDO_GROUP_ASSIGNMENTS = 1018,
    KSN_UNDO_GROUP_STATES = 1019,
    KSN_UNDO_SCULPT = 1020,   // sculpt-layer data of one mesh (KSN_SculptUndo.h)
};

// The message that marks a node whose undo prints nothing (any case).
inline constexpr const char* KSN_NO_UNDO_MESSAGE = "NO_UNDO_MESSAGE";
// ObjectID of a node that concerns no object.
inline constexpr uint32_t KSN_UNDO_NO_OBJECT = 0xFFFFFFFFu;

// [SECTION] Node

class TKSN_Undo_Node {
public:
    // StepNumber from the application's frame counter (0 without one).
    TKSN_Undo_Node();
    // Deletes the payload; the links are the list's business.
    ~TKSN_Undo_Node();
    TKSN_Undo_Node(const TKSN_Undo_Node&) = delete;
    TKSN_Undo_Node& operator=(const TKSN_Undo_Node&) = delete;

    // Links node behind the last node reached from this one.
    void AddToEnd(TKSN_Undo_Node* node);
    TKSN_Undo_Node* GetLast();
    // Joins the neighbours; the node's own links and the list head stay.
    void Unlink();
    // Whether the idle pass keeps the node; for a paint node the records of
    // deleted maps are dropped first.
    bool IsStillValid();
    // Copies at most 255 characters; null empties the message.
    void SetMessage(const char* message);

    char Message[256] = {};
    int32_t Mode = 0;
    int32_t Kind = 0;
    bool SelectionCompressed = false;
    bool Optimized = false;
    TKSN_Undo_Node* Prev = nullptr;
    TKSN_Undo_Node* Next = nullptr;
    TKSN_Thingy* Payload = nullptr;       // owned
    uint32_t MapID = 0;                   // kind 1006
    TKSN_Tool* Tool = nullptr;            // kind 1010; not owned
    int32_t Size = 0;                     // bytes counted against the undo limit
    uint32_t ObjectID = KSN_UNDO_NO_OBJECT;
    int32_t StepNumber = 0;
    float TransformPosition[3] = {0.0f, 0.0f, 0.0f};
    float TransformScale[3] = {1.0f, 1.0f, 1.0f};
    float TransformRotation[16] = {};
};

// [SECTION] Small payloads

// One 32-bit value per polygon: layer bits (1014), material (1016) or group
// index (1018), in polygon order.
class TKSN_LayerUndoNode : public virtual TKSN_Thingy {
public:
    TKSN_LayerUndoNode() = default;
    ~TKSN_LayerUndoNode() override;
    // Hands the values to the store; nothing when they are out already.
    // Throws (QORThrowException) when the store cannot take them.
    void PushDataToVirtualMemory();
    // Takes them back; nothing when they are in memory. Throws when the
    // block cannot be read.
    void PopDataFromVirtualMemory();

    int32_t Count = 0;
    int32_t* Values = nullptr;            // QORalloc, Count values; null while paged out
    uint32_t VirtualMemoryHandle = 0;
};

// Copies of the project's 32 polygon layers (1015).
class TKSN_LayerStateUndoNode : public virtual TKSN_Thingy {
public:
    TKSN_LayerStateUndoNode() = default;
    ~TKSN_LayerStateUndoNode() override = default;
    TKSN_Layer Layers[32];
};

// Copies of a mesh's materials in list order (1017).
class TKSN_MaterialStateUndoNode : public virtual TKSN_Thingy {
public:
    TKSN_MaterialStateUndoNode() = default;
    ~TKSN_MaterialStateUndoNode() override;
    TQORMaterial** Materials = nullptr;   // QORalloc array of owned copies
    int32_t Count = 0;
};

// The names of a mesh's polygon groups in list order (1019).
class TKSN_GroupStateUndoNode : public virtual TKSN_Thingy {
public:
    TKSN_GroupStateUndoNode() = default;
    ~TKSN_GroupStateUndoNode() override;
    TKSN_Thingy** Groups = nullptr;       // QORalloc array of owned named thingies
    int32_t Count = 0;
};

// What one material channel showed (1007).
class TKSN_MapAssignmentNode {
public:
    TKSN_MapAssignmentNode() = default;
    ~TKSN_MapAssignmentNode();
    TKSN_MapAssignmentNode(const TKSN_MapAssignmentNode&) = delete;
    TKSN_MapAssignmentNode& operator=(const TKSN_MapAssignmentNode&) = delete;

    uint32_t MapSourceID = 0;             // the bound map source; 0 none
    uint32_t ContentID = 0;               // the map (or layer map) whose pixels it showed
    char* MaterialName = nullptr;         // QORalloc copies
    char* ChannelName = nullptr;
};

class TKSN_MapAssignments : public virtual TKSN_Thingy {
public:
    TKSN_MapAssignments() : Nodes(1) {}
    ~TKSN_MapAssignments() override;
    // One per channel of every material, materials and channels in order; owned.
    TQORNewStaticList<TKSN_MapAssignmentNode*> Nodes;
};

// One morph union's strength (1013).
struct TKSN_MorphStrengthUndoNode {
    float Strength = 0.0f;
    uint32_t ID = 0;
};

class TKSN_MorphStrengthUndoNodeList : public TQORNewStaticList<TKSN_MorphStrengthUndoNode>,
                                       public virtual TKSN_Thingy {
public:
    TKSN_MorphStrengthUndoNodeList() : TQORNewStaticList<TKSN_MorphStrengthUndoNode>(1) {}
    ~TKSN_MorphStrengthUndoNodeList() override = default;
};

// The brush-tiling settings a tiling step changes (1008); its size counts
// nothing against the undo limit.
class TKSN_Tiling_UndoNode : public virtual TKSN_Thingy {
public:
    TKSN_Tiling_UndoNode() = default;
    ~TKSN_Tiling_UndoNode() override = default;

    int32_t BrushTilingStyle = 0;
    float TileRotationMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};   // row-major
    float TileCentre[3] = {0.0f, 0.0f, 0.0f};
    float TileWidth = 1.0f;
    float TileHeight = 1.0f;
};

// [SECTION] Model snapshot (KSN_Undo_Snapshot.cpp)

// One float array that can be parked in the store.
class TKSN_FloatArrayContainer : public virtual TKSN_Thingy {
public:
    TKSN_FloatArrayContainer() = default;
    ~TKSN_FloatArrayContainer() override;
    // Takes a QORalloc array of count floats.
    void Adopt(float* data, int count);
    // Copies count floats into destination; false (nothing copied) when count
    // exceeds Count. Fetches the data back first. Throws when the block
    // cannot be read.
    bool GetData(float* destination, int count);
    float* GetDataArray();
    void PushDataToVirtualMemory();
    void PopDataFromVirtualMemory();

    uint32_t ID = 0;
    float* Data = nullptr;
    int32_t Count = 0;
    uint32_t VirtualMemoryHandle = 0;
};

class TKSN_Undo_Node_Model_SelectionNode : public TKSN_FloatArrayContainer {
public:
    int32_t SelectionType = 0;            // 0 per vertex, 1 per polygon
};

class TKSN_Undo_Node_Model_MorphNode : public TKSN_FloatArrayContainer {};

// A full snapshot of a mesh before a modelling operation (1011).
class TKSN_Undo_Node_Model : public virtual TKSN_Thingy {
public:
    TKSN_Undo_Node_Model() : ChangedSelectionList(1), ChangedMorphList(1) {}
    ~TKSN_Undo_Node_Model() override;

    // Fills the snapshot from the mesh (counts and symmetry offset are set
    // by the caller first, see KSN_SnapshotMeshForUndo).
    void GetAllDataFromMesh(TKSN_Mesh* mesh);
    // Pages the polygons out as one compact blob; once.
    void PushDataToVirtualMemory();
    // Brings them back; nothing while they are in memory.
    void PopDataFromVirtualMemory();

    // What the modelling tool attached to describe its operation; owned.
    TKSN_ModelerParameterDescription* ParameterDescription = nullptr;
    int32_t VertexCount = 0;
    int32_t TVertexCount = 0;
    int32_t PolygonCount = 0;
    float SymmetryOffset = 0.0f;
    TKSN_FloatArrayContainer SelectionValues;
    int32_t SelectionType = 0;
    TQORPolygon* Polygons = nullptr;      // QORalloc, PolygonCount records; null while paged out
    TKSN_FloatArrayContainer BaseVertices;
    TKSN_FloatArrayContainer TextureVertices;
    uint32_t PolygonsHandle = 0;
    TQORNewStaticList<TKSN_Undo_Node_Model_SelectionNode*> ChangedSelectionList;   // owned
    TQORNewStaticList<TKSN_Undo_Node_Model_MorphNode*> ChangedMorphList;           // owned

private:
    void FreePolygons();
};

// The mesh's edit-geometry hook: counts and offset, then the mesh's data.
// Start-up registers it (TKSN_MeshEditHooks::SnapshotForUndo).
void KSN_SnapshotMeshForUndo(TKSN_Undo_Node_Model* undo, TKSN_Mesh* mesh, int vertexCount, int tVertexCount,
                             int polygonCount, float symmetryOffset);

// [SECTION] Paint payload (KSN_Project_PaintUndo.cpp)

// One rectangle of one map as it was: RGB (3 bytes a pixel) and, when the
// map had a mask, its alpha (1 byte a pixel; 0 x 0 otherwise). Map pixels,
// rows in the map's order.
class TKSN_Undo_Node_Paint_SparceBlock {
public:
    int32_t X = 0;
    int32_t Y = 0;
    TQORImageMap Color;
    TQORImageMap Alpha;
};

class TKSN_Undo_Node_Paint_Map {
public:
    TKSN_Undo_Node_Paint_Map() : Blocks(1) {}
    ~TKSN_Undo_Node_Paint_Map();
    TKSN_Undo_Node_Paint_Map(const TKSN_Undo_Node_Paint_Map&) = delete;
    TKSN_Undo_Node_Paint_Map& operator=(const TKSN_Undo_Node_Paint_Map&) = delete;

    // Fills a new block from the map's present pixels of the rectangle (cut
    // to the map) and parks its images; appended. Used by the paint brushes.
    TKSN_Undo_Node_Paint_SparceBlock* AddBlockFromMap(TQORMaterialMapSource* map, int x, int y, int width,
                                                       int height);

    uint32_t MapSourceID = 0;
    uint32_t LayerDataID = 0;
    TQORNewStaticList<TKSN_Undo_Node_Paint_SparceBlock*> Blocks;   // owned
};

class TKSN_Undo_Node_Paint : public virtual TKSN_Thingy {
public:
    TKSN_Undo_Node_Paint() : Maps(1) {}
    ~TKSN_Undo_Node_Paint() override;
    // Bytes the blocks hold (colour and alpha), without fetching pixels.
    uint64_t GetApproximateSize() override;
    // The record of the map; made (with the map's current layer data) when
    // missing and create is set, else null.
    TKSN_Undo_Node_Paint_Map* GetMapNode(TQORMaterialMapSource* map, bool create);

    TQORNewStaticList<TKSN_Undo_Node_Paint_Map*> Maps;   // owned
    uint32_t ApproximateSize = 0;
};

// Swaps the record's blocks into the map: the map's present pixels of every
// block go to counterpart (may be null), then the blocks are written back,
// the first block last. Blocks are written only where they lie inside the
// map's present size. Throws when a parked image cannot be read back.
void UndoRedoPaintStroke(TKSN_Undo_Node_Paint_Map* record, TQORMaterialMapSource* map,
                         TKSN_Undo_Node_Paint_Map* counterpart);
