#include "src/PngWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mirvo {
namespace {

uint32_t readBigEndian(const std::vector<uint8_t>& bytes, std::size_t at)
{
    return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) |
           uint32_t(bytes[at + 3]);
}

std::vector<uint8_t> readAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(PngWriter, ChecksumMatchesTheKnownValueOfAnEmptyEndChunk)
{
    const uint8_t iend[] = {'I', 'E', 'N', 'D'};
    EXPECT_EQ(pngCrc32(iend, 4), 0xAE426082u);
}

TEST(PngWriter, WritesSignatureHeaderAndRowsTopDown)
{
    const auto path = std::filesystem::path(testing::TempDir()) / "mirvo-png-test.png";
    // Two rows of two pixels, delivered bottom-up: the red row is the bottom one.
    const std::vector<uint8_t> rgb = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
    writePng(path, 2, 2, rgb, true);
    const std::vector<uint8_t> bytes = readAll(path);
    std::filesystem::remove(path);

    ASSERT_GT(bytes.size(), 8u + 25u + 12u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8),
              (std::vector<uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    EXPECT_EQ(readBigEndian(bytes, 16), 2u); // width
    EXPECT_EQ(readBigEndian(bytes, 20), 2u); // height

    // IDAT follows IHDR: 2-byte zlib header, 5-byte stored block header, then the rows.
    const std::size_t idatData = 8 + 25 + 8;
    EXPECT_EQ(std::string(bytes.begin() + idatData - 4, bytes.begin() + idatData), "IDAT");
    const std::size_t firstRow = idatData + 2 + 5;
    EXPECT_EQ(bytes[firstRow], 0);       // filter byte
    EXPECT_EQ(bytes[firstRow + 3], 255); // blue: the top row came from the end of the input
    EXPECT_EQ(bytes[firstRow + 1], 0);
    EXPECT_EQ(std::string(bytes.end() - 8, bytes.end() - 4), "IEND");
}

TEST(PngWriter, SaysWhichFileCouldNotBeWritten)
{
    const std::vector<uint8_t> rgb(3, 0);
    try {
        writePng("/nonexistent-dir/shot.png", 1, 1, rgb, false);
        FAIL() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent-dir/shot.png"), std::string::npos);
    }
}

} // namespace
} // namespace mirvo
