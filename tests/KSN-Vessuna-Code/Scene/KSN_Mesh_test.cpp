#include "KSN_Mesh.h"
#include "KSN_SubDMesh.h"

#include "OS.h"
#include "QOREvents.h"
#include "QORVirtualMemory.h"
#include "KsnTestSupport.h"
#include "KsnTestWx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The toolkit's base answers the temporary folder of the virtual-memory store.
[[maybe_unused]] const auto* const RegisteredMeshWx = KsnRegisterWxBase();

int32_t TestTab = 3;
int32_t TestFrame = 0;
std::vector<std::string> Printed;

int32_t TestGetTab() { return TestTab; }
int32_t TestGetFrame() { return TestFrame; }
const char* TestObjectName(TKSN_Object*) { return "Head"; }

// One quad 0-1-2-3 in the z = 0 plane, plus any further vertices asked for.
class MeshTest : public ::testing::Test {
protected:
    TTempStoreFolder Store;
    std::unique_ptr<TKSN_Mesh> Mesh;

    void SetUp() override
    {
        TestTab = 3;
        TestFrame = 0;
        Printed.clear();
        TKSN_MeshApplicationHooks hooks;
        hooks.GetToolTypeTab = TestGetTab;
        hooks.GetCurrentAnimationFrame = TestGetFrame;
        hooks.GetObjectName = TestObjectName;
        KSN_SetMeshApplicationHooks(hooks);
        OS.AssignOnPrintMessage([](char* text) { Printed.push_back(text); });
        OS.AssignOnDebugMessage([](char*) {});
        QOREvents_AssignOnPushEvent([](TQOREvent*) { return true; });

        ASSERT_TRUE(Store.Open("ksn_mesh_"));

        Mesh = MakeQuad();
    }

    void TearDown() override
    {
        Mesh.reset();
        Store.Close();
        QOREvents_Clean();
        QOREvents_AssignOnPushEvent(nullptr);
        OS.AssignOnPrintMessage(nullptr);
        OS.AssignOnDebugMessage(nullptr);
        KSN_SetMeshApplicationHooks({});
    }

    static std::unique_ptr<TKSN_Mesh> MakeQuad()
    {
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        mesh->Create(4, 0, 4, 1);
        const float base[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
        EXPECT_TRUE(mesh->SetBaseVertexArray(base, 4));
        mesh->Polygons[0].SetCount(4);
        for (int k = 0; k < 4; ++k)
            mesh->Polygons[0].Points[k].V = k;
        mesh->CalculateBounds();
        return mesh;
    }

    // A morph in the root group with one delta per vertex: vertex i moves by (d·(i+1), 0, 0).
    TKSN_Morph* AddMorph(const char* name, float strength, float d)
    {
        TKSN_Morph* morph = Mesh->CreateMorph(Mesh->MorphTree);
        morph->SetName("%s", name);
        morph->Strength = strength;
        for (int i = 0; i < morph->GetVCount(); ++i)
            morph->GetVertex(i)[0] = d * float(i + 1);
        return morph;
    }

    TKSN_Selection* AddSelection(const std::vector<float>& weights, eSelectionType type)
    {
        auto* selection = new TKSN_Selection(int(weights.size()), Mesh->GetID());
        selection->SetSelectionType(type);
        for (size_t i = 0; i < weights.size(); ++i)
            selection->SetVSelect(int(i), weights[i]);
        Mesh->SelectionTree->AddItem(selection);
        return selection;
    }

    float ResolvedX(int vertex) const { return Mesh->resolvedVertices[3 * vertex]; }

    std::vector<std::string> MorphNames()
    {
        std::unique_ptr<TQORNewStaticList<TKSN_Morph*>> list(Mesh->GetMorphList());
        std::vector<std::string> names;
        for (int i = 0; i < list->Count(); ++i)
            names.push_back((*list)[i]->GetName());
        return names;
    }
};

// A vertex script that makes vertex `to` a copy of vertex `from`.
void AddCopy(TKSN_VertexAdjustmentScript* script, int to, int from)
{
    script->AddOpCode(1, 2);
    script->Stream.push_back(to);
    script->Stream.push_back(from);
}

// Mirrors vertex v onto itself: applied twice, it undoes itself, so a double
// replay shows.
void AddMirrorInPlace(TKSN_VertexAdjustmentScript* script, int v)
{
    script->AddOpCode(4, 2);
    script->Stream.push_back(v);
    script->Stream.push_back(v);
}

void EndScript(TKSN_VertexAdjustmentScript* script) { script->AddOpCode(8, 0); }

} // namespace

