// The selection commands on real quad-grid meshes: weight operations and
// their undo, presets and folders through the real rename window, hiding and
// locking through the project's layers, and every id on thin projects.
#include <gtest/gtest.h>

#include "KSN_SelectionCommandTestSupport.h"
#include "KSN_Selection.h"
#include "KSN_Union.h"
#include "QORMaterial.h"
#include "QORString.h"

#include <cstring>

namespace {

class SelectionCommands : public SelectionCommandFixture {};

// [SECTION] Weights

struct THardenCase {
    int Type;   // 0 vertex, 1 polygon
    bool Alt;
    float Before, After;
};

TEST_F(SelectionCommands, HardenFollowsItsThresholdsForVerticesAndPolygons)
{
    const THardenCase cases[] = {
        {0, false, 0.299f, 1.0f},  {0, false, 0.2989f, 0.0f}, {1, false, 0.05f, 1.0f},  {1, false, 0.049f, 0.0f},
        {0, true, 0.5f, 0.55f},    {0, true, 0.2f, 0.18f},     {1, true, 1.0f, 1.0f},    {1, true, 0.0499f, 0.0f},
    };
    TKSN_Object* grid = AddGrid("Grid");
    for (const THardenCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.Type << " alt " << c.Alt << " weight " << c.Before);
        App->selectionType = eSelectionType(c.Type);
        SetVertexWeights(grid, std::vector<float>(16, 0.0f));
        SetPolygonWeights(grid, std::vector<float>(9, 0.0f));
        grid->Mesh->VertexInfo[15].Select = 1.0f;   // keeps the object "with a selection"
        if (c.Type == 0)
            grid->Mesh->VertexInfo[5].Select = c.Before;
        else
            grid->Mesh->Polygons[4].Select = c.Before;
        grid->Mesh->SelectedListsValid = false;
        OS.SetAltHeld(c.Alt);
        EXPECT_TRUE(Run(244));
        const float after = c.Type == 0 ? grid->Mesh->VertexInfo[5].Select : grid->Mesh->Polygons[4].Select;
        EXPECT_NEAR(after, c.After, 1e-6f);
    }
}

TEST_F(SelectionCommands, NormalizeDoublesAHalfSelectionAndRefusesWithoutAMesh)
{
    TKSN_Object* grid = AddGrid("Grid");
    std::vector<float> w(16, 0.0f);
    w[0] = 0.5f;
    w[1] = 0.25f;
    w[2] = 0.125f;
    SetVertexWeights(grid, w);
    EXPECT_TRUE(Run(245));
    EXPECT_FLOAT_EQ(grid->Mesh->VertexInfo[0].Select, 1.0f);
    EXPECT_FLOAT_EQ(grid->Mesh->VertexInfo[1].Select, 0.5f);
    EXPECT_FLOAT_EQ(grid->Mesh->VertexInfo[2].Select, 0.25f);

    // Nothing selected: no weight changes and no flash.
    SetVertexWeights(grid, std::vector<float>(16, 0.0f));
    Project->ClearFlashSelection();
    EXPECT_TRUE(Run(245));
    EXPECT_EQ(VertexWeights(grid), std::vector<float>(16, 0.0f));
    EXPECT_FALSE(Project->DoFlashSelection());
}

TEST_F(SelectionCommands, NormalizeWithoutACurrentMeshSaysNothing)
{
    g_Printed.clear();
    EXPECT_FALSE(Run(245));
    EXPECT_TRUE(g_Printed.empty());
    EXPECT_EQ(UndoNodes(), 0);
}

TEST_F(SelectionCommands, SelectAllLeavesHiddenAndLockedItemsAlone)
{
    TKSN_Object* grid = AddGrid("Grid");
    grid->Mesh->VertexInfo[3].Flags |= 0x1;   // hidden
    grid->Mesh->VertexInfo[7].Flags |= 0x4;   // locked
    grid->Mesh->VertexInfo[7].Select = 0.25f;
    EXPECT_TRUE(Run(236));
    for (int v = 0; v < 16; ++v) {
        SCOPED_TRACE(v);
        const float expected = v == 3 ? 0.0f : v == 7 ? 0.25f : 1.0f;
        EXPECT_FLOAT_EQ(grid->Mesh->VertexInfo[v].Select, expected);
    }
}

