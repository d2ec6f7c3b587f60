// Mesh transform, bounds and the symmetric lookups.
#include "GeometryTestSupport.h"

#include "QORMatrix.h"

#include <cmath>

namespace {

using GeometryTest::MakeMesh;

void Apply(const float* m, const float* p, float* out)
{
    for (int i = 0; i < 3; ++i) out[i] = p[0] * m[i] + p[1] * m[4 + i] + p[2] * m[8 + i] + m[12 + i];
}

void ExpectPoint(const float* got, float x, float y, float z, float tolerance = 1e-5f)
{
    EXPECT_NEAR(got[0], x, tolerance);
    EXPECT_NEAR(got[1], y, tolerance);
    EXPECT_NEAR(got[2], z, tolerance);
}

// Two corners of the box (0,0,0)–(2,2,2) plus its centre.
std::unique_ptr<TQORPolyMesh> Box()
{
    return MakeMesh({{0, 0, 0}, {2, 2, 2}, {1, 1, 1}}, {{0, 1, 2}});
}

TEST(PolyMeshTransform, TheDefaultPlacementIsTheIdentityWhateverTheBounds)
{
    auto mesh = MakeMesh({{-3, 4, 1}, {5, -2, 7}}, {});
    mesh->CalculateBounds();
    EXPECT_TRUE(mesh->TotalMatrixIsIdentity);
    EXPECT_TRUE(mesh->LinearMatrixIsIdentity);
    for (const float* m : {mesh->TotalMatrix, mesh->LinearMatrix, mesh->InverseTotalMatrix,
                           mesh->InverseRotationMatrix, mesh->InverseLinearMatrix})
        EXPECT_TRUE(QORMatrix_IsIdentity4x4(m, 1e-6f));
    ExpectPoint(mesh->boundsMin, -3, -2, 1);
    ExpectPoint(mesh->boundsMax, 5, 4, 7);
    ExpectPoint(mesh->transformedBoundsMax, 5, 4, 7);
    EXPECT_NEAR(mesh->boundsDiagonal, std::sqrt(64.0f + 36.0f + 36.0f), 1e-4f);
}

TEST(PolyMeshTransform, ScaleActsAboutTheWorldOriginAndTheInverseUndoesIt)
{
    auto mesh = Box();
    for (float& s : mesh->Transform_Scale) s = 2.0f;
    mesh->CalculateBounds();
    const float p[3] = {1, 1, 1};
    float q[3], back[3];
    Apply(mesh->TotalMatrix, p, q);
    ExpectPoint(q, 2, 2, 2);
    Apply(mesh->InverseTotalMatrix, q, back);
    ExpectPoint(back, 1, 1, 1);
    EXPECT_FALSE(mesh->TotalMatrixIsIdentity);
    EXPECT_FALSE(mesh->LinearMatrixIsIdentity);
    ExpectPoint(mesh->transformedBoundsMin, 0, 0, 0);
    ExpectPoint(mesh->transformedBoundsMax, 4, 4, 4);
}

TEST(PolyMeshTransform, RotationTurnsAboutTheBoundsCentre)
{
    auto mesh = Box();
    QORMatrix_Identity4x4(mesh->RotationMatrix);   // 90° about z: x → y, y → −x
    mesh->RotationMatrix[0] = 0;
    mesh->RotationMatrix[1] = 1;
    mesh->RotationMatrix[4] = -1;
    mesh->RotationMatrix[5] = 0;
    mesh->Transform_Pos[0] = 10;
    mesh->CalculateBounds();
    const float centre[3] = {1, 1, 1}, corner[3] = {2, 1, 1};
    float q[3], back[3];
    Apply(mesh->TotalMatrix, centre, q);
    ExpectPoint(q, 11, 1, 1);
    Apply(mesh->TotalMatrix, corner, q);
    ExpectPoint(q, 11, 2, 1);
    Apply(mesh->InverseTotalMatrix, q, back);
    ExpectPoint(back, 2, 1, 1);
}

TEST(PolyMeshTransform, AZeroScaleCollapsesItsAxisInTheInverse)
{
    auto mesh = Box();
    mesh->Transform_Scale[1] = 0.0f;
    mesh->CalculateBounds();
    for (float e : mesh->InverseTotalMatrix) EXPECT_TRUE(std::isfinite(e));
    const float p[3] = {3, 5, 7};
    float q[3];
    Apply(mesh->InverseTotalMatrix, p, q);
    ExpectPoint(q, 3, 0, 7);
}

TEST(PolyMeshTransform, AnEmptyMeshHasZeroBoundsAndKeepsItsMatrices)
{
    TQORPolyMesh mesh;
    mesh.Transform_Scale[0] = 3.0f;
    mesh.CalculateBounds();
    EXPECT_EQ(mesh.boundsDiagonal, 0.0f);
    ExpectPoint(mesh.boundsMax, 0, 0, 0);
    ExpectPoint(mesh.transformedBoundsMax, 0, 0, 0);
    EXPECT_TRUE(mesh.TotalMatrixIsIdentity);   // not recomputed
}

TEST(PolyMeshSymmetry, PointsFoldOntoTheKeptSide)
{
    const struct {
        int axis;
        float offset;
        int direction;
        float in[3], out[3];
    } cases[] = {
        {0, 0, 1, {-3, 1, 2}, {3, 1, 2}},
        {0, 0, 1, {3, 1, 2}, {3, 1, 2}},
        {0, 0, 2, {3, 1, 2}, {-3, 1, 2}},
        {0, 1, 1, {-3, 0, 0}, {5, 0, 0}},
        {1, 0, 2, {0, 4, 0}, {0, -4, 0}},
        {2, 0, 1, {1, 1, 0}, {1, 1, 0}},   // on the plane
        {0, 0, 0, {-3, 1, 2}, {-3, 1, 2}},   // no symmetry map active
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "axis " << c.axis << " offset " << c.offset << " direction " << c.direction);
        auto mesh = MakeMesh({{c.in[0], c.in[1], c.in[2]}}, {});
        mesh->symmetryAxis = c.axis;
        mesh->symmetryOffset = c.offset;
        mesh->symmetryState = c.direction;
        float base[3], resolved[3];
        mesh->GetSymmetricBaseVertex_NewStyle(0, base);
        mesh->GetSymmetricResolvedVertex_NewStyle(0, resolved);
        ExpectPoint(base, c.out[0], c.out[1], c.out[2]);
        ExpectPoint(resolved, c.out[0], c.out[1], c.out[2]);
    }
}

