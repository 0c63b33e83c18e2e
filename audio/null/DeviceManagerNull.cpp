#include "audio/null/DeviceManagerNull.h"

#include "audio/Exception.h"

#include <algorithm>
#include <stdexcept>

namespace mirvo::audio {

bool null::acceptsSampleRate(size_t sampleRate)
{
    return std::find(kAcceptedSampleRates.begin(), kAcceptedSampleRates.end(), sampleRate) !=
           kAcceptedSampleRates.end();
}

bool null::acceptsFramesPerBlock(size_t framesPerBlock)
{
    return framesPerBlock >= kMinFramesPerBlock && framesPerBlock <= kMaxFramesPerBlock;
}

const DeviceRef& DeviceManagerNull::getNullDevice()
{
    if (!mNullDevice) {
        mNullDevice = addDevice(makeDeviceKey(null::kDeviceName, "", null::kManufacturer));
    }
    return mNullDevice;
}

const std::vector<DeviceRef>& DeviceManagerNull::getDevices()
{
    getNullDevice();
    return mDevices;
}

DeviceRef DeviceManagerNull::getDefaultOutput()
{
    return getNullDevice();
}

DeviceRef DeviceManagerNull::getDefaultInput()
{
    return {};
}

void DeviceManagerNull::throwUnknownDevice()
{
    throw std::out_of_range("device not known to this device manager");
}

std::string DeviceManagerNull::getName(const DeviceRef& device)
{
    if (!isNullDevice(device)) {
        throwUnknownDevice();
    }
    return null::kDeviceName;
}

size_t DeviceManagerNull::getNumInputChannels(const DeviceRef& device)
{
    if (!isNullDevice(device)) {
        throwUnknownDevice();
    }
    return null::kNumInputChannels;
}

size_t DeviceManagerNull::getNumOutputChannels(const DeviceRef& device)
{
    if (!isNullDevice(device)) {
        throwUnknownDevice();
    }
    return null::kNumOutputChannels;
}

size_t DeviceManagerNull::getSampleRate(const DeviceRef& device)
{
    if (!isNullDevice(device)) {
        throwUnknownDevice();
    }
    return mNullSampleRate;
}

size_t DeviceManagerNull::getFramesPerBlock(const DeviceRef& device)
{
    if (!isNullDevice(device)) {
        throwUnknownDevice();
    }
    return mNullFramesPerBlock;
}

void DeviceManagerNull::setSampleRate(const DeviceRef& device, size_t sampleRate)
{
    if (!isNullDevice(device)) {
        throwUnknownDevice();
    }
    if (!null::acceptsSampleRate(sampleRate)) {
        throw AudioDeviceExc("Invalid samplerate.");
    }
    mNullSampleRate = sampleRate;
}

void DeviceManagerNull::setFramesPerBlock(const DeviceRef& device, size_t framesPerBlock)
{
    if (!isNullDevice(device)) {
        throwUnknownDevice();
    }
    if (!null::acceptsFramesPerBlock(framesPerBlock)) {
        throw AudioDeviceExc("Invalid frames per block.");
    }
    mNullFramesPerBlock = framesPerBlock;
}

} // namespace mirvo::audio
