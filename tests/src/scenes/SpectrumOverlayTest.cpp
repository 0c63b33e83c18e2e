#include "src/scenes/SpectrumOverlay.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirvo {
namespace {

constexpr float kWidth = 1280.0f;
constexpr float kHeight = 720.0f;
constexpr float kTolerance = 1e-3f;

TEST(SpectrumOverlay, PathStartsAtTheBottomLeftAndHasOnePointPerBinMore)
{
    std::vector<float> spectrum(1024, 0.0f);
    spectrum[512] = 1.0f;
    Path2d path;
    buildSpectrumPath(path, spectrum, kWidth, kHeight);

    ASSERT_EQ(path.getNumPoints(), 1025u);
    EXPECT_EQ(path.getNumSegments(), 1024u);
    EXPECT_EQ(path.getPoints()[0], Vec2f(0.0f, kHeight));
    // Silence sits one pixel above the bottom edge, full scale one pixel above the top.
    EXPECT_NEAR(path.getPoints()[1].y, kHeight - 1.0f, kTolerance);
    EXPECT_NEAR(path.getPoints()[513].y, -1.0f, kTolerance);
    // Bin 512 lands on the right edge, where the markers put index 512 too.
    EXPECT_NEAR(path.getPoints()[513].x, kWidth, kTolerance);
    EXPECT_NEAR(spectrumBinX(512.0f, kWidth), kWidth, kTolerance);
}

TEST(SpectrumOverlay, EveryBinOfAKnownSpectrumLandsWhereTheMarkersWouldPointAtIt)
{
    // A ramp over the bins, so a point from the wrong bin or a wrong scale shows.
    std::vector<float> spectrum(1024);
    for (std::size_t i = 0; i < spectrum.size(); ++i) {
        spectrum[i] = float(i) / 1023.0f;
    }
    Path2d path;
    buildSpectrumPath(path, spectrum, kWidth, kHeight);
    ASSERT_EQ(path.getNumPoints(), spectrum.size() + 1);
    for (std::size_t i = 0; i < spectrum.size(); ++i) {
        const Vec2f point = path.getPoints()[i + 1];
        ASSERT_NEAR(point.x, spectrumBinX(float(i), kWidth), 0.01f) << "bin " << i;
        ASSERT_NEAR(point.y, (1.0f - spectrum[i]) * kHeight - 1.0f, kTolerance) << "bin " << i;
    }
}

TEST(SpectrumOverlay, RebuildingReplacesThePreviousPath)
{
    Path2d path;
    buildSpectrumPath(path, std::vector<float>(1024, 0.5f), kWidth, kHeight);
    buildSpectrumPath(path, std::vector<float>(8, 0.5f), kWidth, kHeight);
    EXPECT_EQ(path.getNumPoints(), 9u);
}

TEST(SpectrumOverlay, AnEmptySpectrumLeavesAPathWithNoSegmentToDraw)
{
    Path2d path;
    buildSpectrumPath(path, {}, kWidth, kHeight);
    EXPECT_EQ(path.getNumPoints(), 1u);
    EXPECT_EQ(path.getNumSegments(), 0u);
}

} // namespace
} // namespace mirvo