// [SECTION] Construction and trees

TEST_F(MeshTest, CreateBuildsBothTreesWithTheSpecialItems)
{
    EXPECT_EQ(MorphNames(), (std::vector<std::string>{"(Base Vertices)", "Default Morph", "Temp Morph"}));
    EXPECT_STREQ(Mesh->GetCurrentMorph()->GetName(), "Default Morph");
    EXPECT_TRUE(Mesh->GetCurrentMorph()->current);
    EXPECT_STREQ(Mesh->TempMorph->GetGroupPath(), "Morph Targets:Hidden Morphs:");
    EXPECT_FALSE(Mesh->BaseVerticesMorph->saveable);
    EXPECT_FALSE(Mesh->BaseVerticesMorph->deletable);
    EXPECT_FALSE(Mesh->TempMorph->saveable);
    EXPECT_TRUE(Mesh->TempMorph->deletable);
    EXPECT_EQ(Mesh->chunkType, 78);

    TKSN_TreeGroup* hidden = Mesh->SelectionTree->GetNext();
    ASSERT_NE(hidden, nullptr);
    EXPECT_STREQ(hidden->GetName(), "Hidden Selections");
    EXPECT_TRUE(hidden->hidden);

    // A second Create (a damaged block with two polygon counts) starts the trees afresh.
    Mesh->Create(4, 0, 4, 1);
    EXPECT_EQ(MorphNames(), (std::vector<std::string>{"(Base Vertices)", "Default Morph", "Temp Morph"}));
}

TEST_F(MeshTest, ListsCarryTheirGroupPaths)
{
    auto* outer = new TKSN_SelectionTreeGroup();
    outer->SetName("Outer");
    auto* inner = new TKSN_SelectionTreeGroup();
    inner->SetName("Inner");
    Mesh->SelectionTree->LinkChild(outer);
    outer->LinkChild(inner);
    auto* top = AddSelection({0, 0, 0, 0}, eSelectionType_Vertex);
    auto* nested = new TKSN_Selection(4, Mesh->GetID());
    inner->AddItem(nested);
    auto* hiddenOne = new TKSN_Selection(4, Mesh->GetID());
    Mesh->SelectionTree->GetNext()->AddItem(hiddenOne);

    std::unique_ptr<TQORNewStaticList<TKSN_Selection*>> list(Mesh->GetSelectionList());
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ((*list)[0], top);
    EXPECT_EQ((*list)[1], nested);
    EXPECT_EQ((*list)[2], hiddenOne);
    EXPECT_STREQ(top->GetGroupPath(), "Selections:");
    EXPECT_STREQ(nested->GetGroupPath(), "Selections:Outer:Inner:");
    EXPECT_STREQ(hiddenOne->GetGroupPath(), "Hidden Selections:");
}

TEST_F(MeshTest, PopHiddenGroupsMovesHiddenChildrenBehindVisibleOnes)
{
    struct Case {
        std::vector<std::string> children;   // names starting with H are hidden
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"V1", "H1", "V2", "H2"}, {"V1", "V2", "H1", "H2"}},
        {{"V1", "V2", "H1"}, {"V1", "V2", "H1"}},
        {{"H1", "H2", "V1"}, {"V1", "H1", "H2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.children.size());
        TKSN_TreeGroup root;
        for (const std::string& name : c.children) {
            auto* child = new TKSN_TreeGroup();
            child->SetName("%s", name.c_str());
            child->hidden = name[0] == 'H';
            root.LinkChild(child);
        }
        Mesh->PopHiddenGroupsToTheEnd(&root);
        std::vector<std::string> order;
        for (TKSN_TreeGroup* child = root.GetChild(); child; child = child->GetNext())
            order.push_back(child->GetName());
        EXPECT_EQ(order, c.expected);
    }
}

// [SECTION] Current items and the use bracket

