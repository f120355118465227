#include "engine/RandGen.h"

#include <cmath>

namespace vestiga {

namespace {

// Slot distances of the additive-feedback recurrence r[i] = r[i-31] + r[i-3]
// in a ring of 34 values: r[i-31] sits 3 slots ahead of slot i, r[i-3] 31.
constexpr int kRing = 34;

inline int ringAdd(int i, int d) {
    i += d;
    return i >= kRing ? i - kRing : i;
}

} // namespace

RandGen::RandGen(uint32_t seed) { reseed(seed); }

void RandGen::reseed(uint32_t seed) {
    // The C library maps the seed 0 to 1.
    if (seed == 0)
        seed = 1;
    // r[0] = seed; r[i] = 16807 * r[i-1] mod (2^31 - 1) for i = 1 .. 30, in
    // Schrage's form (16807 = 2^31-1 / 127773 remainder 2836) so that no
    // product overflows 32 bits; a negative result is brought back by adding
    // the modulus. The signed arithmetic matters for seeds above 2^31 - 1.
    int32_t word = static_cast<int32_t>(seed);
    r_[0] = word;
    for (int i = 1; i < 31; ++i) {
        const long hi = word / 127773;
        const long lo = word % 127773;
        long w = 16807 * lo - 2836 * hi;
        if (w < 0)
            w += 2147483647;
        word = static_cast<int32_t>(w);
        r_[i] = word;
    }
    // r[31 .. 33] = r[0 .. 2].
    for (int i = 31; i < kRing; ++i)
        r_[i] = r_[i - 31];
    i_ = 0; // slot of r[34]
    // The first 310 values of the recurrence (r[34] .. r[343]) are discarded.
    for (int k = 0; k < 310; ++k)
        next();
    drawn_ = 0;
}

int32_t RandGen::next() {
    // r[i] = r[i-31] + r[i-3] modulo 2^32; the output drops the lowest bit.
    const uint32_t v = static_cast<uint32_t>(r_[ringAdd(i_, 3)]) + static_cast<uint32_t>(r_[ringAdd(i_, 31)]);
    r_[i_] = static_cast<int32_t>(v);
    i_ = ringAdd(i_, 1);
    ++drawn_;
    return static_cast<int32_t>(v >> 1);
}

void RandGen::fill(int32_t* out, std::size_t n) {
    // next() without a call per value: the ring position stays in a register.
    int i = i_;
    for (std::size_t k = 0; k < n; ++k) {
        const uint32_t v = static_cast<uint32_t>(r_[ringAdd(i, 3)]) + static_cast<uint32_t>(r_[ringAdd(i, 31)]);
        r_[i] = static_cast<int32_t>(v);
        i = ringAdd(i, 1);
        out[k] = static_cast<int32_t>(v >> 1);
    }
    i_ = i;
    drawn_ += n;
}

double boxMullerFromDraws(int32_t r1, int32_t r2) {
    // A radius draw of 0 would give ln 0 = -infinity; it counts as a draw of 1.
    if (r1 == 0)
        r1 = 1;
    const double a = std::sqrt(-2.0 * std::log(r1 / 2147483647.0));
    const double b = std::cos(r2 * 6.283185307179586 / 2147483647.0);
    return a * b;
}

double boxMuller(RandGen& rng) {
    const int32_t r1 = rng.next(); // radius draw first
    const int32_t r2 = rng.next();
    return boxMullerFromDraws(r1, r2);
}

} // namespace vestiga
