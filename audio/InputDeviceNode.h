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
    // Main thread, while no device runs: a ring of ringBlocks blocks of this node's channels.
    void allocateRingBuffer(size_t framesPerBlock, size_t ringBlocks = 2);
    // Input device thread: queues one captured block, given channel after channel in one piece
    // (numChannels * numFrames samples); drops it and records an overrun when it does not fit.
    void writeCapturedBlock(const float* samples, size_t numChannels, size_t numFrames);
    // Audio thread: moves one queued block into the graph's block; when none is queued, records
    // an underrun and leaves the block as it was.
    void readCapturedBlock(Buffer* buffer);
    // Any thread: the frame count of the context, 0 when it is gone.
    uint64_t getContextFramePosition() const;

    DeviceRef mDevice;
    std::atomic<uint64_t> mLastOverrun;
    std::atomic<uint64_t> mLastUnderrun;
    dsp::RingBuffer mRingBuffer;
};

} // namespace mirvo::audio
