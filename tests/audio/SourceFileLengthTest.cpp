// Files whose container misstates its length, as encoders and streams write them: a VBR MP3
// without its header (the length estimated from the first frame's bit rate), FLAC written to a
// pipe and Matroska/WebM written live (no length at all). Each must be read, played and
// measured to the decoder's own end, with not a frame lost.
#include "AudioFileFixtures.h"

#include "audio/ContextManual.h"
#include "audio/FilePlayerNode.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

namespace mirvo::audio {
namespace {

using test::quote;
using test::run;
using test::TempDir;

constexpr size_t kGraphRate = 48000;
constexpr size_t kBlock = 512;

// A file written by ffmpeg into a pipe, as a live recorder or a stream dump writes it: the
// muxer cannot go back to fill in the length.
std::string makePiped(const TempDir& dir, const std::string& name, const std::string& source,
                      const std::string& encode)
{
    const std::string path = dir.file(name);
    const std::string command = "ffmpeg -nostdin -v error -f lavfi -i " + quote(source) + " " + encode +
                                " pipe: | cat > " + quote(path);
    if (std::system(command.c_str()) != 0) {
        ADD_FAILURE() << "could not make " << name << " with: " << command;
    }
    return path;
}

// How many frames the ffmpeg tool decodes from the file's first audio stream.
size_t framesDecodedByTheTool(const TempDir& dir, const std::string& path, size_t channels)
{
    const std::string raw = dir.file("reference.f32");
    run("ffmpeg -nostdin -y -i " + quote(path) + " -map 0:a:0 -c:a pcm_f32le -f f32le " + quote(raw));
    std::error_code error;
    const auto bytes = std::filesystem::file_size(raw, error);
    if (error || bytes == 0) {
        ADD_FAILURE() << "ffmpeg could not decode " << path;
        return 0;
    }
    return size_t(bytes) / (sizeof(float) * channels);
}

struct Case {
    std::string name;
    std::string path;
    size_t channels;
    // What the tool decodes, at the file's own rate.
    size_t frames = 0;
};

std::vector<Case> makeCases(const TempDir& dir)
{
    std::vector<Case> cases;
    // A 20 s sine without the Xing header: FFmpeg estimates 18.4 s from the bit rate.
    const std::string vbr = dir.file("noxing.mp3");
    run("ffmpeg -nostdin -y -f lavfi -i sine=f=440:d=20:r=44100 -c:a libmp3lame -q:a 2 -write_xing 0 " +
        quote(vbr));
    cases.push_back({"VBR MP3 without a header", vbr, 1});
    cases.push_back(
        {"FLAC to a pipe", makePiped(dir, "piped.flac", "sine=f=440:d=5:r=44100", "-ac 2 -f flac"), 2});
    cases.push_back({"WebM written live",
                     makePiped(dir, "live.webm", "sine=f=440:d=5:r=48000", "-c:a libopus -f webm"), 1});
    cases.push_back({"Matroska written live",
                     makePiped(dir, "live.mka", "sine=f=440:d=5:r=44100", "-c:a libvorbis -f matroska"), 1});
    for (Case& c : cases) {
        c.frames = framesDecodedByTheTool(dir, c.path, c.channels);
    }
    return cases;
}

TEST(SourceFileLength, AnEstimatedOrMissingLengthIsReadToTheDecodersEnd)
{
    TempDir dir;
    for (const Case& c : makeCases(dir)) {
        auto source = test::loadPath(c.path);
        EXPECT_FALSE(source->isNumFramesKnown()) << c.name;
        EXPECT_NE(source->getNumFrames(), c.frames) << c.name << ": the container states the true length";
        const auto read = test::readAll(*source, 4096);
        EXPECT_EQ(read[0].size(), c.frames) << c.name;
        EXPECT_TRUE(source->isNumFramesKnown()) << c.name;
        EXPECT_EQ(source->getNumFrames(), c.frames) << c.name;

        // Resampled on the way, the length follows the rates.
        auto resampled = test::loadPath(c.path, kGraphRate);
        const double expected =
            double(c.frames) * double(kGraphRate) / double(resampled->getSampleRateNative());
        EXPECT_NEAR(double(resampled->measureNumFrames()), expected, 64.0) << c.name;
        EXPECT_TRUE(resampled->isNumFramesKnown()) << c.name;
        EXPECT_EQ(resampled->getReadPosition(), 0u) << c.name << ": measuring leaves the source at its start";
        EXPECT_NEAR(double(test::readAll(*resampled, 4096)[0].size()), expected, 64.0) << c.name;
    }
}

TEST(SourceFileLength, ASeekPastTheEstimateLandsWhereTheMusicIs)
{
    TempDir dir;
    const Case c = makeCases(dir).front();
    auto source = test::loadPath(c.path);
    ASSERT_LT(source->getNumFrames() + 44100, c.frames) << "the estimate falls short by a second or more";
    source->seek(c.frames - 22050);
    EXPECT_EQ(test::readAll(*source, 4096)[0].size(), 22050u);
    EXPECT_EQ(source->getNumFrames(), c.frames);

    // Past the true end there is nothing, and the length is not taken from where the seek went.
    auto again = test::loadPath(c.path);
    again->seek(c.frames + 44100);
    EXPECT_EQ(test::readAll(*again, 4096)[0].size(), 0u);
    EXPECT_NE(again->getNumFrames(), c.frames + 44100);
}

// Renders through the graph the program builds, with and without read-ahead, until the player
// ends; returns the frames heard (the sine is never exactly zero for long).
size_t playToTheEnd(const SourceFileRef& source, bool readAhead, std::optional<size_t>& knownLength)
{
    auto context = ContextManual::create(kGraphRate, kBlock, 2);
    auto player = context->makeNode(new FilePlayerNode(source, readAhead));
    player->connect(context->getOutput());
    player->start();
    size_t lastHeard = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (size_t block = 0; !player->isEof() && std::chrono::steady_clock::now() < deadline; ++block) {
        // The offline render must not outrun the reader.
        while (readAhead && player->isEnabled() && player->getNumBufferedFrames() < kBlock &&
               !player->getKnownNumFrames() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        context->renderBlocks(1);
        const Buffer& out = context->getManualOutput()->getOutputBuffer();
        for (size_t i = 0; i < kBlock; ++i) {
            if (out.getChannel(0)[i] != 0.0f) {
                lastHeard = block * kBlock + i + 1;
            }
        }
    }
    knownLength = player->getKnownNumFrames();
    return lastHeard;
}

TEST(SourceFileLength, ThePlayerPlaysToTheTrueEndAndThenKnowsTheLength)
{
    TempDir dir;
    for (const Case& c : makeCases(dir)) {
        for (const bool readAhead : {true, false}) {
            SourceFileRef source = test::loadPath(c.path, kGraphRate);
            const double expected =
                double(c.frames) * double(kGraphRate) / double(source->getSampleRateNative());
            std::optional<size_t> known;
            const size_t heard = playToTheEnd(source, readAhead, known);
            EXPECT_NEAR(double(heard), expected, 600.0) << c.name << (readAhead ? "" : " without read-ahead");
            ASSERT_TRUE(known.has_value()) << c.name;
            EXPECT_NEAR(double(*known), expected, 64.0) << c.name;
        }
    }
}

TEST(SourceFileLength, AFileThatHoldsNoFramesIsRefusedByThePlayer)
{
    TempDir dir;
    const std::string empty = dir.file("empty.wav");
    ASSERT_TRUE(run("ffmpeg -nostdin -y -f lavfi -i anullsrc=r=44100 -t 0 " + quote(empty)));
    const std::string music = test::makeTone(dir, "music.wav", 48000, 2, 48000);
    auto context = ContextManual::create(kGraphRate, kBlock, 2);
    auto player = context->makeNode(new FilePlayerNode(test::loadPath(music), true));
    player->connect(context->getOutput());
    player->start();
    try {
        player->playSourceFile(test::loadPath(empty));
        ADD_FAILURE() << "an empty file was taken for music";
    } catch (const AudioFileExc& exc) {
        EXPECT_EQ(exc.getReason(), AudioFileExc::Reason::NO_AUDIO);
        EXPECT_STREQ(describe(exc.getReason()), "it holds no audio");
    }
    EXPECT_TRUE(player->isEnabled());
    EXPECT_EQ(player->getSourceFile()->getNumChannels(), 2u) << "the music plays on";
}

} // namespace
} // namespace mirvo::audio
