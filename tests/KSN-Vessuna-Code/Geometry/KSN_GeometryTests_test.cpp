// Box overlap, point-to-segment distance, free-hand point-in-polygon and the
// packing bins.
#include "KSN_GeometryTests.h"
#include "QORSort.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

TEST(BoxTests, OverlapTable)
{
    struct Case {
        float aMin[3], aMax[3], bMin[3], bMax[3];
        bool overlap;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {{0, 0, 0}, {1, 1, 1}, {1, 1, 1}, {2, 2, 2}, true},          // touching corners
        {{0, 0, 0}, {1, 1, 1}, {1.01f, 0, 0}, {2, 1, 1}, false},     // a 0.01 gap in x
        {{0, 0, 0}, {1, 1, 1}, {0, 0, 1.01f}, {1, 1, 2}, false},     // a gap in z only
        {{0, 0, 0}, {1, 1, 1}, {0.2f, 0.2f, 0.2f}, {0.3f, 0.3f, 0.3f}, true},   // nested
        {{0, 0, 0}, {1, 1, 1}, {nan, 5, 5}, {nan, 6, 6}, false},     // y still rejects
        {{0, 0, 0}, {1, 1, 1}, {nan, nan, nan}, {nan, nan, nan}, true},   // NaN never rejects
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "b " << c.bMin[0] << "," << c.bMin[1] << "," << c.bMin[2]);
        EXPECT_EQ(Kestrune_BoxCollision3(c.aMin, c.aMax, c.bMin, c.bMax), c.overlap);
        EXPECT_EQ(Kestrune_BoxCollision3(c.bMin, c.bMax, c.aMin, c.aMax), c.overlap);
    }
}

TEST(BoxTests, GrownTwoDimensionalTestAndPointInBox)
{
    const float aMin[2] = {0, 0}, aMax[2] = {1, 1}, bMin[2] = {1.5f, 0}, bMax[2] = {2, 1};
    EXPECT_FALSE(Kestrune_BoxCollision(aMin, aMax, bMin, bMax));
    EXPECT_FALSE(Kestrune_BoxCollision(aMin, aMax, bMin, bMax, 0.4f, 0.0f));
    EXPECT_TRUE(Kestrune_BoxCollision(aMin, aMax, bMin, bMax, 0.5f, 0.0f));
    // Grown on the left side too.
    EXPECT_TRUE(Kestrune_BoxCollision(bMin, bMax, aMin, aMax, 0.5f, 0.0f));
    const float lo[3] = {0, 0, 0}, hi[3] = {1, 1, 1};
    const float on[3] = {1, 0, 0.5f}, out[3] = {0.5f, 1.0001f, 0.5f};
    EXPECT_TRUE(Kestrune_BoxPointCollision3(on, lo, hi));
    EXPECT_FALSE(Kestrune_BoxPointCollision3(out, lo, hi));
}

