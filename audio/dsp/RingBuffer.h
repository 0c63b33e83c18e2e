// A single-producer, single-consumer queue of samples with no lock. The producer owns the
// write index and the consumer the read index; each publishes its index with release order
// after its copy, and reads the other's with acquire order before copying. One slot always
// stays empty so that a full ring and an empty ring differ.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

namespace mirvo::audio::dsp {

template <typename T> class RingBufferT {
    static_assert(std::is_trivially_copyable_v<T>, "samples are copied as bytes");

  public:
    RingBufferT() : mAllocatedSize(0), mWriteIndex(0), mReadIndex(0) {}

    // Main thread: allocates.
    explicit RingBufferT(size_t capacity)
        : mData(std::make_unique<T[]>(capacity + 1)), mAllocatedSize(capacity + 1), mWriteIndex(0),
          mReadIndex(0)
    {
    }

    RingBufferT(const RingBufferT&) = delete;
    RingBufferT& operator=(const RingBufferT&) = delete;

    // Only while neither side runs: takes the storage, leaves the source empty and starts
    // this ring empty.
    RingBufferT(RingBufferT&& other) noexcept
        : mData(std::move(other.mData)), mAllocatedSize(other.mAllocatedSize), mWriteIndex(0), mReadIndex(0)
    {
        other.mAllocatedSize = 0;
        other.clear();
    }
    RingBufferT& operator=(RingBufferT&& other) noexcept
    {
        if (this != &other) {
            mData = std::move(other.mData);
            mAllocatedSize = other.mAllocatedSize;
            other.mAllocatedSize = 0;
            other.clear();
            clear();
        }
        return *this;
    }

    // Only while neither side runs: replaces the storage with an empty ring of the new capacity.
    void resize(size_t capacity) { *this = RingBufferT(capacity); }

    size_t getSize() const { return mAllocatedSize == 0 ? 0 : mAllocatedSize - 1; }

    // Producer thread.
    size_t getAvailableWrite() const
    {
        return availableWrite(mWriteIndex.load(std::memory_order_relaxed),
                              mReadIndex.load(std::memory_order_acquire));
    }
    // Consumer thread.
    size_t getAvailableRead() const
    {
        return availableRead(mWriteIndex.load(std::memory_order_acquire),
                             mReadIndex.load(std::memory_order_relaxed));
    }

    // Producer thread: all or nothing; false (and nothing written) when count samples do not fit.
    bool write(const T* source, size_t count)
    {
        const size_t writeIndex = mWriteIndex.load(std::memory_order_relaxed);
        const size_t readIndex = mReadIndex.load(std::memory_order_acquire);
        if (availableWrite(writeIndex, readIndex) < count) {
            return false;
        }
        mWriteIndex.store(copyIn(source, count, writeIndex), std::memory_order_release);
        return true;
    }

    // Consumer thread: all or nothing; false (and nothing copied) when fewer than count are queued.
    bool read(T* dest, size_t count)
    {
        const size_t readIndex = mReadIndex.load(std::memory_order_relaxed);
        const size_t writeIndex = mWriteIndex.load(std::memory_order_acquire);
        if (availableRead(writeIndex, readIndex) < count) {
            return false;
        }
        mReadIndex.store(copyOut(dest, count, readIndex), std::memory_order_release);
        return true;
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
        if (mAllocatedSize == 0) {
            return 0;
        }
        return readIndex <= writeIndex ? readIndex + mAllocatedSize - writeIndex - 1
                                       : readIndex - writeIndex - 1;
    }
    size_t availableRead(size_t writeIndex, size_t readIndex) const
    {
        return writeIndex >= readIndex ? writeIndex - readIndex : writeIndex + mAllocatedSize - readIndex;
    }

    // Returns the index after the copied stretch, wrapped into [0, allocatedSize).
    size_t copyIn(const T* source, size_t count, size_t index)
    {
        const size_t untilEnd = mAllocatedSize - index;
        if (count > untilEnd) {
            std::memcpy(mData.get() + index, source, untilEnd * sizeof(T));
            std::memcpy(mData.get(), source + untilEnd, (count - untilEnd) * sizeof(T));
            return count - untilEnd;
        }
        if (count > 0) {
            std::memcpy(mData.get() + index, source, count * sizeof(T));
        }
        return count == untilEnd ? 0 : index + count;
    }
    size_t copyOut(T* dest, size_t count, size_t index) const
    {
        const size_t untilEnd = mAllocatedSize - index;
        if (count > untilEnd) {
            std::memcpy(dest, mData.get() + index, untilEnd * sizeof(T));
            std::memcpy(dest + untilEnd, mData.get(), (count - untilEnd) * sizeof(T));
            return count - untilEnd;
        }
        if (count > 0) {
            std::memcpy(dest, mData.get() + index, count * sizeof(T));
        }
        return count == untilEnd ? 0 : index + count;
    }

    std::unique_ptr<T[]> mData;
    size_t mAllocatedSize;
    std::atomic<size_t> mWriteIndex;
    std::atomic<size_t> mReadIndex;
};

using RingBuffer = RingBufferT<float>;

// One ring a channel, written and read a channel at a time, so at any instant the rings may
// hold different counts. A writer or reader that moves only what every ring allows keeps the
// channels in step; one that goes by a single ring can succeed on one channel and fail on the
// next, and the channels stay apart from then on. Either thread; allocates nothing.
template <typename T> size_t commonAvailableRead(const std::vector<RingBufferT<T>>& rings)
{
    size_t available = rings.empty() ? 0 : rings.front().getAvailableRead();
    for (const RingBufferT<T>& ring : rings) {
        available = std::min(available, ring.getAvailableRead());
    }
    return available;
}

template <typename T> size_t commonAvailableWrite(const std::vector<RingBufferT<T>>& rings)
{
    size_t available = rings.empty() ? 0 : rings.front().getAvailableWrite();
    for (const RingBufferT<T>& ring : rings) {
        available = std::min(available, ring.getAvailableWrite());
    }
    return available;
}

} // namespace mirvo::audio::dsp
