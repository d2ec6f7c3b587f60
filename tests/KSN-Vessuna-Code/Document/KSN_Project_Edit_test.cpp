// Edit brackets and change notifications: which objects an edit may touch,
// the current morph union's morph that a deformation creates, the paint
// bracket's channel warning, and what the shape, surface and viewport
// notifications mark for rebuilding.
#include "KSN_ProjectEditTestSupport.h"

#include "KSN_Morph.h"
#include "KSN_Union.h"
#include "QORGL.h"

namespace {

using namespace ksn_edit_test;
using EditTest = ProjectEditFixture;

// A mesh with a fixed number of selected vertices.
class TSelectedMesh : public TKSN_Mesh {
public:
    using TKSN_Mesh::TKSN_Mesh;
    int GetSelectedVertexCount() override { return Selected; }
    int Selected = 0;
};

TSelectedMesh* GiveSelectedMesh(TKSN_Object* object, int selected)
{
    auto* mesh = new TSelectedMesh(object);
    mesh->Create(4, 0, 4, 0);
    mesh->Selected = selected;
    object->Mesh.reset(mesh);
    return mesh;
}

int MorphCount(TKSN_Mesh* mesh)
{
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(mesh->GetMorphList());
    return morphs->Count();
}

TKSN_MorphUnion* MakeCurrentUnion(const char* name, float strength)
{
    auto* morphUnion = new TKSN_MorphUnion;
    morphUnion->SetName("%s", name);
    morphUnion->Strength = strength;
    morphUnion->MinStrength = -1.0f;
    morphUnion->MaxStrength = 2.0f;
    Project->MorphUnions->AddItem(morphUnion);
    Project->SetCurrentMorphUnion(morphUnion);
    return morphUnion;
}

TEST_F(EditTest, AffectModeDecidesWhichObjectsAnEditMayTouch)
{
    TKSN_Object* current = MakeObject("Current");
    TKSN_Object* other = MakeObject("Other");
    Project->CurrentObjectID = current->GetID();
    struct Case {
        int affectMode;
        bool current, other;
    } cases[] = {{0, true, true}, {1, true, false}, {2, false, false}, {-1, false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.affectMode);
        Project->AffectMode = c.affectMode;
        EXPECT_EQ(Project->CanAffectObject(current), c.current);
        EXPECT_EQ(Project->CanAffectObject(other), c.other);
    }
    EXPECT_FALSE(Project->CanAffectObject(nullptr));
}

TEST_F(EditTest, BeforeDeformCreatesTheUnionsMorphInSelectedMeshesOnly)
{
    TKSN_Object* head = MakeObject("Head");
    TKSN_Object* hat = MakeObject("Hat");
    TSelectedMesh* headMesh = GiveSelectedMesh(head, 2);
    TSelectedMesh* hatMesh = GiveSelectedMesh(hat, 0);
    TKSN_MorphUnion* smile = MakeCurrentUnion("Smile", 0.5f);
    const int headMorphs = MorphCount(headMesh);
    const int hatMorphs = MorphCount(hatMesh);

    App->stateFlags = 0x4 | 0x2;
    Project->InteractiveMotion = true;
    Project->BeforeDeform("Deform", false, false);

    EXPECT_FALSE(Project->InteractiveMotion);
    EXPECT_EQ(App->stateFlags, 0x2u) << "the deformation warning may be shown again";
    ASSERT_EQ(MorphCount(headMesh), headMorphs + 1);
    EXPECT_EQ(MorphCount(hatMesh), hatMorphs) << "no selected vertex: the mesh is not deformed";
    TKSN_Morph* morph = headMesh->GetCurrentMorph();
    ASSERT_NE(morph, nullptr);
    EXPECT_STREQ(morph->GetName(), "Smile");
    EXPECT_EQ(morph->GetOwnerID(), headMesh->GetID());
    EXPECT_FLOAT_EQ(morph->Strength, 0.5f);
    EXPECT_FLOAT_EQ(morph->MinStrength, -1.0f);
    EXPECT_FLOAT_EQ(morph->MaxStrength, 2.0f);
    ASSERT_EQ(smile->ItemIDs.Count(), 1);
    EXPECT_EQ(smile->ItemIDs[0], morph->GetID());

    // Again, with the union's strength changed: the member is found, not made twice.
    smile->Strength = 0.25f;
    Project->BeforeDeform("Deform", false, false);
    Project->CreateCurrentMorphForMeshIfNecessary(headMesh);
    EXPECT_EQ(MorphCount(headMesh), headMorphs + 1);
    EXPECT_EQ(smile->ItemIDs.Count(), 1);
    EXPECT_FLOAT_EQ(morph->Strength, 0.25f);
}

TEST_F(EditTest, BeforeDeformHonoursAffectModeAndCurrentObjectOnly)
{
    TKSN_Object* head = MakeObject("Head");
    TKSN_Object* hat = MakeObject("Hat");
    TSelectedMesh* headMesh = GiveSelectedMesh(head, 1);
    TSelectedMesh* hatMesh = GiveSelectedMesh(hat, 1);
    Project->CurrentObjectID = head->GetID();
    TKSN_MorphUnion* smile = MakeCurrentUnion("Smile", 1.0f);
    const int before = MorphCount(headMesh);

    Project->AffectMode = 2;
    Project->BeforeDeform("Deform", false, false);
    EXPECT_EQ(smile->ItemIDs.Count(), 0) << "affect mode 2 touches no object";

    Project->AffectMode = 0;
    Project->BeforeDeform("Deform", false, true);
    EXPECT_EQ(MorphCount(headMesh), before + 1);
    EXPECT_EQ(MorphCount(hatMesh), before) << "only the current object's mesh";

    Project->SetCurrentMorphUnion(nullptr);
    Project->BeforeDeform("Deform", false, false);
    EXPECT_EQ(MorphCount(hatMesh), before) << "without a current union no morph is made";
}

TEST_F(EditTest, BeforePaintWarnsOnceAboutAChannelThatIsNotPainted)
{
    static std::vector<std::string>* warnings = nullptr;
    std::vector<std::string> seen;
    warnings = &seen;
    OS.AssignOnWarningMessage([](char* text) { warnings->push_back(text); });
    OS.LastMessageText.clear();

    Project->PaintCurrentChannel = false;
    Project->PaintColor = true;
    Project->SpecialDisplayMode = 2;
    TKSN_Viewport* viewport = Project->GetCurrentViewport();
    ASSERT_NE(viewport, nullptr);

    std::snprintf(viewport->materialChannelName, sizeof viewport->materialChannelName, "%s", "color");
    Project->BeforePaint("Paint");
    EXPECT_TRUE(seen.empty()) << "the viewport shows a painted channel (names ignore case)";
    EXPECT_TRUE(Project->PaintingFlag);
    EXPECT_EQ(Project->SpecialDisplayMode, 0) << "the brush-tiling view ends when painting starts";

    std::snprintf(viewport->materialChannelName, sizeof viewport->materialChannelName, "%s", "Bump");
    Project->BeforePaint("Paint");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("\"Bump\""), std::string::npos) << seen[0];

