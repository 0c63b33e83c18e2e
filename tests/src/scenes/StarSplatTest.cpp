// The CPU's star sum at the edges of what it is given: images narrower than one group of pixels,
// stars across every edge and corner, stars too large, too far or not numbers at all. Under the
// address sanitizer a write past a row shows here.
#include "src/scenes/StarSplat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace mirvo {
namespace {

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;

std::vector<std::uint32_t> pixelsOf(const StarSplat& splat)
{
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < splat.getSize().y; ++y) {
        for (int x = 0; x < splat.getSize().x; ++x) {
            pixels.push_back(splat.pixelAt(x, y));
        }
    }
    return pixels;
}

TEST(StarSplat, StarsOverEveryEdgeLightOnlyWhatTheirCircleCovers)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const Vec2i size : {Vec2i(1, 1), Vec2i(7, 3), Vec2i(9, 17), Vec2i(64, 32)}) {
        const float w = static_cast<float>(size.x);
        const float h = static_cast<float>(size.y);
        for (const float diameter : {0.5f, 3.0f, 20.0f, 1e6f}) {
            for (const Vec2f at :
                 {Vec2f(0, 0), Vec2f(w, 0), Vec2f(0, h), Vec2f(w, h), Vec2f(w / 2, h / 2), Vec2f(-1, h / 2),
                  Vec2f(w + 1, h / 2), Vec2f(w / 2, -1), Vec2f(w / 2, h + 1)}) {
                StarSplat splat;
                splat.begin(size);
                splat.add(at.x, at.y, diameter, Vec3f(1.0f, 0.5f, 0.25f));
                const float radius = diameter / 2;
                for (int y = 0; y < size.y; ++y) {
                    for (int x = 0; x < size.x; ++x) {
                        const std::uint32_t pixel = splat.pixelAt(x, y);
                        ASSERT_EQ(pixel >> 24, 0xFFu) << "the frame stays opaque";
                        const float dx = static_cast<float>(x) + 0.5f - at.x;
                        const float dy = static_cast<float>(y) + 0.5f - at.y;
                        if (dx * dx + dy * dy >= radius * radius) {
                            ASSERT_EQ(pixel, kOpaqueBlack) << "lit outside the circle at " << x << "," << y;
                        }
                    }
                }
                if (diameter == 1e6f) {
                    EXPECT_NE(splat.pixelAt(0, 0), kOpaqueBlack) << "a star over the whole image lights it";
                }
            }
        }
        // What is not a place, or is nowhere near, adds nothing.
        StarSplat splat;
        splat.begin(size);
        for (const float bad : {nan, inf, -inf, 1e30f, -1e30f}) {
            splat.add(bad, h / 2, 10.0f, Vec3f(1, 1, 1));
            splat.add(w / 2, bad, 10.0f, Vec3f(1, 1, 1));
            splat.add(w / 2, h / 2, bad == inf ? nan : bad, Vec3f(1, 1, 1));
        }
        splat.add(w / 2, h / 2, -5.0f, Vec3f(1, 1, 1));
        EXPECT_EQ(pixelsOf(splat), std::vector<std::uint32_t>(std::size_t(size.x) * size.y, kOpaqueBlack));
    }
}

TEST(StarSplat, ASumThatReachesWhiteStaysWhite)
{
    // Saturating like the GL's 8-bit blend: a thousand bright stars on one place are white, not a
    // sum that wrapped round to dark.
    StarSplat splat;
    splat.begin(Vec2i(32, 32));
    for (int i = 0; i < 1000; ++i) {
        splat.add(16.0f, 16.0f, 30.0f, Vec3f(0.7f, 0.7f, 0.7f));
    }
    EXPECT_EQ(splat.pixelAt(16, 16), 0xFFFFFFFFu);
    EXPECT_EQ(splat.pixelAt(20, 16), 0xFFFFFFFFu);
}

} // namespace
} // namespace mirvo
