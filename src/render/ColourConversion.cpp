#include "src/render/ColourConversion.h"

#include <cassert>
#include <cstddef>

namespace mirvo::render {

namespace {

// Fixed point with 16 fractional bits: exact enough that no 8-bit value comes out one off from
// the rounded real product.
constexpr int kShift = 16;
constexpr double kOne = 1 << kShift;
constexpr double kKr = 0.2126;
constexpr double kKb = 0.0722;
constexpr double kKg = 1.0 - kKr - kKb;
// Limited range: luma spans 219 steps from 16, chroma 224 around 128.
constexpr double kLumaScale = 219.0 / 255.0;
constexpr double kChromaScale = 224.0 / 255.0;

constexpr int fixed(double value)
{
    return static_cast<int>(value * kOne + (value < 0 ? -0.5 : 0.5));
}

constexpr int kYr = fixed(kKr * kLumaScale);
constexpr int kYg = fixed(kKg * kLumaScale);
constexpr int kYb = fixed(kKb * kLumaScale);
// Chroma from the sum of four pixels: a quarter of each coefficient.
constexpr int kUr = fixed(-kKr / (2.0 * (1.0 - kKb)) * kChromaScale / 4.0);
constexpr int kUg = fixed(-kKg / (2.0 * (1.0 - kKb)) * kChromaScale / 4.0);
constexpr int kUb = fixed(0.5 * kChromaScale / 4.0);
constexpr int kVr = fixed(0.5 * kChromaScale / 4.0);
constexpr int kVg = fixed(-kKg / (2.0 * (1.0 - kKr)) * kChromaScale / 4.0);
constexpr int kVb = fixed(-kKb / (2.0 * (1.0 - kKr)) * kChromaScale / 4.0);
constexpr int kRound = 1 << (kShift - 1);
constexpr int kLumaOffset = (16 << kShift) + kRound;
constexpr int kChromaOffset = (128 << kShift) + kRound;

inline std::uint8_t luma(const std::uint8_t* pixel)
{
    return static_cast<std::uint8_t>((kYr * pixel[0] + kYg * pixel[1] + kYb * pixel[2] + kLumaOffset) >>
                                     kShift);
}

} // namespace

void rgbaToYuv420(const std::uint8_t* rgba, int width, int height, const YuvPlanes& planes)
{
    assert(width % 2 == 0 && height % 2 == 0 && "4:2:0 needs even sides");
    const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(width) * 4;
    for (int row = 0; row < height; row += 2) {
        // The GL's rows start at the bottom.
        const std::uint8_t* top = rgba + (height - 1 - row) * rowBytes;
        const std::uint8_t* bottom = top - rowBytes;
        std::uint8_t* yTop = planes.y + static_cast<std::ptrdiff_t>(row) * planes.yStride;
        std::uint8_t* yBottom = yTop + planes.yStride;
        std::uint8_t* u = planes.u + static_cast<std::ptrdiff_t>(row / 2) * planes.uStride;
        std::uint8_t* v = planes.v + static_cast<std::ptrdiff_t>(row / 2) * planes.vStride;
        for (int column = 0; column < width; column += 2) {
            const std::uint8_t* a = top + column * 4;
            const std::uint8_t* b = bottom + column * 4;
            yTop[column] = luma(a);
            yTop[column + 1] = luma(a + 4);
            yBottom[column] = luma(b);
            yBottom[column + 1] = luma(b + 4);
            const int red = a[0] + a[4] + b[0] + b[4];
            const int green = a[1] + a[5] + b[1] + b[5];
            const int blue = a[2] + a[6] + b[2] + b[6];
            u[column / 2] =
                static_cast<std::uint8_t>((kUr * red + kUg * green + kUb * blue + kChromaOffset) >> kShift);
            v[column / 2] =
                static_cast<std::uint8_t>((kVr * red + kVg * green + kVb * blue + kChromaOffset) >> kShift);
        }
    }
}

} // namespace mirvo::render
