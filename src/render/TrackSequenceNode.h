// The music of an album render: its tracks one after another in one stream, each one's first
// frame straight after the last frame of the one before, with no gap and no overlap, as the
// player hands one track to the next. The node has the first track's channels; a later track
// with fewer repeats its last channel, one with more gives up the rest. It decodes on the thread
// that pulls the graph (the renderer's), so the render stays deterministic.
#pragma once

#include "audio/BufferDynamic.h"
#include "audio/InputNode.h"
#include "audio/SourceFile.h"

#include <vector>

namespace mirvo::render {

class TrackSequenceNode : public audio::InputNode {
  public:
    // The tracks are at the context's sample rate and positioned at their first frame.
    explicit TrackSequenceNode(std::vector<audio::SourceFileRef> tracks);

    void initialize() override;
    // The renderer's thread, pulling the graph.
    void process(audio::Buffer* buffer) override;

  private:
    std::vector<audio::SourceFileRef> mTracks;
    std::size_t mCurrent = 0;
    audio::BufferDynamic mRead;
};

} // namespace mirvo::render
