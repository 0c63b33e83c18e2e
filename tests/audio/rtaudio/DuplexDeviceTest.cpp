#include "audio/Context.h"
#include "audio/rtaudio/InputDeviceNodeRtAudio.h"
#include "audio/rtaudio/OutputDeviceNodeRtAudio.h"
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/ShutdownOnlyApp.h"
#include "tests/audio/ToneAnalysis.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace mirvo::audio {
namespace {

using namespace std::chrono_literals;

using test::kFrequencyTolerance;
using test::kLevelToleranceDb;
using test::kToneAmplitude;
using test::kToneFrequency;

// ALSA's default device, routed through the sound server, plays and captures: one device for
// both directions, so the input rides in the output's own stream. With the server's null sink
// as default, what it captures is what it plays.
TEST(DuplexDevice, CapturesInsideTheOutputsStreamWhenBothShareADevice)
{
    if (std::system("pactl info >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no sound server (scripts/test starts one)";
    }
    setenv("MIRVO_AUDIO_API", "alsa", 1);
    test::ShutdownOnlyApp application;

    Context* context = Context::master();
    auto output = std::dynamic_pointer_cast<OutputDeviceNodeRtAudio>(context->getOutput());
    DeviceRef device = output ? output->getDevice() : nullptr;
    if (!device || device->getNumInputChannels() < 2) {
        unsetenv("MIRVO_AUDIO_API");
        application.getSignalShutdown()();
        GTEST_SKIP() << "ALSA offers no duplex default device here";
    }
    const size_t sampleRate = output->getSampleRate();

    auto sine = context->makeNode(new test::SineSourceNode(float(kToneFrequency), float(kToneAmplitude)));
    sine->connect(output);
    auto input = std::dynamic_pointer_cast<InputDeviceNodeRtAudio>(context->createInputDeviceNode(device));
    auto recorder = context->makeNode(new test::RecorderNode(sampleRate * 10));
    input->connect(recorder);
    EXPECT_FALSE(input->isSynchronous()) << "a disabled input records nothing";
    EXPECT_EQ(output->getSynchronousInputChannels(), 0u);

    input->enable();
    EXPECT_TRUE(input->isSynchronous());
    EXPECT_EQ(output->getSynchronousInputChannels(), 2u);
    context->enable();
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (recorder->getNumRecorded() < sampleRate * 2 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(10ms);
    }
    context->disable();
    input->disable();
    EXPECT_FALSE(output->isOnFallback());
    EXPECT_EQ(output->getSynchronousInputChannels(), 0u) << "the output records on after the input is off";

    const std::vector<float> tone = test::trimToSignal(recorder->recorded(), 0.05f, sampleRate / 20);
    ASSERT_GT(tone.size(), sampleRate / 2) << "the capture holds less than half a second of tone";
    const test::ToneReport report =
        test::analyseToneByWindows(tone, double(sampleRate), kToneFrequency, kToneAmplitude, sampleRate / 10);
    EXPECT_NEAR(report.frequency, kToneFrequency, kFrequencyTolerance);
    EXPECT_LT(std::fabs(test::levelDifferenceDb(report.rms, kToneAmplitude)), kLevelToleranceDb);

    context->disconnectAllNodes();
    unsetenv("MIRVO_AUDIO_API");
    application.getSignalShutdown()();
}

} // namespace
} // namespace mirvo::audio
