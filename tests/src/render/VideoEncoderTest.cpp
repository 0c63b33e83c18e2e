#include "src/render/VideoEncoder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace mirvo::render {
namespace {

namespace fs = std::filesystem;

class Encoding : public ::testing::Test {
  protected:
    Encoding() : folder(fs::temp_directory_path() / ("mirvo-encoder-" + std::to_string(::getpid())))
    {
        fs::create_directories(folder);
    }
    ~Encoding() override { fs::remove_all(folder); }

    VideoSettings settings(const std::string& name) const
    {
        VideoSettings result;
        result.path = (folder / name).string();
        result.size = {8, 4};
        result.fps = 30;
        return result;
    }

    // An RGBA frame, bottom row first as GL reads it: the top half white, the bottom black.
    std::vector<std::uint8_t> topWhiteFrame() const
    {
        std::vector<std::uint8_t> pixels(8 * 4 * 4, 0);
        for (int row = 2; row < 4; ++row) {
            for (int byte = 0; byte < 8 * 4; ++byte) {
                pixels[static_cast<std::size_t>(row * 8 * 4 + byte)] = 255;
            }
        }
        return pixels;
    }

    fs::path folder;
};

std::string readAll(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The raw container shows what reaches the file: its header, one FRAME per frame written, and
// the picture the right way up (the GL's bottom row last).
TEST_F(Encoding, RawFramesArriveWholeInOrderAndUpright)
{
    const VideoSettings raw = settings("out.y4m");
    auto encoder = VideoEncoder::create(raw);
    EXPECT_FALSE(encoder->hasAudio());
    const std::vector<std::uint8_t> frame = topWhiteFrame();
    for (int n = 0; n < 3; ++n) {
        encoder->writeVideoFrame(frame.data());
    }
    const float silence[16] = {};
    const float* channels[2] = {silence, silence};
    encoder->writeAudio(channels, 16);
    encoder->finish();
    EXPECT_EQ(encoder->getNumVideoFrames(), 3u);

    const std::string data = readAll(raw.path);
    ASSERT_EQ(data.rfind("YUV4MPEG2 W8 H4 F30:1", 0), 0u) << data.substr(0, 40);
    std::size_t frames = 0;
    std::size_t at = 0;
    std::size_t firstFrame = std::string::npos;
    while ((at = data.find("FRAME\n", at)) != std::string::npos) {
        firstFrame = frames == 0 ? at + 6 : firstFrame;
        ++frames;
        at += 6;
    }
    EXPECT_EQ(frames, 3u);
    ASSERT_NE(firstFrame, std::string::npos);
    // Luma: the top row limited-range white, the bottom row black.
    EXPECT_GE(static_cast<unsigned char>(data[firstFrame]), 230);
    EXPECT_LE(static_cast<unsigned char>(data[firstFrame + 3 * 8]), 20);
}

TEST_F(Encoding, EveryContainerFinishesAFileWithItsTracks)
{
    for (const char* name : {"out.mp4", "out.mkv", "out.webm"}) {
        VideoSettings withAudio = settings(name);
        withAudio.size = {64, 32};
        withAudio.sampleRate = 44100;
        auto encoder = VideoEncoder::create(withAudio);
        EXPECT_TRUE(encoder->hasAudio()) << name;
        std::vector<std::uint8_t> frame(64 * 32 * 4, 128);
        std::vector<float> tone(1470, 0.25f);
        const float* channels[2] = {tone.data(), tone.data()};
        for (int n = 0; n < 10; ++n) {
            encoder->writeVideoFrame(frame.data());
            encoder->writeAudio(channels, tone.size());
        }
        encoder->finish();
        // Finishing twice (as the destructor does after a finish) writes nothing more.
        const auto size = fs::file_size(withAudio.path);
        encoder.reset();
        EXPECT_EQ(fs::file_size(withAudio.path), size) << name;
        EXPECT_GT(size, 500u) << name;
    }
}

TEST_F(Encoding, AFileThatCannotBeOpenedIsOneLineNamingIt)
{
    const VideoSettings missing = settings("no/such/folder/out.mp4");
    try {
        VideoEncoder::create(missing);
        FAIL() << "no error";
    } catch (const EncodeError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find("out.mp4"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
    EXPECT_FALSE(fs::exists(folder / "no"));
}

} // namespace
} // namespace mirvo::render
