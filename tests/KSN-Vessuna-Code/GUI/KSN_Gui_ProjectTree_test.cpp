// The project tree's row callbacks on a real project: objects, selections,
// morph targets, morph unions, polygon groups, materials and folders, with the highlights they leave
// and the rebuild commands they queue.
#include "KSN_MainWindowTestSupport.h"

#include "GuiText.h"
#include "KSN_Gui_ProjectTree.h"
#include "KSN_Mesh.h"
#include "KSN_MorphSelectionTree.h"
#include "KSN_Object.h"
#include "KSN_Selection.h"
#include "KSN_Union.h"
#include "QORMaterial.h"
#include "QORMemory.h"
#include "QORTree.h"

#include <memory>

namespace {

class ProjectTree : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        QOREvents_Clean();
    }
    TKSN_Object* AddObject(const char* name, TKSN_TreeGroup* folder = nullptr)
    {
        auto* object = new TKSN_Object();
        object->SetName("%s", name);
        object->Mesh.reset(new TKSN_Mesh(object));
        object->Mesh->Create(3, 3, 3, 1);
        (folder ? folder : static_cast<TKSN_TreeGroup*>(Project->Objects))->AddItem(object);
        return object;
    }
    static std::unique_ptr<TQOREvent> ObjectEvent(TKSN_Object* o)
    {
        auto e = std::make_unique<TQOREvent>(SelectObjectCB, 0, 0);
        e->idParameters[0] = o->GetID();
        return e;
    }
    static std::unique_ptr<TQOREvent> ItemEvent(TKSN_Thingy* owner, TKSN_Object* o, TKSN_TreeGroup* folder = nullptr)
    {
        auto e = std::make_unique<TQOREvent>(nullptr, 0, 0);
        e->SetOwner(owner);
        e->intParameters[0] = int32_t(o->GetID());
        if (folder) e->intParameters[2] = int32_t(folder->GetID());
        return e;
    }
    void Modifiers(int mask)
    {
        W().ShiftHeld = mask & 1;
        W().AltHeld = mask & 4;
    }
};

} // namespace

TEST_F(ProjectTree, APlainClickMakesTheObjectCurrentAndTheSoleHighlightOnce)
{
    TKSN_Object* head = AddObject("Head");
    TKSN_Object* body = AddObject("Body");
    Project->SetCurrentObject(head);
    QOREvents_Clean();

    ASSERT_TRUE(SelectObjectCB(ObjectEvent(body).get()));
    EXPECT_EQ(Project->GetCurrentObject(), body);
    EXPECT_TRUE(body->multiSelected);
    EXPECT_FALSE(head->multiSelected);
    EXPECT_EQ(CountQueued(441), 1);

    QOREvents_Clean();
    ASSERT_TRUE(SelectObjectCB(ObjectEvent(body).get()));
    EXPECT_EQ(QOREvents_GetEventCount(), 0);

    // Shift extends the highlight without changing the current object.
    Modifiers(1);
    ASSERT_TRUE(SelectObjectCB(ObjectEvent(head).get()));
    Modifiers(0);
    EXPECT_EQ(Project->GetCurrentObject(), body);
    EXPECT_TRUE(head->multiSelected);
    EXPECT_TRUE(body->multiSelected);

    auto stale = std::make_unique<TQOREvent>(SelectObjectCB, 0, 0);
    stale->idParameters[0] = 0xFFFFFFF0u;
    EXPECT_FALSE(SelectObjectCB(stale.get()));
}

TEST_F(ProjectTree, AFolderClickHighlightsTheFolderAndNeverChangesTheCurrentObject)
{
    auto* folder = new TKSN_TreeGroup();
    folder->SetName("%s", "Props");
    Project->Objects->LinkChild(folder);
    TKSN_Object* head = AddObject("Head");
    AddObject("Hat", folder);
    Project->SetCurrentObject(head);
    TKSN_Morph* morph = head->Mesh->CreateMorph(head->Mesh->MorphTree);
    head->Mesh->MorphTree->SelectItem(morph->GetID(), false, false);
    QOREvents_Clean();

    auto e = std::make_unique<TQOREvent>(SelectObjectGroupWithMultiSelectCB, 0, 0);
    e->idParameters[2] = folder->GetID();
    EXPECT_TRUE(SelectObjectGroupWithMultiSelectCB(e.get()));
    EXPECT_EQ(Project->GetCurrentObject(), head);
    EXPECT_TRUE(folder->multiSelected);
    EXPECT_FALSE(morph->multiSelected);   // other trees are cleared
    EXPECT_EQ(CountQueued(441), 1);
}

