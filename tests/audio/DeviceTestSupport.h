// Graph pieces for the device tests: a context whose device outputs render on demand into
// buffers of their own (the test plays the device thread), an input whose capture ring the test
// feeds directly, a sine source and a recorder.
#pragma once

#include "audio/Context.h"
#include "audio/InputDeviceNode.h"
#include "audio/Node.h"
#include "audio/NodeAutoPullable.h"
#include "audio/OutputDeviceNode.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <vector>

namespace mirvo::audio::test {

class ManualDeviceOutput : public OutputDeviceNode {
  public:
    ManualDeviceOutput(const DeviceRef& device, const Format& format) : OutputDeviceNode(device, format) {}

    void initialize() override
    {
        ++mInitializeCount;
        mDeviceStorage.assign(mNumChannels * getFramesPerBlock(), -1.0f);
        mDeviceChannels.clear();
        for (size_t ch = 0; ch < mNumChannels; ++ch) {
            mDeviceChannels.push_back(mDeviceStorage.data() + ch * getFramesPerBlock());
        }
    }

    // Plays one device callback.
    void renderBlock()
    {
        renderToDevice(mDeviceChannels.data(), mDeviceChannels.size(), getFramesPerBlock());
    }
    const float* getDeviceChannel(size_t ch) const { return mDeviceChannels[ch]; }
    bool deviceBlockIsSilent() const
    {
        for (float sample : mDeviceStorage) {
            if (sample != 0.0f) {
                return false;
            }
        }
        return true;
    }
    int getInitializeCount() const { return mInitializeCount; }

  private:
    std::vector<float> mDeviceStorage;
    std::vector<float*> mDeviceChannels;
    int mInitializeCount = 0;
};

class ManualDeviceInput : public InputDeviceNode {
  public:
    ManualDeviceInput(const DeviceRef& device, const Format& format) : InputDeviceNode(device, format) {}

    void initialize() override
    {
        allocateRingBuffer(getFramesPerBlock(), mDeviceFrames);
        if (mKeepFrames > 0) {
            setSteadyQueue(mKeepFrames);
        }
    }
    void process(Buffer* buffer) override { readCapturedBlock(buffer); }

    // Main thread, before the node is initialised: the most frames one callback will deliver
    // (0: the graph's block size), as a device that grants its own block size reports it.
    void setDeviceFrames(size_t frames) { mDeviceFrames = frames; }
    // Main thread, before the node is initialised: a capture that shares the output's clock,
    // as a sound server's source does (see setSteadyQueue).
    void keepSteadyQueue(size_t keepFrames) { mKeepFrames = keepFrames; }

    // Plays the input device's callback: numFrames frames, channel after channel.
    void capture(const float* channelAfterChannel, size_t numFrames)
    {
        writeCapturedFrames(channelAfterChannel, mNumChannels, numFrames);
    }
    void capture(const std::vector<float>& channelAfterChannel, size_t numFrames)
    {
        capture(channelAfterChannel.data(), numFrames);
    }

  private:
    size_t mDeviceFrames = 0;
    size_t mKeepFrames = 0;
};

class DeviceTestContext : public Context {
  public:
    static std::shared_ptr<DeviceTestContext> create()
    {
        return std::shared_ptr<DeviceTestContext>(new DeviceTestContext);
    }

    OutputDeviceNodeRef createOutputDeviceNode(const DeviceRef& device, const Node::Format& format) override
    {
        return makeNode(new ManualDeviceOutput(device, format));
    }
    InputDeviceNodeRef createInputDeviceNode(const DeviceRef& device, const Node::Format& format) override
    {
        return makeNode(new ManualDeviceInput(device, format));
    }
};

// A sine of fixed frequency and amplitude on every channel, phase-continuous across blocks.
class SineSourceNode : public Node {
  public:
    SineSourceNode(float frequency, float amplitude)
        : Node(Format().channels(2).autoEnable(true)), mFrequency(frequency), mAmplitude(amplitude)
    {
    }

    void process(Buffer* buffer) override
    {
        const double step = 2.0 * std::numbers::pi * mFrequency / double(getSampleRate());
        for (size_t frame = 0; frame < buffer->getNumFrames(); ++frame) {
            const float sample = mAmplitude * float(std::sin(mPhase));
            for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch) {
                buffer->getChannel(ch)[frame] = sample;
            }
            mPhase = std::fmod(mPhase + step, 2.0 * std::numbers::pi);
        }
    }

  private:
    float mFrequency;
    float mAmplitude;
    double mPhase = 0.0;
};

// Keeps the first channel of every block it is pulled for; the context pulls it when it feeds
// nothing.
class RecorderNode : public NodeAutoPullable {
  public:
    explicit RecorderNode(size_t capacity) : NodeAutoPullable(Format().autoEnable(true)), mSamples(capacity)
    {
    }

    void process(Buffer* buffer) override
    {
        const size_t start = mRecorded.load();
        const size_t frames = std::min(buffer->getNumFrames(), mSamples.size() - start);
        std::copy_n(buffer->getChannel(0), frames, mSamples.begin() + std::ptrdiff_t(start));
        mRecorded = start + frames;
    }
    // Once rendering has stopped.
    std::vector<float> recorded() const
    {
        return std::vector<float>(mSamples.begin(), mSamples.begin() + std::ptrdiff_t(mRecorded.load()));
    }
    size_t getNumRecorded() const { return mRecorded.load(); }

  private:
    std::vector<float> mSamples;
    std::atomic<size_t> mRecorded{0};
};

} // namespace mirvo::audio::test
