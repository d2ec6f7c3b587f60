// Pen pressure curve (see QORTablet.h).
#include "QORTablet.h"

#include <algorithm>
#include <cmath>

float QORTabletPressure_OSX_Cocoa = 1.0f;

namespace {

QORTabletSettingsFunc gSettingsSource = nullptr;

} // namespace

void QORTablet_SetSettingsSource(QORTabletSettingsFunc source)
{
    gSettingsSource = source;
}

bool QORTablet_IsTabletInUse()
{
    return true;
}

float QORTablet_GetPressure()
{
    float p = QORTabletPressure_OSX_Cocoa;
    if (p < 1e-30f) return 1.0f;

    float s = 0.5f, k = 0.01f;   // the settings' defaults
    if (gSettingsSource) gSettingsSource(s, k);

    float e = 2.0f * s;
    if (s > 1.0f) e = 2.0f;
    if (s < 0.01f) e = 0.02f;

    float divisor;
    if (k > 0.99f) {
        k = 0.99f;
        divisor = 0.01f;
    } else if (k < 0.0f) {
        k = 0.0f;
        divisor = 1.0f;
    } else {
        divisor = 1.0f - k;
    }

    float x = std::max(p - k, 0.0f) / divisor;
    // Four squarings-by-e in single precision give the curve x^(e^4) that
    // brushes were tuned against.
    for (int i = 0; i < 4; ++i) x = float(std::pow(double(x), double(e)));
    return x;
}
