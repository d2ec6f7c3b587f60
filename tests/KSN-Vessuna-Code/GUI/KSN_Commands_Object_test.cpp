// Object commands on real objects: stepping the current object within its
// folder, deleting objects with the maps only they use, the refusals, the
// settings rows' live booleans and the initialisation of the subdivision.
#include "KSN_ObjectCommandsTestSupport.h"

#include "KSN_SubDMesh.h"
#include "QORMaterialMapSource.h"

#include <map>
#include <memory>

namespace {

class ObjectTree : public ObjectCommands {
protected:
    TKSN_TreeGroup* Folder(const char* name)
    {
        auto* folder = new TKSN_TreeGroup();
        folder->SetName("%s", name);
        folder->RegisterForLookup();
        Project->Objects->LinkChild(folder);
        return folder;
    }
    TQORMaterialMapSource* Map(TKSN_Object* o, TQORMaterialMapSource* shared = nullptr)
    {
        TQORMaterialMap* binding = Project->CreateNewMap(M(o), shared);
        // A binding no channel names is dead: each map goes to a channel of its own.
        TQORMaterial* skin = M(o)->Materials->GetItemAs(0);
        int& next = NextChannel[o];
        skin->ArbChannels[next++]->SetMapID(int(binding->GetID()));
        return binding->GetMapSource();
    }
    std::map<TKSN_Object*, int> NextChannel;
    static int MapCount()
    {
        std::unique_ptr<TQORNewStaticList<TQORMaterialMapSource*>> maps(Project->GetMapList());
        return maps->Count();
    }
};

} // namespace

TEST_F(ObjectTree, TabWrapsWithinTheCurrentObjectsFolder)
{
    TKSN_TreeGroup* folder = Folder("Props");
    TKSN_Object* lone = Grid("Lone");
    TKSN_Object* a = Grid("A", 1, folder);
    TKSN_Object* b = Grid("B", 1, folder);
    TKSN_Object* c = Grid("C", 1, folder);
    struct TCase {
        TKSN_Object* From;
        bool Shift;
        TKSN_Object* To;
    } cases[] = {{a, false, b}, {c, false, a}, {a, true, c}, {b, true, a}, {lone, false, lone}};
    for (const TCase& t : cases) {
        SCOPED_TRACE(std::string(t.From->GetName()) + (t.Shift ? " Shift" : ""));
        Project->SetCurrentObject(t.From);
        W().ShiftHeld = t.Shift;
        QOREvents_Clean();
        EXPECT_TRUE(Cmd(194));
        W().ShiftHeld = false;
        EXPECT_EQ(Project->GetCurrentObject(), t.To);
        EXPECT_EQ(CountQueued(432), 1);
    }
}

TEST_F(ObjectTree, DeletingAsksOnlyAboutTheMapsNoOtherObjectUses)
{
    TKSN_Object* head = Grid("Head");
    TKSN_Object* body = Grid("Body");
    Map(head);
    Map(head);
    TQORMaterialMapSource* shared = Map(body);
    Map(head, shared);
    TQORMaterialMapSource* stray = Project->CreateMapSource();   // highlighted in the Maps tab, used by nobody
    stray->multiSelected = true;
    ASSERT_EQ(MapCount(), 4);
    Project->Objects->SelectItem(head->GetID(), false, false);

    Provider.Boxes.clear();
    Answer({TOSBoxAnswer::Yes, TOSBoxAnswer::Yes});
    ASSERT_TRUE(Cmd(195));
    ASSERT_EQ(Provider.Boxes.size(), 2u);
    EXPECT_NE(Provider.Boxes[1].Text.find("delete the 2 maps"), std::string::npos) << Provider.Boxes[1].Text;
    EXPECT_EQ(MapCount(), 2);   // the shared map and the stray one stay
    EXPECT_EQ(Project->GetCurrentObject(), body);   // the first remaining object
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> left(Project->GetObjectList());
    EXPECT_EQ(left->Count(), 1);

    // Only shared maps: no map question at all.
    Project->Objects->SelectItem(body->GetID(), false, false);
    TKSN_Object* hat = Grid("Hat");
    Map(hat, shared);
    Provider.Boxes.clear();
    Answer({TOSBoxAnswer::Yes});
    ASSERT_TRUE(Cmd(195));
    ASSERT_EQ(Provider.Boxes.size(), 1u) << Provider.Boxes.back().Text;
    EXPECT_EQ(Project->GetCurrentObject(), hat);
}

