// Octree nodes, the mesh root's octree build and queries, and the octree walker.
#include "GeometryTestSupport.h"
#include "QORMatrix.h"
#include "QOROctree.h"
#include "QORThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

namespace {

using Node = TQOROctreeNode<int>;

void ForEachNode(Node* node, const std::function<void(Node*)>& f)
{
    if (!node) return;
    f(node);
    for (auto& child : node->Children) ForEachNode(child.get(), f);
}

std::vector<Node*> Leaves(Node* root)
{
    std::vector<Node*> out;
    ForEachNode(root, [&](Node* n) {
        if (!n->HasChildren()) out.push_back(n);
    });
    return out;
}

std::unique_ptr<Node> MakeRoot(float lo, float hi, int depth)
{
    auto root = std::make_unique<Node>();
    std::fill_n(root->CubeMin, 3, lo);
    std::fill_n(root->CubeMax, 3, hi);
    root->Subdivide(depth);
    return root;
}

// A side × side grid of quads spanning lo..hi in x and y at height z.
std::unique_ptr<TQORPolyMesh> MakeGrid(int side, float lo, float hi, float z = 0.0f)
{
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::vector<int>> polygons;
    const int row = side + 1;
    for (int y = 0; y < row; ++y)
        for (int x = 0; x < row; ++x)
            vertices.push_back({lo + (hi - lo) * float(x) / float(side), lo + (hi - lo) * float(y) / float(side), z});
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            polygons.push_back({y * row + x, y * row + x + 1, (y + 1) * row + x + 1, (y + 1) * row + x});
    return GeometryTest::MakeMesh(vertices, polygons);
}

// Derived data as a loader leaves it, with the tree built at the polygon mesh's depth.
void Finish(TQORPolyMesh& mesh)
{
    ThreadCruncher_Initialize();
    mesh.AfterRawBuild();
    mesh.BuildOctree();
}

std::vector<int> VisibleVertices(TKSN_MeshRoot& mesh)
{
    const int n = mesh.GetVisibleVertexCount();
    return std::vector<int>(mesh.visibleVertices, mesh.visibleVertices + n);
}

std::vector<int> Walk(TKSN_OctreeParserInfo& parser)
{
    std::vector<int> out;
    int v = -1;
    for (bool ok = parser.GetFirstVertex(v); ok; ok = parser.GetNextVertex(v)) out.push_back(v);
    return out;
}

std::vector<int> WalkScreen(TKSN_MeshRoot* mesh, float lo = -1, float hi = 1)
{
    TKSN_OctreeParserInfo parser;
    parser.Init(mesh, nullptr);
    parser.Mode = 1;
    const float min[3] = {lo, lo, lo}, max[3] = {hi, hi, hi};
    parser.SetupUVRangeTest(true, true, min, max);
    return Walk(parser);
}

}  // namespace

// [Nodes] ---------------------------------------------------------------------

TEST(QOROctreeNode, SubdivideBuildsTheRegularTreeToTheDepth)
{
    struct Case {
        int depth;
        size_t nodes, leaves;
    } cases[] = {{0, 1, 1}, {1, 9, 8}, {2, 1 + 8 + 64, 64}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        auto root = MakeRoot(0, 2, c.depth);
        size_t nodes = 0;
        ForEachNode(root.get(), [&](Node* n) {
            ++nodes;
            EXPECT_EQ(n->HasChildren(), n->Depth < c.depth);
            for (auto& child : n->Children) EXPECT_EQ(child != nullptr, n->Depth < c.depth);
        });
        EXPECT_EQ(nodes, c.nodes);
        const auto leaves = Leaves(root.get());
        EXPECT_EQ(leaves.size(), c.leaves);
        for (Node* leaf : leaves) EXPECT_EQ(leaf->Depth, c.depth);
    }
}

