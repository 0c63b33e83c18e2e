// Format changes while the graph plays: a new block size on the "Null" device, whose own thread
// renders in real time, and a source that widens to six channels. What the device is handed
// and what the spectral monitor sees must be what a graph built for the new format gives.
#include "audio/Context.h"
#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "audio/null/DeviceManagerNull.h"
#include "audio/null/OutputDeviceNodeNull.h"
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/FakeDeviceManager.h"
#include "tests/audio/ToneAnalysis.h"
#include "tests/audio/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace mirvo::audio {
namespace {

using test::waitFor;

using namespace std::chrono_literals;

constexpr size_t kSampleRate = 48000;
// The tone lies on bin 42.7 of the 2048-point transform; the band is its main lobe and first
// side lobes.
constexpr size_t kToneBin = 43;
constexpr size_t kBandHalfWidth = 12;
// The application's analysis: a 512-sample Hann window zero-padded to 2048 points.
MonitorSpectralNode::Format analysisFormat()
{
    return MonitorSpectralNode::Format().windowSize(512).fftSize(2048).windowType(dsp::HANN);
}

struct SpectrumShape {
    double outOfBandShare = 0.0; // of the spectrum's energy, outside the tone's band
    float peak = 0.0f;
};

SpectrumShape shapeOf(const std::vector<float>& magnitudes)
{
    double total = 0.0;
    double inBand = 0.0;
    SpectrumShape shape;
    for (size_t bin = 0; bin < magnitudes.size(); ++bin) {
        const double energy = double(magnitudes[bin]) * magnitudes[bin];
        total += energy;
        if (bin + kBandHalfWidth >= kToneBin && bin <= kToneBin + kBandHalfWidth) {
            inBand += energy;
        }
        shape.peak = std::max(shape.peak, magnitudes[bin]);
    }
    shape.outOfBandShare = total > 0.0 ? (total - inBand) / total : 1.0;
    return shape;
}

// The same tone analysed by a graph that was built at framesPerBlock and never changed.
SpectrumShape referenceShape(size_t framesPerBlock)
{
    ContextManualRef context = ContextManual::create(kSampleRate, framesPerBlock, 2);
    auto sine =
        context->makeNode(new test::SineSourceNode(float(test::kToneFrequency), float(test::kToneAmplitude)));
    auto monitor = context->makeNode(new MonitorSpectralNode(analysisFormat()));
    sine->connect(context->getOutput());
    sine->connect(monitor);
    context->enable();
    std::vector<float> magnitudes;
    for (int read = 0; read < 24; ++read) {
        context->renderBlocks((600 + framesPerBlock - 1) / framesPerBlock);
        magnitudes = monitor->getMagSpectrum();
    }
    return shapeOf(magnitudes);
}

// A context whose output is the "Null" device of a manager of its own.
class NullDeviceContext : public Context {
  public:
    static std::shared_ptr<NullDeviceContext> create()
    {
        return std::shared_ptr<NullDeviceContext>(new NullDeviceContext);
    }
    OutputDeviceNodeRef createOutputDeviceNode(const DeviceRef& device, const Node::Format& format) override
    {
        return makeNode(new OutputDeviceNodeNull(device, format));
    }
    InputDeviceNodeRef createInputDeviceNode(const DeviceRef&, const Node::Format&) override
    {
        return nullptr;
    }
};

// Spectra of the same input agree bin for bin.
void expectSameSpectrum(const std::vector<float>& kept, const std::vector<float>& expected)
{
    ASSERT_EQ(kept.size(), expected.size());
    for (size_t k = 0; k < kept.size(); ++k) {
        ASSERT_NEAR(kept[k], expected[k], 1e-4f) << "bin " << k;
    }
}

// A context whose output the test renders block by block, on a 48 kHz, 512-frame device whose
// format the test changes.
struct ManualDeviceRig {
    test::FakeDeviceManager manager;
    std::shared_ptr<test::DeviceTestContext> context = test::DeviceTestContext::create();
    DeviceRef device = manager.add(test::fakeDevice("Out").withFormat(48000, 512));
    std::shared_ptr<test::ManualDeviceOutput> output =
        std::dynamic_pointer_cast<test::ManualDeviceOutput>(context->createOutputDeviceNode(device, {}));
    ManualDeviceRig() { context->setOutput(output); }
};

TEST(BlockSizeChange, OutputAndSpectrumAreThoseOfAGraphBuiltForEachNewSize)
{
    DeviceManagerNull manager;
    DeviceRef device = manager.getNullDevice();
    auto context = NullDeviceContext::create();
    auto output =
        std::dynamic_pointer_cast<OutputDeviceNodeNull>(context->createOutputDeviceNode(device, {}));
    context->setOutput(output);

    std::vector<float> heard(kSampleRate * 60);
    std::atomic<size_t> numHeard{0};
    output->setCaptureHook([&](const float* const* channels, size_t, size_t numFrames) {
        const size_t start = numHeard.load();
        const size_t frames = std::min(numFrames, heard.size() - start);
        std::copy(channels[0], channels[0] + frames, heard.begin() + std::ptrdiff_t(start));
        numHeard = start + frames;
    });
    auto sine =
        context->makeNode(new test::SineSourceNode(float(test::kToneFrequency), float(test::kToneAmplitude)));
    auto monitor = context->makeNode(new MonitorSpectralNode(analysisFormat()));
    sine->connect(output);
    sine->connect(monitor);
    context->enable();
    ASSERT_TRUE(waitFor([&] { return numHeard.load() >= 8192; }));

    for (size_t framesPerBlock : {256, 1024, 512}) {
        device->updateFormat(Device::Format().framesPerBlock(framesPerBlock));
        ASSERT_TRUE(context->isEnabled());
        EXPECT_EQ(context->getAutoPullBuffer().getNumFrames(), framesPerBlock)
            << "the scratch block must follow the block size before the device renders again";

        // Read as the application does, 80 times a second, until the smoothing has settled.
        std::vector<float> magnitudes;
        for (int read = 0; read < 24; ++read) {
            std::this_thread::sleep_for(12500us);
            magnitudes = monitor->getMagSpectrum();
        }
        const SpectrumShape shape = shapeOf(magnitudes);
        const SpectrumShape reference = referenceShape(framesPerBlock);
        std::printf("[ spectrum ] %4zu frames per block: %.4f %% out of band (a graph started there: "
                    "%.4f %%), peak %.4f (%.4f)\n",
                    framesPerBlock, 100.0 * shape.outOfBandShare, 100.0 * reference.outOfBandShare,
                    shape.peak, reference.peak);
        EXPECT_LT(shape.outOfBandShare, 0.001) << "at " << framesPerBlock << " frames per block";
        EXPECT_NEAR(shape.peak, reference.peak, 0.02 * reference.peak) << "at " << framesPerBlock;
    }
    context->disable();

    // Offline, the same tone rendered in blocks of one size.
    const std::vector<float> played(heard.begin(), heard.begin() + std::ptrdiff_t(numHeard.load()));
    ContextManualRef offline = ContextManual::create(kSampleRate, 512, 2);
    auto offlineSine =
        offline->makeNode(new test::SineSourceNode(float(test::kToneFrequency), float(test::kToneAmplitude)));
    offlineSine->connect(offline->getOutput());
    offline->enable();
    size_t differing = 0;
    size_t firstDiffering = played.size();
    for (size_t start = 0; start < played.size(); start += 512) {
        offline->renderBlocks(1);
        const float* expected = offline->getManualOutput()->getOutputBuffer().getChannel(0);
        for (size_t i = 0; i < 512 && start + i < played.size(); ++i) {
            if (played[start + i] != expected[i] && differing++ == 0) {
                firstDiffering = start + i;
            }
        }
    }
    EXPECT_EQ(differing, 0u) << "first at frame " << firstDiffering << " of " << played.size();

    context->disconnectAllNodes();
}

// A source whose channel count the UI thread changes while the graph plays, as a file player
// does when a file with another layout is dropped: under the graph lock, with the configuration
// that follows.
class WideningSourceNode : public Node {
  public:
    WideningSourceNode() : Node(Format().channels(2).autoEnable(true)) {}

