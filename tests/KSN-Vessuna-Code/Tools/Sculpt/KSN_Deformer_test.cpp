// The deformer base and the move, scale, rotate and bulge deformers on a 5x5
// grid seen in an identity front view (aspect 1, zoom 1): refusals at the
// press, the drag rebuilt from the press state, the release folding into the
// morph (or a new key frame), Rigidness, symmetry-plane and axis-lock rules,
// undo, and each kind's vertex rule.
#include "KSN_ProjectEditTestSupport.h"

#include "KSN_DeformerKinds.h"
#include "KSN_Morph.h"
#include "KSN_Undo.h"
#include "KSN_Union.h"
#include "QORLanguage.h"
#include "QORMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace ksn_edit_test;

std::vector<std::string> Messages;
int Tab = 0;
int Frame = 0;
bool LockAxes[3] = {false, false, false};

bool HasMessage(const std::string& text)
{
    for (const std::string& m : Messages)
        if (m.find(text) != std::string::npos) return true;
    return false;
}

class DeformerTest : public ProjectEditFixture {
protected:
    TKSN_Object* Object = nullptr;
    TKSN_Mesh* Mesh = nullptr;
    TKSN_Viewport* View = nullptr;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        Messages.clear();
        Tab = 0;
        Frame = 0;
        LockAxes[0] = LockAxes[1] = LockAxes[2] = false;
        TKSN_MeshApplicationHooks mesh;
        mesh.GetToolTypeTab = []() -> int32_t { return Tab; };
        mesh.GetCurrentAnimationFrame = []() -> int32_t { return Frame; };
        KSN_SetMeshApplicationHooks(mesh);
        App->SetToolTypeTab(0);
        TKSN_DeformerProjectHooks hooks = KSN_GetDeformerProjectHooks();
        hooks.GetAxisLocks = [](bool& x, bool& y, bool& z) {
            x = LockAxes[0];
            y = LockAxes[1];
            z = LockAxes[2];
        };
        KSN_SetDeformerProjectHooks(hooks);
        OS.AssignOnPrintMessage([](char* text) { Messages.push_back(std::string("print ") + text); });
        OS.AssignOnWarningMessage([](char* text) { Messages.push_back(std::string("warning ") + text); });
        OS.AssignOnWarningMessageNoRepeatFailed([](char* text) { Messages.push_back(std::string("flash ") + text); });
        OS.AssignOnPrintHint([](char* text) { Messages.push_back(std::string("hint ") + text); });
        OS.PrintMessage("%s", "-- start --");
        Messages.clear();

