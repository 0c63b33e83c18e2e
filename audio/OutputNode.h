// The sink of a graph: the node a device (or an offline renderer) pulls once per block. It
// feeds no other node, and unless its format says otherwise it runs only while its context
// is enabled.
#pragma once

#include "audio/Node.h"

#include <atomic>
#include <cstdint>

namespace mirvo::audio {

class OutputNode : public Node {
  public:
    explicit OutputNode(const Format& format = Format());

    // An output node feeds nothing: connecting it onward does nothing.
    void connect(const NodeRef& output) override {}

    virtual size_t getSampleRate() const = 0;
    virtual size_t getFramesPerBlock() const = 0;

    // Any thread: context frame position of the last clipped block.
    uint64_t getLastClip() const { return mLastClip.load(); }
    bool isClipDetectionEnabled() const { return mClipDetectionEnabled; }
    float getClipThreshold() const { return mClipThreshold; }

  protected:
    // Audio thread: true when some sample's magnitude exceeds the threshold; then records the
    // frame position (the context's frame count plus the frame within its channel) of the first.
    bool checkClip(const Buffer& buffer);

    std::atomic<uint64_t> mLastClip;
    bool mClipDetectionEnabled;
    float mClipThreshold;
};

} // namespace mirvo::audio
