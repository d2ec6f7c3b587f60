// The grid settings record that the project owns: ten 32-bit settings kept
// with the project and deleted with it. Nothing reads them yet; they keep
// their defaults so that a later grid display starts from known values.
#pragma once

#include <cstdint>

class TKSN_Grids {
public:
    int32_t Values0[4] = {0, 1, 2, 1};
    float Spacing = 1.0f;
    int32_t Values1[5] = {20, 0, 0, 0, 0};
};
