// Frame-buffer grabs into textures, and the power-of-two tiling they use.
//
// A viewport caches its rendered image by grabbing its rectangle; without
// non-power-of-two textures the rectangle is covered with power-of-two tiles
// (each at least 32 pixels a side), and drawing cuts the tiles back to it.
#include "QORGL.h"

#include "QORMatrix.h"

#include <algorithm>

bool QORglut_NonPowerfTwoSupported = false;
bool QORglut_TextureCompressionSupported = false;

namespace {

int (*GetWindowHeightHook)() = nullptr;

int WindowHeight() { return GetWindowHeightHook ? GetWindowHeightHook() : 0; }

} // namespace

int QORglut_GetAssignedWindowHeight() { return WindowHeight(); }

namespace {

constexpr int MinTileSide = 32;

// One tile side: the side itself while it is below the maximum, else the
// maximum, taken down to a power of two and raised to at least 32.
int TileSide(int side, int maxSide)
{
    int tile = side;
    if (maxSide >= 1 && GetHighestPowerOfTwoLessThan(side) >= GetHighestPowerOfTwoLessThan(maxSide)) tile = maxSide;
    tile = GetHighestPowerOfTwoLessThan(tile);
    return std::max(tile, MinTileSide);
}

void SetupGrabTexture(GLuint texture)
{
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

// Copies a frame-buffer area into texture, creating the texture on first use.
void CopyToTexture(GLuint& texture, int x, int y, int width, int height)
{
    if (texture != 0) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, y, width, height);
        return;
    }
    glGenTextures(1, &texture);
    SetupGrabTexture(texture);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, x, y, width, height, 0);
}

void SetWhiteThroughColorMaterial()
{
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

} // namespace

void QORglut_AssignGetWindowHeight(int (*getWindowHeight)()) { GetWindowHeightHook = getWindowHeight; }

void SubdivideRectToPowerOfTwo(TQORNewStaticList<TQOR_SubDiv_Rect_To_Power_Of_2_Node*>& list, int x, int y,
                               int width, int height, int maxWidth, int maxHeight)
{
    if (width < 1 || height < 1) return;
    const int tileWidth = TileSide(width, maxWidth);
    const int tileHeight = TileSide(height, maxHeight);
    list.Add(new TQOR_SubDiv_Rect_To_Power_Of_2_Node{x, y, tileWidth, tileHeight, 0});

    const int restWidth = width - tileWidth;
    const int restHeight = height - tileHeight;
    if (restWidth > 0) SubdivideRectToPowerOfTwo(list, x + tileWidth, y, restWidth, tileHeight, maxWidth, maxHeight);
    if (restHeight > 0)
        SubdivideRectToPowerOfTwo(list, x, y + tileHeight, tileWidth, restHeight, maxWidth, maxHeight);
    if (restWidth > 0 && restHeight > 0)
        SubdivideRectToPowerOfTwo(list, x + tileWidth, y + tileHeight, restWidth, restHeight, maxWidth, maxHeight);
}

TQORGrabTexture::TQORGrabTexture() : method(QORglut_NonPowerfTwoSupported ? 1 : 2), tiles(16) {}

TQORGrabTexture::~TQORGrabTexture() { Clean(); }

void TQORGrabTexture::Clean()
{
    if (singleTexture != 0) glDeleteTextures(1, &singleTexture);
    singleTexture = 0;
    for (TQOR_SubDiv_Rect_To_Power_Of_2_Node* tile : tiles) {
        if (tile->texture != 0) glDeleteTextures(1, &tile->texture);
        delete tile;
    }
    tiles.Clear();
    textureWidth = textureHeight = 0;
    valid = false;
}

void TQORGrabTexture::SetViewportToRectangle() const
{
    glViewport(grabX, WindowHeight() - grabY - grabHeight, grabWidth, grabHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, grabWidth, 0.0, grabHeight, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void TQORGrabTexture::Get(int x, int y, int width, int height)
{
    if (width != textureWidth || height != textureHeight) Clean();
    grabX = x;
    grabY = y;
    grabWidth = width;
    grabHeight = height;
    textureWidth = width;
    textureHeight = height;
    if (width < 1 || height < 1) return;
    SetViewportToRectangle();
    if (method == 1)
        GrabSingleTexture();
    else
        GrabTiles();
    valid = true;
}

void TQORGrabTexture::GrabSingleTexture()
{
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, grabWidth);
    glEnable(GL_TEXTURE_2D);
    CopyToTexture(singleTexture, grabX, WindowHeight() - grabY - grabHeight, grabWidth, grabHeight);
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glDisable(GL_TEXTURE_2D);
}

void TQORGrabTexture::GrabTiles()
{
    if (tiles.IsEmpty()) {
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        SubdivideRectToPowerOfTwo(tiles, 0, 0, grabWidth, grabHeight, maxSize, maxSize);
    }
    const int bottom = WindowHeight() - grabY - grabHeight;
    glEnable(GL_TEXTURE_2D);
    for (TQOR_SubDiv_Rect_To_Power_Of_2_Node* tile : tiles)
        CopyToTexture(tile->texture, grabX + tile->x, bottom + tile->y, tile->width, tile->height);
    glDisable(GL_TEXTURE_2D);
}

void TQORGrabTexture::Draw()
{
    if (!valid) return;
    SetWhiteThroughColorMaterial();
    SetViewportToRectangle();
    glEnable(GL_TEXTURE_2D);
    // The texture environment is unit state, not texture state: make sure the
    // white colour passes the grabbed pixels through unchanged.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    if (method == 1) {
        glBindTexture(GL_TEXTURE_2D, singleTexture);
        glBegin(GL_QUADS);
        glTexCoord2f(0.0f, 0.0f); glVertex2i(0, 0);
        glTexCoord2f(1.0f, 0.0f); glVertex2i(grabWidth, 0);
        glTexCoord2f(1.0f, 1.0f); glVertex2i(grabWidth, grabHeight);
        glTexCoord2f(0.0f, 1.0f); glVertex2i(0, grabHeight);
        glEnd();
    } else {
        for (const TQOR_SubDiv_Rect_To_Power_Of_2_Node* tile : tiles) {
            const int x1 = std::min(grabWidth, tile->x + tile->width);
            const int y1 = std::min(grabHeight, tile->y + tile->height);
            const float s1 = float(x1 - tile->x) / float(tile->width);
            const float t1 = float(y1 - tile->y) / float(tile->height);
            glBindTexture(GL_TEXTURE_2D, tile->texture);
            glBegin(GL_QUADS);
            glTexCoord2f(0.0f, 0.0f); glVertex2i(tile->x, tile->y);
            glTexCoord2f(s1, 0.0f); glVertex2i(x1, tile->y);
            glTexCoord2f(s1, t1); glVertex2i(x1, y1);
            glTexCoord2f(0.0f, t1); glVertex2i(tile->x, y1);
            glEnd();
        }
    }
    glDisable(GL_TEXTURE_2D);
}
