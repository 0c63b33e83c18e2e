#include "src/scenes/SpectrumShaping.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirvo {
namespace {

constexpr float kTolerance = 1e-6f;
constexpr float kGain = 50.0f;
constexpr float kRampStart = 0.05f;
constexpr float kRampEnd = 1.0f;

TEST(SpectrumShaping, RampsTheDefaultGainFromTheLowestToTheHighestBin)
{
    std::vector<float> spectrum(1024, 0.0f);
    spectrum[0] = 0.01f;
    spectrum[1023] = 0.01f;
    shapeSpectrum(spectrum, kGain, kRampStart, kRampEnd);
    EXPECT_NEAR(spectrum[0], 0.025f, kTolerance);
    EXPECT_NEAR(spectrum[1023], 0.5f, kTolerance);
}

TEST(SpectrumShaping, ClampsLoudBinsToOne)
{
    std::vector<float> spectrum(1024, 0.0f);
    spectrum[1023] = 0.5f;
    shapeSpectrum(spectrum, kGain, kRampStart, kRampEnd);
    EXPECT_EQ(spectrum[1023], 1.0f);
}

TEST(SpectrumShaping, UnitGainAndFlatRampPassValuesThroughBelowTheClamp)
{
    std::vector<float> spectrum = {0.0f, 0.3f, 0.999f, 1.0f, 7.5f};
    shapeSpectrum(spectrum, 1.0f, 1.0f, 1.0f);
    EXPECT_EQ(spectrum, (std::vector<float>{0.0f, 0.3f, 0.999f, 1.0f, 1.0f}));
}

TEST(SpectrumShaping, MidBinsFollowTheLinearRamp)
{
    std::vector<float> spectrum(1024, 0.001f);
    shapeSpectrum(spectrum, kGain, kRampStart, kRampEnd);
    const float factor = kGain * (kRampStart + (kRampEnd - kRampStart) * 511.0f / 1023.0f);
    EXPECT_NEAR(spectrum[511], 0.001f * factor, kTolerance);
}

TEST(SpectrumShaping, LeavesEmptyAndSingleBinSpectraSound)
{
    std::vector<float> empty;
    shapeSpectrum(empty, kGain, kRampStart, kRampEnd);
    EXPECT_TRUE(empty.empty());

    std::vector<float> single = {0.1f};
    shapeSpectrum(single, kGain, kRampStart, kRampEnd);
    EXPECT_NEAR(single[0], 0.1f * kGain * kRampStart, kTolerance);
}

} // namespace
} // namespace mirvo
