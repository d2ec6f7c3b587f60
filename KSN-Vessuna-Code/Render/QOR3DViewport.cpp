#include "QOR3DViewport.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const float Identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void Transpose(float* out, const float* in)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[4 * c + r] = in[4 * r + c];
}

// Collapsed windows count as one pixel, so U, V and the aspect stay finite.
int AtLeastOne(int n) { return n < 1 ? 1 : n; }

// Restores the loading flag whatever the setter does.
class TLoadingScope {
public:
    explicit TLoadingScope(bool& flag) : Flag(flag) { Flag = true; }
    ~TLoadingScope() { Flag = false; }
    TLoadingScope(const TLoadingScope&) = delete;
    TLoadingScope& operator=(const TLoadingScope&) = delete;

private:
    bool& Flag;
};

} // namespace

void KSN_MatrixProduct(const float* a, const float* b, float* out)
{
    float k[16];
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            float s = 0.0f;
            for (int n = 0; n < 4; ++n) s += a[4 * n + r] * b[4 * c + n];
            k[4 * c + r] = s;
        }
    std::memcpy(out, k, sizeof k);
}

void KSN_OrthoMatrix(float* out, double left, double right, double bottom, double top, double nearZ, double farZ)
{
    std::memcpy(out, Identity, sizeof Identity);
    out[0] = float(2.0 / (right - left));
    out[5] = float(2.0 / (top - bottom));
    out[10] = float(-2.0 / (farZ - nearZ));
    out[12] = float(-(right + left) / (right - left));
    out[13] = float(-(top + bottom) / (top - bottom));
    out[14] = float(-(farZ + nearZ) / (farZ - nearZ));
}

TQOR3DViewport::TQOR3DViewport()
{
    std::memcpy(RotationMatrix, Identity, sizeof Identity);
    std::memcpy(TransposedRotationMatrix, Identity, sizeof Identity);
    std::memcpy(ProjectionMatrix, Identity, sizeof Identity);
    std::memcpy(ModelViewMatrix, Identity, sizeof Identity);
    // Not set by the view maths; identity keeps early readers harmless.
    std::memcpy(CombinedMatrix, Identity, sizeof Identity);
    std::memcpy(DefaultRotationMatrix, Identity, sizeof Identity);
    std::memcpy(InverseCombinedMatrix, Identity, sizeof Identity);
}

void TQOR3DViewport::Resize(int x, int y, int w, int h)
{
    WindowX = x;
    WindowY = y;
    WindowWidth = w;
    WindowHeight = h;
    Aspect = float(AtLeastOne(h)) / float(AtLeastOne(w));
}

bool TQOR3DViewport::IsNavLocked() const
{
    if (Loading) return false;
    if (Locked && !AutoView) return false;
    return NavigationLock;
}

void TQOR3DViewport::SetZoom(float zoom)
{
    if (IsNavLocked()) return;
    Zoom = zoom;
}

float TQOR3DViewport::GetZoom() const
{
    if (!(std::fabs(Zoom) > 1e-30f)) return 1e-30f;
    return Zoom;
}

float TQOR3DViewport::GetZoomFactor() const
{
    // A NaN zoom never wins, so the matrices stay finite.
    double f = std::max(double(DefaultZoomFactor) * 1e-6, 1e-10);
    if (double(Zoom) > f) f = double(Zoom);
    return float(f);
}

void TQOR3DViewport::GetLookAt(float* out) const { std::memcpy(out, LookAt, sizeof LookAt); }

void TQOR3DViewport::SetLookAt(const float* p, const float* centre, float range, bool clip)
{
    if (IsNavLocked()) return;
    float old[3] = {LookAt[0], LookAt[1], LookAt[2]};
    float next[3] = {p[0], p[1], p[2]};
    if (clip && centre) ClipPointInWorldRange(next, centre, range);
    std::memcpy(LookAt, next, sizeof next);
    const float* m = RotationMatrix;
    ViewOffsetU += (m[0] * next[0] + m[4] * next[1] + m[8] * next[2] + m[12]) -
                   (m[0] * old[0] + m[4] * old[1] + m[8] * old[2] + m[12]);
    ViewOffsetV += (m[1] * next[0] + m[5] * next[1] + m[9] * next[2] + m[13]) -
                   (m[1] * old[0] + m[5] * old[1] + m[9] * old[2] + m[13]);
}

void TQOR3DViewport::SetRotationMatrix(const float* m)
{
    if (IsNavLocked()) return;
    float copy[16];
    std::memcpy(copy, m, sizeof copy);   // m may be one of our own matrices
    std::memcpy(RotationMatrix, copy, sizeof copy);
    Transpose(TransposedRotationMatrix, copy);
}