TEST(PointLineSegmentDistance, Table)
{
    struct Case {
        float p[3], a[3], b[3];
        float distance, t;
        float closest[3];
    };
    const Case cases[] = {
        {{0.5f, 2, 0}, {0, 0, 0}, {1, 0, 0}, 2.0f, 0.5f, {0.5f, 0, 0}},
        {{-1, 0, 0}, {0, 0, 0}, {1, 0, 0}, 1.0f, -1.0f, {0, 0, 0}},
        {{3, 0, 0}, {0, 0, 0}, {1, 0, 0}, 2.0f, 3.0f, {1, 0, 0}},
        // Beside a diagonal segment: the parameter is the projection onto the
        // whole direction, (1.2 - 0.5) / 2 = 0.35, and the answer the line distance.
        {{1.2f, -0.5f, 0}, {0, 0, 0}, {1, 1, 0}, 1.7f / std::sqrt(2.0f), 0.35f, {0.35f, 0.35f, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "p " << c.p[0] << "," << c.p[1]);
        float closest[3] = {9, 9, 9};
        EXPECT_NEAR(KSN_PointLineSegmentDistance(c.p, c.a, c.b, closest), c.distance, 1e-5f);
        EXPECT_NEAR(KSN_PointLineSegmentDistance_Last_t, c.t, 1e-5f);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(closest[i], c.closest[i], 1e-5f);
    }
    EXPECT_NEAR(1.7f / std::sqrt(2.0f), 1.202f, 1e-3f);
}

TEST(PointLineSegmentDistance, DegenerateCasesLeaveClosestAlone)
{
    const float a[3] = {1, 1, 1}, p[3] = {1, 1, 4}, b[3] = {2, 1, 1};
    float closest[3] = {7, 7, 7};
    EXPECT_FLOAT_EQ(KSN_PointLineSegmentDistance(p, a, a, closest), 3.0f);   // a == b
    EXPECT_FLOAT_EQ(KSN_PointLineSegmentDistance_Last_t, 0.0f);
    EXPECT_FLOAT_EQ(KSN_PointLineSegmentDistance(b, a, b, closest), 0.0f);    // p on b
    EXPECT_FLOAT_EQ(KSN_PointLineSegmentDistance_Last_t, 1.0f);
    EXPECT_FLOAT_EQ(KSN_PointLineSegmentDistance(a, a, b, nullptr), 0.0f);    // p on a
    EXPECT_FLOAT_EQ(KSN_PointLineSegmentDistance_Last_t, 0.0f);
    EXPECT_FLOAT_EQ(closest[0], 7.0f);
}

TEST(FreehandPointInsidePolygon, SquarePathAndSinglePoint)
{
    const TKSN_FreehandPoint square[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    struct Case {
        float p[2];
        bool inside;
        float minDist;
    };
    const Case cases[] = {{{0.5f, 0.5f}, true, 0.25f}, {{2, 0.5f}, false, 1.0f}, {{0.5f, -0.25f}, false, 0.0625f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.p[0] << "," << c.p[1]);
        float minDist = 100.0f;
        EXPECT_EQ(KSN_Freehand_PointInsidePolygon(square, 4, c.p, minDist), c.inside);
        EXPECT_NEAR(minDist, c.minDist, 1e-6f);
    }
    const TKSN_FreehandPoint one[1] = {{0, 0}};
    const float p[2] = {3, 4};
    float minDist = 100.0f;
    EXPECT_FALSE(KSN_Freehand_PointInsidePolygon(one, 1, p, minDist));
    EXPECT_FLOAT_EQ(minDist, 25.0f);
    minDist = 1.0f;   // only ever lowered
    EXPECT_FALSE(KSN_Freehand_PointInsidePolygon(one, 1, p, minDist));
    EXPECT_FLOAT_EQ(minDist, 1.0f);
    EXPECT_FALSE(KSN_Freehand_PointInsidePolygon(square, 0, p, minDist));
}

TEST(Bins, InitAndSortByFallingScale)
{
    std::vector<TBin> bins(3);
    const float scales[3] = {0.2f, 0.9f, 0.5f};
    for (int i = 0; i < 3; ++i) {
        bins[size_t(i)].Init();
        bins[size_t(i)].Index = i;
        bins[size_t(i)].ScaleU = scales[i];
        bins[size_t(i)].SMin[0] = float(i);   // stays with its array position
    }
    EXPECT_EQ(bins[0].Ints[1], -1);
    EXPECT_FLOAT_EQ(bins[0].TMin[0], 1e30f);
    EXPECT_FLOAT_EQ(bins[0].ScaleV, 1.0f);
    QORQuickSort(bins.data(), 0, 2, CompareBins, SwapBins);
    EXPECT_FLOAT_EQ(bins[0].ScaleU, 0.9f);
    EXPECT_FLOAT_EQ(bins[1].ScaleU, 0.5f);
    EXPECT_FLOAT_EQ(bins[2].ScaleU, 0.2f);
    EXPECT_EQ(bins[0].Index, 1);
    EXPECT_EQ(bins[2].Index, 0);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(bins[size_t(i)].SMin[0], float(i));

    bins[0].ScaleU = 0.5f;
    bins[1].ScaleU = 0.5f + 5e-7f;
    EXPECT_EQ(CompareBins(bins.data(), 0, 1), 0);
}

} // namespace
