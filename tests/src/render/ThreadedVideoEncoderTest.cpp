#include "src/render/ThreadedVideoEncoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirvo::render {
namespace {

// Records what reaches it, as "a<n>" for n audio frames and "v<first byte>" for a frame; can be
// told to fail at a given frame, as a full disk would.
class RecordingEncoder : public VideoEncoder {
  public:
    explicit RecordingEncoder(std::vector<std::string>& log, int failAtFrame = -1)
        : mLog(log), mFailAtFrame(failAtFrame)
    {
    }
    bool hasAudio() const override { return true; }
    void writeVideoFrame(const std::uint8_t* rgba) override
    {
        if (static_cast<int>(mFrames) == mFailAtFrame) {
            throw EncodeError("cannot write: No space left on device");
        }
        mLog.push_back("v" + std::to_string(rgba[0]));
        ++mFrames;
    }
    void writeAudio(const float* const* channels, std::size_t numFrames) override
    {
        mLog.push_back("a" + std::to_string(numFrames) + ":" +
                       std::to_string(static_cast<int>(channels[1][0])));
    }
    void finish() override { mLog.push_back("finish"); }
    std::uint64_t getNumVideoFrames() const override { return mFrames; }
    PhaseTimes getTimes() const override { return {}; }

  private:
    std::vector<std::string>& mLog;
    int mFailAtFrame;
    std::uint64_t mFrames = 0;
};

constexpr std::size_t kFrameBytes = 16;

void writeSong(VideoEncoder& encoder, int numFrames)
{
    std::vector<float> left(100, 1.0f);
    std::vector<float> right(100, 2.0f);
    const float* channels[2] = {left.data(), right.data()};
    for (int frame = 0; frame < numFrames; ++frame) {
        encoder.writeAudio(channels, 30);
        encoder.writeAudio(channels, 40);
        std::vector<std::uint8_t> pixels(kFrameBytes, static_cast<std::uint8_t>(frame));
        encoder.writeVideoFrame(pixels.data());
    }
    encoder.writeAudio(channels, 5);
}

// More frames than slots, so the writer waits on the encoder and slots are used again.
TEST(ThreadedVideoEncoder, HandsOnEverythingInTheOrderItWasWritten)
{
    std::vector<std::string> log;
    ThreadedVideoEncoder encoder(std::make_unique<RecordingEncoder>(log), kFrameBytes, 2, 2);
    writeSong(encoder, 50);
    encoder.finish();
    EXPECT_EQ(encoder.getNumVideoFrames(), 50u);

    std::vector<std::string> expected;
    for (int frame = 0; frame < 50; ++frame) {
        // The two audio blocks before a frame arrive as one, both channels kept.
        expected.push_back("a70:2");
        expected.push_back("v" + std::to_string(frame));
    }
    expected.push_back("a5:2");
    expected.push_back("finish");
    EXPECT_EQ(log, expected);
}

TEST(ThreadedVideoEncoder, AFailureReachesTheWriterAndTheFileIsStillFinished)
{
    std::vector<std::string> log;
    ThreadedVideoEncoder encoder(std::make_unique<RecordingEncoder>(log, 3), kFrameBytes, 2, 2);
    try {
        writeSong(encoder, 100);
        FAIL() << "no error";
    } catch (const EncodeError& error) {
        EXPECT_NE(std::string(error.what()).find("No space left"), std::string::npos);
    }
    // Finishing closes the file and says again why it stopped.
    EXPECT_THROW(encoder.finish(), EncodeError);
    EXPECT_EQ(encoder.getNumVideoFrames(), 3u);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "finish");
}

TEST(ThreadedVideoEncoder, DroppedUnfinishedItStillFinishes)
{
    std::vector<std::string> log;
    {
        ThreadedVideoEncoder encoder(std::make_unique<RecordingEncoder>(log), kFrameBytes, 2, 3);
        writeSong(encoder, 4);
    }
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "finish");
    EXPECT_EQ(log[log.size() - 2], "a5:2");
}

} // namespace
} // namespace mirvo::render
