// The parallel passes of a level build (normals and smoothing from the
// vertex-to-polygon rows, the octree's filing and box fitting) give exactly
// what the plain serial walks over all polygons give, bit for bit, on a level
// large enough to be split over the worker pool.
#include "KSN_SubDMesh.h"

#include "KSN_GeometryTests.h"
#include "QORThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// A bumpy open grid of side x side cells: quads, with every seventh cell a
// triangle (its third corner repeated), so rows list some polygons twice.
// With seam, the right half of the grid has texture vertices of its own.
std::unique_ptr<TKSN_SubDMesh> BumpyLevelZero(int side, bool seam = false)
{
    const int row = side + 1;
    auto level = std::make_unique<TKSN_SubDMesh>();
    level->SetVertexCount(row * row);
    level->SetTVertexCount((seam ? 2 : 1) * row * row);
    level->SetPolygonCount(side * side);
    for (int y = 0; y <= side; ++y)
        for (int x = 0; x <= side; ++x) {
            float* p = level->baseVertices + 3 * (y * row + x);
            p[0] = float(x) / float(side) - 0.5f;
            p[1] = float(y) / float(side) - 0.5f;
            p[2] = 0.05f * std::sin(float(x) * 0.37f) * std::cos(float(y) * 0.23f);
            for (int copy = 0; copy < (seam ? 2 : 1); ++copy) {
                float* t = level->tVertices + 2 * (copy * row * row + y * row + x);
                t[0] = float(x) / float(side) + float(copy);
                t[1] = float(y) / float(side);
            }
        }
    int q = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x, ++q) {
            const int a = y * row + x, b = a + 1, c = a + row + 1, d = a + row;
            level->Polygons[q] = q % 7 == 3 ? TKSN_SubDPolygon{a, b, c, c, q} : TKSN_SubDPolygon{a, b, c, d, q};
            const int32_t* corners = &level->Polygons[q].Corner0;
            const int uvOffset = seam && 2 * x >= side ? row * row : 0;
            for (int k = 0; k < 4; ++k) level->PolygonUVs[4 * q + k] = corners[k] + uvOffset;
        }
    level->AfterRawBuild();
    level->SetLeanAndMean(true);
    return level;
}

bool SameFloats(const float* a, const float* b, size_t n) { return std::memcmp(a, b, n * sizeof(float)) == 0; }

