// A single-producer, single-consumer queue of multi-channel frames with no lock. All channels
// share one storage, interleaved, and one pair of indices counted in frames, so whatever the
// two sides move, they move every channel at once: the channels cannot drift apart however the
// producer's and the consumer's block sizes relate. Each side publishes its index with release
// order after its copy and reads the other's with acquire order before copying. One frame slot
// always stays empty so that a full ring and an empty ring differ.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <type_traits>

namespace mirvo::audio::dsp {

template <typename T> class FrameRingBufferT {
    static_assert(std::is_trivially_copyable_v<T>, "samples are copied as values");

  public:
    FrameRingBufferT() = default;

    // Main thread: allocates.
    FrameRingBufferT(size_t numChannels, size_t capacityFrames) { resize(numChannels, capacityFrames); }

    FrameRingBufferT(const FrameRingBufferT&) = delete;
    FrameRingBufferT& operator=(const FrameRingBufferT&) = delete;

    // Only while neither side runs: replaces the storage with an empty ring. Allocates.
    void resize(size_t numChannels, size_t capacityFrames)
    {
        mNumChannels = numChannels;
        mSlots = numChannels == 0 ? 0 : capacityFrames + 1;
        mData = mSlots == 0 ? nullptr : std::make_unique<T[]>(mSlots * numChannels);
        clear();
    }

    size_t getNumChannels() const { return mNumChannels; }
    // In frames.
    size_t getCapacity() const { return mSlots == 0 ? 0 : mSlots - 1; }

    // Producer thread: frames that fit now.
    size_t getAvailableWrite() const
    {
        return availableWrite(mWriteIndex.load(std::memory_order_relaxed),
                              mReadIndex.load(std::memory_order_acquire));
    }
    // Consumer thread: frames queued now.
    size_t getAvailableRead() const
    {
        return availableRead(mWriteIndex.load(std::memory_order_acquire),
                             mReadIndex.load(std::memory_order_relaxed));
    }

    // Producer thread: queues numFrames frames of a block stored channel after channel, channel
    // c starting at source + c * channelStride. All or nothing: false, and nothing queued, when
    // they do not fit.
    bool write(const T* source, size_t channelStride, size_t numFrames)
    {
        const size_t writeIndex = mWriteIndex.load(std::memory_order_relaxed);
        const size_t readIndex = mReadIndex.load(std::memory_order_acquire);
        if (availableWrite(writeIndex, readIndex) < numFrames) {
            return false;
        }
        size_t slot = writeIndex;
        for (size_t frame = 0; frame < numFrames; ++frame) {
            T* frameData = mData.get() + slot * mNumChannels;
            for (size_t ch = 0; ch < mNumChannels; ++ch) {
                frameData[ch] = source[ch * channelStride + frame];
            }
            slot = slot + 1 == mSlots ? 0 : slot + 1;
        }
        mWriteIndex.store(slot, std::memory_order_release);
        return true;
    }

    // Consumer thread: moves numFrames frames into a block stored channel after channel,
    // channel c starting at dest + c * channelStride. All or nothing: false, and nothing
    // copied, when fewer are queued.
    bool read(T* dest, size_t channelStride, size_t numFrames)
    {
        const size_t readIndex = mReadIndex.load(std::memory_order_relaxed);
        const size_t writeIndex = mWriteIndex.load(std::memory_order_acquire);
        if (availableRead(writeIndex, readIndex) < numFrames) {
            return false;
        }
        size_t slot = readIndex;
        for (size_t frame = 0; frame < numFrames; ++frame) {
            const T* frameData = mData.get() + slot * mNumChannels;
            for (size_t ch = 0; ch < mNumChannels; ++ch) {
                dest[ch * channelStride + frame] = frameData[ch];
            }
            slot = slot + 1 == mSlots ? 0 : slot + 1;
        }
        mReadIndex.store(slot, std::memory_order_release);
        return true;
    }

    // Consumer thread: drops up to numFrames of the oldest queued frames unread, as a read
    // would take them, so the producer may go on writing meanwhile. Returns how many it dropped.
    size_t discard(size_t numFrames)
    {
        const size_t readIndex = mReadIndex.load(std::memory_order_relaxed);
        const size_t writeIndex = mWriteIndex.load(std::memory_order_acquire);
        const size_t dropped = std::min(numFrames, availableRead(writeIndex, readIndex));
        if (dropped > 0) {
            const size_t slot = readIndex + dropped;
            mReadIndex.store(slot >= mSlots ? slot - mSlots : slot, std::memory_order_release);
        }
        return dropped;
    }

    // Only while the other side is held off (by a lock or because it is not running).
    void clear()
    {
        mWriteIndex.store(0);
        mReadIndex.store(0);
    }

  private:
    size_t availableWrite(size_t writeIndex, size_t readIndex) const
    {
        if (mSlots == 0) {
            return 0;
        }
        return readIndex <= writeIndex ? readIndex + mSlots - writeIndex - 1 : readIndex - writeIndex - 1;
    }
    size_t availableRead(size_t writeIndex, size_t readIndex) const
    {
        return writeIndex >= readIndex ? writeIndex - readIndex : writeIndex + mSlots - readIndex;
    }

    std::unique_ptr<T[]> mData;
    size_t mNumChannels = 0;
    // Frame slots in the storage: the capacity plus the one kept empty.
    size_t mSlots = 0;
    std::atomic<size_t> mWriteIndex{0};
    std::atomic<size_t> mReadIndex{0};
};

using FrameRingBuffer = FrameRingBufferT<float>;

} // namespace mirvo::audio::dsp
