// Symmetry across objects: which meshes get their mirror maps, the reaction to
// flipping, and the warning for meshes that are not symmetrical.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "KSN_ProjectFileTestSupport.h"
#include "KSN_Tool.h"
#include "QORLanguage.h"
#include "QORString.h"

namespace {

using namespace ksn_file_test;

constexpr uint32_t Symmetric = 0x10;

class ProjectSymmetryFixture : public ProjectFileFixture {
protected:
    TKSN_Object* Head = nullptr;
    TKSN_Object* Teeth = nullptr;

    void SetUp() override
    {
        ProjectFileFixture::SetUp();
        Head = MakeQuadObject("Head");
        Teeth = MakeQuadObject("Teeth");
    }

    static bool MapsOn(TKSN_Object* object) { return object->Mesh->symmetryState != 0; }
};

TEST_F(ProjectSymmetryFixture, MapsAreOnOnlyWithASymmetricToolTheObjectsSwitchAndUseSymmetry)
{
    auto* symmetric = MakeTool<TKSN_Tool>("Symmetric", App->sculptTools, Symmetric);
    auto* plain = MakeTool<TKSN_Tool>("Plain", App->sculptTools, 0);
    struct Case {
        const char* Name;
        TKSN_Tool* Tool;
        bool ObjectEnabled;
        bool UseSymmetry;
        bool On;
    };
    const Case cases[] = {
        {"no current tool", nullptr, true, true, false},
        {"UseSymmetry off", symmetric, true, false, false},
        {"object's SymmetryEnabled off", symmetric, false, true, false},
        {"tool cannot work symmetrically", plain, true, true, false},
        {"everything on", symmetric, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        App->currentTool = c.Tool;
        Head->SymmetryEnabled = c.ObjectEnabled;
        Project->UseSymmetry = c.UseSymmetry;
        TempDisableToolSymmetryCheck = true;
        Project->SetActiveSymmetryMapForMesh(Head->Mesh.get());
        EXPECT_EQ(MapsOn(Head), c.On);
        EXPECT_EQ(Head->Mesh->activeVertexPartnerA != nullptr, c.On);
        EXPECT_FALSE(TempDisableToolSymmetryCheck);
    }
}

TEST_F(ProjectSymmetryFixture, FlippingReactivatesEveryMeshAndRendersEveryViewportAgain)
{
    App->currentTool = MakeTool<TKSN_Tool>("Symmetric", App->sculptTools, Symmetric);
    Project->UseSymmetry = true;
    Project->OnSymmetrySettingsChanged(false);
    for (TKSN_Object* object : {Head, Teeth}) EXPECT_EQ(object->Mesh->symmetryState, 2) << object->GetName();

    ClearViewportStatuses();
    Project->FlipSymmetry = true;
    Project->OnSymmetrySettingsChanged(false);
    for (TKSN_Object* object : {Head, Teeth}) {
        EXPECT_EQ(object->Mesh->symmetryState, 1) << object->GetName();
        EXPECT_EQ(object->Mesh->activeVertexPartnerA, object->Mesh->vertexPartners[1]);
    }
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 2, 2, 2}));
}

TEST_F(ProjectSymmetryFixture, VertexMovedOffItsMirrorIsCounted)
{
    App->currentTool = MakeTool<TKSN_Tool>("Symmetric", App->sculptTools, Symmetric);
    Project->UseSymmetry = true;

    Project->CheckAllObjectsSymmetry();
    EXPECT_TRUE(Warnings.empty()) << "mirrored quads are symmetrical: " << (Warnings.empty() ? "" : Warnings[0]);

    Head->Mesh->baseVertices[3 * 5 + 1] += 0.25f;   // (1, 1) moves up
    Head->Mesh->SymmetryStarted = false;
    Project->CheckAllObjectsSymmetry();
    ASSERT_EQ(Warnings.size(), 1u);
    int count = 0;
    for (int n : {1, 2})
        if (Warnings[0] == QORFormat(Lang.GetText(432), "Head", n, 6)) count = n;
    EXPECT_NE(count, 0) << Warnings[0] << " (the moved vertex, and perhaps its partner)";
}

} // namespace
