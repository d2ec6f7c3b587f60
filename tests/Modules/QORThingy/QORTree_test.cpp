// Trees of document objects: links, traversal, multi-selection, deletion and
// the group blocks of the text form.
#include "QORTree.h"

#include "OS.h"
#include "QORTextBlock.h"
#include "KsnTempFolder.h"
#include "KsnTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TKSN_TreeGroup* AddFolder(TKSN_TreeGroup* parent, const char* name)
{
    auto* g = new TKSN_TreeGroup;
    g->SetName("%s", name);
    parent->LinkChild(g);
    return g;
}

TKSN_Thingy* AddEntry(TKSN_TreeGroup* group, const char* name)
{
    auto* item = new TKSN_Thingy;
    item->SetName("%s", name);
    group->AddItem(item);
    return item;
}

// top: A (a1, a2, S (s1)), B. Display order: top, A, S, s1, a1, a2, B.
struct TSampleTree {
    TKSN_TopTreeGroup top;
    TKSN_TreeGroup* A = AddFolder(&top, "A");
    TKSN_Thingy* a1 = AddEntry(A, "a1");
    TKSN_Thingy* a2 = AddEntry(A, "a2");
    TKSN_TreeGroup* S = AddFolder(A, "S");
    TKSN_Thingy* s1 = AddEntry(S, "s1");
    TKSN_TreeGroup* B = AddFolder(&top, "B");

    std::string Selected()
    {
        std::string out;
        auto list = top.GetPreOrderList(true, true, true);
        for (TKSN_Thingy* t : *list)
            out += std::string(out.empty() ? "" : " ") + t->GetName();
        return out;
    }
};

[[noreturn]] void ExitWithFailures(const std::string& failures)
{
    if (!failures.empty())
        std::fputs(failures.c_str(), stderr);
    std::fflush(stderr);
    std::_Exit(failures.empty() ? 0 : 1);
}

// Runs in a fresh process (see the registry tests) so that the folder gets ID 12.
std::string CheckObjectTreeExample()
{
    TKSN_TopTreeGroup tree;
    tree.typeKeyword = "objects";
    std::vector<std::unique_ptr<TQORThingy>> fillers;
    while (fillers.empty() || fillers.back()->GetID() < 11)
        fillers.push_back(std::make_unique<TQORThingy>());
    TKSN_TreeGroup* props = AddFolder(&tree, "Props");
    if (props->GetID() != 12)
        return "the folder did not get ID 12\n";

    TTempFile file;
    tree.SaveToStream_Text(file.f, true);
    const std::string expected = "objects\t\n"
                                 "{\n"
                                 "\tHidden\t0\n"
                                 "\n"
                                 "\tgroup\tProps\n"
                                 "\t{\n"
                                 "\t\tName\tProps\n"
                                 "\t\tReadOnly\t0\n"
                                 "\t\tCollapsed\t1\n"
                                 "\t\tID\t12\n"
                                 "\t\tHidden\t0\n"
                                 "\n"
                                 "\t}\n"
                                 "}\n";
    const std::string written = file.All();
    if (written != expected)
        return "written:\n" + written + "expected:\n" + expected;
    if (TextFileIndent != 0)
        return "the depth was not restored\n";
    return "";
}

// A concrete tree as the document's trees are built: its own group class and
// an item block it recognises.
class TWeightItem : public TKSN_Thingy {
public:
    int weight = 0;
    bool SaveToStream_Text(FILE* file, bool flag) override
    {
        TStartTextFileBlock block("weightitem", GetName(), file, true);
        TKSN_Thingy::SaveToStream_Text(file, flag);
        for (int i = 0; i < TextFileIndent; ++i)
            std::fputc('\t', file);
        std::fprintf(file, "Weight\t%d\n", weight);
        return true;
    }
    bool LoadFromStream_Text_ConsiderCommand(FILE*, char* key, char* value) override
    {
        if (std::strcmp(key, "Weight") != 0)
            return false;
        weight = std::atoi(value);
        return true;
    }
};

bool LoadWeightItem(TKSN_TreeGroup* group, FILE* file, const char* key, const char* value)
{
    if (std::strcmp(key, "weightitem") != 0)
        return false;
    auto* item = new TWeightItem;
    item->SetName("%s", value);
    group->AddItem(item);
    item->LoadFromStream_Text(file);
    return true;
}

