#include "src/render/VideoNames.h"

#include <gtest/gtest.h>

#include <string>

namespace mirvo::render {
namespace {

// Whatever a tag holds, the video stays in its folder, is not hidden, and is a name a memory
// card takes.
TEST(VideoNames, TagsBecomeNamesSafeForAnyFileSystem)
{
    EXPECT_EQ(videoStem("Song", "Band", "/music/01 song.flac"), "Band - Song");
    EXPECT_EQ(videoStem("Song", "", "/music/01 song.flac"), "Song");
    EXPECT_EQ(videoStem("", "Band", "/music/01 song.flac"), "01 song");
    EXPECT_EQ(videoStem("AC/DC: Live?", "", "a.mp3"), "AC_DC_ Live_");
    EXPECT_EQ(videoStem("../../etc/passwd", "", "a.mp3"), "_.._etc_passwd");
    EXPECT_EQ(videoStem(".hidden", "", "a.mp3"), "hidden");
    EXPECT_EQ(videoStem(std::string("a\0b\nc", 5), "", "a.mp3"), "a b c");
    EXPECT_EQ(videoStem(" ... ", "", "..."), "track");
}

TEST(VideoNames, NoNameIsHandedOutTwiceOrRunsLong)
{
    VideoNames names(".mp4");
    names.reserve("Song.mp4");
    EXPECT_EQ(names.take("Intro"), "Intro.mp4");
    EXPECT_EQ(names.take("intro"), "intro (2).mp4");
    EXPECT_EQ(names.take("Intro"), "Intro (3).mp4");
    EXPECT_EQ(names.take("song"), "song (2).mp4") << "the song in the folder would be replaced";

    std::string accents;
    for (int i = 0; i < 300; ++i) {
        accents += "\xC3\xA9";
    }
    const std::string cut = names.take(accents);
    EXPECT_LE(cut.size(), kMaxVideoNameBytes);
    EXPECT_EQ(cut.substr(cut.size() - 4), ".mp4");
    EXPECT_EQ((cut.size() - 4) % 2, 0U) << "a character was cut in two";
    EXPECT_EQ(names.take(accents), cut.substr(0, cut.size() - 4) + " (2).mp4");
}

} // namespace
} // namespace mirvo::render