void TQOR3DViewport::SetZoomForLoadingOnly(float zoom) { Zoom = zoom; }

void TQOR3DViewport::SetLookAtForLoadingOnly(const float* p)
{
    TLoadingScope scope(Loading);
    SetLookAt(p, nullptr, 0.0f, false);
}

void TQOR3DViewport::SetRotationMatrixForLoadingOnly(const float* m)
{
    TLoadingScope scope(Loading);
    SetRotationMatrix(m);
}

float TQOR3DViewport::XtoU(float x) const { return 2.0f * x / float(AtLeastOne(WindowWidth)) - 1.0f; }
float TQOR3DViewport::UtoX(float u) const { return (u + 1.0f) * float(AtLeastOne(WindowWidth)) * 0.5f; }
float TQOR3DViewport::YtoV(float y) const { return -(2.0f * y / float(AtLeastOne(WindowHeight)) - 1.0f); }
float TQOR3DViewport::VtoY(float v) const { return (1.0f - v) * float(AtLeastOne(WindowHeight)) * 0.5f; }

void TQOR3DViewport::ClipPointInWorldRange(float* point, const float* centre, float range) const
{
    for (int i = 0; i < 6; ++i) {
        int axis = i / 2;
        float sign = (i % 2 == 0) ? 1.0f : -1.0f;
        float q[3] = {centre[0], centre[1], centre[2]};
        q[axis] += sign * range;
        // n = sign * e(axis), so every dot product is one component.
        if ((point[axis] - q[axis]) * sign <= 0.0f) continue;
        float d[3] = {point[0] - LookAt[0], point[1] - LookAt[1], point[2] - LookAt[2]};
        float nd = sign * d[axis];
        if (std::fabs(nd) <= 1e-30f) continue;
        float t = (q[axis] * sign - LookAt[axis] * sign) / nd;
        for (int k = 0; k < 3; ++k) point[k] = LookAt[k] + t * d[k];
    }
}

bool TQOR3DViewport::CubeInView(const float* min, const float* max, float margin) const
{
    float m = std::fabs(margin);
    float lo[3] = {min[0] - m, min[1] - m, min[2] - m};
    float hi[3] = {max[0] + m, max[1] + m, max[2] + m};
    for (const float* plane : ViewVolumePlanes) {
        int outside = 0;
        for (int corner = 0; corner < 8; ++corner) {
            float x = (corner & 1) ? hi[0] : lo[0];
            float y = (corner & 2) ? hi[1] : lo[1];
            float z = (corner & 4) ? hi[2] : lo[2];
            if (plane[0] * x + plane[1] * y + plane[2] * z + plane[3] < 0.0f) ++outside;
        }
        if (outside == 8) return false;
    }
    return true;
}

void TQOR3DViewport::CalculateNearAndFar(const float* min, const float* max)
{
    double sum = 0.0;
    for (int k = 0; k < 3; ++k) {
        double half = (double(max[k]) - double(min[k])) * 0.5;
        sum += half * half;
    }
    BoundingRadius = float(std::sqrt(sum));
    const float* m = ModelViewMatrix;
    float zmin = 0.0f, zmax = 0.0f;
    for (int corner = 0; corner < 8; ++corner) {
        float x = (corner & 1) ? max[0] : min[0];
        float y = (corner & 2) ? max[1] : min[1];
        float z = (corner & 4) ? max[2] : min[2];
        float ez = m[2] * x + m[6] * y + m[10] * z + m[14];
        if (corner == 0 || ez < zmin) zmin = ez;
        if (corner == 0 || ez > zmax) zmax = ez;
    }
    float a = -zmax, b = -zmin, d = b - a;
    Near = a - d;
    Far = b + d;
}

void TQOR3DViewport::calcViewVolumePlanes()
{
    float k[16];
    KSN_MatrixProduct(ProjectionMatrix, ModelViewMatrix, k);
    auto row = [&](int i, int c) { return k[4 * c + i]; };
    for (int c = 0; c < 4; ++c) {
        ViewVolumePlanes[0][c] = row(3, c) - row(0, c);   // right
        ViewVolumePlanes[1][c] = row(3, c) + row(0, c);   // left
        ViewVolumePlanes[2][c] = row(3, c) + row(1, c);   // bottom
        ViewVolumePlanes[3][c] = row(3, c) - row(1, c);   // top
        ViewVolumePlanes[4][c] = row(3, c) + row(2, c);   // near
        ViewVolumePlanes[5][c] = row(3, c) - row(2, c);   // far
    }
}
