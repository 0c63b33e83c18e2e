// The Linux device manager: the devices of the system's audio server or driver, found through
// RtAudio once on first use (PulseAudio or PipeWire when a server answers, otherwise ALSA, plus
// JACK while its server runs), followed by the built-in "Null" device, which a null device
// manager held beside the list makes and answers for. MIRVO_AUDIO_API ("pulse", "alsa" or
// "jack") restricts the list to that system's devices. Main thread only.
#pragma once

#include "audio/null/DeviceManagerNull.h"

#include <rtaudio/RtAudio.h>

#include <map>
#include <vector>

namespace mirvo::audio {

class DeviceManagerRtAudio : public DeviceManager {
  public:
    // What RtAudio knows of one device, as probed when the list was built.
    struct DeviceInfo {
        RtAudio::Api api = RtAudio::UNSPECIFIED;
        unsigned int index = 0;
        std::string name;
        size_t numInputChannels = 0;
        size_t numOutputChannels = 0;
        std::vector<unsigned int> sampleRates;
        size_t sampleRate = 0;
        size_t framesPerBlock = 0;
    };

    DeviceManagerRtAudio();

    const std::vector<DeviceRef>& getDevices() override;
    // The server's default output, else the first device with outputs, else "Null".
    DeviceRef getDefaultOutput() override;
    // The server's default input, else the first device with inputs; empty when none captures.
    DeviceRef getDefaultInput() override;

    std::string getName(const DeviceRef& device) override;
    size_t getNumInputChannels(const DeviceRef& device) override;
    size_t getNumOutputChannels(const DeviceRef& device) override;
    size_t getSampleRate(const DeviceRef& device) override;
    size_t getFramesPerBlock(const DeviceRef& device) override;
    void setSampleRate(const DeviceRef& device, size_t sampleRate) override;
    void setFramesPerBlock(const DeviceRef& device, size_t framesPerBlock) override;

    bool isNullDevice(const DeviceRef& device) const { return mNullManager.isNullDevice(device); }
    // True for devices that RtAudio opens (every device but "Null").
    bool isRtAudioDevice(const DeviceRef& device) const { return mDeviceInfos.count(device) > 0; }
    // Throws std::out_of_range for a device that is not an RtAudio one.
    const DeviceInfo& getDeviceInfo(const DeviceRef& device) const { return mDeviceInfos.at(device); }

    // Block sizes accepted for RtAudio streams; the server may still round internally.
    static constexpr size_t kMinFramesPerBlock = 32;
    static constexpr size_t kMaxFramesPerBlock = 8192;
    static constexpr size_t kDefaultFramesPerBlock = 512;

  protected:
    // Adds the system's devices, once, when the list is first asked for; "Null" follows them.
    virtual void addSystemDevices();
    // Adds one probed device of an API (none when it neither plays nor captures) and takes it as
    // our default output or input when it is the API's and offers that direction.
    DeviceRef addProbedDevice(RtAudio::Api api, unsigned int index, const RtAudio::DeviceInfo& probed,
                              bool isApiDefaultOutput, bool isApiDefaultInput);

  private:
    // Adds the probed devices of one API and, when asked, takes the API's defaults as ours.
    void addDevicesOf(RtAudio::Api api, bool takeDefaults);
    DeviceInfo& infoOf(const DeviceRef& device);

    DeviceManagerNull mNullManager;
    bool mListBuilt = false;
    std::map<DeviceRef, DeviceInfo> mDeviceInfos;
    DeviceRef mDefaultOutput;
    DeviceRef mDefaultInput;
};

} // namespace mirvo::audio
