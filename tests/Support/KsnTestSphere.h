// An editable mesh filled as a UV sphere of radius 1 about the origin:
// rings of segments vertices from latitude -0.49 pi to 0.49 pi (no poles),
// quads between neighbouring rings wound outward, material 0, vertex and
// polygon flags cleared. KsnFinishSphere then gives it its resolved
// positions, bounds, vertex rows, normals, visible lists and octree, once the
// caller has set its flags. The sculpt tests and the sculpt benchmark share it.
#pragma once

#include "KSN_Mesh.h"

#include <cmath>

inline void KsnFillSphere(TKSN_Mesh& m, int rings, int segments)
{
    const int vertices = rings * segments, polygons = (rings - 1) * segments;
    m.Create(vertices, 0, vertices, polygons);
    const double pi = 3.14159265358979;
    for (int r = 0; r < rings; ++r) {
        const double lat = -0.49 * pi + 0.98 * pi * r / (rings - 1);
        for (int k = 0; k < segments; ++k) {
            const double lon = 2.0 * pi * k / segments;
            float* p = m.baseVertices + 3 * (r * segments + k);
            p[0] = float(std::cos(lat) * std::cos(lon));
            p[1] = float(std::sin(lat));
            p[2] = float(std::cos(lat) * std::sin(lon));
            m.VertexInfo[r * segments + k].Flags = 0;
        }
    }
    for (int r = 0, q = 0; r + 1 < rings; ++r)
        for (int k = 0; k < segments; ++k, ++q) {
            const int a = r * segments + k, b = r * segments + (k + 1) % segments;
            m.Polygons[q].SetCount(4);
            const int corners[4] = {a, a + segments, b + segments, b};
            for (int c = 0; c < 4; ++c) m.Polygons[q].Points[c] = {corners[c], -1};
            m.Polygons[q].Material = 0;
            m.PolygonFlags[q] = 0;
        }
}

inline void KsnFinishSphere(TKSN_Mesh& m)
{
    m.CopyBaseVerticesToResolvedVertices();
    m.CalculateBounds();
    m.BuildVertexPolygons();
    m.RecalculateNormals(false);
    m.GetVisibleVertexCount();
    m.BuildOctree();
}
