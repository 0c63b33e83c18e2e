#include "src/player/PlayQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <set>
#include <string>
#include <vector>

namespace mirvo {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> numbered(std::size_t count)
{
    std::vector<fs::path> tracks;
    for (std::size_t index = 0; index < count; ++index) {
        tracks.push_back("track" + std::to_string(index) + ".mp3");
    }
    return tracks;
}

class TempFolder {
  public:
    TempFolder()
    {
        mRoot = fs::temp_directory_path() /
                ("mirvo-queue-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(mRoot);
        fs::create_directories(mRoot);
    }
    ~TempFolder() { fs::remove_all(mRoot); }

    fs::path touch(const std::string& relative) const
    {
        const fs::path path = mRoot / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path;
    }
    const fs::path& root() const { return mRoot; }

  private:
    fs::path mRoot;
};

std::vector<std::string> relativeNames(const std::vector<fs::path>& tracks, const fs::path& root)
{
    std::vector<std::string> names;
    for (const fs::path& track : tracks) {
        names.push_back(track.lexically_relative(root).generic_string());
    }
    return names;
}

TEST(PlayQueue, NaturalOrderComparesNumbersByValueAndLettersWithoutCase)
{
    std::vector<std::string> names = {"10 x.mp3", "2 x.mp3",  "1 x.mp3", "b.mp3",
                                      "A.mp3",    "02 y.mp3", "a.mp3"};
    std::sort(names.begin(), names.end(), naturalLess);
    EXPECT_EQ(names, (std::vector<std::string>{"1 x.mp3", "2 x.mp3", "02 y.mp3", "10 x.mp3", "A.mp3", "a.mp3",
                                               "b.mp3"}));
    // A strict order: equal names are not less, and numbers longer than any integer still compare.
    EXPECT_FALSE(naturalLess("a1", "a1"));
    EXPECT_TRUE(naturalLess("t99999999999999999999999", "t100000000000000000000000"));
    EXPECT_TRUE(naturalLess("track", "track 1"));
}

TEST(PlayQueue, FoldersAreWalkedInNaturalOrderSkippingFilesThatAreNotAudio)
{
    TempFolder folder;
    folder.touch("album/10 ten.flac");
    folder.touch("album/2 two.mp3");
    folder.touch("album/cover.jpg");
    folder.touch("album/notes.txt");
    folder.touch("album/CD 2/1 one.OGG");
    folder.touch("album/CD 10/1 one.wav");
    const fs::path loose = folder.touch("loose.txt");

    // A file named on its own stays in the queue whatever it is, so that its failure is told.
    const std::vector<fs::path> tracks =
        collectTracks({folder.root() / "album", loose, folder.root() / "gone.mp3"});
    EXPECT_EQ(relativeNames(tracks, folder.root()),
              (std::vector<std::string>{"album/2 two.mp3", "album/10 ten.flac", "album/CD 2/1 one.OGG",
                                        "album/CD 10/1 one.wav", "loose.txt", "gone.mp3"}));
}

TEST(PlayQueue, ALinkLoopIsWalkedOnce)
{
    TempFolder folder;
    folder.touch("music/a.mp3");
    folder.touch("music/sub/b.mp3");
    fs::create_directory_symlink(folder.root() / "music", folder.root() / "music/sub/back");
    fs::create_directory_symlink(folder.root() / "music/sub", folder.root() / "music/sub/self");

    const std::vector<fs::path> tracks = collectTracks({folder.root() / "music", folder.root() / "music"});
    EXPECT_EQ(relativeNames(tracks, folder.root()),
              (std::vector<std::string>{"music/a.mp3", "music/sub/b.mp3"}));
}

TEST(PlayQueue, PlaysInOrderAndEndsAfterTheLastTrackUnlessRepeating)
{
    PlayQueue once(numbered(3), {});
    EXPECT_EQ(once.start(), 0u);
    EXPECT_EQ(once.peekNext(), 1u);
    EXPECT_EQ(once.current(), 0u); // looking ahead does not move
    EXPECT_EQ(once.next(), 1u);
    EXPECT_EQ(once.next(), 2u);
    EXPECT_EQ(once.peekNext(), std::nullopt);
    EXPECT_EQ(once.next(), std::nullopt);
    EXPECT_EQ(once.current(), std::nullopt);

    PlayQueue repeating(numbered(3), {.repeat = true});
    repeating.start();
    repeating.next();
    repeating.next();
    EXPECT_EQ(repeating.peekNext(), 0u);
    EXPECT_EQ(repeating.next(), 0u);

    EXPECT_EQ(PlayQueue({}, {.repeat = true}).start(), std::nullopt);
}

TEST(PlayQueue, PreviousGoesBackEarlyInATrackAndRestartsItLater)
{
    PlayQueue queue(numbered(3), {});
    queue.start();
    EXPECT_EQ(queue.previous(0.5), 0u); // the first track has none before it: it restarts
    queue.next();
    queue.next();
    EXPECT_EQ(queue.previous(PlayQueue::kRestartSeconds + 0.1), 2u);
    EXPECT_EQ(queue.previous(1.0), 1u);
    EXPECT_EQ(queue.previous(2.9), 0u);
    // After the end, previous plays the last track again.
    queue.next();
    queue.next();
    queue.next();
    EXPECT_EQ(queue.current(), std::nullopt);
    EXPECT_EQ(queue.previous(0.0), 2u);
}

TEST(PlayQueue, UnplayableTracksAreLeftOutFromThenOn)
{
    PlayQueue queue(numbered(4), {.repeat = true});
    queue.start();
    EXPECT_EQ(queue.skipUnplayable(), 1u); // track 0 fails
    EXPECT_EQ(queue.next(), 2u);
    EXPECT_EQ(queue.skipUnplayable(), 3u); // track 2 fails
    EXPECT_EQ(queue.next(), 1u);           // round again, without 0
    EXPECT_EQ(queue.previous(0.0), 1u);    // and previous passes over them too
    queue.markUnplayable(3);               // found ahead of time: the queue stays
    EXPECT_EQ(queue.current(), 1u);
    EXPECT_EQ(queue.peekNext(), 1u); // the only track left goes round

    // Nothing playable at all ends the queue instead of going round for ever.
    PlayQueue broken(numbered(2), {.repeat = true});
    broken.start();
    broken.skipUnplayable();
    EXPECT_EQ(broken.skipUnplayable(), std::nullopt);
    EXPECT_EQ(broken.next(), std::nullopt);
}

TEST(PlayQueue, ShufflePlaysEveryTrackOnceBeforeAnyAgain)
{
    for (uint32_t seed = 1; seed <= 20; ++seed) {
        PlayQueue queue(numbered(7), {.repeat = true, .shuffle = true, .seed = seed});
        std::vector<std::size_t> played = {*queue.start()};
        for (int step = 1; step < 21; ++step) {
            const std::optional<std::size_t> ahead = queue.peekNext();
            played.push_back(*queue.next());
            ASSERT_EQ(ahead, played.back()) << "seed " << seed;
            ASSERT_NE(played[played.size() - 2], played.back()) << "a track twice in a row, seed " << seed;
        }
        for (std::size_t round = 0; round < 3; ++round) {
            const std::set<std::size_t> tracks(played.begin() + std::ptrdiff_t(round * 7),
                                               played.begin() + std::ptrdiff_t(round * 7 + 7));
            EXPECT_EQ(tracks.size(), 7u) << "seed " << seed << " round " << round;
        }
        if (seed == 1) {
            std::vector<std::size_t> inOrder(7);
            std::iota(inOrder.begin(), inOrder.end(), 0);
            EXPECT_NE(std::vector<std::size_t>(played.begin(), played.begin() + 7), inOrder);
        }
    }
}

// Shuffle turned on or off while a track plays: the track plays on, and the queue carries on
// from it, every other track once in the shuffled round, or the files' order from it.
TEST(PlayQueue, ShuffleTurnedOnOrOffMidQueueKeepsTheTrackAndPlaysEveryOtherOnce)
{
    PlayQueue queue(numbered(6), {});
    queue.start();
    queue.next();
    queue.next();
    ASSERT_EQ(queue.current(), 2u);
    queue.setShuffle(true, 7);
    EXPECT_EQ(queue.current(), 2u);
    std::set<std::size_t> rest;
    while (const std::optional<std::size_t> next = queue.next()) {
        rest.insert(*next);
    }
    EXPECT_EQ(rest, (std::set<std::size_t>{0, 1, 3, 4, 5}));

    queue.start();
    const std::size_t playing = *queue.next();
    queue.setShuffle(false, 0);
    EXPECT_EQ(queue.current(), playing);
    EXPECT_EQ(queue.peekNext(), playing + 1 < 6 ? std::optional<std::size_t>(playing + 1) : std::nullopt);
}

} // namespace
} // namespace mirvo
