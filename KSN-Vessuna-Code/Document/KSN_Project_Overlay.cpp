// The paint overlay and the brush footprint of the current viewport.
//
// The overlay holds the coverage of the stroke being painted (0 none .. 255
// full), one byte per viewport pixel. The footprint is the brush shape
// resampled to the brush's size in screen pixels (BrushStamp), its simplified
// outline (SimplifiedBrushStamp) and its hardness-weighted copy
// (HardBrushStamp); the cursor outline lists the footprint's edge pixels as
// offsets from its centre. All images keep rows bottom up, as OpenGL does.
//
// Invariant while BrushShapeValid: the overlay has the current viewport's
// size and the footprint was built for BrushShapeSize and BrushShapeHardness.
//
// Main thread only.
//
// Index:
//   [SECTION] Validity
//   [SECTION] Building the footprint
//   [SECTION] Growing and mirroring the overlay
#include "KSN_Project.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Tool.h"
#include "KSN_Viewport.h"
#include "QORMemory.h"

namespace {

// Tool flag: the tool takes mirrored input (the viewport panel tests it too).
constexpr uint32_t ToolFlagAllowsMirroring = 0x4;
// No footprint side grows beyond this many viewport sides (nor beyond the
// absolute limit), whatever size is asked: a mistyped brush size must not
// ask for gigabytes. A footprint that large already covers every pixel.
constexpr int kMaxStampViewportSides = 4;
constexpr int kMaxStampSide = 16384;

// The cross drawn at the footprint's centre, before the edge pixels.
constexpr int32_t kCentreCross[13][2] = {{0, 0},  {2, 0},  {-2, 0}, {0, 2},  {0, -2}, {4, 0}, {-4, 0},
                                         {0, 4},  {0, -4}, {6, 0},  {-6, 0}, {0, 6},  {0, -6}};

int ViewportWidth(const TKSN_Viewport* viewport) { return std::max(1, int(viewport->WindowWidth)); }
int ViewportHeight(const TKSN_Viewport* viewport) { return std::max(1, int(viewport->WindowHeight)); }

// Bilinear sample of a one-byte image at (fx, fy), both within the image;
// the neighbour column and row stay on the last ones; truncated.
int SampleBilinear(const unsigned char* pixels, int width, int height, float fx, float fy)
{
    const int x0 = int(fx), y0 = int(fy);
    const int x1 = x0 >= width - 1 ? x0 : x0 + 1;
    const int y1 = y0 >= height - 1 ? y0 : y0 + 1;
    const float wx = fx - float(x0), wy = fy - float(y0);
    const auto at = [&](int x, int y) { return float(pixels[size_t(y) * size_t(width) + size_t(x)]); };
    // Written as start + step x weight so that equal neighbours give their value exactly.
    const float top = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * wx;
    const float bottom = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * wx;
    return int(top + (bottom - top) * wy);
}

// The factor 1..256 that hardness 0..1 multiplies shape values by (then
// saturated at 255): hardness 1 makes every non-zero pixel 255, 0 changes nothing.
int HardnessFactor(float hardness)
{
    const double h = double(hardness);
    return int(int64_t(h * h * h * h * h * h * 255.0) % 256) + 1;
}

} // namespace

// ============================================================================
// [SECTION] Validity
// ============================================================================

bool TKSN_Project::IsBrushShapeValid(float size, float hardness)
{
    TKSN_Viewport* viewport = GetCurrentViewport();
    if (!viewport) return false;
    if (PaintOverlay.GetWidth() != ViewportWidth(viewport) || PaintOverlay.GetHeight() != ViewportHeight(viewport)) {
        BrushShapeValid = false;
        return false;
    }
    return BrushShapeValid && std::fabs(BrushShapeSize - size) < 0.001f &&
           std::fabs(BrushShapeHardness - hardness) < 0.001f;
}

void TKSN_Project::InvalidateOverlay()
{
    BrushShapeValid = false;
    InvalidateAffectedObjectsStencil();
}

// ============================================================================
// [SECTION] Building the footprint
// ============================================================================

