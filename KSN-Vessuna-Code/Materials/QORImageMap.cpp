// TQORImageMap: the pixel buffer, its paging to the virtual-memory store and
// the whole-map pixel operations.
//
// [Index]
//   [Lifetime]      constructor, destructor, shared buffer helpers
//   [Pixels]        GetPixels, paging, SetDimensions, CreateWithPixelData, Copy
//   [Resampling]    Resize, ResizeFrom
//   [Notification]  InvalidateHelpers, OnWholeMapChanged, OnPartialMapChanged
//   [Operations]    clearing, inverting, alpha blur, colour bleeding
#include "QORImageMap.h"

#include "QORImageMap_Internal.h"

#include "OS.h"
#include "QORGL.h"
#include "QORImage.h"
#include "QORMemory.h"
#include "QORTimer.h"
#include "QORVirtualMemory.h"

#include <algorithm>
#include <vector>

// [Lifetime] ------------------------------------------------------------------

TQORImageMap::TQORImageMap() = default;

TQORImageMap::~TQORImageMap()
{
    // Direct work only: a derived map is already gone, so no virtual slot may run.
    TQORImageMapLock lock(OwnerMutex);
    if (PreviewTexture != 0) QORglDeleteTextures(1, &PreviewTexture);
    if (GLTexture != 0) QORglDeleteTextures(1, &GLTexture);
    PreviewTexture = 0;
    GLTexture = 0;
    DropVirtualMemoryCopy();
    FreePixels();
    QORfree(GLTexturePixels);
    GLTexturePixels = nullptr;
    for (TQORImageMap* thumbnail : Thumbnails) delete thumbnail;
    Thumbnails.Clear();
    delete TextureWrapper;
    TextureWrapper = nullptr;
    QORfree(WrapperRGBPixels);
    WrapperRGBPixels = nullptr;
}

size_t TQORImageMap::GetPixelBytes() const
{
    if (Width <= 0 || Height <= 0 || BytesPerPixel <= 0) return 0;
    return size_t(Width) * size_t(Height) * size_t(BytesPerPixel);
}

void TQORImageMap::DropVirtualMemoryCopy()
{
    if (VirtualMemoryID == 0) return;
    QORVirtualMemory_Delete(VirtualMemoryID);
    VirtualMemoryID = 0;
}

void TQORImageMap::FreePixels()
{
    QORfree(Pixels);
    Pixels = nullptr;
}

void TQORImageMap::Notify()
{
    InvalidateHelpers();
    OnWholeMapChanged();
}

// [Pixels] --------------------------------------------------------------------

unsigned char* TQORImageMap::GetPixels()
{
    TQORImageMapLock lock(OwnerMutex);
    if (VirtualMemoryID != 0) PopPixelsFromVirtualMemory();
    return Pixels;
}

unsigned char* TQORImageMap::GetPixelsNoThreadLock()
{
    if (VirtualMemoryID != 0) PopPixelsFromVirtualMemory();
    return Pixels;
}

unsigned char* TQORImageMap::GetCurrentLayerPixels(bool) { return GetPixels(); }

void TQORImageMap::PushPixelsToVirtualMemory()
{
    TQORImageMapLock lock(OwnerMutex);
    if (!Pixels) return;
    OS.DebugMessage("Pushing pixels to virtual memory");
    void* block = Pixels;
    unsigned int id = 0;
    // The store takes the block and nulls our pointer; when it throws, the
    // block is still ours and the map is unchanged.
    QORVirtualMemory_Push(&block, static_cast<unsigned long>(GetPixelBytes()), &id);
    Pixels = static_cast<unsigned char*>(block);
    VirtualMemoryID = id;
    RefreshTextureWrapping();
}

void TQORImageMap::PopPixelsFromVirtualMemory()
{
    TQORImageMapLock lock(OwnerMutex);
    if (VirtualMemoryID == 0) return;
    if (Pixels) {
        OS.DebugMessage("Pixels should be NULL here");
        FreePixels();
    }
    OS.DebugMessage("Popping pixels");
    TQORTimer timer;
    timer.Start();
    void* block = nullptr;
    unsigned long size = 0;
    unsigned int id = VirtualMemoryID;
    QORVirtualMemory_Pop(&block, &size, &id);
    Pixels = static_cast<unsigned char*>(block);
    VirtualMemoryID = id;
    timer.Stop();
    OS.DebugMessage("Time to pop pixels = %.3f", timer.Read());
    RefreshTextureWrapping();
}

