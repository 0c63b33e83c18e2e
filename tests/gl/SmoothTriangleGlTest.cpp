#include "gl/Draw.h"
#include "gl/SmoothTriangle.h"

#include "GlTestContext.h"

#include <memory>

namespace mirvo::gl {
namespace {

class SmoothTriangleGl : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sContext = std::make_unique<test::GlTestContext>(64, 64); }
    static void TearDownTestSuite() { sContext.reset(); }
    void SetUp() override
    {
        sContext->resetMatrices();
        clear(ColorA(0, 0, 0, 1), true);
    }

    static std::unique_ptr<test::GlTestContext> sContext;
};

std::unique_ptr<test::GlTestContext> SmoothTriangleGl::sContext;

// Two triangles sharing the diagonal of a square, added up as the triangles scene adds its
// own: the shared edge's pixels are lit once in all, with no dark seam and no bright one,
// and the square's sides, on pixel centres, are lit by half.
TEST_F(SmoothTriangleGl, TrianglesSharingAnEdgeAddUpWithoutASeamAndHalfCoverTheirSides)
{
    SmoothTriangleDrawer drawer;
    enableAdditiveBlending();
    glColor4f(1, 1, 1, 1);
    const Vec2f topLeft(10.5f, 10.5f), topRight(50.5f, 10.5f), bottomLeft(10.5f, 50.5f),
        bottomRight(50.5f, 50.5f);
    drawer.draw(topLeft, topRight, bottomRight);
    drawer.draw(topLeft, bottomRight, bottomLeft);
    disableAlphaBlending();

    for (int i = 12; i <= 48; ++i) {
        for (int offset : {-1, 0, 1}) {
            const test::Rgba8 p = sContext->pixel(i + offset, i);
            EXPECT_NEAR(p.r, 255, 3) << "(" << i + offset << ", " << i << ")";
        }
    }
    EXPECT_NEAR(sContext->pixel(10, 30).r, 128, 8);
    EXPECT_NEAR(sContext->pixel(30, 50).r, 128, 8);
    EXPECT_EQ(sContext->pixel(9, 30).r, 0);
    EXPECT_EQ(sContext->pixel(11, 30).r, 255);
    EXPECT_EQ(sContext->pixel(30, 52).r, 0);
}

} // namespace
} // namespace mirvo::gl
