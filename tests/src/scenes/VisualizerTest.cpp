#include "src/scenes/Visualizer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace mirvo {
namespace {

constexpr float kTolerance = 1e-6f;

// The smallest concrete scene: only the base class's measurements are under test.
class BareScene : public Visualizer {
  public:
    using Visualizer::Visualizer;
    void activate() override {}
    void deactivate() override {}
    void update(float) override {}
    void draw() override {}

    float low() const { return avgMagnitudeInRange(mLowStart, mLowEnd); }
    float mid() const { return avgMagnitudeInRange(mMidStart, mMidEnd); }
    float high() const { return avgMagnitudeInRange(mHighStart, mHighEnd); }
};

TEST(Visualizer, IndexRangeSumsBothEndsAndDividesByTheirDistance)
{
    std::vector<float> spectrum = {0.0f, 0.0f, 0.0f, 0.25f, 0.5f, 9.0f};
    BareScene scene(nullptr, spectrum);
    EXPECT_NEAR(scene.avgMagnitudeInRange(std::size_t{3}, std::size_t{4}), 0.75f, kTolerance);
}

TEST(Visualizer, BandsOfAllOnesOverA512BinSpectrumExceedOneByOneBin)
{
    std::vector<float> spectrum(512, 1.0f);
    BareScene scene(nullptr, spectrum);
    EXPECT_NEAR(scene.low(), 103.0f / 102.0f, kTolerance);
    EXPECT_NEAR(scene.mid(), 155.0f / 154.0f, kTolerance);
    EXPECT_NEAR(scene.high(), 134.0f / 133.0f, kTolerance);
}

TEST(Visualizer, BandsOfSilenceAreZero)
{
    std::vector<float> spectrum(1024, 0.0f);
    BareScene scene(nullptr, spectrum);
    EXPECT_EQ(scene.low(), 0.0f);
    EXPECT_EQ(scene.mid(), 0.0f);
    EXPECT_EQ(scene.high(), 0.0f);
}

TEST(Visualizer, FractionBandsTruncateToWholeBins)
{
    // With 10 bins the low band is bins 0..2 divided by 2; bin 3 must not count.
    std::vector<float> spectrum = {1.0f, 2.0f, 3.0f, 100.0f, 0, 0, 0, 0, 0, 0};
    BareScene scene(nullptr, spectrum);
    EXPECT_NEAR(scene.low(), 3.0f, kTolerance);
}

TEST(Visualizer, ReadsTheSpectrumAsTheControllerRefreshesIt)
{
    std::vector<float> spectrum(512, 0.0f);
    BareScene scene(nullptr, spectrum);
    std::fill(spectrum.begin(), spectrum.end(), 1.0f);
    EXPECT_NEAR(scene.low(), 103.0f / 102.0f, kTolerance);
}

TEST(Visualizer, ThrowsOutOfRangeForABinPastTheEnd)
{
    std::vector<float> spectrum(4, 1.0f);
    BareScene scene(nullptr, spectrum);
    EXPECT_THROW(scene.avgMagnitudeInRange(std::size_t{2}, std::size_t{4}), std::out_of_range);
}

TEST(Visualizer, HasNoPanelUnlessTheSceneMakesOne)
{
    std::vector<float> spectrum(8, 0.0f);
    BareScene scene(nullptr, spectrum);
    EXPECT_EQ(scene.getParams(), nullptr);
}

} // namespace
} // namespace mirvo
