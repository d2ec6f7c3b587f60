#include "QORLookupTables.h"
#include "QORMatrix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace {

void TransformPoint(const float* m, const float* p, float* out)
{
    for (int k = 0; k < 3; ++k) out[k] = p[0] * m[k] + p[1] * m[4 + k] + p[2] * m[8 + k] + m[12 + k];
}

void RotationAboutZ(float degrees, float* m)
{
    float axis[3] = {0, 0, 1};
    QuaternionToMatrix(QuaternionFromAxisAngle(axis, degrees), m);
}

// [SECTION] Matrices

TEST(QORMatrix, MultiplyAppliesFirstMatrixFirst)
{
    float scale[16], translation[16], product[16];
    QORMatrix_CreateScale4x4(scale, 2, 3, 4);
    QORMatrix_CreateTranslation4x4(translation, 10, 20, 30);
    QORMatrix_MultiplyMatrix4x4(scale, translation, product);

    EXPECT_FLOAT_EQ(product[12], 10);
    EXPECT_FLOAT_EQ(product[13], 20);
    EXPECT_FLOAT_EQ(product[14], 30);
    const float p[3] = {1, 1, 1};
    float q[3];
    TransformPoint(product, p, q);
    EXPECT_FLOAT_EQ(q[0], 12);
    EXPECT_FLOAT_EQ(q[1], 23);
    EXPECT_FLOAT_EQ(q[2], 34);

    // Chaining matches transforming in turn.
    float rotation[16], chained[16];
    RotationAboutZ(30, rotation);
    QORMatrix_MultiplyMatrix4x4(product, rotation, chained);
    float viaProduct[3], r[3];
    TransformPoint(chained, p, viaProduct);
    TransformPoint(rotation, q, r);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(viaProduct[k], r[k], 1e-5f);
}

TEST(QORMatrix, InPlaceAndAliasedProductsMatchTheThreeArgumentForm)
{
    float a[16], b[16], expected[16];
    for (int i = 0; i < 16; ++i) {
        a[i] = float(i + 1);
        b[i] = float(16 - i) * 0.5f;
    }
    QORMatrix_MultiplyMatrix4x4(a, b, expected);

    float inPlace[16];
    std::copy(a, a + 16, inPlace);
    QORMatrix_MultiplyMatrix4x4(inPlace, b);
    EXPECT_TRUE(QORMatrix_AreEqual4x4(inPlace, expected, 0));

    float aliased[16];
    std::copy(a, a + 16, aliased);
    QORMatrix_MultiplyMatrix4x4(aliased, b, aliased);
    EXPECT_TRUE(QORMatrix_AreEqual4x4(aliased, expected, 0));

    // a x a in place reads all of a before writing.
    float square[16], self[16];
    QORMatrix_MultiplyMatrix4x4(a, a, square);
    std::copy(a, a + 16, self);
    QORMatrix_MultiplyMatrix4x4(self, self);
    EXPECT_TRUE(QORMatrix_AreEqual4x4(self, square, 0));
}

TEST(QORMatrix, TranslateEqualsMultiplyingByATranslation)
{
    float m[16], expected[16], t[16];
    for (int i = 0; i < 16; ++i) m[i] = float(i * i % 7) - 2.5f;
    QORMatrix_CreateTranslation4x4(t, 1.5f, -2, 3);
    QORMatrix_MultiplyMatrix4x4(m, t, expected);
    QORMatrix_Translate4x4(m, 1.5f, -2, 3);
    EXPECT_TRUE(QORMatrix_AreEqual4x4(m, expected, 1e-6f));

    const float v[3] = {4, 5, 6};
    float byVector[16], byFloats[16];
    QORMatrix_CreateTranslation4x4(byVector, v);
    QORMatrix_CreateTranslation4x4(byFloats, 4, 5, 6);
    EXPECT_TRUE(QORMatrix_AreEqual4x4(byVector, byFloats, 0));
}

