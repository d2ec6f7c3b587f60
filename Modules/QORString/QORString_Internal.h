// Helpers of the QORString library that no other library includes.
#pragma once

#include <cstdint>

// The next raw 30-bit value of the shared generator (seeds itself like QORrandom).
// Exposed so that the generator's sequence can be checked value by value.
int32_t QORRandomRaw();
