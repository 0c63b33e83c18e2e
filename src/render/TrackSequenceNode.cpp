#include "src/render/TrackSequenceNode.h"

#include <algorithm>
#include <utility>

namespace mirvo::render {

TrackSequenceNode::TrackSequenceNode(std::vector<audio::SourceFileRef> tracks)
    : InputNode(Format().channels(tracks.empty() ? 2 : tracks.front()->getNumChannels())),
      mTracks(std::move(tracks))
{
}

void TrackSequenceNode::initialize()
{
    std::size_t channels = getNumChannels();
    for (const audio::SourceFileRef& track : mTracks) {
        channels = std::max(channels, track->getNumChannels());
    }
    mRead.setSize(getFramesPerBlock(), channels);
}

void TrackSequenceNode::process(audio::Buffer* buffer)
{
    const std::size_t frames = buffer->getNumFrames();
    std::size_t filled = 0;
    while (filled < frames && mCurrent < mTracks.size()) {
        audio::SourceFile& track = *mTracks[mCurrent];
        // A read fills its buffer from the start: read what is still missing, then place it.
        mRead.setSize(frames - filled, track.getNumChannels());
        const std::size_t read = track.read(&mRead);
        if (read == 0) {
            ++mCurrent;
            continue;
        }
        for (std::size_t channel = 0; channel < buffer->getNumChannels(); ++channel) {
            const float* from = mRead.getChannel(std::min(channel, track.getNumChannels() - 1));
            std::copy(from, from + read, buffer->getChannel(channel) + filled);
        }
        filled += read;
    }
    for (std::size_t channel = 0; channel < buffer->getNumChannels(); ++channel) {
        std::fill(buffer->getChannel(channel) + filled, buffer->getChannel(channel) + frames, 0.0f);
    }
}

} // namespace mirvo::render
