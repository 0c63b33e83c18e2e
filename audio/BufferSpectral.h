// A split-complex spectrum: channel 0 holds the real parts, channel 1 the imaginary parts,
// N / 2 bins each for an FFT of size N.
#pragma once

#include "audio/Buffer.h"

namespace mirvo::audio {

template <typename T> class BufferSpectralT : public BufferT<T> {
  public:
    BufferSpectralT() : BufferT<T>(0, 2) {}
    explicit BufferSpectralT(size_t fftSize) : BufferT<T>(fftSize / 2, 2) {}

    T* getReal() { return this->getChannel(0); }
    const T* getReal() const { return this->getChannel(0); }
    T* getImag() { return this->getChannel(1); }
    const T* getImag() const { return this->getChannel(1); }
};

using BufferSpectral = BufferSpectralT<float>;

} // namespace mirvo::audio