    void process(Buffer* buffer) override
    {
        for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch) {
            std::fill_n(buffer->getChannel(ch), buffer->getNumFrames(), 0.1f * float(ch + 1));
        }
    }
    void widen(size_t numChannels)
    {
        ContextRef context = getContext();
        std::lock_guard<std::mutex> lock(context->getMutex());
        setNumChannels(numChannels);
        configureConnections();
    }
};

TEST(ChannelCountChange, TheScratchBlockForAWiderMonitorIsReadyBeforeTheNextBlock)
{
    constexpr size_t kFrames = 512;
    ContextManualRef context = ContextManual::create(kSampleRate, kFrames, 2);
    auto source = context->makeNode(new WideningSourceNode);
    auto gain = context->makeNode(new GainNode(1.0f));
    auto monitor = context->makeNode(new MonitorNode(MonitorNode::Format().windowSize(kFrames)));
    source->connect(gain);
    gain->connect(context->getOutput());
    gain->connect(monitor);
    context->enable();
    context->renderBlocks(2);
    ASSERT_TRUE(monitor->isPulledByContext());

    source->widen(6);
    ASSERT_EQ(monitor->getNumChannels(), 6u);
    EXPECT_GE(context->getAutoPullBuffer().getAllocatedSize(), 6 * kFrames)
        << "the audio thread would have to grow the scratch block itself";

    context->renderBlocks(2);
    const Buffer& seen = monitor->getBuffer();
    ASSERT_EQ(seen.getNumChannels(), 6u);
    EXPECT_FLOAT_EQ(seen.getChannel(5)[kFrames - 1], 0.6f);
    EXPECT_FLOAT_EQ(seen.getChannel(0)[0], 0.1f);

    // Narrowing again keeps the storage: a later widening allocates nothing anywhere.
    source->widen(1);
    context->renderBlocks(2);
    EXPECT_GE(context->getAutoPullBuffer().getAllocatedSize(), 6 * kFrames);
    context->disconnectAllNodes();
}

