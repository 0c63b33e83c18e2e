// A capture on the output's own clock, in small fragments, as a sound server's monitor
// delivers it: the frames the ring keeps queued are the picture's delay, so a surplus that the
// steady state never needs is dropped, and a separate device's ring keeps what it has. The
// capture thread and the graph are played in turn on one clock; each captured frame carries
// its own number, so what the graph gets shows which frames were dropped.
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/FakeDeviceManager.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirvo::audio {
namespace {

constexpr size_t kGraphFrames = 512;
constexpr size_t kFragmentFrames = 64;
constexpr size_t kKeepFrames = 128;
// Frame n is heard as (n + 1) / 2^17: exact in a float, never silence, and below the output's
// clip level for the few hundred blocks a case runs.
constexpr float kFrameStep = 1.0f / 131072.0f;

class SteadyCapture {
  public:
    // keepFrames 0: a separate device's ring, which never drops what it queued.
    explicit SteadyCapture(size_t keepFrames)
    {
        DeviceRef outputDevice =
            mManager.add(test::fakeDevice("Out").withChannels(2).withFormat(48000, kGraphFrames));
        DeviceRef inputDevice =
            mManager.add(test::fakeDevice("In").withChannels(0, 2).withFormat(48000, kGraphFrames));
        mOutput = std::dynamic_pointer_cast<test::ManualDeviceOutput>(
            mContext->createOutputDeviceNode(outputDevice, {}));
        mContext->setOutput(mOutput);
        mInput = std::dynamic_pointer_cast<test::ManualDeviceInput>(
            mContext->createInputDeviceNode(inputDevice, {}));
        mInput->setDeviceFrames(kFragmentFrames);
        mInput->keepSteadyQueue(keepFrames);
        mInput->connect(mOutput);
        mInput->enable();
        mContext->enable();
    }
    ~SteadyCapture()
    {
        mContext->disable();
        mContext->disconnectAllNodes();
    }

    // One graph block's time: the fragments captured by its end arrive (all those held back
    // too, when the capture stalled before), then the graph renders, unless it is the one
    // stalling.
    void period(bool captureRuns = true, bool graphRenders = true)
    {
        mClock += kGraphFrames;
        while (captureRuns && mCaptured + kFragmentFrames <= mClock) {
            std::vector<float> fragment(2 * kFragmentFrames);
            for (size_t i = 0; i < kFragmentFrames; ++i) {
                fragment[i] = float(mCaptured + i + 1) * kFrameStep;
                fragment[kFragmentFrames + i] = -fragment[i];
            }
            mInput->capture(fragment, kFragmentFrames);
            mCaptured += kFragmentFrames;
        }
        if (!graphRenders) {
            return;
        }
        mOutput->renderBlock();
        if (!mOutput->deviceBlockIsSilent()) {
            const float* left = mOutput->getDeviceChannel(0);
            const float* right = mOutput->getDeviceChannel(1);
            for (size_t i = 0; i < kGraphFrames; ++i) {
                mChannelsMatch = mChannelsMatch && right[i] == -left[i];
                mHeard.push_back(left[i]);
            }
        }
    }
    void periods(size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            period();
        }
    }

    // How many frames were skipped at each place the graph's frames do not follow on.
    std::vector<size_t> jumps() const
    {
        std::vector<size_t> found;
        for (size_t i = 1; i < mHeard.size(); ++i) {
            if (mHeard[i] != mHeard[i - 1] + kFrameStep) {
                found.push_back(size_t((mHeard[i] - mHeard[i - 1]) / kFrameStep) - 1);
            }
        }
        return found;
    }
    bool channelsMatch() const { return mChannelsMatch; }
    const test::ManualDeviceInput& input() const { return *mInput; }

  private:
    test::FakeDeviceManager mManager;
    std::shared_ptr<test::DeviceTestContext> mContext = test::DeviceTestContext::create();
    std::shared_ptr<test::ManualDeviceOutput> mOutput;
    std::shared_ptr<test::ManualDeviceInput> mInput;
    size_t mClock = 0;
    size_t mCaptured = 0;
    std::vector<float> mHeard;
    bool mChannelsMatch = true;
};

TEST(CaptureSteadyQueue, ThePrimingsSurplusIsDroppedOnceAndTheFramesRunOnAfterIt)
{
    SteadyCapture run(kKeepFrames);
    // Two blocks primed, one taken: a block queued beyond every block the graph takes.
    run.periods(2);
    EXPECT_EQ(run.input().getQueuedFrames(), kGraphFrames);
    run.periods(200);
    EXPECT_EQ(run.input().getQueuedFrames(), kKeepFrames);
    EXPECT_EQ(run.jumps(), std::vector<size_t>{kGraphFrames - kKeepFrames});
    EXPECT_EQ(run.input().getNumStaleDrops(), 1u);
    EXPECT_EQ(run.input().getNumUnderruns(), 0u);
    EXPECT_EQ(run.input().getNumOverruns(), 0u);
    EXPECT_TRUE(run.channelsMatch());
}

TEST(CaptureSteadyQueue, AStalledGraphsBacklogIsDroppedOnceAWholeWatchHasSeenItStay)
{
    SteadyCapture run(kKeepFrames);
    run.periods(100);
    // The graph misses two blocks' time and goes on without catching up.
    run.period(true, false);
    run.period(true, false);
    run.period();
    EXPECT_EQ(run.input().getQueuedFrames(), kKeepFrames + 2 * kGraphFrames);
    // The watch under way when the stall came saw the margin; the next one sees the backlog
    // stay from its first block to its last (64 blocks in all at most, under 0.75 s).
    run.periods(70);
    EXPECT_EQ(run.input().getQueuedFrames(), kKeepFrames);
    EXPECT_EQ(run.jumps(), (std::vector<size_t>{kGraphFrames - kKeepFrames, 2 * kGraphFrames}));
    EXPECT_EQ(run.input().getNumUnderruns(), 0u);
    EXPECT_EQ(run.input().getNumOverruns(), 0u);
    EXPECT_TRUE(run.channelsMatch());
}

TEST(CaptureSteadyQueue, AfterAStalledCaptureStarvesTheGraphTheBurstThatEndsItIsNotLeftQueued)
{
    SteadyCapture run(kKeepFrames);
    run.periods(100);
    // Nothing arrives for two blocks' time, then everything held back at once.
    run.period(false, true);
    run.period(false, true);
    EXPECT_EQ(run.input().getNumUnderruns(), 1u) << "one underrun, then the ring waits for its priming";
    run.period();
    EXPECT_LE(run.input().getQueuedFrames(), 2 * kGraphFrames);
    run.periods(40);
    EXPECT_EQ(run.input().getQueuedFrames(), kKeepFrames);
    EXPECT_EQ(run.input().getNumUnderruns(), 1u);
    EXPECT_EQ(run.input().getNumOverruns(), 0u);
    EXPECT_TRUE(run.channelsMatch());
}

TEST(CaptureSteadyQueue, AfterTheRingOverflowsTheGraphGoesOnFromTheNewestFramesNotTheOldest)
{
    for (const size_t keep : {kKeepFrames, size_t(0)}) {
        SCOPED_TRACE(keep == 0 ? "a separate device" : "a steady capture");
        SteadyCapture run(keep);
        run.periods(100);
        // Six blocks' time without the graph: more than the ring's four blocks pile up.
        for (int i = 0; i < 6; ++i) {
            run.period(true, false);
        }
        EXPECT_GE(run.input().getNumOverruns(), 1u);
        // This block's fragments still meet the full ring; the graph then drops the oldest.
        run.period();
        // What a fresh start leaves queued after its first block, not a ring kept full.
        EXPECT_EQ(run.input().getQueuedFrames(), kGraphFrames + keep);
        const uint64_t overruns = run.input().getNumOverruns();
        run.periods(10);
        EXPECT_EQ(run.input().getNumOverruns(), overruns) << "the ring has room again";
        EXPECT_EQ(run.input().getNumUnderruns(), 0u);
        EXPECT_TRUE(run.channelsMatch());
    }
}

TEST(CaptureSteadyQueue, ASeparateDevicesRingKeepsEveryFrameItQueued)
{
    // Two independently clocked devices need the surplus to ride out their drift and jitter.
    SteadyCapture run(0);
    run.periods(100);
    run.period(true, false);
    run.periods(100);
    EXPECT_EQ(run.input().getQueuedFrames(), 2 * kGraphFrames);
    EXPECT_TRUE(run.jumps().empty());
    EXPECT_EQ(run.input().getNumStaleDrops(), 0u);
    EXPECT_EQ(run.input().getNumUnderruns(), 0u);
}

} // namespace
} // namespace mirvo::audio
