// Pool jobs and the scaling helper of the polygon mesh's normal passes.
//
// The jobs take a TThreadCruncher_ArrayChunk (as the untyped argument) whose
// User is the TQORPolyMesh and whose FillInt is the visible-only flag; with the
// flag set, chunk index i stands for entry i of the visible-polygon (or
// visible-vertex) list. Each call writes only the normal of its own element.
#pragma once

#include "QORPolyMesh.h"

#include <bit>
#include <cstdint>

// Bit-level reciprocal square root with one Newton step, in single precision:
// within 0.2% of 1/sqrt(squaredLength); finite (large) for 0.
inline float QORPolyMesh_FastInverseSqrt(float squaredLength)
{
    const float half = squaredLength * 0.5f;
    float y = std::bit_cast<float>(uint32_t(0x5F3759DFu - (std::bit_cast<uint32_t>(squaredLength) >> 1)));
    // For a zero vector y stays finite (about 2e19), so the scaled normal is exactly zero.
    y = (1.5f - half * y * y) * y;
    return y;
}

// The polygon mesh's own polygon normal (TQORPolyMesh::RecalculatePolyNormal),
// inline for callers that walk many polygons of a mesh known to keep it.
inline void QORPolyMesh_WritePolygonNormal(TQORPolyMesh& mesh, int polygon)
{
    const TQORPolygon& p = mesh.Polygons[polygon];
    float nx = 0.0f, ny = 0.0f, nz = 0.0f;
    if (p.Count >= 3 && p.Points) {
        // A corner naming no vertex of the mesh (left by an unfinished edit)
        // makes the polygon degenerate rather than reading outside the arrays.
        bool valid = true;
        for (int k = 0; k < p.Count && valid; ++k) valid = p.Points[k].V >= 0 && p.Points[k].V < mesh.vertexCount;
        if (valid) {
            const float* R = mesh.resolvedVertices;
            const float* a = R + 3 * mesh.GetEffectiveVertex(p.Points[0].V);
            for (int k = 1; k + 1 < p.Count; ++k) {
                const float* b = R + 3 * mesh.GetEffectiveVertex(p.Points[k].V);
                const float* c = R + 3 * mesh.GetEffectiveVertex(p.Points[k + 1].V);
                nx += (a[2] - b[2]) * (c[1] - b[1]) - (a[1] - b[1]) * (c[2] - b[2]);
                ny += (c[2] - b[2]) * (a[0] - b[0]) - (a[2] - b[2]) * (c[0] - b[0]);
                nz += (a[1] - b[1]) * (c[0] - b[0]) - (a[0] - b[0]) * (c[1] - b[1]);
            }
        }
    }
    const float r = QORPolyMesh_FastInverseSqrt(nx * nx + ny * ny + nz * nz);
    float* out = mesh.polygonNormals + 3 * polygon;
    out[0] = nx * r;
    out[1] = ny * r;
    out[2] = nz * r;
}

void* Calculate_Poly_Normals_ThreadFunc(void* chunk);
void* Calculate_Vertex_Normals_ThreadFunc(void* chunk);
