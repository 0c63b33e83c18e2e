// The sample program as a separate process: real key presses sent with xdotool reach
// its keyDown with the right codes and modifiers, Control+Q quits it cleanly, and its
// screenshot shows the default matrices' corners.
#include "ShellRun.h"
#include "tests/TestPaths.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace mirvo::app::test;

TEST(SampleProgram, KeyPressesReachKeyDownAndControlQQuits)
{
    ScratchDir dir;
    const auto out = dir.path() / "out.txt";
    const std::string script =
        "timeout 60 \"" MIRVO_SAMPLE_PATH "\" --log-keys --aa 0 --title \"mirvo key test\" >\"" +
        out.string() +
        "\" 2>&1 & pid=$!; "
        "for i in $(seq 1 200); do grep -q ^ready \"" +
        out.string() +
        "\" && break; sleep 0.05; done; "
        "xdotool search --sync --onlyvisible --name \"mirvo key test\" windowfocus --sync; "
        "xdotool key alt+Right space t ctrl+q; wait $pid";
    const int status = runScript(script);
    const std::string log = readFile(out);
    EXPECT_EQ(status, 0) << log;
    EXPECT_NE(log.find("keyDown code=275 char=0 mods=0x10"), std::string::npos) << log;
    EXPECT_NE(log.find("keyDown code=32 char=32 mods=0x0"), std::string::npos) << log;
    EXPECT_NE(log.find("keyDown code=116 char=116 mods=0x0"), std::string::npos) << log;
    EXPECT_EQ(log.find("keyDown code=113"), std::string::npos) << "Control+Q belongs to the quit action\n"
                                                               << log;
    EXPECT_NE(log.find("shutdown after"), std::string::npos) << log;
}

TEST(SampleProgram, ScreenshotShowsTheCornerSquaresWhereTheDefaultMatricesPutThem)
{
    ScratchDir dir;
    const auto shot = dir.path() / "shot.ppm";
    ASSERT_EQ(runScript("timeout 60 \"" MIRVO_SAMPLE_PATH "\" --aa 0 --size 200x100 --screenshot \"" +
                        shot.string() + "\" >/dev/null"),
              0);
    std::ifstream in(shot, std::ios::binary);
    std::string magic;
    int width = 0;
    int height = 0;
    int maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    ASSERT_EQ(magic, "P6");
    ASSERT_EQ(width, 200);
    ASSERT_EQ(height, 100);
    std::vector<unsigned char> pixels(std::size_t(width * height * 3));
    in.read(reinterpret_cast<char*>(pixels.data()), std::streamsize(pixels.size()));
    auto rgb = [&](int x, int y) {
        const unsigned char* p = &pixels[std::size_t((y * width + x) * 3)];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(rgb(1, 1), (std::vector<int>{255, 0, 0}));        // top-left red
    EXPECT_EQ(rgb(198, 1), (std::vector<int>{0, 255, 0}));      // top-right green
    EXPECT_EQ(rgb(1, 98), (std::vector<int>{0, 0, 255}));       // bottom-left blue
    EXPECT_EQ(rgb(198, 98), (std::vector<int>{255, 255, 255})); // bottom-right white
}
