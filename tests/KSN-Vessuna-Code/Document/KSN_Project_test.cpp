// The project document: a new project's contents, the list accessors, object
// removal, the tree helpers (search, sort, paths), the decision which objects
// an action applies to, and the current object and viewport.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "KSN_Layer.h"
#include "KSN_Mesh.h"
#include "KSN_Object.h"
#include "KSN_Project_AppSupport.h"
#include "KSN_SculptLayer.h"
#include "KSN_PolygonLayer.h"
#include "KSN_Project.h"
#include "KSN_Tool.h"
#include "KSN_Union.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORLanguage.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"

namespace fs = std::filesystem;

namespace {

// Records every box and panel text; answers boxes from a script.
struct TDialogs : TOSDialogProvider {
    static inline std::vector<std::string> Panel;
    std::vector<std::string> Boxes;
    std::vector<TOSBoxAnswer> Answers;
    TOSBoxAnswer ShowBox(TOSBoxKind, const char*, const char* text, bool) override
    {
        Boxes.push_back(text);
        if (Answers.empty()) return TOSBoxAnswer::Closed;
        TOSBoxAnswer a = Answers.front();
        Answers.erase(Answers.begin());
        return a;
    }
    bool PickColour(unsigned char*) override { return false; }
    bool SelectFile(const TOSFileDialogRequest&, std::string&) override { return false; }
    bool SetClipboardText(const std::string&) override { return false; }
    bool GetClipboardText(std::string&) override { return false; }
};

// A main folder with the default brush shape, a HOME of its own, recording
// dialogs, and a new project as `Project`.
class ProjectFixture : public ::testing::Test {
protected:
    fs::path Root;
    TDialogs Dialogs;
    TTestMainFolder Main;

    void SetUp() override
    {
        Main.Open("ksn_doc_");
        Root = Main.Root;
        OS.SetDialogProvider(&Dialogs);
        TDialogs::Panel.clear();
        auto record = [](char* text) { TDialogs::Panel.push_back(text); };
        OS.AssignOnWarningMessage(record);
        OS.AssignOnPrintMessage(record);
        OS.LastMessageText.clear();
        QOREvents_Clean();
        QORVirtualMemory_Initialize();
        Project = new TKSN_Project();
    }

    void TearDown() override
    {
        delete Project;
        Project = nullptr;
        KSN_TestApp_SetCurrentTool(nullptr);
        KSN_TestApp_Delete();
        QORVirtualMemory_Cleanup();
        QOREvents_Clean();
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.SetDialogProvider(nullptr);
        Main.Close();
    }

    // A new object in group (the top object group when null), with a
    // one-triangle mesh unless withMesh is false.
    TKSN_Object* AddObject(const char* name, bool withMesh = true, TKSN_TreeGroup* group = nullptr)
    {
        auto* object = new TKSN_Object();
        object->SetName("%s", name);
        if (withMesh) {
            object->Mesh.reset(new TKSN_Mesh(object));
            object->Mesh->Create(3, 0, 3, 1);
        }
        (group ? group : Project->Objects)->AddItem(object);
        return object;
    }

    static TKSN_TreeGroup* AddGroup(TKSN_TreeGroup* parent, const char* name)
    {
        auto* group = new TKSN_TreeGroup();
        group->SetName("%s", name);
        parent->LinkChild(group);
        return group;
    }

    static TKSN_Thingy* AddItem(TKSN_TreeGroup* group, const char* name)
    {
        auto* item = new TKSN_Thingy();
        item->SetName("%s", name);
        group->AddItem(item);
        return item;
    }

    static std::vector<std::string> ItemNames(TKSN_TreeGroup* group)
    {
        std::vector<std::string> names;
        for (TKSN_Thingy* item : *group->items) names.push_back(item->GetName());
        return names;
    }

