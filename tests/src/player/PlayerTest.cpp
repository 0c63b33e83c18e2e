// The transport as a state machine: a real file player node in a graph rendered by hand, real
// files written here, and no window or sound card.
#include "src/player/Player.h"

#include "audio/ContextManual.h"
#include "audio/FilePlayerNode.h"
#include "audio/SourceFile.h"
#include "core/DataSource.h"
#include "tests/audio/WaitFor.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace mirvo {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kRate = 48000;
constexpr std::size_t kBlock = 512;

// A mono 16-bit WAV file of `frames` frames of a quiet square wave.
std::string wavBytes(std::size_t frames)
{
    std::string bytes;
    const auto put = [&bytes](uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
        }
    };
    const auto dataSize = static_cast<uint32_t>(frames * 2);
    bytes += "RIFF";
    put(36 + dataSize, 4);
    bytes += "WAVEfmt ";
    put(16, 4);
    put(1, 2); // PCM
    put(1, 2); // mono
    put(kRate, 4);
    put(kRate * 2, 4);
    put(2, 2);
    put(16, 2);
    bytes += "data";
    put(dataSize, 4);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        put((frame / 50) % 2 == 0 ? 0x1000 : 0xf000, 2);
    }
    return bytes;
}

class Folder {
  public:
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "mirvo-player-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        mPath = pattern;
    }
    ~Folder()
    {
        std::error_code ignored;
        fs::remove_all(mPath, ignored);
    }
    fs::path wav(const std::string& name, std::size_t frames) const
    {
        std::ofstream(mPath / name, std::ios::binary) << wavBytes(frames);
        return mPath / name;
    }
    fs::path text(const std::string& name) const
    {
        std::ofstream(mPath / name) << "not music\n";
        return mPath / name;
    }
    fs::path operator/(const std::string& name) const { return mPath / name; }

  private:
    fs::path mPath;
};

// A player on a graph of its own: the node plays into an output rendered block by block. With
// read-ahead the node follows a queued track without a gap, and each block waits for its reader.
struct Transport {
    explicit Transport(const fs::path& first, bool readAhead = false) : player(notices, false, false)
    {
        context = audio::ContextManual::create(kRate, kBlock, 1);
        const std::vector<std::string> given = {first.string()};
        const audio::SourceFileRef source = player.openFirst(given, kRate);
        node = context->makeNode(new audio::FilePlayerNode(source, readAhead));
        node->connect(context->getOutput());
        context->enable();
        node->enable();
        player.setNode(node);
        player.setLiveInputEnder([this] { ++liveInputEnded; });
        player.started();
    }
    ~Transport() { context->disable(); }

    // Renders `seconds` of music, a frame's update after each block.
    void play(float seconds)
    {
        const auto blocks = static_cast<std::size_t>(seconds * float(kRate) / float(kBlock)) + 1;
        for (std::size_t block = 0; block < blocks; ++block) {
            waitForReader();
            context->renderBlocks(1);
            const audio::Buffer& out = context->getManualOutput()->getOutputBuffer();
            heard.insert(heard.end(), out.getChannel(0), out.getChannel(0) + out.getNumFrames());
            now += float(kBlock) / float(kRate);
            player.update(now);
            player.finishLoading();
        }
    }
    std::string playing() const { return player.getQueue().currentPath().filename().string(); }

