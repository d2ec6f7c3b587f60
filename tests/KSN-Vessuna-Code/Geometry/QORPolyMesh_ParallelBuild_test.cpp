// The mesh build on the worker pool against the same build with a pool of one
// slot (every pass then runs on the calling thread), bit for bit: the
// vertex-to-polygon rows, the edges with their numbering, sides and slots,
// the edge-polygon table, the open-edge and seam bits, the normals and the
// visible lists. The fused walk (edges, edge-polygon rows and open-edge bits
// in one) is also held against the separate passes, CalculateOpenEdges and
// the edge-polygon scan BuildEdgePolygonsTable.
//
// The meshes are large enough for every pass to be split into several blocks:
// quads, triangles and n-gons over a grid with holes (open borders), a UV
// seam down the middle, corners without a texture vertex, hidden polygons and
// polygon layers, and a sprinkling of
// stray polygons that pass vertices twice, share edges three ways and name
// vertices that do not exist; some are welded.
#include "GeometryTestSupport.h"

#include "QORThreads.h"

#include <cstdint>
#include <array>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Makes the program's pool one of a single slot while it lives.
class TOneSlotPool {
public:
    TOneSlotPool() : saved(ThreadCruncher) { ThreadCruncher = &pool; }
    ~TOneSlotPool() { ThreadCruncher = saved; }

private:
    TThreadCruncher pool{1};
    TThreadCruncher* saved;
};

struct TMixedMeshCase {
    const char* Name;
    int Side;
    bool Welded;
    bool WithUVs;
    uint32_t Seed;
};

std::unique_ptr<TQORPolyMesh> MakeMixedMesh(const TMixedMeshCase& c)
{
    uint32_t state = c.Seed;
    auto next = [&](int n) {
        state = state * 1664525u + 1013904223u;
        return int((state >> 8) % uint32_t(n));
    };
    const int row = c.Side + 1;
    const int gridVertices = row * row;
    // The texture vertices of the grid, and a second set for the right half's
    // side of the seam.
    const int tvertices = c.WithUVs ? 2 * gridVertices : 0;
    std::vector<std::vector<GeometryTest::Corner>> polygons;
    auto grid = [&](int x, int y) { return y * row + x; };
    for (int y = 0; y < c.Side; ++y)
        for (int x = 0; x < c.Side; ++x) {
            const int kind = next(20);
            if (kind == 0) continue;   // a hole
            std::vector<int> corners;
            if (kind == 1 && x + 2 <= c.Side) {
                // A hexagon over this cell and the next; the next is left empty.
                corners = {grid(x, y), grid(x + 1, y), grid(x + 2, y), grid(x + 2, y + 1), grid(x + 1, y + 1),
                           grid(x, y + 1)};
                ++x;
            } else if (kind == 2) {
                polygons.push_back({});
                for (int v : {grid(x, y), grid(x + 1, y), grid(x + 1, y + 1)}) polygons.back().push_back({v, v});
                corners = {grid(x, y), grid(x + 1, y + 1), grid(x, y + 1)};
            } else {
                corners = {grid(x, y), grid(x + 1, y), grid(x + 1, y + 1), grid(x, y + 1)};
            }
            polygons.push_back({});
            for (int v : corners) polygons.back().push_back({v, v});
            if (c.WithUVs && x >= c.Side / 2)
                for (GeometryTest::Corner& corner : polygons.back()) corner.VT += gridVertices;
        }
    for (int stray = gridVertices / 50; stray > 0; --stray) {
        const int n = 3 + next(5);
        std::vector<GeometryTest::Corner> corners;
        for (int k = 0; k < n; ++k) {
            const int v = next(8) == 0 && k > 0 ? corners[0].V : next(gridVertices);
            corners.push_back({next(40) == 0 ? gridVertices + 7 : v, v});
        }
        polygons.push_back(corners);
    }
    if (c.WithUVs)
        for (auto& polygon : polygons)
            for (GeometryTest::Corner& corner : polygon)
                if (next(30) == 0) corner.VT = -1;

    auto mesh = std::make_unique<TQORPolyMesh>();
    mesh->Create(gridVertices, tvertices, gridVertices, int(polygons.size()));
    for (int v = 0; v < gridVertices; ++v) {
        mesh->baseVertices[3 * v + 0] = float(v % row);
        mesh->baseVertices[3 * v + 1] = float(v / row);
        mesh->baseVertices[3 * v + 2] = float(next(7)) * 0.1f;
    }
    for (int t = 0; t < tvertices; ++t)
        for (int i = 0; i < 2; ++i) mesh->tVertices[2 * t + i] = float(next(8)) * 0.125f;
    mesh->CopyBaseVerticesToResolvedVertices();
    for (size_t p = 0; p < polygons.size(); ++p) {
        TQORPolygon& poly = mesh->Polygons[p];
        poly.SetCount(unsigned(polygons[p].size()));
        for (size_t k = 0; k < polygons[p].size(); ++k) {
            poly.Points[k].V = polygons[p][k].V;
            poly.Points[k].VT = c.WithUVs ? polygons[p][k].VT : -1;
        }
        // Some hidden polygons (vertices only they use are hidden too) and layers.
        poly.LayerFlags = uint32_t(next(16));
        if (next(15) == 0) mesh->PolygonFlags[p] |= QORPoly_Hidden;
    }
    if (c.Welded) {
        for (int v = 0; v < gridVertices; ++v) {
            const int master = next(4) == 0 ? next(v + 1) : v;
            mesh->VertexInfo[v].WeldMaster = mesh->VertexInfo[master].WeldMaster == master ? master : v;
        }
        mesh->Welded = true;
        // What a careless loader leaves in a late block: a master that is not
        // there, a count without corners.
        mesh->VertexInfo[gridVertices - 2].WeldMaster = gridVertices + 5;
        mesh->Polygons[mesh->polygonCount - 3].DestroyPoints();
    }
    return mesh;
}

