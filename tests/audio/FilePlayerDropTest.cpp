// Replacing the music while the graph runs, as a dropped file does: the render never waits for
// a decoder, the first block after the drop is the new file's beginning, and a file that cannot
// be prepared leaves the current music playing; a file queued to follow plays straight after
// the current one.
#include "AudioFileFixtures.h"

#include "audio/Context.h"
#include "audio/ContextManual.h"
#include "audio/DeviceManager.h"
#include "audio/Exception.h"
#include "audio/FilePlayerNode.h"
#include "audio/null/OutputDeviceNodeNull.h"
#include "tests/audio/WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace mirvo::audio {
namespace {

using test::waitFor;

using namespace std::chrono_literals;
using test::RampSource;

constexpr size_t kRate = 48000;
constexpr size_t kBlock = 512;
constexpr float kScale = 1.0f / 1048576.0f;

std::shared_ptr<RampSource> makeRamp(size_t frames, size_t channels)
{
    auto ramp = std::make_shared<RampSource>(frames, kRate, 0, channels, kScale);
    ramp->setupSampleRateConversion();
    return ramp;
}

// A ramp whose decoder can be held inside a read, and which notes the thread that destroys it.
class GatedRamp : public RampSource {
  public:
    GatedRamp(size_t frames, size_t channels, std::atomic<std::thread::id>* destroyedOn)
        : RampSource(frames, kRate, 0, channels, kScale), mDestroyedOn(destroyedOn)
    {
        setupSampleRateConversion();
    }
    ~GatedRamp() override { *mDestroyedOn = std::this_thread::get_id(); }

    void close()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mClosed = true;
    }
    // Signals under the lock: the reader's next step may end in this object's destruction.
    void open()
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mClosed = false;
        mCondition.notify_all();
    }
    bool isHeld() const { return mHeld.load(); }

  protected:
    size_t performRead(Buffer* buffer, size_t offset, size_t numFrames) override
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mHeld = mClosed;
        mCondition.wait(lock, [this] { return !mClosed; });
        mHeld = false;
        lock.unlock();
        return RampSource::performRead(buffer, offset, numFrames);
    }

  private:
    std::atomic<std::thread::id>* mDestroyedOn;
    std::mutex mMutex;
    std::condition_variable mCondition;
    bool mClosed = false;
    std::atomic<bool> mHeld{false};
};

// A file at another rate whose resampling copy cannot be opened.
class UnresamplableRamp : public RampSource {
  public:
    UnresamplableRamp() : RampSource(20000, 44100, 0, 2, kScale) { setupSampleRateConversion(); }
    SourceFileRef cloneWithSampleRate(size_t) const override
    {
        throw AudioFileExc("the resampling copy does not open");
    }
};

long frameOf(float sample, size_t channel)
{
    return std::lround(sample / kScale - 0.5f * float(channel));
}

// The context's output on the null device at its real pace, keeping the right channel of
// everything it renders (up to `capacity` frames) for the test to read afterwards.
struct NullCapture {
    NullCapture(Context* context, size_t capacity) : captured(capacity, 0.0f)
    {
        const DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
        if (!device) {
            return;
        }
        output = std::dynamic_pointer_cast<OutputDeviceNodeNull>(context->createOutputDeviceNode(device));
        if (!output) {
            return;
        }
        context->setOutput(output);
        output->setCaptureHook([this](const float* const* channels, size_t, size_t numFrames) {
            const size_t start = frames.load();
            const size_t count = std::min(numFrames, captured.size() - start);
            std::copy(channels[1], channels[1] + count, captured.begin() + std::ptrdiff_t(start));
            frames = start + count;
        });
    }

    std::shared_ptr<OutputDeviceNodeNull> output;
    std::vector<float> captured;
    std::atomic<size_t> frames{0};
};

