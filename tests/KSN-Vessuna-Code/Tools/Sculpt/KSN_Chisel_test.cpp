// The chisels on real grids in a front view: the refusals, the morph and
// undo bookkeeping, the per-vertex rules of the four kinds, post-smoothing,
// the axis locks, symmetry and a pick on a subdivision level.
#include "KSN_StrokeTestSupport.h"

#include "KSN_Parameter.h"

namespace {

using namespace ksn_stroke_test;

struct TPushed {
    int Command, Int0;
};
std::vector<TPushed> Pushed;

class ChiselTest : public StrokeFixture {
protected:
    void SetUp() override
    {
        StrokeFixture::SetUp();
        Pushed.clear();
        QOREvents_AssignOnPushEvent([](TQOREvent* event) {
            Pushed.push_back({event->GetCommand(), event->intParameters[0]});
            return true;
        });
    }
    void TearDown() override
    {
        QOREvents_AssignOnPushEvent(nullptr);
        StrokeFixture::TearDown();
    }

    static bool WasPushed(int command, int int0 = -1)
    {
        return std::any_of(Pushed.begin(), Pushed.end(),
                           [&](const TPushed& p) { return p.Command == command && (int0 < 0 || p.Int0 == int0); });
    }
    static bool WasShown(int text)
    {
        const std::string wanted = Lang.GetText(text);
        return std::any_of(Messages.begin(), Messages.end(),
                           [&](const std::string& m) { return m.find(wanted) != std::string::npos; });
    }
    // The mesh's current morph, made now when it has none.
    static TKSN_Morph* CurrentMorph(TKSN_Mesh* mesh)
    {
        Project->CreateCurrentMorphForMeshIfNecessary(mesh);
        return mesh->GetCurrentMorph();
    }
    static std::vector<float> Deltas(TKSN_Mesh* mesh) { return Copy(CurrentMorph(mesh)->GetVertex(0), mesh->GetVCount()); }
    static float Bump(float x, float y) { return 0.05f * std::sin(7.0f * x) * std::cos(5.0f * y); }
};

// [SECTION] Refusals

TEST_F(ChiselTest, WithoutAMorphUnionAStrokeIsRefusedExceptOnTheModellingTab)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0);
    TKSN_Mesh* mesh = grid->Mesh.get();
    SetCulling(1);
    auto* bulge = Make<TKSN_BulgeChisel>();
    const std::vector<float> before = Copy(mesh->resolvedVertices, mesh->GetVCount());
    EXPECT_FALSE(bulge->OnMouse(nullptr, View, 0, 0, 0, 0));
    EXPECT_FALSE(bulge->OnMotion(nullptr, View, 0.01f, 0));
    EXPECT_TRUE(WasShown(1019));
    EXPECT_EQ(std::string(Lang.GetText(1019)), "Please choose a 'current' morph target.");
    EXPECT_TRUE(WasPushed(10, 1));
    EXPECT_EQ(Copy(mesh->resolvedVertices, mesh->GetVCount()), before);

    App->toolTypeTab = KSN_TOOL_TAB_MODELLING;
    const int centre = VertexAt(mesh, 0, 0);
    const float z = mesh->baseVertices[3 * centre + 2];
    Click(bulge, 0, 0);
    EXPECT_GT(mesh->baseVertices[3 * centre + 2], z) << "the base vertices are edited";
    EXPECT_FLOAT_EQ(mesh->resolvedVertices[3 * centre + 2], mesh->baseVertices[3 * centre + 2]);
}

TEST_F(ChiselTest, AWeakCurrentMorphIsRefusedWhenAllMorphsResolve)
{
    struct Case {
        float strength;
        bool edited;
    } cases[] = {{0.05f, false}, {-0.1f, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.strength);
        TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0);
        TKSN_Mesh* mesh = grid->Mesh.get();
        MakeUnion(c.strength);
        TKSN_Morph* morph = CurrentMorph(mesh);
        ASSERT_FLOAT_EQ(morph->Strength, c.strength);
        mesh->ResolveAllMorphs = true;
        Messages.clear();
        SetCulling(1);
        Click(Make<TKSN_BulgeChisel>(), 0, 0);
        const std::vector<float> deltas = Deltas(mesh);
        const bool changed = std::any_of(deltas.begin(), deltas.end(), [](float d) { return d != 0.0f; });
        EXPECT_EQ(changed, c.edited);
        EXPECT_EQ(WasShown(1080), !c.edited);
        grid->Mesh.reset();   // out of the next case's way
    }
}

