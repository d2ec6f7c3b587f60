// The tiling converters at fixed points: angles measured from -z through -x,
// a full turn per unit of u, and the reference keeping one patch's angles
// together across the seam.
#include <gtest/gtest.h>

#include <cmath>

#include "TouchupTiling.h"

namespace {

constexpr float kPi = 3.14159265358979f;

TKSN_TileParameters Tile()
{
    TKSN_TileParameters tile;
    tile.InvTileWidth = 0.5f;    // width 2
    tile.InvTileHeight = 0.25f;  // height 4
    tile.TileHeight = 4.0f;
    tile.TileRepeat = 2.0f;
    return tile;
}

struct Case {
    const char* Why;
    float Q[3];
    bool HasReference;
    float Reference[3];
    float U, V;
};

TEST(TouchupTiling, FixedPlaneScalesByTheTileSizeAroundTheCentre)
{
    float uv[3] = {9, 9, 9};
    const float q[3] = {1.0f, 2.0f, 7.0f};
    ConvertVertexToFixedPlaneCoordinates(uv, q, nullptr, Tile());
    EXPECT_FLOAT_EQ(uv[0], 2.0f);   // (1 x 0.5 + 0.5) x 2
    EXPECT_FLOAT_EQ(uv[1], 2.0f);   // (2 x 0.25 + 0.5) x 2
    EXPECT_FLOAT_EQ(uv[2], 0.0f);

    TKSN_TileParameters flat = Tile();
    flat.InvTileWidth = 0.0f;   // a zero width: every point at the middle of the tile
    ConvertVertexToFixedPlaneCoordinates(uv, q, nullptr, flat);
    EXPECT_FLOAT_EQ(uv[0], 0.5f * flat.TileRepeat);
}

TEST(TouchupTiling, CylinderAnglesRiseFromMinusZThroughMinusX)
{
    const float R = 2.0f;
    const float seam = std::atan(0.1f);   // angle of (0.1, -1) from -z
    const Case cases[] = {
        {"-z is angle 0", {0, 3, -1}, false, {}, 0.0f, (3 - 2) * 0.25f * R},
        {"-x a quarter turn", {-1, 0, 0}, false, {}, 0.25f * R, (0 - 2) * 0.25f * R},
        {"+z half a turn", {0, 0, 2}, false, {}, 0.5f * R, -0.5f * R},
        {"+x three quarters", {1, 0, 0}, false, {}, 0.75f * R, -0.5f * R},
        {"just past the seam alone", {0.1f, 0, -1}, false, {}, (2 * kPi - seam) / (2 * kPi) * R, -0.5f * R},
        {"just past the seam beside its patch", {0.1f, 0, -1}, true, {-0.1f, 0, -1}, -seam / (2 * kPi) * R,
         -0.5f * R},
        {"before the seam beside a patch past it", {-0.1f, 0, -1}, true, {0.1f, 0, -1},
         (2 * kPi + seam) / (2 * kPi) * R, -0.5f * R},
        {"a reference on the axis keeps the angle", {1, 0, 0}, true, {0, 5, 0}, 0.75f * R, -0.5f * R},
        {"on the axis", {0, 5, 0}, true, {1, 0, 0}, 0.0f, (5 - 2) * 0.25f * R},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        float uv[3] = {9, 9, 9}, radius = -1.0f;
        ConvertVertexToCylindricalCoordinates(uv, c.Q, c.HasReference ? c.Reference : nullptr, &radius, Tile());
        EXPECT_NEAR(uv[0], c.U, 1e-5f);
        EXPECT_NEAR(uv[1], c.V, 1e-5f);
        EXPECT_EQ(uv[2], 0.0f);
        EXPECT_NEAR(radius, std::hypot(c.Q[0], c.Q[2]), 1e-6f);
    }
}

TEST(TouchupTiling, SphereGivesLongitudeAndLatitudeFromTheLowerPole)
{
    const float R = 2.0f;
    const float seam = std::atan(0.1f);
    const Case cases[] = {
        {"lower pole", {0, -3, 0}, false, {}, 0.0f, 0.0f},
        {"upper pole", {0, 3, 0}, false, {}, 0.0f, R},
        {"-x on the equator", {-1, 0, 0}, false, {}, 0.25f * R, 0.5f * R},
        {"+x on the equator", {2, 0, 0}, false, {}, 0.75f * R, 0.5f * R},
        {"+z, 45 degrees up", {0, 1, 1}, false, {}, 0.5f * R, 0.75f * R},
        {"the origin", {0, 0, 0}, true, {0.1f, 0, -1}, 0.0f, 0.0f},
        {"past the seam beside its patch", {0.1f, 0, -1}, true, {-0.1f, 0, -1}, -seam / (2 * kPi) * R,
         std::acos(0.0f) / kPi * R},
        {"a reference at the origin wraps nothing", {0.1f, 0, -1}, true, {0, 0, 0},
         (2 * kPi - seam) / (2 * kPi) * R, 0.5f * R},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Why);
        float uv[3] = {9, 9, 9};
        ConvertVertexToSphericalCoordinates(uv, c.Q, c.HasReference ? c.Reference : nullptr, Tile());
        EXPECT_NEAR(uv[0], c.U, 1e-5f);
        EXPECT_NEAR(uv[1], c.V, 1e-5f);
        EXPECT_EQ(uv[2], 0.0f);
    }
}

} // namespace
