// The quad grids the mesh benchmarks share: side x side quads in the xy-plane,
// filled the way a loader fills a mesh (arrays first, AfterRawBuild left to
// the caller).
#pragma once

#include "QORPolyMesh.h"

#include <memory>

// The corners of quad (x, y) of a side x side grid, counter-clockwise.
inline void KsnQuadCorners(int side, int x, int y, int* corners)
{
    const int row = side + 1;
    corners[0] = y * row + x;
    corners[1] = y * row + x + 1;
    corners[2] = (y + 1) * row + x + 1;
    corners[3] = (y + 1) * row + x;
}

// withUVs: one texture vertex per vertex (0..1 over the grid); rippled: the
// heights vary, so normals are not all equal.
inline std::unique_ptr<TQORPolyMesh> KsnMakeQuadGrid(int side, bool withUVs = true, bool rippled = false)
{
    auto mesh = std::make_unique<TQORPolyMesh>();
    const int row = side + 1;
    mesh->Create(row * row, withUVs ? row * row : 0, row * row, side * side);
    for (int y = 0; y < row; ++y)
        for (int x = 0; x < row; ++x) {
            const int v = y * row + x;
            mesh->baseVertices[3 * v + 0] = float(x);
            mesh->baseVertices[3 * v + 1] = float(y);
            mesh->baseVertices[3 * v + 2] = rippled ? float((x * 7 + y * 3) % 5) * 0.1f : 0.0f;
            if (withUVs) {
                mesh->tVertices[2 * v + 0] = float(x) / float(side);
                mesh->tVertices[2 * v + 1] = float(y) / float(side);
            }
        }
    mesh->CopyBaseVerticesToResolvedVertices();
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            TQORPolygon& p = mesh->Polygons[y * side + x];
            p.SetCount(4);
            int corners[4];
            KsnQuadCorners(side, x, y, corners);
            for (int k = 0; k < 4; ++k) {
                p.Points[k].V = corners[k];
                if (withUVs) p.Points[k].VT = corners[k];
            }
        }
    return mesh;
}
