#include "audio/OutputDeviceNode.h"

#include "audio/Context.h"
#include "audio/Exception.h"
#include "audio/RealtimeScope.h"
#include "audio/RenderTiming.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace mirvo::audio {
namespace {

void fillSilence(float* const* channels, size_t numChannels, size_t numFrames)
{
    for (size_t ch = 0; ch < numChannels; ++ch) {
        std::memset(channels[ch], 0, numFrames * sizeof(float));
    }
}

} // namespace

OutputDeviceNode::OutputDeviceNode(const DeviceRef& device, const Format& format)
    : OutputNode(format), mDevice(device), mWasEnabledBeforeParamsChange(false)
{
    mParamsWillChangeConnection =
        mDevice->getSignalParamsWillChange().connect([this] { deviceParamsWillChange(); });
    mParamsDidChangeConnection =
        mDevice->getSignalParamsDidChange().connect([this] { deviceParamsDidChange(); });

    const size_t deviceChannels = mDevice->getNumOutputChannels();
    if (mChannelMode != ChannelMode::SPECIFIED) {
        mChannelMode = ChannelMode::SPECIFIED;
        setNumChannels(std::min<size_t>(deviceChannels, 2));
    }
    if (deviceChannels < mNumChannels) {
        throw AudioFormatExc("Device can not accommodate " + std::to_string(deviceChannels) +
                             " output channels.");
    }
}

void OutputDeviceNode::deviceParamsWillChange()
{
    mWasEnabledBeforeParamsChange = isEnabled();
    if (ContextRef context = getContext()) {
        context->disable();
        context->uninitializeAllNodes();
    }
}

void OutputDeviceNode::deviceParamsDidChange()
{
    if (ContextRef context = getContext()) {
        context->initializeAllNodes();
        context->setEnabled(mWasEnabledBeforeParamsChange);
    }
}

void OutputDeviceNode::renderToDevice(float* const* deviceChannels, size_t numDeviceChannels,
                                      size_t numFrames)
{
    // The plain pointer avoids reference-count traffic (and a last release) on this thread; the
    // context stops its output before it is destroyed, and expiry is checked under the lock.
    Context* context = getRenderContext();
    if (!context || mContext.expired()) {
        fillSilence(deviceChannels, numDeviceChannels, numFrames);
        return;
    }
    RenderTiming timing;
    std::lock_guard<std::mutex> lock(context->getMutex());
    timing.locked();
    if (mContext.expired()) {
        fillSilence(deviceChannels, numDeviceChannels, numFrames);
        return;
    }
    MIRVO_RT_SCOPE();

    mInternalBuffer.zero();
    pullInputs(&mInternalBuffer);

    if (checkClip(mInternalBuffer)) {
        fillSilence(deviceChannels, numDeviceChannels, numFrames);
    } else {
        const size_t framesToCopy = std::min(numFrames, mInternalBuffer.getNumFrames());
        for (size_t ch = 0; ch < numDeviceChannels; ++ch) {
            if (ch < mInternalBuffer.getNumChannels()) {
                std::memcpy(deviceChannels[ch], mInternalBuffer.getChannel(ch), framesToCopy * sizeof(float));
                std::memset(deviceChannels[ch] + framesToCopy, 0, (numFrames - framesToCopy) * sizeof(float));
            } else {
                std::memset(deviceChannels[ch], 0, numFrames * sizeof(float));
            }
        }
    }

    context->postProcess();
}

} // namespace mirvo::audio
