// Title, artist and album as the encoders write them, read back by both decoders; and the reason
// a file that cannot be opened gives, whichever decoder its name sends it to.
#include "AudioFileFixtures.h"

#include "audio/Exception.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mirvo::audio;
using namespace mirvo::audio::test;

namespace {

using Reason = AudioFileExc::Reason;

const std::string kTags =
    "-metadata title='Slow Rain, Part 2' -metadata artist='Émile & The Tides' -metadata album='Weather'";

// The reason load gives for path; UNKNOWN also when it opened.
Reason loadReason(const std::string& path)
{
    try {
        loadPath(path);
    } catch (const AudioFileExc& exc) {
        return exc.getReason();
    }
    return Reason::UNKNOWN;
}

} // namespace

TEST(SourceFileTags, TitleArtistAndAlbumComeFromTheTagsOfEveryKindOfFile)
{
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> files = {
        {"id3.mp3", "-c:a libmp3lame"},     // ID3 on the file, platform decoder
        {"comments.ogg", "-c:a libvorbis"}, // Vorbis comments, Vorbis decoder
        {"opus.opus", "-c:a libopus"},      // tags on the stream, platform decoder
        {"flac.flac", ""},
    };
    for (const auto& [name, codec] : files) {
        const std::string path = makeTone(dir, name, 48000, 2, 4800, codec + " " + kTags);
        const auto source = loadPath(path);
        EXPECT_EQ(source->getTitle(), "Slow Rain, Part 2") << name;
        EXPECT_EQ(source->getArtist(), "Émile & The Tides") << name;
        EXPECT_EQ(source->getAlbum(), "Weather") << name;
    }
    // The Vorbis file under another name goes to the platform decoder, which finds the same.
    std::filesystem::copy_file(dir.file("comments.ogg"), dir.file("comments.oga"));
    EXPECT_EQ(loadPath(dir.file("comments.oga"))->getTitle(), "Slow Rain, Part 2");
}

TEST(SourceFileTags, FilesWithoutTagsHaveNone)
{
    TempDir dir;
    for (const std::string name : {"plain.mp3", "plain.wav"}) {
        const auto source = loadPath(makeTone(dir, name, 44100, 1, 4410, "-map_metadata -1"));
        EXPECT_EQ(source->getTitle(), "") << name;
        EXPECT_EQ(source->getArtist(), "") << name;
        EXPECT_EQ(source->getAlbum(), "") << name;
    }
    const auto vorbis = loadPath(makeVorbis(dir, "plain.ogg", 44100, 1, 4410, {"COMMENT=no title here"}));
    EXPECT_EQ(vorbis->getTitle(), "");
    // Only the tag itself counts, not a tag whose name merely starts the same way.
    const auto prefixed = loadPath(makeVorbis(dir, "prefixed.ogg", 44100, 1, 4410, {"TITLES=x", "title=y"}));
    EXPECT_EQ(prefixed->getTitle(), "y");
}

TEST(SourceFileTags, EveryOpenFailureSaysWhatIsWrongWithTheFile)
{
    TempDir dir;
    writeBytes(dir.file("text.mp3"), "This is not an MP3 file, only a few words of text.\n");
    writeBytes(dir.file("text.ogg"), "Neither is this an Ogg file.\n");
    writeBytes(dir.file("empty.mp3"), "");
    writeBytes(dir.file("empty.ogg"), "");
    std::filesystem::create_directory(dir.file("folder.mp3"));
    std::filesystem::create_directory(dir.file("folder.ogg"));
    ASSERT_EQ(mkfifo(dir.file("pipe.ogg").c_str(), 0600), 0);

    for (const std::string ext : {".mp3", ".ogg"}) {
        EXPECT_EQ(loadReason(dir.file("missing" + ext)), Reason::NO_SUCH_FILE) << ext;
        EXPECT_EQ(loadReason(dir.file("folder" + ext)), Reason::FOLDER) << ext;
        EXPECT_EQ(loadReason(dir.file("text" + ext)), Reason::NOT_AUDIO) << ext;
        EXPECT_EQ(loadReason(dir.file("empty" + ext)), Reason::DAMAGED) << ext;
    }
    EXPECT_EQ(loadReason(dir.file("pipe.ogg")), Reason::NOT_AUDIO);
    EXPECT_EQ(loadReason(dir.file("no-such-folder/song.mp3")), Reason::NO_SUCH_FILE);

    // A Vorbis file cut inside its headers is damaged, not foreign.
    const std::string whole = makeVorbis(dir, "whole.ogg", 44100, 2, 44100);
    copyPrefix(whole, dir.file("cut.ogg"), 200);
    EXPECT_EQ(loadReason(dir.file("cut.ogg")), Reason::DAMAGED);

    const std::string png = "/usr/share/forensics-samples/original-files/pic1/debian_logo.png";
    if (std::filesystem::exists(png)) {
        std::filesystem::copy_file(png, dir.file("picture.ogg"));
        std::filesystem::copy_file(png, dir.file("picture.mp3"));
        EXPECT_EQ(loadReason(dir.file("picture.ogg")), Reason::NOT_AUDIO);
        EXPECT_EQ(loadReason(dir.file("picture.mp3")), Reason::NOT_AUDIO);
    }

    // Root reads whatever the mode says; only a normal user sees an unreadable file.
    if (geteuid() != 0) {
        const std::string locked = makeTone(dir, "locked.wav", 8000, 1, 800);
        chmod(locked.c_str(), 0);
        EXPECT_EQ(loadReason(locked), Reason::CANNOT_READ);
    }
}
