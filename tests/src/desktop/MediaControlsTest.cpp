// What the media controls show: the track built from a file's tags, which properties a change
// signals, the text the bus accepts, and the files a file:// URI names.
#include "src/desktop/MediaControls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirvo {
namespace {

using Names = std::vector<std::string>;

TEST(MediaControls, ATrackTakesItsTagsAndFallsBackToTheFileNameForItsTitle)
{
    const MediaTrack tagged = mediaTrack(7, "Slow Rain", "Émile", "Weather", "01 rain.flac", 96000, 48000);
    EXPECT_EQ(tagged.id, "/org/mirvo/Mirvo/Track/7");
    EXPECT_EQ(tagged.title, "Slow Rain");
    EXPECT_EQ(tagged.artist, "Émile");
    EXPECT_EQ(tagged.album, "Weather");
    EXPECT_EQ(tagged.lengthMicros, 2000000);

    const MediaTrack untagged = mediaTrack(8, "", "", "", "01 rain.flac", 44101, 44100);
    EXPECT_EQ(untagged.title, "01 rain.flac");
    EXPECT_EQ(untagged.artist, "");
    EXPECT_EQ(untagged.lengthMicros, 1000022);
    // A source that reports no rate has no length rather than a division by zero.
    EXPECT_EQ(mediaTrack(9, "x", "", "", "x", 100, 0).lengthMicros, 0);
}

TEST(MediaControls, AVeryLongFileKeepsAnExactLength)
{
    // 2^40 frames at 48 kHz: frames times a million would not fit in 64 bits.
    const std::size_t frames = std::size_t{1} << 40;
    const MediaTrack track = mediaTrack(1, "long", "", "", "long.wav", frames, 48000);
    EXPECT_EQ(track.lengthMicros, 22906492245333);
}

TEST(MediaControls, OnlyThePropertiesThatChangedAreSignalled)
{
    MediaState before;
    before.status = PlaybackStatus::PLAYING;
    before.track = mediaTrack(1, "a", "", "", "a.wav", 48000, 48000);
    before.canPlay = before.canPause = before.canGoNext = true;

    EXPECT_TRUE(changedProperties(before, before).empty());

    MediaState paused = before;
    paused.status = PlaybackStatus::PAUSED;
    EXPECT_EQ(changedProperties(before, paused), (Names{"PlaybackStatus"}));

    // The last track of the queue starting: a new track, and no next one.
    MediaState last = before;
    last.track = mediaTrack(2, "b", "", "", "b.wav", 48000, 48000);
    last.canGoNext = false;
    last.canGoPrevious = true;
    EXPECT_EQ(changedProperties(before, last), (Names{"Metadata", "CanGoNext", "CanGoPrevious"}));

    // The same file started again is a new track to a listener.
    MediaState restarted = before;
    restarted.track = mediaTrack(3, "a", "", "", "a.wav", 48000, 48000);
    EXPECT_EQ(changedProperties(before, restarted), (Names{"Metadata"}));

    EXPECT_EQ(changedProperties(MediaState(), before),
              (Names{"PlaybackStatus", "Metadata", "CanGoNext", "CanPlay", "CanPause"}));
}

TEST(MediaControls, ValidTextPassesUnchanged)
{
    for (const std::string text :
         {"", "plain", "Émile & the Tides", "東京", "\xF0\x9F\x8E\xB5 notes", "\xEF\xBF\xBD"}) {
        EXPECT_EQ(validUtf8(text), text);
    }
}

TEST(MediaControls, EveryBadSequenceBecomesOneReplacementCharacter)
{
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(validUtf8("caf\xE9"), "caf" + r);              // Latin-1, as old tags are
    EXPECT_EQ(validUtf8("a\xC3"), "a" + r);                  // cut off at the end
    EXPECT_EQ(validUtf8("\xE6\x9D x"), r + r + " x");        // cut off before a space
    EXPECT_EQ(validUtf8("\xC0\xAF"), r + r);                 // an overlong "/"
    EXPECT_EQ(validUtf8("\xE0\x80\x80"), r + r + r);         // an overlong NUL
    EXPECT_EQ(validUtf8("\xED\xA0\x80"), r + r + r);         // a UTF-16 surrogate
    EXPECT_EQ(validUtf8("\xF4\x90\x80\x80"), r + r + r + r); // past U+10FFFF
    EXPECT_EQ(validUtf8("\xEF\xBF\xBE"
                        "\xEF\xB7\x90"),
              r + r + r + r + r + r); // noncharacters
    EXPECT_EQ(validUtf8("\x80x\xFF"), r + "x" + r);
    EXPECT_EQ(validUtf8(std::string("a\0b", 3)), "ab");
}

TEST(MediaControls, AFileUriNamesALocalPath)
{
    EXPECT_EQ(pathFromFileUri("file:///home/ann/Music/01%20Rain.flac"), "/home/ann/Music/01 Rain.flac");
    EXPECT_EQ(pathFromFileUri("file://localhost/srv/a%c3%a9.mp3"), "/srv/a\xC3\xA9.mp3");
    EXPECT_EQ(pathFromFileUri("file:///music/100%25"), "/music/100%");
    EXPECT_EQ(pathFromFileUri("file:///"), "/");
    // The short form of RFC 8089, and what a browser or file manager adds after the path.
    EXPECT_EQ(pathFromFileUri("file:/srv/music/a.mp3"), "/srv/music/a.mp3");
    EXPECT_EQ(pathFromFileUri("file:///srv/a.mp3?t=30"), "/srv/a.mp3");
    EXPECT_EQ(pathFromFileUri("file:///srv/a.mp3#top"), "/srv/a.mp3");
    EXPECT_EQ(pathFromFileUri("file:///srv/why%3F%23.mp3"), "/srv/why?#.mp3");
    EXPECT_EQ(pathFromFileUri("FILE:///srv/a.mp3"), "/srv/a.mp3");
}

TEST(MediaControls, OtherUrisNameNoFile)
{
    for (const std::string uri :
         {"http://example.org/a.mp3", "file://otherhost/a.mp3", "file:relative.mp3", "file://",
          "file:", "file:?/a.mp3", "/plain/path.mp3", "file:///a%2", "file:///a%zz", "file:///a%00b"}) {
        EXPECT_FALSE(pathFromFileUri(uri)) << uri;
    }
}

} // namespace
} // namespace mirvo
