// What the media controls show, built from the controller's state; the bus itself lives in
// src/dbus/.
#include "src/desktop/MediaControls.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace mirvo {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD

bool isAllowedCodePoint(uint32_t codePoint)
{
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    const bool nonCharacter = (codePoint >= 0xFDD0 && codePoint <= 0xFDEF) || (codePoint & 0xFFFE) == 0xFFFE;
    return codePoint <= 0x10FFFF && !surrogate && !nonCharacter;
}

// The length of the valid character at text[at], or 0 when none starts there.
std::size_t validSequenceLength(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    uint32_t codePoint = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    // The shortest form only: an overlong "/" or NUL must not slip past a later check.
    constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[length] || !isAllowedCodePoint(codePoint)) {
        return 0;
    }
    return length;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string mediaTrackId(uint64_t serial)
{
    return "/org/mirvo/Mirvo/Track/" + std::to_string(serial);
}

MediaTrack mediaTrack(uint64_t serial, const std::string& title, const std::string& artist,
                      const std::string& album, const std::string& fileName, std::size_t numFrames,
                      std::size_t sampleRate)
{
    MediaTrack track;
    track.id = mediaTrackId(serial);
    track.title = validUtf8(title.empty() ? fileName : title);
    track.artist = validUtf8(artist);
    track.album = validUtf8(album);
    if (sampleRate > 0) {
        // Whole seconds first: frames times a million would overflow for a very long file.
        const auto frames = static_cast<int64_t>(numFrames);
        const auto rate = static_cast<int64_t>(sampleRate);
        track.lengthMicros = frames / rate * 1000000 + frames % rate * 1000000 / rate;
    }
    return track;
}

const char* loopStatusName(LoopStatus loop)
{
    switch (loop) {
    case LoopStatus::PLAYLIST:
        return "Playlist";
    case LoopStatus::TRACK:
        return "Track";
    case LoopStatus::NONE:
        break;
    }
    return "None";
}

std::optional<LoopStatus> loopStatusNamed(const std::string& name)
{
    for (LoopStatus loop : {LoopStatus::NONE, LoopStatus::PLAYLIST, LoopStatus::TRACK}) {
        if (name == loopStatusName(loop)) {
            return loop;
        }
    }
    return std::nullopt;
}

std::vector<std::string> changedProperties(const MediaState& before, const MediaState& after)
{
    std::vector<std::string> changed;
    const auto note = [&](bool differs, const char* name) {
        if (differs) {
            changed.emplace_back(name);
        }
    };
    note(before.status != after.status, "PlaybackStatus");
    note(before.track != after.track, "Metadata");
    note(before.canGoNext != after.canGoNext, "CanGoNext");
    note(before.canGoPrevious != after.canGoPrevious, "CanGoPrevious");
    note(before.canPlay != after.canPlay, "CanPlay");
    note(before.canPause != after.canPause, "CanPause");
    note(before.canSeek != after.canSeek, "CanSeek");
    note(before.loop != after.loop, "LoopStatus");
    note(before.shuffle != after.shuffle, "Shuffle");
    return changed;
}

std::string validUtf8(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '\0') {
            ++at;
            continue;
        }
        const std::size_t length = validSequenceLength(text, at);
        if (length == 0) {
            result += kReplacement;
            ++at;
            continue;
        }
        result.append(text, at, length);
        at += length;
    }
    return result;
}

std::optional<std::filesystem::path> pathFromFileUri(const std::string& uri)
{
    // RFC 8089: "file:" then "//" and a host before the path, or the absolute path alone.
    const std::string scheme = "file:";
    if (uri.size() < scheme.size() ||
        !std::equal(scheme.begin(), scheme.end(), uri.begin(),
                    [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
        return std::nullopt;
    }
    // A query or a fragment is no part of the file's name; an escaped '?' or '#' is.
    const std::string rest = uri.substr(scheme.size(), uri.find_first_of("?#") - scheme.size());
    std::size_t pathStart = 0;
    if (rest.compare(0, 2, "//") == 0) {
        pathStart = rest.find('/', 2);
        if (pathStart == std::string::npos) {
            return std::nullopt;
        }
        const std::string host = rest.substr(2, pathStart - 2);
        if (!host.empty() && host != "localhost") {
            return std::nullopt;
        }
    } else if (rest.empty() || rest[0] != '/') {
        return std::nullopt;
    }
    std::string path;
    for (std::size_t i = pathStart; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path += rest[i];
            continue;
        }
        const int high = i + 2 < rest.size() ? hexValue(rest[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(rest[i + 2]) : -1;
        if (low < 0 || (high == 0 && low == 0)) {
            return std::nullopt;
        }
        path += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return std::filesystem::path(path);
}

} // namespace mirvo