// The boxes of every leaf as the serial walk fits them (vertex by vertex,
// polygon by polygon, corner by corner, the first value taken as it is),
// then merged into the ancestors leaf by leaf.
struct TBoxes {
    float C[6], N[6];
};
void ExpectBoxesOfTheSerialWalk(TKSN_SubDMesh& level)
{
    std::vector<TQOROctreeNode<int>*> nodes;
    std::vector<TBoxes> expected;
    auto remember = [&](TQOROctreeNode<int>* n, const TBoxes& b) {
        auto it = std::find(nodes.begin(), nodes.end(), n);
        if (it == nodes.end()) {
            nodes.push_back(n);
            expected.push_back(b);
            return static_cast<TBoxes*>(nullptr);
        }
        return &expected[size_t(it - nodes.begin())];
    };
    for (TQOROctreeNode<int>* leaf : level.GetBottomLevelOctreeNodeList()) {
        bool met = false;
        TBoxes b{};
        for (int i = leaf->VertexBegin; i < leaf->VertexEnd; ++i) {
            const int* row = level.vertexPolygons[level.visibleVertices[i]];
            for (int k = 1; k <= row[0]; ++k) {
                const int p = row[k];
                for (int c = 0; c < level.vGetPolyN(p); ++c) {
                    const float* v = level.resolvedVertices + 3 * level.vGetPolyV(p, c);
                    for (int a = 0; a < 3; ++a) {
                        b.C[a] = met || c > 0 ? std::min(b.C[a], v[a]) : v[a];
                        b.C[3 + a] = met || c > 0 ? std::max(b.C[3 + a], v[a]) : v[a];
                    }
                }
                const float* n = level.polygonNormals + 3 * p;
                for (int a = 0; a < 3; ++a) {
                    b.N[a] = met ? std::min(b.N[a], n[a]) : n[a];
                    b.N[3 + a] = met ? std::max(b.N[3 + a], n[a]) : n[a];
                }
                met = true;
            }
        }
        if (leaf->VertexEnd <= leaf->VertexBegin) continue;
        const float pad = 0.0001f * level.boundsDiagonal / std::pow(2.0f, float(leaf->Depth));
        for (int a = 0; a < 3; ++a) {
            b.C[a] -= pad;
            b.C[3 + a] += pad;
        }
        remember(leaf, b);
        for (TQOROctreeNode<int>* up = leaf->Parent; up; up = up->Parent)
            if (TBoxes* old = remember(up, b))
                for (int a = 0; a < 3; ++a) {
                    old->C[a] = std::min(old->C[a], b.C[a]);
                    old->C[3 + a] = std::max(old->C[3 + a], b.C[3 + a]);
                    old->N[a] = std::min(old->N[a], b.N[a]);
                    old->N[3 + a] = std::max(old->N[3 + a], b.N[3 + a]);
                }
    }
    ASSERT_GT(nodes.size(), 64u) << "the fit must span several blocks of leaves";
    for (size_t i = 0; i < nodes.size(); ++i) {
        const TQOROctreeNode<int>* n = nodes[i];
        EXPECT_TRUE(SameFloats(n->ContentMin, expected[i].C, 3) && SameFloats(n->ContentMax, expected[i].C + 3, 3) &&
                    SameFloats(n->NormalMin, expected[i].N, 3) && SameFloats(n->NormalMax, expected[i].N + 3, 3))
            << "node " << i << " at depth " << n->Depth;
    }
}

// Every vertex of a leaf's slice is where the plain descent takes it: from
// the root into the first child whose cell holds it, down to that leaf.
void ExpectVerticesWhereTheDescentFilesThem(TKSN_SubDMesh& level)
{
    int misplaced = 0;
    for (TQOROctreeNode<int>* leaf : level.GetBottomLevelOctreeNodeList())
        for (int i = leaf->VertexBegin; i < leaf->VertexEnd; ++i) {
            // The build filed the positions before smoothing, which the resolved ones keep.
            const float* p = level.resolvedVertices + 3 * level.visibleVertices[i];
            TQOROctreeNode<int>* at = level.octreeRoot.get();
            while (at->HasChildren()) {
                TQOROctreeNode<int>* next = nullptr;
                for (auto& child : at->Children)
                    if (child && Kestrune_BoxPointCollision3(p, child->CubeMin, child->CubeMax)) {
                        next = child.get();
                        break;
                    }
                if (!next) break;
                at = next;
            }
            misplaced += at != leaf;
        }
    EXPECT_EQ(misplaced, 0);
}

// Polygons are listed leaf after leaf at their first visit in the walk over
// the leaf-ordered vertex list and each vertex's row.
void ExpectPolygonsInFirstVisitOrder(TKSN_SubDMesh& level)
{
    std::vector<uint8_t> taken(size_t(level.GetPCount()), 0);
    std::vector<int> order;
    for (int i = 0; i < level.visibleVertexCount; ++i) {
        const int* row = level.vertexPolygons[level.visibleVertices[i]];
        for (int k = 1; k <= row[0]; ++k)
            if (!taken[size_t(row[k])]) {
                taken[size_t(row[k])] = 1;
                order.push_back(row[k]);
            }
    }
    ASSERT_EQ(int(order.size()), level.visiblePolygonCount);
    EXPECT_TRUE(std::equal(order.begin(), order.end(), level.visiblePolygons));
}

