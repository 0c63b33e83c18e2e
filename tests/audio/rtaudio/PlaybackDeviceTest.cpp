#include "audio/Context.h"
#include "audio/DeviceManager.h"
#include "audio/rtaudio/InputDeviceNodeRtAudio.h"
#include "audio/rtaudio/OutputDeviceNodeRtAudio.h"
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/ToneAnalysis.h"
#include "tests/audio/WaitFor.h"
#include "tests/audio/rtaudio/SoundServerSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace mirvo::audio {
namespace {

using test::kPatience;

using namespace std::chrono_literals;

using test::kFrequencyTolerance;
using test::kLevelToleranceDb;
using test::kToneAmplitude;
using test::kToneFrequency;
// The server resamples on the way to the monitor; its filter may overshoot a clean step a little.
constexpr double kStepToleranceRatio = 1.5;

bool soundServerAnswers()
{
    return std::system("pactl info >/dev/null 2>&1") == 0;
}

TEST(SoundServerPlayback, PlaysAToneThroughTheDefaultOutputWithoutGaps)
{
    if (!soundServerAnswers()) {
        GTEST_SKIP() << "no sound server (scripts/test starts one)";
    }

    Context* context = Context::master();
    auto output = std::dynamic_pointer_cast<OutputDeviceNodeRtAudio>(context->getOutput());
    ASSERT_NE(output, nullptr) << "the default output should be the sound server's, not the null device";
    const size_t sampleRate = output->getSampleRate();

    const std::string monitor = test::runAndRead("pactl get-default-sink") + ".monitor";
    // A generous recording buffer: on a loaded machine a tight one loses samples in the recorder,
    // which would read as gaps in the playback.
    test::ChildProcess recorder({"parec", "-d", monitor, "--raw", "--format=float32le", "--channels=1",
                                 "--rate=" + std::to_string(sampleRate), "--latency-msec=250"},
                                true);
    ASSERT_TRUE(recorder.isStarted());
    std::this_thread::sleep_for(300ms);

    auto sine = context->makeNode(new test::SineSourceNode(float(kToneFrequency), float(kToneAmplitude)));
    sine->connect(output);
    // Counted from here: an earlier test in this process may have run the same context.
    const uint64_t framesBefore = context->getNumProcessedFrames();
    context->enable();
    const uint64_t blocksWanted = sampleRate * 12 / 10 / output->getFramesPerBlock();
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    while (context->getNumProcessedFrames() - framesBefore < blocksWanted * output->getFramesPerBlock() &&
           std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(10ms);
    }
    context->disable();
    std::this_thread::sleep_for(300ms);
    recorder.stop(SIGTERM);

    EXPECT_FALSE(output->isOnFallback());
    const std::vector<float> tone =
        test::trimToSignal(test::asFloats(recorder.getOutput()), 0.05f, sampleRate / 20);
    ASSERT_GT(tone.size(), sampleRate / 2) << "the recording holds less than half a second of tone";
    const test::ToneReport report =
        test::analyseTone(tone, double(sampleRate), kToneFrequency, kToneAmplitude);
    EXPECT_NEAR(report.frequency, kToneFrequency, kFrequencyTolerance);
    EXPECT_LT(std::fabs(test::levelDifferenceDb(report.rms, kToneAmplitude)), kLevelToleranceDb)
        << "rms " << report.rms;
    EXPECT_LE(report.longestSilence, 2u);
    EXPECT_LT(report.worstStepRatio, kStepToleranceRatio);

    context->disconnectAllNodes();
}

// The default input of a server with a null sink is that sink's monitor: what the output plays
// comes back through a capture stream of its own, block by block through the input ring.
TEST(SoundServerPlayback, CapturesWhatItPlaysThroughASeparateInputDevice)
{
    if (!soundServerAnswers()) {
        GTEST_SKIP() << "no sound server (scripts/test starts one)";
    }
    DeviceRef inputDevice = Device::getDefaultInput();
    if (!inputDevice || inputDevice->getName().find("Monitor") == std::string::npos) {
        GTEST_SKIP() << "the default input is not the output's monitor";
    }

    Context* context = Context::master();
    auto output = std::dynamic_pointer_cast<OutputDeviceNodeRtAudio>(context->getOutput());
    ASSERT_NE(output, nullptr);
    const size_t sampleRate = output->getSampleRate();
    auto sine = context->makeNode(new test::SineSourceNode(float(kToneFrequency), float(kToneAmplitude)));
    sine->connect(output);

    auto input =
        std::dynamic_pointer_cast<InputDeviceNodeRtAudio>(context->createInputDeviceNode(inputDevice));
    ASSERT_NE(input, nullptr);
    auto recorder = context->makeNode(new test::RecorderNode(sampleRate * 10));
    input->connect(recorder);

    input->enable();
    EXPECT_FALSE(input->isSynchronous());
    EXPECT_EQ(inputDevice->getSampleRate(), sampleRate);
    EXPECT_EQ(inputDevice->getFramesPerBlock(), output->getFramesPerBlock());
    context->enable();
    const auto giveUp = std::chrono::steady_clock::now() + kPatience;
    while (recorder->getNumRecorded() < sampleRate * 2 && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(10ms);
    }
    context->disable();
    input->disable();
    const std::vector<float> tone = test::trimToSignal(recorder->recorded(), 0.05f, sampleRate / 20);
    ASSERT_GT(tone.size(), sampleRate / 2) << "the capture holds less than half a second of tone";
    // Two device threads and the server share a loaded machine here, so an occasional late block
    // is tolerated: the tone must arrive, at its pitch and level, in most of the capture.
    const test::ToneReport report =
        test::analyseToneByWindows(tone, double(sampleRate), kToneFrequency, kToneAmplitude, sampleRate / 10);
    EXPECT_NEAR(report.frequency, kToneFrequency, kFrequencyTolerance);
    EXPECT_LT(std::fabs(test::levelDifferenceDb(report.rms, kToneAmplitude)), kLevelToleranceDb);
    context->disconnectAllNodes();
}

} // namespace
} // namespace mirvo::audio