TEST_F(MeshTest, CurrentMorphFollowsItsSetterAndForgetsDeletedMorphs)
{
    TKSN_Morph* first = Mesh->GetCurrentMorph();
    TKSN_Morph* other = AddMorph("Other", 0.0f, 1.0f);

    Mesh->SetCurrentMorph(first);   // already current: nothing changes
    EXPECT_TRUE(first->current);

    Mesh->SetCurrentMorph(other);
    EXPECT_EQ(Mesh->GetCurrentMorph(), other);
    EXPECT_TRUE(other->current);
    EXPECT_FALSE(first->current);
    EXPECT_FALSE(other->IsPagedOut());

    // None current: every morph without its current mark goes to the store.
    Mesh->SetCurrentMorph(nullptr);
    EXPECT_EQ(Mesh->GetCurrentMorph(), nullptr);
    EXPECT_EQ(Mesh->CurrentMorphID, 0u);
    EXPECT_FALSE(other->current);
    EXPECT_TRUE(other->IsPagedOut());
    EXPECT_FALSE(Mesh->TempMorph->IsPagedOut());   // special morphs stay

    Mesh->SetCurrentMorph(other);
    Mesh->MorphTree->items->Remove(other);
    delete other;
    EXPECT_EQ(Mesh->GetCurrentMorph(), nullptr);
    EXPECT_EQ(Mesh->CurrentMorphID, 0u);
}

TEST_F(MeshTest, ModellingTabMakesTheBaseVerticesCurrent)
{
    AddMorph("Smile", 1.0f, 1.0f);
    TestTab = KSN_TOOL_TAB_MODELLING;
    EXPECT_EQ(Mesh->GetCurrentMorph(), Mesh->BaseVerticesMorph);
    EXPECT_EQ(Mesh->GetCurrentMorphID(), Mesh->BaseVerticesMorph->GetID());
    EXPECT_EQ(Mesh->GetCurrentDeltas(), Mesh->BaseVerticesMorph->GetPointerToExpandedArray());

    // Nothing but the base positions is resolved on that tab.
    Mesh->ResolveMorphs(false);
    for (int v = 0; v < 4; ++v)
        EXPECT_EQ(ResolvedX(v), Mesh->baseVertices[3 * v]);
}

TEST_F(MeshTest, CurrentSelectionIsUniqueAndForgetsDeletedSelections)
{
    TKSN_Selection* a = AddSelection({1, 0, 0, 0}, eSelectionType_Vertex);
    TKSN_Selection* b = AddSelection({0, 1, 0, 0}, eSelectionType_Vertex);
    Mesh->SelectedListsValid = true;

    Mesh->SetCurrentSelection(a, false);
    EXPECT_EQ(Mesh->GetCurrentSelectionZ(), a);
    EXPECT_FALSE(Mesh->SelectedListsValid);
    Mesh->SetCurrentSelection(b, false);
    EXPECT_TRUE(b->current);
    EXPECT_FALSE(a->current);
    // Setting the current selection lets every selection go to the store.
    EXPECT_TRUE(a->IsPagedOut());
    EXPECT_TRUE(b->IsPagedOut());

    Mesh->SelectionTree->items->Remove(b);
    delete b;
    EXPECT_EQ(Mesh->GetCurrentSelectionZ(), nullptr);
    EXPECT_EQ(Mesh->CurrentSelectionID, 0u);
}

TEST_F(MeshTest, UseBracketPagesDataInAndOut)
{
    TKSN_Selection* selection = AddSelection({0.25f, 0.5f, 0, 1}, eSelectionType_Vertex);
    Mesh->EndUsingSelection(selection);
    EXPECT_TRUE(selection->IsPagedOut());
    Mesh->BeginUsingSelection(selection);
    EXPECT_FALSE(selection->IsPagedOut());
    EXPECT_FLOAT_EQ(selection->GetVSelect(1), 0.5f);
    Mesh->EndUsingSelection(selection);   // released, current or not
    EXPECT_TRUE(selection->IsPagedOut());

    TKSN_Morph* idle = AddMorph("Idle", 0.0f, 1.0f);
    TKSN_Morph* current = Mesh->GetCurrentMorph();
    Mesh->BeginUsingMorph(idle);
    EXPECT_FALSE(idle->IsPagedOut());
    Mesh->EndUsingMorph(idle);
    EXPECT_TRUE(idle->IsPagedOut());
    Mesh->BeginUsingMorph(current);
    Mesh->EndUsingMorph(current);   // the current morph stays resident
    EXPECT_FALSE(current->IsPagedOut());
}