// With no vertex hidden or locked the polygons follow from the one weight
// Select All gave; they must still come out as the corner rule says: hidden
// and locked polygons and one naming no vertex at 0, one naming a missing
// vertex beside real ones at 1.
TEST_F(SelectionCommands, SelectAllWithEveryVertexUsableConvertsPolygonsByTheCornerRule)
{
    TKSN_Object* grid = AddGrid("Grid");
    TKSN_Mesh* mesh = grid->Mesh.get();
    mesh->PolygonFlags[0] |= 0x1;   // hidden
    mesh->PolygonFlags[2] |= 0x4;   // locked
    for (int k = 0; k < mesh->Polygons[4].Count; ++k) mesh->Polygons[4].Points[k].V = -1;
    mesh->Polygons[5].Points[0].V = 99;
    for (int p = 0; p < mesh->GetPCount(); ++p) mesh->Polygons[p].Select = 0.5f;
    EXPECT_TRUE(Run(236));
    for (int p = 0; p < mesh->GetPCount(); ++p) {
        SCOPED_TRACE(p);
        const float expected = (p == 0 || p == 2 || p == 4) ? 0.0f : 1.0f;
        EXPECT_EQ(mesh->Polygons[p].Select, expected);
    }
    // The uniform weight served that update only.
    EXPECT_FALSE(mesh->UniformVertexWeightKnown);
    mesh->VertexInfo[mesh->Polygons[8].Points[0].V].Select = 0.25f;
    mesh->AfterFullSelection();
    EXPECT_EQ(mesh->Polygons[8].Select, 0.25f);
}

TEST_F(SelectionCommands, ShrinkZeroesOpenEdgeVerticesAndSoftenWithShiftAndAltSpreadsOutwards)
{
    TKSN_Object* grid = AddGrid("Grid");
    EXPECT_TRUE(Run(236));
    EXPECT_TRUE(Run(247));
    for (int v = 0; v < 16; ++v) {
        const int x = v % 4, y = v / 4;
        const bool border = x == 0 || y == 0 || x == 3 || y == 3;
        EXPECT_FLOAT_EQ(grid->Mesh->VertexInfo[v].Select, border ? 0.0f : 1.0f) << v;
    }

    // Shift wins over Alt: the selection only grows.
    const std::vector<float> before = VertexWeights(grid);
    MainWindow->ShiftHeld = MainWindow->AltHeld = true;
    EXPECT_TRUE(Run(243));
    MainWindow->ShiftHeld = MainWindow->AltHeld = false;
    const std::vector<float> after = VertexWeights(grid);
    bool spread = false;
    for (size_t v = 0; v < after.size(); ++v) {
        EXPECT_GE(after[v], before[v]) << v;
        spread = spread || after[v] > before[v];
    }
    EXPECT_TRUE(spread);
}

TEST_F(SelectionCommands, AnUnknownSelectionTypeChangesNoWeightButRecordsUndo)
{
    TKSN_Object* grid = AddGrid("Grid");
    std::vector<float> w(16, 0.0f);
    w[5] = 0.6f;
    SetVertexWeights(grid, w);
    App->selectionType = eSelectionType(2);
    for (int id : {236, 238, 244, 245, 252, 254, 256}) {
        SCOPED_TRACE(id);
        const int nodes = UndoNodes();
        EXPECT_TRUE(Run(id));
        EXPECT_EQ(VertexWeights(grid), w);
        EXPECT_GT(UndoNodes(), nodes);
    }
}

// After each operation one Undo gives back every weight bit for bit,
// including those of objects that BeforeSelect leaves out.
TEST_F(SelectionCommands, OneUndoRestoresEveryWeightAfterEachOperation)
{
    TKSN_Object* a = AddGrid("A");
    TKSN_Object* b = AddGrid("B");
    Project->SetCurrentObject(a);
    Project->AffectMode = 1;   // only the current object is affectable: B is not

    auto* material = new TQORMaterial();
    material->SetName("%s", "Skin");
    material->multiSelected = true;
    for (TKSN_Object* o : {a, b}) {
        auto* m = new TQORMaterial();
        m->SetName("%s", "Skin");
        m->multiSelected = true;
        if (!o->Mesh->Materials) o->Mesh->Materials = new TQORMaterialList();
        o->Mesh->Materials->AddItem(m);
        const int16_t index = int16_t(o->Mesh->Materials->GetItemCount() - 1);
        for (int p = 0; p < 9; ++p) o->Mesh->Polygons[p].Material = p % 2 == 0 ? index : int16_t(-1);
    }
    delete material;

    for (const int type : {0, 1})
        for (int id : {236, 238, 243, 244, 245, 246, 247, 252, 253, 254, 255, 256, 257}) {
            SCOPED_TRACE(testing::Message() << "id " << id << " type " << type);
            App->selectionType = eSelectionType(type);
            std::vector<float> wa(16), wb(16), pa(9), pb(9);
            for (int v = 0; v < 16; ++v) {
                wa[size_t(v)] = float((v * 37) % 11) / 10.0f;
                wb[size_t(v)] = float((v * 17) % 7) / 6.0f;
            }
            for (int p = 0; p < 9; ++p) {
                pa[size_t(p)] = float((p * 5) % 9) / 8.0f;
                pb[size_t(p)] = float((p * 7) % 9) / 8.0f;
            }
            SetVertexWeights(a, wa);
            SetVertexWeights(b, wb);
            SetPolygonWeights(a, pa);
            SetPolygonWeights(b, pb);
            a->multiSelected = b->multiSelected = true;
            Project->EmptyUndoStack();
            App->frameCounter += 1;
            Run(id);
            App->frameCounter += 1;
            Project->Undo();
            if (type == 0) {
                EXPECT_EQ(VertexWeights(a), wa);
                EXPECT_EQ(VertexWeights(b), wb);
            } else {
                EXPECT_EQ(PolygonWeights(a), pa);
                EXPECT_EQ(PolygonWeights(b), pb);
            }
        }
}

