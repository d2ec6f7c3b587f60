// Brush shapes and brush images: loading, the simplified outline of a shape,
// the colourised brush image, the checker that stands for the tile rendering
// and the preview tip drawn at the cursor.
//
// The brush shape is a grey picture whose brightness is the footprint of
// every painting brush; its simplified outline is the shape's filled radial
// hull (256 rays shrunk from outside onto the first painted pixel, then
// smoothed so that no ray dents inwards). The brush image is an RGBA picture
// stamped or tiled onto the model; getters hand it out only while
// BrushImageLoaded. Every change of either invalidates the footprint.
//
// Main thread only; the textures need the OpenGL context.
//
// Index:
//   [SECTION] Getters
//   [SECTION] Brush shapes
//   [SECTION] Brush images
//   [SECTION] Colourised image, checker and preview tip
#include "KSN_Project.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "KSN_Application.h"
#include "KSN_Overdraw.h"
#include "KSN_ToolKinds.h"
#include "KSN_Viewport.h"
#include "OS.h"
#include "QOREvents.h"
#include "QORGL.h"
#include "QORImage.h"
#include "QORLanguage.h"
#include "QORMemory.h"

std::string CurrentBrushFileName;

namespace {

constexpr int kErrorLoadingImageText = 1016;   // "Error loading the image %s"
constexpr int kCannotOpenFileText = 1021;      // "Cannot open the file %s"
constexpr int CommandAllViewportsChanged = 299;
constexpr int CommandRefreshToolPanel = 431;
constexpr int CommandRefreshInterface = 432;

constexpr int kRayCount = 256;
constexpr int kMaxSmoothingPasses = 10000;
constexpr int kShapeTextureSide = 256;
constexpr int kColorizedTextureSide = 1024;
constexpr int kMaxPreviewTipSide = 512;
constexpr double kTwoPi = 6.28318530717958647692;

TKSN_PaintBrush* CurrentPaintBrush() { return dynamic_cast<TKSN_PaintBrush*>(App ? App->currentTool : nullptr); }

// Every brush image is RGBA: a buffer of another depth becomes one (grey
// and RGB opaque). Frees pixels when it makes a new buffer.
unsigned char* ToRGBA(unsigned char* pixels, int width, int height, int channels)
{
    if (channels == 4) return pixels;
    const size_t count = size_t(width) * size_t(height);
    auto* rgba = static_cast<unsigned char*>(QORalloc(count * 4, false));
    for (size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c)
            rgba[4 * i + size_t(c)] = channels >= 3 ? pixels[size_t(channels) * i + size_t(c)]
                                      : channels >= 1 ? pixels[size_t(channels) * i] : 0;
        rgba[4 * i + 3] = channels == 2 ? pixels[2 * i + 1] : 255;
    }
    QORfree(pixels);
    return rgba;
}

// Bilinear sample of channel c of an image of the given depth at (x, y) in
// pixels; the neighbour column and row are clamped to the image; truncated.
int Bilinear(const unsigned char* pixels, int width, int height, int depth, int c, float x, float y)
{
    x = std::clamp(x, 0.0f, float(width - 1));
    y = std::clamp(y, 0.0f, float(height - 1));
    const int x0 = int(x), y0 = int(y);
    const int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
    const float wx = x - float(x0), wy = y - float(y0);
    const auto at = [&](int px, int py) {
        return float(pixels[(size_t(py) * size_t(width) + size_t(px)) * size_t(depth) + size_t(c)]);
    };
    // Written as start + step x weight so that equal neighbours give their value exactly.
    const float low = at(x0, y0) + (at(x1, y0) - at(x0, y0)) * wx;
    const float high = at(x0, y1) + (at(x1, y1) - at(x0, y1)) * wx;
    return int(low + (high - low) * wy);
}

// The largest power of two not above side (side itself for 1 and 2), at most the limit.
int PreviewTipSide(int side)
{
    int p = 1;
    while (p * 2 <= side) p *= 2;
    return std::min(side <= 2 ? side : p, kMaxPreviewTipSide);
}

} // namespace

// ============================================================================
// [SECTION] Getters
// ============================================================================

TKSN_TextureBrushImage* TKSN_Project::GetCurrentTextureBrushImage()
{
    return BrushImageLoaded ? &BrushImage : nullptr;
}