class TWeightGroup : public TKSN_TreeGroup {
public:
    bool LoadSubGroup(FILE* file, char*, char* value) override
    {
        auto* g = new TWeightGroup;
        g->SetName("%s", value);
        LinkChild(g);
        g->LoadFromStream_Text(file);
        return true;
    }
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override
    {
        return TKSN_TreeGroup::LoadFromStream_Text_ConsiderCommand(file, key, value) ||
               LoadWeightItem(this, file, key, value);
    }
};

class TWeightTree : public TKSN_TopTreeGroup {
public:
    TWeightTree() { typeKeyword = "weights"; }
    bool LoadSubGroup(FILE* file, char*, char* value) override
    {
        auto* g = new TWeightGroup;
        g->SetName("%s", value);
        LinkChild(g);
        g->LoadFromStream_Text(file);
        return true;
    }
    bool LoadFromStream_Text_ConsiderCommand(FILE* file, char* key, char* value) override
    {
        return TKSN_TreeGroup::LoadFromStream_Text_ConsiderCommand(file, key, value) ||
               LoadWeightItem(this, file, key, value);
    }
};

// One line per entry in pre-order: depth, kind, name, flags, weight.
void Describe(TKSN_TreeGroup* group, int depth, std::string& out)
{
    for (TKSN_TreeGroup* g = group; g; g = g->GetNext()) {
        out += std::string(size_t(depth), ' ') + "group " + g->GetName() + (g->IsReadOnly() ? " ro" : "") +
               (g->hidden ? " hidden" : "") + "\n";
        for (TKSN_Thingy* item : *g->items) {
            auto* w = dynamic_cast<TWeightItem*>(item);
            out += std::string(size_t(depth + 1), ' ') + "item " + item->GetName() +
                   (item->current ? " current" : "") + " w" + std::to_string(w ? w->weight : -1) + "\n";
        }
        Describe(g->GetChild(), depth + 1, out);
    }
}

struct TVisit {
    std::vector<std::string> names;
    int stopAfter = -1;
};

bool RecordVisit(TKSN_TreeGroup* group, int depth, void* userData)
{
    auto* visit = static_cast<TVisit*>(userData);
    visit->names.push_back(std::string(group->GetName()) + ":" + std::to_string(depth));
    return visit->stopAfter < 0 || int(visit->names.size()) < visit->stopAfter;
}

std::vector<std::string> Warnings;
void CollectWarning(char* text) { Warnings.emplace_back(text); }

// Answers every box at once so that error paths never block.
struct TAnsweringProvider : TBoxRecorder {
    TAnsweringProvider() : TBoxRecorder(TOSBoxAnswer::Ok) {}
};

} // namespace

TEST(QORThingyTreeNode, LinksKeepParentsAndSiblingsConsistent)
{
    TSampleTree t;
    // New folder before A becomes the first child.
    auto* first = new TKSN_TreeGroup;
    t.A->LinkPrev(first);
    EXPECT_EQ(t.top.GetChild(), first);
    EXPECT_EQ(first->GetNext(), t.A);
    EXPECT_EQ(first->GetParent(), &t.top);

    auto* afterA = new TKSN_TreeGroup;
    t.A->LinkNext(afterA);
    EXPECT_EQ(afterA->GetNext(), t.B);
    EXPECT_EQ(afterA->GetParent(), &t.top);

    first->Pop();   // now: A, afterA, B, first
    EXPECT_EQ(t.top.GetChild(), t.A);
    EXPECT_EQ(t.B->GetNext(), first);
    EXPECT_EQ(first->GetNext(), nullptr);

    t.A->Unlink();   // A keeps its subtree
    EXPECT_EQ(t.top.GetChild(), afterA);
    EXPECT_EQ(t.A->GetParent(), nullptr);
    EXPECT_EQ(t.A->GetChild(), t.S);
    EXPECT_FALSE(TQORTreeNode::Find(&t.top, t.S));
    EXPECT_TRUE(TQORTreeNode::Find(t.A, t.S));
    t.B->LinkChild(t.A);
    EXPECT_TRUE(TQORTreeNode::Find(&t.top, t.S));
    EXPECT_TRUE(TQORTreeNode::Find(afterA, first)) << "following siblings are searched";
    EXPECT_FALSE(TQORTreeNode::Find(first, afterA)) << "earlier siblings are not";
}

