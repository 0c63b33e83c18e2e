// The built-in "Null" device: what it offers and which formats it accepts. It has no hardware
// behind it; its output node renders on a thread of its own at the real-time pace of the
// sample rate (NullDeviceStream), so a machine without a sound card runs the whole engine.
#pragma once

#include <array>
#include <cstddef>

namespace mirvo::audio::null {

inline constexpr const char* kDeviceName = "Null";
// Takes the manufacturer's place in the device key ("Null - Mirvo").
inline constexpr const char* kManufacturer = "Mirvo";
inline constexpr size_t kNumOutputChannels = 2;
inline constexpr size_t kNumInputChannels = 0;
inline constexpr size_t kDefaultSampleRate = 48000;
inline constexpr size_t kDefaultFramesPerBlock = 512;

inline constexpr std::array<size_t, 11> kAcceptedSampleRates = {8000,  11025, 16000, 22050,  32000, 44100,
                                                                48000, 88200, 96000, 176400, 192000};
inline constexpr size_t kMinFramesPerBlock = 16;
inline constexpr size_t kMaxFramesPerBlock = 8192;

bool acceptsSampleRate(size_t sampleRate);
bool acceptsFramesPerBlock(size_t framesPerBlock);

} // namespace mirvo::audio::null
