#include "audio/InputDeviceNode.h"

#include "audio/Context.h"

#include <algorithm>

namespace mirvo::audio {

InputDeviceNode::InputDeviceNode(const DeviceRef& device, const Format& format)
    : InputNode(format), mDevice(device), mLastOverrun(0), mLastUnderrun(0)
{
    if (mChannelMode != ChannelMode::SPECIFIED) {
        mChannelMode = ChannelMode::SPECIFIED;
        setNumChannels(std::min<size_t>(mDevice->getNumInputChannels(), 2));
    }
}

void InputDeviceNode::allocateRingBuffer(size_t framesPerBlock)
{
    mRingBuffer.resize(mNumChannels * framesPerBlock * kRingBufferBlocks);
    mPriming = true;
}

uint64_t InputDeviceNode::getContextFramePosition() const
{
    const Context* context = getRenderContext();
    return context && !mContext.expired() ? context->getNumProcessedFrames() : 0;
}

void InputDeviceNode::writeCapturedBlock(const float* samples, size_t numChannels, size_t numFrames)
{
    const size_t count = numChannels * numFrames;
    if (mRingBuffer.getAvailableWrite() >= count)
        mRingBuffer.write(samples, count);
    else
        mLastOverrun = getContextFramePosition();
}

void InputDeviceNode::readCapturedBlock(Buffer* buffer)
{
    const size_t count = buffer->getNumChannels() * buffer->getNumFrames();
    const size_t available = mRingBuffer.getAvailableRead();
    if (mPriming) {
        if (available < count * kPrimingBlocks)
            return;
        mPriming = false;
    }
    if (available >= count) {
        mRingBuffer.read(buffer->getData(), count);
    } else {
        mLastUnderrun = getContextFramePosition();
        mPriming = true;
    }
}

} // namespace mirvo::audio
