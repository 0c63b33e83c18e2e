// Writes an 8-bit RGB image as a PNG file, uncompressed (stored deflate blocks), so the
// screenshot option needs no image library. Used on the main thread after a frame.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace mirvo {

// `rgb` holds width * height * 3 bytes, rows top to bottom unless `bottomUp` (the order
// glReadPixels delivers). Throws std::runtime_error naming the file when it cannot be written.
void writePng(const std::filesystem::path& path, int width, int height, const std::vector<uint8_t>& rgb,
              bool bottomUp);

// The PNG chunk checksum (CRC-32 of ISO 3309).
uint32_t pngCrc32(const uint8_t* data, std::size_t size, uint32_t crc = 0);

} // namespace mirvo
