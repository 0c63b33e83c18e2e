// Runs the audio graph under the real-time sanitizer: the engine brackets the audio thread's
// work (the render under the graph lock, the monitor's process) with real-time scopes, and any
// allocation, lock, sleep or file call inside one ends the process. Built only with clang 19
// and MIRVO_RTSAN (scripts/sanitize rtsan).
#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "tests/audio/TestNodes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

extern "C" void __rtsan_init();

namespace mirvo::audio {
namespace {

constexpr size_t kSampleRate = 48000;
constexpr size_t kFramesPerBlock = 512;
constexpr size_t kSpectrumReadsPerSecond = 80;
constexpr size_t kSecondsPlayed = 10;
constexpr size_t kSecondsBetweenPauses = 2;

// The shape of the application's graph: source -> gain 0.9 -> output, and source -> gain 10.9
// -> spectral monitor, which nothing pulls, so the context pulls it after every block.
struct AppLikeGraph {
    AppLikeGraph()
    {
        source = context->makeNode(
            new test::CosineSourceNode(440.0, 0.5, double(kSampleRate), Node::Format().channels(2)));
        auto heard = context->makeNode(new GainNode(0.9f));
        auto analysed = context->makeNode(new GainNode(10.9f));
        monitor = context->makeNode(
            new MonitorSpectralNode(MonitorSpectralNode::Format().fftSize(2048).windowSize(512)));
        source->connect(heard);
        heard->connect(context->getOutput());
        source->connect(analysed);
        analysed->connect(monitor);
        context->enable();
    }

    ContextManualRef context = ContextManual::create(kSampleRate, kFramesPerBlock, 2);
    NodeRef source;
    std::shared_ptr<MonitorSpectralNode> monitor;
};

TEST(RealtimeAudio, TheAudioThreadStaysRealtimeSafeWhileTheUiReadsTheSpectrumAndPauses)
{
    AppLikeGraph graph;
    const uint64_t framesPerRead = kSampleRate / kSpectrumReadsPerSecond;
    const uint64_t totalFrames = kSampleRate * kSecondsPlayed;

    // The audio thread may run ahead of the UI by at most one spectrum read, so the reads land at
    // their rate in simulated time however loaded the machine is.
    std::atomic<uint64_t> allowedFrames{framesPerRead};
    std::atomic<bool> done{false};
    std::thread audioThread([&] {
        while (!done.load()) {
            if (graph.context->getNumProcessedFrames() < allowedFrames.load()) {
                graph.context->renderBlocks(1);
            } else {
                std::this_thread::yield();
            }
        }
    });

    size_t reads = 0;
    size_t pauses = 0;
    float loudestBin = 0.0f;
    for (uint64_t target = framesPerRead; target <= totalFrames; target += framesPerRead) {
        while (graph.context->getNumProcessedFrames() < target) {
            std::this_thread::yield();
        }
        for (float magnitude : graph.monitor->getMagSpectrum()) {
            loudestBin = std::max(loudestBin, magnitude);
        }
        ++reads;
        if (target % (kSampleRate * kSecondsBetweenPauses) < framesPerRead) {
            graph.source->setEnabled(!graph.source->isEnabled());
            ++pauses;
        }
        allowedFrames.store(target + framesPerRead);
    }
    done.store(true);
    audioThread.join();

    EXPECT_EQ(reads, kSpectrumReadsPerSecond * kSecondsPlayed);
    EXPECT_GE(pauses, 4u);
    EXPECT_GT(loudestBin, 0.0f) << "the monitor never saw the music";
}

// Allocates on every block: the sanitizer must catch it, or the test above proves nothing.
class AllocatingNode : public Node {
  public:
    AllocatingNode() : Node(Format().channels(2)) {}
    void process(Buffer* buffer) override
    {
        auto scratch = std::make_unique<std::vector<float>>(buffer->getNumFrames());
        mSink += (*scratch)[0];
    }

  private:
    float mSink = 0.0f;
};

TEST(RealtimeAudioDeathTest, AnAllocationInsideTheRenderIsCaught)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto context = ContextManual::create(kSampleRate, kFramesPerBlock, 2);
            context->makeNode(new AllocatingNode())->connect(context->getOutput());
            context->enable();
            context->renderBlocks(1);
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "Real-time violation.*malloc");
}

} // namespace
} // namespace mirvo::audio

int main(int argc, char** argv)
{
    __rtsan_init();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
