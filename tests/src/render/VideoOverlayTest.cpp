#include "src/render/VideoOverlay.h"
#include "src/render/Picture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace mirvo::render {
namespace {

namespace fs = std::filesystem;

constexpr float kPixel = 1.0f;

bool inside(const Box& part, const Box& area)
{
    return part.origin.x >= area.origin.x - kPixel && part.origin.y >= area.origin.y - kPixel &&
           part.origin.x + part.size.x <= area.origin.x + area.size.x + kPixel &&
           part.origin.y + part.size.y <= area.origin.y + area.size.y + kPixel;
}

bool overlap(const Box& a, const Box& b)
{
    return a.origin.x < b.origin.x + b.size.x && b.origin.x < a.origin.x + a.size.x &&
           a.origin.y < b.origin.y + b.size.y && b.origin.y < a.origin.y + a.size.y;
}

// Every shape a video is posted in, with the cover in a corner and centred: the cover and the
// text as wide as they may be stay inside the safe area and clear of each other, and the bar
// lies along the bottom edge.
TEST(VideoOverlay, EveryPartStaysInTheSafeAreaOfEveryShape)
{
    for (const Vec2i frame :
         {Vec2i(1080, 1920), Vec2i(1080, 1080), Vec2i(1920, 1080), Vec2i(3840, 2160), Vec2i(320, 180)}) {
        for (const bool centred : {false, true}) {
            const OverlayMetrics metrics = overlayMetrics(frame, true, centred);
            const Vec2i cover = fitInside(Vec2i(1200, 800), Vec2i(metrics.coverSide, metrics.coverSide));
            const Vec2i title(metrics.textWidth, metrics.titleHeight + metrics.titleHeight / 4);
            const Vec2i artist(metrics.textWidth / 2, metrics.artistHeight + metrics.artistHeight / 4);
            const OverlayLayout layout = layOutOverlay(frame, metrics, cover, title, artist, centred);
            const std::string shape =
                std::to_string(frame.x) + "x" + std::to_string(frame.y) + (centred ? " centred" : " corner");
            EXPECT_TRUE(inside(layout.cover, layout.safeArea)) << shape;
            EXPECT_TRUE(inside(layout.title, layout.safeArea)) << shape;
            EXPECT_TRUE(inside(layout.artist, layout.safeArea)) << shape;
            EXPECT_FALSE(overlap(layout.cover, layout.title)) << shape;
            EXPECT_FALSE(overlap(layout.title, layout.artist)) << shape;
            EXPECT_FLOAT_EQ(layout.progress.origin.y + layout.progress.size.y, static_cast<float>(frame.y))
                << shape;
            EXPECT_FLOAT_EQ(layout.progress.size.x, static_cast<float>(frame.x)) << shape;
        }
    }
}

TEST(VideoOverlay, TitleAndCoverFadeOverTheFirstAndLastSecond)
{
    EXPECT_FLOAT_EQ(overlayFade(0.0, 180.0), 0.0f);
    EXPECT_FLOAT_EQ(overlayFade(0.5, 180.0), 0.5f);
    EXPECT_FLOAT_EQ(overlayFade(90.0, 180.0), 1.0f);
    EXPECT_FLOAT_EQ(overlayFade(179.75, 180.0), 0.25f);
    EXPECT_FLOAT_EQ(overlayFade(181.0, 180.0), 0.0f);
    // A song shorter than both fades never shows them at full strength.
    EXPECT_FLOAT_EQ(overlayFade(0.75, 1.5), 0.75f);
}

// Covers beside a song come in every case of letters; the order they are tried in is fixed.
TEST(VideoOverlay, CoversBesideASongAreFoundInAnyCase)
{
    const fs::path folder = fs::temp_directory_path() / ("mirvo-covers-" + std::to_string(::getpid()));
    fs::create_directories(folder / "Cover.JPG.d");
    for (const char* name : {"FRONT.png", "Folder.jpg", "song.flac", "back.jpg", "cover.jpeg"}) {
        std::ofstream(folder / name) << "x";
    }
    // A folder named like a cover is not one.
    fs::create_directories(folder / "cover.jpg");
    const std::vector<std::string> found = coverFilesBeside((folder / "song.flac").string());
    fs::remove_all(folder);
    EXPECT_EQ(found,
              (std::vector<std::string>{(folder / "Folder.jpg").string(), (folder / "FRONT.png").string()}));
}

} // namespace
} // namespace mirvo::render
