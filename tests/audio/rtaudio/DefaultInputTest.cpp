// Which device the engine offers as the default input, on device lists that real machines
// produce: several cards, or a second audio system beside the sound server, where the API's
// default input is not one of the devices that capture.
#include "audio/Exception.h"
#include "audio/rtaudio/ContextRtAudio.h"
#include "audio/rtaudio/DeviceManagerRtAudio.h"
#include "tests/audio/DeviceTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace mirvo::audio {
namespace {

struct Probe {
    std::string name;
    unsigned int outputs;
    unsigned int inputs;
    bool probed = true;
};

// The platform manager over a made-up probe of one API instead of the system's.
class ProbedDeviceManager : public DeviceManagerRtAudio {
  public:
    ProbedDeviceManager(std::vector<Probe> probes, unsigned int apiDefaultOutput,
                        unsigned int apiDefaultInput)
        : mProbes(std::move(probes)), mApiDefaultOutput(apiDefaultOutput), mApiDefaultInput(apiDefaultInput)
    {
    }

  protected:
    void addSystemDevices() override
    {
        for (unsigned int index = 0; index < mProbes.size(); ++index) {
            RtAudio::DeviceInfo info;
            info.probed = mProbes[index].probed;
            info.name = mProbes[index].name;
            info.outputChannels = mProbes[index].outputs;
            info.inputChannels = mProbes[index].inputs;
            info.sampleRates = {44100, 48000};
            addProbedDevice(RtAudio::LINUX_ALSA, index, info, index == mApiDefaultOutput,
                            index == mApiDefaultInput);
        }
    }

  private:
    std::vector<Probe> mProbes;
    unsigned int mApiDefaultOutput;
    unsigned int mApiDefaultInput;
};

// What the application does at start-up: an input node for the default input whenever some
// device has input channels.
InputDeviceNodeRef setUpInputAsTheApplicationDoes(DeviceManager& manager, Context& context)
{
    bool anyInput = false;
    for (const DeviceRef& device : manager.getDevices()) {
        anyInput = anyInput || device->getNumInputChannels() > 0;
    }
    return anyInput ? context.createInputDeviceNode(manager.getDefaultInput(), {}) : nullptr;
}

TEST(DefaultInput, FallsBackToTheFirstCapturingDeviceWhenTheApisDefaultDoesNotCapture)
{
    const std::vector<Probe> cards = {{"HDMI", 8, 0}, {"USB microphone", 0, 1}, {"Line in", 2, 2}};
    // The API's default input is the HDMI output, a device that was not probed, or past the list.
    for (unsigned int apiDefault : {0u, 3u, 9u}) {
        std::vector<Probe> probes = cards;
        probes.push_back({"Broken", 2, 2, false});
        ProbedDeviceManager manager(probes, 2, apiDefault);
        DeviceRef input = manager.getDefaultInput();
        ASSERT_NE(input, nullptr) << "API default input index " << apiDefault;
        EXPECT_EQ(input->getName(), "USB microphone");
        EXPECT_EQ(manager.getDefaultOutput()->getName(), "Line in");

        auto context = test::DeviceTestContext::create();
        context->setOutput(context->createOutputDeviceNode(manager.getDefaultOutput(), {}));
        InputDeviceNodeRef node = setUpInputAsTheApplicationDoes(manager, *context);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->getNumChannels(), 1u);
    }
}

TEST(DefaultInput, KeepsTheApisDefaultWhenItCapturesAndOffersNoneWhenNothingDoes)
{
    ProbedDeviceManager capturing({{"USB microphone", 0, 1}, {"Line in", 2, 2}}, 1, 1);
    ASSERT_NE(capturing.getDefaultInput(), nullptr);
    EXPECT_EQ(capturing.getDefaultInput()->getName(), "Line in");

    ProbedDeviceManager playbackOnly({{"HDMI", 8, 0}, {"Speakers", 2, 0}}, 1, 0);
    EXPECT_EQ(playbackOnly.getDefaultInput(), nullptr) << "the Null device does not capture either";
    auto context = test::DeviceTestContext::create();
    context->setOutput(context->createOutputDeviceNode(playbackOnly.getDefaultOutput(), {}));
    EXPECT_EQ(setUpInputAsTheApplicationDoes(playbackOnly, *context), nullptr);
}

TEST(DefaultInput, AnInputNodeForNoDeviceIsRefusedWithAClearMessage)
{
    auto context = test::DeviceTestContext::create();
    try {
        context->createInputDeviceNode(nullptr, {});
        FAIL() << "an input node without a device must be refused";
    } catch (const AudioDeviceExc& exc) {
        EXPECT_STREQ(exc.what(), "no audio input device to capture from");
    }

    // The platform's context refuses it the same way, before it opens anything.
    auto platform = std::make_shared<ContextRtAudio>();
    EXPECT_THROW(platform->createInputDeviceNode(nullptr), AudioDeviceExc);
}

} // namespace
} // namespace mirvo::audio