void TKSN_Project::SetupOverlayAndBrushShape(TKSN_Viewport* viewport, float size, float hardness)
{
    if (!viewport) return;
    const int overlayWidth = ViewportWidth(viewport), overlayHeight = ViewportHeight(viewport);
    if (!PaintOverlay.GetPixels() || PaintOverlay.GetWidth() != overlayWidth ||
        PaintOverlay.GetHeight() != overlayHeight)
        PaintOverlay.SetDimensions(overlayWidth, overlayHeight, 1);

    // Footprint size: size x viewport width pixels wide, that width divided by
    // the texture aspect and by the shape aspect tall.
    const float textureAspect = GetBrushTextureAspect();
    const float ratio = float(overlayHeight) / float(overlayWidth);
    const double limit = std::min(double(kMaxStampSide),
                                  double(kMaxStampViewportSides) * double(std::max(overlayWidth, overlayHeight)));
    // A size that is no number makes the smallest footprint.
    const auto clampSide = [limit](double v) { return std::isfinite(v) ? int(std::clamp(v, 0.0, limit)) : 0; };
    const int W = std::max(1, clampSide(double(overlayWidth) * double(size)));
    int H = clampSide(double(overlayHeight) * ((double(size) / ratio) / double(textureAspect)));
    const int shapeWidth = BrushShapeImage.GetWidth(), shapeHeight = BrushShapeImage.GetHeight();
    const double shapeAspect = shapeHeight > 0 ? double(shapeWidth) / double(shapeHeight) : 0.0;
    if (shapeAspect > 1e-30) H = int(double(H) / shapeAspect);
    H = std::max(1, H);

    if (!BrushStamp.GetPixels() || BrushStamp.GetWidth() != W || BrushStamp.GetHeight() != H) {
        BrushStamp.SetDimensions(W, H, 1);
        HardBrushStamp.SetDimensions(W, H, 1);
        SimplifiedBrushStamp.SetDimensions(W, H, 1);
    }
    PaintOverlay.ClearToValue(0);
    BrushStamp.ClearToValue(0);
    SimplifiedBrushStamp.ClearToValue(0);
    HardBrushStamp.ClearToValue(0);
    QORfree(BrushOutlinePoints);
    BrushOutlinePoints = nullptr;
    BrushOutlinePointCount = 0;

    const int k = HardnessFactor(hardness);
    const auto harden = [k](int value) { return static_cast<unsigned char>(std::min(255, value * k)); };
    const unsigned char* shape = BrushShapeImage.GetPixels();
    if (shape && BrushShapeImage.GetBytesPerPixel() == 1) {
        HardBrushShapeImage.SetDimensions(shapeWidth, shapeHeight, 1);
        unsigned char* hard = HardBrushShapeImage.GetPixels();
        for (size_t i = 0; i < size_t(shapeWidth) * size_t(shapeHeight); ++i) hard[i] = harden(shape[i]);
    }

    unsigned char* stamp = BrushStamp.GetPixels();
    unsigned char* simplifiedStamp = SimplifiedBrushStamp.GetPixels();
    unsigned char* hardStamp = HardBrushStamp.GetPixels();
    if (W == 1) {
        stamp[0] = simplifiedStamp[0] = hardStamp[0] = 255;
    } else if (shape && BrushShapeImage.GetBytesPerPixel() == 1) {
        const unsigned char* simplified =
            SimplifiedBrushShapeImage.GetWidth() == shapeWidth && SimplifiedBrushShapeImage.GetHeight() == shapeHeight
                ? SimplifiedBrushShapeImage.GetPixels()
                : nullptr;
        for (int j = 0; j < H; ++j) {
            const float fy = float(j) * float(shapeHeight) / float(H) - 0.5f;
            if (fy < 0.0f || fy > float(shapeHeight - 1)) continue;
            for (int i = 0; i < W; ++i) {
                const float fx = float(i) * (float(shapeWidth) / float(W)) - 0.5f;
                if (fx < 0.0f || fx > float(shapeWidth - 1)) continue;
                const size_t at = size_t(j) * size_t(W) + size_t(i);
                stamp[at] = static_cast<unsigned char>(SampleBilinear(shape, shapeWidth, shapeHeight, fx, fy));
                if (simplified)
                    simplifiedStamp[at] =
                        static_cast<unsigned char>(SampleBilinear(simplified, shapeWidth, shapeHeight, fx, fy));
                hardStamp[at] = harden(stamp[at]);
            }
        }
    }

    // The cursor outline: the centre cross, then every edge pixel of the stamp.
    const auto value = [&](int i, int j) { return int(stamp[size_t(j) * size_t(W) + size_t(i)]); };
    std::vector<int32_t> points;
    for (const auto& p : kCentreCross) points.insert(points.end(), {p[0], p[1]});
    for (int j = 0; j < H; ++j)
        for (int i = 0; i < W; ++i) {
            if (value(i, j) <= 1) continue;
            const bool edge = j == 0 || j == H - 1 || i == 0 || i == W - 1 || value(i - 1, j) < 2 ||
                              value(i + 1, j) < 2 || value(i, j - 1) < 2 || value(i, j + 1) < 2;
            if (edge) points.insert(points.end(), {i - W / 2, j - H / 2});
        }
    BrushOutlinePointCount = int32_t(points.size() / 2);
    BrushOutlinePoints = static_cast<int32_t*>(QORalloc(points.size() * sizeof(int32_t), false));
    std::memcpy(BrushOutlinePoints, points.data(), points.size() * sizeof(int32_t));

    CreatePreviewBrushImageTip();

    BrushShapeValid = true;
    BrushShapeSize = size;
    BrushShapeHardness = hardness;
}