TEST(FilePlayerDrop, TheGraphRendersWhileAReplacementWaitsForTheReader)
{
    ContextManualRef context = ContextManual::create(kRate, kBlock, 2);
    std::atomic<std::thread::id> destroyedOn{};
    auto gated = std::make_shared<GatedRamp>(400000, 1, &destroyedOn);
    GatedRamp* old = gated.get();
    auto player = context->makeNode(new FilePlayerNode(gated, true));
    gated.reset();
    player->connect(context->getOutput());
    player->start();

    // Render until the reader is asked for more and is caught inside the old decoder.
    old->close();
    ASSERT_TRUE(waitFor([&] {
        context->renderBlocks(1);
        return old->isHeld();
    }));

    // The replacement changes the channel count too, which reconfigures the graph.
    auto next = makeRamp(20000, 2);
    std::atomic<bool> replaced{false};
    std::thread ui([&] {
        player->playSourceFile(next);
        replaced = true;
    });
    const std::thread::id uiThread = ui.get_id();
    // Time for the replacement to prepare the new file and reach the reader's lock; it cannot
    // finish while the reader is held.
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(replaced.load());
    const bool graphFree = context->getMutex().try_lock();
    if (graphFree) {
        context->getMutex().unlock();
    }
    EXPECT_TRUE(graphFree) << "the graph lock is held while the reader decodes";

    old->open();
    ui.join();
    EXPECT_EQ(destroyedOn.load(), uiThread) << "the replaced source is released on the caller's thread";
    EXPECT_EQ(player->getNumChannels(), 2u);

    context->renderBlocks(1);
    const Buffer& block = context->getManualOutput()->getOutputBuffer();
    for (size_t i = 0; i < kBlock; ++i) {
        ASSERT_EQ(frameOf(block.getChannel(1)[i], 1), long(i));
    }
    player->disconnectAll();
}

TEST(FilePlayerDrop, AFileThatCannotBePreparedLeavesTheMusicPlaying)
{
    ContextManualRef context = ContextManual::create(kRate, kBlock, 2);
    auto music = makeRamp(200000, 2);
    auto player = context->makeNode(new FilePlayerNode(music, true));
    player->connect(context->getOutput());
    player->start();

    auto renderChecked = [&](size_t& nextFrame) {
        waitFor([&] { return player->getNumBufferedFrames() >= kBlock; });
        context->renderBlocks(1);
        const Buffer& block = context->getManualOutput()->getOutputBuffer();
        for (size_t i = 0; i < kBlock; ++i) {
            ASSERT_EQ(frameOf(block.getChannel(1)[i], 1), long(nextFrame + i));
        }
        nextFrame += kBlock;
    };
    size_t nextFrame = 0;
    for (int b = 0; b < 4; ++b) {
        renderChecked(nextFrame);
    }

    auto undecodable = makeRamp(20000, 1);
    undecodable->mFailAt = 0;
    const std::vector<SourceFileRef> bad = {std::make_shared<UnresamplableRamp>(), undecodable};
    for (const SourceFileRef& source : bad) {
        EXPECT_THROW(player->playSourceFile(source), AudioFileExc);
        EXPECT_EQ(player->getSourceFile(), music);
        EXPECT_TRUE(player->isEnabled());
        EXPECT_EQ(player->getNumChannels(), 2u);
        for (int b = 0; b < 4; ++b) {
            renderChecked(nextFrame);
        }
    }
    player->disconnectAll();
}

// On the null device at its real pace: the music is replaced while the device thread renders.
TEST(FilePlayerDrop, TheFirstBlockAfterADropIsTheNewFilesBeginning)
{
    test::TempDir dir;
    const std::string path = test::makeTone(dir, "next.wav", int(kRate), 2, long(kRate));
    const std::vector<std::vector<float>> decoded = test::readAll(*test::loadPath(path));
    ASSERT_EQ(decoded.size(), 2u);

    Context* context = Context::master();
    NullCapture capture(context, kRate * 30);
    ASSERT_NE(capture.output, nullptr);
    const std::shared_ptr<OutputDeviceNodeNull>& output = capture.output;
    std::vector<float>& captured = capture.captured;
    std::atomic<size_t>& capturedFrames = capture.frames;

    for (int round = 0; round < 3; ++round) {
        // A mono ramp plays first; the stereo file replaces it mid-stream.
        auto player = context->makeNode(new FilePlayerNode(makeRamp(400000, 1), true));
        player->connect(output);
        capturedFrames = 0;
        context->enable();
        player->start();
        ASSERT_TRUE(waitFor([&] { return capturedFrames.load() >= 20 * kBlock; }));
        player->playSourceFile(test::loadPath(path));
        const size_t atDrop = capturedFrames.load();
        ASSERT_TRUE(waitFor([&] { return capturedFrames.load() >= atDrop + 60 * kBlock; }));
        context->disable();
        player->disconnectAll();

        // Silence, then ramp frames in order (frame 0 is silence too), then from a block
        // boundary on the file exactly as its decoder delivers it.
        const size_t end = capturedFrames.load();
        size_t i = 0;
        while (i < end && captured[i] == 0.0f) {
            ++i;
        }
        ASSERT_TRUE(i > 0 && i < end && frameOf(captured[i], 0) == 1) << "round " << round;
        const size_t rampStart = i - 1;
        ASSERT_EQ(rampStart % kBlock, 0u) << "round " << round;
        i = rampStart;
        while (i < end && frameOf(captured[i], 0) == long(i - rampStart) && captured[i] < 0.5f) {
            ++i;
        }
        ASSERT_GT(i, rampStart) << "round " << round;
        ASSERT_EQ(i % kBlock, 0u) << "the old music stops mid-block, round " << round;
        ASSERT_LE(i, atDrop + kBlock) << "round " << round;
        for (size_t f = 0; i + f < end && f < decoded[1].size(); ++f) {
            ASSERT_FLOAT_EQ(captured[i + f], decoded[1][f])
                << "frame " << f << " after the drop, round " << round;
        }
    }
    context->setOutput(nullptr);
}

