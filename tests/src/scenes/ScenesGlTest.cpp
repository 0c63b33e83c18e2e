#include "gl/Draw.h"
#include "gl/Gl.h"
#include "gl/GlslProg.h"
#include "src/scenes/SpectrumOverlay.h"
#include "src/scenes/Tree.h"
#include "src/scenes/Triangles.h"
#include "tests/TestPaths.h"
#include "tests/gl/GlTestContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace mirvo {
namespace {

using gl::test::GlTestContext;
using gl::test::Rgba8;

constexpr int kSize = 256;
constexpr int kCentre = kSize / 2;

std::string readResource(const std::string& name)
{
    // The shaders as the repository holds them; the name of this source file may be relative
    // (compiler caches and out-of-tree builds make it so), the configured root never is.
    const auto path = std::filesystem::path(MIRVO_SOURCE_DIR) / "resources" / name;
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int brightness(const Rgba8& c)
{
    return std::max({int(c.r), int(c.g), int(c.b)});
}

class StarSprite : public ::testing::Test {
  protected:
    StarSprite() : context(kSize, kSize)
    {
        program = gl::GlslProg::create(readResource("stars.vert"), readResource("stars.frag"));
    }

    // One star at the window centre, drawn as the galaxy draws it.
    void drawStar(float hue, float magnitude)
    {
        gl::clear(ColorA(0, 0, 0, 1), true);
        glEnable(GL_VERTEX_PROGRAM_POINT_SIZE);
        glEnable(GL_POINT_SPRITE);
        gl::enableAdditiveBlending();
        program->bind();
        program->uniform("u_minStarRadius", 5.0f);
        program->uniform("u_maxStarRadius", 75.0f);
        program->uniform("u_minStarColorSaturation", 0.0f);
        program->uniform("u_maxStarColorSaturation", 0.8f);
        program->uniform("u_minStarColorValue", 0.25f);
        program->uniform("u_maxStarColorValue", 0.7f);
        const GLint hue_location = program->getAttribLocation("a_hue");
        const GLint magnitude_location = program->getAttribLocation("a_magnitude");
        ASSERT_GE(hue_location, 0);
        ASSERT_GE(magnitude_location, 0);
        glVertexAttrib1f(static_cast<GLuint>(hue_location), hue);
        glVertexAttrib1f(static_cast<GLuint>(magnitude_location), magnitude);
        const float position[3] = {float(kCentre) + 0.5f, float(kCentre) + 0.5f, 0.0f};
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, 0, position);
        glDrawArrays(GL_POINTS, 0, 1);
        glDisableClientState(GL_VERTEX_ARRAY);
        gl::GlslProg::unbind();
        gl::disableAlphaBlending();
        glDisable(GL_POINT_SPRITE);
        glDisable(GL_VERTEX_PROGRAM_POINT_SIZE);
    }

    GlTestContext context;
    gl::GlslProgRef program;
};

TEST_F(StarSprite, IsRoundWithABrightCoreThatFadesOutward)
{
    drawStar(0.0f, 1.0f); // 75 px across
    const int core = brightness(context.pixel(kCentre, kCentre));
    const int halo = brightness(context.pixel(kCentre + 20, kCentre));
    const int rim = brightness(context.pixel(kCentre + 34, kCentre));
    const int corner = brightness(context.pixel(kCentre + 32, kCentre + 32));
    EXPECT_GT(core, 200);
    EXPECT_GT(core, halo);
    EXPECT_GT(halo, rim);
    EXPECT_GT(halo, 0);
    EXPECT_EQ(corner, 0) << "the sprite's square corners must stay dark";
}

TEST_F(StarSprite, LoudStarsAreLargerAndTakeTheirBinsHue)
{
    drawStar(0.0f, 0.0f); // 5 px across
    EXPECT_EQ(brightness(context.pixel(kCentre + 10, kCentre)), 0);
    int rise = 0;
    for (int x = kCentre - 2; x <= kCentre + 1; ++x) {
        rise = std::max(rise, brightness(context.pixel(x, kCentre)));
    }
    EXPECT_GT(rise, 0);

    drawStar(0.0f, 1.0f);
    EXPECT_GT(brightness(context.pixel(kCentre + 10, kCentre)), 0);
    // Hue 0 with saturation 0.8: the halo is red.
    const Rgba8 halo = context.pixel(kCentre + 18, kCentre);
    EXPECT_GT(halo.r, halo.g);
    EXPECT_GT(halo.r, halo.b);
}

TEST(TreeGl, DrawsPastelLinesOverTheDarkComplementaryBackground)
{
    GlTestContext context(kSize, kSize);
    std::vector<float> spectrum(1024, 0.0f);
    Tree tree(nullptr, spectrum);
    tree.assignDefaults();
    tree.setWindowHeightSource([] { return float(kSize); });
    tree.activate();
    tree.update(0.01f);

    gl::pushModelView();
    gl::translate(Vec2f(kCentre, kCentre));
    tree.draw();
    gl::popModelView();

    const ColorA background = tree.getBackgroundColor();
    const Rgba8 corner = context.pixel(0, 0);
    EXPECT_NEAR(corner.r, background.r * 255.0f, 1.5f);
    EXPECT_NEAR(corner.g, background.g * 255.0f, 1.5f);
    EXPECT_NEAR(corner.b, background.b * 255.0f, 1.5f);
    // The first trunk ends at 0.35 h below the centre, straight below it.
    const Rgba8 trunk = context.pixel(kCentre, kCentre + int(0.45f * kSize));
    const ColorA line = tree.getLineColor();
    EXPECT_NEAR(trunk.r, line.r * 255.0f, 2.0f);
    EXPECT_NEAR(trunk.g, line.g * 255.0f, 2.0f);
}

// The controller leaves its black clear out for a scene that clears the frame itself: what the
// frame held before (here red) must not survive anywhere in the tree's frame. The tree clears
// no depth, so a depth nearer than its lines, with the test left on, must not hide them either.
TEST(TreeGl, CoversWhateverTheFrameHeldSoTheControllerNeedNotClear)
{
    GlTestContext context(kSize, kSize);
    std::vector<float> spectrum(1024, 0.0f);
    Tree tree(nullptr, spectrum);
    ASSERT_TRUE(tree.clearsWholeFrame());
    tree.assignDefaults();
    tree.setWindowHeightSource([] { return float(kSize); });
    tree.activate();
    tree.update(0.01f);
    glClearDepth(0.0);
    gl::clear(ColorA(1, 0, 0, 1), true);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);

