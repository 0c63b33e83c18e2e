#include "audio/dsp/Dsp.h"

#include "audio/dsp/VectorTarget.h"

#include <cmath>
#include <cstring>

namespace mirvo::audio::dsp {

// Element-wise loops: an output that aliases an input element for element carries no
// dependency from one iteration to the next, which is what ivdep promises the vectoriser.

MIRVO_VECTOR_LOOP void fill(float value, float* array, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        array[i] = value;
    }
}

MIRVO_VECTOR_LOOP void add(const float* a, const float* b, float* result, size_t length)
{
#pragma GCC ivdep
    for (size_t i = 0; i < length; ++i) {
        result[i] = a[i] + b[i];
    }
}

MIRVO_VECTOR_LOOP void mul(const float* array, float scalar, float* result, size_t length)
{
#pragma GCC ivdep
    for (size_t i = 0; i < length; ++i) {
        result[i] = array[i] * scalar;
    }
}

MIRVO_VECTOR_LOOP void mul(const float* a, const float* b, float* result, size_t length)
{
#pragma GCC ivdep
    for (size_t i = 0; i < length; ++i) {
        result[i] = a[i] * b[i];
    }
}

MIRVO_VECTOR_LOOP void addMul(const float* a, const float* b, float scalar, float* result, size_t length)
{
#pragma GCC ivdep
    for (size_t i = 0; i < length; ++i) {
        result[i] = (a[i] + b[i]) * scalar;
    }
}

MIRVO_VECTOR_LOOP bool exceedsMagnitude(const float* array, float threshold, size_t length)
{
    // A clean block is the common case: one branch-free pass, with independent accumulators
    // so that the compares do not wait on one another.
    constexpr size_t kLanes = 32;
    int32_t exceeded[kLanes] = {};
    size_t i = 0;
    for (; i + kLanes <= length; i += kLanes) {
        for (size_t lane = 0; lane < kLanes; ++lane) {
            exceeded[lane] |= std::fabs(array[i + lane]) > threshold ? -1 : 0;
        }
    }
    int32_t any = 0;
    for (size_t lane = 0; lane < kLanes; ++lane) {
        any |= exceeded[lane];
    }
    for (; i < length; ++i) {
        any |= std::fabs(array[i]) > threshold ? -1 : 0;
    }
    return any != 0;
}

void generateWindow(WindowType type, float* window, size_t length)
{
    constexpr double kTwoPi = 6.283185307179586;
    constexpr double kFourPi = 12.566370614359172;
    constexpr double kHammingAlpha = 0.53836;

    const bool cosineWindow = type == BLACKMAN || type == HAMMING || type == HANN;
    if (!cosineWindow || length == 1) {
        // A one-point cosine window has no span to sample (1 / (L - 1) is infinite); its
        // single point is taken at the window's centre, where every cosine window is 1.
        fill(1.0f, window, length);
        return;
    }

    const double scale = 1.0 / static_cast<double>(length - 1);
    for (size_t k = 0; k < length; ++k) {
        const double x = static_cast<double>(k) * scale;
        double value = 0.0;
        switch (type) {
        case BLACKMAN:
            value = 0.42 - 0.5 * std::cos(kTwoPi * x) + 0.08 * std::cos(kFourPi * x);
            break;
        case HAMMING:
            value = kHammingAlpha - (1.0 - kHammingAlpha) * std::cos(kTwoPi * x);
            break;
        default:
            value = 0.5 * (1.0 - std::cos(kTwoPi * x));
            break;
        }
        window[k] = static_cast<float>(value);
    }
}

namespace {

void copy(const float* source, float* dest, size_t length)
{
    if (source != dest && length > 0) {
        std::memcpy(dest, source, length * sizeof(float));
    }
}

// Both buffers hold exactly numFrames frames per channel, so their channels lie back to back
// at the same offsets and one pass over the whole storage does every channel.
bool spansWholeBuffers(const Buffer* source, const Buffer* dest, size_t numFrames)
{
    return source->getNumFrames() == numFrames && dest->getNumFrames() == numFrames;
}

} // namespace

void mixBuffers(const Buffer* source, Buffer* dest, size_t numFrames)
{
    const size_t sourceChannels = source->getNumChannels();
    const size_t destChannels = dest->getNumChannels();

    if (destChannels == sourceChannels) {
        if (spansWholeBuffers(source, dest, numFrames)) {
            copy(source->getData(), dest->getData(), numFrames * destChannels);
            return;
        }
        for (size_t ch = 0; ch < destChannels; ++ch) {
            copy(source->getChannel(ch), dest->getChannel(ch), numFrames);
        }
    } else if (sourceChannels == 1) {
        for (size_t ch = 0; ch < destChannels; ++ch) {
            copy(source->getChannel(0), dest->getChannel(ch), numFrames);
        }
    } else if (destChannels == 1) {
        dest->zero();
        float* mono = dest->getChannel(0);
        for (size_t ch = 0; ch < sourceChannels; ++ch) {
            addMul(mono, source->getChannel(ch), kMonoFoldGain, mono, numFrames);
        }
    } else {
        const size_t common = std::min(sourceChannels, destChannels);
        for (size_t ch = 0; ch < common; ++ch) {
            copy(source->getChannel(ch), dest->getChannel(ch), numFrames);
        }
    }
}

void sumBuffers(const Buffer* source, Buffer* dest, size_t numFrames)
{
    const size_t sourceChannels = source->getNumChannels();
    const size_t destChannels = dest->getNumChannels();

    if (destChannels == sourceChannels) {
        if (spansWholeBuffers(source, dest, numFrames)) {
            add(dest->getData(), source->getData(), dest->getData(), numFrames * destChannels);
            return;
        }
        for (size_t ch = 0; ch < destChannels; ++ch) {
            add(dest->getChannel(ch), source->getChannel(ch), dest->getChannel(ch), numFrames);
        }
    } else if (sourceChannels == 1) {
        for (size_t ch = 0; ch < destChannels; ++ch) {
            add(dest->getChannel(ch), source->getChannel(0), dest->getChannel(ch), numFrames);
        }
    } else if (destChannels == 1) {
        float* mono = dest->getChannel(0);
        for (size_t ch = 0; ch < sourceChannels; ++ch) {
            addMul(mono, source->getChannel(ch), kMonoFoldGain, mono, numFrames);
        }
    } else {
        const size_t common = std::min(sourceChannels, destChannels);
        for (size_t ch = 0; ch < common; ++ch) {
            add(dest->getChannel(ch), source->getChannel(ch), dest->getChannel(ch), numFrames);
        }
    }
}

} // namespace mirvo::audio::dsp
