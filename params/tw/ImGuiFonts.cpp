#include "params/tw/ImGuiFonts.h"

#include "gl/Font.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace mirvo::params::tw {

namespace {

constexpr const char* kFamily = "DejaVu Sans";

// What a TrueType or OpenType file starts with: ImGui's rasteriser reads nothing else, and
// stops the program on what it cannot read.
bool isOutlineFont(const std::vector<char>& data)
{
    if (data.size() < 12) {
        return false;
    }
    for (const char* magic : {"\x00\x01\x00\x00", "true", "OTTO", "ttcf"}) {
        if (std::memcmp(data.data(), magic, 4) == 0) {
            return true;
        }
    }
    return false;
}

// The face's file, read once for the process; empty when there is none to be had.
const std::vector<char>& faceData()
{
    static const std::vector<char> data = [] {
        std::string why;
        try {
            const std::string file = gl::Font::findFile(kFamily);
            std::ifstream in(file, std::ios::binary);
            std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (isOutlineFont(bytes)) {
                return bytes;
            }
            why = "'" + file + "' is not a TrueType or OpenType font";
        } catch (const gl::FontExc& exc) {
            why = exc.what();
        }
        std::cerr << "mirvo: the panels and notices use a built-in bitmap font: " << why << std::endl;
        return std::vector<char>();
    }();
    return data;
}

} // namespace

ImFont* addTextFont(ImFontAtlas& atlas, float pixelSize, const ImWchar* glyphRanges)
{
    const std::vector<char>& data = faceData();
    ImFontConfig config;
    if (!data.empty()) {
        // The bytes stay with this file for the process; atlases only read them.
        config.FontDataOwnedByAtlas = false;
        // Two horizontal samples a pixel are as sharp as three at these sizes, in less texture.
        config.OversampleH = 2;
        return atlas.AddFontFromMemoryTTF(const_cast<char*>(data.data()), static_cast<int>(data.size()),
                                          pixelSize, &config, glyphRanges);
    }
    config.SizePixels = pixelSize;
    return atlas.AddFontDefault(&config);
}

} // namespace mirvo::params::tw
