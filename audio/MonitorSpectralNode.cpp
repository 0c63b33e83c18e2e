#include "audio/MonitorSpectralNode.h"

#include "audio/dsp/VectorTarget.h"

#include <cassert>
#include <cmath>

namespace mirvo::audio {

namespace {

// mono[i] = (left[i] * scale + right[i] * scale) * window[i]
MIRVO_VECTOR_LOOP void mixStereoWindowed(const float* left, const float* right, float scale,
                                         const float* window, float* mono, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        mono[i] = (left[i] * scale + right[i] * scale) * window[i];
    }
}

// magnitudes[k] = |bin k| * inverseSize * (1 - smoothing) + smoothing * magnitudes[k]
MIRVO_VECTOR_LOOP void smoothMagnitudes(const float* real, const float* imag, float inverseSize,
                                        float smoothing, float* magnitudes, size_t numBins)
{
    const float fresh = 1.0f - smoothing;
    for (size_t k = 0; k < numBins; ++k) {
        const float magnitude = std::sqrt(real[k] * real[k] + imag[k] * imag[k]) * inverseSize;
        magnitudes[k] = magnitude * fresh + smoothing * magnitudes[k];
    }
}

} // namespace

MonitorSpectralNode::MonitorSpectralNode() : MonitorSpectralNode(Format())
{
}

MonitorSpectralNode::MonitorSpectralNode(const Format& format)
    : MonitorNode(format), mFftSize(format.getFftSize()), mWindowType(format.getWindowType()),
      mSmoothingFactor(0.5f), mRequestedFftSize(format.getFftSize())
{
}

MonitorSpectralNode::~MonitorSpectralNode() = default;

void MonitorSpectralNode::initialize()
{
    MonitorNode::initialize();

    mFftSize = nextPowerOfTwo(std::max(mRequestedFftSize, mWindowSize));
    // A channel-count change re-initialises the node under the graph lock while the render
    // thread waits for it. Nothing below depends on the channels, so what still has its size is
    // kept: planning, allocating, freeing and computing the window again would only lengthen
    // that wait.
    if (!mFft || mFft->getSize() != mFftSize) {
        mFft = std::make_unique<dsp::Fft>(mFftSize);
    }
    // The samples past the window are the zero padding, so a window of another size needs a
    // fresh, zeroed input even for the same transform size.
    if (mFftBuffer.getNumFrames() != mFftSize || mPreparedWindowSize != mWindowSize) {
        mFftBuffer = Buffer(mFftSize, 1);
    }
    if (mBufferSpectral.getNumFrames() != mFftSize / 2) {
        mBufferSpectral = BufferSpectral(mFftSize);
    }
    mMagSpectrum.resize(mFftSize / 2, 0.0f);

    if (!mWindow || mPreparedWindowSize != mWindowSize) {
        mWindow = std::make_unique<float[]>(mWindowSize);
        dsp::generateWindow(mWindowType, mWindow.get(), mWindowSize);
        mPreparedWindowSize = mWindowSize;
    }
}

void MonitorSpectralNode::prepareFftInput()
{
    // Samples from mWindowSize on are never written: they stay the zero padding.
    const size_t channels = mCopiedBuffer.getNumChannels();
    const float* window = mWindow.get();
    float* mono = mFftBuffer.getData();

    if (channels == 1) {
        dsp::mul(mCopiedBuffer.getChannel(0), window, mono, mWindowSize);
        return;
    }
    const float scale = 1.0f / static_cast<float>(channels);
    if (channels == 2) {
        mixStereoWindowed(mCopiedBuffer.getChannel(0), mCopiedBuffer.getChannel(1), scale, window, mono,
                          mWindowSize);
        return;
    }
    dsp::mul(mCopiedBuffer.getChannel(0), scale, mono, mWindowSize);
    for (size_t ch = 1; ch < channels; ++ch) {
        const float* channel = mCopiedBuffer.getChannel(ch);
        for (size_t i = 0; i < mWindowSize; ++i) {
            mono[i] += channel[i] * scale;
        }
    }
    dsp::mul(mono, window, mono, mWindowSize);
}

const std::vector<float>& MonitorSpectralNode::getMagSpectrum()
{
    assert(mFft && "the spectral monitor is asked for a spectrum before it was initialised");

    fillCopiedBuffer();
    return analyseCopiedBuffer();
}

const std::vector<float>& MonitorSpectralNode::getMagSpectrumEndingAt(uint64_t endFrame)
{
    assert(mFft && "the spectral monitor is asked for a spectrum before it was initialised");
    fillCopiedBufferEndingAt(endFrame);
    return analyseCopiedBuffer();
}

const std::vector<float>& MonitorSpectralNode::analyseCopiedBuffer()
{
    prepareFftInput();
    mFft->forward(&mFftBuffer, &mBufferSpectral);

    const float* real = mBufferSpectral.getReal();
    float* imag = mBufferSpectral.getImag();
    // Bin 0 reports the DC term alone; the packed Nyquist term is dropped.
    imag[0] = 0.0f;

    smoothMagnitudes(real, imag, 1.0f / static_cast<float>(mFft->getSize()), mSmoothingFactor,
                     mMagSpectrum.data(), mMagSpectrum.size());
    return mMagSpectrum;
}

} // namespace mirvo::audio