void TQORImageMap::SetDimensions(int width, int height, char bytesPerPixel)
{
    TQORImageMapLock lock(OwnerMutex);
    if (width == Width && height == Height && bytesPerPixel == BytesPerPixel) return;
    DropVirtualMemoryCopy();
    FreePixels();
    Width = width;
    Height = height;
    BytesPerPixel = static_cast<int8_t>(bytesPerPixel);
    Pixels = static_cast<unsigned char*>(QORalloc(GetPixelBytes(), false));
    RefreshTextureWrapping();
    Notify();
}

void TQORImageMap::CreateWithPixelData(unsigned char* data, int width, int height, char bytesPerPixel, bool adopt)
{
    TQORImageMapLock lock(OwnerMutex);
    const size_t bytes = (width > 0 && height > 0 && bytesPerPixel > 0)
                             ? size_t(width) * size_t(height) * size_t(bytesPerPixel)
                             : 0;
    unsigned char* fresh = nullptr;
    if (adopt) {
        fresh = data;
    } else {
        // Copied before the old buffer goes, so a caller may hand in the map's own pixels.
        fresh = static_cast<unsigned char*>(QORalloc(bytes, false));
        if (fresh && data) ImageMap_CopyBytes(fresh, data, bytes);
    }
    DropVirtualMemoryCopy();
    if (fresh != Pixels) FreePixels();
    Pixels = fresh;
    Width = width;
    Height = height;
    BytesPerPixel = static_cast<int8_t>(bytesPerPixel);
    RefreshTextureWrapping();
    Notify();
}

void TQORImageMap::Copy(TQORImageMap* source)
{
    if (!source || source == this) return;
    TQORImageMapLock lock(OwnerMutex);
    if (source->Width == Width && source->Height == Height && source->BytesPerPixel == BytesPerPixel) {
        unsigned char* from = source->GetPixels();
        unsigned char* to = GetPixels();
        if (from && to) ImageMap_CopyBytes(to, from, GetPixelBytes());
        return;
    }
    CreateWithPixelData(source->GetPixels(), source->Width, source->Height, static_cast<char>(source->BytesPerPixel),
                        false);
}

// [Resampling] ----------------------------------------------------------------

void TQORImageMap::Resize(int width, int height, eQORImageMap_ResizeType type)
{
    TQORImageMapLock lock(OwnerMutex);
    if (width == Width && height == Height) return;
    const size_t bytes = (width > 0 && height > 0 && BytesPerPixel > 0)
                             ? size_t(width) * size_t(height) * size_t(BytesPerPixel)
                             : 0;
    auto* fresh = static_cast<unsigned char*>(QORalloc(bytes, false));
    unsigned char* current = GetPixels();
    if (fresh && current) {
        const bool resampled = type == QORImageMap_Resize_Nearest
                                   ? PixelResizeImage(fresh, width, height, current, Width, Height, BytesPerPixel)
                                   : ResizeImage(fresh, width, height, current, Width, Height, BytesPerPixel);
        // The resampler has said why (a depth it cannot take); keep the map
        // rather than fill it with unset bytes.
        if (!resampled) {
            QORfree(fresh);
            return;
        }
    }
    DropVirtualMemoryCopy();
    FreePixels();
    CreateWithPixelData(fresh, width, height, static_cast<char>(BytesPerPixel), true);
}

void TQORImageMap::ResizeFrom(TQORImageMap* source, bool closest)
{
    if (!source || source == this) return;
    TQORImageMapLock lock(OwnerMutex);
    if (source->BytesPerPixel != BytesPerPixel) return;
    unsigned char* from = source->GetPixels();
    unsigned char* to = GetPixels();
    if (!from || !to) return;
    if (closest)
        ResizeImageClosest(to, Width, Height, from, source->Width, source->Height, BytesPerPixel);
    else
        ResizeImage(to, Width, Height, from, source->Width, source->Height, BytesPerPixel);
}

// [Notification] --------------------------------------------------------------

void TQORImageMap::InvalidateHelpers() { HelpersInvalid = true; }

void TQORImageMap::OnWholeMapChanged()
{
    TQORImageMapLock lock(OwnerMutex);
    HelpersInvalid = true;
}

void TQORImageMap::OnPartialMapChanged(float*, float*)
{
    TQORImageMapLock lock(OwnerMutex);
    HelpersInvalid = true;
}

// [Operations] ----------------------------------------------------------------

void TQORImageMap::ClearToValue(unsigned char value)
{
    TQORImageMapLock lock(OwnerMutex);
    if (unsigned char* pixels = GetPixels()) ImageMap_FillBytes(pixels, value, GetPixelBytes());
    OnWholeMapChanged();
}

