// The input node bound to an audio device. Captured blocks reach the graph either straight from
// the output's callback (one shared device) or through a ring of whole blocks written by a
// separate device callback; this class holds that ring and its overrun and underrun positions,
// platform forms supply the device stream.
#pragma once

#include "audio/Device.h"
#include "audio/InputNode.h"
#include "audio/dsp/RingBuffer.h"

#include <atomic>
#include <cstdint>

namespace mirvo::audio {

class InputDeviceNode : public InputNode {
  public:
    // Main thread. Without a channel count the node takes the device's input channels, up to 2.
    InputDeviceNode(const DeviceRef& device, const Format& format);

    const DeviceRef& getDevice() const { return mDevice; }

    // Any thread: context frame positions of the last dropped capture and the last starved block.
    uint64_t getLastOverrun() const { return mLastOverrun.load(); }
    uint64_t getLastUnderrun() const { return mLastUnderrun.load(); }

  protected:
    // Two independently clocked device threads deliver and fetch blocks with several
    // milliseconds of jitter each; the ring keeps about kPrimingBlocks queued between them and
    // room for as many again, so neither side trips over the other in the steady state.
    static constexpr size_t kRingBufferBlocks = 4;
    static constexpr size_t kPrimingBlocks = 2;

    // Main thread, while no device runs: an empty ring of kRingBufferBlocks blocks.
    void allocateRingBuffer(size_t framesPerBlock);
    // Input device thread: queues one captured block, given channel after channel in one piece
    // (numChannels * numFrames samples); drops it and records an overrun when it does not fit.
    void writeCapturedBlock(const float* samples, size_t numChannels, size_t numFrames);
    // Audio thread: moves one queued block into the graph's block. Until kPrimingBlocks are
    // queued (at the start and after a starved block) it leaves the block as it was; a block that
    // finds the ring empty after that records an underrun.
    void readCapturedBlock(Buffer* buffer);
    // Any thread: the frame count of the context, 0 when it is gone.
    uint64_t getContextFramePosition() const;

    DeviceRef mDevice;
    std::atomic<uint64_t> mLastOverrun;
    std::atomic<uint64_t> mLastUnderrun;
    dsp::RingBuffer mRingBuffer;
    // Audio thread (reset on the main thread while no device runs).
    bool mPriming = true;
};

} // namespace mirvo::audio
