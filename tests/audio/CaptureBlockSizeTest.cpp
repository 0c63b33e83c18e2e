// A separate capture device that delivers blocks of its own size to a graph of 512-frame blocks.
// The device thread and the graph are played in turn on a shared clock, as two devices of one
// sample rate would call back.
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/FakeDeviceManager.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace mirvo::audio {
namespace {

constexpr size_t kGraphFrames = 512;
constexpr double kSampleRate = 48000.0;

// A different tone on each channel, and a different level, so a frame carried to the wrong
// channel or the wrong place in time shows.
float captured(size_t channel, size_t frame)
{
    const double frequency = channel == 0 ? 440.0 : 1250.0;
    const double amplitude = channel == 0 ? 0.5 : 0.25;
    return float(amplitude * std::sin(2.0 * std::numbers::pi * frequency * double(frame) / kSampleRate));
}

struct CaptureRun {
    std::vector<float> channels[2];
    size_t firstSoundingBlock = 0;
    uint64_t lastUnderrun = 0;
    uint64_t lastOverrun = 0;
};

// Delivers the device's blocks (cycling through `deliveries`) and renders graph blocks in the
// order their periods end, for `graphBlocks` graph blocks.
CaptureRun runCapture(const std::vector<size_t>& deliveries, size_t graphBlocks)
{
    test::FakeDeviceManager manager;
    auto context = test::DeviceTestContext::create();
    DeviceRef outputDevice =
        manager.add(test::fakeDevice("Out").withChannels(2).withFormat(48000, kGraphFrames));
    DeviceRef inputDevice =
        manager.add(test::fakeDevice("In").withChannels(0, 2).withFormat(48000, kGraphFrames));
    auto output = std::dynamic_pointer_cast<test::ManualDeviceOutput>(
        context->createOutputDeviceNode(outputDevice, {}));
    context->setOutput(output);
    auto input =
        std::dynamic_pointer_cast<test::ManualDeviceInput>(context->createInputDeviceNode(inputDevice, {}));
    input->setDeviceFrames(*std::max_element(deliveries.begin(), deliveries.end()));
    input->connect(output);
    input->enable();
    context->enable();

    CaptureRun run;
    size_t framesCaptured = 0;
    size_t delivery = 0;
    bool sounding = false;
    for (size_t block = 0; block < graphBlocks; ++block) {
        // Every device block whose period ends by the end of this graph block has arrived.
        while (framesCaptured + deliveries[delivery % deliveries.size()] <= (block + 1) * kGraphFrames) {
            const size_t count = deliveries[delivery++ % deliveries.size()];
            std::vector<float> samples(2 * count);
            for (size_t ch = 0; ch < 2; ++ch) {
                for (size_t i = 0; i < count; ++i) {
                    samples[ch * count + i] = captured(ch, framesCaptured + i);
                }
            }
            input->capture(samples, count);
            framesCaptured += count;
        }
        output->renderBlock();
        if (!sounding && !output->deviceBlockIsSilent()) {
            sounding = true;
            run.firstSoundingBlock = block;
        }
        if (sounding) {
            for (size_t ch = 0; ch < 2; ++ch) {
                const float* samples = output->getDeviceChannel(ch);
                run.channels[ch].insert(run.channels[ch].end(), samples, samples + kGraphFrames);
            }
        }
    }
    run.lastUnderrun = input->getLastUnderrun();
    run.lastOverrun = input->getLastOverrun();
    context->disable();
    context->disconnectAllNodes();
    return run;
}

// The graph's output is the captured signal from frame 0 on, on the right channels.
void expectContinuousAndChannelCorrect(const CaptureRun& run, size_t graphBlocks)
{
    ASSERT_LT(run.firstSoundingBlock, 8u) << "capture never reached the graph";
    ASSERT_EQ(run.channels[0].size(), (graphBlocks - run.firstSoundingBlock) * kGraphFrames);
    size_t wrong[2] = {0, 0};
    size_t firstWrong[2] = {0, 0};
    for (size_t ch = 0; ch < 2; ++ch) {
        for (size_t frame = 0; frame < run.channels[ch].size(); ++frame) {
            if (run.channels[ch][frame] != captured(ch, frame) && wrong[ch]++ == 0) {
                firstWrong[ch] = frame;
            }
        }
    }
    EXPECT_EQ(wrong[0], 0u) << "left channel first differs at frame " << firstWrong[0];
    EXPECT_EQ(wrong[1], 0u) << "right channel first differs at frame " << firstWrong[1];
    EXPECT_EQ(run.lastUnderrun, 0u);
    EXPECT_EQ(run.lastOverrun, 0u);
}

class CaptureBlockSize : public ::testing::TestWithParam<size_t> {};

TEST_P(CaptureBlockSize, TheGraphGetsEveryCapturedFrameInOrderOnItsOwnChannel)
{
    constexpr size_t kGraphBlocks = 200;
    expectContinuousAndChannelCorrect(runCapture({GetParam()}, kGraphBlocks), kGraphBlocks);
}

INSTANTIATE_TEST_SUITE_P(DeviceBlocks, CaptureBlockSize, ::testing::Values(256, 480, 512, 1024));

TEST(CaptureBlockSizes, ADeviceThatChangesItsBlockSizeFromCallToCallStaysContinuous)
{
    constexpr size_t kGraphBlocks = 300;
    expectContinuousAndChannelCorrect(runCapture({256, 480, 1024, 480}, kGraphBlocks), kGraphBlocks);
}

} // namespace
} // namespace mirvo::audio
