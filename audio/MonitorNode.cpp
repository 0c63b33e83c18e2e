#include "audio/MonitorNode.h"

#include "audio/RealtimeScope.h"

#include <algorithm>
#include <chrono>

namespace mirvo::audio {

namespace {

// More than a second at the usual rates: room for a Bluetooth output's latency, an offset on
// top and the window itself.
constexpr size_t kHistoryFrames = size_t(1) << 16;

int64_t steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

size_t nextPowerOfTwo(size_t value)
{
    if (value != 0 && (value & (value - 1)) == 0) {
        return value;
    }
    uint32_t bits = static_cast<uint32_t>(value);
    bits |= bits >> 1;
    bits |= bits >> 2;
    bits |= bits >> 4;
    bits |= bits >> 8;
    bits |= bits >> 16;
    return static_cast<size_t>(bits) + 1;
}

MonitorNode::MonitorNode() : MonitorNode(Format())
{
}

MonitorNode::MonitorNode(const Format& format)
    : NodeAutoPullable(format), mWindowSize(format.getWindowSize()), mRingBufferPaddingFactor(2),
      mRequestedWindowSize(format.getWindowSize())
{
}

MonitorNode::~MonitorNode() = default;

void MonitorNode::initialize()
{
    // Derived again on every initialisation: a window that follows the block size must follow a
    // block-size change too.
    if (mRequestedWindowSize == 0) {
        mWindowSize = getFramesPerBlock();
    } else {
        mWindowSize = nextPowerOfTwo(mRequestedWindowSize);
    }
    // Every ring starts empty, one per current channel. This runs under the graph lock when the
    // channel count changes, so rings of the right capacity are emptied and kept instead of
    // being freed and allocated again; the ones a narrower count leaves over wait in the spares.
    const size_t capacity = mWindowSize * mRingBufferPaddingFactor;
    const auto otherCapacity = [capacity](const std::vector<dsp::RingBuffer>& rings) {
        return !rings.empty() && rings.front().getSize() != capacity;
    };
    if (otherCapacity(mRingBuffers) || otherCapacity(mSpareRingBuffers)) {
        mRingBuffers.clear();
        mSpareRingBuffers.clear();
    }
    while (mRingBuffers.size() > mNumChannels) {
        mSpareRingBuffers.push_back(std::move(mRingBuffers.back()));
        mRingBuffers.pop_back();
    }
    for (auto& ring : mRingBuffers) {
        ring.clear();
    }
    mRingBuffers.reserve(mNumChannels);
    while (mRingBuffers.size() < mNumChannels) {
        if (mSpareRingBuffers.empty()) {
            mRingBuffers.emplace_back(capacity);
        } else {
            mRingBuffers.push_back(std::move(mSpareRingBuffers.back()));
            mSpareRingBuffers.pop_back();
        }
    }
    mCopiedBuffer = Buffer(mWindowSize, mNumChannels);

    mHistorySize = std::max(kHistoryFrames, nextPowerOfTwo(mWindowSize * 4));
    // Kept when it is large enough, like the rings, since a channel change runs under the lock.
    if (mHistoryCapacity < mHistorySize * mNumChannels) {
        mHistory = std::make_unique<std::atomic<float>[]>(mHistorySize * mNumChannels);
        mHistoryCapacity = mHistorySize * mNumChannels;
    }
    mHistoryChannels = mNumChannels;
    for (size_t i = 0; i < mHistorySize * mHistoryChannels; ++i) {
        mHistory[i].store(0.0f, std::memory_order_relaxed);
    }
    mStampSequence.store(0);
    mStampFrames.store(0);
    mStampTimeNs.store(0);
}

void MonitorNode::process(Buffer* buffer)
{
    // Audio thread.
    MIRVO_RT_SCOPE();
    if (mRingBuffers.empty()) {
        return;
    }
    if (mHistory) {
        const size_t frames = std::min(buffer->getNumFrames(), mHistorySize);
        const uint64_t start = mStampFrames.load(std::memory_order_relaxed);
        const size_t mask = mHistorySize - 1;
        const size_t historyChannels = std::min(buffer->getNumChannels(), mHistoryChannels);
        for (size_t ch = 0; ch < historyChannels; ++ch) {
            const float* samples = buffer->getChannel(ch);
            std::atomic<float>* history = mHistory.get() + ch * mHistorySize;
            for (size_t i = 0; i < frames; ++i) {
                history[(start + i) & mask].store(samples[i], std::memory_order_relaxed);
            }
        }
        const uint32_t sequence = mStampSequence.load(std::memory_order_relaxed);
        mStampSequence.store(sequence + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        mStampFrames.store(start + frames, std::memory_order_relaxed);
        mStampTimeNs.store(steadyNowNs(), std::memory_order_relaxed);
        mStampSequence.store(sequence + 2, std::memory_order_release);
    }
    const size_t numFrames = std::min(buffer->getNumFrames(), mRingBuffers.front().getSize());
    // A full ring drops this block for every channel, so the channels stay in step.
    if (dsp::commonAvailableWrite(mRingBuffers) < numFrames) {
        return;
    }
    const size_t channels = std::min(buffer->getNumChannels(), mRingBuffers.size());
    for (size_t ch = 0; ch < channels; ++ch) {
        mRingBuffers[ch].write(buffer->getChannel(ch), numFrames);
    }
}

void MonitorNode::fillCopiedBuffer()
{
    // Until every channel holds a whole window, the last window copied stands.
    if (dsp::commonAvailableRead(mRingBuffers) < mWindowSize) {
        return;
    }
    // The rings drop blocks when full, so the newest frame written is the nearest end to name.
    mLastWindowEnd = getWritePosition().frames;
    const size_t channels = std::min(mRingBuffers.size(), mCopiedBuffer.getNumChannels());
    for (size_t ch = 0; ch < channels; ++ch) {
        mRingBuffers[ch].read(mCopiedBuffer.getChannel(ch), mWindowSize);
    }
}

MonitorNode::WritePosition MonitorNode::getWritePosition() const
{
    for (;;) {
        const uint32_t before = mStampSequence.load(std::memory_order_acquire);
        WritePosition position;
        position.frames = mStampFrames.load(std::memory_order_relaxed);
        position.timeNs = mStampTimeNs.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1) == 0 && mStampSequence.load(std::memory_order_relaxed) == before) {
            return position;
        }
    }
}

uint64_t MonitorNode::heardFrame(const WritePosition& position, int64_t displayNs, int64_t delayNs,
                                 size_t sampleRate)
{
    // Between two writes the output goes on playing at the sample rate, so the count is
    // carried forward (or back) from the last stamp in time.
    const double seconds = static_cast<double>(displayNs - delayNs - position.timeNs) * 1.0e-9;
    const double frame = static_cast<double>(position.frames) + seconds * static_cast<double>(sampleRate);
    if (frame <= 0.0) {
        return 0;
    }
    return std::min(position.frames, static_cast<uint64_t>(frame + 0.5));
}

void MonitorNode::fillCopiedBufferEndingAt(uint64_t endFrame)
{
    copyHistoryEndingAt(endFrame, mCopiedBuffer);
}

bool MonitorNode::copyHistoryEndingAt(uint64_t endFrame, Buffer& into)
{
    const size_t length = into.getNumFrames();
    if (!mHistory || length > mHistorySize / 2) {
        return false;
    }
    // Acquire: every sample up to this count is in the history.
    const uint64_t written = getWritePosition().frames;
    if (written < length) {
        return false;
    }
    uint64_t end = std::min(endFrame, written);
    // The writer may move on by a few blocks while this copies; keep a quarter of the history
    // between the window and the samples it is about to overwrite.
    const uint64_t kept = mHistorySize - mHistorySize / 4;
    if (written > kept && end < written - kept + length) {
        end = written - kept + length;
    }
    end = std::max<uint64_t>(end, length);
    mLastWindowEnd = end;
    const uint64_t start = end - length;
    const size_t mask = mHistorySize - 1;
    const size_t channels = std::min(mHistoryChannels, into.getNumChannels());
    for (size_t ch = 0; ch < channels; ++ch) {
        const std::atomic<float>* history = mHistory.get() + ch * mHistorySize;
        float* copy = into.getChannel(ch);
        for (size_t i = 0; i < length; ++i) {
            copy[i] = history[(start + i) & mask].load(std::memory_order_relaxed);
        }
    }
    return true;
}

const Buffer& MonitorNode::getBufferEndingAt(uint64_t endFrame)
{
    fillCopiedBufferEndingAt(endFrame);
    return mCopiedBuffer;
}

const Buffer& MonitorNode::getBuffer()
{
    fillCopiedBuffer();
    return mCopiedBuffer;
}

} // namespace mirvo::audio
