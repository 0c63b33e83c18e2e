// The input node bound to an audio device. Captured frames reach the graph either straight from
// the output's callback (one shared device) or through a ring of frames written by a separate
// device callback; this class holds that ring, rebuilds the graph's blocks from it and records
// overruns and underruns, platform forms supply the device stream.
#pragma once

#include "audio/Device.h"
#include "audio/InputNode.h"
#include "audio/dsp/FrameRingBuffer.h"

#include <atomic>
#include <cstdint>

namespace mirvo::audio {

class InputDeviceNode : public InputNode {
  public:
    // Main thread. Without a channel count the node takes the device's input channels, up to 2.
    // A null device (a system without a capturing device) throws AudioDeviceExc.
    InputDeviceNode(const DeviceRef& device, const Format& format);

    // Null for a node fed by a sound server's source rather than a device of the list.
    const DeviceRef& getDevice() const { return mDevice; }

    // Any thread: context frame positions of the last dropped capture and the last starved block.
    uint64_t getLastOverrun() const { return mLastOverrun.load(); }
    uint64_t getLastUnderrun() const { return mLastUnderrun.load(); }
    // Any thread: captures dropped because the ring was full, counted since the node was made.
    uint64_t getNumOverruns() const { return mNumOverruns.load(std::memory_order_relaxed); }
    // Any thread: blocks the graph found too few frames for, counted since the node was made.
    uint64_t getNumUnderruns() const { return mNumUnderruns.load(std::memory_order_relaxed); }
    // Any thread: how often frames that had waited too long were dropped unread (see
    // setSteadyQueue, and after an overrun), counted since the node was made.
    uint64_t getNumStaleDrops() const { return mNumStaleDrops.load(std::memory_order_relaxed); }
    // Any thread: the frames left queued when the graph last took a block, what the ring adds
    // to the time from capture to the graph beyond the block itself.
    size_t getQueuedFrames() const { return mQueuedFrames.load(std::memory_order_relaxed); }
    // Any thread: what the node captured from has gone away; the node stays silent.
    bool isDeviceLost() const { return mDeviceLost.load(); }
    // Any thread: graph frames that got no fresh capture (a starved block, and the blocks that
    // waited for the ring to fill again after it), counted since the node was made: the time the
    // picture stood still or repeated itself.
    uint64_t getNumStarvedFrames() const { return mNumStarvedFrames.load(std::memory_order_relaxed); }
    // Any thread: captured frames thrown away because the ring was full, counted since the node
    // was made: the time the picture skipped.
    uint64_t getNumDroppedFrames() const { return mNumDroppedFrames.load(std::memory_order_relaxed); }
    // Any thread: the delivery the ring was last sized for, in frames.
    size_t getDeliveryFrames() const { return mDeliveryFrames.load(std::memory_order_relaxed); }

  protected:
    // Main thread: a node fed by something other than a listed device, numChannels wide.
    InputDeviceNode(size_t numChannels, const Format& format);

    // Two independently clocked device threads deliver and fetch frames with several
    // milliseconds of jitter each; the ring keeps about kPrimingBlocks queued between them and
    // room for as many again, so neither side trips over the other in the steady state. A block
    // here is the larger of the graph's block and the device's delivery.
    static constexpr size_t kRingBufferBlocks = 4;
    static constexpr size_t kPrimingBlocks = 2;
    // Graph blocks over which a steady queue watches the least it holds (about a third of a
    // second): many periods of any output's pattern of callbacks, and short enough that a
    // stall's backlog is gone soon after it.
    static constexpr size_t kStaleWatchBlocks = 32;

