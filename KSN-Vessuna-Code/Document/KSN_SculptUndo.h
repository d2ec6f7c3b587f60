// Undo of sculpt strokes.
//
// A stroke (from the brush's BeforeUse to its AfterUse) is one undo step:
// one node of kind KSN_UNDO_SCULPT per object whose layer data the stroke
// changed, holding the data from before the stroke together with the
// sculpted level's resolved positions and normals, so that undo and redo
// give back exactly what was there. Data the stroke created comes back as
// zeros (the map stays).
//
// Main thread only.
#pragma once

#include "KSN_Thingy.h"

#include <cstdint>
#include <vector>

class TKSN_Mesh;
class TKSN_MeshRoot;

class TKSN_SculptUndoNode : public virtual TKSN_Thingy {
public:
    TKSN_SculptUndoNode() = default;
    ~TKSN_SculptUndoNode() override = default;
    uint64_t GetApproximateSize() override;

    uint32_t LayerID = 0;
    int32_t VertexCount = 0;
    std::vector<float> Deltas;          // 3 per vertex; zeros when the mesh had no data
    std::vector<float> Positions;       // the level's resolved positions
    std::vector<float> VertexNormals;
    std::vector<float> PolygonNormals;
};

// The level sculpt strokes write to: the highest subdivision level, or the mesh.
TKSN_MeshRoot* KSN_SculptTargetLevel(TKSN_Mesh* mesh);
// The mesh's data for the layer sized for vertexCount, or null.
float* KSN_SculptLayerData(TKSN_Mesh* mesh, uint32_t layerID, int vertexCount);
// Fills state with the mesh's current values for the layer.
void KSN_CaptureSculptState(TKSN_Mesh* mesh, uint32_t layerID, TKSN_SculptUndoNode& state);
// Writes the state back (data, positions, normals). False when the level no
// longer matches it.
bool KSN_RestoreSculptState(TKSN_Mesh* mesh, const TKSN_SculptUndoNode& state);

// The stroke bracket the sculpt brushes call through the tool hooks.
void KSN_BeginSculptStrokeUndo();
void KSN_EndSculptStrokeUndo();
