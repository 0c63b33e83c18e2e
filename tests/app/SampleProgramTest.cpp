// The sample program without a display: one line on stderr naming what to set, and
// status 1, no crash.
#include "ShellRun.h"
#include "tests/TestPaths.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace mirvo::app::test;

TEST(SampleProgram, WithoutADisplaySaysSoInOneLineAndExitsWithStatusOne)
{
    ScratchDir dir;
    const auto out = dir.path() / "out.txt";
    const auto err = dir.path() / "err.txt";
    const int status =
        runScript("env -u DISPLAY -u WAYLAND_DISPLAY \"" MIRVO_SAMPLE_PATH "\" --frames 1 >\"" +
                  out.string() + "\" 2>\"" + err.string() + "\"");
    EXPECT_EQ(status, 1);
    const std::string message = readFile(err);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_NE(message.find("DISPLAY"), std::string::npos) << message;
    EXPECT_NE(message.find("WAYLAND_DISPLAY"), std::string::npos) << message;
    EXPECT_EQ(readFile(out), "");
}

TEST(SampleProgram, AnUnknownOptionEndsBeforeAnyWindowOpens)
{
    ScratchDir dir;
    const auto err = dir.path() / "err.txt";
    // Even without a display: the settings end the launch before the platform starts.
    const int status =
        runScript("env -u DISPLAY -u WAYLAND_DISPLAY \"" MIRVO_SAMPLE_PATH "\" --no-such-option 2>\"" +
                  err.string() + "\"");
    EXPECT_EQ(status, 0);
    EXPECT_NE(readFile(err).find("--no-such-option"), std::string::npos);
}
