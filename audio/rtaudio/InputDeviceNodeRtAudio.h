// The input node on an RtAudio device. When it shares the output's device with the same channel
// count it captures inside the output's stream (synchronous); otherwise it opens a capture
// stream of its own whose thread queues frames, in whatever blocks the device grants, into the
// ring from which the render thread rebuilds the graph's blocks. Either way the device records
// only while the node is enabled: a node wired into the graph and left disabled opens nothing,
// so no microphone is held open (and no desktop shows it recording) for a capture nobody asked
// for.
#pragma once

#include "audio/InputDeviceNode.h"
#include "audio/rtaudio/CallbackGate.h"

#include <rtaudio/RtAudio.h>

#include <memory>

namespace mirvo::audio {

class OutputDeviceNodeRtAudio;

class InputDeviceNodeRtAudio : public InputDeviceNode {
  public:
    InputDeviceNodeRtAudio(const DeviceRef& device, const Format& format);
    ~InputDeviceNodeRtAudio() override;

    // Main thread.
    void initialize() override;
    void uninitialize() override;
    void enableProcessing() override;
    void disableProcessing() override;

    // Audio thread.
    void process(Buffer* buffer) override;

    bool isSynchronous() const { return mSynchronousOutput != nullptr; }

  private:
    // Main thread: starts or ends the recording, in whichever mode the devices allow.
    void openCapture();
    void closeCapture();
    // Main thread: reopens the shared output's stream with (or without) this node's channels.
    void reopenSharedOutput(size_t inputChannels);

    // Input device thread: hands the captured frames to the ring.
    static int captureCallback(void* outputBuffer, void* inputBuffer, unsigned int numFrames,
                               double streamTime, RtAudioStreamStatus status, void* userData);

    // Set in synchronous mode: the output whose stream captures for this node.
    OutputDeviceNodeRtAudio* mSynchronousOutput = nullptr;
    std::unique_ptr<RtAudio> mRtAudio;
    CallbackGate mGate;
};

} // namespace mirvo::audio
