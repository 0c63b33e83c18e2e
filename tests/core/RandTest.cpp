#include "core/Rand.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace mirvo {
namespace {

constexpr float kUnitLengthTolerance = 1e-5f;

float referenceUnit(uint32_t bits)
{
    return static_cast<float>(bits) * 0x1p-32f;
}

TEST(Rand, FirstDrawsMatchTheStandardTwisterWithTheSameSeed)
{
    Rand rand(214);
    std::mt19937 reference(214);
    for (int i = 0; i < 2000; ++i) {
        if (i % 2 == 0) {
            ASSERT_EQ(rand.nextUint(), reference()) << "draw " << i;
        } else {
            ASSERT_EQ(rand.nextFloat(), referenceUnit(reference())) << "draw " << i;
        }
    }
}

TEST(Rand, TenThousandthOutputOfTheDefaultSeedIsTheKnownValue)
{
    Rand rand;
    uint32_t value = 0;
    for (int i = 0; i < 10000; ++i) {
        value = rand.nextUint();
    }
    EXPECT_EQ(value, 4123659995u);
}

TEST(Rand, ReseedingRestartsTheSequence)
{
    Rand rand(214);
    const float first = rand.nextFloat();
    rand.nextFloat();
    rand.seed(214);
    EXPECT_EQ(rand.nextFloat(), first);
}

TEST(Rand, RangeDrawsScaleOneUniformDraw)
{
    Rand rand(214);
    std::mt19937 reference(214);
    const float u = referenceUnit(reference());
    EXPECT_EQ(rand.nextFloat(-72.f, 72.f), -72.f + 144.f * u);
    EXPECT_EQ(rand.nextFloat(3.f), 3.f * referenceUnit(reference()));
}

TEST(Rand, UnitDrawsStayBelowOneEvenForTheLargestOutputs)
{
    EXPECT_EQ(Rand::toUnitFloat(0), 0.f);
    EXPECT_LT(Rand::toUnitFloat(0xffffff7fu), 1.f);
    EXPECT_LT(Rand::toUnitFloat(0xffffff80u), 1.f);
    EXPECT_LT(Rand::toUnitFloat(0xffffffffu), 1.f);
}

TEST(Rand, RandVec3fLiesOnTheUnitSphereFromTwoDraws)
{
    Rand rand(214);
    std::mt19937 reference(214);
    for (int i = 0; i < 1000; ++i) {
        const Vec3f v = rand.randVec3f();
        ASSERT_NEAR(v.length(), 1.f, kUnitLengthTolerance);
        const float phi = referenceUnit(reference()) * 6.2831855f;
        const float z = 2.f * referenceUnit(reference()) - 1.f;
        ASSERT_EQ(v.z, z);
        ASSERT_EQ(v.x, std::cos(phi) * std::sqrt(1.f - z * z));
    }
}

TEST(Rand, IntegerRangesStayInsideTheirBounds)
{
    Rand rand(7);
    bool sawMin = false;
    bool sawMaxMinusOne = false;
    for (int i = 0; i < 1000; ++i) {
        const int32_t value = rand.nextInt(-3, 4);
        ASSERT_GE(value, -3);
        ASSERT_LT(value, 4);
        sawMin |= value == -3;
        sawMaxMinusOne |= value == 3;
    }
    EXPECT_TRUE(sawMin && sawMaxMinusOne);
    EXPECT_EQ(rand.nextInt(5, 5), 5);
    EXPECT_EQ(rand.nextInt(0), 0);
}

} // namespace
} // namespace mirvo