// ============================================================================
// [SECTION] Growing and mirroring the overlay
// ============================================================================

void TKSN_Project::GrowOverlayAlphaMap(int radius)
{
    unsigned char* pixels = PaintOverlay.GetPixels();
    const int w = PaintOverlay.GetWidth(), h = PaintOverlay.GetHeight();
    if (!pixels || radius <= 0 || w <= 0 || h <= 0) return;
    // The maximum over a square is the maximum over rows of the maxima over
    // columns; each pass reads a copy, so results never feed their neighbours.
    std::vector<unsigned char> before(pixels, pixels + size_t(w) * size_t(h));
    std::vector<unsigned char> rows(before.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char m = 0;
            for (int nx = std::max(0, x - radius); nx <= std::min(w - 1, x + radius); ++nx)
                m = std::max(m, before[size_t(y) * size_t(w) + size_t(nx)]);
            rows[size_t(y) * size_t(w) + size_t(x)] = m;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char m = 0;
            for (int ny = std::max(0, y - radius); ny <= std::min(h - 1, y + radius); ++ny)
                m = std::max(m, rows[size_t(ny) * size_t(w) + size_t(x)]);
            pixels[size_t(y) * size_t(w) + size_t(x)] = m;
        }
}

void TKSN_Project::MirrorOverlay()
{
    TKSN_Tool* tool = App ? App->currentTool : nullptr;
    if (!tool || !(tool->Flags & ToolFlagAllowsMirroring)) return;
    unsigned char* pixels = PaintOverlay.GetPixels();
    const int w = PaintOverlay.GetWidth(), h = PaintOverlay.GetHeight();
    if (!pixels) return;
    // Folding by the maximum keeps the stroke and its mirror image and makes
    // a second fold change nothing.
    if (CanMirrorX()) {
        for (int y = 0; y < h; ++y) {
            unsigned char* row = pixels + size_t(y) * size_t(w);
            for (int i = 0; i < w / 2; ++i) row[i] = row[w - 1 - i] = std::max(row[i], row[w - 1 - i]);
        }
    }
    if (CanMirrorY()) {
        for (int y = 0; y < h / 2; ++y) {
            unsigned char* a = pixels + size_t(y) * size_t(w);
            unsigned char* b = pixels + size_t(h - 1 - y) * size_t(w);
            for (int x = 0; x < w; ++x) a[x] = b[x] = std::max(a[x], b[x]);
        }
    }
}
