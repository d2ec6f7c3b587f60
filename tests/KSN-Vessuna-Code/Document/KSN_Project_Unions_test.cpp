// Morphs and selections across objects: unions founded, kept in step and
// deleted; the morph trees re-filed; stored selections applied and duplicated.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "KSN_ProjectFileTestSupport.h"
#include "QORLanguage.h"
#include "QORString.h"

namespace {

using namespace ksn_file_test;

class ProjectUnionsFixture : public ProjectFileFixture {
protected:
    TKSN_Object* Head = nullptr;
    TKSN_Object* Teeth = nullptr;
    TKSN_Morph* HeadSmile = nullptr;
    TKSN_Morph* TeethSmile = nullptr;

    void SetUp() override
    {
        ProjectFileFixture::SetUp();
        Head = MakeQuadObject("Head");
        Teeth = MakeQuadObject("Teeth");
        auto* face = new TKSN_MorphTreeGroup();
        face->SetName("Face");
        Head->Mesh->MorphTree->LinkChild(face);
        HeadSmile = AddMorph(Head->Mesh.get(), face, "Smile", 0.25f);
        HeadSmile->MaxStrength = 2.0f;
        TeethSmile = AddMorph(Teeth->Mesh.get(), nullptr, "Smile", 0.75f);
    }

    std::vector<TKSN_MorphUnion*> MorphUnionsNamed(const char* name)
    {
        std::vector<TKSN_MorphUnion*> found;
        std::unique_ptr<TQORNewStaticList<TKSN_MorphUnion*>> unions(Project->GetMorphUnionList());
        for (TKSN_MorphUnion* u : *unions)
            if (std::strcmp(u->GetName(), name) == 0) found.push_back(u);
        return found;
    }

