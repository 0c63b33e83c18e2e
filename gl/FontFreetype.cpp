#include "gl/Font.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace mirvo::gl {

namespace {

constexpr char32_t kEllipsis = 0x2026;

// 26.6 fixed point to whole pixels, up.
int pixelsUp(FT_Pos value)
{
    return static_cast<int>((value + 63) >> 6);
}

class FontFreetype : public Font {
  public:
    explicit FontFreetype(const std::string& path)
    {
        if (FT_Init_FreeType(&mLibrary) != 0) {
            throw FontExc("no font: FreeType cannot start");
        }
        if (FT_New_Face(mLibrary, path.c_str(), 0, &mFace) != 0) {
            FT_Done_FreeType(mLibrary);
            throw FontExc("no font: '" + path + "' cannot be opened as a font");
        }
    }

    ~FontFreetype() override
    {
        FT_Done_Face(mFace);
        FT_Done_FreeType(mLibrary);
    }

    FontFreetype(const FontFreetype&) = delete;
    FontFreetype& operator=(const FontFreetype&) = delete;

    TextBitmap render(const std::string& text, int pixelHeight, int maxWidth) override
    {
        if (pixelHeight <= 0 || maxWidth <= 0 ||
            FT_Set_Pixel_Sizes(mFace, 0, static_cast<FT_UInt>(pixelHeight)) != 0) {
            return {};
        }
        std::vector<FT_UInt> glyphs;
        for (char32_t codePoint : decodeUtf8(text)) {
            // Glyph 0, what a face has for a character it lacks, is its missing-glyph box.
            glyphs.push_back(FT_Get_Char_Index(mFace, codePoint < 0x20 ? U' ' : codePoint));
        }
        std::vector<FT_Pos> pens = layOut(glyphs);
        if (pixelsUp(pens.back()) > maxWidth) {
            fitWithEllipsis(glyphs, pens, maxWidth);
        }

        const FT_Size_Metrics& metrics = mFace->size->metrics;
        const int ascender = pixelsUp(metrics.ascender);
        TextBitmap bitmap;
        bitmap.size =
            Vec2i(std::min(pixelsUp(pens.back()), maxWidth), ascender + pixelsUp(-metrics.descender));
        bitmap.coverage.assign(
            static_cast<std::size_t>(bitmap.size.x) * static_cast<std::size_t>(bitmap.size.y), 0);
        for (std::size_t i = 0; i < glyphs.size(); ++i) {
            if (FT_Load_Glyph(mFace, glyphs[i], FT_LOAD_DEFAULT) != 0 ||
                FT_Render_Glyph(mFace->glyph, FT_RENDER_MODE_NORMAL) != 0) {
                continue;
            }
            const FT_GlyphSlot slot = mFace->glyph;
            blit(bitmap, slot->bitmap, static_cast<int>(pens[i] >> 6) + slot->bitmap_left,
                 ascender - slot->bitmap_top);
        }
        return bitmap;
    }

  private:
    // Each glyph's pen position in 26.6, kerned, and the end of the line last.
    std::vector<FT_Pos> layOut(const std::vector<FT_UInt>& glyphs)
    {
        std::vector<FT_Pos> pens;
        FT_Pos pen = 0;
        FT_UInt previous = 0;
        for (FT_UInt glyph : glyphs) {
            if (previous != 0 && FT_HAS_KERNING(mFace)) {
                FT_Vector kerning{};
                FT_Get_Kerning(mFace, previous, glyph, FT_KERNING_DEFAULT, &kerning);
                pen += kerning.x;
            }
            pens.push_back(pen);
            if (FT_Load_Glyph(mFace, glyph, FT_LOAD_DEFAULT) == 0) {
                pen += mFace->glyph->advance.x;
            }
            previous = glyph;
        }
        pens.push_back(pen);
        return pens;
    }

    // Drops characters from the end until what is left and an ellipsis fit in `maxWidth`.
    void fitWithEllipsis(std::vector<FT_UInt>& glyphs, std::vector<FT_Pos>& pens, int maxWidth)
    {
        std::vector<FT_UInt> ellipsis;
        if (const FT_UInt glyph = FT_Get_Char_Index(mFace, kEllipsis); glyph != 0) {
            ellipsis.push_back(glyph);
        } else {
            ellipsis.assign(3, FT_Get_Char_Index(mFace, U'.'));
        }
        const FT_Pos ellipsisWidth = layOut(ellipsis).back();
        std::size_t kept = glyphs.size();
        while (kept > 0 && pixelsUp(pens[kept] + ellipsisWidth) > maxWidth) {
            --kept;
        }
        glyphs.resize(kept);
        glyphs.insert(glyphs.end(), ellipsis.begin(), ellipsis.end());
        pens = layOut(glyphs);
    }

    static void blit(TextBitmap& target, const FT_Bitmap& source, int left, int top)
    {
        if (source.pixel_mode != FT_PIXEL_MODE_GRAY) {
            return;
        }
        for (int row = 0; row < static_cast<int>(source.rows); ++row) {
            const int y = top + row;
            if (y < 0 || y >= target.size.y) {
                continue;
            }
            const unsigned char* from = source.buffer + static_cast<std::ptrdiff_t>(row) * source.pitch;
            for (int column = 0; column < static_cast<int>(source.width); ++column) {
                const int x = left + column;
                if (x < 0 || x >= target.size.x) {
                    continue;
                }
                std::uint8_t& to =
                    target.coverage[static_cast<std::size_t>(y) * static_cast<std::size_t>(target.size.x) +
                                    static_cast<std::size_t>(x)];
                to = std::max(to, static_cast<std::uint8_t>(from[column]));
            }
        }
    }

    FT_Library mLibrary = nullptr;
    FT_Face mFace = nullptr;
};

} // namespace

std::unique_ptr<Font> Font::open(const std::string& path)
{
    return std::make_unique<FontFreetype>(path);
}

} // namespace mirvo::gl
