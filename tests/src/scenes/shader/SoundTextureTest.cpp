// The sound texture against a reference computed in double precision straight from its
// definition, with a naive DFT, so that a fault in the window, the transform's scaling, the
// smoothing or the byte mapping shows as texels more than one step apart.
#include "src/scenes/shader/SoundTexture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace mirvo {
namespace {

constexpr std::size_t kN = 2048;
constexpr std::size_t kBins = 512;

class ReferenceTexture {
  public:
    // mono holds the newest kN samples, oldest first.
    std::vector<int> next(const std::vector<double>& mono)
    {
        std::vector<int> texels(2 * kBins);
        for (std::size_t k = 0; k < kBins; ++k) {
            double re = 0.0;
            double im = 0.0;
            for (std::size_t n = 0; n < kN; ++n) {
                const double t = 2.0 * std::numbers::pi * static_cast<double>(n) / kN;
                const double w = 0.42 - 0.5 * std::cos(t) + 0.08 * std::cos(2.0 * t);
                const double x = mono[n] * w;
                re += x * std::cos(t * static_cast<double>(k));
                im -= x * std::sin(t * static_cast<double>(k));
            }
            const double magnitude = std::hypot(re, im) / kN;
            mSmoothed[k] = 0.8 * mSmoothed[k] + 0.2 * magnitude;
            const double db = 20.0 * std::log10(mSmoothed[k]);
            texels[k] = static_cast<int>(std::clamp(std::floor(255.0 / 70.0 * (db + 100.0)), 0.0, 255.0));
        }
        for (std::size_t i = 0; i < kBins; ++i) {
            const double x = mono[kN - kBins + i];
            texels[kBins + i] = static_cast<int>(std::clamp(std::floor(128.0 * (1.0 + x)), 0.0, 255.0));
        }
        return texels;
    }

  private:
    std::vector<double> mSmoothed = std::vector<double>(kBins, 0.0);
};

// Left: a sine; right: another an octave and a fifth up; both carry a noise burst in frames 3
// to 5, and the left clips past full scale for a while, so the waveform row's clamp shows.
struct Signal {
    double rate;
    std::vector<double> left;
    std::vector<double> right;
};

Signal makeSignal(double rate, std::size_t frames, std::size_t burstStart, std::size_t burstEnd)
{
    Signal signal{rate, std::vector<double>(frames), std::vector<double>(frames)};
    uint32_t state = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        double noise = 0.0;
        if (i >= burstStart && i < burstEnd) {
            state = state * 1664525u + 1013904223u;
            noise = 0.6 * (static_cast<double>(state >> 8) / 16777216.0 - 0.5);
        }
        const double loud = i > frames / 2 && i < frames / 2 + 3000 ? 1.3 : 0.5;
        signal.left[i] = loud * std::sin(2.0 * std::numbers::pi * 440.0 * t) + noise;
        signal.right[i] = 0.25 * std::sin(2.0 * std::numbers::pi * 1320.0 * t) + noise;
    }
    return signal;
}

TEST(SoundTexture, MatchesTheDefinitionWithinOneStepAcrossFramesAndRates)
{
    for (const double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        const auto hop = static_cast<std::size_t>(rate / 60.0);
        constexpr std::size_t kFrames = 9;
        const std::size_t total = kN + hop * kFrames;
        const Signal signal = makeSignal(rate, total, kN + 3 * hop, kN + 5 * hop);

        SoundTexture texture;
        // The music reaches the monitor 10.9 times louder than it is: the texture shows it as it is.
        SoundTexture amplified;
        constexpr float kGain = 10.9f;
        ReferenceTexture reference;
        // 100 frames more than the window, to prove the oldest are left out.
        audio::Buffer block(kN + 100, 2);
        audio::Buffer loud(kN + 100, 2);
        std::vector<double> mono(kN);
        for (std::size_t frame = 0; frame < kFrames; ++frame) {
            SCOPED_TRACE(frame);
            const std::size_t end = kN + hop * (frame + 1);
            for (std::size_t i = 0; i < kN + 100; ++i) {
                const std::size_t at = end - (kN + 100) + i;
                block.getChannel(0)[i] = static_cast<float>(signal.left[at]);
                block.getChannel(1)[i] = static_cast<float>(signal.right[at]);
                loud.getChannel(0)[i] = block.getChannel(0)[i] * kGain;
                loud.getChannel(1)[i] = block.getChannel(1)[i] * kGain;
            }
            for (std::size_t i = 0; i < kN; ++i) {
                const std::size_t at = end - kN + i;
                mono[i] = 0.5 * (static_cast<double>(static_cast<float>(signal.left[at])) +
                                 static_cast<double>(static_cast<float>(signal.right[at])));
            }
            texture.update(block);
            amplified.update(loud, kGain);
            const std::vector<int> expected = reference.next(mono);
            for (const SoundTexture* computed : {&texture, &amplified}) {
                const auto& texels = computed->getTexels();
                int worst = 0;
                std::size_t worstAt = 0;
                for (std::size_t i = 0; i < texels.size(); ++i) {
                    const int difference = std::abs(static_cast<int>(texels[i]) - expected[i]);
                    if (difference > worst) {
                        worst = difference;
                        worstAt = i;
                    }
                }
                EXPECT_LE(worst, 1) << (computed == &amplified ? "amplified: " : "") << "texel " << worstAt
                                    << " (row " << worstAt / kBins << ", column " << worstAt % kBins
                                    << "): " << int(texels[worstAt]) << " against " << expected[worstAt];
            }
        }
    }
}

TEST(SoundTexture, ASinePeaksInItsOwnBinAtEitherRateAndSilenceFadesOut)
{
    for (const double rate : {44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        SoundTexture texture;
        audio::Buffer block(kN, 1);
        // Exactly on bin 40 at this rate: a shader's bin index means a frequency through iSampleRate.
        const double frequency = 40.0 * rate / kN;
        for (std::size_t i = 0; i < kN; ++i) {
            block.getChannel(0)[i] = static_cast<float>(
                0.05 * std::sin(2.0 * std::numbers::pi * frequency * static_cast<double>(i) / rate));
        }
        for (int frame = 0; frame < 30; ++frame) {
            texture.update(block);
        }
        const auto& texels = texture.getTexels();
        EXPECT_EQ(std::max_element(texels.begin(), texels.begin() + kBins) - texels.begin(), 40);
        // 20 log10(0.05 * 0.42 / 2) = -39.6 dB, 60.4 dB above the floor of a 70 dB range.
        EXPECT_NEAR(texels[40], 220, 1);

        audio::Buffer silence(kN, 1);
        for (int frame = 0; frame < 60; ++frame) {
            texture.update(silence);
        }
        EXPECT_EQ(texture.getTexels()[40], 0) << "0.8 per frame over a second takes any level below -100 dB";
        EXPECT_EQ(texture.getTexels()[kBins + 7], 128);
    }
}

} // namespace
} // namespace mirvo
