// The file player rendered offline through a manual context: end of material, looping,
// seeking, stop and start, replacing the file while the graph runs, and decoder failures.
// Sources are scripted ramps, so every sample that comes out says which frame it was.
#include "AudioFileFixtures.h"

#include "audio/ContextManual.h"
#include "audio/FilePlayerNode.h"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <thread>

namespace mirvo::audio {
namespace {

using test::RampSource;

constexpr size_t kRate = 48000;
constexpr size_t kBlock = 512;
// Ramp values stay below 1 so the output's clip guard never silences a block.
constexpr float kScale = 1.0f / 65536.0f;

class FilePlayer : public ::testing::Test {
  protected:
    std::shared_ptr<RampSource> makeRamp(size_t frames, size_t channels = 2)
    {
        return std::make_shared<RampSource>(frames, kRate, 0, channels, kScale);
    }

    FilePlayerNodeRef makePlayer(const SourceFileRef& source, bool async = true)
    {
        source->setupSampleRateConversion();
        auto player = mContext->makeNode(new FilePlayerNode(source, async));
        player->connect(mContext->getOutput());
        return player;
    }

    // Waits until the reader has buffered a block, or has nothing more to read, so that the
    // offline render never outruns the read thread; a file whose length is only estimated is
    // waited for until the reader has found its end. A file cut short never reaches its stated
    // length, so the wait also gives up after mReaderPatience; a test whose file is whole can
    // afford to be patient on a loaded or instrumented machine.
    void waitForReader(const FilePlayerNodeRef& player)
    {
        const auto deadline = std::chrono::steady_clock::now() + mReaderPatience;
        while (player->isReadAsync() && player->isEnabled() && player->getNumBufferedFrames() < kBlock &&
               (player->getReadPosition() < player->getNumFrames() || !player->getKnownNumFrames()) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    // Renders numBlocks blocks; channel 0 of each is appended to the result.
    std::vector<float> render(const FilePlayerNodeRef& player, size_t numBlocks)
    {
        std::vector<float> out;
        for (size_t b = 0; b < numBlocks; ++b) {
            waitForReader(player);
            mContext->renderBlocks(1);
            const Buffer& block = mContext->getManualOutput()->getOutputBuffer();
            out.insert(out.end(), block.getChannel(0), block.getChannel(0) + block.getNumFrames());
        }
        return out;
    }

    // The frame numbers the samples carry, with silence dropped.
    static std::vector<long> framesHeard(const std::vector<float>& samples)
    {
        std::vector<long> frames;
        for (const float sample : samples) {
            if (sample != 0.0f) {
                frames.push_back(std::lround(sample / kScale));
            }
        }
        return frames;
    }

    static void expectConsecutive(const std::vector<long>& frames, long first, long last)
    {
        ASSERT_EQ(frames.size(), size_t(last - first + 1));
        for (size_t i = 0; i < frames.size(); ++i) {
            ASSERT_EQ(frames[i], first + long(i)) << "at " << i;
        }
    }

    ContextManualRef mContext = ContextManual::create(kRate, kBlock, 2);
    std::chrono::milliseconds mReaderPatience{300};
};

TEST_F(FilePlayer, EndsWithTheLastFramesThenSilenceAndDisablesItself)
{
    for (const bool async : {true, false}) {
        auto player = makePlayer(makeRamp(10000), async);
        EXPECT_EQ(player->getNumChannels(), 2u);
        player->start();
        // Frame 0 of the ramp is 0.0, which reads as silence; frames 1 .. 9999 must all come
        // out, in order, with silence only before them and after them.
        const std::vector<float> out = render(player, 25);
        expectConsecutive(framesHeard(out), 1, 9999);
        EXPECT_TRUE(player->isEof()) << "async " << async;
        EXPECT_FALSE(player->isEnabled());
        if (async) {
            EXPECT_EQ(player->getNumUnderruns(), 0u);
        }
        player->disconnectAll();
    }
}

TEST_F(FilePlayer, LoopingWrapsInsteadOfEnding)
{
    auto player = makePlayer(makeRamp(10000));
    player->setLoopEnabled(true);
    player->setLoopBegin(0);
    player->setLoopEnd(10000);
    player->start();
    const std::vector<long> frames = framesHeard(render(player, 50));
    EXPECT_FALSE(player->isEof());
    EXPECT_TRUE(player->isEnabled());
    const auto wrap = std::adjacent_find(frames.begin(), frames.end(), [](long a, long b) { return b < a; });
    ASSERT_NE(wrap, frames.end());
    EXPECT_EQ(*wrap, 9999);
    EXPECT_EQ(*(wrap + 1), 1);
}

TEST_F(FilePlayer, SeekClampsToTheLength)
{
    auto player = makePlayer(makeRamp(10000));
    player->seek(20000);
    EXPECT_EQ(player->getReadPosition(), 10000u);
    player->seek(1234);
    EXPECT_EQ(player->getReadPosition(), 1234u);
}

TEST_F(FilePlayer, SeekMovesWhatIsHeard)
{
    auto player = makePlayer(makeRamp(40000), false);
    player->start();
    render(player, 4);
    player->seek(30000);
    // Up to one ring of the old position still plays, then the new one follows on.
    const std::vector<long> frames = framesHeard(render(player, 40));
    const auto jump = std::find(frames.begin(), frames.end(), 30000);
    ASSERT_NE(jump, frames.end());
    EXPECT_EQ(frames.back(), 39999);
}

// A jump is heard at once: the old audio's next frames fade out under the new ones over a few
// milliseconds, so the output has no step, and after the fade every frame from the target on
// plays, none lost. With and without read-ahead.
TEST_F(FilePlayer, AJumpIsHeardAtOnceWithoutAStepAndLosesNoFrame)
{
    constexpr size_t kFade = kRate / 200;
    constexpr long kTarget = 50000;
    for (const bool async : {true, false}) {
        SCOPED_TRACE(async ? "read-ahead" : "no read-ahead");
        mContext = ContextManual::create(kRate, kBlock, 2);
        auto player = makePlayer(makeRamp(100000), async);
        player->start();
        std::vector<float> out = render(player, 4);
        player->jumpTo(kTarget);
        const std::vector<float> after = render(player, 8);
        out.insert(out.end(), after.begin(), after.end());

        // Without the fade the output would step by the whole distance between the two places.
        const float step = float(kTarget - 4 * long(kBlock)) * kScale;
        for (size_t i = 1; i < out.size(); ++i) {
            ASSERT_LT(std::fabs(out[i] - out[i - 1]), step / 100.0f) << "a step at sample " << i;
        }
        const std::vector<float> settled(out.begin() + long(4 * kBlock + kFade), out.end());
        expectConsecutive(framesHeard(settled), kTarget + long(kFade), kTarget + long(8 * kBlock) - 1);
    }
}

// A jump keeps the file queued to follow: a jump past the end goes straight on to it, and it
// plays whole, from its first frame.
TEST_F(FilePlayer, AJumpPastTheEndGoesOnToTheQueuedFile)
{
    auto player = makePlayer(makeRamp(100000));
    player->start();
    render(player, 2);
    auto next = makeRamp(6000);
    next->setupSampleRateConversion();
    ASSERT_TRUE(player->queueSourceFile(next));
    player->jumpTo(500000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((player->getNumHandoffs() == 0 || player->getNumBufferedFrames() < 6000) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(player->getNumHandoffs(), 1u);
    const std::vector<float> out = render(player, 16);
    const std::vector<float> settled(out.begin() + long(kRate / 200), out.end());
    expectConsecutive(framesHeard(settled), long(kRate / 200), 5999);
    EXPECT_TRUE(player->isEof());
}

TEST_F(FilePlayer, StartAfterTheEndReplaysFromTheBeginning)
{
    auto player = makePlayer(makeRamp(3000));
    player->start();
    render(player, 10);
    ASSERT_TRUE(player->isEof());
    player->start();
    EXPECT_FALSE(player->isEof());
    expectConsecutive(framesHeard(render(player, 10)), 1, 2999);
    EXPECT_TRUE(player->isEof());
}

TEST_F(FilePlayer, StopEmptiesTheRingsSoStartHasNoStaleAudio)
{
    auto player = makePlayer(makeRamp(40000));
    player->start();
    render(player, 6);
    player->stop();
    EXPECT_EQ(player->getNumBufferedFrames(), 0u);
    EXPECT_FALSE(player->isEnabled());
    player->start();
    const std::vector<long> frames = framesHeard(render(player, 4));
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front(), 1);
}

TEST_F(FilePlayer, AStartLongAfterAStopPlaysFromTheBeginningOnce)
{
    // While stopped the reader is free to refill; what it buffered must not play before frame 0.
    for (int run = 0; run < 3; ++run) {
        auto player = makePlayer(makeRamp(40000));
        player->start();
        render(player, 6);
        player->stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        player->start();
        expectConsecutive(framesHeard(render(player, 40)), 1, 40 * long(kBlock) - 1);
        player->disconnectAll();
    }
}

TEST_F(FilePlayer, AMonoFileReplacingAStereoOneReinitialisesWithOneChannel)
{
    auto player = makePlayer(makeRamp(20000, 2));
    player->start();
    render(player, 4);

    auto mono = makeRamp(5000, 1);
    mono->setupSampleRateConversion();
    player->setSourceFile(mono);
    EXPECT_EQ(player->getNumChannels(), 1u);
    EXPECT_TRUE(player->isInitialized());
    EXPECT_EQ(player->getNumFrames(), 5000u);
    player->start();
    // The mono ramp plays on both output channels through the new read thread.
    const std::vector<long> frames = framesHeard(render(player, 15));
    expectConsecutive(frames, 1, 4999);
    EXPECT_TRUE(player->isEof());
}

TEST_F(FilePlayer, ASourceAtAnotherRateIsResampledToTheGraphRate)
{
    auto source = std::make_shared<RampSource>(44100, 44100, 0, 2, kScale);
    auto player = makePlayer(source);
    EXPECT_EQ(player->getSourceFile()->getSampleRate(), kRate);
    EXPECT_EQ(player->getNumFrames(), 48000u);
}

TEST_F(FilePlayer, ASourceShorterThanItsStatedLengthStillEnds)
{
    for (const bool async : {true, false}) {
        auto source = makeRamp(20000);
        source->mRealFrames = 6000;
        auto player = makePlayer(source, async);
        player->start();
        expectConsecutive(framesHeard(render(player, 30)), 1, 5999);
        EXPECT_TRUE(player->isEof()) << "async " << async;
        EXPECT_FALSE(player->isEnabled());
        player->disconnectAll();
    }
}

TEST_F(FilePlayer, ADecoderFailureStopsPlaybackAndIsKept)
{
    for (const bool async : {true, false}) {
        auto source = makeRamp(40000);
        source->mFailAt = 9000;
        auto player = makePlayer(source, async);
        player->start();
        const std::vector<long> frames = framesHeard(render(player, 40));
        ASSERT_FALSE(frames.empty());
        EXPECT_LT(frames.back(), 9000);
        EXPECT_FALSE(player->isEnabled()) << "async " << async;
        EXPECT_EQ(player->getLastError(), "ov_read_float error");

        // The player is still usable: a good file plays to its end.
        auto good = makeRamp(2000);
        good->setupSampleRateConversion();
        player->setSourceFile(good);
        player->start();
        EXPECT_EQ(player->getLastError(), "");
        expectConsecutive(framesHeard(render(player, 8)), 1, 1999);
        player->disconnectAll();
    }
}

TEST_F(FilePlayer, PlaysARealFileResampledToTheGraph)
{
    test::TempDir dir;
    auto source = test::loadPath(test::makeTone(dir, "tone.wav", 44100, 2, 44100));
    auto player = mContext->makeNode(new FilePlayerNode(SourceFileRef(std::move(source)), true));
    player->connect(mContext->getOutput());
    player->start();
    mReaderPatience = std::chrono::milliseconds(5000);
    const std::vector<float> out = render(player, 100);
    EXPECT_TRUE(player->isEof());
    // Up to the last sound: a clean resampling of the tone is exactly 0 at its zero crossings.
    size_t heard = 0;
    float peak = 0.0f;
    for (size_t i = 0; i < out.size(); ++i) {
        heard = out[i] != 0.0f ? i + 1 : heard;
        peak = std::max(peak, std::abs(out[i]));
    }
    EXPECT_NEAR(double(heard), 48000.0, 200.0);
    EXPECT_NEAR(peak, 0.5f, 0.01f);
}

TEST_F(FilePlayer, AFileDeletedOrCutShortWhilePlayingEndsCleanly)
{
    test::TempDir dir;
    const std::string path = test::makeTone(dir, "tone.mp3", 44100, 2, 5 * 44100);
    auto player = mContext->makeNode(new FilePlayerNode(test::loadPath(path), true));
    player->connect(mContext->getOutput());
    player->start();
    render(player, 20);
    // The open file stays readable after its name is gone.
    std::filesystem::remove(path);
    render(player, 600);
    EXPECT_TRUE(player->isEof());

    const std::string cut = test::makeTone(dir, "cut.mp3", 44100, 2, 5 * 44100);
    player->setSourceFile(test::loadPath(cut));
    player->start();
    render(player, 20);
    std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 3);
    render(player, 600);
    EXPECT_TRUE(player->isEof());
    EXPECT_FALSE(player->isEnabled());
}

} // namespace
} // namespace mirvo::audio
