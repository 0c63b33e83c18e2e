// Text set in one line at a pixel size, as an 8-bit coverage bitmap that the caller uploads and
// draws. The face is a system font found by family name; FreeType rasterises it and fontconfig
// finds it, each behind this interface in files named for them. One thread at a time.
#pragma once

#include "core/Exception.h"
#include "core/Vec.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirvo::gl {

// No font could be found or opened; the message is one line for the user.
class FontExc : public Exception {
  public:
    using Exception::Exception;
};

// One line of text, top row first, one coverage byte a pixel (0 clear, 255 covered).
struct TextBitmap {
    Vec2i size{0, 0};
    std::vector<std::uint8_t> coverage;

    bool empty() const { return size.x == 0 || size.y == 0; }
};

class Font {
  public:
    virtual ~Font() = default;

    // `text` in UTF-8 (a byte that is not UTF-8 stands for U+FFFD), set `pixelHeight` pixels
    // from line to line. A character the face lacks shows as the face's own missing-glyph box.
    // Text wider than `maxWidth` is cut at a character and ends in an ellipsis.
    virtual TextBitmap render(const std::string& text, int pixelHeight, int maxWidth) = 0;

    // The file of the regular face of `family` ("sans-serif" and the like work too), or of the
    // face the system substitutes for it. Throws FontExc.
    static std::string findFile(const std::string& family);
    // Opens the face in the font file `path`. Throws FontExc.
    static std::unique_ptr<Font> open(const std::string& path);
};

// Code points of UTF-8 `text`; a malformed sequence gives one U+FFFD and decoding goes on
// after its first byte.
std::u32string decodeUtf8(const std::string& text);

} // namespace mirvo::gl
