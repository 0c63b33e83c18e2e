// Small nodes the audio tests and benchmarks build graphs from.
#pragma once

#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "audio/InputNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/Node.h"
#include "audio/dsp/Dsp.h"
#include "audio/dsp/RingBuffer.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace mirvo::audio::test {

// Fills channel ch of every block with values[ch] (the last value repeats for further channels)
// and counts how often it rendered.
class ConstantSourceNode : public Node {
  public:
    explicit ConstantSourceNode(std::vector<float> values, const Format& format = Format())
        : Node(format), mValues(std::move(values))
    {
    }

    void process(Buffer* buffer) override
    {
        ++mProcessCount;
        for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch) {
            const float value = mValues[std::min(ch, mValues.size() - 1)];
            dsp::fill(value, buffer->getChannel(ch), buffer->getNumFrames());
        }
    }

    int getProcessCount() const { return mProcessCount; }

  private:
    std::vector<float> mValues;
    int mProcessCount = 0;
};

// A cosine of the given frequency and amplitude on every channel, phase continuous across blocks.
class CosineSourceNode : public Node {
  public:
    CosineSourceNode(double frequency, double amplitude, double sampleRate, const Format& format = Format())
        : Node(format), mPhaseStep(2.0 * 3.141592653589793 * frequency / sampleRate), mAmplitude(amplitude)
    {
    }

    void process(Buffer* buffer) override
    {
        for (size_t frame = 0; frame < buffer->getNumFrames(); ++frame) {
            const float value = static_cast<float>(mAmplitude * std::cos(mPhaseStep * double(mFrame++)));
            for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch) {
                buffer->getChannel(ch)[frame] = value;
            }
        }
    }

  private:
    double mPhaseStep;
    double mAmplitude;
    uint64_t mFrame = 0;
};

// Fills every block with its own number (1, 2, 3, ...), so tests can tell blocks apart.
class BlockCounterNode : public Node {
  public:
    explicit BlockCounterNode(const Format& format = Format()) : Node(format) {}

    void process(Buffer* buffer) override
    {
        dsp::fill(float(++mBlock), buffer->getData(), buffer->getSize());
    }

  private:
    int mBlock = 0;
};

// Plays the samples queued in one ring per channel, as a file player does; a block whose
// samples are not all there is left as it was.
class RingSourceNode : public InputNode {
  public:
    RingSourceNode(size_t numChannels, size_t capacityFrames)
        : InputNode(Format().channels(numChannels).autoEnable(true))
    {
        for (size_t ch = 0; ch < numChannels; ++ch) {
            mRings.emplace_back(capacityFrames);
        }
    }

    void process(Buffer* buffer) override
    {
        const size_t channels = std::min(buffer->getNumChannels(), mRings.size());
        for (size_t ch = 0; ch < channels; ++ch) {
            mRings[ch].read(buffer->getChannel(ch), buffer->getNumFrames());
        }
    }

    // The producer side: queues the same block on every channel.
    bool queue(const float* samples, size_t numFrames)
    {
        for (dsp::RingBuffer& ring : mRings) {
            if (!ring.write(samples, numFrames)) {
                return false;
            }
        }
        return true;
    }
    size_t getAvailableFrames() const { return mRings.front().getAvailableWrite(); }

  private:
    std::vector<dsp::RingBuffer> mRings;
};

// Passes blocks through and records its life-cycle calls in a shared log.
class LoggingNode : public Node {
  public:
    LoggingNode(std::string label, std::vector<std::string>* log, const Format& format = Format())
        : Node(format), mLabel(std::move(label)), mLog(log)
    {
    }

    void initialize() override { mLog->push_back(mLabel + " initialize"); }
    void uninitialize() override { mLog->push_back(mLabel + " uninitialize"); }
    void enableProcessing() override { mLog->push_back(mLabel + " enable"); }
    void disableProcessing() override { mLog->push_back(mLabel + " disable"); }

  private:
    std::string mLabel;
    std::vector<std::string>* mLog;
};

// The application's graph rendered offline: a player fed from rings (as the file player is),
// gain 0.9 to the output, and gain 10.9 to a spectral monitor at the application's settings
// (window 512, FFT 2048, Hann), which the context pulls. Enabled and ready to render.
struct OfflineAppGraph {
    explicit OfflineAppGraph(size_t framesPerBlock)
        : context(ContextManual::create(48000, framesPerBlock, 2)),
          player(context->makeNode(new RingSourceNode(2, 4 * framesPerBlock))),
          monitor(context->makeNode(new MonitorSpectralNode(
              MonitorSpectralNode::Format().windowSize(512).fftSize(2048).windowType(dsp::HANN))))
    {
        auto heard = context->makeNode(new GainNode(0.9f));
        auto analysed = context->makeNode(new GainNode(10.9f));
        player->connect(heard);
        heard->connect(context->getOutput());
        player->connect(analysed);
        analysed->connect(monitor);
        context->enable();
    }

    ContextManualRef context;
    std::shared_ptr<RingSourceNode> player;
    std::shared_ptr<MonitorSpectralNode> monitor;
};

} // namespace mirvo::audio::test
