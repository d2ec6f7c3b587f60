// Sculpt strokes driven like the viewport panel does, on a subdivided grid
// in a real project: the layer checks and their messages, what a stroke
// moves and what it leaves, masking by hidden polygons, and the eraser.
#include "KSN_ProjectEditTestSupport.h"
#include "KSN_SculptBrush.h"
#include "KSN_SculptLayer.h"
#include "KsnTestSupport.h"
#include "QORMemory.h"
#include "QORThreads.h"
#include "KSN_SubDMesh_Bake.h"
#include "../../Scene/KSN_SubDTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace ksn_edit_test;

std::vector<std::string> Warnings;

class SculptStrokeTest : public ProjectEditFixture {
protected:
    TKSN_Mesh* Mesh = nullptr;
    TKSN_SubDMesh* Top = nullptr;
    TKSN_Viewport* View = nullptr;
    std::unique_ptr<TKSN_SculptBrush> Brush;

    void SetUp() override
    {
        ProjectEditFixture::SetUp();
        Warnings.clear();
        OS.AssignOnWarningMessage([](char* text) { Warnings.push_back(text); });
        SelectionBrushSize = 0.1f;
        SelectionBrushStrength = 1.0f;
        SculptBlendMode = 2;

        auto mesh = SubDTest::MakeFlatGrid(7);
        TKSN_Object* object = Project->CreateNewObject();
        object->SetName("Grid");
        mesh->OwnerObject = object;
        mesh->SubDDynamic = false;
        mesh->TargetMaxSubDPolygonCount = 49 * 16;   // two levels above the fan
        Mesh = mesh.get();
        object->Mesh = std::move(mesh);
        // Current before the levels are built: making an object current
        // rebuilds every mesh's shape (and drops its levels).
        Project->SetCurrentObject(object);
        CreateSubDsForMesh(Mesh, Mesh->GetTargetMaxSubDLevel());
        Top = Mesh->GetSubD_MaxLevel();

        View = App->viewports[0];
        FlatView();
        Brush = std::make_unique<TKSN_SculptBrush>();
        Brush->PostSmooth = 0.0f;
    }
    void TearDown() override
    {
        Brush.reset();
        OS.AssignOnWarningMessage(nullptr);
        ProjectEditFixture::TearDown();
    }

    // A finer top level, so that the vertex lists are long enough to be split between slots.
    void UseFinerLevel()
    {
        Mesh->DestroyAllSubDs();
        Mesh->TargetMaxSubDPolygonCount = 49 * 256;
        CreateSubDsForMesh(Mesh, Mesh->GetTargetMaxSubDLevel());
        Top = Mesh->GetSubD_MaxLevel();
    }

    // World x, y straight onto the viewport's -1..1 square (again after
    // anything that lets the viewport recompute its matrices).
    void FlatView()
    {
        for (int i = 0; i < 16; ++i) View->CombinedMatrix[i] = (i % 5 == 0) ? 1.0f : 0.0f;
        View->Aspect = 1.0f;
    }
    TKSN_SculptLayer* AddLayer(const char* name)
    {
        auto* layer = dynamic_cast<TKSN_SculptLayer*>(Project->SculptLayers->CreateNewLayer());
        layer->SetName("%s", name);
        return layer;
    }
    // Press, motions through the points, release, as the viewport panel does.
    void Stroke(TKSN_SculptBrush& brush, const std::vector<std::array<float, 2>>& points)
    {
        brush.BeforeUse();
        brush.OnMouse(Mesh, View, 0, 0, points.front()[0], points.front()[1]);
        for (size_t i = 1; i + 1 < points.size(); ++i) brush.OnMotion(Mesh, View, points[i][0], points[i][1]);
        brush.OnMouse(Mesh, View, 0, 1, points.back()[0], points.back()[1]);
        brush.AfterUse();
    }
    // Whether (x, y) lies inside the brush box around (cx, cy), with a margin.
    static int Inside(float x, float y, float cx, float cy, float margin)
    {
        return std::fabs(x - cx) <= 0.1f - margin && std::fabs(y - cy) <= 0.1f - margin;
    }
    static int Outside(float x, float y, float cx, float cy, float margin)
    {
        return std::fabs(x - cx) > 0.1f + margin || std::fabs(y - cy) > 0.1f + margin;
    }
};

