// Image files through wxImage, and the bilinear and nearest-neighbour resamplers.
//
// [Index]
//   [Handlers]     one-time registration of the wxImage handlers
//   [Sampling]     the bilinear rule shared by the samplers and ResizeImage
//   [Resampling]   ResizeImage, PixelResizeImage
//   [Files]        GetMapFromFile, SaveMapToFile
#include "QORImage.h"

#include "OS.h"
#include "QORMatrix.h"
#include "QORMemory.h"

#include <wx/debug.h>
#include <wx/image.h>
#include <wx/log.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

constexpr int MinLoadedSide = 2;
constexpr int MaxLoadedSide = 20000;

bool DepthSupported(int depth) { return depth == 1 || depth == 3 || depth == 4; }

} // namespace

// [Handlers] ------------------------------------------------------------------

namespace {

void LogToolkitAssertion(const wxString& file, int line, const wxString& function, const wxString& condition,
                         const wxString& message)
{
    OS.DebugMessage("wxWidgets assertion \"%s\" failed in %s (%s:%d): %s", condition.utf8_str().data(),
                    function.utf8_str().data(), file.utf8_str().data(), line, message.utf8_str().data());
}

} // namespace

void QORImage_InstallAssertHandler()
{
    static std::once_flag installed;
    std::call_once(installed, [] { wxSetAssertHandler(LogToolkitAssertion); });
}

void QORImage_RegisterHandlers()
{
    QORImage_InstallAssertHandler();
    // wxImage keeps its handler list in a global without a lock, and loads may
    // come from worker threads. The BMP handler is a "standard" one that only
    // the toolkit's own start-up adds, so a program (or test) that loads before
    // or without it adds it here. Checked every time rather than once: the
    // toolkit's shutdown empties the list, and a later start may need it again.
    static std::mutex registering;
    std::scoped_lock lock(registering);
    if (!wxImage::FindHandler(wxBITMAP_TYPE_BMP)) wxImage::InitStandardHandlers();
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxInitAllImageHandlers();
}

// [Sampling] ------------------------------------------------------------------

namespace {

// Bilinear sample at map-pixel position (x, y), no half-pixel offset. The
// fractions are formed in single precision and blended in double precision,
// and each channel is truncated, so results match the sampler the painting
// code has always seen.
template <int Depth>
void SampleBilinear(unsigned char* out, const unsigned char* src, int width, int height, float x, float y)
{
    // Written as negated comparisons so that a NaN position lands on pixel 0.
    if (!(x >= 0.0f)) x = 0.0f;
    if (!(y >= 0.0f)) y = 0.0f;
    if (x > float(width - 1)) x = float(width - 1);
    if (y > float(height - 1)) y = float(height - 1);
    const int x0 = int(std::floor(x));
    const int y0 = int(std::floor(y));
    const int x1 = x0 < width - 1 ? x0 + 1 : x0;
    const int y1 = y0 < height - 1 ? y0 + 1 : y0;
    const double fx = double(x - float(x0));
    const double fy = double(y - float(y0));
    const size_t stride = size_t(width) * Depth;
    const unsigned char* r0 = src + size_t(y0) * stride;
    const unsigned char* r1 = src + size_t(y1) * stride;
    for (int c = 0; c < Depth; ++c) {
        const double top = double(r0[size_t(x0) * Depth + c]) * (1.0 - fx) + double(r0[size_t(x1) * Depth + c]) * fx;
        const double bottom = double(r1[size_t(x0) * Depth + c]) * (1.0 - fx) + double(r1[size_t(x1) * Depth + c]) * fx;
        out[c] = (unsigned char)(int)(top * (1.0 - fy) + bottom * fy);
    }
}

template <int Depth>
void SampleNormalised(unsigned char* out, const unsigned char* src, int width, int height, float u, float v)
{
    if (!out) return;
    if (!src || width < 1 || height < 1) {
        std::memset(out, 0, Depth);
        return;
    }
    SampleBilinear<Depth>(out, src, width, height, u * float(width), v * float(height));
}

} // namespace

void GetColorFromMap_uchar_RGB(unsigned char* out, const unsigned char* src, int width, int height, float u, float v)
{
    SampleNormalised<3>(out, src, width, height, u, v);
}

void GetColorFromMap_uchar_Greyscale(unsigned char* out, const unsigned char* src, int width, int height, float u,
                                     float v)
{
    SampleNormalised<1>(out, src, width, height, u, v);
}

// [Resampling] ----------------------------------------------------------------

