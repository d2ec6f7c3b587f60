#include "QORProximityTester.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

namespace {

const float kOrigin[3] = {0, 0, 0};

TEST(QORProximityTester, SortsByDistanceFromTheReference)
{
    const float points[3][3] = {{1, 0, 0}, {0, 0.5f, 0}, {0, 0, 2}};
    TQORProximityTester tester(3, kOrigin, 0.001f, 3.0f);
    for (int i = 0; i < 3; ++i) tester.SetPoint(i, points[i]);
    tester.ProcessPoints();
    EXPECT_EQ(tester.GetPointIndex(0), 1);
    EXPECT_EQ(tester.GetPointIndex(1), 0);
    EXPECT_EQ(tester.GetPointIndex(2), 2);
    EXPECT_EQ(tester.GetPointIndex(3), -1);
    EXPECT_EQ(tester.GetPointIndex(-1), -1);
}

TEST(QORProximityTester, ToleranceBoundaries)
{
    struct Case {
        const char* what;
        float a[3], b[3];
        bool radiiIdentical, pointsIdentical;
    };
    const Case cases[] = {
        {"0.0005 apart", {0, 0, 0}, {0.0005f, 0, 0}, true, true},
        {"exactly the tolerance apart", {0, 0, 0}, {0.001f, 0, 0}, true, false},
        {"same sphere, different points", {1, 0, 0}, {0, 1, 0}, true, false},
        {"far apart", {0, 0, 0}, {0, 0, 1}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TQORProximityTester tester(2, kOrigin, 0.001f, 3.0f);
        tester.SetPoint(0, c.a);
        tester.SetPoint(1, c.b);
        tester.ProcessPoints();
        EXPECT_EQ(tester.AreRadiiIdentical(0, 1), c.radiiIdentical);
        EXPECT_EQ(tester.ArePointsIdentical(0, 1), c.pointsIdentical);
        EXPECT_EQ(tester.ArePointsIdentical(1, 0), c.pointsIdentical);
    }
}

TEST(QORProximityTester, OutOfRangeAndUnsetPointsAreHarmless)
{
    const float p[3] = {1, 2, 3};
    TQORProximityTester tester(2, kOrigin, 0.1f, 3.0f);
    tester.SetPoint(-1, p);
    tester.SetPoint(2, p);
    tester.SetPoint(0, p);
    tester.ProcessPoints();
    EXPECT_FALSE(tester.ArePointsIdentical(0, 1));   // one record never set
    EXPECT_FALSE(tester.AreRadiiIdentical(0, 5));
    EXPECT_FALSE(tester.ArePointsIdentical(-1, 0));

    TQORProximityTester empty(0, kOrigin, 0.1f, 3.0f);
    empty.ProcessPoints();
    EXPECT_EQ(empty.GetPointIndex(0), -1);
}

TEST(QORProximityTester, KeyOnOneAxis)
{
    const float points[3][3] = {{5, -1, 9}, {0, 3, -9}, {1, 0, 0}};
    TQORProximityTester tester(3, kOrigin, 0.01f, 3.0f);
    tester.KeyByDistance = false;
    tester.KeyAxis = 1;
    for (int i = 0; i < 3; ++i) tester.SetPoint(i, points[i]);
    tester.ProcessPoints();
    EXPECT_EQ(tester.GetPointIndex(0), 0);
    EXPECT_EQ(tester.GetPointIndex(1), 2);
    EXPECT_EQ(tester.GetPointIndex(2), 1);
}

// The welding sweep over the sorted keys finds exactly the pairs that a
// comparison of every pair finds, also with many equal keys.
TEST(QORProximityTester, SweepFindsEveryCoincidentPair)
{
    const float tolerance = 0.01f;
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> cell(0, 6);
    std::uniform_real_distribution<float> jitter(-0.003f, 0.003f);
    std::vector<float> coordinates;
    for (int i = 0; i < 600; ++i) {
        // Points on a coarse grid (many equal keys), some nudged slightly.
        const bool nudge = i % 3 == 0;
        for (int k = 0; k < 3; ++k) coordinates.push_back(float(cell(random)) * 0.5f + (nudge ? jitter(random) : 0.0f));
    }
    const int n = int(coordinates.size() / 3);

    for (float dimensions : {2.0f, 3.0f}) {
        SCOPED_TRACE(dimensions);
        const int dims = int(dimensions);
        std::set<std::pair<int, int>> expected;
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b) {
                float sum = 0;
                for (int k = 0; k < dims; ++k) {
                    const float d = coordinates[size_t(3 * a + k)] - coordinates[size_t(3 * b + k)];
                    sum += d * d;
                }
                if (std::sqrt(sum) < tolerance) expected.insert({a, b});
            }

        const float reference[3] = {-1.3f, 0.7f, 2.1f};
        TQORProximityTester tester(n, reference, tolerance, dimensions);
        for (int i = 0; i < n; ++i) tester.SetPoint(i, &coordinates[size_t(3 * i)]);
        tester.ProcessPoints();

        std::vector<int> order;
        for (int k = 0; k < n; ++k) order.push_back(tester.GetPointIndex(k));
        std::vector<int> sortedOrder(order);
        std::sort(sortedOrder.begin(), sortedOrder.end());
        for (int i = 0; i < n; ++i) ASSERT_EQ(sortedOrder[size_t(i)], i) << "positions are a permutation";

        std::set<std::pair<int, int>> found;
        for (int k = 0; k < n; ++k)
            for (int j = k + 1; j < n && tester.AreRadiiIdentical(k, j); ++j)
                if (tester.ArePointsIdentical(k, j)) {
                    const int a = tester.GetPointIndex(k), b = tester.GetPointIndex(j);
                    found.insert({std::min(a, b), std::max(a, b)});
                }
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(found, expected);
    }
}

} // namespace