TEST_F(SelectionCommands, SelectByMaterialAlsoReachesObjectsThatCannotBeAffected)
{
    TKSN_Object* a = AddGrid("A");
    TKSN_Object* b = AddGrid("B");
    Project->SetCurrentObject(a);
    Project->AffectMode = 1;
    auto* m = new TQORMaterial();
    m->SetName("%s", "Skin");
    m->multiSelected = true;
    b->Mesh->Materials = b->Mesh->Materials ? b->Mesh->Materials : new TQORMaterialList();
    b->Mesh->Materials->AddItem(m);
    b->Mesh->Polygons[0].Material = int16_t(b->Mesh->Materials->GetItemCount() - 1);
    EXPECT_TRUE(Run(252));
    for (int v : {0, 1, 4, 5}) EXPECT_FLOAT_EQ(b->Mesh->VertexInfo[v].Select, 1.0f) << v;
    EXPECT_FLOAT_EQ(b->Mesh->VertexInfo[2].Select, 0.0f);
}

// [SECTION] Presets

TEST_F(SelectionCommands, APresetOfTwoObjectsStoresTheirWeightsAndAppliesThemAgain)
{
    TKSN_Object* a = AddGrid("A");
    TKSN_Object* b = AddGrid("B");
    std::vector<float> wa(16, 0.0f), wb(16, 0.0f);
    wa[1] = 1.0f;
    wa[2] = 0.5f;
    wb[7] = 0.75f;
    SetVertexWeights(a, wa);
    SetVertexWeights(b, wb);

    EXPECT_TRUE(Run(229));
    ASSERT_TRUE(MainWindow->RenameWindow->Shown);
    EXPECT_STREQ(MainWindow->RenameWindow->NameField->EditField->GetText(), "New Selection");
    SetRenameText("Brow");
    PressRenameOk();
    Pump();

    ASSERT_EQ(Project->SelectionUnions->items->Count(), 1);
    auto* brow = dynamic_cast<TKSN_SelectionUnion*>((*Project->SelectionUnions->items)[0]);
    ASSERT_NE(brow, nullptr);
    EXPECT_STREQ(brow->GetName(), "Brow");
    brow->ValidateItems();
    ASSERT_EQ(brow->ItemIDs.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        auto* selection = dynamic_cast<TKSN_Selection*>(__GetThingyFromID(brow->ItemIDs[i]));
        ASSERT_NE(selection, nullptr);
        const std::vector<float>& expected = i == 0 ? wa : wb;
        ASSERT_EQ(selection->GetVCount(), 16);
        for (int v = 0; v < 16; ++v) EXPECT_FLOAT_EQ(selection->GetVSelect(v), expected[size_t(v)]) << v;
    }
    EXPECT_TRUE(brow->multiSelected) << "the new preset is highlighted";

    EXPECT_TRUE(Run(237));
    EXPECT_EQ(VertexWeights(a), std::vector<float>(16, 0.0f));
    EXPECT_TRUE(Run(251));
    EXPECT_EQ(VertexWeights(a), wa);
    EXPECT_EQ(VertexWeights(b), wb);
}