// [SECTION] Morph resolution

TEST_F(MeshTest, ResolveAddsEveryActiveMorphTimesItsStrength)
{
    AddMorph("d1", 1.0f, 0.5f);
    AddMorph("d2", 0.5f, 2.0f);
    // A morph moving a vertex far outside the box leaves the resolved box alone.
    Mesh->ResolveMorphs(false);
    for (int v = 0; v < 4; ++v) {
        SCOPED_TRACE(v);
        const float expected = Mesh->baseVertices[3 * v] + 0.5f * float(v + 1) + 0.5f * 2.0f * float(v + 1);
        EXPECT_FLOAT_EQ(ResolvedX(v), expected);
        EXPECT_FLOAT_EQ(Mesh->resolvedVertices[3 * v + 1], Mesh->baseVertices[3 * v + 1]);
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(Mesh->resolvedBoundsMin[k], Mesh->boundsMin[k]);
        EXPECT_EQ(Mesh->resolvedBoundsMax[k], Mesh->boundsMax[k]);
    }

    // With the transform, every resolved vertex is carried through the total matrix.
    std::vector<float> untransformed(Mesh->resolvedVertices, Mesh->resolvedVertices + 12);
    Mesh->Transform_Pos[0] = 3.0f;
    Mesh->Transform_Scale[1] = 2.0f;
    Mesh->ResolveMorphs(true);
    const float* m = Mesh->TotalMatrix;
    for (int v = 0; v < 4; ++v) {
        const float* p = &untransformed[3 * v];
        EXPECT_FLOAT_EQ(Mesh->resolvedVertices[3 * v], m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12]);
        EXPECT_FLOAT_EQ(Mesh->resolvedVertices[3 * v + 1], m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13]);
    }
}

TEST_F(MeshTest, NearZeroStrengthsAreSkippedBeforeTheyArePagedIn)
{
    // Every morph has a pending script: being brought into use replays it and
    // stamps the morph, so the stamp tells whether the bracket ran.
    struct Case {
        float strength;
        bool current;
        bool broughtIn;
        float movedBy;   // vertex 0's x after resolution
    };
    const Case cases[] = {
        {0.0f, false, false, 0.0f},
        {0.5e-30f, false, false, 0.0f},
        {1e-30f, false, true, 0.0f},
        {1.5e-30f, false, true, 1.5f},
        {-1.5e-30f, false, true, -1.5f},
        {0.0f, true, true, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strength);
        Mesh = MakeQuad();
        TKSN_Morph* morph = AddMorph("m", c.strength, 1e30f);
        if (c.current)
            Mesh->SetCurrentMorph(morph);
        TKSN_VertexAdjustmentScript* script = Mesh->CreateVertexScript("noop");
        EndScript(script);
        Mesh->AddVertexAdjustmentScript(script);
        morph->NotInUse("test");
        ASSERT_TRUE(morph->IsPagedOut());

        Mesh->ResolveMorphs(false);
        EXPECT_EQ(morph->GetScriptStamp() == Mesh->VertexScriptCount, c.broughtIn);
        if (!c.broughtIn) {
            EXPECT_TRUE(morph->IsPagedOut());
        }
        EXPECT_FLOAT_EQ(ResolvedX(0), c.movedBy);
    }
}

TEST_F(MeshTest, KeyFramesBlendAroundTheApplicationFrame)
{
    // The head at time 0 moves vertex 0 by 1, the frame at 10 by 10, the one at 20 by 20.
    TKSN_Morph* head = AddMorph("Walk", 1.0f, 0.0f);
    head->GetVertex(0)[0] = 1.0f;
    TKSN_Morph* f10 = head->GetCurrentFrameForDeforming(10, true);
    TKSN_Morph* f20 = head->GetCurrentFrameForDeforming(20, true);
    ASSERT_TRUE(f10 && f20);
    f10->GetVertex(0)[0] = 10.0f;
    f20->GetVertex(0)[0] = 20.0f;

    struct Case {
        int frame;
        float strength;
        float expected;
    };
    const Case cases[] = {
        {0, 1.0f, 1.0f},          // the morph itself
        {-3, 1.0f, 1.0f},
        {5, 1.0f, 5.5f},          // half the head, half the frame at 10
        {10, 1.0f, 10.0f},
        {12, 1.0f, 12.0f},        // 0.8 × 10 + 0.2 × 20
        {15, 0.5f, 7.5f},         // (0.5 × 10 + 0.5 × 20) × 0.5
        {20, 1.0f, 20.0f},
        {25, 1.0f, 20.0f},        // past the end: the last frame whole
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        TestFrame = c.frame;
        head->Strength = c.strength;
        Mesh->ResolveMorphs(false);
        EXPECT_NEAR(ResolvedX(0), c.expected, 1e-5f);
    }
}

