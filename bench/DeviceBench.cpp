// Device-thread figures: how evenly the null device paces its blocks over a long run, what
// one render callback costs for the application's graph, timed on the device's own thread, and
// what a block of live input costs the audio thread against the bare ring it comes through.
#include "audio/Context.h"
#include "audio/GainNode.h"
#include "audio/InputDeviceNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/OutputDeviceNode.h"
#include "audio/null/DeviceManagerNull.h"
#include "audio/null/NullDeviceStream.h"
#include "tests/audio/alloc/AllocationCounter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

namespace mirvo::audio {
namespace {

using Clock = std::chrono::steady_clock;

double secondsFromEnv(const char* name, double fallback)
{
    const char* value = std::getenv(name);
    return value ? std::atof(value) : fallback;
}

// Notes when each block was handed over.
class StampingClient : public NullDeviceStream::Client {
  public:
    explicit StampingClient(size_t capacity) { mStamps.reserve(capacity); }
    void renderNullBlock(float* const*, size_t, size_t) override
    {
        if (mStamps.size() < mStamps.capacity()) {
            mStamps.push_back(Clock::now());
        }
    }
    std::vector<Clock::time_point> mStamps;
};

void BM_NullDevicePacing(benchmark::State& state)
{
    const double seconds = secondsFromEnv("MIRVO_PACING_SECONDS", 60.0);
    constexpr size_t kRate = 48000;
    constexpr size_t kFrames = 512;
    const double ideal = double(kFrames) / double(kRate);
    for (auto _ : state) {
        StampingClient client(size_t(seconds / ideal) + 16);
        NullDeviceStream stream;
        stream.open(2, kRate, kFrames);
        stream.start(&client);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        stream.stop();

        const auto& stamps = client.mStamps;
        const size_t intervals = stamps.size() - 1;
        const double span = std::chrono::duration<double>(stamps.back() - stamps.front()).count();
        double worstLateness = 0.0;
        for (size_t i = 1; i < stamps.size(); ++i) {
            const double due = double(i) * ideal;
            const double at = std::chrono::duration<double>(stamps[i] - stamps.front()).count();
            worstLateness = std::max(worstLateness, at - due);
        }
        state.counters["blocks"] = double(stamps.size());
        state.counters["ideal_interval_us"] = ideal * 1e6;
        state.counters["mean_interval_us"] = span / double(intervals) * 1e6;
        state.counters["drift_us"] = (span - double(intervals) * ideal) * 1e6;
        state.counters["worst_lateness_us"] = worstLateness * 1e6;
        state.counters["resyncs"] = double(stream.getNumResyncs());
    }
}
BENCHMARK(BM_NullDevicePacing)->Iterations(1)->Unit(benchmark::kSecond);

// Stands in for the file player: copies one second of music from memory each block, as the
// player copies from its read-ahead ring.
class LoopSourceNode : public Node {
  public:
    LoopSourceNode() : Node(Format().channels(2).autoEnable(true)), mLoop(48000)
    {
        for (size_t i = 0; i < mLoop.size(); ++i) {
            mLoop[i] = 0.3f * float(std::sin(2.0 * std::numbers::pi * 440.0 * double(i) / 48000.0));
        }
    }
    void process(Buffer* buffer) override
    {
        const size_t frames = buffer->getNumFrames();
        if (mPosition + frames > mLoop.size()) {
            mPosition = 0;
        }
        for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch) {
            std::copy_n(mLoop.data() + mPosition, frames, buffer->getChannel(ch));
        }
        mPosition += frames;
    }

  private:
    std::vector<float> mLoop;
    size_t mPosition = 0;
};

// An output on the null stream that times each render callback on the stream's thread.
class TimedOutput : public OutputDeviceNode, private NullDeviceStream::Client {
  public:
    TimedOutput(const DeviceRef& device, const Format& format) : OutputDeviceNode(device, format) {}
    ~TimedOutput() override { mStream.stop(); }

    void initialize() override { mStream.open(mNumChannels, getSampleRate(), getFramesPerBlock()); }
    void uninitialize() override { mStream.stop(); }
    void enableProcessing() override { mStream.start(this); }
    void disableProcessing() override { mStream.stop(); }

    void reserve(size_t blocks) { mCosts.reserve(blocks); }
    const std::vector<double>& getCosts() const { return mCosts; }
    size_t getBlocks() const { return mBlocks.load(); }

  private:
    void renderNullBlock(float* const* channels, size_t numChannels, size_t numFrames) override
    {
        const auto start = Clock::now();
        renderToDevice(channels, numChannels, numFrames);
        const auto end = Clock::now();
        if (mCosts.size() < mCosts.capacity()) {
            mCosts.push_back(std::chrono::duration<double, std::micro>(end - start).count());
        }
        ++mBlocks;
    }