    // Main thread, while no device runs: an empty ring for a graph of graphFrames a block fed by
    // a device that delivers up to deviceFrames at a time (0: the graph's block size). The ring
    // starts handing frames to the graph once a delivery and a margin are queued, and holds
    // room for that and two deliveries more.
    void allocateRingBuffer(size_t graphFrames, size_t deviceFrames = 0);
    // The capture's own thread (its only writer), or the main thread while no capture runs:
    // sizes the ring anew for deliveries of deviceFrames, empty or keeping what is queued (the
    // newest of it, where it no longer fits), while the graph keeps off it (the graph's blocks
    // stay as they were meanwhile). Allocates, so not on the audio thread: for a capture that
    // learns how much its source delivers at once only as it delivers.
    void resizeRingBuffer(size_t graphFrames, size_t deviceFrames, bool keepQueued = false);
    // Main thread, after allocateRingBuffer, while no device runs: for a capture that shares
    // the output's clock and delivers in small, steady pieces (a sound server's source), where
    // frames queued beyond what rides out the jitter only make the picture late. When for
    // kStaleWatchBlocks blocks in a row more than twice keepFrames stayed queued after every
    // block the graph took, all beyond keepFrames was never needed: the oldest of it is
    // dropped unread, and after an underrun what piled up past the priming. Without
    // this a stall that queued frames up (a late graph, or an underrun that waits for the
    // priming again) would leave them queued, and the delay with them, for good.
    // Deliveries larger than keepFrames raise it to their size, since a queue that keeps less
    // than one would be trimmed of frames the graph still needs.
    void setSteadyQueue(size_t keepFrames);
    // Input device thread: queues numFrames captured frames, given channel after channel
    // (channel c at samples + c * numFrames). Any count will do, whatever the graph's block
    // size; frames that do not fit are dropped as a whole and an overrun is recorded, and the
    // graph's next block drops the oldest queued down to what a fresh start keeps.
    void writeCapturedFrames(const float* samples, size_t numChannels, size_t numFrames);
    // Audio thread: rebuilds one graph block from the queued frames. Until kPrimingBlocks are
    // queued (at the start and after a starved block) it leaves the block as it was; a block
    // that finds too few frames after that records an underrun.
    void readCapturedBlock(Buffer* buffer);
    // Any thread: the frame count of the context, 0 when it is gone.
    uint64_t getContextFramePosition() const;
    // Audio thread: discards the oldest queued frames down to target, counted as a stale drop;
    // gives what is left queued.
    size_t dropOldestDownTo(size_t available, size_t target);
    // Capture thread: the most one delivery may hold for the ring to take it beside the queue the
    // graph starts from.
    size_t getRoomBesidePriming() const { return mRingBuffer.getCapacity() - mPrimingFrames; }
    // Audio thread: a block that got no fresh capture.
    void starved(size_t numFrames);
    // Audio thread: readCapturedBlock once the ring is not being replaced.
    void readFromRing(Buffer* buffer);

    DeviceRef mDevice;
    std::atomic<uint64_t> mLastOverrun;
    std::atomic<uint64_t> mLastUnderrun;
    std::atomic<uint64_t> mNumOverruns{0};
    std::atomic<uint64_t> mNumUnderruns{0};
    std::atomic<uint64_t> mNumStaleDrops{0};
    std::atomic<uint64_t> mNumStarvedFrames{0};
    std::atomic<uint64_t> mNumDroppedFrames{0};
    std::atomic<size_t> mQueuedFrames{0};
    std::atomic<size_t> mDeliveryFrames{0};
    std::atomic<bool> mDeviceLost{false};
    // Keeps the graph off the ring while it is replaced: the graph enters around each read and
    // leaves a block untouched while barred; whoever resizes bars it and waits for it to leave.
    // Sequentially consistent on both sides, so that one of them always sees the other.
    std::atomic<bool> mReaderBarred{false};
    std::atomic<bool> mReaderInside{false};
    // Set by the capture side on an overrun, taken by the audio thread.
    std::atomic<bool> mOverrunPending{false};
    dsp::FrameRingBuffer mRingBuffer;
    // Frames the ring must hold before the graph starts taking them.
    size_t mPrimingFrames = 0;
    // The most frames that may stay queued after every block for a whole watch; 0: no limit.
    size_t mKeepFrames = 0;
    // What setSteadyQueue asked for, before deliveries raised it.
    size_t mKeepFramesAsked = 0;
    // Audio thread (reset on the main thread while no device runs).
    bool mPriming = true;
    // Audio thread: the least left queued after a block in this watch, and its blocks so far.
    size_t mLeastQueued = 0;
    size_t mWatchedBlocks = 0;
};

} // namespace mirvo::audio