TEST(SubDParallelBuild, LevelsEqualTheSerialWalksBitForBit)
{
    ThreadCruncher_Initialize();
    auto parent = BumpyLevelZero(120);   // 14,400 polygons; the level above has 57,600
    TKSN_SubDMesh level;
    level.SetLeanAndMean(true);
    level.Subdivide(parent.get());
    ASSERT_GT(level.GetVCount(), 40000);

    // Unsmoothed positions: each new vertex the average of its record's
    // parents, an edge point the halved sum, a face point the sum times 1/m.
    const int32_t* records = level.GetVertexParentLookup();
    bool placed = true;
    for (int v = parent->GetVCount(); v < level.GetVCount() && placed; ++v) {
        const int32_t* r = records + 4 * v;
        int m = 0;
        while (m < 4 && r[m] != v) ++m;
        const float* a = parent->baseVertices + 3 * r[0];
        const float* b = parent->baseVertices + 3 * r[1];
        float expected[3] = {0, 0, 0};
        for (int k = 0; k < m; ++k)
            for (int i = 0; i < 3; ++i) expected[i] += parent->baseVertices[3 * r[k] + i];
        // (−0) + (−0) halved stays −0; a sum started at +0 would not.
        for (int i = 0; i < 3; ++i) expected[i] = m == 2 ? 0.5f * (a[i] + b[i]) : expected[i] * (1.0f / float(m));
        placed = SameFloats(expected, level.resolvedVertices + 3 * v, 3);
    }
    EXPECT_TRUE(placed);

    // Normals: the scatter over all polygons.
    std::vector<float> vn(3 * size_t(level.GetVCount())), pn(3 * size_t(level.GetPCount()));
    level.RecalculateNormalsExternal(level.resolvedVertices, vn.data(), pn.data());
    EXPECT_TRUE(SameFloats(vn.data(), level.vertexNormals, vn.size()));
    EXPECT_TRUE(SameFloats(pn.data(), level.polygonNormals, pn.size()));

    // Smoothing: the scatter again, from the same unsmoothed positions, and
    // the plain scalar sums and divisions.
    const std::vector<float> smoothed(level.baseVertices, level.baseVertices + 3 * size_t(level.GetVCount()));
    level.SmoothVertices();
    EXPECT_TRUE(SameFloats(smoothed.data(), level.baseVertices, smoothed.size()));
    std::vector<float> plain(4 * size_t(level.GetVCount()), 0.0f);
    for (int q = 0; q < level.GetPCount(); ++q) {
        const int32_t* c = &level.Polygons[q].Corner0;
        float s[3] = {0, 0, 0};
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 3; ++i) s[i] += level.resolvedVertices[3 * c[k] + i];
        for (int k = 0; k < 4; ++k) {
            for (int i = 0; i < 3; ++i) plain[4 * size_t(c[k]) + size_t(i)] += s[i];
            plain[4 * size_t(c[k]) + 3] += 4.0f;
        }
    }
    bool same = true;
    for (int v = 0; v < level.GetVCount() && same; ++v)
        for (int i = 0; i < 3; ++i) {
            const float expected = plain[4 * size_t(v) + size_t(i)] / plain[4 * size_t(v) + 3];
            same = same && SameFloats(&level.baseVertices[3 * v + i], &expected, 1);
        }
    EXPECT_TRUE(same) << "smoothing: the plain sums and divisions";

    for (TKSN_SubDMesh* l : {parent.get(), &level}) {
        ExpectVerticesWhereTheDescentFilesThem(*l);
        ExpectPolygonsInFirstVisitOrder(*l);
        ExpectBoxesOfTheSerialWalk(*l);
    }
}

