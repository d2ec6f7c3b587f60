// Morph commands on real meshes: unions named through the rename window,
// renaming refusals, strength limits, and the shape commands (bake, spawn,
// duplicate) with the project's own undo.
#include "KSN_ObjectCommandsTestSupport.h"

#include "GuiGauge.h"
#include "KSN_Application.h"

#include <cstring>

namespace {

class MorphCommands : public ObjectCommands {
protected:
    void SetUp() override
    {
        ObjectCommands::SetUp();
        TKSN_MeshEditHooks hooks;
        hooks.SnapshotForUndo = KSN_SnapshotMeshForUndo;
        KSN_SetMeshEditHooks(hooks);
    }
    void TearDown() override
    {
        KSN_SetMeshEditHooks({});
        ObjectCommands::TearDown();
    }
    static void Delta(TKSN_Morph* m, int vertex, float x, float y, float z)
    {
        float* d = m->GetVertex(vertex);
        d[0] = x;
        d[1] = y;
        d[2] = z;
    }
    static std::vector<float> Base(TKSN_Object* o)
    {
        std::vector<float> v(size_t(3 * M(o)->GetVCount()));
        M(o)->GetBaseVertexArray(v.data(), M(o)->GetVCount());
        return v;
    }
    static std::vector<float> Resolved(TKSN_Object* o)
    {
        std::vector<float> v(size_t(3 * M(o)->GetVCount()));
        M(o)->GetResolvedVertexArray(v.data(), M(o)->GetVCount());
        return v;
    }
    std::string FieldText() { return R().NameField->EditField->GetText() ? R().NameField->EditField->GetText() : ""; }
};

} // namespace

TEST_F(MorphCommands, ANewMorphIsCreatedCurrentAndAloneHighlightedInTheHighlightedUnionsFolder)
{
    TKSN_Object* o = Grid("Head");
    auto* folder = new TKSN_MorphUnionGroup;
    folder->SetName("%s", "Face");
    folder->RegisterForLookup();
    Project->MorphUnions->LinkChild(folder);
    TKSN_MorphUnion* frown = AddUnion("Frown", {AddMorph(o, "Frown")}, folder);
    Project->MorphUnions->SelectItem(frown->GetID(), false, false);

    // Cancel creates nothing.
    ASSERT_TRUE(Cmd(208));
    EXPECT_EQ(FieldText(), "New Morph");
    RenameCancel();
    Pump();
    EXPECT_EQ(Names(folder).size(), 1u);

    ASSERT_TRUE(Cmd(208));
    RenameOk("Smile");
    Pump();
    ASSERT_EQ(Names(folder), (std::vector<std::string>{"Frown", "Smile"}));
    auto* smile = dynamic_cast<TKSN_MorphUnion*>((*folder->items)[1]);
    EXPECT_EQ(Project->GetCurrentMorphUnion(), smile);
    EXPECT_TRUE(smile->multiSelected);
    EXPECT_FALSE(frown->multiSelected);
    EXPECT_TRUE(Shown(1329) || Saw("Created the morph \"Smile\""));

    // The next proposal is fresh once "New Morph" is taken.
    ASSERT_TRUE(Cmd(208));
    RenameOk("New Morph");
    Pump();
    ASSERT_TRUE(Cmd(208));
    EXPECT_NE(FieldText(), "New Morph");
    EXPECT_EQ(FieldText().rfind("New Morph", 0), 0u);
}

TEST_F(MorphCommands, RenamingTheBaseVerticesUnionIsRefused)
{
    TKSN_Object* o = Grid("Head");
    TKSN_MorphUnion* base = AddUnion("(Base Vertices)", {M(o)->BaseVerticesMorph});
    Project->MorphUnions->SelectItem(base->GetID(), false, false);
    EXPECT_FALSE(Cmd(214));
    EXPECT_TRUE(Saw("Cannot rename the item"));
    EXPECT_FALSE(R().Shown);
}