TEST_F(SculptStrokeTest, WithoutAUsableLayerNothingMovesAndTheUserIsToldOnce)
{
    ASSERT_NE(Top, nullptr);
    const std::vector<float> before(Top->resolvedVertices, Top->resolvedVertices + 3 * Top->GetVCount());
    Stroke(*Brush, {{0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f}});
    ASSERT_EQ(Warnings.size(), 1u);
    EXPECT_EQ(Warnings[0], "Please select or create a displacement layer");

    struct Case {
        bool locked, hidden;
        const char* message;
    } cases[] = {{true, false, "The displacement layer 'L1' is locked"},
                 {false, true, "The displacement layer 'L1' is hidden"}};
    TKSN_SculptLayer* layer = AddLayer("L1");
    for (const Case& c : cases) {
        Warnings.clear();
        layer->Unlock();
        layer->Unhide();
        if (c.locked) layer->Lock();
        if (c.hidden) layer->Hide();
        Stroke(*Brush, {{0.5f, 0.5f}, {0.5f, 0.5f}});
        ASSERT_FALSE(Warnings.empty());
        EXPECT_EQ(Warnings.back(), c.message);
    }
    for (size_t i = 0; i < before.size(); ++i) ASSERT_EQ(Top->resolvedVertices[i], before[i]) << i;
}

TEST_F(SculptStrokeTest, AStrokeRaisesWhatItCoversAndLeavesTheRestBitForBit)
{
    ASSERT_NE(Top, nullptr);
    TKSN_SculptLayer* layer = AddLayer("L1");
    layer->SetStrength(0.5f);
    const int n = Top->GetVCount();
    const std::vector<float> before(Top->resolvedVertices, Top->resolvedVertices + 3 * n);
    // Two dabs at one point, one at another that overlaps it partly.
    Stroke(*Brush, {{0.45f, 0.5f}, {0.45f, 0.5f}, {0.6f, 0.5f}});

    const float* D = KSN_GetToolProjectHooks().GetSculptLayerDeltas(Mesh, n, false);
    ASSERT_NE(D, nullptr) << "the level got data for the layer";
    const float A = 0.005f * Top->boundsDiagonal;
    int moved = 0;
    for (int v = 0; v < n; ++v) {
        const float x = before[size_t(3 * v)], y = before[size_t(3 * v + 1)];
        const float* R = Top->resolvedVertices + 3 * v;
        if (Outside(x, y, 0.45f, 0.5f, 1e-3f) && Outside(x, y, 0.6f, 0.5f, 1e-3f)) {
            for (int i = 0; i < 3; ++i) ASSERT_EQ(R[i], before[size_t(3 * v + i)]) << v;
            continue;
        }
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(R[i], before[size_t(3 * v + i)] + 0.5f * D[3 * v + i], 1e-6f) << "R = R without the layer + s D";
        // Away from the box edges: k dabs hold it, each moved it A along +z.
        const int k = 2 * Inside(x, y, 0.45f, 0.5f, 1e-3f) + Inside(x, y, 0.6f, 0.5f, 1e-3f);
        const bool nearEdge = !Inside(x, y, 0.45f, 0.5f, 1e-3f) && !Outside(x, y, 0.45f, 0.5f, 1e-3f);
        if (nearEdge || (!Inside(x, y, 0.6f, 0.5f, 1e-3f) && !Outside(x, y, 0.6f, 0.5f, 1e-3f))) continue;
        ++moved;
        EXPECT_NEAR(D[3 * v + 2], float(k) * A, 0.002f * float(k) * A) << v;
        EXPECT_NEAR(D[3 * v], 0.0f, 1e-7f) << "along the normal only";
    }
    EXPECT_GT(moved, 10);
    // The octree's bounds grew with the raised vertices, so later dabs and
    // picks still find them.
    float highest = 0.0f;
    for (int v = 0; v < n; ++v) highest = std::max(highest, Top->resolvedVertices[3 * v + 2]);
    ASSERT_TRUE(Top->octreeRoot);
    EXPECT_GE(Top->octreeRoot->ContentMax[2], highest);
    EXPECT_GT(highest, 0.0f);

    // Alt held: the press and the release (two dabs) sink what they cover.
    const int middle = [&] {
        int best = 0;
        for (int v = 1; v < n; ++v)
            if (std::hypot(before[size_t(3 * v)] - 0.3f, before[size_t(3 * v + 1)] - 0.3f) <
                std::hypot(before[size_t(3 * best)] - 0.3f, before[size_t(3 * best + 1)] - 0.3f))
                best = v;
        return best;
    }();
    OS.SetAltHeld(true);
    Stroke(*Brush, {{0.3f, 0.3f}, {0.3f, 0.3f}});
    OS.SetAltHeld(false);
    EXPECT_NEAR(D[3 * middle + 2], -2.0f * A, 0.004f * A);
}