std::vector<int> Rows(const TQORLookupTable& table)
{
    std::vector<int> all;
    for (int r = 0; r < table.GetRowCount(); ++r) {
        const int* row = table[r];
        all.insert(all.end(), row, row + 1 + row[0]);
    }
    return all;
}

bool SameBytes(const void* a, const void* b, size_t bytes)
{
    return bytes == 0 || std::memcmp(a, b, bytes) == 0;
}

void ExpectSameEdges(const TQORPolyMesh& got, const TQORPolyMesh& expected)
{
    ASSERT_EQ(got.EdgeCount, expected.EdgeCount);
    ASSERT_EQ(got.Edges.size(), expected.Edges.size());
    for (size_t e = 0; e < expected.Edges.size(); ++e) {
        const TQORPolygonEdge &a = got.Edges[e], &b = expected.Edges[e];
        ASSERT_TRUE(a.Mark == b.Mark && a.V1 == b.V1 && a.V2 == b.V2 &&
                    SameBytes(a.SideA, b.SideA, sizeof a.SideA) && SameBytes(a.SideB, b.SideB, sizeof a.SideB) &&
                    SameBytes(a.PolygonSlots, b.PolygonSlots, sizeof a.PolygonSlots))
            << "edge " << e;
    }
    EXPECT_EQ(got.EdgeRowStart, expected.EdgeRowStart);
    EXPECT_EQ(Rows(got.EdgePolygons), Rows(expected.EdgePolygons));
}

std::vector<uint32_t> Flags(const TQORPolyMesh& mesh)
{
    std::vector<uint32_t> flags(size_t(mesh.vertexCount));
    for (int v = 0; v < mesh.vertexCount; ++v) flags[size_t(v)] = mesh.VertexInfo[v].Flags;
    return flags;
}

