// libswresample behind dsp::Converter: planar float in, planar float out, rate change only.
#include "audio/ffmpeg/ConverterSwr.h"

#include "audio/Exception.h"

#include <algorithm>
#include <cassert>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace mirvo::audio::dsp {

std::unique_ptr<Converter> Converter::create(size_t sourceSampleRate, size_t destSampleRate,
                                             size_t sourceNumChannels, size_t destNumChannels,
                                             size_t sourceMaxFramesPerBlock)
{
    return std::make_unique<ConverterSwr>(sourceSampleRate, destSampleRate, sourceNumChannels,
                                          destNumChannels, sourceMaxFramesPerBlock);
}

ConverterSwr::ConverterSwr(size_t sourceSampleRate, size_t destSampleRate, size_t sourceNumChannels,
                           size_t destNumChannels, size_t sourceMaxFramesPerBlock)
    : Converter(sourceSampleRate, destSampleRate, sourceNumChannels, destNumChannels, sourceMaxFramesPerBlock)
{
    assert(mSourceNumChannels == mDestNumChannels && "the converter changes the sample rate only");
    AVChannelLayout layout;
    av_channel_layout_default(&layout, int(mSourceNumChannels));
    // Unspecified order: channels pass through one to one, never remixed.
    layout.order = AV_CHANNEL_ORDER_UNSPEC;
    int status = swr_alloc_set_opts2(&mSwr, &layout, AV_SAMPLE_FMT_FLTP, int(mDestSampleRate), &layout,
                                     AV_SAMPLE_FMT_FLTP, int(mSourceSampleRate), 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (status < 0 || swr_init(mSwr) < 0) {
        swr_free(&mSwr);
        throw AudioFormatExc("could not create a sample rate converter");
    }
    mSourceChannels.resize(mSourceNumChannels);
    mDestChannels.resize(mDestNumChannels);
}

ConverterSwr::~ConverterSwr()
{
    swr_free(&mSwr);
}

std::pair<size_t, size_t> ConverterSwr::convert(const Buffer* sourceBuffer, Buffer* destBuffer)
{
    const size_t numSourceFrames = std::min(mSourceMaxFramesPerBlock, sourceBuffer->getNumFrames());
    assert(sourceBuffer->getNumChannels() >= mSourceNumChannels &&
           "source has fewer channels than the converter");
    assert(destBuffer->getNumChannels() >= mDestNumChannels && "dest has fewer channels than the converter");
    for (size_t ch = 0; ch < mSourceNumChannels; ++ch) {
        mSourceChannels[ch] = sourceBuffer->getChannel(ch);
    }
    for (size_t ch = 0; ch < mDestNumChannels; ++ch) {
        mDestChannels[ch] = destBuffer->getChannel(ch);
    }
    const int outCount = int(destBuffer->getNumFrames());
    int produced = 0;
    if (numSourceFrames > 0) {
        mFlushed = false;
        produced =
            swr_convert(mSwr, reinterpret_cast<uint8_t**>(mDestChannels.data()), outCount,
                        reinterpret_cast<const uint8_t**>(mSourceChannels.data()), int(numSourceFrames));
    } else if (!mFlushed) {
        // No more input: let out what the filter still holds, once.
        mFlushed = true;
        produced = swr_convert(mSwr, reinterpret_cast<uint8_t**>(mDestChannels.data()), outCount, nullptr, 0);
    } else {
        // Output that did not fit during the flush is still queued inside.
        produced = swr_convert(mSwr, reinterpret_cast<uint8_t**>(mDestChannels.data()), outCount,
                               reinterpret_cast<const uint8_t**>(mSourceChannels.data()), 0);
    }
    return {numSourceFrames, size_t(std::max(produced, 0))};
}

void ConverterSwr::clear()
{
    swr_close(mSwr);
    swr_init(mSwr);
    mFlushed = false;
}

} // namespace mirvo::audio::dsp