    static std::vector<unsigned> Members(TKSN_MorphUnion* u) { return {u->ItemIDs.begin(), u->ItemIDs.end()}; }
};

TEST_F(ProjectUnionsFixture, LikeNamedMorphsShareOneUnionKeptInStepWithRenames)
{
    Project->CreateUnionsFromMissingMorphs();
    auto smile = MorphUnionsNamed("Smile");
    ASSERT_EQ(smile.size(), 1u);
    ASSERT_LT(HeadSmile->GetID(), TeethSmile->GetID());
    EXPECT_EQ(Members(smile[0]), (std::vector<unsigned>{HeadSmile->GetID(), TeethSmile->GetID()}));
    EXPECT_EQ(smile[0]->Strength, 0.25f) << "the lower ID decides the strengths";
    EXPECT_EQ(smile[0]->MaxStrength, 2.0f);
    auto* folder = dynamic_cast<TKSN_TreeGroup*>(Project->MorphUnions->GetChild());
    ASSERT_NE(folder, nullptr);
    EXPECT_STREQ(folder->GetName(), "Face");
    EXPECT_EQ(folder->items->Find(smile[0]), 0);
    EXPECT_TRUE(MorphUnionsNamed("(Base Vertices)").empty());
    EXPECT_TRUE(MorphUnionsNamed("Temp Morph").empty());

    // Renamed away, the morph leaves its union and founds one of its new name.
    TeethSmile->SetName("Grin");
    Project->CreateUnionsFromMissingMorphs();
    EXPECT_EQ(Members(smile[0]), (std::vector<unsigned>{HeadSmile->GetID()}));
    ASSERT_EQ(MorphUnionsNamed("Grin").size(), 1u);
    EXPECT_EQ(Members(MorphUnionsNamed("Grin")[0]), (std::vector<unsigned>{TeethSmile->GetID()}));

    // Only the letter case differs: it stays a member and founds its own spelling too.
    TeethSmile->SetName("Smile");
    Project->CreateUnionsFromMissingMorphs();
    TeethSmile->SetName("SMILE");
    Project->CreateUnionsFromMissingMorphs();
    EXPECT_EQ(Members(smile[0]), (std::vector<unsigned>{HeadSmile->GetID(), TeethSmile->GetID()}));
    ASSERT_EQ(MorphUnionsNamed("SMILE").size(), 1u);
    EXPECT_EQ(Members(MorphUnionsNamed("SMILE")[0]), (std::vector<unsigned>{TeethSmile->GetID()}));
    EXPECT_EQ(MorphUnionsNamed("Grin").size(), 1u) << "a union left without members stays";
}

TEST_F(ProjectUnionsFixture, CleanupMirrorsTheUnionFoldersAndKeepsTheSpecialMorphsApart)
{
    Project->CreateUnionsFromMissingMorphs();
    Project->CleanupMeshMorphGroupings();
    for (TKSN_Object* object : {Head, Teeth}) {
        SCOPED_TRACE(object->GetName());
        TKSN_Mesh* mesh = object->Mesh.get();
        EXPECT_GE(mesh->MorphTree->items->Find(mesh->BaseVerticesMorph), 0);
        TKSN_TreeGroup* hidden = FindGroupFromName(mesh->MorphTree->GetChild(), "Hidden Morphs");
        ASSERT_NE(hidden, nullptr);
        EXPECT_TRUE(hidden->hidden);
        EXPECT_GE(hidden->items->Find(mesh->TempMorph), 0);
        TKSN_TreeGroup* face = FindGroupFromName(mesh->MorphTree->GetChild(), "Face");
        ASSERT_NE(face, nullptr) << "the teeth's Smile follows its union into 'Face'";
        TKSN_Morph* smile = object == Head ? HeadSmile : TeethSmile;
        EXPECT_GE(face->items->Find(smile), 0);
    }
}

TEST_F(ProjectUnionsFixture, HighlightedRootRefusesDeletion)
{
    Project->SetCurrentObject(Head);
    Head->Mesh->MorphTree->multiSelected = true;
    HeadSmile->multiSelected = true;
    EXPECT_FALSE(Project->DeleteSelectedMorphs());
    TKSN_Selection* eyes = AddSelection(Head->Mesh.get(), "Eyes");
    Head->Mesh->SelectionTree->multiSelected = true;
    eyes->multiSelected = true;
    EXPECT_FALSE(Project->DeleteSelectedSelections());
    EXPECT_EQ(Warnings, (std::vector<std::string>{Lang.GetText(305), Lang.GetText(305)}));
    EXPECT_TRUE(Dialogs.Boxes.empty()) << "nothing is asked";
    std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(Head->Mesh->GetMorphList());
    EXPECT_GE(morphs->Find(HeadSmile), 0);
}

TEST_F(ProjectUnionsFixture, DeletedUnionFolderTakesItsMembersOnEveryObject)
{
    Project->CreateUnionsFromMissingMorphs();
    auto* folder = dynamic_cast<TKSN_TreeGroup*>(Project->MorphUnions->GetChild());
    ASSERT_NE(folder, nullptr);
    folder->multiSelected = true;
    Dialogs.Answers.push_back(TOSBoxAnswer::Yes);
    EXPECT_TRUE(Project->DeleteSelectedMorphUnions());
    ASSERT_EQ(Dialogs.Boxes.size(), 1u);
    EXPECT_EQ(Dialogs.Boxes[0].Text, Lang.GetText(304));
    EXPECT_TRUE(MorphUnionsNamed("Smile").empty());
    EXPECT_EQ(Project->MorphUnions->GetChild(), nullptr);
    for (TKSN_Object* object : {Head, Teeth}) {
        std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> morphs(object->Mesh->GetMorphList());
        for (TKSN_Morph* morph : *morphs) EXPECT_STRNE(morph->GetName(), "Smile") << object->GetName();
    }

    // Answering No deletes nothing.
    Project->CreateUnionsFromMissingMorphs();
    auto defaults = MorphUnionsNamed("Default Morph");
    ASSERT_EQ(defaults.size(), 1u);
    defaults[0]->multiSelected = true;
    Dialogs.Answers.push_back(TOSBoxAnswer::No);
    EXPECT_FALSE(Project->DeleteSelectedMorphUnions());
    EXPECT_EQ(MorphUnionsNamed("Default Morph").size(), 1u);
}

TEST_F(ProjectUnionsFixture, AppliedSelectionAddsClampsAndSparesHiddenVertices)
{
    TKSN_Mesh* mesh = Head->Mesh.get();
    auto* stored = new TKSN_Selection(4, mesh->GetID());   // made before the mesh had 6 vertices
    stored->SetName("Eyes");
    for (int v = 0; v < 4; ++v) stored->SetVSelect(v, 0.5f);
    mesh->SelectionTree->AddItem(stored);
    for (int v = 0; v < 6; ++v) mesh->VertexInfo[v].Select = 0.7f;
    mesh->VertexInfo[1].Flags |= QORPoly_Hidden;

    Project->ApplyPresetSelection(mesh, stored, true);
    EXPECT_EQ(stored->GetVCount(), 6);
    EXPECT_FLOAT_EQ(mesh->VertexInfo[0].Select, 1.0f);
    EXPECT_FLOAT_EQ(mesh->VertexInfo[1].Select, 0.7f) << "hidden vertices keep theirs";
    EXPECT_FLOAT_EQ(mesh->VertexInfo[5].Select, 0.7f) << "the grown vertex adds 0";

    Project->ApplyPresetSelection(mesh, stored, false);
    EXPECT_FLOAT_EQ(mesh->VertexInfo[0].Select, 0.5f);
    EXPECT_FLOAT_EQ(mesh->VertexInfo[5].Select, 0.0f);
}

TEST_F(ProjectUnionsFixture, DuplicatedSelectionsAreNamedPlacedAndReported)
{
    Project->SetCurrentObject(Head);
    TKSN_Mesh* mesh = Head->Mesh.get();
    TKSN_Selection* eyes = AddSelection(mesh, "Eyes", 0.25f);
    TKSN_Selection* lips = AddSelection(mesh, "Lips");

    eyes->multiSelected = true;
    EXPECT_TRUE(Project->DuplicateSelectedSelections());
    ASSERT_EQ(mesh->SelectionTree->items->Count(), 3);
    auto* copy = dynamic_cast<TKSN_Selection*>((*mesh->SelectionTree->items)[1]);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetName(), "Eyes Copy");
    EXPECT_EQ((*mesh->SelectionTree->items)[2], lips);
    EXPECT_FLOAT_EQ(copy->GetVSelect(2), 0.25f);
    EXPECT_TRUE(copy->multiSelected);
    EXPECT_FALSE(eyes->multiSelected) << "the copy alone is highlighted";
    EXPECT_EQ(Prints, (std::vector<std::string>{QORFormat(Lang.GetText(1011), "Eyes")}));