TEST_F(MeshTest, ShorterMorphIsEnlargedBeforeItIsApplied)
{
    TKSN_Morph* morph = AddMorph("Short", 1.0f, 1.0f);
    morph->SetVCount(2);
    Mesh->ResolveMorphs(false);
    EXPECT_EQ(morph->GetVCount(), 4);
    EXPECT_FLOAT_EQ(ResolvedX(1), 1.0f + 2.0f);
    EXPECT_FLOAT_EQ(ResolvedX(2), 1.0f);   // new vertices carry zero deltas
}

// [SECTION] Adjustment scripts

TEST_F(MeshTest, TopologyEditReplaysLazilyAndOnlyOnce)
{
    TKSN_Morph* morph = AddMorph("Smile", 1.0f, 1.0f);
    TKSN_Selection* vertexSel = AddSelection({0, 0, 0, 0.75f}, eSelectionType_Vertex);
    TKSN_Selection* polygonSel = AddSelection({0.5f}, eSelectionType_Polygon);
    morph->NotInUse("test");
    Mesh->EndUsingSelection(vertexSel);
    Mesh->EndUsingSelection(polygonSel);

    // The edit: vertex 4 is added as a copy of vertex 3, polygon 1 as a copy of polygon 0.
    TKSN_VertexAdjustmentScript* vs = Mesh->CreateVertexScript("Add vertex");
    EXPECT_EQ(vs->CountBefore, 4);
    Mesh->SetVertexCount(5);
    AddCopy(vs, 4, 3);
    EndScript(vs);
    Mesh->AddVertexAdjustmentScript(vs);
    TKSN_VertexAdjustmentScript* ps = Mesh->CreatePolygonScript("Add polygon");
    Mesh->SetPolygonCount(2);
    Mesh->Polygons[1].Init();
    AddCopy(ps, 1, 0);
    EndScript(ps);
    Mesh->AddPolygonAdjustmentScript(ps);
    EXPECT_EQ(vs->ScriptNumber, 1u);
    EXPECT_EQ(vs->CountAfter, 5);
    EXPECT_EQ(ps->CountAfter, 2);

    // Nothing is touched until the next use.
    EXPECT_TRUE(morph->IsPagedOut());
    EXPECT_EQ(morph->GetVCount(), 4);
    EXPECT_EQ(vertexSel->GetVCount(), 4);

    Mesh->BeginUsingMorph(morph);
    EXPECT_EQ(morph->GetVCount(), 5);
    EXPECT_FLOAT_EQ(morph->GetVertex(4)[0], 4.0f);
    morph->GetVertex(3)[0] = -1.0f;
    Mesh->EndUsingMorph(morph);
    Mesh->BeginUsingMorph(morph);   // a second use replays nothing
    EXPECT_FLOAT_EQ(morph->GetVertex(4)[0], 4.0f);
    Mesh->EndUsingMorph(morph);

    for (TKSN_Selection* selection : {vertexSel, polygonSel}) {
        Mesh->BeginUsingSelection(selection);
        const int last = selection->GetVCount() - 1;
        EXPECT_EQ(selection->GetVCount(), selection == vertexSel ? 5 : 2);
        EXPECT_FLOAT_EQ(selection->GetVSelect(last), selection == vertexSel ? 0.75f : 0.5f);
        selection->SetVSelect(last - 1, 0.125f);
        Mesh->EndUsingSelection(selection);
        Mesh->BeginUsingSelection(selection);
        EXPECT_FLOAT_EQ(selection->GetVSelect(last), selection == vertexSel ? 0.75f : 0.5f);
        Mesh->EndUsingSelection(selection);
    }
}

