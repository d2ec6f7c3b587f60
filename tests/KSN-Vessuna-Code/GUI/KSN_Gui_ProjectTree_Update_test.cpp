// The Manager tab's project tree built from a real project, the drops its
// rows receive, the material editor windows its material rows open, and the
// whole command ranges run against an empty project.
#include "KSN_ObjectCommandsTestSupport.h"

#include "GuiButton.h"
#include "GuiGauge.h"
#include "GuiText.h"
#include "KSN_Commands_Drop.h"
#include "KSN_MainWindow_Panels.h"

#include <cstring>

namespace {

class TreeTest : public ObjectCommands {
protected:
    TKSN_ObjectManagerNode& Panel() { return *W().ObjectManagerNode; }
    std::vector<TKSN_ManagerListItem*> Rows()
    {
        std::vector<TKSN_ManagerListItem*> out;
        for (TGui_Node* c = Panel().List->FirstChild; c; c = c->Next)
            if (auto* r = dynamic_cast<TKSN_ManagerListItem*>(c)) out.push_back(r);
        return out;
    }
    TKSN_ManagerListItem* Row(const std::string& caption)
    {
        for (TKSN_ManagerListItem* r : Rows())
            if (r->TextNode && caption == r->TextNode->GetName()) return r;
        return nullptr;
    }
    template <class T>
    static T* Child(TGui_Node* row)
    {
        for (TGui_Node* c = row->FirstChild; c; c = c->Next)
            if (auto* t = dynamic_cast<T*>(c)) return t;
        return nullptr;
    }
    static TGui_Node* ChildNamed(TGui_Node* row, const char* name)
    {
        for (TGui_Node* c = row->FirstChild; c; c = c->Next) {
            if (std::strcmp(c->GetName(), name) == 0) return c;
            if (TGui_Node* inner = ChildNamed(c, name)) return inner;
        }
        return nullptr;
    }
    void Rebuild()
    {
        Project->MaterialsHeading.collapsed = false;
        Project->GroupsHeading.collapsed = false;
        Panel().Update();
    }
    TKSN_MorphUnionGroup* UnionFolder(const char* name)
    {
        auto* folder = new TKSN_MorphUnionGroup;
        folder->SetName("%s", name);
        folder->RegisterForLookup();
        folder->collapsed = false;
        Project->MorphUnions->LinkChild(folder);
        return folder;
    }
    TKSN_TreeGroup* ObjectFolder(const char* name)
    {
        auto* folder = new TKSN_TreeGroup();
        folder->SetName("%s", name);
        folder->RegisterForLookup();
        Project->Objects->LinkChild(folder);
        return folder;
    }
    // A drop as the toolkit delivers it onto a row 16 pixels high.
    bool Drop(int command, const char* payload, TKSN_TreeGroup* group, TKSN_Thingy* target, bool lowerHalf)
    {
        if (!DropNode) {
            DropNode = W().AddNode("", 100, 16);
            DropNode->RegisterForLookup();
        }
        TQOREvent e(KestruneEvents_CommandCB, 0, command);
        e.AssignStringParameter(payload, 0);
        e.idParameters[0] = group ? group->GetID() : 0;
        e.idParameters[1] = target ? target->GetID() : 0;
        e.SetDispatcher(DropNode);
        e.SetY(lowerHalf ? 12 : 3);
        return QORProcessEventNow(&e);
    }
    static std::string Payload(const char* keyword, TKSN_Thingy* t) { return QORFormat("%s %u", keyword, t->GetID()); }
    TGui_Node* DropNode = nullptr;
};

} // namespace

// [SECTION] Rows

TEST_F(TreeTest, MaterialsAndGroupsSitDirectlyUnderTheirHeadingForOneObjectAndInFoldersForTwo)
{
    TKSN_Object* head = Grid("Head");
    M(head)->Materials->collapsed = true;   // a single object lists them anyway
    Rebuild();
    ASSERT_NE(Row("Skin"), nullptr);
    EXPECT_EQ(Row("Skin")->Level, 2);
    EXPECT_EQ(Row("Body")->Level, 2);
    EXPECT_EQ(Row("Skin")->Item, M(head)->Materials->GetItem(0));

    TKSN_Object* body = Grid("Torso");
    M(head)->Materials->collapsed = M(head)->Groups2->collapsed = false;
    M(body)->Materials->collapsed = M(body)->Groups2->collapsed = false;
    Rebuild();
    int folders = 0, items = 0;
    for (TKSN_ManagerListItem* r : Rows()) {
        const std::string caption = r->TextNode->GetName();
        if ((caption == "Head" || caption == "Torso") && r->Level == 2) ++folders;
        if (caption == "Skin" || caption == "Body") {
            EXPECT_EQ(r->Level, 3);
            ++items;
        }
    }
    EXPECT_EQ(folders, 4);   // one per object under each heading
    EXPECT_EQ(items, 4);
    (void)body;
}

