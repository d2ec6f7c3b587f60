// Brush-shape sampling and the rotation about a pivot.
#include "KSN_BrushShape.h"
#include "KSN_Tool.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(BrushShape, AspectsKeepTheLongerSide)
{
    EXPECT_FLOAT_EQ(SingleClick_GetYAspect(64, 32), 0.5f);
    EXPECT_FLOAT_EQ(SingleClick_GetXAspect(64, 32), 1.0f);
    EXPECT_FLOAT_EQ(SingleClick_GetYAspect(32, 64), 1.0f);
    EXPECT_FLOAT_EQ(SingleClick_GetXAspect(32, 64), 0.5f);
    EXPECT_FLOAT_EQ(SingleClick_GetXAspect(40, 40), 1.0f) << "square: w <= h";
}

// A 64 x 32 shape whose pixel value is its column (row 16 is marked apart)
// and whose simplified bitmap is set in the left half only.
struct TShape {
    static constexpr int W = 64, H = 32;
    std::vector<unsigned char> Pixels = std::vector<unsigned char>(W * H);
    std::vector<unsigned char> Simple = std::vector<unsigned char>(W * H);
    TShape()
    {
        for (int r = 0; r < H; ++r)
            for (int c = 0; c < W; ++c) {
                Pixels[size_t(r * W + c)] = static_cast<unsigned char>(c + (r == 16 ? 100 : 0));
                Simple[size_t(r * W + c)] = c < W / 2;
            }
    }
    float Sample(float x, float y, bool* inside = nullptr, unsigned char b = 0)
    {
        float a = -1.0f;
        const bool hit = SingleClick_GetAmplitude_With_Simplified_Shape(a, 0.5f, 0.25f, x, y, 0.1f, 1.0f,
                                                                        Pixels.data(), Simple.data(), W, H, b);
        if (inside) *inside = hit;
        return a;
    }
};

TEST(BrushShape, CentreAndEdgesOfACoveredRectangle)
{
    TShape shape;
    // Covered: 0.2 wide and 0.1 high around the centre (0.5, 0.25).
    bool hit = false;
    EXPECT_FLOAT_EQ(shape.Sample(0.5f, 0.25f, &hit), float(32 + 100) / 255.0f) << "row 16, column 32";
    EXPECT_FALSE(hit) << "column 32 is in the right half";
    struct Case {
        const char* why;
        float x, y;
        bool inside;
    } cases[] = {
        {"just inside the left edge", 0.401f, 0.25f, true},
        {"just inside the right edge", 0.599f, 0.25f, true},
        {"right of the rectangle", 0.6001f, 0.25f, false},
        {"above the rectangle", 0.5f, 0.3001f, false},
        {"just inside the top", 0.5f, 0.2999f, true},
        {"below the rectangle", 0.5f, 0.18f, false},
        {"less than a pixel below: truncation lands on row 0", 0.5f, 0.1999f, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const float a = shape.Sample(c.x, c.y);
        if (c.inside)
            EXPECT_GE(a, 0.0f);
        else
            EXPECT_EQ(a, 0.0f);
    }
    EXPECT_EQ(shape.Sample(0.7f, 0.25f, &hit), 0.0f);
    EXPECT_FALSE(hit) << "outside: 0 and false";
    EXPECT_TRUE((shape.Sample(0.45f, 0.25f, &hit), hit)) << "left half of the simplified bitmap";
}

TEST(BrushShape, HardnessSaturatesGreyLevels)
{
    struct Case {
        unsigned char value, b;
        float amplitude;
    } cases[] = {
        {100, 0, 100.0f / 255.0f}, {200, 1, 1.0f},   {100, 1, 200.0f / 255.0f}, {127, 1, 254.0f / 255.0f},
        {128, 1, 1.0f},            {1, 255, 1.0f},   {0, 255, 0.0f},            {255, 0, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "v " << int(c.value) << " b " << int(c.b));
        unsigned char pixel = c.value, simple = 1;
        float a = -1.0f;
        EXPECT_TRUE(SingleClick_GetAmplitude_With_Simplified_Shape(a, 0, 0, 0, 0, 0.1f, 1.0f, &pixel, &simple, 1, 1,
                                                                   c.b));
        EXPECT_FLOAT_EQ(a, c.amplitude);
    }
}

bool FlipX = false, FlipY = false;

TEST(BrushShape, TheProjectsFlipsMirrorThePixelRead)
{
    // Pixel value = 4 x row + column on a 4 x 4 shape.
    unsigned char pixels[16], simple[16] = {};
    for (int i = 0; i < 16; ++i) pixels[i] = static_cast<unsigned char>(i);
    TKSN_ToolProjectHooks hooks;
    hooks.GetBrushImageFlips = [](bool& x, bool& y) {
        x = FlipX;
        y = FlipY;
    };
    KSN_SetToolProjectHooks(hooks);
    struct Case {
        bool x, y;
        int value;
    } cases[] = {{false, false, 4 * 0 + 1}, {true, false, 4 * 0 + 2}, {false, true, 4 * 3 + 1}, {true, true, 4 * 3 + 2}};
    for (const Case& c : cases) {
        FlipX = c.x;
        FlipY = c.y;
        float a = 0;
        // Column 1, row 0 of a bitmap spanning -0.1..0.1.
        SingleClick_GetAmplitude_With_Simplified_Shape(a, 0, 0, -0.04f, -0.09f, 0.1f, 1.0f, pixels, simple, 4, 4, 0);
        EXPECT_FLOAT_EQ(a, float(c.value) / 255.0f) << c.x << c.y;
    }
    KSN_SetToolProjectHooks({});
}

void Apply(const float* m, const float* p, float* out)
{
    for (int r = 0; r < 3; ++r) out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r];
}

