// Brush-shape sampling and pivot rotation (see KSN_BrushShape.h).
#include "KSN_BrushShape.h"

#include <cmath>

#include "KSN_Tool.h"

float SingleClick_GetYAspect(int w, int h) { return w > h ? float(h) / float(w) : 1.0f; }

float SingleClick_GetXAspect(int w, int h) { return w <= h ? float(w) / float(h) : 1.0f; }

bool SingleClick_GetAmplitude_With_Simplified_Shape(float& amplitude, float x0, float y0, float x, float y,
                                                    float size, float aspect, const unsigned char* shape,
                                                    const unsigned char* simplified, int w, int h,
                                                    unsigned char hardness)
{
    amplitude = 0.0f;
    if (!shape || w <= 0 || h <= 0) return false;
    float extentX, extentY;
    if (w > h) {
        extentX = 2.0f * size;
        extentY = (float(h) / float(w)) * (size / aspect) * 2.0f;
    } else {
        extentY = 2.0f * (size / aspect);
        extentX = (float(w) / float(h)) * size * 2.0f;
    }
    // Truncation towards zero: a point just left of the bitmap lands on
    // column 0 only when it is less than a pixel away, as the brush was tuned.
    int column = int(((extentX / 2.0f + x - x0) / extentX) * float(w));
    int row = int(((extentY / 2.0f + y - y0) / extentY) * float(h));
    if (column < 0 || column >= w || row < 0 || row >= h) return false;

    bool flipX = false, flipY = false;
    if (const auto flips = KSN_GetToolProjectHooks().GetBrushImageFlips) flips(flipX, flipY);
    if (flipX) column = w - 1 - column;
    if (flipY) row = h - 1 - row;

    const int at = row * w + column;
    const int product = int(shape[at]) * (int(hardness) + 1);
    amplitude = product > 255 ? 1.0f : float(product) / 255.0f;
    return simplified && simplified[at] != 0;
}

void GetRotationMatrix(float* out, float angle, const float* axis, const float* pivot)
{
    // The same matrix glTranslate(pivot) · glRotate(angle, axis) · glTranslate(-pivot) leaves.
    double ax = axis[0], ay = axis[1], az = axis[2];
    const double length = std::sqrt(ax * ax + ay * ay + az * az);
    if (length > 0.0) {
        ax /= length;
        ay /= length;
        az /= length;
    }
    const double radians = double(angle) * M_PI / 180.0;
    const double c = std::cos(radians), s = std::sin(radians), t = 1.0 - c;
    // r[row][column]
    const double r[3][3] = {
        {t * ax * ax + c, t * ax * ay - s * az, t * ax * az + s * ay},
        {t * ax * ay + s * az, t * ay * ay + c, t * ay * az - s * ax},
        {t * ax * az - s * ay, t * ay * az + s * ax, t * az * az + c},
    };
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) out[column * 4 + row] = float(r[row][column]);
        out[column * 4 + 3] = 0.0f;
    }
    for (int row = 0; row < 3; ++row) {
        const double rp = r[row][0] * pivot[0] + r[row][1] * pivot[1] + r[row][2] * pivot[2];
        out[12 + row] = float(double(pivot[row]) - rp);
    }
    out[15] = 1.0f;
}
