#include "src/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirvo {
namespace {

CommandLine parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "mirvo");
    return CommandLine::parse(args);
}

// parse's message for a command line it refuses, or "" when it takes it.
std::string refusal(std::vector<std::string> args)
{
    try {
        parse(std::move(args));
    } catch (const CommandLineError& error) {
        return error.what();
    }
    return {};
}

TEST(RenderCommandLine, TheDefaultsMakeAFullHdVideoAtSixtyFps)
{
    const CommandLine line = parse({"--render", "out.mp4", "song.ogg"});
    EXPECT_EQ(line.renderPath, "out.mp4");
    EXPECT_EQ(line.musicFiles, std::vector<std::string>{"song.ogg"});
    EXPECT_EQ(line.renderSize, (Vec2i{1920, 1080}));
    EXPECT_EQ(line.renderFps, 60);
    EXPECT_FALSE(line.renderCrf);
    EXPECT_FLOAT_EQ(line.sceneInterval, 15.0f);
    EXPECT_FALSE(line.renderSpectrum);
    EXPECT_FALSE(line.overwrite);
}

TEST(RenderCommandLine, EveryOptionIsRead)
{
    const CommandLine line =
        parse({"--render", "OUT.WEBM", "--size", "7680x4320", "--fps", "240", "--crf", "0",
               "--scene-interval", "0", "--scene", "tree", "--spectrum", "--overwrite"});
    EXPECT_EQ(line.renderSize, (Vec2i{7680, 4320}));
    EXPECT_EQ(line.renderFps, 240);
    EXPECT_EQ(line.renderCrf, 0);
    EXPECT_FLOAT_EQ(line.sceneInterval, 0.0f);
    EXPECT_EQ(line.sceneName, "tree");
    EXPECT_TRUE(line.renderSpectrum);
    EXPECT_TRUE(line.overwrite);
    EXPECT_EQ(parse({"--render", "a.y4m", "--fps", "1"}).renderFps, 1);
    EXPECT_FLOAT_EQ(parse({"--render", "a.mkv", "--scene-interval", "2.5"}).sceneInterval, 2.5f);
}

TEST(RenderCommandLine, TheShapesVideosArePostedInHaveNames)
{
    EXPECT_EQ(parse({"--render", "a.mp4", "--size", "vertical"}).renderSize, (Vec2i{1080, 1920}));
    EXPECT_EQ(parse({"--render", "a.mp4", "--size", "square"}).renderSize, (Vec2i{1080, 1080}));
    EXPECT_EQ(parse({"--render", "a.mp4", "--size", "1080p"}).renderSize, (Vec2i{1920, 1080}));
    EXPECT_EQ(parse({"--render", "a.mp4", "--size", "4k"}).renderSize, (Vec2i{3840, 2160}));
    EXPECT_NE(refusal({"--render", "a.mp4", "--size", "Vertical"}).find("bad video size"), std::string::npos);
}

// A title by hand must not be taken for the song, so it is given as --title=TEXT.
TEST(RenderCommandLine, TitleCoverAndProgressAreAskedForOneByOne)
{
    const CommandLine plain = parse({"--render", "a.mp4", "song.mp3"});
    EXPECT_FALSE(plain.renderTitle);
    EXPECT_EQ(plain.renderCover, CommandLine::CoverPlace::NONE);
    EXPECT_FALSE(plain.renderProgress);

    const CommandLine all = parse({"--render", "a.mp4", "--title", "--cover", "--progress", "song.mp3"});
    EXPECT_EQ(all.renderTitle, std::string());
    EXPECT_EQ(all.renderCover, CommandLine::CoverPlace::CORNER);
    EXPECT_TRUE(all.renderProgress);
    EXPECT_EQ(all.musicFiles, std::vector<std::string>{"song.mp3"});

    const CommandLine byHand =
        parse({"--render", "a.mp4", "--title=Ünïcode – ♫", "--cover=centre", "song.mp3"});
    EXPECT_EQ(byHand.renderTitle, "Ünïcode – ♫");
    EXPECT_EQ(byHand.renderCover, CommandLine::CoverPlace::CENTRE);
    EXPECT_EQ(byHand.musicFiles, std::vector<std::string>{"song.mp3"});

    EXPECT_NE(refusal({"--render", "a.mp4", "--cover=left"}), "");
    EXPECT_NE(refusal({"--title"}).find("--title needs --render"), std::string::npos);
}

