// 4x4 matrices, small vector and quaternion helpers, power-of-two rounding.
//
// A matrix is 16 floats in OpenGL element order, so the arrays can be handed to
// glLoadMatrixf / glMultMatrixf unchanged. A point (x, y, z) maps to
//   x' = x*m[0] + y*m[4] + z*m[8]  + m[12]
//   y' = x*m[1] + y*m[5] + z*m[9]  + m[13]
//   z' = x*m[2] + y*m[6] + z*m[10] + m[14]
//   w' = x*m[3] + y*m[7] + z*m[11] + m[15]
// (points as row vectors on the left of a row-major matrix; the translation
// sits in elements 12..14). Element 4r + c is "row r, column c" below.
//
// All functions work on caller arrays and keep no state; they are safe to call
// from any thread on distinct data.
#pragma once

// ---------------------------------------------------------------------------
// Matrices (every float* is an array of 16)
// ---------------------------------------------------------------------------

void QORMatrix_Identity4x4(float* m);
void QORMatrix_CreateTranslation4x4(float* m, float x, float y, float z);
void QORMatrix_CreateTranslation4x4(float* m, const float* xyz);
void QORMatrix_CreateScale4x4(float* m, float sx, float sy, float sz);

// m = m x T(x, y, z): the translation is applied after m.
void QORMatrix_Translate4x4(float* m, float x, float y, float z);

// out[4r + c] = sum_n a[4r + n] * b[4n + c]: the matrix that applies a to a
// point first and b second (in OpenGL's column terms out = b * a).
// out may alias a or b; the product is formed before anything is written.
void QORMatrix_MultiplyMatrix4x4(const float* a, const float* b, float* out);
// a = a x b in place (same product as above); a and b may be the same matrix.
void QORMatrix_MultiplyMatrix4x4(float* a, const float* b);

// out[4r + c] = in[4c + r]; out may be in.
void QORMatrix_Transpose4x4(float* out, const float* in);
void QORMatrix_Transpose4x4(float* m);

// False as soon as one element differs from the identity's (or from b's) by
// more than tolerance; a NaN element never counts as equal.
bool QORMatrix_IsIdentity4x4(const float* m, float tolerance);
bool QORMatrix_AreEqual4x4(const float* a, const float* b, float tolerance);

// Replaces min/max (3 floats each) by the axis-aligned bounds of the eight
// corners of the box min..max transformed by m. initMin / initMax, when given,
// are copied into min / max first. With divideByW each transformed corner is
// divided by w' when |w'| > 1e-30 and becomes the origin otherwise.
void AdjustMinMaxWithMatrix(float* min, float* max, const float* m, bool divideByW,
                            const float* initMin = nullptr, const float* initMax = nullptr);

// ---------------------------------------------------------------------------
// Vectors (n floats) and quaternions
// ---------------------------------------------------------------------------

void Vector_Scale(float* v, int n, float s);
void Vector_Difference(float* out, const float* a, const float* b, int n);   // out = a - b
void Vector_Copy(float* dst, const float* src, int n);
float Vector_Modulus(const float* v, int n);                                  // 0 for n <= 0
// True when every |a[i] - b[i]| < tolerance (strictly); true for n <= 0.
bool Vectors_Equal(const float* a, const float* b, int n, float tolerance);
bool Float_Equal(float a, float b, float tolerance);                          // |a - b| < tolerance
// lo and hi (3 floats each) become the axis-aligned bounds of count points
// (3 floats each, one after the other); zeros when there are none.
void Points_Bounds(const float* points, int count, float* lo, float* hi);

struct Quaternion {
    float x, y, z, w;
};

// Normalises axis (3 floats) in place when its length exceeds 1e-30, then
// returns the rotation by degrees about it.
Quaternion QuaternionFromAxisAngle(float* axis, float degrees);
// The rotation matrix of a unit quaternion, in the layout above.
void QuaternionToMatrix(Quaternion q, float* m);

// ---------------------------------------------------------------------------
// Powers of two (all answer 0 for n <= 0 and 1 for n = 1)
// ---------------------------------------------------------------------------

// The smallest power of two not below n (3 -> 4, 4 -> 4, 5 -> 8). The largest
// answer an int holds is 2^30, which is also the answer above 2^30.
int GetHightestPowerOf2(int n);
// The largest power of two not above n (3 -> 2, 4 -> 4, 7 -> 4).
int GetHighestPowerOfTwoLessThan(int n);
// The nearer of the two powers of two around n; a tie goes up (3 -> 4, 5 -> 4,
// 6 -> 8). Limited to 2^30 like GetHightestPowerOf2.
int GetClosestPowerOf2(int n);
