#include "gl/Font.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace mirvo::gl {

std::string Font::findFile(const std::string& family)
{
    // The library's own configuration, loaded once for the process and kept, as fontconfig
    // intends; a failure to load it is told as no font.
    if (FcInit() == FcFalse) {
        throw FontExc("no font: the font configuration cannot be loaded");
    }
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(
        FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str())), FcPatternDestroy);
    if (!pattern) {
        throw FontExc("no font: '" + family + "' is not a font name");
    }
    FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> match(
        FcFontMatch(nullptr, pattern.get(), &result), FcPatternDestroy);
    FcChar8* file = nullptr;
    if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch || file == nullptr) {
        throw FontExc("no font: nothing installed answers to '" + family + "'");
    }
    return reinterpret_cast<const char*>(file);
}

} // namespace mirvo::gl