// [SECTION] Resurface, the morph and undo

TEST_F(ChiselTest, ResurfacePullsEachVertexOntoTheWeightedPlaneAndKeepsResolvedInStep)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0, true, Bump);
    TKSN_Mesh* mesh = grid->Mesh.get();
    MakeUnion(0.5f);
    SetCulling(1);
    auto* resurface = Make<TKSN_ResurfaceChisel>();
    resurface->BuildUp = 0.0f;

    // The footprint and the plane before the stroke.
    const float w = 200.0f / 255.0f;
    std::vector<int> footprint;
    float centre[3] = {0, 0, 0}, normal[3] = {0, 0, 0};
    for (int v = 0; v < mesh->GetVCount(); ++v) {
        const float* p = mesh->resolvedVertices + 3 * v;
        if (std::fabs(p[0]) >= 0.25f || std::fabs(p[1]) >= 0.25f) continue;
        footprint.push_back(v);
        for (int k = 0; k < 3; ++k) {
            centre[k] += p[k];
            normal[k] += mesh->vertexNormals[3 * v + k];
        }
    }
    ASSERT_EQ(footprint.size(), 25u);
    const float length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
    for (int k = 0; k < 3; ++k) {
        centre[k] /= 25.0f;
        normal[k] /= length;
    }
    const std::vector<float> start = Copy(mesh->resolvedVertices, mesh->GetVCount());

    Press(resurface, 0, 0);
    const std::vector<float> deltas = Deltas(mesh);
    for (int v : footprint) {
        const float* p = start.data() + 3 * v;
        const float distance = (centre[0] - p[0]) * normal[0] + (centre[1] - p[1]) * normal[1] +
                               (centre[2] - p[2]) * normal[2];
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(deltas[3 * v + k], w * distance * normal[k], 1e-6f) << v;
    }
    for (int iteration = 0; iteration < 3; ++iteration) {
        SCOPED_TRACE(iteration);
        const float* morph = CurrentMorph(mesh)->GetVertex(0);
        for (int v = 0; v < mesh->GetVCount(); ++v)
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(mesh->resolvedVertices[3 * v + k], mesh->baseVertices[3 * v + k] + 0.5f * morph[3 * v + k],
                            1e-6f);
        Move(resurface, Screen(0.05f * float(iteration + 1)), 0);
    }
    Release(resurface, Screen(0.15f), 0);
}

TEST_F(ChiselTest, ResurfaceOverASingleVertexMovesNothing)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0, true, Bump);
    TKSN_Mesh* mesh = grid->Mesh.get();
    MakeUnion();
    SelectionBrushSize = 0.01f;   // 0.02 in the world; the grid's step is 0.1
    SetCulling(1);
    const std::vector<float> before = Copy(mesh->resolvedVertices, mesh->GetVCount());
    Click(Make<TKSN_ResurfaceChisel>(), 0, 0);
    const std::vector<float> after = Copy(mesh->resolvedVertices, mesh->GetVCount());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_NEAR(after[i], before[i], 1e-7f) << i;
}

TEST_F(ChiselTest, AStrokeRecordsOneMorphNodePerMeshAndOneUndoRestoresTheMorph)
{
    TKSN_Object* left = MakeGrid("Left", 10, -1, -1, 1, 0, true, Bump);
    TKSN_Object* right = MakeGrid("Right", 10, 0.05f, -1, 1, 0, true, Bump);
    MakeUnion();
    std::vector<std::vector<float>> before;
    for (TKSN_Object* object : {left, right}) {
        float* d = CurrentMorph(object->Mesh.get())->GetVertex(0);
        for (int i = 0; i < 3 * object->Mesh->GetVCount(); ++i) d[i] = 0.001f * float(i % 7);
        before.push_back(Deltas(object->Mesh.get()));
    }
    NextFrame();
    SetCulling(0);
    auto* resurface = Make<TKSN_ResurfaceChisel>();
    Press(resurface, 0, Screen(-0.5f));
    for (int i = 1; i <= 4; ++i) Move(resurface, Screen(0.05f * float(i)), Screen(-0.5f));
    Release(resurface, Screen(0.2f), Screen(-0.5f));
    EXPECT_NE(Deltas(left->Mesh.get()), before[0]);
    EXPECT_NE(Deltas(right->Mesh.get()), before[1]);
    ASSERT_EQ(CountNodes(Project->UndoList), 2);
    for (TKSN_Undo_Node* node = Project->UndoList; node; node = node->Next) EXPECT_EQ(node->Kind, 1002);

    NextFrame();
    Project->Undo();
    EXPECT_EQ(Deltas(left->Mesh.get()), before[0]) << "bit for bit";
    EXPECT_EQ(Deltas(right->Mesh.get()), before[1]);
    EXPECT_EQ(Project->UndoList, nullptr);
}

