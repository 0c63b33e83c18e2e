// The sound as a shader sees it on channel 0: 512 x 2 bytes, row 0 the spectrum, row 1 the
// waveform, computed the way shaders written for the common shader convention expect. Pure CPU
// and main thread only; the caller uploads the bytes and hands in the newest samples.
#pragma once

#include "audio/Buffer.h"
#include "audio/BufferSpectral.h"
#include "audio/dsp/Fft.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace mirvo {

class SoundTexture {
  public:
    static constexpr std::size_t kWidth = 512;
    static constexpr std::size_t kHeight = 2;
    // Samples the spectrum row is analysed from; its bins are sampleRate / kWindow apart.
    static constexpr std::size_t kWindow = 2048;
    static constexpr double kSmoothing = 0.8;
    static constexpr double kMinDecibels = -100.0;
    static constexpr double kMaxDecibels = -30.0;

    SoundTexture();
    ~SoundTexture();
    SoundTexture(const SoundTexture&) = delete;
    SoundTexture& operator=(const SoundTexture&) = delete;

    // One frame: the newest kWindow frames of `channels` (frames past that are the oldest and
    // ignored; fewer count as silence before them), mixed to mono and divided by `gain`, the
    // gain the samples went through before they got here. Allocates nothing.
    void update(const audio::Buffer& channels, float gain = 1.0f);
    // Silence, and no memory of earlier frames in the smoothing.
    void reset();

    // Row 0 then row 1, kWidth bytes each: the order a texture upload takes from the bottom row.
    const std::array<std::uint8_t, kWidth * kHeight>& getTexels() const { return mTexels; }

  private:
    std::unique_ptr<audio::dsp::Fft> mFft;
    audio::Buffer mMono;
    audio::BufferSpectral mSpectral;
    std::array<float, kWindow> mWindowFunction{};
    // Linear magnitudes of the shown bins, smoothed from frame to frame.
    std::array<float, kWidth> mSmoothed{};
    std::array<std::uint8_t, kWidth * kHeight> mTexels{};
};

} // namespace mirvo
