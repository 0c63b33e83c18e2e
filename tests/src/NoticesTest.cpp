#include "src/Notices.h"

#include <gtest/gtest.h>

#include <limits>

#include <string>
#include <vector>

namespace mirvo {
namespace {

using Lines = std::vector<std::string>;

std::vector<Lines> linesOf(const std::vector<Notices::Shown>& shown)
{
    std::vector<Lines> result;
    for (const Notices::Shown& notice : shown) {
        result.push_back(notice.lines);
    }
    return result;
}

TEST(Notices, ANoticeHoldsFromTheFrameThatFirstShowsItThenFadesAndGoes)
{
    Notices notices;
    notices.post({"hello"});
    // Posted during a slow start: its time runs from the first frame that shows it.
    ASSERT_EQ(notices.visible(10.0f).size(), 1u);
    EXPECT_EQ(notices.visible(10.0f + Notices::kHoldSeconds).at(0).opacity, 1.0f);
    const float halfFaded = 10.0f + Notices::kHoldSeconds + Notices::kFadeSeconds / 2;
    EXPECT_NEAR(notices.visible(halfFaded).at(0).opacity, 0.5f, 1e-3f);
    EXPECT_TRUE(notices.visible(10.0f + Notices::kHoldSeconds + Notices::kFadeSeconds).empty());
    // Gone for good, not shown again at an earlier time.
    EXPECT_TRUE(notices.visible(10.5f).empty());
}

TEST(Notices, EachNoticeKeepsItsOwnClockAndTheNewestIsLowest)
{
    Notices notices;
    notices.post({"first"});
    notices.visible(0.0f);
    notices.post({"second"});
    EXPECT_EQ(linesOf(notices.visible(2.0f)), (std::vector<Lines>{{"first"}, {"second"}}));
    // The first has faded, the second, first shown at 2 s, still holds.
    const auto later = notices.visible(4.5f);
    ASSERT_EQ(linesOf(later), (std::vector<Lines>{{"second"}}));
    EXPECT_EQ(later[0].opacity, 1.0f);
}

TEST(Notices, TooManyNoticesPushTheOldestOut)
{
    Notices notices;
    for (const char* text : {"a", "b", "c", "d"}) {
        notices.post({text});
    }
    notices.post({}); // nothing to say: no notice
    EXPECT_EQ(linesOf(notices.visible(0.0f)), (std::vector<Lines>{{"b"}, {"c"}, {"d"}}));
}

TEST(Notices, PausedStaysBelowTheOthersUntilTheMusicResumes)
{
    Notices notices;
    notices.setPaused(true);
    notices.post({"track"});
    EXPECT_EQ(linesOf(notices.visible(0.0f)), (std::vector<Lines>{{"track"}, {"Paused"}}));
    EXPECT_EQ(linesOf(notices.visible(600.0f)), (std::vector<Lines>{{"Paused"}}));
    notices.setPaused(false);
    EXPECT_TRUE(notices.visible(600.0f).empty());
}

TEST(NoticeWords, LengthsAreMinutesAndSecondsRoundedDown)
{
    EXPECT_EQ(notice::formatLength(0.0), "0:00");
    EXPECT_EQ(notice::formatLength(59.99), "0:59");
    EXPECT_EQ(notice::formatLength(61.0), "1:01");
    EXPECT_EQ(notice::formatLength(754.5), "12:34");
    EXPECT_EQ(notice::formatLength(3600.0 + 62.0), "1:01:02");
    // A length the decoder could not tell must not print as garbage.
    EXPECT_EQ(notice::formatLength(-3.0), "0:00");
    EXPECT_EQ(notice::formatLength(std::numeric_limits<double>::quiet_NaN()), "0:00");
}

TEST(NoticeWords, TracksAreNamedByTheirTagsOrElseTheirFile)
{
    EXPECT_EQ(notice::track("Slow Rain", "The Tides", "01.mp3", 205.0), "Slow Rain - The Tides (3:25)");
    EXPECT_EQ(notice::track("Slow Rain", "", "01.mp3", 205.0), "Slow Rain (3:25)");
    EXPECT_EQ(notice::track("", "The Tides", "01.mp3", 205.0), "01.mp3 - The Tides (3:25)");
    EXPECT_EQ(notice::track(" \t", "", "01.mp3", 5.0), "01.mp3 (0:05)");
}

TEST(NoticeWords, FailedFilesGetALineEachUpToThreeThenACount)
{
    const notice::Failure a{"a.txt", "not an audio file"};
    const notice::Failure b{"b", "it is a folder"};
    const notice::Failure c{"c.mp3", "no such file"};
    EXPECT_EQ(notice::failures({a}), (Lines{"a.txt: not an audio file"}));
    EXPECT_EQ(notice::failures({a, b, c}).size(), 3u);
    EXPECT_EQ(notice::failures({a, b, c, a, b}),
              (Lines{"a.txt: not an audio file", "b: it is a folder", "c.mp3: no such file", "and 2 more"}));
    EXPECT_EQ(notice::failures({a, b, c, a}).back(), "and 1 more");
    EXPECT_TRUE(notice::failures({}).empty());
}

TEST(NoticeWords, SkippedFilesOfAQueueThatPlaysAreCountedInOneLine)
{
    EXPECT_TRUE(notice::skipped(0).empty());
    EXPECT_EQ(notice::skipped(1), (Lines{"1 file skipped"}));
    EXPECT_EQ(notice::skipped(3), (Lines{"3 files skipped"}));
}

TEST(NoticeWords, TagTextIsMadeSafeToShow)
{
    EXPECT_EQ(notice::printable("  two\nlines\r\n\tand  tabs  "), "two lines and tabs");
    const std::string longTitle(200, 'x');
    const std::string shown = notice::printable(longTitle);
    EXPECT_EQ(shown.size(), notice::kMaxTextLength);
    EXPECT_EQ(shown.substr(shown.size() - 3), "...");
    // A cut never splits a character: "é" is two bytes, placed across the cut.
    const std::string accented = std::string(notice::kMaxTextLength - 4, 'x') + "é" + "tail of the title";
    const std::string cut = notice::printable(accented);
    EXPECT_EQ(cut, std::string(notice::kMaxTextLength - 4, 'x') + "...");
}

} // namespace
} // namespace mirvo
