// The music a render plays: the start-up music, one file, or a queue (several files, folders)
// walked and ordered as the player walks and orders it, its tracks back to back on one
// timeline. Loading decodes each track to its end once, as its true length decides where the
// next one starts. The renderer's thread.
#pragma once

#include "audio/SourceFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mirvo::render {

struct RenderTrack {
    // Empty for the start-up music.
    std::string path;
    audio::SourceFileRef source;
    // Where the track starts on the render's timeline, and how long it is, in samples.
    std::uint64_t startSample = 0;
    std::uint64_t numSamples = 0;
};

struct RenderTracks {
    std::vector<RenderTrack> tracks;
    std::size_t sampleRate = 0;
    std::uint64_t numSamples = 0;
    // Tracks of a queue that could not be played and were left out.
    std::size_t skipped = 0;
    // Whether the command line named a queue rather than one song.
    bool queue = false;
};

// The files `musicFiles` names in the order they play: the start-up music (an empty path) when
// it names none, folders walked as the player walks them.
std::vector<std::string> collectRenderFiles(const std::vector<std::string>& musicFiles);

// Opens the files at the first playable one's sample rate. One song that cannot be played, or a
// queue of which none can, is told on standard error and gives no tracks; a track of a queue
// that cannot be played is told in a line and skipped.
RenderTracks loadRenderTracks(const std::vector<std::string>& files, bool queue);

// The title a track goes by: its tag, else its file's name without the extension.
std::string trackTitle(const RenderTrack& track);

} // namespace mirvo::render
