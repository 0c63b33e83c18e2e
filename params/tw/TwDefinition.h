// The grammar of tweak-bar definition strings: statements of a target (a bar, a bar's
// variable, or GLOBAL) followed by name=value attributes, and the key shortcut syntax
// ("q", "SHIFT+F2"). Pure text handling, so it is tested without a display.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirvo::params::tw {

struct Attribute {
    std::string name;
    std::string value;
};

struct Statement {
    std::string barName;
    std::string varName; // empty for a statement about the bar itself
    std::vector<Attribute> attributes;
};

struct ParseResult {
    std::vector<Statement> statements;
    std::string error;     // empty when the text parsed
    std::string offending; // the text where parsing stopped

    bool ok() const { return error.empty(); }
};

// A whole definition: "`My Bar` size='200 300' color='76 76 76'  Other/var min=0".
ParseResult parseDefinition(std::string_view text);
// The attributes alone, as a variable's definition gives them: "min=0 max=1 keyIncr=i".
ParseResult parseAttributes(std::string_view text);

struct Shortcut {
    int key = 0; // 0: none
    int modifiers = 0;

    bool isSet() const { return key != 0; }
    bool operator==(const Shortcut&) const = default;
};

// "q", "Q", "SHIFT+q", "CTRL+ALT+F3", "SPACE", "LEFT", ...; nothing for text it does not know.
std::optional<Shortcut> parseShortcut(std::string_view text);
// The same key press written one way: an upper-case letter rather than Shift and a
// lower-case one, and no Shift on other printable characters (it is in the character).
Shortcut normalizeShortcut(int key, int modifiers);

// Numbers and flags in attribute values.
std::optional<double> parseNumber(std::string_view text);
std::optional<bool> parseBool(std::string_view text);
// Whitespace-separated integers ("225 200"); nothing unless there are exactly `count`.
std::optional<std::vector<int>> parseInts(std::string_view text, std::size_t count);

} // namespace mirvo::params::tw