    static std::vector<std::string> ObjectNames(TQORNewStaticList<TKSN_Object*>* list)
    {
        std::vector<std::string> names;
        for (TKSN_Object* object : *list) names.push_back(object->GetName());
        delete list;
        return names;
    }
};

// ---------------------------------------------------------------------------
// Construction and lists
// ---------------------------------------------------------------------------

TEST_F(ProjectFixture, NewProjectHasEmptyTreesAndThe32Layers)
{
    EXPECT_STREQ(Project->Objects->GetName(), "Objects");
    EXPECT_STREQ(Project->Objects->GetGroupPath(), "objects");
    EXPECT_FALSE(Project->Objects->collapsed);
    EXPECT_EQ(Project->Objects->items->Count(), 0);
    EXPECT_EQ(Project->Objects->GetChild(), nullptr);
    EXPECT_STREQ(Project->Maps->GetName(), "Maps");
    EXPECT_EQ(Project->Maps->items->Count(), 0);
    EXPECT_EQ(Project->MorphUnions->items->Count(), 0);
    EXPECT_EQ(Project->SelectionUnions->items->Count(), 0);
    EXPECT_STREQ(Project->MorphUnions->GetName(), "Morphs");
    EXPECT_STREQ(Project->SelectionUnions->GetName(), "Selections");
    EXPECT_STREQ(Project->MapLayers->GetName(), "*Map Layers");
    EXPECT_STREQ(Project->SculptLayers->GetName(), "*Sculpt Layers");
    EXPECT_EQ(Project->GetObjectCount(), 0);
    EXPECT_EQ(Project->GetCurrentObjectID(), 0u);
    EXPECT_EQ(Project->GetCurrentViewportIndex(), 0);

    for (int slot = 0; slot < KSN_POLYGON_LAYER_COUNT; ++slot) {
        SCOPED_TRACE(slot);
        TKSN_Layer* layer = Project->PolygonLayers[slot];
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->Index, slot);
        if (slot == 0 || slot >= 30) {
            EXPECT_TRUE(layer->IsEnabled());
            EXPECT_TRUE(layer->IsBuiltIn);
        } else {
            EXPECT_FALSE(layer->IsEnabled());
            EXPECT_FALSE(layer->IsBuiltIn);
            EXPECT_EQ(layer->GetName(), "Layer " + std::to_string(slot));
        }
    }
    EXPECT_STREQ(Project->PolygonLayers[0]->GetName(), "All Polygons");
    EXPECT_STREQ(Project->PolygonLayers[30]->GetName(), "Hidden Layer");
    EXPECT_STREQ(Project->PolygonLayers[31]->GetName(), "Locked Layer");
    EXPECT_TRUE(Project->PolygonLayers[30]->DisplayFlags & TKSN_Layer::Hidden);
    EXPECT_TRUE(Project->PolygonLayers[31]->Locked);
    EXPECT_FALSE(Project->PolygonLayers[30]->Locked);
    const float* green = Project->PolygonLayers[2]->Color;
    EXPECT_FLOAT_EQ(green[0], 0.5f);
    EXPECT_FLOAT_EQ(green[1], 1.0f);
    EXPECT_FLOAT_EQ(green[2], 0.5f);
    EXPECT_FLOAT_EQ(Project->PolygonLayers[8]->Color[2], 0.8f) << "layers past 7 keep the default colour";
}

TEST_F(ProjectFixture, MissingDefaultBrushShapeEndsTheProgramWithAFailure)
{
    fs::remove(Root / "main" / "BrushShapes" / "01-Simple" / "Simple-0001.png");
    EXPECT_EXIT({ new TKSN_Project(); }, ::testing::ExitedWithCode(1), "");
}

TEST_F(ProjectFixture, ListsFollowTheTreeInPreOrderAndSkipObjectsWithoutMesh)
{
    AddObject("a");
    TKSN_TreeGroup* heads = AddGroup(Project->Objects, "Heads");
    AddObject("c", true, heads);
    AddObject("camera-like", false);
    AddObject("b");
    AddItem(Project->Objects, "not an object");

    EXPECT_EQ(ObjectNames(Project->GetObjectList()), (std::vector<std::string>{"a", "camera-like", "b", "c"}));
    EXPECT_EQ(Project->GetObjectCount(), 4);
    std::unique_ptr<TQORNewStaticList<TKSN_Mesh*>> meshes(Project->GetMeshList());
    ASSERT_EQ(meshes->Count(), 3);
    EXPECT_STREQ((*meshes)[2]->GetOwnerObject()->GetName(), "c");

    TKSN_Object* created = Project->CreateNewObject();
    EXPECT_STREQ(created->GetName(), "New Object");
    EXPECT_EQ(created->Mesh, nullptr);
    EXPECT_EQ(Project->Objects->items->Last(), created);
}

