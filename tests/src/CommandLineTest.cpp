#include "src/CommandLine.h"
#include "tests/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace mirvo {
namespace {

CommandLine parse(std::vector<std::string> args)
{
    args.insert(args.begin(), "mirvo");
    return CommandLine::parse(args);
}

TEST(CommandLine, NoArgumentsMeanThePlainFullScreenStart)
{
    const CommandLine line = parse({});
    EXPECT_EQ(line.action, CommandLine::Action::RUN);
    EXPECT_FALSE(line.windowed);
    EXPECT_TRUE(line.musicFiles.empty());
    EXPECT_FALSE(line.repeat);
    EXPECT_FALSE(line.shuffle);
    EXPECT_FALSE(line.audioDevice);
    EXPECT_EQ(line.sceneName, "");
    EXPECT_FALSE(line.frames);
    EXPECT_FALSE(line.screenshotPath);
    EXPECT_TRUE(line.notices);
}

TEST(CommandLine, ReadsEveryOptionWithValuesInlineOrSeparate)
{
    const CommandLine line =
        parse({"--windowed=800x600", "--audio-device", "Null", "--scene=triangles", "--frames", "240",
               "--screenshot=/tmp/shot.png", "--report-startup", "--no-notices", "song.ogg"});
    EXPECT_TRUE(line.windowed);
    EXPECT_EQ(line.windowSize, Vec2i(800, 600));
    EXPECT_EQ(line.audioDevice, "Null");
    EXPECT_EQ(line.sceneName, "triangles");
    EXPECT_EQ(line.frames, 240);
    EXPECT_EQ(line.screenshotPath, "/tmp/shot.png");
    EXPECT_EQ(line.musicFiles, std::vector<std::string>{"song.ogg"});
    EXPECT_TRUE(line.reportStartup);
    EXPECT_FALSE(line.notices);
}

TEST(CommandLine, WindowedWithoutASizeUsesTheDefault)
{
    const CommandLine line = parse({"--windowed", "--scene", "tree"});
    EXPECT_TRUE(line.windowed);
    EXPECT_EQ(line.windowSize, Vec2i(1280, 720));
    EXPECT_EQ(line.sceneName, "tree");
}

TEST(CommandLine, ADoubleDashLetsAFileNameStartWithADash)
{
    EXPECT_EQ(parse({"--", "-odd name.mp3"}).musicFiles, std::vector<std::string>{"-odd name.mp3"});
}

TEST(CommandLine, FilesAndFoldersMakeAQueueInTheirOrder)
{
    const CommandLine line = parse({"b.mp3", "--shuffle", "Album", "a.flac", "--repeat"});
    EXPECT_EQ(line.musicFiles, (std::vector<std::string>{"b.mp3", "Album", "a.flac"}));
    EXPECT_TRUE(line.repeat);
    EXPECT_TRUE(line.shuffle);
}

TEST(CommandLine, InformationalOptionsChooseTheirAction)
{
    EXPECT_EQ(parse({"--help"}).action, CommandLine::Action::HELP);
    EXPECT_EQ(parse({"--version"}).action, CommandLine::Action::VERSION);
    EXPECT_EQ(parse({"--list-audio-devices"}).action, CommandLine::Action::LIST_AUDIO_DEVICES);
}

TEST(CommandLine, LiveInputAndTheSyncOptions)
{
    EXPECT_FALSE(parse({}).liveInput);
    EXPECT_TRUE(parse({}).avSync);
    // Without a name: the default output's monitor; a file after it stays music.
    const CommandLine plain = parse({"--input", "song.mp3"});
    EXPECT_EQ(plain.liveInput, std::string());
    EXPECT_EQ(plain.musicFiles, std::vector<std::string>{"song.mp3"});
    EXPECT_EQ(parse({"--input=alsa_output.monitor"}).liveInput, "alsa_output.monitor");
    EXPECT_EQ(parse({"--input=app:one"}).liveInput, "app:one");
    EXPECT_THROW(parse({"--input=app:"}), CommandLineError);

    EXPECT_FLOAT_EQ(parse({"--av-offset", "-40"}).avOffsetMs, -40.0f);
    EXPECT_FLOAT_EQ(parse({"--av-offset=12.5"}).avOffsetMs, 12.5f);
    EXPECT_FALSE(parse({"--no-av-sync"}).avSync);
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--av-offset", "soon"}, {"--av-offset=5000"}, {"--log-frames="}}) {
        EXPECT_THROW(parse(bad), CommandLineError) << bad[0];
    }
}