TEST_F(ProjectTree, APlainMorphClickMakesItCurrentAndTheOnlyHighlight)
{
    TKSN_Object* head = AddObject("Head");
    TKSN_Mesh* mesh = head->Mesh.get();
    TKSN_Morph* smile = mesh->CreateMorph(mesh->MorphTree);
    TKSN_Morph* frown = mesh->CreateMorph(mesh->MorphTree);
    mesh->MorphTree->SelectItem(smile->GetID(), false, false);
    mesh->MorphTree->SelectItem(frown->GetID(), false, true);
    ASSERT_TRUE(smile->multiSelected && frown->multiSelected);

    // A right click on a highlighted morph keeps the multi-selection.
    EXPECT_TRUE(RightClickMorphCB(ItemEvent(frown, head, mesh->MorphTree).get()));
    EXPECT_TRUE(smile->multiSelected && frown->multiSelected);
    EXPECT_NE(mesh->GetCurrentMorph(), frown);

    QOREvents_Clean();
    ASSERT_TRUE(SelectMorphCB(ItemEvent(frown, head, mesh->MorphTree).get()));
    EXPECT_EQ(mesh->GetCurrentMorph(), frown);
    EXPECT_TRUE(frown->multiSelected);
    EXPECT_FALSE(smile->multiSelected);
    EXPECT_EQ(CountQueued(7), 1);
    EXPECT_EQ(CountQueued(439), 1);
    EXPECT_EQ(Project->ObjectContainingCurrentSelectionID, head->GetID());

    EXPECT_FALSE(SelectMorphCB(ItemEvent(frown, head).get()));   // no folder in slot 2
}

// Polygon groups and materials share one shape: a click highlights the entry
// in its mesh's tree only, a double click also queues the command acting on
// the highlighted entries, and a right click opens the menu and changes no
// highlight.
TEST_F(ProjectTree, GroupAndMaterialRowsHighlightInTheirMeshTreeAndQueueTheirCommand)
{
    struct Case {
        const char* name;
        bool material;
        bool (*click)(TQOREvent*);
        bool (*doubleClick)(TQOREvent*);
        bool (*rightClick)(TQOREvent*);
        int command;
    };
    const Case cases[] = {
        {"polygon group", false, ClickGroup2CB, DoubleClickGroup2CB, RightClickGroup2CB, 254},
        {"material", true, ClickMaterialCB, DoubleClickMaterialCB, RightClickMaterialCB, 252},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TKSN_Object* head = AddObject("Head");
        TKSN_Mesh* mesh = head->Mesh.get();
        TKSN_TopTreeGroup* tree = c.material ? static_cast<TKSN_TopTreeGroup*>(mesh->Materials) : mesh->Groups2;
        ASSERT_NE(tree, nullptr);
        TKSN_Thingy* a = c.material ? static_cast<TKSN_Thingy*>(new TQORMaterial) : new TQORGroup2;
        TKSN_Thingy* b = c.material ? static_cast<TKSN_Thingy*>(new TQORMaterial) : new TQORGroup2;
        tree->AddItem(a);
        tree->AddItem(b);
        Project->Objects->SelectItem(head->GetID(), false, false);
        QOREvents_Clean();

        ASSERT_TRUE(c.click(ItemEvent(a, head).get()));
        EXPECT_TRUE(a->multiSelected);
        EXPECT_FALSE(b->multiSelected);
        EXPECT_FALSE(head->multiSelected);   // the other trees are cleared
        EXPECT_EQ(CountQueued(441), 1);
        EXPECT_EQ(CountQueued(c.command), 0);

        // The same click again changes nothing, so nothing is rebuilt.
        QOREvents_Clean();
        ASSERT_TRUE(c.click(ItemEvent(a, head).get()));
        EXPECT_EQ(QOREvents_GetEventCount(), 0);

        // Alt adds to the highlight.
        Modifiers(4);
        ASSERT_TRUE(c.click(ItemEvent(b, head).get()));
        Modifiers(0);
        EXPECT_TRUE(a->multiSelected && b->multiSelected);

        // A right click keeps the multi-selection, on a highlighted row or not.
        tree->SelectItem(a->GetID(), false, false);
        QOREvents_Clean();
        EXPECT_TRUE(c.rightClick(ItemEvent(b, head).get()));
        EXPECT_TRUE(a->multiSelected);
        EXPECT_FALSE(b->multiSelected);
        EXPECT_EQ(CountQueued(441), 0);

        QOREvents_Clean();
        ASSERT_TRUE(c.doubleClick(ItemEvent(b, head).get()));
        EXPECT_TRUE(b->multiSelected);
        EXPECT_FALSE(a->multiSelected);
        EXPECT_EQ(CountQueued(441), 1);
        EXPECT_EQ(CountQueued(c.command), 1);

        // Owners of the wrong class, or an object without a mesh, change nothing.
        QOREvents_Clean();
        EXPECT_FALSE(c.click(ItemEvent(head, head).get()));
        EXPECT_FALSE(c.doubleClick(ItemEvent(head, head).get()));
        auto* prop = new TKSN_Object();
        Project->Objects->AddItem(prop);
        EXPECT_FALSE(c.click(ItemEvent(a, prop).get()));
        EXPECT_FALSE(c.doubleClick(ItemEvent(b, prop).get()));
        EXPECT_TRUE(b->multiSelected);
        EXPECT_EQ(QOREvents_GetEventCount(), 0);
    }
}

