#include "gl/SmoothTriangle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace mirvo::gl {
namespace {

constexpr float kTolerance = 1e-4f;

// Grown by the margin, each corner lies that far outside both edges that meet at it and inside
// the third, whichever way round the corners were given.
TEST(SmoothTriangle, GrownCornersLieTheMarginOutsideTheirEdgesInEitherWinding)
{
    const Vec2f a(0.0f, 0.0f), b(10.0f, 0.0f), c(0.0f, 10.0f);
    for (const auto& [p, q, r] : {std::array{a, b, c}, std::array{a, c, b}}) {
        const std::optional<CoverageTriangle> grown = growForCoverage(p, q, r, 1.5f);
        ASSERT_TRUE(grown);
        for (int corner = 0; corner < 3; ++corner) {
            const Vec3f& d = grown->edgeDistances[corner];
            std::array<float, 3> sorted = {d.x, d.y, d.z};
            std::sort(sorted.begin(), sorted.end());
            EXPECT_NEAR(sorted[0], -1.5f, kTolerance) << "corner " << corner;
            EXPECT_NEAR(sorted[1], -1.5f, kTolerance) << "corner " << corner;
            EXPECT_GT(sorted[2], 5.0f) << "corner " << corner;
        }
        // The right angle's corner moves out along its diagonal.
        const bool hasCorner = std::any_of(grown->corners.begin(), grown->corners.end(), [](const Vec2f& v) {
            return std::abs(v.x + 1.5f) < kTolerance && std::abs(v.y + 1.5f) < kTolerance;
        });
        EXPECT_TRUE(hasCorner);
    }
}

TEST(SmoothTriangle, ATriangleWithoutAreaDrawsNothing)
{
    EXPECT_FALSE(growForCoverage(Vec2f(0, 0), Vec2f(5, 5), Vec2f(10, 10)));
    EXPECT_FALSE(growForCoverage(Vec2f(3, 4), Vec2f(3, 4), Vec2f(3, 4)));
    EXPECT_FALSE(growForCoverage(Vec2f(0, 0), Vec2f(NAN, 1), Vec2f(1, 0)));
}

} // namespace
} // namespace mirvo::gl