TEST_F(ProjectFixture, RemoveAndDeleteThingies)
{
    TKSN_TreeGroup* group = AddGroup(Project->Objects, "G");
    AddItem(group, "first");
    TKSN_Thingy* twice = AddItem(group, "twice");
    AddItem(group, "middle");
    group->AddItem(twice);
    AddItem(group, "last");

    Project->RemoveThingyFromTree(Project->Objects, nullptr);
    EXPECT_EQ(group->items->Count(), 5);
    Project->RemoveThingyFromTree(Project->Objects, twice);
    EXPECT_EQ(ItemNames(group), (std::vector<std::string>{"first", "middle", "last"}));
    delete twice;   // removing never deletes

    TKSN_Thingy* middle = (*group->items)[1];
    EXPECT_TRUE(Project->DeleteThingy(Project->Objects, middle));
    EXPECT_EQ(ItemNames(group), (std::vector<std::string>{"first", "last"}));
    TKSN_Thingy stranger;
    EXPECT_FALSE(Project->DeleteThingy(Project->Objects, &stranger)) << "nothing deleted is no success";
    EXPECT_FALSE(Project->DeleteThingy(Project->Objects, nullptr));
}

TEST_F(ProjectFixture, MergeVisitorDeletesOnlyTheMergedObjects)
{
    TKSN_Thingy* other = AddItem(Project->Objects, "camera");
    TKSN_Object* merged = AddObject("merged");
    TKSN_Object* kept = AddObject("kept");
    const uint32_t mergedID = merged->GetID();
    TQORNewStaticList<TKSN_Object*> mergeList;
    mergeList.Add(merged);

    TKSN_TreeGroup::Traverse(Project->Objects, 0, TKSN_Project::DeleteAllObjects_OnVisit, &mergeList, false);

    ASSERT_EQ(Project->Objects->items->Count(), 2);
    EXPECT_EQ((*Project->Objects->items)[0], other);
    EXPECT_EQ((*Project->Objects->items)[1], kept);
    EXPECT_EQ(__GetThingyFromID(mergedID), nullptr);
}

// ---------------------------------------------------------------------------
// Tree helpers
// ---------------------------------------------------------------------------

TEST_F(ProjectFixture, SortingIsCaseInsensitiveAndStable)
{
    struct Case {
        std::vector<const char*> Before;
        std::vector<std::string> After;
    } cases[] = {
        {{"body2", "Body", "arm"}, {"arm", "Body", "body2"}},
        {{"Arm", "arm"}, {"Arm", "arm"}},
        {{"arm", "Arm", "a"}, {"a", "arm", "Arm"}},
    };
    for (const Case& c : cases) {
        TKSN_TopTreeGroup root;
        TKSN_TreeGroup* child = AddGroup(&root, "child");
        for (const char* name : c.Before) {
            AddItem(child, name);
            AddGroup(child, name);
        }
        SortTreeGroupsByNames(&root, true, true);
        EXPECT_EQ(ItemNames(child), c.After);
        std::vector<std::string> groups;
        for (TKSN_TreeGroup* g = child->GetChild(); g; g = g->GetNext()) groups.push_back(g->GetName());
        EXPECT_EQ(groups, c.After);
    }
}

TEST_F(ProjectFixture, GroupPathsNameEveryEnclosingGroupWhole)
{
    TKSN_TopTreeGroup root;
    root.SetName("%s", "Morphs");
    TKSN_TreeGroup* face = AddGroup(&root, "Face");
    TKSN_Thingy* smile = AddItem(face, "Smile");
    TKSN_Thingy* direct = AddItem(&root, "Direct");
    const std::string longName(999, 'n');
    TKSN_TreeGroup* deep = AddGroup(face, longName.c_str());
    TKSN_Thingy* inDeep = AddItem(deep, "x");

    SetGroupPaths(&root);

    EXPECT_STREQ(smile->GetGroupPath(), "Morphs:Face:");
    EXPECT_STREQ(direct->GetGroupPath(), "Morphs:");
    EXPECT_STREQ(face->GetGroupPath(), "Morphs:Face:");
    EXPECT_EQ(inDeep->GetGroupPath(), "Morphs:Face:" + longName + ":");
}

