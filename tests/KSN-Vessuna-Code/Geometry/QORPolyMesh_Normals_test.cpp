// Polygon mesh normals: single polygons and vertices, and the whole-mesh
// passes on the worker pool.
#include "GeometryTestSupport.h"
#include "QORPolyMesh_Normals.h"
#include "QORThreads.h"

#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace {

using GeometryTest::MakeMesh;

// Points the program's pool at another pool for one scope.
struct PoolSwap {
    TThreadCruncher* saved = ThreadCruncher;
    explicit PoolSwap(TThreadCruncher* pool) { ThreadCruncher = pool; }
    ~PoolSwap() { ThreadCruncher = saved; }
};

// Every polygon normal one by one on this thread, then every vertex normal.
void NormalsByHand(TQORPolyMesh& mesh)
{
    for (int q = 0; q < mesh.polygonCount; ++q) mesh.RecalculatePolyNormal(q);
    for (int v = 0; v < mesh.vertexCount; ++v) mesh.RecalculateVertexNormal(v);
}

// A side × side grid of quads with a bumpy height field (fixed formula), so
// that neighbouring normals differ in every bit.
std::unique_ptr<TQORPolyMesh> MakeBumpyGrid(int side)
{
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::vector<int>> polygons;
    const int row = side + 1;
    for (int y = 0; y < row; ++y)
        for (int x = 0; x < row; ++x)
            vertices.push_back({float(x), float(y), 0.37f * float((x * 7919 + y * 104729) % 13) / 13.0f});
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            polygons.push_back({y * row + x, y * row + x + 1, (y + 1) * row + x + 1, (y + 1) * row + x});
    auto mesh = MakeMesh(vertices, polygons);
    mesh->BuildVertexPolygons();
    return mesh;
}

TEST(PolyMeshNormals, PolygonNormalIsTheScaledFanSum)
{
    struct Case {
        const char* name;
        std::vector<std::array<float, 3>> corners;
        std::array<float, 3> expected;
    };
    const std::vector<Case> cases = {
        {"counter-clockwise triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 0, 0.9983072f}},
        {"clockwise triangle", {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}}, {0, 0, -0.9983072f}},
        // Summed vector (0, 0, 2): s = 4, scale 0.4991536.
        {"unit square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 0, 0.9983072f}},
        {"two corners", {{0, 0, 0}, {1, 0, 0}}, {0, 0, 0}},
        {"collinear corners", {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, {0, 0, 0}},
        {"coincident corners", {{3, 3, 3}, {3, 3, 3}, {3, 3, 3}}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<int> polygon;
        for (size_t k = 0; k < c.corners.size(); ++k) polygon.push_back(int(k));
        auto mesh = MakeMesh(c.corners, {polygon});
        mesh->polygonNormals[0] = mesh->polygonNormals[1] = mesh->polygonNormals[2] = 9.0f;
        mesh->RecalculatePolyNormal(0);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(mesh->polygonNormals[i], c.expected[size_t(i)], 1e-7f);
    }
    EXPECT_NEAR(QORPolyMesh_FastInverseSqrt(4.0f), 0.4991536f, 1e-7f);
}

TEST(PolyMeshNormals, CornerNamingNoVertexGivesTheZeroNormal)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    mesh->Polygons[0].Points[1].V = 7;
    mesh->RecalculatePolyNormal(0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(mesh->polygonNormals[i], 0.0f);
}

TEST(PolyMeshNormals, WeldedPolygonUsesItsMastersPositions)
{
    // Vertices 3 and 4 are duplicates of 1 and 2, moved away; the welded
    // triangle (0, 3, 4) lies where (0, 1, 2) lies.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}, {-5, 2, 9}}, {{0, 3, 4}});
    mesh->VertexInfo[3].WeldMaster = 1;
    mesh->VertexInfo[4].WeldMaster = 2;
    mesh->Welded = true;
    mesh->RecalculatePolyNormal(0);
    EXPECT_NEAR(mesh->polygonNormals[2], 0.9983072f, 1e-7f);
    EXPECT_NEAR(mesh->polygonNormals[0], 0.0f, 1e-7f);

    mesh->IgnoreWelding = true;
    mesh->RecalculatePolyNormal(0);
    EXPECT_GT(std::fabs(mesh->polygonNormals[0]), 0.1f);
}

TEST(PolyMeshNormals, VertexNormalIsTheScaledUnweightedSumAroundIt)
{
    // Vertex 0 is used by both triangles (twice by the second), vertex 4 by none.
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {9, 9, 9}}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 0}});
    mesh->BuildVertexPolygons();
    const float given[3][3] = {{0, 0, 1}, {1, 0, 0}, {0, 0, 0}};
    std::memcpy(mesh->polygonNormals, given, sizeof(given));
    const float sentinel[3] = {0.25f, -0.5f, 2.0f};
    std::memcpy(mesh->vertexNormals + 12, sentinel, sizeof(sentinel));

    mesh->RecalculateVertexNormal(0);
    EXPECT_NEAR(mesh->vertexNormals[0], 0.7069300f, 1e-7f);
    EXPECT_NEAR(mesh->vertexNormals[1], 0.0f, 1e-7f);
    EXPECT_NEAR(mesh->vertexNormals[2], 0.7069300f, 1e-7f);

    // The polygon with two corners at a vertex counts twice: (2, 0, 0) scales to x only.
    std::memcpy(mesh->polygonNormals + 6, given[1], sizeof(given[1]));
    mesh->RecalculateVertexNormal(3);
    const float expectedX = 2.0f * QORPolyMesh_FastInverseSqrt(4.0f);
    EXPECT_FLOAT_EQ(mesh->vertexNormals[9], expectedX);

    mesh->RecalculateVertexNormal(4);
    EXPECT_EQ(std::memcmp(mesh->vertexNormals + 12, sentinel, sizeof(sentinel)), 0);
}

