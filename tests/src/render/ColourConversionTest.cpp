#include "src/render/ColourConversion.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace mirvo::render {
namespace {

struct Converted {
    std::vector<std::uint8_t> y, u, v;
};

// A 4x2 frame of two 2x2 blocks, `left` and `right`, bottom row first as the GL reads it.
Converted convertBlocks(std::array<std::uint8_t, 3> left, std::array<std::uint8_t, 3> right)
{
    std::vector<std::uint8_t> rgba;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 4; ++column) {
            const auto& colour = column < 2 ? left : right;
            rgba.insert(rgba.end(), {colour[0], colour[1], colour[2], 255});
        }
    }
    Converted out{std::vector<std::uint8_t>(4 * 2), std::vector<std::uint8_t>(2),
                  std::vector<std::uint8_t>(2)};
    rgbaToYuv420(rgba.data(), 4, 2, YuvPlanes{out.y.data(), 4, out.u.data(), 2, out.v.data(), 2});
    return out;
}

// Limited-range BT.709 values of the primaries, rounded.
TEST(ColourConversion, GivesTheLimitedRangeBt709ValuesOfKnownColours)
{
    struct Case {
        std::array<std::uint8_t, 3> rgb;
        int y, u, v;
    };
    for (const Case& c :
         {Case{{0, 0, 0}, 16, 128, 128}, Case{{255, 255, 255}, 235, 128, 128},
          Case{{255, 0, 0}, 63, 102, 240}, Case{{0, 255, 0}, 173, 42, 26}, Case{{0, 0, 255}, 32, 240, 118}}) {
        const Converted out = convertBlocks(c.rgb, c.rgb);
        EXPECT_EQ(out.y[0], c.y) << int(c.rgb[0]) << "," << int(c.rgb[1]) << "," << int(c.rgb[2]);
        EXPECT_EQ(out.u[0], c.u) << int(c.rgb[0]) << "," << int(c.rgb[1]) << "," << int(c.rgb[2]);
        EXPECT_EQ(out.v[0], c.v) << int(c.rgb[0]) << "," << int(c.rgb[1]) << "," << int(c.rgb[2]);
    }
}

TEST(ColourConversion, KeepsBlocksApartAndTurnsTheRowsUpright)
{
    const Converted out = convertBlocks({0, 0, 0}, {255, 255, 255});
    EXPECT_EQ(out.y[0], 16);
    EXPECT_EQ(out.y[3], 235);
    EXPECT_EQ(out.u[0], 128);
    EXPECT_EQ(out.u[1], 128);

    // The GL's first row is the picture's bottom one.
    std::vector<std::uint8_t> rgba(2 * 2 * 4, 0);
    for (int byte = 8; byte < 16; ++byte) {
        rgba[static_cast<std::size_t>(byte)] = 255;
    }
    std::vector<std::uint8_t> y(4), u(1), v(1);
    rgbaToYuv420(rgba.data(), 2, 2, YuvPlanes{y.data(), 2, u.data(), 1, v.data(), 1});
    EXPECT_EQ(y[0], 235);
    EXPECT_EQ(y[2], 16);
}

} // namespace
} // namespace mirvo::render
