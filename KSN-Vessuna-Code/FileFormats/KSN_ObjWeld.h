// Quick weld: coincident vertices of an imported mesh made to act as one.
//
// OBJ files often split a surface into pieces whose border vertices lie on
// top of each other (one copy per group or UV island). QuickWeld3 finds
// vertices that coincide within a tolerance and sends each later copy to one
// representative through the mesh's weld table (TQORVertexInfo::WeldMaster),
// without changing any polygon: sculpting, symmetry and normals then see one
// connected surface, while the file's own numbering stays for writing back.
//
// Pairs are never tested all against all: the vertices are sorted by their
// distance from the bounding box's minimum corner (TQORProximityTester), and
// a vertex is compared only with the following ones whose distance lies
// within the radius.
//
// Main thread only.
#pragma once

class TQORPolyMesh;

// Welds with the radius tolerance × the largest side of the base vertices'
// bounding box. Writes only the weld-table entries of vertices it welds and
// always sets the mesh's welded flag; rebuilds the vertex-to-polygon lists,
// the polygon-neighbour table and the edges.
void QuickWeld3(TQORPolyMesh* mesh, float tolerance);
