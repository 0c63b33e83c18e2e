// Writes an 8-bit RGB image as a compressed PNG file through libpng. Used on the main thread
// after a frame, for the screenshot option.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace mirvo {

// `rgb` holds width * height * 3 bytes, rows top to bottom unless `bottomUp` (the order
// glReadPixels delivers). Throws std::runtime_error naming the file when it cannot be written.
void writePng(const std::filesystem::path& path, int width, int height, const std::vector<uint8_t>& rgb,
              bool bottomUp);

} // namespace mirvo
