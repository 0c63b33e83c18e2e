// Pixels read back from a window (RendererGl::copyWindowSurface), RGBA with rows from
// the top, and a plain writer for them so a frame can be saved without an image library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace mirvo::app {

struct Surface8u {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;

    // Red, green, blue and alpha of one pixel; (0, 0) is the top-left corner.
    const std::uint8_t* pixel(int x, int y) const
    {
        return rgba.data() + (std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4;
    }
};

// Writes the surface as a binary PPM (alpha dropped). Returns false when the file
// cannot be written.
bool writePpm(const Surface8u& surface, const std::filesystem::path& path);

} // namespace mirvo::app
