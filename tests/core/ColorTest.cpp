#include "core/Color.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mirvo {
namespace {

constexpr float kTolerance = 1e-5f;

void expectNear(const Color& actual, const Color& expected)
{
    EXPECT_NEAR(actual.r, expected.r, kTolerance);
    EXPECT_NEAR(actual.g, expected.g, kTolerance);
    EXPECT_NEAR(actual.b, expected.b, kTolerance);
}

TEST(HsvToRgb, EverySectorPicksItsComponents)
{
    // s = 0.5, v = 1: p = 0.5; with f = 0.5 in the middle of each sector q = t = 0.75.
    const float s = 0.5f;
    const float v = 1.f;
    expectNear(hsvToRgb(0.5f / 6.f, s, v), {1.f, 0.75f, 0.5f});
    expectNear(hsvToRgb(1.5f / 6.f, s, v), {0.75f, 1.f, 0.5f});
    expectNear(hsvToRgb(2.5f / 6.f, s, v), {0.5f, 1.f, 0.75f});
    expectNear(hsvToRgb(3.5f / 6.f, s, v), {0.5f, 0.75f, 1.f});
    expectNear(hsvToRgb(4.5f / 6.f, s, v), {0.75f, 0.5f, 1.f});
    expectNear(hsvToRgb(5.5f / 6.f, s, v), {1.f, 0.5f, 0.75f});
}

TEST(HsvToRgb, SectorFractionDrivesTheRisingAndFallingComponents)
{
    // f = 0.25 in sector 0: t = 1 - 0.75 s; in sector 1: q = 1 - 0.25 s.
    expectNear(hsvToRgb(0.25f / 6.f, 1.f, 1.f), {1.f, 0.25f, 0.f});
    expectNear(hsvToRgb(1.25f / 6.f, 1.f, 1.f), {0.75f, 1.f, 0.f});
}

TEST(HsvToRgb, HueOfOneWrapsToRedAndOutOfRangeGivesBlack)
{
    expectNear(hsvToRgb(1.f, 1.f, 1.f), hsvToRgb(0.f, 1.f, 1.f));
    expectNear(hsvToRgb(1.2f, 1.f, 1.f), {0.f, 0.f, 0.f});
    expectNear(hsvToRgb(-0.1f, 1.f, 1.f), {0.f, 0.f, 0.f});
    expectNear(hsvToRgb(std::nanf(""), 1.f, 1.f), {0.f, 0.f, 0.f});
}

TEST(HsvToRgb, TheScenesDarkBackgroundKeepsItsBrightness)
{
    const Color dark = hsvToRgb(0.3f, 0.65f, 0.06f);
    EXPECT_NEAR(std::max({dark.r, dark.g, dark.b}), 0.06f, kTolerance);
    EXPECT_EQ(ColorA(dark, 1.f).rgb(), dark);
}

} // namespace
} // namespace mirvo