    // Until the reader has a block ready or has read all there is; bounded for liveness only.
    void waitForReader() const
    {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (node->isReadAsync() && node->isEnabled() && node->getNumBufferedFrames() < kBlock &&
               !readerDone() && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    bool readerDone() const
    {
        const std::optional<std::size_t> known = node->getKnownNumFrames();
        return known && node->getReadPosition() >= *known && !node->isHandoffPending();
    }
    // Samples rendered from `from` on, up to the first silence: the music as one stretch.
    std::size_t soundingFrom(std::size_t from) const
    {
        std::size_t at = from;
        while (at < heard.size() && heard[at] != 0.0f) {
            ++at;
        }
        return at - from;
    }

    Notices notices;
    Player player;
    audio::ContextManualRef context;
    std::shared_ptr<audio::FilePlayerNode> node;
    int liveInputEnded = 0;
    float now = 0.0f;
    std::vector<float> heard;
};

TEST(Player, ADropPlaysFromItsFirstFrameResumesAPausedPlayerAndEndsLiveInput)
{
    Folder folder;
    Transport transport(folder.wav("start.wav", kRate));
    transport.play(0.2f);
    transport.player.pause();
    ASSERT_EQ(transport.player.getStatus(), Player::Status::PAUSED);

    transport.player.open({folder.wav("dropped.wav", kRate)});
    transport.player.finishLoading();
    EXPECT_EQ(transport.playing(), "dropped.wav");
    EXPECT_EQ(transport.player.getStatus(), Player::Status::PLAYING);
    EXPECT_EQ(transport.player.getPositionMicros(), 0);
    EXPECT_EQ(transport.liveInputEnded, 1);
    ASSERT_NE(transport.player.getTrack(), nullptr);
    EXPECT_EQ(transport.player.getTrack()->fileName, "dropped.wav");
    EXPECT_EQ(transport.player.getTrack()->serial, 2u);
}

TEST(Player, PlayEndsLiveInputAsTheKeyDoes)
{
    Folder folder;
    Transport transport(folder.wav("a.wav", kRate));
    // Live input pauses the music while it is on.
    transport.node->disable();
    transport.player.playPause();
    EXPECT_EQ(transport.liveInputEnded, 1);
    EXPECT_EQ(transport.player.getStatus(), Player::Status::PLAYING);
}

TEST(Player, TracksFollowEachOtherPastABadOneAndTheEndOfTheQueueStops)
{
    Folder folder;
    folder.wav("1 a.wav", kRate / 4);
    folder.text("2 broken.wav");
    folder.wav("3 c.wav", kRate / 4);
    testing::internal::CaptureStderr();
    Transport transport(folder / "");
    EXPECT_EQ(transport.playing(), "1 a.wav");
    EXPECT_TRUE(transport.player.canGoNext());
    transport.play(0.4f);
    EXPECT_EQ(transport.playing(), "3 c.wav");
    EXPECT_FALSE(transport.player.canGoNext());
    transport.play(0.4f);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(errors, "mirvo: cannot play '" + (folder / "2 broken.wav").string() + "': not an audio file\n");
    EXPECT_EQ(transport.player.getStatus(), Player::Status::STOPPED);
    EXPECT_FALSE(transport.player.getQueue().current());

    // Play after the end starts the queue again.
    transport.player.play();
    transport.player.finishLoading();
    EXPECT_EQ(transport.playing(), "1 a.wav");
    EXPECT_EQ(transport.player.getStatus(), Player::Status::PLAYING);
}

TEST(Player, StopThenPlayStartsTheTrackAgainAndNextFromTheDesktopKeepsItPaused)
{
    Folder folder;
    folder.wav("1 a.wav", kRate);
    folder.wav("2 b.wav", kRate);
    Transport transport(folder / "");
    transport.play(0.3f);
    transport.player.stop();
    EXPECT_EQ(transport.player.getStatus(), Player::Status::STOPPED);
    EXPECT_EQ(transport.player.getPositionMicros(), 0);
    transport.player.play();
    EXPECT_EQ(transport.player.getStatus(), Player::Status::PLAYING);
    EXPECT_EQ(transport.playing(), "1 a.wav");

    transport.player.pause();
    transport.player.next(true);
    transport.player.finishLoading();
    EXPECT_EQ(transport.playing(), "2 b.wav");
    EXPECT_EQ(transport.player.getStatus(), Player::Status::PAUSED);
}

// Walking and opening happen on the loader's worker: the command returns at once and the
// music plays on, untouched, until the new track is ready.
TEST(Player, ADropTakesEffectOnlyOnceItsFilesAreOpenAndTheMusicPlaysOnMeanwhile)
{
    Folder folder;
    Transport transport(folder.wav("start.wav", kRate * 4));
    std::vector<fs::path> dropped;
    for (int i = 0; i < 200; ++i) {
        dropped.push_back(folder.text("bad " + std::to_string(i) + ".wav"));
    }
    dropped.push_back(folder.wav("good.wav", kRate));
    testing::internal::CaptureStderr();
    transport.player.open(dropped);
    EXPECT_EQ(transport.playing(), "start.wav");
    EXPECT_EQ(transport.player.getStatus(), Player::Status::PLAYING);
    transport.player.finishLoading();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(transport.playing(), "good.wav");
    EXPECT_EQ(transport.player.getQueue().size(), 201u);
}

} // namespace
TEST(Player, PreviousCountsTheTimePlayedNotTheTimePaused)
{
    Folder folder;
    folder.wav("1 a.wav", kRate * 10);
    folder.wav("2 b.wav", kRate * 10);
    Transport transport(folder / "");
    transport.player.next(false);
    transport.player.finishLoading();
    ASSERT_EQ(transport.playing(), "2 b.wav");
    transport.play(0.5f);
    transport.player.pause();
    // Five seconds paused: the track has still played only half a second.
    transport.now += 5.0f;
    transport.player.update(transport.now);
    transport.player.previous(false);
    transport.player.finishLoading();
    EXPECT_EQ(transport.playing(), "1 a.wav");
}

namespace {

// A VBR MP3 without the header that states its length, as some encoders and cut downloads
// leave it: the container only estimates how long it is. Made by the encoder itself.
fs::path headerlessMp3(const Folder& folder, const std::string& name, int seconds)
{
    const fs::path path = folder / name;
    const std::string length = std::to_string(seconds);
    const std::string command =
        "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=330:duration=" + length +
        "' -f lavfi -i 'anoisesrc=d=" + length +
        ":a=0.3' -filter_complex amix=inputs=2 -ar 48000 -c:a libmp3lame -q:a 4 "
        "-write_xing 0 '" +
        path.string() + "'";
    return std::system(command.c_str()) == 0 ? path : fs::path();
}

constexpr int64_t kSecond = 1'000'000;
// What a position may be off by: the reader may be between filling the rings and moving its
// read position on by a refill (4096 frames) while the position is taken.
constexpr double kPositionSlack = 4096.0 * 1e6 / double(kRate);

TEST(Player, ASeekInAFileOfEstimatedLengthGoesThereAndPastItsEndTheNextTrackFollows)
{
    Folder folder;
    const fs::path first = headerlessMp3(folder, "1 estimated.mp3", 12);
    ASSERT_FALSE(first.empty()) << "ffmpeg could not write the MP3";
    folder.wav("2 next.wav", kRate);
    Transport transport(folder / "", true);
    ASSERT_EQ(transport.playing(), "1 estimated.mp3");
    transport.play(0.2f);

    transport.player.seekTo(8 * kSecond);
    EXPECT_NEAR(double(transport.player.getPositionMicros()), double(8 * kSecond), kPositionSlack);
    EXPECT_EQ(transport.player.getNumSeeks(), 1u);
    transport.play(0.5f);
    EXPECT_NEAR(double(transport.player.getPositionMicros()), double(8 * kSecond + kSecond / 2),
                kPositionSlack + 1e6 * double(kBlock) / double(kRate));
    EXPECT_EQ(transport.player.getStatus(), Player::Status::PLAYING);

    // A minute ahead is past the end whatever the estimate said: the next track follows at once.
    transport.player.seekBy(60 * kSecond);
    transport.play(0.3f);
    EXPECT_EQ(transport.playing(), "2 next.wav");
    EXPECT_EQ(transport.player.getStatus(), Player::Status::PLAYING);
    EXPECT_LT(transport.player.getPositionMicros(), kSecond / 2);
    // Back before the start is the start.
    transport.player.seekBy(-10 * kSecond);
    EXPECT_EQ(transport.player.getPositionMicros(), 0);
    transport.play(1.2f);
    EXPECT_EQ(transport.player.getStatus(), Player::Status::STOPPED);
}

// The reader has moved on to the next track while the end of this one still plays: a seek then
// lands in the track the controls show, and the music goes on from there to the end with
// neither a gap nor a lost frame.
// The reader moves on to the next track up to half a second before it is heard; the track told
// to the person and to the desktop changes with the block that plays its first frame.
TEST(Player, TheNextTrackIsToldWhenItIsHeardNotWhenItIsRead)
{
    Folder folder;
    folder.wav("1 a.wav", kRate);
    folder.wav("2 b.wav", kRate);
    Transport transport(folder / "", true);
    std::size_t readAt = 0;
    std::size_t toldAt = 0;
    while (transport.heard.size() < 2 * kRate && toldAt == 0) {
        // However busy the machine, the reader is a quarter of a second ahead or has moved on.
        ASSERT_TRUE(audio::test::waitFor([&] {
            return transport.node->getNumHandoffs() == 1 ||
                   transport.node->getNumBufferedFrames() >= kRate / 4;
        }));
        transport.play(0.0f);
        if (readAt == 0 && transport.node->getNumHandoffs() == 1) {
            readAt = transport.heard.size();
        }
        if (transport.player.getTrack()->fileName == "2 b.wav") {
            toldAt = transport.heard.size();
        }
    }
    EXPECT_LT(readAt, kRate - kRate / 4) << "the reader no longer reads ahead";
    EXPECT_GT(toldAt, kRate);
    EXPECT_LE(toldAt, kRate + kBlock);
}

TEST(Player, ASeekDuringTheHandOffToTheNextTrackLosesNothingAndLeavesNothingStuck)
{
    Folder folder;
    folder.wav("1 a.wav", kRate);
    folder.wav("2 b.wav", kRate);
    folder.wav("3 c.wav", kRate);
    Transport transport(folder / "", true);
    transport.play(0.1f);
    // Close enough to the end that the reader reaches it and hands off to the next track.
    transport.player.seekTo(kSecond - kSecond / 20);
    ASSERT_TRUE(audio::test::waitFor([&] { return transport.node->getNumHandoffs() == 1; }));
    transport.player.seekTo(kSecond / 4);
    EXPECT_EQ(transport.playing(), "2 b.wav");
    EXPECT_NEAR(double(transport.player.getPositionMicros()), double(kSecond / 4), kPositionSlack);

    const std::size_t from = transport.heard.size();
    transport.play(2.0f);
    // The rest of b, then all of c, as one stretch of sound.
    EXPECT_EQ(transport.soundingFrom(from), kRate - kRate / 4 + kRate);
    EXPECT_EQ(transport.player.getStatus(), Player::Status::STOPPED);
    EXPECT_EQ(transport.player.getNumTracksStarted(), 3u);
}

TEST(Player, TrackRepeatPlaysTheTrackAgainWithoutAGapUntilItIsTurnedOff)
{
    Folder folder;
    folder.wav("1 a.wav", kRate / 4);
    folder.wav("2 b.wav", kRate / 4);
    Transport transport(folder / "", true);
    transport.player.setRepeat(Player::Repeat::TRACK);
    transport.play(1.1f);
    EXPECT_EQ(transport.playing(), "1 a.wav");
    EXPECT_GE(transport.player.getNumTracksStarted(), 5u);
    EXPECT_EQ(transport.soundingFrom(0), transport.heard.size());

    // The reader keeps half a second decoded ahead, so it may be rounds of a ahead of what is
    // heard: those play to their end, then b once, and the queue ends.
    transport.player.setRepeat(Player::Repeat::OFF);
    const std::size_t roundsOfA = transport.player.getNumTracksStarted();
    transport.play(1.5f);
    EXPECT_EQ(transport.player.getStatus(), Player::Status::STOPPED);
    const std::size_t started = transport.player.getNumTracksStarted();
    EXPECT_GT(started, roundsOfA);
    EXPECT_LE(started, roundsOfA + 3);
    // a round after round, then b, and not a moment of silence between them.
    EXPECT_EQ(transport.soundingFrom(0), started * (kRate / 4));
}

} // namespace

} // namespace mirvo
