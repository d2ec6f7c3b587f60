// The whole dab in one hand-out of the pool (search, layer, normals and
// bounds as phases) against the search followed by the separate passes, on
// a polygon-mesh sphere: the same bytes, lists, averaged normal and octree
// bounds on no pool, one slot and eight; an exception from a vertex's
// texture coordinates reaches the caller and leaves the pool usable.
#include "KSN_Mesh.h"
#include "KSN_SculptBrush.h"
#include "KsnTestSphere.h"
#include "QOROctree.h"
#include "QORThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr int kRings = 200, kSegments = 200;

std::unique_ptr<TKSN_Mesh> MakeSphere()
{
    auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
    TKSN_Mesh& m = *mesh;
    KsnFillSphere(m, kRings, kSegments);
    // A few hidden polygons on the front, which mask their vertices.
    for (int q = 100 * kSegments + 45; q < 100 * kSegments + 52; ++q) m.PolygonFlags[q] = QORPoly_Hidden;
    KsnFinishSphere(m);
    return mesh;
}

struct TResult {
    std::vector<float> D, R, N, P, Bounds;
    std::vector<TKSN_AffectedVertex> Listed;
    std::vector<int32_t> Polygons;   // sorted
    float Normal[3] = {0, 0, 0};
};

void CollectBounds(TQOROctreeNode<int>* node, std::vector<float>& out)
{
    if (!node) return;
    for (int i = 0; i < 3; ++i) {
        out.push_back(node->ContentMin[i]);
        out.push_back(node->ContentMax[i]);
        out.push_back(node->NormalMin[i]);
        out.push_back(node->NormalMax[i]);
    }
    for (auto& child : node->Children) CollectBounds(child.get(), out);
}

