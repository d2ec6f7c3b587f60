// Morph and selection trees: reading nested folders and items back from the
// "morphs" and "selections" blocks, skipping entries of the other kind, and
// ownership of what was read.
#include "KSN_MorphSelectionTree.h"

#include "KSN_Morph.h"
#include "KSN_Selection.h"
#include "OS.h"
#include "QORTextBlock.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace MorphSelectionTreeTest {

using Dialogs = TBoxRecorder;

class MorphSelectionTreeFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        OS.SetDialogProvider(&Boxes);
        ASSERT_TRUE(Store.Open("ksn_trees_"));
    }
    void TearDown() override
    {
        Store.Close();
        OS.SetDialogProvider(nullptr);
    }

    Dialogs Boxes;
    TTempStoreFolder Store;
    const fs::path& Folder = Store.Folder;
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

// Text written by a function that gets the file and writes at depth 0.
std::string Written(const std::function<void(FILE*)>& write)
{
    FILE* file = std::tmpfile();
    write(file);
    std::string text = ReadAll(file);
    std::fclose(file);
    return text;
}

// Writes one item block one level deep, as inside a tree block.
void WriteItem(FILE* file, TKSN_Thingy& item)
{
    TextFileIndent = 1;
    item.SaveToStream_Text(file, true);
    TextFileIndent = 0;
}

// Reads a tree block (its key line first) into root.
void ReadTree(TKSN_TreeGroup& root, const std::string& text)
{
    FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    try {
        root.LoadFromStream_Text(file);
    } catch (...) {
        std::fclose(file);
        throw;
    }
    std::fclose(file);
}

std::unique_ptr<TKSN_Morph> MakeMorph(const char* name, float dx)
{
    auto morph = std::make_unique<TKSN_Morph>(2, 0);
    morph->SetName("%s", name);
    morph->GetVertex(1)[0] = dx;
    return morph;
}

std::vector<std::string> ItemNames(TKSN_TreeGroup* group)
{
    std::vector<std::string> names;
    for (TKSN_Thingy* item : *group->items)
        names.push_back(item->GetName());
    return names;
}

TEST_F(MorphSelectionTreeFixture, MorphTreeReadsItemsAndNestedFoldersInFileOrder)
{
    auto first = MakeMorph("Smile", 0.5f);
    auto second = MakeMorph("Frown", -0.5f);
    auto third = MakeMorph("Blink", 2.0f);
    TKSN_Selection stray(3, 0);
    stray.SetName("Stray");
    const std::string text = Written([&](FILE* file) {
        std::fputs("morphs\t\n{\n\tHidden\t0\n\n", file);
        WriteItem(file, *first);
        WriteItem(file, stray);   // another kind: skipped with its block
        WriteItem(file, *second);
        std::fputs("\tGROUP\tEyes\n\t{\n\t\tName\tEyes\n", file);
        TextFileIndent = 2;
        third->SaveToStream_Text(file, true);
        TextFileIndent = 0;
        std::fputs("\t}\n}\n", file);
    });

    TKSN_MorphTreeGroup root;
    ReadTree(root, text);

    EXPECT_EQ(ItemNames(&root), (std::vector<std::string>{"Smile", "Frown"}));
    TKSN_TreeGroup* child = root.GetChild();
    ASSERT_NE(child, nullptr);
    EXPECT_NE(dynamic_cast<TKSN_MorphTreeGroup*>(child), nullptr) << "folders are of the tree's class";
    EXPECT_STREQ(child->GetName(), "Eyes");
    EXPECT_EQ(child->GetNext(), nullptr);
    EXPECT_EQ(child->GetChild(), nullptr);
    ASSERT_EQ(ItemNames(child), (std::vector<std::string>{"Blink"}));

    auto* blink = dynamic_cast<TKSN_Morph*>((*child->items)[0]);
    ASSERT_NE(blink, nullptr);
    EXPECT_EQ(blink->GetOwnerID(), 0u) << "owners are stamped by the project after the load";
    EXPECT_EQ(blink->GetVCount(), 2);
    EXPECT_EQ(blink->GetVertex(1)[0], 2.0f);
    for (TKSN_Thingy* item : *root.items)
        EXPECT_EQ(dynamic_cast<TKSN_Selection*>(item), nullptr);
}

