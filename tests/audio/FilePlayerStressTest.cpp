// The file player's read thread against the render, end of file after end of file: the render
// waits only for what the player reports as buffered or read, as any caller would, and every
// frame of the material must come out, in order, on every channel.
#include "AudioFileFixtures.h"

#include "audio/ContextManual.h"
#include "audio/FilePlayerNode.h"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

namespace mirvo::audio {
namespace {

constexpr size_t kRate = 48000;
constexpr size_t kBlock = 512;
constexpr float kScale = 1.0f / 65536.0f;

TEST(FilePlayerStress, EveryFrameOfEveryChannelReachesTheEndOfTheFile)
{
    ContextManualRef context = ContextManual::create(kRate, kBlock, 2);
    constexpr size_t kFrames = 10000;
    for (int run = 0; run < 1000; ++run) {
        auto source = std::make_shared<test::RampSource>(kFrames, kRate, 0, 2, kScale);
        source->setupSampleRateConversion();
        auto player = context->makeNode(new FilePlayerNode(source, true));
        player->connect(context->getOutput());
        player->start();

        std::vector<float> left;
        std::vector<float> right;
        for (size_t block = 0; block < kFrames / kBlock + 4; ++block) {
            // The reader has what the next block needs, or has read the whole file.
            while (player->isEnabled() && player->getNumBufferedFrames() < kBlock &&
                   player->getReadPosition() < player->getNumFrames()) {
                std::this_thread::yield();
            }
            context->renderBlocks(1);
            const Buffer& rendered = context->getManualOutput()->getOutputBuffer();
            left.insert(left.end(), rendered.getChannel(0), rendered.getChannel(0) + kBlock);
            right.insert(right.end(), rendered.getChannel(1), rendered.getChannel(1) + kBlock);
        }
        player->disconnectAll();

        // Frame f holds f * scale on the left and (f + 0.5) * scale on the right; frame 0 of
        // the left channel is silence, so the left channel's frames start at 1.
        size_t firstRight = 0;
        while (firstRight < right.size() && right[firstRight] == 0.0f) {
            ++firstRight;
        }
        ASSERT_LE(firstRight + kFrames, right.size()) << "run " << run;
        for (size_t f = 0; f < kFrames; ++f) {
            ASSERT_EQ(std::lround(right[firstRight + f] / kScale - 0.5f), long(f)) << "run " << run;
            ASSERT_EQ(std::lround(left[firstRight + f] / kScale), long(f)) << "run " << run;
        }
        ASSERT_EQ(right[firstRight + kFrames], 0.0f) << "run " << run;
        ASSERT_TRUE(player->isEof()) << "run " << run;
    }
}

// The frame the right channel's sample carries (frame f holds (f + 0.5) * scale, never 0).
long rightFrame(float sample)
{
    return std::lround(sample / kScale - 0.5f);
}

TEST(FilePlayerStress, ALoopGoesRoundWithNeitherAGapNorARepeat)
{
    ContextManualRef context = ContextManual::create(kRate, kBlock, 2);
    constexpr size_t kFrames = 6000;
    constexpr size_t kLoopBegin = 700;
    constexpr size_t kLoopEnd = 3100;
    constexpr size_t kBlocks = 40;
    for (int run = 0; run < 200; ++run) {
        auto source = std::make_shared<test::RampSource>(kFrames, kRate, 0, 2, kScale);
        // Short reads keep the reader only just ahead of the render.
        source->setMaxFramesPerRead(run % 2 ? 4096 : 1000);
        source->setupSampleRateConversion();
        auto player = context->makeNode(new FilePlayerNode(source, true));
        player->connect(context->getOutput());
        player->setLoopEnabled(true);
        player->setLoopBegin(kLoopBegin);
        player->setLoopEnd(kLoopEnd);
        player->start();

        std::vector<float> right;
        for (size_t block = 0; block < kBlocks; ++block) {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (player->getNumBufferedFrames() < kBlock && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::yield();
            }
            context->renderBlocks(1);
            const Buffer& rendered = context->getManualOutput()->getOutputBuffer();
            right.insert(right.end(), rendered.getChannel(1), rendered.getChannel(1) + kBlock);
        }
        player->disconnectAll();

        ASSERT_TRUE(player->isEnabled()) << "run " << run;
        ASSERT_FALSE(player->isEof()) << "run " << run;
        for (size_t i = 0; i < right.size(); ++i) {
            const size_t expected = i < kLoopEnd ? i : kLoopBegin + (i - kLoopEnd) % (kLoopEnd - kLoopBegin);
            ASSERT_EQ(rightFrame(right[i]), long(expected)) << "output frame " << i << ", run " << run;
        }
    }
}

TEST(FilePlayerStress, TheEndComesAfterTheLastFrameEvenWhenTheReaderLags)
{
    ContextManualRef context = ContextManual::create(kRate, kBlock, 2);
    constexpr size_t kStatedFrames = 6000;
    for (int run = 0; run < 300; ++run) {
        // Every other file holds less than its header says, so its end is found by reading.
        const size_t realFrames = run % 2 ? kStatedFrames : 4100;
        auto source = std::make_shared<test::RampSource>(kStatedFrames, kRate, 0, 2, kScale);
        source->mRealFrames = realFrames;
        // Reads of little more than half a block, and a render that never waits: blocks often
        // find the rings short.
        source->setMaxFramesPerRead(300);
        source->setupSampleRateConversion();
        auto player = context->makeNode(new FilePlayerNode(source, true));
        player->connect(context->getOutput());
        player->start();

        std::vector<long> heard;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (player->isEnabled() && std::chrono::steady_clock::now() < giveUp) {
            context->renderBlocks(1);
            const Buffer& rendered = context->getManualOutput()->getOutputBuffer();
            for (size_t i = 0; i < kBlock; ++i) {
                if (rendered.getChannel(1)[i] != 0.0f) {
                    heard.push_back(rightFrame(rendered.getChannel(1)[i]));
                }
            }
            std::this_thread::yield();
        }
        player->disconnectAll();

        ASSERT_TRUE(player->isEof()) << "run " << run;
        ASSERT_EQ(heard.size(), realFrames) << "run " << run;
        for (size_t f = 0; f < realFrames; ++f) {
            ASSERT_EQ(heard[f], long(f)) << "run " << run;
        }
    }
}

TEST(FilePlayerStress, ADeviceThatPullsATenthOfASecondAtOnceHearsNoGap)
{
    // A sound server that wakes up rarely takes its whole latency at once: a burst of eleven
    // blocks every 117 ms, in real time, across a hand-off to the queued file.
    ContextManualRef context = ContextManual::create(kRate, kBlock, 2);
    constexpr size_t kFrames = 60000;
    constexpr size_t kBurst = 11;
    auto first = std::make_shared<test::RampSource>(kFrames, kRate, 0, 2, kScale);
    auto second = std::make_shared<test::RampSource>(kFrames, kRate, 0, 2, kScale);
    first->setupSampleRateConversion();
    second->setupSampleRateConversion();
    auto player = context->makeNode(new FilePlayerNode(first, true));
    player->connect(context->getOutput());
    player->start();
    ASSERT_TRUE(player->queueSourceFile(second));

    std::vector<long> heard;
    const auto burstTime = std::chrono::microseconds(kBurst * kBlock * 1000000 / kRate);
    auto nextBurst = std::chrono::steady_clock::now();
    for (size_t burst = 0; burst < 2 * kFrames / (kBurst * kBlock) + 2 && player->isEnabled(); ++burst) {
        for (size_t block = 0; block < kBurst; ++block) {
            context->renderBlocks(1);
            const float* right = context->getManualOutput()->getOutputBuffer().getChannel(1);
            for (size_t i = 0; i < kBlock; ++i) {
                if (right[i] != 0.0f) {
                    heard.push_back(rightFrame(right[i]));
                }
            }
        }
        nextBurst += burstTime;
        std::this_thread::sleep_until(nextBurst);
    }
    player->disconnectAll();

    EXPECT_EQ(player->getNumUnderruns(), 0u);
    ASSERT_EQ(heard.size(), 2 * kFrames);
    for (size_t f = 0; f < 2 * kFrames; ++f) {
        ASSERT_EQ(heard[f], long(f % kFrames)) << "output frame " << f;
    }
}

} // namespace
} // namespace mirvo::audio