TEST_F(TreeTest, ObjectRowsCarryTheirPayloadAndTheSettingsFollowSubdivision)
{
    TKSN_Object* head = Grid("Head");
    head->collapsed = false;
    M(head)->SubDsEnabled = false;
    Rebuild();
    TKSN_ManagerListItem* row = Row("Head");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->Item, head);
    EXPECT_TRUE(row->Draggable);
    EXPECT_EQ(std::string(row->DragDropString), Payload("Object2", head));
    ASSERT_NE(row->DragDropEvent, nullptr);
    EXPECT_EQ(row->DragDropEvent->GetCommand(), 6);

    // Subdivision off: the four controls are disabled and the count row is empty.
    for (const char* name : {"Dynamic Subdivision", Lang.GetText(1612)}) {
        TGui_Node* box = nullptr;
        for (TKSN_ManagerListItem* r : Rows())
            if (TGui_Node* c = ChildNamed(r, name)) box = c;
        ASSERT_NE(box, nullptr) << name;
        EXPECT_FALSE(box->IsEnabled()) << name;
    }
    bool maxPolysDisabled = false, initDisabled = false;
    for (TKSN_ManagerListItem* r : Rows()) {
        if (auto* g = Child<TGui_TextAndGauge>(r); g && g->Caption && std::strcmp(g->Caption->GetName(), Lang.GetText(1595)) == 0)
            maxPolysDisabled = !g->IsEnabled();
        if (TGui_Node* b = ChildNamed(r, Lang.GetText(1604))) initDisabled = !b->IsEnabled() && !b->ClickEvent;
    }
    EXPECT_TRUE(maxPolysDisabled);
    EXPECT_TRUE(initDisabled);

    // The rows' live variables are read by a layout pass of the whole window.
    M(head)->SubDsEnabled = true;
    Rebuild();
    EXPECT_NO_THROW(Layout());
    TGui_Node* init = nullptr;
    for (TKSN_ManagerListItem* r : Rows())
        if (TGui_Node* b = ChildNamed(r, Lang.GetText(1604))) init = b;
    ASSERT_NE(init, nullptr);
    ASSERT_NE(init->ClickEvent, nullptr);
    EXPECT_EQ(init->ClickEvent->GetCommand(), 203);
    EXPECT_EQ(init->ClickEvent->GetOwnerID(), head->GetID());
}

TEST_F(TreeTest, TheEstimatedPolygonCountQuadruplesWithinMaxPolys)
{
    TKSN_Object* o = Project->CreateNewObject();
    o->SetName("%s", "Dense");
    o->Mesh.reset(new TKSN_Mesh(o));
    M(o)->Create(4, 0, 4, 1000);
    o->collapsed = false;
    M(o)->SubDsEnabled = true;
    struct TCase {
        int MaxPolys;
        const char* Caption;
    } cases[] = {{100000, "Estimated Poly Count - 64,000"}, {500, "Estimated Poly Count - 1,000"},
                 {4000, "Estimated Poly Count - 4,000"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.MaxPolys);
        M(o)->TargetMaxSubDPolygonCount = c.MaxPolys;
        Rebuild();
        EXPECT_NE(Row(c.Caption), nullptr);
    }
}

TEST_F(TreeTest, TheBaseVerticesUnionHasNoGaugeNoPayloadAndNoLimitRows)
{
    TKSN_Object* o = Grid("Head");
    TKSN_MorphUnion* smile = AddUnion("Smile", {AddMorph(o, "Smile")});
    TKSN_MorphUnion* base = AddUnion("(Base Vertices)", {M(o)->BaseVerticesMorph});
    smile->collapsed = base->collapsed = false;
    Project->MorphUnions->collapsed = false;
    Rebuild();
    bool baseShown = false;
    int limitRows = 0;
    for (TKSN_ManagerListItem* r : Rows()) {
        if (ChildNamed(r, "Min Strength") || ChildNamed(r, "Max Strength")) ++limitRows;
        if (r->Item == base) {
            baseShown = true;
            EXPECT_FALSE(r->Draggable);
            EXPECT_EQ(Child<TGui_Gauge>(r), nullptr);
        }
        if (r->Item == smile) {
            EXPECT_EQ(std::string(r->DragDropString), Payload("MorphUnion", smile));
            EXPECT_NE(Child<TGui_Gauge>(r), nullptr);
        }
    }
    EXPECT_TRUE(baseShown);
    EXPECT_EQ(limitRows, 2);   // Smile's only

    // The Min Strength field queues 221 for the union, with the row's gauge.
    TGui_EditText* min = nullptr;
    TKSN_ManagerListItem* minRow = nullptr;
    int smileLevel = -1;
    for (TKSN_ManagerListItem* r : Rows()) {
        if (r->Item == smile) smileLevel = r->Level;
        if (auto* e = Child<TGui_EditText>(r); e && ChildNamed(r, "Min Strength")) {
            min = e;
            minRow = r;
        }
    }
    ASSERT_NE(min, nullptr);
    EXPECT_EQ(minRow->Level, smileLevel + 2);
    min->EditField->SetFloatValue(40.0f, nullptr, false);
    QOREvents_Clean();
    min->EditField->OnChange();
    ASSERT_EQ(CountQueued(221), 1);
    Pump();
    EXPECT_FLOAT_EQ(smile->MinStrength, 0.4f);
}

