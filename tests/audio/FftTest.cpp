#include "audio/dsp/Fft.h"
#include "audio/Exception.h"

#include <gtest/gtest.h>

#include <cmath>

namespace mirvo::audio::dsp {
namespace {

// Single-precision transforms of up to 4096 points: error grows with the size.
float tolerance(size_t size)
{
    return 1e-5f * static_cast<float>(size);
}

class FftSizes : public ::testing::TestWithParam<size_t> {
  protected:
    size_t mSize = GetParam();
    Fft mFft{mSize};
    Buffer mWaveform{mSize, 1};
    BufferSpectral mSpectral{mSize};

    void expectOnlyNonZero(size_t bin, float real, float imag)
    {
        for (size_t k = 0; k < mSize / 2; ++k) {
            EXPECT_NEAR(mSpectral.getReal()[k], k == bin ? real : 0.0f, tolerance(mSize)) << "bin " << k;
            EXPECT_NEAR(mSpectral.getImag()[k], k == bin ? imag : 0.0f, tolerance(mSize)) << "bin " << k;
        }
    }
};

TEST_P(FftSizes, PutsTwiceTheDcTermInTheFirstRealSlot)
{
    for (size_t i = 0; i < mSize; ++i) {
        mWaveform[i] = 1.0f;
    }
    mFft.forward(&mWaveform, &mSpectral);
    expectOnlyNonZero(0, 2.0f * float(mSize), 0.0f);
}

TEST_P(FftSizes, PacksTwiceTheNyquistTermIntoTheFirstImaginarySlot)
{
    for (size_t i = 0; i < mSize; ++i) {
        mWaveform[i] = i % 2 == 0 ? 1.0f : -1.0f;
    }
    mFft.forward(&mWaveform, &mSpectral);
    expectOnlyNonZero(0, 0.0f, 2.0f * float(mSize));
}

TEST_P(FftSizes, GivesACosineOfWholeCyclesItsSizeInOneBin)
{
    if (mSize < 8) {
        GTEST_SKIP() << "too short for a cosine between DC and Nyquist";
    }
    const size_t cycles = mSize / 8 + 1;
    for (size_t i = 0; i < mSize; ++i) {
        mWaveform[i] = static_cast<float>(std::cos(2.0 * M_PI * double(cycles * i) / double(mSize)));
    }
    mFft.forward(&mWaveform, &mSpectral);
    expectOnlyNonZero(cycles, float(mSize), 0.0f);

    // A sine lands in the imaginary part with the forward transform's negative sign.
    for (size_t i = 0; i < mSize; ++i) {
        mWaveform[i] = static_cast<float>(std::sin(2.0 * M_PI * double(cycles * i) / double(mSize)));
    }
    mFft.forward(&mWaveform, &mSpectral);
    expectOnlyNonZero(cycles, 0.0f, -float(mSize));
}

INSTANTIATE_TEST_SUITE_P(PowersOfTwo, FftSizes, ::testing::Values(2, 8, 64, 512, 2048, 4096));

TEST(Fft, RefusesSizesThatAreNotPowersOfTwoFromTwoUp)
{
    for (size_t size : {0, 1, 3, 48, 1000}) {
        try {
            Fft fft(size);
            ADD_FAILURE() << "size " << size << " was accepted";
        } catch (const AudioExc& exc) {
            EXPECT_STREQ(exc.what(), "invalid fft size");
        }
    }
    EXPECT_EQ(Fft(2).getSize(), 2u);
}

} // namespace
} // namespace mirvo::audio::dsp
