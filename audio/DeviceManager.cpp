#include "audio/DeviceManager.h"

namespace mirvo::audio {

std::string makeDeviceKey(const std::string& name, const std::string& model, const std::string& manufacturer)
{
    return name + " - " + (model.empty() ? manufacturer : model);
}

DeviceManager::~DeviceManager()
{
    // Nodes may hold devices past the manager's teardown; they must not call back into it.
    for (auto& device : mDevices) {
        device->mManager = nullptr;
    }
}

DeviceRef DeviceManager::findDeviceByName(const std::string& name)
{
    for (const auto& device : getDevices()) {
        if (device->getName() == name) {
            return device;
        }
    }
    return {};
}

DeviceRef DeviceManager::findDeviceByKey(const std::string& key)
{
    for (const auto& device : getDevices()) {
        if (device->getKey() == key) {
            return device;
        }
    }
    return {};
}

DeviceRef DeviceManager::addDevice(const std::string& key)
{
    DeviceRef device(new Device(this, key));
    mDevices.push_back(device);
    return device;
}

void DeviceManager::emitParamsWillChange(const DeviceRef& device)
{
    device->mSignalParamsWillChange();
}

void DeviceManager::emitParamsDidChange(const DeviceRef& device)
{
    device->mSampleRate = 0;
    device->mFramesPerBlock = 0;
    device->mSignalParamsDidChange();
}

} // namespace mirvo::audio
