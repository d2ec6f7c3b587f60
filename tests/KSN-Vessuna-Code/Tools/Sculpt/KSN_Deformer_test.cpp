// The deformer base and the move, scale, rotate and bulge deformers on a 5x5
// grid seen in an identity front view (aspect 1, zoom 1): refusals at the
// press, the drag rebuilt from the press state, the release folding into the
// morph (or a new key frame), Rigidness, symmetry-plane and axis-lock rules,
// undo, and each kind's vertex rule.
#include "KSN_ProjectEditTestSupport.h"

#include "KSN_DeformerKinds.h"
#include "KSN_DeformerShaper.h"
#include "KSN_DeformerTouchup.h"
#include "KSN_Morph.h"
#include "KSN_Parameter.h"
#include "KSN_StrokeEngine.h"
#include "KSN_Undo.h"
#include "KSN_Union.h"
#include "QORLanguage.h"
#include "QORMatrix.h"
#include "QORThreads.h"

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

        Object = MakeGrid("Grid", 5);
        Mesh = Object->Mesh.get();
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

    // A side x side grid of quads in the plane z = 0, spacing 0.25, centred,
    // with normals +z.
    TKSN_Object* MakeGrid(const char* name, int side)
    {
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("%s", name);
        auto* mesh = new TKSN_Mesh(object);
        const int cells = side - 1;
        mesh->Create(side * side, 0, side * side, cells * cells);
        object->Mesh.reset(mesh);
        for (int j = 0; j < cells; ++j)
            for (int i = 0; i < cells; ++i) {
                TQORPolygon& poly = mesh->Polygons[cells * j + i];
                poly.SetCount(4);
                const int corners[4] = {side * j + i, side * j + i + 1, side * (j + 1) + i + 1, side * (j + 1) + i};
                for (int k = 0; k < 4; ++k) poly.Points[k].V = corners[k];
            }
        for (int j = 0; j < side; ++j)
            for (int i = 0; i < side; ++i) {
                float* p = mesh->baseVertices + 3 * (side * j + i);
                p[0] = (i - (side - 1) / 2.0f) * 0.25f;
                p[1] = (j - (side - 1) / 2.0f) * 0.25f;
                p[2] = 0.0f;
                float* n = mesh->vertexNormals + 3 * (side * j + i);
                n[0] = n[1] = 0.0f;
                n[2] = 1.0f;
            }
        mesh->CopyBaseVerticesToResolvedVertices();
        mesh->BuildVertexPolygons();
        return object;
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

// A bumpy grid: the centre rows lifted, so smoothing and flattening have work.
void Bump(TKSN_Mesh* mesh)
{
    for (int v = 0; v < 25; ++v) {
        const float z = 0.1f * float((v * 7) % 5) - 0.2f;
        mesh->baseVertices[3 * v + 2] = z;
        mesh->resolvedVertices[3 * v + 2] = z;
    }
}

TEST_F(DeformerTest, SmoothingSplitsTheAmountIntoPasses)
{
    Bump(Mesh);
    for (int v = 0; v < 25; ++v) Mesh->SetVSelect(v, 1.0f);
    Mesh->OnSelectionChanged();
    auto morph = std::make_unique<TKSN_Morph>(25, Mesh->GetID());
    const std::vector<float> start = Resolved(Mesh);

    TKSN_Smooth::SmoothAllVertices(Mesh, morph.get(), nullptr, 2.5f, false, 0.0f, false);
    const std::vector<float> whole = Deltas(morph.get());

    // The same by hand: passes 1, 1 and 0.5, each on the previous result.
    for (float pass : {1.0f, 1.0f, 0.5f}) {
        auto step = std::make_unique<TKSN_Morph>(25, Mesh->GetID());
        TKSN_Smooth::SmoothAllVertices(Mesh, step.get(), nullptr, pass, false, 0.0f, false);
        const std::vector<float> d = Deltas(step.get());
        for (int k = 0; k < 75; ++k) Mesh->resolvedVertices[k] += d[size_t(k)];
    }
    for (int k = 0; k < 75; ++k) EXPECT_NEAR(whole[size_t(k)], Mesh->resolvedVertices[k] - start[size_t(k)], 1e-6f) << k;
    float moved = 0.0f;
    for (float d : whole) moved += std::fabs(d);
    EXPECT_GT(moved, 0.01f);

    // Distance weighting never pushes a vertex away: the factor stays within 0..1.
    std::copy(start.begin(), start.end(), Mesh->resolvedVertices);
    std::vector<float> target(start);
    Mesh->MaxEdgeLength = 1e-4f;   // far below every mean distance: factor 0
    Smooth_Vertex(Mesh, 12, 1.0f, start.data(), target.data(), false, false, true);
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(target[36 + k], start[36 + k]);
}

TEST_F(DeformerTest, TouchupFlattenAndUnmorph)
{
    MakeUnion(1.0f);
    Bump(Mesh);
    for (int v = 0; v < 25; ++v) Mesh->SetVSelect(v, 1.0f);
    Mesh->OnSelectionChanged();
    DeformerRigidness = 1.0f;
    auto tool = MakeDeformer<TKSN_TouchupDeformer>();
    EXPECT_STREQ(tool->GetName(), "Touch-up Hammer");

    tool->TouchupType = 1;
    tool->BeforeUse();
    ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    tool->OnMotion(Mesh, View, 0.0f, 1.0f);
    const float* c = tool->Centre;
    const float* n = tool->SelectionNormal;
    for (int v = 0; v < 25; ++v) {
        const float* p = P(Mesh, v);
        EXPECT_NEAR((p[0] - c[0]) * n[0] + (p[1] - c[1]) * n[1] + (p[2] - c[2]) * n[2], 0.0f, 1e-5f) << v;
    }
    tool->OnMouse(Mesh, View, 0, 1, 0.0f, 1.0f);

    // Unmorph: amount 2 takes the frame's deltas out exactly as amount 1 does.
    tool->TouchupType = 2;
    std::vector<std::vector<float>> results;
    for (float travel : {1.0f, 2.0f}) {
        tool->BeforeUse();
        ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
        tool->OnMotion(Mesh, View, 0.0f, travel);
        results.push_back(Resolved(Mesh));
        tool->OnMotion(Mesh, View, 0.0f, 0.0f);
        tool->OnMouse(Mesh, View, 0, 1, 0.0f, 0.0f);
    }
    EXPECT_EQ(results[0], results[1]);
    for (int v = 0; v < 25; ++v) EXPECT_NEAR(results[0][3 * v + 2], Mesh->baseVertices[3 * v + 2], 1e-6f);

    // Spreading and shrinking exclude each other.
    tool->TouchupType = 0;
    tool->ClearParameters();
    tool->UpdateParameters();
    TKSN_Parameter* triplet = nullptr;
    for (TKSN_Parameter* p : *tool->Parameters)
        if (p->Type == KSN_PARAM_BOOL_TRIPLET) triplet = p;
    ASSERT_NE(triplet, nullptr);
    ASSERT_EQ(triplet->First->Data, &tool->PreventShrinking);
    ASSERT_EQ(triplet->Second->Data, &tool->PreventSpreading);
    KSN_SetParameterValue(triplet->First, 1);
    KSN_SetParameterValue(triplet->Second, 1);
    EXPECT_TRUE(tool->PreventSpreading);
    EXPECT_FALSE(tool->PreventShrinking);
    KSN_SetParameterValue(triplet->First, 1);
    EXPECT_FALSE(tool->PreventSpreading);
}

TEST_F(DeformerTest, ManyVerticesAndObjectsMoveThroughTheWorkerPool)
{
    ThreadCruncher_Initialize();
    MakeUnion(1.0f);
    TKSN_Object* big = MakeGrid("Big", 12);
    TKSN_Mesh* bigMesh = big->Mesh.get();
    for (int v = 0; v < 144; ++v) bigMesh->SetVSelect(v, float(v % 4 + 1) / 4.0f);
    bigMesh->OnSelectionChanged();
    Select({{12, 1.0f}});
    DeformerRigidness = 0.5f;
    auto tool = MakeDeformer<TKSN_MoveInPlane>();
    tool->SetDirDepth(false);
    const std::vector<float> before = Resolved(bigMesh);
    tool->BeforeUse();
    ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    for (int step = 1; step <= 5; ++step) tool->OnMotion(Mesh, View, 0.1f * step, 0.0f);
    for (int v = 0; v < 144; ++v)
        ASSERT_NEAR(P(bigMesh, v)[0] - before[size_t(3 * v)], 0.5f * float(v % 4 + 1) / 4.0f, 1e-6f) << v;
    EXPECT_NEAR(P(Mesh, 12)[0], 0.5f, 1e-6f) << "every affectable object moves at once";
    tool->OnMouse(Mesh, View, 0, 1, 0.5f, 0.0f);
    EXPECT_NEAR(bigMesh->GetCurrentMorph()->GetVertex(143)[0], 0.5f, 1e-6f);
}

// Asks a list parameter's callback through the list protocol.
std::unique_ptr<TQOREvent> AskList(TKSN_Parameter* list, int command, int index, bool* answered = nullptr)
{
    auto event = std::make_unique<TQOREvent>(nullptr, list->GetID(), command);
    event->SetIndex(index);
    const bool ok = reinterpret_cast<bool (*)(TQOREvent*)>(list->Data)(event.get());
    if (answered) *answered = ok;
    return event;
}

TKSN_Parameter* FindParameter(TKSN_Tool& tool, const char* name)
{
    for (TKSN_Parameter* p : *tool.Parameters)
        if (std::string(p->GetName()) == name) return p;
    return nullptr;
}

TEST_F(DeformerTest, ShaperFitsItsShapesAtThePress)
{
    MakeUnion(1.0f);
    EXPECT_NEAR(KSN_FastInverseSqrt(4.0f), 0.5f, 1e-3f);
    EXPECT_NEAR(KSN_FastInverseSqrt(0.01f), 10.0f, 2e-2f);
    DeformerRigidness = 1.0f;
    for (int v = 0; v < 25; ++v) Mesh->SetVSelect(v, 1.0f);
    Mesh->OnSelectionChanged();
    auto tool = MakeDeformer<TKSN_GeometricShaper>();
    EXPECT_STREQ(tool->GetName(), "Geometric Hammer");

    // Sphere: every vertex lands at R = |B2 - B1| x 0.5 / sqrt 3 from K.
    tool->ShapeType = 0;
    tool->BeforeUse();
    ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    const float* B1 = tool->ViewBoxMin;
    const float* B2 = tool->ViewBoxMax;
    const float diagonal = std::sqrt((B2[0] - B1[0]) * (B2[0] - B1[0]) + (B2[1] - B1[1]) * (B2[1] - B1[1]) +
                                     (B2[2] - B1[2]) * (B2[2] - B1[2]));
    const float R = diagonal * 0.5f / std::sqrt(3.0f);
    EXPECT_NEAR(tool->ShapeRadius, R, 1e-6f);
    tool->OnMotion(Mesh, View, 0.0f, -1.0f);   // down counts as much as up
    const float* K = tool->Centre;
    for (int v = 0; v < 25; ++v) {
        const float* p = P(Mesh, v);
        const float d = std::sqrt((p[0] - K[0]) * (p[0] - K[0]) + (p[1] - K[1]) * (p[1] - K[1]) +
                                  (p[2] - K[2]) * (p[2] - K[2]));
        if (v == 12) EXPECT_NEAR(d, 0.0f, 1e-6f) << "the vertex at the centre stays";
        else EXPECT_NEAR(d, R, 1e-3f) << v;
    }
    tool->OnMotion(Mesh, View, 0.0f, 0.0f);
    tool->OnMouse(Mesh, View, 0, 1, 0.0f, 0.0f);
    Project->Undo();

    // Box: a vertex as far from an x face as from a y face goes to the x face.
    tool->ShapeType = 1;
    ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    const float p[3] = {0.25f, 0.25f, 0.0f};
    float q[3];
    tool->DeformVertex_Box(p, q);
    EXPECT_FLOAT_EQ(q[0], 0.5f);
    EXPECT_FLOAT_EQ(q[1], 0.25f);
    tool->OnMouse(Mesh, View, 0, 1, 0.0f, 0.0f);

    // The list's unknown type: "ERROR", and nothing moves.
    tool->ClearParameters();
    tool->UpdateParameters();
    TKSN_Parameter* type = FindParameter(*tool, "Type");
    ASSERT_NE(type, nullptr);
    EXPECT_STREQ(AskList(type, KSN_LIST_ITEM_NAME, 7)->GetStringParameter(0), "ERROR");
    EXPECT_STREQ(AskList(type, KSN_LIST_ITEM_NAME, 4)->GetStringParameter(0), "Paraboloid");
    AskList(type, KSN_LIST_CHOOSE, 7);
    EXPECT_EQ(tool->ShapeType, 7);
    const std::vector<float> before = Resolved(Mesh);
    ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    tool->OnMotion(Mesh, View, 0.0f, 1.0f);
    EXPECT_EQ(Resolved(Mesh), before);
    tool->OnMouse(Mesh, View, 0, 1, 0.0f, 1.0f);

    // The hint of an amount: strength 1, digits (2, 4).
    tool->ShapeType = 0;
    Messages.clear();
    ASSERT_TRUE(tool->OnMouse(Mesh, View, 0, 0, 0.0f, 0.0f));
    tool->OnMotion(Mesh, View, 0.0f, 0.123456f);
    EXPECT_TRUE(HasMessage("Amount = {12}"));
    tool->OnMouse(Mesh, View, 0, 1, 0.0f, 0.123456f);
}

// Where the pivot lands in depth at the press, per "Calculate Depth By..."
// mode: selected vertices at z 0.2 (nearer the viewer) and -0.4 (centroid
// -0.1), and a picking double that finds the surface at z 0.3 under the mouse.
TEST_F(DeformerTest, PressDepthFollowsTheDepthMode)
{
    static bool surfaceUnderMouse = true;
    static TKSN_MeshRoot* surface = nullptr;
    static const float* objectToScreen = nullptr;
    surface = Mesh;
    TKSN_ToolProjectHooks tools = KSN_GetToolProjectHooks();
    const TKSN_ToolProjectHooks saved = tools;
    tools.GetClosestPolygonAndMesh = [](TKSN_Viewport*, TKSN_MeshRoot*& mesh, int& polygon, float x, float y,
                                        float* hit) {
        mesh = nullptr;
        polygon = -1;
        if (!surfaceUnderMouse) return false;
        mesh = surface;
        polygon = 0;
        if (hit) {
            // The screen point of the object-space surface point (x, y, 0.3).
            const float point[3] = {x, y, 0.3f};
            KSN_TransformPoint(objectToScreen, point, hit);
        }
        return true;
    };
    KSN_SetToolProjectHooks(tools);

    MakeUnion(1.0f);
    Mesh->baseVertices[3 * 6 + 2] = Mesh->resolvedVertices[3 * 6 + 2] = 0.2f;
    Mesh->baseVertices[3 * 8 + 2] = Mesh->resolvedVertices[3 * 8 + 2] = -0.4f;
    Select({{6, 1.0f}, {8, 1.0f}});
    struct Case {
        const char* name;
        int mode;
        bool hit;
        float depth;
    } cases[] = {
        {"Center", 0, true, -0.1f},
        {"Surface: the picked point", 1, true, 0.3f},
        {"Surface: nothing under the mouse keeps the centre", 1, false, -0.1f},
        {"Closest", 2, true, 0.2f},
        {"Farthest", 3, true, -0.4f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        surfaceUnderMouse = c.hit;
        auto rotate = MakeDeformer<TKSN_Rotate>();
        rotate->AutoDepthMode = c.mode;
        objectToScreen = rotate->PressObjectToScreen;
        rotate->BeforeUse();
        ASSERT_TRUE(rotate->OnMouse(Mesh, View, 0, 0, 0.1f, 0.0f));
        EXPECT_NEAR(rotate->Centre[2], c.depth, 1e-5f);
        EXPECT_NEAR(rotate->Centre[0], 0.1f, 1e-5f) << "under the mouse";
        rotate->OnMouse(Mesh, View, 0, 1, 0.1f, 0.0f);
        rotate->AfterUse();
    }
    KSN_SetToolProjectHooks(saved);
}

TEST_F(DeformerTest, SnappingMovesThePressToTheNearestCornerOfThePickedPolygon)
{
    // Under the mouse: polygon 0 of the grid (corners (-0.5, -0.5) to (-0.25, -0.25)), a polygon without a
    // mesh, or nothing.
    static TKSN_MeshRoot* surface = nullptr;
    static int under = 0;
    TKSN_ToolProjectHooks tools = KSN_GetToolProjectHooks();
    const TKSN_ToolProjectHooks saved = tools;
    tools.GetClosestPolygonAndMesh = [](TKSN_Viewport*, TKSN_MeshRoot*& mesh, int& polygon, float, float,
                                        float*) {
        mesh = under == 2 ? nullptr : surface;
        polygon = 0;
        return under != 0;
    };
    KSN_SetToolProjectHooks(tools);
    MakeUnion(1.0f);
    Select({{6, 1.0f}});

    struct Case {
        const char* name;
        bool option;
        int under; // 0 nothing, 1 the grid, 2 a polygon without a mesh
        bool accepted;
        float x, y;
    } cases[] = {
        {"option off: the press stays", false, 1, true, -0.3f, -0.28f},
        {"option on: the nearest corner", true, 1, true, -0.25f, -0.25f},
        {"option on, nothing under the mouse: refused", true, 0, false, 0, 0},
        {"option on, a polygon of no mesh: refused", true, 2, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        surface = Mesh;
        under = c.under;
        App->snapToClosestVertex = c.option;
        auto scale = MakeDeformer<TKSN_Scale>();
        scale->BeforeUse();
        EXPECT_EQ(scale->OnMouse(Mesh, View, 0, 0, -0.3f, -0.28f), c.accepted);
        if (c.accepted) {
            EXPECT_FLOAT_EQ(scale->PressX, c.x);
            EXPECT_FLOAT_EQ(scale->PressY, c.y);
            scale->OnMouse(Mesh, View, 0, 1, -0.3f, -0.28f);
        }
        scale->AfterUse();
    }
    // Move in Plane cannot snap: the option leaves its press alone.
    App->snapToClosestVertex = true;
    under = 1;
    auto move = MakeDeformer<TKSN_MoveInPlane>();
    move->BeforeUse();
    ASSERT_TRUE(move->OnMouse(Mesh, View, 0, 0, -0.3f, -0.28f));
    EXPECT_FLOAT_EQ(move->PressX, -0.3f);
    move->OnMouse(Mesh, View, 0, 1, -0.3f, -0.28f);
    move->AfterUse();
    App->snapToClosestVertex = false;
    KSN_SetToolProjectHooks(saved);
}

TEST_F(DeformerTest, TypeAndDepthListsFollowTheProtocol)
{
    auto touchup = MakeDeformer<TKSN_TouchupDeformer>();
    touchup->UpdateAllParameters();
    TKSN_Parameter* type = FindParameter(*touchup, "Type");
    ASSERT_NE(type, nullptr);
    EXPECT_EQ((*touchup->Parameters)[touchup->HeaderParameterCount], type) << "ahead of Strength";
    App->SetToolTypeTab(4);
    auto unmorph = AskList(type, KSN_LIST_ITEM_NAME, 2);
    EXPECT_STREQ(unmorph->GetStringParameter(0), "Unmorph");
    EXPECT_EQ(unmorph->intParameters[0], 1) << "unavailable on the modelling tab";
    App->SetToolTypeTab(0);
    EXPECT_EQ(AskList(type, KSN_LIST_ITEM_NAME, 2)->intParameters[0], 0);
    EXPECT_EQ(AskList(type, KSN_LIST_COUNT, 0)->intParameters[0], 3);
    AskList(type, KSN_LIST_CHOOSE, 1);
    EXPECT_EQ(touchup->TouchupType, 1);

    auto scale = MakeDeformer<TKSN_Scale>();
    scale->UpdateAllParameters();
    TKSN_Parameter* depth = FindParameter(*scale, Lang.GetText(144));
    ASSERT_NE(depth, nullptr);
    EXPECT_STREQ(AskList(depth, KSN_LIST_ITEM_NAME, 4)->GetStringParameter(0), "Variable");
    Log.clear();
    AskList(depth, KSN_LIST_CHOOSE, 4);
    EXPECT_EQ(scale->AutoDepthMode, 4);
    EXPECT_GE(IndexOf("push 431"), 0);
    scale->UpdateAllParameters();
    EXPECT_NE(scale->GetParameterFromPtr(&scale->AutoDepthValue), nullptr) << "the Variable mode's depth";
    bool answered = true;
    AskList(depth, KSN_LIST_ITEM_HINT, 0, &answered);
    EXPECT_FALSE(answered);
}

} // namespace
