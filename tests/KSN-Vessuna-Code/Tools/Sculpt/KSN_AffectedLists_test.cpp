// The affected lists: growth, cleaning, sizing over subdivision levels and
// batched appends from the worker pool.
#include "KSN_AffectedLists.h"

#include "KSN_Mesh.h"
#include "KSN_MeshRoot.h"
#include "QORThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

class AffectedListsTest : public ::testing::Test {
protected:
    void SetUp() override { CleanAffectedLists(); }
    void TearDown() override { CleanAffectedLists(); }

    static std::unique_ptr<TKSN_Mesh> MakeMesh(int vertices, int polygons)
    {
        auto mesh = std::make_unique<TKSN_Mesh>(nullptr);
        mesh->Create(vertices, 0, vertices, polygons);
        return mesh;
    }
    // A subdivision level of the mesh (the mesh deletes it).
    static void AddLevel(TKSN_Mesh* mesh, int level, int vertices, int polygons)
    {
        auto* root = new TQORPolyMesh();
        root->Create(vertices, 0, vertices, polygons);
        mesh->SetCustomPointerProperty(("SUBD_LEVEL_" + std::to_string(level)).c_str(), root);
    }
};

TEST_F(AffectedListsTest, ListsOnlyGrowAndCleanGivesTheMemoryBack)
{
    auto big = MakeMesh(100, 40);
    auto small = MakeMesh(50, 60);
    PrepareAffectedList(big.get());
    EXPECT_EQ(gAffectedVertexCapacity, 100);
    EXPECT_EQ(gAffectedPolygonCapacity, 40);
    for (int v = 0; v < 100; ++v) AddAffectedVertex(v, 0.5f);
    PrepareAffectedList(small.get());
    EXPECT_EQ(gAffectedVertexCapacity, 100) << "kept";
    EXPECT_EQ(gAffectedVertexCount, 0);
    EXPECT_EQ(gAffectedPolygonCapacity, 60) << "grown";
    EXPECT_EQ(gAffectedVertices[99].Vertex, 99) << "entries past the count keep their stale values";

    CleanAffectedLists();
    EXPECT_EQ(gAffectedVertices, nullptr);
    EXPECT_EQ(gAffectedPolygons, nullptr);
    EXPECT_EQ(gAffectedVertexCapacity + gAffectedPolygonCapacity + gAffectedVertexCount + gAffectedPolygonCount, 0);
    auto thirty = MakeMesh(30, 10);
    PrepareAffectedList(thirty.get());
    EXPECT_EQ(gAffectedVertexCapacity, 30) << "a fresh array of exactly the need";
    EXPECT_EQ(gAffectedPolygonCapacity, 10);

    CleanAffectedLists();
    auto empty = MakeMesh(0, 0);
    PrepareAffectedList(empty.get());
    EXPECT_EQ(gAffectedVertexCapacity, 0);
    EXPECT_EQ(gAffectedVertexCount, 0);
}

TEST_F(AffectedListsTest, TheTwoArgumentFormSizesForTheLargestLevelOnlyWhenAsked)
{
    auto mesh = MakeMesh(10, 4);
    AddLevel(mesh.get(), 0, 10, 4);
    AddLevel(mesh.get(), 1, 40, 16);
    AddLevel(mesh.get(), 2, 160, 64);
    mesh->ActualMaxSubDLevel = 1;

    struct Case {
        const char* why;
        int maxLevel;
        bool include;
        int vertices, polygons;
    } cases[] = {
        {"flag off: the base mesh", 1, false, 10, 4},
        {"flag on: up to the actual maximum", 1, true, 40, 16},
        {"level 2 counts once it is the maximum", 2, true, 160, 64},
        {"no level: the base mesh", -1, true, 10, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        CleanAffectedLists();
        mesh->ActualMaxSubDLevel = c.maxLevel;
        PrepareAffectedList(mesh.get(), c.include);
        EXPECT_EQ(gAffectedVertexCapacity, c.vertices);
        EXPECT_EQ(gAffectedPolygonCapacity, c.polygons);
    }
    mesh->ActualMaxSubDLevel = 2;
}

struct TFillJob {
    int First;
};

void* FillBatch(void* data)
{
    const int first = static_cast<TFillJob*>(data)->First;
    TKSN_AffectedVertexBatch vertices;
    TKSN_AffectedPolygonBatch polygons;
    EXPECT_GE(vertices.GetBatchSize(), 1500);
    EXPECT_LT(vertices.GetBatchSize(), 2000);
    for (int i = 0; i < 10000; ++i) {
        vertices.Add({first + i, 1.0f});
        polygons.Add(first + i);
    }
    return nullptr;   // the rest is flushed when the batches end
}

TEST_F(AffectedListsTest, WorkersAppendEveryEntryExactlyOnce)
{
    constexpr int Workers = 8, PerWorker = 10000;
    auto mesh = MakeMesh(Workers * PerWorker, Workers * PerWorker);
    PrepareAffectedList(mesh.get());

    TThreadCruncher pool(Workers);
    TThreadCruncher_Releaser releaser;
    pool.StartUsing(releaser);
    int n = Workers;
    pool.Initialize(n);
    ASSERT_EQ(n, Workers);
    TFillJob jobs[Workers];
    for (int w = 0; w < Workers; ++w) {
        jobs[w].First = w * PerWorker;
        pool.PushFunction(w, FillBatch, &jobs[w]);
    }
    pool.WaitForCompletion();

    ASSERT_EQ(gAffectedVertexCount, Workers * PerWorker);
    ASSERT_EQ(gAffectedPolygonCount, Workers * PerWorker);
    std::vector<int> seen(size_t(Workers * PerWorker), 0), seenPolygons(seen);
    for (int i = 0; i < gAffectedVertexCount; ++i) ++seen[size_t(gAffectedVertices[i].Vertex)];
    for (int i = 0; i < gAffectedPolygonCount; ++i) ++seenPolygons[size_t(gAffectedPolygons[i])];
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int c) { return c == 1; }));
    EXPECT_TRUE(std::all_of(seenPolygons.begin(), seenPolygons.end(), [](int c) { return c == 1; }));
}

TEST_F(AffectedListsTest, RangesCoverTheListContiguously)
{
    for (int count : {0, 1, 99, 100, 101, 12345}) {
        SCOPED_TRACE(count);
        const std::vector<TKSN_AffectedRange> ranges = GetAffectedListRanges(count);
        int next = 0;
        for (const TKSN_AffectedRange& r : ranges) {
            EXPECT_EQ(r.First, next);
            EXPECT_GT(r.End, r.First);
            next = r.End;
        }
        EXPECT_EQ(next, count);
        if (count < 200) {
            EXPECT_LE(ranges.size(), 1u) << "short lists run as one range";
        }
    }
}

} // namespace