        Object = Project->CreateNewObject();
        Object->SetName("%s", "Grid");
        Mesh = new TKSN_Mesh(Object);
        Mesh->Create(25, 0, 25, 16);
        Object->Mesh.reset(Mesh);
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) {
                TQORPolygon& poly = Mesh->Polygons[4 * j + i];
                poly.SetCount(4);
                const int corners[4] = {5 * j + i, 5 * j + i + 1, 5 * (j + 1) + i + 1, 5 * (j + 1) + i};
                for (int k = 0; k < 4; ++k) poly.Points[k].V = corners[k];
            }
        for (int j = 0; j < 5; ++j)
            for (int i = 0; i < 5; ++i) {
                float* p = Mesh->baseVertices + 3 * (5 * j + i);
                p[0] = (i - 2) * 0.25f;
                p[1] = (j - 2) * 0.25f;
                p[2] = 0.0f;
                float* n = Mesh->vertexNormals + 3 * (5 * j + i);
                n[0] = n[1] = 0.0f;
                n[2] = 1.0f;
            }
        Mesh->CopyBaseVerticesToResolvedVertices();
        Mesh->BuildVertexPolygons();
        Project->CurrentObjectID = Object->GetID();

        View = App->viewports[0];
        float identity[16];
        QORMatrix_Identity4x4(identity);
        for (float* m : {View->RotationMatrix, View->TransposedRotationMatrix, View->ProjectionMatrix,
                         View->ModelViewMatrix, View->CombinedMatrix, View->InverseCombinedMatrix,
                         View->InverseModelViewMatrix, View->InverseProjectionMatrix})
            std::memcpy(m, identity, sizeof identity);
        View->Aspect = 1.0f;
        View->Zoom = 1.0f;
        View->DefaultZoomFactor = 1.0f;
        View->WindowWidth = View->WindowHeight = 200;
    }

    void TearDown() override
    {
        KSN_SetMeshApplicationHooks({});
        OS.AssignOnPrintMessage(nullptr);
        OS.AssignOnWarningMessage(nullptr);
        OS.AssignOnWarningMessageNoRepeatFailed(nullptr);
        OS.AssignOnPrintHint(nullptr);
        DeformerRigidness = 0.5f;
        DeformerStrength = 1.0f;
        ProjectEditFixture::TearDown();
    }

    TKSN_MorphUnion* MakeUnion(float strength)
    {
        auto* morphUnion = new TKSN_MorphUnion;
        morphUnion->SetName("%s", "Shape");
        morphUnion->Strength = strength;
        morphUnion->MinStrength = -1.0f;
        morphUnion->MaxStrength = 2.0f;
        Project->MorphUnions->AddItem(morphUnion);
        Project->SetCurrentMorphUnion(morphUnion);
        return morphUnion;
    }

    void Select(const std::vector<std::pair<int, float>>& weights)
    {
        for (auto [v, w] : weights) Mesh->SetVSelect(v, w);
        Mesh->OnSelectionChanged();
    }

    template <class Tool>
    std::unique_ptr<Tool> MakeDeformer()
    {
        auto tool = std::make_unique<Tool>();
        App->currentTool = tool.get();
        return tool;
    }

    static const float* P(TKSN_Mesh* mesh, int v) { return mesh->resolvedVertices + 3 * v; }
    static std::vector<float> Resolved(TKSN_Mesh* mesh)
    {
        return std::vector<float>(mesh->resolvedVertices, mesh->resolvedVertices + 3 * mesh->GetVCount());
    }
    static std::vector<float> Deltas(TKSN_Morph* morph)
    {
        const float* d = morph->GetPointerToExpandedArray();
        return std::vector<float>(d, d + 3 * morph->GetVCount());
    }

    // Press at a, motions through the points, release at the last.
    void Drag(TKSN_Deformer& tool, float x0, float y0, const std::vector<std::pair<float, float>>& points,
              bool release = true)
    {
        tool.BeforeUse();
        ASSERT_TRUE(tool.OnMouse(Mesh, View, 0, 0, x0, y0));
        for (auto [x, y] : points) tool.OnMotion(Mesh, View, x, y);
        if (!release) return;
        auto [x, y] = points.empty() ? std::pair<float, float>(x0, y0) : points.back();
        tool.OnMouse(Mesh, View, 0, 1, x, y);
        tool.AfterUse();
    }
};

TEST_F(DeformerTest, PressRefusalsAndWarnings)
{
    auto tool = MakeDeformer<TKSN_MoveInPlane>();

    // No union outside the modelling tab.
    Log.clear();
    EXPECT_FALSE(tool->OnMouse(Mesh, View, 0, 0, 0, 0));
    EXPECT_TRUE(HasMessage(Lang.GetText(1019))) << "the no-current-morph warning";
    EXPECT_GE(IndexOf("push 10"), 0);

    TKSN_MorphUnion* morphUnion = MakeUnion(1.0f);
    Messages.clear();
    EXPECT_FALSE(tool->OnMouse(Mesh, View, 0, 0, 0, 0)) << "nothing selected";
    EXPECT_TRUE(HasMessage("Please select at least one vertex in the viewport"));

    Select({{12, 1.0f}});
    morphUnion->Strength = 0.05f;
    Messages.clear();
    EXPECT_FALSE(tool->OnMouse(Mesh, View, 0, 0, 0, 0));
    EXPECT_TRUE(HasMessage(Lang.GetText(1080)));
    EXPECT_FALSE(tool->DeformActive);

    morphUnion->Strength = 0.5f;
    Messages.clear();
    EXPECT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0, 0));
    EXPECT_TRUE(HasMessage(Lang.GetText(1079)));
    tool->OnMotion(Mesh, View, 0.0f, 0.5f);
    EXPECT_GT(P(Mesh, 12)[1], 0.0f) << "a half-strength union still deforms";
    tool->OnMouse(Mesh, View, 0, 1, 0.0f, 0.5f);

    morphUnion->Strength = 1.0f;
    LockAxes[0] = LockAxes[1] = LockAxes[2] = true;
    Messages.clear();
    tool->OnMouse(Mesh, View, 0, 0, 0, 0);
    EXPECT_TRUE(HasMessage(Lang.GetText(796)));
    tool->OnMouse(Mesh, View, 0, 1, 0, 0);
}

