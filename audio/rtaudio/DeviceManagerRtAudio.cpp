#include "audio/rtaudio/DeviceManagerRtAudio.h"

#include "audio/Exception.h"

#include <algorithm>
#include <cstdlib>
#include <dlfcn.h>
#include <stdexcept>

namespace mirvo::audio {
namespace {

// libasound reports every failed probe of a missing card on stderr through its own handler.
// RtAudio offers no way to reach it, but libasound is loaded with RtAudio, so its handler can be
// replaced through the dynamic linker without linking ALSA ourselves.
using AlsaErrorHandler = void (*)(const char* file, int line, const char* function, int err, const char* fmt,
                                  ...);
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...)
{
}

void silenceAlsa()
{
    using SetHandler = int (*)(AlsaErrorHandler);
    if (void* symbol = dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler")) {
        reinterpret_cast<SetHandler>(symbol)(&ignoreAlsaError);
    }
}

bool isCompiled(RtAudio::Api api)
{
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

unsigned int countDevices(RtAudio::Api api)
{
    if (!isCompiled(api)) {
        return 0;
    }
    try {
        RtAudio rtAudio(api);
        rtAudio.showWarnings(false);
        return rtAudio.getDeviceCount();
    } catch (const RtAudioError&) {
        return 0;
    }
}

size_t initialSampleRate(const RtAudio::DeviceInfo& info)
{
    const auto& rates = info.sampleRates;
    auto lists = [&](unsigned int rate) {
        return std::find(rates.begin(), rates.end(), rate) != rates.end();
    };
    if (info.preferredSampleRate != 0 && lists(info.preferredSampleRate)) {
        return info.preferredSampleRate;
    }
    if (lists(48000)) {
        return 48000;
    }
    if (lists(44100)) {
        return 44100;
    }
    return rates.empty() ? 48000 : rates.front();
}

} // namespace

DeviceManagerRtAudio::DeviceManagerRtAudio()
{
    silenceAlsa();
}

const std::vector<DeviceRef>& DeviceManagerRtAudio::getDevices()
{
    if (!mListBuilt) {
        // Set first: the key check while adding walks getDevices, which must not build again.
        mListBuilt = true;
        addSystemDevices();
        mDevices.push_back(mNullManager.getNullDevice());
    }
    return mDevices;
}

void DeviceManagerRtAudio::addSystemDevices()
{
    if (const char* chosen = std::getenv("MIRVO_AUDIO_API"); chosen && *chosen) {
        const RtAudio::Api api = RtAudio::getCompiledApiByName(chosen);
        if (api != RtAudio::UNSPECIFIED && countDevices(api) > 0) {
            addDevicesOf(api, true);
        }
        return;
    }

    // A sound server, when one answers, owns the hardware; going around it through ALSA would
    // find the cards busy.
    if (countDevices(RtAudio::LINUX_PULSE) > 0) {
        addDevicesOf(RtAudio::LINUX_PULSE, true);
    } else if (countDevices(RtAudio::LINUX_ALSA) > 0) {
        addDevicesOf(RtAudio::LINUX_ALSA, true);
    }
    if (countDevices(RtAudio::UNIX_JACK) > 0) {
        addDevicesOf(RtAudio::UNIX_JACK, !mDefaultOutput);
    }
}

void DeviceManagerRtAudio::addDevicesOf(RtAudio::Api api, bool takeDefaults)
{
    try {
        RtAudio rtAudio(api);
        rtAudio.showWarnings(false);
        const unsigned int count = rtAudio.getDeviceCount();
        const unsigned int defaultOutput = rtAudio.getDefaultOutputDevice();
        const unsigned int defaultInput = rtAudio.getDefaultInputDevice();
        for (unsigned int index = 0; index < count; ++index) {
            RtAudio::DeviceInfo probed;
            try {
                probed = rtAudio.getDeviceInfo(index);
            } catch (const RtAudioError&) {
                continue;
            }
            addProbedDevice(api, index, probed, takeDefaults && index == defaultOutput,
                            takeDefaults && index == defaultInput);
        }
    } catch (const RtAudioError&) {
        // An API that fails as a whole contributes no devices.
    }
}

DeviceRef DeviceManagerRtAudio::addProbedDevice(RtAudio::Api api, unsigned int index,
                                                const RtAudio::DeviceInfo& probed, bool isApiDefaultOutput,
                                                bool isApiDefaultInput)
{
    if (!probed.probed || (probed.outputChannels == 0 && probed.inputChannels == 0)) {
        return {};
    }

    // RtAudio reports no model or manufacturer; the audio system that serves the device takes
    // the manufacturer's place, and a number keeps equal names apart.
    std::string key = makeDeviceKey(probed.name, "", RtAudio::getApiDisplayName(api));
    const std::string baseKey = key;
    for (int suffix = 2; findDeviceByKey(key); ++suffix) {
        key = baseKey + " (" + std::to_string(suffix) + ")";
    }

    DeviceRef device = addDevice(key);
    DeviceInfo& info = mDeviceInfos[device];
    info.api = api;
    info.index = index;
    info.name = probed.name;
    info.numInputChannels = probed.inputChannels;
    info.numOutputChannels = probed.outputChannels;
    info.sampleRates = probed.sampleRates;
    info.sampleRate = initialSampleRate(probed);
    info.framesPerBlock = kDefaultFramesPerBlock;

    // An API's default that does not play (or capture) is no default for that direction.
    if (isApiDefaultOutput && probed.outputChannels > 0) {
        mDefaultOutput = device;
    }
    if (isApiDefaultInput && probed.inputChannels > 0) {
        mDefaultInput = device;
    }
    return device;
}

DeviceRef DeviceManagerRtAudio::getDefaultOutput()
{
    getDevices();
    if (mDefaultOutput) {
        return mDefaultOutput;
    }
    for (const auto& device : mDevices) {
        if (isRtAudioDevice(device) && infoOf(device).numOutputChannels > 0) {
            return device;
        }
    }
    return mNullManager.getNullDevice();
}

DeviceRef DeviceManagerRtAudio::getDefaultInput()
{
    getDevices();
    if (mDefaultInput) {
        return mDefaultInput;
    }
    // The API's default input can be a device that was not probed or does not capture (several
    // cards, or JACK beside a sound server) while another device does.
    for (const auto& device : mDevices) {
        if (isRtAudioDevice(device) && infoOf(device).numInputChannels > 0) {
            return device;
        }
    }
    return {};
}

DeviceManagerRtAudio::DeviceInfo& DeviceManagerRtAudio::infoOf(const DeviceRef& device)
{
    return mDeviceInfos.at(device);
}

std::string DeviceManagerRtAudio::getName(const DeviceRef& device)
{
    return isNullDevice(device) ? mNullManager.getName(device) : infoOf(device).name;
}

size_t DeviceManagerRtAudio::getNumInputChannels(const DeviceRef& device)
{
    return isNullDevice(device) ? mNullManager.getNumInputChannels(device) : infoOf(device).numInputChannels;
}

size_t DeviceManagerRtAudio::getNumOutputChannels(const DeviceRef& device)
{
    return isNullDevice(device) ? mNullManager.getNumOutputChannels(device)
                                : infoOf(device).numOutputChannels;
}

size_t DeviceManagerRtAudio::getSampleRate(const DeviceRef& device)
{
    return isNullDevice(device) ? mNullManager.getSampleRate(device) : infoOf(device).sampleRate;
}

size_t DeviceManagerRtAudio::getFramesPerBlock(const DeviceRef& device)
{
    return isNullDevice(device) ? mNullManager.getFramesPerBlock(device) : infoOf(device).framesPerBlock;
}

void DeviceManagerRtAudio::setSampleRate(const DeviceRef& device, size_t sampleRate)
{
    if (isNullDevice(device)) {
        mNullManager.setSampleRate(device, sampleRate);
        return;
    }
    DeviceInfo& info = infoOf(device);
    if (std::find(info.sampleRates.begin(), info.sampleRates.end(), sampleRate) == info.sampleRates.end()) {
        throw AudioDeviceExc("Invalid samplerate.");
    }
    // Takes effect when the device's stream is next opened, which the output node's
    // parameter-change handlers do at once.
    info.sampleRate = sampleRate;
}

void DeviceManagerRtAudio::setFramesPerBlock(const DeviceRef& device, size_t framesPerBlock)
{
    if (isNullDevice(device)) {
        mNullManager.setFramesPerBlock(device, framesPerBlock);
        return;
    }
    DeviceInfo& info = infoOf(device);
    if (framesPerBlock < kMinFramesPerBlock || framesPerBlock > kMaxFramesPerBlock) {
        throw AudioDeviceExc("Invalid frames per block.");
    }
    info.framesPerBlock = framesPerBlock;
}

} // namespace mirvo::audio
