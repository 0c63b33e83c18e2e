#include "audio/rtaudio/DeviceManagerRtAudio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirvo::audio {
namespace {

// Probes whatever this machine offers (a sound server, ALSA cards, or nothing at all).
TEST(DeviceManagerRtAudio, ListsTheSystemQuietlyAndAlwaysEndsWithTheNullDevice)
{
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    DeviceManagerRtAudio manager;
    const std::vector<DeviceRef> devices = manager.getDevices();
    DeviceRef output = manager.getDefaultOutput();
    DeviceRef input = manager.getDefaultInput();
    const std::string printed =
        testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();

    EXPECT_EQ(printed, "");
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices.back()->getName(), "Null");
    ASSERT_NE(output, nullptr);
    EXPECT_GT(output->getNumOutputChannels(), 0u);
    if (input) {
        EXPECT_GT(input->getNumInputChannels(), 0u);
    }
    for (const DeviceRef& device : devices) {
        EXPECT_EQ(manager.findDeviceByKey(device->getKey()), device) << "keys must be unique";
        EXPECT_GT(device->getSampleRate(), 0u);
        EXPECT_GT(device->getFramesPerBlock(), 0u);
    }
    EXPECT_EQ(manager.getDevices().size(), devices.size()) << "the list is built once";
}

} // namespace
} // namespace mirvo::audio