TEST(QORThingyTreeTraversal, PreAndPostOrderAndEarlyStop)
{
    TSampleTree t;
    t.top.SetName("top");
    struct Case { bool postOrder; int stopAfter; bool result; std::vector<std::string> expected; };
    const Case cases[] = {
        {false, -1, true, {"top:0", "A:1", "S:2", "B:1"}},
        {true, -1, true, {"S:2", "A:1", "B:1", "top:0"}},
        {false, 2, false, {"top:0", "A:1"}},
        {true, 1, false, {"S:2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "postOrder " << c.postOrder << " stopAfter " << c.stopAfter);
        TVisit visit;
        visit.stopAfter = c.stopAfter;
        EXPECT_EQ(TKSN_TreeGroup::Traverse(&t.top, 0, RecordVisit, &visit, c.postOrder), c.result);
        EXPECT_EQ(visit.names, c.expected);
    }
    EXPECT_TRUE(TKSN_TreeGroup::Traverse(nullptr, 0, RecordVisit, nullptr, false));
}

TEST(QORThingyTreeLookup, PreOrderListAndDisplayOrder)
{
    TSampleTree t;
    t.top.SetName("top");
    std::string preOrder;
    auto list = t.top.GetPreOrderList(true, true, false);
    for (TKSN_Thingy* e : *list)
        preOrder += std::string(e->GetName()) + " ";
    EXPECT_EQ(preOrder, "top A a1 a2 S s1 B ");
    EXPECT_EQ(t.top.GetPreOrderList(false, true, false)->Count(), 3);
    EXPECT_EQ(t.top.GetPreOrderList(true, false, false)->Count(), 4);

    struct Case { TKSN_Thingy* entry; int position; TKSN_TreeGroup* holder; };
    const Case cases[] = {{&t.top, 0, &t.top}, {t.A, 1, t.A}, {t.S, 2, t.S}, {t.s1, 3, t.S},
                          {t.a1, 4, t.A}, {t.a2, 5, t.A}, {t.B, 6, t.B}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry->GetName());
        int counter = -1, position = -1;
        TKSN_TreeGroup* holder = nullptr;
        EXPECT_EQ(TKSN_TreeGroup::FindThingyAndGroupFromID(&t.top, c.entry->GetID(), counter, holder, position),
                  c.entry);
        EXPECT_EQ(position, c.position);
        EXPECT_EQ(holder, c.holder);
        EXPECT_EQ(TKSN_TreeGroup::FindItemOrGroupFromID(&t.top, c.entry->GetID()), c.entry);
    }
    TKSN_Thingy outsider;
    EXPECT_EQ(TKSN_TreeGroup::FindItemOrGroupFromID(&t.top, outsider.GetID()), nullptr);
}

TEST(QORThingyTreeSelection, AnchorRangeAndToggle)
{
    TSampleTree t;
    t.top.SelectItem(t.a1->GetID(), false, false);
    EXPECT_EQ(t.Selected(), "a1");
    t.top.SelectItem(t.B->GetID(), true, false);   // a1 (4) .. B (6)
    EXPECT_EQ(t.Selected(), "a1 a2 B");
    EXPECT_FALSE(t.A->multiSelected);
    EXPECT_EQ(t.top.GetSelectedItemID(), t.a1->GetID());
    EXPECT_EQ(t.top.GetSelectedCount(true, false), 2);
    EXPECT_EQ(t.top.GetSelectedCount(false, true), 1);
    EXPECT_EQ(t.top.GetSelectedCount(true, true), 3);

    t.top.SelectItem(t.S->GetID(), true, false);   // backwards: S (2) .. a1 (4)
    EXPECT_EQ(t.Selected(), "a1 S s1");

    t.top.SelectItem(t.a2->GetID(), false, true);   // control adds
    EXPECT_TRUE(t.a2->multiSelected);
    t.top.SelectItem(t.a2->GetID(), false, true);   // and removes
    EXPECT_FALSE(t.a2->multiSelected);
    t.top.SelectItem(t.a1->GetID(), false, true);   // unselecting the anchor keeps it as anchor
    EXPECT_EQ(t.top.anchorID, t.a1->GetID());
    EXPECT_EQ(t.top.GetSelectedItemID(), 0u) << "an unselected anchor is forgotten";
    EXPECT_EQ(t.top.anchorID, 0u);

    t.top.ClearSelectedItems();
    t.top.SelectItem(t.s1->GetID(), false, true);   // control without anchor: becomes the anchor
    EXPECT_EQ(t.top.anchorID, t.s1->GetID());
    EXPECT_EQ(t.Selected(), "s1");

    // A shift-click whose anchor has vanished changes nothing.
    const uint32_t s1ID = t.s1->GetID();
    t.top.SelectItem(t.B->GetID(), false, true);
    t.S->items->Clear();
    delete t.s1;
    t.top.SelectItem(t.a2->GetID(), true, false);
    EXPECT_EQ(t.Selected(), "B");
    EXPECT_EQ(t.top.anchorID, s1ID);

    t.top.SelectItem(999999999u, false, false);   // plain click on nothing clears
    EXPECT_EQ(t.Selected(), "");
    EXPECT_EQ(t.top.anchorID, 0u);
}

TEST(QORThingyTreeSelection, DeletingWarnsOncePerUndeletableEntry)
{
    Warnings.clear();
    OS.AssignOnWarningMessage(CollectWarning);
    TSampleTree t;
    t.a1->deletable = false;
    auto* b1 = AddEntry(t.B, "b1");
    b1->deletable = false;
    t.B->deletable = false;
    const uint32_t a2ID = t.a2->GetID(), sID = t.S->GetID(), s1ID = t.s1->GetID();
    for (TKSN_Thingy* e : std::vector<TKSN_Thingy*>{t.a1, t.a2, t.S, t.B, b1})
        t.top.SelectItem(e->GetID(), false, true);

    t.top.DeleteSelectedItems();
    OS.AssignOnWarningMessage(nullptr);

    EXPECT_EQ(Warnings, (std::vector<std::string>{"Cannot delete the item a1", "Cannot delete the item B",
                                                  "Cannot delete the item b1"}));
    EXPECT_EQ(__GetThingyFromID(a2ID), nullptr);
    EXPECT_EQ(__GetThingyFromID(sID), nullptr);
    EXPECT_EQ(__GetThingyFromID(s1ID), nullptr) << "a deleted folder takes its items along";
    ASSERT_EQ(t.A->items->Count(), 1);
    EXPECT_EQ((*t.A->items)[0], t.a1);
    EXPECT_EQ(t.A->GetChild(), nullptr);
    EXPECT_EQ(t.top.anchorID, 0u);
    EXPECT_EQ(t.B->items->Count(), 1);
}

TEST(QORThingyTreeItems, ClearAllItemsInTreeKeepsTheItems)
{
    TSampleTree t;
    TKSN_TreeGroup::ClearAllItemsInTree(&t.top);
    // The items now belong to the test.
    std::unique_ptr<TKSN_Thingy> owned[] = {std::unique_ptr<TKSN_Thingy>(t.a1), std::unique_ptr<TKSN_Thingy>(t.a2),
                                            std::unique_ptr<TKSN_Thingy>(t.s1)};
    EXPECT_EQ(t.A->items->Count(), 0);
    EXPECT_EQ(t.S->items->Count(), 0);
    EXPECT_EQ(__GetThingyFromID(t.s1->GetID()), t.s1);
}

TEST(QORThingyTreeText, ObjectTreeExampleIsWrittenExactly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ExitWithFailures(CheckObjectTreeExample()), testing::ExitedWithCode(0), "");
}

