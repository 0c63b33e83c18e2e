#include "src/render/Picture.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace mirvo::render {

namespace {

int bigEndian16(const std::uint8_t* data)
{
    return (data[0] << 8) | data[1];
}

std::uint32_t bigEndian32(const std::uint8_t* data)
{
    return (std::uint32_t(data[0]) << 24) | (std::uint32_t(data[1]) << 16) | (std::uint32_t(data[2]) << 8) |
           data[3];
}

std::optional<Vec2i> jpegSize(const std::uint8_t* data, std::size_t size)
{
    // Markers after the start of image, each with its length, up to the first start of frame.
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) {
            return std::nullopt;
        }
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const int length = bigEndian16(data + at + 2);
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (at + 9 > size) {
                return std::nullopt;
            }
            return Vec2i(bigEndian16(data + at + 7), bigEndian16(data + at + 5));
        }
        if (length < 2) {
            return std::nullopt;
        }
        at += 2 + static_cast<std::size_t>(length);
    }
    return std::nullopt;
}

} // namespace

std::optional<Vec2i> statedPictureSize(const std::uint8_t* data, std::size_t size)
{
    static constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P',  'N',  'G',
                                                                  '\r', '\n', 0x1A, '\n'};
    if (size >= 24 && std::equal(kPngSignature.begin(), kPngSignature.end(), data)) {
        // The header chunk comes first: its width and height follow its length and name.
        const std::uint32_t width = bigEndian32(data + 16);
        const std::uint32_t height = bigEndian32(data + 20);
        const auto clamp = [](std::uint32_t side) {
            return static_cast<int>(std::min<std::uint32_t>(side, 1u << 30));
        };
        return Vec2i(clamp(width), clamp(height));
    }
    if (size >= 4 && data[0] == 0xFF && data[1] == 0xD8) {
        return jpegSize(data, size);
    }
    return std::nullopt;
}

Vec2i fitInside(Vec2i size, Vec2i box)
{
    if (size.x <= 0 || size.y <= 0) {
        return {0, 0};
    }
    const double scale = std::min(static_cast<double>(box.x) / size.x, static_cast<double>(box.y) / size.y);
    return {std::max(1, static_cast<int>(std::lround(size.x * scale))),
            std::max(1, static_cast<int>(std::lround(size.y * scale)))};
}

std::vector<std::string> coverFilesBeside(const std::string& song)
{
    namespace fs = std::filesystem;
    static constexpr std::array<const char*, 3> kNames = {"cover.jpg", "folder.jpg", "front.png"};
    const fs::path folder =
        fs::path(song).parent_path().empty() ? fs::path(".") : fs::path(song).parent_path();
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    // The same name in two cases is taken in one order on every run.
    std::sort(entries.begin(), entries.end());
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    std::vector<std::string> files;
    for (const char* name : kNames) {
        for (const fs::path& entry : entries) {
            if (lower(entry.filename().string()) == name && fs::is_regular_file(entry, error)) {
                files.push_back(entry.string());
            }
        }
    }
    return files;
}

} // namespace mirvo::render
