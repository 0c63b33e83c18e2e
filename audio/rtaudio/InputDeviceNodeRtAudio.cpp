#include "audio/rtaudio/InputDeviceNodeRtAudio.h"

#include "audio/Context.h"
#include "audio/rtaudio/DeviceManagerRtAudio.h"
#include "audio/rtaudio/OutputDeviceNodeRtAudio.h"
#include "audio/rtaudio/RtAudioStream.h"

#include <cstring>

namespace mirvo::audio {

InputDeviceNodeRtAudio::InputDeviceNodeRtAudio(const DeviceRef& device, const Format& format)
    : InputDeviceNode(device, format)
{
}

InputDeviceNodeRtAudio::~InputDeviceNodeRtAudio()
{
    uninitialize();
}

void InputDeviceNodeRtAudio::initialize()
{
    allocateRingBuffer(getFramesPerBlock());
    // A re-initialisation (a format change) of a node that records goes on recording.
    if (isEnabled()) {
        openCapture();
    }
}

void InputDeviceNodeRtAudio::uninitialize()
{
    closeCapture();
}

void InputDeviceNodeRtAudio::enableProcessing()
{
    if (isInitialized()) {
        openCapture();
    }
}

void InputDeviceNodeRtAudio::disableProcessing()
{
    closeCapture();
}

void InputDeviceNodeRtAudio::openCapture()
{
    ContextRef context = getContext();
    if (!context || mSynchronousOutput || mRtAudio) {
        return;
    }
    auto output = std::dynamic_pointer_cast<OutputDeviceNodeRtAudio>(context->getOutput());

    // A running output is not reopened: this may run under the graph lock (a connection made
    // while playing), and stopping the stream would wait for a callback that waits for the lock.
    if (output && output->getDevice() == mDevice && output->getNumChannels() == mNumChannels &&
        !output->isEnabled()) {
        // One device for both directions: its output stream captures too, so input and output
        // blocks line up with no ring in between.
        mSynchronousOutput = output.get();
        reopenSharedOutput(mNumChannels);
        return;
    }

    const size_t sampleRate = getSampleRate();
    const size_t framesPerBlock = getFramesPerBlock();
    if (mDevice->getSampleRate() != sampleRate || mDevice->getFramesPerBlock() != framesPerBlock) {
        mDevice->updateFormat(Device::Format().sampleRate(sampleRate).framesPerBlock(framesPerBlock));
    }
    try {
        auto* manager = dynamic_cast<DeviceManagerRtAudio*>(Context::deviceManager());
        if (!manager || !manager->isRtAudioDevice(mDevice)) {
            return;
        }
        const DeviceManagerRtAudio::DeviceInfo& info = manager->getDeviceInfo(mDevice);
        mRtAudio = std::make_unique<RtAudio>(info.api);
        mRtAudio->showWarnings(false);
        RtAudio::StreamParameters input;
        input.deviceId = info.index;
        input.nChannels = unsigned(mNumChannels);
        RtAudio::StreamOptions options;
        options.flags = RTAUDIO_NONINTERLEAVED;
        options.streamName = "Mirvo input";
        unsigned int deviceFrames = unsigned(framesPerBlock);
        mRtAudio->openStream(nullptr, &input, RTAUDIO_FLOAT32, unsigned(sampleRate), &deviceFrames,
                             &InputDeviceNodeRtAudio::captureCallback, this, &options);
        // Sound servers grant a block size of their own choosing; the ring carries frames, so
        // any size works, but it must hold a few of the device's deliveries. Whatever an earlier
        // recording left queued is stale as well.
        resizeRingBuffer(framesPerBlock, deviceFrames);
        mGate.open();
        mRtAudio->startStream();
    } catch (const RtAudioError&) {
        // Capture is optional: without its stream the node underruns and leaves blocks silent.
        closeStreamQuietly(mRtAudio);
    }
}

void InputDeviceNodeRtAudio::closeCapture()
{
    if (mSynchronousOutput) {
        reopenSharedOutput(0);
        mSynchronousOutput = nullptr;
        return;
    }
    if (!mRtAudio) {
        return;
    }
    mGate.close();
    abortStreamQuietly(*mRtAudio);
    closeStreamQuietly(mRtAudio);
}

void InputDeviceNodeRtAudio::reopenSharedOutput(size_t inputChannels)
{
    OutputDeviceNodeRtAudio* output = mSynchronousOutput;
    output->setSynchronousInputChannels(inputChannels);
    // A running output keeps its stream, and with it the capture, until it is next reopened:
    // stopping it here could wait on a render that waits for the graph lock this may run under.
    if (output->isEnabled() || !output->isInitialized()) {
        return;
    }
    output->uninitialize();
    output->initialize();
}

int InputDeviceNodeRtAudio::captureCallback(void* outputBuffer, void* inputBuffer, unsigned int numFrames,
                                            double streamTime, RtAudioStreamStatus status, void* userData)
{
    auto* node = static_cast<InputDeviceNodeRtAudio*>(userData);
    if (!node->mGate.enter()) {
        return 0;
    }
    // Non-interleaved capture: channel after channel, numFrames each, whatever the graph's block.
    if (!node->mContext.expired() && inputBuffer) {
        node->writeCapturedFrames(static_cast<const float*>(inputBuffer), node->mNumChannels, numFrames);
    }
    node->mGate.leave();
    return 0;
}

void InputDeviceNodeRtAudio::process(Buffer* buffer)
{
    if (mSynchronousOutput) {
        const float* input = mSynchronousOutput->getCurrentInput();
        if (!input) {
            return;
        }
        const size_t frames = buffer->getNumFrames();
        for (size_t ch = 0; ch < buffer->getNumChannels() && ch < mNumChannels; ++ch) {
            std::memcpy(buffer->getChannel(ch), input + ch * frames, frames * sizeof(float));
        }
        return;
    }
    readCapturedBlock(buffer);
}

} // namespace mirvo::audio
