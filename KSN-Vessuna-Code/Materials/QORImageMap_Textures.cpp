// TQORImageMap: the smaller pictures and textures made from a map.
//
// Thumbnails are RGB (or the map's own depth) copies cached by size for the
// buttons and lists that redraw every frame. The preview texture is what the
// views draw: RGB, each side a power of two of at most 1024, nearest sampling,
// rebuilt only when the helpers are invalid. The GL texture is the brush
// drawing's texture in the map's own colour format. The texture wrapper is a
// GUI texture over the map's own buffer. All OpenGL work runs on the main
// thread with the context current.
//
// [Index]
//   [Grid colours]   the checkerboard behind transparent previews
//   [Thumbnails]     CreateThumbnail, GetThumbnail, DeleteThumbnails
//   [Preview]        MakeThumbnail
//   [GL texture]     MakeGLTexture, FreeGLTexture
//   [Wrapper]        GetTextureWrapping, RefreshTextureWrapping
//   [Resampling]     ResizeImageClosest
#include "QORImageMap.h"

#include "QORImageMap_Internal.h"

#include "OS.h"
#include "QORGL.h"
#include "QORImage.h"
#include "QORMatrix.h"
#include "QORMemory.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace {

constexpr int MaxPreviewSide = 1024;

// [Grid colours] --------------------------------------------------------------

std::atomic<TQORImageMap_GridColorsFunc> GridColorsFunc{nullptr};

void GetGridColors(unsigned char* first, unsigned char* second)
{
    std::memset(first, 0, 3);
    std::memset(second, 0, 3);
    if (TQORImageMap_GridColorsFunc func = GridColorsFunc.load()) func(first, second);
}

// Preview side for a map side: small sides round up, large ones to the nearest
// power of two (a tie up), never past 1024.
int PreviewSide(int side)
{
    const int p = side <= 255 ? GetHightestPowerOf2(side) : GetClosestPowerOf2(side);
    return std::min(p, MaxPreviewSide);
}

// Texture parameters shared by the preview and the GL texture; the error
// state is read around them only to leave it clear.
void SetNearestClampedModulate()
{
    glGetError();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glGetError();
}

// Packed rows of any width: RGB rows of 1 or 2 pixels are not 4-byte aligned.
void UploadPacked(GLenum format, int width, int height, const unsigned char* pixels)
{
    GLint saved = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &saved);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, saved);
}

} // namespace

void QORImageMap_AssignBackgroundGridColors(TQORImageMap_GridColorsFunc func) { GridColorsFunc.store(func); }

// [Thumbnails] ----------------------------------------------------------------

TQORImageMap* TQORImageMap::CreateThumbnail(int width, int height)
{
    TQORImageMapLock lock(OwnerMutex);
    auto* thumbnail = new TQORImageMap;
    const int depth = BytesPerPixel;
    const size_t count = (width > 0 && height > 0) ? size_t(width) * size_t(height) : 0;
    auto* resampled = static_cast<unsigned char*>(QORalloc(count * size_t(depth > 0 ? depth : 0), false));
    if (resampled && !ResizeImage(resampled, width, height, GetPixels(), Width, Height, depth))
        std::memset(resampled, 0, count * size_t(depth));   // nothing to sample: an empty (black) picture
    if (depth == 1) {
        // Grey shown as ink: a square-root curve, then inverted so 255 is black.
        auto* rgb = static_cast<unsigned char*>(QORalloc(count * 3, false));
        for (size_t i = 0; i < count; ++i) {
            const auto v = static_cast<unsigned char>(int(std::sqrt(float(resampled[i]) / 255.0f) * 255.0f));
            rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = v;
        }
        QORfree(resampled);
        thumbnail->CreateWithPixelData(rgb, width, height, 3, true);
        thumbnail->InvertColors();
    } else {
        thumbnail->CreateWithPixelData(resampled, width, height, static_cast<char>(depth), true);
    }
    Thumbnails.Add(thumbnail);
    return thumbnail;
}

TQORImageMap* TQORImageMap::GetThumbnail(int width, int height, bool create)
{
    for (TQORImageMap* thumbnail : Thumbnails)
        if (thumbnail->Width == width && thumbnail->Height == height) return thumbnail;
    return create ? CreateThumbnail(width, height) : nullptr;
}

void TQORImageMap::DeleteThumbnails()
{
    for (TQORImageMap* thumbnail : Thumbnails) delete thumbnail;
    Thumbnails.Clear();
}

// [Preview] -------------------------------------------------------------------

void TQORImageMap::MakeThumbnail(float*, float*)
{
    if (!HelpersInvalid) return;
    const unsigned char* pixels = GetPixels();
    if (!pixels) return;
    const int tw = PreviewSide(Width), th = PreviewSide(Height);
    PreviewTextureWidth = tw;
    PreviewTextureHeight = th;
    if (tw <= 0 || th <= 0) return;

    const size_t bytes = size_t(tw) * size_t(th) * 3;
    auto* buffer = static_cast<unsigned char*>(QORalloc(bytes, false));
    ImageMap_FillBytes(buffer, 255, bytes);
    const int depth = BytesPerPixel;
    if (depth == 3 || depth == 4) {
        unsigned char grid[2][3];
        if (depth == 4) GetGridColors(grid[0], grid[1]);
        unsigned char* out = buffer;
        for (int i = 0; i < th; ++i) {
            const int y = int(int64_t(i) * Height / th);
            for (int j = 0; j < tw; ++j, out += 3) {
                const int x = int(int64_t(j) * Width / tw);
                const unsigned char* in = pixels + (size_t(y) * size_t(Width) + size_t(x)) * size_t(depth);
                if (depth == 3) {
                    std::memcpy(out, in, 3);
                    continue;
                }
                // Over a checkerboard of 4 x 4 map-pixel cells.
                const unsigned char* bg = grid[((x / 4 + y / 4) & 1) ? 0 : 1];
                for (int c = 0; c < 3; ++c)
                    out[c] = static_cast<unsigned char>(bg[c] + ImageMap_DivideBy255((in[c] - bg[c]) * in[3]));
            }
        }
    }
    // 1- and 2-byte maps have no colour to show: the preview stays white.

    GLuint name = PreviewTexture;
    if (name == 0) QORglGenTextures(1, &name);
    PreviewTexture = name;
    QORglBindTexture(GL_TEXTURE_2D, name);
    SetNearestClampedModulate();
    UploadPacked(GL_RGB, tw, th, buffer);
    QORfree(buffer);
    HelpersInvalid = false;
}