TKSN_TextureBrushImage* TKSN_Project::GetCurrentColorizeTextureBrushImage()
{
    return BrushImageLoaded ? &ColorizedBrushImage : nullptr;
}

TKSN_TextureBrushImage* TKSN_Project::GetCurrentColorizeTextureBrushImageRGB()
{
    return BrushImageLoaded ? &ColorizedBrushImageRGB : nullptr;
}

TKSN_TextureBrushImage* TKSN_Project::GetCurrentColorizeTextureBrushImageAlpha()
{
    return BrushImageLoaded ? &ColorizedBrushImageAlpha : nullptr;
}

float TKSN_Project::GetBrushTextureAspect()
{
    TKSN_PaintBrush* brush = CurrentPaintBrush();
    if (!brush || !brush->UseBrushImage() || brush->UseBrushTiling()) return 1.0f;
    return BrushImageAspect > 0.01f ? BrushImageAspect : 0.01f;
}

// ============================================================================
// [SECTION] Brush shapes
// ============================================================================

namespace {

// The simplified outline of a grey shape (w x h bytes): the filled radial
// hull of its painted pixels, united with them; 0 or 255 per pixel.
void BuildSimplifiedShape(const unsigned char* shape, int w, int h, unsigned char* out)
{
    const float ox = float(w / 2), oy = float(h / 2);
    float radius[kRayCount];
    bool settled[kRayCount] = {};
    float cosines[kRayCount], sines[kRayCount];
    for (int i = 0; i < kRayCount; ++i) {
        const double angle = double(i) / kRayCount * kTwoPi;
        cosines[i] = float(std::cos(angle));
        sines[i] = float(std::sin(angle));
        radius[i] = float(std::max(w, h)) * 1.4142135f;
    }
    const auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h; };

    // Shrinking: each ray stops at the first painted pixel met from outside,
    // or at radius 1.
    for (bool changed = true; changed;) {
        changed = false;
        for (int i = 0; i < kRayCount; ++i) {
            if (settled[i]) continue;
            const float r = radius[i];
            const int x = int(ox + r * cosines[i]), y = int(oy + r * sines[i]);
            if (!inside(x, y)) {
                radius[i] = std::max(0.0f, r - 0.5f);
                changed = true;
                continue;
            }
            radius[i] = std::max(1.0f, r - 0.5f);
            const int sx = int(ox + radius[i] * cosines[i]), sy = int(oy + radius[i] * sines[i]);
            if (inside(sx, sy) && shape[size_t(sy) * size_t(w) + size_t(sx)] != 0) settled[i] = true;
            if (r - radius[i] > 0.25f) changed = true;
        }
    }

    // Smoothing: a ray whose point dents inwards against its two neighbours
    // takes their mean radius (in place, so a ray sees its predecessor's new one).
    for (int pass = 0; pass < kMaxSmoothingPasses; ++pass) {
        bool changed = false;
        for (int i = 0; i < kRayCount; ++i) {
            const int a = (i + kRayCount - 1) % kRayCount, b = (i + 1) % kRayCount;
            const float px = radius[i] * cosines[i], py = radius[i] * sines[i];
            const float ax = radius[a] * cosines[a], ay = radius[a] * sines[a];
            const float bx = radius[b] * cosines[b], by = radius[b] * sines[b];
            const float dot = px * ((px - ax) + (px - bx)) + py * ((py - ay) + (py - by));
            if (dot <= 0.0f) {
                radius[i] = (radius[a] + radius[b]) * 0.5f;
                changed = true;
            }
        }
        if (!changed) break;
    }
    for (float& r : radius) r = std::max(0.0f, r + 1.0f);

    std::memset(out, 0, size_t(w) * size_t(h));
    const float centre[2] = {ox, oy};
    for (int i = 0; i < kRayCount; ++i) {
        const int n = (i + 1) % kRayCount;
        const float p[2] = {ox + radius[i] * cosines[i], oy + radius[i] * sines[i]};
        const float q[2] = {ox + radius[n] * cosines[n], oy + radius[n] * sines[n]};
        RasterizeTriangle_For_Simplified_Brush(out, centre, q, p, w, w, h);
    }
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
        if (shape[i] != 0) out[i] = 255;
}

} // namespace

