#include "audio/InputDeviceNode.h"

#include "audio/Context.h"
#include "audio/Exception.h"

#include <algorithm>
#include <limits>
#include <thread>
#include <vector>

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
    const size_t delivery = deviceFrames == 0 ? graphFrames : deviceFrames;
    const size_t block = std::max(graphFrames, delivery);
    // A delivery, and a margin for its coming late: a graph block, or for deliveries much
    // larger than the graph's blocks half a delivery, as their timing wanders in proportion.
    mPrimingFrames = block + std::max(graphFrames, block / 2);
    mRingBuffer.resize(mNumChannels, mPrimingFrames + (kRingBufferBlocks - kPrimingBlocks) * block);
    mDeliveryFrames.store(delivery, std::memory_order_relaxed);
    setSteadyQueue(mKeepFramesAsked);
    mPriming = true;
    mOverrunPending = false;
}

void InputDeviceNode::resizeRingBuffer(size_t graphFrames, size_t deviceFrames, bool keepQueued)
{
    mReaderBarred = true;
    while (mReaderInside.load()) {
        std::this_thread::yield();
    }
    // The graph is off the ring, and this is its only writer: it may read it out as well.
    std::vector<float> queued;
    size_t queuedFrames = keepQueued ? mRingBuffer.getAvailableRead() : 0;
    if (queuedFrames > 0) {
        queued.resize(queuedFrames * mNumChannels);
        mRingBuffer.read(queued.data(), queuedFrames, queuedFrames);
    }
    allocateRingBuffer(graphFrames, deviceFrames);
    // What no longer fits is the oldest: the newest is what plays now.
    const size_t kept = std::min(queuedFrames, mRingBuffer.getCapacity());
    if (kept > 0) {
        mRingBuffer.write(queued.data() + (queuedFrames - kept), queuedFrames, kept);
    }
    mReaderBarred = false;
}

void InputDeviceNode::setSteadyQueue(size_t keepFrames)
{
    mKeepFramesAsked = keepFrames;
    mKeepFrames = keepFrames == 0 ? 0 : std::max(keepFrames, mDeliveryFrames.load(std::memory_order_relaxed));
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
        mNumDroppedFrames.fetch_add(numFrames, std::memory_order_relaxed);
        // Only the reader may take frames out; it drops the stale ones when it next looks.
        mOverrunPending.store(true, std::memory_order_release);
    }
}

size_t InputDeviceNode::dropOldestDownTo(size_t available, size_t target)
{
    // Runs on the audio thread.
    if (available <= target) {
        return available;
    }
    mRingBuffer.discard(available - target);
    mNumStaleDrops.fetch_add(1, std::memory_order_relaxed);
    return target;
}

void InputDeviceNode::starved(size_t numFrames)
{
    // Runs on the audio thread.
    mNumStarvedFrames.fetch_add(numFrames, std::memory_order_relaxed);
}

void InputDeviceNode::readCapturedBlock(Buffer* buffer)
{
    // Runs on the audio thread.
    mReaderInside = true;
    if (!mReaderBarred.load()) {
        readFromRing(buffer);
    }
    mReaderInside = false;
}

void InputDeviceNode::readFromRing(Buffer* buffer)
{
    // Runs on the audio thread.
    const size_t numFrames = buffer->getNumFrames();
    if (buffer->getNumChannels() != mRingBuffer.getNumChannels()) {
        return;
    }
    size_t available = mRingBuffer.getAvailableRead();
    // A full ring holds the oldest sound, and the capture has already lost what came after it.
    // Keeping it would hold the delay at the ring's whole length until the next underrun: the
    // graph starts again from the newest frames, with the queue a fresh start has.
    if (mOverrunPending.exchange(false, std::memory_order_acquire)) {
        available = dropOldestDownTo(available, mPrimingFrames + mKeepFrames);
    }
    if (mPriming) {
        if (available < std::max(mPrimingFrames, numFrames)) {
            starved(numFrames);
            return;
        }
        mPriming = false;
        mLeastQueued = std::numeric_limits<size_t>::max();
        mWatchedBlocks = 0;
        // Blocks that waited for the priming let the frames pile up past it; a steady
        // capture needs no more than the start did.
        if (mKeepFrames > 0) {
            available = dropOldestDownTo(available, mPrimingFrames + mKeepFrames);
        }
    }
    if (!mRingBuffer.read(buffer->getData(), numFrames, numFrames)) {
        mLastUnderrun = getContextFramePosition();
        mNumUnderruns.fetch_add(1, std::memory_order_relaxed);
        starved(numFrames);
        mPriming = true;
        return;
    }
    // What the writer added since `available` was read only makes the queue longer: the count
    // is the least it held, which is what the watch wants.
    const size_t left = available - numFrames;
    mQueuedFrames.store(left, std::memory_order_relaxed);
    if (mKeepFrames == 0) {
        return;
    }
    mLeastQueued = std::min(mLeastQueued, left);
    if (++mWatchedBlocks < kStaleWatchBlocks) {
        return;
    }
    // A drop is a jump in the captured sound, which the spectrum shows as a click: only a
    // surplus as large as the margin itself is worth one.
    if (mLeastQueued > 2 * mKeepFrames) {
        mRingBuffer.discard(mLeastQueued - mKeepFrames);
        mNumStaleDrops.fetch_add(1, std::memory_order_relaxed);
    }
    mLeastQueued = std::numeric_limits<size_t>::max();
    mWatchedBlocks = 0;
}

} // namespace mirvo::audio
