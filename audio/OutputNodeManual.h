// An output node that renders on demand instead of on a device's thread, so a whole graph runs
// offline and deterministically (tests, benchmarks, rendering to memory). Each renderBlock does
// what a device's render callback does: graph lock, zero, pull, clip check, hand the block
// over, post-process. Whoever calls renderBlock plays the device thread.
#pragma once

#include "audio/Buffer.h"
#include "audio/OutputNode.h"

namespace mirvo::audio {

class OutputNodeManual : public OutputNode {
  public:
    // Without a channel count in the format the node has 2 channels.
    OutputNodeManual(const Format& format, size_t sampleRate, size_t framesPerBlock);

    size_t getSampleRate() const override { return mSampleRate; }
    size_t getFramesPerBlock() const override { return mFramesPerBlock; }
    // Like a device's output, it always sums its inputs into its own buffers.
    bool supportsProcessInPlace() const override { return false; }

    void initialize() override;

    // Renders one block; takes the graph lock. The result is in getOutputBuffer, silent when
    // the block clipped or the context is gone.
    void renderBlock();
    // What a device would have been handed for the last block.
    const Buffer& getOutputBuffer() const { return mOutputBuffer; }

  private:
    size_t mSampleRate;
    size_t mFramesPerBlock;
    Buffer mOutputBuffer;
};

} // namespace mirvo::audio