    Prints.clear();
    eyes->multiSelected = lips->multiSelected = copy->multiSelected = true;
    EXPECT_TRUE(Project->DuplicateSelectedSelections());
    EXPECT_EQ(mesh->SelectionTree->items->Count(), 6);
    EXPECT_EQ(Prints, (std::vector<std::string>{QORFormat(Lang.GetText(1012), 3)}));
}

TEST_F(ProjectUnionsFixture, SelectionUnionsJoinLikeNamedSelectionsAndDuplicateAcrossObjects)
{
    TKSN_Selection* headEyes = AddSelection(Head->Mesh.get(), "Eyes");
    TKSN_Selection* teethEyes = AddSelection(Teeth->Mesh.get(), "Eyes");
    Project->CreateUnionsFromMissingSelections();
    auto* u = dynamic_cast<TKSN_SelectionUnion*>(FindThingyFromName(Project->SelectionUnions, "Eyes"));
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(std::vector<unsigned>(u->ItemIDs.begin(), u->ItemIDs.end()),
              (std::vector<unsigned>{headEyes->GetID(), teethEyes->GetID()}));

    u->multiSelected = true;
    EXPECT_TRUE(Project->DuplicateSelectedSelectionUnions());
    for (TKSN_Object* object : {Head, Teeth}) {
        TKSN_ThingyList& items = *object->Mesh->SelectionTree->items;
        ASSERT_EQ(items.Count(), 2);
        EXPECT_STREQ(items[1]->GetName(), "Eyes Copy") << object->GetName();
    }
}

} // namespace
