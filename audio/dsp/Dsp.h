// The vector operations every node uses, the analysis windows, and the two helpers that copy
// or add one buffer into another when their channel counts differ. Nothing here allocates,
// locks or throws, so all of it may run on the audio thread. Results may alias an input.
#pragma once

#include "audio/Buffer.h"

#include <cstddef>
#include <cstdint>

namespace mirvo::audio::dsp {

enum WindowType : int32_t { BLACKMAN = 0, HAMMING = 1, HANN = 2, RECT = 3 };

// Applied when a mono destination folds in several source channels: the float nearest 1/sqrt(2).
constexpr float kMonoFoldGain = 0.70710677f;

void fill(float value, float* array, size_t length);
void add(const float* a, const float* b, float* result, size_t length);
void mul(const float* array, float scalar, float* result, size_t length);
void mul(const float* a, const float* b, float* result, size_t length);
// result[i] = (a[i] + b[i]) * scalar
void addMul(const float* a, const float* b, float scalar, float* result, size_t length);

// True when some |array[i]| > threshold.
bool exceedsMagnitude(const float* array, float threshold, size_t length);

// Symmetric window of the given length; coefficients are computed in double precision.
// Any type value other than BLACKMAN, HAMMING and HANN gives the rectangular window.
void generateWindow(WindowType type, float* window, size_t length);

// Copies the first numFrames frames of source into dest, adapting the channel count.
// Audio thread.
void mixBuffers(const Buffer* source, Buffer* dest, size_t numFrames);
// Adds the first numFrames frames of source into dest, adapting the channel count.
// Audio thread.
void sumBuffers(const Buffer* source, Buffer* dest, size_t numFrames);

} // namespace mirvo::audio::dsp
