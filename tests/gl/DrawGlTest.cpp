#include "app/Camera.h"
#include "gl/Draw.h"

#include "GlTestContext.h"

#include <memory>

namespace mirvo::gl {
namespace {

class DrawGl : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sContext = std::make_unique<test::GlTestContext>(100, 80); }
    static void TearDownTestSuite() { sContext.reset(); }
    void SetUp() override
    {
        sContext->resetMatrices();
        clear(ColorA(0, 0, 0, 1), true);
    }

    static test::Rgba8 pixel(int x, int y) { return sContext->pixel(x, y); }
    static std::unique_ptr<test::GlTestContext> sContext;
};

std::unique_ptr<test::GlTestContext> DrawGl::sContext;

bool isColor(const test::Rgba8& p, int r, int g, int b)
{
    constexpr int kTolerance = 3;
    return std::abs(p.r - r) <= kTolerance && std::abs(p.g - g) <= kTolerance &&
           std::abs(p.b - b) <= kTolerance;
}

TEST_F(DrawGl, ClearColoursTheWholeBufferAndTouchesDepthOnlyWhenAsked)
{
    glDepthMask(GL_FALSE);
    clear(ColorA(0.f, 0.f, 1.f, 1.f), false);
    for (auto [x, y] : {std::pair{0, 0}, {99, 0}, {0, 79}, {99, 79}, {50, 40}}) {
        EXPECT_TRUE(isColor(pixel(x, y), 0, 0, 255)) << x << ", " << y << ": " << pixel(x, y);
    }
    GLboolean mask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_FALSE);

    clear(ColorA(1.f, 0.f, 0.f, 1.f), true);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_TRUE);
    EXPECT_TRUE(isColor(pixel(99, 79), 255, 0, 0));
}

TEST_F(DrawGl, AdditiveRedAndGreenTrianglesMakeYellowWhereTheyOverlap)
{
    enableAdditiveBlending();
    glColor4f(1, 0, 0, 1);
    drawSolidTriangle(Vec2f(0, 0), Vec2f(60, 0), Vec2f(0, 60));
    pushModelView();
    translate(Vec2f(20, 0));
    glColor4f(0, 1, 0, 1);
    drawSolidTriangle(Vec2f(0, 0), Vec2f(60, 0), Vec2f(0, 60));
    popModelView();
    disableAlphaBlending();

    EXPECT_TRUE(isColor(pixel(5, 5), 255, 0, 0)) << pixel(5, 5);
    EXPECT_TRUE(isColor(pixel(25, 5), 255, 255, 0)) << pixel(25, 5);
    EXPECT_TRUE(isColor(pixel(70, 5), 0, 255, 0)) << pixel(70, 5);
    EXPECT_TRUE(isColor(pixel(90, 70), 0, 0, 0)) << pixel(90, 70);
    EXPECT_EQ(glIsEnabled(GL_BLEND), GL_FALSE);
}

TEST_F(DrawGl, ALineLandsOnThePixelsItNames)
{
    // Half-pixel coordinates sit on pixel centres, so rasterisation has no choice to make.
    drawLine(Vec2f(10.5f, 20.5f), Vec2f(90.5f, 20.5f));
    EXPECT_TRUE(isColor(pixel(10, 20), 255, 255, 255)) << pixel(10, 20);
    EXPECT_TRUE(isColor(pixel(50, 20), 255, 255, 255)) << pixel(50, 20);
    EXPECT_TRUE(isColor(pixel(50, 19), 0, 0, 0)) << pixel(50, 19);
    EXPECT_TRUE(isColor(pixel(50, 21), 0, 0, 0)) << pixel(50, 21);
    EXPECT_TRUE(isColor(pixel(95, 20), 0, 0, 0)) << pixel(95, 20);
    EXPECT_EQ(glIsEnabled(GL_VERTEX_ARRAY), GL_FALSE);
}

TEST_F(DrawGl, ALineLandsOnTheSamePixelsUnderTheWindowCameraMatrices)
{
    // The matrices every window starts a frame with: a 60-degree camera looking at the
    // plane z = 0 from where one unit is one pixel, flipped so that y grows downward.
    const CameraPersp camera(sContext->width(), sContext->height(), 60.f);
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(camera.getProjectionMatrix().data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(camera.getModelViewMatrix().data());
    glScalef(1.f, -1.f, 1.f);
    glTranslatef(0.f, -float(sContext->height()), 0.f);

    drawLine(Vec2f(10.5f, 20.5f), Vec2f(90.5f, 20.5f));
    EXPECT_TRUE(isColor(pixel(11, 20), 255, 255, 255)) << pixel(11, 20);
    EXPECT_TRUE(isColor(pixel(50, 20), 255, 255, 255)) << pixel(50, 20);
    EXPECT_TRUE(isColor(pixel(50, 19), 0, 0, 0)) << pixel(50, 19);
    EXPECT_TRUE(isColor(pixel(50, 21), 0, 0, 0)) << pixel(50, 21);
}

TEST_F(DrawGl, APathIsOneOpenStripThroughItsPointsAndNothingWithoutSegments)
{
    Path2d path;
    path.moveTo(10.5f, 10.5f);
    draw(path);
    EXPECT_TRUE(isColor(pixel(10, 10), 0, 0, 0)) << "a lone point is no segment";

    path.lineTo(50.5f, 10.5f);
    path.lineTo(50.5f, 60.5f);
    draw(path);
    EXPECT_TRUE(isColor(pixel(30, 10), 255, 255, 255));
    EXPECT_TRUE(isColor(pixel(50, 40), 255, 255, 255));
    EXPECT_TRUE(isColor(pixel(30, 40), 0, 0, 0)) << "the ends are not closed";
}

TEST_F(DrawGl, ScaleAndRotateTurnAboutTheOriginInOrder)
{
    // 90 degrees about z turns +x into +y (downward here); scaling by 2 doubles the reach.
    pushModelView();
    translate(Vec2f(10, 10));
    rotate(Vec3f(0, 0, 90));
    scale(Vec3f(2, 2, 1));
    drawSolidTriangle(Vec2f(0, -2), Vec2f(30, 0), Vec2f(0, 2));
    popModelView();
    EXPECT_TRUE(isColor(pixel(10, 60), 255, 255, 255)) << pixel(10, 60);
    EXPECT_TRUE(isColor(pixel(60, 10), 0, 0, 0)) << pixel(60, 10);

    GLfloat matrix[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_EQ(matrix[12], 0.f) << "popModelView restores the matrix";
}

} // namespace
} // namespace mirvo::gl