TEST_F(DeformerTest, MoveDragRebuildsFromThePressAndFoldsIntoTheMorph)
{
    MakeUnion(1.0f);
    Select({{12, 1.0f}, {13, 0.5f}, {7, 0.25f}});
    DeformerRigidness = 0.5f;
    auto tool = MakeDeformer<TKSN_MoveInPlane>();
    tool->SetDirDepth(false);
    const std::vector<float> before = Resolved(Mesh);

    Drag(*tool, 0.0f, 0.0f, {{0.0f, 0.25f}, {0.0f, 0.5f}}, false);
    for (auto [v, w] : std::vector<std::pair<int, float>>{{12, 1.0f}, {13, 0.5f}, {7, 0.25f}, {0, 0.0f}}) {
        SCOPED_TRACE(v);
        EXPECT_NEAR(P(Mesh, v)[0], before[3 * v], 1e-6f);
        EXPECT_NEAR(P(Mesh, v)[1], before[3 * v + 1] + 0.5f * w, 1e-6f);
        EXPECT_NEAR(P(Mesh, v)[2], 0.0f, 1e-6f);
    }
    tool->OnMotion(Mesh, View, 0.0f, 0.0f);
    for (int k = 0; k < 75; ++k) EXPECT_NEAR(Mesh->resolvedVertices[k], before[k], 1e-6f) << "back at the press";
    tool->OnMotion(Mesh, View, 0.0f, 0.5f);
    tool->OnMouse(Mesh, View, 0, 1, 0.0f, 0.5f);
    tool->AfterUse();

    TKSN_Morph* morph = Mesh->GetCurrentMorph();
    ASSERT_NE(morph, nullptr);
    EXPECT_STREQ(morph->GetName(), "Shape");
    EXPECT_NEAR(morph->GetVertex(12)[1], 0.5f, 1e-6f);
    EXPECT_NEAR(morph->GetVertex(13)[1], 0.25f, 1e-6f);
    for (float d : Deltas(Mesh->TempMorph)) ASSERT_EQ(d, 0.0f) << "the temporary morph is cleared";
    int nodes = 0;
    for (TKSN_Undo_Node* node = Project->UndoList; node; node = node->Next)
        nodes += node->Kind == KSN_UNDO_DEFORMATION && node->ObjectID == Object->GetID();
    EXPECT_EQ(nodes, 1);

    Project->Undo();
    for (float d : Deltas(Mesh->GetCurrentMorph())) ASSERT_EQ(d, 0.0f) << "one undo restores the morph";
}

TEST_F(DeformerTest, RigidnessBlendsTheSelectionWeights)
{
    MakeUnion(1.0f);
    struct Case {
        float rigidness, expected[3];
    } cases[] = {{0.0f, {1.0f, 0.0f, 0.0f}}, {0.5f, {1.0f, 0.5f, 0.005f}}, {1.0f, {1.0f, 1.0f, 0.0f}}};
    Select({{12, 1.0f}, {13, 0.5f}, {14, 0.005f}});
    auto tool = MakeDeformer<TKSN_MoveInPlane>();
    tool->SetDirDepth(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rigidness);
        DeformerRigidness = c.rigidness;
        const std::vector<float> before = Resolved(Mesh);
        tool->BeforeUse();
        ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
        tool->OnMotion(Mesh, View, 1.0f, 0.0f);
        const int vertices[3] = {12, 13, 14};
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(P(Mesh, vertices[i])[0] - before[3 * vertices[i]], c.expected[i], 1e-6f) << vertices[i];
        tool->OnMotion(Mesh, View, 0.0f, 0.0f);
        tool->OnMouse(Mesh, View, 0, 1, 0.0f, 0.0f);
    }
}

