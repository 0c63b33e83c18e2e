#include "params/tw/TwDefinition.h"

#include "params/tw/Tw.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <utility>

namespace mirvo::params::tw {

namespace {

constexpr std::size_t kOffendingLength = 40;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isQuote(char c)
{
    return c == '\'' || c == '"' || c == '`';
}

class Scanner {
  public:
    explicit Scanner(std::string_view text) : mText(text) {}

    void skipSpace()
    {
        while (mPos < mText.size() && isSpace(mText[mPos])) {
            ++mPos;
        }
    }
    bool atEnd() const { return mPos >= mText.size(); }
    char peek() const { return atEnd() ? '\0' : mText[mPos]; }
    void advance() { ++mPos; }
    std::size_t pos() const { return mPos; }
    void rewind(std::size_t pos) { mPos = pos; }
    std::string rest(std::size_t from) const { return std::string(mText.substr(from, kOffendingLength)); }

    // A quoted run (any of the three quotes) or a bare word that stops at a space or at
    // one of `stops`. Returns false for an unterminated quote.
    bool readToken(std::string& token, std::string_view stops, bool& quoted)
    {
        token.clear();
        quoted = false;
        if (isQuote(peek())) {
            const char quote = peek();
            const std::size_t close = mText.find(quote, mPos + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            token = std::string(mText.substr(mPos + 1, close - mPos - 1));
            mPos = close + 1;
            quoted = true;
            return true;
        }
        while (!atEnd() && !isSpace(peek()) && stops.find(peek()) == std::string_view::npos) {
            token += peek();
            ++mPos;
        }
        return true;
    }

  private:
    std::string_view mText;
    std::size_t mPos = 0;
};

ParseResult failure(ParseResult result, std::string error, const Scanner& scanner, std::size_t at)
{
    result.error = std::move(error);
    result.offending = scanner.rest(at);
    return result;
}

// Reads "name=value" pairs into `statement` until the end or a word that is not followed
// by '=' (the next statement's target), where it stops without consuming the word.
bool readAttributes(Scanner& scanner, Statement& statement, ParseResult& result)
{
    while (true) {
        scanner.skipSpace();
        if (scanner.atEnd()) {
            return true;
        }
        const std::size_t start = scanner.pos();
        if (isQuote(scanner.peek())) {
            return true; // a quoted name can only be a target
        }
        std::string name;
        bool quoted = false;
        scanner.readToken(name, "=/", quoted);
        scanner.skipSpace();
        if (scanner.peek() != '=') {
            if (name.empty()) {
                result = failure(std::move(result), "expected a parameter name", scanner, start);
                return false;
            }
            scanner.rewind(start);
            return true;
        }
        if (name.empty()) {
            result = failure(std::move(result), "missing parameter name before '='", scanner, start);
            return false;
        }
        scanner.advance();
        scanner.skipSpace();
        const std::size_t valueStart = scanner.pos();
        std::string value;
        if (!scanner.readToken(value, "", quoted)) {
            result = failure(std::move(result), "unterminated quote", scanner, valueStart);
            return false;
        }
        if (value.empty() && !quoted) {
            result = failure(std::move(result), "missing value for '" + name + "'", scanner, start);
            return false;
        }
        statement.attributes.push_back({std::move(name), std::move(value)});
    }
}

int keyNamed(std::string_view name)
{
    static constexpr std::array<std::pair<std::string_view, int>, 20> kNames{{
        {"SPACE", TW_KEY_SPACE},
        {"RETURN", TW_KEY_RETURN},
        {"ENTER", TW_KEY_RETURN},
        {"ESC", TW_KEY_ESCAPE},
        {"ESCAPE", TW_KEY_ESCAPE},
        {"TAB", TW_KEY_TAB},
        {"BACKSPACE", TW_KEY_BACKSPACE},
        {"BS", TW_KEY_BACKSPACE},
        {"DELETE", TW_KEY_DELETE},
        {"DEL", TW_KEY_DELETE},
        {"UP", TW_KEY_UP},
        {"DOWN", TW_KEY_DOWN},
        {"LEFT", TW_KEY_LEFT},
        {"RIGHT", TW_KEY_RIGHT},
        {"INSERT", TW_KEY_INSERT},
        {"INS", TW_KEY_INSERT},
        {"HOME", TW_KEY_HOME},
        {"END", TW_KEY_END},
        {"PGUP", TW_KEY_PAGE_UP},
        {"PGDOWN", TW_KEY_PAGE_DOWN},
    }};
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    for (const auto& [keyName, code] : kNames) {
        if (upper == keyName) {
            return code;
        }
    }
    if (upper.size() >= 2 && upper[0] == 'F') {
        int number = 0;
        const auto [end, error] = std::from_chars(upper.data() + 1, upper.data() + upper.size(), number);
        if (error == std::errc() && end == upper.data() + upper.size() && number >= 1 && number <= 15) {
            return TW_KEY_F1 + number - 1;
        }
    }
    return 0;
}

int modifierNamed(std::string_view name)
{
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    if (upper == "SHIFT") {
        return TW_KMOD_SHIFT;
    }
    if (upper == "CTRL") {
        return TW_KMOD_CTRL;
    }
    if (upper == "ALT") {
        return TW_KMOD_ALT;
    }
    if (upper == "META" || upper == "CMD") {
        return TW_KMOD_META;
    }
    return 0;
}

} // namespace

ParseResult parseDefinition(std::string_view text)
{
    ParseResult result;
    Scanner scanner(text);
    while (true) {
        scanner.skipSpace();
        if (scanner.atEnd()) {
            return result;
        }
        const std::size_t start = scanner.pos();
        Statement statement;
        bool quoted = false;
        if (!scanner.readToken(statement.barName, "=/", quoted)) {
            return failure(std::move(result), "unterminated quote", scanner, start);
        }
        if (statement.barName.empty()) {
            return failure(std::move(result), "expected a bar name", scanner, start);
        }
        if (scanner.peek() == '/') {
            scanner.advance();
            const std::size_t varStart = scanner.pos();
            if (!scanner.readToken(statement.varName, "=", quoted)) {
                return failure(std::move(result), "unterminated quote", scanner, varStart);
            }
            if (statement.varName.empty()) {
                return failure(std::move(result), "expected a variable name after '/'", scanner, varStart);
            }
        }
        if (scanner.peek() == '=') {
            return failure(std::move(result), "expected a bar name before the parameters", scanner, start);
        }
        if (!readAttributes(scanner, statement, result)) {
            return result;
        }
        result.statements.push_back(std::move(statement));
    }
}

ParseResult parseAttributes(std::string_view text)
{
    ParseResult result;
    Scanner scanner(text);
    Statement statement;
    if (!readAttributes(scanner, statement, result)) {
        return result;
    }
    scanner.skipSpace();
    if (!scanner.atEnd()) {
        return failure(std::move(result), "expected name=value", scanner, scanner.pos());
    }
    result.statements.push_back(std::move(statement));
    return result;
}

std::optional<Shortcut> parseShortcut(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    int modifiers = 0;
    // A '+' that ends the text is the key itself ("CTRL++").
    std::size_t plus;
    while (text.size() > 1 && (plus = text.find('+', 1)) != std::string_view::npos) {
        const int modifier = modifierNamed(text.substr(0, plus));
        if (modifier == 0) {
            return std::nullopt;
        }
        modifiers |= modifier;
        text.remove_prefix(plus + 1);
    }
    int key = 0;
    if (text.size() == 1) {
        key = static_cast<unsigned char>(text[0]);
    } else {
        key = keyNamed(text);
    }
    if (key == 0) {
        return std::nullopt;
    }
    return normalizeShortcut(key, modifiers);
}

Shortcut normalizeShortcut(int key, int modifiers)
{
    const bool printable = key > 32 && key < 127;
    if (printable && (modifiers & TW_KMOD_SHIFT) != 0 && std::islower(key)) {
        key = std::toupper(key);
    }
    if (printable) {
        modifiers &= ~TW_KMOD_SHIFT;
    }
    return {key, modifiers};
}

std::optional<double> parseNumber(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    const std::string copy(text);
    char* end = nullptr;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> parseBool(std::string_view text)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower == "true" || lower == "1") {
        return true;
    }
    if (lower == "false" || lower == "0") {
        return false;
    }
    return std::nullopt;
}

std::optional<std::vector<int>> parseInts(std::string_view text, std::size_t count)
{
    std::vector<int> values;
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && isSpace(text[pos])) {
            ++pos;
        }
        if (pos == text.size()) {
            break;
        }
        int value = 0;
        const auto [end, error] = std::from_chars(text.data() + pos, text.data() + text.size(), value);
        if (error != std::errc() || (end != text.data() + text.size() && !isSpace(*end))) {
            return std::nullopt;
        }
        values.push_back(value);
        pos = std::size_t(end - text.data());
    }
    if (values.size() != count) {
        return std::nullopt;
    }
    return values;
}

} // namespace mirvo::params::tw