TEST_F(ProjectFixture, SearchesRespectHiddenGroupsAndSiblings)
{
    TKSN_TopTreeGroup root;
    root.collapsed = false;
    TKSN_Thingy* top = AddItem(&root, "top");
    TKSN_TreeGroup* hidden = AddGroup(&root, "Hidden");
    hidden->hidden = true;
    AddItem(hidden, "secret");
    AddItem(AddGroup(hidden, "below"), "deeper");
    TKSN_TreeGroup* visible = AddGroup(&root, "Visible");
    TKSN_Thingy* shown = AddItem(visible, "shown");
    TKSN_TreeGroup* nested = AddGroup(visible, "Nested");
    TKSN_Thingy* inner = AddItem(nested, "inner");

    EXPECT_EQ(GetFirstThingy(root.GetChild()), shown);
    EXPECT_EQ(GetFirstThingy(&root), top);
    EXPECT_EQ(FindThingyFromName(root.GetChild(), "SHOWN"), shown);
    EXPECT_EQ(FindThingyFromNameIgnoreSiblings(hidden, "shown", true), nullptr);
    EXPECT_EQ(FindThingyFromNameIgnoreSiblings(hidden, "shown", false), shown);
    EXPECT_EQ(FindThingyFromNameIgnoreSiblings(visible, "inner", true), inner);
    EXPECT_EQ(FindGroupFromName(&root, "nested"), nested);
    EXPECT_EQ(FindGroupWhichContainsID(&root, inner->GetID()), nested);
    EXPECT_EQ(FindGroupFromName(nullptr, "x"), nullptr);

    inner->multiSelected = true;
    top->multiSelected = true;
    nested->collapsed = false;
    visible->collapsed = true;
    UnMultiSelectAnyItemInCollapsedGroup(&root);
    EXPECT_FALSE(inner->multiSelected) << "hidden inside a collapsed group";
    EXPECT_TRUE(top->multiSelected) << "shown in an expanded group";

    root.collapsed = true;
    EXPECT_FALSE(Project->UncollapseAllParentGroups(&root, inner));
    EXPECT_FALSE(visible->collapsed);
    EXPECT_FALSE(root.collapsed);
    TKSN_Thingy stranger;
    EXPECT_TRUE(Project->UncollapseAllParentGroups(&root, &stranger));
}

// ---------------------------------------------------------------------------
// Targets of an action
// ---------------------------------------------------------------------------

