#include "src/FailureText.h"

#include "audio/Exception.h"

namespace mirvo {

namespace {

// The decoder's reason in plain words; empty when it gave none.
std::string plainReason(const std::exception& exc)
{
    const auto* fileExc = dynamic_cast<const audio::AudioFileExc*>(&exc);
    return fileExc ? audio::describe(fileExc->getReason()) : "";
}

} // namespace

std::string quotedName(const std::string& name)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string result = "'";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n') {
            result += "\\n";
        } else if (c == '\t') {
            result += "\\t";
        } else if (c == '\r') {
            result += "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            result += "\\x";
            result += hex[byte >> 4];
            result += hex[byte & 0xF];
        } else {
            result += c;
        }
    }
    return result + "'";
}

std::string oneLine(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

std::string reasonForLog(const std::exception& exc)
{
    const std::string words = plainReason(exc);
    return words.empty() ? oneLine(exc.what()) : words;
}

std::string reasonForNotice(const std::exception& exc)
{
    const std::string words = plainReason(exc);
    return words.empty() ? "cannot be played" : words;
}

} // namespace mirvo
