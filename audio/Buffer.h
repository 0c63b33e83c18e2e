// Blocks of audio samples, stored channel after channel (non-interleaved). A buffer belongs
// to one thread at a time; node buffers belong to the audio thread while a block renders.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <memory>
#include <vector>

namespace mirvo::audio {

template <typename T> class BufferT {
  public:
    BufferT() : BufferT(0, 1) {}
    BufferT(size_t numFrames, size_t numChannels)
        : mData(numFrames * numChannels), mNumChannels(numChannels), mNumFrames(numFrames)
    {
    }

    size_t getNumFrames() const { return mNumFrames; }
    size_t getNumChannels() const { return mNumChannels; }
    size_t getSize() const { return mNumFrames * mNumChannels; }

    T* getData() { return mData.data(); }
    const T* getData() const { return mData.data(); }

    T* getChannel(size_t channel)
    {
        assert(channel < mNumChannels && "channel out of range");
        return mData.data() + channel * mNumFrames;
    }
    const T* getChannel(size_t channel) const
    {
        assert(channel < mNumChannels && "channel out of range");
        return mData.data() + channel * mNumFrames;
    }

    T& operator[](size_t index) { return mData[index]; }
    const T& operator[](size_t index) const { return mData[index]; }

    // Zeroes the whole storage, beyond the current shape too.
    void zero() { std::fill(mData.begin(), mData.end(), T(0)); }

  protected:
    std::vector<T> mData;
    size_t mNumChannels;
    size_t mNumFrames;
};

using Buffer = BufferT<float>;
using BufferRef = std::shared_ptr<Buffer>;

} // namespace mirvo::audio