TEST_F(TreeTest, AnEmptyUnionFoldersPlaceholderTakesDropsForTheFolder)
{
    TKSN_Object* o = Grid("Head");
    TKSN_MorphUnion* smile = AddUnion("Smile", {AddMorph(o, "Smile")});
    TKSN_MorphUnionGroup* face = UnionFolder("Face");
    Project->MorphUnions->collapsed = false;
    Rebuild();
    TKSN_ManagerListItem* placeholder = Row(Lang.GetText(1328));
    ASSERT_NE(placeholder, nullptr);
    placeholder->DragDropReceive(Payload("MorphUnion", smile).c_str(), 5, 5);
    Pump();
    EXPECT_EQ(Names(face), (std::vector<std::string>{"Smile"}));
}

// [SECTION] Drops

TEST_F(TreeTest, PayloadsWithTooFewWordsAreRefusedAndUnknownKindsMoveNothing)
{
    TKSN_Object* a = Grid("A");
    TKSN_Object* b = Grid("B");
    const auto before = Names(Project->Objects);
    EXPECT_FALSE(Drop(6, "Object2", Project->Objects, b, false));
    EXPECT_FALSE(Drop(2, "Morph2 5", Project->Objects, b, false));
    QOREvents_Clean();
    EXPECT_TRUE(Drop(6, ("Banana " + std::to_string(a->GetID())).c_str(), Project->Objects, b, false));
    EXPECT_EQ(Names(Project->Objects), before);
    EXPECT_EQ(CountQueued(441), 1);
}

TEST_F(TreeTest, TheLowerHalfOfARowInsertsAfterItAndTheFirstUnionStaysFirst)
{
    TKSN_TreeGroup* folder = ObjectFolder("Props");
    Grid("A", 1, folder);
    TKSN_Object* b = Grid("B", 1, folder);
    Grid("C", 1, folder);
    TKSN_Object* d = Grid("D");
    ASSERT_TRUE(Drop(6, Payload("Object2", d).c_str(), folder, b, true));
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"A", "B", "D", "C"}));
    ASSERT_TRUE(Drop(6, Payload("Object2", d).c_str(), folder, b, false));
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"A", "D", "B", "C"}));

    TKSN_Object* o = Grid("Head");
    TKSN_MorphUnion* base = AddUnion("(Base Vertices)", {M(o)->BaseVerticesMorph});
    AddUnion("X", {AddMorph(o, "X")});
    TKSN_MorphUnion* y = AddUnion("Y", {AddMorph(o, "Y")});
    ASSERT_TRUE(Drop(3, Payload("MorphUnion", y).c_str(), Project->MorphUnions, base, false));
    EXPECT_EQ(Names(Project->MorphUnions), (std::vector<std::string>{"(Base Vertices)", "Y", "X"}));
}

TEST_F(TreeTest, HighlightedItemsFromDifferentFoldersArriveInTreeOrder)
{
    TKSN_TreeGroup* f1 = ObjectFolder("F1");
    TKSN_TreeGroup* f2 = ObjectFolder("F2");
    Grid("a1", 1, f1);
    TKSN_Object* a2 = Grid("a2", 1, f1);
    TKSN_Object* b1 = Grid("b1", 1, f2);
    TKSN_Object* c = Grid("c");
    a2->multiSelected = b1->multiSelected = true;
    for (bool lower : {false, true}) {
        SCOPED_TRACE(lower);
        ASSERT_TRUE(Drop(6, Payload("Object2", b1).c_str(), Project->Objects, c, lower));
        const auto names = Names(Project->Objects);
        const auto at = std::find(names.begin(), names.end(), "a2");
        ASSERT_NE(at, names.end());
        ASSERT_NE(at + 1, names.end());
        EXPECT_EQ(*(at + 1), "b1");
        EXPECT_EQ(Names(f1), (std::vector<std::string>{"a1"}));
        EXPECT_TRUE(Names(f2).empty());
    }
}

