// Material and polygon group commands on real meshes: creation from the
// selected polygons, assignment, deletion with the remapping of every
// polygon's index, renaming, copy and paste, and the editor window each new
// material opens.
#include "KSN_ObjectCommandsTestSupport.h"

#include "KSN_Application.h"

namespace {

using MaterialCommands = ObjectCommands;

} // namespace

TEST_F(MaterialCommands, ANewMaterialTakesPolygonsWhoseSmallestCornerWeightIsAboveTheThreshold)
{
    // 1 x 2 quads: vertices 0 1 2 / 3 4 5; polygon 0 uses 0 1 4 3, polygon 1 uses 1 2 5 4.
    struct TCase {
        float Weight;
        bool In;
    } cases[] = {{0.2f, false}, {0.299f, false}, {0.3f, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Weight);
        TKSN_Object* o = Grid("Head", 2);
        SelectVertices(o, {{0, 1.0f}, {1, 1.0f}, {4, 1.0f}, {3, c.Weight}});
        ASSERT_TRUE(Cmd(350));
        RenameOk("Lips");
        Pump();
        const auto names = Names(M(o)->Materials);
        ASSERT_EQ(names.back(), "Lips");
        const int m = int(names.size()) - 1;
        EXPECT_EQ(M(o)->Polygons[0].Material == m, c.In);
        EXPECT_EQ(M(o)->Polygons[1].Material, 0);
        for (auto* w : EditorWindows()) w->Hide();
        Project->Objects->Empty();
        Project->SetCurrentObject(nullptr);
        QOREvents_Clean();
    }
}

TEST_F(MaterialCommands, TwoSelectedObjectsGetOneMaterialAndOneEditorWindowEach)
{
    TKSN_Object* a = Grid("Head");
    TKSN_Object* b = Grid("Body");
    SelectAll(a);
    SelectAll(b);
    ASSERT_TRUE(Cmd(350));
    EXPECT_TRUE(R().Shown);
    RenameOk("Paint");
    Pump();   // 351
    Pump();   // the editor windows
    EXPECT_EQ(Names(M(a)->Materials), (std::vector<std::string>{"Skin", "Paint"}));
    EXPECT_EQ(Names(M(b)->Materials), (std::vector<std::string>{"Skin", "Paint"}));
    const auto windows = EditorWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_NE(windows[0]->MaterialID, windows[1]->MaterialID);
    EXPECT_TRUE(M(a)->Materials->GetItem(1)->multiSelected);
    EXPECT_EQ(M(a)->Polygons[3].Material, 1);
}

TEST_F(MaterialCommands, NothingSelectedRefusesTheNewMaterialAndTheNewGroup)
{
    TKSN_Object* o = Grid("Head");
    EXPECT_FALSE(Cmd(350));
    EXPECT_TRUE(Shown(170));
    EXPECT_FALSE(Cmd(359));
    EXPECT_TRUE(Shown(171));
    EXPECT_FALSE(R().Shown);
    EXPECT_EQ(Names(M(o)->Materials).size(), 1u);
}

TEST_F(MaterialCommands, DeletingRemapsOnlyIndicesOfTheOldList)
{
    TKSN_Object* o = Grid("Head", 3);   // 9 polygons
    AddMaterial(o, "Eyes");
    AddMaterial(o, "Teeth");
    TKSN_Mesh* mesh = M(o);
    const int16_t before[9] = {0, 1, 2, 2, 1, 0, -1, 7, 2};
    for (int p = 0; p < 9; ++p) mesh->Polygons[p].Material = before[p];
    mesh->Materials->GetItem(1)->multiSelected = true;
    ASSERT_TRUE(Cmd(353));
    EXPECT_EQ(Names(mesh->Materials), (std::vector<std::string>{"Skin", "Teeth"}));
    // The 2nd's polygons go to 0, the 3rd's to 1; -1 and the stale 7 stay.
    const int16_t after[9] = {0, 0, 1, 1, 0, 0, -1, 7, 1};
    for (int p = 0; p < 9; ++p) EXPECT_EQ(mesh->Polygons[p].Material, after[p]) << p;

    // Deleting all leaves "default" with the warning; -1 survives again.
    ++App->frameCounter;   // the next command runs in a later frame: its own undo step
    for (int i = 0; i < 2; ++i) mesh->Materials->GetItem(i)->multiSelected = true;
    ASSERT_TRUE(Cmd(353));
    EXPECT_EQ(Names(mesh->Materials), (std::vector<std::string>{"default"}));
    EXPECT_TRUE(Shown(150));
    EXPECT_EQ(mesh->Polygons[2].Material, 0);
    EXPECT_EQ(mesh->Polygons[6].Material, -1);

    // Undo brings the two materials back, by name.
    Project->Undo();
    EXPECT_EQ(Names(mesh->Materials), (std::vector<std::string>{"Skin", "Teeth"}));

    g_Printed.clear();
    EXPECT_FALSE(Cmd(353));   // nothing highlighted
    EXPECT_TRUE(Shown(1060));
}