TEST_F(ObjectTree, DeleteRefusesTheTopFolderAndAnEmptyHighlight)
{
    TKSN_Object* head = Grid("Head");
    head->multiSelected = true;
    Project->Objects->multiSelected = true;
    EXPECT_FALSE(Cmd(195));
    EXPECT_TRUE(Shown(305));
    head->multiSelected = Project->Objects->multiSelected = false;
    QOREvents_Clean();
    EXPECT_FALSE(Cmd(195));
    EXPECT_TRUE(Shown(1061));
    EXPECT_EQ(CountQueued(10), 1);
    for (const auto& box : Provider.Boxes) EXPECT_NE(box.Kind, TOSBoxKind::YesNo) << box.Text;
    std::unique_ptr<TQORNewStaticList<TKSN_Object*>> left(Project->GetObjectList());
    EXPECT_EQ(left->Count(), 1);
}

TEST_F(ObjectTree, InitializeObjectStopsWhenTheChosenSaveIsCancelled)
{
    TKSN_Object* head = Grid("Head");
    M(head)->TargetMaxSubDPolygonCount = 100;
    Answer({TOSBoxAnswer::Yes});   // save first; the file dialog is then cancelled
    EXPECT_FALSE(Cmd(203, head->GetID()));
    EXPECT_TRUE(Shown(1611));
    EXPECT_EQ(M(head)->GetSubD_MaxLevel(), nullptr);

    // A save to a folder that cannot be written fails the same way.
    Provider.Choices.push_back((Store.Folder / "missing" / "deeper" / "Head.kestrune").string());
    Answer({TOSBoxAnswer::Yes});
    g_Printed.clear();
    EXPECT_FALSE(Cmd(203, head->GetID()));
    EXPECT_TRUE(Shown(1611));
    EXPECT_EQ(M(head)->GetSubD_MaxLevel(), nullptr);

    Answer({TOSBoxAnswer::Cancel});
    EXPECT_FALSE(Cmd(203, head->GetID()));

    Answer({TOSBoxAnswer::No});   // go on without saving
    EXPECT_TRUE(Cmd(203, head->GetID()));
    EXPECT_NE(M(head)->GetSubD_MaxLevel(), nullptr);

    // Turning subdivision off deletes the subdivided meshes again.
    TQOREvent off(KestruneEvents_CommandCB, head->GetID(), 200);
    off.operationMode = 1;
    off.intParameters[0] = 0;
    EXPECT_TRUE(QORProcessEventNow(&off));
    EXPECT_FALSE(M(head)->SubDsEnabled);
    EXPECT_EQ(M(head)->GetSubD_MaxLevel(), nullptr);
}

TEST_F(ObjectTree, SettingsRowsNeedAnObjectAndServeItsFlags)
{
    TKSN_Object* head = Grid("Head");
    for (int id : {197, 198, 199, 200, 201, 202, 203, 204, 205}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(Cmd(id, 0));
    }
    head->RenderDoubleSided = true;
    EXPECT_EQ(GetInt(198, head->GetID(), 0), 1);
    EXPECT_EQ(GetInt(197, head->GetID(), 0), 1);
    TQOREvent set(KestruneEvents_CommandCB, head->GetID(), 197);
    set.operationMode = 1;
    set.intParameters[0] = 0;
    QORProcessEventNow(&set);
    EXPECT_EQ(GetInt(197, head->GetID(), 0), 1);   // always reads true
}

TEST_F(ObjectTree, ANewFolderGoesIntoTheHighlightedFolderExpandedAndIsNamedNext)
{
    TKSN_TreeGroup* props = Folder("Props");
    props->collapsed = true;
    Project->Objects->SelectItem(props->GetID(), false, false);
    QOREvents_Clean();
    ASSERT_TRUE(Cmd(192));
    TKSN_TreeGroup* made = props->GetChild();
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made->GetName(), Lang.GetText(1325));
    EXPECT_FALSE(made->collapsed);
    EXPECT_FALSE(props->collapsed);
    TQOREvent* name = QOREvents_PeekEvent(0);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->GetCommand(), 139);
    EXPECT_EQ(name->GetOwnerID(), made->GetID());
    EXPECT_EQ(name->intParameters[0], 441);
    EXPECT_EQ(name->intParameters[1], 14);

    // The main folder cannot be renamed.
    Project->Objects->SelectItem(Project->Objects->GetID(), false, false);
    EXPECT_FALSE(Cmd(193));
    EXPECT_TRUE(Shown(562));
    EXPECT_FALSE(R().Shown);
}
