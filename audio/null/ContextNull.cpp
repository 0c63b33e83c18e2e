#include "audio/null/ContextNull.h"

#include "audio/DeviceManager.h"
#include "audio/InputDeviceNode.h"
#include "audio/null/OutputDeviceNodeNull.h"

#include <algorithm>

namespace mirvo::audio {
namespace {

// An input with no device stream behind it: nothing is ever captured.
class InputDeviceNodeNull : public InputDeviceNode {
  public:
    using InputDeviceNode::InputDeviceNode;

    // Audio thread.
    void process(Buffer* buffer) override { std::fill_n(buffer->getData(), buffer->getSize(), 0.0f); }
};

} // namespace

OutputDeviceNodeRef ContextNull::createOutputDeviceNode(const DeviceRef& device, const Node::Format& format)
{
    return makeNode(new OutputDeviceNodeNull(device, format));
}

InputDeviceNodeRef ContextNull::createInputDeviceNode(const DeviceRef& device, const Node::Format& format)
{
    return makeNode(new InputDeviceNodeNull(device, format));
}

OutputNodeRef ContextNull::makeDefaultOutput()
{
    return createOutputDeviceNode(deviceManager()->getDefaultOutput());
}

} // namespace mirvo::audio
