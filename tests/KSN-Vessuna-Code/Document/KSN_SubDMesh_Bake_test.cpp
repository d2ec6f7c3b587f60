// Building all subdivision levels through the project, the affected lists,
// and the displacement and bump bake that the mesh's validation runs.
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_AffectedLists.h"
#include "KSN_SubDMesh_Bake.h"
#include "../Scene/KSN_SubDTestSupport.h"

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace ksn_edit_test;

std::vector<std::string> Warnings;
std::vector<std::string> Printed;

class SubDBakeFixture : public ProjectEditFixture {
protected:
    TKSN_Mesh* Mesh = nullptr;
    std::vector<std::unique_ptr<TQORMaterialMapSource>> Maps;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        Warnings.clear();
        Printed.clear();
        OS.AssignOnWarningMessage([](char* text) { Warnings.push_back(text); });
        OS.AssignOnPrintMessage([](char* text) { Printed.push_back(text); });
    }
    void TearDown() override
    {
        ProjectEditFixture::TearDown();
        Maps.clear();
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
    }

    // Puts mesh into a new object of the project: 2 levels of uniform subdivision.
    void Adopt(std::unique_ptr<TKSN_Mesh> mesh)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("Skin");
        mesh->OwnerObject = object;
        mesh->SubDDynamic = false;
        mesh->TargetMaxSubDPolygonCount = 64;   // levels 0..2 of a single quad
        Mesh = mesh.get();
        object->Mesh = std::move(mesh);
    }
    TQORMaterial* Material() { return SubDTest::Material(*Mesh, 0); }
    void BindDisplacement(unsigned char value, float strength, float offset)
    {
        Maps.push_back(SubDTest::BindMap(*Mesh, Material()->DisplacementChannel, 8, value));
        Material()->DisplacementChannel->Strength = strength;
        Material()->DisplacementChannel->Offset = offset;
    }
    void Validate()
    {
        Mesh->InvalidateAllInOSpace();
        Mesh->ValidateAllInOSpace(false);
    }
    TKSN_SubDMesh* Top() { return Mesh->GetSubD_For_Editing(); }
};

TEST_F(SubDBakeFixture, LevelsAreBuiltOnceAndShareTheTopLevelsArrays)
{
    Adopt(SubDTest::MakeQuad());
    CreateSubDsForMesh(Mesh, Mesh->GetTargetMaxSubDLevel());
    ASSERT_EQ(Mesh->ActualMaxSubDLevel, 2);
    EXPECT_EQ(Mesh->GetCurrentSubDLevel(), 2);
    EXPECT_TRUE(Mesh->SubDsBuilt);
    TKSN_SubDMesh* top = Mesh->GetSubD(2);
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->GetPCount(), 16);
    EXPECT_FALSE(top->arraysBorrowed);
    for (int level = 0; level < 2; ++level) {
        TKSN_SubDMesh* lower = Mesh->GetSubD(level);
        ASSERT_NE(lower, nullptr);
        EXPECT_TRUE(lower->arraysBorrowed);
        EXPECT_EQ(lower->resolvedVertices, top->resolvedVertices);
        EXPECT_EQ(lower->InterpolatedBase, top->InterpolatedBase);
        EXPECT_NE(lower->tVertices, top->tVertices);
    }
    // Lower levels show the top level's positions of their own vertices.
    top->resolvedVertices[0] = 0.125f;
    EXPECT_EQ(Mesh->GetSubD(0)->resolvedVertices[0], 0.125f);
    // The original normals are the base mesh's, carried up.
    EXPECT_NEAR(top->originalVertexNormals[3 * 8 + 2], 1.0f, 1e-6f);
    EXPECT_EQ(CountOf("push 441"), 1);

    // A second build leaves the levels alone.
    CreateSubDsForMesh(Mesh, 2);
    EXPECT_EQ(Mesh->GetSubD(2), top);
    // Destroying frees each shared array once (checked under AddressSanitizer).
    Mesh->DestroyAllSubDs();
    EXPECT_EQ(Mesh->GetSubD(0), nullptr);
}

