// How much a morph creased the surface around a vertex: the spread between a
// vertex normal and the normals of its polygons, against the unmorphed shape.
#ifndef KSN_MESHARTIFACTS_H
#define KSN_MESHARTIFACTS_H

class TKSN_Mesh;

// Frees what the two pointers hold and gives them new arrays (QORalloc, the
// caller frees them with QORfree) of the unmorphed shape's vertex and polygon
// normals, three floats each. The mesh's resolved positions and normals end
// as they began. Normals are recomputed twice: call it once per operation.
void GetDataForSelectArtifacts(TKSN_Mesh* mesh, float** vertexNormals, float** polygonNormals);

// 0 (the surroundings only moved rigidly, or the vertex has no polygon) to 1
// (about 57 degrees of spread added or taken away).
float GetArtifactValue(TKSN_Mesh* mesh, int vertex, const float* baseVertexNormals, const float* basePolygonNormals);

#endif // KSN_MESHARTIFACTS_H
