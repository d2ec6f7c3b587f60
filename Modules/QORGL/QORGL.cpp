// Display lists, the GL reset state and the pixel-transfer wrappers.
//
// [Index]
//   [Display lists]   TKSN_glDisplayList and the rolling validity counter
//   [State]           QORglResetState and the texture-name wrappers
//   [Draw pixels]     the aligned draw-pixels path and its scratch buffer
#include "QORGL.h"

#include "OS.h"

#include <cstdint>
#include <cstring>
#include <vector>

// [Display lists] -------------------------------------------------------------

std::atomic<int32_t> KSN_glDisplayList_RollingValidCounter{0};

TKSN_glDisplayList::TKSN_glDisplayList() : validityStamp(KSN_glDisplayList_RollingValidCounter.load()) {}

TKSN_glDisplayList::~TKSN_glDisplayList() { Invalidate(); }

void TKSN_glDisplayList::BeginCompile()
{
    Invalidate();
    listName = int32_t(glGenLists(1));
    glNewList(GLuint(listName), GL_COMPILE);
}

void TKSN_glDisplayList::EndCompile()
{
    glEndList();
    validityStamp = KSN_glDisplayList_RollingValidCounter.load();
}

bool TKSN_glDisplayList::IsValid()
{
    if (listName == 0) return false;
    if (validityStamp == KSN_glDisplayList_RollingValidCounter.load()) return true;
    Invalidate();
    return false;
}

bool TKSN_glDisplayList::CallList()
{
    if (!IsValid()) return false;
    glCallList(GLuint(listName));
    return true;
}

void TKSN_glDisplayList::Invalidate()
{
    if (listName == 0) return;
    glDeleteLists(GLuint(listName), 1);
    listName = 0;
}

void TKSN_glDisplayList::InvalidateAll() { KSN_glDisplayList_RollingValidCounter.fetch_add(1); }

// [State] ---------------------------------------------------------------------

void QORglResetState()
{
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const GLfloat ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, ambient);

    static const GLenum off[] = {GL_TEXTURE_1D,   GL_TEXTURE_2D,    GL_COLOR_MATERIAL,  GL_LINE_SMOOTH,
                                 GL_POLYGON_SMOOTH, GL_LINE_STIPPLE, GL_POLYGON_STIPPLE, GL_CULL_FACE,
                                 GL_POLYGON_OFFSET_FILL, GL_ALPHA_TEST, GL_BLEND,     GL_DEPTH_TEST,
                                 GL_DITHER,       GL_FOG,           GL_LIGHTING,        GL_COLOR_LOGIC_OP,
                                 GL_STENCIL_TEST};
    for (GLenum cap : off) glDisable(cap);

    glPixelTransferi(GL_MAP_COLOR, GL_FALSE);
    glPixelTransferf(GL_RED_SCALE, 1.0f);
    glPixelTransferf(GL_GREEN_SCALE, 1.0f);
    glPixelTransferf(GL_BLUE_SCALE, 1.0f);
    glPixelTransferf(GL_ALPHA_SCALE, 1.0f);
    glPixelTransferf(GL_RED_BIAS, 0.0f);
    glPixelTransferf(GL_GREEN_BIAS, 0.0f);
    glPixelTransferf(GL_BLUE_BIAS, 0.0f);
    glPixelTransferf(GL_ALPHA_BIAS, 0.0f);

    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glLineWidth(1.0f);
    glPointSize(1.0f);
}

void QORglGenTextures(GLsizei count, GLuint* names) { glGenTextures(count, names); }
void QORglBindTexture(GLenum target, GLuint name) { glBindTexture(target, name); }
void QORglDeleteTextures(GLsizei count, const GLuint* names) { glDeleteTextures(count, names); }

void QORglReadPixels(int x, int y, int width, int height, int format, int type, void* pixels, bool)
{
    glReadPixels(x, y, width, height, GLenum(format), GLenum(type), pixels);
}

// [Draw pixels] ---------------------------------------------------------------

