// Overdraw masks and the simplified brush: one triangle scan, two writers.
//
// The scan is a plain barycentric test at pixel centres over the triangle's
// bounding box, with a small tolerance so that texels on a shared edge belong
// to both triangles. A triangle without area draws nothing: its box may be
// large (a sliver along the diagonal of a map), and filling it would paint
// texels no polygon covers.
#include "KSN_Overdraw.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

constexpr double kTolerance = 1e-4;
constexpr double kTinyDeterminant = 1e-30;
// Far beyond any map side, small enough for an int.
constexpr double kCoordinateLimit = 1e9;

int TruncatedCoordinate(double v)
{
    return int(std::clamp(v, -kCoordinateLimit, kCoordinateLimit));   // toward zero
}

// Calls plot(x, y) for every pixel whose centre lies inside a, b, c, within
// columns 0..width-1 and rows 0..height-1; each row ends after its run.
template <class Plot>
void ScanTriangle(const float* a, const float* b, const float* c, int width, int height, Plot plot)
{
    if (!a || !b || !c || width <= 0 || height <= 0) return;
    // Integer positions stand for pixel centres after the shift.
    const double ax = double(a[0]) - 0.5, ay = double(a[1]) - 0.5;
    const double bx = double(b[0]) - 0.5, by = double(b[1]) - 0.5;
    const double cx = double(c[0]) - 0.5, cy = double(c[1]) - 0.5;
    for (double v : {ax, ay, bx, by, cx, cy})
        if (!std::isfinite(v)) return;   // damaged coordinates

    const double d = (ax - cx) * (by - cy) - (bx - cx) * (ay - cy);
    if (std::fabs(d) <= kTinyDeterminant) return;   // no area, nothing covered

    int x0 = std::min({TruncatedCoordinate(ax), TruncatedCoordinate(bx), TruncatedCoordinate(cx)});
    int x1 = std::max({TruncatedCoordinate(ax), TruncatedCoordinate(bx), TruncatedCoordinate(cx)}) + 1;
    int y0 = std::min({TruncatedCoordinate(ay), TruncatedCoordinate(by), TruncatedCoordinate(cy)});
    int y1 = std::max({TruncatedCoordinate(ay), TruncatedCoordinate(by), TruncatedCoordinate(cy)}) + 1;
    if (x1 < 0 || x0 > width - 1 || y1 < 0 || y0 > height - 1) return;
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, width - 1);
    y1 = std::min(y1, height - 1);

    const double scale = 1.0 / d;
    const auto inside = [](double w) { return w >= -kTolerance && w <= 1.0 + kTolerance; };
    for (int y = y0; y <= y1; ++y) {
        bool metInside = false;
        for (int x = x0; x <= x1; ++x) {
            const double wa = ((bx - cx) * (cy - y) + (x - cx) * (by - cy)) * scale;
            const double wb = -((ax - cx) * (cy - y) + (x - cx) * (ay - cy)) * scale;
            const double wc = 1.0 - wa - wb;
            if (inside(wa) && inside(wb) && inside(wc)) {
                metInside = true;
                plot(x, y);
            } else if (metInside) {
                break;   // a triangle's row is one run
            }
        }
    }
}

} // namespace

void RasterizeTriangle_OverdrawBuffer(const float* a, const float* b, const float* c, int width, int height,
                                      unsigned char* pixels, int bytesPerPixel)
{
    if (!pixels || bytesPerPixel <= 0) return;
    ScanTriangle(a, b, c, width, height, [&](int x, int y) {
        pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(bytesPerPixel)] = 255;
    });
}

void RasterizeTriangle_For_Simplified_Brush(unsigned char* pixels, const float* a, const float* b, const float* c,
                                            int width, int rowStride, int height)
{
    if (!pixels || rowStride <= 0) return;
    const size_t end = size_t(rowStride) * size_t(std::max(height, 0));
    ScanTriangle(a, b, c, width, height, [&](int x, int y) {
        // Widened by two pixels to the right so that thin spokes of the
        // outline leave no gaps between neighbouring rays.
        const size_t at = size_t(y) * size_t(rowStride) + size_t(x);
        for (size_t k = 0; k < 3 && at + k < end; ++k) pixels[at + k] = 255;
    });
}

void BlurOverdrawMap(unsigned char* pixels, int width, int height)
{
    if (!pixels || width <= 0 || height <= 0) return;
    const size_t w = size_t(width), h = size_t(height);
    std::vector<unsigned char> before(w * h);
    for (unsigned char ring : {static_cast<unsigned char>(127), static_cast<unsigned char>(63)}) {
        std::memcpy(before.data(), pixels, before.size());
        for (size_t y = 0; y < h; ++y) {
            const size_t ya = y > 0 ? y - 1 : 0, yb = std::min(y + 1, h - 1);
            for (size_t x = 0; x < w; ++x) {
                if (before[y * w + x] != 0) continue;
                const size_t xa = x > 0 ? x - 1 : 0, xb = std::min(x + 1, w - 1);
                bool touches = false;
                for (size_t ny = ya; ny <= yb && !touches; ++ny)
                    for (size_t nx = xa; nx <= xb; ++nx)
                        if (before[ny * w + nx] != 0) {
                            touches = true;
                            break;
                        }
                if (touches) pixels[y * w + x] = ring;
            }
        }
    }
}
