#include "audio/ContextManual.h"
#include "audio/GainNode.h"
#include "audio/MonitorSpectralNode.h"
#include "tests/audio/TestNodes.h"

#include <gtest/gtest.h>

namespace mirvo::audio {
namespace {

using test::BlockCounterNode;
using test::ConstantSourceNode;
using test::CosineSourceNode;

constexpr float kMagnitudeTolerance = 1e-4f;

MonitorSpectralNode::Format spectralFormat(size_t windowSize, size_t fftSize, dsp::WindowType type)
{
    return MonitorSpectralNode::Format().windowSize(windowSize).fftSize(fftSize).windowType(type);
}

class Monitor : public ::testing::Test {
  protected:
    ContextManualRef mContext = ContextManual::create(48000, 512, 2);

    std::shared_ptr<MonitorSpectralNode> makeMonitor(const MonitorSpectralNode::Format& format,
                                                     const NodeRef& source)
    {
        auto monitor = mContext->makeNode(new MonitorSpectralNode(format));
        source->connect(monitor);
        return monitor;
    }
};

TEST_F(Monitor, DerivesItsSizesFromTheBlockSizeAndRoundsThemToPowersOfTwo)
{
    auto source = mContext->makeNode(new ConstantSourceNode({1.0f}, Node::Format().channels(1)));
    auto fromBlock = makeMonitor(spectralFormat(0, 0, dsp::HANN), source);
    EXPECT_EQ(fromBlock->getWindowSize(), 512u);
    EXPECT_EQ(fromBlock->getFftSize(), 512u);
    EXPECT_EQ(fromBlock->getNumBins(), 256u);

    EXPECT_EQ(makeMonitor(spectralFormat(500, 0, dsp::HANN), source)->getWindowSize(), 512u);
    EXPECT_EQ(makeMonitor(spectralFormat(512, 1000, dsp::HANN), source)->getFftSize(), 1024u);
    EXPECT_EQ(makeMonitor(spectralFormat(512, 256, dsp::HANN), source)->getFftSize(), 512u);
    EXPECT_EQ(makeMonitor(spectralFormat(512, 2048, dsp::HANN), source)->getMagSpectrum().size(), 1024u);

    EXPECT_EQ(nextPowerOfTwo(1), 1u);
    EXPECT_EQ(nextPowerOfTwo(3), 4u);
    EXPECT_EQ(nextPowerOfTwo(4097), 8192u);
}

TEST_F(Monitor, RingsHoldTwoWindowsAndHandThemOverOldestFirst)
{
    auto source = mContext->makeNode(new BlockCounterNode(Node::Format().channels(1)));
    auto monitor = mContext->makeNode(new MonitorNode(MonitorNode::Format().windowSize(512)));
    source->connect(monitor);
    mContext->renderBlocks(3); // the third block finds the rings full and is dropped

    EXPECT_EQ(monitor->getBuffer().getChannel(0)[0], 1.0f);
    EXPECT_EQ(monitor->getBuffer().getChannel(0)[511], 2.0f);
    // An empty ring leaves the previous window in place.
    EXPECT_EQ(monitor->getBuffer().getChannel(0)[0], 2.0f);
    mContext->renderBlocks(1);
    EXPECT_EQ(monitor->getBuffer().getChannel(0)[0], 4.0f);
}

TEST_F(Monitor, IsPulledByTheContextOnlyWhileItFeedsNothing)
{
    auto source = mContext->makeNode(new ConstantSourceNode({0.5f}, Node::Format().channels(2)));
    auto monitor = makeMonitor(spectralFormat(512, 512, dsp::RECT), source);
    EXPECT_TRUE(monitor->isPulledByContext());
    EXPECT_EQ(mContext->getAutoPulledNodes().count(monitor), 1u);
    mContext->renderBlocks(1);
    EXPECT_FLOAT_EQ(monitor->getBuffer().getChannel(1)[100], 0.5f);

    // Connected onward, the output pulls it and the context no longer does.
    monitor->connect(mContext->getOutput());
    EXPECT_FALSE(monitor->isPulledByContext());
    EXPECT_TRUE(mContext->getAutoPulledNodes().empty());
    mContext->renderBlocks(1);
    EXPECT_FLOAT_EQ(mContext->getManualOutput()->getOutputBuffer().getChannel(0)[0], 0.5f);
    EXPECT_FLOAT_EQ(monitor->getBuffer().getChannel(0)[0], 0.5f);

    // Losing that output changes nothing by itself; its next connection change does.
    monitor->disconnect(mContext->getOutput());
    EXPECT_FALSE(monitor->isPulledByContext());
    auto other = mContext->makeNode(new ConstantSourceNode({0.25f}, Node::Format().channels(2)));
    other->connect(monitor);
    EXPECT_TRUE(monitor->isPulledByContext());
    mContext->renderBlocks(1);
    EXPECT_FLOAT_EQ(monitor->getBuffer().getChannel(0)[0], 0.75f);

    // Cut loose, it is pulled by nobody.
    monitor->disconnectAll();
    EXPECT_FALSE(monitor->isPulledByContext());
    EXPECT_TRUE(mContext->getAutoPulledNodes().empty());
    mContext->renderBlocks(1);
    EXPECT_FLOAT_EQ(monitor->getBuffer().getChannel(0)[0], 0.75f);
}

TEST_F(Monitor, SmoothsHalfwayThenThreeQuartersTowardADcOfTwo)
{
    auto source = mContext->makeNode(new ConstantSourceNode({1.0f}, Node::Format().channels(1)));
    auto monitor = makeMonitor(spectralFormat(512, 512, dsp::RECT), source);
    mContext->renderBlocks(1);

    EXPECT_NEAR(monitor->getMagSpectrum()[0], 1.0f, kMagnitudeTolerance);
    // The ring is empty now: the same window is analysed again and the value moves on.
    EXPECT_NEAR(monitor->getMagSpectrum()[0], 1.5f, kMagnitudeTolerance);
    for (int call = 0; call < 30; ++call) {
        monitor->getMagSpectrum();
    }
    const std::vector<float>& settled = monitor->getMagSpectrum();
    EXPECT_NEAR(settled[0], 2.0f, kMagnitudeTolerance);
    EXPECT_NEAR(settled[1], 0.0f, kMagnitudeTolerance);
    EXPECT_NEAR(settled[255], 0.0f, kMagnitudeTolerance);
}

TEST_F(Monitor, ReadsHalfTheAmplitudeOfABinCentredCosineThroughTheHannWindow)
{
    constexpr double kBin = 8.0;
    auto source = mContext->makeNode(
        new CosineSourceNode(kBin * 48000.0 / 512.0, 0.8, 48000.0, Node::Format().channels(1)));
    auto monitor = makeMonitor(spectralFormat(512, 512, dsp::HANN), source);
    mContext->renderBlocks(1);
    for (int call = 0; call < 30; ++call) {
        monitor->getMagSpectrum();
    }
    // The symmetric window sums to (N - 1) / 2, a hair under N / 2.
    EXPECT_NEAR(monitor->getMagSpectrum()[8], 0.4f, 0.002f);
    EXPECT_NEAR(monitor->getMagSpectrum()[20], 0.0f, kMagnitudeTolerance);
}

TEST_F(Monitor, ASilentRightChannelHalvesTheMagnitudes)
{
    auto both = mContext->makeNode(new ConstantSourceNode({1.0f, 1.0f}, Node::Format().channels(2)));
    auto leftOnly = mContext->makeNode(new ConstantSourceNode({1.0f, 0.0f}, Node::Format().channels(2)));
    auto bothMonitor = makeMonitor(spectralFormat(512, 1024, dsp::HANN), both);
    auto leftMonitor = makeMonitor(spectralFormat(512, 1024, dsp::HANN), leftOnly);
    mContext->renderBlocks(1);

    const std::vector<float>& full = bothMonitor->getMagSpectrum();
    const std::vector<float>& half = leftMonitor->getMagSpectrum();
    ASSERT_GT(full[0], 0.1f);
    for (size_t k = 0; k < full.size(); ++k) {
        EXPECT_NEAR(half[k], full[k] * 0.5f, kMagnitudeTolerance) << "bin " << k;
    }
}

TEST_F(Monitor, AnalysesTheMonoMixOfAGainBranchLikeTheApplication)
{
    auto source = mContext->makeNode(new ConstantSourceNode({0.1f}, Node::Format().channels(2)));
    auto heard = mContext->makeNode(new GainNode(0.9f));
    auto analysed = mContext->makeNode(new GainNode(10.0f));
    source->connect(heard);
    heard->connect(mContext->getOutput());
    source->connect(analysed);
    auto monitor = makeMonitor(spectralFormat(512, 2048, dsp::RECT), analysed);
    mContext->renderBlocks(1);

    EXPECT_FLOAT_EQ(mContext->getManualOutput()->getOutputBuffer().getChannel(1)[7], 0.09f);
    EXPECT_FLOAT_EQ(monitor->getBuffer().getChannel(1)[7], 1.0f);
}

} // namespace
} // namespace mirvo::audio
