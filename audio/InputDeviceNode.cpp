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

void InputDeviceNode::allocateRingBuffer(size_t framesPerBlock, size_t ringBlocks)
{
    mRingBuffer.resize(mNumChannels * framesPerBlock * ringBlocks);
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
    if (mRingBuffer.getAvailableRead() >= count)
        mRingBuffer.read(buffer->getData(), count);
    else
        mLastUnderrun = getContextFramePosition();
}

} // namespace mirvo::audio
