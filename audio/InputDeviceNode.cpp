#include "audio/InputDeviceNode.h"

#include "audio/Context.h"
#include "audio/Exception.h"

#include <algorithm>

namespace mirvo::audio {

namespace {

const DeviceRef& requireDevice(const DeviceRef& device)
{
    if (!device) {
        throw AudioDeviceExc("no audio input device to capture from");
    }
    return device;
}

} // namespace

InputDeviceNode::InputDeviceNode(const DeviceRef& device, const Format& format)
    : InputNode(format), mDevice(requireDevice(device)), mLastOverrun(0), mLastUnderrun(0)
{
    if (mChannelMode != ChannelMode::SPECIFIED) {
        mChannelMode = ChannelMode::SPECIFIED;
        setNumChannels(std::min<size_t>(mDevice->getNumInputChannels(), 2));
    }
}

InputDeviceNode::InputDeviceNode(size_t numChannels, const Format& format)
    : InputNode(format), mLastOverrun(0), mLastUnderrun(0)
{
    mChannelMode = ChannelMode::SPECIFIED;
    setNumChannels(numChannels);
}

void InputDeviceNode::allocateRingBuffer(size_t graphFrames, size_t deviceFrames)
{
    const size_t block = std::max(graphFrames, deviceFrames);
    mRingBuffer.resize(mNumChannels, block * kRingBufferBlocks);
    mPrimingFrames = block * kPrimingBlocks;
    mPriming = true;
}

uint64_t InputDeviceNode::getContextFramePosition() const
{
    const Context* context = getRenderContext();
    return context && !mContext.expired() ? context->getNumProcessedFrames() : 0;
}

void InputDeviceNode::writeCapturedFrames(const float* samples, size_t numChannels, size_t numFrames)
{
    // A stream opened for another channel count cannot be laid into this ring frame by frame.
    if (numChannels != mRingBuffer.getNumChannels()) {
        return;
    }
    if (!mRingBuffer.write(samples, numFrames, numFrames)) {
        mLastOverrun = getContextFramePosition();
        mNumOverruns.fetch_add(1, std::memory_order_relaxed);
    }
}

void InputDeviceNode::readCapturedBlock(Buffer* buffer)
{
    const size_t numFrames = buffer->getNumFrames();
    if (buffer->getNumChannels() != mRingBuffer.getNumChannels()) {
        return;
    }
    const size_t available = mRingBuffer.getAvailableRead();
    if (mPriming) {
        if (available < std::max(mPrimingFrames, numFrames)) {
            return;
        }
        mPriming = false;
    }
    if (!mRingBuffer.read(buffer->getData(), numFrames, numFrames)) {
        mLastUnderrun = getContextFramePosition();
        mPriming = true;
    }
}

} // namespace mirvo::audio