TEST_F(MeshTest, KeyFramesReplayEachScriptOnce)
{
    TKSN_Morph* head = AddMorph("Walk", 1.0f, 1.0f);
    TKSN_Morph* frame = head->GetCurrentFrameForDeforming(10, true);
    ASSERT_NE(frame, nullptr);

    auto attachMirror = [&]() {
        TKSN_VertexAdjustmentScript* script = Mesh->CreateVertexScript("Mirror");
        AddMirrorInPlace(script, 0);
        EndScript(script);
        Mesh->AddVertexAdjustmentScript(script);
    };
    attachMirror();
    Mesh->BeginUsingMorph(head);
    Mesh->EndUsingMorph(head);
    EXPECT_FLOAT_EQ(head->GetVertex(0)[0], -1.0f);
    EXPECT_FLOAT_EQ(frame->GetVertex(0)[0], -1.0f);

    // A second script before any flush: each frame gets only the new one.
    attachMirror();
    Mesh->BeginUsingMorph(head);
    Mesh->EndUsingMorph(head);
    EXPECT_FLOAT_EQ(head->GetVertex(0)[0], 1.0f);
    EXPECT_FLOAT_EQ(frame->GetVertex(0)[0], 1.0f);
}

TEST_F(MeshTest, NothingIsReplayedDuringAnEditUntilTheAdjustmentsAreFinished)
{
    TKSN_Morph* morph = AddMorph("Smile", 1.0f, 1.0f);
    Mesh->EditingGeometry = true;
    TKSN_VertexAdjustmentScript* script = Mesh->CreateVertexScript("Copy");
    AddCopy(script, 0, 3);
    EndScript(script);
    Mesh->AddVertexAdjustmentScript(script);
    Mesh->BeginUsingMorph(morph);
    EXPECT_FLOAT_EQ(morph->GetVertex(0)[0], 1.0f);
    Mesh->EndUsingMorph(morph);

    Mesh->FinishAllScriptedAdjustments();
    EXPECT_FLOAT_EQ(morph->GetVertex(0)[0], 4.0f);
    EXPECT_EQ(morph->GetScriptStamp(), 1u);
    EXPECT_TRUE(Mesh->VertexScripts->IsEmpty());
    Mesh->EditingGeometry = false;
}

TEST_F(MeshTest, ScriptNumbersContinueAcrossFlushes)
{
    for (int i = 0; i < 3; ++i) {
        TKSN_VertexAdjustmentScript* script = Mesh->CreateVertexScript("s");
        EndScript(script);
        Mesh->AddVertexAdjustmentScript(script);
        EXPECT_EQ(script->ScriptNumber, uint32_t(i + 1));
    }
    // A morph born now owes nothing to the scripts before it.
    TKSN_Morph* late = AddMorph("Late", 1.0f, 1.0f);
    EXPECT_EQ(late->GetScriptStamp(), 3u);
    EXPECT_EQ(Mesh->GetUnadjustedMorphCount(), 1);   // "Default Morph" is still behind

    Mesh->FinishAllScriptedAdjustments();
    EXPECT_TRUE(Mesh->VertexScripts->IsEmpty());
    TKSN_VertexAdjustmentScript* next = Mesh->CreateVertexScript("s");
    EndScript(next);
    Mesh->AddVertexAdjustmentScript(next);
    EXPECT_EQ(next->ScriptNumber, 4u);

    const std::string longName(300, 'n');
    std::unique_ptr<TKSN_VertexAdjustmentScript> named(Mesh->CreateVertexScript(longName.c_str()));
    EXPECT_EQ(named->Name, std::string(255, 'n'));
    std::unique_ptr<TKSN_VertexAdjustmentScript> exact(Mesh->CreateVertexScript(longName.substr(0, 255).c_str()));
    EXPECT_EQ(exact->Name.size(), 255u);
}

