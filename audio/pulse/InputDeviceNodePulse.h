// An input node that records one source of the sound server by its server name, through a
// record stream on the server's loop. The loop's thread takes the server's chunks, in whatever
// size they come, out of interleaved order into the node's frame ring; the render thread
// rebuilds the graph's blocks from there as for any separate capture device. A source that
// delivers more at once than the ring was sized for (one with a fixed, long latency, or a
// server running large quanta) has the ring sized anew to its deliveries, once, before the
// first such delivery is queued. The stream is bound to its source: when the source goes away
// the server ends the stream instead of moving it to another one (a microphone, say), and the
// node reports the loss. The stream exists only while the node is enabled. Given one playback
// stream of the source's output, the node records that stream alone, through the server's
// monitor of it.
#pragma once

#include "audio/InputDeviceNode.h"

#include <pulse/stream.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace mirvo::audio {

class PulseServer;

class InputDeviceNodePulse : public InputDeviceNode {
  public:
    InputDeviceNodePulse(std::shared_ptr<PulseServer> server, std::string sourceName, size_t numChannels,
                         const Format& format = Format(), uint32_t monitoredStream = PA_INVALID_INDEX);
    ~InputDeviceNodePulse() override;

    // Main thread (initialize and uninitialize possibly under the graph lock; the server's
    // thread never takes it). The record stream is opened when the node is enabled while
    // initialised, and closed when it is disabled or uninitialised.
    void initialize() override;
    void uninitialize() override;
    void enableProcessing() override;
    void disableProcessing() override;

    // Audio thread.
    void process(Buffer* buffer) override;

    const std::string& getSourceName() const { return mSourceName; }

    // The server's chunk is split into pieces of at most this many frames on their way to the
    // ring, which must hold several of them.
    static constexpr size_t kPieceFrames = 512;
    // What the server is asked to deliver at a time, and what the ring is first sized for.
    static constexpr size_t kFragmentFrames = 128;
    // What the ring keeps queued in the steady state beyond what the graph takes: margin for
    // a fragment that comes late, and some for the output's callbacks, which come late too.
    static constexpr size_t kKeepFrames = kFragmentFrames + kFragmentFrames / 2;
    // Callbacks within a second too large for the ring before it is sized for them.
    static constexpr size_t kLargeDeliveriesToGrow = 3;
    // A stretch with no delivery near half the size the ring was grown for sizes it anew for
    // what came in it: longer than any source that hands over seconds at a time waits between
    // them.
    static constexpr std::chrono::seconds kShrinkAfter{4};

  private:
    // Server thread.
    static void readCallback(pa_stream* stream, size_t bytes, void* userData);
    static void stateCallback(pa_stream* stream, void* userData);
    // Main thread.
    void openStream();
    void closeStream();

    std::shared_ptr<PulseServer> mServer;
    std::string mSourceName;
    // The playback stream recorded alone, or PA_INVALID_INDEX for the whole source.
    uint32_t mMonitoredStream;
    pa_stream* mStream = nullptr;
    // The connection the stream was made on, held as long as the stream: the server replaces
    // its connection when it reconnects.
    pa_context* mStreamContext = nullptr;
    // Server thread (main thread while no stream runs): the graph's block size, and the most
    // frames one read callback delivered, which the ring is sized for.
    size_t mGraphFrames = 0;
    size_t mSampleRate = 0;
    size_t mSizedDelivery = 0;
    // Server thread: frames that arrived ahead of the clock, and when the last ones came.
    size_t mSurplus = 0;
    std::chrono::steady_clock::time_point mLastDelivery;
    // Server thread: callbacks too large for the ring in the second since mLargeSince, and the
    // largest of them.
    std::chrono::steady_clock::time_point mLargeSince;
    size_t mLargeCount = 0;
    size_t mLargest = 0;
    // Server thread: the most that came at once since mRecentSince.
    std::chrono::steady_clock::time_point mRecentSince;
    size_t mRecentLargest = 0;
    // Server thread: the overruns and underruns counted so far, the graph's position at the
    // last overrun, the misses in the second since mMissSince, and the size the ring grew to
    // for a graph that takes its blocks in bursts (0: none).
    uint64_t mOverrunsSeen = 0;
    uint64_t mOverrunSeenAt = 0;
    uint64_t mUnderrunsSeen = 0;
    std::chrono::steady_clock::time_point mMissSince;
    size_t mMissCount = 0;
    size_t mGraphBurstFrames = 0;
    // Server thread: one piece, channel after channel.
    std::unique_ptr<float[]> mPiece;
};

} // namespace mirvo::audio
