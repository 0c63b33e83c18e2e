#include "gl/Font.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace mirvo::gl {
namespace {

constexpr int kPixelHeight = 40;
constexpr int kWide = 100000;

// Columns that hold any ink.
int inkedColumns(const TextBitmap& bitmap)
{
    int columns = 0;
    for (int x = 0; x < bitmap.size.x; ++x) {
        for (int y = 0; y < bitmap.size.y; ++y) {
            if (bitmap.coverage[static_cast<std::size_t>(y * bitmap.size.x + x)] > 128) {
                ++columns;
                break;
            }
        }
    }
    return columns;
}

// Tags come in every encoding but the one promised: what is not UTF-8 becomes U+FFFD, one a
// bad byte, and what follows it is still read.
TEST(Font, MalformedUtf8BecomesReplacementCharacters)
{
    EXPECT_EQ(decodeUtf8("Sông ♫"), U"Sông ♫");
    EXPECT_EQ(decodeUtf8("\xF0\x9F\x8E\xB5"), U"\U0001F3B5");
    EXPECT_EQ(decodeUtf8("caf\xE9!"), U"caf\uFFFD!");                       // Latin-1
    EXPECT_EQ(decodeUtf8("\xC0\xAF"), U"\uFFFD\uFFFD");                     // overlong
    EXPECT_EQ(decodeUtf8("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");           // a surrogate
    EXPECT_EQ(decodeUtf8("\xF4\x90\x80\x80"), U"\uFFFD\uFFFD\uFFFD\uFFFD"); // past U+10FFFF
    EXPECT_EQ(decodeUtf8("ab\xE2\x99"), U"ab\uFFFD\uFFFD");                 // cut short
}

// The system's sans-serif, as the renderer finds it: characters it lacks draw its box, so a
// title in a script the font does not have is never empty; a long one is cut to the width.
TEST(Font, EveryCharacterDrawsAndLongTextFits)
{
    const std::unique_ptr<Font> font = Font::open(Font::findFile("DejaVu Sans"));
    const TextBitmap latin = font->render("Hello", kPixelHeight, kWide);
    ASSERT_FALSE(latin.empty());
    EXPECT_GE(latin.size.y, kPixelHeight);
    EXPECT_GT(inkedColumns(latin), kPixelHeight);

    const TextBitmap missing = font->render("\xE6\xBC\xA2\xE5\xAD\x97", kPixelHeight, kWide);
    ASSERT_FALSE(missing.empty());
    EXPECT_GT(inkedColumns(missing), kPixelHeight / 2) << "the missing glyphs drew nothing";

    const TextBitmap broken = font->render("\xFF\xFE", kPixelHeight, kWide);
    EXPECT_GT(inkedColumns(broken), 0);

    const std::string longTitle(500, 'W');
    const TextBitmap cut = font->render(longTitle, kPixelHeight, 300);
    EXPECT_LE(cut.size.x, 300);
    EXPECT_GT(cut.size.x, 200) << "cut far shorter than the room it had";

    EXPECT_TRUE(font->render("", kPixelHeight, kWide).size.x == 0);
    EXPECT_THROW(Font::open("/nonexistent/font.ttf"), FontExc);
}

} // namespace
} // namespace mirvo::gl
