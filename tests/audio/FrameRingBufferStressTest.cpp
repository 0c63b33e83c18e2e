// Races a capture thread against a render thread through the frame ring, alone and inside the
// input device node. Meant to run under ThreadSanitizer as well as plainly.
#include "audio/dsp/FrameRingBuffer.h"
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/FakeDeviceManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace mirvo::audio {
namespace {

// Frame indices times the channel count stay exact in float below 2^24.
constexpr size_t kTotalFrames = 1 << 20;
constexpr size_t kChannels = 4;

TEST(FrameRingBufferStress, EveryFrameArrivesOnceInOrderWithItsChannelsTogether)
{
    dsp::FrameRingBuffer ring(kChannels, 1000);

    std::thread producer([&] {
        std::vector<float> chunk(kChannels * 500);
        size_t next = 0;
        size_t chunkFrames = 1;
        while (next < kTotalFrames) {
            const size_t count = std::min(chunkFrames, kTotalFrames - next);
            for (size_t ch = 0; ch < kChannels; ++ch) {
                for (size_t i = 0; i < count; ++i) {
                    chunk[ch * count + i] = float((next + i) * kChannels + ch);
                }
            }
            if (ring.write(chunk.data(), count, count)) {
                next += count;
                chunkFrames = chunkFrames % 463 + 37;
            } else {
                std::this_thread::yield();
            }
        }
    });

    std::vector<float> chunk(kChannels * 400);
    size_t expected = 0;
    size_t mismatches = 0;
    size_t chunkFrames = 5;
    while (expected < kTotalFrames) {
        const size_t count = std::min(chunkFrames, kTotalFrames - expected);
        if (!ring.read(chunk.data(), count, count)) {
            std::this_thread::yield();
            continue;
        }
        for (size_t ch = 0; ch < kChannels; ++ch) {
            for (size_t i = 0; i < count; ++i) {
                mismatches += chunk[ch * count + i] != float((expected + i) * kChannels + ch);
            }
        }
        expected += count;
        chunkFrames = chunkFrames % 347 + 53;
    }
    producer.join();

    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(ring.getAvailableRead(), 0u);
}

// A capture device granting odd block sizes on its own thread, the graph rendering 512-frame
// blocks on another, neither waiting for the other: blocks are dropped and starved, but every
// frame the graph gets keeps its two channels together.
TEST(CaptureStress, ChannelsStayTogetherWhileTheCaptureAndRenderThreadsRace)
{
    test::FakeDeviceManager manager;
    auto context = test::DeviceTestContext::create();
    DeviceRef outputDevice = manager.add(test::fakeDevice("Out").withChannels(2).withFormat(48000, 512));
    DeviceRef inputDevice = manager.add(test::fakeDevice("In").withChannels(0, 2).withFormat(48000, 512));
    auto output = std::dynamic_pointer_cast<test::ManualDeviceOutput>(
        context->createOutputDeviceNode(outputDevice, {}));
    context->setOutput(output);
    auto input =
        std::dynamic_pointer_cast<test::ManualDeviceInput>(context->createInputDeviceNode(inputDevice, {}));
    input->setDeviceFrames(1024);
    input->connect(output);
    input->enable();
    context->enable();

    constexpr size_t kFramesToSee = 512 * 2000;
    std::atomic<bool> rendering{true};
    std::thread capture([&] {
        constexpr std::array<size_t, 3> kDeliveries = {256, 480, 1024};
        std::vector<float> samples(2 * 1024);
        size_t frame = 0;
        for (size_t delivery = 0; rendering.load(); ++delivery) {
            const size_t count = kDeliveries[delivery % kDeliveries.size()];
            for (size_t i = 0; i < count; ++i) {
                const float value = 0.25f + float((frame + i) % 65536) / 65536.0f;
                samples[i] = value;
                samples[count + i] = -value;
            }
            input->capture(samples.data(), count);
            frame += count;
            std::this_thread::yield();
        }
    });

    size_t apart = 0;
    size_t framesWithSignal = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (framesWithSignal < kFramesToSee && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::yield();
        output->renderBlock();
        const float* left = output->getDeviceChannel(0);
        const float* right = output->getDeviceChannel(1);
        for (size_t i = 0; i < 512; ++i) {
            apart += right[i] != -left[i];
            framesWithSignal += left[i] != 0.0f;
        }
    }
    rendering = false;
    capture.join();
    context->disable();

    EXPECT_EQ(apart, 0u);
    EXPECT_GE(framesWithSignal, kFramesToSee) << "too few captured frames reached the graph";
    context->disconnectAllNodes();
}

} // namespace
} // namespace mirvo::audio