TEST_F(MorphCommands, StrengthLimitsClampAMorphButCarryAUnionAndItsMembers)
{
    TKSN_Object* a = Grid("Head");
    TKSN_Object* b = Grid("Body");
    TKSN_Morph* smile = AddMorph(a, "Smile");
    TKSN_Morph* other = AddMorph(b, "Smile");
    TKSN_MorphUnion* u = AddUnion("Smile", {smile, other});
    auto* field = new TGui_EditField(&W());
    field->RegisterForLookup();
    field->ValueType = 1;
    auto* gauge = new TGui_Gauge(&W());
    gauge->RegisterForLookup();
    auto limit = [&](uint32_t owner, int command, float percent) {
        field->SetFloatValue(percent, nullptr, false);
        TQOREvent e(KestruneEvents_CommandCB, owner, command);
        e.SetDispatcher(field);
        e.idParameters[0] = gauge->GetID();
        return QORProcessEventNow(&e);
    };
    ASSERT_TRUE(limit(smile->GetID(), 221, 150.0f));
    EXPECT_FLOAT_EQ(smile->MinStrength, 1.0f);
    EXPECT_FLOAT_EQ(field->GetFloatValue(), 100.0f);
    EXPECT_FLOAT_EQ(gauge->Minimum, 100.0f);

    smile->MinStrength = 0.0f;
    ASSERT_TRUE(limit(u->GetID(), 221, 150.0f));
    for (TKSN_Morph* m : {smile, other}) {
        EXPECT_FLOAT_EQ(m->MinStrength, 1.5f);
        EXPECT_FLOAT_EQ(m->MaxStrength, 1.5f);
    }
    EXPECT_FLOAT_EQ(u->MinStrength, 1.5f);
    EXPECT_FLOAT_EQ(u->MaxStrength, 1.5f);
    EXPECT_FLOAT_EQ(field->GetFloatValue(), 150.0f);
}

TEST_F(MorphCommands, BakingTwoUnionsOfOneObjectMakesOneModelUndoNodeAndUndoRestoresTheBase)
{
    TKSN_Object* o = Grid("Head");
    TKSN_Morph* lift = AddMorph(o, "Lift", 0.5f);
    TKSN_Morph* push = AddMorph(o, "Push", 1.0f);
    Delta(lift, 4, 0.0f, 0.0f, 1.0f);
    Delta(push, 0, 1.0f, 0.0f, 0.0f);
    TKSN_MorphUnion* ul = AddUnion("Lift", {lift});
    TKSN_MorphUnion* up = AddUnion("Push", {push});
    Project->MorphUnions->SelectItem(ul->GetID(), false, false);
    Project->MorphUnions->SelectItem(up->GetID(), false, true);
    const std::vector<float> before = Base(o);
    ++App->frameCounter;

    Answer({TOSBoxAnswer::Yes, TOSBoxAnswer::No});   // proceed; keep the deltas
    ASSERT_TRUE(Cmd(219));
    const std::vector<float> after = Base(o);
    EXPECT_FLOAT_EQ(after[3 * 4 + 2], before[3 * 4 + 2] + 0.5f);
    EXPECT_FLOAT_EQ(after[0], before[0] + 1.0f);
    EXPECT_EQ(UndoNodes(KSN_UNDO_MODEL), 1);
    EXPECT_FLOAT_EQ(lift->Strength, 0.0f);
    EXPECT_FLOAT_EQ(push->Strength, 0.0f);
    EXPECT_FLOAT_EQ(ul->Strength, 0.0f);
    EXPECT_FLOAT_EQ(lift->GetVertex(4)[2], 1.0f);

    Project->Undo();
    const std::vector<float> undone = Base(o);
    EXPECT_EQ(std::memcmp(undone.data(), before.data(), before.size() * sizeof(float)), 0);
}