TEST(QOROctreeNode, ChildOrderSplitsAtTheCentre)
{
    auto root = MakeRoot(0, 2, 1);
    const float expectedMin[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                     {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        Node* child = root->Children[size_t(k)].get();
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(child->CubeMin[a], expectedMin[k][a]);
            EXPECT_EQ(child->CubeMax[a], expectedMin[k][a] + 1);
            EXPECT_EQ(child->ContentMin[a], child->CubeMin[a]);
            EXPECT_EQ(child->ContentMax[a], child->CubeMax[a]);
        }
        EXPECT_EQ(child->Parent, root.get());
        EXPECT_EQ(child->Depth, 1);
        EXPECT_EQ(child->PolygonBegin, -1);
        EXPECT_EQ(child->VertexEnd, -1);
    }
}

TEST(QOROctreeNode, DepthFourLeavesTileTheRootInChildOrder)
{
    // Root 0..16: every leaf is a unit cube; the k-th leaf met depth-first
    // lies where the octal digits of k, read as child numbers, lead.
    auto root = MakeRoot(0, 16, 4);
    const auto leaves = Leaves(root.get());
    ASSERT_EQ(leaves.size(), 4096u);
    static const int offset[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                     {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
    std::set<std::array<int, 3>> cells;
    for (size_t i = 0; i < leaves.size(); ++i) {
        int expected[3] = {0, 0, 0};
        for (int level = 0; level < 4; ++level) {
            const int digit = int(i >> (3 * (3 - level))) & 7;
            for (int a = 0; a < 3; ++a) expected[a] += offset[digit][a] * (8 >> level);
        }
        for (int a = 0; a < 3; ++a) {
            ASSERT_EQ(leaves[i]->CubeMin[a], float(expected[a])) << "leaf " << i;
            ASSERT_EQ(leaves[i]->CubeMax[a], float(expected[a] + 1)) << "leaf " << i;
        }
        cells.insert({expected[0], expected[1], expected[2]});
    }
    EXPECT_EQ(cells.size(), 4096u);   // no cell twice, so the 16^3 unit cells are covered exactly
}

TEST(QOROctreeNode, DestroyCallsOnDestroyOncePerNodeParentFirst)
{
    static std::vector<Node*> order;
    order.clear();
    auto root = std::make_unique<Node>();
    root->OnDestroy = [](Node* n) { order.push_back(n); };
    root->Subdivide(2);
    std::map<Node*, Node*> parents;
    ForEachNode(root.get(), [&](Node* n) { parents[n] = n->Parent; });
    root.reset();
    ASSERT_EQ(order.size(), 73u);
    std::set<Node*> seen;
    for (Node* n : order) {
        EXPECT_TRUE(seen.insert(n).second);
        if (parents[n]) {
            EXPECT_TRUE(seen.count(parents[n])) << "child destroyed before its parent";
        }
    }
}

TEST(QOROctreeNode, ClearOctreeFlagsTouchesOnlyTheSubtree)
{
    ClearOctreeFlags(nullptr);
    auto root = MakeRoot(0, 2, 2);
    ForEachNode(root.get(), [](Node* n) { n->BoundsDone = true; });
    Node* sub = root->Children[3].get();
    ClearOctreeFlags(sub);
    ForEachNode(root.get(), [&](Node* n) {
        bool inSub = false;
        for (Node* a = n; a; a = a->Parent) inSub |= a == sub;
        EXPECT_EQ(n->BoundsDone, !inSub);
    });
}

// [Walker: ranges and node lists] ---------------------------------------------

TEST(QOROctreeWalker, RangeBoxNarrowsAndFlagsOnlyTurnOn)
{
    TKSN_OctreeParserInfo p;
    const float a0[3] = {-1, -1, -1}, a1[3] = {1, 1, 1}, b0[3] = {0, 0, 0}, b1[3] = {2, 2, 2};
    p.SetupUVRangeTest(true, false, a0, a1);
    p.SetupUVRangeTest(false, true, b0, b1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p.RangeMin[i], 0.0f);
        EXPECT_EQ(p.RangeMax[i], 1.0f);
    }
    EXPECT_TRUE(p.RangeTest);
    EXPECT_TRUE(p.RangeSecond);

    // Disjoint boxes leave an empty range, and nothing is listed.
    auto root = MakeRoot(-1, 1, 1);
    ForEachNode(root.get(), [](Node* n) { n->VertexBegin = 0, n->VertexEnd = 1; });
    const float c0[3] = {5, 5, 5}, c1[3] = {6, 6, 6};
    p.SetupUVRangeTest(true, false, c0, c1);
    EXPECT_GT(p.RangeMin[0], p.RangeMax[0]);
    p.Mode = 1;
    p.GenerateOctreeNodeList_Recurse(root.get());
    EXPECT_TRUE(p.NodeList.empty());
}

TEST(QOROctreeWalker, ThresholdAndModeChooseTheListedNodes)
{
    // Depth 1; child k holds k vertices and 7 − k polygons; the root holds 28 of each.
    auto root = MakeRoot(0, 2, 1);
    root->VertexBegin = root->PolygonBegin = 0;
    root->VertexEnd = root->PolygonEnd = 28;
    for (int k = 0; k < 8; ++k) {
        Node* c = root->Children[size_t(k)].get();
        c->VertexBegin = c->PolygonBegin = 0;
        c->VertexEnd = k;
        c->PolygonEnd = 7 - k;
    }
    auto listed = [&](int threshold, int mode) {
        TKSN_OctreeParserInfo p;
        p.Init(nullptr, nullptr);
        p.Threshold = threshold;
        p.Mode = mode;
        p.GenerateOctreeNodeList_Recurse(root.get());
        std::vector<int> ids;
        for (Node* n : p.NodeList) {
            int id = -1;
            for (int k = 0; k < 8; ++k)
                if (root->Children[size_t(k)].get() == n) id = k;
            ids.push_back(id);   // −1: the root itself
        }
        return ids;
    };
    struct Case {
        int threshold, mode;
        std::vector<int> expected;
    } cases[] = {
        {0, 1, {1, 2, 3, 4, 5, 6, 7}},      // leaves without vertices are left out
        {0, 2, {0, 1, 2, 3, 4, 5, 6}},
        {0, 0, {0, 1, 2, 3, 4, 5, 6, 7}},
        {0, 9, {}},
        {30, 1, {-1}},                      // the whole root at or below the threshold
        {5, 1, {0, 1, 2, 3, 4, 5, 6, 7}},   // listed whole even with 0 vertices
        {5, 7, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "threshold " << c.threshold << " mode " << c.mode);
        EXPECT_EQ(listed(c.threshold, c.mode), c.expected);
    }
}

// [Build] ---------------------------------------------------------------------

TEST(KSN_MeshRootOctree, BuildGivesEveryVisibleItemOneLeafSlice)
{
    auto mesh = MakeGrid(20, -0.9f, 0.9f);
    mesh->PolygonFlags[0] |= QORPoly_Hidden;   // its corner vertex 0 is used by no other polygon
    Finish(*mesh);
    ASSERT_TRUE(mesh->IsOctreeValid());
    Node* root = mesh->octreeRoot.get();

    // The root cell is the box of the visible vertices' base positions.
    const float step = 1.8f / 20;
    EXPECT_FLOAT_EQ(root->CubeMin[0], -0.9f);
    EXPECT_FLOAT_EQ(root->CubeMin[1], -0.9f);
    EXPECT_FLOAT_EQ(root->CubeMax[0], 0.9f);
    EXPECT_EQ(root->CubeMin[2], 0.0f);

    const int vcount = mesh->GetVisibleVertexCount();
    const int pcount = mesh->GetVisiblePolygonCount();
    EXPECT_EQ(vcount, 21 * 21 - 1);
    EXPECT_EQ(pcount, 399);
    EXPECT_EQ(root->VertexBegin, 0);
    EXPECT_EQ(root->VertexEnd, vcount);
    EXPECT_EQ(root->PolygonEnd, pcount);

    // Leaves tile both lists in leaf order; vertices sit inside their leaf's
    // cell; polygons belong to the leaf of one of their vertices.
    int expectedBegin = 0, expectedPolyBegin = 0;
    std::vector<int> leafOfVertex(size_t(mesh->vertexCount), -1);
    for (size_t k = 0; k < mesh->leafList.size(); ++k) {
        Node* leaf = mesh->leafList[k];
        EXPECT_EQ(leaf->VertexBegin, expectedBegin);
        EXPECT_EQ(leaf->PolygonBegin, expectedPolyBegin);
        expectedBegin = leaf->VertexEnd;
        expectedPolyBegin = leaf->PolygonEnd;
        for (int i = leaf->VertexBegin; i < leaf->VertexEnd; ++i) {
            const int v = mesh->visibleVertices[i];
            leafOfVertex[size_t(v)] = int(k);
            for (int a = 0; a < 3; ++a) {
                EXPECT_GE(mesh->baseVertices[3 * v + a], leaf->CubeMin[a] - 1e-6f);
                EXPECT_LE(mesh->baseVertices[3 * v + a], leaf->CubeMax[a] + 1e-6f);
            }
        }
    }
    EXPECT_EQ(expectedBegin, vcount);
    EXPECT_EQ(expectedPolyBegin, pcount);
    std::set<int> polys(mesh->visiblePolygons, mesh->visiblePolygons + pcount);
    EXPECT_EQ(polys.size(), size_t(pcount));
    EXPECT_EQ(polys.count(0), 0u);
    for (int i = 0; i < pcount; ++i) {
        const int p = mesh->visiblePolygons[i];
        const int leaf = mesh->polygonLeafIndex[p];
        ASSERT_GE(leaf, 0);
        EXPECT_GE(i, mesh->leafList[size_t(leaf)]->PolygonBegin);
        EXPECT_LT(i, mesh->leafList[size_t(leaf)]->PolygonEnd);
        bool touches = false;
        for (int c = 0; c < 4; ++c) touches |= leafOfVertex[size_t(mesh->vGetPolyV(p, c))] == leaf;
        EXPECT_TRUE(touches) << "polygon " << p;
    }

    // Every leaf's content box holds the polygons around its vertices, padded.
    for (Node* leaf : mesh->leafList) {
        if (leaf->VertexEnd == leaf->VertexBegin) continue;
        EXPECT_LE(leaf->ContentMin[2], -0.0f);
        EXPECT_GT(leaf->ContentMax[0] - leaf->ContentMin[0], step);
    }
    EXPECT_LT(root->ContentMin[0], -0.9f);
    EXPECT_GT(root->ContentMax[1], 0.9f);
    EXPECT_LT(root->ContentMax[1], 0.9f + 0.001f);

    // Optimising an optimised tree again changes nothing.
    const std::vector<int> before = VisibleVertices(*mesh);
    mesh->OptimizeOctree();
    EXPECT_EQ(VisibleVertices(*mesh), before);
    EXPECT_EQ(mesh->GetVisiblePolygonCount(), pcount);
    EXPECT_EQ(root->VertexEnd, vcount);
}

TEST(KSN_MeshRootOctree, PruningKeepsOnlyBranchesOfTenVerticesOrMore)
{
    // Octant 0 of the unit cube holds 10 vertices, octant 6 holds 9.
    std::vector<std::array<float, 3>> vertices;
    for (int i = 0; i < 10; ++i) vertices.push_back({0.04f * float(i), 0.03f * float(i), 0.02f * float(i)});
    for (int i = 0; i < 9; ++i) vertices.push_back({0.6f + 0.05f * float(i), 0.6f + 0.04f * float(i), 1.0f - 0.04f * float(i)});
    vertices[0] = {0, 0, 0};
    vertices[10] = {1, 1, 1};
    std::vector<std::vector<int>> tris = {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}, {9, 0, 1},
                                          {10, 11, 12}, {13, 14, 15}, {16, 17, 18}};
    auto mesh = GeometryTest::MakeMesh(vertices, tris);
    Finish(*mesh);
    Node* root = mesh->octreeRoot.get();
    ASSERT_TRUE(root->HasChildren());
    EXPECT_EQ(root->Children[0]->GetVertexCount(), 10);
    EXPECT_TRUE(root->Children[0]->HasChildren());
    EXPECT_EQ(root->Children[6]->GetVertexCount(), 9);
    EXPECT_FALSE(root->Children[6]->HasChildren());
    EXPECT_FALSE(root->Children[1]->HasChildren());

    // A root with 9 or fewer vertices becomes one leaf holding everything.
    auto small = GeometryTest::MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}}, {{0, 1, 2, 3}});
    Finish(*small);
    EXPECT_FALSE(small->octreeRoot->HasChildren());
    ASSERT_EQ(small->leafList.size(), 1u);
    EXPECT_EQ(small->leafList[0]->GetVertexCount(), 4);
    EXPECT_EQ(small->leafList[0]->GetPolygonCount(), 1);
}

