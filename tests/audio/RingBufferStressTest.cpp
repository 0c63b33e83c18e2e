// Races a producer thread against a consumer thread through the lock-free structures that
// cross threads in the audio engine. Meant to run under ThreadSanitizer as well as plainly.
#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "audio/MonitorNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/dsp/RingBuffer.h"
#include "tests/audio/TestNodes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace mirvo::audio {
namespace {

// Sample values count up exactly in float up to 2^24.
constexpr size_t kTotalSamples = 1 << 21;

TEST(RingBufferStress, EverySampleArrivesOnceAndInOrderBetweenTwoThreads)
{
    // Chunk sizes never exceed 500 written plus 400 read, below the capacity, so neither side
    // can wait for the other forever.
    dsp::RingBuffer ring(1000);

    std::thread producer([&] {
        std::vector<float> chunk(500);
        size_t next = 0;
        size_t chunkSize = 1;
        while (next < kTotalSamples) {
            const size_t count = std::min(chunkSize, kTotalSamples - next);
            for (size_t i = 0; i < count; ++i) {
                chunk[i] = static_cast<float>(next + i);
            }
            if (ring.write(chunk.data(), count)) {
                next += count;
                chunkSize = chunkSize % 463 + 37; // 37 .. 499: the wrap lands at every offset
            } else {
                std::this_thread::yield();
            }
        }
    });

    std::vector<float> chunk(400);
    size_t expected = 0;
    size_t mismatches = 0;
    size_t chunkSize = 5;
    while (expected < kTotalSamples) {
        const size_t count = std::min(chunkSize, kTotalSamples - expected);
        if (!ring.read(chunk.data(), count)) {
            std::this_thread::yield();
            continue;
        }
        for (size_t i = 0; i < count; ++i) {
            mismatches += chunk[i] != static_cast<float>(expected + i);
        }
        expected += count;
        chunkSize = chunkSize % 347 + 53;
    }
    producer.join();

    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(ring.getAvailableRead(), 0u);
}

TEST(MonitorStress, TheUiThreadAnalysesWhileTheAudioThreadRenders)
{
    ContextManualRef context = ContextManual::create(48000, 512, 2);
    auto source =
        context->makeNode(new test::CosineSourceNode(750.0, 0.5, 48000.0, Node::Format().channels(2)));
    auto gain = context->makeNode(new GainNode(1.0f));
    auto monitor = context->makeNode(new MonitorSpectralNode(
        MonitorSpectralNode::Format().windowSize(512).fftSize(2048).windowType(dsp::HANN)));
    source->connect(gain);
    gain->connect(monitor);
    context->enable();

    std::atomic<bool> rendering{true};
    std::thread audioThread([&] {
        for (int block = 0; block < 4000; ++block) {
            context->renderBlocks(1);
        }
        rendering = false;
    });

    int spectra = 0;
    float peak = 0.0f;
    while (rendering.load()) {
        const std::vector<float>& magnitudes = monitor->getMagSpectrum();
        peak = std::max(peak, magnitudes[32]);
        gain->setValue(spectra % 2 == 0 ? 1.0f : 0.999f);
        ++spectra;
    }
    audioThread.join();

    EXPECT_GT(spectra, 0);
    // 750 Hz is bin 32 of a 2048-point FFT at 48 kHz. Half the amplitude through the Hann window,
    // scaled by the 512 / 2048 share of real samples: about 0.0625 once settled.
    EXPECT_GT(peak, 0.03f);
    EXPECT_LT(peak, 0.0626f);
}

// The audio thread writes each channel's ring in turn while the UI thread reads them in turn:
// a block must go to every channel or to none, and a window must come from every channel or
// from none, or the channels of every later window are blocks apart.
TEST(MonitorStress, ChannelsStayInStepWhileBothThreadsRun)
{
    ContextManualRef context = ContextManual::create(48000, 256, 2);
    auto counter = context->makeNode(new test::BlockCounterNode(Node::Format().channels(2)));
    auto monitor = context->makeNode(new MonitorNode(MonitorNode::Format().windowSize(512)));
    counter->connect(monitor);
    context->enable();

    std::atomic<bool> rendering{true};
    std::thread audioThread([&] {
        for (int block = 0; block < 40000; ++block) {
            context->renderBlocks(1);
        }
        rendering = false;
    });

    size_t windows = 0;
    size_t windowsOutOfStep = 0;
    while (rendering.load()) {
        const Buffer& window = monitor->getBuffer();
        windowsOutOfStep +=
            !std::equal(window.getChannel(0), window.getChannel(0) + 512, window.getChannel(1));
        ++windows;
    }
    audioThread.join();

    EXPECT_GT(windows, 0u);
    EXPECT_EQ(windowsOutOfStep, 0u) << "of " << windows;
}

} // namespace
} // namespace mirvo::audio
