// Pictures a video shows over its scenes: a song's cover, decoded once before the render and
// scaled to the size it is drawn at. The decoding is FFmpeg's (ffmpeg/PictureFfmpeg.cpp); what
// counts as a cover, and which file beside the song is one, is decided here. Main thread.
#pragma once

#include "core/Vec.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mirvo::render {

// A picture that cannot be shown; the message is one line for the user.
class PictureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// RGBA, top row first.
struct Picture {
    Vec2i size{0, 0};
    std::vector<std::uint8_t> rgba;
};

// The longest side a cover may claim: past it the picture is refused before it is decoded,
// however well it compresses (a 12000 px PNG of one colour is a few kilobytes).
constexpr int kMaxPictureSide = 6000;

// The size a PNG or JPEG's header states, read from its first bytes; nullopt for anything else
// or a header cut short.
std::optional<Vec2i> statedPictureSize(const std::uint8_t* data, std::size_t size);

// `size` scaled to fit within `box`, keeping its shape, at least one pixel a side.
Vec2i fitInside(Vec2i size, Vec2i box);

// The picture in the file `path` (an audio file's attached cover, or an image file), scaled
// with good filtering to fit within `box`. nullopt when the file holds no picture. Throws
// PictureError for one that is damaged, too large or cannot be read.
std::optional<Picture> readPicture(const std::string& path, Vec2i box);

// The cover of `song`: its own picture, else the first of cover.jpg, folder.jpg and front.png
// (in any case of letters) beside it. A cover that is refused is told as one line through
// `refused`, and the next one is tried.
template <typename Refused>
std::optional<Picture> findCover(const std::string& song, Vec2i box, Refused refused);

// The files beside `song` that may be its cover, in the order they are tried.
std::vector<std::string> coverFilesBeside(const std::string& song);

template <typename Refused>
std::optional<Picture> findCover(const std::string& song, Vec2i box, Refused refused)
{
    std::vector<std::string> candidates{song};
    for (std::string& file : coverFilesBeside(song)) {
        candidates.push_back(std::move(file));
    }
    for (const std::string& candidate : candidates) {
        try {
            if (std::optional<Picture> picture = readPicture(candidate, box)) {
                return picture;
            }
        } catch (const PictureError& error) {
            refused("the cover '" + candidate + "' is refused: " + error.what());
        }
    }
    return std::nullopt;
}

} // namespace mirvo::render