TEST(QORMatrix, TransposeAndComparisons)
{
    float m[16], t[16];
    for (int i = 0; i < 16; ++i) m[i] = float(i);
    QORMatrix_Transpose4x4(t, m);
    EXPECT_EQ(t[1], 4);
    EXPECT_EQ(t[4], 1);
    EXPECT_EQ(t[14], 11);
    QORMatrix_Transpose4x4(t);
    EXPECT_TRUE(QORMatrix_AreEqual4x4(t, m, 0));

    float id[16];
    QORMatrix_Identity4x4(id);
    EXPECT_TRUE(QORMatrix_IsIdentity4x4(id, 0));
    id[7] = 0.01f;
    EXPECT_TRUE(QORMatrix_IsIdentity4x4(id, 0.01f));
    EXPECT_FALSE(QORMatrix_IsIdentity4x4(id, 0.005f));
    id[7] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(QORMatrix_IsIdentity4x4(id, 1.0f));
}

TEST(QORMatrix, PointsBoundsCoverEveryPointAndAreZeroForNone)
{
    struct TCase {
        const char* Name;
        std::vector<float> Points;
        std::array<float, 3> Lo, Hi;
    };
    const TCase cases[] = {
        {"none", {}, {0, 0, 0}, {0, 0, 0}},
        {"one, away from the origin", {2, 3, 4}, {2, 3, 4}, {2, 3, 4}},
        {"several, all negative", {-1, -5, -2, -3, -1, -4, -2, -2, -9}, {-3, -5, -9}, {-1, -1, -2}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        float lo[3] = {7, 7, 7}, hi[3] = {7, 7, 7};
        Points_Bounds(c.Points.data(), int(c.Points.size() / 3), lo, hi);
        EXPECT_EQ((std::array<float, 3>{lo[0], lo[1], lo[2]}), c.Lo);
        EXPECT_EQ((std::array<float, 3>{hi[0], hi[1], hi[2]}), c.Hi);
    }
}

TEST(QORMatrix, AdjustMinMaxWithMatrixRotatesTheBox)
{
    float rotation[16];
    RotationAboutZ(90, rotation);
    float min[3] = {0, 0, 0}, max[3] = {1, 2, 3};
    AdjustMinMaxWithMatrix(min, max, rotation, false);
    const float expectMin[3] = {-2, 0, 0}, expectMax[3] = {0, 1, 3};
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(min[k], expectMin[k], 1e-6f);
        EXPECT_NEAR(max[k], expectMax[k], 1e-6f);
    }

    // The starting box may come from separate arrays.
    const float boxMin[3] = {0, 0, 0}, boxMax[3] = {1, 2, 3};
    float outMin[3] = {99, 99, 99}, outMax[3] = {-99, -99, -99};
    AdjustMinMaxWithMatrix(outMin, outMax, rotation, false, boxMin, boxMax);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(outMin[k], expectMin[k], 1e-6f);
        EXPECT_NEAR(outMax[k], expectMax[k], 1e-6f);
    }
}

TEST(QORMatrix, AdjustMinMaxDividesByWAndTreatsZeroWAsOrigin)
{
    // w' = x + 1: the corner x = -1 has w' = 0 and counts as the origin.
    float m[16];
    QORMatrix_Identity4x4(m);
    m[3] = 1;
    float min[3] = {-1, 2, 2}, max[3] = {1, 4, 4};
    AdjustMinMaxWithMatrix(min, max, m, true);
    // Corners with x = 1: (1, y, z) / 2 -> x 0.5, y and z in 1..2; the others become the origin.
    EXPECT_FLOAT_EQ(min[0], 0);
    EXPECT_FLOAT_EQ(max[0], 0.5f);
    EXPECT_FLOAT_EQ(min[1], 0);
    EXPECT_FLOAT_EQ(max[1], 2);
    EXPECT_FLOAT_EQ(min[2], 0);
    EXPECT_FLOAT_EQ(max[2], 2);
}