// The plain per-polygon, per-vertex normals: each two-triangle normal
// normalised on its own, scattered to its corners polygon by polygon, each
// sum normalised on its own; a zero-length vector is left as it is.
void PlainNormals(TKSN_SubDMesh& level, const float* positions, std::vector<float>& vn, std::vector<float>& pn)
{
    auto normalise = [](float* v) {
        const float len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (len > 1e-30f)
            for (int i = 0; i < 3; ++i) v[i] /= len;
    };
    vn.assign(3 * size_t(level.GetVCount()), 0.0f);
    pn.assign(3 * size_t(level.GetPCount()), 0.0f);
    for (int p = 0; p < level.GetPCount(); ++p) {
        float* n = &pn[3 * size_t(p)];
        level.PolygonNormal(positions, p, n);
        normalise(n);
        for (int k = 0; k < 4; ++k)
            for (int i = 0; i < 3; ++i) vn[3 * size_t((&level.Polygons[p].Corner0)[k]) + size_t(i)] += n[i];
    }
    for (int v = 0; v < level.GetVCount(); ++v) normalise(&vn[3 * size_t(v)]);
}

TEST(SubDParallelBuild, NormalsEqualThePlainPerVectorNormalisationBitForBit)
{
    // Odd counts leave a tail after the groups of four; flattened and
    // collapsed cells give zero-length normals, -0 and huge coordinates
    // give the lanes signs and magnitudes of every kind.
    ThreadCruncher_Initialize();
    auto level = BumpyLevelZero(61);
    float* p = level->baseVertices;
    for (int v = 0; v < level->GetVCount(); v += 5) p[3 * v + 2] = -0.0f;
    for (int v = 7; v < level->GetVCount(); v += 11) p[3 * v] *= 3e18f;
    for (int v = 12; v < level->GetVCount(); v += 97) std::copy_n(p + 3 * (v - 1), 3, p + 3 * v);   // collapsed sides
    level->AfterRawBuild();
    std::vector<float> vn, pn;
    PlainNormals(*level, level->resolvedVertices, vn, pn);
    EXPECT_TRUE(SameFloats(vn.data(), level->vertexNormals, vn.size())) << "normals of the level build";
    EXPECT_TRUE(SameFloats(pn.data(), level->polygonNormals, pn.size()));
    std::vector<float> vx(vn.size()), px(pn.size());
    level->RecalculateNormalsExternal(level->resolvedVertices, vx.data(), px.data());
    EXPECT_TRUE(SameFloats(vn.data(), vx.data(), vn.size())) << "normals for given positions";
    EXPECT_TRUE(SameFloats(pn.data(), px.data(), pn.size()));
    int zero = 0;
    for (size_t i = 0; i < pn.size(); i += 3) zero += pn[i] == 0 && pn[i + 1] == 0 && pn[i + 2] == 0;
    EXPECT_GT(zero, 0) << "some polygons must have no area";
}

TEST(SubDParallelBuild, BoxFitKeepsTheFirstOfEqualZerosAndPassesOverNaNAsTheWalkDoes)
{
    // Positions and normals of +0 and -0 side by side, and a few NaN
    // coordinates: the boxes must still be the serial walk's bit for bit.
    ThreadCruncher_Initialize();
    auto level = BumpyLevelZero(120);
    float* r = level->resolvedVertices;
    for (int v = 0; v < level->GetVCount(); ++v) {
        if (v % 3 == 0) r[3 * v + 2] = v % 2 ? -0.0f : 0.0f;
        if (v % 7 == 0) r[3 * v] = v % 2 ? 0.0f : -0.0f;
    }
    for (int v : {500, 777, 4001}) r[3 * v + size_t(v % 3)] = std::nanf("");
    for (int p = 0; p < level->GetPCount(); p += 2) level->polygonNormals[3 * p + size_t(p % 3)] = p % 4 ? -0.0f : 0.0f;
    level->RecalculateOctreePolyBounds();
    ExpectBoxesOfTheSerialWalk(*level);
}