TEST_F(SubDBakeFixture, AMeshWithoutUVsGetsAWarningAndNoLevels)
{
    Adopt(SubDTest::MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {}, {{{0, 1, 2}, {}}}));
    Validate();
    EXPECT_EQ(Mesh->GetSubD(0), nullptr);
    ASSERT_FALSE(Warnings.empty());
    EXPECT_EQ(Warnings.back(), "UV mapping is necessary for this feature to function.");
}

TEST_F(SubDBakeFixture, AffectedListsGrowForTheLargestLevel)
{
    Adopt(SubDTest::MakeQuad());
    CreateSubDsForMesh(Mesh, 2);
    PrepareAffectedList(Mesh, false);
    gAffectedVertices[3] = {3, 0.5f};   // room for the base mesh's 4 vertices
    PrepareAffectedList(Mesh, true);
    EXPECT_EQ(gAffectedVertexCount, 0);
    EXPECT_EQ(gAffectedPolygonCount, 0);
    const int top = Mesh->GetSubD(2)->GetVCount();
    for (int v = 0; v < top; ++v) gAffectedVertices[v] = {v, 0.0f};   // every vertex of level 2 fits
    for (int p = 0; p < 16; ++p) gAffectedPolygons[p] = p;
    CleanAffectedLists();
    EXPECT_EQ(gAffectedVertices, nullptr);
}

TEST_F(SubDBakeFixture, DisplacementMapMovesVerticesAlongTheirNormals)
{
    struct Case {
        unsigned char grey;
        float strength, offset;
        float expectedShiftOfDiagonal;   // along the original normal, in units of the bounding-box diagonal
    };
    // 127 with offset 0.5 is neutral (the offset is taken as 127/255); white
    // with strength 1 lifts by about half the diagonal; black with offset 0 is neutral.
    const Case cases[] = {{127, 1.0f, 0.5f, 0.0f}, {255, 1.0f, 0.5f, 0.50196f}, {0, 2.0f, 0.0f, 0.0f},
                          {255, 0.5f, 0.0f, 0.5f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.grey));
        Adopt(SubDTest::MakeQuad());
        Mesh->SubDsSmoothed = true;
        BindDisplacement(c.grey, c.strength, c.offset);
        Validate();
        TKSN_SubDMesh* top = Top();
        ASSERT_NE(top, nullptr);
        const float diagonal = Mesh->boundsDiagonal;
        for (int v = 0; v < top->GetVCount(); ++v) {
            EXPECT_NEAR(top->resolvedVertices[3 * v + 0], top->baseVertices[3 * v + 0], 1e-5f);
            EXPECT_NEAR(top->resolvedVertices[3 * v + 2], c.expectedShiftOfDiagonal * diagonal, 1e-3f);
        }
    }
}

TEST_F(SubDBakeFixture, FlatRenderDisplacesTheUnsmoothedSurface)
{
    Adopt(SubDTest::MakeQuad());
    Mesh->SubDsSmoothed = false;
    BindDisplacement(255, 1.0f, 0.0f);
    Validate();
    TKSN_SubDMesh* top = Top();
    ASSERT_NE(top, nullptr);
    // Corner 0 stays at the unsmoothed (0, 0) rather than the smoothed centroid.
    EXPECT_NEAR(top->resolvedVertices[0], 0.0f, 1e-6f);
    EXPECT_NEAR(top->resolvedVertices[1], 0.0f, 1e-6f);
    EXPECT_NEAR(top->resolvedVertices[2], Mesh->boundsDiagonal, 1e-3f);
    EXPECT_GT(top->baseVertices[0], 0.01f);
}

TEST_F(SubDBakeFixture, BumpAloneKeepsTheSmoothedSurfaceAndBendsNormals)
{
    Adopt(SubDTest::MakeQuad());
    Mesh->SubDsSmoothed = true;
    // A bump map that brightens along u, so the bumped surface tilts.
    auto source = std::make_unique<TQORMaterialMapSource>();
    std::vector<unsigned char> pixels(8 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 3; ++c) pixels[size_t(3 * (8 * y + x) + c)] = static_cast<unsigned char>(x * 36);
    source->InitializeWithPixelData(8, 8, pixels.data());
    auto* binding = new TQORMaterialMap();
    binding->SetMapSource(source->GetID());
    Mesh->MaterialMaps->Add(binding);
    Material()->BumpChannel->SetMapID(int(binding->GetID()));
    Material()->BumpChannel->Strength = 1.0f;
    Material()->BumpChannel->Offset = 0.0f;
    Maps.push_back(std::move(source));

    Validate();
    TKSN_SubDMesh* top = Top();
    ASSERT_NE(top, nullptr);
    float largestTilt = 0.0f;
    for (int v = 0; v < top->GetVCount(); ++v) {
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(top->resolvedVertices[3 * v + c], top->baseVertices[3 * v + c], 1e-5f);
        largestTilt = std::max(largestTilt, std::fabs(top->vertexNormals[3 * v]));
    }
    EXPECT_GT(largestTilt, 0.05f);
}

