#include "src/render/ColourConversion.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
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

// The real-valued conversion the integers approximate, from full-range RGB.
double fullLuma(double r, double g, double b)
{
    return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}
double realLuma(double r, double g, double b)
{
    return 16.0 + 219.0 / 255.0 * fullLuma(r, g, b);
}
double realU(double r, double g, double b)
{
    return 128.0 + 224.0 / 255.0 * (b - fullLuma(r, g, b)) / (2.0 * (1.0 - 0.0722));
}
double realV(double r, double g, double b)
{
    return 128.0 + 224.0 / 255.0 * (r - fullLuma(r, g, b)) / (2.0 * (1.0 - 0.2126));
}

// A noisy frame whose rows take every step the conversion has (thirty-two columns, sixteen and
// two at a time), in planes with rows wider than the picture: every sample lands on its own
// pixels and block, the columns past the wide steps included, the rows come out upright and
// nothing is written past a row's end. Each sample is the rounded real value, give or take the
// fixed point's error.
TEST(ColourConversion, EverySampleOfANoisyFrameIsTheRoundedRealValue)
{
    constexpr int kWidth = 86;
    constexpr int kHeight = 12;
    constexpr int kPadding = 10;
    constexpr std::uint8_t kUntouched = 0xA5;
    std::mt19937 random(31);
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<std::uint8_t> rgba(kWidth * kHeight * 4);
    for (std::uint8_t& value : rgba) {
        value = static_cast<std::uint8_t>(byte(random));
    }
    // Extremes as well, where a lane that overflows or saturates the wrong way shows.
    for (int column = 0; column < 8; ++column) {
        for (int channel = 0; channel < 3; ++channel) {
            rgba[static_cast<std::size_t>(column * 4 + channel)] = column % 2 == 0 ? 255 : 0;
        }
    }
    const int yStride = kWidth + kPadding;
    const int cStride = kWidth / 2 + kPadding;
    std::vector<std::uint8_t> y(yStride * kHeight, kUntouched);
    std::vector<std::uint8_t> u(cStride * kHeight / 2, kUntouched);
    std::vector<std::uint8_t> v(cStride * kHeight / 2, kUntouched);
    rgbaToYuv420(rgba.data(), kWidth, kHeight,
                 YuvPlanes{y.data(), yStride, u.data(), cStride, v.data(), cStride});

    // Within half a step of the real value, and the fixed point's few thousandths.
    constexpr double kTolerance = 0.5 + 0.03;
    const auto pixel = [&rgba](int column, int row, int channel) {
        // Bottom row first in the frame read back.
        return static_cast<double>(
            rgba[static_cast<std::size_t>(((kHeight - 1 - row) * kWidth + column) * 4 + channel)]);
    };
    for (int row = 0; row < kHeight; ++row) {
        for (int column = 0; column < yStride; ++column) {
            const int value = y[static_cast<std::size_t>(row * yStride + column)];
            if (column >= kWidth) {
                ASSERT_EQ(value, kUntouched) << "past the end of row " << row;
                continue;
            }
            const double real = realLuma(pixel(column, row, 0), pixel(column, row, 1), pixel(column, row, 2));
            ASSERT_LE(std::abs(value - real), kTolerance) << "luma at " << column << "," << row;
        }
    }
    for (int row = 0; row < kHeight / 2; ++row) {
        for (int column = 0; column < cStride; ++column) {
            const std::size_t at = static_cast<std::size_t>(row * cStride + column);
            if (column >= kWidth / 2) {
                ASSERT_EQ(u[at], kUntouched) << "past the end of row " << row;
                ASSERT_EQ(v[at], kUntouched) << "past the end of row " << row;
                continue;
            }
            std::array<double, 3> mean{};
            for (int channel = 0; channel < 3; ++channel) {
                for (int corner = 0; corner < 4; ++corner) {
                    mean[static_cast<std::size_t>(channel)] +=
                        pixel(column * 2 + corner % 2, row * 2 + corner / 2, channel) / 4.0;
                }
            }
            ASSERT_LE(std::abs(u[at] - realU(mean[0], mean[1], mean[2])), kTolerance)
                << "U at " << column << "," << row;
            ASSERT_LE(std::abs(v[at] - realV(mean[0], mean[1], mean[2])), kTolerance)
                << "V at " << column << "," << row;
        }
    }
}

} // namespace
} // namespace mirvo::render