TEST_F(SculptStrokeTest, TheProjectsBrushTextureScalesTheChange)
{
    ASSERT_NE(Top, nullptr);
    AddLayer("L1");
    const int n = Top->GetVCount();
    // A black brush image (every texel), so the tiling's coordinates do not matter.
    auto* pixels = static_cast<unsigned char*>(QORalloc(4 * 4 * 4));
    for (int i = 0; i < 16; ++i) {
        pixels[4 * i] = pixels[4 * i + 1] = pixels[4 * i + 2] = 0;
        pixels[4 * i + 3] = 255;
    }
    Project->CreateBrushFromData(pixels, 4, 4, 4, nullptr);
    ASSERT_NE(Project->GetCurrentColorizeTextureBrushImage(), nullptr);
    Stroke(*Brush, {{0.5f, 0.5f}, {0.5f, 0.5f}});   // press and release: two dabs
    const float* D = KSN_GetToolProjectHooks().GetSculptLayerDeltas(Mesh, n, false);
    ASSERT_NE(D, nullptr);
    const float A = 0.005f * Top->boundsDiagonal;
    int lowered = 0;
    for (int v = 0; v < n; ++v) {
        ASSERT_LE(D[3 * v + 2], 0.0f) << v;
        if (std::fabs(D[3 * v + 2] + 2.0f * A) < 0.004f * A) ++lowered;
    }
    EXPECT_GT(lowered, 4) << "a black texel reverses the brush's change";
}

TEST_F(SculptStrokeTest, HiddenPolygonsMaskTheBrushAndTheEraserTakesTheLayerAway)
{
    ASSERT_NE(Top, nullptr);
    AddLayer("L1");
    // Hide every base polygon of the left half.
    for (int p = 0; p < Mesh->GetPCount(); ++p)
        if (p % 7 < 4) Mesh->PolygonFlags[p] |= QORPoly_Hidden;
    const int n = Top->GetVCount();
    const std::vector<float> before(Top->resolvedVertices, Top->resolvedVertices + 3 * n);
    Stroke(*Brush, {{0.5f, 0.5f}, {0.5f, 0.5f}});
    const float* D = KSN_GetToolProjectHooks().GetSculptLayerDeltas(Mesh, n, false);
    ASSERT_NE(D, nullptr);
    int raised = 0;
    for (int v = 0; v < n; ++v) {
        const float x = Top->baseVertices[3 * v];
        if (x < 4.0f / 7.0f - 1e-3f) {
            EXPECT_EQ(D[3 * v + 2], 0.0f) << "all of its polygons are hidden";
        } else if (D[3 * v + 2] > 0.0f) {
            ++raised;
        }
    }
    EXPECT_GT(raised, 0);

    TKSN_SculptEraserBrush eraser;
    Stroke(eraser, {{0.5f, 0.5f}, {0.5f, 0.5f}});
    for (int v = 0; v < n; ++v)
        for (int i = 0; i < 3; ++i)
            ASSERT_NEAR(Top->resolvedVertices[3 * v + i], before[size_t(3 * v + i)], 1e-6f) << v;
}

