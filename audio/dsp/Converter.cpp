// The bookkeeping shared by every converter; the resampling lives in the platform's class.
#include "audio/dsp/Converter.h"

#include <cmath>

namespace mirvo::audio::dsp {

Converter::Converter(size_t sourceSampleRate, size_t destSampleRate, size_t sourceNumChannels,
                     size_t destNumChannels, size_t sourceMaxFramesPerBlock)
    : mSourceSampleRate(sourceSampleRate),
      mDestSampleRate(destSampleRate ? destSampleRate : sourceSampleRate),
      mSourceNumChannels(sourceNumChannels),
      mDestNumChannels(destNumChannels ? destNumChannels : sourceNumChannels),
      mSourceMaxFramesPerBlock(sourceMaxFramesPerBlock)
{
    mDestMaxFramesPerBlock =
        size_t(std::ceil(float(sourceMaxFramesPerBlock) * float(mDestSampleRate) / float(mSourceSampleRate)));
}

} // namespace mirvo::audio::dsp