TEST(QORThingyTreeText, RoundTripKeepsStructureAndLeavesOutHiddenAndUnsaveable)
{
    TWeightTree tree;
    auto* A = new TWeightGroup;
    A->SetName("Folder: A");
    A->SetReadOnly(true);
    tree.LinkChild(A);
    auto* a1 = new TWeightItem;
    a1->SetName("a1");
    a1->weight = 5;
    A->AddItem(a1);
    auto* a2 = new TWeightItem;
    a2->SetName("a2");
    a2->saveable = false;
    A->AddItem(a2);
    auto* S = new TWeightGroup;
    S->SetName("S");
    A->LinkChild(S);
    auto* s1 = new TWeightItem;
    s1->SetName("s1");
    s1->current = true;
    s1->weight = -3;
    S->AddItem(s1);
    auto* hiddenFolder = new TWeightGroup;
    hiddenFolder->SetName("Hidden one");
    hiddenFolder->hidden = true;
    AddEntry(hiddenFolder, "h1");
    tree.LinkChild(hiddenFolder);
    auto* C = new TWeightGroup;
    C->SetName("C");
    tree.LinkChild(C);
    auto* top1 = new TWeightItem;
    top1->SetName("top1");
    top1->weight = 9;
    tree.AddItem(top1);

    TTempFile file;
    tree.SaveToStream_Text(file.f, true);
    std::fputs("after\ttree\n", file.f);
    const std::string text = file.All();
    EXPECT_EQ(text.find("Hidden one"), std::string::npos);
    EXPECT_EQ(text.find("a2"), std::string::npos);

    std::rewind(file.f);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, file.f), nullptr);
    EXPECT_STREQ(line, "weights\t\n");
    TWeightTree back;
    back.LoadFromStream_Text(file.f);

    std::string described;
    Describe(&back, 0, described);
    EXPECT_EQ(described, "group New Folder\n"
                         " item top1 w9\n"
                         " group Folder_ A ro\n"
                         "  item a1 w5\n"
                         "  group S\n"
                         "   item s1 current w-3\n"
                         " group C\n");
    ASSERT_NE(std::fgets(line, sizeof line, file.f), nullptr);
    EXPECT_STREQ(line, "after\ttree\n");
    EXPECT_NE(dynamic_cast<TWeightGroup*>(back.GetChild()->GetChild()), nullptr)
        << "nested groups are made by the concrete tree's LoadSubGroup";
}