TEST_F(MorphCommands, BakingThreeHighlightedMorphsMakesThreeNodesAndYesClearsTheDeltas)
{
    TKSN_Object* o = Grid("Head");
    Project->SetObjectContainingCurrentSelectionID(o->GetID());
    std::vector<TKSN_Morph*> morphs;
    for (const char* name : {"A", "B", "C"}) {
        TKSN_Morph* m = AddMorph(o, name, 1.0f);
        Delta(m, 8, 0.0f, 0.0f, 0.25f);
        M(o)->MorphTree->SelectItem(m->GetID(), false, !morphs.empty());
        morphs.push_back(m);
    }
    const float z = Base(o)[3 * 8 + 2];
    Answer({TOSBoxAnswer::Yes, TOSBoxAnswer::Yes});   // proceed; clear the morphs
    ASSERT_TRUE(Cmd(219));
    EXPECT_EQ(UndoNodes(KSN_UNDO_MODEL), 3);
    EXPECT_FLOAT_EQ(Base(o)[3 * 8 + 2], z + 0.75f);
    for (TKSN_Morph* m : morphs) {
        EXPECT_FLOAT_EQ(m->GetVertex(8)[2], 0.0f);
        EXPECT_FLOAT_EQ(m->Strength, 1.0f);
    }
}

TEST_F(MorphCommands, WithoutMixMorphsAndWithoutACurrentMorphBakeRefusesBeforeAnyQuestion)
{
    TKSN_Object* o = Grid("Head");
    Project->SetObjectContainingCurrentSelectionID(o->GetID());
    TKSN_Morph* m = AddMorph(o, "A");
    M(o)->MorphTree->SelectItem(m->GetID(), false, false);
    M(o)->SetCurrentMorph(nullptr);
    M(o)->ResolveAllMorphs = false;
    EXPECT_FALSE(Cmd(219));
    EXPECT_TRUE(Shown(1019));
    for (const auto& box : Provider.Boxes) EXPECT_NE(box.Kind, TOSBoxKind::YesNo) << box.Text;

    // With Mix Morphs on the highlighted morphs bake without a current morph.
    M(o)->ResolveAllMorphs = true;
    Delta(m, 0, 0.0f, 1.0f, 0.0f);
    Answer({TOSBoxAnswer::Yes, TOSBoxAnswer::No});
    EXPECT_TRUE(Cmd(219));
    EXPECT_FLOAT_EQ(Base(o)[1], 1.0f);
}

TEST_F(MorphCommands, SpawnCapturesTheCurrentShapeAtStrengthZero)
{
    TKSN_Object* o = Grid("Head");
    Project->SetCurrentObject(o);
    TKSN_Morph* smile = AddMorph(o, "Smile", 1.0f);
    Delta(smile, 4, 0.1f, 0.2f, 0.3f);
    M(o)->ResolveMorphs(false);
    const std::vector<float> shape = Resolved(o);

    ASSERT_TRUE(Cmd(218));
    auto* spawned = dynamic_cast<TKSN_MorphUnion*>(Project->MorphUnions->items->Last());
    ASSERT_NE(spawned, nullptr);
    EXPECT_STREQ(spawned->GetName(), "Spawned Morph");
    ASSERT_EQ(spawned->ItemIDs.Count(), 1);
    auto* morph = dynamic_cast<TKSN_Morph*>(__GetThingyFromID(spawned->ItemIDs[0]));
    ASSERT_NE(morph, nullptr);
    EXPECT_FLOAT_EQ(morph->Strength, 0.0f);
    M(o)->ResolveMorphs(false);
    EXPECT_EQ(Resolved(o), shape);

    smile->Strength = 0.0f;
    morph->Strength = 1.0f;
    M(o)->ResolveMorphs(false);
    const std::vector<float> again = Resolved(o);
    for (size_t i = 0; i < shape.size(); ++i) EXPECT_NEAR(again[i], shape[i], 1e-6f) << i;
}

TEST_F(MorphCommands, SpawnWithSeveralObjectsAndNoneHighlightedOnlyOpensTheObjectTree)
{
    Grid("Head");
    Grid("Body");
    Project->Objects->collapsed = true;
    const int unions = Project->MorphUnions->items ? Project->MorphUnions->items->Count() : 0;
    EXPECT_FALSE(Cmd(218));
    EXPECT_TRUE(Shown(1244));
    EXPECT_FALSE(Project->Objects->collapsed);
    EXPECT_EQ(Project->MorphUnions->items ? Project->MorphUnions->items->Count() : 0, unions);
    EXPECT_EQ(CountQueued(10), 1);
}

