// The mesh's own placement (rotation about its bounds centre, scale about the
// world origin, position), its bounds, and the lookups that fold a point onto
// the kept side of the symmetry plane (used to paint both sides of a model).
//
// Matrices are row-vector: p' = p × M, and in a product the left factor acts
// first. TotalMatrix = T(−c) · R · T(+c) · S · T(P) with c the bounds centre.
#include "QORPolyMesh.h"

#include "KSN_ParallelBlocks.h"

#include "QORMatrix.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

void Translation(float* m, float x, float y, float z)
{
    QORMatrix_Identity4x4(m);
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

void Scale(float* m, const float* s)
{
    QORMatrix_Identity4x4(m);
    m[0] = s[0];
    m[5] = s[1];
    m[10] = s[2];
}

void TransformPoint(float* q, const float* m)
{
    const float x = q[0], y = q[1], z = q[2];
    q[0] = x * m[0] + y * m[4] + z * m[8] + m[12];
    q[1] = x * m[1] + y * m[5] + z * m[9] + m[13];
    q[2] = x * m[2] + y * m[6] + z * m[10] + m[14];
}

}  // namespace

void TQORPolyMesh::GenerateTotalMatrix()
{
    float c[3];
    for (int i = 0; i < 3; ++i) c[i] = (boundsMin[i] + boundsMax[i]) * 0.5f;
    float t[16];

    QORMatrix_Identity4x4(TotalMatrix);
    Translation(t, -c[0], -c[1], -c[2]);
    QORMatrix_MultiplyMatrix4x4(TotalMatrix, t);
    QORMatrix_MultiplyMatrix4x4(TotalMatrix, RotationMatrix);
    Translation(t, c[0], c[1], c[2]);
    QORMatrix_MultiplyMatrix4x4(TotalMatrix, t);
    Scale(t, Transform_Scale);
    QORMatrix_MultiplyMatrix4x4(TotalMatrix, t);
    Translation(t, Transform_Pos[0], Transform_Pos[1], Transform_Pos[2]);
    QORMatrix_MultiplyMatrix4x4(TotalMatrix, t);

    QORMatrix_Identity4x4(LinearMatrix);
    QORMatrix_MultiplyMatrix4x4(LinearMatrix, RotationMatrix);
    Scale(t, Transform_Scale);
    QORMatrix_MultiplyMatrix4x4(LinearMatrix, t);

    // A zero scale factor collapses its axis in the inverse instead of producing infinities.
    float inverseScale[3];
    for (int i = 0; i < 3; ++i) {
        const float s = Transform_Scale[i];
        inverseScale[i] = (s > 1e-30f || s < -1e-30f) ? 1.0f / s : 0.0f;
    }
    QORMatrix_Transpose4x4(InverseRotationMatrix, RotationMatrix);

    QORMatrix_Identity4x4(InverseTotalMatrix);
    Translation(t, -Transform_Pos[0], -Transform_Pos[1], -Transform_Pos[2]);
    QORMatrix_MultiplyMatrix4x4(InverseTotalMatrix, t);
    Scale(t, inverseScale);
    QORMatrix_MultiplyMatrix4x4(InverseTotalMatrix, t);
    Translation(t, -c[0], -c[1], -c[2]);
    QORMatrix_MultiplyMatrix4x4(InverseTotalMatrix, t);
    QORMatrix_MultiplyMatrix4x4(InverseTotalMatrix, InverseRotationMatrix);
    Translation(t, c[0], c[1], c[2]);
    QORMatrix_MultiplyMatrix4x4(InverseTotalMatrix, t);

    QORMatrix_Identity4x4(InverseLinearMatrix);
    QORMatrix_MultiplyMatrix4x4(InverseLinearMatrix, InverseRotationMatrix);
    Scale(t, inverseScale);
    QORMatrix_MultiplyMatrix4x4(InverseLinearMatrix, t);

    TotalMatrixIsIdentity = QORMatrix_IsIdentity4x4(TotalMatrix, 1e-30f);
    LinearMatrixIsIdentity = QORMatrix_IsIdentity4x4(LinearMatrix, 1e-30f);
}

