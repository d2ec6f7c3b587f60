// The program's one random generator: additive lagged-Fibonacci, 30-bit values,
// lags 24 and 55 (x[j] += x[k] with k running 31 ahead of j, both modulo 55).
//
// The state is shared by every thread that draws. A small lock keeps the two
// indices in range when draws interleave; without it two threads could both
// step an index past 54 and write outside the state. The sequence each
// thread sees is still only repeatable while one thread draws.
#include <ctime>
#include <mutex>

#include "QORString.h"
#include "QORString_Internal.h"

namespace {

constexpr uint32_t kMask = (1u << 30) - 1;   // 1073741823
constexpr int kLength = 55;

struct TRandomState {
    uint32_t x[kLength] = {};
    int j = 0;
    int k = 0;
    bool seeded = false;
    std::mutex mutex;
};

TRandomState& State()
{
    static TRandomState state;
    return state;
}

void SeedLocked(TRandomState& s, uint32_t seed)
{
    s.x[0] = seed & kMask;
    s.x[1] = 1;
    for (int i = 2; i < kLength; ++i)
        s.x[i] = (s.x[i - 1] + s.x[i - 2]) & kMask;
    s.j = 0;
    s.k = 31;
    s.seeded = true;
}

void EnsureSeededLocked(TRandomState& s)
{
    if (!s.seeded)
        SeedLocked(s, uint32_t(std::time(nullptr)));
}

uint32_t NextLocked(TRandomState& s)
{
    uint32_t v = (s.x[s.j] + s.x[s.k]) & kMask;
    s.x[s.j] = v;
    if (++s.j == kLength) s.j = 0;
    if (++s.k == kLength) s.k = 0;
    return v;
}

} // namespace

void QORSetRandomSeed(int32_t seed)
{
    TRandomState& s = State();
    std::scoped_lock lock(s.mutex);
    SeedLocked(s, uint32_t(seed));
}

int32_t QORrandom(int32_t n)
{
    TRandomState& s = State();
    std::scoped_lock lock(s.mutex);
    EnsureSeededLocked(s);
    if (n < 2)
        return 0;
    uint64_t m = 2;
    while (m < uint64_t(n))
        m <<= 1;
    // Rejection keeps every result equally likely; the low 6 bits of the
    // lagged-Fibonacci values are the weakest, so they are dropped.
    for (;;) {
        uint32_t r = (NextLocked(s) >> 6) & uint32_t(m - 1);
        if (r < uint32_t(n))
            return int32_t(r);
    }
}

int32_t QORRandomRaw()
{
    TRandomState& s = State();
    std::scoped_lock lock(s.mutex);
    EnsureSeededLocked(s);
    return int32_t(NextLocked(s));
}