namespace {

// Scratch rows for widths padded to a multiple of 8; grown, never shrunk.
std::vector<unsigned char> GLDrawPixels_TempPixels;

// Bytes of one pixel for the byte- and float-typed formats the program draws; 0 when unknown.
int BytesPerPixel(int format, int type)
{
    int components = 0;
    switch (format) {
    case GL_RGB: case GL_BGR: components = 3; break;
    case GL_RGBA: case GL_BGRA: components = 4; break;
    case GL_LUMINANCE_ALPHA: components = 2; break;
    case GL_LUMINANCE: case GL_ALPHA: case GL_RED: case GL_GREEN: case GL_BLUE:
    case GL_DEPTH_COMPONENT: components = 1; break;
    default: return 0;
    }
    switch (type) {
    case GL_UNSIGNED_BYTE: case GL_BYTE: return components;
    case GL_UNSIGNED_SHORT: case GL_SHORT: return components * 2;
    case GL_UNSIGNED_INT: case GL_INT: case GL_FLOAT: return components * 4;
    default: return 0;
    }
}

// Restores the unpack alignment a draw changed, whatever path it took.
class TUnpackAlignmentGuard {
public:
    TUnpackAlignmentGuard() { glGetIntegerv(GL_UNPACK_ALIGNMENT, &saved); }
    ~TUnpackAlignmentGuard() { glPixelStorei(GL_UNPACK_ALIGNMENT, saved); }
    TUnpackAlignmentGuard(const TUnpackAlignmentGuard&) = delete;
    TUnpackAlignmentGuard& operator=(const TUnpackAlignmentGuard&) = delete;

private:
    GLint saved = 4;
};

void ClearGLErrors()
{
    // Bounded: a lost context can report errors forever.
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {}
}

} // namespace

void GetPixelsWithWidthRoundedUpToMultipleOf8(unsigned char* src, int width, int height, int bytesPerPixel,
                                              unsigned char*& out, int& outWidth, int& outHeight)
{
    outHeight = height;
    if (width % 8 == 0) {
        out = src;
        outWidth = width;
        return;
    }
    const int rounded = (width + 7) / 8 * 8;
    const size_t srcRow = size_t(width) * size_t(bytesPerPixel);
    const size_t outRow = size_t(rounded) * size_t(bytesPerPixel);
    const size_t needed = outRow * size_t(height < 0 ? 0 : height);
    if (GLDrawPixels_TempPixels.size() < needed) GLDrawPixels_TempPixels.resize(needed);
    unsigned char* scratch = GLDrawPixels_TempPixels.data();
    for (int row = 0; row < height; ++row) {
        unsigned char* dst = scratch + size_t(row) * outRow;
        std::memcpy(dst, src + size_t(row) * srcRow, srcRow);
        std::memset(dst + srcRow, 0, outRow - srcRow);
    }
    out = scratch;
    outWidth = rounded;
}

void QORglDrawPixels(int width, int height, int format, int type, void* pixels, bool flag)
{
    const bool aligned = width % 8 == 0 && reinterpret_cast<uintptr_t>(pixels) % 8 == 0;
    if (!aligned) {
        // Our buffers are packed rows; GL's default alignment of 4 would read
        // rows of an odd byte length skewed and past the end of the buffer.
        TUnpackAlignmentGuard guard;
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glDrawPixels(width, height, GLenum(format), GLenum(type), pixels);
        return;
    }
    if (format != GL_RGB && format != GL_RGBA) {
        OS.WarningMessage("Only RGB and RGBA are supported by QORglDrawPixels");
        return;
    }
    unsigned char* rows = nullptr;
    int roundedWidth = 0, roundedHeight = 0;
    GetPixelsWithWidthRoundedUpToMultipleOf8(static_cast<unsigned char*>(pixels), width, height,
                                             format == GL_RGB ? 3 : 4, rows, roundedWidth, roundedHeight);
    QORglDrawPixels2(roundedWidth, roundedHeight, format, type, rows, flag);
}

void QORglDrawPixels2(int width, int height, int format, int type, void* pixels, bool)
{
    // The alignment must divide the row length too, or GL would skip bytes
    // between rows of a buffer that has none.
    const uintptr_t address = reinterpret_cast<uintptr_t>(pixels);
    const size_t rowBytes = size_t(width < 0 ? 0 : width) * size_t(BytesPerPixel(format, type));
    GLint alignment = 8;
    while (alignment > 1 && (address % uintptr_t(alignment) != 0 || rowBytes % size_t(alignment) != 0))
        alignment /= 2;

    TUnpackAlignmentGuard guard;
    ClearGLErrors();
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    while (glGetError() != GL_NO_ERROR && alignment > 1) {
        alignment /= 2;
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    }
    glDrawPixels(width, height, GLenum(format), GLenum(type), pixels);
    ClearGLErrors();
}

// The move is (+x, +y), not (-x, -y): glBitmap moves the raster position in
// window pixels whatever the projection, so only a move by (+x, +y) puts the
// image at x, y; the other way round it lands mirrored through the origin,
// off the window for every positive position (checked against Mesa).
void QORglRasterPos2i_For_DrawPixels(int x, int y)
{
    glRasterPos2i(0, 0);
    if (x != 0 || y != 0) glBitmap(0, 0, 0.0f, 0.0f, GLfloat(x), GLfloat(y), nullptr);
}

void QORglut_Ext_Clean() { std::vector<unsigned char>().swap(GLDrawPixels_TempPixels); }
