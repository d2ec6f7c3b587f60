// Sculpt layers and vertex maps.
//
// The sculpt brushes leave the base mesh and the morph targets alone; they
// write per-vertex displacements into sculpt layers. A sculpt layer
// (TKSN_SculptLayer) is a layer definition in the project's sculpt-layer
// group: name, strength, blend type, lock and hide state. The displacements
// live with each mesh: its layer data set holds one TKSN_VertexMap per sculpt
// layer the mesh was sculpted on, with one (x, y, z) displacement per vertex
// of the mesh's highest sub-division level. The project resolves them
// (TKSN_Project::ResolveAllSculptLayers): base positions plus every shown
// layer's displacements scaled by its strength.
//
// Text forms:
//
//     sculptLayer<TAB><name>              (in the "sculptLayers" group block)
//     {
//         Name / ReadOnly / Collapsed / ID / Current   (thingy basics)
//         BlendType<TAB>%d
//         Strength<TAB>%.8f
//         Locked<TAB>0|1
//         Hidden<TAB>0|1
//     }
//
//     sculptLayer<TAB><layer name>        (in a "mesh" block: a vertex map)
//     {
//         Count<TAB>%d                    vertices
//         Dim<TAB>%d                      values per vertex (3)
//         data<TAB>...                    Count x Dim little-endian floats, Base64 blob
//     }
//
// Older files lack the Strength, Locked and Hidden lines; such layers load
// as new ones (1.0, unlocked, shown).
//
// Invariants:
// - A vertex map holds displacements only when Data is set and holds exactly
//   Count x Dim values (HasData); Count and Dim read from a file without an
//   acceptable blob leave a map that holds none.
// - A vertex map owns Data (QORalloc) and is never paged out (MemoryHandle
//   stays 0).
//
// Main thread only.
#pragma once

#include "KSN_Layer.h"

#include <cstdint>
#include <cstdio>

class TKSN_Mesh;

class TKSN_SculptLayer : public TKSN_LayerDefinition {
public:
    // Strength 1.0, blend type 1 ("Freeform Sculpt").
    TKSN_SculptLayer();
    ~TKSN_SculptLayer() override = default;

    // Sculpt layers are resolved by the project, never by the layer itself.
    void ResolveInvalidData() override {}
    void ResolveAllData() override {}
    int GetBlendTypeCount() const override { return 2; }
    // "Surface Detail" / "Detail" (0), "Freeform Sculpt" / "Sculpt" (1),
    // "undef" otherwise; out holds at least 16 bytes.
    void GetBlendTypeName(int type, char* out) const override;
    void GetBlendTypeNameShort(int type, char* out) const override;

    // The "sculptLayer" block; withBlock false writes only its lines. True.
    bool SaveToStream_Text(FILE* file, bool withBlock) override;
    // "BlendType", "Strength", "Locked" and "Hidden" (exact case); true for every key.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
};

// The project's "*Sculpt Layers" group and its sub-folders.
class TKSN_SculptLayerGroup : public TKSN_LayerGroup {
public:
    TKSN_SculptLayerGroup() = default;
    ~TKSN_SculptLayerGroup() override = default;

    TKSN_LayerDefinition* CreateNewLayerRaw() override;
    // Resolves every mesh's sculpt layers again (Project->ResolveAllSculptLayers).
    void InvalidateAllLayers() override;
    void ValidateAllLayers() override {}
    // "Hidden" and "group" through the tree group; "sculptLayer" (any case)
    // makes a layer that reads its block. True.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;
    // A nested "group" block becomes a child sculpt-layer group named value.
    bool LoadSubGroup(FILE* file, char* key, char* value) override;
};

class TKSN_VertexMap : public TKSN_LayerData {
public:
    TKSN_VertexMap();
    ~TKSN_VertexMap() override;

    // Frees the data, then count x dim cleared floats (none for a count or
    // dim below 1, which are stored as 0).
    virtual void SetCount(int count, int dim);
    // Every value 0.
    virtual void Clear();
    // The vertex-map body (no header, no basics; the flag is not used). True.
    bool SaveToStream_Text(FILE* file, bool flag) override;
    // "Count", "Dim" (exact case) and "data" (any case); the blob is taken
    // only when its length is Count x Dim x 4 bytes as read so far. True.
    // Throws (QORThrowException "Invalid data in file") on a malformed blob.
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override;

    // Whether Data holds exactly Count x Dim values.
    bool HasData() const;

    float* Data = nullptr;       // Count x Dim values, vertex-major
    int32_t Count = 0;           // vertices
    int32_t Dim = 0;             // values per vertex; sculpt layers use 3
    uint32_t MemoryHandle = 0;   // virtual-memory block; vertex maps are never paged out

private:
    void FreeData();
    int64_t ValuesHeld = 0;      // floats in Data
};

// The mesh block's side (the project registers both as the mesh's hooks).
// Writes one "sculptLayer" block per vertex map of the mesh's layer data set
// whose layer is a sculpt layer, in layer order.
void KSN_SaveMeshSculptLayers(TKSN_Mesh* mesh, FILE* file);
// Reads the vertex map of the sculpt layer named name (any case, among the
// items directly in the project's sculpt-layer group) into the mesh; an
// earlier map of that layer is replaced. False, with nothing read, when there
// is no such layer: the caller then skips the block.
bool KSN_LoadMeshSculptLayer(TKSN_Mesh* mesh, FILE* file, const char* name);