TEST(QORThingyTreeText, ThousandsOfSiblingFoldersLoadAndSaveWithoutDeepRecursion)
{
    TTempFolder folder("ksn_siblings_");
    ASSERT_TRUE(folder.IsOpen());
    for (int count : {3, 50000}) {
        SCOPED_TRACE(count);
        std::string text = "weights\t\n{\n\tHidden\t0\n";
        for (int i = 0; i < count; ++i) text += "\tgroup\tG" + std::to_string(i) + "\n\t{\n\t}\n";
        text += "}\n";
        TOpenFile in(folder.Write("siblings.txt", text), "rb");
        ASSERT_NE(in.f, nullptr);
        std::string keyLine;
        ASSERT_TRUE(QORReadTextLine(in.f, keyLine));
        TWeightTree tree;
        tree.LoadFromStream_Text(in.f);
        int loaded = 0;
        for (TKSN_TreeGroup* g = tree.GetChild(); g; g = g->GetNext()) ++loaded;
        EXPECT_EQ(loaded, count);
        TOpenFile out(folder.Path("saved.txt"), "wb");
        ASSERT_NE(out.f, nullptr);
        EXPECT_TRUE(tree.SaveToStream_Text(out.f, true));
        std::fflush(out.f);
        const std::string saved = folder.Read("saved.txt");
        EXPECT_NE(saved.find("\tgroup\tG" + std::to_string(count - 1) + "\n"), std::string::npos);
    }
}

TEST(QORThingyTreeText, HiddenFlagIsReadAndGroupKeywordIgnoresCase)
{
    TTempFile file("{\n\tHidden\t1\n\tGROUP\tX\n\t{\n\t\tName\tX\n\t\tHidden\t0\n\t}\n\thidden\t0\n}\n");
    TKSN_TopTreeGroup tree;
    tree.LoadFromStream_Text(file.f);
    EXPECT_TRUE(tree.hidden) << "only \"Hidden\" in exact case is the flag";
    ASSERT_NE(tree.GetChild(), nullptr);
    EXPECT_STREQ(tree.GetChild()->GetName(), "X");
    EXPECT_FALSE(tree.GetChild()->hidden);
}

TEST(QORThingyTreeText, BinarySaveIsRefused)
{
    TAnsweringProvider provider;
    OS.SetDialogProvider(&provider);
    TKSN_TopTreeGroup tree;
    TTempFile file;
    try {
        tree.SaveToStream(file.f);
        ADD_FAILURE() << "SaveToStream returned";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "TKSN_TreeGroup::SaveToStream not supported");
    }
    OS.SetDialogProvider(nullptr);
}

TEST(QORThingyTreeText, LegacyChunkBodyIsRead)
{
    char name[256] = "Old folder";
    std::string body(name, sizeof name);
    body += char(1);                 // read-only
    body += std::string(4, '\x07');  // ID, discarded
    body += char(0);                 // collapsed
    body += char(1);                 // hidden
    const int32_t values[2] = {3, 4};
    body.append(reinterpret_cast<const char*>(values), sizeof values);
    TTempFile file(body);
    TKSN_TreeGroup group;
    EXPECT_TRUE(group.LoadFromStream(file.f));
    EXPECT_STREQ(group.GetName(), "Old folder");
    EXPECT_TRUE(group.IsReadOnly());
    EXPECT_FALSE(group.collapsed);
    EXPECT_TRUE(group.hidden);
    EXPECT_EQ(group.legacyValue2, 4);

    TTempFile truncated(body.substr(0, body.size() - 3));
    TKSN_TreeGroup other;
    EXPECT_FALSE(other.LoadFromStream(truncated.f));
}
