// Tiling converters; see TouchupTiling.h.
#include "TouchupTiling.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kTiny = 1e-30;

// The angle about the y axis of (x, z), 0 at -z and rising through -x; false
// on the axis itself.
bool AngleAboutY(const float* q, double& angle, double* radius = nullptr)
{
    const double x = q[0], z = q[2];
    const double rho = std::sqrt(x * x + z * z);
    if (radius) *radius = rho;
    if (rho <= kTiny) {
        angle = 0.0;
        return false;
    }
    angle = std::acos(std::clamp(-z / rho, -1.0, 1.0));
    if (-x < 0.0) angle = kTwoPi - angle;
    return true;
}

// The angle shifted by a full turn towards the reference when they lie more
// than half a turn apart.
double TowardReference(double angle, double reference)
{
    if (reference - angle > kPi) return angle + kTwoPi;
    if (angle - reference > kPi) return angle - kTwoPi;
    return angle;
}

} // namespace

void ConvertVertexToFixedPlaneCoordinates(float* uv, const float* q, const float*, const TKSN_TileParameters& tile)
{
    uv[0] = (q[0] * tile.InvTileWidth + 0.5f) * tile.TileRepeat;
    uv[1] = (q[1] * tile.InvTileHeight + 0.5f) * tile.TileRepeat;
    uv[2] = 0.0f;
}

void ConvertVertexToCylindricalCoordinates(float* uv, const float* q, const float* reference, float* radius,
                                           const TKSN_TileParameters& tile)
{
    double angle = 0.0, rho = 0.0;
    const bool onAxis = !AngleAboutY(q, angle, &rho);
    if (radius) *radius = float(rho);
    if (!onAxis && reference) {
        double referenceAngle = 0.0;
        if (AngleAboutY(reference, referenceAngle)) angle = TowardReference(angle, referenceAngle);
    }
    uv[0] = onAxis ? 0.0f : float(angle / kTwoPi * double(tile.TileRepeat));
    uv[1] = (q[1] - tile.TileHeight * 0.5f) * tile.InvTileHeight * tile.TileRepeat;
    uv[2] = 0.0f;
}

namespace {

// Longitude and latitude of a point; false for the origin (both 0).
bool SphericalAngles(const float* q, double& longitude, double& latitude)
{
    const double length = std::sqrt(double(q[0]) * q[0] + double(q[1]) * q[1] + double(q[2]) * q[2]);
    longitude = latitude = 0.0;
    if (length <= kTiny) return false;
    AngleAboutY(q, longitude);   // a pole has longitude 0
    latitude = std::acos(std::clamp(-double(q[1]) / length, -1.0, 1.0));
    return true;
}

} // namespace

void ConvertVertexToSphericalCoordinates(float* uv, const float* q, const float* reference,
                                         const TKSN_TileParameters& tile)
{
    double longitude = 0.0, latitude = 0.0;
    const bool defined = SphericalAngles(q, longitude, latitude);
    if (defined && reference) {
        double referenceLongitude = 0.0, referenceLatitude = 0.0;
        if (SphericalAngles(reference, referenceLongitude, referenceLatitude)) {
            longitude = TowardReference(longitude, referenceLongitude);
            latitude = TowardReference(latitude, referenceLatitude);
        }
    }
    uv[0] = float(longitude / kTwoPi * double(tile.TileRepeat));
    uv[1] = float(latitude / kPi * double(tile.TileRepeat));
    uv[2] = 0.0f;
}
