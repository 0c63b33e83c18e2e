#include "core/Rand.h"

#include <cmath>

namespace mirvo {

namespace {

constexpr int kShift = 397;
constexpr uint32_t kMatrixA = 0x9908b0dfu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7fffffffu;
constexpr float kTwoToMinus32 = 2.3283064365386963e-10f;
constexpr float kLargestBelowOne = 0x1.fffffep-1f;
constexpr float kTwoPi = 6.2831855f;

} // namespace

void Rand::seed(uint32_t seedValue)
{
    mState[0] = seedValue;
    for (uint32_t i = 1; i < kStateSize; ++i) {
        const uint32_t previous = mState[i - 1];
        mState[i] = 1812433253u * (previous ^ (previous >> 30)) + i;
    }
    mIndex = kStateSize;
}

void Rand::twist()
{
    for (int i = 0; i < kStateSize; ++i) {
        const uint32_t y = (mState[i] & kUpperMask) | (mState[(i + 1) % kStateSize] & kLowerMask);
        uint32_t next = mState[(i + kShift) % kStateSize] ^ (y >> 1);
        if (y & 1u) {
            next ^= kMatrixA;
        }
        mState[i] = next;
    }
    mIndex = 0;
}

uint32_t Rand::nextUint()
{
    if (mIndex >= kStateSize) {
        twist();
    }
    uint32_t y = mState[mIndex++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
}

int32_t Rand::nextInt()
{
    return static_cast<int32_t>(nextUint() >> 1);
}

int32_t Rand::nextInt(int32_t max)
{
    return nextInt(0, max);
}

int32_t Rand::nextInt(int32_t min, int32_t max)
{
    if (max <= min) {
        return min;
    }
    // Scale by multiplication rather than modulo so that the high bits decide.
    const uint64_t range = static_cast<uint64_t>(static_cast<int64_t>(max) - min);
    const uint64_t offset = (static_cast<uint64_t>(nextUint()) * range) >> 32;
    return static_cast<int32_t>(min + static_cast<int64_t>(offset));
}

float Rand::toUnitFloat(uint32_t bits)
{
    const float u = static_cast<float>(bits) * kTwoToMinus32;
    return u < 1.f ? u : kLargestBelowOne;
}

Vec3f Rand::randVec3f()
{
    const float phi = nextFloat() * kTwoPi;
    const float z = 2.f * nextFloat() - 1.f;
    const float r = std::sqrt(1.f - z * z);
    return {std::cos(phi) * r, std::sin(phi) * r, z};
}

Vec2f Rand::randVec2f()
{
    const float phi = nextFloat() * kTwoPi;
    return {std::cos(phi), std::sin(phi)};
}

} // namespace mirvo
