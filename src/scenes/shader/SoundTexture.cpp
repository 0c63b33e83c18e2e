// The sound texture's rows. The spectrum follows the analyser most shaders were tuned against:
// a Blackman window, magnitudes scaled by the window length and smoothed before the decibels,
// and a fixed -100..-30 dB range, so that their thresholds mean the same here.
#include "src/scenes/shader/SoundTexture.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mirvo {

namespace {

std::uint8_t clampedByte(float value)
{
    return static_cast<std::uint8_t>(std::clamp(std::floor(value), 0.0f, 255.0f));
}

} // namespace

SoundTexture::SoundTexture()
    : mFft(std::make_unique<audio::dsp::Fft>(kWindow)), mMono(kWindow, 1), mSpectral(kWindow)
{
    constexpr double alpha = 0.16;
    const double a0 = 0.5 * (1.0 - alpha);
    const double a2 = 0.5 * alpha;
    for (std::size_t i = 0; i < kWindow; ++i) {
        const double phase = 2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(kWindow);
        mWindowFunction[i] = static_cast<float>(a0 - 0.5 * std::cos(phase) + a2 * std::cos(2.0 * phase));
    }
    reset();
}

SoundTexture::~SoundTexture() = default;

void SoundTexture::reset()
{
    mSmoothed.fill(0.0f);
    mTexels.fill(0);
    std::fill(mTexels.begin() + kWidth, mTexels.end(), std::uint8_t{128});
}

void SoundTexture::update(const audio::Buffer& channels, float gain)
{
    const std::size_t frames = channels.getNumFrames();
    const std::size_t numChannels = channels.getNumChannels();
    const std::size_t taken = std::min(frames, kWindow);
    const std::size_t first = frames - taken;
    const std::size_t lead = kWindow - taken;
    float* mono = mMono.getData();
    std::fill(mono, mono + lead, 0.0f);
    if (numChannels == 0) {
        std::fill(mono + lead, mono + kWindow, 0.0f);
    } else {
        const float scale = 1.0f / (static_cast<float>(numChannels) * gain);
        const float* left = channels.getChannel(0) + first;
        for (std::size_t i = 0; i < taken; ++i) {
            mono[lead + i] = left[i];
        }
        for (std::size_t ch = 1; ch < numChannels; ++ch) {
            const float* samples = channels.getChannel(ch) + first;
            for (std::size_t i = 0; i < taken; ++i) {
                mono[lead + i] += samples[i];
            }
        }
        if (scale != 1.0f) {
            for (std::size_t i = lead; i < kWindow; ++i) {
                mono[i] *= scale;
            }
        }
    }

    // The waveform row comes before the window is applied in place.
    const float* newest = mono + kWindow - kWidth;
    for (std::size_t i = 0; i < kWidth; ++i) {
        mTexels[kWidth + i] = clampedByte(128.0f * (1.0f + newest[i]));
    }

    for (std::size_t i = 0; i < kWindow; ++i) {
        mono[i] *= mWindowFunction[i];
    }
    mFft->forward(&mMono, &mSpectral);
    const float* real = mSpectral.getReal();
    const float* imag = mSpectral.getImag();
    // The transform gives twice the plain sum, and bin 0's imaginary slot holds the Nyquist term.
    const float toMagnitude = 1.0f / (2.0f * static_cast<float>(kWindow));
    const auto smoothing = static_cast<float>(kSmoothing);
    const auto range = static_cast<float>(kMaxDecibels - kMinDecibels);
    const auto floorDb = static_cast<float>(kMinDecibels);
    for (std::size_t k = 0; k < kWidth; ++k) {
        const float im = k == 0 ? 0.0f : imag[k];
        const float magnitude = std::sqrt(real[k] * real[k] + im * im) * toMagnitude;
        mSmoothed[k] = smoothing * mSmoothed[k] + (1.0f - smoothing) * magnitude;
        // Silence is -inf dB, which the clamp turns into 0.
        const float decibels = mSmoothed[k] > 0.0f ? 20.0f * std::log10(mSmoothed[k]) : floorDb - 1.0f;
        mTexels[k] = clampedByte(255.0f / range * (decibels - floorDb));
    }
}

} // namespace mirvo
