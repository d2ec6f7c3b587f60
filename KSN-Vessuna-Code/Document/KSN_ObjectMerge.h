// Merging objects: the work of appending objects to one new mesh, and laying
// the materials' texture regions side by side in one UV square.
//
// TKSN_ObjectMerge lives for one TKSN_Project::MergeAllObjects. A first pass
// sums the counts of the objects that take part, so the merged mesh is sized
// once; ConsiderMeshPass2 then appends one object: its resolved vertices,
// texture vertices and polygons (indices shifted by the running offsets), its
// materials and groups (copied or one per object, named as the switches say)
// and, unless maps are discarded, its map bindings, which move over with
// their IDs so the copied channels stay bound.
//
// Main thread only.
#pragma once

#include "QORNewStaticList.h"

#include <cstdint>
#include <vector>

class TKSN_Object;
class TKSN_Mesh;
class TKSN_Project;

class TKSN_ObjectMerge {
public:
    TKSN_ObjectMerge(TKSN_Project* project, bool renameGroups, bool renameMaterials, bool oneGroupPerObject,
                     bool oneMaterialPerObject, bool discardMaps);

    // First pass: the object joins the list and the totals.
    void ConsiderMeshPass1(TKSN_Object* object);
    // The merged object, its mesh sized for the totals.
    TKSN_Object* CreateMergedObject();
    // Second pass: appends one object to the merged mesh.
    void ConsiderMeshPass2(TKSN_Object* object);

    // Totals of the first pass.
    int VertexTotal = 0, TVertexTotal = 0, PolygonTotal = 0, MaterialTotal = 0, GroupTotal = 0, MapTotal = 0;
    // Running offsets of the second pass.
    int VertexOffset = 0, TVertexOffset = 0, PolygonOffset = 0, MaterialIndex = 0, GroupIndex = 0, MapCount = 0;
    bool RenameGroups, RenameMaterials, OneGroupPerObject, OneMaterialPerObject, DiscardMaps;
    std::vector<uint32_t> PolygonLayerFlags;     // per merged polygon
    TKSN_Project* Project;
    TKSN_Mesh* Mesh = nullptr;                    // owned by the merged object
    TQORNewStaticList<TKSN_Object*> ObjectList;   // not owned
};

// TODO(stub): stands for the renderer's texture bin (TBin): one material's
// UV bounds, the 3D bounds of its polygons, their surface area, and its size,
// share and place in the shared square.
struct TBin {
    void Init(int material);
    int Material = -1;
    float UVMin[2], UVMax[2];
    float Min[3], Max[3];
    float Area = 0.0f;
    float Width = 0.0f, Height = 0.0f;   // in the shared square
    float Share = 0.0f;
    float X = 0.0f, Y = 0.0f;            // lower-left corner of its region
    bool Used = false;                    // some corner was taken in
};

// Rebuilds the mesh's texture coordinates as one skin: every material gets
// its own region of the unit square, sized by the surface of its polygons,
// placed in rows (widest first) so that no two regions overlap.
void SingleSkinMesh(TKSN_Mesh* mesh);
