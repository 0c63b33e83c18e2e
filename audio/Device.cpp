#include "audio/Device.h"

#include "audio/Context.h"
#include "audio/DeviceManager.h"

namespace mirvo::audio {

Device::Device(DeviceManager* manager, std::string key) : mManager(manager), mKey(std::move(key))
{
}

DeviceRef Device::getDefaultOutput()
{
    return Context::deviceManager()->getDefaultOutput();
}

DeviceRef Device::getDefaultInput()
{
    return Context::deviceManager()->getDefaultInput();
}

const std::vector<DeviceRef>& Device::getDevices()
{
    return Context::deviceManager()->getDevices();
}

DeviceRef Device::findDeviceByName(const std::string& name)
{
    return Context::deviceManager()->findDeviceByName(name);
}

DeviceRef Device::findDeviceByKey(const std::string& key)
{
    return Context::deviceManager()->findDeviceByKey(key);
}

const std::string& Device::getName()
{
    if (mName.empty() && mManager) {
        mName = mManager->getName(shared_from_this());
    }
    return mName;
}

size_t Device::getNumInputChannels()
{
    return mManager ? mManager->getNumInputChannels(shared_from_this()) : 0;
}

size_t Device::getNumOutputChannels()
{
    return mManager ? mManager->getNumOutputChannels(shared_from_this()) : 0;
}

size_t Device::getSampleRate()
{
    if (mSampleRate == 0 && mManager) {
        mSampleRate = mManager->getSampleRate(shared_from_this());
    }
    return mSampleRate;
}

size_t Device::getFramesPerBlock()
{
    if (mFramesPerBlock == 0 && mManager) {
        mFramesPerBlock = mManager->getFramesPerBlock(shared_from_this());
    }
    return mFramesPerBlock;
}

void Device::updateFormat(const Format& format)
{
    if (!mManager) {
        return;
    }

    // A field left at 0 counts as unchanged; comparing against the manager's answer rather
    // than a cache that may not be filled yet keeps a no-op from rebuilding the graph.
    const size_t currentRate = getSampleRate();
    const size_t currentFrames = getFramesPerBlock();
    const bool rateChanges = format.getSampleRate() != 0 && format.getSampleRate() != currentRate;
    const bool framesChange = format.getFramesPerBlock() != 0 && format.getFramesPerBlock() != currentFrames;
    if (!rateChanges && !framesChange) {
        return;
    }

    DeviceRef self = shared_from_this();
    mSignalParamsWillChange();
    try {
        if (rateChanges) {
            mSampleRate = 0;
            mManager->setSampleRate(self, format.getSampleRate());
        }
        if (framesChange) {
            mFramesPerBlock = 0;
            mManager->setFramesPerBlock(self, format.getFramesPerBlock());
        }
    } catch (...) {
        // Listeners stopped the graph on will-change; without the matching did-change it
        // would stay stopped. Nothing was written for the refused field, so the graph is
        // rebuilt with the format the device still has.
        mSignalParamsDidChange();
        throw;
    }
    if (!mManager->isFormatUpdatedAsync()) {
        mSignalParamsDidChange();
    }
}

} // namespace mirvo::audio
