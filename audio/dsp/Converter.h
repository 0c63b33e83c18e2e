// A streaming sample-rate converter between two non-interleaved float buffers. It keeps its
// filter history between calls so that consecutive blocks join seamlessly; clear() drops the
// history before a discontinuity. Used by one thread at a time.
#pragma once

#include "audio/Buffer.h"

#include <cstddef>
#include <memory>
#include <utility>

namespace mirvo::audio::dsp {

class Converter {
  public:
    // Made by the platform's resampler; destSampleRate or destNumChannels 0 take the source's.
    static std::unique_ptr<Converter> create(size_t sourceSampleRate, size_t destSampleRate,
                                             size_t sourceNumChannels, size_t destNumChannels,
                                             size_t sourceMaxFramesPerBlock);

    virtual ~Converter() = default;

    // Converts up to sourceMaxFramesPerBlock frames of source into dest, writing at most
    // dest's frame count; returns (source frames consumed, dest frames produced).
    virtual std::pair<size_t, size_t> convert(const Buffer* sourceBuffer, Buffer* destBuffer) = 0;
    // Forgets the filter history.
    virtual void clear() {}

    size_t getSourceSampleRate() const { return mSourceSampleRate; }
    size_t getDestSampleRate() const { return mDestSampleRate; }
    size_t getSourceNumChannels() const { return mSourceNumChannels; }
    size_t getDestNumChannels() const { return mDestNumChannels; }
    size_t getSourceMaxFramesPerBlock() const { return mSourceMaxFramesPerBlock; }
    size_t getDestMaxFramesPerBlock() const { return mDestMaxFramesPerBlock; }

  protected:
    Converter(size_t sourceSampleRate, size_t destSampleRate, size_t sourceNumChannels,
              size_t destNumChannels, size_t sourceMaxFramesPerBlock);

    size_t mSourceSampleRate;
    size_t mDestSampleRate;
    size_t mSourceNumChannels;
    size_t mDestNumChannels;
    size_t mSourceMaxFramesPerBlock;
    size_t mDestMaxFramesPerBlock;
};

} // namespace mirvo::audio::dsp