TEST_F(MorphSelectionTreeFixture, SelectionTreeRoundTripKeepsStructureAndWeights)
{
    TKSN_SelectionTreeGroup source;
    source.typeKeyword = "selections";
    auto addSelection = [](TKSN_TreeGroup& group, const char* name, std::vector<float> weights) {
        auto* selection = new TKSN_Selection(int(weights.size()), 0);
        selection->SetName("%s", name);
        for (size_t i = 0; i < weights.size(); ++i)
            selection->SetVSelect(int(i), weights[i]);
        group.AddItem(selection);
    };
    addSelection(source, "Head", {1, 0.5f, 0});
    auto* left = new TKSN_SelectionTreeGroup;
    left->SetName("Left");
    source.LinkChild(left);
    addSelection(*left, "Left Arm", {0, 1});
    auto* inner = new TKSN_SelectionTreeGroup;
    inner->SetName("Fingers");
    left->LinkChild(inner);
    addSelection(*inner, "Thumb", {0.25f});
    auto* hiddenFolder = new TKSN_SelectionTreeGroup;
    hiddenFolder->SetName("Scratch");
    hiddenFolder->hidden = true;
    source.LinkChild(hiddenFolder);
    addSelection(*hiddenFolder, "Not Saved", {1});
    auto* right = new TKSN_SelectionTreeGroup;
    right->SetName("Right");
    source.LinkChild(right);

    const std::string text = Written([&](FILE* file) { source.SaveToStream_Text(file, true); });

    TKSN_SelectionTreeGroup copy;
    ReadTree(copy, text);

    EXPECT_EQ(ItemNames(&copy), (std::vector<std::string>{"Head"}));
    TKSN_TreeGroup* readLeft = copy.GetChild();
    ASSERT_NE(readLeft, nullptr);
    EXPECT_STREQ(readLeft->GetName(), "Left");
    EXPECT_EQ(ItemNames(readLeft), (std::vector<std::string>{"Left Arm"}));
    ASSERT_NE(readLeft->GetChild(), nullptr);
    EXPECT_NE(dynamic_cast<TKSN_SelectionTreeGroup*>(readLeft->GetChild()), nullptr);
    EXPECT_EQ(ItemNames(readLeft->GetChild()), (std::vector<std::string>{"Thumb"}));
    ASSERT_NE(readLeft->GetNext(), nullptr);
    EXPECT_STREQ(readLeft->GetNext()->GetName(), "Right") << "the hidden folder is not written";
    EXPECT_EQ(readLeft->GetNext()->GetNext(), nullptr);

    auto* head = dynamic_cast<TKSN_Selection*>((*copy.items)[0]);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->GetVSelect(1), 0.5f);

    copy.typeKeyword = "selections";
    const std::string again = Written([&](FILE* file) { copy.SaveToStream_Text(file, true); });
    auto withoutIds = [](std::string s) {
        std::string out;
        size_t start = 0;
        while (start < s.size()) {
            size_t end = s.find('\n', start);
            std::string line = s.substr(start, end - start);
            if (line.find("\tID\t") == std::string::npos && line.rfind("ID\t", 0) != 0)
                out += line + "\n";
            start = end + 1;
        }
        return out;
    };
    EXPECT_EQ(withoutIds(again), withoutIds(text));
}

