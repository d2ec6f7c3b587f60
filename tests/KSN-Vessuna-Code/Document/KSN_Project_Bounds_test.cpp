// Selection bounds, the selection's position and normal, the depth of the
// look-at point, the display box and the world dimensions.
#include "KSN_ProjectEditTestSupport.h"
#include "../Scene/KSN_SubDTestSupport.h"

#include <cmath>

namespace {

using namespace ksn_edit_test;

class BoundsFixture : public ProjectEditFixture {
protected:
    static void Select(TKSN_Mesh* mesh, std::initializer_list<std::pair<int, float>> weights)
    {
        for (auto [v, w] : weights) mesh->VertexInfo[v].Select = w;
        mesh->OnSelectionChanged();
    }
    // Loose points, each the only corner of its own degenerate triangle.
    static std::unique_ptr<TKSN_Mesh> Points(const std::vector<std::array<float, 3>>& p)
    {
        std::vector<SubDTest::TPoly> polygons;
        for (int v = 0; v < int(p.size()); ++v) polygons.push_back({{v, v, v}, {}});
        return SubDTest::MakeMesh(p, {}, polygons);
    }
};

TEST_F(BoundsFixture, SelectedBoxCountsOnlySelectedVisibleUnlockedVertices)
{
    TKSN_Mesh* mesh = AddMesh("Pts", Points({{0, 0, 0}, {5, 0, 0}, {0, 5, 0}, {-5, 0, 0}, {0, -5, 0}}));
    Select(mesh, {{0, 1.0f}, {1, 0.0499f}, {2, 0.05f}, {3, 1.0f}, {4, 1.0f}});
    // A vertex is hidden with its polygons (the visible lists derive its flag).
    mesh->PolygonFlags[3] |= QORPoly_Hidden;
    mesh->InvalidateVisibleLookups();
    mesh->VertexInfo[4].Flags |= QORPoly_Locked;
    // A selection elsewhere that may not be acted on.
    TKSN_Mesh* locked = AddMesh("Locked", Points({{50, 50, 50}}));
    Select(locked, {{0, 1.0f}});
    locked->GetOwnerObject()->SetCustomBooleanProperty("COMPLETELY_LOCKED", true);

    float min[3], max[3];
    ASSERT_TRUE(Project->CalculateSelectedMinMax(min, max, false));
    EXPECT_EQ(std::vector<float>(min, min + 3), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(std::vector<float>(max, max + 3), (std::vector<float>{0, 5, 0}));

    const float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
    ASSERT_TRUE(Project->CalculateSelectedMinMax(min, max, true, shift)) << "symmetry off: the flag changes nothing";
    EXPECT_EQ(std::vector<float>(min, min + 3), (std::vector<float>{10, 0, 0}));
    EXPECT_EQ(std::vector<float>(max, max + 3), (std::vector<float>{10, 5, 0}));

    // Unaffectable: only the current object may be acted on, and it has no selection.
    Project->SetCurrentObject(locked->GetOwnerObject());
    Project->AffectMode = 1;
    locked->GetOwnerObject()->SetCustomBooleanProperty("COMPLETELY_LOCKED", false);
    ASSERT_TRUE(Project->CalculateSelectedMinMax(min, max, false));
    EXPECT_EQ(std::vector<float>(min, min + 3), (std::vector<float>{50, 50, 50})) << "only the current object counts";
    Select(locked, {{0, 0.0f}});
    Project->WorldMin[0] = -7.0f;
    Project->WorldMax[0] = 7.0f;
    EXPECT_FALSE(Project->CalculateSelectedMinMax(min, max, false));
    EXPECT_EQ(min[0], 7.0f) << "nothing counted: the inverted world box";
    EXPECT_EQ(max[0], -7.0f);
}

TEST_F(BoundsFixture, NormalAndPositionByTheSelectionType)
{
    // A quad facing +z and, apart from it, a quad facing +x.
    TKSN_Mesh* mesh = AddMesh("Two", SubDTest::MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                                         {3, 0, 0}, {3, 1, 0}, {3, 1, 1}, {3, 0, 1}},
                                                        {}, {{{0, 1, 2, 3}, {}}, {{4, 5, 6, 7}, {}}}));
    float normal[3], position[3];
    EXPECT_FALSE(Project->CalculateSelectedNormalAndPosition(normal, position, false));
    EXPECT_EQ(std::vector<float>(normal, normal + 3), (std::vector<float>{0, 0, 1}));
    EXPECT_EQ(std::vector<float>(position, position + 3), (std::vector<float>{0, 0, 0}));

