// An input node that records one source of the sound server by its server name, through a
// record stream on the server's loop. The loop's thread takes the server's chunks, in whatever
// size they come, out of interleaved order into the node's frame ring; the render thread
// rebuilds the graph's blocks from there as for any separate capture device. The stream is
// bound to its source: when the source goes away the server ends the stream instead of moving
// it to another one (a microphone, say), and the node reports the loss.
#pragma once

#include "audio/InputDeviceNode.h"

#include <pulse/stream.h>

#include <atomic>
#include <memory>
#include <string>

namespace mirvo::audio {

class PulseServer;

class InputDeviceNodePulse : public InputDeviceNode {
  public:
    InputDeviceNodePulse(std::shared_ptr<PulseServer> server, std::string sourceName, size_t numChannels,
                         const Format& format = Format());
    ~InputDeviceNodePulse() override;

    // Main thread (initialize and uninitialize possibly under the graph lock; the server's
    // thread never takes it).
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
    // What the server is asked to deliver at a time.
    static constexpr size_t kFragmentFrames = 128;
    // What the ring keeps queued in the steady state beyond what the graph takes: margin for
    // a fragment that comes late, and some for the output's callbacks, which come late too.
    static constexpr size_t kKeepFrames = kFragmentFrames + kFragmentFrames / 2;

  private:
    // Server thread.
    static void readCallback(pa_stream* stream, size_t bytes, void* userData);
    static void stateCallback(pa_stream* stream, void* userData);
    void setCorked(bool corked);

    std::shared_ptr<PulseServer> mServer;
    std::string mSourceName;
    pa_stream* mStream = nullptr;
    // Main thread writes, server thread reads: whether the stream should be running.
    std::atomic<bool> mRunning{false};
    // Server thread: one piece, channel after channel.
    std::unique_ptr<float[]> mPiece;
};

} // namespace mirvo::audio