    NullDeviceStream mStream;
    std::vector<double> mCosts;
    std::atomic<size_t> mBlocks{0};
};

class BenchContext : public Context {
  public:
    OutputDeviceNodeRef createOutputDeviceNode(const DeviceRef& device, const Node::Format& format) override
    {
        return makeNode(new TimedOutput(device, format));
    }
    InputDeviceNodeRef createInputDeviceNode(const DeviceRef&, const Node::Format&) override { return {}; }
};

void BM_RenderCallbackOfTheAppGraph(benchmark::State& state)
{
    const double seconds = secondsFromEnv("MIRVO_RENDER_SECONDS", 10.0);
    DeviceManagerNull manager;
    for (auto _ : state) {
        auto context = std::make_shared<BenchContext>();
        auto output = std::static_pointer_cast<TimedOutput>(
            context->createOutputDeviceNode(manager.getDefaultOutput(), Node::Format()));
        context->setOutput(output);
        output->reserve(size_t(seconds * 48000.0 / 512.0) + 16);

        // The application's graph: player -> 0.9 -> output, player -> 10.9 -> spectral monitor.
        auto player = context->makeNode(new LoopSourceNode);
        auto listening = context->makeNode(new GainNode(0.9f));
        auto analysis = context->makeNode(new GainNode(10.9f));
        auto monitor = context->makeNode(new MonitorSpectralNode(
            MonitorSpectralNode::Format().windowSize(512).fftSize(2048).windowType(dsp::HANN)));
        player->connect(listening);
        listening->connect(output);
        player->connect(analysis);
        analysis->connect(monitor);

        context->enable();
        // The UI thread asks for the spectrum 80 times a second meanwhile, as the application does.
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < until) {
            benchmark::DoNotOptimize(monitor->getMagSpectrum().data());
            std::this_thread::sleep_for(std::chrono::microseconds(12500));
        }
        context->disable();

        std::vector<double> costs = output->getCosts();
        std::sort(costs.begin(), costs.end());
        state.counters["blocks"] = double(costs.size());
        state.counters["median_us"] = costs[costs.size() / 2];
        state.counters["p99_us"] = costs[std::min(costs.size() - 1, costs.size() * 99 / 100)];
        state.counters["max_us"] = costs.back();
        state.counters["block_period_us"] = 512.0 / 48000.0 * 1e6;
        context->disconnectAllNodes();
    }
}
BENCHMARK(BM_RenderCallbackOfTheAppGraph)->Iterations(1)->Unit(benchmark::kSecond);

// What a capture stream hands over, in the server's small fragments, and what the audio thread
// takes back: the node's own block rebuild, which every capture path (a separate device, a
// sound server's source) shares.
constexpr size_t kCaptureBlock = 512;
constexpr size_t kCaptureFragment = 128;
constexpr size_t kCaptureChannels = 2;

class BenchCaptureNode : public InputDeviceNode {
  public:
    BenchCaptureNode() : InputDeviceNode(kCaptureChannels, Format())
    {
        allocateRingBuffer(kCaptureBlock, kCaptureFragment);
    }
    void deliver(const float* channelAfterChannel, size_t numFrames)
    {
        writeCapturedFrames(channelAfterChannel, kCaptureChannels, numFrames);
    }
    // Runs on the audio thread.
    void process(Buffer* buffer) override { readCapturedBlock(buffer); }
};

std::vector<float> captureFragment()
{
    std::vector<float> fragment(kCaptureChannels * kCaptureFragment);
    for (size_t i = 0; i < fragment.size(); ++i) {
        fragment[i] = float(std::sin(0.01 * double(i)));
    }
    return fragment;
}

// A block of live input: four fragments queued, then the block rebuilt as the audio thread
// does it. Allocations on the rebuild are counted.
void BM_CaptureBlock(benchmark::State& state)
{
    const std::vector<float> fragment = captureFragment();
    BenchCaptureNode node;
    Buffer block(kCaptureBlock, kCaptureChannels);
    // Past the priming, so that every block measured is one the graph would hear.
    for (size_t i = 0; i < 3 * kCaptureBlock / kCaptureFragment; ++i) {
        node.deliver(fragment.data(), kCaptureFragment);
    }
    node.process(&block);
    long allocations = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < kCaptureBlock / kCaptureFragment; ++i) {
            node.deliver(fragment.data(), kCaptureFragment);
        }
        test::AllocationWatch watch;
        node.process(&block);
        allocations += watch.count();
        benchmark::DoNotOptimize(block.getData());
    }
    state.counters["allocations"] = double(allocations);
    state.counters["underruns"] = double(node.getLastUnderrun());
    state.counters["overruns"] = double(node.getNumOverruns());
}
BENCHMARK(BM_CaptureBlock);

// The floor: the same fragments through a bare frame ring, and one block read back.
void BM_CaptureRingFloor(benchmark::State& state)
{
    const std::vector<float> fragment = captureFragment();
    dsp::FrameRingBuffer ring(kCaptureChannels, 4 * kCaptureBlock);
    Buffer block(kCaptureBlock, kCaptureChannels);
    for (size_t i = 0; i < 2 * kCaptureBlock / kCaptureFragment; ++i) {
        ring.write(fragment.data(), kCaptureFragment, kCaptureFragment);
    }
    for (auto _ : state) {
        for (size_t i = 0; i < kCaptureBlock / kCaptureFragment; ++i) {
            ring.write(fragment.data(), kCaptureFragment, kCaptureFragment);
        }
        test::AllocationWatch watch;
        ring.read(block.getData(), kCaptureBlock, kCaptureBlock);
        benchmark::DoNotOptimize(watch.count());
        benchmark::DoNotOptimize(block.getData());
    }
}
BENCHMARK(BM_CaptureRingFloor);

} // namespace
} // namespace mirvo::audio
