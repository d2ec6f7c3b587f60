// Image files in and out, and the two resamplers.
//
// Every image that enters or leaves the program as a file passes through
// GetMapFromFile and SaveMapToFile; decoding and encoding are left to wxImage
// with all of its handlers registered (PNG, JPEG, TIFF, BMP, TGA and the rest).
//
// Pixel buffers: width x height pixels of 1 (grey), 3 (RGB) or 4 (RGBA) bytes,
// packed rows without padding, channel order R, G, B, A. Row 0 is the BOTTOM
// row of the picture (OpenGL order); loading and saving flip against the
// file's top-down order. Buffers handed out are allocated with QORalloc and
// are the caller's to QORfree.
//
// Loaded sizes are clamped to 2..20000 map pixels on each side (resampled
// bilinearly when the clamp or the power-of-two rounding changes them).
#pragma once

// Registers every wxImage handler (BMP included) unless they are registered;
// any number of calls, from any thread.
// The load and save functions call it themselves, so callers need not.
void QORImage_RegisterHandlers();

// Makes a failed wxWidgets assertion a line of the debug log (OS.DebugMessage)
// instead of the toolkit's modal box: an image file with an absurd header
// trips one inside wxImage, and the load then simply fails, so the caller
// reports the file as unreadable. Installed by QORImage_RegisterHandlers and
// at the program's start; any number of calls.
void QORImage_InstallAssertHandler();

// Loads path into a new buffer of 3 (rgbOnly) or 4 bytes per pixel. On success
// *pixels receives the new buffer (the old pointer is not freed) and *width,
// *height its size; with powerOfTwo each side is rounded up to a power of two.
// On failure *pixels, *width and *height are untouched and no message is shown.
// aspect (may be null) receives *width / *height after the call, 1 when the
// height is below 1, also when loading failed. The fifth and seventh
// arguments are accepted and ignored.
bool GetMapFromFile(const char* path, unsigned char** pixels, int* width, int* height, bool,
                    float* aspect, bool, bool rgbOnly, bool powerOfTwo);

// The one rule of valid map sizes, for creating, importing and reading maps:
// each side 1..QORMaxMapSide map pixels.
inline constexpr int QORMaxMapSide = 20000;
inline bool QORImage_IsMapSizeValid(int width, int height)
{
    return width >= 1 && height >= 1 && width <= QORMaxMapSide && height <= QORMaxMapSide;
}

// Loads path at exactly the size it holds, into a new buffer of 3 (rgbOnly)
// or 4 bytes per pixel; unlike GetMapFromFile nothing is clamped or
// resampled, so a map reloads at the size it was saved with. False, with the
// outputs untouched, when the file cannot be read or its size breaks
// QORImage_IsMapSizeValid.
bool GetMapFromFileAtItsSize(const char* path, unsigned char** pixels, int* width, int* height, bool rgbOnly);

// Writes a buffer of 4 (withAlpha) or 3 bytes per pixel; the format follows
// the file name's extension. False when wxImage cannot save it.
bool SaveMapToFile(const char* path, unsigned char* pixels, int width, int height, bool withAlpha);

// Bilinear resampling of src into dst; depth 1, 3 or 4 bytes per pixel.
// Another depth shows "The color depth %d is not supported by ResizeImage()"
// and returns false without writing. Same-size resampling copies the source.
bool ResizeImage(unsigned char* dst, int dstWidth, int dstHeight, const unsigned char* src, int srcWidth,
                 int srcHeight, int depth);
// Nearest-neighbour resampling with the same arguments, result and errors.
bool PixelResizeImage(unsigned char* dst, int dstWidth, int dstHeight, const unsigned char* src, int srcWidth,
                      int srcHeight, int depth);

// One bilinear sample of a 3-byte (RGB) or 1-byte image at the normalised
// position (u, v), 0..1 over the whole image, no half-pixel offset; positions
// outside are clamped to the border pixels.
void GetColorFromMap_uchar_RGB(unsigned char* out, const unsigned char* src, int width, int height, float u, float v);
void GetColorFromMap_uchar_Greyscale(unsigned char* out, const unsigned char* src, int width, int height, float u,
                                     float v);
