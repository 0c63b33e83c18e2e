// The notice queue with its timing, and the wording of each kind of notice.
#include "src/Notices.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mirvo {

void Notices::post(std::vector<std::string> lines)
{
    if (lines.empty()) {
        return;
    }
    if (mNotices.size() >= kMaxNotices) {
        mNotices.erase(mNotices.begin(),
                       mNotices.begin() + std::ptrdiff_t(mNotices.size() - kMaxNotices + 1));
    }
    mNotices.push_back({std::move(lines), -1.0f});
}

std::vector<Notices::Shown> Notices::visible(float now)
{
    std::vector<Shown> shown;
    auto notice = mNotices.begin();
    while (notice != mNotices.end()) {
        if (notice->firstShown < 0.0f) {
            notice->firstShown = now;
        }
        const float age = now - notice->firstShown;
        if (age >= kHoldSeconds + kFadeSeconds) {
            notice = mNotices.erase(notice);
            continue;
        }
        const float opacity = age <= kHoldSeconds ? 1.0f : 1.0f - (age - kHoldSeconds) / kFadeSeconds;
        shown.push_back({notice->lines, std::clamp(opacity, 0.0f, 1.0f)});
        ++notice;
    }
    if (mPaused) {
        shown.push_back({{"Paused"}, 1.0f});
    }
    return shown;
}

namespace notice {

namespace {

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string formatLength(double seconds)
{
    const long total = std::isfinite(seconds) && seconds > 0.0 ? static_cast<long>(std::floor(seconds)) : 0;
    char text[32];
    if (total >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    }
    return text;
}

std::string printable(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        const char shown = control ? ' ' : c;
        if (shown == ' ' && (result.empty() || result.back() == ' ')) {
            continue;
        }
        result += shown;
    }
    while (!result.empty() && result.back() == ' ') {
        result.pop_back();
    }
    if (result.size() > kMaxTextLength) {
        std::size_t cut = kMaxTextLength - 3;
        while (cut > 0 && isContinuationByte(result[cut])) {
            --cut;
        }
        result.resize(cut);
        result += "...";
    }
    return result;
}

std::string track(const std::string& title, const std::string& artist, const std::string& fileName,
                  double seconds)
{
    std::string name = printable(title);
    if (name.empty()) {
        name = printable(fileName);
    }
    const std::string by = printable(artist);
    if (!by.empty()) {
        name += " - " + by;
    }
    return name + " (" + formatLength(seconds) + ")";
}

std::vector<std::string> failures(const std::vector<Failure>& failures)
{
    std::vector<std::string> lines;
    const std::size_t listed = std::min(failures.size(), kMaxFailureLines);
    for (std::size_t i = 0; i < listed; ++i) {
        lines.push_back(printable(failures[i].fileName) + ": " + failures[i].reason);
    }
    if (listed < failures.size()) {
        lines.push_back("and " + std::to_string(failures.size() - listed) + " more");
    }
    return lines;
}

std::vector<std::string> skipped(std::size_t count)
{
    if (count == 0) {
        return {};
    }
    return {std::to_string(count) + (count == 1 ? " file skipped" : " files skipped")};
}

} // namespace notice

} // namespace mirvo
