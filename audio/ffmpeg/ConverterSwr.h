// The sample-rate converter on libswresample. Input it cannot deliver into the destination yet
// stays inside the resampler and comes out in the next call; a call with no input at all
// drains the filter's tail, which is how the end of a file is flushed.
#pragma once

#include "audio/dsp/Converter.h"

#include <vector>

struct SwrContext;

namespace mirvo::audio::dsp {

class ConverterSwr : public Converter {
  public:
    ConverterSwr(size_t sourceSampleRate, size_t destSampleRate, size_t sourceNumChannels,
                 size_t destNumChannels, size_t sourceMaxFramesPerBlock);
    ~ConverterSwr() override;

    std::pair<size_t, size_t> convert(const Buffer* sourceBuffer, Buffer* destBuffer) override;
    void clear() override;

  private:
    SwrContext* mSwr = nullptr;
    std::vector<const float*> mSourceChannels;
    std::vector<float*> mDestChannels;
    bool mFlushed = false;
};

} // namespace mirvo::audio::dsp