    std::snprintf(viewport->materialChannelName, sizeof viewport->materialChannelName, "%s", "Specular");
    Project->BeforePaint("Paint");
    EXPECT_EQ(seen.size(), 1u) << "once per run, also for another channel";

    Project->AfterPaint();
    EXPECT_FALSE(Project->PaintingFlag);
    EXPECT_TRUE(TimerSinceLastPaintOperationCompleted.IsTiming());
    OS.AssignOnWarningMessage(nullptr);
}

TEST_F(EditTest, BeforePaintCountsSelectedVerticesOfAffectableMeshes)
{
    GiveSelectedMesh(MakeObject("Head"), 3);
    GiveSelectedMesh(MakeObject("Hat"), 2);
    TKSN_Object* locked = MakeObject("Locked");
    GiveSelectedMesh(locked, 5);
    locked->SetCustomBooleanProperty("COMPLETELY_LOCKED", true);   // counted all the same
    Project->BeforePaint("Paint");
    EXPECT_EQ(TotalSelectedVertexCountForPaintingPurposes, 10);
    Project->AffectMode = 2;
    Project->BeforePaint("Paint");
    EXPECT_EQ(TotalSelectedVertexCountForPaintingPurposes, 0);
}

TEST_F(EditTest, ShapeChangeEndsAQuickRenderUnlessASelectionIsShown)
{
    TKSN_Object* object = MakeObject("Head");
    struct Case {
        const char* why;
        bool selecting, flash, updateView;
        int modeAfter;
        std::vector<int> statuses;
    } cases[] = {
        {"quick render ends", false, false, false, 0, {2, 2, 2, 2}},
        {"a selection under way keeps it", true, false, false, 3, {0, 0, 0, 0}},
        {"a flashed selection keeps it", false, true, false, 3, {0, 0, 0, 0}},
        {"the view is updated on request", true, false, true, 3, {2, 2, 2, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ClearViewportStatuses();
        Project->SpecialDisplayMode = 3;
        Project->SelectingFlag = c.selecting;
        Project->FlashSelection = c.flash;
        Project->OnShapeChanged(object, c.updateView, false);
        EXPECT_EQ(Project->SpecialDisplayMode, c.modeAfter);
        EXPECT_EQ(ViewportStatuses(), c.statuses);
    }

    ClearViewportStatuses();
    Project->SelectingFlag = Project->FlashSelection = false;
    Project->OnShapeChanged(nullptr, true, true);
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{0, 0, 0, 0})) << "nothing for no object";
    Project->AffectMode = 2;
    Project->OnShapeChanged(true, true);
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{0, 0, 0, 0})) << "no affectable object";
}

