#include "audio/rtaudio/ContextRtAudio.h"

#include "audio/null/OutputDeviceNodeNull.h"
#include "audio/rtaudio/DeviceManagerRtAudio.h"
#include "audio/rtaudio/InputDeviceNodeRtAudio.h"
#include "audio/rtaudio/OutputDeviceNodeRtAudio.h"

namespace mirvo::audio {

ContextRtAudio::~ContextRtAudio() = default;

OutputDeviceNodeRef ContextRtAudio::createOutputDeviceNode(const DeviceRef& device,
                                                           const Node::Format& format)
{
    auto* manager = dynamic_cast<DeviceManagerRtAudio*>(deviceManager());
    if (manager && manager->isRtAudioDevice(device)) {
        return makeNode(new OutputDeviceNodeRtAudio(device, format));
    }
    return makeNode(new OutputDeviceNodeNull(device, format));
}

InputDeviceNodeRef ContextRtAudio::createInputDeviceNode(const DeviceRef& device, const Node::Format& format)
{
    return makeNode(new InputDeviceNodeRtAudio(device, format));
}

OutputNodeRef ContextRtAudio::makeDefaultOutput()
{
    return createOutputDeviceNode(deviceManager()->getDefaultOutput());
}

} // namespace mirvo::audio