bool TKSN_Project::LoadBrushShapeFromFile(const char* path)
{
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    if (!path || !GetMapFromFile(path, &pixels, &w, &h, false, nullptr, false, false, false) || !pixels) {
        OS.WarningMessage(Lang.GetText(kErrorLoadingImageText), path ? path : "");
        return false;
    }

    BrushShapeImage.DeleteThumbnails();
    BrushShapeImage.SetDimensions(w, h, 1);
    unsigned char* grey = BrushShapeImage.GetPixels();
    for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
        grey[i] = static_cast<unsigned char>((int(pixels[4 * i]) + pixels[4 * i + 1] + pixels[4 * i + 2]) / 3);
    QORfree(pixels);
    BrushShapeImage.MakeGLTexture(kShapeTextureSide, kShapeTextureSide);

    BrushShapeValid = false;
    InvalidateAffectedObjectsStencil();
    QOREvents_PushEvent(CommandRefreshInterface);

    SimplifiedBrushShapeImage.SetDimensions(w, h, 1);
    BuildSimplifiedShape(grey, w, h, SimplifiedBrushShapeImage.GetPixels());
    return true;
}

// ============================================================================
// [SECTION] Brush images
// ============================================================================

bool TKSN_Project::LoadBrushFromFile(const char* path)
{
    CurrentBrushFileName.clear();
    BrushImageAspect = 1.0f;

    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    bool loaded = false;
    if (path && TOS::FileExists(path) &&
        GetMapFromFile(path, &pixels, &w, &h, false, &BrushImageAspect, false, false, false) && pixels) {
        // A transparent pixel's colour would bleed in through filtering.
        for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
            if (pixels[4 * i + 3] == 0) pixels[4 * i] = pixels[4 * i + 1] = pixels[4 * i + 2] = 0;
        BrushImage.DeleteThumbnails();
        BrushImage.CreateWithPixelData(pixels, w, h, 4, true);
        BrushImageLoaded = true;
        TiledPixelsValid = false;
        CreateColorizedBrushImage();
        CreateCheckeredBrushImage();
        CurrentBrushFileName = path;
        loaded = true;
    } else {
        BrushImageLoaded = false;
        BrushImageAspect = 1.0f;
    }

    QOREvents_PushEvent(CommandRefreshInterface);
    if (App)
        for (TKSN_Viewport* viewport : App->viewports)
            if (viewport && viewport->shown) OnSingleViewportChanged(viewport);
    BrushShapeValid = false;
    InvalidateAffectedObjectsStencil();
    return loaded;
}

bool TKSN_Project::LoadBrushTexture(const char* path)
{
    if (!path || !TOS::FileExists(path)) return false;
    QOREvents_PushEvent(CommandRefreshToolPanel);
    QOREvents_PushEvent(CommandAllViewportsChanged);
    if (LoadBrushFromFile(path)) return true;
    OS.WarningMessage(Lang.GetText(kCannotOpenFileText), path);
    return false;
}

bool TKSN_Project::CreateBrushFromData(unsigned char* pixels, int width, int height, int channels,
                                       TKSN_TextureBrushImage* image)
{
    if (!pixels || width <= 0 || height <= 0 || channels <= 0 || channels > 4) {
        QORfree(pixels);
        return true;
    }
    pixels = ToRGBA(pixels, width, height, channels);
    const float aspect = float(width) / float(height);
    if (image) {
        if (image != &BrushImage) image->CreateWithPixelData(pixels, width, height, 4, false);
        image->aspect = aspect;
        image->fileName.clear();
    }
    BrushImage.DeleteThumbnails();
    BrushImage.CreateWithPixelData(pixels, width, height, 4, true);
    BrushImageAspect = aspect;
    BrushImageLoaded = true;
    TiledPixelsValid = false;
    BrushShapeValid = false;
    CreateColorizedBrushImage();
    CreateCheckeredBrushImage();
    return true;
}

// ============================================================================
// [SECTION] Colourised image, checker and preview tip
// ============================================================================