TEST(BrushShape, RotationAboutAPivot)
{
    float m[16];
    const float axis[3] = {0, 0, 2}, pivot[3] = {1, 0, 0};   // the axis is normalised
    GetRotationMatrix(m, 90.0f, axis, pivot);
    const float p[3] = {2, 0, 0};
    float q[3];
    Apply(m, p, q);
    EXPECT_NEAR(q[0], 1.0f, 1e-6f);
    EXPECT_NEAR(q[1], 1.0f, 1e-6f);
    EXPECT_NEAR(q[2], 0.0f, 1e-6f);
    Apply(m, pivot, q);
    EXPECT_NEAR(q[0], 1.0f, 1e-6f) << "the pivot stays";
    EXPECT_EQ(m[3], 0.0f);
    EXPECT_EQ(m[15], 1.0f);
}

TEST(BrushShape, SoftRotationTablesBlendNeighbouringMatrices)
{
    TKSN_Soft_Rotate_Lookup lookup;
    const float centre[3] = {1, 0, 0}, axis[3] = {0, 0, 1};
    lookup.CalculateAllMatrices(90.0f, centre, axis);
    float expected[16];
    GetRotationMatrix(expected, 45.0f, axis, centre);
    float m[16];
    lookup.GetRotationMatrixB(m, 0.5f);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(m[i], lookup.Matrices[49][i]) << "t = 0.5 is exactly matrix 49, element " << i;
        EXPECT_NEAR(m[i], expected[i], 1e-6f) << "half the angle";
    }
    lookup.GetRotationMatrixB(m, 0.005f);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], lookup.Matrices[0][i]) << "below 0.01: matrix 0";
    lookup.GetRotationMatrixB(m, 1.2f);
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], lookup.Matrices[99][i]) << "1 or more: matrix 99";
    lookup.GetRotationMatrixB(m, 0.255f);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m[i], 0.5f * lookup.Matrices[25][i] + 0.5f * lookup.Matrices[24][i], 1e-6f) << "between two";
}

} // namespace
