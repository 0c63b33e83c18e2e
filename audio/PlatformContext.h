// Where the build's platform enters the portable engine: Context::master and
// Context::deviceManager make their statics through these two on first use. The build compiles
// exactly one platform file that defines them (the RtAudio one, or the null one when the build
// has no audio system), so the portable engine links with either.
#pragma once

#include <memory>

namespace mirvo::audio {

class Context;
class DeviceManager;

// Main thread.
std::shared_ptr<Context> makePlatformContext();
// Main thread.
std::unique_ptr<DeviceManager> makePlatformDeviceManager();

} // namespace mirvo::audio
