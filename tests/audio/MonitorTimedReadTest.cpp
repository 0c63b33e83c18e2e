// The monitor's timed read: which window of its history it hands over for a frame asked for,
// and which frame is being heard at a moment once the output's latency is known.
#include "audio/ContextManual.h"
#include "audio/MonitorSpectralNode.h"
#include "tests/audio/TestNodes.h"

#include <gtest/gtest.h>

namespace mirvo::audio {
namespace {

using test::BlockCounterNode;

constexpr size_t kBlock = 512;

class MonitorTimedRead : public ::testing::Test {
  protected:
    ContextManualRef mContext = ContextManual::create(48000, kBlock, 2);
    std::shared_ptr<BlockCounterNode> mSource =
        mContext->makeNode(new BlockCounterNode(Node::Format().channels(2)));
    std::shared_ptr<MonitorNode> mMonitor =
        mContext->makeNode(new MonitorNode(MonitorNode::Format().windowSize(kBlock)));

    void SetUp() override { mSource->connect(mMonitor); }

    // Block n (from 1) is all n, so a sample tells which block it came from.
    std::pair<float, float> windowEndingAt(uint64_t frame)
    {
        const Buffer& window = mMonitor->getBufferEndingAt(frame);
        return {window.getChannel(1)[0], window.getChannel(1)[kBlock - 1]};
    }
};

TEST_F(MonitorTimedRead, HandsOverTheWindowEndingAtTheFrameAskedForAndLeavesTheRingsAlone)
{
    mContext->renderBlocks(6);
    EXPECT_EQ(mMonitor->getWritePosition().frames, 6 * kBlock);

    EXPECT_EQ(windowEndingAt(2 * kBlock), std::make_pair(2.0f, 2.0f));
    // Half a block on: the window straddles two blocks.
    EXPECT_EQ(windowEndingAt(2 * kBlock + kBlock / 2), std::make_pair(2.0f, 3.0f));
    // The future is the newest window; before the first whole window, the first one.
    EXPECT_EQ(windowEndingAt(1000 * kBlock), std::make_pair(6.0f, 6.0f));
    EXPECT_EQ(windowEndingAt(10), std::make_pair(1.0f, 1.0f));

    // The rings still hand the oldest queued windows to the untimed read.
    EXPECT_EQ(mMonitor->getBuffer().getChannel(0)[0], 1.0f);
    EXPECT_EQ(mMonitor->getBuffer().getChannel(0)[0], 2.0f);
}

TEST_F(MonitorTimedRead, KeepsTheCopyUntilAWholeWindowIsWrittenAndNeverReadsPastTheHistory)
{
    EXPECT_EQ(windowEndingAt(kBlock), std::make_pair(0.0f, 0.0f));

    // Far more than the history holds: a frame it no longer has gives its oldest kept window,
    // well clear of the samples the writer overwrites next.
    const size_t blocks = 3 * mMonitor->getHistorySize() / kBlock;
    mContext->renderBlocks(blocks);
    const auto [first, last] = windowEndingAt(kBlock);
    const float oldestHeld = static_cast<float>(blocks - mMonitor->getHistorySize() / kBlock + 1);
    EXPECT_GT(first, oldestHeld);
    EXPECT_LT(last, static_cast<float>(blocks) - 4.0f);
    EXPECT_EQ(windowEndingAt(blocks * kBlock), std::make_pair(float(blocks), float(blocks)));
}

TEST_F(MonitorTimedRead, StampsEveryBlockWithTheTimeItWasWritten)
{
    mContext->renderBlocks(1);
    const MonitorNode::WritePosition first = mMonitor->getWritePosition();
    mContext->renderBlocks(1);
    const MonitorNode::WritePosition second = mMonitor->getWritePosition();
    EXPECT_EQ(second.frames, first.frames + kBlock);
    EXPECT_GT(first.timeNs, 0);
    EXPECT_GE(second.timeNs, first.timeNs);
}

TEST(MonitorHeardFrame, DelaysTheNewestFrameByTheLatencyAndCarriesItForwardInTime)
{
    const MonitorNode::WritePosition written{48000, 2'000'000'000};
    const int64_t ms = 1'000'000;
    // Shown at the moment of the write, with 50 ms to the ear: 2400 frames back at 48 kHz.
    EXPECT_EQ(MonitorNode::heardFrame(written, written.timeNs, 50 * ms, 48000), 45600u);
    // Shown 20 ms later, the output has played on by 960 frames.
    EXPECT_EQ(MonitorNode::heardFrame(written, written.timeNs + 20 * ms, 50 * ms, 48000), 46560u);
    // Nothing past the newest frame written, whatever the offset.
    EXPECT_EQ(MonitorNode::heardFrame(written, written.timeNs + 500 * ms, 50 * ms, 48000), 48000u);
    EXPECT_EQ(MonitorNode::heardFrame(written, written.timeNs, -100 * ms, 48000), 48000u);
    // Nor before the first.
    EXPECT_EQ(MonitorNode::heardFrame(written, written.timeNs, 5000 * ms, 48000), 0u);
}

TEST_F(MonitorTimedRead, SpectrumAtAFrameAnalysesThatWindow)
{
    auto spectral = mContext->makeNode(new MonitorSpectralNode(
        MonitorSpectralNode::Format().windowSize(kBlock).fftSize(kBlock).windowType(dsp::RECT)));
    mSource->connect(spectral);
    mContext->renderBlocks(4);
    // A constant block has all its energy in bin 0: 2n for block n by the transform's scale,
    // halved by the smoothing from silence. Block 3, not the newest (4) nor the oldest (1).
    EXPECT_NEAR(spectral->getMagSpectrumEndingAt(3 * kBlock)[0], 3.0f, 1e-4f);
}

} // namespace
} // namespace mirvo::audio