// Sizes the 4:2:0 encoders cannot take (odd sides) or larger than 8K are refused up front,
// before a long render could fail on them.
TEST(RenderCommandLine, BadSizesRatesAndQualitiesAreRefused)
{
    for (const char* size :
         {"321x180", "320x181", "0x180", "-2x180", "7682x4320", "7680x4322", "320", "axb", ""}) {
        EXPECT_NE(refusal({"--render", "out.mp4", "--size", size}).find("bad video size"), std::string::npos)
            << size;
    }
    for (const char* fps : {"0", "241", "-1", "30.5", "x"}) {
        EXPECT_NE(refusal({"--render", "out.mp4", "--fps", fps}).find("bad frame rate"), std::string::npos)
            << fps;
    }
    for (const char* crf : {"-1", "64", "q"}) {
        EXPECT_NE(refusal({"--render", "out.mp4", "--crf", crf}).find("bad quality"), std::string::npos)
            << crf;
    }
    for (const char* seconds : {"-1", "x", "1e9"}) {
        EXPECT_NE(refusal({"--render", "out.mp4", "--scene-interval", seconds}).find("bad interval"),
                  std::string::npos)
            << seconds;
    }
}

TEST(RenderCommandLine, AnExtensionWithoutAContainerListsTheSupportedOnes)
{
    for (const char* out : {"out.avi", "out", "out.mp4.part", ".mp4x"}) {
        const std::string message = refusal({"--render", out});
        EXPECT_NE(message.find("supported: .mp4, .mkv, .webm, .y4m"), std::string::npos)
            << out << ": " << message;
        EXPECT_EQ(message.find('\n'), std::string::npos);
    }
    EXPECT_EQ(refusal({"--render", "Song.MP4"}), "");
}

// An album is rendered once, in the order it plays: a video has no end to go round from.
TEST(RenderCommandLine, AVideoPlaysAQueueOnceInOrder)
{
    EXPECT_EQ(parse({"--render", "out.mkv", "a.ogg", "music/"}).musicFiles,
              (std::vector<std::string>{"a.ogg", "music/"}));
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{"a.ogg", "--repeat"}, {"music/", "--shuffle"}}) {
        std::vector<std::string> args{"--render", "out.mp4"};
        args.insert(args.end(), extra.begin(), extra.end());
        EXPECT_EQ(refusal(args), "--render plays the music once, in order: not with --repeat or --shuffle")
            << extra[0] << " " << extra[1];
    }
}

// A folder render starts the program again for each track with its own command line and the
// track and video put first, which stand in for the folders and the output folder, even for a
// track whose name starts with a dash.
TEST(RenderCommandLine, AFolderAsTheOutputGetsAVideoATrack)
{
    const CommandLine folder = parse({"--render", "videos/", "--jobs", "3", "--format", "mkv", "album"});
    EXPECT_TRUE(folder.renderToFolder);
    EXPECT_EQ(folder.renderJobs, 3);
    EXPECT_EQ(folder.renderFormat, ".mkv");
    const CommandLine job = parse({"--job-track=-odd.mp3", "--job-output=videos/Odd.mkv", "--render",
                                   "videos/", "--jobs", "3", "--format", "mkv", "album"});
    EXPECT_FALSE(job.renderToFolder);
    EXPECT_TRUE(job.renderJob);
    EXPECT_EQ(job.renderPath, "videos/Odd.mkv");
    EXPECT_EQ(job.musicFiles, std::vector<std::string>{"-odd.mp3"});
    EXPECT_NE(refusal({"--render", "a.mp4", "--jobs", "2", "album"}).find("--jobs needs --render OUTDIR/"),
              std::string::npos);
    EXPECT_NE(refusal({"--render", "videos/", "--format", "avi", "album"}), "");
}

TEST(RenderCommandLine, RenderOptionsNeedRenderAndRenderTakesNoWindowOptions)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--size", "320x180"},
                                                 {"--fps", "30"},
                                                 {"--crf", "20"},
                                                 {"--spectrum"},
                                                 {"--overwrite"},
                                                 {"--scene-interval", "3"}}) {
        EXPECT_NE(refusal(args).find("needs --render OUT"), std::string::npos) << args[0];
    }
    EXPECT_NE(refusal({"--render", "out.mp4", "--windowed"}), "");
    EXPECT_NE(refusal({"--render", "out.mp4", "--frames", "3"}), "");
    EXPECT_NE(refusal({"--render", "out.mp4", "--benchmark"}), "");
}

} // namespace
} // namespace mirvo
