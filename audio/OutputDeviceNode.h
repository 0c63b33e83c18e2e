// The output node bound to an audio device: it takes its sample rate and block size from the
// device, rebuilds the graph when the device's format changes, and owns the render logic that a
// device callback runs once per block. Platform forms supply the device stream itself.
#pragma once

#include "audio/Device.h"
#include "audio/OutputNode.h"

#include <boost/signals2/connection.hpp>

namespace mirvo::audio {

class OutputDeviceNode : public OutputNode {
  public:
    // Main thread. Without a channel count the node takes the device's, up to 2; asking for more
    // channels than the device has throws AudioFormatExc.
    OutputDeviceNode(const DeviceRef& device, const Format& format);

    const DeviceRef& getDevice() const { return mDevice; }

    size_t getSampleRate() const override { return mDevice->getSampleRate(); }
    // Also the device thread (postProcess), where the device's cache is always filled.
    size_t getFramesPerBlock() const override { return mDevice->getFramesPerBlock(); }

    // Main thread: seconds from rendering a sample to hearing it, as the device reports it
    // while running; 0 where it reports nothing (the null device).
    virtual double getLatencySeconds() const { return 0.0; }

    // The node sums its inputs into its own buffer, which the render copies to the device.
    bool supportsProcessInPlace() const override { return false; }

    // Main thread, from the device's signals: stop the context and uninitialise every node...
    virtual void deviceParamsWillChange();
    // ...then initialise them again with the new format and resume if the node was running.
    virtual void deviceParamsDidChange();

  protected:
    // Device thread: one block of the render callback. Pulls the graph under the graph lock and
    // fills the device's per-channel buffers (silence when the context is gone or the block
    // clipped), then lets the context run its auto-pulled nodes and advance its frame count.
    void renderToDevice(float* const* deviceChannels, size_t numDeviceChannels, size_t numFrames);

    DeviceRef mDevice;
    boost::signals2::scoped_connection mParamsWillChangeConnection;
    boost::signals2::scoped_connection mParamsDidChangeConnection;
    bool mWasEnabledBeforeParamsChange;
};

} // namespace mirvo::audio
