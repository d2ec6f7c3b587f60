// Mesh root: arrays, counts, change-flag channels, symmetry maps, the
// vertex-to-polygon table and the invalidation hook.
#include "GeometryTestSupport.h"

#include "KSN_MeshRoot.h"

namespace {

using GeometryTest::MakeMesh;

TEST(MeshRootCFlags, StampsRunFrom1To255AndTheWrapClearsEveryFlag)
{
    TKSN_MeshRoot root;
    root.SetVertexCount(4);
    root.SetPolygonCount(2);
    const eCFlag_Channel ch = eCFlag_Channel_General;

    root.StartUsingCFlags(ch);
    EXPECT_EQ(root.cflagStamps[ch], 1);
    EXPECT_FALSE(root.CFlag_TestVertex(ch, 0));
    root.CFlag_FlagVertex(ch, 0);
    root.CFlag_FlagPolygon(ch, 1);
    EXPECT_TRUE(root.CFlag_TestVertex(ch, 0));
    EXPECT_TRUE(root.CFlag_TestPolygon(ch, 1));
    EXPECT_FALSE(root.CFlag_TestPolygon(ch, 0));

    // A new use unflags everything at once.
    root.StartUsingCFlags(ch);
    EXPECT_FALSE(root.CFlag_TestVertex(ch, 0));
    EXPECT_FALSE(root.CFlag_TestPolygon(ch, 1));

    while (root.cflagStamps[ch] < 255) root.StartUsingCFlags(ch);
    root.CFlag_FlagVertex(ch, 2);
    EXPECT_TRUE(root.CFlag_TestVertex(ch, 2));
    root.StartUsingCFlags(ch);   // the 256th use
    EXPECT_EQ(root.cflagStamps[ch], 1);
    for (int v = 0; v < 4; ++v) EXPECT_FALSE(root.CFlag_TestVertex(ch, v)) << v;

    // Channels are independent.
    EXPECT_EQ(root.cflagStamps[eCFlag_Channel_Brush], 0);
    EXPECT_EQ(root.cflagVertices[eCFlag_Channel_Brush], nullptr);
}

TEST(MeshRootCFlags, ResizingReleasesEveryChannel)
{
    TKSN_MeshRoot root;
    root.SetVertexCount(3);
    root.SetPolygonCount(3);
    for (int c = 0; c < KSN_CFLAG_CHANNELS; ++c) root.StartUsingCFlags(eCFlag_Channel(c));
    root.SetVertexCount(10);
    for (int c = 0; c < KSN_CFLAG_CHANNELS; ++c) {
        EXPECT_EQ(root.cflagStamps[c], 0);
        EXPECT_EQ(root.cflagVertices[c], nullptr);
        EXPECT_EQ(root.cflagPolygons[c], nullptr);
    }
    // The next use sizes the arrays for the new count.
    root.StartUsingCFlags(eCFlag_Channel_Overlay);
    root.CFlag_FlagVertex(eCFlag_Channel_Overlay, 9);
    EXPECT_TRUE(root.CFlag_TestVertex(eCFlag_Channel_Overlay, 9));
    root.StartUsingCFlags(eCFlag_Channel_Brush);
    root.SetPolygonCount(1);
    EXPECT_EQ(root.cflagStamps[eCFlag_Channel_Brush], 0);
}

TEST(MeshRootArrays, ResizingKeepsTheFirstEntries)
{
    TKSN_MeshRoot root;
    root.SetVertexCount(2);
    for (int i = 0; i < 6; ++i) root.baseVertices[i] = float(i + 1);
    root.vertexPartners[0][1] = 5;
    root.SetVertexCount(5);
    EXPECT_EQ(root.vertexCount, 5);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(root.baseVertices[i], float(i + 1));
    EXPECT_EQ(root.vertexPartners[0][1], 5);
    root.SetVertexCount(1);
    EXPECT_EQ(root.baseVertices[2], 3.0f);

    root.SetTVertexCount(3);
    EXPECT_EQ(root.tVertexCount, 3);
    root.SetPolygonCount(4);
    EXPECT_NE(root.polygonNormals, nullptr);
    EXPECT_NE(root.polygonPartners[1], nullptr);
    // A visible-only normal pass never writes hidden polygons' normals, and the
    // vertex pass sums them: kept ones stay, new ones read zero.
    for (int i = 0; i < 12; ++i) root.polygonNormals[i] = 7.0f;
    root.SetPolygonCount(4000);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(root.polygonNormals[i], 7.0f);
    for (int i = 12; i < 12000; ++i) ASSERT_EQ(root.polygonNormals[i], 0.0f) << i;

    // Lean mode keeps no partner maps.
    root.SetLeanAndMean(true);
    EXPECT_EQ(root.vertexPartners[0], nullptr);
    EXPECT_EQ(root.polygonPartners[1], nullptr);
    root.SetVertexCount(3);
    EXPECT_EQ(root.vertexPartners[1], nullptr);
    EXPECT_FALSE(root.KeepVertexPolygonsInMemory());
}

TEST(MeshRootArrays, ABareRootAnswersLikeAMeshWithoutPolygons)
{
    TKSN_MeshRoot root;
    root.SetVertexCount(1);
    EXPECT_EQ(root.GetResolvedVSelect(0), 1.0f);
    EXPECT_EQ(root.GetResolvedPSelect(0), 0.0f);
    EXPECT_EQ(root.vGetPolyN(0), -1);
    EXPECT_EQ(root.GetMaterialCount(), 0);
    EXPECT_EQ(root.GetMaterial(0), nullptr);
    EXPECT_FALSE(root.DoRenderDoubleSided());
    EXPECT_EQ(root.GetMaxOctreeDepth(), 2);
    root.UpdateDisplacementMapHelpers();
    EXPECT_EQ(root.maxDisplacementReach, 0.0f);

    root.vertexNormals[0] = 0.25f;
    root.SetOriginalVertexNormals();
    ASSERT_NE(root.originalVertexNormals, nullptr);
    EXPECT_EQ(root.originalVertexNormals[0], 0.25f);
}

TEST(MeshRootSymmetry, ActiveMapsFollowTheFlipAndOffSettings)
{
    TKSN_MeshRoot root;
    root.SetVertexCount(2);
    root.SetPolygonCount(2);
    const struct {
        bool flipped, off;
        int state;
        int vertexA;   // which partner map becomes A; −1 none
    } cases[] = {{false, false, 2, 0}, {true, false, 1, 1}, {true, true, 0, -1}, {false, true, 0, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "flipped " << c.flipped << " off " << c.off);
        root.SetActiveSymmetryMap(c.flipped, c.off);
        EXPECT_EQ(root.symmetryState, c.state);
        if (c.vertexA < 0) {
            EXPECT_EQ(root.activeVertexPartnerA, nullptr);
            EXPECT_EQ(root.activeVertexPartnerB, nullptr);
            EXPECT_EQ(root.activePolygonPartnerA, nullptr);
            EXPECT_EQ(root.activePolygonPartnerB, nullptr);
        } else {
            EXPECT_EQ(root.activeVertexPartnerA, root.vertexPartners[c.vertexA]);
            EXPECT_EQ(root.activeVertexPartnerB, root.vertexPartners[1 - c.vertexA]);
            EXPECT_EQ(root.activePolygonPartnerA, root.polygonPartners[c.vertexA]);
            EXPECT_EQ(root.activePolygonPartnerB, root.polygonPartners[1 - c.vertexA]);
        }
    }
    // A resize forgets the active maps.
    root.SetActiveSymmetryMap(false, false);
    root.SetVertexCount(3);
    EXPECT_EQ(root.activeVertexPartnerA, nullptr);
}

TEST(MeshRootTables, VertexPolygonsListAPolygonOncePerCornerInPolygonOrder)
{
    auto mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                         {{0, 1, 2}, {1, 3, 2, 1}, {3, 1, 2}});
    mesh->BuildVertexPolygons();
    const struct {
        int vertex;
        std::vector<int> polygons;
    } rows[] = {{0, {0}}, {1, {0, 1, 1, 2}}, {2, {0, 1, 2}}, {3, {1, 2}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.vertex);
        const int* row = mesh->vertexPolygons[r.vertex];
        ASSERT_EQ(row[0], int(r.polygons.size()));
        for (size_t i = 0; i < r.polygons.size(); ++i) EXPECT_EQ(row[1 + i], r.polygons[i]);
    }
}