namespace {

// Source position of destination index i, in source pixels. Taken as the exact
// ratio i * srcSize / dstSize rounded once to float: going through the
// normalised u = i / dstSize first rounds twice and puts some positions a hair
// below their integer (22 columns: 13 / 22 * 22 = 12.999999), which blended
// the neighbouring pixel in and shifted colours even for a same-size resize.
float SourcePosition(int i, int srcSize, int dstSize) { return float(double(i) * srcSize / dstSize); }

template <int Depth>
void ResizeBilinear(unsigned char* dst, int dstWidth, int dstHeight, const unsigned char* src, int srcWidth,
                    int srcHeight)
{
    std::vector<float> xs(static_cast<size_t>(dstWidth));
    for (int j = 0; j < dstWidth; ++j) xs[size_t(j)] = SourcePosition(j, srcWidth, dstWidth);
    unsigned char* out = dst;
    for (int i = 0; i < dstHeight; ++i) {
        OS.DoProgress();
        const float y = SourcePosition(i, srcHeight, dstHeight);
        for (int j = 0; j < dstWidth; ++j, out += Depth)
            SampleBilinear<Depth>(out, src, srcWidth, srcHeight, xs[size_t(j)], y);
    }
}

// Shared argument check of both resamplers; true when there is work to do.
bool ResizeArgumentsUsable(unsigned char* dst, int dstWidth, int dstHeight, const unsigned char* src, int srcWidth,
                           int srcHeight, int depth, bool& result)
{
    if (!DepthSupported(depth)) {
        OS.ErrorMessage("The color depth %d is not supported by ResizeImage()", depth);
        result = false;
        return false;
    }
    if (dstWidth < 0 || dstHeight < 0) {
        result = false;
        return false;
    }
    if (dstWidth == 0 || dstHeight == 0) {
        result = true;
        return false;
    }
    // An empty source has nothing to sample from; refuse instead of reading past it.
    if (!dst || !src || srcWidth < 1 || srcHeight < 1) {
        result = false;
        return false;
    }
    return true;
}

} // namespace

bool ResizeImage(unsigned char* dst, int dstWidth, int dstHeight, const unsigned char* src, int srcWidth,
                 int srcHeight, int depth)
{
    bool result = true;
    if (!ResizeArgumentsUsable(dst, dstWidth, dstHeight, src, srcWidth, srcHeight, depth, result)) return result;
    OS.DoProgress();
    switch (depth) {
    case 1: ResizeBilinear<1>(dst, dstWidth, dstHeight, src, srcWidth, srcHeight); break;
    case 3: ResizeBilinear<3>(dst, dstWidth, dstHeight, src, srcWidth, srcHeight); break;
    default: ResizeBilinear<4>(dst, dstWidth, dstHeight, src, srcWidth, srcHeight); break;
    }
    return true;
}

bool PixelResizeImage(unsigned char* dst, int dstWidth, int dstHeight, const unsigned char* src, int srcWidth,
                      int srcHeight, int depth)
{
    bool result = true;
    if (!ResizeArgumentsUsable(dst, dstWidth, dstHeight, src, srcWidth, srcHeight, depth, result)) return result;
    OS.DoProgress();
    // Source indices as exact integer ratios (floor of i * src / dst): the
    // float form i / dst * src lands one below for some sizes and dropped a
    // row or column even when the sizes are equal.
    std::vector<size_t> columnOffsets(static_cast<size_t>(dstWidth));
    for (int j = 0; j < dstWidth; ++j) {
        const int64_t column = std::min<int64_t>(int64_t(j) * srcWidth / dstWidth, srcWidth - 1);
        columnOffsets[size_t(j)] = size_t(column) * size_t(depth);
    }
    const size_t srcStride = size_t(srcWidth) * size_t(depth);
    unsigned char* out = dst;
    for (int i = 0; i < dstHeight; ++i) {
        OS.DoProgress();
        const int64_t row = std::min<int64_t>(int64_t(i) * srcHeight / dstHeight, srcHeight - 1);
        const unsigned char* line = src + size_t(row) * srcStride;
        for (int j = 0; j < dstWidth; ++j, out += depth) std::memcpy(out, line + columnOffsets[size_t(j)], size_t(depth));
    }
    return true;
}

// [Files] ---------------------------------------------------------------------