// [SECTION] Vectors, quaternions, powers of two

TEST(QORMatrix, QuaternionFromAxisAngleNormalisesTheAxis)
{
    float axis[3] = {0, 0, 2};
    const Quaternion q = QuaternionFromAxisAngle(axis, 180);
    EXPECT_FLOAT_EQ(axis[2], 1);
    EXPECT_NEAR(q.x, 0, 1e-7f);
    EXPECT_NEAR(q.y, 0, 1e-7f);
    EXPECT_NEAR(q.z, 1, 1e-7f);
    EXPECT_NEAR(q.w, 0, 1e-6f);

    float tiny[3] = {0, 0, 1e-31f};
    QuaternionFromAxisAngle(tiny, 90);
    EXPECT_EQ(tiny[2], 1e-31f);
}

TEST(QORMatrix, VectorHelpers)
{
    float v[3] = {3, 4, 0};
    EXPECT_FLOAT_EQ(Vector_Modulus(v, 3), 5);
    EXPECT_EQ(Vector_Modulus(v, 0), 0);
    Vector_Scale(v, 2, 2);
    EXPECT_EQ(v[0], 6);
    EXPECT_EQ(v[1], 8);
    float d[3];
    const float a[3] = {1, 2, 3};
    Vector_Difference(d, v, a, 3);
    EXPECT_EQ(d[2], -3);
    EXPECT_TRUE(Vectors_Equal(a, a, 3, 1e-30f));
    const float b[3] = {1, 2, 3.5f};
    EXPECT_FALSE(Vectors_Equal(a, b, 3, 0.5f));   // strictly below the tolerance
    EXPECT_TRUE(Vectors_Equal(a, b, 3, 0.51f));
    EXPECT_TRUE(Vectors_Equal(a, b, 0, 0));
    EXPECT_FALSE(Float_Equal(1, 2, 1));
}

TEST(QORMatrix, PowersOfTwo)
{
    struct Case {
        int n, highest, lessThan, closest;
    };
    const Case cases[] = {
        {-5, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1},    {2, 2, 2, 2},    {3, 4, 2, 4},
        {4, 4, 4, 4},  {5, 8, 4, 4}, {6, 8, 4, 8},    {7, 8, 4, 8},    {8, 8, 8, 8},
        {1000, 1024, 512, 1024},     {1 << 30, 1 << 30, 1 << 30, 1 << 30},
        {std::numeric_limits<int>::max(), 1 << 30, 1 << 30, 1 << 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(GetHightestPowerOf2(c.n), c.highest);
        EXPECT_EQ(GetHighestPowerOfTwoLessThan(c.n), c.lessThan);
        EXPECT_EQ(GetClosestPowerOf2(c.n), c.closest);
    }
}

// [SECTION] Lookup tables

class QORLookupTables : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CreateDivideBy255Table();
        Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
        QORMath_InitializeLookupTables();
    }
};

TEST_F(QORLookupTables, DivideBy255Table)
{
    ASSERT_NE(DivideBy255Table, nullptr);
    const unsigned char* d = DivideBy255Table + QORDivideBy255TableOffset;
    EXPECT_EQ(d[20000], 78);
    EXPECT_EQ(d[100 * 200], 78);
    EXPECT_EQ(d[255 * 255], 255);
    EXPECT_EQ(d[254], 0);
    EXPECT_EQ(d[-255], 255);   // the byte of -1
    EXPECT_EQ(d[-65025], 1);   // the byte of -255
    EXPECT_EQ(DivideBy255Table[0], 1);

    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) ASSERT_EQ(d[a * b], a * b / 255) << a << " * " << b;
    // Signed blends read the byte back as a signed char.
    for (int v = -127 * 255; v <= 127 * 255; v += 7) ASSERT_EQ(int(static_cast<signed char>(d[v])), v / 255) << v;

    ASSERT_NE(UCCharToFloatTable, nullptr);
    EXPECT_EQ(UCCharToFloatTable[0], 0.0f);
    EXPECT_EQ(UCCharToFloatTable[255], 1.0f);
    EXPECT_FLOAT_EQ(UCCharToFloatTable[51], 0.2f);
}

