#include "src/render/RenderProgress.h"
#include "src/render/FolderProgress.h"

#include <gtest/gtest.h>

#include <string>

namespace mirvo::render {
namespace {

TEST(RenderProgress, DurationsAndSizesReadAsAPersonWritesThem)
{
    EXPECT_EQ(formatDuration(0.0), "0:00");
    EXPECT_EQ(formatDuration(7.9), "0:07");
    EXPECT_EQ(formatDuration(754.0), "12:34");
    EXPECT_EQ(formatDuration(3723.0), "1:02:03");
    EXPECT_EQ(formatDuration(-3.0), "0:00");
    EXPECT_EQ(formatSize(812), "812 B");
    EXPECT_EQ(formatSize(4200), "4.20 KB");
    EXPECT_EQ(formatSize(12'300'000), "12.3 MB");
    EXPECT_EQ(formatSize(1'050'000'000), "1.05 GB");
}

// A log gets one line per tenth however the frames arrive, and the last says 100 %.
TEST(RenderProgress, WithoutATerminalOneLinePerTenth)
{
    RenderProgress progress(1000, 60, false);
    int lines = 0;
    std::string last;
    for (std::uint64_t done = 1; done <= 1000; done += 7) {
        const std::string text = progress.update(done, static_cast<double>(done) / 120.0);
        if (!text.empty()) {
            ++lines;
            last = text;
        }
    }
    const std::string final = progress.update(1000, 1000.0 / 120.0);
    ASSERT_FALSE(final.empty());
    EXPECT_EQ(lines + 1, 10);
    EXPECT_EQ(final, "mirvo: 100% 1000/1000 frames, 2.0x real time, 0:00 left\n");
    EXPECT_TRUE(progress.update(1000, 9.0).empty());
    EXPECT_EQ(progress.end(), "");
    EXPECT_NE(last.find("2.0x real time"), std::string::npos) << last;
}

TEST(RenderProgress, OnATerminalOneLineRewrittenAtMostFourTimesASecond)
{
    RenderProgress progress(600, 60, true);
    EXPECT_EQ(progress.update(60, 0.5), "\r 10% 60/600 frames, 2.0x real time, 0:04 left   ");
    EXPECT_TRUE(progress.update(61, 0.6).empty());
    EXPECT_FALSE(progress.update(70, 0.8).empty());
    // The last frame always shows, so the line never ends short of 100 %.
    EXPECT_NE(progress.update(600, 0.81).find("100%"), std::string::npos);
    EXPECT_EQ(progress.end(), "\n");
}

TEST(RenderProgress, AnEmptyRenderSaysNothing)
{
    RenderProgress progress(0, 60, false);
    EXPECT_TRUE(progress.update(0, 1.0).empty());
}

// Two tracks at once each at real time are the run at twice real time; a track that fails
// leaves the run's total, and a render's true length replaces what its file claimed.
TEST(RenderProgress, AFolderCountsItsTracksTogether)
{
    FolderProgress progress({"One", "Two", "Three"}, {10.0, 10.0, 10.0}, 10, 0);
    progress.started(0, 0.0);
    progress.started(1, 0.0);
    progress.advanced(0, 10, 100);
    progress.advanced(1, 10, 100);
    EXPECT_EQ(progress.update(1.0), "") << "not a tenth yet";
    progress.advanced(0, 50, 100);
    progress.advanced(1, 50, 100);
    EXPECT_EQ(progress.update(5.0),
              "mirvo:  33% 0 of 3 videos done, 2.0x real time, 0:10 left; One 50%, 0:05 "
              "left; Two 50%, 0:05 left\n");
    progress.ended(0, true);
    progress.ended(1, false);
    progress.started(2, 5.0);
    progress.advanced(2, 10, 50);
    EXPECT_EQ(progress.update(6.0),
              "mirvo:  73% 1 of 2 videos done, 1.8x real time, 0:02 left; Three 20%, 0:04 "
              "left\n");
}

} // namespace
} // namespace mirvo::render