// The visible lists and masks by the plain walk (the meshes have no
// materials, so the polygon list stays in index order).
void ExpectTheVisibleListsOfThePlainWalk(const TQORPolyMesh& mesh)
{
    std::vector<int32_t> polygons, vertices;
    uint32_t used = 0, visible = 0;
    for (int p = 0; p < mesh.polygonCount; ++p) {
        used |= mesh.Polygons[p].LayerFlags;
        if (mesh.PolygonFlags[p] & QORPoly_Hidden) continue;
        polygons.push_back(p);
        visible |= mesh.Polygons[p].LayerFlags;
    }
    for (int v = 0; v < mesh.vertexCount; ++v) {
        const int* row = mesh.vertexPolygons[v];
        bool shown = false;
        for (int i = 1; i <= row[0]; ++i) shown = shown || !(mesh.PolygonFlags[row[i]] & QORPoly_Hidden);
        EXPECT_EQ((mesh.VertexInfo[v].Flags & QORPoly_Hidden) == 0, shown) << "vertex " << v;
        if (shown) vertices.push_back(v);
    }
    EXPECT_EQ(std::vector<int32_t>(mesh.visiblePolygons, mesh.visiblePolygons + mesh.visiblePolygonCount), polygons);
    EXPECT_EQ(std::vector<int32_t>(mesh.visibleVertices, mesh.visibleVertices + mesh.visibleVertexCount), vertices);
    EXPECT_EQ(mesh.UsedLayerMask, used);
    EXPECT_EQ(mesh.VisibleLayerMask, visible);
}

class PolyMeshParallelBuild : public ::testing::TestWithParam<TMixedMeshCase> {};