TEST_F(TreeTest, AFolderCannotMoveIntoItsOwnChild)
{
    TKSN_TreeGroup* outer = ObjectFolder("Outer");
    auto* inner = new TKSN_TreeGroup();
    inner->SetName("%s", "Inner");
    outer->LinkChild(inner);
    Project->Objects->displayListNumber = 0;
    outer->displayListNumber = 1;
    inner->displayListNumber = 2;
    EXPECT_FALSE(ProcessDragDropThingyNode(Project->Objects, 1, 2));
    EXPECT_TRUE(Saw("Cannot move this group into a child group"));
    EXPECT_EQ(inner->GetParent(), outer);
    EXPECT_FALSE(ProcessDragDropThingyNode(Project->Objects, 1, 1));
    // The inner folder may leave for the top.
    EXPECT_TRUE(ProcessDragDropThingyNode(Project->Objects, 2, 0));
    EXPECT_EQ(inner->GetParent(), Project->Objects);
}

// [SECTION] Material editor windows

TEST_F(TreeTest, EditorWindowsAreRaisedPerMaterialAndCloseWhenTheirMaterialGoes)
{
    TKSN_Object* a = Grid("Head");
    TKSN_Object* b = Grid("Body");
    auto open = [&](TKSN_Object* o, int raise) {
        TQOREvent e(OnExpandMaterial, 0, 0);
        e.idParameters[0] = o->GetID();
        e.idParameters[1] = M(o)->Materials->GetItem(0)->GetID();
        e.intParameters[0] = raise;
        return OnExpandMaterial(&e);
    };
    EXPECT_TRUE(open(a, 1));
    EXPECT_TRUE(open(b, 1));   // same name, another material: its own window
    ASSERT_EQ(EditorWindows().size(), 2u);
    TKSN_SingleMaterialEditorWindow* first = EditorWindows()[0];
    W().Clock.SetTime(150.0);
    EXPECT_FALSE(open(a, 1));   // only raised and flashed
    EXPECT_EQ(EditorWindows().size(), 2u);
    TGui_Node* last = W().FirstChild;
    while (last->Next) last = last->Next;
    EXPECT_EQ(last, first);
    EXPECT_FLOAT_EQ(first->FlashStartTime, 150.0f);

    // A deleted material's window closes at its next update.
    TKSN_Thingy* skin = M(b)->Materials->GetItem(0);
    skin->multiSelected = true;
    ASSERT_TRUE(Cmd(353));
    for (auto* w : EditorWindows()) w->Update();
    ASSERT_EQ(EditorWindows().size(), 1u);
    EXPECT_EQ(EditorWindows()[0], first);

    TQOREvent missing(OnExpandMaterial, 0, 0);
    EXPECT_FALSE(OnExpandMaterial(&missing));

    // The row's control (integer slot 0 = 0) closes an open window, and the
    // next click opens a new one even before the hidden one is deleted.
    EXPECT_FALSE(open(a, 0));
    EXPECT_FALSE(first->Shown);
    EXPECT_TRUE(open(a, 0));
    int shown = 0;
    for (auto* w : EditorWindows()) shown += w->Shown ? 1 : 0;
    EXPECT_EQ(shown, 1);
}

// [SECTION] Every id

TEST_F(TreeTest, EveryIdRunsOnAnEmptyProjectAndWithNothingHighlighted)
{
    for (bool withObject : {false, true}) {
        SCOPED_TRACE(withObject);
        if (withObject) Grid("Head");
        for (int id = 191; id <= 224; ++id) EXPECT_NO_THROW(Cmd(id)) << id;
        for (int id = 349; id <= 364; ++id) EXPECT_NO_THROW(Cmd(id)) << id;
        for (int id = 2; id <= 6; ++id) EXPECT_NO_THROW(Cmd(id)) << id;
        EXPECT_NO_THROW(Pump());
        EXPECT_NO_THROW(Rebuild());
    }
    EXPECT_TRUE(Shown(1061));   // delete with nothing highlighted
    EXPECT_TRUE(Shown(162));    // assign with no material highlighted
    EXPECT_TRUE(Shown(1365));   // group delete with none highlighted
}

TEST_F(TreeTest, ASelectionUnionTellsItsType)
{
    TKSN_Object* o = Grid("Head");
    Project->SelectionUnions->collapsed = false;
    auto* u = new TKSN_SelectionUnion;
    u->SetName("%s", "Lips");
    u->RegisterForLookup();
    u->collapsed = false;
    Project->SelectionUnions->AddItem(u);
    Rebuild();
    EXPECT_NE(Row("Type: Vertex"), nullptr);   // an empty union reads as type 0
    TKSN_ManagerListItem* row = nullptr;
    for (TKSN_ManagerListItem* r : Rows())
        if (r->Item == u) row = r;
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(std::string(row->DragDropString), Payload("SelectionUnion", u));
    ASSERT_NE(row->DragDropEvent, nullptr);
    EXPECT_EQ(row->DragDropEvent->GetCommand(), 4);
    (void)o;
}