TEST(CommandLine, RefusesUnknownOptionsAndBadValues)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--fullscreen"},    {"-x"},
        {"--windowed=800"},  {"--windowed=0x600"},
        {"--windowed=axb"},  {"--scene", ""},
        {"--scene"},         {"--frames", "0"},
        {"--frames", "ten"}, {"--frames=12abc"},
        {"--audio-device="}, {"--help=yes"},
        {"--repeat=no"},     {"--screenshot", "x.png"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW(parse(args), CommandLineError) << args[0];
    }
}

TEST(CommandLine, ShadersAreRepeatableAndAnUnknownSceneIsLeftForThemToName)
{
    const CommandLine line = parse({"--shader", "ring.glsl", "song.mp3", "--scene", "ring", "--shader=more"});
    EXPECT_EQ(line.shaderPaths, (std::vector<std::string>{"ring.glsl", "more"}));
    EXPECT_EQ(line.musicFiles, std::vector<std::string>{"song.mp3"}) << "--shader takes one path each time";
    EXPECT_EQ(line.sceneName, "ring");
    EXPECT_FALSE(CommandLine::isBuiltInScene(line.sceneName));
    const CommandLine builtIn = parse({"--scene", "tree"});
    EXPECT_EQ(builtIn.sceneName, "tree");
    EXPECT_TRUE(CommandLine::isBuiltInScene(builtIn.sceneName));
}

TEST(CommandLine, MsaaTakesTheSampleCountsARendererLevelHas)
{
    EXPECT_EQ(parse({}).antiAliasingLevel(), 5);
    const std::vector<std::pair<std::string, int>> levels = {
        {"0", 0}, {"2", 1}, {"4", 2}, {"8", 4}, {"16", 5}};
    for (const auto& [samples, level] : levels) {
        const CommandLine line = parse({"--msaa", samples});
        EXPECT_EQ(line.msaa, std::stoi(samples));
        EXPECT_EQ(line.antiAliasingLevel(), level) << samples;
    }
    EXPECT_THROW(parse({"--msaa="}), CommandLineError);
    for (const char* bad : {"1", "3", "6", "32", "-4", "four", "4x"}) {
        try {
            parse({std::string("--msaa=") + bad});
            ADD_FAILURE() << "accepted --msaa=" << bad;
        } catch (const CommandLineError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.find('\n'), std::string::npos);
            EXPECT_NE(message.find("0, 2, 4, 8 or 16"), std::string::npos) << message;
        }
    }
}

TEST(CommandLine, RepeatedTestDropsCollectEachFileAndLeaveTheMusicFileAlone)
{
    const CommandLine line =
        parse({"--test-drop", "a.ogg", "--test-drop=b.mp3", "song.wav", "--test-drop-one-by-one"});
    EXPECT_EQ(line.testDropFiles, (std::vector<std::string>{"a.ogg", "b.mp3"}));
    EXPECT_EQ(line.musicFiles, std::vector<std::string>{"song.wav"});
    EXPECT_TRUE(line.testDropOneByOne);
}

// Every option a person can give is in --help and has a row in the README's table, so neither
// falls behind the parser.
TEST(CommandLine, EveryOptionInTheHelpHasAReadmeRow)
{
    std::ifstream readmeFile(std::string(MIRVO_SOURCE_DIR) + "/README.md");
    ASSERT_TRUE(readmeFile);
    const std::string readme{std::istreambuf_iterator<char>(readmeFile), std::istreambuf_iterator<char>()};

    const std::string usage = CommandLine::usage();
    const std::regex optionName("(^|\\n) +(--[a-z][a-z-]*)");
    std::set<std::string> options;
    for (auto it = std::sregex_iterator(usage.begin(), usage.end(), optionName); it != std::sregex_iterator();
         ++it) {
        options.insert((*it)[2]);
    }
    EXPECT_GE(options.size(), 12u) << usage;
    for (const std::string& option : options) {
        const std::regex row("\\n\\|[^\\n]*`" + option + "[`= \\[]");
        EXPECT_TRUE(std::regex_search(readme, row)) << option << " has no README row";
    }
}

TEST(CommandLine, ErrorMessagesAreOneLine)
{
    try {
        parse({"--frames", "stars"});
        FAIL() << "no error";
    } catch (const CommandLineError& error) {
        const std::string message = error.what();
        EXPECT_EQ(message.find('\n'), std::string::npos);
        EXPECT_NE(message.find("stars"), std::string::npos);
    }
}

} // namespace
} // namespace mirvo