TEST(KSN_MeshRootOctree, VerticesOnSharedFacesGoToTheEarlierChild)
{
    auto mesh = GeometryTest::MakeMesh({{1, 0.5f, 0.5f}, {1.5f, 1, 0.5f}, {3, 3, 3}, {0.5f, 0.5f, -0.25f}}, {{0, 1, 2, 3}});
    Finish(*mesh);
    auto node = MakeRoot(0, 2, 1);
    for (auto& child : node->Children) child->TempVertices.clear();
    mesh->AddVerticesToOctree(node.get());
    std::sort(node->Children[0]->TempVertices.begin(), node->Children[0]->TempVertices.end());
    EXPECT_EQ(node->Children[0]->TempVertices, std::vector<int>({0, 3}));   // x = 1 shared by 0 and 1; z below the cell
    EXPECT_EQ(node->Children[1]->TempVertices, std::vector<int>({1}));      // y = 1 shared by 1 and 2
    EXPECT_EQ(node->Children[6]->TempVertices, std::vector<int>({2}));      // outside: nearest centre
}

TEST(KSN_MeshRootOctree, EmptyMeshGivesAZeroCellAndNoItems)
{
    auto mesh = std::make_unique<TQORPolyMesh>();
    mesh->BuildOctree();
    ASSERT_TRUE(mesh->IsOctreeValid());
    for (int a = 0; a < 3; ++a) EXPECT_EQ(mesh->octreeRoot->CubeMax[a], 0.0f);
    EXPECT_TRUE(WalkScreen(mesh.get()).empty());
}