// Block n carries n + 0.1 * channel, so a window left over from before a change shows.
class CountingWideningSourceNode : public WideningSourceNode {
  public:
    void process(Buffer* buffer) override
    {
        ++mBlock;
        for (size_t ch = 0; ch < buffer->getNumChannels(); ++ch)
            std::fill_n(buffer->getChannel(ch), buffer->getNumFrames(), float(mBlock) + 0.1f * float(ch));
    }

  private:
    int mBlock = 0;
};

TEST(ChannelCountChange, AReconfiguredSpectralMonitorStartsEmptyAndAnalysesLikeAFreshOne)
{
    constexpr size_t kFrames = 512;
    ContextManualRef context = ContextManual::create(kSampleRate, kFrames, 2);
    auto source = context->makeNode(new CountingWideningSourceNode);
    auto monitor = context->makeNode(new MonitorSpectralNode(analysisFormat()));
    source->connect(monitor);
    context->enable();
    context->renderBlocks(2); // unread: both windows wait in the rings

    source->widen(6);
    context->renderBlocks(1);
    const Buffer& wide = monitor->getBuffer();
    ASSERT_EQ(wide.getNumChannels(), 6u);
    EXPECT_FLOAT_EQ(wide.getChannel(0)[0], 3.0f) << "the rings still held the stereo windows";
    EXPECT_FLOAT_EQ(wide.getChannel(5)[kFrames - 1], 3.5f);

    // Narrowing and widening again reuses what the wider layout had; none of it may carry over.
    context->renderBlocks(1);
    source->widen(1);
    context->renderBlocks(1);
    source->widen(2);
    auto fresh = context->makeNode(new MonitorSpectralNode(analysisFormat()));
    source->connect(fresh);
    context->renderBlocks(1);
    const Buffer& stereo = monitor->getBuffer();
    ASSERT_EQ(stereo.getNumChannels(), 2u);
    EXPECT_FLOAT_EQ(stereo.getChannel(0)[0], 6.0f);
    EXPECT_FLOAT_EQ(stereo.getChannel(1)[kFrames - 1], 6.1f);

    const std::vector<float> kept = monitor->getMagSpectrum();
    const std::vector<float>& expected = fresh->getMagSpectrum();
    ASSERT_GT(expected.at(0), 0.1f);
    expectSameSpectrum(kept, expected);
    context->disconnectAllNodes();
}

TEST(BlockSizeChange, AShorterWindowInTheSameTransformIsZeroPaddedAgain)
{
    ManualDeviceRig rig;
    auto& [manager, context, device, output] = rig;
    auto sine = context->makeNode(new test::SineSourceNode(1000.0f, 0.5f));
    const auto format = MonitorSpectralNode::Format().fftSize(2048).windowType(dsp::HANN);
    auto monitor = context->makeNode(new MonitorSpectralNode(format));
    sine->connect(monitor);
    context->enable();
    output->renderBlock();
    monitor->getMagSpectrum(); // the 512-sample window is now in the transform's input

    device->updateFormat(Device::Format().framesPerBlock(128));
    ASSERT_EQ(monitor->getWindowSize(), 128u);
    ASSERT_EQ(monitor->getFftSize(), 2048u);
    auto fresh = context->makeNode(new MonitorSpectralNode(format));
    sine->connect(fresh);
    output->renderBlock();
    // Smoothing starts from the spectrum before the change; the analysed input must not.
    for (int call = 0; call < 40; ++call) {
        monitor->getMagSpectrum();
        fresh->getMagSpectrum();
    }
    const std::vector<float>& kept = monitor->getMagSpectrum();
    const std::vector<float>& expected = fresh->getMagSpectrum();
    expectSameSpectrum(kept, expected);
    context->disconnectAllNodes();
}

TEST(BlockSizeChange, AMonitorWhoseWindowIsTheBlockFollowsTheNewBlockSize)
{
    ManualDeviceRig rig;
    auto& [manager, context, device, output] = rig;
    auto sine = context->makeNode(new test::SineSourceNode(1000.0f, 0.5f));
    auto monitor =
        context->makeNode(new MonitorSpectralNode(MonitorSpectralNode::Format().windowType(dsp::HANN)));
    sine->connect(monitor);
    context->enable();
    ASSERT_EQ(monitor->getWindowSize(), 512u);

    device->updateFormat(Device::Format().framesPerBlock(128));
    EXPECT_EQ(monitor->getWindowSize(), 128u);
    EXPECT_EQ(monitor->getNumBins(), 64u);
    output->renderBlock();
    const Buffer& window = monitor->getBuffer();
    ASSERT_EQ(window.getNumFrames(), 128u);
    EXPECT_NE(window.getChannel(0)[127], 0.0f) << "a whole block fills the window";
    context->disconnectAllNodes();
}

} // namespace
} // namespace mirvo::audio