int CancelCalls = 0;

TEST(MeshRootInvalidation, DiscardingTheOctreeOrListsStopsTheBackgroundWorkFirst)
{
    KSN_SetCancelViewportDependentWorkhorsesHook([] { ++CancelCalls; });
    TKSN_MeshRoot root;
    root.SetVertexCount(3);
    CancelCalls = 0;
    root.InvalidateOctree();
    EXPECT_EQ(CancelCalls, 1);
    root.visibleListsValid = true;
    root.InvalidateVisibleLookups();
    EXPECT_EQ(CancelCalls, 2);
    EXPECT_FALSE(root.visibleListsValid);
    root.SetMaxOctreeDepth(2);   // unchanged: nothing discarded
    EXPECT_EQ(CancelCalls, 2);
    root.SetMaxOctreeDepth(4);
    EXPECT_EQ(CancelCalls, 3);
    KSN_SetCancelViewportDependentWorkhorsesHook(nullptr);
}

TEST(MeshRootInvalidation, ShrinkingBelowTheVisibleCountMakesTheListsStale)
{
    TKSN_MeshRoot root;
    root.SetVertexCount(5);
    root.GetVisibleVertexCount();   // the root's build only marks the lists valid
    EXPECT_TRUE(root.AreVisibleListsValid());
    root.visibleVertexCount = 5;
    root.SetVertexCount(4);
    EXPECT_FALSE(root.AreVisibleListsValid());
}

}  // namespace
