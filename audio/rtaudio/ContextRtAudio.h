// The platform context on Linux: it makes the device nodes for the devices of
// DeviceManagerRtAudio, an RtAudio stream for a system device and a paced null stream for the
// built-in "Null" device. Context::master() holds one for the whole run.
#pragma once

#include "audio/Context.h"

namespace mirvo::audio {

class ContextRtAudio : public Context {
  public:
    ContextRtAudio() = default;
    ~ContextRtAudio() override;

    // Main thread. Throws AudioFormatExc when the device has fewer channels than asked for.
    OutputDeviceNodeRef createOutputDeviceNode(const DeviceRef& device,
                                               const Node::Format& format = Node::Format()) override;
    // Main thread.
    InputDeviceNodeRef createInputDeviceNode(const DeviceRef& device,
                                             const Node::Format& format = Node::Format()) override;

  protected:
    OutputNodeRef makeDefaultOutput() override;
};

} // namespace mirvo::audio