    gl::pushModelView();
    gl::translate(Vec2f(kCentre, kCentre));
    tree.draw();
    gl::popModelView();
    glDisable(GL_DEPTH_TEST);

    const ColorA line = tree.getLineColor();
    const Rgba8 trunk = context.pixel(kCentre, kCentre + int(0.45f * kSize));
    EXPECT_NEAR(trunk.g, line.g * 255.0f, 2.0f) << "the trunk is hidden: " << trunk;
    const ColorA background = tree.getBackgroundColor();
    for (int y = 0; y < kSize; y += 15) {
        for (int x = 0; x < kSize; x += 15) {
            const Rgba8 pixel = context.pixel(x, y);
            // Background or the tree's pastel lines, never the red left underneath.
            const bool isBackground = std::abs(pixel.r - background.r * 255.0f) <= 1.5f;
            EXPECT_TRUE(isBackground || pixel.g > 100) << "at " << x << ", " << y << ": " << pixel;
        }
    }
}

TEST(TrianglesGl, AddsTheThreeColoursWhereTheyOverlap)
{
    GlTestContext context(kSize, kSize);
    std::vector<float> spectrum(1024, 0.0f);
    Triangles triangles(nullptr, spectrum);
    triangles.assignDefaults();
    triangles.activate();

    gl::pushModelView();
    gl::translate(Vec2f(kCentre, kCentre));
    gl::scale(Vec3f(0.5f, 0.5f, 1.0f)); // 215 px triangles in a 256 px window
    triangles.draw();
    gl::popModelView();
    triangles.deactivate();

    // Unturned, all three coincide: white at the centre, black far outside.
    EXPECT_EQ(context.pixel(kCentre, kCentre), (Rgba8{255, 255, 255, 255}));
    EXPECT_EQ(brightness(context.pixel(2, 2)), 0);
}

TEST(SpectrumOverlayGl, TheLineFollowsAKnownSpectrumAcrossTheLowerHalfOfTheBins)
{
    GlTestContext context(kSize, kSize);
    // Quiet below bin 256, loud from there: with 512 bins across the window the step sits
    // in the middle, and bins 512 and up lie past the right edge, however loud.
    std::vector<float> spectrum(1024, 0.25f);
    std::fill(spectrum.begin() + 256, spectrum.end(), 0.75f);
    std::fill(spectrum.begin() + 512, spectrum.end(), 0.0f);
    Path2d path;
    buildSpectrumPath(path, spectrum, float(kSize), float(kSize));
    gl::clear(ColorA(0, 0, 0, 1), true);
    gl::draw(path);

    const int quiet = int(0.75f * kSize) - 1; // one pixel above the point for 0.25
    const int loud = int(0.25f * kSize) - 1;
    EXPECT_GT(brightness(context.pixel(kSize / 4, quiet)), 0);
    EXPECT_EQ(brightness(context.pixel(kSize / 4, loud)), 0);
    EXPECT_GT(brightness(context.pixel(3 * kSize / 4, loud)), 0);
    EXPECT_EQ(brightness(context.pixel(3 * kSize / 4, quiet)), 0);
    // The rise between them is at the middle, not at a quarter or three quarters.
    int rise = 0;
    for (int x = kCentre - 2; x <= kCentre + 1; ++x) {
        rise = std::max(rise, brightness(context.pixel(x, kCentre)));
    }
    EXPECT_GT(rise, 0);
    EXPECT_EQ(brightness(context.pixel(kSize / 4 + 8, kCentre)), 0);
    EXPECT_EQ(brightness(context.pixel(3 * kSize / 4 - 8, kCentre)), 0);
}

} // namespace
} // namespace mirvo
