// OpenGL 1.x building blocks shared by the GUI toolkit, the viewports and the renderer.
//
// - TKSN_glDisplayList: one display list whose validity is tied to the global
//   rolling counter KSN_glDisplayList_RollingValidCounter, so that every cached
//   list in the program goes stale in one step (InvalidateAll).
// - QORglResetState and thin wrappers around texture names and pixel transfers,
//   among them a draw-pixels path that picks the widest unpack alignment the
//   data allows.
// - TQORGrabTexture: copies a rectangle of the frame buffer into power-of-two
//   tiles (or one texture where the driver takes any size) and draws it back.
// - TQORglutTexture and the named texture list QORglut_Texture_List: every GUI
//   image is a named texture, found by name without regard to case at the
//   moment it is drawn.
//
// Everything here runs on the thread that owns the GL context. Pixel buffers
// are packed rows with row 0 at the bottom, 3 (RGB) or 4 (RGBA) bytes per pixel.
#pragma once

#include "KSN_Thingy.h"
#include "QORNewStaticList.h"

#include <GL/gl.h>

#include <atomic>
#include <cstdint>

// [Display lists] -------------------------------------------------------------

// Bumped by InvalidateAll; a list compiled under an older value is stale.
extern std::atomic<int32_t> KSN_glDisplayList_RollingValidCounter;

class TKSN_glDisplayList {
public:
    TKSN_glDisplayList();
    ~TKSN_glDisplayList();
    TKSN_glDisplayList(const TKSN_glDisplayList&) = delete;
    TKSN_glDisplayList& operator=(const TKSN_glDisplayList&) = delete;

    // Deletes the old list, makes a new one and starts compiling (not executing) it.
    void BeginCompile();
    // Ends the list and stamps it with the current counter.
    void EndCompile();
    // Calls a current list and returns true; a stale list is deleted and false
    // returned, so that the caller compiles it again.
    bool CallList();
    // CallList's test without calling; a stale list is deleted.
    bool IsValid();
    void Invalidate();
    // Makes every existing list stale at once.
    static void InvalidateAll();

private:
    int32_t validityStamp;
    int32_t listName = 0; // 0 = none
};

// [GL state and pixels] -------------------------------------------------------

// The known state the GUI and each frame start from: white colour, texturing,
// blending, depth, lighting, fog, culling, stipples and the rest off, neutral
// pixel transfer, identity texture/projection/modelview (modelview current).
void QORglResetState();

void QORglGenTextures(GLsizei count, GLuint* names);
void QORglBindTexture(GLenum target, GLuint name);
void QORglDeleteTextures(GLsizei count, const GLuint* names);
void QORglReadPixels(int x, int y, int width, int height, int format, int type, void* pixels, bool);

// Draws packed rows at the current raster position. Widths that are a multiple
// of 8 at an 8-byte aligned address take the aligned path (RGB or RGBA only;
// another format warns "Only RGB and RGBA are supported by QORglDrawPixels" and
// draws nothing). The last argument is not used.
void QORglDrawPixels(int width, int height, int format, int type, void* pixels, bool);
// Draws with the widest unpack alignment (8, 4, 2, 1) that the data address and
// row length allow, falling back while OpenGL refuses it.
void QORglDrawPixels2(int width, int height, int format, int type, void* pixels, bool);
// A width that is a multiple of 8 hands back src; otherwise the rows are copied
// into a scratch buffer owned here (valid until the next call), padded with
// zero pixels to the next multiple of 8, and the padded width is returned.
void GetPixelsWithWidthRoundedUpToMultipleOf8(unsigned char* src, int width, int height, int bytesPerPixel,
                                              unsigned char*& out, int& outWidth, int& outHeight);
// Puts the raster position x, y window pixels away from the current
// projection's origin, also where that lies outside the viewport (a valid
// position at the origin, then moved with an empty bitmap).
void QORglRasterPos2i_For_DrawPixels(int x, int y);
// Frees the scratch buffer of the draw-pixels path (at exit).
void QORglut_Ext_Clean();

// [Frame-buffer grabs] --------------------------------------------------------

// By design nothing sets it (non-power-of-two support is not probed), so every
// grab works with power-of-two tiles.
extern bool QORglut_NonPowerfTwoSupported;
// Set by the OpenGL driver test when compressed textures work.
extern bool QORglut_TextureCompressionSupported;

// TODO(stub): stands for QORglutGetWindowHeight() of the GLUT-like window layer,
// which sits above this module; start-up assigns a function returning the
// canvas height in pixels. Unassigned, the window height counts as 0.
void QORglut_AssignGetWindowHeight(int (*getWindowHeight)());
// The assigned function's answer (0 when none is assigned).
int QORglut_GetAssignedWindowHeight();

// One tile of a grab, in pixels relative to the rectangle's lower left corner.
struct TQOR_SubDiv_Rect_To_Power_Of_2_Node {
    int x = 0, y = 0, width = 0, height = 0;
    GLuint texture = 0; // 0 = none yet
};

