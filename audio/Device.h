// An audio device as the engine sees it: a key, a name, channel counts and the current format,
// with two signals around every format change. Devices are created and answered for by the
// DeviceManager; the UI thread queries and changes them, the output device node listens.
#pragma once

#include <boost/signals2/signal.hpp>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace mirvo::audio {

class Device;
class DeviceManager;
using DeviceRef = std::shared_ptr<Device>;

class Device : public std::enable_shared_from_this<Device> {
  public:
    // What updateFormat should change; 0 leaves a field as it is.
    class Format {
      public:
        Format& sampleRate(size_t sampleRate)
        {
            mSampleRate = sampleRate;
            return *this;
        }
        Format& framesPerBlock(size_t framesPerBlock)
        {
            mFramesPerBlock = framesPerBlock;
            return *this;
        }
        size_t getSampleRate() const { return mSampleRate; }
        size_t getFramesPerBlock() const { return mFramesPerBlock; }

      private:
        size_t mSampleRate = 0;
        size_t mFramesPerBlock = 0;
    };

    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    virtual ~Device() = default;

    // Forwarders to the process-wide manager (Context::deviceManager). Main thread.
    static DeviceRef getDefaultOutput();
    static DeviceRef getDefaultInput();
    static const std::vector<DeviceRef>& getDevices();
    static DeviceRef findDeviceByName(const std::string& name);
    static DeviceRef findDeviceByKey(const std::string& key);

    const std::string& getKey() const { return mKey; }
    // Main thread. Cached after the first answer.
    const std::string& getName();
    // Main thread. Asked of the manager every time.
    size_t getNumInputChannels();
    size_t getNumOutputChannels();
    // Main thread (and the device thread through the output node, once cached). A cleared
    // cache asks the manager again.
    size_t getSampleRate();
    size_t getFramesPerBlock();

    // Main thread. Emits will-change, asks the manager for the new values and, when the
    // manager applies them at once, did-change; a refused value throws AudioDeviceExc after
    // did-change has been emitted, so listeners always see the pair.
    void updateFormat(const Format& format);

    boost::signals2::signal<void()>& getSignalParamsWillChange() { return mSignalParamsWillChange; }
    boost::signals2::signal<void()>& getSignalParamsDidChange() { return mSignalParamsDidChange; }

  private:
    friend class DeviceManager;
    Device(DeviceManager* manager, std::string key);

    // The manager that created this device; cleared when the manager goes, after which the
    // device answers from its caches (or 0) and ignores format changes.
    DeviceManager* mManager;
    std::string mKey;
    std::string mName;
    size_t mSampleRate = 0;
    size_t mFramesPerBlock = 0;
    boost::signals2::signal<void()> mSignalParamsWillChange;
    boost::signals2::signal<void()> mSignalParamsDidChange;
};

} // namespace mirvo::audio