TEST_F(QORLookupTables, LightnessCurveRows)
{
    const unsigned char* curve = Adjust_Saturation_Before_Lightness_To_Target_Table;
    ASSERT_NE(curve, nullptr);
    const int rows[][2] = {{0, 0},     {1, 5},     {10, 50},   {30, 151},  {49, 248},  {50, 251},
                           {100, 253}, {200, 251}, {201, 248}, {230, 114}, {254, 4},   {255, 0}};
    for (const auto& row : rows) EXPECT_EQ(curve[row[0]], row[1]) << "entry " << row[0];

    // Built once: a second call keeps the same table.
    Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
    EXPECT_EQ(Adjust_Saturation_Before_Lightness_To_Target_Table, curve);
}

TEST_F(QORLookupTables, SaturationUpTable)
{
    Create_Saturation_Up_Table(0.5f);
    unsigned char* table = Saturation_Up_Table;
    ASSERT_NE(table, nullptr);
    const int rows[][2] = {{0, 0}, {1, 0}, {2, 2}, {3, 4}, {127, 252}, {128, 255}, {255, 255}};
    for (const auto& row : rows) EXPECT_EQ(table[row[0]], row[1]) << "entry " << row[0];
    for (int i = 1; i < 256; ++i) EXPECT_GE(table[i], table[i - 1]) << i;

    // Rewritten in place for another cut-off.
    Create_Saturation_Up_Table(0);
    EXPECT_EQ(Saturation_Up_Table, table);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(table[i], 255) << i;

    // Out-of-range cut-offs stay inside the table.
    Create_Saturation_Up_Table(1000.0f);
    EXPECT_EQ(table[0], 0);
    EXPECT_EQ(table[254], 253);
    EXPECT_EQ(table[255], 255);
    Create_Saturation_Up_Table(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(table[0], 255);
}

TEST_F(QORLookupTables, AlphaConsiderMaskTable)
{
    const unsigned char* t = AdjustAlphaConsiderMask_Table;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[0], 255);
    EXPECT_EQ(t[128 + 256 * 255], 128);
    for (int alpha = 0; alpha < 256; ++alpha) {
        ASSERT_EQ(t[alpha], 255) << "mask 0 makes every alpha full";
        ASSERT_NEAR(t[alpha + 256 * 255], alpha, 1) << "mask 255 keeps alpha " << alpha;
    }
    // Masks in between raise low alphas.
    EXPECT_GT(t[64 + 256 * 128], 64);
    EXPECT_LT(t[64 + 256 * 128], 255);
}

TEST(QORLookupTablesLifecycle, CleanFreesThreeTablesAndTheRestLive)
{
    CreateDivideBy255Table();
    Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
    Create_Saturation_Up_Table(0.25f);
    QORMath_InitializeLookupTables();

    CleanMathLookupTables();
    EXPECT_EQ(DivideBy255Table, nullptr);
    EXPECT_EQ(UCCharToFloatTable, nullptr);
    EXPECT_EQ(Adjust_Saturation_Before_Lightness_To_Target_Table, nullptr);
    EXPECT_NE(Saturation_Up_Table, nullptr);
    EXPECT_NE(AdjustAlphaConsiderMask_Table, nullptr);

    // Rebuilding after a clean works (the suite fixture may run later).
    CreateDivideBy255Table();
    Create_Adjust_Saturation_Before_Lightness_To_Target_Table();
    EXPECT_EQ(DivideBy255Table[QORDivideBy255TableOffset + 20000], 78);
    EXPECT_EQ(Adjust_Saturation_Before_Lightness_To_Target_Table[10], 50);
}

} // namespace