TEST_F(SelectionCommands, ThePresetDialogProposesAFreeNameAndRefusesATakenOne)
{
    TKSN_Object* a = AddGrid("A");
    for (const char* name : {"New Selection", "New Selection (2)"}) {
        auto* s = new TKSN_Selection(16, a->Mesh->GetID());
        s->SetName("%s", name);
        a->Mesh->SelectionTree->AddItem(s);
    }
    a->Mesh->VertexInfo[0].Select = 1.0f;
    a->Mesh->SelectedListsValid = false;
    EXPECT_TRUE(Run(229));
    EXPECT_STREQ(MainWindow->RenameWindow->NameField->EditField->GetText(), "New Selection (3)");

    SetRenameText("new selection (2)");
    PressRenameOk();
    EXPECT_TRUE(MainWindow->RenameWindow->Shown) << "a taken name keeps the window open";
    EXPECT_TRUE(BoxShown(QORFormat(Lang.GetText(1215), "new selection (2)")));
}

TEST_F(SelectionCommands, ReplaceRefusesWithoutAPresetAndChangesNothingOnNo)
{
    AddGrid("A")->Mesh->VertexInfo[0].Select = 1.0f;
    EXPECT_FALSE(Run(250));
    EXPECT_TRUE(Printed(Lang.GetText(256)));
    EXPECT_EQ(Queued(10), 1);

    auto* preset = new TKSN_SelectionUnion();
    preset->SetName("%s", "Brow");
    Project->SelectionUnions->AddItem(preset);
    Project->SelectionUnions->SelectItem(preset->GetID(), false, false);
    Provider.Answers.push_back(TOSBoxAnswer::No);
    EXPECT_FALSE(Run(250));
    EXPECT_TRUE(BoxShown(QORFormat(Lang.GetText(257), "Brow")));
    EXPECT_EQ(preset->ItemIDs.Count() - int(preset->ItemIDs.Find(0) >= 0), 0);
}

TEST_F(SelectionCommands, StatusSentencesCarryAVeryLongNameWhole)
{
    TKSN_Object* a = AddGrid("A");
    a->Mesh->VertexInfo[0].Select = 1.0f;
    a->Mesh->SelectedListsValid = false;
    const std::string name(999, 'n');
    EXPECT_TRUE(Run(229));
    SetRenameText(name.c_str());
    PressRenameOk();
    Pump(1);
    // The message panel keeps at most 1000 bytes of a line; the sentence
    // reaches it whole up to there, and the preset keeps the whole name.
    bool shown = false;
    for (const std::string& line : g_Printed)
        shown = shown || line.find("Created the selection \"" + name.substr(0, 900)) != std::string::npos;
    EXPECT_TRUE(shown);
    ASSERT_EQ(Project->SelectionUnions->items->Count(), 1);
    EXPECT_EQ(std::string((*Project->SelectionUnions->items)[0]->GetName()), name);
}

TEST_F(SelectionCommands, NewFolderInAnObjectsTreeOpensTheRenameWindowWithCancelCommand14)
{
    TKSN_Object* a = AddGrid("A");
    Project->SetObjectContainingCurrentSelectionID(a->GetID());
    EXPECT_TRUE(Run(231));
    ASSERT_EQ(Queued(139), 1);
    for (int i = 0; i < QOREvents_GetEventCount(); ++i) {
        TQOREvent* e = QOREvents_PeekEvent(i);
        if (e->GetCommand() != 139) continue;
        EXPECT_EQ(e->intParameters[0], 440);
        EXPECT_EQ(e->intParameters[1], 14);
        auto* folder = dynamic_cast<TKSN_TreeGroup*>(__GetThingyFromID(e->GetOwnerID()));
        ASSERT_NE(folder, nullptr);
        EXPECT_EQ(folder->GetParent(), a->Mesh->SelectionTree);
    }
}

TEST_F(SelectionCommands, APresetFolderGoesIntoTheHighlightedFolderOnlyAndOpens)
{
    AddGrid("A");
    TKSN_SelectionUnionGroup* tree = Project->SelectionUnions;
    auto* preset = new TKSN_SelectionUnion();
    preset->SetName("%s", "Brow");
    tree->AddItem(preset);
    tree->SelectItem(preset->GetID(), false, false);

    EXPECT_TRUE(Run(230));
    EXPECT_STREQ(MainWindow->RenameWindow->NameField->EditField->GetText(), Lang.GetText(1325));
    SetRenameText("Face");
    PressRenameOk();
    Pump(1);
    auto* face = dynamic_cast<TKSN_SelectionUnionGroup*>(tree->GetChild());
    ASSERT_NE(face, nullptr) << "a highlighted preset does not become a parent";
    EXPECT_STREQ(face->GetName(), "Face");
    EXPECT_FALSE(face->collapsed);
    EXPECT_TRUE(face->multiSelected);

    EXPECT_TRUE(Run(230));
    SetRenameText("Brows");
    PressRenameOk();
    Pump(1);
    auto* inner = dynamic_cast<TKSN_SelectionUnionGroup*>(face->GetChild());
    ASSERT_NE(inner, nullptr) << "a highlighted folder is the parent";
    EXPECT_STREQ(inner->GetName(), "Brows");
    EXPECT_FALSE(face->collapsed);
}