TEST_F(EditTest, SurfaceNotificationsRaiseButNeverLowerTheStatus)
{
    MakeObject("Head");
    ClearViewportStatuses();
    App->viewports[3]->SetRenderedSceneStatus(2);
    Project->OnPartialSurfaceChanged();
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{1, 1, 1, 2}));

    const int32_t stamp = KSN_glDisplayList_RollingValidCounter.load();
    Project->OnFullSurfaceChanged();
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 2, 2, 2}));
    EXPECT_NE(KSN_glDisplayList_RollingValidCounter.load(), stamp) << "every display list is stale";

    ClearViewportStatuses();
    Project->SpecialDisplayMode = 0;
    Project->AfterFullSelection(true);
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 2, 2, 2}));
    EXPECT_TRUE(Project->FlashSelection);
}

TEST_F(EditTest, AllViewportsChangedTouchesOnlyShownViewports)
{
    ClearViewportStatuses();
    for (int i = 1; i < 4; ++i) App->viewports[i]->shown = false;
    Project->TiledPixelsValid = true;
    Project->AffectedObjectsStencilValid = true;
    Project->OnAllViewportsChanged();
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 0, 0, 0}));
    EXPECT_FALSE(Project->TiledPixelsValid);
    EXPECT_FALSE(Project->AffectedObjectsStencilValid) << "viewport 0 is the current one";

    Project->AffectedObjectsStencilValid = true;
    Project->OnSingleViewportChanged(App->viewports[2]);
    EXPECT_EQ(App->viewports[2]->GetRenderedSceneStatus(), 2);
    EXPECT_TRUE(Project->AffectedObjectsStencilValid) << "not the current viewport";
    Project->OnSingleViewportChanged(nullptr);
}

TEST_F(EditTest, SelectBracketsRearmTheirWarningAndClearSelections)
{
    TKSN_Object* object = MakeObject("Head");
    App->stateFlags = 0x2 | 0x4;
    Project->InteractiveMotion = true;
    Project->BeforeSelect("Select");
    EXPECT_EQ(App->stateFlags, 0x4u);
    EXPECT_FALSE(Project->InteractiveMotion);

    object->Mesh->SelectedListsValid = true;
    Project->AfterSelect();
    EXPECT_FALSE(object->Mesh->SelectedListsValid) << "the selected lists are rebuilt on next use";

    ClearViewportStatuses();
    Project->AffectMode = 2;
    Project->ClearSelection(true, false);
    EXPECT_EQ(ViewportStatuses(), (std::vector<int>{2, 2, 2, 2}));
}

} // namespace
