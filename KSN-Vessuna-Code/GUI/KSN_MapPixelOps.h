// The pixel work of the map commands on plain RGB bytes (3 a pixel) and an
// optional alpha mask (1 a pixel, 0 = masked out), kept apart from the
// commands so that it can be measured on its own.
#pragma once

#include <cstddef>

// Stretches the levels of the unmasked pixels so that their darkest channel
// value becomes 0 and their brightest 255: c -> (c - low) * 255 / (high - low),
// truncated. Pixels of a single value are left as they are.
void KSN_NormaliseMapPixels(unsigned char* rgb, const unsigned char* mask, size_t pixels);
// c -> 255 - c for every byte.
void KSN_InvertMapPixels(unsigned char* rgb, size_t pixels);
// R, G, B -> (R + G + B) / 3, truncated.
void KSN_GreyMapPixels(unsigned char* rgb, size_t pixels);
// Folds the mask into the colour: c -> b + ((c - b) * m) / 255 with the
// division truncating toward zero, b the channel of `base` (0..255).
void KSN_FoldAlphaMapPixels(unsigned char* rgb, const unsigned char* mask, size_t pixels, const int base[3]);
