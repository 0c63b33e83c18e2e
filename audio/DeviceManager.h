// The process-wide list of audio devices and the answers about each: channel counts, the
// current format, and format changes. Context::deviceManager owns the platform form; devices
// hold a plain pointer back to it. Everything here runs on the main thread.
#pragma once

#include "audio/Device.h"

#include <cstddef>
#include <string>
#include <vector>

namespace mirvo::audio {

// "name - model", or "name - manufacturer" when the device reports no model.
std::string makeDeviceKey(const std::string& name, const std::string& model, const std::string& manufacturer);

class DeviceManager {
  public:
    DeviceManager() = default;
    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;
    virtual ~DeviceManager();

    // The first device whose name (or key) is exactly the argument; empty when none is.
    virtual DeviceRef findDeviceByName(const std::string& name);
    virtual DeviceRef findDeviceByKey(const std::string& key);

    // Every device, in the order the manager found them; built once.
    virtual const std::vector<DeviceRef>& getDevices() = 0;
    virtual DeviceRef getDefaultOutput() = 0;
    // Empty when the system has no input device.
    virtual DeviceRef getDefaultInput() = 0;

    // Per-device answers; a device this manager did not create throws std::out_of_range.
    virtual std::string getName(const DeviceRef& device) = 0;
    virtual size_t getNumInputChannels(const DeviceRef& device) = 0;
    virtual size_t getNumOutputChannels(const DeviceRef& device) = 0;
    virtual size_t getSampleRate(const DeviceRef& device) = 0;
    virtual size_t getFramesPerBlock(const DeviceRef& device) = 0;
    // Throw AudioDeviceExc "Invalid samplerate." / "Invalid frames per block." for a value the
    // device does not accept; nothing is changed then.
    virtual void setSampleRate(const DeviceRef& device, size_t sampleRate) = 0;
    virtual void setFramesPerBlock(const DeviceRef& device, size_t framesPerBlock) = 0;

    // True when a format change is confirmed later by the platform, which then emits
    // did-change; false when setSampleRate and setFramesPerBlock take effect at once.
    virtual bool isFormatUpdatedAsync() const { return false; }

  protected:
    DeviceRef addDevice(const std::string& key);
    void emitParamsWillChange(const DeviceRef& device);
    // Clears the device's cached format first, so the next reads ask the manager.
    void emitParamsDidChange(const DeviceRef& device);

    std::vector<DeviceRef> mDevices;
};

} // namespace mirvo::audio