bool Same(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(SculptDabInOneHandOut, GivesTheListsBytesAndBoundsOfTheSearchAndTheSeparatePasses)
{
    struct TDabCase {
        const char* Why;
        eKSN_SculptKind Kind;
        float Size;
        bool Texture;
        bool SlowVertices = false;   // a few texture look-ups hold their thread for milliseconds
    } cases[] = {
        {"sculpt, a dab listing thousands", eKSN_SculptKind::Sculpt, 0.3f, false},
        {"eraser", eKSN_SculptKind::Eraser, 0.3f, false},
        {"sculpt with a brush texture", eKSN_SculptKind::Sculpt, 0.3f, true},
        {"a small dab, on this thread", eKSN_SculptKind::Sculpt, 0.04f, false},
        // The other threads wait long enough for the layer to go to sleep.
        {"a few vertices slow to map", eKSN_SculptKind::Sculpt, 0.3f, true, true},
    };
    const unsigned char texture[8] = {0, 0, 0, 255, 255, 255, 255, 255};
    const float savedSize = SelectionBrushSize;
    for (const TDabCase& c : cases) {
        SCOPED_TRACE(c.Why);
        auto run = [&](bool oneHandOut, int slots) {
            TThreadCruncher* saved = ThreadCruncher;
            std::unique_ptr<TThreadCruncher> pool;
            if (slots > 0) pool = std::make_unique<TThreadCruncher>(slots);
            ThreadCruncher = pool.get();
            auto mesh = MakeSphere();
            TKSN_Mesh* m = mesh.get();
            TResult out;
            out.D.assign(size_t(3 * m->GetVCount()), 0.0f);
            SelectionBrushSize = c.Size;
            TKSN_SculptBrush brush;
            for (int i = 0; i < 4; ++i) {
                const float x = -0.3f + 0.07f * float(i), y = 0.1f * float(i % 2);
                PrepareAffectedList(m);
                TKSN_SculptDab dab;
                dab.Kind = c.Kind;
                dab.Amplitude = c.Kind == eKSN_SculptKind::Eraser ? 0.6f : 0.01f;
                dab.Strength = 0.7f;
                dab.LayerStrength = 0.8f;
                if (c.Texture) {
                    dab.Texture = texture;
                    dab.TextureWidth = 2;
                    dab.TextureHeight = 1;
                    dab.TextureCoordinates = [slow = c.SlowVertices](int v, const float* base, float* uv) {
                        if (slow && v % 4001 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
                        uv[0] = base[0] > 0.0f ? 0.75f : 0.25f;
                        uv[1] = 0.5f;
                    };
                }
                if (oneHandOut) {
                    EXPECT_TRUE(brush.SearchAndApplyDab(m, nullptr, x, y, out.D.data(), dab));
                } else {
                    brush.GenerateAffectedLists(m, nullptr, x, y);
                    std::copy(brush.NormalSum, brush.NormalSum + 3, dab.Normal);
                    EXPECT_TRUE(brush.ApplyDabWithNormalsAndBounds(m, out.D.data(), dab));
                }
                EXPECT_EQ(std::memcmp(dab.Normal, brush.NormalSum, sizeof(dab.Normal)), 0);
            }
            ThreadCruncher = saved;
            const int n = m->GetVCount(), polygons = m->GetPCount();
            out.R.assign(m->resolvedVertices, m->resolvedVertices + 3 * n);
            out.N.assign(m->vertexNormals, m->vertexNormals + 3 * n);
            out.P.assign(m->polygonNormals, m->polygonNormals + 3 * polygons);
            out.Listed.assign(gAffectedVertices, gAffectedVertices + gAffectedVertexCount);
            out.Polygons.assign(gAffectedPolygons, gAffectedPolygons + gAffectedPolygonCount);
            std::sort(out.Polygons.begin(), out.Polygons.end());
            std::copy(brush.NormalSum, brush.NormalSum + 3, out.Normal);
            CollectBounds(m->octreeRoot.get(), out.Bounds);
            return out;
        };
        const TResult reference = run(false, 0);
        EXPECT_GT(reference.Listed.size(), c.Size > 0.1f ? 1500u : 5u);
        EXPECT_TRUE(std::adjacent_find(reference.Polygons.begin(), reference.Polygons.end()) ==
                    reference.Polygons.end());
        for (const int slots : {0, 1, 8}) {
            SCOPED_TRACE(testing::Message() << slots << " slots");
            const TResult one = run(true, slots);
            EXPECT_TRUE(Same(one.D, reference.D));
            EXPECT_TRUE(Same(one.R, reference.R));
            EXPECT_TRUE(Same(one.N, reference.N));
            EXPECT_TRUE(Same(one.P, reference.P));
            EXPECT_TRUE(Same(one.Bounds, reference.Bounds));
            ASSERT_EQ(one.Listed.size(), reference.Listed.size());
            EXPECT_EQ(std::memcmp(one.Listed.data(), reference.Listed.data(),
                                  one.Listed.size() * sizeof(TKSN_AffectedVertex)),
                      0);
            EXPECT_EQ(one.Polygons, reference.Polygons);
            EXPECT_EQ(std::memcmp(one.Normal, reference.Normal, sizeof(one.Normal)), 0);
        }
    }
    SelectionBrushSize = savedSize;
}

TEST(SculptDabInOneHandOut, AThrowingTextureHookReachesTheCallerAndThePoolGoesOn)
{
    TThreadCruncher* saved = ThreadCruncher;
    TThreadCruncher pool(8);
    ThreadCruncher = &pool;
    const float savedSize = SelectionBrushSize;
    SelectionBrushSize = 0.3f;
    auto mesh = MakeSphere();
    std::vector<float> D(size_t(3 * mesh->GetVCount()), 0.0f);
    const unsigned char texture[4] = {255, 255, 255, 255};
    TKSN_SculptBrush brush;
    TKSN_SculptDab dab;
    dab.Amplitude = 0.01f;
    dab.Texture = texture;
    dab.TextureWidth = dab.TextureHeight = 1;
    dab.TextureCoordinates = [](int v, const float*, float*) {
        if (v % 97 == 0) throw std::runtime_error("no coordinates");
    };
    for (int i = 0; i < 3; ++i) {
        PrepareAffectedList(mesh.get());
        EXPECT_THROW(brush.SearchAndApplyDab(mesh.get(), nullptr, 0.0f, 0.0f, D.data(), dab), std::runtime_error);
    }
    // Without the failing hook the next dab runs through.
    dab.TextureCoordinates = nullptr;
    PrepareAffectedList(mesh.get());
    EXPECT_TRUE(brush.SearchAndApplyDab(mesh.get(), nullptr, 0.0f, 0.0f, D.data(), dab));
    EXPECT_GT(gAffectedVertexCount, 1500);
    SelectionBrushSize = savedSize;
    ThreadCruncher = saved;
}

} // namespace
