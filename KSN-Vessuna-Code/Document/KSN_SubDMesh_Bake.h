// Building all subdivision levels of a mesh through the project, and baking
// the Displacement and Bump maps of its materials into the top level.
//
// The bake is lazy and regional: the editable mesh's validation calls it
// (through TKSN_SubDMeshHooks) whenever its invalid box is not empty, and it
// re-bakes the polygons of the top level that meet the level's invalid box,
// or everything after the whole space was invalidated. Every vertex moves
// along its original normal by the displacement read at its texture
// coordinates; the bump map bends only the normals.
//
// Main thread only (inside validation or a progress bracket).
#pragma once

#include "KSN_SubDMesh.h"

class TKSN_Mesh;
class TKSN_Viewport;

// Builds the levels of a mesh up to level (with SubDDynamic until a level
// fails or reaches the polygon target), lets the lower levels share the top
// level's per-vertex arrays and invalidates the whole mesh so that the next
// validation bakes the top level. Nothing happens when level 0 exists or
// SubDsEnabled is off; a mesh without texture vertices gets the warning "UV
// mapping is necessary for this feature to function." and no levels.
void CreateSubDsForMesh(TKSN_Mesh* mesh, int level);

// The level edits act on, building the levels first when the mesh has none.
TKSN_SubDMesh* GetSubDForProcessDisplacementOrBumpMaps(TKSN_Mesh* mesh);
// regionOnly: only the level's invalid box (everything after a whole-space
// invalidation); changedOnly: only polygons whose base polygon is marked changed.
void BakeCurrentSubDWithBumpAndDisplacementMaps(TKSN_Mesh* mesh, bool regionOnly, bool changedOnly);
// Fills the global affected lists (KSN_Tool.h) with the level's polygons that
// meet [min, max] (or all of them) and their corner vertices, each once.
void GenerateAffectedListsForDisplacementOrBumpMaps(TKSN_SubDMesh* level, float* min, float* max, bool everything,
                                                    bool changedOnly);
// The octree search behind it; viewport and flag are handed down unused.
void GenerateAffectedPolygonList_Recurse(TKSN_SubDMesh* level, TKSN_Viewport* viewport, TQOROctreeNode<int>* node,
                                         bool flag, float* min, float* max, bool changedOnly);
// acc: 3 floats per vertex of the level (corner count, displacement, bump),
// cleared for the affected vertices by the caller; displacement and bump end
// as averages over the affected corners, in mesh units.
void CalculateDisplacementsForAffectedPolygons(TKSN_Mesh* mesh, TKSN_SubDMesh* level, bool& bumpFound, float* acc);
// Smoothed: the smoothed surface displaced, normals with the bump.
void ApplyDisplacementsForSmoothedRender(TKSN_SubDMesh* level, float* acc, bool bumpFound);
// Flat: the unsmoothed surface displaced, normals from the displaced smoothed
// surface pulled toward the original normals where the two agree.
void ApplyDisplacementsForFlatRender(TKSN_SubDMesh* level, float* acc, bool bumpFound);
void RecalculateAffectedPolygonNormals(TKSN_SubDMesh* level, const float* positions, float* polygonNormals,
                                       float* vertexNormals, bool normalise);

// Brightness 0..1 of an RGB map (3 bytes per pixel, rows of width pixels) at
// texture coordinates (u, v), bilinear, clamped to the edge texels.
float KSN_SubDMapBrightness(const unsigned char* pixels, int width, int height, float u, float v);

// Registers the bake and the sculpt-layer lookup with the levels and the
// editable mesh (every project constructor).
void KSN_RegisterSubDHooks();