namespace {

wxString PathToWx(const char* path) { return wxString(path, wxConvLibc); }

float AspectOf(int width, int height) { return height < 1 ? 1.0f : float(width) / float(height); }

int ClampLoadedSide(int side) { return std::clamp(side, MinLoadedSide, MaxLoadedSide); }

// Copies the decoded image into a new bottom-up buffer of bytesPerPixel (3 or 4).
unsigned char* CopyImageBottomUp(const wxImage& image, int bytesPerPixel)
{
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    const size_t rowBytes = size_t(width) * size_t(bytesPerPixel);
    auto* pixels = static_cast<unsigned char*>(QORalloc(rowBytes * size_t(height), false));
    const unsigned char* rgb = image.GetData();
    const unsigned char* alpha = image.HasAlpha() ? image.GetAlpha() : nullptr;
    const bool hasMask = !alpha && image.HasMask();
    const unsigned char maskR = hasMask ? image.GetMaskRed() : 0;
    const unsigned char maskG = hasMask ? image.GetMaskGreen() : 0;
    const unsigned char maskB = hasMask ? image.GetMaskBlue() : 0;

    for (int row = 0; row < height; ++row) {
        const size_t srcPixel = size_t(height - 1 - row) * size_t(width);
        const unsigned char* in = rgb + srcPixel * 3;
        unsigned char* out = pixels + size_t(row) * rowBytes;
        if (bytesPerPixel == 3) {
            std::memcpy(out, in, size_t(width) * 3);
            continue;
        }
        for (int x = 0; x < width; ++x, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            if (alpha)
                out[3] = alpha[srcPixel + size_t(x)];
            else if (hasMask && in[0] == maskR && in[1] == maskG && in[2] == maskB)
                out[3] = 0;
            else
                out[3] = 255;
        }
    }
    return pixels;
}

} // namespace

bool GetMapFromFile(const char* path, unsigned char** pixels, int* width, int* height, bool, float* aspect, bool,
                    bool rgbOnly, bool powerOfTwo)
{
    bool loaded = false;
    if (path && pixels && width && height) {
        QORImage_RegisterHandlers();
        wxImage image;
        {
            // A failed load is the caller's to report through the OS layer; the
            // toolkit's own log would otherwise open a box of its own.
            wxLogNull quiet;
            loaded = image.LoadFile(PathToWx(path), wxBITMAP_TYPE_ANY) && image.IsOk();
        }
        if (loaded) {
            const int bytesPerPixel = rgbOnly ? 3 : 4;
            unsigned char* buffer = CopyImageBottomUp(image, bytesPerPixel);
            const int loadedWidth = image.GetWidth();
            const int loadedHeight = image.GetHeight();
            image.Destroy();

            int targetWidth = powerOfTwo ? GetHightestPowerOf2(loadedWidth) : loadedWidth;
            int targetHeight = powerOfTwo ? GetHightestPowerOf2(loadedHeight) : loadedHeight;
            targetWidth = ClampLoadedSide(targetWidth);
            targetHeight = ClampLoadedSide(targetHeight);
            if (targetWidth != loadedWidth || targetHeight != loadedHeight) {
                auto* resized = static_cast<unsigned char*>(
                    QORalloc(size_t(targetWidth) * size_t(targetHeight) * size_t(bytesPerPixel), false));
                ResizeImage(resized, targetWidth, targetHeight, buffer, loadedWidth, loadedHeight, bytesPerPixel);
                QORfree(buffer, 0);
                buffer = resized;
            }
            *pixels = buffer;
            *width = targetWidth;
            *height = targetHeight;
        }
    }
    if (aspect && width && height) *aspect = AspectOf(*width, *height);
    return loaded;
}

bool GetMapFromFileAtItsSize(const char* path, unsigned char** pixels, int* width, int* height, bool rgbOnly)
{
    if (!path || !pixels || !width || !height) return false;
    QORImage_RegisterHandlers();
    wxImage image;
    {
        wxLogNull quiet;   // the caller reports a file it cannot use
        if (!image.LoadFile(PathToWx(path), wxBITMAP_TYPE_ANY) || !image.IsOk()) return false;
    }
    if (!QORImage_IsMapSizeValid(image.GetWidth(), image.GetHeight())) return false;
    *pixels = CopyImageBottomUp(image, rgbOnly ? 3 : 4);
    *width = image.GetWidth();
    *height = image.GetHeight();
    return true;
}

bool SaveMapToFile(const char* path, unsigned char* pixels, int width, int height, bool withAlpha)
{
    if (!path || !pixels || width < 1 || height < 1) return false;
    QORImage_RegisterHandlers();
    wxImage image(width, height, true);
    if (!image.IsOk()) return false;
    const int bytesPerPixel = withAlpha ? 4 : 3;
    if (withAlpha) image.SetAlpha();
    unsigned char* rgb = image.GetData();
    unsigned char* alpha = withAlpha ? image.GetAlpha() : nullptr;
    for (int row = 0; row < height; ++row) {
        const unsigned char* in = pixels + size_t(height - 1 - row) * size_t(width) * size_t(bytesPerPixel);
        const size_t outPixel = size_t(row) * size_t(width);
        if (!withAlpha) {
            std::memcpy(rgb + outPixel * 3, in, size_t(width) * 3);
            continue;
        }
        unsigned char* out = rgb + outPixel * 3;
        for (int x = 0; x < width; ++x, in += 4, out += 3) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            alpha[outPixel + size_t(x)] = in[3];
        }
    }
    wxLogNull quiet;
    return image.SaveFile(PathToWx(path));
}
