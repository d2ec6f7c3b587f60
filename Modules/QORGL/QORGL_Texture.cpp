// Named GUI textures: TQORglutTexture and the global list they are found in.
//
// A texture is uploaded on its first Set, from pixels it usually owns (the GUI
// graphics loader hands them over); image maps instead point a texture at a
// buffer they keep (external pixels) and may bring their own GL name.
#include "QORGL.h"

#include "QORMatrix.h"
#include "QORMemory.h"
#include "QORString.h"

#include <cstring>
#include <vector>

TQORNewStaticList<TQORglutTexture*>* QORglut_Texture_List = nullptr;

// [Upload] --------------------------------------------------------------------

void QORglut_SetActualTexture(unsigned char* pixels, int width, int height, int filter, bool grey, bool compress)
{
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    // RGB rows of any width are packed; the default alignment of 4 would skew them.
    GLint savedAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &savedAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (!grey) {
        const GLint internal = compress && QORglut_TextureCompressionSupported ? GL_COMPRESSED_RGB : GL_RGB;
        glTexImage2D(GL_TEXTURE_2D, 0, internal, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    } else {
        const size_t count = size_t(width < 0 ? 0 : width) * size_t(height < 0 ? 0 : height);
        std::vector<unsigned char> rgb(count * 3);
        for (size_t i = 0; i < count; ++i) rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = pixels[i];
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, savedAlignment);
}

// [TQORglutTexture] -----------------------------------------------------------

TQORglutTexture::TQORglutTexture() = default;

TQORglutTexture::TQORglutTexture(unsigned char* pixels_, int width_, int height_, bool alpha)
    : width(width_), height(height_), pixels(pixels_), hasAlpha(alpha)
{
}

TQORglutTexture::~TQORglutTexture()
{
    ReleaseTexture();
    ReleasePixels();
}

void TQORglutTexture::ReleaseTexture()
{
    if (glTexture != 0 && !externalTexture) glDeleteTextures(1, &glTexture);
    glTexture = 0;
}

void TQORglutTexture::ReleasePixels()
{
    if (pixels && !externalPixels) QORfree(pixels, 0);
    pixels = nullptr;
}

void TQORglutTexture::SetupWithExternalImage(unsigned char* pixels_, int width_, int height_,
                                             unsigned int externalTexture_, bool alpha)
{
    // The texture and buffer it had so far are its own; let them go first.
    ReleaseTexture();
    ReleasePixels();
    pixels = pixels_;
    width = width_;
    height = height_;
    hasAlpha = alpha;
    externalPixels = true;
    externalTexture = externalTexture_ != 0;
    glTexture = externalTexture_;
    filter = GL_NEAREST;
    blend = true;
    compress = false;
}

void TQORglutTexture::Set()
{
    set = true;
    glEnable(GL_TEXTURE_2D);
    if (hasAlpha && blend) {
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    if (glTexture != 0 || externalTexture) {
        glBindTexture(GL_TEXTURE_2D, glTexture);
        return;
    }
    glGenTextures(1, &glTexture);
    glBindTexture(GL_TEXTURE_2D, glTexture);

    unsigned char* upload = pixels;
    int uploadWidth = width;
    int uploadHeight = height;
    std::vector<unsigned char> padded;
    const int depth = GetColorDepth();
    if (padToPowerOfTwo && pixels &&
        (GetHightestPowerOf2(width) != width || GetHightestPowerOf2(height) != height)) {
        uploadWidth = GetHightestPowerOf2(width);
        uploadHeight = GetHightestPowerOf2(height);
        padded.assign(size_t(uploadWidth) * size_t(uploadHeight) * size_t(depth), 0);
        const size_t srcRow = size_t(width) * size_t(depth);
        for (int row = 0; row < height; ++row)
            std::memcpy(padded.data() + size_t(row) * size_t(uploadWidth) * size_t(depth),
                        pixels + size_t(row) * srcRow, srcRow);
        upload = padded.data();
    }

    if (hasAlpha) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, uploadWidth, uploadHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, upload);
    } else {
        QORglut_SetActualTexture(upload, uploadWidth, uploadHeight, filter, false, compress);
    }
}

void TQORglutTexture::Remove()
{
    glDisable(GL_TEXTURE_2D);
    if (hasAlpha && blend) glDisable(GL_BLEND);
}

void TQORglutTexture::Unbind() { ReleaseTexture(); }

void TQORglutTexture::ConvertToRGB()
{
    if (!hasAlpha || externalPixels) return;
    ReleaseTexture();
    if (pixels) {
        const size_t count = size_t(width < 0 ? 0 : width) * size_t(height < 0 ? 0 : height);
        auto* rgb = static_cast<unsigned char*>(QORalloc(count * 3, false));
        for (size_t i = 0; i < count; ++i) std::memcpy(rgb + 3 * i, pixels + 4 * i, 3);
        QORfree(pixels, 0);
        pixels = rgb;
    }
    hasAlpha = false;
    blend = false;
}

// [Named texture list] --------------------------------------------------------

void QORglut_Textures_Init()
{
    if (!QORglut_Texture_List) QORglut_Texture_List = new TQORNewStaticList<TQORglutTexture*>(1);
}

void QORglut_Textures_AddToList(const char* name, unsigned char* pixels, int width, int height, bool alpha)
{
    if (!QORglut_Texture_List) {
        // The caller handed the buffer over; with no list to keep it, free it here.
        if (pixels) QORfree(pixels, 0);
        return;
    }
    auto* texture = new TQORglutTexture(pixels, width, height, alpha);
    // Through "%s": a file name may carry a "%".
    texture->SetName("%s", name ? name : "");
    QORglut_Texture_List->Add(texture);
}

TQORglutTexture* QORglut_Textures_GetTextureFromList(const char* name)
{
    if (!QORglut_Texture_List || !name) return nullptr;
    for (TQORglutTexture* texture : *QORglut_Texture_List) {
        const char* own = texture->GetName();
        if (own && own[0] != '\0' && QORstrcmpi(own, name) == 0) return texture;
    }
    return nullptr;
}

void QORglut_Textures_Cleanup()
{
    if (!QORglut_Texture_List) return;
    for (TQORglutTexture* texture : *QORglut_Texture_List) delete texture;
    delete QORglut_Texture_List;
    QORglut_Texture_List = nullptr;
}