// [Walker over a mesh] ----------------------------------------------------------

TEST(QOROctreeWalker, IdentityWalkReturnsEveryVisibleVertexOnce)
{
    auto mesh = MakeGrid(40, -0.9f, 0.9f, 0.3f);
    mesh->PolygonFlags[5] |= QORPoly_Hidden;
    mesh->PolygonFlags[0] |= QORPoly_Hidden;
    Finish(*mesh);
    std::vector<int> walked = WalkScreen(mesh.get());
    std::vector<int> visible = VisibleVertices(*mesh);
    std::sort(walked.begin(), walked.end());
    std::sort(visible.begin(), visible.end());
    EXPECT_EQ(walked, visible);
    EXPECT_EQ(std::adjacent_find(walked.begin(), walked.end()), walked.end());
    EXPECT_EQ(visible.size(), size_t(41 * 41 - 1));

    // Another call after the end starts again at the first node.
    TKSN_OctreeParserInfo parser;
    parser.Init(mesh.get(), nullptr);
    parser.Mode = 1;
    const float lo[3] = {-1, -1, -1}, hi[3] = {1, 1, 1};
    parser.SetupUVRangeTest(true, true, lo, hi);
    std::vector<int> first = Walk(parser);
    int v = -1;
    ASSERT_TRUE(parser.GetNextVertex(v));
    EXPECT_EQ(v, first.front());
}

