#include "KSN_MapPixelOps.h"

#include <algorithm>
#include <cstdint>

// The loops are written for the vectoriser: plain index arithmetic, no
// tables, no branches. Each is built twice, for AVX2 and for the baseline,
// and the loader picks the one the processor runs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__)
#define KSN_PIXEL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KSN_PIXEL_CLONES
#endif

namespace {

// floor(n / d) for 0 <= n <= 65025 and 2 <= d <= 255: an estimate from a
// 16-bit reciprocal is never more than one too small, and one step mends it.
inline uint16_t DivideSmall(uint16_t n, uint16_t d, uint16_t reciprocal)
{
    auto q = uint16_t((uint32_t(n) * reciprocal) >> 16);
    q = uint16_t(q + (uint16_t(n - q * d) >= d ? 1 : 0));
    return q;
}

// b + ((c - b) * m) / 255 with the division truncating toward zero, in
// 16-bit steps: |c - b| * m <= 65025, and t / 255 == (t + 1 + (t >> 8)) >> 8
// over that range.
inline unsigned char Fold(unsigned char c, unsigned char b, unsigned char m)
{
    const bool up = c >= b;
    const auto t = uint16_t(uint16_t(up ? c - b : b - c) * m);
    const auto q = uint16_t(uint16_t(t + 1 + (t >> 8)) >> 8);
    return (unsigned char)(up ? b + q : b - q);
}

KSN_PIXEL_CLONES void StretchBytes(unsigned char* bytes, size_t count, uint32_t low, uint32_t range)
{
    if (range == 1) {
        for (size_t i = 0; i < count; ++i) bytes[i] = (unsigned char)((bytes[i] - low) * 255u);
        return;
    }
    const auto reciprocal = uint16_t(65536u / range), d = uint16_t(range), lo = uint16_t(low);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = (unsigned char)DivideSmall(uint16_t((bytes[i] - lo) * 255), d, reciprocal);
}

} // namespace

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
    if (!mask) {
        StretchBytes(rgb, 3 * pixels, uint32_t(low), uint32_t(high - low));
        return;
    }
    const auto range = uint16_t(high - low);
    const auto reciprocal = uint16_t(range > 1 ? 65536u / range : 0u);
    for (size_t i = 0; i < pixels; ++i) {
        if (!mask[i]) continue;
        unsigned char* p = rgb + 3 * i;
        for (int c = 0; c < 3; ++c) {
            const auto n = uint16_t((p[c] - low) * 255);
            p[c] = (unsigned char)(range == 1 ? n : DivideSmall(n, range, reciprocal));
        }
    }
}

KSN_PIXEL_CLONES void KSN_InvertMapPixels(unsigned char* rgb, size_t pixels)
{
    for (size_t i = 0; i < 3 * pixels; ++i) rgb[i] = (unsigned char)(255 - rgb[i]);
}

KSN_PIXEL_CLONES void KSN_GreyMapPixels(unsigned char* rgb, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i) {
        const auto sum = uint16_t(rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2]);
        // sum / 3 for sums up to 765: the high half of a 16-bit product.
        const auto v = (unsigned char)((uint32_t(sum) * 21846u) >> 16);
        rgb[3 * i] = v;
        rgb[3 * i + 1] = v;
        rgb[3 * i + 2] = v;
    }
}

KSN_PIXEL_CLONES void KSN_FoldAlphaMapPixels(unsigned char* rgb, const unsigned char* mask, size_t pixels,
                                             const int base[3])
{
    const auto b0 = (unsigned char)std::clamp(base[0], 0, 255), b1 = (unsigned char)std::clamp(base[1], 0, 255),
               b2 = (unsigned char)std::clamp(base[2], 0, 255);
    for (size_t i = 0; i < pixels; ++i) {
        const unsigned char m = mask[i];
        rgb[3 * i] = Fold(rgb[3 * i], b0, m);
        rgb[3 * i + 1] = Fold(rgb[3 * i + 1], b1, m);
        rgb[3 * i + 2] = Fold(rgb[3 * i + 2], b2, m);
    }
}
