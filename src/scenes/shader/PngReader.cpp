#include "src/scenes/shader/PngReader.h"

#include <png.h>

#include <cstring>
#include <string>

namespace mirvo {

namespace {

// An image this large as a texture would only fail later in the GL, or take its memory.
constexpr png_uint_32 kMaxSide = 8192;

} // namespace

RgbaImage readPng(const std::filesystem::path& path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        throw std::runtime_error("no such file");
    }
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        const std::string reason = image.message;
        png_image_free(&image);
        throw std::runtime_error("not a PNG image: " + reason);
    }
    if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
        png_image_free(&image);
        throw std::runtime_error("an image of " + std::to_string(image.width) + "x" +
                                 std::to_string(image.height) + " (up to 8192 a side)");
    }
    image.format = PNG_FORMAT_RGBA;
    RgbaImage out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.pixels.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr) == 0) {
        const std::string reason = image.message;
        png_image_free(&image);
        throw std::runtime_error("a damaged PNG image: " + reason);
    }
    return out;
}

} // namespace mirvo