// Subdivides parent once with the pool's numbering (on two slots, whatever
// this machine's pool) and once, into serial, by the serial walk (taken when
// the parent has no vertex-to-polygon rows); the two levels must agree bit
// for bit.
void ExpectPoolNumberingGivesTheSerialWalk(TKSN_SubDMesh* parent, TKSN_SubDMesh& serial)
{
    TKSN_SubDMesh parallel;
    const int slots = TKSN_SubDMesh::ParallelNumberingSlots;
    TKSN_SubDMesh::ParallelNumberingSlots = 2;
    parallel.Subdivide(parent);
    TKSN_SubDMesh::ParallelNumberingSlots = slots;
    parent->vertexPolygons.Clean();
    serial.Subdivide(parent);
    ASSERT_EQ(parallel.GetVCount(), serial.GetVCount());
    ASSERT_EQ(parallel.GetTVCount(), serial.GetTVCount());
    ASSERT_EQ(parallel.GetPCount(), serial.GetPCount());
    const size_t v = size_t(serial.GetVCount()), p = size_t(serial.GetPCount());
    EXPECT_EQ(std::memcmp(parallel.Polygons, serial.Polygons, p * sizeof(TKSN_SubDPolygon)), 0);
    EXPECT_EQ(std::memcmp(parallel.PolygonUVs, serial.PolygonUVs, 4 * p * sizeof(int32_t)), 0);
    EXPECT_EQ(std::memcmp(parallel.GetVertexParentLookup(), serial.GetVertexParentLookup(), 4 * v * sizeof(int32_t)), 0);
    EXPECT_TRUE(SameFloats(parallel.tVertices, serial.tVertices, 2 * size_t(serial.GetTVCount())));
    EXPECT_TRUE(SameFloats(parallel.resolvedVertices, serial.resolvedVertices, 3 * v));
    EXPECT_TRUE(SameFloats(parallel.baseVertices, serial.baseVertices, 3 * v));
}

TEST(SubDParallelBuild, ParallelNumberingGivesTheSerialWalksLevel)
{
    // Without the parent's vertex-to-polygon rows the level is numbered by
    // the serial walk over the parent's polygons.
    ThreadCruncher_Initialize();
    auto parent = BumpyLevelZero(100, true);
    TKSN_SubDMesh serial;
    ExpectPoolNumberingGivesTheSerialWalk(parent.get(), serial);
    EXPECT_GT(serial.GetTVCount(), serial.GetVCount()) << "the seam splits texture edges";
}

// The parent's polygons in a scrambled order, so that many sides are first
// met far from where their neighbours are, with one side shared by three
// polygons; or with texture vertices reused by polygons on other position
// vertices (tiled maps), whose shared texture sides no position corner
// leads to. The pool's numbering must give the serial walk's level.
TEST(SubDParallelBuild, ScrambledAndTiledParentsGiveTheSerialWalksLevel)
{
    ThreadCruncher_Initialize();
    constexpr int kSide = 100, kRow = kSide + 1;
    struct TCase {
        const char* Name;
        bool Scramble, Tile;
    };
    for (const TCase& c : {TCase{"scrambled, a side of three polygons", true, false},
                           TCase{"tiled texture vertices", false, true}}) {
        SCOPED_TRACE(c.Name);
        auto parent = BumpyLevelZero(kSide);
        const int P = parent->GetPCount();
        if (c.Scramble) {
            std::vector<TKSN_SubDPolygon> polygons(parent->Polygons, parent->Polygons + P);
            std::vector<int32_t> uvs(parent->PolygonUVs, parent->PolygonUVs + 4 * size_t(P));
            parent->SetPolygonCount(P + 1);
            for (int q = 0; q < P; ++q) {
                const int from = int((int64_t(q) * 7919) % P);   // 7919 is prime to P: a permutation
                parent->Polygons[q] = polygons[size_t(from)];
                std::copy_n(&uvs[4 * size_t(from)], 4, parent->PolygonUVs + 4 * size_t(q));
            }
            // A triangle on the side between the grid's corners 5 and 6, which two quads already share.
            const int a = 5 * kRow + 5, b = a + 1, far = kRow * kRow - 1;
            parent->Polygons[P] = {a, b, far, far, 0};
            const int32_t triangleUVs[4] = {a, b, far, far};
            std::copy_n(triangleUVs, 4, parent->PolygonUVs + 4 * size_t(P));
        }
        if (c.Tile)   // the right half maps onto the left half's texture vertices
            for (int q = 0; q < P; ++q)
                for (int k = 0; k < 4; ++k) {
                    int32_t& t = parent->PolygonUVs[4 * q + k];
                    if (t % kRow > kSide / 2) t -= kSide / 2;
                }
        parent->AfterRawBuild();
        TKSN_SubDMesh serial;
        ExpectPoolNumberingGivesTheSerialWalk(parent.get(), serial);
    }
}