TEST_F(SculptStrokeTest, AStrokeIsOneUndoStepThatRestoresLayerPositionsAndNormalsExactly)
{
    ASSERT_NE(Top, nullptr);
    TKSN_SculptLayer* layer = AddLayer("L1");
    const int n = Top->GetVCount(), p = Top->GetPCount();
    auto snapshot = [&] {
        std::vector<float> all(Top->resolvedVertices, Top->resolvedVertices + 3 * n);
        all.insert(all.end(), Top->vertexNormals, Top->vertexNormals + 3 * n);
        all.insert(all.end(), Top->polygonNormals, Top->polygonNormals + 3 * p);
        return all;
    };
    // A first stroke makes the layer's data; the second changes it.
    Stroke(*Brush, {{0.3f, 0.3f}, {0.32f, 0.3f}});
    const float* D = KSN_GetToolProjectHooks().GetSculptLayerDeltas(Mesh, n, false);
    ASSERT_NE(D, nullptr);
    const std::vector<float> d1(D, D + 3 * n);
    const std::vector<float> s1 = snapshot();
    ++App->frameCounter;   // strokes come in different frames
    Stroke(*Brush, {{0.5f, 0.5f}, {0.55f, 0.5f}, {0.6f, 0.52f}});
    const std::vector<float> d2(D, D + 3 * n);
    const std::vector<float> s2 = snapshot();
    ASSERT_NE(d1, d2);

    Project->Undo();
    ASSERT_EQ(Mesh->GetSubD_MaxLevel(), Top);
    ASSERT_EQ(KSN_GetToolProjectHooks().GetSculptLayerDeltas(Mesh, n, false), D);
    EXPECT_TRUE(std::equal(d1.begin(), d1.end(), D)) << "one undo takes the whole stroke back";
    EXPECT_EQ(snapshot(), s1);
    Project->Redo();
    EXPECT_TRUE(std::equal(d2.begin(), d2.end(), D));
    EXPECT_EQ(snapshot(), s2);
    Project->Undo();
    Project->Undo();
    for (int i = 0; i < 3 * n; ++i) ASSERT_EQ(D[i], 0.0f) << "new data comes back as zeros";
    (void)layer;
}

TEST_F(SculptStrokeTest, WithSymmetryEveryVertexStaysItsPartnersMirrorImage)
{
    ASSERT_NE(Top, nullptr);
    AddLayer("L1");
    Mesh->symmetryAxis = 0;
    Mesh->symmetryOffset = 0.5f;
    Project->UseSymmetry = true;
    const int n = Top->GetVCount();
    // Across the plane, partly over it, and once on the mirror side only.
    Stroke(*Brush, {{0.55f, 0.5f}, {0.62f, 0.45f}, {0.7f, 0.6f}});
    TKSN_SculptSmoothBrush smooth;
    Stroke(smooth, {{0.52f, 0.5f}, {0.6f, 0.5f}});
    const float* D = KSN_GetToolProjectHooks().GetSculptLayerDeltas(Mesh, n, false);
    ASSERT_NE(D, nullptr);
    const int32_t* partners = Top->vertexPartners[0];
    ASSERT_NE(partners, nullptr);
    int mirrored = 0, raised = 0;
    for (int v = 0; v < n; ++v) {
        const int p = partners[v];
        if (D[3 * v + 2] != 0.0f) ++raised;
        if (p < 0 || p == v) continue;
        ++mirrored;
        const float* a = Top->resolvedVertices + 3 * v;
        const float* b = Top->resolvedVertices + 3 * p;
        EXPECT_NEAR(a[0] - 0.5f, 0.5f - b[0], 1e-6f) << v;
        EXPECT_NEAR(a[1], b[1], 1e-6f) << v;
        EXPECT_NEAR(a[2], b[2], 1e-6f) << v;
        EXPECT_NEAR(D[3 * v], -D[3 * p], 1e-6f) << v;
    }
    EXPECT_GT(mirrored, n / 3) << "map A pairs the positive side";
    EXPECT_GT(raised, 20);
}

