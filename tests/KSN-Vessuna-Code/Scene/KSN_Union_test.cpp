// Unions: members held by ID (renaming, validation, read-only state,
// strengths, base vertices, selection type), the union blocks and union
// trees, and finding folders by group path.
#include "KSN_Union.h"

#include "KSN_Mesh.h"
#include "OS.h"
#include "QORTextBlock.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace UnionTest {

using Dialogs = TBoxRecorder;

// Morphs and selections page to the virtual-memory store, which lives in a
// private temporary folder for each test.
class UnionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&Boxes);
        ASSERT_TRUE(Store.Open("ksn_unions_"));
    }
    void TearDown() override
    {
        Store.Close();
        OS.SetDialogProvider(nullptr);
    }

    Dialogs Boxes;
    TTempStoreFolder Store;
};

std::string ReadAll(FILE* file)
{
    std::string text;
    std::rewind(file);
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

FILE* FileWith(const std::string& text)
{
    FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

std::vector<unsigned> IDs(const TQORNewStaticList<unsigned int>& list)
{
    return std::vector<unsigned>(list.begin(), list.end());
}

// [SECTION] Members

TEST_F(UnionFixture, RenamingCleansTheNameAndRenamesOnlyLiveMembers)
{
    auto a = std::make_unique<TKSN_Morph>(3, 0);
    auto b = std::make_unique<TKSN_Morph>(3, 0);
    auto gone = std::make_unique<TKSN_Morph>(3, 0);
    TKSN_Selection foreign(3, 0);
    a->SetName("Smile");
    b->SetName("smile");
    foreign.SetName("Smile");
    const unsigned goneID = gone->GetID();

    TKSN_MorphUnion u;
    for (unsigned id : {a->GetID(), 0u, goneID, foreign.GetID(), b->GetID()})
        u.ItemIDs.Add(id);
    gone.reset();

    u.SetName("a:b");
    EXPECT_STREQ(u.GetName(), "a_b");
    EXPECT_STREQ(a->GetName(), "a_b");
    EXPECT_STREQ(b->GetName(), "a_b");
    EXPECT_STREQ(foreign.GetName(), "Smile");   // not a morph: not a member
    EXPECT_EQ(IDs(u.ItemIDs), (std::vector<unsigned>{a->GetID(), b->GetID()}));

    // The formatted text is cleaned once and used literally from then on.
    u.SetName("%s/%d%%", "Brow", 5);
    EXPECT_STREQ(u.GetName(), "Brow_5_");
    EXPECT_STREQ(b->GetName(), "Brow_5_");
}

TEST_F(UnionFixture, ValidationDropsDeletedMembersAndKeepsTheOrder)
{
    std::vector<std::unique_ptr<TKSN_Selection>> selections;
    for (int i = 0; i < 4; ++i)
        selections.push_back(std::make_unique<TKSN_Selection>(2, 0));
    selections[1]->SetSelectionType(eSelectionType_Polygon);

    TKSN_SelectionUnion u;
    for (auto& s : selections)
        u.ItemIDs.Add(s->GetID());
    const std::vector<unsigned> all = IDs(u.ItemIDs);

    // Only the first member decides the type.
    EXPECT_EQ(u.GetSelectionType(), 0);
    selections[0].reset();
    EXPECT_EQ(u.GetSelectionType(), 1);
    EXPECT_EQ(IDs(u.ItemIDs), (std::vector<unsigned>{all[1], all[2], all[3]}));

    selections[2].reset();
    u.ValidateItems();
    EXPECT_EQ(IDs(u.ItemIDs), (std::vector<unsigned>{all[1], all[3]}));

    selections.clear();
    EXPECT_EQ(u.GetSelectionType(), 0);
    EXPECT_TRUE(u.ItemIDs.IsEmpty());
}

TEST_F(UnionFixture, ReadOnlyStateGoesToMembersButConcreteUnionsAnswerFalse)
{
    TKSN_Morph a(1, 0), b(1, 0);
    TKSN_MorphUnion u;
    u.ItemIDs.Add(a.GetID());
    u.ItemIDs.Add(0);
    u.ItemIDs.Add(b.GetID());
    u.SetReadOnly(true);
    EXPECT_TRUE(a.readOnly);
    EXPECT_TRUE(b.readOnly);
    EXPECT_FALSE(u.readOnly);
    EXPECT_FALSE(u.IsReadOnly());

    // The template itself answers from its members.
    TKSN_Thingy x, y;
    TKSN_Union<TKSN_Thingy> generic;
    EXPECT_FALSE(generic.IsReadOnly());
    generic.ItemIDs.Add(x.GetID());
    generic.ItemIDs.Add(y.GetID());
    EXPECT_FALSE(generic.IsReadOnly());
    y.SetReadOnly(true);
    EXPECT_TRUE(generic.IsReadOnly());
    generic.SetReadOnly(false);
    EXPECT_FALSE(y.readOnly);
}

TEST_F(UnionFixture, StrengthSettingTravelsBetweenUnionAndMembers)
{
    TKSN_Morph a(1, 0), b(1, 0);
    a.Strength = 0.25f;
    a.MinStrength = -2.0f;
    a.MaxStrength = 3.0f;

    TKSN_MorphUnion u;
    u.CopyParametersFromMorph(&a);
    EXPECT_EQ(u.Strength, 0.25f);
    EXPECT_EQ(u.MinStrength, -2.0f);
    EXPECT_EQ(u.MaxStrength, 3.0f);

    u.ItemIDs.Add(a.GetID());
    u.ItemIDs.Add(b.GetID());
    u.Strength = 5.0f;   // no range check
    u.CopyParametersToAllItems();
    for (TKSN_Morph* m : {&a, &b}) {
        EXPECT_EQ(m->Strength, 5.0f);
        EXPECT_EQ(m->MinStrength, -2.0f);
        EXPECT_EQ(m->MaxStrength, 3.0f);
    }
}

TEST_F(UnionFixture, BaseVerticesAreFoundThroughTheOwningMesh)
{
    TKSN_Mesh mesh(nullptr);
    mesh.Create(3, 0, 3, 0);
    ASSERT_NE(mesh.BaseVerticesMorph, nullptr);
    TKSN_Morph* ordinary = mesh.CreateMorph(mesh.MorphTree);
    TKSN_Morph stray(3, mesh.GetID());   // claims the mesh but is not its base

    TKSN_MorphUnion u;
    u.ItemIDs.Add(ordinary->GetID());
    u.ItemIDs.Add(stray.GetID());
    EXPECT_FALSE(u.IsBaseVertices());
    u.ItemIDs.Add(mesh.BaseVerticesMorph->GetID());
    EXPECT_TRUE(u.IsBaseVertices());

    TKSN_MorphUnion empty;
    EXPECT_FALSE(empty.IsBaseVertices());
}

// [SECTION] Blocks and trees

TEST_F(UnionFixture, UnionBlocksHoldNameFlagsAndStrengthButNoMembers)
{
    TKSN_Morph member(1, 0);
    TKSN_MorphUnion u;
    u.ItemIDs.Add(member.GetID());
    u.SetName("Smile");
    u.Strength = 0.5f;
    u.MinStrength = -1.0f;
    u.MaxStrength = 2.0f;
    u.current = true;

    FILE* file = std::tmpfile();
    u.SaveToStream_Text(file, true);
    const std::string text = ReadAll(file);
    std::fclose(file);
    const std::string expected = "morph\tSmile\n{\n\tName\tSmile\n\tReadOnly\t0\n\tCollapsed\t1\n\tID\t" +
                                 std::to_string(u.GetID()) +
                                 "\n\tCurrent\t1\n\tStrength\t0.50000000\n\tMinStrength\t-1.00000000\n"
                                 "\tMaxStrength\t2.00000000\n\tCurrent\t1\n}\n";
    EXPECT_EQ(text, expected);

    TKSN_SelectionUnion s;
    s.SetName("Left");
    file = std::tmpfile();
    s.SaveToStream_Text(file, true);
    EXPECT_EQ(ReadAll(file), "selection\tLeft\n{\n\tName\tLeft\n\tReadOnly\t0\n\tCollapsed\t1\n\tID\t" +
                                 std::to_string(s.GetID()) + "\n}\n");
    std::fclose(file);
}

TEST_F(UnionFixture, UnionTreesReadBackFoldersAndUnionsOfTheirKind)
{
    TKSN_MorphUnionGroup morphs;
    morphs.typeKeyword = "morphs";
    auto* smile = new TKSN_MorphUnion;
    smile->SetName("Smile");
    smile->Strength = 0.75f;
    smile->MinStrength = -0.5f;
    smile->current = true;
    morphs.AddItem(smile);
    auto* face = new TKSN_MorphUnionGroup;
    face->SetName("Face");
    morphs.LinkChild(face);
    auto* brow = new TKSN_MorphUnion;
    brow->SetName("Brow");
    brow->MaxStrength = 4.0f;
    face->AddItem(brow);

    TKSN_SelectionUnionGroup selections;
    selections.typeKeyword = "selections";
    auto* left = new TKSN_SelectionUnion;
    left->SetName("Left");
    selections.AddItem(left);

    FILE* file = std::tmpfile();
    morphs.SaveToStream_Text(file, true);
    selections.SaveToStream_Text(file, true);
    std::rewind(file);

    char line[1000];
    ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
    TKSN_MorphUnionGroup readMorphs;
    readMorphs.LoadFromStream_Text(file);
    ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
    EXPECT_STREQ(line, "selections\t\n");
    TKSN_SelectionUnionGroup readSelections;
    readSelections.LoadFromStream_Text(file);
    std::fclose(file);

    ASSERT_EQ(readMorphs.items->Count(), 1);
    auto* smileBack = dynamic_cast<TKSN_MorphUnion*>((*readMorphs.items)[0]);
    ASSERT_NE(smileBack, nullptr);
    EXPECT_STREQ(smileBack->GetName(), "Smile");
    EXPECT_EQ(smileBack->Strength, 0.75f);
    EXPECT_EQ(smileBack->MinStrength, -0.5f);
    EXPECT_EQ(smileBack->MaxStrength, 1.0f);
    EXPECT_TRUE(smileBack->current);
    EXPECT_TRUE(smileBack->ItemIDs.IsEmpty());

    auto* faceBack = dynamic_cast<TKSN_MorphUnionGroup*>(readMorphs.GetChild());
    ASSERT_NE(faceBack, nullptr);
    EXPECT_STREQ(faceBack->GetName(), "Face");
    ASSERT_EQ(faceBack->items->Count(), 1);
    auto* browBack = dynamic_cast<TKSN_MorphUnion*>((*faceBack->items)[0]);
    ASSERT_NE(browBack, nullptr);
    EXPECT_EQ(browBack->MaxStrength, 4.0f);
    EXPECT_FALSE(browBack->current);

    ASSERT_EQ(readSelections.items->Count(), 1);
    auto* leftBack = dynamic_cast<TKSN_SelectionUnion*>((*readSelections.items)[0]);
    ASSERT_NE(leftBack, nullptr);
    EXPECT_STREQ(leftBack->GetName(), "Left");
}

TEST_F(UnionFixture, UnionTreeReadersSkipEntriesOfTheOtherKind)
{
    FILE* file = FileWith("morphs\t\n{\n\tHidden\t0\n\tselection\tLeft\n\t{\n\t\tName\tLeft\n\t}\n"
                          "\tmorph\tSmile\n\t{\n\t\tname\tSmile\n\t\tStrength\t0.5\n\t}\n}\n");
    TKSN_MorphUnionGroup group;
    group.LoadFromStream_Text(file);
    std::fclose(file);
    ASSERT_EQ(group.items->Count(), 1);
    auto* smile = dynamic_cast<TKSN_MorphUnion*>((*group.items)[0]);
    ASSERT_NE(smile, nullptr);
    EXPECT_STREQ(smile->GetName(), "Smile");
    EXPECT_EQ(smile->Strength, 0.5f);
    EXPECT_EQ(group.GetChild(), nullptr);
}

// [SECTION] Group paths

TEST(UnionGroupPath, PathsFindFoldersWithoutCaseAndCreateOnlyWhenAsked)
{
    TKSN_MorphUnionGroup root;
    root.SetName("Morphs");
    auto* face = new TKSN_MorphUnionGroup;
    face->SetName("Face");
    root.LinkChild(face);
    auto* eyes = new TKSN_MorphUnionGroup;
    eyes->SetName("Eyes");
    face->LinkChild(eyes);
    auto* body = new TKSN_MorphUnionGroup;
    body->SetName("Body");
    root.LinkChild(body);

    struct Case {
        const char* path;
        TKSN_MorphUnionGroup* expected;
    };
    const Case cases[] = {
        {nullptr, &root},
        {"", &root},
        {"Morphs", &root},              // no ':' after the first character
        {":Face", &root},               // the only ':' is the leading one
        {"Morphs:", &root},
        {"Anything:FACE:", face},      // the root's own name is not compared
        {"Morphs:face:eYes:", eyes},
        {"Morphs::Face::Eyes", eyes},  // empty names are skipped
        {":Morphs:Body:", body},       // a leading ':' makes the next name the root's
        {"Morphs:Face:Mouth:", nullptr},
        {"Morphs:Body:Eyes:", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path ? c.path : "(null)");
        EXPECT_EQ(GetGroupFromPath(&root, c.path, false), c.expected);
    }
    EXPECT_EQ(face->GetChild()->GetNext(), nullptr);   // nothing was created
    EXPECT_EQ(body->GetChild(), nullptr);

    // With create set, the missing names become folders of the root's class
    // under the folders that matched, and later lookups find them.
    TKSN_MorphUnionGroup* mouth = GetGroupFromPath(&root, "Morphs:FACE:Mouth:Lips:", true);
    ASSERT_NE(mouth, nullptr);
    EXPECT_STREQ(mouth->GetName(), "Lips");
    ASSERT_NE(mouth->GetParent(), nullptr);
    EXPECT_STREQ(mouth->GetParent()->GetName(), "Mouth");
    EXPECT_EQ(mouth->GetParent()->GetParent(), face);
    EXPECT_EQ(face->GetChild(), eyes);   // appended as the last child
    EXPECT_EQ(GetGroupFromPath(&root, "x:face:mouth:lips", false), mouth);

    // Names are not limited in length.
    const std::string longName(600, 'n');
    TKSN_MorphUnionGroup* deep = GetGroupFromPath(&root, ("Morphs:" + longName + ":").c_str(), true);
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(std::string(deep->GetName()), longName);
    EXPECT_EQ(GetGroupFromPath(&root, ("Morphs:" + longName).c_str(), false), deep);
}

TEST(UnionGroupPath, MeshTreesCreateFoldersOfTheirOwnClass)
{
    TKSN_SelectionTreeGroup root;
    root.SetName("Selections");
    TKSN_SelectionTreeGroup* made = GetGroupFromPath(&root, "Selections:Arms:Left:", true);
    ASSERT_NE(made, nullptr);
    EXPECT_NE(dynamic_cast<TKSN_SelectionTreeGroup*>(made->GetParent()), nullptr);
    EXPECT_EQ(GetGroupFromPath(&root, "Selections:arms:LEFT:", false), made);
}

} // namespace UnionTest