TEST(SubDParallelBuild, AHeldPoolGivesTheSameLevel)
{
    // With the pool held elsewhere every pass runs whole on this thread.
    ThreadCruncher_Initialize();
    auto parent = BumpyLevelZero(90);
    TKSN_SubDMesh parallel, serial;
    parallel.Subdivide(parent.get());
    {
        TThreadCruncher_Releaser hold;
        ThreadCruncher->StartUsing(hold);
        serial.Subdivide(parent.get());
    }
    ASSERT_EQ(parallel.GetVCount(), serial.GetVCount());
    ASSERT_EQ(parallel.visiblePolygonCount, serial.visiblePolygonCount);
    const size_t v3 = 3 * size_t(serial.GetVCount());
    EXPECT_TRUE(SameFloats(parallel.baseVertices, serial.baseVertices, v3));
    EXPECT_TRUE(SameFloats(parallel.vertexNormals, serial.vertexNormals, v3));
    EXPECT_TRUE(std::equal(serial.visiblePolygons, serial.visiblePolygons + serial.visiblePolygonCount,
                           parallel.visiblePolygons));
    EXPECT_TRUE(std::equal(serial.visibleVertices, serial.visibleVertices + serial.visibleVertexCount,
                           parallel.visibleVertices));
    const auto a = parallel.GetBottomLevelOctreeNodeList(), b = serial.GetBottomLevelOctreeNodeList();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i]->PolygonBegin, b[i]->PolygonBegin);
        EXPECT_TRUE(SameFloats(a[i]->ContentMin, b[i]->ContentMin, 3) && SameFloats(a[i]->ContentMax, b[i]->ContentMax, 3));
    }
}