TEST_F(SubDBakeFixture, ALocalEditRebakesOnlyItsRegion)
{
    Adopt(SubDTest::MakeQuad());
    Mesh->SubDsSmoothed = true;
    BindDisplacement(255, 1.0f, 0.0f);
    Validate();
    TKSN_SubDMesh* top = Top();
    ASSERT_NE(top, nullptr);
    const std::vector<float> before(top->resolvedVertices, top->resolvedVertices + 3 * top->GetVCount());

    Material()->DisplacementChannel->Strength = 2.0f;
    // Around the level's far corner (subdivision without a boundary rule
    // draws the surface in, so it is not at (1, 1)), all heights.
    float corner[2] = {-1e30f, -1e30f};
    for (int v = 0; v < top->GetVCount(); ++v)
        for (int c = 0; c < 2; ++c) corner[c] = std::max(corner[c], top->baseVertices[3 * v + c]);
    float min[3] = {corner[0] - 0.05f, corner[1] - 0.05f, -1.0f}, max[3] = {corner[0] + 0.05f, corner[1] + 0.05f, 3.0f};
    Mesh->InvalidateCubeInOSpace(min, max);
    Mesh->ValidateAllInOSpace(false);
    int moved = 0, kept = 0;
    for (int v = 0; v < top->GetVCount(); ++v) {
        const float* b = top->baseVertices + 3 * v;
        const bool far = b[0] < 0.45f && b[1] < 0.45f;
        const bool changed = std::fabs(top->resolvedVertices[3 * v + 2] - before[size_t(3 * v + 2)]) > 1e-4f;
        if (far) {
            EXPECT_FALSE(changed) << "vertex " << v << " lies outside the invalid region";
            kept += !changed;
        }
        moved += changed;
    }
    EXPECT_GT(moved, 0);
    EXPECT_GT(kept, 0);
}

TEST_F(SubDBakeFixture, ChangedOnlyBakesPolygonsOfChangedBasePolygons)
{
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed);
        Adopt(SubDTest::MakeQuad());
        Mesh->SubDsSmoothed = true;
        BindDisplacement(255, 1.0f, 0.0f);
        Validate();
        TKSN_SubDMesh* top = Top();
        ASSERT_NE(top, nullptr);
        const float before = top->resolvedVertices[3 * 8 + 2];

        Material()->DisplacementChannel->Strength = 2.0f;
        Mesh->PolygonFlags[0] = changed ? QORPoly_Changed : 0u;
        // The whole quad, starting at the box's own left side: a search, not a whole-space bake.
        float min[3] = {0, -1, -1}, max[3] = {2, 2, 3};
        Mesh->InvalidateCubeInOSpace(min, max);
        Mesh->ValidateAllInOSpace(true);
        EXPECT_EQ(top->resolvedVertices[3 * 8 + 2] != before, changed);
    }
}

TEST_F(SubDBakeFixture, BrightnessIsBilinearAndClampedToTheEdges)
{
    // 2 x 1 map: black then white.
    const unsigned char pixels[6] = {0, 0, 0, 255, 255, 255};
    struct Case {
        float u, expected;
    };
    const Case cases[] = {{0.25f, 0.0f}, {0.5f, 381.0f * 0.001307189542f}, {0.75f, 1.0f}, {-3.0f, 0.0f}, {7.0f, 1.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.u);
        EXPECT_NEAR(KSN_SubDMapBrightness(pixels, 2, 1, c.u, 0.5f), c.expected, 1e-5f);
    }
}

} // namespace
