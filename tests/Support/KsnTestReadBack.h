// The back buffer of the current GL context read back as RGBA bytes, and one
// pixel of such a read with y counted down from the top of the window.
#pragma once

#include <GL/gl.h>

#include <array>
#include <cstddef>
#include <vector>

// Rows bottom first, as glReadPixels gives them; the pixels are resized to width × height.
inline void KsnReadBackBuffer(std::vector<unsigned char>& pixels, int width, int height)
{
    pixels.assign(size_t(width * height * 4), 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
}

// The RGB of window pixel (x, y), y down from the top, in a read of width × height.
inline std::array<int, 3> KsnReadBackPixel(const std::vector<unsigned char>& pixels, int width, int height, int x,
                                           int y)
{
    const unsigned char* p = &pixels[size_t(((height - 1 - y) * width + x) * 4)];
    return {p[0], p[1], p[2]};
}