TEST_F(MaterialCommands, AssignNeedsExactlyOneHighlightedMaterialAcrossObjects)
{
    TKSN_Object* a = Grid("Head");
    TKSN_Object* b = Grid("Body");
    TQORMaterial* eyes = AddMaterial(a, "Eyes");
    TQORMaterial* nails = AddMaterial(b, "Nails");
    SelectAll(a);
    eyes->multiSelected = nails->multiSelected = true;
    EXPECT_FALSE(Cmd(352));
    EXPECT_TRUE(Shown(162));
    EXPECT_EQ(M(a)->Polygons[0].Material, 0);

    nails->multiSelected = false;
    EXPECT_TRUE(Cmd(352));
    for (int p = 0; p < 4; ++p) EXPECT_EQ(M(a)->Polygons[p].Material, 1);
    EXPECT_EQ(M(b)->Polygons[0].Material, 0);
}

TEST_F(MaterialCommands, PasteKeepsTheTargetNamesAndAnEmptyClipboardIsRefused)
{
    TKSN_Object* a = Grid("Head");
    TQORMaterial* skin = M(a)->Materials->GetItemAs(0);
    TQORMaterial* eyes = AddMaterial(a, "Eyes");
    EXPECT_FALSE(Cmd(356));
    EXPECT_TRUE(Shown(326));

    EXPECT_TRUE(Cmd(355));   // nothing highlighted: the warning, nothing copied
    EXPECT_TRUE(Shown(325));
    EXPECT_STREQ(App->emptyMaterial->GetName(), "__KSN_EMPTY__");

    skin->multiSelected = true;
    ASSERT_TRUE(Cmd(355));
    EXPECT_STREQ(App->emptyMaterial->GetName(), "Skin");
    skin->multiSelected = false;
    eyes->multiSelected = true;
    ASSERT_TRUE(Cmd(356));
    EXPECT_STREQ(eyes->GetName(), "Eyes");
    EXPECT_EQ(eyes->ArbChannels.Count(), skin->ArbChannels.Count());
}

TEST_F(MaterialCommands, ANewGroupTakesTheSelectedPolygonsOutOfTheirOldGroup)
{
    TKSN_Object* o = Grid("Head");
    TQORGroup2* head = AddGroup(o, "Head");
    for (int p = 0; p < 4; ++p) M(o)->Polygons[p].Group = 1;
    SelectVertices(o, {{0, 1.0f}, {1, 1.0f}, {3, 1.0f}, {4, 1.0f}});   // polygon 0 only
    ASSERT_TRUE(Cmd(359));
    RenameOk("Nose");
    Pump();
    EXPECT_EQ(Names(M(o)->Groups2), (std::vector<std::string>{"Body", "Head", "Nose"}));
    EXPECT_EQ(M(o)->Polygons[0].Group, 2);
    EXPECT_EQ(M(o)->Polygons[1].Group, 1);
    EXPECT_EQ(head->Index, 1);

    // Deleting every group leaves "default", with the warning, for every
    // polygon that had one; a polygon without a group keeps -1.
    M(o)->Polygons[3].Group = -1;
    for (int i = 0; i < 3; ++i) M(o)->Groups2->GetItem(i)->multiSelected = true;
    ASSERT_TRUE(Cmd(362));
    EXPECT_EQ(Names(M(o)->Groups2), (std::vector<std::string>{"default"}));
    EXPECT_TRUE(Shown(1366));
    for (int p = 0; p < 3; ++p) EXPECT_EQ(M(o)->Polygons[p].Group, 0);
    EXPECT_EQ(M(o)->Polygons[3].Group, -1);
}

TEST_F(MaterialCommands, RenameOpensOnTheFirstHighlightedMaterialOrWarns)
{
    TKSN_Object* o = Grid("Head");
    EXPECT_TRUE(Cmd(354));
    EXPECT_TRUE(Shown(162));
    EXPECT_FALSE(R().Shown);
    M(o)->Materials->GetItem(0)->multiSelected = true;
    EXPECT_TRUE(Cmd(354));
    EXPECT_TRUE(R().Shown);
    RenameOk("Face");
    EXPECT_STREQ(M(o)->Materials->GetItem(0)->GetName(), "Face");
}