TEST(PolyMeshNormals, WholeMeshPassesGiveTheSameBytesOnOneAndManyThreads)
{
    auto reference = MakeBumpyGrid(120);
    auto other = MakeBumpyGrid(120);
    {
        TThreadCruncher one(1);
        PoolSwap swap(&one);
        reference->RecalculateNormals(false);
    }
    {
        TThreadCruncher many(4);
        PoolSwap swap(&many);
        other->RecalculateNormals(false);
    }
    const size_t polygonBytes = size_t(reference->polygonCount) * 12;
    const size_t vertexBytes = size_t(reference->vertexCount) * 12;
    EXPECT_EQ(std::memcmp(reference->polygonNormals, other->polygonNormals, polygonBytes), 0);
    EXPECT_EQ(std::memcmp(reference->vertexNormals, other->vertexNormals, vertexBytes), 0);

    // Every vertex normal came from finished polygon normals: recomputing one
    // by hand from the final polygon normals changes nothing.
    const int probe = 61 * 121 + 60;
    float before[3];
    std::memcpy(before, reference->vertexNormals + 3 * probe, sizeof(before));
    reference->RecalculateVertexNormal(probe);
    EXPECT_EQ(std::memcmp(before, reference->vertexNormals + 3 * probe, sizeof(before)), 0);
    EXPECT_GT(reference->vertexNormals[3 * probe + 2], 0.5f);
}

// The whole-mesh pass hands out the polygon and the vertex blocks together;
// it must give the bytes of the two passes run one after the other on one
// thread, also when slots outnumber the polygon blocks (a slot starts with a
// vertex block and waits) and when a pool has one slot only.
TEST(PolyMeshNormals, OneHandOutGivesTheBytesOfThePassesInTurn)
{
    struct Case {
        int Side, Slots;
    };
    for (const Case c : {Case{1, 8}, Case{3, 2}, Case{3, 8}, Case{40, 3}, Case{150, 8}, Case{150, 1}}) {
        SCOPED_TRACE(testing::Message() << "side " << c.Side << ", slots " << c.Slots);
        auto reference = MakeBumpyGrid(c.Side);
        auto other = MakeBumpyGrid(c.Side);
        NormalsByHand(*reference);
        {
            TThreadCruncher pool(c.Slots);
            PoolSwap swap(&pool);
            other->RecalculateNormals(false);
        }
        EXPECT_EQ(std::memcmp(reference->polygonNormals, other->polygonNormals, size_t(reference->polygonCount) * 12), 0);
        EXPECT_EQ(std::memcmp(reference->vertexNormals, other->vertexNormals, size_t(reference->vertexCount) * 12), 0);
    }
}

// Records which threads computed which polygons.
class TRecordingMesh : public TQORPolyMesh {
public:
    void RecalculatePolyNormal(int polygon) override
    {
        {
            std::scoped_lock lock(mutex);
            polygons.push_back(polygon);
            threads.insert(std::this_thread::get_id());
        }
        TQORPolyMesh::RecalculatePolyNormal(polygon);
    }
    std::mutex mutex;
    std::vector<int> polygons;
    std::set<std::thread::id> threads;
};

TEST(PolyMeshNormals, VisibleOnlyPassComputesTheVisiblePolygonsOnly)
{
    TRecordingMesh mesh;
    mesh.Create(3, 0, 3, 1000);
    const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    std::memcpy(mesh.baseVertices, corners, sizeof(corners));
    mesh.CopyBaseVerticesToResolvedVertices();
    for (int p = 0; p < 1000; ++p) {
        mesh.Polygons[p].SetCount(3);
        for (int k = 0; k < 3; ++k) mesh.Polygons[p].Points[k].V = k;
        if (p % 100 != 7) mesh.PolygonFlags[p] = QORPoly_Hidden;
        mesh.polygonNormals[3 * p + 2] = 5.0f;
    }
    mesh.BuildVertexPolygons();

    TThreadCruncher many(4);
    PoolSwap swap(&many);
    mesh.RecalculatePolyNormals(true);
    ASSERT_EQ(mesh.polygons.size(), 10u);
    EXPECT_EQ(mesh.threads, std::set<std::thread::id>{std::this_thread::get_id()});
    for (int p = 0; p < 1000; ++p) {
        SCOPED_TRACE(p);
        EXPECT_FLOAT_EQ(mesh.polygonNormals[3 * p + 2], p % 100 == 7 ? 0.9983072f : 5.0f);
    }

    // The whole mesh is split over the pool's threads.
    mesh.polygons.clear();
    mesh.threads.clear();
    mesh.RecalculatePolyNormals(false);
    EXPECT_EQ(mesh.polygons.size(), 1000u);
    EXPECT_GT(mesh.threads.size(), 1u);
}

TEST(PolyMeshNormals, RawBuildGivesAClosedCubeOutwardNormals)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
                         {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}});
    mesh->AfterRawBuild();
    const float* n = mesh->vertexNormals + 3 * 6;   // the corner at (1, 1, 1)
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(n[i], 0.5773503f, 2e-3f);
    EXPECT_NEAR(mesh->polygonNormals[2], -0.9983072f, 1e-7f);   // bottom face points down
}

}  // namespace
