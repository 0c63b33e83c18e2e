#include "core/Timer.h"

#include <gtest/gtest.h>

namespace mirvo {
namespace {

TEST(Timer, NeverStartedReadsZeroAndIsStopped)
{
    const Timer timer;
    EXPECT_TRUE(timer.isStopped());
    EXPECT_EQ(timer.getSeconds(), 0.0);
}

TEST(Timer, RunningTimeNeverGoesBackwardsAndFreezesWhenStopped)
{
    Timer timer(true);
    EXPECT_FALSE(timer.isStopped());
    const double first = timer.getSeconds();
    const double second = timer.getSeconds();
    EXPECT_GE(first, 0.0);
    EXPECT_GE(second, first);
    timer.stop();
    const double stopped = timer.getSeconds();
    EXPECT_GE(stopped, second);
    EXPECT_EQ(timer.getSeconds(), stopped);
}

} // namespace
} // namespace mirvo
