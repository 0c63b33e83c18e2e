// A device manager over made-up devices, for behaviour no machine here can produce: odd channel
// counts, rate lists, two devices of one name. Format changes apply at once.
#pragma once

#include "audio/DeviceManager.h"
#include "audio/Exception.h"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace mirvo::audio::test {

struct FakeDeviceTraits {
    std::string name;
    std::string model;
    std::string manufacturer = "Fake Audio";
    size_t numInputChannels = 0;
    size_t numOutputChannels = 2;
    std::vector<size_t> sampleRates = {44100, 48000};
    size_t sampleRate = 48000;
    size_t framesPerBlock = 512;
    size_t minFramesPerBlock = 32;
    size_t maxFramesPerBlock = 4096;

    // Chained setters keep the tests' device descriptions on one line.
    FakeDeviceTraits& withModel(std::string value)
    {
        model = std::move(value);
        return *this;
    }
    FakeDeviceTraits& withManufacturer(std::string value)
    {
        manufacturer = std::move(value);
        return *this;
    }
    FakeDeviceTraits& withChannels(size_t outputs, size_t inputs = 0)
    {
        numOutputChannels = outputs;
        numInputChannels = inputs;
        return *this;
    }
    FakeDeviceTraits& withRates(std::vector<size_t> rates, size_t current)
    {
        sampleRates = std::move(rates);
        sampleRate = current;
        return *this;
    }
    FakeDeviceTraits& withFormat(size_t rate, size_t frames)
    {
        sampleRate = rate;
        framesPerBlock = frames;
        return *this;
    }
    FakeDeviceTraits& withFrameRange(size_t minFrames, size_t maxFrames)
    {
        minFramesPerBlock = minFrames;
        maxFramesPerBlock = maxFrames;
        return *this;
    }
};

inline FakeDeviceTraits fakeDevice(std::string name)
{
    FakeDeviceTraits traits;
    traits.name = std::move(name);
    return traits;
}

class FakeDeviceManager : public DeviceManager {
  public:
    DeviceRef add(const FakeDeviceTraits& traits)
    {
        DeviceRef device = addDevice(makeDeviceKey(traits.name, traits.model, traits.manufacturer));
        mTraits[device] = traits;
        return device;
    }

    const std::vector<DeviceRef>& getDevices() override { return mDevices; }
    DeviceRef getDefaultOutput() override { return mDevices.empty() ? nullptr : mDevices.front(); }
    DeviceRef getDefaultInput() override { return {}; }

    std::string getName(const DeviceRef& device) override
    {
        ++mNameQueries;
        return traits(device).name;
    }
    size_t getNumInputChannels(const DeviceRef& device) override { return traits(device).numInputChannels; }
    size_t getNumOutputChannels(const DeviceRef& device) override { return traits(device).numOutputChannels; }
    size_t getSampleRate(const DeviceRef& device) override
    {
        ++mRateQueries;
        return traits(device).sampleRate;
    }
    size_t getFramesPerBlock(const DeviceRef& device) override { return traits(device).framesPerBlock; }

    void setSampleRate(const DeviceRef& device, size_t sampleRate) override
    {
        FakeDeviceTraits& s = traits(device);
        if (std::find(s.sampleRates.begin(), s.sampleRates.end(), sampleRate) == s.sampleRates.end()) {
            throw AudioDeviceExc("Invalid samplerate.");
        }
        s.sampleRate = sampleRate;
    }
    void setFramesPerBlock(const DeviceRef& device, size_t framesPerBlock) override
    {
        FakeDeviceTraits& s = traits(device);
        if (framesPerBlock < s.minFramesPerBlock || framesPerBlock > s.maxFramesPerBlock) {
            throw AudioDeviceExc("Invalid frames per block.");
        }
        s.framesPerBlock = framesPerBlock;
    }

    FakeDeviceTraits& traits(const DeviceRef& device) { return mTraits.at(device); }
    int getNameQueries() const { return mNameQueries; }
    int getRateQueries() const { return mRateQueries; }

  private:
    std::map<DeviceRef, FakeDeviceTraits> mTraits;
    int mNameQueries = 0;
    int mRateQueries = 0;
};

} // namespace mirvo::audio::test
