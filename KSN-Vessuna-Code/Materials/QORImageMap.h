// TQORImageMap: the program's raster image.
//
// A width x height array of pixels of 1 (grey or alpha), 3 (red, green, blue)
// or 4 (red, green, blue, alpha) bytes, rows stored back to back with row 0 at
// the BOTTOM of the picture (image files are turned upside down when read and
// written). Brush images and shapes, the paint overlay, the renderer's work
// images and the copies undo keeps are plain image maps; the paintable map
// source derives from it and overrides most of its virtual operations, which
// the operations here reach through the virtual slots (ClearToValue fetches
// through GetPixels and reports through OnWholeMapChanged), so an override
// takes effect inside the inherited operation.
//
// Invariants:
// - The pixel buffer is null exactly when the map is 0 x 0 (or never sized) or
//   while its bytes are parked in the virtual-memory store; VirtualMemoryID is
//   non-zero only in the second case. Every read goes through GetPixels (or
//   GetPixelsNoThreadLock), which fetches parked bytes back first.
// - The owner mutex makes paging, resizing, replacing and filling the buffer
//   atomic. It nests on one thread (TQORMutexWithOwner): only the outermost
//   lock releases it. GetPixels releases it before returning, so the pointer
//   stays valid only until the buffer is replaced or paged out; paint threads
//   sharing one map coordinate among themselves with per-row mutexes.
// - The texture wrapper never points at a freed buffer: whenever the buffer
//   is replaced, paged out or back in, or re-imported, the wrapper is pointed
//   at the current buffer again (its uploaded texture is let go, so the next
//   draw uploads the current bytes).
// - The helpers-invalid flag starts set, is set by every change notification
//   and cleared only when MakeThumbnail rebuilds the preview texture.
//
// OpenGL work (preview texture, GL texture, drawing with the wrapper) happens
// on the main thread, where the context is current. Thumbnails are snapshots
// cached by size and do not follow later changes.
//
// Files: QORImageMap.cpp (buffer, paging, pixel operations),
// QORImageMap_Files.cpp (image file import and export),
// QORImageMap_Textures.cpp (thumbnails, preview texture, GL texture, wrapper,
// ResizeImageClosest).
#pragma once

#include "KSN_Thingy.h"
#include "QORNewStaticList.h"
#include "QORThreads.h"

#include <cstddef>
#include <cstdint>

class TQORglutTexture;

// How Resize resamples.
enum eQORImageMap_ResizeType {
    QORImageMap_Resize_Bilinear = 0,   // ResizeImage
    QORImageMap_Resize_Nearest = 1,    // PixelResizeImage
};

// Holds an owner mutex for one scope, releasing it only when this scope took it.
class TQORImageMapLock {
public:
    explicit TQORImageMapLock(TQORMutexWithOwner& mutex) : Mutex(mutex), Took(mutex.Lock()) {}
    ~TQORImageMapLock()
    {
        if (Took) Mutex.Unlock();
    }
    TQORImageMapLock(const TQORImageMapLock&) = delete;
    TQORImageMapLock& operator=(const TQORImageMapLock&) = delete;

private:
    TQORMutexWithOwner& Mutex;
    bool Took;
};

class TQORImageMap : public virtual TKSN_Thingy {
public:
    TQORImageMap();

    // [Virtual operations, in slot order]
    // Brings the preview texture up to date when the helpers are invalid; the
    // arguments are not used here (main thread).
    virtual void MakeThumbnail(float* unused1, float* unused2);
    ~TQORImageMap() override;
    // Fetches paged-out pixels back; null for a map without pixels. The
    // pointer is borrowed and valid until the buffer is replaced or paged out.
    virtual unsigned char* GetPixels();
    // The same without taking the owner mutex.
    virtual unsigned char* GetPixelsNoThreadLock();
    // GetPixels(); a map source answers its current layer's pixels instead.
    virtual unsigned char* GetCurrentLayerPixels(bool flag);
    // New, uncleared pixels when any of the three differs (notifies);
    // otherwise nothing happens, a paged-out buffer stays paged out.
    virtual void SetDimensions(int width, int height, char bytesPerPixel);
    // Resamples to a new width and height, same depth (notifies on a change).
    // A depth the resamplers cannot take leaves the map unchanged.
    virtual void Resize(int width, int height, eQORImageMap_ResizeType type);
    virtual void InvalidateHelpers();
    virtual void OnWholeMapChanged();
    // uvMin, uvMax: the touched rectangle in texture coordinates (u then v),
    // not used by a plain map.
    virtual void OnPartialMapChanged(float* uvMin, float* uvMax);
    // Replaces the map with the picture in the file as RGB (3 bytes per
    // pixel); an alpha channel of the file is not read. A file that cannot be
    // read leaves the map unchanged, shows why (error box) and answers false.
    virtual bool ImportFile(const char* path);
    // Writes the map to an image file whose format follows the extension;
    // true when the file was written.
    virtual bool ExportFile(const char* path);
    // As ImportFile, one grey byte (r + g + b) / 3 per pixel.
    virtual bool ImportFileAsGreyscale(const char* path);

    // [Pixels and paging]
    bool ArePixelsInVirtualMemory() const { return VirtualMemoryID != 0; }
    void PushPixelsToVirtualMemory();
    void PopPixelsFromVirtualMemory();
    // With adopt the map takes data (a QORalloc block) as its buffer, otherwise
    // it copies width x height x bytesPerPixel bytes from it. Notifies.
    void CreateWithPixelData(unsigned char* data, int width, int height, char bytesPerPixel, bool adopt);
    // Same size and depth: copies the bytes without notifying; otherwise takes
    // the source's size, depth and bytes (notifies).
    void Copy(TQORImageMap* source);
    // Resamples source into this map's existing buffer at this map's size;
    // only between maps of the same depth. No notification.
    void ResizeFrom(TQORImageMap* source, bool closest);

