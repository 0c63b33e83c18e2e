// Forward real FFT of a power-of-two length. The result is split-complex and packed: the
// Nyquist term sits in the imaginary slot of bin 0, and every value is twice the plain DFT.
// One Fft belongs to one thread per call; it is planned once, so forward never allocates.
#pragma once

#include "audio/Buffer.h"
#include "audio/BufferSpectral.h"

#include <cstddef>
#include <memory>

namespace mirvo::audio::dsp {

class Fft {
  public:
    // Throws AudioExc "invalid fft size" unless fftSize is a power of two, at least 2.
    explicit Fft(size_t fftSize);
    ~Fft();

    Fft(const Fft&) = delete;
    Fft& operator=(const Fft&) = delete;

    size_t getSize() const { return mSize; }

    // Transforms the first N samples of waveform channel 0 into spectral (built for N).
    void forward(const Buffer* waveform, BufferSpectral* spectral);

  private:
    struct Plan;

    size_t mSize;
    size_t mSizeOverTwo;
    size_t mLog2FftSize;
    std::unique_ptr<Plan> mPlan;
};

} // namespace mirvo::audio::dsp
