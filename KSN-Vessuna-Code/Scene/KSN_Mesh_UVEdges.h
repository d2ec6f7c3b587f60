// TKSN_UVEdge2: the UV-seam and border edges a mesh builds before painting.
//
// Painting across a cut in the UV mapping needs to know where the cuts are:
// every polygon edge that lies on the open border of the mesh, or on a seam
// (two polygons share the edge in space but name different texture vertices
// along it), gets one record per owning polygon. A record carries, in texture
// space and in 3D, the edge's length and the unit normal that points out of
// its polygon across the edge, and at each corner a tangent shared with the
// neighbouring seam edge of the same island plus a convex mark.
//
// Invariants (after BuildUVEdges2):
// - mesh->UVEdges holds mesh->UVEdgeCount records in ascending
//   (first vertex, second vertex, polygon) order; Index is the position.
// - First vertex <= second vertex (effective vertices, weld masters when welded).
// - PartnerEdge and the corner neighbours are indices into the same array, or −1.
// - mesh->PolygonUVEdges has one row per polygon listing its records in array order.
// - Polygon flag KSN_POLY_UV_SEAM marks each owning and each partner polygon.
// The records describe the last build: edits of geometry or texture vertices
// do not update them.
//
// A corner without a texture vertex (−1, or an index the mesh lacks) reads as
// texture coordinates (0, 0): the record stays valid, its UV fields are just
// not meaningful. Zero-length edges keep unnormalised (zero) directions.
//
// Main thread only.
#pragma once

#include <cstdint>
#include <vector>

class TKSN_Mesh;

// The polygon owns a seam or border edge, or is the partner of a seam edge.
constexpr uint32_t KSN_POLY_UV_SEAM = 0x80000;

struct TKSN_UVEdge2;

// Temporary per-vertex lists of the kept records while the table is built.
using TKSN_UVEdgeVertexLists = std::vector<std::vector<TKSN_UVEdge2*>>;

// A plain record (trivially copyable): copied by value into the mesh's array.
struct TKSN_UVEdge2 {
    int32_t Vertex[2] = {-1, -1};         // effective vertices; [0] is the smaller
    int32_t TVertex[2] = {-1, -1};        // texture vertex of each end in the owning polygon
    int32_t Polygon = -1;                 // owning polygon
    int32_t PartnerPolygon = -1;          // the other polygon along the vertex pair; −1 border
    uint8_t Seam = 0;                     // 1: the partner maps the edge with other texture vertices
    float UVNormal[2] = {0.0f, 0.0f};     // texture space, unit, out of the polygon
    float EdgeNormal[3] = {0.0f, 0.0f, 0.0f};   // 3D, in the polygon's plane, out of the polygon
    float UVLength = 1.0f;                // texture units
    float Length = 1.0f;                  // object-space units
    float Reserved = 0.0f;
    int32_t Index = -1;                   // position in the mesh's array
    int32_t CornerNeighbour[2] = {-1, -1};   // the seam edge meeting this one at each corner
    int32_t PartnerEdge = -1;             // record of the partner polygon along a seam
    float CornerUVTangent[2][2] = {{0.0f, 0.0f}, {0.0f, 0.0f}};
    float CornerTangent[2][3] = {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}};
    uint8_t CornerConvex[2] = {0, 0};     // 1: convex in texture space
    TKSN_UVEdge2* PartnerLink = nullptr;  // only while the table is built; null in the stored array

    // Lengths and the two normals of a new record.
    void InitializeVectors(TKSN_Mesh* mesh);
    // Corner neighbours, tangents and convex marks from the per-vertex lists
    // of the kept records. The map argument is not used.
    void CalculateCornerTangents(TKSN_Mesh* mesh, const void* edgeMap, const TKSN_UVEdgeVertexLists& lists);
    // 3D length and edge normal again after the resolved positions moved; UV
    // fields untouched.
    void UpdateVEdgeTangent(TKSN_Mesh* mesh);
};

// Rebuilds mesh->UVEdges, UVEdgeCount, the seam flags and PolygonUVEdges.
void BuildUVEdges2(TKSN_Mesh* mesh);

// Whether the corner that edge and other share is concave in texture space.
// corner: the end of edge at the shared vertex (0 or 1); farEnd: its other end.
bool IsPointConcave(TKSN_Mesh* mesh, TKSN_UVEdge2* edge, TKSN_UVEdge2* other, int corner, int farEnd);

// Recomputes the normals of the polygons around the selected vertices (each
// once) and the selected vertices' normals. positions is not used.
void RecalculateSelectedNormalsB(TKSN_Mesh* mesh, float* positions, float* polygonNormals, float* vertexNormals);
