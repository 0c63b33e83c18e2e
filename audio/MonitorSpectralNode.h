// A monitor that also analyses: on request from the UI thread it mixes the newest window to
// mono, applies a window function, runs the FFT and returns a smoothed magnitude spectrum.
// The FFT and every analysis buffer belong to the UI thread; the audio thread only fills the
// rings of the monitor.
#pragma once

#include "audio/BufferSpectral.h"
#include "audio/MonitorNode.h"
#include "audio/dsp/Dsp.h"
#include "audio/dsp/Fft.h"

#include <memory>
#include <vector>

namespace mirvo::audio {

class MonitorSpectralNode : public MonitorNode {
  public:
    struct Format : public MonitorNode::Format {
        // FFT length; 0, or anything smaller than the window, means the window size.
        Format& fftSize(size_t size)
        {
            mFftSize = size;
            return *this;
        }
        Format& windowType(dsp::WindowType type)
        {
            mWindowType = type;
            return *this;
        }
        Format& windowSize(size_t frames)
        {
            MonitorNode::Format::windowSize(frames);
            return *this;
        }
        Format& channels(size_t numChannels)
        {
            MonitorNode::Format::channels(numChannels);
            return *this;
        }
        Format& channelMode(ChannelMode mode)
        {
            MonitorNode::Format::channelMode(mode);
            return *this;
        }
        Format& autoEnable(bool autoEnable = true)
        {
            MonitorNode::Format::autoEnable(autoEnable);
            return *this;
        }

        size_t getFftSize() const { return mFftSize; }
        dsp::WindowType getWindowType() const { return mWindowType; }

      private:
        size_t mFftSize = 0;
        dsp::WindowType mWindowType = dsp::HANN;
    };

    MonitorSpectralNode();
    explicit MonitorSpectralNode(const Format& format);
    ~MonitorSpectralNode() override;

    // Main thread, under the graph lock: builds the FFT, the analysis buffers and the window.
    void initialize() override;

    // UI thread: recomputes the smoothed magnitudes (fftSize / 2 bins) on every call.
    // Allocates nothing; must not be called before the node is initialised.
    const std::vector<float>& getMagSpectrum();
    // UI thread: the same of the window ending at history frame endFrame (getBufferEndingAt),
    // leaving the rings to getMagSpectrum.
    const std::vector<float>& getMagSpectrumEndingAt(uint64_t endFrame);

    size_t getFftSize() const { return mFftSize; }
    size_t getNumBins() const { return mFftSize / 2; }
    dsp::WindowType getWindowType() const { return mWindowType; }
    float getSmoothingFactor() const { return mSmoothingFactor; }

  private:
    // UI thread: the mono mix of the copied window, windowed, into the FFT's input.
    void prepareFftInput();
    // UI thread: the spectrum of the copied window, smoothed into the magnitudes.
    const std::vector<float>& analyseCopiedBuffer();

    std::unique_ptr<dsp::Fft> mFft;
    Buffer mFftBuffer;
    BufferSpectral mBufferSpectral;
    std::vector<float> mMagSpectrum;
    std::unique_ptr<float[]> mWindow;
    // The window size mWindow and the zero padding of mFftBuffer were made for.
    size_t mPreparedWindowSize = 0;
    size_t mFftSize;
    dsp::WindowType mWindowType;
    float mSmoothingFactor;
    // As the format gave it; initialisation derives the FFT size from it and the window.
    size_t mRequestedFftSize;
};

} // namespace mirvo::audio
