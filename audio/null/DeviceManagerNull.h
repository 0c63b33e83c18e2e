// A device manager whose only device is the built-in "Null" device: the whole device list of a
// build without an audio system, and the part of the platform manager that answers for the null
// device it lists after the system's. Format changes apply at once and emit both signals
// synchronously.
#pragma once

#include "audio/DeviceManager.h"
#include "audio/null/NullDevice.h"

namespace mirvo::audio {

class DeviceManagerNull : public DeviceManager {
  public:
    const std::vector<DeviceRef>& getDevices() override;
    DeviceRef getDefaultOutput() override;
    DeviceRef getDefaultInput() override;

    std::string getName(const DeviceRef& device) override;
    size_t getNumInputChannels(const DeviceRef& device) override;
    size_t getNumOutputChannels(const DeviceRef& device) override;
    size_t getSampleRate(const DeviceRef& device) override;
    size_t getFramesPerBlock(const DeviceRef& device) override;
    void setSampleRate(const DeviceRef& device, size_t sampleRate) override;
    void setFramesPerBlock(const DeviceRef& device, size_t framesPerBlock) override;

    // The built-in device, created on first use.
    const DeviceRef& getNullDevice();
    bool isNullDevice(const DeviceRef& device) const { return device && device == mNullDevice; }

  private:
    // Throws std::out_of_range: the device is not one of this manager's.
    [[noreturn]] static void throwUnknownDevice();

    DeviceRef mNullDevice;
    size_t mNullSampleRate = null::kDefaultSampleRate;
    size_t mNullFramesPerBlock = null::kDefaultFramesPerBlock;
};

} // namespace mirvo::audio