// Appends power-of-two tiles (each side 32 or more, at most maxWidth x maxHeight)
// that cover the rectangle, row strips first; the caller owns the new nodes.
// Tiles narrower than 32 are raised to 32, so the last ones may reach past it.
void SubdivideRectToPowerOfTwo(TQORNewStaticList<TQOR_SubDiv_Rect_To_Power_Of_2_Node*>& list, int x, int y,
                               int width, int height, int maxWidth, int maxHeight);

class TQORGrabTexture {
public:
    TQORGrabTexture();
    ~TQORGrabTexture();
    TQORGrabTexture(const TQORGrabTexture&) = delete;
    TQORGrabTexture& operator=(const TQORGrabTexture&) = delete;

    // Copies the window rectangle (y measured from the top) into the textures;
    // a grab of the same size reuses them, another size rebuilds them.
    void Get(int x, int y, int width, int height);
    // Draws a valid grab back into the same rectangle.
    void Draw();
    bool IsValid() const { return valid; }
    // Marks it to be grabbed again; the textures stay.
    void Invalidate() { valid = false; }
    // Deletes the textures and tiles.
    void Clean();

    int GetMethod() const { return method; }
    const TQORNewStaticList<TQOR_SubDiv_Rect_To_Power_Of_2_Node*>& GetTiles() const { return tiles; }

private:
    void SetViewportToRectangle() const;
    void GrabSingleTexture();
    void GrabTiles();

    int textureWidth = 0, textureHeight = 0;
    int grabX = 0, grabY = 0, grabWidth = 0, grabHeight = 0;
    GLuint singleTexture = 0;
    int method; // 1 one texture, 2 power-of-two tiles
    TQORNewStaticList<TQOR_SubDiv_Rect_To_Power_Of_2_Node*> tiles;
    bool valid = false;
};

// [Named textures] ------------------------------------------------------------

// A GUI image as a texture, uploaded on its first Set. The thingy name is the
// texture's name. Owns its pixels and GL texture unless told they are external.
class TQORglutTexture : public virtual TKSN_Thingy {
public:
    TQORglutTexture();
    // Takes ownership of pixels (QORalloc'd, rows bottom-up, RGBA when alpha).
    TQORglutTexture(unsigned char* pixels, int width, int height, bool alpha);
    ~TQORglutTexture() override;

    // Draws a buffer owned elsewhere (never freed here); a non-zero
    // externalTexture is used as the GL name and never generated or deleted here.
    void SetupWithExternalImage(unsigned char* pixels, int width, int height, unsigned int externalTexture,
                                bool alpha);
    // Makes the texture current for drawing, uploading it first when needed.
    // Pair every Set with a Remove after the drawing.
    void Set();
    void Remove();
    // Forgets the GL texture (deleting it unless external); the next Set uploads again.
    void Unbind();
    // Drops the alpha of an own RGBA buffer; the texture becomes RGB without blending.
    void ConvertToRGB();
    int GetColorDepth() const { return hasAlpha ? 4 : 3; }

    int GetWidth() const { return width; }
    int GetHeight() const { return height; }
    unsigned char* GetPixels() const { return pixels; }
    bool HasAlpha() const { return hasAlpha; }
    GLuint GetGLTexture() const { return glTexture; }
    bool IsSet() const { return set; }
    bool GetBlend() const { return blend; }
    void SetBlend(bool on) { blend = on; }
    bool GetPadToPowerOfTwo() const { return padToPowerOfTwo; }
    void SetPadToPowerOfTwo(bool on) { padToPowerOfTwo = on; }
    bool GetCompress() const { return compress; }
    void SetCompress(bool on) { compress = on; }
    GLint GetFilter() const { return filter; }
    void SetFilter(GLint f) { filter = f; }
    float GetScale() const { return scale; }
    void SetScale(float s) { scale = s; }

private:
    void ReleaseTexture();
    void ReleasePixels();

    int width = 0, height = 0;
    GLuint glTexture = 0; // 0 = not uploaded
    unsigned char* pixels = nullptr;
    bool hasAlpha = false;
    bool externalPixels = false;
    bool externalTexture = false;
    bool set = false;
    bool blend = true;
    bool padToPowerOfTwo = false;
    bool compress = false;
    GLint filter = GL_NEAREST;
    float scale = 1.0f; // kept for users outside this module
};

// Uploads an RGB image (or, with grey, one byte per pixel widened to RGB) into
// the bound texture with the given filter, compressed when asked and supported.
void QORglut_SetActualTexture(unsigned char* pixels, int width, int height, int filter, bool grey, bool compress);

// The named textures in insertion order; null before Init and after Cleanup.
extern TQORNewStaticList<TQORglutTexture*>* QORglut_Texture_List;

void QORglut_Textures_Init();
// Appends a texture that takes over pixels (QORalloc'd); nothing without a list.
void QORglut_Textures_AddToList(const char* name, unsigned char* pixels, int width, int height, bool alpha);
// The first texture whose non-empty name equals name without regard to case; null if none.
TQORglutTexture* QORglut_Textures_GetTextureFromList(const char* name);
// Deletes every texture and the list.
void QORglut_Textures_Cleanup();
