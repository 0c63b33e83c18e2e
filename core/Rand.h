// Seeded random source: the 32-bit Mersenne Twister (MT19937, standard seeding) with the
// float rule u = next32 * 2^-32. Each owner keeps its own instance, so a fixed seed gives the
// same sequence on every run. Not shared between threads.
#pragma once

#include "core/Vec.h"

#include <array>
#include <cstdint>

namespace mirvo {

class Rand {
  public:
    static constexpr uint32_t kDefaultSeed = 5489u;

    explicit Rand(uint32_t seedValue = kDefaultSeed) { seed(seedValue); }

    void seed(uint32_t seedValue);

    // The next raw 32-bit output of the generator.
    uint32_t nextUint();
    // A non-negative int from the top 31 bits of one output.
    int32_t nextInt();
    // Uniform in [0, max); 0 when max <= 0.
    int32_t nextInt(int32_t max);
    // Uniform in [min, max); min when max <= min.
    int32_t nextInt(int32_t min, int32_t max);
    bool nextBool() { return (nextUint() & 1u) != 0; }

    // One uniform draw in [0, 1).
    float nextFloat() { return toUnitFloat(nextUint()); }
    // min + (max - min) * u, from one uniform draw.
    float nextFloat(float min, float max) { return min + (max - min) * nextFloat(); }
    float nextFloat(float max) { return max * nextFloat(); }

    // A point on the unit sphere from two uniform draws (angle first, then height).
    Vec3f randVec3f();
    // A point on the unit circle from one uniform draw.
    Vec2f randVec2f();

    // The float rule: bits converted to float, times 2^-32. The conversion rounds to 24 bits,
    // so the top 128 outputs would round up to exactly 1; they are held just below 1 to keep
    // every draw (and every range draw) inside its half-open interval.
    static float toUnitFloat(uint32_t bits);

  private:
    static constexpr int kStateSize = 624;

    void twist();

    std::array<uint32_t, kStateSize> mState{};
    int mIndex = kStateSize;
};

} // namespace mirvo
