// Small nodes the audio tests and benchmarks build graphs from.
#pragma once

#include "audio/InputNode.h"
#include "audio/Node.h"
#include "audio/dsp/Dsp.h"
#include "audio/dsp/RingBuffer.h"

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

} // namespace mirvo::audio::test
