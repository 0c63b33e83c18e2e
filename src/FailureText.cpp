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