TEST(QOROctreeWalker, RangePrunesNodesOffScreen)
{
    auto mesh = MakeGrid(40, -3, 3);
    Finish(*mesh);
    const std::vector<int> part = WalkScreen(mesh.get(), -1, 1);
    const std::set<int> got(part.begin(), part.end());
    EXPECT_EQ(got.size(), part.size());
    EXPECT_LT(part.size(), size_t(41 * 41));
    for (int v = 0; v < mesh->vertexCount; ++v) {
        const float* p = mesh->baseVertices + 3 * v;
        if (std::fabs(p[0]) <= 1 && std::fabs(p[1]) <= 1) {
            EXPECT_TRUE(got.count(v)) << "vertex " << v;
        }
    }

    // Moved wholly off the square: nothing.
    auto far = MakeGrid(10, 5, 6);
    Finish(*far);
    EXPECT_TRUE(WalkScreen(far.get()).empty());
}

TEST(QOROctreeWalker, FirstVertexBuildsAMissingTree)
{
    auto mesh = MakeGrid(4, -0.5f, 0.5f);
    ThreadCruncher_Initialize();
    mesh->AfterRawBuild();
    ASSERT_FALSE(mesh->IsOctreeValid());
    EXPECT_EQ(WalkScreen(mesh.get()).size(), 25u);
    EXPECT_TRUE(mesh->IsOctreeValid());
}

