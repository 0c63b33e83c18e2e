#include "audio/null/OutputDeviceNodeNull.h"

#include <cassert>

namespace mirvo::audio {

OutputDeviceNodeNull::OutputDeviceNodeNull(const DeviceRef& device, const Format& format)
    : OutputDeviceNode(device, format)
{
}

OutputDeviceNodeNull::~OutputDeviceNodeNull()
{
    mStream.stop();
}

void OutputDeviceNodeNull::setCaptureHook(CaptureHook hook)
{
    assert(!mStream.isStarted() && "set the capture hook while the node is not processing");
    mCaptureHook = std::move(hook);
}

void OutputDeviceNodeNull::initialize()
{
    mStream.open(mNumChannels, getSampleRate(), getFramesPerBlock());
}

void OutputDeviceNodeNull::uninitialize()
{
    mStream.stop();
}

void OutputDeviceNodeNull::enableProcessing()
{
    mStream.start(this);
}

void OutputDeviceNodeNull::disableProcessing()
{
    mStream.stop();
}

void OutputDeviceNodeNull::renderNullBlock(float* const* channels, size_t numChannels, size_t numFrames)
{
    renderToDevice(channels, numChannels, numFrames);
    if (mCaptureHook) {
        mCaptureHook(channels, numChannels, numFrames);
    }
}

} // namespace mirvo::audio