TEST_F(ProjectFixture, ActionTargetsAskOnlyWhenSeveralObjectsAreUnhighlighted)
{
    struct Case {
        const char* Why;
        int Objects;
        int Highlighted;
        bool Demand;
        std::vector<TOSBoxAnswer> Answers;
        bool Result, Multi, CurrentOnly;
        size_t Boxes;
    } cases[] = {
        {"one object: no question", 1, 0, true, {}, true, false, true, 0},
        {"several, Yes: every object", 3, 0, false, {TOSBoxAnswer::Yes}, true, false, false, 1},
        {"several, No: the current object", 3, 0, false, {TOSBoxAnswer::No}, true, false, true, 1},
        {"several, a highlight demanded", 3, 0, true, {}, false, false, false, 0},
        {"several, one highlighted", 3, 1, true, {}, true, true, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        Project->Objects->Empty();
        static const char* const names[] = {"o0", "o1", "o2"};
        for (int i = 0; i < c.Objects; ++i) AddObject(names[i])->multiSelected = i < c.Highlighted;
        AddObject("meshless", false);
        Dialogs.Boxes.clear();
        Dialogs.Answers = c.Answers;
        TDialogs::Panel.clear();
        OS.LastMessageText.clear();
        bool multi = true, currentOnly = true;
        EXPECT_EQ(Project->CheckForAllCurrentOrMultiSelectedObjects(multi, currentOnly, Lang.GetText(1239), c.Demand,
                                                                    Lang.GetText(1244)),
                  c.Result);
        EXPECT_EQ(multi, c.Multi);
        EXPECT_EQ(currentOnly, c.CurrentOnly);
        ASSERT_EQ(Dialogs.Boxes.size(), c.Boxes);
        if (c.Boxes) {
            EXPECT_NE(Dialogs.Boxes[0].find("all 3 objects"), std::string::npos) << Dialogs.Boxes[0];
        }
        if (!c.Result) {
            EXPECT_EQ(TDialogs::Panel, std::vector<std::string>{Lang.GetText(1244)});
        }
    }
}

TEST_F(ProjectFixture, ActionTargetCountsAndDescriptions)
{
    AddObject("meshless", false);
    EXPECT_EQ(Project->GetObjectCountForActionAgainstTarget(true), 0);
    EXPECT_EQ(TDialogs::Panel, std::vector<std::string>{Lang.GetText(1180)});

    TDialogs::Panel.clear();
    Project->AffectMode = 1;
    Project->PrintDescriptionForActionAgainstTarget("Bake", false, false, false);
    EXPECT_EQ(TDialogs::Panel, std::vector<std::string>{Lang.GetText(1224)});

    Project->AffectMode = 0;
    AddObject("one");
    AddObject("two");
    TDialogs::Panel.clear();
    Project->PrintDescriptionForActionAgainstTarget("Bake", false, false, false);
    EXPECT_EQ(TDialogs::Panel, std::vector<std::string>{"Bake for 2 objects"});
    EXPECT_EQ(Project->GetObjectCountForActionAgainstTarget(false), 2);
}

// ---------------------------------------------------------------------------
// Current object and viewport
// ---------------------------------------------------------------------------

// Records the tool calls the project makes around a change of object or viewport.
class TRecordingTool : public TKSN_Tool {
public:
    std::vector<std::string> Calls;
    void OnActivate(TKSN_Mesh* mesh) override { Calls.push_back(mesh ? "activate" : "activate none"); }
    void OnDeactivate(TKSN_Mesh* mesh) override { Calls.push_back(mesh ? "deactivate" : "deactivate none"); }
    void OnViewportChanged(TKSN_Viewport*, TKSN_Viewport* to) override
    {
        Calls.push_back(to ? "viewport" : "viewport none");
    }
};

TEST_F(ProjectFixture, DeletingTheCurrentObjectRepairsTheCurrentIDs)
{
    TKSN_Object* keep = AddObject("keep");
    TKSN_Object* doomed = AddObject("doomed");
    Project->SetCurrentObject(doomed);
    Project->SetObjectContainingCurrentSelectionID(doomed->GetID());
    EXPECT_TRUE(doomed->current);
    EXPECT_EQ(Project->GetPolyMesh(), doomed->Mesh.get());

    ASSERT_TRUE(Project->DeleteThingy(Project->Objects, doomed));
    EXPECT_EQ(Project->CurrentObjectID, 0u);
    EXPECT_EQ(Project->ObjectContainingCurrentSelectionID, 0u);
    EXPECT_EQ(Project->GetPolyMesh(), nullptr);
    EXPECT_EQ(Project->GetObjectContainingCurrentSelection(), nullptr);

    // An ID gone stale behind the project's back resolves to nothing and is reset.
    Project->SetCurrentObject(keep);
    Project->Objects->Empty();
    EXPECT_EQ(Project->GetPolyMesh(), nullptr);
    EXPECT_EQ(Project->CurrentObjectID, 0u);
}

TEST_F(ProjectFixture, SetCurrentObjectTellsTheTool)
{
    KSN_TestApp_Create();
    TRecordingTool tool;
    KSN_TestApp_SetCurrentTool(&tool);
    TKSN_Object* a = AddObject("a");
    TKSN_Object* b = AddObject("b");

    Project->SetCurrentObject(a);
    Project->SetCurrentObject(a);
    Project->SetCurrentObject(b);
    EXPECT_EQ(tool.Calls, (std::vector<std::string>{"activate", "deactivate", "activate", "deactivate", "activate"}));
    EXPECT_FALSE(a->current);
    EXPECT_TRUE(b->current);
    EXPECT_EQ(Project->GetCurrentObject(), b);

    tool.Calls.clear();
    ASSERT_TRUE(Project->DeleteThingy(Project->Objects, b));
    EXPECT_EQ(tool.Calls, std::vector<std::string>{"deactivate"}) << "the tool lets go of the mesh before it goes";
    KSN_TestApp_SetCurrentTool(nullptr);
}

TEST_F(ProjectFixture, SetCurrentViewportIndexQueuesTheRefreshAndSwitchesUVSets)
{
    KSN_TestApp_Create();
    TRecordingTool tool;
    KSN_TestApp_SetCurrentTool(&tool);
    TKSN_Object* object = AddObject("a");
    QOREvents_Clean();

    Project->SetCurrentViewportIndex(2);
    EXPECT_EQ(Project->GetCurrentViewportIndex(), 2);
    EXPECT_EQ(Project->GetCurrentViewport(), KSN_TestApp_Viewport(2));
    bool queued299 = false;
    for (int i = 0; i < QOREvents_GetEventCount(); ++i)
        if (QOREvents_PeekEvent(i)->GetCommand() == 299) queued299 = true;
    EXPECT_TRUE(queued299);
    EXPECT_NE(object->Mesh->ViewportUVWs[2], nullptr) << "each viewport shows its own UV set";

    Project->SetCurrentViewportIndex(7);
    EXPECT_EQ(Project->GetCurrentViewportIndex(), 2) << "an index outside 0-3 changes nothing";

    TKSN_Viewport* foreign = KSN_TestApp_NewStrayViewport();
    Project->SetCurrentViewport(foreign);
    KSN_TestApp_DeleteStrayViewport(foreign);
    EXPECT_EQ(Project->GetCurrentViewportIndex(), 0);
    EXPECT_EQ(tool.Calls, (std::vector<std::string>{"viewport", "viewport none", "viewport"}));
    KSN_TestApp_SetCurrentTool(nullptr);
}

TEST_F(ProjectFixture, CurrentMorphUnionMovesTheCurrentFlag)
{
    auto* first = new TKSN_MorphUnion();
    auto* second = new TKSN_MorphUnion();
    Project->MorphUnions->AddItem(first);
    Project->MorphUnions->AddItem(second);

    Project->SetCurrentMorphUnion(first);
    Project->SetCurrentMorphUnion(second);
    EXPECT_FALSE(first->current);
    EXPECT_TRUE(second->current);
    EXPECT_EQ(Project->GetCurrentMorphUnionID(), second->GetID());

    ASSERT_TRUE(Project->DeleteThingy(Project->MorphUnions, second));
    EXPECT_EQ(Project->GetCurrentMorphUnionID(), 0u);
    EXPECT_EQ(Project->GetCurrentMorphUnion(), nullptr);
}

TEST_F(ProjectFixture, VisitorsRestoreWhatTheFileMarkedCurrent)
{
    AddObject("a");
    TKSN_Object* b = AddObject("b");
    b->current = true;
    TKSN_Mesh* mesh = b->Mesh.get();
    TKSN_Morph* m1 = mesh->CreateMorph(mesh->MorphTree);
    TKSN_Morph* m2 = mesh->CreateMorph(mesh->MorphTree);
    m1->current = true;
    m2->current = true;

    TKSN_TreeGroup::Traverse(Project->Objects, 0, TKSN_Project::SetCurrentObject_OnVisit, Project, false);
    TKSN_TreeGroup::Traverse(Project->Objects, 0, TKSN_Project::SetCurrentMorphAndSelection_OnVisit, Project, false);

    EXPECT_EQ(Project->GetCurrentObject(), b);
    EXPECT_EQ(mesh->GetCurrentMorphID(), m2->GetID()) << "the later flagged morph wins";
}

} // namespace
