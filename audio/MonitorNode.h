// The bridge from the audio thread to the UI thread: the node passes its input through and
// copies every block into one lock-free ring per channel (the audio thread only writes them);
// the UI thread reads the newest window out of the rings when it asks. While nothing is
// connected to its output the context pulls it after every block.
#pragma once

#include "audio/Buffer.h"
#include "audio/NodeAutoPullable.h"
#include "audio/dsp/RingBuffer.h"

#include <cstdint>
#include <vector>

namespace mirvo::audio {

class MonitorNode : public NodeAutoPullable {
  public:
    struct Format : public Node::Format {
        // Frames copied out per analysis; 0 means the output's frames per block.
        Format& windowSize(size_t frames)
        {
            mWindowSize = frames;
            return *this;
        }
        Format& channels(size_t numChannels)
        {
            Node::Format::channels(numChannels);
            return *this;
        }
        Format& channelMode(ChannelMode mode)
        {
            Node::Format::channelMode(mode);
            return *this;
        }
        Format& autoEnable(bool autoEnable = true)
        {
            Node::Format::autoEnable(autoEnable);
            return *this;
        }

        size_t getWindowSize() const { return mWindowSize; }

      private:
        size_t mWindowSize = 0;
    };

    MonitorNode();
    explicit MonitorNode(const Format& format);
    ~MonitorNode() override;

    // Main thread, under the graph lock: sizes the rings and the copy.
    void initialize() override;
    // Audio thread: copies the block into the rings; the block passes unchanged.
    void process(Buffer* buffer) override;

    // UI thread: reads the newest window out of the rings into the copy and returns it. A
    // channel whose ring holds less than a window keeps the samples of the previous call.
    const Buffer& getBuffer();

    size_t getWindowSize() const { return mWindowSize; }

  protected:
    // UI thread.
    void fillCopiedBuffer();

    std::vector<dsp::RingBuffer> mRingBuffers;
    Buffer mCopiedBuffer;
    size_t mWindowSize;
    size_t mRingBufferPaddingFactor;

  private:
    // As the format gave it; 0 follows the output's block size.
    size_t mRequestedWindowSize;
    // Main thread: rings of the current capacity left over by a narrower channel count.
    std::vector<dsp::RingBuffer> mSpareRingBuffers;
};

// The next power of two at or above value, on its low 32 bits; powers of two are kept.
size_t nextPowerOfTwo(size_t value);

} // namespace mirvo::audio