TEST_F(SculptStrokeTest, MovedVerticesGetTheirNormalsAndTheirLeavesHoldThemAndTheirPolygonsNormals)
{
    ASSERT_NE(Top, nullptr);
    AddLayer("L1");
    Mesh->symmetryAxis = 0;
    Mesh->symmetryOffset = 0.5f;
    SelectionBrushSize = 0.2f;
    TThreadCruncher* saved = ThreadCruncher;
    TThreadCruncher pool(8);
    ThreadCruncher = &pool;
    // Without symmetry the search's leaves grow on the pool; with it the
    // partners' leaves are looked up one by one.
    for (bool symmetry : {false, true}) {
        SCOPED_TRACE(symmetry ? "symmetry" : "no symmetry");
        Project->UseSymmetry = symmetry;
        const int n = Top->GetVCount();
        const std::vector<float> before(Top->resolvedVertices, Top->resolvedVertices + 3 * n);
        // Dabs at one point: a vertex moves only while listed, so its leaf
        // has seen its polygons' latest normals (a later dab elsewhere may
        // turn them again, growing only the leaves of what it lists).
        Stroke(*Brush, {{0.55f, 0.5f}, {0.55f, 0.5f}, {0.55f, 0.5f}});
        ++App->frameCounter;
        int moved = 0;
        for (TQOROctreeNode<int>* leaf : Top->GetBottomLevelOctreeNodeList())
            for (int k = leaf->VertexBegin; k < leaf->VertexEnd; ++k) {
                const int v = Top->visibleVertices[k];
                const float* R = Top->resolvedVertices + 3 * v;
                if (std::equal(R, R + 3, before.begin() + 3 * v)) continue;
                ++moved;
                for (int i = 0; i < 3; ++i) {
                    ASSERT_GE(R[i], leaf->ContentMin[i]) << v;
                    ASSERT_LE(R[i], leaf->ContentMax[i]) << v;
                }
                const int* row = Top->vertexPolygons[v];
                for (int j = 1; j <= row[0]; ++j)
                    for (int i = 0; i < 3; ++i) {
                        ASSERT_GE(Top->polygonNormals[3 * row[j] + i], leaf->NormalMin[i]) << v;
                        ASSERT_LE(Top->polygonNormals[3 * row[j] + i], leaf->NormalMax[i]) << v;
                    }
            }
        EXPECT_GT(moved, 20);
        // The moved vertices' normals are those of the plain normal pass.
        std::vector<TKSN_AffectedVertex> list;
        for (int v = 0; v < n; ++v)
            if (!std::equal(Top->resolvedVertices + 3 * v, Top->resolvedVertices + 3 * v + 3, before.begin() + 3 * v))
                list.push_back({v, 1.0f});
        const std::vector<float> normals(Top->vertexNormals, Top->vertexNormals + 3 * n);
        KSN_RecalculateNormalsAfterSculpt(Top, list.data(), int(list.size()), nullptr, 0);
        for (const TKSN_AffectedVertex& e : list)
            for (int i = 0; i < 3; ++i)
                ASSERT_EQ(Top->vertexNormals[3 * e.Vertex + i], normals[size_t(3 * e.Vertex + i)]) << e.Vertex;
    }
    ThreadCruncher = saved;
    Project->UseSymmetry = false;
}

