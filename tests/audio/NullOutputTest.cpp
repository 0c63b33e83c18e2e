#include "audio/Context.h"
#include "audio/DeviceManager.h"
#include "audio/null/NullDeviceStream.h"
#include "audio/null/OutputDeviceNodeNull.h"
#include "tests/audio/DeviceTestSupport.h"
#include "tests/audio/ToneAnalysis.h"
#include "tests/audio/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace mirvo::audio {
namespace {

using test::waitFor;

using namespace std::chrono_literals;

using test::kFrequencyTolerance;
using test::kLevelToleranceDb;
using test::kToneAmplitude;
using test::kToneFrequency;
constexpr double kStepToleranceRatio = 1.05;

class CountingClient : public NullDeviceStream::Client {
  public:
    void renderNullBlock(float* const* channels, size_t numChannels, size_t numFrames) override
    {
        mFrames += numFrames;
        mChannels = numChannels;
    }
    std::atomic<size_t> mFrames{0};
    std::atomic<size_t> mChannels{0};
};

TEST(NullDeviceStream, NeverRendersAheadOfRealTime)
{
    NullDeviceStream stream;
    CountingClient client;
    stream.open(2, 48000, 480);
    const auto started = std::chrono::steady_clock::now();
    stream.start(&client);
    ASSERT_TRUE(waitFor([&] { return stream.getNumBlocksRendered() >= 20; }));
    stream.stop();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    // The first block goes out at once, each further one a period later: a loaded machine can
    // only make the stream slower than this bound, never faster.
    const double period = 480.0 / 48000.0;
    EXPECT_LE(double(stream.getNumBlocksRendered()), elapsed / period + 1.0);
    EXPECT_EQ(client.mChannels.load(), 2u);
    EXPECT_EQ(client.mFrames.load(), stream.getNumBlocksRendered() * 480);
}

TEST(NullDeviceStream, WaitsInStandbyUntilItIsHandedOver)
{
    NullDeviceStream stream;
    CountingClient client;
    stream.open(1, 48000, 64);
    stream.startStandby(&client);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(stream.getNumBlocksRendered(), 0u);
    EXPECT_FALSE(stream.isRendering());

    stream.takeOver();
    EXPECT_TRUE(waitFor([&] { return stream.getNumBlocksRendered() >= 3; }));
    stream.stop();
    EXPECT_FALSE(stream.isStarted());
}

// Plays through the master context on the built-in "Null" device and captures what would have
// gone to the hardware.
class NullDevicePlayback : public ::testing::Test {
  protected:
    void SetUp() override
    {
        mContext = Context::master();
        DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
        ASSERT_NE(device, nullptr);
        mOutput = std::dynamic_pointer_cast<OutputDeviceNodeNull>(mContext->createOutputDeviceNode(device));
        ASSERT_NE(mOutput, nullptr);
        mContext->setOutput(mOutput);
        mCaptured.assign(size_t(48000 * 30), 0.0f);
        mOutput->setCaptureHook([this](const float* const* channels, size_t numChannels, size_t numFrames) {
            mLastBlockFrames = numFrames;
            const size_t start = mCapturedFrames.load();
            const size_t frames = std::min(numFrames, mCaptured.size() - start);
            std::copy(channels[0], channels[0] + frames, mCaptured.begin() + std::ptrdiff_t(start));
            mCapturedFrames = start + frames;
        });
        mSine = mContext->makeNode(new test::SineSourceNode(float(kToneFrequency), float(kToneAmplitude)));
        mSine->connect(mOutput);
    }

    void TearDown() override
    {
        mContext->disable();
        mContext->disconnectAllNodes();
        mContext->setOutput(nullptr);
        if (mOutput) {
            mOutput->getDevice()->updateFormat(Device::Format().sampleRate(48000).framesPerBlock(512));
        }
    }

    std::vector<float> captured() const
    {
        return std::vector<float>(mCaptured.begin(),
                                  mCaptured.begin() + std::ptrdiff_t(mCapturedFrames.load()));
    }

    Context* mContext = nullptr;
    std::shared_ptr<OutputDeviceNodeNull> mOutput;
    NodeRef mSine;
    std::vector<float> mCaptured;
    std::atomic<size_t> mCapturedFrames{0};
    std::atomic<size_t> mLastBlockFrames{0};
};

TEST_F(NullDevicePlayback, PlaysAToneAtItsFrequencyAndLevelWithoutGaps)
{
    mContext->enable();
    ASSERT_TRUE(waitFor([&] { return mCapturedFrames.load() >= 24000; }));
    mContext->disable();

    const test::ToneReport tone = test::analyseTone(captured(), 48000.0, kToneFrequency, kToneAmplitude);
    EXPECT_NEAR(tone.frequency, kToneFrequency, kFrequencyTolerance);
    EXPECT_LT(std::fabs(test::levelDifferenceDb(tone.rms, kToneAmplitude)), kLevelToleranceDb);
    EXPECT_LE(tone.longestSilence, 2u);
    EXPECT_LT(tone.worstStepRatio, kStepToleranceRatio);
    EXPECT_EQ(mContext->getNumProcessedFrames() % 512, 0u);
}

TEST_F(NullDevicePlayback, AFormatChangeWhilePlayingRebuildsWithTheNewBlockSizeAndResumes)
{
    mContext->enable();
    ASSERT_TRUE(waitFor([&] { return mCapturedFrames.load() >= 2048; }));
    EXPECT_EQ(mLastBlockFrames.load(), 512u);

    mOutput->getDevice()->updateFormat(Device::Format().framesPerBlock(256));
    EXPECT_TRUE(mContext->isEnabled());
    EXPECT_EQ(mOutput->getFramesPerBlock(), 256u);
    EXPECT_EQ(mOutput->getInternalBuffer()->getNumFrames(), 256u);
    const size_t framesAtChange = mCapturedFrames.load();
    ASSERT_TRUE(waitFor([&] { return mCapturedFrames.load() >= framesAtChange + 2048; }));
    EXPECT_EQ(mLastBlockFrames.load(), 256u);
    EXPECT_EQ(mOutput->getStream().getFramesPerBlock(), 256u);
}

TEST_F(NullDevicePlayback, AFormatChangeWhileStoppedDoesNotStartTheDevice)
{
    mOutput->getDevice()->updateFormat(Device::Format().sampleRate(44100));
    EXPECT_FALSE(mContext->isEnabled());
    EXPECT_FALSE(mOutput->getStream().isStarted());
    EXPECT_EQ(mOutput->getSampleRate(), 44100u);
}

} // namespace
} // namespace mirvo::audio
