#include "src/run/FrameRateWatch.h"
#include "gl/SoftwareRenderer.h"

#include <gtest/gtest.h>

#include <optional>

namespace mirvo {
namespace {

TEST(FrameRateWatch, KnowsTheSoftwareRenderersByName)
{
    EXPECT_TRUE(gl::isSoftwareRenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
    EXPECT_TRUE(gl::isSoftwareRenderer("softpipe"));
    EXPECT_TRUE(gl::isSoftwareRenderer("Gallium 0.4 on SWR"));
    EXPECT_TRUE(gl::isSoftwareRenderer("Software Rasterizer"));
    EXPECT_FALSE(gl::isSoftwareRenderer("NVIDIA GeForce RTX 3060/PCIe/SSE2"));
    EXPECT_FALSE(gl::isSoftwareRenderer("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)"));
    EXPECT_FALSE(gl::isSoftwareRenderer(""));
}

// Frames every `interval` seconds from `from` up to `to`; the last answer the watch gave.
std::optional<double> feed(FrameRateWatch& watch, double from, double to, double interval)
{
    std::optional<double> held;
    for (double t = from; t <= to; t += interval) {
        held = watch.frameAt(t);
    }
    return held;
}

TEST(FrameRateWatch, JudgesAWholeWindowAfterTheStartUpSettles)
{
    FrameRateWatch watch(4.0, 3.0);
    // Slow start-up frames are not held against the rate, and neither is a part window.
    EXPECT_FALSE(feed(watch, 0.0, 2.9, 0.5));
    EXPECT_FALSE(feed(watch, 3.0, 6.5, 1.0 / 50.0));
    const std::optional<double> held = feed(watch, 6.52, 7.5, 1.0 / 50.0);
    ASSERT_TRUE(held);
    EXPECT_NEAR(*held, 50.0, 1.0);
}

TEST(FrameRateWatch, TheWindowRollsOnToTheRecentFrames)
{
    FrameRateWatch watch(4.0, 0.0);
    feed(watch, 0.0, 10.0, 1.0 / 30.0);
    // Ten seconds at 80 fps leave nothing of the 30 fps stretch in the window.
    const std::optional<double> held = feed(watch, 10.0125, 20.0, 1.0 / 80.0);
    ASSERT_TRUE(held);
    EXPECT_NEAR(*held, 80.0, 1.0);
}

TEST(FrameRateWatch, WarnsOnlyASoftwareRendererThatMissesTheRate)
{
    EXPECT_FALSE(slowFramesWarning(true, 58.0, 60.0, 4));
    EXPECT_FALSE(slowFramesWarning(false, 20.0, 60.0, 4));
    const std::optional<std::string> msaa = slowFramesWarning(true, 51.6, 60.0, 4);
    ASSERT_TRUE(msaa);
    EXPECT_EQ(*msaa, "mirvo: the software renderer holds 52 fps of 60 at 4x multisampling; try --msaa 0");
    const std::optional<std::string> none = slowFramesWarning(true, 30.0, 60.0, 0);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->find("--msaa"), std::string::npos);
    EXPECT_NE(none->find("--windowed"), std::string::npos);
}

} // namespace
} // namespace mirvo