TEST_F(MeshTest, IdleCleaningWaitsForEveryMorphAndSelection)
{
    TKSN_Morph* paged = AddMorph("Paged", 0.0f, 1.0f);
    TKSN_Selection* polygons = AddSelection({0.5f}, eSelectionType_Polygon);
    Mesh->BeginUsingMorph(Mesh->GetCurrentMorph());   // the default morph is up to date (no scripts yet)
    Mesh->EndUsingMorph(Mesh->GetCurrentMorph());

    TKSN_VertexAdjustmentScript* script = Mesh->CreateVertexScript("s");
    EndScript(script);
    Mesh->AddVertexAdjustmentScript(script);
    Mesh->BeginUsingMorph(Mesh->GetCurrentMorph());
    Mesh->EndUsingMorph(Mesh->GetCurrentMorph());

    EXPECT_EQ(Mesh->GetUnadjustedMorphCount(), 1);   // "Paged" has not replayed it
    Mesh->CleanVertexScriptsIfNecessary();
    EXPECT_EQ(Mesh->VertexScripts->Count(), 1);

    Mesh->BeginUsingMorph(paged);
    Mesh->EndUsingMorph(paged);
    // A polygon selection behind the vertex counter blocks as well.
    EXPECT_EQ(Mesh->GetUnadjustedMorphCount(), 0);
    EXPECT_EQ(Mesh->GetUnadjustedSelectionCount(), 1);
    Mesh->CleanVertexScriptsIfNecessary();
    EXPECT_EQ(Mesh->VertexScripts->Count(), 1);

    Mesh->FinishAllScriptedAdjustments();
    EXPECT_EQ(Mesh->GetUnadjustedSelectionCount(), 0);
    EXPECT_EQ(polygons->GetScriptStamp(), 0u);   // polygon numbering: no polygon script yet
}

TEST_F(MeshTest, IdleCleaningDropsTheScriptsOnceEverythingHasCaughtUp)
{
    TKSN_Morph* paged = AddMorph("Paged", 0.0f, 1.0f);
    TKSN_Selection* vertices = AddSelection({0.5f, 0, 0, 0}, eSelectionType_Vertex);
    EXPECT_FALSE(Mesh->CleanVertexScriptsIfNecessary());   // no script to drop

    for (int i = 0; i < 2; ++i) {
        TKSN_VertexAdjustmentScript* script = Mesh->CreateVertexScript("s");
        EndScript(script);
        Mesh->AddVertexAdjustmentScript(script);
    }
    for (TKSN_Morph* morph : {Mesh->GetCurrentMorph(), paged}) {
        Mesh->BeginUsingMorph(morph);
        Mesh->EndUsingMorph(morph);
    }
    Mesh->BeginUsingSelection(vertices);
    Mesh->EndUsingSelection(vertices);
    ASSERT_EQ(Mesh->GetUnadjustedMorphCount(), 0);
    ASSERT_EQ(Mesh->GetUnadjustedSelectionCount(), 0);

    EXPECT_TRUE(Mesh->CleanVertexScriptsIfNecessary());
    EXPECT_TRUE(Mesh->VertexScripts->IsEmpty());
    EXPECT_FALSE(Mesh->CleanVertexScriptsIfNecessary());   // nothing left
    // The data that replayed them keeps its values and its stamp.
    EXPECT_FLOAT_EQ(paged->GetVertex(1)[0], 2.0f);
    EXPECT_FLOAT_EQ(vertices->GetVSelect(0), 0.5f);
    EXPECT_EQ(paged->GetScriptStamp(), 2u);

    // Numbering goes on from the dropped scripts, so nothing counts as behind.
    TKSN_VertexAdjustmentScript* next = Mesh->CreateVertexScript("s");
    EndScript(next);
    Mesh->AddVertexAdjustmentScript(next);
    EXPECT_EQ(next->ScriptNumber, 3u);
    EXPECT_EQ(Mesh->GetUnadjustedMorphCount(), 2);   // both morphs, behind by the new one only
}

// [SECTION] Welding

