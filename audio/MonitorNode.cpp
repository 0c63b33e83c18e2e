#include "audio/MonitorNode.h"

#include "audio/RealtimeScope.h"

#include <algorithm>

namespace mirvo::audio {

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
}

void MonitorNode::process(Buffer* buffer)
{
    MIRVO_RT_SCOPE();
    if (mRingBuffers.empty()) {
        return;
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
    const size_t channels = std::min(mRingBuffers.size(), mCopiedBuffer.getNumChannels());
    for (size_t ch = 0; ch < channels; ++ch) {
        mRingBuffers[ch].read(mCopiedBuffer.getChannel(ch), mWindowSize);
    }
}

const Buffer& MonitorNode::getBuffer()
{
    fillCopiedBuffer();
    return mCopiedBuffer;
}

} // namespace mirvo::audio
