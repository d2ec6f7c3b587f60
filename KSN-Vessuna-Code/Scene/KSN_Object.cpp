// Scene objects: construction, naming, the object transform and resolving; see KSN_Object.h.
#include "KSN_Object.h"

#include "KSN_Mesh.h"
#include "QORMatrix.h"
#include "QORString.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <numbers>

namespace {

// Lengths (and scale factors) within this of zero are left as they are
// rather than divided by: a degenerate direction or a flat axis collapses
// the transform instead of producing infinities.
constexpr float kTiny = 1e-30f;

void Normalize(float* v)
{
    const float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > kTiny)
        for (int i = 0; i < 3; ++i)
            v[i] /= length;
}

float InverseScale(float s) { return (s > kTiny || s < -kTiny) ? 1.0f / s : 0.0f; }

// The look-at basis of direction d: local X to the side, Y up, +Z to −d.
void LookAtBasis(const float* d, float* m)
{
    float n[3] = {d[0], d[1], d[2]};
    Normalize(n);
    float s[3] = {-n[2], 0.0f, n[0]};   // n × (0, 1, 0)
    Normalize(s);
    float u[3] = {s[1] * n[2] - s[2] * n[1], s[2] * n[0] - s[0] * n[2], s[0] * n[1] - s[1] * n[0]};
    Normalize(u);
    std::fill_n(m, 16, 0.0f);
    for (int i = 0; i < 3; ++i) {
        m[i] = s[i];
        m[4 + i] = u[i];
        m[8 + i] = -n[i];
    }
    m[15] = 1.0f;
}

void RotationZ(float degrees, float* m)
{
    const float a = float(double(degrees) / 180.0 * std::numbers::pi);
    std::fill_n(m, 16, 0.0f);
    m[0] = std::cos(a);
    m[1] = -std::sin(a);
    m[4] = std::sin(a);
    m[5] = std::cos(a);
    m[10] = 1.0f;
    m[15] = 1.0f;
}

} // namespace

TKSN_Object::TKSN_Object()
{
    TKSN_Thingy::SetName("New Object");
    // Objects start collapsed in the manager tree.
    collapsed = true;
}

TKSN_Object::~TKSN_Object() = default;

void TKSN_Object::SetName(const char* format, ...)
{
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    const std::string text = QORVFormat(format, args);
    va_end(args);
    TKSN_Thingy::SetName("%s", text.c_str());
    if (Mesh)
        Mesh->SetName("%s", GetName());
}

void TKSN_Object::SetInitialPos(const float* p)
{
    for (int i = 0; i < 3; ++i)
        Position[i] = LookAt[i] = p[i];
    LookAt[2] += 1.0f;
}

void TKSN_Object::GetRotationMatrix(float* out, bool faceWithMinusZ)
{
    float d[3];
    for (int i = 0; i < 3; ++i)
        d[i] = faceWithMinusZ ? LookAt[i] - Position[i] : Position[i] - LookAt[i];
    float basis[16];
    float roll[16];
    LookAtBasis(d, basis);
    RotationZ(Roll, roll);
    QORMatrix_MultiplyMatrix4x4(roll, basis, out);
}

void TKSN_Object::ResolveTransforms()
{
    QORMatrix_Identity4x4(RotationMatrix);
    QORMatrix_Identity4x4(InverseRotationMatrix);
    QORMatrix_Identity4x4(ObjectToWorld);
    QORMatrix_Identity4x4(WorldToObject);
    GetRotationMatrix(RotationMatrix, false);
    QORMatrix_Transpose4x4(InverseRotationMatrix, RotationMatrix);

    float scale[16];
    float inverseScale[16];
    QORMatrix_CreateScale4x4(scale, Scale[0], Scale[1], Scale[2]);
    QORMatrix_CreateScale4x4(inverseScale, InverseScale(Scale[0]), InverseScale(Scale[1]), InverseScale(Scale[2]));

    // Model point: shifted by the pivot, scaled, rotated, placed at Position.
    QORMatrix_CreateTranslation4x4(ObjectToWorld, -Pivot[0], -Pivot[1], -Pivot[2]);
    QORMatrix_MultiplyMatrix4x4(ObjectToWorld, scale);
    QORMatrix_MultiplyMatrix4x4(ObjectToWorld, RotationMatrix);
    QORMatrix_Translate4x4(ObjectToWorld, Position[0], Position[1], Position[2]);

    QORMatrix_CreateTranslation4x4(WorldToObject, -Position[0], -Position[1], -Position[2]);
    QORMatrix_MultiplyMatrix4x4(WorldToObject, InverseRotationMatrix);
    QORMatrix_MultiplyMatrix4x4(WorldToObject, inverseScale);
    QORMatrix_Translate4x4(WorldToObject, Pivot[0], Pivot[1], Pivot[2]);
}

void TKSN_Object::ResolveVertices(bool applyTotalMatrix)
{
    ResolveTransforms();
    if (!Mesh)
        return;
    TKSN_Mesh& mesh = *Mesh;
    mesh.ResolveMorphs(applyTotalMatrix);

    std::fill_n(mesh.boundsMin, 3, 0.0f);
    std::fill_n(mesh.boundsMax, 3, 0.0f);
    const int count = mesh.GetVisibleVertexCount();
    if (count <= 0 || !mesh.visibleVertices || !mesh.resolvedVertices)
        return;
    bool first = true;
    for (int k = 0; k < count; ++k) {
        const int v = mesh.visibleVertices[k];
        if (v < 0 || v >= mesh.vertexCount)
            continue;
        const float* p = mesh.resolvedVertices + 3 * size_t(v);
        for (int i = 0; i < 3; ++i) {
            if (first) {
                mesh.boundsMin[i] = mesh.boundsMax[i] = p[i];
            } else {
                mesh.boundsMin[i] = std::min(mesh.boundsMin[i], p[i]);
                mesh.boundsMax[i] = std::max(mesh.boundsMax[i], p[i]);
            }
        }
        first = false;
    }
}

void TKSN_Object::TransformPositionIntoObjectSpace(float* p)
{
    const float* m = WorldToObject;
    const float x = p[0], y = p[1], z = p[2];
    p[0] = x * m[0] + y * m[4] + z * m[8] + m[12];
    p[1] = x * m[1] + y * m[5] + z * m[9] + m[13];
    p[2] = x * m[2] + y * m[6] + z * m[10] + m[14];
}
