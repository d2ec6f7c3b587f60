// View maths: zoom reading, pixel conversions, locks, near/far fitting,
// clipping into a world cube and the view-volume test.
#include "QOR3DViewport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ViewMaths, ZoomAndPixelConversions)
{
    TQOR3DViewport v;
    v.Resize(0, 0, 200, 100);
    EXPECT_FLOAT_EQ(v.XtoU(0), -1.0f);
    EXPECT_FLOAT_EQ(v.XtoU(200), 1.0f);
    EXPECT_FLOAT_EQ(v.YtoV(0), 1.0f);
    EXPECT_FLOAT_EQ(v.YtoV(100), -1.0f);
    for (float x : {0.0f, 13.0f, 99.5f, 200.0f}) EXPECT_NEAR(v.UtoX(v.XtoU(x)), x, 1e-4f);
    for (float y : {0.0f, 7.0f, 100.0f}) EXPECT_NEAR(v.VtoY(v.YtoV(y)), y, 1e-4f);

    struct Case {
        float zoom, defaultFactor, getZoom, factor;
    } cases[] = {
        {0.0f, 1.0f, 1e-30f, 1e-6f},
        {-2.0f, 1.0f, -2.0f, 1e-6f},
        {std::numeric_limits<float>::quiet_NaN(), 1.0f, 1e-30f, 1e-6f},
        {0.0001f, 1000.0f, 0.0001f, 0.001f},
        {3.0f, 1.0f, 3.0f, 3.0f},
        {0.0f, 0.0f, 1e-30f, 1e-10f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.zoom);
        v.DefaultZoomFactor = c.defaultFactor;
        v.SetZoom(c.zoom);
        EXPECT_FLOAT_EQ(v.GetZoom(), c.getZoom);
        EXPECT_FLOAT_EQ(v.GetZoomFactor(), c.factor);
        EXPECT_GE(v.GetZoomFactor(), 1e-10f);
    }
}

TEST(ViewMaths, CollapsedWindowKeepsTheMathsFinite)
{
    TQOR3DViewport v;
    v.Resize(0, 0, 0, 0);
    EXPECT_TRUE(std::isfinite(v.Aspect));
    EXPECT_TRUE(std::isfinite(v.XtoU(5)));
    EXPECT_TRUE(std::isfinite(v.YtoV(5)));
    v.Resize(0, 0, 0, 480);
    EXPECT_FLOAT_EQ(v.Aspect, 480.0f);
}

TEST(ViewMaths, NavigationLockIgnoresSettersButNotLoading)
{
    const float p[3] = {1, 2, 3};
    const float m[16] = {0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    TQOR3DViewport v;
    v.NavLock();
    v.SetZoom(5.0f);
    v.SetLookAt(p, nullptr, 0.0f, false);
    v.SetRotationMatrix(m);
    EXPECT_FLOAT_EQ(v.GetZoom(), 1.0f);
    EXPECT_FLOAT_EQ(v.LookAt[0], 0.0f);
    EXPECT_FLOAT_EQ(v.RotationMatrix[0], 1.0f);

    v.SetZoomForLoadingOnly(5.0f);
    v.SetLookAtForLoadingOnly(p);
    v.SetRotationMatrixForLoadingOnly(m);
    EXPECT_FLOAT_EQ(v.GetZoom(), 5.0f);
    EXPECT_FLOAT_EQ(v.LookAt[2], 3.0f);
    EXPECT_FLOAT_EQ(v.RotationMatrix[2], -1.0f);
    EXPECT_FLOAT_EQ(v.TransposedRotationMatrix[8], -1.0f);
    EXPECT_FALSE(v.Loading);

    // A locked viewport that follows no other one ignores the navigation lock.
    v.Lock();
    EXPECT_FALSE(v.IsNavLocked());
    v.SetZoom(7.0f);
    EXPECT_FLOAT_EQ(v.GetZoom(), 7.0f);
    v.SetAutoView(true);
    EXPECT_TRUE(v.IsNavLocked());
}

TEST(ViewMaths, LookAtMovesTheViewOffsetsAndClipsIntoTheCube)
{
    TQOR3DViewport v;
    const float p[3] = {2, -1, 0};
    v.SetLookAt(p, nullptr, 0.0f, true);   // clip switch without a centre: unclipped
    EXPECT_FLOAT_EQ(v.LookAt[0], 2.0f);
    EXPECT_FLOAT_EQ(v.ViewOffsetU, 2.0f);
    EXPECT_FLOAT_EQ(v.ViewOffsetV, -1.0f);

    const float origin[3] = {0, 0, 0};
    v.SetLookAtForLoadingOnly(origin);
    const float centre[3] = {0, 0, 0};
    float outside[3] = {4, 2, 0};   // beyond +x and +y of the cube ±1
    v.ClipPointInWorldRange(outside, centre, 1.0f);
    // +x first: the ray from the origin meets x = 1 at (1, 0.5); that is inside +y.
    EXPECT_FLOAT_EQ(outside[0], 1.0f);
    EXPECT_FLOAT_EQ(outside[1], 0.5f);
    float inside[3] = {1, 0, 0};   // on a face: unchanged
    v.ClipPointInWorldRange(inside, centre, 1.0f);
    EXPECT_FLOAT_EQ(inside[0], 1.0f);
}

TEST(ViewMaths, NearFarAndViewVolume)
{
    TQOR3DViewport v;
    // Eye space looks down -z: a box from z = -5 to -3 is 3 to 5 deep.
    const float min[3] = {-1, -1, -5}, max[3] = {1, 1, -3};
    v.CalculateNearAndFar(min, max);
    EXPECT_FLOAT_EQ(v.Near, 1.0f);
    EXPECT_FLOAT_EQ(v.Far, 7.0f);
    EXPECT_NEAR(v.BoundingRadius, std::sqrt(3.0f), 1e-6f);

    // Identity P and MV: the view volume is the cube -1..1.
    v.calcViewVolumePlanes();
    const float a[3] = {2, 2, 2}, b[3] = {2.4f, 2.4f, 2.4f};
    EXPECT_FALSE(v.CubeInView(a, b, 0.0f));
    EXPECT_FALSE(v.CubeInView(a, b, 0.5f));   // grows to 1.5: still outside
    EXPECT_TRUE(v.CubeInView(a, b, 1.5f));
    EXPECT_TRUE(v.CubeInView(a, b, -1.5f));   // a negative margin grows the box too
    const float c[3] = {1.4f, 0, 0}, d[3] = {1.45f, 0.1f, 0.1f};
    EXPECT_FALSE(v.CubeInView(c, d, 0.0f));
    EXPECT_TRUE(v.CubeInView(c, d, -0.5f));
}

} // namespace