TEST(QOROctreeWalker, ViewportMatrixMovesTheRange)
{
    // A viewport whose combined matrix shifts x by +3 sees the grid at 2..4: off the square.
    static float shift[16];
    QORMatrix_CreateTranslation4x4(shift, 3, 0, 0);
    TKSN_ViewportOctreeServices services;
    services.CombinedMatrix = [](TKSN_Viewport*) -> const float* { return shift; };
    KSN_SetViewportOctreeServices(services);
    auto mesh = MakeGrid(10, -0.9f, 0.9f);
    Finish(*mesh);
    auto* viewport = reinterpret_cast<TKSN_Viewport*>(&shift);   // only handed back to the service
    TKSN_OctreeParserInfo parser;
    parser.Init(mesh.get(), viewport);
    parser.Mode = 1;
    const float lo[3] = {-1, -1, -1}, hi[3] = {1, 1, 1};
    parser.SetupUVRangeTest(true, true, lo, hi);
    EXPECT_TRUE(Walk(parser).empty());
    KSN_SetViewportOctreeServices({});
}

// [Queries: invalidation, validation, culling, marks] ---------------------------

TEST(KSN_MeshRootOctree, InvalidateCubeReachesCellsItTouches)
{
    auto mesh = MakeGrid(30, 0, 2);
    Finish(*mesh);
    ForEachNode(mesh->octreeRoot.get(), [](Node* n) { n->Flags |= QOROctree_DisplacementValid; });
    std::fill_n(mesh->invalidMin, 3, 1.0f);
    std::fill_n(mesh->invalidMax, 3, -1.0f);
    // A box touching the low-x cells only at their face x = 1.
    float min[3] = {-5, -5, -5}, max[3] = {0.5f, 5, 5};
    mesh->InvalidateCubeInOSpace(min, max);
    EXPECT_EQ(mesh->invalidMin[0], -5.0f);
    EXPECT_EQ(mesh->invalidMax[0], 0.5f);
    for (Node* leaf : mesh->leafList) {
        const bool touched = leaf->CubeMin[0] <= 0.5f;
        EXPECT_EQ((leaf->Flags & QOROctree_DisplacementValid) == 0, touched);
    }
    float faceMin[3] = {-5, -5, -5}, faceMax[3] = {1, 5, 5};
    mesh->InvalidateCubeInOSpace(faceMin, faceMax);
    for (Node* leaf : mesh->leafList)
        if (leaf->CubeMin[0] == 1.0f) {
            EXPECT_EQ(leaf->Flags & QOROctree_DisplacementValid, 0u);
        }
}

