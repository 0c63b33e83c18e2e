// The base of the nodes that play recorded material into the graph: the read position, the
// loop points and the end-of-material flag, all atomics because the audio thread, a reader
// thread and the UI thread use them without a common lock.
#pragma once

#include "audio/InputNode.h"

#include <atomic>
#include <cstddef>

namespace mirvo::audio {

class SamplePlayerNode : public InputNode {
  public:
    // Main thread: seek(0), then enable.
    virtual void start() = 0;
    // Main thread: disable, drop what is buffered, seek(0).
    virtual void stop() = 0;
    // Main thread: the next frame to be fetched; clamped to the length.
    virtual void seek(size_t frame) = 0;

    // Length of the material in frames at the graph's rate.
    size_t getNumFrames() const { return mNumFrames; }
    // Any thread: the next frame the reader will fetch (ahead of what is heard by what is buffered).
    size_t getReadPosition() const { return mReadPos.load(); }
    // Any thread: true once playback reached the end and the node disabled itself.
    bool isEof() const { return mIsEof.load(); }

    // Main thread. Looping plays [loopBegin, loopEnd) over and over instead of ending.
    void setLoopEnabled(bool enabled = true) { mLoopEnabled = enabled; }
    bool isLoopEnabled() const { return mLoopEnabled.load(); }
    // Main thread; clamped to the length.
    void setLoopBegin(size_t frame);
    // Main thread; clamped to the length.
    void setLoopEnd(size_t frame);
    size_t getLoopBegin() const { return mLoopBegin.load(); }
    size_t getLoopEnd() const { return mLoopEnd.load(); }

  protected:
    explicit SamplePlayerNode(const Format& format = Format()) : InputNode(format) {}

    // Written only while the audio thread cannot run this node (graph lock or initialisation).
    size_t mNumFrames = 0;
    std::atomic<size_t> mReadPos{0};
    std::atomic<size_t> mLoopBegin{0};
    std::atomic<size_t> mLoopEnd{0};
    std::atomic<bool> mLoopEnabled{false};
    std::atomic<bool> mIsEof{false};
};

} // namespace mirvo::audio