TEST_F(SculptStrokeTest, OneSlotAndEightSlotsGiveTheSameStroke)
{
    ASSERT_NE(Top, nullptr);
    UseFinerLevel();
    ASSERT_NE(Top, nullptr);
    ASSERT_GT(Top->GetVCount(), 3000);
    Mesh->ValidateAllInOSpace(false);   // the level's first bake, before either run
    AddLayer("L1");
    Brush->PostSmooth = 0.5f;
    SelectionBrushSize = 0.3f;
    const int n = Top->GetVCount();
    const std::vector<std::array<float, 2>> path = {{0.4f, 0.4f}, {0.5f, 0.45f}, {0.6f, 0.55f}, {0.62f, 0.6f}};

    TThreadCruncher* saved = ThreadCruncher;
    ThreadCruncher = nullptr;   // every range on this thread
    Stroke(*Brush, path);
    TKSN_SculptSmoothBrush smooth;
    Stroke(smooth, path);
    const float* D = KSN_GetToolProjectHooks().GetSculptLayerDeltas(Mesh, n, false);
    ASSERT_NE(D, nullptr);
    const std::vector<float> serialD(D, D + 3 * n);
    const std::vector<float> serialR(Top->resolvedVertices, Top->resolvedVertices + 3 * n);
    ++App->frameCounter;
    Project->Undo();
    ++App->frameCounter;
    Project->Undo();

    ASSERT_TRUE(std::all_of(D, D + 3 * n, [](float x) { return x == 0.0f; })) << "back to the start";
    FlatView();
    TThreadCruncher pool(8);
    ThreadCruncher = &pool;
    Stroke(*Brush, path);
    Stroke(smooth, path);
    ThreadCruncher = saved;
    int changed = 0;
    for (int i = 0; i < 3 * n; ++i) {
        ASSERT_NEAR(D[i], serialD[size_t(i)], 1e-6f) << i;
        ASSERT_NEAR(Top->resolvedVertices[i], serialR[size_t(i)], 1e-6f) << i;
        if (serialD[size_t(i)] != 0.0f) ++changed;
    }
    EXPECT_GT(changed, 1000);
}

// A dab whose kind reads no neighbours, without symmetry, runs the layer,
// the polygon normals and the leaves in one hand-out of the pool: the same
// bytes as the layer pass followed by the normal and bounds pass, on one
// slot and on eight, for lists long enough to be split and for short ones.
TEST_F(SculptStrokeTest, TheOneHandOutDabGivesTheBytesOfTheSeparatePasses)
{
    ASSERT_NE(Top, nullptr);
    UseFinerLevel();
    ASSERT_NE(Top, nullptr);
    const int n = Top->GetVCount(), polygons = Top->GetPCount();
    const std::vector<float> R0(Top->resolvedVertices, Top->resolvedVertices + 3 * n);
    const std::vector<float> N0(Top->vertexNormals, Top->vertexNormals + 3 * n);
    const std::vector<float> P0(Top->polygonNormals, Top->polygonNormals + 3 * polygons);
    struct Result {
        std::vector<float> D, R, N, P;
        int Listed = 0;
    };
    // Three dabs from the undisturbed level; fused or not, on slots (0: none).
    auto run = [&](bool fused, int slots, float size, eKSN_SculptKind kind) {
        TThreadCruncher* saved = ThreadCruncher;
        std::unique_ptr<TThreadCruncher> pool;
        if (slots > 0) pool = std::make_unique<TThreadCruncher>(slots);
        ThreadCruncher = pool.get();
        std::copy(R0.begin(), R0.end(), Top->resolvedVertices);
        std::copy(N0.begin(), N0.end(), Top->vertexNormals);
        std::copy(P0.begin(), P0.end(), Top->polygonNormals);
        Result out;
        out.D.assign(size_t(3 * n), 0.0f);
        SelectionBrushSize = size;
        TKSN_SculptBrush brush;
        brush.PostSmooth = 0.0f;
        for (int i = 0; i < 3; ++i) {
            PrepareAffectedList(Top);
            brush.GenerateAffectedLists(Top, View, 0.45f + 0.05f * float(i), 0.5f);
            out.Listed = std::max(out.Listed, gAffectedVertexCount);
            TKSN_SculptDab dab;
            dab.Kind = kind;
            dab.Amplitude = kind == eKSN_SculptKind::Eraser ? 1.0f : 0.01f;
            dab.Strength = 0.7f;
            dab.LayerStrength = 0.8f;
            std::copy(brush.NormalSum, brush.NormalSum + 3, dab.Normal);
            if (fused) {
                EXPECT_TRUE(brush.ApplyDabWithNormalsAndBounds(Top, out.D.data(), dab));
            } else {
                KSN_ApplySculptDab(Top, out.D.data(), gAffectedVertices, gAffectedVertexCount, dab);
                brush.RecalculateNormalsAndBounds(Top);
            }
        }
        ThreadCruncher = saved;
        out.R.assign(Top->resolvedVertices, Top->resolvedVertices + 3 * n);
        out.N.assign(Top->vertexNormals, Top->vertexNormals + 3 * n);
        out.P.assign(Top->polygonNormals, Top->polygonNormals + 3 * polygons);
        return out;
    };
    auto same = [](const std::vector<float>& a, const std::vector<float>& b) {
        return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
    };
    for (const float size : {0.5f, 0.05f})
        for (const eKSN_SculptKind kind : {eKSN_SculptKind::Sculpt, eKSN_SculptKind::Eraser}) {
            SCOPED_TRACE(testing::Message() << "size " << size << ", kind " << int(kind));
            const Result reference = run(false, 0, size, kind);
            EXPECT_GT(reference.Listed, size > 0.1f ? 2000 : 10);
            for (const int slots : {0, 1, 8}) {
                SCOPED_TRACE(testing::Message() << slots << " slots");
                const Result fused = run(true, slots, size, kind);
                EXPECT_TRUE(same(fused.D, reference.D));
                EXPECT_TRUE(same(fused.R, reference.R));
                EXPECT_TRUE(same(fused.N, reference.N));
                EXPECT_TRUE(same(fused.P, reference.P));
            }
        }
}

