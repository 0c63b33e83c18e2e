#include "audio/DeviceManager.h"
#include "audio/Exception.h"
#include "audio/null/DeviceManagerNull.h"
#include "tests/audio/FakeDeviceManager.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace mirvo::audio {
namespace {

using test::fakeDevice;
using test::FakeDeviceManager;

// Counts the two format signals of one device.
struct SignalCounter {
    explicit SignalCounter(const DeviceRef& device)
    {
        device->getSignalParamsWillChange().connect([this] { ++willChange; });
        device->getSignalParamsDidChange().connect([this] { ++didChange; });
    }
    int willChange = 0;
    int didChange = 0;
};

TEST(DeviceManager, KeysTellApartDevicesOfOneNameAndFallBackToTheManufacturer)
{
    FakeDeviceManager manager;
    DeviceRef first = manager.add(fakeDevice("USB Audio").withModel("HS-100"));
    DeviceRef second = manager.add(fakeDevice("USB Audio").withModel("HS-200"));
    DeviceRef noModel = manager.add(fakeDevice("Speakers").withManufacturer("Acme"));

    EXPECT_EQ(first->getKey(), "USB Audio - HS-100");
    EXPECT_NE(first->getKey(), second->getKey());
    EXPECT_EQ(noModel->getKey(), "Speakers - Acme");
    EXPECT_EQ(manager.findDeviceByKey("USB Audio - HS-200"), second);
    EXPECT_EQ(manager.findDeviceByName("USB Audio"), first);
}

TEST(DeviceManager, AnUnknownNameOrKeyGivesAnEmptyReference)
{
    FakeDeviceManager manager;
    manager.add(fakeDevice("Speakers"));
    EXPECT_EQ(manager.findDeviceByName("Headphones"), nullptr);
    EXPECT_EQ(manager.findDeviceByName("speakers"), nullptr);
    EXPECT_EQ(manager.findDeviceByKey("Speakers"), nullptr);
}

TEST(Device, CachesItsNameAndFormatButAsksForChannelsEveryTime)
{
    FakeDeviceManager manager;
    DeviceRef device = manager.add(fakeDevice("Speakers").withChannels(2));
    device->getName();
    device->getName();
    device->getSampleRate();
    device->getSampleRate();
    EXPECT_EQ(manager.getNameQueries(), 1);
    EXPECT_EQ(manager.getRateQueries(), 1);

    manager.traits(device).numOutputChannels = 6;
    EXPECT_EQ(device->getNumOutputChannels(), 6u);
}

TEST(Device, UpdatingToTheCurrentFormatEmitsNothing)
{
    FakeDeviceManager manager;
    DeviceRef device = manager.add(fakeDevice("Speakers").withFormat(48000, 512));
    SignalCounter signals(device);

    device->updateFormat(Device::Format().sampleRate(48000).framesPerBlock(512));
    device->updateFormat(Device::Format());
    device->updateFormat(Device::Format().framesPerBlock(512));

    EXPECT_EQ(signals.willChange, 0);
    EXPECT_EQ(signals.didChange, 0);
}

TEST(Device, ANewBlockSizeAloneLeavesTheRateAndEmitsEachSignalOnce)
{
    FakeDeviceManager manager;
    DeviceRef device = manager.add(fakeDevice("Speakers").withFormat(44100, 512));
    SignalCounter signals(device);
    size_t framesSeenOnDidChange = 0;
    device->getSignalParamsDidChange().connect([&] { framesSeenOnDidChange = device->getFramesPerBlock(); });

    device->updateFormat(Device::Format().framesPerBlock(256));

    EXPECT_EQ(signals.willChange, 1);
    EXPECT_EQ(signals.didChange, 1);
    EXPECT_EQ(framesSeenOnDidChange, 256u);
    EXPECT_EQ(device->getSampleRate(), 44100u);
}

TEST(Device, AcceptsAListedRateAndRefusesAnUnlistedOneWithTheMessage)
{
    FakeDeviceManager manager;
    DeviceRef device = manager.add(fakeDevice("Speakers").withRates({44100, 48000}, 48000));

    device->updateFormat(Device::Format().sampleRate(44100));
    EXPECT_EQ(device->getSampleRate(), 44100u);

    try {
        device->updateFormat(Device::Format().sampleRate(44101));
        FAIL() << "an unlisted rate must be refused";
    } catch (const AudioDeviceExc& exc) {
        EXPECT_STREQ(exc.what(), "Invalid samplerate.");
    }
    EXPECT_EQ(device->getSampleRate(), 44100u);
}

TEST(Device, ARefusedFormatStillEmitsDidChangeSoListenersCanResume)
{
    FakeDeviceManager manager;
    DeviceRef device = manager.add(fakeDevice("Speakers").withFrameRange(64, 1024));
    SignalCounter signals(device);

    try {
        device->updateFormat(Device::Format().framesPerBlock(2048));
        FAIL() << "a block size outside the range must be refused";
    } catch (const AudioDeviceExc& exc) {
        EXPECT_STREQ(exc.what(), "Invalid frames per block.");
    }
    EXPECT_EQ(signals.willChange, 1);
    EXPECT_EQ(signals.didChange, 1);
    EXPECT_EQ(device->getFramesPerBlock(), 512u);
}

TEST(Device, OutlivesItsManagerAnsweringFromItsCaches)
{
    auto manager = std::make_unique<FakeDeviceManager>();
    DeviceRef device = manager->add(fakeDevice("Speakers").withFormat(44100, 512));
    device->getName();
    device->getSampleRate();
    manager.reset();

    EXPECT_EQ(device->getName(), "Speakers");
    EXPECT_EQ(device->getSampleRate(), 44100u);
    EXPECT_EQ(device->getNumOutputChannels(), 0u);
    EXPECT_NO_THROW(device->updateFormat(Device::Format().sampleRate(48000)));
}

TEST(DeviceManagerNull, OffersTheNullDeviceAsDefaultOutputAndNoInput)
{
    DeviceManagerNull manager;
    DeviceRef device = manager.getDefaultOutput();
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->getName(), "Null");
    EXPECT_EQ(device->getKey(), "Null - Mirvo");
    EXPECT_EQ(device->getNumOutputChannels(), 2u);
    EXPECT_EQ(device->getNumInputChannels(), 0u);
    EXPECT_EQ(device->getSampleRate(), 48000u);
    EXPECT_EQ(device->getFramesPerBlock(), 512u);
    EXPECT_EQ(manager.getDefaultInput(), nullptr);
    EXPECT_EQ(manager.findDeviceByName("Null"), device);
    EXPECT_EQ(manager.getDevices().size(), 1u);
}