    // [Pixel operations]
    void ClearToValue(unsigned char value);
    // Writes the first bytes-per-pixel bytes of color into every pixel.
    void ClearToColor(unsigned char* color);
    // color: red, green, blue in 0..1 (only three floats are read); a 4-byte
    // map gets alpha 255.
    void ClearToColor(float* color);
    // Every byte b becomes 255 - b, alpha included. No notification.
    void InvertColors();
    // 4-byte maps only: per pass each alpha becomes the sum of its clipped
    // 3 x 3 neighbourhood divided by 9 (so it falls off at the image edges).
    void BlurAlphaMap(int passes);
    // 4-byte maps only: spreads colour from painted pixels into the fully
    // transparent area around them by one pixel per pass; alpha is kept.
    void BleedColorsInNullAlphaZone(int passes);

    // [Thumbnails]
    // A new thumbnail of that size (bilinear; a 1-byte map gives an inverted
    // RGB thumbnail); the map keeps ownership.
    TQORImageMap* CreateThumbnail(int width, int height);
    // The thumbnail of exactly that size, made when missing and create is set.
    TQORImageMap* GetThumbnail(int width, int height, bool create);
    void DeleteThumbnails();

    // [GL texture] (main thread)
    // Each side: min(limit, smallest power of two not below the map's side);
    // RGB for 1- and 3-byte maps, RGBA for 4-byte maps; other depths and maps
    // without pixels get none. Made anew on every call.
    void MakeGLTexture(int maxWidth, int maxHeight);
    uint32_t GetGLTexure() const { return GLTexture; }
    void FreeGLTexture();
    // GUI texture over the map's own buffer, made on first use.
    TQORglutTexture* GetTextureWrapping();

    // [Read access]
    int GetWidth() const { return Width; }
    int GetHeight() const { return Height; }
    int GetBytesPerPixel() const { return BytesPerPixel; }
    // Bytes of the whole buffer: width x height x bytes per pixel.
    size_t GetPixelBytes() const;
    bool AreHelpersInvalid() const { return HelpersInvalid; }
    uint32_t GetPreviewTexture() const { return PreviewTexture; }
    int GetPreviewTextureWidth() const { return PreviewTextureWidth; }
    int GetPreviewTextureHeight() const { return PreviewTextureHeight; }
    int GetGLTextureWidth() const { return GLTextureWidth; }
    int GetGLTextureHeight() const { return GLTextureHeight; }
    // The resampled pixels last uploaded by MakeGLTexture (null when none).
    const unsigned char* GetGLTexturePixels() const { return GLTexturePixels; }
    TQORMutexWithOwner& GetOwnerMutex() { return OwnerMutex; }

protected:
    // InvalidateHelpers, then OnWholeMapChanged (both through the virtual slots).
    void Notify();
    // Discards a paged-out copy of the pixels.
    void DropVirtualMemoryCopy();
    // Frees the buffer (the pointer becomes null).
    void FreePixels();
    // Points the texture wrapper at the current buffer again.
    void RefreshTextureWrapping();

    int32_t Width = 0;
    int32_t Height = 0;
    unsigned char* Pixels = nullptr;          // QORalloc block; null when absent or paged out
    int8_t BytesPerPixel = 0;
    uint32_t GLTexture = 0;                   // made by MakeGLTexture
    int32_t GLTextureWidth = 0;
    int32_t GLTextureHeight = 0;
    unsigned char* GLTexturePixels = nullptr; // QORalloc block, the last upload
    TQORNewStaticList<TQORImageMap*> Thumbnails{1};   // items owned
    TQORglutTexture* TextureWrapper = nullptr;        // owned
    // RGB copy that the wrapper draws for 1- and 2-byte maps, whose own
    // buffer is too short for the wrapper's RGB reading (QORalloc block).
    unsigned char* WrapperRGBPixels = nullptr;
    TQORMutexWithOwner OwnerMutex;
    uint32_t PreviewTexture = 0;              // made by MakeThumbnail
    int32_t PreviewTextureWidth = 1024;
    int32_t PreviewTextureHeight = 1024;
    bool HelpersInvalid = true;
    uint32_t VirtualMemoryID = 0;             // 0 while the pixels are in memory
};

// Nearest-pixel resampling: destination (j, i) copies source column
// j * srcWidth / dstWidth of row i * srcHeight / dstHeight (truncating
// integer ratios). Depths 1, 3 and 4; another depth shows "The color depth %d
// is not supported by ResizeImageClosest()" and answers false without writing.
bool ResizeImageClosest(unsigned char* dst, int dstWidth, int dstHeight, unsigned char* src, int srcWidth,
                        int srcHeight, int bytesPerPixel);

// TKSN_Application::GetBackgroundGridColorsForTextures sits above this
// library; start-up assigns a function that writes the
// two checkerboard colours (3 bytes each) drawn behind transparent previews.
// Unassigned, both colours are black, as the application's are before its
// settings arrive.
using TQORImageMap_GridColorsFunc = void (*)(unsigned char* first, unsigned char* second);
void QORImageMap_AssignBackgroundGridColors(TQORImageMap_GridColorsFunc func);
