// The context of a build without an audio system: the engine must still play, paced, and an input
// asked of it must deliver silence rather than fail or leave stale samples.
#include "audio/null/ContextNull.h"
#include "audio/Exception.h"
#include "audio/InputDeviceNode.h"
#include "audio/null/DeviceManagerNull.h"
#include "audio/null/OutputDeviceNodeNull.h"
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace mirvo::audio {
namespace {

TEST(ContextNull, RefusesWhatTheDeviceCannotDoBeforeOpeningAnything)
{
    DeviceManagerNull manager;
    auto context = std::make_shared<ContextNull>();
    EXPECT_THROW(context->createOutputDeviceNode(manager.getNullDevice(), Node::Format().channels(4)),
                 AudioFormatExc);
    EXPECT_THROW(context->createInputDeviceNode(nullptr), AudioDeviceExc);
}

TEST(ContextNull, PlaysAGraphOnTheNullDeviceWithACapturingInputThatDeliversSilence)
{
    DeviceManagerNull manager;
    auto context = std::make_shared<ContextNull>();
    auto output = std::dynamic_pointer_cast<OutputDeviceNodeNull>(
        context->createOutputDeviceNode(manager.getNullDevice()));
    ASSERT_NE(output, nullptr);
    context->setOutput(output);

    std::atomic<size_t> frames{0};
    std::atomic<bool> heardSomething{false};
    output->setCaptureHook([&](const float* const* channels, size_t numChannels, size_t numFrames) {
        for (size_t ch = 0; ch < numChannels; ++ch) {
            for (size_t i = 0; i < numFrames; ++i) {
                heardSomething = heardSomething || channels[ch][i] != 0.0f;
            }
        }
        frames += numFrames;
    });
    // A tone first: hearing nothing later then means the input delivered silence, not that the
    // hook saw nothing.
    auto sine = context->makeNode(new test::SineSourceNode(440.0f, 0.5f));
    sine->connect(output);
    context->enable();
    ASSERT_TRUE(test::waitFor([&] { return frames.load() >= 2048; }));
    EXPECT_TRUE(heardSomething.load());
    context->disable();
    sine->disconnectAll();

    InputDeviceNodeRef input =
        context->createInputDeviceNode(manager.getNullDevice(), Node::Format().channels(2));
    input->connect(output);
    frames = 0;
    heardSomething = false;
    context->enable();
    ASSERT_TRUE(test::waitFor([&] { return frames.load() >= 2048; }));
    context->disable();
    EXPECT_FALSE(heardSomething.load());
    EXPECT_GT(context->getNumProcessedFrames(), 0u);
}

} // namespace
} // namespace mirvo::audio
