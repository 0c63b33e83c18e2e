// Inputs that are not good audio files: each gives the decoder's exception with its message,
// or plays to a clean end, and never crashes, hangs or leaves a thread behind.
#include "AudioFileFixtures.h"

#include "audio/ContextManual.h"
#include "audio/Exception.h"
#include "audio/FilePlayerNode.h"
#include "audio/ffmpeg/SourceFileFfmpeg.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace mirvo::audio;
using namespace mirvo::audio::test;

namespace {

const std::string kPlatformError = "could not open audio source file: ";
const std::string kVorbisError = "Failed to open Ogg Vorbis file with error: ";

// The message load gives for path, or "" when it opened.
std::string loadError(const std::string& path)
{
    try {
        loadPath(path);
    } catch (const AudioFileExc& exc) {
        return exc.what();
    }
    return "";
}

} // namespace

TEST(SourceFileBadInput, FilesThatAreNotAudioGiveTheDecodersMessage)
{
    TempDir dir;
    writeBytes(dir.file("empty.mp3"), "");
    writeBytes(dir.file("text.mp3"), "This is not an MP3 file, only a few words of text.\n");
    writeBytes(dir.file("text.ogg"), "OggS but not really, and then some text.\n");
    EXPECT_EQ(loadError(dir.file("empty.mp3")), kPlatformError + dir.file("empty.mp3"));
    EXPECT_EQ(loadError(dir.file("text.mp3")), kPlatformError + dir.file("text.mp3"));
    EXPECT_EQ(loadError(dir.file("text.ogg")), kVorbisError);

    const std::string png = "/usr/share/forensics-samples/original-files/pic1/debian_logo.png";
    if (std::filesystem::exists(png)) {
        std::filesystem::copy_file(png, dir.file("picture.ogg"));
        std::filesystem::copy_file(png, dir.file("picture.mp3"));
        EXPECT_EQ(loadError(dir.file("picture.ogg")), kVorbisError);
        EXPECT_EQ(loadError(dir.file("picture.mp3")), kPlatformError + dir.file("picture.mp3"));
    }
}

TEST(SourceFileBadInput, OpusInOggPlaysThoughTheVorbisDecoderCannotReadIt)
{
    // What most .ogg downloads hold today, made as the user made it.
    TempDir dir;
    const std::string opus = makeTone(dir, "opus.ogg", 48000, 2, 48000, "-c:a libopus");
    std::unique_ptr<SourceFile> source;
    ASSERT_NO_THROW(source = loadPath(opus));
    EXPECT_EQ(source->getNumChannels(), 2u);
    EXPECT_EQ(readAll(*source, 4096)[0].size(), 48000u);
    // Another rate goes through the same decoder again.
    ASSERT_NO_THROW(source = loadPath(opus, 44100));
    EXPECT_NEAR(double(readAll(*source, 4096)[0].size()), 44100.0, 64.0);

    // An Ogg Vorbis file still goes to the Vorbis decoder, which gives its comments.
    const std::string vorbis = makeVorbis(dir, "vorbis.ogg", 44100, 2, 4410);
    EXPECT_NE(loadPath(vorbis)->getMetaData().find("encoded by: "), std::string::npos);

    // Neither decoder reads a cut-off Opus header: refused, and not as "not an audio file".
    copyPrefix(opus, dir.file("cut.ogg"), 40);
    try {
        loadPath(dir.file("cut.ogg"));
        ADD_FAILURE() << "a cut-off header was opened";
    } catch (const AudioFileExc& exc) {
        EXPECT_EQ(std::string(exc.what()), kVorbisError);
        EXPECT_EQ(exc.getReason(), AudioFileExc::Reason::DAMAGED);
    }
}

