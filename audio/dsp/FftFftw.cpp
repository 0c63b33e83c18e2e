// The forward FFT on FFTW's single-precision real-to-complex transform. FFTW writes a plain
// half spectrum; forward rearranges it into the packed, doubled layout callers expect.
#include "audio/Exception.h"
#include "audio/dsp/Fft.h"

#include <fftw3.h>

#include <cassert>
#include <cmath>
#include <mutex>

namespace mirvo::audio::dsp {

namespace {

// FFTW's planner keeps global state and is not thread-safe; executing a plan is.
std::mutex& plannerMutex()
{
    static std::mutex mutex;
    return mutex;
}

bool isPowerOfTwo(size_t value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

} // namespace

struct Fft::Plan {
    explicit Plan(size_t size)
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        input = fftwf_alloc_real(size);
        output = fftwf_alloc_complex(size / 2 + 1);
        plan = fftwf_plan_dft_r2c_1d(static_cast<int>(size), input, output, FFTW_ESTIMATE);
    }
    ~Plan()
    {
        std::lock_guard<std::mutex> lock(plannerMutex());
        fftwf_destroy_plan(plan);
        fftwf_free(output);
        fftwf_free(input);
    }

    float* input = nullptr;
    fftwf_complex* output = nullptr;
    fftwf_plan plan = nullptr;
};

Fft::Fft(size_t fftSize) : mSize(fftSize), mSizeOverTwo(fftSize / 2), mLog2FftSize(0)
{
    if (fftSize < 2 || !isPowerOfTwo(fftSize)) {
        throw AudioExc("invalid fft size");
    }
    mLog2FftSize = static_cast<size_t>(std::log2(static_cast<float>(fftSize)));
    mPlan = std::make_unique<Plan>(fftSize);
}

Fft::~Fft() = default;

void Fft::forward(const Buffer* waveform, BufferSpectral* spectral)
{
    assert(waveform->getNumFrames() >= mSize && "waveform shorter than the fft size");
    assert(spectral->getNumFrames() == mSizeOverTwo && "spectral buffer built for another fft size");

    std::copy(waveform->getChannel(0), waveform->getChannel(0) + mSize, mPlan->input);
    fftwf_execute(mPlan->plan);

    const fftwf_complex* bins = mPlan->output;
    float* real = spectral->getReal();
    float* imag = spectral->getImag();
    real[0] = 2.0f * bins[0][0];
    imag[0] = 2.0f * bins[mSizeOverTwo][0];
    for (size_t k = 1; k < mSizeOverTwo; ++k) {
        real[k] = 2.0f * bins[k][0];
        imag[k] = 2.0f * bins[k][1];
    }
}

} // namespace mirvo::audio::dsp