void TQORImageMap::ClearToColor(unsigned char* color)
{
    TQORImageMapLock lock(OwnerMutex);
    unsigned char* pixels = GetPixels();
    const size_t depth = BytesPerPixel > 0 ? size_t(BytesPerPixel) : 0;
    const size_t total = GetPixelBytes();
    if (pixels && color && total > 0) {
        // One pixel, then the filled part doubled until the buffer is full.
        std::memcpy(pixels, color, depth);
        for (size_t filled = depth; filled < total;) {
            const size_t piece = std::min(filled, total - filled);
            std::memcpy(pixels + filled, pixels, piece);
            filled += piece;
        }
    }
    OnWholeMapChanged();
}

void TQORImageMap::ClearToColor(float* color)
{
    if (!color) return;
    auto toByte = [](float c) -> unsigned char {
        const float v = c * 255.0f;
        if (!(v > 0.0f)) return 0;   // negative or not a number
        if (v >= 255.0f) return 255;
        return static_cast<unsigned char>(int(v));
    };
    // The fourth byte only reaches 4-byte maps: those are cleared opaque.
    unsigned char bytes[4] = {toByte(color[0]), toByte(color[1]), toByte(color[2]), 255};
    ClearToColor(bytes);
}

void TQORImageMap::InvertColors()
{
    TQORImageMapLock lock(OwnerMutex);
    unsigned char* pixels = GetPixels();
    if (!pixels) return;
    const size_t total = GetPixelBytes();
    for (size_t i = 0; i < total; ++i) pixels[i] = static_cast<unsigned char>(255 - pixels[i]);
}

void TQORImageMap::BlurAlphaMap(int passes)
{
    if (BytesPerPixel != 4 || passes <= 0) return;
    TQORImageMapLock lock(OwnerMutex);
    unsigned char* pixels = GetPixels();
    if (!pixels) return;
    const int w = Width, h = Height;
    std::vector<unsigned char> scratch(size_t(w) * size_t(h));
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
            const int y0 = std::max(y - 1, 0), y1 = std::min(y + 1, h - 1);
            for (int x = 0; x < w; ++x) {
                const int x0 = std::max(x - 1, 0), x1 = std::min(x + 1, w - 1);
                int sum = 0;
                for (int yy = y0; yy <= y1; ++yy)
                    for (int xx = x0; xx <= x1; ++xx) sum += pixels[(size_t(yy) * size_t(w) + size_t(xx)) * 4 + 3];
                // Always nine: the alpha falls off towards the image edges.
                scratch[size_t(y) * size_t(w) + size_t(x)] = static_cast<unsigned char>(sum / 9);
            }
        }
        const size_t count = scratch.size();
        for (size_t i = 0; i < count; ++i) pixels[i * 4 + 3] = scratch[i];
    }
}

void TQORImageMap::BleedColorsInNullAlphaZone(int passes)
{
    if (BytesPerPixel != 4) return;
    TQORImageMapLock lock(OwnerMutex);
    unsigned char* pixels = GetPixels();
    if (!pixels || passes <= 0) return;
    const int w = Width, h = Height;
    const size_t count = size_t(w) * size_t(h);
    std::vector<unsigned char> savedAlpha(count);
    for (size_t i = 0; i < count; ++i) savedAlpha[i] = pixels[i * 4 + 3];
    std::vector<unsigned char> scratch(count * 4);

    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
            const int y0 = std::max(y - 1, 0), y1 = std::min(y + 1, h - 1);
            for (int x = 0; x < w; ++x) {
                const int x0 = std::max(x - 1, 0), x1 = std::min(x + 1, w - 1);
                int n = 0, sum[4] = {0, 0, 0, 0};
                for (int yy = y0; yy <= y1; ++yy) {
                    for (int xx = x0; xx <= x1; ++xx) {
                        const unsigned char* q = pixels + (size_t(yy) * size_t(w) + size_t(xx)) * 4;
                        if (q[3] == 0) continue;
                        ++n;
                        for (int c = 0; c < 4; ++c) sum[c] += q[c];
                    }
                }
                const size_t at = (size_t(y) * size_t(w) + size_t(x)) * 4;
                const unsigned char* p = pixels + at;
                unsigned char* out = scratch.data() + at;
                if (n == 0) {
                    std::memcpy(out, p, 4);
                    continue;
                }
                // The pixel keeps its own colour in proportion to its opacity
                // and takes the neighbourhood average for the rest.
                const int alpha = p[3];
                for (int c = 0; c < 4; ++c) {
                    const int average = sum[c] / n;
                    const int own = c < 3 ? p[c] : alpha;
                    out[c] = static_cast<unsigned char>(average + ImageMap_DivideBy255((own - average) * alpha));
                }
            }
        }
        std::memcpy(pixels, scratch.data(), scratch.size());
    }
    for (size_t i = 0; i < count; ++i) pixels[i * 4 + 3] = savedAlpha[i];
}
