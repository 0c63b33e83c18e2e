#include "audio/dsp/Dsp.h"
#include "audio/Buffer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace mirvo::audio::dsp {
namespace {

constexpr float kWindowTolerance = 1e-6f;

TEST(VectorOps, ComputeElementWiseAndAllowTheResultToAliasAnInput)
{
    std::vector<float> a{1, 2, 3, 4, 5};
    std::vector<float> b{10, 20, 30, 40, 50};
    std::vector<float> result(5);

    add(a.data(), b.data(), result.data(), 5);
    EXPECT_EQ(result, (std::vector<float>{11, 22, 33, 44, 55}));
    mul(a.data(), 2.0f, a.data(), 5);
    EXPECT_EQ(a, (std::vector<float>{2, 4, 6, 8, 10}));
    mul(a.data(), b.data(), result.data(), 5);
    EXPECT_EQ(result, (std::vector<float>{20, 80, 180, 320, 500}));
    addMul(a.data(), b.data(), 0.5f, b.data(), 5);
    EXPECT_EQ(b, (std::vector<float>{6, 12, 18, 24, 30}));
    fill(7.0f, result.data(), 3);
    EXPECT_EQ(result, (std::vector<float>{7, 7, 7, 320, 500}));
}

TEST(ExceedsMagnitude, FindsOneSampleBeyondTheThresholdWhereverItLies)
{
    constexpr float kThreshold = 2.0f;
    for (size_t length : {5, 32, 100, 1024}) {
        std::vector<float> samples(length, 2.0f);
        EXPECT_FALSE(exceedsMagnitude(samples.data(), kThreshold, length)) << "length " << length;
        for (size_t position : {size_t(0), length / 2, length - 1}) {
            std::vector<float> withPeak = samples;
            withPeak[position] = position % 2 == 0 ? -2.5f : 2.5f;
            EXPECT_TRUE(exceedsMagnitude(withPeak.data(), kThreshold, length))
                << "length " << length << " position " << position;
        }
    }
}

TEST(GenerateWindow, HannOfFourIsZeroThreeQuartersThreeQuartersZero)
{
    std::vector<float> window(4, -1.0f);
    generateWindow(HANN, window.data(), 4);
    EXPECT_NEAR(window[0], 0.0f, kWindowTolerance);
    EXPECT_NEAR(window[1], 0.75f, kWindowTolerance);
    EXPECT_NEAR(window[2], 0.75f, kWindowTolerance);
    EXPECT_NEAR(window[3], 0.0f, kWindowTolerance);
}

TEST(GenerateWindow, HammingAndBlackmanMatchTheirDoublePrecisionFormulas)
{
    constexpr size_t kLength = 512;
    std::vector<float> hamming(kLength);
    std::vector<float> blackman(kLength);
    generateWindow(HAMMING, hamming.data(), kLength);
    generateWindow(BLACKMAN, blackman.data(), kLength);
    const double twoPi = 6.283185307179586;
    for (size_t k = 0; k < kLength; ++k) {
        const double x = static_cast<double>(k) * (1.0 / static_cast<double>(kLength - 1));
        EXPECT_EQ(hamming[k], static_cast<float>(0.53836 - (1.0 - 0.53836) * std::cos(twoPi * x)));
        EXPECT_EQ(blackman[k],
                  static_cast<float>(0.42 - 0.5 * std::cos(twoPi * x) + 0.08 * std::cos(2.0 * twoPi * x)));
    }
    // Symmetric, with the Hamming end points at 2 * 0.53836 - 1.
    EXPECT_EQ(hamming.front(), hamming.back());
    EXPECT_NEAR(hamming.front(), 0.07672f, kWindowTolerance);
}

TEST(GenerateWindow, UnknownTypesGiveTheRectangularWindowAndOnePointIsDefined)
{
    std::vector<float> window(3, 0.0f);
    generateWindow(static_cast<WindowType>(7), window.data(), 3);
    EXPECT_EQ(window, (std::vector<float>{1, 1, 1}));

    float single = 0.0f;
    generateWindow(HANN, &single, 1);
    EXPECT_EQ(single, 1.0f);
    generateWindow(HANN, &single, 0); // writes nothing
}

Buffer makeBuffer(size_t numChannels, std::vector<float> perChannelValue, size_t numFrames = 4)
{
    Buffer buffer(numFrames, numChannels);
    for (size_t ch = 0; ch < numChannels; ++ch) {
        fill(perChannelValue[ch], buffer.getChannel(ch), numFrames);
    }
    return buffer;
}

TEST(MixBuffers, FoldsStereoIntoMonoWithTheScaleAfterEveryChannel)
{
    const Buffer stereo = makeBuffer(2, {1.0f, 1.0f});
    Buffer mono = makeBuffer(1, {9.0f});
    mixBuffers(&stereo, &mono, 4);
    // The left channel is scaled twice (0.5), the right once (0.70710677).
    const float expected = (1.0f * kMonoFoldGain + 1.0f) * kMonoFoldGain;
    EXPECT_FLOAT_EQ(mono.getChannel(0)[3], expected);
    EXPECT_NEAR(expected, 0.5f + kMonoFoldGain, 1e-6f);
}

TEST(MixBuffers, CoversTheChannelCases)
{
    // Mono into stereo feeds both channels.
    const Buffer mono = makeBuffer(1, {3.0f});
    Buffer stereo = makeBuffer(2, {0.0f, 0.0f});
    mixBuffers(&mono, &stereo, 4);
    EXPECT_EQ(stereo.getChannel(0)[0], 3.0f);
    EXPECT_EQ(stereo.getChannel(1)[3], 3.0f);

    // Wider into narrower keeps the common channels.
    const Buffer three = makeBuffer(3, {1.0f, 2.0f, 3.0f});
    mixBuffers(&three, &stereo, 4);
    EXPECT_EQ(stereo.getChannel(0)[0], 1.0f);
    EXPECT_EQ(stereo.getChannel(1)[0], 2.0f);

    // Narrower into wider leaves the extra channels alone.
    Buffer four = makeBuffer(4, {9.0f, 9.0f, 9.0f, 9.0f});
    mixBuffers(&three, &four, 4);
    EXPECT_EQ(four.getChannel(2)[1], 3.0f);
    EXPECT_EQ(four.getChannel(3)[1], 9.0f);

    // Only the first numFrames frames are touched.
    Buffer partial = makeBuffer(2, {0.0f, 0.0f});
    mixBuffers(&three, &partial, 2);
    EXPECT_EQ(partial.getChannel(1)[1], 2.0f);
    EXPECT_EQ(partial.getChannel(1)[2], 0.0f);
}

TEST(SumBuffers, AddsWithTheSameChannelCases)
{
    const Buffer stereo = makeBuffer(2, {1.0f, 2.0f});
    Buffer target = makeBuffer(2, {10.0f, 10.0f});
    sumBuffers(&stereo, &target, 4);
    sumBuffers(&stereo, &target, 4);
    EXPECT_EQ(target.getChannel(0)[0], 12.0f);
    EXPECT_EQ(target.getChannel(1)[3], 14.0f);

    // A mono destination is not zeroed first.
    Buffer mono = makeBuffer(1, {1.0f});
    sumBuffers(&stereo, &mono, 4);
    EXPECT_FLOAT_EQ(mono.getChannel(0)[0], ((1.0f + 1.0f) * kMonoFoldGain + 2.0f) * kMonoFoldGain);

    const Buffer single = makeBuffer(1, {5.0f});
    sumBuffers(&single, &target, 4);
    EXPECT_EQ(target.getChannel(1)[0], 19.0f);
}

} // namespace
} // namespace mirvo::audio::dsp
