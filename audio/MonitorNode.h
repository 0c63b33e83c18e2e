// The bridge from the audio thread to the UI thread: the node passes its input through and
// copies every block into one lock-free ring per channel (the audio thread only writes them);
// the UI thread reads the newest window out of the rings when it asks. While nothing is
// connected to its output the context pulls it after every block.
//
// Beside the rings it keeps a history of the last second and more, stamped with the frame
// count written so far and the time of the write, from which the UI thread can read the window
// that ends at any recent frame: the one being heard at a given moment, say, once the output's
// latency is known. The history's samples are relaxed atomics, so a read that a slow UI thread
// lets fall behind the writer is a stale window, never a torn value.
#pragma once

#include "audio/Buffer.h"
#include "audio/NodeAutoPullable.h"
#include "audio/dsp/RingBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace mirvo::audio {

class MonitorNode : public NodeAutoPullable {
  public:
    struct Format : public Node::Format {
        // Frames copied out per analysis; 0 means the output's frames per block.
        Format& windowSize(size_t frames)
        {
            mWindowSize = frames;
            return *this;
        }
        Format& channels(size_t numChannels)
        {
            Node::Format::channels(numChannels);
            return *this;
        }
        Format& channelMode(ChannelMode mode)
        {
            Node::Format::channelMode(mode);
            return *this;
        }
        Format& autoEnable(bool autoEnable = true)
        {
            Node::Format::autoEnable(autoEnable);
            return *this;
        }

        size_t getWindowSize() const { return mWindowSize; }

      private:
        size_t mWindowSize = 0;
    };

    MonitorNode();
    explicit MonitorNode(const Format& format);
    ~MonitorNode() override;

    // Main thread, under the graph lock: sizes the rings and the copy.
    void initialize() override;
    // Audio thread: copies the block into the rings; the block passes unchanged.
    void process(Buffer* buffer) override;

    // UI thread: reads the newest window out of the rings into the copy and returns it. A
    // channel whose ring holds less than a window keeps the samples of the previous call.
    const Buffer& getBuffer();

    size_t getWindowSize() const { return mWindowSize; }

    // How far the audio thread has got: frames written since initialisation, and the
    // steady-clock time (nanoseconds since the clock's epoch) at which the last were written.
    struct WritePosition {
        uint64_t frames = 0;
        int64_t timeNs = 0;
    };
    // Any thread: a consistent pair, never frames of one block with the time of another.
    WritePosition getWritePosition() const;
    // The frame being heard at displayNs when a sample takes delayNs from its write to the ear:
    // the written count extrapolated at sampleRate to (displayNs - delayNs), never past the
    // newest frame written.
    static uint64_t heardFrame(const WritePosition& position, int64_t displayNs, int64_t delayNs,
                               size_t sampleRate);
    // Frames of history kept per channel.
    size_t getHistorySize() const { return mHistorySize; }
    // UI thread: the window that ends just before frame endFrame of the history, into the copy,
    // leaving the rings alone. An end past the newest frame takes the newest window, one that
    // the history no longer holds its oldest; before a whole window is written the copy stays.
    const Buffer& getBufferEndingAt(uint64_t endFrame);
    // UI thread: the into.getNumFrames() frames of history ending at endFrame (bounded as
    // getBufferEndingAt bounds its window), leaving the copy and the rings alone; lengths up to
    // half the history. False, into unchanged, before that many frames are written.
    bool copyHistoryEndingAt(uint64_t endFrame, Buffer& into);
    // UI thread: the history frame the last window read ended at, so that another reader can
    // look at the same moment of the sound.
    uint64_t getLastWindowEnd() const { return mLastWindowEnd; }

  protected:
    // UI thread.
    void fillCopiedBuffer();
    void fillCopiedBufferEndingAt(uint64_t endFrame);

    std::vector<dsp::RingBuffer> mRingBuffers;
    Buffer mCopiedBuffer;
    size_t mWindowSize;
    size_t mRingBufferPaddingFactor;
    uint64_t mLastWindowEnd = 0;

  private:
    // As the format gave it; 0 follows the output's block size.
    size_t mRequestedWindowSize;
    // Main thread: rings of the current capacity left over by a narrower channel count.
    std::vector<dsp::RingBuffer> mSpareRingBuffers;
    // Channel c's history at mHistory[c * mHistorySize], a power of two of frames; only grows.
    std::unique_ptr<std::atomic<float>[]> mHistory;
    size_t mHistorySize = 0;
    size_t mHistoryChannels = 0;
    // Samples allocated in mHistory.
    size_t mHistoryCapacity = 0;
    // Audio thread writes, any thread reads. The stamp is a sequence lock: odd while written.
    std::atomic<uint32_t> mStampSequence{0};
    std::atomic<uint64_t> mStampFrames{0};
    std::atomic<int64_t> mStampTimeNs{0};
};

// The next power of two at or above value, on its low 32 bits; powers of two are kept.
size_t nextPowerOfTwo(size_t value);

} // namespace mirvo::audio