TEST(DeviceManagerNull, ValidatesFormatsAndAppliesThemSynchronously)
{
    DeviceManagerNull manager;
    DeviceRef device = manager.getDefaultOutput();
    SignalCounter signals(device);

    device->updateFormat(Device::Format().sampleRate(44100).framesPerBlock(256));
    EXPECT_EQ(signals.willChange, 1);
    EXPECT_EQ(signals.didChange, 1);
    EXPECT_EQ(device->getSampleRate(), 44100u);
    EXPECT_EQ(device->getFramesPerBlock(), 256u);

    EXPECT_THROW(device->updateFormat(Device::Format().sampleRate(44101)), AudioDeviceExc);
    EXPECT_THROW(device->updateFormat(Device::Format().framesPerBlock(8)), AudioDeviceExc);
    EXPECT_THROW(device->updateFormat(Device::Format().framesPerBlock(16384)), AudioDeviceExc);
    EXPECT_EQ(device->getSampleRate(), 44100u);
    EXPECT_EQ(device->getFramesPerBlock(), 256u);
}

TEST(DeviceManagerNull, ADeviceOfAnotherManagerIsOutOfRange)
{
    DeviceManagerNull manager;
    FakeDeviceManager other;
    DeviceRef stranger = other.add(fakeDevice("Speakers"));
    EXPECT_THROW(manager.getSampleRate(stranger), std::out_of_range);
    EXPECT_THROW(manager.setFramesPerBlock(stranger, 256), std::out_of_range);
}

} // namespace
} // namespace mirvo::audio