TEST(PolyMeshSymmetry, PolygonCentresFoldThroughTheWeldMasters)
{
    auto mesh = MakeMesh({{-1, 0, 0}, {-1, 1, 0}, {-3, 1, 0}, {-9, 9, 9}}, {{0, 1, 3}, {}});
    mesh->VertexInfo[3].WeldMaster = 2;
    mesh->Welded = true;
    mesh->symmetryState = 1;
    float out[3];
    mesh->GetSymmetricResolvedPolyCentre_NewStyle(0, out);
    ExpectPoint(out, 5.0f / 3.0f, 2.0f / 3.0f, 0);
    mesh->GetSymmetricResolvedPolyCentre_NewStyle(1, out);   // no corners
    ExpectPoint(out, 0, 0, 0);
}

TEST(PolyMeshSymmetry, APlacedMeshFoldsInItsOwnFrame)
{
    // Placed 10 to the right: the plane x = 0 of the mesh lies at x = 10.
    auto mesh = MakeMesh({{-3, 0, 0}, {3, 0, 0}}, {});
    mesh->Transform_Pos[0] = 10.0f;
    mesh->CalculateBounds();
    mesh->resolvedVertices[0] = 7.0f;   // the placed position of vertex 0
    mesh->symmetryState = 1;
    float out[3];
    mesh->GetSymmetricResolvedVertex_NewStyle(0, out);
    ExpectPoint(out, 13, 0, 0);
}

}  // namespace
