// The platform context of a build without an audio system: every device it is given (the built-in
// "Null" device is the only one such a build lists) plays through a paced null stream, and
// capture delivers silence. Context::master() holds one for the whole run.
#pragma once

#include "audio/Context.h"

namespace mirvo::audio {

class ContextNull : public Context {
  public:
    ContextNull() = default;

    // Main thread. Throws AudioFormatExc when the device has fewer channels than asked for.
    OutputDeviceNodeRef createOutputDeviceNode(const DeviceRef& device,
                                               const Node::Format& format = Node::Format()) override;
    // Main thread. Throws AudioDeviceExc without a device.
    InputDeviceNodeRef createInputDeviceNode(const DeviceRef& device,
                                             const Node::Format& format = Node::Format()) override;

  protected:
    OutputNodeRef makeDefaultOutput() override;
};

} // namespace mirvo::audio
