#include "QORMatrix.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

constexpr float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// Tested as "not within" so that a NaN difference reports inequality.
bool WithinTolerance(float a, float b, float tolerance)
{
    return std::fabs(a - b) <= tolerance;
}

void TransformPoint(const float* m, const float* p, float* out, bool divideByW)
{
    const float x = p[0], y = p[1], z = p[2];
    float tx = x * m[0] + y * m[4] + z * m[8] + m[12];
    float ty = x * m[1] + y * m[5] + z * m[9] + m[13];
    float tz = x * m[2] + y * m[6] + z * m[10] + m[14];
    if (divideByW) {
        const float w = x * m[3] + y * m[7] + z * m[11] + m[15];
        if (std::fabs(w) > 1e-30f) {
            tx /= w;
            ty /= w;
            tz /= w;
        } else {
            tx = ty = tz = 0.0f;
        }
    }
    out[0] = tx;
    out[1] = ty;
    out[2] = tz;
}

constexpr int kMaxIntPowerOf2 = 1 << 30;

} // namespace

// [SECTION] Matrices

void QORMatrix_Identity4x4(float* m)
{
    std::memcpy(m, kIdentity, sizeof(kIdentity));
}

void QORMatrix_CreateTranslation4x4(float* m, float x, float y, float z)
{
    QORMatrix_Identity4x4(m);
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

void QORMatrix_CreateTranslation4x4(float* m, const float* xyz)
{
    QORMatrix_CreateTranslation4x4(m, xyz[0], xyz[1], xyz[2]);
}

void QORMatrix_CreateScale4x4(float* m, float sx, float sy, float sz)
{
    QORMatrix_Identity4x4(m);
    m[0] = sx;
    m[5] = sy;
    m[10] = sz;
}

void QORMatrix_Translate4x4(float* m, float x, float y, float z)
{
    // Multiplying by a translation from the right only feeds the w column of
    // each row into its first three elements.
    for (int r = 0; r < 4; ++r) {
        const float w = m[4 * r + 3];
        m[4 * r] += x * w;
        m[4 * r + 1] += y * w;
        m[4 * r + 2] += z * w;
    }
}

void QORMatrix_MultiplyMatrix4x4(const float* a, const float* b, float* out)
{
    float result[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result[4 * r + c] = a[4 * r] * b[c] + a[4 * r + 1] * b[4 + c] + a[4 * r + 2] * b[8 + c] +
                                a[4 * r + 3] * b[12 + c];
    std::memcpy(out, result, sizeof(result));
}

void QORMatrix_MultiplyMatrix4x4(float* a, const float* b)
{
    QORMatrix_MultiplyMatrix4x4(a, b, a);
}

void QORMatrix_Transpose4x4(float* out, const float* in)
{
    float result[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            result[4 * r + c] = in[4 * c + r];
    std::memcpy(out, result, sizeof(result));
}

void QORMatrix_Transpose4x4(float* m)
{
    QORMatrix_Transpose4x4(m, m);
}

bool QORMatrix_IsIdentity4x4(const float* m, float tolerance)
{
    return QORMatrix_AreEqual4x4(m, kIdentity, tolerance);
}

bool QORMatrix_AreEqual4x4(const float* a, const float* b, float tolerance)
{
    for (int i = 0; i < 16; ++i)
        if (!WithinTolerance(a[i], b[i], tolerance)) return false;
    return true;
}

void AdjustMinMaxWithMatrix(float* min, float* max, const float* m, bool divideByW, const float* initMin,
                            const float* initMax)
{
    if (initMin) std::memmove(min, initMin, 3 * sizeof(float));
    if (initMax) std::memmove(max, initMax, 3 * sizeof(float));

    const float lo[3] = {min[0], min[1], min[2]};
    const float hi[3] = {max[0], max[1], max[2]};
    for (int corner = 0; corner < 8; ++corner) {
        const float p[3] = {(corner & 1) ? hi[0] : lo[0], (corner & 2) ? hi[1] : lo[1], (corner & 4) ? hi[2] : lo[2]};
        float t[3];
        TransformPoint(m, p, t, divideByW);
        for (int k = 0; k < 3; ++k) {
            if (corner == 0 || t[k] < min[k]) min[k] = t[k];
            if (corner == 0 || t[k] > max[k]) max[k] = t[k];
        }
    }
}

// [SECTION] Vectors and quaternions

void Vector_Scale(float* v, int n, float s)
{
    for (int i = 0; i < n; ++i) v[i] *= s;
}

void Vector_Difference(float* out, const float* a, const float* b, int n)
{
    for (int i = 0; i < n; ++i) out[i] = a[i] - b[i];
}

void Vector_Copy(float* dst, const float* src, int n)
{
    if (n > 0) std::memmove(dst, src, size_t(n) * sizeof(float));
}

float Vector_Modulus(const float* v, int n)
{
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += v[i] * v[i];
    return std::sqrt(sum);
}

bool Vectors_Equal(const float* a, const float* b, int n, float tolerance)
{
    for (int i = 0; i < n; ++i)
        if (!Float_Equal(a[i], b[i], tolerance)) return false;
    return true;
}

bool Float_Equal(float a, float b, float tolerance)
{
    return std::fabs(a - b) < tolerance;
}

void Points_Bounds(const float* points, int count, float* lo, float* hi)
{
    for (int c = 0; c < 3; ++c) lo[c] = hi[c] = 0.0f;
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 3; ++c) {
            const float x = points[3 * i + c];
            if (i == 0 || x < lo[c]) lo[c] = x;
            if (i == 0 || x > hi[c]) hi[c] = x;
        }
}

Quaternion QuaternionFromAxisAngle(float* axis, float degrees)
{
    const float length = Vector_Modulus(axis, 3);
    if (length > 1e-30f) Vector_Scale(axis, 3, 1.0f / length);
    const float h = degrees / 180.0f * std::numbers::pi_v<float> * 0.5f;
    const float s = std::sin(h);
    return Quaternion{axis[0] * s, axis[1] * s, axis[2] * s, std::cos(h)};
}

void QuaternionToMatrix(Quaternion q, float* m)
{
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    std::memset(m, 0, 16 * sizeof(float));
    m[0] = 1 - 2 * (y * y + z * z);
    m[1] = 2 * (x * y + z * w);
    m[2] = 2 * (x * z - y * w);
    m[4] = 2 * (x * y - z * w);
    m[5] = 1 - 2 * (z * z + x * x);
    m[6] = 2 * (y * z + x * w);
    m[8] = 2 * (x * z + y * w);
    m[9] = 2 * (y * z - x * w);
    m[10] = 1 - 2 * (y * y + x * x);
    m[15] = 1;
}

// [SECTION] Powers of two

int GetHightestPowerOf2(int n)
{
    if (n <= 0) return 0;
    int p = 1;
    while (p < n && p < kMaxIntPowerOf2) p <<= 1;
    return p;
}

int GetHighestPowerOfTwoLessThan(int n)
{
    if (n <= 0) return 0;
    int p = 1;
    while (p <= n / 2) p <<= 1;
    return p;
}

int GetClosestPowerOf2(int n)
{
    const int c = GetHightestPowerOf2(n);
    if (c == 0) return 0;
    if (n == c || n - c / 2 >= c - n) return c;
    return c / 2;
}
