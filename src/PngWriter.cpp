// A minimal PNG encoder: IHDR, one IDAT of stored deflate blocks, IEND.
#include "src/PngWriter.h"

#include <array>
#include <cassert>
#include <fstream>
#include <stdexcept>
#include <string>

namespace mirvo {

namespace {

constexpr std::size_t kMaxStoredBlock = 65535;

void appendBigEndian(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 24));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}

void appendChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& data)
{
    appendBigEndian(out, static_cast<uint32_t>(data.size()));
    const std::size_t typeStart = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    appendBigEndian(out, pngCrc32(out.data() + typeStart, out.size() - typeStart));
}

uint32_t adler32(const std::vector<uint8_t>& data)
{
    constexpr uint32_t kMod = 65521;
    uint32_t a = 1;
    uint32_t b = 0;
    for (uint8_t byte : data) {
        a = (a + byte) % kMod;
        b = (b + a) % kMod;
    }
    return (b << 16) | a;
}

std::vector<uint8_t> zlibStored(const std::vector<uint8_t>& raw)
{
    std::vector<uint8_t> out;
    out.reserve(raw.size() + raw.size() / kMaxStoredBlock * 5 + 16);
    out.push_back(0x78);
    out.push_back(0x01);
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min(kMaxStoredBlock, raw.size() - offset);
        const bool last = offset + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<uint8_t>(length));
        out.push_back(static_cast<uint8_t>(length >> 8));
        out.push_back(static_cast<uint8_t>(~length));
        out.push_back(static_cast<uint8_t>(~length >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(offset),
                   raw.begin() + static_cast<std::ptrdiff_t>(offset + length));
        offset += length;
    } while (offset < raw.size());
    appendBigEndian(out, adler32(raw));
    return out;
}

} // namespace

uint32_t pngCrc32(const uint8_t* data, std::size_t size, uint32_t crc)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

void writePng(const std::filesystem::path& path, int width, int height, const std::vector<uint8_t>& rgb,
              bool bottomUp)
{
    assert(width > 0 && height > 0 && "an image has pixels");
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    assert(rgb.size() == rowBytes * static_cast<std::size_t>(height) && "three bytes per pixel");

    std::vector<uint8_t> raw;
    raw.reserve((rowBytes + 1) * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row) {
        const int source = bottomUp ? height - 1 - row : row;
        raw.push_back(0); // filter type None
        const auto begin =
            rgb.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(source) * rowBytes);
        raw.insert(raw.end(), begin, begin + static_cast<std::ptrdiff_t>(rowBytes));
    }

    std::vector<uint8_t> header;
    appendBigEndian(header, static_cast<uint32_t>(width));
    appendBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit, RGB, deflate, adaptive filter, no interlace

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    appendChunk(file, "IHDR", header);
    appendChunk(file, "IDAT", zlibStored(raw));
    appendChunk(file, "IEND", {});

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write the screenshot '" + path.string() + "'");
    }
}

} // namespace mirvo