TEST_F(ChiselTest, ASmartStrokeThatReachesTheModelLateIsStillOneUndoStep)
{
    TKSN_Object* grid = MakeGrid("Grid", 10, -0.5f, -0.5f, 1, 0);
    MakeUnion();
    const std::vector<float> before = Deltas(grid->Mesh.get());
    NextFrame();
    SetCulling(2);
    auto* bulge = Make<TKSN_BulgeChisel>();
    Press(bulge, Screen(-1.5f), 0);   // off the model
    EXPECT_EQ(Project->UndoList, nullptr);
    Move(bulge, Screen(-0.2f), 0);
    Move(bulge, 0, 0);
    Release(bulge, 0, 0);
    EXPECT_NE(Deltas(grid->Mesh.get()), before);
    ASSERT_EQ(CountNodes(Project->UndoList), 1);
    NextFrame();
    Project->Undo();
    EXPECT_EQ(Deltas(grid->Mesh.get()), before);
}

// [SECTION] Touchup

TEST_F(ChiselTest, TouchupLeavesFlatAreasAloneAndUnmorphZeroesTheDelta)
{
    SetBrushImage(255);   // weight 1
    struct Case {
        int type;
        bool flat;
    } cases[] = {{TKSN_TouchupChisel::Smooth, true}, {TKSN_TouchupChisel::Sharpen, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        TKSN_Object* grid = MakeGrid("Flat", 20, -1, -1, 2, 0);
        TKSN_Mesh* mesh = grid->Mesh.get();
        MakeUnion();
        SetCulling(1);
        auto* touchup = Make<TKSN_TouchupChisel>();
        touchup->TouchupType = c.type;
        const std::vector<float> before = Copy(mesh->resolvedVertices, mesh->GetVCount());
        Click(touchup, 0, 0);
        const std::vector<float> after = Copy(mesh->resolvedVertices, mesh->GetVCount());
        for (size_t i = 0; i < before.size(); ++i) EXPECT_NEAR(after[i], before[i], 1e-6f) << i;
        grid->Mesh.reset();   // out of the next case's way
    }

    // Smooth does move a bump.
    TKSN_Object* bumpy = MakeGrid("Bumpy", 20, -1, -1, 2, 0);
    TKSN_Mesh* mesh = bumpy->Mesh.get();
    const int peak = VertexAt(mesh, 0, 0);
    MakeUnion();
    TKSN_Morph* morph = CurrentMorph(mesh);
    morph->GetVertex(peak)[2] = 0.2f;
    bumpy->ResolveVertices(true);
    mesh->RecalculateNormals(false);
    auto* smooth = Make<TKSN_TouchupChisel>();
    Click(smooth, 0, 0);
    EXPECT_LT(mesh->resolvedVertices[3 * peak + 2], 0.2f);

    // Unmorph at strength 1 and weight 1 brings the listed deltas to zero in one iteration.
    float* d = morph->GetVertex(0);
    for (int i = 0; i < 3 * mesh->GetVCount(); ++i) d[i] = 0.01f * float(i % 5);
    bumpy->ResolveVertices(true);
    auto* unmorph = Make<TKSN_TouchupChisel>();
    unmorph->TouchupType = TKSN_TouchupChisel::Unmorph;
    _PostSmoothStrength = 1.0f;   // hidden and unused for Unmorph
    Click(unmorph, 0, 0);
    for (int v = 0; v < mesh->GetVCount(); ++v) {
        const float* p = mesh->baseVertices + 3 * v;
        if (std::fabs(p[0]) >= 0.25f || std::fabs(p[1]) >= 0.25f) continue;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(d[3 * v + k], 0.0f, 1e-7f) << v;
    }
}

TEST_F(ChiselTest, TouchupParametersFollowTheTypeAndReduceOptionsExcludeEachOther)
{
    auto* touchup = Make<TKSN_TouchupChisel>();
    touchup->UpdateAllParameters();
    EXPECT_EQ(touchup->GetParameterFromPtr(&_PostSmoothStrength), nullptr) << "hidden for Smooth";
    TKSN_Parameter* spreading = nullptr;
    TKSN_Parameter* shrinking = nullptr;
    TKSN_Parameter* list = nullptr;
    for (TKSN_Parameter* p : *touchup->Parameters) {
        if (p->GetType() == KSN_PARAM_LIST) list = p;
        if (p->GetType() == KSN_PARAM_BOOL_TRIPLET) {
            shrinking = p->First;
            spreading = p->Second;
        }
    }
    ASSERT_NE(list, nullptr);
    ASSERT_NE(spreading, nullptr);
    EXPECT_STREQ(shrinking->GetName(), "Shrinking");
    EXPECT_EQ(spreading->GetData(), &touchup->PreventSpreading);

    touchup->PreventShrinking = true;
    KSN_SetParameterValue(spreading, 1);
    EXPECT_TRUE(touchup->PreventSpreading);
    EXPECT_FALSE(touchup->PreventShrinking);
    KSN_SetParameterValue(shrinking, 1);
    EXPECT_TRUE(touchup->PreventShrinking);
    EXPECT_FALSE(touchup->PreventSpreading);

    auto event = std::make_unique<TQOREvent>(nullptr, list->GetID(), KSN_LIST_CHOOSE);
    event->SetIndex(TKSN_TouchupChisel::Smudge);
    Pushed.clear();
    EXPECT_TRUE(TKSN_TouchupChisel::Type_ListFunc(event.get()));
    EXPECT_EQ(touchup->TouchupType, TKSN_TouchupChisel::Smudge);
    EXPECT_TRUE(WasPushed(431));
    touchup->UpdateAllParameters();
    EXPECT_NE(touchup->GetParameterFromPtr(&_PostSmoothStrength), nullptr);
    EXPECT_EQ(touchup->GetParameterFromPtr(&touchup->PreventSpreading), nullptr);

    // Unmorph is offered disabled on the modelling tab; an unknown index answers "ERROR".
    App->toolTypeTab = KSN_TOOL_TAB_MODELLING;
    auto name = std::make_unique<TQOREvent>(nullptr, list->GetID(), KSN_LIST_ITEM_NAME);
    name->SetIndex(4);
    EXPECT_TRUE(TKSN_TouchupChisel::Type_ListFunc(name.get()));
    EXPECT_EQ(name->intParameters[0], 1);
    name->SetIndex(9);
    EXPECT_TRUE(TKSN_TouchupChisel::Type_ListFunc(name.get()));
    EXPECT_STREQ(name->GetStringParameter(0), "ERROR");
}

// [SECTION] Bulge and Contour

TEST_F(ChiselTest, BulgeShapesAndTheAltKeyAtThePress)
{
    struct Case {
        int type;
        bool alt;
        float sign;   // of the centre vertex's z motion on a grid facing +z
    } cases[] = {
        {TKSN_BulgeChisel::Normal, false, 1},   {TKSN_BulgeChisel::Normal, true, -1},
        {TKSN_BulgeChisel::Mushroom, true, -1}, {TKSN_BulgeChisel::Round, false, 1},
        {TKSN_BulgeChisel::Round, true, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << (c.alt ? " alt" : ""));
        TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0);
        TKSN_Mesh* mesh = grid->Mesh.get();
        MakeUnion();
        SetCulling(2);
        auto* bulge = Make<TKSN_BulgeChisel>();
        bulge->BulgeType = c.type;
        OS.SetAltHeld(c.alt);
        Click(bulge, 0, 0);
        OS.SetAltHeld(false);
        EXPECT_GT(c.sign * mesh->resolvedVertices[3 * VertexAt(mesh, 0, 0) + 2], 1e-4f);
        grid->Mesh.reset();   // out of the next case's way
    }
}

