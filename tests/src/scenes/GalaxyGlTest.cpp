// The galaxy as it is drawn, frame after frame, in a real window: each star's size must
// follow its own bin of the spectrum of that very frame.
#include "core/Rand.h"
#include "core/Resources.h"
#include "gl/Draw.h"
#include "gl/Gl.h"
#include "src/scenes/Galaxy.h"
#include "tests/TestPaths.h"
#include "tests/app/TestApps.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace mirvo