TEST_F(DeformerTest, KeyFrameAxisLocksAndTheSymmetryPlane)
{
    MakeUnion(1.0f);
    Select({{12, 1.0f}, {13, 1.0f}});
    auto tool = MakeDeformer<TKSN_MoveInPlane>();
    tool->SetDirDepth(false);

    Frame = 5;
    Log.clear();
    Drag(*tool, 0.0f, 0.0f, {{0.5f, 0.5f}});
    TKSN_Morph* head = Mesh->GetCurrentMorph();
    ASSERT_NE(head->GetNextKeyFrame(), nullptr) << "a key frame was made";
    EXPECT_EQ(head->GetNextKeyFrame()->GetKeyFrameTime(), 5);
    EXPECT_TRUE(HasMessage("Creating key frame at 5"));
    EXPECT_GE(IndexOf("push 439"), 0);
    Frame = 0;

    LockAxes[0] = true;
    const std::vector<float> before = Resolved(Mesh);
    tool->BeforeUse();
    ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    tool->OnMotion(Mesh, View, 0.5f, 0.5f);
    for (float d : std::vector<float>{Deltas(Mesh->TempMorph)[36], Deltas(Mesh->TempMorph)[39]})
        EXPECT_EQ(d, 0.0f) << "Lock X leaves no x";
    EXPECT_NEAR(P(Mesh, 12)[1] - before[37], 0.5f, 1e-6f);
    tool->OnMouse(Mesh, View, 0, 1, 0.5f, 0.5f);
    LockAxes[0] = false;

    // A vertex flagged on the symmetry plane keeps its x while symmetry applies.
    Project->UseSymmetry = true;
    Object->SymmetryEnabled = true;
    Mesh->VertexInfo[12].Flags |= QORVertex_SymmetryPlane;
    Mesh->symmetryAxis = 0;
    const std::vector<float> start = Resolved(Mesh);
    tool->BeforeUse();
    ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    tool->OnMotion(Mesh, View, 0.5f, 0.0f);
    EXPECT_NEAR(P(Mesh, 12)[0], start[36], 1e-6f) << "on the plane";
    EXPECT_NEAR(P(Mesh, 13)[0], start[39] + 0.5f, 1e-6f) << "off the plane";
    tool->OnMouse(Mesh, View, 0, 1, 0.5f, 0.0f);
}

