// Reproducible pseudo-random bytes for the map benchmarks: a fixed seed gives
// the same map every run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<unsigned char> KsnNoiseBytes(size_t count, uint32_t seed)
{
    std::vector<unsigned char> bytes(count);
    uint32_t state = seed;
    for (unsigned char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = (unsigned char)(state >> 24);
    }
    return bytes;
}
