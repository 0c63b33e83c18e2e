// RGBA as the GL reads it back into the YUV 4:2:0 planes the video encoders take: full-range
// RGB into limited-range BT.709, each chroma sample the mean of its 2x2 pixels. No scaling
// happens, so a direct loop does in one pass what a general scaler does in several.
#pragma once

#include <cstdint>

namespace mirvo::render {

struct YuvPlanes {
    std::uint8_t* y;
    int yStride;
    std::uint8_t* u;
    int uStride;
    std::uint8_t* v;
    int vStride;
};

// `rgba` holds `height` rows of `width` pixels, the bottom row first; the planes get the top
// row first. Width and height are even.
void rgbaToYuv420(const std::uint8_t* rgba, int width, int height, const YuvPlanes& planes);

} // namespace mirvo::render
