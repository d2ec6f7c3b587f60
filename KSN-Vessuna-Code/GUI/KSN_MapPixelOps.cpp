#include "KSN_MapPixelOps.h"

#include <algorithm>
#include <cstdint>

void KSN_NormaliseMapPixels(unsigned char* rgb, const unsigned char* mask, size_t pixels)
{
    int low = 255, high = 0;
    if (mask) {
        for (size_t i = 0; i < pixels; ++i) {
            if (!mask[i]) continue;
            const unsigned char* p = rgb + 3 * i;
            low = std::min({low, int(p[0]), int(p[1]), int(p[2])});
            high = std::max({high, int(p[0]), int(p[1]), int(p[2])});
        }
    } else {
        unsigned char lo = 255, hi = 0;
        for (size_t i = 0; i < 3 * pixels; ++i) {
            lo = std::min(lo, rgb[i]);
            hi = std::max(hi, rgb[i]);
        }
        low = lo;
        high = hi;
    }
    if (high <= low) return;
    // One division per value instead of one per byte.
    unsigned char table[256];
    for (int v = 0; v < 256; ++v) table[v] = (unsigned char)std::clamp((v - low) * 255 / (high - low), 0, 255);
    if (mask) {
        for (size_t i = 0; i < pixels; ++i) {
            if (!mask[i]) continue;
            unsigned char* p = rgb + 3 * i;
            p[0] = table[p[0]];
            p[1] = table[p[1]];
            p[2] = table[p[2]];
        }
    } else {
        for (size_t i = 0; i < 3 * pixels; ++i) rgb[i] = table[rgb[i]];
    }
}

void KSN_InvertMapPixels(unsigned char* rgb, size_t pixels)
{
    for (size_t i = 0; i < 3 * pixels; ++i) rgb[i] = (unsigned char)(255 - rgb[i]);
}

void KSN_GreyMapPixels(unsigned char* rgb, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, rgb += 3) {
        const unsigned sum = unsigned(rgb[0]) + rgb[1] + rgb[2];
        // sum / 3 for sums up to 765, without a division.
        const auto v = (unsigned char)((sum * 43691u) >> 17);
        rgb[0] = rgb[1] = rgb[2] = v;
    }
}

void KSN_FoldAlphaMapPixels(unsigned char* rgb, const unsigned char* mask, size_t pixels, const int base[3])
{
    for (size_t i = 0; i < pixels; ++i, rgb += 3) {
        const int m = mask[i];
        for (int c = 0; c < 3; ++c) rgb[c] = (unsigned char)(base[c] + (int(rgb[c]) - base[c]) * m / 255);
    }
}