TEST(FilePlayerDrop, AQueuedFileFollowsTheLastFrameOfTheCurrentOneWithoutAGap)
{
    Context* context = Context::master();
    NullCapture capture(context, kRate * 4);
    ASSERT_NE(capture.output, nullptr);
    const std::shared_ptr<OutputDeviceNodeNull>& output = capture.output;
    std::vector<float>& captured = capture.captured;
    std::atomic<size_t>& capturedFrames = capture.frames;

    // Lengths off the block size, so that the change falls inside a block.
    constexpr size_t kFirst = 30001;
    constexpr size_t kSecond = 20003;
    auto player = context->makeNode(new FilePlayerNode(makeRamp(kFirst, 2), true));
    player->connect(output);
    context->enable();
    player->start();
    // Another channel count cannot share the rings: the caller has to play it at the end.
    EXPECT_FALSE(player->queueSourceFile(makeRamp(kSecond, 1)));
    ASSERT_TRUE(player->queueSourceFile(makeRamp(kSecond, 2)));
    ASSERT_TRUE(waitFor([&] { return player->isEof(); }));
    ASSERT_TRUE(waitFor([&] { return capturedFrames.load() >= kFirst + kSecond + 8 * kBlock; }));
    context->disable();
    player->disconnectAll();
    context->setOutput(nullptr);

    EXPECT_EQ(player->getNumHandoffs(), 1u);
    const size_t end = capturedFrames.load();
    size_t i = 0;
    while (i < end && captured[i] == 0.0f) {
        ++i;
    }
    ASSERT_LT(i + kFirst + kSecond, end);
    for (size_t f = 0; f < kFirst; ++f) {
        ASSERT_EQ(frameOf(captured[i + f], 1), long(f)) << "frame " << f << " of the first file";
    }
    for (size_t f = 0; f < kSecond; ++f) {
        ASSERT_EQ(frameOf(captured[i + kFirst + f], 1), long(f)) << "frame " << f << " of the second file";
    }
    // After the second file the music ends, as it does without a queue.
    EXPECT_EQ(captured[i + kFirst + kSecond], 0.0f);
}

TEST(FilePlayerDrop, StartingOrReplacingTheMusicDropsTheQueuedFile)
{
    Context* context = Context::master();
    DeviceRef device = Context::deviceManager()->findDeviceByName("Null");
    ASSERT_NE(device, nullptr);
    auto output = context->createOutputDeviceNode(device);
    context->setOutput(output);
    // Long enough that the reader is still inside it when the queued file is dropped.
    auto player = context->makeNode(new FilePlayerNode(makeRamp(400000, 2), true));
    player->connect(output);
    context->enable();
    player->start();
    ASSERT_TRUE(player->queueSourceFile(makeRamp(4000, 2)));
    player->start();
    ASSERT_TRUE(player->queueSourceFile(makeRamp(4000, 2)));
    player->playSourceFile(makeRamp(4000, 2));
    ASSERT_TRUE(waitFor([&] { return player->isEof(); }));
    // Music that has ended has nothing to follow.
    EXPECT_FALSE(player->queueSourceFile(makeRamp(4000, 2)));
    context->disable();
    player->disconnectAll();
    context->setOutput(nullptr);
    EXPECT_EQ(player->getNumHandoffs(), 0u);
}

} // namespace
} // namespace mirvo::audio