TEST_F(MorphCommands, DuplicatesSitAfterTheirSourceAndTheBaseVerticesAreRefused)
{
    TKSN_Object* o = Grid("Head");
    Project->SetObjectContainingCurrentSelectionID(o->GetID());
    TKSN_Morph* smile = AddMorph(o, "Smile", 0.7f);
    TKSN_Morph* frown = AddMorph(o, "Frown");
    Delta(smile, 2, 0.0f, 0.0f, 0.5f);
    TKSN_TopTreeGroup* tree = M(o)->MorphTree;
    tree->SelectItem(M(o)->BaseVerticesMorph->GetID(), false, false);
    tree->SelectItem(smile->GetID(), false, true);
    ASSERT_TRUE(Cmd(217));
    EXPECT_TRUE(Saw("Cannot duplicate the item"));
    const int at = tree->items->Find(smile);
    ASSERT_GE(at, 0);
    auto* copy = dynamic_cast<TKSN_Morph*>((*tree->items)[at + 1]);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetName(), "Smile Copy");
    EXPECT_FLOAT_EQ(copy->Strength, 0.0f);
    EXPECT_FLOAT_EQ(copy->GetVertex(2)[2], 0.5f);
    EXPECT_TRUE(copy->multiSelected);
    EXPECT_FALSE(smile->multiSelected);
    EXPECT_EQ((*tree->items)[at + 2], static_cast<TKSN_Thingy*>(frown));
}

TEST_F(MorphCommands, AFolderMadeWithAUnionHighlightedGoesToTheTopAndCancelMakesNone)
{
    TKSN_Object* o = Grid("Head");
    auto* face = new TKSN_MorphUnionGroup;
    face->SetName("%s", "Face");
    face->RegisterForLookup();
    Project->MorphUnions->LinkChild(face);
    TKSN_MorphUnion* smile = AddUnion("Smile", {AddMorph(o, "Smile")}, face);
    Project->MorphUnions->SelectItem(smile->GetID(), false, false);
    auto folders = [&](TKSN_TreeGroup* g) {
        int n = 0;
        for (TKSN_TreeGroup* c = g->GetChild(); c; c = c->GetNext()) ++n;
        return n;
    };
    ASSERT_TRUE(Cmd(209));
    RenameCancel();
    Pump();
    EXPECT_EQ(folders(Project->MorphUnions), 1);
    ASSERT_TRUE(Cmd(209));
    RenameOk("Eyes");
    Pump();
    EXPECT_EQ(folders(Project->MorphUnions), 2);
    EXPECT_EQ(folders(face), 0);
}

TEST_F(MorphCommands, DuplicatingAUnionCopiesEveryMemberToTheTopLevel)
{
    TKSN_Object* a = Grid("Head");
    TKSN_Object* b = Grid("Body");
    TKSN_Morph* ma = AddMorph(a, "Smile");
    TKSN_Morph* mb = AddMorph(b, "Smile");
    Delta(mb, 1, 0.0f, 0.4f, 0.0f);
    auto* face = new TKSN_MorphUnionGroup;
    face->RegisterForLookup();
    Project->MorphUnions->LinkChild(face);
    TKSN_MorphUnion* smile = AddUnion("Smile", {ma, mb}, face);
    Project->MorphUnions->SelectItem(smile->GetID(), false, false);
    ASSERT_TRUE(Cmd(217));
    auto* copy = dynamic_cast<TKSN_MorphUnion*>(Project->MorphUnions->items->Last());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetName(), "Smile Copy");
    EXPECT_FLOAT_EQ(copy->Strength, 0.0f);
    EXPECT_TRUE(copy->multiSelected);
    EXPECT_FALSE(smile->multiSelected);
    ASSERT_EQ(copy->ItemIDs.Count(), 2);
    auto* copied = dynamic_cast<TKSN_Morph*>(__GetThingyFromID(copy->ItemIDs[1]));
    ASSERT_NE(copied, nullptr);
    EXPECT_STREQ(copied->GetName(), "Smile Copy");
    EXPECT_FLOAT_EQ(copied->GetVertex(1)[1], 0.4f);
    EXPECT_EQ(M(b)->MorphTree->items->Find(copied), M(b)->MorphTree->items->Count() - 1);
}
