#pragma once
// The tracker's random numbers: the sequence that an unseeded C library rand()
// gives with the GNU C library (its additive-feedback generator, seed 1,
// values 0 .. 2147483647), reproduced here so that a run draws the same numbers
// on every platform. It is an explicit object handed to whoever draws, so two
// trackers in one process cannot disturb each other.
#include <cstddef>
#include <cstdint>

namespace vestiga {

class RandGen {
public:
    explicit RandGen(uint32_t seed = 1);
    void reseed(uint32_t seed);
    // The next value, 0 .. 2147483647, as rand() would return it.
    int32_t next();
    // The next n values into out, as n calls of next() would give them.
    void fill(int32_t* out, std::size_t n);
    // How many values were drawn since the last (re)seeding.
    uint64_t drawn() const { return drawn_; }

private:
    int32_t r_[34];
    int i_ = 0; // ring position of the next output
    uint64_t drawn_ = 0;
};

// One standard normal variate by the Box–Muller rule from two draws, the radius
// draw first: sqrt(-2 ln(r1 / 2147483647.0)) * cos(6.283185307179586 * r2 / 2147483647.0).
// A radius draw of exactly 0 (the generator does produce one, after about 4.7e9
// draws) would make the logarithm infinite; it is taken as a draw of 1.
double boxMuller(RandGen& rng);
// The same variate from two given draws (radius draw r1, angle draw r2).
double boxMullerFromDraws(int32_t r1, int32_t r2);

} // namespace vestiga
