// A buffer whose shape changes at run time without ever giving storage back, so that a node
// sized during configuration can be reshaped on the audio thread within its high-water mark.
#pragma once

#include "audio/Buffer.h"

namespace mirvo::audio {

template <typename T> class BufferDynamicT : public BufferT<T> {
  public:
    BufferDynamicT() : BufferDynamicT(0, 1) {}
    BufferDynamicT(size_t numFrames, size_t numChannels)
        : BufferT<T>(numFrames, numChannels), mAllocatedSize(numFrames * numChannels)
    {
    }

    // Allocates only when the new shape exceeds every shape before it.
    void setNumFrames(size_t numFrames)
    {
        if (numFrames == this->mNumFrames) {
            return;
        }
        this->mNumFrames = numFrames;
        growIfNeeded();
    }
    void setNumChannels(size_t numChannels)
    {
        if (numChannels == this->mNumChannels) {
            return;
        }
        this->mNumChannels = numChannels;
        growIfNeeded();
    }
    void setSize(size_t numFrames, size_t numChannels)
    {
        this->mNumFrames = numFrames;
        this->mNumChannels = numChannels;
        growIfNeeded();
    }

    size_t getAllocatedSize() const { return mAllocatedSize; }

  private:
    void growIfNeeded()
    {
        const size_t required = this->mNumFrames * this->mNumChannels;
        if (required > mAllocatedSize) {
            mAllocatedSize = required;
            this->mData.resize(required);
        }
    }

    size_t mAllocatedSize;
};

using BufferDynamic = BufferDynamicT<float>;

} // namespace mirvo::audio
