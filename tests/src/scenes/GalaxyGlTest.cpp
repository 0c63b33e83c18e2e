// The galaxy as it is drawn, frame after frame, in a real window: each star's size must
// follow its own bin of the spectrum of that very frame.
#include "app/Camera.h"
#include "core/Rand.h"
#include "core/Resources.h"
#include "gl/Draw.h"
#include "gl/Gl.h"
#include "src/scenes/Galaxy.h"
#include "tests/TestPaths.h"
#include "tests/app/TestApps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace mirvo {
namespace {

constexpr int kDrawnStars = 8;
// Stars far enough apart on the screen, at the zoom below, to be told apart; the others lie
// bunched at the centre.
const std::vector<std::size_t> kWatched = {0, 1, 4, 7};
// Pixels per unit of star position on the screen.
constexpr float kPixelsPerUnit = 1250.0f;
// Farther from a star's centre than a silent star reaches, well inside a loud one.
constexpr float kProbeOffset = 12.0f;
// A loud star's glow reaches about this far.
constexpr float kGlowRadius = 45.0f;

struct Frame {
    int32_t starCount;
    std::vector<float> spectrum;
};

// Per frame, whether each watched star was drawn large.
std::vector<std::vector<bool>> drawFrames(const std::vector<Frame>& frames)
{
    // The repository's shaders (the test data folder is tests/data).
    const auto resources =
        std::filesystem::path(MIRVO_TEST_DATA_DIR).parent_path().parent_path() / "resources";
    app::setResourceDirectory(resources.string());

    // Where the stars land: the galaxy unturned, centred, kPixelsPerUnit pixels per unit.
    Rand rand(214);
    std::vector<Vec2f> places;
    for (const Vec3f& p : Galaxy::generateStarPositions(rand, kDrawnStars)) {
        places.push_back(Vec2f(p.x, p.y) * kPixelsPerUnit);
    }
    // A probe tells one star's size only when no other star's glow reaches it.
    for (const std::size_t watched : kWatched) {
        const Vec2f probe = places[watched] + Vec2f(kProbeOffset, 0.0f);
        for (std::size_t other = 0; other < places.size(); ++other) {
            if (other != watched) {
                EXPECT_GT((places[other] - probe).length(), kGlowRadius) << watched << " and " << other;
            }
        }
    }
    const float zoom = kPixelsPerUnit / ((200.0f + 15000.0f) * 0.5f); // over the galaxy's own scale

    std::vector<float> spectrum(4, 0.0f);
    std::unique_ptr<Galaxy> galaxy;
    std::vector<std::vector<bool>> large;
    app::test::ScriptedApp app;
    app.quitAfterFrames = std::uint32_t(frames.size() + 3);
    app.onPrepareSettings = [](app::AppBasic::Settings* settings) { settings->setWindowSize(640, 480); };
    app.onSetup = [&] {
        galaxy = std::make_unique<Galaxy>(nullptr, spectrum);
        galaxy->setup();
        galaxy->activate();
    };
    app.onDraw = [&] {
        if (large.size() == frames.size()) {
            galaxy.reset(); // while the window's context is current
            return;
        }
        const Frame& frame = frames[large.size()];
        spectrum = frame.spectrum;
        galaxy->setStarCount(frame.starCount);
        const int width = app.getWindowWidth();
        const int height = app.getWindowHeight();
        glViewport(0, 0, width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, width, height, 0, -1e5, 1e5);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        gl::clear(ColorA(0, 0, 0, 1), true);
        gl::pushModelView();
        gl::translate(Vec2f(float(width / 2), float(height / 2)));
        gl::scale(Vec3f(zoom, zoom, zoom));
        galaxy->draw();
        gl::popModelView();
        glFinish();

        std::vector<bool> row;
        for (const std::size_t watched : kWatched) {
            const int x = int(float(width / 2) + places[watched].x + kProbeOffset);
            const int y = int(float(height / 2) + places[watched].y);
            unsigned char pixel[4] = {};
            glReadPixels(x, height - 1 - y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
            row.push_back(std::max({pixel[0], pixel[1], pixel[2]}) > 0);
        }
        large.push_back(row);
    };
    app.run("GalaxyGlTest");
    return large;
}

TEST(GalaxyGl, EveryFrameEachStarTakesTheSizeOfItsOwnBin)
{
    // With four bins star i follows bin i mod 4: of the watched stars 0, 1, 4 and 7, stars 0
    // and 4 share bin 0.
    const std::vector<Frame> frames = {
        {1, {0, 0, 0, 0}}, // star 0 alone, silent
        {1, {1, 0, 0, 0}}, // the next frame's spectrum, loud in its bin
        {kDrawnStars, {0, 0, 0, 1}}, {kDrawnStars, {1, 0, 0, 0}}, {kDrawnStars, {0, 1, 1, 1}},
    };
    const auto large = drawFrames(frames);
    ASSERT_EQ(large.size(), frames.size());
    EXPECT_EQ(large[0], (std::vector<bool>{false, false, false, false}));
    EXPECT_EQ(large[1], (std::vector<bool>{true, false, false, false}))
        << "not drawn from this frame's spectrum";
    EXPECT_EQ(large[2], (std::vector<bool>{false, false, false, true}));
    EXPECT_EQ(large[3], (std::vector<bool>{true, false, true, false}))
        << "the bins do not repeat along the stars";
    EXPECT_EQ(large[4], (std::vector<bool>{false, true, false, true}));
}

// The galaxy as the window shows it (perspective, the origin at the centre), drawn by the GL's point
// sprites and then by the CPU's sum into the same frame: both pictures, bottom row first.
std::pair<std::vector<unsigned char>, std::vector<unsigned char>> drawBothWays(const std::vector<float>& bins,
                                                                               int32_t stars)
{
    const auto resources =
        std::filesystem::path(MIRVO_TEST_DATA_DIR).parent_path().parent_path() / "resources";
    app::setResourceDirectory(resources.string());
    std::vector<float> spectrum = bins;
    std::unique_ptr<Galaxy> galaxy;
    std::vector<unsigned char> sprites;
    std::vector<unsigned char> summed;
    app::test::ScriptedApp app;
    app.quitAfterFrames = 4;
    app.onPrepareSettings = [](app::AppBasic::Settings* settings) { settings->setWindowSize(640, 480); };
    app.onSetup = [&] {
        galaxy = std::make_unique<Galaxy>(nullptr, spectrum);
        galaxy->setAdaptiveScaleAllowed(false);
        galaxy->setup();
        galaxy->setStarCount(stars);
        galaxy->setAngularVelocity(0.0f);
        galaxy->activate();
    };
    app.onDraw = [&] {
        if (!galaxy) {
            return;
        }
        const int width = app.getWindowWidth();
        const int height = app.getWindowHeight();
        glViewport(0, 0, width, height);
        const CameraPersp camera(width, height, 60.0f);
        for (const bool onCpu : {false, true}) {
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(camera.getProjectionMatrix().data());
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(camera.getModelViewMatrix().data());
            glScalef(1.0f, -1.0f, 1.0f);
            glTranslatef(float(width / 2), -float(height / 2), 0.0f);
            gl::clear(ColorA(0.3f, 0.3f, 0.3f, 1.0f), true); // the scene clears it to black itself
            galaxy->setStarsOnCpu(onCpu);
            galaxy->draw();
            glFinish();
            std::vector<unsigned char>& frame = onCpu ? summed : sprites;
            frame.assign(std::size_t(width) * std::size_t(height) * 4, 0);
            glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
        }
        galaxy.reset(); // while the window's context is current
    };
    app.run("GalaxyGlTest");
    return {sprites, summed};
}

// Per channel, how many values differ by more than `tolerance`, the largest difference, and how
// many values are lit in the sprites' picture.
struct Difference {
    std::size_t over = 0;
    int largest = 0;
    std::size_t lit = 0;
};

Difference compare(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b, int tolerance)
{
    Difference difference;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (i % 4 == 3) {
            continue; // alpha: the window's, not the picture's
        }
        const int delta = std::abs(int(a[i]) - int(b[i]));
        difference.largest = std::max(difference.largest, delta);
        difference.over += delta > tolerance ? 1 : 0;
        difference.lit += a[i] > 0 ? 1 : 0;
    }
    return difference;
}

// On a software renderer the window's stars are added up on the CPU; the picture must be the one
// the sprites make, star for star and edge for edge, quiet and loud (where most pixels saturate).
TEST(GalaxyGl, StarsAddedUpOnTheCpuAreTheSpritesPicture)
{
    std::vector<float> varied(64);
    for (std::size_t bin = 0; bin < varied.size(); ++bin) {
        varied[bin] = float((bin * 37) % 64) / 63.0f;
    }
    for (const auto& [bins, stars] : {std::pair{varied, 3000}, std::pair{std::vector<float>(64, 1.0f), 10000},
                                      std::pair{std::vector<float>(64, 0.0f), 10000}}) {
        const auto [sprites, summed] = drawBothWays(bins, stars);
        ASSERT_EQ(sprites.size(), 640u * 480u * 4u);
        ASSERT_EQ(summed.size(), sprites.size());
        const Difference difference = compare(sprites, summed, 2);
        SCOPED_TRACE(testing::Message() << stars << " stars, bin 0 at " << bins[0]);
        EXPECT_GT(difference.lit, sprites.size() / 20) << "hardly a star drawn";
        EXPECT_LT(difference.over, sprites.size() / 1000)
            << difference.over << " values differ by more than 2, the most by " << difference.largest;
        EXPECT_LE(difference.largest, 4);
    }
}

} // namespace
} // namespace mirvo