TEST_F(ChiselTest, BulgeSpikeWithoutSharpnessIsNormal)
{
    TKSN_Object* a = MakeGrid("A", 10, -1.8f, -0.5f, 1, 0);
    TKSN_Object* b = MakeGrid("B", 10, 0.8f, -0.5f, 1, 0);
    MakeUnion();
    SetCulling(2);
    auto* normal = Make<TKSN_BulgeChisel>();
    Click(normal, Screen(-1.3f), 0);
    auto* spike = Make<TKSN_BulgeChisel>();
    spike->BulgeType = TKSN_BulgeChisel::Spike;
    spike->Sharpness = 0.0f;
    Click(spike, Screen(1.3f), 0);
    const std::vector<float> da = Deltas(a->Mesh.get()), db = Deltas(b->Mesh.get());
    ASSERT_EQ(da.size(), db.size());
    EXPECT_TRUE(std::any_of(da.begin(), da.end(), [](float d) { return d != 0.0f; }));
    for (size_t i = 0; i < da.size(); ++i) EXPECT_NEAR(da[i], db[i], 1e-6f) << i;
}

TEST_F(ChiselTest, OnlyTheBulgeStrengthGrowsWithTheBrushSize)
{
    auto* bulge = Make<TKSN_BulgeChisel>();
    auto* resurface = Make<TKSN_ResurfaceChisel>();
    SelectionBrushSize = 0.1f;
    const float bulgeSmall = bulge->GetTotalStrength(), resurfaceSmall = resurface->GetTotalStrength();
    SelectionBrushSize = 0.2f;
    EXPECT_NEAR(bulge->GetTotalStrength(), 2.0f * bulgeSmall, 1e-6f);
    EXPECT_NEAR(bulgeSmall, 0.1f * 2.0f * 0.1f, 1e-6f) << "R x 0.1 x strength; R = 0.1 x the zoom 2";
    EXPECT_EQ(resurface->GetTotalStrength(), resurfaceSmall);
}

