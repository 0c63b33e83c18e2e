// The platform manager's list: whatever this machine's audio systems offer, then the built-in
// null device, which the manager lists and answers for like the others.
#include "audio/rtaudio/DeviceManagerRtAudio.h"
#include "audio/Exception.h"
#include "tests/audio/FakeDeviceManager.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace mirvo::audio {
namespace {

// The platform manager on a machine where no audio system answers at all.
class SilentSystemDeviceManager : public DeviceManagerRtAudio {
  protected:
    void addSystemDevices() override {}
};

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

TEST(DeviceManagerRtAudio, WithoutAnySystemDeviceTheNullDeviceIsTheWholeListAndTheDefaultOutput)
{
    SilentSystemDeviceManager manager;
    ASSERT_EQ(manager.getDevices().size(), 1u);
    DeviceRef null = manager.getDefaultOutput();
    ASSERT_NE(null, nullptr);
    EXPECT_EQ(manager.getDevices().front(), null);
    EXPECT_TRUE(manager.isNullDevice(null));
    EXPECT_FALSE(manager.isRtAudioDevice(null));
    EXPECT_EQ(manager.findDeviceByName("Null"), null);
    EXPECT_EQ(manager.findDeviceByKey("Null - Mirvo"), null);
    EXPECT_EQ(manager.getDefaultInput(), nullptr);
    EXPECT_EQ(manager.getName(null), "Null");
    EXPECT_EQ(manager.getNumOutputChannels(null), 2u);
    EXPECT_EQ(manager.getNumInputChannels(null), 0u);
    EXPECT_FALSE(manager.isFormatUpdatedAsync());
}

// The device and the platform manager must agree on the null device's format whichever of the
// two is asked, and a refused value leaves both as they were.
TEST(DeviceManagerRtAudio, TheNullDevicesFormatChangesAsOneThroughTheDeviceOrTheManager)
{
    SilentSystemDeviceManager manager;
    DeviceRef null = manager.findDeviceByName("Null");
    ASSERT_NE(null, nullptr);
    int didChange = 0;
    null->getSignalParamsDidChange().connect([&] { ++didChange; });

    null->updateFormat(Device::Format().sampleRate(44100).framesPerBlock(256));
    EXPECT_EQ(didChange, 1) << "the null device applies a format at once";
    EXPECT_EQ(manager.getSampleRate(null), 44100u);
    EXPECT_EQ(manager.getFramesPerBlock(null), 256u);

    manager.setSampleRate(null, 96000);
    EXPECT_EQ(manager.getSampleRate(null), 96000u);
    EXPECT_THROW(manager.setSampleRate(null, 44101), AudioDeviceExc);
    EXPECT_THROW(manager.setFramesPerBlock(null, 8), AudioDeviceExc);
    EXPECT_EQ(manager.getSampleRate(null), 96000u);
    EXPECT_EQ(manager.getFramesPerBlock(null), 256u);
}

TEST(DeviceManagerRtAudio, ADeviceOfAnotherManagerIsOutOfRange)
{
    SilentSystemDeviceManager manager;
    manager.getDevices();
    test::FakeDeviceManager other;
    DeviceRef stranger = other.add(test::fakeDevice("Speakers"));
    EXPECT_THROW(manager.getName(stranger), std::out_of_range);
    EXPECT_THROW(manager.getSampleRate(stranger), std::out_of_range);
    EXPECT_THROW(manager.setFramesPerBlock(stranger, 256), std::out_of_range);
}

} // namespace
} // namespace mirvo::audio
