#include "src/run/PngWriter.h"

#include <png.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace mirvo {

void writePng(const std::filesystem::path& path, int width, int height, const std::vector<uint8_t>& rgb,
              bool bottomUp)
{
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    if (width <= 0 || height <= 0 || rgb.size() < rowBytes * static_cast<std::size_t>(height)) {
        throw std::runtime_error("cannot write '" + path.string() + "': the image has no pixels");
    }

    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;

    // A negative stride tells libpng that the first row in memory is the bottom one.
    const auto stride = static_cast<png_int_32>(rowBytes);
    const png_int_32 rowStride = bottomUp ? -stride : stride;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), rowStride, nullptr) == 0) {
        const std::string reason = image.message[0] != '\0' ? image.message : "unknown error";
        png_image_free(&image);
        throw std::runtime_error("cannot write '" + path.string() + "': " + reason);
    }
}

} // namespace mirvo