TEST_F(ProjectTree, ARightClickOnAHighlightedSelectionKeepsTheMultiSelection)
{
    TKSN_Object* head = AddObject("Head");
    TKSN_Mesh* mesh = head->Mesh.get();
    auto* a = new TKSN_Selection(3, mesh->GetID());
    auto* b = new TKSN_Selection(3, mesh->GetID());
    auto* c = new TKSN_Selection(3, mesh->GetID());
    for (TKSN_Selection* s : {a, b, c}) mesh->SelectionTree->AddItem(s);
    mesh->SelectionTree->SelectItem(a->GetID(), false, false);
    mesh->SelectionTree->SelectItem(b->GetID(), false, true);

    EXPECT_TRUE(RightClickSelectCB(ItemEvent(b, head).get()));
    EXPECT_TRUE(a->multiSelected && b->multiSelected);
    EXPECT_FALSE(c->multiSelected);

    QOREvents_Clean();
    EXPECT_TRUE(RightClickSelectCB(ItemEvent(c, head).get()));
    EXPECT_TRUE(c->multiSelected);
    EXPECT_FALSE(a->multiSelected || b->multiSelected);
    EXPECT_EQ(CountQueued(440), 1);
}

TEST_F(ProjectTree, AMorphUnionClickMakesEachMemberCurrentInItsMeshAndDropsDeadIDs)
{
    TKSN_Object* head = AddObject("Head");
    TKSN_Object* body = AddObject("Body");
    TKSN_Object* hat = AddObject("Hat");
    TKSN_Morph* headSmile = head->Mesh->CreateMorph(head->Mesh->MorphTree);
    TKSN_Morph* bodySmile = body->Mesh->CreateMorph(body->Mesh->MorphTree);
    TKSN_Morph* hatOld = hat->Mesh->CreateMorph(hat->Mesh->MorphTree);
    hat->Mesh->SetCurrentMorph(hatOld);
    auto* smile = new TKSN_MorphUnion;
    smile->SetName("%s", "Smile");
    Project->MorphUnions->AddItem(smile);
    smile->ItemIDs.Add(headSmile->GetID());
    smile->ItemIDs.Add(0xFFFFFF00u);
    smile->ItemIDs.Add(bodySmile->GetID());

    auto e = std::make_unique<TQOREvent>(SelectMorphUnionCB, 0, 0);
    e->SetOwner(smile);
    // A release or a right press reaches the callback and does nothing.
    for (std::pair<int, int> bs : {std::pair{0, 1}, std::pair{2, 0}}) {
        e->SetMouseButton(uint8_t(bs.first));
        e->SetMouseState(uint8_t(bs.second));
        EXPECT_FALSE(SelectMorphUnionCB(e.get()));
        EXPECT_FALSE(smile->multiSelected);
    }
    e->SetMouseButton(0);
    e->SetMouseState(0);
    ASSERT_TRUE(SelectMorphUnionCB(e.get()));
    EXPECT_EQ(head->Mesh->GetCurrentMorph(), headSmile);
    EXPECT_EQ(body->Mesh->GetCurrentMorph(), bodySmile);
    EXPECT_EQ(hat->Mesh->GetCurrentMorph(), nullptr);
    ASSERT_EQ(smile->ItemIDs.Count(), 2);
    EXPECT_EQ(smile->ItemIDs[0], headSmile->GetID());
    EXPECT_EQ(smile->ItemIDs[1], bodySmile->GetID());
}

TEST_F(ProjectTree, RowsAreAsWideAsTheFurthestWidget)
{
    TKSN_ObjectManagerNode* panel = W().ObjectManagerNode;
    W().CurrentTab = 1;   // the Manager tab's page is the one laid out
    panel->Update();
    panel->CreateNewListItem(true, "Short", 0, false, false, nullptr, 0);
    TKSN_ManagerListItem* deep = panel->CreateNewListItem(true, "A rather long name of a row", 20, true, true, nullptr, 0);
    Layout();
    const int reach = deep->TextNode->X + deep->TextNode->Width;
    ASSERT_GT(reach, 230);
    for (TGui_Node* row = panel->List->FirstChild; row; row = row->Next) EXPECT_EQ(row->Width, reach);
}

TEST_F(ProjectTree, TheHighlightProfileListsTheFlagsInPreOrder)
{
    TKSN_Object* a = AddObject("A");
    TKSN_Object* b = AddObject("B");
    Project->Objects->SelectItem(b->GetID(), false, false);
    int32_t* p = GetHighlightProfileFromGroup(Project->Objects);
    ASSERT_GE(p[0], 3);
    EXPECT_EQ(p[1], 0);   // the group itself
    int flagged = 0;
    for (int i = 1; i <= p[0]; ++i) flagged += p[i];
    EXPECT_EQ(flagged, 1);
    QORfree(p);
    (void)a;
}
