// The output node on an RtAudio device stream: initialize opens the stream, enable starts it,
// and RtAudio's thread runs the render logic once per block. When the device is lost (unplugged,
// server gone) or cannot be opened, the node renders on a null stream at the same format
// instead, so the graph, analysis and visuals go on, and says so once on stderr from the main
// thread (at the application's next update, or when the node stops). While it runs on the null
// stream the main thread tries the device again every second, and moves back to it, with a line
// on stderr, once it opens: a sound server that was restarted is played to again.
#pragma once

#include "audio/OutputDeviceNode.h"
#include "audio/null/NullDeviceStream.h"
#include "audio/rtaudio/CallbackGate.h"

#include <rtaudio/RtAudio.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

namespace mirvo::audio {

class OutputDeviceNodeRtAudio : public OutputDeviceNode, private NullDeviceStream::Client {
  public:
    OutputDeviceNodeRtAudio(const DeviceRef& device, const Format& format);
    ~OutputDeviceNodeRtAudio() override;

    // Main thread.
    void initialize() override;
    void uninitialize() override;
    void enableProcessing() override;
    void disableProcessing() override;
    double getLatencySeconds() const override;

    // Any thread: true once the device failed and the null stream took over.
    bool isOnFallback() const { return mOnFallback.load(); }
    // Main thread: prints the line for a loss that a device thread counted since the last call,
    // and while on the null stream tries the device again (once a second at most). Connected
    // to the application's update signal when there is an application.
    void reportDeviceEvents();
    // Main thread: while running on the null stream, opens the device again and moves the
    // rendering back to it; true when it did. A sound server is first asked whether it answers,
    // so that one that hangs costs a quarter of a second, not the program.
    bool tryDeviceAgain();

    // Main thread, from an input node on the same device: capture numChannels channels in this
    // node's stream (0 stops capturing). Takes effect when the stream is next opened.
    void setSynchronousInputChannels(size_t numChannels) { mSynchronousInputChannels = numChannels; }
    size_t getSynchronousInputChannels() const { return mSynchronousInputChannels; }
    // Audio thread, during a render: this block's captured input, channel after channel, or null.
    const float* getCurrentInput() const { return mCurrentInput; }

  private:
    static int renderCallback(void* outputBuffer, void* inputBuffer, unsigned int numFrames,
                              double streamTime, RtAudioStreamStatus status, void* userData);
    static void errorCallback(RtAudioError::Type type, const std::string& message);

    // RtAudio's thread.
    int render(float* output, const float* input, unsigned int numFrames);
    // RtAudio's thread: the device asked for a block size other than ours; whole blocks are
    // rendered into mPending and handed out in the device's pieces.
    void renderInPieces(float* output, unsigned int numFrames);
    // Null stream thread, after a takeover.
    void renderNullBlock(float* const* channels, size_t numChannels, size_t numFrames) override;
    // Null stream thread, in standby: true once the device has not called back for a while
    // (a server that hangs or shuts the stream down without an error on our thread).
    bool isStalled() override;
    // Main thread: the stream could not be opened or started.
    void fallBack(const std::string& reason);
    // Main thread: the one line on stderr.
    void reportLoss(const std::string& reason);
    // Main thread: a stream on the device, opened but not started; throws on failure.
    void openDeviceStream();

    std::unique_ptr<RtAudio> mRtAudio;
    CallbackGate mGate;
    NullDeviceStream mFallbackStream;
    std::vector<float*> mChannelPointers;
    std::vector<float> mPendingStorage;
    std::vector<float*> mPendingChannels;
    size_t mPendingFrames = 0;
    size_t mPendingReadPosition = 0;
    // RtAudio's thread: errors RtAudio reported since the last block, and how many blocks in a
    // row were followed by one. A run of failed blocks means the device is gone.
    int mErrorsSinceLastBlock = 0;
    int mFailedBlocksInARow = 0;
    const float* mCurrentInput = nullptr;
    size_t mSynchronousInputChannels = 0;
    std::atomic<bool> mDeviceLost{false};
    std::atomic<uint64_t> mNumCallbacks{0};
    // Null stream thread (reset on the main thread before it starts).
    uint64_t mCallbacksAtLastPoll = 0;
    int mPollsWithoutCallback = 0;
    std::atomic<bool> mOnFallback{false};
    // Written by the null stream thread when it takes over, emptied by reportDeviceEvents.
    std::atomic<uint32_t> mPendingLossReports{0};
    // Main thread.
    bool mLossReported = false;
    std::chrono::steady_clock::time_point mLastDeviceTry;
    boost::signals2::scoped_connection mUpdateConnection;
};

} // namespace mirvo::audio