    App->selectionType = eSelectionType_Vertex;
    Select(mesh, {{0, 1.0f}, {1, 1.0f}, {2, 0.5f}, {3, 0.5f}});
    ASSERT_TRUE(Project->CalculateSelectedNormalAndPosition(normal, position, false));
    EXPECT_NEAR(position[0], 0.5f, 1e-6f);
    EXPECT_NEAR(position[1], 1.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(normal[2], 1.0f, 1e-6f);

    // Polygon mode: the vertices (still selected) give the position, the
    // polygons' own weights the normal. The weights are set after the mesh
    // built its selected lists, so no conversion between the two runs.
    App->selectionType = eSelectionType_Polygon;
    mesh->Polygons[0].Select = 0.0f;
    mesh->Polygons[1].Select = 1.0f;
    ASSERT_TRUE(Project->CalculateSelectedNormalAndPosition(normal, position, false));
    EXPECT_NEAR(position[0], 0.5f, 1e-6f) << "the position comes from the vertices";
    EXPECT_NEAR(position[1], 1.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(std::fabs(normal[0]), 1.0f, 1e-6f) << "the normal from the polygons";
    EXPECT_NEAR(normal[2], 0.0f, 1e-6f);
}

TEST_F(BoundsFixture, AutoDepthMovesTheLookAtPointOnlyInDepth)
{
    TKSN_Viewport* view = App->viewports[0];
    Project->SetCurrentViewportIndex(0);
    const float combined[16] = {0.5f, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0.25f, 0, 0.1f, 0, -0.5f, 1};
    const float inverse[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 4, 0, -0.2f, 0, 2, 1};
    std::copy(combined, combined + 16, view->CombinedMatrix);
    std::copy(inverse, inverse + 16, view->InverseCombinedMatrix);
    const float start[3] = {1, 1, 1};
    view->SetLookAt(start, nullptr, 0.0f, false);

    TKSN_Mesh* mesh = AddMesh("Pts", Points({{0, 0, 2}, {7, 7, 9}}));
    Project->DoAutoCalculateDepthLookAt();
    EXPECT_EQ(std::vector<float>(view->LookAt, view->LookAt + 3), (std::vector<float>{1, 1, 1})) << "no selection";

    Select(mesh, {{0, 1.0f}});
    Project->DoAutoCalculateDepthLookAt();
    EXPECT_NEAR(view->LookAt[0], 1.0f, 1e-5f);
    EXPECT_NEAR(view->LookAt[1], 1.0f, 1e-5f);
    EXPECT_NEAR(view->LookAt[2], 2.0f, 1e-5f) << "the selected vertex's depth";
}

TEST_F(BoundsFixture, DisplayBoxContainsTurnedObjects)
{
    float min[3], max[3];
    Project->GetDisplayBoundingBox(nullptr, min, max);
    EXPECT_EQ(std::vector<float>(min, min + 3), (std::vector<float>{-1, -1, -1})) << "no meshes";
    EXPECT_EQ(std::vector<float>(max, max + 3), (std::vector<float>{1, 1, 1}));

    TKSN_Mesh* cube = AddMesh("Cube", SubDTest::MakeMesh({{-0.5f, -0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, -0.5f},
                                                          {-0.5f, 0.5f, -0.5f}, {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f},
                                                          {0.5f, 0.5f, 0.5f}, {-0.5f, 0.5f, 0.5f}},
                                                         {}, {{{0, 1, 2, 3}, {}}, {{4, 5, 6, 7}, {}}}));
    struct Case {
        float Degrees, Half;
    };
    for (Case c : {Case{45.0f, 0.7071068f}, Case{180.0f, 0.5f}}) {
        SCOPED_TRACE(c.Degrees);
        const float a = c.Degrees * 3.14159265f / 180.0f;
        float* m = cube->GetOwnerObject()->ObjectToWorld;
        m[0] = std::cos(a);
        m[1] = std::sin(a);
        m[4] = -std::sin(a);
        m[5] = std::cos(a);
        Project->GetDisplayBoundingBox(nullptr, min, max);
        for (int i = 0; i < 2; ++i) {
            EXPECT_NEAR(min[i], -c.Half, 1e-5f);
            EXPECT_NEAR(max[i], c.Half, 1e-5f);
        }
        EXPECT_NEAR(min[2], -0.5f, 1e-6f);
        EXPECT_NEAR(max[2], 0.5f, 1e-6f);
    }
}

TEST_F(BoundsFixture, WorldDimensionsOfTheVisibleVertices)
{
    Project->CalculateWorldDimensions();
    EXPECT_EQ(Project->WorldSize, 2.0f);
    EXPECT_EQ(std::vector<float>(Project->WorldMin, Project->WorldMin + 3), (std::vector<float>{-1, -1, -1}));

    TKSN_Mesh* point = AddMesh("Point", Points({{2, 3, 4}}));
    Project->CalculateWorldDimensions();
    EXPECT_EQ(std::vector<float>(Project->WorldMin, Project->WorldMin + 3), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(std::vector<float>(Project->WorldMax, Project->WorldMax + 3), (std::vector<float>{3, 4, 5}));
    EXPECT_EQ(std::vector<float>(Project->WorldCentre, Project->WorldCentre + 3), (std::vector<float>{2, 3, 4}));
    EXPECT_EQ(Project->WorldSize, 2.0f);

    AddMesh("Far", Points({{2, 3, 10}}));
    Project->CalculateWorldDimensions();
    EXPECT_EQ(Project->WorldMin[2], 4.0f);
    EXPECT_EQ(Project->WorldMax[2], 10.0f);
    EXPECT_EQ(Project->WorldSize, 6.0f);
    EXPECT_EQ(std::vector<float>(Project->WorldCentre, Project->WorldCentre + 3), (std::vector<float>{2, 3, 4}))
        << "a box with extent keeps the centre the visible layers gave";
    (void)point;
}

} // namespace