TEST_F(MeshTest, WeldedUpdateCopiesMastersOntoDuplicates)
{
    TKSN_Morph* morph = AddMorph("Smile", 1.0f, 1.0f);
    TKSN_Selection* vertexSel = AddSelection({0.5f, 0, 0, 0}, eSelectionType_Vertex);
    TKSN_Selection* wrongSize = AddSelection({0.5f, 0, 0}, eSelectionType_Vertex);
    TKSN_Selection* polygonSel = AddSelection({0.25f}, eSelectionType_Polygon);
    Mesh->VertexInfo[0].Select = 0.75f;
    Mesh->VertexInfo[0].Flags = QORPoly_Locked;
    Mesh->VertexInfo[3].WeldMaster = 0;
    Mesh->Welded = true;

    Mesh->UpdateWeldedVertices();   // a selection of the wrong size is left alone
    EXPECT_FLOAT_EQ(morph->GetVertex(3)[0], morph->GetVertex(0)[0]);
    EXPECT_FLOAT_EQ(Mesh->baseVertices[9], Mesh->baseVertices[0]);
    EXPECT_FLOAT_EQ(Mesh->VertexInfo[3].Select, 0.75f);
    EXPECT_EQ(Mesh->VertexInfo[3].Flags, uint32_t(QORPoly_Locked));
    EXPECT_FLOAT_EQ(vertexSel->GetVSelect(3), 0.5f);
    EXPECT_FLOAT_EQ(wrongSize->GetVSelect(2), 0.0f);
    EXPECT_FLOAT_EQ(polygonSel->GetVSelect(0), 0.25f);
    EXPECT_FALSE(morph->UpdateWeldingRequired());
}

TEST_F(MeshTest, WeldedSelectionOfTheWrongSizeIsLeftAlone)
{
    TKSN_Selection* wrongSize = AddSelection({0.5f, 0, 0}, eSelectionType_Vertex);
    Mesh->Welded = true;
    Mesh->UpdateWeldedSelection(wrongSize);
    EXPECT_EQ(wrongSize->GetVCount(), 3);
    EXPECT_EQ(wrongSize->GetVSelect(0), 0.5f);
}

// [SECTION] Sub-division levels

TEST_F(MeshTest, SubDLevelsAreClampedAndDestroyed)
{
    Mesh->ActualMaxSubDLevel = 2;
    EXPECT_FALSE(Mesh->SetCurrentSubDLevel(7));
    EXPECT_EQ(Mesh->GetCurrentSubDLevel(), 2);
    EXPECT_FALSE(Mesh->SetCurrentSubDLevel(-1));
    EXPECT_EQ(Mesh->GetCurrentSubDLevel(), 0);
    EXPECT_TRUE(Mesh->SetCurrentSubDLevel(1));

    Mesh->SetCustomPointerProperty("SUBD_LEVEL_2", new TKSN_SubDMesh());
    Mesh->SetCustomPointerProperty("SUBD_LEVEL_0", new TKSN_SubDMesh());
    Mesh->SubDsBuilt = Mesh->SubDBaseVerticesValid = true;
    ASSERT_NE(Mesh->GetSubD_For_Editing(), nullptr);
    Mesh->InvalidateSubDBaseVertices();
    EXPECT_EQ(Mesh->GetSubD(0), nullptr);
    EXPECT_EQ(Mesh->GetSubD(2), nullptr);
    EXPECT_EQ(Mesh->ActualMaxSubDLevel, 0);
    EXPECT_FALSE(Mesh->SubDsBuilt);
    EXPECT_FALSE(Mesh->SubDBaseVerticesValid);
    ASSERT_EQ(Printed.size(), 1u);
    EXPECT_NE(Printed[0].find("Head"), std::string::npos) << Printed[0];
    EXPECT_NE(Printed[0].find("object 'Head'"), std::string::npos);
}

TEST_F(MeshTest, TargetSubDLevelCountsQuadruplings)
{
    struct Case {
        int32_t selectedPolygons;   // 0: the mesh's own polygon count (1)
        int32_t target;
        int expected;
    };
    const Case cases[] = {
        {10000, 1000000, 3},
        {2000000, 1000000, -1},
        {0, 1000000, 9},
        {600000000, INT32_MAX, 0},    // would overflow a 32-bit count
        {1, INT32_MAX, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selectedPolygons);
        Mesh->SelectedListsValid = true;
        Mesh->SelectedPolygonCount = c.selectedPolygons;
        Mesh->TargetMaxSubDPolygonCount = c.target;
        EXPECT_EQ(Mesh->GetTargetMaxSubDLevel(), c.expected);
    }
    Mesh->SelectedPolygonCount = 0;
    TKSN_Mesh empty(nullptr);
    EXPECT_EQ(empty.GetTargetMaxSubDLevel(), 0);
}
