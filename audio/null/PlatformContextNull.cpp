// The build has no audio system: the built-in null device is the only device.
#include "audio/PlatformContext.h"
#include "audio/null/ContextNull.h"
#include "audio/null/DeviceManagerNull.h"

namespace mirvo::audio {

std::shared_ptr<Context> makePlatformContext()
{
    return std::make_shared<ContextNull>();
}

std::unique_ptr<DeviceManager> makePlatformDeviceManager()
{
    return std::make_unique<DeviceManagerNull>();
}

} // namespace mirvo::audio
