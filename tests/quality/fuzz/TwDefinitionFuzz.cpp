// Fuzzes the tweak-bar definition grammar: any text must parse or be refused with an error
// that names where parsing stopped, never crash or read out of bounds; and the value parsers
// must agree with themselves (a parsed shortcut normalises to a fixed point, a list of
// integers has the length asked for).
#include "params/tw/TwDefinition.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "tw_definition: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace mirvo::params::tw;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    for (const ParseResult& result : {parseDefinition(text), parseAttributes(text)}) {
        if (result.ok()) {
            for (const Statement& statement : result.statements) {
                for (const Attribute& attribute : statement.attributes) {
                    check(!attribute.name.empty(), "an attribute without a name");
                }
            }
        }
    }

    if (const auto shortcut = parseShortcut(text)) {
        const Shortcut once = normalizeShortcut(shortcut->key, shortcut->modifiers);
        check(normalizeShortcut(once.key, once.modifiers) == once, "normalising twice changes a shortcut");
    }
    parseNumber(text);
    parseBool(text);
    for (size_t count = 0; count < 4; ++count) {
        if (const auto ints = parseInts(text, count)) {
            check(ints->size() == count, "a list of integers of another length");
        }
    }
    return 0;
}
