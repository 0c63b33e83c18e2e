#include "src/run/PngWriter.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace mirvo {
namespace {

struct DecodedPng {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
};

DecodedPng readPng(const std::filesystem::path& path)
{
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        ADD_FAILURE() << "not a readable PNG: " << image.message;
        return {};
    }
    image.format = PNG_FORMAT_RGB;
    DecodedPng decoded{static_cast<int>(image.width), static_cast<int>(image.height),
                       std::vector<uint8_t>(PNG_IMAGE_SIZE(image))};
    if (png_image_finish_read(&image, nullptr, decoded.rgb.data(), 0, nullptr) == 0) {
        ADD_FAILURE() << "PNG did not decode: " << image.message;
    }
    return decoded;
}

std::filesystem::path tempPng(const char* name)
{
    return std::filesystem::path(testing::TempDir()) / name;
}

TEST(PngWriter, ReadsBackPixelForPixelWithBottomUpRowsTurnedTheRightWayUp)
{
    const auto path = tempPng("mirvo-png-rows.png");
    // Three rows of two pixels, delivered bottom-up: red at the bottom, blue at the top.
    const std::vector<uint8_t> bottomUp = {255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255};
    writePng(path, 2, 3, bottomUp, true);
    const DecodedPng decoded = readPng(path);
    std::filesystem::remove(path);

    ASSERT_EQ(decoded.width, 2);
    ASSERT_EQ(decoded.height, 3);
    const std::vector<uint8_t> topDown = {0, 0, 255, 0, 0, 255, 0, 255, 0, 0, 255, 0, 255, 0, 0, 255, 0, 0};
    EXPECT_EQ(decoded.rgb, topDown);
}

TEST(PngWriter, CompressesAScreenSizedFrameFarBelowItsRawSize)
{
    // A black frame with a few bright shapes, like most of what the scenes draw.
    constexpr int kWidth = 1280;
    constexpr int kHeight = 720;
    std::vector<uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3, 0);
    for (int y = 300; y < 420; ++y) {
        for (int x = 500; x < 780; ++x) {
            uint8_t* pixel = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
            pixel[0] = static_cast<uint8_t>(x);
            pixel[2] = static_cast<uint8_t>(y);
        }
    }
    const auto path = tempPng("mirvo-png-frame.png");
    writePng(path, kWidth, kHeight, rgb, false);
    const auto fileSize = std::filesystem::file_size(path);
    const DecodedPng decoded = readPng(path);
    std::filesystem::remove(path);

    EXPECT_LT(fileSize, rgb.size() / 20);
    EXPECT_EQ(decoded.rgb, rgb);
}

TEST(PngWriter, SaysWhichFileCouldNotBeWritten)
{
    const std::vector<uint8_t> rgb(3, 0);
    for (const char* target : {"/nonexistent-dir/shot.png", ""}) {
        try {
            writePng(target, 1, 1, rgb, false);
            ADD_FAILURE() << "no error for '" << target << "'";
        } catch (const std::runtime_error& error) {
            EXPECT_NE(std::string(error.what()).find(std::string("'") + target + "'"), std::string::npos)
                << error.what();
        }
    }
    EXPECT_THROW(writePng(tempPng("mirvo-png-empty.png"), 2, 2, rgb, false), std::runtime_error);
}

} // namespace
} // namespace mirvo