TEST(KSN_MeshRootOctree, ValidationRunsOncePerInvalidation)
{
    auto mesh = MakeGrid(30, 0, 2);
    Finish(*mesh);
    mesh->ValidateAllInOSpace(false);
    EXPECT_EQ(TotalValidatedVertices, 31 * 31);
    EXPECT_GT(TotalValidatedNodes, 1);
    EXPECT_GT(mesh->invalidMin[0], mesh->invalidMax[0]);
    mesh->ValidateAllInOSpace(false);
    EXPECT_EQ(TotalValidatedNodes, 0);
    mesh->InvalidateAllInOSpace();
    mesh->ValidateAllInOSpace(false);
    EXPECT_EQ(TotalValidatedVertices, 31 * 31);
    for (int i = 0; i < 3 * mesh->vertexCount; ++i) ASSERT_EQ(mesh->displacementDeltas[i], 0.0f);
}

TEST(KSN_MeshRootOctree, DisplacementSamplesAlongTheNormal)
{
    // One quad, texture vertices at its corners; a 2 × 1 map whose first
    // bytes are 0 and 255. u = 0 and u = 1 both lie outside the texel
    // centres and take the edge texel with fraction 0.
    auto mesh = GeometryTest::MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}},
                                       {{0, 0}, {1, 0}, {1, 1}, {0.5f, 1}});
    Finish(*mesh);
    mesh->ValidateAllInOSpace(false);
    mesh->InvalidateAllInOSpace();
    mesh->StartUsingCFlags(eCFlag_Channel_General);
    const uint8_t pixels[6] = {0, 9, 9, 255, 9, 9};
    TKSN_QuickRenderData data;
    TKSN_QuickRenderDataTextureData& slot = *data.TextureSlots[KSN_QR_SLOT_DISPLACEMENT];
    slot.Pixels = pixels;
    slot.Width = 2;
    slot.Height = 1;
    slot.Offset = 0.5f;
    slot.Scale = 2.0f;
    int material = -1;   // the polygon has no material, so the record stays as given
    ValidateDisplacementDeltas(mesh.get(), mesh->octreeRoot.get(), data, material);
    const float expected[4] = {-1.0f, 1.0f, 1.0f, (127.0f / 255.0f - 0.5f) * 2.0f};
    for (int v = 0; v < 4; ++v) {
        SCOPED_TRACE(v);
        const float* n = mesh->vertexNormals + 3 * v;
        for (int a = 0; a < 3; ++a) EXPECT_NEAR(mesh->displacementDeltas[3 * v + a], expected[v] * n[a], 1e-5f);
    }
    EXPECT_GT(std::fabs(mesh->vertexNormals[2]), 0.9f);
}

namespace {
// A stand-in viewport that sees x ≥ 0 only, and only polygons whose normals reach x < −0.3.
bool SeesPositiveX(TKSN_Viewport*, float*, float* max, float) { return max[0] >= 0; }
bool SeesNormalsTowardsNegativeX(TKSN_Viewport*, float* nMin, float*) { return nMin[0] < -0.3f; }
}  // namespace