TEST_F(SelectionCommands, RenamingAMeshsSelectionRootIsRefused)
{
    TKSN_Object* a = AddGrid("A");
    Project->SetObjectContainingCurrentSelectionID(a->GetID());
    a->Mesh->SelectionTree->SelectItem(a->Mesh->SelectionTree->GetID(), false, false);
    EXPECT_FALSE(Run(233));
    EXPECT_TRUE(Printed(Lang.GetText(562)));
}

// [SECTION] Hiding and locking

TEST_F(SelectionCommands, HideTakesPolygonsAbove0299AndUnhideGivesThemBack)
{
    TKSN_Object* a = AddGrid("A");
    App->selectionType = eSelectionType_Polygon;
    SelectPolygon(a, 0, 0.299f);
    SelectPolygon(a, 8, 0.3f);
    const std::vector<uint32_t> before = Masks(a);
    EXPECT_TRUE(Run(239));
    EXPECT_FALSE(a->Mesh->Polygons[0].LayerFlags & Bit(30));
    EXPECT_TRUE(a->Mesh->Polygons[8].LayerFlags & Bit(30));
    EXPECT_EQ(PolygonWeights(a), std::vector<float>(9, 0.0f));
    EXPECT_EQ(VertexWeights(a), std::vector<float>(16, 0.0f));

    const std::vector<uint32_t> hidden = Masks(a);
    App->frameCounter += 1;
    EXPECT_TRUE(Run(240));
    EXPECT_EQ(Masks(a), before);
    Project->Undo();
    EXPECT_EQ(Masks(a), hidden);
}

TEST_F(SelectionCommands, UnhideAllWithNothingHiddenWarnsAndAHiddenLayerAsks)
{
    TKSN_Object* a = AddGrid("A");
    EXPECT_TRUE(Run(240));
    EXPECT_TRUE(Printed(Lang.GetText(1006)));
    EXPECT_EQ(UndoNodes(), 0);
    EXPECT_EQ(Queued(436), 0);

    EnableLayers(2);
    Layer(2)->DisplayFlags |= TKSN_Layer::Hidden;
    a->Mesh->Polygons[3].LayerFlags = Bit(2);
    Provider.Answers.push_back(TOSBoxAnswer::No);
    EXPECT_TRUE(Run(240));
    EXPECT_TRUE(BoxShown(Lang.GetText(107)));
    EXPECT_TRUE(Layer(2)->IsHidden());
}

// [SECTION] Every id

TEST_F(SelectionCommands, EveryIdRunsOnAnEmptyProjectAndOnAnObjectWithoutSelection)
{
    for (int round = 0; round < 2; ++round) {
        if (round == 1) AddGrid("A");
        for (int id = 225; id <= 258; ++id) {
            SCOPED_TRACE(testing::Message() << "round " << round << " id " << id);
            EXPECT_NO_THROW(Run(id));
            EXPECT_NO_THROW(Pump(1));
        }
    }
    EXPECT_FALSE(Run(225));
    EXPECT_FALSE(Run(258));
    EXPECT_TRUE(Run(249));
}

TEST_F(SelectionCommands, RefusalsShowTheirMessages)
{
    struct TRefusal {
        int Id;
        std::string Text;
    };
    // On an empty project.
    for (const TRefusal& r : {TRefusal{229, Lang.GetText(1180)}, TRefusal{230, Lang.GetText(1180)},
                              TRefusal{234, Lang.GetText(1291)}, TRefusal{250, Lang.GetText(256)}}) {
        SCOPED_TRACE(r.Id);
        g_Printed.clear();
        EXPECT_FALSE(Run(r.Id));
        EXPECT_TRUE(Printed(r.Text));
    }
    // On one object without a selection.
    AddGrid("A");
    for (const TRefusal& r : {TRefusal{229, "There is no selection to store as a preset"},
                              TRefusal{234, Lang.GetText(1291)}}) {
        SCOPED_TRACE(r.Id);
        g_Printed.clear();
        EXPECT_FALSE(Run(r.Id));
        EXPECT_TRUE(Printed(r.Text));
    }
}

} // namespace