void TQORPolyMesh::CalculateBounds()
{
    if (vertexCount <= 0) {
        for (int i = 0; i < 3; ++i) {
            boundsMin[i] = boundsMax[i] = 0.0f;
            resolvedBoundsMin[i] = resolvedBoundsMax[i] = 0.0f;
            transformedBoundsMin[i] = transformedBoundsMax[i] = 0.0f;
        }
        boundsDiagonal = 0.0f;
        return;
    }
    // Blocks of vertices on the pool, each started from vertex 0 as the whole
    // walk is, then joined in block order with the same strict comparisons:
    // the same floats as one walk, down to which of two equal zeros is kept
    // and a not-a-number at vertex 0 winning.
    constexpr size_t kBlock = 65536;
    const size_t blocks = (size_t(vertexCount) + kBlock - 1) / kBlock;
    std::vector<std::array<float, 6>> blockBounds(blocks);
    auto bound = [&](size_t firstBlock, size_t endBlock) {
        for (size_t b = firstBlock; b < endBlock; ++b) {
            float lo[3] = {baseVertices[0], baseVertices[1], baseVertices[2]};
            float hi[3] = {lo[0], lo[1], lo[2]};
            for (size_t v = std::max<size_t>(1, b * kBlock), end = std::min(size_t(vertexCount), (b + 1) * kBlock);
                 v < end; ++v)
                for (int i = 0; i < 3; ++i) {
                    const float x = baseVertices[3 * v + size_t(i)];
                    if (x < lo[i]) lo[i] = x;
                    if (x > hi[i]) hi[i] = x;
                }
            blockBounds[b] = {lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]};
        }
    };
    KSN_RunInBlocks(blocks, 1, bound);
    for (int i = 0; i < 3; ++i) boundsMin[i] = boundsMax[i] = baseVertices[i];
    for (const std::array<float, 6>& b : blockBounds)
        for (int i = 0; i < 3; ++i) {
            if (b[size_t(i)] < boundsMin[i]) boundsMin[i] = b[size_t(i)];
            if (b[size_t(i) + 3] > boundsMax[i]) boundsMax[i] = b[size_t(i) + 3];
        }
    const float dx = boundsMax[0] - boundsMin[0], dy = boundsMax[1] - boundsMin[1], dz = boundsMax[2] - boundsMin[2];
    boundsDiagonal = std::sqrt(dx * dx + dy * dy + dz * dz);
    InvalidateAllInOSpace();
    for (int i = 0; i < 3; ++i) {
        resolvedBoundsMin[i] = boundsMin[i];
        resolvedBoundsMax[i] = boundsMax[i];
    }
    GenerateTotalMatrix();
    AdjustMinMaxWithMatrix(transformedBoundsMin, transformedBoundsMax, TotalMatrix, false, boundsMin, boundsMax);
}

// ---------------------------------------------------------------------------
// [SECTION] Symmetric lookups
// ---------------------------------------------------------------------------

namespace {

// Folds q onto the side the direction keeps, in the untransformed frame where
// the symmetry plane is defined.
void FoldPoint(const TQORPolyMesh& mesh, float* q)
{
    if (mesh.symmetryState != 1 && mesh.symmetryState != 2) return;
    if (!mesh.TotalMatrixIsIdentity) TransformPoint(q, mesh.InverseTotalMatrix);
    const int a = mesh.symmetryAxis >= 0 && mesh.symmetryAxis < 3 ? mesh.symmetryAxis : 0;
    const float o = mesh.symmetryOffset;
    const float d = std::fabs(q[a] - o);
    q[a] = mesh.symmetryState == 1 ? o + d : o - d;
    if (!mesh.TotalMatrixIsIdentity) TransformPoint(q, mesh.TotalMatrix);
}

}  // namespace

void TQORPolyMesh::GetSymmetricBaseVertex_NewStyle(int vertex, float* out)
{
    for (int i = 0; i < 3; ++i) out[i] = baseVertices[3 * vertex + i];
    FoldPoint(*this, out);
}

void TQORPolyMesh::GetSymmetricResolvedVertex_NewStyle(int vertex, float* out)
{
    for (int i = 0; i < 3; ++i) out[i] = resolvedVertices[3 * vertex + i];
    FoldPoint(*this, out);
}

void TQORPolyMesh::GetSymmetricResolvedPolyCentre_NewStyle(int polygon, float* out)
{
    out[0] = out[1] = out[2] = 0.0f;
    const TQORPolygon& p = Polygons[polygon];
    int used = 0;
    if (p.Points)
        for (int k = 0; k < p.Count; ++k) {
            int v = p.Points[k].V;
            if (v < 0 || v >= vertexCount) continue;
            v = GetEffectiveVertex(v);
            if (v < 0 || v >= vertexCount) continue;
            for (int i = 0; i < 3; ++i) out[i] += resolvedVertices[3 * v + i];
            ++used;
        }
    if (used > 0)
        for (int i = 0; i < 3; ++i) out[i] /= float(used);
    FoldPoint(*this, out);
}