TEST(KSN_MeshRootOctree, CullingKeepsNodesWhoseMirrorImageIsInView)
{
    TKSN_ViewportOctreeServices services;
    services.CubeInView = SeesPositiveX;
    services.NormalsMayFaceViewer = SeesNormalsTowardsNegativeX;
    KSN_SetViewportOctreeServices(services);
    auto* viewport = reinterpret_cast<TKSN_Viewport*>(&services);

    // A node left of the plane x = 0 whose normals point to +x (0.2..0.5).
    auto mesh = MakeGrid(2, -1, 1);
    Finish(*mesh);
    Node node;
    node.ContentMin[0] = -0.8f, node.ContentMax[0] = -0.2f;
    node.NormalMin[0] = 0.2f, node.NormalMax[0] = 0.5f;
    struct Case {
        int symmetry;
        bool view, direction, culled;
    } cases[] = {
        {0, true, false, true},     // out of view
        {2, true, false, false},    // its mirror image is in view
        {0, false, true, true},     // faces away
        {2, false, true, false},    // mirrored normals reach −0.5, so they may face the viewer
        {0, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.symmetry << c.view << c.direction);
        mesh->symmetryState = c.symmetry;
        EXPECT_EQ(mesh->CullOctreeNode(viewport, &node, c.view, c.direction, false, nullptr, nullptr, true), c.culled);
    }

    // The rectangle test projects the box (identity without a projection) and grows the rectangle by 0.01.
    mesh->symmetryState = 0;
    float r0[3] = {-0.195f, -1, 0}, r1[3] = {1, 1, 0};
    EXPECT_FALSE(mesh->CullOctreeNode(viewport, &node, false, false, true, r0, r1, false));
    r0[0] = -0.18f;
    EXPECT_TRUE(mesh->CullOctreeNode(viewport, &node, false, false, true, r0, r1, false));
    KSN_SetViewportOctreeServices({});
}

TEST(KSN_MeshRootOctree, SelectedAndChangedMarksFollowTheItems)
{
    auto mesh = MakeGrid(30, 0, 2);
    Finish(*mesh);
    mesh->VertexInfo[0].Select = 1.0f;                        // a corner vertex
    const int p = mesh->polygonCount - 1;
    mesh->Polygons[p].Select = 0.5f;                          // the opposite corner's polygon
    mesh->UpdateOctreeSelectedFlags();
    int marked = 0;
    for (size_t k = 0; k < mesh->leafList.size(); ++k)
        if (mesh->leafList[k]->Flags & QOROctree_Selected) {
            ++marked;
            EXPECT_TRUE(int(k) == mesh->polygonLeafIndex[p] || int(k) == mesh->polygonLeafIndex[0]);
        }
    EXPECT_EQ(marked, 2);

    for (Node* leaf : mesh->leafList) leaf->Flags |= QOROctree_DisplayChanged | QOROctree_DisplayChanged2;
    mesh->PolygonFlags[3] |= QORPoly_Changed;
    mesh->PolygonsMarkedChanged = true;
    mesh->ClearChangedPolygonFlags();
    for (Node* leaf : mesh->leafList) EXPECT_EQ(leaf->Flags & (QOROctree_DisplayChanged | QOROctree_DisplayChanged2), 0u);
    EXPECT_EQ(mesh->PolygonFlags[3] & QORPoly_Changed, 0u);
    EXPECT_FALSE(mesh->PolygonsMarkedChanged);
}

TEST(KSN_MeshRootOctree, BoundsFollowMovedVertices)
{
    auto mesh = MakeGrid(30, 0, 2);
    Finish(*mesh);
    Node* root = mesh->octreeRoot.get();
    for (int v = 0; v < mesh->vertexCount; ++v) mesh->resolvedVertices[3 * v + 2] = 4.0f;
    mesh->OctreeBoundsChanged();
    EXPECT_EQ(mesh->octreeRoot.get(), root);   // refitted, not rebuilt
    EXPECT_NEAR(root->ContentMin[2], 4.0f, 1e-3f);
    EXPECT_NEAR(root->ContentMax[2], 4.0f, 1e-3f);
    for (Node* leaf : mesh->leafList)
        if (leaf->GetVertexCount() > 0) {
            EXPECT_NEAR(leaf->ContentMin[2], 4.0f, 1e-3f);
        }
}
