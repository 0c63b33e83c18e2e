// Reads a PNG image into 8-bit RGBA through libpng, for the images a shader names for its
// channels. Main thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace mirvo {

struct RgbaImage {
    int width = 0;
    int height = 0;
    // width * height * 4 bytes, rows top to bottom.
    std::vector<std::uint8_t> pixels;
};

// Throws std::runtime_error with a short reason ("no such file", "not a PNG image: ...").
RgbaImage readPng(const std::filesystem::path& path);

} // namespace mirvo