TEST_P(PolyMeshParallelBuild, PoolGivesTheSerialBuild)
{
    ThreadCruncher_Initialize();
    if (ThreadCruncher->GetSlotCount() < 2) GTEST_SKIP() << "one processor: the pool never shares work";
    auto onPool = MakeMixedMesh(GetParam());
    auto serial = MakeMixedMesh(GetParam());
    GeometryTest::MessageCapture messages;   // warnings about the stray corners
    onPool->AfterRawBuild();
    const std::vector<std::string> onPoolMessages = GeometryTest::MessageCapture::Panel;
    GeometryTest::MessageCapture::Panel.clear();
    {
        TOneSlotPool one;
        serial->AfterRawBuild();
    }
    ASSERT_EQ(onPool->vertexCount, serial->vertexCount);
    ASSERT_GT(serial->vertexCount, 16384) << "the vertex passes must span several blocks";
    EXPECT_EQ(Rows(onPool->vertexPolygons), Rows(serial->vertexPolygons));
    ExpectSameEdges(*onPool, *serial);
    EXPECT_EQ(Flags(*onPool), Flags(*serial));
    // Normals of what is shown: a hidden polygon's normal is not computed, and
    // neither is one of a vertex that such a polygon uses.
    for (int p = 0; p < serial->polygonCount; ++p)
        if (!(serial->PolygonFlags[p] & QORPoly_Hidden)) {
            ASSERT_TRUE(SameBytes(onPool->polygonNormals + 3 * p, serial->polygonNormals + 3 * p, 12)) << "polygon " << p;
        }
    for (int v = 0; v < serial->vertexCount; ++v) {
        const int* row = serial->vertexPolygons[v];
        bool allShown = true;
        for (int i = 1; i <= row[0]; ++i) allShown = allShown && !(serial->PolygonFlags[row[i]] & QORPoly_Hidden);
        if (allShown) {
            ASSERT_TRUE(SameBytes(onPool->vertexNormals + 3 * v, serial->vertexNormals + 3 * v, 12)) << "vertex " << v;
        }
    }
    ASSERT_EQ(onPool->visiblePolygonCount, serial->visiblePolygonCount);
    ASSERT_EQ(onPool->visibleVertexCount, serial->visibleVertexCount);
    EXPECT_TRUE(SameBytes(onPool->visiblePolygons, serial->visiblePolygons, size_t(serial->visiblePolygonCount) * 4));
    EXPECT_TRUE(SameBytes(onPool->visibleVertices, serial->visibleVertices, size_t(serial->visibleVertexCount) * 4));
    EXPECT_EQ(onPool->VisibleLayerMask, serial->VisibleLayerMask);
    EXPECT_EQ(onPool->UsedLayerMask, serial->UsedLayerMask);

    ExpectTheVisibleListsOfThePlainWalk(*onPool);
    EXPECT_EQ(onPoolMessages, GeometryTest::MessageCapture::Panel);
    if (GetParam().Welded) {
        EXPECT_EQ(onPool->VertexInfo[onPool->vertexCount - 2].WeldMaster, onPool->vertexCount - 2);
        EXPECT_EQ(onPool->Polygons[onPool->polygonCount - 3].Count, 0);
        EXPECT_FALSE(onPoolMessages.empty());
    }

    // The fused walk against the separate passes over the same topology.
    const std::vector<uint32_t> fusedFlags = Flags(*serial);
    const std::vector<int> fusedTable = Rows(serial->EdgePolygons);
    serial->CalculateOpenEdges();
    EXPECT_EQ(Flags(*serial), fusedFlags);
    serial->BuildEdgePolygonsTable();
    EXPECT_EQ(Rows(serial->EdgePolygons), fusedTable);
    // Seams and borders are really there.
    int open = 0, seams = 0;
    for (uint32_t f : fusedFlags) {
        open += (f & QORVertex_OpenEdge) != 0;
        seams += (f & QORVertex_TextureSeam) != 0;
    }
    EXPECT_GT(open, 0);
    if (GetParam().WithUVs) {
        EXPECT_GT(seams, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(MixedMeshes, PolyMeshParallelBuild,
                         ::testing::Values(TMixedMeshCase{"Plain", 140, false, true, 7u},
                                           TMixedMeshCase{"Welded", 140, true, true, 11u},
                                           TMixedMeshCase{"NoUVs", 130, false, false, 23u}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(PolyMeshParallelRows, VertexPolygonRowsMatchTheSerialTable)
{
    // The table alone, rebuilt on a mesh whose rows are long (a fan) and
    // whose polygons name a vertex twice.
    ThreadCruncher_Initialize();
    auto mesh = MakeMixedMesh({"Fan", 140, false, true, 5u});
    for (int p = 0; p < mesh->polygonCount; p += 3) mesh->Polygons[p].Points[0].V = 17;   // a hub
    mesh->BuildVertexPolygons();
    const std::vector<int> onPool = Rows(mesh->vertexPolygons);
    {
        TOneSlotPool one;
        mesh->BuildVertexPolygons();
    }
    EXPECT_EQ(onPool, Rows(mesh->vertexPolygons));
    EXPECT_GT(mesh->vertexPolygons[17][0], 1000);
}

}  // namespace

namespace {

// The bounds by the plain walk from vertex 0 with strict comparisons.
std::array<float, 6> PlainBounds(const TQORPolyMesh& mesh)
{
    std::array<float, 6> b{};
    for (int i = 0; i < 3; ++i) b[size_t(i)] = b[size_t(i) + 3] = mesh.baseVertices[i];
    for (int v = 1; v < mesh.vertexCount; ++v)
        for (int i = 0; i < 3; ++i) {
            const float x = mesh.baseVertices[3 * v + i];
            if (x < b[size_t(i)]) b[size_t(i)] = x;
            if (x > b[size_t(i) + 3]) b[size_t(i) + 3] = x;
        }
    return b;
}

TEST(PolyMeshParallelBounds, BlocksGiveThePlainWalksFloats)
{
    ThreadCruncher_Initialize();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct TBoundsCase {
        const char* Name;
        std::vector<std::pair<int, std::array<float, 3>>> Set;   // vertex, position
    };
    const TBoundsCase cases[] = {
        {"plain", {}},
        {"not-a-number at vertex 0", {{0, {nan, 1.0f, nan}}}},
        {"not-a-number first in a later block", {{65536 * 2, {nan, nan, nan}}, {65536 * 2 + 1, {-5.0f, 400.0f, 9.0f}}}},
        {"equal zeros", {{0, {0.0f, 0.0f, 0.0f}}, {70000, {-0.0f, -0.0f, -0.0f}}, {150000, {-0.0f, 0.0f, -0.0f}}}},
    };
    for (const TBoundsCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto mesh = MakeMixedMesh({"Bounds", 450, false, false, 3u});
        for (const auto& [v, p] : c.Set)
            for (int i = 0; i < 3; ++i) mesh->baseVertices[3 * v + i] = p[size_t(i)];
        const std::array<float, 6> expected = PlainBounds(*mesh);
        mesh->CalculateBounds();
        EXPECT_TRUE(SameBytes(mesh->boundsMin, expected.data(), 12));
        EXPECT_TRUE(SameBytes(mesh->boundsMax, expected.data() + 3, 12));
    }
}

}  // namespace
