#include "src/render/VideoNames.h"

#include "src/Notices.h"

#include <filesystem>
#include <string_view>

namespace mirvo::render {

namespace {

// What memory cards' and network shares' file systems refuse besides the slash.
constexpr std::string_view kRefused = "/\\:*?\"<>|";

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string lowerCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// `text` cut to at most `bytes`, at a character boundary.
std::string cut(std::string text, std::size_t bytes)
{
    if (text.size() > bytes) {
        while (bytes > 0 && isContinuationByte(text[bytes])) {
            --bytes;
        }
        text.resize(bytes);
    }
    return text;
}

// Control characters become spaces (notice::printable); refused characters underscores.
std::string safe(const std::string& text)
{
    std::string name = notice::printable(text);
    for (char& c : name) {
        if (kRefused.find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    const std::size_t first = name.find_first_not_of(". ");
    if (first == std::string::npos) {
        return {};
    }
    name.erase(0, first);
    name.erase(name.find_last_not_of(". ") + 1);
    return name;
}

} // namespace

std::string videoStem(const std::string& title, const std::string& artist, const std::string& fileName)
{
    std::string name = safe(title);
    if (!name.empty()) {
        if (const std::string by = safe(artist); !by.empty()) {
            name = by + " - " + name;
        }
    } else {
        name = safe(std::filesystem::path(fileName).stem().string());
    }
    return name.empty() ? std::string("track") : name;
}

void VideoNames::reserve(const std::string& fileName)
{
    mTaken.insert(lowerCase(fileName));
}

std::string VideoNames::take(const std::string& stem)
{
    // Room for " (99)" and the extension; a cut may leave a space or dot at the end.
    const std::string base = cut(stem, kMaxVideoNameBytes - 6 - mExtension.size());
    for (int number = 1;; ++number) {
        const std::string name =
            base + (number == 1 ? std::string() : " (" + std::to_string(number) + ")") + mExtension;
        if (mTaken.insert(lowerCase(name)).second) {
            return name;
        }
    }
}

} // namespace mirvo::render
