// The build's platform is RtAudio: the system's devices, with the built-in null device after them.
#include "audio/PlatformContext.h"
#include "audio/rtaudio/ContextRtAudio.h"
#include "audio/rtaudio/DeviceManagerRtAudio.h"

namespace mirvo::audio {

std::shared_ptr<Context> makePlatformContext()
{
    return std::make_shared<ContextRtAudio>();
}

std::unique_ptr<DeviceManager> makePlatformDeviceManager()
{
    return std::make_unique<DeviceManagerRtAudio>();
}

} // namespace mirvo::audio
