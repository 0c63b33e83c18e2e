// The output node of the built-in "Null" device (or of any device that should not reach
// hardware): it renders the graph on a NullDeviceStream at the device's rate and block size.
// An optional capture hook sees every block as it would have gone to the device.
#pragma once

#include "audio/OutputDeviceNode.h"
#include "audio/null/NullDeviceStream.h"

#include <functional>

namespace mirvo::audio {

class OutputDeviceNodeNull : public OutputDeviceNode, private NullDeviceStream::Client {
  public:
    // Called on the stream thread after every block with the device's channel buffers.
    using CaptureHook =
        std::function<void(const float* const* channels, size_t numChannels, size_t numFrames)>;

    OutputDeviceNodeNull(const DeviceRef& device, const Format& format);
    ~OutputDeviceNodeNull() override;

    // Main thread, while the node is not processing.
    void setCaptureHook(CaptureHook hook);

    // Main thread.
    void initialize() override;
    void uninitialize() override;
    void enableProcessing() override;
    void disableProcessing() override;

    const NullDeviceStream& getStream() const { return mStream; }

  private:
    // Stream thread.
    void renderNullBlock(float* const* channels, size_t numChannels, size_t numFrames) override;

    NullDeviceStream mStream;
    CaptureHook mCaptureHook;
};

} // namespace mirvo::audio