TEST_F(ChiselTest, ContourMovesNothingAtThePress)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0, true, Bump);
    TKSN_Mesh* mesh = grid->Mesh.get();
    MakeUnion();
    SetCulling(1);
    auto* contour = Make<TKSN_ContourChisel>();
    EXPECT_STREQ(contour->GetName(), "Countour Chisel");
    EXPECT_STREQ(contour->IconName, "Chisel-Countour");
    Press(contour, 0, 0);
    for (float d : Deltas(mesh)) EXPECT_NEAR(d, 0.0f, 1e-5f);
    Move(contour, Screen(0.1f), 0);   // a motion along x squeezes in y
    const std::vector<float> deltas = Deltas(mesh);
    const int above = VertexAt(mesh, 0.1f, 0.1f), below = VertexAt(mesh, 0.1f, -0.1f);
    EXPECT_LT(deltas[3 * above + 1], 0.0f);
    EXPECT_GT(deltas[3 * below + 1], 0.0f);
    Release(contour, Screen(0.1f), 0);
}

// [SECTION] Post-smoothing, locks and symmetry

TEST_F(ChiselTest, PostSmoothingScalesWithTheWeightBelowATenth)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0, true, Bump);
    TKSN_Mesh* mesh = grid->Mesh.get();
    auto* chisel = Make<TKSN_ResurfaceChisel>();
    const int v = VertexAt(mesh, 0.2f, 0.1f);
    auto smoothed = [&](float weight, float post) {
        std::vector<float> deltas(3 * size_t(mesh->GetVCount()), 0.0f);
        const std::vector<float> start = Copy(mesh->resolvedVertices, mesh->GetVCount());
        _PostSmoothStrength = post;
        PrepareAffectedList(mesh);
        AddAffectedVertex(v, weight);
        chisel->PostSmoothMesh(mesh, deltas.data());
        std::copy(start.begin(), start.end(), mesh->resolvedVertices);
        return std::array<float, 3>{deltas[3 * v], deltas[3 * v + 1], deltas[3 * v + 2]};
    };
    const auto full = smoothed(0.1f, 0.8f), half = smoothed(0.05f, 0.8f), heavy = smoothed(1.0f, 0.8f);
    ASSERT_GT(std::fabs(full[2]), 1e-5f);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(half[k], 0.5f * full[k], 1e-7f);
        EXPECT_NEAR(heavy[k], full[k], 1e-7f) << "weights of 0.1 and more smooth fully";
    }
    const auto none = smoothed(1.0f, 0.0f);
    EXPECT_EQ(none, (std::array<float, 3>{0, 0, 0}));
}