// [GL texture] ----------------------------------------------------------------

void TQORImageMap::MakeGLTexture(int maxWidth, int maxHeight)
{
    const int depth = BytesPerPixel;
    if (depth != 1 && depth != 3 && depth != 4) return;
    const unsigned char* pixels = GetPixels();
    if (!pixels) return;
    const int tw = std::min(maxWidth, GetHightestPowerOf2(Width));
    const int th = std::min(maxHeight, GetHightestPowerOf2(Height));
    if (tw <= 0 || th <= 0) return;
    GLTextureWidth = tw;
    GLTextureHeight = th;
    QORfree(GLTexturePixels);
    GLTexturePixels = nullptr;

    const size_t count = size_t(tw) * size_t(th);
    auto* resampled = static_cast<unsigned char*>(QORalloc(count * size_t(depth), false));
    ResizeImage(resampled, tw, th, pixels, Width, Height, depth);
    if (depth == 1) {
        auto* rgb = static_cast<unsigned char*>(QORalloc(count * 3, false));
        for (size_t i = 0; i < count; ++i) rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = resampled[i];
        QORfree(resampled);
        resampled = rgb;
    }
    GLTexturePixels = resampled;

    // A texture made before would otherwise be lost for good: its name is
    // overwritten below.
    FreeGLTexture();
    GLuint name = 0;
    glGenTextures(1, &name);
    GLTexture = name;
    glBindTexture(GL_TEXTURE_2D, name);
    SetNearestClampedModulate();
    UploadPacked(depth == 4 ? GL_RGBA : GL_RGB, tw, th, GLTexturePixels);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void TQORImageMap::FreeGLTexture()
{
    if (GLTexture == 0) return;
    GLuint name = GLTexture;
    QORglDeleteTextures(1, &name);
    GLTexture = 0;
}

// [Wrapper] -------------------------------------------------------------------

TQORglutTexture* TQORImageMap::GetTextureWrapping()
{
    TQORImageMapLock lock(OwnerMutex);
    GetPixels();
    if (!TextureWrapper) {
        TextureWrapper = new TQORglutTexture;
        RefreshTextureWrapping();
    }
    return TextureWrapper;
}

void TQORImageMap::RefreshTextureWrapping()
{
    if (!TextureWrapper) return;
    QORfree(WrapperRGBPixels);
    WrapperRGBPixels = nullptr;
    unsigned char* shown = Pixels;
    if (Pixels && BytesPerPixel != 3 && BytesPerPixel != 4) {
        // The wrapper reads three bytes a pixel: give it an RGB copy of a grey
        // map (a 2-byte map, which has no meaning to show, stays black).
        const size_t count = size_t(Width) * size_t(Height);
        WrapperRGBPixels = static_cast<unsigned char*>(QORalloc(count * 3, false));
        if (BytesPerPixel == 1) {
            for (size_t i = 0; i < count; ++i)
                WrapperRGBPixels[3 * i] = WrapperRGBPixels[3 * i + 1] = WrapperRGBPixels[3 * i + 2] = Pixels[i];
        } else {
            std::memset(WrapperRGBPixels, 0, count * 3);
        }
        shown = WrapperRGBPixels;
    }
    // Lets go of the texture uploaded from the old bytes; the next draw uploads these.
    TextureWrapper->SetupWithExternalImage(shown, Width, Height, 0, BytesPerPixel == 4);
}

// [Resampling] ----------------------------------------------------------------

bool ResizeImageClosest(unsigned char* dst, int dstWidth, int dstHeight, unsigned char* src, int srcWidth,
                        int srcHeight, int bytesPerPixel)
{
    if (bytesPerPixel != 1 && bytesPerPixel != 3 && bytesPerPixel != 4) {
        OS.ErrorMessage("The color depth %d is not supported by ResizeImageClosest()", bytesPerPixel);
        return false;
    }
    if (dstWidth <= 0 || dstHeight <= 0) return true;
    if (!dst || !src || srcWidth <= 0 || srcHeight <= 0) return false;
    const size_t depth = size_t(bytesPerPixel);
    unsigned char* out = dst;
    for (int i = 0; i < dstHeight; ++i) {
        const int64_t row = int64_t(i) * srcHeight / dstHeight;
        const unsigned char* line = src + size_t(row) * size_t(srcWidth) * depth;
        for (int j = 0; j < dstWidth; ++j, out += depth) {
            const int64_t column = int64_t(j) * srcWidth / dstWidth;
            std::memcpy(out, line + size_t(column) * depth, depth);
        }
    }
    return true;
}