void TKSN_Project::CreateColorizedBrushImage()
{
    if (!BrushImageLoaded || BrushImage.GetBytesPerPixel() != 4 || !BrushImage.GetPixels()) return;
    ColorizedBrushImage.Copy(&BrushImage);
    const int w = ColorizedBrushImage.GetWidth(), h = ColorizedBrushImage.GetHeight();
    ColorizedBrushImageRGB.SetDimensions(w, h, 3);
    ColorizedBrushImageAlpha.SetDimensions(w, h, 1);
    unsigned char* p = ColorizedBrushImage.GetPixels();
    const size_t count = size_t(w) * size_t(h);

    if (MixColorAndTexture && App)
        for (size_t i = 0; i < count; ++i)
            for (int c = 0; c < 3; ++c)
                p[4 * i + size_t(c)] = static_cast<unsigned char>(float(p[4 * i + size_t(c)]) * App->paintColor[c]);
    if (FlipBrushTextureX)
        for (int y = 0; y < h; ++y) {
            unsigned char* row = p + size_t(y) * size_t(w) * 4;
            for (int i = 0; i < w / 2; ++i)
                std::swap_ranges(row + size_t(i) * 4, row + size_t(i) * 4 + 4, row + size_t(w - 1 - i) * 4);
        }
    if (FlipBrushTextureY)
        for (int y = 0; y < h / 2; ++y)
            std::swap_ranges(p + size_t(y) * size_t(w) * 4, p + size_t(y + 1) * size_t(w) * 4,
                             p + size_t(h - 1 - y) * size_t(w) * 4);

    unsigned char* rgb = ColorizedBrushImageRGB.GetPixels();
    unsigned char* alpha = ColorizedBrushImageAlpha.GetPixels();
    for (size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) rgb[3 * i + size_t(c)] = p[4 * i + size_t(c)];
        alpha[i] = p[4 * i + 3];
    }
    ColorizedBrushImage.FreeGLTexture();
    ColorizedBrushImage.MakeGLTexture(kColorizedTextureSide, kColorizedTextureSide);
}

void TKSN_Project::CreateCheckeredBrushImage()
{
    if (!BrushImageLoaded) return;
    const int w = BrushImage.GetWidth(), h = BrushImage.GetHeight(), depth = BrushImage.GetBytesPerPixel();
    RenderedTileBrushImage.SetDimensions(w, h, char(depth));
    unsigned char* p = RenderedTileBrushImage.GetPixels();
    if (!p) return;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned char* pixel = p + (size_t(y) * size_t(w) + size_t(x)) * size_t(depth);
            const unsigned char v = ((y & 16) + x) % 32 >= 16 ? 255 : 0;
            for (int c = 0; c < std::min(depth, 3); ++c) pixel[c] = v;
            if (depth >= 4) pixel[3] = 255;
        }
}

void TKSN_Project::CreatePreviewBrushImageTip()
{
    if (!BrushImageLoaded) return;
    const unsigned char* image = ColorizedBrushImage.GetPixels();
    const int w = ColorizedBrushImage.GetWidth(), h = ColorizedBrushImage.GetHeight();
    if (!image || w <= 0 || h <= 0 || ColorizedBrushImage.GetBytesPerPixel() != 4) return;

    if (PreviewBrushTipTexture == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        PreviewBrushTipTexture = name;
    }
    const int tw = PreviewTipSide(w), th = PreviewTipSide(h);
    const unsigned char* stamp = BrushStamp.GetPixels();
    const int sw = BrushStamp.GetWidth(), sh = BrushStamp.GetHeight();
    std::vector<unsigned char> tip(size_t(tw) * size_t(th) * 4);
    for (int r = 0; r < th; ++r)
        for (int c = 0; c < tw; ++c) {
            const float u = float(c) / float(tw), v = float(r) / float(th);
            unsigned char* out = tip.data() + (size_t(r) * size_t(tw) + size_t(c)) * 4;
            for (int k = 0; k < 4; ++k)
                out[k] = static_cast<unsigned char>(Bilinear(image, w, h, 4, k, u * float(w), v * float(h)));
            const bool covered = stamp && sw > 0 && sh > 0 && BrushStamp.GetBytesPerPixel() == 1 &&
                                 Bilinear(stamp, sw, sh, 1, 0, u * float(sw), v * float(sh)) != 0;
            out[3] = covered ? 127 : 0;
        }

    glBindTexture(GL_TEXTURE_2D, PreviewBrushTipTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, tip.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}
