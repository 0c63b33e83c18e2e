// The names of a folder render's videos, one a track: "Artist - Title" from its tags, or its
// file's name without the extension when it has none, made safe for whatever file system the
// videos land on or are copied to (a memory card's refuses more than Linux does).
#pragma once

#include <cstddef>
#include <set>
#include <string>

namespace mirvo::render {

// The longest name handed out, in bytes, extension and a "(99)" included: a file system takes
// 255, and the render writes beside it under a longer temporary name.
constexpr std::size_t kMaxVideoNameBytes = 200;

// A file name, without folder or extension, for the video of a track so tagged (either may be
// empty) whose file is `fileName`: no slash, backslash or character a memory card refuses, no
// control character, not starting with a dot (a hidden file) or ending in one, never empty.
std::string videoStem(const std::string& title, const std::string& artist, const std::string& fileName);

// Hands out the names of one folder, none twice: a second "Intro" becomes "Intro (2)". Names
// that differ only in the case of their letters count as the same, as they do on such cards.
class VideoNames {
  public:
    // `extension` with its dot, e.g. ".mp4".
    explicit VideoNames(std::string extension) : mExtension(std::move(extension)) {}

    // Keeps `fileName` from being handed out: a song of the render that lies in the folder.
    void reserve(const std::string& fileName);
    // The file name for `stem` with the extension, unique in the folder.
    std::string take(const std::string& stem);

  private:
    std::string mExtension;
    std::set<std::string> mTaken; // in lower case
};

} // namespace mirvo::render
