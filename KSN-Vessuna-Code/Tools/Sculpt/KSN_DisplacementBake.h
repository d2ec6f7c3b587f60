// Baking the sculpted detail of a subdivided mesh into its displacement map.
//
// For every vertex of the mesh's highest subdivision level the bake measures
// how far the resolved position (with the sculpt layers) lies from the base
// position along the vertex normal, scales the distances into 0..1 around 0.5
// (0.5 no displacement, 1 the largest outward one) and rasterises them
// through the level's texture coordinates into the map bound to the
// "Displacement" channel of the polygons' materials. The channel strength is
// set so that a value t stands for (t - 0.5) x strength x diameter.
//
// Polygons are grouped by the map they reach: every map is baked whole, even
// when the materials that use it are interleaved with others, and a strength
// is set (and the map's change notified) only for maps that were written.
// Pixels no triangle reaches keep their values; a two-pixel fringe around the
// UV islands is filled from the nearest triangle edge.
//
// Main thread only.
#pragma once

#include <cstdint>

class TKSN_Mesh;
class TKSN_MeshRoot;

// Draws one triangle into an image (bytesPerPixel bytes a pixel, rows of
// rowLength pixels). points: 3 corners {x, y, z} in pixels (z the priority,
// 1 for the bake); colors: 3 corners of 4 floats (the first three written as
// 0..255 bytes). depth: one float per pixel, the priority of the triangle that
// wrote the pixel; null raises "DepthBuffer == NULL and USE_DEPTH_BUFFER".
// With fringe, pixels up to two pixels outside the triangle are written with
// the priority 255 / (distance^2 + 1), so the nearest edge wins; a pixel some
// triangle covers from inside is never taken by another one's fringe (the
// last covering triangle sets it).
void KSN_RasterizeDisplacementMapTriangle(const float points[3][3], const float colors[3][4], int width,
                                          int rowLength, int height, unsigned char* pixels, int bytesPerPixel,
                                          float* depth, bool fringe);

// The scaled displacement t (0..1) of every vertex of the level into out
// (GetVCount floats); answers the largest absolute displacement m.
float KSN_ComputeScaledDisplacements(TKSN_MeshRoot* level, float* out);

// Bakes one mesh's level into its displacement maps. Answers the number of
// maps written.
int BakeDisplacementMapsForMesh(TKSN_MeshRoot* level, TKSN_Mesh* mesh);
// Every object's mesh that has subdivision levels; answers the maps written.
int BakeDisplacementMaps();