namespace mirvo::audio {
namespace {

// A ramp whose first read waits until its context has begun to go away, as a decode under way
// at exit does.
class ReadDuringTeardown : public test::RampSource {
  public:
    ReadDuringTeardown(size_t frames, std::weak_ptr<Context> context)
        : RampSource(frames, kRate, 0, 2, kScale), mContext(std::move(context))
    {
        setupSampleRateConversion();
    }

    std::atomic<bool> mReading{false};

  protected:
    size_t performRead(Buffer* buffer, size_t offset, size_t numFrames) override
    {
        mReading = true;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!mContext.expired() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        return RampSource::performRead(buffer, offset, numFrames);
    }

  private:
    std::weak_ptr<Context> mContext;
};

TEST(FilePlayerStress, EveryReaderEndsBeforeItsContextAndNeedsNothingFromItOnTheWay)
{
    for (int run = 0; run < 20; ++run) {
        ContextManualRef context = ContextManual::create(kRate, kBlock, 2);
        auto current = std::make_shared<ReadDuringTeardown>(2000, context);
        // At another rate, so that the hand-off makes a resampling copy.
        auto queued = std::make_shared<test::RampSource>(2000, 44100, 0, 2, kScale);
        queued->setupSampleRateConversion();
        auto player = context->makeNode(new FilePlayerNode(current, true));
        player->connect(context->getOutput());
        // A second player the graph no longer reaches: its reader must end with the context all
        // the same, not read the counters of a context that is gone.
        auto unreached = context->makeNode(
            new FilePlayerNode(std::make_shared<test::RampSource>(2000, kRate, kRate), true));
        unreached->connect(context->getOutput());
        unreached->disconnectAll();
        ASSERT_TRUE(unreached->isInitialized());
        // Not started: the reader fills the rings of a paused player all the same, and a start
        // would decode the first frames here.
        ASSERT_TRUE(player->queueSourceFile(queued));
        while (!current->mReading) {
            std::this_thread::yield();
        }
        // The teardown is held at the graph lock for a while, as a busy machine holds it: the
        // reader goes on with the hand-off to the queued file meanwhile.
        std::mutex& graphLock = context->getMutex();
        std::atomic<bool> locked{false};
        std::thread holder([&] {
            std::lock_guard<std::mutex> lock(graphLock);
            locked = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        });
        while (!locked) {
            std::this_thread::yield();
        }
        context.reset();
        holder.join();
        EXPECT_FALSE(player->isInitialized());
        EXPECT_FALSE(unreached->isInitialized());
        EXPECT_EQ(player->getNumHandoffs(), 1u) << "the reader went on to the queued file";
    }
}

} // namespace
} // namespace mirvo::audio