TEST_F(DeformerTest, BulgeRotateAndScaleVertexRules)
{
    MakeUnion(1.0f);
    Select({{12, 1.0f}, {13, 0.5f}});

    // Bulge: along the press-time normal by the vertical travel.
    auto bulge = MakeDeformer<TKSN_Bulge>();
    EXPECT_STREQ(bulge->GetName(), "Bulge  Dent Hammer");
    bulge->BeforeUse();
    ASSERT_TRUE(bulge->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    bulge->OnMotion(Mesh, View, 0.0f, 0.1f);
    EXPECT_NEAR(P(Mesh, 12)[2], 0.1f, 1e-6f);
    EXPECT_NEAR(P(Mesh, 13)[2], 0.05f, 1e-6f);
    bulge->OnMotion(Mesh, View, 0.0f, 0.0f);
    EXPECT_NEAR(P(Mesh, 12)[2], 0.0f, 1e-6f);
    bulge->OnMouse(Mesh, View, 0, 1, 0.0f, 0.0f);

    // Rotate at Rigidness 1 about the centre, tilting about the view axis:
    // the full vertex turns by the angle; a 0.5-weight one at Rigidness 0.5 by half.
    auto rotate = MakeDeformer<TKSN_Rotate>();
    EXPECT_TRUE(rotate->GetDirDepth());
    rotate->AutoDepthMode = 0;
    Select({{12, 0.0f}, {13, 0.0f}, {6, 1.0f}, {8, 1.0f}});
    for (float rigidness : {1.0f, 0.5f}) {
        SCOPED_TRACE(rigidness);
        DeformerRigidness = rigidness;
        if (rigidness == 0.5f) Select({{6, 1.0f}, {8, 0.5f}});
        const std::vector<float> before = Resolved(Mesh);
        rotate->BeforeUse();
        ASSERT_TRUE(rotate->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
        rotate->OnMotion(Mesh, View, 0.3f, 0.0f);
        float ax = 0, ay = 0;
        rotate->GetTwoDimRotationFromViewportMotion(View, 0.3f, 0.0f, ax, ay, nullptr);
        auto angleOf = [&](int v) {
            const float* c = rotate->PressCentre;
            const float a0 = std::atan2(before[3 * v + 1] - c[1], before[3 * v] - c[0]);
            const float a1 = std::atan2(P(Mesh, v)[1] - c[1], P(Mesh, v)[0] - c[0]);
            return std::remainder(a1 - a0, float(2 * M_PI));
        };
        EXPECT_NEAR(std::fabs(angleOf(6)), std::fabs(ax), 1e-3f);
        EXPECT_NEAR(std::fabs(angleOf(8)), std::fabs(ax) * (rigidness == 1.0f ? 1.0f : 0.5f), 1e-3f);
        rotate->OnMotion(Mesh, View, 0.0f, 0.0f);
        rotate->OnMouse(Mesh, View, 0, 1, 0.0f, 0.0f);
    }

    // Scale: a drag down by 1/S collapses onto the centre and never through it.
    DeformerRigidness = 1.0f;
    Select({{6, 1.0f}, {8, 1.0f}});
    auto scale = MakeDeformer<TKSN_Scale>();
    const std::vector<float> before = Resolved(Mesh);
    scale->BeforeUse();
    ASSERT_TRUE(scale->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    scale->OnMotion(Mesh, View, 0.0f, -1.5f);
    EXPECT_NEAR(P(Mesh, 6)[0], scale->Centre[0], 1e-5f);
    EXPECT_NEAR(P(Mesh, 8)[0], scale->Centre[0], 1e-5f);
    scale->OnMotion(Mesh, View, 0.0f, 1.0f);
    EXPECT_NEAR(P(Mesh, 8)[0] - scale->Centre[0], 2.0f * (before[24] - scale->Centre[0]), 1e-5f) << "doubled";
    EXPECT_TRUE(HasMessage("Scale = {200, 200, 200}"));
    scale->OnMouse(Mesh, View, 0, 1, 0.0f, 1.0f);
}

TEST_F(DeformerTest, StrengthHintRoundsInPlace)
{
    auto tool = MakeDeformer<TKSN_MoveInPlane>();
    struct Case {
        float strength, rounded;
        const char* shown;
    } cases[] = {{1.0f, 0.12f, "X = {12}"}, {0.0f, 0.1235f, "X = {12.35}"}, {5.0f, 0.12f, "X = {12}"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strength);
        Messages.clear();
        float v = 0.123456f;
        tool->PrintStrengthHintAndSnapPrecision(Mesh, "X", c.strength, &v, 1, 2, 4);
        EXPECT_FLOAT_EQ(v, c.rounded);
        EXPECT_TRUE(HasMessage(c.shown));
    }
    // The morph and object names and the text go in as values: a '%' in the
    // text shows literally, after the line that names what is deformed.
    MakeUnion(1.0f);
    Select({{12, 1.0f}});
    Messages.clear();
    tool->PrintHint(Mesh, "%s", "50%d done");
    ASSERT_FALSE(Messages.empty());
    EXPECT_EQ(Messages.back(), "hint [b]Deforming \"Shape\" in the object \"Grid\"[/b]\n\n50%d done");
}

} // namespace
