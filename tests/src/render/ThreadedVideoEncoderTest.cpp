#include "src/render/ThreadedVideoEncoder.h"

#include "src/render/ColourConversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mirvo::render {
namespace {

constexpr Vec2i kSize{4, 4};
constexpr int kLumaBytes = kSize.x * kSize.y;
constexpr int kChromaBytes = kLumaBytes / 4;

// A frame's planes as one string of numbers: "Y...|U...|V...".
std::string describePlanes(const YuvFrame& frame)
{
    std::string text;
    const auto add = [&text](const std::uint8_t* plane, int stride, int width, int height) {
        for (int row = 0; row < height; ++row) {
            for (int column = 0; column < width; ++column) {
                text += std::to_string(plane[row * stride + column]) + " ";
            }
        }
        text += "|";
    };
    add(frame.y, frame.yStride, kSize.x, kSize.y);
    add(frame.u, frame.uStride, kSize.x / 2, kSize.y / 2);
    add(frame.v, frame.vStride, kSize.x / 2, kSize.y / 2);
    return text;
}

// Frame `index`: every pixel and channel of it different, and different from the last.
std::vector<std::uint8_t> rgbaFrame(int index)
{
    std::vector<std::uint8_t> pixels(kLumaBytes * 4);
    for (std::size_t byte = 0; byte < pixels.size(); ++byte) {
        pixels[byte] = static_cast<std::uint8_t>(index * 7 + static_cast<int>(byte) * 29);
    }
    return pixels;
}

// Frame `index` converted, in planes of the strides `stride` gives (a multiple of the width).
struct Planes {
    explicit Planes(int index, int stride = 1)
        : y(kLumaBytes * stride), u(kChromaBytes * stride), v(kChromaBytes * stride)
    {
        rgbaToYuv420(rgbaFrame(index).data(), kSize.x, kSize.y,
                     YuvPlanes{y.data(), kSize.x * stride, u.data(), kSize.x / 2 * stride, v.data(),
                               kSize.x / 2 * stride});
        frame = {y.data(), kSize.x * stride, u.data(), kSize.x / 2 * stride, v.data(), kSize.x / 2 * stride};
    }
    std::vector<std::uint8_t> y, u, v;
    YuvFrame frame{};
};

// Records what reaches it, as "a<n>" for n audio frames and "v<planes>" for a frame; can be told
// to fail at a given frame, as a full disk would.
class RecordingEncoder : public VideoEncoder {
  public:
    explicit RecordingEncoder(std::vector<std::string>& log, int failAtFrame = -1)
        : mLog(log), mFailAtFrame(failAtFrame)
    {
    }
    bool hasAudio() const override { return true; }
    // The threaded encoder converts the frames itself.
    void writeVideoFrame(const std::uint8_t*) override { mLog.push_back("rgba"); }
    void writeYuvFrame(const YuvFrame& frame) override
    {
        if (static_cast<int>(mFrames) == mFailAtFrame) {
            throw EncodeError("cannot write: No space left on device");
        }
        mLog.push_back("v" + describePlanes(frame));
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

// Every third frame comes converted already, in planes with rows wider than the picture.
void writeSong(VideoEncoder& encoder, int numFrames)
{
    std::vector<float> left(100, 1.0f);
    std::vector<float> right(100, 2.0f);
    const float* channels[2] = {left.data(), right.data()};
    for (int frame = 0; frame < numFrames; ++frame) {
        encoder.writeAudio(channels, 30);
        encoder.writeAudio(channels, 40);
        if (frame % 3 == 2) {
            encoder.writeYuvFrame(Planes(frame, 3).frame);
        } else {
            encoder.writeVideoFrame(rgbaFrame(frame).data());
        }
    }
    encoder.writeAudio(channels, 5);
}

// More frames than slots, so the writer waits on the encoder and slots are used again; each
// frame's three planes reach the encoder whole, not a plane of another frame among them.
TEST(ThreadedVideoEncoder, HandsOnEverythingInTheOrderItWasWritten)
{
    std::vector<std::string> log;
    ThreadedVideoEncoder encoder(std::make_unique<RecordingEncoder>(log), kSize, 2, 2);
    writeSong(encoder, 50);
    encoder.finish();
    EXPECT_EQ(encoder.getNumVideoFrames(), 50u);

    std::vector<std::string> expected;
    for (int frame = 0; frame < 50; ++frame) {
        // The two audio blocks before a frame arrive as one, both channels kept.
        expected.push_back("a70:2");
        expected.push_back("v" + describePlanes(Planes(frame).frame));
    }
    expected.push_back("a5:2");
    expected.push_back("finish");
    EXPECT_EQ(log, expected);
}

TEST(ThreadedVideoEncoder, AFailureReachesTheWriterAndTheFileIsStillFinished)
{
    std::vector<std::string> log;
    ThreadedVideoEncoder encoder(std::make_unique<RecordingEncoder>(log, 3), kSize, 2, 2);
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
        ThreadedVideoEncoder encoder(std::make_unique<RecordingEncoder>(log), kSize, 2, 3);
        writeSong(encoder, 4);
    }
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "finish");
    EXPECT_EQ(log[log.size() - 2], "a5:2");
}

} // namespace
} // namespace mirvo::render