TEST_F(MorphSelectionTreeFixture, KeysFollowTheirLetterCase)
{
    const std::string text =
        "selections\t\n{\n"
        "\thidden\t1\n"                                           // "Hidden" only in exact case
        "\tSELECTION\tA\n\t{\n\t\tName\tA\n\t\tvcount\t1\n\t}\n"
        "\tGroup\tFolder\n\t{\n\t\tHidden\t1\n\t}\n"
        "\tmorph\tNot Here\n\t{\n\t\tvcount\t1\n\t}\n"
        "}\n";
    TKSN_SelectionTreeGroup root;
    ReadTree(root, text);
    EXPECT_FALSE(root.hidden);
    EXPECT_EQ(ItemNames(&root), (std::vector<std::string>{"A"}));
    ASSERT_NE(root.GetChild(), nullptr);
    EXPECT_STREQ(root.GetChild()->GetName(), "Folder");
    EXPECT_TRUE(root.GetChild()->hidden);
    EXPECT_EQ(root.GetChild()->GetNext(), nullptr);
}

TEST_F(MorphSelectionTreeFixture, DamagedItemBlocksLeaveAConsistentTree)
{
    // A compressed block whose data disagrees with its count, then an intact one.
    const TKSN_SelectionDelta pairs[] = {{0, 1.0f}, {1, 0.5f}};
    const std::string text = Written([&](FILE* file) {
        std::fputs("selections\t\n{\n\tselection\tBroken\n\t{\n\t\tName\tBroken\n\t\tvcount\t2\n", file);
        std::fputs("\t\tDeltaCount\t3\n\t\tCompressed\t1\n", file);
        TextFileIndent = 2;
        SaveBinaryDataToTextFile(file, pairs, 16, "data");
        TextFileIndent = 0;
        std::fputs("\t}\n\tselection\tFine\n\t{\n\t\tName\tFine\n\t\tvcount\t2\n\t\tDeltaCount\t2\n\t\tCompressed\t1\n", file);
        TextFileIndent = 2;
        SaveBinaryDataToTextFile(file, pairs, 16, "data");
        TextFileIndent = 0;
        std::fputs("\t}\n}\n", file);
    });
    TKSN_SelectionTreeGroup root;
    ReadTree(root, text);
    ASSERT_EQ(ItemNames(&root), (std::vector<std::string>{"Broken", "Fine"}));
    auto* broken = dynamic_cast<TKSN_Selection*>((*root.items)[0]);
    auto* fine = dynamic_cast<TKSN_Selection*>((*root.items)[1]);
    EXPECT_EQ(broken->GetVSelect(0), 0.0f);
    EXPECT_EQ(broken->GetVSelect(1), 0.0f);
    EXPECT_EQ(fine->GetVSelect(1), 0.5f);

    // Broken Base64 is reported by throwing; what was read so far stays owned by the tree.
    TKSN_MorphTreeGroup morphs;
    const std::string bad = "morphs\t\n{\n\tmorph\tBad\n\t{\n\t\tvcount\t1\n\t\tdata\t\n\t\t{\n\t\t\tSize\t4\n!!!!\n\t\t}\n\t}\n}\n";
    EXPECT_THROW(ReadTree(morphs, bad), std::logic_error);
    EXPECT_EQ(morphs.items->Count(), 1);
}

TEST_F(MorphSelectionTreeFixture, DeletingATreeDeletesItsItemsAndFolders)
{
    auto* root = new TKSN_MorphTreeGroup;
    auto morph = MakeMorph("Top", 1.0f);
    const uint32_t topID = morph->GetID();
    root->AddItem(morph.release());
    auto* folder = new TKSN_MorphTreeGroup;
    root->LinkChild(folder);
    const uint32_t folderID = folder->GetID();
    auto* nested = new TKSN_Morph(1, 0);
    const uint32_t nestedID = nested->GetID();
    folder->AddItem(nested);

    delete root;
    EXPECT_EQ(__GetThingyFromID(topID), nullptr);
    EXPECT_EQ(__GetThingyFromID(folderID), nullptr);
    EXPECT_EQ(__GetThingyFromID(nestedID), nullptr);
}

} // namespace MorphSelectionTreeTest
