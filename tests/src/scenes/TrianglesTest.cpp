#include "src/scenes/Triangles.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirvo {
namespace {

constexpr float kTolerance = 1e-5f;

class TrianglesScene : public ::testing::Test {
  protected:
    TrianglesScene() : spectrum(1024, 0.0f), triangles(nullptr, spectrum)
    {
        triangles.assignDefaults();
        triangles.resetTriangles(3);
    }

    std::vector<float> spectrum;
    Triangles triangles;
};

TEST_F(TrianglesScene, SilenceRelaxesTheRatioTowardTheMinimumWithoutTurning)
{
    triangles.update(0.1f);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_NEAR(triangles.getRatios()[i], 0.765f, kTolerance);
        EXPECT_EQ(triangles.getAngles()[i], 0.0f);
    }
}

TEST_F(TrianglesScene, AMorphFactorOfOneLandsOnTheTarget)
{
    triangles.setRatioMorphSpeed(10.0f);
    triangles.update(0.1f);
    EXPECT_NEAR(triangles.getRatios()[0], 0.75f, kTolerance);
}

TEST_F(TrianglesScene, EachTriangleFollowsItsOwnBand)
{
    // Only the mid band (bins 307..614 of 1024) is loud.
    std::fill(spectrum.begin() + 307, spectrum.begin() + 615, 1.0f);
    triangles.update(0.01f);
    const float mid = 308.0f / 307.0f;
    EXPECT_EQ(triangles.getAngles()[0], 0.0f);
    EXPECT_NEAR(triangles.getAngles()[1], 8000.0f * mid * 0.01f, 1e-3f);
    EXPECT_EQ(triangles.getAngles()[2], 0.0f);
    const float target = (1.8f - 0.75f) * mid + 0.75f;
    EXPECT_NEAR(triangles.getRatios()[1], 0.8f + (target - 0.8f) * 0.07f, kTolerance);
}

TEST_F(TrianglesScene, ResettingKeepsTheAnglesAndRestoresTheRatios)
{
    std::fill(spectrum.begin(), spectrum.end(), 0.5f);
    triangles.update(0.05f);
    const std::vector<float> angles = triangles.getAngles();
    ASSERT_NE(angles[0], 0.0f);

    triangles.resetTriangles(3);
    EXPECT_EQ(triangles.getAngles(), angles);
    EXPECT_EQ(triangles.getRatios(), std::vector<float>(3, 0.8f));
}

TEST(Triangles, UpdateBeforeTheFirstActivationDoesNothing)
{
    std::vector<float> spectrum(1024, 1.0f);
    Triangles triangles(nullptr, spectrum);
    triangles.assignDefaults();
    triangles.update(0.1f);
    EXPECT_TRUE(triangles.getAngles().empty());
    EXPECT_TRUE(triangles.getRatios().empty());
}

} // namespace
} // namespace mirvo
