#include "gl/Font.h"

namespace mirvo::gl {

std::u32string decodeUtf8(const std::string& text)
{
    constexpr char32_t kReplacement = 0xFFFD;
    std::u32string codePoints;
    codePoints.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = 0;
        char32_t value = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            codePoints.push_back(lead);
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) {
            length = 2, value = lead & 0x1F, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, value = lead & 0x0F, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, value = lead & 0x07, smallest = 0x10000;
        }
        bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            value = (value << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode's end are not characters.
        valid = valid && value >= smallest && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
        codePoints.push_back(valid ? value : kReplacement);
        i += valid ? static_cast<std::size_t>(length) : 1;
    }
    return codePoints;
}

} // namespace mirvo::gl
