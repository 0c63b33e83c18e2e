#include "src/render/RenderTracks.h"

#include "core/DataSource.h"
#include "core/Resources.h"
#include "src/FailureText.h"
#include "src/Notices.h"
#include "src/player/PlayQueue.h"

#include <filesystem>
#include <iostream>

namespace mirvo::render {

namespace {

constexpr const char* kStartupMusic = "init.mp3";

std::string nameOf(const std::string& path)
{
    return path.empty() ? std::string(kStartupMusic) : path;
}

} // namespace

std::vector<std::string> collectRenderFiles(const std::vector<std::string>& musicFiles)
{
    if (musicFiles.empty()) {
        return {std::string()};
    }
    const std::vector<std::filesystem::path> named(musicFiles.begin(), musicFiles.end());
    std::vector<std::string> files;
    for (const std::filesystem::path& track : collectTracks(named)) {
        files.push_back(track.string());
    }
    return files;
}

RenderTracks loadRenderTracks(const std::vector<std::string>& files, bool queue)
{
    RenderTracks result;
    result.queue = queue;
    for (const std::string& file : files) {
        const auto refuse = [&](const std::string& reason) {
            std::cerr << "mirvo: cannot play '" << nameOf(file) << "': " << reason
                      << (queue ? "; skipped" : "") << std::endl;
            ++result.skipped;
        };
        RenderTrack track;
        track.path = file;
        try {
            const DataSourceRef data = file.empty() ? app::loadResource(kStartupMusic) : loadFile(file);
            track.source = audio::SourceFileRef(audio::load(data, result.sampleRate));
        } catch (const std::exception& exc) {
            refuse(reasonForLog(exc));
            continue;
        }
        // The container's length is a claim (an estimate for a VBR MP3, none for a stream
        // written to a pipe): the decoder's end decides how long the track is.
        track.numSamples = track.source->getSampleRate() == 0 ? 0 : track.source->measureNumFrames();
        if (track.numSamples == 0) {
            refuse("it holds no audio");
            continue;
        }
        if (result.sampleRate == 0) {
            result.sampleRate = track.source->getSampleRate();
        }
        track.startSample = result.numSamples;
        result.numSamples += track.numSamples;
        result.tracks.push_back(std::move(track));
    }
    if (queue && result.tracks.empty()) {
        std::cerr << "mirvo: nothing in the queue plays" << std::endl;
    }
    return result;
}

std::string trackTitle(const RenderTrack& track)
{
    std::string title = notice::printable(track.source->getTitle());
    if (title.empty()) {
        title = notice::printable(std::filesystem::path(nameOf(track.path)).stem().string());
    }
    return title;
}

} // namespace mirvo::render