// The whole octree of a level as the mesh root's own build makes it: the
// level's build files and fits from its records, the root walks the rows.
struct TOctreeSnapshot {
    std::vector<int32_t> VisiblePolygons, VisibleVertices, LeafIndex;
    std::vector<uint8_t> Flags;
    struct TNode {
        int32_t Depth, PolygonBegin, PolygonEnd, VertexBegin, VertexEnd;
        float Boxes[18];
    };
    std::vector<TNode> Nodes;
};
void Snapshot(TQOROctreeNode<int>* node, TOctreeSnapshot& s)
{
    if (!node) return;
    TOctreeSnapshot::TNode n{node->Depth, node->PolygonBegin, node->PolygonEnd, node->VertexBegin, node->VertexEnd, {}};
    std::copy_n(node->ContentMin, 3, n.Boxes);
    std::copy_n(node->ContentMax, 3, n.Boxes + 3);
    std::copy_n(node->NormalMin, 3, n.Boxes + 6);
    std::copy_n(node->NormalMax, 3, n.Boxes + 9);
    std::copy_n(node->CubeMin, 3, n.Boxes + 12);
    std::copy_n(node->CubeMax, 3, n.Boxes + 15);
    s.Nodes.push_back(n);
    for (auto& child : node->Children) Snapshot(child.get(), s);
}
TOctreeSnapshot Snapshot(TKSN_SubDMesh& level)
{
    TOctreeSnapshot s;
    s.VisiblePolygons.assign(level.visiblePolygons, level.visiblePolygons + level.visiblePolygonCount);
    s.VisibleVertices.assign(level.visibleVertices, level.visibleVertices + level.visibleVertexCount);
    s.LeafIndex.assign(level.polygonLeafIndex, level.polygonLeafIndex + level.GetPCount());
    for (int p = 0; p < level.GetPCount(); ++p) s.Flags.push_back(level.GetCustomPFlag(p));
    Snapshot(level.octreeRoot.get(), s);
    return s;
}
void ExpectTheRootsOctree(TKSN_SubDMesh& level, const char* what)
{
    SCOPED_TRACE(what);
    const TOctreeSnapshot own = Snapshot(level);
    // The build filed the positions from before smoothing, which the resolved ones keep.
    std::copy_n(level.resolvedVertices, 3 * size_t(level.GetVCount()), level.baseVertices);
    level.BuildVisiblePolygons(false);
    level.TKSN_MeshRoot::BuildOctree();
    const TOctreeSnapshot root = Snapshot(level);
    EXPECT_EQ(own.VisiblePolygons, root.VisiblePolygons);
    EXPECT_EQ(own.VisibleVertices, root.VisibleVertices);
    EXPECT_EQ(own.LeafIndex, root.LeafIndex);
    EXPECT_EQ(own.Flags, root.Flags);
    ASSERT_EQ(own.Nodes.size(), root.Nodes.size());
    ASSERT_GT(own.Nodes.size(), 64u);
    int different = 0;
    for (size_t i = 0; i < own.Nodes.size(); ++i) {
        const auto &a = own.Nodes[i], &b = root.Nodes[i];
        different += a.Depth != b.Depth || a.PolygonBegin != b.PolygonBegin || a.PolygonEnd != b.PolygonEnd ||
                     a.VertexBegin != b.VertexBegin || a.VertexEnd != b.VertexEnd ||
                     std::memcmp(a.Boxes, b.Boxes, sizeof(a.Boxes)) != 0;
    }
    EXPECT_EQ(different, 0) << "nodes whose slices or boxes differ (bit for bit)";
}

TEST(SubDParallelBuild, LevelOctreeIsTheMeshRootsOctree)
{
    // Triangles (rows naming a polygon twice), a texture seam, +0 and -0
    // side by side, a level made on the pool and one on this thread, and a
    // NaN position (which leaves the fit to the root's walk).
    ThreadCruncher_Initialize();
    auto parent = BumpyLevelZero(110, true);
    ExpectTheRootsOctree(*parent, "level 0");
    float* b = parent->baseVertices;
    for (int v = 0; v < parent->GetVCount(); v += 3) b[3 * v + 2] = v % 2 ? -0.0f : 0.0f;
    parent->AfterRawBuild();
    TKSN_SubDMesh level, serial, withNaN;
    level.Subdivide(parent.get());
    ExpectTheRootsOctree(level, "level 1 on the pool");
    {
        TThreadCruncher_Releaser hold;
        ThreadCruncher->StartUsing(hold);
        serial.Subdivide(parent.get());
        ExpectTheRootsOctree(serial, "level 1 on one thread");
    }
    parent->baseVertices[3 * 1234] = std::nanf("");
    parent->AfterRawBuild();
    withNaN.Subdivide(parent.get());
    ExpectTheRootsOctree(withNaN, "level 1 with a NaN position");
    // The level's first visible vertex NaN on one axis: the root's cell
    // keeps that NaN on it, whatever follows, and the other axes as before.
    parent->baseVertices[3 * size_t(parent->Polygons[0].Corner0) + 1] = std::nanf("");
    parent->AfterRawBuild();
    TKSN_SubDMesh firstNaN;
    firstNaN.Subdivide(parent.get());
    ASSERT_GT(firstNaN.visibleVertexCount, 0);
    ExpectTheRootsOctree(firstNaN, "level 1 whose first visible vertex has a NaN coordinate");
}

}  // namespace
