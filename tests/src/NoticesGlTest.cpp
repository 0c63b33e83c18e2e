#include "gl/Draw.h"
#include "gl/Gl.h"
#include "params/NoticeDrawer.h"
#include "tests/gl/GlTestContext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace mirvo {
namespace {

using gl::test::GlTestContext;
using gl::test::Rgba8;

constexpr int kWidth = 480;
constexpr int kHeight = 270;

int brightness(const Rgba8& c)
{
    return std::max({int(c.r), int(c.g), int(c.b)});
}

// The brightest and darkest pixel inside a box drawn by the notices.
std::pair<int, int> brightestAndDarkest(const GlTestContext& context, const params::NoticeDrawer::Rect& box)
{
    int brightest = 0;
    int darkest = 255;
    for (int y = int(box.y) + 1; y < int(box.y + box.height) - 1; ++y) {
        for (int x = int(box.x) + 1; x < int(box.x + box.width) - 1; ++x) {
            const int value = brightness(context.pixel(x, y));
            brightest = std::max(brightest, value);
            darkest = std::min(darkest, value);
        }
    }
    return {brightest, darkest};
}

class NoticeDrawing : public ::testing::Test {
  protected:
    NoticeDrawing() : context(kWidth, kHeight) {}

    void clearTo(float grey) { gl::clear(ColorA(grey, grey, grey, 1.0f), true); }

    GlTestContext context;
    params::NoticeDrawer drawer;
};

TEST_F(NoticeDrawing, BoxesStackUpFromTheBottomLeftCornerWithTheLastOneLowest)
{
    clearTo(0.0f);
    drawer.draw({{{"first notice"}, 1.0f}, {{"second", "of two lines"}, 1.0f}}, kWidth, kHeight, 1.0f);
    const auto& boxes = drawer.getLastBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_FLOAT_EQ(box.x, 16.0f);
        EXPECT_GT(box.width, 0.0f);
    }
    EXPECT_FLOAT_EQ(boxes[1].y + boxes[1].height, float(kHeight) - 16.0f);
    EXPECT_LT(boxes[0].y + boxes[0].height, boxes[1].y) << "the boxes overlap";
    EXPECT_GT(boxes[1].height, boxes[0].height * 1.5f) << "two lines need more room than one";
    // Nothing is drawn outside them: the top right of the window stays black.
    EXPECT_EQ(brightness(context.pixel(kWidth - 5, 5)), 0);
}

TEST_F(NoticeDrawing, TextReadsOnBlackAndOnWhiteAlike)
{
    for (const float background : {0.0f, 1.0f}) {
        clearTo(background);
        drawer.draw({{{"Cannot play song.mp3: not an audio file"}, 1.0f}}, kWidth, kHeight, 1.0f);
        ASSERT_EQ(drawer.getLastBoxes().size(), 1u);
        const auto [brightest, darkest] = brightestAndDarkest(context, drawer.getLastBoxes()[0]);
        // White letters on a dark backdrop, whatever the scene behind them.
        EXPECT_GT(brightest, 230) << "background " << background;
        EXPECT_LT(darkest, 90) << "background " << background;
    }
}

TEST_F(NoticeDrawing, AFadedNoticeLeavesTheSceneAsItWas)
{
    clearTo(0.5f);
    drawer.draw({{{"gone"}, 0.0f}}, kWidth, kHeight, 1.0f);
    const auto [brightest, darkest] = brightestAndDarkest(context, drawer.getLastBoxes().at(0));
    EXPECT_NEAR(brightest, 128, 1);
    EXPECT_NEAR(darkest, 128, 1);
}

TEST_F(NoticeDrawing, LargerScalesGiveLargerText)
{
    drawer.draw({{{"Paused"}, 1.0f}}, kWidth, kHeight, 1.0f);
    const auto small = drawer.getLastBoxes().at(0);
    drawer.draw({{{"Paused"}, 1.0f}}, kWidth, kHeight, 2.0f);
    const auto large = drawer.getLastBoxes().at(0);
    EXPECT_NEAR(large.width, 2.0f * small.width, 2.0f);
    EXPECT_NEAR(large.height, 2.0f * small.height, 2.0f);
    EXPECT_FLOAT_EQ(large.x, 32.0f);
    // A desktop scaled by one and a half gets text one and a half times as large, not twice.
    drawer.draw({{{"Paused"}, 1.0f}}, kWidth, kHeight, 1.5f);
    EXPECT_NEAR(drawer.getLastBoxes().at(0).height, 1.5f * small.height, 2.0f);
}

// The letters' edges are smoothed, as a packaged outline font's are: a bitmap font has only
// its two shades on the backdrop.
TEST_F(NoticeDrawing, TextIsAntiAliased)
{
    clearTo(0.0f);
    drawer.draw({{{"Cannot play song.mp3: not an audio file"}, 1.0f}}, kWidth, kHeight, 1.0f);
    const params::NoticeDrawer::Rect box = drawer.getLastBoxes().at(0);
    std::set<int> shades;
    for (int y = int(box.y) + 1; y < int(box.y + box.height) - 1; ++y) {
        for (int x = int(box.x) + 1; x < int(box.x + box.width) - 1; ++x) {
            shades.insert(brightness(context.pixel(x, y)));
        }
    }
    EXPECT_GT(shades.size(), 16u);
}

TEST_F(NoticeDrawing, TheScenesGlStateIsPutBack)
{
    // A scene in mid-frame: a bound buffer, additive blending, no depth test.
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glDisable(GL_DEPTH_TEST);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);

    drawer.draw({{{"state"}, 1.0f}}, kWidth, kHeight, 1.0f);

    GLint bound = 0;
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &bound);
    EXPECT_EQ(GLuint(bound), buffer);
    GLint source = 0;
    GLint destination = 0;
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    EXPECT_EQ(source, GL_SRC_ALPHA);
    EXPECT_EQ(destination, GL_ONE);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLint after[4] = {};
    glGetIntegerv(GL_VIEWPORT, after);
    EXPECT_TRUE(std::equal(viewport, viewport + 4, after));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer);
}

} // namespace
} // namespace mirvo