namespace {

long peakResidentKb()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

TEST(SourceFileBadInput, AHugeFileOfZerosIsJudgedInAFewMegabytes)
{
    // A download that reserved its whole size before the first byte came: 20 GB of zeros, a
    // sparse file here. Recognising it must read a few MB, not the whole file.
    constexpr auto kHuge = uintmax_t(20) << 30;
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer keeps freed blocks resident in its quarantine: only a runaway shows.
    constexpr long kMemoryAllowanceKb = 256 * 1024;
#else
    constexpr long kMemoryAllowanceKb = 32 * 1024;
#endif
    TempDir dir;
    for (const std::string name :
         {"zeros.mp3", "zeros.ogg", "zeros.flac", "zeros.wav", "zeros.m4a", "zeros.mka"}) {
        writeBytes(dir.file(name), "");
        std::filesystem::resize_file(dir.file(name), kHuge);
        const long before = peakResidentKb();
        EXPECT_NE(loadError(dir.file(name)), "") << name;
        EXPECT_LT(peakResidentKb() - before, kMemoryAllowanceKb) << name;
        std::filesystem::remove(dir.file(name));
    }

    // The same download after its first seconds have come: they play, and the zeros end it.
    const std::string partial = makeTone(dir, "partial.mp3", 44100, 2, 2 * 44100);
    std::filesystem::resize_file(partial, kHuge);
    const long before = peakResidentKb();
    std::unique_ptr<SourceFile> source;
    ASSERT_NO_THROW(source = loadPath(partial));
    EXPECT_NEAR(double(readAll(*source, 4096)[0].size()), 2.0 * 44100, 4096.0);
    EXPECT_LT(peakResidentKb() - before, kMemoryAllowanceKb);

    // Silence in uncompressed samples is zeros too, and it is music: half a minute plays whole.
    const std::string silence = dir.file("silence.wav");
    ASSERT_TRUE(run("ffmpeg -nostdin -y -f lavfi -i anullsrc=r=44100:cl=stereo -t 30 -c:a pcm_s16le " +
                    quote(silence)));
    EXPECT_EQ(readAll(*loadPath(silence), 4096)[0].size(), 30u * 44100);
}

TEST(SourceFileBadInput, MissingPathsDirectoriesAndFifosAreRefusedWithoutBlocking)
{
    TempDir dir;
    const std::string missing = dir.file("no such 100% file.mp3");
    EXPECT_EQ(loadError(missing), kPlatformError + dir.file("no%20such%20100%25%20file.mp3"));
    EXPECT_EQ(loadError(dir.file("no such.ogg")), kVorbisError);

    std::filesystem::create_directory(dir.file("folder.mp3"));
    std::filesystem::create_directory(dir.file("folder.ogg"));
    EXPECT_EQ(loadError(dir.file("folder.mp3")), kPlatformError + dir.file("folder.mp3"));
    EXPECT_EQ(loadError(dir.file("folder.ogg")), kVorbisError);

    // Opening a FIFO for reading waits for a writer that never comes.
    ASSERT_EQ(mkfifo(dir.file("pipe.mp3").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.file("pipe.ogg").c_str(), 0600), 0);
    EXPECT_EQ(loadError(dir.file("pipe.mp3")), kPlatformError + dir.file("pipe.mp3"));
    EXPECT_EQ(loadError(dir.file("pipe.ogg")), kVorbisError);
    EXPECT_EQ(loadError("/dev/zero"), kPlatformError + "/dev/zero");
}

TEST(SourceFileBadInput, NetworkLinksAreNotOpened)
{
    EXPECT_EQ(loadError("http://127.0.0.1:9/music.mp3"), kPlatformError + "http%3A//127.0.0.1%3A9/music.mp3");
    // A playlist on disk that points at the network: the local-files-only rule holds inside it.
    TempDir dir;
    writeBytes(dir.file("list.m3u8"),
               "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\nhttp://127.0.0.1:9/a.mp3\n"
               "#EXT-X-ENDLIST\n");
    EXPECT_EQ(loadError(dir.file("list.m3u8")), kPlatformError + dir.file("list.m3u8"));
}

TEST(SourceFileBadInput, AHeaderClaimingAnAbsurdRateIsRefused)
{
    // Resampling from 654 MHz would make the resampler allocate gigabytes.
    TempDir dir;
    const std::string path = makeTone(dir, "tone.wav", 8000, 2, 800);
    std::string bytes;
    {
        std::ifstream in(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_EQ(bytes.compare(12, 4, "fmt "), 0) << "a plain WAV header";
    const uint32_t rate = 654333474;
    std::memcpy(bytes.data() + 24, &rate, 4);
    writeBytes(dir.file("absurd.wav"), bytes);
    EXPECT_EQ(loadError(dir.file("absurd.wav")), kPlatformError + dir.file("absurd.wav"));
}

TEST(SourceFileBadInput, TruncatedFilesOpenAndReadToWhatTheyHold)
{
    TempDir dir;
    const std::string mp3 = makeTone(dir, "whole.mp3", 44100, 2, 5 * 44100);
    copyPrefix(mp3, dir.file("cut.mp3"), std::filesystem::file_size(mp3) / 2);
    const std::string vorbis = makeVorbis(dir, "whole.ogg", 44100, 2, 5 * 44100);
    copyPrefix(vorbis, dir.file("cut.ogg"), std::filesystem::file_size(vorbis) / 2);

    for (const std::string name : {"cut.mp3", "cut.ogg"}) {
        std::unique_ptr<SourceFile> source;
        try {
            source = loadPath(dir.file(name), 48000);
        } catch (const AudioFileExc& exc) {
            // Refusing a cut file at open is as good as reading what it holds.
            EXPECT_NE(std::string(exc.what()).find("open"), std::string::npos) << name;
            continue;
        }
        const auto frames = readAll(*source, 4096);
        EXPECT_GT(frames[0].size(), 48000u) << name;
        EXPECT_LE(frames[0].size(), source->getNumFrames()) << name;
        const BufferRef whole = source->loadBuffer();
        EXPECT_EQ(whole->getNumFrames(), source->getNumFrames()) << name;
    }
}

TEST(SourceFileBadInput, AnUnreadableFileIsRefused)
{
    TempDir dir;
    const std::string path = makeTone(dir, "locked.wav", 8000, 1, 800);
    std::filesystem::copy_file(path, dir.file("locked.ogg"));
    chmod(path.c_str(), 0);
    chmod(dir.file("locked.ogg").c_str(), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(loadError(path), kPlatformError + path);
        EXPECT_EQ(loadError(dir.file("locked.ogg")), kVorbisError);
        return;
    }
    // Root reads any file, whatever its mode: try again as nobody, in a child process.
    if (!commandExists("runuser")) {
        GTEST_SKIP() << "running as root without runuser: cannot drop privileges to test an unreadable file";
    }
    chmod(std::filesystem::path(path).parent_path().c_str(), 0755);
    const char* self = "/proc/self/exe";
    char exe[4096] = {};
    const ssize_t length = readlink(self, exe, sizeof(exe) - 1);
    ASSERT_GT(length, 0);
    const std::string command = "MIRVO_UNREADABLE_FILE=" + quote(path) + " runuser -u nobody -- " +
                                quote(exe) +
                                " --gtest_filter=SourceFileBadInput.UnreadableFileChild >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 126) {
        GTEST_SKIP() << "nobody may not run the test program from here";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the unprivileged child saw the file opened";
}

// Runs only inside the unprivileged child started by the test above.
TEST(SourceFileBadInput, UnreadableFileChild)
{
    const char* path = std::getenv("MIRVO_UNREADABLE_FILE");
    if (!path) {
        GTEST_SKIP() << "helper for AnUnreadableFileIsRefused";
    }
    EXPECT_EQ(loadError(path), kPlatformError + path);
    const std::string vorbis = std::filesystem::path(path).replace_extension(".ogg").string();
    EXPECT_EQ(loadError(vorbis), kVorbisError);
}

TEST(SourceFileBadInput, APlayerGivenABadFileKeepsPlayingTheOldOne)
{
    auto context = ContextManual::create(48000, 512, 2);
    TempDir dir;
    auto player =
        context->makeNode(new FilePlayerNode(loadPath(makeTone(dir, "good.wav", 48000, 2, 48000)), true));
    player->connect(context->getOutput());
    player->start();
    writeBytes(dir.file("bad.mp3"), "not audio");
    // The application loads a dropped file first; a failure never reaches the player.
    EXPECT_THROW(player->setSourceFile(loadPath(dir.file("bad.mp3"))), AudioFileExc);
    EXPECT_TRUE(player->isEnabled());
    EXPECT_EQ(player->getNumFrames(), 48000u);
}
