#include "core/Path2d.h"

#include <gtest/gtest.h>

namespace mirvo {
namespace {

TEST(Path2d, MoveToAddsAPointAndLineToAPointWithASegment)
{
    Path2d path;
    path.moveTo(0.f, 768.f);
    for (int i = 0; i < 1024; ++i) {
        path.lineTo(static_cast<float>(i) * 2.f, 10.f);
    }
    EXPECT_EQ(path.getNumPoints(), 1025u);
    EXPECT_EQ(path.getNumSegments(), 1024u);
    const std::vector<Vec2f> strip = path.subdivide();
    ASSERT_EQ(strip.size(), 1025u);
    EXPECT_EQ(strip.front(), Vec2f(0.f, 768.f));
    EXPECT_EQ(strip.back(), Vec2f(2046.f, 10.f));
}

TEST(Path2d, ClearEmptiesPointsAndSegments)
{
    Path2d path;
    path.moveTo(1.f, 2.f);
    path.lineTo(3.f, 4.f);
    path.clear();
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(path.getNumSegments(), 0u);
    path.moveTo(5.f, 6.f);
    EXPECT_EQ(path.getNumPoints(), 1u);
    EXPECT_EQ(path.getNumSegments(), 0u);
    EXPECT_EQ(path.getCurrentPoint(), Vec2f(5.f, 6.f));
}

} // namespace
} // namespace mirvo
