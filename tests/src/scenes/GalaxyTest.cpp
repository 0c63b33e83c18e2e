#include "src/scenes/Galaxy.h"

#include "core/Exception.h"
#include "core/Resources.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace mirvo {
namespace {

constexpr float kTolerance = 1e-6f;

// The star rule written out again from the generator's definition alone.
float unitFloat(std::mt19937& engine)
{
    return static_cast<float>(engine()) * 0x1p-32f;
}

TEST(Galaxy, TheFirstStarsOfSeed214LieWhereTheDrawOrderPutsThem)
{
    Rand rand(214);
    const std::vector<Vec3f> stars = Galaxy::generateStarPositions(rand, 2);

    std::mt19937 engine(214);
    for (const Vec3f& star : stars) {
        const float phi = unitFloat(engine) * 6.2831855f;
        const float z = 2.0f * unitFloat(engine) - 1.0f;
        const float r = std::sqrt(1.0f - z * z);
        const float u1 = unitFloat(engine);
        const float u2 = unitFloat(engine);
        const float scale = u1 * u2 * 0.25f;
        EXPECT_NEAR(star.x, std::cos(phi) * r * scale, kTolerance);
        EXPECT_NEAR(star.y, std::sin(phi) * r * scale, kTolerance);
        EXPECT_NEAR(star.z, z * scale, kTolerance);
    }
}

TEST(Galaxy, EveryStarLiesInTheBallOfRadiusAQuarter)
{
    Rand rand(214);
    for (const Vec3f& star : Galaxy::generateStarPositions(rand, 50000)) {
        ASSERT_LE(star.length(), 0.25f + kTolerance);
    }
}

TEST(Galaxy, StarHuesRepeatEverySpectrumLength)
{
    EXPECT_EQ(Galaxy::starHue(0, 512), 0.0f);
    EXPECT_EQ(Galaxy::starHue(512, 512), 0.0f);
    EXPECT_NEAR(Galaxy::starHue(256, 512), 0.5f, kTolerance);
    EXPECT_NEAR(Galaxy::starHue(1023, 1024), 1023.0f / 1024.0f, kTolerance);
}

TEST(Galaxy, SilenceStillTurnsTheGalaxyAndLoudnessSpeedsItUp)
{
    std::vector<float> spectrum(1024, 0.0f);
    Galaxy galaxy(nullptr, spectrum);
    galaxy.assignDefaults();

    galaxy.update(0.5f);
    EXPECT_NEAR(galaxy.getRotation().y, 5.0f, kTolerance);
    EXPECT_NEAR(galaxy.getRotation().x, 1.0f, kTolerance);
    EXPECT_EQ(galaxy.getRotation().z, 0.0f);

    std::fill(spectrum.begin(), spectrum.end(), 1.0f);
    galaxy.update(0.5f);
    const float low = 205.0f / 204.0f;
    EXPECT_NEAR(galaxy.getRotation().y, 5.0f + (low + 0.5f) * 10.0f, 1e-4f);
}

TEST(Galaxy, ZeroAngularVelocityStopsTheRotation)
{
    std::vector<float> spectrum(1024, 1.0f);
    Galaxy galaxy(nullptr, spectrum);
    galaxy.assignDefaults();
    galaxy.setAngularVelocity(0.0f);
    galaxy.update(0.5f);
    EXPECT_EQ(galaxy.getRotation(), Vec3f(0.0f, 0.0f, 0.0f));
}

// A resource folder of the test's own, given back to the default afterwards.
class GalaxyResources : public ::testing::Test {
  protected:
    void SetUp() override
    {
        mDirectory = std::filesystem::temp_directory_path() /
                     ("mirvo-galaxy-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                      "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(mDirectory);
        app::setResourceDirectory(mDirectory.string());
    }
    void TearDown() override
    {
        app::setResourceDirectory("");
        std::filesystem::remove_all(mDirectory);
    }
    void write(const std::string& name, const std::string& text) const
    {
        std::ofstream(mDirectory / name, std::ios::binary) << text;
    }

    std::filesystem::path mDirectory;
};

TEST_F(GalaxyResources, AnEmptyOrBlankShaderIsAStartUpFailureThatNamesTheFile)
{
    const std::string shader = "void main() { gl_Position = ftransform(); }\n";
    const struct {
        std::string vertex;
        std::string fragment;
        const char* named;
    } cases[] = {
        {"", shader, "stars.vert"},
        {shader, " \n\t\n", "stars.frag"},
    };
    for (const auto& c : cases) {
        write("stars.vert", c.vertex);
        write("stars.frag", c.fragment);
        std::vector<float> spectrum(1024, 0.0f);
        Galaxy galaxy(nullptr, spectrum);
        try {
            galaxy.setup();
            ADD_FAILURE() << "set up with a blank " << c.named;
        } catch (const Exception& exc) {
            EXPECT_THAT(exc.what(), ::testing::HasSubstr(c.named));
            EXPECT_THAT(exc.what(), ::testing::HasSubstr("empty"));
        }
    }
}

} // namespace
} // namespace mirvo