TEST_F(ChiselTest, LockedAxesHoldInTheDeformationAndThePostSmoothing)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0, true, Bump);
    TKSN_Mesh* mesh = grid->Mesh.get();
    MakeUnion();
    SetCulling(1);
    LockAxes[0] = LockAxes[1] = true;
    _PostSmoothStrength = 1.0f;
    auto* bulge = Make<TKSN_BulgeChisel>();
    bulge->BulgeType = TKSN_BulgeChisel::Mushroom;   // along each tilted normal
    Press(bulge, 0, 0);
    Move(bulge, Screen(0.1f), 0);
    Release(bulge, Screen(0.1f), 0);
    const std::vector<float> deltas = Deltas(mesh);
    bool zMoved = false;
    for (int v = 0; v < mesh->GetVCount(); ++v) {
        EXPECT_EQ(deltas[3 * v], 0.0f) << v;
        EXPECT_EQ(deltas[3 * v + 1], 0.0f) << v;
        zMoved |= deltas[3 * v + 2] != 0.0f;
    }
    EXPECT_TRUE(zMoved);
}

TEST_F(ChiselTest, SymmetryMirrorsTheDisplacementToEachPartner)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0);
    TKSN_Mesh* mesh = grid->Mesh.get();
    const int n = mesh->GetVCount();
    for (int map = 0; map < 2; ++map)
        ASSERT_NE(mesh->vertexPartners[map], nullptr) << "the mesh keeps one partner map per direction";
    for (int v = 0; v < n; ++v) {
        const float* p = mesh->resolvedVertices + 3 * v;
        const int mirror = VertexAt(mesh, -p[0], p[1]);
        mesh->vertexPartners[0][v] = p[0] > 0.05f ? mirror : v;   // the left half is the master side
        mesh->vertexPartners[1][v] = mirror;
    }
    mesh->SetActiveSymmetryMap(false, false);
    grid->SymmetryEnabled = true;
    Project->UseSymmetry = true;
    MakeUnion();
    SetCulling(0);
    auto* smudge = Make<TKSN_TouchupChisel>();
    smudge->TouchupType = TKSN_TouchupChisel::Smudge;
    Press(smudge, 0, 0);
    Move(smudge, Screen(0.05f), Screen(0.02f));
    Release(smudge, Screen(0.05f), Screen(0.02f));

    const std::vector<float> deltas = Deltas(mesh);
    const int onPlane = VertexAt(mesh, 0, 0), master = VertexAt(mesh, -0.1f, 0), partner = VertexAt(mesh, 0.1f, 0);
    ASSERT_GT(deltas[3 * master], 0.0f) << "the smudge moves along +x";
    EXPECT_EQ(deltas[3 * onPlane], 0.0f) << "a vertex on the plane keeps its x";
    EXPECT_GT(deltas[3 * onPlane + 1], 0.0f);
    EXPECT_FLOAT_EQ(deltas[3 * partner], -deltas[3 * master]);
    EXPECT_FLOAT_EQ(deltas[3 * partner + 1], deltas[3 * master + 1]);
}

// [SECTION] Subdivision levels

// A subdivision level whose polygon 4 p + k stems from the owner's polygon p.
class TLevel : public TKSN_MeshRoot {
public:
    int GetOwnerIP(int polygon) override { return polygon / 4; }
};

TEST_F(ChiselTest, APickOnASubdivisionLevelEditsTheOwnerMeshsMorph)
{
    TKSN_Object* grid = MakeGrid("Grid", 20, -1, -1, 2, 0);
    TKSN_Mesh* mesh = grid->Mesh.get();
    TLevel level;
    level.SetOwnerMesh(mesh);
    PickLevel = &level;
    MakeUnion();
    SetCulling(2);
    auto* bulge = Make<TKSN_BulgeChisel>();
    Click(bulge, 0, 0);
    PickLevel = nullptr;
    EXPECT_EQ(SmartCulling_Mesh, static_cast<TKSN_MeshRoot*>(mesh));
    EXPECT_GT(Deltas(mesh)[3 * VertexAt(mesh, 0, 0) + 2], 0.0f);
    EXPECT_TRUE(mesh->GetCustomBooleanProperty(KSN_BRUSH_V4_TOUCHED));
}

} // namespace
