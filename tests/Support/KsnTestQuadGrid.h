// An editable mesh filled as an n x n grid of quads, for tests that need a
// small real surface: vertex (i, j) at position(i, j, p) and texture vertex
// (i / n, j / n); corners counter-clockwise seen from +z (clockwise when
// facing is false); vertex and polygon flags and weights cleared. The caller
// finishes the mesh (AfterRawBuild and the rest).
#pragma once

#include "KSN_Mesh.h"

#include <algorithm>
#include <vector>

template <class Position>
void KsnFillQuadGrid(TKSN_Mesh& mesh, int n, Position position, bool facing = true)
{
    const int side = n + 1, vertices = side * side;
    mesh.Create(vertices, vertices, vertices, n * n);
    std::vector<float> base, uv;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) {
            float p[3];
            position(i, j, p);
            base.insert(base.end(), {p[0], p[1], p[2]});
            uv.insert(uv.end(), {float(i) / float(n), float(j) / float(n)});
        }
    mesh.SetBaseVertexArray(base.data(), vertices);
    mesh.SetTVertexArray(uv.data(), vertices);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            TQORPolygon& q = mesh.Polygons[j * n + i];
            q.SetCount(4);
            int corners[4] = {j * side + i, j * side + i + 1, (j + 1) * side + i + 1, (j + 1) * side + i};
            if (!facing) std::reverse(corners, corners + 4);
            for (int k = 0; k < 4; ++k) q.Points[k] = {corners[k], corners[k]};
            mesh.PolygonFlags[j * n + i] = 0;
        }
    for (int v = 0; v < vertices; ++v) {
        mesh.VertexInfo[v].Flags = 0;
        mesh.VertexInfo[v].Select = 0.0f;
    }
}