TEST_F(SculptStrokeTest, KeyBBakesTheSculptIntoTheDisplacementMapAsOneUndoStep)
{
    ASSERT_NE(Top, nullptr);
    TBoxRecorder boxes;
    OS.SetDialogProvider(&boxes);
    TQORMaterial* material = SubDTest::Material(*Mesh, 0);
    material->CacheChannels();
    auto map = SubDTest::BindMap(*Mesh, material->DisplacementChannel, 64, 200);
    material->DisplacementChannel->Strength = 0.3f;
    AddLayer("L1");
    Stroke(*Brush, {{0.5f, 0.5f}, {0.5f, 0.5f}});
    ++App->frameCounter;

    Brush->OnKeyPress(Mesh, 'b');
    ASSERT_FALSE(boxes.Boxes.empty());
    EXPECT_EQ(boxes.Boxes.front(), "Baking displacement map(s)");
    const unsigned char* pixels = map->GetPixels();
    EXPECT_GT(pixels[(32 * 64 + 32) * 3], 200) << "the raised middle is bright";
    EXPECT_EQ(pixels[0], 200) << "far outside the island";
    EXPECT_NE(material->DisplacementChannel->Strength, 0.3f);

    Project->Undo();
    pixels = map->GetPixels();
    for (int i = 0; i < 64 * 64 * 3; ++i) ASSERT_EQ(pixels[i], 200) << i;
    material = SubDTest::Material(*Mesh, 0);
    material->CacheChannels();
    EXPECT_FLOAT_EQ(material->DisplacementChannel->Strength, 0.3f);
    OS.SetDialogProvider(&Provider);
}

TEST_F(SculptStrokeTest, KeysSwitchTheBlendModeAndTheSnapFlag)
{
    TBoxRecorder boxes;
    OS.SetDialogProvider(&boxes);
    Brush->OnKeyPress(Mesh, 'm');
    EXPECT_EQ(SculptBlendMode, 1) << "mode 2 gives mode 1";
    Brush->OnKeyPress(Mesh, 'm');
    EXPECT_EQ(SculptBlendMode, 2);
    const bool snap = SculptSnapToNormals;
    Brush->OnKeyPress(Mesh, 'n');
    EXPECT_NE(SculptSnapToNormals, snap);
    Brush->OnKeyPress(Mesh, 'n');
    EXPECT_EQ(SculptSnapToNormals, snap);
    OS.SetDialogProvider(&Provider);
}

} // namespace
